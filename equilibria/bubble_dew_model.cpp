// Bubble and dew points on the model (see bubble_dew_model.h).
#include "bubble_dew_model.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "incipient_isothermal.h"
#include "model/residual.h"
#include "numerics.h"
#include "two_phase.h"

namespace keld::equilibria::detail {
namespace {

constexpr double kLowestPressure = 1e4;   // Pa: below it the monitors' liquid roots are coarser than 1e-12
constexpr double kFugacityTolerance = 1e-12;
constexpr double kDistinctPhases = 1e-3;  // relative difference of the two phases' densities
constexpr int kNewtonSteps = 30;
constexpr double kWilson = 5.373;         // ln 10 * 7/3: the corresponding-states vapour-pressure slope

// Corresponding-states vapour pressures of the pure components at T (Pa):
// ln(P_sat/P_c) = 5.373 (1 + omega) (1 - T_c/T).
struct VapourPressures {
    std::vector<double> tc, pc, a;  // a = 5.373 (1 + omega)
    double ln_p(std::size_t i, double u) const { return std::log(pc[i]) + a[i] * (1.0 - tc[i] * u); }  // u = 1/T
};

bool vapour_pressures(System &system, VapourPressures &vp) {
    const std::size_t n = system.size();
    vp.tc.resize(n);
    vp.pc.resize(n);
    vp.a.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const PureModel &pm = system.pure_model(k);
        if (pm.model == nullptr || pm.critical.status != Status::converged) return false;
        const double omega = std::isfinite(pm.acentric) ? pm.acentric : 0.2;
        vp.tc[k] = pm.critical.t;
        vp.pc[k] = pm.critical.p;
        vp.a[k] = kWilson * (1.0 + omega);
    }
    return true;
}

// The state of an ideal solution with those vapour pressures: ln of the
// incipient phase's "sum" (sum x_i P_i / P for a bubble point, P sum y_i / P_i
// for a dew point) and its derivative in 1/T.
double ideal_mismatch(const VapourPressures &vp, bool bubble, std::span<const double> z, double u, double p,
                      double *slope) {
    double s = 0.0, ds = 0.0;
    for (std::size_t i = 0; i < z.size(); ++i) {
        const double ln_pi = vp.ln_p(i, u), d = -vp.a[i] * vp.tc[i];
        const double term = bubble ? z[i] * std::exp(ln_pi) : z[i] * std::exp(-ln_pi);
        s += term;
        ds += bubble ? term * d : -term * d;
    }
    if (slope != nullptr) *slope = ds / s;
    return std::log(s) + (bubble ? -std::log(p) : std::log(p));
}

// T (given P) or P (given T) and the incipient composition of the ideal
// solution: the cold start.
bool ideal_start(const VapourPressures &vp, bool bubble, bool given_t, std::span<const double> z, double &t,
                 double &p, std::vector<double> &w) {
    if (given_t) {
        double s = 0.0;
        for (std::size_t i = 0; i < z.size(); ++i)
            s += bubble ? z[i] * std::exp(vp.ln_p(i, 1.0 / t)) : z[i] * std::exp(-vp.ln_p(i, 1.0 / t));
        p = bubble ? s : 1.0 / s;
    } else {
        double u = 0.0;
        for (std::size_t i = 0; i < z.size(); ++i) u += z[i] * 0.7 * vp.tc[i];
        u = 1.0 / u;
        for (int it = 0; it < 30; ++it) {
            double slope = 0.0;
            const double f = ideal_mismatch(vp, bubble, z, u, p, &slope);
            const double next = std::clamp(u - f / slope, 0.7 * u, 1.3 * u);
            if (!std::isfinite(next)) return false;
            const bool done = std::fabs(next - u) <= 1e-10 * u;
            u = next;
            if (done) break;
        }
        t = 1.0 / u;
    }
    w.resize(z.size());
    double total = 0.0;
    for (std::size_t i = 0; i < z.size(); ++i) {
        const double ratio = std::exp(vp.ln_p(i, 1.0 / t)) / p;  // the ideal K_i
        w[i] = bubble ? z[i] * ratio : z[i] / ratio;
        total += w[i];
    }
    for (double &wi : w) wi /= total;
    return std::isfinite(t) && t > 0.0 && std::isfinite(p) && p > 0.0 && std::isfinite(total) && total > 0.0;
}

// A neighbouring point at another T carried to T, to first order where it costs little: the
// incipient phase's composition and the vapour's density by the corresponding-states vapour
// pressures' change (Raoult's law), the liquid's density by a Newton step to the carried pressure
// (P is nearly linear in rho over a liquid's thermal expansion). Newton then starts from a residual
// a tenth of the neighbour's and saves an iteration; off the liquid branch the liquid keeps its
// density.
void carry_to_t(const Model &m, const VapourPressures &vp, bool bubble, const std::vector<double> &z, double t_from,
                double t, double p_from, std::vector<double> &w, double &rho_l, double &rho_v) {
    double s = 0.0;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const double ratio = std::exp(vp.ln_p(i, 1.0 / t) - vp.ln_p(i, 1.0 / t_from));
        w[i] = bubble ? w[i] * ratio : w[i] / ratio;
        s += w[i];
    }
    if (!(std::isfinite(s) && s > 0.0)) return;
    for (double &v : w) v /= s;
    const double p_ratio = bubble ? s : 1.0 / s;  // P / P_from of the ideal solution
    rho_v *= p_ratio * t_from / t;
    const double rt = kGasConstant * t, p = p_from * p_ratio;
    const model::DensitySlopes a = m.residual().density_slopes(t, rho_l, bubble ? z.data() : w.data());
    const double p_rho = rt * (1.0 + 2.0 * rho_l * a.a_rho + rho_l * rho_l * a.a_rhorho);
    const double rho = rho_l - (rho_l * rt * (1.0 + rho_l * a.a_rho) - p) / p_rho;
    if (p_rho > 0.0 && std::isfinite(rho) && rho > rho_v) rho_l = rho;
}

