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

// Mole fractions and amounts on the polymer weight fraction s = ln(w / (1 - w)).
inline double weight_from_logit(double s) { return 1.0 / (1.0 + std::exp(-s)); }

}  // namespace keld::equilibria::detail
