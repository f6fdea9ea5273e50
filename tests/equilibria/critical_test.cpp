// Critical points on the model: a pure fluid's and a mixture's by the
// Heidemann-Khalil criteria, checked against evaluations the solver does not
// use (the pure conditions on the derivative table, the Gibbs-energy
// stability limit at constant T and P from the property routine).
#include "keld/equilibria/critical.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "keld/case.h"
#include "keld/equilibria/lle.h"
#include "keld/equilibria/pure_model.h"

namespace keld::testing {
namespace {

using equilibria::Status;

PcSaftComponent hexane() { return {"NC6", 86.177, 3.0576, 3.7983, 236.77}; }
PcSaftComponent toluene() { return {"TOLUENE", 92.141, 2.8149, 3.7169, 285.69}; }
PcSaftComponent methane() { return {"C1", 16.043, 1.0, 3.7039, 150.03}; }

// (d ln f_1 / d n_1) at constant T, P and n_2 for 1 kmol of a binary,
// relative to its ideal part 1/x_1 - 1: zero on the stability limit at
// constant T and P (the Gibbs-Duhem relation leaves no other direction).
double gibbs_stability(const Model &m, double t, double rho, const std::vector<double> &x) {
    const Properties p = properties(m, t, rho, x);
    return (1.0 / x[0] - 1.0 + p.dln_phi_dn[0]) / (1.0 / x[0] - 1.0);
}

// Two copies of one fluid are that fluid: the mixture's critical point at any
// composition is the pure fluid's, found by the other solver's conditions.
TEST(MixtureCritical, TwoCopiesOfOneFluidAreThatFluid) {
    for (const PcSaftComponent &c : {hexane(), methane()}) {
        SCOPED_TRACE(c.name);
        const Model pure = Model::pcsaft({c});
        PcSaftComponent copy = c;
        copy.name += "'";
        const Model twin = Model::pcsaft({c, copy});
        const auto p = equilibria::pure_critical_point(pure);
        ASSERT_EQ(p.status, Status::converged) << p.message;
        for (double x1 : {0.5, 0.1}) {
            const std::vector<double> x{x1, 1.0 - x1};
            const auto r = equilibria::mixture_critical_point(twin, x);
            ASSERT_EQ(r.status, Status::converged) << r.message;
            EXPECT_NEAR(r.t / p.t, 1.0, 1e-9);
            EXPECT_NEAR(r.rho / p.rho, 1.0, 1e-7);
            EXPECT_NEAR(r.p / p.p, 1.0, 1e-9);
            // Of a single component, the same point as well.
            const auto single = equilibria::mixture_critical_point(pure, std::vector<double>{1.0});
            ASSERT_EQ(single.status, Status::converged) << single.message;
            EXPECT_NEAR(single.t / p.t, 1.0, 1e-9);
        }
    }
}

// Real binaries: the returned point meets both conditions when evaluated again,
// lies on the Gibbs-energy stability limit at constant T and P, does not depend
// on the order the components are listed in, and approaches the pure
// component's critical point as that component dominates.
TEST(MixtureCritical, BinariesMeetTheirConditionsAndTheGibbsStabilityLimit) {
    struct Binary {
        PcSaftComponent a, b;
        double xa;
    };
    const Binary binaries[] = {
        {hexane(), toluene(), 0.5},
        {hexane(), toluene(), 0.999},
        {methane(), hexane(), 0.3},
        {methane(), hexane(), 0.7},
    };
    for (const Binary &c : binaries) {
        SCOPED_TRACE(c.a.name + " + " + c.b.name + " at x = " + std::to_string(c.xa));
        const Model m = Model::pcsaft({c.a, c.b});
        const std::vector<double> x{c.xa, 1.0 - c.xa};
        const auto r = equilibria::mixture_critical_point(m, x);
        ASSERT_EQ(r.status, Status::converged) << r.message;
        const auto again = equilibria::critical_conditions(m, r.t, r.v, x);
        EXPECT_LE(std::fabs(again.eigenvalue), 1e-10);
        EXPECT_LE(std::fabs(again.cubic_form) / again.cubic_scale, 1e-10);
        // Just below and above the critical temperature: unstable, then stable (eigenvalue sign).
        EXPECT_LT(equilibria::critical_conditions(m, r.t * (1 - 1e-4), r.v, x).eigenvalue, 0.0);
        EXPECT_GT(equilibria::critical_conditions(m, r.t * (1 + 1e-4), r.v, x).eigenvalue, 0.0);
        // On the stability limit at constant T and P as well (the property routine's own derivatives).
        EXPECT_LT(std::fabs(gibbs_stability(m, r.t, r.rho, x)), 1e-8);
        EXPECT_GT(std::fabs(gibbs_stability(m, r.t * 1.01, r.rho, x)), 1e-4);
        // The pressure is the model's at that state.
        EXPECT_NEAR(properties(m, r.t, r.rho, x).p / r.p, 1.0, 1e-13);
        // Swapped order, same point.
        const Model swapped = Model::pcsaft({c.b, c.a});
        const auto s = equilibria::mixture_critical_point(swapped, std::vector<double>{x[1], x[0]});
        ASSERT_EQ(s.status, Status::converged) << s.message;
        EXPECT_NEAR(s.t / r.t, 1.0, 1e-10);
        EXPECT_NEAR(s.p / r.p, 1.0, 1e-9);
        if (c.xa > 0.99) {
            const auto pure = equilibria::pure_critical_point(Model::pcsaft({c.a}));
            EXPECT_NEAR(r.t / pure.t, 1.0, 2e-3);
            EXPECT_NEAR(r.p / pure.p, 1.0, 1e-2);
        }
    }
}

// Along the methane + n-hexane critical line: every point returned meets its
// conditions at a positive pressure; where the solver from the pseudo-critical
// start does not reach the vapour-liquid point it says so and returns no
// numbers. Traced with each point the start of the next, the line runs on
// continuously through the methane-rich end (where the cubic form's sign,
// odd in the eigenvector, must follow the eigenvector: held to an arbitrary
// one, it jumped and gave false roots) towards methane's own critical point.
TEST(MixtureCritical, TheMethaneHexaneCriticalLine) {
    const Model m = Model::pcsaft({methane(), hexane()});
    int converged = 0;
    for (double x1 : {0.1, 0.3, 0.5, 0.7, 0.8, 0.85, 0.9, 0.95}) {
        SCOPED_TRACE(x1);
        const std::vector<double> x{x1, 1.0 - x1};
        const auto r = equilibria::mixture_critical_point(m, x);
        if (r.status != Status::converged) {
            EXPECT_EQ(r.status, Status::not_converged);
            EXPECT_FALSE(r.message.empty());
            EXPECT_TRUE(std::isnan(r.t) && std::isnan(r.p) && std::isnan(r.v));
            continue;
        }
        ++converged;
        const auto again = equilibria::critical_conditions(m, r.t, r.v, x);
        EXPECT_LE(std::fabs(again.eigenvalue), 1e-10);
        EXPECT_LE(std::fabs(again.cubic_form) / again.cubic_scale, 1e-10);
        EXPECT_GT(r.p, 0.0);
    }
    EXPECT_GE(converged, 7);

    auto last = equilibria::mixture_critical_point(m, std::vector<double>{0.8, 0.2});
    ASSERT_EQ(last.status, Status::converged) << last.message;
    for (double x1 = 0.82; x1 < 0.99; x1 += 0.02) {
        SCOPED_TRACE(x1);
        const auto r = equilibria::mixture_critical_point(m, std::vector<double>{x1, 1.0 - x1}, {last.t, last.v});
        ASSERT_EQ(r.status, Status::converged) << r.message;
        EXPECT_LT(r.t, last.t);
        EXPECT_LT(last.t - r.t, 25.0);
        EXPECT_GT(r.p, 0.0);
        last = r;
    }
    const auto c1 = equilibria::pure_critical_point(Model::pcsaft({methane()}));
    EXPECT_NEAR(last.t, c1.t, 0.05 * c1.t);
}

TEST(MixtureCritical, RefusesWhatIsNoComposition) {
    const Model m = Model::pcsaft({hexane(), toluene()});
    for (const std::vector<double> &x : {std::vector<double>{1.0}, {0.5, 0.0}, {0.5, -0.5}, {0.5, std::nan("")}}) {
        const auto r = equilibria::mixture_critical_point(m, x);
        EXPECT_EQ(r.status, Status::invalid_input);
        EXPECT_TRUE(std::isnan(r.t) && std::isnan(r.p));
    }
}

}  // namespace
}  // namespace keld::testing

