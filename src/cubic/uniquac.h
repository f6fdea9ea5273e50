// Abrams and Prausnitz's UNIQUAC: the combinatorial part from the volume r
// and area q of each component (a polymer's from its units or segments, so
// its size enters), the residual part with tau_ij = exp(E_ij).
#pragma once

#include <cmath>

#include "cubic/excess_gibbs_inputs.h"

namespace keld::cubic {

inline constexpr double kCoordination = 10.0;

// Staverman-Guggenheim combinatorial part (Flory-Huggins volume fractions
// with the surface correction, z = 10) shared by UNIQUAC and UNIFAC.
template <class J, class X>
void combinatorial_ln_gamma(std::int64_t n, const X *x, const double *r, const double *q, J *ln_gamma) {
    using std::log;
    X rx{}, qx{};
    for (std::int64_t i = 0; i < n; ++i) {
        rx += r[i] * x[i];
        qx += q[i] * x[i];
    }
    for (std::int64_t i = 0; i < n; ++i) {
        const X phi_over_x = r[i] / rx;  // Phi_i / x_i
        const X phi_over_theta = (r[i] / rx) / (q[i] / qx);
        ln_gamma[i] = J(log(phi_over_x) + 1.0 - phi_over_x -
                        0.5 * kCoordination * q[i] * (log(phi_over_theta) + 1.0 - phi_over_theta));
    }
}

template <class J, class X>
void uniquac_ln_gamma(const GibbsInputsOf<J, X> &in, J *ln_gamma) {
    using std::exp;
    using std::log;
    const std::int64_t n = in.n;
    const X *x = in.x;
    combinatorial_ln_gamma(n, x, in.r, in.q, ln_gamma);
    J *tau = in.scratch;        // n^2
    J *s = in.scratch + n * n;  // s_j = sum_k theta_k tau_kj
    X qx{};
    for (std::int64_t i = 0; i < n; ++i) qx += in.q[i] * x[i];
    auto theta = [&](std::int64_t i) -> X { return in.q[i] * x[i] / qx; };
    for (std::int64_t j = 0; j < n; ++j)
        for (std::int64_t i = 0; i < n; ++i) tau[i + n * j] = i == j ? J(1.0) : exp(in.energy[i + n * j]);
    for (std::int64_t j = 0; j < n; ++j) {
        J sum{};
        for (std::int64_t k = 0; k < n; ++k) sum += theta(k) * tau[k + n * j];
        s[j] = sum;
    }
    for (std::int64_t i = 0; i < n; ++i) {
        J residual = 1.0 - log(s[i]);
        for (std::int64_t j = 0; j < n; ++j)
            if (!vanishes(x[j])) residual -= theta(j) * tau[i + n * j] / s[j];
        ln_gamma[i] += in.q[i] * residual;
    }
}

}  // namespace keld::cubic
