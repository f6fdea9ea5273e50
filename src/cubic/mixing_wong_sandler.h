// Wong and Sandler's rule: with m_ij = (1 - k_ij)((b_i - a_i/RT) + (b_j - a_j/RT))/2,
//   Q = sum x_i x_j m_ij,  D_WS = sum x_i a_i/(b_i RT) + (g^E/RT)/C*,
//   b = Q/(1 - D_WS),  D = R T b D_WS,
// with C* = -ln 2 for SRK. Partial molar (Orbey and Sandler):
//   d(n b)/dn_i = 2 sum_j x_j m_ij/(1 - D_WS) - Q (1 - Dbar_i)/(1 - D_WS)^2,
//   Dbar_i = a_i/(b_i RT) + ln gamma_i / C*,
//   (1/n) d(n^2 D)/dn_i = R T (D_WS d(n b)/dn_i + b Dbar_i).
#include <cmath>

#include "cubic/mixing_rules.h"

namespace keld::cubic {

bool wong_sandler_rule(const RuleInputs &in, const Jet &ge, const Jet *ln_gamma, const double *kij,
                       MixtureConstants &out) {
    const std::int64_t n = in.n;
    const double *x = in.x;
    const double c_star = -std::log(2.0);
    const Jet rt = in.gas_constant * Jet::temperature(in.t);
    Jet *virial = out.d_i;  // b_i - a_i/RT until D_i is formed
    for (std::int64_t i = 0; i < n; ++i) virial[i] = in.b[i] - in.a[i] / rt;
    Jet q, dws = ge / c_star;
    for (std::int64_t i = 0; i < n; ++i) {
        Jet sum;  // sum_j x_j m_ij
        for (std::int64_t j = 0; j < n; ++j)
            if (x[j] != 0.0) sum += (0.5 * x[j] * (1.0 - kij[i + n * j])) * (virial[i] + virial[j]);
        out.b_i[i] = sum;
        q += x[i] * sum;
        dws += x[i] * (in.a[i] / (in.b[i] * rt));
    }
    const Jet one_minus = 1.0 - dws;
    if (one_minus.v == 0.0) return false;
    out.b = q / one_minus;
    out.d = rt * out.b * dws;
    for (std::int64_t i = 0; i < n; ++i) {
        const Jet dbar = in.a[i] / (in.b[i] * rt) + ln_gamma[i] / c_star;
        const Jet b_i = 2.0 * out.b_i[i] / one_minus - q * (1.0 - dbar) / (one_minus * one_minus);
        out.b_i[i] = b_i;
        out.d_i[i] = rt * (dws * b_i + out.b * dbar);
    }
    return out.b.v > 0.0 && std::isfinite(out.d.v);
}

}  // namespace keld::cubic
