// The monitor's density searches, messages, status word, refusals, early exit and vector form.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "host/host.h"
#include "pcsaft_assoc/pcsaf_brent.h"
#include "pcsaft_assoc/pcsaf_density_root.h"
#include "support/pcsaf_systems.h"
#include "support/root_oracle.h"

using namespace keld::testing;

namespace {

constexpr double kR = keld::refhost::ReferenceHost::gas_constant;

// kdiag 4: every message the host's check knows is issued.
PcsafCall pure(std::int64_t c, double t, double p, std::int64_t kvl) {
    return {.t = t, .p = p, .idx = {c}, .z = {1.0}, .kvl = kvl, .kdiag = 4};
}

TEST(PcsafMonitor, HostAndOwnSearchFindTheSameRoot) {
    PcsafSystem sys;
    const auto me = sys.add(kMethanol2B), w = sys.add(kWater4C), hx = sys.add(kHexane0);
    const PcsafCall calls[] = {pure(me, 298.15, 1e5, 2), pure(me, 298.15, 1e4, 1), pure(w, 373.15, 2e5, 2),
                               {.idx = {w, me}, .z = {0.5, 0.5}},
                               {.t = 350.0, .idx = {me, hx}, .z = {0.5, 0.5}, .kvl = 1}};
    for (const PcsafCall &host_call : calls) {
        PcsafCall own = host_call;
        own.options[1] = 10;
        const PcsafResult a = sys.call(host_call), b = sys.call(own);
        EXPECT_TRUE(a.status == 1 && b.status == 1);
        EXPECT_NEAR(b.rho, a.rho, 2.0 * (6.0e-8 * a.rho + 5.0e-7)) << host_call.kvl << " " << host_call.idx.size();
        EXPECT_TRUE(a.messages.empty() && b.messages.empty());
    }
}

// Next to close packing the site fractions cannot be solved; such a volume has no pressure, and the
// host gets NaN there. A scan of P(V) through the host's routines then sees only the model's own
// crossings (it used to see a sign change at the pole, made of failed solutions, as two more roots).
TEST(PcsafMonitor, VolumesWithoutASiteSolutionAreNoRoots) {
    PcsafSystem sys;
    const auto me = sys.add(kMethanol2B), hx = sys.add(kHexane0);
    for (double t : {153.03, 232.59}) {
        const PcsafCall c{.t = t, .p = 1e8, .idx = {me, hx}, .z = {0.5, 0.5}, .kvl = 2};
        const PcsafResult r = sys.call(c);
        std::vector<double> roots;
        {
            sys.host.install();
            RootOracle oracle(sys.host);
            sys.call(c, 0, false);
            roots = oracle.roots();
        }
        ASSERT_EQ(roots.size(), 1u) << t << " K: " << ::testing::PrintToString(roots);
        EXPECT_EQ(r.status, 1);
        EXPECT_NEAR(r.v, roots[0], 1e-9 * roots[0]);
    }
}

// Far below the triple point the dense loop of P(V) crosses P beyond close packing (packing fraction
// 0.807 for methanol + n-hexane at 100 K), where the host's liquid search used to end. The liquid is
// the densest stable root below close packing (0.510); n-hexane at 50 K, 1 bar has no other root and
// is refused with the density message of the phase.
TEST(PcsafMonitor, RootsBeyondClosePackingAreNoStates) {
    constexpr double kTau = 0.74048;
    PcsafSystem sys;
    const auto me = sys.add(kMethanol2B), hx = sys.add(kHexane0);
    for (double p : {1e2, 1e5, 1e7}) {
        const PcsafCall c{.t = 100.0, .p = p, .idx = {me, hx}, .z = {0.5, 0.5}, .kvl = 2};
        std::vector<double> roots, states;
        double v_close_packed = 0.0;
        {
            sys.host.install();
            RootOracle oracle(sys.host);
            sys.call(c, 0, false);
            roots = oracle.roots();
            v_close_packed = oracle.close_packed();
            states = oracle.stable_roots_above(v_close_packed / kTau);
        }
        ASSERT_FALSE(states.empty()) << p;
        ASSERT_LT(roots.front(), v_close_packed / kTau) << p;
        const PcsafResult r = sys.call(c);
        EXPECT_EQ(r.status, 1);
        EXPECT_NEAR(r.v, states.front(), 1e-9 * states.front()) << p;
        EXPECT_NEAR(v_close_packed / r.v, 0.51, 0.005) << p;
    }
    for (std::int64_t kvl : {1, 2}) {
        const PcsafResult r = sys.call(pure(hx, 50.0, 1e5, kvl));
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(std::isnan(r.v) && std::isnan(r.phi[0]));
        ASSERT_FALSE(r.messages.empty());
        EXPECT_EQ(r.messages[0], kvl == 2 ? "      PC-SAFT CANNOT FIND A LIQUID DENSITY FOR THIS SYSTEM AT"
                                          : "      PC-SAFT CANNOT FIND A VAPOR DENSITY FOR THIS SYSTEM AT");
    }
}

TEST(PcsafMonitor, OwnSearchWithoutASignChange) {
    PcsafSystem sys;
    const auto me = sys.add(kMethanol2B), c1 = sys.add(kMethane0);
    // A vapour above every pressure the scan reaches: the ideal-gas density, no message.
    PcsafCall vapour = pure(me, 298.15, 1.0e11, 1);
    vapour.options[1] = 10;
    const PcsafResult v = sys.call(vapour);
    EXPECT_DOUBLE_EQ(v.rho, 1.0e11 / (kR * 298.15));
    EXPECT_TRUE(v.status == 0 && v.messages.empty());
    // A supercritical gas asked as a liquid at 1 Pa: P(eta) - P stays positive down to eta = 0.01.
    PcsafCall liquid = pure(c1, 400.0, 1.0, 2);
    liquid.options[1] = 10;
    const PcsafResult l = sys.call(liquid);
    const double d = 3.7039 * 0.08444643735037098 * (1.0 - 0.12 * std::exp(-3.0 * 150.03 / 400.0));
    EXPECT_NEAR(l.rho * 0.5235987756666667 * d * d * d, 0.5, 1e-14);
    EXPECT_TRUE(l.status == 0 && l.messages.empty());
}

// A site type that cannot be decoded (1999: 27 sites) makes every association solution fail.
TEST(PcsafMonitor, AssociationFailureLeavesOutputsUnwritten) {
    struct Row {
        std::int64_t kvl, root_option, check_number;
    } const rows[] = {{1, 10, 4}, {2, 10, 6}, {2, 0, 1}, {1, 0, 1}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.check_number);
        PcsafSystem sys;
        const auto me = sys.add(kMethanol2B);
        sys.types[me - 1] = 1999;
        PcsafCall c = pure(me, 300.0, 1.01325e5, row.kvl);
        c.options[1] = row.root_option;
        c.rho = 3.5;
        const PcsafResult r = sys.call(c);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.phi[0] == kUntouched && r.h == kUntouched && r.v == kUntouched && r.rho == 3.5);
        EXPECT_EQ(sys.host.message_check_count("PCSA", "F3", 1, row.check_number), 1);
        ASSERT_EQ(r.messages.size(), 4u);
        EXPECT_EQ(r.messages[0], "      PC-SAFT CANNOT CALCULATE THE ASSOCIATION CONTRIBUTION FOR THIS SYSTEM AT");
        EXPECT_EQ(r.messages[1].substr(0, 44), "      T = 300.00 (K) AND P = 0.10E+01 (ATM).");
        EXPECT_EQ(r.messages[2], "      LOWER TEMPERATURE LIMIT > 300.00 (K) IN THE FLASH OPTIONS");
    }
}

