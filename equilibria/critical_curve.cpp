// The critical curve of a binary by continuation in composition (see critical_curve.h).
#include "keld/equilibria/critical_curve.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "keld/equilibria/pure_model.h"
#include "numerics.h"
#include "tangent_plane.h"

namespace keld::equilibria {
namespace {

using detail::format_number;

// A pure end of the curve: the critical point of the binary held at x = (x1, 1 - x1).
bool pure_end(const Model &m, double x1, CriticalCurvePoint &end, std::string &why) {
    const double x[2] = {x1, 1.0 - x1};
    const PureCritical c = pseudo_critical_point(m, x);
    if (c.status != Status::converged || !(c.p > 0.0)) {
        why = "no critical point of pure component " + std::string(x1 > 0.5 ? "1" : "2") + ": " + c.message;
        return false;
    }
    end = {c.t, c.p, 1.0 / c.rho, x1};
    return true;
}

// The start at x1 from the last two points (linear in T and ln V along x1),
// or the last point alone.
CriticalStart predicted(const std::vector<CriticalCurvePoint> &points, double x1) {
    const CriticalCurvePoint &b = points.back();
    if (points.size() < 2) return {b.t, b.v};
    const CriticalCurvePoint &a = points[points.size() - 2];
    const double s = (x1 - b.x1) / (b.x1 - a.x1);
    return {b.t + s * (b.t - a.t), std::exp(std::log(b.v) + s * std::log(b.v / a.v))};
}

// A step is taken only where T and V move little, so that the solver stays
// on this curve (the criteria have other solutions, liquid-liquid ones).
bool small_change(const CriticalCurvePoint &from, double t, double v, double limit) {
    return std::fabs(t / from.t - 1.0) <= limit && std::fabs(std::log(v / from.v)) <= limit;
}

// The tangent-plane test of the critical phase at its (T, P, x): the phase in its own state (T, V),
// ln phi at P, against a vapour and liquids rich in either component. The pure ends are stable.
void test_stability(const Model &m, CriticalCurvePoint &pt, int &evaluations) {
    if (!(pt.x1 > 0.0 && pt.x1 < 1.0)) {
        pt.tangent_plane_distance = 0.0;
        return;
    }
    const std::vector<double> x{pt.x1, 1.0 - pt.x1};
    const Properties pr = properties(m, pt.t, 1.0 / pt.v, x, {false, nullptr});
    std::vector<double> ln_phi = pr.ln_phi;
    for (double &v : ln_phi) v += std::log(pr.p / pt.p);
    detail::TrialSpace space{&m, pt.t, pt.p, x, {false, false}};
    const auto trial = detail::most_unstable(space, {false, &x, &ln_phi}, {}, evaluations);
    if (!trial) return;
    pt.tangent_plane_distance = trial->tm;
    pt.stable = !(trial->tm < detail::kUnstable);
}

// Tests every point and says in `message` how many are unstable.
void test_stability(const Model &m, CriticalCurve &r) {
    for (CriticalCurvePoint &pt : r.points) {
        test_stability(m, pt, r.evaluations);
        if (!pt.stable) ++r.unstable_points;
    }
    if (r.unstable_points == 0) return;
    const std::string count = std::to_string(r.unstable_points) + " of " + std::to_string(r.points.size()) +
                              " points are unstable (the critical phase splits into two other phases there; "
                              "marked not stable)";
    r.message = r.message.empty() ? count : r.message + "; " + count;
}

}  // namespace

CriticalCurve critical_curve(const Model &m, const CriticalCurveOptions &o) {
    CriticalCurve r;
    if (m.size() != 2) {
        r.status = Status::invalid_input;
        r.message = "a critical curve needs a model of two components";
        return r;
    }
    if (!(o.p_max > 0.0 && o.min_step > 0.0 && o.first_step >= o.min_step && o.max_step >= o.first_step &&
          o.first_step < 1.0 && o.max_change > 0.0)) {
        r.status = Status::invalid_input;
        r.message = "critical curve options: need p_max > 0, 0 < min_step <= first_step <= max_step, "
                    "first_step < 1, max_change > 0";
        return r;
    }
    CriticalCurvePoint first, last;
    std::string why;
    if (!pure_end(m, 1.0, first, why) || !pure_end(m, 0.0, last, why)) {
        r.status = Status::not_converged;
        r.message = why;
        return r;
    }
    r.points.push_back(first);
    double x1 = 1.0, step = o.first_step;
    while (r.points.size() < o.max_points) {
        const CriticalCurvePoint &here = r.points.back();
        if (x1 <= o.first_step) {
            // Within the first step of component 2 (as the curve began at component 1), its
            // pure end closes the curve where it continues the last point.
            if (small_change(here, last.t, last.v, o.max_change)) {
                r.points.push_back(last);
                r.reaches_other = true;
                break;
            }
            step = std::min(step, 0.5 * x1);
        }
        const double next = x1 > o.first_step ? std::max(x1 - step, o.first_step) : x1 - step;
        const CriticalStart start = predicted(r.points, next);
        const double x[2] = {next, 1.0 - next};
        const MixtureCritical c = mixture_critical_point(m, x, start);
        r.evaluations += c.evaluations;
        ++r.iterations;
        if (c.status == Status::converged && c.p > 0.0 && small_change(here, c.t, c.v, o.max_change)) {
            if (c.p > o.p_max) {
                r.pressure_capped = true;
                r.message = "the critical curve runs above " + format_number(o.p_max * 1e-6) + " MPa at x1 = " +
                            format_number(next) + ", T = " + format_number(c.t) + " K: traced from component 1 to " +
                            "there, not to component 2";
                break;
            }
            r.points.push_back({c.t, c.p, c.v, next});
            x1 = next;
            step = std::min(1.5 * step, o.max_step);
            continue;
        }
        step *= 0.5;
        if (step < o.min_step) {
            r.message = "the critical curve ends at x1 = " + format_number(x1) + ", T = " +
                        format_number(here.t) + " K, P = " + format_number(here.p * 1e-6) +
                        " MPa: no critical point continues it (" +
                        (c.status == Status::converged ? std::string("the next one found lies off the curve")
                                                        : c.message) +
                        ")";
            break;
        }
    }
    if (!r.reaches_other && r.message.empty())
        r.message = "the critical curve stopped after " + std::to_string(r.points.size()) + " points";
    test_stability(m, r);
    r.status = Status::converged;
    return r;
}

MixtureCritical critical_curve_at_temperature(const Model &m, const CriticalCurve &curve, double t) {
    MixtureCritical r;
    const auto &p = curve.points;
    std::size_t i = 0;
    while (i + 1 < p.size() && (p[i].t - t) * (p[i + 1].t - t) > 0.0) ++i;
    if (!(std::isfinite(t) && t > 0.0) || i + 1 >= p.size()) {
        r.status = Status::not_converged;
        r.message = "the critical curve does not pass T = " + format_number(t) + " K";
        return r;
    }
    const CriticalCurvePoint a = p[i], b = p[i + 1];
    // T_c(x1) - t, each solve started from the chord between the pair.
    const auto offset = [&](double x1) {
        const double s = (x1 - a.x1) / (b.x1 - a.x1);
        const CriticalStart start{a.t + s * (b.t - a.t), std::exp(std::log(a.v) + s * std::log(b.v / a.v))};
        const double x[2] = {x1, 1.0 - x1};
        r = mixture_critical_point(m, x, start);
        return r.status == Status::converged ? r.t - t : not_a_number;
    };
    int calls = 0;
    const double x1 = detail::illinois_root(offset, a.x1, b.x1, a.t - t, b.t - t, 1e-15, 100, &calls);
    if (!std::isfinite(x1) || !std::isfinite(offset(x1)) || !(std::fabs(r.t - t) <= 1e-9 * t)) {
        const std::string why = r.message;
        r = MixtureCritical{};
        r.status = Status::not_converged;
        r.message = "no critical point at T = " + format_number(t) + " K on the curve" +
                    (why.empty() ? std::string() : ": " + why);
    }
    return r;
}

}  // namespace keld::equilibria
