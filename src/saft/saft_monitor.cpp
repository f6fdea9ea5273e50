#include "saft/saft_monitor.h"

#include <cmath>
#include <optional>

#include "common/basis.h"
#include "common/close_packing.h"
#include "common/density_root.h"
#include "common/messages.h"
#include "common/polymer_root_volumes.h"
#include "common/vector_form.h"
#include "host/host.h"
#include "saft/saft_arguments.h"

namespace keld::saft {
namespace {

const host::RoutineId kRoutine("ESSA", "FT");
const host::RoutineId kShiftedRoutine("ESSA", "FTD");  // messages of the state at the shifted temperature
const host::RoutineId kModelName("ESPL", "SFT");       // handed to the host's root routines

constexpr double kSmallestCompressibility = 1e-35;
// Packing fraction of a typical SAFT liquid (n-alkanes near 0.33 at room temperature): a liquid search
// without a better start is offered this volume.
constexpr double kLiquidPackingFraction = 0.34;

// Pseudo-critical values of polymers and oligomers go into the caller's critical vectors (for the
// host; the call uses its own values, since the vectors may be words concurrent calls write too).
RootVolumes volumes(const host::Host &host, const SaftCall &c, const Mixture &mx) {
    return polymer_root_volumes(
        c.n, c.x, c.mwn, mx.t, c.kvl,
        [&](std::int64_t k) {
            const std::int64_t i = c.idx[k];
            if (!host.is_polymer_or_oligomer(i)) return c.tc[i - 1];
            const double t_critical = polymer_critical_temperature(c.mwn[k]);
            host::publish_word(&c.tc[i - 1], t_critical);
            host::publish_word(&c.pc[i - 1], polymer_critical_pressure(c.mwn[k]));
            return t_critical;
        },
        [&](std::int64_t k) { return c.x[k] * mx.pos.md3[k]; });
}

// The density root and the model at it.
struct Root {
    double rho;
    double p_calc;  // the model pressure, or P where it is not usable
    DensityDerivatives a;
    double dpdv;
};

std::optional<Root> solve_root(const host::Host &host, const SaftCall &c, const Mixture &mx,
                               const host::RoutineId &routine, double rho_start) {
    const RootVolumes vol = volumes(host, c, mx);
    const RootRequest request{mx.t, c.p, c.kvl, c.kdiag, vol.close_packed, vol.critical, vol.dividing,
                              kModelName, c.n == 1};
    RootPolicy policy;
    policy.move_off_close_packed = true;
    policy.private_slope_cell = true;
    const bool warm = rho_start > 0.0;
    if (!(rho_start > 0.0) && c.kvl == 2) rho_start = kLiquidPackingFraction / vol.close_packed;
    const double rt = host.gas_constant() * mx.t;
    Root root{};
    auto model = [&](double rho, bool) {
        root.a = residual(mx, rho);
        root.dpdv = -rt * rho * rho * (1.0 + 2.0 * rho * root.a.a_rho + rho * rho * root.a.a_rhorho);
        return PressureAndSlope{rt * rho * (1.0 + rho * root.a.a_rho), root.dpdv};
    };
    const RootResult r = within_close_packing(
        host, request, policy, model,
        solve_density_root_checked(host, request, policy, model, rho_start, warm, dense_loops_possible(mx)));
    if (r.failed) *c.kstat = 0;
    if (r.evaluations == 0) return std::nullopt;  // the host never asked for a volume: nothing to report
    if (r.beyond_close_packing) {
        // Every root lies beyond close packing: no state of the fluid to report.
        messages::infeasible_conditions(host, {routine, 2, 7, c.kdiag}, "ESSAFT", c.kds, mx.t, c.p, c.n, c.idx, c.z,
                                        c.ids);
        return std::nullopt;
    }
    root.rho = r.rho;
    root.p_calc = r.p_calc;
    if (!(root.p_calc > 0.0)) {
        if (root.p_calc == 0.0 && c.p <= host.root_control(17)) {
            messages::convergence_difficulties(host, {routine, 3, 6, c.kdiag}, "ESPLSFT MODEL", c.kds, mx.t, c.p);
        } else {
            messages::infeasible_conditions(host, {routine, 2, 7, c.kdiag}, "ESSAFT", c.kds, mx.t, c.p, c.n, c.idx,
                                            c.z, c.ids);
        }
        root.p_calc = c.p;
    }
    return root;
}

// Departures and (when phi is given) ln φ on the true basis, the liquid's ln(P/P_calc) included.
struct State {
    StateValues values;
    double a_rho_t = 0.0;
};

State state_at(const host::Host &host, const SaftCall &c, const Mixture &mx, const Root &root,
               bool with_temperature, double *phi) {
    const double r = host.gas_constant(), t = mx.t, rho = root.rho;
    const DensityDerivatives &a = root.a;
    const TemperatureDerivatives at = with_temperature ? temperature_derivatives(mx, rho) : TemperatureDerivatives{};
    const double z = 1.0 + rho * a.a_rho;
    const double zg = z > 0.0 ? z : kSmallestCompressibility;
    const double log_zg = std::log(zg);
    const double log_p = std::log(c.p / host.reference_pressure());
    State st;
    st.values.v = 1.0 / rho;
    st.values.h = r * t * (zg - 1.0) - r * t * t * at.a_t;
    st.values.s = r * (log_zg - log_p) - r * t * at.a_t - r * a.a;
    st.values.g = r * t * (a.a + zg - 1.0 + log_p - log_zg);
    st.a_rho_t = at.a_rho_t;
    if (phi) {
        const double mean = composition_derivatives(mx, rho, c.dadx);
        const double pressure_shift = c.kvl == 2 ? std::log(c.p / root.p_calc) : 0.0;
        for (std::int64_t k = 0; k < c.n; ++k)
            phi[k] = c.dadx[k] - mean + a.a + (zg - 1.0) - log_zg - pressure_shift;
    }
    return st;
}

// The cross parameters are formed from k_ij and l_ij of the data set pair by pair: U0IJ and XMIJ,
// which a host may hand every call (KELD_SFTHLP gives the same store words to all), are only written.
Parameters parameters(const host::Host &host, const SaftCall &c) {
    const std::int64_t nc = host.component_count();
    Parameters par{c.m, c.v00, c.u0, c.e, nullptr, nc};
    par.kij = c.kij + (c.kds - 1) * nc * nc;
    par.lij = c.lij + (c.kds - 1) * nc * nc;
    return par;
}

Mixture mixture_at(const host::Host &host, const SaftCall &c, double t) {
    return mix(t, c.n, c.idx, c.x, parameters(host, c), c.pos, host.segment_fraction_floor());
}

void evaluate(const host::Host &host, const SaftCall &c) {
    const Requests &rq = c.rq;
    const Mixture mx = mixture_at(host, c, c.t);
    const std::optional<Root> root = solve_root(host, c, mx, kRoutine, 0.0);
    if (!root) {
        reject(c);
        return;
    }
    pair_contact_values(mx, root->rho, c.g, c.g_rho, c.g_rhorho);
    if (!rq.any()) return;

    const bool with_temperature = rq.h.any() || rq.s.any() || rq.v.derivative;
    const State st = state_at(host, c, mx, *root, with_temperature, rq.phi.any() ? c.out.phi : nullptr);
    write_values(rq, st.values, c.out);
    if (rq.v.derivative) {
        // (∂V/∂T)_P = -(∂P/∂T)_V / (∂P/∂V)_T with (∂P/∂T)_V = R ρ (1 + ρ ∂ã/∂ρ + ρ T ∂²ã/∂ρ∂T).
        const double rho = root->rho;
        *c.out.dv = host.gas_constant() * rho * (1.0 + rho * root->a.a_rho + rho * c.t * st.a_rho_t) / -root->dpdv;
    }

    Requests shifted_rq = rq;
    shifted_rq.v.derivative = false;  // analytic above
    if (shifted_rq.any_derivative()) {
        const double dt = temperature_step(c.t, c.kvl);
        const Mixture shifted = mixture_at(host, c, c.t + dt);
        const std::optional<Root> shifted_root = solve_root(host, c, shifted, kShiftedRoutine, root->rho);
        if (!shifted_root) {
            reject(c);
            return;
        }
        const bool shifted_temperature = rq.h.derivative || rq.s.derivative;
        const State sh =
            state_at(host, c, shifted, *shifted_root, shifted_temperature, rq.phi.derivative ? c.out.dphi : nullptr);
        write_temperature_derivatives(shifted_rq, c.n, st.values, sh.values, dt, c.out);
    }

    to_apparent_basis(rq, c.n, c.idx, c.z, c.x, c.mw, c.mwn, 0.0, c.out);
}

}  // namespace

void monitor(const SaftCall &c) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found || c.n < 1) return;
    const host::Host &host = *found;
    if (!arguments_usable(host, c)) {
        reject(c);
        return;
    }
    complete_pure_parameters(host, c);
    if (!energy_corrections_given(host, c)) {
        reject(c);
        return;
    }
    cross_matrices_for_host(host, c, parameters(host, c));
    evaluate(host, c);
}

void vector_monitor(const double *p, std::int64_t n, const std::int64_t *idx, const double *mwn,
                    const SaftCall &shared) {
    static constexpr double kPure = 1.0;
    std::int64_t k = 0;  // run_vector_form visits the components in order
    run_vector_form(n, p, idx, shared.rq, shared.out, [&](double pk, std::int64_t i, const MonitorOutputs &one) {
        SaftCall call = shared;
        call.p = pk;
        call.z = &kPure;
        call.x = &kPure;
        call.n = 1;
        call.idx = &i;
        call.mwn = mwn + k++;
        call.out = one;
        monitor(call);
    });
}

}  // namespace keld::saft
