// The demixing curves of a binary traced over T from their critical solution
// points (see lle.h): pseudo-arc-length continuation on the model.
#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>

#include "keld/equilibria/lle.h"
#include "lle_model.h"
#include "numerics.h"
#include "parameters.h"

namespace keld::equilibria {
namespace {

using detail::format_number;
using Vector = Eigen::VectorXd;
using Matrix = Eigen::MatrixXd;

constexpr double kTScale = 10.0;           // K per unit of the continuation's T variable
constexpr double kBinodalTolerance = 1e-13;
constexpr double kSpinodalTolerance = 5e-11;  // on sigma (of order 1; its round-off reaches 1e-11 on the rich side)
constexpr double kSeedDistance = 0.05;     // K from the critical point to the first solved point
constexpr double kLowestS = -700.0;        // a lean phase below exp(-700) is not resolved
constexpr double kHighestS = 40.0;         // a rich phase above 1 - exp(-40) is the pure polymer
constexpr double kStepFirst = 0.02, kStepMin = 1e-7, kStepMax = 0.5;
constexpr int kMaxPoints = 2000;
constexpr int kScanPoints = 24;            // temperatures scanned for critical points

// F(u) (n values) and its Jacobian (n x (n+1)); false where undefined.
using Equations = std::function<bool(const Vector &u, Vector &f, Matrix &j)>;

struct Corrected {
    bool ok = false;
    bool undefined = false;  // the equations have no value there (a phase without a liquid root)
    Vector u;
    int iterations = 0;
};

// Newton on F(u) = 0 with one more row c . u = target (the arc-length plane
// through the predictor, or a fixed T).
Corrected correct(const Equations &equations, Vector u, const Vector &c, double target, double tolerance) {
    Corrected out;
    const Eigen::Index n = u.size() - 1;
    Vector f(n);
    Matrix j(n, n + 1);
    for (int it = 0; it < 10; ++it) {
        if (!equations(u, f, j)) {
            out.undefined = true;
            return out;
        }
        const double plane = c.dot(u) - target;
        out.iterations = it;
        if (f.cwiseAbs().maxCoeff() <= tolerance && std::fabs(plane) <= 1e-10) {
            out.ok = true;
            out.u = u;
            return out;
        }
        Matrix a(n + 1, n + 1);
        a.topRows(n) = j;
        a.row(n) = c.transpose();
        Vector r(n + 1);
        r.head(n) = f;
        r(n) = plane;
        const Vector du = a.fullPivLu().solve(-r);
        if (!du.allFinite()) return out;
        u += du;
    }
    return out;
}

// The unit tangent of the curve at u, oriented along `previous`.
std::optional<Vector> tangent(const Equations &equations, const Vector &u, const Vector &previous) {
    const Eigen::Index n = u.size() - 1;
    Vector f(n);
    Matrix j(n, n + 1);
    if (!equations(u, f, j)) return std::nullopt;
    Matrix a(n + 1, n + 1);
    a.topRows(n) = j;
    a.row(n) = previous.transpose();
    Vector rhs = Vector::Zero(n + 1);
    rhs(n) = 1.0;
    Vector t = a.fullPivLu().solve(rhs);
    if (!t.allFinite() || t.norm() == 0.0) return std::nullopt;
    return Vector(t / t.norm());
}

struct Traced : Outcome {
    std::vector<Vector> points;  // after the start
};

// From u0 along `direction` until T (the last variable) leaves [t_lo, t_hi]
// (the last point then solved at that end) or `inside` fails.
Traced continue_curve(const Equations &equations, const Vector &u0, const Vector &direction, double t_lo,
                      double t_hi, double tolerance, const std::function<std::string(const Vector &)> &inside) {
    Traced out;
    Vector u = u0, previous = direction / direction.norm();
    double h = kStepFirst;
    const Eigen::Index last = u.size() - 1;
    while (static_cast<int>(out.points.size()) < kMaxPoints) {
        const std::optional<Vector> t = tangent(equations, u, previous);
        if (!t) {
            out.status = Status::not_converged;
            out.message = "no tangent at T = " + format_number(u(last) * kTScale) + " K";
            return out;
        }
        const Vector predicted = u + h * *t;
        const Corrected c = correct(equations, predicted, *t, t->dot(predicted), tolerance);
        if (!c.ok || (c.u - u).norm() > 2.0 * h) {
            h *= 0.5;
            if (h < kStepMin) {
                const std::string at = " at T = " + format_number(u(last) * kTScale) + " K";
                out.status = c.undefined ? Status::no_solution : Status::not_converged;
                out.message = c.undefined ? "a phase has no liquid root of the model beyond the point" + at
                                          : "the step fell below its least size" + at;
                return out;
            }
            continue;
        }
        const double t_next = c.u(last) * kTScale;
        if (t_next < t_lo || t_next > t_hi) {
            // The range's end: the point at that T, from the chord between u and the step.
            const double end = t_next < t_lo ? t_lo : t_hi;
            const double share = (end / kTScale - u(last)) / (c.u(last) - u(last));
            Vector e = Vector::Unit(u.size(), last);
            const Corrected at_end = correct(equations, u + share * (c.u - u), e, end / kTScale, tolerance);
            if (at_end.ok) {
                out.points.push_back(at_end.u);
                out.status = Status::converged;
            } else {
                out.status = Status::not_converged;
                out.message = "the point at the range's end T = " + format_number(end) + " K did not converge";
            }
            return out;
        }
        if (std::string why = inside(c.u); !why.empty()) {
            out.status = Status::no_solution;
            out.message = std::move(why);
            return out;
        }
        previous = *t;
        u = c.u;
        out.points.push_back(u);
        if (c.iterations <= 2) h = std::min(1.5 * h, kStepMax);
        if (c.iterations >= 6) h *= 0.5;
    }
    out.status = Status::not_converged;
    out.message = "the branch needs more than " + std::to_string(kMaxPoints) + " points";
    return out;
}

// Binodal in u = (s', s'', T / kTScale): ln f_1 and ln f_2 / r equal.
Equations binodal_equations(const detail::ModelBinary &b) {
    return [&b](const Vector &u, Vector &f, Matrix &j) {
        const double t = u(2) * kTScale;
        const detail::BinaryState lean = b.at(t, u(0)), rich = b.at(t, u(1));
        if (!lean.ok || !rich.ok) return false;
        const double r = b.segments();
        f(0) = lean.ln_f[0] - rich.ln_f[0];
        f(1) = (lean.ln_f[1] - rich.ln_f[1]) / r;
        j(0, 0) = -lean.x[1] * lean.sigma;
        j(0, 1) = rich.x[1] * rich.sigma;
        j(0, 2) = (lean.d_t[0] - rich.d_t[0]) * kTScale;
        j(1, 0) = lean.x[0] * lean.sigma / r;
        j(1, 1) = -rich.x[0] * rich.sigma / r;
        j(1, 2) = (lean.d_t[1] - rich.d_t[1]) * kTScale / r;
        return true;
    };
}

// Spinodal in u = (s, T / kTScale): sigma = 0, with its exact slopes.
Equations spinodal_equations(const detail::ModelBinary &b) {
    return [&b](const Vector &u, Vector &f, Matrix &j) {
        const detail::StabilitySlopes st = b.stability(u(1) * kTScale, u(0));
        f(0) = st.sigma;
        j(0, 0) = st.sigma_s;
        j(0, 1) = st.sigma_t * kTScale;
        return st.ok;
    };
}

std::string binodal_inside(const Vector &u) {
    if (u(0) < kLowestS) return "the lean phase's polymer weight fraction fell below exp(-700)";
    if (u(1) > kHighestS) return "the rich phase is the pure polymer to within exp(-40)";
    if (!(u(0) < u(1))) return "the two phases of the binodal met away from a critical point";
    return {};
}

std::string spinodal_inside(const Vector &u) {
    if (u(0) < kLowestS || u(0) > kHighestS) return "the spinodal left the composition range";
    return {};
}

void keep_worse(Outcome &branch, const Outcome &part, const char *what) {
    if (part.status == Status::converged || branch.status != Status::converged) return;
    branch.status = part.status;
    branch.message = std::string(what) + ": " + part.message;
}

// One branch from its critical point outward.
LleBranch trace_branch(System &system, const detail::ModelBinary &b, const CriticalSolutionPoint &c, double t_lo,
                       double t_hi) {
    LleBranch branch;
    branch.status = Status::converged;
    branch.critical = c;
    const double s_c = std::log(c.w / (1.0 - c.w));
    const double sign = c.kind == CriticalKind::upper ? -1.0 : 1.0;  // two liquids below a UCST
    const double t_seed = c.t + sign * kSeedDistance;
    if (t_seed < t_lo || t_seed > t_hi) {
        branch.t = {c.t};
        branch.w_lean = branch.w_rich = {c.w};
        branch.spinodal_t = {c.t};
        branch.spinodal_w = {c.w};
        return branch;
    }
    // Binodal: seeded next to the critical point, then continued.
    const BinodalResult seed = binodal(system, t_seed, b.p());
    branch.t = {c.t};
    branch.w_lean = {c.w};
    branch.w_rich = {c.w};
    if (seed.status != Status::converged) {
        branch.status = seed.status;
        branch.message = "binodal next to the critical point: " + seed.message;
        return branch;
    }
    Vector u(3);
    u << std::log(seed.lean.w[1] / seed.lean.w[0]), std::log(seed.rich.w[1] / seed.rich.w[0]), t_seed / kTScale;
    Vector direction(3);
    direction << u(0) - s_c, u(1) - s_c, sign * kSeedDistance / kTScale;
    const Traced binodal = continue_curve(binodal_equations(b), u, direction, t_lo, t_hi, kBinodalTolerance,
                                          binodal_inside);
    std::vector<Vector> tie_lines{u};
    tie_lines.insert(tie_lines.end(), binodal.points.begin(), binodal.points.end());
    for (const Vector &v : tie_lines) {
        branch.t.push_back(v(2) * kTScale);
        branch.w_lean.push_back(detail::weight_of_logit(v(0)));
        branch.w_rich.push_back(detail::weight_of_logit(v(1)));
    }
    keep_worse(branch, binodal, "binodal");

    // Spinodal: each side from the seed temperature's spinodal point.
    const SpinodalResult sp = spinodal(system, t_seed, b.p());
    if (sp.status != Status::converged) {
        keep_worse(branch, sp, "spinodal next to the critical point");
        branch.spinodal_t = {c.t};
        branch.spinodal_w = {c.w};
        return branch;
    }
    std::vector<Vector> sides[2];
    const double w_sides[2] = {sp.w_lean, sp.w_rich};
    for (int k = 0; k < 2; ++k) {
        Vector v(2);
        v << std::log(w_sides[k] / (1.0 - w_sides[k])), t_seed / kTScale;
        Vector d(2);
        d << v(0) - s_c, sign * kSeedDistance / kTScale;
        const Traced side = continue_curve(spinodal_equations(b), v, d, t_lo, t_hi, kSpinodalTolerance,
                                           spinodal_inside);
        sides[k].push_back(v);
        sides[k].insert(sides[k].end(), side.points.begin(), side.points.end());
        keep_worse(branch, side, k == 0 ? "spinodal, lean side" : "spinodal, rich side");
    }
    for (auto it = sides[0].rbegin(); it != sides[0].rend(); ++it) {
        branch.spinodal_t.push_back((*it)(1) * kTScale);
        branch.spinodal_w.push_back(detail::weight_of_logit((*it)(0)));
    }
    branch.spinodal_t.push_back(c.t);
    branch.spinodal_w.push_back(c.w);
    for (const Vector &v : sides[1]) {
        branch.spinodal_t.push_back(v(1) * kTScale);
        branch.spinodal_w.push_back(detail::weight_of_logit(v(0)));
    }
    return branch;
}

}  // namespace

LleTrace trace_lle(System &system, double p, double t_from, double t_to) {
    LleTrace r;
    r.p = p;
    r.t_from = t_from;
    r.t_to = t_to;
    if (system.size() != 2) {
        r.status = Status::invalid_input;
        r.message = "liquid-liquid demixing is computed for a binary (a solvent and a polymer)";
        return r;
    }
    if (!(std::isfinite(p) && p > 0.0 && std::isfinite(t_from) && std::isfinite(t_to) && t_from > 0.0 &&
          t_to > t_from)) {
        r.status = Status::invalid_input;
        r.message = "P must be positive and the temperatures positive and increasing";
        return r;
    }
    if (std::string missing = detail::missing_parameter_message({&system.mixture()}); !missing.empty()) {
        r.status = Status::missing_parameter;
        r.message = std::move(missing);
        return r;
    }
    const Model *model = system.mixture_model().model;
    if (model == nullptr) {
        r.status = Status::invalid_input;
        r.message = "tracing the demixing curves needs the family's Helmholtz-energy model, which this system lacks";
        return r;
    }
    const detail::ModelBinary b(*model, p, std::max(1.0, system.mixture().segment_ratio(1)));
    // Critical points where demixing appears or disappears between scanned temperatures.
    std::vector<CriticalSolutionPoint> critical;
    Status previous = Status::not_converged;
    double t_previous = t_from;
    for (int i = 0; i < kScanPoints; ++i) {
        const double t = t_from + (t_to - t_from) * i / (kScanPoints - 1);
        const Status now = spinodal(system, t, p).status;
        const bool change = (previous == Status::converged && now == Status::supercritical) ||
                            (previous == Status::supercritical && now == Status::converged);
        if (i > 0 && change) {
            const CriticalResult c = critical_solution_point(system, p, t_previous, t);
            if (c.status == Status::converged) critical.push_back(c.point);
        }
        previous = now;
        t_previous = t;
    }
    if (critical.empty()) {
        r.status = Status::no_solution;
        r.message = "no critical solution point between " + format_number(t_from) + " and " + format_number(t_to) +
                    " K at P = " + format_number(p) + " Pa";
        return r;
    }
    r.status = Status::converged;
    for (const CriticalSolutionPoint &c : critical) {
        r.branches.push_back(trace_branch(system, b, c, t_from, t_to));
        if (r.branches.back().status != Status::converged && r.status == Status::converged) {
            r.status = r.branches.back().status;
            r.message = r.branches.back().message;
        }
    }
    return r;
}

}  // namespace keld::equilibria
