// Per-call cost of the associating PC-SAFT monitor KELD_PCSAF1 as a simulator sees it: one call of the
// exported routine with every value requested (ln phi, H, S, G, V) for a liquid at 298.15 K and 1 bar,
// the host's density-root search included. "cold": no density offered; "warm": the last call's
// density offered as the start of the root search (RHO in/out), as a host that keeps it would.
// Counters: root_evals, the model evaluations of one cold call's root search.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "keld/keld.h"
#include "support/pcsaf_systems.h"
#include "support/pcsaft_systems.h"

namespace {

using namespace keld::testing;

// Illustrative segment components of a copolymer: a styrene-like unit and a hydroxyl-bearing 2B unit.
constexpr AssocFluid kStyreneUnit{"STYU", 104.152, 1.97889, 4.1072, 267.0, kNone, kNone, 0, kNone, kNone};
constexpr AssocFluid kHydroxylUnit{"OHU", 44.05, 1.20, 3.30, 250.0, 2300.0, 0.02, 2, kNone, kNone};

PcsafCall methanol(PcsafSystem &s) {
    PcsafCall c;
    c.idx = {s.add(kMethanol2B)};
    c.z = {1.0};
    return c;
}
PcsafCall water_methanol(PcsafSystem &s) {
    PcsafCall c;
    c.idx = {s.add(kWater4C), s.add(kMethanol2B)};
    c.z = {0.5, 0.5};
    return c;
}
PcsafCall methanol_hexane(PcsafSystem &s) {
    PcsafCall c;
    c.idx = {s.add(kMethanol2B), s.add(kHexane0)};
    c.z = {0.3, 0.7};
    return c;
}
// A copolymer (MWN 10000, 60 wt % styrene units, 40 wt % hydroxyl units) at 5 wt % in methanol.
PcsafCall copolymer_in_methanol(PcsafSystem &s) {
    const auto a = s.add_segment(kStyreneUnit), b = s.add_segment(kHydroxylUnit);
    const auto me = s.add(kMethanol2B);
    const auto p = s.add_polymer("COPOLY", kStyreneUnit.mw, {{a, 6000.0}, {b, 4000.0}});
    const double n_p = 0.05 / kStyreneUnit.mw, n_me = 0.95 / kMethanol2B.mw;
    PcsafCall c;
    c.idx = {me, p};
    c.z = {n_me / (n_p + n_me), n_p / (n_p + n_me)};
    return c;
}

void run(benchmark::State &state, PcsafCall (*make)(PcsafSystem &), bool warm) {
    PcsafSystem sys;
    PcsafCall c = make(sys);
    c.flags = {1, 1, 1, 1, 1};
    c.tolerance = 1e-10;
    sys.host.install();
    const std::int64_t n = static_cast<std::int64_t>(c.idx.size()), nc = sys.nc(), kds = 1, unit = 77;
    const std::int64_t lwork = sys.work_needed(c);
    std::vector<double> work(static_cast<std::size_t>(lwork)), phi(c.idx.size()), dphi(c.idx.size());
    double h, s, g, v, dh, ds, dg, dv, rho = 0.0;
    std::int64_t status = 1;
    const auto &f = c.flags;
    for (auto _ : state) {
        if (!warm) rho = 0.0;
        KELD_PCSAF1(&c.t, &c.p, &n, &nc, &c.kvl, &f[0], &f[1], &f[2], &f[3], &f[4], &c.kdiag, c.options.data(),
                    &status, c.idx.data(), c.z.data(), sys.mw.data(), sys.tc.data(), sys.pc.data(), &kds,
                    sys.m.data(), sys.sigma.data(), sys.eps.data(), sys.types.data(), sys.eps_ab.data(),
                    sys.kappa_ab.data(), sys.dipole.data(), sys.dipolar_fraction.data(), phi.data(), &h, &s, &g, &v,
                    dphi.data(), &dh, &ds, &dg, &dv, sys.nseg.data(), &sys.lseg, sys.iseg.data(), sys.wseg.data(),
                    sys.kij.data(), sys.lij.data(), &c.tolerance, &c.method, &unit, &rho, &lwork, work.data(),
                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(phi.data());
        benchmark::ClobberMemory();
    }
    if (status != 1) state.SkipWithError("the call failed");
    RootRecorder recorder(sys.host);
    sys.call(c, lwork, false);
    state.counters["root_evals"] = recorder.evaluations();
}

double fastest(const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

#define KELD_ASSOC_BENCH(name, make, warm) \
    BENCHMARK_CAPTURE(run, name, make, warm)->ComputeStatistics("min", fastest)

KELD_ASSOC_BENCH(pcsaf_methanol_2B_cold, methanol, false);
KELD_ASSOC_BENCH(pcsaf_water_4C_methanol_2B_cold, water_methanol, false);
KELD_ASSOC_BENCH(pcsaf_methanol_hexane_cold, methanol_hexane, false);
KELD_ASSOC_BENCH(pcsaf_copolymer_in_methanol_cold, copolymer_in_methanol, false);
KELD_ASSOC_BENCH(pcsaf_methanol_2B_warm, methanol, true);
KELD_ASSOC_BENCH(pcsaf_water_4C_methanol_2B_warm, water_methanol, true);
KELD_ASSOC_BENCH(pcsaf_methanol_hexane_warm, methanol_hexane, true);
KELD_ASSOC_BENCH(pcsaf_copolymer_in_methanol_warm, copolymer_in_methanol, true);
