// Cost of the phase-equilibrium layer as a user sees it: one saturation
// point, one solvent-activity point of a polymer solution, one flash of five
// components, each through the exported monitors on the reference host.
// `calls` counts monitor calls per operation.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "keld/equilibria/activity.h"
#include "keld/equilibria/bubble_dew.h"
#include "keld/equilibria/critical_curve.h"
#include "keld/equilibria/envelope.h"
#include "keld/equilibria/flash.h"
#include "keld/equilibria/lle.h"
#include "keld/equilibria/pure_model.h"
#include "keld/equilibria/saturation.h"
#include "keld/equilibria/ternary.h"
#include "keld/equilibria/three_phase.h"
#include "keld/case.h"
#include "model/residual.h"
#include "support/pcsaft_systems.h"

namespace {

using namespace keld;
using namespace keld::testing;
namespace eq = keld::equilibria;

void saturation_point(benchmark::State &state, const char *model, double t) {
    refhost::ReferenceHost host;
    const std::int64_t i = add_pcsaft_fluid(host, kHexane);
    set_sl_parameters(host, i, kHexaneSl);
    eq::System system(host, model, {i});
    long calls = 0, ops = 0;
    for (auto _ : state) {
        const long before = system.session().calls();
        const eq::SaturationResult r = eq::saturation_pressure(system, 0, t);
        benchmark::DoNotOptimize(r.p);
        calls += system.session().calls() - before;
        ++ops;
        if (!r.ok()) state.SkipWithError(r.message.c_str());
    }
    state.counters["calls"] = static_cast<double>(calls) / static_cast<double>(ops);
}

// A saturation point started from knowledge of the answer: the answer itself
// (`lag` 0), or the converged point `lag` K below, as a sweep over T has it.
void saturation_started(benchmark::State &state, double t, double lag) {
    refhost::ReferenceHost host;
    const std::int64_t i = add_pcsaft_fluid(host, kHexane);
    eq::System system(host, "pcsaft", {i});
    const eq::SaturationResult known = eq::saturation_pressure(system, 0, t - lag);
    if (!known.ok()) state.SkipWithError(known.message.c_str());
    const eq::SaturationGuess guess{known.p, known.t, known.v_liquid, known.v_vapour};
    long calls = 0, ops = 0;
    for (auto _ : state) {
        const long before = system.session().calls();
        const eq::SaturationResult r = eq::saturation_pressure(system, 0, t, guess);
        benchmark::DoNotOptimize(r.p);
        calls += system.session().calls() - before;
        ++ops;
        if (!r.ok()) state.SkipWithError(r.message.c_str());
    }
    state.counters["calls"] = static_cast<double>(calls) / static_cast<double>(ops);
}

// A bubble point of n-hexane + toluene (x_hexane 0.3) at 350 K: cold, from
// the answer, or from a neighbouring point (T - 1 K, or x_hexane 0.01 lower)
// as a sweep over T or x has it; on the model or through the monitors only.
enum class BubbleStart { cold, answer, t_minus_1k, x_minus_001 };

void incipient_point(benchmark::State &state, BubbleStart start, bool on_model, bool dew) {
    refhost::ReferenceHost host;
    const std::vector<std::int64_t> listed{add_pcsaft_fluid(host, kHexane), add_pcsaft_fluid(host, kToluene)};
    eq::SystemOptions options;
    options.solve_on_model = on_model;
    eq::System system(host, "pcsaft", listed, options);
    const double t = 350.0;
    const std::vector<double> x{0.3, 0.7};
    eq::BubbleDewGuess guess;
    if (start != BubbleStart::cold) {
        const double t_known = start == BubbleStart::t_minus_1k ? t - 1.0 : t;
        const std::vector<double> x_known = start == BubbleStart::x_minus_001 ? std::vector<double>{0.29, 0.71} : x;
        const eq::BubbleDewResult known =
            dew ? eq::dew_pressure(system, t_known, x_known) : eq::bubble_pressure(system, t_known, x_known);
        if (!known.ok()) state.SkipWithError(known.message.c_str());
        guess = {known.t, known.p, dew ? known.x : known.y, known.v_liquid, known.v_vapour};
    }
    long calls = 0, ops = 0;
    for (auto _ : state) {
        const long before = system.session().calls();
        const eq::BubbleDewResult r = dew ? eq::dew_pressure(system, t, x, guess) : eq::bubble_pressure(system, t, x, guess);
        benchmark::DoNotOptimize(r.p);
        calls += system.session().calls() - before;
        ++ops;
        if (!r.ok()) state.SkipWithError(r.message.c_str());
    }
    state.counters["calls"] = static_cast<double>(calls) / static_cast<double>(ops);
}

void bubble_point(benchmark::State &state, BubbleStart start, bool on_model) {
    incipient_point(state, start, on_model, false);
}

// The dew point of the same system (y_hexane 0.3) on the model.
void dew_point(benchmark::State &state, BubbleStart start) { incipient_point(state, start, true, true); }

// Polystyrene (MWN 1e5, PC-SAFT from its styrene segment) with toluene at 298.15 K.
struct Solution {
    refhost::ReferenceHost host;
    std::int64_t toluene = 0, ps = 0;
    Solution() {
        toluene = add_pcsaft_fluid(host, kToluene);
        const std::int64_t sty = add_pcsaft_segment(host, kStyrene);
        ps = add_homopolymer(host, "PS", sty, kStyrene.mw, 1e5);
    }
};

// A point of an isotherm: the solvent's saturation at T is known (computed
// once), the point before is the start, as in a sweep over the composition.
void activity_on_isotherm(benchmark::State &state) {
    Solution s;
    eq::System system(s.host, "pcsaft", {s.toluene, s.ps});
    eq::SolventActivity isotherm(system, 298.15);
    long calls = 0, ops = 0;
    int k = 0;
    for (auto _ : state) {
        const double wp = 0.3 + 0.002 * (k++ % 2);  // alternate between two neighbouring points
        const long before = system.session().calls();
        const eq::ActivityResult r = isotherm.at(std::vector<double>{1.0 - wp, wp});
        benchmark::DoNotOptimize(r.activity.data());
        calls += system.session().calls() - before;
        ++ops;
        if (!r.ok()) state.SkipWithError(r.message.c_str());
    }
    state.counters["calls"] = static_cast<double>(calls) / static_cast<double>(ops);
}

// A point on its own: the solvent's saturation included, no start.
void activity_cold(benchmark::State &state) {
    Solution s;
    eq::System system(s.host, "pcsaft", {s.toluene, s.ps});
    long calls = 0, ops = 0;
    for (auto _ : state) {
        const long before = system.session().calls();
        const eq::ActivityResult r = eq::solvent_activity(system, 298.15, std::vector<double>{0.7, 0.3});
        benchmark::DoNotOptimize(r.activity.data());
        calls += system.session().calls() - before;
        ++ops;
        if (!r.ok()) state.SkipWithError(r.message.c_str());
    }
    state.counters["calls"] = static_cast<double>(calls) / static_cast<double>(ops);
}

void flash_five(benchmark::State &state, double p) {
    refhost::ReferenceHost host;
    std::vector<std::int64_t> listed;
    for (const PcsaftFluid &f : {kMethane, kEthane, kPropane, kHexane, kToluene})
        listed.push_back(add_pcsaft_fluid(host, f));
    eq::System system(host, "pcsaft", listed);
    const std::vector<double> z{0.05, 0.10, 0.15, 0.30, 0.40};
    long calls = 0, ops = 0;
    for (auto _ : state) {
        const long before = system.session().calls();
        const eq::FlashResult r = eq::flash(system, 350.0, p, z);
        benchmark::DoNotOptimize(r.phases.data());
        calls += system.session().calls() - before;
        ++ops;
        if (!r.ok()) state.SkipWithError(r.message.c_str());
    }
    state.counters["calls"] = static_cast<double>(calls) / static_cast<double>(ops);
}

// The same flash on the mixture's model directly (two phases at most).
void flash_five_on_model(benchmark::State &state, double p) {
    const Model m = Model::pcsaft({{"C1", kMethane.mw, kMethane.m, kMethane.sigma, kMethane.eps},
                                   {"C2", kEthane.mw, kEthane.m, kEthane.sigma, kEthane.eps},
                                   {"C3", kPropane.mw, kPropane.m, kPropane.sigma, kPropane.eps},
                                   {"C6", kHexane.mw, kHexane.m, kHexane.sigma, kHexane.eps},
                                   {"TOL", kToluene.mw, kToluene.m, kToluene.sigma, kToluene.eps}});
    const std::vector<double> z{0.05, 0.10, 0.15, 0.30, 0.40};
    eq::MultiphaseOptions two;
    two.max_phases = 2;
    long evaluations = 0, ops = 0;
    for (auto _ : state) {
        const eq::FlashResult r = eq::flash_on_model(m, 350.0, p, z, two);
        benchmark::DoNotOptimize(r.phases.data());
        evaluations += r.evaluations;
        ++ops;
        if (!r.ok()) state.SkipWithError(r.message.c_str());
    }
    state.counters["evaluations"] = static_cast<double>(evaluations) / static_cast<double>(ops);
}

// The critical point of PC-SAFT n-hexane on its model, from nothing.
void pure_critical(benchmark::State &state) {
    const Model m = Model::pcsaft({{std::string(kHexane.id), kHexane.mw, kHexane.m, kHexane.sigma, kHexane.eps}});
    for (auto _ : state) {
        const eq::PureCritical c = eq::pure_critical_point(m);
        benchmark::DoNotOptimize(c.t);
        if (!c.ok()) state.SkipWithError(c.message.c_str());
        state.counters["newton"] = c.iterations;
    }
}

template <class S>
void residual_pass(benchmark::State &state) {
    const Model m = Model::pcsaft({{std::string(kHexane.id), kHexane.mw, kHexane.m, kHexane.sigma, kHexane.eps}});
    const S t(300.0), rho(7.5), x(1.0);
    for (auto _ : state) benchmark::DoNotOptimize(m.residual().alphar(t, rho, &x));
}
BENCHMARK_TEMPLATE(residual_pass, double);
BENCHMARK_TEMPLATE(residual_pass, keld::model::D1);
BENCHMARK_TEMPLATE(residual_pass, keld::model::D2);
BENCHMARK_TEMPLATE(residual_pass, keld::model::J2);
BENCHMARK_TEMPLATE(residual_pass, keld::model::D3);
BENCHMARK_TEMPLATE(residual_pass, keld::model::DT4);

// The P-x-y isotherm of methane + n-hexane at 350 K from pure hexane to the critical point,
// and the P-T envelope of a natural gas of five alkanes from 1 bar through its critical point
// (cricondenbar and cricondentherm refined). `points` counts the returned points.
void pxy_to_critical(benchmark::State &state) {
    const Model m = Model::pcsaft({{"C1", kMethane.mw, kMethane.m, kMethane.sigma, kMethane.eps},
                                   {"NC6", kHexane.mw, kHexane.m, kHexane.sigma, kHexane.eps}});
    std::size_t points = 0;
    for (auto _ : state) {
        const eq::PxyIsotherm r = eq::pxy_isotherm(m, 350.0);
        benchmark::DoNotOptimize(r.critical.p);
        points = r.points.size();
        if (!r.ends_at_critical) state.SkipWithError(r.message.c_str());
    }
    state.counters["points"] = static_cast<double>(points);
}

// The critical curve of methane + n-hexane from methane's critical point to n-hexane's.
// `points` counts the returned points, `solves` the mixture critical points tried.
void critical_curve_binary(benchmark::State &state) {
    const Model m = Model::pcsaft({{"C1", kMethane.mw, kMethane.m, kMethane.sigma, kMethane.eps},
                                   {"NC6", kHexane.mw, kHexane.m, kHexane.sigma, kHexane.eps}});
    std::size_t points = 0;
    int solves = 0;
    for (auto _ : state) {
        const eq::CriticalCurve r = eq::critical_curve(m);
        benchmark::DoNotOptimize(r.points.back().p);
        points = r.points.size();
        solves = r.iterations;
        if (!r.reaches_other) state.SkipWithError(r.message.c_str());
    }
    state.counters["points"] = static_cast<double>(points);
    state.counters["solves"] = solves;
}

void envelope_five(benchmark::State &state) {
    const Model m = Model::pcsaft({{"C1", kMethane.mw, kMethane.m, kMethane.sigma, kMethane.eps},
                                   {"C2", kEthane.mw, kEthane.m, kEthane.sigma, kEthane.eps},
                                   {"C3", kPropane.mw, kPropane.m, kPropane.sigma, kPropane.eps},
                                   {"NC4", 58.123, 2.3316, 3.7086, 222.88},
                                   {"NC6", kHexane.mw, kHexane.m, kHexane.sigma, kHexane.eps}});
    const std::vector<double> z{0.80, 0.10, 0.05, 0.03, 0.02};
    std::size_t points = 0;
    for (auto _ : state) {
        const eq::PhaseEnvelope r = eq::phase_envelope(m, z);
        benchmark::DoNotOptimize(r.critical.p);
        points = r.points.size();
        if (!r.ok() || !r.has_critical) state.SkipWithError(r.message.c_str());
    }
    state.counters["points"] = static_cast<double>(points);
}

// The liquid-liquid diagram of polystyrene (20 kg/mol) + toluene + methanol at 25 degC and 1 bar
// (associating PC-SAFT) from the binary edge to the solved plait point, and the flash of a feed on
// one of its tie lines (stability test, then Newton). `tie_lines` counts the returned lines.
Model polystyrene_toluene_methanol() {
    refhost::Case c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) +
                                              "/examples/polystyrene-toluene-methanol-pcsaft-assoc.json");
    return refhost::model_from_case(c, "pcsaft-assoc", 1, {"TOLUENE", "METHANOL", "PS"});
}

