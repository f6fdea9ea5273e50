// A pure fluid on the model: the critical point satisfies its two conditions,
// coexistence meets the monitors' vapour pressure and ends at the critical
// point, and the boiling temperature inverts the vapour pressure.
#include "keld/equilibria/pure_model.h"

#include <gtest/gtest.h>

#include <cmath>

#include "keld/equilibria/saturation.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::Status;

const std::vector<double> kOne{1.0};

Model hexane() { return Model::pcsaft({{"NC6", 86.177, 3.0576, 3.7983, 236.77}}); }

TEST(PureModel, CriticalPointSatisfiesItsConditions) {
    for (const Model &m : {hexane(), Model::pcsaft({{"C1", 16.043, 1.0, 3.7039, 150.03}}),
                           Model::pcsaft({{"TOLUENE", 92.141, 2.8149, 3.7169, 285.69}})}) {
        SCOPED_TRACE(m.components()[0].name);
        const auto c = equilibria::pure_critical_point(m);
        ASSERT_EQ(c.status, Status::converged) << c.message;
        const AlpharDerivativeTable d = m.derivative_table(c.t, c.rho, kOne);
        const double rho = c.rho, a1 = d.a[0][1], a2 = d.a[0][2], a3 = d.a[0][3];
        EXPECT_LT(std::fabs(1.0 + 2.0 * rho * a1 + rho * rho * a2), 1e-10);             // dP/drho / RT
        EXPECT_LT(std::fabs(2.0 * a1 + 4.0 * rho * a2 + rho * rho * a3) * rho, 1e-10);  // d2P/drho2 rho / RT
        // Just below, two phases that close in on the critical density; just above, none.
        const auto below = equilibria::pure_coexistence(m, c.t * (1.0 - 1e-6), nullptr, &c);
        ASSERT_EQ(below.status, Status::converged) << below.message;
        EXPECT_NEAR(below.rho_liquid / c.rho, 1.0, 0.01);
        EXPECT_NEAR(below.rho_vapour / c.rho, 1.0, 0.01);
        EXPECT_NEAR(below.p / c.p, 1.0, 1e-5);
        EXPECT_EQ(equilibria::pure_coexistence(m, c.t * (1.0 + 1e-6), nullptr, &c).status, Status::supercritical);
    }
}

// Over the families and far from the start the solver takes (a chain of 8
// segments, the lattice fluid): the conditions, evaluated again on the model's
// own derivative table, vanish to the rounding of their terms, the pressure is
// the model's at the point, and the loop closes there (dP/drho rises with T).
// Pure fluids of three families: small and chain-like PC-SAFT molecules, a lattice fluid, a cubic.
struct Case {
    const char *name;
    Model model;
};

std::vector<Case> pure_fluids() {
    return {
        {"PC-SAFT methane", Model::pcsaft({{"C1", 16.043, 1.0, 3.7039, 150.03}})},
        {"PC-SAFT toluene", Model::pcsaft({{"TOLUENE", 92.141, 2.8149, 3.7169, 285.69}})},
        {"PC-SAFT chain of 8", Model::pcsaft({{"C8X", 200.0, 8.0, 3.9, 260.0}})},
        {"Sanchez-Lacombe n-hexane", Model::sanchez_lacombe({{"NC6", 86.177, 476.0, 298.0e6, 775.0}})},
        {"SRK propane", Model::cubic({{"C3", 44.097, 369.83, 4.248e6, 0.152}}, {})},
    };
}

TEST(PureModel, CriticalPointToTheLastBitsOverFamilies) {
    for (const Case &c : pure_fluids()) {
        SCOPED_TRACE(c.name);
        const auto r = equilibria::pure_critical_point(c.model);
        ASSERT_EQ(r.status, Status::converged) << r.message;
        EXPECT_LE(r.residual, 1e-13);
        const AlpharDerivativeTable d = c.model.derivative_table(r.t, r.rho, kOne);
        const double rho = r.rho, a1 = d.a[0][1], a2 = d.a[0][2], a3 = d.a[0][3];
        EXPECT_LT(std::fabs(1.0 + 2.0 * rho * a1 + rho * rho * a2), 1e-13);
        EXPECT_LT(std::fabs(2.0 * a1 + 4.0 * rho * a2 + rho * rho * a3) * rho, 1e-13);
        EXPECT_NEAR(properties(c.model, r.t, r.rho, kOne).p / r.p, 1.0, 1e-14);
        EXPECT_GT(2.0 * rho * d.a[1][1] + rho * rho * d.a[1][2], 0.0);
    }
}

