// keld/equilibria/three_phase.h - flash into up to three phases and the
// three-phase (vapour-liquid-liquid) line of a binary, on the mixture's
// Helmholtz-energy model (keld/model.hpp).
//
// Flash at (T, P, z). The feed, in its root of lower Gibbs energy, is tested
// by the tangent-plane distance with the model's ln phi (trials: a vapour of
// the volatile components and a liquid rich in each component). A negative
// distance adds the trial as a phase; the phases are split by successive
// substitution on the multiphase Rachford-Rice problem in Michelsen's convex
// form (phase fractions bounded at zero, so a phase that is not needed leaves
// with fraction 0), then by Newton's method on the Gibbs energy in the
// amounts of all phases but one, with the exact Hessian of ln phi. The
// result of two phases is tested again, and a second instability adds a
// third phase. Every phase keeps its root (a vapour the lightest, a liquid
// the densest) and non-volatile components (polymers, or those flagged) are
// absent from the vapour by construction. A result is converged when ln f_i
// agrees in all phases within 1e-11; otherwise it is refused (status not
// converged, no numbers).
//
// Three-phase line of a binary: at each T the three phases' molar densities
// (6 unknowns) solve equal fugacities and pressures by Newton's method with
// the exact Jacobian; T steps up from the start until the two liquids merge,
// and the end point is solved as such: a liquid at its liquid-liquid critical
// point (Heidemann-Khalil criteria, keld/equilibria/critical.h) in
// equilibrium with a vapour.
#pragma once

#include <span>
#include <vector>

#include "keld/equilibria/flash.h"
#include "keld/equilibria/status.h"
#include "keld/model.hpp"

namespace keld::equilibria {

struct MultiphaseOptions {
    int max_phases = 3;  // 2: the two-phase flash on the model
    // Per component: true keeps it out of any vapour. Empty: polymers (a molecule heavier than the
    // unit the host counts) are the non-volatile ones.
    std::vector<bool> non_volatile;
};

// Phases in the result: liquids first (the one richer in the first listed component first), then the
// vapour. The stability member holds the test of the feed.
FlashResult flash_on_model(const Model &model, double t, double p, std::span<const double> z,
                           const MultiphaseOptions &options = {});

// One point of a binary's three-phase line.
struct ThreePhasePoint {
    double t = not_a_number, p = not_a_number;  // K, Pa
    std::vector<double> x1, x2, y;               // liquid 1 (richer in the first component), liquid 2, vapour
    double rho1 = not_a_number, rho2 = not_a_number, rho_v = not_a_number;  // kmol/m3
};

struct VlleOptions {
    double t_start = not_a_number;  // K: the line starts here
    double t_step = 2.0;            // K: the largest step along the line
    double t_stop = not_a_number;   // K: stop there if the liquids have not merged (default t_start + 300)
    double p_start = 1e5;           // Pa: pressure of the liquid-liquid flash that gives the start's liquids
};

// `residual`: the largest ln f mismatch along the line. The liquids' pressures match the vapour's
// to 1e-12 of R T rho_liquid (what moves a liquid's ln f by 1e-12); P is the vapour's.
struct VlleLine : Outcome {
    std::vector<ThreePhasePoint> points;  // by increasing T, ending with the end point when found
    bool end_point = false;               // the upper critical end point was solved (the last point)
    // At the end point: the liquid's critical conditions (smallest eigenvalue of the Helmholtz Hessian
    // at 1 kmol and the scaled cubic form; both zero there).
    double eigenvalue = not_a_number, cubic_form = not_a_number;
};

// The three-phase line of a binary. Status converged with the end point solved; not_converged with
// the points traced when the line stops before it (message says where); no_solution when no
// three phases exist at t_start.
VlleLine vlle_line(const Model &model, const VlleOptions &options);

}  // namespace keld::equilibria
