// From a JSON case document to a validated CaseDescription.
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "case_database.h"
#include "case_description.h"
#include "case_parameters.h"
#include "case_reader.h"
#include "shipped_unifac.h"

namespace keld::refhost::detail {

namespace {

constexpr double fraction_tolerance = 1e-9;
// Limits of a case file (docs/case-format.md): what a polymer process needs
// with room to spare, and a host store of at most 1 GiB.
constexpr std::size_t max_components = 1000;
constexpr std::int64_t max_data_sets = 100;
constexpr std::int64_t max_store_words = std::int64_t{1} << 27;
constexpr double not_given = ReferenceHost::missing_value;  // a record word left out
constexpr std::size_t max_identifier_chars = 8;
constexpr std::size_t max_formula_chars = 24;
constexpr std::array<std::string_view, 5> property_names{"lnphi", "H", "S", "G", "V"};

std::string quote(std::string_view s) {
    return "\"" + std::string(s) + "\"";
}

std::string number_text(double x) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.12g", x);
    return buffer;
}

class CaseParser {
  public:
    CaseParser(std::string_view origin) : origin_(origin) { description_.origin = origin; }

    CaseDescription run(const Json &document) {
        ObjectReader root(document, {}, origin_);
        if (auto title = root.optional_string("title")) description_.title = *title;
        root.optional_string("description");
        if (const Json *source = root.optional("source")) read_source(*source, JsonPath().key("source"));
        if (const Json *unifac = root.optional("unifac")) read_unifac(*unifac, JsonPath().key("unifac"));
        read_components(root.required("components"), JsonPath().key("components"));
        if (const Json *sets = root.optional("parameters"))
            read_parameter_sets(*sets, JsonPath().key("parameters"));
        if (!database_requests_.empty()) take_from_database(document);
        check_store_size();
        StateFields defaults;
        if (const Json *d = root.optional("state_defaults")) {
            defaults = read_state_fields(*d, JsonPath().key("state_defaults"), false);
        }
        if (const Json *states = root.optional("states"))
            read_states(*states, JsonPath().key("states"), defaults);
        root.finish();
        return std::move(description_);
    }

  private:
    // ---------------------------------------------------------------- helpers

    template <class T>
    struct Located {
        T value;
        JsonPath path;
    };

    const Json &array_at(const Json &value, const JsonPath &path) const {
        if (!value.is_array())
            fail(origin_, path, "expected an array, found " + std::string(value.type_name()));
        return value;
    }

    const Json &object_at(const Json &value, const JsonPath &path) const {
        if (!value.is_object())
            fail(origin_, path, "expected an object, found " + std::string(value.type_name()));
        return value;
    }

    void read_source(const Json &source, const JsonPath &path) const {
        if (source.is_string()) return;
        array_at(source, path);
        for (std::size_t k = 0; k < source.size(); ++k) string_value(source[k], origin_, path.index(k));
    }

    // 1-based component number of an identifier, or 0.
    std::int64_t component_number(std::string_view id) const {
        const auto found = numbers_.find(std::string(id));
        return found == numbers_.end() ? 0 : found->second;
    }

    std::int64_t known_component(std::string_view id, const JsonPath &path) const {
        const std::int64_t number = component_number(id);
        if (number == 0) fail(origin_, path, "unknown component " + quote(id));
        return number;
    }

    // Checks that a set of fractions adds up to 1.
    void check_sum(double sum, const JsonPath &path) const {
        if (std::abs(sum - 1.0) > fraction_tolerance) {
            fail(origin_, path, "fractions add up to " + number_text(sum) + ", not 1 (tolerance 1e-9)");
        }
    }

    void check_store_size() const {
        const auto nc = static_cast<std::int64_t>(description_.components.size());
        const std::int64_t words = ReferenceHost::store_words_for(nc, description_.data_sets);
        if (words > max_store_words) {
            fail(origin_, {},
                 std::to_string(nc) + " components and " + std::to_string(description_.data_sets) +
                     " data sets need a host store of " + std::to_string(words >> 17) +
                     " MiB; a case is limited to " + std::to_string(max_store_words >> 17) + " MiB");
        }
    }

    // ------------------------------------------------------------- components

    static std::optional<ComponentKind> kind_named(std::string_view name) {
        if (name == "ordinary") return ComponentKind::ordinary;
        if (name == "polymer") return ComponentKind::polymer;
        if (name == "oligomer") return ComponentKind::oligomer;
        if (name == "segment") return ComponentKind::segment;
        return std::nullopt;
    }

