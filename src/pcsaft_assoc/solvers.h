// The site-fraction solver (GETXA1 in the diagnostics) and the derivative solvers (GETXAR1, GETXAR21,
// GETXAT1, GETXAX1).
#pragma once

#include "pcsaft_assoc/context.h"

namespace keld::assoc::detail {

// Solves the mass-action equations X_A (1 + rho S_A) = 1 for ln X in ctx.sc.u, from the start already
// in ctx.sc.u. On return sc.x, sc.s, sc.partial and sc.sums hold the last point. Returns true when
// converged. With method 2 it leaves the negated inverse Jacobian (exact after Newton, Broyden's
// approximation after substitution) in sc.matrix for the derivative solves (ctx.matrix_ready).
bool solve_site_fractions(Context &ctx);

// Default start: X = 1 without self-association, 0.5 for a self-strength rho Delta_ii up to 1e10,
// 1/sqrt(rho Delta_ii) above.
void default_start(Context &ctx);

enum class Derivative { rho, rho2, t, x };

// Solves the differentiated mass-action equations at the converged site fractions for
//   rho dX/drho (into sc.xar), rho^2 d2X/drho2 (sc.xar2, needs sc.xar), T dX/dT (sc.xat), or
//   dX/dx_k (column k of sc.xax, k a listed position).
// Returns true when converged.
bool solve_derivative(Context &ctx, Derivative which, std::int64_t k = 0);

// The Jacobian d f_A / d ln X_B of the substitution change f = ln X_new - ln X at sc.x, sc.s.
void jacobian(const Context &ctx, double *j);

}  // namespace keld::assoc::detail
