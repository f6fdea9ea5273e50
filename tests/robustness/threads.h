// Calls from several threads at once: a runner that starts the threads
// together, and the comparison with single-threaded results (every output
// bit, KSTAT, every ln φ).
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <latch>
#include <thread>
#include <vector>

#include "support/monitor_call.h"

namespace keld::testing {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr int kThreadRounds = 60;  // instrumented builds are slow; ThreadSanitizer sees a race in few rounds
#else
inline constexpr int kThreadRounds = 3000;
#endif
inline constexpr int kThreads = 4;

inline bool same_bits(const std::vector<double> &a, const std::vector<double> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

inline bool same(const MonitorResult &a, const MonitorResult &b) {
    const double x[] = {a.h, a.s, a.g, a.v, a.dh, a.ds, a.dg, a.dv};
    const double y[] = {b.h, b.s, b.g, b.v, b.dh, b.ds, b.dg, b.dv};
    return a.kstat == b.kstat && std::memcmp(x, y, sizeof x) == 0 && same_bits(a.phi, b.phi) &&
           same_bits(a.dphi, b.dphi);
}

// Runs `body(thread, round)` on `threads` threads started together; counts, per
// thread, the rounds it returned false.
template <class Body>
std::vector<int> on_threads(int threads, int rounds, Body &&body) {
    std::vector<int> wrong(static_cast<std::size_t>(threads), 0);
    std::latch start(threads);
    std::vector<std::thread> running;
    for (int k = 0; k < threads; ++k)
        running.emplace_back([&, k] {
            start.arrive_and_wait();
            for (int round = 0; round < rounds; ++round) wrong[k] += body(k, round) ? 0 : 1;
        });
    for (std::thread &t : running) t.join();
    return wrong;
}

// One call of a family, made by thread `thread` in the work area (or with the
// arrays) of that thread.
using ThreadCall = std::function<MonitorResult(int thread)>;

// Every call first on one thread, then from kThreads threads at once, each
// walking the calls in an order of its own (odd threads backwards, each from
// its own start): the number of calls per thread whose result differs.
inline std::vector<int> wrong_results_on_threads(const std::vector<ThreadCall> &calls, int rounds = kThreadRounds) {
    std::vector<MonitorResult> expected;
    for (const ThreadCall &call : calls) expected.push_back(call(0));
    const std::size_t n = calls.size();
    return on_threads(kThreads, rounds, [&](int thread, int round) {
        const std::size_t step = static_cast<std::size_t>(round + thread) % n;
        const std::size_t i = thread % 2 == 0 ? step : n - 1 - step;
        return same(calls[i](thread), expected[i]);
    });
}

inline const std::vector<int> kNoneWrong(kThreads, 0);

}  // namespace keld::testing
