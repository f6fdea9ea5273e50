// PC-SAFT's exact derivatives by its aggregates (model/families/pcsaft_derivatives.cpp, pcsaft_amounts.cpp)
// against automatic differentiation through alphar (one pass per direction)
// and against complex steps: pure fluids, mixtures with k_ij and with a
// temperature-dependent k_ij, polymer solutions and ten components, in gas and
// liquid.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "complex_step.h"
#include "keld/model.hpp"
#include "model/derivatives.h"
#include "model/families/pcsaft_family.h"

namespace keld::testing {
namespace {

struct System {
    std::string name;
    model::PcSaftParameters p;
    std::vector<double> x;
    double t;
    std::vector<double> densities;  // kmol/m3
};

// n components from m = 1 up; beyond sixteen the evaluation buffers leave the stack.
model::PcSaftParameters many_components(int n) {
    model::PcSaftParameters p;
    for (int k = 0; k < n; ++k) {
        p.m.push_back(1.0 + 0.3 * k);  // the first has m = 1: no chain share
        p.sigma.push_back(3.6 + 0.02 * k);
        p.eps.push_back(200.0 + 8.0 * k);
    }
    p.kij.assign(static_cast<std::size_t>(n * n), 0.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (i != j) p.kij[i * n + j] = 0.002 * (i + j);
    return p;
}

std::vector<System> systems() {
    const model::BinaryTable k_of_t{0.01, 0.02, 0.005, 0.001, 0.0002, 300.0};
    const double e12 = std::sqrt(285.69 * 236.77);
    return {
        {"n-hexane", {{3.0576}, {3.7983}, {236.77}, {}, {}}, {1.0}, 300.0, {1e-3, 0.05, 7.5}},
        {"methane", {{1.0}, {3.7039}, {150.03}, {}, {}}, {1.0}, 200.0, {0.5, 20.0}},
        {"methane, n-hexane, propane with k_ij",
         {{1.0, 3.0576, 2.0020}, {3.7039, 3.7983, 3.6184}, {150.03, 236.77, 208.11},
          {0.0, 0.03, 0.01, 0.03, 0.0, -0.012, 0.01, -0.012, 0.0}, {}},
         {0.3, 0.5, 0.2},
         350.0,
         {0.2, 8.0}},
        {"toluene and n-hexane with k_ij(T)",
         {{2.8149, 3.0576}, {3.7169, 3.7983}, {285.69, 236.77}, {}, {{}, {{1.0, e12, k_of_t}}, {{1.0, e12, k_of_t}}, {}}},
         {0.4, 0.6},
         330.0,
         {0.05, 8.0}},
        {"polystyrene (m = 1900) in toluene",
         {{2.8149, 1900.0}, {3.7169, 4.1071}, {285.69, 267.0}, {0.0, 0.0081, 0.0081, 0.0}, {}},
         {0.9996, 0.0004},
         300.0,
         {0.01, 7.0}},
        {"ten components with k_ij", many_components(10), std::vector<double>(10, 0.1), 350.0, {0.1, 8.0}},
        {"twenty components with k_ij", many_components(20), std::vector<double>(20, 0.05), 350.0, {6.0}},
    };
}

// |a - b| within `relative` of the largest of |b| and `floor`.
void expect_close(double a, double b, double relative, double floor, const std::string &what) {
    EXPECT_NEAR(a, b, relative * std::max(std::fabs(b), floor)) << what;
}

void expect_same_t_rho(const AlpharDerivatives &a, const AlpharDerivatives &b, double tol, bool third) {
    expect_close(a.a, b.a, tol, 0.0, "a");
    expect_close(a.a_t, b.a_t, tol, 0.0, "a_t");
    expect_close(a.a_rho, b.a_rho, tol, 0.0, "a_rho");
    expect_close(a.a_tt, b.a_tt, tol, 0.0, "a_tt");
    expect_close(a.a_trho, b.a_trho, tol, 0.0, "a_trho");
    expect_close(a.a_rhorho, b.a_rhorho, tol, 0.0, "a_rhorho");
    if (third) expect_close(a.a_rhorhorho, b.a_rhorhorho, tol, 0.0, "a_rhorhorho");
}

// Hessian entries against the geometric mean of their diagonals (an off-diagonal entry may vanish),
// within hessian_tol: in a dense liquid its terms are a few hundred times the entry, and the two
// routes add them in different orders. psi when the reference has it (complex steps do not).
void expect_same_amounts(const AmountDerivatives &a, const AmountDerivatives &b, std::size_t n, double tol,
                         double hessian_tol, bool with_psi = true) {
    if (with_psi) expect_close(a.psi, b.psi, tol, 0.0, "psi");
    for (std::size_t i = 0; i < n; ++i) {
        expect_close(a.gradient[i], b.gradient[i], tol, 0.0, "gradient " + std::to_string(i));
        expect_close(a.d_v[i], b.d_v[i], tol, 0.0, "d_v " + std::to_string(i));
        expect_close(a.d_t[i], b.d_t[i], tol, 0.0, "d_t " + std::to_string(i));
        for (std::size_t j = 0; j < n; ++j) {
            const double scale = std::sqrt(std::fabs(b.hessian[i * n + i] * b.hessian[j * n + j]));
            EXPECT_NEAR(a.hessian[i * n + j], b.hessian[i * n + j], hessian_tol * scale) << "hessian " << i << ", " << j;
        }
    }
}

const AmountRequest kAll{true, true, true, true};

// The family's own routes, into vectors.
AmountDerivatives family_amounts(const model::PcSaftFamily &f, double t, double v, std::span<const double> n) {
    AmountDerivatives a;
    AmountDerivativeSpans out = model::spans_for(a, n.size(), kAll);
    f.amount_derivatives(t, v, n, out);
    a.psi = out.psi;
    return a;
}

SecondDerivatives family_second(const model::PcSaftFamily &f, double t, double rho, std::span<const double> n) {
    SecondDerivatives r;
    AmountDerivativeSpans out = model::spans_for(r.amounts, n.size(), kAll);
    f.second_derivatives(t, rho, n, r.t_rho, out);
    r.amounts.psi = out.psi;
    return r;
}

TEST(PcSaftDerivatives, EqualAutomaticDifferentiationThroughAlphar) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const model::PcSaftFamily f(s.p);
        const auto generic = model::make_residual(f);
        for (double rho : s.densities) {
            SCOPED_TRACE(rho);
            expect_same_t_rho(f.derivatives(s.t, rho, s.x.data(), true),
                              model::t_rho_derivatives(*generic, s.t, rho, s.x, true), 1e-13, true);
            expect_close(f.temperature_slope(s.t, rho, s.x.data()),
                         generic->Residual::temperature_slope(s.t, rho, s.x.data()), 1e-13, 0.0, "temperature slope");
            // The amounts of one kmol in 1/rho and of a tenth of that in a tenth of the volume.
            for (double scale : {1.0, 0.1}) {
                std::vector<double> n(s.x);
                for (double &value : n) value *= scale;
                const double v = scale / rho;
                expect_same_amounts(family_amounts(f, s.t, v, n),
                                    model::amount_derivatives(*generic, s.t, v, n, kAll), s.x.size(), 1e-13,
                                    5e-13);
            }
        }
    }
}

TEST(PcSaftDerivatives, EqualComplexSteps) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const model::PcSaftFamily f(s.p);
        const std::size_t n = s.x.size();
        for (double rho : s.densities) {
            SCOPED_TRACE(rho);
            const AlpharDerivatives reference = complex_step_t_rho(f, s.t, rho, s.x);
            expect_same_t_rho(f.derivatives(s.t, rho, s.x.data(), true), reference, 1e-10, true);
            expect_close(f.temperature_slope(s.t, rho, s.x.data()), reference.a_t, 1e-10, 0.0, "temperature slope");
            const double v = 1.0 / rho;
            expect_same_amounts(family_amounts(f, s.t, v, s.x), complex_step_amounts(f, s.t, v, s.x), n,
                                1e-10, 1e-10, false);
            // The single call forms its T row its own way (from the amount stage for a mixture).
            expect_same_t_rho(family_second(f, s.t, rho, s.x).t_rho, reference, 1e-10, false);
        }
    }
}

