// The PC-SAFT property monitor through its exported entry points on the reference host: what it returns
// against an independent model and its own consistency, published data, polymers from their own
// parameters and from their segments, the density-root conversation and the calling convention.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "pcsaft/pcsaft_helmholtz_model.h"
#include "root_search.h"
#include "support/pcsaft_systems.h"

using namespace keld::testing;
using keld::refhost::ComponentKind;
using keld::refhost::ReferenceHost;
namespace reference = keld::pcsaft::reference;

namespace {

constexpr double kR = ReferenceHost::gas_constant;
constexpr double kPref = ReferenceHost::reference_pressure;
constexpr double kMwn = 1e5;  // of the polystyrene

double relative(double a, double b) { return std::fabs(a - b) / std::max(std::fabs(b), 1e-300); }

struct PcsaftMonitor : ::testing::Test {
    ReferenceHost host;
    std::int64_t c1 = add_pcsaft_fluid(host, kMethane), c2 = add_pcsaft_fluid(host, kEthane),
                 c3 = add_pcsaft_fluid(host, kPropane), c6 = add_pcsaft_fluid(host, kHexane),
                 tol = add_pcsaft_fluid(host, kToluene), sty = add_pcsaft_segment(host, kStyrene),
                 ps = add_homopolymer(host, "PS", sty, kStyrene.mw, kMwn);
    PcsaftMonitor() { host.install(); }

    void set_kij(std::int64_t i, std::int64_t j, double k) {
        const double c[1] = {k};
        host.set_binary_coefficients("PCSKIJ", i, j, c);
        host.set_binary_coefficients("PCSKIJ", j, i, c);
    }
    void give_polymer_own_parameters() {
        host.set_unary("PCSFTV", ps, kStyrene.sigma);
        host.set_unary("PCSFTU", ps, kStyrene.eps);
        host.set_unary("PCSFTR", ps, kStyrene.r);
    }
    // Apparent mole fractions (styrene units, toluene) of polymer weight fraction w.
    static std::vector<double> solution(double w) {
        const double np = w / kStyrene.mw, nt = (1.0 - w) / kToluene.mw;
        return {np / (np + nt), nt / (np + nt)};
    }

    struct Case {
        const char *name;
        double t, p;
        std::int64_t kvl;
        std::vector<std::int64_t> idx;
        std::vector<double> z;
    };
    std::vector<Case> cases() const {
        return {
            {"hexane liquid", 298.15, 1e5, 2, {c6}, {1.0}},
            {"methane + hexane vapour", 320.0, 2e6, 1, {c1, c6}, {0.9, 0.1}},
            {"hexane + toluene liquid", 330.0, 1e5, 2, {c6, tol}, {0.35, 0.65}},
            {"five solvents liquid", 250.0, 5e6, 2, {c1, c2, c3, c6, tol}, {0.05, 0.1, 0.15, 0.3, 0.4}},
            {"five solvents vapour", 400.0, 1e6, 1, {c1, c2, c3, c6, tol}, {0.4, 0.3, 0.2, 0.05, 0.05}},
            {"four solvents out of order liquid", 250.0, 5e6, 2, {tol, c1, c6, c3}, {0.4, 0.05, 0.3, 0.25}},
            {"polystyrene in toluene", 400.0, 1e5, 2, {ps, tol}, solution(0.3)},
        };
    }
};

// The independent model with the host's parameters by component number, the polymer's being its
// segment's with m = MWN r. state(): Z, a, da/dT and ln phi_k = d(n a)/dn_k - ln Z at (T, V), by
// complex step, on the true basis.
struct ReferenceModel {
    std::int64_t nc;
    std::vector<double> m, sigma, eps, eps_matrix;

