#include "pcsaft/pcsaft_properties.h"

#include <cmath>

#include "common/basis.h"
#include "common/messages.h"

namespace keld::pcsaft {
namespace {

const host::RoutineId kRoutine("ESPC", "SF");
constexpr double kSmallestCompressibility = 1e-35;

// Every root lies beyond close packing: no state of the fluid to report.
void refuse_beyond_close_packing(const host::Host &host, const MonitorCall &call) {
    messages::infeasible_conditions(host, {kRoutine, 2, 7, call.kdiag}, "POLYPCSF", call.kds, call.t, call.p, call.n,
                                    call.idx, call.z);
    reject(call);
}

struct State {
    StateValues values;
    double p_calc;
};

// Departures and ln phi (true basis) at (T, rho) of the isotherm; phi written when not null.
State state_at(const host::Host &host, const Mixture &mix, const Isotherm &iso, const double *rows1,
               const double *rows2, const ResidualSwitches &sw, double p, double rho, double *phi) {
    const double t = iso.temperature();
    const ResidualValues a = iso.at(rho, sw, rows1, rows2, mix.dadx);
    const double r = host.gas_constant();
    const double z = 1.0 + rho * a.a_rho;
    const double zg = z > 0.0 ? z : kSmallestCompressibility;
    const double log_zg = std::log(zg);
    const double log_p = std::log(p / host.reference_pressure());
    State st;
    st.p_calc = r * t * rho * z;
    if (!(st.p_calc > 0.0)) st.p_calc = p;
    st.values.v = 1.0 / rho;
    st.values.h = r * t * (-t * a.a_t + zg - 1.0);
    st.values.s = r * (log_zg - log_p) - r * t * a.a_t - r * a.a;
    st.values.g = r * t * (zg - 1.0 + a.a - log_zg + log_p);
    if (phi) {
        double mean = 0.0;
        for (std::int64_t k = 0; k < mix.n; ++k) mean += mix.x[k] * mix.dadx[k];
        for (std::int64_t k = 0; k < mix.n; ++k) phi[k] = mix.dadx[k] + (zg - 1.0) - mean + a.a - log_zg;
    }
    return st;
}

}  // namespace

void run_properties(const host::Host &host, const MonitorCall &call, const PropertyInputs &in) {
    const Requests &rq = call.rq;
    const MonitorOutputs &out = call.out;
    const Mixture &mix = in.mix;
    const ResidualSwitches sw{rq.h.any(), rq.s.any(), rq.g.any(), rq.phi.any()};

    // The pair sums depend on composition and temperature only: formed once for both temperatures (with
    // their composition rows when ln phi is wanted), so that every density evaluation of both roots costs
    // O(N). The monitor's cross-energy matrix is symmetric; the position vectors are free scratch until
    // the first Isotherm fills them.
    const bool shifted_wanted = rq.any_derivative();
    const double dt = shifted_wanted ? temperature_step(call.t, call.kvl) : 0.0;
    const terms::PairRows rows = sw.fugacity ? terms::PairRows{in.work.dispersion_rows1(), in.work.dispersion_rows2()}
                                             : terms::PairRows{};
    const terms::PairRows rows_shifted = sw.fugacity && shifted_wanted
                                             ? terms::PairRows{in.work.shifted_rows1(), in.work.shifted_rows2()}
                                             : terms::PairRows{};
    terms::PairSums sums, sums_shifted;
    terms::symmetric_pair_sums(call.t, shifted_wanted ? call.t + dt : 0.0, mix.nc, mix.n, mix.idx, mix.x, mix.m,
                               mix.sigma, mix.eps_matrix, rows, rows_shifted,
                               {mix.pos.md, mix.pos.md2, mix.pos.md3, in.work.pair_rows_scratch()}, sums,
                               sums_shifted);
    Mixture with_sums = mix;
    with_sums.sums = &sums;
    const bool with_temperature = sw.enthalpy || sw.entropy;

    DensityRootCall root{call.t, call.p, call.kvl, call.kdiag, call.kstat, in.tc_offset, in.pc_offset};
    const Isotherm at_t(call.t, mix.n, mix.idx, mix.x, mix.m, mix.sigma, mix.eps, mix.pos, sums, with_temperature);
    const RootResult found = density_root(host, with_sums, at_t, root, 0.0);
    if (found.beyond_close_packing) return refuse_beyond_close_packing(host, call);
    const double rho = found.rho;
    if (!rq.any()) return;
    const State st = state_at(host, mix, at_t, rows.r1, rows.r2, sw, call.p, rho, rq.phi.any() ? out.phi : nullptr);
    write_values(rq, st.values, out);

    if (shifted_wanted) {
        root.t = call.t + dt;
        with_sums.sums = &sums_shifted;
        const Isotherm shifted(root.t, mix.n, mix.idx, mix.x, mix.m, mix.sigma, mix.eps, mix.pos, sums_shifted,
                               with_temperature);
        const RootResult found_shifted = density_root(host, with_sums, shifted, root, rho);
        if (found_shifted.beyond_close_packing) return refuse_beyond_close_packing(host, call);
        const double rho_shifted = found_shifted.rho;
        const State sh = state_at(host, mix, shifted, rows_shifted.r1, rows_shifted.r2, sw, call.p, rho_shifted,
                                  rq.phi.derivative ? out.dphi : nullptr);
        write_temperature_derivatives(rq, call.n, st.values, sh.values, dt, out);
    }

    const double log_p_over_pcalc = call.kvl == 2 ? std::log(call.p / st.p_calc) : 0.0;
    to_apparent_basis(rq, call.n, call.idx, call.z, in.work.x(), in.mw_by_component, in.work.mwn(), log_p_over_pcalc,
                      out);
}

}  // namespace keld::pcsaft