namespace keld::testing {
namespace {

// A polymer solution's upper critical solution point is a critical point of
// the mixture too: from a liquid start the same solver reaches it, and the
// demixing layer's critical solution point (the extremum of the spinodal over
// T at fixed P, through the monitors) at the pressure found is the same T and
// composition.
TEST(MixtureCritical, PolymerSolutionUcstFromALiquidStart) {
    refhost::Case c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/polystyrene-cyclohexane.json");
    refhost::initialise_case(c);
    const std::vector<std::int64_t> listed{c.host->component_number("CYCLOHEX"), c.host->component_number("PS")};
    equilibria::System system(c, "pcsaft", listed);
    const auto at_one_bar = equilibria::critical_solution_point(system, 1e5, 280.0, 310.0);
    ASSERT_EQ(at_one_bar.status, Status::converged) << at_one_bar.message;
    const double w[2] = {1.0 - at_one_bar.point.w, at_one_bar.point.w};
    std::vector<double> x(2);
    system.mole_from_mass(w, x.data());

    const Model m = refhost::model_from_case(c, "pcsaft", 1, {"CYCLOHEX", "PS"});
    const std::optional<double> liquid = density(m, at_one_bar.point.t, 1e5, x, Phase::liquid);
    ASSERT_TRUE(liquid.has_value());
    const auto r = equilibria::mixture_critical_point(m, x, {at_one_bar.point.t + 3.0, 1.0 / *liquid});
    ASSERT_EQ(r.status, Status::converged) << r.message;
    EXPECT_NEAR(r.rho / *liquid, 1.0, 0.01);  // a liquid, not the vapour-liquid critical point
    const auto again = equilibria::critical_conditions(m, r.t, r.v, x);
    EXPECT_LE(std::fabs(again.eigenvalue), 1e-10);
    ASSERT_GT(r.p, 0.0);
    const auto there = equilibria::critical_solution_point(system, r.p, r.t - 5.0, r.t + 5.0);
    ASSERT_EQ(there.status, Status::converged) << there.message;
    EXPECT_NEAR(there.point.t, r.t, 1e-4);
    EXPECT_NEAR(there.point.w / at_one_bar.point.w, 1.0, 1e-3);
}

}  // namespace
}  // namespace keld::testing
