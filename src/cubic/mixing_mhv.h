// Modified Huron-Vidal rules. With alpha = D/(b R T), alpha_i = a_i/(b_i R T)
// and b = sum x_i b_i, the first-order rule reads
//   alpha = sum x_i alpha_i + (g^E/RT + sum x_i ln(b/b_i)) / q1
// and the second-order rule
//   q1 (alpha - sum x alpha_i) + q2 (alpha^2 - sum x alpha_i^2) = g^E/RT + sum x ln(b/b_i).
// Partial molar: d(n alpha)/dn_i follows from ln gamma_i and
// d(n sum x ln(b/b_j))/dn_i = ln(b/b_i) + b_i/b - 1.
#include <cmath>

#include "cubic/mixing_rules.h"

namespace keld::cubic {
namespace {

constexpr double kMhv1Q1 = -0.593;
constexpr double kMhv2Q1 = -0.478;
constexpr double kMhv2Q2 = -0.0047;

bool modified_huron_vidal(const RuleInputs &in, const Jet &ge, const Jet *ln_gamma, double q1, double q2,
                          MixtureConstants &out) {
    const std::int64_t n = in.n;
    const double *x = in.x;
    const Jet rt = in.gas_constant * Jet::temperature(in.t);
    double b = 0.0;
    for (std::int64_t i = 0; i < n; ++i) b += x[i] * in.b[i];
    Jet s1, s2;
    double size = 0.0;  // sum x ln(b/b_i)
    for (std::int64_t i = 0; i < n; ++i) {
        if (x[i] == 0.0) continue;
        const Jet alpha_i = in.a[i] / (in.b[i] * rt);
        s1 += x[i] * alpha_i;
        s2 += x[i] * (alpha_i * alpha_i);
        size += x[i] * std::log(b / in.b[i]);
    }
    const Jet rhs = ge + size;
    Jet alpha;
    if (q2 == 0.0) {
        alpha = s1 + rhs / q1;
    } else {
        // q2 alpha^2 + q1 alpha + c = 0 on the branch that tends to -c/q1 as q2 -> 0.
        const Jet c = -(q1 * s1 + q2 * s2 + rhs);
        const Jet discriminant = q1 * q1 - 4.0 * q2 * c;
        if (!(discriminant.v > 0.0)) return false;
        alpha = 2.0 * c / (-q1 + sqrt(discriminant));
    }
    const Jet slope = q1 + 2.0 * q2 * alpha;
    if (slope.v == 0.0) return false;
    out.b = Jet(b);
    out.d = alpha * b * rt;
    for (std::int64_t i = 0; i < n; ++i) {
        const Jet alpha_i = in.a[i] / (in.b[i] * rt);
        const Jet size_i = Jet(std::log(b / in.b[i]) + in.b[i] / b - 1.0);
        const Jet partial_rhs = ln_gamma[i] + size_i;  // d(n rhs)/dn_i
        const Jet n_dalpha = (q1 * (alpha_i - s1) + q2 * (alpha_i * alpha_i - s2) + (partial_rhs - rhs)) / slope;
        const Jet partial_alpha = alpha + n_dalpha;
        out.b_i[i] = Jet(in.b[i]);
        out.d_i[i] = rt * (in.b[i] * alpha + b * partial_alpha);
    }
    return std::isfinite(out.d.v) && std::isfinite(out.d.dd);
}

}  // namespace

bool mhv1_rule(const RuleInputs &in, const Jet &ge, const Jet *ln_gamma, MixtureConstants &out) {
    return modified_huron_vidal(in, ge, ln_gamma, kMhv1Q1, 0.0, out);
}

bool mhv2_rule(const RuleInputs &in, const Jet &ge, const Jet *ln_gamma, MixtureConstants &out) {
    return modified_huron_vidal(in, ge, ln_gamma, kMhv2Q1, kMhv2Q2, out);
}

}  // namespace keld::cubic
