// Roots kept below close packing (common/close_packing.h): the scan for the densest or lightest stable
// crossing above V_cp/τ on cubic P(V) - P with known roots, and the replacement of a host's root beyond
// close packing against scripted host routines.
#include "common/close_packing.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fake_host.h"

namespace keld {
namespace {

constexpr double kP = 1e5, kVcp = 1.0;  // V_cp/τ = 1.35046

// f(V) = P(V) - P = -k (V - a)(V - b)(V - c), a <= b <= c: P falls through P at a and c (stable) and
// rises at b.
struct Cubic {
    double a, b, c, k = 1e4;
    int evaluations = 0;
    PressureAndSlope operator()(double rho, bool) {
        ++evaluations;
        const double v = 1.0 / rho;
        const double f = -k * (v - a) * (v - b) * (v - c);
        const double slope = -k * ((v - b) * (v - c) + (v - a) * (v - c) + (v - a) * (v - b));
        return {kP + f, slope};
    }
    double f(double v) const { return -k * (v - a) * (v - b) * (v - c); }
};

TEST(StableCrossingStart, DensestOrLightestStableCrossingAboveTheBound) {
    struct Case {
        const char *what;
        Cubic model;
        double densest, lightest;  // 0: none
    };
    const Case cases[] = {
        {"all three above: the first falls, the last falls", {1.6, 2.0, 5.0}, 1.6, 5.0},
        {"P below the target at the bound: the rising crossing is passed over", {1.2, 1.5, 3.0}, 3.0, 3.0},
        {"the stable pair hidden inside one cell of the scan", {1.975, 2.005, 6.0}, 1.975, 6.0},
        {"every crossing beyond close packing", {1.1, 1.2, 1.3}, 0.0, 0.0},
        {"the only stable crossing above the scanned range", {1.1, 1.2, 12.0}, 0.0, 0.0},
    };
    for (const Case &c : cases) {
        for (bool lightest : {false, true}) {
            Cubic model = c.model;
            const double start =
                stable_crossing_start(model, kP, kVcp, densest_admissible_volume(kVcp), 10.0 * kVcp, lightest);
            const double root = lightest ? c.lightest : c.densest;
            SCOPED_TRACE(std::string(c.what) + (lightest ? ", lightest" : ", densest"));
            if (root == 0.0) {
                EXPECT_EQ(start, 0.0);
                continue;
            }
            // On the dense side of the crossing (P above the target), within 1e-6.
            EXPECT_LE(start, root);
            EXPECT_GE(start, root * (1.0 - 1e-6));
            EXPECT_GT(model.f(start), 0.0);
        }
    }
}

// A host routine that hands out scripted volumes and notes what it was handed when a search opens.
struct Script {
    struct Answer {
        std::int64_t state;
        double v;
    };
    std::vector<Answer> answers;
    std::size_t next = 0;
    std::vector<char> routine;                              // 'V' or 'L' per call
    std::vector<double> opened_v, opened_vcp, opened_vdiv;  // at each state 4 handed in
    static Script *&current() {
        static Script *s = nullptr;
        return s;
    }
    static void answer(char which, std::int64_t *state, std::int64_t *mode, const double *vcp, const double *vdiv,
                       double *v) {
        Script &s = *current();
        s.routine.push_back(which);
        if (*state == 4) s.opened_v.push_back(*v), s.opened_vcp.push_back(*vcp), s.opened_vdiv.push_back(*vdiv);
        const Answer a = s.next < s.answers.size() ? s.answers[s.next++] : Answer{5, *v};
        *state = a.state;
        *mode = 1;
        *v = a.v;
    }
};
void vapour(std::int64_t *state, std::int64_t *mode, const double *vcp, const double *, const double *vdiv,
            const double *, const double *, double *v, double *, double *, const char *, const std::int64_t *) {
    Script::answer('V', state, mode, vcp, vdiv, v);
}
void liquid(std::int64_t *state, std::int64_t *mode, const double *vcp, const double *, const double *vdiv,
            const double *, const double *, double *v, double *, double *, const char *, const std::int64_t *) {
    Script::answer('L', state, mode, vcp, vdiv, v);
}

struct WithinClosePacking : ::testing::Test {
    testing::FakeHost fake{2};
    Script script;
    RootRequest rq{300.0, kP, 2, 4, kVcp, 1.5, 1.5, host::RoutineId("SAFT", "03"), true};
    void SetUp() override { Script::current() = &script; }
    RootResult run(Cubic &model, const RootResult &found) {
        keld_host t = fake.table();
        t.vapor_root = vapour;
        t.liquid_root = liquid;
        return within_close_packing(host::Host(t), rq, RootPolicy{}, model, found);
    }
    static RootResult found_at(double v) { return {1.0 / v, kP, 7, false}; }
};

// The path every ordinary root takes: returned as it is, the model not evaluated (the bits stay).
TEST_F(WithinClosePacking, AnAdmissibleRootIsReturnedUntouched) {
    Cubic model{1.6, 2.0, 5.0};
    for (double v : {1.6, 5.0, 1e3}) {
        const RootResult r = run(model, found_at(v));
        EXPECT_EQ(r.rho, 1.0 / v);
        EXPECT_EQ(r.evaluations, 7);
        EXPECT_FALSE(r.failed || r.beyond_close_packing);
    }
    RootResult failed = found_at(1.2);
    failed.failed = true;  // a failed search is the monitor's to report as such
    EXPECT_FALSE(run(model, failed).beyond_close_packing);
    EXPECT_EQ(model.evaluations, 0);
    EXPECT_TRUE(script.routine.empty());
}

TEST_F(WithinClosePacking, ARootBeyondIsSoughtAgainFromTheDenseSideOfTheAdmissibleCrossing) {
    for (std::int64_t kvl : {2, 1}) {
        script = Script{};
        rq.kvl = kvl;
        Cubic model{1.6, 2.0, 5.0};
        const double expected = kvl == 2 ? 1.6 : 5.0;  // the liquid the densest, the vapour the lightest
        script.answers = {{2, expected}, {4, expected}};
        const RootResult r = run(model, found_at(1.2));
        EXPECT_FALSE(r.failed);
        EXPECT_DOUBLE_EQ(r.rho, 1.0 / expected);
        EXPECT_EQ(r.evaluations, 7 + 1);
        // The host's liquid search, with V_cp/τ as its close-packed volume, starts just below the
        // crossing, which lies below its dividing volume.
        EXPECT_EQ(script.routine, (std::vector<char>{'L', 'L'}));
        ASSERT_EQ(script.opened_v.size(), 1u);
        EXPECT_EQ(script.opened_vcp[0], densest_admissible_volume(kVcp));
        EXPECT_GE(script.opened_v[0], expected * (1.0 - 1e-6));
        EXPECT_LE(script.opened_v[0], expected);
        EXPECT_GT(script.opened_vdiv[0], script.opened_v[0]);
    }
}

TEST_F(WithinClosePacking, WithoutAnAdmissibleCrossingALiquidTakesTheVapourSearchAndAVapourIsRefused) {
    Cubic model{1.1, 1.2, 1.3};
    script.answers = {{1, 20.0}, {5, 20.0}};  // the vapour search finds nothing either
    RootResult r = run(model, found_at(1.25));
    EXPECT_TRUE(r.failed && r.beyond_close_packing);
    EXPECT_EQ(script.routine, (std::vector<char>{'V', 'V'}));
    EXPECT_EQ(script.opened_vcp[0], densest_admissible_volume(kVcp));

    script = Script{};
    script.answers = {{1, 80.0}, {4, 80.0}};  // ... or a vapour-like root: the liquid request gets it
    r = run(model, found_at(1.25));
    EXPECT_FALSE(r.failed);
    EXPECT_DOUBLE_EQ(r.rho, 1.0 / 80.0);

    script = Script{};
    rq.kvl = 1;
    r = run(model, found_at(1.25));
    EXPECT_TRUE(r.failed && r.beyond_close_packing);
    EXPECT_TRUE(script.routine.empty());
}

// A root exactly at V_cp/τ is at close packing: replaced.
TEST_F(WithinClosePacking, ARootAtClosePackingIsBeyond) {
    EXPECT_TRUE(beyond_close_packing(found_at(densest_admissible_volume(kVcp)), kVcp));
    EXPECT_FALSE(beyond_close_packing(found_at(densest_admissible_volume(kVcp) * (1.0 + 1e-15)), kVcp));
}

}  // namespace
}  // namespace keld
