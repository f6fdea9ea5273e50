// KELD_ESPCSI on the reference host: which missing PC-SAFT parameters are
// reported, in what order and words, how the message check steers it, the
// source flags it clears and the binary table it hands to the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/pcsaft_systems.h"

using namespace keld::testing;
using keld::refhost::ComponentKind;
using keld::refhost::MessageMode;
using keld::refhost::ReferenceHost;

namespace {

const std::string kHeader = "      EQUATION OF STATE MODEL POLYPCSF HAS MISSING PARAMETERS:";
const std::string kClosing = "      EQUATION OF STATE MODEL POLYPCSF HAS MISSING PARAMETERS";

std::string detail(const std::string &name, int data_set, bool segment, const std::string &id) {
    char ds[8];
    std::snprintf(ds, sizeof ds, "%3d", data_set);
    return "      " + name + " (DATA SET " + ds + ") MISSING FOR " + (segment ? "SEGMENT " : "COMPONENT ") + id;
}

// Line counts handed to HostPrintMessage, recorded by wrapping the operation.
std::vector<std::int64_t> g_printed;
keld_print_message_fn g_print = nullptr;
void record_print(const std::int64_t *lines) {
    g_printed.push_back(*lines);
    g_print(lines);
}

struct Initialisation : ::testing::Test {
    ReferenceHost host{keld::refhost::HostOptions{2, 0}};
    std::int64_t c6 = add_pcsaft_fluid(host, kHexane);
    std::int64_t bare = host.add_component("BARE", ComponentKind::ordinary, 50.0);
    std::int64_t sty = host.add_component("STY", ComponentKind::segment, kStyrene.mw);
    std::int64_t ps = add_homopolymer(host, "PS", sty, kStyrene.mw, 1e5);

