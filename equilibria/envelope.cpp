// The P-T envelope of a mixture of fixed composition on the model (see envelope.h).
#include <algorithm>
#include <cmath>
#include <string>

#include "keld/equilibria/envelope.h"
#include "keld/equilibria/pure_model.h"
#include "numerics.h"
#include "two_phase.h"

namespace keld::equilibria {
namespace {

using detail::format_number;
using detail::TwoPhasePoint;
using detail::TwoPhaseProblem;

struct PureConstants {
    double tc = 0.0, pc = 0.0, omega = 0.0;
};

// Critical point and acentric factor of each component on the model: the corresponding-states
// K values of the envelope's start.
bool pure_constants(const Model &m, std::vector<PureConstants> &out) {
    const std::size_t n = m.size();
    out.assign(n, {});
    for (std::size_t k = 0; k < n; ++k) {
        std::vector<double> e(n, 0.0);
        e[k] = 1.0;
        const PureCritical c = pseudo_critical_point(m, e);
        if (c.status != Status::converged) return false;
        out[k] = {c.t, c.p, 0.0};
        double rl = 0.0, rv = 0.0;
        const double t = 0.7 * c.t;
        for (double omega : {0.2, 0.0, 0.6}) {
            if (detail::pure_coexistence_start(m, k, t, c.t, c.p, omega, rl, rv) &&
                detail::pure_coexistence_in_mixture(m, k, t, rl, rv)) {
                std::vector<double> rho(n, 0.0);
                rho[k] = rl;
                detail::PhaseDerivatives l;
                detail::evaluate_phase(m, t, rho, l);
                out[k].omega = -std::log10(kGasConstant * t * l.p / c.p) - 1.0;
                break;
            }
        }
    }
    return true;
}

double wilson_k(const PureConstants &c, double t, double p) {
    return c.pc / p * std::exp(5.373 * (1.0 + c.omega) * (1.0 - c.tc / t));
}

// T at which sum z_i K_i^sign = 1 (sign -1 a dew point, +1 a bubble point) at P, by bisection in ln T.
double wilson_temperature(const std::vector<PureConstants> &c, const std::vector<double> &z, double p, double sign) {
    double lo = std::log(10.0), hi = std::log(5000.0);
    for (int it = 0; it < 100; ++it) {
        const double mid = 0.5 * (lo + hi), t = std::exp(mid);
        double s = 0.0;
        for (std::size_t i = 0; i < z.size(); ++i) s += z[i] * std::pow(wilson_k(c[i], t, p), sign);
        // The sum rises with T for a bubble point and falls for a dew point.
        if ((s > 1.0) == (sign > 0.0)) hi = mid;
        else lo = mid;
    }
    return std::exp(0.5 * (lo + hi));
}

// A converged point of the envelope at P = p_low: the dew point if it converges, else the bubble point.
bool start_point(const Model &m, const std::vector<double> &z, const std::vector<PureConstants> &c,
                 TwoPhaseProblem &pr, TwoPhasePoint &point) {
    const std::size_t n = z.size();
    for (double sign : {-1.0, 1.0}) {
        const double t = wilson_temperature(c, z, pr.p, sign);
        std::vector<double> w(n);
        double total = 0.0;
        for (std::size_t i = 0; i < n; ++i) total += w[i] = z[i] * std::pow(wilson_k(c[i], t, pr.p), sign);
        for (double &v : w) v /= total;
        const Phase feed_phase = sign < 0.0 ? Phase::vapour : Phase::liquid;
        const Phase other = sign < 0.0 ? Phase::liquid : Phase::vapour;
        const auto rho_feed = density(m, t, pr.p, z, feed_phase);
        const auto rho_other = density(m, t, pr.p, w, other);
        if (!rho_feed || !rho_other) continue;
        std::vector<double> x(pr.unknowns());
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = std::log(z[i] * *rho_feed);
            x[pr.index_ln_k(i)] = std::log(w[i] * *rho_other / (z[i] * *rho_feed));
        }
        x[pr.index_ln_t()] = std::log(t);
        if (detail::correct(pr, x, detail::kNoSpec, 0.0, point, 30)) return true;
    }
    return false;
}

EnvelopePoint envelope_point(const TwoPhasePoint &pt) {
    EnvelopePoint r;
    r.t = pt.t();
    r.p = pt.p();
    r.rho_feed = pt.one.rho_total();
    r.rho_incipient = pt.two.rho_total();
    for (double rho : pt.two.rho) r.incipient.push_back(rho / r.rho_incipient);
    r.bubble = r.rho_feed > r.rho_incipient;
    return r;
}

double dot(const std::vector<double> &a, const std::vector<double> &b) {
    double s = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
    return s;
}

// The rate of ln P (which_t false) or ln T (true) along the tangent.
double rate(const TwoPhaseProblem &pr, const TwoPhasePoint &pt, const std::vector<double> &tan, bool which_t) {
    return which_t ? tan[pr.index_ln_t()] : dot(detail::ln_pressure_gradient(pr, pt), tan);
}

// The point between a and b (tangents ta, tb) where the rate changes sign, by regula falsi
// (Illinois) on the unknown that moves most steadily over the bracket.
bool extremum(const TwoPhaseProblem &pr, TwoPhasePoint a, std::vector<double> ta, TwoPhasePoint b,
              std::vector<double> tb, bool which_t, TwoPhasePoint &out, std::vector<double> &tout) {
    int k = -1;
    double best = 0.0;
    for (std::size_t i = 0; i < pr.unknowns(); ++i) {
        if (which_t && i == pr.index_ln_t()) continue;
        const double steady = std::min(std::fabs(ta[i]), std::fabs(tb[i]));
        if (ta[i] * tb[i] > 0.0 && steady > best) {
            best = steady;
            k = static_cast<int>(i);
        }
    }
    if (k < 0) return false;
    const auto kk = static_cast<std::size_t>(k);
    double fa = rate(pr, a, ta, which_t), fb = rate(pr, b, tb, which_t);
    int side = 0;
    for (int it = 0; it < 40; ++it) {
        const double theta = fa / (fa - fb);
        std::vector<double> guess(pr.unknowns());
        for (std::size_t i = 0; i < guess.size(); ++i) guess[i] = a.x[i] + theta * (b.x[i] - a.x[i]);
        if (!detail::correct(pr, guess, k, guess[kk], out) || !detail::tangent(pr, out, ta, tout)) return false;
        const double f = rate(pr, out, tout, which_t);
        if (std::fabs(f) <= 1e-11 || std::fabs(b.x[kk] - a.x[kk]) <= 1e-13) return true;
        if ((f > 0.0) == (fa > 0.0)) {
            a = out;
            fa = f;
            if (side == 1) fb *= 0.5;
            side = 1;
        } else {
            b = out;
            fb = f;
            if (side == -1) fa *= 0.5;
            side = -1;
        }
    }
    return std::fabs(rate(pr, out, tout, which_t)) <= 1e-8;
}

}  // namespace