    void read_components(const Json &list, const JsonPath &path) {
        array_at(list, path);
        if (list.empty()) fail(origin_, path, "a case needs at least one component");
        if (list.size() > max_components)
            fail(origin_, path, "at most " + std::to_string(max_components) + " components");
        std::vector<Located<const Json *>> segment_lists(list.size(), {nullptr, {}});
        for (std::size_t k = 0; k < list.size(); ++k) {
            const JsonPath here = path.index(k);
            ObjectReader r(list[k], here, origin_);
            ComponentSpec c;
            c.id = string_value(r.required("id"), origin_, here.key("id"));
            check_identifier(c.id, here.key("id"));
            r.optional_string("name");
            const std::optional<std::string> entry_name = r.optional_string("database");
            const bool kind_given = r.has("kind");
            if (auto kind = r.optional_string("kind")) {
                const auto parsed = kind_named(*kind);
                if (!parsed) {
                    fail(origin_, here.key("kind"),
                         "unknown kind " + quote(*kind) +
                             " (use \"ordinary\", \"polymer\", \"oligomer\" or \"segment\")");
                }
                c.kind = *parsed;
            }
            const keld::database::Component *entry = nullptr;
            if (entry_name) {
                entry = &database_entry(*entry_name, c.id, origin_, here.key("database"));
                fit_kind(*entry, c, kind_given, origin_, here.key(kind_given ? "kind" : "database"));
            }
            const Json *chosen = r.optional("database_set");
            if (chosen != nullptr && entry == nullptr)
                fail(origin_, here.key("database_set"), "\"database_set\" chooses among the sets of a \"database\" entry");
            const bool polymer = c.kind == ComponentKind::polymer || c.kind == ComponentKind::oligomer;
            const auto mw = r.optional_quantity("MW", Dimension::molar_mass);
            if (!mw && entry == nullptr)
                fail(origin_, here, "missing " + quote(canonical_key("MW", Dimension::molar_mass)));
            if (mw && !(mw->value > 0)) fail(origin_, mw->path, "the molecular weight must be positive");
            if (mw) c.molecular_weight = mw->value;
            const auto mwn = r.optional_quantity("MWN", Dimension::molar_mass);
            if (mwn && !polymer)
                fail(origin_, mwn->path, "only a polymer or an oligomer has a number-average MW");
            if (polymer && !mwn) {
                fail(origin_, here,
                     "a " + std::string(c.kind == ComponentKind::polymer ? "polymer" : "oligomer") +
                         " needs " + quote(canonical_key("MWN", Dimension::molar_mass)));
            }
            if (mwn) {
                if (!(mwn->value > 0))
                    fail(origin_, mwn->path, "the number-average molecular weight must be positive");
                c.number_average_mw = mwn->value;
            }
            if (const Json *segments = r.optional("segments")) {
                if (!polymer)
                    fail(origin_, here.key("segments"), "only a polymer or an oligomer has segments");
                segment_lists[k] = {segments, here.key("segments")};
            } else if (polymer) {
                fail(origin_, here,
                     "a polymer or oligomer needs its \"segments\" (weight fractions by segment)");
            }
            if (const Json *groups = r.optional("groups")) c.groups = read_groups(*groups, here.key("groups"));
            if (auto formula = r.optional_string("formula")) {
                if (formula->size() > max_formula_chars)
                    fail(origin_, here.key("formula"), "at most 24 characters");
                c.formula = *formula;
            }
            read_correlations(r, here, c);
            r.finish();
            if (component_number(c.id) != 0)
                fail(origin_, here.key("id"), "component " + quote(c.id) + " is defined twice");
            numbers_.emplace(c.id, static_cast<std::int64_t>(description_.components.size() + 1));
            if (entry != nullptr) {
                DatabaseRequest request{static_cast<std::int64_t>(description_.components.size() + 1), entry,
                                        mw.has_value(), here.key("database"), {}, here.key("database_set")};
                if (chosen != nullptr) request.chosen_sets = read_chosen_sets(*chosen, request.chosen_path);
                database_requests_.push_back(std::move(request));
            }
            description_.components.push_back(std::move(c));
        }
        for (std::size_t k = 0; k < list.size(); ++k) {
            if (segment_lists[k].value != nullptr)
                read_segments(description_.components[k], segment_lists[k]);
        }
    }

    // "database_set": {"pcsaft-assoc": "water_4C_RG2020"} takes a set by its row name in every data set,
    // {"pcsaft-assoc": {"2": "water_4C_RG2020"}} in the data sets named (the others take the default).
    std::map<std::string, std::map<std::int64_t, std::string>, std::less<>> read_chosen_sets(const Json &value,
                                                                                           const JsonPath &path) const {
        object_at(value, path);
        std::map<std::string, std::map<std::int64_t, std::string>, std::less<>> chosen;
        for (const auto &item : value.items()) {
            const JsonPath here = path.key(item.key());
            if (!is_database_family(item.key()))
                fail(origin_, here, "unknown family " + quote(item.key()) + " (use " + database_family_list() + ")");
            auto &by_data_set = chosen[item.key()];
            if (!item.value().is_object()) {
                by_data_set.emplace(0, string_value(item.value(), origin_, here));
                continue;
            }
            for (const auto &entry : item.value().items()) {
                const JsonPath at = here.key(entry.key());
                const std::int64_t data_set = data_set_number(entry.key());
                if (data_set < 1) fail(origin_, at, quote(entry.key()) + " is not a data set number");
                by_data_set.emplace(data_set, string_value(entry.value(), origin_, at));
            }
        }
        return chosen;
    }

