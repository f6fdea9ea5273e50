// The Sanchez-Lacombe monitor through its exported entry points, on the
// reference host, as a simulator calls it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/monitor_call.h"

namespace keld {
namespace {

using refhost::ComponentKind;
using refhost::ReferenceHost;
using refhost::SegmentShare;
using testing::call_monitor;
using testing::MonitorArgs;
using testing::MonitorResult;

constexpr double kR = 8314.462618;
constexpr double kPref = 101325.0;

// Toluene, a styrene segment, polystyrene (MWN 1e5) built from it, n-hexane.
struct SlSystem : ::testing::Test {
    ReferenceHost host;
    std::int64_t toluene = 0, styrene = 0, ps = 0, hexane = 0;

    void SetUp() override {
        toluene = host.add_component("TOLUENE", ComponentKind::ordinary, 92.14);
        styrene = host.add_component("STYRENE", ComponentKind::segment, 104.15);
        ps = host.add_polymer("PS", ComponentKind::polymer, 104.15, 1.0e5);
        hexane = host.add_component("HEXANE", ComponentKind::ordinary, 86.18);
        const SegmentShare share{styrene, 1.0};
        host.set_segment_composition(ps, {&share, 1});
        set_characteristics(toluene, 543.0, 402.0e6, 966.0);
        set_characteristics(styrene, 735.0, 357.0e6, 1105.0);
        set_characteristics(hexane, 476.0, 298.0e6, 775.0);
        host.capture_messages();
        host.install();
        initialise();
    }
    void set_characteristics(std::int64_t i, double t_star, double p_star, double rho_star) {
        host.set_unary("SLTSTR", i, t_star);
        host.set_unary("SLPSTR", i, p_star);
        host.set_unary("SLRSTR", i, rho_star);
    }
    void initialise() {
        const std::int64_t nds = host.data_set_count();
        KELD_ESPSLI(&nds);
    }
    MonitorResult sl(const MonitorArgs &a) { return call_monitor(KELD_ESSLP, a); }
    MonitorArgs mixture(double t, double p, std::vector<std::int64_t> idx, std::vector<double> z) {
        MonitorArgs a;
        a.t = t;
        a.p = p;
        a.idx = std::move(idx);
        a.z = std::move(z);
        return a;
    }
    // Store words of the monitor's work area (KWORK = 0).
    double work(std::int64_t offset) { return host.work_area()[static_cast<std::size_t>(offset)]; }
    double eps_cross(std::int64_t i, std::int64_t j) {
        const std::int64_t nc = host.component_count();
        return work(10 * nc + 3 * nc * nc + (j - 1) * nc + (i - 1));
    }
    double v_cross(std::int64_t i, std::int64_t j) {
        const std::int64_t nc = host.component_count();
        return work(10 * nc + 4 * nc * nc + (j - 1) * nc + (i - 1));
    }
};

// The classic reduced lattice-fluid equation of state of a pure fluid.
double lattice_fluid_residual(double t, double p, double v, double mw, double t_star, double p_star,
                              double rho_star) {
    const double r = mw * p_star / (rho_star * kR * t_star);
    const double v_star = kR * t_star / p_star;
    const double rho_red = r * v_star / v, t_red = t / t_star, p_red = p / p_star;
    return rho_red * rho_red + p_red + t_red * (std::log(1.0 - rho_red) + (1.0 - 1.0 / r) * rho_red);
}

TEST_F(SlSystem, PureRootsSatisfyTheLatticeFluidEquation) {
    MonitorArgs liquid = mixture(300.0, 1.0e5, {toluene}, {1.0});
    const MonitorResult l = sl(liquid);
    EXPECT_EQ(l.kstat, 1);
    EXPECT_NEAR(lattice_fluid_residual(300.0, 1.0e5, l.v, 92.14, 543.0, 402.0e6, 966.0), 0.0, 1e-11);
    EXPECT_NEAR(92.14 / l.v, 860.0, 40.0);  // toluene near 860 kg/m3 at room temperature

    MonitorArgs vapour = mixture(300.0, 1000.0, {toluene}, {1.0});
    vapour.kvl = 1;
    const MonitorResult v = sl(vapour);
    EXPECT_NEAR(lattice_fluid_residual(300.0, 1000.0, v.v, 92.14, 543.0, 402.0e6, 966.0), 0.0, 1e-11);
    EXPECT_NEAR(v.v * 1000.0 / (kR * 300.0), 1.0, 0.02);  // nearly ideal at 1 kPa

    MonitorArgs polymer = mixture(450.0, 1.0e5, {ps}, {1.0});
    const MonitorResult p = sl(polymer);
    EXPECT_EQ(p.kstat, 1);
    // V is per apparent kmol (kmol of styrene units): scale back to the molecule.
    EXPECT_NEAR(lattice_fluid_residual(450.0, 1.0e5, p.v * 1.0e5 / 104.15, 1.0e5, 735.0, 357.0e6, 1105.0), 0.0,
                1e-11);
}

TEST_F(SlSystem, PureFugacityMatchesGibbsDeparture) {
    for (const std::int64_t kvl : {1, 2}) {
        MonitorArgs a = mixture(350.0, kvl == 1 ? 5.0e3 : 5.0e5, {hexane}, {1.0});
        a.kvl = kvl;
        const MonitorResult r = sl(a);
        EXPECT_NEAR(r.phi[0], r.g / (kR * 350.0) - std::log(a.p / kPref), 1e-9) << "phase " << kvl;
        EXPECT_NEAR(r.g, r.h - 350.0 * r.s, 1e-6 * std::abs(r.h) + 1e-6);
    }
}

// n G / RT on the host's apparent basis as a function of apparent moles.
double apparent_gibbs(SlSystem &f, MonitorArgs a, const std::vector<double> &moles) {
    double total = 0.0;
    for (double m : moles) total += m;
    for (std::size_t k = 0; k < moles.size(); ++k) a.z[k] = moles[k] / total;
    a.flags = {0, 0, 0, 1, 0};
    return total * f.sl(a).g / (kR * a.t);
}

TEST_F(SlSystem, LogFugacityIsTheCompositionDerivativeOfGibbsEnergy) {
    // Polystyrene in toluene and hexane, liquid, with a binary on the solvents.
    host.set_binary("SLKIJ", toluene, hexane, 0.02);
    const std::vector<double> moles{0.5, 0.2, 0.3};
    MonitorArgs a = mixture(400.0, 2.0e5, {toluene, ps, hexane}, {0.5, 0.2, 0.3});
    const MonitorResult r = sl(a);
    ASSERT_EQ(r.kstat, 1);
    const double mw[3] = {92.14, 104.15, 86.18}, mwn[3] = {92.14, 1.0e5, 86.18};
    double true_total = 0.0;
    for (int k = 0; k < 3; ++k) true_total += moles[k] * mw[k] / mwn[k];
    for (int k = 0; k < 3; ++k) {
        const double x = moles[k] * mw[k] / mwn[k] / true_total;
        const double true_log_phi = r.phi[k] - std::log(x / moles[k]);
        const double expected = mw[k] / mwn[k] * (true_log_phi + std::log(a.p / kPref));
        const double h = 1e-5 * moles[k];
        std::vector<double> up = moles, down = moles;
        up[k] += h;
        down[k] -= h;
        const double numeric = (apparent_gibbs(*this, a, up) - apparent_gibbs(*this, a, down)) / (2 * h);
        EXPECT_NEAR(numeric, expected, 1e-6 * std::abs(expected) + 1e-9) << "component " << k;
    }
}

TEST_F(SlSystem, EnthalpyAndEntropyAreTemperatureDerivativesOfGibbsEnergy) {
    for (const std::int64_t kvl : {1, 2}) {
        MonitorArgs a = mixture(420.0, kvl == 1 ? 2.0e4 : 3.0e5, {toluene, ps}, {0.9, 0.1});
        a.kvl = kvl;
        const MonitorResult r = sl(a);
        const double dt = 0.01;
        MonitorArgs up = a, down = a;
        up.t += dt;
        down.t -= dt;
        const MonitorResult ru = sl(up), rd = sl(down);
        const double dg_dt = (ru.g - rd.g) / (2 * dt);
        const double d_g_over_t = (ru.g / up.t - rd.g / down.t) / (2 * dt);
        EXPECT_NEAR(r.s, -dg_dt, 1e-5 * std::abs(r.s) + 1e-3) << "phase " << kvl;
        EXPECT_NEAR(r.h, -a.t * a.t * d_g_over_t, 1e-5 * std::abs(r.h) + 1e-2) << "phase " << kvl;
        // The derivative outputs are one-sided differences in the phase's direction.
        const double step = (kvl == 2 ? -1e-4 : 1e-4) * a.t;
        MonitorArgs shifted = a;
        shifted.t += step;
        const MonitorResult rs = sl(shifted);
        EXPECT_NEAR(r.dh, (rs.h - r.h) / step, 1e-6 * std::abs(r.dh) + 1e-6);
        EXPECT_NEAR(r.ds, (rs.s - r.s) / step, 1e-6 * std::abs(r.ds) + 1e-8);
        EXPECT_NEAR(r.dg, (rs.g - r.g) / step, 1e-6 * std::abs(r.dg) + 1e-6);
        EXPECT_NEAR(r.dv, (rs.v - r.v) / step, 1e-6 * std::abs(r.dv) + 1e-12);
        for (int k = 0; k < 2; ++k) {
            // ln phi of the shifted call carries its own pressure correction; at a converged root it is nil.
            EXPECT_NEAR(r.dphi[k], (rs.phi[k] - r.phi[k]) / step, 1e-5 * std::abs(r.dphi[k]) + 1e-7);
        }
        // And they agree with the central difference to first order.
        EXPECT_NEAR(r.dg, dg_dt, 1e-3 * std::abs(dg_dt));
        EXPECT_NEAR(r.dv, (ru.v - rd.v) / (2 * dt), 2e-3 * std::abs(r.dv));
    }
}

TEST_F(SlSystem, PolymerFromOneSegmentTakesTheSegmentsCharacteristics) {
    sl(mixture(450.0, 1.0e5, {toluene, ps}, {0.5, 0.5}));
    EXPECT_NEAR(host.component_value("TSTARL", ps), 735.0, 1e-9);
    EXPECT_NEAR(host.component_value("PSTARL", ps) / 357.0e6, 1.0, 1e-13);
    EXPECT_NEAR(host.component_value("DSTARL", ps) / 1105.0, 1.0, 1e-13);
    EXPECT_EQ(host.unary("SLSRC", ps), 1.0);
    EXPECT_EQ(host.unary("SLSRC", toluene), 0.0);
}

TEST_F(SlSystem, PolymerWithOwnParametersKeepsThemAndOneMissingReplacesAll) {
    set_characteristics(ps, 700.0, 380.0e6, 1080.0);
    sl(mixture(450.0, 1.0e5, {ps}, {1.0}));
    EXPECT_EQ(host.unary("SLSRC", ps), 2.0);
    EXPECT_EQ(host.component_value("TSTARL", ps), 700.0);
    EXPECT_EQ(host.component_value("DSTARL", ps), 1080.0);
    host.set_unary("SLRSTR", ps, ReferenceHost::missing_value);
    sl(mixture(450.0, 1.0e5, {ps}, {1.0}));
    EXPECT_EQ(host.unary("SLSRC", ps), 1.0);
    EXPECT_NEAR(host.component_value("TSTARL", ps), 735.0, 1e-9);
    EXPECT_NEAR(host.component_value("PSTARL", ps) / 357.0e6, 1.0, 1e-13);
}

TEST_F(SlSystem, CrossValuesFollowThePolymerSource) {
    host.set_binary("SLKIJ", toluene, styrene, 0.05);
    host.set_binary("SLETIJ", toluene, styrene, 0.01);
    sl(mixture(450.0, 1.0e5, {toluene, ps}, {0.5, 0.5}));
    const double e_tol = kR * 543.0, e_sty = kR * 735.0;
    const double v_tol = kR * 543.0 / 402.0e6, v_sty = kR * 735.0 / 357.0e6;
    // Segment-built polymer without its own binary: through its segment, with the segment's binaries.
    EXPECT_NEAR(eps_cross(toluene, ps) / (std::sqrt(e_tol * e_sty) * 0.95), 1.0, 1e-13);
    EXPECT_EQ(eps_cross(ps, toluene), eps_cross(toluene, ps));
    EXPECT_NEAR(v_cross(toluene, ps) / (0.5 * (v_tol + v_sty) * 0.99), 1.0, 1e-13);
    // A binary given for the polymer itself takes the plain rule.
    host.set_binary("SLKIJ", toluene, ps, 0.02);
    sl(mixture(450.0, 1.0e5, {toluene, ps}, {0.5, 0.5}));
    EXPECT_NEAR(eps_cross(toluene, ps) / (std::sqrt(e_tol * e_sty) * 0.98), 1.0, 1e-13);
    // A polymer with its own parameters meets a solvent by the plain rule.
    host.set_binary("SLKIJ", toluene, ps, 0.0);
    set_characteristics(ps, 700.0, 380.0e6, 1080.0);
    sl(mixture(450.0, 1.0e5, {toluene, ps}, {0.5, 0.5}));
    EXPECT_NEAR(eps_cross(toluene, ps) / std::sqrt(e_tol * kR * 700.0), 1.0, 1e-13);
}

TEST_F(SlSystem, SolventFlagLeftUnclearedStillMeetsPolymerThroughSegments) {
    host.set_unary("SLSRC", toluene, ReferenceHost::missing_value);  // as before any initialisation
    host.set_binary("SLKIJ", toluene, styrene, 0.05);
    sl(mixture(450.0, 1.0e5, {toluene, ps}, {0.5, 0.5}));
    EXPECT_NEAR(eps_cross(toluene, ps) / (kR * std::sqrt(543.0 * 735.0) * 0.95), 1.0, 1e-13);
}

TEST_F(SlSystem, AsymmetricBinaryCountsInListOrder) {
    // (i, j) with i listed first decides; toluene 1 and styrene 2 in order take the straight-through path.
    const std::int64_t lists[][2] = {{1, 4}, {4, 1}, {1, 2}, {2, 1}};
    const double t_star[] = {543.0, 735.0, 0.0, 476.0}, p_star[] = {402.0e6, 357.0e6, 0.0, 298.0e6};
    for (const auto &[i, j] : lists) {
        for (const char *name : {"SLKIJ", "SLETIJ"}) {
            host.set_binary(name, i, j, 0.01 * static_cast<double>(i + 2 * j));
            host.set_binary(name, j, i, 0.09);
        }
        sl(mixture(350.0, 1.0e5, {i, j}, {0.5, 0.5}));
        const double e_i = kR * t_star[i - 1], e_j = kR * t_star[j - 1], k = 0.01 * static_cast<double>(i + 2 * j);
        EXPECT_NEAR(eps_cross(i, j) / ((1.0 - k) * std::sqrt(e_i * e_j)), 1.0, 1e-15) << i << ", " << j;
        EXPECT_NEAR(v_cross(i, j) / (0.5 * (1.0 - k) * (e_i / p_star[i - 1] + e_j / p_star[j - 1])), 1.0, 1e-15);
        EXPECT_EQ(eps_cross(j, i), eps_cross(i, j));
        EXPECT_EQ(v_cross(j, i), v_cross(i, j));
        for (const char *name : {"SLKIJ", "SLETIJ"}) host.set_binary(name, i, j, 0.0), host.set_binary(name, j, i, 0.0);
    }
}

TEST_F(SlSystem, IdealGasExitBelowTheThresholdAndFullModelAtIt) {
    MonitorArgs a = mixture(300.0, 5.4e-5, {ps}, {1.0});
    a.kvl = 1;
    const MonitorResult ideal = sl(a);
    EXPECT_DOUBLE_EQ(ideal.v, kR * 300.0 / 5.4e-5 * 104.15 / 1.0e5);
    EXPECT_EQ(ideal.h, 0.0);
    EXPECT_EQ(ideal.phi[0], 0.0);
    EXPECT_EQ(ideal.dphi[0], 0.0);
    a.p = 5.5e-5;
    const MonitorResult full = sl(a);
    EXPECT_NE(full.h, 0.0);  // the residual model ran
    EXPECT_NEAR(full.v / (kR * 300.0 / 5.5e-5 * 104.15 / 1.0e5), 1.0, 1e-3);
}

TEST_F(SlSystem, FlagsDecideWhatIsWritten) {
    MonitorArgs a = mixture(350.0, 1.0e5, {toluene, hexane}, {0.4, 0.6});
    a.flags = {0, 0, 0, 0, 0};
    const MonitorResult none = sl(a);
    EXPECT_EQ(none.kstat, 1);
    for (double out : {none.h, none.s, none.g, none.v, none.dh, none.ds, none.dg, none.dv, none.phi[0], none.dphi[1]})
        EXPECT_EQ(out, testing::kUntouchedOutput);
    a.flags = {0, 0, 0, 0, 2};
    const MonitorResult dv_only = sl(a);
    EXPECT_NE(dv_only.dv, testing::kUntouchedOutput);
    EXPECT_GT(dv_only.dv, 0.0);  // a liquid expands on heating
    EXPECT_EQ(dv_only.h, testing::kUntouchedOutput);
    a.flags = {3, 3, 3, 3, 3};
    const MonitorResult all = sl(a);
    EXPECT_DOUBLE_EQ(all.dv, dv_only.dv);
}

TEST_F(SlSystem, VectorFormEqualsScalarCalls) {
    const double t = 330.0;
    const double p[3] = {1.0e5, 2.0e5, 3.0e5};
    const std::int64_t n = 3, idx[3] = {toluene, hexane, styrene};
    const std::int64_t kwork = 0, kspare = 0, kvl = 2, k3 = 3, kds = 1, kdiag = 4, kopt = 0;
    double phi[3], h[3], s[3], g[3], v[3], dphi[3], dh[3], ds[3], dg[3], dv[3];
    std::int64_t kstat = 1;
    KELD_ESSLPA(&t, p, &n, idx, &kwork, &kspare, &kvl, &k3, &k3, &k3, &k3, &k3, &kds, &kdiag, phi, h, s, g, v, dphi,
                dh, ds, dg, dv, &kstat, &kopt);
    for (int k = 0; k < 3; ++k) {
        MonitorArgs a = mixture(t, p[k], {idx[k]}, {1.0});
        const MonitorResult r = sl(a);
        EXPECT_EQ(phi[k], r.phi[0]);
        EXPECT_EQ(h[k], r.h);
        EXPECT_EQ(s[k], r.s);
        EXPECT_EQ(g[k], r.g);
        EXPECT_EQ(v[k], r.v);
        EXPECT_EQ(dphi[k], r.dphi[0]);
        EXPECT_EQ(dh[k], r.dh);
        EXPECT_EQ(dv[k], r.dv);
    }
    EXPECT_EQ(kstat, 1);
}

TEST_F(SlSystem, ArgumentsThatCannotBeHonouredGiveNaNAndStatusZero) {
    const auto rejected = [&](MonitorArgs a) {
        const MonitorResult r = sl(a);
        return r.kstat == 0 && std::isnan(r.h) && std::isnan(r.phi[0]) && std::isnan(r.dv);
    };
    MonitorArgs a = mixture(350.0, 1.0e5, {toluene, hexane}, {0.5, 0.5});
    MonitorArgs bad = a;
    bad.idx = {toluene, 9};
    EXPECT_TRUE(rejected(bad));
    bad = a;
    bad.idx = {0, 1, 2, 3, 4};
    bad.z = {0.2, 0.2, 0.2, 0.2, 0.2};
    EXPECT_TRUE(rejected(bad));  // more components than the problem has
    bad = a;
    bad.kds = 2;  // the host has one data set
    EXPECT_TRUE(rejected(bad));
    bad = a;
    bad.kwork = host.work_words();  // work area past the store
    EXPECT_TRUE(rejected(bad));
    bad = a;
    bad.t = std::nan("");
    EXPECT_TRUE(rejected(bad));
    bad = a;
    bad.p = -1.0;
    EXPECT_TRUE(rejected(bad));
    EXPECT_EQ(sl(a).kstat, 1);
}

TEST_F(SlSystem, MissingValueReachingTheMonitorIsUsedAsItStands) {
    host.set_unary("SLTSTR", hexane, ReferenceHost::missing_value);
    const MonitorResult r = sl(mixture(350.0, 1.0e5, {toluene, hexane}, {0.5, 0.5}));
    (void)r;  // no particular result: the call must only return normally
    SUCCEED();
}

}  // namespace
}  // namespace keld
