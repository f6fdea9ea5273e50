// PC-SAFT with association and dipoles as a model family: the same residual as the monitor's core (value,
// density, temperature and composition derivatives), and every automatic derivative against complex
// steps, for pure and mixed associating fluids, dipoles, k_ij and l_ij, and copolymers by segment types.
#include "model/families/pcsaft_assoc_family.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "complex_step.h"
#include "host/host.h"
#include "keld/model.hpp"
#include "model/derivatives.h"
#include "pcsaft_assoc/pcsaf_residual.h"
#include "pcsaft_assoc_monitor/pcsaf_reference_model.h"
#include "support/pcsaf_systems.h"

namespace keld::testing {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// An illustrative dipolar, non-associating solvent, and the units of a copolymer: a styrene-like unit
// and a hydroxyl-bearing (2B) one.
constexpr AssocFluid kPolar{"POLAR", 58.08, 2.7447, 3.2742, 232.99, kNone, kNone, 0, 508.1, 4.70e6};
constexpr AssocFluid kUnitA{"UNITA", 104.15, 1.979, 4.1072, 267.0, kNone, kNone, 0, kNone, kNone};
constexpr AssocFluid kUnitB{"UNITB", 44.05, 1.20, 3.30, 250.0, 2300.0, 0.02, 2, kNone, kNone};

struct System {
    std::string name;
    std::function<PcsafCall(PcsafSystem &)> build;
    double rho_gas, rho_liquid;  // kmol/m3
};

std::vector<System> systems() {
    return {
        {"pure water 4C", [](PcsafSystem &s) { return PcsafCall{.t = 300.0, .idx = {s.add(kWater4C)}, .z = {1.0}}; },
         0.01, 54.0},
        {"water 2B + methanol 2B (equivalent sites)",
         [](PcsafSystem &s) {
             return PcsafCall{.t = 330.0, .idx = {s.add(kWater2BRg), s.add(kMethanol2B)}, .z = {0.3, 0.7}};
         },
         0.05, 30.0},
        {"water 4C + methanol 2B, polar methanol",
         [](PcsafSystem &s) {
             PcsafCall c{.t = 320.0, .idx = {s.add(kWater4C), s.add(kMethanol2B)}, .z = {0.4, 0.6}};
             s.set_dipole(c.idx[1], 1.7, 0.3);
             return c;
         },
         0.05, 35.0},
        {"methanol + n-hexane with k_ij and l_ij",
         [](PcsafSystem &s) {
             const auto me = s.add(kMethanol2B), hx = s.add(kHexane0);
             s.set_kij(me, hx, {0.02, 0, 0, 0, 0, 0});
             s.set_lij(me, hx, {0.01, 0, 0, 0});
             return PcsafCall{.t = 310.0, .idx = {hx, me}, .z = {0.7, 0.3}};
         },
         0.02, 9.0},
        {"dipolar solvent + methanol + n-hexane",
         [](PcsafSystem &s) {
             const auto po = s.add(kPolar), me = s.add(kMethanol2B), hx = s.add(kHexane0);
             s.set_dipole(po, 2.88, 0.4);
             s.set_dipole(me, 1.7, 0.3);
             return PcsafCall{.t = 350.0, .idx = {po, me, hx}, .z = {0.3, 0.3, 0.4}};
         },
         0.02, 10.0},
        // Infinite dilution: the composition derivatives of a species that is absent.
        {"methanol infinitely dilute in n-hexane",
         [](PcsafSystem &s) {
             return PcsafCall{.t = 300.0, .idx = {s.add(kMethanol2B), s.add(kHexane0)}, .z = {0.0, 1.0}};
         },
         0.02, 7.5},
        {"the only dipolar species infinitely dilute in methanol + n-hexane",
         [](PcsafSystem &s) {
             const auto po = s.add(kPolar), me = s.add(kMethanol2B), hx = s.add(kHexane0);
             s.set_dipole(po, 2.88, 0.4);
             return PcsafCall{.t = 320.0, .idx = {po, me, hx}, .z = {0.0, 0.4, 0.6}};
         },
         0.02, 10.0},
        {"copolymer of two segment types (one associating and dipolar) in methanol",
         [](PcsafSystem &s) {
             const auto a = s.add_segment(kUnitA), b = s.add_segment(kUnitB), me = s.add(kMethanol2B);
             s.set_dipole(b, 1.5, 0.5);
             s.set_kij(a, me, {0.03, 0, 0, 0, 0, 0});
             const auto p = s.add_polymer("COPOLY", kUnitA.mw, {{a, 6000.0}, {b, 4000.0}});
             return PcsafCall{.t = 330.0, .idx = {me, p}, .z = {0.98, 0.02}};
         },
         0.01, 22.0},
        {"homopolymer of one segment type in n-hexane + methanol",
         [](PcsafSystem &s) {
             const auto a = s.add_segment(kUnitA), hx = s.add(kHexane0), me = s.add(kMethanol2B);
             const auto p = s.add_polymer("HOMO", kUnitA.mw, {{a, 20000.0}});
             return PcsafCall{.t = 340.0, .idx = {p, hx, me}, .z = {0.05, 0.75, 0.20}};
         },
         0.01, 8.0},
    };
}

double or_nan(double v) { return v == kNone ? kNaN : v; }

// The family's parameters from the monitor's arrays: the listed components first, then the segment
// components of their polymers.
model::PcSaftAssocParameters parameters(const PcsafSystem &sys, const std::vector<std::int64_t> &idx) {
    std::vector<std::int64_t> order(idx.begin(), idx.end());
    for (std::int64_t c : idx)
        for (std::int64_t s = 0; s < sys.nseg[c - 1]; ++s) {
            const std::int64_t sc = sys.iseg[(c - 1) * sys.lseg + s];
            if (std::find(order.begin(), order.end(), sc) == order.end()) order.push_back(sc);
        }
    const std::size_t nc = order.size(), big = static_cast<std::size_t>(sys.nc());
    std::map<std::int64_t, std::size_t> number;
    for (std::size_t k = 0; k < nc; ++k) number[order[k]] = k;
    model::PcSaftAssocParameters p;
    p.n = idx.size();
    p.epsilon_ab_k.assign(nc * nc, kNaN);
    p.kappa_ab.assign(nc * nc, kNaN);
    p.kij.assign(nc * nc, 0.0);
    p.lij.assign(nc * nc, 0.0);
    p.segments.resize(p.n);
    for (std::size_t i = 0; i < nc; ++i) {
        const std::size_t c = static_cast<std::size_t>(order[i] - 1);
        p.names.push_back("component " + std::to_string(c + 1));
        p.mw.push_back(sys.mw[c]);
        p.m.push_back(or_nan(sys.m[c]));
        p.sigma.push_back(or_nan(sys.sigma[c]));
        p.epsilon_k.push_back(or_nan(sys.eps[c]));
        p.site_type.push_back(sys.types[c]);
        p.dipole.push_back(or_nan(sys.dipole[c]));
        p.dipolar_fraction.push_back(or_nan(sys.dipolar_fraction[c]));
        for (std::size_t j = 0; j < nc; ++j) {
            const std::size_t d = static_cast<std::size_t>(order[j] - 1), at = d * big + c;
            p.epsilon_ab_k[j * nc + i] = or_nan(sys.eps_ab[at]);
            p.kappa_ab[j * nc + i] = or_nan(sys.kappa_ab[at]);
            p.kij[j * nc + i] = sys.kij[6 * at];
            p.lij[j * nc + i] = sys.lij[4 * at];
        }
        if (i < p.n)
            for (std::int64_t s = 0; s < sys.nseg[c]; ++s)
                p.segments[i].push_back({number[sys.iseg[c * sys.lseg + s]], sys.wseg[c * sys.lseg + s]});
    }
    return p;
}

// The monitor's model of a call, built and set at the call's temperature with every derivative row.
struct MonitorCore {
    std::vector<double> work;
    std::int64_t status = 0;
    double rho = 0.0;
    pcsaf::Arguments args;
    pcsaf::Model model;

