// The density root of one phase on the model's own P(rho) (see keld/model.hpp).
//
// Below the model's densest state rho_max, a liquid is the densest root of
// P(rho) = P with dP/drho > 0, a vapour the lightest. Newton's method from
// the dense end (liquid) or from the ideal gas (vapour) finds them directly
// on the usual isotherm: P is convex along the liquid branch and concave
// along the vapour branch, so the iterates approach the root from one side.
// Near the dense end Newton alone creeps (P rises like a power of the free
// density rho_max - rho, and each step grows the free density by only a
// third), so the liquid search steps by that power law there, as far as it
// reaches but never past the root: a step that lands beyond it goes back to
// Newton from the last point on the dense side.
// Where the iterates leave the branch (dP/drho <= 0: beyond the spinodal, or
// a loop of an unusual shape) a scan from the same end brackets the first
// crossing that is mechanically stable, starting where the iterates proved
// the end free of crossings (a branch that never reaches P is left at its
// spinodal, and the scan passes the loop in a few points).
#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <stdexcept>

#include "keld/model.hpp"
#include "model/residual.h"

namespace keld {
namespace {

constexpr int kNewtonSteps = 100;
constexpr int kScanPoints = 240;
constexpr double kScanSpan = 1e-12;  // the scan reaches within this fraction of rho_max (or of 0)

struct PressureSlope {
    double p, dp;  // Pa, Pa m3/kmol
};

// P and dP/drho along one composition's line (its pieces formed once per search).
class Isotherm {
  public:
    Isotherm(const model::DensityLine &line, double t) : line_(line), t_(t) {}
    double rt() const { return kGasConstant * t_; }
    PressureSlope at(double rho) {
        const model::DensityDerivatives a = line_.derivatives(rho);
        const double rt = kGasConstant * t_;
        return {rho * rt * (1.0 + rho * a.a_rho), rt * (1.0 + 2.0 * rho * a.a_rho + rho * rho * a.a_rhorho)};
    }

