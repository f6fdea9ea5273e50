// Polystyrene of a distribution of chain lengths in cyclohexane: cloud-point
// and shadow curves, their critical point, fractionation, and the
// monodisperse limits they must reach.
#include "keld/equilibria/polydisperse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "keld/case.h"
#include "keld/equilibria/lle.h"
#include "keld/equilibria/system.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::MolecularWeightDistribution;
using equilibria::PolydispersePhase;
using equilibria::Status;

constexpr double kPressure = 1e5;
const equilibria::TemperatureRange kRange{250.0, 340.0};

equilibria::PolydisperseSystem schulz_flory(double mn, double mw, std::size_t n) {
    return polystyrene_in_cyclohexane(MolecularWeightDistribution::schulz_flory(mn, mw).discretise(n));
}

void expect_equal_fugacities(const equilibria::PolydisperseSystem &s, const PolydispersePhase &a,
                             const PolydispersePhase &b, double t, double p, const std::string &label) {
    const auto fa = ln_f_per_unit(s, a, t, p), fb = ln_f_per_unit(s, b, t, p);
    for (std::size_t i = 0; i < fa.size(); ++i) EXPECT_LT(std::fabs(fa[i] - fb[i]), 1e-9) << label << " component " << i;
}

TEST(CloudPoint, EveryPseudoComponentHasEqualFugacityInFeedAndShadow) {
    for (std::size_t n : {1, 5, 20}) {
        const auto s = schulz_flory(1e5, 2e5, n);
        const auto curve = equilibria::cloud_point_curve(s, kPressure, 0.005, 0.3, 8, kRange);
        ASSERT_EQ(curve.status, Status::converged) << n << ": " << curve.message;
        ASSERT_EQ(curve.points.size(), 8u);
        for (const auto &pt : curve.points) {
            const std::string label = "N=" + std::to_string(n) + " w=" + std::to_string(pt.feed.w_polymer);
            expect_equal_fugacities(s, pt.feed, pt.shadow, pt.t, kPressure, label);
            EXPECT_GT(std::fabs(pt.shadow.w_polymer - pt.feed.w_polymer), 1e-3) << label;
            // Dilute feeds are clouded by a richer shadow, concentrated ones by a leaner one.
            EXPECT_EQ(pt.shadow.w_polymer > pt.feed.w_polymer, pt.feed.w_polymer < curve.critical.w) << label;
        }
    }
}

// With one chain length the cloud-point curve is the binodal, whose top is
// the critical point: the same as the monodisperse demixing layer's (through
// the monitors, from the example case of the same parameters).
TEST(CloudPoint, OneChainLengthIsTheMonodisperseSolution) {
    refhost::Case c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/polystyrene-cyclohexane.json");
    refhost::initialise_case(c);
    const std::vector<std::int64_t> listed{c.host->component_number("CYCLOHEX"), c.host->component_number("PS")};
    equilibria::System mono(c, "pcsaft", listed);
    const auto ucst = equilibria::critical_solution_point(mono, kPressure, 280.0, 310.0);
    ASSERT_EQ(ucst.status, Status::converged) << ucst.message;

    const auto s = schulz_flory(1e5, 1e5, 10);
    ASSERT_EQ(s.size(), 2u);
    const auto crit = equilibria::polydisperse_critical_point(s, kPressure, kRange);
    ASSERT_EQ(crit.status, Status::converged) << crit.message;
    EXPECT_NEAR(crit.t, ucst.point.t, 1e-4);
    EXPECT_NEAR(crit.w / ucst.point.w, 1.0, 1e-3);

    // A binodal below the UCST: the lean phase's cloud point is that T, its shadow the rich phase.
    const double t = ucst.point.t - 3.0;
    const auto bin = equilibria::binodal(mono, t, kPressure);
    ASSERT_EQ(bin.status, Status::converged) << bin.message;
    const auto curve = equilibria::cloud_point_curve(s, kPressure, bin.lean.w[1], bin.rich.w[1], 2, kRange);
    ASSERT_EQ(curve.status, Status::converged) << curve.message;
    EXPECT_NEAR(curve.points[0].t, t, 1e-6);
    EXPECT_NEAR(curve.points[0].shadow.w_polymer / bin.rich.w[1], 1.0, 1e-6);
    EXPECT_NEAR(curve.points[1].t, t, 1e-6);
    EXPECT_NEAR(curve.points[1].shadow.w_polymer / bin.lean.w[1], 1.0, 1e-5);
}

