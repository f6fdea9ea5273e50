// The reference host's numerical services on small problems with known answers.
#include "numerics/numerics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace keld::refhost::numerics {
namespace {

using Vector = std::vector<double>;

TEST(ComponentVector, FirstMatchOrZero) {
    const std::vector<std::int64_t> v = {7, 3, 9, 3};
    const std::int64_t n = 4, none = 0;
    for (auto [value, expected] : {std::pair{3, 2}, {7, 1}, {9, 3}, {5, 0}}) {
        const std::int64_t x = value;
        EXPECT_EQ(component_vector(&x, v.data(), &n), expected) << value;
    }
    const std::int64_t seven = 7;
    EXPECT_EQ(component_vector(&seven, v.data(), &none), 0);
}

// A well-conditioned random matrix (diagonally weighted) of order n, column-major.
Vector random_matrix(std::int64_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Vector a(n * n);
    for (auto &v : a) v = u(gen);
    for (std::int64_t i = 0; i < n; ++i) a[i * n + i] += 0.5 * static_cast<double>(n) * (i % 2 ? 1 : -1);
    return a;
}

// Orders on both sides of the switch to LAPACK, plus a matrix that needs row interchanges.
TEST(LuFactor, SolvesAndInvertsOnBothPaths) {
    struct Case {
        std::int64_t n;
        Vector a;
    };
    const std::vector<Case> cases = {
        {3, {0.0, 2.0, 1.0, 1.0, 1.0, 3.0, 4.0, -1.0, 2.0}},  // zero leading pivot
        {kSmallMatrix, random_matrix(kSmallMatrix, 1)},
        {kSmallMatrix + 1, random_matrix(kSmallMatrix + 1, 2)},
        {150, random_matrix(150, 3)},
    };
    for (const Case &c : cases) {
        const std::int64_t n = c.n;
        Vector lu = c.a, inverse = c.a, b(n), work(n);
        std::vector<std::int64_t> pivots(n);
        for (std::int64_t i = 0; i < n; ++i) b[i] = 1.0 + static_cast<double>(i % 5);
        const Vector rhs = b;
        std::int64_t ier = 99, lwork = n;
        lu_factor(&n, lu.data(), &n, pivots.data(), &ier);
        ASSERT_EQ(ier, 0) << n;
        lu_solve(&n, lu.data(), &n, pivots.data(), b.data());
        matrix_invert(&n, inverse.data(), &n, pivots.data(), work.data(), &lwork, &ier);
        ASSERT_EQ(ier, 0) << n;
        double residual = 0.0, identity_error = 0.0;
        for (std::int64_t i = 0; i < n; ++i) {
            double ax = -rhs[i];
            for (std::int64_t k = 0; k < n; ++k) ax += c.a[k * n + i] * b[k];
            residual = std::fmax(residual, std::fabs(ax));
            for (std::int64_t j = 0; j < n; ++j) {
                double e = i == j ? -1.0 : 0.0;
                for (std::int64_t k = 0; k < n; ++k) e += c.a[k * n + i] * inverse[j * n + k];
                identity_error = std::fmax(identity_error, std::fabs(e));
            }
        }
        EXPECT_LT(residual, 1e-12) << n;
        EXPECT_LT(identity_error, 1e-12) << n;
    }
}

TEST(LuFactor, ReportsTheSingularColumn) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::int64_t n;
        Vector a;
        std::int64_t ier;
    };
    const std::vector<Case> cases = {
        {2, {1.0, 2.0, 2.0, 4.0}, 2},
        {3, {1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0}, 2},
        {2, {1.0, 0.0, nan, 1.0}, 2},
    };
    for (const Case &c : cases) {
        Vector a = c.a, work(c.n);
        std::vector<std::int64_t> pivots(c.n);
        std::int64_t ier = 0, lwork = c.n;
        lu_factor(&c.n, a.data(), &c.n, pivots.data(), &ier);
        EXPECT_EQ(ier, c.ier);
        a = c.a;
        matrix_invert(&c.n, a.data(), &c.n, pivots.data(), work.data(), &lwork, &ier);
        EXPECT_EQ(ier, c.ier);
    }
    // A leading dimension below the order is refused before any word is touched.
    Vector a = random_matrix(40, 4);
    const std::int64_t n = 40, bad_lda = 39;
    std::vector<std::int64_t> pivots(n);
    std::int64_t ier = 0;
    lu_factor(&n, a.data(), &bad_lda, pivots.data(), &ier);
    EXPECT_EQ(ier, -1);
}

// phi(fac) = (1 - 3 fac)^4: the full step overshoots the minimum at 1/3.
TEST(LineSearch, BacktracksToSufficientDecrease) {
    const auto phi = [](double fac) { return std::pow(1.0 - 3.0 * fac, 4); };
    const double f0 = 1.0, slope0 = -12.0;
    double fac = 1.0, f = phi(fac), work[4] = {};
    std::int64_t ksrch = -1, trials = 0;
    while (true) {
        line_search(&f0, &slope0, &f, &fac, &ksrch, work);
        if (ksrch < 0) break;
        ++trials;
        f = phi(fac);
    }
    EXPECT_EQ(ksrch, -1);
    EXPECT_LE(trials, 4);
    EXPECT_LE(phi(fac), f0 + 1e-4 * fac * slope0);
    EXPECT_GT(fac, 0.1);
    EXPECT_LT(fac, 0.67);

    // A full step that already decreases enough is kept; an ascent direction is refused.
    fac = 0.3;
    f = phi(fac);
    ksrch = -1;
    line_search(&f0, &slope0, &f, &fac, &ksrch, work);
    EXPECT_EQ(ksrch, -1);
    EXPECT_EQ(fac, 0.3);
    const double rising = 1.0;
    fac = 1.0;
    f = 2.0;
    ksrch = -1;
    line_search(&f0, &rising, &f, &fac, &ksrch, work);
    EXPECT_EQ(ksrch, -2);
}

