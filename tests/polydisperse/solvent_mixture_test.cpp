// Polydisperse polystyrene in a mixed solvent (cyclohexane with toluene) and
// as a copolymer of segment types: every component's equilibrium and mass
// balance, and the limits of one solvent and of a homopolymer.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "keld/equilibria/polydisperse.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::MolecularWeightDistribution;
using equilibria::PolydisperseSystem;
using equilibria::SolventMixture;
using equilibria::Status;

constexpr double kPressure = 1e5;
const equilibria::TemperatureRange kRange{250.0, 340.0};
// Toluene on PC-SAFT (Gross and Sadowski), a good solvent of polystyrene.
const PcSaftComponent kToluene{"TOLUENE", 92.141, 2.8149, 3.7169, 285.69};

// Polystyrene's repeat unit as a copolymer's segment type on a share of the polymer's mass.
PcSaftAssocSegment styrene(double mass_fraction) {
    PcSaftAssocSegment s;
    s.name = "STY";
    s.mass_fraction = mass_fraction;
    s.mw = kPolystyrene.mw_repeat;
    s.segment_ratio = kPolystyrene.segments_per_mw;
    s.sigma = kPolystyrene.sigma;
    s.epsilon_k = kPolystyrene.epsilon_k;
    return s;
}

std::vector<equilibria::PseudoComponent> broad(std::size_t n) {
    return MolecularWeightDistribution::schulz_flory(1e5, 2e5).discretise(n);
}

// Cyclohexane with a weight fraction `toluene` of toluene in the solvent.
PolydisperseSystem mixed(double toluene, std::size_t n) {
    return PolydisperseSystem::pcsaft({kCyclohexaneSolvent, kToluene}, SolventMixture{{1.0 - toluene, toluene}, {}},
                                      kPolystyrene, {kPsCyclohexaneKij, 0.0}, broad(n));
}

void expect_equal_fugacities(const PolydisperseSystem &s, const equilibria::PolydispersePhase &a,
                             const equilibria::PolydispersePhase &b, double t, const std::string &label) {
    const auto fa = ln_f_per_unit(s, a, t, kPressure), fb = ln_f_per_unit(s, b, t, kPressure);
    for (std::size_t i = 0; i < fa.size(); ++i) EXPECT_LT(std::fabs(fa[i] - fb[i]), 1e-9) << label << " component " << i;
}

TEST(SolventMixture, EveryComponentIncludingEachSolventIsInEquilibriumAndBalanced) {
    const auto s = mixed(0.2, 6);
    ASSERT_EQ(s.solvents(), 2u);
    const auto curve = equilibria::cloud_point_curve(s, kPressure, 0.01, 0.3, 6, kRange);
    ASSERT_EQ(curve.status, Status::converged) << curve.message;
    for (const auto &pt : curve.points) {
        expect_equal_fugacities(s, pt.feed, pt.shadow, pt.t, "cloud point w=" + std::to_string(pt.feed.w_polymer));
        // The feed keeps its solvent composition; the shadow does not (toluene, the better solvent, goes
        // with the polymer).
        EXPECT_NEAR(pt.feed.w[1] / (pt.feed.w[0] + pt.feed.w[1]), 0.2, 1e-12);
        const double shadow_toluene = pt.shadow.w[1] / (pt.shadow.w[0] + pt.shadow.w[1]);
        EXPECT_EQ(shadow_toluene > 0.2, pt.shadow.w_polymer > pt.feed.w_polymer) << pt.feed.w_polymer;
    }
    const double w_feed = 0.1;
    const auto f = equilibria::fractionate(s, curve.critical.t - 5.0, kPressure, w_feed, kRange);
    ASSERT_EQ(f.status, Status::converged) << f.message;
    expect_equal_fugacities(s, f.lean, f.rich, f.t, "fractionation");
    // Every component's mass, the solvents' as well: rich share + lean share = feed.
    const std::vector<double> feed_w{(1.0 - w_feed) * 0.8, (1.0 - w_feed) * 0.2};
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double feed = i < 2 ? feed_w[i] : w_feed * s.pseudo()[i - 2].weight_fraction;
        const double split = f.rich_share * f.rich.w[i] + (1.0 - f.rich_share) * f.lean.w[i];
        EXPECT_NEAR(split / feed, 1.0, 1e-10) << "component " << i;
    }
    EXPECT_GT(f.rich.mw, f.lean.mw);
}