    Initialisation() {
        for (std::int64_t d = 1; d <= 2; ++d) {
            for (const char *name : {"PCSFTM", "PCSFTV", "PCSFTU"}) host.set_unary(name, c6, host.unary(name, c6), d);
            host.set_unary("PCSSRC", ps, 2.0, d);
            host.set_unary("PCSSRC", c6, 1.0, d);
        }
        host.capture_messages();
        host.message_policy().mode = MessageMode::accept_all;
        host.install();
        keld_host table = host.table();
        g_print = table.print_message;
        table.print_message = &record_print;
        host.install(table);
        g_printed.clear();
    }
    void run(std::int64_t nds) { KELD_ESPCSI(&nds); }
};

TEST_F(Initialisation, ReportsMissingParametersInOrderWithOneHeaderAndAClosingLine) {
    // Data set 1: BARE lacks m, eps/k and sigma; the segment lacks eps/k,
    // sigma and r (never m). Data set 2 also lacks hexane's sigma.
    host.set_unary("PCSFTV", c6, ReferenceHost::missing_value, 2);
    run(2);
    const std::vector<std::string> expected{
        kHeader,
        detail("PCSFTM", 1, false, "BARE"),
        detail("PCSFTU", 1, false, "BARE"),
        detail("PCSFTV", 1, false, "BARE"),
        detail("PCSFTU", 1, true, "STY"),
        detail("PCSFTV", 1, true, "STY"),
        detail("PCSFTR", 1, true, "STY"),
        detail("PCSFTV", 2, false, "NC6"),
        detail("PCSFTM", 2, false, "BARE"),
        detail("PCSFTU", 2, false, "BARE"),
        detail("PCSFTV", 2, false, "BARE"),
        detail("PCSFTU", 2, true, "STY"),
        detail("PCSFTV", 2, true, "STY"),
        detail("PCSFTR", 2, true, "STY"),
        kClosing,
    };
    EXPECT_EQ(host.captured_messages(), expected);
    std::vector<std::int64_t> lines(14, 1);  // 13 messages, then the closing line
    lines[0] = 2;
    EXPECT_EQ(g_printed, lines);
    EXPECT_EQ(host.message_check_count("ESPC", "SI", 2, 1), 13);
    EXPECT_EQ(host.message_check_count("ESPC", "SI", 0, 1), 1);
    EXPECT_EQ(host.last_message_check().level, host.global(11));
}

TEST_F(Initialisation, SourceFlagsAreClearedForEveryComponentAndPolymersAreNotReported) {
    run(2);
    for (std::int64_t d = 1; d <= 2; ++d)
        for (std::int64_t i = 1; i <= host.component_count(); ++i) EXPECT_EQ(host.unary("PCSSRC", i, d), 0.0);
    for (const std::string &line : host.captured_messages()) {
        EXPECT_EQ(line.find(" PS"), std::string::npos) << line;
        EXPECT_EQ(line.find("NC6"), std::string::npos) << line;
    }
    // Nothing is stored: a second run reports the same again.
    const std::vector<std::string> first = host.captured_messages();
    host.clear_captured_messages();
    run(2);
    EXPECT_EQ(host.captured_messages(), first);
}

TEST_F(Initialisation, OrdinaryComponentIsNeverAskedForSegmentRatioNorSegmentForSegmentNumber) {
    for (std::int64_t d = 1; d <= 2; ++d) {
        host.set_unary("PCSFTM", bare, 2.0, d);
        host.set_unary("PCSFTV", bare, 3.5, d);
        host.set_unary("PCSFTU", bare, 200.0, d);
        host.set_unary("PCSFTV", sty, kStyrene.sigma, d);
        host.set_unary("PCSFTU", sty, kStyrene.eps, d);
        host.set_unary("PCSFTR", sty, kStyrene.r, d);
    }
    // Neither BARE's PCSFTR nor STY's PCSFTM is given, and neither is missed.
    run(2);
    EXPECT_TRUE(host.captured_messages().empty());
    EXPECT_TRUE(g_printed.empty());
    EXPECT_EQ(host.message_check_count("ESPC", "SI", 0, 1), 0);  // no closing line without messages
}

TEST_F(Initialisation, RefusedMessagesPrintNothingNotEvenTheClosingLine) {
    host.message_policy().mode = MessageMode::refuse_all;
    run(2);
    EXPECT_TRUE(host.captured_messages().empty());
    EXPECT_TRUE(g_printed.empty());
    EXPECT_GT(host.message_check_count("ESPC", "SI", 2, 1), 0);
    EXPECT_EQ(host.message_check_count("ESPC", "SI", 0, 1), 0);
    EXPECT_EQ(host.unary("PCSSRC", ps), 0.0);  // the flags are cleared all the same
}

TEST_F(Initialisation, HeaderGoesWithTheFirstIssuedMessageOnly) {
    // Class 2 checks refused by level: with the threshold above the level
    // nothing is issued; lowered, everything is.
    host.message_policy().mode = MessageMode::by_level;
    host.message_policy().class_thresholds[2] = host.global(11) + 1;
    run(1);
    EXPECT_TRUE(host.captured_messages().empty());
    host.message_policy().class_thresholds[2] = host.global(11);
    run(1);
    ASSERT_FALSE(host.captured_messages().empty());
    EXPECT_EQ(host.captured_messages().front(), kHeader);
    EXPECT_EQ(host.captured_messages().back(), kClosing);
    EXPECT_EQ(std::count(host.captured_messages().begin(), host.captured_messages().end(), kHeader), 1);
}

TEST_F(Initialisation, SkipCodeLeavesParametersUncheckedButStillHandsOverTheBinaryTable) {
    // A temperature-dependent k_ij between hexane and BARE in data set 2 only.
    const double coefficients[6] = {0.01, 5.0, 0.0, 0.0, 0.0, 300.0};
    host.set_binary_coefficients("PCSKIJ", c6, bare, coefficients, 2);
    host.global(30) = 100;
    run(2);
    EXPECT_TRUE(host.captured_messages().empty());
    EXPECT_EQ(host.unary("PCSSRC", ps, 1), 2.0);  // not cleared
    EXPECT_EQ(host.unary("PCSSRC", c6, 2), 1.0);
    for (std::int64_t i = 1; i <= host.component_count(); ++i) {
        EXPECT_EQ(host.unary("PCSKTD", i, 1), 0.0) << i;
        EXPECT_EQ(host.unary("PCSKTD", i, 2), (i == c6 || i == bare) ? 1.0 : 0.0) << i;
    }
}

TEST_F(Initialisation, NoDataSetsDoesNothing) {
    run(0);
    run(-3);
    EXPECT_TRUE(host.captured_messages().empty());
    EXPECT_EQ(host.unary("PCSSRC", ps), 2.0);
    EXPECT_EQ(host.unary("PCSKTD", c6), ReferenceHost::missing_value);
}

}  // namespace