  private:
    const model::DensityLine &line_;
    double t_;
};

// A Newton step this small (relative) leaves the next iterate within rounding of the root: the
// quadratic error it still carries is far below a unit in the last place.
constexpr double kResolvedStep = 1e-10;
// The liquid search starts this close (relative free density) to the dense end, which is always on
// the liquid branch's dense side; the power-law step grows the free density at most this much at once,
// so that a loop of P cannot be jumped.
constexpr double kLiquidStartFree = 1e-3;
constexpr double kMaxFreeGrowth = 4.0;
// P / p above which the power law is tried (deep in the repulsive wall).
constexpr double kPoleRegionPressureRatio = 30.0;

// Whether a Newton step leaves nothing to resolve: small against rho and against the free density
// rho_max - rho, which sets the curvature of P deep in the repulsive wall; or down to the rounding
// of rho itself (a root within a few units in the last place of rho_max).
bool resolved(double step, double rho, double rho_max) {
    return std::fabs(step) <= std::max(kResolvedStep * std::min(rho, rho_max - rho), 4e-16 * rho);
}

// One Newton step from rho; NaN off the branch.
double newton_step(const PressureSlope &ps, double p) {
    if (!(ps.dp > 0.0) || !std::isfinite(ps.p)) return std::nan("");
    return (ps.p - p) / ps.dp;
}

// Newton from rho0 on one branch; NaN when it leaves the branch or stalls. `below` receives the
// densest of the iterates that climbed from rho0 under p, each with Z <= 1. Beneath such a point no
// crossing lies: Z falls from 1 at zero density while the gas is attractive, and each Newton step up
// a concave vapour branch stays under its tangent, which reaches p only at the next iterate. A vapour
// branch that ends short of p (an ideal-gas start already past its spinodal, at high P) leaves the
// scan that takes over to start there, not at zero density: a tenth of its points or fewer.
double newton(Isotherm &iso, double p, double rho0, double rho_max, double &below) {
    double rho = rho0;
    bool climbing = true;
    for (int it = 0; it < kNewtonSteps; ++it) {
        const PressureSlope ps = iso.at(rho);
        climbing = climbing && ps.p < p && ps.p <= rho * iso.rt() && rho >= below;
        if (climbing) below = rho;
        const double step = newton_step(ps, p);
        if (std::isnan(step)) return step;
        double next = rho - step;
        if (!(next > 0.0)) next = 0.1 * rho;
        if (!(next < rho_max)) next = 0.5 * (rho + rho_max);
        if (resolved(next - rho, rho, rho_max)) return next;
        rho = next;
    }
    return std::nan("");
}

// The liquid root from the dense end: power-law steps in the free density while P is far above p,
// Newton nearer the root. NaN where the dense side leaves the branch (the scan takes over). `above`
// receives the lightest of the points that descended from the dense end over p, each repulsive: the
// wall rises monotonically and each Newton step down a convex liquid branch stays over its tangent,
// which reaches p only at the next iterate, so no crossing lies above it. A liquid branch whose
// pressure never falls to p (a light mixture at low P) leaves the scan to start there.
double liquid_newton(Isotherm &iso, double p, double rho_max, double &above) {
    double rho = rho_max * (1.0 - kLiquidStartFree);
    bool power_law = true, descending = true;
    double dense = rho;  // the last point known to lie on the dense side of the root, and its P
    PressureSlope dense_ps{};
    for (int it = 0; it < kNewtonSteps; ++it) {
        PressureSlope ps = iso.at(rho);
        // The dense side of a liquid root is repulsive, stiffer than the ideal gas (dP/drho > RT); a
        // vapour branch is softer.
        const bool repulsive = ps.dp > iso.rt() && std::isfinite(ps.p);
        descending = descending && repulsive && ps.p > p && rho <= above;
        if (descending) above = rho;
        if (power_law && (!repulsive || ps.p < p) && it > 0) {
            // The power law went past the root, into a loop or beyond it: Newton alone from the dense
            // side.
            power_law = false;
            rho = dense;
            ps = dense_ps;
        }
        // (A start below the root, at extreme pressures: Newton alone, which overshoots to the dense side.)
        if (!(ps.p > p)) power_law = false;
        const double step = newton_step(ps, p);
        if (std::isnan(step)) return step;
        double next = rho - step;
        if (power_law) {
            dense = rho;
            dense_ps = ps;
            const double free = rho_max - rho;
            const double k = ps.dp * free / ps.p;  // P ~ free^-k locally
            if (ps.p > kPoleRegionPressureRatio * p && k > 0.0) {
                const double growth = std::min(std::exp(std::log(ps.p / p) / k), kMaxFreeGrowth);
                next = std::max(std::min(next, rho_max - free * growth), 0.5 * rho);
            }
        }
        if (!(next > 0.0)) next = 0.1 * rho;
        if (!(next < rho_max)) next = 0.5 * (rho + rho_max);
        if (resolved(next - rho, rho, rho_max)) return next;
        rho = next;
    }
    return std::nan("");
}

// Bisection and Newton inside [lo, hi] where P - p changes sign.
double refine(Isotherm &iso, double p, double lo, double hi) {
    PressureSlope f_lo = iso.at(lo);
    double rho = 0.5 * (lo + hi);
    for (int it = 0; it < 200; ++it) {
        const PressureSlope ps = iso.at(rho);
        if ((ps.p - p > 0.0) == (f_lo.p - p > 0.0)) {
            lo = rho;
            f_lo = ps;
        } else {
            hi = rho;
        }
        double next = ps.dp > 0.0 ? rho - (ps.p - p) / ps.dp : 0.5 * (lo + hi);
        // A Newton step below rho's rounding: at the root (the bracket's end it has just become must
        // not send it back to bisection).
        if (ps.dp > 0.0 && std::fabs(next - rho) <= 4e-16 * rho) return next;
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (std::fabs(next - rho) <= 4e-16 * rho || hi - lo <= 4e-16 * hi) return next;
        rho = next;
    }
    return rho;
}

// The first stable crossing from the phase's end of the density range, from the last of the scan's
// points on that end's side of `from` (no crossing lies between the end and it).
double scan(Isotherm &iso, double p, double rho_max, Phase phase, double from) {
    const bool liquid = phase == Phase::liquid;
    auto density_at = [&](int k) {
        const double u = kScanSpan * std::pow(1.0 / kScanSpan, double(k) / kScanPoints);
        return liquid ? rho_max * (1.0 - u) : rho_max * u;
    };
    auto beyond = [&](int k) { return liquid ? density_at(k) < from : density_at(k) > from; };
    int first = 0;
    const double u_from = liquid ? 1.0 - from / rho_max : from / rho_max;
    if (u_from > kScanSpan) {
        const double k = std::floor(kScanPoints * std::log(u_from / kScanSpan) / std::log(1.0 / kScanSpan));
        first = std::clamp(static_cast<int>(k), 0, kScanPoints - 1);
        while (first > 0 && beyond(first)) --first;  // the logarithms' rounding
    }
    double prev_rho = density_at(first);
    PressureSlope prev = iso.at(prev_rho);
    for (int k = first + 1; k <= kScanPoints; ++k) {
        const double rho = density_at(k);
        const PressureSlope here = iso.at(rho);
        const bool crossed = (prev.p - p > 0.0) != (here.p - p > 0.0);
        if (crossed && std::isfinite(here.p) && std::isfinite(prev.p)) {
            const double root = refine(iso, p, std::min(rho, prev_rho), std::max(rho, prev_rho));
            if (iso.at(root).dp > 0.0) return root;
        }
        prev = here;
        prev_rho = rho;
    }
    return std::nan("");
}

// Of rho and its neighbouring doubles, the one whose pressure is closest to p: Newton's last step
// leaves the root within a bit or two, and for a liquid at low pressure a bit of rho is 1e-12 in
// ln phi (properties at the root take Z from p).
double nearest_double(Isotherm &iso, double p, double rho) {
    const PressureSlope here = iso.at(rho);
    double best = rho, gap = std::fabs(here.p - p);
    // Within half a step of rho's last bit (P moves by dP/drho per bit) no neighbour comes closer but by
    // the rounding of P itself: the usual case after Newton, and always for a vapour.
    if (gap <= 0.5 * here.dp * (std::nextafter(rho, 1e300) - rho)) return rho;
    for (double direction : {0.0, 1e300}) {
        double candidate = rho;
        for (int k = 0; k < 4; ++k) {
            candidate = std::nextafter(candidate, direction);
            const double g = std::fabs(iso.at(candidate).p - p);
            if (!(g < gap)) break;
            gap = g;
            best = candidate;
        }
    }
    return best;
}

}  // namespace

std::optional<double> density(const Model &model, double t, double p, std::span<const double> n, Phase phase) {
    if (!(std::isfinite(t) && t > 0.0 && std::isfinite(p) && p > 0.0))
        throw std::invalid_argument("T and P must be positive numbers");
    if (n.size() != model.size()) throw std::invalid_argument("one amount or mole fraction per component is needed");
    const double total = std::accumulate(n.begin(), n.end(), 0.0);
    if (!(total > 0.0)) throw std::invalid_argument("the amounts must add up to a positive number");
    std::vector<double> x(n.size());
    for (std::size_t k = 0; k < n.size(); ++k) x[k] = n[k] / total;
    const std::unique_ptr<model::DensityLine> line = model.residual().density_line(t, x.data());
    return model::density_on_line(*line, t, model.residual().max_density(t, x.data()), p, phase);
}

namespace model {

std::optional<double> density_on_line(const DensityLine &line, double t, double rho_max, double p, Phase phase) {
    Isotherm iso(line, t);
    // Where the search leaves the branch, the scan's start: the bound of the crossing-free end.
    double bound = phase == Phase::liquid ? rho_max : 0.0;
    double rho = phase == Phase::liquid ? liquid_newton(iso, p, rho_max, bound)
                                        : newton(iso, p, std::min(p / (kGasConstant * t), 0.5 * rho_max), rho_max, bound);
    if (!std::isfinite(rho)) rho = scan(iso, p, rho_max, phase, bound);
    if (!std::isfinite(rho) || !(rho > 0.0 && rho < rho_max)) return std::nullopt;
    return nearest_double(iso, p, rho);
}

}  // namespace model

}  // namespace keld
