// LU factorisation with partial pivoting, the solve with its factors and the inverse, in LAPACK's
// packed format. Small matrices take compact loops; larger ones LAPACK (32-bit integers: the row
// interchanges pass through a bounded stack buffer, so nothing is allocated).
#include <cmath>
#include <algorithm>
#include <cstdint>
#include <utility>

#include "numerics/numerics.h"

extern "C" {
void dgetrf_(const int *m, const int *n, double *a, const int *lda, int *ipiv, int *info);
void dgetrs_(const char *trans, const int *n, const int *nrhs, const double *a, const int *lda, const int *ipiv,
             double *b, const int *ldb, int *info, std::size_t trans_length);
void dgetri_(const int *n, double *a, const int *lda, const int *ipiv, double *work, const int *lwork,
             int *info);
}

namespace keld::refhost::numerics {
namespace {

// Largest matrix handed to LAPACK (its pivots pass through a stack buffer of this length).
constexpr std::int64_t kLapackRows = 8192;

bool use_lapack(std::int64_t n) { return n > kSmallMatrix && n <= kLapackRows; }

bool valid(const std::int64_t *n, const std::int64_t *lda) { return n && lda && *n >= 0 && *lda >= (*n > 0 ? *n : 1); }

// First column whose pivot is zero or not finite, 1-based; 0 when none.
std::int64_t bad_pivot(std::int64_t n, const double *a, std::int64_t lda) {
    for (std::int64_t k = 0; k < n; ++k) {
        const double p = a[k * lda + k];
        if (p == 0.0 || !std::isfinite(p)) return k + 1;
    }
    return 0;
}

void factor_small(std::int64_t n, double *a, std::int64_t lda, std::int64_t *pivots) {
    for (std::int64_t k = 0; k < n; ++k) {
        double *ck = a + k * lda;
        std::int64_t p = k;
        double best = std::fabs(ck[k]);
        for (std::int64_t i = k + 1; i < n; ++i)
            if (std::fabs(ck[i]) > best) best = std::fabs(ck[i]), p = i;
        pivots[k] = p + 1;
        if (p != k)
            for (std::int64_t j = 0; j < n; ++j) std::swap(a[j * lda + k], a[j * lda + p]);
        const double pivot = ck[k];
        if (pivot == 0.0 || !std::isfinite(pivot)) continue;  // reported by bad_pivot; keep going as LAPACK does
        const double inverse = 1.0 / pivot;
        for (std::int64_t i = k + 1; i < n; ++i) ck[i] *= inverse;
        for (std::int64_t j = k + 1; j < n; ++j) {
            double *cj = a + j * lda;
            const double akj = cj[k];
            if (akj == 0.0) continue;
            for (std::int64_t i = k + 1; i < n; ++i) cj[i] -= ck[i] * akj;
        }
    }
}

void solve_small(std::int64_t n, const double *a, std::int64_t lda, const std::int64_t *pivots, double *b) {
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t p = pivots[k] - 1;
        if (p != k && p >= 0 && p < n) std::swap(b[k], b[p]);
    }
    for (std::int64_t k = 0; k < n; ++k) {  // L y = P b, unit diagonal
        const double bk = b[k];
        if (bk == 0.0) continue;
        const double *ck = a + k * lda;
        for (std::int64_t i = k + 1; i < n; ++i) b[i] -= ck[i] * bk;
    }
    for (std::int64_t k = n - 1; k >= 0; --k) {  // U x = y
        const double *ck = a + k * lda;
        b[k] /= ck[k];
        const double bk = b[k];
        for (std::int64_t i = 0; i < k; ++i) b[i] -= ck[i] * bk;
    }
}

}  // namespace

void lu_factor(const std::int64_t *n_arg, double *a, const std::int64_t *lda_arg, std::int64_t *pivots,
               std::int64_t *ier) {
    if (!ier) return;
    if (!valid(n_arg, lda_arg) || !a || !pivots) {
        *ier = -1;
        return;
    }
    const std::int64_t n = *n_arg, lda = *lda_arg;
    if (use_lapack(n) && lda <= INT32_MAX) {
        int ni = static_cast<int>(n), ldai = static_cast<int>(lda), info = 0;
        int ipiv[kLapackRows];
        dgetrf_(&ni, &ni, a, &ldai, ipiv, &info);
        for (std::int64_t k = 0; k < n; ++k) pivots[k] = ipiv[k];
    } else {
        factor_small(n, a, lda, pivots);
    }
    *ier = bad_pivot(n, a, lda);
}

