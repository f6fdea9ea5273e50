// Dominant-eigenvalue acceleration of successive substitution. Near its fixed point a substitution
// x <- g(x) moves along the eigenvector of the largest eigenvalue lambda of g', each change being
// lambda times the previous one; the remaining distance is then change * lambda / (1 - lambda), and
// the accelerated change change / (1 - lambda) lands on the fixed point.
#include <cmath>

#include "numerics/numerics.h"

namespace keld::refhost::numerics {
namespace {

constexpr double kLambdaCap = 0.95;          // at most a 20-fold step
constexpr double kLambdaFloor = -10.0;       // beyond: the substitution diverges, leave it alone
constexpr double kAgreement = 0.1;           // two successive estimates must agree this well
constexpr double kParallel = 0.9;            // |cos| between the last two changes
constexpr std::int64_t kPlainSteps = 3;      // plain changes seen before an acceleration

}  // namespace

void accelerate(const std::int64_t *n_arg, double *change, std::int64_t *state, double *work,
                const std::int64_t *work_words) {
    if (!n_arg || !change || !state || !work || !work_words) return;
    const std::int64_t n = *n_arg;
    if (n < 1 || *work_words < n + 2) return;
    double *previous = work;
    double &previous_lambda = work[n];
    if (*state <= 0) {
        for (std::int64_t i = 0; i < n; ++i) previous[i] = change[i];
        *state = 1;
        return;
    }
    double dot = 0.0, prev_norm2 = 0.0, norm2 = 0.0;
    for (std::int64_t i = 0; i < n; ++i) {
        dot += change[i] * previous[i];
        prev_norm2 += previous[i] * previous[i];
        norm2 += change[i] * change[i];
    }
    for (std::int64_t i = 0; i < n; ++i) previous[i] = change[i];
    if (prev_norm2 == 0.0 || norm2 == 0.0 || !std::isfinite(dot)) {
        *state = 1;
        return;
    }
    const double lambda = dot / prev_norm2;
    const double cosine = dot / std::sqrt(prev_norm2 * norm2);
    const bool settled = *state >= kPlainSteps - 1 && std::fabs(lambda - previous_lambda) <= kAgreement;
    previous_lambda = lambda;
    if (settled && std::fabs(cosine) >= kParallel && lambda >= kLambdaFloor && lambda < 1.0) {
        const double factor = 1.0 / (1.0 - std::fmin(lambda, kLambdaCap));
        for (std::int64_t i = 0; i < n; ++i) change[i] *= factor;
        *state = 0;  // the jump breaks the geometric sequence: the next change starts a new one
        return;
    }
    ++*state;
}

}  // namespace keld::refhost::numerics
