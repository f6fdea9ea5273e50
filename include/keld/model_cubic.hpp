// keld/model_cubic.hpp - plain parameters of the SRK cubic model with
// excess-Gibbs mixing (keld::Model::cubic, keld/model.hpp).
//
// Soave-Redlich-Kwong: P = R T/(V - b) - D/(V (V + b)), with the pure
// constants a_i = 0.42748 R^2 Tc^2/Pc alpha_i(T), b_i = 0.08664 R Tc/Pc and
// the mixture's b and D from a mixing rule: van der Waals one-fluid, or an
// excess-Gibbs rule (Wong-Sandler, MHV1, MHV2) with an activity-coefficient
// model. These are the formulas of the KELD_ES40 monitor (docs/cubic.md),
// which a model built from the same parameters reproduces.
//
// Matrices are N x N, row-major: element (i, j) at i N + j. NaN marks a value
// not given.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace keld {

// One component: its name, molecular weight mw (kg/kmol; a polymer's number-
// average one), critical temperature tc (K), critical pressure pc (Pa) and
// acentric factor omega (of Soave's alpha). A polymer or oligomer counts its
// constants per unit of mw_apparent (kg/kmol, its repeat unit): a molecule
// holds r = mw/mw_apparent units, so that b grows as r and a as r^2, and tc,
// pc, omega are those of one unit. mw_apparent 0: an ordinary component (= mw).
struct CubicComponent {
    std::string name;
    double mw = 0.0;
    double tc = 0.0;
    double pc = 0.0;
    double omega = 0.0;
    double mw_apparent = 0.0;
};

enum class CubicMixingRule {
    van_der_waals,  // D = sum x_i x_j sqrt(a_i a_j)(1 - k_ij), b = sum x_i b_i
    wong_sandler,   // Wong and Sandler, C* = -ln 2, k_ij of the cross second virial coefficient
    mhv1,           // Michelsen's first-order modified Huron-Vidal, q1 = -0.593
    mhv2,           // second order, q1 = -0.478, q2 = -0.0047
};

// The activity-coefficient model of an excess-Gibbs rule (not read by van der Waals).
enum class ExcessGibbsModel {
    ideal,           // g^E = 0
    redlich_kister,  // two terms through the infinite-dilution limits A_ij = E_ij = ln gamma_i in pure j
    wilson,          // Lambda_ij = (b_j/b_i) exp(E_ij), the covolumes as molar volumes
    van_laar,        // pairwise A_ij A_ji x_i x_j/(A_ij x_i + A_ji x_j), A_ij = E_ij
    nrtl,            // tau_ij = E_ij, G_ij = exp(-alpha_ij tau_ij)
    uniquac,         // combinatorial from r, q (z = 10), tau_ij = exp(E_ij)
    unifac,          // original UNIFAC: combinatorial from the groups' R, Q, residual from a_mn
};

// Original UNIFAC parameters: subgroups with their main group, R and Q; the
// interaction a_mn (K) of every ordered pair of main groups present, with
// Psi_mn = exp(-a_mn/T); and the subgroup counts of each component (per unit
// of mw_apparent for a polymer, like tc, pc and omega).
struct UnifacSubgroup {
    std::string name;        // e.g. "CH3"
    std::string main_group;  // e.g. "CH2"
    double r = 0.0;          // R_k, van der Waals volume
    double q = 0.0;          // Q_k, van der Waals area
};
struct UnifacInteraction {
    std::string m, n;  // main groups
    double a_mn = 0.0; // K
};
struct UnifacParameters {
    std::vector<UnifacSubgroup> subgroups;
    std::vector<UnifacInteraction> interactions;
    std::vector<std::vector<std::pair<std::string, double>>> groups;  // per component: {subgroup, count}
};

struct CubicOptions {
    CubicMixingRule rule = CubicMixingRule::van_der_waals;
    ExcessGibbsModel excess_gibbs = ExcessGibbsModel::ideal;

    // k_ij of the van der Waals or the Wong-Sandler rule (the symmetric part
    // (k_ij + k_ji)/2 is used; empty or NaN: 0).
    std::vector<double> kij;

    // E_ij = a_ij + b_ij/T of the ordered pair (i, j): a_ij dimensionless,
    // b_ij in K. Read by Redlich-Kister, Wilson, Van Laar, NRTL and UNIQUAC,
    // which need a_ij or b_ij (the other counts as 0) for every pair i != j.
    std::vector<double> ge_a, ge_b;

    // NRTL non-randomness alpha_ij (where (i, j) is NaN, (j, i) is used).
    std::vector<double> nrtl_alpha;

    // UNIQUAC volume r and area q of each component (per unit of mw_apparent
    // for a polymer: they grow with r = mw/mw_apparent).
    std::vector<double> uniquac_r, uniquac_q;

    UnifacParameters unifac;

    // Per component: {} for Soave's alpha from omega, or the Mathias-Copeman
    // constants {c1, c2, c3} (missing trailing ones 0; above Tc only c1 is used).
    std::vector<std::vector<double>> mathias_copeman;
};

}  // namespace keld
