// The C interface: status codes, error texts and the values it reaches.
#include <gtest/gtest.h>

#include "keld/refhost_c.h"

namespace {

TEST(RefhostCApi, BuildsAProblemAndReportsErrors) {
    keld_refhost *h = keld_refhost_create(2, 0);
    ASSERT_NE(h, nullptr);
    std::int64_t toluene = 0, ps = 0, seg = 0, count = 0;
    EXPECT_EQ(keld_refhost_add_component(h, "TOLUENE", KELD_COMPONENT_ORDINARY, 92.14, &toluene), KELD_REFHOST_OK);
    EXPECT_EQ(keld_refhost_add_component(h, "PS", KELD_COMPONENT_POLYMER, 104.15, &ps), KELD_REFHOST_OK);
    EXPECT_EQ(keld_refhost_add_component(h, "STY", KELD_COMPONENT_SEGMENT, 104.15, &seg), KELD_REFHOST_OK);
    EXPECT_EQ(keld_refhost_component_count(h, &count), KELD_REFHOST_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(keld_refhost_set_number_average_mw(h, ps, 1e5), KELD_REFHOST_OK);
    EXPECT_EQ(keld_refhost_set_segment_weight_fraction(h, ps, seg, 1.0), KELD_REFHOST_OK);

    EXPECT_EQ(keld_refhost_set_unary(h, "SLTSTR", toluene, 2, 750.0), KELD_REFHOST_OK);
    double value = 0;
    EXPECT_EQ(keld_refhost_get_unary(h, "SLTSTR", toluene, 2, &value), KELD_REFHOST_OK);
    EXPECT_EQ(value, 750.0);
    EXPECT_EQ(keld_refhost_set_binary_coefficient(h, "PCSKIJ", 1, 2, 2, 1, -3.0), KELD_REFHOST_OK);
    EXPECT_EQ(keld_refhost_set_binary_coefficient(h, "PCSKIJ", 1, 2, 1, 1, 0.01), KELD_REFHOST_OK);
    EXPECT_EQ(keld_refhost_get_binary_coefficient(h, "PCSKIJ", 1, 2, 2, 1, &value), KELD_REFHOST_OK);
    EXPECT_EQ(value, -3.0);  // setting coefficient 1 kept coefficient 2

    double *store = nullptr;
    std::int64_t words = 0, offset = 0;
    EXPECT_EQ(keld_refhost_store(h, &store, &words), KELD_REFHOST_OK);
    EXPECT_EQ(keld_refhost_param_offset(h, "SLTSTR", &offset), KELD_REFHOST_OK);
    EXPECT_EQ(store[offset + 3 + toluene - 1], 750.0);

    EXPECT_EQ(keld_refhost_set_unary(h, "SLTSTR", 9, 1, 1.0), KELD_REFHOST_OUT_OF_RANGE);
    EXPECT_STRNE(keld_refhost_last_error(h), "");
    EXPECT_EQ(keld_refhost_set_unary(h, "NOPE", 1, 1, 1.0), KELD_REFHOST_INVALID_ARGUMENT);
    EXPECT_EQ(keld_refhost_set_unary(h, nullptr, 1, 1, 1.0), KELD_REFHOST_INVALID_ARGUMENT);
    EXPECT_EQ(keld_refhost_add_component(h, "X", 17, 1.0, &count), KELD_REFHOST_INVALID_ARGUMENT);
    EXPECT_EQ(keld_refhost_set_unary(nullptr, "SLTSTR", 1, 1, 1.0), KELD_REFHOST_INVALID_ARGUMENT);
    keld_refhost_destroy(h);
    EXPECT_EQ(keld_refhost_create(0, 0), nullptr);
}

TEST(RefhostCApi, CapturedMessagesAreReadBack) {
    keld_refhost *h = keld_refhost_create(1, 0);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(keld_refhost_capture_messages(h, 1), KELD_REFHOST_OK);
    ASSERT_EQ(keld_refhost_install(h), KELD_REFHOST_OK);
    keld_host t{};
    ASSERT_EQ(keld_refhost_table(h, &t), KELD_REFHOST_OK);
    const char text[] = "      CONVERGENCE DIFFICULTIES     ";
    std::copy(text, text + sizeof text - 1, t.error_buffer);
    const std::int64_t one = 1;
    t.print_message(&one);
    std::int64_t count = 0;
    EXPECT_EQ(keld_refhost_captured_line_count(h, &count), KELD_REFHOST_OK);
    ASSERT_EQ(count, 1);
    char line[16];
    EXPECT_EQ(keld_refhost_captured_line(h, 1, line, sizeof line), KELD_REFHOST_OK);
    EXPECT_STREQ(line, "      CONVERGEN");  // truncated to the buffer, NUL-terminated
    EXPECT_EQ(keld_refhost_captured_line(h, 2, line, sizeof line), KELD_REFHOST_OUT_OF_RANGE);
    keld_refhost_destroy(h);
    keld_host installed{};
    EXPECT_EQ(keld_host_installed(&installed), 0);
}

}  // namespace

// A table feeds its binary parameter at each applied T (a constant one too);
// a pair without a table keeps the value given directly.
TEST(RefhostCApi, TemperatureTablesFeedTheirBinaryParameter) {
    keld_refhost *h = keld_refhost_create(1, 0);
    ASSERT_NE(h, nullptr);
    std::int64_t n = 0;
    for (const char *id : {"A", "B", "C"}) ASSERT_EQ(keld_refhost_add_component(h, id, 0, 50.0, &n), KELD_REFHOST_OK);
    const double table[] = {0.01, 0.002, 0, 0, 0, 300.0};
    ASSERT_EQ(keld_refhost_set_binary_coefficients(h, "SLKIJT", 1, 2, 1, table, 6), KELD_REFHOST_OK);
    const double constant[] = {0.5};
    ASSERT_EQ(keld_refhost_set_binary_coefficients(h, "SLKIJT", 2, 3, 1, constant, 1), KELD_REFHOST_OK);
    ASSERT_EQ(keld_refhost_set_binary(h, "SLKIJ", 1, 3, 1, 0.03), KELD_REFHOST_OK);
    double k12 = 0, k13 = 0, k23 = 0, tref = 0;
    EXPECT_EQ(keld_refhost_get_binary_coefficient(h, "SLKIJT", 1, 2, 6, 1, &tref), KELD_REFHOST_OK);
    EXPECT_EQ(tref, 300.0);
    for (double t : {250.0, 400.0}) {
        ASSERT_EQ(keld_refhost_apply_temperature_tables(h, t), KELD_REFHOST_OK);
        EXPECT_EQ(keld_refhost_get_binary(h, "SLKIJ", 1, 2, 1, &k12), KELD_REFHOST_OK);
        EXPECT_EQ(keld_refhost_get_binary(h, "SLKIJ", 1, 3, 1, &k13), KELD_REFHOST_OK);
        EXPECT_NEAR(k12, 0.01 + 0.002 * 300.0 / t, 1e-15) << t;
        EXPECT_EQ(keld_refhost_get_binary(h, "SLKIJ", 2, 3, 1, &k23), KELD_REFHOST_OK);
        EXPECT_EQ(k13, 0.03) << t;
        EXPECT_EQ(k23, 0.5) << t;
    }
    EXPECT_EQ(keld_refhost_apply_temperature_tables(h, 0.0), KELD_REFHOST_INVALID_ARGUMENT);
    EXPECT_EQ(keld_refhost_set_binary_coefficients(h, "SLKIJT", 1, 2, 1, table, 7), KELD_REFHOST_INVALID_ARGUMENT);
    EXPECT_EQ(keld_refhost_set_binary_coefficients(h, "SLKIJ", 1, 2, 1, table, 6), KELD_REFHOST_INVALID_ARGUMENT);
    EXPECT_EQ(keld_refhost_set_binary_coefficients(h, "SLKIJT", 1, 4, 1, table, 6), KELD_REFHOST_OUT_OF_RANGE);
    keld_refhost_destroy(h);
}