// dP/drho of a phase at constant composition (> 0: mechanically stable).
double compressibility_slope(const PhaseDerivatives &ph) {
    const double total = ph.rho_total();
    double s = 0.0;
    for (std::size_t j = 0; j < ph.rho.size(); ++j) s += ph.p_rho[j] * ph.rho[j] / total;
    return s;
}

// Whether the phase is the model's root of its kind at its composition: no
// other root between it and zero density (a vapour) or close packing (a
// liquid), seen as P rising with the density at sample points over that
// range (a root of another kind needs a loop there, where P falls). The cost
// of a few density slopes along the composition's line, where a density root
// from scratch costs ten; the line from `isotherm` (the model's at T) where given.
constexpr int kRootSamples = 4;

bool is_root_of_kind(const Model &m, double t, std::span<const double> rho, Phase kind,
                     const model::AmountIsotherm *isotherm) {
    double total = 0.0;
    for (double r : rho) total += r;
    std::vector<double> x(rho.size());
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = rho[i] / total;
    const std::unique_ptr<model::DensityLine> line =
        isotherm ? isotherm->line(x.data()) : m.residual().density_line(t, x.data());
    const double far = kind == Phase::vapour ? 0.0 : line->max_density();
    for (int k = 1; k < kRootSamples; ++k) {
        const double r = total + (far - total) * k / kRootSamples;
        const model::DensityDerivatives s = line->derivatives(r);
        if (!(1.0 + 2.0 * r * s.a_rho + r * r * s.a_rhorho > 0.0)) return false;
    }
    return true;
}

// A solved phase as the checks and the result see it: amount densities (kmol/m3), dPsi/dn_i,
// P/(RT) (kmol/m3) and d(P/RT)/drho at constant composition.
struct PhaseView {
    std::span<const double> rho, g;
    double p = 0.0, slope = 0.0;
    double rho_total() const {
        double total = 0.0;
        for (double r : rho) total += r;
        return total;
    }
};

PhaseView view_of(const PhaseDerivatives &ph) { return {ph.rho, ph.g, ph.p, compressibility_slope(ph)}; }
PhaseView view_of(const IsothermalPhase &ph) { return {ph.rho, ph.g, ph.p, ph.slope}; }

// Whether a solved pair of phases is a bubble or dew point to return: P at least 1e4 Pa, two distinct
// phases, each mechanically stable and the model's root of its kind.
bool acceptable(const Model &m, double t, const PhaseView &liquid, const PhaseView &vapour,
                const model::AmountIsotherm *isotherm = nullptr) {
    return kGasConstant * t * vapour.p >= kLowestPressure &&
           liquid.rho_total() > (1.0 + kDistinctPhases) * vapour.rho_total() && liquid.slope > 0.0 &&
           vapour.slope > 0.0 && is_root_of_kind(m, t, liquid.rho, Phase::liquid, isotherm) &&
           is_root_of_kind(m, t, vapour.rho, Phase::vapour, isotherm);
}

