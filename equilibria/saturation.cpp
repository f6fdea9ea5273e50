// Pure-component saturation (see saturation.h).
#include "keld/equilibria/saturation.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "low_pressure_liquid.h"
#include "numerics.h"
#include "parameters.h"
#include "saturation_model.h"

namespace keld::equilibria {
namespace {

using detail::Bracket;
using detail::format_number;
using Counter = detail::CallCounter;

constexpr double kTolerance = 1e-11;  // |ln f_L - ln f_V| at convergence
constexpr int kMaxIterations = 100;
constexpr int kMaxWithoutTwoRoots = 40;         // evaluations without two distinct roots before giving up
constexpr double kDistinctVolumes = 1e-7;       // relative: two roots are different roots
constexpr double kCollapsedBracket = 1e-11;     // width (in ln P or relative 1/T) of a closed bracket
constexpr double kLiquidLikeZ = 0.25;           // a root below this compressibility is a liquid at a probe
constexpr double kMaxPressure = 1e10;           // Pa: no saturation pressure of any model lies beyond
using detail::kInf;
const double kProbePressures[] = {1e5, 1e6};
constexpr double kScanLowestPressure = 1e-2, kScanHighestPressure = 1e9;  // Pa, the search for two roots

struct PurePhase {
    double ln_phi = not_a_number;
    PhasePoint point;
};

PurePhase call(PhaseEvaluator &e, double t, double p, PhaseKind kind) {
    const double x = 1.0;
    PurePhase r;
    r.point = e.evaluate(t, p, &x, kind, &r.ln_phi, Wanted{true, false});
    return r;
}

// The pure liquid at one temperature, carried to low pressures where the
// host's root search fails there (see low_pressure_liquid.h).
class PureLiquid {
  public:
    PureLiquid(PhaseEvaluator &e, double t) : liquid_(e, t, &one_, Wanted{true, false}) {}
    PurePhase at(double p) {
        PurePhase r;
        r.point = liquid_.at(p, &r.ln_phi);
        return r;
    }
    bool carried() const { return liquid_.carried(); }

