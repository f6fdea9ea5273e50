// keld/equilibria/critical_curve.h - the vapour-liquid critical curve of a
// binary on its Helmholtz-energy model, from pure component 1's critical
// point toward pure component 2's.
//
// The curve is continued in the mole fraction x_1 of component 1 from 1 to 0:
// each point is the mixture's critical point (critical.h, the Heidemann-Khalil
// criteria to 1e-10) at that composition, started from the (T, ln V) of its
// neighbours extrapolated along the curve, never from scratch. The step in
// x_1 shrinks where the solver fails or T or V change fast and grows where
// the curve is smooth. The ends are the pure components' critical points
// (dP/drho = d2P/drho2 = 0 at x = (1, 0) and (0, 1)).
//
// A critical phase need not be stable: where the curve crosses a
// liquid-liquid region the mixture at the point's (T, P, x) splits into two
// other phases. Each point is tested by the tangent-plane distance on the
// model (trials: a vapour and liquids rich in either component, as the flash
// tests its feed); points proven unstable are kept, marked, and counted in
// `message`.
//
// Where the curve does not reach component 2 (a binary whose curve runs from
// the lighter component's critical point to high pressure, or a solver that
// cannot follow it), the points traced so far are kept and `reaches_other`
// is false, with `message` saying why: the pressure passed the cap, or no
// critical point was found below the smallest step.
#pragma once

#include <vector>

#include "keld/equilibria/critical.h"
#include "keld/model.hpp"

namespace keld::equilibria {

struct CriticalCurvePoint {
    double t = not_a_number;   // K
    double p = not_a_number;   // Pa
    double v = not_a_number;   // m3/kmol (of molecules)
    double x1 = not_a_number;  // mole fraction of component 1
    // False where a trial phase lies below the critical phase's tangent plane (by more than 1e-8
    // R T): the point is not an equilibrium state, the mixture splits there.
    bool stable = true;
    // The most negative tangent-plane distance / (R T) over the trials (about 0: they fell onto the
    // critical phase); NaN where no trial could be evaluated (then `stable` is true, untested).
    double tangent_plane_distance = not_a_number;
};

struct CriticalCurveOptions {
    double p_max = 1e8;           // Pa: the curve is followed up to this pressure
    double first_step = 1e-3;     // the first step in x_1 from either pure end
    double max_step = 0.02;       // the largest step in x_1
    double min_step = 1e-7;       // below this the curve is given up (not reached)
    double max_change = 0.03;     // the largest relative change of T or V over a step
    std::size_t max_points = 5000;
};

struct CriticalCurve : Outcome {
    // From component 1's critical point (x1 = 1) toward component 2's; with
    // reaches_other the last point is component 2's critical point (x1 = 0).
    std::vector<CriticalCurvePoint> points;
    bool reaches_other = false;
    bool pressure_capped = false;  // stopped because P passed options.p_max
    std::size_t unstable_points = 0;  // points marked not stable
};

// The critical curve of a two-component model. Converged (with the points so
// far and a message) also when the curve ends before component 2; refused when
// the model is not a binary or a pure end has no critical point.
CriticalCurve critical_curve(const Model &m, const CriticalCurveOptions &options = {});

// The point of a traced curve at temperature t (K), solved by the criteria at
// the composition where the curve's critical temperature equals t (secant in
// x_1 within the bracketing pair of points, each solve started from the
// curve). The first crossing from component 1's end; not converged when the
// curve does not reach t.
MixtureCritical critical_curve_at_temperature(const Model &m, const CriticalCurve &curve, double t);

}  // namespace keld::equilibria
