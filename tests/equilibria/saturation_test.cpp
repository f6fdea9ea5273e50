// Pure-component saturation: equal fugacities at one pressure, the
// Clausius-Clapeyron identity, the curve's end at the critical point, and the
// generic path of the phase evaluator against the fast one.
#include "keld/equilibria/saturation.h"

#include <gtest/gtest.h>

#include "keld/case.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::PhaseKind;
using equilibria::Status;
using equilibria::System;

struct SaturationCase {
    const char *model;
    std::int64_t Host::*fluid;
    double t;
};

const SaturationCase kCases[] = {
    {"pcsaft", &Host::hexane, 250.0},          {"pcsaft", &Host::hexane, 341.88},
    {"pcsaft", &Host::hexane, 500.0},          {"pcsaft", &Host::toluene, 300.0},
    {"pcsaft", &Host::toluene, 560.0},         {"pcsaft", &Host::c1, 150.0},
    {"sanchez-lacombe", &Host::hexane, 300.0}, {"sanchez-lacombe", &Host::toluene, 450.0},
};

TEST(Saturation, BothRootsAtOnePressureWithEqualFugacities) {
    Host h = make_host();
    for (const SaturationCase &c : kCases) {
        System system(*h.host, c.model, {h.*c.fluid});
        const equilibria::SaturationResult r = equilibria::saturation_pressure(system, 0, c.t);
        SCOPED_TRACE(std::string(c.model) + " " + system.component(0).id + " at " + std::to_string(c.t));
        ASSERT_EQ(r.status, Status::converged) << r.message;
        const Check l = check_phase(system, {0}, {1.0}, c.t, r.p, PhaseKind::liquid);
        const Check v = check_phase(system, {0}, {1.0}, c.t, r.p, PhaseKind::vapour);
        ASSERT_TRUE(l.ok && v.ok);
        EXPECT_LT(fugacity_gap(l, v), 1e-10);
        // The returned volumes are the model's two roots at the returned pressure.
        EXPECT_NEAR(r.v_liquid / l.v, 1.0, 1e-9);
        EXPECT_NEAR(r.v_vapour / v.v, 1.0, 1e-9);
        EXPECT_GT(r.v_vapour, 1.5 * r.v_liquid);
        // And the boiling temperature at that pressure is T again.
        const equilibria::SaturationResult b = equilibria::saturation_temperature(system, 0, r.p);
        ASSERT_EQ(b.status, Status::converged) << b.message;
        EXPECT_NEAR(b.t / c.t, 1.0, 1e-9);
    }
}

// d ln P_sat / dT = dH_vap / (R T^2 (Z_V - Z_L)), by central differences of
// the computed P_sat; 200 K takes the low-pressure liquid path of hexane.
TEST(Saturation, ClausiusClapeyron) {
    Host h = make_host();
    const SaturationCase cases[] = {{"pcsaft", &Host::hexane, 200.0},
                                    {"pcsaft", &Host::hexane, 400.0},
                                    {"pcsaft", &Host::toluene, 500.0},
                                    {"sanchez-lacombe", &Host::hexane, 350.0}};
    for (const SaturationCase &c : cases) {
        System system(*h.host, c.model, {h.*c.fluid});
        const double dt = 1e-2;
        const auto r = equilibria::saturation_pressure(system, 0, c.t);
        const auto up = equilibria::saturation_pressure(system, 0, c.t + dt);
        const auto down = equilibria::saturation_pressure(system, 0, c.t - dt);
        ASSERT_TRUE(r.ok() && up.ok() && down.ok());
        const double slope = (std::log(up.p) - std::log(down.p)) / (2.0 * dt);
        const double clapeyron =
            r.h_vaporisation / (system.gas_constant() * c.t * c.t * (r.z_vapour - r.z_liquid));
        EXPECT_NEAR(slope / clapeyron, 1.0, 1e-7) << c.model << " " << c.t;
    }
}

