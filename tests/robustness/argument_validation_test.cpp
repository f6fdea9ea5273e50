// Arguments a caller may get wrong, at the C interface of both 27-argument
// monitors: every one is refused (NaN in the requested outputs, KSTAT 0)
// before anything is written, and the store outside the call's work area is
// left as it was, so later calls still give the right answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <limits>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "robustness/systems.h"

namespace keld::testing {
namespace {

bool refused(const MonitorResult &r) {
    return r.kstat == 0 && std::isnan(r.phi[0]) && std::isnan(r.v) && std::isnan(r.dh);
}

// Words that a monitor call legitimately writes outside its work area: the
// polymer's parameter-source flags and pseudo-critical values, and the
// Sanchez-Lacombe working copies. Everything else must stay as it was.
bool same_except_published(const std::vector<double> &before, const std::vector<double> &after,
                           const refhost::ReferenceHost &host, std::int64_t ps) {
    std::vector<std::int64_t> published;
    for (const char *name : {"SLSRC", "PCSSRC", "TC", "PC", "TSTARL", "PSTARL", "DSTARL"})
        published.push_back(host.param_offset(name) + ps);
    for (std::size_t k = 0; k < before.size(); ++k) {
        const bool allowed =
            std::find(published.begin(), published.end(), static_cast<std::int64_t>(k) + 1) != published.end();
        if (!allowed && std::memcmp(&before[k], &after[k], sizeof(double)) != 0) return false;
    }
    return true;
}

TEST(ArgumentValidation, WorkAreaOutsideTheWorkBlockIsRefusedAndCorruptsNothing) {
    for (const Family &f : kFamilies) {
        PolymerSolution s;
        const MonitorResult reference = call_monitor(f.monitor, 300.0, 1e5, s.z, {s.ps, s.tol});
        ASSERT_EQ(reference.kstat, 1) << f.name;
        const std::vector<double> before = s.outside_work_area();
        const std::int64_t big = std::numeric_limits<std::int64_t>::max();
        for (std::int64_t kwork : {std::int64_t{-5}, std::int64_t{-60}, -s.host.work_offset() - 10, big, big - 3,
                                   std::numeric_limits<std::int64_t>::min(), s.host.work_words()}) {
            CallOptions o;
            o.kwork = kwork;
            EXPECT_TRUE(refused(call_monitor(f.monitor, 300.0, 1e5, s.z, {s.ps, s.tol}, o)))
                << f.name << " KWORK " << kwork;
        }
        EXPECT_TRUE(same_except_published(before, s.outside_work_area(), s.host, s.ps)) << f.name;
        const MonitorResult again = call_monitor(f.monitor, 300.0, 1e5, s.z, {s.ps, s.tol});
        EXPECT_EQ(again.kstat, 1);
        EXPECT_EQ(again.phi, reference.phi) << f.name;
        EXPECT_EQ(again.v, reference.v) << f.name;
    }
}

}  // namespace
}  // namespace keld::testing
