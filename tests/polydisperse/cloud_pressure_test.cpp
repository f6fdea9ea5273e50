// Cloud points of polystyrene in cyclohexane at fixed temperature over the
// pressure. On the lower critical branch (500 K) the solution demixes on
// lowering the pressure; on the upper one (305 K, above the 1 bar critical
// point) compression raises the critical temperature and demixes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "keld/equilibria/polydisperse.h"
#include "keld/equilibria/pure_model.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::MolecularWeightDistribution;
using equilibria::Status;

constexpr double kT = 500.0;
const equilibria::PressureRange kRange{1e6, 5e7, true};
const equilibria::TemperatureRange kLower{480.0, 520.0, true};

equilibria::PolydisperseSystem broad() {
    return polystyrene_in_cyclohexane(MolecularWeightDistribution::schulz_flory(1e5, 2e5).discretise(6));
}

TEST(CloudPressure, EqualFugacitiesAndTheFixedPressureSolverAgree) {
    const auto s = broad();
    struct Case {
        const char *what;
        double t;
        equilibria::PressureRange pressures;
        equilibria::TemperatureRange temperatures;  // for the fixed-pressure solver
        double w_from, w_to;
        // Demixing on compression (the upper branch, whose critical temperature rises with P) puts the
        // curve's extreme below the critical pressure; on decompression (the lower branch) above it.
        double extreme_over_critical;
    };
    const Case cases[] = {
        {"lower branch, 500 K", kT, kRange, kLower, 0.003, 0.1, 1.01},
        {"upper branch, 305 K", 305.0, {1e5, 1e8, false}, {285.0, 325.0, false}, 0.01, 0.2, 1.0 / 1.01},
    };
    for (const Case &c : cases) {
        const auto curve = equilibria::cloud_point_pressure_curve(s, c.t, c.w_from, c.w_to, 5, c.pressures);
        ASSERT_EQ(curve.status, Status::converged) << c.what << ": " << curve.message;
        ASSERT_EQ(curve.points.size(), 5u) << c.what;
        EXPECT_NEAR(curve.critical.t, c.t, 1e-6) << c.what;
        double highest = 0.0, lowest = 1e300;
        for (const auto &pt : curve.points) {
            EXPECT_EQ(pt.t, c.t);
            ASSERT_TRUE(pt.p >= c.pressures.from && pt.p <= c.pressures.to) << pt.p;
            // ln f of every component formed again from the model at the returned (T, P).
            const auto fa = ln_f_per_unit(s, pt.feed, c.t, pt.p), fb = ln_f_per_unit(s, pt.shadow, c.t, pt.p);
            for (std::size_t i = 0; i < fa.size(); ++i)
                EXPECT_LT(std::fabs(fa[i] - fb[i]), 1e-9) << c.what << ", w " << pt.feed.w_polymer;
            // The fixed-pressure cloud point at that pressure lies at the same temperature: where the
            // shadow is well resolved, to 1e-8 K or to twice what the two solves resolve (each reports
            // how far its unknowns, T or ln P among them, may lie from the solution while its equations
            // hold to their rounding floor: 2.5e-8 at w = 0.022 on the upper branch, where the two
            // answers lie 1.3e-8 K apart); nearer the critical point (the shadow's ln y known to 8e-6
            // at w = 0.048 on the upper branch) both solvers' answers spread to 7e-8 K, and to 1.5e-7 K
            // when the model's derivatives change in their last bits only.
            const auto back = equilibria::cloud_point(s, pt.p, pt.feed.w_polymer, c.temperatures);
            ASSERT_EQ(back.status, Status::converged) << c.what << ": " << back.message;
            const double resolved = std::max(1e-8, 2.0 * (pt.shadow_uncertainty + back.shadow_uncertainty));
            const double tolerance = pt.shadow_uncertainty < 1e-6 ? resolved : 2.5e-7;
            EXPECT_NEAR(back.t, c.t, tolerance) << c.what << ", w " << pt.feed.w_polymer;
            highest = std::max(highest, pt.p);
            lowest = std::min(lowest, pt.p);
        }
        // The mirror of a broad polymer's cloud-point temperature extreme: off the critical point.
        if (c.extreme_over_critical > 1.0)
            EXPECT_GT(highest, curve.critical.p * c.extreme_over_critical) << c.what;
        else
            EXPECT_LT(lowest, curve.critical.p * c.extreme_over_critical) << c.what;
    }
}

