// Small numerical pieces shared by the phase-equilibrium solvers (internal).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
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

// Regula falsi with the Illinois modification on f in the bracket [a, b], f(a) = fa and f(b) = fb of
// opposite signs: the root to `tolerance` in the bracket's width; NaN when f is not finite at a
// trial; the bracket's middle after `steps` trials. `calls` counts the evaluations.
inline double illinois_root(const std::function<double(double)> &f, double a, double b, double fa, double fb,
                            double tolerance, int steps, int *calls = nullptr) {
    int side = 0;
    for (int it = 0; it < steps; ++it) {
        const double s = (a * fb - b * fa) / (fb - fa);
        const double fs = f(s);
        if (calls != nullptr) ++*calls;
        if (!std::isfinite(fs)) return std::numeric_limits<double>::quiet_NaN();
        if (fs == 0.0 || std::fabs(b - a) <= tolerance) return s;
        if ((fs > 0.0) == (fb > 0.0)) {
            b = s;
            fb = fs;
            if (side == -1) fa *= 0.5;
            side = -1;
        } else {
            a = s;
            fa = fs;
            if (side == 1) fb *= 0.5;
            side = 1;
        }
    }
    return 0.5 * (a + b);
}

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

// The root of g(s) when each evaluation of g carries noise of its own: a
// monitor's ln phi of a liquid at low pressure inherits the tolerance of its
// density root (ln Z formed from the given P), up to about 1e-14 |V dP/dV| / P.
// Near the root g is its tangent (slope known from the model) plus that
// noise, so no s may give |g| below the tolerance. Collects the evaluations
// with |g| < kWindow and estimates the noise as half the spread of
// g - slope s over them; with kSamples of them, the best one is the answer
// when its |g| is within that noise.
class NoisyRoot {
  public:
    static constexpr double kWindow = 1e-6;
    static constexpr int kSamples = 3;

    void add(double s, double g, double slope) {
        if (!(std::fabs(g) < kWindow) || !std::isfinite(slope)) return;
        const double d = g - slope * s;
        lo_ = std::min(lo_, d);
        hi_ = std::max(hi_, d);
        ++count_;
    }
    double noise() const { return count_ >= kSamples ? 0.5 * (hi_ - lo_) : 0.0; }
    // True when `best` (the smallest |g| met) is as good as the noise allows.
    bool resolved(double best) const { return count_ >= kSamples && best <= noise(); }

  private:
    double lo_ = kInf, hi_ = -kInf;
    int count_ = 0;
};

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
