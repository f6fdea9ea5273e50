// Calls from several threads on one installed reference host, each with its
// own work area, give exactly the single-threaded results; and the case
// interface evaluates states of one case from several threads, each state with
// its own messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <latch>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "keld/case.h"
#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/pcsaft_systems.h"

namespace keld::testing {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kRounds = 100;  // instrumented builds are slow; ThreadSanitizer sees races in few rounds
#else
constexpr int kRounds = 2000;
#endif
constexpr int kThreads = 2;
constexpr std::int64_t kComponents = 4;
constexpr std::int64_t kWorkWords = 18 * kComponents + 7 * kComponents * kComponents;  // the larger layout

// Polystyrene (PC-SAFT parameters from its segment), toluene and n-hexane, with
// room for one work area per thread. The parameters differ between data sets 1
// and 2, so that calls of the two data sets publish different working copies.
struct SharedHost {
    refhost::ReferenceHost host{refhost::HostOptions{2, kThreads * kWorkWords}};
    std::int64_t sty, ps, tol, hex;

    SharedHost() {
        sty = host.add_component("STY", refhost::ComponentKind::segment, kStyrene.mw);
        ps = add_homopolymer(host, "PS", sty, kStyrene.mw, 1e5);
        tol = host.add_component("TOLUENE", refhost::ComponentKind::ordinary, kToluene.mw);
        hex = host.add_component("NC6", refhost::ComponentKind::ordinary, kHexane.mw);
        for (std::int64_t d : {1, 2}) {
            const double scale = d == 1 ? 1.0 : 1.05;
            for (const auto &[i, f] : {std::pair{sty, kPolystyreneSl}, {ps, kPolystyreneSl}, {tol, kTolueneSl},
                                       {hex, kHexaneSl}}) {
                host.set_unary("SLTSTR", i, f.t_star * scale, d);
                host.set_unary("SLPSTR", i, f.p_star, d);
                host.set_unary("SLRSTR", i, f.rho_star, d);
            }
            for (const auto &[i, f] : {std::pair{tol, kToluene}, {hex, kHexane}}) {
                host.set_unary("PCSFTM", i, f.m, d);
                host.set_unary("PCSFTV", i, f.sigma, d);
                host.set_unary("PCSFTU", i, f.eps * scale, d);
                host.set_component_value("TC", i, f.tc);
            }
            host.set_unary("PCSFTR", sty, kStyrene.r, d);
            host.set_unary("PCSFTV", sty, kStyrene.sigma, d);
            host.set_unary("PCSFTU", sty, kStyrene.eps * scale, d);
        }
        host.install();
    }
};

struct Call {
    MonitorFn monitor;
    double t, p;
    std::vector<double> z;
    std::vector<std::int64_t> idx;
    std::int64_t kvl, kds;
};

// A mix of what differs between calls: family, phase, data set, polymer
// averaged from its segment, temperature derivatives, a cold liquid.
std::vector<Call> calls_of(const SharedHost &s) {
    return {
        {KELD_ESPCSF, 300.0, 1e5, {0.05, 0.95}, {s.ps, s.tol}, 2, 1},
        {KELD_ESPCSF, 420.0, 2e5, {0.3, 0.7}, {s.hex, s.tol}, 1, 2},
        {KELD_ESPCSF, 150.0, 1e5, {1.0}, {s.tol}, 2, 1},
        {KELD_ESSLP, 350.0, 1e6, {0.05, 0.95}, {s.ps, s.tol}, 2, 2},
        {KELD_ESSLP, 380.0, 1e4, {0.5, 0.5}, {s.hex, s.tol}, 1, 1},
        {KELD_ESSLP, 300.0, 1e5, {0.02, 0.98}, {s.ps, s.hex}, 2, 1},
    };
}

MonitorResult run(const Call &c, std::int64_t kwork) {
    CallOptions o;
    o.kvl = c.kvl;
    o.kds = c.kds;
    o.kwork = kwork;
    return call_monitor(c.monitor, c.t, c.p, c.z, c.idx, o);
}

bool same(const MonitorResult &a, const MonitorResult &b) {
    auto bits = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    bool equal = a.kstat == b.kstat && a.phi.size() == b.phi.size();
    for (std::size_t k = 0; equal && k < a.phi.size(); ++k)
        equal = bits(a.phi[k], b.phi[k]) && bits(a.dphi[k], b.dphi[k]);
    for (const auto &[x, y] : {std::pair{a.h, b.h}, {a.s, b.s}, {a.g, b.g}, {a.v, b.v}, {a.dh, b.dh},
                               {a.ds, b.ds}, {a.dg, b.dg}, {a.dv, b.dv}})
        equal = equal && bits(x, y);
    return equal;
}

TEST(Threads, CallsOnOneHostGiveTheSingleThreadedResults) {
    SharedHost s;
    const std::vector<Call> calls = calls_of(s);
    std::vector<MonitorResult> expected;
    for (const Call &c : calls) {
        expected.push_back(run(c, 0));
        ASSERT_EQ(expected.back().kstat, 1);
    }
    std::vector<int> wrong(kThreads, 0);
    std::vector<std::thread> threads;
    std::latch start(kThreads);
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&, k] {
            start.arrive_and_wait();
            for (int round = 0; round < kRounds; ++round)
                for (std::size_t c = 0; c < calls.size(); ++c) {
                    // The threads walk the calls in opposite orders.
                    const std::size_t i = k % 2 == 0 ? c : calls.size() - 1 - c;
                    if (!same(run(calls[i], k * kWorkWords), expected[i])) ++wrong[k];
                }
        });
    }
    for (std::thread &t : threads) t.join();
    for (int k = 0; k < kThreads; ++k) EXPECT_EQ(wrong[k], 0) << "thread " << k;
}

