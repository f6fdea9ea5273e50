// Arguments a caller may get wrong, at the C interface of both 27-argument
// monitors: each is refused (NaN in the requested outputs, KSTAT 0) before
// anything is written, so the store outside the call's work area keeps its
// words and later calls their answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "robustness/systems.h"

namespace keld::testing {
namespace {

bool refused(const MonitorResult &r) { return r.kstat == 0 && std::isnan(r.phi[0]) && std::isnan(r.v); }

// The store outside the work area, but for the words a monitor publishes for
// the host (the polymer's parameter sources and pseudo-critical values, the
// Sanchez-Lacombe working copies), which are set to 0.
std::vector<double> outside_work_area(const System &s) {
    std::vector<double> words(s.host.store().begin(), s.host.store().begin() + (s.host.work_offset() - 1));
    words.push_back(s.host.store().back());  // the spare word after the work area
    for (const char *name : {"SLSRC", "PCSSRC", "TC", "PC"}) words[s.host.param_offset(name) + s.ps - 1] = 0.0;
    for (const char *name : {"TSTARL", "PSTARL", "DSTARL"})
        std::fill_n(words.begin() + s.host.param_offset(name), s.host.component_count(), 0.0);
    return words;
}

TEST(ArgumentValidation, AWorkAreaOutsideTheWorkBlockIsRefusedAndCorruptsNothing) {
    const std::int64_t big = std::numeric_limits<std::int64_t>::max();
    for (const Family &f : kFamilies) {
        PolymerSolution s;
        const MonitorResult reference = call_monitor(f.monitor, 300.0, 1e5, s.z, s.idx);
        ASSERT_EQ(reference.kstat, 1) << f.name;
        const std::vector<double> before = outside_work_area(s);
        for (std::int64_t kwork : {std::int64_t{-5}, std::int64_t{-60}, -s.host.work_offset() - 10, big, big - 3,
                                   std::numeric_limits<std::int64_t>::min(), s.host.work_words()}) {
            CallOptions o;
            o.kwork = kwork;
            EXPECT_TRUE(refused(call_monitor(f.monitor, 300.0, 1e5, s.z, s.idx, o))) << f.name << " KWORK " << kwork;
        }
        const std::vector<double> after = outside_work_area(s);
        EXPECT_EQ(std::memcmp(before.data(), after.data(), before.size() * sizeof(double)), 0) << f.name;
        const MonitorResult again = call_monitor(f.monitor, 300.0, 1e5, s.z, s.idx);
        EXPECT_EQ(again.phi, reference.phi) << f.name;
        EXPECT_EQ(again.v, reference.v) << f.name;
    }
}

// One rule for a mixture call: phase 1 or 2, each component once, mole
// fractions finite, not negative and summing to 1 within 1e-9.
TEST(ArgumentValidation, MixtureCallsFollowOneRule) {
    const struct {
        const char *what;
        std::int64_t kvl;
        std::vector<double> z;
        bool polymer_twice, accepted;
    } cases[] = {
        {"phase 0", 0, {0.1, 0.9}, false, false},
        {"phase 3", 3, {0.1, 0.9}, false, false},
        {"phase -1", -1, {0.1, 0.9}, false, false},
        {"fractions summing to 10", 2, {1.0, 9.0}, false, false},
        {"a negative fraction", 2, {1.2, -0.2}, false, false},
        {"a fraction not a number", 2, {std::nan(""), 0.9}, false, false},
        {"a component listed twice", 2, {0.5, 0.5}, true, false},
        {"a sum off by 5e-10", 2, {0.1, 0.9 + 5e-10}, false, true},
        {"the vapour", 1, {0.1, 0.9}, false, true},
    };
    for (const Family &f : kFamilies) {
        PolymerSolution s;
        for (const auto &c : cases) {
            CallOptions o;
            o.kvl = c.kvl;
            const MonitorResult r = call_monitor(f.monitor, 400.0, 1e4, c.z, {s.ps, c.polymer_twice ? s.ps : s.tol}, o);
            EXPECT_EQ(c.accepted ? r.kstat == 1 && std::isfinite(r.v) : refused(r), true) << f.name << ": " << c.what;
        }
    }
}

}  // namespace
}  // namespace keld::testing

