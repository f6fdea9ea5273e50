// Abrams and Prausnitz's UNIQUAC: the combinatorial part from the volume r
// and area q of each component (a polymer's from its units or segments, so
// its size enters), the residual part with tau_ij = exp(E_ij).
#include <cmath>

#include "cubic/excess_gibbs.h"

namespace keld::cubic {
namespace {

constexpr double kCoordination = 10.0;

}  // namespace

void combinatorial_ln_gamma(std::int64_t n, const double *x, const double *r, const double *q, Jet *ln_gamma) {
    double rx = 0.0, qx = 0.0;
    for (std::int64_t i = 0; i < n; ++i) {
        rx += r[i] * x[i];
        qx += q[i] * x[i];
    }
    for (std::int64_t i = 0; i < n; ++i) {
        const double phi_over_x = r[i] / rx;     // Phi_i / x_i
        const double phi_over_theta = (r[i] / rx) / (q[i] / qx);
        ln_gamma[i] = Jet(std::log(phi_over_x) + 1.0 - phi_over_x -
                          0.5 * kCoordination * q[i] * (std::log(phi_over_theta) + 1.0 - phi_over_theta));
    }
}

void uniquac_ln_gamma(const GibbsInputs &in, Jet *ln_gamma) {
    const std::int64_t n = in.n;
    const double *x = in.x;
    combinatorial_ln_gamma(n, x, in.r, in.q, ln_gamma);
    Jet *tau = in.scratch;         // n^2
    Jet *s = in.scratch + n * n;   // s_j = sum_k theta_k tau_kj
    double qx = 0.0;
    for (std::int64_t i = 0; i < n; ++i) qx += in.q[i] * x[i];
    auto theta = [&](std::int64_t i) { return in.q[i] * x[i] / qx; };
    for (std::int64_t j = 0; j < n; ++j)
        for (std::int64_t i = 0; i < n; ++i) tau[i + n * j] = i == j ? Jet(1.0) : exp(in.energy[i + n * j]);
    for (std::int64_t j = 0; j < n; ++j) {
        Jet sum;
        for (std::int64_t k = 0; k < n; ++k) sum += theta(k) * tau[k + n * j];
        s[j] = sum;
    }
    for (std::int64_t i = 0; i < n; ++i) {
        Jet residual = 1.0 - log(s[i]);
        for (std::int64_t j = 0; j < n; ++j)
            if (x[j] != 0.0) residual -= theta(j) * tau[i + n * j] / s[j];
        ln_gamma[i] += in.q[i] * residual;
    }
}

}  // namespace keld::cubic
