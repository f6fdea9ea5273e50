// Exact derivatives of a residual Helmholtz energy, by forward-mode automatic
// differentiation through the family's one formula (model/residual.h).
//
// Two sets of variables:
//  - (T, rho) at constant mole fractions x: alpha_r and its partial
//    derivatives up to second order in T and third order in rho;
//  - the amounts n at constant T and V, of Psi(T, V, n) = N alpha_r(T, N/V, n/N)
//    with N = sum n: Psi's gradient (mu_res,i / RT), Hessian and mixed
//    derivatives in V and T. Any scale of n gives the same gradient; the
//    Hessian scales with 1/N.
#pragma once

#include <span>
#include <vector>

#include "keld/model.hpp"
#include "model/residual.h"

namespace keld::model {

using TRhoDerivatives = keld::AlpharDerivatives;
using AmountDerivatives = keld::AmountDerivatives;
using AmountRequest = keld::AmountRequest;

// With `third`, also a_rhorhorho (critical points); the others come from one
// evaluation with a second-order jet in (T, rho).
TRhoDerivatives t_rho_derivatives(const Residual &model, double t, double rho, std::span<const double> x,
                                  bool third = true);

AmountDerivatives amount_derivatives(const Residual &model, double t, double v, std::span<const double> n,
                                     AmountRequest request = {});
// The same into the spans given (keld::AmountDerivativeSpans).
void amount_derivatives(const Residual &model, double t, double v, std::span<const double> n,
                        AmountDerivativeSpans &out);

// Sizes a's vectors for n components as the request asks (the others emptied) and returns spans
// over them.
AmountDerivativeSpans spans_for(AmountDerivatives &a, std::size_t n, AmountRequest request);

}  // namespace keld::model
