// Broyden's quasi-Newton method for a fixed point x = g(x), kept as the negated inverse Jacobian H of
// f(x) = g(x) - x, so that the step H f is plain substitution for H = I and Newton's step for the
// exact H = -(df/dx)^-1. The "good" update makes H+ y = -s for the last pair (s, y).
#include <cmath>

#include "numerics/numerics.h"

namespace keld::refhost::numerics {

void convergence_test(const std::int64_t *n_arg, const double *x, const double *f, double *step,
                      std::int64_t *state, double *work, const std::int64_t *work_words) {
    if (!n_arg || !x || !f || !step || !state || !work || !work_words) return;
    const std::int64_t n = *n_arg;
    if (n < 1 || *work_words < n * n + 4 * n) return;
    double *h = work;              // column-major n x n
    double *x_last = work + n * n;
    double *f_last = x_last + n;
    double *hy = f_last + n;       // H y
    double *sh = hy + n;           // s' H
    if (*state == 1) {
        for (std::int64_t k = 0; k < n * n; ++k) h[k] = 0.0;
        for (std::int64_t i = 0; i < n; ++i) h[i * n + i] = 1.0;
    } else if (*state == 3) {
        // s = x - x_last and y = f - f_last, formed on the fly.
        double s_norm2 = 0.0, hy_norm2 = 0.0, shy = 0.0;
        for (std::int64_t i = 0; i < n; ++i) hy[i] = 0.0;
        for (std::int64_t j = 0; j < n; ++j) {
            const double yj = f[j] - f_last[j];
            const double *column = h + j * n;
            double s_column = 0.0;
            for (std::int64_t i = 0; i < n; ++i) {
                hy[i] += column[i] * yj;
                s_column += (x[i] - x_last[i]) * column[i];
            }
            sh[j] = s_column;
        }
        for (std::int64_t i = 0; i < n; ++i) {
            const double s = x[i] - x_last[i];
            s_norm2 += s * s;
            hy_norm2 += hy[i] * hy[i];
            shy += s * hy[i];
        }
        if (std::isfinite(shy) && shy * shy > 1e-24 * s_norm2 * hy_norm2) {
            // H -= (s + H y)(s' H) / (s' H y); hy becomes the left vector, scaled.
            for (std::int64_t i = 0; i < n; ++i) hy[i] = (x[i] - x_last[i] + hy[i]) / shy;
            for (std::int64_t j = 0; j < n; ++j) {
                double *column = h + j * n;
                const double sj = sh[j];
                for (std::int64_t i = 0; i < n; ++i) column[i] -= hy[i] * sj;
            }
        }
    }
    for (std::int64_t i = 0; i < n; ++i) {
        x_last[i] = x[i];
        f_last[i] = f[i];
        step[i] = 0.0;
    }
    for (std::int64_t j = 0; j < n; ++j) {
        const double *column = h + j * n;
        const double fj = f[j];
        for (std::int64_t i = 0; i < n; ++i) step[i] += column[i] * fj;
    }
    *state = 3;
}

}  // namespace keld::refhost::numerics
