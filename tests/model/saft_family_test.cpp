// The SAFT of Huang and Radosz as a model family: the same residual as the monitors' core, every
// automatic derivative against complex steps, and the model at its density root against
// KELD_ESSAFT and KELD_PSAFM1, for a pure fluid, mixtures with k_ij and l_ij and a polymer solution.
#include "model/families/saft_family.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "complex_step.h"
#include "model/derivatives.h"
#include "monitor_agreement.h"
#include "saft/saft_residual.h"
#include "support/saft_systems.h"

namespace keld::testing {
namespace {

constexpr double kMwn = 1e5;  // of the polystyrene

struct System {
    std::string name;
    model::SaftParameters p;   // k_ij and l_ij as the pair's upper element only
    std::vector<double> k, l;  // the same as full symmetric matrices, for the monitors' core
    std::vector<double> x;
    double t, rho_gas, rho_liquid;
};

model::SaftParameters parameters(const std::vector<SaftFluid> &fluids) {
    model::SaftParameters p;
    for (const SaftFluid &f : fluids) {
        p.m.push_back(f.m);
        p.v00.push_back(f.v00);
        p.u0.push_back(f.u0);
        p.e.push_back(f.e);
    }
    return p;
}

// Upper triangle of a symmetric N x N matrix, the lower left 0: the monitors take the one order given.
std::vector<double> upper(const std::vector<double> &full, std::size_t n) {
    std::vector<double> u(full.size(), 0.0);
    if (full.empty()) return u;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) u[i * n + j] = full[i * n + j];
    return u;
}

const SaftFluid kPolystyreneHr{"PS",         kMwn, kMwn *kStyreneHr.r, kStyreneHr.v00, kStyreneHr.u0,
                               kStyreneHr.e, 0.0};

std::vector<System> systems() {
    std::vector<System> s{
        {"n-hexane", parameters({kHexaneHr}), {}, {}, {1.0}, 300.0, 0.05, 7.5},
        {"methane, n-hexane, toluene with k_ij and l_ij",
         parameters({kMethaneHr, kHexaneHr, kTolueneHr}),
         {0.0, 0.03, 0.05, 0.03, 0.0, -0.01, 0.05, -0.01, 0.0},
         {0.0, 0.02, -0.03, 0.02, 0.0, 0.01, -0.03, 0.01, 0.0},
         {0.3, 0.5, 0.2},
         350.0,
         0.2,
         7.0},
        {"polystyrene (Mn 1e5) in toluene with k_ij",
         parameters({kPolystyreneHr, kTolueneHr}),
         {0.0, 0.01, 0.01, 0.0},
         {},
         {0.0005, 0.9995},
         400.0,
         0.01,
         6.0},
    };
    for (System &sys : s) {
        sys.p.kij = upper(sys.k, sys.x.size());
        sys.p.lij = upper(sys.l, sys.x.size());
    }
    return s;
}

// The monitors' core at the same state, its cross matrices written here from the symmetric tables.
struct Core {
    saft::DensityDerivatives a;
    saft::TemperatureDerivatives at;
    std::vector<double> dadx;
    double mean;
};

Core monitor_core(const System &s, double rho) {
    const std::size_t n = s.x.size();
    std::vector<std::int64_t> idx(n);
    std::iota(idx.begin(), idx.end(), 1);
    std::vector<double> u0(n * n), m(n * n);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i) {
            u0[j * n + i] = (1.0 - (s.k.empty() ? 0.0 : s.k[i * n + j])) * std::sqrt(s.p.u0[i] * s.p.u0[j]);
            m[j * n + i] = (1.0 - (s.l.empty() ? 0.0 : s.l[i * n + j])) * 0.5 * (s.p.m[i] + s.p.m[j]);
        }
    const saft::Parameters par{s.p.m.data(),
                               s.p.v00.data(),
                               s.p.u0.data(),
                               s.p.e.data(),
                               u0.data(),
                               static_cast<std::int64_t>(n),
                               s.l.empty() ? nullptr : m.data()};
    std::vector<double> w(9 * n);
    const saft::PositionVectors pos{w.data(),         w.data() + n,     w.data() + 2 * n,
                                    w.data() + 3 * n, w.data() + 4 * n, w.data() + 5 * n,
                                    w.data() + 6 * n, w.data() + 7 * n, w.data() + 8 * n};
    const saft::Mixture mx =
        saft::mix(s.t, static_cast<std::int64_t>(n), idx.data(), s.x.data(), par, pos, 0.0);
    Core c;
    c.a = saft::residual(mx, rho);
    c.at = saft::temperature_derivatives(mx, rho);
    c.dadx.resize(n);
    c.mean = saft::composition_derivatives(mx, rho, c.dadx.data());
    return c;
}

