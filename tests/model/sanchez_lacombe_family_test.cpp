// The Sanchez-Lacombe lattice fluid as a model family: the same residual as the monitors' core,
// every automatic derivative against complex steps, the empty and the filled lattice, and the model
// at its density root against KELD_ESSLP, for a pure fluid, mixtures with k_ij and eta_ij and a
// polymer solution.
#include "model/families/sanchez_lacombe_family.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "complex_step.h"
#include "model/derivatives.h"
#include "monitor_agreement.h"
#include "sanchez_lacombe/sl_residual.h"
#include "support/pcsaft_systems.h"

namespace keld::testing {
namespace {

constexpr double kMwn = 1e5;  // of the polystyrene

// T* (K), P* (Pa), rho* (kg/m3), MW (kg/kmol).
struct SlComponent {
    SlFluid f;
    double mw;
};
const SlComponent kHexane{kHexaneSl, 86.177}, kToluene{kTolueneSl, 92.141},
    kPolystyrene{kPolystyreneSl, kMwn};
const SlComponent kMethane{{215.0, 250.0e6, 500.0}, 16.043};

model::SanchezLacombeParameters parameters(const std::vector<SlComponent> &components,
                                           std::vector<double> kij = {}, std::vector<double> eta = {}) {
    model::SanchezLacombeParameters p;
    for (const SlComponent &c : components) {
        p.t_star.push_back(c.f.t_star);
        p.p_star.push_back(c.f.p_star);
        p.rho_star.push_back(c.f.rho_star);
        p.mw.push_back(c.mw);
    }
    p.kij = std::move(kij);
    p.eta = std::move(eta);
    return p;
}

struct System {
    std::string name;
    model::SanchezLacombeParameters p;
    std::vector<double> x;
    double t, rho_gas, rho_liquid;
};

std::vector<System> systems() {
    return {
        {"n-hexane", parameters({kHexane}), {1.0}, 300.0, 0.27, 7.4},
        {"methane, n-hexane, toluene with k_ij and eta_ij",
         parameters({kMethane, kHexane, kToluene}, {0, 0.03, 0.05, 0.03, 0, -0.01, 0.05, -0.01, 0},
                    {0, 0.02, -0.03, 0.02, 0, 0.01, -0.03, 0.01, 0}),
         {0.3, 0.5, 0.2},
         330.0,
         0.4,
         7.5},
        {"polystyrene (Mn 1e5) in toluene with k_ij",
         parameters({kPolystyrene, kToluene}, {0, 0.01, 0.01, 0}),
         {0.0005, 0.9995},
         400.0,
         0.2,
         6.5},
    };
}

// Segment numbers and cross matrices (column-major) written out from the published rules.
struct Lattice {
    std::vector<double> r, eps, v;
};

Lattice lattice(const System &s) {
    const std::size_t n = s.x.size();
    Lattice l{std::vector<double>(n), std::vector<double>(n * n), std::vector<double>(n * n)};
    const auto &p = s.p;
    for (std::size_t i = 0; i < n; ++i)
        l.r[i] = p.mw[i] * p.p_star[i] / (kGasConstant * p.t_star[i] * p.rho_star[i]);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i) {
            const double k = p.kij.empty() ? 0.0 : p.kij[i * n + j],
                         e = p.eta.empty() ? 0.0 : p.eta[i * n + j];
            l.eps[j * n + i] = (1.0 - k) * kGasConstant * std::sqrt(p.t_star[i] * p.t_star[j]);
            l.v[j * n + i] =
                (1.0 - e) * 0.5 * kGasConstant * (p.t_star[i] / p.p_star[i] + p.t_star[j] / p.p_star[j]);
        }
    return l;
}

// The monitors' core at the same state.
struct Core {
    sanchez_lacombe::ResidualValues a;
    std::vector<double> m;  // da/dx_k
};

Core monitor_core(const System &s, double rho) {
    const std::size_t n = s.x.size();
    std::vector<std::int64_t> idx(n);
    std::iota(idx.begin(), idx.end(), 1);
    const Lattice l = lattice(s);
    const sanchez_lacombe::Mixture mix{kGasConstant,
                                       static_cast<std::int64_t>(n),
                                       static_cast<std::int64_t>(n),
                                       idx.data(),
                                       s.x.data(),
                                       l.r.data(),
                                       l.eps.data(),
                                       l.v.data()};
    Core c;
    c.m.resize(n);
    c.a = sanchez_lacombe::residual(mix, s.t, rho, {true, true, true}, c.m.data());
    return c;
}

void expect_close(double a, double b, double relative, const char *what) {
    EXPECT_NEAR(a, b, relative * std::max(std::fabs(b), 1e-300)) << what;
}

TEST(SanchezLacombeFamily, SameResidualAsTheMonitorsCore) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const auto residual = model::sanchez_lacombe_residual(s.p);
        for (double rho : {s.rho_gas, s.rho_liquid}) {
            SCOPED_TRACE(rho);
            const Core core = monitor_core(s, rho);
            const auto r = model::t_rho_derivatives(*residual, s.t, rho, s.x);
            expect_close(r.a, core.a.a, 1e-13, "a");
            expect_close(r.a_rho, core.a.a_rho, 1e-13, "a_rho");
            expect_close(r.a_rhorho, core.a.a_rhorho, 1e-12, "a_rhorho");
            expect_close(r.a_t, core.a.a_t, 1e-12, "a_t");
            // dPsi/dn_i = a + rho a_rho + da/dx_i - sum_k x_k da/dx_k for one kmol in 1/rho m3.
            const auto an = model::amount_derivatives(*residual, s.t, 1.0 / rho, s.x);
            const double mean = std::inner_product(s.x.begin(), s.x.end(), core.m.begin(), 0.0);
            for (std::size_t i = 0; i < s.x.size(); ++i) {
                const double size = std::fabs(core.a.a) + std::fabs(rho * core.a.a_rho) +
                                    std::fabs(core.m[i]) + std::fabs(mean);
                EXPECT_NEAR(an.gradient[i], core.a.a + rho * core.a.a_rho + core.m[i] - mean, 1e-13 * size)
                    << i;
            }
        }
    }
}