    explicit ReferenceModel(const PcsaftMonitor &f)
        : nc(f.host.component_count()), m(nc), sigma(nc), eps(nc), eps_matrix(nc * nc) {
        for (std::int64_t i = 1; i <= nc; ++i) {
            const bool polymer = i == f.ps;
            m[i - 1] = polymer ? kMwn * kStyrene.r : f.host.unary("PCSFTM", i);
            sigma[i - 1] = polymer ? kStyrene.sigma : f.host.unary("PCSFTV", i);
            eps[i - 1] = polymer ? kStyrene.eps : f.host.unary("PCSFTU", i);
        }
        for (std::int64_t i = 1; i <= nc; ++i)
            for (std::int64_t j = 1; j <= nc; ++j) set_kij(i, j, 0.0);
    }
    void set_kij(std::int64_t i, std::int64_t j, double k) {
        eps_matrix[(j - 1) * nc + i - 1] = eps_matrix[(i - 1) * nc + j - 1] =
            (1.0 - k) * std::sqrt(eps[i - 1] * eps[j - 1]);
    }

    struct State {
        double z, a, a_t;
        std::vector<double> ln_phi;
    };
    State state(const std::vector<std::int64_t> &idx, double t, double v, const std::vector<double> &x) const {
        using C = std::complex<double>;
        const double h = 1e-30;
        const reference::Mixture mix{nc,           static_cast<std::int64_t>(idx.size()), idx.data(), m.data(),
                                     sigma.data(), eps.data(),                            eps_matrix.data()};
        const auto a = [&](C tt, C rho, const std::vector<C> &xc) {
            return reference::helmholtz_value<C>(tt, rho, xc.data(), mix);
        };
        const std::vector<C> xc(x.begin(), x.end());
        State s{1.0 + a(t, C(1.0 / v, h), xc).imag() / h / v, a(t, 1.0 / v, xc).real(),
                a(C(t, h), 1.0 / v, xc).imag() / h, {}};
        for (std::size_t k = 0; k < x.size(); ++k) {
            std::vector<C> moles = xc;
            moles[k] += C(0.0, h);
            C total(0.0);
            for (const C &nk : moles) total += nk;
            for (C &xk : moles) xk /= total;
            s.ln_phi.push_back((total * a(t, total / v, moles)).imag() / h - std::log(s.z));
        }
        return s;
    }
};

// ---------------------------------------------------------------------------------------------------
// Consistency, with a polymer solution on the apparent basis among the cases.

TEST_F(PcsaftMonitor, RootLnPhiAndGibbsEnergyAgreeWithTheIndependentModel) {
    set_kij(c1, c6, 0.03);
    set_kij(c6, tol, -0.01);
    ReferenceModel par(*this);
    par.set_kij(c1, c6, 0.03);
    par.set_kij(c6, tol, -0.01);
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        const MonitorResult r = pcsaft(c.t, c.p, c.z, c.idx, {c.kvl, {1, 0, 0, 1, 1}});
        ASSERT_EQ(r.kstat, 1);
        // True mole fractions: a polymer's apparent moles are styrene units, F = sum z MW / MWN.
        std::vector<double> x(c.z);
        double f = 0.0;
        for (std::size_t k = 0; k < x.size(); ++k) f += x[k] *= c.idx[k] == ps ? kStyrene.mw / kMwn : 1.0;
        for (double &xk : x) xk /= f;
        const double v = r.v / f;
        const ReferenceModel::State ref = par.state(c.idx, c.t, v, x);
        EXPECT_LT(relative(ref.z * kR * c.t / v, c.p), 1e-9);
        double sum = 0.0;
        for (std::size_t k = 0; k < x.size(); ++k) {
            const double ln_phi = r.phi[k] - std::log(x[k] / c.z[k]);
            EXPECT_NEAR(ln_phi, ref.ln_phi[k], 1e-9 * std::max(1.0, std::fabs(ref.ln_phi[k]))) << "k = " << k;
            sum += x[k] * ln_phi;
        }
        EXPECT_NEAR(r.g / (f * kR * c.t) - std::log(c.p / kPref), sum, 1e-10 * std::max(1.0, std::fabs(sum)));
    }
}

