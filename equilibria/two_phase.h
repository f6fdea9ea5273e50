// Two coexisting phases in density variables on the model (internal): the
// equations, their exact Jacobian, Newton's corrector and the curve's tangent
// shared by the P-x-y isotherm and the P-T envelope.
//
// Unknowns X = (ln rho'_i (N), ln K_i (N), ln T) with rho'_i the molar
// densities of the first phase (kmol/m3) and rho''_i = K_i rho'_i those of the
// second. At V = 1 m3 the amounts are the densities, so the model's amount
// derivatives give ln f_i = ln(rho_i R T) + dPsi/dn_i and
// P/(RT) = sum rho_i + sum rho_i dPsi/dn_i - Psi without a density root.
// Equations: ln K_i + g''_i - g'_i = 0 (equal fugacities) and
// (P'' - P')/(R T rho) = 0 with rho the lighter phase's density, plus the constraints of the problem (a fixed
// T, a fixed P of the first phase, a fixed composition of the first phase)
// and, for the corrector, one specified unknown X_k = S. The trivial solution
// K = 1 is a surface that the curve crosses at its critical point; with
// ln K_k specified away from 0 the corrector cannot fall onto it.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "keld/model.hpp"

namespace keld::equilibria::detail {

// One phase's derivatives at (T, rho): g = dPsi/dn (residual mu / RT), g_t =
// d2Psi/dT dn, h = d2Psi/dn dn (row-major), p = P/(RT) in kmol/m3, p_t its
// T derivative and p_rho its gradient in rho, all at V = 1 m3.
struct PhaseDerivatives {
    std::vector<double> rho, g, g_t, h, p_rho;
    double p = 0.0, p_t = 0.0;
    double rho_total() const;
};
// `with_t` false: at a held T only (g_t and p_t left 0), without the
// (T, rho) pass that they cost.
bool evaluate_phase(const Model &m, double t, std::span<const double> rho, PhaseDerivatives &out,
                    bool with_t = true);

struct TwoPhaseProblem {
    const Model *model = nullptr;
    bool fixed_t = false;
    double t = 0.0;                // K, with fixed_t
    bool fixed_p = false;
    double p = 0.0;                // Pa of the first phase, with fixed_p
    // With fixed_p: held on the second phase instead (a vapour's P is well
    // conditioned in its densities; a liquid's is a small difference of large terms).
    bool fixed_p_on_second = false;
    std::vector<double> ln_feed;   // ln z: the first phase's composition held, or empty
    // With fixed_t and a start at that T, the T column of the Jacobian meets a
    // zero step: the phases may then be evaluated without T derivatives.
    bool isothermal_evaluation = false;

    std::size_t components() const { return model->size(); }
    std::size_t unknowns() const { return 2 * components() + 1; }
    std::size_t index_ln_k(std::size_t i) const { return components() + i; }
    std::size_t index_ln_t() const { return 2 * components(); }
};

// A solution of the problem: X, both phases' derivatives at it and the
// largest scaled residual.
struct TwoPhasePoint {
    std::vector<double> x;
    PhaseDerivatives one, two;
    double residual = 0.0;
    int iterations = 0;
    double t() const;
    double p() const;  // Pa, of the first phase
};

inline constexpr int kNoSpec = -1;

// Newton's method from `start` with the exact Jacobian, with X_spec = value
// unless spec is kNoSpec (then the constraints alone close the system).
// False when it does not reach a scaled residual of 1e-13 within max_iter
// steps or falls onto the trivial solution.
bool correct(const TwoPhaseProblem &problem, std::span<const double> start, int spec, double value,
             TwoPhasePoint &out, int max_iter = 12);

// The equations at X (with X_spec = value unless spec is kNoSpec) and their
// Jacobian (row-major, rows x unknowns), for checks against differences.
bool equations(const TwoPhaseProblem &problem, std::span<const double> x, int spec, double value,
               std::vector<double> &residual, std::vector<double> &jacobian);

// The unit tangent of the curve at a solution, oriented along `orient`.
bool tangent(const TwoPhaseProblem &problem, const TwoPhasePoint &point, std::span<const double> orient,
             std::vector<double> &out);

// d ln P' / dX and d ln T / dX at a solution (for the extrema of the envelope).
std::vector<double> ln_pressure_gradient(const TwoPhaseProblem &problem, const TwoPhasePoint &point);

// The free unknown with the largest tangent component (the next specified one).
int largest_component(std::span<const double> t);

// One step of arc-length continuation from `point` along `t`: predictor X + h t,
// corrector with the largest tangent component specified, the step halved on
// failure or on a turn of the tangent sharper than about 35 degrees, grown by
// half after a correction of at most four iterations (up to largest_step and to
// predicted changes of 0.03 in ln T and 0.25 in ln P).
// On success point and t are the new ones; false when h falls below 1e-7.
bool advance(const TwoPhaseProblem &problem, TwoPhasePoint &point, std::vector<double> &t, double &h,
             double largest_step);

// Coexistence of component k alone at T from the model of the mixture: Newton
// in (ln rho_L, ln rho_V). rho_l and rho_v give the start and receive the
// result; false without convergence.
bool pure_coexistence_in_mixture(const Model &m, std::size_t k, double t, double &rho_l, double &rho_v);

// A start for pure_coexistence_in_mixture at T: the liquid and vapour roots at
// a corresponding-states pressure from the component's critical point (tc, pc
// in K, Pa) and acentric factor.
bool pure_coexistence_start(const Model &m, std::size_t k, double t, double tc, double pc, double omega,
                            double &rho_l, double &rho_v);

}  // namespace keld::equilibria::detail
