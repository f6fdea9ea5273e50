// The excess-Gibbs models against textbook results: the binary forms of each
// model written out independently, and original UNIFAC against the published
// activity coefficients of acetone(1) + n-pentane(2) at 307 K, x1 = 0.047
// (Smith, Van Ness and Abbott, Introduction to Chemical Engineering
// Thermodynamics, 7th ed., Appendix H: gamma1 = 4.992, gamma2 = 1.005).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "cubic/excess_gibbs.h"
#include "cubic/unifac_groups.h"
#include "cubic_fixture.h"
#include "host/host.h"

using namespace keld::cubic;
using namespace keld::testing;

namespace {

// Binary parameters: E12, E21 (value only), v1, v2, alpha, r, q.
struct Binary {
    double e12, e21, v1, v2, alpha, r1, r2, q1, q2;
};
constexpr Binary kBinary{0.6, 1.1, 0.07, 0.02, 0.3, 2.57, 0.92, 2.34, 1.40};

using Model = void (*)(const GibbsInputs &, Jet *);
using Closed = std::function<std::array<double, 2>(double x1, const Binary &)>;

std::array<double, 2> evaluate(Model model, double x1, const Binary &b) {
    const double x[2] = {x1, 1.0 - x1};
    const Jet energy[4] = {Jet(0.0), Jet(b.e21), Jet(b.e12), Jet(0.0)};  // (i, j) at i + 2 j
    const double alpha[4] = {0.0, b.alpha, b.alpha, 0.0};
    const double v[2] = {b.v1, b.v2}, r[2] = {b.r1, b.r2}, q[2] = {b.q1, b.q2};
    std::vector<Jet> scratch(16);
    const GibbsInputs in{2, x, Jet::temperature(300.0), v, energy, alpha, r, q, nullptr, scratch.data()};
    Jet ln_gamma[2];
    model(in, ln_gamma);
    return {ln_gamma[0].v, ln_gamma[1].v};
}

struct ModelCase {
    const char *name;
    Model model;
    Closed closed;
};

const std::vector<ModelCase> kModels = {
    {"Redlich-Kister (Margules)", redlich_kister_ln_gamma,
     [](double x1, const Binary &b) {
         const double x2 = 1 - x1;
         return std::array<double, 2>{x2 * x2 * (b.e12 + 2 * (b.e21 - b.e12) * x1),
                                      x1 * x1 * (b.e21 + 2 * (b.e12 - b.e21) * x2)};
     }},
    {"Wilson", wilson_ln_gamma,
     [](double x1, const Binary &b) {
         const double x2 = 1 - x1, l12 = b.v2 / b.v1 * std::exp(b.e12), l21 = b.v1 / b.v2 * std::exp(b.e21);
         const double c = l12 / (x1 + x2 * l12) - l21 / (x2 + x1 * l21);
         return std::array<double, 2>{-std::log(x1 + x2 * l12) + x2 * c, -std::log(x2 + x1 * l21) - x1 * c};
     }},
    {"Van Laar", van_laar_ln_gamma,
     [](double x1, const Binary &b) {
         const double x2 = 1 - x1, d = b.e12 * x1 + b.e21 * x2;
         return std::array<double, 2>{b.e12 * std::pow(b.e21 * x2 / d, 2), b.e21 * std::pow(b.e12 * x1 / d, 2)};
     }},
    {"NRTL", nrtl_ln_gamma,
     [](double x1, const Binary &b) {
         const double x2 = 1 - x1, g12 = std::exp(-b.alpha * b.e12), g21 = std::exp(-b.alpha * b.e21);
         const double l1 = x2 * x2 * (b.e21 * std::pow(g21 / (x1 + x2 * g21), 2) + b.e12 * g12 / std::pow(x2 + x1 * g12, 2));
         const double l2 = x1 * x1 * (b.e12 * std::pow(g12 / (x2 + x1 * g12), 2) + b.e21 * g21 / std::pow(x1 + x2 * g21, 2));
         return std::array<double, 2>{l1, l2};
     }},
    {"UNIQUAC", uniquac_ln_gamma,
     [](double x1, const Binary &b) {
         const double x2 = 1 - x1, z = 10.0;
         const double phi1 = b.r1 * x1 / (b.r1 * x1 + b.r2 * x2), phi2 = 1 - phi1;
         const double th1 = b.q1 * x1 / (b.q1 * x1 + b.q2 * x2), th2 = 1 - th1;
         const double l1 = z / 2 * (b.r1 - b.q1) - (b.r1 - 1), l2 = z / 2 * (b.r2 - b.q2) - (b.r2 - 1);
         const double t12 = std::exp(b.e12), t21 = std::exp(b.e21);
         const double c1 = std::log(phi1 / x1) + z / 2 * b.q1 * std::log(th1 / phi1) + phi2 * (l1 - b.r1 / b.r2 * l2);
         const double c2 = std::log(phi2 / x2) + z / 2 * b.q2 * std::log(th2 / phi2) + phi1 * (l2 - b.r2 / b.r1 * l1);
         const double s1 = th1 + th2 * t21, s2 = th2 + th1 * t12;
         return std::array<double, 2>{c1 + b.q1 * (-std::log(s1) + th2 * (t21 / s1 - t12 / s2)),
                                      c2 + b.q2 * (-std::log(s2) + th1 * (t12 / s2 - t21 / s1))};
     }},
};

TEST(ActivityModels, BinaryFormsOfTheTextbooks) {
    for (const ModelCase &m : kModels) {
        for (double x1 : {0.02, 0.3, 0.75}) {
            const auto got = evaluate(m.model, x1, kBinary), want = m.closed(x1, kBinary);
            EXPECT_NEAR(got[0], want[0], 1e-12) << m.name << " x1 = " << x1;
            EXPECT_NEAR(got[1], want[1], 1e-12) << m.name << " x1 = " << x1;
        }
    }
}

TEST(ActivityModels, TemperatureDerivativesOfEveryModel) {
    // E_ij = a_ij + b_ij/T: the Jet's derivatives against differences in T.
    for (const ModelCase &m : kModels) {
        auto at = [&](double t, Jet *out) {
            const double x[2] = {0.4, 0.6};
            const Jet e12 = Jet(0.2) + 120.0 / Jet::temperature(t), e21 = Jet(0.1) + 250.0 / Jet::temperature(t);
            const Jet energy[4] = {Jet(0.0), e21, e12, Jet(0.0)};
            const double alpha[4] = {0, 0.3, 0.3, 0}, v[2] = {0.07, 0.02}, r[2] = {2.57, 0.92}, q[2] = {2.34, 1.4};
            std::vector<Jet> scratch(16);
            m.model({2, x, Jet::temperature(t), v, energy, alpha, r, q, nullptr, scratch.data()}, out);
        };
        Jet base[2], up[2], down[2];
        const double t = 330.0, h = 1e-3;
        at(t, base);
        at(t + h, up);
        at(t - h, down);
        for (int i = 0; i < 2; ++i) {
            EXPECT_NEAR(base[i].d, (up[i].v - down[i].v) / (2 * h), 1e-9) << m.name;
            EXPECT_NEAR(base[i].dd, (up[i].d - down[i].d) / (2 * h), 1e-9) << m.name;
        }
    }
}

TEST(ActivityModels, UnifacAcetonePentane) {
    keld::refhost::Case system = cubic_case();
    const auto host = keld::host::Host::current();
    ASSERT_TRUE(host);
    const std::int64_t idx[2] = {1, 4};  // acetone, n-pentane
    const double x[2] = {0.047, 0.953}, mwn[2] = {58.08, 72.15}, units[2] = {1.0, 1.0};
    std::vector<double> words(4000);
    WorkArea work(words.data(), static_cast<std::int64_t>(words.size()));
    UnifacMixture groups;
    double r[2], q[2];
    const double *mw = &system.host->store_at(system.host->offsets1(306) + 1);
    ASSERT_EQ(gather_groups(*host, 2, idx, mwn, mw, units, work, groups, r, q).status, GroupStatus::ok);
    EXPECT_NEAR(r[0], 2.5735, 1e-12);  // CH3 + CH3CO
    EXPECT_NEAR(q[1], 3.316, 1e-12);   // 2 CH3 + 3 CH2
    std::vector<Jet> scratch(16);
    const GibbsInputs in{2, x, Jet::temperature(307.0), nullptr, nullptr, nullptr, r, q, &groups, scratch.data()};
    Jet ln_gamma[2];
    unifac_ln_gamma(in, ln_gamma);
    EXPECT_NEAR(std::exp(ln_gamma[0].v), 4.992, 0.002);
    EXPECT_NEAR(std::exp(ln_gamma[1].v), 1.005, 0.001);
}

}  // namespace