// Through the case interface (what the command line and Python use): states
// of one case evaluated from two threads; a failing state's messages stay with
// it, and the ordinary state has none.
TEST(Threads, CaseStatesFromTwoThreadsKeepTheirOwnMessages) {
    refhost::Case c = refhost::parse_case(R"json({
      "components": [{"id": "TOLUENE", "MW / (kg/kmol)": 92.141}],
      "parameters": [{"sanchez-lacombe": {"SLTSTR / K": {"TOLUENE": 543}, "SLPSTR / MPa": {"TOLUENE": 402},
                                          "SLRSTR / (kg/m3)": {"TOLUENE": 966}}}],
      "state_defaults": {"model": "sanchez-lacombe", "mole_fractions": {"TOLUENE": 1}, "phase": "liquid"},
      "states": [{"T / K": 300, "P / Pa": 1e5}, {"T / K": 50, "P / Pa": 1e9}]
    })json", "threads.json");
    const refhost::StateResult ok = refhost::evaluate(*c.host, c.states[0]);
    const refhost::StateResult failing = refhost::evaluate(*c.host, c.states[1]);
    ASSERT_EQ(ok.status, 1);
    ASSERT_EQ(failing.status, 0);
    ASSERT_FALSE(failing.messages.empty());
    std::vector<int> wrong(2, 0);
    std::vector<std::thread> threads;
    std::latch start(2);
    for (int k = 0; k < 2; ++k) {
        threads.emplace_back([&, k] {
            start.arrive_and_wait();
            for (int round = 0; round < kRounds; ++round) {
                const refhost::StateResult r = refhost::evaluate(*c.host, c.states[k]);
                const refhost::StateResult &want = k == 0 ? ok : failing;
                if (r.status != want.status || r.messages != want.messages || std::memcmp(&r.v, &want.v, sizeof r.v) != 0)
                    ++wrong[k];
            }
        });
    }
    for (std::thread &t : threads) t.join();
    EXPECT_EQ(wrong[0], 0);
    EXPECT_EQ(wrong[1], 0);
}

}  // namespace
}  // namespace keld::testing