void fill_phase(const PhaseView &ph, double p_over_rt, std::vector<double> &composition,
                std::vector<double> &ln_phi) {
    const double total = ph.rho_total(), ln_z = std::log(p_over_rt / total);
    composition.resize(ph.rho.size());
    ln_phi.resize(ph.rho.size());
    for (std::size_t i = 0; i < ph.rho.size(); ++i) {
        composition[i] = ph.rho[i] / total;
        ln_phi[i] = ph.g[i] - ln_z;
    }
}

// Newton's method from the incipient composition w at (t, p), the phases'
// densities from rho_l and rho_v where given (else their roots at (t, p));
// true with a point of a liquid and a vapour that are the model's roots of
// their kinds.
bool converge(const Model &m, const TwoPhaseProblem &problem, bool bubble, const std::vector<double> &z,
              const std::vector<double> &w, double t, double p, double rho_l, double rho_v, TwoPhasePoint &point) {
    const std::vector<double> &x = bubble ? z : w;
    if (!(rho_l > 0.0 && std::isfinite(rho_l))) {
        const std::optional<double> root = density(m, t, p, x, Phase::liquid);
        if (!root) return false;
        rho_l = *root;
    }
    // An ideal vapour: Newton corrects its Z in a step, at a tenth of a density root's cost.
    if (!(rho_v > 0.0 && std::isfinite(rho_v))) rho_v = p / (kGasConstant * t);
    if (!(rho_l > rho_v)) return false;
    const std::size_t n = z.size();
    const double rho_given = bubble ? rho_l : rho_v, rho_incipient = bubble ? rho_v : rho_l;
    std::vector<double> start(problem.unknowns());
    for (std::size_t i = 0; i < n; ++i) {
        start[i] = std::log(z[i] * rho_given);
        start[problem.index_ln_k(i)] = std::log(w[i] * rho_incipient / (z[i] * rho_given));
    }
    start[problem.index_ln_t()] = std::log(t);
    if (!correct(problem, start, kNoSpec, 0.0, point, kNewtonSteps)) return false;
    const PhaseDerivatives &liquid = bubble ? point.one : point.two, &vapour = bubble ? point.two : point.one;
    return acceptable(m, point.t(), view_of(liquid), view_of(vapour));
}

// A liquid's density near P for a cold start, where Newton at T moves it anyway: a few Newton steps
// down its convex branch from a dense start (from the dense side they approach the root
// monotonically), the full search where they leave the branch.
constexpr double kDenseStart = 0.7;  // of the model's densest state
constexpr int kStartSteps = 4;

std::optional<double> liquid_start(const Model &m, double t, double p, const std::vector<double> &x) {
    const double rt = kGasConstant * t, rho_max = m.max_density(t, x);
    const std::unique_ptr<model::DensityLine> line = m.residual().density_line(t, x.data());
    double rho = kDenseStart * rho_max;
    for (int k = 0; k < kStartSteps; ++k) {
        const model::DensityDerivatives a = line->derivatives(rho);
        const double pr = rho * rt * (1.0 + rho * a.a_rho), dp = rt * (1.0 + 2.0 * rho * a.a_rho + rho * rho * a.a_rhorho);
        const double next = rho - (pr - p) / dp;
        if (!(pr > p && dp > rt && next > 0.0 && next < rho)) return density(m, t, p, x, Phase::liquid);
        rho = next;
    }
    return rho;
}

// The same at a given T: Newton in the given phase's density and the incipient phase's amounts.
bool converge_isothermal(const Model &m, bool bubble, const std::vector<double> &z, const std::vector<double> &w,
                         double t, double p, double rho_l, double rho_v, IsothermalIncipient &point) {
    if (!(rho_l > 0.0 && std::isfinite(rho_l))) {
        const std::optional<double> root = liquid_start(m, t, p, bubble ? z : w);
        if (!root) return false;
        rho_l = *root;
    }
    if (!(rho_v > 0.0 && std::isfinite(rho_v))) rho_v = p / (kGasConstant * t);
    if (!(rho_l > rho_v)) return false;
    const double rho_given = bubble ? rho_l : rho_v, rho_incipient = bubble ? rho_v : rho_l;
    std::vector<double> incipient(w.size());
    for (std::size_t i = 0; i < w.size(); ++i) incipient[i] = w[i] * rho_incipient;
    // The solve and the checks at T share what depends on T alone.
    const std::unique_ptr<model::AmountIsotherm> isotherm = m.residual().amount_isotherm(t);
    if (!solve_isothermal_incipient(m, t, z, rho_given, incipient, point, kNewtonSteps, isotherm.get())) return false;
    const IsothermalPhase &liquid = bubble ? point.given : point.incipient;
    const IsothermalPhase &vapour = bubble ? point.incipient : point.given;
    return acceptable(m, t, view_of(liquid), view_of(vapour), isotherm.get());
}