    MonitorCore(PcsafSystem &sys, const PcsafCall &c) {
        work.assign(static_cast<std::size_t>(sys.work_needed(c)), 0.0);
        args = {.t = c.t, .p = c.p, .n = static_cast<std::int64_t>(c.idx.size()), .nc = sys.nc(), .kvl = c.kvl,
                .rq = Requests::decode(1, 1, 1, 1, 1), .status = &status, .idx = c.idx.data(), .z = c.z.data(),
                .mw = sys.mw.data(), .tc = sys.tc.data(), .pc = sys.pc.data(), .m = sys.m.data(),
                .sigma = sys.sigma.data(), .eps = sys.eps.data(), .types = sys.types.data(),
                .eps_ab = sys.eps_ab.data(), .kappa_ab = sys.kappa_ab.data(), .dipole = sys.dipole.data(),
                .dipolar_fraction = sys.dipolar_fraction.data(), .nseg = sys.nseg.data(), .lseg = sys.lseg,
                .iseg = sys.iseg.data(), .wseg = sys.wseg.data(), .kij = sys.kij.data(), .lij = sys.lij.data(),
                .tolerance = 1e-12, .rho = &rho, .lwork = static_cast<std::int64_t>(work.size()),
                .work = work.data()};
        const host::Host host = *host::Host::current();
        EXPECT_EQ(pcsaf::build_model(host, args, true, model).outcome, pcsaf::BuildOutcome::ok);
        pcsaf::set_temperature(host, model, c.t, true);
    }
    std::vector<double> x() const { return std::vector<double>(model.x, model.x + model.n); }
};

// The arrays the independent model of the monitor's tests reads.
struct ReferenceArrays {
    std::vector<double> mw, m, sigma, eps, eps_ab, kappa_ab, dipole, dipolar_fraction, kij, lij, wseg;
    std::vector<std::int64_t> types, nseg, iseg;
    std::int64_t lseg = 0;
};

// That model (its site fractions solved by substitution in the number type itself, so that its
// derivatives owe nothing to the implicit-function theorem) behind the family's call shape: the oracle
// of the complex steps. Its Pade form of the dipolar term is 0/0 where the only dipolar species is
// absent (x = 0): there the term and every derivative along directions that keep it absent vanish, so
// those evaluations are made without the absent species' dipoles.
struct ReferenceFamily {
    ReferenceArrays with, without;
    std::vector<std::int64_t> idx;

