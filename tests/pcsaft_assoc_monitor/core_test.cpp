// The residual core against the plain PC-SAFT core (the same numbers to the last bit without
// association, dipoles and l_ij, with a polymer of one segment type), and the dipolar term in SI units.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/host.h"
#include "pcsaft/pcsaft_residual.h"
#include "contributions/dipolar.h"
#include "pcsaft_assoc/pcsaf_residual.h"
#include "support/pcsaf_systems.h"

using namespace keld;
using namespace keld::testing;

namespace {

// The arguments of a monitor call over the system's arrays (everything a residual needs).
pcsaf::Arguments arguments(PcsafSystem &sys, const PcsafCall &c, std::vector<double> &work, std::int64_t &status,
                           double &rho) {
    work.assign(static_cast<std::size_t>(sys.work_needed(c)), 0.0);
    return {.t = c.t, .p = c.p, .n = static_cast<std::int64_t>(c.idx.size()), .nc = sys.nc(), .kvl = c.kvl,
            .rq = Requests::decode(1, 1, 1, 1, 1), .status = &status, .idx = c.idx.data(), .z = c.z.data(),
            .mw = sys.mw.data(), .tc = sys.tc.data(), .pc = sys.pc.data(), .m = sys.m.data(),
            .sigma = sys.sigma.data(), .eps = sys.eps.data(), .types = sys.types.data(),
            .eps_ab = sys.eps_ab.data(), .kappa_ab = sys.kappa_ab.data(), .dipole = sys.dipole.data(),
            .dipolar_fraction = sys.dipolar_fraction.data(), .nseg = sys.nseg.data(), .lseg = sys.lseg,
            .iseg = sys.iseg.data(), .wseg = sys.wseg.data(), .kij = sys.kij.data(), .lij = sys.lij.data(),
            .rho = &rho, .lwork = static_cast<std::int64_t>(work.size()), .work = work.data()};
}

TEST(PcsafCore, EqualsThePlainPcsaftCoreWithoutAssociationAndDipoles) {
    constexpr AssocFluid kSegment{"STY", 104.152, 1.97889, 4.1072, 267.0, kNone, kNone, 0, kNone, kNone};
    PcsafSystem sys;
    const auto hx = sys.add(kHexane0), tol = sys.add(kToluene0), c1 = sys.add(kMethane0);
    const auto sty = sys.add_segment(kSegment);
    const auto ps = sys.add_polymer("PS", kSegment.mw, {{sty, 50000.0}});
    sys.m[ps - 1] = 0.019 * 50000.0;
    sys.set_kij(hx, tol, {0.012, 0, 0, 0, 0, 0});
    sys.set_kij(sty, tol, {-0.004, 0, 0, 0, 0, 0});
    PcsafCall c;
    c.idx = {tol, ps, c1, hx};
    c.z = {0.5, 0.2, 0.1, 0.2};
    c.t = 330.0;
    std::vector<double> work;
    std::int64_t status = 0;
    double rho = 0.0;
    const pcsaf::Arguments a = arguments(sys, c, work, status, rho);
    const host::Host host = *host::Host::current();
    pcsaf::Model model;
    ASSERT_EQ(pcsaf::build_model(host, a, true, model).outcome, pcsaf::BuildOutcome::ok);
    pcsaf::set_temperature(host, model, c.t, true);

    // The plain core sees the polymer as one molecule with its segment's diameter and energy.
    const std::int64_t nc = sys.nc(), n = a.n;
    std::vector<double> sigma = sys.sigma, eps = sys.eps, m = sys.m, eps_matrix(nc * nc, 0.0);
    sigma[ps - 1] = kSegment.sigma;
    eps[ps - 1] = kSegment.eps;
    auto kij = [&](std::int64_t i, std::int64_t j) {
        const std::int64_t si = i == ps ? sty : i, sj = j == ps ? sty : j;
        return sys.kij[((sj - 1) * nc + (si - 1)) * 6];
    };
    for (std::int64_t i = 1; i <= nc; ++i)
        for (std::int64_t j = 1; j <= nc; ++j) {
            const double plain = std::sqrt(eps[i - 1] * eps[j - 1]);
            eps_matrix[(j - 1) * nc + i - 1] = i == j ? eps[i - 1] : (kij(i, j) != 0.0 ? (1.0 - kij(i, j)) * plain : plain);
        }
    std::vector<double> vectors(6 * n), dadx(n);
    const pcsaft::PositionVectors pos{&vectors[0], &vectors[n], &vectors[2 * n], &vectors[3 * n], &vectors[4 * n],
                                      &vectors[5 * n]};
    for (double density : {1e-4, 0.8, 5.0, 9.5}) {
        SCOPED_TRACE(density);
        const pcsaft::ResidualValues plain =
            pcsaft::residual(c.t, density, nc, n, c.idx.data(), model.x, {true, true, true, true}, dadx.data(),
                             m.data(), sigma.data(), eps.data(), eps_matrix.data(), pos);
        const pcsaf::ResidualValues mine = pcsaf::residual(host, model, density, {true, true, true});
        EXPECT_EQ(mine.a, plain.a);
        EXPECT_EQ(mine.a_rho, plain.a_rho);
        EXPECT_EQ(mine.a_rhorho, plain.a_rhorho);
        EXPECT_EQ(mine.a_t, plain.a_t);
        for (std::int64_t k = 0; k < n; ++k) EXPECT_EQ(model.dadx[k], dadx[k]) << k;
    }
}

// The dipolar term of a pure polar fluid against the Jog-Chapman form in SI units (Gaussian μ²,
// CODATA constants): the monitor's units agree to the difference of the constants (~1e-5).
TEST(PcsafCore, DipolarTermInSiUnits) {
    const double t = 300.0, rho = 12.0, z3 = 0.03, m = 2.7447, xp = 0.4, mu = 2.88, sigma = 3.2742;
    std::int64_t position = 0;
    double weight = m * xp, mu2 = mu * mu, sig = sigma, row2 = 0, row3 = 0, x = 1.0;
    const pcsaf::DipolarSpecies sp{1, &position, &weight, &mu2, &sig, &row2, &row3};
    const pcsaf::DipolarSums sums = pcsaf::dipolar_sums(sp, &x, t, 8314.462618, 1, nullptr, nullptr);
    const double a = pcsaf::dipolar_term(sums, rho, z3, t, 0.0, false).a;

    const double pi = 3.141592653589793, k = 1.380649e-23, na = 6.02214076e26;
    const double mu_si2 = std::pow(mu * 3.33564e-30, 2) / (4.0 * pi * 8.8541878128e-12);  // J m3
    const double rho_n = rho * na, s = sigma * 1e-10, w = m * xp, eta = z3 * rho;
    const double rs = 6.0 / pi * eta;
    const double i2 = (1 - 0.3618 * rs - 0.3205 * rs * rs + 0.1078 * rs * rs * rs) / std::pow(1 - 0.5236 * rs, 2);
    const double i3 = (1 + 0.62378 * rs - 0.11658 * rs * rs) / (1 - 0.59056 * rs + 0.20059 * rs * rs);
    const double a2 = -2.0 * pi / 9.0 * rho_n / (k * k * t * t) * w * w * mu_si2 * mu_si2 / (s * s * s) * i2;
    const double a3 = 5.0 * pi * pi / 162.0 * rho_n * rho_n / std::pow(k * t, 3) * std::pow(w * mu_si2, 3) /
                      (s * s * s) * i3;
    EXPECT_NEAR(a / (a2 / (1.0 - a3 / a2)), 1.0, 1e-4);
    EXPECT_LT(a, -0.05);  // a sizeable term, not one scaled away
}

}  // namespace