// A point at T whose cold start fails, reached from the least volatile component's side. Near a
// mixture's critical point Raoult's law puts P past the point and Newton falls onto the trivial
// solution; with the given composition z(s) = s z + (1 - s) e_h, h the least volatile component,
// the cold start holds at a smaller share s, and the point is carried from there to s = 1 in steps,
// each started from its predecessors extrapolated linearly in the solver's unknowns (ln of the given
// phase's density and of the incipient phase's amount densities), the step longer after an easy
// point and halved after a failed one. Every intermediate point passes the acceptance of a returned
// one, so the path never continues from a wrong root.
constexpr double kColdShares[] = {0.5, 0.25, 0.1};
constexpr double kFirstShareStep = 0.25, kLeastShareStep = 1e-3;
constexpr int kContinuationSolves = 60;

bool continue_from_heavy(const Model &m, const VapourPressures &vp, bool bubble, const std::vector<double> &z,
                         double t, IsothermalIncipient &point) {
    const std::size_t n = z.size(), k = n + 1;
    std::size_t heavy = 0;
    for (std::size_t i = 1; i < n; ++i)
        if (vp.ln_p(i, 1.0 / t) < vp.ln_p(heavy, 1.0 / t)) heavy = i;
    std::vector<double> zs(n), w(n), unknowns(2 * k), next(k);
    const auto mix = [&](double share) {
        for (std::size_t i = 0; i < n; ++i) zs[i] = share * z[i] + (i == heavy ? 1.0 - share : 0.0);
    };
    // The unknowns of the last two points: [0, k) the earlier, [k, 2k) the later.
    const auto record = [&]() {
        std::copy(unknowns.begin() + k, unknowns.end(), unknowns.begin());
        unknowns[k] = std::log(point.given.rho_total());
        for (std::size_t i = 0; i < n; ++i) unknowns[k + 1 + i] = std::log(point.incipient.rho[i]);
    };
    double share = 0.0, earlier = not_a_number;
    for (double s : kColdShares) {
        mix(s);
        double t0 = t, p0 = not_a_number;
        if (ideal_start(vp, bubble, true, zs, t0, p0, w) &&
            converge_isothermal(m, bubble, zs, w, t, p0, not_a_number, not_a_number, point)) {
            share = s;
            break;
        }
    }
    if (!(share > 0.0)) return false;
    record();
    double step = std::min(kFirstShareStep, 1.0 - share);
    for (int solve = 0; solve < kContinuationSolves && step >= kLeastShareStep; ++solve) {
        const double target = std::min(1.0, share + step);
        const double along = std::isfinite(earlier) ? (target - share) / (share - earlier) : 0.0;
        double incipient_total = 0.0;
        for (std::size_t j = 0; j < k; ++j) next[j] = unknowns[k + j] + along * (unknowns[k + j] - unknowns[j]);
        for (std::size_t i = 0; i < n; ++i) incipient_total += w[i] = std::exp(next[1 + i]);
        for (double &v : w) v /= incipient_total;
        const double given = std::exp(next[0]);
        mix(target);
        if (converge_isothermal(m, bubble, zs, w, t, not_a_number, bubble ? given : incipient_total,
                                bubble ? incipient_total : given, point)) {
            if (target == 1.0) return true;
            earlier = share;
            share = target;
            record();
            step = std::min(2.0 * step, 1.0 - share);
        } else {
            step *= 0.5;
        }
    }
    return false;
}

}  // namespace

