// The liquid-liquid diagram of polystyrene + toluene + methanol at fixed T and P: every tie line and
// the plait point checked again through the property routine and the critical conditions, which the
// tracer does not use for its acceptance.
#include "keld/equilibria/ternary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "keld/case.h"
#include "keld/equilibria/critical.h"

namespace keld::testing {
namespace {

using equilibria::Status;
using equilibria::TernaryPhase;

constexpr double kT = 298.15, kP = 1e5;
const equilibria::TernaryRoles kRoles{0, 1, 2};  // toluene, methanol, polystyrene

const Model &ps_toluene_methanol() {
    static const Model m = [] {
        refhost::Case c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) +
                                                  "/examples/polystyrene-toluene-methanol-pcsaft-assoc.json");
        return refhost::model_from_case(c, "pcsaft-assoc", 1, {"TOLUENE", "METHANOL", "PS"});
    }();
    return m;
}

const equilibria::TernaryDiagram &diagram() {
    static const equilibria::TernaryDiagram d = equilibria::ternary_lle(ps_toluene_methanol(), kT, kP, kRoles);
    return d;
}

// ln f_i (Pa) and P of a phase from the property routine at (T, rho, x).
struct Fugacities {
    std::vector<double> ln_f;
    double p = 0.0;
};
Fugacities fugacities(const TernaryPhase &phase) {
    const Properties pr = properties(ps_toluene_methanol(), kT, phase.rho, phase.x, {false, nullptr});
    Fugacities f;
    f.p = pr.p;
    for (std::size_t i = 0; i < 3; ++i) f.ln_f.push_back(std::log(phase.x[i] * pr.p) + pr.ln_phi[i]);
    return f;
}

double distance(const std::vector<double> &a, const std::vector<double> &b) {
    double d = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) d += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(d);
}

TEST(TernaryDiagram, EveryTieLineHasEqualFugacitiesAndPressures) {
    const auto &d = diagram();
    ASSERT_EQ(d.status, Status::converged) << d.message;
    ASSERT_GE(d.tie_lines.size(), 20u);
    for (std::size_t k = 0; k < d.tie_lines.size(); ++k) {
        SCOPED_TRACE("tie line " + std::to_string(k));
        const auto &line = d.tie_lines[k];
        const Fugacities lean = fugacities(line.lean), rich = fugacities(line.rich);
        EXPECT_NEAR(lean.p / kP, 1.0, 1e-10);
        EXPECT_NEAR(rich.p / kP, 1.0, 1e-10);
        for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(lean.ln_f[i], rich.ln_f[i], 1e-10) << "component " << i;
        EXPECT_LT(line.lean.w[2], line.rich.w[2]);
    }
}

// The trace starts at the polymer / non-solvent edge and ends where the phases merge: at the solved
// plait point, which meets the critical criteria and the pressure.
TEST(TernaryDiagram, RunsFromTheBinaryEdgeToThePlaitPoint) {
    const auto &d = diagram();
    ASSERT_EQ(d.status, Status::converged) << d.message;
    const auto &first = d.tie_lines.front(), &last = d.tie_lines.back();
    EXPECT_LT(first.lean.w[0], 1e-5);
    EXPECT_LT(first.rich.w[0], 1e-5);
    EXPECT_GT(distance(first.lean.w, first.rich.w), 0.5);

    const auto &plait = d.plait;
    ASSERT_EQ(plait.status, Status::converged) << plait.message;
    const auto c = equilibria::critical_conditions(ps_toluene_methanol(), kT, 1.0 / plait.phase.rho, plait.phase.x);
    EXPECT_LT(std::fabs(c.eigenvalue), 1e-8);
    EXPECT_LT(std::fabs(c.cubic_form / c.cubic_scale), 1e-8);
    EXPECT_NEAR(properties(ps_toluene_methanol(), kT, plait.phase.rho, plait.phase.x, {false, nullptr}).p / kP, 1.0,
                1e-10);

    // The last tie lines shrink towards it: both ends closer than 2 % of the first line's length, and
    // the lengths fall over the last ten lines.
    const double first_length = distance(first.lean.w, first.rich.w);
    EXPECT_LT(distance(last.lean.w, plait.phase.w), 0.02 * first_length);
    EXPECT_LT(distance(last.rich.w, plait.phase.w), 0.02 * first_length);
    for (std::size_t k = d.tie_lines.size() - 10; k + 1 < d.tie_lines.size(); ++k)
        EXPECT_LT(distance(d.tie_lines[k + 1].lean.w, d.tie_lines[k + 1].rich.w),
                  distance(d.tie_lines[k].lean.w, d.tie_lines[k].rich.w));
    // The plait point lies between the two branches' ends, not beyond them.
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_GE(plait.phase.w[i], std::min(last.lean.w[i], last.rich.w[i]) - 1e-4);
        EXPECT_LE(plait.phase.w[i], std::max(last.lean.w[i], last.rich.w[i]) + 1e-4);
    }
}