// SRK's critical point is known in closed form whatever a(T) and b: Z_c = 1/3
// and b rho_c = 2^(1/3) - 1.
TEST(PureModel, CubicCriticalPointIsTheClosedForm) {
    for (const CubicComponent &c : {CubicComponent{"C1", 16.043, 190.6, 4600155.0, 0.008},
                                    CubicComponent{"NC6", 86.177, 507.6, 3025000.0, 0.301},
                                    CubicComponent{"H2O", 18.015, 647.1, 22064000.0, 0.345}}) {
        SCOPED_TRACE(c.name);
        const Model m = Model::cubic({c}, {});
        const auto r = equilibria::pure_critical_point(m);
        ASSERT_EQ(r.status, Status::converged) << r.message;
        EXPECT_NEAR(r.p / (r.rho * kGasConstant * r.t), 1.0 / 3.0, 1e-13);
        EXPECT_NEAR(r.rho / m.max_density(r.t, kOne), std::cbrt(2.0) - 1.0, 1e-13);
        // The rounded constants of a and b put T_c and P_c within 1e-4 of the fluid's.
        EXPECT_NEAR(r.t / c.tc, 1.0, 1e-4);
        EXPECT_NEAR(r.p / c.pc, 1.0, 1e-3);
    }
}

TEST(PureModel, CoexistenceMeetsTheMonitorsVapourPressure) {
    Host h = make_host();
    equilibria::System system(*h.host, "pcsaft", {h.hexane});
    const Model m = hexane();
    const auto c = equilibria::pure_critical_point(m);
    equilibria::PureCoexistence last;
    for (double t : {200.0, 300.0, 400.0, 500.0}) {
        SCOPED_TRACE(t);
        const auto r = equilibria::pure_coexistence(m, t, nullptr, &c);
        ASSERT_EQ(r.status, Status::converged) << r.message;
        // Equal pressures and fugacities on the model itself.
        const Properties l = properties(m, t, r.rho_liquid, kOne), v = properties(m, t, r.rho_vapour, kOne);
        // Equal pressures to what the last bits of rho_L resolve of the liquid's pressure.
        EXPECT_LE(std::fabs(l.p - v.p), std::max(1e-12 * v.p, 4.5e-16 * r.rho_liquid * l.dp_drho));
        EXPECT_LT(std::fabs(l.ln_phi[0] + std::log(l.p) - v.ln_phi[0] - std::log(v.p)), 1e-12);
        // The same as the monitor-based vapour pressure.
        const auto monitor = equilibria::saturation_pressure(system, 0, t);
        ASSERT_EQ(monitor.status, Status::converged);
        EXPECT_NEAR(r.p / monitor.p, 1.0, 1e-10);
        // From the neighbouring point as well.
        if (last.status == Status::converged) {
            const auto again = equilibria::pure_coexistence(m, t, &last, &c);
            EXPECT_NEAR(again.p / r.p, 1.0, 1e-12);
        }
        last = r;
        // The boiling temperature at that pressure is T.
        const auto boil = equilibria::pure_coexistence_at_pressure(m, r.p, nullptr, &c);
        ASSERT_EQ(boil.status, Status::converged) << boil.message;
        EXPECT_NEAR(boil.t / t, 1.0, 1e-11);
    }
    EXPECT_EQ(equilibria::pure_coexistence_at_pressure(m, 1.01 * c.p, nullptr, &c).status, Status::supercritical);
}

// A cold start (from a low-pressure liquid, a virial vapour and the critical point) lands on the
// coexistence that the curve traced from a neighbour reaches, over the whole curve and the
// families: a start in the wrong basin would converge to another root pair, or not at all.
TEST(PureModel, ColdCoexistenceIsTheTracedOneOverFamilies) {
    std::vector<Case> cases = pure_fluids();
    cases.push_back({"PC-SAFT n-hexane", hexane()});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto critical = equilibria::pure_critical_point(c.model);
        ASSERT_EQ(critical.status, Status::converged) << critical.message;
        equilibria::PureCoexistence traced;
        for (double tr = 0.45; tr < 0.995; tr += 0.03) {
            const double t = tr * critical.t;
            SCOPED_TRACE(t);
            const auto cold = equilibria::pure_coexistence(c.model, t, nullptr, &critical);
            ASSERT_EQ(cold.status, Status::converged) << cold.message;
            traced = equilibria::pure_coexistence(c.model, t, traced.status == Status::converged ? &traced : nullptr,
                                                  &critical);
            ASSERT_EQ(traced.status, Status::converged) << traced.message;
            EXPECT_NEAR(cold.p / traced.p, 1.0, 1e-11);
            EXPECT_NEAR(cold.rho_liquid / traced.rho_liquid, 1.0, 1e-11);
            EXPECT_NEAR(cold.rho_vapour / traced.rho_vapour, 1.0, 1e-10);
            EXPECT_GT(cold.rho_liquid, critical.rho);
            EXPECT_LT(cold.rho_vapour, critical.rho);
        }
    }
}

}  // namespace
}  // namespace keld::testing