TEST(PcSaftDerivatives, IdentitiesOfTheAmountDerivatives) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const model::PcSaftFamily f(s.p);
        const std::size_t n = s.x.size();
        for (double rho : s.densities) {
            SCOPED_TRACE(rho);
            const double v = 1.0 / rho;
            const AmountDerivatives a = family_amounts(f, s.t, v, s.x);
            for (std::size_t i = 0; i < n; ++i) {
                // Psi_i is homogeneous of degree 0 in (n, V): sum_j n_j Psi_ij + V Psi_iV = 0.
                double euler = v * a.d_v[i], size = std::fabs(v * a.d_v[i]);
                for (std::size_t j = 0; j < n; ++j) {
                    euler += s.x[j] * a.hessian[i * n + j];
                    size += std::fabs(s.x[j] * a.hessian[i * n + j]);
                    EXPECT_EQ(a.hessian[i * n + j], a.hessian[j * n + i]);
                }
                EXPECT_NEAR(euler, 0.0, 1e-12 * size) << i;
            }
            // Psi is homogeneous of degree 1: sum_i n_i Psi_i + V Psi_V = Psi, with
            // Psi_V = -rho^2 a_rho / rho... = -N rho a_rho / V.
            const AlpharDerivatives d = f.derivatives(s.t, rho, s.x.data(), false);
            double sum = -rho * d.a_rho;  // V Psi_V with N = 1
            for (std::size_t i = 0; i < n; ++i) sum += s.x[i] * a.gradient[i];
            EXPECT_NEAR(sum, a.psi, 1e-13 * (std::fabs(a.psi) + std::fabs(rho * d.a_rho)));
        }
    }
}

