// The tangent-plane test's pieces: the modified Newton step lowers the energy
// whatever the Hessian's signature, and a density root followed from a
// neighbouring density is the phase's own root.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../../equilibria/tangent_plane.h"

namespace keld::testing {
namespace {

TEST(DescentStep, IsNewtonsStepWhereTheHessianIsPositiveAndLowersTheEnergyElsewhere) {
    struct Case {
        const char *what;
        Eigen::Matrix2d h;
        bool positive;
    };
    Eigen::Matrix2d positive, saddle, negative;
    positive << 4.0, 1.0, 1.0, 3.0;
    saddle << 1.0, 0.0, 0.0, -2.0;
    negative << -1.0, 0.5, 0.5, -3.0;
    const Case cases[] = {{"positive definite", positive, true},
                          {"saddle", saddle, false},
                          {"negative definite", negative, false}};
    const Eigen::Vector2d g(0.3, -0.7);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Eigen::VectorXd step = equilibria::detail::descent_step(c.h, g);
        ASSERT_TRUE(step.allFinite());
        EXPECT_LT(step.dot(g), 0.0);
        if (c.positive) {
            EXPECT_LT((c.h * step + g).norm(), 1e-14);
        }
    }
}

// n-hexane + toluene: liquid and vapour roots at 350 K followed from a neighbouring composition's
// density agree with the search from the ends of the density range.
TEST(PhaseAtPressure, FollowedRootIsThePhasesOwnRoot) {
    const Model m = Model::pcsaft({{"NC6", 86.177, 3.0576, 3.7983, 236.77}, {"TOLUENE", 92.141, 2.8149, 3.7169, 285.69}});
    const std::vector<double> x{0.4, 0.6}, neighbour{0.45, 0.55};
    for (const auto &[gas, p] : {std::pair{false, 1e5}, std::pair{true, 2e4}}) {
        SCOPED_TRACE(gas ? "vapour" : "liquid");
        const auto from = equilibria::detail::phase_at_pressure(m, 350.0, p, neighbour, gas, false);
        ASSERT_TRUE(from);
        const auto cold = equilibria::detail::phase_at_pressure(m, 350.0, p, x, gas, false);
        const auto followed = equilibria::detail::phase_at_pressure(m, 350.0, p, x, gas, true, from->rho);
        ASSERT_TRUE(cold && followed);
        EXPECT_TRUE(followed->followed);
        EXPECT_FALSE(cold->followed);
        EXPECT_NEAR(followed->rho / cold->rho, 1.0, 1e-13);
        for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(followed->ln_phi[i], cold->ln_phi[i], 1e-12);
        EXPECT_EQ(followed->dln_phi_dn.size(), 4u);
    }
}

}  // namespace
}  // namespace keld::testing
