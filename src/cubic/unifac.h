// Original UNIFAC (Fredenslund, Jones and Prausnitz): the combinatorial part
// of UNIQUAC with r and q summed from the groups, and the group residual part
// with Psi_mn = exp(-a_mn/T) between main groups.
#pragma once

#include <cmath>

#include "cubic/excess_gibbs_inputs.h"
#include "cubic/unifac_groups.h"
#include "cubic/uniquac.h"

namespace keld::cubic {
namespace unifac_detail {

// ln Gamma_k of every subgroup in a solution of group area fractions theta.
// With only_present, just the groups of non-zero theta (a pure component's own).
template <class J, class X, class W>
void group_residual(const UnifacMixtureOf<J, X> &mix, const W *theta, bool only_present, J *ln_gamma) {
    using std::log;
    const std::int64_t g = mix.groups, m = mix.mains;
    auto psi = [&](std::int64_t a, std::int64_t b) -> const J & {
        return mix.psi[static_cast<std::int64_t>(mix.main[a]) + m * static_cast<std::int64_t>(mix.main[b])];
    };
    for (std::int64_t k = 0; k < g; ++k) {
        if (only_present && vanishes(theta[k])) continue;
        J s{};
        for (std::int64_t l = 0; l < g; ++l)
            if (!vanishes(theta[l])) s += theta[l] * psi(l, k);
        mix.sums[k] = s;
    }
    for (std::int64_t k = 0; k < g; ++k) {
        if (only_present && vanishes(theta[k])) continue;
        J value = 1.0 - log(mix.sums[k]);
        for (std::int64_t l = 0; l < g; ++l)
            if (!vanishes(theta[l])) value -= theta[l] * psi(k, l) / mix.sums[l];
        ln_gamma[k] = mix.big_q[k] * value;
    }
}

// Area fractions of the groups in a solution with group counts weight_i nu_ik.
template <class W>
void area_fractions(const UnifacGroups &mix, std::int64_t n, const W *weights, W *theta) {
    W total{};
    for (std::int64_t k = 0; k < mix.groups; ++k) {
        W count{};
        for (std::int64_t i = 0; i < n; ++i) count += weights[i] * mix.nu[i + n * k];
        theta[k] = count * mix.big_q[k];
        total += theta[k];
    }
    for (std::int64_t k = 0; k < mix.groups; ++k) theta[k] /= total;
}

}  // namespace unifac_detail

template <class J, class X>
void unifac_ln_gamma(const GibbsInputsOf<J, X> &in, J *ln_gamma) {
    using std::exp;
    const UnifacMixtureOf<J, X> &mix = *in.groups;
    const std::int64_t n = in.n, g = mix.groups, m = mix.mains;
    combinatorial_ln_gamma(n, in.x, in.r, in.q, ln_gamma);
    for (std::int64_t b = 0; b < m; ++b)
        for (std::int64_t a = 0; a < m; ++a) mix.psi[a + m * b] = a == b ? J(1.0) : exp(-mix.a[a + m * b] / in.t);

    unifac_detail::area_fractions(mix, n, in.x, mix.theta);
    unifac_detail::group_residual(mix, mix.theta, false, mix.ln_gamma);

    // Each component alone: its own groups only (the pure area fractions may
    // share the mixture's array: those are used up by now).
    double *unit = mix.unit;
    for (std::int64_t i = 0; i < n; ++i) {
        for (std::int64_t k = 0; k < n; ++k) unit[k] = k == i ? 1.0 : 0.0;
        unifac_detail::area_fractions(mix, n, static_cast<const double *>(unit), mix.pure_theta);
        J *pure = mix.pure_ln_gamma + i * g;
        unifac_detail::group_residual(mix, static_cast<const double *>(mix.pure_theta), true, pure);
        J residual{};
        for (std::int64_t k = 0; k < g; ++k) {
            const double nu = mix.nu[i + n * k];
            if (nu != 0.0) residual += nu * (mix.ln_gamma[k] - pure[k]);
        }
        ln_gamma[i] += residual;
    }
}

}  // namespace keld::cubic
