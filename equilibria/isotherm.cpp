// The P-x-y isotherm of a binary on the model, traced to its critical point (see envelope.h).
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

constexpr double kDilute = 1e-5;  // the light component's fraction in the first traced liquid

PxyPoint tie_line(const TwoPhasePoint &pt) {
    const bool first_is_liquid = pt.one.rho_total() >= pt.two.rho_total();
    const detail::PhaseDerivatives &l = first_is_liquid ? pt.one : pt.two;
    const detail::PhaseDerivatives &v = first_is_liquid ? pt.two : pt.one;
    PxyPoint r;
    r.p = pt.p();
    r.rho_liquid = l.rho_total();
    r.rho_vapour = v.rho_total();
    for (double rho : l.rho) r.x.push_back(rho / r.rho_liquid);
    for (double rho : v.rho) r.y.push_back(rho / r.rho_vapour);
    return r;
}

PxyPoint pure_tie_line(std::size_t k, double t, double rho_l, double rho_v, double p) {
    PxyPoint r;
    r.p = p;
    r.rho_liquid = rho_l;
    r.rho_vapour = rho_v;
    r.x.assign(2, 0.0);
    r.x[k] = 1.0;
    r.y = r.x;
    (void)t;
    return r;
}

// Pure coexistence of component k at T from corresponding-states starts.
bool pure_point(const Model &m, std::size_t k, double t, const PureCritical &c, double &rho_l, double &rho_v) {
    for (double omega : {0.2, 0.0, 0.5, 1.0}) {
        if (detail::pure_coexistence_start(m, k, t, c.t, c.p, omega, rho_l, rho_v) &&
            detail::pure_coexistence_in_mixture(m, k, t, rho_l, rho_v))
            return true;
    }
    return false;
}

double ln_k_dot(const TwoPhaseProblem &pr, const TwoPhasePoint &a, const TwoPhasePoint &b) {
    double s = 0.0;
    for (std::size_t i = 0; i < pr.components(); ++i) s += a.x[pr.index_ln_k(i)] * b.x[pr.index_ln_k(i)];
    return s;
}

// The mixture's critical point at T: the composition whose critical temperature is T, by the secant
// method from the crossing's estimate, each critical point started from the previous one.
MixtureCritical critical_at_temperature(const Model &m, double t, double x_light, std::size_t light, double v) {
    auto solve = [&](double x1, MixtureCritical &c) {
        std::vector<double> x(2);
        x[light] = x1;
        x[1 - light] = 1.0 - x1;
        c = mixture_critical_point(m, x, {t, v});
        if (c.status == Status::converged) v = c.v;
        return c.status == Status::converged ? c.t - t : not_a_number;
    };
    MixtureCritical a, b;
    double xa = x_light, fa = solve(xa, a);
    double xb = std::min(x_light + 1e-4, 0.5 * (x_light + 1.0)), fb = solve(xb, b);
    for (int it = 0; it < 40 && std::isfinite(fa) && std::isfinite(fb); ++it) {
        if (std::fabs(fb) <= 1e-10 * t) return b;
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
    failed.message = "the critical point at T = " + format_number(t) + " K was not found near x = " +
                     format_number(x_light);
    return failed;
}

}  // namespace

