// Renon and Prausnitz's NRTL: tau_ij = E_ij, G_ij = exp(-alpha_ij tau_ij).
#include "cubic/excess_gibbs.h"

namespace keld::cubic {

void nrtl_ln_gamma(const GibbsInputs &in, Jet *ln_gamma) {
    const std::int64_t n = in.n;
    const double *x = in.x;
    Jet *g = in.scratch;                 // G_ij, n^2
    Jet *denominator = in.scratch + n * n;  // sum_k x_k G_kj, n
    Jet *numerator = denominator + n;       // sum_m x_m tau_mj G_mj, n
    const Jet *tau = in.energy;
    for (std::int64_t j = 0; j < n; ++j)
        for (std::int64_t i = 0; i < n; ++i)
            g[i + n * j] = i == j ? Jet(1.0) : exp(-in.alpha[i + n * j] * tau[i + n * j]);
    for (std::int64_t j = 0; j < n; ++j) {
        Jet den, num;
        for (std::int64_t k = 0; k < n; ++k) {
            den += x[k] * g[k + n * j];
            if (k != j) num += x[k] * (tau[k + n * j] * g[k + n * j]);
        }
        denominator[j] = den;
        numerator[j] = num / den;
    }
    for (std::int64_t i = 0; i < n; ++i) {
        Jet value = numerator[i];
        for (std::int64_t j = 0; j < n; ++j) {
            if (x[j] == 0.0) continue;
            const Jet tau_ij = i == j ? Jet(0.0) : tau[i + n * j];
            value += (x[j] * g[i + n * j] / denominator[j]) * (tau_ij - numerator[j]);
        }
        ln_gamma[i] = value;
    }
}

}  // namespace keld::cubic
