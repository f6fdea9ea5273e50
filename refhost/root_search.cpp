// Density-root search of the reference host (strategy described in root_search.h).
#include "root_search.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace keld::refhost {
namespace {

constexpr double kMissingMarker = 1.0e35;  // what the monitor puts in dP/dV before the first evaluation
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Starts. Liquids lie between about 1.04 V_cp (lattice-fluid polymers) and
// 2.5 V_cp (hard-chain fluids at packing fraction 0.4): start near the dense
// end, which is always on the liquid branch, and march out.
constexpr double kLiquidStartOverCloseVolume = 1.15;
constexpr double kLiquidStartOverCriticalVolume = 0.3;
constexpr double kSupercriticalVapourFloor = 1.2;  // x V_cp
constexpr double kMaxFreeVolumeGrowth = 4.0;       // per march step, so a loop cannot be jumped
constexpr double kPoleRegionPressureRatio = 300.0; // P_model / P above which the power-law step is used

// Ends of the search.
constexpr double kRoundoffStep = 1.0e-14;      // relative volume step below which no progress is possible
constexpr double kRoundoffVolume = 1.0e-11;    // relative volume error accepted at that floor
constexpr double kWarmStartMargin = 1.0e-9;    // a warm start must lie this far (relative) above V_cp
constexpr double kExtremumWidth = 1.0e-6;      // relative width of a located pressure extremum
constexpr double kHuntTrustWidth = 0.1;        // relative width below which the interpolated extremum is trusted
constexpr double kHuntMargin = 0.25;           // ... when it misses P by this fraction of the end values
constexpr double kPoleGiveUp = 1.0e-8;         // free volume / reference volume with f < 0 still
constexpr double kVapourGiveUp = 1.0e4;        // x R T / P with f > 0 still
constexpr int kMaxUnusableInRow = 60;
constexpr int kMaxSlowNewtonSteps = 3;  // Newton steps in a row that fail to halve the previous step

bool positive_finite(double x) { return std::isfinite(x) && x > 0.0; }

}  // namespace

RootSearch::RootSearch(RootKind kind) : kind_(kind), branch_(kind) {}

void RootSearch::step(std::int64_t &state, std::int64_t &mode, double v_close_packed, double v_critical,
                      double v_dividing, double t, double p, double &v, double &p_calc, double &dpdv,
                      bool /*single_component*/) {
    Decision decision{Verdict::failed, {0.0, 5}};
    if (state == 4) {
        const double caller_volume = v;
        open(v_close_packed, v_critical, v_dividing, t, p);
        if (std::isfinite(p)) {
            double start = branch_ == RootKind::liquid ? liquid_start() : vapour_start();
            if (usable_warm_start(caller_volume)) start = caller_volume;
            decision = {Verdict::trial, {start, 1}};
        }
    } else if (active_ && state >= 1 && state <= 3) {
        decision = advance(v, p_calc, dpdv, mode != 2);
    }

    switch (decision.verdict) {
    case Verdict::trial:
        ++evaluations_;
        v = decision.trial.v;
        state = decision.trial.state;
        mode = 1;
        return;
    case Verdict::converged:
        state = 4;
        active_ = false;
        return;
    case Verdict::failed:
        state = 5;
        // A model that gave a positive pressure somewhere is reported as a
        // convergence problem (p_calc = 0); one that never did keeps its last
        // non-positive or NaN pressure, which the monitor reports as infeasible.
        if (saw_positive_pressure_ || evaluations_ == 0) p_calc = 0.0;
        active_ = false;
        return;
    }
}