    static std::int64_t data_set_number(const std::string &text) {
        if (text.empty() || text.size() > 6 || !std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
            return 0;
        return std::stoll(text);
    }

    // Critical and boiling constants and the correlations that parameter fits take pseudo-data from.
    void read_correlations(ObjectReader &r, const JsonPath &here, ComponentSpec &c) {
        struct Constant {
            std::string_view key, store;
            Dimension dimension;
        };
        static constexpr Constant constants[] = {{"Tc", "TC", Dimension::temperature},
                                                 {"Pc", "PC", Dimension::pressure},
                                                 {"Tb", "TB", Dimension::temperature},
                                                 {"Vstd", "VSTD", Dimension::molar_volume},
                                                 {"SG", "SG", Dimension::none},
                                                 {"Rackett Z_RA", "ZRA1", Dimension::none}};
        for (const Constant &k : constants) {
            std::optional<Quantity> q;
            if (k.dimension != Dimension::none) {
                q = r.optional_quantity(k.key, k.dimension);
            } else if (const Json *v = r.optional(k.key)) {
                q = Quantity{finite_number(*v, origin_, here.key(k.key)), here.key(k.key)};
            }
            if (!q) continue;
            if (!(q->value > 0)) fail(origin_, q->path, std::string(k.key) + " must be positive");
            c.properties.emplace_back(std::string(k.store), q->value);
        }
        if (const Json *vp = r.optional("vapour_pressure")) {
            const JsonPath at = here.key("vapour_pressure");
            array_at(*vp, at);
            if (vp->size() < 2 || vp->size() > 9)
                fail(origin_, at, "vapour_pressure takes 2 to 9 coefficients C1..C9 of ln(P/Pa)");
            for (std::size_t k = 0; k < vp->size(); ++k)
                c.properties.emplace_back("VPC" + std::to_string(k + 1), finite_number((*vp)[k], origin_, at.index(k)));
        }
        if (const Json *ld = r.optional("liquid_density")) {
            const JsonPath at = here.key("liquid_density");
            ObjectReader lr(*ld, at, origin_);
            const std::optional<std::int64_t> form = lr.optional_integer("form", 1);
            if (!form) fail(origin_, at, "liquid_density needs its \"form\" (105, 302, 514)");
            const Json &coefficients = lr.required("coefficients");
            array_at(coefficients, at.key("coefficients"));
            if (coefficients.empty() || coefficients.size() > 7)
                fail(origin_, at.key("coefficients"), "liquid_density takes 1 to 7 coefficients");
            lr.finish();
            c.properties.emplace_back("LDSEL", static_cast<double>(*form));
            for (std::size_t k = 0; k < coefficients.size(); ++k)
                c.properties.emplace_back("LDC" + std::to_string(k + 1),
                                          finite_number(coefficients[k], origin_, at.key("coefficients").index(k)));
        }
    }

    // ------------------------------------------------------------------ UNIFAC

    bool known_subgroup(const std::string &name) const {
        for (const auto &s : shipped_unifac_subgroups())
            if (same_name(s, name)) return true;
        for (const auto &s : description_.unifac_subgroups)
            if (same_name(s.name, name)) return true;
        return false;
    }
    bool known_main_group(const std::string &name) const {
        for (const auto &s : shipped_unifac_main_groups())
            if (same_name(s, name)) return true;
        for (const auto &s : description_.unifac_subgroups)
            if (same_name(s.main_group, name)) return true;
        return false;
    }
    static bool same_name(std::string_view a, std::string_view b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
               });
    }

    // "unifac": {"subgroups": {"NAME": {"main_group": "M", "R": r, "Q": q, "number": k}},
    //            "interactions": {"M1": {"M2": a_12 / K}}}
    void read_unifac(const Json &value, const JsonPath &path) {
        ObjectReader r(value, path, origin_);
        if (const Json *subgroups = r.optional("subgroups")) {
            const JsonPath sp = path.key("subgroups");
            object_at(*subgroups, sp);
            for (const auto &item : subgroups->items()) {
                const JsonPath here = sp.key(item.key());
                if (known_subgroup(item.key())) fail(origin_, here, "subgroup " + quote(item.key()) + " is already known");
                ObjectReader g(item.value(), here, origin_);
                UnifacSubgroupSpec spec;
                spec.name = item.key();
                spec.main_group = string_value(g.required("main_group"), origin_, here.key("main_group"));
                spec.r = finite_number(g.required("R"), origin_, here.key("R"));
                spec.q = finite_number(g.required("Q"), origin_, here.key("Q"));
                spec.number = g.optional_integer("number", 1).value_or(0);
                g.finish();
                if (!(spec.r > 0) || spec.q < 0) fail(origin_, here, "a subgroup needs R > 0 and Q >= 0");
                description_.unifac_subgroups.push_back(std::move(spec));
            }
        }
        if (const Json *interactions = r.optional("interactions")) {
            const JsonPath ip = path.key("interactions");
            object_at(*interactions, ip);
            for (const auto &row : interactions->items()) {
                const JsonPath row_path = ip.key(row.key());
                if (!known_main_group(row.key())) fail(origin_, row_path, "unknown main group " + quote(row.key()));
                object_at(row.value(), row_path);
                for (const auto &cell : row.value().items()) {
                    const JsonPath here = row_path.key(cell.key());
                    if (!known_main_group(cell.key())) fail(origin_, here, "unknown main group " + quote(cell.key()));
                    if (same_name(row.key(), cell.key())) fail(origin_, here, "a main group does not interact with itself");
                    description_.unifac_interactions.push_back(
                        {row.key(), cell.key(), finite_number(cell.value(), origin_, here)});
                }
            }
        }
        r.finish();
    }

