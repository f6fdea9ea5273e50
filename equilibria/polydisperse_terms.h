// The pieces of a phase the polydisperse solvers' Newton steps need (internal):
// ln f_i and the pressure at (T, V, n) with their exact derivatives.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <Eigen/Dense>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "keld/equilibria/polydisperse.h"

namespace keld::equilibria::detail {

// ln f_i = ln(n_i R T / V) + dPsi/dn_i (f in Pa) and P = rho R T (1 + rho a_rho).
struct PhaseTerms {
    Eigen::VectorXd ln_f;
    Eigen::MatrixXd dlnf_dn;  // delta_ij / n_i + d2Psi/dn_i dn_j (1/kmol)
    Eigen::VectorXd dlnf_dv;  // 1/m3
    Eigen::VectorXd dlnf_dt;  // 1/K
    double p = 0.0, dp_dv = 0.0, dp_dt = 0.0;  // Pa, Pa/m3, Pa/K
    Eigen::VectorXd dp_dn;    // Pa/kmol
    double rho_rt = 0.0;      // rho R T, the pressure scale of the phase (Pa)
};

// False when the state lies beyond the model (non-finite terms, denser than its densest state).
bool phase_terms(const Model &m, double t, double v, std::span<const double> n, PhaseTerms &out);

// ln f_i of a phase at (T, P, n) on its liquid root, with the derivatives at
// constant T and P (in n) and at constant P and n (in T). The volume, to
// whose changes a polymer's ln f answers by 1e6 per unit of ln V, is solved
// for in every evaluation rather than iterated on with the amounts.
struct PressureTerms {
    Eigen::VectorXd ln_f;
    Eigen::MatrixXd dlnf_dn;  // 1/kmol
    Eigen::VectorXd dlnf_dt;  // 1/K
    Eigen::VectorXd dlnf_dp;  // at constant T and n, through the volume (1/Pa)
    double rho = 0.0;         // kmol/m3
};
bool pressure_terms(const Model &m, double t, double p, std::span<const double> n, PressureTerms &out);

// The repeat units of each component's molecule (one for a solvent): ln f_i
// is compared per repeat unit, as in the monodisperse demixing layer. A
// chain's ln f is of the order of its repeat units (1e5 for M = 2e6), so its
// round-off alone is 1e-11 to 1e-10: an absolute 1e-10 is not a criterion
// such a chain can meet reliably.
Eigen::VectorXd repeat_units(const Model &m);

// A phase's description from its amounts and density.
PolydispersePhase describe_phase(const PolydisperseSystem &system, std::span<const double> n, double rho,
                                 std::span<const double> ln_f);

// What a cloud point holds fixed: P (solving for T), or T (solving for ln P,
// within [p_from, p_to]).
struct CloudConditions {
    bool free_pressure = false;
    double t = not_a_number, p = not_a_number;  // K, Pa: the fixed one
    double p_from = 0.0, p_to = std::numeric_limits<double>::infinity();
    double t_of(double free) const { return free_pressure ? t : free; }
    double p_of(double free) const { return free_pressure ? std::exp(free) : p; }
};

// A cloud point of feed w started from a converged neighbour.
CloudPoint cloud_point_from(const PolydisperseSystem &system, const CloudConditions &cond, double w,
                            const CloudPoint &neighbour);
// The cloud-point curve of count feeds evenly spaced in ln(w/(1-w)) from w_from to w_to, followed
// outwards from curve.critical (converged, at the conditions); sets the curve's points and status.
void follow_cloud_curve(const PolydisperseSystem &system, const CloudConditions &cond, double w_from, double w_to,
                        int count, CloudPointCurve &curve);
// A one-feed curve's point, or a refusal carrying the curve's reason (never converged without a point).
CloudPoint single_cloud_point(const CloudPointCurve &curve);

// Mole fractions and amounts on the polymer weight fraction s = ln(w / (1 - w)).
inline double weight_from_logit(double s) { return 1.0 / (1.0 + std::exp(-s)); }

}  // namespace keld::equilibria::detail