TEST(PcsafMonitor, DensityMessagesAndBrentLimit) {
    PcsafSystem sys;
    sys.add(kMethanol2B);
    sys.host.install();
    const keld::host::Host host = *keld::host::Host::current();
    keld::pcsaf::density_message(host, 1, 4, 350.0, 2.0e5);
    keld::pcsaf::density_message(host, 2, 4, 350.0, 2.0e5);
    const auto &lines = sys.host.captured_messages();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "      PC-SAFT CANNOT FIND A VAPOR DENSITY FOR THIS SYSTEM AT");
    EXPECT_EQ(lines[1], "      T = 350.00 (K) AND P = 0.20E+01 (ATM)");
    EXPECT_EQ(lines[2], "      PC-SAFT CANNOT FIND A LIQUID DENSITY FOR THIS SYSTEM AT");
    EXPECT_EQ(sys.host.message_check_count("PCSA", "F3", 3, 11), 1);
    EXPECT_EQ(sys.host.message_check_count("PCSA", "F3", 3, 12), 1);

    // Iterates that are not numbers never meet the stopping rule: the limit ends the search.
    const auto nan = [](double) -> std::optional<double> { return std::numeric_limits<double>::quiet_NaN(); };
    const keld::pcsaf::BrentOutcome stuck =
        keld::pcsaf::brent(nan, 1.0, std::numeric_limits<double>::quiet_NaN(), -1.0, 1.0);
    EXPECT_FALSE(stuck.converged);
    EXPECT_EQ(stuck.iterations, keld::pcsaf::kBrentIterations);
}

