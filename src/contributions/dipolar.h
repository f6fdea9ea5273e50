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
//
// The sums and the term are templates over the scalar type: the monitor evaluates them with doubles,
// the model layer with automatic-differentiation numbers (which bring their own `value`, found by
// argument-dependent lookup, for the two branches on values).
#pragma once

#include <cstdint>
#include <type_traits>

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

// S2/ρ and S3/ρ² at one temperature and composition.
template <class S>
struct DipolarSumsOf {
    S s2{};
    S s3{};
};
using DipolarSums = DipolarSumsOf<double>;

template <class S>
struct DipolarTermOf {
    S a{}, a_rho{}, a_rhorho{}, a_t{};
    // ∂A_polar/∂A2 and ∂A_polar/∂A3 with the partial derivatives of A2, A3 per unit of S2/ρ, S3/ρ²
    // and of η, for the composition derivatives.
    S by_s2{}, by_s3{}, by_eta{};
};
using DipolarTerm = DipolarTermOf<double>;

namespace dipolar {

// Prefactors with π = 3.141592654: 2π/9, 5π²/162 and the ones their temperature derivatives carry
// (A2 ∝ 1/T², A3 ∝ 1/T³ at constant density): 4π/9 and 3·5π²/162.
inline constexpr double kTwoPiOver9 = 0.6981317008888889;
inline constexpr double kFivePiSquaredOver162 = 0.3046174198662582;
inline constexpr double kFourPiOver9 = 1.3962634017777777;
inline constexpr double kThreeFivePiSquaredOver162 = 0.9138522595987746;

// Boltzmann's constant in 1e-23 J/K from the gas constant per kmol, molecules per 1e-26 m³ in a
// kmol/m³, and the pair diameter (σ_a + σ_b)/2 in units of (1e-26 m³)^(1/3) = 10^(4/3) Å.
inline constexpr double kAvogadroPerKmolScaled = 6022.045134856746;
inline constexpr double kNumberDensity = 6.022045;
inline constexpr double kPairDiameterDivisor = 43.088693800637674;  // 2·10^(4/3)

// The Padé approximants of the Jog-Chapman integrals I2 and I3 in η (ρ* = (6/π) η), with the
// coefficients as single-precision numbers.
inline constexpr double kJ2a = static_cast<double>(0.69099f);
inline constexpr double kJ2b = static_cast<double>(1.16904f);
inline constexpr double kJ2c = static_cast<double>(0.75097f);
inline constexpr double kJ3a = static_cast<double>(1.19133f);
inline constexpr double kJ3b = static_cast<double>(0.42523f);
inline constexpr double kJ3c = static_cast<double>(1.12789f);
inline constexpr double kJ3d = static_cast<double>(0.73166f);

template <class S>
struct Function {
    S value, first, second;  // and its first and second η-derivatives
};

// J2 = N(η)/(1-η)².
template <class S>
Function<S> j2(const S &eta) {
    const S num = 1.0 - kJ2a * eta - kJ2b * eta * eta + kJ2c * eta * eta * eta;
    const S num_1 = -kJ2a - 2.0 * kJ2b * eta + 3.0 * kJ2c * eta * eta;
    const S num_2 = -2.0 * kJ2b + 6.0 * kJ2c * eta;
    const S v = 1.0 / (1.0 - eta);
    const S v2 = v * v;
    return {num * v2, num_1 * v2 + 2.0 * num * v2 * v, num_2 * v2 + 4.0 * num_1 * v2 * v + 6.0 * num * v2 * v2};
}

// J3 = P(η)/Q(η).
template <class S>
Function<S> j3(const S &eta) {
    const S p = 1.0 + kJ3a * eta - kJ3b * eta * eta;
    const S p_1 = kJ3a - 2.0 * kJ3b * eta;
    const double p_2 = -2.0 * kJ3b;
    const S q = 1.0 - kJ3c * eta + kJ3d * eta * eta;
    const S q_1 = -kJ3c + 2.0 * kJ3d * eta;
    const double q_2 = 2.0 * kJ3d;
    const S ratio = p / q;
    const S first = (p_1 - ratio * q_1) / q;
    const S second = (p_2 - 2.0 * first * q_1 - ratio * q_2) / q;
    return {ratio, first, second};
}

inline double pair_diameter(double sigma_a, double sigma_b) { return (sigma_a + sigma_b) / kPairDiameterDivisor; }

}  // namespace dipolar

