// P-x-y isotherms and P-T envelopes traced through their critical points:
// every returned phase pair re-evaluated by the model's property routine at
// its own (T, rho, x) (not the tracer's density-variable equations), tie
// lines compared with the monitor bubble point where that converges, the end
// and the crossing checked against the critical-point criteria, the extrema
// of the envelope against the traced curve.
#include "keld/equilibria/envelope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "keld/equilibria/bubble_dew.h"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::Status;

PcSaftComponent component(const PcsaftFluid &f) { return {std::string(f.id), f.mw, f.m, f.sigma, f.eps}; }
const PcSaftComponent kButane{"NC4", 58.123, 2.3316, 3.7086, 222.88};

Model natural_gas() {
    return Model::pcsaft({component(kMethane), component(kEthane), component(kPropane), kButane, component(kHexane)});
}
const std::vector<double> kNaturalGas{0.80, 0.10, 0.05, 0.03, 0.02};

// Largest |ln f_i' - ln f_i''| over the components present in both phases and
// |P' - P''| / P', each phase evaluated at its own T, rho and composition.
struct Mismatch {
    double ln_f = 0.0, p = 0.0, p_reported = 0.0;
};
Mismatch mismatch(const Model &m, double t, double p, double rho1, const std::vector<double> &x1, double rho2,
                  const std::vector<double> &x2) {
    const Properties a = properties(m, t, rho1, x1, {false, nullptr});
    const Properties b = properties(m, t, rho2, x2, {false, nullptr});
    Mismatch r;
    for (std::size_t i = 0; i < x1.size(); ++i) {
        if (x1[i] == 0.0 && x2[i] == 0.0) continue;
        const double fa = std::log(x1[i] * a.p) + a.ln_phi[i], fb = std::log(x2[i] * b.p) + b.ln_phi[i];
        r.ln_f = std::max(r.ln_f, std::fabs(fa - fb));
    }
    r.p = std::fabs(a.p - b.p) / a.p;
    r.p_reported = std::fabs(a.p - p) / a.p;
    return r;
}

struct IsothermCase {
    const char *name;
    std::vector<PcSaftComponent> components;
    double t;
    bool to_critical;
};

const IsothermCase kIsotherms[] = {
    {"methane + n-hexane, 350 K", {component(kMethane), component(kHexane)}, 350.0, true},
    {"n-hexane + methane, 350 K (listed the other way)", {component(kHexane), component(kMethane)}, 350.0, true},
    {"methane + n-hexane, 450 K", {component(kMethane), component(kHexane)}, 450.0, true},
    {"ethane + propane, 280 K (both subcritical)", {component(kEthane), component(kPropane)}, 280.0, false},
};

