// The vocabulary's table (see quantity_names.h). A name is added here once and
// used by every writer; docs/vocabulary.md lists the same table for readers.
#include "quantity_names.h"

#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace keld::cli {
namespace {

using enum Basis;

constexpr std::array kQuantities{
    // The state.
    Quantity{"T", "K", none, false, "temperature"},
    Quantity{"P", "Pa", none, false, "pressure"},
    Quantity{"z", "", apparent, true, "mole fraction of a monitor call, counted as the host counts"},
    Quantity{"x", "", molecules, true, "mole fraction of molecules in a liquid (or the only) phase"},
    Quantity{"y", "", molecules, true, "mole fraction of molecules in the vapour"},
    Quantity{"w", "", mass, true, "weight fraction"},
    // What a property monitor returns.
    Quantity{"ln_phi", "", apparent, true, "logarithm of the fugacity coefficient"},
    Quantity{"d_ln_phi_dT", "1/K", apparent, true, "its temperature derivative at constant P"},
    Quantity{"H", "J/kmol", apparent, false, "enthalpy departure from the ideal gas at T"},
    Quantity{"S", "J/(kmol K)", apparent, false, "entropy departure from the ideal gas at T and 101325 Pa"},
    Quantity{"G", "J/kmol", apparent, false, "Gibbs-energy departure from the ideal gas at T and 101325 Pa"},
    Quantity{"V", "m3/kmol", apparent, false, "molar volume"},
    Quantity{"dH_dT", "J/(kmol K)", apparent, false, "temperature derivative of H at constant P"},
    Quantity{"dS_dT", "J/(kmol K2)", apparent, false, "temperature derivative of S at constant P"},
    Quantity{"dG_dT", "J/(kmol K)", apparent, false, "temperature derivative of G at constant P"},
    Quantity{"dV_dT", "m3/(kmol K)", apparent, false, "temperature derivative of V at constant P"},
    // Phase equilibria.
    Quantity{"V_apparent", "m3/kmol", apparent, false, "molar volume counted as the host counts (as V above)"},
    Quantity{"V_molecules", "m3/kmol", molecules, false, "molar volume per kmol of molecules"},
    Quantity{"rho", "kmol/m3", molecules, false, "molar density"},
    Quantity{"rho_mass", "kg/m3", mass, false, "mass density"},
    Quantity{"rho_liquid", "kmol/m3", molecules, false, "molar density of the liquid"},
    Quantity{"rho_vapour", "kmol/m3", molecules, false, "molar density of the vapour"},
    Quantity{"rho_feed", "kmol/m3", molecules, false, "molar density of the feed at a phase boundary"},
    Quantity{"rho_incipient", "kmol/m3", molecules, false, "molar density of the incipient phase"},
    Quantity{"x_incipient", "", molecules, true, "mole fraction of molecules in the incipient phase"},
    Quantity{"rho_mass_liquid", "kg/m3", mass, false, "mass density of the saturated liquid"},
    Quantity{"rho_mass_vapour", "kg/m3", mass, false, "mass density of the saturated vapour"},
    Quantity{"Z_liquid", "", none, false, "compressibility factor of the saturated liquid"},
    Quantity{"Z_vapour", "", none, false, "compressibility factor of the saturated vapour"},
    Quantity{"dH_vap", "J/kmol", molecules, false, "enthalpy of vaporisation"},
    Quantity{"fraction", "", molecules, false, "kmol of molecules in the phase per kmol of feed"},
    Quantity{"mass_fraction", "", mass, false, "mass of the phase per mass of feed"},
    Quantity{"tpd", "", none, false, "tangent-plane distance / (R T) of the most unstable trial (below 0: the phase splits)"},
    Quantity{"p", "Pa", none, true, "partial pressure of a volatile component"},
    Quantity{"a", "", none, true, "activity of a volatile component"},
    Quantity{"Omega", "", mass, true, "weight-fraction activity coefficient"},
    Quantity{"w_lean", "", mass, false, "weight fraction of the polymer in the lean liquid"},
    Quantity{"w_rich", "", mass, false, "weight fraction of the polymer in the rich liquid"},
    Quantity{"w_spinodal_lean", "", mass, false, "weight fraction of the polymer at the lean spinodal"},
    Quantity{"w_spinodal_rich", "", mass, false, "weight fraction of the polymer at the rich spinodal"},
    // Ternary liquid-liquid diagrams: every component in both liquids of a tie line.
    Quantity{"w_lean_liquid", "", mass, true, "weight fraction in the polymer-lean liquid of a tie line"},
    Quantity{"w_rich_liquid", "", mass, true, "weight fraction in the polymer-rich liquid of a tie line"},
    Quantity{"rho_lean", "kmol/m3", molecules, false, "molar density of the polymer-lean liquid"},
    Quantity{"rho_rich", "kmol/m3", molecules, false, "molar density of the polymer-rich liquid"},
    // Three-phase lines: two liquids (the first the richer in the first component) under a vapour.
    Quantity{"x_liquid1", "", molecules, true, "mole fraction in the first liquid of a three-phase state"},
    Quantity{"x_liquid2", "", molecules, true, "mole fraction in the second liquid of a three-phase state"},
    Quantity{"rho_liquid1", "kmol/m3", molecules, false, "molar density of the first liquid"},
    Quantity{"rho_liquid2", "kmol/m3", molecules, false, "molar density of the second liquid"},
    // Polydisperse polymers.
    Quantity{"w_polymer", "", mass, false, "weight fraction of the polymer (all its chain lengths)"},
    Quantity{"w_polymer_shadow", "", mass, false, "weight fraction of the polymer in the shadow (incipient) phase"},
    Quantity{"Mn", "kg/kmol", none, false, "number-average molecular weight of the polymer in a phase"},
    Quantity{"Mw", "kg/kmol", none, false, "weight-average molecular weight of the polymer in a phase"},
    Quantity{"Mn_shadow", "kg/kmol", none, false, "Mn of the polymer in the shadow phase"},
    Quantity{"Mw_shadow", "kg/kmol", none, false, "Mw of the polymer in the shadow phase"},
    Quantity{"M", "kg/kmol", none, false, "molecular weight of one chain length of the distribution"},
    Quantity{"w_chain", "", mass, false, "weight fraction of one chain length within the polymer"},
    Quantity{"rich_share", "", mass, false, "mass of the polymer-rich phase per mass of feed"},
};

// "K" stays bare; "m3/kmol" is parenthesised so that the slash cannot be read as the label's own.
std::string with_unit(std::string text, std::string_view unit) {
    if (unit.empty()) return text;
    const bool bare = unit.find_first_of("/ ") == std::string_view::npos;
    text.append(bare ? " / " : " / (").append(unit);
    if (!bare) text.push_back(')');
    return text;
}

}  // namespace

