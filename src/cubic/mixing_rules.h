// Mixing rules of the cubic: the mixture covolume b and attraction D (per
// mole) with their composition derivatives B_i = d(n b)/dn_i and
// D_i = (1/n) d(n^2 D)/dn_i, all as Jets in T (exact first and second
// temperature derivatives).
#pragma once

#include <cstdint>

#include "cubic/jet.h"

namespace keld::cubic {

struct MixtureConstants {
    Jet b, d;
    Jet *b_i, *d_i;  // by position, n each
};

// What every rule reads: the listed components' x, b_i, a_i(T) and gas constant.
struct RuleInputs {
    std::int64_t n;
    const double *x;
    const double *b;
    const Jet *a;
    double gas_constant;
    double t;
};

// Classical van der Waals one-fluid rule: D = sum x_i x_j sqrt(a_i a_j)(1 - k_ij),
// b = sum x_i b_i; kij n-by-n by position (i + n j).
void van_der_waals_rule(const RuleInputs &in, const double *kij, MixtureConstants &out);

// Michelsen's modified Huron-Vidal rules for SRK with g^E/RT and ln gamma:
// first order (q1 = -0.593) and second order (q1 = -0.478, q2 = -0.0047).
// False when the second-order quadratic has no real root.
bool mhv1_rule(const RuleInputs &in, const Jet &ge, const Jet *ln_gamma, MixtureConstants &out);
bool mhv2_rule(const RuleInputs &in, const Jet &ge, const Jet *ln_gamma, MixtureConstants &out);

// Wong and Sandler's rule for SRK (C* = -ln 2) with g^E/RT for the excess
// Helmholtz energy at infinite pressure and k_ij of the cross second virial
// coefficient. False when the rule gives no positive covolume.
bool wong_sandler_rule(const RuleInputs &in, const Jet &ge, const Jet *ln_gamma, const double *kij,
                       MixtureConstants &out);

}  // namespace keld::cubic