PhaseEnvelope phase_envelope(const Model &m, std::span<const double> z_in, const EnvelopeOptions &options) {
    PhaseEnvelope r;
    const std::size_t n = m.size();
    double total = 0.0;
    bool valid = z_in.size() == n && n >= 2 && std::isfinite(options.p_low) && options.p_low > 0.0;
    for (double v : z_in) {
        valid = valid && std::isfinite(v) && v > 0.0;
        total += v;
    }
    if (!valid) {
        r.status = Status::invalid_input;
        r.message = "an envelope needs a mixture of two or more components, one positive amount each, and p_low > 0";
        return r;
    }
    for (double v : z_in) r.z.push_back(v / total);
    std::vector<PureConstants> constants;
    if (!pure_constants(m, constants)) {
        r.status = Status::not_converged;
        r.message = "no critical point of a component on the model: no start for the envelope";
        return r;
    }
    TwoPhaseProblem pr;
    pr.model = &m;
    for (double v : r.z) pr.ln_feed.push_back(std::log(v));
    pr.fixed_p = true;
    pr.p = options.p_low;
    TwoPhasePoint point;
    if (!start_point(m, r.z, constants, pr, point)) {
        r.status = Status::not_converged;
        r.message = "neither the dew nor the bubble point at P = " + format_number(options.p_low) + " Pa converged";
        return r;
    }
    // Along the curve the pressure is free; the tangent points to rising pressure.
    std::vector<double> tan;
    pr.fixed_p = false;
    if (!detail::tangent(pr, point, detail::ln_pressure_gradient(pr, point), tan)) {
        r.status = Status::not_converged;
        r.message = "no tangent of the envelope at its start";
        return r;
    }
    r.points.push_back(envelope_point(point));
    double h = options.continuation.first_step;
    bool rising = true;
    while (r.points.size() < options.continuation.max_points) {
        const TwoPhasePoint previous = point;
        const std::vector<double> previous_tan = tan;
        if (!detail::advance(pr, point, tan, h, options.continuation.largest_step)) {
            r.status = Status::not_converged;
            r.message = "the envelope stopped at T = " + format_number(r.points.back().t) + " K, P = " +
                        format_number(r.points.back().p) + " Pa: no step converged";
            return r;
        }
        ++r.iterations;
        double cross = 0.0;
        for (std::size_t i = 0; i < n; ++i) cross += previous.x[pr.index_ln_k(i)] * point.x[pr.index_ln_k(i)];
        if (cross < 0.0 && !r.has_critical) {
            const std::size_t kk = pr.index_ln_k(detail::largest_component(
                std::span<const double>(previous.x).subspan(n, n)));
            const double theta = previous.x[kk] / (previous.x[kk] - point.x[kk]);
            const double t = std::exp(previous.x[pr.index_ln_t()] + theta * (point.x[pr.index_ln_t()] - previous.x[pr.index_ln_t()]));
            const double rho = 0.5 * ((1.0 - theta) * (previous.one.rho_total() + previous.two.rho_total()) +
                                      theta * (point.one.rho_total() + point.two.rho_total()));
            r.critical = mixture_critical_point(m, r.z, {t, 1.0 / rho});
            if (r.critical.status != Status::converged || std::fabs(r.critical.t / t - 1.0) > 0.02) {
                r.status = Status::not_converged;
                r.message = "the envelope crossed its critical point near T = " + format_number(t) +
                            " K but the criteria did not converge there" +
                            (r.critical.message.empty() ? "" : ": " + r.critical.message);
                return r;
            }
            EnvelopePoint c;
            c.t = r.critical.t;
            c.p = r.critical.p;
            c.rho_feed = c.rho_incipient = r.critical.rho;
            c.incipient = r.z;
            c.bubble = false;
            r.critical_index = r.points.size();
            r.points.push_back(c);
            r.has_critical = true;
        }
        for (bool which_t : {false, true}) {
            const bool had = which_t ? r.has_cricondentherm : r.has_cricondenbar;
            if (had || !(rate(pr, previous, previous_tan, which_t) > 0.0 && rate(pr, point, tan, which_t) <= 0.0))
                continue;
            TwoPhasePoint e;
            std::vector<double> te;
            if (!extremum(pr, previous, previous_tan, point, tan, which_t, e, te)) continue;
            if (which_t) {
                r.cricondentherm = envelope_point(e);
                r.has_cricondentherm = true;
            } else {
                r.cricondenbar = envelope_point(e);
                r.has_cricondenbar = true;
                r.cricondenbar_slope = rate(pr, e, te, false) / te[pr.index_ln_t()] * r.cricondenbar.p /
                                       r.cricondenbar.t;
            }
        }
        const double p = point.p();
        if (p > options.p_low) rising = rising && rate(pr, point, tan, false) > 0.0;
        if (!rising && p <= options.p_low) {
            // Back at the low pressure: the last point exactly there.
            pr.fixed_p = true;
            const double theta = (std::log(options.p_low) - std::log(previous.p())) / (std::log(p) - std::log(previous.p()));
            std::vector<double> guess(pr.unknowns());
            for (std::size_t i = 0; i < guess.size(); ++i) guess[i] = previous.x[i] + theta * (point.x[i] - previous.x[i]);
            TwoPhasePoint last;
            if (detail::correct(pr, guess, detail::kNoSpec, 0.0, last)) r.points.push_back(envelope_point(last));
            r.status = Status::converged;
            r.message = r.has_critical ? "traced through the critical point" : "traced; no critical point crossed";
            return r;
        }
        r.points.push_back(envelope_point(point));
    }
    r.status = Status::not_converged;
    r.message = "the envelope needed more than " + std::to_string(options.continuation.max_points) + " points";
    return r;
}

}  // namespace keld::equilibria
