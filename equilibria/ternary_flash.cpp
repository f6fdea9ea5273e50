// Two liquids of a polymer, a solvent and a non-solvent at T, P and a feed (see ternary.h).
#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "keld/equilibria/ternary.h"
#include "numerics.h"
#include "ternary_phase.h"
#include "two_phase.h"

namespace keld::equilibria {
namespace {

using detail::format_number;

constexpr int kStabilityIterations = 80;
constexpr double kStationary = 1e-10;   // max |ln W_i + ln phi_i(W) - d_i| at a stationary point
constexpr double kDistinct = 1e-4;      // max |ln(x_i / z_i)| of a stationary point other than the feed
constexpr double kUnstable = -1e-13;    // a tangent-plane distance below this: the feed splits (near the
                                        // plait point a real one is of order 1e-11; its rounding 1e-15)
constexpr int kFlashIterations = 60;
constexpr int kLinePoints = 40;       // trials of the second liquid along the line through the feed
constexpr double kFugacity = 1e-10;     // |ln f_i' - ln f_i''|: a polymer's ln f rounds at about 1e-12
constexpr double kPressure = 1e-11;     // relative
constexpr double kBalance = 1e-11;      // relative to each balanced component's feed

struct Liquid {
    std::vector<double> x, ln_phi, dln_phi_dn;
    double rho = 0.0;
};
std::optional<Liquid> liquid(const Model &m, double t, double p, const std::vector<double> &x, bool derivatives) {
    const auto pr = properties_at_pressure(m, t, p, x, Phase::liquid, {derivatives, nullptr});
    if (!pr) return std::nullopt;
    return Liquid{x, pr->ln_phi, pr->dln_phi_dn, pr->rho};
}

std::vector<double> normalised(const std::vector<double> &w) {
    double s = 0.0;
    for (double v : w) s += v;
    std::vector<double> x(w);
    for (double &v : x) v /= s;
    return x;
}

// A stationary point of the tangent-plane distance tm(W) = 1 + sum W_i (ln W_i + ln phi_i(W) - d_i - 1)
// from the trial composition x0: Newton's method in alpha_i = 2 sqrt(W_i) (Michelsen) with the exact
// composition derivatives of ln phi, the step halved while tm rises.
struct Stationary {
    bool ok = false;
    std::vector<double> x;
    double tm = 0.0;
};
Stationary stationary_point(const Model &m, double t, double p, const std::vector<double> &d,
                            const std::vector<double> &x0) {
    Stationary s;
    auto first = liquid(m, t, p, x0, false);
    if (!first) return s;
    std::vector<double> w(3);
    for (std::size_t i = 0; i < 3; ++i) w[i] = std::exp(d[i] - first->ln_phi[i]);
    // tm and its gradient g at W; the composition derivatives only where a Newton step is taken.
    const auto tm_at = [&](const std::vector<double> &ws, std::optional<Liquid> &l, std::vector<double> &g) {
        l = liquid(m, t, p, normalised(ws), false);
        if (!l) return not_a_number;
        double tm = 1.0;
        g.resize(3);
        for (std::size_t i = 0; i < 3; ++i) {
            g[i] = std::log(ws[i]) + l->ln_phi[i] - d[i];
            tm += ws[i] * (g[i] - 1.0);
        }
        return tm;
    };
    std::optional<Liquid> l;
    std::vector<double> g;
    double tm = tm_at(w, l, g);
    for (int iter = 0; iter < kStabilityIterations && std::isfinite(tm); ++iter) {
        double largest = 0.0;
        for (double v : g) largest = std::max(largest, std::fabs(v));
        if (largest <= kStationary) {
            s.ok = true;
            s.x = normalised(w);
            s.tm = tm;
            return s;
        }
        double total = 0.0;
        for (double v : w) total += v;
        l = liquid(m, t, p, normalised(w), true);
        if (!l) break;
        Eigen::Matrix3d h;
        Eigen::Vector3d grad;
        for (std::size_t i = 0; i < 3; ++i) {
            grad(static_cast<Eigen::Index>(i)) = std::sqrt(w[i]) * g[i];
            for (std::size_t j = 0; j < 3; ++j)
                h(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) =
                    (i == j ? 1.0 : 0.0) + std::sqrt(w[i] * w[j]) * l->dln_phi_dn[i * 3 + j] / total;
        }
        const Eigen::Vector3d step = h.ldlt().solve(-grad);
        double lambda = 1.0;
        bool moved = false;
        for (int half = 0; half < 12 && !moved; ++half, lambda *= 0.5) {
            std::vector<double> trial(3);
            for (std::size_t i = 0; i < 3; ++i) {
                const double alpha = 2.0 * std::sqrt(w[i]) + lambda * step(static_cast<Eigen::Index>(i));
                trial[i] = std::max(0.25 * alpha * alpha, 1e-300);
            }
            std::optional<Liquid> lt;
            std::vector<double> gt;
            const double tmt = tm_at(trial, lt, gt);
            if (std::isfinite(tmt) && tmt <= tm + 1e-14 * std::fabs(tm)) {
                w = trial;
                l = std::move(lt);
                g = gt;
                tm = tmt;
                moved = true;
            }
        }
        if (!moved) break;
    }
    return s;
}

bool distinct(const std::vector<double> &x, std::span<const double> z) {
    for (std::size_t i = 0; i < 3; ++i)
        if (std::fabs(std::log(x[i] / z[i])) > kDistinct) return true;
    return false;
}

// The feed's composition with the polymer's weight fraction set to w_polymer and the non-solvent's mass
// multiplied by nonsolvent_factor against the solvent's: the stability test's trial phases.
std::vector<double> trial_composition(const Model &m, std::span<const double> z, const TernaryRoles &roles,
                                      double w_polymer, double nonsolvent_factor) {
    const std::size_t polymer = roles.polymer;
    std::vector<double> mass(3);
    double others = 0.0;
    for (std::size_t i = 0; i < 3; ++i) {
        mass[i] = z[i] * m.components()[i].mw * (i == roles.nonsolvent ? nonsolvent_factor : 1.0);
        if (i != polymer) others += mass[i];
    }
    std::vector<double> n(3);
    for (std::size_t i = 0; i < 3; ++i)
        n[i] = (i == polymer ? w_polymer : (1.0 - w_polymer) * mass[i] / others) / m.components()[i].mw;
    return normalised(n);
}

// The equations of the two liquids A and B in u = (ln rho_A (3), ln rho_B (3), beta): equal ln f, both
// pressures the given one, and the balance of the polymer and the non-solvent (relative to their
// feed), with their exact Jacobian. False where a phase cannot be evaluated.
using Vector7 = Eigen::Matrix<double, 7, 1>;
using Matrix7 = Eigen::Matrix<double, 7, 7>;
struct SplitEquations {
    const Model &m;
    double t, p;
    std::span<const double> z;
    const TernaryRoles &roles;

