// Wong and Sandler's rule for SRK with g^E/RT for the excess Helmholtz energy
// at infinite pressure and k_ij of the cross second virial coefficient: with
// m_ij = (1 - k_ij)((b_i - a_i/RT) + (b_j - a_j/RT))/2,
//   Q = sum x_i x_j m_ij,  D_WS = sum x_i a_i/(b_i RT) + (g^E/RT)/C*,
//   b = Q/(1 - D_WS),  D = R T b D_WS,
// with C* = -ln 2 for SRK. Partial molar (Orbey and Sandler):
//   d(n b)/dn_i = 2 sum_j x_j m_ij/(1 - D_WS) - Q (1 - Dbar_i)/(1 - D_WS)^2,
//   Dbar_i = a_i/(b_i RT) + ln gamma_i / C*,
//   (1/n) d(n^2 D)/dn_i = R T (D_WS d(n b)/dn_i + b Dbar_i).
#pragma once

#include <cmath>

#include "cubic/mixing_rule_inputs.h"

namespace keld::cubic {

// False when the rule gives no positive covolume.
template <class J, class X>
bool wong_sandler_rule(const RuleInputsOf<J, X> &in, const J &ge, const J *ln_gamma, const double *kij,
                       MixtureConstantsOf<J> &out) {
    const std::int64_t n = in.n;
    const X *x = in.x;
    const double c_star = -std::log(2.0);
    const J rt = in.gas_constant * in.t;
    J *virial = out.d_i;  // b_i - a_i/RT until D_i is formed
    for (std::int64_t i = 0; i < n; ++i) virial[i] = in.b[i] - in.a[i] / rt;
    J q{}, dws = ge / c_star;
    for (std::int64_t i = 0; i < n; ++i) {
        J sum{};  // sum_j x_j m_ij
        for (std::int64_t j = 0; j < n; ++j)
            if (!vanishes(x[j])) sum += (0.5 * x[j] * (1.0 - kij[i + n * j])) * (virial[i] + virial[j]);
        out.b_i[i] = sum;
        q += x[i] * sum;
        dws += x[i] * (in.a[i] / (in.b[i] * rt));
    }
    const J one_minus = 1.0 - dws;
    if (value(one_minus) == 0.0) return false;
    out.b = q / one_minus;
    out.d = rt * out.b * dws;
    for (std::int64_t i = 0; i < n; ++i) {
        const J dbar = in.a[i] / (in.b[i] * rt) + ln_gamma[i] / c_star;
        const J b_i = 2.0 * out.b_i[i] / one_minus - q * (1.0 - dbar) / (one_minus * one_minus);
        out.b_i[i] = b_i;
        out.d_i[i] = rt * (dws * b_i + out.b * dbar);
    }
    return value(out.b) > 0.0 && std::isfinite(value(out.d));
}

}  // namespace keld::cubic