TEST(SanchezLacombeFamily, DerivativesEqualComplexSteps) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const model::SanchezLacombeFamily f(s.p);
        const auto residual = model::sanchez_lacombe_residual(s.p);
        for (double rho : {s.rho_gas, s.rho_liquid}) {
            SCOPED_TRACE(rho);
            const auto ad = model::t_rho_derivatives(*residual, s.t, rho, s.x);
            const auto cs = complex_step_t_rho(f, s.t, rho, s.x);
            expect_close(ad.a_t, cs.a_t, 1e-12, "a_t");
            expect_close(ad.a_rho, cs.a_rho, 1e-12, "a_rho");
            expect_close(ad.a_tt, cs.a_tt, 1e-11, "a_tt");
            expect_close(ad.a_trho, cs.a_trho, 1e-11, "a_trho");
            expect_close(ad.a_rhorho, cs.a_rhorho, 1e-11, "a_rhorho");
            expect_close(ad.a_rhorhorho, cs.a_rhorhorho, 1e-10, "a_rhorhorho");

            const double v = 1.0 / rho;
            const auto an = model::amount_derivatives(*residual, s.t, v, s.x, {true, true, true, true});
            const auto cn = complex_step_amounts(f, s.t, v, s.x);
            const std::size_t n = s.x.size();
            for (std::size_t i = 0; i < n; ++i) {
                expect_close(an.gradient[i], cn.gradient[i], 1e-12, "gradient");
                expect_close(an.d_v[i], cn.d_v[i], 1e-10, "d_v");
                expect_close(an.d_t[i], cn.d_t[i], 1e-10, "d_t");
                double euler = v * an.d_v[i], size = std::fabs(v * an.d_v[i]);
                for (std::size_t j = 0; j < n; ++j) {
                    const double scale = std::sqrt(std::fabs(cn.hessian[i * n + i] * cn.hessian[j * n + j]));
                    EXPECT_NEAR(an.hessian[i * n + j], cn.hessian[i * n + j], 1e-10 * scale) << i << j;
                    EXPECT_EQ(an.hessian[i * n + j], an.hessian[j * n + i]);
                    euler += s.x[j] * an.hessian[i * n + j];
                    size += std::fabs(s.x[j] * an.hessian[i * n + j]);
                }
                // Psi_i is homogeneous of degree 0 in (n, V): sum_j n_j Psi_ij + V Psi_iV = 0.
                EXPECT_NEAR(euler, 0.0, 1e-12 * size);
            }
        }
    }
}

