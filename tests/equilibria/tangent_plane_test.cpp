// The tangent-plane test's pieces: the modified Newton step lowers the energy
// whatever the Hessian's signature, and a density root followed from a
// neighbouring density is the phase's own root.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

#include "../../equilibria/tangent_plane.h"
#include "model/residual.h"

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

Model five() {
    return Model::pcsaft({{"C1", 16.043, 1.0, 3.7039, 150.03},
                          {"C2", 30.07, 1.6069, 3.5206, 191.42},
                          {"C3", 44.096, 2.002, 3.6184, 208.11},
                          {"NC6", 86.177, 3.0576, 3.7983, 236.77},
                          {"TOLUENE", 92.141, 2.8149, 3.7169, 285.69}});
}

// 99 % by weight of component k, the rest shared.
std::vector<double> rich_in(const Model &m, std::size_t k) {
    std::vector<double> x(m.size());
    double sum = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) sum += x[i] = (i == k ? 0.99 : 0.0025) / m.components()[i].mw;
    for (double &v : x) v /= sum;
    return x;
}

// A liquid rich in ethane at 200 K, 50 bar and at 250 K, 100 bar, and one rich in methane, which there
// has no dense root (the liquid search ends on the light one). Followed from the ethane-rich liquid's
// density, Newton walks down onto that light root; the phase has changed kind, so the follow is
// refused and the state is the search's own, bit for bit.
TEST(PhaseAtPressure, FollowFromALiquidOntoACompositionWithoutOneIsRefused) {
    const Model m = five();
    for (const auto &[t, p] : {std::pair{200.0, 5e6}, std::pair{250.0, 1e7}}) {
        SCOPED_TRACE(t);
        const std::vector<double> ethane = rich_in(m, 1), methane = rich_in(m, 0);
        const auto liquid = equilibria::detail::phase_at_pressure(m, t, p, ethane, false, false);
        const auto cold = equilibria::detail::phase_at_pressure(m, t, p, methane, false, false);
        ASSERT_TRUE(liquid && cold);
        // The case holds: a dense liquid, and no dense root for the methane-rich phase.
        ASSERT_GT(liquid->rho, 0.3 * m.max_density(t, methane));
        ASSERT_LT(cold->rho, 0.3 * m.max_density(t, methane));
        const auto followed = equilibria::detail::phase_at_pressure(m, t, p, methane, false, false, liquid->rho);
        ASSERT_TRUE(followed);
        EXPECT_FALSE(followed->followed);
        EXPECT_EQ(followed->rho, cold->rho);
        EXPECT_EQ(followed->ln_phi, cold->ln_phi);
    }
}

// The phase's ln phi and its Hessian at constant T, P, formed from the amount derivatives alone,
// against the full property routine at the same root, for a liquid and a vapour; the same from the
// model's isotherm at T (its stage formed once), but for rounding, with and without a followed root.
TEST(PhaseAtPressure, LnPhiAndHessianAreThoseOfTheProperties) {
    const Model m = five();
    const double t = 350.0;
    const std::vector<double> x{0.05, 0.10, 0.15, 0.30, 0.40}, y{0.55, 0.25, 0.12, 0.05, 0.03};
    const std::unique_ptr<model::AmountIsotherm> isotherm = m.residual().amount_isotherm(t);
    for (const auto &[gas, w, p, staged] :
         {std::tuple{false, x, 5e5, false}, std::tuple{true, y, 5e5, false}, std::tuple{false, y, 5e6, false},
          std::tuple{false, x, 5e5, true}, std::tuple{true, y, 5e5, true}, std::tuple{false, y, 5e6, true}}) {
        SCOPED_TRACE(gas ? "vapour" : "liquid");
        SCOPED_TRACE(staged ? "isotherm" : "model");
        const auto pr = properties_at_pressure(m, t, p, w, gas ? Phase::vapour : Phase::liquid);
        ASSERT_TRUE(pr);
        const auto st = equilibria::detail::phase_at_pressure(m, t, p, w, gas, true, equilibria::not_a_number,
                                                              staged ? isotherm.get() : nullptr);
        ASSERT_TRUE(st);
        if (staged) {
            EXPECT_NEAR(st->rho, pr->rho, 1e-14 * pr->rho);
            const auto followed = equilibria::detail::phase_at_pressure(m, t, p, w, gas, true, 1.01 * pr->rho,
                                                                        isotherm.get());
            ASSERT_TRUE(followed);
            EXPECT_TRUE(followed->followed);
            EXPECT_NEAR(followed->rho, pr->rho, 1e-14 * pr->rho);
        } else {
            EXPECT_EQ(st->rho, pr->rho);
        }
        // properties_at_pressure takes Z from P as the phase does: the same ln phi.
        for (std::size_t i = 0; i < w.size(); ++i) EXPECT_NEAR(st->ln_phi[i], pr->ln_phi[i], 1e-13) << i;
        ASSERT_EQ(st->dln_phi_dn.size(), pr->dln_phi_dn.size());
        for (std::size_t k = 0; k < st->dln_phi_dn.size(); ++k)
            EXPECT_NEAR(st->dln_phi_dn[k], pr->dln_phi_dn[k], 1e-12 * std::max(1.0, std::fabs(pr->dln_phi_dn[k]))) << k;
        // Gibbs-Duhem: sum_i x_i dln phi_i/dn_j = 0.
        for (std::size_t j = 0; j < w.size(); ++j) {
            double s = 0.0;
            for (std::size_t i = 0; i < w.size(); ++i) s += w[i] * st->dln_phi_dn[i * w.size() + j];
            EXPECT_NEAR(s, 0.0, 1e-11) << j;
        }
        const auto lean = equilibria::detail::phase_at_pressure(m, t, p, w, gas, false, equilibria::not_a_number,
                                                               staged ? isotherm.get() : nullptr);
        ASSERT_TRUE(lean);
        EXPECT_EQ(lean->ln_phi, st->ln_phi);
        EXPECT_TRUE(lean->dln_phi_dn.empty());
    }
}

}  // namespace
}  // namespace keld::testing
