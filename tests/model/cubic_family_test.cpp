// The SRK cubic as a model family: built from plain parameters read off a
// reference host's store, it gives what KELD_ES40 gives for the same host at
// the monitor's own volume (every output: the model's automatic derivatives
// against the monitor's closed forms) and at the model's own density root;
// every automatic derivative equals complex steps; and states or parameters
// the rules cannot describe are refused. One table of systems: a pure fluid
// (Soave and Mathias-Copeman, below and above Tc), natural gas with van der
// Waals k_ij, acetone + methanol + n-hexane under every excess-Gibbs rule and
// every activity model, acetone + methanol + water by MHV2 and UNIFAC, and
// polystyrene in toluene (units per molecule, UNIQUAC sizes and UNIFAC groups
// from the styrene unit).
#include "model/families/cubic_family.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "complex_step.h"
#include "cubic/cubic_fixture.h"
#include "host/host.h"
#include "keld/model.hpp"
#include "model/derivatives.h"

namespace keld::testing {
namespace {

using refhost::ReferenceHost;

struct State {
    double t, p;
    Phase phase;
};

struct System {
    std::string label;
    std::string file;  // under examples/; empty: the cubic test case (tests/cubic/cubic_fixture.h)
    std::vector<std::string> ids;
    std::vector<double> z;  // apparent mole fractions
    std::int64_t krule, kmodel, keosopt;
    std::vector<State> states;
};

const State kLiquid{300.0, 1e5, Phase::liquid}, kVapour{420.0, 2e4, Phase::vapour};
const std::vector<std::string> kAmh{"ACETONE", "METHANOL", "HEXANE"};
const std::vector<double> kAmhZ{0.3, 0.3, 0.4};
const char *const kRuleNames[] = {"", "vdW", "WS", "MHV1", "MHV2"};
const char *const kModelNames[] = {"", "ideal", "Redlich-Kister", "Wilson", "Van Laar", "NRTL", "UNIQUAC", "UNIFAC"};

std::vector<System> systems() {
    std::vector<System> all = {
        {"methanol, Soave", "", {"METHANOL"}, {1.0}, 1, 1, 0, {kLiquid, {600.0, 1e5, Phase::vapour}}},
        {"methanol, Mathias-Copeman", "", {"METHANOL"}, {1.0}, 1, 1, 2, {kLiquid, {600.0, 1e5, Phase::vapour}}},
        {"natural gas, vdW with k_ij", "light-gases-srk.json", {"CH4", "C2H6", "C3H8", "NC4", "N2"},
         {0.85, 0.07, 0.03, 0.02, 0.03}, 1, 1, 0, {{280.0, 5e6, Phase::vapour}, {300.0, 101325.0, Phase::vapour}}},
        {"propane liquid, vdW", "light-gases-srk.json", {"C3H8"}, {1.0}, 1, 1, 0, {{231.0, 101325.0, Phase::liquid}}},
        {"acetone + methanol + water, MHV2-UNIFAC", "acetone-methanol-water-mhv2.json",
         {"ACETONE", "METHANOL", "WATER"}, {0.3, 0.3, 0.4}, 4, 7, 0, {{330.0, 1e5, Phase::liquid}, {400.0, 5e4, Phase::vapour}}},
        {"acetone + methanol + n-hexane, vdW", "", kAmh, kAmhZ, 1, 1, 0, {kLiquid, kVapour}},
        {"polystyrene + toluene, WS-UNIFAC", "polystyrene-toluene-wong-sandler.json", {"TOLUENE", "PS"}, {0.6, 0.4}, 2, 7,
         0, {{350.0, 1e5, Phase::liquid}}},
        {"polystyrene + toluene, WS-Redlich-Kister", "", {"TOLUENE", "PS"}, {0.8, 0.2}, 2, 2, 0, {{350.0, 1e5, Phase::liquid}}},
        {"polystyrene + toluene, MHV1-UNIQUAC", "", {"TOLUENE", "PS"}, {0.8, 0.2}, 3, 6, 0, {{350.0, 1e5, Phase::liquid}}},
        {"polystyrene + toluene, MHV2-Wilson", "", {"TOLUENE", "PS"}, {0.8, 0.2}, 4, 3, 0, {{350.0, 5e6, Phase::liquid}}},
    };
    for (std::int64_t rule = 2; rule <= 4; ++rule)
        for (std::int64_t model = 1; model <= 7; ++model)
            all.push_back({std::string("acetone + methanol + n-hexane, ") + kRuleNames[rule] + "-" + kModelNames[model], "",
                           kAmh, kAmhZ, rule, model, 0, {kLiquid, kVapour}});
    return all;
}

double stored(double v) { return v == ReferenceHost::missing_value ? std::nan("") : v; }

refhost::Case load(const System &s) {
    refhost::Case c = s.file.empty() ? refhost::parse_case(kCubicCase)
                                     : refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/" + s.file);
    if (s.file.empty()) {
        const double record[3] = {1.0, -0.3, 0.2};  // Mathias-Copeman constants of methanol (KEOSOPT = 2)
        c.host->set_record("RKSMC", c.host->component_number("METHANOL"), record);
    }
    c.host->install();
    c.host->capture_messages();
    return c;
}

// The host's system as the monitor sees it (listed components, KRULE, KMODEL, KEOSOPT) and the same
// system in plain parameters, read off the store.
struct Built {
    refhost::Case c;
    std::vector<std::int64_t> idx;
    std::vector<CubicComponent> components;
    CubicOptions options;
    std::vector<double> units;  // per molecule: MWN/MW of a polymer, else 1

