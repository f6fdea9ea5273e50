// Solver behaviour: Newton's fall-backs, the size switches, the simplified path, the user-defined site
// types under concurrent callers, and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "keld/refhost.h"
#include "association/site_types.h"
#include "support/assoc_systems.h"

namespace keld::testing {
namespace {

class Solver : public ::testing::Test {
protected:
    void SetUp() override {
        reference.add_component("HOST", refhost::ComponentKind::ordinary, 1.0);
        reference.install();
        reference.capture_unit(7);
    }
    host::Host host() const { return *host::Host::current(); }
    // Installs the reference table with a factorisation that always reports a singular matrix.
    void singular_lu() {
        keld_host t = reference.table();
        t.lu_factor = [](const std::int64_t *, double *, const std::int64_t *, std::int64_t *, std::int64_t *ier) {
            *ier = 1;
        };
        reference.install(t);
    }
    bool wrote(std::string_view line) const {
        for (const std::string &l : reference.unit_lines(7))
            if (l == line) return true;
        return false;
    }
    refhost::ReferenceHost reference;
};

AssocSystem water_methanol() {
    AssocSystem s;
    const std::int64_t w = s.add(kWater4C), me = s.add(kMethanol);
    s.list({w, me}, {0.4, 0.6});
    return s;
}

// A copolymer of n water-like segment types (4 sites each, slightly different energies) in `solvent`.
AssocSystem copolymer(int n, const AssocFluid &solvent, double x_polymer) {
    AssocSystem s;
    std::vector<std::int64_t> segments;
    std::vector<double> counts;
    for (int k = 0; k < n; ++k) {
        AssocFluid f = kWater4C;
        f.eps_ab *= 1.0 + 0.01 * (k % 10);
        segments.push_back(s.add(f));
        counts.push_back(1.0 + k % 3);
    }
    const std::int64_t p = s.add_polymer(segments, counts);
    s.list({p, s.add(solvent)}, {x_polymer, 1.0 - x_polymer});
    return s;
}

// These tests watch how the iterative solvers iterate, so they ask for them (at diagnostic level 0 the
// direct path would solve these systems).
TEST_F(Solver, NewtonIsFastFromTheDefaultStart) {
    AssocSystem sys = water_methanol();
    sys.options.iterative = true;
    const AssocRun run = run_association(host(), sys, 35.0);
    EXPECT_EQ(run.r.failed, 0);
    EXPECT_EQ(run.r.unknowns, 6);
    EXPECT_LE(run.r.stats.newton_iterations, 6);
    EXPECT_EQ(run.r.stats.left_newton, 0);
}

TEST_F(Solver, NewtonFallsBackAndStillConverges) {
    const double reference_a = [&] {
        AssocSystem sys = water_methanol();
        return run_association(host(), sys, 35.0).r.a;
    }();
    struct Case {
        std::string name;
        double start;  // warm start for every site; 0: default start
        bool singular;
        std::int64_t newton, line_searches, jacobians;
    };
    const std::vector<Case> cases = {
        {"singular factorisation", 0.0, true, 1, 0, 1},
        {"step too large from a far start (RMSDX > 10)", 1e-12, false, 1, 0, 1},
    };
    for (const Case &c : cases) {
        if (c.singular) singular_lu();
        else reference.install();
        AssocSystem sys = water_methanol();
        sys.options.iterative = true;
        sys.options.start = c.start > 0.0 ? 2 : 0;
        const std::vector<double> start(2048 * 2, c.start);
        const AssocRun run = run_association(host(), sys, 35.0, {true, true, true, true}, &start);
        EXPECT_EQ(run.r.failed, 0) << c.name;
        EXPECT_EQ(run.r.stats.left_newton, 1) << c.name;
        EXPECT_EQ(run.r.stats.newton_iterations, c.newton) << c.name;
        EXPECT_EQ(run.r.stats.jacobians, c.jacobians) << c.name;
        EXPECT_NEAR(run.r.a, reference_a, 1e-10) << c.name;
    }
}

// The direct path's groups: one value per class of equal equations. The offered previous solution
// shortens Newton's method and leaves the results as they are; one far from the solution is not used.
TEST_F(Solver, DirectPathGroupsAndWarmStarts) {
    struct Case {
        std::string name;
        AssocSystem sys;
        double rho;
        std::int64_t unknowns, groups;
    };
    AssocSystem glycol_water;
    AssocFluid glycol = kEthanol;
    glycol.type = 3;
    glycol_water.list({glycol_water.add(kWater4C), glycol_water.add(glycol)}, {0.5, 0.5});
    const std::vector<Case> cases = {
        {"water + methanol: negative and positive sites exchange", water_methanol(), 35.0, 6, 2},
        {"water + 3-site solvent: no exchange symmetry", glycol_water, 35.0, 7, 4},
        {"1000-site copolymer of 14 segment kinds", copolymer_in_solvent(1000), 4.0, 1000, 14},
        {"1000-site copolymer of distinct segments", copolymer_in_solvent(1000, 0.002, true), 4.0, 1000, 500},
    };
    for (Case c : cases) {
        const AssocRun cold = run_association(host(), c.sys, c.rho);
        EXPECT_EQ(cold.r.unknowns, c.unknowns) << c.name;
        EXPECT_EQ(cold.r.stats.groups, c.groups) << c.name;
        c.sys.options.start = 2;
        const AssocRun warm = run_association(host(), c.sys, c.rho, {true, true, true, true}, &cold.site_fractions);
        EXPECT_LE(warm.r.stats.iterations, 2) << c.name;
        EXPECT_NEAR(warm.r.a_rho2, cold.r.a_rho2, 1e-13 * std::fabs(cold.r.a_rho2)) << c.name;
        const std::vector<double> far(cold.site_fractions.size(), 1e-12);
        const AssocRun ignored = run_association(host(), c.sys, c.rho, {true, true, true, true}, &far);
        EXPECT_EQ(ignored.r.stats.iterations, cold.r.stats.iterations) << c.name;
    }
}

// Strengths of list positions with equal data are copied from the first of them: a segment whose
// T dd/dT differs in the last bit is computed on its own and agrees with its copied twins.
TEST_F(Solver, StrengthsOfEqualDataAreCopiedExactly) {
    AssocSystem sys;
    std::vector<std::int64_t> segments;
    for (int k = 0; k < 9; ++k) segments.push_back(sys.add(k % 3 ? kMethanol : kWater4C));
    const std::vector<double> counts(9, 1.0);
    sys.list({sys.add_polymer(segments, counts)}, {1.0});
    assoc::Mixture mix = sys.mixture(20.0);
    std::vector<double> t_dd(mix.t_dd, mix.t_dd + sys.components());
    t_dd[segments[4] - 1] = std::nextafter(t_dd[segments[4] - 1], 0.0);  // segments 1, 2, 4, 5, 7, 8: methanol
    mix.t_dd = t_dd.data();
    std::vector<double> work(static_cast<std::size_t>(assoc::work_words(host(), mix, sys.options)));
    const std::int64_t nv = mix.nv;
    std::vector<double> delta(nv * nv), delta_t(nv * nv);
    assoc::Outputs out;
    out.delta = delta.data();
    out.delta_t = delta_t.data();
    ASSERT_EQ(assoc::evaluate(host(), mix, sys.options, {true, true, true, true}, out, work).failed, 0);
    const auto at = [&](const std::vector<double> &m, int p, int q) { return m[q * nv + p]; };  // list = segments
    for (int p = 0; p < 9; ++p)
        for (int q = 0; q < 9; ++q) {
            const int twin_p = p == 4 ? 1 : p, twin_q = q == 4 ? 1 : q;  // segment 1 has the same data as 4
            EXPECT_NEAR(at(delta, p, q), at(delta, twin_p % 3 ? 1 : 0, twin_q % 3 ? 1 : 0), 1e-14 * at(delta, p, q));
            EXPECT_NEAR(at(delta_t, p, q), at(delta_t, twin_p % 3 ? 1 : 0, twin_q % 3 ? 1 : 0),
                        1e-12 * std::fabs(at(delta_t, p, q)));
            EXPECT_EQ(at(delta, p, q), at(delta, q, p));
        }
}

// The direct path factors more than 24 groups through the host: a factorisation that always fails
// hands the call to the iterative solvers, which fall back to substitution and reach the same solution.
TEST_F(Solver, DirectPathHandsOverToTheIterativeSolvers) {
    AssocSystem sys = copolymer_in_solvent(60, 0.02, true);
    const AssocRun solved = run_association(host(), sys, 4.0);
    singular_lu();
    const AssocRun handed = run_association(host(), sys, 4.0);
    EXPECT_EQ(solved.r.stats.direct, 1);
    EXPECT_EQ(handed.r.stats.direct, 0);
    EXPECT_EQ(handed.r.failed, 0);
    EXPECT_EQ(handed.r.stats.left_newton, 1);
    EXPECT_NEAR(handed.r.a, solved.r.a, 1e-10 * std::fabs(solved.r.a));
    EXPECT_NEAR(handed.r.a_rho, solved.r.a_rho, 1e-8 * std::fabs(solved.r.a_rho));

    // Beyond close packing the strengths turn negative: the mass-action equations have no solution in
    // (0, 1], and the iterative solvers' clipped iteration answers (X = 1), not a root above 1.
    reference.install();
    AssocSystem packed;
    packed.t = 600.0;
    packed.list({packed.add(kMethanol), packed.add(kHexaneInert)}, {0.01, 0.99});
    const AssocRun beyond = run_association(host(), packed, 30.0);
    EXPECT_LT(beyond.delta[0], 0.0);
    EXPECT_EQ(beyond.r.stats.direct, 0);
    EXPECT_EQ(beyond.r.a, 0.0);

    // Two groups (water's sites, methanol's) whose strength overflows: the two-group Newton meets a
    // pivot that is not finite and hands over; no finite A comes back as a solution.
    AssocFluid sticky = kMethanol;
    sticky.eps_ab = 1.0e6;
    AssocSystem overflow;
    overflow.list({overflow.add(kWater4C), overflow.add(sticky)}, {0.5, 0.5});
    const AssocRun huge = run_association(host(), overflow, 20.0);
    EXPECT_TRUE(std::isinf(huge.delta[3]));
    EXPECT_EQ(huge.r.stats.direct, 0);
    EXPECT_TRUE(huge.r.failed != 0 || !std::isfinite(huge.r.a)) << huge.r.a;
}

TEST_F(Solver, LineSearchesEndNewtonModeAndRefreshTheBroydenMatrix) {
    AssocSystem sys;
    sys.t = 273.15;
    sys.list({sys.add(kWater4C)}, {1.0});
    sys.options.iterative = true;
    sys.options.start = 2;
    const std::vector<double> start(2048, 1e-4);
    const AssocRun run = run_association(host(), sys, 56.0, {true, true, true, true}, &start);
    EXPECT_EQ(run.r.failed, 0);
    EXPECT_EQ(run.r.stats.line_searches, 3);
    EXPECT_EQ(run.r.stats.left_newton, 1);
    EXPECT_GE(run.r.stats.jacobians, 1);
}

TEST_F(Solver, SubstitutionRefreshesTheJacobianOnlyUpTo99Unknowns) {
    singular_lu();
    for (auto [segments, unknowns, jacobians] : {std::tuple{24, 98, 1}, {25, 102, 0}}) {
        AssocSystem sys = copolymer(segments, kMethanol, 0.05);
        sys.options.iterative = true;
        const AssocRun run = run_association(host(), sys, 10.0);
        EXPECT_EQ(run.r.failed, 0);
        EXPECT_EQ(run.r.unknowns, unknowns);
        EXPECT_EQ(run.r.stats.jacobians, jacobians) << unknowns;
    }
}

TEST_F(Solver, EquivalentSitesRunSubstitutionWithoutJacobian) {
    AssocSystem sys;
    sys.list({sys.add(kMethanol), sys.add(kEthanol)}, {0.5, 0.5});
    sys.options.diag_level = 4;
    sys.options.diag_unit = 7;
    const AssocRun run = run_association(host(), sys, 18.0);
    EXPECT_EQ(run.r.failed, 0);
    EXPECT_EQ(run.r.unknowns, 2);
    EXPECT_EQ(run.r.stats.equivalent_sites, 2);
    EXPECT_EQ(run.r.stats.newton_iterations + run.r.stats.jacobians, 0);
    for (const std::string &line : reference.unit_lines(7)) EXPECT_EQ(line.find("JACOBIAN"), std::string::npos);
}

TEST_F(Solver, NeverStopsOnTheFirstIteration) {
    AssocSystem sys = water_methanol();
    sys.options.iterative = true;
    const AssocRun solved = run_association(host(), sys, 35.0);
    sys.options.start = 2;
    const AssocRun again = run_association(host(), sys, 35.0, {true, true, true, true}, &solved.site_fractions);
    EXPECT_EQ(again.r.stats.iterations, 2);
    EXPECT_EQ(again.r.a, solved.r.a);
}

TEST_F(Solver, MoreThan1000UnknownsSwitchToAcceleratedSubstitution) {
    for (std::int64_t level : {1, 0}) {
        reference.clear_unit_lines(7);
        AssocSystem sys = copolymer(251, kHexaneInert, 0.02);
        sys.options.iterative = true;
        sys.options.diag_level = level;
        sys.options.diag_unit = 7;
        const AssocRun run = run_association(host(), sys, 3.0, {});
        EXPECT_EQ(run.r.failed, 0) << run.r.stats.iterations;
        EXPECT_EQ(run.r.unknowns, 1004);
        EXPECT_EQ(run.r.stats.method, 1);
        EXPECT_EQ(run.r.stats.limit, 1000);
        EXPECT_EQ(wrote("      ***ASSOCIATION PROBLEM TOO LARGE. NV = 1004"), level == 1);
        EXPECT_EQ(wrote("      ***SWITCHING TO QNSS"), level == 1);
    }
}

TEST_F(Solver, SimplifiedPathAndItsSingleSpeciesRoot) {
    AssocSystem sys;
    sys.list({sys.add(kMethanol), sys.add(kHexaneInert)}, {0.3, 0.7});
    sys.options.association = 20;
    const AssocRun iterated = run_association(host(), sys, 9.0);
    sys.options.single_species = 1;
    const AssocRun direct = run_association(host(), sys, 9.0);
    ASSERT_EQ(direct.r.failed + iterated.r.failed, 0);
    const double a = 9.0 * 0.3 * kMethanol.m * direct.delta[0];
    const double x = (std::sqrt(1.0 + 4.0 * a) - 1.0) / (2.0 * a);
    EXPECT_NEAR(direct.r.a, 2.0 * 0.3 * kMethanol.m * (std::log(x) - 0.5 * x + 0.5), 1e-14);
    for (auto [v, w] : {std::pair{direct.r.a, iterated.r.a}, {direct.r.a_rho, iterated.r.a_rho},
                        {direct.r.a_t, iterated.r.a_t}, {direct.a_x[1], iterated.a_x[1]}})
        EXPECT_NEAR(v, w, 1e-5 * std::fabs(w));
}

TEST_F(Solver, NothingToSolveAndRefusals) {
    AssocSystem inert;
    inert.list({inert.add(kHexaneInert), inert.add(kMethanol, false)}, {0.5, 0.5});
    const AssocRun none = run_association(host(), inert, 8.0);
    EXPECT_EQ(none.r.failed, 0);
    EXPECT_EQ(none.r.unknowns, 0);
    EXPECT_EQ(none.r.stats.iterations, 0);
    EXPECT_EQ(none.r.a + none.r.a_rho + none.a_x[0] + none.a_x[1], 0.0);

    AssocSystem sys = water_methanol();
    sys.options.diag_unit = 7;
    const assoc::Mixture mix = sys.mixture(35.0);
    std::vector<double> work(40);
    const assoc::Results short_work = assoc::evaluate(host(), mix, sys.options, {}, {}, work);
    EXPECT_EQ(short_work.failed, 1);
    EXPECT_EQ(reference.unit_lines(7).size(), 1u);
    std::vector<std::int64_t> bad_idx = {1, 3};  // component 3 does not exist
    assoc::Mixture bad = mix;
    bad.idx = bad_idx.data();
    work.resize(assoc::work_words(host(), mix, sys.options));
    EXPECT_EQ(assoc::evaluate(host(), bad, sys.options, {}, {}, work).failed, 1);
}

// The user table: concurrent registration hands every caller the same types; the twelfth distinct
// code in the life of the library writes the two error lines and fails the call that lists it; a
// code seen before reuses its type silently.
TEST_F(Solver, UserDefinedSiteTypes) {
    const std::int64_t before = assoc::user_type_count();
    ASSERT_LE(before, 9) << "another test registered user codes";
    std::vector<std::int64_t> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < seen.size(); ++k)
        threads.emplace_back([&, k] {
            AssocSystem sys;
            sys.list({sys.add({"user", 1.5, 3.2, 190.0, 2800.0, 0.035, k % 2 ? 1022 : 122})}, {1.0});
            const AssocRun run = run_association(host(), sys, 20.0, {});
            seen[k] = run.r.failed ? -1 : sys.types()[0] * 100 + run.r.unknowns;
        });
    for (std::thread &t : threads) t.join();
    for (std::size_t k = 0; k < seen.size(); ++k) EXPECT_EQ(seen[k], seen[k % 2]);
    EXPECT_EQ(assoc::user_type_count(), before + 2);  // 1022 is its own code with the sites of 122
    EXPECT_EQ(seen[0] % 100, 4);

