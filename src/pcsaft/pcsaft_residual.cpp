// PC-SAFT residual Helmholtz energy: the hard-sphere, chain and dispersion terms of pcsaft_terms.h
// composed over the listed components.
#include "pcsaft/pcsaft_residual.h"

#include "pcsaft/pcsaft_terms.h"

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
            const double xm_dd = x[k] * mk * segment_diameter_slope(sigma[i], eps[i], t, e);
            slopes->s1 += xm_dd;
            slopes->s2 += 2.0 * d * xm_dd;
            slopes->s3 += 3.0 * d * d * xm_dd;
        }
    }
    return mom;
}

// ∂ã/∂x_k. On entry dadx and pos.chain hold ∂D1/∂x_k / m_k and ∂D2/∂x_k / m_k; the chain term's share
// (Σ_l x_l (1-m_l) ∂ln g_l/∂x_k + (1-m_k) ln g_k) is written to pos.chain.
void composition_derivatives(std::int64_t n, const Contribution &hs_disp, const ChainTerm &chain,
                             const PositionVectors &pos, double *dadx) {
    for (std::int64_t k = 0; k < n; ++k) {
        const double mk = pos.m[k];
        const double chain_k = chain_share(chain, own_contact(chain, mk, pos.d[k]), pos.md2[k], pos.md3[k]);
        dadx[k] = composition_derivative(hs_disp, mk, pos.md[k], pos.md2[k], pos.md3[k], dadx[k], pos.chain[k],
                                         chain_k);
        pos.chain[k] = chain_k;
    }
}

}  // namespace

ResidualValues residual(double t, double rho, std::int64_t ld, std::int64_t n, const std::int64_t *idx,
                        const double *x, ResidualSwitches sw, double *dadx, const double *m,
                        const double *sigma, const double *eps, const double *eps_matrix,
                        PositionVectors pos, const double *eps_matrix_t) {
    const bool with_temperature = sw.enthalpy || sw.entropy;
    const bool with_composition = sw.fugacity;
    const bool with_sensitivities = with_temperature || with_composition;

    MomentSlopes slopes;
    const Moments mom =
        store_segment_geometry(t, n, idx, x, m, sigma, eps, pos, with_temperature ? &slopes : nullptr);
    const DispersionSums sums =
        with_composition
            ? dispersion_sums<true>(t, ld, n, idx, x, sigma, eps_matrix, pos.m, dadx, pos.chain)
            : dispersion_sums<false>(t, ld, n, idx, x, sigma, eps_matrix, pos.m, nullptr, nullptr);

    const Contribution hs_disp = contribution(helmholtz::hard_sphere(mom, rho, with_sensitivities)) +
                                 dispersion(mom, sums, rho, with_sensitivities);
    const ChainTerm chain = helmholtz::hard_chain(
        rho, n, x, pos.m, mom, [&](std::int64_t k) { return 0.5 * pos.d[k]; },
        [&](std::int64_t k) {
            const std::int64_t i = idx[k] - 1;
            return 0.5 * segment_diameter_slope(sigma[i], eps[i], t, segment_diameter_factor(eps[i], t));
        },
        with_sensitivities, with_temperature);

    ResidualValues out;
    out.a = hs_disp.a + chain.part.a;
    out.a_rho = hs_disp.a_rho + chain.part.a_rho;
    out.a_rhorho = hs_disp.a_rhorho + chain.part.a_rhorho;
    if (with_temperature) {
        const Contribution all = hs_disp + contribution(chain.part);
        out.a_t = temperature_derivative(all, slopes, sums, t, chain.by_explicit_t);
        if (eps_matrix_t != nullptr) {
            const DispersionSums slopes_t =
                cross_energy_slopes(t, ld, n, idx, x, sigma, eps_matrix, eps_matrix_t, pos.m);
            out.a_t += all.by_d1 * slopes_t.d1 + all.by_d2 * slopes_t.d2;
        }
    }
    if (with_composition) composition_derivatives(n, hs_disp, chain, pos, dadx);
    return out;
}

}  // namespace keld::pcsaft