void RootSearch::open(double v_close_packed, double v_critical, double v_dividing, double t, double p) {
    active_ = true;
    evaluations_ = 0;
    handed_over_ = false;
    saw_positive_pressure_ = false;
    unusable_in_row_ = 0;
    has_lo_ = has_hi_ = has_spin_ = has_prev_ = false;
    last_step_ = kInf;
    slow_steps_ = 0;

    p_ = p;
    scale_ = std::fabs(p) > 0.0 ? std::fabs(p) : 1.0;
    floor_ = positive_finite(v_close_packed) ? v_close_packed : 0.0;
    v_critical_ = positive_finite(v_critical) && v_critical > floor_ ? v_critical : 0.0;
    // V_div > V_cp: subcritical, vapour-like volumes lie above it. V_div at
    // V_cp: the caller sees a supercritical fluid; the vapour start may be dense.
    // Unusable: fall back on V_c.
    if (positive_finite(v_dividing) && v_dividing > floor_ * (1.0 + 1.0e-12))
        v_dividing_ = v_dividing;
    else if (positive_finite(v_dividing) && floor_ > 0.0)
        v_dividing_ = kSupercriticalVapourFloor * floor_;
    else
        v_dividing_ = v_critical_ > 0.0 ? v_critical_ : kSupercriticalVapourFloor * floor_;
    const double rt = settings_.gas_constant * t;
    v_ideal_ = positive_finite(rt) && positive_finite(p) ? rt / p : 0.0;

    branch_ = kind_;
    if (kind_ == RootKind::vapour && !(p > 0.0)) {
        // P_model tends to 0+ at large volume: no vapour-like root at P <= 0.
        branch_ = RootKind::liquid;
        handed_over_ = true;
    }
}

// A volume the caller left in V (typically the root of the same phase at a
// nearby temperature) starts the search when it lies on the requested side of
// the dividing volume: below it for a liquid, above it for a vapour. Anywhere
// else it could lead Newton to the other kind of root, so it is ignored.
bool RootSearch::usable_warm_start(double v) const {
    if (handed_over_ || !positive_finite(v) || !(v > floor_ * (1.0 + kWarmStartMargin))) return false;
    if (branch_ == RootKind::liquid) return v < v_dividing_;
    return v > v_dividing_;
}

double RootSearch::liquid_start() const {
    if (floor_ > 0.0) return kLiquidStartOverCloseVolume * floor_;
    if (v_critical_ > 0.0) return kLiquidStartOverCriticalVolume * v_critical_;
    if (v_ideal_ > 0.0) return 1.0e-3 * v_ideal_;
    return 0.1;
}

double RootSearch::vapour_start() const {
    const double start = std::max(v_ideal_, v_dividing_);
    return start > floor_ ? start : (floor_ > 0.0 ? 2.0 * floor_ : 1.0);
}

RootSearch::Decision RootSearch::advance(double v, double p_calc, double dpdv, bool slope_given) {
    if (std::isfinite(p_calc) && p_calc > 0.0) saw_positive_pressure_ = true;
    if (!std::isfinite(p_calc) || !std::isfinite(v) || !(v > floor_)) return back_off(v);
    unusable_in_row_ = 0;

    Point here{v, p_calc - p_, kNaN, p_calc};
    if (slope_given && std::isfinite(dpdv) && dpdv != kMissingMarker)
        here.slope = dpdv;
    else if (has_prev_ && prev_.v != v)
        here.slope = (here.f - prev_.f) / (v - prev_.v);
    prev_ = here;
    has_prev_ = true;

    if (converged_at(here, settings_.volume_tolerance)) return {Verdict::converged, {v, 4}};

    if (branch_ == RootKind::liquid)
        file_liquid(here);
    else
        file_vapour(here);
    return next_trial(here);
}

// A stable point (dP/dV < 0) whose pressure is within the relative tolerance of
// P, or whose volume is within `volume_tolerance` of the root: |f| <= tol |V dP/dV|
// is a Newton step below tol V. The second test is what a dense liquid at low
// pressure needs, where |V dP/dV| exceeds P by up to 1e9 and the pressure cannot
// be resolved to 1e-12 P.
bool RootSearch::converged_at(const Point &x, double volume_tolerance) const {
    if (!(x.slope < 0.0) && !std::isnan(x.slope)) return false;
    const double f = std::fabs(x.f);
    if (f <= settings_.relative_tolerance * scale_) return true;
    return x.slope < 0.0 && f <= volume_tolerance * std::fabs(x.v * x.slope);
}

RootSearch::Decision RootSearch::next_trial(const Point &here) {
    const Decision d = branch_ == RootKind::liquid ? liquid_trial(here) : vapour_trial(here);
    if (d.verdict != Verdict::trial) return d;
    if (std::fabs(d.trial.v - here.v) <= kRoundoffStep * here.v) {
        // No representable progress left: accept at the roundoff floor of the
        // model pressure or give up.
        if (converged_at(here, kRoundoffVolume)) return {Verdict::converged, {here.v, 4}};
        return {Verdict::failed, {here.v, 5}};
    }
    if (evaluations_ >= settings_.max_evaluations) return {Verdict::failed, {here.v, 5}};
    return d;
}

