// Bubble and dew points solved on the model: the same points as the
// monitors' iteration gives, equal fugacities when the monitors evaluate them
// again, and starts from a neighbouring or a wrong point that reach the same
// point or leave it to the monitors.
#include <gtest/gtest.h>

#include <cmath>

#include "keld/equilibria/bubble_dew.h"
#include "keld/model.hpp"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::BubbleDewGuess;
using equilibria::BubbleDewResult;
using equilibria::PhaseKind;
using equilibria::Status;
using equilibria::System;

enum class Given { bubble_p, bubble_t, dew_p, dew_t };

BubbleDewResult solve(System &s, Given given, double value, const std::vector<double> &z,
                      const BubbleDewGuess &guess = {}) {
    switch (given) {
        case Given::bubble_p:
            return equilibria::bubble_pressure(s, value, z, guess);
        case Given::bubble_t:
            return equilibria::bubble_temperature(s, value, z, guess);
        case Given::dew_p:
            return equilibria::dew_pressure(s, value, z, guess);
        case Given::dew_t:
            return equilibria::dew_temperature(s, value, z, guess);
    }
    return {};
}

struct ModelCase {
    const char *name;
    std::vector<std::int64_t Host::*> components;
    std::vector<double> composition;
    Given given;
    double value;  // T for *_p, P for *_t
};

const ModelCase kCases[] = {
    {"hexane-toluene bubble P", {&Host::hexane, &Host::toluene}, {0.3, 0.7}, Given::bubble_p, 350.0},
    {"hexane-toluene dew P", {&Host::hexane, &Host::toluene}, {0.3, 0.7}, Given::dew_p, 350.0},
    {"hexane-toluene bubble T", {&Host::hexane, &Host::toluene}, {0.5, 0.5}, Given::bubble_t, 101325.0},
    {"hexane-toluene dew T", {&Host::hexane, &Host::toluene}, {0.5, 0.5}, Given::dew_t, 101325.0},
    {"methane-hexane bubble P", {&Host::c1, &Host::hexane}, {0.2, 0.8}, Given::bubble_p, 350.0},
    {"methane-hexane dew P", {&Host::c1, &Host::hexane}, {0.9, 0.1}, Given::dew_p, 350.0},
    {"methane-hexane bubble T", {&Host::c1, &Host::hexane}, {0.2, 0.8}, Given::bubble_t, 5e6},
    {"cyclohexane-toluene bubble P, dilute", {&Host::cyclohexane, &Host::toluene}, {0.01, 0.99}, Given::bubble_p, 380.0},
    {"five components bubble P",
     {&Host::c1, &Host::c2, &Host::c3, &Host::hexane, &Host::toluene},
     {0.05, 0.10, 0.15, 0.30, 0.40},
     Given::bubble_p,
     350.0},
};

std::vector<std::int64_t> listed(const Host &h, const ModelCase &c) {
    std::vector<std::int64_t> v;
    for (auto m : c.components) v.push_back(h.*m);
    return v;
}

System monitors_only(Host &h, const ModelCase &c) {
    equilibria::SystemOptions options;
    options.solve_on_model = false;
    return System(*h.host, "pcsaft", listed(h, c), options);
}

// T or P (whichever was sought) and the incipient phase's composition agree to 1e-9 relative.
void expect_same_point(const BubbleDewResult &a, const BubbleDewResult &b, Given given) {
    const bool at_t = given == Given::bubble_p || given == Given::dew_p;
    if (at_t) {
        EXPECT_NEAR(a.p / b.p, 1.0, 1e-9);
    } else {
        EXPECT_NEAR(a.t / b.t, 1.0, 1e-9);
    }
    const bool bubble = given == Given::bubble_p || given == Given::bubble_t;
    const std::vector<double> &wa = bubble ? a.y : a.x, &wb = bubble ? b.y : b.x;
    ASSERT_EQ(wa.size(), wb.size());
    for (std::size_t i = 0; i < wa.size(); ++i) EXPECT_NEAR(wa[i] / wb[i], 1.0, 1e-9) << "component " << i;
}

