// Six-coefficient binary tables: PolyBinaryTable3 against the five-term
// formula, and the HostTempParam marking of temperature-dependent pairs.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "keld/refhost.h"

namespace keld::refhost {
namespace {

constexpr double missing = ReferenceHost::missing_value;

class TableHost : public ::testing::Test {
protected:
    TableHost() {
        for (const char *id : {"A", "B", "C"}) host.add_component(id, ComponentKind::ordinary, 50.0);
        host.install();
        table = host.table();
    }
    std::vector<double> evaluate(const std::vector<double> &coefficients_12, double t, std::int64_t used = 6) {
        std::vector<double> tab(6 * 9, 0.0);
        std::copy(coefficients_12.begin(), coefficients_12.end(), tab.begin() + 6 * ((2 - 1) * 3 + 1 - 1));
        std::vector<double> kij(9, -7.0);
        const std::int64_t stride = 6;
        table.binary_table3(&stride, &used, &t, tab.data(), kij.data());
        return kij;
    }
    ReferenceHost host;
    keld_host table{};
};

TEST_F(TableHost, FiveTermFormulaWithGivenReferenceTemperature) {
    const double t = 420.0, tr = 420.0 / 350.0;
    const auto k = evaluate({0.01, -2.0, 0.3, 0.04, 0.005, 350.0}, t);
    EXPECT_NEAR(k[(2 - 1) * 3 + 1 - 1], 0.01 - 2.0 / tr + 0.3 * std::log(tr) + 0.04 * tr + 0.005 * tr * tr, 1e-15);
    EXPECT_EQ(k[(1 - 1) * 3 + 2 - 1], 0.0);  // (2, 1) has no table: an all-zero pair is k = 0
}

TEST_F(TableHost, ReferenceTemperatureDefaultsTo29815) {
    const double tr = 400.0 / 298.15;
    for (double t_ref : {0.0, missing, -10.0}) {
        const auto k = evaluate({0.0, 1.0, 0.0, 0.0, 0.0, t_ref}, 400.0);
        EXPECT_NEAR(k[3], 1.0 / tr, 1e-15) << t_ref;
    }
    // At T = Tref every Tr term is at its unit value: a + b + d + e.
    EXPECT_NEAR(evaluate({0.1, 0.2, 0.3, 0.4, 0.5, 0.0}, 298.15)[3], 0.1 + 0.2 + 0.4 + 0.5, 1e-15);
}

TEST_F(TableHost, MissingCoefficientsCountAsZero) {
    const auto k = evaluate({missing, missing, 0.3, missing, missing, 300.0}, 450.0);
    EXPECT_NEAR(k[3], 0.3 * std::log(1.5), 1e-15);
    EXPECT_EQ(evaluate({0.02, missing, missing, missing, missing, missing}, 450.0)[3], 0.02);
}

TEST_F(TableHost, OnlyTheUsedCoefficientsCount) {
    EXPECT_EQ(evaluate({0.02, 5.0, 5.0, 5.0, 5.0, 100.0}, 450.0, 1)[3], 0.02);
    const auto k2 = evaluate({0.02, 5.0, 5.0, 5.0, 5.0, 100.0}, 450.0, 2);  // Tref unused: 298.15
    EXPECT_NEAR(k2[3], 0.02 + 5.0 * 298.15 / 450.0, 1e-14);
}

TEST_F(TableHost, NonPositiveTemperature) {
    EXPECT_EQ(evaluate({0.02, 0, 0, 0, 0, 0}, 0.0)[3], 0.02);  // a constant needs no temperature
    EXPECT_TRUE(std::isnan(evaluate({0.02, 1.0, 0, 0, 0, 0}, 0.0)[3]));
}

TEST_F(TableHost, TableReachingPastTheStoreIsRefused) {
    std::vector<double> kij(9, -7.0);
    const std::int64_t stride = 6, used = 6;
    const double t = 300.0;
    const double *near_end = host.store().data() + host.store().size() - 10;
    table.binary_table3(&stride, &used, &t, near_end, kij.data());
    for (double k : kij) EXPECT_EQ(k, 0.0);
}

TEST_F(TableHost, TempParamMarksComponentsOfTemperatureDependentPairs) {
    std::vector<double> tab(6 * 9, 0.0);
    const auto pair = [&](std::int64_t i, std::int64_t j) { return tab.begin() + 6 * ((j - 1) * 3 + i - 1); };
    pair(1, 3)[3] = 0.01;        // d of (1, 3): temperature-dependent
    pair(2, 1)[0] = 0.05;        // a only: constant
    pair(2, 2)[1] = 9.0;         // diagonal: not a binary pair
    pair(3, 2)[2] = missing;     // missing c: absent
    pair(3, 2)[5] = 400.0;       // Tref alone does not make a pair temperature-dependent
    std::vector<double> result(3, -1.0);
    const std::int64_t stride = 6, nc = 3, form = 5, option = 1;
    table.temp_param(&stride, &nc, tab.data(), &form, &option, result.data());
    EXPECT_EQ(result, (std::vector<double>{1.0, 0.0, 1.0}));
}

TEST_F(TableHost, TempParamWritesIntoTheResultArrayOfTheStore) {
    const double c[6] = {0.0, 0.0, 0.0, 0.0, 0.002, 0.0};
    host.set_binary_coefficients("SLKIJT", 2, 3, c);
    const std::int64_t stride = 6, nc = 3, form = 5, option = 1;
    double *store = host.store().data();
    table.temp_param(&stride, &nc, store + host.offsets1(690), &form, &option, store + host.offsets1(1382));
    EXPECT_EQ(host.unary("SLKTD", 1), 0.0);
    EXPECT_EQ(host.unary("SLKTD", 2), 1.0);
    EXPECT_EQ(host.unary("SLKTD", 3), 1.0);
}

}  // namespace
}  // namespace keld::refhost

namespace keld::refhost {
namespace {

TEST(TemperatureTables, LinkedBinaryTakesTheTableValueOnlyWhereATableIsGiven) {
    ReferenceHost host({.data_sets = 2});
    for (const char *id : {"A", "B", "C"}) host.add_component(id, ComponentKind::ordinary, 50.0);
    host.set_binary("SLKIJ", 1, 3, 0.07, 2);  // given directly: kept
    const double c[6] = {0.01, 3.0, 0.0, 0.0, 0.0, 300.0};
    host.set_binary_coefficients("SLKIJT", 2, 1, c, 2);
    const double constant[1] = {-0.02};
    host.set_binary_coefficients("SLETIT", 3, 2, constant, 1);
    host.apply_temperature_tables(400.0);
    EXPECT_NEAR(host.binary("SLKIJ", 2, 1, 2), 0.01 + 3.0 * 300.0 / 400.0, 1e-15);
    EXPECT_EQ(host.binary("SLKIJ", 2, 1, 1), 0.0);
    EXPECT_EQ(host.binary("SLKIJ", 1, 3, 2), 0.07);
    EXPECT_EQ(host.binary("SLETIJ", 3, 2, 1), -0.02);
    EXPECT_THROW(host.link_temperature_table("SLKIJ", "PCSKIJ"), std::invalid_argument);
    EXPECT_THROW(host.link_temperature_table("SLTSTR", "PCSKIJ"), std::invalid_argument);
}

}  // namespace
}  // namespace keld::refhost