TEST_F(PcsaftMonitor, TemperatureDerivativesAreOneSidedInThePhasesDirectionAndHSFollowFromG) {
    // Vapour steps up (T(1 + 1e-4)), liquid down; the other direction differs by about dT times the
    // second derivative, far more than the root tolerance. H = -T^2 d(G/T)/dT and S = -dG/dT at
    // constant P by central differences over the same two temperatures.
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        const MonitorResult r = pcsaft(c.t, c.p, c.z, c.idx, {c.kvl});
        const double step = (c.kvl == 1 ? 1e-4 : -1e-4) * c.t;
        const MonitorResult same = pcsaft(c.t + step, c.p, c.z, c.idx, {c.kvl, {1, 1, 1, 1, 1}});
        const MonitorResult other = pcsaft(c.t - step, c.p, c.z, c.idx, {c.kvl, {1, 1, 1, 1, 1}});
        auto check = [&](const char *what, double monitor, double value, double at_step, double at_other) {
            const double miss = std::fabs(monitor - (at_step - value) / step);
            EXPECT_LE(miss, 1e-6 * std::fabs(monitor) + 1e-12) << what;
            EXPECT_GT(std::fabs(monitor - (at_other - value) / -step), 10.0 * miss) << what;
        };
        check("DV", r.dv, r.v, same.v, other.v);
        check("DH", r.dh, r.h, same.h, other.h);
        check("DS", r.ds, r.s, same.s, other.s);
        check("DG", r.dg, r.g, same.g, other.g);
        for (std::size_t k = 0; k < c.idx.size(); ++k) check("DPHI", r.dphi[k], r.phi[k], same.phi[k], other.phi[k]);

        const double h = -c.t * c.t * (same.g / (c.t + step) - other.g / (c.t - step)) / (2 * step);
        const double s = -(same.g - other.g) / (2 * step);
        EXPECT_LT(std::fabs(r.h - h) / std::max(std::fabs(r.h), kR * c.t * 1e-2), 1e-6);
        EXPECT_LT(std::fabs(r.s - s) / std::max(std::fabs(r.s), kR * 1e-2), 1e-6);
    }
}

// ---------------------------------------------------------------------------------------------------
// Published data.

TEST_F(PcsaftMonitor, HexaneLiquidDensityAndVapourPressureAtRoomTemperature) {
    // Measured at 298.15 K: saturated liquid 655 kg/m3, P_sat 20.2 kPa; PC-SAFT is within about 1 %.
    const double t = 298.15;
    EXPECT_NEAR(kHexane.mw / pcsaft(t, 1e5, {1.0}, {c6}, {2, {0, 0, 0, 0, 1}}).v, 655.0, 0.015 * 655.0);
    auto difference = [&](double p) {
        const MonitorResult l = pcsaft(t, p, {1.0}, {c6}, {2, {1, 0, 0, 0, 1}});
        const MonitorResult v = pcsaft(t, p, {1.0}, {c6}, {1, {1, 0, 0, 0, 1}});
        EXPECT_GT(v.v, 50 * l.v) << "both roots must exist near saturation, P = " << p;
        return l.phi[0] - v.phi[0];
    };
    // Below P_sat the vapour is stable (ln phi_L > ln phi_V), above it the liquid.
    double lo = 10e3, hi = 30e3;
    ASSERT_GT(difference(lo), 0.0);
    ASSERT_LT(difference(hi), 0.0);
    for (int i = 0; i < 50; ++i) {
        const double mid = 0.5 * (lo + hi);
        (difference(mid) > 0.0 ? lo : hi) = mid;
    }
    EXPECT_NEAR(0.5 * (lo + hi), 20.2e3, 0.03 * 20.2e3);
}

