// Per-call cost of the property monitors as a simulator sees it: one call of
// the exported routine, the host's density-root search included. Each case
// also reports how many model evaluations the host's root routines asked for
// in one call (root_evals; the temperature derivatives need a second root).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/pcsaft_systems.h"

namespace {

using namespace keld::testing;
using keld::refhost::ReferenceHost;

constexpr double kT = 298.15, kP = 1e5;

struct Case {
    std::unique_ptr<ReferenceHost> host = std::make_unique<ReferenceHost>();
    std::vector<std::int64_t> idx;
    std::vector<double> z;
};

Case hexane() {
    Case c;
    const std::int64_t i = add_pcsaft_fluid(*c.host, kHexane);
    set_sl_parameters(*c.host, i, kHexaneSl);
    c.idx = {i};
    c.z = {1.0};
    return c;
}

Case five_solvents() {
    Case c;
    for (const PcsaftFluid &f : {kMethane, kEthane, kPropane, kHexane, kToluene})
        c.idx.push_back(add_pcsaft_fluid(*c.host, f));
    c.z = {0.05, 0.10, 0.15, 0.30, 0.40};
    return c;
}

// Polystyrene (MWN 1e5, PC-SAFT parameters from its styrene segment) in
// toluene at 30 wt % polymer; apparent basis: moles of styrene units.
Case polystyrene_in_toluene() {
    Case c;
    ReferenceHost &h = *c.host;
    const std::int64_t sty = add_pcsaft_segment(h, kStyrene);
    const std::int64_t ps = add_homopolymer(h, "PS", sty, kStyrene.mw, 1e5);
    const std::int64_t tol = add_pcsaft_fluid(h, kToluene);
    set_sl_parameters(h, ps, kPolystyreneSl);
    set_sl_parameters(h, tol, kTolueneSl);
    const double n_ps = 0.3 / kStyrene.mw, n_tol = 0.7 / kToluene.mw;
    c.idx = {ps, tol};
    c.z = {n_ps / (n_ps + n_tol), n_tol / (n_ps + n_tol)};
    return c;
}

void run(benchmark::State &state, Case (*make)(), MonitorFn monitor, Flags flags) {
    Case c = make();
    c.host->install();
    CallOptions args;
    args.kvl = 2;
    args.flags = flags;
    const std::int64_t n = static_cast<std::int64_t>(c.idx.size()), kspare = 0;
    std::vector<double> phi(c.idx.size()), dphi(c.idx.size());
    double h, s, g, v, dh, ds, dg, dv;
    std::int64_t kstat = 1;
    const double t = kT, p = kP;
    for (auto _ : state) {
        monitor(&t, &p, c.z.data(), &n, c.idx.data(), &args.kwork, &kspare, &args.kvl, &args.flags.phi,
                &args.flags.h, &args.flags.s, &args.flags.g, &args.flags.v, &args.kds, &args.kdiag, phi.data(), &h,
                &s, &g, &v, dphi.data(), &dh, &ds, &dg, &dv, &kstat, &args.kopt);
        benchmark::DoNotOptimize(phi.data());
        benchmark::ClobberMemory();
    }
    {
        RootRecorder recorder(*c.host);
        const MonitorResult r = call_monitor(monitor, t, p, c.z, c.idx, args);
        state.counters["root_evals"] = recorder.evaluations();
        if (r.kstat != 1) state.SkipWithError("density root failed");
    }
}

const Flags kAll{3, 3, 3, 3, 3};
const Flags kLnPhiOnly{1, 0, 0, 0, 0};

}  // namespace

// On a shared machine the fastest of several repetitions is the steadiest
// figure: run with --benchmark_repetitions=5 and read the _min rows.
static double fastest(const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); }

#define KELD_BENCH(name, make, monitor, flags) \
    BENCHMARK_CAPTURE(run, name, make, monitor, flags)->ComputeStatistics("min", fastest)

KELD_BENCH(pcsaft_hexane_all, hexane, KELD_ESPCSF, kAll);
KELD_BENCH(pcsaft_five_solvents_all, five_solvents, KELD_ESPCSF, kAll);
KELD_BENCH(pcsaft_ps_toluene_all, polystyrene_in_toluene, KELD_ESPCSF, kAll);
KELD_BENCH(pcsaft_hexane_lnphi, hexane, KELD_ESPCSF, kLnPhiOnly);
KELD_BENCH(pcsaft_five_solvents_lnphi, five_solvents, KELD_ESPCSF, kLnPhiOnly);
KELD_BENCH(pcsaft_ps_toluene_lnphi, polystyrene_in_toluene, KELD_ESPCSF, kLnPhiOnly);
KELD_BENCH(sl_hexane_all, hexane, KELD_ESSLP, kAll);
KELD_BENCH(sl_ps_toluene_all, polystyrene_in_toluene, KELD_ESSLP, kAll);
KELD_BENCH(sl_hexane_lnphi, hexane, KELD_ESSLP, kLnPhiOnly);
KELD_BENCH(sl_ps_toluene_lnphi, polystyrene_in_toluene, KELD_ESSLP, kLnPhiOnly);

BENCHMARK_MAIN();