void ternary_diagram(benchmark::State &state) {
    const Model m = polystyrene_toluene_methanol();
    std::size_t lines = 0;
    for (auto _ : state) {
        const eq::TernaryDiagram d = eq::ternary_lle(m, 298.15, 1e5, {0, 1, 2});
        benchmark::DoNotOptimize(d.plait.phase.rho);
        lines = d.tie_lines.size();
        if (!d.ok()) state.SkipWithError(d.message.c_str());
    }
    state.counters["tie_lines"] = static_cast<double>(lines);
}

void ternary_flash_on_tie_line(benchmark::State &state) {
    const Model m = polystyrene_toluene_methanol();
    const eq::TernaryDiagram d = eq::ternary_lle(m, 298.15, 1e5, {0, 1, 2});
    const eq::TernaryTieLine &line = d.tie_lines[d.tie_lines.size() / 2];
    std::vector<double> z(3);
    for (std::size_t i = 0; i < 3; ++i) z[i] = 0.5 * (line.lean.x[i] + line.rich.x[i]);
    for (auto _ : state) {
        const eq::TernaryFlash f = eq::ternary_flash(m, 298.15, 1e5, z, {0, 1, 2});
        benchmark::DoNotOptimize(f.beta);
        if (!f.ok()) state.SkipWithError(f.message.c_str());
    }
}

