// The reference host's density-root search, driven as a property monitor
// drives it: open with state 4, evaluate the model at every trial volume,
// answer until the search reports convergence (4) or failure (5).
#include "root_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

namespace keld::refhost {
namespace {

constexpr double kR = 8314.462618;
constexpr double kMissing = 1.0e35;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Model {
    std::function<double(double)> pressure;  // P(V), Pa
    std::function<double(double)> slope;     // dP/dV
};

struct Hints {
    double v_close_packed, v_critical, v_dividing;
};

struct Outcome {
    std::int64_t state = 0;
    double v = 0.0;       // volume left in the cell at the end
    double p_calc = 0.0;  // pressure left in the cell at the end
    double last_evaluated = kNaN;
    int evaluations = 0;
};

// Runs one conversation. `move_off_close_packed` mimics the PC-SAFT monitor,
// which evaluates 1.1 V_cp instead of a trial at or below V_cp; without it a
// trial at or below V_cp is a fault of the search (the lattice fluid is
// undefined there).
Outcome converse(RootSearch &search, const Model &model, const Hints &h, double t, double p,
                 bool move_off_close_packed = false) {
    Outcome out;
    std::int64_t state = 4, mode = 1;
    double v = 0.0, p_calc = kMissing, dpdv = kMissing;
    for (int step = 0; step < 1000; ++step) {
        search.step(state, mode, h.v_close_packed, h.v_critical, h.v_dividing, t, p, v, p_calc, dpdv, true);
        if (state == 4 || state == 5) break;
        EXPECT_TRUE(state >= 1 && state <= 3) << "state " << state;
        if (state < 1 || state > 3) break;
        if (move_off_close_packed && v <= h.v_close_packed) v = 1.1 * h.v_close_packed;
        EXPECT_GT(v, h.v_close_packed) << "trial volume at or below the close-packed volume";
        p_calc = model.pressure(v);
        if (mode != 2) dpdv = model.slope(v);
        out.last_evaluated = v;
        ++out.evaluations;
    }
    out.state = state;
    out.v = v;
    out.p_calc = p_calc;
    EXPECT_EQ(search.evaluations(), out.evaluations);
    if (state == 4) {
        EXPECT_EQ(v, out.last_evaluated) << "converged volume must be the last evaluated one";
    }
    return out;
}

void report(const std::string &what, const Outcome &o) {
    std::cout << "[ evals    ] " << what << ": " << o.evaluations << " evaluations\n";
}

// --- models ---------------------------------------------------------------

Model ideal_gas(double t) {
    return {[t](double v) { return kR * t / v; }, [t](double v) { return -kR * t / (v * v); }};
}

struct VanDerWaals {
    double a = 5.0e5, b = 0.05;  // Pa m^6/kmol^2, m^3/kmol: T_c = 356.4 K, P_c = 7.41 MPa
    Model at(double t) const {
        return {[=, *this](double v) { return kR * t / (v - b) - a / (v * v); },
                [=, *this](double v) { return -kR * t / ((v - b) * (v - b)) + 2.0 * a / (v * v * v); }};
    }
    Hints hints(bool supercritical_vapour) const { return {b, 3.0 * b, supercritical_vapour ? b : 3.0 * b}; }
    // Real roots above b of P V^3 - (P b + R T) V^2 + a V - a b = 0, ascending,
    // by the trigonometric / Cardano solution of the depressed cubic.
    std::vector<double> roots(double t, double p) const {
        const double c2 = -(p * b + kR * t) / p, c1 = a / p, c0 = -a * b / p;
        const double q = (3.0 * c1 - c2 * c2) / 9.0, r = (9.0 * c2 * c1 - 27.0 * c0 - 2.0 * c2 * c2 * c2) / 54.0;
        const double disc = q * q * q + r * r;
        std::vector<double> out;
        if (disc > 0.0) {
            const double s = std::cbrt(r + std::sqrt(disc)), u = std::cbrt(r - std::sqrt(disc));
            out.push_back(s + u - c2 / 3.0);
        } else {
            const double theta = std::acos(r / std::sqrt(-q * q * q));
            for (int k = 0; k < 3; ++k)
                out.push_back(2.0 * std::sqrt(-q) * std::cos((theta + 2.0 * M_PI * k) / 3.0) - c2 / 3.0);
        }
        std::erase_if(out, [this](double v) { return v <= b; });
        std::sort(out.begin(), out.end());
        // One Newton polish on the pressure equation against cancellation in the formula.
        const Model m = at(t);
        for (double &v : out) v -= (m.pressure(v) - p) / m.slope(v);
        return out;
    }
};

// Lattice fluid: P~ = -rho~^2 - T~ [ln(1 - rho~) + (1 - 1/r) rho~], rho~ = V_cp / V.
struct LatticeFluid {
    double t_star, p_star, r;  // K, Pa, segments
    double v_close_packed() const { return r * kR * t_star / p_star; }
    double reduced_pressure(double rho, double t) const {
        return -rho * rho - (t / t_star) * (std::log(1.0 - rho) + (1.0 - 1.0 / r) * rho);
    }
    Model at(double t) const {
        const double vcp = v_close_packed();
        return {[=, *this](double v) { return p_star * reduced_pressure(vcp / v, t); },
                [=, *this](double v) {
                    const double rho = vcp / v;
                    const double dp_drho = -2.0 * rho + (t / t_star) * (1.0 / (1.0 - rho) - (1.0 - 1.0 / r));
                    return p_star * dp_drho * (-rho / v);
                }};
    }
    Hints hints() const {
        const double vcp = v_close_packed();
        return {vcp, vcp * (1.0 + std::sqrt(r)), vcp * (1.0 + std::sqrt(r))};
    }
};

// A hard-sphere chain with mean-field attraction (Carnahan-Starling + van der
// Waals), whose pole at packing fraction 1 places liquids near eta = 0.4, as in
// PC-SAFT: V_cp = b, eta = b / V.
struct HardSphereFluid {
    double b = 0.0512, a;
    explicit HardSphereFluid(double a_) : a(a_) {}
    Model at(double t) const {
        auto z = [](double eta) {
            return (1.0 + eta + eta * eta - eta * eta * eta) / std::pow(1.0 - eta, 3);
        };
        auto dz = [](double eta) {
            const double n = 1.0 + eta + eta * eta - eta * eta * eta, dn = 1.0 + 2.0 * eta - 3.0 * eta * eta;
            return (dn * (1.0 - eta) + 3.0 * n) / std::pow(1.0 - eta, 4);
        };
        return {[=, *this](double v) { return kR * t / v * z(b / v) - a / (v * v); },
                [=, *this](double v) {
                    const double rho = 1.0 / v, eta = b * rho;
                    const double dp_drho = kR * t * (z(eta) + eta * dz(eta)) - 2.0 * a * rho;
                    return -rho * rho * dp_drho;
                }};
    }
};

// Independent oracle: the root of P(V) = p by scanning from `from` towards `to`
// geometrically and bisecting the first sign change.
double first_root_scanning(const Model &m, double p, double from, double to) {
    const int n = 20000;
    const double ratio = std::pow(to / from, 1.0 / n);
    double v0 = from, f0 = m.pressure(v0) - p;
    for (int i = 1; i <= n; ++i) {
        const double v1 = from * std::pow(ratio, i), f1 = m.pressure(v1) - p;
        if (std::isfinite(f0) && std::isfinite(f1) && (f0 > 0) != (f1 > 0)) {
            double lo = v0, hi = v1, flo = f0;
            for (int k = 0; k < 200; ++k) {
                const double mid = 0.5 * (lo + hi), fm = m.pressure(mid) - p;
                if ((fm > 0) == (flo > 0)) lo = mid, flo = fm; else hi = mid;
            }
            return 0.5 * (lo + hi);
        }
        v0 = v1, f0 = f1;
    }
    return kNaN;
}

void expect_root(const Outcome &o, const Model &m, double p, double expected, double rel = 1e-10) {
    ASSERT_EQ(o.state, 4);
    EXPECT_NEAR(o.v, expected, rel * expected);
    EXPECT_LE(std::fabs(m.pressure(o.v) - p), 1e-9 * p);
    EXPECT_LT(m.slope(o.v), 0.0) << "root must be mechanically stable";
}

// --- ideal gas --------------------------------------------------------------

TEST(RootSearchIdealGas, BothRoutinesGiveRTOverP) {
    const double t = 300.0;
    const Model m = ideal_gas(t);
    const Hints h{0.02, 0.1, 0.1};
    for (double p : {1.0e3, 1.0e5, 1.0e7}) {
        for (RootKind kind : {RootKind::vapour, RootKind::liquid}) {
            RootSearch search(kind);
            const Outcome o = converse(search, m, h, t, p);
            ASSERT_EQ(o.state, 4) << p;
            EXPECT_NEAR(o.v, kR * t / p, 1e-12 * kR * t / p) << p;
            if (kind == RootKind::vapour) {
                EXPECT_LE(o.evaluations, 3);
            }
            if (p == 1.0e5) report(kind == RootKind::vapour ? "ideal gas, vapour" : "ideal gas, liquid", o);
        }
    }
}

// --- van der Waals ---------------------------------------------------------

TEST(RootSearchVanDerWaals, ThreeRootsLiquidSmallestVapourLargest) {
    const VanDerWaals vdw;
    for (double p : {1.0e6, 2.0e6, 4.0e6}) {
        const double t = 300.0;
        const std::vector<double> roots = vdw.roots(t, p);
        ASSERT_EQ(roots.size(), 3u) << p;
        const Model m = vdw.at(t);
        RootSearch liquid(RootKind::liquid), vapour(RootKind::vapour);
        const Outcome l = converse(liquid, m, vdw.hints(false), t, p);
        const Outcome v = converse(vapour, m, vdw.hints(false), t, p);
        expect_root(l, m, p, roots.front());
        expect_root(v, m, p, roots.back());
        EXPECT_LE(l.evaluations, 12);
        EXPECT_LE(v.evaluations, 12);
        if (p == 1.0e6) {
            report("vdW 300 K 1 MPa, liquid", l);
            report("vdW 300 K 1 MPa, vapour", v);
        }
    }
}

TEST(RootSearchVanDerWaals, SupercriticalSingleRootBothRoutinesAgree) {
    const VanDerWaals vdw;
    const double t = 450.0;
    const Model m = vdw.at(t);
    for (double p : {1.0e5, 5.0e6, 2.0e7, 1.0e8}) {
        const std::vector<double> roots = vdw.roots(t, p);
        ASSERT_EQ(roots.size(), 1u);
        RootSearch liquid(RootKind::liquid), vapour(RootKind::vapour);
        const Outcome l = converse(liquid, m, vdw.hints(false), t, p);
        const Outcome v = converse(vapour, m, vdw.hints(true), t, p);
        expect_root(l, m, p, roots.front());
        expect_root(v, m, p, roots.front());
    }
}

TEST(RootSearchVanDerWaals, MissingKindReturnsTheOtherRoot) {
    const VanDerWaals vdw;
    {
        // Above the vapour spinodal maximum (4.48 MPa at 300 K): only a dense root.
        const double t = 300.0, p = 6.0e6;
        const std::vector<double> roots = vdw.roots(t, p);
        ASSERT_EQ(roots.size(), 1u);
        RootSearch vapour(RootKind::vapour);
        const Outcome o = converse(vapour, vdw.at(t), vdw.hints(false), t, p);
        expect_root(o, vdw.at(t), p, roots.front());
        report("vdW vapour asked above the spinodal", o);
    }
    {
        // Below the liquid spinodal minimum (4.39 MPa at 330 K): only a dilute root.
        const double t = 330.0, p = 3.0e6;
        const std::vector<double> roots = vdw.roots(t, p);
        ASSERT_EQ(roots.size(), 1u);
        RootSearch liquid(RootKind::liquid);
        const Outcome o = converse(liquid, vdw.at(t), vdw.hints(false), t, p);
        expect_root(o, vdw.at(t), p, roots.front());
        report("vdW liquid asked below the spinodal", o);
    }
}

// --- unusable and rootless models -----------------------------------------------

TEST(RootSearchFailures, NoRootEndsWithStateFiveWithinBoundedEvaluations) {
    const Hints h{0.05, 0.15, 0.15};
    const double t = 300.0, p = 1.0e6;
    // Positive pressures that never reach P: a convergence failure (p_calc = 0).
    const Model weak{[](double v) { return 1.0e5 * 0.05 / v; }, [](double v) { return -1.0e5 * 0.05 / (v * v); }};
    // Negative pressure everywhere: the last model pressure is left for the monitor.
    const Model negative{[](double) { return -2.0e5; }, [](double) { return 0.0; }};
    for (RootKind kind : {RootKind::vapour, RootKind::liquid}) {
        RootSearch s1(kind), s2(kind);
        const Outcome o1 = converse(s1, weak, h, t, p);
        EXPECT_EQ(o1.state, 5);
        EXPECT_EQ(o1.p_calc, 0.0);
        EXPECT_LE(o1.evaluations, 120);
        const Outcome o2 = converse(s2, negative, h, t, p);
        EXPECT_EQ(o2.state, 5);
        EXPECT_EQ(o2.p_calc, -2.0e5);
        EXPECT_LE(o2.evaluations, 120);
        report(std::string(kind == RootKind::vapour ? "vapour" : "liquid") + ", no root (positive P)", o1);
        report(std::string(kind == RootKind::vapour ? "vapour" : "liquid") + ", no root (negative P)", o2);
    }
}

TEST(RootSearchFailures, NotANumberRegionsAreSteppedAround) {
    const VanDerWaals vdw;
    const double t = 300.0, p = 1.0e6;
    const std::vector<double> roots = vdw.roots(t, p);
    const Model clean = vdw.at(t);
    // Undefined close to V_cp, in a band inside the loop, and in a band around
    // the ideal-gas volume: the roots themselves lie in defined regions.
    auto undefined = [&](double v) {
        return v < 0.95 * roots.front() || (v > 0.15 && v < 0.5) || (v > 2.4 && v < 2.6);
    };
    const Model holed{[&](double v) { return undefined(v) ? kNaN : clean.pressure(v); },
                      [&](double v) { return undefined(v) ? kNaN : clean.slope(v); }};
    RootSearch liquid(RootKind::liquid), vapour(RootKind::vapour);
    expect_root(converse(liquid, holed, vdw.hints(false), t, p), clean, p, roots.front());
    expect_root(converse(vapour, holed, vdw.hints(false), t, p), clean, p, roots.back());

    // Undefined everywhere: fails, and the NaN pressure is left for the monitor.
    const Model nowhere{[](double) { return kNaN; }, [](double) { return kNaN; }};
    RootSearch s(RootKind::liquid);
    const Outcome o = converse(s, nowhere, vdw.hints(false), t, p);
    EXPECT_EQ(o.state, 5);
    EXPECT_TRUE(std::isnan(o.p_calc));
}

TEST(RootSearchFailures, ANewConversationForgetsThePreviousOne) {
    const VanDerWaals vdw;
    const double t = 300.0, p = 1.0e6;
    const Model nowhere{[](double) { return kNaN; }, [](double) { return kNaN; }};
    RootSearch s(RootKind::vapour);
    EXPECT_EQ(converse(s, nowhere, vdw.hints(false), t, p).state, 5);
    expect_root(converse(s, vdw.at(t), vdw.hints(false), t, p), vdw.at(t), p, vdw.roots(t, p).back());
}

// --- lattice fluid and hard-chain models (real-looking starts) -------------------

TEST(RootSearchLatticeFluid, LiquidAtRoomConditionsFromAGoodStart) {
    const double t = 300.0, p = 1.0e5;
    const LatticeFluid polymer{735.0, 3.57e8, 1000.0};  // polystyrene-like, rho~ ~ 0.96
    const LatticeFluid solvent{476.0, 2.98e8, 8.37};    // n-hexane-like, rho~ ~ 0.85
    for (const auto &[name, fluid] : {std::pair{"polymer r=1000", polymer}, std::pair{"solvent r=8.4", solvent}}) {
        const Model m = fluid.at(t);
        const double vcp = fluid.v_close_packed();
        const double expected = first_root_scanning(m, p, vcp * (1.0 + 1e-9), 10.0 * vcp);
        RootSearch liquid(RootKind::liquid);
        const Outcome o = converse(liquid, m, fluid.hints(), t, p);
        expect_root(o, m, p, expected);
        EXPECT_LE(o.evaluations, 12) << name;
        report(std::string("lattice fluid liquid, ") + name, o);
    }
    // The solvent's vapour spinodal lies at ~6.3 bar at 300 K: at 0.1 bar the
    // vapour routine finds the dilute root, at 10 bar only the liquid exists.
    const Model m = solvent.at(t);
    const double vcp = solvent.v_close_packed();
    RootSearch vapour(RootKind::vapour);
    const double p_low = 1.0e4;
    const Outcome low = converse(vapour, m, solvent.hints(), t, p_low);
    expect_root(low, m, p_low, first_root_scanning(m, p_low, 1.0e3 * kR * t / p_low, vcp * (1.0 + 1e-9)));
    EXPECT_LE(low.evaluations, 6);
    report("lattice fluid vapour 0.1 bar", low);
    const double p_high = 1.0e6;
    const double dense = first_root_scanning(m, p_high, vcp * (1.0 + 1e-9), 1.0e3 * kR * t / p_high);
    const double dilute = first_root_scanning(m, p_high, 1.0e3 * kR * t / p_high, vcp * (1.0 + 1e-9));
    ASSERT_NEAR(dense, dilute, 1e-9 * dense) << "expected a single root";
    const Outcome high = converse(vapour, m, solvent.hints(), t, p_high);
    expect_root(high, m, p_high, dense);
    report("lattice fluid vapour asked at 10 bar (liquid only)", high);
}

TEST(RootSearchHardChain, LiquidNearPackingFractionPointFourAndDiluteVapour) {
    const double t = 300.0;
    // Attraction chosen so that the liquid at ~0 pressure has eta ~ 0.39.
    const HardSphereFluid fluid(16.75 * 0.0512 * kR * t);
    const Model m = fluid.at(t);
    const Hints h{fluid.b, 0.44, 0.44};
    for (double p : {1.0e5, 1.0e7}) {
        RootSearch liquid(RootKind::liquid);
        const Outcome o = converse(liquid, m, h, t, p, /*move_off_close_packed=*/true);
        expect_root(o, m, p, first_root_scanning(m, p, fluid.b * 1.0001, 20.0 * fluid.b));
        EXPECT_LE(o.evaluations, 12);
        if (p == 1.0e5) report("hard-chain liquid 1 bar", o);
    }
    RootSearch vapour(RootKind::vapour);
    const double p = 10.0;  // far below this fluid's vapour pressure
    const Outcome o = converse(vapour, m, h, t, p, true);
    expect_root(o, m, p, first_root_scanning(m, p, 1.0e3 * kR * t / p, fluid.b * 1.0001));
    EXPECT_LE(o.evaluations, 6);
    report("hard-chain vapour 10 Pa", o);
}

}  // namespace
}  // namespace keld::refhost
