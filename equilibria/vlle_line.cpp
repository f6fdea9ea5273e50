// The three-phase (vapour-liquid-liquid) line of a binary and its upper critical end point, in
// density variables on the model (see three_phase.h).
#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "keld/equilibria/critical.h"
#include "keld/equilibria/three_phase.h"
#include "numerics.h"
#include "two_phase.h"

namespace keld::equilibria {
namespace {

using detail::evaluate_phase;
using detail::format_number;
using detail::PhaseDerivatives;

constexpr double kTolerance = 1e-12;       // largest scaled residual of a three-phase point
constexpr double kCriticalTolerance = 1e-10;  // eigenvalue (1 kmol) and scaled cubic form at the end point
constexpr double kMerging = 0.03;          // liquids closer than this in mole fraction: solve the end point
constexpr int kNewtonSteps = 40;

// X = (ln rho_a (2), ln rho_b (2), ln rho_v (2)) in kmol/m3.
using Unknowns = std::array<double, 6>;
using Phases = std::array<PhaseDerivatives, 3>;

bool evaluate_three(const Model &m, double t, const Unknowns &x, Phases &ph) {
    for (std::size_t k = 0; k < 3; ++k) {
        const std::array<double, 2> rho{std::exp(x[2 * k]), std::exp(x[2 * k + 1])};
        if (!evaluate_phase(m, t, rho, ph[k])) return false;
    }
    return true;
}

// ln f_i / (R T) of a phase: ln rho_i + dPsi/dn_i (the common ln R T left out).
double ln_f(const PhaseDerivatives &p, std::size_t i) { return std::log(p.rho[i]) + p.g[i]; }

// Newton's method at T for equal fugacities and pressures of the three phases, exact Jacobian.
bool solve_at(const Model &m, double t, Unknowns &x, Phases &ph, double &residual) {
    for (int it = 0; it <= kNewtonSteps; ++it) {
        if (!evaluate_three(m, t, x, ph)) return false;
        const double scale = ph[2].rho_total();
        Eigen::Matrix<double, 6, 6> jac = Eigen::Matrix<double, 6, 6>::Zero();
        Eigen::Matrix<double, 6, 1> res;
        for (std::size_t k = 1; k < 3; ++k) {
            const auto row = static_cast<Eigen::Index>(2 * (k - 1));
            for (std::size_t i = 0; i < 2; ++i) {
                const auto r = row + static_cast<Eigen::Index>(i);
                res(r) = ln_f(ph[k], i) - ln_f(ph[0], i);
                for (std::size_t j = 0; j < 2; ++j) {
                    const double d = i == j ? 1.0 : 0.0;
                    jac(r, static_cast<Eigen::Index>(2 * k + j)) = d + ph[k].h[i * 2 + j] * ph[k].rho[j];
                    jac(r, static_cast<Eigen::Index>(j)) = -(d + ph[0].h[i * 2 + j] * ph[0].rho[j]);
                }
            }
            const auto r = static_cast<Eigen::Index>(4 + k - 1);
            res(r) = (ph[k].p - ph[0].p) / scale;
            for (std::size_t j = 0; j < 2; ++j) {
                jac(r, static_cast<Eigen::Index>(2 * k + j)) = ph[k].p_rho[j] * ph[k].rho[j] / scale;
                jac(r, static_cast<Eigen::Index>(j)) = -ph[0].p_rho[j] * ph[0].rho[j] / scale;
            }
        }
        residual = res.lpNorm<Eigen::Infinity>();
        if (!std::isfinite(residual)) return false;
        // A liquid's P/(RT) carries the rounding of terms of the size of its density (1e-12 of it
        // moves its ln f by as much): relative to a vapour's at a few Pa that is the floor of the
        // pressure equations.
        const double floor = std::max(kTolerance, 1e-12 * std::max(ph[0].rho_total(), ph[1].rho_total()) / scale);
        const double fugacities = res.head<4>().lpNorm<Eigen::Infinity>();
        const double pressures = res.tail<2>().lpNorm<Eigen::Infinity>();
        residual = fugacities;
        if (fugacities <= kTolerance && pressures <= floor) break;
        if (it == kNewtonSteps) return false;
        Eigen::Matrix<double, 6, 1> step = jac.partialPivLu().solve(-res);
        const double size = step.lpNorm<Eigen::Infinity>();
        if (!std::isfinite(size)) return false;
        if (size > 0.5) step *= 0.5 / size;
        for (std::size_t i = 0; i < 6; ++i) x[i] += step(static_cast<Eigen::Index>(i));
    }
    // Three distinct phases, not a trivial solution.
    auto apart = [&](std::size_t a, std::size_t b) {
        return std::max(std::fabs(x[2 * a] - x[2 * b]), std::fabs(x[2 * a + 1] - x[2 * b + 1])) > 1e-6;
    };
    return apart(0, 1) && apart(0, 2) && apart(1, 2);
}

std::vector<double> fractions(const PhaseDerivatives &p) {
    const double total = p.rho_total();
    return {p.rho[0] / total, p.rho[1] / total};
}

ThreePhasePoint point_of(double t, const Phases &ph) {
    // Liquid 1 is the one richer in the first component.
    const bool swap = ph[1].rho[0] / ph[1].rho_total() > ph[0].rho[0] / ph[0].rho_total();
    const PhaseDerivatives &a = swap ? ph[1] : ph[0], &b = swap ? ph[0] : ph[1];
    ThreePhasePoint r;
    r.t = t;
    r.p = kGasConstant * t * ph[2].p;  // the vapour's: a liquid's resolves P less finely
    r.x1 = fractions(a);
    r.x2 = fractions(b);
    r.y = fractions(ph[2]);
    r.rho1 = a.rho_total();
    r.rho2 = b.rho_total();
    r.rho_v = ph[2].rho_total();
    return r;
}

double separation(const Phases &ph) { return std::fabs(fractions(ph[0])[0] - fractions(ph[1])[0]); }

// The start at T: two liquids from the flash at p_start, a vapour in equilibrium with the first
// of them as an ideal gas would be.
bool start_at(const Model &m, double t, double p_start, Unknowns &x) {
    for (double z1 : {0.5, 0.2, 0.8, 0.1, 0.9, 0.05, 0.95}) {
        const std::vector<double> z{z1, 1.0 - z1};
        MultiphaseOptions two;
        two.max_phases = 2;
        const FlashResult r = flash_on_model(m, t, p_start, z, two);
        if (r.status != Status::converged || r.phases.size() != 2 || r.phases[0].kind != PhaseKind::liquid ||
            r.phases[1].kind != PhaseKind::liquid)
            continue;
        double p3 = 0.0;
        std::array<double, 2> f{};
        for (std::size_t i = 0; i < 2; ++i) p3 += f[i] = r.phases[0].x[i] * std::exp(r.phases[0].ln_phi[i]) * p_start;
        const double rho_v = p3 / (kGasConstant * t);
        for (std::size_t k = 0; k < 2; ++k)
            for (std::size_t i = 0; i < 2; ++i) x[2 * k + i] = std::log(r.phases[k].x[i] / r.phases[k].v);
        for (std::size_t i = 0; i < 2; ++i) x[4 + i] = std::log(f[i] / p3 * rho_v);
        return true;
    }
    return false;
}

// The end point: unknowns (ln T, ln rho_c (2), ln rho_v (2)); the liquid at its critical point,
// in equilibrium with the vapour. Newton's method with a Jacobian from central differences of
// the conditions (they hold derivatives of the model up to the third).
struct EndPoint {
    std::array<double, 5> y{};
    double eigenvalue = not_a_number, cubic = not_a_number, residual = not_a_number;
    std::vector<double> orient;
};

bool end_conditions(const Model &m, const std::array<double, 5> &y, const std::vector<double> &orient,
                    std::array<double, 5> &e, CriticalConditions *conditions = nullptr) {
    const double t = std::exp(y[0]);
    const std::array<double, 2> rc{std::exp(y[1]), std::exp(y[2])}, rv{std::exp(y[3]), std::exp(y[4])};
    PhaseDerivatives c, v;
    if (!evaluate_phase(m, t, rc, c) || !evaluate_phase(m, t, rv, v)) return false;
    const double total = c.rho_total();
    const std::vector<double> xc{rc[0] / total, rc[1] / total};
    const CriticalConditions cc = critical_conditions(m, t, 1.0 / total, xc, orient);
    e[0] = cc.eigenvalue;
    e[1] = cc.cubic_form / cc.cubic_scale;
    for (std::size_t i = 0; i < 2; ++i) e[2 + i] = ln_f(v, i) - ln_f(c, i);
    e[4] = (v.p - c.p) / v.rho_total();
    if (conditions != nullptr) *conditions = cc;
    for (double r : e)
        if (!std::isfinite(r)) return false;
    return true;
}

bool solve_end_point(const Model &m, EndPoint &ep) {
    std::array<double, 5> e{}, ep_plus{}, ep_minus{};
    CriticalConditions cc;
    if (!end_conditions(m, ep.y, {}, e, &cc)) return false;
    ep.orient = cc.direction;
    for (int it = 0; it < kNewtonSteps; ++it) {
        if (!end_conditions(m, ep.y, ep.orient, e, &cc)) return false;
        ep.orient = cc.direction;
        ep.eigenvalue = e[0];
        ep.cubic = e[1];
        ep.residual = std::max({std::fabs(e[2]), std::fabs(e[3]), std::fabs(e[4])});
        const double floor =
            std::max(kTolerance, 1e-12 * (std::exp(ep.y[1]) + std::exp(ep.y[2])) / (std::exp(ep.y[3]) + std::exp(ep.y[4])));
        if (std::fabs(e[0]) <= kCriticalTolerance && std::fabs(e[1]) <= kCriticalTolerance &&
            std::max(std::fabs(e[2]), std::fabs(e[3])) <= kTolerance && std::fabs(e[4]) <= floor)
            return true;
        Eigen::Matrix<double, 5, 5> jac;
        for (std::size_t j = 0; j < 5; ++j) {
            const double h = 1e-6;
            std::array<double, 5> up = ep.y, down = ep.y;
            up[j] += h;
            down[j] -= h;
            if (!end_conditions(m, up, ep.orient, ep_plus) || !end_conditions(m, down, ep.orient, ep_minus)) return false;
            for (std::size_t i = 0; i < 5; ++i)
                jac(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) = (ep_plus[i] - ep_minus[i]) / (2.0 * h);
        }
        Eigen::Matrix<double, 5, 1> res;
        for (std::size_t i = 0; i < 5; ++i) res(static_cast<Eigen::Index>(i)) = e[i];
        Eigen::Matrix<double, 5, 1> step = jac.partialPivLu().solve(-res);
        const double size = step.lpNorm<Eigen::Infinity>();
        if (!std::isfinite(size)) return false;
        if (size > 0.1) step *= 0.1 / size;
        for (std::size_t i = 0; i < 5; ++i) ep.y[i] += step(static_cast<Eigen::Index>(i));
    }
    return false;
}

VlleLine refuse(VlleLine r, Status status, std::string message) {
    r.status = status;
    r.message = std::move(message);
    return r;
}

}  // namespace

VlleLine vlle_line(const Model &model, const VlleOptions &options) {
    VlleLine out;
    if (model.size() != 2) return refuse(out, Status::invalid_input, "the three-phase line is traced for a binary");
    const double t0 = options.t_start;
    const double t_stop = std::isfinite(options.t_stop) ? options.t_stop : t0 + 300.0;
    if (!(t0 > 0.0) || !std::isfinite(t0) || !(options.t_step > 0.0) || !(t_stop > t0) || !(options.p_start > 0.0))
        return refuse(out, Status::invalid_input, "needs a positive start temperature, step and pressure, and a stop above the start");
    Unknowns x{};
    Phases ph;
    double residual = not_a_number;
    if (!start_at(model, t0, options.p_start, x) || !solve_at(model, t0, x, ph, residual))
        return refuse(out, Status::no_solution,
                      "no two liquids and a vapour at T = " + format_number(t0) + " K (no liquid-liquid split there)");
    out.points.push_back(point_of(t0, ph));
    out.residual = residual;
    // March up in T, each point predicted linearly from the two before it; near the end point the
    // step follows the squared separation of the liquids, which falls linearly to 0 there.
    double t = t0, dt = options.t_step;
    Unknowns last = x;
    double last_t = t0, last_sep2 = std::pow(separation(ph), 2), sep2 = last_sep2;
    bool have_two = false;
    while (separation(ph) > kMerging) {
        if (have_two && sep2 < last_sep2 && t > last_t) {
            const double t_end = t + sep2 * (t - last_t) / (last_sep2 - sep2);
            dt = std::min(dt, 0.5 * (t_end - t));
        }
        dt = std::min(dt, t_stop - t);
        if (!(dt > 1e-4)) break;
        Unknowns guess = x;
        if (have_two)
            for (std::size_t i = 0; i < 6; ++i) guess[i] = x[i] + (x[i] - last[i]) * dt / (t - last_t);
        Phases next;
        if (!solve_at(model, t + dt, guess, next, residual)) {
            dt *= 0.5;
            continue;
        }
        last = x;
        last_t = t;
        last_sep2 = sep2;
        x = guess;
        t += dt;
        ph = next;
        sep2 = std::pow(separation(ph), 2);
        have_two = true;
        out.points.push_back(point_of(t, ph));
        out.residual = std::max(out.residual, residual);
        dt = std::min(options.t_step, 1.5 * dt);
    }
    if (separation(ph) > kMerging)
        return refuse(out, Status::not_converged,
                      "the line stopped at T = " + format_number(t) + " K before its liquids merge");

    // The end point from the last point: T extrapolated to zero separation, the liquid midway.
    EndPoint ep;
    const double t_end = have_two && last_sep2 > sep2 ? t + sep2 * (t - last_t) / (last_sep2 - sep2) : t;
    ep.y[0] = std::log(t_end);
    for (std::size_t i = 0; i < 2; ++i) {
        ep.y[1 + i] = 0.5 * (x[i] + x[2 + i]);
        ep.y[3 + i] = x[4 + i];
    }
    if (!solve_end_point(model, ep))
        return refuse(out, Status::not_converged,
                      "the upper critical end point above T = " + format_number(t) + " K was not solved");
    const double te = std::exp(ep.y[0]);
    if (!(te > t))
        return refuse(out, Status::not_converged, "the critical end point found lies below the traced line");
    PhaseDerivatives c, v;
    const std::array<double, 2> rc{std::exp(ep.y[1]), std::exp(ep.y[2])}, rv{std::exp(ep.y[3]), std::exp(ep.y[4])};
    evaluate_phase(model, te, rc, c);
    evaluate_phase(model, te, rv, v);
    ThreePhasePoint end;
    end.t = te;
    end.p = kGasConstant * te * v.p;
    end.x1 = fractions(c);
    end.x2 = end.x1;
    end.y = fractions(v);
    end.rho1 = end.rho2 = c.rho_total();
    end.rho_v = v.rho_total();
    out.points.push_back(end);
    out.end_point = true;
    out.eigenvalue = ep.eigenvalue;
    out.cubic_form = ep.cubic;
    out.status = Status::converged;
    out.message = "upper critical end point at T = " + format_number(te) + " K, P = " + format_number(end.p) + " Pa";
    return out;
}

}  // namespace keld::equilibria