// Liquid: the sought crossing is the first one above V_cp, where f falls from
// +inf. Dense-side points (f > 0, stable) lie below it; any f < 0 lies above.
void RootSearch::file_liquid(const Point &x) {
    const bool unstable = x.slope >= 0.0;  // an unknown slope counts as stable
    const bool root_below = x.f < 0.0 || (unstable && std::fabs(x.f) <= settings_.relative_tolerance * scale_);
    if (root_below) {
        if (!has_hi_ || x.v < hi_.v) {
            hi_ = x;
            has_hi_ = true;
            if (has_lo_ && lo_.v >= hi_.v) has_lo_ = false;
        }
    } else if (!unstable) {
        if ((!has_hi_ || x.v < hi_.v) && (!has_lo_ || x.v > lo_.v) && (!has_spin_ || x.v < spin_.v)) {
            lo_ = x;
            has_lo_ = true;
        }
    } else if (!has_spin_ || x.v < spin_.v) {
        spin_ = x;
        has_spin_ = true;
        if (has_lo_ && lo_.v >= spin_.v) has_lo_ = false;
    }
}

// Vapour: the sought crossing is the last one, beyond which f stays below 0
// (f tends to -P). Any f > 0 lies below it; stable f < 0 points above it.
void RootSearch::file_vapour(const Point &x) {
    const bool unstable = x.slope >= 0.0;
    const bool root_above = x.f > 0.0 || (unstable && std::fabs(x.f) <= settings_.relative_tolerance * scale_);
    if (root_above) {
        if (!has_lo_ || x.v > lo_.v) {
            lo_ = x;
            has_lo_ = true;
            if (has_hi_ && hi_.v <= lo_.v) has_hi_ = false;
            if (has_spin_ && spin_.v <= lo_.v) has_spin_ = false;
        }
    } else if (!unstable) {
        if ((!has_lo_ || x.v > lo_.v) && (!has_hi_ || x.v < hi_.v) && (!has_spin_ || x.v > spin_.v)) {
            hi_ = x;
            has_hi_ = true;
        }
    } else if ((!has_spin_ || x.v > spin_.v) && (!has_lo_ || x.v > lo_.v)) {
        spin_ = x;
        has_spin_ = true;
        if (has_hi_ && hi_.v <= spin_.v) has_hi_ = false;
    }
}

// Newton target from x: in V for the liquid, in density for the vapour.
double RootSearch::newton_target(const Point &x) const {
    if (!(x.slope < 0.0)) return kNaN;
    if (branch_ == RootKind::liquid) return x.v - x.f / x.slope;
    const double rho = 1.0 / x.v;
    const double dp_drho = -x.slope * x.v * x.v;
    const double rho_next = rho - x.f / dp_drho;
    return rho_next > 0.0 ? 1.0 / rho_next : kInf;
}

// Extremum of the cubic Hermite interpolant of f between two points whose
// slopes have opposite signs: where it lies and the value of f there.
struct Extremum {
    double v, f;
};
static Extremum cubic_extremum(double v0, double f0, double g0, double v1, double f1, double g1) {
    const double h = v1 - v0;
    if (!std::isfinite(g0) || !std::isfinite(g1)) return {0.5 * (v0 + v1), std::min(f0, f1)};
    // d/ds of the interpolant on s in [0, 1]: a s^2 + b s + c, of opposite signs at the ends.
    const double a = 6.0 * f0 + 3.0 * h * g0 - 6.0 * f1 + 3.0 * h * g1;
    const double b = -6.0 * f0 - 4.0 * h * g0 + 6.0 * f1 - 2.0 * h * g1;
    const double c = h * g0;
    double s0 = 0.0, s1 = 1.0;
    const bool rising_at_0 = c > 0.0;
    for (int i = 0; i < 60; ++i) {
        const double s = 0.5 * (s0 + s1);
        ((a * s + b) * s + c > 0.0) == rising_at_0 ? s0 = s : s1 = s;
    }
    const double s = 0.5 * (s0 + s1), s2 = s * s, s3 = s2 * s;
    const double f = f0 * (2.0 * s3 - 3.0 * s2 + 1.0) + h * g0 * (s3 - 2.0 * s2 + s) + f1 * (-2.0 * s3 + 3.0 * s2) +
                     h * g1 * (s3 - s2);
    return {v0 + s * h, f};
}

