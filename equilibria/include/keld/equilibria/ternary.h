// keld/equilibria/ternary.h - liquid-liquid equilibrium of a polymer with a
// solvent and a non-solvent on the Helmholtz-energy model (keld/model.hpp)
// at fixed T and P: the binodal with its tie lines up to the plait point,
// and the two-liquid flash of a feed.
//
// The polymer and the non-solvent demix; the solvent dissolves both, so the
// miscibility gap spans the polymer / non-solvent edge of the triangle and
// closes at a plait point inside it. The tie lines are traced by arc-length
// continuation in density variables (ln rho_i of the lean phase, ln K_i =
// ln(rho_i'' / rho_i'), ln T, with T and P held), started at the binary
// polymer / non-solvent limit with a trace of solvent and followed until the
// two phases nearly merge. The plait point is then solved, not extrapolated:
// at the given T the composition and density where the criteria of Heidemann
// and Khalil hold (critical.h) and the pressure is the given one, by Newton's
// method from the mean of the last tie line.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "keld/equilibria/status.h"
#include "keld/model.hpp"

namespace keld::equilibria {

// Which of the model's three components plays which part (indices from 0).
struct TernaryRoles {
    std::size_t solvent = 0, nonsolvent = 1, polymer = 2;
};

// One phase of a tie line, per component in the model's order.
struct TernaryPhase {
    std::vector<double> x;  // mole fractions of molecules
    std::vector<double> w;  // weight fractions
    double rho = not_a_number;  // kmol/m3
};

struct TernaryTieLine {
    TernaryPhase lean, rich;  // poorer and richer in polymer
    double residual = not_a_number;  // the corrector's largest scaled residual
};

struct PlaitPoint : Outcome {
    TernaryPhase phase;
    double p = not_a_number;           // Pa, at the solution (the requested one to 1e-10)
    double eigenvalue = not_a_number;  // smallest eigenvalue of the Helmholtz Hessian (1 kmol)
    double cubic_form = not_a_number;  // the cubic form along its eigenvector, relative to its scale
};

struct TernaryOptions {
    double largest_step = 0.5;  // of the continuation, in the logarithmic unknowns
    int max_tie_lines = 400;
    double merge = 0.05;  // stop tracing when the largest |ln K_i| falls below this
};

struct TernaryDiagram : Outcome {
    double t = not_a_number, p = not_a_number;  // K, Pa
    TernaryRoles roles;
    std::vector<TernaryTieLine> tie_lines;  // from the binary edge towards the plait point
    PlaitPoint plait;
};

// The diagram at T (K) and P (Pa). Status converged only when the trace
// reached the merging phases and the plait point was solved; otherwise the
// tie lines found so far are kept and the message says where it stopped.
TernaryDiagram ternary_lle(const Model &m, double t, double p, const TernaryRoles &roles,
                           const TernaryOptions &options = {});

// The plait point at T and P from a start (mole fractions and density).
PlaitPoint plait_point(const Model &m, double t, double p, std::span<const double> x0, double rho0);

// Two liquids at T, P and the feed z (mole fractions or amounts): stability
// by the tangent-plane distance, then Newton's method on equal fugacities,
// equal pressures and the material balance. single_phase when the feed is
// stable.
struct TernaryFlash : Outcome {
    double t = not_a_number, p = not_a_number;
    TernaryPhase lean, rich;
    double beta = not_a_number;  // the rich phase's share of the feed's molecules
    double tpd = not_a_number;   // the smallest tangent-plane distance found (negative: unstable)
};
TernaryFlash ternary_flash(const Model &m, double t, double p, std::span<const double> z, const TernaryRoles &roles);

}  // namespace keld::equilibria
