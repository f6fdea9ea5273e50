// The given phase and its incipient phase at T on the model: Newton's method
// in the given phase's density and the incipient phase's amounts. Its points
// re-evaluated through the model's plain amount derivatives (not the isotherm
// it iterates on) have equal fugacities and pressures; a start on the trivial
// solution or with unusable input is refused, never reported as a point.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../../equilibria/incipient_isothermal.h"

namespace keld::testing {
namespace {

using equilibria::detail::IsothermalIncipient;
using equilibria::detail::solve_isothermal_incipient;

Model hexane_toluene() {
    return Model::pcsaft({{"NC6", 86.177, 3.0576, 3.7983, 236.77}, {"TOLUENE", 92.141, 2.8149, 3.7169, 285.69}});
}

Model methane_hexane() {
    return Model::pcsaft({{"C1", 16.043, 1.0, 3.7039, 150.03}, {"NC6", 86.177, 3.0576, 3.7983, 236.77}},
                         {0.0, 0.02, 0.02, 0.0});
}

// ln f_i / (R T) - ln(R T) = ln rho_i + dPsi/dn_i and P / (R T) of a phase of amount densities rho.
struct Evaluated {
    std::vector<double> ln_f;
    double p = 0.0;
};

Evaluated evaluate(const Model &m, double t, const std::vector<double> &rho) {
    const AmountDerivatives d = m.amount_derivatives(t, 1.0, rho, {});
    Evaluated e{std::vector<double>(rho.size()), -d.psi};
    for (std::size_t i = 0; i < rho.size(); ++i) {
        e.ln_f[i] = std::log(rho[i]) + d.gradient[i];
        e.p += rho[i] * (1.0 + d.gradient[i]);
    }
    return e;
}

struct Start {
    const char *name;
    Model (*model)();
    double t;
    std::vector<double> z;        // the given phase's composition
    double rho_given;             // kmol/m3
    std::vector<double> incipient;  // the incipient phase's amount densities, kmol/m3
    bool bubble;
};

// Bubble points (a liquid given) and dew points (a vapour given), from starts a few per cent off.
const Start kStarts[] = {
    {"hexane-toluene bubble", hexane_toluene, 350.0, {0.3, 0.7}, 7.9, {0.012, 0.011}, true},
    {"hexane-toluene dew", hexane_toluene, 350.0, {0.3, 0.7}, 0.018, {1.0, 7.0}, false},
    {"methane-hexane bubble at 4.6 MPa", methane_hexane, 350.0, {0.2, 0.8}, 6.6, {1.35, 0.13}, true},
};

TEST(IsothermalIncipient, PointsHaveEqualFugacitiesAndPressures) {
    for (const Start &s : kStarts) {
        SCOPED_TRACE(s.name);
        const Model m = s.model();
        IsothermalIncipient out;
        ASSERT_TRUE(solve_isothermal_incipient(m, s.t, s.z, s.rho_given, s.incipient, out, 30));
        EXPECT_LE(out.residual, 1e-12);
        EXPECT_LE(out.iterations, 8);
        // The given phase kept its composition.
        for (std::size_t i = 0; i < s.z.size(); ++i)
            EXPECT_NEAR(out.given.rho[i] / out.given.rho_total(), s.z[i], 1e-15);
        const Evaluated a = evaluate(m, s.t, out.given.rho), b = evaluate(m, s.t, out.incipient.rho);
        const double denser = std::max(out.given.rho_total(), out.incipient.rho_total());
        for (std::size_t i = 0; i < s.z.size(); ++i) EXPECT_NEAR(a.ln_f[i], b.ln_f[i], 1e-12) << i;
        EXPECT_NEAR(a.p, b.p, 1e-12 * denser);
        EXPECT_NEAR(out.given.p, a.p, 1e-13 * denser);
        EXPECT_NEAR(out.incipient.p, b.p, 1e-13 * denser);
        // Two phases, each mechanically stable, the liquid the denser by far.
        const double ratio = out.given.rho_total() / out.incipient.rho_total();
        EXPECT_GT(s.bubble ? ratio : 1.0 / ratio, 2.0);
        EXPECT_GT(out.given.slope, 0.0);
        EXPECT_GT(out.incipient.slope, 0.0);
    }
}

TEST(IsothermalIncipient, RefusesTheTrivialSolutionAndUnusableInput) {
    const Model m = hexane_toluene();
    const std::vector<double> z{0.3, 0.7};
    IsothermalIncipient out;
    // Started on the given phase itself: the equations hold at once, and the answer is no point.
    EXPECT_FALSE(solve_isothermal_incipient(m, 350.0, z, 7.9, std::vector<double>{0.3 * 7.9, 0.7 * 7.9}, out, 30));
    // A composition or density that is not positive, sizes that do not match.
    EXPECT_FALSE(solve_isothermal_incipient(m, 350.0, std::vector<double>{0.0, 1.0}, 7.9,
                                            std::vector<double>{0.012, 0.011}, out, 30));
    EXPECT_FALSE(solve_isothermal_incipient(m, 350.0, z, -1.0, std::vector<double>{0.012, 0.011}, out, 30));
    EXPECT_FALSE(solve_isothermal_incipient(m, 350.0, z, 7.9, std::vector<double>{0.012}, out, 30));
    EXPECT_FALSE(solve_isothermal_incipient(m, 350.0, z, 7.9, std::vector<double>{0.012, 0.0}, out, 30));
    // No iterations to converge in.
    EXPECT_FALSE(solve_isothermal_incipient(m, 350.0, z, 7.9, std::vector<double>{0.012, 0.011}, out, 0));
}

}  // namespace
}  // namespace keld::testing
