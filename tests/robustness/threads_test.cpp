// Calls from two threads on one installed reference host, each with its own
// work area, give exactly the single-threaded results. (The case layer's
// calls from several threads: python/tests/test_properties.py.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <latch>
#include <thread>
#include <vector>

#include "robustness/systems.h"

namespace keld::testing {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kRounds = 100;  // instrumented builds are slow; ThreadSanitizer sees a race in few rounds
#else
constexpr int kRounds = 6000;
#endif

// Runs `body(thread, round)` on two threads started together; counts the rounds it returned false.
template <class Body>
std::vector<int> on_two_threads(Body &&body) {
    std::vector<int> wrong(2, 0);
    std::latch start(2);
    std::vector<std::thread> threads;
    for (int k = 0; k < 2; ++k)
        threads.emplace_back([&, k] {
            start.arrive_and_wait();
            for (int round = 0; round < kRounds; ++round) wrong[k] += body(k, round) ? 0 : 1;
        });
    for (std::thread &t : threads) t.join();
    return wrong;
}

bool same(const MonitorResult &a, const MonitorResult &b) {
    const double x[] = {a.phi[0], a.dphi[0], a.h, a.s, a.g, a.v, a.dh, a.ds, a.dg, a.dv};
    const double y[] = {b.phi[0], b.dphi[0], b.h, b.s, b.g, b.v, b.dh, b.ds, b.dg, b.dv};
    return a.kstat == b.kstat && std::memcmp(x, y, sizeof x) == 0;
}

// Both families, both phases, a polymer averaged over its segment (whose source
// and pseudo-critical values every call publishes), data sets whose working
// copies differ, and a cold liquid (the dense-loop scan).
TEST(Threads, CallsOnOneHostGiveTheSingleThreadedResults) {
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
    s.host.install();
    const std::int64_t area = 18 * s.host.component_count() + 7 * s.host.component_count() * s.host.component_count();
    ASSERT_GE(s.host.work_words(), 2 * area);
    struct Call {
        MonitorFn monitor;
        double t, p;
        std::vector<double> z;
        std::vector<std::int64_t> idx;
        std::int64_t kvl, kds;
    };
    const std::vector<Call> calls = {
        {KELD_ESPCSF, 300.0, 1e5, {0.05, 0.95}, {s.ps, s.tol}, 2, 1}, {KELD_ESPCSF, 420.0, 2e5, {0.3, 0.7}, {s.hex, s.tol}, 1, 2},
        {KELD_ESPCSF, 150.0, 1e5, {1.0}, {s.tol}, 2, 1},              {KELD_ESSLP, 350.0, 1e6, {0.05, 0.95}, {s.ps, s.tol}, 2, 2},
        {KELD_ESSLP, 300.0, 1e5, {0.02, 0.98}, {s.ps, s.tol}, 2, 1},  {KELD_ESSLP, 380.0, 1e4, {1.0}, {s.tol}, 1, 1},
    };
    auto run = [&](const Call &c, std::int64_t kwork) {
        CallOptions o;
        o.kvl = c.kvl;
        o.kds = c.kds;
        o.kwork = kwork;
        return call_monitor(c.monitor, c.t, c.p, c.z, c.idx, o);
    };
    std::vector<MonitorResult> expected;
    for (const Call &c : calls) expected.push_back(run(c, 0));
    for (const MonitorResult &r : expected) ASSERT_EQ(r.kstat, 1);
    const std::vector<int> wrong = on_two_threads([&](int thread, int round) {
        // The threads walk the calls in opposite orders, each in its own work area.
        const std::size_t i = thread == 0 ? round % calls.size() : calls.size() - 1 - round % calls.size();
        return same(run(calls[i], thread * area), expected[i]);
    });
    EXPECT_EQ(wrong, (std::vector<int>{0, 0}));
}

}  // namespace
}  // namespace keld::testing
