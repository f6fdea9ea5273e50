// The reference host's services for the segment-based monitors: PolyVolumeApparentToTrue and
// PolyBinaryTable4 with its temperature derivative.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "keld/refhost.h"

namespace {

using keld::refhost::ReferenceHost;

TEST(SegmentHostServices, ApparentToTrueCountsPolymerMolecules) {
    const ReferenceHost host;
    const std::int64_t idx[2] = {1, 2}, flags[2] = {0, 1};
    const double mw[2] = {92.141, 104.152}, mwn[2] = {92.141, 1e5}, z[2] = {0.5, 0.5};
    double x[2];
    host.volume_apparent_to_true(2, idx, mw, mwn, z, x, 1, 2, flags);
    const double polymer = 0.5 * 104.152 / 1e5;
    EXPECT_DOUBLE_EQ(x[0], 0.5 / (0.5 + polymer));
    EXPECT_DOUBLE_EQ(x[1], polymer / (0.5 + polymer));
}

TEST(SegmentHostServices, BinaryTableWithItsTemperatureDerivative) {
    const ReferenceHost host;
    // Pair (1, 2): k = a + b/Tr + c ln Tr + d Tr + e Tr^2 with Tref = 300 K.
    std::vector<double> table(6 * 4, 0.0);
    const double c[6] = {0.01, 0.02, -0.03, 0.004, -0.005, 300.0};
    for (int k = 0; k < 6; ++k) table[6 * 2 + k] = c[k];  // (i, j) = (1, 2) at (j - 1) NC + i - 1 = 2
    auto k_at = [&](double t) {
        std::vector<double> k(4), dk(4, -1.0);
        host.binary_table4(t, 6, 6, 2, table.data(), k.data(), dk.data(), 1, 24);
        EXPECT_EQ(dk[2], 0.0);  // mode 1
        return k[2];
    };
    std::vector<double> k(4), dk(4);
    const double t = 350.0, h = 1e-3;
    host.binary_table4(t, 6, 6, 2, table.data(), k.data(), dk.data(), 2, 24);
    EXPECT_DOUBLE_EQ(k[2], k_at(t));
    EXPECT_NEAR(dk[2], (k_at(t + h) - k_at(t - h)) / (2 * h), 1e-10);
    EXPECT_EQ(dk[1], 0.0);
    host.binary_table4(t, 6, 6, 2, table.data(), k.data(), dk.data(), 2, 23);  // one word short: nothing read
    EXPECT_EQ(k[2], 0.0);
}

}  // namespace
