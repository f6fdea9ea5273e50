// Per-call cost of the segment-based monitors against their stored-parameter counterparts on the same
// cases (monitor_bench.cpp's hexane and polystyrene-toluene), values only: the segment-based monitors
// return no temperature derivatives, so both sides are asked for values (flags 1) and solve one root.
// The segment-based side gets its arguments as a simulator keeps them (gathered once from the store);
// each call includes the host's composition and binary-table services.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/saft_systems.h"
#include "support/segment_calls.h"

namespace {

using namespace keld::testing;
using keld::refhost::ReferenceHost;
using keld::refhost::families::SegmentArguments;

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
    set_saft_parameters(*c.host, i, kHexaneHr);
    c.idx = {i};
    c.z = {1.0};
    return c;
}

// Polystyrene (MWN 1e5) from its styrene segment in toluene, 30 wt % polymer (Sanchez-Lacombe: the
// polymer's own parameters, as in monitor_bench.cpp).
Case polystyrene_in_toluene() {
    Case c;
    ReferenceHost &h = *c.host;
    const std::int64_t sty = add_pcsaft_segment(h, kStyrene);
    const std::int64_t ps = add_homopolymer(h, "PS", sty, kStyrene.mw, 1e5);
    const std::int64_t tol = add_pcsaft_fluid(h, kToluene);
    set_sl_parameters(h, ps, kPolystyreneSl);
    set_sl_parameters(h, tol, kTolueneSl);
    set_saft_segment_parameters(h, sty, kStyreneHr);
    h.set_unary("SAFTE", ps, kStyreneHr.e);
    set_saft_parameters(h, tol, kTolueneHr);
    const double n_ps = 0.3 / kStyrene.mw, n_tol = 0.7 / kToluene.mw;
    c.idx = {ps, tol};
    c.z = {n_ps / (n_ps + n_tol), n_tol / (n_ps + n_tol)};
    return c;
}

void stored(benchmark::State &state, Case (*make)(), SegmentFamily family, Flags flags) {
    Case c = make();
    c.host->install();
    CallOptions o;
    o.flags = flags;
    const MonitorFn monitor = stored_counterpart(family);
    const std::int64_t n = static_cast<std::int64_t>(c.idx.size()), kspare = 0;
    std::vector<double> phi(n), dphi(n);
    double h, s, g, v, dh, ds, dg, dv;
    std::int64_t kstat = 1;
    for (auto _ : state) {
        monitor(&kT, &kP, c.z.data(), &n, c.idx.data(), &o.kwork, &kspare, &o.kvl, &o.flags.phi, &o.flags.h,
                &o.flags.s, &o.flags.g, &o.flags.v, &o.kds, &o.kdiag, phi.data(), &h, &s, &g, &v, dphi.data(), &dh,
                &ds, &dg, &dv, &kstat, &o.kopt);
        benchmark::DoNotOptimize(phi.data());
        benchmark::ClobberMemory();
    }
    if (kstat != 1) state.SkipWithError("density root failed");
}