// A density search's line along the isotherm forms the rho-independent pieces once: at every density,
// in any order, it gives density_slopes() bit for bit, and so do its derivatives alone (the root then
// matches the pressure the properties report), on every system including those whose buffers leave
// the stack.
TEST(PcSaftDerivatives, DensityLineGivesTheSlopesAtEachDensity) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const auto residual = model::pcsaft_residual(s.p);
        const std::unique_ptr<model::DensityLine> line = residual->density_line(s.t, s.x.data());
        std::vector<double> order = s.densities;
        order.insert(order.end(), s.densities.rbegin(), s.densities.rend());
        for (double rho : order) {
            const model::DensitySlopes own = residual->density_slopes(s.t, rho, s.x.data()), along = line->at(rho);
            EXPECT_EQ(along.a, own.a) << rho;
            EXPECT_EQ(along.a_rho, own.a_rho) << rho;
            EXPECT_EQ(along.a_rhorho, own.a_rhorho) << rho;
            // The root's slopes without the value's logarithms: the same bits.
            const model::DensityDerivatives slopes = line->derivatives(rho);
            EXPECT_EQ(slopes.a_rho, own.a_rho) << rho;
            EXPECT_EQ(slopes.a_rhorho, own.a_rhorho) << rho;
        }
        EXPECT_EQ(line->max_density(), residual->max_density(s.t, s.x.data()));
        // A line at another temperature is another line.
        const double rho = s.densities.front();
        EXPECT_NE(residual->density_line(s.t + 10.0, s.x.data())->at(rho).a, line->at(rho).a);
    }
}

// The isotherm (diameters and pair weights formed once) gives the amount derivatives at its T, V = 1:
// in full, and d_v alone, which it forms as f_ww r without f_ww; psi and the gradient alone, formed
// without any curvature, are those of the full request bit for bit.
TEST(PcSaftDerivatives, IsothermGivesTheAmountDerivativesAtItsTemperature) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const auto residual = model::pcsaft_residual(s.p);
        const std::unique_ptr<model::AmountIsotherm> isotherm = residual->amount_isotherm(s.t);
        const std::size_t n = s.x.size();
        for (double rho : s.densities) {
            std::vector<double> r(n);
            for (std::size_t i = 0; i < n; ++i) r[i] = rho * s.x[i];
            const AmountDerivatives ref = residual->amount_derivatives(s.t, 1.0, r, {true, true, true, false});
            AmountDerivatives full;
            AmountDerivativeSpans out = model::spans_for(full, n, {true, true, true, false});
            isotherm->at(r, out);
            expect_close(out.psi, ref.psi, 1e-14, 0.0, "psi");
            std::vector<double> g(n), d_v(n);
            AmountDerivativeSpans line{0.0, g, {}, d_v, {}};
            isotherm->at(r, line);
            std::vector<double> g_alone(n);
            AmountDerivativeSpans alone{0.0, g_alone, {}, {}, {}};
            isotherm->at(r, alone);
            EXPECT_EQ(alone.psi, out.psi);
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_EQ(g_alone[i], full.gradient[i]) << "gradient without curvature " << i;
                expect_close(full.gradient[i], ref.gradient[i], 1e-14, 0.0, "gradient " + std::to_string(i));
                expect_close(g[i], ref.gradient[i], 1e-14, 0.0, "gradient alone " + std::to_string(i));
                // d_v sums terms of both signs: against the largest of them.
                double terms = 0.0;
                for (std::size_t j = 0; j < n; ++j) terms = std::max(terms, std::fabs(ref.hessian[i * n + j] * r[j]));
                EXPECT_NEAR(full.d_v[i], ref.d_v[i], 1e-13 * terms) << "d_v " << i;
                EXPECT_NEAR(d_v[i], ref.d_v[i], 1e-13 * terms) << "d_v alone " << i;
                for (std::size_t j = 0; j < n; ++j) {
                    const double scale = std::sqrt(std::fabs(ref.hessian[i * n + i] * ref.hessian[j * n + j]));
                    EXPECT_NEAR(full.hessian[i * n + j], ref.hessian[i * n + j], 1e-13 * scale) << i << ", " << j;
                }
            }
        }
    }
    // The generic route (a family without its own isotherm) evaluates at its T.
    const Model saft = Model::saft({{"HEXANE", 86.177, 4.724, 0.012454, 202.72, 10.0}});
    const std::vector<double> r{7.0};
    std::vector<double> g(1);
    AmountDerivativeSpans out{0.0, g, {}, {}, {}};
    saft.residual().amount_isotherm(320.0)->at(r, out);
    EXPECT_EQ(g[0], saft.residual().amount_derivatives(320.0, 1.0, r, {}).gradient[0]);
    EXPECT_NE(g[0], saft.residual().amount_derivatives(330.0, 1.0, r, {}).gradient[0]);
    const std::vector<double> x{1.0};
    EXPECT_EQ(saft.residual().amount_isotherm(320.0)->line(x.data())->at(7.0).a_rho,
              saft.residual().density_line(320.0, x.data())->at(7.0).a_rho);
}

