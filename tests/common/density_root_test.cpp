// The library's side of the root conversation, against scripted host routines.
#include "common/density_root.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fake_host.h"

namespace keld {
namespace {

// A scripted host routine: answers with the next (state, volume, mode) of a script
// and records what it was handed.
struct Script {
    struct Answer {
        std::int64_t state;
        double v;
        std::int64_t mode = 1;
    };
    std::vector<Answer> answers;
    std::size_t next = 0;
    std::vector<double> seen_p_calc, seen_dpdv, seen_v;
    std::vector<char> routine;  // 'V' or 'L' per call
    static Script *&current() {
        static Script *s = nullptr;
        return s;
    }
    static void answer(char which, std::int64_t *state, std::int64_t *mode, double *v, double *p_calc, double *dpdv) {
        Script &s = *current();
        s.routine.push_back(which);
        s.seen_p_calc.push_back(*p_calc);
        s.seen_dpdv.push_back(*dpdv);
        s.seen_v.push_back(*v);
        const Answer a = s.next < s.answers.size() ? s.answers[s.next++] : Answer{5, *v};
        *state = a.state;
        *mode = a.mode;
        *v = a.v;
    }
};

void vapour(std::int64_t *state, std::int64_t *mode, const double *, const double *, const double *, const double *,
            const double *, double *v, double *p_calc, double *dpdv, const char *, const std::int64_t *) {
    Script::answer('V', state, mode, v, p_calc, dpdv);
}
void liquid(std::int64_t *state, std::int64_t *mode, const double *, const double *, const double *, const double *,
            const double *, double *v, double *p_calc, double *dpdv, const char *, const std::int64_t *) {
    Script::answer('L', state, mode, v, p_calc, dpdv);
}

struct RootFixture : ::testing::Test {
    testing::FakeHost fake{2};
    Script script;
    RootRequest rq{300.0, 1e5, 2, 4, 0.1, 0.3, 0.3, host::RoutineId("POSL", "R2"), true};
    int evaluations = 0;

    void SetUp() override { Script::current() = &script; }
    RootResult run(const RootPolicy &policy = {}) {
        keld_host t = fake.table();
        t.vapor_root = vapour;
        t.liquid_root = liquid;
        return solve_density_root(host::Host(t), rq, policy,
                                  [&](double rho, bool) {
                                      ++evaluations;
                                      return PressureAndSlope{1000.0 * rho, -rho * rho * 1000.0};
                                  },
                                  0.0);
    }
};

TEST_F(RootFixture, EvaluatesEachProposedVolumeAndReturnsTheLast) {
    script.answers = {{1, 0.5}, {2, 0.4}, {4, 0.4}};
    const RootResult r = run();
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.evaluations, 2);
    EXPECT_DOUBLE_EQ(r.rho, 1.0 / 0.4);
    EXPECT_DOUBLE_EQ(r.p_calc, 1000.0 / 0.4);
    // The conversation opens with the missing-value marker in both cells,
    // then hands back the pressure and slope at the host's volume.
    EXPECT_EQ(script.seen_p_calc[0], 1.0e35);
    EXPECT_EQ(script.seen_dpdv[0], 1.0e35);
    EXPECT_DOUBLE_EQ(script.seen_p_calc[1], 2000.0);
    EXPECT_DOUBLE_EQ(script.seen_dpdv[1], -4.0 * 1000.0);
    EXPECT_EQ(script.routine, (std::vector<char>{'L', 'L', 'L'}));
    EXPECT_EQ(host::word_as_integer(fake.root_control()[0]), -1);  // liquid, one component
}

TEST_F(RootFixture, ModeTwoLeavesTheSlopeCellAlone) {
    script.answers = {{1, 0.5}, {3, 0.25, 2}, {4, 0.25}};
    run();
    EXPECT_DOUBLE_EQ(script.seen_dpdv[1], -4.0 * 1000.0);
    EXPECT_DOUBLE_EQ(script.seen_dpdv[2], -4.0 * 1000.0);  // not the slope at 0.25
    EXPECT_DOUBLE_EQ(script.seen_p_calc[2], 4000.0);
}

TEST_F(RootFixture, StateFiveFailsWithTheLastEvaluatedDensity) {
    script.answers = {{1, 0.5}, {5, 0.7}};
    const RootResult r = run();
    EXPECT_TRUE(r.failed);
    EXPECT_DOUBLE_EQ(r.rho, 2.0);
}

TEST_F(RootFixture, VapourRoutineForVapourAndMixtureSwitchFalse) {
    rq.kvl = 1;
    rq.single_component = false;
    script.answers = {{1, 0.5}, {4, 0.5}};
    run();
    EXPECT_EQ(script.routine, (std::vector<char>{'V', 'V'}));
    EXPECT_EQ(host::word_as_integer(fake.root_control()[1]), 0);
}

TEST_F(RootFixture, OtherPhaseFlagEvaluatesOnceOnly) {
    rq.kvl = 3;
    script.answers = {{1, 0.5}, {2, 0.4}};
    const RootResult r = run();
    EXPECT_EQ(r.evaluations, 1);
    EXPECT_EQ(script.routine, (std::vector<char>{'V'}));
}

TEST_F(RootFixture, UnlistedStateHandsTheSearchToTheLiquidRoutineWhenAllowed) {
    rq.kvl = 1;
    script.answers = {{1, 0.5}, {6, 0.5}, {1, 0.2}, {4, 0.2}};
    RootPolicy policy;
    policy.unlisted_state_switches_to_liquid = true;
    const RootResult r = run(policy);
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(script.routine, (std::vector<char>{'V', 'V', 'L', 'L'}));
    EXPECT_DOUBLE_EQ(r.rho, 5.0);
    script = Script{};
    script.answers = {{1, 0.5}, {6, 0.5}};
    EXPECT_TRUE(run().failed);  // without the policy an unlisted state ends the search
}

TEST_F(RootFixture, TrialVolumeAtClosePackingIsMovedWhenAsked) {
    script.answers = {{1, 0.05}, {4, 0.05}};
    RootPolicy policy;
    policy.move_off_close_packed = true;
    const RootResult r = run(policy);
    EXPECT_DOUBLE_EQ(r.rho, 1.0 / (1.1 * 0.1));
    EXPECT_DOUBLE_EQ(script.seen_v[1], 1.1 * 0.1);  // the host sees the moved volume
}

TEST_F(RootFixture, AHostThatNeverEndsIsAFailureNotAHang) {
    script.answers.assign(kMaxRootSteps + 10, {1, 0.5});
    const RootResult r = run();
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(evaluations, kMaxRootSteps);
}

TEST_F(RootFixture, NoRootRoutineIsAFailure) {
    const RootResult r = solve_density_root(fake.view(), rq, {}, [](double, bool) { return PressureAndSlope{}; }, 3.0);
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.rho, 3.0);
}

}  // namespace
}  // namespace keld