TEST(CloudPressure, RefusedWhereNoCloudPointLiesInTheRange) {
    const auto s = broad();
    struct Case {
        const char *what;
        double t;
        equilibria::PressureRange range;
        Status status;
    };
    const Case cases[] = {
        // At 400 K the lower branch's critical point would need a pressure below any liquid's.
        {"far below the lower critical temperature", 400.0, kRange, Status::no_solution},
        {"a range below the critical pressure", kT, {1e6, 4e6, true}, Status::no_solution},
        {"an empty range", kT, {5e6, 1e6, true}, Status::invalid_input},
    };
    for (const Case &c : cases) {
        const auto curve = equilibria::cloud_point_pressure_curve(s, c.t, 0.01, 0.1, 3, c.range);
        EXPECT_EQ(curve.status, c.status) << c.what << ": " << curve.message;
        EXPECT_TRUE(curve.points.empty()) << c.what;
    }
    // The critical point within the range, the curve's highest cloud pressures (near w = 0.007) above it:
    // those points are refused, the rest returned.
    const equilibria::PressureRange capped{1e6, 4.35e6, true};
    const auto curve = equilibria::cloud_point_pressure_curve(s, kT, 0.003, 0.1, 5, capped);
    EXPECT_EQ(curve.status, Status::not_converged);
    EXPECT_NE(curve.message.find("outside the range"), std::string::npos) << curve.message;
    ASSERT_FALSE(curve.points.empty());
    EXPECT_LT(curve.points.size(), 5u);
    for (const auto &pt : curve.points) EXPECT_LE(pt.p, capped.to);
    const auto one = equilibria::cloud_point_pressure(s, kT, 0.0074, capped);
    EXPECT_EQ(one.status, Status::not_converged);
    EXPECT_NE(one.message.find("outside the range"), std::string::npos) << one.message;
}

// Below the solvent's vapour pressure the feed liquid boils: a demixing the equations find there is
// not one of two liquids. At 490 K the richest feed's cloud pressure (1.5 MPa) and at 480 K the
// critical pressure (0.58 MPa) lie below cyclohexane's vapour pressure on the model; they are
// refused, and every cloud pressure returned lies above it (a dilute polymer barely lowers the
// solution's bubble pressure).
TEST(CloudPressure, RefusedBelowTheSolutionsBubblePressure) {
    const auto s = broad();
    const Model solvent = Model::pcsaft({kCyclohexaneSolvent});
    const equilibria::PressureRange wide{1e4, 5e7, true};
    struct Case {
        double t;
        Status status;
        std::size_t points;  // of 5 feeds
    };
    const Case cases[] = {{490.0, Status::not_converged, 4}, {480.0, Status::no_solution, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE("T = " + std::to_string(c.t) + " K");
        const auto saturation = equilibria::pure_coexistence(solvent, c.t);
        ASSERT_EQ(saturation.status, Status::converged) << saturation.message;
        const auto curve = equilibria::cloud_point_pressure_curve(s, c.t, 0.003, 0.1, 5, wide);
        EXPECT_EQ(curve.status, c.status) << curve.message;
        EXPECT_EQ(curve.points.size(), c.points) << curve.message;
        EXPECT_NE(curve.message.find("below the solution's bubble pressure"), std::string::npos) << curve.message;
        for (const auto &pt : curve.points) EXPECT_GT(pt.p, saturation.p) << "w " << pt.feed.w_polymer;
    }
    // The single feed refused with the same reason, and its critical pressure too.
    const auto one = equilibria::cloud_point_pressure(s, 490.0, 0.1, wide);
    EXPECT_EQ(one.status, Status::no_solution);
    EXPECT_NE(one.message.find("bubble pressure"), std::string::npos) << one.message;
    const auto critical = equilibria::polydisperse_critical_pressure(s, 480.0, wide);
    EXPECT_EQ(critical.status, Status::no_solution);
    EXPECT_TRUE(std::isnan(critical.p));
}

}  // namespace
}  // namespace keld::testing