// One step of the hunt for the pressure extremum between a branch point and an
// unstable point (`low` and `high` in volume). `crossing_sign` is the sign f
// must reach at the extremum for the sought root to exist (-1: a minimum below
// P, liquid; +1: a maximum above P, vapour). Once the interval is narrow and
// the interpolated extremum stays clearly on the wrong side, or the interval
// has shrunk to nothing, the branch has no root.
static bool extremum_misses(const Extremum &e, double f_low, double f_high, double low, double high,
                            double crossing_sign) {
    const bool narrow = high - low <= kHuntTrustWidth * high;
    const bool wrong_side = e.f * crossing_sign < 0.0;
    return (narrow && wrong_side && std::fabs(e.f) >= kHuntMargin * std::min(std::fabs(f_low), std::fabs(f_high))) ||
           high - low <= kExtremumWidth * high;
}

RootSearch::Decision RootSearch::liquid_trial(const Point &here) {
    const double a = has_lo_ ? lo_.v : floor_;
    if (has_spin_ && (!has_hi_ || spin_.v < hi_.v)) {
        // P > target at an unstable point: the liquid branch ends below it. Hunt
        // the pressure minimum in (a, spin); any f < 0 found there is a bracket.
        if (!has_lo_) return {Verdict::trial, {a + 0.5 * (spin_.v - a), 3}};
        const Extremum e = cubic_extremum(lo_.v, lo_.f, lo_.slope, spin_.v, spin_.f, spin_.slope);
        if (extremum_misses(e, lo_.f, spin_.f, lo_.v, spin_.v, -1.0)) return hand_over();
        const double margin = 0.05 * (spin_.v - lo_.v);
        return {Verdict::trial, {std::clamp(e.v, lo_.v + margin, spin_.v - margin), 3}};
    }
    if (has_hi_) return bracketed_trial(here, a, hi_.v, !has_lo_, false);
    if (has_lo_) return liquid_march();
    return back_off(here.v);
}

RootSearch::Decision RootSearch::vapour_trial(const Point &here) {
    if (has_spin_) {
        // P < target at an unstable point: the vapour branch starts above it.
        if (!has_hi_) {
            const double m = std::max(2.0 * spin_.v, v_ideal_);
            if (v_ideal_ > 0.0 && spin_.v > kVapourGiveUp * v_ideal_) return hand_over();
            return {Verdict::trial, {m, 1}};
        }
        // Hunt the pressure maximum in (spin, hi); any f > 0 there is a bracket.
        const Extremum e = cubic_extremum(spin_.v, spin_.f, spin_.slope, hi_.v, hi_.f, hi_.slope);
        if (extremum_misses(e, spin_.f, hi_.f, spin_.v, hi_.v, 1.0)) return hand_over();
        const double margin = 0.05 * (hi_.v - spin_.v);
        return {Verdict::trial, {std::clamp(e.v, spin_.v + margin, hi_.v - margin), 3}};
    }
    const double a = has_lo_ ? lo_.v : floor_;
    const double b = has_hi_ ? hi_.v : kInf;
    if (has_lo_ && !has_hi_ && v_ideal_ > 0.0 && lo_.v > kVapourGiveUp * v_ideal_) return hand_over();
    return bracketed_trial(here, a, b, !has_lo_, !has_hi_);
}