    ReferenceFamily(const PcsafSystem &s, std::vector<std::int64_t> listed, const std::vector<double> &x)
        : with{s.mw, s.m, s.sigma, s.eps, s.eps_ab, s.kappa_ab, s.dipole, s.dipolar_fraction, s.kij, s.lij, s.wseg,
               s.types, s.nseg, s.iseg, s.lseg},
          without(with), idx(std::move(listed)) {
        for (std::size_t k = 0; k < idx.size(); ++k)
            if (x[k] == 0.0) without.dipole[idx[k] - 1] = kNone;
    }
    template <class S>
    S alphar(const S &t, const S &rho, const S *x) const {
        const std::vector<S> xs(x, x + idx.size());
        const S a = pcsaf::reference::helmholtz<S>(with, idx, t, rho, xs);
        return std::isnan(ad::value(a)) ? pcsaf::reference::helmholtz<S>(without, idx, t, rho, xs) : a;
    }
};

void expect_close(double a, double b, double relative, const char *what) {
    EXPECT_NEAR(a, b, relative * std::max(std::fabs(b), 1e-300)) << what;
}

TEST(PcSaftAssocFamily, SameResidualAsTheMonitorsCore) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        PcsafSystem sys;
        const PcsafCall c = s.build(sys);
        sys.host.install();
        MonitorCore core(sys, c);
        const std::vector<double> x = core.x();
        const model::PcSaftAssocFamily f(parameters(sys, c.idx));
        const auto residual = model::make_residual(f);
        for (double rho : {s.rho_gas, s.rho_liquid}) {
            SCOPED_TRACE(rho);
            core.model.warm = false;
            const pcsaf::ResidualValues mine =
                pcsaf::residual(*host::Host::current(), core.model, rho, {true, true, true, true});
            ASSERT_FALSE(mine.association_failed);
            const auto r = model::t_rho_derivatives(*residual, c.t, rho, x);
            expect_close(r.a, mine.a, 1e-13, "a");
            expect_close(r.a_rho, mine.a_rho, 1e-13, "a_rho");
            expect_close(r.a_rhorho, mine.a_rhorho, 1e-12, "a_rhorho");
            expect_close(r.a_t, mine.a_t, 1e-12, "a_t");
            // The monitor's composition derivatives treat each mole fraction as independent.
            for (std::size_t k = 0; k < x.size(); ++k) {
                std::vector<model::D1> xs(x.begin(), x.end());
                xs[k].d = 1.0;
                const model::D1 a = f.alphar(model::D1(c.t), model::D1(rho), xs.data());
                EXPECT_NEAR(a.d, core.model.dadx[k], 1e-12 * (1.0 + std::fabs(core.model.dadx[k]))) << k;
            }
        }
    }
}

