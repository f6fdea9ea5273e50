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
#include <utility>
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

// One rule for what a mixture call must be: phase 1 or 2, each component once,
// mole fractions finite, not negative and summing to 1 (within 1e-9).
struct CallCase {
    const char *what;
    std::int64_t kvl;
    std::vector<double> z;
    bool repeat_polymer;  // list the polymer twice instead of polymer and toluene
    bool accepted;
};

const CallCase kCallCases[] = {
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

TEST(ArgumentValidation, MixtureCallsFollowOneRule) {
    for (const Family &f : kFamilies) {
        PolymerSolution s;
        for (const CallCase &c : kCallCases) {
            CallOptions o;
            o.kvl = c.kvl;
            const std::vector<std::int64_t> idx = {s.ps, c.repeat_polymer ? s.ps : s.tol};
            const MonitorResult r = call_monitor(f.monitor, 400.0, 1e4, c.z, idx, o);
            if (c.accepted) {
                EXPECT_EQ(r.kstat, 1) << f.name << ": " << c.what;
                EXPECT_TRUE(std::isfinite(r.v)) << f.name << ": " << c.what;
            } else {
                EXPECT_TRUE(refused(r)) << f.name << ": " << c.what;
            }
        }
    }
}

// The vector forms evaluate each element alone, so a component may come back
// (the same fluid at several pressures): N may exceed NC.
TEST(ArgumentValidation, VectorFormsTakeAComponentMoreThanOnce) {
    using VectorFn = void (*)(KELD_VECTOR_ARGS);
    const std::pair<const char *, std::pair<VectorFn, MonitorFn>> forms[] = {
        {"sanchez-lacombe", {KELD_ESSLPA, KELD_ESSLP}}, {"pcsaft", {KELD_ESPCSA, KELD_ESPCSF}}};
    for (const auto &[name, fns] : forms) {
        PolymerSolution s;
        const std::vector<std::int64_t> idx = {s.tol, s.tol, s.tol, s.tol};  // N = 4 > NC = 3
        const std::vector<double> p = {1e3, 1e4, 1e5, 1e6};
        const double t = 350.0;
        const std::int64_t n = 4, kwork = 0, kspare = 0, kvl = 2, f1 = 1, f0 = 0, kds = 1, kdiag = 4, kopt = 0;
        std::vector<double> phi(4), h(4), sv(4), g(4), v(4), dphi(4), dh(4), ds(4), dg(4), dv(4);
        std::int64_t kstat = 1;
        fns.first(&t, p.data(), &n, idx.data(), &kwork, &kspare, &kvl, &f1, &f0, &f0, &f0, &f1, &kds, &kdiag,
                  phi.data(), h.data(), sv.data(), g.data(), v.data(), dphi.data(), dh.data(), ds.data(), dg.data(),
                  dv.data(), &kstat, &kopt);
        EXPECT_EQ(kstat, 1) << name;
        for (std::size_t k = 0; k < 4; ++k) {
            CallOptions o;
            o.flags = {1, 0, 0, 0, 1};
            const MonitorResult one = call_monitor(fns.second, t, p[k], {1.0}, {s.tol}, o);
            EXPECT_EQ(v[k], one.v) << name << " " << p[k];
            EXPECT_EQ(phi[k], one.phi[0]) << name << " " << p[k];
        }
    }
}

}  // namespace
}  // namespace keld::testing