TEST_F(PcsaftMonitor, PolystyreneMeltFromItsSegment) {
    for (double t = 300.0; t <= 600.0; t += 100.0) {
        const MonitorResult r = pcsaft(t, 1e5, {1.0}, {ps}, {2, {1, 1, 1, 1, 1}});
        EXPECT_EQ(r.kstat, 1) << "T = " << t;
        // kg/m3 = MW(styrene) / V on the apparent basis. These parameters (fitted to the melt) give about
        // 1126 kg/m3 at 300 K and 1045 at 400 K; measured 1050 (glass), 1000 (melt).
        const double density = kStyrene.mw / r.v;
        EXPECT_GT(density, t == 300.0 ? 1000.0 : 850.0) << "T = " << t;
        EXPECT_LT(density, 1150.0) << "T = " << t;
        if (t == 400.0) {
            EXPECT_NEAR(density, 1045.0, 0.05 * 1045.0);
        }
    }
    EXPECT_EQ(host.unary("PCSSRC", ps), 1.0);  // averaged from its segment
    // The pseudo-critical temperature of the polymer was handed to the host.
    EXPECT_NEAR(host.component_value("TC", ps), 318.305 + 696.86 * std::exp(-120.876 / kMwn), 1e-9);
}

// ---------------------------------------------------------------------------------------------------
// Polymer parameters.

void expect_same(const MonitorResult &a, const MonitorResult &b, double tol) {
    ASSERT_EQ(a.phi.size(), b.phi.size());
    for (std::size_t k = 0; k < a.phi.size(); ++k) {
        EXPECT_NEAR(a.phi[k], b.phi[k], tol * std::max(1.0, std::fabs(b.phi[k]))) << "phi " << k;
        EXPECT_NEAR(a.dphi[k], b.dphi[k], 1e-6 * std::max(1e-3, std::fabs(b.dphi[k]))) << "dphi " << k;
    }
    for (auto [x, y] : {std::pair{a.v, b.v}, std::pair{a.h, b.h}, std::pair{a.s, b.s}, std::pair{a.g, b.g}})
        EXPECT_LT(relative(x, y), tol);
    for (auto [x, y] : {std::pair{a.dv, b.dv}, std::pair{a.dh, b.dh}, std::pair{a.ds, b.ds}, std::pair{a.dg, b.dg}})
        EXPECT_LT(relative(x, y), 1e-6);
}

// With sigma, eps/k and r of its own (m missing) the polymer takes m = MWN r, as the segment-built one
// does (checked against the independent model with the cases above).
TEST_F(PcsaftMonitor, SegmentBuiltPolymerEqualsOneWithTheSameOwnParameters) {
    const std::vector<double> z = solution(0.3);
    const std::vector<std::int64_t> idx{ps, tol};
    host.set_unary("PCSSRC", tol, 7.0);  // a stale flag on an ordinary component changes nothing
    const MonitorResult plain_segments = pcsaft(400.0, 1e5, z, idx);
    EXPECT_EQ(host.unary("PCSSRC", ps), 1.0);
    // Without a k_ij of its own the segment-built polymer meets toluene through its segment's k_ij.
    set_kij(tol, sty, 0.04);
    const MonitorResult through_segment = pcsaft(400.0, 1e5, z, idx);
    give_polymer_own_parameters();
    const MonitorResult own_plain = pcsaft(400.0, 1e5, z, idx);
    EXPECT_EQ(host.unary("PCSSRC", ps), 2.0);
    expect_same(plain_segments, own_plain, 1e-11);
    set_kij(tol, ps, 0.04);
    const MonitorResult own_with_kij = pcsaft(400.0, 1e5, z, idx);
    expect_same(through_segment, own_with_kij, 1e-11);
    EXPECT_GT(std::fabs(through_segment.phi[1] - own_plain.phi[1]), 1e-3);
    // A k_ij on the polymer pair wins over the segments' even for the segment-built polymer.
    host.set_unary("PCSFTV", ps, ReferenceHost::missing_value);
    const MonitorResult segment_built_with_kij = pcsaft(400.0, 1e5, z, idx);
    EXPECT_EQ(host.unary("PCSSRC", ps), 1.0);
    expect_same(segment_built_with_kij, own_with_kij, 1e-11);
}

