// Residual Helmholtz energy of the SAFT equation of state of Huang and Radosz: hard-sphere mixture
// term, chain term and the Chen-Kreglewski dispersion term, with exact analytic density, temperature
// and composition derivatives. Used by the argument-driven monitor, the stored-parameter monitor and
// the segment-based monitor of the family; allocation-free, all vectors are the caller's.
//
// The work splits in two: `mix` evaluates everything that depends on T and x only (segment sizes, the
// moments S0..S3, the mixture segment number and the van der Waals one-fluid u/kT, with their T and x
// derivatives) once per temperature; `residual` then evaluates ã and its density derivatives at any
// number of densities, and the remaining routines give ∂ã/∂T, ∂²ã/∂ρ∂T, ∂ã/∂x_k and the contact
// values of the hard-sphere pairs at the density finally chosen.
#pragma once

#include <cmath>
#include <cstdint>

namespace keld::saft {

// Pure-component parameters by component number (component i at [i - 1]) and the cross parameters:
// matrices, column-major with leading dimension ld ((i, j) at [(j - 1) ld + i - 1]), or the binary
// parameters they are formed from pair by pair (kij, lij; see cross_energy below).
struct Parameters {
    const double *m;          // segments per molecule
    const double *v00;        // segment volume at close packing, m³/kmol
    const double *u0;         // segment energy u0/k, K
    const double *e;          // energy correction e/k, K
    const double *u0_matrix;  // cross energies u0_ij/k, K
    std::int64_t ld;
    // Cross segment numbers m_ij for m_mix = Σ Σ x_i x_j m_ij; null: no binary parameter on the segment
    // number, m_mix = S0.
    const double *m_matrix = nullptr;
    // ∂(u0_ij/k)/∂T, 1; null: cross energies independent of T.
    const double *u0_matrix_t = nullptr;
    // Binary parameters k_ij and l_ij (NC-by-NC slices of one data set, leading dimension ld). When
    // given, the cross energies and segment numbers are formed from them where they are needed and
    // the two matrices are not read: the argument-driven monitor's host may hand every call the same
    // matrices, so that a call cannot keep its own values there.
    const double *kij = nullptr;
    const double *lij = nullptr;
};

// The value of a binary parameter for components listed in the order (first, second): the
// (first, second) element when it is given (non-zero), else the (second, first) one. Where both are
// given and differ, the first listed wins.
inline double listed_pair_value(double first_second, double second_first) {
    return first_second != 0.0 ? first_second : second_first;
}

// Cross energy u0_ij/k of components i and j (0-based), i listed first:
// (1 - k_ij) sqrt(u0_i u0_j), with k = 0 for i = j.
inline double cross_energy(const Parameters &par, std::int64_t i, std::int64_t j) {
    if (!par.kij) return par.u0_matrix[j * par.ld + i];
    const double k = i == j ? 0.0 : listed_pair_value(par.kij[j * par.ld + i], par.kij[i * par.ld + j]);
    return (1.0 - k) * std::sqrt(par.u0[i] * par.u0[j]);
}

// Cross segment number m_ij of components i and j (0-based), i listed first:
// (1 - l_ij)(m_i + m_j)/2, with l = 0 for i = j.
inline double cross_segment_number(const Parameters &par, std::int64_t i, std::int64_t j) {
    if (!par.lij) return par.m_matrix[j * par.ld + i];
    const double l = i == j ? 0.0 : listed_pair_value(par.lij[j * par.ld + i], par.lij[i * par.ld + j]);
    return (1.0 - l) * (par.m[i] + par.m[j]) / 2.0;
}

// The cross values seen at positions k and l of the list idx: the matrix element (idx[k], idx[l]),
// or the value formed for the pair with the component at the smaller position listed first.
inline double cross_energy_at(const Parameters &par, const std::int64_t *idx, std::int64_t k, std::int64_t l) {
    const std::int64_t i = idx[k] - 1, j = idx[l] - 1;
    return par.kij && k > l ? cross_energy(par, j, i) : cross_energy(par, i, j);
}
inline double cross_segment_number_at(const Parameters &par, const std::int64_t *idx, std::int64_t k,
                                      std::int64_t l) {
    const std::int64_t i = idx[k] - 1, j = idx[l] - 1;
    return par.lij && k > l ? cross_segment_number(par, j, i) : cross_segment_number(par, i, j);
}

// Per-position vectors (element k belongs to listed component idx[k]), n elements each.
struct PositionVectors {
    double *d;      // segment diameter, (m³/kmol)^(1/3) so that ρ d³ is dimensionless
    double *v0;     // segment volume at T, m³/kmol
    double *m;      // segment number
    double *md;     // m d
    double *md2;    // m d²
    double *md3;    // m d³
    double *dmmix;  // ∂m_mix/∂x_k
    double *chain;  // the chain term's share of ∂ã/∂x_k (scratch of `mix` until then)
    double *dwdx;   // ∂(u/kT)/∂x_k
};

// The mixture at one temperature and composition.
struct Mixture {
    double t;
    std::int64_t n;
    const std::int64_t *idx;
    const double *x;  // mole fractions by position, used as passed
    Parameters par;
    PositionVectors pos;
    double s0, s1, s2, s3;    // S_n = Σ x_k m_k d_k^n
    double m_mix;             // segment number of the dispersion term
    double w;                 // u/kT of the mixture
    double s1_t, s2_t, s3_t;  // ∂S_n/∂T at constant x
    double w_t;               // ∂(u/kT)/∂T at constant x
};

// Segment sizes, moments and mixing rules at temperature t (K). When |S0 - m_mix| is below
// `m_mix_tolerance` the cross segment numbers have no effect and ∂m_mix/∂x_k = m_k.
Mixture mix(double t, std::int64_t n, const std::int64_t *idx, const double *x, const Parameters &par,
            const PositionVectors &pos, double m_mix_tolerance);

// Whether P(V) may have a second loop at liquid densities (up to five roots): below about
// 1.25 u0/k for n-hexane, 1.15 for toluene; 1.5 times the largest cross energy u0_ij/k of the listed
// components is the margin kept.
inline bool dense_loops_possible(const Mixture &mix) {
    double u_max = 0.0;
    for (std::int64_t k = 0; k < mix.n; ++k)
        for (std::int64_t l = 0; l < mix.n; ++l) {
            const double u = cross_energy_at(mix.par, mix.idx, k, l);
            if (u > u_max) u_max = u;
        }
    return mix.t < 1.5 * u_max;
}

// Close-packed molar volume b = (π/6) S3, m³/kmol.
inline double close_packed_volume(const Mixture &mix) { return 0.5235987756666667 * mix.s3; }

// ã = A_res/(N k T) per mole of molecules; a_rho = ∂ã/∂ρ, a_rhorho = ∂²ã/∂ρ² at constant T, x
// (ρ in kmol/m³, 0 < (π/6) ρ S3 < 1).
struct DensityDerivatives {
    double a, a_rho, a_rhorho;
};
DensityDerivatives residual(const Mixture &mix, double rho);

// ∂ã/∂T and ∂²ã/∂ρ∂T at constant ρ and x.
struct TemperatureDerivatives {
    double a_t, a_rho_t;
};
TemperatureDerivatives temperature_derivatives(const Mixture &mix, double rho);

// dadx[k] = ∂ã/∂x_k at constant T, ρ and the other mole fractions (the t_k of the fugacity
// coefficients, ln φ_k = t_k - Σ x t + ã + Z - 1 - ln Z); the chain term's share goes to pos.chain.
// Returns Σ_k x_k t_k.
double composition_derivatives(const Mixture &mix, double rho, double *dadx);

// Hard-sphere contact values of every pair of listed components, g_kl with d_k d_l/(d_k + d_l), and
// their first and second density derivatives, into n-by-n matrices (leading dimension n).
void pair_contact_values(const Mixture &mix, double rho, double *g, double *g_rho, double *g_rhorho);

}  // namespace keld::saft
