// The pieces of the PC-SAFT residual Helmholtz energy with their analytic derivatives, written once for
// every monitor that builds on PC-SAFT: the dispersion term of PC-SAFT here, the hard-sphere and chain
// terms from the SAFT-type families' shared module (contributions/hard_chain.h). The plain PC-SAFT core
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
#include <type_traits>

#include "contributions/hard_chain.h"
#include "common/lanes.h"
#include "contributions/pcsaft_constants.h"

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

// Dispersion double sums, already divided by T and T². A template over the scalar type (the model
// layer evaluates the terms with automatic-differentiation numbers); the monitors use doubles.
template <class S>
struct DispersionSumsOf {
    S d1{};
    S d2{};
};
using DispersionSums = DispersionSumsOf<double>;

// One contribution to ã: value, density derivatives, and (when derivatives beyond ρ are wanted) its
// sensitivities at constant ρ to m̄, S1, S2, S3, D1 and D2.
template <class S>
struct ContributionOf {
    S a{};
    S a_rho{};
    S a_rhorho{};
    S by_mbar{};
    S by_s1{};
    S by_s2{};
    S by_s3{};
    S by_d1{};
    S by_d2{};
};
using Contribution = ContributionOf<double>;

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

template <class S>
S segment_diameter_factor(double eps_i, const S &t) {
    using std::exp;
    return exp(-kDiameterExponent * eps_i / t);
}