std::span<const Quantity> quantities() { return kQuantities; }

const Quantity &quantity(std::string_view name) {
    for (const Quantity &q : kQuantities)
        if (q.name == name) return q;
    throw std::out_of_range("'" + std::string(name) + "' is not a quantity of the vocabulary");
}

std::string label(std::string_view name) {
    const Quantity &q = quantity(name);
    if (q.per_component) throw std::out_of_range("'" + std::string(name) + "' is labelled per component");
    return with_unit(std::string(q.name), q.unit);
}

std::string label(std::string_view name, std::string_view component) {
    const Quantity &q = quantity(name);
    if (!q.per_component) throw std::out_of_range("'" + std::string(name) + "' is not a per-component quantity");
    std::string text(q.name);
    text.append("[").append(component).append("]");
    return with_unit(std::move(text), q.unit);
}

std::string label_in(std::string_view name, std::string_view unit) {
    return with_unit(std::string(quantity(name).name), unit);
}

std::string_view basis_text(Basis b) {
    switch (b) {
        case molecules: return "molecules";
        case apparent: return "apparent";
        case mass: return "mass";
        case none: break;
    }
    return "";
}

std::string round_trip(double x) {
    if (std::isnan(x)) return "nan";
    if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, x);
    if (error != std::errc{}) throw std::logic_error("a double did not fit its shortest text");
    return std::string(buffer, end);
}

}  // namespace keld::cli