TEST(Saturation, CurveEndsAtTheCriticalPointAndNothingAboveIt) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.hexane});
    const auto curve = equilibria::vapour_pressure_curve(system, 0, 300.0, std::nan(""), 12);
    ASSERT_EQ(curve.points.size(), 12u);
    ASSERT_TRUE(curve.critical.found);
    for (std::size_t i = 1; i < curve.points.size(); ++i) {
        ASSERT_EQ(curve.points[i].status, Status::converged);
        EXPECT_GT(curve.points[i].p, curve.points[i - 1].p);
    }
    const auto &last = curve.points.back();
    EXPECT_LT(last.z_vapour - last.z_liquid, 0.02);
    EXPECT_GE(curve.critical.t, last.t);
    EXPECT_LT(curve.critical.t - last.t, 0.05);
    const auto above = equilibria::saturation_pressure(system, 0, curve.critical.t + 0.5);
    EXPECT_EQ(above.status, Status::supercritical);
    EXPECT_TRUE(std::isnan(above.p));
    const auto boil = equilibria::saturation_temperature(system, 0, 1.05 * curve.critical.p);
    EXPECT_EQ(boil.status, Status::supercritical);
    EXPECT_TRUE(std::isnan(boil.t));
}

// Deep below the triple point and along the whole curve of a second family:
// every temperature converges on the physical liquid (packing below close
// packing) and the vapour pressure rises with T. Once n-hexane (PC-SAFT) at
// 100 K said "closed on the critical region" and took a liquid beyond close
// packing at 120 K, and SAFT n-hexane at 250 K "converged" at 1.8 GPa on such
// a liquid, with a false critical point at 270 K.
TEST(Saturation, LowTemperaturesAndTheSaftCurve) {
    struct Curve {
        const char *file, *model, *component;
        std::vector<double> t;
        double p_first;  // Pa, of the first temperature (about)
        double t_critical;
    };
    const Curve curves[] = {
        {"hexane-vapour-pressure.json", "pcsaft", "HEXANE", {100, 110, 120, 130, 140, 150, 200}, 3e-10, 0},
        {"polyethylene-hexane.json", "saft", "HEXANE", {250, 300, 350, 400, 450, 500, 520}, 1504.17, 528.8},
    };
    for (const Curve &c : curves) {
        SCOPED_TRACE(c.model);
        refhost::Case k = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/" + c.file);
        refhost::initialise_case(k);
        System system(*k.host, c.model, {k.host->component_number(c.component)});
        double last = 0.0;
        for (double t : c.t) {
            const auto r = equilibria::saturation_pressure(system, 0, t);
            ASSERT_EQ(r.status, Status::converged) << t << " K: " << r.message;
            EXPECT_GT(r.p, last) << t;
            last = r.p;
            EXPECT_LT(r.z_liquid, 0.25) << t;
            EXPECT_LT(r.z_liquid, r.z_vapour) << t;
            EXPECT_LE(r.z_vapour, 1.0) << t;
        }
        EXPECT_NEAR(equilibria::saturation_pressure(system, 0, c.t.front()).p / c.p_first, 1.0, 0.01);
        if (c.t_critical > 0.0) {
            const auto curve = equilibria::vapour_pressure_curve(system, 0, c.t.back(), std::nan(""), 2);
            ASSERT_TRUE(curve.critical.found);
            EXPECT_NEAR(curve.critical.t, c.t_critical, 0.5);
        }
    }
}

TEST(Saturation, RefusesWhatHasNoVapourPressure) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.toluene, h.ps});
    EXPECT_EQ(equilibria::saturation_pressure(system, 1, 300.0).status, Status::invalid_input);
    EXPECT_EQ(equilibria::saturation_pressure(system, 0, -1.0).status, Status::invalid_input);
    EXPECT_EQ(equilibria::saturation_temperature(system, 0, 0.0).status, Status::invalid_input);
}