    Model model() const { return Model::cubic(components, options); }
    model::CubicFamily family() const { return model::CubicFamily(model::cubic_parameters(components, options)); }
    // True mole fractions (molecules) from apparent ones.
    std::vector<double> molecules(const std::vector<double> &z) const {
        std::vector<double> x(z.size());
        double total = 0.0;
        for (std::size_t k = 0; k < z.size(); ++k) total += x[k] = z[k] / units[k];
        for (double &v : x) v /= total;
        return x;
    }
};

// A polymer without UNIQUAC sizes or groups of its own is made of one segment of its own MW here.
std::int64_t only_segment(const ReferenceHost &h, std::int64_t polymer) {
    for (std::int64_t j = 1; j <= h.component_count(); ++j)
        if (h.is_segment(j)) {
            EXPECT_EQ(h.component_value("MW", j), h.component_value("MW", polymer));
            return j;
        }
    ADD_FAILURE() << "no segment";
    return polymer;
}

// Labels of the table's subgroups (S1, S2, ...) and main groups (M1, ...).
std::string label(char kind, std::int64_t number) {
    std::string text(1, kind);
    text.append(std::to_string(number));
    return text;
}

void read_unifac(const ReferenceHost &h, const std::vector<std::int64_t> &idx, UnifacParameters &u) {
    const keld_host &table = host::Host::current()->table();
    const double *w = table.group_table;
    const auto ns = static_cast<std::int64_t>(w[0]), nm = static_cast<std::int64_t>(w[1]);
    std::vector<bool> used(static_cast<std::size_t>(nm) + 1, false);
    for (std::int64_t s = 0; s < ns; ++s) {
        const auto main = static_cast<std::int64_t>(w[2 + 4 * s]);
        used[main] = true;
        u.subgroups.push_back({label('S', s + 1), label('M', main), w[3 + 4 * s], w[4 + 4 * s]});
    }
    const double *a = w + 2 + 4 * ns;
    for (std::int64_t k = 0; k < nm; ++k)
        for (std::int64_t m = 0; m < nm; ++m) {
            const double v = a[m + nm * k];
            if (m != k && used[m + 1] && used[k + 1] && std::isfinite(v) && v != ReferenceHost::missing_value)
                u.interactions.push_back({label('M', m + 1), label('M', k + 1), v});
        }
    const double *counts = a + nm * nm;
    const std::int64_t nc = h.component_count();
    for (std::int64_t i : idx) {
        auto groups_of = [&](std::int64_t c) {
            std::vector<std::pair<std::string, double>> g;
            for (std::int64_t s = 0; s < ns; ++s)
                if (counts[s * nc + c - 1] > 0.0) g.emplace_back(label('S', s + 1), counts[s * nc + c - 1]);
            return g;
        };
        auto g = groups_of(i);
        if (g.empty() && (h.is_polymer(i) || h.is_oligomer(i))) g = groups_of(only_segment(h, i));
        u.groups.push_back(g);
    }
}

// With `adjust`, the store is changed before the parameters are read.
Built build(const System &s, const std::function<void(ReferenceHost &)> &adjust = {}) {
    Built b{load(s), {}, {}, {}, {}};
    ReferenceHost &h = *b.c.host;
    if (adjust) adjust(h);
    for (const std::string &id : s.ids) b.idx.push_back(h.component_number(id));
    const std::size_t n = b.idx.size();
    CubicOptions &o = b.options;
    o.rule = s.krule == 2   ? CubicMixingRule::wong_sandler
             : s.krule == 3 ? CubicMixingRule::mhv1
             : s.krule == 4 ? CubicMixingRule::mhv2
                            : CubicMixingRule::van_der_waals;
    o.excess_gibbs = static_cast<ExcessGibbsModel>(s.kmodel - 1);
    auto matrix = [&](const char *name) {
        std::vector<double> m(n * n, std::nan(""));
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j)
                if (i != j) m[i * n + j] = stored(h.binary(name, b.idx[i], b.idx[j]));
        return m;
    };
    o.kij = matrix(s.krule == 2 ? "RKSWSK" : "RKSKIJ");
    o.ge_a = matrix("GEAIJ");
    o.ge_b = matrix("GEBIJ");
    o.nrtl_alpha = matrix("GEALF");
    for (std::int64_t i : b.idx) {
        const bool polymer = h.is_polymer(i) || h.is_oligomer(i);
        const double mw = h.component_value("MW", i), mwn = h.number_average_mw(i);
        b.components.push_back({h.identifier(i), polymer ? mwn : mw, stored(h.unary("TCRKS", i)),
                                stored(h.unary("PCRKS", i)), stored(h.unary("OMGRKS", i)), polymer ? mw : 0.0});
        b.units.push_back(polymer ? mwn / mw : 1.0);
        const double c1 = h.record("RKSMC", i, 1);
        if (s.keosopt == 2 && c1 != ReferenceHost::missing_value) {
            auto word = [&](int k) { return h.record("RKSMC", i, k) == ReferenceHost::missing_value ? 0.0 : h.record("RKSMC", i, k); };
            o.mathias_copeman.push_back({c1, word(2), word(3)});
        } else {
            o.mathias_copeman.push_back({});
        }
        const std::int64_t sized = std::isnan(stored(h.unary("UNIQR", i))) && polymer ? only_segment(h, i) : i;
        o.uniquac_r.push_back(stored(h.unary("UNIQR", sized)));
        o.uniquac_q.push_back(stored(h.unary("UNIQQ", sized)));
    }
    if (s.krule >= 2 && s.kmodel == 7) read_unifac(h, b.idx, o.unifac);
    return b;
}

Es40Result monitor(const Built &b, const std::vector<double> &z, const State &st, std::int64_t krule,
                   std::int64_t kmodel, std::int64_t keosopt) {
    Es40 a;
    a.t = st.t;
    a.p = st.p;
    a.idx = b.idx;
    a.z = z;
    a.kvl = st.phase == Phase::liquid ? 2 : 1;
    a.krule = krule;
    a.kmodel = kmodel;
    a.keosopt = keosopt;
    return call_es40(a);
}

void expect_relative(double got, double want, double tolerance, const char *what) {
    EXPECT_NEAR(got, want, tolerance * std::fabs(want)) << what;
}

// Every output of KELD_ES40 against the model's properties at the monitor's own volume: ln phi and the
// departures from F and its first derivatives, DPHI, DH, DS, DV from the second.
TEST(CubicFamily, EqualsTheMonitorAtItsOwnVolume) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.label);
        const Built b = build(s);
        const Model m = b.model();
        const std::vector<double> x = b.molecules(s.z);
        for (const State &st : s.states) {
            SCOPED_TRACE(std::to_string(st.t) + " K, " + std::to_string(st.p) + " Pa");
            const Es40Result r = monitor(b, s.z, st, s.krule, s.kmodel, s.keosopt);
            ASSERT_EQ(r.kret, 1);
            double units = 0.0;
            for (std::size_t k = 0; k < x.size(); ++k) units += x[k] * b.units[k];
            const Properties p = properties(m, st.t, 1.0 / (r.v * units), x);
            const double factor = 1.0 / units;  // apparent per true kmol
            expect_relative(p.p, st.p, 1e-10, "P at the monitor's volume");
            for (std::size_t k = 0; k < x.size(); ++k) {
                EXPECT_NEAR(p.ln_phi_apparent[k], r.phi[k], 1e-12 * (1.0 + std::fabs(r.phi[k]))) << k;
                EXPECT_NEAR(p.dln_phi_dt[k], r.dphi[k], 1e-11 * std::fabs(r.dphi[k]) + 1e-16) << k;
            }
            expect_relative(p.h_res_apparent, r.h, 1e-11, "H");
            expect_relative(p.s_departure_apparent, r.s, 1e-11, "S");
            expect_relative(p.g_departure_apparent, r.g, 1e-11, "G");
            expect_relative(p.cp_res * factor, r.dh, 1e-10, "DH = Cp_res");
            expect_relative(p.cp_res * factor / st.t, r.ds, 1e-10, "DS");
            expect_relative(-p.s_departure_apparent, r.dg, 1e-11, "DG");
            expect_relative(p.dv_dt * factor, r.dv, 1e-10, "DV");
        }
    }
}

