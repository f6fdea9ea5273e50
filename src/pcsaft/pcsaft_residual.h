// Residual Helmholtz energy of the PC-SAFT equation of state (hard chain plus dispersion) with its
// analytic density, temperature and composition derivatives.
#pragma once

#include <cmath>
#include <cstdint>

#include "contributions/pcsaft_dispersion.h"

namespace keld::pcsaft {

// Which derivatives beyond the density derivatives are wanted. The temperature derivative is produced
// when the enthalpy or the entropy is wanted, the composition derivatives when the fugacity is wanted;
// the Gibbs switch is carried for the caller's convenience and does not change the work done.
struct ResidualSwitches {
    bool enthalpy = false;
    bool entropy = false;
    bool gibbs = false;
    bool fugacity = false;
};

// ã = A_res/(N k T) per mole of molecules and its derivatives at constant composition:
// a_rho = ∂ã/∂ρ and a_rhorho = ∂²ã/∂ρ² (ρ in kmol/m³) at constant T; a_t = ∂ã/∂T at constant ρ, x and
// cross energies, written only when the temperature derivative is wanted (0 otherwise).
struct ResidualValues {
    double a = 0.0;
    double a_rho = 0.0;
    double a_rhorho = 0.0;
    double a_t = 0.0;
};

// Temperature-dependent segment diameter d = σ (1 - 0.12 exp(-3ε/T)) in the scaled length (σ in Å,
// ε/k in K), so that ρ·d³ with ρ in kmol/m³ is dimensionless.
inline double scaled_segment_diameter(double sigma, double eps, double t) {
    return sigma * (1.0 - 0.12 * std::exp(-3.0 * eps / t)) * 1e-10 * 844464373.5037098;
}

// Per-position vectors in the caller's work area, n elements each: the temperature-dependent segment
// diameter d (scaled so that ρ·d³ is dimensionless), m, m·d, m·d², m·d³, and the chain term's share of
// ∂ã/∂x_k (written only when the composition derivatives are wanted); optionally ∂(d/2)/∂T, which an
// Isotherm built with the temperature derivative keeps there instead of forming it again at each state.
struct PositionVectors {
    double *d;
    double *m;
    double *md;
    double *md2;
    double *md3;
    double *chain;
    double *half_diameter_t = nullptr;
};

// Evaluates the PC-SAFT residual Helmholtz energy of the n listed components idx[0..n-1] (component
// numbers from 1) with mole fractions x (by position, used as passed) at temperature t (K) and molar
// density rho (kmol/m³, with 0 < (π/6)·ρ·Σ x m d³ < 1).
//
// m, sigma (Å) and eps (ε/k, K) are indexed by component number (component i at [i-1]); eps_matrix holds
// the cross energies ε_ij/k in K, column-major with leading dimension ld ((i,j) at [(j-1)·ld + (i-1)]).
// Only the symmetric part of a non-symmetric eps_matrix matters: the dispersion sums run over ordered
// pairs. When sw.fugacity is set, dadx[k] = ∂ã/∂x_k at constant T, ρ and the other mole fractions.
//
// eps_matrix_t, when given, holds dε_ij/dT (same layout as eps_matrix): cross energies that vary with
// temperature (through temperature-dependent binary parameters) then enter a_t, each ε_ij/T being
// differentiated as (dε_ij/dT)/T - ε_ij/T². Without it the cross energies are held constant.
//
// Allocation-free; uses only the caller's vectors.
ResidualValues residual(double t, double rho, std::int64_t ld, std::int64_t n, const std::int64_t *idx,
                        const double *x, ResidualSwitches sw, double *dadx, const double *m,
                        const double *sigma, const double *eps, const double *eps_matrix,
                        PositionVectors pos, const double *eps_matrix_t = nullptr);


// The residual at one temperature and composition with everything that does not depend on density
// formed once (segment diameters, moments and their temperature slopes, the dispersion sums from the
// pair sums of the composition), so that each density costs O(N): the contact values of the chain term.
// The per-position vectors pos.d, pos.m, pos.md, pos.md2 and pos.md3 are written by the constructor and
// must stay untouched while the object is in use; pos.chain is written by `at` with the fugacity.
class Isotherm {
public:
    // m, sigma, eps by component as for `residual`; sums from terms::pair_sums over the same entries,
    // formed at t.
    Isotherm(double t, std::int64_t n, const std::int64_t *idx, const double *x, const double *m,
             const double *sigma, const double *eps, const PositionVectors &pos, const terms::PairSums &sums,
             bool with_temperature);

    double temperature() const { return t_; }

    // ∂ã/∂ρ and ∂²ã/∂ρ² at ρ (ã itself is left 0): what a density search needs, without logarithms.
    ResidualValues density_derivatives(double rho) const;

    // The residual at ρ as `residual` gives it. With sw.fugacity, r1 and r2 hold the rows of the
    // pair sums this object was built with (by position; they may alias dadx and pos.chain, each
    // element read before it is written).
    // sw.enthalpy or sw.entropy needs an object built with_temperature. The dispersion term's
    // sensitivities to D1 and D2 are written to by_d when given (for temperature-dependent cross energies).
    ResidualValues at(double rho, ResidualSwitches sw, const double *r1, const double *r2, double *dadx,
                      double (*by_d)[2] = nullptr) const;

private:
    double t_;
    std::int64_t n_;
    const std::int64_t *idx_;
    const double *x_, *sigma_, *eps_;
    PositionVectors pos_;
    terms::Moments mom_;
    terms::MomentSlopes slopes_;
    terms::DispersionSums sums_;
    terms::IntegralCoefficients i1_, i2_;  // of the two perturbation integrals at this m̄
    helmholtz::HardSphereShape<double> hs_shape_;
};

}  // namespace keld::pcsaft