// Three phases on associating PC-SAFT: the flash of methanol + n-hexane under methane at 185 K
// and 1 bar (two liquids and a gas, found by two stability tests), and the three-phase line of
// methanol + n-hexane from 170 K to its upper critical end point. `evaluations` counts the
// flash's phase evaluations (a density root and ln phi each).
Model case_model(const char *file, std::vector<std::string> ids) {
    refhost::Case c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/" + file);
    refhost::initialise_case(c);
    return refhost::model_from_case(c, "pcsaft-assoc", 1, ids);
}

void flash_three_phases(benchmark::State &state) {
    const Model m = case_model("methanol-hexane-methane-pcsaft-assoc.json", {"METHANOL", "HEXANE", "CH4"});
    const std::vector<double> z{0.1, 0.5, 0.4};
    int evaluations = 0;
    for (auto _ : state) {
        const eq::FlashResult r = eq::flash_on_model(m, 185.0, 1e5, z);
        benchmark::DoNotOptimize(r.residual);
        evaluations = r.evaluations;
        if (!r.ok() || r.phases.size() != 3) state.SkipWithError(r.message.c_str());
    }
    state.counters["evaluations"] = evaluations;
}

void vlle_line_to_end_point(benchmark::State &state) {
    const Model m = case_model("methanol-hexane-pcsaft-assoc.json", {"METHANOL", "HEXANE"});
    eq::VlleOptions options;
    options.t_start = 170.0;
    std::size_t points = 0;
    for (auto _ : state) {
        const eq::VlleLine r = eq::vlle_line(m, options);
        benchmark::DoNotOptimize(r.residual);
        points = r.points.size();
        if (!r.ok()) state.SkipWithError(r.message.c_str());
    }
    state.counters["points"] = static_cast<double>(points);
}

