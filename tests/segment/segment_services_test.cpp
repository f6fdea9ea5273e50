// The segment-based monitors' calling convention and services: KELD_PCSFWK positions, KELD_SETEPS
// words, the ideal-gas exit, value-only results, the options, the vector forms, refusals of
// arguments they cannot honour (nothing written outside the work array) and of missing parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "segment/segment_systems.h"

using namespace keld::testing;
using keld::refhost::ReferenceHost;

namespace {

constexpr double kR = ReferenceHost::gas_constant;
const SegmentFamily kFamilies[] = {SegmentFamily::pcsaft, SegmentFamily::saft, SegmentFamily::sanchez_lacombe};

TEST(SegmentServices, WorkLayoutPositionsForTwoComponents) {
    std::int64_t k[37];
    for (auto &v : k) v = -1;
    const std::int64_t nc = 2;
    KELD_PCSFWK(&k[1], &k[2], &k[3], &k[4], &k[5], &k[6], &k[7], &k[8], &k[9], &k[10], &k[11], &k[12], &k[13],
                &k[14], &k[15], &k[16], &k[17], &k[18], &k[19], &k[20], &k[21], &k[22], &k[23], &k[24], &k[25],
                &k[26], &k[27], &k[28], &k[29], &k[30], &k[31], &k[32], &k[33], &k[34], &k[35], &k[36], &nc);
    const std::pair<int, std::int64_t> expected[] = {{25, 1},  {27, 3},  {9, 13},  {18, 31}, {19, 35},
                                                     {20, 39}, {24, 43}, {5, 65},  {6, 67},  {28, 5},
                                                     {31, 11}, {17, 29}, {22, 45}, {26, 47}, {34, 49},
                                                     {35, 53}, {36, 57}, {21, 61}};
    for (auto [argument, position] : expected) EXPECT_EQ(k[argument], position) << argument;
    for (int unused : {1, 2, 3, 4, 7, 8, 23, 32, 33}) EXPECT_EQ(k[unused], -1) << unused;
}

TEST(SegmentServices, EnergyCorrectionsFromFormulaWords) {
    const std::pair<const char *, double> words[] = {
        {"AR", 0.0},  {"H3N", 1.0},  {"H2O", 1.0},  {"CH4O", 1.0}, {"N2", 3.0},  {"CO", 4.2},   {"CL2", 18.0},
        {"CS2", 38.0}, {"CO2", 40.0}, {"ar", 10.0}, {"h2o", 10.0}, {"co2", 10.0}, {"cl2", 10.0}, {"C6H14", 10.0},
        {"CO2X", 10.0}, {"", 10.0}};
    ReferenceHost host;
    std::vector<std::int64_t> idx;
    for (const auto &[word, e] : words) {
        const std::int64_t i = host.add_component(std::string("C").append(std::to_string(idx.size() + 1)), {}, 10.0);
        if (*word) host.set_formula(i, word);
        idx.push_back(i);
    }
    const std::int64_t extra = host.add_component("LEFT", {}, 10.0);
    host.install();
    std::vector<double> eps(host.component_count(), -1.0);
    const std::int64_t n = static_cast<std::int64_t>(idx.size()), kspare = 0;
    KELD_SETEPS(&n, idx.data(), &kspare, eps.data());
    for (std::size_t k = 0; k < idx.size(); ++k) EXPECT_EQ(eps[idx[k] - 1], words[k].second) << words[k].first;
    EXPECT_EQ(eps[extra - 1], -1.0);  // not listed: left alone
    const std::int64_t too_many = host.component_count() + 1;  // cannot list each component once
    const std::vector<std::int64_t> repeated(static_cast<std::size_t>(too_many), extra);
    KELD_SETEPS(&too_many, repeated.data(), &kspare, eps.data());
    EXPECT_EQ(eps[extra - 1], -1.0);
}

TEST(SegmentServices, IdealGasExitWritesValuesAndDerivatives) {
    SegmentSystems sys;
    for (SegmentFamily f : kFamilies) {
        const double t = 400.0, p = 1e-5;
        SegmentSettings set;
        set.flags = {3, 3, 3, 3, 3};
        const SegmentResult r = call_segment(f, sys.host, t, p, {1.0}, {sys.ps}, set);
        const double ratio = kStyrene.mw / 1e5;  // MW / MWN
        EXPECT_DOUBLE_EQ(r.v, kR * t / p * ratio);
        EXPECT_DOUBLE_EQ(r.dv, kR / p * ratio);
        EXPECT_EQ(r.h, 0.0);
        EXPECT_EQ(r.phi[0], 0.0);
        EXPECT_DOUBLE_EQ(r.dg, kR * std::log(p / ReferenceHost::reference_pressure) * ratio);
    }
}

// Every flag 3 on a mixture: the values are written, the derivative slots keep what the caller put there.
TEST(SegmentServices, ModelPathWritesValuesOnly) {
    SegmentSystems sys;
    for (SegmentFamily f : kFamilies) {
        SegmentSettings set;
        set.flags = {3, 3, 3, 3, 3};
        const SegmentResult r = call_segment(f, sys.host, 350.0, 1e5, sys.by_mass({sys.tol, sys.pes}, {0.9, 0.1}),
                                             {sys.tol, sys.pes}, set);
        EXPECT_EQ(r.kstat, 1);
        for (double v : {r.phi[0], r.phi[1], r.h, r.s, r.g, r.v}) EXPECT_TRUE(std::isfinite(v) && v != kUnwritten);
        for (double d : {r.dphi[0], r.dphi[1], r.dh, r.ds, r.dg, r.dv}) EXPECT_EQ(d, kUnwritten);
        set.flags = {2, 2, 0, 2, 2};  // derivatives only: nothing at all on the model path
        const SegmentResult none = call_segment(f, sys.host, 350.0, 1e5, {0.5, 0.5}, {sys.tol, sys.pes}, set);
        for (double v : {none.phi[0], none.h, none.s, none.v, none.dh, none.dv}) EXPECT_EQ(v, kUnwritten);
    }
}

// Option 1: per-unit-weight segment numbers by position; option 3: factor x value / MWN of the named
// component (with KPHI >= 1); any other option: OPTOUT = 0.
TEST(SegmentServices, Options) {
    SegmentSystems sys;
    const std::vector<std::int64_t> idx{sys.tol, sys.ps};
    const std::vector<double> z = sys.by_mass(idx, {0.7, 0.3});
    const double r_tol[] = {kToluene.m / kToluene.mw, kTolueneHr.m / kTolueneHr.mw,
                            kTolueneSl.p_star / (kTolueneSl.rho_star * kR * kTolueneSl.t_star)};
    const double r_ps[] = {kStyrene.r, kStyreneHr.r,
                           kPolystyreneSl.p_star / (kPolystyreneSl.rho_star * kR * kPolystyreneSl.t_star)};
    for (int k = 0; k < 3; ++k) {
        SegmentSettings one;
        one.iopt = 1;
        one.ioptc = sys.ps;
        const SegmentResult a = call_segment(kFamilies[k], sys.host, 350.0, 1e5, z, idx, one);
        EXPECT_NEAR(a.optvec[0], r_tol[k], 1e-12 * r_tol[k]);
        EXPECT_NEAR(a.optvec[1], r_ps[k], 1e-12 * r_ps[k]);
        EXPECT_EQ(a.optout, 0.0);
        SegmentSettings three;
        three.iopt = 3;
        three.ioptc = sys.ps;
        three.optfac = 2.5;
        three.optval = {7.0, 3.0};
        const SegmentResult b = call_segment(kFamilies[k], sys.host, 350.0, 1e5, z, idx, three);
        EXPECT_DOUBLE_EQ(b.optout, 2.5 * 3.0 / 1e5);
        EXPECT_EQ(b.optvec[0], kUnwritten);
        three.flags.phi = 0;
        EXPECT_EQ(call_segment(kFamilies[k], sys.host, 350.0, 1e5, z, idx, three).optout, 0.0);
    }
}

// The vector forms: element i is the pure component IDX(i) at P(i), as a scalar call gives it.
TEST(SegmentServices, VectorFormsEvaluateEachComponentAlone) {
    SegmentSystems sys;
    using namespace keld::refhost::families;
    SegmentArguments a(sys.host);
    const std::vector<std::int64_t> idx{sys.c6, sys.tol};
    a.list(sys.host, idx);
    const std::vector<double> p{1e5, 3e5};
    const std::int64_t n = 2, kspare = 0, kvl = 2, one = 1, kds = 1, kdiag = 4, kopt = 0;
    std::vector<double> phi(2, kUnwritten), h(2, kUnwritten), s(2, kUnwritten), g(2, kUnwritten),
        v(2, kUnwritten), d(2, kUnwritten), optval(2, 0.0);
    std::int64_t kstat = 1;
    const double t = 320.0;
    const auto at = [&](const char *name) { return unary_slice(sys.host, name, 1); };
    const std::int64_t words = 6 * a.nc * a.nc;
    for (SegmentFamily f : kFamilies) {
        if (f == SegmentFamily::pcsaft) {
            const auto m = at("PCSFTM"), sg = at("PCSFTV"), e = at("PCSFTU"), r = at("PCSFTR");
            const auto tab = table_slice(sys.host, "PCSKIJ", 1);
            KELD_PCSF00(&t, p.data(), &n, idx.data(), a.work.data(), &kspare, &kvl, &one, &one, &one, &one, &one, &kds,
                        &kdiag, phi.data(), h.data(), s.data(), g.data(), v.data(), d.data(), d.data(), d.data(),
                        d.data(), d.data(), &kstat, &kopt, a.mw.data(), a.tc.data(), a.pc.data(), m.data(), sg.data(),
                        e.data(), r.data(), tab.data(), a.source.data(), &a.nc, &a.ns, a.seg.data(), a.mole.data(),
                        a.polymer.data(), &words, a.option_vector.data(), a.mwn.data(), optval.data(),
                        a.weight.data());
        } else if (f == SegmentFamily::saft) {
            const auto m = at("SAFTM"), vv = at("SAFTV"), u = at("SAFTU"), r = at("SAFTR"), e = at("SAFTE");
            const auto tab = table_slice(sys.host, "SFTKIJ", 1);
            KELD_SAFT00(&t, p.data(), &n, idx.data(), a.work.data(), &kspare, &kvl, &one, &one, &one, &one, &one, &kds,
                        &kdiag, phi.data(), h.data(), s.data(), g.data(), v.data(), d.data(), d.data(), d.data(),
                        d.data(), d.data(), &kstat, &kopt, a.mw.data(), a.tc.data(), a.pc.data(), m.data(), vv.data(),
                        u.data(), r.data(), e.data(), tab.data(), a.source.data(), &a.nc, &a.ns, a.seg.data(),
                        a.mole.data(), a.polymer.data(), &words, a.option_vector.data(), a.mwn.data(), optval.data(),
                        a.weight.data());
        } else {
            const auto ts = at("SLTSTR"), ps = at("SLPSTR"), rs = at("SLRSTR");
            const auto kt = combined_table(sys.host, "SLKIJ", "SLKIJT", 1);
            const auto et = combined_table(sys.host, "SLETIJ", "SLETIT", 1);
            KELD_POSL00(&t, p.data(), &n, idx.data(), a.work.data(), &kspare, &kvl, &one, &one, &one, &one, &one, &kds,
                        &kdiag, phi.data(), h.data(), s.data(), g.data(), v.data(), d.data(), d.data(), d.data(),
                        d.data(), d.data(), &kstat, &kopt, a.mw.data(), ts.data(), ps.data(), rs.data(), kt.data(),
                        et.data(), a.source.data(), &a.nc, &a.ns, a.seg.data(), a.mole.data(), a.polymer.data(),
                        &words, &words, a.option_vector.data(), a.mwn.data(), optval.data(), a.weight.data());
        }
        EXPECT_EQ(kstat, 1);
        EXPECT_EQ(d[0], kUnwritten);
        for (std::size_t k = 0; k < 2; ++k) {
            const SegmentResult one_call = call_segment(f, sys.host, t, p[k], {1.0}, {idx[k]});
            EXPECT_EQ(phi[k], one_call.phi[0]);
            EXPECT_EQ(h[k], one_call.h);
            EXPECT_EQ(s[k], one_call.s);
            EXPECT_EQ(g[k], one_call.g);
            EXPECT_EQ(v[k], one_call.v);
        }
    }
}

// A vector form sizes its work array from NC: a count that cannot be a problem's (negative, zero, near
// the 64-bit limit) is refused before the length is formed (it used to overflow) and nothing is written.
TEST(SegmentServices, VectorFormsRefuseComponentCountsThatCannotSizeTheWorkArray) {
    SegmentSystems sys;
    using namespace keld::refhost::families;
    SegmentArguments a(sys.host);
    const std::vector<std::int64_t> idx{sys.c6};
    a.list(sys.host, idx);
    const std::vector<double> p{1e5}, optval{0.0};
    const std::int64_t n = 1, kspare = 0, kvl = 2, one = 1, kds = 1, kdiag = 0, kopt = 0, ns = 0;
    const double t = 320.0;
    const auto m = unary_slice(sys.host, "PCSFTM", 1), sg = unary_slice(sys.host, "PCSFTV", 1),
               e = unary_slice(sys.host, "PCSFTU", 1), r = unary_slice(sys.host, "PCSFTR", 1);
    const auto tab = table_slice(sys.host, "PCSKIJ", 1);
    const std::int64_t words = static_cast<std::int64_t>(tab.size());
    for (std::int64_t nc : {std::numeric_limits<std::int64_t>::min(), std::int64_t{-1}, std::int64_t{0},
                            std::int64_t{1} << 40, std::numeric_limits<std::int64_t>::max()}) {
        std::vector<double> phi(1, kUnwritten), h(1, kUnwritten), v(1, kUnwritten), d(1, kUnwritten);
        std::vector<double> work(a.work.size(), kGuard);
        std::int64_t kstat = 1;
        KELD_PCSF00(&t, p.data(), &n, idx.data(), work.data(), &kspare, &kvl, &one, &one, &one, &one, &one, &kds,
                    &kdiag, phi.data(), h.data(), h.data(), h.data(), v.data(), d.data(), d.data(), d.data(),
                    d.data(), d.data(), &kstat, &kopt, a.mw.data(), a.tc.data(), a.pc.data(), m.data(), sg.data(),
                    e.data(), r.data(), tab.data(), a.source.data(), &nc, &ns, a.seg.data(), a.mole.data(),
                    a.polymer.data(), &words, a.option_vector.data(), a.mwn.data(), optval.data(), a.weight.data());
        EXPECT_EQ(kstat, 0) << nc;
        EXPECT_TRUE(std::isnan(phi[0]) && std::isnan(v[0])) << nc;
        for (double w : work) ASSERT_EQ(w, kGuard) << nc;
    }
}

// Arguments a call cannot honour: every requested output NaN, KSTAT 0, the work array untouched.
TEST(SegmentServices, RefusedArgumentsWriteNothingElse) {
    struct Case {
        const char *what;
        SegmentSettings set;
        double t = 350.0, p = 1e5;
        std::int64_t component = 0;  // replaces IDX(2) when not 0
    };
    auto with = [](auto change) {
        SegmentSettings s;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"work array one word short", with([](SegmentSettings &s) { s.work_shortfall = 1; })},
        {"binary table one word short", with([](SegmentSettings &s) { s.table_shortfall = 1; })},
        {"segment number outside 1..NC", with([](SegmentSettings &s) { s.bad_segment = 99; })},
        {"component number 0", {}, 350.0, 1e5, -1},
        {"component number above NC", {}, 350.0, 1e5, 99},
        {"T = 0", {}, 0.0},
        {"P not a number", {}, 350.0, std::nan("")},
    };
    SegmentSystems sys;
    for (SegmentFamily f : kFamilies) {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.what);
            std::vector<std::int64_t> idx{sys.tol, sys.pes};
            if (c.component == -1) idx[1] = 0;
            if (c.component > 0) idx[1] = c.component;
            const SegmentResult r = call_segment(f, sys.host, c.t, c.p, {0.5, 0.5}, idx, c.set);
            EXPECT_EQ(r.kstat, 0);
            for (double v : {r.phi[0], r.phi[1], r.h, r.s, r.g, r.v}) EXPECT_TRUE(std::isnan(v));
            EXPECT_TRUE(std::isnan(r.optout));
            for (double w : r.work) ASSERT_EQ(w, kGuard);
        }
    }
}