TEST(BubbleDewOnModel, SamePointAsTheMonitorsWithEqualFugacitiesEvaluatedAgain) {
    Host h = make_host();
    for (const ModelCase &c : kCases) {
        SCOPED_TRACE(c.name);
        System on_model(*h.host, "pcsaft", listed(h, c));
        System monitors = monitors_only(h, c);
        const BubbleDewResult m = solve(on_model, c.given, c.value, c.composition);
        const BubbleDewResult r = solve(monitors, c.given, c.value, c.composition);
        ASSERT_EQ(m.status, Status::converged) << m.message;
        ASSERT_EQ(r.status, Status::converged) << r.message;
        EXPECT_EQ(m.evaluations, 0) << "solved through the monitors, not on the model";
        expect_same_point(m, r, c.given);
        // On the model, both phases' density roots found again at the returned T and P: equal ln f
        // to 1e-12. Through the monitors: to their own tolerance (their liquid roots at 1e5 Pa
        // resolve ln phi to about 1e-12).
        const Model &model = *on_model.mixture_model().model;
        const auto ml = properties_at_pressure(model, m.t, m.p, m.x, Phase::liquid);
        const auto mv = properties_at_pressure(model, m.t, m.p, m.y, Phase::vapour);
        ASSERT_TRUE(ml && mv);
        for (std::size_t k = 0; k < m.x.size(); ++k)
            EXPECT_NEAR(ml->ln_phi[k] + std::log(m.x[k]), mv->ln_phi[k] + std::log(m.y[k]), 1e-12) << k;
        EXPECT_LE(m.residual, 1e-12);
        const Check l = check_phase(monitors, all_of(monitors), m.x, m.t, m.p, PhaseKind::liquid);
        const Check v = check_phase(monitors, all_of(monitors), m.y, m.t, m.p, PhaseKind::vapour);
        ASSERT_TRUE(l.ok && v.ok);
        EXPECT_LE(fugacity_gap(l, v), 1e-11);
        EXPECT_NEAR(m.v_liquid / l.v, 1.0, 1e-9);
        EXPECT_NEAR(m.v_vapour / v.v, 1.0, 1e-9);
        for (std::size_t k = 0; k < m.x.size(); ++k) {
            EXPECT_NEAR(m.ln_phi_liquid[k], r.ln_phi_liquid[k], 1e-8) << k;
            EXPECT_NEAR(m.ln_phi_vapour[k], r.ln_phi_vapour[k], 1e-8) << k;
        }
    }
}

// From the converged point at T - 1 K, from another composition, or from a
// wrong start (a pressure ten times off, a swapped incipient composition, a
// liquid volume of the vapour): the same point, never another root.
TEST(BubbleDewOnModel, StartsNearAndFarGiveTheSamePoint) {
    Host h = make_host();
    const ModelCase &c = kCases[0];
    System system(*h.host, "pcsaft", listed(h, c));
    const BubbleDewResult cold = solve(system, c.given, c.value, c.composition);
    ASSERT_TRUE(cold.ok()) << cold.message;
    const BubbleDewResult below = solve(system, c.given, c.value - 1.0, c.composition);
    const BubbleDewResult leaner = solve(system, c.given, c.value, {0.29, 0.71});
    ASSERT_TRUE(below.ok() && leaner.ok());
    struct Start {
        const char *name;
        BubbleDewGuess guess;
    };
    const Start starts[] = {
        {"T - 1 K", {below.t, below.p, below.y, below.v_liquid, below.v_vapour}},
        {"x - 0.01", {leaner.t, leaner.p, leaner.y, leaner.v_liquid, leaner.v_vapour}},
        {"no volumes", {below.t, below.p, below.y}},
        {"P ten times high", {cold.t, 10.0 * cold.p, cold.y}},
        {"P ten times low", {cold.t, 0.1 * cold.p, cold.y}},
        {"swapped vapour", {cold.t, cold.p, {cold.y[1], cold.y[0]}}},
        {"liquid at the vapour's volume", {cold.t, cold.p, cold.y, cold.v_vapour, cold.v_vapour * 1.5}},
        {"vapour at the liquid's volume", {cold.t, cold.p, cold.y, cold.v_liquid * 0.9, cold.v_liquid}},
    };
    for (const Start &s : starts) {
        SCOPED_TRACE(s.name);
        const BubbleDewResult r = solve(system, c.given, c.value, c.composition, s.guess);
        ASSERT_EQ(r.status, Status::converged) << r.message;
        EXPECT_NEAR(r.p / cold.p, 1.0, 1e-11);
        EXPECT_NEAR(r.y[0] / cold.y[0], 1.0, 1e-11);
        EXPECT_NEAR(r.v_liquid / cold.v_liquid, 1.0, 1e-9);
    }
}

