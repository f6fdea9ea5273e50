// Renon and Prausnitz's NRTL: tau_ij = E_ij, G_ij = exp(-alpha_ij tau_ij).
#pragma once

#include <cmath>

#include "cubic/excess_gibbs_inputs.h"

namespace keld::cubic {

template <class J, class X>
void nrtl_ln_gamma(const GibbsInputsOf<J, X> &in, J *ln_gamma) {
    using std::exp;
    const std::int64_t n = in.n;
    const X *x = in.x;
    J *g = in.scratch;                    // G_ij, n^2
    J *denominator = in.scratch + n * n;  // sum_k x_k G_kj, n
    J *numerator = denominator + n;       // sum_m x_m tau_mj G_mj, n
    const J *tau = in.energy;
    for (std::int64_t j = 0; j < n; ++j)
        for (std::int64_t i = 0; i < n; ++i)
            g[i + n * j] = i == j ? J(1.0) : exp(-in.alpha[i + n * j] * tau[i + n * j]);
    for (std::int64_t j = 0; j < n; ++j) {
        J den{}, num{};
        for (std::int64_t k = 0; k < n; ++k) {
            den += x[k] * g[k + n * j];
            if (k != j) num += x[k] * (tau[k + n * j] * g[k + n * j]);
        }
        denominator[j] = den;
        numerator[j] = num / den;
    }
    for (std::int64_t i = 0; i < n; ++i) {
        J value = numerator[i];
        for (std::int64_t j = 0; j < n; ++j) {
            if (vanishes(x[j])) continue;
            const J tau_ij = i == j ? J(0.0) : tau[i + n * j];
            value += (x[j] * g[i + n * j] / denominator[j]) * (tau_ij - numerator[j]);
        }
        ln_gamma[i] = value;
    }
}

}  // namespace keld::cubic
