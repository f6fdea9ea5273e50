// P-x-y isotherms and T-x-y isobars of a binary on the model, traced to their critical points (see
// envelope.h).
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

constexpr double kDilute = 1e-5;  // the added component's fraction in the first traced liquid

// What is held: T (isotherm) or P (isobar), and its value.
struct Hold {
    bool temperature = true;
    double value = 0.0;
};

TieLine tie_line(const TwoPhasePoint &pt) {
    const bool first_is_liquid = pt.one.rho_total() >= pt.two.rho_total();
    const detail::PhaseDerivatives &l = first_is_liquid ? pt.one : pt.two;
    const detail::PhaseDerivatives &v = first_is_liquid ? pt.two : pt.one;
    TieLine r;
    r.t = pt.t();
    r.p = pt.p();
    r.rho_liquid = l.rho_total();
    r.rho_vapour = v.rho_total();
    for (double rho : l.rho) r.x.push_back(rho / r.rho_liquid);
    for (double rho : v.rho) r.y.push_back(rho / r.rho_vapour);
    return r;
}

// Pure coexistence of component k at T from corresponding-states starts.
bool pure_at_temperature(const Model &m, std::size_t k, double t, const PureCritical &c, double &rho_l,
                         double &rho_v) {
    for (double omega : {0.2, 0.0, 0.5, 1.0}) {
        if (detail::pure_coexistence_start(m, k, t, c.t, c.p, omega, rho_l, rho_v) &&
            detail::pure_coexistence_in_mixture(m, k, t, rho_l, rho_v))
            return true;
    }
    return false;
}

double pure_pressure(const Model &m, std::size_t k, double t, double rho_l) {
    std::vector<double> rho(m.size(), 0.0);
    rho[k] = rho_l;
    detail::PhaseDerivatives l;
    detail::evaluate_phase(m, t, rho, l);
    return kGasConstant * t * l.p;
}

// The boiling temperature of component k at P: the secant method in 1/T on ln P_sat, which is
// nearly linear there (Clausius-Clapeyron).
bool pure_at_pressure(const Model &m, std::size_t k, double p, const PureCritical &c, double &t, double &rho_l,
                      double &rho_v) {
    if (!(p < c.p)) return false;
    const double guess = c.t / (1.0 - std::log10(p / c.p) / (7.0 / 3.0 * 1.2));
    auto f = [&](double tt, double &rl, double &rv) {
        if (!(tt < c.t) || !pure_at_temperature(m, k, tt, c, rl, rv)) return not_a_number;
        return std::log(pure_pressure(m, k, tt, rl) / p);
    };
    double ta = std::min(guess, 0.98 * c.t), rla = 0, rva = 0, fa = f(ta, rla, rva);
    double tb = 0.99 * ta, rlb = 0, rvb = 0, fb = f(tb, rlb, rvb);
    for (int it = 0; it < 40 && std::isfinite(fa) && std::isfinite(fb); ++it) {
        if (std::fabs(fb) <= 1e-13) {
            t = tb;
            rho_l = rlb;
            rho_v = rvb;
            return true;
        }
        if (fb == fa) break;
        const double ub = 1.0 / tb, ua = 1.0 / ta;
        double un = ub - fb * (ub - ua) / (fb - fa);
        un = std::clamp(un, 0.7 * ub, 1.3 * ub);
        ta = tb;
        fa = fb;
        tb = std::min(1.0 / un, 0.5 * (tb + c.t));
        fb = f(tb, rlb, rvb);
    }
    return false;
}

// The mixture's critical point at the held T (or P): the composition whose critical temperature
// (pressure) is the held one, by the secant method from the crossing's estimate, each critical point
// started from the previous one.
MixtureCritical critical_at(const Model &m, const Hold &hold, double x_added, std::size_t added, double t,
                            double v) {
    auto solve = [&](double x1, MixtureCritical &c) {
        std::vector<double> x(2);
        x[added] = x1;
        x[1 - added] = 1.0 - x1;
        c = mixture_critical_point(m, x, {t, v});
        if (c.status != Status::converged) return not_a_number;
        t = c.t;
        v = c.v;
        return hold.temperature ? c.t / hold.value - 1.0 : std::log(c.p / hold.value);
    };
    MixtureCritical a, b;
    double xa = x_added, fa = solve(xa, a);
    double xb = std::min(x_added + 1e-4, 0.5 * (x_added + 1.0)), fb = solve(xb, b);
    for (int it = 0; it < 40 && std::isfinite(fa) && std::isfinite(fb); ++it) {
        if (std::fabs(fb) <= 1e-11) return b;
        if (fb == fa) break;
        const double xn = std::clamp(xb - fb * (xb - xa) / (fb - fa), 0.5 * xb, 0.5 * (xb + 1.0));
        xa = xb;
        fa = fb;
        a = b;
        xb = xn;
        fb = solve(xb, b);
    }
    MixtureCritical failed;
    failed.status = Status::not_converged;
    failed.message = std::string("the critical point at ") + (hold.temperature ? "T = " : "P = ") +
                     format_number(hold.value) + (hold.temperature ? " K" : " Pa") + " was not found near x = " +
                     format_number(x_added);
    return failed;
}