TEST_F(PcsaftMonitor, CopolymerAveragesItsSegmentsByWeightOrByMoles) {
    // sigma, eps/k and r are fraction-weighted averages, the cross energy with toluene the weighted sum
    // of the segment cross energies; KOPT = 5 takes mole instead of weight fractions.
    const PcsaftSegment other{"B", 54.09, 0.0247, 4.0, 240.0};
    const std::int64_t b = add_pcsaft_segment(host, other);
    const std::int64_t copo = host.add_polymer("COPO", ComponentKind::polymer, 80.0, 5e4);
    const keld::refhost::SegmentShare shares[2] = {{sty, 0.7}, {b, 0.3}};
    host.set_segment_composition(copo, shares);
    const std::int64_t twin = host.add_polymer("TWIN", ComponentKind::polymer, 80.0, 5e4);
    host.install();
    for (std::int64_t kopt : {0, 5}) {
        SCOPED_TRACE(kopt);
        const double n1 = 0.7 / kStyrene.mw, n2 = 0.3 / other.mw;
        const double f0 = kopt == 5 ? n1 / (n1 + n2) : 0.7, f1 = 1.0 - f0;
        const double eps = f0 * kStyrene.eps + f1 * other.eps;
        const double cross = f0 * std::sqrt(kToluene.eps * kStyrene.eps) + f1 * std::sqrt(kToluene.eps * other.eps);
        host.set_unary("PCSFTV", twin, f0 * kStyrene.sigma + f1 * other.sigma);
        host.set_unary("PCSFTU", twin, eps);
        host.set_unary("PCSFTR", twin, f0 * kStyrene.r + f1 * other.r);
        set_kij(tol, twin, 1.0 - cross / std::sqrt(kToluene.eps * eps));
        const CallOptions a{2, {}, 1, 4, 0, kopt};
        const MonitorResult averaged = pcsaft(380.0, 1e5, {0.2, 0.8}, {copo, tol}, a);
        const MonitorResult explicit_twin = pcsaft(380.0, 1e5, {0.2, 0.8}, {twin, tol}, a);
        EXPECT_EQ(host.unary("PCSSRC", copo), 1.0);
        EXPECT_EQ(host.unary("PCSSRC", twin), 2.0);
        expect_same(averaged, explicit_twin, 1e-10);
    }
}

// ---------------------------------------------------------------------------------------------------
// The density-root conversation.

TEST_F(PcsaftMonitor, RootSearchesStayWithinTheirEvaluationBudgets) {
    // A cold liquid search is offered the volume of a liquid at packing fraction 0.4.
    for (double t : {250.0, 298.15, 330.0}) {  // below the normal boiling point
        RootRecorder recorder(host);
        ASSERT_EQ(pcsaft(t, 1e5, {1.0}, {c6}, {2, {1, 0, 0, 0, 0}}).kstat, 1);
        EXPECT_LE(recorder.evaluations(), 9) << t << " K";
    }
    // The root at the shifted temperature starts from the root at T, left in the volume cell.
    for (auto [kvl, p] : {std::pair{std::int64_t{2}, 1e5}, std::pair{std::int64_t{1}, 1e4}}) {
        RootRecorder recorder(host);
        const MonitorResult r = pcsaft(330.0, p, {0.4, 0.6}, {c6, tol}, {kvl});
        ASSERT_EQ(r.kstat, 1);
        std::vector<std::size_t> opens;
        for (std::size_t s = 0; s < recorder.steps.size(); ++s)
            if (recorder.steps[s].state_in == 4) opens.push_back(s);
        ASSERT_EQ(opens.size(), 2u);
        EXPECT_EQ(recorder.steps[opens[1]].v_out, r.v) << "KVL " << kvl;
        EXPECT_LE(recorder.evaluations() - static_cast<int>(opens[1] - opens[0] - 1), 4) << "KVL " << kvl;
    }
}

