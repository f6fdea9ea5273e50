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
#include <cstdlib>
#include <string>
#include <vector>

#include "keld/case.h"
#include "keld/keld.h"
#include "keld/refhost.h"
#include "robustness/systems.h"
#include "support/root_oracle.h"

namespace keld::testing {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kTemperatures = 5, kPressures = 6;  // instrumented builds: a coarser grid
#else
constexpr int kTemperatures = 12, kPressures = 19;
#endif

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
    {"saft", "n-hexane", saft_hexane},
    {"saft", "n-hexane + toluene", saft_hexane_toluene},
    {"saft", "polyethylene + n-hexane", saft_polyethylene_hexane},
    {"saft-stored", "polyethylene + n-hexane", saft_polyethylene_hexane},
    {"pcsaft-assoc", "methanol", methanol},
    {"pcsaft-assoc", "methanol + n-hexane", methanol_hexane},
};

// One state through the registry's evaluation on the installed host, only V
// requested (one density root). With `oracle`, the model's roots; without it,
// the host's answer: status, and the last volume the library answered with,
// its model pressure and slope.
struct Solve {
    std::int64_t status = 0;
    double v = 0.0, p_calc = 0.0, dpdv = 0.0;
    int evaluations = 0;
    std::vector<double> roots;
};

Solve solve(const refhost::ModelEntry &model, System &s, double t, double p, std::int64_t phase, bool oracle) {
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
    Solve out;
    if (oracle) {
        RootOracle scan(s.host);
        model.evaluate(s.host, request, result);
        out.roots = scan.roots();
        return out;
    }
    RootRecorder recorder(s.host);
    model.evaluate(s.host, request, result);
    out.status = result.status;
    out.evaluations = recorder.evaluations();
    if (!recorder.steps.empty()) {
        out.v = recorder.steps.back().v_in;
        out.p_calc = recorder.steps.back().p_calc_in;
        out.dpdv = recorder.steps.back().dpdv_in;
    }
    return out;
}

TEST(RootSweep, EveryRootTheModelHasIsFoundForBothPhases) {
    for (const SweepCase &c : kSweepCases) {
        if (const char *only = std::getenv("KELD_SWEEP_ONLY"); only && std::string(c.model) != only) continue;
        const refhost::ModelEntry *model = refhost::find_model(c.model);
        ASSERT_NE(model, nullptr) << c.model;
        System s;
        c.build(s);
        s.host.install();
        s.host.message_policy().mode = refhost::MessageMode::refuse_all;
        int states = 0, found[2] = {0, 0}, worst_evaluations[2] = {0, 0}, total_evaluations[2] = {0, 0};
        double worst_residual[2] = {0, 0};  // |P_calc - P| over max(1e-12 P, 1e-14 |V dP/dV|)
        for (int it = 0; it < kTemperatures; ++it) {
            const double t = s.t_critical * 0.3 * std::pow(10.0, it / (kTemperatures - 1.0));
            for (int ip = 0; ip < kPressures; ++ip, ++states) {
                const double p = std::pow(10.0, 9.0 * ip / (kPressures - 1.0));
                const std::vector<double> roots = solve(*model, s, t, p, 2, true).roots;
                for (int liquid : {0, 1}) {
                    const Solve r = solve(*model, s, t, p, liquid ? 2 : 1, false);
                    const double error = std::fabs(r.p_calc - p), stiffness = std::fabs(r.v * r.dpdv);
                    const double expected = roots.empty() ? 0.0 : liquid ? roots.front() : roots.back();
                    const bool ok = roots.empty() ? r.status == 0
                                                  : r.status == 1 && std::fabs(r.v - expected) <= 1e-9 * expected &&
                                                        error <= std::max(1e-12 * p, 1e-11 * stiffness);
                    found[liquid] += ok ? 1 : 0;
                    worst_evaluations[liquid] = std::max(worst_evaluations[liquid], r.evaluations);
                    total_evaluations[liquid] += r.evaluations;
                    if (!roots.empty())
                        worst_residual[liquid] =
                            std::max(worst_residual[liquid], error / std::max(1e-12 * p, 1e-14 * stiffness));
                    EXPECT_TRUE(ok) << c.model << ", " << c.system << (liquid ? ", liquid" : ", vapour") << " at "
                                    << t << " K, " << p << " Pa: status " << r.status << ", V " << r.v
                                    << "; the roots: " << ::testing::PrintToString(roots);
                }
            }
        }
        for (int liquid : {0, 1})
            std::printf("[ sweep    ] %-16s %-22s %-7s %d/%d states, evaluations %.2f mean, %d worst; worst "
                        "|P_calc - P| %.2g of the tolerance\n",
                        c.model, c.system, liquid ? "liquid" : "vapour", found[liquid], states,
                        double(total_evaluations[liquid]) / states, worst_evaluations[liquid], worst_residual[liquid]);
    }
}

// Far below the triple point PC-SAFT's P(V) has a second, dense loop (up to
// five roots): the liquid is still the densest root. Toluene melts at 178 K.
TEST(RootSweep, LiquidIsTheDensestRootFarBelowTheTriplePoint) {
    System s;
    hexane_toluene(s);
    s.idx = {s.tol};
    s.z = {1.0};
    s.host.install();
    int two_loops = 0;
    for (double t : {1.0, 2.0, 5.0, 20.0, 50.0, 100.0, 150.0})
        for (double p : {1.0, 1e3, 1e5, 1e7, 1e9}) {
            const std::vector<double> roots = solve(*refhost::find_model("pcsaft"), s, t, p, 2, true).roots;
            const Solve r = solve(*refhost::find_model("pcsaft"), s, t, p, 2, false);
            two_loops += roots.size() > 3 ? 1 : 0;
            ASSERT_FALSE(roots.empty());
            EXPECT_TRUE(r.status == 1 && std::fabs(r.v - roots.front()) <= 1e-9 * roots.front())
                << t << " K, " << p << " Pa: V " << r.v << "; the roots: " << ::testing::PrintToString(roots);
        }
    EXPECT_GT(two_loops, 5);
}

}  // namespace
}  // namespace keld::testing
