// The association routine: closed forms, every derivative output against Richardson-extrapolated
// differences of A_assoc from the routine itself at tight tolerance, and the three methods agreeing.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "keld/refhost.h"
#include "support/assoc_systems.h"

namespace keld::testing {
namespace {

using assoc::Requests;

class Association : public ::testing::Test {
protected:
    void SetUp() override {
        reference.add_component("HOST", refhost::ComponentKind::ordinary, 1.0);
        reference.install();
    }
    host::Host host() const { return *host::Host::current(); }
    refhost::ReferenceHost reference;
};

// Pure 2B: one unknown (equivalent sites), X = (sqrt(1 + 4 rho Delta) - 1)/(2 rho Delta). 2B with an
// inert solvent: no reduction, two unknowns, X from the same root with rho x Delta.
TEST_F(Association, TwoSiteClosedForms) {
    struct Case {
        bool inert;
        double x, rho;
        std::int64_t unknowns;
    };
    for (const Case c : {Case{false, 1.0, 24.0, 1}, Case{true, 0.3, 9.0, 2}}) {
        AssocSystem sys;
        const std::int64_t me = sys.add(kMethanol);
        if (c.inert)
            sys.list({me, sys.add(kHexaneInert)}, {c.x, 1.0 - c.x});
        else
            sys.list({me}, {1.0});
        const AssocRun run = run_association(host(), sys, c.rho);
        ASSERT_EQ(run.r.failed, 0);
        EXPECT_EQ(run.r.unknowns, c.unknowns);
        const double q = c.rho * c.x * run.delta[0];
        const double x = (std::sqrt(1.0 + 4.0 * q) - 1.0) / (2.0 * q);
        EXPECT_NEAR(run.site_fractions[0], x, 1e-13 * x);
        EXPECT_NEAR(run.site_fractions[1], x, 1e-13 * x);
        EXPECT_NEAR(run.r.a, 2.0 * c.x * (std::log(x) - 0.5 * x + 0.5), 1e-12);
    }
}

struct Fixture {
    std::string name;
    std::function<AssocSystem()> make;
    double rho;
};

std::vector<Fixture> fixtures() {
    return {
        {"methanol", [] { AssocSystem s; s.list({s.add(kMethanol)}, {1.0}); return s; }, 24.0},
        {"water 4C", [] { AssocSystem s; s.list({s.add(kWater4C)}, {1.0}); return s; }, 50.0},
        {"water + methanol", [] {
             AssocSystem s;
             const std::int64_t w = s.add(kWater4C), me = s.add(kMethanol);
             s.list({w, me}, {0.4, 0.6});
             return s;
         }, 35.0},
        {"methanol + hexane", [] {
             AssocSystem s;
             const std::int64_t me = s.add(kMethanol), hx = s.add(kHexaneInert);
             s.list({hx, me}, {0.7, 0.3});
             return s;
         }, 9.0},
        {"copolymer + ethanol", [] {
             AssocSystem s;
             const std::int64_t a = s.add(kMethanol), b = s.add(kWater4C), c = s.add(kHexaneInert);
             const std::int64_t segments[] = {a, c, b};
             const double counts[] = {4.0, 7.0, 2.0};
             const std::int64_t p = s.add_polymer(segments, counts), et = s.add(kEthanol);
             s.list({p, et}, {0.05, 0.95});
             return s;
         }, 14.0},
        {"water + two trace alcohols", [] {
             AssocSystem s;
             const std::int64_t w = s.add(kWater4C), me = s.add(kMethanol), et = s.add(kEthanol);
             s.list({w, me, et}, {1.0, 0.0, 0.0});
             return s;
         }, 50.0},
        {"CPA water + methanol, square-root rule", [] {
             AssocSystem s;
             const std::int64_t w = s.add(kWater4C), me = s.add(kMethanol);
             s.set_covolume(w, 0.0145);
             s.set_covolume(me, 0.0309);
             s.combining().assign(4, 1.0);
             s.options.model = 1;
             s.list({w, me}, {0.5, 0.5});
             return s;
         }, 30.0},
    };
}

// Richardson-extrapolated first and second differences; one-sided (second order) from a boundary.
struct Differences {
    double first, second;
};
Differences differentiate(const std::function<double(double)> &f, double x0, double h, bool one_sided) {
    const auto first = [&](double s) {
        return one_sided ? (-3.0 * f(x0) + 4.0 * f(x0 + s) - f(x0 + 2.0 * s)) / (2.0 * s)
                         : (f(x0 + s) - f(x0 - s)) / (2.0 * s);
    };
    const auto second = [&](double s) { return (f(x0 + s) - 2.0 * f(x0) + f(x0 - s)) / (s * s); };
    const double order = one_sided ? 8.0 : 4.0;  // error h^2 -> h^3 one-sided (h^2 central)
    return {(order * first(h / 2) - first(h)) / (order - 1.0), (4.0 * second(h / 2) - second(h)) / 3.0};
}

TEST_F(Association, DerivativesMatchDifferencesOfTheValue) {
    for (const Fixture &fx : fixtures()) {
        AssocSystem sys = fx.make();
        const AssocRun run = run_association(host(), sys, fx.rho);
        ASSERT_EQ(run.r.failed, 0) << fx.name;
        sys.options.tolerance = 1e-15;
        const auto a = [&](double rho) { return run_association(host(), sys, rho, Requests{}).r.a; };
        const Differences drho = differentiate(a, fx.rho, 1e-3 * fx.rho, false);
        EXPECT_NEAR(run.r.a_rho, fx.rho * drho.first, 1e-9 * std::fabs(run.r.a_rho)) << fx.name;
        const double a_rho2 = fx.rho * drho.first + fx.rho * fx.rho * drho.second;
        EXPECT_NEAR(run.r.a_rho2, a_rho2, 1e-7 * std::fabs(a_rho2)) << fx.name;
        const double t0 = sys.t;
        const Differences dt = differentiate([&](double t) { sys.t = t; return a(fx.rho); }, t0, 1e-3 * t0, false);
        sys.t = t0;
        EXPECT_NEAR(run.r.a_t, t0 * dt.first, 1e-9 * std::fabs(run.r.a_t)) << fx.name;
        for (std::size_t k = 0; k < sys.x.size(); ++k) {
            const double x0 = sys.x[k];
            const Differences dx = differentiate([&](double x) { sys.x[k] = x; return a(fx.rho); }, x0, 1e-4,
                                                 x0 < 1e-3);
            sys.x[k] = x0;
            EXPECT_NEAR(run.a_x[k], dx.first, 1e-8 * std::fmax(1.0, std::fabs(dx.first))) << fx.name << " x" << k;
        }
    }
}

TEST_F(Association, EveryMethodReachesTheSameSolution) {
    for (const Fixture &fx : fixtures()) {
        AssocSystem sys = fx.make();
        sys.options.tolerance = 1e-12;
        sys.options.diag_level = 1;
        sys.options.diag_unit = 99;  // no sink: the closing lines are dropped
        std::vector<AssocRun> runs;
        for (std::int64_t method : {2, 1, 0}) {
            sys.options.method = method;
            runs.push_back(run_association(host(), sys, fx.rho));
            ASSERT_EQ(runs.back().r.failed, 0) << fx.name << " method " << method;
            EXPECT_EQ(runs.back().r.stats.method, method);
        }
        for (const AssocRun &run : runs) {
            const assoc::Results &r = run.r, &n = runs[0].r;
            for (auto [value, reference] : {std::pair{r.a, n.a}, {r.a_rho, n.a_rho}, {r.a_rho2, n.a_rho2},
                                            {r.a_t, n.a_t}, {run.a_x[0], runs[0].a_x[0]}})
                EXPECT_NEAR(value, reference, 1e-8 * std::fmax(1.0, std::fabs(reference))) << fx.name;
        }
    }
}

}  // namespace
}  // namespace keld::testing
