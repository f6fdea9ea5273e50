// PC-SAFT as a model family: the same residual as the monitors' core, and
// every automatic derivative against complex steps, for a pure fluid, a
// ternary with k_ij and a polymer solution, in gas and liquid.
#include "model/families/pcsaft_family.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "complex_step.h"
#include "keld/model.hpp"
#include "model/derivatives.h"
#include "pcsaft/pcsaft_residual.h"

namespace keld::testing {
namespace {

struct System {
    std::string name;
    model::PcSaftParameters p;
    std::vector<double> x;
    double t, rho_gas, rho_liquid;
};

std::vector<System> systems() {
    return {
        {"n-hexane", {{3.0576}, {3.7983}, {236.77}, {}, {}}, {1.0}, 300.0, 0.05, 7.5},
        {"methane, n-hexane, propane with k_ij",
         {{1.0, 3.0576, 2.0020}, {3.7039, 3.7983, 3.6184}, {150.03, 236.77, 208.11},
          {0.0, 0.03, 0.01, 0.03, 0.0, -0.012, 0.01, -0.012, 0.0}, {}},
         {0.3, 0.5, 0.2},
         350.0,
         0.2,
         8.0},
        // A cross energy through a k_ij that follows every term of the temperature table.
        {"toluene and n-hexane with k_ij(T)",
         {{2.8149, 3.0576},
          {3.7169, 3.7983},
          {285.69, 236.77},
          {},
          {{},
           {{1.0, std::sqrt(285.69 * 236.77), {0.01, 0.02, 0.005, 0.001, 0.0002, 300.0}}},
           {{1.0, std::sqrt(285.69 * 236.77), {0.01, 0.02, 0.005, 0.001, 0.0002, 300.0}}},
           {}}},
         {0.4, 0.6},
         330.0,
         0.05,
         8.0},
        {"polystyrene (m = 2000) in cyclohexane",
         {{2000.0, 2.5303}, {4.152, 3.8499}, {348.2, 278.11}, {0.0, 0.0081, 0.0081, 0.0}, {}},
         {0.0005, 0.9995},
         300.0,
         0.01,
         8.4},
    };
}

// The monitors' core at the same state (cross energies (1 - k_ij) sqrt(eps_i eps_j)).
pcsaft::ResidualValues monitor_core(const System &s, double rho, std::vector<double> &dadx) {
    const std::size_t n = s.x.size();
    std::vector<std::int64_t> idx(n);
    std::iota(idx.begin(), idx.end(), 1);
    std::vector<double> eps_matrix(n * n);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i)
            eps_matrix[j * n + i] =
                (1.0 - (s.p.kij.empty() ? 0.0 : s.p.kij[i * n + j])) * std::sqrt(s.p.eps[i] * s.p.eps[j]);
    std::vector<double> d(n), m(n), md(n), md2(n), md3(n), chain(n);
    dadx.assign(n, 0.0);
    const pcsaft::ResidualSwitches all{true, true, true, true};
    return pcsaft::residual(s.t, rho, static_cast<std::int64_t>(n), static_cast<std::int64_t>(n), idx.data(),
                            s.x.data(), all, dadx.data(), s.p.m.data(), s.p.sigma.data(), s.p.eps.data(),
                            eps_matrix.data(), {d.data(), m.data(), md.data(), md2.data(), md3.data(), chain.data()});
}

void expect_close(double a, double b, double relative, const char *what) {
    EXPECT_NEAR(a, b, relative * std::max(std::fabs(b), 1e-300)) << what;
}

TEST(PcSaftFamily, SameResidualAsTheMonitorsCore) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        if (!s.p.cross.empty()) continue;  // the core takes constant cross energies
        const model::PcSaftFamily f(s.p);
        for (double rho : {s.rho_gas, s.rho_liquid}) {
            std::vector<double> dadx;
            const pcsaft::ResidualValues core = monitor_core(s, rho, dadx);
            const auto r = model::t_rho_derivatives(*model::pcsaft_residual(s.p), s.t, rho, s.x);
            expect_close(r.a, core.a, 1e-14, "a");
            expect_close(r.a_rho, core.a_rho, 1e-13, "a_rho");
            expect_close(r.a_rhorho, core.a_rhorho, 1e-12, "a_rhorho");
            expect_close(r.a_t, core.a_t, 1e-12, "a_t");
        }
    }
}

TEST(PcSaftFamily, DerivativesEqualComplexSteps) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const model::PcSaftFamily f(s.p);
        const auto residual = model::pcsaft_residual(s.p);
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

            // The critical-point table: rho derivatives to fourth order, and each along T by a complex step.
            if (s.p.cross.empty()) {
                std::vector<PcSaftComponent> components;
                for (std::size_t k = 0; k < s.x.size(); ++k)
                    components.push_back({"c", 100.0, s.p.m[k], s.p.sigma[k], s.p.eps[k]});
                const Model m = Model::pcsaft(components, s.p.kij);
                const AlpharDerivativeTable table = m.derivative_table(s.t, rho, s.x);
                using TC = ad::Taylor<C, 4>;
                std::vector<TC> xs(s.x.begin(), s.x.end());
                const TC stepped = f.alphar(TC(C(s.t, kStep)), TC::variable(C(rho)), xs.data());
                const TC plain = f.alphar(TC(C(s.t)), TC::variable(C(rho)), xs.data());
                for (int j = 0; j <= 4; ++j) {
                    expect_close(table.a[0][j], plain.derivative(j).real(), 1e-13, "a_rho^j");
                    expect_close(table.a[1][j], stepped.derivative(j).imag() / kStep, 1e-10, "a_t rho^j");
                }
                expect_close(table.a[0][3], ad.a_rhorhorho, 1e-13, "table against the jet");
            }

            // Amounts: the same state as n = x kmol in V = 1/rho m3.
            const double v = 1.0 / rho;
            const auto an = model::amount_derivatives(*residual, s.t, v, s.x, {true, true, true, true});
            const auto cn = complex_step_amounts(f, s.t, v, s.x);
            const std::size_t n = s.x.size();
            for (std::size_t i = 0; i < n; ++i) {
                expect_close(an.gradient[i], cn.gradient[i], 1e-12, "gradient");
                expect_close(an.d_v[i], cn.d_v[i], 1e-10, "d_v");
                expect_close(an.d_t[i], cn.d_t[i], 1e-10, "d_t");
                for (std::size_t j = 0; j < n; ++j) {
                    const double scale = std::sqrt(std::fabs(cn.hessian[i * n + i] * cn.hessian[j * n + j]));
                    EXPECT_NEAR(an.hessian[i * n + j], cn.hessian[i * n + j], 1e-10 * scale) << i << j;
                    EXPECT_EQ(an.hessian[i * n + j], an.hessian[j * n + i]);
                }
                // Psi_i is homogeneous of degree 0 in (n, V): sum_j n_j Psi_ij + V Psi_iV = 0.
                double euler = v * an.d_v[i], size = std::fabs(v * an.d_v[i]);
                for (std::size_t j = 0; j < n; ++j) {
                    euler += s.x[j] * an.hessian[i * n + j];
                    size += std::fabs(s.x[j] * an.hessian[i * n + j]);
                }
                EXPECT_NEAR(euler, 0.0, 1e-12 * size);
            }
        }
    }
}

}  // namespace
}  // namespace keld::testing
