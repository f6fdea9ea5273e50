// The automatic-differentiation numbers: every rule against closed-form
// derivatives of a function that uses them all, and against complex steps.
#include "model/autodiff.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace keld::ad {
namespace {

// f(x) = exp(x) log(x) / (1 + x^2) + sqrt(x) pow(x, 2.5) - log1p(x) expm1(-x) + cbrt(x) / x
template <class S>
S f(const S &x) {
    using std::cbrt, std::exp, std::expm1, std::log, std::log1p, std::pow, std::sqrt;
    return exp(x) * log(x) / (1.0 + x * x) + sqrt(x) * pow(x, 2.5) - log1p(x) * expm1(-x) + cbrt(x) / x;
}

// Its first three derivatives by Taylor series of high-order central differences would share no rule
// with the code; here instead from the complex step at a real point, and from nested numbers.
constexpr double kX = 1.37;

// f at x + ih through the numbers' own complex-base rules (std has no complex log1p).
double complex_step(double x) {
    const double h = 1e-30;
    return f(Dual<std::complex<double>>({x, h}, {0.0, 0.0})).v.imag() / h;
}

TEST(Autodiff, FirstDerivativeEqualsTheComplexStep) {
    const Dual<double> d = f(Dual<double>(kX, 1.0));
    EXPECT_DOUBLE_EQ(d.v, f(kX));
    EXPECT_NEAR(d.d, complex_step(kX), 1e-14 * std::fabs(d.d));
}

TEST(Autodiff, HigherOrdersAgreeAcrossTheThreeTypes) {
    // Second derivative: the hyper-dual's mixed part, the Taylor coefficient, and the complex step of
    // the dual's derivative.
    const HyperDual<double> h = f(HyperDual<double>(kX, 1.0, 1.0, 0.0));
    const Taylor<double, 3> t = f(Taylor<double, 3>::variable(kX));
    const double step = 1e-30;
    const Dual<std::complex<double>> c = f(Dual<std::complex<double>>({kX, step}, {1.0, 0.0}));
    const double second = c.d.imag() / step;
    EXPECT_NEAR(h.d12, second, 1e-13 * std::fabs(second));
    EXPECT_NEAR(t.derivative(2), second, 1e-13 * std::fabs(second));
    EXPECT_NEAR(h.d1, t.derivative(1), 1e-15 * std::fabs(h.d1));
    // Third derivative: Taylor against the complex step of a hyper-dual's second derivative.
    const HyperDual<std::complex<double>> c3 =
        f(HyperDual<std::complex<double>>({kX, step}, {1.0, 0.0}, {1.0, 0.0}, {0.0, 0.0}));
    const double third = c3.d12.imag() / step;
    EXPECT_NEAR(t.derivative(3), third, 1e-12 * std::fabs(third));
}

TEST(Autodiff, MixedDerivativesOfTwoVariables) {
    // g(x, y) = x^3 y^2 / (x + y): d2g/dxdy in closed form.
    auto g = [](auto x, auto y) { return x * x * x * y * y / (x + y); };
    const double x = 0.7, y = 1.9;
    const HyperDual<double> r = g(HyperDual<double>(x, 1.0, 0.0, 0.0), HyperDual<double>(y, 0.0, 1.0, 0.0));
    const double s = x + y;
    const double gx = (3 * x * x * y * y * s - x * x * x * y * y) / (s * s);
    const double gy = (2 * x * x * x * y * s - x * x * x * y * y) / (s * s);
    const double gxy = 6 * x * x * y / s - 3 * x * x * y * y / (s * s) - 2 * x * x * x * y / (s * s) +
                       2 * x * x * x * y * y / (s * s * s);
    EXPECT_NEAR(r.d1, gx, 1e-14);
    EXPECT_NEAR(r.d2, gy, 1e-14);
    EXPECT_NEAR(r.d12, gxy, 1e-13);
}

TEST(Autodiff, ConstantsCarryNoDerivative) {
    const Taylor<double, 3> c(2.5);
    const Taylor<double, 3> r = exp(c) * c - 1.0 / c;
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(r.c[k], 0.0);
    EXPECT_EQ(powi(Dual<double>(3.0, 1.0), 4).d, 4.0 * 27.0);
}

}  // namespace
}  // namespace keld::ad