// The cloud-point and shadow curves meet at the critical point; for a broad
// distribution the cloud-point curve's maximum lies away from it (at a
// leaner feed and a higher T), for one chain length it is the critical point.
TEST(CloudPoint, CurvesMeetAtTheCriticalPointAndTheMaximumMovesForBroadDistributions) {
    struct Case {
        double mw_over_mn;
        bool shifted;
    };
    for (const Case &k : {Case{1.0, false}, Case{2.0, true}}) {
        const auto s = schulz_flory(1e5, k.mw_over_mn * 1e5, 8);
        const auto crit = equilibria::polydisperse_critical_point(s, kPressure, kRange);
        ASSERT_EQ(crit.status, Status::converged) << crit.message;
        // Feeds either side of the critical one: cloud point and shadow close in
        // on it, in proportion to the feed's distance. (Closer than about 3 % the
        // shadow of the broad distribution is no longer resolved: refused below.)
        for (double side : {-1.0, 1.0}) {
            for (double e : {1e-1, 3e-2}) {
                const auto pt = equilibria::cloud_point(s, kPressure, crit.w * (1.0 + side * e), kRange);
                ASSERT_EQ(pt.status, Status::converged) << pt.message;
                EXPECT_LT(pt.shadow_uncertainty, 0.01) << k.mw_over_mn << " " << e;
                EXPECT_LT(std::fabs(pt.t - crit.t), 2.0 * e) << k.mw_over_mn;
                EXPECT_LT(std::fabs(pt.shadow.w_polymer / crit.w - 1.0), 1.5 * e) << k.mw_over_mn;
                // On the other side of the critical feed.
                EXPECT_LT(side * (pt.shadow.w_polymer - crit.w), 0.0) << k.mw_over_mn;
            }
        }
        // So close to the critical feed that other incipient phases satisfy the equations as well within
        // their rounding: refused, not a shadow with the digits of chance.
        const auto near = equilibria::cloud_point(s, kPressure, crit.w * (1.0 + 1e-5), kRange);
        EXPECT_EQ(near.status, Status::not_converged) << k.mw_over_mn;
        EXPECT_NE(near.message.find("too close to the critical point"), std::string::npos) << near.message;
        const auto curve = equilibria::cloud_point_curve(s, kPressure, 0.005, 0.3, 40, kRange);
        ASSERT_EQ(curve.status, Status::converged) << curve.message;
        const auto top = std::max_element(curve.points.begin(), curve.points.end(),
                                          [](const auto &a, const auto &b) { return a.t < b.t; });
        if (k.shifted) {
            EXPECT_GT(top->t, crit.t + 0.3);
            EXPECT_LT(top->feed.w_polymer, 0.5 * crit.w);
        } else {
            EXPECT_LE(top->t, crit.t + 1e-9);
        }
    }
}

TEST(Fractionation, MassBalanceEqualFugacitiesAndLongChainsInTheRichPhase) {
    const auto s = schulz_flory(1e5, 2e5, 10);
    struct Feed {
        double w, t;
    };
    // A dilute feed (cloud point 300.3 K) leaves its longest chains in the lean phase at shares of 1e-10.
    for (const Feed &k : {Feed{0.1, 297.5}, Feed{0.1, 295.0}, Feed{0.1, 285.0}, Feed{0.02, 299.0}, Feed{0.02, 292.0}}) {
        const double w_feed = k.w, t = k.t;
        const auto f = equilibria::fractionate(s, t, kPressure, w_feed, kRange);
        ASSERT_EQ(f.status, Status::converged) << t << ": " << f.message;
        expect_equal_fugacities(s, f.lean, f.rich, t, kPressure, "T=" + std::to_string(t));
        // Every pseudo-component's mass: rich share + lean share = feed.
        const auto &pseudo = s.pseudo();
        for (std::size_t i = 0; i < pseudo.size(); ++i) {
            const double feed = w_feed * pseudo[i].weight_fraction;
            const double rich = f.rich_share * f.rich.w_polymer * f.rich.polymer[i].weight_fraction;
            const double lean = (1.0 - f.rich_share) * f.lean.w_polymer * f.lean.polymer[i].weight_fraction;
            EXPECT_NEAR((rich + lean) / feed, 1.0, 1e-10) << t << " pseudo " << i;
            EXPECT_NEAR(rich / feed, f.rich_share_of_pseudo[i], 1e-10) << t << " pseudo " << i;
            if (i > 0) {
                EXPECT_GE(f.rich_share_of_pseudo[i], f.rich_share_of_pseudo[i - 1]) << t;
            }
        }
        EXPECT_GT(f.rich_share_of_pseudo.back(), f.rich_share_of_pseudo.front()) << t;
        EXPECT_GT(f.rich.mw, f.lean.mw);
        EXPECT_GT(f.rich.mn, f.lean.mn);
    }
    const auto above = equilibria::fractionate(s, 305.0, kPressure, 0.1, kRange);
    EXPECT_EQ(above.status, Status::single_phase) << above.message;
    EXPECT_TRUE(std::isnan(above.rich.w_polymer));
}

