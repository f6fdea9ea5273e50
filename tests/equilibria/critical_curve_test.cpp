// The critical curve of a binary: every point meets the Heidemann-Khalil
// criteria when evaluated again, the curve is continuous and ends at the pure
// components' critical points (solved by the pure fluid's own conditions on a
// one-component model), and it passes through the critical point the P-x-y
// isotherm ends at.
#include "keld/equilibria/critical_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "keld/case.h"
#include "keld/equilibria/envelope.h"
#include "keld/equilibria/pure_model.h"
#include "keld/equilibria/three_phase.h"

namespace keld::testing {
namespace {

using equilibria::Status;

PcSaftComponent hexane() { return {"NC6", 86.177, 3.0576, 3.7983, 236.77}; }
PcSaftComponent toluene() { return {"TOLUENE", 92.141, 2.8149, 3.7169, 285.69}; }
PcSaftComponent methane() { return {"CH4", 16.043, 1.0, 3.7039, 150.03}; }

Model methane_hexane_case() {
    refhost::Case c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/methane-hexane.json");
    refhost::initialise_case(c);
    return refhost::model_from_case(c, "pcsaft", 1, {"CH4", "HEXANE"});
}

// Interior points re-evaluated by the criteria; x1 falls, T and V move little from point to point.
void expect_on_the_criteria_and_continuous(const Model &m, const equilibria::CriticalCurve &curve,
                                           const equilibria::CriticalCurveOptions &o) {
    ASSERT_GE(curve.points.size(), 3u);
    for (std::size_t i = 0; i < curve.points.size(); ++i) {
        const auto &pt = curve.points[i];
        SCOPED_TRACE("point " + std::to_string(i) + " at x1 = " + std::to_string(pt.x1));
        EXPECT_GT(pt.p, 0.0);
        if (i > 0) {
            const auto &before = curve.points[i - 1];
            EXPECT_LT(pt.x1, before.x1);
            EXPECT_LE(std::fabs(pt.t / before.t - 1.0), o.max_change);
            EXPECT_LE(std::fabs(std::log(pt.v / before.v)), o.max_change);
        }
        if (pt.x1 <= 0.0 || pt.x1 >= 1.0) continue;
        const std::vector<double> x{pt.x1, 1.0 - pt.x1};
        const auto again = equilibria::critical_conditions(m, pt.t, pt.v, x);
        EXPECT_LE(std::fabs(again.eigenvalue), 1e-10);
        EXPECT_LE(std::fabs(again.cubic_form) / again.cubic_scale, 1e-10);
        EXPECT_NEAR(properties(m, pt.t, 1.0 / pt.v, x).p / pt.p, 1.0, 1e-13);
        // Stable just above T_c at the critical volume, unstable just below.
        EXPECT_GT(equilibria::critical_conditions(m, pt.t * (1 + 1e-4), pt.v, x).eigenvalue, 0.0);
        EXPECT_LT(equilibria::critical_conditions(m, pt.t * (1 - 1e-4), pt.v, x).eigenvalue, 0.0);
    }
}

void expect_pure_end(const equilibria::CriticalCurvePoint &end, const PcSaftComponent &c, double x1) {
    SCOPED_TRACE(c.name);
    const auto pure = equilibria::pure_critical_point(Model::pcsaft({c}));
    ASSERT_EQ(pure.status, Status::converged) << pure.message;
    EXPECT_EQ(end.x1, x1);
    EXPECT_NEAR(end.t / pure.t, 1.0, 1e-9);
    EXPECT_NEAR(end.p / pure.p, 1.0, 1e-8);
    EXPECT_NEAR(end.v * pure.rho, 1.0, 1e-7);
}

// n-hexane + toluene: a continuous curve between the pure critical points,
// the same curve (reversed) with the components swapped.
TEST(CriticalCurve, HexaneTolueneRunsBetweenThePureCriticalPoints) {
    const Model m = Model::pcsaft({hexane(), toluene()});
    const equilibria::CriticalCurveOptions o;
    const auto curve = equilibria::critical_curve(m, o);
    ASSERT_EQ(curve.status, Status::converged) << curve.message;
    ASSERT_TRUE(curve.reaches_other) << curve.message;
    EXPECT_FALSE(curve.pressure_capped);
    EXPECT_EQ(curve.unstable_points, 0u) << curve.message;
    expect_on_the_criteria_and_continuous(m, curve, o);
    expect_pure_end(curve.points.front(), hexane(), 1.0);
    expect_pure_end(curve.points.back(), toluene(), 0.0);
    // The last interior point continues to toluene's: within a step's change.
    const auto &near_end = curve.points[curve.points.size() - 2];
    EXPECT_LT(near_end.x1, 2e-3);

    const Model swapped = Model::pcsaft({toluene(), hexane()});
    const auto other = equilibria::critical_curve(swapped, o);
    ASSERT_TRUE(other.reaches_other) << other.message;
    const auto at = equilibria::critical_curve_at_temperature(swapped, other, 540.0);
    const auto here = equilibria::critical_curve_at_temperature(m, curve, 540.0);
    ASSERT_EQ(at.status, Status::converged) << at.message;
    ASSERT_EQ(here.status, Status::converged) << here.message;
    EXPECT_NEAR(at.x[1], here.x[0], 1e-9);
    EXPECT_NEAR(at.p / here.p, 1.0, 1e-8);
}

// Methane + n-hexane as the example case gives it: the curve passes through
// the critical point the 350 K P-x-y isotherm ends at (20.083 MPa, x(CH4) =
// 0.7828), solved on the curve at 350 K.
TEST(CriticalCurve, MethaneHexanePassesThroughTheIsothermsCriticalPoint) {
    const Model m = methane_hexane_case();
    const equilibria::CriticalCurveOptions o;
    const auto curve = equilibria::critical_curve(m, o);
    ASSERT_EQ(curve.status, Status::converged) << curve.message;
    expect_on_the_criteria_and_continuous(m, curve, o);
    const auto on_curve = equilibria::critical_curve_at_temperature(m, curve, 350.0);
    ASSERT_EQ(on_curve.status, Status::converged) << on_curve.message;
    EXPECT_NEAR(on_curve.t, 350.0, 350.0 * 1e-9);

    const auto pxy = equilibria::pxy_isotherm(m, 350.0);
    ASSERT_EQ(pxy.status, Status::converged) << pxy.message;
    ASSERT_TRUE(pxy.ends_at_critical);
    EXPECT_NEAR(on_curve.p / pxy.critical.p, 1.0, 1e-6);
    EXPECT_NEAR(on_curve.x[0] / pxy.critical.x[0], 1.0, 1e-6);
    EXPECT_NEAR(on_curve.p * 1e-6, 20.083, 5e-4);
    EXPECT_NEAR(on_curve.x[0], 0.7828, 5e-5);
}

// G / (R T) of phases at T and P less that of the ideal gas of their amounts at P: sum n_i ln f_i,
// each phase evaluated again at its own (T, V).
double gibbs_energy(const Model &m, double t, double p, const std::vector<equilibria::FlashPhase> &phases) {
    double g = 0.0;
    for (const auto &ph : phases) {
        const Properties pr = properties(m, t, 1.0 / ph.v, ph.x, {false, nullptr});
        for (std::size_t i = 0; i < ph.x.size(); ++i)
            if (ph.x[i] > 0.0) g += ph.fraction * ph.x[i] * (std::log(ph.x[i] * pr.p / p) + pr.ln_phi[i]);
    }
    return g;
}

// Methane + n-hexane without a binary parameter: near methane's end the curve crosses a region where
// a liquid richer in hexane separates from the critical phase (as in the real mixture's
// liquid-liquid-vapour region near 190 K). Those points are kept and marked, and at each of them two
// phases of lower Gibbs energy than the critical phase exist.
TEST(CriticalCurve, MarksPointsWhereTheCriticalPhaseSplits) {
    const Model m = Model::pcsaft({methane(), hexane()});
    const auto curve = equilibria::critical_curve(m);
    ASSERT_EQ(curve.status, Status::converged) << curve.message;
    ASSERT_TRUE(curve.reaches_other) << curve.message;
    std::size_t unstable = 0;
    for (const auto &pt : curve.points) {
        SCOPED_TRACE("x1 = " + std::to_string(pt.x1) + ", T = " + std::to_string(pt.t) + " K");
        ASSERT_TRUE(std::isfinite(pt.tangent_plane_distance));
        EXPECT_EQ(pt.stable, pt.tangent_plane_distance >= -1e-8);
        const std::vector<double> x{pt.x1, 1.0 - pt.x1};
        if (pt.stable) continue;
        ++unstable;
        equilibria::MultiphaseOptions two;
        two.max_phases = 2;
        const auto split = equilibria::flash_on_model(m, pt.t, pt.p, x, two);
        ASSERT_EQ(split.status, Status::converged) << split.message;
        ASSERT_EQ(split.phases.size(), 2u);
        equilibria::FlashPhase critical;
        critical.fraction = 1.0;
        critical.x = x;
        critical.v = pt.v;
        EXPECT_LT(gibbs_energy(m, pt.t, pt.p, split.phases), gibbs_energy(m, pt.t, pt.p, {critical}) - 1e-6);
    }
    EXPECT_GE(unstable, 10u);
    EXPECT_EQ(curve.unstable_points, unstable);
    EXPECT_NE(curve.message.find(std::to_string(unstable) + " of " + std::to_string(curve.points.size()) +
                                 " points are unstable"),
              std::string::npos)
        << curve.message;
    // Unstable points lie near methane's end only; the curve's high-pressure part is stable.
    for (const auto &pt : curve.points) {
        if (pt.x1 < 0.9) {
            EXPECT_TRUE(pt.stable) << "x1 = " << pt.x1;
        }
    }
}

// A cap on the pressure ends the curve there and says so; the points kept are below it.
TEST(CriticalCurve, StopsAtThePressureCapAndSaysWhere) {
    const Model m = methane_hexane_case();
    equilibria::CriticalCurveOptions o;
    o.p_max = 15e6;
    const auto curve = equilibria::critical_curve(m, o);
    ASSERT_EQ(curve.status, Status::converged) << curve.message;
    EXPECT_TRUE(curve.pressure_capped);
    EXPECT_FALSE(curve.reaches_other);
    EXPECT_NE(curve.message.find("15 MPa"), std::string::npos) << curve.message;
    for (const auto &pt : curve.points) EXPECT_LE(pt.p, o.p_max);
    EXPECT_GT(curve.points.back().p, 0.9 * o.p_max);
    // Below the cap's temperature no point at 350 K (where P = 20 MPa) is claimed.
    EXPECT_EQ(equilibria::critical_curve_at_temperature(m, curve, 350.0).status, Status::not_converged);
}

TEST(CriticalCurve, RefusesWhatIsNoBinaryOrNoOptions) {
    const auto one = equilibria::critical_curve(Model::pcsaft({hexane()}));
    EXPECT_EQ(one.status, Status::invalid_input);
    EXPECT_TRUE(one.points.empty());
    equilibria::CriticalCurveOptions o;
    o.min_step = 0.0;
    EXPECT_EQ(equilibria::critical_curve(Model::pcsaft({hexane(), toluene()}), o).status, Status::invalid_input);
}

}  // namespace
}  // namespace keld::testing