// A bubble or dew point at T from the one at a neighbouring T, 1 to 20 K away, below and above: the
// neighbour is carried to T (Raoult's law on corresponding-states vapour pressures, the liquid along
// its slope), so that from 1 K away Newton needs two steps (a dew point's incipient liquid kept on the
// vapour's pressure between them); the same point as from cold, always.
TEST(BubbleDewOnModel, NeighboursInTemperatureLeadToThePoint) {
    Host h = make_host();
    for (const ModelCase *c : {&kCases[0], &kCases[1]}) {
        SCOPED_TRACE(c->name);
        System system(*h.host, "pcsaft", listed(h, *c));
        const BubbleDewResult cold = solve(system, c->given, c->value, c->composition);
        ASSERT_TRUE(cold.ok()) << cold.message;
        const bool bubble = c->given == Given::bubble_p;
        for (const double dt : {-20.0, -5.0, -1.0, 1.0, 20.0}) {
            SCOPED_TRACE(dt);
            const BubbleDewResult near = solve(system, c->given, c->value + dt, c->composition);
            ASSERT_TRUE(near.ok()) << near.message;
            const BubbleDewGuess guess{near.t, near.p, bubble ? near.y : near.x, near.v_liquid, near.v_vapour};
            const BubbleDewResult r = solve(system, c->given, c->value, c->composition, guess);
            ASSERT_EQ(r.status, Status::converged) << r.message;
            EXPECT_EQ(r.evaluations, 0);
            EXPECT_NEAR(r.p / cold.p, 1.0, 1e-11);
            const std::vector<double> &w = bubble ? r.y : r.x, &w_cold = bubble ? cold.y : cold.x;
            EXPECT_NEAR(w[0] / w_cold[0], 1.0, 1e-11);
            if (std::fabs(dt) == 1.0) {
                EXPECT_LE(r.iterations, 2);
            }
        }
    }
}

// Starts far from the point (the pressure a factor 3 off, volumes a factor 2
// to 5 off) over a grid of states: the model reaches the monitors' point (from
// its own start when the given one leads nowhere) or leaves it to the
// monitors (near the mixture's critical region), never another point.
TEST(BubbleDewOnModel, FarStartsReachTheMonitorsPoint) {
    Host h = make_host();
    const std::vector<std::vector<std::int64_t>> pairs{{h.c1, h.hexane}, {h.hexane, h.toluene}};
    for (const auto &pair : pairs) {
        equilibria::SystemOptions options;
        options.solve_on_model = false;
        System on_model(*h.host, "pcsaft", pair), monitors(*h.host, "pcsaft", pair, options);
        int on_model_count = 0;
        for (const double t : {300.0, 400.0, 450.0}) {
            for (const double x0 : {0.05, 0.5}) {
                const std::vector<double> x{x0, 1.0 - x0};
                const BubbleDewResult ref = equilibria::bubble_pressure(monitors, t, x);
                if (!ref.ok()) continue;  // methane + n-hexane at 450 K, x 0.5: near its critical point
                for (const double fp : {0.3, 3.0}) {
                    for (const double fv : {0.2, 3.0}) {
                        for (const double fl : {0.5, 2.0}) {
                            SCOPED_TRACE(::testing::Message() << "T " << t << " x " << x0 << " P x" << fp << " V_V x"
                                                              << fv << " V_L x" << fl);
                            const BubbleDewGuess g{t, fp * ref.p, ref.y, fl * ref.v_liquid, fv * ref.v_vapour};
                            const BubbleDewResult r = equilibria::bubble_pressure(on_model, t, x, g);
                            ASSERT_EQ(r.status, Status::converged) << r.message;
                            EXPECT_NEAR(r.p / ref.p, 1.0, 1e-9);
                            on_model_count += r.evaluations == 0 ? 1 : 0;
                                    }
                    }
                }
            }
        }
        // Of the 48 starts, those of methane-rich points near the critical region go to the monitors.
        EXPECT_GE(on_model_count, 32);
    }
}