// The pure component k's coexistence at the held T or P; false where it has none.
bool pure_end(const Model &m, std::size_t k, const Hold &hold, const PureCritical &c, TieLine &out) {
    double t = hold.value, rl = 0.0, rv = 0.0;
    const bool ok = hold.temperature ? t < c.t && pure_at_temperature(m, k, t, c, rl, rv)
                                     : pure_at_pressure(m, k, hold.value, c, t, rl, rv);
    if (!ok) return false;
    out.t = t;
    out.p = hold.temperature ? pure_pressure(m, k, t, rl) : hold.value;
    out.rho_liquid = rl;
    out.rho_vapour = rv;
    out.x.assign(2, 0.0);
    out.x[k] = 1.0;
    out.y = out.x;
    return true;
}

double ln_k_dot(const TwoPhaseProblem &pr, const TwoPhasePoint &a, const TwoPhasePoint &b) {
    double s = 0.0;
    for (std::size_t i = 0; i < pr.components(); ++i) s += a.x[pr.index_ln_k(i)] * b.x[pr.index_ln_k(i)];
    return s;
}

void trace(const Model &m, const Hold &hold, const ContinuationOptions &options, BinaryCurve &r) {
    const char *held = hold.temperature ? "T" : "P";
    if (m.size() != 2 || !(std::isfinite(hold.value) && hold.value > 0.0)) {
        r.status = Status::invalid_input;
        r.message = m.size() != 2 ? "a diagram of tie lines needs a model of two components"
                                  : std::string(held) + " must be a positive number";
        return;
    }
    PureCritical crit[2];
    for (std::size_t k = 0; k < 2; ++k) {
        std::vector<double> e(2, 0.0);
        e[k] = 1.0;
        crit[k] = pseudo_critical_point(m, e);
        if (crit[k].status != Status::converged) {
            r.status = Status::not_converged;
            r.message = "no critical point of " + m.components()[k].name + ": " + crit[k].message;
            return;
        }
    }
    // The start: the pure component that coexists at the held value, the one with the higher T_c first.
    const std::size_t order[2] = {crit[0].t >= crit[1].t ? 0u : 1u, crit[0].t >= crit[1].t ? 1u : 0u};
    const auto below = [&](std::size_t k) { return hold.value < (hold.temperature ? crit[k].t : crit[k].p); };
    if (!below(order[0]) && !below(order[1])) {
        r.status = Status::supercritical;
        r.message = std::string("both components are above their critical ") +
                    (hold.temperature ? "temperatures at T = " + format_number(hold.value) + " K"
                                      : "pressures at P = " + format_number(hold.value) + " Pa");
        return;
    }
    const std::size_t start = below(order[0]) ? order[0] : order[1], added = 1 - start;
    TieLine pure;
    if (!pure_end(m, start, hold, crit[start], pure)) {
        r.status = Status::not_converged;
        r.message = "no coexistence of the pure component " + m.components()[start].name + " found at " + held +
                    " = " + format_number(hold.value);
        return;
    }
    r.points.push_back(pure);
    detail::PhaseDerivatives pure_l, pure_v;
    std::vector<double> rl(2, 0.0), rv(2, 0.0);
    rl[start] = pure.rho_liquid;
    rv[start] = pure.rho_vapour;
    detail::evaluate_phase(m, pure.t, rl, pure_l);
    detail::evaluate_phase(m, pure.t, rv, pure_v);

    // The first mixture: the added component dilute in the liquid, its K from infinite dilution in
    // both pure phases.
    TwoPhaseProblem pr;
    pr.model = &m;
    pr.fixed_t = hold.temperature;
    pr.t = hold.value;
    pr.fixed_p = !hold.temperature;
    pr.p = hold.value;
    std::vector<double> x0(pr.unknowns());
    x0[added] = std::log(kDilute * pure.rho_liquid);
    x0[start] = std::log((1.0 - kDilute) * pure.rho_liquid);
    x0[pr.index_ln_k(added)] = pure_l.g[added] - pure_v.g[added];
    x0[pr.index_ln_k(start)] = std::log(pure.rho_vapour / pure.rho_liquid);
    x0[pr.index_ln_t()] = std::log(pure.t);
    TwoPhasePoint point;
    std::vector<double> tan, orient(pr.unknowns(), 0.0);
    orient[added] = 1.0;
    if (!detail::correct(pr, x0, static_cast<int>(added), x0[added], point) ||
        !detail::tangent(pr, point, orient, tan)) {
        r.status = Status::not_converged;
        r.message = "the dilute start of the curve did not converge";
        return;
    }
    r.points.push_back(tie_line(point));
    double h = options.first_step;
    while (r.points.size() < options.max_points) {
        const TwoPhasePoint previous = point;
        if (!detail::advance(pr, point, tan, h, options.largest_step)) {
            r.status = Status::not_converged;
            r.message = "the curve stopped at T = " + format_number(r.points.back().t) + " K, P = " +
                        format_number(r.points.back().p) + " Pa: no step converged";
            return;
        }
        ++r.iterations;
        if (ln_k_dot(pr, previous, point) < 0.0) {
            // Crossed the critical point between previous and point: the estimate at ln K = 0 along
            // the segment, the composition and density midway between the phases.
            const std::size_t kk = pr.index_ln_k(added);
            const double a = previous.x[kk], b = point.x[kk], theta = a / (a - b);
            double rho = 0.0, share = 0.0;
            for (const TwoPhasePoint *p : {&previous, static_cast<const TwoPhasePoint *>(&point)}) {
                const double w = p == &previous ? 1.0 - theta : theta;
                const double r1 = p->one.rho_total(), r2 = p->two.rho_total();
                rho += w * 0.5 * (r1 + r2);
                share += w * 0.5 * (p->one.rho[added] / r1 + p->two.rho[added] / r2);
            }
            const double t = (1.0 - theta) * previous.t() + theta * point.t();
            r.critical = critical_at(m, hold, share, added, t, 1.0 / rho);
            if (r.critical.status != Status::converged) {
                r.status = Status::not_converged;
                r.message = r.critical.message;
                return;
            }
            // Tie lines between the last traced one and the critical point, on the chord from it.
            std::vector<double> xc(pr.unknowns(), 0.0);
            for (std::size_t i = 0; i < 2; ++i) xc[i] = std::log(r.critical.x[i] * r.critical.rho);
            xc[pr.index_ln_t()] = std::log(r.critical.t);
            for (double f : {0.5, 0.25, 0.1, 0.03}) {
                std::vector<double> guess(pr.unknowns());
                for (std::size_t i = 0; i < guess.size(); ++i) guess[i] = xc[i] + f * (previous.x[i] - xc[i]);
                TwoPhasePoint near;
                if (detail::correct(pr, guess, static_cast<int>(kk), f * a, near)) r.points.push_back(tie_line(near));
            }
            TieLine end;
            end.t = r.critical.t;
            end.p = r.critical.p;
            end.x = r.critical.x;
            end.y = r.critical.x;
            end.rho_liquid = end.rho_vapour = r.critical.rho;
            r.points.push_back(end);
            r.ends_at_critical = true;
            r.status = Status::converged;
            r.message = "traced to the critical point";
            return;
        }
        const double start_left = std::min(point.one.rho[start] / point.one.rho_total(),
                                           point.two.rho[start] / point.two.rho_total());
        if (start_left < kDilute) {
            // Both components coexist at the held value: the curve ends at the other one's.
            TieLine other;
            if (below(added) && pure_end(m, added, hold, crit[added], other)) {
                r.points.push_back(other);
                r.status = Status::converged;
                r.message = "traced to the second pure component";
            } else {
                r.status = Status::not_converged;
                r.message = "the curve reached " + m.components()[added].name + " without its coexistence";
            }
            return;
        }
        r.points.push_back(tie_line(point));
    }
    r.status = Status::not_converged;
    r.message = "the curve needed more than " + std::to_string(options.max_points) + " points";
}

}  // namespace

PxyIsotherm pxy_isotherm(const Model &m, double t, const ContinuationOptions &options) {
    PxyIsotherm r;
    r.t = t;
    trace(m, {true, t}, options, r);
    return r;
}

TxyIsobar txy_isobar(const Model &m, double p, const ContinuationOptions &options) {
    TxyIsobar r;
    r.p = p;
    trace(m, {false, p}, options, r);
    return r;
}

}  // namespace keld::equilibria
