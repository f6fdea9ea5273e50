// The model's properties: thermodynamic identities at (T, rho), the density
// root on the model's own P(rho), and agreement with the PC-SAFT monitor at
// the same (T, P).
#include "keld/model.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"

namespace keld::testing {
namespace {

const std::vector<PcSaftComponent> kMixture{
    {"METHANE", 16.043, 1.0, 3.7039, 150.03},
    {"HEXANE", 86.177, 3.0576, 3.7983, 236.77},
    {"TOLUENE", 92.141, 2.8149, 3.7169, 285.69},
};

Model mixture() { return Model::pcsaft(kMixture, {0, 0.03, 0.02, 0.03, 0, 0.005, 0.02, 0.005, 0}); }

// Polystyrene of Mn 1e5 (m/MW 0.019 mol/g, counted in styrene units of 104.152 kg/kmol) in toluene.
Model polymer_solution() {
    return Model::pcsaft({{"TOLUENE", 92.141, 2.8149, 3.7169, 285.69}, {"PS", 1e5, 0.019 * 1e5, 4.1071, 267.0, 104.152}});
}

struct State {
    const char *name;
    Model (*model)();
    std::vector<double> x;
    double t, p;
    Phase phase;
};

const State kStates[] = {
    {"gas mixture", mixture, {0.8, 0.15, 0.05}, 350.0, 2e6, Phase::vapour},
    {"liquid mixture", mixture, {0.1, 0.5, 0.4}, 320.0, 5e6, Phase::liquid},
    {"polymer solution", polymer_solution, {0.9995, 0.0005}, 300.0, 1e5, Phase::liquid},
};

double sum_x(const std::vector<double> &x, const std::vector<double> &v) {
    return std::inner_product(x.begin(), x.end(), v.begin(), 0.0);
}

TEST(Model, PropertiesAreThermodynamicallyConsistent) {
    for (const State &s : kStates) {
        SCOPED_TRACE(s.name);
        const Model m = s.model();
        const auto p = properties_at_pressure(m, s.t, s.p, s.x, s.phase);
        ASSERT_TRUE(p.has_value());
        // The root, to what the last bits of rho allow.
        EXPECT_LE(std::fabs(p->p - s.p), 4.5e-16 * p->rho * p->dp_drho);
        const double rt = kGasConstant * s.t;
        const std::size_t n = m.size();
        // G_res / RT = sum x ln phi; H_res/(R T^2) = -sum x d ln phi/dT; (Z - 1)/P = sum x d ln phi/dP; v = sum x v_i.
        EXPECT_NEAR(sum_x(p->x, p->ln_phi), p->g_res / rt, 1e-12 * (1.0 + std::fabs(p->g_res / rt)));
        EXPECT_NEAR(sum_x(p->x, p->dln_phi_dt), -p->h_res / (rt * s.t), 1e-11 * std::fabs(p->h_res / (rt * s.t)));
        EXPECT_NEAR(sum_x(p->x, p->dln_phi_dp) * s.p, p->z - 1.0, 1e-11);
        EXPECT_NEAR(sum_x(p->x, p->partial_volume) / p->v, 1.0, 1e-12);
        // G = H - T S of the residual parts.
        EXPECT_NEAR(p->g_res, p->h_res - s.t * p->s_res, 1e-10 * std::fabs(p->h_res));
        // d ln phi_i/dn_j = Psi_ij + 1 + v_i v_j (dP/dV)/RT: the sum cancels between these parts,
        // which for a polymer are far larger than the entries they leave.
        const double dp_dv_rt = -p->dp_drho * p->rho * p->rho / rt;
        for (std::size_t j = 0; j < n; ++j) {
            double gibbs_duhem = 0.0, size = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                gibbs_duhem += p->x[i] * p->dln_phi_dn[i * n + j];
                size += std::fabs(p->x[i] * p->dln_phi_dn[i * n + j]) +
                        std::fabs(p->x[i] * p->partial_volume[i] * p->partial_volume[j] * dp_dv_rt);
                EXPECT_NEAR(p->dln_phi_dn[i * n + j], p->dln_phi_dn[j * n + i], 1e-12 * size + 1e-14);
            }
            EXPECT_NEAR(gibbs_duhem, 0.0, 1e-12 * size + 1e-14);
        }
        // Cp - Cv = T v alpha_P^2 / kappa_T of the residual parts (the ideal-gas R aside).
        const double alpha_p = p->dv_dt / p->v;
        EXPECT_NEAR(p->cp_res - p->cv_res + kGasConstant, s.t * p->v * alpha_p * alpha_p / p->kappa_t,
                    1e-12 * std::fabs(p->cp_res - p->cv_res + kGasConstant));
    }
}

TEST(Model, SpeedOfSoundOfTheIdealGasLimit) {
    const Model m = Model::pcsaft({{"ARGONLIKE", 39.948, 1.0, 3.4, 120.0}});
    IdealGasHeatCapacity ig{{{2.5}}, {}};  // a monatomic gas
    PropertyRequest request;
    request.ideal_gas = &ig;
    const Properties p = properties(m, 300.0, 1e-9, std::vector<double>{1.0}, request);
    const double expected = std::sqrt(5.0 / 3.0 * kGasConstant * 300.0 / 39.948);
    EXPECT_NEAR(p.speed_of_sound / expected, 1.0, 1e-9);
    EXPECT_NEAR(p.cp / p.cv, 5.0 / 3.0, 1e-9);
    // The Joule-Thomson coefficient of the dilute gas: (T dB/dT - B)/Cp, finite and positive at 300 K.
    EXPECT_GT(p.joule_thomson, 0.0);
}

TEST(Model, DensityRootsAndTheirLimits) {
    const Model m = Model::pcsaft({{"HEXANE", 86.177, 3.0576, 3.7983, 236.77}});
    const std::vector<double> one{1.0};
    // Below the vapour pressure (about 2.19e4 Pa at 300 K) both roots exist and differ.
    const auto v = density(m, 300.0, 1e4, one, Phase::vapour);
    const auto l = density(m, 300.0, 1e4, one, Phase::liquid);
    ASSERT_TRUE(v && l);
    EXPECT_LT(*v * 1000.0, *l);
    EXPECT_LT(*l, m.max_density(300.0, one));
    EXPECT_GT(properties(m, 300.0, *l, one).dp_drho, 0.0);
    // Above the critical temperature one root serves both phases.
    const auto a = density(m, 700.0, 3e6, one, Phase::vapour), b = density(m, 700.0, 3e6, one, Phase::liquid);
    ASSERT_TRUE(a && b);
    EXPECT_NEAR(*a / *b, 1.0, 1e-13);
    // Refused: what is no state.
    EXPECT_THROW(density(m, -1.0, 1e5, one, Phase::liquid), std::invalid_argument);
    EXPECT_THROW(density(m, 300.0, 1e5, std::vector<double>{1.0, 0.0}, Phase::liquid), std::invalid_argument);
    EXPECT_THROW(properties(m, 300.0, 0.0, one), std::invalid_argument);
}

// The model at the density root equals the monitor at the same (T, P): ln phi (apparent basis for the
// polymer), V and the departures.
TEST(Model, EqualsThePcSaftMonitorAtTheRoot) {
    refhost::ReferenceHost host;
    const auto toluene = host.add_component("TOLUENE", refhost::ComponentKind::ordinary, 92.141);
    // The polymer's own parameters (no segment average): m = 0.019 mol/g * Mn.
    const auto ps = host.add_polymer("PS", refhost::ComponentKind::polymer, 104.152, 1e5);
    host.set_unary("PCSFTM", toluene, 2.8149);
    host.set_unary("PCSFTV", toluene, 3.7169);
    host.set_unary("PCSFTU", toluene, 285.69);
    for (const char *name : {"PCSFTV", "PCSFTU", "PCSFTR"})
        host.set_unary(name, ps, std::string(name) == "PCSFTV" ? 4.1071 : std::string(name) == "PCSFTU" ? 267.0 : 0.019);
    host.install();
    const Model m = polymer_solution();
    for (double w_ps : {0.0, 0.3}) {
        for (double p : {1e5, 5e6}) {
            SCOPED_TRACE(std::to_string(w_ps) + " " + std::to_string(p));
            // Apparent mole fractions from weight fractions: z_k ~ w_k / MW_k (repeat units for PS).
            double z[2] = {(1.0 - w_ps) / 92.141, w_ps / 104.152};
            const double total = z[0] + z[1];
            z[0] /= total;
            z[1] /= total;
            // Without polystyrene it is still listed: its ln phi is the limit of an absent component.
            const std::int64_t n = 2;
            std::int64_t idx[2] = {toluene, ps};
            double t = 320.0, phi[2], h, s, g, v, dphi[2], dh, ds, dg, dv;
            const std::int64_t kwork = 0, kspare = 0, kvl = 2, one = 1, zero = 0, kds = 1, kdiag = 0, kopt = 0;
            std::int64_t kstat = 1;
            KELD_ESPCSF(&t, &p, z, &n, idx, &kwork, &kspare, &kvl, &one, &one, &one, &one, &one, &kds, &kdiag, phi,
                        &h, &s, &g, &v, dphi, &dh, &ds, &dg, &dv, &kstat, &kopt);
            ASSERT_EQ(kstat, 1);
            // The model's amounts: molecules from the apparent fractions.
            const std::vector<double> x{z[0], z[1] * 104.152 / 1e5};
            const auto props = properties_at_pressure(m, t, p, x, Phase::liquid);
            ASSERT_TRUE(props.has_value());
            for (std::int64_t k = 0; k < n; ++k)
                EXPECT_NEAR(props->ln_phi_apparent[k], phi[k], 1e-12 * (1.0 + std::fabs(phi[k]))) << k;
            EXPECT_NEAR(props->v_apparent / v, 1.0, 1e-12);
            EXPECT_NEAR(props->h_res_apparent / h, 1.0, 1e-10);
            EXPECT_NEAR(props->g_departure_apparent / g, 1.0, 1e-10);
            EXPECT_NEAR(props->s_departure_apparent / s, 1.0, 1e-10);
            (void)zero;
        }
    }
}

}  // namespace
}  // namespace keld::testing