// The plain value of a library number (the model layer's numbers bring their own).
inline double value(double v) { return v; }

// S2/ρ and S3/ρ² at temperature t (K) and mole fractions x by listed position; gas_constant in
// J/(kmol K). The rows Σ_b w_b Q_ab μ_a²/(kT)² and Σ_b Σ_c w_b w_c R_abc μ_a²/(kT)³ go to row2 and row3
// (count words each) when given.
template <class S, class X>
DipolarSumsOf<S> dipolar_sums_of(const DipolarSpecies &sp, const X *x, const S &t, double gas_constant,
                                 S *row2_out = nullptr, S *row3_out = nullptr) {
    using namespace dipolar;
    DipolarSumsOf<S> sums;
    const std::int64_t np = sp.count;
    if (np == 0) return sums;
    const S kt = gas_constant / kAvogadroPerKmolScaled * t;
    const S kt2 = kt * kt;
    const S kt3 = kt2 * kt;
    for (std::int64_t a = 0; a < np; ++a) {
        S row2 = S(0.0), row3 = S(0.0);
        for (std::int64_t b = 0; b < np; ++b) {
            const X w_b = x[sp.position[b]] * sp.weight[b];
            const double s_ab = pair_diameter(sp.sigma[a], sp.sigma[b]);
            row2 += w_b * sp.mu2[b] / (s_ab * s_ab * s_ab);
            X inner = X(0.0);
            for (std::int64_t c = 0; c < np; ++c) {
                const X w_c = x[sp.position[c]] * sp.weight[c];
                inner += w_c * sp.mu2[c] / (pair_diameter(sp.sigma[a], sp.sigma[c]) *
                                            pair_diameter(sp.sigma[b], sp.sigma[c]));
            }
            row3 += w_b * sp.mu2[b] / s_ab * inner;
        }
        const S r2 = row2 * sp.mu2[a] / kt2;
        const S r3 = row3 * sp.mu2[a] / kt3;
        if (row2_out != nullptr && row3_out != nullptr) {
            row2_out[a] = r2;
            row3_out[a] = r3;
        }
        const X w_a = x[sp.position[a]] * sp.weight[a];
        sums.s2 += w_a * r2;
        sums.s3 += w_a * r3;
    }
    sums.s2 *= kNumberDensity;
    sums.s3 *= kNumberDensity * kNumberDensity;
    return sums;
}

// The monitor's form: the rows into the species' scratch and, when ds2_dx and ds3_dx (n words) are
// given, the composition derivatives ∂(S2/ρ)/∂x_k and ∂(S3/ρ²)/∂x_k by listed position.
inline DipolarSums dipolar_sums(const DipolarSpecies &sp, const double *x, double t, double gas_constant,
                                std::int64_t n, double *ds2_dx, double *ds3_dx) {
    using namespace dipolar;
    const DipolarSums sums = dipolar_sums_of(sp, x, t, gas_constant, sp.row2, sp.row3);
    if (sp.count > 0 && ds2_dx != nullptr && ds3_dx != nullptr) {
        for (std::int64_t k = 0; k < n; ++k) ds2_dx[k] = ds3_dx[k] = 0.0;
        for (std::int64_t a = 0; a < sp.count; ++a) {
            ds2_dx[sp.position[a]] += 2.0 * kNumberDensity * sp.weight[a] * sp.row2[a];
            ds3_dx[sp.position[a]] += 3.0 * kNumberDensity * kNumberDensity * sp.weight[a] * sp.row3[a];
        }
    }
    return sums;
}

