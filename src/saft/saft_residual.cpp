// SAFT residual Helmholtz energy: ã = A_hs + A_chain + m_mix A0(u/kT, η/τ).
//
// The hard-sphere and chain terms are the family-independent ones (contributions/hard_chain.h). At
// constant ρ, temperature and composition act on ã only through S0..S3, the diameters (chain),
// m_mix and u/kT, so ∂ã/∂x_k is a contraction of the terms' sensitivities with ∂(those)/∂x_k. The
// temperature derivatives ∂ã/∂T and ∂²ã/∂ρ∂T come from one evaluation with dual numbers seeded with
// ∂S_n/∂T, ∂d_k/∂T and ∂(u/kT)/∂T, which `mix` forms analytically.
#include "saft/saft_residual.h"

#include <cmath>

#include "common/dual.h"
#include "contributions/hard_chain.h"
#include "contributions/saft_constants.h"
#include "contributions/saft_dispersion.h"

namespace keld::saft {
namespace {

using namespace constants;

// ∂d/∂T = -(c v00)^(1/3) · 0.36 (u0/T²) exp(-3 u0/T).
double diameter_slope(double v00, double u0, double t, double e) {
    return -std::cbrt(kDiameterCube * v00) * kSizeSlope * (u0 / (t * t)) * e;
}

template <class S, class HalfDiameter>
terms::Total<S> evaluate(const Mixture &mix, const helmholtz::Moments<S> &mom, const S &m_mix, const S &w,
                         const S &rho, HalfDiameter &&half_diameter, bool with_sensitivities) {
    return terms::residual_terms(mom, m_mix, w, rho, mix.n, mix.x, mix.pos.m, half_diameter, with_sensitivities);
}

terms::Total<double> evaluate_at(const Mixture &mix, double rho, bool with_sensitivities) {
    const helmholtz::Moments<double> mom{mix.s0, mix.s1, mix.s2, mix.s3};
    const double *d = mix.pos.d;
    return evaluate(mix, mom, mix.m_mix, mix.w, rho, [d](std::int64_t k) { return 0.5 * d[k]; },
                    with_sensitivities);
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
    mix.m_mix = terms::mixed_segment_number<true>(mix.n, mix.idx, mix.x, par, pos.dmmix);
    if (!(std::fabs(mix.s0 - mix.m_mix) >= tolerance))
        for (std::int64_t k = 0; k < mix.n; ++k) pos.dmmix[k] = pos.m[k];
}

}  // namespace

Mixture mix(double t, std::int64_t n, const std::int64_t *idx, const double *x, const Parameters &par,
            const PositionVectors &pos, double m_mix_tolerance) {
    Mixture mx{t, n, idx, x, par, pos, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    // ∂d/∂T per position lives in dmmix until the segment numbers are mixed.
    double *d_t = pos.dmmix;
    helmholtz::Moments<double> mom;
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k] - 1;
        const double e = terms::segment_size_factor(par.u0[i], t);
        const terms::SegmentSizeOf<double> size = terms::segment_size(par.v00[i], e);
        const double d = size.d;
        const double mk = par.m[i];
        const terms::SegmentPowersOf<double> powers = terms::segment_powers(mk, d);
        pos.d[k] = d;
        pos.v0[k] = size.v0;
        pos.m[k] = mk;
        pos.md[k] = powers.md;
        pos.md2[k] = powers.md2;
        pos.md3[k] = powers.md3;
        terms::add_to_moments(mom, x[k], mk, powers);
        d_t[k] = diameter_slope(par.v00[i], par.u0[i], t, e);
        const double xm_dt = x[k] * mk * d_t[k];
        mx.s1_t += xm_dt;
        mx.s2_t += 2.0 * d * xm_dt;
        mx.s3_t += 3.0 * d * d * xm_dt;
    }
    mx.s0 = mom.m_bar;
    mx.s1 = mom.s1;
    mx.s2 = mom.s2;
    mx.s3 = mom.s3;
    const terms::EnergySumsOf<double> sums =
        terms::energy_sums<true>(t, n, idx, x, pos.m, pos.d, par, d_t, pos.dwdx, pos.chain);
    mx.w = terms::reduced_energy(sums);
    mx.w_t = (sums.nu_t - mx.w * sums.dn_t) / sums.dn;
    // ∂(u/kT)/∂x_k = (∂Nu/∂x_k - w ∂Dn/∂x_k)/Dn with ∂Nu/∂x_k = m_k Σ_l x_l m_l v0_kl (u_kl + u_lk)/kT
    // and ∂Dn/∂x_k = 2 m_k Σ_l x_l m_l v0_kl.
    for (std::int64_t k = 0; k < n; ++k)
        pos.dwdx[k] = pos.m[k] * (pos.dwdx[k] - mx.w * 2.0 * pos.chain[k]) / sums.dn;
    segment_number_mixing(mx, m_mix_tolerance);
    return mx;
}

// Flattened, the terms and the dispersion polynomial inlined whole: the density search evaluates
// this at every trial density.
[[gnu::flatten]] DensityDerivatives residual(const Mixture &mix, double rho) {
    const terms::Total<double> total = evaluate_at(mix, rho, false);
    return {total.a(), total.a_rho(), total.a_rhorho()};
}

// Flattened: the terms with dual numbers are worth inlining whole (the dispersion polynomial
// alone would otherwise be a call per evaluation that keeps its Duals in memory).
[[gnu::flatten]] TemperatureDerivatives temperature_derivatives(const Mixture &mix, double rho) {
    const helmholtz::Moments<Dual> mom{Dual(mix.s0), Dual(mix.s1, mix.s1_t), Dual(mix.s2, mix.s2_t),
                                       Dual(mix.s3, mix.s3_t)};
    const Parameters &par = mix.par;
    const double t = mix.t;
    auto half_diameter = [&](std::int64_t k) {
        const std::int64_t i = mix.idx[k] - 1;
        const double slope = diameter_slope(par.v00[i], par.u0[i], t, terms::segment_size_factor(par.u0[i], t));
        return Dual(0.5 * mix.pos.d[k], 0.5 * slope);
    };
    const terms::Total<Dual> total =
        evaluate(mix, mom, Dual(mix.m_mix), Dual(mix.w, mix.w_t), Dual(rho), half_diameter, false);
    return {total.a().d, total.a_rho().d};
}

double composition_derivatives(const Mixture &mix, double rho, double *dadx) {
    const terms::Total<double> total = evaluate_at(mix, rho, true);
    const helmholtz::Term<double> &hs = total.hs;
    const terms::DispersionTerm<double> &disp = total.disp;
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
