// Density-root search of the reference host, spoken by reverse communication.
//
// A property monitor asks the host for the volume at which its model pressure
// equals the given pressure. The host cannot evaluate the model, so the
// conversation runs in steps: the monitor calls `step` with state 4 to open a
// search; the host places a trial volume in `v` and answers with state 1, 2 or
// 3; the monitor evaluates its pressure (and dP/dV unless the mode word is 2)
// at `v` (which it may move, e.g. away from the close-packed volume) and calls
// `step` again; the host finally answers 4 (converged: `v` is the last
// evaluated volume and the root) or 5 (no root of any kind found).
//
// What the search does
// --------------------
// Roots sought. With f(V) = P_model(V) - P, the vapour-like root is the
// largest volume with f = 0 and the liquid-like root the smallest. Both are
// downward crossings of f (f > 0 on the dense side, f < 0 on the dilute side),
// so both are mechanically stable (dP/dV < 0); a zero of f with dP/dV >= 0 (the
// middle root of a van der Waals loop) is never returned. When the requested
// kind does not exist (a vapour asked above the vapour spinodal, a liquid
// asked below the liquid spinodal) the search hands over to the other kind and
// returns that root instead; state 5 means no root of either kind.
//
// Strategy. The liquid search starts dense, just above V_cp, and approaches
// its root from the liquid branch; the vapour search starts at the ideal-gas
// volume and approaches from the dilute side. Each evaluated point is filed
// as a dense-side point (f > 0), a dilute-side point (f < 0) or a point of the
// unstable region (dP/dV >= 0). Once a sign change is known the root is kept
// bracketed and found by safeguarded Newton (in V for the liquid, in density
// for the vapour, where the ideal-gas part is linear), falling back to
// bisection when Newton leaves the bracket, stalls or sees dP/dV >= 0. Before
// a bracket exists the liquid search marches away from V_cp with a Newton
// step or, deep in the repulsive pole, a step fitted to a power law of the
// free volume, at most quadrupling the free volume per step so that it cannot
// jump over a van der Waals loop. An unstable point bounds the branch: the
// extremum of P between the branch and that point is located (cubic Hermite
// interpolation of P and dP/dV, any sign change of f ending the hunt); if it
// does not reach P, the branch has no root and the search hands over. Newton
// gives way to bisection after three steps in a row that fail to halve.
//
// Hints: V_cp is the lower bound of every trial volume (the model is undefined
// at or below it; trial volumes stay strictly above it) and sets the liquid
// start (1.15 V_cp). V_div, when above V_cp, is the lowest start of the
// vapour search (a dividing volume at V_cp, i.e. a supercritical vapour-like
// request, lets the ideal-gas start go down to 1.2 V_cp). V_c stands in for
// V_div when V_div is unusable, and sets the liquid start (0.3 V_c) when V_cp
// is unusable. T, P and settings().gas_constant give the ideal-gas start
// R T / P. A volume the caller leaves in V when it opens the search (state 4)
// is a warm start: it replaces the first trial when it lies above V_cp and on
// the requested side of the dividing volume (below V_div for the liquid,
// above it for the vapour); the root of the same phase at a nearby
// temperature then converges in two or three Newton steps. A 0 or any
// other volume is ignored. The single-component switch is accepted and not
// needed: a mixture at fixed composition has the same P(V) shape as a pure fluid.
//
// States and mode. Answers 1 (start or march: a trial outside any bracket),
// 2 (Newton step), 3 (bisection, extremum hunt or back-off from an unusable
// point), 4 (converged: `v` and `p_calc` untouched, the last evaluated volume
// is the root) and 5 (failed). The search always leaves the mode word at 1
// and needs dP/dV at every evaluation; if it nevertheless arrives with mode 2,
// or with a dP/dV that is not finite, the slope is taken from the secant to
// the previous evaluation.
//
// Convergence, at a point with dP/dV < 0: |P_calc - P| <= relative_tolerance * |P|
// (|P| replaced by 1 Pa when P = 0), or |P_calc - P| <= volume_tolerance * |V dP/dV|
// (the volume is within 1e-14 of the root: a dense liquid at low pressure, where
// |V dP/dV| is up to 1e9 times P, cannot resolve its pressure to 1e-12 P); and,
// when no representable step is left (the roundoff floor of the model
// pressure), |P_calc - P| <= 1e-11 |V dP/dV|. A liquid's ln phi is corrected by
// ln(P_calc / P), so what remains of P_calc - P never shows there.
//
// Unusable points. A pressure or volume that is NaN or infinite is never
// filed: the next trial goes halfway back to the previous usable volume (or,
// with none yet, away from V_cp for the liquid and towards it for the vapour).
//
// Failure (state 5): after max_evaluations, when a bracket collapses onto a
// discontinuity, or when no branch reaches P (f < 0 all the way down to V_cp,
// f > 0 out to 1e4 R T / P). `v` stays at the last evaluated volume. p_calc is
// set to 0 when some evaluation gave a positive finite pressure (the monitor
// then reports convergence difficulties, or infeasible conditions above the
// host's pressure threshold); when the model pressure was non-positive or NaN
// at every evaluation the last model pressure is left in p_calc, so the
// monitor reports infeasible conditions.
//
// Each RootSearch holds one conversation at a time; steps allocate nothing.
#pragma once

