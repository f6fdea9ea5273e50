#include "saft/psaf_properties.h"

#include <cmath>
#include <optional>

#include "common/basis.h"
#include "common/close_packing.h"
#include "common/density_root.h"
#include "common/messages.h"
#include "common/polymer_root_volumes.h"

namespace keld::saft {
namespace {

const host::RoutineId kModelName("PSAF", "R2");
const host::RoutineId kRoutine("PSAF", "M1");
constexpr double kSmallestCompressibility = 1e-35;
// Packing fraction of a typical SAFT liquid (n-alkanes near 0.33 at room temperature): a liquid search
// without a better start is offered this volume.
constexpr double kLiquidPackingFraction = 0.34;

struct Root {
    double rho;
    DensityDerivatives a;
};

// The density at T of the call's phase, polymers' pseudo-critical values written to the host.
std::optional<Root> density_root(const host::Host &host, const MonitorCall &call, const PsafInputs &in,
                                 const Mixture &mx, double rho_start) {
    const RootVolumes vol = polymer_root_volumes(
        call.n, mx.x, in.work.mwn(), mx.t, call.kvl,
        [&](std::int64_t k) {
            const std::int64_t i = call.idx[k];
            if (!host.is_polymer_or_oligomer(i)) return host.real(in.tc_offset + i);
            const double t_critical = polymer_critical_temperature(in.work.mwn()[k]);
            host.publish(in.tc_offset + i, t_critical);
            host.publish(in.pc_offset + i, polymer_critical_pressure(in.work.mwn()[k]));
            return t_critical;
        },
        [&](std::int64_t k) { return mx.x[k] * mx.pos.md3[k]; });
    const RootRequest request{mx.t, call.p, call.kvl, call.kdiag, vol.close_packed, vol.critical, vol.dividing,
                              kModelName, call.n == 1};
    RootPolicy policy;
    policy.move_off_close_packed = true;
    policy.unlisted_state_switches_to_liquid = true;
    const bool warm = rho_start > 0.0;
    if (!(rho_start > 0.0) && call.kvl == 2) rho_start = kLiquidPackingFraction / vol.close_packed;
    const double rt = host.gas_constant() * mx.t;
    Root root{};
    auto model = [&](double rho, bool) {
        root.a = residual(mx, rho);
        return PressureAndSlope{rt * rho * (1.0 + rho * root.a.a_rho),
                                -rt * rho * rho * (1.0 + 2.0 * rho * root.a.a_rho + rho * rho * root.a.a_rhorho)};
    };
    const RootResult r = within_close_packing(
        host, request, policy, model,
        solve_density_root_checked(host, request, policy, model, rho_start, warm, dense_loops_possible(mx)));
    if (r.failed) *call.kstat = 0;
    if (r.evaluations == 0) return std::nullopt;
    if (r.beyond_close_packing) {
        // Every root lies beyond close packing: no state of the fluid to report.
        messages::infeasible_conditions(host, {kRoutine, 2, 7, call.kdiag}, "POLYSAFT", call.kds, mx.t, call.p,
                                        call.n, call.idx, call.z);
        return std::nullopt;
    }
    root.rho = r.rho;
    return root;
}

struct State {
    StateValues values;
    double p_calc;
};

// Departures and (phi given) ln φ on the true basis at the root, with ∂ã/∂T = a_t.
State state_at(const host::Host &host, const MonitorCall &call, const Mixture &mx, const Root &root, double a_t,
               double *phi, double *dadx) {
    const double r = host.gas_constant(), t = mx.t, rho = root.rho;
    const DensityDerivatives &a = root.a;
    const double z = 1.0 + rho * a.a_rho;
    const double zg = z > 0.0 ? z : kSmallestCompressibility;
    const double log_zg = std::log(zg);
    const double log_p = std::log(call.p / host.reference_pressure());
    State st;
    st.p_calc = r * t * rho * z;
    if (!(st.p_calc > 0.0)) st.p_calc = call.p;
    st.values.v = 1.0 / rho;
    st.values.h = r * t * (-t * a_t + zg - 1.0);
    st.values.s = r * (log_zg - log_p) - r * t * a_t - r * a.a;
    st.values.g = r * t * (zg - 1.0 + a.a - log_zg + log_p);
    if (phi) {
        const double mean = composition_derivatives(mx, rho, dadx);
        for (std::int64_t k = 0; k < call.n; ++k) phi[k] = dadx[k] + (zg - 1.0) - mean + a.a - log_zg;
    }
    return st;
}

}  // namespace

void run_stored_properties(const host::Host &host, const MonitorCall &call, const PsafInputs &in) {
    const Requests &rq = call.rq;
    const MonitorOutputs &out = call.out;
    const double floor = host.segment_fraction_floor();
    auto mixture_at = [&](double t) {
        return mix(t, call.n, call.idx, in.work.x(), in.par, in.work.positions(), floor);
    };
    const Mixture mx = mixture_at(call.t);
    const std::optional<Root> root = density_root(host, call, in, mx, 0.0);
    if (!root) {
        reject(call);
        return;
    }
    if (!rq.any()) return;
    const bool with_temperature = rq.h.any() || rq.s.any();
    const double a_t = with_temperature ? temperature_derivatives(mx, root->rho).a_t : 0.0;
    const State st = state_at(host, call, mx, *root, a_t, rq.phi.any() ? out.phi : nullptr, in.work.dadx());
    write_values(rq, st.values, out);

    if (rq.any_derivative()) {
        const double dt = temperature_step(call.t, call.kvl);
        const double t_shifted = call.t + dt;
        const Mixture shifted = mixture_at(t_shifted);
        const std::optional<Root> shifted_root = density_root(host, call, in, shifted, root->rho);
        if (!shifted_root) {
            reject(call);
            return;
        }
        double *dphi = rq.phi.derivative ? out.dphi : nullptr;
        State sh = state_at(host, call, shifted, *shifted_root, 0.0, dphi, in.work.dadx());
        if (rq.h.derivative || rq.s.derivative) {
            // ∂ã/∂T at T' by a central difference at the density found there.
            const double step = temperature_step(t_shifted, call.kvl);
            const double above = residual(mixture_at(t_shifted + step), shifted_root->rho).a;
            const double below = residual(mixture_at(t_shifted - step), shifted_root->rho).a;
            sh = state_at(host, call, shifted, *shifted_root, (above - below) / (2.0 * step), nullptr, nullptr);
        }
        write_temperature_derivatives(rq, call.n, st.values, sh.values, dt, out);
    }

    const double log_p_over_pcalc = call.kvl == 2 ? std::log(call.p / st.p_calc) : 0.0;
    to_apparent_basis(rq, call.n, call.idx, call.z, in.work.x(), in.mw_by_component, in.work.mwn(), log_p_over_pcalc,
                      out);
}

}  // namespace keld::saft
