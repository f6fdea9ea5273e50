#include "sanchez_lacombe/sl_density_root.h"

#include <cmath>

#include "common/messages.h"

namespace keld::sanchez_lacombe {
namespace {

const host::RoutineId kRoutine("POSL", "R2");
constexpr std::int64_t kConvergenceThresholdElement = 17;  // HostRootControl: pressure limit of "convergence"

void report_final_pressure(const host::Host &host, const Mixture &mix, const DensityRootCall &call, double p_calc) {
    if (p_calc > 0.0) return;
    if (p_calc == 0.0 && call.p <= host.root_control(kConvergenceThresholdElement)) {
        messages::convergence_difficulties(host, {kRoutine, 3, 6, call.kdiag}, "POSL MODEL", call.kds, call.t,
                                           call.p);
    } else {
        messages::infeasible_conditions(host, {kRoutine, 2, 7, call.kdiag}, "POLYSL", call.kds, call.t, call.p,
                                        mix.n, mix.idx, mix.x);
    }
}

}  // namespace

RootVolumes root_volumes(const MixtureAverages &avg, double gas_constant, double t, std::int64_t kvl) {
    const double sqrt_r = std::sqrt(avg.r_bar);
    const double t_star = avg.eps_star / gas_constant;
    const double t_critical = 2.0 * avg.r_bar * t_star / ((1.0 + sqrt_r) * (1.0 + sqrt_r));
    RootVolumes v;
    v.close_packed = avg.r_bar * avg.v_star;
    v.critical = avg.r_bar * (1.0 + sqrt_r) * avg.v_star;
    v.dividing = (t >= t_critical && kvl != 2) ? v.close_packed : v.critical;
    return v;
}

RootResult density_root(const host::Host &host, const Mixture &mix, const DensityRootCall &call, double rho_start) {
    const MixtureAverages avg = mix.averages != nullptr ? *mix.averages : mixture_averages(mix);
    const double r = mix.gas_constant;
    const RootVolumes volumes = root_volumes(avg, r, call.t, call.kvl);
    const RootRequest request{call.t, call.p, call.kvl, call.kdiag, volumes.close_packed, volumes.critical,
                              volumes.dividing, kRoutine, mix.n == 1};
    const ResidualSwitches sw{true, false, false};
    const RootResult result = solve_density_root(
        host, request, RootPolicy{},
        [&](double rho, bool) {
            const ResidualValues a = residual(mix, avg, call.t, rho, sw, nullptr);
            const double rt = r * call.t;
            return PressureAndSlope{rt * rho * (1.0 + rho * a.a_rho),
                                    -rt * rho * rho * (1.0 + 2.0 * rho * a.a_rho + rho * rho * a.a_rhorho)};
        },
        rho_start);
    if (result.failed) *call.kstat = 0;
    report_final_pressure(host, mix, call, result.p_calc);
    return result;
}

}  // namespace keld::sanchez_lacombe