// d = σ (1 - 0.12 exp(-3ε/T)) in the scaled length.
template <class S>
S segment_diameter(double sigma_i, const S &exp_factor) {
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
//
// A template over the scalar types of T (S) and of x (X), for the model layer's automatic
// differentiation; the monitors instantiate it with doubles.
template <bool kWithRows, bool kWithLij = false, class S = double, class X = double, class E = double>
DispersionSumsOf<S> dispersion_sums(const S &t, std::int64_t ld, std::int64_t n, const std::int64_t *idx,
                                    const X *x, const double *sigma, const E *eps_matrix,
                                    const double *m_by_position, std::type_identity_t<S> *r1,
                                    std::type_identity_t<S> *r2, const double *lij = nullptr) {
    const S inv_t = 1.0 / t;
    if constexpr (kWithRows) {
        for (std::int64_t k = 0; k < n; ++k) r1[k] = r2[k] = S(0.0);
    }
    S d1 = S(0.0);
    S d2 = S(0.0);
    for (std::int64_t l = 0; l < n; ++l) {
        const std::int64_t j = idx[l] - 1;
        const X w_l = x[l] * m_by_position[l];
        const double sigma_j = sigma[j];
        const E *eps_column_j = eps_matrix + j * ld;
        S off1 = S(0.0);
        S off2 = S(0.0);
        for (std::int64_t k = 0; k < l; ++k) {
            const std::int64_t i = idx[k] - 1;
            const X w_k = x[k] * m_by_position[k];
            double s = (sigma[i] + sigma_j) * kHalfScaledAngstrom;
            if constexpr (kWithLij) s *= 1.0 - lij[j * ld + i];
            const double s3 = s * s * s;
            const S e_kl = eps_column_j[i] * inv_t;
            const S e_lk = eps_matrix[i * ld + j] * inv_t;
            const S p1 = (e_kl + e_lk) * s3;
            const S p2 = (e_kl * e_kl + e_lk * e_lk) * s3;
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
        const S e_ll = eps_column_j[j] * inv_t;
        const S p1 = 2.0 * e_ll * s3;
        const S p2 = 2.0 * e_ll * e_ll * s3;
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
// energy on the way, for any cross-energy matrix (both ε_kl and ε_lk read). m is by component.
template <bool kRows>
void pair_sums_pass(double t, std::int64_t ld, std::int64_t n, const std::int64_t *idx, const double *x,
                    const double *m, const double *sigma, const double *eps_matrix, PairRows rows, PairSums &sums) {
    const double inv_t = 1.0 / t;
    double *const r1 = rows.r1, *const r2 = rows.r2;
    if constexpr (kRows) {
        for (std::int64_t k = 0; k < n; ++k) r1[k] = r2[k] = 0.0;
    }
    sums = PairSums{};
    sums.t = t;
    double eps_max = 0.0;
    for (std::int64_t l = 0; l < n; ++l) {
        const std::int64_t j = idx[l] - 1;
        const double w_l = x[l] * m[j];
        const double sigma_j = sigma[j];
        const double *eps_column_j = eps_matrix + j * ld;
        double off1 = 0.0, off2 = 0.0;
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
    }
    sums.eps_max = eps_max;
}

// The pair sums at t; rows when both r1 and r2 are given.
inline PairSums pair_sums(double t, std::int64_t ld, std::int64_t n, const std::int64_t *idx, const double *x,
                          const double *m, const double *sigma, const double *eps_matrix, double *r1, double *r2) {
    PairSums sums;
    if (r1 != nullptr && r2 != nullptr)
        pair_sums_pass<true>(t, ld, n, idx, x, m, sigma, eps_matrix, {r1, r2}, sums);
    else
        pair_sums_pass<false>(t, ld, n, idx, x, m, sigma, eps_matrix, {}, sums);
    return sums;
}

// Vectors the symmetric pass may overwrite (by position), n words each unless stated.
struct PairScratch {
    double *w;               // x m
    double *sigma;           // σ
    double *column;          // a column of the cross energies, when the listed components are not consecutive
    double *rows = nullptr;  // 4 n words, optional: the rows at both temperatures side by side
};

// Gathers x m and σ by position into the scratch; true when the listed components are consecutive.
inline bool gather_pair_inputs(std::int64_t n, const std::int64_t *idx, const double *x, const double *m,
                               const double *sigma, PairScratch scratch) {
    bool consecutive = true;
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k] - 1;
        scratch.w[k] = x[k] * m[i];
        scratch.sigma[k] = sigma[i];
        consecutive = consecutive && idx[k] == idx[0] + k;
    }
    return consecutive;
}

// The cross energies of entry l with the entries before it, by position: column l of the matrix in
// place when the listed components are consecutive, gathered into the scratch otherwise.
inline const double *pair_column(std::int64_t l, std::int64_t ld, const std::int64_t *idx, const double *eps_matrix,
                                 bool consecutive, PairScratch scratch) {
    const double *eps_column_j = eps_matrix + (idx[l] - 1) * ld;
    if (consecutive) return eps_column_j + (idx[0] - 1);
    for (std::int64_t k = 0; k < l; ++k) scratch.column[k] = eps_column_j[idx[k] - 1];
    return scratch.column;
}

// The pair sums at t for a symmetric cross-energy matrix (ε_kl = ε_lk, as the monitors write it): the
// values pair_sums gives for it, bit for bit, reading each pair once. x m and σ are gathered by position
// first, so that the inner loop runs over contiguous vectors, and the columns are taken two at a time,
// one in each lane (each lane sums its own column in the order of the one-column loop; the rows take
// both columns' terms in column order). The two columns are read in place when the listed components
// are consecutive, gathered into scratch.rows otherwise (one column at a time without it).
template <bool kRows>
void symmetric_pair_sums_pass(double t, std::int64_t ld, std::int64_t n, const std::int64_t *idx, const double *x,
                              const double *m, const double *sigma, const double *eps_matrix, PairRows rows,
                              PairScratch scratch, PairSums &sums) {
    const double inv_t = 1.0 / t;
    double *const r1 = rows.r1, *const r2 = rows.r2;
    const double *const w = scratch.w, *const sg = scratch.sigma;
    const bool consecutive = gather_pair_inputs(n, idx, x, m, sigma, scratch);
    if constexpr (kRows) {
        for (std::int64_t k = 0; k < n; ++k) r1[k] = r2[k] = 0.0;
    }
    sums = PairSums{};
    sums.t = t;
    double eps_max = 0.0;
    // Pair (k, l) of column l, with ε_kl.
    const auto add_pair = [&](std::int64_t k, std::int64_t l, double eps, double &off1, double &off2) {
        const double s = (sg[k] + sg[l]) * kHalfScaledAngstrom;
        const double s3 = s * s * s;
        eps_max = std::max(eps_max, eps);
        // (e + e) s³ and (e² + e²) s³ of the general pass, exactly.
        const double e = eps * inv_t;
        const double p1 = 2.0 * e * s3;
        const double p2 = 2.0 * (e * e) * s3;
        off1 += w[k] * p1;
        off2 += w[k] * p2;
        if constexpr (kRows) {
            r1[k] += w[l] * p1;
            r2[k] += w[l] * p2;
        }
    };
    // Column l's diagonal closes its row and its share of the sums.
    const auto close_column = [&](std::int64_t l, double off1, double off2) {
        const double eps_ll = eps_matrix[(idx[l] - 1) * (ld + 1)];
        const double w_l = w[l];
        const double s = (sg[l] + sg[l]) * kHalfScaledAngstrom;
        const double s3 = s * s * s;
        eps_max = std::max(eps_max, eps_ll);
        const double e_ll = eps_ll * inv_t;
        const double p1 = 2.0 * e_ll * s3;
        const double p2 = 2.0 * e_ll * e_ll * s3;
        if constexpr (kRows) {
            r1[l] += off1 + w_l * p1;
            r2[l] += off2 + w_l * p2;
        }
        sums.d1 += w_l * (off1 + 0.5 * w_l * p1);
        sums.d2 += w_l * (off2 + 0.5 * w_l * p2);
    };
    std::int64_t l = 0;
    if (consecutive || scratch.rows != nullptr) {
        for (; l + 1 < n; l += 2) {
            const double *a = eps_matrix + (idx[l] - 1) * ld + (idx[0] - 1);  // columns l and l + 1 by position
            const double *b = eps_matrix + (idx[l + 1] - 1) * ld + (idx[0] - 1);
            if (!consecutive) {
                double *const ga = scratch.rows, *const gb = scratch.rows + n;
                for (std::int64_t k = 0; k <= l; ++k) {
                    ga[k] = eps_matrix[(idx[l] - 1) * ld + idx[k] - 1];
                    gb[k] = eps_matrix[(idx[l + 1] - 1) * ld + idx[k] - 1];
                }
                a = ga;
                b = gb;
            }
            const Lanes w_ab = {w[l], w[l + 1]}, sigma_ab = {sg[l], sg[l + 1]};
            Lanes off1 = {0.0, 0.0}, off2 = {0.0, 0.0};
            for (std::int64_t k = 0; k < l; ++k) {
                const Lanes s = (sg[k] + sigma_ab) * kHalfScaledAngstrom;
                const Lanes s3 = s * s * s;
                eps_max = std::max(std::max(eps_max, a[k]), b[k]);
                const Lanes e = Lanes{a[k], b[k]} * inv_t;
                const Lanes p1 = 2.0 * e * s3;
                const Lanes p2 = 2.0 * (e * e) * s3;
                off1 += w[k] * p1;
                off2 += w[k] * p2;
                if constexpr (kRows) {
                    const Lanes u1 = w_ab * p1, u2 = w_ab * p2;
                    r1[k] = (r1[k] + u1[0]) + u1[1];
                    r2[k] = (r2[k] + u2[0]) + u2[1];
                }
            }
            close_column(l, off1[0], off2[0]);
            double next1 = off1[1], next2 = off2[1];
            add_pair(l, l + 1, b[l], next1, next2);
            close_column(l + 1, next1, next2);
        }
    }
    for (; l < n; ++l) {
        const double *column = pair_column(l, ld, idx, eps_matrix, consecutive, scratch);
        double off1 = 0.0, off2 = 0.0;
        for (std::int64_t k = 0; k < l; ++k) add_pair(k, l, column[k], off1, off2);
        close_column(l, off1, off2);
    }
    sums.eps_max = eps_max;
}

// The symmetric pass at t and t2 together, the two temperatures in the two lanes (each pair's diameter
// and energy read once for both): each lane the bits of symmetric_pair_sums_pass at its temperature.
// The rows at both temperatures are kept side by side in scratch.rows (4 n words) and copied out at the
// end; the columns are taken two at a time as in symmetric_pair_sums_pass.
template <bool kRows>
void symmetric_pair_sums_pass2(double t, double t2, std::int64_t ld, std::int64_t n, const std::int64_t *idx,
                               const double *x, const double *m, const double *sigma, const double *eps_matrix,
                               PairRows rows, PairRows rows2, PairScratch scratch, PairSums &sums,
                               PairSums &sums2) {
    const Lanes inv_t = {1.0 / t, 1.0 / t2};
    // Row k at both temperatures side by side: {∂D1/∂x_k at t, at t2} at 2k of both1, D2's in both2.
    double *const both1 = kRows ? scratch.rows : nullptr;
    double *const both2 = kRows ? scratch.rows + 2 * n : nullptr;
    const double *const w = scratch.w, *const sg = scratch.sigma;
    const bool consecutive = gather_pair_inputs(n, idx, x, m, sigma, scratch);
    if constexpr (kRows) {
        for (std::int64_t k = 0; k < 2 * n; ++k) both1[k] = both2[k] = 0.0;
    }
    Lanes d1 = {0.0, 0.0}, d2 = {0.0, 0.0};
    double eps_max = 0.0;
    // Pair (k, l) of column l, with ε_kl.
    const auto add_pair = [&](std::int64_t k, std::int64_t l, double eps, Lanes &off1, Lanes &off2) {
        const double s = (sg[k] + sg[l]) * kHalfScaledAngstrom;
        const double s3 = s * s * s;
        eps_max = std::max(eps_max, eps);
        const Lanes e = eps * inv_t;
        const Lanes p1 = 2.0 * e * s3;
        const Lanes p2 = 2.0 * (e * e) * s3;
        off1 += w[k] * p1;
        off2 += w[k] * p2;
        if constexpr (kRows) {
            store_lanes(both1 + 2 * k, load_lanes(both1 + 2 * k) + w[l] * p1);
            store_lanes(both2 + 2 * k, load_lanes(both2 + 2 * k) + w[l] * p2);
        }
    };
    // Column l's diagonal closes its row and its share of the sums.
    const auto close_column = [&](std::int64_t l, Lanes off1, Lanes off2) {
        const double eps_ll = eps_matrix[(idx[l] - 1) * (ld + 1)];
        const double w_l = w[l];
        const double s = (sg[l] + sg[l]) * kHalfScaledAngstrom;
        const double s3 = s * s * s;
        eps_max = std::max(eps_max, eps_ll);
        const Lanes e_ll = eps_ll * inv_t;
        const Lanes p1 = 2.0 * e_ll * s3;
        const Lanes p2 = 2.0 * e_ll * e_ll * s3;
        if constexpr (kRows) {
            store_lanes(both1 + 2 * l, load_lanes(both1 + 2 * l) + (off1 + w_l * p1));
            store_lanes(both2 + 2 * l, load_lanes(both2 + 2 * l) + (off2 + w_l * p2));
        }
        d1 += w_l * (off1 + 0.5 * w_l * p1);
        d2 += w_l * (off2 + 0.5 * w_l * p2);
    };
    std::int64_t l = 0;
    if (consecutive) {
        for (; l + 1 < n; l += 2) {
            const double *const a = eps_matrix + (idx[l] - 1) * ld + (idx[0] - 1);  // columns l, l + 1
            const double *const b = eps_matrix + (idx[l + 1] - 1) * ld + (idx[0] - 1);
            const double w_a = w[l], w_b = w[l + 1];
            const Lanes sigma_ab = {sg[l], sg[l + 1]};
            Lanes a1 = {0.0, 0.0}, a2 = {0.0, 0.0}, b1 = {0.0, 0.0}, b2 = {0.0, 0.0};
            for (std::int64_t k = 0; k < l; ++k) {
                const Lanes s = (sg[k] + sigma_ab) * kHalfScaledAngstrom;
                const Lanes s3 = s * s * s;
                eps_max = std::max(std::max(eps_max, a[k]), b[k]);
                const Lanes e_a = a[k] * inv_t, e_b = b[k] * inv_t;
                const Lanes p1_a = 2.0 * e_a * s3[0], p2_a = 2.0 * (e_a * e_a) * s3[0];
                const Lanes p1_b = 2.0 * e_b * s3[1], p2_b = 2.0 * (e_b * e_b) * s3[1];
                a1 += w[k] * p1_a;
                a2 += w[k] * p2_a;
                b1 += w[k] * p1_b;
                b2 += w[k] * p2_b;
                if constexpr (kRows) {
                    store_lanes(both1 + 2 * k, (load_lanes(both1 + 2 * k) + w_a * p1_a) + w_b * p1_b);
                    store_lanes(both2 + 2 * k, (load_lanes(both2 + 2 * k) + w_a * p2_a) + w_b * p2_b);
                }
            }
            close_column(l, a1, a2);
            add_pair(l, l + 1, b[l], b1, b2);
            close_column(l + 1, b1, b2);
        }
    }
    for (; l < n; ++l) {
        const double *column = pair_column(l, ld, idx, eps_matrix, consecutive, scratch);
        Lanes off1 = {0.0, 0.0}, off2 = {0.0, 0.0};
        for (std::int64_t k = 0; k < l; ++k) add_pair(k, l, column[k], off1, off2);
        close_column(l, off1, off2);
    }
    if constexpr (kRows) {
        for (std::int64_t k = 0; k < n; ++k) {
            rows.r1[k] = both1[2 * k];
            rows2.r1[k] = both1[2 * k + 1];
            rows.r2[k] = both2[2 * k];
            rows2.r2[k] = both2[2 * k + 1];
        }
    }
    sums = PairSums{t, d1[0], d2[0], eps_max};
    sums2 = PairSums{t2, d1[1], d2[1], eps_max};
}

// The symmetric pass at t, and at t2 when t2 > 0 (sums2 untouched otherwise); rows at a temperature when
// both of its vectors are given. Rows at both temperatures are formed in one pass when scratch.rows is
// given, else in one pass per temperature (the same values).
inline void symmetric_pair_sums(double t, double t2, std::int64_t ld, std::int64_t n, const std::int64_t *idx,
                                const double *x, const double *m, const double *sigma, const double *eps_matrix,
                                PairRows rows, PairRows rows2, PairScratch scratch, PairSums &sums,
                                PairSums &sums2) {
    const bool with_rows = rows.r1 != nullptr && rows.r2 != nullptr;
    const bool with_rows2 = rows2.r1 != nullptr && rows2.r2 != nullptr;
    const auto one = [&](double at, bool r, PairRows v, PairSums &out) {
        if (r)
            symmetric_pair_sums_pass<true>(at, ld, n, idx, x, m, sigma, eps_matrix, v, scratch, out);
        else
            symmetric_pair_sums_pass<false>(at, ld, n, idx, x, m, sigma, eps_matrix, {}, scratch, out);
    };
    if (!(t2 > 0.0)) {
        one(t, with_rows, rows, sums);
    } else if (with_rows && with_rows2 && scratch.rows != nullptr) {
        symmetric_pair_sums_pass2<true>(t, t2, ld, n, idx, x, m, sigma, eps_matrix, rows, rows2, scratch, sums, sums2);
    } else if (!with_rows && !with_rows2) {
        symmetric_pair_sums_pass2<false>(t, t2, ld, n, idx, x, m, sigma, eps_matrix, {}, {}, scratch, sums, sums2);
    } else {
        one(t, with_rows, rows, sums);
        one(t2, with_rows2, rows2, sums2);
    }
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
template <class S>
struct PerturbationIntegralOf {
    S value{};     // I = Σ c_i η^i
    S eta_i_1{};   // (η I)'  = Σ (i+1) c_i η^i
    S eta_i_2{};   // (η I)'' = Σ (i+1) i c_i η^(i-1)
    S by_eta{};    // I'      = Σ i c_i η^(i-1)
    S by_m_bar{};  // Σ (∂c_i/∂m̄) η^i
};
using PerturbationIntegral = PerturbationIntegralOf<double>;

template <class S>
PerturbationIntegralOf<S> perturbation_integral(const double (&c0)[kPerturbationTerms],
                                                const double (&c1)[kPerturbationTerms],
                                                const double (&c2)[kPerturbationTerms], const S &m_bar, const S &eta,
                                                bool with_sensitivities, bool value_only = false) {
    const S inv_m = 1.0 / m_bar;
    const S f1 = 1.0 - inv_m;
    const S f2 = f1 * (1.0 - 2.0 * inv_m);
    const S g1 = inv_m * inv_m;
    const S g2 = g1 * (3.0 - 4.0 * inv_m);
    PerturbationIntegralOf<S> p;
    if (value_only) {
        for (int i = kPerturbationTerms - 1; i >= 0; --i) p.value = p.value * eta + (c0[i] + f1 * c1[i] + f2 * c2[i]);
        return p;
    }
    for (int i = kPerturbationTerms - 1; i >= 0; --i) {
        const S ci = c0[i] + f1 * c1[i] + f2 * c2[i];
        p.value = p.value * eta + ci;
        p.eta_i_1 = p.eta_i_1 * eta + double(i + 1) * ci;
        if (i >= 1) {
            p.eta_i_2 = p.eta_i_2 * eta + double((i + 1) * i) * ci;
            p.by_eta = p.by_eta * eta + double(i) * ci;
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
template <class S>
struct HardChainCompressibilityOf {
    S c1{};
    S c1_1{};
    S c1_2{};
    S by_m_bar{};
};
using HardChainCompressibility = HardChainCompressibilityOf<double>;

// C1's denominator is 1 + m̄ P(η) + (1 - m̄) Q(η): P, Q and their first two η-derivatives.
template <class S>
struct CompressibilityPolynomials {
    S p{}, p_1{}, p_2{};
    S q{}, q_1{}, q_2{};
};

template <class S>
CompressibilityPolynomials<S> compressibility_polynomials(const S &eta) {
    const S e2 = eta * eta;
    const S e3 = e2 * eta;
    const S e4 = e3 * eta;
    const S v = 1.0 - eta;
    const S v2 = v * v;
    const S v4 = v2 * v2;
    const S w = v * (2.0 - eta);
    const S w2 = w * w;
    const S w3 = w2 * w;
    CompressibilityPolynomials<S> k;
    k.p = (8.0 * eta - 2.0 * e2) / v4;
    k.p_1 = (-4.0 * e2 + 20.0 * eta + 8.0) / (v4 * v);
    k.p_2 = (-12.0 * e2 + 72.0 * eta + 60.0) / (v4 * v2);
    k.q = (20.0 * eta - 27.0 * e2 + 12.0 * e3 - 2.0 * e4) / w2;
    k.q_1 = (2.0 * e3 + 12.0 * e2 - 48.0 * eta + 40.0) / w3;
    k.q_2 = (-6.0 * e4 - 48.0 * e3 + 288.0 * e2 - 480.0 * eta + 264.0) / (w2 * w2);
    return k;
}

template <class S>
HardChainCompressibilityOf<S> hard_chain_compressibility(const S &m_bar, const S &eta, bool value_only = false) {
    if (value_only) {
        const S e2 = eta * eta;
        const S e3 = e2 * eta;
        const S e4 = e3 * eta;
        const S v = 1.0 - eta;
        const S v2 = v * v;
        const S v4 = v2 * v2;
        const S w = v * (2.0 - eta);
        const S w2 = w * w;
        HardChainCompressibilityOf<S> c;
        c.c1 = 1.0 / (1.0 + m_bar * ((8.0 * eta - 2.0 * e2) / v4) +
                      (1.0 - m_bar) * ((20.0 * eta - 27.0 * e2 + 12.0 * e3 - 2.0 * e4) / w2));
        return c;
    }
    const CompressibilityPolynomials<S> k = compressibility_polynomials(eta);
    const S &p = k.p, &p_1 = k.p_1, &p_2 = k.p_2, &q = k.q, &q_1 = k.q_1, &q_2 = k.q_2;

    const S one_minus_m = 1.0 - m_bar;
    const S den_1 = m_bar * p_1 + one_minus_m * q_1;
    const S den_2 = m_bar * p_2 + one_minus_m * q_2;
    HardChainCompressibilityOf<S> c;
    c.c1 = 1.0 / (1.0 + m_bar * p + one_minus_m * q);
    const S c1_sq = c.c1 * c.c1;
    c.c1_1 = -c1_sq * den_1;
    c.c1_2 = c1_sq * (2.0 * c.c1 * den_1 * den_1 - den_2);
    c.by_m_bar = -c1_sq * (p - q);
    return c;
}

// A_disp = ρ [-2π I1 D1 - π m̄ C1 I2 D2], from the integrals I1 and I2 at η = π/6 S3 ρ.
template <class S>
ContributionOf<S> dispersion(const helmholtz::Moments<S> &mom, const DispersionSumsOf<S> &sums, const S &rho,
                             bool with_sensitivities, const PerturbationIntegralOf<S> &i1,
                             const PerturbationIntegralOf<S> &i2) {
    const S eta_rho = kPiOver6 * mom.s3;
    const S eta = eta_rho * rho;
    const S m_bar = mom.m_bar;
    const HardChainCompressibilityOf<S> c = hard_chain_compressibility(m_bar, eta);

    const S first = -kTwoPi * sums.d1;
    const S second = -kPi * m_bar * sums.d2;
    ContributionOf<S> disp;
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

//
// value_only: the value alone (for the model layer's automatic differentiation).
template <class S>
ContributionOf<S> dispersion(const helmholtz::Moments<S> &mom, const DispersionSumsOf<S> &sums, const S &rho,
                             bool with_sensitivities, bool value_only = false) {
    const S eta = kPiOver6 * mom.s3 * rho;
    if (value_only) {
        const S i1 = perturbation_integral(kA0, kA1, kA2, mom.m_bar, eta, false, true).value;
        const S i2 = perturbation_integral(kB0, kB1, kB2, mom.m_bar, eta, false, true).value;
        const S c1 = hard_chain_compressibility(mom.m_bar, eta, true).c1;
        ContributionOf<S> disp;
        disp.a = rho * ((-kTwoPi * sums.d1) * i1 + (-kPi * mom.m_bar * sums.d2) * c1 * i2);
        return disp;
    }
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
