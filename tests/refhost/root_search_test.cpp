// The reference host's density-root search, driven as a property monitor
// drives it: open with state 4, evaluate the model at every trial volume,
// answer until the search reports convergence (4) or failure (5).
#include "root_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace keld::refhost {
namespace {

constexpr double kR = 8314.462618;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Model {
    std::function<double(double)> pressure, slope;  // P(V) in Pa and dP/dV
};
struct Hints {
    double v_close_packed, v_critical, v_dividing;
};
struct Outcome {
    std::int64_t state = 0;
    double v = 0.0, p_calc = 0.0;  // left in the cells at the end
    int evaluations = 0;
};

// One conversation. `move_off_close_packed` mimics the PC-SAFT monitor, which
// evaluates 1.1 V_cp instead of a trial at or below V_cp; otherwise such a
// trial is a fault of the search (the lattice fluid is undefined there).
Outcome converse(RootKind kind, const Model &model, const Hints &h, double t, double p,
                 bool move_off_close_packed = false, RootSearch *reuse = nullptr) {
    RootSearch own(kind);
    RootSearch &search = reuse ? *reuse : own;
    Outcome out;
    std::int64_t state = 4, mode = 1;
    double v = 0.0, p_calc = 1.0e35, dpdv = 1.0e35, last = kNaN;
    for (int step = 0; step < 1000; ++step) {
        search.step(state, mode, h.v_close_packed, h.v_critical, h.v_dividing, t, p, v, p_calc, dpdv, true);
        if (state == 4 || state == 5) break;
        EXPECT_TRUE(state >= 1 && state <= 3) << "state " << state;
        if (state < 1 || state > 3) break;
        if (move_off_close_packed && v <= h.v_close_packed) v = 1.1 * h.v_close_packed;
        EXPECT_GT(v, h.v_close_packed) << "trial volume at or below the close-packed volume";
        p_calc = model.pressure(v);
        if (mode != 2) dpdv = model.slope(v);
        last = v;
        ++out.evaluations;
    }
    out.state = state, out.v = v, out.p_calc = p_calc;
    EXPECT_EQ(search.evaluations(), out.evaluations);
    if (state == 4) {
        EXPECT_EQ(v, last) << "converged volume must be the last evaluated one";
    }
    return out;
}

void expect_root(const Outcome &o, const Model &m, double p, double expected) {
    ASSERT_EQ(o.state, 4);
    EXPECT_NEAR(o.v, expected, 1e-10 * expected);
    EXPECT_LE(std::fabs(m.pressure(o.v) - p), 1e-9 * p);
    EXPECT_LT(m.slope(o.v), 0.0) << "root must be mechanically stable";
}

// --- models and independent oracles ------------------------------------------------

struct VanDerWaals {
    double a = 5.0e5, b = 0.05;  // Pa m^6/kmol^2, m^3/kmol: T_c = 356.4 K, P_c = 7.41 MPa
    Model at(double t) const {
        return {[=, *this](double v) { return kR * t / (v - b) - a / (v * v); },
                [=, *this](double v) { return -kR * t / ((v - b) * (v - b)) + 2.0 * a / (v * v * v); }};
    }
    Hints hints(bool supercritical_vapour = false) const { return {b, 3 * b, supercritical_vapour ? b : 3 * b}; }
    // Real roots above b of P V^3 - (P b + R T) V^2 + a V - a b = 0, ascending,
    // by the trigonometric / Cardano solution of the depressed cubic.
    std::vector<double> roots(double t, double p) const {
        const double c2 = -(p * b + kR * t) / p, c1 = a / p, c0 = -a * b / p;
        const double q = (3.0 * c1 - c2 * c2) / 9.0, r = (9.0 * c2 * c1 - 27.0 * c0 - 2.0 * c2 * c2 * c2) / 54.0;
        const double disc = q * q * q + r * r;
        std::vector<double> out;
        if (disc > 0.0) {
            out.push_back(std::cbrt(r + std::sqrt(disc)) + std::cbrt(r - std::sqrt(disc)) - c2 / 3.0);
        } else {
            const double theta = std::acos(r / std::sqrt(-q * q * q));
            for (int k = 0; k < 3; ++k)
                out.push_back(2.0 * std::sqrt(-q) * std::cos((theta + 2.0 * M_PI * k) / 3.0) - c2 / 3.0);
        }
        std::erase_if(out, [this](double v) { return v <= b; });
        std::sort(out.begin(), out.end());
        const Model m = at(t);  // one Newton polish against cancellation in the formula
        for (double &v : out) v -= (m.pressure(v) - p) / m.slope(v);
        return out;
    }
};

// Lattice fluid: P~ = -rho~^2 - T~ [ln(1 - rho~) + (1 - 1/r) rho~], rho~ = V_cp / V.
struct LatticeFluid {
    double t_star, p_star, r;  // K, Pa, segments
    double v_cp() const { return r * kR * t_star / p_star; }
    Model at(double t) const {
        const double vcp = v_cp(), tr = t / t_star, c = 1.0 - 1.0 / r;
        return {[=, *this](double v) {
                    const double rho = vcp / v;
                    return p_star * (-rho * rho - tr * (std::log(1.0 - rho) + c * rho));
                },
                [=, *this](double v) {
                    const double rho = vcp / v;
                    return p_star * (-2.0 * rho + tr * (1.0 / (1.0 - rho) - c)) * (-rho / v);
                }};
    }
    Hints hints() const { return {v_cp(), v_cp() * (1.0 + std::sqrt(r)), v_cp() * (1.0 + std::sqrt(r))}; }
};

// Carnahan-Starling chain with mean-field attraction, V_cp = b, eta = b / V: its
// pole at eta = 1 places liquids near eta = 0.4, as in PC-SAFT.
Model hard_sphere_fluid(double b, double a, double t) {
    auto z = [](double e) { return (1.0 + e + e * e - e * e * e) / std::pow(1.0 - e, 3); };
    auto dz = [](double e) {
        return ((1.0 + 2.0 * e - 3.0 * e * e) * (1.0 - e) + 3.0 * (1.0 + e + e * e - e * e * e)) / std::pow(1.0 - e, 4);
    };
    return {[=](double v) { return kR * t / v * z(b / v) - a / (v * v); },
            [=](double v) { return -(kR * t * (z(b / v) + b / v * dz(b / v)) - 2.0 * a / v) / (v * v); }};
}

// The root of P(V) = p met first when scanning geometrically from `from` towards `to`, bisected.
double first_root_scanning(const Model &m, double p, double from, double to) {
    const int n = 20000;
    const double ratio = std::pow(to / from, 1.0 / n);
    double v0 = from, f0 = m.pressure(v0) - p;
    for (int i = 1; i <= n; ++i) {
        const double v1 = from * std::pow(ratio, i), f1 = m.pressure(v1) - p;
        if (std::isfinite(f0) && std::isfinite(f1) && (f0 > 0) != (f1 > 0)) {
            double lo = v0, hi = v1;
            for (int k = 0; k < 200; ++k) {
                const double mid = 0.5 * (lo + hi);
                ((m.pressure(mid) - p > 0) == (f0 > 0) ? lo : hi) = mid;
            }
            return 0.5 * (lo + hi);
        }
        v0 = v1, f0 = f1;
    }
    return kNaN;
}

// --- cases ----------------------------------------------------------------------------------

TEST(RootSearch, IdealGasGivesRTOverPToBothRoutines) {
    const double t = 300.0;
    const Model m{[t](double v) { return kR * t / v; }, [t](double v) { return -kR * t / (v * v); }};
    for (double p : {1.0e3, 1.0e5, 1.0e7})
        for (RootKind kind : {RootKind::vapour, RootKind::liquid}) {
            const Outcome o = converse(kind, m, {0.02, 0.1, 0.1}, t, p);
            ASSERT_EQ(o.state, 4) << p;
            EXPECT_NEAR(o.v, kR * t / p, 1e-12 * kR * t / p) << p;
            if (kind == RootKind::vapour) {
                EXPECT_LE(o.evaluations, 3);
            }
        }
}

// Against the cubic's own roots: with three roots the liquid is the smallest and
// the vapour the largest; supercritical there is one; above the vapour spinodal
// (4.48 MPa at 300 K) or below the liquid spinodal (4.39 MPa at 330 K) the
// missing kind hands over to the root that exists.
TEST(RootSearch, VanDerWaalsRootsMatchTheCubicSolution) {
    const VanDerWaals vdw;
    const struct {
        double t, p;
        RootKind kind;
        std::size_t roots;
        bool supercritical_vapour;
    } cases[] = {
        {300, 1e6, RootKind::liquid, 3, false},   {300, 1e6, RootKind::vapour, 3, false},
        {300, 2e6, RootKind::liquid, 3, false},   {300, 2e6, RootKind::vapour, 3, false},
        {300, 4e6, RootKind::liquid, 3, false},   {300, 4e6, RootKind::vapour, 3, false},
        {450, 1e5, RootKind::liquid, 1, false},   {450, 1e5, RootKind::vapour, 1, true},
        {450, 5e6, RootKind::liquid, 1, false},   {450, 5e6, RootKind::vapour, 1, true},
        {450, 2e7, RootKind::liquid, 1, false},   {450, 2e7, RootKind::vapour, 1, true},
        {450, 1e8, RootKind::liquid, 1, false},   {450, 1e8, RootKind::vapour, 1, true},
        {300, 6e6, RootKind::vapour, 1, false},   {330, 3e6, RootKind::liquid, 1, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.t << " K " << c.p << " Pa " << (c.kind == RootKind::liquid ? "liquid" : "vapour"));
        const std::vector<double> roots = vdw.roots(c.t, c.p);
        ASSERT_EQ(roots.size(), c.roots);
        const Model m = vdw.at(c.t);
        const Outcome o = converse(c.kind, m, vdw.hints(c.supercritical_vapour), c.t, c.p);
        expect_root(o, m, c.p, c.kind == RootKind::liquid ? roots.front() : roots.back());
        if (c.roots == 3) {
            EXPECT_LE(o.evaluations, 12);
        }
    }
}

TEST(RootSearch, NoRootEndsWithStateFiveWithinBoundedEvaluations) {
    // Positive pressures that never reach P: a convergence failure (p_calc = 0);
    // negative pressure everywhere: the last model pressure is left for the monitor.
    const Model weak{[](double v) { return 5.0e3 / v; }, [](double v) { return -5.0e3 / (v * v); }};
    const Model negative{[](double) { return -2.0e5; }, [](double) { return 0.0; }};
    for (RootKind kind : {RootKind::vapour, RootKind::liquid})
        for (const auto &[model, p_left] : {std::pair{weak, 0.0}, std::pair{negative, -2.0e5}}) {
            const Outcome o = converse(kind, model, {0.05, 0.15, 0.15}, 300.0, 1.0e6);
            EXPECT_EQ(o.state, 5);
            EXPECT_EQ(o.p_calc, p_left);
            EXPECT_LE(o.evaluations, 120);
        }
}

TEST(RootSearch, NotANumberRegionsAreSteppedAroundAndForgottenByTheNextSearch) {
    const VanDerWaals vdw;
    const double t = 300.0, p = 1.0e6;
    const std::vector<double> roots = vdw.roots(t, p);
    const Model clean = vdw.at(t);
    // Undefined close to V_cp, in a band inside the loop and in a band around the
    // ideal-gas volume; the roots themselves lie in defined regions.
    auto undefined = [&](double v) {
        return v < 0.95 * roots.front() || (v > 0.15 && v < 0.5) || (v > 2.4 && v < 2.6);
    };
    const Model holed{[&](double v) { return undefined(v) ? kNaN : clean.pressure(v); },
                      [&](double v) { return undefined(v) ? kNaN : clean.slope(v); }};
    expect_root(converse(RootKind::liquid, holed, vdw.hints(), t, p), clean, p, roots.front());
    expect_root(converse(RootKind::vapour, holed, vdw.hints(), t, p), clean, p, roots.back());

    // Undefined everywhere: fails with the NaN left for the monitor; the same
    // search object then solves a clean model from scratch.
    const Model nowhere{[](double) { return kNaN; }, [](double) { return kNaN; }};
    RootSearch s(RootKind::vapour);
    const Outcome o = converse(RootKind::vapour, nowhere, vdw.hints(), t, p, false, &s);
    EXPECT_EQ(o.state, 5);
    EXPECT_TRUE(std::isnan(o.p_calc));
    expect_root(converse(RootKind::vapour, clean, vdw.hints(), t, p, false, &s), clean, p, roots.back());
}

TEST(RootSearch, LatticeFluidRootsWithinFewEvaluations) {
    const double t = 300.0;
    const LatticeFluid polymer{735.0, 3.57e8, 1000.0};  // polystyrene-like, rho~ ~ 0.96
    const LatticeFluid solvent{476.0, 2.98e8, 8.37};    // n-hexane-like, rho~ ~ 0.85
    for (const LatticeFluid &fluid : {polymer, solvent}) {
        const Model m = fluid.at(t);
        const Outcome o = converse(RootKind::liquid, m, fluid.hints(), t, 1e5);
        expect_root(o, m, 1e5, first_root_scanning(m, 1e5, fluid.v_cp() * (1 + 1e-9), 10 * fluid.v_cp()));
        EXPECT_LE(o.evaluations, 12) << fluid.r;
    }
    // The solvent's vapour spinodal lies at ~6.3 bar at 300 K: at 0.1 bar the
    // vapour routine finds the dilute root, at 10 bar only the liquid exists.
    const Model m = solvent.at(t);
    const double vcp = solvent.v_cp();
    const Outcome low = converse(RootKind::vapour, m, solvent.hints(), t, 1e4);
    expect_root(low, m, 1e4, first_root_scanning(m, 1e4, 1e3 * kR * t / 1e4, vcp * (1 + 1e-9)));
    EXPECT_LE(low.evaluations, 6);
    const double dense = first_root_scanning(m, 1e6, vcp * (1 + 1e-9), 1e3 * kR * t / 1e6);
    ASSERT_NEAR(dense, first_root_scanning(m, 1e6, 1e3 * kR * t / 1e6, vcp * (1 + 1e-9)), 1e-9 * dense)
        << "expected a single root";
    expect_root(converse(RootKind::vapour, m, solvent.hints(), t, 1e6), m, 1e6, dense);
}

// A liquid with a bulk modulus of 1.5 GPa at 1 Pa to 10 kPa: its pressure
// cannot be resolved to 1e-12 P near the root (|V dP/dV| / P up to 1.5e9), so
// the search converges on the volume.
TEST(RootSearch, StiffLiquidAtLowPressureConvergesOnTheVolume) {
    const double k = 1.5e9, v0 = 0.117;
    const Model m{[=](double v) { return k * (v0 - v) / v; }, [=](double v) { return -k * v0 / (v * v); }};
    for (double p : {1.0, 100.0, 1.0e4}) {
        const Outcome o = converse(RootKind::liquid, m, {0.1, 0.3, 0.3}, 200.0, p);
        ASSERT_EQ(o.state, 4) << p;
        const double root = k * v0 / (p + k);
        EXPECT_NEAR(o.v, root, 1e-13 * root) << p;
        EXPECT_LE(std::fabs(m.pressure(o.v) - p), 1e-14 * k * v0 / o.v) << p;
    }
}

TEST(RootSearch, HardChainLiquidNearPackingFractionPointFourAndDiluteVapour) {
    const double t = 300.0, b = 0.0512;
    const Model m = hard_sphere_fluid(b, 16.75 * b * kR * t, t);  // liquid at ~0 pressure has eta ~ 0.39
    const Hints h{b, 0.44, 0.44};
    for (double p : {1.0e5, 1.0e7}) {
        const Outcome o = converse(RootKind::liquid, m, h, t, p, /*move_off_close_packed=*/true);
        expect_root(o, m, p, first_root_scanning(m, p, b * 1.0001, 20.0 * b));
        EXPECT_LE(o.evaluations, 12);
    }
    const double p = 10.0;  // far below this fluid's vapour pressure
    const Outcome o = converse(RootKind::vapour, m, h, t, p, true);
    expect_root(o, m, p, first_root_scanning(m, p, 1.0e3 * kR * t / p, b * 1.0001));
    EXPECT_LE(o.evaluations, 6);
}

}  // namespace
}  // namespace keld::refhost
