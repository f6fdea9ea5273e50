// The bounded least-squares service on problems with known minimisers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "numerics/numerics.h"

namespace keld::refhost::numerics {
namespace {

using Vector = std::vector<double>;
using Model = std::function<void(const double *x, double *f)>;
constexpr double kMarker = 1e35;

void call_model(const double *x, const std::int64_t *, double *f, void *context) {
    (*static_cast<Model *>(context))(x, f);
}

struct Fit {
    Vector x;
    std::int64_t status;
};

Fit fit(Model model, Vector x, Vector targets, Vector weights, Vector lower, Vector upper, Vector settings,
        std::int64_t iterations = 100, bool enough_work = true) {
    const std::int64_t n = static_cast<std::int64_t>(x.size()), m = static_cast<std::int64_t>(targets.size());
    const Vector typical(x.size(), 1.0);
    Vector work(static_cast<std::size_t>(least_squares_work_words(n, m)) + (enough_work ? 0 : -1));
    const std::int64_t words = static_cast<std::int64_t>(work.size());
    std::int64_t status = -1;
    bounded_least_squares(&n, &m, x.data(), targets.data(), weights.data(), call_model, &model, &iterations,
                          settings.data(), lower.data(), upper.data(), typical.data(), &kMarker, work.data(), &words,
                          &status);
    return {x, status};
}

const Vector kFitSettings{1, 0.1, 1e-10, 0, 1, 1, 1e-7, 2};  // the fitting call's settings, tighter
const Vector kRetrySettings{0, 0.1, 1e-10, 0, 2, 1, 1e-5, 2};

// Rosenbrock as residuals (10 (x2 - x1^2), 1 - x1): minimum (1, 1) inside the box; with x1 <= 0.5
// the constrained minimum lies on the bound, x1 = 0.5, x2 = 0.25.
Model rosenbrock() {
    return [](const double *x, double *f) {
        f[0] = 10.0 * (x[1] - x[0] * x[0]);
        f[1] = 1.0 - x[0];
    };
}

TEST(BoundedLeastSquares, RosenbrockInsideAndOnTheBounds) {
    struct Case {
        std::string name;
        Vector settings, start, lower, upper, expected;
    };
    const std::vector<Case> cases{
        {"interior, Marquardt scale", kFitSettings, {-1.2, 1.0}, {-5, -5}, {5, 5}, {1, 1}},
        {"interior, fixed scale, central", kRetrySettings, {-1.2, 1.0}, {-5, -5}, {5, 5}, {1, 1}},
        {"upper bound active", kFitSettings, {-1.2, 1.0}, {-5, -5}, {0.5, 5}, {0.5, 0.25}},
        {"lower bound active", kFitSettings, {2.0, 4.0}, {1.5, -5}, {5, 5}, {1.5, 2.25}},
        {"start outside the box", kFitSettings, {9.0, -9.0}, {-2, -2}, {2, 2}, {1, 1}},
    };
    for (const Case &c : cases) {
        const Fit r = fit(rosenbrock(), c.start, {0, 0}, {1, 1}, c.lower, c.upper, c.settings);
        EXPECT_EQ(r.status, 0) << c.name;
        for (std::size_t j = 0; j < 2; ++j) {
            EXPECT_NEAR(r.x[j], c.expected[j], 1e-5) << c.name << " x" << j + 1;
            EXPECT_GE(r.x[j], c.lower[j]) << c.name;
            EXPECT_LE(r.x[j], c.upper[j]) << c.name;
        }
    }
}

// Weights act as standard deviations (sign ignored): an outlier with a large one barely counts.
TEST(BoundedLeastSquares, WeightsAreStandardDeviations) {
    const Vector t{0, 1, 2, 3, 4};
    Vector y(t.size());
    for (std::size_t k = 0; k < t.size(); ++k) y[k] = 2.0 * std::exp(-0.5 * t[k]) * (k == 4 ? 1.5 : 1.0);
    const Model decay = [&](const double *x, double *f) {
        for (std::size_t k = 0; k < t.size(); ++k) f[k] = x[0] * std::exp(-x[1] * t[k]);
    };
    for (double outlier_weight : {1e-3, 1e1}) {
        const Fit r = fit(decay, {1, 1}, y, {1e-3, 1e-3, 1e-3, -1e-3, outlier_weight}, {0, 0}, {10, 10}, kFitSettings);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(std::fabs(r.x[1] - 0.5) < 1e-5, outlier_weight > 1.0) << r.x[1];
    }
}

TEST(BoundedLeastSquares, StatusReportsWhatHappened) {
    // Iteration limit: Rosenbrock from far away in two iterations.
    EXPECT_EQ(fit(rosenbrock(), {-1.2, 1}, {0, 0}, {1, 1}, {-5, -5}, {5, 5}, kFitSettings, 2).status, 1);
    // A model that cannot be evaluated below its start: every step towards the minimum fails.
    const Model cliff = [](const double *x, double *f) {
        f[0] = x[0] >= 3.0 ? x[0] : kMarker;
        f[1] = 0.0;
    };
    const Fit stuck = fit(cliff, {3.0}, {0, 0}, {1, 1}, {0}, {10}, kFitSettings);
    EXPECT_EQ(stuck.status, 2);
    EXPECT_EQ(stuck.x[0], 3.0);
    // Nor beside it: the differences at the start fail.
    const Model point = [](const double *x, double *f) {
        f[0] = x[0] == 3.0 ? 1.0 : kMarker;
        f[1] = 0.0;
    };
    EXPECT_EQ(fit(point, {3.0}, {0, 0}, {1, 1}, {0}, {10}, kFitSettings).status, 3);
    // Refused: the start cannot be evaluated, a zero weight, reversed bounds, too little work.
    const Model broken = [](const double *, double *f) { f[0] = f[1] = std::nan(""); };
    EXPECT_EQ(fit(broken, {1, 1}, {0, 0}, {1, 1}, {-5, -5}, {5, 5}, kFitSettings).status, 3);
    EXPECT_EQ(fit(rosenbrock(), {-1.2, 1}, {0, 0}, {1, 0}, {-5, -5}, {5, 5}, kFitSettings).status, 3);
    EXPECT_EQ(fit(rosenbrock(), {-1.2, 1}, {0, 0}, {1, 1}, {5, -5}, {-5, 5}, kFitSettings).status, 3);
    EXPECT_EQ(fit(rosenbrock(), {-1.2, 1}, {0, 0}, {1, 1}, {-5, -5}, {5, 5}, kFitSettings, 100, false).status, 3);
}

}  // namespace
}  // namespace keld::refhost::numerics
