// Per-call cost of the cubic monitor KELD_ES40: a 5-component solvent liquid
// with van der Waals mixing and with MHV2 + UNIFAC, every flag 3 (all values
// and analytic temperature derivatives), the host's density root included.
#include <benchmark/benchmark.h>

#include "cubic/cubic_fixture.h"

namespace {

using namespace keld::testing;

void run(benchmark::State &state, std::int64_t krule, std::int64_t kmodel) {
    keld::refhost::Case c = cubic_case();
    Es40 a;
    a.t = 298.15;
    a.p = 5e5;
    a.kvl = 2;
    a.krule = krule;
    a.kmodel = kmodel;
    a.idx = {1, 2, 3, 4, 5};  // acetone, methanol, n-hexane, n-pentane, toluene
    a.z = {0.2, 0.2, 0.2, 0.2, 0.2};
    if (call_es40(a).kret != 1) state.SkipWithError("the call failed");
    Es40Result r;
    r.phi.assign(5, 0.0);
    r.dphi.assign(5, 0.0);
    const std::int64_t n = 5, kspare = 0, kpass = 0;
    for (auto _ : state) {
        KELD_ES40(&a.t, &a.p, a.z.data(), &n, a.idx.data(), &a.kwork, &kspare, &a.kvl, &a.flags[0], &a.flags[1],
                  &a.flags[2], &a.flags[3], &a.flags[4], &a.kds, &a.kdiag, &a.keosopt, &a.kmodel, &a.krule,
                  r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv, &r.kret, &kpass);
        benchmark::DoNotOptimize(r.phi.data());
        benchmark::ClobberMemory();
    }
}

void BM_Cubic_FiveSolvents_VanDerWaals(benchmark::State &state) { run(state, 1, 1); }
void BM_Cubic_FiveSolvents_Mhv2Unifac(benchmark::State &state) { run(state, 4, 7); }

BENCHMARK(BM_Cubic_FiveSolvents_VanDerWaals);
BENCHMARK(BM_Cubic_FiveSolvents_Mhv2Unifac);

}  // namespace
