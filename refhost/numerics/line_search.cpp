// Backtracking line search in reverse communication (Dennis and Schnabel, algorithm A6.3.1).
#include <cmath>

#include "numerics/numerics.h"

namespace keld::refhost::numerics {
namespace {

constexpr double kDecrease = 1e-4;     // sufficient-decrease coefficient
constexpr double kShrinkMin = 0.1;     // each new fac within [0.1, 0.5] of the previous one
constexpr double kShrinkMax = 0.5;
constexpr double kMinFac = 1e-10;
constexpr std::int64_t kMaxTrials = 30;

}  // namespace

void line_search(const double *f0_arg, const double *slope0_arg, const double *f_arg, double *fac,
                 std::int64_t *ksrch, double *work) {
    if (!f0_arg || !slope0_arg || !f_arg || !fac || !ksrch || !work) return;
    const double f0 = *f0_arg, slope0 = *slope0_arg, f = *f_arg, lam = *fac;
    const std::int64_t trial = *ksrch < 0 ? 0 : *ksrch;
    if (std::isfinite(f) && f <= f0 + kDecrease * lam * slope0) {
        *ksrch = -1;
        return;
    }
    if (!(slope0 < 0.0) || !std::isfinite(f0) || trial >= kMaxTrials || lam <= kMinFac) {
        *ksrch = -2;
        return;
    }
    double next;
    if (!std::isfinite(f)) {
        next = kShrinkMax * lam;  // no shape to fit: halve
    } else if (trial == 0) {
        // Minimum of the quadratic through phi(0), phi'(0) and phi(lam).
        next = -slope0 * lam * lam / (2.0 * (f - f0 - slope0 * lam));
    } else {
        // Minimum of the cubic through phi(0), phi'(0), phi(lam) and phi(lam_prev).
        const double lam_prev = work[0], f_prev = work[1];
        const double r1 = f - f0 - slope0 * lam, r2 = f_prev - f0 - slope0 * lam_prev;
        const double a = (r1 / (lam * lam) - r2 / (lam_prev * lam_prev)) / (lam - lam_prev);
        const double b = (-lam_prev * r1 / (lam * lam) + lam * r2 / (lam_prev * lam_prev)) / (lam - lam_prev);
        if (a == 0.0) {
            next = -slope0 / (2.0 * b);
        } else {
            const double disc = b * b - 3.0 * a * slope0;
            if (disc < 0.0)
                next = kShrinkMax * lam;
            else if (b <= 0.0)
                next = (-b + std::sqrt(disc)) / (3.0 * a);
            else
                next = -slope0 / (b + std::sqrt(disc));
        }
    }
    if (!std::isfinite(next)) next = kShrinkMax * lam;
    next = std::fmin(std::fmax(next, kShrinkMin * lam), kShrinkMax * lam);
    work[0] = lam;
    work[1] = f;
    *fac = next;
    *ksrch = trial + 1;
}

}  // namespace keld::refhost::numerics
