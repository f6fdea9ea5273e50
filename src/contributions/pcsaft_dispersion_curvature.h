// The PC-SAFT dispersion term at unit density as a function of m̄ and S3, with its gradient and Hessian
// over them, for the model's composition derivatives. At unit density the moments are those of the
// amount densities, and the term is linear in the dispersion sums:
//     a = D1 A(m̄, S3) + D2 B(m̄, S3),   A = -2π I1(m̄, η),   B = -π m̄ C1(m̄, η) I2(m̄, η),   η = π/6 S3.
// A and B with their curvature over (m̄, S3) therefore carry every second derivative of a that is not
// zero: the sums' own entries are A's and B's gradients.
#pragma once

#include "contributions/pcsaft_dispersion.h"
#include "model/autodiff.h"

namespace keld::pcsaft::terms {

// A value with its gradient and Hessian over (m̄, S3).
using CurvatureOverMbarS3 = ad::Jet2<double, 2>;

// I = Σ_i (c0_i + f1 c1_i + f2 c2_i) η^i with f1 = 1 - 1/m̄ and f2 = f1 (1 - 2/m̄): three polynomials
// in η, each with its first two η-derivatives by one Horner pass, weighed by f1, f2 and their
// m̄-derivatives. Without `curvature` the Hessian is left at zero (the value and gradient are the
// same operations either way, so the same bits).
inline CurvatureOverMbarS3 integral_curvature(const double (&c0)[kPerturbationTerms],
                                              const double (&c1)[kPerturbationTerms],
                                              const double (&c2)[kPerturbationTerms], double m_bar, double eta,
                                              bool curvature = true) {
    const double *coefficients[3] = {c0, c1, c2};
    double poly[3] = {}, slope[3] = {}, half_curve[3] = {};  // P_j, P_j' and P_j''/2
    for (int i = kPerturbationTerms - 1; i >= 0; --i)
        for (int j = 0; j < 3; ++j) {
            half_curve[j] = half_curve[j] * eta + slope[j];
            slope[j] = slope[j] * eta + poly[j];
            poly[j] = poly[j] * eta + coefficients[j][i];
        }
    const double inv = 1.0 / m_bar;
    const double f1 = 1.0 - inv, f2 = f1 * (1.0 - 2.0 * inv);
    const double f1_m = inv * inv, f2_m = f1_m * (3.0 - 4.0 * inv);
    const double f1_mm = -2.0 * f1_m * inv, f2_mm = f1_m * inv * (12.0 * inv - 6.0);
    const double k = kPiOver6;
    CurvatureOverMbarS3 r;
    r.v = poly[0] + f1 * poly[1] + f2 * poly[2];
    r.g[0] = f1_m * poly[1] + f2_m * poly[2];
    r.g[1] = k * (slope[0] + f1 * slope[1] + f2 * slope[2]);
    if (!curvature) return r;
    r.h[CurvatureOverMbarS3::pair(0, 0)] = f1_mm * poly[1] + f2_mm * poly[2];
    r.h[CurvatureOverMbarS3::pair(0, 1)] = k * (f1_m * slope[1] + f2_m * slope[2]);
    r.h[CurvatureOverMbarS3::pair(1, 1)] = 2.0 * k * k * (half_curve[0] + f1 * half_curve[1] + f2 * half_curve[2]);
    return r;
}

// C1 = 1/D with D = 1 + m̄ P(η) + (1 - m̄) Q(η): D is linear in m̄, so C1's curvature follows from
// D's gradient and its one mixed and one η entry.
inline CurvatureOverMbarS3 compressibility_curvature(double m_bar, double eta, bool curvature = true) {
    const CompressibilityPolynomials<double> k = compressibility_polynomials(eta);
    const double one_minus_m = 1.0 - m_bar, c = kPiOver6;
    const double d = 1.0 + m_bar * k.p + one_minus_m * k.q;
    const double d_m = k.p - k.q;
    const double d_s = c * (m_bar * k.p_1 + one_minus_m * k.q_1);
    const double d_ms = c * (k.p_1 - k.q_1);
    const double d_ss = c * c * (m_bar * k.p_2 + one_minus_m * k.q_2);
    const double c1 = 1.0 / d, c1_sq = c1 * c1, twice_c1_cube = 2.0 * c1_sq * c1;
    CurvatureOverMbarS3 r;
    r.v = c1;
    r.g[0] = -c1_sq * d_m;
    r.g[1] = -c1_sq * d_s;
    if (!curvature) return r;
    r.h[CurvatureOverMbarS3::pair(0, 0)] = twice_c1_cube * d_m * d_m;
    r.h[CurvatureOverMbarS3::pair(0, 1)] = twice_c1_cube * d_m * d_s - c1_sq * d_ms;
    r.h[CurvatureOverMbarS3::pair(1, 1)] = twice_c1_cube * d_s * d_s - c1_sq * d_ss;
    return r;
}

// A and B above.
struct DispersionCurvature {
    CurvatureOverMbarS3 first, second;
};

// The value and gradient of a * b as the jets' product forms them (the Hessian left at zero).
inline CurvatureOverMbarS3 product_without_curvature(const CurvatureOverMbarS3 &a, const CurvatureOverMbarS3 &b) {
    CurvatureOverMbarS3 r;
    r.v = a.v * b.v;
    for (int i = 0; i < 2; ++i) r.g[i] = a.g[i] * b.v + a.v * b.g[i];
    return r;
}

// Without `curvature`, the value and gradient alone (what ln phi needs): the same bits as with it.
inline DispersionCurvature dispersion_curvature(double m_bar, double s3, bool curvature = true) {
    const double eta = kPiOver6 * s3;
    DispersionCurvature r;
    r.first = -kTwoPi * integral_curvature(kA0, kA1, kA2, m_bar, eta, curvature);
    const CurvatureOverMbarS3 i2 = integral_curvature(kB0, kB1, kB2, m_bar, eta, curvature);
    const CurvatureOverMbarS3 c1 = compressibility_curvature(m_bar, eta, curvature);
    const CurvatureOverMbarS3 m_factor = -kPi * CurvatureOverMbarS3::variable(m_bar, 0);
    r.second = curvature ? m_factor * c1 * i2
                         : product_without_curvature(product_without_curvature(m_factor, c1), i2);
    return r;
}

}  // namespace keld::pcsaft::terms
