// The model parameters a case file may give, with their units and shapes.
//
// A family's entry in the model registry lists the names it reads; this table
// says how each is written in a case file. A binary parameter with a linked
// temperature table (SLKIJ <- SLKIJT) accepts six coefficients as well as a
// constant; PCSKIJ is itself a table. SFTKIJ is kept as a table too, but the
// SAFT monitors read its constant coefficient only, so a case gives a constant.
#pragma once

#include <array>
#include <string_view>

#include "case_reader.h"
#include "keld/refhost.h"

namespace keld::refhost::detail {

struct ParameterSpec {
    std::string_view name;
    ParameterShape shape;  // unary, binary or binary_table
    Dimension dimension;
    bool positive;             // values must be > 0
    std::string_view table;    // binary: its temperature table, empty when none
    std::string_view meaning;  // for documentation and `keld init`
    bool directional = false;  // binary: (i, j) and (j, i) are different parameters, never mirrored
    bool constant_only = false;  // a binary_table that case files give as one constant per pair
    int table_coefficients = 6;  // binary_table: coefficients a case file gives for a pair
};

inline constexpr std::array<ParameterSpec, 38> parameter_specs{{
    {"SLTSTR", ParameterShape::unary, Dimension::temperature, true, "", "characteristic temperature T*"},
    {"SLPSTR", ParameterShape::unary, Dimension::pressure, true, "", "characteristic pressure P*"},
    {"SLRSTR", ParameterShape::unary, Dimension::mass_density, true, "", "close-packed density rho*"},
    {"SLKIJ", ParameterShape::binary, Dimension::none, false, "SLKIJT", "cross-energy correction k_ij"},
    {"SLETIJ", ParameterShape::binary, Dimension::none, false, "SLETIT", "cross-volume correction eta_ij"},
    {"PCSFTM", ParameterShape::unary, Dimension::none, true, "", "segment number m"},
    {"PCSFTV", ParameterShape::unary, Dimension::length_angstrom, true, "", "segment diameter sigma"},
    {"PCSFTU", ParameterShape::unary, Dimension::temperature, true, "", "segment energy epsilon/k"},
    {"PCSFTR", ParameterShape::unary, Dimension::per_molar_mass, true, "", "segment ratio r = m/MWN"},
    {"PCSKIJ", ParameterShape::binary_table, Dimension::none, false, "",
     "k_ij(T) = a + b/Tr + c ln Tr + d Tr + e Tr^2"},
    // Cubic equation of state with excess-Gibbs mixing.
    {"TCRKS", ParameterShape::unary, Dimension::temperature, true, "", "critical temperature Tc"},
    {"PCRKS", ParameterShape::unary, Dimension::pressure, true, "", "critical pressure Pc"},
    {"OMGRKS", ParameterShape::unary, Dimension::none, false, "", "acentric factor omega"},
    {"RKSMC", ParameterShape::record3, Dimension::none, false, "", "Mathias-Copeman alpha [c1, c2, c3]"},
    {"RKSKIJ", ParameterShape::binary, Dimension::none, false, "", "van der Waals rule k_ij"},
    {"RKSWSK", ParameterShape::binary, Dimension::none, false, "", "Wong-Sandler k_ij"},
    {"GEAIJ", ParameterShape::binary, Dimension::none, false, "", "excess-Gibbs pair term a_ij of a_ij + b_ij/T",
     true},
    {"GEBIJ", ParameterShape::binary, Dimension::temperature, false, "",
     "excess-Gibbs pair term b_ij of a_ij + b_ij/T", true},
    {"GEALF", ParameterShape::binary, Dimension::none, false, "", "NRTL non-randomness alpha_ij"},
    {"UNIQR", ParameterShape::unary, Dimension::none, true, "", "UNIQUAC volume r"},
    {"UNIQQ", ParameterShape::unary, Dimension::none, true, "", "UNIQUAC area q"},
    {"RKSUC", ParameterShape::unary, Dimension::none, false, "", "host word kept with the cubic parameters"},
    {"RKSUP", ParameterShape::binary, Dimension::none, false, "", "host pair word kept with the cubic parameters"},
    {"SAFTM", ParameterShape::unary, Dimension::none, true, "", "segment number m"},
    {"SAFTV", ParameterShape::unary, Dimension::molar_volume, true, "", "segment volume v00"},
    {"SAFTU", ParameterShape::unary, Dimension::temperature, true, "", "segment energy u0/k"},
    {"SAFTE", ParameterShape::unary, Dimension::temperature, false, "", "energy correction e/k"},
    {"SAFTR", ParameterShape::unary, Dimension::per_molar_mass, true, "", "segment ratio r = m/MWN"},
    {"SFTKIJ", ParameterShape::binary_table, Dimension::none, false, "", "k_ij on u0_ij", false, true},
    {"SFTLIJ", ParameterShape::binary, Dimension::none, false, "", "l_ij on m_ij"},
    // PC-SAFT with association and a dipolar term.
    {"PCSATY", ParameterShape::unary, Dimension::none, false, "",
     "association site type: 0 none, 1..9 or \"1A\", \"2B\", \"3B\", \"4C\", a user code > 100"},
    {"PCSAEP", ParameterShape::unary, Dimension::temperature, true, "", "association energy eps^AB/k"},
    {"PCSAKP", ParameterShape::unary, Dimension::none, false, "", "association volume kappa^AB"},
    {"PCSAEX", ParameterShape::binary, Dimension::temperature, false, "", "cross association energy eps^AB_ij/k"},
    {"PCSAKX", ParameterShape::binary, Dimension::none, false, "", "cross association volume kappa^AB_ij"},
    {"PCSAMU", ParameterShape::unary, Dimension::dipole_moment, false, "", "dipole moment mu"},
    {"PCSAXP", ParameterShape::unary, Dimension::none, false, "", "fraction of dipolar segments x_p"},
    {"PCSLIJ", ParameterShape::binary_table, Dimension::none, false, "",
     "l_ij(T) = a + b/Tr + c ln Tr + d Tr, Tr = T/298.15 K", false, false, 4},
}};

inline const ParameterSpec *find_parameter_spec(std::string_view name) {
    for (const ParameterSpec &spec : parameter_specs) {
        if (spec.name == name) return &spec;
    }
    return nullptr;
}

}  // namespace keld::refhost::detail