    bool operator()(const Vector7 &u, Vector7 &r, Matrix7 &j, std::vector<double> &ra,
                    std::vector<double> &rb) const {
        const double rt = kGasConstant * t / p;
        const std::size_t balanced[2] = {roles.polymer, roles.nonsolvent};
        ra.resize(3);
        rb.resize(3);
        for (std::size_t i = 0; i < 3; ++i) {
            ra[i] = std::exp(u(static_cast<Eigen::Index>(i)));
            rb[i] = std::exp(u(static_cast<Eigen::Index>(3 + i)));
        }
        detail::PhaseDerivatives a, b;
        if (!detail::evaluate_phase(m, t, ra, a) || !detail::evaluate_phase(m, t, rb, b)) return false;
        const double beta = u(6), ta = a.rho_total(), tb = b.rho_total();
        j.setZero();
        for (std::size_t i = 0; i < 3; ++i) {
            const auto row = static_cast<Eigen::Index>(i);
            r(row) = u(static_cast<Eigen::Index>(3 + i)) + b.g[i] - u(row) - a.g[i];
            for (std::size_t k = 0; k < 3; ++k) {
                const auto col = static_cast<Eigen::Index>(k);
                j(row, col) = -((i == k ? 1.0 : 0.0) + a.h[i * 3 + k] * ra[k]);
                j(row, col + 3) = (i == k ? 1.0 : 0.0) + b.h[i * 3 + k] * rb[k];
            }
        }
        r(3) = rt * a.p - 1.0;
        r(4) = rt * b.p - 1.0;
        for (std::size_t k = 0; k < 3; ++k) {
            j(3, static_cast<Eigen::Index>(k)) = rt * a.p_rho[k] * ra[k];
            j(4, static_cast<Eigen::Index>(3 + k)) = rt * b.p_rho[k] * rb[k];
        }
        for (std::size_t e = 0; e < 2; ++e) {
            const std::size_t i = balanced[e];
            const auto row = static_cast<Eigen::Index>(5 + e);
            const double xa = ra[i] / ta, xb = rb[i] / tb;
            r(row) = ((1.0 - beta) * xa + beta * xb) / z[i] - 1.0;
            for (std::size_t k = 0; k < 3; ++k) {
                const auto col = static_cast<Eigen::Index>(k);
                const double delta = i == k ? 1.0 : 0.0;
                j(row, col) = (1.0 - beta) * xa * (delta - ra[k] / ta) / z[i];
                j(row, col + 3) = beta * xb * (delta - rb[k] / tb) / z[i];
            }
            j(row, 6) = (xb - xa) / z[i];
        }
        return r.allFinite() && j.allFinite();
    }
};

struct Split {
    std::vector<double> rho_a, rho_b;
    double beta = 0.0;
    double residual = 0.0;
    int iterations = 0;
};

// Newton's method on those equations with a backtracking line search on |r|. True when converged to
// the tolerances above with 0 < beta < 1 and two distinct liquids.
bool solve_split(const Model &m, double t, double p, std::span<const double> z, const TernaryRoles &roles,
                 Split &s) {
    const SplitEquations equations{m, t, p, z, roles};
    Vector7 u, r, r_trial;
    Matrix7 j, j_trial;
    std::vector<double> ra, rb, ra_trial, rb_trial;
    for (std::size_t i = 0; i < 3; ++i) {
        u(static_cast<Eigen::Index>(i)) = std::log(s.rho_a[i]);
        u(static_cast<Eigen::Index>(3 + i)) = std::log(s.rho_b[i]);
    }
    u(6) = s.beta;
    if (!equations(u, r, j, ra, rb)) return false;
    for (int iter = 0; iter < kFlashIterations; ++iter) {
        const double fugacity = r.head<3>().lpNorm<Eigen::Infinity>();
        const double pressure = r.segment<2>(3).lpNorm<Eigen::Infinity>();
        const double balance = r.tail<2>().lpNorm<Eigen::Infinity>();
        if (fugacity <= kFugacity && pressure <= kPressure && balance <= kBalance) {
            s.rho_a = ra;
            s.rho_b = rb;
            s.beta = u(6);
            s.residual = fugacity;
            s.iterations = iter;
            double ln_k = 0.0;
            for (std::size_t i = 0; i < 3; ++i)
                ln_k = std::max(ln_k, std::fabs(u(static_cast<Eigen::Index>(3 + i)) - u(static_cast<Eigen::Index>(i))));
            return u(6) > 0.0 && u(6) < 1.0 && ln_k > 1e-6;
        }
        const Vector7 step = j.fullPivLu().solve(-r);
        const double size = step.head<6>().lpNorm<Eigen::Infinity>();
        if (!std::isfinite(size) || !std::isfinite(step(6))) return false;
        double scale = size > 0.5 ? 0.5 / size : 1.0;
        // Keep beta inside (0, 1) on the way.
        while (u(6) + scale * step(6) <= 0.0 || u(6) + scale * step(6) >= 1.0) scale *= 0.5;
        const double norm = r.norm();
        bool moved = false;
        for (int half = 0; half < 30 && !moved; ++half, scale *= 0.5) {
            const Vector7 trial = u + scale * step;
            // Near the solution rounding may keep |r| from falling: a full Newton step is taken there.
            if (equations(trial, r_trial, j_trial, ra_trial, rb_trial) &&
                (r_trial.norm() < norm || (norm < 1e-8 && scale == 1.0))) {
                u = trial;
                r = r_trial;
                j = j_trial;
                ra = ra_trial;
                rb = rb_trial;
                moved = true;
            }
        }
        if (!moved) return false;
    }
    return false;
}

// A start on the line from a stationary point A through the feed: the second liquid B(beta) = (z -
// (1 - beta) x_A) / beta at the beta of least Gibbs energy (1 - beta) g(x_A) + beta g(B) over a grid,
// g = sum x_i (ln x_i + ln phi_i) at T and P. Cheaper than the diagram, and enough when A is near one
// end of the tie line through the feed.
bool start_on_line(const Model &m, double t, double p, const std::vector<double> &z, const std::vector<double> &xa,
                   Split &s) {
    const auto gibbs = [&](const std::vector<double> &x, double &rho) {
        const auto l = liquid(m, t, p, x, false);
        if (!l) return not_a_number;
        rho = l->rho;
        double g = 0.0;
        for (std::size_t i = 0; i < 3; ++i) g += x[i] * (std::log(x[i]) + l->ln_phi[i]);
        return g;
    };
    double rho_a = 0.0;
    const double ga = gibbs(xa, rho_a);
    if (!std::isfinite(ga)) return false;
    double best = not_a_number, best_beta = 0.0, best_rho = 0.0;
    std::vector<double> best_x;
    for (int k = 0; k < kLinePoints; ++k) {
        const double beta = std::exp(std::log(0.999) + (std::log(1e-3) - std::log(0.999)) * k / (kLinePoints - 1));
        std::vector<double> xb(3);
        bool positive = true;
        for (std::size_t i = 0; i < 3; ++i) positive = positive && (xb[i] = (z[i] - (1.0 - beta) * xa[i]) / beta) > 0.0;
        if (!positive) break;
        double rho_b = 0.0;
        const double g = (1.0 - beta) * ga + beta * gibbs(xb, rho_b);
        if (std::isfinite(g) && !(g >= best)) {
            best = g;
            best_beta = beta;
            best_x = xb;
            best_rho = rho_b;
        }
    }
    if (best_x.empty()) return false;
    s.rho_a.clear();
    s.rho_b.clear();
    for (std::size_t i = 0; i < 3; ++i) {
        s.rho_a.push_back(xa[i] * rho_a);
        s.rho_b.push_back(best_x[i] * best_rho);
    }
    s.beta = best_beta;
    return true;
}

// A start for the two liquids from the traced diagram at the same T and P: the tie lines on either side
// of the feed (a tie line is straight in weight fractions as in mole fractions), interpolated in
// ln rho. False when the diagram cannot be traced or the feed is not between two of its tie lines.
bool start_from_diagram(const Model &m, double t, double p, std::span<const double> z, const TernaryRoles &roles,
                        Split &s) {
    const TernaryDiagram d = ternary_lle(m, t, p, roles);
    if (d.tie_lines.size() < 2) return false;
    double mass = 0.0;
    std::vector<double> wz(3);
    for (std::size_t i = 0; i < 3; ++i) mass += wz[i] = z[i] * m.components()[i].mw;
    for (double &v : wz) v /= mass;
    // The side of the feed from each tie line: the cross product in (w_solvent, w_polymer).
    const std::size_t a = roles.solvent, b = roles.polymer;
    const auto side = [&](const TernaryTieLine &l) {
        return (l.rich.w[a] - l.lean.w[a]) * (wz[b] - l.lean.w[b]) - (l.rich.w[b] - l.lean.w[b]) * (wz[a] - l.lean.w[a]);
    };
    for (std::size_t k = 0; k + 1 < d.tie_lines.size(); ++k) {
        const double s0 = side(d.tie_lines[k]), s1 = side(d.tie_lines[k + 1]);
        if ((s0 > 0.0) == (s1 > 0.0) && s0 != 0.0) continue;
        const double f = s0 == s1 ? 0.0 : s0 / (s0 - s1);
        const TernaryTieLine &l0 = d.tie_lines[k], &l1 = d.tie_lines[k + 1];
        s.rho_a.assign(3, 0.0);
        s.rho_b.assign(3, 0.0);
        for (std::size_t i = 0; i < 3; ++i) {
            s.rho_a[i] = std::exp((1.0 - f) * std::log(l0.lean.x[i] * l0.lean.rho) + f * std::log(l1.lean.x[i] * l1.lean.rho));
            s.rho_b[i] = std::exp((1.0 - f) * std::log(l0.rich.x[i] * l0.rich.rho) + f * std::log(l1.rich.x[i] * l1.rich.rho));
        }
        // beta from the polymer's balance, the best-resolved one across the gap.
        const double xa = s.rho_a[b] / (s.rho_a[0] + s.rho_a[1] + s.rho_a[2]);
        const double xb = s.rho_b[b] / (s.rho_b[0] + s.rho_b[1] + s.rho_b[2]);
        s.beta = std::clamp((z[b] - xa) / (xb - xa), 1e-3, 1.0 - 1e-3);
        return true;
    }
    return false;
}

}  // namespace

TernaryFlash ternary_flash(const Model &m, double t, double p, std::span<const double> z_in,
                           const TernaryRoles &roles) {
    TernaryFlash f;
    f.t = t;
    f.p = p;
    bool valid = m.size() == 3 && z_in.size() == 3 && roles.solvent < 3 && roles.nonsolvent < 3 && roles.polymer < 3 &&
                 roles.solvent != roles.nonsolvent && roles.solvent != roles.polymer &&
                 roles.nonsolvent != roles.polymer && t > 0.0 && p > 0.0 && std::isfinite(t) && std::isfinite(p);
    for (double v : z_in) valid = valid && std::isfinite(v) && v > 0.0;
    if (!valid) {
        f.status = Status::invalid_input;
        f.message = "a ternary flash needs a model of three components, distinct roles, a positive amount of each "
                    "component, T > 0 and P > 0";
        return f;
    }
    const std::vector<double> z = normalised(std::vector<double>(z_in.begin(), z_in.end()));
    const auto feed = liquid(m, t, p, z, false);
    if (!feed) {
        f.status = Status::no_solution;
        f.message = "the feed has no liquid root at T = " + format_number(t) + " K and P = " + format_number(p) + " Pa";
        return f;
    }
    std::vector<double> d(3);
    for (std::size_t i = 0; i < 3; ++i) d[i] = std::log(z[i]) + feed->ln_phi[i];

    // Trial phases from a polymer-lean to a polymer-rich liquid.
    std::vector<Stationary> found;
    f.tpd = 0.0;
    // Near the plait point the two liquids differ little and a feed close to one of them is metastable:
    // trials close to the feed's own polymer content, on both sides, find the other liquid there.
    double w_feed = 0.0, mass = 0.0;
    for (std::size_t i = 0; i < 3; ++i) mass += z[i] * m.components()[i].mw;
    w_feed = z[roles.polymer] * m.components()[roles.polymer].mw / mass;
    std::vector<double> near_feed;
    for (double r : {0.97, 1.03, 0.9, 1.1, 0.75, 1.25, 0.5, 1.5})
        if (w_feed * r < 1.0) near_feed.push_back(w_feed * r);
    const auto trial = [&](double w_polymer, double factor) {
        const Stationary s = stationary_point(m, t, p, d, trial_composition(m, z, roles, w_polymer, factor));
        ++f.evaluations;
        if (!s.ok || !distinct(s.x, z)) return;
        f.tpd = std::min(f.tpd, s.tm);
        if (s.tm < kUnstable) found.push_back(s);
    };
    for (double factor : {1.0, 3.0, 0.3}) {
        for (double w_polymer : {1e-6, 0.02, 0.3, 0.6, 0.9}) trial(w_polymer, factor);
        if (!found.empty()) break;
    }
    for (std::size_t k = 0; k < near_feed.size() && found.empty(); ++k) trial(near_feed[k], 1.0);
    if (found.empty()) {
        f.status = Status::single_phase;
        f.message = "the feed is stable as one liquid";
        f.lean = detail::ternary_phase(m, std::vector<double>{z[0] * feed->rho, z[1] * feed->rho, z[2] * feed->rho});
        f.rich = f.lean;
        return f;
    }
    // Starts: the most negative stationary point against the one on the other side of the feed in
    // polymer content (or the balance's complement).
    std::sort(found.begin(), found.end(), [](const Stationary &a, const Stationary &b) { return a.tm < b.tm; });
    std::vector<double> xa = found.front().x;
    std::vector<double> xb;
    for (const Stationary &s : found)
        if ((s.x[roles.polymer] - z[roles.polymer]) * (xa[roles.polymer] - z[roles.polymer]) < 0.0) xb = s.x;
    double beta = 0.5;
    if (xb.empty()) {
        for (beta = 0.5; beta < 0.999; beta = 0.5 * (1.0 + beta)) {
            xb.assign(3, 0.0);
            bool positive = true;
            for (std::size_t i = 0; i < 3; ++i) positive = positive && (xb[i] = (z[i] - (1.0 - beta) * xa[i]) / beta) > 0.0;
            if (positive) break;
        }
    } else {
        double num = 0.0, den = 0.0;
        for (std::size_t i = 0; i < 3; ++i) {
            num += (z[i] - xa[i]) * (xb[i] - xa[i]);
            den += (xb[i] - xa[i]) * (xb[i] - xa[i]);
        }
        beta = std::clamp(num / den, 0.01, 0.99);
    }
    const auto la = liquid(m, t, p, xa, false), lb = liquid(m, t, p, xb, false);
    if (!la || !lb) {
        f.status = Status::not_converged;
        f.message = "no liquid root for a start of the two liquids";
        return f;
    }
    Split s;
    for (std::size_t i = 0; i < 3; ++i) {
        s.rho_a.push_back(xa[i] * la->rho);
        s.rho_b.push_back(xb[i] * lb->rho);
    }
    s.beta = beta;
    // Newton from the stationary points, else from a stationary point and the liquid of least Gibbs
    // energy on the line through the feed, else from the traced tie lines around the feed (a polymer's K
    // spans so many decades that a stationary point's rich side is often outside Newton's basin).
    bool solved = solve_split(m, t, p, z, roles, s);
    for (std::size_t k = 0; k < found.size() && !solved; ++k) {
        Split on_line;
        solved = start_on_line(m, t, p, z, found[k].x, on_line) && solve_split(m, t, p, z, roles, on_line);
        if (solved) s = on_line;
    }
    if (!solved) {
        Split from_diagram;
        solved = start_from_diagram(m, t, p, z, roles, from_diagram) && solve_split(m, t, p, z, roles, from_diagram);
        if (solved) s = from_diagram;
    }
    if (!solved) {
        f.status = Status::not_converged;
        f.message = "the two liquids did not converge from the stability test's start (smallest tangent-plane "
                    "distance " + format_number(f.tpd) + ")";
        return f;
    }
    TernaryPhase a = detail::ternary_phase(m, s.rho_a), b = detail::ternary_phase(m, s.rho_b);
    const bool a_is_lean = a.w[roles.polymer] < b.w[roles.polymer];
    f.lean = a_is_lean ? a : b;
    f.rich = a_is_lean ? b : a;
    f.beta = a_is_lean ? s.beta : 1.0 - s.beta;
    f.iterations = s.iterations;
    f.residual = s.residual;
    f.status = Status::converged;
    return f;
}

}  // namespace keld::equilibria



