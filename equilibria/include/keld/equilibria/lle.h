// keld/equilibria/lle.h - liquid-liquid demixing of a binary polymer solution
// (or any binary of two liquids) at a given pressure: spinodal, binodal,
// critical points and the curves over temperature, with upper (UCST) and
// lower (LCST) critical solution branches where the model has them.
//
// Compositions are weight fractions w of the second listed component (the
// polymer); s = ln(w / (1 - w)) is the variable the solvers work in, so that
// a polymer-lean phase with w of 1e-20 is resolved as well as one with 0.1.
//   Stability: the liquid is locally stable where d ln f_1 / dw < 0 (the
//   solvent's fugacity falls as polymer is added); the spinodal is where that
//   derivative is zero, and the critical point where its largest value over s
//   is zero (the extremum of the spinodal curve over T).
//   Binodal: the polymer-lean phase s' and the polymer-rich phase s'' with
//   equal fugacities (chemical potentials) of both components. For each s''
//   on the rich side of the spinodal, s' follows from the polymer's equality
//   on the lean side (monotone there); the solvent's equality then fixes s''
//   in a bracket. Converged when the solvent's ln f agree within 1e-11 and
//   the polymer's within 1e-11 per repeat unit (ln f_2 / r with r = MWN/MW:
//   a polymer molecule's ln phi is of the order of its repeat units, so that
//   is the precision its chemical potential has).
// With a single (monodisperse) polymer component the cloud-point curve is the
// binodal: the curve below lists both branches.
// On a system with a model (System::mixture_model) the same functions use its
// exact derivatives: the stability from the scaled determinant of the binary's
// Hessian, the bracketed binodal finished by Newton with the exact Jacobian,
// the critical solution point solved where the least stability over s is zero.
#pragma once

#include <vector>

#include "keld/equilibria/status.h"
#include "keld/equilibria/system.h"

namespace keld::equilibria {

struct SpinodalResult : Outcome {
    double t = not_a_number, p = not_a_number;
    double w_lean = not_a_number, w_rich = not_a_number;  // weight fractions of component 2 at the spinodal
};

struct LlePhase {
    std::vector<double> x, w, ln_phi;  // true mole fractions, weight fractions, ln phi (true basis)
    double v = not_a_number;           // m3/kmol
};

struct BinodalResult : Outcome {
    double t = not_a_number, p = not_a_number;
    LlePhase lean, rich;  // poorer and richer in component 2
    SpinodalResult spinodal;
};

enum class CriticalKind { upper, lower };  // UCST: two phases below it; LCST: above it

struct CriticalSolutionPoint {
    CriticalKind kind = CriticalKind::upper;
    double t = not_a_number;  // K
    double w = not_a_number;  // weight fraction of component 2
};

struct LleCurve {
    std::vector<double> t;                        // the temperatures asked for
    std::vector<BinodalResult> binodal;           // one per temperature (status supercritical: one liquid)
    std::vector<CriticalSolutionPoint> critical;  // critical solution points found within the range
};

SpinodalResult spinodal(System &system, double t, double p);
BinodalResult binodal(System &system, double t, double p);
// The critical solution point between t_from and t_to where the stability
// changes sign (one UCST or LCST). Status no_solution when the stability does
// not change sign over the interval.
struct CriticalResult : Outcome {
    CriticalSolutionPoint point;
};
CriticalResult critical_solution_point(System &system, double p, double t_from, double t_to);
LleCurve lle_curve(System &system, double p, double t_from, double t_to, int count);

// The demixing curves at P traced over T on the model's exact derivatives:
// from each critical solution point in [t_from, t_to] outward (down in T from
// a UCST, up from an LCST) to the end of the range, by arc-length
// continuation with step control. The binodal is followed in (s', s'', T)
// with Newton on its exact Jacobian (equal ln f of both components, the
// polymer's per repeat unit, to 1e-13); each spinodal side in (s, T) on the
// scaled determinant of the binary's Hessian (exact; its Jacobian from
// differences of that exact value). A branch that cannot go on (the lean
// phase's weight fraction below exp(-700), a phase without a liquid root)
// ends there with its status and message saying why; the points before
// are kept. Needs the system's model (status invalid_input without one).
struct LleBranch : Outcome {
    CriticalSolutionPoint critical;
    // Binodal: the critical point first, then tie lines outward in T (K).
    std::vector<double> t, w_lean, w_rich;
    // Spinodal as one line through the critical point: from the lean side's
    // far end in to the critical point, then out along the rich side.
    std::vector<double> spinodal_t, spinodal_w;
};

struct LleTrace : Outcome {
    double p = not_a_number, t_from = not_a_number, t_to = not_a_number;
    std::vector<LleBranch> branches;  // in increasing critical temperature
};

LleTrace trace_lle(System &system, double p, double t_from, double t_to);

}  // namespace keld::equilibria
