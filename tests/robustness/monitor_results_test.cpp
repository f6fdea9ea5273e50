// Results of both 27-argument monitors where they used to be silently wrong:
// infinite dilution on the apparent basis, and parameters missing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "robustness/systems.h"

namespace keld::testing {
namespace {

// ln phi of a component is continuous in its own mole fraction down to 0: the
// solvent infinitely dilute in the polymer, and the polymer in the solvent.
TEST(InfiniteDilution, LogFugacityIsContinuousAtZero) {
    for (const Family &f : kFamilies) {
        PolymerSolution s;
        for (const bool solvent_dilute : {true, false}) {
            const std::size_t k = solvent_dilute ? 1 : 0;  // position of the dilute component
            auto ln_phi = [&](double z) {
                std::vector<double> zs(2);
                zs[k] = z;
                zs[1 - k] = 1.0 - z;
                const MonitorResult r = call_monitor(f.monitor, 400.0, 1e5, zs, {s.ps, s.tol});
                EXPECT_EQ(r.kstat, 1);
                return r.phi[k];
            };
            const double at_zero = ln_phi(0.0), near_zero = ln_phi(1e-12);
            EXPECT_NEAR(at_zero, near_zero, 1e-8 * (1.0 + std::fabs(near_zero)))
                << f.name << (solvent_dilute ? ": toluene in PS" : ": PS in toluene");
        }
    }
}

}  // namespace
}  // namespace keld::testing