    std::vector<std::pair<std::string, double>> read_groups(const Json &value, const JsonPath &path) const {
        object_at(value, path);
        std::vector<std::pair<std::string, double>> groups;
        for (const auto &item : value.items()) {
            const JsonPath here = path.key(item.key());
            if (!known_subgroup(item.key())) fail(origin_, here, "unknown UNIFAC subgroup " + quote(item.key()));
            const double count = finite_number(item.value(), origin_, here);
            if (!(count > 0)) fail(origin_, here, "a group count must be positive");
            groups.emplace_back(item.key(), count);
        }
        return groups;
    }

    void check_identifier(const std::string &id, const JsonPath &path) const {
        if (id.empty() || id.size() > max_identifier_chars)
            fail(origin_, path, "an identifier has 1 to 8 characters");
        const bool printable = std::all_of(id.begin(), id.end(), [](char ch) {
            return static_cast<unsigned char>(ch) > 32 && static_cast<unsigned char>(ch) < 127;
        });
        if (!printable) fail(origin_, path, "an identifier has printable characters and no blanks");
    }

    void read_segments(ComponentSpec &polymer, const Located<const Json *> &segments) {
        const Json &object = object_at(*segments.value, segments.path);
        if (object.empty()) fail(origin_, segments.path, "a polymer needs at least one segment");
        double sum = 0;
        for (const auto &item : object.items()) {
            const JsonPath here = segments.path.key(item.key());
            const std::int64_t number = known_component(item.key(), here);
            if (description_.components[static_cast<std::size_t>(number - 1)].kind !=
                ComponentKind::segment) {
                fail(origin_, here, quote(item.key()) + " is not a segment (kind \"segment\")");
            }
            const double w = finite_number(item.value(), origin_, here);
            if (w < 0) fail(origin_, here, "a weight fraction cannot be negative");
            sum += w;
            polymer.segments.emplace_back(item.key(), w);
        }
        check_sum(sum, segments.path);
    }

    // --------------------------------------------------------------- database

    // The families a database component takes parameters for: those the case's parameter sets name,
    // in each data set that names them, and the model of every state in its data set (looked up here,
    // before the states are read, since their mass fractions need the molecular weights; a state
    // that is malformed is refused when it is read).
    void take_from_database(const Json &document) {
        std::set<std::pair<std::int64_t, std::string>> asked = families_given_;
        std::vector<std::string> families = description_.models_in_parameters;
        const Json *defaults = document.contains("state_defaults") ? &document["state_defaults"] : nullptr;
        auto field = [&](const Json &state, const char *key) -> const Json * {
            if (state.is_object() && state.contains(key)) return &state[key];
            if (defaults != nullptr && defaults->is_object() && defaults->contains(key)) return &(*defaults)[key];
            return nullptr;
        };
        if (document.contains("states") && document["states"].is_array()) {
            for (const Json &state : document["states"]) {
                const Json *model = field(state, "model");
                const Json *set = field(state, "data_set");
                if (model == nullptr || !model->is_string()) continue;
                const std::int64_t data_set = set != nullptr && set->is_number_integer() ? set->get<std::int64_t>() : 1;
                if (data_set < 1 || data_set > description_.data_sets) continue;
                const auto name = model->get<std::string>();
                asked.emplace(data_set, name);
                if (std::find(families.begin(), families.end(), name) == families.end()) families.push_back(name);
            }
        }
        apply_database(database_requests_, asked, families, description_, origin_);
        for (const DatabaseUse &use : description_.database_uses) {
            for (const DatabaseUse::Set &s : use.sets) {
                families_given_.emplace(s.data_set, s.family);
                auto &used = description_.models_in_parameters;
                if (std::find(used.begin(), used.end(), s.family) == used.end()) used.push_back(s.family);
            }
        }
    }

    // ------------------------------------------------------------- parameters

