// The liquid-liquid diagram of a polymer, a solvent and a non-solvent at fixed T and P (see ternary.h).
#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <string>

#include "keld/equilibria/critical.h"
#include "keld/equilibria/ternary.h"
#include "numerics.h"
#include "ternary_phase.h"
#include "two_phase.h"

namespace keld::equilibria {
namespace {

using detail::format_number;
using detail::TwoPhasePoint;
using detail::TwoPhaseProblem;

constexpr double kTrace = 1e-6;          // the solvent's mole fraction in the first tie line
constexpr int kScanPoints = 160;         // over the rich phase's ln(w / (1 - w)) at the binary edge
constexpr double kScanHigh = 13.8;       // w = 1 - 1e-6 ...
constexpr double kScanLow = -25.0;       // ... down to 1e-11
constexpr double kFirstStep = 0.05;
constexpr double kBridge = 1e-8;         // relative height of a concave stretch of the mixing Gibbs energy
constexpr double kPlaitTolerance = 1e-10;  // eigenvalue (1 kmol), cubic form / scale, P / P_given - 1
constexpr int kPlaitIterations = 40;
constexpr double kDifferenceStep = 1e-6;   // in ln rho_i, for the plait point's Jacobian
constexpr double kPlaitReach = 5.0;         // the plait point's largest distance from the last tie line, in its lengths

bool roles_valid(const Model &m, const TernaryRoles &r) {
    return m.size() == 3 && r.solvent < 3 && r.nonsolvent < 3 && r.polymer < 3 && r.solvent != r.nonsolvent &&
           r.solvent != r.polymer && r.nonsolvent != r.polymer;
}

// A liquid at T, P and x: its ln phi_i and density (kmol/m3).
struct Liquid {
    bool ok = false;
    std::vector<double> ln_phi;
    double rho = 0.0;
};
Liquid liquid_at(const Model &m, double t, double p, const std::vector<double> &x) {
    Liquid l;
    const auto props = properties_at_pressure(m, t, p, x, Phase::liquid, {false, nullptr});
    if (!props) return l;
    l.ok = true;
    l.ln_phi = props->ln_phi;
    l.rho = props->rho;
    return l;
}

// Mole fractions of a polymer / non-solvent binary with the polymer's weight fraction w = 1 / (1 + e^-s).
std::vector<double> binary_mole_fractions(const Model &m, const TernaryRoles &r, double s) {
    const double mp = m.components()[r.polymer].mw, mn = m.components()[r.nonsolvent].mw;
    const double ratio = std::exp(s) * mn / mp;  // (w / Mp) / ((1 - w) / Mn)
    std::vector<double> x(3, 0.0);
    x[r.polymer] = ratio / (1.0 + ratio);
    x[r.nonsolvent] = 1.0 / (1.0 + ratio);
    return x;
}

// The mixing Gibbs energy per unit mass of the polymer / non-solvent binary at the polymer's weight
// fraction w = 1 / (1 + e^-s) (per R T, kmol/kg), with the liquid's density and ln phi.
struct Mixing {
    bool ok = false;
    double w = 0.0, g = 0.0, rho = 0.0;
    std::vector<double> x, ln_phi;
};
Mixing mixing_at(const Model &m, const TernaryRoles &r, double t, double p, double s, const Liquid &pure_n,
                 const Liquid &pure_p) {
    Mixing out;
    out.x = binary_mole_fractions(m, r, s);
    const Liquid l = liquid_at(m, t, p, out.x);
    if (!l.ok) return out;
    out.ok = true;
    out.w = s < 0.0 ? std::exp(s) / (1.0 + std::exp(s)) : 1.0 / (1.0 + std::exp(-s));
    out.rho = l.rho;
    out.ln_phi = l.ln_phi;
    double mass = 0.0;
    for (std::size_t i = 0; i < 3; ++i) mass += out.x[i] * m.components()[i].mw;
    for (std::size_t i : {r.nonsolvent, r.polymer}) {
        const double ln_phi0 = i == r.polymer ? pure_p.ln_phi[i] : pure_n.ln_phi[i];
        out.g += out.x[i] * (std::log(out.x[i]) + l.ln_phi[i] - ln_phi0);
    }
    out.g /= mass;
    return out;
}

// The first tie line, at the polymer / non-solvent edge with a trace of solvent, as unknowns of the
// two-phase problem (lean phase first). The binary's two liquids come from the lower convex hull of
// its mixing Gibbs energy per unit mass over a grid in ln(w / (1 - w)) (a common tangent in mass
// fractions is one in amounts); a lean phase below the grid, almost pure non-solvent, holds the
// polymer at the fugacity the rich phase gives it at infinite dilution. Newton's corrector then
// makes both phases exact.
bool edge_start(const Model &m, const TernaryRoles &r, double t, double p, std::vector<double> &x0,
                std::string &why) {
    std::vector<double> e_n(3, 0.0), e_p(3, 0.0);
    e_n[r.nonsolvent] = 1.0;
    e_p[r.polymer] = 1.0;
    const Liquid pure_n = liquid_at(m, t, p, e_n), pure_p = liquid_at(m, t, p, e_p);
    if (!pure_n.ok || !pure_p.ok) {
        why = "the non-solvent or the polymer has no liquid root at T and P";
        return false;
    }
    std::vector<Mixing> grid;
    for (int k = 0; k <= kScanPoints; ++k) {
        Mixing g = mixing_at(m, r, t, p, kScanLow + (kScanHigh - kScanLow) * k / kScanPoints, pure_n, pure_p);
        if (g.ok) grid.push_back(std::move(g));
    }
    // Lower hull (monotone chain) over the grid ordered by w.
    std::vector<std::size_t> hull;
    for (std::size_t k = 0; k < grid.size(); ++k) {
        while (hull.size() >= 2) {
            const Mixing &a = grid[hull[hull.size() - 2]], &b = grid[hull.back()], &c = grid[k];
            if ((b.g - a.g) * (c.w - a.w) >= (c.g - a.g) * (b.w - a.w)) hull.pop_back();  // b above chord a-c
            else break;
        }
        hull.push_back(k);
    }
    // The widest bridge of the hull over points that lie above it by more than the rounding of g.
    std::size_t lean_k = 0, rich_k = 0;
    double scale = 0.0;
    for (const Mixing &c : grid) scale = std::max(scale, std::fabs(c.g));
    for (std::size_t h = 1; h < hull.size(); ++h) {
        const Mixing &a = grid[hull[h - 1]], &b = grid[hull[h]];
        double depth = 0.0;
        for (std::size_t k = hull[h - 1] + 1; k < hull[h]; ++k) {
            const Mixing &c = grid[k];
            depth = std::max(depth, c.g - (a.g + (b.g - a.g) * (c.w - a.w) / (b.w - a.w)));
        }
        if (depth > kBridge * scale && hull[h] - hull[h - 1] > rich_k - lean_k) {
            lean_k = hull[h - 1];
            rich_k = hull[h];
        }
    }
    if (rich_k == 0) {
        why = "the polymer and the non-solvent do not demix at T and P (their mixing Gibbs energy is convex)";
        return false;
    }
    const Mixing &rich = grid[rich_k];
    std::vector<double> ln_lean(3), ln_rich(3);
    double rho_lean = 0.0;
    if (lean_k == 0) {
        // The lean phase is below the grid: pure non-solvent but for the polymer.
        ln_lean[r.polymer] = std::log(rich.x[r.polymer]) + rich.ln_phi[r.polymer] - pure_n.ln_phi[r.polymer];
        ln_lean[r.nonsolvent] = std::log1p(-kTrace - std::exp(ln_lean[r.polymer]));
        rho_lean = pure_n.rho;
    } else {
        const Mixing &lean = grid[lean_k];
        ln_lean[r.polymer] = std::log(lean.x[r.polymer]);
        ln_lean[r.nonsolvent] = std::log(lean.x[r.nonsolvent] - kTrace);
        rho_lean = lean.rho;
    }
    ln_lean[r.solvent] = std::log(kTrace);
    ln_rich[r.solvent] = std::log(kTrace);
    ln_rich[r.polymer] = std::log(rich.x[r.polymer]);
    ln_rich[r.nonsolvent] = std::log(rich.x[r.nonsolvent] - kTrace);
    x0.assign(7, 0.0);
    for (std::size_t i = 0; i < 3; ++i) {
        x0[i] = ln_lean[i] + std::log(rho_lean);
        x0[3 + i] = ln_rich[i] + std::log(rich.rho) - x0[i];
    }
    x0[6] = std::log(t);
    return true;
}

// Newton's method on the two-phase equations with X_spec = value. A polymer's ln f is of the order of
// its segment number (10^3), so its equality rounds at about 1e-12 rather than 1e-15: a solution is
// accepted with every ln f equal to kAccept, the rounding of those equations (not 1e-12), and the
// pressures (each phase's and the given one) equal to kPressure relative.
constexpr double kAccept = 1e-10;
constexpr double kPressure = 1e-11;

// The point at X when it is a solution to those tolerances (the shared equations scale the equal-
// pressure row by the lighter liquid's R T rho, far above its P, so P is checked on its own).
bool accepted(const TwoPhaseProblem &pr, const std::vector<double> &x, double residual, TwoPhasePoint &out) {
    TwoPhasePoint pt;
    pt.x = x;
    const double t = std::exp(x[6]);
    std::vector<double> rho1(3), rho2(3);
    for (std::size_t i = 0; i < 3; ++i) {
        rho1[i] = std::exp(x[i]);
        rho2[i] = std::exp(x[i] + x[3 + i]);
    }
    if (!detail::evaluate_phase(*pr.model, t, rho1, pt.one) || !detail::evaluate_phase(*pr.model, t, rho2, pt.two))
        return false;
    if (std::fabs(pt.two.p - pt.one.p) > kPressure * std::fabs(pt.one.p) ||
        std::fabs(kGasConstant * t * pt.one.p / pr.p - 1.0) > kPressure)
        return false;
    pt.residual = residual;
    out = std::move(pt);
    return true;
}

bool correct_polymer(const TwoPhaseProblem &pr, std::vector<double> x, int spec, double value, TwoPhasePoint &out,
                     int max_iter = 25) {
    std::vector<double> res, jac;
    for (int iter = 0; iter < max_iter; ++iter) {
        if (!detail::equations(pr, x, spec, value, res, jac)) return false;
        const Eigen::Map<const Eigen::Matrix<double, 7, 7, Eigen::RowMajor>> j(jac.data());
        const Eigen::Map<const Eigen::Matrix<double, 7, 1>> r(res.data());
        const double size_r = r.lpNorm<Eigen::Infinity>();
        if (!std::isfinite(size_r)) return false;
        if (size_r <= kAccept && accepted(pr, x, size_r, out)) {
            out.iterations = iter;
            double k = 0.0;
            for (std::size_t i = 0; i < 3; ++i) k = std::max(k, std::fabs(x[3 + i]));
            return k > 1e-9;  // not the trivial solution
        }
        Eigen::Matrix<double, 7, 1> step = j.partialPivLu().solve(-r);
        const double size = step.lpNorm<Eigen::Infinity>();
        if (!std::isfinite(size)) return false;
        if (size > 1.0) step *= 1.0 / size;
        for (std::size_t i = 0; i < 7; ++i) x[i] += step(static_cast<Eigen::Index>(i));
    }
    return false;
}

// One step of arc-length continuation: predictor along the tangent, the corrector with the unknown
// of the largest tangent component held, the step halved on failure or on a sharp turn.
bool step_along(const TwoPhaseProblem &pr, TwoPhasePoint &point, std::vector<double> &tan, double &h,
             double largest_step) {
    std::vector<double> predicted(7), next_t;
    TwoPhasePoint next;
    while (h >= 1e-7) {
        for (std::size_t i = 0; i < 7; ++i) predicted[i] = point.x[i] + h * tan[i];
        const int k = detail::largest_component(tan);
        if (correct_polymer(pr, predicted, k, predicted[static_cast<std::size_t>(k)], next) &&
            detail::tangent(pr, next, tan, next_t)) {
            double turn = 0.0;
            for (std::size_t i = 0; i < 7; ++i) turn += tan[i] * next_t[i];
            if (turn > 0.8) {
                point = std::move(next);
                tan = std::move(next_t);
                if (point.iterations <= 4) h = std::min(1.5 * h, largest_step);
                return true;
            }
        }
        h *= 0.5;
    }
    return false;
}

double largest_ln_k(const TwoPhasePoint &pt) {
    double k = 0.0;
    for (std::size_t i = 0; i < 3; ++i) k = std::max(k, std::fabs(pt.x[3 + i]));
    return k;
}

TernaryTieLine tie_line_of(const Model &m, const TernaryRoles &r, const TwoPhasePoint &pt) {
    TernaryTieLine line;
    const bool one_is_lean = pt.x[3 + r.polymer] > 0.0;
    line.lean = detail::ternary_phase(m, one_is_lean ? pt.one.rho : pt.two.rho);
    line.rich = detail::ternary_phase(m, one_is_lean ? pt.two.rho : pt.one.rho);
    line.residual = pt.residual;
    return line;
}

// The conditions of a plait point at T and P in the unknowns u = ln rho_i: the smallest eigenvalue of
// the Helmholtz Hessian (per kmol), the cubic form over its scale and the relative pressure mismatch.
bool plait_conditions(const Model &m, double t, double p, const std::vector<double> &u,
                      std::vector<double> &orient, Eigen::Vector3d &f) {
    std::vector<double> rho(3), x(3);
    double total = 0.0;
    for (std::size_t i = 0; i < 3; ++i) total += rho[i] = std::exp(u[i]);
    if (!(total > 0.0) || !std::isfinite(total)) return false;
    for (std::size_t i = 0; i < 3; ++i) x[i] = rho[i] / total;
    const CriticalConditions c = critical_conditions(m, t, 1.0 / total, x, orient);
    detail::PhaseDerivatives d;
    if (!detail::evaluate_phase(m, t, rho, d)) return false;
    if (orient.empty()) orient = c.direction;
    f(0) = c.eigenvalue;
    f(1) = c.cubic_form / c.cubic_scale;
    f(2) = kGasConstant * t * d.p / p - 1.0;
    return f.allFinite();
}

}  // namespace

PlaitPoint plait_point(const Model &m, double t, double p, std::span<const double> x0, double rho0) {
    PlaitPoint r;
    if (m.size() != 3 || x0.size() != 3 || !(rho0 > 0.0) || !(t > 0.0) || !(p > 0.0)) {
        r.status = Status::invalid_input;
        r.message = "a plait point needs a ternary model, a start composition and density, T > 0 and P > 0";
        return r;
    }
    std::vector<double> u(3), orient;
    for (std::size_t i = 0; i < 3; ++i) u[i] = std::log(x0[i] * rho0);
    Eigen::Vector3d f;
    for (int iter = 0; iter <= kPlaitIterations; ++iter) {
        if (!plait_conditions(m, t, p, u, orient, f)) break;
        r.iterations = iter;
        r.residual = f.lpNorm<Eigen::Infinity>();
        if (r.residual <= kPlaitTolerance) {
            std::vector<double> rho(3);
            for (std::size_t i = 0; i < 3; ++i) rho[i] = std::exp(u[i]);
            r.status = Status::converged;
            r.phase = detail::ternary_phase(m, rho);
            r.eigenvalue = f(0);
            r.cubic_form = f(1);
            r.p = p * (1.0 + f(2));
            return r;
        }
        // The criteria come from exact derivatives; their Jacobian in ln rho is taken by central
        // differences (the eigenvector's derivative would need the third derivatives twice over).
        Eigen::Matrix3d jac;
        bool ok = true;
        for (std::size_t j = 0; j < 3 && ok; ++j) {
            std::vector<double> up = u, down = u;
            up[j] += kDifferenceStep;
            down[j] -= kDifferenceStep;
            Eigen::Vector3d fu, fd;
            ok = plait_conditions(m, t, p, up, orient, fu) && plait_conditions(m, t, p, down, orient, fd);
            jac.col(static_cast<Eigen::Index>(j)) = (fu - fd) / (2.0 * kDifferenceStep);
        }
        if (!ok) break;
        Eigen::Vector3d step = jac.fullPivLu().solve(-f);
        const double size = step.lpNorm<Eigen::Infinity>();
        if (!std::isfinite(size)) break;
        if (size > 0.2) step *= 0.2 / size;
        for (std::size_t i = 0; i < 3; ++i) u[i] += step(static_cast<Eigen::Index>(i));
    }
    r.status = Status::not_converged;
    r.message = "plait point not converged: largest condition " + format_number(r.residual);
    return r;
}

TernaryDiagram ternary_lle(const Model &m, double t, double p, const TernaryRoles &roles,
                           const TernaryOptions &options) {
    TernaryDiagram d;
    d.t = t;
    d.p = p;
    d.roles = roles;
    if (!roles_valid(m, roles) || !(t > 0.0) || !(p > 0.0) || !std::isfinite(t) || !std::isfinite(p)) {
        d.status = Status::invalid_input;
        d.message = "a ternary diagram needs a model of three components, distinct roles for them, T > 0 and P > 0";
        return d;
    }
    std::vector<double> x0;
    std::string why;
    if (!edge_start(m, roles, t, p, x0, why)) {
        d.status = Status::supercritical;
        d.message = why;
        return d;
    }
    TwoPhaseProblem pr;
    pr.model = &m;
    pr.fixed_t = true;
    pr.t = t;
    pr.fixed_p = true;
    pr.p = p;
    const int spec = static_cast<int>(roles.solvent);
    TwoPhasePoint point;
    if (!correct_polymer(pr, x0, spec, x0[roles.solvent], point, 40)) {
        d.status = Status::not_converged;
        d.message = "the binary polymer / non-solvent tie line did not converge (a polymer too long for its "
                    "lean phase to be resolved, or no liquid root)";
        return d;
    }
    d.tie_lines.push_back(tie_line_of(m, roles, point));
    std::vector<double> orient(7, 0.0), tan;
    orient[roles.solvent] = 1.0;  // more solvent: into the triangle
    if (!detail::tangent(pr, point, orient, tan)) {
        d.status = Status::not_converged;
        d.message = "no tangent at the binary tie line";
        return d;
    }
    double h = kFirstStep;
    bool merged = false;
    while (static_cast<int>(d.tie_lines.size()) < options.max_tie_lines) {
        if (!step_along(pr, point, tan, h, options.largest_step)) break;
        d.tie_lines.push_back(tie_line_of(m, roles, point));
        if (largest_ln_k(point) < options.merge) {
            merged = true;
            break;
        }
    }
    d.iterations = static_cast<int>(d.tie_lines.size());
    if (!merged) {
        d.status = Status::not_converged;
        d.message = "the tie lines were traced to a largest |ln K| of " + format_number(largest_ln_k(point)) +
                    ", not to the plait point";
        return d;
    }
    std::vector<double> mean(3);
    double total = 0.0;
    for (std::size_t i = 0; i < 3; ++i) total += mean[i] = std::exp(point.x[i] + 0.5 * point.x[3 + i]);
    for (double &v : mean) v /= total;
    d.plait = plait_point(m, t, p, mean, total);
    if (d.plait.status != Status::converged) {
        d.status = Status::not_converged;
        d.message = d.plait.message;
        return d;
    }
    // The criteria hold at every critical point of the mixture at T and P: the one solved must be where
    // the traced tie lines shrink, within a few of the last line's lengths of its middle.
    const TernaryTieLine &last = d.tie_lines.back();
    double length = 0.0, offset = 0.0;
    for (std::size_t i = 0; i < 3; ++i) {
        length += std::pow(last.rich.w[i] - last.lean.w[i], 2);
        offset += std::pow(d.plait.phase.w[i] - 0.5 * (last.rich.w[i] + last.lean.w[i]), 2);
    }
    if (std::sqrt(offset) > kPlaitReach * std::sqrt(length)) {
        d.status = Status::not_converged;
        d.message = "the critical point solved from the last tie line lies " + format_number(std::sqrt(offset)) +
                    " in weight fractions from it, not where the tie lines shrink";
        d.plait.status = Status::not_converged;
        d.plait.message = d.message;
        return d;
    }
    d.status = Status::converged;
    d.residual = 0.0;
    for (const TernaryTieLine &line : d.tie_lines) d.residual = std::max(d.residual, line.residual);
    return d;
}

}  // namespace keld::equilibria



