// Density-root robustness of every model family over a grid of states: T from
// 0.3 to 3 times the pseudo-critical temperature, P from 1 Pa to 1 GPa, for a
// pure fluid, a mixture and a polymer solution, both phases.
//
// At each state an independent oracle (support/root_oracle.h) scans the
// model's P(V) through the same monitor and lists every root. The liquid
// request must return the smallest-volume root, the vapour request the
// largest, and a state without any root must fail (KSTAT 0). For the
// hard-sphere-based families (SAFT, PC-SAFT and their segment-based and
// associating forms) a root at or beyond close packing (V <= V_cp/0.74048,
// V_cp the volume at packing fraction 1) is not a state: the liquid is the
// smallest stable root above it, the vapour the largest, and a state without
// one is refused. Every reported
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

constexpr double kClosePacking = 0.74048;  // packing fraction of the closest packing of spheres

struct SweepCase {
    const char *model;  // registry name
    const char *system;
    void (*build)(System &);
    bool hard_spheres = false;  // roots at or beyond close packing are not states
};

const SweepCase kSweepCases[] = {
    {"sanchez-lacombe", "n-hexane", hexane},
    {"sanchez-lacombe", "n-hexane + toluene", hexane_toluene},
    {"sanchez-lacombe", "polystyrene + toluene", polystyrene_toluene},
    {"pcsaft", "n-hexane", hexane, true},
    {"pcsaft", "n-hexane + toluene", hexane_toluene, true},
    {"pcsaft", "polystyrene + toluene", polystyrene_toluene, true},
    {"pcsaft-segment", "polystyrene + toluene", polystyrene_toluene, true},
    {"cubic", "n-hexane", hexane},
    {"cubic", "n-hexane + toluene", hexane_toluene},
    {"saft", "methane", saft_methane, true},
    {"saft", "n-hexane", saft_hexane, true},
    {"saft", "n-hexane + toluene", saft_hexane_toluene, true},
    {"saft", "polyethylene + n-hexane", saft_polyethylene_hexane, true},
    {"saft-stored", "methane", saft_methane, true},
    {"saft-stored", "polyethylene + n-hexane", saft_polyethylene_hexane, true},
    {"saft-segment", "n-hexane", saft_hexane, true},
    {"saft-segment", "polyethylene + n-hexane", saft_polyethylene_hexane, true},
    {"pcsaft-assoc", "methanol", methanol, true},
    {"pcsaft-assoc", "methanol + n-hexane", methanol_hexane, true},
};

// One state through the registry's evaluation on the installed host, only V
// requested (one density root). With `oracle`, the model's roots; without it,
// the host's answer: status, and the last volume the library answered with,
// its model pressure and slope.
struct Solve {
    std::int64_t status = 0;
    double v = 0.0, p_calc = 0.0, dpdv = 0.0;
    int evaluations = 0;
    std::vector<double> roots;  // every root, ascending
    std::vector<double> states;  // the stable roots that are states of the fluid, ascending
};

Solve solve(const refhost::ModelEntry &model, System &s, double t, double p, std::int64_t phase, bool oracle,
            bool hard_spheres = false) {
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
        out.states = hard_spheres ? scan.stable_roots_above(scan.close_packed() / kClosePacking) : out.roots;
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
                const std::vector<double> roots = solve(*model, s, t, p, 2, true, c.hard_spheres).states;
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

// No root at or beyond close packing over 100-700 K and 1e2-1e8 Pa, both
// phases, from any hard-sphere-based monitor (packing fraction: the
// close-packed volume handed to the host's routines over the root), and a
// reduced density below 1 from Sanchez-Lacombe's. SAFT methane used to give
// its liquid at packing 0.914 (150 K, 0.5 MPa), n-hexane at 0.83 (250 K).
TEST(RootSweep, NoRootAtOrBeyondClosePacking) {
    int calls = 0, computed = 0;
    for (const SweepCase &c : kSweepCases) {
        if (std::string(c.model) == "cubic") continue;
        const double limit = c.hard_spheres ? kClosePacking : 1.0;
        const refhost::ModelEntry *model = refhost::find_model(c.model);
        ASSERT_NE(model, nullptr) << c.model;
        System s;
        c.build(s);
        s.host.install();
        s.host.message_policy().mode = refhost::MessageMode::refuse_all;
        double densest = 0.0;
        for (int it = 0; it <= 12; ++it) {
            const double t = 100.0 + 50.0 * it;
            for (int ip = 0; ip <= 12; ++ip) {
                const double p = 1e2 * std::pow(10.0, ip / 2.0);
                for (std::int64_t phase : {1, 2}) {
                    refhost::StateRequest request;
                    request.model = std::string(model->name);
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
                    model->evaluate(s.host, request, result);
                    ++calls;
                    if (result.status != 1) continue;
                    ++computed;
                    // The root: the last volume of the last search, measured against V_cp at packing 1 (the
                    // smallest close-packed volume handed over).
                    double v_close_packed = 0.0;
                    for (const RootRecorder::Step &step : recorder.steps)
                        if (v_close_packed == 0.0 || step.v_close_packed < v_close_packed)
                            v_close_packed = step.v_close_packed;
                    ASSERT_FALSE(recorder.steps.empty());
                    ASSERT_EQ(recorder.steps.back().state_out, 4);
                    const double packing = v_close_packed / recorder.steps.back().v_in;
                    densest = std::max(densest, packing);
                    EXPECT_LT(packing, limit) << c.model << ", " << c.system << (phase == 2 ? ", liquid" : ", vapour")
                                              << " at " << t << " K, " << p << " Pa";
                }
            }
        }
        std::printf("[ packing  ] %-24s %-24s densest root %.4f\n", c.model, c.system, densest);
    }
    EXPECT_GT(computed, calls / 2);
}

// Far below the triple point PC-SAFT's P(V) has a second, dense loop (up to
// five roots): the liquid is still the densest stable root below close
// packing, whose loop (at packing fractions 0.85-0.98 here) is not a state;
// a state with roots on that loop only is refused. Toluene melts at 178 K.
TEST(RootSweep, LiquidIsTheDensestRootFarBelowTheTriplePoint) {
    System s;
    hexane_toluene(s);
    s.idx = {s.tol};
    s.z = {1.0};
    s.host.install();
    int two_loops = 0, refused = 0;
    for (double t : {1.0, 2.0, 5.0, 20.0, 50.0, 100.0, 150.0})
        for (double p : {1.0, 1e3, 1e5, 1e7, 1e9}) {
            const Solve oracle = solve(*refhost::find_model("pcsaft"), s, t, p, 2, true, true);
            const Solve r = solve(*refhost::find_model("pcsaft"), s, t, p, 2, false);
            two_loops += oracle.roots.size() > 3 ? 1 : 0;
            refused += oracle.states.empty() ? 1 : 0;
            EXPECT_TRUE(oracle.states.empty()
                            ? r.status == 0
                            : r.status == 1 && std::fabs(r.v - oracle.states.front()) <= 1e-9 * oracle.states.front())
                << t << " K, " << p << " Pa: status " << r.status << ", V " << r.v
                << "; the roots: " << ::testing::PrintToString(oracle.roots);
        }
    EXPECT_GT(two_loops, 5);
    std::printf("[ sweep    ] toluene 1-150 K: %d of 35 states with two loops, %d without a root below close packing\n",
                two_loops, refused);
}

}  // namespace
}  // namespace keld::testing