// The model's own density root on its P(rho) is the monitor's.
TEST(CubicFamily, EqualsTheMonitorAtTheModelsRoot) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.label);
        const Built b = build(s);
        const Model m = b.model();
        const std::vector<double> x = b.molecules(s.z);
        for (const State &st : s.states) {
            SCOPED_TRACE(std::to_string(st.t) + " K, " + std::to_string(st.p) + " Pa");
            const Es40Result r = monitor(b, s.z, st, s.krule, s.kmodel, s.keosopt);
            ASSERT_EQ(r.kret, 1);
            const std::optional<Properties> p = properties_at_pressure(m, st.t, st.p, x, st.phase);
            ASSERT_TRUE(p.has_value());
            // Two roots a few last bits of rho apart differ in P by about 4.5e-16 rho dP/drho each, and in
            // ln phi by that times d ln phi/dP (for a liquid at 1 bar some 1e-12 by itself).
            const double root_resolution = 2.0 * 4.5e-16 * p->rho * p->dp_drho;
            for (std::size_t k = 0; k < x.size(); ++k)
                EXPECT_NEAR(p->ln_phi_apparent[k], r.phi[k],
                            1e-12 * (1.0 + std::fabs(r.phi[k])) + root_resolution * std::fabs(p->dln_phi_dp[k]))
                    << k;
            expect_relative(p->v_apparent, r.v, 1e-12, "V");
            expect_relative(p->h_res_apparent, r.h, 1e-10, "H");
            expect_relative(p->s_departure_apparent, r.s, 1e-10, "S");
            expect_relative(p->g_departure_apparent, r.g, 1e-10, "G");
        }
    }
}

