// Message check policy and printing from the message buffer.
#include <cstring>

#include <gtest/gtest.h>

#include "keld/refhost.h"

namespace keld::refhost {
namespace {

class Messages : public ::testing::Test {
protected:
    Messages() {
        host.capture_messages();
        host.install();
        table = host.table();
    }
    std::int64_t check(const char *routine16, std::int64_t check_class, std::int64_t number, std::int64_t level) {
        const std::int64_t global8 = 0, a = 0, b = 1, c = 2;
        return table.message_check(routine16, &check_class, &number, &level, &global8, &a, &b, &c);
    }
    ReferenceHost host;
    keld_host table{};
};

const char posl_r2[] = "POSL    R2      ";
const char espc_si[] = "ESPC    SI      ";

TEST_F(Messages, ByLevelIssuesWhenLevelReachesTheClass) {
    EXPECT_EQ(check(posl_r2, 3, 6, 2), 0);
    EXPECT_EQ(check(posl_r2, 3, 6, 3), -1);
    EXPECT_EQ(check(posl_r2, 2, 7, 4), -1);
    host.message_policy().class_thresholds[2] = 5;
    EXPECT_EQ(check(posl_r2, 2, 7, 4), 0);
    EXPECT_EQ(check(posl_r2, 0, 1, 0), -1);
}

TEST_F(Messages, AcceptAllRefuseAllAndSuppressedRoutines) {
    host.message_policy().mode = MessageMode::refuse_all;
    EXPECT_EQ(check(posl_r2, 0, 1, 10), 0);
    host.message_policy().mode = MessageMode::accept_all;
    EXPECT_EQ(check(posl_r2, 9, 1, -5), -1);
    host.message_policy().mode = MessageMode::by_level;
    host.message_policy().suppress_routine("ESPC", "SI");
    EXPECT_EQ(check(espc_si, 2, 1, 10), 0);
    EXPECT_EQ(check(posl_r2, 2, 1, 10), -1);
}

TEST_F(Messages, ChecksAreCountedPerRoutineClassAndNumber) {
    check(posl_r2, 3, 6, 0);
    check(posl_r2, 3, 6, 9);
    check(posl_r2, 2, 7, 9);
    check(espc_si, 3, 6, 9);
    EXPECT_EQ(host.message_check_count("POSL", "R2", 3, 6), 2);
    EXPECT_EQ(host.message_check_count("POSL", "R2", 2, 7), 1);
    EXPECT_EQ(host.message_check_count("ESPC", "SI", 3, 6), 1);
    EXPECT_EQ(host.message_check_count("ESPC", "SI", 2, 1), 0);
    EXPECT_EQ(host.message_check_count(), 4);
    const MessageCheckRecord &last = host.last_message_check();
    EXPECT_EQ(last.routine, std::string(espc_si));
    EXPECT_EQ(last.word_b, 1);
    EXPECT_EQ(last.word_c, 2);
    EXPECT_TRUE(last.issued);
}

TEST_F(Messages, PrintTakesTheFirstLinesTrimmedAndBlanksThem) {
    host.write_message_line(1, "      EQUATION OF STATE MODEL POLYSL HAS MISSING PARAMETERS:");
    host.write_message_line(2, "      SLPSTR (DATA SET   1) MISSING FOR COMPONENT TOLUENE      ");
    host.write_message_line(3, "      NOT PRINTED");
    const std::int64_t two = 2;
    table.print_message(&two);
    ASSERT_EQ(host.captured_messages().size(), 2u);
    EXPECT_EQ(host.captured_messages()[0], "      EQUATION OF STATE MODEL POLYSL HAS MISSING PARAMETERS:");
    EXPECT_EQ(host.captured_messages()[1], "      SLPSTR (DATA SET   1) MISSING FOR COMPONENT TOLUENE");
    EXPECT_EQ(host.message_line(1), std::string(80, ' '));
    EXPECT_EQ(host.message_line(3).substr(0, 17), "      NOT PRINTED");
}

TEST_F(Messages, LineCountIsClampedToTheBuffer) {
    // The library writes straight into the buffer through the table.
    std::memcpy(table.error_buffer + 9 * KELD_MESSAGE_LINE_CHARS, "LAST", 4);
    const std::int64_t many = 25, none = -3;
    table.print_message(&none);
    EXPECT_TRUE(host.captured_messages().empty());
    table.print_message(&many);
    ASSERT_EQ(host.captured_messages().size(), 10u);
    EXPECT_EQ(host.captured_messages()[0], "");
    EXPECT_EQ(host.captured_messages()[9], "LAST");
}

TEST_F(Messages, CustomSink) {
    std::string joined;
    host.set_message_sink([&](std::string_view line) { joined += std::string(line) + "|"; });
    host.write_message_line(1, "A  ");
    host.write_message_line(2, "B");
    host.print_message(2);
    EXPECT_EQ(joined, "A|B|");
    EXPECT_EQ(host.print_count(), 1);
}

}  // namespace
}  // namespace keld::refhost