RootSearch::Decision RootSearch::bracketed_trial(const Point &here, double a, double b, bool a_virtual,
                                                 bool b_virtual) {
    // Newton is trusted while its steps keep contracting; a run of steps that
    // do not halve (a double root, a kink, a cycle) gets a bisection.
    const double target = newton_target(here);
    const double newton_step = std::fabs(target - here.v);
    if (std::isfinite(target) && target > a && target < b) {
        slow_steps_ = newton_step > 0.5 * last_step_ ? slow_steps_ + 1 : 0;
        if (slow_steps_ < kMaxSlowNewtonSteps) {
            last_step_ = newton_step;
            return {Verdict::trial, {target, 2}};
        }
    }
    slow_steps_ = 0;

    double m;
    if (b_virtual) {
        // Only the dense side is known (vapour): jump to the ideal-gas volume
        // or expand the volume.
        m = v_ideal_ > 4.0 * a ? v_ideal_ : 4.0 * a;
    } else if (a_virtual) {
        // Only the dilute side is known: close in on V_cp by quartering the
        // free volume; f < 0 at the pole itself means the branch never reaches P.
        const double reference = floor_ > 0.0 ? floor_ : liquid_start();
        if (b - floor_ <= kPoleGiveUp * reference) return hand_over();
        m = floor_ + 0.25 * (b - floor_);
    } else {
        m = b > 4.0 * a ? std::sqrt(a * b) : 0.5 * (a + b);
    }
    last_step_ = std::fabs(m - here.v);
    return {Verdict::trial, {m, 3}};
}

RootSearch::Decision RootSearch::liquid_march() {
    // From the dense side of the liquid root (f > 0, stable), move out.
    const double free = lo_.v - floor_;
    double growth = 2.0;
    if (lo_.slope < 0.0) growth = 1.0 + (-lo_.f / lo_.slope) / free;
    if (lo_.p_model > kPoleRegionPressureRatio * p_ && p_ > 0.0 && lo_.slope < 0.0) {
        // Deep in the repulsive pole Newton creeps; fit P ~ free^-k instead. Nearer
        // the root Newton alone: on the dense side of a convex liquid branch it
        // undershoots, while the power law, blind to the attraction, overshoots
        // into the loop.
        const double k = -lo_.slope * free / lo_.p_model;
        if (k > 0.0) growth = std::max(growth, std::exp(std::log(lo_.p_model / p_) / k));
    }
    growth = std::clamp(growth, 1.0 + kRoundoffStep, kMaxFreeVolumeGrowth);  // Newton all the way in
    return {Verdict::trial, {floor_ + free * growth, 1}};
}

RootSearch::Decision RootSearch::back_off(double v) {
    if (++unusable_in_row_ > kMaxUnusableInRow || evaluations_ >= settings_.max_evaluations)
        return {Verdict::failed, {v, 5}};
    double m;
    if (!std::isfinite(v) || !(v > floor_)) {
        m = has_prev_ ? prev_.v : (branch_ == RootKind::liquid ? liquid_start() : vapour_start());
    } else if (has_prev_) {
        m = 0.5 * (prev_.v + v);  // shorten the step that led into the unusable region
    } else if (branch_ == RootKind::liquid) {
        m = floor_ + 2.0 * (v - floor_);  // unusable next to the pole: move out
    } else {
        m = floor_ + 0.5 * (v - floor_);
    }
    if (std::isfinite(v) && std::fabs(m - v) <= kRoundoffStep * v) return {Verdict::failed, {v, 5}};
    return {Verdict::trial, {m, 3}};
}

RootSearch::Decision RootSearch::hand_over() {
    if (handed_over_) return {Verdict::failed, {0.0, 5}};
    handed_over_ = true;
    last_step_ = kInf;
    slow_steps_ = 0;
    if (branch_ == RootKind::liquid) {
        // No liquid root: the vapour root lies above the unstable point, where f > 0.
        branch_ = RootKind::vapour;
        has_lo_ = has_spin_;
        if (has_lo_) lo_ = spin_;
        has_spin_ = false;
        if (!has_lo_ || (has_hi_ && hi_.v <= lo_.v)) has_hi_ = false;
        if (!has_lo_) return {Verdict::trial, {vapour_start(), 1}};
        if (has_hi_) return bracketed_trial(hi_, lo_.v, hi_.v, false, false);
        return bracketed_trial(lo_, lo_.v, kInf, false, true);
    }
    // No vapour root: the liquid root lies below the unstable point, where f < 0.
    branch_ = RootKind::liquid;
    has_hi_ = has_spin_;
    if (has_hi_) hi_ = spin_;
    has_spin_ = false;
    if (!has_hi_ || (has_lo_ && lo_.v >= hi_.v)) has_lo_ = false;
    if (!has_hi_) return {Verdict::trial, {liquid_start(), 1}};
    return bracketed_trial(has_lo_ ? lo_ : hi_, has_lo_ ? lo_.v : floor_, hi_.v, !has_lo_, false);
}

}  // namespace keld::refhost