namespace keld::testing {
namespace {

// The storage form of the derivatives: the numbers of the vector form, bit for bit, for a family's own
// route (PC-SAFT mixture, pure PC-SAFT) and the generic one (SAFT); only the spans asked for are
// written; a span of the wrong size is refused.
TEST(Model, DerivativesIntoCallerStorage) {
    const SaftComponent saft_hexane{"HEXANE", 86.177, 4.724, 0.011888, 204.61, 10.0};
    const SaftComponent saft_toluene{"TOLUENE", 92.141, 3.747, 0.012, 287.0, 10.0};
    struct Case {
        const char *name;
        Model model;
        std::vector<double> n;
        double t, rho;
    };
    const Case cases[] = {
        {"PC-SAFT mixture", mixture(), {0.1, 0.5, 0.4}, 320.0, 8.0},
        {"pure PC-SAFT", Model::pcsaft({kMixture[1]}), {2.0}, 300.0, 7.5},
        {"SAFT mixture (generic route)", Model::saft({saft_hexane, saft_toluene}), {0.3, 0.7}, 330.0, 8.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t n = c.n.size();
        const double v = std::accumulate(c.n.begin(), c.n.end(), 0.0) / c.rho;
        const SecondDerivatives expected = c.model.second_derivatives(c.t, c.rho, c.n);

        std::vector<double> storage(n * n + 3 * n, -1.0);
        std::span<double> all(storage);
        AmountDerivativeSpans out{0.0, all.subspan(0, n), all.subspan(n, n * n), all.subspan(n + n * n, n),
                                  all.subspan(2 * n + n * n, n)};
        AlpharDerivatives t_rho;
        c.model.second_derivatives(c.t, c.rho, c.n, t_rho, out);
        EXPECT_EQ(out.psi, expected.amounts.psi);
        EXPECT_EQ(std::vector<double>(out.gradient.begin(), out.gradient.end()), expected.amounts.gradient);
        EXPECT_EQ(std::vector<double>(out.hessian.begin(), out.hessian.end()), expected.amounts.hessian);
        EXPECT_EQ(std::vector<double>(out.d_v.begin(), out.d_v.end()), expected.amounts.d_v);
        EXPECT_EQ(std::vector<double>(out.d_t.begin(), out.d_t.end()), expected.amounts.d_t);
        EXPECT_EQ(t_rho.a_tt, expected.t_rho.a_tt);
        EXPECT_EQ(t_rho.a_trho, expected.t_rho.a_trho);

        // The Hessian alone.
        std::vector<double> hessian(n * n, -1.0);
        AmountDerivativeSpans only{0.0, {}, hessian, {}, {}};
        c.model.amount_derivatives(c.t, v, c.n, only);
        EXPECT_EQ(hessian, expected.amounts.hessian);
        const AmountDerivatives vectors = c.model.amount_derivatives(c.t, v, c.n, {false, true, false, false});
        EXPECT_EQ(vectors.hessian, hessian);
        EXPECT_TRUE(vectors.gradient.empty());

        std::vector<double> too_long(n * n + 1);
        AmountDerivativeSpans wrong{0.0, {}, too_long, {}, {}};
        EXPECT_THROW(c.model.amount_derivatives(c.t, v, c.n, wrong), std::invalid_argument);
        EXPECT_THROW(c.model.second_derivatives(c.t, c.rho, c.n, t_rho, wrong), std::invalid_argument);
    }
}

}  // namespace
}  // namespace keld::testing
