#include "sanchez_lacombe/sl_properties.h"

#include <cmath>

#include "common/basis.h"
#include "sanchez_lacombe/sl_density_root.h"
#include "sanchez_lacombe/sl_state.h"

namespace keld::sanchez_lacombe {

void run_properties(const host::Host &host, const MonitorCall &call, const Mixture &given, const WorkArea &work,
                    const double *mw_by_component) {
    const Requests &rq = call.rq;
    const MonitorOutputs &out = call.out;
    const ResidualSwitches sw{rq.v.any(), rq.h.any() || rq.s.any(), rq.phi.any()};
    const double p_ref = host.reference_pressure();
    // The mixture averages and the composition sums depend on composition only: formed once, they
    // serve every density of both roots and both property states.
    const MixtureAverages averages = mixture_averages(given);
    Mixture mix = given;
    mix.averages = &averages;
    if (sw.composition && work.nc >= 2) {  // the gap holds 2 NC words from NC = 2 on
        composition_sums(mix, averages, work.composition_sums1(), work.composition_sums2());
        mix.s1 = work.composition_sums1();
        mix.s2 = work.composition_sums2();
    }

    DensityRootCall root_call{call.t, call.p, call.kvl, call.kdiag, call.kds, call.kstat};
    const double rho = density_root(host, mix, root_call).rho;
    const StateProperties st =
        state_properties(mix, call.t, call.p, p_ref, rho, sw, work.m_terms(), rq.phi.any() ? out.phi : nullptr);
    const StateValues at_t{st.v, st.h, st.s, st.g};
    write_values(rq, at_t, out);

    if (rq.any_derivative()) {
        const double dt = temperature_step(call.t, call.kvl);
        root_call.t = call.t + dt;
        const double rho_shifted = density_root(host, mix, root_call, rho).rho;
        const StateProperties sh = state_properties(mix, root_call.t, call.p, p_ref, rho_shifted, sw,
                                                    work.m_terms(), rq.phi.derivative ? out.dphi : nullptr);
        write_temperature_derivatives(rq, call.n, at_t, {sh.v, sh.h, sh.s, sh.g}, dt, out);
    }

    // A liquid root whose model pressure differs from P shifts ln phi to P.
    const double log_p_over_pcalc = call.kvl == 2 ? std::log(call.p / st.p_calc) : 0.0;
    to_apparent_basis(rq, call.n, call.idx, call.z, work.x(), mw_by_component, work.mwn(), log_p_over_pcalc, out);
}

}  // namespace keld::sanchez_lacombe
