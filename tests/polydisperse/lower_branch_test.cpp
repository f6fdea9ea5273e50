// The lower critical solution branch of polystyrene in cyclohexane (two
// liquids on heating towards the solvent's critical point, at 50 bar): the
// same solvers with the one-liquid side below the cloud point.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "keld/case.h"
#include "keld/equilibria/lle.h"
#include "keld/equilibria/polydisperse.h"
#include "keld/equilibria/system.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::MolecularWeightDistribution;
using equilibria::Status;

constexpr double kPressure = 50e5;
const equilibria::TemperatureRange kLower{480.0, 525.0, true};

TEST(LowerBranch, OneChainLengthIsTheMonodisperseLcst) {
    refhost::Case c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/polystyrene-cyclohexane.json");
    refhost::initialise_case(c);
    const std::vector<std::int64_t> listed{c.host->component_number("CYCLOHEX"), c.host->component_number("PS")};
    equilibria::System mono(c, "pcsaft", listed);
    const auto lcst = equilibria::critical_solution_point(mono, kPressure, kLower.from, kLower.to);
    ASSERT_EQ(lcst.status, Status::converged) << lcst.message;
    const auto s = polystyrene_in_cyclohexane(MolecularWeightDistribution::schulz_flory(1e5, 1e5).discretise(4));
    const auto crit = equilibria::polydisperse_critical_point(s, kPressure, kLower);
    ASSERT_EQ(crit.status, Status::converged) << crit.message;
    EXPECT_NEAR(crit.t, lcst.point.t, 1e-4);
    EXPECT_NEAR(crit.w / lcst.point.w, 1.0, 1e-3);
}

TEST(LowerBranch, CloudPointsAndFractionationAboveTheCloudPoint) {
    const auto s = polystyrene_in_cyclohexane(MolecularWeightDistribution::schulz_flory(1e5, 2e5).discretise(6));
    const auto curve = equilibria::cloud_point_curve(s, kPressure, 0.01, 0.2, 5, kLower);
    ASSERT_EQ(curve.status, Status::converged) << curve.message;
    double lowest = curve.critical.t;
    for (const auto &pt : curve.points) {
        const auto fa = ln_f_per_unit(s, pt.feed, pt.t, kPressure), fb = ln_f_per_unit(s, pt.shadow, pt.t, kPressure);
        for (std::size_t i = 0; i < fa.size(); ++i) EXPECT_LT(std::fabs(fa[i] - fb[i]), 1e-9) << pt.feed.w_polymer;
        lowest = std::min(lowest, pt.t);
    }
    // The mirror of the upper branch: the cloud-point curve's minimum lies below the critical point.
    EXPECT_LT(lowest, curve.critical.t - 0.1);
    const double w = 0.1;
    const auto cloud = equilibria::cloud_point(s, kPressure, w, kLower);
    ASSERT_EQ(cloud.status, Status::converged) << cloud.message;
    const auto below = equilibria::fractionate(s, cloud.t - 2.0, kPressure, w, kLower);
    EXPECT_EQ(below.status, Status::single_phase) << below.message;
    const auto f = equilibria::fractionate(s, cloud.t + 2.0, kPressure, w, kLower);
    ASSERT_EQ(f.status, Status::converged) << f.message;
    const auto fa = ln_f_per_unit(s, f.lean, f.t, kPressure), fb = ln_f_per_unit(s, f.rich, f.t, kPressure);
    for (std::size_t i = 0; i < fa.size(); ++i) EXPECT_LT(std::fabs(fa[i] - fb[i]), 1e-9) << i;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double feed = i == 0 ? 1.0 - w : w * s.pseudo()[i - 1].weight_fraction;
        EXPECT_NEAR((f.rich_share * f.rich.w[i] + (1.0 - f.rich_share) * f.lean.w[i]) / feed, 1.0, 1e-10) << i;
    }
    EXPECT_GT(f.rich.mw, f.lean.mw);
}

}  // namespace
}  // namespace keld::testing
