// The cubic monitor against an independent pure-component SRK, SRK vapour
// pressures of light gases at their normal boiling points, and the excess-
// Gibbs rules reproducing their activity model at low pressure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "cubic/excess_gibbs.h"
#include "cubic/unifac_groups.h"
#include "cubic_fixture.h"
#include "host/host.h"

using namespace keld::testing;
using keld::refhost::ReferenceHost;

namespace {

constexpr double kR = ReferenceHost::gas_constant;

// Pure SRK written out: Z from the cubic Z^3 - Z^2 + (A - B - B^2) Z - A B = 0
// (largest root for a vapour, smallest for a liquid) and ln phi.
double srk_ln_phi(double tc, double pc, double omega, double t, double p, bool liquid) {
    const double m = 0.480 + 1.574 * omega - 0.176 * omega * omega;
    const double alpha = std::pow(1 + m * (1 - std::sqrt(t / tc)), 2);
    const double a = 0.42748 * kR * kR * tc * tc / pc * alpha, b = 0.08664 * kR * tc / pc;
    const double big_a = a * p / (kR * t * kR * t), big_b = b * p / (kR * t);
    // Depressed cubic y^3 + p3 y + q3 = 0 with Z = y + 1/3.
    const double c1 = big_a - big_b - big_b * big_b, c0 = -big_a * big_b;
    const double p3 = c1 - 1.0 / 3.0, q3 = -2.0 / 27.0 + c1 / 3.0 + c0;
    const double disc = q3 * q3 / 4 + p3 * p3 * p3 / 27;
    double z;
    if (disc > 0) {
        z = std::cbrt(-q3 / 2 + std::sqrt(disc)) + std::cbrt(-q3 / 2 - std::sqrt(disc)) + 1.0 / 3.0;
    } else {
        const double r = 2 * std::sqrt(-p3 / 3), phi = std::acos(3 * q3 / (p3 * r));
        double roots[3];
        for (int k = 0; k < 3; ++k) roots[k] = r * std::cos((phi - 2 * M_PI * k) / 3) + 1.0 / 3.0;
        z = liquid ? *std::min_element(roots, roots + 3) : *std::max_element(roots, roots + 3);
        if (liquid && z <= big_b) z = roots[1];
    }
    return z - 1 - std::log(z - big_b) - big_a / big_b * std::log(1 + big_b / z);
}

struct Gas {
    const char *id;
    double mw, tc, pc, omega, normal_boiling_point;
};
// Critical constants: PSRK revision IV; normal boiling points: NIST.
const Gas kGases[] = {
    {"CH4", 16.043, 190.6, 4600155, 0.008, 111.67},
    {"C2H6", 30.07, 305.4, 4883865, 0.098, 184.57},
    {"C3H8", 44.097, 369.95, 4245518, 0.152, 231.04},
    {"NC4", 58.123, 425.2, 3799688, 0.193, 272.66},
    {"N2", 28.014, 126.2, 3394388, 0.04, 77.36},
};

TEST(CubicReference, LightGasesAgainstIndependentSrkAndTheirBoilingPoints) {
    ReferenceHost host;
    for (const Gas &g : kGases) {
        const std::int64_t i = host.add_component(g.id, keld::refhost::ComponentKind::ordinary, g.mw);
        host.set_unary("TCRKS", i, g.tc);
        host.set_unary("PCRKS", i, g.pc);
        host.set_unary("OMGRKS", i, g.omega);
    }
    host.install();
    for (std::int64_t i = 1; i <= 5; ++i) {
        const Gas &g = kGases[i - 1];
        Es40 a;
        a.idx = {i};
        a.t = g.normal_boiling_point;
        a.flags = {1, 0, 0, 0, 0};
        auto ln_phi = [&](double p, std::int64_t kvl) {
            a.p = p;
            a.kvl = kvl;
            const Es40Result r = call_es40(a);
            EXPECT_EQ(r.kret, 1) << g.id;
            return r.phi[0];
        };
        for (double p : {0.5e5, 1.01325e5, 2e5}) {
            EXPECT_NEAR(ln_phi(p, 2), srk_ln_phi(g.tc, g.pc, g.omega, a.t, p, true), 1e-10) << g.id;
            EXPECT_NEAR(ln_phi(p, 1), srk_ln_phi(g.tc, g.pc, g.omega, a.t, p, false), 1e-10) << g.id;
        }
        // Saturation pressure: equal fugacities of liquid and vapour. SRK with
        // Soave's alpha reproduces these within about 3 %.
        double p = 101325.0;
        for (int k = 0; k < 30; ++k) p *= std::exp(ln_phi(p, 2) - ln_phi(p, 1));
        EXPECT_NEAR(p / 101325.0, 1.0, 0.03) << g.id << " P_sat = " << p;
    }
}

// ln gamma from the equation of state: ln phi in the mixture less ln phi of the pure liquid.
std::array<double, 2> eos_ln_gamma(std::int64_t krule, std::int64_t kmodel, double x1, double t, double p) {
    Es40 a;
    a.t = t;
    a.p = p;
    a.krule = krule;
    a.kmodel = kmodel;
    a.flags = {1, 0, 0, 0, 0};
    a.idx = {1, 3};  // acetone, n-hexane
    a.z = {x1, 1 - x1};
    const Es40Result mix = call_es40(a);
    std::array<double, 2> ln_gamma{};
    for (int k = 0; k < 2; ++k) {
        Es40 pure = a;
        pure.idx = {a.idx[k]};
        pure.z = {1.0};
        ln_gamma[k] = mix.phi[k] - call_es40(pure).phi[0];
    }
    return ln_gamma;
}

// UNIFAC's own ln gamma of acetone/n-hexane.
std::array<double, 2> unifac_ln_gamma_of(double x1, double t) {
    const auto host = keld::host::Host::current();
    const std::int64_t idx[2] = {1, 3};
    const double x[2] = {x1, 1 - x1}, mwn[2] = {58.08, 86.177}, units[2] = {1.0, 1.0}, mw[7] = {58.08, 32.042, 86.177};
    std::vector<double> words(4000);
    keld::cubic::WorkArea work(words.data(), 4000);
    keld::cubic::UnifacMixture groups;
    double r[2], q[2];
    keld::cubic::gather_groups(*host, 2, idx, mwn, mw, units, work, groups, r, q);
    std::vector<keld::cubic::Jet> scratch(16);
    const keld::cubic::GibbsInputs in{2, x, keld::cubic::Jet::temperature(t), nullptr, nullptr, nullptr,
                                      r,  q, &groups, scratch.data()};
    keld::cubic::Jet ln_gamma[2];
    keld::cubic::unifac_ln_gamma(in, ln_gamma);
    return {ln_gamma[0].v, ln_gamma[1].v};
}

// At low pressure the modified Huron-Vidal rules return their g^E model within
// the accuracy Michelsen and Dahl report (MHV2 about 1 %, MHV1 a few %); Wong
// and Sandler's rule with k_ij matched to g^E at x = 0.5 follows the model over
// the whole composition range within some 5 % (8 % allowed).
TEST(CubicReference, ExcessGibbsRulesReproduceTheirModelAtLowPressure) {
    keld::refhost::Case system = cubic_case();
    const double t = 320.0, p = 1e5;
    auto ge = [](const std::array<double, 2> &l, double x1) { return x1 * l[0] + (1 - x1) * l[1]; };
    auto eos_ge = [&](std::int64_t krule, double x1) { return ge(eos_ln_gamma(krule, 7, x1, t, p), x1); };
    auto model_ge = [&](double x1) { return ge(unifac_ln_gamma_of(x1, t), x1); };

    // Wong-Sandler: k_ij from g^E at x = 0.5 (secant).
    auto set_k = [&](double k) {
        system.host->set_binary("RKSWSK", 1, 3, k);
        system.host->set_binary("RKSWSK", 3, 1, k);
    };
    double k0 = 0.0, k1 = 0.3;
    set_k(k0);
    double f0 = eos_ge(2, 0.5) - model_ge(0.5);
    for (int iteration = 0; iteration < 20 && std::fabs(k1 - k0) > 1e-12; ++iteration) {
        set_k(k1);
        const double f1 = eos_ge(2, 0.5) - model_ge(0.5);
        const double k2 = k1 - f1 * (k1 - k0) / (f1 - f0);
        k0 = k1;
        f0 = f1;
        k1 = k2;
    }
    set_k(k1);

    struct RuleCase {
        std::int64_t krule;
        double relative_tolerance;
    };
    for (const RuleCase &c : {RuleCase{4, 0.015}, RuleCase{3, 0.03}, RuleCase{2, 0.08}}) {
        for (double x1 : {0.1, 0.5, 0.9})
            EXPECT_NEAR(eos_ge(c.krule, x1) / model_ge(x1), 1.0, c.relative_tolerance)
                << "rule " << c.krule << " x1 " << x1;
    }
}

}  // namespace