// Every automatic derivative against complex steps, in a gas and near the covolume, at the system's
// composition and (for mixtures) with its last component absent: the derivatives towards an absent
// component are those of the limit, not of a formula that skipped its terms.
TEST(CubicFamily, DerivativesEqualComplexSteps) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.label);
        const Built b = build(s);
        const model::CubicFamily f = b.family();
        const auto residual = model::cubic_residual(model::cubic_parameters(b.components, b.options));
        std::vector<std::vector<double>> compositions{b.molecules(s.z)};
        if (s.z.size() > 1) {
            std::vector<double> z = s.z;
            z.back() = 0.0;
            compositions.push_back(b.molecules(z));
        }
        const double t = s.states.front().t;
        for (const std::vector<double> &x : compositions) {
            const double rho_max = f.max_density(t, x.data());
            for (double rho : {0.01 * rho_max, 0.9 * rho_max}) {
                SCOPED_TRACE("x_last " + std::to_string(x.back()) + ", rho " + std::to_string(rho));
                const auto ad = model::t_rho_derivatives(*residual, t, rho, x);
                const auto cs = complex_step_t_rho(f, t, rho, x);
                expect_relative(ad.a, cs.a, 1e-15, "a");
                expect_relative(ad.a_t, cs.a_t, 1e-12, "a_t");
                expect_relative(ad.a_rho, cs.a_rho, 1e-12, "a_rho");
                expect_relative(ad.a_tt, cs.a_tt, 1e-11, "a_tt");
                expect_relative(ad.a_trho, cs.a_trho, 1e-11, "a_trho");
                expect_relative(ad.a_rhorho, cs.a_rhorho, 1e-11, "a_rhorho");
                expect_relative(ad.a_rhorhorho, cs.a_rhorhorho, 1e-10, "a_rhorhorho");

                const double v = 1.0 / rho;  // n = x kmol in V = 1/rho m3
                const auto an = model::amount_derivatives(*residual, t, v, x, {true, true, true, true});
                const auto cn = complex_step_amounts(f, t, v, x);
                const std::size_t n = x.size();
                for (std::size_t i = 0; i < n; ++i) {
                    EXPECT_NEAR(an.gradient[i], cn.gradient[i], 1e-12 * (1.0 + std::fabs(cn.gradient[i]))) << i;
                    expect_relative(an.d_v[i], cn.d_v[i], 1e-10, "d_v");
                    expect_relative(an.d_t[i], cn.d_t[i], 1e-10, "d_t");
                    double euler = v * an.d_v[i], size = std::fabs(v * an.d_v[i]);
                    for (std::size_t j = 0; j < n; ++j) {
                        const double scale = std::sqrt(std::fabs(cn.hessian[i * n + i] * cn.hessian[j * n + j]));
                        EXPECT_NEAR(an.hessian[i * n + j], cn.hessian[i * n + j], 1e-10 * scale) << i << j;
                        EXPECT_EQ(an.hessian[i * n + j], an.hessian[j * n + i]);
                        euler += x[j] * an.hessian[i * n + j];
                        size += std::fabs(x[j] * an.hessian[i * n + j]);
                    }
                    // Psi_i is homogeneous of degree 0 in (n, V): sum_j n_j Psi_ij + V Psi_iV = 0.
                    EXPECT_NEAR(euler, 0.0, 1e-12 * size) << i;
                }
            }
        }
    }
}