    void read_parameter_sets(const Json &list, const JsonPath &path) {
        array_at(list, path);
        std::map<std::int64_t, JsonPath> seen;
        for (std::size_t k = 0; k < list.size(); ++k) {
            const JsonPath here = path.index(k);
            ObjectReader r(list[k], here, origin_);
            const std::int64_t data_set =
                r.optional_integer("data_set", 1).value_or(static_cast<std::int64_t>(k + 1));
            if (data_set > max_data_sets) {
                fail(origin_, r.has("data_set") ? here.key("data_set") : here,
                     "at most " + std::to_string(max_data_sets) + " data sets");
            }
            if (const auto [at, inserted] = seen.emplace(data_set, here); !inserted) {
                fail(origin_, here,
                     "data set " + std::to_string(data_set) + " is already given at " + at->second.text());
            }
            description_.data_sets = std::max(description_.data_sets, data_set);
            if (const Json *source = r.optional("source")) read_source(*source, here.key("source"));
            r.optional_string("description");
            for (const ModelEntry &model : models()) {
                if (const Json *family = r.optional(model.name)) {
                    read_family(*family, here.key(model.name), model, data_set);
                    if (family->is_object() && !family->empty())
                        families_given_.emplace(data_set, std::string(model.name));
                    auto &used = description_.models_in_parameters;
                    if (std::find(used.begin(), used.end(), model.name) == used.end())
                        used.emplace_back(model.name);
                }
            }
            r.finish();
        }
    }

    void read_family(const Json &family, const JsonPath &path, const ModelEntry &model,
                     std::int64_t data_set) {
        ObjectReader r(family, path, origin_);
        for (std::string_view name : model.parameters) {
            const ParameterSpec *spec = find_parameter_spec(name);
            if (spec == nullptr) continue;  // a registry name without a case-file spelling
            double factor = 1.0;
            JsonPath where;
            const Json *values = r.optional_quantity_object(name, spec->dimension, factor, where);
            if (values == nullptr) continue;
            if (spec->shape == ParameterShape::unary) {
                read_unary(*values, where, *spec, factor, data_set);
            } else if (spec->shape == ParameterShape::record3) {
                read_record(*values, where, *spec, data_set);
            } else {
                read_binary(*values, where, *spec, data_set);
            }
        }
        r.finish();
    }

    void read_unary(const Json &values, const JsonPath &path, const ParameterSpec &spec, double factor,
                    std::int64_t data_set) {
        object_at(values, path);
        for (const auto &item : values.items()) {
            const JsonPath here = path.key(item.key());
            const std::int64_t i = known_component(item.key(), here);
            const double value = item.value().is_string() && spec.name == "PCSATY"
                                     ? site_scheme(item.value().get<std::string>(), here)
                                     : finite_number(item.value(), origin_, here) * factor;
            if (spec.positive && !(value > 0))
                fail(origin_, here, std::string(spec.name) + " must be positive");
            ParameterValue p{std::string(spec.name), ParameterShape::unary, data_set, i, 0, {}};
            p.coefficients[0] = value;
            description_.parameters.push_back(std::move(p));
        }
    }

    // Three words per component: [w1, w2, w3] (fewer leave the rest missing).
    void read_record(const Json &values, const JsonPath &path, const ParameterSpec &spec, std::int64_t data_set) {
        object_at(values, path);
        for (const auto &item : values.items()) {
            const JsonPath here = path.key(item.key());
            const std::int64_t i = known_component(item.key(), here);
            array_at(item.value(), here);
            if (item.value().empty() || item.value().size() > 3)
                fail(origin_, here, std::string(spec.name) + " takes one to three numbers");
            ParameterValue p{std::string(spec.name), ParameterShape::record3, data_set, i, 0, {}};
            p.coefficients.fill(not_given);
            for (std::size_t k = 0; k < item.value().size(); ++k)
                p.coefficients[k] = finite_number(item.value()[k], origin_, here.index(k));
            description_.parameters.push_back(std::move(p));
        }
    }

    // An association site type written as its scheme (Huang and Radosz notation).
    double site_scheme(const std::string &scheme, const JsonPath &path) const {
        static const std::pair<const char *, int> schemes[] = {{"1A", 1}, {"2B", 2}, {"3B", 3}, {"4C", 4}};
        for (const auto &[name, type] : schemes)
            if (scheme == name) return type;
        fail(origin_, path, "unknown association scheme " + quote(scheme) + " (use \"1A\", \"2B\", \"3B\", \"4C\" or a number)");
    }

    // A constant, or the six coefficients a, b, c, d, e, Tref of a temperature table.
    std::array<double, 6> read_coefficients(const Json &value, const JsonPath &path,
                                            const ParameterSpec &spec, bool &is_table) const {
        std::array<double, 6> c{};
        is_table = value.is_array();
        if (!is_table) {
            c[0] = finite_number(value, origin_, path);
            return c;
        }
        if ((spec.shape != ParameterShape::binary_table && spec.table.empty()) || spec.constant_only) {
            fail(origin_, path, std::string(spec.name) + " takes a single number");
        }
        if (spec.table_coefficients == 4 && value.size() == 4) {
            for (std::size_t k = 0; k < 4; ++k) c[k] = finite_number(value[k], origin_, path.index(k));
            return c;
        }
        if (spec.table_coefficients == 4) fail(origin_, path, "give a constant or four coefficients [a, b, c, d]");
        if (value.size() != 6) {
            fail(origin_, path, "give a constant or six coefficients [a, b, c, d, e, Tref / K]");
        }
        for (std::size_t k = 0; k < 6; ++k) c[k] = finite_number(value[k], origin_, path.index(k));
        return c;
    }

