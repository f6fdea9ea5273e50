// The pieces of the SAFT residual Helmholtz energy of Huang and Radosz, written once for every monitor
// of the family and for the model layer: the segment size at T, the moments S0..S3, the van der Waals
// one-fluid u/kT and the segment number of the dispersion term, and the Chen-Kreglewski dispersion
// term composed with the hard-sphere and chain terms of contributions/hard_chain.h.
//
// Templates over the scalar type: the monitors evaluate them with doubles (and with keld::Dual for
// their temperature derivatives), the model layer with its automatic-differentiation numbers, so
// that the model's derivatives come from the very arithmetic the monitors' values do.
#pragma once

#include <cmath>
#include <cstdint>

#include "contributions/hard_chain.h"
#include "contributions/saft_constants.h"
#include "saft/saft_residual.h"

namespace keld::saft::terms {

using namespace constants;

// ---------------------------------------------------------------- segments

// exp(-3 u0/T) of the segment-size law.
template <class S>
S segment_size_factor(double u0, const S &t) {
    using std::exp;
    return exp(-kSizeExponent * u0 / t);
}

// Segment volume at T, v0 = v00 (1 - 0.12 exp(-3 u0/T))³ in m³/kmol, and the diameter d = (c v0)^(1/3)
// with ρ d³ dimensionless; `e` is segment_size_factor.
template <class S>
struct SegmentSizeOf {
    S v0{}, d{};
};

template <class S>
SegmentSizeOf<S> segment_size(double v00, const S &e) {
    using std::cbrt;
    const S f = 1.0 - kSizeReduction * e;
    const S v0 = v00 * f * f * f;
    return {v0, cbrt(v0 * kDiameterCube)};
}

// m d, m d², m d³ of one entry.
template <class S>
struct SegmentPowersOf {
    S md{}, md2{}, md3{};
};

template <class S>
SegmentPowersOf<S> segment_powers(double m, const S &d) {
    return {m * d, m * d * d, m * d * d * d};
}

// Adds an entry of mole fraction x to m̄ = S0 and S1..S3.
template <class S, class X>
void add_to_moments(helmholtz::Moments<S> &mom, const X &x, double m, const SegmentPowersOf<S> &p) {
    mom.m_bar += x * m;
    mom.s1 += x * p.md;
    mom.s2 += x * p.md2;
    mom.s3 += x * p.md3;
}

// ---------------------------------------------------------------- mixing rules

// Cross energy u0_ij/k = (1 - k_ij) sqrt(u0_i u0_j) (K) and cross segment number
// m_ij = (1 - l_ij)(m_i + m_j)/2.
inline double cross_energy(double k_ij, double u0_i, double u0_j) {
    return (1.0 - k_ij) * std::sqrt(u0_i * u0_j);
}
inline double cross_segment_number(double l_ij, double m_i, double m_j) {
    return (1.0 - l_ij) * (m_i + m_j) / 2.0;
}

// The value of a binary parameter of a pair from its two orders: the one given when only one is
// (not 0), the first (the pair's component listed first) when the two differ.
struct BinaryChoice {
    double value;
    bool conflict;
};
inline BinaryChoice choose_binary(double first, double second) {
    if (first != 0.0 && second != 0.0) return {first, first != second};
    return {first != 0.0 ? first : second, false};
}

// Nu = Σ_k Σ_l x_k x_l m_k m_l v0_kl u_kl/kT and Dn = Σ_k Σ_l x_k x_l m_k m_l v0_kl over ordered pairs,
// u/kT = Nu/Dn. Each unordered pair is visited once and reads both u0_ij and u0_ji.
template <class S>
struct EnergySumsOf {
    S nu{}, dn{}, nu_t{}, dn_t{};
};

// The sums for n entries (component numbers idx, mole fractions x, segment numbers m and diameters d
// by position; e/k and the cross energies from par). With kWithSlopes (doubles only) also their
// temperature derivatives, from ∂d/∂T by position in d_t, and per position
// energy_row[k] = Σ_l x_l m_l v0_kl (u_kl + u_lk)/kT and volume_row[k] = Σ_l x_l m_l v0_kl.
template <bool kWithSlopes, class S>
EnergySumsOf<S> energy_sums(const S &t, std::int64_t n, const std::int64_t *idx, const S *x, const double *m,
                            const S *d, const Parameters &par, const double *d_t, double *energy_row,
                            double *volume_row) {
    using std::sqrt;
    const S inv_t = 1.0 / t;
    const double inv_c = 1.0 / kDiameterCube;
    if constexpr (kWithSlopes) {
        for (std::int64_t k = 0; k < n; ++k) energy_row[k] = volume_row[k] = 0.0;
    }
    EnergySumsOf<S> sums;
    for (std::int64_t l = 0; l < n; ++l) {
        const std::int64_t j = idx[l] - 1;
        const S wl = x[l] * m[l];
        const S ql = 1.0 + par.e[j] * inv_t;
        [[maybe_unused]] double ql_t = 0.0;
        if constexpr (kWithSlopes) ql_t = -par.e[j] * inv_t * inv_t;
        for (std::int64_t k = 0; k <= l; ++k) {
            const std::int64_t i = idx[k] - 1;
            const S wk = x[k] * m[k];
            // v0_kl = ((v0_k^(1/3) + v0_l^(1/3))/2)³ with v0^(1/3) = d c^(-1/3).
            const S s = 0.5 * (d[k] + d[l]);
            const S v0kl = s * s * s * inv_c;
            const S qk = 1.0 + par.e[i] * inv_t;
            const S root = sqrt(qk * ql);
            const double u_kl = cross_energy_at(par, idx, k, l);
            const double u_lk = par.kij ? u_kl : cross_energy_at(par, idx, l, k);  // formed values are symmetric
            const S u_sum = (u_kl + u_lk) * root * inv_t;  // u_kl/kT + u_lk/kT
            const double both = k == l ? 0.5 : 1.0;        // ordered pairs: twice off the diagonal
            const S pair = both * wk * wl;
            sums.nu += pair * v0kl * u_sum;
            sums.dn += pair * 2.0 * v0kl;
            if constexpr (kWithSlopes) {
                const double v0kl_t = 1.5 * s * s * (d_t[k] + d_t[l]) * inv_c;
                const double qk_t = -par.e[i] * inv_t * inv_t;
                const double root_t = 0.5 * (qk_t * ql + qk * ql_t) / root;
                double u_sum_t = (u_kl + u_lk) * (root_t * inv_t - root * inv_t * inv_t);
                if (par.u0_matrix_t)
                    u_sum_t +=
                        (par.u0_matrix_t[j * par.ld + i] + par.u0_matrix_t[i * par.ld + j]) * root * inv_t;
                sums.nu_t += pair * (v0kl_t * u_sum + v0kl * u_sum_t);
                sums.dn_t += pair * 2.0 * v0kl_t;
                energy_row[k] += wl * v0kl * u_sum;
                volume_row[k] += wl * v0kl;
                if (k != l) {
                    energy_row[l] += wk * v0kl * u_sum;
                    volume_row[l] += wk * v0kl;
                }
            }
        }
    }
    return sums;
}

// The mixture's u/kT.
template <class S>
S reduced_energy(const EnergySumsOf<S> &sums) {
    return sums.nu / sums.dn;
}

// m_mix = Σ_k Σ_l x_k x_l m_kl over the cross segment numbers of par (its matrix, or formed pair by
// pair from l_ij). With kWithRows (doubles only) also rows[k] = Σ_l x_l (m_kl + m_lk), ∂m_mix/∂x_k.
template <bool kWithRows, class S>
S mixed_segment_number(std::int64_t n, const std::int64_t *idx, const S *x, const Parameters &par, double *rows) {
    S m_mix = S(0.0);
    for (std::int64_t k = 0; k < n; ++k) {
        double row = 0.0;
        for (std::int64_t l = 0; l < n; ++l) {
            const double m_kl = cross_segment_number_at(par, idx, k, l);
            if constexpr (kWithRows) row += x[l] * (m_kl + cross_segment_number_at(par, idx, l, k));
            m_mix += x[k] * x[l] * m_kl;
        }
        if constexpr (kWithRows) rows[k] = row;
    }
    return m_mix;
}

// ---------------------------------------------------------------- dispersion

// A0 = Σ_n Σ_k D(n,k) w^n y^k with w = u/kT, y = η/τ, and its derivatives.
template <class S>
struct DispersionPolynomial {
    S a0{}, a0_y{}, a0_yy{}, a0_w{};
};

template <class S>
DispersionPolynomial<S> dispersion_polynomial(const S &w, const S &y) {
    S y_power[kPowersOfPacking + 1];
    y_power[0] = S(1.0);
    for (int k = 1; k <= kPowersOfPacking; ++k) y_power[k] = y_power[k - 1] * y;
    DispersionPolynomial<S> p;
    S w_power = S(1.0);  // w^(n-1)
    for (int n = 1; n <= kPowersOfEnergy; ++n) {
        S sum{}, sum_y{}, sum_yy{};
        for (int k = 1; k <= kPowersOfPacking; ++k) {
            const double dnk = kDispersion[n - 1][k - 1];
            sum += dnk * y_power[k];
            sum_y += (dnk * k) * y_power[k - 1];
            if (k >= 2) sum_yy += (dnk * (k * (k - 1))) * y_power[k - 2];
        }
        p.a0_w += static_cast<double>(n) * w_power * sum;
        w_power = w_power * w;  // w^n
        p.a0 += w_power * sum;
        p.a0_y += w_power * sum_y;
        p.a0_yy += w_power * sum_yy;
    }
    return p;
}

// m_mix A0 with its density derivatives and its sensitivities to S3, m_mix and u/kT at constant ρ.
template <class S>
struct DispersionTerm {
    S a{}, a_rho{}, a_rhorho{}, by_s3{}, by_m_mix{}, by_w{};
};

template <class S>
DispersionTerm<S> dispersion(const S &m_mix, const S &w, const S &s3, const S &rho) {
    const S y_rho = (kPiOver6 / kTau) * s3;
    const DispersionPolynomial<S> p = dispersion_polynomial(w, y_rho * rho);
    DispersionTerm<S> d;
    d.a = m_mix * p.a0;
    d.a_rho = m_mix * p.a0_y * y_rho;
    d.a_rhorho = m_mix * p.a0_yy * y_rho * y_rho;
    d.by_s3 = m_mix * p.a0_y * ((kPiOver6 / kTau) * rho);
    d.by_m_mix = p.a0;
    d.by_w = m_mix * p.a0_w;
    return d;
}

// ---------------------------------------------------------------- the residual

// ã = A_hs + A_chain + m_mix A0(u/kT, η/τ), each term with its density derivatives.
template <class S>
struct Total {
    helmholtz::Term<S> hs;
    helmholtz::ChainTerm<S> chain;
    DispersionTerm<S> disp;
    S a() const { return hs.a + chain.part.a + disp.a; }
    S a_rho() const { return hs.a_rho + chain.part.a_rho + disp.a_rho; }
    S a_rhorho() const { return hs.a_rhorho + chain.part.a_rhorho + disp.a_rhorho; }
};

// The three terms at ρ for n entries of mole fractions x and segment numbers m by position;
// half_diameter(k) gives d_k/2 as S.
template <class S, class X, class HalfDiameter>
Total<S> residual_terms(const helmholtz::Moments<S> &mom, const S &m_mix, const S &w, const S &rho,
                        std::int64_t n, const X *x, const double *m, HalfDiameter &&half_diameter,
                        bool with_sensitivities) {
    Total<S> total;
    total.hs = helmholtz::hard_sphere(mom, rho, with_sensitivities);
    total.chain = helmholtz::hard_chain(
        rho, n, x, m, mom, half_diameter, [](std::int64_t) { return 0.0; }, with_sensitivities, false);
    total.disp = dispersion(m_mix, w, mom.s3, rho);
    return total;
}

}  // namespace keld::saft::terms
