// Flash and stability: mass balance and equal fugacities of the phases, one
// phase for stable feeds, agreement with the bubble point.
#include "keld/equilibria/flash.h"

#include <gtest/gtest.h>

#include "keld/case.h"
#include "keld/equilibria/bubble_dew.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::PhaseKind;
using equilibria::Status;
using equilibria::System;

const FlashCase kFlashes[] = {
    {"five components, 1 bar", kFive, kFiveFeed, 350.0, 1e5, 2},
    {"five components, 5 bar", kFive, kFiveFeed, 350.0, 5e5, 2},
    {"five components, 20 bar", kFive, kFiveFeed, 350.0, 2e6, 2},
    {"five components, 50 bar (compressed liquid)", kFive, kFiveFeed, 350.0, 5e6, 1},
    {"five components, 600 K (gas)", kFive, kFiveFeed, 600.0, 1e5, 1},
    {"hexane-toluene between dew and bubble", {&Host::hexane, &Host::toluene}, {0.5, 0.5}, 350.0, 7e4, 2},
    {"toluene over polystyrene below its bubble point",
     {&Host::toluene, &Host::ps},
     {0.9996, 0.0004},
     298.15,
     2000.0,
     2},
    {"polystyrene solution at 1 bar", {&Host::toluene, &Host::ps}, {0.9996, 0.0004}, 298.15, 1e5, 1},
    {"polystyrene-cyclohexane below the UCST",
     {&Host::cyclohexane, &Host::ps},
     {0.9999, 0.0001},
     285.0,
     1e6,
     2},
};

TEST(Flash, MassBalanceEqualFugacitiesAndStableFeeds) {
    Host h = make_host();
    for (const FlashCase &c : kFlashes) {
        SCOPED_TRACE(c.name);
        std::vector<std::int64_t> listed;
        for (auto m : c.components) listed.push_back(h.*m);
        System system(*h.host, "pcsaft", listed);
        const auto r = equilibria::flash(system, c.t, c.p, c.z);
        ASSERT_TRUE(r.ok()) << r.message;
        ASSERT_EQ(r.phases.size(), c.phases) << r.message;
        if (c.phases == 1) {
            EXPECT_EQ(r.status, Status::single_phase);
            EXPECT_TRUE(r.stability.stable);
            continue;
        }
        const auto &a = r.phases[0], &b = r.phases[1];
        EXPECT_NEAR(a.fraction + b.fraction, 1.0, 1e-14);
        EXPECT_NEAR(a.mass_fraction + b.mass_fraction, 1.0, 1e-14);
        for (std::size_t k = 0; k < c.z.size(); ++k)
            EXPECT_NEAR(a.fraction * a.x[k] + b.fraction * b.x[k], c.z[k], 1e-12 * std::max(c.z[k], 1e-3));
        std::vector<std::size_t> listed_a = all_of(system), listed_b = all_of(system);
        if (b.kind == PhaseKind::vapour) listed_b = system.volatile_indices();
        const Check ca = check_phase(system, listed_a, a.x, c.t, c.p, a.kind);
        const Check cb = check_phase(system, listed_b, b.x, c.t, c.p, b.kind);
        ASSERT_TRUE(ca.ok && cb.ok);
        EXPECT_LT(fugacity_gap(ca, cb), 1e-10);
        EXPECT_NEAR(a.v / ca.v, 1.0, 1e-12);
        EXPECT_NEAR(b.v / cb.v, 1.0, 1e-12);
        for (std::size_t k = 0; k < c.z.size(); ++k) {
            if (b.kind == PhaseKind::vapour && !system.component(k).is_volatile) {
                EXPECT_EQ(b.x[k], 0.0);  // the polymer is kept out of the vapour
            }
        }
    }
}

// Just below the bubble pressure the vapour is a trace of the bubble point's
// incipient vapour.
TEST(Flash, MeetsTheBubblePoint) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.c1, h.c3, h.hexane});
    const std::vector<double> z{0.1, 0.3, 0.6};
    const auto bubble = equilibria::bubble_pressure(system, 330.0, z);
    ASSERT_TRUE(bubble.ok());
    const auto r = equilibria::flash(system, 330.0, bubble.p * (1.0 - 1e-5), z);
    ASSERT_EQ(r.status, Status::converged) << r.message;
    ASSERT_EQ(r.phases[1].kind, PhaseKind::vapour);
    EXPECT_LT(r.phases[1].fraction, 1e-3);
    for (std::size_t k = 0; k < z.size(); ++k) EXPECT_NEAR(r.phases[1].x[k], bubble.y[k], 1e-3);
    const auto above = equilibria::flash(system, 330.0, bubble.p * (1.0 + 1e-3), z);
    EXPECT_EQ(above.status, Status::single_phase);
}