void segment(benchmark::State &state, Case (*make)(), SegmentFamily family, Flags f) {
    using namespace keld::refhost::families;
    Case c = make();
    ReferenceHost &host = *c.host;
    host.install();
    SegmentArguments a(host);
    a.list(host, c.idx);
    auto at = [&](const char *name) { return unary_slice(host, name, 1); };
    const std::vector<double> p1 = at(family == SegmentFamily::pcsaft ? "PCSFTM" : family == SegmentFamily::saft ? "SAFTM" : "SLTSTR"),
                              p2 = at(family == SegmentFamily::pcsaft ? "PCSFTV" : family == SegmentFamily::saft ? "SAFTV" : "SLPSTR"),
                              p3 = at(family == SegmentFamily::pcsaft ? "PCSFTU" : family == SegmentFamily::saft ? "SAFTU" : "SLRSTR"),
                              r = at(family == SegmentFamily::pcsaft ? "PCSFTR" : "SAFTR"), e = at("SAFTE");
    const std::vector<double> table =
        family == SegmentFamily::pcsaft ? table_slice(host, "PCSKIJ", 1)
        : family == SegmentFamily::saft ? table_slice(host, "SFTKIJ", 1)
                                        : combined_table(host, "SLKIJ", "SLKIJT", 1);
    const std::vector<double> eta = combined_table(host, "SLETIJ", "SLETIT", 1);
    const std::int64_t n = static_cast<std::int64_t>(c.idx.size()), words = 6 * a.nc * a.nc;
    const std::int64_t kspare = 0, kvl = 2, kds = 1, kdiag = 4, kopt = 0, iopt = 0, kpass = 0;
    std::vector<double> phi(n), dphi(n);
    double h, s, g, v, dh, ds, dg, dv, optout;
    std::int64_t kstat = 1;
    double *w = a.work.data();
    for (auto _ : state) {
        switch (family) {
            case SegmentFamily::pcsaft:
                KELD_PCSF01(&kT, &kP, c.z.data(), &n, c.idx.data(), w, &kspare, &kvl, &f.phi, &f.h, &f.s, &f.g, &f.v,
                            &kds, &kdiag, phi.data(), &h, &s, &g, &v, dphi.data(), &dh, &ds, &dg, &dv, &kstat, &kopt,
                            a.mw.data(), a.tc.data(), a.pc.data(), p1.data(), p2.data(), p3.data(), r.data(),
                            table.data(), a.source.data(), &a.nc, &a.ns, a.seg.data(), a.mole.data(),
                            a.polymer.data(), &words, &iopt, &iopt, a.option_vector.data(), &a.option_factor,
                            &a.work_words, &kpass, &kpass, &optout, a.x.data(), a.mwn.data(), a.option_values.data(),
                            a.weight.data());
                break;
            case SegmentFamily::saft:
                KELD_SAFT01(&kT, &kP, c.z.data(), &n, c.idx.data(), w, &kspare, &kvl, &f.phi, &f.h, &f.s, &f.g, &f.v,
                            &kds, &kdiag, phi.data(), &h, &s, &g, &v, dphi.data(), &dh, &ds, &dg, &dv, &kstat, &kopt,
                            a.mw.data(), a.tc.data(), a.pc.data(), p1.data(), p2.data(), p3.data(), r.data(), e.data(),
                            table.data(), a.source.data(), &a.nc, &a.ns, a.seg.data(), a.mole.data(),
                            a.polymer.data(), &words, &iopt, &iopt, a.option_vector.data(), &a.option_factor,
                            &a.work_words, &kpass, &kpass, &optout, a.x.data(), a.mwn.data(), a.option_values.data(),
                            a.weight.data());
                break;
            case SegmentFamily::sanchez_lacombe:
                KELD_POSL01(&kT, &kP, c.z.data(), &n, c.idx.data(), w, &kspare, &kvl, &f.phi, &f.h, &f.s, &f.g, &f.v,
                            &kds, &kdiag, phi.data(), &h, &s, &g, &v, dphi.data(), &dh, &ds, &dg, &dv, &kstat, &kopt,
                            a.mw.data(), p1.data(), p2.data(), p3.data(), table.data(), eta.data(), a.source.data(),
                            &a.nc, &a.ns, a.seg.data(), a.mole.data(), a.polymer.data(), &words, &words, &iopt,
                            &iopt, a.option_vector.data(), &a.option_factor, &a.work_words, &kpass, &kpass, &optout,
                            a.x.data(), a.mwn.data(), a.option_values.data(), a.weight.data());
                break;
        }
        benchmark::DoNotOptimize(phi.data());
        benchmark::ClobberMemory();
    }
    if (kstat != 1) state.SkipWithError("density root failed");
}

const Flags kValues{1, 1, 1, 1, 1};
const Flags kLnPhi{1, 0, 0, 0, 0};

double fastest(const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

#define KELD_SEGMENT_BENCH(name, make, family, flags)                                                  \
    BENCHMARK_CAPTURE(stored, name##_stored, make, family, flags)->ComputeStatistics("min", fastest); \
    BENCHMARK_CAPTURE(segment, name##_segment, make, family, flags)->ComputeStatistics("min", fastest)

KELD_SEGMENT_BENCH(pcsaft_hexane_values, hexane, SegmentFamily::pcsaft, kValues);
KELD_SEGMENT_BENCH(pcsaft_ps_toluene_values, polystyrene_in_toluene, SegmentFamily::pcsaft, kValues);
KELD_SEGMENT_BENCH(pcsaft_ps_toluene_lnphi, polystyrene_in_toluene, SegmentFamily::pcsaft, kLnPhi);
KELD_SEGMENT_BENCH(saft_hexane_values, hexane, SegmentFamily::saft, kValues);
KELD_SEGMENT_BENCH(saft_ps_toluene_values, polystyrene_in_toluene, SegmentFamily::saft, kValues);
KELD_SEGMENT_BENCH(saft_ps_toluene_lnphi, polystyrene_in_toluene, SegmentFamily::saft, kLnPhi);
KELD_SEGMENT_BENCH(sl_hexane_values, hexane, SegmentFamily::sanchez_lacombe, kValues);
KELD_SEGMENT_BENCH(sl_ps_toluene_values, polystyrene_in_toluene, SegmentFamily::sanchez_lacombe, kValues);
KELD_SEGMENT_BENCH(sl_ps_toluene_lnphi, polystyrene_in_toluene, SegmentFamily::sanchez_lacombe, kLnPhi);
