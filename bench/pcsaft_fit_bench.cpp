// Cost of KELD_ESPSAHI fitting one solvent's missing m, sigma and eps/k to its correlations (eight
// pseudo-data points, the solver's settings as the routine passes them), from the store reset to
// missing before every iteration. Counters: model_calls, the KELD_PCSAF0 evaluations of one fit
// (counted through the host's least-squares operation), and the fitted values.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "keld/keld.h"
#include "keld/refhost.h"

namespace {

using keld::refhost::ReferenceHost;

struct Solvent {
    const char *id;
    double mw, tc, pc, tb;
    std::array<double, 7> vp;    // extended vapour-pressure coefficients
    std::array<double, 4> dens;  // DIPPR-105
    double site_type, eps_ab, kappa_ab;
};
// Handbook correlations (DIPPR-101 and -105 forms); methanol with its 2B association parameters.
constexpr Solvent kHexane{"HEXANE", 86.177, 507.4, 3014419, 341.88,
                          {104.65, -6995.5, 0, 0, -12.702, 1.2381e-5, 2}, {0.70824, 0.26411, 507.6, 0.27537},
                          0, 0, 0};
constexpr Solvent kMethanol{"METHANOL", 32.042, 512.6, 8095868, 337.85,
                            {82.718, -6904.5, 0, 0, -8.8622, 7.4664e-6, 2}, {2.3267, 0.27073, 512.5, 0.24713},
                            2, 2899.5, 0.035176};

std::int64_t model_calls = 0;
keld_lsq_model_fn inner_model = nullptr;
keld_bounded_least_squares_fn solver = nullptr;

void counting_model(const double *x, const int64_t *m, double *f, void *context) {
    ++model_calls;
    inner_model(x, m, f, context);
}
void counting_solver(const int64_t *n, const int64_t *m, double *x, const double *targets, const double *weights,
                     keld_lsq_model_fn model, void *context, const int64_t *iterations, const double *settings,
                     const double *lower, const double *upper, const double *typical, const double *missing,
                     double *work, const int64_t *words, int64_t *status) {
    inner_model = model;
    solver(n, m, x, targets, weights, counting_model, context, iterations, settings, lower, upper, typical, missing,
           work, words, status);
}

void fit_solvent(benchmark::State &state, const Solvent &s) {
    ReferenceHost host;
    const std::int64_t i = host.add_component(s.id, keld::refhost::ComponentKind::ordinary, s.mw);
    for (auto [name, value] : {std::pair{"MW", s.mw}, {"TC", s.tc}, {"PC", s.pc}, {"TB", s.tb}, {"LDSEL", 105.0}})
        host.set_component_value(name, i, value);
    const char *vp[7] = {"VPC1", "VPC2", "VPC3", "VPC4", "VPC5", "VPC6", "VPC7"};
    for (int k = 0; k < 7; ++k) host.set_component_value(vp[k], i, s.vp[k]);
    const char *ld[4] = {"LDC1", "LDC2", "LDC3", "LDC4"};
    for (int k = 0; k < 4; ++k) host.set_component_value(ld[k], i, s.dens[k]);
    if (s.site_type != 0) {
        host.set_unary("PCSATY", i, s.site_type);
        host.set_unary("PCSAEP", i, s.eps_ab);
        host.set_unary("PCSAKP", i, s.kappa_ab);
    }
    keld_host table = host.table();
    solver = table.bounded_least_squares;
    table.bounded_least_squares = counting_solver;
    host.install(table);
    const std::int64_t nds = 1;
    for (auto _ : state) {
        for (const char *name : {"PCSFTM", "PCSFTV", "PCSFTU"}) host.set_unary(name, i, ReferenceHost::missing_value);
        model_calls = 0;
        KELD_ESPSAHI(&nds);
        benchmark::DoNotOptimize(host.unary("PCSFTM", i));
    }
    state.counters["model_calls"] = static_cast<double>(model_calls);
    state.counters["m"] = host.unary("PCSFTM", i);
    state.counters["sigma"] = host.unary("PCSFTV", i);
    state.counters["eps_k"] = host.unary("PCSFTU", i);
}

void BM_FitHexane(benchmark::State &state) { fit_solvent(state, kHexane); }
void BM_FitMethanol(benchmark::State &state) { fit_solvent(state, kMethanol); }
BENCHMARK(BM_FitHexane)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FitMethanol)->Unit(benchmark::kMillisecond);

}  // namespace