TEST(PcsafMonitor, EvaluateOnlyMode) {
    PcsafSystem sys;
    const auto me = sys.add(kMethanol2B);
    for (std::int64_t kvl : {2, 1}) {
        PcsafCall c = pure(me, 320.0, kvl == 2 ? 1e5 : 2e4, kvl);
        const PcsafResult found = sys.call(c);
        keld_host table{};
        keld_host_installed(&table);
        table.eos_log[24] = 1;
        c.rho = found.rho * 1.001;  // a density of the host's choosing
        const PcsafResult at = sys.call(c);
        table.eos_log[24] = 0;
        EXPECT_TRUE(at.status == 1 && at.rho == c.rho);
        EXPECT_NEAR(at.v, 1.0 / c.rho, 1e-15);
        const double p_calc = sys.host.root_control(kvl == 2 ? 15 : 16);
        EXPECT_GT(std::fabs(p_calc - c.p), 1.0);  // not the pressure asked: the pressure at that density
        if (kvl == 1) {
            EXPECT_LT(sys.host.root_control(20), 0.0);  // dP/dV
        }
        EXPECT_NE(at.phi[0], found.phi[0]);
    }
}

TEST(PcsafMonitor, RefusalsSayWhy) {
    PcsafSystem sys;
    const auto me = sys.add(kMethanol2B), hx = sys.add(kHexane0);
    PcsafCall c{.idx = {me, hx}, .z = {0.5, 0.5}, .kdiag = 4};
    // A missing segment diameter.
    sys.sigma[hx - 1] = kNone;
    PcsafResult r = sys.call(c, 100000);
    EXPECT_TRUE(r.status == 0 && std::isnan(r.phi[0]) && std::isnan(r.h) && std::isnan(r.v));
    ASSERT_EQ(r.messages.size(), 2u);
    EXPECT_EQ(r.messages[0], "      EQUATION OF STATE MODEL PCSAFT-A HAS MISSING PARAMETERS:");
    EXPECT_EQ(r.messages[1], "      PCSFTV (DATA SET   1) MISSING FOR COMPONENT NC6");
    sys.sigma[hx - 1] = kHexane0.sigma;
    // Association parameters without a site type.
    sys.types[me - 1] = 0;
    r = sys.call(c, 100000);
    EXPECT_EQ(r.messages.back(), "      PCSATY (DATA SET   1) MISSING FOR COMPONENT MEOH");
    sys.types[me - 1] = 2;
    // A work area shorter than the call needs.
    r = sys.call(c, sys.work_needed(c) - 1);
    EXPECT_TRUE(r.status == 0 && std::isnan(r.g) && r.messages.size() == 1u);
    EXPECT_NE(r.messages.back().find("WORK AREA TOO SMALL"), std::string::npos);
    // An argument it cannot honour.
    c.t = -1.0;
    r = sys.call(c, 100000);
    EXPECT_TRUE(r.status == 0 && std::isnan(r.s));
}

// A component count that cannot size a work area (negative, zero, below N, beyond any array) is refused
// by the work-size query (WORK(1) = 0) and by the call, before any product of it is formed: a count
// near the 64-bit limit used to overflow in the query.
TEST(PcsafMonitor, ComponentCountsThatCannotSizeAWorkAreaAreRefused) {
    PcsafSystem sys;
    const auto me = sys.add(kMethanol2B), hx = sys.add(kHexane0);
    for (std::int64_t nc : {std::numeric_limits<std::int64_t>::min(), std::int64_t{-3}, std::int64_t{1},
                            std::int64_t{1} << 40, std::numeric_limits<std::int64_t>::max()}) {
        PcsafCall c{.idx = {me, hx}, .z = {0.5, 0.5}, .nc = nc};
        EXPECT_EQ(sys.work_needed(c), 0) << nc;
        const PcsafResult r = sys.call(c, 100000);
        EXPECT_TRUE(r.status == 0 && std::isnan(r.phi[0]) && std::isnan(r.v)) << nc;
        EXPECT_EQ(r.phi[1], kUntouched) << nc;  // no position beyond the NC given (one for an unusable NC)
    }
}

