// PC-SAFT residual Helmholtz energy: the hard-sphere, chain and dispersion terms of
// contributions/pcsaft_dispersion.h composed over the listed components.
#include "pcsaft/pcsaft_residual.h"

namespace keld::pcsaft {
namespace {

using namespace terms;

Moments store_segment_geometry(double t, std::int64_t n, const std::int64_t *idx, const double *x,
                               const double *m, const double *sigma, const double *eps,
                               const PositionVectors &pos, MomentSlopes *slopes) {
    Moments mom;
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k] - 1;
        const double e = segment_diameter_factor(eps[i], t);
        const double d = segment_diameter(sigma[i], e);
        const double mk = m[i];
        const double md = mk * d;
        const double md2 = md * d;
        const double md3 = md2 * d;
        pos.d[k] = d;
        pos.m[k] = mk;
        pos.md[k] = md;
        pos.md2[k] = md2;
        pos.md3[k] = md3;
        mom.m_bar += x[k] * mk;
        mom.s1 += x[k] * md;
        mom.s2 += x[k] * md2;
        mom.s3 += x[k] * md3;
        if (slopes != nullptr) {
            const double d_t = segment_diameter_slope(sigma[i], eps[i], t, e);
            if (pos.half_diameter_t != nullptr) pos.half_diameter_t[k] = 0.5 * d_t;
            const double xm_dd = x[k] * mk * d_t;
            slopes->s1 += xm_dd;
            slopes->s2 += 2.0 * d * xm_dd;
            slopes->s3 += 3.0 * d * d * xm_dd;
        }
    }
    return mom;
}

}  // namespace

Isotherm::Isotherm(double t, std::int64_t n, const std::int64_t *idx, const double *x, const double *m,
                   const double *sigma, const double *eps, const PositionVectors &pos, const PairSums &sums,
                   bool with_temperature)
    : t_(t), n_(n), idx_(idx), x_(x), sigma_(sigma), eps_(eps), pos_(pos) {
    mom_ = store_segment_geometry(t, n, idx, x, m, sigma, eps, pos, with_temperature ? &slopes_ : nullptr);
    i1_ = integral_coefficients(kA0, kA1, kA2, mom_.m_bar);
    i2_ = integral_coefficients(kB0, kB1, kB2, mom_.m_bar);
    hs_shape_ = helmholtz::hard_sphere_shape(mom_);
    sums_.d1 = sums.d1;
    sums_.d2 = sums.d2;
}

ResidualValues Isotherm::density_derivatives(double rho) const {
    ResidualValues out;
    double hs_rho = 0.0, hs_rhorho = 0.0, chain_rho = 0.0, chain_rhorho = 0.0;
    helmholtz::hard_sphere_density_derivatives(mom_, hs_shape_, rho, hs_rho, hs_rhorho);
    Contribution disp;
    dispersion_density_derivatives(mom_, sums_, rho, i1_, i2_, disp.a_rho, disp.a_rhorho);
    helmholtz::hard_chain_density_derivatives(
        rho, n_, x_, pos_.m, mom_, [&](std::int64_t k) { return 0.5 * pos_.d[k]; }, chain_rho, chain_rhorho);
    out.a_rho = (hs_rho + disp.a_rho) + chain_rho;
    out.a_rhorho = (hs_rhorho + disp.a_rhorho) + chain_rhorho;
    return out;
}

ResidualValues Isotherm::at(double rho, ResidualSwitches sw, const double *r1, const double *r2, double *dadx,
                            double (*by_d)[2]) const {
    const bool with_temperature = sw.enthalpy || sw.entropy;
    const bool with_composition = sw.fugacity;
    const bool with_sensitivities = with_temperature || with_composition;
    const double t = t_;

    // ln g_kk of the chain term, kept for the molecules' own contact terms in pos.chain (which the
    // composition loop overwrites element by element after reading it), unless the rows live there.
    double *const log_contact = with_composition && r1 != pos_.chain && r2 != pos_.chain ? pos_.chain : nullptr;
    const Contribution hs_disp = contribution(helmholtz::hard_sphere(mom_, rho, with_sensitivities)) +
                                 dispersion(mom_, sums_, rho, with_sensitivities, i1_, i2_);
    const ChainTerm chain = helmholtz::hard_chain(
        rho, n_, x_, pos_.m, mom_, [&](std::int64_t k) { return 0.5 * pos_.d[k]; },
        [&](std::int64_t k) {
            if (pos_.half_diameter_t != nullptr) return pos_.half_diameter_t[k];
            const std::int64_t i = idx_[k] - 1;
            return 0.5 * segment_diameter_slope(sigma_[i], eps_[i], t, segment_diameter_factor(eps_[i], t));
        },
        with_sensitivities, with_temperature, log_contact);

    ResidualValues out;
    out.a = hs_disp.a + chain.part.a;
    out.a_rho = hs_disp.a_rho + chain.part.a_rho;
    out.a_rhorho = hs_disp.a_rhorho + chain.part.a_rhorho;
    if (with_temperature) {
        const Contribution all = hs_disp + contribution(chain.part);
        out.a_t = temperature_derivative(all, slopes_, sums_, t, chain.by_explicit_t);
        if (by_d != nullptr) {
            (*by_d)[0] = all.by_d1;
            (*by_d)[1] = all.by_d2;
        }
    }
    if (with_composition) {
        // ∂ã/∂x_k; the chain term's share (Σ_l x_l (1-m_l) ∂ln g_l/∂x_k + (1-m_k) ln g_k) to pos.chain.
        for (std::int64_t k = 0; k < n_; ++k) {
            const double mk = pos_.m[k];
            const bool kept = log_contact != nullptr && mk != 1.0 && x_[k] * (1.0 - mk) != 0.0;
            const double own = kept ? (1.0 - mk) * log_contact[k] : own_contact(chain, mk, pos_.d[k]);
            const double chain_k = chain_share(chain, own, pos_.md2[k], pos_.md3[k]);
            dadx[k] = composition_derivative(hs_disp, mk, pos_.md[k], pos_.md2[k], pos_.md3[k], r1[k], r2[k], chain_k);
            pos_.chain[k] = chain_k;
        }
    }
    return out;
}

ResidualValues residual(double t, double rho, std::int64_t ld, std::int64_t n, const std::int64_t *idx,
                        const double *x, ResidualSwitches sw, double *dadx, const double *m,
                        const double *sigma, const double *eps, const double *eps_matrix,
                        PositionVectors pos, const double *eps_matrix_t) {
    const bool with_temperature = sw.enthalpy || sw.entropy;
    const PairSums sums =
        pair_sums(t, ld, n, idx, x, m, sigma, eps_matrix, sw.fugacity ? dadx : nullptr, sw.fugacity ? pos.chain : nullptr);
    const Isotherm iso(t, n, idx, x, m, sigma, eps, pos, sums, with_temperature);
    double by_d[2] = {0.0, 0.0};
    ResidualValues out = iso.at(rho, sw, dadx, pos.chain, dadx, &by_d);
    if (with_temperature && eps_matrix_t != nullptr) {
        const DispersionSums slopes_t = cross_energy_slopes(t, ld, n, idx, x, sigma, eps_matrix, eps_matrix_t, pos.m);
        out.a_t += by_d[0] * slopes_t.d1 + by_d[1] * slopes_t.d2;
    }
    return out;
}

}  // namespace keld::pcsaft
