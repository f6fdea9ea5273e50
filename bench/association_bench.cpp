// A_assoc/(nRT) with its density, second-density, temperature and composition derivatives, one call
// of the association routine as the residual core makes it at each density. "cold": the default
// start; "warm": the previous solution offered as the start while the density alternates by 0.5 %,
// as in a density-root search. At diagnostic level 0 the direct path solves every case; the
// "_iterative" cases ask for the iterative solvers instead (as diagnostic levels >= 1 run them).
// The "_prepared" cases time the per-density evaluation of a prepared form (assoc::prepare once, then
// assoc::evaluate on it at each density), as the residual core of the monitor makes it.
// Counters: site-fraction iterations (Newton ones separately), the iterations of all derivative
// solves, and whether the direct path solved the call, per call.
#include <benchmark/benchmark.h>

#include <memory>

#include "keld/refhost.h"
#include "association/prepared.h"
#include "support/assoc_systems.h"

namespace {

using namespace keld;
using namespace keld::testing;

constexpr int kDistinct = 1;  // added to a site count: every segment type with its own energy

struct Bench {
    std::unique_ptr<refhost::ReferenceHost> host = std::make_unique<refhost::ReferenceHost>();
    AssocSystem sys;
    double rho;
};

Bench make(int which) {
    Bench b;
    b.host->add_component("HOST", refhost::ComponentKind::ordinary, 1.0);
    b.host->install();
    switch (which) {
        case 0:
            b.sys.list({b.sys.add(kMethanol)}, {1.0});
            b.rho = 24.5;  // liquid methanol at 298.15 K
            break;
        case 1:
            b.sys.list({b.sys.add(kWater4C), b.sys.add(kMethanol)}, {0.5, 0.5});
            b.rho = 34.0;
            break;
        default:
            b.sys = copolymer_in_solvent(which & ~kDistinct, 0.002, (which & kDistinct) != 0);
            b.rho = 4.0;
    }
    return b;
}

void association(benchmark::State &state, int which, bool warm, bool iterative) {
    Bench b = make(which);
    const host::Host host = *host::Host::current();
    assoc::Mixture mix[2] = {b.sys.mixture(b.rho), b.sys.mixture(b.rho)};
    mix[1].rho = b.rho * 1.005;
    assoc::Options options = b.sys.options;
    options.start = warm ? 2 : 0;
    options.iterative = iterative;
    std::vector<double> work(static_cast<std::size_t>(assoc::work_words(host, mix[0], options)));
    std::vector<double> a_x(mix[0].ncp), sites(static_cast<std::size_t>(which < 100 ? 8 : which), 0.0);
    assoc::Outputs out;
    out.a_x = a_x.data();
    out.site_fractions = sites.data();
    out.ld_sites = static_cast<std::int64_t>(sites.size()) / mix[0].ncp;
    const assoc::Requests all{true, true, true, true};
    assoc::evaluate(host, mix[0], options, all, out, work);
    std::int64_t calls = 0, iterations = 0, newton = 0, derivative = 0, failed = 0, direct = 0;
    for (auto _ : state) {
        const assoc::Results r = assoc::evaluate(host, mix[calls & 1], options, all, out, work);
        benchmark::DoNotOptimize(r.a);
        ++calls;
        iterations += r.stats.iterations;
        newton += r.stats.newton_iterations;
        derivative += r.stats.derivative_iterations;
        failed += r.failed;
        direct += r.stats.direct;
    }
    const double n = static_cast<double>(calls);
    state.counters["iterations"] = static_cast<double>(iterations) / n;
    state.counters["newton"] = static_cast<double>(newton) / n;
    state.counters["derivative_its"] = static_cast<double>(derivative) / n;
    state.counters["direct"] = static_cast<double>(direct) / n;
    state.counters["failed"] = static_cast<double>(failed);
}

void prepared(benchmark::State &state, int which, bool warm) {
    Bench b = make(which);
    const host::Host host = *host::Host::current();
    const assoc::Mixture mix = b.sys.mixture(b.rho);
    std::vector<double> work(static_cast<std::size_t>(assoc::prepared_words(host, mix, b.sys.options)));
    std::vector<double> a_x(mix.ncp), sites(8, 0.0);
    assoc::Outputs out;
    out.a_x = a_x.data();
    out.site_fractions = sites.data();
    out.ld_sites = static_cast<std::int64_t>(sites.size()) / mix.ncp;
    assoc::Prepared form;
    assoc::prepare(host, mix, b.sys.options, work, form);
    if (!form.ready) state.SkipWithError("not prepared");
    const double rho[2] = {b.rho, b.rho * 1.005};
    const assoc::Requests all{true, true, true, true};
    assoc::evaluate(host, form, rho[0], false, all, out);
    std::int64_t calls = 0, newton = 0, failed = 0;
    for (auto _ : state) {
        const assoc::Results r = assoc::evaluate(host, form, rho[calls & 1], warm, all, out);
        benchmark::DoNotOptimize(r.a);
        ++calls;
        newton += r.stats.newton_iterations;
        failed += r.failed;
    }
    state.counters["newton"] = static_cast<double>(newton) / static_cast<double>(calls);
    state.counters["failed"] = static_cast<double>(failed);
}

}  // namespace

BENCHMARK_CAPTURE(association, methanol_2B_cold, 0, false, false);
BENCHMARK_CAPTURE(association, methanol_2B_warm, 0, true, false);
BENCHMARK_CAPTURE(association, water_4C_methanol_2B_cold, 1, false, false);
BENCHMARK_CAPTURE(association, water_4C_methanol_2B_warm, 1, true, false);
BENCHMARK_CAPTURE(association, copolymer_100_sites_cold, 100, false, false);
BENCHMARK_CAPTURE(association, copolymer_1000_sites_cold, 1000, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(association, copolymer_1000_distinct_sites_cold, 1000 + kDistinct, false, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(prepared, methanol_2B_prepared_cold, 0, false);
BENCHMARK_CAPTURE(prepared, methanol_2B_prepared_warm, 0, true);
BENCHMARK_CAPTURE(prepared, water_4C_methanol_2B_prepared_cold, 1, false);
BENCHMARK_CAPTURE(prepared, water_4C_methanol_2B_prepared_warm, 1, true);
BENCHMARK_CAPTURE(association, methanol_2B_warm_iterative, 0, true, true);
BENCHMARK_CAPTURE(association, water_4C_methanol_2B_warm_iterative, 1, true, true);
BENCHMARK_CAPTURE(association, copolymer_1000_sites_cold_iterative, 1000, false, true)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
