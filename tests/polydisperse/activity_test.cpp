// The solvent's activity over polydisperse polystyrene in cyclohexane: as
// one liquid it is the monodisperse polymer's of the same Mn; below the
// feed's cloud point the liquid splits and the two differ.
#include <gtest/gtest.h>

#include <cmath>

#include "keld/equilibria/polydisperse.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::MolecularWeightDistribution;
using equilibria::Status;

constexpr double kPressure = 1e5;
const equilibria::TemperatureRange kRange{250.0, 340.0};

TEST(PolydisperseActivity, MonodisperseAtTheSameMnInOneLiquidNotWhenDemixed) {
    const auto poly = polystyrene_in_cyclohexane(MolecularWeightDistribution::schulz_flory(1e5, 2e5).discretise(8));
    const auto mono = polystyrene_in_cyclohexane(MolecularWeightDistribution::from_points({1e5}, {1.0}).discretise(1));
    struct Case {
        double t, w;
        bool poly_demixed, mono_demixed;
    };
    // Cloud points at w = 0.02: 300.33 K (Mw/Mn = 2) and 295.31 K (one chain length).
    for (const Case &k : {Case{310.0, 0.02, false, false}, Case{310.0, 0.5, false, false},
                          Case{298.0, 0.02, true, false}, Case{290.0, 0.02, true, true}}) {
        const auto a = equilibria::polydisperse_activity(poly, k.t, kPressure, k.w, kRange);
        const auto b = equilibria::polydisperse_activity(mono, k.t, kPressure, k.w, kRange);
        ASSERT_EQ(a.status, Status::converged) << a.message;
        ASSERT_EQ(b.status, Status::converged) << b.message;
        ASSERT_EQ(a.one_liquid.size(), 1u);
        EXPECT_NEAR(a.one_liquid[0], b.one_liquid[0], 1e-11) << k.t << " " << k.w;
        EXPECT_LT(a.one_liquid[0], 1.0);
        EXPECT_EQ(a.demixed, k.poly_demixed) << k.t;
        EXPECT_EQ(b.demixed, k.mono_demixed) << k.t;
        if (!a.demixed) {
            EXPECT_EQ(a.equilibrium[0], a.one_liquid[0]);
            EXPECT_TRUE(std::isnan(a.w_rich));
        } else {
            EXPECT_LT(a.w_lean, k.w);
            EXPECT_GT(a.w_rich, k.w);
            // The split lowers the Gibbs energy: the solvent's activity is no longer the feed's.
            EXPECT_GT(std::fabs(a.equilibrium[0] - a.one_liquid[0]), 1e-9) << k.t;
            if (!b.demixed) {
                EXPECT_GT(std::fabs(a.equilibrium[0] - b.equilibrium[0]), 1e-9) << k.t;
            }
        }
    }
    EXPECT_EQ(equilibria::polydisperse_activity(poly, 300.0, kPressure, 1.0, kRange).status, Status::invalid_input);
    // No cloud point in a range far above the demixing: not taken as proof of one liquid.
    const auto unsettled = equilibria::polydisperse_activity(poly, 335.0, kPressure, 0.05, {330.0, 360.0});
    EXPECT_EQ(unsettled.status, Status::not_converged);
    EXPECT_TRUE(std::isnan(unsettled.equilibrium[0]));
    EXPECT_LT(unsettled.one_liquid[0], 1.0);
}

}  // namespace
}  // namespace keld::testing