// What a density search asks of the core (the density derivatives without the value) is the full core's
// ∂ã/∂ρ and ∂²ã/∂ρ² to the last bit, with association, dipoles, k_ij and a two-segment-type copolymer.
namespace {
// Illustrative segment components: a styrene-like unit and a hydroxyl-bearing 2B unit.
constexpr AssocFluid kStyreneUnit{"STYU", 104.152, 1.97889, 4.1072, 267.0, kNone, kNone, 0, kNone, kNone};
constexpr AssocFluid kHydroxylUnit{"OHU", 44.05, 1.20, 3.30, 250.0, 2300.0, 0.02, 2, kNone, kNone};
}  // namespace

TEST(PcsafCore, DensitySearchFormGivesTheFullCoresDerivatives) {
    struct Case {
        const char *name;
        PcsafCall (*make)(PcsafSystem &);
    };
    const Case cases[] = {
        {"water 4C + polar methanol", [](PcsafSystem &s) {
             PcsafCall c;
             c.idx = {s.add(kWater4C), s.add(kMethanol2B)};
             s.set_dipole(c.idx[1], 1.7, 0.3);
             c.z = {0.4, 0.6};
             return c;
         }},
        {"methanol + toluene with k_ij", [](PcsafSystem &s) {
             PcsafCall c;
             c.idx = {s.add(kMethanol2B), s.add(kToluene0)};
             s.set_kij(c.idx[0], c.idx[1], {0.02, 0, 0, 0, 0, 0});
             c.z = {0.3, 0.7};
             return c;
         }},
        {"copolymer in methanol", [](PcsafSystem &s) {
             const std::int64_t a = s.add_segment(kStyreneUnit), b = s.add_segment(kHydroxylUnit);
             PcsafCall c;
             c.idx = {s.add(kMethanol2B), s.add_polymer("COPOLY", kStyreneUnit.mw, {{a, 6000.0}, {b, 4000.0}})};
             c.z = {0.99, 0.01};
             return c;
         }},
    };
    for (const Case &cs : cases) {
        SCOPED_TRACE(cs.name);
        PcsafSystem sys;
        PcsafCall c = cs.make(sys);
        sys.host.install();
        std::vector<double> work;
        std::int64_t status = 0;
        double rho = 0.0;
        const pcsaf::Arguments a = arguments(sys, c, work, status, rho);
        const host::Host host = *host::Host::current();
        pcsaf::Model model;
        ASSERT_EQ(pcsaf::build_model(host, a, false, model).outcome, pcsaf::BuildOutcome::ok);
        pcsaf::set_temperature(host, model, c.t, false);
        pcsaf::ResidualNeeds search;
        search.value = false;
        for (double density : {1e-3, 2.0, 12.0, 25.0}) {
            SCOPED_TRACE(density);
            model.warm = false;
            const pcsaf::ResidualValues full = pcsaf::residual(host, model, density, pcsaf::ResidualNeeds{});
            model.warm = false;
            const pcsaf::ResidualValues derivatives = pcsaf::residual(host, model, density, search);
            ASSERT_FALSE(full.association_failed);
            EXPECT_EQ(derivatives.a_rho, full.a_rho);
            EXPECT_EQ(derivatives.a_rhorho, full.a_rhorho);
        }
    }
}
