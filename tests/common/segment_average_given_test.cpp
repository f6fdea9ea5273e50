// Averages over a segment composition handed over as arguments: fractions used as given (no
// normalisation), the floor, the choice of matrix by KOPT, the cross values with their temperature
// derivatives, and the Sanchez-Lacombe construction.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/segment_average_given.h"

namespace {

using keld::GivenSegments;

// NC = 4: component 1 a solvent, 2 and 3 segments, 4 the polymer. Fractions of polymer 4 in row 4.
struct Composition {
    std::vector<std::int64_t> seg{2, 3};
    std::vector<double> weight = std::vector<double>(8, 0.0), mole = std::vector<double>(8, 0.0);
    GivenSegments g() const { return {4, 2, seg.data(), weight.data(), mole.data(), 1e-6, 1e35}; }
    void set(double w2, double w3, double x2 = 0.0, double x3 = 0.0) {
        weight[0 * 4 + 3] = w2, weight[1 * 4 + 3] = w3, mole[0 * 4 + 3] = x2, mole[1 * 4 + 3] = x3;
    }
};

const std::vector<double> kP1{1.0, 4.0, 9.0, 0.0}, kP2{10.0, 20.0, 30.0, 0.0}, kP3{0.5, 0.25, 0.75, 0.0};

TEST(SegmentAverageGiven, AveragesUseTheFractionsAsGiven) {
    struct Case {
        double w2, w3, x2, x3;
        std::int64_t kopt;
        double a, b, c;
        std::int64_t weighed;
    };
    const Case cases[] = {
        {0.3, 0.3, 0.0, 0.0, 0, 0.3 * 4 + 0.3 * 9, 0.3 * 20 + 0.3 * 30, 0.3 * 0.25 + 0.3 * 0.75, 2},  // not normalised
        {1e-7, 0.0, 0.0, 0.0, 0, 0.0, 0.0, 0.0, 0},                                                 // below the floor
        {0.3, 0.7, 0.6, 0.4, 5, 0.6 * 4 + 0.4 * 9, 0.6 * 20 + 0.4 * 30, 0.6 * 0.25 + 0.4 * 0.75, 2},  // mole matrix
        {1.0, 0.0, 0.0, 0.0, 0, 4.0, 20.0, 0.25, 1},
    };
    for (const Case &c : cases) {
        Composition comp;
        comp.set(c.w2, c.w3, c.x2, c.x3);
        double a = -1, b = -1, cc = -1;
        const auto check = keld::segment_average3_given(kP1.data(), kP2.data(), kP3.data(), 4, a, b, cc, c.kopt, comp.g());
        EXPECT_DOUBLE_EQ(a, c.a);
        EXPECT_DOUBLE_EQ(b, c.b);
        EXPECT_DOUBLE_EQ(cc, c.c);
        EXPECT_EQ(check.weighed, c.weighed);
    }
}

TEST(SegmentAverageGiven, CrossValuesAndTheirTemperatureDerivatives) {
    Composition comp;
    comp.set(0.4, 0.6);
    std::vector<double> k(16, 0.0), dk(16, 0.0);
    k[(2 - 1) * 4 + 0] = 0.1;    // K(1, 2)
    dk[(3 - 1) * 4 + 0] = 1e-3;  // dK/dT(1, 3)
    const auto geo = keld::segment_geometric_cross_given(kP1.data(), k.data(), 1, 4, 0, dk.data(), 2, comp.g());
    EXPECT_DOUBLE_EQ(geo.x, 0.4 * 0.9 * std::sqrt(1.0 * 4.0) + 0.6 * std::sqrt(1.0 * 9.0));
    EXPECT_DOUBLE_EQ(geo.dxdt, -0.6 * 1e-3 * 3.0);
    const auto ari = keld::segment_arithmetic_cross_given(kP1.data(), k.data(), 1, 4, 0, dk.data(), 1, comp.g());
    EXPECT_DOUBLE_EQ(ari.x, 0.4 * 0.9 * 2.5 + 0.6 * 5.0);
    EXPECT_EQ(ari.dxdt, 0.0);  // mode 1
    comp.set(1.0, 0.0);
    std::vector<double> zero(16, 0.0);
    EXPECT_DOUBLE_EQ(keld::segment_geometric_cross_given(kP1.data(), zero.data(), 1, 4, 0, zero.data(), 1, comp.g()).x,
                     2.0);
}

TEST(SegmentAverageGiven, SanchezLacombeConstructionOfOneSegmentGivesItsOwnValues) {
    Composition comp;
    comp.set(1.0, 0.0);
    const std::vector<double> t{500, 735.0, 600, 1e35}, p{3e8, 357e6, 4e8, 1e35}, rho{800, 1105.0, 900, 1e35};
    const auto c = keld::sl_segment_characteristics_given(t.data(), p.data(), rho.data(), 4, 1e5, 8314.462618, comp.g());
    EXPECT_NEAR(c.t_star, 735.0, 1e-9);
    EXPECT_NEAR(c.p_star, 357e6, 1e-3);
    EXPECT_NEAR(c.rho_star, 1105.0, 1e-9);
    comp.set(0.0, 0.0);
    EXPECT_EQ(keld::sl_segment_characteristics_given(t.data(), p.data(), rho.data(), 4, 1e5, 8314.462618, comp.g())
                  .check.weighed,
              0);
}

}  // namespace
