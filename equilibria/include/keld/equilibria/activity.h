// keld/equilibria/activity.h - solvent activity over a polymer solution and
// its inverse, the sorption isotherm.
//
// A polymer solution at T and liquid weight fractions w is in equilibrium
// with a vapour of its volatile components (the polymers never enter it) at
// its bubble pressure P. There each solvent has the fugacity
//   f_i = y_i phi_i^V P = x_i phi_i^L P,
// its partial pressure y_i P, its activity a_i = f_i / f_i,sat (f_i,sat the
// fugacity of the pure solvent's saturated vapour at T) and its weight-fraction
// activity coefficient Omega_i = a_i / w_i. A solvent that has no vapour
// pressure at T (above its critical temperature) has no activity: NaN, while
// its partial pressure and fugacity are still given.
//
// The sorption isotherm is the inverse: the liquid composition in equilibrium
// with given partial pressures of the solvents (the vapour holds the solvents
// only; its pressure is their sum). The polymers keep the proportions by
// weight given with the call. A partial pressure at or above the one of the
// pure solvent (activity 1 or more) has no solution: the polymer dissolves.
#pragma once

#include <span>
#include <vector>

#include "keld/equilibria/bubble_dew.h"
#include "keld/equilibria/saturation.h"
#include "keld/equilibria/status.h"
#include "keld/equilibria/system.h"

namespace keld::equilibria {

struct ActivityResult : Outcome {
    double t = not_a_number;  // K
    double p = not_a_number;  // Pa, total pressure of the vapour (sum of partial pressures)
    // Per listed component:
    std::vector<double> w;                            // liquid weight fractions
    std::vector<double> x;                            // liquid true mole fractions
    std::vector<double> y;                            // vapour mole fractions (0 for non-volatile components)
    std::vector<double> partial_pressure;             // y_i P, Pa (0 for non-volatile components)
    std::vector<double> fugacity;                     // f_i, Pa (NaN for non-volatile components)
    std::vector<double> activity;                     // f_i / f_i,sat (NaN without a vapour pressure at T)
    std::vector<double> weight_activity_coefficient;  // a_i / w_i
    std::vector<double> p_sat;  // vapour pressure of the pure component at T, Pa (NaN: none)
};

// Activities along an isotherm: the pure solvents' saturation at T is
// computed once, and each point starts from the one before.
class SolventActivity {
  public:
    SolventActivity(System &system, double t);

    double temperature() const { return t_; }
    // Saturation of each listed component at T (invalid input for non-volatile ones).
    const std::vector<SaturationResult> &saturation() const { return saturation_; }

    // Forward: liquid weight fractions w (one per listed component) -> activities.
    ActivityResult at(std::span<const double> w);
    // Inverse: partial pressures (Pa, one per listed component; those of
    // non-volatile components are ignored, a zero keeps that solvent out of
    // the liquid) -> liquid composition. polymer_weights gives the proportions
    // of the non-volatile components (one per listed component, others
    // ignored); empty means equal weights.
    ActivityResult sorption(std::span<const double> partial_pressures,
                            std::span<const double> polymer_weights = {});

  private:
    void complete(ActivityResult &r, std::span<const double> ln_phi_vapour);

    System &system_;
    double t_;
    std::vector<SaturationResult> saturation_;
    std::vector<double> ln_f_sat_;  // ln of the saturated vapour's fugacity, NaN where none
    BubbleDewGuess last_;
};

// One point: the saturation of the solvents is computed for the call.
ActivityResult solvent_activity(System &system, double t, std::span<const double> w);

}  // namespace keld::equilibria
