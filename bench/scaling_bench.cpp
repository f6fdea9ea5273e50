// How the cost of one monitor call grows with the number of components: N
// alkane-like components of similar size (PC-SAFT and Sanchez-Lacombe
// parameters spread around n-hexane's), equal mole fractions, liquid at 300 K
// and 1 bar, and pure n-hexane at the same state. A few pairs carry
// temperature-dependent k_ij, the rest constant ones, as in a fitted data bank.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/pcsaft_systems.h"

namespace {

using namespace keld::testing;
using keld::refhost::ReferenceHost;

constexpr double kT = 300.0, kP = 1e5;

struct Case {
    std::unique_ptr<ReferenceHost> host = std::make_unique<ReferenceHost>();
    std::vector<std::int64_t> idx;
    std::vector<double> z;
};

// Component k of n: parameters on a smooth spread (no two alike) about n-hexane's.
Case similar_components(std::int64_t n) {
    Case c;
    ReferenceHost &h = *c.host;
    std::vector<std::string> ids;
    for (std::int64_t k = 0; k < n; ++k) ids.push_back(std::string("A").append(std::to_string(k + 1)));
    std::vector<keld::refhost::ComponentDefinition> defs;
    for (std::int64_t k = 0; k < n; ++k) {
        const double s = n > 1 ? static_cast<double>(k) / static_cast<double>(n - 1) - 0.5 : 0.0;  // -0.5..0.5
        defs.push_back({ids[static_cast<std::size_t>(k)], keld::refhost::ComponentKind::ordinary, 86.177 + 28.0 * s});
    }
    const std::int64_t first = h.add_components(defs);
    for (std::int64_t k = 0; k < n; ++k) {
        const double s = n > 1 ? static_cast<double>(k) / static_cast<double>(n - 1) - 0.5 : 0.0;
        const std::int64_t i = first + k;
        h.set_unary("PCSFTM", i, kHexane.m + 1.0 * s);
        h.set_unary("PCSFTV", i, kHexane.sigma + 0.1 * s);
        h.set_unary("PCSFTU", i, kHexane.eps + 30.0 * s);
        h.set_component_value("TC", i, kHexane.tc + 60.0 * s);
        set_sl_parameters(h, i, {kHexaneSl.t_star + 50.0 * s, kHexaneSl.p_star + 40.0e6 * s,
                                 kHexaneSl.rho_star + 40.0 * s});
        c.idx.push_back(i);
        c.z.push_back(1.0 / static_cast<double>(n));
    }
    // Constant k_ij on every pair; a temperature term on the pairs of the first few.
    for (std::int64_t k = 0; k < n; ++k) {
        for (std::int64_t l = k + 1; l < n; ++l) {
            const bool with_t = k < 2 && l < 6;
            const double constant[1] = {0.002 * static_cast<double>((k + l) % 5)};
            const double varying[2] = {0.01, 0.5};  // a + b Tref/T
            const std::span<const double> cs = with_t ? std::span<const double>(varying) : constant;
            h.set_binary_coefficients("PCSKIJ", c.idx[k], c.idx[l], cs);
            h.set_binary_coefficients("PCSKIJ", c.idx[l], c.idx[k], cs);
            h.set_binary("SLKIJ", c.idx[k], c.idx[l], constant[0]);
            h.set_binary("SLKIJ", c.idx[l], c.idx[k], constant[0]);
        }
    }
    return c;
}

Case hexane() {
    Case c;
    const std::int64_t i = add_pcsaft_fluid(*c.host, kHexane);
    set_sl_parameters(*c.host, i, kHexaneSl);
    c.idx = {i};
    c.z = {1.0};
    return c;
}

void run(benchmark::State &state, MonitorFn monitor, Flags flags) {
    const std::int64_t components = state.range(0);
    Case c = components == 1 ? hexane() : similar_components(components);
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
    RootRecorder recorder(*c.host);
    const MonitorResult r = call_monitor(monitor, t, p, c.z, c.idx, args);
    state.counters["root_evals"] = recorder.evaluations();
    if (r.kstat != 1) state.SkipWithError("density root failed");
}

const Flags kAll{3, 3, 3, 3, 3};
const Flags kLnPhiOnly{1, 0, 0, 0, 0};

double fastest(const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

#define KELD_SCALING(name, monitor, flags)                                                              \
    BENCHMARK_CAPTURE(run, name, monitor, flags)->Arg(1)->Arg(10)->Arg(50)->Arg(100)->ComputeStatistics( \
        "min", fastest)

KELD_SCALING(scaling_pcsaft_all, KELD_ESPCSF, kAll);
KELD_SCALING(scaling_pcsaft_lnphi, KELD_ESPCSF, kLnPhiOnly);
KELD_SCALING(scaling_sl_all, KELD_ESSLP, kAll);
KELD_SCALING(scaling_sl_lnphi, KELD_ESSLP, kLnPhiOnly);
