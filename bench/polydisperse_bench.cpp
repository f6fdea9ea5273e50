// Polydisperse polystyrene (Schulz-Flory, Mw/Mn = 2, 20 pseudo-components) in
// cyclohexane at 1 bar: one cloud point from a neighbouring point of the
// curve (what each step of a curve costs), the critical point, and a curve
// of 50 points from scratch (critical point included), and the fractionation
// of a feed (its cloud point included) and of a dilute one.
#include <benchmark/benchmark.h>

#include "keld/equilibria/polydisperse.h"
#include "polydisperse/systems.h"

namespace {

using namespace keld::equilibria;

const PolydisperseSystem &system20() {
    static const PolydisperseSystem s = keld::testing::polystyrene_in_cyclohexane(
        MolecularWeightDistribution::schulz_flory(1e5, 2e5).discretise(20));
    return s;
}

const TemperatureRange kRange{250.0, 340.0};

void CloudPointFromNeighbour(benchmark::State &state) {
    const auto curve = cloud_point_curve(system20(), 1e5, 0.01, 0.02, 2, kRange);
    if (curve.points.size() != 2) state.SkipWithError("no curve");
    for (auto _ : state) {
        const CloudPoint p = cloud_point(system20(), 1e5, 0.02, curve.points[0]);
        if (p.status != Status::converged) state.SkipWithError("not converged");
        benchmark::DoNotOptimize(p.t);
    }
}
BENCHMARK(CloudPointFromNeighbour)->Unit(benchmark::kMillisecond);

void CriticalPoint(benchmark::State &state) {
    for (auto _ : state) benchmark::DoNotOptimize(polydisperse_critical_point(system20(), 1e5, kRange).t);
}
BENCHMARK(CriticalPoint)->Unit(benchmark::kMillisecond);

void CloudPointCurve50(benchmark::State &state) {
    for (auto _ : state) {
        const CloudPointCurve c = cloud_point_curve(system20(), 1e5, 0.002, 0.4, 50, kRange);
        if (c.points.size() != 50) state.SkipWithError("curve incomplete");
        benchmark::DoNotOptimize(c.points.data());
    }
}
BENCHMARK(CloudPointCurve50)->Unit(benchmark::kMillisecond);

// The feed's cloud point is found first (from the critical point), then the two liquids followed down in T.
void Fractionate(benchmark::State &state) {
    const double w = state.range(0) / 1000.0;
    for (auto _ : state) {
        const Fractionation f = fractionate(system20(), 295.0, 1e5, w, kRange);
        if (f.status != Status::converged) state.SkipWithError("not converged");
        benchmark::DoNotOptimize(f.rich.mw);
    }
}
BENCHMARK(Fractionate)->Arg(100)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
