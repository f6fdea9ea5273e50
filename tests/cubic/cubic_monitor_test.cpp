// The cubic monitor's calling convention: defaults with their check marker and
// messages, model names, the Mathias-Copeman record, HostEosLog, the root
// switches, refusals, the vector form and a polymer's sizes from its segments.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "cubic_fixture.h"

using namespace keld::testing;
using keld::refhost::ReferenceHost;

namespace {

std::string joined(const std::vector<std::string> &lines) {
    std::string all;
    for (const auto &l : lines) all += l + "\n";
    return all;
}

TEST(CubicMonitor, DefaultsAreStoredOnceWithTheirMessages) {
    keld::refhost::Case c = cubic_case();
    ReferenceHost &h = *c.host;
    h.set_unary("TCRKS", 2, ReferenceHost::missing_value);
    h.set_unary("OMGRKS", 2, ReferenceHost::missing_value);
    Es40 a;
    a.idx = {2};
    a.krule = 3;
    a.kmodel = 5;
    call_es40(a);
    const std::string first = joined(h.captured_messages());
    EXPECT_NE(first.find("EQUATION OF STATE MODEL ESRKV1N  HAS MISSING PARAMETERS:"), std::string::npos) << first;
    EXPECT_NE(first.find("TCRKS AND ITS DEFAULT TC (DATA SET   1) MISSING FOR COMPONENT METHANOL"), std::string::npos);
    EXPECT_NE(first.find("OMGRKS AND ITS DEFAULT OMEGA (DATA SET   1) MISSING FOR COMPONENT METHANOL"), std::string::npos);
    EXPECT_EQ(h.captured_messages().size(), 3u);  // header + TCRKS, then OMGRKS alone
    EXPECT_EQ(h.unary("TCRKS", 2), 507.4);
    EXPECT_EQ(h.unary("OMGRKS", 2), static_cast<double>(0.296f));
    EXPECT_EQ(h.unary("RKSUC", 2), static_cast<double>(0.110549f));
    EXPECT_EQ(h.binary("RKSUP", 2, 2), 2740830.0);
    EXPECT_EQ(h.unary("RKSCHK", 2), 1.0);
    h.clear_captured_messages();
    h.set_unary("TCRKS", 2, ReferenceHost::missing_value);
    call_es40(a);
    EXPECT_TRUE(h.captured_messages().empty());  // the marker is set: not detected again
}

TEST(CubicMonitor, MathiasCopemanRecordKeepsAMissingAcentricFactor) {
    keld::refhost::Case c = cubic_case();
    ReferenceHost &h = *c.host;
    Es40 a;
    a.idx = {2};
    a.flags = {1, 0, 0, 0, 0};
    const double soave = call_es40(a).phi[0];
    h.set_unary("OMGRKS", 2, ReferenceHost::missing_value);
    h.set_unary("RKSCHK", 2, ReferenceHost::missing_value);
    const double record[3] = {1.0, -0.3, 0.2};
    h.set_record("RKSMC", 2, record);
    a.keosopt = 2;
    const Es40Result mc = call_es40(a);
    EXPECT_EQ(mc.kret, 1);
    EXPECT_EQ(h.unary("OMGRKS", 2), ReferenceHost::missing_value);
    EXPECT_TRUE(h.captured_messages().empty());
    EXPECT_GT(std::fabs(mc.phi[0] - soave), 0.01);  // another alpha
    a.keosopt = 0;  // Soave needs omega: the default is stored with its message
    h.set_unary("RKSCHK", 2, ReferenceHost::missing_value);
    call_es40(a);
    EXPECT_EQ(h.unary("OMGRKS", 2), static_cast<double>(0.296f));
    EXPECT_EQ(h.captured_messages().size(), 2u);
}

TEST(CubicMonitor, RequestFlagsInHostEosLog) {
    keld::refhost::Case c = cubic_case();
    struct Row {
        std::array<std::int64_t, 5> flags;  // KPHI, KH, KS, KG, KV
        std::array<int, 13> log;            // elements 1..12 and 24
    };
    const Row rows[] = {
        {{1, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {{0, 2, 0, 0, 0}, {0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 0}},
        {{0, 0, 1, 3, 0}, {0, 0, 0, 0, 1, 1, 1, 0, 0, 1, 0, 1, 0}},
        {{0, 0, 0, 0, 2}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1}},
        {{0, 0, 0, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}},
    };
    for (const Row &row : rows) {
        Es40 a;
        a.flags = row.flags;
        call_es40(a);
        for (int e = 1; e <= 13; ++e) {
            const std::int64_t element = e <= 12 ? e : 24;
            EXPECT_EQ(c.host->eos_log(element), row.log[e - 1] ? -1 : 0) << "element " << element;
        }
        for (std::int64_t e = 13; e <= 23; ++e) EXPECT_EQ(c.host->eos_log(e), 0);
    }
}

TEST(CubicMonitor, RootSwitchesOnlyForOneComponent) {
    keld::refhost::Case c = cubic_case();
    ReferenceHost &h = *c.host;
    h.set_root_switch(1, false);
    h.set_root_switch(2, false);
    Es40 a;
    a.kvl = 2;
    call_es40(a);
    EXPECT_TRUE(h.root_switch(1));
    EXPECT_FALSE(h.root_switch(2));
    h.set_root_switch(1, false);
    a.kvl = 1;
    a.t = 400.0;
    call_es40(a);
    EXPECT_TRUE(h.root_switch(2));
    h.set_root_switch(2, false);
    h.set_root_switch(1, true);
    a.idx = {1, 3};
    a.z = {0.5, 0.5};
    call_es40(a);
    EXPECT_TRUE(h.root_switch(1));  // left as they were
    EXPECT_FALSE(h.root_switch(2));
}

TEST(CubicMonitor, RefusesWhatItCannotCompute) {
    struct Row {
        const char *what;
        std::int64_t krule, kmodel;
        std::vector<std::int64_t> idx;
        const char *message;  // empty: computed
        const char *cleared = nullptr;  // a unary parameter of the segment STY set missing first
    };
    const Row rows[] = {
        {"NRTL pair without parameters", 4, 5, {1, 4}, "GEAIJ/GEBIJ (DATA SET   1) MISSING FOR COMPONENTS PENTANE  AND ACETONE"},
        {"NRTL pair without alpha", 4, 5, {5, 7}, "GEALF (DATA SET   1) MISSING FOR COMPONENTS"},
        {"UNIQUAC polymer without r, q of its segment", 2, 6, {5, 7}, "UNIQR/UNIQQ (DATA SET   1) MISSING FOR COMPONENT PS", "UNIQR"},
        {"model index 9", 2, 9, {1, 3}, "EXCESS GIBBS MODEL INDEX      9 IS NOT ONE OF 1 TO 7"},
        {"model index 9 without a rule reads no model", 1, 9, {1, 3}, ""},
        {"UNIFAC needs no pair parameters", 3, 7, {1, 4}, ""},
    };
    for (const Row &row : rows) {
        keld::refhost::Case c = cubic_case();
        if (row.cleared) c.host->set_unary(row.cleared, 6, ReferenceHost::missing_value);
        Es40 a;
        a.krule = row.krule;
        a.kmodel = row.kmodel;
        a.idx = row.idx;
        a.z = {0.4, 0.6};
        if (row.idx[1] == 7) a.t = 350.0;
        const Es40Result r = call_es40(a);
        const std::string messages = joined(c.host->captured_messages());
        if (*row.message) {
            EXPECT_EQ(r.kret, 0) << row.what;
            EXPECT_TRUE(std::isnan(r.h) && std::isnan(r.phi[0]) && std::isnan(r.dv)) << row.what;
            EXPECT_NE(messages.find(row.message), std::string::npos) << row.what << "\n" << messages;
        } else {
            EXPECT_EQ(r.kret, 1) << row.what << "\n" << messages;
            EXPECT_TRUE(std::isfinite(r.h) && std::isfinite(r.phi[1])) << row.what;
        }
    }
}

TEST(CubicMonitor, VectorFormIsScalarCallsPerComponent) {
    keld::refhost::Case c = cubic_case();
    const std::int64_t n = 3, idx[3] = {1, 2, 3}, kwork = 0, kspare = 0, kvl = 2, f = 3, kds = 1, kdiag = 4,
                       keosopt = 0, kmodel = 1, krule = 1, kpass = 0;
    const double t = 300.0, p[3] = {1e5, 2e5, 3e5};
    double out[10][3];
    std::int64_t kret = -1;
    KELD_ES40A(&t, p, &n, idx, &kwork, &kspare, &kvl, &f, &f, &f, &f, &f, &kds, &kdiag, &keosopt, out[0], out[1],
               out[2], out[3], out[4], out[5], out[6], out[7], out[8], out[9], &kmodel, &krule, &kret, &kpass);
    EXPECT_EQ(kret, 1);
    for (int k = 0; k < 3; ++k) {
        Es40 a;
        a.t = t;
        a.p = p[k];
        a.idx = {idx[k]};
        const Es40Result r = call_es40(a);
        const double scalar[10] = {r.phi[0], r.h, r.s, r.g, r.v, r.dphi[0], r.dh, r.ds, r.dg, r.dv};
        for (int o = 0; o < 10; ++o) EXPECT_EQ(out[o][k], scalar[o]) << "output " << o << " component " << k;
    }
}

TEST(CubicMonitor, PolymerSizesFromSegmentsEqualOwnSizesPerUnit) {
    keld::refhost::Case c = cubic_case();
    Es40 a;
    a.krule = 2;
    a.kmodel = 6;
    a.idx = {5, 7};
    a.z = {0.6, 0.4};
    a.t = 350.0;
    const Es40Result from_segments = call_es40(a);
    ASSERT_EQ(from_segments.kret, 1);
    c.host->set_unary("UNIQR", 7, 3.9);
    c.host->set_unary("UNIQQ", 7, 2.6);
    const Es40Result own = call_es40(a);
    for (int k = 0; k < 2; ++k) EXPECT_NEAR(own.phi[k], from_segments.phi[k], 1e-12);
    EXPECT_NEAR(own.g, from_segments.g, 1e-9 * std::fabs(own.g));
    c.host->set_unary("UNIQR", 7, 2 * 3.9);  // a larger unit changes the result
    EXPECT_GT(std::fabs(call_es40(a).phi[1] - own.phi[1]), 1e-3);
}

}  // namespace