// On the empty lattice a = r (rho~/2 - rho~/T~ + rho~^2/6 + rho~^3/12 + ...) with rho~ = r v* rho:
// the second and third virial coefficients in closed form, and the limit of the values nearby.
TEST(SanchezLacombeFamily, EmptyLatticeGivesTheVirialCoefficients) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const model::SanchezLacombeFamily f(s.p);
        const Model m("sanchez_lacombe", std::vector<ModelComponent>(s.x.size(), {"", 1.0, 1.0}),
                      model::sanchez_lacombe_residual(s.p));
        // r_bar, v* and eps* by segment fractions phi_i = x_i r_i / r_bar.
        const Lattice l = lattice(s);
        const std::size_t n = s.x.size();
        const double r_bar = std::inner_product(s.x.begin(), s.x.end(), l.r.begin(), 0.0);
        double v_star = 0.0, eps_v = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j) {
                const double phi2 = s.x[i] * l.r[i] * s.x[j] * l.r[j] / (r_bar * r_bar);
                v_star += phi2 * l.v[j * n + i];
                eps_v += phi2 * l.v[j * n + i] * l.eps[j * n + i];
            }
        const double rv = r_bar * v_star, t_red = kGasConstant * s.t * v_star / eps_v;
        EXPECT_NEAR(f.max_density(s.t, s.x.data()) * rv, 1.0, 1e-14);
        const AlpharDerivatives d = m.derivatives(s.t, 0.0, s.x);
        EXPECT_EQ(d.a, 0.0);
        expect_close(d.a_rho, r_bar * rv * (0.5 - 1.0 / t_red), 1e-13, "B");
        expect_close(d.a_rhorho, r_bar * rv * rv / 3.0, 1e-13, "C");
        expect_close(d.a_rhorhorho, r_bar * rv * rv * rv / 2.0, 1e-13, "third");
        expect_close(d.a_trho, r_bar * rv / (t_red * s.t), 1e-13, "dB/dT");
        EXPECT_EQ(d.a_t, 0.0);
        // Continuous into the occupied lattice.
        const AlpharDerivatives near = m.derivatives(s.t, 1e-7 / rv, s.x);
        expect_close(near.a_rho, d.a_rho, 1e-6, "B nearby");
        expect_close(near.a_rhorho, d.a_rhorho, 1e-3, "C nearby");
    }
}

TEST(SanchezLacombeFamily, EndsAtTheFilledLatticeAndRefusesWhatIsNoFluid) {
    const model::SanchezLacombeFamily f(parameters({kHexane}));
    const double one = 1.0;
    // rho~ = r v* rho = 1: rho = rho* / MW.
    EXPECT_NEAR(f.max_density(300.0, &one) / (kHexaneSl.rho_star / kHexane.mw), 1.0, 1e-14);
    EXPECT_NEAR(f.segment_numbers()[0], 86.177 * 298.0e6 / (kGasConstant * 476.0 * 775.0), 1e-13);
    for (double SlFluid::*field : {&SlFluid::t_star, &SlFluid::p_star, &SlFluid::rho_star}) {
        SlComponent bad = kHexane;
        bad.f.*field = -1.0;
        EXPECT_THROW(model::SanchezLacombeFamily{parameters({bad})}, std::invalid_argument);
    }
    EXPECT_THROW(model::SanchezLacombeFamily{parameters({kHexane, kToluene}, {0.0, 0.1, 0.1})},
                 std::invalid_argument);
}

