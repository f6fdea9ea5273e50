// The SAFT monitors through their exported entry points on the reference host: both against an
// independent model and their own thermodynamic consistency (one case table), published vapour-liquid
// data, the pure-component limit, many components, threads, the vector forms and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <thread>
#include <tuple>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "saft/saft_helmholtz_model.h"
#include "support/root_oracle.h"
#include "support/saft_systems.h"

using namespace keld::testing;
using keld::refhost::ComponentKind;
using keld::refhost::ReferenceHost;
namespace reference = keld::saft::reference;

namespace {

constexpr double kR = ReferenceHost::gas_constant;
constexpr double kPref = ReferenceHost::reference_pressure;
constexpr double kMwn = 1e5;  // of the polystyrene

double relative(double a, double b) { return std::fabs(a - b) / std::max(std::fabs(b), 1e-300); }

enum class Monitor { argument, stored };  // KELD_ESSAFT, KELD_PSAFM1

struct SaftMonitors : ::testing::Test {
    ReferenceHost host;
    std::int64_t c1 = add_saft_fluid(host, kMethaneHr), c3 = add_saft_fluid(host, kPropaneHr),
                 c6 = add_saft_fluid(host, kHexaneHr), tol = add_saft_fluid(host, kTolueneHr),
                 sty = add_saft_segment(host, kStyreneHr), ps = add_homopolymer(host, "PS", sty, kStyreneHr.mw, kMwn);
    SaftArguments args{host};
    SaftMonitors() {
        // The argument-driven monitor takes the polymer's parameters as given (its segment's); the
        // stored-parameter monitor finds them missing and averages them over the segment.
        args.m[ps - 1] = kMwn * kStyreneHr.r;
        args.v[ps - 1] = kStyreneHr.v00;
        args.u[ps - 1] = kStyreneHr.u0;
        args.e[ps - 1] = kStyreneHr.e;
        host.install();
    }
    MonitorResult call(Monitor m, double t, double p, const std::vector<double> &z,
                       const std::vector<std::int64_t> &idx, const CallOptions &o = {}) {
        return m == Monitor::argument ? args.call(host, t, p, z, idx, o) : call_monitor(KELD_PSAFM1, t, p, z, idx, o);
    }
    void set_kij(std::int64_t i, std::int64_t j, double k) {
        args.set_kij(i, j, k);
        const double c[1] = {k};
        host.set_binary_coefficients("SFTKIJ", i, j, c);
        host.set_binary_coefficients("SFTKIJ", j, i, c);
    }
    static std::vector<double> solution(double w) {  // apparent mole fractions (styrene units, toluene)
        const double np = w / kStyreneHr.mw, nt = (1.0 - w) / kTolueneHr.mw;
        return {np / (np + nt), nt / (np + nt)};
    }
    reference::Mixture reference_mixture(const std::vector<std::int64_t> &idx) const {
        reference::Mixture mix;
        const std::size_t n = idx.size();
        for (std::int64_t i : idx) {
            mix.m.push_back(args.m[i - 1]);
            mix.v00.push_back(args.v[i - 1]);
            mix.u0.push_back(args.u[i - 1]);
            mix.e.push_back(args.e[i - 1]);
        }
        for (std::size_t b = 0; b < n; ++b)
            for (std::size_t a = 0; a < n; ++a) {
                const std::size_t pair = (idx[b] - 1) * args.nc + idx[a] - 1;
                mix.kij.push_back(a == b ? 0.0 : args.kij[pair]);
                mix.lij.push_back(a == b ? 0.0 : args.lij[pair]);
            }
        return mix;
    }
};

// ---------------------------------------------------------------------------------------------------
// Consistency: root, ln phi, G, H, S and the analytic DV against the independent model, on the true
// basis (a polymer's apparent moles are styrene units).

TEST_F(SaftMonitors, AgreeWithTheIndependentModelAndAreConsistent) {
    struct Case {
        const char *name;
        double t, p;
        std::int64_t kvl;
        std::vector<std::int64_t> idx;
        std::vector<double> z;
        double kij, lij;  // of the first two listed components
    };
    const std::vector<Case> cases{
        {"hexane liquid", 298.15, 1e5, 2, {c6}, {1.0}, 0, 0},
        {"methane + hexane vapour, k_ij", 320.0, 2e6, 1, {c1, c6}, {0.9, 0.1}, 0.03, 0},
        {"hexane + toluene liquid, k_ij and l_ij", 330.0, 1e5, 2, {c6, tol}, {0.35, 0.65}, -0.01, 0.02},
        {"four solvents liquid, l_ij", 250.0, 5e6, 2, {tol, c1, c3, c6}, {0.4, 0.1, 0.2, 0.3}, 0.0, -0.03},
        {"polystyrene in toluene", 400.0, 1e5, 2, {ps, tol}, solution(0.3), 0, 0},
    };
    for (Monitor monitor : {Monitor::argument, Monitor::stored}) {
        for (const Case &c : cases) {
            if (monitor == Monitor::stored && c.lij != 0.0) continue;  // no l_ij from the store
            SCOPED_TRACE(std::string(c.name) + (monitor == Monitor::stored ? ", stored" : ", arguments"));
            if (c.idx.size() > 1) set_kij(c.idx[0], c.idx[1], c.kij);
            if (c.idx.size() > 1) args.set_lij(c.idx[0], c.idx[1], c.lij);
            const MonitorResult r = call(monitor, c.t, c.p, c.z, c.idx, {c.kvl});
            ASSERT_EQ(r.kstat, 1);
            std::vector<double> x(c.z);
            double f = 0.0;
            for (std::size_t k = 0; k < x.size(); ++k) f += x[k] *= c.idx[k] == ps ? kStyreneHr.mw / kMwn : 1.0;
            for (double &xk : x) xk /= f;
            const double v = r.v / f;
            const reference::State ref = reference::state(reference_mixture(c.idx), c.t, v, x, kR);
            EXPECT_LT(relative(ref.p, c.p), 1e-9);
            double sum = 0.0;
            for (std::size_t k = 0; k < x.size(); ++k) {
                const double ln_phi = r.phi[k] - std::log(x[k] / c.z[k]);
                EXPECT_NEAR(ln_phi, ref.ln_phi[k], 1e-9 * std::max(1.0, std::fabs(ref.ln_phi[k]))) << k;
                sum += x[k] * ln_phi;
            }
            EXPECT_NEAR(r.g / (f * kR * c.t) - std::log(c.p / kPref), sum, 1e-10 * std::max(1.0, std::fabs(sum)));
            const double h = kR * c.t * (ref.z - 1.0) - kR * c.t * c.t * ref.a_t;
            const double s = kR * (std::log(ref.z) - std::log(c.p / kPref)) - kR * c.t * ref.a_t - kR * ref.a;
            EXPECT_LT(std::fabs(r.h / f - h), 1e-9 * std::max(std::fabs(h), kR * c.t));
            EXPECT_LT(std::fabs(r.s / f - s), 1e-9 * std::max(std::fabs(s), kR));
            // DV: analytic in the argument-driven monitor, a one-sided difference in the stored one.
            EXPECT_LT(relative(r.dv / f, ref.dv_dt), monitor == Monitor::argument ? 1e-8 : 2e-3);
            // The other derivatives: one-sided, up for a vapour and down for a liquid, with the root solved
            // again. The stored monitor takes dA/dT at the shifted temperature from a central difference,
            // whose error (about 1e-8 of dA/dT) the one-sided step magnifies in DH and DS.
            const double dt = (c.kvl == 1 ? 1e-4 : -1e-4) * c.t;
            const double tolerance = monitor == Monitor::stored ? 1e-3 : 1e-6;
            const MonitorResult sh = call(monitor, c.t + dt, c.p, c.z, c.idx, {c.kvl, {1, 1, 1, 1, 1}});
            for (auto [d, at_t, shifted, tol] :
                 {std::tuple{r.dh, r.h, sh.h, tolerance}, {r.ds, r.s, sh.s, tolerance}, {r.dg, r.g, sh.g, 1e-6},
                  {r.dphi[0], r.phi[0], sh.phi[0], 1e-6}, {r.dphi.back(), r.phi.back(), sh.phi.back(), 1e-6}})
                EXPECT_NEAR(d, (shifted - at_t) / dt, tol * std::fabs(d) + 1e-9);
            set_kij(c.idx[0], c.idx.back(), 0.0);
            args.set_lij(c.idx[0], c.idx.back(), 0.0);
        }
    }
}

TEST_F(SaftMonitors, MixtureWithAnAbsentComponentIsThePureComponent) {
    set_kij(c6, tol, 0.02);
    args.set_lij(c6, tol, -0.04);
    for (Monitor monitor : {Monitor::argument, Monitor::stored}) {
        const MonitorResult pure = call(monitor, 320.0, 1e5, {1.0}, {c6});
        const MonitorResult mixture = call(monitor, 320.0, 1e5, {1.0, 0.0}, {c6, tol});
        for (auto [a, b] : {std::pair{mixture.phi[0], pure.phi[0]}, {mixture.v, pure.v}, {mixture.h, pure.h},
                            {mixture.s, pure.s}, {mixture.g, pure.g}, {mixture.dv, pure.dv}})
            EXPECT_LT(relative(a, b), 1e-11);
        EXPECT_TRUE(std::isfinite(mixture.phi[1]));  // toluene at infinite dilution
        EXPECT_NEAR(mixture.dphi[0], pure.dphi[0], 1e-7 * std::fabs(pure.dphi[0]));
    }
}

// ---------------------------------------------------------------------------------------------------
// Published data: n-hexane at its normal boiling point, 341.88 K. The Huang-Radosz parameters put the
// vapour pressure at 104.6 kPa (measured 101.325) and the saturated liquid at 626.7 kg/m3 (613).

TEST_F(SaftMonitors, HexaneNearItsNormalBoilingPoint) {
    const double t = 341.88;
    auto difference = [&](double p) {
        const MonitorResult l = call(Monitor::argument, t, p, {1.0}, {c6}, {2, {1, 0, 0, 0, 1}});
        const MonitorResult v = call(Monitor::argument, t, p, {1.0}, {c6}, {1, {1, 0, 0, 0, 1}});
        EXPECT_GT(v.v, 50 * l.v) << "both roots must exist near saturation, P = " << p;
        return l.phi[0] - v.phi[0];
    };
    double lo = 80e3, hi = 130e3;
    ASSERT_GT(difference(lo), 0.0);
    ASSERT_LT(difference(hi), 0.0);
    for (int i = 0; i < 50; ++i) (difference(0.5 * (lo + hi)) > 0.0 ? lo : hi) = 0.5 * (lo + hi);
    EXPECT_NEAR(lo, 101.325e3, 0.04 * 101.325e3);
    const MonitorResult liquid = call(Monitor::argument, t, lo, {1.0}, {c6}, {2, {0, 0, 0, 0, 1}});
    EXPECT_NEAR(kHexaneHr.mw / liquid.v, 613.0, 0.03 * 613.0);
    EXPECT_EQ(call(Monitor::stored, t, lo, {1.0}, {c6}, {2, {0, 0, 0, 0, 1}}).v, liquid.v);
}

// ---------------------------------------------------------------------------------------------------
// Far below the triple point SAFT's P(V) has a second, dense loop (up to five roots), whose dense
// crossing lies beyond close packing (packing fraction 0.86 for n-hexane at 231 K) and is not a state.
// The liquid is the densest stable root below close packing and the vapour the largest, the host's
// search notwithstanding (it used to end on the dense loop for a vapour request). The roots come from
// an independent scan of the model's P(V).

TEST_F(SaftMonitors, DenseLoopsLiquidIsTheDensestRootVapourTheLargest) {
    struct Case {
        double t, p;
        std::int64_t kvl;
    };
    for (const Case &k : {Case{231.45, 1e3, 2}, Case{231.45, 1e7, 2}, Case{152.28, 1e5, 1},
                          Case{187.74, 3.16e8, 1}}) {
        std::vector<double> every, roots;
        {
            RootOracle oracle(host);
            call(Monitor::argument, k.t, k.p, {1.0}, {c6}, {2, {0, 0, 0, 0, 1}});
            every = oracle.roots();
            roots = oracle.stable_roots_above(oracle.close_packed() / 0.74048);
        }
        ASSERT_GE(every.size(), 3u) << k.t << " K, " << k.p << " Pa";
        ASSERT_FALSE(roots.empty()) << k.t << " K, " << k.p << " Pa";
        const double expected = k.kvl == 2 ? roots.front() : roots.back();
        for (Monitor m : {Monitor::argument, Monitor::stored}) {
            const MonitorResult r = call(m, k.t, k.p, {1.0}, {c6}, {k.kvl, {0, 0, 0, 0, 1}});
            EXPECT_EQ(r.kstat, 1);
            EXPECT_NEAR(r.v, expected, 1e-9 * expected) << k.t << " K, " << k.p << " Pa, KVL " << k.kvl
                                                        << ", roots " << ::testing::PrintToString(roots);
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// Calling convention.

TEST(SaftManyComponents, MoreThanAHundredListedComponentsWithTemperatureDerivatives) {
    ReferenceHost host;
    std::vector<std::int64_t> idx;
    for (int k = 0; k < 105; ++k) {
        SaftFluid f = kHexaneHr;
        char id[16];
        std::snprintf(id, sizeof id, "C%d", k);
        f.id = id;
        f.u0 += 0.2 * k;
        idx.push_back(add_saft_fluid(host, f));
    }
    host.install();
    SaftArguments args(host);
    const std::vector<double> z(idx.size(), 1.0 / idx.size());
    const MonitorResult r = args.call(host, 300.0, 1e5, z, idx);
    ASSERT_EQ(r.kstat, 1);
    const MonitorResult shifted = args.call(host, 300.0 * (1 - 1e-4), 1e5, z, idx, {2, {1, 0, 0, 0, 0}});
    for (std::size_t k = 0; k < idx.size(); ++k)
        EXPECT_NEAR(r.dphi[k], (shifted.phi[k] - r.phi[k]) / (-0.03), 1e-9) << k;
}

TEST_F(SaftMonitors, TwoThreadsGetTheSingleThreadResults) {
    struct State {
        double t, p;
        std::int64_t kvl;
    };
    const std::vector<State> states{{300, 1e5, 2}, {330, 2e5, 2}, {400, 1e4, 1}, {360, 3e4, 1}};
    const std::vector<std::int64_t> idx{c6, tol};
    const std::vector<double> z{0.4, 0.6};
    std::vector<MonitorResult> expected;
    for (const State &s : states) expected.push_back(args.call(host, s.t, s.p, z, idx, {s.kvl}));
    auto work = [&](std::size_t first, int &mismatches) {
        SaftArguments own = args;
        for (int round = 0; round < 40; ++round) {
            const std::size_t k = (first + round) % states.size();
            const MonitorResult r = own.call(host, states[k].t, states[k].p, z, idx, {states[k].kvl});
            const MonitorResult &e = expected[k];
            mismatches += r.phi != e.phi || r.dphi != e.dphi || r.h != e.h || r.s != e.s || r.g != e.g ||
                          r.v != e.v || r.dh != e.dh || r.ds != e.ds || r.dg != e.dg || r.dv != e.dv;
        }
    };
    int first = 0, second = 0;
    std::thread a(work, 0, std::ref(first)), b(work, 1, std::ref(second));
    a.join();
    b.join();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
}

TEST_F(SaftMonitors, VectorFormsEqualScalarCallsPerComponent) {
    const std::vector<std::int64_t> idx{c6, tol, c6};
    const std::vector<double> p{1e5, 2e5, 3e5};
    const double t = 320.0;
    const std::int64_t n = 3, kvl = 2, flag = 3, kds = 1, kdiag = 4, kwork = 0, kspare = 0, kopt = 0;
    const std::vector<double> mwn{kHexaneHr.mw, kTolueneHr.mw, kHexaneHr.mw};
    std::vector<double> unused(3);
    for (Monitor monitor : {Monitor::argument, Monitor::stored}) {
        std::int64_t kstat = 1;
        std::vector<double> out(30, -1.0);
        double *o = out.data(), *w = args.work.data();
        const std::int64_t nc = args.nc;
        if (monitor == Monitor::argument)
            KELD_ESSFTA(&t, p.data(), &n, idx.data(), &kvl, &flag, &flag, &flag, &flag, &flag, &kds, &kdiag, &kstat,
                        args.ids.data(), args.tc.data(), args.pc.data(), args.m.data(), args.v.data(), args.u.data(),
                        args.e.data(), args.u0ij.data(), w, w + nc, w + 2 * nc, w + 3 * nc, w + 4 * nc, w + 5 * nc,
                        w + 6 * nc, w + 7 * nc, w + 8 * nc, args.mw.data(), mwn.data(), unused.data(),
                        args.tk.data(), args.mij.data(), args.g.data(), args.g.data() + nc * nc,
                        args.g.data() + 2 * nc * nc, o, o + 3, o + 6, o + 9, o + 12, o + 15, o + 18, o + 21, o + 24,
                        o + 27, args.kij.data(), args.lij.data());
        else
            KELD_ESSFTB(&t, p.data(), &n, idx.data(), &kwork, &kspare, &kvl, &flag, &flag, &flag, &flag, &flag, &kds,
                        &kdiag, o, o + 3, o + 6, o + 9, o + 12, o + 15, o + 18, o + 21, o + 24, o + 27, &kstat, &kopt);
        EXPECT_EQ(kstat, 1);
        for (std::size_t k = 0; k < 3; ++k) {
            const MonitorResult r = call(monitor, t, p[k], {1.0}, {idx[k]});
            const double scalar[10] = {r.phi[0], r.h, r.s, r.g, r.v, r.dphi[0], r.dh, r.ds, r.dg, r.dv};
            for (int q = 0; q < 10; ++q) EXPECT_EQ(out[q * 3 + k], scalar[q]) << "output " << q << ", element " << k;
        }
    }
}

TEST_F(SaftMonitors, ArgumentsTheMonitorsCannotHonourGiveNaNAndClearTheStatus) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const std::int64_t nc = host.component_count();
    struct Bad {
        const char *what;
        double t, p;
        std::vector<std::int64_t> idx;
        std::int64_t kds;
    };
    const std::vector<Bad> bad{
        {"T NaN", nan, 1e5, {c6}, 1},       {"T negative", -300.0, 1e5, {c6}, 1}, {"P zero", 300.0, 0.0, {c6}, 1},
        {"P infinite", 300.0, inf, {c6}, 1}, {"IDX 0", 300.0, 1e5, {c6, 0}, 1},   {"IDX NC + 1", 300.0, 1e5, {nc + 1}, 1},
        {"N > NC", 300.0, 1e5, std::vector<std::int64_t>(nc + 1, c6), 1},        {"KDS 0", 300.0, 1e5, {c6}, 0},
        {"KDS 2", 300.0, 1e5, {c6}, 2},
    };
    for (Monitor monitor : {Monitor::argument, Monitor::stored}) {
        for (const Bad &b : bad) {
            SCOPED_TRACE(b.what);
            const std::vector<double> z(b.idx.size(), 1.0 / b.idx.size());
            const MonitorResult r = call(monitor, b.t, b.p, z, b.idx, {2, {}, b.kds});
            EXPECT_EQ(r.kstat, 0);
            for (double x : {r.h, r.s, r.g, r.v, r.dh, r.ds, r.dg, r.dv}) EXPECT_TRUE(std::isnan(x));
            // A refusal writes PHI(1..NC) at most (N > NC: the first NC positions).
            for (std::size_t k = 0; k < r.phi.size(); ++k)
                EXPECT_EQ(std::isnan(r.phi[k]) && std::isnan(r.dphi[k]), k < static_cast<std::size_t>(nc)) << k;
        }
    }
    EXPECT_EQ(call(Monitor::argument, 300.0, 1e5, {1.0}, {c6}).kstat, 1);  // the host is still usable
}

}  // namespace
