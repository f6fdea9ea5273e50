// The site-fraction solver (GETXA1 in the diagnostics) and the derivative solvers (GETXAR1, GETXAR21,
// GETXAT1, GETXAX1).
#pragma once

#include "association/context.h"

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

// The direct path (direct.cpp): Newton's method on the unknowns reduced to groups with equal equations,
// from the caller's previous solution where sc.x holds one (> 0) and an estimate elsewhere, to the
// machine-precision solution. On success sc.x and sc.partial hold the solution, the Jacobian at the
// solution is factored in sc.matrix, ctx.stats.direct = 1, and it returns true. It returns false
// (leaving the work to the iterative solvers) when Newton's method does not converge within the
// iteration limit, a factorisation fails, or the groups do not fit sc.matrix.
bool solve_direct(Context &ctx);

// The groups of the direct path built once for a prepared form (they depend on the composition and the
// strength data only): needs the tables, the data classes of the strengths and the carved groups.
void prepare_groups(Context &ctx);

// The direct path for one unknown and no passive species (a pure two-site associating fluid with its
// equivalent sites, a one-site fluid): the closed-form root of X (1 + rho M X) = 1 and every derivative
// in closed form, into sc.x[0] and the results. Returns false (nothing solved) when the root is not finite.
bool solve_single(Context &ctx, Requests req, Results &r, double *a_x);

// After solve_direct and the site values (sc.site_x): A_assoc/(nRT) and the requested derivatives, each
// derivative of the site fractions by one solve with the factored Jacobian.
void direct_results(Context &ctx, Requests req, Results &r, double *a_x);

// The Jacobian d f_A / d ln X_B of the substitution change f = ln X_new - ln X at sc.x, sc.s.
void jacobian(const Context &ctx, double *j);

}  // namespace keld::assoc::detail