  private:
    double one_ = 1.0;
    detail::LowPressureLiquid liquid_;
};

// Which root the host could not give at a state where the two calls did not
// return two distinct roots.
enum class Missing { none, liquid, vapour, both };

struct Pair {
    PurePhase liquid, vapour;
    bool distinct = false;
    Missing missing = Missing::none;
};

// Both roots at (T, P); when they are not distinct, the one root found is
// vapour-like when its volume exceeds v_mid, and then the liquid is missing.
Pair evaluate_pair(PureLiquid &liquid, PhaseEvaluator &e, double t, double p, double v_mid) {
    Pair pair;
    pair.liquid = liquid.at(p);
    pair.vapour = call(e, t, p, PhaseKind::vapour);
    const bool l = pair.liquid.point.root_found, v = pair.vapour.point.root_found;
    if (l && v && pair.vapour.point.v > pair.liquid.point.v * (1.0 + kDistinctVolumes)) {
        pair.distinct = true;
    } else if (!l && !v) {
        pair.missing = Missing::both;
    } else {
        const double volume = v ? pair.vapour.point.v : pair.liquid.point.v;
        pair.missing = volume > v_mid ? Missing::liquid : Missing::vapour;
    }
    return pair;
}

double mid_volume(double v_liquid, double v_vapour) {
    return v_liquid > 0.0 && v_vapour > 0.0 ? std::sqrt(v_liquid * v_vapour) : not_a_number;
}

void fill(SaturationResult &r, const Pair &pair, double t, double p, double residual) {
    r.status = Status::converged;
    r.t = t;
    r.p = p;
    r.v_liquid = pair.liquid.point.v;
    r.v_vapour = pair.vapour.point.v;
    r.z_liquid = pair.liquid.point.z;
    r.z_vapour = pair.vapour.point.z;
    r.h_vaporisation = pair.vapour.point.h - pair.liquid.point.h;
    r.ln_phi = pair.vapour.ln_phi;
    r.residual = residual;
}

SaturationResult invalid(const std::string &message, Status status = Status::invalid_input) {
    SaturationResult r;
    r.status = status;
    r.message = message;
    return r;
}

constexpr const char *kCarriedLiquid =
    "the monitor gives no liquid root at this pressure; the liquid was carried here from 1e4 Pa or above "
    "(quadratic in P)";

void finish(SaturationResult &r, System &system, const Counter &counter, bool carried) {
    r.evaluations = counter.calls();
    r.monitor_messages = system.session().take_messages();
    if (carried && r.status == Status::converged)
        r.message = r.message.empty() ? kCarriedLiquid : r.message + "; " + kCarriedLiquid;
}

// A first ln P: the fugacity of the liquid at a probe pressure, carried to
// lower pressures with its volume (Poynting), is the vapour pressure of an
// ideal vapour. NaN when no probe finds a liquid (near or above T_c).
double first_ln_pressure(PhaseEvaluator &e, double t, double rt, double &v_mid) {
    for (double probe : kProbePressures) {
        const PurePhase liquid = call(e, t, probe, PhaseKind::liquid);
        if (!liquid.point.root_found || !(liquid.point.z < kLiquidLikeZ)) continue;
        const double ln_f = std::log(probe) + liquid.ln_phi;
        double ln_p = ln_f;
        for (int i = 0; i < 3; ++i) ln_p = ln_f + liquid.point.v * (std::exp(ln_p) - probe) / rt;
        v_mid = mid_volume(liquid.point.v, rt / std::exp(ln_p));
        return ln_p;
    }
    return not_a_number;
}

SaturationResult solve_pressure(System &system, std::size_t k, double t, const SaturationGuess &guess) {
    PhaseEvaluator &e = system.pure(k);
    const Counter counter(system.session());
    const double rt = system.gas_constant() * t;
    PureLiquid liquid(e, t);
    double v_mid = mid_volume(guess.v_liquid, guess.v_vapour);
    double s =
        std::isfinite(guess.p) && guess.p > 0.0 ? std::log(guess.p) : first_ln_pressure(e, t, rt, v_mid);
    SaturationResult r;
    if (!std::isfinite(s) || !std::isfinite(v_mid)) {
        r.status = Status::supercritical;
        r.message = "no liquid root at 1e5 or 1e6 Pa to start from at T = " + format_number(t) + " K";
        finish(r, system, counter, false);
        return r;
    }

    Bracket bracket;
    int without_two_roots = 0;
    bool seen_two_roots = false;
    double best = kInf;
    Pair best_pair;
    double best_p = not_a_number;
    bool carried = false;  // the returned liquid was carried to its pressure
    detail::NoisyRoot noisy;
    for (int it = 1; it <= kMaxIterations; ++it) {
        r.iterations = it;
        const double p = std::exp(s);
        const Pair pair = evaluate_pair(liquid, e, t, p, v_mid);
        double newton = not_a_number;
        if (pair.distinct) {
            seen_two_roots = true;
            const double g = pair.liquid.ln_phi - pair.vapour.ln_phi;
            if (std::fabs(g) <= kTolerance) {
                fill(r, pair, t, p, std::fabs(g));
                carried = pair.liquid.point.carried;
                break;
            }
            if (std::fabs(g) < best) {
                best = std::fabs(g);
                best_pair = pair;
                best_p = p;
            }
            // Every state returned is one the monitors evaluated, so that
            // evaluating it again gives the same residual. Where their ln phi
            // is too coarse for the tolerance, the best state is the answer.
            noisy.add(s, g, pair.liquid.point.z - pair.vapour.point.z);
            if (noisy.resolved(best)) {
                fill(r, best_pair, t, best_p, best);
                carried = best_pair.liquid.point.carried;
                r.message = "converged to the resolution of the monitors' ln phi at this pressure (about " +
                            format_number(noisy.noise()) + ")";
                break;
            }
            v_mid = mid_volume(pair.liquid.point.v, pair.vapour.point.v);
            (g > 0.0 ? bracket.lo : bracket.hi) = s;
            newton = detail::model_step(g, pair.liquid.point.z, pair.vapour.point.z, p);
            if (!std::isfinite(newton)) newton = s - g / (pair.liquid.point.z - pair.vapour.point.z);
        } else if (pair.missing == Missing::both) {
            r.status = Status::root_failure;
            r.message = "neither density root found at T = " + format_number(t) +
                        " K, P = " + format_number(p) + " Pa";
            break;
        } else {
            // Below the liquid's spinodal pressure, or above the vapour's.
            (pair.missing == Missing::liquid ? bracket.lo : bracket.hi) = s;
            ++without_two_roots;
        }
        if (bracket.closed(kCollapsedBracket) || bracket.lo > std::log(kMaxPressure) ||
            (!seen_two_roots && without_two_roots >= kMaxWithoutTwoRoots)) {
            r.status = Status::supercritical;
            r.message = seen_two_roots
                            ? "the vapour-pressure iteration closed on the critical region at T = " +
                                  format_number(t) + " K"
                            : "no vapour-liquid coexistence found at T = " + format_number(t) + " K";
            break;
        }
        s = bracket.next(newton, s, 1.0);
    }
    if (r.status == Status::not_converged) {
        r.message = "vapour pressure not converged after " + std::to_string(r.iterations) +
                    " iterations; best |ln f_L - ln f_V| = " + format_number(best);
        r.residual = best;
    }
    finish(r, system, counter, carried);
    if (r.status != Status::converged) r.t = t;
    return r;
}

SaturationResult solve_temperature(System &system, std::size_t k, double p, double t0, double v_mid) {
    PhaseEvaluator &e = system.pure(k);
    const Counter counter(system.session());
    const double gas = system.gas_constant();
    double u = 1.0 / t0;
    SaturationResult r;
    Bracket bracket;  // on u = 1/T
    int without_two_roots = 0;
    bool seen_two_roots = false, carried = false;
    double best = kInf, best_t = not_a_number;
    Pair best_pair;
    detail::NoisyRoot noisy;  // see solve_pressure
    for (int it = 1; it <= kMaxIterations; ++it) {
        r.iterations = it;
        const double t = 1.0 / u;
        PureLiquid liquid(e, t);
        const Pair pair = evaluate_pair(liquid, e, t, p, v_mid);
        double newton = not_a_number;
        if (pair.distinct) {
            seen_two_roots = true;
            const double g = pair.liquid.ln_phi - pair.vapour.ln_phi;
            if (std::fabs(g) <= kTolerance) {
                fill(r, pair, t, p, std::fabs(g));
                carried = pair.liquid.point.carried;
                break;
            }
            const double dh = pair.vapour.point.h - pair.liquid.point.h;
            if (std::fabs(g) < best) {
                best = std::fabs(g);
                best_pair = pair;
                best_t = t;
            }
            noisy.add(u, g, -dh / gas);
            if (noisy.resolved(best)) {
                fill(r, best_pair, best_t, p, best);
                carried = best_pair.liquid.point.carried;
                r.message = "converged to the resolution of the monitors' ln phi at this pressure (about " +
                            format_number(noisy.noise()) + ")";
                break;
            }
            v_mid = mid_volume(pair.liquid.point.v, pair.vapour.point.v);
            // g > 0: the liquid is the less stable phase, T is above T_sat.
            (g > 0.0 ? bracket.lo : bracket.hi) = u;
            if (dh > 0.0) newton = u + g * gas / dh;
        } else if (pair.missing == Missing::both) {
            r.status = Status::root_failure;
            r.message = "neither density root found at T = " + format_number(t) +
                        " K, P = " + format_number(p) + " Pa";
            break;
        } else {
            (pair.missing == Missing::liquid ? bracket.lo : bracket.hi) = u;
            ++without_two_roots;
        }
        if (bracket.closed(kCollapsedBracket * u) ||
            (!seen_two_roots && without_two_roots >= kMaxWithoutTwoRoots)) {
            r.status = Status::supercritical;
            r.message = seen_two_roots
                            ? "the boiling-temperature iteration closed on the critical region at P = " +
                                  format_number(p) + " Pa"
                            : "no vapour-liquid coexistence at P = " + format_number(p) +
                                  " Pa: above the critical pressure of the model";
            break;
        }
        u = bracket.next(newton, u, 0.1 * u);
        if (!(u > 0.0)) u = 0.5 * bracket.lo;
    }
    if (r.status == Status::not_converged) {
        r.message = "boiling temperature not converged after " + std::to_string(r.iterations) +
                    " iterations; best |ln f_L - ln f_V| = " + format_number(best);
        r.residual = best;
    }
    finish(r, system, counter, carried);
    if (r.status != Status::converged) r.p = p;
    return r;
}

// d ln P_sat / dT from the Clausius-Clapeyron equation.
double clapeyron_slope(const SaturationResult &r, double gas) {
    return r.h_vaporisation / (gas * r.t * r.t * (r.z_vapour - r.z_liquid));
}

double density_gap_squared(const SaturationResult &r) {
    const double gap = 1.0 / r.v_liquid - 1.0 / r.v_vapour;
    return gap * gap;
}

// Continuation along the vapour-pressure curve: each step is predicted from
// the Clausius-Clapeyron slope and the last change of the phase
// compressibilities, and shortened while the corrector fails or the phases
// come together quickly (near the critical point).
class Tracer {
  public:
    Tracer(System &system, std::size_t k, const SaturationResult &start)
        : system_(&system), k_(k), last_(start), step_(std::max(1.0, 0.02 * start.t)) {}