// The model ends at the covolume of the rule: b = sum x b_i (van der Waals, MHV), Q/(1 - D_WS)
// (Wong-Sandler, which depends on T).
TEST(CubicFamily, MaxDensityIsTheCovolume) {
    const std::vector<CubicComponent> c{{"METHANE", 16.043, 190.6, 4600155.0, 0.008},
                                        {"PROPANE", 44.097, 369.95, 4245518.0, 0.152}};
    const std::vector<double> x{0.4, 0.6};
    double b = 0.0;
    for (std::size_t k = 0; k < c.size(); ++k) b += x[k] * 0.08664 * kGasConstant * c[k].tc / c[k].pc;
    const Model vdw = Model::cubic(c, {});
    EXPECT_NEAR(vdw.max_density(300.0, x) * b, 1.0, 1e-15);
    EXPECT_EQ(vdw.max_density(300.0, x), vdw.max_density(500.0, x));
    EXPECT_TRUE(std::isfinite(vdw.alphar(300.0, 0.999 / b, x)));
    EXPECT_TRUE(std::isnan(vdw.alphar(300.0, 1.001 / b, x)));

    CubicOptions ws;
    ws.rule = CubicMixingRule::wong_sandler;
    ws.kij = {0.0, 0.1, 0.1, 0.0};
    const Model m = Model::cubic(c, ws);
    const double rho_max = m.max_density(300.0, x);
    EXPECT_NE(rho_max, m.max_density(400.0, x));
    EXPECT_TRUE(std::isfinite(m.alphar(300.0, (1.0 - 1e-9) * rho_max, x)));
    EXPECT_TRUE(std::isnan(m.alphar(300.0, (1.0 + 1e-9) * rho_max, x)));
    const auto liquid = density(m, 200.0, 5e6, x, Phase::liquid);
    ASSERT_TRUE(liquid.has_value());
    EXPECT_LT(*liquid, m.max_density(200.0, x));
}