TEST(RootSearchWarmStart, VolumeOnTheOtherSideOfTheDividingVolumeIsIgnored) {
    // A liquid search handed a vapour-like volume starts from 1.15 V_cp as usual, a vapour search handed
    // a liquid-like one at R T / P; a volume on the right side is taken as it is.
    const double vcp = 0.05, vc = 0.4, t = 300.0, p = 1e5;
    for (auto kind : {keld::refhost::RootKind::liquid, keld::refhost::RootKind::vapour}) {
        keld::refhost::RootSearch search(kind);
        const bool liquid = kind == keld::refhost::RootKind::liquid;
        for (double given : {0.0, -1.0, 0.5 * vcp, liquid ? 2.0 * vc : 0.5 * vc, liquid ? 0.5 * vc : 2.0 * vc}) {
            std::int64_t state = 4, mode = 1;
            double v = given, p_calc = ReferenceHost::missing_value, dpdv = ReferenceHost::missing_value;
            search.step(state, mode, vcp, vc, vc, t, p, v, p_calc, dpdv, true);
            EXPECT_EQ(state, 1);
            const bool usable = given == (liquid ? 0.5 * vc : 2.0 * vc);
            EXPECT_DOUBLE_EQ(v, usable ? given : liquid ? 1.15 * vcp : kR * t / p) << given;
        }
    }
}

TEST_F(PcsaftMonitor, ModeWordTwoLeavesTheSlopeCellAlone) {
    const MonitorResult plain = pcsaft(298.15, 1e5, {1.0}, {c6});
    RootRecorder recorder(host);
    recorder.force_mode = 2;
    recorder.poison_dpdv = 4242.0;
    const MonitorResult r = pcsaft(298.15, 1e5, {1.0}, {c6});
    int checked = 0;
    for (const auto &s : recorder.steps) {
        if (s.state_in < 1 || s.state_in > 3) continue;
        EXPECT_EQ(s.dpdv_in, 4242.0);
        ++checked;
    }
    EXPECT_GT(checked, 0);
    EXPECT_EQ(r.kstat, 1);
    EXPECT_LT(relative(r.v, plain.v), 1e-9);
}

// A host that proposes one fixed volume and declares it the root.
double g_fixed_volume = 0.0;
void propose_fixed_volume(std::int64_t *state, std::int64_t *mode, const double *, double *v) {
    if (*state == 4) {
        *v = g_fixed_volume;
        *state = 1;
        *mode = 1;
    } else {
        *state = 4;
    }
}

TEST_F(PcsaftMonitor, VolumeOfferedAsTheRootIsTakenWithItsOwnPressure) {
    const double t = 298.15, p1 = 1e5, p2 = 3e5;
    const MonitorResult converged = pcsaft(t, p1, {0.4, 0.6}, {c6, tol}, {2, {1, 0, 0, 0, 1}});
    const double v_stretched = 1.25 * pcsaft(t, p1, {1.0}, {c6}, {2, {0, 0, 0, 0, 1}}).v;
    const ReferenceModel::State ref = ReferenceModel(*this).state({c6}, t, v_stretched, {1.0});
    ASSERT_LT(ref.z, 0.0);
    RootRecorder recorder(host);
    recorder.override_with = &propose_fixed_volume;

    // The root at p1 offered at p2: liquid ln phi is corrected by ln(P/P_calc), vapour is not.
    g_fixed_volume = converged.v;
    const MonitorResult liquid = pcsaft(t, p2, {0.4, 0.6}, {c6, tol}, {2, {1, 0, 0, 0, 1}});
    const MonitorResult vapour = pcsaft(t, p2, {0.4, 0.6}, {c6, tol}, {1, {1, 0, 0, 0, 1}});
    EXPECT_EQ(liquid.v, converged.v);
    for (int k = 0; k < 2; ++k) {
        EXPECT_NEAR(vapour.phi[k], converged.phi[k], 1e-9);
        EXPECT_NEAR(liquid.phi[k], converged.phi[k] - std::log(p2 / p1), 1e-9);
    }
    // A liquid stretched to negative model pressure: Z is floored at 1e-35 in logarithms and
    // departures, and P stands in for the model pressure (no correction).
    g_fixed_volume = v_stretched;
    const MonitorResult r = pcsaft(t, p1, {1.0}, {c6}, {2, {1, 1, 0, 1, 1}});
    const double zg = 1e-35, ln_phi = zg - 1.0 + ref.a - std::log(zg);
    EXPECT_NEAR(r.phi[0], ln_phi, 1e-9 * std::fabs(ln_phi));
    EXPECT_NEAR(r.g, kR * t * (ln_phi + std::log(p1 / kPref)), 1e-9 * std::fabs(r.g));
    EXPECT_NEAR(r.h, kR * t * (-t * ref.a_t + zg - 1.0), 1e-9 * std::fabs(r.h));
}