    const SaturationResult &last() const { return last_; }
    const SaturationResult *previous() const { return has_previous_ ? &previous_ : nullptr; }

    // Moves to t_target (> last().t); false when the critical region stops
    // it. With `stop`, ends early (true) at the first point it accepts.
    bool advance_to(double t_target, const std::function<bool(const SaturationResult &)> &stop = {}) {
        while (last_.t < t_target) {
            if (stop && has_previous_ && stop(last_)) return true;
            const double room = t_target - last_.t;
            double h = std::min(step_, room);
            if (has_previous_) {
                // Keep the change of Z_V - Z_L per step below a quarter of its value.
                const double dz = last_.z_vapour - last_.z_liquid;
                const double rate =
                    std::fabs((last_.z_vapour - last_.z_liquid) - (previous_.z_vapour - previous_.z_liquid)) /
                    (last_.t - previous_.t);
                if (rate > 0.0) h = std::min(h, 0.25 * dz / rate);
            }
            if (h < kMinimumStep * last_.t) return false;
            SaturationGuess guess;
            guess.p = last_.p * std::exp(clapeyron_slope(last_, system_->gas_constant()) * h);
            guess.v_liquid = last_.v_liquid;
            guess.v_vapour = last_.v_vapour;
            if (has_previous_) {
                // Volumes along the curve, extrapolated in ln v.
                const double f = h / (last_.t - previous_.t);
                guess.v_liquid *= std::pow(last_.v_liquid / previous_.v_liquid, f);
                guess.v_vapour *= std::pow(last_.v_vapour / previous_.v_vapour, f);
            }
            const double t = h == room ? t_target : last_.t + h;
            SaturationResult next = solve_pressure(*system_, k_, t, guess);
            if (next.status == Status::converged && next.iterations <= kMaxCorrectorIterations) {
                previous_ = last_;
                has_previous_ = true;
                last_ = next;
                step_ = std::min(2.0 * h, kMaximumStepFraction * last_.t);
            } else {
                step_ = 0.25 * h;
            }
        }
        return true;
    }

