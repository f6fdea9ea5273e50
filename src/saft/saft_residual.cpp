// SAFT residual Helmholtz energy: ã = A_hs + A_chain + m_mix A0(u/kT, η/τ).
//
// The hard-sphere and chain terms are the family-independent ones (common/hard_chain_terms.h). At
// constant ρ, temperature and composition act on ã only through S0..S3, the diameters (chain),
// m_mix and u/kT, so ∂ã/∂x_k is a contraction of the terms' sensitivities with ∂(those)/∂x_k. The
// temperature derivatives ∂ã/∂T and ∂²ã/∂ρ∂T come from one evaluation with dual numbers seeded with
// ∂S_n/∂T, ∂d_k/∂T and ∂(u/kT)/∂T, which `mix` forms analytically.
#include "saft/saft_residual.h"

#include <cmath>

#include "common/dual.h"
#include "common/hard_chain_terms.h"
#include "saft/saft_constants.h"

namespace keld::saft {
namespace {

using namespace constants;

double segment_size_factor(double u0, double t) { return std::exp(-kSizeExponent * u0 / t); }

// ∂d/∂T = -(c v00)^(1/3) · 0.36 (u0/T²) exp(-3 u0/T).
double diameter_slope(double v00, double u0, double t, double e) {
    return -std::cbrt(kDiameterCube * v00) * kSizeSlope * (u0 / (t * t)) * e;
}

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

template <class S>
struct Total {
    helmholtz::Term<S> hs;
    helmholtz::ChainTerm<S> chain;
    DispersionTerm<S> disp;
    S a() const { return hs.a + chain.part.a + disp.a; }
    S a_rho() const { return hs.a_rho + chain.part.a_rho + disp.a_rho; }
    S a_rhorho() const { return hs.a_rhorho + chain.part.a_rhorho + disp.a_rhorho; }
};

template <class S, class HalfDiameter>
Total<S> evaluate(const Mixture &mix, const helmholtz::Moments<S> &mom, const S &m_mix, const S &w, const S &rho,
                  HalfDiameter &&half_diameter, bool with_sensitivities) {
    Total<S> total;
    total.hs = helmholtz::hard_sphere(mom, rho, with_sensitivities);
    total.chain = helmholtz::hard_chain(
        rho, mix.n, mix.x, mix.pos.m, mom, half_diameter, [](std::int64_t) { return 0.0; }, with_sensitivities,
        false);
    total.disp = dispersion(m_mix, w, mom.s3, rho);
    return total;
}

Total<double> evaluate_at(const Mixture &mix, double rho, bool with_sensitivities) {
    const helmholtz::Moments<double> mom{mix.s0, mix.s1, mix.s2, mix.s3};
    const double *d = mix.pos.d;
    return evaluate(mix, mom, mix.m_mix, mix.w, rho, [d](std::int64_t k) { return 0.5 * d[k]; },
                    with_sensitivities);
}

// Nu = Σ_k Σ_l x_k x_l m_k m_l v0_kl u_kl/kT and Dn = Σ_k Σ_l x_k x_l m_k m_l v0_kl over ordered
// pairs, with their temperature derivatives; each unordered pair is visited once and reads both u0_ij
// and u0_ji. Per position, energy_row[k] = Σ_l x_l m_l v0_kl (u_kl + u_lk)/kT and
// volume_row[k] = Σ_l x_l m_l v0_kl. ∂d/∂T per position is read from `d_t`.
struct EnergySums {
    double nu = 0.0, dn = 0.0, nu_t = 0.0, dn_t = 0.0;
};

EnergySums energy_sums(const Mixture &mix, const double *d_t, double *energy_row, double *volume_row) {
    const Parameters &par = mix.par;
    const PositionVectors &pos = mix.pos;
    const double t = mix.t;
    const double inv_t = 1.0 / t;
    const double inv_c = 1.0 / kDiameterCube;
    for (std::int64_t k = 0; k < mix.n; ++k) energy_row[k] = volume_row[k] = 0.0;
    EnergySums sums;
    for (std::int64_t l = 0; l < mix.n; ++l) {
        const std::int64_t j = mix.idx[l] - 1;
        const double wl = mix.x[l] * pos.m[l];
        const double ql = 1.0 + par.e[j] * inv_t;
        const double ql_t = -par.e[j] * inv_t * inv_t;
        for (std::int64_t k = 0; k <= l; ++k) {
            const std::int64_t i = mix.idx[k] - 1;
            const double wk = mix.x[k] * pos.m[k];
            // v0_kl = ((v0_k^(1/3) + v0_l^(1/3))/2)³ with v0^(1/3) = d c^(-1/3).
            const double s = 0.5 * (pos.d[k] + pos.d[l]);
            const double v0kl = s * s * s * inv_c;
            const double v0kl_t = 1.5 * s * s * (d_t[k] + d_t[l]) * inv_c;
            const double qk = 1.0 + par.e[i] * inv_t;
            const double qk_t = -par.e[i] * inv_t * inv_t;
            const double root = std::sqrt(qk * ql);
            const double root_t = 0.5 * (qk_t * ql + qk * ql_t) / root;
            const double u_kl = cross_energy_at(par, mix.idx, k, l);
            const double u_lk = par.kij ? u_kl : cross_energy_at(par, mix.idx, l, k);  // formed values are symmetric
            double u_sum_t = (u_kl + u_lk) * (root_t * inv_t - root * inv_t * inv_t);
            if (par.u0_matrix_t)
                u_sum_t += (par.u0_matrix_t[j * par.ld + i] + par.u0_matrix_t[i * par.ld + j]) * root * inv_t;
            const double u_sum = (u_kl + u_lk) * root * inv_t;  // u_kl/kT + u_lk/kT
            const double both = k == l ? 0.5 : 1.0;             // ordered pairs: twice off the diagonal
            const double pair = both * wk * wl;
            sums.nu += pair * v0kl * u_sum;
            sums.dn += pair * 2.0 * v0kl;
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
    return sums;
}

// m_mix = Σ Σ x_k x_l m_kl and ∂m_mix/∂x_k = Σ_l x_l (m_kl + m_lk); m_k where the cross segment
// numbers have no effect.
void segment_number_mixing(Mixture &mix, double tolerance) {
    const Parameters &par = mix.par;
    const PositionVectors &pos = mix.pos;
    if (!par.m_matrix && !par.lij) {
        mix.m_mix = mix.s0;
        for (std::int64_t k = 0; k < mix.n; ++k) pos.dmmix[k] = pos.m[k];
        return;
    }
    double m_mix = 0.0;
    for (std::int64_t k = 0; k < mix.n; ++k) {
        double row = 0.0;
        for (std::int64_t l = 0; l < mix.n; ++l) {
            const double m_kl = cross_segment_number_at(par, mix.idx, k, l);
            row += mix.x[l] * (m_kl + cross_segment_number_at(par, mix.idx, l, k));
            m_mix += mix.x[k] * mix.x[l] * m_kl;
        }
        pos.dmmix[k] = row;
    }
    mix.m_mix = m_mix;
    if (!(std::fabs(mix.s0 - m_mix) >= tolerance))
        for (std::int64_t k = 0; k < mix.n; ++k) pos.dmmix[k] = pos.m[k];
}

}  // namespace

Mixture mix(double t, std::int64_t n, const std::int64_t *idx, const double *x, const Parameters &par,
            const PositionVectors &pos, double m_mix_tolerance) {
    Mixture mx{t, n, idx, x, par, pos, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    // ∂d/∂T per position lives in dmmix until the segment numbers are mixed.
    double *d_t = pos.dmmix;
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k] - 1;
        const double e = segment_size_factor(par.u0[i], t);
        const double f = 1.0 - kSizeReduction * e;
        const double v0 = par.v00[i] * f * f * f;
        const double d = std::cbrt(v0 * kDiameterCube);
        const double mk = par.m[i];
        pos.d[k] = d;
        pos.v0[k] = v0;
        pos.m[k] = mk;
        pos.md[k] = mk * d;
        pos.md2[k] = mk * d * d;
        pos.md3[k] = mk * d * d * d;
        mx.s0 += x[k] * mk;
        mx.s1 += x[k] * pos.md[k];
        mx.s2 += x[k] * pos.md2[k];
        mx.s3 += x[k] * pos.md3[k];
        d_t[k] = diameter_slope(par.v00[i], par.u0[i], t, e);
        const double xm_dt = x[k] * mk * d_t[k];
        mx.s1_t += xm_dt;
        mx.s2_t += 2.0 * d * xm_dt;
        mx.s3_t += 3.0 * d * d * xm_dt;
    }
    const EnergySums sums = energy_sums(mx, d_t, pos.dwdx, pos.chain);
    mx.w = sums.nu / sums.dn;
    mx.w_t = (sums.nu_t - mx.w * sums.dn_t) / sums.dn;
    // ∂(u/kT)/∂x_k = (∂Nu/∂x_k - w ∂Dn/∂x_k)/Dn with ∂Nu/∂x_k = m_k Σ_l x_l m_l v0_kl (u_kl + u_lk)/kT
    // and ∂Dn/∂x_k = 2 m_k Σ_l x_l m_l v0_kl.
    for (std::int64_t k = 0; k < n; ++k)
        pos.dwdx[k] = pos.m[k] * (pos.dwdx[k] - mx.w * 2.0 * pos.chain[k]) / sums.dn;
    segment_number_mixing(mx, m_mix_tolerance);
    return mx;
}

DensityDerivatives residual(const Mixture &mix, double rho) {
    const Total<double> total = evaluate_at(mix, rho, false);
    return {total.a(), total.a_rho(), total.a_rhorho()};
}

TemperatureDerivatives temperature_derivatives(const Mixture &mix, double rho) {
    const helmholtz::Moments<Dual> mom{Dual(mix.s0), Dual(mix.s1, mix.s1_t), Dual(mix.s2, mix.s2_t),
                                       Dual(mix.s3, mix.s3_t)};
    const Parameters &par = mix.par;
    const double t = mix.t;
    auto half_diameter = [&](std::int64_t k) {
        const std::int64_t i = mix.idx[k] - 1;
        const double slope = diameter_slope(par.v00[i], par.u0[i], t, segment_size_factor(par.u0[i], t));
        return Dual(0.5 * mix.pos.d[k], 0.5 * slope);
    };
    const Total<Dual> total =
        evaluate(mix, mom, Dual(mix.m_mix), Dual(mix.w, mix.w_t), Dual(rho), half_diameter, false);
    return {total.a().d, total.a_rho().d};
}

double composition_derivatives(const Mixture &mix, double rho, double *dadx) {
    const Total<double> total = evaluate_at(mix, rho, true);
    const helmholtz::Term<double> &hs = total.hs;
    const DispersionTerm<double> &disp = total.disp;
    const PositionVectors &pos = mix.pos;
    double mean = 0.0;
    for (std::int64_t k = 0; k < mix.n; ++k) {
        const double chain_k =
            helmholtz::chain_composition_share(total.chain, pos.m[k], pos.d[k], pos.md2[k], pos.md3[k]);
        pos.chain[k] = chain_k;
        dadx[k] = hs.by_mbar * pos.m[k] + hs.by_s1 * pos.md[k] + hs.by_s2 * pos.md2[k] +
                  (hs.by_s3 + disp.by_s3) * pos.md3[k] + disp.by_m_mix * pos.dmmix[k] + disp.by_w * pos.dwdx[k] +
                  chain_k;
        mean += mix.x[k] * dadx[k];
    }
    return mean;
}

void pair_contact_values(const Mixture &mix, double rho, double *g, double *g_rho, double *g_rhorho) {
    const helmholtz::ContactTerms<double> c =
        helmholtz::contact_terms(helmholtz::Moments<double>{mix.s0, mix.s1, mix.s2, mix.s3}, rho);
    const std::int64_t n = mix.n;
    for (std::int64_t l = 0; l < n; ++l) {
        for (std::int64_t k = 0; k < n; ++k) {
            const double dk = mix.pos.d[k], dl = mix.pos.d[l];
            const double h = dk * dl / (dk + dl);
            g[l * n + k] = 1.0 + helmholtz::contact_value_excess(c, h);
            g_rho[l * n + k] = c.u_1 + 3.0 * h * c.b_1 + 2.0 * h * h * c.c_1;
            g_rhorho[l * n + k] = c.u_2 + 3.0 * h * c.b_2 + 2.0 * h * h * c.c_2;
        }
    }
}

}  // namespace keld::saft
