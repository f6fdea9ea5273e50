// keld/equilibria/saturation.h - vapour-liquid saturation of a pure component:
// P_sat at T, T_sat at P, and the vapour-pressure curve up to near the
// critical point, for every model family.
//
// At saturation the liquid and the vapour root of the pure component at the
// same T and P have equal fugacities. The solvers iterate on that equality
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
// the bracket closes without two distinct roots: the status is supercritical
// and no pressure is returned.
#pragma once

#include <cstddef>
#include <vector>

#include "keld/equilibria/status.h"
#include "keld/equilibria/system.h"

namespace keld::equilibria {

struct SaturationResult : Outcome {
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
};

// P_sat at `count` temperatures evenly spaced from t_from to t_to, traced by
// continuation (each point predicted from the Clausius-Clapeyron slope of the
// one before). Temperatures above the model's critical point come back with
// status supercritical, and `critical` estimates that point from the last
// converged points (mean-field scaling: (rho_L - rho_V)^2 linear in T). With
// t_to NaN the curve runs from t_from to the last temperature that converges
// below the critical point.
VapourPressureCurve vapour_pressure_curve(System &system, std::size_t k, double t_from, double t_to,
                                          int count);

}  // namespace keld::equilibria
