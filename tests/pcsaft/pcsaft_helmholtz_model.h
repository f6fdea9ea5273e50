// The PC-SAFT residual Helmholtz energy written once more, plainly and as a template over the scalar
// type, so that tests can differentiate it by complex step (std::complex<double>) in T, ρ and x_k. It
// follows the published form term by term and shares no arrangement with the production derivatives.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>

#include "contributions/pcsaft_constants.h"

namespace keld::pcsaft::reference {

// Mixture description in the production layout: parameters by component number, cross energies
// column-major with leading dimension ld.
struct Mixture {
    std::int64_t ld;
    std::int64_t n;
    const std::int64_t *idx;
    const double *m;
    const double *sigma;
    const double *eps;
    const double *eps_matrix;
};

using std::exp;
using std::log;

template <class S>
S helmholtz_value(S t, S rho, const S *x, const Mixture &mix) {
    using namespace constants;
    constexpr int kMaxComponents = 64;
    S d[kMaxComponents];
    double mk[kMaxComponents];
    if (mix.n > kMaxComponents) return S(std::nan(""));
    S zeta[4] = {S(0), S(0), S(0), S(0)};
    for (std::int64_t k = 0; k < mix.n; ++k) {
        const std::int64_t i = mix.idx[k] - 1;
        d[k] = mix.sigma[i] * (1.0 - 0.12 * exp(-3.0 * mix.eps[i] / t)) * kAngstromToMetre *
               kAvogadroPerKmolCubeRoot;
        mk[k] = mix.m[i];
        S dn = S(1);
        for (int p = 0; p < 4; ++p) {
            zeta[p] += kPiOver6 * rho * x[k] * mk[k] * dn;
            dn *= d[k];
        }
    }
    S m_bar = S(0);
    for (std::int64_t k = 0; k < mix.n; ++k) m_bar += x[k] * mk[k];
    const S eta = zeta[3];
    const S void_fraction = 1.0 - eta;

    // m̄ times the Boublík-Mansoori hard-sphere Helmholtz energy.
    const S a_hs = m_bar / zeta[0] *
                   (3.0 * zeta[1] * zeta[2] / void_fraction +
                    zeta[2] * zeta[2] * zeta[2] / (zeta[3] * void_fraction * void_fraction) +
                    (zeta[2] * zeta[2] * zeta[2] / (zeta[3] * zeta[3]) - zeta[0]) * log(void_fraction));

    S a_chain = S(0);
    for (std::int64_t k = 0; k < mix.n; ++k) {
        const S dd = d[k] * d[k] / (d[k] + d[k]);
        const S g = 1.0 / void_fraction + dd * 3.0 * zeta[2] / (void_fraction * void_fraction) +
                    dd * dd * 2.0 * zeta[2] * zeta[2] / (void_fraction * void_fraction * void_fraction);
        a_chain += x[k] * (1.0 - mk[k]) * log(g);
    }

    S d1 = S(0);
    S d2 = S(0);
    for (std::int64_t k = 0; k < mix.n; ++k) {
        for (std::int64_t l = 0; l < mix.n; ++l) {
            const std::int64_t i = mix.idx[k] - 1;
            const std::int64_t j = mix.idx[l] - 1;
            const double s = (mix.sigma[i] + mix.sigma[j]) * kHalfScaledAngstrom;
            const S e = mix.eps_matrix[j * mix.ld + i] / t;
            d1 += x[k] * x[l] * mk[k] * mk[l] * e * s * s * s;
            d2 += x[k] * x[l] * mk[k] * mk[l] * e * e * s * s * s;
        }
    }
    S i1 = S(0);
    S i2 = S(0);
    S eta_power = S(1);
    for (int i = 0; i < kPerturbationTerms; ++i) {
        const S a =
            kA0[i] + (m_bar - 1.0) / m_bar * kA1[i] + (m_bar - 1.0) / m_bar * (m_bar - 2.0) / m_bar * kA2[i];
        const S b =
            kB0[i] + (m_bar - 1.0) / m_bar * kB1[i] + (m_bar - 1.0) / m_bar * (m_bar - 2.0) / m_bar * kB2[i];
        i1 += a * eta_power;
        i2 += b * eta_power;
        eta_power *= eta;
    }
    const S w = void_fraction * (2.0 - eta);
    const S c1 =
        1.0 / (1.0 +
               m_bar * (8.0 * eta - 2.0 * eta * eta) /
                   (void_fraction * void_fraction * void_fraction * void_fraction) +
               (1.0 - m_bar) *
                   (20.0 * eta - 27.0 * eta * eta + 12.0 * eta * eta * eta - 2.0 * eta * eta * eta * eta) /
                   (w * w));
    const S a_disp = -2.0 * kPi * rho * i1 * d1 - kPi * rho * m_bar * c1 * i2 * d2;
    return a_hs + a_chain + a_disp;
}

}  // namespace keld::pcsaft::reference
