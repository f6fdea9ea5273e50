// Calls a 27-argument monitor as a simulator would (everything by pointer,
// 64-bit integers) and collects its outputs.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "keld/keld.h"

namespace keld::testing {

using MonitorFn = void (*)(KELD_MONITOR_ARGS);

struct MonitorResult {
    std::vector<double> phi, dphi;
    double h, s, g, v, dh, ds, dg, dv;
    std::int64_t kstat = 1;
};

struct MonitorArgs {
    double t = 300.0, p = 1.0e5;
    std::vector<std::int64_t> idx{1};
    std::vector<double> z{1.0};
    std::int64_t kvl = 2;
    std::array<std::int64_t, 5> flags{3, 3, 3, 3, 3};
    std::int64_t kds = 1, kwork = 0, kdiag = 4, kopt = 0;
};

inline MonitorResult call_monitor(MonitorFn fn, const MonitorArgs &a) {
    constexpr double kUntouched = -12345.0;
    MonitorResult r;
    const std::int64_t n = static_cast<std::int64_t>(a.idx.size());
    r.phi.assign(a.idx.size(), kUntouched);
    r.dphi.assign(a.idx.size(), kUntouched);
    r.h = r.s = r.g = r.v = r.dh = r.ds = r.dg = r.dv = kUntouched;
    const std::int64_t kspare = 0;
    fn(&a.t, &a.p, a.z.data(), &n, a.idx.data(), &a.kwork, &kspare, &a.kvl, &a.flags[0], &a.flags[1], &a.flags[2],
       &a.flags[3], &a.flags[4], &a.kds, &a.kdiag, r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds,
       &r.dg, &r.dv, &r.kstat, &a.kopt);
    return r;
}

inline constexpr double kUntouchedOutput = -12345.0;

}  // namespace keld::testing
