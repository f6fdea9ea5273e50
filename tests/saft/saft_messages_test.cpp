// What the SAFT routines tell the host: message texts (one table), the parameters they complete or
// refuse, and the store positions of the position service.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/saft_systems.h"

using namespace keld::testing;
using keld::refhost::ComponentKind;
using keld::refhost::ReferenceHost;

namespace {

constexpr double kMissing = ReferenceHost::missing_value;

struct SaftMessages : ::testing::Test {
    ReferenceHost host;
    std::int64_t c6 = add_saft_fluid(host, kHexaneHr), tol = add_saft_fluid(host, kTolueneHr);
    SaftArguments args{host};
    SaftMessages() {
        host.install();
        host.capture_messages();
        host.message_policy().mode = keld::refhost::MessageMode::accept_all;
    }
    MonitorResult essaft(double t = 298.15) { return args.call(host, t, 1e5, {0.5, 0.5}, {c6, tol}); }
};

// A host that offers one volume, then gives up: a liquid stretched to negative pressure.
double g_offered = 0.0;
void offer_then_fail(std::int64_t *state, std::int64_t *, const double *, double *v) {
    *state = *state == 4 ? 1 : 5;
    if (*state == 1) *v = g_offered;
}

TEST_F(SaftMessages, TextsAsPrinted) {
    struct Case {
        const char *what;
        std::function<void(SaftMessages &)> run;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases{
        {"missing SAFTV of two components: defaults, the heading once",
         [](SaftMessages &f) {
             f.args.v[f.c6 - 1] = f.args.v[f.tol - 1] = kMissing;
             EXPECT_EQ(f.essaft().kstat, 1);
             EXPECT_EQ(f.args.v[f.c6 - 1], 0.012);
             EXPECT_EQ(f.args.v[f.tol - 1], 0.012);
         },
         {"      EQUATION OF STATE MODEL ESSAFT HAS MISSING PARAMETERS:",
          "      SAFTV (DATA SET   1) MISSING FOR COMPONENT NC6", "      SAFTV (DATA SET   1) MISSING FOR COMPONENT TOLUENE"}},
        {"non-symmetric k_ij: the first wins; one order only is no conflict",
         [](SaftMessages &f) {
             f.host.error_control2(16) = '*';
             f.args.kij[(f.tol - 1) * f.args.nc + f.c6 - 1] = 0.01;
             f.args.kij[(f.c6 - 1) * f.args.nc + f.tol - 1] = 0.02;
             f.args.lij[(f.tol - 1) * f.args.nc + f.c6 - 1] = 0.05;
             f.essaft();
             EXPECT_NEAR(f.args.u0ij[(f.tol - 1) * f.args.nc + f.c6 - 1],
                         0.99 * std::sqrt(kHexaneHr.u0 * kTolueneHr.u0), 1e-12);
             EXPECT_NEAR(f.args.mij[(f.c6 - 1) * f.args.nc + f.tol - 1], 0.95 * (kHexaneHr.m + kTolueneHr.m) / 2,
                         1e-12);
         },
         {"      SFTKIJ BINARY PARAMETERS FOR COMPONENTS *NC6     *-*TOLUENE *",
          "      NOT SYMMETRIC (DATA SET   1); VALUE ASSUMED =  0.100E-01"}},
        {"missing e/k: nothing computed",
         [](SaftMessages &f) {
             f.args.e[f.tol - 1] = kMissing;
             const MonitorResult r = f.essaft();
             EXPECT_EQ(r.kstat, 0);
             EXPECT_TRUE(std::isnan(r.phi[0]) && std::isnan(r.v) && std::isnan(r.dh));
         },
         {"      EQUATION OF STATE MODEL ESSAFT CANNOT COMPUTE PROPERTIES:",
          "      SAFTE (DATA SET   1) MISSING FOR COMPONENT TOLUENE"}},
        {"stored monitor with SAFTU missing: nothing computed",
         [](SaftMessages &f) {
             f.host.set_unary("SAFTU", f.c6, kMissing);
             EXPECT_EQ(call_monitor(KELD_PSAFM1, 300.0, 1e5, {1.0}, {f.c6}).kstat, 0);
             f.host.set_unary("SAFTU", f.c6, kHexaneHr.u0);
         },
         {"      EQUATION OF STATE MODEL POLYSAFT CANNOT COMPUTE PROPERTIES:",
          "      SAFTU (DATA SET   1) MISSING FOR COMPONENT NC6"}},
        {"infeasible conditions",
         [](SaftMessages &f) {
             g_offered = 1.25 * f.args.call(f.host, 298.15, 1e5, {1.0}, {f.c6}).v;
             RootRecorder recorder(f.host);
             recorder.override_with = &offer_then_fail;
             f.host.clear_captured_messages();
             const MonitorResult r = f.args.call(f.host, 298.15, 1e5, {1.0}, {f.c6}, {2, {1, 1, 1, 1, 1}});
             EXPECT_EQ(r.kstat, 0);
             EXPECT_TRUE(std::isfinite(r.phi[0]));
         },
         {"      EQUATION OF STATE MODEL ESSAFT FAILED DUE TO INFEASIBLE",
          "      CONDITIONS (DATA SET   1) AT TEMPERATURE   298.    K", "      AND PRESSURE  0.100E+06 PA.",
          "      COMPONENT  MOLE FRACTION  COMPONENT  MOLE FRACTION", "      NC6         1.000"}},
        {"initialisation: approximate values, one heading over the whole call",
         [](SaftMessages &f) {
             const std::int64_t light = f.host.add_component("LIGHT", ComponentKind::ordinary, 20.0),
                                tiny = f.host.add_component("TINY", ComponentKind::ordinary, 10.0),
                                seg = f.host.add_component("SEG", ComponentKind::segment, 20.0);
             f.host.add_polymer("POLY", ComponentKind::polymer, 20.0, 1e4);
             for (const char *name : {"SAFTU", "SAFTV"}) f.host.set_unary(name, tiny, 1.0);
             f.host.install();
             const std::int64_t nds = 1;
             KELD_ESSFTI(&nds);
             EXPECT_NEAR(f.host.unary("SAFTM", light), 0.046647001057863235 * 20 + 0.07040199637413025, 1e-15);
             EXPECT_EQ(f.host.unary("SAFTM", tiny), 1.0);
             EXPECT_EQ(f.host.unary("SAFTM", seg), kMissing);  // segments only get SAFTR
             EXPECT_EQ(f.host.unary("SAFTM", light + 3), kMissing);  // nor polymers anything
             // The volume fit is the molecule's m v00, shared out over its segments.
             EXPECT_NEAR(f.host.unary("SAFTV", light) * f.host.unary("SAFTM", light),
                         (0.5518699884414673 * 20 + 11.887999534606934) / 1000, 1e-15);
         },
         {"      EQUATION OF STATE MODEL POLYSAFT HAS MISSING PARAMETERS:",
          "      SAFTM (DATA SET   1) MISSING FOR COMPONENT LIGHT", "      AN APPROXIMATE VALUE OF  1.0033 ASSUMED",
          "      SAFTU (DATA SET   1) MISSING FOR COMPONENT LIGHT", "      A APPROXIMATE VALUE OF  189. (K) ASSUMED",
          "      SAFTV (DATA SET   1) MISSING FOR COMPONENT LIGHT",
          "      A APPROXIMATE VALUE OF 0.0228 (CUM/KMOL) ASSUMED",
          "      SAFTM (DATA SET   1) MISSING FOR COMPONENT TINY", "      AN APPROXIMATE VALUE OF  1.0000 ASSUMED",
          "      SAFTU (DATA SET   1) MISSING FOR SEGMENT SEG", "      A APPROXIMATE VALUE OF  189. (K) ASSUMED",
          "      SAFTV (DATA SET   1) MISSING FOR SEGMENT SEG",
          "      A APPROXIMATE VALUE OF 0.0246 (CUM/KMOL) ASSUMED",
          "      SAFTR (DATA SET   1) MISSING FOR SEGMENT SEG", "      A APPROXIMATE VALUE OF 0.046647 ASSUMED"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        host.clear_captured_messages();
        c.run(*this);
        EXPECT_EQ(host.captured_messages(), c.lines);
    }
}

TEST_F(SaftMessages, InitialisationSkippedStillHandsTheKijTablesToTheHost) {
    host.set_unary("SAFTM", c6, kMissing);
    const double table[6] = {0.01, 0.0, 0.0, 0.002, 0.0, 300.0};  // temperature-dependent k_ij
    host.set_binary_coefficients("SFTKIJ", c6, tol, table);
    host.global(30) = 100;
    const std::int64_t nds = 1;
    KELD_ESSFTI(&nds);
    EXPECT_EQ(host.unary("SAFTM", c6), kMissing);
    EXPECT_EQ(host.unary("SFTKTD", c6), 1.0);
    EXPECT_TRUE(host.captured_messages().empty());
    // The stored monitor uses the constant coefficient: k_ij = 0.01 whatever T.
    host.global(30) = 0;
    host.set_unary("SAFTM", c6, kHexaneHr.m);
    call_monitor(KELD_PSAFM1, 350.0, 1e5, {0.5, 0.5}, {c6, tol});
    EXPECT_NEAR(host.binary("SFTUIJ", c6, tol), 0.99 * std::sqrt(kHexaneHr.u0 * kTolueneHr.u0), 1e-12);
}

TEST_F(SaftMessages, PositionServiceHandsOutTheStoreLayout) {
    std::int64_t p[30];
    const std::int64_t kwork = 7, kspare = 0, nc = host.component_count();
    KELD_SFTHLP(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6], &p[7], &p[8], &p[9], &p[10], &p[11], &p[12], &p[13],
                &p[14], &p[15], &p[16], &p[17], &p[18], &p[19], &p[20], &p[21], &p[22], &p[23], &p[24], &kwork,
                &kspare, &p[27], &p[28], &p[29]);
    const std::int64_t w = host.work_offset() + kwork;
    const std::vector<std::pair<int, std::int64_t>> expected{
        {0, host.param_offset("SAFTM") + 1}, {3, host.param_offset("SAFTE") + 1}, {4, host.param_offset("TC") + 1},
        {6, host.param_offset("MW") + 1},    {7, host.offsets4(2) + 1},         {8, w},
        {16, w + 8 * nc},                    {17, w + 9 * nc},                  {19, w + 9 * nc + 2 * nc * nc},
        {20, host.param_offset("SFTUIJ") + 1}, {21, host.param_offset("SFTMIJ") + 1},
        {24, w + 11 * nc + 3 * nc * nc},     {27, host.param_offset("SAFTR") + 1},
        {28, host.param_offset("SFTKIJ") + 1}, {29, 1}};
    for (auto [k, position] : expected) EXPECT_EQ(p[k], position) << "argument " << k + 1;
}

}  // namespace