TEST(PcsafMonitor, IdealGasExitAndOptions) {
    PcsafSystem sys;
    const auto me = sys.add(kMethanol2B);
    constexpr AssocFluid kUnit{"UNIT", 50.0, 2.0, 3.5, 250.0, kNone, kNone, 0, kNone, kNone};
    const auto u = sys.add_segment(kUnit);
    const auto p = sys.add_polymer("POLY", 50.0, {{u, 20000.0}});
    PcsafCall c = pure(p, 300.0, 5.0e-5, 1);
    c.flags = {3, 3, 3, 3, 3};
    PcsafResult r = sys.call(c);
    EXPECT_TRUE(r.status == 1 && r.phi[0] == 0.0);
    EXPECT_NEAR(r.v, kR * 300.0 / 5.0e-5 * 50.0 / 20000.0, 1e-6);
    EXPECT_NEAR(r.dv, kR / 5.0e-5 * 50.0 / 20000.0, 1e-9);

    // Option 3 = 11: S from (H - G)/T; option 3 = 1: no association.
    c = pure(me, 300.0, 1e5, 2);
    const PcsafResult plain = sys.call(c);
    c.options[2] = 11;
    r = sys.call(c);
    EXPECT_NEAR(r.s, (r.h - r.g) / 300.0, 1e-9 * std::fabs(r.s));
    EXPECT_NEAR(r.s, plain.s, 1e-8 * std::fabs(r.s));
    c.options[2] = 1;
    r = sys.call(c);
    sys.types[me - 1] = 0;
    sys.at(sys.kappa_ab, me, me) = kNone;
    c.options[2] = 0;
    const PcsafResult inert = sys.call(c);
    EXPECT_TRUE(r.rho == inert.rho && r.phi[0] == inert.phi[0]);
}

TEST(PcsafMonitor, VectorFormIsScalarCallsPerPoint) {
    PcsafSystem sys;
    const auto me = sys.add(kMethanol2B), hx = sys.add(kHexane0), bad = sys.add(kWater4C);
    sys.types[bad - 1] = 1999;
    sys.host.install();
    const std::int64_t npt = 3, nc = sys.nc(), kds = 1, kvl = 2, unit = 77, one = 1, zero = 0, method = 2;
    const std::int64_t idx[3] = {me, hx, bad}, opt[3] = {0, 0, 0};
    const double p[3] = {1e5, 3e5, 1e5}, t = 300.0, tol = 1e-12;
    double phi[3], h[3], s[3], g[3], v[3], rho[3] = {0, 0, 0}, dphi[3], dh[3], ds[3], dg[3], dv[3];
    for (double *a : {phi, h, s, g, v, dphi, dh, ds, dg, dv})
        for (int k = 0; k < 3; ++k) a[k] = kUntouched;
    std::vector<double> work(4000);
    const std::int64_t lwork = 4000;
    std::int64_t status = -1;
    KELD_PCSAF0(&t, p, &npt, &nc, &kvl, &one, &one, &one, &one, &one, &zero, opt, &status, idx, sys.mw.data(),
                sys.tc.data(), sys.pc.data(), &kds, sys.m.data(), sys.sigma.data(), sys.eps.data(), sys.types.data(),
                sys.eps_ab.data(), sys.kappa_ab.data(), sys.dipole.data(), sys.dipolar_fraction.data(), phi, h, s, g,
                v, dphi, dh, ds, dg, dv, sys.nseg.data(), &sys.lseg, sys.iseg.data(), sys.wseg.data(), sys.kij.data(),
                sys.lij.data(), &tol, &method, &unit, rho, &lwork, work.data(), nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(status, 0);  // the third point's association failed
    for (int k = 0; k < 2; ++k) {
        PcsafCall c = pure(idx[k], t, p[k], 2);
        c.tolerance = tol;
        const PcsafResult r = sys.call(c);
        // Same root; the site fractions start from the previous density evaluation of the call, so the
        // two may agree only to the association tolerance.
        EXPECT_TRUE(v[k] == r.v && rho[k] == r.rho);
        for (auto [a, b] : {std::pair{phi[k], r.phi[0]}, {h[k], r.h}, {g[k], r.g}})
            EXPECT_NEAR(a, b, 1e-11 * std::abs(b));
        EXPECT_EQ(dh[k], kUntouched);
    }
    EXPECT_EQ(phi[2], kUntouched);
    EXPECT_EQ(v[2], kUntouched);
}

}  // namespace
