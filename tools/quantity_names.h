// One vocabulary of result names and units for everything a user reads: the
// keld command's tables, CSV and JSON, and (exported through the bindings) the
// Python package's result fields and columns. A label is the name, the
// component in brackets for per-component quantities, and the unit after
// " / ": "T / K", "ln_phi[TOLUENE]", "d_ln_phi_dT[PS] / (1/K)".
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace keld::cli {

// What a per-amount quantity is counted per: a polymer molecule is one
// molecule but many repeat units, so the two differ by its chain length.
enum class Basis {
    none,       // not per amount (T, P, fractions of a phase's mass, ...)
    molecules,  // per kmol of molecules (a polymer molecule counted once)
    apparent,   // per kmol as the host counts (a polymer in its repeat units), as the monitors report
    mass,       // per kg
};

struct Quantity {
    std::string_view name;     // "V", "ln_phi", "dH_vap"
    std::string_view unit;     // "m3/kmol"; empty for a dimensionless number
    Basis basis;
    bool per_component;        // labelled name[ID]
    std::string_view meaning;  // one line for the documentation
};

// Every quantity of the vocabulary, in the order of its documentation.
std::span<const Quantity> quantities();

// The quantity of a name; throws std::out_of_range for a name not in the vocabulary.
const Quantity &quantity(std::string_view name);

// "V / (m3/kmol)", "T / K", "Z_liquid"; "ln_phi[TOLUENE]", "x[PS]".
std::string label(std::string_view name);
std::string label(std::string_view name, std::string_view component);
// The label in a unit scaled for reading ("P / MPa", "T / degC").
std::string label_in(std::string_view name, std::string_view unit);

// "molecules", "apparent", "mass" or "" (none).
std::string_view basis_text(Basis b);

// Shortest text that reads back as the same double ("298.15", "1e-05");
// "nan"/"inf" for those. For CSV and other files read by programs.
std::string round_trip(double x);

}  // namespace keld::cli
