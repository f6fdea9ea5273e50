// Bounded nonlinear least squares: a projected Levenberg-Marquardt method.
//
// Each iteration solves (J_F'J_F + mu D_F) dx_F = -g_F for the free unknowns F (those not held at a
// bound by a gradient that points out of the box), shortens the step to the step bound, projects
// x + dx onto the box and accepts the projected point when it lowers S. The gain ratio rho of the
// actual to the predicted decrease (predicted from the linear model at the projected step) updates
// the damping as Nielsen proposes: mu *= max(1/3, 1 - (2 rho - 1)^3) on success, mu *= nu, nu *= 2
// on failure (H. B. Nielsen, Damping parameter in Marquardt's method, IMM-REP-1999-05, DTU; the
// projection of Kanzow, Yamashita and Fukushima, J. Comput. Appl. Math. 172, 2004, 375).
#include <algorithm>
#include <cmath>

#include "numerics/numerics.h"

namespace keld::refhost::numerics {
namespace {

constexpr double kTiny = 1e-300;
constexpr double kMaxDamping = 1e30;
constexpr std::int64_t kMaxUnknowns = 64;

struct Problem {
    std::int64_t n, m;
    const double *targets, *weights, *lower, *upper, *typical;
    keld_lsq_model_fn model;
    void *context;
    double missing;
};

// Residuals r = (f - target)/|weight| at x; false when a model value is unusable.
bool residuals(const Problem &p, const double *x, double *f, double *r) {
    p.model(x, &p.m, f, p.context);
    for (std::int64_t k = 0; k < p.m; ++k) {
        if (f[k] == p.missing || !std::isfinite(f[k])) return false;
        r[k] = (f[k] - p.targets[k]) / std::fabs(p.weights[k]);
    }
    return true;
}

double sum_of_squares(const double *r, std::int64_t m) {
    double s = 0.0;
    for (std::int64_t k = 0; k < m; ++k) s += r[k] * r[k];
    return s;
}

double magnitude(const Problem &p, const double *x, std::int64_t j) { return std::max(std::fabs(x[j]), p.typical[j]); }

// Jacobian of the residuals by differences that stay inside the box (column-major m x n).
bool jacobian(const Problem &p, double *x, const double *r, double *jac, double *f, double *r_trial,
              double *r_back, bool central, double relative_step) {
    for (std::int64_t j = 0; j < p.n; ++j) {
        const double xj = x[j];
        double h = relative_step * magnitude(p, x, j);
        if (xj + h > p.upper[j]) h = -h;  // step back from the upper bound
        x[j] = xj + h;
        bool ok = residuals(p, x, f, r_trial);
        double span = h;
        if (ok && central && xj - h >= p.lower[j] && xj - h <= p.upper[j]) {
            x[j] = xj - h;
            if (residuals(p, x, f, r_back)) {
                span = 2.0 * h;
                for (std::int64_t k = 0; k < p.m; ++k) r_trial[k] -= r_back[k] - r[k];
            }
        }
        x[j] = xj;
        if (!ok) return false;
        for (std::int64_t k = 0; k < p.m; ++k) jac[j * p.m + k] = (r_trial[k] - r[k]) / span;
    }
    return true;
}

}  // namespace

std::int64_t least_squares_work_words(std::int64_t n, std::int64_t m) { return (n + 4) * m + n * n + 6 * n; }

void bounded_least_squares(const std::int64_t *n_arg, const std::int64_t *m_arg, double *x, const double *targets,
                           const double *weights, keld_lsq_model_fn model, void *context,
                           const std::int64_t *max_iterations, const double *settings, const double *lower,
                           const double *upper, const double *typical, const double *missing, double *work,
                           const std::int64_t *work_words, std::int64_t *status) {
    if (!status) return;
    *status = 3;
    if (!n_arg || !m_arg || !x || !targets || !weights || !model || !max_iterations || !settings || !lower ||
        !upper || !typical || !missing || !work || !work_words)
        return;
    const std::int64_t n = *n_arg, m = *m_arg;
    if (n < 1 || m < n || n > kMaxUnknowns || m > 100000 || *work_words < least_squares_work_words(n, m)) return;
    for (std::int64_t k = 0; k < m; ++k)
        if (!(std::fabs(weights[k]) > 0.0) || !std::isfinite(weights[k]) || !std::isfinite(targets[k])) return;
    for (std::int64_t j = 0; j < n; ++j)
        if (!(lower[j] <= upper[j]) || !(typical[j] > 0.0) || !std::isfinite(x[j])) return;

    const bool marquardt = settings[0] == 1.0;
    const double tau = settings[1] > 0.0 ? settings[1] : 1e-3;
    const double tol = settings[2] > 0.0 ? settings[2] : 1e-8;
    const double floor_s = std::max(settings[3], 0.0);
    const bool central = settings[4] == 2.0;
    const double step_bound = settings[5] > 0.0 ? settings[5] : 1.0;
    const double fd_step = settings[6] > 0.0 ? settings[6] : 1e-6;
    const double nu0 = settings[7] > 1.0 ? settings[7] : 2.0;

    // Work layout.
    double *f = work, *r = f + m, *r_trial = r + m, *r_back = r_trial + m, *jac = r_back + m;
    double *a = jac + n * m, *g = a + n * n, *dx = g + n, *x_trial = dx + n, *diag = x_trial + n;
    std::int64_t pivots[kMaxUnknowns];

    const Problem p{n, m, targets, weights, lower, upper, typical, model, context, *missing};
    for (std::int64_t j = 0; j < n; ++j) x[j] = std::clamp(x[j], lower[j], upper[j]);
    if (!residuals(p, x, f, r)) return;
    double s = sum_of_squares(r, m);
    if (!jacobian(p, x, r, jac, f, r_trial, r_back, central, fd_step)) return;  // not even the differences
    for (std::int64_t j = 0; j < n; ++j) diag[j] = marquardt ? 0.0 : 1.0 / (typical[j] * typical[j]);

    double mu = -1.0, nu = nu0;
    bool fresh_jacobian = true;
    for (std::int64_t iteration = 0; iteration < *max_iterations; ++iteration) {
        if (s <= floor_s || s <= kTiny) {
            *status = 0;
            return;
        }
        // Gradient, normal matrix and the free unknowns.
        for (std::int64_t j = 0; j < n; ++j) {
            double gj = 0.0;
            for (std::int64_t k = 0; k < m; ++k) gj += jac[j * m + k] * r[k];
            g[j] = gj;
        }
        if (fresh_jacobian && marquardt) {
            for (std::int64_t j = 0; j < n; ++j) {
                double c = 0.0;
                for (std::int64_t k = 0; k < m; ++k) c += jac[j * m + k] * jac[j * m + k];
                diag[j] = std::max(diag[j], c);  // Moré's non-decreasing scale
            }
        }
        bool any_free = false;
        double gradient_test = 0.0;
        std::int64_t free_index[kMaxUnknowns];
        std::int64_t nf = 0;
        for (std::int64_t j = 0; j < n; ++j) {
            const bool held = (x[j] <= lower[j] && g[j] > 0.0) || (x[j] >= upper[j] && g[j] < 0.0);
            if (!held) {
                free_index[nf++] = j;
                any_free = true;
                gradient_test = std::max(gradient_test, std::fabs(g[j]) * magnitude(p, x, j));
            }
        }
        if (!any_free || gradient_test <= tol * tol * std::max(s, kTiny)) {
            *status = 0;
            return;
        }
        if (mu < 0.0) {
            double largest = 0.0;
            for (std::int64_t q = 0; q < nf; ++q) {
                const std::int64_t j = free_index[q];
                double c = 0.0;
                for (std::int64_t k = 0; k < m; ++k) c += jac[j * m + k] * jac[j * m + k];
                if (diag[j] > 0.0) largest = std::max(largest, c / diag[j]);
            }
            mu = tau * std::max(largest, kTiny);
        }
        for (std::int64_t j = 0; j < n; ++j)
            if (!(diag[j] > 0.0)) diag[j] = 1.0 / (typical[j] * typical[j]);

        // Damped normal equations on the free unknowns.
        for (std::int64_t qc = 0; qc < nf; ++qc) {
            const std::int64_t jc = free_index[qc];
            for (std::int64_t qr = 0; qr < nf; ++qr) {
                const std::int64_t jr = free_index[qr];
                double c = 0.0;
                for (std::int64_t k = 0; k < m; ++k) c += jac[jr * m + k] * jac[jc * m + k];
                a[qc * nf + qr] = c + (qr == qc ? mu * diag[jc] : 0.0);
            }
            x_trial[qc] = -g[jc];
        }
        std::int64_t ier = 0;
        lu_factor(&nf, a, &nf, pivots, &ier);
        if (ier == 0) lu_solve(&nf, a, &nf, pivots, x_trial);
        bool usable = ier == 0;
        for (std::int64_t j = 0; j < n; ++j) dx[j] = 0.0;
        for (std::int64_t q = 0; q < nf && usable; ++q) {
            dx[free_index[q]] = x_trial[q];
            usable = std::isfinite(x_trial[q]);
        }
        if (usable) {
            // Step bound, then projection onto the box.
            double shrink = 1.0;
            for (std::int64_t j = 0; j < n; ++j) {
                const double limit = step_bound * magnitude(p, x, j);
                if (std::fabs(dx[j]) > limit) shrink = std::min(shrink, limit / std::fabs(dx[j]));
            }
            double relative_step = 0.0;
            for (std::int64_t j = 0; j < n; ++j) {
                x_trial[j] = std::clamp(x[j] + shrink * dx[j], lower[j], upper[j]);
                dx[j] = x_trial[j] - x[j];
                relative_step = std::max(relative_step, std::fabs(dx[j]) / magnitude(p, x, j));
            }
            if (relative_step <= tol * 1e-3) {
                *status = fresh_jacobian ? 0 : 2;  // after rejected steps: stuck, not converged
                return;
            }
            // Predicted S at the projected step from the linear model.
            double predicted = 0.0;
            for (std::int64_t k = 0; k < m; ++k) {
                double lin = r[k];
                for (std::int64_t j = 0; j < n; ++j) lin += jac[j * m + k] * dx[j];
                predicted += lin * lin;
            }
            predicted = s - predicted;
            if (residuals(p, x_trial, f, r_trial)) {
                const double s_trial = sum_of_squares(r_trial, m);
                if (s_trial < s) {
                    const double decrease = s - s_trial;
                    const double rho = predicted > 0.0 ? decrease / predicted : 0.0;
                    std::copy(x_trial, x_trial + n, x);
                    std::copy(r_trial, r_trial + m, r);
                    s = s_trial;
                    const double t = 2.0 * rho - 1.0;
                    mu *= std::max(1.0 / 3.0, 1.0 - t * t * t);
                    nu = nu0;
                    // Small progress counts as convergence only for a step taken at its first
                    // trial: after rejections the damping, not the objective, made it small.
                    if (fresh_jacobian && decrease <= tol * s && relative_step <= std::sqrt(tol)) {
                        *status = 0;
                        return;
                    }
                    if (!jacobian(p, x, r, jac, f, r_trial, r_back, central, fd_step)) {
                        *status = 2;
                        return;
                    }
                    fresh_jacobian = true;
                    continue;
                }
            }
        }
        // Rejected: more damping.
        fresh_jacobian = false;
        mu *= nu;
        nu *= 2.0;
        if (!(mu < kMaxDamping)) {
            *status = 2;
            return;
        }
    }
    *status = 1;
}

}  // namespace keld::refhost::numerics