    for (std::int64_t code = 101; assoc::user_type_count() < 11; ++code) {
        AssocSystem sys;
        sys.list({sys.add({"user", 1.5, 3.2, 190.0, 2800.0, 0.035, code})}, {1.0});
        ASSERT_EQ(run_association(host(), sys, 20.0, {}).r.failed, 0);
    }
    AssocSystem twelfth;
    twelfth.options.diag_unit = 7;
    twelfth.list({twelfth.add({"user", 1.5, 3.2, 190.0, 2800.0, 0.035, 1055})}, {1.0});
    EXPECT_EQ(run_association(host(), twelfth, 20.0, {}).r.failed, 1);
    EXPECT_EQ(twelfth.types()[0], 1055);
    EXPECT_EQ(reference.unit_lines(7),
              (std::vector<std::string>{"      ***ERROR IN PC-SAFT/CPA ASSOCIATION CALCULATIONS***",
                                        "      NUMBER OF USER-DEFINED ASSOCIATION TYPES EXCEEDS 11"}));
    AssocSystem old;
    old.options.diag_unit = 7;
    old.list({old.add({"user", 1.5, 3.2, 190.0, 2800.0, 0.035, 122})}, {1.0});
    reference.clear_unit_lines(7);
    EXPECT_EQ(run_association(host(), old, 20.0, {}).r.failed, 0);
    EXPECT_TRUE(reference.unit_lines(7).empty());
}

}  // namespace
}  // namespace keld::testing
