// The Helmholtz-energy model layer (keld/model.hpp): alpha_r with every first
// and second derivative in T, rho and the amounts, the Hessian in the amounts
// of a ten-component mixture, and the properties at (T, P).
//   cmake --build build/release --target keld_model_bench && build/release/bench/keld_model_bench
#include <benchmark/benchmark.h>

#include <vector>

#include "keld/model.hpp"

namespace {

using namespace keld;

const PcSaftComponent kHexane{"HEXANE", 86.177, 3.0576, 3.7983, 236.77};
const PcSaftComponent kToluene{"TOLUENE", 92.141, 2.8149, 3.7169, 285.69};
const PcSaftComponent kPolystyrene{"PS", 1e5, 1900.0, 4.1071, 267.0, 104.152};

// alpha_r, its (T, rho) derivatives to second order, and the amount gradient, Hessian and mixed
// (V, T) derivatives: every first and second derivative in (T, rho, n), in one call.
void everything(benchmark::State &state, const Model &m, double t, double rho, const std::vector<double> &x) {
    for (auto _ : state) {
        SecondDerivatives d = m.second_derivatives(t, rho, x);
        benchmark::DoNotOptimize(d);
    }
}

// The same into storage the caller owns (no allocation per call), as a solver's loop calls it.
void everything_into_storage(benchmark::State &state, const Model &m, double t, double rho,
                             const std::vector<double> &x) {
    const std::size_t n = x.size();
    std::vector<double> gradient(n), hessian(n * n), d_v(n), d_t(n);
    AmountDerivativeSpans amounts{0.0, gradient, hessian, d_v, d_t};
    AlpharDerivatives t_rho;
    for (auto _ : state) {
        m.second_derivatives(t, rho, x, t_rho, amounts);
        benchmark::DoNotOptimize(t_rho);
        benchmark::DoNotOptimize(amounts);
        benchmark::ClobberMemory();
    }
}

// The same by the two calls a caller made before the single one existed, with the third density
// derivative that derivatives() includes (critical points).
void everything_with_third(benchmark::State &state, const Model &m, double t, double rho,
                           const std::vector<double> &x) {
    const AmountRequest all{true, true, true, true};
    for (auto _ : state) {
        AlpharDerivatives d = m.derivatives(t, rho, x);
        AmountDerivatives a = m.amount_derivatives(t, 1.0 / rho, x, all);
        benchmark::DoNotOptimize(d);
        benchmark::DoNotOptimize(a);
    }
}

Model polystyrene_toluene() { return Model::pcsaft({kToluene, kPolystyrene}); }
const std::vector<double> kPolymerSolution{0.9996, 0.0004};

void BM_ModelHexaneAllDerivatives(benchmark::State &state) {
    everything(state, Model::pcsaft({kHexane}), 300.0, 7.5, {1.0});
}
BENCHMARK(BM_ModelHexaneAllDerivatives);

void BM_ModelPolystyreneTolueneAllDerivatives(benchmark::State &state) {
    everything(state, polystyrene_toluene(), 300.0, 7.0, kPolymerSolution);
}
BENCHMARK(BM_ModelPolystyreneTolueneAllDerivatives);

void BM_ModelHexaneAllDerivativesIntoStorage(benchmark::State &state) {
    everything_into_storage(state, Model::pcsaft({kHexane}), 300.0, 7.5, {1.0});
}
BENCHMARK(BM_ModelHexaneAllDerivativesIntoStorage);

void BM_ModelPolystyreneTolueneAllDerivativesIntoStorage(benchmark::State &state) {
    everything_into_storage(state, polystyrene_toluene(), 300.0, 7.0, kPolymerSolution);
}
BENCHMARK(BM_ModelPolystyreneTolueneAllDerivativesIntoStorage);

void BM_ModelHexaneTwoCallsWithThird(benchmark::State &state) {
    everything_with_third(state, Model::pcsaft({kHexane}), 300.0, 7.5, {1.0});
}
BENCHMARK(BM_ModelHexaneTwoCallsWithThird);

void BM_ModelPolystyreneTolueneTwoCallsWithThird(benchmark::State &state) {
    everything_with_third(state, polystyrene_toluene(), 300.0, 7.0, kPolymerSolution);
}
BENCHMARK(BM_ModelPolystyreneTolueneTwoCallsWithThird);

void BM_ModelHessianTenComponents(benchmark::State &state) {
    std::vector<PcSaftComponent> c;
    std::vector<double> x;
    for (int k = 0; k < 10; ++k) {
        std::string name = "C";
        name += char('0' + k);
        c.push_back({name, 50.0 + 10.0 * k, 1.5 + 0.2 * k, 3.6 + 0.02 * k, 200.0 + 8.0 * k});
        x.push_back(0.1);
    }
    const Model m = Model::pcsaft(c);
    const AmountRequest hessian{false, true, false, false};
    for (auto _ : state) {
        AmountDerivatives a = m.amount_derivatives(350.0, 1.0 / 8.0, x, hessian);
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(BM_ModelHessianTenComponents);

void BM_ModelHexaneAlphar(benchmark::State &state) {
    const Model m = Model::pcsaft({kHexane});
    const std::vector<double> x{1.0};
    for (auto _ : state) benchmark::DoNotOptimize(m.alphar(300.0, 7.5, x));
}
BENCHMARK(BM_ModelHexaneAlphar);

void BM_ModelHexanePropertiesAtPressure(benchmark::State &state) {
    const Model m = Model::pcsaft({kHexane});
    const std::vector<double> x{1.0};
    for (auto _ : state) benchmark::DoNotOptimize(properties_at_pressure(m, 300.0, 1e5, x, Phase::liquid));
}
BENCHMARK(BM_ModelHexanePropertiesAtPressure);

}  // namespace

BENCHMARK_MAIN();
