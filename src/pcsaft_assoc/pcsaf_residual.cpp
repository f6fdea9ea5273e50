#include "pcsaft_assoc/pcsaf_residual.h"

#include "contributions/pcsaft_dispersion.h"

namespace keld::pcsaf {
namespace {

using namespace pcsaft::terms;

void add_association(const host::Host &host, Model &m, double rho, const ResidualNeeds &needs,
                     ResidualValues &out) {
    const assoc::Requests requests{true, needs.rhorho, needs.temperature, needs.composition};
    const assoc::Results r = assoc::evaluate(host, m.aprep, rho, m.warm, requests, m.aout);
    m.warm = r.failed == 0;
    out.association_failed = r.failed != 0;
    // The routine returns rho da/drho, rho a_rho + rho^2 a_rhorho and T da/dT.
    out.a += r.a;
    out.a_rho += r.a_rho / rho;
    if (needs.rhorho) out.a_rhorho += (r.a_rho2 - r.a_rho) / (rho * rho);
    if (needs.temperature) out.a_t += r.a_t / m.t;
    if (needs.composition)
        for (std::int64_t k = 0; k < m.n; ++k) m.dadx[k] += m.aout.a_x[k];
}

void add_dipoles(Model &m, double rho, const ResidualNeeds &needs, ResidualValues &out) {
    const double z3 = kPiOver6 * m.mom.s3;
    const double eta_t = needs.temperature ? rho * kPiOver6 * m.slopes.s3 : 0.0;
    const DipolarTerm p = dipolar_term(m.polar_sums, rho, z3, m.t, eta_t, needs.temperature);
    out.a += p.a;
    out.a_rho += p.a_rho;
    out.a_rhorho += p.a_rhorho;
    if (needs.temperature) out.a_t += p.a_t;
    if (needs.composition)
        for (std::int64_t k = 0; k < m.n; ++k)
            m.dadx[k] += p.by_s2 * m.ds2_dx[k] + p.by_s3 * m.ds3_dx[k] + p.by_eta * rho * kPiOver6 * m.md3[k];
}

}  // namespace

ResidualValues residual(const host::Host &host, Model &m, double rho, ResidualNeeds needs) {
    needs.temperature = needs.temperature && m.slopes_ready;
    needs.composition = needs.composition && m.rows;
    const bool with_sensitivities = needs.temperature || needs.composition;
    const auto half_diameter = [&](std::int64_t e) { return 0.5 * m.d[m.ch_comp[e] - 1]; };
    if (!needs.value && !with_sensitivities) {
        // The density derivatives alone, by the expressions of the full terms (the same sums in the same order).
        double hs_rho = 0.0, hs_rhorho = 0.0, disp_rho = 0.0, disp_rhorho = 0.0, chain_rho = 0.0, chain_rhorho = 0.0;
        helmholtz::hard_sphere_density_derivatives(m.mom, rho, hs_rho, hs_rhorho);
        dispersion_density_derivatives(m.mom, m.sums, rho, m.i1, m.i2, disp_rho, disp_rhorho);
        helmholtz::hard_chain_density_derivatives(rho, m.ne, m.ch_x, m.ch_m, m.mom, half_diameter, chain_rho,
                                                  chain_rhorho);
        ResidualValues out;
        out.a_rho = (hs_rho + disp_rho) + chain_rho;
        out.a_rhorho = (hs_rhorho + disp_rhorho) + chain_rhorho;
        if (m.association) add_association(host, m, rho, needs, out);
        if (m.dipolar) add_dipoles(m, rho, needs, out);
        return out;
    }

    const Contribution hs_disp = contribution(helmholtz::hard_sphere(m.mom, rho, with_sensitivities)) +
                                 dispersion(m.mom, m.sums, rho, with_sensitivities);
    const ChainTerm chain = helmholtz::hard_chain(
        rho, m.ne, m.ch_x, m.ch_m, m.mom, half_diameter,
        [&](std::int64_t e) { return 0.5 * m.d_slope[m.ch_comp[e] - 1]; }, with_sensitivities, needs.temperature);

    ResidualValues out;
    out.a = hs_disp.a + chain.part.a;
    out.a_rho = hs_disp.a_rho + chain.part.a_rho;
    out.a_rhorho = hs_disp.a_rhorho + chain.part.a_rhorho;
    if (needs.temperature) {
        const Contribution all = hs_disp + contribution(chain.part);
        out.a_t = temperature_derivative(all, m.slopes, m.sums, m.t, chain.by_explicit_t);
        if (m.with_binary_slopes) out.a_t += all.by_d1 * m.d1_binary_t + all.by_d2 * m.d2_binary_t;
    }
    if (needs.composition) {
        for (std::int64_t k = 0; k < m.n; ++k) {
            double own = 0.0;
            for (std::int64_t e = m.ch_first[k]; e < m.ch_first[k + 1]; ++e)
                own += own_contact(chain, m.ch_m[e], m.d[m.ch_comp[e] - 1]);
            const double chain_k = chain_share(chain, own, m.md2[k], m.md3[k]);
            m.dadx[k] = composition_derivative(hs_disp, m.m[k], m.md[k], m.md2[k], m.md3[k], m.r1[k], m.r2[k],
                                               chain_k);
        }
    }
    if (m.association) add_association(host, m, rho, needs, out);
    if (m.dipolar) add_dipoles(m, rho, needs, out);
    return out;
}

}  // namespace keld::pcsaf
