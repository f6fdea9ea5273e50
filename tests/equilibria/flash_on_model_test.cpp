// The two-phase flash on the mixture's Helmholtz-energy model against the
// monitor-based flash of the same system: the same phases, fractions,
// compositions and volumes within the flashes' tolerance, and each of the
// model's phases, evaluated again at its own density, with equal ln f.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "keld/equilibria/flash.h"
#include "keld/equilibria/three_phase.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::FlashResult;
using equilibria::PhaseKind;
using equilibria::Status;
using equilibria::System;

const FlashCase kCompared[] = {
    {"five components, 5 bar", kFive, kFiveFeed, 350.0, 5e5, 2},
    {"five components, 20 bar", kFive, kFiveFeed, 350.0, 2e6, 2},
    {"five components, 50 bar (one liquid)", kFive, kFiveFeed, 350.0, 5e6, 1},
    {"methane in n-hexane, 30 bar", {&Host::c1, &Host::hexane}, {0.3, 0.7}, 350.0, 3e6, 2},
    {"toluene over polystyrene below its bubble point", {&Host::toluene, &Host::ps}, {0.9996, 0.0004}, 298.15,
     2000.0, 2},
    {"polystyrene-cyclohexane below the UCST", {&Host::cyclohexane, &Host::ps}, {0.9999, 0.0001}, 285.0, 1e6, 2},
};

// ln f_i (Pa) of phase `ph` evaluated again on the model at its own
// density: ln x_i + ln phi_i + ln P(rho), P from the model at that density.
std::vector<double> ln_f_again(const Model &m, double t, const equilibria::FlashPhase &ph) {
    const Properties pr = properties(m, t, 1.0 / ph.v, ph.x, {false, nullptr});
    std::vector<double> f(ph.x.size(), std::nan(""));
    for (std::size_t i = 0; i < ph.x.size(); ++i)
        if (ph.x[i] > 0.0) f[i] = std::log(ph.x[i]) + pr.ln_phi[i] + std::log(pr.p);
    return f;
}

TEST(FlashOnModel, AgreesWithTheMonitorFlash) {
    Host h = make_host();
    for (const FlashCase &c : kCompared) {
        SCOPED_TRACE(c.name);
        std::vector<std::int64_t> listed;
        for (auto member : c.components) listed.push_back(h.*member);
        System system(*h.host, "pcsaft", listed);
        const FlashResult monitor = equilibria::flash(system, c.t, c.p, c.z);
        ASSERT_TRUE(monitor.ok()) << monitor.message;
        system.session().prepare(c.t);
        const Model m = model_from_host("pcsaft", 1, listed);
        equilibria::MultiphaseOptions two;
        two.max_phases = 2;
        const FlashResult model = equilibria::flash_on_model(m, c.t, c.p, c.z, two);
        ASSERT_TRUE(model.ok()) << model.message;
        ASSERT_EQ(monitor.phases.size(), c.phases);
        ASSERT_EQ(model.phases.size(), c.phases);
        EXPECT_EQ(model.status, monitor.status);
        for (std::size_t k = 0; k < c.phases; ++k) {
            SCOPED_TRACE(k);
            const auto &a = monitor.phases[k], &b = model.phases[k];
            EXPECT_EQ(a.kind, b.kind);
            EXPECT_NEAR(a.fraction, b.fraction, 1e-9);
            EXPECT_NEAR(a.mass_fraction, b.mass_fraction, 1e-9);
            EXPECT_NEAR(b.v / a.v, 1.0, 1e-9);
            for (std::size_t i = 0; i < c.z.size(); ++i) {
                // Compositions to 1e-9 relative, a dilute polymer's in a lean phase included.
                EXPECT_NEAR(b.x[i], a.x[i], 1e-9 * std::max(a.x[i], 1e-300)) << "component " << i;
                EXPECT_NEAR(b.w[i], a.w[i], 1e-9 * std::max(a.w[i], 1e-300)) << "component " << i;
            }
        }
        if (c.phases < 2) continue;
        // Equal fugacities of the model's phases, each evaluated again at its own density: to 1e-12,
        // or to what the last bits resolve of a polymer's ln f of some thousands.
        const std::vector<double> fa = ln_f_again(m, c.t, model.phases[0]), fb = ln_f_again(m, c.t, model.phases[1]);
        for (std::size_t i = 0; i < c.z.size(); ++i) {
            if (std::isfinite(fa[i]) && std::isfinite(fb[i])) {
                EXPECT_NEAR(fa[i], fb[i], 1e-12 * std::max(1.0, std::fabs(fa[i]))) << "component " << i;
            }
        }
    }
}

}  // namespace
}  // namespace keld::testing
