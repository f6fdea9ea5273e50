// Flash into several phases on the model: every returned phase re-evaluated
// by the model's property routine at its own (T, rho, x), not the flash's
// bookkeeping; the feed recovered from the phases; a feed outside the
// two-phase region left as one phase; bad input refused.
#include "keld/equilibria/three_phase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "keld/case.h"

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
// again at its own state, and the largest |P_phase - P| / P of those states.
struct Recheck {
    double ln_f = 0.0, p = 0.0, balance = 0.0;
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
        out.p = std::max(out.p, std::fabs(pr.p - r.p) / r.p);
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
        // The states' own pressures: as exact as the density root of a stiff liquid at P.
        EXPECT_LE(e.p, 1e-7);
        if (r.phases.size() == 2) {
            // Distinct phases, not the trivial solution.
            EXPECT_GT(std::fabs(r.phases[0].x[0] - r.phases[1].x[0]), 1e-3);
            EXPECT_GT(r.phases[0].fraction, 0.0);
            EXPECT_GT(r.phases[1].fraction, 0.0);
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