// States a rule cannot describe are refused by the model (alpha_r NaN, no density root) exactly where
// the monitor refuses them.
TEST(CubicFamily, RefusesTheStatesTheMonitorRefuses) {
    struct Case {
        const char *what;
        std::int64_t krule, kmodel;
        std::vector<std::tuple<const char *, double, double>> ge;  // GEAIJ(acetone, methanol), (methanol, acetone)
        bool pure_described;  // a pure component listed with the other (Van Laar refuses the pair at any x)
    };
    const Case cases[] = {
        {"MHV2 without a real root", 4, 2, {{"GEAIJ", 200.0, 200.0}}, true},
        {"Wong-Sandler without a positive covolume", 2, 2, {{"GEAIJ", 40.0, 40.0}}, true},
        {"Van Laar limits of opposite sign", 2, 4, {{"GEAIJ", 1.0, -1.0}, {"GEBIJ", 0.0, 0.0}}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const System s{c.what, "", {"ACETONE", "METHANOL"}, {0.5, 0.5}, c.krule, c.kmodel, 0, {kLiquid}};
        const Built b = build(s, [&](ReferenceHost &h) {
            for (const auto &[name, am, ma] : c.ge) {
                h.set_binary(name, 1, 2, am);
                h.set_binary(name, 2, 1, ma);
            }
        });
        EXPECT_EQ(monitor(b, s.z, kLiquid, c.krule, c.kmodel, 0).kret, 0);
        const Model m = b.model();
        const std::vector<double> x = b.molecules(s.z);
        EXPECT_TRUE(std::isnan(m.alphar(kLiquid.t, 10.0, x)));
        // Every derivative is not a number either: no pressure, no fugacity, not the ideal gas's.
        const AlpharDerivatives d = m.derivatives(kLiquid.t, 10.0, x);
        for (double v : {d.a_t, d.a_rho, d.a_tt, d.a_trho, d.a_rhorho, d.a_rhorhorho}) EXPECT_TRUE(std::isnan(v));
        const Properties p = properties(m, kLiquid.t, 10.0, x);
        EXPECT_TRUE(std::isnan(p.p));
        EXPECT_TRUE(std::isnan(p.ln_phi[0]) && std::isnan(p.ln_phi[1]));
        EXPECT_FALSE(density(m, kLiquid.t, kLiquid.p, x, Phase::liquid).has_value());
        EXPECT_FALSE(density(m, kLiquid.t, kLiquid.p, x, Phase::vapour).has_value());
        const std::vector<double> pure{1.0, 0.0};
        EXPECT_EQ(std::isfinite(m.alphar(kLiquid.t, 10.0, pure)), c.pure_described);
        Es40 one;
        one.idx = b.idx;
        one.z = pure;
        one.krule = c.krule;
        one.kmodel = c.kmodel;
        EXPECT_EQ(call_es40(one).kret == 1, c.pure_described);
    }
}

// Parameters that describe no model are refused when the model is built, naming what is missing.
TEST(CubicFamily, RefusesIncompleteParameters) {
    const std::vector<CubicComponent> base{{"ACETONE", 58.08, 508.1, 4701480.0, 0.309},
                                           {"METHANOL", 32.042, 512.6, 8095868.0, 0.559}};
    const double nan = std::nan("");
    auto with = [](CubicMixingRule rule, ExcessGibbsModel model) {
        CubicOptions o;
        o.rule = rule;
        o.excess_gibbs = model;
        o.ge_a = {0.0, 0.1, 0.05, 0.0};
        o.ge_b = {0.0, 50.0, 120.0, 0.0};
        o.nrtl_alpha = {0.0, 0.3, std::nan(""), 0.0};
        o.uniquac_r = {2.5735, 1.43};
        o.uniquac_q = {2.336, 1.43};
        o.unifac.subgroups = {{"CH3", "CH2", 0.9011, 0.848}, {"CH3CO", "CH2CO", 1.6724, 1.488}, {"CH3OH", "CH3OH", 1.4311, 1.432}};
        o.unifac.interactions = {{"CH2", "CH2CO", 476.4}, {"CH2CO", "CH2", 26.76}, {"CH2", "CH3OH", 697.2},
                                 {"CH3OH", "CH2", 16.51}, {"CH2CO", "CH3OH", 108.7}, {"CH3OH", "CH2CO", 23.39}};
        o.unifac.groups = {{{"CH3", 1.0}, {"CH3CO", 1.0}}, {{"CH3OH", 1.0}}};
        return o;
    };
    struct Case {
        const char *what;
        std::function<void(std::vector<CubicComponent> &, CubicOptions &)> change;
        const char *message;  // empty: built
    };
    const CubicMixingRule ws = CubicMixingRule::wong_sandler;
    const std::vector<Case> cases = {
        {"complete", [](auto &, auto &) {}, ""},
        {"no Tc", [](auto &c, auto &) { c[0].tc = 0.0; }, "ACETONE: Tc and Pc"},
        {"no Pc", [&](auto &c, auto &) { c[1].pc = nan; }, "METHANOL: Tc and Pc"},
        {"no omega", [&](auto &c, auto &) { c[0].omega = nan; }, "ACETONE: Soave's alpha needs"},
        {"Mathias-Copeman instead of omega",
         [&](auto &c, auto &o) {
             c[0].omega = nan;
             o.mathias_copeman = {{0.9, -0.2}, {}};
         },
         ""},
        {"no molecular weight", [](auto &c, auto &) { c[1].mw = 0.0; }, "METHANOL: the molecular weight"},
        {"k_ij of the wrong size", [](auto &, auto &o) { o.kij = {0.1}; }, "k_ij needs N x N"},
        {"a pair without E_ij",
         [&](auto &, auto &o) {
             o.excess_gibbs = ExcessGibbsModel::wilson;
             o.ge_a[2] = o.ge_b[2] = nan;
         },
         "E_ij is needed for METHANOL and ACETONE"},
        {"E_ij from b_ij alone", [&](auto &, auto &o) { o.excess_gibbs = ExcessGibbsModel::wilson; o.ge_a.clear(); }, ""},
        {"NRTL alpha from the other order", [](auto &, auto &o) { o.excess_gibbs = ExcessGibbsModel::nrtl; }, ""},
        {"NRTL without alpha",
         [&](auto &, auto &o) {
             o.excess_gibbs = ExcessGibbsModel::nrtl;
             o.nrtl_alpha[1] = nan;
         },
         "NRTL alpha_ij is needed"},
        {"UNIQUAC without q", [](auto &, auto &o) { o.excess_gibbs = ExcessGibbsModel::uniquac; o.uniquac_q.pop_back(); },
         "UNIQUAC needs r and q"},
        {"UNIFAC", [](auto &, auto &o) { o.excess_gibbs = ExcessGibbsModel::unifac; }, ""},
        {"UNIFAC without an interaction",
         [](auto &, auto &o) {
             o.excess_gibbs = ExcessGibbsModel::unifac;
             o.unifac.interactions.pop_back();
         },
         "no UNIFAC interaction between main groups CH3OH and CH2CO"},
        {"UNIFAC with an unknown subgroup",
         [](auto &, auto &o) {
             o.excess_gibbs = ExcessGibbsModel::unifac;
             o.unifac.groups[1] = {{"OH", 1.0}};
         },
         "METHANOL: unknown UNIFAC subgroup OH"},
        {"UNIFAC without groups",
         [](auto &, auto &o) {
             o.excess_gibbs = ExcessGibbsModel::unifac;
             o.unifac.groups[1].clear();
         },
         "METHANOL: no UNIFAC groups"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<CubicComponent> components = base;
        CubicOptions options = with(ws, ExcessGibbsModel::redlich_kister);
        c.change(components, options);
        if (std::string(c.message).empty()) {
            const Model m = Model::cubic(components, options);
            EXPECT_TRUE(std::isfinite(m.alphar(320.0, 10.0, std::vector<double>{0.5, 0.5})));
            continue;
        }
        try {
            Model::cubic(components, options);
            ADD_FAILURE() << "built";
        } catch (const std::invalid_argument &e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace keld::testing
