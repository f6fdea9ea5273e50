// A liquid at low pressure when the host's density-root search fails there
// (internal).
//
// At pressures below 1e4 Pa the reference host's liquid root search may give
// up although the liquid exists (a deep-subcooled liquid whose model pressure
// near the root is a small difference of large terms). There the liquid of
// the same composition is evaluated at three reference pressures a, 2a, 3a
// (a = 1e4 Pa, or 1e5 Pa when those fail too) and carried to the pressure by
// quadratic extrapolation in P of ln f_i = ln x_i + ln phi_i + ln P, of V and
// of H. ln f_i has the slope V_i/(R T) (partial molar volume), so the error is
// third order in the liquid's compressibility over a few 1e4 Pa: far below
// the 1e-11 the solvers converge to.
#pragma once

#include <array>
#include <vector>

#include "keld/equilibria/phase_evaluator.h"

namespace keld::equilibria::detail {

class LowPressureLiquid {
  public:
    static constexpr double kLowPressure = 1e4;  // Pa
    static constexpr double kLiquidLikeZ = 0.25;  // apparent-basis Z below which a root is a liquid

    // `x` must stay valid and unchanged while this object is used.
    LowPressureLiquid(PhaseEvaluator &e, double t, const double *x, Wanted wanted)
        : e_(e), t_(t), x_(x), wanted_(wanted) {}

    // The liquid at p: the monitor's answer, or where that fails below
    // kLowPressure, the carried liquid. ln_phi receives size() values.
    PhasePoint at(double p, double *ln_phi);
    bool carried() const { return carried_; }

  private:
    bool reference();

    PhaseEvaluator &e_;
    double t_;
    const double *x_;
    Wanted wanted_;
    int state_ = 0;  // 0 not tried, 1 ready, -1 unavailable
    double a_ = 0.0;
    std::array<std::vector<double>, 3> ln_f_;
    std::array<PhasePoint, 3> point_;
    bool carried_ = false;
};

}  // namespace keld::equilibria::detail