#include <cstdint>

namespace keld::refhost {

enum class RootKind { vapour, liquid };

struct RootSettings {
    double gas_constant = 8314.462618;  // J/(kmol K), to place ideal-gas-like trial volumes
    double relative_tolerance = 1e-12;  // on |P_calc - P| / P
    double volume_tolerance = 1e-14;    // on |P_calc - P| / |V dP/dV|, the relative distance to the root
    int max_evaluations = 200;          // per conversation
};

class RootSearch {
public:
    explicit RootSearch(RootKind kind);

    RootSettings &settings() { return settings_; }
    const RootSettings &settings() const { return settings_; }
    RootKind kind() const { return kind_; }

    // One step of the conversation; arguments as the host root routine receives
    // them. `single_component` is the routine's single-component switch.
    void step(std::int64_t &state, std::int64_t &mode, double v_close_packed, double v_critical,
              double v_dividing, double t, double p, double &v, double &p_calc, double &dpdv,
              bool single_component);

    // Model evaluations requested in the current (or last) conversation.
    int evaluations() const { return evaluations_; }

private:
    // A usable evaluation: volume, f = P_model - P, slope dP/dV (NaN if unknown).
    struct Point {
        double v = 0.0, f = 0.0, slope = 0.0, p_model = 0.0;
    };
    struct Trial {
        double v;
        std::int64_t state;  // 1 march, 2 Newton, 3 bisection / hunt / back-off
    };
    enum class Verdict { trial, converged, failed };
    struct Decision {
        Verdict verdict;
        Trial trial;
    };

    void open(double v_close_packed, double v_critical, double v_dividing, double t, double p);
    Decision advance(double v, double p_calc, double dpdv, bool slope_given);
    Decision next_trial(const Point &here);
    Decision liquid_trial(const Point &here);
    Decision vapour_trial(const Point &here);
    Decision bracketed_trial(const Point &here, double a, double b, bool a_virtual, bool b_virtual);
    Decision liquid_march();
    Decision back_off(double v);
    Decision hand_over();
    void file_liquid(const Point &x);
    void file_vapour(const Point &x);
    double newton_target(const Point &x) const;
    bool usable_warm_start(double v) const;
    double liquid_start() const;
    double vapour_start() const;
    bool within_floor(const Point &x, double v_next) const;
    bool converged_at(const Point &x, double volume_tolerance) const;

    RootKind kind_;
    RootSettings settings_;
    int evaluations_ = 0;

    // Conversation.
    bool active_ = false;
    RootKind branch_ = RootKind::vapour;  // kind currently sought (after a hand-over, the other one)
    bool handed_over_ = false;
    bool saw_positive_pressure_ = false;
    int unusable_in_row_ = 0;
    double p_ = 0.0, scale_ = 1.0, floor_ = 0.0, v_critical_ = 0.0, v_dividing_ = 0.0, v_ideal_ = 0.0;
    // Bracket of the sought crossing: lo_ dense side (f > 0), hi_ dilute side
    // (f < 0); spin_ a point of the unstable region bounding the branch.
    bool has_lo_ = false, has_hi_ = false, has_spin_ = false, has_prev_ = false;
    Point lo_, hi_, spin_, prev_;
    double last_step_ = 0.0;  // length of the last bracketed step
    int slow_steps_ = 0;      // Newton steps in a row that did not halve the step before
};

}  // namespace keld::refhost