void expect_close(double a, double b, double relative, const char *what) {
    EXPECT_NEAR(a, b, relative * std::max(std::fabs(b), 1e-300)) << what;
}

TEST(SaftFamily, SameResidualAsTheMonitorsCore) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const auto residual = model::saft_residual(s.p);
        for (double rho : {s.rho_gas, s.rho_liquid}) {
            SCOPED_TRACE(rho);
            const Core core = monitor_core(s, rho);
            const auto r = model::t_rho_derivatives(*residual, s.t, rho, s.x);
            expect_close(r.a, core.a.a, 1e-13, "a");
            expect_close(r.a_rho, core.a.a_rho, 1e-13, "a_rho");
            expect_close(r.a_rhorho, core.a.a_rhorho, 1e-12, "a_rhorho");
            expect_close(r.a_t, core.at.a_t, 1e-12, "a_t");
            expect_close(r.a_trho, core.at.a_rho_t, 1e-12, "a_trho");
            // dPsi/dn_i = a + rho a_rho + da/dx_i - sum_k x_k da/dx_k for one kmol in 1/rho m3.
            const auto an = model::amount_derivatives(*residual, s.t, 1.0 / rho, s.x);
            for (std::size_t i = 0; i < s.x.size(); ++i) {
                const double terms[] = {core.a.a, rho * core.a.a_rho, core.dadx[i], core.mean};
                const double size =
                    std::fabs(terms[0]) + std::fabs(terms[1]) + std::fabs(terms[2]) + std::fabs(terms[3]);
                EXPECT_NEAR(an.gradient[i], terms[0] + terms[1] + terms[2] - terms[3], 1e-13 * size) << i;
            }
        }
    }
}

TEST(SaftFamily, DerivativesEqualComplexSteps) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const model::SaftFamily f(s.p);
        const auto residual = model::saft_residual(s.p);
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

TEST(SaftFamily, EndsAtClosePackingAndRefusesWhatIsNoFluid) {
    const model::SaftFamily hexane(parameters({kHexaneHr}));
    const double one = 1.0;
    // (pi/6) rho m d^3 = 0.74048 at the densest state, d^3 = 6 tau v0 / pi.
    const double v0 = kHexaneHr.v00 * std::pow(1.0 - 0.12 * std::exp(-3.0 * kHexaneHr.u0 / 300.0), 3);
    EXPECT_NEAR(hexane.max_density(300.0, &one) * kHexaneHr.m * v0, 1.0, 1e-12);
    model::SaftParameters bad = parameters({kHexaneHr});
    bad.v00[0] = 0.0;
    EXPECT_THROW(model::SaftFamily{bad}, std::invalid_argument);
    bad = parameters({kHexaneHr, kTolueneHr});
    bad.lij = {0.0, 0.1};
    EXPECT_THROW(model::SaftFamily{bad}, std::invalid_argument);
}

