// Density-root robustness of every model family over a grid of states: T from
// 0.3 to 3 times the pseudo-critical temperature, P from 1 Pa to 1 GPa, for a
// pure fluid, a mixture and a polymer solution, both phases.
//
// At each state an independent oracle (support/root_oracle.h) scans the
// model's P(V) through the same monitor and lists every root. The liquid
// request must return the smallest-volume root, the vapour request the
// largest, and a state without any root must fail (KSTAT 0). Every reported
// root must satisfy P(V) = P within the reference host's tolerance:
// |P_calc - P| <= max(1e-12 |P|, 1e-14 |V dP/dV|), or, where roundoff stops
// Newton, 1e-11 |V dP/dV|.
//
// A new family adds its systems to kSweepCases: the sweep reaches the model
// only through the registry's state evaluation and the host's root routines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "keld/case.h"
#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/pcsaft_systems.h"
#include "support/root_oracle.h"

namespace keld::testing {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kTemperatures = 5, kPressures = 6;  // instrumented builds: a coarser grid
#else
constexpr int kTemperatures = 12, kPressures = 19;
#endif

// A system on a reference host: the listed components, their apparent mole
// fractions and the pseudo-critical temperature (mole-fraction average of the
// components' critical temperatures on the true basis).
struct System {
    refhost::ReferenceHost host;
    std::vector<std::int64_t> idx;
    std::vector<double> z;
    double t_critical = 0.0;
};

double polymer_critical_temperature(double mwn) { return 318.305 + 696.86 * std::exp(-120.876 / mwn); }

// SRK critical constants (K, Pa) and acentric factors of the solvents.
void set_cubic_parameters(System &s, std::int64_t i, double tc, double pc, double omega) {
    s.host.set_unary("TCRKS", i, tc);
    s.host.set_unary("PCRKS", i, pc);
    s.host.set_unary("OMGRKS", i, omega);
}

void hexane(System &s) {
    const std::int64_t i = add_pcsaft_fluid(s.host, kHexane);
    set_sl_parameters(s.host, i, kHexaneSl);
    set_cubic_parameters(s, i, kHexane.tc, 30.25e5, 0.301);
    s.idx = {i};
    s.z = {1.0};
    s.t_critical = kHexane.tc;
}

void hexane_toluene(System &s) {
    const std::int64_t a = add_pcsaft_fluid(s.host, kHexane), b = add_pcsaft_fluid(s.host, kToluene);
    set_sl_parameters(s.host, a, kHexaneSl);
    set_sl_parameters(s.host, b, kTolueneSl);
    set_cubic_parameters(s, a, kHexane.tc, 30.25e5, 0.301);
    set_cubic_parameters(s, b, kToluene.tc, 41.08e5, 0.264);
    s.idx = {a, b};
    s.z = {0.4, 0.6};
    s.t_critical = 0.4 * kHexane.tc + 0.6 * kToluene.tc;
}

// Polystyrene (MWN 1e5) in toluene, 30 wt % polymer.
void polystyrene_toluene(System &s) {
    const std::int64_t sty = add_pcsaft_segment(s.host, kStyrene);
    const std::int64_t ps = add_homopolymer(s.host, "PS", sty, kStyrene.mw, 1e5);
    const std::int64_t tol = add_pcsaft_fluid(s.host, kToluene);
    set_sl_parameters(s.host, sty, kPolystyreneSl);
    set_sl_parameters(s.host, ps, kPolystyreneSl);
    set_sl_parameters(s.host, tol, kTolueneSl);
    const double n_ps = 0.3 / kStyrene.mw, n_tol = 0.7 / kToluene.mw;
    s.idx = {ps, tol};
    s.z = {n_ps / (n_ps + n_tol), n_tol / (n_ps + n_tol)};
    const double molecules_ps = 0.3 / 1e5;
    const double x_ps = molecules_ps / (molecules_ps + n_tol);
    s.t_critical = x_ps * polymer_critical_temperature(1e5) + (1.0 - x_ps) * kToluene.tc;
}

struct SweepCase {
    const char *model;  // registry name
    const char *system;
    void (*build)(System &);
};

const SweepCase kSweepCases[] = {
    {"sanchez-lacombe", "n-hexane", hexane},
    {"sanchez-lacombe", "n-hexane + toluene", hexane_toluene},
    {"sanchez-lacombe", "polystyrene + toluene", polystyrene_toluene},
    {"pcsaft", "n-hexane", hexane},
    {"pcsaft", "n-hexane + toluene", hexane_toluene},
    {"pcsaft", "polystyrene + toluene", polystyrene_toluene},
    {"cubic", "n-hexane", hexane},
    {"cubic", "n-hexane + toluene", hexane_toluene},
};

struct PhaseTally {
    int states = 0, found = 0, worst_evaluations = 0;
    double worst_residual = 0.0;  // |P_calc - P| over max(1e-12 P, 1e-14 |V dP/dV|)
};

// One state, one phase, through the registry's evaluation on the installed host.
struct Solve {
    std::int64_t status = 0;
    double v = 0.0, p_calc = 0.0, dpdv = 0.0;
    int evaluations = 0;
};

Solve solve(const refhost::ModelEntry &model, System &s, double t, double p, std::int64_t phase) {
    refhost::StateRequest request;
    request.model = std::string(model.name);
    request.temperature = t;
    request.pressure = p;
    request.components = s.idx;
    request.z = s.z;
    request.phase = phase;
    request.flags = {0, 0, 0, 0, 1};
    refhost::StateResult result;
    result.phi.assign(s.idx.size(), 0.0);
    result.dphi.assign(s.idx.size(), 0.0);
    result.status = 1;
    RootRecorder recorder(s.host);
    model.evaluate(s.host, request, result);
    Solve out;
    out.status = result.status;
    out.evaluations = recorder.evaluations();
    if (!recorder.steps.empty()) {
        const RootRecorder::Step &last = recorder.steps.back();
        out.v = last.v_in;
        out.p_calc = last.p_calc_in;
        out.dpdv = last.dpdv_in;
    }
    return out;
}

std::vector<double> roots_of(const refhost::ModelEntry &model, System &s, double t, double p) {
    RootOracle oracle(s.host);
    refhost::StateRequest request;
    request.model = std::string(model.name);
    request.temperature = t;
    request.pressure = p;
    request.components = s.idx;
    request.z = s.z;
    request.phase = 2;
    request.flags = {0, 0, 0, 0, 1};
    refhost::StateResult result;
    result.phi.assign(s.idx.size(), 0.0);
    result.dphi.assign(s.idx.size(), 0.0);
    model.evaluate(s.host, request, result);
    return oracle.roots();
}

TEST(RootSweep, EveryRootTheModelHasIsFoundForBothPhases) {
    for (const SweepCase &c : kSweepCases) {
        const refhost::ModelEntry *model = refhost::find_model(c.model);
        ASSERT_NE(model, nullptr) << c.model;
        System s;
        c.build(s);
        s.host.install();
        s.host.message_policy().mode = refhost::MessageMode::refuse_all;
        PhaseTally tally[2];  // vapour, liquid
        for (int it = 0; it < kTemperatures; ++it) {
            const double t = s.t_critical * 0.3 * std::pow(10.0, it / (kTemperatures - 1.0));
            for (int ip = 0; ip < kPressures; ++ip) {
                const double p = std::pow(10.0, 9.0 * ip / (kPressures - 1.0));
                const std::vector<double> roots = roots_of(*model, s, t, p);
                for (std::int64_t phase : {1, 2}) {
                    PhaseTally &pt = tally[phase - 1];
                    const Solve r = solve(*model, s, t, p, phase);
                    ++pt.states;
                    pt.worst_evaluations = std::max(pt.worst_evaluations, r.evaluations);
                    bool ok;
                    if (roots.empty()) {
                        ok = r.status == 0;
                    } else {
                        const double expected = phase == 2 ? roots.front() : roots.back();
                        const double error = std::fabs(r.p_calc - p), stiffness = std::fabs(r.v * r.dpdv);
                        pt.worst_residual =
                            std::max(pt.worst_residual, error / std::max(1e-12 * p, 1e-14 * stiffness));
                        ok = r.status == 1 && std::fabs(r.v - expected) <= 1e-9 * expected &&
                             error <= std::max(1e-12 * p, 1e-11 * stiffness);
                    }
                    pt.found += ok ? 1 : 0;
                    EXPECT_TRUE(ok) << c.model << ", " << c.system << (phase == 2 ? ", liquid" : ", vapour")
                                    << " at T = " << t << " K, P = " << p << " Pa: status " << r.status << ", V "
                                    << r.v << " after " << r.evaluations << " evaluations; the model's roots: "
                                    << ::testing::PrintToString(roots);
                }
            }
        }
        for (int phase : {1, 2}) {
            const PhaseTally &pt = tally[phase - 1];
            std::printf("[ sweep    ] %-16s %-22s %-7s %3d/%3d states (%.1f %%), worst %d evaluations, "
                        "worst |P_calc - P| %.2g of the tolerance\n",
                        c.model, c.system, phase == 2 ? "liquid" : "vapour", pt.found, pt.states,
                        100.0 * pt.found / pt.states, pt.worst_evaluations, pt.worst_residual);
        }
    }
}

// Far below the triple point PC-SAFT's P(V) has a second, dense loop (up to
// five roots): the liquid is still the densest root. Toluene melts at 178 K.
TEST(RootSweep, LiquidIsTheDensestRootFarBelowTheTriplePoint) {
    const refhost::ModelEntry *model = refhost::find_model("pcsaft");
    ASSERT_NE(model, nullptr);
    System s;
    s.idx = {add_pcsaft_fluid(s.host, kToluene)};
    s.z = {1.0};
    s.host.install();
    int multiple = 0;
    for (double t : {1.0, 2.0, 5.0, 20.0, 50.0, 100.0, 150.0}) {
        for (double p : {1.0, 1e3, 1e5, 1e7, 1e9}) {
            const std::vector<double> roots = roots_of(*model, s, t, p);
            ASSERT_FALSE(roots.empty()) << t << " K, " << p << " Pa";
            multiple += roots.size() > 3 ? 1 : 0;
            const Solve r = solve(*model, s, t, p, 2);
            EXPECT_EQ(r.status, 1) << t << " K, " << p << " Pa";
            EXPECT_NEAR(r.v, roots.front(), 1e-9 * roots.front())
                << t << " K, " << p << " Pa; roots " << ::testing::PrintToString(roots);
        }
    }
    EXPECT_GT(multiple, 5) << "the states should include two-loop ones";
}

}  // namespace
}  // namespace keld::testing
