// Strict reading of JSON case documents: paths, units in keys, unknown keys.
#include "case_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <functional>
#include <set>
#include <stdexcept>
#include <cstdlib>
#include <unordered_set>

namespace keld::refhost::detail {

namespace {

bool plain_identifier(std::string_view name) {
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

std::string quoted_text(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

constexpr std::array<UnitFactor, 3> temperature_units{{{"K", 1.0}, {"degC", 1.0, 273.15}, {"°C", 1.0, 273.15}}};
constexpr std::array<UnitFactor, 4> pressure_units{{{"Pa", 1.0}, {"kPa", 1e3}, {"MPa", 1e6}, {"bar", 1e5}}};
constexpr std::array<UnitFactor, 4> density_units{
    {{"kg/m3", 1.0}, {"kg/m^3", 1.0}, {"g/cm3", 1e3}, {"g/cm^3", 1e3}}};
constexpr std::array<UnitFactor, 3> length_units{{{"A", 1.0}, {"Å", 1.0}, {"nm", 10.0}}};
constexpr std::array<UnitFactor, 2> molar_mass_units{{{"kg/kmol", 1.0}, {"g/mol", 1.0}}};
constexpr std::array<UnitFactor, 2> per_molar_mass_units{{{"mol/g", 1.0}, {"kmol/kg", 1.0}}};
constexpr std::array<UnitFactor, 3> molar_volume_units{{{"m3/kmol", 1.0}, {"cm3/mol", 1e-3}, {"mL/mol", 1e-3}}};
constexpr std::array<UnitFactor, 1> dipole_moment_units{{{"D", 1.0}}};

std::string unit_list(Dimension dimension) {
    std::string list;
    for (const UnitFactor &u : units_of(dimension)) list += (list.empty() ? "" : ", ") + std::string(u.unit);
    return list;
}

std::string json_type(const Json &value) {
    return value.type_name();
}

}  // namespace

JsonPath JsonPath::key(std::string_view name) const {
    JsonPath child = *this;
    if (plain_identifier(name)) {
        if (!child.text_.empty()) child.text_ += '.';
        child.text_ += name;
    } else {
        child.text_ += '[';
        child.text_ += quoted_text(name);
        child.text_ += ']';
    }
    return child;
}

JsonPath JsonPath::index(std::size_t position) const {
    JsonPath child = *this;
    child.text_ += '[';
    child.text_ += std::to_string(position);
    child.text_ += ']';
    return child;
}

void fail(std::string_view origin, const JsonPath &path, const std::string &what) {
    std::string where(origin);
    if (!path.text().empty()) where += ":" + path.text();
    throw CaseError(where, what);
}

std::span<const UnitFactor> units_of(Dimension dimension) {
    switch (dimension) {
        case Dimension::none:
            return {};
        case Dimension::temperature:
            return temperature_units;
        case Dimension::pressure:
            return pressure_units;
        case Dimension::mass_density:
            return density_units;
        case Dimension::length_angstrom:
            return length_units;
        case Dimension::molar_mass:
            return molar_mass_units;
        case Dimension::per_molar_mass:
            return per_molar_mass_units;
        case Dimension::molar_volume:
            return molar_volume_units;
        case Dimension::dipole_moment:
            return dipole_moment_units;
    }
    return {};
}

double quantity_from_text(std::string_view text, Dimension dimension, std::string_view what) {
    const std::string whole(trimmed(text));
    const auto units = units_of(dimension);
    auto bad = [&](const std::string &why) {
        return std::invalid_argument(std::string(what) + " needs a number and a unit (" + unit_list(dimension) +
                                     "), " + why + ": '" + whole + "'");
    };
    char *end = nullptr;
    const double number = std::strtod(whole.c_str(), &end);
    if (end == whole.c_str()) throw bad("not a number");
    if (!std::isfinite(number)) throw bad("not a finite number");
    const std::string_view unit = trimmed(std::string_view(whole).substr(static_cast<std::size_t>(end - whole.c_str())));
    if (unit.empty()) return number;
    const auto found =
        std::find_if(units.begin(), units.end(), [&](const UnitFactor &u) { return u.unit == unit; });
    if (found == units.end()) throw bad("unknown unit '" + std::string(unit) + "'");
    return number * found->factor + found->offset;
}

std::string canonical_key(std::string_view name, Dimension dimension) {
    const auto units = units_of(dimension);
    if (units.empty()) return std::string(name);
    const std::string_view unit = units.front().unit;
    const bool compound = unit.find('/') != std::string_view::npos;
    std::string key(name);
    key += " / ";
    if (compound) key += '(';
    key += unit;
    if (compound) key += ')';
    return key;
}

KeyParts split_key(std::string_view key) {
    const std::size_t slash = key.find('/');
    if (slash == std::string_view::npos) return {std::string(trimmed(key)), {}};
    std::string_view unit = trimmed(key.substr(slash + 1));
    if (unit.size() >= 2 && unit.front() == '(' && unit.back() == ')')
        unit = trimmed(unit.substr(1, unit.size() - 2));
    return {std::string(trimmed(key.substr(0, slash))), std::string(unit)};
}

double finite_number(const Json &value, std::string_view origin, const JsonPath &path) {
    if (!value.is_number()) fail(origin, path, "expected a number, found " + json_type(value));
    const double x = value.get<double>();
    if (!std::isfinite(x)) fail(origin, path, "the number is not finite");
    return x;
}

std::string string_value(const Json &value, std::string_view origin, const JsonPath &path) {
    if (!value.is_string()) fail(origin, path, "expected a string, found " + json_type(value));
    return value.get<std::string>();
}

ObjectReader::ObjectReader(const Json &value, JsonPath path, std::string_view origin)
    : object_(value), path_(std::move(path)), origin_(origin) {
    if (!value.is_object()) fail(origin_, path_, "expected an object, found " + json_type(value));
}

bool ObjectReader::has(std::string_view key) const {
    return object_.contains(std::string(key));
}

const Json *ObjectReader::optional(std::string_view key) {
    known_.emplace_back(key);
    const auto found = object_.find(std::string(key));
    if (found == object_.end()) return nullptr;
    consumed_.emplace_back(key);
    return &*found;
}

const Json &ObjectReader::required(std::string_view key) {
    const Json *value = optional(key);
    if (value == nullptr) fail(origin_, path_, "missing " + quoted_text(key));
    return *value;
}

std::optional<std::string> ObjectReader::optional_string(std::string_view key) {
    const Json *value = optional(key);
    if (value == nullptr) return std::nullopt;
    return string_value(*value, origin_, path_.key(key));
}

std::optional<std::int64_t> ObjectReader::optional_integer(std::string_view key, std::int64_t minimum) {
    const Json *value = optional(key);
    if (value == nullptr) return std::nullopt;
    const JsonPath where = path_.key(key);
    if (!value->is_number_integer()) fail(origin_, where, "expected an integer, found " + json_type(*value));
    if (value->is_number_unsigned() && value->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
        fail(origin_, where, "integer out of range");
    }
    const std::int64_t n = value->get<std::int64_t>();
    if (n < minimum) fail(origin_, where, "must be at least " + std::to_string(minimum));
    return n;
}

const std::string *ObjectReader::find_quantity_key(std::string_view name, Dimension dimension,
                                                   UnitFactor &conversion) {
    known_.push_back(canonical_key(name, dimension));
    const std::string *found = nullptr;
    // Iterators of an object refer to the stored keys themselves, so `found` stays valid.
    for (auto item = object_.begin(); item != object_.end(); ++item) {
        const KeyParts parts = split_key(item.key());
        if (parts.name != name) continue;
        const JsonPath where = path_.key(item.key());
        if (found != nullptr)
            fail(origin_, where, std::string(name) + " is given twice (also as " + quoted_text(*found) + ")");
        const auto units = units_of(dimension);
        if (units.empty() && !parts.unit.empty()) {
            fail(origin_, where, std::string(name) + " is dimensionless: write " + quoted_text(name));
        }
        if (!units.empty()) {
            if (parts.unit.empty()) {
                fail(origin_, where,
                     "give the unit in the key, e.g. " + quoted_text(canonical_key(name, dimension)));
            }
            const auto unit = std::find_if(units.begin(), units.end(),
                                           [&](const UnitFactor &u) { return u.unit == parts.unit; });
            if (unit == units.end()) {
                fail(origin_, where,
                     "unknown unit " + quoted_text(parts.unit) + " for " + std::string(name) + " (use " +
                         unit_list(dimension) + ")");
            }
            conversion = *unit;
        } else {
            conversion = {"", 1.0};
        }
        found = &item.key();
    }
    if (found != nullptr) consumed_.push_back(*found);
    return found;
}

std::optional<Quantity> ObjectReader::optional_quantity(std::string_view name, Dimension dimension) {
    UnitFactor conversion{"", 1.0};
    const std::string *key = find_quantity_key(name, dimension, conversion);
    if (key == nullptr) return std::nullopt;
    const JsonPath where = path_.key(*key);
    return Quantity{finite_number(object_.at(*key), origin_, where) * conversion.factor + conversion.offset, where};
}

const Json *ObjectReader::optional_quantity_object(std::string_view name, Dimension dimension, double &factor,
                                                   JsonPath &where) {
    UnitFactor conversion{"", 1.0};
    const std::string *key = find_quantity_key(name, dimension, conversion);
    if (key == nullptr) return nullptr;
    where = path_.key(*key);
    // A parameter in kelvin (eps/k, a table's Tref) is an energy or a
    // temperature difference scaled per element: a Celsius offset would corrupt it.
    if (conversion.offset != 0.0)
        fail(origin_, where, "give " + std::string(name) + " in " + std::string(units_of(dimension).front().unit));
    factor = conversion.factor;
    return &object_.at(*key);
}

void ObjectReader::finish() const {
    for (const auto &item : object_.items()) {
        if (std::find(consumed_.begin(), consumed_.end(), item.key()) != consumed_.end()) continue;
        std::string expected;
        for (const std::string &k : known_) expected += (expected.empty() ? "" : ", ") + quoted_text(k);
        fail(origin_, path_.key(item.key()),
             "unknown key" + (expected.empty() ? std::string() : " (expected one of " + expected + ")"));
    }
}

namespace {

// "file:line:column" of a byte offset (0-based) in the text.
std::string text_position(std::string_view text, std::string_view origin, std::size_t offset) {
    std::size_t line = 1, column = 1;
    for (std::size_t k = 0; k < std::min(offset, text.size()); ++k) {
        if (text[k] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return std::string(origin) + ":" + std::to_string(line) + ":" + std::to_string(column);
}

// Builds the document from the parser's events, refusing a key given twice in
// one object and nesting deeper than kMaxNestingDepth. The place of a value is
// kept as one frame per open container (its key or index); the path text is
// built only when an error names it, so memory stays linear in the depth.
class DocumentBuilder {
  public:
    DocumentBuilder(std::string_view text, std::string_view origin) : text_(text), origin_(origin) {}

    Json take() { return std::move(root_); }

    bool null() { return value(Json(nullptr)); }
    bool boolean(bool b) { return value(Json(b)); }
    bool number_integer(Json::number_integer_t n) { return value(Json(n)); }
    bool number_unsigned(Json::number_unsigned_t n) { return value(Json(n)); }
    bool number_float(Json::number_float_t x, const Json::string_t &) { return value(Json(x)); }
    bool string(Json::string_t &s) { return value(Json(std::move(s))); }
    bool binary(Json::binary_t &b) { return value(Json(std::move(b))); }

    bool start_object(std::size_t) { return open(Json::object(), false); }
    bool start_array(std::size_t) { return open(Json::array(), true); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(Json::string_t &k) {
        Frame &top = frames_.back();
        if (!top.keys.insert(k).second) fail(origin_, path_to(frames_.size(), &k), "key given twice");
        top.key = std::move(k);
        return true;
    }

    bool parse_error(std::size_t position, const std::string &token, const nlohmann::detail::exception &e) {
        if (e.id == 406) {
            // A number beyond the range of a double, placed at its first character.
            const std::size_t first = position >= token.size() ? position - token.size() : 0;
            throw CaseError(text_position(text_, origin_, first),
                            "the number " + (token.empty() ? std::string() : token + " ") + "is out of range");
        }
        std::string detail = e.what();
        const std::size_t at = detail.find("column");
        const std::size_t colon = at == std::string::npos ? std::string::npos : detail.find(": ", at);
        if (colon != std::string::npos) detail = detail.substr(colon + 2);
        throw CaseError(text_position(text_, origin_, position == 0 ? 0 : position - 1), "not valid JSON: " + detail);
    }

  private:
    struct Frame {
        Json *container;
        bool is_array;
        std::size_t next_index = 0;
        std::string key;
        std::unordered_set<std::string> keys;
    };

    // Where the next value goes; null for the document itself.
    Json *place() {
        if (frames_.empty()) return &root_;
        Frame &top = frames_.back();
        if (top.is_array) {
            ++top.next_index;
            top.container->push_back(nullptr);
            return &top.container->back();
        }
        return &(*top.container)[top.key];
    }

    bool value(Json &&v) {
        *place() = std::move(v);
        return true;
    }

    bool open(Json &&empty, bool is_array) {
        if (frames_.size() >= kMaxNestingDepth) {
            fail(origin_, path_to(frames_.size(), nullptr),
                 "nested deeper than " + std::to_string(kMaxNestingDepth) + " levels");
        }
        Json *slot = place();
        *slot = std::move(empty);
        frames_.push_back({slot, is_array, 0, {}, {}});
        return true;
    }

    bool close() {
        frames_.pop_back();
        return true;
    }

    // The path of the value being read at frame depth `depth` (the open
    // containers' keys and indices), ending with `last_key` when given.
    JsonPath path_to(std::size_t depth, const std::string *last_key) const {
        JsonPath path;
        for (std::size_t d = 0; d < depth; ++d) {
            const Frame &f = frames_[d];
            const bool innermost = d + 1 == depth;
            if (f.is_array) {
                path = path.index(innermost ? f.next_index : f.next_index - 1);
            } else if (!innermost) {
                path = path.key(f.key);
            } else if (last_key != nullptr) {
                path = path.key(*last_key);
            } else if (!f.key.empty()) {
                path = path.key(f.key);
            }
        }
        return path;
    }

    std::string_view text_;
    std::string origin_;
    Json root_;
    std::vector<Frame> frames_;
};

}  // namespace

Json parse_document(std::string_view text, std::string_view origin) {
    DocumentBuilder builder(text, origin);
    Json::sax_parse(text.begin(), text.end(), &builder);
    return builder.take();
}

}  // namespace keld::refhost::detail
