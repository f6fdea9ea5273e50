// The pieces of the PC-SAFT residual Helmholtz energy with their analytic derivatives, written once for
// every monitor that builds on PC-SAFT: the dispersion term of PC-SAFT here, the hard-sphere and chain
// terms from the SAFT-type families' shared module (common/hard_chain_terms.h). The plain PC-SAFT core
// composes them over components, the associating PC-SAFT core over the segment types of copolymers.
//
// Temperature and composition act on ã only through a few mixture quantities: the moments
// m̄ = Σ x m, S_n = Σ x m d^n (n = 1..3), the dispersion sums D1, D2, and, for the chain, the
// individual diameters. Each contribution therefore reports its sensitivities to these quantities at
// constant ρ; ∂ã/∂T and ∂ã/∂x_k are then short contractions with ∂(moments)/∂T and ∂(moments)/∂x_k,
// which keeps the composition derivatives O(N) apart from the pair sums.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/hard_chain_terms.h"
#include "pcsaft/pcsaft_constants.h"

namespace keld::pcsaft::terms {

using namespace constants;

using Moments = helmholtz::Moments<double>;
using ChainTerm = helmholtz::ChainTerm<double>;

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

// A term of the shared module as a contribution (it does not depend on the dispersion sums).
inline Contribution contribution(const helmholtz::Term<double> &t) {
    Contribution c;
    c.a = t.a;
    c.a_rho = t.a_rho;
    c.a_rhorho = t.a_rhorho;
    c.by_mbar = t.by_mbar;
    c.by_s1 = t.by_s1;
    c.by_s2 = t.by_s2;
    c.by_s3 = t.by_s3;
    return c;
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

// ---------------------------------------------------------------- hard chain

// (1 - m) ln g of one chain entry of diameter d (0 for m = 1): a molecule's own share of ∂A_chain/∂x.
inline double own_contact(const ChainTerm &chain, double m, double d) {
    if (m == 1.0) return 0.0;
    return (1.0 - m) * std::log1p(helmholtz::contact_value_excess(chain.contact, 0.5 * d));
}

// The chain term's share of ∂ã/∂x_k: the molecule's own contact terms and, through S2 and S3, the
// change of every contact value (helmholtz::chain_composition_share for a molecule of one entry).
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

// The dispersion double sums at the temperature t they were formed at. They depend otherwise on
// composition only, so one pass over the pairs serves every density of a monitor call (and, formed for
// two temperatures at once, both of its temperatures).
struct PairSums {
    double t = 0.0;        // K
    double d1 = 0.0;       // D1 at t
    double d2 = 0.0;       // D2 at t
    double eps_max = 0.0;  // the largest ε_kl of the listed pairs (both orders, diagonal included)
};

// Rows of the pair sums (∂D1/∂x_k / m_k and ∂D2/∂x_k / m_k by position), or none.
struct PairRows {
    double *r1 = nullptr;
    double *r2 = nullptr;
};

// As dispersion_sums<rows> at t (the same expressions, so the same values), with the largest cross
// energy on the way; with kTwo also at a second temperature t2 in the same pass over the pairs (the
// pairs' diameters and energies are read once for both). m is by component.
template <bool kRows, bool kTwo>
void pair_sums_pass(double t, double t2, std::int64_t ld, std::int64_t n, const std::int64_t *idx, const double *x,
                    const double *m, const double *sigma, const double *eps_matrix, PairRows rows, PairRows rows2,
                    PairSums &sums, PairSums &sums2) {
    const double inv_t = 1.0 / t;
    const double inv_t2 = kTwo ? 1.0 / t2 : 0.0;
    double *const r1 = rows.r1, *const r2 = rows.r2, *const q1 = rows2.r1, *const q2 = rows2.r2;
    if constexpr (kRows) {
        for (std::int64_t k = 0; k < n; ++k) r1[k] = r2[k] = 0.0;
        if constexpr (kTwo) {
            for (std::int64_t k = 0; k < n; ++k) q1[k] = q2[k] = 0.0;
        }
    }
    sums = PairSums{};
    sums2 = PairSums{};
    sums.t = t;
    sums2.t = t2;
    double eps_max = 0.0;
    for (std::int64_t l = 0; l < n; ++l) {
        const std::int64_t j = idx[l] - 1;
        const double w_l = x[l] * m[j];
        const double sigma_j = sigma[j];
        const double *eps_column_j = eps_matrix + j * ld;
        double off1 = 0.0, off2 = 0.0, shifted1 = 0.0, shifted2 = 0.0;
        for (std::int64_t k = 0; k < l; ++k) {
            const std::int64_t i = idx[k] - 1;
            const double w_k = x[k] * m[i];
            const double s = (sigma[i] + sigma_j) * kHalfScaledAngstrom;
            const double s3 = s * s * s;
            const double eps_kl = eps_column_j[i];
            const double eps_lk = eps_matrix[i * ld + j];
            eps_max = std::max(std::max(eps_max, eps_kl), eps_lk);
            const double e_kl = eps_kl * inv_t;
            const double e_lk = eps_lk * inv_t;
            const double p1 = (e_kl + e_lk) * s3;
            const double p2 = (e_kl * e_kl + e_lk * e_lk) * s3;
            off1 += w_k * p1;
            off2 += w_k * p2;
            if constexpr (kRows) {
                r1[k] += w_l * p1;
                r2[k] += w_l * p2;
            }
            if constexpr (kTwo) {
                const double f_kl = eps_kl * inv_t2;
                const double f_lk = eps_lk * inv_t2;
                const double q_1 = (f_kl + f_lk) * s3;
                const double q_2 = (f_kl * f_kl + f_lk * f_lk) * s3;
                shifted1 += w_k * q_1;
                shifted2 += w_k * q_2;
                if constexpr (kRows) {
                    q1[k] += w_l * q_1;
                    q2[k] += w_l * q_2;
                }
            }
        }
        const double s = (sigma_j + sigma_j) * kHalfScaledAngstrom;
        const double s3 = s * s * s;
        eps_max = std::max(eps_max, eps_column_j[j]);
        const double e_ll = eps_column_j[j] * inv_t;
        const double p1 = 2.0 * e_ll * s3;
        const double p2 = 2.0 * e_ll * e_ll * s3;
        if constexpr (kRows) {
            r1[l] += off1 + w_l * p1;
            r2[l] += off2 + w_l * p2;
        }
        // Ordered pairs: twice the strict lower triangle (both orders are in p1, p2) plus the diagonal.
        sums.d1 += w_l * (off1 + 0.5 * w_l * p1);
        sums.d2 += w_l * (off2 + 0.5 * w_l * p2);
        if constexpr (kTwo) {
            const double f_ll = eps_column_j[j] * inv_t2;
            const double q_1 = 2.0 * f_ll * s3;
            const double q_2 = 2.0 * f_ll * f_ll * s3;
            if constexpr (kRows) {
                q1[l] += shifted1 + w_l * q_1;
                q2[l] += shifted2 + w_l * q_2;
            }
            sums2.d1 += w_l * (shifted1 + 0.5 * w_l * q_1);
            sums2.d2 += w_l * (shifted2 + 0.5 * w_l * q_2);
        }
    }
    sums.eps_max = sums2.eps_max = eps_max;
}

// The pair sums at t; rows when both r1 and r2 are given.
inline PairSums pair_sums(double t, std::int64_t ld, std::int64_t n, const std::int64_t *idx, const double *x,
                          const double *m, const double *sigma, const double *eps_matrix, double *r1, double *r2) {
    PairSums sums, unused;
    if (r1 != nullptr && r2 != nullptr)
        pair_sums_pass<true, false>(t, 0.0, ld, n, idx, x, m, sigma, eps_matrix, {r1, r2}, {}, sums, unused);
    else
        pair_sums_pass<false, false>(t, 0.0, ld, n, idx, x, m, sigma, eps_matrix, {}, {}, sums, unused);
    return sums;
}

// The pair sums at t and at t2 in one pass; rows (both or neither given) for each.
inline void pair_sums(double t, double t2, std::int64_t ld, std::int64_t n, const std::int64_t *idx,
                      const double *x, const double *m, const double *sigma, const double *eps_matrix, PairRows rows,
                      PairRows rows2, PairSums &sums, PairSums &sums2) {
    if (rows.r1 != nullptr && rows.r2 != nullptr && rows2.r1 != nullptr && rows2.r2 != nullptr)
        pair_sums_pass<true, true>(t, t2, ld, n, idx, x, m, sigma, eps_matrix, rows, rows2, sums, sums2);
    else
        pair_sums_pass<false, true>(t, t2, ld, n, idx, x, m, sigma, eps_matrix, {}, {}, sums, sums2);
}

// The parts of ∂D1/∂T and ∂D2/∂T that come from temperature-dependent binary parameters, over ordered
// pairs: with cross energies ε(T) (eps_matrix_t = dε/dT, may be null) Σ_k Σ_l x_k x_l m_k m_l (ε'_kl/T)
// σ_kl³ and Σ_k Σ_l x_k x_l m_k m_l 2 (ε_kl/T)(ε'_kl/T) σ_kl³; with pair diameters reduced by l_ij(T)
// (lij and lij_t = dl/dT, both given or both null) also the terms of ∂σ_kl³/∂T.
inline DispersionSums cross_energy_slopes(double t, std::int64_t ld, std::int64_t n, const std::int64_t *idx,
                                          const double *x, const double *sigma, const double *eps_matrix,
                                          const double *eps_matrix_t, const double *m_by_position,
                                          const double *lij = nullptr, const double *lij_t = nullptr) {
    const double inv_t = 1.0 / t;
    DispersionSums s;
    for (std::int64_t l = 0; l < n; ++l) {
        const std::int64_t j = idx[l] - 1;
        const double w_l = x[l] * m_by_position[l];
        for (std::int64_t k = 0; k < n; ++k) {
            const std::int64_t i = idx[k] - 1;
            double sigma_kl = (sigma[i] + sigma[j]) * kHalfScaledAngstrom;
            double s3_t = 0.0;
            if (lij != nullptr) {
                const double reduced = 1.0 - lij[j * ld + i];
                s3_t = -3.0 * sigma_kl * sigma_kl * sigma_kl * reduced * reduced * lij_t[j * ld + i];
                sigma_kl *= reduced;
            }
            const double ww = x[k] * m_by_position[k] * w_l;
            const double ww_s3 = ww * sigma_kl * sigma_kl * sigma_kl;
            const double e = eps_matrix[j * ld + i] * inv_t;
            const double e_t = eps_matrix_t != nullptr ? eps_matrix_t[j * ld + i] * inv_t : 0.0;
            s.d1 += ww_s3 * e_t;
            s.d2 += ww_s3 * 2.0 * e * e_t;
            if (lij != nullptr) {
                s.d1 += ww * e * s3_t;
                s.d2 += ww * e * e * s3_t;
            }
        }
    }
    return s;
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

// The coefficients c_i = c0_i + (1 - 1/m̄) c1_i + (1 - 1/m̄)(1 - 2/m̄) c2_i of a perturbation integral,
// formed as perturbation_integral forms them: they depend on m̄ alone.
struct IntegralCoefficients {
    double c[kPerturbationTerms];
    double first[kPerturbationTerms];   // (i+1) c_i, of (η I)'
    double second[kPerturbationTerms];  // (i+1) i c_i, of (η I)''
    double slope[kPerturbationTerms];   // i c_i, of I'
    double by_m1[kPerturbationTerms];   // the two parts of ∂c_i/∂m̄: (1/m̄²) c1_i
    double by_m2[kPerturbationTerms];   // and (1/m̄²)(3 - 4/m̄) c2_i
};

inline IntegralCoefficients integral_coefficients(const double (&c0)[kPerturbationTerms],
                                                  const double (&c1)[kPerturbationTerms],
                                                  const double (&c2)[kPerturbationTerms], double m_bar) {
    const double inv_m = 1.0 / m_bar;
    const double f1 = 1.0 - inv_m;
    const double f2 = f1 * (1.0 - 2.0 * inv_m);
    const double g1 = inv_m * inv_m;
    const double g2 = g1 * (3.0 - 4.0 * inv_m);
    IntegralCoefficients k;
    for (int i = 0; i < kPerturbationTerms; ++i) {
        k.c[i] = c0[i] + f1 * c1[i] + f2 * c2[i];
        k.first[i] = (i + 1) * k.c[i];
        k.second[i] = (i + 1) * i * k.c[i];
        k.slope[i] = i * k.c[i];
        k.by_m1[i] = g1 * c1[i];
        k.by_m2[i] = g2 * c2[i];
    }
    return k;
}

// I, (η I)' and (η I)'' by the same Horner steps as perturbation_integral.
inline PerturbationIntegral perturbation_integral(const IntegralCoefficients &k, double eta) {
    PerturbationIntegral p;
    for (int i = kPerturbationTerms - 1; i >= 0; --i) {
        p.value = p.value * eta + k.c[i];
        p.eta_i_1 = p.eta_i_1 * eta + k.first[i];
    }
    for (int i = kPerturbationTerms - 1; i >= 1; --i) p.eta_i_2 = p.eta_i_2 * eta + k.second[i];
    return p;
}

// The same with I' and ∂I/∂m̄ (the sums perturbation_integral forms with its sensitivities).
inline PerturbationIntegral perturbation_integral_with_sensitivities(const IntegralCoefficients &k, double eta) {
    PerturbationIntegral p = perturbation_integral(k, eta);
    for (int i = kPerturbationTerms - 1; i >= 1; --i) p.by_eta = p.by_eta * eta + k.slope[i];
    for (int i = kPerturbationTerms - 1; i >= 0; --i) p.by_m_bar = p.by_m_bar * eta + k.by_m1[i] + k.by_m2[i];
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

// A_disp = ρ [-2π I1 D1 - π m̄ C1 I2 D2], from the integrals I1 and I2 at η = π/6 S3 ρ.
inline Contribution dispersion(const Moments &mom, const DispersionSums &sums, double rho, bool with_sensitivities,
                               const PerturbationIntegral &i1, const PerturbationIntegral &i2) {
    const double eta_rho = kPiOver6 * mom.s3;
    const double eta = eta_rho * rho;
    const double m_bar = mom.m_bar;
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

inline Contribution dispersion(const Moments &mom, const DispersionSums &sums, double rho, bool with_sensitivities) {
    const double eta = kPiOver6 * mom.s3 * rho;
    return dispersion(mom, sums, rho, with_sensitivities,
                      perturbation_integral(kA0, kA1, kA2, mom.m_bar, eta, with_sensitivities),
                      perturbation_integral(kB0, kB1, kB2, mom.m_bar, eta, with_sensitivities));
}

// The same with the integrals' coefficients formed beforehand (integral_coefficients at m̄).
inline Contribution dispersion(const Moments &mom, const DispersionSums &sums, double rho, bool with_sensitivities,
                               const IntegralCoefficients &a, const IntegralCoefficients &b) {
    const double eta = kPiOver6 * mom.s3 * rho;
    if (!with_sensitivities)
        return dispersion(mom, sums, rho, false, perturbation_integral(a, eta), perturbation_integral(b, eta));
    return dispersion(mom, sums, rho, true, perturbation_integral_with_sensitivities(a, eta),
                      perturbation_integral_with_sensitivities(b, eta));
}

// The dispersion term's ∂ã/∂ρ and ∂²ã/∂ρ² alone, with the integrals' coefficients formed beforehand:
// the same expressions as `dispersion`.
inline void dispersion_density_derivatives(const Moments &mom, const DispersionSums &sums, double rho,
                                           const IntegralCoefficients &a, const IntegralCoefficients &b,
                                           double &a_rho, double &a_rhorho) {
    const double eta_rho = kPiOver6 * mom.s3;
    const double eta = eta_rho * rho;
    const double m_bar = mom.m_bar;
    const PerturbationIntegral i1 = perturbation_integral(a, eta);
    const PerturbationIntegral i2 = perturbation_integral(b, eta);
    const HardChainCompressibility c = hard_chain_compressibility(m_bar, eta);
    const double first = -kTwoPi * sums.d1;
    const double second = -kPi * m_bar * sums.d2;
    a_rho = first * i1.eta_i_1 + second * (c.c1 * i2.eta_i_1 + eta * i2.value * c.c1_1);
    a_rhorho = eta_rho * (first * i1.eta_i_2 + second * (c.c1 * i2.eta_i_2 + 2.0 * c.c1_1 * i2.eta_i_1 +
                                                         eta * i2.value * c.c1_2));
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