// Colder, warmer and compressed: the same invariants wherever the gap lies (tie lines coexisting, the
// plait point on the criteria at the given P, the lines shrinking onto it).
TEST(TernaryDiagram, HoldsItsInvariantsAcrossTemperatureAndPressure) {
    const Model &m = ps_toluene_methanol();
    const struct {
        double t, p;
    } states[] = {{273.15, 1e5}, {320.0, 1e5}, {298.15, 1e7}};
    for (const auto &st : states) {
        SCOPED_TRACE("T = " + std::to_string(st.t) + " K, P = " + std::to_string(st.p) + " Pa");
        const auto d = equilibria::ternary_lle(m, st.t, st.p, kRoles);
        ASSERT_EQ(d.status, Status::converged) << d.message;
        for (std::size_t k = 0; k < d.tie_lines.size(); k += 5) {
            const auto &line = d.tie_lines[k];
            const Properties a = properties(m, st.t, line.lean.rho, line.lean.x, {false, nullptr});
            const Properties b = properties(m, st.t, line.rich.rho, line.rich.x, {false, nullptr});
            EXPECT_NEAR(a.p / st.p, 1.0, 1e-10);
            EXPECT_NEAR(b.p / st.p, 1.0, 1e-10);
            for (std::size_t i = 0; i < 3; ++i)
                EXPECT_NEAR(std::log(line.lean.x[i]) + a.ln_phi[i], std::log(line.rich.x[i]) + b.ln_phi[i], 1e-10);
        }
        const auto &w = d.plait.phase;
        const auto c = equilibria::critical_conditions(m, st.t, 1.0 / w.rho, w.x);
        EXPECT_LT(std::fabs(c.eigenvalue), 1e-8);
        EXPECT_LT(std::fabs(c.cubic_form / c.cubic_scale), 1e-8);
        EXPECT_NEAR(properties(m, st.t, w.rho, w.x, {false, nullptr}).p / st.p, 1.0, 1e-10);
        const auto &first = d.tie_lines.front(), &last = d.tie_lines.back();
        EXPECT_LT(distance(last.lean.w, last.rich.w), 0.02 * distance(first.lean.w, first.rich.w));
        EXPECT_LT(distance(last.lean.w, w.w), 0.02);
    }
}

// A plait point from a start away from it converges to the same point.
TEST(TernaryDiagram, PlaitPointDoesNotDependOnItsStart) {
    const auto &d = diagram();
    ASSERT_EQ(d.status, Status::converged) << d.message;
    const auto &w = d.plait.phase;
    std::vector<double> x0 = w.x;
    x0[2] *= 1.3;
    x0[1] *= 0.9;
    const auto again = equilibria::plait_point(ps_toluene_methanol(), kT, kP, x0, 0.97 * w.rho);
    ASSERT_EQ(again.status, Status::converged) << again.message;
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(again.phase.w[i], w.w[i], 1e-7);
    EXPECT_NEAR(again.phase.rho / w.rho, 1.0, 1e-7);
}

TEST(TernaryDiagram, RefusesWhatItCannotTrace) {
    const Model binary = Model::pcsaft({{"NC6", 86.177, 3.0576, 3.7983, 236.77}, {"TOLUENE", 92.141, 2.8149, 3.7169, 285.69}});
    struct Case {
        const char *what;
        const Model *model;
        equilibria::TernaryRoles roles;
        double t, p;
        Status expected;
    };
    const Case cases[] = {
        {"two components", &binary, {0, 1, 2}, kT, kP, Status::invalid_input},
        {"one component in two roles", &ps_toluene_methanol(), {0, 0, 2}, kT, kP, Status::invalid_input},
        {"a role out of range", &ps_toluene_methanol(), {0, 1, 3}, kT, kP, Status::invalid_input},
        {"no temperature", &ps_toluene_methanol(), kRoles, 0.0, kP, Status::invalid_input},
        {"a negative pressure", &ps_toluene_methanol(), kRoles, kT, -1.0, Status::invalid_input},
        // Toluene as the non-solvent: polystyrene dissolves in it, no gap spans that edge.
        {"a solvent named non-solvent", &ps_toluene_methanol(), {1, 0, 2}, kT, kP, Status::supercritical},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const auto d = equilibria::ternary_lle(*c.model, c.t, c.p, c.roles);
        EXPECT_EQ(d.status, c.expected) << d.message;
        EXPECT_FALSE(d.message.empty());
        EXPECT_TRUE(d.tie_lines.empty());
    }
}

