// Solvent activity and the sorption isotherm: the inverse returns the
// composition the forward calculation started from, and partial pressures at
// or above the vapour pressure have no swollen polymer.
#include "keld/equilibria/activity.h"

#include <gtest/gtest.h>

#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::Status;
using equilibria::System;

struct IsothermCase {
    const char *name;
    std::vector<std::int64_t Host::*> components;
    std::vector<double> w;  // liquid weight fractions
    double t;
};

const IsothermCase kIsotherms[] = {
    {"toluene in polystyrene, dilute polymer", {&Host::toluene, &Host::ps}, {0.9, 0.1}, 298.15},
    {"toluene in polystyrene, swollen polymer", {&Host::toluene, &Host::ps}, {0.15, 0.85}, 298.15},
    {"toluene in polystyrene, hot", {&Host::toluene, &Host::ps}, {0.4, 0.6}, 400.0},
    {"toluene and n-hexane in polystyrene",
     {&Host::toluene, &Host::hexane, &Host::ps},
     {0.3, 0.2, 0.5},
     320.0},
};

TEST(Activity, SorptionInvertsTheActivity) {
    Host h = make_host();
    for (const IsothermCase &c : kIsotherms) {
        SCOPED_TRACE(c.name);
        std::vector<std::int64_t> listed;
        for (auto m : c.components) listed.push_back(h.*m);
        System system(*h.host, "pcsaft", listed);
        equilibria::SolventActivity isotherm(system, c.t);
        const auto forward = isotherm.at(c.w);
        ASSERT_EQ(forward.status, Status::converged) << forward.message;
        double total = 0.0;
        for (std::size_t k : system.volatile_indices()) {
            EXPECT_GT(forward.activity[k], 0.0);
            EXPECT_LT(forward.activity[k], 1.0);
            EXPECT_NEAR(forward.weight_activity_coefficient[k], forward.activity[k] / c.w[k], 1e-14);
            total += forward.partial_pressure[k];
        }
        EXPECT_NEAR(total / forward.p, 1.0, 1e-14);
        const auto inverse = isotherm.sorption(forward.partial_pressure, c.w);
        ASSERT_EQ(inverse.status, Status::converged) << inverse.message;
        for (std::size_t k = 0; k < c.w.size(); ++k) EXPECT_NEAR(inverse.w[k], c.w[k], 1e-8);
        for (std::size_t k : system.volatile_indices())
            EXPECT_NEAR(inverse.activity[k] / forward.activity[k], 1.0, 1e-10);
    }
}

// Methane above its critical temperature has no vapour pressure, hence no
// activity, but its partial pressure and fugacity over the solution hold.
TEST(Activity, SupercriticalSolventHasPartialPressureButNoActivity) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.c1, h.toluene, h.ps});
    equilibria::SolventActivity isotherm(system, 300.0);
    EXPECT_EQ(isotherm.saturation()[0].status, Status::supercritical);
    const auto r = isotherm.at(std::vector<double>{0.001, 0.499, 0.5});
    ASSERT_EQ(r.status, Status::converged) << r.message;
    EXPECT_GT(r.partial_pressure[0], r.partial_pressure[1]);
    EXPECT_GT(r.fugacity[0], 0.0);
    EXPECT_TRUE(std::isnan(r.activity[0]) && std::isnan(r.p_sat[0]));
    EXPECT_GT(r.activity[1], 0.0);
    EXPECT_LT(r.activity[1], 1.0);
}

TEST(Activity, NoSwollenPolymerAtOrAboveTheVapourPressure) {
    Host h = make_host();
    System system(*h.host, "pcsaft", {h.toluene, h.ps});
    equilibria::SolventActivity isotherm(system, 298.15);
    const double p_sat = isotherm.saturation()[0].p;
    for (double factor : {1.0, 1.2}) {
        const auto r = isotherm.sorption(std::vector<double>{factor * p_sat, 0.0});
        EXPECT_EQ(r.status, Status::no_solution) << factor;
        EXPECT_TRUE(r.w.empty());
    }
    EXPECT_EQ(isotherm.sorption(std::vector<double>{0.0, 0.0}).status, Status::invalid_input);
    System solvents(*h.host, "pcsaft", {h.toluene, h.hexane});
    EXPECT_EQ(equilibria::SolventActivity(solvents, 300.0).sorption(std::vector<double>{1e3, 1e3}).status,
              Status::invalid_input);
}

}  // namespace
}  // namespace keld::testing
