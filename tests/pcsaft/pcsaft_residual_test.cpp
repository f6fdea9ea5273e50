// PC-SAFT residual Helmholtz energy: analytic derivatives against complex-step derivatives of an
// independent transcription, and the limits with closed forms.
#include "pcsaft/pcsaft_residual.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <tuple>
#include <vector>

#include "contributions/pcsaft_constants.h"
#include "pcsaft/pcsaft_helmholtz_model.h"

namespace keld::pcsaft {
namespace {

using Complex = std::complex<double>;
using namespace constants;

// Parameters by component number (ld components) and a listed subset in the order of idx.
struct Fluid {
    std::string name;
    std::int64_t ld;
    std::vector<std::int64_t> idx;
    std::vector<double> m, sigma, eps, eps_matrix;

    reference::Mixture mixture() const {
        return {ld, static_cast<std::int64_t>(idx.size()), idx.data(), m.data(), sigma.data(), eps.data(),
                eps_matrix.data()};
    }
};

// Cross energies (1 - k_ij) sqrt(eps_i eps_j) for the given pairs (component numbers from 1).
Fluid with_cross_energies(Fluid f, std::initializer_list<std::tuple<int, int, double>> kij) {
    const std::size_t nc = f.eps.size();
    f.eps_matrix.resize(nc * nc);
    for (std::size_t j = 0; j < nc; ++j)
        for (std::size_t i = 0; i < nc; ++i) f.eps_matrix[j * nc + i] = std::sqrt(f.eps[i] * f.eps[j]);
    for (auto [i, j, k] : kij) {
        f.eps_matrix[(j - 1) * nc + i - 1] *= 1.0 - k;
        f.eps_matrix[(i - 1) * nc + j - 1] *= 1.0 - k;
    }
    return f;
}

Fluid n_hexane() { return {"n-hexane", 1, {1}, {3.0576}, {3.7983}, {236.77}, {236.77}}; }
Fluid spheres() { return {"m=1", 1, {1}, {1.0}, {3.7039}, {150.03}, {150.03}}; }

// methane, n-hexane, propane, benzene listed as 4, 1, 3, with eps_ij != eps_ji: only the symmetric
// part may matter.
Fluid ternary() {
    Fluid f = with_cross_energies({"ternary", 4, {4, 1, 3}, {1.0, 3.0576, 2.0020, 2.4653},
                                   {3.7039, 3.7983, 3.6184, 3.6478}, {150.03, 236.77, 208.11, 287.35}, {}},
                                  {{1, 3, 0.03}, {1, 4, 0.037}, {3, 4, -0.012}});
    f.eps_matrix[(3 - 1) * 4 + (4 - 1)] *= 1.05;
    f.eps_matrix[(1 - 1) * 4 + (3 - 1)] *= 0.97;
    return f;
}

// polystyrene (m = 2000) in cyclohexane.
Fluid polymer_solution() {
    return with_cross_energies({"polystyrene-cyclohexane", 2, {1, 2}, {2000.0, 2.5303}, {4.152, 3.8499},
                                {348.2, 278.11}, {}},
                               {{1, 2, 0.0081}});
}

struct Evaluation {
    ResidualValues values;
    std::vector<double> dadx, d, m, md, md2, md3, chain;
};

Evaluation evaluate(const Fluid &f, double t, double rho, const std::vector<double> &x, ResidualSwitches sw,
                    double fill = 0.0) {
    const std::size_t n = f.idx.size();
    Evaluation e;
    for (auto *v : {&e.dadx, &e.d, &e.m, &e.md, &e.md2, &e.md3, &e.chain}) v->assign(n, fill);
    e.values = residual(t, rho, f.ld, static_cast<std::int64_t>(n), f.idx.data(), x.data(), sw, e.dadx.data(),
                        f.m.data(), f.sigma.data(), f.eps.data(), f.eps_matrix.data(),
                        {e.d.data(), e.m.data(), e.md.data(), e.md2.data(), e.md3.data(), e.chain.data()});
    return e;
}

constexpr ResidualSwitches kAll{true, true, true, true};
constexpr ResidualSwitches kNone{};

// Temperature-dependent segment diameter, scaled so that rho d^3 is dimensionless.
double diameter(double sigma, double eps, double t) {
    return sigma * (1.0 - 0.12 * std::exp(-3.0 * eps / t)) * 1e-10 * 844464373.5037098;
}

// Molar density at which the packing fraction is eta.
double density_for_packing(const Fluid &f, double t, const std::vector<double> &x, double eta) {
    double s3 = 0.0;
    for (std::size_t k = 0; k < f.idx.size(); ++k) {
        const std::size_t i = f.idx[k] - 1;
        s3 += x[k] * f.m[i] * std::pow(diameter(f.sigma[i], f.eps[i], t), 3);
    }
    return eta / (kPiOver6 * s3);
}

constexpr double kStep = 1e-30;

double complex_step(const Fluid &f, Complex t, Complex rho, std::vector<Complex> x) {
    return reference::helmholtz_value(t, rho, x.data(), f.mixture()).imag() / kStep;
}

double relative(double value, double reference) {
    return std::abs(value - reference) / std::max(std::abs(reference), 1e-300);
}

// d2a/drho2 from complex-step first derivatives: central differences with two Richardson steps; dilute
// states take a step larger relative to rho, as a varies on the density scale of the packing fraction.
double second_density_derivative(const Fluid &f, double t, double rho, const std::vector<double> &x,
                                 double eta) {
    const std::vector<Complex> xc(x.begin(), x.end());
    const auto slope = [&](double r) { return complex_step(f, t, Complex(r, kStep), xc); };
    const auto central = [&](double h) { return (slope(rho + h) - slope(rho - h)) / (2.0 * h); };
    const auto richardson = [&](double h) { return (4.0 * central(0.5 * h) - central(h)) / 3.0; };
    const double h = std::min(0.25, 2e-3 * std::max(1.0, 0.05 / eta)) * rho;
    return (16.0 * richardson(0.5 * h) - richardson(h)) / 15.0;
}

TEST(PcsaftResidual, DerivativesAgreeWithComplexStep) {
    struct State {
        Fluid fluid;
        std::vector<double> x;
        double t;
    };
    const State states[] = {{n_hexane(), {1.0}, 300.0},
                            {spheres(), {1.0}, 140.0},
                            {ternary(), {0.2, 0.5, 0.3}, 330.0},
                            {ternary(), {0.3, 0.5, 0.1}, 250.0},  // sum 0.9, used as it stands
                            {polymer_solution(), {4.5e-4, 1.0 - 4.5e-4}, 400.0},
                            {polymer_solution(), {0.02, 0.98}, 300.0}};
    for (const State &s : states) {
        for (double eta : {1e-3, 0.15, 0.3, 0.48}) {
            const Fluid &f = s.fluid;
            const double rho = density_for_packing(f, s.t, s.x, eta);
            SCOPED_TRACE(f.name + " T=" + std::to_string(s.t) + " eta=" + std::to_string(eta));
            const Evaluation e = evaluate(f, s.t, rho, s.x, kAll);
            const std::vector<Complex> xc(s.x.begin(), s.x.end());

            EXPECT_LT(relative(e.values.a, reference::helmholtz_value<double>(s.t, rho, s.x.data(), f.mixture())),
                      1e-12);
            EXPECT_LT(relative(e.values.a_rho, complex_step(f, s.t, Complex(rho, kStep), xc)), 1e-12);
            EXPECT_LT(relative(e.values.a_t, complex_step(f, Complex(s.t, kStep), rho, xc)), 1e-12);
            EXPECT_LT(relative(e.values.a_rhorho, second_density_derivative(f, s.t, rho, s.x, eta)), 1e-10);

            // da/dx_k at constant T, rho and the other mole fractions, scaled by the largest so that a
            // derivative near a sign change is not judged by its own tiny size.
            std::vector<double> oracle(s.x.size());
            double scale = 0.0;
            for (std::size_t k = 0; k < s.x.size(); ++k) {
                auto xk = xc;
                xk[k] += Complex(0.0, kStep);
                oracle[k] = complex_step(f, s.t, rho, xk);
                scale = std::max(scale, std::abs(oracle[k]));
            }
            for (std::size_t k = 0; k < s.x.size(); ++k)
                EXPECT_LT(std::abs(e.dadx[k] - oracle[k]) / scale, 1e-12) << "k=" << k;
        }
    }
}

// Single spheres: no chain term, Carnahan-Starling hard spheres, C1 = 1/[1 + (8 eta - 2 eta^2)/(1 - eta)^4]
// and the chain-length coefficients reduce to a0, b0.
TEST(PcsaftResidual, SingleSegmentFluidReducesToCarnahanStarlingPlusDispersion) {
    const Fluid f = spheres();
    const double t = 160.0, s3 = std::pow(f.sigma[0] * 0.04222321867518549 * 2.0, 3), e_t = f.eps[0] / t;
    for (double eta : {0.05, 0.25, 0.45}) {
        const double rho = density_for_packing(f, t, {1.0}, eta);
        const Evaluation e = evaluate(f, t, rho, {1.0}, kAll);
        double i1 = 0.0, i2 = 0.0;
        for (int i = 6; i >= 0; --i) {
            i1 = i1 * eta + kA0[i];
            i2 = i2 * eta + kB0[i];
        }
        const double c1 = 1.0 / (1.0 + (8.0 * eta - 2.0 * eta * eta) / std::pow(1.0 - eta, 4));
        const double expected = (4.0 * eta - 3.0 * eta * eta) / std::pow(1.0 - eta, 2) -
                                2.0 * kPi * rho * i1 * e_t * s3 - kPi * rho * c1 * i2 * e_t * e_t * s3;
        EXPECT_NEAR(e.values.a, expected, 1e-13 * std::abs(expected)) << "eta=" << eta;
        EXPECT_EQ(e.chain[0], 0.0);
    }
}

// At vanishing density a -> 0 and da/drho -> the second virial coefficient, in closed form:
// B = (pi/6)[m S3 + 3 S1 S2 + sum x_k (1 - m_k)(S3 + 1.5 d_k S2)] - 2 pi a_0(m) D1 - pi m b_0(m) D2.
TEST(PcsaftResidual, LowDensityLimitIsTheSecondVirialCoefficient) {
    const std::pair<Fluid, std::vector<double>> systems[] = {
        {n_hexane(), {1.0}}, {ternary(), {0.2, 0.5, 0.3}}, {polymer_solution(), {0.01, 0.99}}};
    const double t = 350.0;
    for (const auto &[f, x] : systems) {
        SCOPED_TRACE(f.name);
        double m_bar = 0, s1 = 0, s2 = 0, s3 = 0, chain = 0, d1 = 0, d2 = 0;
        std::vector<double> d(x.size());
        for (std::size_t k = 0; k < x.size(); ++k) {
            const std::size_t i = f.idx[k] - 1;
            d[k] = diameter(f.sigma[i], f.eps[i], t);
            m_bar += x[k] * f.m[i];
            s1 += x[k] * f.m[i] * d[k];
            s2 += x[k] * f.m[i] * d[k] * d[k];
            s3 += x[k] * f.m[i] * d[k] * d[k] * d[k];
        }
        for (std::size_t k = 0; k < x.size(); ++k) {
            const std::size_t i = f.idx[k] - 1;
            chain += x[k] * (1.0 - f.m[i]) * (s3 + 1.5 * d[k] * s2);
            for (std::size_t l = 0; l < x.size(); ++l) {
                const std::size_t j = f.idx[l] - 1;
                const double e = f.eps_matrix[j * f.ld + i] / t;
                const double sig = std::pow((f.sigma[i] + f.sigma[j]) * 0.04222321867518549, 3);
                d1 += x[k] * x[l] * f.m[i] * f.m[j] * e * sig;
                d2 += x[k] * x[l] * f.m[i] * f.m[j] * e * e * sig;
            }
        }
        const double q = 1.0 - 1.0 / m_bar, r = q * (1.0 - 2.0 / m_bar);
        const double a0 = kA0[0] + q * kA1[0] + r * kA2[0], b0 = kB0[0] + q * kB1[0] + r * kB2[0];
        const double virial = kPiOver6 * (m_bar * s3 + 3.0 * s1 * s2 + chain) - 2.0 * kPi * a0 * d1 -
                              kPi * m_bar * b0 * d2;

        const Evaluation fine = evaluate(f, t, 1e-9, x, kNone);
        EXPECT_NEAR(fine.values.a, 1e-9 * virial, 1e-16 * std::abs(virial));
        EXPECT_LT(relative(fine.values.a_rho, virial), 1e-7);
    }
}

// The density-root path (all switches off) gives the full evaluation's density derivatives; the
// enthalpy or the entropy switch brings the temperature derivative, the Gibbs switch alone nothing, and
// composition derivatives are written only for the fugacity switch.
TEST(PcsaftResidual, SwitchesControlWhatIsComputed) {
    const Fluid f = ternary();
    const std::vector<double> x{0.2, 0.5, 0.3};
    const double t = 310.0, rho = density_for_packing(f, t, x, 0.4);
    const Evaluation full = evaluate(f, t, rho, x, kAll, -7.0);
    const Evaluation lean = evaluate(f, t, rho, x, kNone, -7.0);
    EXPECT_NEAR(lean.values.a, full.values.a, 1e-15 * std::abs(full.values.a));
    EXPECT_NEAR(lean.values.a_rho, full.values.a_rho, 1e-15 * std::abs(full.values.a_rho));
    EXPECT_NEAR(lean.values.a_rhorho, full.values.a_rhorho, 1e-15 * std::abs(full.values.a_rhorho));
    EXPECT_EQ(lean.values.a_t, 0.0);
    EXPECT_EQ(evaluate(f, t, rho, x, {false, false, true, false}).values.a_t, 0.0);
    EXPECT_EQ(evaluate(f, t, rho, x, {true, false, false, false}).values.a_t, full.values.a_t);
    const Evaluation entropy = evaluate(f, t, rho, x, {false, true, false, false}, -7.0);
    EXPECT_EQ(entropy.values.a_t, full.values.a_t);
    for (const Evaluation *e : {&lean, &entropy}) {
        EXPECT_EQ(e->dadx, std::vector<double>(x.size(), -7.0));
        EXPECT_EQ(e->chain, std::vector<double>(x.size(), -7.0));
    }
    EXPECT_NE(full.chain[0], -7.0);
}

}  // namespace
}  // namespace keld::pcsaft
