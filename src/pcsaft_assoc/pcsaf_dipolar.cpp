#include "pcsaft_assoc/pcsaf_dipolar.h"

namespace keld::pcsaf {
namespace {

// Prefactors with π = 3.141592654: 2π/9, 5π²/162 and the ones their temperature derivatives carry
// (A2 ∝ 1/T², A3 ∝ 1/T³ at constant density): 4π/9 and 3·5π²/162.
constexpr double kTwoPiOver9 = 0.6981317008888889;
constexpr double kFivePiSquaredOver162 = 0.3046174198662582;
constexpr double kFourPiOver9 = 1.3962634017777777;
constexpr double kThreeFivePiSquaredOver162 = 0.9138522595987746;

// Boltzmann's constant in 1e-23 J/K from the gas constant per kmol, molecules per 1e-26 m³ in a
// kmol/m³, and the pair diameter (σ_a + σ_b)/2 in units of (1e-26 m³)^(1/3) = 10^(4/3) Å.
constexpr double kAvogadroPerKmolScaled = 6022.045134856746;
constexpr double kNumberDensity = 6.022045;
constexpr double kPairDiameterDivisor = 43.088693800637674;  // 2·10^(4/3)

// The Padé approximants of the Jog-Chapman integrals I2 and I3 in η (ρ* = (6/π) η), with the
// coefficients as single-precision numbers.
constexpr double kJ2a = static_cast<double>(0.69099f);
constexpr double kJ2b = static_cast<double>(1.16904f);
constexpr double kJ2c = static_cast<double>(0.75097f);
constexpr double kJ3a = static_cast<double>(1.19133f);
constexpr double kJ3b = static_cast<double>(0.42523f);
constexpr double kJ3c = static_cast<double>(1.12789f);
constexpr double kJ3d = static_cast<double>(0.73166f);

struct Function {
    double value, first, second;  // and its first and second η-derivatives
};

// J2 = N(η)/(1-η)².
Function j2(double eta) {
    const double num = 1.0 - kJ2a * eta - kJ2b * eta * eta + kJ2c * eta * eta * eta;
    const double num_1 = -kJ2a - 2.0 * kJ2b * eta + 3.0 * kJ2c * eta * eta;
    const double num_2 = -2.0 * kJ2b + 6.0 * kJ2c * eta;
    const double v = 1.0 / (1.0 - eta);
    const double v2 = v * v;
    return {num * v2, num_1 * v2 + 2.0 * num * v2 * v, num_2 * v2 + 4.0 * num_1 * v2 * v + 6.0 * num * v2 * v2};
}

// J3 = P(η)/Q(η).
Function j3(double eta) {
    const double p = 1.0 + kJ3a * eta - kJ3b * eta * eta;
    const double p_1 = kJ3a - 2.0 * kJ3b * eta;
    const double p_2 = -2.0 * kJ3b;
    const double q = 1.0 - kJ3c * eta + kJ3d * eta * eta;
    const double q_1 = -kJ3c + 2.0 * kJ3d * eta;
    const double q_2 = 2.0 * kJ3d;
    const double value = p / q;
    const double first = (p_1 - value * q_1) / q;
    const double second = (p_2 - 2.0 * first * q_1 - value * q_2) / q;
    return {value, first, second};
}

double pair_diameter(double sigma_a, double sigma_b) { return (sigma_a + sigma_b) / kPairDiameterDivisor; }

}  // namespace

DipolarSums dipolar_sums(const DipolarSpecies &sp, const double *x, double t, double gas_constant, std::int64_t n,
                         double *ds2_dx, double *ds3_dx) {
    DipolarSums sums;
    const std::int64_t np = sp.count;
    if (np == 0) return sums;
    const double kt = gas_constant / kAvogadroPerKmolScaled * t;
    const double kt2 = kt * kt;
    const double kt3 = kt2 * kt;
    for (std::int64_t a = 0; a < np; ++a) {
        double row2 = 0.0, row3 = 0.0;
        for (std::int64_t b = 0; b < np; ++b) {
            const double w_b = x[sp.position[b]] * sp.weight[b];
            const double s_ab = pair_diameter(sp.sigma[a], sp.sigma[b]);
            row2 += w_b * sp.mu2[b] / (s_ab * s_ab * s_ab);
            double inner = 0.0;
            for (std::int64_t c = 0; c < np; ++c) {
                const double w_c = x[sp.position[c]] * sp.weight[c];
                inner += w_c * sp.mu2[c] / (pair_diameter(sp.sigma[a], sp.sigma[c]) *
                                            pair_diameter(sp.sigma[b], sp.sigma[c]));
            }
            row3 += w_b * sp.mu2[b] / s_ab * inner;
        }
        sp.row2[a] = row2 * sp.mu2[a] / kt2;
        sp.row3[a] = row3 * sp.mu2[a] / kt3;
        const double w_a = x[sp.position[a]] * sp.weight[a];
        sums.s2 += w_a * sp.row2[a];
        sums.s3 += w_a * sp.row3[a];
    }
    sums.s2 *= kNumberDensity;
    sums.s3 *= kNumberDensity * kNumberDensity;
    if (ds2_dx != nullptr && ds3_dx != nullptr) {
        for (std::int64_t k = 0; k < n; ++k) ds2_dx[k] = ds3_dx[k] = 0.0;
        for (std::int64_t a = 0; a < np; ++a) {
            ds2_dx[sp.position[a]] += 2.0 * kNumberDensity * sp.weight[a] * sp.row2[a];
            ds3_dx[sp.position[a]] += 3.0 * kNumberDensity * kNumberDensity * sp.weight[a] * sp.row3[a];
        }
    }
    return sums;
}

DipolarTerm dipolar_term(const DipolarSums &sums, double rho, double z3, double t, double eta_t,
                         bool with_temperature) {
    DipolarTerm out;
    const double eta = z3 * rho;
    const Function f2 = j2(eta);
    const Function f3 = j3(eta);
    const double a2 = -kTwoPiOver9 * rho * sums.s2 * f2.value;
    const double a3 = kFivePiSquaredOver162 * rho * rho * sums.s3 * f3.value;
    if (a2 == 0.0) return out;
    const double one_minus_ratio = 1.0 - a3 / a2;
    if (one_minus_ratio == 0.0) return out;
    out.a = a2 / one_minus_ratio;

    // A_polar = A2²/(A2 - A3): first and second partial derivatives in A2 and A3.
    const double diff = a2 - a3;
    const double inv = 1.0 / diff;
    const double inv2 = inv * inv;
    const double inv3 = inv2 * inv;
    const double g2 = 2.0 * a2 * inv - a2 * a2 * inv2;
    const double g3 = a2 * a2 * inv2;
    const double h22 = 2.0 * a3 * a3 * inv3;
    const double h23 = -2.0 * a2 * a3 * inv3;
    const double h33 = 2.0 * a2 * a2 * inv3;

    const double a2_rho = -kTwoPiOver9 * sums.s2 * (f2.value + eta * f2.first);
    const double a2_rhorho = -kTwoPiOver9 * sums.s2 * z3 * (2.0 * f2.first + eta * f2.second);
    const double a3_rho = kFivePiSquaredOver162 * sums.s3 * rho * (2.0 * f3.value + eta * f3.first);
    const double a3_rhorho =
        kFivePiSquaredOver162 * sums.s3 * (2.0 * f3.value + 4.0 * eta * f3.first + eta * eta * f3.second);
    out.a_rho = g2 * a2_rho + g3 * a3_rho;
    out.a_rhorho = g2 * a2_rhorho + g3 * a3_rhorho + h22 * a2_rho * a2_rho + 2.0 * h23 * a2_rho * a3_rho +
                   h33 * a3_rho * a3_rho;
    if (with_temperature) {
        const double a2_t = kFourPiOver9 * rho * sums.s2 * f2.value / t -
                            kTwoPiOver9 * rho * sums.s2 * f2.first * eta_t;
        const double a3_t = -kThreeFivePiSquaredOver162 * rho * rho * sums.s3 * f3.value / t +
                            kFivePiSquaredOver162 * rho * rho * sums.s3 * f3.first * eta_t;
        out.a_t = g2 * a2_t + g3 * a3_t;
    }
    out.by_s2 = -g2 * kTwoPiOver9 * rho * f2.value;
    out.by_s3 = g3 * kFivePiSquaredOver162 * rho * rho * f3.value;
    out.by_eta = -g2 * kTwoPiOver9 * rho * sums.s2 * f2.first + g3 * kFivePiSquaredOver162 * rho * rho * sums.s3 * f3.first;
    return out;
}

}  // namespace keld::pcsaf