    CriticalEstimate critical() const {
        CriticalEstimate c;
        if (!has_previous_) return c;
        const double y1 = density_gap_squared(previous_), y2 = density_gap_squared(last_);
        if (!(y1 > y2)) return c;
        const double dt = last_.t - previous_.t;
        c.t = last_.t + y2 * dt / (y1 - y2);
        c.p = last_.p * std::exp(clapeyron_slope(last_, system_->gas_constant()) * (c.t - last_.t));
        const double d1 = 0.5 * (1.0 / previous_.v_liquid + 1.0 / previous_.v_vapour);
        const double d2 = 0.5 * (1.0 / last_.v_liquid + 1.0 / last_.v_vapour);
        c.v = 1.0 / (d2 + (d2 - d1) / dt * (c.t - last_.t));
        c.found = std::isfinite(c.t) && std::isfinite(c.p) && c.v > 0.0;
        return c;
    }

    static constexpr double kMinimumStep = 1e-7;          // relative to T
    static constexpr double kMaximumStepFraction = 0.05;  // of T per step
    static constexpr int kMaxCorrectorIterations = 12;

  private:
    System *system_;
    std::size_t k_;
    SaturationResult last_, previous_;
    bool has_previous_ = false;
    double step_;
};

// Whether the pure component has a single density root at every pressure of
// a scan from kScanLowestPressure to kScanHighestPressure: no van der Waals
// loop, so no coexistence at t (t above the critical temperature).
bool single_root_everywhere(PhaseEvaluator &e, double t) {
    const double x = 1.0;
    double ln_phi;
    for (double p = kScanLowestPressure; p <= kScanHighestPressure; p *= 2.0) {
        const PhasePoint l = e.evaluate(t, p, &x, PhaseKind::liquid, &ln_phi);
        const PhasePoint v = e.evaluate(t, p, &x, PhaseKind::vapour, &ln_phi);
        if (l.root_found && v.root_found && v.v > l.v * (1.0 + kDistinctVolumes)) return false;
    }
    return true;
}

// A converged point at some temperature at or below t: t itself, or lower
// temperatures until one converges.
SaturationResult converged_below(System &system, std::size_t k, double t) {
    SaturationResult r;
    for (int attempt = 0; attempt < 8; ++attempt, t *= 0.85) {
        r = solve_pressure(system, k, t, {});
        if (r.status == Status::converged) break;
    }
    return r;
}

// Why component k has no vapour pressure to compute, or an empty result.
SaturationResult check_component(System &system, std::size_t k) {
    if (k >= system.size()) return invalid("component index out of range");
    if (!system.component(k).is_volatile)
        return invalid(system.component(k).id + " is not volatile (a polymer or declared so)");
    if (std::string m = detail::missing_parameter_message({&system.pure(k)}); !m.empty())
        return invalid(m, Status::missing_parameter);
    SaturationResult fine;
    fine.status = Status::converged;
    return fine;
}

}  // namespace

SaturationResult saturation_pressure(System &system, std::size_t k, double t, const SaturationGuess &guess) {
    if (SaturationResult fault = check_component(system, k); fault.status != Status::converged) return fault;
    if (!(std::isfinite(t) && t > 0.0)) return invalid("the temperature must be a positive number");
    if (std::optional<SaturationResult> on_model = detail::model_saturation_pressure(system, k, t, guess))
        return *on_model;
    SaturationResult r = solve_pressure(system, k, t, guess);
    if (r.status != Status::supercritical && r.status != Status::not_converged) return r;

    // Near the critical point a direct iteration may not find the narrow
    // two-root window: approach it along the curve from a lower temperature.
    // "No coexistence" is said only where the model shows it: the curve
    // traced up to its critical region below T, or one density root at every
    // pressure.
    const SaturationResult start = converged_below(system, k, 0.9 * t);
    if (start.status == Status::converged) {
        Tracer tracer(system, k, start);
        if (tracer.advance_to(t)) return tracer.last();
        const CriticalEstimate c = tracer.critical();
        if (c.found && c.t < t) {
            r = SaturationResult{};
            r.status = Status::supercritical;
            r.t = t;
            r.message = "no vapour-liquid coexistence at T = " + format_number(t) +
                        " K: above the critical temperature of the model (about " + format_number(c.t) + " K)";
            return r;
        }
        r.status = Status::not_converged;
        r.message = "the vapour-pressure curve was followed to T = " + format_number(tracer.last().t) +
                    " K but not to " + format_number(t) + " K";
        r.t = t;
        return r;
    }
    if (single_root_everywhere(system.pure(k), t)) {
        r.status = Status::supercritical;
        r.message = "no vapour-liquid coexistence at T = " + format_number(t) +
                    " K: the model has one density root at every pressure from " +
                    format_number(kScanLowestPressure) + " to " + format_number(kScanHighestPressure) + " Pa";
    } else {
        r.status = Status::not_converged;
        r.message = "no vapour pressure found at T = " + format_number(t) +
                    " K, although the model has a liquid and a vapour root there: " + r.message;
    }
    r.t = t;
    return r;
}

SaturationResult saturation_temperature(System &system, std::size_t k, double p,
                                        const SaturationGuess &guess) {
    if (SaturationResult fault = check_component(system, k); fault.status != Status::converged) return fault;
    if (!(std::isfinite(p) && p > 0.0)) return invalid("the pressure must be a positive number");
    if (std::optional<SaturationResult> on_model = detail::model_saturation_temperature(system, k, p, guess))
        return *on_model;
    double t0 = guess.t, v_mid = mid_volume(guess.v_liquid, guess.v_vapour);
    if (!(std::isfinite(t0) && t0 > 0.0)) {
        // From one point of the curve, jump along Clausius-Clapeyron.
        const SaturationResult a = converged_below(system, k, 300.0);
        if (a.status != Status::converged) {
            SaturationResult r = a;
            r.message = "no point of the vapour-pressure curve found to start from: " + a.message;
            return r;
        }
        const double slope = a.h_vaporisation / (system.gas_constant() * (a.z_vapour - a.z_liquid));
        t0 = 1.0 / (1.0 / a.t - std::log(p / a.p) / slope);
        if (!(t0 > 0.0) || !std::isfinite(t0)) t0 = a.t;
        v_mid = mid_volume(a.v_liquid, a.v_vapour);
    }
    if (!std::isfinite(v_mid)) {
        // A volume scale from the liquid at the starting temperature.
        PureLiquid liquid(system.pure(k), t0);
        v_mid = mid_volume(liquid.at(p).point.v, system.gas_constant() * t0 / p);
    }
    SaturationResult r = solve_temperature(system, k, p, t0, v_mid);
    if (r.status != Status::supercritical && r.status != Status::not_converged) return r;

    // Near the critical pressure: walk up the curve until it passes P, then
    // start between the two points that bracket it.
    const SaturationResult start = converged_below(system, k, 300.0);
    if (start.status != Status::converged || start.p >= p) {
        // Without the curve traced to its end, nothing shows P above the critical pressure.
        if (r.status == Status::supercritical) r.status = Status::not_converged;
        return r;
    }
    Tracer tracer(system, k, start);
    const bool passed = tracer.advance_to(std::numeric_limits<double>::max(),
                                          [p](const SaturationResult &point) { return point.p >= p; });
    const SaturationResult &hi = tracer.last();
    const SaturationResult *lo = tracer.previous();
    if (!passed || lo == nullptr || hi.p < p) {
        const CriticalEstimate c = tracer.critical();
        r = SaturationResult{};
        r.p = p;
        if (c.found && c.p < p) {
            r.status = Status::supercritical;
            r.message = "no vapour-liquid coexistence at P = " + format_number(p) +
                        " Pa: above the critical pressure of the model (about " + format_number(c.p) + " Pa)";
        } else {
            r.status = Status::not_converged;
            r.message = "the vapour-pressure curve was followed to P = " + format_number(hi.p) + " Pa but not to " +
                        format_number(p) + " Pa";
        }
        return r;
    }
    const double f = std::log(p / lo->p) / std::log(hi.p / lo->p);
    const double u = 1.0 / lo->t + f * (1.0 / hi.t - 1.0 / lo->t);
    return solve_temperature(
        system, k, p, 1.0 / u,
        mid_volume(std::sqrt(lo->v_liquid * hi.v_liquid), std::sqrt(lo->v_vapour * hi.v_vapour)));
}

VapourPressureCurve vapour_pressure_curve(System &system, std::size_t k, double t_from, double t_to,
                                          int count) {
    VapourPressureCurve curve;
    if (SaturationResult fault = check_component(system, k); fault.status != Status::converged) {
        curve.points.push_back(fault);
        return curve;
    }
    const bool to_critical = std::isnan(t_to);
    if (!(t_from > 0.0) || count < 1 || (!to_critical && !(t_to >= t_from))) {
        curve.points.push_back(invalid("the curve needs 0 < FROM <= TO and at least one point"));
        return curve;
    }
    if (std::optional<VapourPressureCurve> on_model =
            detail::model_vapour_pressure_curve(system, k, t_from, t_to, count)) {
        on_model->critical_solved = true;
        return *on_model;
    }
    SaturationResult first = saturation_pressure(system, k, t_from);
    if (to_critical) {
        if (first.status != Status::converged) {
            curve.points.push_back(first);
            return curve;
        }
        // Trace to the critical region first, then place the points.
        Tracer tracer(system, k, first);
        tracer.advance_to(std::numeric_limits<double>::max());
        curve.critical = tracer.critical();
        t_to = tracer.last().t;
    }
    Tracer tracer(system, k, first);
    bool alive = first.status == Status::converged;
    for (int i = 0; i < count; ++i) {
        const double t = count == 1 ? t_from : t_from + (t_to - t_from) * i / (count - 1);
        if (i == 0) {
            curve.points.push_back(first);
            continue;
        }
        if (alive && tracer.advance_to(t)) {
            curve.points.push_back(tracer.last());
            continue;
        }
        if (alive) {
            alive = false;
            if (!curve.critical.found) curve.critical = tracer.critical();
        }
        if (tracer.last().status == Status::converged && tracer.last().t < t && curve.critical.found &&
            t > curve.critical.t) {
            SaturationResult r;
            r.status = Status::supercritical;
            r.t = t;
            r.message = "above the critical temperature of the model (about " +
                        format_number(curve.critical.t) + " K)";
            curve.points.push_back(r);
        } else {
            curve.points.push_back(saturation_pressure(system, k, t));
            if (curve.points.back().status == Status::converged) {
                tracer = Tracer(system, k, curve.points.back());
                alive = true;
            }
        }
    }
    return curve;
}

}  // namespace keld::equilibria