// A second solvent in vanishing amount, or the one solvent split into two identical species, is the
// one-solvent solution; toluene in earnest lowers the demixing temperature.
TEST(SolventMixture, ReachesTheOneSolventResult) {
    const auto one = PolydisperseSystem::pcsaft(kCyclohexaneSolvent, kPolystyrene, kPsCyclohexaneKij, broad(6));
    PcSaftComponent twin = kCyclohexaneSolvent;
    twin.name = "CYCLOHEX_B";
    const auto split = PolydisperseSystem::pcsaft({kCyclohexaneSolvent, twin}, SolventMixture{{0.3, 0.7}, {}},
                                                  kPolystyrene, {kPsCyclohexaneKij, kPsCyclohexaneKij}, broad(6));
    const auto ref = equilibria::polydisperse_critical_point(one, kPressure, kRange);
    ASSERT_EQ(ref.status, Status::converged) << ref.message;
    const auto ref_cloud = equilibria::cloud_point(one, kPressure, 0.03, kRange);
    ASSERT_EQ(ref_cloud.status, Status::converged) << ref_cloud.message;
    struct Case {
        const PolydisperseSystem *system;
        // K: the cloud point is converged in ln f to 1e-10, which leaves its T at w = 0.03 uncertain by
        // about 1e-8 K (the last bits of the model's amount derivatives move it that much)
        double tolerance_t;
        const char *label;
    };
    const auto trace = mixed(1e-9, 6);
    for (const Case &k : {Case{&split, 1e-7, "identical twin"}, Case{&trace, 1e-6, "trace of toluene"}}) {
        const auto crit = equilibria::polydisperse_critical_point(*k.system, kPressure, kRange);
        ASSERT_EQ(crit.status, Status::converged) << k.label << ": " << crit.message;
        EXPECT_NEAR(crit.t, ref.t, k.tolerance_t) << k.label;
        EXPECT_NEAR(crit.w / ref.w, 1.0, 1e-6) << k.label;
        const auto cloud = equilibria::cloud_point(*k.system, kPressure, 0.03, kRange);
        ASSERT_EQ(cloud.status, Status::converged) << k.label << ": " << cloud.message;
        EXPECT_NEAR(cloud.t, ref_cloud.t, k.tolerance_t) << k.label;
        EXPECT_NEAR(cloud.shadow.w_polymer / ref_cloud.shadow.w_polymer, 1.0, 1e-6) << k.label;
    }
    const auto with_toluene = equilibria::cloud_point(mixed(0.2, 6), kPressure, 0.03, kRange);
    ASSERT_EQ(with_toluene.status, Status::converged) << with_toluene.message;
    EXPECT_LT(with_toluene.t, ref_cloud.t - 1.0);
}

TEST(SolventMixture, RefusesAnInconsistentMixture) {
    const auto make = [](SolventMixture m, std::vector<double> kij) {
        return PolydisperseSystem::pcsaft({kCyclohexaneSolvent, kToluene}, m, kPolystyrene, std::move(kij), broad(3));
    };
    EXPECT_THROW(make({{0.5, 0.4}, {}}, {0.0, 0.0}), std::invalid_argument);       // fractions add up to 0.9
    EXPECT_THROW(make({{1.0}, {}}, {0.0, 0.0}), std::invalid_argument);            // one fraction for two solvents
    EXPECT_THROW(make({{0.5, 0.5}, {}}, {0.0}), std::invalid_argument);            // one k_ij for two solvents
    EXPECT_THROW(make({{0.5, 0.5}, {0.0, 0.1}}, {0.0, 0.0}), std::invalid_argument);  // k_ij not S x S
    EXPECT_THROW(make({{1.2, -0.2}, {}}, {0.0, 0.0}), std::invalid_argument);      // a negative fraction
}