// Close to the mixture's critical point substitution crawls; the Newton stage
// on the Gibbs energy finishes the flash.
TEST(Flash, NearTheCriticalPoint) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.c1, h.hexane});
    const std::vector<double> z{0.5, 0.5};
    const auto bubble = equilibria::bubble_pressure(system, 350.0, z);
    ASSERT_TRUE(bubble.ok()) << bubble.message;
    const auto r = equilibria::flash(system, 350.0, 0.97 * bubble.p, z);
    ASSERT_EQ(r.status, Status::converged) << r.message;
    ASSERT_EQ(r.phases.size(), 2u);
    const Check a =
        check_phase(system, all_of(system), r.phases[0].x, 350.0, 0.97 * bubble.p, r.phases[0].kind);
    const Check b =
        check_phase(system, all_of(system), r.phases[1].x, 350.0, 0.97 * bubble.p, r.phases[1].kind);
    EXPECT_LT(fugacity_gap(a, b), 1e-10);
    const double ratio = r.phases[1].v / r.phases[0].v;
    EXPECT_GT(std::max(ratio, 1.0 / ratio), 1.05);  // two phases, not one twice
}

// Far below the critical region a component's K value passes exp(700): a
// split returned as an answer must still hold the feed (once a flash at 1 K
// returned one phase of x = (1, 0) for a feed of 10 % methane, converged).
TEST(Flash, EveryAnswerHoldsTheFeed) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.c1, h.hexane});
    const std::vector<double> z{0.1, 0.9};
    for (double t : {1.0, 5.0, 40.0, 150.0}) {
        SCOPED_TRACE(t);
        const auto r = equilibria::flash(system, t, 1e5, z);
        if (!r.ok()) {
            EXPECT_TRUE(r.phases.empty()) << r.message;
            continue;
        }
        for (std::size_t k = 0; k < z.size(); ++k) {
            double held = 0.0;
            for (const auto &ph : r.phases) {
                EXPECT_GE(ph.x[k], 0.0);
                held += ph.fraction * ph.x[k];
            }
            EXPECT_NEAR(held, z[k], 1e-12);
        }
    }
}

// Polystyrene in toluene with ethanol (associating PC-SAFT) below the bubble
// point: nearly all the solvent evaporates and the polymer-rich liquid swings
// the K values, which once stopped substitution and Newton alike (at 2 and
// 5 kPa). Each answer holds the feed, its phases re-evaluate to equal
// fugacities and neither would split again.
TEST(Flash, PolymerWithAnAssociatingSolvent) {
    refhost::Case c =
        refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/polystyrene-toluene-ethanol-pcsaft-assoc.json");
    refhost::initialise_case(c);
    for (std::size_t state : {1u, 2u}) {
        const refhost::StateRequest &feed = c.states[state];
        equilibria::SystemOptions options;
        options.settings = feed;
        System system(*c.host, "pcsaft-assoc", feed.components, options);
        std::vector<double> z(feed.z.size());
        system.mole_from_apparent(feed.z.data(), z.data());
        for (double p : {2000.0, 5000.0}) {
            SCOPED_TRACE(feed.label + " at " + std::to_string(p) + " Pa");
            const auto r = equilibria::flash(system, 298.15, p, z);
            ASSERT_EQ(r.status, Status::converged) << r.message;
            ASSERT_EQ(r.phases.size(), 2u);
            EXPECT_EQ(r.phases[1].kind, PhaseKind::vapour);
            // The associating monitor forms a liquid's ln Z at a density root accepted within
            // 1e-14 |V dP/dV|: at a few kPa that leaves ln phi good to about 1e-10.
            EXPECT_LT(r.residual, 1e-9);
            const Check l = check_phase(system, all_of(system), r.phases[0].x, 298.15, p, PhaseKind::liquid);
            const Check v =
                check_phase(system, system.volatile_indices(), r.phases[1].x, 298.15, p, PhaseKind::vapour);
            ASSERT_TRUE(l.ok && v.ok);
            EXPECT_LT(fugacity_gap(l, v), 1e-9);
            for (std::size_t k = 0; k < z.size(); ++k)
                EXPECT_NEAR(r.phases[0].fraction * r.phases[0].x[k] + r.phases[1].fraction * r.phases[1].x[k], z[k],
                            1e-12);
            for (const auto &ph : r.phases) EXPECT_TRUE(equilibria::stability(system, 298.15, p, ph.x).stable);
        }
    }
}

TEST(Flash, RefusesBadFeeds) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.hexane, h.toluene});
    EXPECT_EQ(equilibria::flash(system, 350.0, 1e5, std::vector<double>{0.5, 0.4}).status,
              Status::invalid_input);
    EXPECT_EQ(equilibria::flash(system, 350.0, -1.0, std::vector<double>{0.5, 0.5}).status,
              Status::invalid_input);
    EXPECT_EQ(equilibria::flash(system, 350.0, 1e5, std::vector<double>{1.0}).status, Status::invalid_input);
}

}  // namespace
}  // namespace keld::testing
