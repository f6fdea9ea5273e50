#include "common/segment_average.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/fake_host.h"

namespace keld {
namespace {

using testing::FakeHost;

// Components: 1 solvent, 2 polymer, 3 and 4 segments.
struct PolymerFixture : ::testing::Test {
    FakeHost fake{4};
    double scratch[8]{};
    SegmentScratch s{scratch, 8};
    double q[4] = {100.0, 0.0, 400.0, 900.0};
    double k[16]{};

    void SetUp() override {
        fake.set_kinds("CPSS");
        fake.set_segments({3, 4});
    }
    void fractions(double f3, double f4) {
        fake.fractions = [f3, f4](std::int64_t, double *f, bool) {
            f[0] = f3;
            f[1] = f4;
        };
    }
};

TEST_F(PolymerFixture, MapWalkFindsTheSegmentList) {
    const SegmentList list = find_segment_list(fake.view());
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.component(fake.view(), 1), 3);
    EXPECT_EQ(list.component(fake.view(), 2), 4);
}

TEST_F(PolymerFixture, MalformedMapGivesNoSegments) {
    fake.set_segments({3, 9});  // 9 is not a component
    EXPECT_EQ(find_segment_list(fake.view()).count, 0);
    fake.set_segments({3, 4}, 4093);  // the list's second entry would lie past the store
    EXPECT_EQ(find_segment_list(fake.view()).count, 0);
}

TEST_F(PolymerFixture, OneSegmentCrossIsThePlainRuleWithItsBinary) {
    fractions(1.0, 0.0);
    k[(3 - 1) * 4 + 0] = 0.1;  // K(1, 3)
    EXPECT_DOUBLE_EQ(segment_geometric_cross(fake.view(), q, k, 1, 2, s, 0), std::sqrt(100.0 * 400.0) * 0.9);
    EXPECT_DOUBLE_EQ(segment_arithmetic_cross(fake.view(), q, k, 1, 2, s, 0), 0.5 * 500.0 * 0.9);
}

TEST_F(PolymerFixture, CrossRoutinesUseFractionsAsGivenButAverageNormalises) {
    fractions(0.3, 0.3);
    const double cross = segment_geometric_cross(fake.view(), q, k, 1, 2, s, 0);
    EXPECT_DOUBLE_EQ(cross, 0.3 * 200.0 + 0.3 * 300.0);
    double a1, a2, a3;
    segment_average3(fake.view(), q, q, q, 2, a1, a2, a3, s, 0);
    EXPECT_DOUBLE_EQ(a1, 0.5 * 400.0 + 0.5 * 900.0);
    EXPECT_DOUBLE_EQ(scratch[0], 0.5);
}

TEST_F(PolymerFixture, AllZeroFractionsAverageEvenly) {
    fractions(0.0, 0.0);
    double a1, a2, a3;
    segment_average3(fake.view(), q, q, q, 2, a1, a2, a3, s, 0);
    EXPECT_DOUBLE_EQ(a1, 650.0);
}

TEST_F(PolymerFixture, FractionBelowFloorIsSkipped) {
    fractions(1.0, 1e-9);
    EXPECT_DOUBLE_EQ(segment_geometric_cross(fake.view(), q, k, 1, 2, s, 0), 200.0);
    double a1, a2, a3;
    segment_average3(fake.view(), q, q, q, 2, a1, a2, a3, s, 0);
    EXPECT_NEAR(a1, 400.0, 1e-6);  // normalised: 400 (1 - 1e-9)
}

TEST_F(PolymerFixture, OptionFiveAsksForMoleFractions) {
    bool asked_mole = false;
    fake.fractions = [&](std::int64_t, double *f, bool mole) {
        asked_mole = mole;
        f[0] = 1.0;
        f[1] = 0.0;
    };
    segment_geometric_cross(fake.view(), q, k, 1, 2, s, 5);
    EXPECT_TRUE(asked_mole);
    segment_geometric_cross(fake.view(), q, k, 1, 2, s, 0);
    EXPECT_FALSE(asked_mole);
}

TEST_F(PolymerFixture, ScratchTooSmallGivesNothingRatherThanOverflow) {
    fractions(1.0, 0.0);
    SegmentScratch tiny{scratch, 1};
    EXPECT_DOUBLE_EQ(segment_geometric_cross(fake.view(), q, k, 1, 2, tiny, 0), 0.0);
}

TEST_F(PolymerFixture, SanchezLacombeFromOneSegmentIsTheSegment) {
    fractions(1.0, 0.0);
    const double ts[4] = {0, 0, 735.0, 500.0}, ps[4] = {0, 0, 3.57e8, 4.0e8}, rs[4] = {0, 0, 1105.0, 900.0};
    const SlCharacteristics c = sl_segment_characteristics(fake.view(), ts, ps, rs, 2, 1.0e5, s);
    EXPECT_NEAR(c.t_star, 735.0, 1e-9);
    EXPECT_NEAR(c.p_star / 3.57e8, 1.0, 1e-13);
    EXPECT_NEAR(c.rho_star / 1105.0, 1.0, 1e-13);
}

TEST_F(PolymerFixture, SanchezLacombeTwoSegmentsMixBySiteFraction) {
    fractions(0.5, 0.5);
    const double r = 8314.462618;
    const double ts[4] = {0, 0, 700.0, 500.0}, ps[4] = {0, 0, 3.5e8, 4.0e8}, rs[4] = {0, 0, 1100.0, 900.0};
    const SlCharacteristics c = sl_segment_characteristics(fake.view(), ts, ps, rs, 2, 5.0e4, s);
    // Independent evaluation of the same mixing: site fractions, volume, energy.
    const double v1 = r * 700 / 3.5e8, v2 = r * 500 / 4.0e8, m1 = v1 * 1100, m2 = v2 * 900;
    const double s1 = 0.5 / m1, s2 = 0.5 / m2, f1 = s1 / (s1 + s2), f2 = s2 / (s1 + s2);
    const double v = f1 * v1 + f2 * v2;
    const double e = f1 * f1 * v1 * r * 700 + f2 * f2 * v2 * r * 500 +
                     2 * f1 * f2 * 0.5 * (v1 + v2) * std::sqrt(r * 700 * r * 500);
    EXPECT_NEAR(c.t_star, e / v / r, 1e-9);
    EXPECT_NEAR(c.p_star / (e / v / v), 1.0, 1e-13);
    // rho* = MWN / (v* / B): the mass per close-packed volume of the lattice sites.
    EXPECT_NEAR(c.rho_star / (f1 * m1 + f2 * m2) * v, 1.0, 1e-13);
    // The floor does not apply here: a tiny fraction still counts.
    fractions(1.0, 1e-9);
    EXPECT_NE(sl_segment_characteristics(fake.view(), ts, ps, rs, 2, 5.0e4, s).t_star, 700.0);
}

TEST_F(PolymerFixture, SanchezLacombeWithoutSegmentsIsMissingNotNaN) {
    fake.set_segments({});
    const double ts[4] = {}, ps[4] = {}, rs[4] = {};
    const SlCharacteristics c = sl_segment_characteristics(fake.view(), ts, ps, rs, 2, 5.0e4, s);
    EXPECT_EQ(c.t_star, 1.0e35);
    EXPECT_EQ(c.p_star, 1.0e35);
    EXPECT_EQ(c.rho_star, 1.0e35);
}

}  // namespace
}  // namespace keld
