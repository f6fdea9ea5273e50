// keld/equilibria/critical.h - the critical point of a mixture of given
// composition on its Helmholtz-energy model (keld/model.hpp), by the
// criteria of Heidemann and Khalil with exact derivatives.
//
// At T and the molar volume V of the composition x (amounts n = x, 1 kmol),
// the Hessian Q_ij = d2(A/RT)/dn_i dn_j at constant T, V (the model's
// amount derivatives plus the ideal gas's delta_ij/n_i) has a zero smallest
// eigenvalue, and along its unit eigenvector dn the cubic form
//     C = sum_ijk d3(A/RT)/dn_i dn_j dn_k dn_i dn_j dn_k
// vanishes. C is the third Taylor coefficient (times 6) of A/RT along
// n + s dn, formed from the residual in one pass of third order in s, plus
// the ideal gas's -sum dn_i^3/n_i^2.
//
// The two conditions are solved by a safeguarded nested iteration: at each
// volume, T on the stability limit (smallest eigenvalue zero) by a bracketed
// secant; over volumes, C = 0 by a bracketed secant in ln V. The start comes
// from the pure components' critical points mixed linearly in x (T_c and
// V_c), or from the caller (for a liquid-liquid critical point of a polymer
// solution give a liquid volume). A result that does not meet both
// conditions to 1e-10 is refused (not converged), never returned. The
// criteria can have several solutions at one composition: from the
// pseudo-critical start, one under tension (P <= 0, a liquid-liquid critical
// point) is refused as not the vapour-liquid one; along a critical line, give
// each composition the neighbouring point as start.
#pragma once

#include <span>
#include <vector>

#include "keld/equilibria/status.h"
#include "keld/model.hpp"

namespace keld::equilibria {

struct MixtureCritical : Outcome {
    double t = not_a_number;    // K
    double p = not_a_number;    // Pa
    double v = not_a_number;    // m3/kmol
    double rho = not_a_number;  // kmol/m3
    std::vector<double> x;          // the composition (mole fractions of molecules)
    std::vector<double> direction;  // dn, the unit eigenvector of the zero eigenvalue
    double eigenvalue = not_a_number;  // smallest eigenvalue of Q at the result (1/kmol)
    double cubic_form = not_a_number;  // C at the result
};

struct CriticalStart {
    double t = not_a_number;  // K
    double v = not_a_number;  // m3/kmol
};

// The conditions at (T, V, x): the smallest eigenvalue of Q, its eigenvector
// and C along it (for checks, and for the solver). C is odd in the
// eigenvector, whose sign an eigensolver leaves open: with `orient`, the
// eigenvector is the one with a positive projection on it (so that C varies
// continuously along a path), else the one whose largest entry is positive.
struct CriticalConditions {
    double eigenvalue = not_a_number;
    double cubic_form = not_a_number;
    double cubic_scale = not_a_number;  // sum |dn_i|^3 / x_i^2, C's natural size
    std::vector<double> direction;
};
CriticalConditions critical_conditions(const Model &m, double t, double v, std::span<const double> x,
                                       std::span<const double> orient = {});

// The critical point of the model's mixture at composition x (every x_i > 0,
// any scale). A pure fluid (one component) is solved as well.
MixtureCritical mixture_critical_point(const Model &m, std::span<const double> x, const CriticalStart &start = {});

}  // namespace keld::equilibria