// A feed on a traced tie line splits into that tie line's two liquids in the feed's proportion: the
// flash (stability test, then Newton with the material balance) and the tracer agree, to what the
// equations' rounding allows: next to the plait point (the last line) the compositions of two solutions
// with ln f equal to 1e-10 differ by up to 1e-6, and beta by that over the tie line's length.
TEST(TernaryFlash, FeedOnATieLineReproducesIt) {
    const auto &d = diagram();
    ASSERT_EQ(d.status, Status::converged) << d.message;
    const std::size_t n = d.tie_lines.size();
    for (std::size_t k : {std::size_t{0}, n / 4, n / 2, 3 * n / 4, n - 5, n - 1}) {
        for (double beta : {0.2, 0.7}) {
            SCOPED_TRACE("tie line " + std::to_string(k) + ", rich share " + std::to_string(beta));
            const auto &line = d.tie_lines[k];
            std::vector<double> z(3);
            for (std::size_t i = 0; i < 3; ++i) z[i] = (1.0 - beta) * line.lean.x[i] + beta * line.rich.x[i];
            const auto f = equilibria::ternary_flash(ps_toluene_methanol(), kT, kP, z, kRoles);
            if (k + 1 == n) {
                // Next to the plait point the tangent-plane distance is of order 1e-11: the feed must
                // never be called stable; Newton may still stop short there (said, not hidden).
                EXPECT_NE(f.status, Status::single_phase) << f.message;
                if (f.status != Status::converged) continue;
            }
            ASSERT_EQ(f.status, Status::converged) << f.message;
            EXPECT_LT(f.tpd, 0.0);
            const double w_tolerance = k + 1 == n ? 1e-6 : 1e-7;
            EXPECT_NEAR(f.beta, beta, 2.0 * w_tolerance / distance(line.lean.w, line.rich.w));
            for (std::size_t i = 0; i < 3; ++i) {
                EXPECT_NEAR(f.lean.w[i], line.lean.w[i], w_tolerance) << "component " << i;
                EXPECT_NEAR(f.rich.w[i], line.rich.w[i], w_tolerance) << "component " << i;
                EXPECT_NEAR(f.lean.x[i] / line.lean.x[i], 1.0, 10.0 * w_tolerance) << "component " << i;
            }
            const Fugacities lean = fugacities(f.lean), rich = fugacities(f.rich);
            EXPECT_NEAR(lean.p / kP, 1.0, 1e-10);
            EXPECT_NEAR(rich.p / kP, 1.0, 1e-10);
            for (std::size_t i = 0; i < 3; ++i) {
                EXPECT_NEAR(lean.ln_f[i], rich.ln_f[i], 1e-10) << "component " << i;
                EXPECT_NEAR(((1.0 - f.beta) * f.lean.x[i] + f.beta * f.rich.x[i]) / z[i], 1.0, 1e-10);
            }
        }
    }
}

// Feeds the tracer leaves outside the gap: one liquid, with no negative tangent-plane distance.
TEST(TernaryFlash, StableFeedsStayOneLiquid) {
    const Model &m = ps_toluene_methanol();
    const auto &d = diagram();
    ASSERT_EQ(d.status, Status::converged) << d.message;
    // Mass fractions (toluene, methanol, PS), converted to mole fractions.
    const std::vector<std::vector<double>> feeds = {{0.9, 0.0001, 0.0999}, {0.85, 0.05, 0.10}, {0.5, 0.5, 1e-4}};
    for (const auto &w : feeds) {
        std::vector<double> z(3);
        for (std::size_t i = 0; i < 3; ++i) z[i] = w[i] / m.components()[i].mw;
        const auto f = equilibria::ternary_flash(m, kT, kP, z, kRoles);
        EXPECT_EQ(f.status, Status::single_phase) << f.message << " at w = " << w[0] << ", " << w[1] << ", " << w[2];
        EXPECT_GE(f.tpd, -1e-10);
    }
    const auto bad = equilibria::ternary_flash(m, kT, kP, std::vector<double>{0.5, 0.5, 0.0}, kRoles);
    EXPECT_EQ(bad.status, Status::invalid_input);
    const auto swapped = equilibria::ternary_flash(m, kT, kP, std::vector<double>{0.3, 0.3, 0.4}, {0, 0, 2});
    EXPECT_EQ(swapped.status, Status::invalid_input);
}

}  // namespace
}  // namespace keld::testing