    void read_binary(const Json &values, const JsonPath &path, const ParameterSpec &spec,
                     std::int64_t data_set) {
        object_at(values, path);
        struct Entry {
            std::array<double, 6> coefficients;
            bool is_table;
        };
        std::map<std::pair<std::int64_t, std::int64_t>, Entry> given;
        for (const auto &row : values.items()) {
            const JsonPath row_path = path.key(row.key());
            const std::int64_t i = known_component(row.key(), row_path);
            object_at(row.value(), row_path);
            for (const auto &cell : row.value().items()) {
                const JsonPath here = row_path.key(cell.key());
                const std::int64_t j = known_component(cell.key(), here);
                if (i == j) fail(origin_, here, "a binary parameter needs two different components");
                Entry e{};
                e.coefficients = read_coefficients(cell.value(), here, spec, e.is_table);
                given[{i, j}] = e;
            }
        }
        // A pair given in one order holds for both, unless the other order is given
        // too (a directional parameter holds only in the order given).
        auto entries = given;
        if (!spec.directional)
            for (const auto &[pair, entry] : given) entries.try_emplace({pair.second, pair.first}, entry);
        for (const auto &[pair, entry] : entries)
            add_binary(spec, data_set, pair.first, pair.second, entry.coefficients, entry.is_table);
    }

    void add_binary(const ParameterSpec &spec, std::int64_t data_set, std::int64_t i, std::int64_t j,
                    const std::array<double, 6> &c, bool is_table) {
        const bool temperature_dependent = c[1] != 0 || c[2] != 0 || c[3] != 0 || c[4] != 0;
        if (spec.shape == ParameterShape::binary_table) {
            description_.parameters.push_back(
                {std::string(spec.name), ParameterShape::binary_table, data_set, i, j, c});
            return;
        }
        if (is_table) {
            description_.parameters.push_back(
                {std::string(spec.table), ParameterShape::binary_table, data_set, i, j, c});
        }
        // The host evaluates a table only for pairs with a temperature term;
        // a constant (or a table without one) goes into the parameter itself.
        if (!temperature_dependent) {
            std::array<double, 6> value{};
            value[0] = c[0];
            description_.parameters.push_back(
                {std::string(spec.name), ParameterShape::binary, data_set, i, j, value});
        }
    }

    // ----------------------------------------------------------------- states

    struct Composition {
        std::vector<std::int64_t> components;
        std::vector<double> z;
    };

    struct StateFields {
        std::optional<std::string> label;
        std::optional<Located<std::string>> model;
        std::optional<Quantity> temperature, pressure;
        std::optional<Composition> composition;
        std::optional<std::int64_t> phase;
        std::optional<int> values, derivatives;  // bit k: property_names[k]
        std::optional<std::int64_t> diagnostics;
        std::optional<Located<std::int64_t>> data_set;
        std::optional<std::int64_t> option;
        std::optional<Located<std::int64_t>> mixing_rule, excess_model, alpha_option;  // cubic model
        std::optional<Located<std::int64_t>> root_search, association, entropy;  // associating PC-SAFT
    };

    static void take(StateFields &into, const StateFields &from) {
        auto merge = [](auto &a, const auto &b) {
            if (!a && b) a = b;
        };
        merge(into.label, from.label);
        merge(into.model, from.model);
        merge(into.temperature, from.temperature);
        merge(into.pressure, from.pressure);
        merge(into.composition, from.composition);
        merge(into.phase, from.phase);
        merge(into.values, from.values);
        merge(into.derivatives, from.derivatives);
        merge(into.diagnostics, from.diagnostics);
        merge(into.data_set, from.data_set);
        merge(into.option, from.option);
        merge(into.mixing_rule, from.mixing_rule);
        merge(into.excess_model, from.excess_model);
        merge(into.alpha_option, from.alpha_option);
        merge(into.root_search, from.root_search);
        merge(into.association, from.association);
        merge(into.entropy, from.entropy);
    }

    // A name from a short list: its number, or a CaseError listing the names.
    std::optional<Located<std::int64_t>> read_choice(ObjectReader &r, const JsonPath &path, std::string_view key,
                                                     std::initializer_list<std::pair<std::string_view, std::int64_t>> choices) {
        const auto value = r.optional_string(key);
        if (!value) return std::nullopt;
        std::string names;
        for (const auto &[name, number] : choices) {
            if (*value == name) return Located<std::int64_t>{number, path.key(key)};
            names += (names.empty() ? "" : ", ") + quote(name);
        }
        fail(origin_, path.key(key), "unknown " + std::string(key) + " " + quote(*value) + " (use " + names + ")");
    }

