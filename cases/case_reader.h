// Reading a JSON case document strictly: every object is read through an
// ObjectReader that knows the keys it accepts, so an unknown or misspelt key
// anywhere is an error naming its place; quantities carry their unit in the
// key ("T / K", "P / bar") and are converted to SI units where they are read.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "keld/case.h"

namespace keld::refhost::detail {

using Json = nlohmann::ordered_json;

// A place in the document, printed as a JSON path: components[2].segments.STY,
// parameters[0].pcsaft["PCSFTV / A"].TOLUENE.
class JsonPath {
  public:
    JsonPath() = default;
    JsonPath key(std::string_view name) const;
    JsonPath index(std::size_t position) const;
    const std::string &text() const { return text_; }

  private:
    std::string text_;
};

// Throws CaseError for `path` in the document `origin`.
[[noreturn]] void fail(std::string_view origin, const JsonPath &path, const std::string &what);

// Quantities and the units accepted for them in keys (factor to SI / the
// system's unit). A dimensionless quantity has no unit in its key.
enum class Dimension {
    none,
    temperature,
    pressure,
    mass_density,
    length_angstrom,
    molar_mass,
    per_molar_mass,
    molar_volume,
    dipole_moment
};

// The value in the system's unit is value * factor + offset (an offset only
// for a temperature on the Celsius scale).
struct UnitFactor {
    std::string_view unit;
    double factor;
    double offset = 0.0;
};
std::span<const UnitFactor> units_of(Dimension dimension);
// A quantity written with its unit ("25 degC", "25 °C", "1 bar", "101.325 kPa"),
// converted; a bare number is in the system's unit (the first listed: K, Pa).
// Throws std::invalid_argument naming `what` and the units accepted.
double quantity_from_text(std::string_view text, Dimension dimension, std::string_view what);
std::string canonical_key(std::string_view name, Dimension dimension);  // "T / K", "PCSFTM"

// A key split into its quantity name and unit: "SLRSTR / (kg/m3)" -> ("SLRSTR", "kg/m3").
struct KeyParts {
    std::string name, unit;  // unit empty when the key has none
};
KeyParts split_key(std::string_view key);

struct Quantity {
    double value = 0;  // converted
    JsonPath path;     // of the key
};

class ObjectReader {
  public:
    ObjectReader(const Json &value, JsonPath path, std::string_view origin);

    const JsonPath &path() const { return path_; }
    std::string_view origin() const { return origin_; }
    bool has(std::string_view key) const;

    // The value of `key`, or null when absent; the key counts as known.
    const Json *optional(std::string_view key);
    const Json &required(std::string_view key);

    std::optional<std::string> optional_string(std::string_view key);
    std::optional<std::int64_t> optional_integer(std::string_view key, std::int64_t minimum);

    // A quantity whose key names `name` with one of the units of `dimension`;
    // the value (a finite number) is returned in SI units. `key_for_units`
    // receives the key as written when found.
    std::optional<Quantity> optional_quantity(std::string_view name, Dimension dimension);
    // Every key naming `name` with some unit (for values that are objects
    // rather than numbers, e.g. a parameter given per component).
    const Json *optional_quantity_object(std::string_view name, Dimension dimension, double &factor,
                                         JsonPath &where);

    // Throws for the first key that no call above asked for.
    void finish() const;

  private:
    const Json &object_;
    JsonPath path_;
    std::string origin_;
    std::vector<std::string> known_;     // canonical spellings, for the error message
    std::vector<std::string> consumed_;  // keys as written
    const std::string *find_quantity_key(std::string_view name, Dimension dimension, UnitFactor &conversion);
};

// A finite number at `path`; throws otherwise.
double finite_number(const Json &value, std::string_view origin, const JsonPath &path);
std::string string_value(const Json &value, std::string_view origin, const JsonPath &path);

// Parses the text; syntax errors and duplicate keys are CaseErrors with the
// line and column (syntax) or the path (duplicates), and so is nesting deeper
// than kMaxNestingDepth (a case needs about six levels).
inline constexpr std::size_t kMaxNestingDepth = 64;
Json parse_document(std::string_view text, std::string_view origin);

}  // namespace keld::refhost::detail
