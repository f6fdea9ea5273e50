// The pieces of the PC-SAFT residual Helmholtz energy (hard sphere, hard chain, dispersion) with their
// analytic derivatives, written once for every monitor that builds on PC-SAFT: the plain PC-SAFT core
// composes them over components, the associating PC-SAFT core over the segment types of copolymers.
//
// Temperature and composition act on ã only through a few mixture quantities: the moments
// m̄ = Σ x m, S_n = Σ x m d^n (n = 1..3), the dispersion sums D1, D2, and, for the chain, the
// individual diameters. Each contribution therefore reports its sensitivities to these quantities at
// constant ρ; ∂ã/∂T and ∂ã/∂x_k are then short contractions with ∂(moments)/∂T and ∂(moments)/∂x_k,
// which keeps the composition derivatives O(N) apart from the pair sums.
#pragma once

#include <cmath>
#include <cstdint>

#include "pcsaft/pcsaft_constants.h"

namespace keld::pcsaft::terms {

using namespace constants;

struct Moments {
    double m_bar = 0.0;
    double s1 = 0.0;
    double s2 = 0.0;
    double s3 = 0.0;
};

// ∂S_n/∂T at constant x (m̄ does not depend on temperature).
struct MomentSlopes {
    double s1 = 0.0;
    double s2 = 0.0;
    double s3 = 0.0;
};

// Dispersion double sums, already divided by T and T².
struct DispersionSums {
    double d1 = 0.0;
    double d2 = 0.0;
};

// One contribution to ã: value, density derivatives, and (when derivatives beyond ρ are wanted) its
// sensitivities at constant ρ to m̄, S1, S2, S3, D1 and D2.
struct Contribution {
    double a = 0.0;
    double a_rho = 0.0;
    double a_rhorho = 0.0;
    double by_mbar = 0.0;
    double by_s1 = 0.0;
    double by_s2 = 0.0;
    double by_s3 = 0.0;
    double by_d1 = 0.0;
    double by_d2 = 0.0;
};

inline Contribution operator+(const Contribution &p, const Contribution &q) {
    Contribution s;
    s.a = p.a + q.a;
    s.a_rho = p.a_rho + q.a_rho;
    s.a_rhorho = p.a_rhorho + q.a_rhorho;
    s.by_mbar = p.by_mbar + q.by_mbar;
    s.by_s1 = p.by_s1 + q.by_s1;
    s.by_s2 = p.by_s2 + q.by_s2;
    s.by_s3 = p.by_s3 + q.by_s3;
    s.by_d1 = p.by_d1 + q.by_d1;
    s.by_d2 = p.by_d2 + q.by_d2;
    return s;
}

// ---------------------------------------------------------------- segment diameters

inline double segment_diameter_factor(double eps_i, double t) { return std::exp(-kDiameterExponent * eps_i / t); }

// d = σ (1 - 0.12 exp(-3ε/T)) in the scaled length.
inline double segment_diameter(double sigma_i, double exp_factor) {
    return sigma_i * (1.0 - kDiameterReduction * exp_factor) * kAngstromToMetre * kAvogadroPerKmolCubeRoot;
}

// ∂d/∂T in the scaled length.
inline double segment_diameter_slope(double sigma_i, double eps_i, double t, double exp_factor) {
    return sigma_i * kScaledAngstrom * (-kDiameterSlope * eps_i / (t * t) * exp_factor);
}

// ---------------------------------------------------------------- hard sphere

// A_hs = X η u² + (X - m̄) ln(1-η) + Y η u with X = S2³/S3², Y = 3 S1 S2/S3, u = 1/(1-η):
// m̄ times the Boublík-Mansoori hard-sphere term.
inline Contribution hard_sphere(const Moments &mom, double rho, bool with_sensitivities) {
    const double eta_rho = kPiOver6 * mom.s3;
    const double eta = eta_rho * rho;
    const double u = 1.0 / (1.0 - eta);
    const double u2 = u * u;
    const double u3 = u2 * u;
    const double log_void = std::log1p(-eta);
    const double x = mom.s2 * mom.s2 * mom.s2 / (mom.s3 * mom.s3);
    const double y = 3.0 * mom.s1 * mom.s2 / mom.s3;
    const double x_minus_m = x - mom.m_bar;

    const double by_eta = x * (2.0 * u3 - u2) - x_minus_m * u + y * u2;
    const double by_eta_eta = x * (6.0 * u3 * u - 2.0 * u3) - x_minus_m * u2 + 2.0 * y * u3;

    Contribution hs;
    hs.a = x * eta * u2 + x_minus_m * log_void + y * eta * u;
    hs.a_rho = eta_rho * by_eta;
    hs.a_rhorho = eta_rho * eta_rho * by_eta_eta;
    if (with_sensitivities) {
        const double by_x = eta * u2 + log_void;
        const double by_y = eta * u;
        hs.by_mbar = -log_void;
        hs.by_s1 = by_y * 3.0 * mom.s2 / mom.s3;
        hs.by_s2 = by_x * 3.0 * mom.s2 * mom.s2 / (mom.s3 * mom.s3) + by_y * 3.0 * mom.s1 / mom.s3;
        hs.by_s3 = -(2.0 * by_x * x + by_y * y) / mom.s3 + kPiOver6 * rho * by_eta;
    }
    return hs;
}

// ---------------------------------------------------------------- hard chain

// Chain term: besides the contribution, the density-only pieces of the contact values
// g = u + 3 h B + 2 h² C (h = d/2, u = 1/(1-η), B = ζ2 u², C = ζ2² u³) for the composition loop,
// and the explicit temperature dependence through each diameter.
struct ChainTerm {
    Contribution part;
    double eta = 0.0;
    double u = 0.0;
    double b = 0.0;
    double c = 0.0;
    double by_explicit_t = 0.0;
};

// g - 1 for a segment of diameter 2h, formed without cancellation so that ln g stays accurate at low
// density (u - 1 = η u).
inline double contact_value_excess(const ChainTerm &chain, double h) {
    return chain.eta * chain.u + 3.0 * h * chain.b + 2.0 * h * h * chain.c;
}

// A_chain = Σ_e x_e (1 - m_e) ln g_e over n chain entries e with the hard-sphere contact value of a
// segment pair of one kind: x and m by entry, half_diameter(e) = d_e/2 and half_diameter_slope(e) =
// ∂(d_e/2)/∂T (read only with_temperature). For a whole molecule the entry is the molecule itself.
template <class HalfDiameter, class HalfDiameterSlope>
ChainTerm hard_chain(double rho, std::int64_t n, const double *x, const double *m, const Moments &mom,
                     HalfDiameter &&half_diameter, HalfDiameterSlope &&half_diameter_slope, bool with_sensitivities,
                     bool with_temperature) {
    const double zeta2_rho = kPiOver6 * mom.s2;
    const double eta_rho = kPiOver6 * mom.s3;
    const double zeta2 = zeta2_rho * rho;
    const double eta = eta_rho * rho;

    ChainTerm chain;
    const double u = 1.0 / (1.0 - eta);
    const double b = zeta2 * u * u;
    const double c = zeta2 * zeta2 * u * u * u;
    chain.eta = eta;
    chain.u = u;
    chain.b = b;
    chain.c = c;

    // Density derivatives of u, B and C (ζ2 and η are linear in ρ).
    const double u_1 = eta_rho * u * u;
    const double u_2 = 2.0 * eta_rho * u * u_1;
    const double b_1 = zeta2_rho * u * u + 2.0 * zeta2 * u * u_1;
    const double b_2 = 4.0 * zeta2_rho * u * u_1 + 2.0 * zeta2 * (u_1 * u_1 + u * u_2);
    const double c_1 = 2.0 * zeta2 * zeta2_rho * u * u * u + 3.0 * zeta2 * zeta2 * u * u * u_1;
    const double c_2 = 2.0 * zeta2_rho * zeta2_rho * u * u * u + 12.0 * zeta2 * zeta2_rho * u * u * u_1 +
                       zeta2 * zeta2 * (6.0 * u * u_1 * u_1 + 3.0 * u * u * u_2);

    double by_zeta2 = 0.0;
    double by_eta = 0.0;
    for (std::int64_t k = 0; k < n; ++k) {
        const double weight = x[k] * (1.0 - m[k]);
        if (weight == 0.0) continue;
        const double h = half_diameter(k);
        const double h2 = h * h;
        const double g_minus_1 = contact_value_excess(chain, h);
        const double g = 1.0 + g_minus_1;
        const double g_1 = (u_1 + 3.0 * h * b_1 + 2.0 * h2 * c_1) / g;
        const double g_2 = (u_2 + 3.0 * h * b_2 + 2.0 * h2 * c_2) / g;
        chain.part.a += weight * std::log1p(g_minus_1);
        chain.part.a_rho += weight * g_1;
        chain.part.a_rhorho += weight * (g_2 - g_1 * g_1);
        if (with_sensitivities) {
            const double weight_g = weight / g;
            by_zeta2 += weight_g * (3.0 * h * u * u + 4.0 * h2 * zeta2 * u * u * u);
            by_eta += weight_g * (u * u + 6.0 * h * b * u + 6.0 * h2 * c * u);
            if (with_temperature) chain.by_explicit_t += weight_g * (3.0 * b + 4.0 * h * c) * half_diameter_slope(k);
        }
    }
    if (with_sensitivities) {
        chain.part.by_s2 = kPiOver6 * rho * by_zeta2;
        chain.part.by_s3 = kPiOver6 * rho * by_eta;
    }
    return chain;
}

// (1 - m) ln g of one chain entry of diameter d (0 for m = 1): a molecule's own share of ∂A_chain/∂x.
inline double own_contact(const ChainTerm &chain, double m, double d) {
    if (m == 1.0) return 0.0;
    return (1.0 - m) * std::log1p(contact_value_excess(chain, 0.5 * d));
}

// The chain term's share of ∂ã/∂x_k: the molecule's own contact terms and, through S2 and S3, the
// change of every contact value.
inline double chain_share(const ChainTerm &chain, double own, double md2_k, double md3_k) {
    return own + chain.part.by_s2 * md2_k + chain.part.by_s3 * md3_k;
}

// ---------------------------------------------------------------- dispersion

// D1 = Σ_k Σ_l x_k x_l m_k m_l (ε_kl/T) σ_kl³ and D2 likewise with (ε_kl/T)², over ordered pairs of
// the n entries (component numbers idx, mole fractions x, segment numbers m_by_position). Each
// unordered pair is visited once and reads both ε_kl and ε_lk. With rows, also r1[k] = ∂D1/∂x_k / m_k
// and r2[k] = ∂D2/∂x_k / m_k. With kWithLij, σ_kl is reduced by (1 - l_kl), l from the matrix lij
// (same layout as eps_matrix, symmetric).
template <bool kWithRows, bool kWithLij = false>
DispersionSums dispersion_sums(double t, std::int64_t ld, std::int64_t n, const std::int64_t *idx, const double *x,
                               const double *sigma, const double *eps_matrix, const double *m_by_position,
                               double *r1, double *r2, const double *lij = nullptr) {
    const double inv_t = 1.0 / t;
    if constexpr (kWithRows) {
        for (std::int64_t k = 0; k < n; ++k) r1[k] = r2[k] = 0.0;
    }
    double d1 = 0.0;
    double d2 = 0.0;
    for (std::int64_t l = 0; l < n; ++l) {
        const std::int64_t j = idx[l] - 1;
        const double w_l = x[l] * m_by_position[l];
        const double sigma_j = sigma[j];
        const double *eps_column_j = eps_matrix + j * ld;
        double off1 = 0.0;
        double off2 = 0.0;
        for (std::int64_t k = 0; k < l; ++k) {
            const std::int64_t i = idx[k] - 1;
            const double w_k = x[k] * m_by_position[k];
            double s = (sigma[i] + sigma_j) * kHalfScaledAngstrom;
            if constexpr (kWithLij) s *= 1.0 - lij[j * ld + i];
            const double s3 = s * s * s;
            const double e_kl = eps_column_j[i] * inv_t;
            const double e_lk = eps_matrix[i * ld + j] * inv_t;
            const double p1 = (e_kl + e_lk) * s3;
            const double p2 = (e_kl * e_kl + e_lk * e_lk) * s3;
            off1 += w_k * p1;
            off2 += w_k * p2;
            if constexpr (kWithRows) {
                r1[k] += w_l * p1;
                r2[k] += w_l * p2;
            }
        }
        double s = (sigma_j + sigma_j) * kHalfScaledAngstrom;
        if constexpr (kWithLij) s *= 1.0 - lij[j * ld + j];
        const double s3 = s * s * s;
        const double e_ll = eps_column_j[j] * inv_t;
        const double p1 = 2.0 * e_ll * s3;
        const double p2 = 2.0 * e_ll * e_ll * s3;
        if constexpr (kWithRows) {
            r1[l] += off1 + w_l * p1;
            r2[l] += off2 + w_l * p2;
        }
        // Ordered pairs: twice the strict lower triangle (both orders are in p1, p2) plus the diagonal.
        d1 += w_l * (off1 + 0.5 * w_l * p1);
        d2 += w_l * (off2 + 0.5 * w_l * p2);
    }
    return {d1, d2};
}

// Σ_i c_i η^i and its relatives by Horner's rule.
struct PerturbationIntegral {
    double value = 0.0;     // I = Σ c_i η^i
    double eta_i_1 = 0.0;   // (η I)'  = Σ (i+1) c_i η^i
    double eta_i_2 = 0.0;   // (η I)'' = Σ (i+1) i c_i η^(i-1)
    double by_eta = 0.0;    // I'      = Σ i c_i η^(i-1)
    double by_m_bar = 0.0;  // Σ (∂c_i/∂m̄) η^i
};

inline PerturbationIntegral perturbation_integral(const double (&c0)[kPerturbationTerms],
                                                  const double (&c1)[kPerturbationTerms],
                                                  const double (&c2)[kPerturbationTerms], double m_bar, double eta,
                                                  bool with_sensitivities) {
    const double inv_m = 1.0 / m_bar;
    const double f1 = 1.0 - inv_m;
    const double f2 = f1 * (1.0 - 2.0 * inv_m);
    const double g1 = inv_m * inv_m;
    const double g2 = g1 * (3.0 - 4.0 * inv_m);
    PerturbationIntegral p;
    for (int i = kPerturbationTerms - 1; i >= 0; --i) {
        const double ci = c0[i] + f1 * c1[i] + f2 * c2[i];
        p.value = p.value * eta + ci;
        p.eta_i_1 = p.eta_i_1 * eta + (i + 1) * ci;
        if (i >= 1) {
            p.eta_i_2 = p.eta_i_2 * eta + (i + 1) * i * ci;
            p.by_eta = p.by_eta * eta + i * ci;
        }
        if (with_sensitivities) p.by_m_bar = p.by_m_bar * eta + g1 * c1[i] + g2 * c2[i];
    }
    return p;
}

// C1 = 1/[1 + m̄ P(η) + (1 - m̄) Q(η)] and its η-derivatives.
struct HardChainCompressibility {
    double c1 = 0.0;
    double c1_1 = 0.0;
    double c1_2 = 0.0;
    double by_m_bar = 0.0;
};

inline HardChainCompressibility hard_chain_compressibility(double m_bar, double eta) {
    const double e2 = eta * eta;
    const double e3 = e2 * eta;
    const double e4 = e3 * eta;
    const double v = 1.0 - eta;
    const double v2 = v * v;
    const double v4 = v2 * v2;
    const double w = v * (2.0 - eta);
    const double w2 = w * w;
    const double w3 = w2 * w;

    const double p = (8.0 * eta - 2.0 * e2) / v4;
    const double p_1 = (-4.0 * e2 + 20.0 * eta + 8.0) / (v4 * v);
    const double p_2 = (-12.0 * e2 + 72.0 * eta + 60.0) / (v4 * v2);
    const double q = (20.0 * eta - 27.0 * e2 + 12.0 * e3 - 2.0 * e4) / w2;
    const double q_1 = (2.0 * e3 + 12.0 * e2 - 48.0 * eta + 40.0) / w3;
    const double q_2 = (-6.0 * e4 - 48.0 * e3 + 288.0 * e2 - 480.0 * eta + 264.0) / (w2 * w2);

    const double one_minus_m = 1.0 - m_bar;
    const double den_1 = m_bar * p_1 + one_minus_m * q_1;
    const double den_2 = m_bar * p_2 + one_minus_m * q_2;
    HardChainCompressibility c;
    c.c1 = 1.0 / (1.0 + m_bar * p + one_minus_m * q);
    const double c1_sq = c.c1 * c.c1;
    c.c1_1 = -c1_sq * den_1;
    c.c1_2 = c1_sq * (2.0 * c.c1 * den_1 * den_1 - den_2);
    c.by_m_bar = -c1_sq * (p - q);
    return c;
}

// A_disp = ρ [-2π I1 D1 - π m̄ C1 I2 D2].
inline Contribution dispersion(const Moments &mom, const DispersionSums &sums, double rho, bool with_sensitivities) {
    const double eta_rho = kPiOver6 * mom.s3;
    const double eta = eta_rho * rho;
    const double m_bar = mom.m_bar;
    const PerturbationIntegral i1 = perturbation_integral(kA0, kA1, kA2, m_bar, eta, with_sensitivities);
    const PerturbationIntegral i2 = perturbation_integral(kB0, kB1, kB2, m_bar, eta, with_sensitivities);
    const HardChainCompressibility c = hard_chain_compressibility(m_bar, eta);

    const double first = -kTwoPi * sums.d1;
    const double second = -kPi * m_bar * sums.d2;
    Contribution disp;
    disp.a = rho * (first * i1.value + second * c.c1 * i2.value);
    disp.a_rho = first * i1.eta_i_1 + second * (c.c1 * i2.eta_i_1 + eta * i2.value * c.c1_1);
    disp.a_rhorho = eta_rho * (first * i1.eta_i_2 + second * (c.c1 * i2.eta_i_2 + 2.0 * c.c1_1 * i2.eta_i_1 +
                                                              eta * i2.value * c.c1_2));
    if (with_sensitivities) {
        disp.by_d1 = -kTwoPi * rho * i1.value;
        disp.by_d2 = -kPi * rho * m_bar * c.c1 * i2.value;
        disp.by_mbar =
            rho * (first * i1.by_m_bar -
                   kPi * sums.d2 * (c.c1 * i2.value + m_bar * (c.by_m_bar * i2.value + c.c1 * i2.by_m_bar)));
        disp.by_s3 =
            kPiOver6 * rho * rho * (first * i1.by_eta + second * (c.c1_1 * i2.value + c.c1 * i2.by_eta));
    }
    return disp;
}

// ---------------------------------------------------------------- contractions

// ∂ã/∂T at constant ρ and x (cross energies held constant) from the summed sensitivities, the moment
// slopes, the dispersion sums and the chain's explicit diameter dependence.
inline double temperature_derivative(const Contribution &all, const MomentSlopes &slopes, const DispersionSums &sums,
                                     double t, double chain_explicit_t) {
    return all.by_s1 * slopes.s1 + all.by_s2 * slopes.s2 + all.by_s3 * slopes.s3 -
           (all.by_d1 * sums.d1 + 2.0 * all.by_d2 * sums.d2) / t + chain_explicit_t;
}

// ∂ã/∂x_k of the hard-sphere, dispersion and chain terms for a molecule with segment number m_k,
// moments md = m_k D_1, md2 = m_k D_2, md3 = m_k D_3, dispersion rows r1 = ∂D1/∂x_k / m_k,
// r2 = ∂D2/∂x_k / m_k and chain share chain_k.
inline double composition_derivative(const Contribution &hs_disp, double m_k, double md, double md2, double md3,
                                     double r1, double r2, double chain_k) {
    const double by_d = hs_disp.by_d1 * r1 + hs_disp.by_d2 * r2;
    return m_k * (hs_disp.by_mbar + by_d) + hs_disp.by_s1 * md + hs_disp.by_s2 * md2 + hs_disp.by_s3 * md3 +
           chain_k;
}

}  // namespace keld::pcsaft::terms