// The copolymer's segment averaging: a copolymer of one segment type is the homopolymer (the model
// agrees with the homopolymer's to 1e-15 relative in ln phi; the cloud points to their conditioning).
// (Two types of equal parameters are not: the chain term forms a chain per type, one bond fewer.)
TEST(Copolymer, OfOneSegmentTypeIsTheHomopolymer) {
    const auto homo = PolydisperseSystem::pcsaft(kCyclohexaneSolvent, kPolystyrene, kPsCyclohexaneKij, broad(6));
    const auto one = PolydisperseSystem::pcsaft_copolymer({kCyclohexaneSolvent}, SolventMixture{{1.0}, {}},
                                                          {"PS", {styrene(1.0)}}, {kPsCyclohexaneKij}, broad(6));
    ASSERT_EQ(one.size(), homo.size());
    for (double w : {0.02, 0.2}) {
        const auto ref = equilibria::cloud_point(homo, kPressure, w, kRange);
        const auto pt = equilibria::cloud_point(one, kPressure, w, kRange);
        ASSERT_EQ(ref.status, Status::converged) << ref.message;
        ASSERT_EQ(pt.status, Status::converged) << pt.message;
        EXPECT_NEAR(pt.t, ref.t, 1e-7) << w;
        EXPECT_NEAR(pt.shadow.w_polymer / ref.shadow.w_polymer, 1.0, 1e-6) << w;
        EXPECT_NEAR(pt.shadow.mw / ref.shadow.mw, 1.0, 1e-6) << w;
        expect_equal_fugacities(one, pt.feed, pt.shadow, pt.t, "copolymer");
    }
}

// A second segment type of a weaker segment energy (a poorer match with the solvent) raises the
// cloud point with its share of the polymer's mass; a stronger one lowers it.
TEST(Copolymer, CloudPointFollowsTheSegmentComposition) {
    const auto cloud_t = [](double share, double energy_ratio) {
        PcSaftAssocSegment other = styrene(share);
        other.name = "OTHER";
        other.epsilon_k *= energy_ratio;
        const auto s = PolydisperseSystem::pcsaft_copolymer(
            {kCyclohexaneSolvent}, SolventMixture{{1.0}, {}}, {"PSCO", {styrene(1.0 - share), other}},
            {kPsCyclohexaneKij, kPsCyclohexaneKij}, broad(4));
        const auto pt = equilibria::cloud_point(s, kPressure, 0.02, kRange);
        EXPECT_EQ(pt.status, Status::converged) << pt.message;
        if (pt.status == Status::converged) expect_equal_fugacities(s, pt.feed, pt.shadow, pt.t, "two segment types");
        return pt.t;
    };
    const auto homo = PolydisperseSystem::pcsaft(kCyclohexaneSolvent, kPolystyrene, kPsCyclohexaneKij, broad(4));
    const double t0 = equilibria::cloud_point(homo, kPressure, 0.02, kRange).t;
    const double weak2 = cloud_t(0.2, 0.97), weak4 = cloud_t(0.4, 0.97);
    const double strong2 = cloud_t(0.2, 1.03), strong4 = cloud_t(0.4, 1.03);
    EXPECT_GT(weak2, t0 + 0.2);
    EXPECT_GT(weak4, weak2 + 0.2);
    EXPECT_LT(strong2, t0 - 0.2);
    EXPECT_LT(strong4, strong2 - 0.1);
}

}  // namespace
}  // namespace keld::testing
