// Flash into several phases on the model: every returned phase re-evaluated
// by the model's property routine at its own (T, rho, x), not the flash's
// bookkeeping; the feed recovered from the phases; a feed outside the
// two-phase region left as one phase; bad input refused.
#include "keld/equilibria/three_phase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "keld/case.h"
#include "keld/equilibria/critical.h"

namespace keld::testing {
namespace {

using equilibria::FlashResult;
using equilibria::PhaseKind;
using equilibria::Status;

Model model_of(const char *file, std::vector<std::string> ids) {
    refhost::Case c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/" + file);
    refhost::initialise_case(c);
    return refhost::model_from_case(c, "pcsaft-assoc", 1, ids);
}

const Model &methanol_hexane() {
    static const Model m = model_of("methanol-hexane-pcsaft-assoc.json", {"METHANOL", "HEXANE"});
    return m;
}

// Largest |ln f_i - ln f_i'| between the phases (components present in both), each phase evaluated
// again at its own state, and the largest |P_phase - P| of those states in units of what one unit in
// the last place of the density moves P (rho dP/drho eps: P eps for a gas, a stiff liquid at a few
// Pa many times P).
struct Recheck {
    double ln_f = 0.0, p_ulps = 0.0, balance = 0.0;
};
Recheck recheck(const Model &m, const FlashResult &r, const std::vector<double> &z) {
    Recheck out;
    std::vector<std::vector<double>> ln_f;
    for (const auto &ph : r.phases) {
        const Properties pr = properties(m, r.t, 1.0 / ph.v, ph.x, {false, nullptr});
        std::vector<double> f(z.size(), std::nan(""));
        for (std::size_t i = 0; i < z.size(); ++i)
            if (ph.x[i] > 0.0) f[i] = std::log(ph.x[i] * pr.p) + pr.ln_phi[i];
        ln_f.push_back(f);
        const double ulp = std::numeric_limits<double>::epsilon() * (1.0 / ph.v) * std::fabs(pr.dp_drho);
        out.p_ulps = std::max(out.p_ulps, std::fabs(pr.p - r.p) / ulp);
    }
    for (std::size_t k = 1; k < ln_f.size(); ++k)
        for (std::size_t i = 0; i < z.size(); ++i)
            if (std::isfinite(ln_f[k][i]) && std::isfinite(ln_f[0][i]))
                out.ln_f = std::max(out.ln_f, std::fabs(ln_f[k][i] - ln_f[0][i]));
    for (std::size_t i = 0; i < z.size(); ++i) {
        double sum = 0.0;
        for (const auto &ph : r.phases) sum += ph.fraction * ph.x[i];
        out.balance = std::max(out.balance, std::fabs(sum - z[i]));
    }
    return out;
}

struct FlashCase {
    const char *name;
    double t, p;
    std::vector<double> z;
    Status status;
    std::vector<PhaseKind> kinds;
};

// Methanol + n-hexane on associating PC-SAFT without a binary parameter: two liquids below about
// 198 K, a vapour at a few Pa.
const FlashCase kBinary[] = {
    {"two liquids at 185 K, 1 bar", 185.0, 1e5, {0.15, 0.85}, Status::converged, {PhaseKind::liquid, PhaseKind::liquid}},
    {"two liquids at 185 K, 5.5 Pa", 185.0, 5.5, {0.15, 0.85}, Status::converged, {PhaseKind::liquid, PhaseKind::liquid}},
    {"liquid and vapour at 185 K, 4 Pa", 185.0, 4.0, {0.15, 0.85}, Status::converged, {PhaseKind::liquid, PhaseKind::vapour}},
    {"one liquid at 298.15 K (above the demixing)", 298.15, 1e5, {0.5, 0.5}, Status::single_phase, {PhaseKind::liquid}},
    {"one vapour at 298.15 K, 1 kPa", 298.15, 1e3, {0.5, 0.5}, Status::single_phase, {PhaseKind::vapour}},
};

TEST(MultiphaseFlash, PhasesHaveEqualFugacitiesAndHoldTheFeed) {
    const Model &m = methanol_hexane();
    for (const FlashCase &c : kBinary) {
        SCOPED_TRACE(c.name);
        const FlashResult r = equilibria::flash_on_model(m, c.t, c.p, c.z);
        ASSERT_EQ(r.status, c.status) << r.message;
        ASSERT_EQ(r.phases.size(), c.kinds.size());
        for (std::size_t k = 0; k < c.kinds.size(); ++k) EXPECT_EQ(r.phases[k].kind, c.kinds[k]);
        const Recheck e = recheck(m, r, c.z);
        EXPECT_LE(e.ln_f, 1e-10);
        EXPECT_LE(e.balance, 1e-12);
        // The states' own pressures: the density roots to within a few units in their last place
        // (the volume handed back and the property route's own rounding take one or two).
        EXPECT_LE(e.p_ulps, 4.0);
        if (r.phases.size() == 2) {
            // Distinct phases, not the trivial solution.
            EXPECT_GT(std::fabs(r.phases[0].x[0] - r.phases[1].x[0]), 1e-3);
            EXPECT_GT(r.phases[0].fraction, 0.0);
            EXPECT_GT(r.phases[1].fraction, 0.0);
        }
    }
}

// Methanol + n-hexane under methane at 185 K: the gas over two liquids at low pressure (three
// phases over a range of P for three components), one liquid once enough methane dissolves.
const FlashCase kTernary[] = {
    {"three phases at 1 bar", 185.0, 1e5, {0.1, 0.5, 0.4}, Status::converged,
     {PhaseKind::liquid, PhaseKind::liquid, PhaseKind::vapour}},
    {"three phases at 5 bar", 185.0, 5e5, {0.1, 0.5, 0.4}, Status::converged,
     {PhaseKind::liquid, PhaseKind::liquid, PhaseKind::vapour}},
    {"three phases at 1 bar, 180 K", 180.0, 1e5, {0.1, 0.5, 0.4}, Status::converged,
     {PhaseKind::liquid, PhaseKind::liquid, PhaseKind::vapour}},
    {"liquid and gas at 20 bar", 185.0, 2e6, {0.1, 0.5, 0.4}, Status::converged, {PhaseKind::liquid, PhaseKind::vapour}},
    {"liquid and gas, the liquids' ratio outside the gap", 185.0, 1e5, {0.3, 0.3, 0.4}, Status::converged,
     {PhaseKind::liquid, PhaseKind::vapour}},
};

TEST(MultiphaseFlash, ThirdPhaseFoundWhereTwoAreUnstable) {
    const Model m = model_of("methanol-hexane-methane-pcsaft-assoc.json", {"METHANOL", "HEXANE", "CH4"});
    for (const FlashCase &c : kTernary) {
        SCOPED_TRACE(c.name);
        const FlashResult r = equilibria::flash_on_model(m, c.t, c.p, c.z);
        ASSERT_EQ(r.status, c.status) << r.message;
        ASSERT_EQ(r.phases.size(), c.kinds.size());
        for (std::size_t k = 0; k < c.kinds.size(); ++k) EXPECT_EQ(r.phases[k].kind, c.kinds[k]);
        const Recheck e = recheck(m, r, c.z);
        EXPECT_LE(e.ln_f, 1e-10);
        EXPECT_LE(e.balance, 1e-12);
        EXPECT_LE(e.p_ulps, 4.0);
        for (const auto &ph : r.phases) EXPECT_GT(ph.fraction, 0.01);
        // Newton on the split and on the trials: a few hundred phase evaluations at most, where
        // substitution alone needs thousands (its rate tends to 1 once the third phase appears).
        EXPECT_LT(r.evaluations, 300);
        if (c.kinds.size() == 3) {
            // Methanol-rich liquid first, then the hexane-rich one, then the gas.
            EXPECT_GT(r.phases[0].x[0], r.phases[1].x[0] + 0.1);
            EXPECT_GT(r.phases[2].x[2], 0.99);
        }
    }
}

// Liquids and vapour are told apart by their roots, and the flash with at most two phases gives
// the same split where no third is needed.
TEST(MultiphaseFlash, TwoPhaseLimitAgreesWhereNoThirdPhaseIsNeeded) {
    const Model &m = methanol_hexane();
    const std::vector<double> z{0.15, 0.85};
    equilibria::MultiphaseOptions two;
    two.max_phases = 2;
    const FlashResult a = equilibria::flash_on_model(m, 185.0, 1e5, z, two);
    const FlashResult b = equilibria::flash_on_model(m, 185.0, 1e5, z);
    ASSERT_EQ(a.status, Status::converged) << a.message;
    ASSERT_EQ(b.status, Status::converged) << b.message;
    ASSERT_EQ(a.phases.size(), b.phases.size());
    for (std::size_t k = 0; k < a.phases.size(); ++k) EXPECT_NEAR(a.phases[k].x[0], b.phases[k].x[0], 1e-9);
    // The methanol-rich liquid is listed first.
    EXPECT_GT(a.phases[0].x[0], a.phases[1].x[0]);
}

// A polymer solution boiling: the polystyrene stays in the liquid, by construction.
TEST(MultiphaseFlash, PolymerStaysOutOfTheVapour) {
    const Model m = model_of("polystyrene-toluene-ethanol-pcsaft-assoc.json", {"TOLUENE", "ETHANOL", "PS"});
    const std::vector<double> w{0.55, 0.35, 0.10};
    std::vector<double> z(3);
    double sum = 0.0;
    for (std::size_t i = 0; i < 3; ++i) sum += z[i] = w[i] / m.components()[i].mw;
    for (double &v : z) v /= sum;
    const FlashResult r = equilibria::flash_on_model(m, 298.15, 8000.0, z);
    ASSERT_EQ(r.status, Status::converged) << r.message;
    ASSERT_EQ(r.phases.size(), 2u);
    ASSERT_EQ(r.phases[1].kind, PhaseKind::vapour);
    EXPECT_EQ(r.phases[1].x[2], 0.0);
    EXPECT_TRUE(std::isnan(r.phases[1].ln_phi[2]));
    const Recheck e = recheck(m, r, z);
    EXPECT_LE(e.ln_f, 1e-10);
    EXPECT_LE(e.balance, 1e-12);
}

TEST(MultiphaseFlash, RefusesBadInput) {
    const Model &m = methanol_hexane();
    const std::vector<double> z{0.5, 0.5}, short_feed{1.0}, negative{1.5, -0.5};
    equilibria::MultiphaseOptions four;
    four.max_phases = 4;
    EXPECT_EQ(equilibria::flash_on_model(m, -1.0, 1e5, z).status, Status::invalid_input);
    EXPECT_EQ(equilibria::flash_on_model(m, 300.0, std::nan(""), z).status, Status::invalid_input);
    EXPECT_EQ(equilibria::flash_on_model(m, 300.0, 1e5, short_feed).status, Status::invalid_input);
    EXPECT_EQ(equilibria::flash_on_model(m, 300.0, 1e5, negative).status, Status::invalid_input);
    const FlashResult r = equilibria::flash_on_model(m, 300.0, 1e5, z, four);
    EXPECT_EQ(r.status, Status::invalid_input);
    EXPECT_TRUE(r.phases.empty());
}

}  // namespace
}  // namespace keld::testing

