// What the cubic's mixing rules read and give: the mixture covolume b and
// attraction D (per mole) with their composition derivatives
// B_i = d(n b)/dn_i and D_i = (1/n) d(n^2 D)/dn_i. Templates over the number
// types: J for everything that depends on T (a Jet in the monitor, so b, D,
// B_i and D_i come with exact first and second temperature derivatives; in
// the model layer an automatic-differentiation number) and X for the mole
// fractions (double in the monitor).
#pragma once

#include <cstdint>

#include "cubic/jet.h"
#include "cubic/scalar.h"

namespace keld::cubic {

template <class J>
struct MixtureConstantsOf {
    J b{}, d{};
    J *b_i = nullptr, *d_i = nullptr;  // by position, n each
};
using MixtureConstants = MixtureConstantsOf<Jet>;

// What every rule reads: the listed components' x, b_i, a_i(T), the gas
// constant and the temperature (Jet::temperature(T) in the monitor).
template <class J, class X = double>
struct RuleInputsOf {
    std::int64_t n;
    const X *x;
    const double *b;
    const J *a;
    double gas_constant;
    J t;
};
using RuleInputs = RuleInputsOf<Jet, double>;

}  // namespace keld::cubic