// In one liquid the model's residual depends on the polymer's distribution
// only through sum x_i m_i (the pseudo-components share their segments), so
// the solvent's fugacity is that of the monodisperse polymer of the same Mn
// at the same weight fraction. Demixing is not: the cloud point of a broad
// distribution lies above the monodisperse one of the same Mn.
TEST(SolventActivity, EqualsTheMonodisperseValueAtTheSameMnInOneLiquidOnly) {
    const auto poly = schulz_flory(1e5, 2e5, 10);
    const auto mono = schulz_flory(1e5, 1e5, 1);
    for (double w : {0.05, 0.3, 0.8}) {
        for (double t : {300.0, 320.0}) {
            PolydispersePhase a, b;
            a.x = poly.feed(w);
            b.x = mono.feed(w);
            const auto fa = ln_f_per_unit(poly, a, t, kPressure), fb = ln_f_per_unit(mono, b, t, kPressure);
            EXPECT_NEAR(fa[0], fb[0], 1e-11) << w << " " << t;
        }
    }
    // The same on the lattice fluid (toluene and polystyrene, Sanchez-Lacombe): its mixture
    // rules are sums over segment fractions, linear in x_i r_i as well.
    const SanchezLacombeComponent toluene{"TOLUENE", 92.141, 543.0, 402e6, 966.0};
    const SanchezLacombeComponent ps{"PS", 0.0, 735.0, 357e6, 1105.0, 104.152};
    const auto lattice = [&](const equilibria::MolecularWeightDistribution &d, std::size_t n) {
        return equilibria::PolydisperseSystem::sanchez_lacombe(toluene, ps, 0.0, d.discretise(n));
    };
    const auto sl_poly = lattice(MolecularWeightDistribution::log_normal(5e4, 1.5e5), 8);
    const auto sl_mono = lattice(MolecularWeightDistribution::from_points({5e4}, {1.0}), 1);
    for (double w : {0.1, 0.6}) {
        PolydispersePhase a, b;
        a.x = sl_poly.feed(w);
        b.x = sl_mono.feed(w);
        const auto fa = ln_f_per_unit(sl_poly, a, 350.0, kPressure), fb = ln_f_per_unit(sl_mono, b, 350.0, kPressure);
        EXPECT_NEAR(fa[0], fb[0], 1e-11) << "Sanchez-Lacombe " << w;
        // Not the same solution of chains of the distribution's Mw.
        const auto sl_mw = lattice(MolecularWeightDistribution::from_points({1.5e5}, {1.0}), 1);
        PolydispersePhase c;
        c.x = sl_mw.feed(w);
        EXPECT_GT(std::fabs(ln_f_per_unit(sl_mw, c, 350.0, kPressure)[0] - fa[0]), 1e-6) << w;
    }
    const auto cp_poly = equilibria::cloud_point(poly, kPressure, 0.02, kRange);
    const auto cp_mono = equilibria::cloud_point(mono, kPressure, 0.02, kRange);
    ASSERT_EQ(cp_poly.status, Status::converged) << cp_poly.message;
    ASSERT_EQ(cp_mono.status, Status::converged) << cp_mono.message;
    EXPECT_GT(cp_poly.t, cp_mono.t + 4.0);  // 300.33 K against 295.31 K
}

TEST(CloudPoint, RefusesWhatItCannotAnswer) {
    const auto s = schulz_flory(1e5, 2e5, 5);
    EXPECT_EQ(equilibria::cloud_point_curve(s, kPressure, 0.3, 0.1, 5, kRange).status, Status::invalid_input);
    EXPECT_EQ(equilibria::cloud_point_curve(s, -1.0, 0.01, 0.1, 5, kRange).status, Status::invalid_input);
    // No demixing in a range far above the UCST.
    const auto none = equilibria::polydisperse_critical_point(s, kPressure, {330.0, 360.0});
    EXPECT_EQ(none.status, Status::no_solution);
    EXPECT_TRUE(std::isnan(none.t));
    const auto pt = equilibria::cloud_point(s, kPressure, 0.05, equilibria::TemperatureRange{330.0, 360.0});
    EXPECT_NE(pt.status, Status::converged);
    EXPECT_TRUE(std::isnan(pt.t));
}

}  // namespace
}  // namespace keld::testing
