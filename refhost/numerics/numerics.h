// The reference host's numerical services for the association solver, with the C signatures of
// the host table (keld/host.h). They are pure functions of their arguments: no state outside the
// arrays they are given, no heap allocation, safe to call from several threads on distinct arrays.
//
// component_vector   HostComponentVector: linear search, the first match wins.
// accelerate         HostAccelerate: the dominant-eigenvalue method (Crowe and Nishio, AIChE J. 21,
//                    1975, 528). Once three consecutive plain substitution changes are seen and the
//                    last two estimates of the dominant eigenvalue lambda = (d_k . d_k-1)/(d_k-1 .
//                    d_k-1) agree within 0.1 and the changes are nearly parallel (|cos| >= 0.9), the
//                    change is scaled by 1/(1 - lambda) (lambda capped at 0.95, no acceleration for
//                    lambda < -10 or lambda >= 1), which for a linear iteration with one dominant
//                    eigenvalue jumps to its fixed point. The count of plain changes restarts after
//                    an acceleration. work: the previous change (n words), the previous estimate.
// convergence_test   HostConvergenceTest: Broyden's "good" update of the negated inverse Jacobian H
//                    of f(x) = g(x) - x, H+ = H - (s + H y)(s' H)/(s' H y), with s and y the changes of
//                    x and f since the previous call; the step is H f (H = I: plain substitution).
//                    The update is skipped when |s' H y| <= 1e-12 |s| |H y| (no information or a
//                    breakdown). work: H (n*n), the previous x and f, two scratch vectors (4n).
// lu_factor, lu_solve, matrix_invert
//                    HostLuFactor / HostLuSolve / HostMatrixInvert: Gaussian elimination with partial
//                    pivoting in LAPACK's packed format (unit lower L below the diagonal, U on and
//                    above, 1-based row interchanges). Matrices up to kSmallMatrix rows are factored
//                    by a compact loop (a library call costs more than the arithmetic there); larger
//                    ones by LAPACK (dgetrf, dgetrs, dgetri; blocked, and fast where an optimised BLAS
//                    such as OpenBLAS provides the system's LAPACK). A zero or non-finite pivot gives
//                    ier = its column; the factors are then not usable.
// line_search        HostLineSearch: backtracking with the sufficient-decrease test f <= f0 + 1e-4 fac
//                    slope0 (Dennis and Schnabel, Numerical Methods for Unconstrained Optimization,
//                    A6.3.1): the first backtrack minimises the quadratic through f0, slope0 and f,
//                    later ones the cubic through the last two trials; each new fac is kept within
//                    [0.1, 0.5] of the previous one. Gives up (ksrch = -2) when slope0 >= 0, after 30
//                    trials or below fac = 1e-10. work: fac and f of the previous trial.
// bounded_least_squares
//                    HostBoundedLeastSquares: projected Levenberg-Marquardt (least_squares.cpp) on
//                    S = sum ((f - target)/|weight|)^2, weights acting as standard deviations. The
//                    eight scalar settings (KELD_ESPSAHI passes 1, 0.1, 1e-6, 0, 1, 1, 1e-4, 2, and
//                    0 for the first and 1e-5 for the third on its retry):
//                      1 damping scale: 1 Marquardt's (the largest column norms of J seen so far),
//                        0 fixed 1/typical^2 (plain Levenberg, steadier far from the solution)
//                      2 initial damping mu0 = setting * max_j (J'J)_jj / D_j
//                      3 tolerance tol: converged when the scaled projected gradient
//                        max |g_j| max(|x_j|, typical_j) <= tol^2 S, when a step accepted at its
//                        first trial lowers S by at most tol S with a relative step <= sqrt(tol),
//                        or when a step's
//                        largest relative change is <= 1e-3 tol (status 2 instead when the
//                        step follows rejected ones: no progress is possible)
//                      4 floor of S below which the fit counts as converged (0: none)
//                      5 Jacobian by forward (1) or central (2) differences, kept inside the box
//                      6 step bound: |dx_j| <= setting * max(|x_j|, typical_j) (whole step scaled)
//                      7 relative difference step h_j = setting * max(|x_j|, typical_j)
//                      8 Nielsen's damping growth factor nu (mu *= nu, nu *= 2 on a rejected step)
//                    The iteration limit counts accepted and rejected steps. A model value equal
//                    to the missing-value marker or not finite is a failed evaluation: a trial
//                    point is rejected, a start point (or its differences) refused (status 3).
//                    Up to 64 unknowns; work (n + 4) m + n^2 + 6 n words; nothing else is allocated.
#pragma once

#include <cstdint>

#include "keld/host.h"

namespace keld::refhost::numerics {

// Matrices with at most this many rows are factored without LAPACK.
inline constexpr std::int64_t kSmallMatrix = 24;

std::int64_t component_vector(const std::int64_t *value, const std::int64_t *vector, const std::int64_t *n);
void accelerate(const std::int64_t *n, double *change, std::int64_t *state, double *work,
                const std::int64_t *work_words);
void convergence_test(const std::int64_t *n, const double *x, const double *f, double *step, std::int64_t *state,
                      double *work, const std::int64_t *work_words);
void lu_factor(const std::int64_t *n, double *a, const std::int64_t *lda, std::int64_t *pivots,
               std::int64_t *ier);
void lu_solve(const std::int64_t *n, const double *a, const std::int64_t *lda, const std::int64_t *pivots,
              double *b);
void matrix_invert(const std::int64_t *n, double *a, const std::int64_t *lda, std::int64_t *pivots, double *work,
                   const std::int64_t *work_words, std::int64_t *ier);
void line_search(const double *f0, const double *slope0, const double *f, double *fac, std::int64_t *ksrch,
                 double *work);

std::int64_t least_squares_work_words(std::int64_t n, std::int64_t m);
void bounded_least_squares(const std::int64_t *n, const std::int64_t *m, double *x, const double *targets,
                           const double *weights, keld_lsq_model_fn model, void *context,
                           const std::int64_t *max_iterations, const double *settings, const double *lower,
                           const double *upper, const double *typical, const double *missing, double *work,
                           const std::int64_t *work_words, std::int64_t *status);

}  // namespace keld::refhost::numerics