// The model from plain parameters at the root of its own P(rho) equals KELD_ESSLP at (T, P).
TEST(SanchezLacombeAtTheRoot, EqualsKeldEsslp) {
    refhost::ReferenceHost host;
    const std::int64_t c1 = host.add_component("C1", refhost::ComponentKind::ordinary, kMethane.mw),
                       c6 = host.add_component("NC6", refhost::ComponentKind::ordinary, kHexane.mw),
                       tol = host.add_component("TOLUENE", refhost::ComponentKind::ordinary, kToluene.mw),
                       ps = host.add_polymer("PS", refhost::ComponentKind::polymer, 104.152, kMwn);
    set_sl_parameters(host, c1, kMethane.f);
    set_sl_parameters(host, c6, kHexane.f);
    set_sl_parameters(host, tol, kToluene.f);
    set_sl_parameters(host, ps, kPolystyrene.f);  // its own parameters, no segment average
    host.install();
    const std::int64_t nds = 1;
    KELD_ESPSLI(&nds);
    auto component = [&](std::int64_t i) {
        const SlComponent &c = i == c1 ? kMethane : i == c6 ? kHexane : i == tol ? kToluene : kPolystyrene;
        return SanchezLacombeComponent{"",         c.mw,         c.f.t_star,
                                       c.f.p_star, c.f.rho_star, i == ps ? 104.152 : c.mw};
    };
    struct Case {
        const char *name;
        double t, p;
        std::int64_t kvl;
        std::vector<std::int64_t> idx;
        std::vector<double> z;  // apparent (styrene units for the polymer)
        double kij, eta;        // of the two listed components
    };
    const double w = 0.3 / 104.152, wt = 0.7 / kToluene.mw;
    const std::vector<Case> cases{
        {"n-hexane liquid", 300.0, 1e5, 2, {c6}, {1.0}, 0, 0},
        {"n-hexane vapour", 300.0, 1e4, 1, {c6}, {1.0}, 0, 0},
        {"methane + n-hexane vapour, k_ij", 320.0, 2e6, 1, {c1, c6}, {0.9, 0.1}, 0.03, 0},
        {"n-hexane + toluene liquid, k_ij and eta_ij", 330.0, 5e6, 2, {c6, tol}, {0.35, 0.65}, -0.01, 0.02},
        {"polystyrene in toluene", 400.0, 1e5, 2, {ps, tol}, {w / (w + wt), wt / (w + wt)}, 0.01, 0.005},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<SanchezLacombeComponent> components;
        for (std::int64_t i : c.idx) components.push_back(component(i));
        std::vector<double> kij, eta;
        if (c.idx.size() == 2) {
            kij = {0.0, c.kij, c.kij, 0.0};
            eta = {0.0, c.eta, c.eta, 0.0};
            for (auto [i, j] : {std::pair{c.idx[0], c.idx[1]}, std::pair{c.idx[1], c.idx[0]}}) {
                host.set_binary("SLKIJ", i, j, c.kij);
                host.set_binary("SLETIJ", i, j, c.eta);
            }
        }
        const MonitorResult r = call_monitor(KELD_ESSLP, c.t, c.p, c.z, c.idx, CallOptions{c.kvl});
        expect_model_equals_monitor(Model::sanchez_lacombe(components, kij, eta), c.t, c.p, c.z, c.kvl, r);
    }
}

}  // namespace
}  // namespace keld::testing
