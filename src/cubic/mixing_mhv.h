// Michelsen's modified Huron-Vidal rules for SRK with g^E/RT and ln gamma.
// With alpha = D/(b R T), alpha_i = a_i/(b_i R T) and b = sum x_i b_i, the
// first-order rule (q1 = -0.593) reads
//   alpha = sum x_i alpha_i + (g^E/RT + sum x_i ln(b/b_i)) / q1
// and the second-order rule (q1 = -0.478, q2 = -0.0047)
//   q1 (alpha - sum x alpha_i) + q2 (alpha^2 - sum x alpha_i^2) = g^E/RT + sum x ln(b/b_i).
// Partial molar: d(n alpha)/dn_i follows from ln gamma_i and
// d(n sum x ln(b/b_j))/dn_i = ln(b/b_i) + b_i/b - 1.
#pragma once

#include <cmath>

#include "cubic/mixing_rule_inputs.h"

namespace keld::cubic {
namespace mhv {

inline constexpr double kMhv1Q1 = -0.593;
inline constexpr double kMhv2Q1 = -0.478;
inline constexpr double kMhv2Q2 = -0.0047;

// The monitor's heat capacity reads D's second temperature derivative: a
// Jet's must be finite too. Other numbers carry whatever they carry.
inline bool curvature_finite(const Jet &d) { return std::isfinite(d.dd); }
template <class J>
bool curvature_finite(const J &) {
    return true;
}

template <class J, class X>
bool modified_huron_vidal(const RuleInputsOf<J, X> &in, const J &ge, const J *ln_gamma, double q1, double q2,
                          MixtureConstantsOf<J> &out) {
    using std::log;
    using std::sqrt;
    const std::int64_t n = in.n;
    const X *x = in.x;
    const J rt = in.gas_constant * in.t;
    X b{};
    for (std::int64_t i = 0; i < n; ++i) b += x[i] * in.b[i];
    J s1{}, s2{};
    X size{};  // sum x ln(b/b_i)
    for (std::int64_t i = 0; i < n; ++i) {
        if (vanishes(x[i])) continue;
        const J alpha_i = in.a[i] / (in.b[i] * rt);
        s1 += x[i] * alpha_i;
        s2 += x[i] * (alpha_i * alpha_i);
        size += x[i] * log(b / in.b[i]);
    }
    const J rhs = ge + size;
    J alpha;
    if (q2 == 0.0) {
        alpha = s1 + rhs / q1;
    } else {
        // q2 alpha^2 + q1 alpha + c = 0 on the branch that tends to -c/q1 as q2 -> 0.
        const J c = -(q1 * s1 + q2 * s2 + rhs);
        const J discriminant = q1 * q1 - 4.0 * q2 * c;
        if (!(value(discriminant) > 0.0)) return false;
        alpha = 2.0 * c / (-q1 + sqrt(discriminant));
    }
    const J slope = q1 + 2.0 * q2 * alpha;
    if (value(slope) == 0.0) return false;
    out.b = J(b);
    out.d = alpha * b * rt;
    for (std::int64_t i = 0; i < n; ++i) {
        const J alpha_i = in.a[i] / (in.b[i] * rt);
        const J size_i = J(log(b / in.b[i]) + in.b[i] / b - 1.0);
        const J partial_rhs = ln_gamma[i] + size_i;  // d(n rhs)/dn_i
        const J n_dalpha = (q1 * (alpha_i - s1) + q2 * (alpha_i * alpha_i - s2) + (partial_rhs - rhs)) / slope;
        const J partial_alpha = alpha + n_dalpha;
        out.b_i[i] = J(in.b[i]);
        out.d_i[i] = rt * (in.b[i] * alpha + b * partial_alpha);
    }
    return std::isfinite(value(out.d)) && curvature_finite(out.d);
}

}  // namespace mhv

// False when the rule gives no mixture constants at T (MHV2: its quadratic
// has no real root).
template <class J, class X>
bool mhv1_rule(const RuleInputsOf<J, X> &in, const J &ge, const J *ln_gamma, MixtureConstantsOf<J> &out) {
    return mhv::modified_huron_vidal(in, ge, ln_gamma, mhv::kMhv1Q1, 0.0, out);
}

template <class J, class X>
bool mhv2_rule(const RuleInputsOf<J, X> &in, const J &ge, const J *ln_gamma, MixtureConstantsOf<J> &out) {
    return mhv::modified_huron_vidal(in, ge, ln_gamma, mhv::kMhv2Q1, mhv::kMhv2Q2, out);
}

}  // namespace keld::cubic
