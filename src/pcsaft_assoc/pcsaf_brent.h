// Brent's method (inverse quadratic interpolation with a bisection safeguard) for the monitor's own
// density search: f(b) = 0 on a bracket [lo, hi] over which f changes sign. It stops when half the
// bracket is at most 6.0E-8 |b| + 5.0E-7 (single-precision numbers, as the model has them) or the
// residual is exactly zero, and gives up after 2000 iterations.
#pragma once

#include <cmath>
#include <optional>

namespace keld::pcsaf {

inline constexpr int kBrentIterations = 2000;
inline constexpr double kBrentRelative = static_cast<double>(6.0e-8f);
inline constexpr double kBrentAbsolute = static_cast<double>(5.0e-7f);

struct BrentOutcome {
    double x = 0.0;          // the last iterate
    bool converged = false;  // the stopping rule held
    bool stopped = false;    // f asked to stop (it returned nothing)
    int iterations = 0;
};

// f(x) returns f, or nothing to stop the search at once. fa = f(lo), fb = f(hi).
template <class F>
BrentOutcome brent(F &&f, double lo, double hi, double fa, double fb) {
    double a = lo, b = hi, c = hi, d = 0.0, e = 0.0, fc = fb;
    BrentOutcome out;
    for (out.iterations = 0; out.iterations < kBrentIterations; ++out.iterations) {
        if ((fb > 0.0 && fc > 0.0) || (fb < 0.0 && fc < 0.0)) {
            c = a;
            fc = fa;
            e = d = b - a;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const double tol1 = kBrentRelative * std::fabs(b) + kBrentAbsolute;
        const double xm = 0.5 * (c - b);
        if (std::fabs(xm) <= tol1 || fb == 0.0) {
            out.x = b;
            out.converged = true;
            return out;
        }
        if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
            // Inverse quadratic interpolation (the secant when only two points are distinct).
            const double s = fb / fa;
            double p, q;
            if (a == c) {
                p = 2.0 * xm * s;
                q = 1.0 - s;
            } else {
                const double qa = fa / fc, r = fb / fc;
                p = s * (2.0 * xm * qa * (qa - r) - (b - a) * (r - 1.0));
                q = (qa - 1.0) * (r - 1.0) * (s - 1.0);
            }
            if (p > 0.0) q = -q;
            p = std::fabs(p);
            const double min1 = 3.0 * xm * q - std::fabs(tol1 * q);
            const double min2 = std::fabs(e * q);
            if (2.0 * p < (min1 < min2 ? min1 : min2)) {
                e = d;
                d = p / q;
            } else {
                d = xm;
                e = d;
            }
        } else {
            d = xm;
            e = d;
        }
        a = b;
        fa = fb;
        b += std::fabs(d) > tol1 ? d : std::copysign(tol1, xm);
        const std::optional<double> next = f(b);
        if (!next) {
            out.x = b;
            out.stopped = true;
            return out;
        }
        fb = *next;
    }
    out.x = b;
    return out;
}

}  // namespace keld::pcsaf