TEST(PcSaftAssocFamily, DerivativesEqualComplexSteps) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        PcsafSystem sys;
        const PcsafCall c = s.build(sys);
        sys.host.install();
        const std::vector<double> x = MonitorCore(sys, c).x();
        const model::PcSaftAssocFamily f(parameters(sys, c.idx));
        const auto residual = model::make_residual(f);
        for (double rho : {s.rho_gas, s.rho_liquid}) {
            SCOPED_TRACE(rho);
            const auto ad = model::t_rho_derivatives(*residual, c.t, rho, x);
            const ReferenceFamily reference(sys, c.idx, x);
            const auto cs = complex_step_t_rho(reference, c.t, rho, x);
            expect_close(ad.a_t, cs.a_t, 1e-12, "a_t");
            expect_close(ad.a_rho, cs.a_rho, 1e-12, "a_rho");
            expect_close(ad.a_tt, cs.a_tt, 1e-11, "a_tt");
            expect_close(ad.a_trho, cs.a_trho, 1e-11, "a_trho");
            expect_close(ad.a_rhorho, cs.a_rhorho, 1e-11, "a_rhorho");
            expect_close(ad.a_rhorhorho, cs.a_rhorhorho, 1e-10, "a_rhorhorho");

            // Amounts: the same state as n = x kmol in V = 1/rho m3.
            const double v = 1.0 / rho;
            const auto an = model::amount_derivatives(*residual, c.t, v, x, {true, true, true, true});
            const auto cn = complex_step_amounts(reference, c.t, v, x);
            const std::size_t n = x.size();
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
                    euler += x[j] * an.hessian[i * n + j];
                    size += std::fabs(x[j] * an.hessian[i * n + j]);
                }
                EXPECT_NEAR(euler, 0.0, 1e-12 * size);
            }
        }
    }
}

// The critical-point table's fourth-order entries, d4/drho4 and d4/dT drho3, need the site fractions
// exact to a higher order than the other derivatives: against the reference's complex steps of a
// third-order Taylor number in rho.
TEST(PcSaftAssocFamily, FourthOrderTableEqualsComplexSteps) {
    using TC = ad::Taylor<C, 3>;
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        PcsafSystem sys;
        const PcsafCall c = s.build(sys);
        sys.host.install();
        const std::vector<double> x = MonitorCore(sys, c).x();
        std::vector<ModelComponent> described;
        for (std::size_t k = 0; k < x.size(); ++k) described.push_back({std::string(1, static_cast<char>('a' + k)), 50.0, 50.0});
        const Model m("pcsaft-assoc", described, model::make_residual(model::PcSaftAssocFamily(parameters(sys, c.idx))));
        const ReferenceFamily reference(sys, c.idx, x);
        for (double rho : {s.rho_gas, s.rho_liquid}) {
            SCOPED_TRACE(rho);
            const AlpharDerivativeTable table = m.derivative_table(c.t, rho, x);
            // Third Taylor coefficient in rho, at T and rho each shifted by i h or not.
            auto third = [&](double t_step, double rho_step) {
                std::vector<TC> xs(x.begin(), x.end());
                TC t{C(c.t, t_step)}, r{C(rho, rho_step)};
                r.c[1] = C(1.0);
                return 6.0 * reference.alphar(t, r, xs.data()).c[3];
            };
            expect_close(table.a[0][3], third(0.0, 0.0).real(), 1e-10, "d3/drho3");
            // The reference's site fractions converge to about 1e-9 of these small higher derivatives.
            const double d4 = third(0.0, kStep).imag() / kStep, d4t = third(kStep, 0.0).imag() / kStep;
            EXPECT_NEAR(table.a[0][4], d4, 1e-8 * std::max(std::fabs(d4), 1.0)) << "d4/drho4";
            EXPECT_NEAR(table.a[1][3], d4t, 1e-8 * std::max(std::fabs(d4t), 1.0)) << "d4/dT drho3";
        }
    }
}

}  // namespace
}  // namespace keld::testing