// A family without the fast path is called through its registry entry; both
// give the same numbers (the layer's contract with new families).
TEST(PhaseEvaluator, GenericPathEqualsFastPath) {
    Host h = make_host();
    equilibria::HostSession session(*h.host);
    for (const char *name : {"pcsaft", "sanchez-lacombe"}) {
        const refhost::ModelEntry &fast = *refhost::find_model(name);
        ASSERT_NE(fast.monitor27, nullptr);
        refhost::ModelEntry generic = fast;
        generic.monitor27 = nullptr;
        const bool polymer = std::string(name) == "pcsaft";
        const std::vector<std::int64_t> listed{h.toluene, polymer ? h.ps : h.hexane};
        equilibria::PhaseEvaluator a(session, fast, listed), b(session, generic, listed);
        ASSERT_FALSE(b.fast_path());
        const double x[2] = {0.99, 0.01};
        for (PhaseKind kind : {PhaseKind::liquid, PhaseKind::vapour}) {
            double phi_a[2], phi_b[2];
            const auto pa = a.evaluate(350.0, 2e4, x, kind, phi_a, {true, true});
            const auto pb = b.evaluate(350.0, 2e4, x, kind, phi_b, {true, true});
            ASSERT_TRUE(pa.root_found && pb.root_found);
            EXPECT_EQ(pa.v, pb.v);
            EXPECT_EQ(pa.h, pb.h);
            EXPECT_EQ(pa.g, pb.g);
            EXPECT_EQ(phi_a[0], phi_b[0]);
            EXPECT_EQ(phi_a[1], phi_b[1]);
        }
    }
}

}  // namespace
}  // namespace keld::testing

namespace keld::testing {
namespace {

// The cubic family has no fast path: through its registry entry, the traced
// curve of SRK propane must end at the critical point SRK is built on.
TEST(Saturation, GenericFamilyEndsAtItsOwnCriticalPoint) {
    refhost::ReferenceHost host;
    const std::int64_t propane = host.add_component("C3H8", refhost::ComponentKind::ordinary, 44.097);
    host.set_unary("TCRKS", propane, 369.95);
    host.set_unary("PCRKS", propane, 4245518.0);
    host.set_unary("OMGRKS", propane, 0.152);
    equilibria::System system(host, "cubic", {propane});
    ASSERT_FALSE(system.mixture().fast_path());
    const auto curve = equilibria::vapour_pressure_curve(system, 0, 250.0, std::nan(""), 4);
    ASSERT_TRUE(curve.critical.found);
    EXPECT_NEAR(curve.critical.t, 369.95, 0.05);
    EXPECT_NEAR(curve.critical.p / 4245518.0, 1.0, 5e-3);
    const auto r = equilibria::saturation_pressure(system, 0, 300.0);
    ASSERT_EQ(r.status, equilibria::Status::converged) << r.message;
    const Check l = check_phase(system, {0}, {1.0}, 300.0, r.p, equilibria::PhaseKind::liquid);
    const Check v = check_phase(system, {0}, {1.0}, 300.0, r.p, equilibria::PhaseKind::vapour);
    EXPECT_LT(fugacity_gap(l, v), 1e-10);
}

}  // namespace
}  // namespace keld::testing

