// Pure-component saturation on the model (see saturation_model.h).
#include "saturation_model.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "numerics.h"

namespace keld::equilibria::detail {
namespace {

constexpr const char *kCriticalPointMessage = "the critical point of the model";

bool usable(const PureModel &pm) { return pm.model != nullptr && pm.critical.status == Status::converged; }

SaturationResult from_coexistence(const PureCoexistence &c) {
    SaturationResult r;
    r.status = Status::converged;
    r.solver = SaturationSolver::model;
    r.t = c.t;
    r.p = c.p;
    r.v_liquid = 1.0 / c.rho_liquid;
    r.v_vapour = 1.0 / c.rho_vapour;
    r.z_liquid = c.p * r.v_liquid / (kGasConstant * c.t);
    r.z_vapour = c.p * r.v_vapour / (kGasConstant * c.t);
    r.h_vaporisation = c.h_vaporisation;
    r.ln_phi = c.ln_phi;
    r.iterations = c.iterations;
    r.residual = c.residual;
    return r;
}

// Both phases are the critical fluid.
SaturationResult at_critical_point(const Model &m, const PureCritical &c) {
    SaturationResult r;
    r.status = Status::converged;
    r.solver = SaturationSolver::model;
    r.message = kCriticalPointMessage;
    r.t = c.t;
    r.p = c.p;
    r.v_liquid = r.v_vapour = 1.0 / c.rho;
    r.z_liquid = r.z_vapour = c.p / (c.rho * kGasConstant * c.t);
    r.h_vaporisation = 0.0;
    const double one = 1.0;
    r.ln_phi = properties(m, c.t, c.rho, {&one, 1}, {false, nullptr}).ln_phi[0];
    r.residual = c.residual;
    return r;
}

SaturationResult supercritical(const std::string &where, const std::string &limit) {
    SaturationResult r;
    r.status = Status::supercritical;
    r.solver = SaturationSolver::model;
    r.message = "no vapour-liquid coexistence at " + where + ": above the critical " + limit + " of the model";
    return r;
}

// A converged neighbouring point from the guess's volumes (at the guess's T
// when it gives one, else taken as at `t`).
bool start_of(const SaturationGuess &guess, double t, PureCoexistence &start) {
    if (!(guess.v_liquid > 0.0 && guess.v_vapour > guess.v_liquid && std::isfinite(guess.v_vapour))) return false;
    start.status = Status::converged;
    start.t = std::isfinite(guess.t) && guess.t > 0.0 ? guess.t : t;
    start.rho_liquid = 1.0 / guess.v_liquid;
    start.rho_vapour = 1.0 / guess.v_vapour;
    return true;
}

// Within this of T (relative), and away from the critical point, a
// neighbour's densities start Newton's method as they are: carried along the
// curve's exact tangent they save at most one Newton evaluation (two density
// slopes) at the cost of two derivative passes of second order in T, about
// four times as much. Farther away, or nearer the critical point, the tangent.
constexpr double kNearNeighbour = 0.02;
constexpr double kNearNeighbourBelowTc = 0.95;

void take_near_neighbour_as_is(const PureModel &pm, double t, PureCoexistence &start) {
    if (std::fabs(t / start.t - 1.0) <= kNearNeighbour && std::max(t, start.t) < kNearNeighbourBelowTc * pm.critical.t)
        start.t = t;
}

// Below this pressure the monitors' liquid roots resolve ln phi more coarsely
// than the model's coexistence (a liquid's ln phi amplifies its root's
// tolerance by dP/drho rho / P): the returned point is evaluated again
// through the monitor, and where the two roots there differ in ln f by more
// than 1e-12 the message says by how much.
constexpr double kMonitorCheckBelow = 1e4;  // Pa
constexpr double kMonitorAgreement = 1e-12;

void check_on_monitor(System &system, std::size_t k, SaturationResult &r) {
    if (!(r.status == Status::converged && r.p < kMonitorCheckBelow)) return;
    PhaseEvaluator &e = system.pure(k);
    const detail::CallCounter counter(system.session());
    const double x = 1.0;
    double ln_phi_l = not_a_number, ln_phi_v = not_a_number;
    const PhasePoint l = e.evaluate(r.t, r.p, &x, PhaseKind::liquid, &ln_phi_l);
    const PhasePoint v = e.evaluate(r.t, r.p, &x, PhaseKind::vapour, &ln_phi_v);
    r.evaluations = counter.calls();
    r.monitor_messages = system.session().take_messages();
    const double gap = std::fabs(ln_phi_l - ln_phi_v);
    if (!(l.root_found && v.root_found)) {
        r.message = "the monitor finds no liquid root at this pressure; the model's liquid is returned";
    } else if (!(gap <= kMonitorAgreement)) {
        r.message = "the monitor evaluated at this T and P resolves |ln f_L - ln f_V| only to " + format_number(gap) +
                    " (its liquid root at low pressure)";
    }
}

}  // namespace

std::optional<SaturationResult> model_saturation_pressure(System &system, std::size_t k, double t,
                                                          const SaturationGuess &guess) {
    const PureModel &pm = system.pure_model(k);
    if (!usable(pm)) return std::nullopt;
    if (t > pm.critical.t) {
        SaturationResult r = supercritical("T = " + format_number(t) + " K",
                                           "temperature (" + format_number(pm.critical.t) + " K)");
        r.t = t;
        return r;
    }
    if (t == pm.critical.t) return at_critical_point(*pm.model, pm.critical);
    PureCoexistence start;
    const bool started = start_of(guess, t, start);
    if (started) take_near_neighbour_as_is(pm, t, start);
    const PureCoexistence c = pure_coexistence(*pm.model, t, started ? &start : nullptr, &pm.critical);
    if (c.status != Status::converged) return std::nullopt;
    SaturationResult r = from_coexistence(c);
    check_on_monitor(system, k, r);
    return r;
}

std::optional<SaturationResult> model_saturation_temperature(System &system, std::size_t k, double p,
                                                             const SaturationGuess &guess) {
    const PureModel &pm = system.pure_model(k);
    if (!usable(pm)) return std::nullopt;
    if (p > pm.critical.p) {
        SaturationResult r = supercritical("P = " + format_number(p) + " Pa",
                                           "pressure (" + format_number(pm.critical.p) + " Pa)");
        r.p = p;
        return r;
    }
    if (p == pm.critical.p) return at_critical_point(*pm.model, pm.critical);
    PureCoexistence start;
    const bool started = start_of(guess, guess.t, start) && std::isfinite(guess.t);
    const PureCoexistence c = pure_coexistence_at_pressure(*pm.model, p, started ? &start : nullptr, &pm.critical);
    if (c.status != Status::converged) return std::nullopt;
    SaturationResult r = from_coexistence(c);
    check_on_monitor(system, k, r);
    return r;
}

std::optional<VapourPressureCurve> model_vapour_pressure_curve(System &system, std::size_t k, double t_from,
                                                               double t_to, int count) {
    const PureModel &pm = system.pure_model(k);
    if (!usable(pm) || t_from > pm.critical.t) return std::nullopt;
    VapourPressureCurve curve;
    curve.critical = {true, pm.critical.t, pm.critical.p, 1.0 / pm.critical.rho};
    if (std::isnan(t_to)) t_to = pm.critical.t;
    PureCoexistence last;
    for (int i = 0; i < count; ++i) {
        const double t = count == 1 ? t_from : t_from + (t_to - t_from) * i / (count - 1);
        if (std::fabs(t - pm.critical.t) <= 1e-12 * pm.critical.t) {
            // The last point of a curve to the critical point is that point (not a rounding of T_c).
            curve.points.push_back(at_critical_point(*pm.model, pm.critical));
            continue;
        }
        if (t > pm.critical.t) {
            curve.points.push_back(*model_saturation_pressure(system, k, t, {}));
            continue;
        }
        PureCoexistence c = pure_coexistence(*pm.model, t, last.status == Status::converged ? &last : nullptr,
                                             &pm.critical);
        if (c.status != Status::converged) {
            if (i == 0) return std::nullopt;
            // A point the model path misses comes from the monitors (with its own solver).
            curve.points.push_back(saturation_pressure(system, k, t));
            continue;
        }
        curve.points.push_back(from_coexistence(c));
        check_on_monitor(system, k, curve.points.back());
        last = c;
    }
    return curve;
}

}  // namespace keld::equilibria::detail
