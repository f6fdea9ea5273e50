// The refusal to compute with a parameter equal to the missing-value marker:
// which values count as missing, which segments a segment average weighs in,
// and what a refused call writes and says.
#include "common/missing_parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "support/fake_host.h"

namespace keld {
namespace {

constexpr double kMissing = 1.0e35;

TEST(ParameterCheck, KeepsTheFirstUnusableValue) {
    testing::FakeHost fake(3);
    const host::Host host = fake.view();
    struct Case {
        double value;
        bool usable;
    };
    const Case cases[] = {{3.7, true},   {0.0, true},  {-1.0, true}, {kMissing, false},
                          {std::nan(""), false}, {std::numeric_limits<double>::infinity(), false}};
    for (const Case &c : cases) {
        ParameterCheck check(host);
        EXPECT_EQ(check.require("PCSFTV", 2, c.value), c.usable) << c.value;
        EXPECT_EQ(check.passed(), c.usable);
    }
    ParameterCheck check(host);
    EXPECT_TRUE(check.require("PCSFTM", 1, 2.0));
    EXPECT_FALSE(check.require("PCSFTU", 3, kMissing));
    EXPECT_FALSE(check.require("PCSFTV", 2, kMissing));
    EXPECT_EQ(check.missing().name, "PCSFTU");
    EXPECT_EQ(check.missing().component, 3);
}

// Polymer 1 of segments 2 and 3 with weight fractions (1 - w3, w3); segment 3's value is missing.
struct SegmentCase {
    double w3;
    bool every_present_segment;
    bool passes;
};

TEST(ParameterCheck, SegmentsWeighedInByTheAverageMustHaveTheirValues) {
    const SegmentCase cases[] = {
        {0.4, false, false},   // an ordinary share
        {1e-9, false, true},   // below the floor: the average skips it
        {1e-9, true, false},   // the lattice-fluid construction counts every present segment
        {0.0, true, true},     // absent from the polymer
    };
    for (const SegmentCase &c : cases) {
        testing::FakeHost fake(3);
        fake.set_kinds("PSS");
        fake.set_segments({2, 3});
        fake.fractions = [&](std::int64_t, double *f, bool) {
            f[0] = 1.0 - c.w3;
            f[1] = c.w3;
        };
        fake.install();
        const double q[3] = {kMissing, 4.1, kMissing};
        double scratch[4];
        ParameterCheck check(fake.view());
        EXPECT_EQ(check.require_segments("PCSFTV", q, 1, {scratch, 4}, 0, c.every_present_segment), c.passes)
            << "w3 " << c.w3;
        if (!c.passes) {
            EXPECT_EQ(check.missing().component, 3);
        }
    }
}

TEST(RefuseMissingParameter, OutputsNotANumberStatusClearedAndTheMessageNamesTheParameter) {
    testing::FakeHost fake(2);
    fake.set_kinds("CS");
    fake.offsets4()[1] = 10;  // identifiers at store words 11..14, four characters a word
    for (const auto &[word, text] : {std::pair{10, "TOL "}, {11, "    "}, {12, "STY "}, {13, "    "}})
        std::memcpy(&fake.store()[word], text, 4);
    fake.install();
    double t = 300, p = 1e5, z[2] = {0.5, 0.5}, phi[2] = {1, 1}, h = 1, s = 1, g = 1, v = 1, dphi[2] = {1, 1};
    double dh = 1, ds = 1, dg = 1, dv = 1;
    std::int64_t n = 2, idx[2] = {1, 2}, kwork = 0, kvl = 2, k1 = 1, k0 = 0, kds = 3, kdiag = 4, kstat = 1, kopt = 0;
    MonitorCall call{};
    ASSERT_TRUE(read_monitor_call(&t, &p, z, &n, idx, &kwork, &kvl, &k1, &k0, &k0, &k0, &k1, &kds, &kdiag, phi, &h,
                                  &s, &g, &v, dphi, &dh, &ds, &dg, &dv, &kstat, &kopt, call));
    const RefusalSite site{host::RoutineId("TEST", "MON"), 2, 2, "POLYTEST"};
    refuse_missing_parameter(fake.view(), call, site, {"PCSFTM", 2});
    EXPECT_EQ(kstat, 0);
    EXPECT_TRUE(std::isnan(phi[0]) && std::isnan(phi[1]) && std::isnan(v));
    EXPECT_EQ(h, 1);  // not requested: untouched
    ASSERT_EQ(fake.printed.size(), 2u);
    EXPECT_EQ(fake.printed[0], "      EQUATION OF STATE MODEL POLYTEST HAS MISSING PARAMETERS:");
    EXPECT_EQ(fake.printed[1], "      PCSFTM (DATA SET   3) MISSING FOR SEGMENT STY");
}

}  // namespace
}  // namespace keld
