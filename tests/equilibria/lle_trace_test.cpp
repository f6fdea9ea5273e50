// Polymer-solution demixing on the model: the binodal, spinodal and critical
// solution points agree with the monitor path, and the curves traced over T
// from the UCST and LCST satisfy their equations at every point.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "../../equilibria/lle_model.h"
#include "keld/equilibria/lle.h"
#include "keld/model.hpp"
#include "systems.h"

namespace keld::testing {
namespace {

using equilibria::CriticalKind;
using equilibria::Status;
using equilibria::System;

// ln f_i, d ln phi_i/dn_j of the liquid of polymer weight fraction w, from the model's own
// properties at P: independent of the demixing solvers' bookkeeping.
struct Liquid {
    double ln_f[2] = {0.0, 0.0};
    double sigma = 0.0;  // x1 x2 d2(g_mix/RT)/dx2^2
};

Liquid liquid_at(const Model &m, double t, double p, double w) {
    const double n[2] = {(1.0 - w) / m.components()[0].mw, w / m.components()[1].mw};
    const double x[2] = {n[0] / (n[0] + n[1]), n[1] / (n[0] + n[1])};
    const auto props = properties_at_pressure(m, t, p, x, Phase::liquid);
    EXPECT_TRUE(props.has_value()) << t << " K, w = " << w;
    Liquid out;
    if (!props) return out;
    for (int i = 0; i < 2; ++i) out.ln_f[i] = std::log(x[i] * p) + props->ln_phi[i];
    const std::vector<double> &h = props->dln_phi_dn;
    out.sigma = 1.0 + x[0] * x[1] * (h[0] + h[3] - h[1] - h[2]);
    return out;
}

struct Family {
    const char *file, *model, *solvent, *polymer;
    double p;
};

// A binary from an example case, through the model (default) or the monitors only.
struct CaseBinary {
    refhost::Case c;
    std::unique_ptr<System> system;
    CaseBinary(const Family &f, bool on_model) {
        c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/" + f.file);
        refhost::initialise_case(c);
        equilibria::SystemOptions options;
        options.settings = c.states.front();
        options.settings.model = f.model;
        options.solve_on_model = on_model;
        system = std::make_unique<System>(
            c, f.model, std::vector<std::int64_t>{c.host->component_number(f.solvent), c.host->component_number(f.polymer)},
            options);
    }
};

equilibria::detail::ModelBinary model_binary_of(const CaseBinary &b, double p) {
    return equilibria::detail::ModelBinary(*b.system->mixture_model().model, p, b.system->mixture().segment_ratio(1));
}

// The model path gives the monitor path's binodal, spinodal and critical point.
TEST(LleOnModel, AgreesWithTheMonitors) {
    struct Row {
        Family family;
        double t_from, t_to;  // brackets one critical solution point
        double t;             // a temperature in the two-liquid region
    };
    const Row rows[] = {
        {{"polystyrene-cyclohexane.json", "pcsaft", "CYCLOHEX", "PS", 1e5}, 280.0, 310.0, 290.0},
        {{"polystyrene-cyclohexane.json", "pcsaft", "CYCLOHEX", "PS", 5e6}, 480.0, 530.0, 515.0},
        {{"polystyrene-toluene.json", "sanchez-lacombe", "TOLUENE", "PS", 5e6}, 520.0, 560.0, 550.0},
        {{"polyethylene-hexane.json", "saft", "HEXANE", "PE", 5e6}, 450.0, 480.0, 470.0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.family.file) + " " + row.family.model);
        CaseBinary model(row.family, true), monitors(row.family, false);
        ASSERT_NE(model.system->mixture_model().model, nullptr);
        ASSERT_EQ(monitors.system->mixture_model().model, nullptr);
        const double p = row.family.p;
        const auto a = equilibria::binodal(*model.system, row.t, p);
        const auto b = equilibria::binodal(*monitors.system, row.t, p);
        ASSERT_EQ(a.status, Status::converged) << a.message;
        ASSERT_EQ(b.status, Status::converged) << b.message;
        EXPECT_LE(a.residual, 1e-13);
        EXPECT_NEAR(std::log(a.lean.w[1] / b.lean.w[1]), 0.0, 1e-9);
        EXPECT_NEAR(a.rich.w[1] / b.rich.w[1], 1.0, 1e-9);
        // The monitor path's spinodal comes from differences (truncation near 1e-6); the model's is exact.
        EXPECT_NEAR(a.spinodal.w_lean / b.spinodal.w_lean, 1.0, 5e-6);
        EXPECT_NEAR(a.spinodal.w_rich / b.spinodal.w_rich, 1.0, 5e-6);
        const Model &m = *model.system->mixture_model().model;
        EXPECT_LT(std::fabs(liquid_at(m, row.t, p, a.spinodal.w_lean).sigma), 1e-10);
        EXPECT_LT(std::fabs(liquid_at(m, row.t, p, a.spinodal.w_rich).sigma), 1e-10);
        const Liquid lean = liquid_at(m, row.t, p, a.lean.w[1]), rich = liquid_at(m, row.t, p, a.rich.w[1]);
        const double segments = model.system->mixture().segment_ratio(1);
        EXPECT_LT(std::fabs(lean.ln_f[0] - rich.ln_f[0]), 1e-12);
        EXPECT_LT(std::fabs(lean.ln_f[1] - rich.ln_f[1]) / segments, 1e-12);
        const auto ca = equilibria::critical_solution_point(*model.system, p, row.t_from, row.t_to);
        const auto cb = equilibria::critical_solution_point(*monitors.system, p, row.t_from, row.t_to);
        ASSERT_EQ(ca.status, Status::converged) << ca.message;
        ASSERT_EQ(cb.status, Status::converged) << cb.message;
        EXPECT_EQ(ca.point.kind, cb.point.kind);
        EXPECT_NEAR(ca.point.t, cb.point.t, 1e-5);
        EXPECT_NEAR(ca.point.w / cb.point.w, 1.0, 1e-3);
        // The model's critical point satisfies both conditions: sigma = 0 where it is least over w.
        EXPECT_LT(std::fabs(liquid_at(m, ca.point.t, p, ca.point.w).sigma), 1e-10);
        const equilibria::detail::StabilitySlopes at_c = model_binary_of(model, p).stability(ca.point.t, std::log(ca.point.w / (1.0 - ca.point.w)));
        ASSERT_TRUE(at_c.ok);
        EXPECT_LT(std::fabs(at_c.sigma), 1e-10);
        EXPECT_LT(std::fabs(at_c.sigma_s), 1e-10);
        for (double factor : {0.98, 1.02}) {
            EXPECT_GT(liquid_at(m, ca.point.t, p, ca.point.w * factor).sigma, 0.0) << factor;
        }
    }
}

// Richardson's extrapolation of central differences (error of fourth order in h) of f at u.
template <class F>
double extrapolated_slope(F f, double u, double h) {
    const auto central = [&](double k) { return (f(u + k) - f(u - k)) / (2.0 * k); };
    return (4.0 * central(0.5 * h) - central(h)) / 3.0;
}

// The slopes of sigma in s and T come from the model's third derivatives in one jet each. Against
// extrapolated differences of sigma formed the other way (from d ln phi_i/dn_j at T, P), for a
// polymer solution under three families, on the lean side, at the dip and on the rich side.
TEST(LleOnModel, StabilitySlopesAreThoseOfSigma) {
    struct Row {
        Family family;
        double t;
    };
    const Row rows[] = {
        {{"polystyrene-cyclohexane.json", "pcsaft", "CYCLOHEX", "PS", 1e5}, 290.0},
        {{"polystyrene-cyclohexane.json", "pcsaft", "CYCLOHEX", "PS", 5e6}, 515.0},
        {{"polystyrene-toluene.json", "sanchez-lacombe", "TOLUENE", "PS", 5e6}, 550.0},
        {{"polyethylene-hexane.json", "saft", "HEXANE", "PE", 5e6}, 470.0},
    };
    for (const Row &row : rows) {
        const CaseBinary c(row.family, true);
        const equilibria::detail::ModelBinary b = model_binary_of(c, row.family.p);
        for (double w : {1e-4, 0.01, 0.05, 0.2, 0.6}) {
            SCOPED_TRACE(std::string(row.family.model) + " at " + std::to_string(row.t) + " K, w = " + std::to_string(w));
            const double s = std::log(w / (1.0 - w));
            const equilibria::detail::StabilitySlopes st = b.stability(row.t, s);
            ASSERT_TRUE(st.ok);
            EXPECT_NEAR(st.sigma, b.sigma(row.t, s), 1e-10);
            const double in_s = extrapolated_slope([&](double u) { return b.sigma(row.t, u); }, s, 0.02);
            const double in_t = extrapolated_slope([&](double u) { return b.sigma(u, s); }, row.t, 0.2);
            EXPECT_NEAR(st.sigma_s, in_s, 1e-7 * std::max(1.0, std::fabs(in_s)));
            EXPECT_NEAR(st.sigma_t, in_t, 1e-7 * std::max(1e-2, std::fabs(in_t)));
        }
        // Where no liquid root exists there is no stability either.
        EXPECT_FALSE(b.stability(-5.0, 0.0).ok);
    }
}

void expect_tie_lines_in_equilibrium(const Model &m, const equilibria::LleBranch &b, double p, double segments) {
    for (std::size_t i = 1; i < b.t.size(); ++i) {
        SCOPED_TRACE("tie line at " + std::to_string(b.t[i]) + " K");
        const Liquid lean = liquid_at(m, b.t[i], p, b.w_lean[i]), rich = liquid_at(m, b.t[i], p, b.w_rich[i]);
        EXPECT_LT(std::fabs(lean.ln_f[0] - rich.ln_f[0]), 1e-11);
        EXPECT_LT(std::fabs(lean.ln_f[1] - rich.ln_f[1]) / segments, 1e-11);
        // Both phases locally stable, on either side of the critical composition.
        EXPECT_GT(lean.sigma, 0.0);
        EXPECT_GT(rich.sigma, 0.0);
        EXPECT_LT(b.w_lean[i], b.critical.w);
        EXPECT_GT(b.w_rich[i], b.critical.w);
        // The critical point is the branch's extreme temperature; the steps stay small.
        if (b.critical.kind == CriticalKind::upper) {
            EXPECT_LT(b.t[i], b.critical.t);
        } else {
            EXPECT_GT(b.t[i], b.critical.t);
        }
        EXPECT_LT(std::fabs(b.t[i] - b.t[i - 1]), 5.0);
    }
    // sigma = 0 on the spinodal to its round-off (the polymer's d ln phi/dn cancel to about 1e-10 of
    // sigma on the rich side), and changing sign within 1e-8 of w across it.
    for (std::size_t i = 0; i < b.spinodal_t.size(); ++i) {
        const double t = b.spinodal_t[i], w = b.spinodal_w[i];
        SCOPED_TRACE("spinodal at " + std::to_string(t) + " K, w = " + std::to_string(w));
        EXPECT_LT(std::fabs(liquid_at(m, t, p, w).sigma), 1e-9);
        if (b.spinodal_t[i] == b.critical.t) continue;  // sigma touches zero there without a sign change
        EXPECT_LT(liquid_at(m, t, p, w * (1.0 - 1e-8)).sigma * liquid_at(m, t, p, w * (1.0 + 1e-8)).sigma, 0.0);
    }
}

// Both curves start at the critical point and close onto it: the first tie
// line and the spinodal's critical entry are the point itself, the next ones
// lie within a fraction of a kelvin and narrow towards it.
void expect_curves_end_at_the_critical_point(const equilibria::LleBranch &b) {
    ASSERT_GE(b.t.size(), 3u);
    EXPECT_EQ(b.t[0], b.critical.t);
    EXPECT_EQ(b.w_lean[0], b.critical.w);
    EXPECT_EQ(b.w_rich[0], b.critical.w);
    EXPECT_LT(std::fabs(b.t[1] - b.critical.t), 0.1);
    EXPECT_LT(b.w_rich[1] - b.w_lean[1], b.w_rich[2] - b.w_lean[2]);
    std::size_t at = b.spinodal_t.size();
    for (std::size_t i = 0; i < b.spinodal_t.size(); ++i)
        if (b.spinodal_t[i] == b.critical.t && b.spinodal_w[i] == b.critical.w) at = i;
    ASSERT_LT(at, b.spinodal_t.size());
    ASSERT_TRUE(at > 0 && at + 1 < b.spinodal_t.size());
    EXPECT_LT(std::fabs(b.spinodal_t[at - 1] - b.critical.t), 0.1);
    EXPECT_LT(std::fabs(b.spinodal_t[at + 1] - b.critical.t), 0.1);
    EXPECT_LT(b.spinodal_w[at - 1], b.critical.w);
    EXPECT_GT(b.spinodal_w[at + 1], b.critical.w);
}

// The critical solution point on the model is one point whatever bracket holds it: wide brackets
// start the search for the least sigma far from the critical composition, where on the stable side
// sigma falls towards its dilute limit and a free search drifts there instead.
TEST(LleOnModel, CriticalPointIndependentOfItsBracket) {
    struct Row {
        double p;
        std::vector<std::pair<double, double>> brackets;
    };
    const Row rows[] = {
        {5e6, {{480.0, 530.0}, {460.0, 540.0}, {500.0, 520.0}, {505.0, 510.0}, {470.0, 535.0}}},
        {1e5, {{270.0, 310.0}, {250.0, 320.0}, {290.0, 305.0}, {295.0, 300.0}}},
    };
    for (const Row &row : rows) {
        const Family f{"polystyrene-cyclohexane.json", "pcsaft", "CYCLOHEX", "PS", row.p};
        CaseBinary cb(f, true);
        const Model &m = *cb.system->mixture_model().model;
        double first = equilibria::not_a_number;
        for (const auto &[from, to] : row.brackets) {
            SCOPED_TRACE(std::to_string(row.p) + " Pa, " + std::to_string(from) + "-" + std::to_string(to) + " K");
            const auto c = equilibria::critical_solution_point(*cb.system, row.p, from, to);
            ASSERT_EQ(c.status, Status::converged) << c.message;
            EXPECT_LT(std::fabs(liquid_at(m, c.point.t, row.p, c.point.w).sigma), 1e-10);
            if (std::isnan(first)) first = c.point.t;
            EXPECT_NEAR(c.point.t, first, 1e-9);
        }
    }
}

// Polystyrene + cyclohexane at 50 bar: a UCST near 299 K and an LCST near 507 K,
// each branch traced out to the end of the range.
TEST(LleTrace, UpperAndLowerBranchesReachTheRangeEnds) {
    const Family f{"polystyrene-cyclohexane.json", "pcsaft", "CYCLOHEX", "PS", 5e6};
    CaseBinary cb(f, true);
    System &system = *cb.system;
    const auto trace = equilibria::trace_lle(system, f.p, 250.0, 540.0);
    ASSERT_EQ(trace.status, Status::converged) << trace.message;
    ASSERT_EQ(trace.branches.size(), 2u);
    const auto &ucst = trace.branches[0], &lcst = trace.branches[1];
    EXPECT_EQ(ucst.critical.kind, CriticalKind::upper);
    EXPECT_EQ(lcst.critical.kind, CriticalKind::lower);
    EXPECT_GT(ucst.critical.t, 290.0);
    EXPECT_LT(ucst.critical.t, 310.0);
    EXPECT_GT(lcst.critical.t, 490.0);
    EXPECT_LT(lcst.critical.t, 525.0);
    // The solved critical points are those critical_solution_point gives.
    const auto direct = equilibria::critical_solution_point(system, f.p, 480.0, 530.0);
    EXPECT_NEAR(direct.point.t, lcst.critical.t, 1e-9);
    // Range ends: the last tie line and both spinodal ends at 250 K and 540 K.
    EXPECT_NEAR(ucst.t.back(), 250.0, 1e-9);
    EXPECT_NEAR(lcst.t.back(), 540.0, 1e-9);
    EXPECT_NEAR(ucst.spinodal_t.front(), 250.0, 1e-9);
    EXPECT_NEAR(ucst.spinodal_t.back(), 250.0, 1e-9);
    EXPECT_NEAR(lcst.spinodal_t.front(), 540.0, 1e-9);
    EXPECT_NEAR(lcst.spinodal_t.back(), 540.0, 1e-9);
    // At 250 K the lean phase holds under 1e-20 polymer: resolved, not rounded to zero.
    EXPECT_GT(ucst.w_lean.back(), 1e-35);
    EXPECT_LT(ucst.w_lean.back(), 1e-20);
    const Model &m = *system.mixture_model().model;
    const double segments = system.mixture().segment_ratio(1);
    for (const auto *b : {&ucst, &lcst}) {
        SCOPED_TRACE(b == &ucst ? "UCST branch" : "LCST branch");
        EXPECT_EQ(b->status, Status::converged) << b->message;
        expect_curves_end_at_the_critical_point(*b);
        expect_tie_lines_in_equilibrium(m, *b, f.p, segments);
    }
    // A tie line of the trace is the binodal solved at its temperature.
    const std::size_t mid = ucst.t.size() / 2;
    const auto again = equilibria::binodal(system, ucst.t[mid], f.p);
    ASSERT_EQ(again.status, Status::converged);
    EXPECT_NEAR(again.rich.w[1] / ucst.w_rich[mid], 1.0, 1e-9);
    EXPECT_NEAR(std::log(again.lean.w[1] / ucst.w_lean[mid]), 0.0, 1e-9);
}

// At 10 bar the LCST lies above the solvent's boiling point: the lean liquid
// is superheated on heating and its branch ends where the liquid does (its
// root lost, or the continuation unable to step on near the liquid's own
// spinodal). The branch stops there with a reason and the tie lines before it.
TEST(LleTrace, BranchStopsWhereALiquidRootEnds) {
    const Family f{"polystyrene-cyclohexane.json", "pcsaft", "CYCLOHEX", "PS", 1e6};
    CaseBinary cb(f, true);
    const auto trace = equilibria::trace_lle(*cb.system, f.p, 250.0, 540.0);
    ASSERT_EQ(trace.branches.size(), 2u);
    EXPECT_EQ(trace.branches[0].status, Status::converged);
    const auto &lcst = trace.branches[1];
    EXPECT_TRUE(lcst.status == Status::no_solution || lcst.status == Status::not_converged) << lcst.message;
    EXPECT_FALSE(lcst.message.empty());
    EXPECT_EQ(trace.status, lcst.status);
    EXPECT_LT(lcst.t.back(), 540.0);
    EXPECT_GT(lcst.t.back(), lcst.critical.t + 10.0);
    expect_tie_lines_in_equilibrium(*cb.system->mixture_model().model, lcst, f.p, cb.system->mixture().segment_ratio(1));
}

TEST(LleTrace, Refusals) {
    const Family f{"polystyrene-cyclohexane.json", "pcsaft", "CYCLOHEX", "PS", 5e6};
    CaseBinary monitors(f, false), model(f, true);
    EXPECT_EQ(equilibria::trace_lle(*monitors.system, f.p, 250.0, 540.0).status, Status::invalid_input);
    EXPECT_EQ(equilibria::trace_lle(*model.system, f.p, 540.0, 250.0).status, Status::invalid_input);
    const auto one_liquid = equilibria::trace_lle(*model.system, f.p, 320.0, 450.0);
    EXPECT_EQ(one_liquid.status, Status::no_solution);
    EXPECT_TRUE(one_liquid.branches.empty());
}

}  // namespace
}  // namespace keld::testing