std::optional<BubbleDewResult> model_bubble_dew(System &system, IncipientPhase incipient, bool given_t, double value,
                                                std::span<const double> composition, const BubbleDewGuess &guess) {
    const std::size_t n = system.size();
    if (composition.size() != n || !(std::isfinite(value) && value > 0.0)) return std::nullopt;
    double total = 0.0;
    for (double v : composition) {
        // A component absent from the given phase would have no density variable.
        if (!(v > 0.0 && std::isfinite(v))) return std::nullopt;
        total += v;
    }
    // A polymer has no vapour-pressure start; such systems keep the monitors' iteration.
    if (!system.all_volatile()) return std::nullopt;
    const MixtureModel &mm = system.mixture_model();
    if (mm.model == nullptr) return std::nullopt;
    const Model &m = *mm.model;
    const bool bubble = incipient == IncipientPhase::vapour;
    std::vector<double> z(composition.begin(), composition.end()), w;
    for (double &v : z) v /= total;

    // The given phase is the first of the problem: its composition (and T, or P on the vapour) held.
    TwoPhaseProblem problem;
    problem.model = &m;
    problem.fixed_t = given_t;
    problem.t = value;
    problem.fixed_p = !given_t;
    problem.p = value;
    problem.fixed_p_on_second = bubble;
    problem.isothermal_evaluation = given_t;
    if (!given_t)
        for (double v : z) problem.ln_feed.push_back(std::log(v));

    // From the neighbouring point given; from an ideal solution of corresponding-states vapour
    // pressures where there is none or it does not lead to the point.
    // At a given T the isothermal Newton (the given phase along its composition's line), else the
    // two-phase problem with T among the unknowns.
    TwoPhasePoint point;
    IsothermalIncipient at_t;
    const auto attempt = [&](double t0, double p0, double rho_l, double rho_v) {
        return given_t ? converge_isothermal(m, bubble, z, w, value, p0, rho_l, rho_v, at_t)
                       : converge(m, problem, bubble, z, w, t0, p0, rho_l, rho_v, point);
    };
    double t = given_t ? value : guess.t, p = given_t ? guess.p : value;
    bool solved = false;
    if (std::isfinite(t) && t > 0.0 && std::isfinite(p) && p > 0.0 && guess.incipient.size() == n &&
        std::all_of(guess.incipient.begin(), guess.incipient.end(), [](double v) { return v > 0.0; })) {
        w = guess.incipient;
        double s = 0.0;
        for (double v : w) s += v;
        for (double &v : w) v /= s;
        double rho_l = guess.v_liquid > 0.0 ? 1.0 / guess.v_liquid : not_a_number;
        double rho_v = guess.v_vapour > 0.0 ? 1.0 / guess.v_vapour : not_a_number;
        VapourPressures vp;
        if (given_t && std::isfinite(guess.t) && guess.t > 0.0 && guess.t != value && std::isfinite(rho_l) &&
            std::isfinite(rho_v) && vapour_pressures(system, vp))
            carry_to_t(m, vp, bubble, z, guess.t, value, guess.p, w, rho_l, rho_v);
        solved = attempt(t, p, rho_l, rho_v);
    }
    if (!solved) {
        VapourPressures vp;
        t = given_t ? value : not_a_number;
        p = given_t ? not_a_number : value;
        if (!vapour_pressures(system, vp)) return std::nullopt;
        if (!(ideal_start(vp, bubble, given_t, z, t, p, w) && attempt(t, p, not_a_number, not_a_number)) &&
            !(given_t && continue_from_heavy(m, vp, bubble, z, value, at_t)))
            return std::nullopt;
    }

    PhaseView liquid, vapour;
    int iterations = 0;
    if (given_t) {
        liquid = view_of(bubble ? at_t.given : at_t.incipient);
        vapour = view_of(bubble ? at_t.incipient : at_t.given);
        t = value;
        iterations = at_t.iterations;
    } else {
        liquid = view_of(bubble ? point.one : point.two);
        vapour = view_of(bubble ? point.two : point.one);
        t = point.t();
        iterations = point.iterations;
    }
    // The returned P is the vapour's (the given one at given P): found again there the vapour is the same
    // root, and the liquid, whose P resolves only to the rounding of its large terms, moves ln f by
    // (P_V/P_L - 1) Z_L.
    p = given_t ? kGasConstant * t * vapour.p : value;
    double residual = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double ln_f_l = std::log(liquid.rho[i]) + liquid.g[i], ln_f_v = std::log(vapour.rho[i]) + vapour.g[i];
        residual = std::max(residual, std::fabs(ln_f_l - ln_f_v));
    }
    residual += std::fabs(vapour.p / liquid.p - 1.0) * liquid.p / liquid.rho_total() +
                std::fabs(p / (kGasConstant * t * vapour.p) - 1.0);
    if (!(residual <= kFugacityTolerance)) return std::nullopt;

    BubbleDewResult r;
    r.status = Status::converged;
    r.t = t;
    r.p = p;
    const double p_over_rt = p / (kGasConstant * t);
    fill_phase(liquid, p_over_rt, r.x, r.ln_phi_liquid);
    fill_phase(vapour, p_over_rt, r.y, r.ln_phi_vapour);
    // The given phase's composition as given (its densities reproduce it to rounding).
    (bubble ? r.x : r.y) = z;
    r.v_liquid = 1.0 / liquid.rho_total();
    r.v_vapour = 1.0 / vapour.rho_total();
    r.iterations = iterations;
    r.residual = residual;
    r.evaluations = 0;
    return r;
}

}  // namespace keld::equilibria::detail