PxyIsotherm pxy_isotherm(const Model &m, double t, const ContinuationOptions &options) {
    PxyIsotherm r;
    r.t = t;
    if (m.size() != 2 || !(std::isfinite(t) && t > 0.0)) {
        r.status = Status::invalid_input;
        r.message = m.size() != 2 ? "a P-x-y isotherm needs a model of two components" : "T must be a positive number";
        return r;
    }
    PureCritical crit[2];
    for (std::size_t k = 0; k < 2; ++k) {
        std::vector<double> e(2, 0.0);
        e[k] = 1.0;
        crit[k] = pseudo_critical_point(m, e);
        if (crit[k].status != Status::converged) {
            r.status = Status::not_converged;
            r.message = "no critical point of component " + std::to_string(k + 1) + ": " + crit[k].message;
            return r;
        }
    }
    const std::size_t heavy = crit[0].t >= crit[1].t ? 0 : 1, light = 1 - heavy;
    if (!(t < crit[heavy].t)) {
        r.status = Status::supercritical;
        r.message = "both components are above their critical temperatures at T = " + format_number(t) + " K";
        return r;
    }
    double rho_l = 0.0, rho_v = 0.0;
    if (!pure_point(m, heavy, t, crit[heavy], rho_l, rho_v)) {
        r.status = Status::not_converged;
        r.message = "no coexistence of the pure component " + m.components()[heavy].name + " at T = " +
                    format_number(t) + " K";
        return r;
    }
    detail::PhaseDerivatives pure_l, pure_v;
    std::vector<double> rl(2, 0.0), rv(2, 0.0);
    rl[heavy] = rho_l;
    rv[heavy] = rho_v;
    detail::evaluate_phase(m, t, rl, pure_l);
    detail::evaluate_phase(m, t, rv, pure_v);
    r.points.push_back(pure_tie_line(heavy, t, rho_l, rho_v, kGasConstant * t * pure_l.p));

    // The first mixture: the light component dilute in the liquid, its K from the infinite dilution
    // of both pure phases.
    TwoPhaseProblem pr;
    pr.model = &m;
    pr.fixed_t = true;
    pr.t = t;
    std::vector<double> x0(pr.unknowns());
    x0[light] = std::log(kDilute * rho_l);
    x0[heavy] = std::log((1.0 - kDilute) * rho_l);
    x0[pr.index_ln_k(light)] = pure_l.g[light] - pure_v.g[light];
    x0[pr.index_ln_k(heavy)] = std::log(rho_v / rho_l);
    x0[pr.index_ln_t()] = std::log(t);
    TwoPhasePoint point;
    std::vector<double> tan, orient(pr.unknowns(), 0.0);
    orient[light] = 1.0;
    if (!detail::correct(pr, x0, static_cast<int>(light), x0[light], point) ||
        !detail::tangent(pr, point, orient, tan)) {
        r.status = Status::not_converged;
        r.message = "the dilute start of the isotherm did not converge";
        return r;
    }
    r.points.push_back(tie_line(point));
    double h = options.first_step;
    int evaluations = 0;
    while (r.points.size() < options.max_points) {
        TwoPhasePoint previous = point;
        if (!detail::advance(pr, point, tan, h, options.largest_step)) {
            r.status = Status::not_converged;
            r.message = "the isotherm stopped at P = " + format_number(r.points.back().p) + " Pa: no step converged";
            return r;
        }
        ++evaluations;
        if (ln_k_dot(pr, previous, point) < 0.0) {
            // Crossed the critical point between previous and point: the estimate at ln K = 0 along
            // the segment, the composition and density midway between the phases.
            const std::size_t kk = pr.index_ln_k(light);
            const double a = previous.x[kk], b = point.x[kk], theta = a / (a - b);
            double rho_sum = 0.0, light_sum = 0.0;
            for (const TwoPhasePoint *p : {&previous, &point}) {
                const double w = p == &previous ? 1.0 - theta : theta;
                const double r1 = p->one.rho_total(), r2 = p->two.rho_total();
                rho_sum += w * 0.5 * (r1 + r2);
                light_sum += w * 0.5 * (p->one.rho[light] / r1 + p->two.rho[light] / r2);
            }
            r.critical = critical_at_temperature(m, t, light_sum, light, 1.0 / rho_sum);
            if (r.critical.status != Status::converged) {
                r.status = Status::not_converged;
                r.message = r.critical.message;
                return r;
            }
            // Tie lines between the last traced one and the critical point, on the chord from it.
            std::vector<double> xc(pr.unknowns(), 0.0);
            for (std::size_t i = 0; i < 2; ++i) xc[i] = std::log(r.critical.x[i] * r.critical.rho);
            xc[pr.index_ln_t()] = std::log(t);
            for (double f : {0.5, 0.25, 0.1, 0.03}) {
                std::vector<double> guess(pr.unknowns());
                for (std::size_t i = 0; i < guess.size(); ++i) guess[i] = xc[i] + f * (previous.x[i] - xc[i]);
                TwoPhasePoint near;
                if (detail::correct(pr, guess, static_cast<int>(kk), f * a, near)) r.points.push_back(tie_line(near));
            }
            PxyPoint end;
            end.p = r.critical.p;
            end.x = r.critical.x;
            end.y = r.critical.x;
            end.rho_liquid = end.rho_vapour = r.critical.rho;
            r.points.push_back(end);
            r.ends_at_critical = true;
            r.status = Status::converged;
            r.iterations = evaluations;
            r.message = "traced to the critical point";
            return r;
        }
        const double heavy_left = std::min(point.one.rho[heavy] / point.one.rho_total(),
                                           point.two.rho[heavy] / point.two.rho_total());
        if (heavy_left < kDilute) {
            // Both components subcritical: the curve ends at the light component's coexistence.
            if (t < crit[light].t && pure_point(m, light, t, crit[light], rho_l, rho_v)) {
                std::vector<double> e(2, 0.0);
                e[light] = rho_l;
                detail::PhaseDerivatives pl;
                detail::evaluate_phase(m, t, e, pl);
                r.points.push_back(pure_tie_line(light, t, rho_l, rho_v, kGasConstant * t * pl.p));
                r.status = Status::converged;
                r.message = "traced to the second pure component";
            } else {
                r.status = Status::not_converged;
                r.message = "the isotherm reached the light component without its coexistence";
            }
            r.iterations = evaluations;
            return r;
        }
        r.points.push_back(tie_line(point));
    }
    r.status = Status::not_converged;
    r.message = "the isotherm needed more than " + std::to_string(options.max_points) + " points";
    return r;
}

}  // namespace keld::equilibria