// Demixing of polystyrene in cyclohexane at 50 bar on PC-SAFT, 250 to 540 K: the critical points
// found (UCST near 299 K, LCST near 507 K) and both branches' binodal and spinodal traced to the
// range's ends; and the same binodal at one temperature, through the model and through the monitors.
struct PsCyclohexane {
    refhost::Case c;
    std::unique_ptr<eq::System> system;
    explicit PsCyclohexane(bool on_model) {
        c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/polystyrene-cyclohexane.json");
        refhost::initialise_case(c);
        eq::SystemOptions options;
        options.settings = c.states.front();
        options.solve_on_model = on_model;
        system = std::make_unique<eq::System>(
            c, "pcsaft", std::vector<std::int64_t>{c.host->component_number("CYCLOHEX"), c.host->component_number("PS")},
            options);
    }
};

void lle_traced(benchmark::State &state) {
    PsCyclohexane ps(true);
    std::size_t points = 0;
    for (auto _ : state) {
        const eq::LleTrace r = eq::trace_lle(*ps.system, 5e6, 250.0, 540.0);
        if (!r.ok()) state.SkipWithError(r.message.c_str());
        points = 0;
        for (const eq::LleBranch &b : r.branches) points += b.t.size() + b.spinodal_t.size();
    }
    state.counters["points"] = static_cast<double>(points);
}

