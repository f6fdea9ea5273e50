// Original UNIFAC (Fredenslund, Jones and Prausnitz): the combinatorial part
// of UNIQUAC with r and q summed from the groups, and the group residual part
// with Psi_mn = exp(-a_mn/T) between main groups.
#include "cubic/excess_gibbs.h"
#include "cubic/unifac_groups.h"

namespace keld::cubic {
namespace {

// ln Gamma_k of every subgroup in a solution of group area fractions theta.
// With only_present, just the groups of non-zero theta (a pure component's own).
void group_residual(const UnifacMixture &mix, const double *theta, bool only_present, Jet *ln_gamma) {
    const std::int64_t g = mix.groups, m = mix.mains;
    auto psi = [&](std::int64_t a, std::int64_t b) -> const Jet & {
        return mix.psi[static_cast<std::int64_t>(mix.main[a]) + m * static_cast<std::int64_t>(mix.main[b])];
    };
    for (std::int64_t k = 0; k < g; ++k) {
        if (only_present && theta[k] == 0.0) continue;
        Jet s;
        for (std::int64_t l = 0; l < g; ++l)
            if (theta[l] != 0.0) s += theta[l] * psi(l, k);
        mix.sums[k] = s;
    }
    for (std::int64_t k = 0; k < g; ++k) {
        if (only_present && theta[k] == 0.0) continue;
        Jet value = 1.0 - log(mix.sums[k]);
        for (std::int64_t l = 0; l < g; ++l)
            if (theta[l] != 0.0) value -= theta[l] * psi(k, l) / mix.sums[l];
        ln_gamma[k] = mix.big_q[k] * value;
    }
}

// Area fractions of the groups in a solution with group counts weight_i nu_ik.
void area_fractions(const UnifacMixture &mix, std::int64_t n, const double *weights, double *theta) {
    double total = 0.0;
    for (std::int64_t k = 0; k < mix.groups; ++k) {
        double count = 0.0;
        for (std::int64_t i = 0; i < n; ++i) count += weights[i] * mix.nu[i + n * k];
        theta[k] = count * mix.big_q[k];
        total += theta[k];
    }
    for (std::int64_t k = 0; k < mix.groups; ++k) theta[k] /= total;
}

}  // namespace

void unifac_ln_gamma(const GibbsInputs &in, Jet *ln_gamma) {
    const UnifacMixture &mix = *in.groups;
    const std::int64_t n = in.n, g = mix.groups, m = mix.mains;
    combinatorial_ln_gamma(n, in.x, in.r, in.q, ln_gamma);
    for (std::int64_t b = 0; b < m; ++b)
        for (std::int64_t a = 0; a < m; ++a) mix.psi[a + m * b] = a == b ? Jet(1.0) : exp(-mix.a[a + m * b] / in.t);

    area_fractions(mix, n, in.x, mix.theta);
    group_residual(mix, mix.theta, false, mix.ln_gamma);

    // Each component alone: its own groups only.
    double *unit = mix.unit;
    for (std::int64_t i = 0; i < n; ++i) {
        for (std::int64_t k = 0; k < n; ++k) unit[k] = k == i ? 1.0 : 0.0;
        area_fractions(mix, n, unit, mix.theta);
        Jet *pure = mix.pure_ln_gamma + i * g;
        group_residual(mix, mix.theta, true, pure);
        Jet residual;
        for (std::int64_t k = 0; k < g; ++k) {
            const double nu = mix.nu[i + n * k];
            if (nu != 0.0) residual += nu * (mix.ln_gamma[k] - pure[k]);
        }
        ln_gamma[i] += residual;
    }
}

}  // namespace keld::cubic
