// Calls from several threads on one installed reference host, each with its
// own work area, of the monitors that read their parameters from the host's
// store (Sanchez-Lacombe, PC-SAFT, the stored-parameter SAFT monitor and the
// cubic): every call gives exactly the single-threaded result, and the first
// calls, which complete missing values in the store, complete each once. (The
// monitors whose arrays are arguments: threads_argument_test.cpp; the case
// layer's calls from several threads: tests/case/case_many_test.cpp and
// python/tests/test_parallel.py.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cubic/cubic_fixture.h"
#include "robustness/systems.h"
#include "robustness/threads.h"

namespace keld::testing {
namespace {

// A 27-argument monitor's calls, thread k in work area k.
std::vector<ThreadCall> monitor27_calls(MonitorFn monitor, std::int64_t stride,
                                        const std::vector<std::tuple<double, double, std::vector<double>,
                                                                     std::vector<std::int64_t>, std::int64_t,
                                                                     std::int64_t>> &states) {
    std::vector<ThreadCall> calls;
    for (const auto &[t, p, z, idx, kvl, kds] : states)
        calls.push_back([=](int thread) {
            CallOptions o;
            o.kvl = kvl;
            o.kds = kds;
            o.kwork = thread * stride;
            return call_monitor(monitor, t, p, z, idx, o);
        });
    return calls;
}

// Both families, both phases, a polymer averaged over its segment (whose source
// and pseudo-critical values every call publishes), data sets whose working
// copies differ, and a cold liquid (the dense-loop scan).
TEST(Threads, SanchezLacombeAndPcsaftGiveTheSingleThreadedResults) {
    PolymerSolution s;
    s.hex = add_pcsaft_fluid(s.host, kHexane);  // a second data set with other energies
    s.host.set_data_set_count(2);
    for (const auto &[i, f] : {std::pair{s.tol, kTolueneSl}, {s.ps, kPolystyreneSl}, {s.sty, kPolystyreneSl}}) {
        s.host.set_unary("SLTSTR", i, 1.05 * f.t_star, 2);
        s.host.set_unary("SLPSTR", i, f.p_star, 2);
        s.host.set_unary("SLRSTR", i, f.rho_star, 2);
    }
    for (const std::int64_t i : {s.tol, s.hex, s.sty})
        for (const char *name : {"PCSFTM", "PCSFTR", "PCSFTV", "PCSFTU"})
            s.host.set_unary(name, i, s.host.unary(name, i, 1) * (name[5] == 'U' ? 1.05 : 1.0), 2);
    const std::int64_t stride = s.host.reserve_work_areas(kThreads);
    s.host.install();
    std::vector<ThreadCall> calls = monitor27_calls(KELD_ESPCSF, stride,
                                                    {{300.0, 1e5, {0.05, 0.95}, {s.ps, s.tol}, 2, 1},
                                                     {420.0, 2e5, {0.3, 0.7}, {s.hex, s.tol}, 1, 2},
                                                     {150.0, 1e5, {1.0}, {s.tol}, 2, 1}});
    for (ThreadCall &c : monitor27_calls(KELD_ESSLP, stride,
                                         {{350.0, 1e6, {0.05, 0.95}, {s.ps, s.tol}, 2, 2},
                                          {300.0, 1e5, {0.02, 0.98}, {s.ps, s.tol}, 2, 1},
                                          {380.0, 1e4, {1.0}, {s.tol}, 1, 1}}))
        calls.push_back(std::move(c));
    for (const ThreadCall &c : calls) ASSERT_EQ(c(0).kstat, 1);
    EXPECT_EQ(wrong_results_on_threads(calls), kNoneWrong);
}

// Polyethylene in n-hexane: the polymer once from its own parameters (data set
// 1), once from its ethylene segment (data set 2, where its own v00 and u0/k
// are missing), so that the source flag and the cross energies every call
// publishes differ between the data sets.
struct StoredSaft : System {
    StoredSaft() {
        saft_polyethylene_hexane(*this);
        host.set_data_set_count(2);
        for (const std::int64_t i : {hex, sty})
            for (const char *name : {"SAFTM", "SAFTV", "SAFTU", "SAFTR"})
                host.set_unary(name, i, host.unary(name, i, 1) * (name[4] == 'U' ? 1.04 : 1.0), 2);
        host.set_unary("SAFTR", ps, host.unary("SAFTR", ps, 1), 2);
        const double kij[] = {0.02};
        host.set_binary_coefficients("SFTKIJ", hex, ps, kij, 1);
        host.set_binary_coefficients("SFTKIJ", ps, hex, kij, 1);
    }
};

TEST(Threads, StoredParameterSaftGivesTheSingleThreadedResults) {
    StoredSaft s;
    const std::int64_t stride = s.host.reserve_work_areas(kThreads);
    s.host.install();
    const std::vector<ThreadCall> calls =
        monitor27_calls(KELD_PSAFM1, stride,
                        {{420.0, 1e6, s.z, s.idx, 2, 1}, {420.0, 1e6, s.z, s.idx, 2, 2},
                         {460.0, 2e5, {0.5, 0.5}, {s.hex, s.ps}, 1, 2}, {300.0, 1e5, {1.0}, {s.hex}, 2, 1},
                         {500.0, 1e5, {1.0}, {s.hex}, 1, 2}});
    for (const ThreadCall &c : calls) ASSERT_EQ(c(0).kstat, 1);
    EXPECT_EQ(wrong_results_on_threads(calls), kNoneWrong);
}

MonitorResult as_monitor_result(const Es40Result &r) {
    MonitorResult m;
    m.phi = r.phi;
    m.dphi = r.dphi;
    m.h = r.h, m.s = r.s, m.g = r.g, m.v = r.v, m.dh = r.dh, m.ds = r.ds, m.dg = r.dg, m.dv = r.dv;
    m.kstat = r.kret;
    return m;
}

// Every mixing rule, excess-Gibbs models with and without temperature terms,
// UNIFAC (the group work), both phases and a polymer solution; each call
// writes its request flags into HostEosLog.
TEST(Threads, CubicGivesTheSingleThreadedResults) {
    refhost::Case c = cubic_case();
    const std::int64_t stride = c.host->reserve_work_areas(kThreads);
    c.host->install();
    std::vector<Es40> states(6);
    states[0].idx = {1, 2}, states[0].z = {0.4, 0.6};
    states[1].idx = {1, 2, 3}, states[1].z = {0.2, 0.3, 0.5}, states[1].krule = 2, states[1].kmodel = 5;
    states[2].idx = {2, 3}, states[2].z = {0.5, 0.5}, states[2].krule = 3, states[2].kmodel = 6;
    states[3].idx = {1, 3}, states[3].z = {0.3, 0.7}, states[3].krule = 4, states[3].kmodel = 7, states[3].kvl = 1,
    states[3].t = 420.0;
    states[4].idx = {5, 7}, states[4].z = {0.9, 0.1}, states[4].krule = 2, states[4].kmodel = 2;
    states[5].idx = {3}, states[5].flags = {1, 0, 2, 0, 1}, states[5].t = 250.0;
    std::vector<ThreadCall> calls;
    for (const Es40 &state : states)
        calls.push_back([state, stride](int thread) {
            Es40 a = state;
            a.kwork = thread * stride;
            return as_monitor_result(call_es40(a));
        });
    for (const ThreadCall &call : calls) ASSERT_EQ(call(0).kstat, 1);
    EXPECT_EQ(wrong_results_on_threads(calls), kNoneWrong);
}

// Missing values that the first calls complete in the host's store (the
// cubic's critical constants, the stored-parameter SAFT monitor's e/k), met by
// several threads at once on a fresh host: every call computes with the
// completed values, and each value is reported once.
TEST(Threads, FirstCallsCompleteEachMissingValueOnce) {
    constexpr int kFreshHosts = 12;
    std::int64_t wrong = 0;
    for (int round = 0; round < kFreshHosts; ++round) {
        refhost::Case c = cubic_case();
        refhost::ReferenceHost &h = *c.host;
        h.set_unary("TCRKS", 2, refhost::ReferenceHost::missing_value);
        h.set_unary("OMGRKS", 2, refhost::ReferenceHost::missing_value);
        const std::int64_t stride = h.reserve_work_areas(kThreads);
        h.install();
        h.clear_captured_messages();
        std::vector<MonitorResult> results(kThreads);
        on_threads(kThreads, 1, [&](int thread, int) {
            Es40 a;
            a.idx = {2};
            a.kwork = thread * stride;
            results[thread] = as_monitor_result(call_es40(a));
            return true;
        });
        const std::vector<std::string> lines = h.captured_messages();
        for (const char *name : {"TCRKS AND ITS DEFAULT", "OMGRKS AND ITS DEFAULT"})
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                    [&](const std::string &l) { return l.find(name) != std::string::npos; }),
                      1)
                << name;
        Es40 again;
        again.idx = {2};
        const MonitorResult expected = as_monitor_result(call_es40(again));
        ASSERT_EQ(expected.kstat, 1);
        EXPECT_EQ(h.unary("TCRKS", 2), 507.4);
        for (const MonitorResult &r : results) wrong += same(r, expected) ? 0 : 1;
    }
    EXPECT_EQ(wrong, 0);

    for (int round = 0; round < kFreshHosts; ++round) {
        StoredSaft s;
        s.host.set_unary("SAFTE", s.hex, refhost::ReferenceHost::missing_value);
        const std::int64_t stride = s.host.reserve_work_areas(kThreads);
        s.host.install();
        std::vector<MonitorResult> results(kThreads);
        auto call = [&](int thread) {
            CallOptions o;
            o.kwork = thread * stride;
            return call_monitor(KELD_PSAFM1, 420.0, 1e6, s.z, s.idx, o);
        };
        on_threads(kThreads, 1, [&](int thread, int) {
            results[thread] = call(thread);
            return true;
        });
        EXPECT_EQ(s.host.unary("SAFTE", s.hex), 10.0);
        const MonitorResult expected = call(0);
        ASSERT_EQ(expected.kstat, 1);
        for (const MonitorResult &r : results) wrong += same(r, expected) ? 0 : 1;
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace keld::testing