void lle_binodal(benchmark::State &state, bool on_model) {
    PsCyclohexane ps(on_model);
    for (auto _ : state) {
        const eq::BinodalResult r = eq::binodal(*ps.system, 285.0, 5e6);
        benchmark::DoNotOptimize(r.residual);
        if (!r.ok()) state.SkipWithError(r.message.c_str());
    }
}

double fastest(const std::vector<double> &v) {
    return *std::min_element(v.begin(), v.end());
}

}  // namespace

#define KELD_EQ_BENCH(...) \
    BENCHMARK_CAPTURE(__VA_ARGS__)->ComputeStatistics("min", fastest)->Unit(benchmark::kMicrosecond)

KELD_EQ_BENCH(saturation_point, pcsaft_hexane_300K, "pcsaft", 300.0);
KELD_EQ_BENCH(saturation_point, pcsaft_hexane_450K, "pcsaft", 450.0);
KELD_EQ_BENCH(saturation_started, pcsaft_hexane_300K_from_answer, 300.0, 0.0);
KELD_EQ_BENCH(saturation_started, pcsaft_hexane_450K_from_answer, 450.0, 0.0);
KELD_EQ_BENCH(saturation_started, pcsaft_hexane_300K_from_T_minus_1K, 300.0, 1.0);
KELD_EQ_BENCH(saturation_started, pcsaft_hexane_450K_from_T_minus_1K, 450.0, 1.0);
KELD_EQ_BENCH(saturation_point, sl_hexane_300K, "sanchez-lacombe", 300.0);
KELD_EQ_BENCH(bubble_point, hexane_toluene_350K_cold, BubbleStart::cold, true);
KELD_EQ_BENCH(bubble_point, hexane_toluene_350K_from_answer, BubbleStart::answer, true);
KELD_EQ_BENCH(bubble_point, hexane_toluene_350K_from_T_minus_1K, BubbleStart::t_minus_1k, true);
KELD_EQ_BENCH(bubble_point, hexane_toluene_350K_from_x_minus_0_01, BubbleStart::x_minus_001, true);
KELD_EQ_BENCH(dew_point, hexane_toluene_350K_cold, BubbleStart::cold);
KELD_EQ_BENCH(dew_point, hexane_toluene_350K_from_T_minus_1K, BubbleStart::t_minus_1k);
KELD_EQ_BENCH(bubble_point, hexane_toluene_350K_cold_monitors, BubbleStart::cold, false);
KELD_EQ_BENCH(bubble_point, hexane_toluene_350K_from_answer_monitors, BubbleStart::answer, false);
KELD_EQ_BENCH(bubble_point, hexane_toluene_350K_from_T_minus_1K_monitors, BubbleStart::t_minus_1k, false);
BENCHMARK(pure_critical)->ComputeStatistics("min", fastest)->Unit(benchmark::kMicrosecond);
BENCHMARK(activity_on_isotherm)->ComputeStatistics("min", fastest)->Unit(benchmark::kMicrosecond);
BENCHMARK(activity_cold)->ComputeStatistics("min", fastest)->Unit(benchmark::kMicrosecond);
KELD_EQ_BENCH(flash_five, two_phase_5bar, 5e5);
KELD_EQ_BENCH(flash_five, two_phase_20bar, 2e6);
KELD_EQ_BENCH(flash_five, one_phase_50bar, 5e6);
KELD_EQ_BENCH(flash_five_on_model, two_phase_5bar, 5e5);
KELD_EQ_BENCH(flash_five_on_model, two_phase_20bar, 2e6);
KELD_EQ_BENCH(flash_five_on_model, one_phase_50bar, 5e6);
BENCHMARK(pxy_to_critical)->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(critical_curve_binary)->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(envelope_five)->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(ternary_diagram)->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(ternary_flash_on_tie_line)->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(flash_three_phases)->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(vlle_line_to_end_point)->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(lle_traced)->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK_CAPTURE(lle_binodal, ps_cyclohexane_285K_on_model, true)
    ->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK_CAPTURE(lle_binodal, ps_cyclohexane_285K_through_monitors, false)
    ->ComputeStatistics("min", fastest)->Unit(benchmark::kMillisecond)->Repetitions(5);


BENCHMARK_MAIN();