void fail_at_once(std::int64_t *state, std::int64_t *, const double *, double *) { *state = 5; }
void fail_after_one_evaluation(std::int64_t *state, std::int64_t *, const double *vcp, double *v) {
    if (*state == 4) {
        *v = 1.5 * *vcp;
        *state = 1;
    } else {
        *state = 5;
    }
}

TEST_F(PcsaftMonitor, FailingRootSearchClearsTheStatusAndStillAnswers) {
    RootRecorder recorder(host);
    recorder.override_with = &fail_after_one_evaluation;
    const MonitorResult r = pcsaft(300.0, 1e5, {1.0}, {c6}, {2, {1, 1, 1, 1, 1}});
    EXPECT_EQ(r.kstat, 0);
    EXPECT_TRUE(std::isfinite(r.phi[0]) && std::isfinite(r.h) && std::isfinite(r.v));
    EXPECT_EQ(recorder.evaluations(), 1);
    recorder.override_with = &fail_at_once;
    const MonitorResult none = pcsaft(300.0, 1e5, {0.3, 0.7}, {c6, tol}, {1, {1, 1, 1, 1, 1}});
    EXPECT_EQ(none.kstat, 0);
    EXPECT_NE(none.phi[0], kUnwritten);
}

// ---------------------------------------------------------------------------------------------------
// Calling convention.

TEST_F(PcsaftMonitor, VectorFormEqualsScalarCallsPerComponent) {
    const std::vector<std::int64_t> idx{c6, tol, c6};
    const std::vector<double> p{1e5, 2e5, 3e5};
    for (std::int64_t kvl : {1, 2}) {
        SCOPED_TRACE(kvl);
        const double t = kvl == 1 ? 450.0 : 320.0;
        const std::int64_t n = 3, kwork = 0, kspare = 0, flag = 3, kds = 1, kdiag = 4, kopt = 0;
        std::int64_t kstat = 1;
        std::vector<double> out(30, -1.0);
        double *o = out.data();
        KELD_ESPCSA(&t, p.data(), &n, idx.data(), &kwork, &kspare, &kvl, &flag, &flag, &flag, &flag, &flag, &kds,
                    &kdiag, o, o + 3, o + 6, o + 9, o + 12, o + 15, o + 18, o + 21, o + 24, o + 27, &kstat, &kopt);
        EXPECT_EQ(kstat, 1);
        for (std::size_t k = 0; k < 3; ++k) {
            const MonitorResult r = pcsaft(t, p[k], {1.0}, {idx[k]}, {kvl});
            const double scalar[10] = {r.phi[0], r.h, r.s, r.g, r.v, r.dphi[0], r.dh, r.ds, r.dg, r.dv};
            for (int q = 0; q < 10; ++q) EXPECT_EQ(out[q * 3 + k], scalar[q]) << "output " << q << ", element " << k;
        }
    }
}