// Methane + n-hexane at 350 K up to its critical composition (x(CH4) near 0.783): from x = 0.6 on the
// ideal-solution start lies past the point and the model reaches it by continuation from the
// n-hexane side. Each point is one of a liquid and a distinct vapour, both found again as the model's
// roots at the returned P with equal ln f; where the monitors' iteration converges, its point; P rises
// and the phases close in towards the critical point; past it no point is claimed.
TEST(BubbleDewOnModel, BubblePointsUpToTheCriticalCompositionOnTheModel) {
    Host h = make_host();
    System on_model(*h.host, "pcsaft", {h.c1, h.hexane});
    equilibria::SystemOptions options;
    options.solve_on_model = false;
    System monitors(*h.host, "pcsaft", {h.c1, h.hexane}, options);
    const Model &model = *on_model.mixture_model().model;
    double last_p = 0.0, last_gap = 1.0;
    for (const double x1 : {0.6, 0.7, 0.75, 0.78}) {
        SCOPED_TRACE(::testing::Message() << "x(CH4) " << x1);
        const std::vector<double> x{x1, 1.0 - x1};
        const BubbleDewResult m = equilibria::bubble_pressure(on_model, 350.0, x);
        ASSERT_EQ(m.status, Status::converged) << m.message;
        EXPECT_EQ(m.evaluations, 0) << "solved through the monitors, not on the model";
        const auto ml = properties_at_pressure(model, m.t, m.p, m.x, Phase::liquid);
        const auto mv = properties_at_pressure(model, m.t, m.p, m.y, Phase::vapour);
        ASSERT_TRUE(ml && mv);
        for (std::size_t k = 0; k < 2; ++k)
            EXPECT_NEAR(ml->ln_phi[k] + std::log(m.x[k]), mv->ln_phi[k] + std::log(m.y[k]), 1e-12) << k;
        EXPECT_NEAR(ml->v / m.v_liquid, 1.0, 1e-9);
        EXPECT_NEAR(mv->v / m.v_vapour, 1.0, 1e-9);
        EXPECT_GT(m.v_vapour, 1.001 * m.v_liquid);
        EXPECT_GT(m.p, last_p);
        EXPECT_LT(m.y[0] - x1, last_gap);
        EXPECT_GT(m.y[0], x1);
        last_p = m.p;
        last_gap = m.y[0] - x1;
        if (x1 <= 0.7) {
            const BubbleDewResult r = equilibria::bubble_pressure(monitors, 350.0, x);
            ASSERT_EQ(r.status, Status::converged) << r.message;
            expect_same_point(m, r, Given::bubble_p);
        }
    }
    EXPECT_LT(last_p, 2.01e7);  // below the mixture's critical pressure, 20.08 MPa
    for (const double x1 : {0.79, 0.8}) {
        const BubbleDewResult past = equilibria::bubble_pressure(on_model, 350.0, std::vector<double>{x1, 1.0 - x1});
        EXPECT_NE(past.status, Status::converged) << "x(CH4) " << x1 << ": P " << past.p;
    }
}

// Where the model route refuses (a component absent from the given phase, a
// polymer listed, a supercritical state), the monitors' answer stands.
TEST(BubbleDewOnModel, RefusalsLeaveThePointToTheMonitors) {
    Host h = make_host();
    System pair(*h.host, "pcsaft", {h.hexane, h.toluene});
    const BubbleDewResult pure = equilibria::bubble_pressure(pair, 350.0, std::vector<double>{0.0, 1.0});
    ASSERT_TRUE(pure.ok()) << pure.message;
    EXPECT_GT(pure.evaluations, 0);
    System gas(*h.host, "pcsaft", {h.c1, h.hexane});
    const BubbleDewResult hot = equilibria::bubble_pressure(gas, 600.0, std::vector<double>{0.5, 0.5});
    EXPECT_EQ(hot.status, Status::supercritical) << hot.message;
    System solution(*h.host, "pcsaft", {h.toluene, h.ps});
    const BubbleDewResult wet = equilibria::bubble_pressure(solution, 298.15, std::vector<double>{0.9999, 1e-4});
    ASSERT_TRUE(wet.ok()) << wet.message;
    EXPECT_GT(wet.evaluations, 0);
}

}  // namespace
}  // namespace keld::testing
