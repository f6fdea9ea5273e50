// KELD_PCSAF1 against the independent complex-step model: ln phi against d(n a)/dn_k, H and S against
// da/dT, G against the Helmholtz energy, and the pressure at the returned density, with association,
// dipoles, temperature-dependent k_ij and l_ij, a polymer of one segment type and a two-type copolymer.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "pcsaf_reference_model.h"
#include "support/pcsaf_systems.h"

using namespace keld::testing;
namespace reference = keld::pcsaf::reference;

namespace {

constexpr double kR = keld::refhost::ReferenceHost::gas_constant;
constexpr double kPref = keld::refhost::ReferenceHost::reference_pressure;

// An illustrative dipolar, non-associating solvent (acetone-like size, 2.88 D, 40 % polar segments).
constexpr AssocFluid kPolar{"POLAR", 58.08, 2.7447, 3.2742, 232.99, kNone, kNone, 0, 508.1, 4.70e6};
// Illustrative segment components of a copolymer: a styrene-like unit and a hydroxyl-bearing (2B) unit.
constexpr AssocFluid kUnitA{"UNITA", 104.15, 1.979, 4.1072, 267.0, kNone, kNone, 0, kNone, kNone};
constexpr AssocFluid kUnitB{"UNITB", 44.05, 1.20, 3.30, 250.0, 2300.0, 0.02, 2, kNone, kNone};

struct Case {
    std::string name;
    std::function<PcsafCall(PcsafSystem &)> build;
};

std::vector<Case> cases() {
    return {
        {"pure methanol 2B, liquid",
         [](PcsafSystem &s) { return PcsafCall{.idx = {s.add(kMethanol2B)}, .z = {1.0}}; }},
        {"water 4C + methanol 2B, liquid",
         [](PcsafSystem &s) {
             return PcsafCall{.t = 320.0, .idx = {s.add(kWater4C), s.add(kMethanol2B)}, .z = {0.4, 0.6}};
         }},
        {"methanol + n-hexane, k_ij(T) and l_ij, liquid",
         [](PcsafSystem &s) {
             const auto me = s.add(kMethanol2B), hx = s.add(kHexane0);
             s.set_kij(me, hx, {0.02, 0.01, 0, 0, 0, 0});
             s.set_lij(me, hx, {0.01, 0, 0, 0});
             return PcsafCall{.t = 310.0, .idx = {hx, me}, .z = {0.7, 0.3}};
         }},
        {"dipolar solvent + methanol + n-hexane, vapour",
         [](PcsafSystem &s) {
             const auto po = s.add(kPolar), me = s.add(kMethanol2B), hx = s.add(kHexane0);
             s.set_dipole(po, 2.88, 0.4);
             s.set_dipole(me, 1.7, 0.3);
             return PcsafCall{.t = 350.0, .p = 5.0e4, .idx = {po, me, hx}, .z = {0.3, 0.3, 0.4}, .kvl = 1};
         }},
        {"copolymer of two segment types (one associating and dipolar) in methanol, liquid",
         [](PcsafSystem &s) {
             const auto a = s.add_segment(kUnitA), b = s.add_segment(kUnitB), me = s.add(kMethanol2B);
             s.set_dipole(b, 1.5, 0.5);
             s.set_kij(a, me, {0.03, 0, 0, 0, 0, 0});
             const auto p = s.add_polymer("COPOLY", kUnitA.mw, {{a, 6000.0}, {b, 4000.0}});
             return PcsafCall{.t = 330.0, .idx = {me, p}, .z = {0.98, 0.02}};
         }},
        {"homopolymer of one segment type in n-hexane + methanol, liquid",
         [](PcsafSystem &s) {
             const auto a = s.add_segment(kUnitA), hx = s.add(kHexane0), me = s.add(kMethanol2B);
             const auto p = s.add_polymer("HOMO", kUnitA.mw, {{a, 20000.0}});
             return PcsafCall{.t = 340.0, .idx = {p, hx, me}, .z = {0.05, 0.75, 0.20}};
         }},
    };
}

TEST(PcsafConsistency, MonitorAgreesWithTheIndependentModel) {
    for (const Case &k : cases()) {
        SCOPED_TRACE(k.name);
        PcsafSystem sys;
        const PcsafCall c = k.build(sys);
        const PcsafResult r = sys.call(c);
        ASSERT_TRUE(r.status == 1 && r.messages.empty());

        // True basis and the apparent-basis factor as the monitor forms them.
        const std::size_t n = c.idx.size();
        std::vector<double> x(n);
        double factor = 0.0;  // sum Z MW/MWN; x = Z (MW/MWN)/factor
        for (std::size_t k2 = 0; k2 < n; ++k2) {
            const std::int64_t i = c.idx[k2];
            double mwn = sys.nseg[i - 1] > 0 ? 0.0 : sys.mw[i - 1];
            for (std::int64_t t = 0; t < sys.nseg[i - 1]; ++t) mwn += sys.wseg[(i - 1) * sys.lseg + t];
            factor += (x[k2] = c.z[k2] * sys.mw[i - 1] / mwn);
        }
        for (double &v : x) v /= factor;

        const reference::State st = reference::state(sys, c.idx, c.t, r.rho, x);
        const double rt = kR * c.t, log_p = std::log(c.p / kPref);
        EXPECT_NEAR(rt * r.rho * st.z / c.p, 1.0, 1e-9) << "pressure at the returned density";
        double sum_x_lnphi = 0.0;
        for (std::size_t k2 = 0; k2 < n; ++k2) {
            const double expected = st.lnphi[k2] + std::log(x[k2] / c.z[k2]);
            EXPECT_NEAR(r.phi[k2], expected, 1e-9 * std::max(1.0, std::fabs(expected))) << "ln phi " << k2;
            sum_x_lnphi += x[k2] * st.lnphi[k2];
        }
        const double h = rt * (st.z - 1.0 - c.t * st.a_t) * factor;
        const double s_dep = (kR * (-st.a + std::log(st.z) - log_p) - rt * st.a_t) * factor;
        EXPECT_NEAR(r.h, h, 1e-9 * std::fabs(h) + 1e-6);
        EXPECT_NEAR(r.s, s_dep, 1e-9 * std::fabs(s_dep) + 1e-9);
        // G against the fugacity coefficients and against the Helmholtz energy itself (H - T S).
        const double g = rt * (st.a + st.z - 1.0 - std::log(st.z) + log_p) * factor;
        EXPECT_NEAR(r.g, rt * (sum_x_lnphi + log_p) * factor, 1e-9 * std::fabs(r.g) + 1e-6);
        EXPECT_NEAR(r.g, g, 1e-9 * std::fabs(g) + 1e-6);
        EXPECT_NEAR(r.v, factor / r.rho, 1e-14 * r.v);
        // Derivative slots belong to the ideal-gas exit alone.
        EXPECT_EQ(r.dh, kUntouched);
        EXPECT_EQ(r.dphi[0], kUntouched);
    }
}

}  // namespace
