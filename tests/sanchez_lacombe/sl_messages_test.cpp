// Messages of the Sanchez-Lacombe family, word for word, through the
// reference host's capturing sink.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/monitor_call.h"

namespace keld {
namespace {

using refhost::ComponentKind;
using refhost::MessageMode;
using refhost::ReferenceHost;
using Lines = std::vector<std::string>;

// A host root routine that gives up at once, leaving `p_calc` in the pressure slot.
double g_failed_pressure = 0.0;
void failing_root(std::int64_t *state, std::int64_t *, const double *, const double *, const double *, const double *,
                  const double *, double *, double *p_calc, double *, const char *, const std::int64_t *) {
    *state = 5;
    *p_calc = g_failed_pressure;
}
// One evaluation at a liquid-like volume, then failure.
void fail_after_one_evaluation(std::int64_t *state, std::int64_t *, const double *v_cp, const double *,
                               const double *, const double *, const double *, double *v, double *, double *,
                               const char *, const std::int64_t *) {
    if (*state == 4) {
        *state = 1;
        *v = 1.05 * *v_cp;  // dense enough for a positive model pressure
    } else {
        *state = 5;
    }
}

struct SlMessages : ::testing::Test {
    ReferenceHost host;

    std::int64_t add(const std::string &id, bool with_parameters = true) {
        const std::int64_t i = host.add_component(id, ComponentKind::ordinary, 92.14);
        if (with_parameters) {
            host.set_unary("SLTSTR", i, 543.0);
            host.set_unary("SLPSTR", i, 402.0e6);
            host.set_unary("SLRSTR", i, 966.0);
        }
        return i;
    }
    void SetUp() override { host.capture_messages(); }
    void initialise() {
        const std::int64_t nds = 1;
        KELD_ESPSLI(&nds);
    }
    void install_root(keld_root_fn root) {
        keld_host t = host.table();
        t.liquid_root = root;
        t.vapor_root = root;
        host.install(t);
    }
    testing::MonitorResult liquid_call(double p, std::vector<std::int64_t> idx) {
        testing::MonitorArgs a;
        a.p = p;
        a.flags = {1, 1, 1, 1, 1};  // values only: one density root, so one message
        a.z.assign(idx.size(), 1.0 / static_cast<double>(idx.size()));
        a.idx = std::move(idx);
        return testing::call_monitor(KELD_ESSLP, a);
    }
};

TEST_F(SlMessages, MissingParametersGetNominalValuesWithOneHeader) {
    const std::int64_t benzene = add("BENZENE", false);
    host.install();
    initialise();
    EXPECT_EQ(host.captured_messages(), (Lines{
                                            "      EQUATION OF STATE MODEL POLYSL HAS MISSING PARAMETERS:",
                                            "      SLPSTR (DATA SET   1) MISSING FOR COMPONENT BENZENE",
                                            "      A NOMINAL VALUE OF  3000. (bar) ASSUMED",
                                            "      SLTSTR (DATA SET   1) MISSING FOR COMPONENT BENZENE",
                                            "      A NOMINAL VALUE OF  415. (K) ASSUMED",
                                            "      SLRSTR (DATA SET   1) MISSING FOR COMPONENT BENZENE",
                                            "      A NOMINAL VALUE OF  736. (KG/CUM) ASSUMED",
                                        }));
    EXPECT_EQ(host.print_count(), 3);  // 3 + 2 + 2 lines
    EXPECT_EQ(host.unary("SLPSTR", benzene), 3.0e8);
    EXPECT_EQ(host.unary("SLTSTR", benzene), 415.0);
    EXPECT_EQ(host.unary("SLRSTR", benzene), 736.0);
    host.clear_captured_messages();
    initialise();  // nothing left to complete
    EXPECT_TRUE(host.captured_messages().empty());
}

TEST_F(SlMessages, SegmentIsNamedAsSuchAndPolymersAreLeftToTheirSegments) {
    const std::int64_t segment = host.add_component("STYRENE", ComponentKind::segment, 104.15);
    host.set_unary("SLTSTR", segment, 735.0);
    host.set_unary("SLPSTR", segment, 357.0e6);
    const std::int64_t polymer = host.add_polymer("PS", ComponentKind::polymer, 104.15, 1.0e5);
    host.set_unary("SLSRC", polymer, 2.0);
    host.install();
    initialise();
    EXPECT_EQ(host.captured_messages(), (Lines{
                                            "      EQUATION OF STATE MODEL POLYSL HAS MISSING PARAMETERS:",
                                            "      SLRSTR (DATA SET   1) MISSING FOR SEGMENT STYRENE",
                                            "      A NOMINAL VALUE OF  736. (KG/CUM) ASSUMED",
                                        }));
    EXPECT_EQ(host.unary("SLTSTR", polymer), ReferenceHost::missing_value);
    EXPECT_EQ(host.unary("SLSRC", polymer), 0.0);
}

TEST_F(SlMessages, RefusedMessagesStillStoreTheValues) {
    const std::int64_t benzene = add("BENZENE", false);
    host.message_policy().mode = MessageMode::refuse_all;
    host.install();
    initialise();
    EXPECT_TRUE(host.captured_messages().empty());
    EXPECT_EQ(host.unary("SLPSTR", benzene), 3.0e8);
    EXPECT_EQ(host.unary("SLRSTR", benzene), 736.0);
}

TEST_F(SlMessages, CompletionSkippedOnRequestButTablesStillHandedOver) {
    const std::int64_t benzene = add("BENZENE", false);
    const std::int64_t other = add("TOLUENE");
    host.set_unary("SLSRC", other, 2.0);
    const double coefficients[6] = {0.01, 5.0, 0, 0, 0, 300.0};
    host.set_binary_coefficients("SLKIJT", benzene, other, coefficients);
    host.global(30) = 100;
    host.install();
    initialise();
    EXPECT_TRUE(host.captured_messages().empty());
    EXPECT_EQ(host.unary("SLPSTR", benzene), ReferenceHost::missing_value);
    EXPECT_EQ(host.unary("SLSRC", other), 2.0);  // flags not cleared either
    EXPECT_EQ(host.unary("SLKTD", benzene), 1.0);  // the table went to the host
    EXPECT_EQ(host.unary("SLKTD", other), 1.0);
}

TEST_F(SlMessages, FailedRootAtModeratePressureIsAConvergenceDifficulty) {
    const std::int64_t a = add("TOLUENE");
    host.install();
    initialise();
    g_failed_pressure = 0.0;
    install_root(failing_root);
    const testing::MonitorResult r = liquid_call(1.0e5, {a});
    EXPECT_EQ(r.kstat, 0);
    EXPECT_EQ(host.captured_messages(), (Lines{
                                            "      CONVERGENCE DIFFICULTIES WERE ENCOUNTERED IN POSL MODEL",
                                            "      FOR (DATA SET   1) AT TEMPERATURE   300.    K",
                                            "      AND PRESSURE  0.100E+06 PA.  RESULTS MAY NOT BE STABLE.",
                                        }));
    EXPECT_EQ(host.last_message_check().check_class, 3);
    EXPECT_EQ(host.last_message_check().number, 6);
    EXPECT_EQ(host.last_message_check().routine, refhost::routine_id("POSL", "R2"));
}

TEST_F(SlMessages, FailedRootAtHighPressureIsInfeasibleWithTheComposition) {
    const std::int64_t a = add("TOLUENE"), b = add("HEXANE");
    host.install();
    initialise();
    g_failed_pressure = 0.0;
    install_root(failing_root);
    liquid_call(2.0e8, {a, b});
    EXPECT_EQ(host.captured_messages(), (Lines{
                                            "      EQUATION OF STATE MODEL POLYSL FAILED DUE TO INFEASIBLE",
                                            "      CONDITIONS (DATA SET   1) AT TEMPERATURE   300.    K",
                                            "      AND PRESSURE  0.200E+09 PA.",
                                            "      COMPONENT  MOLE FRACTION  COMPONENT  MOLE FRACTION",
                                            "      TOLUENE    0.5000         HEXANE     0.5000",
                                        }));
    // A negative final pressure is infeasible at any pressure.
    host.clear_captured_messages();
    g_failed_pressure = -5.0;
    liquid_call(1.0e5, {a, b});
    ASSERT_FALSE(host.captured_messages().empty());
    EXPECT_EQ(host.captured_messages()[0], "      EQUATION OF STATE MODEL POLYSL FAILED DUE TO INFEASIBLE");
}

TEST_F(SlMessages, FailureWithAPositiveLastPressurePrintsNothing) {
    const std::int64_t a = add("TOLUENE");
    host.install();
    initialise();
    install_root(fail_after_one_evaluation);
    const testing::MonitorResult r = liquid_call(1.0e5, {a});
    EXPECT_EQ(r.kstat, 0);
    EXPECT_TRUE(host.captured_messages().empty());
}

std::vector<std::int64_t> add_many(SlMessages &f, int count) {
    std::vector<std::int64_t> idx;
    for (int k = 1; k <= count; ++k) {
        std::string id = "C";
        id += std::to_string(k);
        idx.push_back(f.add(id));
    }
    return idx;
}

// The infeasible-conditions message of a liquid call on `count` components.
const Lines &infeasible_lines(SlMessages &f, int count) {
    const std::vector<std::int64_t> idx = add_many(f, count);
    f.host.install();
    f.initialise();
    g_failed_pressure = 0.0;
    f.install_root(failing_root);
    f.liquid_call(2.0e8, idx);
    return f.host.captured_messages();
}

TEST_F(SlMessages, CompositionTableOfThirteenTakesTwoBlocks) {
    const Lines &lines = infeasible_lines(*this, 13);
    ASSERT_EQ(lines.size(), 11u);  // 4 header lines + 6 rows, then 1 row
    EXPECT_EQ(host.print_count(), 2);
    EXPECT_EQ(lines[4], "      C1         0.7692E-01     C2         0.7692E-01");
    EXPECT_EQ(lines[10], "      C13        0.7692E-01");
}

TEST_F(SlMessages, CompositionTableStopsAfterSixteenRows) {
    const Lines &lines = infeasible_lines(*this, 40);
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines.back(), "      C31        0.2500E-01     C32        0.2500E-01");
    EXPECT_EQ(host.message_check_count("POSL", "R2", 1, 8), 1);  // the continuation was announced
}

}  // namespace
}  // namespace keld