namespace keld::testing {
namespace {

// N beyond NC, up to the 64-bit limit: refused at once, PHI(1..NC) NaN and nothing written beyond NC
// (a refusal used to write, or run through, all N positions the caller claimed).
TEST(ArgumentValidation, AnAbsurdComponentCountIsRefusedAtOnce) {
    PolymerSolution s;
    const std::int64_t nc = s.host.component_count();
    for (MonitorFn monitor : {KELD_ESSLP, KELD_ESPCSF, KELD_PSAFM1}) {
        for (std::int64_t n : {nc + 1, std::int64_t{1} << 40, std::numeric_limits<std::int64_t>::max()}) {
            std::vector<double> phi(static_cast<std::size_t>(nc) + 4, kUnwritten), z(phi.size(), 0.5);
            std::vector<std::int64_t> idx(phi.size(), s.tol);
            double h = kUnwritten, other = kUnwritten;
            const double t = 300.0, p = 1e5;
            const std::int64_t kwork = 0, kspare = 0, kvl = 2, one = 1, kds = 1, kdiag = 0, kopt = 0;
            std::int64_t kstat = 1;
            monitor(&t, &p, z.data(), &n, idx.data(), &kwork, &kspare, &kvl, &one, &one, &one, &one, &one, &kds,
                    &kdiag, phi.data(), &h, &other, &other, &other, &other, &other, &other, &other, &other, &kstat,
                    &kopt);
            EXPECT_EQ(kstat, 0) << n;
            EXPECT_TRUE(std::isnan(h)) << n;
            for (std::size_t k = 0; k < phi.size(); ++k)
                EXPECT_EQ(std::isnan(phi[k]), k < static_cast<std::size_t>(nc)) << n << ", PHI(" << k + 1 << ")";
        }
    }
}

}  // namespace
}  // namespace keld::testing

namespace keld::testing {
namespace {

// KELD_SFTHLP has no status output: for a KWORK whose work area (12 NC + 3 NC^2
// words) does not lie in the host's work block (negative, past the block, near
// INT64_MAX, where 2680 + KWORK used to overflow) it hands out position 0 for
// the work vectors and the store positions as always.
TEST(ArgumentValidation, ThePositionServiceNamesNoWorkVectorsForAnImpossibleWorkArea) {
    PolymerSolution s;
    const std::int64_t nc = s.host.component_count(), area = 12 * nc + 3 * nc * nc, block = s.host.work_words();
    const std::int64_t big = std::numeric_limits<std::int64_t>::max();
    constexpr int kWorkPositions[] = {8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 22, 23, 24};
    auto positions = [](std::int64_t kwork) {
        std::vector<std::int64_t> p(30, -7);
        const std::int64_t kspare = 0;
        KELD_SFTHLP(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7], &p[8], &p[9], &p[10], &p[11], &p[12],
                    &p[13], &p[14], &p[15], &p[16], &p[17], &p[18], &p[19], &p[20], &p[21], &p[22], &p[23], &p[24],
                    &kwork, &kspare, &p[27], &p[28], &p[29]);
        return p;
    };
    const std::vector<std::int64_t> first = positions(0);
    EXPECT_EQ(first[8], s.host.work_offset());
    EXPECT_EQ(positions(block - area)[24], s.host.work_offset() + block - area + 11 * nc + 3 * nc * nc);
    for (const std::int64_t kwork : {block - area + 1, std::int64_t{-1}, big, big - 2680, big - area,
                                     std::numeric_limits<std::int64_t>::min()}) {
        const std::vector<std::int64_t> p = positions(kwork);
        std::vector<std::int64_t> expected = first;
        for (int k : kWorkPositions) expected[k] = 0;
        EXPECT_EQ(p, expected) << "KWORK " << kwork;
    }
}

}  // namespace
}  // namespace keld::testing
