// Sanchez-Lacombe lattice fluid: mixing rules and the residual Helmholtz
// energy a = A_res/(nRT) at (T, rho) with its density, temperature and
// composition derivatives.
//
// Array conventions: `idx` and `x` are "by position" (N entries, idx holds
// 1-based component numbers); `r` is "by component" (component i at r[i-1]);
// the cross matrices are NC-by-NC column-major, (i, j) at [(j-1)*nc + (i-1)].
#pragma once

#include <cstdint>

#include "contributions/lattice_fluid.h"

namespace keld::sanchez_lacombe {

struct ResidualSwitches {
    bool second_derivative = false;  // a_rhorho
    bool temperature = false;        // a_t
    bool composition = false;        // m_k
};

// a_rhorho and a_t are 0 unless requested.
struct ResidualValues {
    double a = 0.0;         // A_res / (n R T)
    double a_rho = 0.0;     // d a / d rho at constant T, x
    double a_rhorho = 0.0;  // d2 a / d rho2 at constant T, x
    double a_t = 0.0;       // d a / d T at constant rho, x
};

// Segment-weighted mixture averages (r_bar = sum x_i r_i; eps* in J/kmol, the mixture interaction
// energy; v* in m3/kmol, the mixture close-packed volume per segment); they depend on composition
// only, so a density search computes them once and reuses them at every trial density.
using MixtureAverages = terms::AveragesOf<double>;

// The inputs that do not change with density.
struct Mixture {
    double gas_constant;     // J/(kmol K)
    std::int64_t nc;         // leading dimension of the cross matrices
    std::int64_t n;          // number of listed components
    const std::int64_t *idx; // by position, 1-based component numbers
    const double *x;         // by position, true mole fractions
    const double *r;         // by component, segment numbers
    const double *eps_star;  // NC x NC cross energies (J/kmol)
    const double *v_star;    // NC x NC cross close-packed volumes per segment (m3/kmol)
    // Depending on composition only, these may be formed once per call (mixture_averages,
    // composition_sums) and reused at every density and temperature; when null they are formed
    // wherever they are needed.
    const MixtureAverages *averages = nullptr;
    const double *s1 = nullptr;  // by position: S1_k of the composition terms
    const double *s2 = nullptr;  // by position: S2_k
};

MixtureAverages mixture_averages(const Mixture &mix);

// The composition terms' sums over the partners of each listed component k (i = idx[k]):
// S1_k = sum_j x_j r_j (v*_ij - v*) and S2_k = sum_j x_j r_j v*_ij (eps*_ij - eps*), by position.
void composition_sums(const Mixture &mix, const MixtureAverages &avg, double *s1, double *s2);

// Residual terms at (T, rho). When sw.composition is set, m_out (N entries)
// receives m_k = d a / d x_k at constant T, rho, the x_k taken as independent;
// ln phi_k then follows as m_k - sum_j x_j m_j + a + (Z - 1) - ln Z.
// rho = 0 exactly gives all zeros. rho must keep the reduced density below 1.
ResidualValues residual(const Mixture &mix, const MixtureAverages &avg, double t, double rho, ResidualSwitches sw,
                        double *m_out);

// Same, computing the mixture averages on the way.
ResidualValues residual(const Mixture &mix, double t, double rho, ResidualSwitches sw, double *m_out);

}  // namespace keld::sanchez_lacombe