TEST_F(PcsaftMonitor, IdealGasExitBelowTheThresholdPressureOnly) {
    const double t = 300.0, p = 5.4e-5;
    const MonitorResult ideal = pcsaft(t, p, {1.0}, {c6}, {1, {3, 3, 3, 3, 2}});
    EXPECT_EQ(ideal.phi[0], 0.0);
    EXPECT_EQ(ideal.h, 0.0);
    EXPECT_EQ(ideal.dh, 0.0);
    EXPECT_EQ(ideal.v, kUnwritten);  // flag 2: the value slot stays untouched
    EXPECT_DOUBLE_EQ(ideal.dv, kR / p);
    EXPECT_DOUBLE_EQ(ideal.s, -kR * std::log(p / kPref));
    EXPECT_DOUBLE_EQ(ideal.g, kR * t * std::log(p / kPref));
    // A polymer's ideal-gas volume is per styrene unit.
    EXPECT_DOUBLE_EQ(pcsaft(500.0, 1e-5, {1.0}, {ps}, {1, {1, 0, 0, 0, 1}}).v, kR * 500.0 / 1e-5 * kStyrene.mw / kMwn);

    RootRecorder recorder(host);
    const MonitorResult full = pcsaft(t, 5.5e-5, {1.0}, {c6}, {1});
    EXPECT_GT(recorder.evaluations(), 0);
    EXPECT_LT(full.phi[0], 0.0);
    EXPECT_NEAR(full.v, kR * t / 5.5e-5, 1e-6 * kR * t / 5.5e-5);
}

TEST_F(PcsaftMonitor, AllFlagsZeroWritesNothingButSolvesTheRoot) {
    RootRecorder recorder(host);
    const MonitorResult r = pcsaft(300.0, 1e5, {0.5, 0.5}, {c6, tol}, {2, {0, 0, 0, 0, 0}});
    EXPECT_GT(recorder.evaluations(), 0);
    for (double x : {r.phi[0], r.phi[1], r.dphi[0], r.dphi[1], r.h, r.s, r.g, r.v, r.dh, r.ds, r.dg, r.dv})
        EXPECT_EQ(x, kUnwritten);
    EXPECT_EQ(r.kstat, 1);
}

TEST_F(PcsaftMonitor, ArgumentsTheMonitorCannotHonourGiveNaNAndClearTheStatus) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::int64_t nc = host.component_count();
    auto rejected = [](const MonitorResult &r) {
        EXPECT_EQ(r.kstat, 0);
        for (double x : {r.phi[0], r.h, r.s, r.g, r.v, r.dphi[0], r.dh, r.ds, r.dg, r.dv}) EXPECT_TRUE(std::isnan(x));
    };
    rejected(pcsaft(300.0, 1e5, std::vector<double>(nc + 1, 1.0 / (nc + 1)), std::vector<std::int64_t>(nc + 1, c6)));
    for (std::int64_t bad : {std::int64_t{0}, nc + 1, std::int64_t{-1}}) {
        SCOPED_TRACE(bad);
        rejected(pcsaft(300.0, 1e5, {0.5, 0.5}, {c6, bad}));
    }
    for (std::int64_t kds : {0, 2}) rejected(pcsaft(300.0, 1e5, {1.0}, {c6}, {2, {}, kds}));
    const std::int64_t store = static_cast<std::int64_t>(host.store().size());
    for (std::int64_t kwork : {store, -host.work_offset() - 10})
        rejected(pcsaft(300.0, 1e5, {1.0}, {c6}, {2, {}, 1, 4, kwork}));
    rejected(pcsaft(nan, 1e5, {1.0}, {c6}, {2}));
    rejected(pcsaft(300.0, nan, {1.0}, {c6}, {1}));
    EXPECT_EQ(pcsaft(300.0, 1e5, {1.0}, {c6}).kstat, 1);  // the rejections left the host usable
}

}  // namespace
