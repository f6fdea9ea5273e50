// KELD_ESPCSI on the reference host: which missing PC-SAFT parameters are reported, in what order and
// words, how the message check steers it, the source flags it clears and the binary table it hands over.
#include <gtest/gtest.h>

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

// Two data sets: n-hexane complete, BARE with nothing, a styrene segment with nothing and a
// polystyrene (which is never checked); source flags 1 and 2 stored by an earlier run.
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
    void expect_flags_cleared() {
        for (std::int64_t d = 1; d <= 2; ++d)
            for (std::int64_t i = 1; i <= host.component_count(); ++i) EXPECT_EQ(host.unary("PCSSRC", i, d), 0.0);
    }
};

TEST_F(Initialisation, ReportsMissingParametersInOrderWithOneHeaderAndAClosingLine) {
    // BARE lacks m, eps/k and sigma; the segment eps/k, sigma and r (never m); data set 2 also
    // hexane's sigma.
    host.set_unary("PCSFTV", c6, ReferenceHost::missing_value, 2);
    run(2);
    std::vector<std::string> expected{kHeader};
    for (int d = 1; d <= 2; ++d) {
        if (d == 2) expected.push_back(detail("PCSFTV", 2, false, "NC6"));
        for (const char *name : {"PCSFTM", "PCSFTU", "PCSFTV"}) expected.push_back(detail(name, d, false, "BARE"));
        for (const char *name : {"PCSFTU", "PCSFTV", "PCSFTR"}) expected.push_back(detail(name, d, true, "STY"));
    }
    expected.push_back(kClosing);
    EXPECT_EQ(host.captured_messages(), expected);
    std::vector<std::int64_t> lines(14, 1);  // the header goes with the first of 13 messages
    lines[0] = 2;
    EXPECT_EQ(g_printed, lines);
    EXPECT_EQ(host.message_check_count("ESPC", "SI", 2, 1), 13);
    EXPECT_EQ(host.message_check_count("ESPC", "SI", 0, 1), 1);
    EXPECT_EQ(host.last_message_check().level, host.global(11));
    expect_flags_cleared();
    // Nothing is stored: a second run reports the same again.
    host.clear_captured_messages();
    run(2);
    EXPECT_EQ(host.captured_messages(), expected);
}

TEST_F(Initialisation, RefusedMessagesPrintNothingNotEvenTheClosingLineButTheFlagsAreCleared) {
    host.message_policy().mode = MessageMode::refuse_all;
    run(2);
    EXPECT_TRUE(host.captured_messages().empty());
    EXPECT_TRUE(g_printed.empty());
    EXPECT_GT(host.message_check_count("ESPC", "SI", 2, 1), 0);
    EXPECT_EQ(host.message_check_count("ESPC", "SI", 0, 1), 0);
    expect_flags_cleared();
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
