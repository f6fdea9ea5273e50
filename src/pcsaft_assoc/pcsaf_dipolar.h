// The dipolar term of PC-SAFT with association: the third-order perturbation theory of Jog and
// Chapman for dipolar chains, with the Padé approximation A_polar = A2/(1 - A3/A2) and the integrals
// I2, I3 written in the packing fraction η.
//
//   A2 = -(2π/9) S2 J2(η),   S2 = ρ_N Σ_a Σ_b w_a w_b μ_a² μ_b² / ((kT)² s_ab³)
//   A3 = (5π²/162) S3 J3(η), S3 = ρ_N² Σ_a Σ_b Σ_c w_a w_b w_c μ_a² μ_b² μ_c² / ((kT)³ s_ab s_ac s_bc)
//
// A species a is a listed molecule, or one segment type of a polymer described by its segments; its
// weight is w_a = x m f_a x_p,a (mole fraction and segment number of the molecule, fraction f_a of its
// segments that are of type a, fraction x_p,a of those segments that carry a dipole). Units: μ in
// Debye, k = R/6022.045134856746 in 1e-23 J/K, ρ_N = 6.022045 ρ molecules per 1e-26 m³ (ρ in
// kmol/m³), and the pair diameter s_ab = (σ_a + σ_b)/2 in the same length unit, (1e-26 m³)^(1/3) =
// 10^(4/3) Å, so that μ²/(kT s³) and ρ_N s³ come out as the dimensionless numbers of the theory.
#pragma once

#include <cstdint>

namespace keld::pcsaf {

// Dipolar species and their per-temperature rows, in the caller's work area.
struct DipolarSpecies {
    std::int64_t count = 0;
    std::int64_t *position = nullptr;  // listed position (0-based) of the molecule
    double *weight = nullptr;          // w_a / x of its molecule: m f_a x_p,a
    double *mu2 = nullptr;             // μ_a², Debye²
    double *sigma = nullptr;           // σ_a, Å
    double *row2 = nullptr;            // scratch: Σ_b w_b Q_ab
    double *row3 = nullptr;            // scratch: Σ_b Σ_c w_b w_c R_abc
};

// S2/ρ and S3/ρ² at one temperature and composition, and their composition derivatives by listed
// position (∂(S2/ρ)/∂x_k, ∂(S3/ρ²)/∂x_k) when asked for.
struct DipolarSums {
    double s2 = 0.0;
    double s3 = 0.0;
};

// gas_constant in J/(kmol K). ds2_dx and ds3_dx (n words) may be null.
DipolarSums dipolar_sums(const DipolarSpecies &sp, const double *x, double t, double gas_constant, std::int64_t n,
                         double *ds2_dx, double *ds3_dx);

struct DipolarTerm {
    double a = 0.0, a_rho = 0.0, a_rhorho = 0.0, a_t = 0.0;
    // ∂A_polar/∂A2 and ∂A_polar/∂A3 with the partial derivatives of A2, A3 per unit of S2/ρ, S3/ρ²
    // and of η, for the composition derivatives.
    double by_s2 = 0.0, by_s3 = 0.0, by_eta = 0.0;
};

// The term at density rho (kmol/m3) with packing coefficient z3 (η = z3 ρ); eta_t = ∂η/∂T at
// constant ρ (read with_temperature). A_polar = 0 when A2 = 0 or 1 - A3/A2 = 0.
DipolarTerm dipolar_term(const DipolarSums &sums, double rho, double z3, double t, double eta_t,
                         bool with_temperature);

}  // namespace keld::pcsaf
