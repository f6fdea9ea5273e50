// A pure fluid's critical point and coexistence on the model (see pure_model.h).
#include "keld/equilibria/pure_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/residual.h"
#include "numerics.h"

namespace keld::equilibria {
namespace {

using detail::format_number;

constexpr double kCoexistenceTolerance = 1e-13;  // |ln f_L - ln f_V| and |P_L/P_V - 1|
constexpr int kNewtonSteps = 60;
constexpr int kScanPoints = 60;
constexpr double kScalingFrom = 0.8;  // of Tc: above it, coexistence is approached along the scaling
constexpr double kDirectTo = 0.93;    // of Tc: up to it, the low-pressure start is tried first

const std::vector<double> kPure{1.0};

// P/(R T) and its density derivatives from the derivative table at (T, rho).
struct Isotherm {
    double f0, f1, f2, f3;        // P/RT, d/drho, d2/drho2, d3/drho3
    double f1_t, f2_t;            // d f1/dT, d f2/dT
    double g;                     // ln rho + alpha + rho alpha_rho = mu/RT - ln(RT) (plus a constant)
    double f0_t, g_t;             // d f0/dT, d g/dT at constant rho
    double a, a_t;                // alpha_r, d alpha_r/dT
};

// alpha_r at (T, rho, x) in the jet type S, x normalised to mole fractions. A
// mixture of up to kOnStack components keeps its fractions on the stack: the
// critical point's Newton steps make no heap allocation.
constexpr std::size_t kOnStack = 16;

template <class S>
S alphar_jet(const Model &m, const S &t, const S &rho, std::span<const double> x) {
    double total = 0.0;
    for (double v : x) total += v;
    if (x.size() <= kOnStack) {
        std::array<S, kOnStack> xs{};
        for (std::size_t i = 0; i < x.size(); ++i) xs[i] = S(x[i] / total);
        return m.residual().alphar(t, rho, xs.data());
    }
    std::vector<S> xs(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) xs[i] = S(x[i] / total);
    return m.residual().alphar(t, rho, xs.data());
}

// Fourth order in rho, each coefficient with its T-derivative (the model's
// derivative table, evaluated in place).
Isotherm at(const Model &m, double t, double rho, std::span<const double> x = kPure) {
    using T4 = ad::Taylor<double, 4>;
    const model::DT4 j = alphar_jet(m, model::DT4(T4(t), T4(1.0)), model::DT4(T4::variable(rho)), x);
    const double a = j.v.derivative(0), a1 = j.v.derivative(1), a2 = j.v.derivative(2), a3 = j.v.derivative(3),
                 a4 = j.v.derivative(4);
    const double t0 = j.d.derivative(0), t1 = j.d.derivative(1), t2 = j.d.derivative(2), t3 = j.d.derivative(3);
    Isotherm i;
    i.f0 = rho + rho * rho * a1;
    i.f1 = 1.0 + 2.0 * rho * a1 + rho * rho * a2;
    i.f2 = 2.0 * a1 + 4.0 * rho * a2 + rho * rho * a3;
    i.f3 = 6.0 * a2 + 6.0 * rho * a3 + rho * rho * a4;
    i.f1_t = 2.0 * rho * t1 + rho * rho * t2;
    i.f2_t = 2.0 * t1 + 4.0 * rho * t2 + rho * rho * t3;
    i.g = std::log(rho) + a + rho * a1;
    i.f0_t = rho * rho * t1;
    i.g_t = t0 + rho * t1;
    i.a = a;
    i.a_t = t0;
    return i;
}

// What the coexistence iteration needs at (T, rho): alpha_r and its first two
// density derivatives, from the family's density slopes (a fraction of the
// cost of the derivative table; analytic where the family has them).
struct Branch {
    double f0, f1;  // P/RT, d(P/RT)/drho
    double g;       // as Isotherm::g
    double a, a1;   // alpha_r, d alpha_r/drho
};

Branch branch_of(const model::DensitySlopes &s, double rho) {
    Branch b;
    b.a = s.a;
    b.a1 = s.a_rho;
    b.f0 = rho + rho * rho * s.a_rho;
    b.f1 = 1.0 + 2.0 * rho * s.a_rho + rho * rho * s.a_rhorho;
    b.g = std::log(rho) + s.a + rho * s.a_rho;
    return b;
}

Branch branch_at(const Model &m, double t, double rho) {
    const double x = 1.0;
    return branch_of(m.residual().density_slopes(t, rho, &x), rho);
}

// The same along one isotherm, what does not depend on rho formed once (the same values bit for bit).
std::unique_ptr<model::DensityLine> isotherm_of(const Model &m, double t) {
    const double x = 1.0;
    return m.residual().density_line(t, &x);
}

Branch branch_at(const model::DensityLine &line, double rho) { return branch_of(line.at(rho), rho); }

// The pieces of the curve's tangent at (T, rho), from the family's (T, rho)
// derivatives to second order.
struct Slopes {
    double f1, f0_t, g_t;  // d(P/RT)/drho, d(P/RT)/dT, dg/dT
};

Slopes slopes_at(const Model &m, double t, double rho) {
    const double x = 1.0;
    const AlpharDerivatives d = m.residual().derivatives(t, rho, &x, false);
    return {1.0 + 2.0 * rho * d.a_rho + rho * rho * d.a_rhorho, rho * rho * d.a_trho, d.a_t + rho * d.a_trho};
}

// P/RT and its first two density derivatives at (T, rho, x), from one pass
// of third order in rho: the critical conditions themselves.
struct Conditions {
    double f0, f1, f2;
};

Conditions conditions_at(const Model &m, double t, double rho, std::span<const double> x) {
    const model::D3 a = alphar_jet(m, model::D3(t), model::D3::variable(rho), x);
    const double a1 = a.derivative(1), a2 = a.derivative(2), a3 = a.derivative(3);
    return {rho + rho * rho * a1, 1.0 + 2.0 * rho * a1 + rho * rho * a2, 2.0 * a1 + 4.0 * rho * a2 + rho * rho * a3};
}

// The liquid root of P = 1 Pa at T by Newton's method from the dense side
// (P convex and rising there, so the steps approach the root from above);
// none when an iterate leaves the mechanically stable liquid.
std::optional<double> liquid_at_low_pressure(const Model &m, double t, double start = not_a_number) {
    const double one = 1.0, rho_max = m.residual().max_density(t, &one), target = 1.0 / (kGasConstant * t);
    const bool from_start = start > 0.0 && start < 0.9 * rho_max;
    double rho = from_start ? start : 0.9 * rho_max;
    const std::unique_ptr<model::DensityLine> line = isotherm_of(m, t);
    for (int it = 0; it < 40; ++it) {
        const Branch b = branch_at(*line, rho);
        // A given start (denser than the critical point) may lie in the loop, or a step from it beyond
        // close packing: then from the wall.
        if (!(b.f1 > 0.0)) return from_start ? liquid_at_low_pressure(m, t) : std::nullopt;
        const double step = (b.f0 - target) / b.f1;
        const double next = rho - step;
        if (!(next > 0.0 && next < rho_max)) return from_start ? liquid_at_low_pressure(m, t) : std::nullopt;
        if (std::fabs(step) <= 1e-13 * rho) return next;
        rho = next;
    }
    return std::nullopt;
}

// Rackett's saturated-liquid density from the critical point, rho_c Z_c^-((1 - T/T_c)^(2/7)): a
// start for Newton's method on the liquid's pressure a few percent off, where the top of the
// repulsive wall is many steps away. Below the root (P convex there) the first step lands above it.
double rackett_liquid(const PureCritical *critical, double t) {
    if (critical == nullptr || critical->status != Status::converged || !(t < critical->t)) return not_a_number;
    const double z_c = critical->p / (critical->rho * kGasConstant * critical->t);
    return critical->rho * std::pow(z_c, -std::pow(1.0 - t / critical->t, 2.0 / 7.0));
}

// d alpha_r/dT at (T, rho).
double alphar_t(const Model &m, double t, double rho) {
    const double x = 1.0;
    return m.residual().temperature_slope(t, rho, &x);
}

// The density of the isotherm's inflection (f2 = 0) between the densities
// of a scan's smallest slope, and that slope: negative while T is below
// the critical temperature (the loop is open).
struct Inflection {
    bool found = false;
    double rho = 0.0, slope = 0.0;
};

Inflection inflection(const Model &m, double t) {
    const double rho_max = m.max_density(t, kPure);
    Inflection best;
    double lowest = detail::kInf;
    int k_best = -1;
    for (int k = 1; k < kScanPoints; ++k) {
        const double rho = rho_max * k / kScanPoints;
        const double f1 = at(m, t, rho).f1;
        if (f1 < lowest) {
            lowest = f1;
            k_best = k;
        }
    }
    if (k_best < 0) return best;
    // Newton on f2 = 0 inside the neighbouring cells.
    double lo = rho_max * std::max(k_best - 1, 1) / kScanPoints, hi = rho_max * (k_best + 1) / kScanPoints;
    double rho = rho_max * k_best / kScanPoints;
    for (int it = 0; it < 60; ++it) {
        const Isotherm i = at(m, t, rho);
        (i.f2 > 0.0 ? hi : lo) = rho;
        double next = i.f3 > 0.0 ? rho - i.f2 / i.f3 : 0.5 * (lo + hi);
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (std::fabs(next - rho) <= 1e-15 * rho) break;
        rho = next;
    }
    best.found = true;
    best.rho = rho;
    best.slope = at(m, t, rho).f1;
    return best;
}

double pressure(const Model &m, double t, double rho) { return kGasConstant * t * at(m, t, rho).f0; }

// Where a critical point lies as a fraction of the densest state at 300 K:
// by family, as their fluids have it (PC-SAFT 0.180-0.186 over the alkanes,
// aromatics and polymer segments; b rho_c = 0.2599 of a cubic; the lattice
// 0.255-0.257; SAFT 0.134), else 0.2. A start only: the closer it is, the
// fewer full Newton steps the critical point takes.
double critical_density_fraction(const Model &m) {
    const std::string &family = m.family();
    if (family == "pcsaft") return 0.183;
    if (family == "cubic") return 0.2599;
    if (family == "sanchez_lacombe") return 0.256;
    if (family == "saft") return 0.134;
    return 0.2;
}

// The spinodal temperature at density rho (dP/drho = 0) to 1e-3, by the
// secant method in 1/T (in which dP/drho is close to linear) with steps of at
// most a factor 2 in T; NaN when there is none between about 1 K and 1e5 K.
// d(P/RT)/drho at (T, rho, x) from the family's density slopes (analytic
// where the family has them): what the spinodal's secant needs, at a fraction
// of a third-order pass.
double isothermal_slope(const Model &m, double t, double rho, std::span<const double> x) {
    double total = 0.0;
    for (double v : x) total += v;
    std::array<double, kOnStack> on_stack{};
    std::vector<double> on_heap;
    double *xs = on_stack.data();
    if (x.size() > kOnStack) {
        on_heap.resize(x.size());
        xs = on_heap.data();
    }
    for (std::size_t i = 0; i < x.size(); ++i) xs[i] = x[i] / total;
    const model::DensitySlopes s = m.residual().density_slopes(t, rho, xs);
    return 1.0 + 2.0 * rho * s.a_rho + rho * rho * s.a_rhorho;
}

double spinodal_temperature(const Model &m, double rho, double t, std::span<const double> x) {
    double u0 = 1.0 / t, g0 = isothermal_slope(m, t, rho, x);
    double u1 = g0 > 0.0 ? 1.2 * u0 : 0.8 * u0;
    for (int it = 0; it < 40; ++it) {
        if (!(1.0 / u1 > 1.0 && 1.0 / u1 < 1e5)) return not_a_number;
        const double g1 = isothermal_slope(m, 1.0 / u1, rho, x);
        double u = u1 - g1 * (u1 - u0) / (g1 - g0);
        if (!std::isfinite(u)) return not_a_number;
        u = std::clamp(u, 0.5 * u1, 2.0 * u1);
        // A start for Newton's method on both conditions: 1e-3 is close enough (the start density is further off).
        if (std::fabs(u - u1) <= 1e-3 * u1) return 1.0 / u;
        u0 = u1;
        g0 = g1;
        u1 = u;
    }
    return not_a_number;
}

// The Jacobian of (f1, f2) in (T, rho): [f1_t f2 ; f2_t f3].
struct CriticalJacobian {
    double f1_t, f2, f2_t, f3;
};

// A solved critical point of the fast route with the conditions evaluated
// there, and the Jacobian of the last full Newton step.
struct CriticalSolution {
    double t = not_a_number, rho = not_a_number;
    Conditions at_solution{};
    CriticalJacobian jacobian{};
    int iterations = 0;
};

// Newton's method in (T, rho) on f1 = f2 = 0 from (t, rho), steps limited to
// keep both positive and rho below the densest state; false when it does not
// settle. Far from the solution every step takes the exact Jacobian (fourth
// order in rho, with the T-derivatives). Once a step is below kChordFrom the
// Jacobian is held and only the conditions are evaluated (third order in rho,
// a quarter of the cost): each such step then shrinks the error by about the
// distance to where the Jacobian was taken, so two of them reach the last
// bits. The iteration stops at a point whose own conditions ask for a step
// below 1e-14 and returns them.
constexpr double kChordFrom = 1e-4;
constexpr double kSettled = 1e-14;

bool critical_newton(const Model &m, CriticalSolution &c, std::span<const double> x) {
    double t = c.t, rho = c.rho, last = detail::kInf;
    bool fresh = true;
    for (int it = 1; it <= kNewtonSteps; ++it) {
        c.iterations = it;
        double f1, f2;
        if (fresh) {
            const Isotherm i = at(m, t, rho, x);
            c.jacobian = {i.f1_t, i.f2, i.f2_t, i.f3};
            f1 = i.f1;
            f2 = i.f2;
        } else {
            c.at_solution = conditions_at(m, t, rho, x);
            f1 = c.at_solution.f1;
            f2 = c.at_solution.f2;
        }
        const CriticalJacobian &j = c.jacobian;
        const double det = j.f1_t * j.f3 - j.f2 * j.f2_t;
        double dt = (-f1 * j.f3 + f2 * j.f2) / det;
        double drho = (-j.f1_t * f2 + j.f2_t * f1) / det;
        if (!(std::isfinite(dt) && std::isfinite(drho))) return false;
        const double size = std::max(std::fabs(dt) / t, std::fabs(drho) / rho);
        if (!fresh && size <= kSettled) {
            c.t = t;
            c.rho = rho;
            return true;
        }
        // A held Jacobian that no longer contracts quickly is taken afresh.
        fresh = fresh ? size > kChordFrom : size > 1e-3 * last;
        last = size;
        const double limit = std::max(std::fabs(dt) / (0.2 * t), std::fabs(drho) / (0.3 * rho));
        if (limit > 1.0) {
            dt /= limit;
            drho /= limit;
        }
        t += dt;
        rho += drho;
        if (!(t > 0.0 && rho > 0.0 && rho < m.max_density(t, x))) return false;
    }
    return false;
}

// Whether (t, rho) is the critical point: f1 = f2 = 0, the loop opening below
// it (f1 grows with T) and a minimum of f1 in rho there, seen as f2 changing
// sign from - to + across rho (f2 and f1_t are exact to the last bits in every
// family; the fourth density derivative in f3 is not needed for the verdict).
bool critical_accepted(const Model &m, double t, double rho, const Conditions &i, double f1_t, double &residual,
                       std::span<const double> x) {
    if (!(std::isfinite(t) && std::isfinite(rho) && rho > 0.0)) return false;
    residual = std::max(std::fabs(i.f1), std::fabs(i.f2) * rho);
    const double step = 1e-3 * rho;
    return residual <= 1e-10 && f1_t > 0.0 && conditions_at(m, t, rho - step, x).f2 < 0.0 &&
           conditions_at(m, t, rho + step, x).f2 > 0.0;
}

bool critical_accepted(const Model &m, double t, double rho, double &residual, std::span<const double> x) {
    if (!(std::isfinite(t) && std::isfinite(rho) && rho > 0.0)) return false;
    const Conditions i = conditions_at(m, t, rho, x);
    const double f1_t = (conditions_at(m, t * (1.0 + 1e-6), rho, x).f1 - i.f1) / (1e-6 * t);
    return critical_accepted(m, t, rho, i, f1_t, residual, x);
}

// The fast route: onto the spinodal at a density near the critical one,
// then Newton along both conditions.
std::optional<CriticalSolution> fast_critical(const Model &m, std::span<const double> x) {
    CriticalSolution c;
    c.rho = critical_density_fraction(m) * m.max_density(300.0, x);
    c.t = spinodal_temperature(m, c.rho, 300.0, x);
    if (!std::isfinite(c.t) || !critical_newton(m, c, x)) return std::nullopt;
    return c;
}

// The fast route's point, accepted as the critical point (its residual set) or not.
bool fill_critical(const Model &m, const CriticalSolution &c, std::span<const double> x, PureCritical &r) {
    r.iterations = c.iterations;
    if (!critical_accepted(m, c.t, c.rho, c.at_solution, c.jacobian.f1_t, r.residual, x)) return false;
    r.status = Status::converged;
    r.t = c.t;
    r.rho = c.rho;
    r.p = kGasConstant * c.t * c.at_solution.f0;
    return true;
}

}  // namespace

PureCritical pure_critical_point(const Model &m) {
    PureCritical r;
    if (m.size() != 1) {
        r.status = Status::invalid_input;
        r.message = "a pure fluid's critical point needs a model of one component";
        return r;
    }
    if (const std::optional<CriticalSolution> fast = fast_critical(m, kPure); fast && fill_critical(m, *fast, kPure, r))
        return r;
    // Bracket the temperature at which the loop closes: the inflection's slope changes sign.
    double t_lo = not_a_number, t_hi = not_a_number, t = 300.0;
    Inflection lo_inflection, hi_inflection;
    for (int k = 0; k < 40 && !(std::isfinite(t_lo) && std::isfinite(t_hi)); ++k) {
        const Inflection i = inflection(m, t);
        if (!i.found) break;
        if (i.slope < 0.0) {
            t_lo = t;
            lo_inflection = i;
            t *= 1.3;
        } else {
            t_hi = t;
            hi_inflection = i;
            t /= 1.3;
        }
        if (std::isfinite(t_lo) && std::isfinite(t_hi)) break;
    }
    if (!(std::isfinite(t_lo) && std::isfinite(t_hi))) {
        r.status = Status::no_solution;
        r.message = "the isotherms have no loop that closes between 4 K and 1e6 K";
        return r;
    }
    // Bisection-secant on the inflection's slope, then Newton in (T, rho) on f1 = f2 = 0.
    double s_lo = lo_inflection.slope, s_hi = hi_inflection.slope, rho = 0.5 * (lo_inflection.rho + hi_inflection.rho);
    for (int k = 0; k < 60 && t_hi - t_lo > 1e-6 * t_hi; ++k) {
        t = t_hi - s_hi * (t_hi - t_lo) / (s_hi - s_lo);
        if (!(t > t_lo && t < t_hi)) t = 0.5 * (t_lo + t_hi);
        const Inflection i = inflection(m, t);
        rho = i.rho;
        if (i.slope < 0.0) {
            t_lo = t;
            s_lo = i.slope;
        } else {
            t_hi = t;
            s_hi = i.slope;
        }
    }
    t = 0.5 * (t_lo + t_hi);
    for (int it = 1; it <= kNewtonSteps; ++it) {
        r.iterations = it;
        const Isotherm i = at(m, t, rho);
        // [f1_t f2 ; f2_t f3] [dT drho] = -[f1 f2]
        const double det = i.f1_t * i.f3 - i.f2 * i.f2_t;
        const double dt = (-i.f1 * i.f3 + i.f2 * i.f2) / det;
        const double drho = (-i.f1_t * i.f2 + i.f2_t * i.f1) / det;
        t += dt;
        rho += drho;
        r.residual = std::max(std::fabs(i.f1), std::fabs(i.f2) * rho);
        if (std::fabs(dt) <= 1e-14 * t && std::fabs(drho) <= 1e-14 * rho) break;
    }
    if (!critical_accepted(m, t, rho, r.residual, kPure)) {
        r.status = Status::not_converged;
        r.message = "critical point not converged: |dP/drho|/RT, |d2P/drho2| rho/RT = " + format_number(r.residual);
        return r;
    }
    r.status = Status::converged;
    r.t = t;
    r.rho = rho;
    r.p = pressure(m, t, rho);
    return r;
}

namespace {

// ln phi and the enthalpy of vaporisation from the two phases' tables: for a
// pure fluid ln phi = alpha_r + Z - 1 - ln Z and H_res/RT = -T alpha_r,T + Z - 1.
void fill_phases(PureCoexistence &r, const Model &m, double t, double rho_l, const Branch &l, double rho_v,
                 const Branch &v) {
    const double z_l = l.f0 / rho_l, z_v = v.f0 / rho_v;
    r.ln_phi = v.a + z_v - 1.0 - std::log(z_v);
    r.h_vaporisation =
        kGasConstant * t * ((-t * alphar_t(m, t, rho_v) + z_v) - (-t * alphar_t(m, t, rho_l) + z_l));
}

// The coexisting densities of `start` carried to T along the curve's
// tangent: differentiating equal P/RT and equal g of the two phases along the
// curve gives J d(rho_L, rho_V)/dT = -(f0_t,L - f0_t,V, g_t,L - g_t,V) with
// the Jacobian J of the Newton step (the RT of mu/RT - ln RT is common to
// both phases and cancels).
bool tangent_start(const Model &m, const PureCoexistence &start, double t, double &rho_l, double &rho_v) {
    const Slopes l = slopes_at(m, start.t, start.rho_liquid), v = slopes_at(m, start.t, start.rho_vapour);
    const double a = l.f1, b = -v.f1, c = l.f1 / start.rho_liquid, d = -v.f1 / start.rho_vapour;
    const double r1 = l.f0_t - v.f0_t, r2 = l.g_t - v.g_t;
    const double det = a * d - b * c;
    const double dl = (-r1 * d + b * r2) / det, dv = (-a * r2 + c * r1) / det;
    const double h = t - start.t;
    rho_l = start.rho_liquid + h * dl;
    rho_v = start.rho_vapour + h * dv;
    // A step too long for the tangent (crossing densities, a vapour at or below zero) is not taken.
    return std::isfinite(rho_l) && std::isfinite(rho_v) && rho_v > 0.0 && rho_l > rho_v &&
           rho_v > 0.5 * start.rho_vapour && rho_l < m.max_density(t, kPure);
}

// Newton's method in (rho_L, rho_V) from the given densities.
PureCoexistence newton_coexistence(const Model &m, double t, double rho_l, double rho_v) {
    PureCoexistence r;
    r.t = t;
    // Along the isotherm's line from the second iteration: a start at the answer converges in one,
    // where forming the line would cost more than it saves.
    std::unique_ptr<model::DensityLine> line;
    for (int it = 1; it <= kNewtonSteps; ++it) {
        r.iterations = it;
        if (it == 2) line = isotherm_of(m, t);
        const Branch l = line ? branch_at(*line, rho_l) : branch_at(m, t, rho_l);
        const Branch v = line ? branch_at(*line, rho_v) : branch_at(m, t, rho_v);
        const double r1 = l.f0 - v.f0, r2 = l.g - v.g;
        // Equal pressures relative to the pressure, or to what the last bits of rho_L resolve of a
        // liquid's pressure (rho (dP/drho) 1e-15 / RT), whichever is coarser: at low pressure the
        // liquid's P/RT is a small difference of terms of the size of rho_L.
        const double scale = std::max(std::fabs(l.f0), std::fabs(v.f0));
        const double resolved = std::max(kCoexistenceTolerance * scale, 1e-15 * rho_l * std::fabs(l.f1));
        r.residual = std::fabs(r2);
        if (std::fabs(r2) <= kCoexistenceTolerance && std::fabs(r1) <= resolved) {
            // Two distinct, mechanically stable phases: a solution with a density inside the
            // spinodal region also satisfies the two equations, and is none.
            if (l.f1 > 0.0 && v.f1 > 0.0 && rho_l > rho_v * (1.0 + 1e-9)) {
                r.status = Status::converged;
                r.p = kGasConstant * t * v.f0;
                fill_phases(r, m, t, rho_l, l, rho_v, v);
            }
            break;
        }
        // J = [[l.f1, -v.f1], [l.f1/rho_l, -v.f1/rho_v]]
        const double a = l.f1, b = -v.f1, c = l.f1 / rho_l, d = -v.f1 / rho_v;
        const double det = a * d - b * c;
        const double dl = (-r1 * d + b * r2) / det, dv = (-a * r2 + c * r1) / det;
        if (!std::isfinite(dl) || !std::isfinite(dv)) break;
        // Damp steps that would leave the branches (negative or crossing densities, past close packing).
        double damping = 1.0;
        const double one = 1.0, rho_max = m.residual().max_density(t, &one);
        while (damping > 1e-4 && (rho_l + damping * dl <= rho_v + damping * dv || rho_v + damping * dv <= 0.0 ||
                                  rho_l + damping * dl >= rho_max))
            damping *= 0.5;
        rho_l += damping * dl;
        rho_v += damping * dv;
    }
    if (r.status != Status::converged) {
        r.status = Status::not_converged;
        r.message = "coexistence not converged at T = " + format_number(t) +
                    " K; |ln f_L - ln f_V| = " + format_number(r.residual);
        return r;
    }
    r.rho_liquid = rho_l;
    r.rho_vapour = rho_v;
    return r;
}

// The vapour in equilibrium with the liquid at rho_l (its branch l at a low pressure), with the
// vapour described by its second and third virial coefficients (alpha_r = B rho + C rho^2 / 2) and
// the liquid's g carried to the pressure as incompressible (dg = dP / (R T rho_l)): the root of
//     h(rho) = ln rho + 2 B rho + 3/2 C rho^2 - g_l - (rho + B rho^2 + C rho^3 - f0_l) / rho_l.
// Near the critical temperature the ideal vapour's fugacity is 20 % or more off the vapour's, and
// each such percent costs Newton's method on the coexistence an iteration; where the virial vapour
// has no such root (h' <= 0 on the way), the ideal vapour of the liquid's fugacity. p_over_rt: the
// vapour's P / (R T).
double virial_vapour(const Model &m, double t, double rho_l, const Branch &l, double &p_over_rt) {
    double ideal = std::exp(l.g);
    for (int k = 0; k < 3; ++k) ideal = std::exp(l.g + (ideal - l.f0) / rho_l);
    p_over_rt = ideal;
    const double x = 1.0, rho0 = 1e-7 * rho_l;
    const model::DensitySlopes s = m.residual().density_slopes(t, rho0, &x);
    const double c = s.a_rhorho, b = s.a_rho - c * rho0;
    if (!(std::isfinite(b) && std::isfinite(c))) return ideal;
    double rho = ideal;
    for (int it = 0; it < 20; ++it) {
        const double h = std::log(rho) + rho * (2.0 * b + 1.5 * c * rho) - l.g -
                         (rho * (1.0 + rho * (b + c * rho)) - l.f0) / rho_l;
        const double dh = 1.0 / rho + 2.0 * b + 3.0 * c * rho - (1.0 + rho * (2.0 * b + 3.0 * c * rho)) / rho_l;
        if (!(dh > 0.0)) return ideal;
        const double next = rho - h / dh;
        if (!(next > 0.0 && next < rho_l)) return ideal;
        if (std::fabs(next - rho) <= 1e-12 * rho) {
            p_over_rt = next * (1.0 + next * (b + c * next));
            return next;
        }
        rho = next;
    }
    return ideal;
}

// The liquid at a small pressure, with a vapour of its fugacity, as a start.
bool low_pressure_start(const Model &m, double t, double &rho_l, double &rho_v, const PureCritical *critical) {
    std::optional<double> liquid = liquid_at_low_pressure(m, t, rackett_liquid(critical, t));
    if (!liquid) liquid = density(m, t, 1.0, kPure, Phase::liquid);
    if (!liquid) return false;
    const Branch l = branch_at(m, t, *liquid);
    if (!(l.f0 > 0.0) || l.f1 <= 0.0) return false;
    rho_l = *liquid;
    double p_over_rt = 0.0;
    rho_v = virial_vapour(m, t, rho_l, l, p_over_rt);
    // The liquid carried to that pressure along its slope (near T_c it is percent less dense at 1 Pa).
    const double carried = rho_l + (p_over_rt - l.f0) / l.f1;
    if (carried > rho_l && carried < m.max_density(t, kPure)) rho_l = carried;
    return std::isfinite(rho_v) && rho_v > 0.0 && rho_v < rho_l;
}

}  // namespace

PureCritical pseudo_critical_point(const Model &m, std::span<const double> x) {
    PureCritical r;
    const std::optional<CriticalSolution> fast = fast_critical(m, x);
    if (!fast || !fill_critical(m, *fast, x, r)) {
        r = PureCritical{};
        r.status = Status::not_converged;
        r.message = "no point with dP/drho = d2P/drho2 = 0 found at this composition";
    }
    return r;
}

PureCoexistence pure_coexistence(const Model &m, double t, const PureCoexistence *start,
                                 const PureCritical *critical) {
    PureCoexistence r;
    r.t = t;
    if (m.size() != 1 || !(std::isfinite(t) && t > 0.0)) {
        r.status = Status::invalid_input;
        r.message = m.size() != 1 ? "coexistence of a pure fluid needs a model of one component"
                                  : "T must be a positive number";
        return r;
    }
    const bool near_critical = critical != nullptr && critical->status == Status::converged;
    if (near_critical && t >= critical->t) {
        r.status = Status::supercritical;
        r.message = "no vapour-liquid coexistence at T = " + format_number(t) +
                    " K: above the critical temperature of the model (" + format_number(critical->t) + " K)";
        return r;
    }
    if (start != nullptr && start->status == Status::converged && start->rho_liquid > 0.0) {
        double rho_l = start->rho_liquid, rho_v = start->rho_vapour;
        if (start->t != t && !tangent_start(m, *start, t, rho_l, rho_v)) {
            rho_l = start->rho_liquid;
            rho_v = start->rho_vapour;
        }
        r = newton_coexistence(m, t, rho_l, rho_v);
        if (r.status == Status::converged) return r;
    }
    if (!near_critical || t <= kScalingFrom * critical->t) {
        double rho_l, rho_v;
        if (!low_pressure_start(m, t, rho_l, rho_v, critical)) {
            r.status = Status::no_solution;
            r.message = "no liquid density root of the model at T = " + format_number(t) + " K to start from";
            return r;
        }
        return newton_coexistence(m, t, rho_l, rho_v);
    }
    // Up to kDirectTo Tc the low-pressure start usually still converges, at a fraction of the
    // cost of the approach below; only its failure takes that approach.
    if (t <= kDirectTo * critical->t) {
        double rho_l, rho_v;
        if (low_pressure_start(m, t, rho_l, rho_v, critical)) {
            r = newton_coexistence(m, t, rho_l, rho_v);
            if (r.status == Status::converged) return r;
        }
    }
    // Near the critical point: from a point at kScalingFrom Tc, along the densities' approach to the
    // critical density as tau = (1 - T/Tc)^(1/2), in steps that shorten towards Tc.
    PureCoexistence last = pure_coexistence(m, kScalingFrom * critical->t, nullptr, critical);
    if (last.status != Status::converged) return last;
    const double tau_target = std::sqrt(1.0 - t / critical->t);
    while (true) {
        const double tau_last = std::sqrt(1.0 - last.t / critical->t);
        const double tau = std::max(tau_target, 0.5 * tau_last);
        const double f = tau / tau_last;
        const double t_next = tau == tau_target ? t : critical->t * (1.0 - tau * tau);
        PureCoexistence next = newton_coexistence(m, t_next, critical->rho + (last.rho_liquid - critical->rho) * f,
                                                  critical->rho + (last.rho_vapour - critical->rho) * f);
        if (next.status != Status::converged) return next;
        if (tau == tau_target) return next;
        last = next;
    }
}

PureCoexistence pure_coexistence_at_pressure(const Model &m, double p, const PureCoexistence *start,
                                             const PureCritical *critical) {
    PureCoexistence r;
    if (m.size() != 1 || !(std::isfinite(p) && p > 0.0)) {
        r.status = Status::invalid_input;
        r.message = "a boiling temperature needs a model of one component and a positive pressure";
        return r;
    }
    if (critical != nullptr && critical->status == Status::converged && p >= critical->p) {
        r.status = Status::supercritical;
        r.message = "no vapour-liquid coexistence at P = " + format_number(p) +
                    " Pa: above the critical pressure of the model (" + format_number(critical->p) + " Pa)";
        return r;
    }
    PureCoexistence here = start != nullptr ? *start : PureCoexistence{};
    double t = here.status == Status::converged ? here.t : (critical ? 0.7 * critical->t : 300.0);
    if (here.status != Status::converged) here = pure_coexistence(m, t, nullptr, critical);
    for (int it = 1; it <= kNewtonSteps && here.status == Status::converged; ++it) {
        r.iterations = it;
        const double g = std::log(here.p / p);
        if (std::fabs(g) <= 1e-13) {
            r = here;
            r.iterations = it;
            return r;
        }
        // d ln P_sat / dT = Delta h / (R T^2 Delta Z), Delta h from the residual enthalpies.
        const Properties l = properties(m, here.t, here.rho_liquid, kPure, {false, nullptr});
        const Properties v = properties(m, here.t, here.rho_vapour, kPure, {false, nullptr});
        const double slope = (v.h_res - l.h_res) / (kGasConstant * here.t * here.t * (v.z - l.z));
        double next = here.t - g / slope;
        if (!(next > 0.5 * here.t && next < 1.5 * here.t)) next = g > 0.0 ? 0.9 * here.t : 1.05 * here.t;
        if (critical != nullptr && critical->status == Status::converged)
            next = std::min(next, here.t + 0.5 * (critical->t - here.t));
        PureCoexistence again = pure_coexistence(m, next, &here, critical);
        if (again.status != Status::converged) again = pure_coexistence(m, next, nullptr, critical);
        here = again;
    }
    r = here;
    if (r.status == Status::converged) r.status = Status::not_converged;
    r.message = "boiling temperature not converged at P = " + format_number(p) + " Pa" +
                (here.message.empty() ? "" : ": " + here.message);
    return r;
}

}  // namespace keld::equilibria
