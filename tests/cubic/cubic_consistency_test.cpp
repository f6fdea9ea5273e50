// Thermodynamic consistency of the cubic monitor for every rule and every
// excess-Gibbs model, liquid and vapour: ln phi against the composition
// derivative of n G/RT, sum x ln phi against G, H against the temperature
// derivative of G/T, and the analytic temperature derivatives against
// differences of the values (the density root solved again at each T).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "cubic_fixture.h"

using namespace keld::testing;
using keld::refhost::ReferenceHost;

namespace {

constexpr double kR = ReferenceHost::gas_constant;
constexpr double kPref = ReferenceHost::reference_pressure;

// Five-point central difference.
double derivative(const std::function<double(double)> &f, double x, double h) {
    return (f(x - 2 * h) - 8 * f(x - h) + 8 * f(x + h) - f(x + 2 * h)) / (12 * h);
}

struct Case {
    std::int64_t krule, kmodel, kvl;
    double t, p;
};

std::string name(const ::testing::TestParamInfo<Case> &info) {
    const char *rules[] = {"", "vdw", "ws", "mhv1", "mhv2"};
    return std::string(rules[info.param.krule]) + "_model" + std::to_string(info.param.kmodel) +
           (info.param.kvl == 2 ? "_liquid" : "_vapour");
}

std::vector<Case> all_cases() {
    std::vector<Case> cases;
    for (std::int64_t kvl : {2, 1}) {
        const double t = kvl == 2 ? 320.0 : 420.0, p = kvl == 2 ? 5e5 : 1e5;
        cases.push_back({1, 1, kvl, t, p});
        for (std::int64_t rule = 2; rule <= 4; ++rule)
            for (std::int64_t model = 1; model <= 7; ++model) cases.push_back({rule, model, kvl, t, p});
    }
    return cases;
}

class CubicConsistency : public ::testing::TestWithParam<Case> {
protected:
    keld::refhost::Case system = cubic_case();
    Es40 args() const {
        Es40 a;
        a.t = GetParam().t;
        a.p = GetParam().p;
        a.kvl = GetParam().kvl;
        a.krule = GetParam().krule;
        a.kmodel = GetParam().kmodel;
        a.idx = {1, 2, 3};
        a.z = {0.3, 0.3, 0.4};
        return a;
    }
};

void expect_close(double value, double reference, double scale, const char *what) {
    EXPECT_LE(std::fabs(value - reference), 1e-9 * std::max(scale, std::fabs(reference)))
        << what << ": " << value << " against " << reference;
}

TEST_P(CubicConsistency, IdentitiesHold) {
    const Es40 base = args();
    const Es40Result r = call_es40(base);
    ASSERT_EQ(r.kret, 1);
    const double rt = kR * base.t, log_p = std::log(base.p / kPref);

    // sum x ln phi = G/RT - ln(P/Pref).
    double mean = 0.0;
    for (std::size_t k = 0; k < 3; ++k) mean += base.z[k] * r.phi[k];
    expect_close(mean, r.g / rt - log_p, 1.0, "sum x ln phi");

    // ln phi_i = d(n G/RT)/dn_i - ln(P/Pref).
    for (std::size_t i = 0; i < 3; ++i) {
        auto n_g = [&](double h) {
            Es40 a = base;
            a.z[i] += h;
            for (double &zk : a.z) zk /= 1.0 + h;
            return (1.0 + h) * (call_es40(a).g / rt - log_p);
        };
        expect_close(r.phi[i], derivative(n_g, 0.0, 1e-3), 1.0, "ln phi");
    }

    // H = -T^2 d(G/T)/dT and the analytic T-derivatives.
    auto at = [&](double t) {
        Es40 a = base;
        a.t = t;
        return call_es40(a);
    };
    const double h = 0.5;
    expect_close(r.h, -base.t * base.t * derivative([&](double t) { return at(t).g / t; }, base.t, h), rt, "H");
    expect_close(r.dh, derivative([&](double t) { return at(t).h; }, base.t, h), kR, "dH/dT");
    expect_close(r.ds, derivative([&](double t) { return at(t).s; }, base.t, h), kR / base.t, "dS/dT");
    expect_close(r.dg, derivative([&](double t) { return at(t).g; }, base.t, h), kR, "dG/dT");
    expect_close(r.dv, derivative([&](double t) { return at(t).v; }, base.t, h), r.v / base.t, "dV/dT");
    for (std::size_t i = 0; i < 3; ++i)
        expect_close(r.dphi[i], derivative([&](double t) { return at(t).phi[i]; }, base.t, h), 1.0 / base.t,
                     "d ln phi/dT");
}

INSTANTIATE_TEST_SUITE_P(EveryRuleAndModel, CubicConsistency, ::testing::ValuesIn(all_cases()), name);

}  // namespace
