// Results of both 27-argument monitors where they used to be silently wrong:
// infinite dilution on the apparent basis, and parameters missing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
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


// A parameter equal to the missing-value marker is never computed with: the
// call is refused (NaN, KSTAT 0) with a message naming parameter and component.
struct MissingCase {
    const char *what;
    MonitorFn monitor;
    void (*spoil)(PolymerSolution &);  // makes one value missing
    bool segment_listed;               // list STY and toluene instead of PS and toluene
    const char *message;               // expected detail line, "" when the call must succeed
};

void clear(PolymerSolution &s, const char *name, std::int64_t component) {
    s.host.set_unary(name, component, refhost::ReferenceHost::missing_value);
}

const MissingCase kMissingCases[] = {
    {"PC-SAFT solvent without m", KELD_ESPCSF, [](PolymerSolution &s) { clear(s, "PCSFTM", s.tol); }, false,
     "PCSFTM (DATA SET   1) MISSING FOR COMPONENT TOLUENE"},
    {"PC-SAFT segment listed as a component", KELD_ESPCSF, [](PolymerSolution &) {}, true,
     "PCSFTM (DATA SET   1) MISSING FOR SEGMENT STY"},
    {"PC-SAFT polymer averaged over a segment without eps", KELD_ESPCSF,
     [](PolymerSolution &s) { clear(s, "PCSFTU", s.sty); }, false, "PCSFTU (DATA SET   1) MISSING FOR SEGMENT STY"},
    {"Sanchez-Lacombe solvent without P*", KELD_ESSLP, [](PolymerSolution &s) { clear(s, "SLPSTR", s.tol); },
     false, "SLPSTR (DATA SET   1) MISSING FOR COMPONENT TOLUENE"},
    {"Sanchez-Lacombe polymer built from a segment without rho*", KELD_ESSLP,
     [](PolymerSolution &s) {
         clear(s, "SLTSTR", s.ps);
         clear(s, "SLRSTR", s.sty);
     },
     false, "SLRSTR (DATA SET   1) MISSING FOR SEGMENT STY"},
    {"Sanchez-Lacombe segment listed with its own parameters", KELD_ESSLP, [](PolymerSolution &) {}, true, ""},
};

TEST(MissingParameters, AreRefusedWithAMessageNamingThem) {
    for (const MissingCase &c : kMissingCases) {
        PolymerSolution s;
        c.spoil(s);
        s.host.capture_messages();
        const std::vector<std::int64_t> idx = {c.segment_listed ? s.sty : s.ps, s.tol};
        const MonitorResult r = call_monitor(c.monitor, 350.0, 1e5, {0.1, 0.9}, idx);
        const auto &lines = s.host.captured_messages();
        if (*c.message == '\0') {
            EXPECT_EQ(r.kstat, 1) << c.what;
            EXPECT_TRUE(std::isfinite(r.phi[0]) && std::isfinite(r.v)) << c.what;
            continue;
        }
        EXPECT_EQ(r.kstat, 0) << c.what;
        EXPECT_TRUE(std::isnan(r.phi[0]) && std::isnan(r.phi[1]) && std::isnan(r.v) && std::isnan(r.dh)) << c.what;
        ASSERT_EQ(lines.size(), 2u) << c.what;
        EXPECT_NE(lines[0].find("HAS MISSING PARAMETERS:"), std::string::npos) << c.what;
        EXPECT_EQ(lines[1], std::string("      ") + c.message) << c.what;
    }
}

}  // namespace
}  // namespace keld::testing
