// The model at its density root against a property monitor's outputs at the same (T, P): ln phi
// and V to 1e-12, the departures H, S, G to 1e-10, all on the apparent basis the monitor reports.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "keld/model.hpp"
#include "support/monitor_call.h"

namespace keld::testing {

// Mole fractions of molecules from the host's apparent ones (a polymer counted in repeat units).
inline std::vector<double> molecules(const Model &m, const std::vector<double> &z) {
    std::vector<double> x(z.size());
    for (std::size_t k = 0; k < z.size(); ++k)
        x[k] = z[k] * m.components()[k].mw_apparent / m.components()[k].mw;
    return x;
}

// ln phi is compared as the monitors define it, at the given P: mu_res/RT - ln(P/(rho R T)).
// properties() takes ln Z from the model's own pressure at the root, and for a liquid near 1 bar
// (Z ~ 0.005) that pressure carries the rounding of Z = 1 + rho a_rho, some 1e-11 relative: that
// shift is bounded on its own. The two roots (the monitor's host search, the model's Newton) may
// differ in their last bits; ln phi_k moves with the density by v_k rho (dP/drho)/(R T) (about 1e4
// for a dissolved polymer), which widens its tolerance by that much times the gap in V.
// ln_z_resolution: where Z = 1 + rho d(alpha_r)/d(rho) is the small remainder of a cancellation (a
// dense liquid at low pressure), two evaluations of the same model resolve ln Z only to about
// ln_z_resolution |Z - 1|/Z; that much is added to ln phi's tolerance, and so is the monitor's own
// residual there: the log of the pressure at its root over P (its ln phi takes ln Z at its root).
inline void expect_model_equals_monitor(const Model &m, double t, double p, const std::vector<double> &z,
                                        std::int64_t kvl, const MonitorResult &monitor, double ln_z_resolution = 0.0) {
    ASSERT_EQ(monitor.kstat, 1);
    const auto props =
        properties_at_pressure(m, t, p, molecules(m, z), kvl == 2 ? Phase::liquid : Phase::vapour);
    ASSERT_TRUE(props.has_value());
    const double log_pressure_shift = std::log(props->p / p);
    EXPECT_LT(std::fabs(log_pressure_shift), 2e-11);
    const double root_gap = std::fabs(props->v_apparent / monitor.v - 1.0);
    EXPECT_LT(root_gap, 1e-12);
    double cancellation = 0.0;
    if (ln_z_resolution > 0.0) {
        const Properties at_its_root = properties(m, t, props->rho * props->v_apparent / monitor.v, molecules(m, z));
        cancellation = ln_z_resolution * std::fabs(props->z - 1.0) / props->z + std::fabs(std::log(at_its_root.p / p));
    }
    for (std::size_t k = 0; k < z.size(); ++k) {
        const double sensitivity =
            std::fabs(props->partial_volume[k] * props->rho * props->dp_drho / (kGasConstant * t));
        EXPECT_NEAR(props->ln_phi_apparent[k] + log_pressure_shift, monitor.phi[k],
                    1e-12 * (1.0 + std::fabs(monitor.phi[k])) + sensitivity * root_gap + cancellation)
            << k;
    }
    EXPECT_NEAR(props->h_res_apparent / monitor.h, 1.0, 1e-10);
    EXPECT_NEAR(props->s_departure_apparent / monitor.s, 1.0, 1e-10);
    EXPECT_NEAR(props->g_departure_apparent / monitor.g, 1.0, 1e-10);
}

}  // namespace keld::testing