namespace keld::testing {
namespace {

// ln f_i of a phase evaluated again at its own (T, rho, x), and its pressure.
struct Evaluated {
    std::vector<double> ln_f;
    double p = 0.0;
};
Evaluated at_state(const Model &m, double t, double rho, const std::vector<double> &x) {
    const Properties pr = properties(m, t, rho, x, {false, nullptr});
    Evaluated e;
    for (std::size_t i = 0; i < x.size(); ++i) e.ln_f.push_back(std::log(x[i] * pr.p) + pr.ln_phi[i]);
    e.p = pr.p;
    return e;
}

const equilibria::VlleLine &methanol_hexane_line() {
    static const equilibria::VlleLine line = [] {
        equilibria::VlleOptions o;
        o.t_start = 170.0;
        return equilibria::vlle_line(methanol_hexane(), o);
    }();
    return line;
}

// Methanol + n-hexane: the three-phase line from 170 K to the end point near 198 K, where the
// liquids merge; every point re-evaluated phase by phase.
TEST(ThreePhaseLine, ThreePhasesHaveEqualFugacitiesAlongTheLine) {
    const Model &m = methanol_hexane();
    const equilibria::VlleLine &line = methanol_hexane_line();
    ASSERT_EQ(line.status, Status::converged) << line.message;
    ASSERT_TRUE(line.end_point);
    ASSERT_GE(line.points.size(), 10u);
    EXPECT_LE(line.residual, 1e-11);
    for (std::size_t k = 0; k < line.points.size(); ++k) {
        const equilibria::ThreePhasePoint &pt = line.points[k];
        SCOPED_TRACE("T = " + std::to_string(pt.t));
        const Evaluated a = at_state(m, pt.t, pt.rho1, pt.x1), b = at_state(m, pt.t, pt.rho2, pt.x2),
                        v = at_state(m, pt.t, pt.rho_v, pt.y);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_LE(std::fabs(a.ln_f[i] - v.ln_f[i]), 1e-10);
            EXPECT_LE(std::fabs(b.ln_f[i] - v.ln_f[i]), 1e-10);
        }
        // Pressures: the vapour's is the line's; a liquid's to what moves its ln f by 1e-11.
        EXPECT_LE(std::fabs(v.p - pt.p) / pt.p, 1e-12);
        EXPECT_LE(std::fabs(a.p - v.p) / (kGasConstant * pt.t * pt.rho1), 1e-11);
        EXPECT_LE(std::fabs(b.p - v.p) / (kGasConstant * pt.t * pt.rho2), 1e-11);
        if (k > 0) {
            EXPECT_GT(pt.t, line.points[k - 1].t);
            EXPECT_GT(pt.p, line.points[k - 1].p);
        }
        if (k + 1 < line.points.size()) {
            EXPECT_GT(pt.x1[0], pt.x2[0] + 0.01);  // two distinct liquids before the end
            EXPECT_GT(pt.rho_v * 1e3, 0.0);
            EXPECT_LT(pt.rho_v, 1e-3 * pt.rho1);    // and a vapour
        }
    }
}

// The end point is solved, not extrapolated: one liquid at its liquid-liquid critical point
// (checked with the critical-point criteria on its own), with the last traced tie lines
// closing in on it from both sides.
TEST(ThreePhaseLine, EndsAtTheUpperCriticalEndPoint) {
    const Model &m = methanol_hexane();
    const equilibria::VlleLine &line = methanol_hexane_line();
    ASSERT_EQ(line.status, Status::converged) << line.message;
    const equilibria::ThreePhasePoint &end = line.points.back();
    const equilibria::ThreePhasePoint &before = line.points[line.points.size() - 2];
    EXPECT_EQ(end.x1, end.x2);
    EXPECT_EQ(end.rho1, end.rho2);
    const equilibria::CriticalConditions c = equilibria::critical_conditions(m, end.t, 1.0 / end.rho1, end.x1);
    EXPECT_LE(std::fabs(c.eigenvalue), 1e-8);
    EXPECT_LE(std::fabs(c.cubic_form / c.cubic_scale), 1e-8);
    const Evaluated l = at_state(m, end.t, end.rho1, end.x1), v = at_state(m, end.t, end.rho_v, end.y);
    for (std::size_t i = 0; i < 2; ++i) EXPECT_LE(std::fabs(l.ln_f[i] - v.ln_f[i]), 1e-10);
    EXPECT_GT(end.t, before.t);
    EXPECT_LT(end.t - before.t, 0.5);
    EXPECT_GT(end.x1[0], before.x2[0]);
    EXPECT_LT(end.x1[0], before.x1[0]);
    // A liquid-liquid critical point, not the vapour-liquid one: dense, under its vapour.
    EXPECT_GT(end.rho1, 1e3 * end.rho_v);
}

// The flash agrees with the line: just above the three-phase pressure a feed between the liquids
// splits into those two liquids, just below it a feed between the hexane-rich liquid and the
// vapour splits into those.
TEST(ThreePhaseLine, FlashAgreesWithTheLineOnEitherSide) {
    const Model &m = methanol_hexane();
    const equilibria::VlleLine &line = methanol_hexane_line();
    ASSERT_EQ(line.status, Status::converged) << line.message;
    const equilibria::ThreePhasePoint &pt = line.points[5];
    const std::vector<double> between_liquids{0.5 * (pt.x1[0] + pt.x2[0]), 1.0 - 0.5 * (pt.x1[0] + pt.x2[0])};
    const FlashResult above = equilibria::flash_on_model(m, pt.t, pt.p * (1.0 + 1e-6), between_liquids);
    ASSERT_EQ(above.status, Status::converged) << above.message;
    ASSERT_EQ(above.phases.size(), 2u);
    EXPECT_EQ(above.phases[1].kind, PhaseKind::liquid);
    EXPECT_NEAR(above.phases[0].x[0], pt.x1[0], 1e-7);
    EXPECT_NEAR(above.phases[1].x[0], pt.x2[0], 1e-7);
    const std::vector<double> lean{0.5 * (pt.x2[0] + pt.y[0]), 1.0 - 0.5 * (pt.x2[0] + pt.y[0])};
    const FlashResult below = equilibria::flash_on_model(m, pt.t, pt.p * (1.0 - 1e-8), lean);
    ASSERT_EQ(below.status, Status::converged) << below.message;
    ASSERT_EQ(below.phases.size(), 2u);
    EXPECT_EQ(below.phases[1].kind, PhaseKind::vapour);
    EXPECT_NEAR(below.phases[0].x[0], pt.x2[0], 1e-6);
    EXPECT_NEAR(below.phases[1].x[0], pt.y[0], 1e-6);
    // Between the vapour and the methanol-rich liquid just below the line, with at most two phases
    // and with three: the methanol-rich liquid and the vapour, not the two liquids (converged too,
    // but of higher Gibbs energy).
    const std::vector<double> rich{0.5 * (pt.x1[0] + pt.y[0]), 1.0 - 0.5 * (pt.x1[0] + pt.y[0])};
    equilibria::MultiphaseOptions two;
    two.max_phases = 2;
    for (const auto &options : {two, equilibria::MultiphaseOptions{}}) {
        SCOPED_TRACE(options.max_phases);
        const FlashResult r = equilibria::flash_on_model(m, pt.t, pt.p * (1.0 - 1e-8), rich, options);
        ASSERT_EQ(r.status, Status::converged) << r.message;
        ASSERT_EQ(r.phases.size(), 2u);
        EXPECT_EQ(r.phases[1].kind, PhaseKind::vapour);
        EXPECT_NEAR(r.phases[0].x[0], pt.x1[0], 1e-6);
        EXPECT_NEAR(r.phases[1].x[0], pt.y[0], 1e-6);
    }
}

TEST(ThreePhaseLine, RefusesWhatHasNoLine) {
    equilibria::VlleOptions above;
    above.t_start = 205.0;  // no liquid-liquid split above the end point
    const equilibria::VlleLine r = equilibria::vlle_line(methanol_hexane(), above);
    EXPECT_EQ(r.status, Status::no_solution);
    EXPECT_TRUE(r.points.empty());
    equilibria::VlleOptions none;
    EXPECT_EQ(equilibria::vlle_line(methanol_hexane(), none).status, Status::invalid_input);
    const Model ternary = model_of("polystyrene-toluene-ethanol-pcsaft-assoc.json", {"TOLUENE", "ETHANOL", "PS"});
    equilibria::VlleOptions o;
    o.t_start = 250.0;
    EXPECT_EQ(equilibria::vlle_line(ternary, o).status, Status::invalid_input);
}

}  // namespace
}  // namespace keld::testing
