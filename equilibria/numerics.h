// Small numerical pieces shared by the phase-equilibrium solvers (internal).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "keld/equilibria/phase_evaluator.h"

namespace keld::equilibria::detail {

inline constexpr double kInf = std::numeric_limits<double>::infinity();

// A bracket [lo, hi] on an iteration variable with the rule for the next
// trial: Newton inside, bisection when Newton leaves, expansion by `reach`
// while one side is open.
struct Bracket {
    double lo = -kInf, hi = kInf;
    double next(double newton, double here, double reach) const {
        if (std::isfinite(newton) && newton > lo && newton < hi) return newton;
        if (std::isfinite(lo) && std::isfinite(hi)) return 0.5 * (lo + hi);
        if (std::isfinite(lo)) return std::max(here, lo) + reach;
        return std::min(here, hi) - reach;
    }
    bool closed(double width) const { return hi - lo <= width; }
};

// The root near P0 of g(P) = g0 + (z_l - z_v + 1)(P - P0)/P0 - ln(P/P0), in
// ln P: the model of a difference of ln fugacity coefficients (liquid minus
// vapour) in which the liquid is incompressible and the vapour's ln phi is
// linear in P, both with the exact slopes (Z - 1)/P at P0. NaN when the model
// turns before reaching a root.
inline double model_step(double g0, double z_l, double z_v, double p0) {
    const double a = g0 + std::log(p0);
    const double b = (z_l - z_v + 1.0) / p0;
    double s = std::log(p0);
    for (int i = 0; i < 30; ++i) {
        const double slope = b * std::exp(s) - 1.0;
        if (!(slope < 0.0)) return std::numeric_limits<double>::quiet_NaN();
        const double step = (a + b * (std::exp(s) - p0) - s) / slope;
        s -= step;
        if (std::fabs(step) < 1e-15) return s;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

inline std::string format_number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// Monitor calls made through a session since construction.
struct CallCounter {
    HostSession &session;
    long start;
    explicit CallCounter(HostSession &s) : session(s), start(s.calls()) {}
    int calls() const { return static_cast<int>(session.calls() - start); }
};

}  // namespace keld::equilibria::detail