// Every tie line is an equilibrium, the curve has no jumps, and where the isotherm
// ends at a critical point that point meets the criteria at the isotherm's T and
// the traced tie lines close in on it.
TEST(PxyIsotherm, TieLinesAreEquilibriaAndTheCurveEndsAtTheCriticalPoint) {
    for (const IsothermCase &c : kIsotherms) {
        SCOPED_TRACE(c.name);
        const Model m = Model::pcsaft(c.components);
        const auto r = equilibria::pxy_isotherm(m, c.t);
        ASSERT_EQ(r.status, Status::converged) << r.message;
        ASSERT_GT(r.points.size(), 10u);
        EXPECT_EQ(r.ends_at_critical, c.to_critical);
        const std::size_t traced = r.points.size() - (r.ends_at_critical ? 1 : 0);
        for (std::size_t k = 0; k < traced; ++k) {
            const auto &pt = r.points[k];
            const Mismatch e = mismatch(m, c.t, pt.p, pt.rho_liquid, pt.x, pt.rho_vapour, pt.y);
            EXPECT_LE(e.ln_f, 1e-10) << "point " << k;
            EXPECT_LE(e.p, 1e-10) << "point " << k;
            EXPECT_LE(e.p_reported, 1e-10) << "point " << k;
            EXPECT_GT(pt.rho_liquid, pt.rho_vapour) << "point " << k;
        }
        for (std::size_t k = 1; k < r.points.size(); ++k) {
            const auto &a = r.points[k - 1], &b = r.points[k];
            EXPECT_LT(std::fabs(std::log(b.p / a.p)), 0.3) << "jump at point " << k;
            EXPECT_LT(std::fabs(b.x[0] - a.x[0]) + std::fabs(b.y[0] - a.y[0]), 0.15) << "jump at point " << k;
        }
        if (!c.to_critical) {
            // From one pure component's vapour pressure to the other's.
            EXPECT_TRUE(r.points.front().x[0] == 0.0 || r.points.front().x[0] == 1.0);
            EXPECT_NEAR(r.points.back().x[0], 1.0 - r.points.front().x[0], 0.0);
            continue;
        }
        const auto &end = r.points.back();
        ASSERT_EQ(r.critical.status, Status::converged);
        EXPECT_NEAR(r.critical.t, c.t, 1e-8 * c.t);
        const auto conditions = equilibria::critical_conditions(m, c.t, 1.0 / end.rho_liquid, end.x);
        EXPECT_LE(std::fabs(conditions.eigenvalue), 1e-9);
        EXPECT_LE(std::fabs(conditions.cubic_form) / conditions.cubic_scale, 1e-9);
        EXPECT_NEAR(properties(m, c.t, end.rho_liquid, end.x, {false, nullptr}).p / end.p, 1.0, 1e-10);
        // The pressure maximum of the isotherm is its end, and the last tie lines lie close to it.
        double highest = 0.0;
        for (std::size_t k = 0; k < traced; ++k) highest = std::max(highest, r.points[k].p);
        EXPECT_LE(highest, end.p * (1.0 + 1e-12));
        const auto &last = r.points[traced - 1];
        EXPECT_LT((end.p - last.p) / end.p, 1e-3);
        EXPECT_LT(std::fabs(last.x[0] - end.x[0]), 0.01);
        // The same critical point from the criteria at the end's composition alone.
        const auto direct = equilibria::mixture_critical_point(m, end.x, {c.t, 1.0 / end.rho_liquid});
        ASSERT_EQ(direct.status, Status::converged) << direct.message;
        EXPECT_NEAR(direct.t / c.t, 1.0, 1e-9);
        EXPECT_NEAR(direct.p / end.p, 1.0, 1e-8);
    }
}

// Where the monitors' bubble point converges (below 13 MPa), it is the tie line
// the tracer found: the monitor iteration at the traced liquid returns its pressure and vapour.
TEST(PxyIsotherm, AgreesWithTheMonitorBubblePoint) {
    Host h = make_host();
    equilibria::SystemOptions monitors_only;  // the bubble point would otherwise be solved on the model too
    monitors_only.solve_on_model = false;
    equilibria::System system(*h.host, "pcsaft", {h.c1, h.hexane}, monitors_only);
    const Model m = Model::pcsaft({component(kMethane), component(kHexane)});
    const auto r = equilibria::pxy_isotherm(m, 350.0);
    ASSERT_EQ(r.status, Status::converged) << r.message;
    int compared = 0;
    for (const auto &pt : r.points) {
        if (pt.p > 13e6 || pt.x[0] < 1e-3) continue;
        const auto b = equilibria::bubble_pressure(system, 350.0, pt.x);
        ASSERT_TRUE(b.ok()) << b.message << " at x = " << pt.x[0];
        EXPECT_NEAR(b.p / pt.p, 1.0, 1e-8) << "x = " << pt.x[0];
        EXPECT_NEAR(b.y[0], pt.y[0], 1e-8) << "x = " << pt.x[0];
        ++compared;
    }
    EXPECT_GE(compared, 10);
}

struct IsobarCase {
    const char *name;
    std::vector<PcSaftComponent> components;
    double p;
    bool to_critical;
};

