// A phase of given composition at a given T and the incipient phase in
// equilibrium with it, on the model (internal): the bubble point (the given
// phase a liquid) or the dew point (a vapour) at T.
//
// Unknowns: ln rho of the given phase (its composition z held, so its state
// moves along one line) and ln rho_i of the incipient phase. Equations:
// ln f_i equal (ln rho_i + dPsi/dn_i on either side) and equal pressures.
// The given phase needs only dPsi/dn and their slope along its line, the
// incipient phase the full amount Hessian; both come from the model's
// isotherm at T, which forms what depends on T alone once.
#pragma once

#include <span>
#include <vector>

#include "keld/model.hpp"

namespace keld::model {
class AmountIsotherm;
}

namespace keld::equilibria::detail {

// One phase at the solution: amount densities (kmol/m3), dPsi/dn_i, P/(RT)
// (kmol/m3) and d(P/RT)/drho at constant composition.
struct IsothermalPhase {
    std::vector<double> rho, g;
    double p = 0.0, slope = 0.0;
    double rho_total() const;
};

struct IsothermalIncipient {
    IsothermalPhase given, incipient;
    // max |ln f_i' - ln f_i''| plus |P'' - P'| / (R T rho) with rho the denser
    // phase's density (the mismatch's effect on that phase's ln f).
    double residual = 0.0;
    int iterations = 0;
};

// Newton's method with the exact Jacobian from the given phase's total
// density rho_given and the incipient phase's amount densities. False when
// it does not reach a residual of 1e-12 (or the rounding floor of its
// equations, with a vanishing step) within max_iter steps, or ends on the
// trivial solution (both phases the same).
// `isotherm`: the model's at t where the caller has one (else formed here).
bool solve_isothermal_incipient(const Model &m, double t, std::span<const double> z, double rho_given,
                                std::span<const double> rho_incipient, IsothermalIncipient &out, int max_iter,
                                const model::AmountIsotherm *isotherm = nullptr);

}  // namespace keld::equilibria::detail
