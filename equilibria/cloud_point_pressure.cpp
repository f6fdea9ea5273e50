// Cloud points at fixed temperature over the pressure (see polydisperse.h):
// the same equations as at fixed pressure, with ln P in place of T.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "numerics.h"
#include "polydisperse_terms.h"
#include "tangent_plane.h"

namespace keld::equilibria {
namespace {

using detail::format_number;

// The window around T in which the critical temperature at a trial pressure is sought.
constexpr double kWindow = 20.0;  // K
constexpr int kScan = 24;         // pressures scanned in ln P for a bracket

bool valid_range(double t, const PressureRange &range) {
    return t > 0.0 && range.from > 0.0 && range.to > range.from;
}

// The critical point at P and its temperature's distance from t (NaN without one near t).
double critical_offset(const PolydisperseSystem &system, double t, double p, bool lower_branch,
                       PolydisperseCritical *out = nullptr) {
    const TemperatureRange window{std::max(t - kWindow, 1.0), t + kWindow, lower_branch};
    PolydisperseCritical c = polydisperse_critical_point(system, p, window);
    const double offset = c.status == Status::converged ? c.t - t : not_a_number;
    if (out) *out = std::move(c);
    return offset;
}

// The tangent-plane distance / (R T) of a vapour of the solvents against the liquid (x, rho) at T
// and P: below 0 the liquid boils (P lies below its bubble pressure), and a demixing found there is
// not one between two liquids. NaN where no vapour trial could be evaluated.
double vapour_distance(const PolydisperseSystem &system, double t, double p, const std::vector<double> &x,
                       double rho) {
    const Model &m = system.model();
    const Properties pr = properties(m, t, rho, x, {false, nullptr});
    std::vector<double> ln_phi = pr.ln_phi;
    for (double &v : ln_phi) v += std::log(pr.p / p);
    std::vector<bool> non_volatile(system.size(), false);
    for (std::size_t i = system.solvents(); i < system.size(); ++i) non_volatile[i] = true;
    const detail::TrialSpace space{&m, t, p, x, non_volatile};
    int evaluations = 0;
    const auto trial = detail::vapour_trial(space, {false, &x, &ln_phi}, evaluations);
    return trial ? trial->tm : not_a_number;
}

bool boils(double distance) { return distance < detail::kUnstable; }

std::string boiling(double t, double p, double distance) {
    return "at T = " + format_number(t) + " K, " + format_number(p * 1e-6) +
           " MPa lies below the solution's bubble pressure: the liquid boils there (a vapour of the solvent " +
           "lies " + format_number(-distance) + " R T below its tangent plane), so the demixing found is not " +
           "one of two liquids";
}

// Drops the points whose feed liquid boils at its cloud pressure and says so in the curve's message.
void refuse_boiling_points(const PolydisperseSystem &system, CloudPointCurve &curve) {
    std::string first;
    std::size_t refused = 0;
    const auto boiling_point = [&](const CloudPoint &pt) {
        const double distance = vapour_distance(system, pt.t, pt.p, pt.feed.x, pt.feed.rho);
        if (!boils(distance)) return false;
        if (refused++ == 0)
            first = "the cloud pressure of w = " + format_number(pt.feed.w_polymer) + " " + boiling(pt.t, pt.p, distance);
        return true;
    };
    curve.points.erase(std::remove_if(curve.points.begin(), curve.points.end(), boiling_point), curve.points.end());
    if (refused == 0) return;
    const std::string why = std::to_string(refused) + " cloud point" + (refused == 1 ? "" : "s") +
                            " refused: " + first;
    if (curve.points.empty()) {
        curve.status = Status::no_solution;
        curve.message = why;
        return;
    }
    if (curve.status == Status::converged) curve.status = Status::not_converged;
    curve.message = curve.message.empty() ? why : curve.message + "; " + why;
}

}  // namespace

PolydisperseCritical polydisperse_critical_pressure(const PolydisperseSystem &system, double t,
                                                    const PressureRange &range) {
    PolydisperseCritical r;
    if (!valid_range(t, range)) {
        r.status = Status::invalid_input;
        r.message = "a critical pressure needs T > 0 and a pressure range 0 < from < to";
        return r;
    }
    const double l_from = std::log(range.from), l_to = std::log(range.to);
    const auto offset = [&](double l) { return critical_offset(system, t, std::exp(l), range.lower_branch); };
    double a = l_from, fa = offset(a), root = not_a_number;
    for (int k = 1; k <= kScan && !std::isfinite(root); ++k) {
        const double b = l_from + (l_to - l_from) * k / kScan;
        const double fb = offset(b);
        if (std::isfinite(fa) && std::isfinite(fb) && (fa > 0.0) != (fb > 0.0))
            root = detail::illinois_root(offset, a, b, fa, fb, 1e-14 * std::max(std::fabs(a), 1.0), 100);
        a = b;
        fa = fb;
    }
    if (!std::isfinite(root)) {
        r.status = Status::no_solution;
        r.message = "no critical point at T = " + format_number(t) + " K between " + format_number(range.from) +
                    " and " + format_number(range.to) + " Pa";
        return r;
    }
    critical_offset(system, t, std::exp(root), range.lower_branch, &r);
    if (r.status == Status::converged && !(std::fabs(r.t - t) <= 1e-6)) {
        r.status = Status::not_converged;
        r.message = "critical pressure at T = " + format_number(t) + " K not converged: its critical temperature is " +
                    format_number(r.t) + " K";
    }
    if (r.status == Status::converged) {
        const double distance = vapour_distance(system, r.t, r.p, r.x, r.rho);
        if (boils(distance)) {
            const std::string why = "the critical pressure " + boiling(r.t, r.p, distance);
            r = PolydisperseCritical{};
            r.status = Status::no_solution;
            r.message = why;
        }
    }
    return r;
}

CloudPointCurve cloud_point_pressure_curve(const PolydisperseSystem &system, double t, double w_from, double w_to,
                                           int count, const PressureRange &range) {
    CloudPointCurve curve;
    if (!(w_from > 0.0 && w_to < 1.0 && w_from < w_to && count >= 1) || !valid_range(t, range)) {
        curve.status = Status::invalid_input;
        curve.message = "a cloud-point pressure curve needs 0 < w_from < w_to < 1, T > 0, a pressure range "
                        "0 < from < to and at least one point";
        return curve;
    }
    curve.critical = polydisperse_critical_pressure(system, t, range);
    if (curve.critical.status != Status::converged) {
        curve.status = curve.critical.status;
        curve.message = curve.critical.message;
        return curve;
    }
    detail::CloudConditions cond;
    cond.free_pressure = true;
    cond.t = t;
    cond.p_from = range.from;
    cond.p_to = range.to;
    detail::follow_cloud_curve(system, cond, w_from, w_to, count, curve);
    refuse_boiling_points(system, curve);
    return curve;
}

CloudPoint cloud_point_pressure(const PolydisperseSystem &system, double t, double w, const PressureRange &range) {
    return detail::single_cloud_point(
        cloud_point_pressure_curve(system, t, w, std::min(w * 1.0000001, 0.999999), 1, range));
}

}  // namespace keld::equilibria