// T-x-y isobars: every tie line an equilibrium at the held pressure; between the two pure components'
// critical pressures the isobar starts at the one that still boils and ends at the mixture's critical
// point at P (criteria met there, T the highest of the curve's liquid side is not required).
TEST(TxyIsobar, TieLinesAreEquilibriaAtThePressureAndTheCurveEndsAtTheCriticalPoint) {
    const IsobarCase cases[] = {
        {"ethane + propane, 2 MPa (both boil)", {component(kEthane), component(kPropane)}, 2e6, false},
        {"methane + n-hexane, 4 MPa (above n-hexane's critical pressure)", {component(kMethane), component(kHexane)},
         4e6, true},
    };
    for (const IsobarCase &c : cases) {
        SCOPED_TRACE(c.name);
        const Model m = Model::pcsaft(c.components);
        const auto r = equilibria::txy_isobar(m, c.p);
        ASSERT_EQ(r.status, Status::converged) << r.message;
        EXPECT_EQ(r.ends_at_critical, c.to_critical);
        const std::size_t traced = r.points.size() - (r.ends_at_critical ? 1 : 0);
        for (std::size_t k = 0; k < traced; ++k) {
            const auto &pt = r.points[k];
            const Mismatch e = mismatch(m, pt.t, pt.p, pt.rho_liquid, pt.x, pt.rho_vapour, pt.y);
            EXPECT_LE(e.ln_f, 1e-10) << "point " << k;
            EXPECT_LE(e.p, 1e-10) << "point " << k;
            EXPECT_NEAR(pt.p / c.p, 1.0, 1e-10) << "point " << k;
        }
        for (std::size_t k = 1; k < r.points.size(); ++k)
            EXPECT_LT(std::fabs(std::log(r.points[k].t / r.points[k - 1].t)), 0.04) << "jump at point " << k;
        if (!c.to_critical) {
            EXPECT_NEAR(r.points.back().x[0], 1.0 - r.points.front().x[0], 0.0);
            continue;
        }
        const auto &end = r.points.back();
        EXPECT_NEAR(end.p / c.p, 1.0, 1e-10);
        const auto conditions = equilibria::critical_conditions(m, end.t, 1.0 / end.rho_liquid, end.x);
        EXPECT_LE(std::fabs(conditions.eigenvalue), 1e-9);
        EXPECT_LE(std::fabs(conditions.cubic_form) / conditions.cubic_scale, 1e-9);
        EXPECT_LT(std::fabs(r.points[traced - 1].t / end.t - 1.0), 1e-3);
    }
    const Model binary = Model::pcsaft({component(kMethane), component(kHexane)});
    EXPECT_EQ(equilibria::txy_isobar(binary, 5e7).status, Status::supercritical);
    EXPECT_EQ(equilibria::txy_isobar(binary, 0.0).status, Status::invalid_input);
}

struct EnvelopeCase {
    const char *name;
    Model model;
    std::vector<double> z;
};

