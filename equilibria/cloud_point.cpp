// Cloud-point and shadow curves and the critical point of a polydisperse
// polymer solution (see polydisperse.h).
#include <Eigen/SVD>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "model/residual.h"
#include "numerics.h"
#include "polydisperse_terms.h"

namespace keld::equilibria {
namespace {

using detail::CloudConditions;
using detail::format_number;
using detail::PressureTerms;
using detail::pressure_terms;
using detail::repeat_units;
using detail::weight_from_logit;

constexpr double kTolerance = 1e-10;      // |ln f_i' - ln f_i''| per repeat unit
constexpr double kTrivial = 1e-6;         // max |ln(y_i / z_i)| below which the shadow is the feed
constexpr double kResolved = 0.1;         // the shadow's uncertainty against its departure from the feed
constexpr int kNewtonSteps = 60;
// The critical conditions in their scaled form (see scaled_conditions).
constexpr double kCriticalTolerance = 1e-10;
constexpr int kHalvings = 10;
constexpr int kPolishSteps = 3;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

double logit(double w) { return std::log(w / (1.0 - w)); }

// Regula falsi (Illinois) for f(a), f(b) of opposite signs.
double illinois(const std::function<double(double)> &f, double a, double b, double fa, double fb, double tolerance) {
    return detail::illinois_root(f, a, b, fa, fb, tolerance, 100);
}

// The unknowns of a cloud point: the shadow's amounts (summing to 1 at the
// solution) in logs, and the free condition (T, or ln P at fixed T); both
// phases at their liquid density at P.
struct CloudState {
    std::vector<double> ln_y;
    double free = 0.0;
    std::vector<double> pack() const {
        std::vector<double> u = ln_y;
        u.push_back(free);
        return u;
    }
    static CloudState unpack(const std::vector<double> &u) {
        CloudState s;
        s.ln_y.assign(u.begin(), u.end() - 1);
        s.free = u.back();
        return s;
    }
};

struct CloudSolve {
    bool converged = false;
    double residual = not_a_number;
    // How far the shadow's ln y_i may lie from the solution while the equations hold to their rounding
    // floor: that floor over the Jacobian's smallest singular value. It grows without limit towards the
    // critical point, where the Jacobian turns singular.
    double uncertainty = kInfinity;
    int iterations = 0;
    PressureTerms shadow, feed;
};

// Newton on the cloud-point equations of feed z under the conditions from s (updated in place).
CloudSolve solve_cloud(const Model &m, std::span<const double> z, const CloudConditions &cond, CloudState &s) {
    const std::size_t c = z.size();
    const auto cc = static_cast<Eigen::Index>(c);
    CloudSolve out;
    const Eigen::VectorXd units = repeat_units(m);
    std::vector<double> y(c);
    auto evaluate = [&](const CloudState &st, PressureTerms &sh, PressureTerms &fd) {
        for (std::size_t i = 0; i < c; ++i) y[i] = std::exp(st.ln_y[i]);
        const double t = cond.t_of(st.free), p = cond.p_of(st.free);
        return pressure_terms(m, t, p, y, sh) && pressure_terms(m, t, p, z, fd);
    };
    auto residual_of = [&](const PressureTerms &sh, const PressureTerms &fd) {
        Eigen::VectorXd r(cc + 1);
        double sum = 0.0;
        for (std::size_t i = 0; i < c; ++i) sum += y[i];
        r.head(cc) = (sh.ln_f - fd.ln_f).cwiseQuotient(units);
        r(cc) = sum - 1.0;
        return r;
    };
    if (!evaluate(s, out.shadow, out.feed)) return out;
    Eigen::VectorXd r = residual_of(out.shadow, out.feed);
    int polish = 0;
    double last_norm = kInfinity;
    for (int it = 0; it < kNewtonSteps; ++it) {
        out.iterations = it + 1;
        out.residual = r.head(cc).cwiseAbs().maxCoeff();
        // Met: a few more steps while they still gain (to the arithmetic's
        // floor), as near the critical point the amounts are fixed only
        // loosely by a small residual.
        const PressureTerms &sh = out.shadow, &fd = out.feed;
        Eigen::MatrixXd j = Eigen::MatrixXd::Zero(cc + 1, cc + 1);
        const double p_here = cond.p_of(s.free);
        for (Eigen::Index i = 0; i < cc; ++i) {
            for (Eigen::Index k = 0; k < cc; ++k)
                j(i, k) = sh.dlnf_dn(i, k) * y[static_cast<std::size_t>(k)] / units(i);
            j(i, cc) = (cond.free_pressure ? (sh.dlnf_dp(i) - fd.dlnf_dp(i)) * p_here : sh.dlnf_dt(i) - fd.dlnf_dt(i)) /
                       units(i);
        }
        for (Eigen::Index k = 0; k < cc; ++k) j(cc, k) = y[static_cast<std::size_t>(k)];
        if (out.residual <= kTolerance && std::fabs(r(cc)) <= kTolerance) {
            out.converged = true;
            // The rounding floor of each equation: ln f of both phases, per repeat unit.
            Eigen::VectorXd floor(cc + 1);
            for (Eigen::Index i = 0; i < cc; ++i)
                floor(i) = 4.0 * std::numeric_limits<double>::epsilon() * (std::fabs(sh.ln_f(i)) + std::fabs(fd.ln_f(i)) + 1.0) / units(i);
            floor(cc) = std::numeric_limits<double>::epsilon();
            const Eigen::VectorXd sigma = Eigen::JacobiSVD<Eigen::MatrixXd>(j).singularValues();
            out.uncertainty = floor.norm() / sigma(sigma.size() - 1);
            if (++polish > kPolishSteps || !(r.norm() < 0.5 * last_norm)) return out;
        }
        last_norm = r.norm();
        const Eigen::VectorXd step = j.partialPivLu().solve(-r);
        if (!step.allFinite()) return out;
        // Steps held to where the linearisation is worth trusting, then halved
        // until the residual falls.
        double scale = 1.0;
        const double largest_y = step.head(cc).cwiseAbs().maxCoeff();
        if (largest_y > 1.0) scale = std::min(scale, 1.0 / largest_y);
        // At most 5 K, or a factor e^0.5 in P.
        const double longest_free = cond.free_pressure ? 0.5 : 5.0;
        if (std::fabs(step(cc)) > longest_free) scale = std::min(scale, longest_free / std::fabs(step(cc)));
        const double before = r.norm();
        bool taken = false;
        for (int h = 0; h < kHalvings && !taken; ++h, scale *= 0.5) {
            CloudState trial = s;
            for (std::size_t i = 0; i < c; ++i) trial.ln_y[i] += scale * step(static_cast<Eigen::Index>(i));
            trial.free += scale * step(cc);
            PressureTerms sh2, fd2;
            if (!evaluate(trial, sh2, fd2)) continue;
            const Eigen::VectorXd r2 = residual_of(sh2, fd2);
            if (!(r2.norm() < before) && (h + 1 < kHalvings || out.converged)) continue;
            s = trial;
            out.shadow = std::move(sh2);
            out.feed = std::move(fd2);
            r = r2;
            taken = true;
        }
        if (!taken) return out;
    }
    return out;
}

double largest_log_ratio(const CloudState &s, std::span<const double> z) {
    double d = 0.0;
    for (std::size_t i = 0; i < z.size(); ++i) d = std::max(d, std::fabs(s.ln_y[i] - std::log(z[i])));
    return d;
}

CloudPoint finish(const PolydisperseSystem &system, std::span<const double> z, const CloudConditions &cond,
                  const CloudState &s, const CloudSolve &solve) {
    CloudPoint r;
    r.iterations = solve.iterations;
    r.residual = solve.residual;
    if (!solve.converged) {
        r.status = Status::not_converged;
        r.message = "cloud point not converged: largest |ln f' - ln f''| " + format_number(solve.residual);
        return r;
    }
    const double departure = largest_log_ratio(s, z);
    if (departure < kTrivial) {
        r.status = Status::not_converged;
        r.message = "the incipient phase collapsed onto the feed (the trivial solution), not a cloud point";
        return r;
    }
    // Too close to the critical point the shadow is not determined: other incipient phases satisfy the
    // equations as well within their rounding. Refused when the shadow's departure from the feed is not
    // known to a tenth of itself.
    if (!(solve.uncertainty <= kResolved * departure)) {
        r.status = Status::not_converged;
        r.message = "too close to the critical point to tell the shadow phase from its neighbours (its ln y known to " +
                    format_number(solve.uncertainty) + ", its departure from the feed " + format_number(departure) +
                    "); the cloud point lies near " +
                    (cond.free_pressure ? "P = " + format_number(cond.p_of(s.free)) + " Pa"
                                        : "T = " + format_number(s.free) + " K");
        return r;
    }
    if (cond.free_pressure && !(cond.p_of(s.free) >= cond.p_from && cond.p_of(s.free) <= cond.p_to)) {
        r.status = Status::no_solution;
        r.message = "the cloud point lies at P = " + format_number(cond.p_of(s.free)) + " Pa, outside the range " +
                    format_number(cond.p_from) + " to " + format_number(cond.p_to) + " Pa";
        return r;
    }
    std::vector<double> y(z.size());
    for (std::size_t i = 0; i < z.size(); ++i) y[i] = std::exp(s.ln_y[i]);
    const std::vector<double> lnf_s(solve.shadow.ln_f.data(), solve.shadow.ln_f.data() + solve.shadow.ln_f.size());
    const std::vector<double> lnf_f(solve.feed.ln_f.data(), solve.feed.ln_f.data() + solve.feed.ln_f.size());
    double ysum = 0.0;
    for (double v : y) ysum += v;
    r.status = Status::converged;
    r.t = cond.t_of(s.free);
    r.p = cond.p_of(s.free);
    r.shadow_uncertainty = solve.uncertainty;
    r.shadow = detail::describe_phase(system, y, solve.shadow.rho, lnf_s);
    r.feed = detail::describe_phase(system, z, solve.feed.rho, lnf_f);
    return r;
}

CloudState state_of(const CloudPoint &c, const CloudConditions &cond) {
    CloudState s;
    for (double v : c.shadow.x) s.ln_y.push_back(std::log(v));
    s.free = cond.free_pressure ? std::log(c.p) : c.t;
    return s;
}

// The Heidemann-Khalil conditions in a scaled form. The amount Hessian Q of
// a polymer solution has entries 1/x_i of 1e7 for a long pseudo-component's
// mole fraction, so its smallest eigenvalue cannot be resolved below ~1e-9
// absolute; B = X^1/2 Q X^1/2 = I + X^1/2 H X^1/2 (X = diag x) is singular
// exactly where Q is, with entries of order one. Its eigenvector e gives
// Q's null direction dn = X^1/2 e, along which the cubic form is taken.
struct ScaledConditions {
    double eigenvalue = not_a_number;  // of B (dimensionless)
    double cubic = not_a_number;       // C / sum |dn_i|^3 / x_i^2
    std::vector<double> direction;     // dn, unit length
};

ScaledConditions scaled_conditions(const Model &m, double t, double v, std::span<const double> x,
                                   std::span<const double> orient = {}) {
    const std::size_t size = x.size();
    const auto n = static_cast<Eigen::Index>(size);
    const AmountDerivatives d = m.amount_derivatives(t, v, x, {false, true, false, false});
    Eigen::MatrixXd b(n, n);
    for (std::size_t i = 0; i < size; ++i)
        for (std::size_t j = 0; j < size; ++j)
            b(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) =
                (i == j ? 1.0 : 0.0) + std::sqrt(x[i] * x[j]) * d.hessian[i * size + j];
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(b);
    ScaledConditions c;
    c.eigenvalue = eigen.eigenvalues()(0);
    c.direction.resize(size);
    double norm = 0.0;
    for (std::size_t i = 0; i < size; ++i) {
        c.direction[i] = std::sqrt(x[i]) * eigen.eigenvectors()(static_cast<Eigen::Index>(i), 0);
        norm += c.direction[i] * c.direction[i];
    }
    double projection = 0.0;
    for (std::size_t i = 0; i < size; ++i) {
        c.direction[i] /= std::sqrt(norm);
        if (orient.size() == size) projection += orient[i] * c.direction[i];
        else if (std::fabs(c.direction[i]) > std::fabs(projection)) projection = c.direction[i];
    }
    if (projection < 0.0)
        for (double &u : c.direction) u = -u;
    // Psi(n + s dn) to third order in s, plus the ideal gas's -sum dn^3 / n^2.
    using T3 = model::D3;
    std::vector<T3> amounts(size), frac(size);
    T3 total(0.0);
    for (std::size_t i = 0; i < size; ++i) {
        amounts[i] = T3(x[i]);
        amounts[i].c[1] = c.direction[i];
        total = total + amounts[i];
    }
    for (std::size_t i = 0; i < size; ++i) frac[i] = amounts[i] / total;
    const T3 psi = total * m.residual().alphar(T3(t), total / T3(v), frac.data());
    double ideal = 0.0, scale = 0.0;
    for (std::size_t i = 0; i < size; ++i) {
        const double u3 = c.direction[i] * c.direction[i] * c.direction[i];
        ideal -= u3 / (x[i] * x[i]);
        scale += std::fabs(u3) / (x[i] * x[i]);
    }
    c.cubic = (psi.derivative(3) + ideal) / scale;
    return c;
}

// The scaled smallest eigenvalue of feed z at T on its liquid at P.
double stability(const Model &m, double t, double p, std::span<const double> z, double *v_out = nullptr) {
    const std::optional<double> rho = density(m, t, p, z, Phase::liquid);
    if (!rho) return not_a_number;
    if (v_out) *v_out = 1.0 / *rho;
    return scaled_conditions(m, t, 1.0 / *rho, z).eigenvalue;
}

// T on the spinodal of feed z at P within the range: on an upper branch the highest T where the
// liquid turns unstable on cooling from the range's top, on a lower branch the lowest T where it
// turns unstable on heating from the range's bottom; NaN without one.
double spinodal_temperature(const Model &m, double p, std::span<const double> z, const TemperatureRange &range) {
    constexpr int kScan = 40;
    const double step = (range.to - range.from) / kScan;
    const double origin = range.lower_branch ? range.from : range.to;
    double stable = origin, e_stable = stability(m, stable, p, z);
    for (int k = 1; k <= kScan; ++k) {
        const double next = range.lower_branch ? origin + k * step : origin - k * step;
        const double e_next = stability(m, next, p, z);
        if (std::isfinite(e_stable) && std::isfinite(e_next) && e_stable > 0.0 && e_next <= 0.0)
            return illinois([&](double t) { return stability(m, t, p, z); }, next, stable, e_next, e_stable,
                            1e-12 * std::max(next, stable));
        stable = next;
        e_stable = e_next;
    }
    return not_a_number;
}

}  // namespace

PolydisperseCritical polydisperse_critical_point(const PolydisperseSystem &system, double p,
                                                 const TemperatureRange &range) {
    PolydisperseCritical r;
    const Model &m = system.model();
    if (!(p > 0.0 && range.from > 0.0 && range.to > range.from)) {
        r.status = Status::invalid_input;
        r.message = "a critical point needs P > 0 and a temperature range from < to";
        return r;
    }
    std::vector<double> reference;
    // The scaled cubic form along the spinodal at P, at feed s = logit(w).
    const auto cubic = [&](double s) {
        const std::vector<double> z = system.feed(weight_from_logit(s));
        const double t = spinodal_temperature(m, p, z, range);
        if (!std::isfinite(t)) return not_a_number;
        double v = 0.0;
        stability(m, t, p, z, &v);
        const ScaledConditions c = scaled_conditions(m, t, v, z, reference);
        if (reference.empty()) reference = c.direction;
        return c.cubic;
    };
    constexpr int kGrid = 24;
    const double s_lo = logit(1e-3), s_hi = logit(0.5);
    double a = s_lo, fa = cubic(a), s_c = not_a_number;
    for (int k = 1; k <= kGrid && !std::isfinite(s_c); ++k) {
        const double b = s_lo + (s_hi - s_lo) * k / kGrid;
        const double fb = cubic(b);
        if (std::isfinite(fa) && std::isfinite(fb) && (fa > 0.0) != (fb > 0.0))
            s_c = illinois(cubic, a, b, fa, fb, 1e-13);
        a = b;
        fa = fb;
    }
    if (!std::isfinite(s_c)) {
        r.status = Status::no_solution;
        r.message = "no critical point at P = " + format_number(p) + " Pa for polymer weight fractions 0.001 to 0.5 "
                    "between " + format_number(range.from) + " and " + format_number(range.to) + " K";
        return r;
    }
    const double w = weight_from_logit(s_c);
    const std::vector<double> z = system.feed(w);
    const double t0 = spinodal_temperature(m, p, z, range);
    double v0 = 0.0;
    stability(m, t0, p, z, &v0);
    const ScaledConditions here = scaled_conditions(m, t0, v0, z, reference);
    r.residual = std::max(std::fabs(here.eigenvalue), std::fabs(here.cubic));
    if (!(r.residual <= kCriticalTolerance)) {
        r.status = Status::not_converged;
        r.message = "critical point at w = " + format_number(w) + " not converged: largest scaled condition " +
                    format_number(r.residual);
        return r;
    }
    r.status = Status::converged;
    r.t = t0;
    r.p = p;
    r.w = w;
    r.rho = 1.0 / v0;
    r.x = z;
    r.direction = here.direction;
    return r;
}

namespace {

// The first step off the critical point: the shadow along the critical
// eigenvector u from feed z, as far from the critical composition in
// polymer as the feed is, on the other side.
CloudState start_off_critical(const PolydisperseCritical &crit, const CloudConditions &cond, std::size_t solvents,
                              std::span<const double> z) {
    const std::size_t c = z.size();
    double dp = 0.0, up = 0.0;
    for (std::size_t i = solvents; i < c; ++i) {
        dp += z[i] - crit.x[i];
        up += crit.direction[i];
    }
    const double a = up != 0.0 ? -2.0 * dp / up : 0.0;
    std::vector<double> y(c);
    double sum = 0.0;
    for (std::size_t i = 0; i < c; ++i) {
        y[i] = std::max(z[i] + a * crit.direction[i], 1e-3 * z[i]);
        sum += y[i];
    }
    CloudState s;
    for (double &v : y) s.ln_y.push_back(std::log(v / sum));
    for (double &v : y) v /= sum;
    s.free = cond.free_pressure ? std::log(crit.p) : crit.t;
    return s;
}

}  // namespace

CloudPoint cloud_point(const PolydisperseSystem &system, double p, double w, const CloudPoint &neighbour) {
    if (!(w > 0.0 && w < 1.0 && p > 0.0) || neighbour.status != Status::converged) {
        CloudPoint r;
        r.status = Status::invalid_input;
        r.message = "a cloud point needs 0 < w < 1, P > 0 and a converged neighbour";
        return r;
    }
    CloudConditions cond;
    cond.p = p;
    return detail::cloud_point_from(system, cond, w, neighbour);
}

CloudPointCurve cloud_point_curve(const PolydisperseSystem &system, double p, double w_from, double w_to, int count,
                                  const TemperatureRange &range) {
    CloudPointCurve curve;
    if (!(w_from > 0.0 && w_to < 1.0 && w_from < w_to && count >= 1 && p > 0.0)) {
        curve.status = Status::invalid_input;
        curve.message = "a cloud-point curve needs 0 < w_from < w_to < 1, P > 0 and at least one point";
        return curve;
    }
    curve.critical = polydisperse_critical_point(system, p, range);
    if (curve.critical.status != Status::converged) {
        curve.status = curve.critical.status;
        curve.message = curve.critical.message;
        return curve;
    }
    CloudConditions cond;
    cond.p = p;
    detail::follow_cloud_curve(system, cond, w_from, w_to, count, curve);
    return curve;
}

namespace detail {

CloudPoint cloud_point_from(const PolydisperseSystem &system, const CloudConditions &cond, double w,
                            const CloudPoint &neighbour) {
    const std::vector<double> z = system.feed(w);
    CloudState s = state_of(neighbour, cond);
    const CloudSolve solve = solve_cloud(system.model(), z, cond, s);
    return finish(system, z, cond, s, solve);
}

void follow_cloud_curve(const PolydisperseSystem &system, const CloudConditions &cond, double w_from, double w_to,
                        int count, CloudPointCurve &curve) {
    const Model &m = system.model();
    const double s_c = logit(curve.critical.w);
    std::vector<double> targets;
    for (int k = 0; k < count; ++k)
        targets.push_back(count == 1 ? logit(w_from)
                                     : logit(w_from) + (logit(w_to) - logit(w_from)) * k / (count - 1));
    std::string failures;
    // Each side of the critical point, outwards.
    for (int side : {-1, 1}) {
        std::vector<double> mine;
        for (double s : targets)
            if ((s - s_c) * side > 0.0) mine.push_back(s);
        if (side < 0) std::reverse(mine.begin(), mine.end());
        std::vector<std::pair<double, std::vector<double>>> path;  // (s, unknowns) converged so far
        double s_here = s_c;
        constexpr double kFirstStep = 0.05, kLongestStep = 0.25;
        for (double target : mine) {
            int halvings = 0;
            while (s_here != target) {
                double s_next = target;
                const double longest = path.empty() ? kFirstStep : kLongestStep;
                if (std::fabs(s_next - s_here) > longest) s_next = s_here + side * longest;
                for (int h = 0; h < halvings; ++h) s_next = 0.5 * (s_here + s_next);
                const std::vector<double> z = system.feed(weight_from_logit(s_next));
                CloudState guess;
                if (path.empty()) {
                    guess = start_off_critical(curve.critical, cond, system.solvents(), z);
                } else if (path.size() == 1) {
                    guess = CloudState::unpack(path.back().second);
                } else {
                    // Linear in s through the last two points.
                    const auto &[s1, u1] = path[path.size() - 1];
                    const auto &[s0, u0] = path[path.size() - 2];
                    std::vector<double> u(u1.size());
                    for (std::size_t i = 0; i < u.size(); ++i)
                        u[i] = u1[i] + (u1[i] - u0[i]) * (s_next - s1) / (s1 - s0);
                    guess = CloudState::unpack(u);
                }
                const CloudSolve solve = solve_cloud(m, z, cond, guess);
                curve.evaluations += solve.iterations;
                if (solve.converged && largest_log_ratio(guess, z) >= kTrivial) {
                    path.emplace_back(s_next, guess.pack());
                    s_here = s_next;
                    halvings = 0;
                    if (s_here == target) {
                        CloudPoint point = finish(system, z, cond, guess, solve);
                        if (point.status == Status::converged)
                            curve.points.push_back(std::move(point));
                        else
                            failures += (failures.empty() ? "" : "; ") + std::string("w = ") +
                                        format_number(weight_from_logit(target)) + ": " + point.message;
                    }
                } else if (++halvings > kHalvings) {
                    failures += (failures.empty() ? "" : "; ") + std::string("no cloud point beyond w = ") +
                                format_number(weight_from_logit(s_here));
                    break;
                }
            }
            if (s_here != target) break;
        }
    }
    std::sort(curve.points.begin(), curve.points.end(),
              [](const CloudPoint &a, const CloudPoint &b) { return a.feed.w_polymer < b.feed.w_polymer; });
    curve.status = curve.points.size() == static_cast<std::size_t>(count) ? Status::converged : Status::not_converged;
    curve.message = failures;
}

CloudPoint single_cloud_point(const CloudPointCurve &curve) {
    if (curve.points.empty()) {
        CloudPoint r;
        r.status = curve.status == Status::converged ? Status::not_converged : curve.status;
        r.message = curve.message.empty() ? "no cloud point" : curve.message;
        return r;
    }
    return curve.points.front();
}

}  // namespace detail

CloudPoint cloud_point(const PolydisperseSystem &system, double p, double w, const TemperatureRange &range) {
    return detail::single_cloud_point(cloud_point_curve(system, p, w, std::min(w * 1.0000001, 0.999999), 1, range));
}

}  // namespace keld::equilibria
