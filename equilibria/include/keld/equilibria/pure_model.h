// keld/equilibria/pure_model.h - a pure fluid's critical point and its
// vapour-liquid coexistence on the Helmholtz-energy model (keld/model.hpp),
// in density variables: no density root inside the iterations.
//
// Critical point: dP/drho = d2P/drho2 = 0, solved by Newton's method in
// (T, rho) with the exact Jacobian (the model's derivative table), from a
// bracket of the temperature at which the isotherm's loop closes.
//
// Saturation at T: Newton's method in (rho_L, rho_V) on equal pressures and
// equal chemical potentials, with the exact Jacobian; started from a
// neighbouring point, from the liquid at zero pressure with an ideal vapour,
// or from the critical point's neighbourhood. Converged when
// |ln f_L - ln f_V| <= 1e-13 and the pressures agree to 1e-13.
#pragma once

#include "keld/equilibria/status.h"
#include <span>

#include "keld/model.hpp"

namespace keld::equilibria {

struct PureCritical : Outcome {
    double t = not_a_number;    // K
    double p = not_a_number;    // Pa
    double rho = not_a_number;  // kmol/m3
};

struct PureCoexistence : Outcome {
    double t = not_a_number, p = not_a_number;                    // K, Pa
    double rho_liquid = not_a_number, rho_vapour = not_a_number;  // kmol/m3
    double ln_phi = not_a_number;          // of both phases (the vapour's as evaluated)
    double h_vaporisation = not_a_number;  // H_V - H_L, J/kmol
};

// The model must have one component (a pure fluid).
PureCritical pure_critical_point(const Model &pure);

// The pseudo-critical point of a mixture held at composition x (amounts of
// any scale): dP/drho = d2P/drho2 = 0 at constant x, by the same route as a
// pure fluid's (spinodal at a near-critical density, then Newton). Not the
// mixture's critical point (see critical.h), but a start for it.
PureCritical pseudo_critical_point(const Model &m, std::span<const double> x);

// Coexistence at T; `start` (optional) a neighbouring solution, carried to T
// along the curve's tangent (exact slopes d rho/dT of both phases) when its T
// differs; `critical` (optional) the fluid's critical point, for temperatures
// close to it.
PureCoexistence pure_coexistence(const Model &pure, double t, const PureCoexistence *start = nullptr,
                                 const PureCritical *critical = nullptr);

// Coexistence at P (the boiling temperature), by Newton's method in T on
// ln P_sat(T) - ln P with the Clausius-Clapeyron slope.
PureCoexistence pure_coexistence_at_pressure(const Model &pure, double p, const PureCoexistence *start = nullptr,
                                             const PureCritical *critical = nullptr);

}  // namespace keld::equilibria