    int read_property_set(const Json &value, const JsonPath &path) const {
        if (value.is_string() && value.get<std::string>() == "all") return (1 << property_names.size()) - 1;
        if (!value.is_array())
            fail(origin_, path, "expected \"all\" or a list of \"ln_phi\", \"H\", \"S\", \"G\", \"V\"");
        int mask = 0;
        for (std::size_t k = 0; k < value.size(); ++k) {
            const std::string name = string_value(value[k], origin_, path.index(k));
            // "ln_phi" is the name results carry; "lnphi" is the spelling of earlier case files.
            const auto found =
                std::find(property_names.begin(), property_names.end(), name == "ln_phi" ? "lnphi" : name);
            if (found == property_names.end()) {
                fail(origin_, path.index(k),
                     "unknown property " + quote(name) + " (use ln_phi, H, S, G or V)");
            }
            const int bit = 1 << (found - property_names.begin());
            if (mask & bit) fail(origin_, path.index(k), quote(name) + " is listed twice");
            mask |= bit;
        }
        return mask;
    }

    Composition read_composition(const Json &value, const JsonPath &path, bool mass) const {
        object_at(value, path);
        if (value.empty()) fail(origin_, path, "a composition needs at least one component");
        Composition c;
        double sum = 0;
        for (const auto &item : value.items()) {
            const JsonPath here = path.key(item.key());
            const std::int64_t number = known_component(item.key(), here);
            if (description_.components[static_cast<std::size_t>(number - 1)].kind == ComponentKind::segment) {
                fail(origin_, here,
                     quote(item.key()) + " is a polymer segment, not a component of a phase: list the polymer");
            }
            const double f = finite_number(item.value(), origin_, here);
            if (f < 0) fail(origin_, here, "a fraction cannot be negative");
            sum += f;
            c.components.push_back(number);
            c.z.push_back(f);
        }
        check_sum(sum, path);
        if (mass) {
            // Apparent mole fractions: moles of each component on the host's MW basis.
            double moles = 0;
            for (std::size_t k = 0; k < c.z.size(); ++k) {
                c.z[k] /=
                    description_.components[static_cast<std::size_t>(c.components[k] - 1)].molecular_weight;
                moles += c.z[k];
            }
            for (double &z : c.z) z /= moles;
        }
        return c;
    }

    StateFields read_state_fields(const Json &value, const JsonPath &path, bool is_state) {
        ObjectReader r(value, path, origin_);
        StateFields f;
        if (is_state) f.label = r.optional_string("label");
        if (auto model = r.optional_string("model")) {
            if (find_model(*model) == nullptr) {
                std::string names;
                for (const ModelEntry &m : models()) names += (names.empty() ? "" : ", ") + quote(m.name);
                fail(origin_, path.key("model"),
                     "unknown model " + quote(*model) + " (known: " + names + ")");
            }
            f.model = Located<std::string>{*model, path.key("model")};
        }
        f.temperature = r.optional_quantity("T", Dimension::temperature);
        if (f.temperature && !(f.temperature->value > 0))
            fail(origin_, f.temperature->path, "T must be positive");
        f.pressure = r.optional_quantity("P", Dimension::pressure);
        if (f.pressure && !(f.pressure->value > 0)) fail(origin_, f.pressure->path, "P must be positive");
        const Json *mole = r.optional("mole_fractions");
        const Json *mass = r.optional("mass_fractions");
        if (mole && mass) fail(origin_, path, "give \"mole_fractions\" or \"mass_fractions\", not both");
        if (mole) f.composition = read_composition(*mole, path.key("mole_fractions"), false);
        if (mass) f.composition = read_composition(*mass, path.key("mass_fractions"), true);
        if (auto phase = r.optional_string("phase")) {
            if (*phase == "liquid") {
                f.phase = 2;
            } else if (*phase == "vapour" || *phase == "vapor") {
                f.phase = 1;
            } else {
                fail(origin_, path.key("phase"),
                     "unknown phase " + quote(*phase) + " (use \"liquid\" or \"vapour\")");
            }
        }
        if (const Json *p = r.optional("properties"))
            f.values = read_property_set(*p, path.key("properties"));
        if (const Json *d = r.optional("derivatives"))
            f.derivatives = read_property_set(*d, path.key("derivatives"));
        f.diagnostics = r.optional_integer("diagnostics", 0);
        if (auto ds = r.optional_integer("data_set", 1))
            f.data_set = Located<std::int64_t>{*ds, path.key("data_set")};
        f.mixing_rule = read_choice(r, path, "mixing_rule",
                                    {{"vdw", 1}, {"wong-sandler", 2}, {"mhv1", 3}, {"mhv2", 4}});
        f.excess_model = read_choice(r, path, "excess_gibbs",
                                     {{"ideal", 1}, {"redlich-kister", 2}, {"wilson", 3}, {"van-laar", 4},
                                      {"nrtl", 5}, {"uniquac", 6}, {"unifac", 7}});
        f.alpha_option = read_choice(r, path, "alpha", {{"soave", 0}, {"mathias-copeman", 2}});
        f.root_search = read_choice(r, path, "root_search", {{"host", 0}, {"own", 10}});
        f.association = read_choice(r, path, "association", {{"full", 0}, {"simplified", 20}, {"off", 1}});
        f.entropy = read_choice(r, path, "entropy", {{"departure", 0}, {"from-h-and-g", 11}});
        if (auto option = r.optional_string("segment_fractions")) {
            if (*option == "weight") {
                f.option = 0;
            } else if (*option == "mole") {
                f.option = 5;
            } else {
                fail(origin_, path.key("segment_fractions"), "use \"weight\" or \"mole\"");
            }
        }
        r.finish();
        return f;
    }