void lu_solve(const std::int64_t *n_arg, const double *a, const std::int64_t *lda_arg, const std::int64_t *pivots,
              double *b) {
    if (!valid(n_arg, lda_arg) || !a || !pivots || !b) return;
    const std::int64_t n = *n_arg, lda = *lda_arg;
    if (use_lapack(n) && lda <= INT32_MAX) {
        int ni = static_cast<int>(n), ldai = static_cast<int>(lda), one = 1, info = 0;
        int ipiv[kLapackRows];
        for (std::int64_t k = 0; k < n; ++k) ipiv[k] = static_cast<int>(pivots[k]);
        dgetrs_("N", &ni, &one, a, &ldai, ipiv, b, &ni, &info, 1);
    } else {
        solve_small(n, a, lda, pivots, b);
    }
}

void matrix_invert(const std::int64_t *n_arg, double *a, const std::int64_t *lda_arg, std::int64_t *pivots,
                   double *work, const std::int64_t *work_words, std::int64_t *ier) {
    if (!ier) return;
    if (!valid(n_arg, lda_arg) || !a || !pivots || !work || !work_words || *work_words < *n_arg) {
        *ier = -1;
        return;
    }
    const std::int64_t n = *n_arg, lda = *lda_arg;
    lu_factor(n_arg, a, lda_arg, pivots, ier);
    if (*ier != 0) return;
    if (use_lapack(n) && lda <= INT32_MAX) {
        int ni = static_cast<int>(n), ldai = static_cast<int>(lda), info = 0;
        const int lwork = static_cast<int>(std::min<std::int64_t>(*work_words, INT32_MAX));
        int ipiv[kLapackRows];
        for (std::int64_t k = 0; k < n; ++k) ipiv[k] = static_cast<int>(pivots[k]);
        dgetri_(&ni, a, &ldai, ipiv, work, &lwork, &info);
        if (info != 0) *ier = info;
        return;
    }
    // As LAPACK (dtrti2, dgetri): invert U in place, then solve inv(A) L = inv(U) column by column
    // from the right, then apply the row interchanges to the columns.
    for (std::int64_t j = 0; j < n; ++j) {  // inv(U), upper triangle in place
        double *cj = a + j * lda;
        cj[j] = 1.0 / cj[j];
        const double ajj = -cj[j];
        for (std::int64_t k = 0; k < j; ++k) {  // column j above the diagonal: inv(U)(0:j,0:j) * u(0:j, j)
            const double ukj = cj[k];
            if (ukj == 0.0) continue;
            if (k > 0) {
                const double *ck = a + k * lda;
                for (std::int64_t i = 0; i < k; ++i) cj[i] += ukj * ck[i];
            }
            cj[k] = ukj * a[k * lda + k];
        }
        for (std::int64_t k = 0; k < j; ++k) cj[k] *= ajj;
    }
    for (std::int64_t j = n - 2; j >= 0; --j) {  // inv(A) L = inv(U), columns right to left
        double *cj = a + j * lda;
        for (std::int64_t i = j + 1; i < n; ++i) {
            work[i] = cj[i];
            cj[i] = 0.0;
        }
        for (std::int64_t k = j + 1; k < n; ++k) {
            const double lkj = work[k];
            if (lkj == 0.0) continue;
            const double *ck = a + k * lda;
            for (std::int64_t i = 0; i < n; ++i) cj[i] -= ck[i] * lkj;
        }
    }
    for (std::int64_t j = n - 2; j >= 0; --j) {  // undo the row interchanges as column interchanges
        const std::int64_t p = pivots[j] - 1;
        if (p != j)
            for (std::int64_t i = 0; i < n; ++i) std::swap(a[j * lda + i], a[p * lda + i]);
    }
}

}  // namespace keld::refhost::numerics
