// Pseudo-components of molecular-weight distributions: the Gauss rule keeps
// the number distribution's first four moments (Mn, Mw, Mz) for every kind
// of distribution and every count from two up.
#include "keld/equilibria/distribution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>

namespace keld::testing {
namespace {

using equilibria::DistributionMoments;
using equilibria::MolecularWeightDistribution;
using equilibria::moments_of;

double relative(double a, double b) { return std::fabs(a - b) / std::fabs(b); }

struct Distribution {
    const char *label;
    std::function<MolecularWeightDistribution()> make;
};

const Distribution kDistributions[] = {
    {"Schulz-Flory Mw/Mn 2", [] { return MolecularWeightDistribution::schulz_flory(1e5, 2e5); }},
    {"Schulz-Flory Mw/Mn 1.05", [] { return MolecularWeightDistribution::schulz_flory(5e4, 5.25e4); }},
    {"Schulz-Flory Mw/Mn 4", [] { return MolecularWeightDistribution::schulz_flory(2e4, 8e4); }},
    {"log-normal Mw/Mn 2", [] { return MolecularWeightDistribution::log_normal(1e5, 2e5); }},
    {"log-normal Mw/Mn 3", [] { return MolecularWeightDistribution::log_normal(3e4, 9e4); }},
    {"GPC trace, weight fractions",
     [] {
         return MolecularWeightDistribution::parse_gpc("M/(g/mol),w\n1e4,0.05\n3e4,0.2\n1e5,0.4\n3e5,0.25\n1e6,0.1\n");
     }},
    {"GPC trace, dw/dlogM, unsorted",
     [] {
         return MolecularWeightDistribution::parse_gpc("# exported\nM\tdw/dlogM\n2e5\t0.9\n5e3\t0.1\n2e4\t0.6\n"
                                                       "6e4\t1.0\n7e5\t0.3\n1.5e6\t0.05\n");
     }},
    {"explicit pseudo-components",
     [] { return MolecularWeightDistribution::from_points({2e4, 5e4, 1e5, 2e5, 4e5, 8e5, 1.6e6}, {1, 2, 3, 3, 2, 1, 0.5}); }},
};

TEST(Distribution, GaussRuleKeepsTheFirstFourMoments) {
    for (const Distribution &d : kDistributions) {
        const MolecularWeightDistribution dist = d.make();
        const DistributionMoments exact = dist.moments();
        for (std::size_t n : {2, 3, 5, 10, 20}) {
            const auto set = dist.discretise(n);
            const DistributionMoments got = moments_of(set);
            EXPECT_LT(relative(got.mu0, 1.0), 1e-12) << d.label << " N=" << n;
            EXPECT_LT(relative(got.mu1, exact.mu1), 1e-12) << d.label << " N=" << n;
            EXPECT_LT(relative(got.mu2, exact.mu2), 1e-12) << d.label << " N=" << n;
            EXPECT_LT(relative(got.mu3, exact.mu3), 1e-12) << d.label << " N=" << n;
            EXPECT_LT(relative(got.mz, exact.mz), 1e-12) << d.label << " N=" << n;
            double weight = 0.0;
            for (std::size_t i = 0; i < set.size(); ++i) {
                EXPECT_GT(set[i].weight_fraction, 0.0) << d.label << " N=" << n << " i=" << i;
                if (i > 0) {
                    EXPECT_GT(set[i].mw, set[i - 1].mw) << d.label;
                }
                weight += set[i].weight_fraction;
            }
            EXPECT_NEAR(weight, 1.0, 1e-14) << d.label << " N=" << n;
        }
    }
}

// The analytic moments the rules are held to, against the averages asked for.
TEST(Distribution, AveragesOfTheParametricDistributions) {
    struct Case {
        MolecularWeightDistribution d;
        double mn, mw, mz;
    };
    const Case cases[] = {
        // Schulz-Flory: Mz/Mw = 2 - Mn/Mw.
        {MolecularWeightDistribution::schulz_flory(1e5, 2e5), 1e5, 2e5, 3e5},
        // Log-normal: Mz/Mw = Mw/Mn.
        {MolecularWeightDistribution::log_normal(1e5, 2e5), 1e5, 2e5, 4e5},
    };
    for (const Case &c : cases) {
        const auto m = c.d.moments();
        EXPECT_LT(relative(m.mn, c.mn), 1e-15);
        EXPECT_LT(relative(m.mw, c.mw), 1e-15);
        EXPECT_LT(relative(m.mz, c.mz), 1e-15);
    }
    // Points: Mn = 1 / sum(w_i / M_i), Mw = sum(w_i M_i).
    const auto p = MolecularWeightDistribution::from_points({1e4, 1e5}, {0.5, 0.5}).moments();
    EXPECT_LT(relative(p.mn, 1.0 / (0.5 / 1e4 + 0.5 / 1e5)), 1e-15);
    EXPECT_LT(relative(p.mw, 0.5 * 1e4 + 0.5 * 1e5), 1e-15);
}

TEST(Distribution, OneChainLengthIsOnePseudoComponent) {
    const MolecularWeightDistribution cases[] = {
        MolecularWeightDistribution::schulz_flory(1e5, 1e5),
        MolecularWeightDistribution::log_normal(1e5, 1e5),
        MolecularWeightDistribution::from_points({1e5}, {1.0}),
        MolecularWeightDistribution::from_points({1e5, 1e5}, {0.3, 0.7}),
    };
    for (const auto &d : cases) {
        const auto set = d.discretise(10);
        ASSERT_EQ(set.size(), 1u);
        EXPECT_EQ(set[0].mw, 1e5);
        EXPECT_EQ(set[0].weight_fraction, 1.0);
    }
    // Fewer points than asked for: the points themselves.
    const auto few = MolecularWeightDistribution::from_points({1e4, 1e5, 1e6}, {1, 0, 1}).discretise(5);
    ASSERT_EQ(few.size(), 2u);
    EXPECT_NEAR(few[0].weight_fraction, 0.5, 1e-15);
}

TEST(Distribution, BadInputIsRefusedWithTheReason) {
    const std::function<void()> bad[] = {
        [] { MolecularWeightDistribution::schulz_flory(2e5, 1e5); },
        [] { MolecularWeightDistribution::log_normal(0.0, 1e5); },
        [] { MolecularWeightDistribution::schulz_flory(std::nan(""), 1e5); },
        [] { MolecularWeightDistribution::from_points({1e4, -1.0}, {1, 1}); },
        [] { MolecularWeightDistribution::from_points({1e4, 1e5}, {1, -0.1}); },
        [] { MolecularWeightDistribution::from_points({1e4, 1e5}, {0, 0}); },
        [] { MolecularWeightDistribution::parse_gpc("M,w\n1e4,0.5\nabc,0.5\n"); },
        [] { MolecularWeightDistribution::parse_gpc("M,w,extra\n1e4,0.5,1\n"); },
        [] { MolecularWeightDistribution::parse_gpc("# nothing\n"); },
        [] { MolecularWeightDistribution::schulz_flory(1e5, 2e5).discretise(0); },
    };
    for (const auto &f : bad) EXPECT_THROW(f(), std::invalid_argument);
}

}  // namespace
}  // namespace keld::testing