using Map = std::function<Vector(const Vector &)>;

// Iterations of x <- x + step until the largest change is below 1e-12; step from the service.
struct FixedPointRun {
    Vector x;
    int iterations = 0;
};

FixedPointRun run(const Map &g, Vector x, const std::function<void(Vector &, Vector &, std::int64_t &)> &step,
                  int limit = 2000) {
    std::int64_t state = 0;
    FixedPointRun r;
    for (r.iterations = 1; r.iterations <= limit; ++r.iterations) {
        Vector f = g(x), change(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) f[i] -= x[i];
        step(x, f, state);
        double largest = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            x[i] += f[i];
            largest = std::fmax(largest, std::fabs(f[i]));
        }
        if (largest < 1e-12) break;
    }
    r.x = x;
    return r;
}

TEST(ConvergenceTest, BroydenSolvesASmallNonlinearSystemFasterThanSubstitution) {
    // A contraction with a slow oscillating mode: x = 0.6 y + 0.05 cos(x), y = 0.6 x - 0.3 sin(y) + 0.2.
    const Map g = [](const Vector &v) {
        return Vector{0.6 * v[1] + 0.05 * std::cos(v[0]), 0.6 * v[0] - 0.3 * std::sin(v[1]) + 0.2};
    };
    const auto plain = run(g, {0.0, 0.0}, [](Vector &, Vector &, std::int64_t &) {});
    Vector work(2 * 2 + 4 * 2);
    const auto broyden = run(g, {0.0, 0.0}, [&](Vector &x, Vector &f, std::int64_t &state) {
        const std::int64_t n = 2, words = static_cast<std::int64_t>(work.size());
        Vector step(2);
        if (state == 0) state = 1;
        convergence_test(&n, x.data(), f.data(), step.data(), &state, work.data(), &words);
        EXPECT_EQ(state, 3);
        f = step;
    });
    const Vector fx = g(broyden.x);
    EXPECT_NEAR(fx[0], broyden.x[0], 1e-11);
    EXPECT_NEAR(fx[1], broyden.x[1], 1e-11);
    EXPECT_NEAR(broyden.x[0], plain.x[0], 1e-10);
    EXPECT_LT(broyden.iterations, 20);
    EXPECT_GT(plain.iterations, 5 * broyden.iterations);
}

TEST(ConvergenceTest, ExactMatrixGivesNewtonsStep) {
    // g(x) = A x + b, f = (A - I) x + b; H = -(A - I)^-1 lands on the fixed point in one step.
    const std::int64_t n = 2, words = 12;
    const double a11 = 0.5, a12 = 0.2, a21 = -0.4, a22 = 0.9;
    const double j11 = a11 - 1, j12 = a12, j21 = a21, j22 = a22 - 1, det = j11 * j22 - j12 * j21;
    Vector work = {-j22 / det, j21 / det, j12 / det, -j11 / det, 0, 0, 0, 0, 0, 0, 0, 0};
    const Vector x = {0.0, 0.0}, b = {1.0, 2.0};
    Vector f = b, step(2);
    std::int64_t state = 2;
    convergence_test(&n, x.data(), f.data(), step.data(), &state, work.data(), &words);
    EXPECT_NEAR(a11 * step[0] + a12 * step[1] + b[0], step[0], 1e-14);
    EXPECT_NEAR(a21 * step[0] + a22 * step[1] + b[1], step[1], 1e-14);
}

TEST(Accelerate, DominantEigenvalueMethodCutsSlowLinearIteration) {
    // Eigenvalues 0.97 and 0.2 (plain substitution: ~900 iterations), and an oscillating -0.9.
    for (const double slow : {0.97, -0.9}) {
        const Map g = [slow](const Vector &v) { return Vector{slow * v[0] + 0.01 * v[1] + 1.0, 0.2 * v[1] + 0.5}; };
        Vector work(4);
        const auto plain = run(g, {0.0, 0.0}, [](Vector &, Vector &, std::int64_t &) {});
        const auto fast = run(g, {0.0, 0.0}, [&](Vector &, Vector &f, std::int64_t &state) {
            const std::int64_t n = 2, words = 4;
            accelerate(&n, f.data(), &state, work.data(), &words);
        });
        const double y = 0.5 / 0.8, x = (0.01 * y + 1.0) / (1.0 - slow);
        EXPECT_NEAR(fast.x[0], x, 1e-10) << slow;
        EXPECT_NEAR(fast.x[1], y, 1e-10) << slow;
        EXPECT_LT(3 * fast.iterations, plain.iterations) << slow;
    }
}

}  // namespace
}  // namespace keld::refhost::numerics