// Every point of the envelope is an equilibrium of the feed with its incipient
// phase; the curve runs from the dew point at p_low through the critical point
// (the criteria's own at z) to the bubble point at p_low without jumps; the
// cricondenbar and cricondentherm bound the traced curve, with dP/dT = 0 at the first.
TEST(PhaseEnvelope, PointsAreEquilibriaThroughTheCriticalPoint) {
    const EnvelopeCase cases[] = {
        {"natural gas of five alkanes", natural_gas(), kNaturalGas},
        {"methane + n-hexane, 30 % hexane", Model::pcsaft({component(kMethane), component(kHexane)}), {0.7, 0.3}},
        {"ethane + propane, equimolar", Model::pcsaft({component(kEthane), component(kPropane)}), {0.5, 0.5}},
    };
    for (const EnvelopeCase &c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = equilibria::phase_envelope(c.model, c.z);
        ASSERT_EQ(r.status, Status::converged) << r.message;
        ASSERT_TRUE(r.has_critical && r.has_cricondenbar && r.has_cricondentherm);
        EXPECT_NEAR(r.points.front().p, 1e5, 1e-5);
        EXPECT_NEAR(r.points.back().p, 1e5, 1e-5);
        for (std::size_t k = 0; k < r.points.size(); ++k) {
            if (k == r.critical_index) continue;
            const auto &pt = r.points[k];
            const Mismatch e = mismatch(c.model, pt.t, pt.p, pt.rho_feed, c.z, pt.rho_incipient, pt.incipient);
            EXPECT_LE(e.ln_f, 1e-10) << "point " << k;
            EXPECT_LE(e.p, 1e-10) << "point " << k;
            EXPECT_LE(e.p_reported, 1e-10) << "point " << k;
            // Dew points before the critical point, bubble points after it.
            EXPECT_EQ(pt.bubble, k > r.critical_index) << "point " << k;
        }
        for (std::size_t k = 1; k < r.points.size(); ++k) {
            const auto &a = r.points[k - 1], &b = r.points[k];
            EXPECT_LT(std::fabs(std::log(b.t / a.t)), 0.04) << "jump at point " << k;
            EXPECT_LT(std::fabs(std::log(b.p / a.p)), 0.3) << "jump at point " << k;
            EXPECT_LT(std::fabs(std::log(b.rho_feed / a.rho_feed)), 0.7) << "jump at point " << k;
        }
        const auto direct = equilibria::mixture_critical_point(c.model, c.z);
        ASSERT_EQ(direct.status, Status::converged) << direct.message;
        const auto &cp = r.points[r.critical_index];
        EXPECT_NEAR(cp.t / direct.t, 1.0, 1e-10);
        EXPECT_NEAR(cp.p / direct.p, 1.0, 1e-9);
        // The neighbours of the critical point on either side close in on it.
        for (std::size_t k : {r.critical_index - 1, r.critical_index + 1}) {
            EXPECT_LT(std::fabs(r.points[k].t / cp.t - 1.0), 0.03) << "point " << k;
            EXPECT_LT(std::fabs(r.points[k].rho_feed / cp.rho_feed - 1.0), 0.3) << "point " << k;
        }
        const auto &cb = r.cricondenbar, &ct = r.cricondentherm;
        const Mismatch ecb = mismatch(c.model, cb.t, cb.p, cb.rho_feed, c.z, cb.rho_incipient, cb.incipient);
        const Mismatch ect = mismatch(c.model, ct.t, ct.p, ct.rho_feed, c.z, ct.rho_incipient, ct.incipient);
        EXPECT_LE(std::max(ecb.ln_f, ect.ln_f), 1e-10);
        EXPECT_LE(std::fabs(r.cricondenbar_slope) * cb.t / cb.p, 1e-8);
        for (const auto &pt : r.points) {
            EXPECT_LE(pt.p, cb.p * (1.0 + 1e-12));
            EXPECT_LE(pt.t, ct.t * (1.0 + 1e-12));
        }
        EXPECT_GE(cb.p, cp.p);
        EXPECT_GE(ct.t, cp.t);
    }
}

// Requests without an answer are refused with a reason, never answered with numbers.
TEST(PhaseEnvelope, ImpossibleRequestsAreRefused) {
    const Model binary = Model::pcsaft({component(kMethane), component(kHexane)});
    const Model pure = Model::pcsaft({component(kHexane)});
    const auto bad_z = equilibria::phase_envelope(binary, std::vector<double>{0.5, -0.1});
    EXPECT_EQ(bad_z.status, Status::invalid_input);
    EXPECT_TRUE(bad_z.points.empty());
    const auto one = equilibria::phase_envelope(pure, std::vector<double>{1.0});
    EXPECT_EQ(one.status, Status::invalid_input);
    EXPECT_EQ(equilibria::pxy_isotherm(natural_gas(), 300.0).status, Status::invalid_input);
    EXPECT_EQ(equilibria::pxy_isotherm(binary, -5.0).status, Status::invalid_input);
    const auto hot = equilibria::pxy_isotherm(binary, 600.0);
    EXPECT_EQ(hot.status, Status::supercritical);
    EXPECT_TRUE(hot.points.empty());
}

}  // namespace
}  // namespace keld::testing