// The term at density rho (kmol/m3) with packing coefficient z3 (η = z3 ρ); eta_t = ∂η/∂T at
// constant ρ (read with_temperature). A_polar = 0 when 1 - A3/A2 = 0, and when A2 = 0 (no dipole
// present); derivative numbers there carry A2 + A3, which holds every derivative to third order at a
// vanishing dipolar fraction (A2 is of second, A3 of third order in it).
template <class S>
DipolarTermOf<S> dipolar_term(const DipolarSumsOf<S> &sums, const S &rho, const S &z3, const S &t, const S &eta_t,
                              bool with_temperature) {
    using namespace dipolar;
    DipolarTermOf<S> out;
    const S eta = z3 * rho;
    const Function<S> f2 = j2(eta);
    const Function<S> f3 = j3(eta);
    const S a2 = -kTwoPiOver9 * rho * sums.s2 * f2.value;
    const S a3 = kFivePiSquaredOver162 * rho * rho * sums.s3 * f3.value;
    if (value(a2) == 0.0) {
        if constexpr (!std::is_arithmetic_v<S>) out.a = a2 + a3;
        return out;
    }
    const S one_minus_ratio = 1.0 - a3 / a2;
    if (value(one_minus_ratio) == 0.0) return out;
    out.a = a2 / one_minus_ratio;

    // A_polar = A2²/(A2 - A3): first and second partial derivatives in A2 and A3.
    const S diff = a2 - a3;
    const S inv = 1.0 / diff;
    const S inv2 = inv * inv;
    const S inv3 = inv2 * inv;
    const S g2 = 2.0 * a2 * inv - a2 * a2 * inv2;
    const S g3 = a2 * a2 * inv2;
    const S h22 = 2.0 * a3 * a3 * inv3;
    const S h23 = -2.0 * a2 * a3 * inv3;
    const S h33 = 2.0 * a2 * a2 * inv3;

    const S a2_rho = -kTwoPiOver9 * sums.s2 * (f2.value + eta * f2.first);
    const S a2_rhorho = -kTwoPiOver9 * sums.s2 * z3 * (2.0 * f2.first + eta * f2.second);
    const S a3_rho = kFivePiSquaredOver162 * sums.s3 * rho * (2.0 * f3.value + eta * f3.first);
    const S a3_rhorho =
        kFivePiSquaredOver162 * sums.s3 * (2.0 * f3.value + 4.0 * eta * f3.first + eta * eta * f3.second);
    out.a_rho = g2 * a2_rho + g3 * a3_rho;
    out.a_rhorho = g2 * a2_rhorho + g3 * a3_rhorho + h22 * a2_rho * a2_rho + 2.0 * h23 * a2_rho * a3_rho +
                   h33 * a3_rho * a3_rho;
    if (with_temperature) {
        const S a2_t = kFourPiOver9 * rho * sums.s2 * f2.value / t - kTwoPiOver9 * rho * sums.s2 * f2.first * eta_t;
        const S a3_t = -kThreeFivePiSquaredOver162 * rho * rho * sums.s3 * f3.value / t +
                       kFivePiSquaredOver162 * rho * rho * sums.s3 * f3.first * eta_t;
        out.a_t = g2 * a2_t + g3 * a3_t;
    }
    out.by_s2 = -g2 * kTwoPiOver9 * rho * f2.value;
    out.by_s3 = g3 * kFivePiSquaredOver162 * rho * rho * f3.value;
    out.by_eta =
        -g2 * kTwoPiOver9 * rho * sums.s2 * f2.first + g3 * kFivePiSquaredOver162 * rho * rho * sums.s3 * f3.first;
    return out;
}

}  // namespace keld::pcsaf
