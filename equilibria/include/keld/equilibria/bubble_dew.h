// keld/equilibria/bubble_dew.h - bubble and dew points of a mixture, with
// polymers (and other non-volatile components) kept out of the vapour.
//
// Bubble point: the liquid of composition x at the state where the first
// bubble of vapour forms; dew point: the vapour of composition y where the
// first drop of liquid forms. Either at a given temperature (the pressure is
// sought) or at a given pressure (the temperature is sought).
//
// Method: successive substitution on the incipient phase's composition
// (K_i = phi_i^L / phi_i^V, S = sum x_i K_i for a bubble point, sum y_i / K_i
// for a dew point) with a Newton step on ln P or 1/T for ln S at every pass,
// inside a bracket narrowed by the sign of ln S and by states at which a root
// of the requested kind does not exist; every fifth pass the composition is
// extrapolated along its dominant eigenvalue. Converged when every volatile
// component's ln f_i^L - ln f_i^V is within 1e-11 at the state returned. With
// one volatile component at a given temperature (a solvent over a polymer)
// the last Newton step is taken without another evaluation when its
// predicted residual (from the contraction of the step before, plus the
// liquid's Poynting term over the step) is within that tolerance.
// Where every listed component is volatile and the family has a model, the
// point is solved on the model instead: Newton's method in density variables
// (at a given T the given phase's molar density along its composition and the
// incipient phase's amount densities; at a given P the two phases' amount
// densities and T) with the exact Jacobian, from the neighbouring point given
// (carried to the given T by Raoult's law where it lies at another) or from
// corresponding-states vapour pressures; the monitors' iteration above is the
// fallback wherever that route refuses (no convergence, a phase that is not
// the root of its kind, pressures below 1e4 Pa where the monitors' liquid
// roots are coarser).
// A state at which both phases come out the same (the trivial solution: above
// the mixture's critical region) is reported as supercritical, never as a
// bubble or dew point.
#pragma once

#include <span>
#include <vector>

#include "keld/equilibria/status.h"
#include "keld/equilibria/system.h"

namespace keld::equilibria {

struct BubbleDewResult : Outcome {
    double t = not_a_number;  // K
    double p = not_a_number;  // Pa
    std::vector<double> x;    // liquid, true mole fractions of every listed component
    std::vector<double> y;    // vapour, true mole fractions (0 for non-volatile components)
    double v_liquid = not_a_number, v_vapour = not_a_number;  // m3 per kmol of molecules
    // ln phi of every listed component in each phase at the returned state
    // (true basis; NaN in the vapour for non-volatile components).
    std::vector<double> ln_phi_liquid, ln_phi_vapour;
};

// Optional starting point, e.g. the neighbouring point of a diagram.
struct BubbleDewGuess {
    double t = not_a_number;
    double p = not_a_number;
    std::vector<double> incipient;  // composition of the incipient phase (every listed component)
    // The neighbouring point's molar volumes (m3/kmol), optional: on the model
    // they start the densities without a density root.
    double v_liquid = not_a_number, v_vapour = not_a_number;
};

BubbleDewResult bubble_pressure(System &system, double t, std::span<const double> x,
                                const BubbleDewGuess &guess = {});
BubbleDewResult bubble_temperature(System &system, double p, std::span<const double> x,
                                   const BubbleDewGuess &guess = {});
BubbleDewResult dew_pressure(System &system, double t, std::span<const double> y,
                             const BubbleDewGuess &guess = {});
BubbleDewResult dew_temperature(System &system, double p, std::span<const double> y,
                                const BubbleDewGuess &guess = {});

}  // namespace keld::equilibria