// The model from plain parameters at the root of its own P(rho) equals the monitors at (T, P).
struct SaftAtTheRoot : ::testing::Test {
    refhost::ReferenceHost host;
    std::int64_t c1 = add_saft_fluid(host, kMethaneHr), c6 = add_saft_fluid(host, kHexaneHr),
                 tol = add_saft_fluid(host, kTolueneHr), sty = add_saft_segment(host, kStyreneHr),
                 ps = add_homopolymer(host, "PS", sty, kStyreneHr.mw, kMwn);
    SaftArguments args{host};
    SaftAtTheRoot() {
        // KELD_ESSAFT takes the polymer's parameters as given, KELD_PSAFM1 averages its segment's.
        args.m[ps - 1] = kMwn * kStyreneHr.r;
        args.v[ps - 1] = kStyreneHr.v00;
        args.u[ps - 1] = kStyreneHr.u0;
        args.e[ps - 1] = kStyreneHr.e;
        host.install();
    }
    SaftComponent component(std::int64_t i) const {
        const double mw = i == ps ? kMwn : args.mw[i - 1];
        return {"", mw, args.m[i - 1], args.v[i - 1], args.u[i - 1], args.e[i - 1], args.mw[i - 1]};
    }
};

TEST_F(SaftAtTheRoot, EqualsKeldEssaftAndPsafm1) {
    struct Case {
        const char *name;
        bool stored;  // KELD_PSAFM1 (no l_ij from the store) instead of KELD_ESSAFT
        double t, p;
        std::int64_t kvl;
        std::vector<std::int64_t> idx;
        std::vector<double> z;  // apparent (styrene units for the polymer)
        double kij, lij;        // of the first two listed components
    };
    const double w = 0.3 / kStyreneHr.mw, wt = 0.7 / kTolueneHr.mw;
    const std::vector<Case> cases{
        {"n-hexane liquid", false, 300.0, 1e5, 2, {c6}, {1.0}, 0, 0},
        {"n-hexane vapour", false, 300.0, 1e4, 1, {c6}, {1.0}, 0, 0},
        {"methane + n-hexane vapour, k_ij", false, 320.0, 2e6, 1, {c1, c6}, {0.9, 0.1}, 0.03, 0},
        {"n-hexane + toluene liquid, k_ij and l_ij",
         false,
         330.0,
         1e5,
         2,
         {c6, tol},
         {0.35, 0.65},
         -0.01,
         0.02},
        {"n-hexane + toluene liquid, k_ij, stored", true, 330.0, 5e6, 2, {c6, tol}, {0.35, 0.65}, -0.01, 0},
        {"polystyrene in toluene", false, 400.0, 1e5, 2, {ps, tol}, {w / (w + wt), wt / (w + wt)}, 0.01, 0},
        {"polystyrene in toluene, stored",
         true,
         400.0,
         1e5,
         2,
         {ps, tol},
         {w / (w + wt), wt / (w + wt)},
         0.01,
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<SaftComponent> components;
        for (std::int64_t i : c.idx) components.push_back(component(i));
        std::vector<double> kij, lij;
        if (c.idx.size() == 2) {
            kij = {0.0, c.kij, c.kij, 0.0};
            if (c.lij != 0.0) lij = {0.0, c.lij, c.lij, 0.0};
            args.set_kij(c.idx[0], c.idx[1], c.kij);
            args.set_lij(c.idx[0], c.idx[1], c.lij);
            const double k[1] = {c.kij};
            host.set_binary_coefficients("SFTKIJ", c.idx[0], c.idx[1], k);
            host.set_binary_coefficients("SFTKIJ", c.idx[1], c.idx[0], k);
        }
        const CallOptions options{c.kvl};
        const MonitorResult r = c.stored ? call_monitor(KELD_PSAFM1, c.t, c.p, c.z, c.idx, options)
                                         : args.call(host, c.t, c.p, c.z, c.idx, options);
        expect_model_equals_monitor(Model::saft(components, kij, lij), c.t, c.p, c.z, c.kvl, r);
    }
}

}  // namespace
}  // namespace keld::testing