// The isotherm's density line (diameters and pair weights from its stage) gives the residual's own
// line but for rounding, at every density and on every system, a pure fluid's bit for bit; its
// densest state is the residual's, bit for bit.
TEST(PcSaftDerivatives, IsothermsLineIsTheResidualsLine) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const auto residual = model::pcsaft_residual(s.p);
        const std::unique_ptr<model::DensityLine> own = residual->density_line(s.t, s.x.data());
        const std::unique_ptr<model::DensityLine> staged = residual->amount_isotherm(s.t)->line(s.x.data());
        for (double rho : s.densities) {
            SCOPED_TRACE(rho);
            const model::DensitySlopes a = own->at(rho), b = staged->at(rho);
            expect_close(b.a, a.a, 1e-13, 0.0, "a");
            expect_close(b.a_rho, a.a_rho, 1e-13, 0.0, "a_rho");
            expect_close(b.a_rhorho, a.a_rhorho, 1e-13, 0.0, "a_rhorho");
            if (s.x.size() == 1) {
                EXPECT_EQ(b.a_rho, a.a_rho);
            }
        }
        EXPECT_EQ(staged->max_density(), residual->max_density(s.t, s.x.data()));
        const double rho = s.densities.front();
        EXPECT_NE(residual->amount_isotherm(s.t + 10.0)->line(s.x.data())->at(rho).a, staged->at(rho).a);
    }
}

// Model, properties() and every caller reach the family's route through the residual's hooks; the
// single call gives what the separate ones give.
TEST(PcSaftDerivatives, TheModelUsesTheFamilysRoute) {
    const System s = systems()[4];
    const model::PcSaftFamily f(s.p);
    const auto residual = model::pcsaft_residual(s.p);
    const double rho = s.densities[1], t = s.t;
    const AlpharDerivatives own = f.derivatives(t, rho, s.x.data(), true);
    const AlpharDerivatives hooked = residual->derivatives(t, rho, s.x.data(), true);
    EXPECT_EQ(hooked.a_tt, own.a_tt);
    EXPECT_EQ(hooked.a_rhorhorho, own.a_rhorhorho);
    // The density search sees the pressure the properties at its root report: the same arithmetic.
    const model::DensitySlopes slopes = residual->density_slopes(t, rho, s.x.data());
    EXPECT_EQ(slopes.a_rho, own.a_rho);
    EXPECT_EQ(slopes.a_rhorho, own.a_rhorho);
    const AmountDerivatives a = residual->amount_derivatives(t, 1.0 / rho, s.x, kAll);
    EXPECT_EQ(a.hessian, family_amounts(f, t, 1.0 / rho, s.x).hessian);

    const SecondDerivatives all = residual->second_derivatives(t, rho, s.x);
    // Its density derivatives are the search's, bit for bit; those along T agree to rounding.
    EXPECT_EQ(all.t_rho.a_rho, own.a_rho);
    EXPECT_EQ(all.t_rho.a_rhorho, own.a_rhorho);
    expect_close(all.t_rho.a_trho, own.a_trho, 1e-13, 0.0, "a_trho");
    expect_close(all.t_rho.a_tt, own.a_tt, 1e-13, 0.0, "a_tt");
    EXPECT_TRUE(std::isnan(all.t_rho.a_rhorhorho));
    EXPECT_EQ(all.amounts.hessian, a.hessian);
    EXPECT_EQ(all.amounts.d_t, a.d_t);

    // A pure fluid's single call: the amount derivatives from its (T, rho) ones.
    const System pure = systems()[0];
    const model::PcSaftFamily hexane(pure.p);
    const std::vector<double> two{2.0};
    const SecondDerivatives p = family_second(hexane, pure.t, 7.5, two);
    const AmountDerivatives generic =
        model::amount_derivatives(*model::make_residual(hexane), pure.t, 2.0 / 7.5, two, kAll);
    expect_same_amounts(p.amounts, generic, 1, 1e-13, 1e-13);
}

}  // namespace
}  // namespace keld::testing