namespace keld::testing {
namespace {

// Every returned vapour pressure re-evaluates through the monitors at its T
// and P (as `keld eval` does). Through the monitors the result is a state they
// evaluated: calling them again gives the residual it states, 1e-11 or, where
// the liquid's ln phi is coarser than that at low pressure (the root's
// tolerance enters ln Z), the resolution its message gives. On the model the
// two monitor roots at the returned pressure have equal fugacities to 1e-12,
// or to that same resolution where the monitor is coarser; both solvers give
// the same pressure. Once a last step was taken unchecked and re-evaluated
// to 2e-9.
struct ReEvaluation {
    double gap = 0.0;  // |ln phi_L - ln phi_V| through the monitor at (T, P_sat)
    double v_liquid = 0.0, v_vapour = 0.0;
};

ReEvaluation re_evaluate(refhost::Case &c, const refhost::StateRequest &state, std::int64_t k, double t,
                         double p) {
    refhost::StateRequest q = state;
    q.temperature = t;
    q.pressure = p;
    q.components = {k};
    q.z = {1.0};
    q.flags = {1, 0, 0, 0, 1};
    q.phase = 2;
    const auto liquid = refhost::evaluate(*c.host, q);
    q.phase = 1;
    const auto vapour = refhost::evaluate(*c.host, q);
    return {std::fabs(liquid.phi[0] - vapour.phi[0]), liquid.v, vapour.v};
}

TEST(Saturation, ReturnedStatesReEvaluateThroughTheMonitors) {
    struct Point {
        const char *file, *model, *component;
        double t;
    };
    const Point points[] = {
        {"water-methanol-pcsaft-assoc.json", "pcsaft-assoc", "METHANOL", 200.0},
        {"water-methanol-pcsaft-assoc.json", "pcsaft-assoc", "METHANOL", 240.0},
        {"water-methanol-pcsaft-assoc.json", "pcsaft-assoc", "WATER", 280.0},
        {"water-methanol-pcsaft-assoc.json", "pcsaft-assoc", "WATER", 450.0},
        {"light-gases-srk.json", "cubic", "C3H8", 140.0},
        {"light-gases-srk.json", "cubic", "C3H8", 300.0},
        {"hexane-vapour-pressure.json", "pcsaft", "HEXANE", 300.0},
        {"hexane-vapour-pressure.json", "pcsaft", "HEXANE", 480.0},
        {"polyethylene-hexane.json", "saft", "HEXANE", 400.0},
        {"polystyrene-toluene.json", "sanchez-lacombe", "TOLUENE", 350.0},
    };
    for (const Point &pt : points) {
        SCOPED_TRACE(std::string(pt.model) + " " + pt.component + " at " + std::to_string(pt.t) + " K");
        refhost::Case c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/" + pt.file);
        refhost::initialise_case(c);
        const std::int64_t k = c.host->component_number(pt.component);
        equilibria::SystemOptions options;
        options.settings = c.states.front();
        options.settings.model = pt.model;
        options.solve_on_model = false;
        System through_monitors(c, pt.model, {k}, options);
        options.solve_on_model = true;
        System on_model(c, pt.model, {k}, options);

        const auto m = equilibria::saturation_pressure(through_monitors, 0, pt.t);
        ASSERT_EQ(m.status, Status::converged) << m.message;
        EXPECT_EQ(m.solver, equilibria::SaturationSolver::monitors);
        const ReEvaluation again = re_evaluate(c, options.settings, k, pt.t, m.p);
        EXPECT_EQ(again.gap, m.residual);
        EXPECT_EQ(again.v_liquid, m.v_liquid);
        if (m.residual > 1e-11) {
            EXPECT_NE(m.message.find("resolution of the monitors' ln phi"), std::string::npos);
        }
        EXPECT_LT(m.residual, 1e-8);

        const auto r = equilibria::saturation_pressure(on_model, 0, pt.t);
        ASSERT_EQ(r.status, Status::converged) << r.message;
        EXPECT_EQ(r.solver, equilibria::SaturationSolver::model);
        EXPECT_EQ(r.evaluations, r.p < 1e4 ? 2 : 0);  // the check at low pressure
        EXPECT_LE(r.residual, 1e-13);
        const ReEvaluation model_again = re_evaluate(c, options.settings, k, pt.t, r.p);
        if (model_again.gap > 1e-12) {
            // Only where the monitor's liquid root is coarse, and then the result says so.
            EXPECT_LT(r.p, 1e4);
            EXPECT_NE(r.message.find("resolves |ln f_L - ln f_V| only to"), std::string::npos);
            EXPECT_GT(m.residual, 1e-11);
            continue;
        }
        EXPECT_NEAR(model_again.v_liquid / r.v_liquid, 1.0, 1e-12);
        EXPECT_NEAR(model_again.v_vapour / r.v_vapour, 1.0, 1e-12);
        // The monitors' pressure: |d ln P| = |d (ln f_L - ln f_V)| / (Z_V - Z_L).
        EXPECT_NEAR(r.p / m.p, 1.0, std::max(1e-11, 2.0 * m.residual / (m.z_vapour - m.z_liquid)));
        EXPECT_NEAR(r.h_vaporisation / m.h_vaporisation, 1.0, 1e-9);
        EXPECT_NEAR(r.ln_phi, m.ln_phi, 1e-10);
    }
}

}  // namespace
}  // namespace keld::testing

