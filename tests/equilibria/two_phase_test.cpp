// The equations of two coexisting phases in density variables: their Jacobian
// is the exact one (checked against central differences of the equations
// themselves, every entry, for each kind of constraint), so that the corrector
// converges quadratically (checked from a perturbed start).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "../../equilibria/two_phase.h"

namespace keld::testing {
namespace {

using equilibria::detail::TwoPhasePoint;
using equilibria::detail::TwoPhaseProblem;

Model methane_hexane() {
    return Model::pcsaft({{"C1", 16.043, 1.0, 3.7039, 150.03}, {"NC6", 86.177, 3.0576, 3.7983, 236.77}},
                         {0.0, 0.02, 0.02, 0.0});
}

struct ProblemCase {
    const char *name;
    bool fixed_t, fixed_p, feed;
    int spec;
};

// A liquid and a vapour near coexistence at 350 K and about 5 MPa (not on the
// curve: the Jacobian holds everywhere).
std::vector<double> state() {
    return {std::log(0.15 * 8.0), std::log(0.85 * 8.0), std::log(0.9 * 1.8 / (0.15 * 8.0)),
            std::log(0.1 * 1.8 / (0.85 * 8.0)), std::log(350.0)};
}

TEST(TwoPhaseEquations, JacobianIsTheDerivativeOfTheEquations) {
    const Model m = methane_hexane();
    const ProblemCase cases[] = {
        {"isotherm, ln rho' of methane specified", true, false, false, 0},
        {"isobar, ln K of n-hexane specified", false, true, false, 3},
        {"envelope, ln T specified", false, false, true, 4},
        {"envelope start at a fixed pressure", false, true, true, -1},
    };
    for (const ProblemCase &c : cases) {
        SCOPED_TRACE(c.name);
        TwoPhaseProblem pr;
        pr.model = &m;
        pr.fixed_t = c.fixed_t;
        pr.t = 345.0;
        pr.fixed_p = c.fixed_p;
        pr.p = 4e6;
        if (c.feed) pr.ln_feed = {std::log(0.3), std::log(0.7)};
        const std::vector<double> x = state();
        std::vector<double> f, jac;
        ASSERT_TRUE(equilibria::detail::equations(pr, x, c.spec, 0.1, f, jac));
        const std::size_t rows = f.size(), cols = x.size();
        ASSERT_EQ(rows, cols);
        for (std::size_t j = 0; j < cols; ++j) {
            const double h = 1e-6;
            std::vector<double> xp = x, xm = x, fp, fm, unused;
            xp[j] += h;
            xm[j] -= h;
            ASSERT_TRUE(equilibria::detail::equations(pr, xp, c.spec, 0.1, fp, unused));
            ASSERT_TRUE(equilibria::detail::equations(pr, xm, c.spec, 0.1, fm, unused));
            for (std::size_t i = 0; i < rows; ++i) {
                // The pressure row's scale (the lighter phase's density) is held in the Jacobian;
                // its derivative multiplies the residual, which vanishes on the curve.
                const double difference = (fp[i] - fm[i]) / (2.0 * h);
                EXPECT_NEAR(jac[i * cols + j], difference,
                            i == 2 ? 2e-5 + 1e-6 * std::fabs(difference) + std::fabs(f[2]) : 1e-6 * (1.0 + std::fabs(difference)))
                    << "row " << i << ", column " << j;
            }
        }
    }
}

// From a start 1e-3 away from a bubble point, Newton with the exact Jacobian needs
// at most four steps; an approximate Jacobian would converge linearly.
TEST(TwoPhaseEquations, CorrectorConvergesQuadratically) {
    const Model m = methane_hexane();
    TwoPhaseProblem pr;
    pr.model = &m;
    pr.ln_feed = {std::log(0.3), std::log(0.7)};
    pr.fixed_t = true;
    pr.t = 350.0;
    TwoPhasePoint solved;
    // The bubble point of 30 % methane at 350 K (about 7.5 MPa), from a rough start.
    const std::vector<double> start{std::log(0.3 * 8.4), std::log(0.7 * 8.4), std::log(0.95 * 2.9 / (0.3 * 8.4)),
                                    std::log(0.05 * 2.9 / (0.7 * 8.4)), std::log(350.0)};
    ASSERT_TRUE(equilibria::detail::correct(pr, start, equilibria::detail::kNoSpec, 0.0, solved, 40));
    for (double sign : {1.0, -1.0}) {
        std::vector<double> perturbed = solved.x;
        for (std::size_t i = 0; i < perturbed.size(); ++i) perturbed[i] += sign * 1e-3 * (i % 2 ? 1.0 : -1.0);
        TwoPhasePoint again;
        ASSERT_TRUE(equilibria::detail::correct(pr, perturbed, equilibria::detail::kNoSpec, 0.0, again));
        EXPECT_LE(again.iterations, 4);
        for (std::size_t i = 0; i < perturbed.size(); ++i) EXPECT_NEAR(again.x[i], solved.x[i], 1e-10);
    }
}

}  // namespace
}  // namespace keld::testing
