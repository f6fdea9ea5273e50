// keld/equilibria/flash.h - the tangent-plane stability test and the
// isothermal two-phase flash at given T, P and feed, with polymers (and other
// non-volatile components) kept out of any vapour.
//
// Stability (Michelsen's tangent-plane distance): the feed, in whichever of
// its roots has the lower Gibbs energy, is stable when no trial phase w has
//   tm(W) = 1 + sum_i W_i (ln W_i + ln phi_i(w) - ln z_i - ln phi_i(z) - 1) < 0
// at a stationary point. Trials: an ideal-gas-like vapour of the volatile
// components, a liquid-like one when the feed is a vapour, and liquids rich
// (99 % by weight) in the lightest and in the heaviest feed component (for
// liquid-liquid splits, e.g. a polymer-lean and a polymer-rich phase). Each
// is iterated by successive substitution with dominant-eigenvalue
// acceleration.
//
// Flash: from an unstable trial, successive substitution on the K values
// (Rachford-Rice for the phase fraction, every fifth pass accelerated), then,
// when that converges slowly, Newton steps on the Gibbs energy in the moles of
// the second phase with a Hessian from differences of the monitors' ln phi.
// Converged when every component's ln f_i agrees between the phases within
// 1e-11. A feed found stable is returned as one phase with status
// single_phase; a flash that falls onto the trivial solution says so.
#pragma once

#include <span>
#include <vector>

#include "keld/equilibria/status.h"
#include "keld/equilibria/system.h"

namespace keld::equilibria {

struct FlashPhase {
    PhaseKind kind = PhaseKind::liquid;
    double fraction = not_a_number;       // moles of molecules in this phase / in the feed
    double mass_fraction = not_a_number;  // mass in this phase / mass of the feed
    std::vector<double> x;                // true mole fractions, every listed component
    std::vector<double> w;                // weight fractions
    std::vector<double> ln_phi;           // true basis (NaN for components absent from a vapour)
    double v = not_a_number;              // m3 per kmol of molecules
};

struct StabilityResult : Outcome {
    bool stable = false;
    double tangent_plane_distance = not_a_number;  // smallest tm found (< 0: unstable)
    PhaseKind feed_kind = PhaseKind::liquid;       // the feed root of lower Gibbs energy
    PhaseKind trial_kind = PhaseKind::liquid;      // the trial that showed the instability
    std::vector<double> trial;                     // its composition (true mole fractions)
};

struct FlashResult : Outcome {
    double t = not_a_number, p = not_a_number;
    // One phase (status single_phase) or two: a liquid and a vapour (liquid
    // first), or two liquids (the one richer in the first listed component first).
    std::vector<FlashPhase> phases;
    StabilityResult stability;  // the test made on the feed
};

StabilityResult stability(System &system, double t, double p, std::span<const double> z);
FlashResult flash(System &system, double t, double p, std::span<const double> z);

}  // namespace keld::equilibria