namespace keld::testing {
namespace {

// On the model: a start from the neighbouring temperature 1 K away (its
// densities taken as they are) lands on the cold answer in a few Newton
// evaluations, and a curve to the critical point ends at the solved point
// itself, with the boiling temperature at each pressure inverting it.
TEST(Saturation, OnTheModelFromItsNeighbourAndToTheCriticalPoint) {
    Host h = make_host();
    // Newton evaluations from the neighbour (3, 3, 4, 3 carried along the curve's tangent, at
    // four times the cost of an evaluation).
    struct Case {
        SaturationCase at;
        int evaluations;
    };
    const Case cases[] = {{{"pcsaft", &Host::hexane, 300.0}, 4},
                          {{"pcsaft", &Host::hexane, 480.0}, 5},
                          {{"pcsaft", &Host::c1, 150.0}, 5},
                          {{"sanchez-lacombe", &Host::toluene, 450.0}, 4}};
    for (const Case &row : cases) {
        const SaturationCase &c = row.at;
        System system(*h.host, c.model, {h.*c.fluid});
        SCOPED_TRACE(std::string(c.model) + " " + system.component(0).id + " at " + std::to_string(c.t));
        const auto cold = equilibria::saturation_pressure(system, 0, c.t);
        const auto below = equilibria::saturation_pressure(system, 0, c.t - 1.0);
        ASSERT_EQ(cold.status, Status::converged) << cold.message;
        ASSERT_EQ(below.status, Status::converged) << below.message;
        ASSERT_EQ(cold.solver, equilibria::SaturationSolver::model);
        const auto next = equilibria::saturation_pressure(
            system, 0, c.t, {below.p, below.t, below.v_liquid, below.v_vapour});
        ASSERT_EQ(next.status, Status::converged) << next.message;
        EXPECT_LE(next.iterations, row.evaluations);
        EXPECT_NEAR(next.p / cold.p, 1.0, 1e-12);
        EXPECT_NEAR(next.v_liquid / cold.v_liquid, 1.0, 1e-12);

        const auto curve = equilibria::vapour_pressure_curve(system, 0, c.t, std::nan(""), 5);
        ASSERT_TRUE(curve.critical_solved && curve.critical.found);
        ASSERT_EQ(curve.points.size(), 5u);
        const auto &end = curve.points.back();
        EXPECT_EQ(end.t, curve.critical.t);
        EXPECT_EQ(end.p, curve.critical.p);
        EXPECT_EQ(end.v_liquid, end.v_vapour);
        EXPECT_EQ(end.h_vaporisation, 0.0);
        for (std::size_t i = 0; i + 1 < curve.points.size(); ++i) {
            const auto &pt = curve.points[i];
            ASSERT_EQ(pt.status, Status::converged) << pt.message;
            EXPECT_LT(pt.p, curve.points[i + 1].p);
            EXPECT_GT(pt.v_vapour, pt.v_liquid);
            const auto boil = equilibria::saturation_temperature(system, 0, pt.p);
            ASSERT_EQ(boil.status, Status::converged) << boil.message;
            EXPECT_NEAR(boil.t / pt.t, 1.0, 1e-11);
        }
    }
}

}  // namespace
}  // namespace keld::testing
