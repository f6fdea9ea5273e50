// keld/equilibria/saturation.h - vapour-liquid saturation of a pure component:
// P_sat at T, T_sat at P, and the vapour-pressure curve up to the critical
// point, for every model family.
//
// Where the system can build the component's Helmholtz-energy model (every
// family but the segment-based monitors), saturation is solved on it in
// density variables (pure_model.h): Newton's method in (rho_L, rho_V) with the
// exact Jacobian, started from a neighbouring point carried along the
// curve's tangent, and bounded by the model's solved critical point. The
// model is the monitor's residual, so the monitor evaluated at the returned
// T and P has the same two roots with equal fugacities. The result says
// which solver gave it (`solver`).
//
// Otherwise, and wherever the model path does not converge, the monitors
// are iterated as a simulator calls them: at saturation the liquid and the
// vapour root of the pure component at the same T and P have equal
// fugacities. The solvers iterate on that equality
// with Newton steps whose slopes the monitors give exactly:
//   d ln phi / dP = (Z - 1)/P for each phase,
//   d(ln phi_L - ln phi_V)/dT = (H_V - H_L)/(R T^2),
// inside a bracket that every evaluation narrows. (At fixed T the step solves
// the model in which both ln phi are linear in P, which is exact for an
// incompressible liquid and a second-virial vapour.) An evaluation at which
// the host returns the same root for both phases (the requested kind does not
// exist there) narrows the bracket from the side its volume shows: larger
// than the geometric mean of the two phases' volumes is vapour-like.
//
// Where the host's liquid root search fails at a low pressure (below 1e4 Pa),
// the liquid is evaluated at 1e4, 2e4 and 3e4 Pa instead and carried to the
// pressure by quadratic extrapolation of ln f, V and H in P; the result then
// says so in its message.
// Above the critical temperature (or above the critical pressure for T_sat)
// the status is supercritical and no pressure is returned.
#pragma once

#include <cstddef>
#include <vector>

#include "keld/equilibria/status.h"
#include "keld/equilibria/system.h"

namespace keld::equilibria {

// Which solver gave a saturation result: the Helmholtz-energy model in
// density variables, or the monitors through (T, P) calls.
enum class SaturationSolver { monitors, model };

struct SaturationResult : Outcome {
    SaturationSolver solver = SaturationSolver::monitors;
    double t = not_a_number;         // K
    double p = not_a_number;         // Pa
    double v_liquid = not_a_number;  // m3/kmol
    double v_vapour = not_a_number;  // m3/kmol
    double z_liquid = not_a_number;  // P v / (R T)
    double z_vapour = not_a_number;
    double h_vaporisation = not_a_number;  // H_V - H_L, J/kmol
    double ln_phi = not_a_number;          // ln phi of both phases at saturation
};

// Optional knowledge of the answer, e.g. from a neighbouring temperature.
struct SaturationGuess {
    double p = not_a_number;         // a pressure near P_sat, Pa
    double t = not_a_number;         // a temperature near T_sat, K
    double v_liquid = not_a_number;  // molar volumes of the two phases there, m3/kmol
    double v_vapour = not_a_number;
};

// P_sat of listed component k at T. A component that is not volatile, or a
// T that is not a positive number, is invalid input.
SaturationResult saturation_pressure(System &system, std::size_t k, double t,
                                     const SaturationGuess &guess = {});
// T_sat of listed component k at P (the boiling temperature).
SaturationResult saturation_temperature(System &system, std::size_t k, double p,
                                        const SaturationGuess &guess = {});

struct CriticalEstimate {
    bool found = false;
    double t = not_a_number;  // K
    double p = not_a_number;  // Pa
    double v = not_a_number;  // m3/kmol
};

struct VapourPressureCurve {
    std::vector<SaturationResult> points;  // one per temperature asked for
    CriticalEstimate critical;             // where the curve ends, when it was reached
    // The critical point was solved on the model (dP/drho = d2P/drho2 = 0),
    // not estimated from the end of a traced curve.
    bool critical_solved = false;
};

// P_sat at `count` temperatures evenly spaced from t_from to t_to, traced by
// continuation (each point started from the one before). Temperatures above
// the critical point come back with status supercritical. On the model, the
// curve ends at the solved critical point: with t_to NaN it runs from t_from
// to T_c, its last point the critical point itself (both phases the critical
// fluid). Through the monitors, `critical` estimates that point from the last
// converged points (mean-field scaling: (rho_L - rho_V)^2 linear in T), and
// with t_to NaN the curve runs to the last temperature that converges below
// it.
VapourPressureCurve vapour_pressure_curve(System &system, std::size_t k, double t_from, double t_to,
                                          int count);

}  // namespace keld::equilibria