    void read_states(const Json &list, const JsonPath &path, const StateFields &defaults) {
        array_at(list, path);
        for (std::size_t k = 0; k < list.size(); ++k) {
            const JsonPath here = path.index(k);
            StateFields f = read_state_fields(list[k], here, true);
            take(f, defaults);
            auto missing = [&](std::string_view what) {
                fail(origin_, here, "no " + std::string(what) + " (give it here or in \"state_defaults\")");
            };
            if (!f.model) missing("\"model\"");
            if (!f.temperature) missing("\"T / K\"");
            if (!f.pressure) missing("\"P / Pa\"");
            if (!f.composition) missing("\"mole_fractions\" or \"mass_fractions\"");
            if (!f.phase) missing("\"phase\"");
            if (f.data_set && f.data_set->value > description_.data_sets) {
                fail(origin_, f.data_set->path,
                     "data set " + std::to_string(f.data_set->value) + " has no parameters (the case has " +
                         std::to_string(description_.data_sets) + ")");
            }
            const std::int64_t data_set = f.data_set ? f.data_set->value : 1;
            const ModelEntry *model = find_model(f.model->value);
            if (model->needs_parameters && !families_given_.contains({data_set, f.model->value})) {
                fail(origin_, f.data_set ? f.data_set->path : f.model->path,
                     "data set " + std::to_string(data_set) + " gives no " + f.model->value + " parameters");
            }
            StateRequest s;
            s.model = f.model->value;
            s.temperature = f.temperature->value;
            s.pressure = f.pressure->value;
            s.components = f.composition->components;
            s.z = f.composition->z;
            s.phase = *f.phase;
            const int values = f.values.value_or((1 << property_names.size()) - 1);
            const int derivatives = f.derivatives.value_or(0);
            for (std::size_t p = 0; p < property_names.size(); ++p) {
                s.flags[p] = ((values >> p) & 1) + 2 * ((derivatives >> p) & 1);
            }
            s.data_set = f.data_set ? f.data_set->value : 1;
            s.diagnostics = f.diagnostics.value_or(4);
            s.option = f.option.value_or(0);
            s.label = f.label.value_or("");
            for (const auto *cubic_only : {&f.mixing_rule, &f.excess_model, &f.alpha_option}) {
                if (*cubic_only && s.model != "cubic")
                    fail(origin_, (*cubic_only)->path, "only the \"cubic\" model takes this setting");
            }
            s.mixing_rule = f.mixing_rule ? f.mixing_rule->value : 1;
            s.excess_model = f.excess_model ? f.excess_model->value : 1;
            s.alpha_option = f.alpha_option ? f.alpha_option->value : 0;
            for (const auto *assoc_only : {&f.root_search, &f.association, &f.entropy}) {
                if (*assoc_only && s.model != "pcsaft-assoc")
                    fail(origin_, (*assoc_only)->path, "only the \"pcsaft-assoc\" model takes this setting");
            }
            if (f.entropy && f.entropy->value != 0 && f.association && f.association->value != 0)
                fail(origin_, f.entropy->path, "\"from-h-and-g\" needs the full association (\"association\": \"full\")");
            s.association_options = {0, f.root_search ? f.root_search->value : 0,
                                     f.entropy && f.entropy->value != 0 ? f.entropy->value
                                                                        : (f.association ? f.association->value : 0)};
            if (derivatives != 0 && !find_model(s.model)->temperature_derivatives)
                fail(origin_, here,
                     "the \"" + s.model + "\" monitor returns no temperature derivatives: leave out \"derivatives\"");
            description_.states.push_back(std::move(s));
        }
    }

    std::string origin_;
    CaseDescription description_;
    std::unordered_map<std::string, std::int64_t> numbers_;              // component numbers by identifier
    std::set<std::pair<std::int64_t, std::string>> families_given_;
    std::vector<DatabaseRequest> database_requests_;  // (data set, family) with parameters
};

}  // namespace

CaseDescription parse_description(std::string_view json_text, std::string_view origin) {
    const Json document = parse_document(json_text, origin);
    return CaseParser(origin).run(document);
}

}  // namespace keld::refhost::detail
