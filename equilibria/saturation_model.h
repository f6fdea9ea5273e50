// Pure-component saturation on the Helmholtz-energy model (internal): the
// density-variable solvers of pure_model.h behind the saturation API, for the
// families whose model the system can build.
#pragma once

#include <optional>

#include "keld/equilibria/saturation.h"

namespace keld::equilibria::detail {

// P_sat at T on the model, or nothing where the model cannot give it (no
// model of the family, no solved critical point, no convergence): the caller
// then solves through the monitors. Above the critical temperature the
// result says so (supercritical); at it, it is the critical point.
std::optional<SaturationResult> model_saturation_pressure(System &system, std::size_t k, double t,
                                                          const SaturationGuess &guess);
// T_sat at P on the model, or nothing (as above).
std::optional<SaturationResult> model_saturation_temperature(System &system, std::size_t k, double p,
                                                             const SaturationGuess &guess);
// The curve at `count` temperatures from t_from to t_to (NaN: to the critical
// point, the last point being that point), each point started from the one
// before; nothing where the model cannot give the first point.
std::optional<VapourPressureCurve> model_vapour_pressure_curve(System &system, std::size_t k, double t_from,
                                                               double t_to, int count);

}  // namespace keld::equilibria::detail
