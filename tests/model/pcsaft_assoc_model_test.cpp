// Model::pcsaft_assoc: the model built from published parameters equals the associating PC-SAFT monitor
// at its root for the example systems (water + methanol with water 2B and 4C, methanol + n-hexane,
// polystyrene by its segments in toluene + ethanol), site schemes, and what the constructor refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "keld/model.hpp"
#include "support/pcsaf_systems.h"

namespace keld::testing {
namespace {

// Published parameters (Gross and Sadowski 2001, 2002; Rehner and Gross 2020), as in the examples.
const PcSaftAssocComponent kPublishedWater2B{.name = "WATER", .mw = 18.015, .m = 1.0656, .sigma = 3.0007, .epsilon_k = 366.51,
                                    .sites = "2B", .kappa_ab = 0.034868, .epsilon_ab_k = 2500.7};
const PcSaftAssocComponent kPublishedWater4C{.name = "WATER", .mw = 18.015, .m = 1.8668282082622842,
                                    .sigma = 2.395032022200541, .epsilon_k = 169.7751872692369, .sites = "4C",
                                    .kappa_ab = 0.13373757842938191, .epsilon_ab_k = 1772.0393059972052};
const PcSaftAssocComponent kPublishedMethanol{.name = "METHANOL", .mw = 32.042, .m = 1.5255, .sigma = 3.23,
                                     .epsilon_k = 188.9, .sites = "2B", .kappa_ab = 0.035176, .epsilon_ab_k = 2899.5};
const PcSaftAssocComponent kEthanol{.name = "ETHANOL", .mw = 46.069, .m = 2.3827, .sigma = 3.1771,
                                    .epsilon_k = 198.24, .sites = "2B", .kappa_ab = 0.032384, .epsilon_ab_k = 2653.4};
const PcSaftAssocComponent kHexane{.name = "HEXANE", .mw = 86.177, .m = 3.0576, .sigma = 3.7983, .epsilon_k = 236.77};
const PcSaftAssocComponent kToluene{.name = "TOLUENE", .mw = 92.141, .m = 2.8149, .sigma = 3.7169, .epsilon_k = 285.69};
// Polystyrene of Mn 1e5 by its styrene units (m/MW 0.019 mol/g), counted by the host in units.
const PcSaftAssocSegment kStyrene{.name = "STY", .mass_fraction = 1.0, .mw = 104.152, .segment_ratio = 0.019,
                                  .sigma = 4.1071, .epsilon_k = 267.0};
const PcSaftAssocComponent kPolystyrene{.name = "PS", .mw = 1e5, .mw_apparent = 104.152, .segments = {kStyrene}};

// The same molecule or segment type as the monitor's arrays take it (2B or 4C sites, or none).
template <class C>
AssocFluid monitor_fluid(const C &c, double m) {
    const bool assoc = c.sites.any();
    const std::int64_t type = !assoc ? 0 : c.sites.negative == 2 ? 4 : 2;
    return {c.name.c_str(), c.mw, m, c.sigma, c.epsilon_k, assoc ? c.epsilon_ab_k : kNone,
            assoc ? c.kappa_ab : kNone, type, 500.0, 5e6};
}

struct State {
    const char *label;
    std::vector<PcSaftAssocComponent> components;
    std::vector<double> z;  // the host's mole fractions (the polymer counted in units)
    double t, p;
    Phase phase;
    std::vector<PcSaftAssocBinary> binaries = {};
};

// A copolymer of Mn 1e4 of a styrene-like unit (60 % of its mass) and a hydroxyl-bearing 2B unit with a
// dipole on half of its segments, and its k_ij with methanol.
const PcSaftAssocSegment kUnitA{.name = "UNITA", .mass_fraction = 0.6, .mw = 104.15, .segment_ratio = 1.979 / 104.15,
                                .sigma = 4.1072, .epsilon_k = 267.0};
const PcSaftAssocSegment kUnitB{.name = "UNITB", .mass_fraction = 0.4, .mw = 44.05, .segment_ratio = 1.20 / 44.05,
                                .sigma = 3.30, .epsilon_k = 250.0, .sites = "2B", .kappa_ab = 0.02,
                                .epsilon_ab_k = 2300.0, .dipole = 1.5, .dipolar_fraction = 0.5};
const PcSaftAssocComponent kCopolymer{.name = "COPOLY", .mw = 1e4, .mw_apparent = 104.15, .segments = {kUnitA, kUnitB}};

std::vector<State> states() {
    const double b = 1e5;
    // Mole fractions of the host from mass fractions: units of MW_apparent for the polymer.
    const auto by_mass = [](std::vector<double> w, std::vector<double> mw) {
        double total = 0.0;
        for (std::size_t k = 0; k < w.size(); ++k) total += (w[k] /= mw[k]);
        for (double &v : w) v /= total;
        return w;
    };
    return {
        {"water 2B + methanol, equimolar liquid", {kPublishedWater2B, kPublishedMethanol}, {0.5, 0.5}, 298.15, b, Phase::liquid},
        {"water 4C + methanol, equimolar liquid", {kPublishedWater4C, kPublishedMethanol}, {0.5, 0.5}, 298.15, b, Phase::liquid},
        {"pure water 4C, liquid", {kPublishedWater4C}, {1.0}, 298.15, b, Phase::liquid},
        {"water 4C + methanol, vapour at 373.15 K", {kPublishedWater4C, kPublishedMethanol}, {0.3, 0.7}, 373.15, b, Phase::vapour},
        {"pure methanol, liquid", {kPublishedMethanol}, {1.0}, 298.15, b, Phase::liquid},
        {"methanol-rich liquid with n-hexane", {kPublishedMethanol, kHexane}, {0.8, 0.2}, 298.15, b, Phase::liquid},
        {"equimolar methanol + n-hexane, liquid", {kPublishedMethanol, kHexane}, {0.5, 0.5}, 298.15, b, Phase::liquid},
        {"hexane-rich liquid with methanol", {kPublishedMethanol, kHexane}, {0.1, 0.9}, 298.15, b, Phase::liquid},
        {"methanol + n-hexane, vapour at 350 K", {kPublishedMethanol, kHexane}, {0.6, 0.4}, 350.0, b, Phase::vapour},
        {"10 wt % PS in toluene", {kPolystyrene, kToluene}, by_mass({0.1, 0.9}, {104.152, 92.141}), 298.15, b,
         Phase::liquid},
        {"10 wt % PS, 30 wt % ethanol in toluene", {kPolystyrene, kToluene, kEthanol},
         by_mass({0.1, 0.6, 0.3}, {104.152, 92.141, 46.069}), 298.15, b, Phase::liquid},
        {"toluene + ethanol vapour at 350 K", {kToluene, kEthanol}, {0.6, 0.4}, 350.0, 0.3e5, Phase::vapour},
        {"copolymer of two segment types in methanol, k_ij", {kPublishedMethanol, kCopolymer}, {0.98, 0.02}, 330.0, b,
         Phase::liquid, {{"UNITA", "METHANOL", 0.03}}},
    };
}

// The monitor at (T, P) for the state's components, through the reference host.
PcsafResult monitor(const State &s) {
    PcsafSystem sys;
    PcsafCall c{.t = s.t, .p = s.p, .idx = {}, .z = s.z, .kvl = s.phase == Phase::liquid ? 2 : 1};
    std::map<std::string, std::int64_t> number;
    const auto add = [&](const auto &f, std::int64_t at) {
        number[f.name] = at;
        if (f.dipole > 0.0) sys.set_dipole(at, f.dipole, f.dipolar_fraction);
        return at;
    };
    for (const PcSaftAssocComponent &comp : s.components) {
        if (comp.segments.empty()) {
            c.idx.push_back(add(comp, sys.add(monitor_fluid(comp, comp.m))));
            continue;
        }
        std::vector<std::pair<std::int64_t, double>> units;
        for (const PcSaftAssocSegment &seg : comp.segments)
            units.push_back({add(seg, sys.add_segment(monitor_fluid(seg, seg.segment_ratio * seg.mw))),
                             seg.mass_fraction * comp.mw});
        c.idx.push_back(sys.add_polymer(comp.name.c_str(), comp.mw_apparent, units));
    }
    for (const PcSaftAssocBinary &b : s.binaries) sys.set_kij(number[b.first], number[b.second], {b.k_ij, 0, 0, 0, 0, 0});
    return sys.call(c);
}

// The model's molecules from the host's fractions (a polymer's units divided among its molecules).
std::vector<double> molecules(const State &s) {
    std::vector<double> n(s.z);
    for (std::size_t k = 0; k < n.size(); ++k)
        if (s.components[k].mw_apparent > 0.0) n[k] *= s.components[k].mw_apparent / s.components[k].mw;
    return n;
}

// Both compute ln phi = mu_res/RT - ln Z with Z = 1 + rho d(alpha_r)/d(rho) at the root. Their
// rho d(alpha_r)/d(rho) agree to about 6e-15 relative (the association term's by the monitor's derivative
// solve, the model's by automatic differentiation), but in a dense liquid at low pressure Z is the small
// remainder of that cancellation (7e-4 for water at 1 bar), which magnifies the difference in ln Z to
// 1e-14 |Z - 1|/Z (the monitor's own Z at its root differs from P/(rho R T) by up to 2e-11 there).
TEST(PcSaftAssocModel, EqualsTheMonitorAtTheRoot) {
    for (const State &s : states()) {
        SCOPED_TRACE(s.label);
        const PcsafResult r = monitor(s);
        ASSERT_EQ(r.status, 1);
        const Model model = Model::pcsaft_assoc(s.components, s.binaries);
        const auto p = properties_at_pressure(model, s.t, s.p, molecules(s), s.phase);
        ASSERT_TRUE(p.has_value());
        const double resolution_of_ln_z = 1e-14 * std::fabs(p->z - 1.0) / p->z;
        for (std::size_t k = 0; k < s.z.size(); ++k)
            EXPECT_NEAR(p->ln_phi_apparent[k], r.phi[k], 1e-12 * (1.0 + std::fabs(r.phi[k])) + resolution_of_ln_z) << k;
        EXPECT_NEAR(p->v_apparent / r.v, 1.0, 1e-12);
        EXPECT_NEAR(p->h_res_apparent / r.h, 1.0, 1e-10);
        EXPECT_NEAR(p->s_departure_apparent / r.s, 1.0, 1e-10);
        EXPECT_NEAR(p->g_departure_apparent / r.g, 1.0, 1e-10);
    }
}

// One model shared by threads: each thread's site fractions are its own (the solution a thread keeps
// for the derivatives of its state must never serve another thread's state).
TEST(PcSaftAssocModel, ThreadsShareOneModel) {
    const Model model = Model::pcsaft_assoc({kPublishedWater4C, kPublishedMethanol});
    const std::vector<std::vector<double>> compositions{{0.1, 0.9}, {0.5, 0.5}, {0.9, 0.1}, {0.3, 0.7}};
    std::vector<Properties> serial;
    for (const auto &x : compositions) serial.push_back(*properties_at_pressure(model, 310.0, 1e5, x, Phase::liquid));
    std::vector<int> mismatches(compositions.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < compositions.size(); ++k)
        threads.emplace_back([&, k] {
            for (int round = 0; round < 200; ++round) {
                const Properties p = *properties_at_pressure(model, 310.0, 1e5, compositions[k], Phase::liquid);
                mismatches[k] += p.ln_phi != serial[k].ln_phi || p.dln_phi_dn != serial[k].dln_phi_dn;
            }
        });
    for (std::thread &t : threads) t.join();
    for (std::size_t k = 0; k < compositions.size(); ++k) EXPECT_EQ(mismatches[k], 0) << k;
}

// A pure fluid cannot tell negative from positive sites: two negative and one positive give the
// alpha_r of one negative and two positive (a combination of its own, not one of the fixed types).
TEST(PcSaftAssocModel, SiteSchemesAndCounts) {
    PcSaftAssocComponent glycol{.name = "GLYCOL", .mw = 62.07, .m = 2.0, .sigma = 3.5, .epsilon_k = 300.0,
                                .sites = "3B", .kappa_ab = 0.02, .epsilon_ab_k = 2400.0};
    const std::vector<double> one{1.0};
    const double a = Model::pcsaft_assoc({glycol}).alphar(350.0, 15.0, one);
    glycol.sites = AssociationSites(1, 2);
    EXPECT_NEAR(Model::pcsaft_assoc({glycol}).alphar(350.0, 15.0, one) / a, 1.0, 1e-14);
    glycol.sites = AssociationSites(1, 1);
    EXPECT_GT(std::fabs(Model::pcsaft_assoc({glycol}).alphar(350.0, 15.0, one) / a - 1.0), 1e-3);

    const AssociationSites c4 = "4C", b4("4B"), a2 = std::string("2A");
    EXPECT_EQ(c4.negative * 100 + c4.positive * 10 + c4.bipolar, 220);
    EXPECT_EQ(b4.negative * 100 + b4.positive * 10 + b4.bipolar, 130);
    EXPECT_EQ(a2.negative * 100 + a2.positive * 10 + a2.bipolar, 2);
    EXPECT_THROW(AssociationSites("5X"), std::invalid_argument);
}

TEST(PcSaftAssocModel, RefusesWhatIsNoModel) {
    const auto with = [](std::function<void(PcSaftAssocComponent &)> change) {
        PcSaftAssocComponent c = kPublishedMethanol;
        change(c);
        return c;
    };
    PcSaftAssocComponent copolymer = kPolystyrene;
    copolymer.segments = {kStyrene, kStyrene};
    copolymer.segments[0].mass_fraction = 0.4;
    copolymer.segments[1].name = "MMA";
    copolymer.segments[1].mass_fraction = 0.5;
    struct Case {
        const char *what;
        std::vector<PcSaftAssocComponent> components;
        std::vector<PcSaftAssocBinary> binaries;
    };
    const Case cases[] = {
        {"no component", {}, {}},
        {"a name twice", {kPublishedMethanol, kPublishedMethanol}, {}},
        {"no segment diameter", {with([](auto &c) { c.sigma = 0.0; })}, {}},
        {"kappa^AB without sites", {with([](auto &c) { c.sites = {}; })}, {}},
        {"kappa^AB without eps^AB/k", {with([](auto &c) { c.epsilon_ab_k = 0.0; })}, {}},
        {"a dipole without x_p", {with([](auto &c) { c.dipole = 1.7; })}, {}},
        {"x_p above 1", {with([](auto &c) { c.dipole = 1.7, c.dipolar_fraction = 1.5; })}, {}},
        {"eleven sites", {with([](auto &c) { c.sites = AssociationSites(5, 6); })}, {}},
        {"segment fractions adding up to 0.9", {copolymer}, {}},
        {"a binary of an unknown component", {kPublishedMethanol, kHexane}, {{"METHANOL", "WATER", 0.01}}},
        {"a binary given twice", {kPublishedMethanol, kHexane}, {{"METHANOL", "HEXANE", 0.01}, {"HEXANE", "METHANOL", 0.02}}},
        {"cross association without sites", {kPublishedMethanol, kHexane}, {{"METHANOL", "HEXANE", 0.0, 0.0, 2000.0, 0.01}}},
    };
    for (const Case &c : cases) EXPECT_THROW(Model::pcsaft_assoc(c.components, c.binaries), std::invalid_argument) << c.what;
}

// Binary parameters by name reach the model: k_ij lowers the mixture's attraction, a cross association
// volume makes a non-self-associating acceptor (one negative site) bond with methanol.
TEST(PcSaftAssocModel, BinaryParametersByName) {
    const std::vector<double> x{0.5, 0.5};
    PcSaftAssocComponent acceptor = kToluene;
    acceptor.sites = AssociationSites(1, 0);
    const double plain = Model::pcsaft_assoc({kPublishedMethanol, acceptor}).alphar(300.0, 12.0, x);
    const double kij = Model::pcsaft_assoc({kPublishedMethanol, acceptor}, {{"METHANOL", "TOLUENE", 0.05}}).alphar(300.0, 12.0, x);
    const double solvated =
        Model::pcsaft_assoc({kPublishedMethanol, acceptor}, {{"TOLUENE", "METHANOL", 0.0, 0.0, 2000.0, 0.02}}).alphar(300.0, 12.0, x);
    EXPECT_GT(kij, plain);
    EXPECT_LT(solvated, plain - 0.1);
}

}  // namespace
}  // namespace keld::testing