// A parameter still missing after the segment averages: NaN, KSTAT 0 and a message naming it.
TEST(SegmentServices, MissingParametersAreRefusedWithAMessage) {
    const std::pair<SegmentFamily, const char *> missing[] = {{SegmentFamily::pcsaft, "PCSFTU"},
                                                               {SegmentFamily::saft, "SAFTU"},
                                                               {SegmentFamily::sanchez_lacombe, "SLPSTR"}};
    for (const auto &[f, name] : missing) {
        SCOPED_TRACE(name);
        SegmentSystems sys;
        sys.host.set_unary(name, sys.eth, ReferenceHost::missing_value);  // a segment of the copolymer
        sys.host.message_policy().mode = keld::refhost::MessageMode::accept_all;
        sys.host.capture_messages();
        const SegmentResult r = call_segment(f, sys.host, 350.0, 1e5, {0.9, 0.1}, {sys.tol, sys.pes});
        EXPECT_EQ(r.kstat, 0);
        EXPECT_TRUE(std::isnan(r.g) && std::isnan(r.phi[1]));
        const std::vector<std::string> &lines = sys.host.captured_messages();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find("HAS MISSING PARAMETERS:"), std::string::npos);
        EXPECT_EQ(lines[1], std::string("      ") + name + " (DATA SET   1) MISSING FOR SEGMENT ETH");
    }
}

}  // namespace
