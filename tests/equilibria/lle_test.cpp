// Liquid-liquid demixing of polystyrene in cyclohexane: equal chemical
// potentials of both components in the binodal phases, the critical point at
// the extremum of the spinodal, a UCST and an LCST branch.
#include "keld/equilibria/lle.h"

#include <gtest/gtest.h>

#include "keld/equilibria/flash.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::PhaseKind;
using equilibria::Status;
using equilibria::System;

constexpr double kPressure = 1e6;

TEST(Lle, BinodalPhasesHaveEqualChemicalPotentials) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.cyclohexane, h.ps});
    const double segments = system.mixture().segment_ratio(1);
    // 296.5 K is 0.27 K below the UCST, where a binodal stopped at 1e-11 left the
    // lean phase's weight fraction good to 2e-7 only.
    for (double t : {270.0, 285.0, 295.0, 296.5}) {
        const auto r = equilibria::binodal(system, t, kPressure);
        ASSERT_EQ(r.status, Status::converged) << t << ": " << r.message;
        EXPECT_LT(r.lean.w[1], r.spinodal.w_lean);
        EXPECT_LT(r.spinodal.w_lean, r.spinodal.w_rich);
        EXPECT_LT(r.spinodal.w_rich, r.rich.w[1]);
        const Check lean = check_phase(system, all_of(system), r.lean.x, t, kPressure, PhaseKind::liquid);
        const Check rich = check_phase(system, all_of(system), r.rich.x, t, kPressure, PhaseKind::liquid);
        ASSERT_TRUE(lean.ok && rich.ok);
        // mu_i / RT = ln f_i + const: the solvent per molecule, the polymer per repeat unit.
        EXPECT_LT(std::fabs(lean.ln_f[0] - rich.ln_f[0]), 1e-12) << t;
        EXPECT_LT(std::fabs(lean.ln_f[1] - rich.ln_f[1]) / segments, 1e-12) << t;
        // A flash of a feed between the two phases finds the same two liquids.
        std::vector<double> feed(2);
        for (std::size_t k = 0; k < 2; ++k) feed[k] = 0.5 * (r.lean.x[k] + r.rich.x[k]);
        const auto f = equilibria::flash(system, t, kPressure, feed);
        ASSERT_EQ(f.status, Status::converged) << f.message;
        ASSERT_EQ(f.phases.size(), 2u);
        ASSERT_EQ(f.phases[1].kind, PhaseKind::liquid);
        EXPECT_NEAR(f.phases[1].w[1] / r.rich.w[1], 1.0, 1e-6);
        EXPECT_NEAR(std::log(f.phases[0].w[1] / r.lean.w[1]), 0.0, 1e-5);
    }
}

// The critical temperature is where the spinodal's extremum lies: the binodal
// and spinodal close onto it, their widths shrinking as the square root of the
// distance in T (mean field), and above it there is one liquid.
TEST(Lle, CriticalPointAtTheExtremumOfTheSpinodal) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.cyclohexane, h.ps});
    const auto ucst = equilibria::critical_solution_point(system, kPressure, 280.0, 310.0);
    ASSERT_EQ(ucst.status, Status::converged) << ucst.message;
    EXPECT_EQ(ucst.point.kind, equilibria::CriticalKind::upper);
    EXPECT_EQ(equilibria::spinodal(system, ucst.point.t + 0.01, kPressure).status, Status::supercritical);
    double last_width = 0.0;
    for (double dt : {0.1, 0.01}) {
        const auto b = equilibria::binodal(system, ucst.point.t - dt, kPressure);
        ASSERT_EQ(b.status, Status::converged) << dt;
        EXPECT_LT(b.lean.w[1], ucst.point.w);
        EXPECT_GT(b.rich.w[1], ucst.point.w);
        const double width = b.rich.w[1] - b.lean.w[1];
        if (last_width > 0.0) {
            EXPECT_NEAR(last_width / width, std::sqrt(10.0), 0.1);
        }
        last_width = width;
        const double spinodal_middle = 0.5 * (b.spinodal.w_lean + b.spinodal.w_rich);
        EXPECT_NEAR(spinodal_middle / ucst.point.w, 1.0, 0.05 * std::sqrt(dt));
    }
    // At higher temperature, near the solvent's critical point, the LCST branch.
    const auto lcst = equilibria::critical_solution_point(system, 5e6, 440.0, 520.0);
    ASSERT_EQ(lcst.status, Status::converged) << lcst.message;
    EXPECT_EQ(lcst.point.kind, equilibria::CriticalKind::lower);
    EXPECT_EQ(equilibria::binodal(system, lcst.point.t - 1.0, 5e6).status, Status::supercritical);
    EXPECT_EQ(equilibria::binodal(system, lcst.point.t + 1.0, 5e6).status, Status::converged);
}

TEST(Lle, CurveFindsTheUcstBetweenItsTemperatures) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.cyclohexane, h.ps});
    const auto curve = equilibria::lle_curve(system, kPressure, 285.0, 305.0, 5);
    ASSERT_EQ(curve.binodal.size(), 5u);
    ASSERT_EQ(curve.critical.size(), 1u);
    EXPECT_EQ(curve.critical[0].kind, equilibria::CriticalKind::upper);
    const auto direct = equilibria::critical_solution_point(system, kPressure, 285.0, 305.0);
    EXPECT_NEAR(curve.critical[0].t, direct.point.t, 1e-5);
    EXPECT_EQ(curve.binodal[0].status, Status::converged);
    EXPECT_EQ(curve.binodal[4].status, Status::supercritical);
}

TEST(Lle, OnlyForBinaries) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.cyclohexane, h.toluene, h.ps});
    EXPECT_EQ(equilibria::binodal(system, 290.0, kPressure).status, Status::invalid_input);
    EXPECT_EQ(equilibria::spinodal(system, 290.0, kPressure).status, Status::invalid_input);
}

}  // namespace
}  // namespace keld::testing
