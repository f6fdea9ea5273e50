// Parameter addressing in the reference host's store: HostParamOffset,
// HostOffsets1 and the C++ accessors must all reach the same words.
#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "keld/refhost.h"

namespace keld::refhost {
namespace {

class ParameterStore : public ::testing::Test {
protected:
    ParameterStore() : host({.data_sets = 2}) {
        for (const auto &[name, mw] : {std::pair{"WATER", 18.015}, {"TOLUENE", 92.14}, {"ETHANOL", 46.07}})
            host.add_component(name, ComponentKind::ordinary, mw);
    }
    double word(std::int64_t position) { return host.store_at(position); }
    static constexpr std::int64_t nc = 3;
    ReferenceHost host;
};

// Unary (i, set), binary (i, j, set) and six-coefficient (n, i, j, set) words, Fortran order.
TEST_F(ParameterStore, ArraysFollowTheDataSetConvention) {
    host.set_unary("SLTSTR", 2, 543.0, 2);
    host.set_binary("SLKIJ", 1, 3, 0.05, 2);
    EXPECT_EQ(word(host.param_offset("SLTSTR") + (2 - 1) * nc + 2), 543.0);
    EXPECT_EQ(word(host.param_offset("SLKIJ") + (2 - 1) * nc * nc + (3 - 1) * nc + 1), 0.05);
    EXPECT_EQ(host.binary("SLKIJ", 3, 1, 2), 0.0);  // (j, i) is a different word
    EXPECT_EQ(host.binary("SLKIJ", 1, 3, 1), 0.0);  // and data set 1 is untouched

    const double c[6] = {0.01, -2.0, 0.3, 0.04, 0.005, 350.0};
    host.set_binary_coefficients("PCSKIJ", 3, 2, c, 2);
    const std::int64_t b = host.param_offset("PCSKIJ");
    for (std::int64_t n = 1; n <= 6; ++n)
        EXPECT_EQ(word(b + (2 - 1) * 6 * nc * nc + 6 * ((2 - 1) * nc + 3 - 1) + n), c[n - 1]);
}

TEST_F(ParameterStore, NamesAndOffsets1ElementsReachTheSameStorage) {
    const keld_host table = host.table();
    host.install();
    const std::int64_t length = 8, short_length = 4;
    EXPECT_EQ(table.param_offset("pcsftu  ", &length), host.param_offset("PCSFTU"));  // case and blanks ignored
    EXPECT_EQ(table.param_offset("PCSFxxxx", &short_length), 0);
    EXPECT_EQ(host.param_offset("NOPE"), 0);
    const std::pair<std::int64_t, const char *> links[] = {
        {306, "MW"},      {326, "PC"},      {416, "TC"},     {884, "PCSFTM"}, {885, "PCSFTV"},
        {886, "PCSFTU"},  {887, "PCSFTR"},  {890, "PCSKIJ"}, {1357, "PCSSRC"}, {1379, "PCSKTD"},
        {1359, "SLSRC"},  {690, "SLKIJT"},  {689, "SLETIT"}, {1382, "SLKTD"},  {1383, "SLETD"}};
    for (const auto &[element, name] : links) {
        EXPECT_NE(host.offsets1(element), 0) << name;
        EXPECT_EQ(host.offsets1(element), host.param_offset(name)) << name;
    }
    host.set_unary("PCSFTV", 3, 3.7, 2);
    EXPECT_EQ(word(host.offsets1(885) + 3 + 3), 3.7);
    EXPECT_EQ(word(host.offsets1(306) + 2), 92.14);
}

// Unary values start missing, binary ones absent (0); a new component keeps every old value.
TEST_F(ParameterStore, LookupByNameIgnoresCaseAndTrailingBlanksOnly) {
    host.define_parameter("xparm", ParameterShape::unary);
    const std::pair<std::string_view, const char *> queries[] = {
        {"PcSfTu  ", "PCSFTU"}, {std::string_view("MW\0\0", 4), "MW"}, {"xParm", "XPARM"}, {"MWN", "MWN"},
        {"MWX", ""}, {" MW", ""}, {"PCSFTUXYZ", ""}, {"   ", ""}, {std::string_view("M\0W", 3), ""}};
    for (const auto &[query, name] : queries) {
        const ParameterDefinition *found = host.find_parameter(query);
        EXPECT_EQ(found != nullptr ? found->name : std::string(), name) << "query of " << query.size() << " characters";
        EXPECT_EQ(host.param_offset(query), *name ? host.param_offset(name) : 0);
    }
}

TEST_F(ParameterStore, AddingAComponentKeepsEveryValueAndStartsTheNewOneEmpty) {
    host.set_unary("SLPSTR", 3, 4.0e8, 2);
    host.set_binary("SLETIJ", 2, 3, -0.02, 1);
    const double c[2] = {0.1, 5.0};
    host.set_binary_coefficients("SLKIJT", 1, 2, c, 2);
    host.set_component_value("TC", 2, 591.75);
    host.add_component("BENZENE", ComponentKind::ordinary, 78.11);
    EXPECT_EQ(host.unary("SLPSTR", 3, 2), 4.0e8);
    EXPECT_EQ(host.binary("SLETIJ", 2, 3, 1), -0.02);
    EXPECT_EQ(host.binary_coefficient("SLKIJT", 1, 2, 2, 2), 5.0);
    EXPECT_EQ(host.component_value("TC", 2), 591.75);
    EXPECT_EQ(host.component_value("MW", 4), 78.11);
    EXPECT_EQ(host.unary("SLPSTR", 4, 2), ReferenceHost::missing_value);
    EXPECT_EQ(host.component_value("TSTARL", 4), ReferenceHost::missing_value);
    EXPECT_EQ(host.binary("SLETIJ", 4, 2, 1), 0.0);
    EXPECT_EQ(host.binary_coefficient("PCSKIJ", 4, 1, 6, 2), 0.0);
}

TEST_F(ParameterStore, DefinedParameterIsReachableByNameAndElement) {
    host.define_parameter("xparm", ParameterShape::unary, 1000);
    host.set_unary("XPARM", 1, 1.2, 2);
    EXPECT_EQ(host.offsets1(1000), host.param_offset("XPARM"));
    EXPECT_EQ(word(host.offsets1(1000) + 3 + 1), 1.2);
    EXPECT_EQ(host.unary("SLTSTR", 1, 1), ReferenceHost::missing_value);  // older arrays moved, not lost
    EXPECT_THROW(host.define_parameter("XPARM", ParameterShape::unary), std::invalid_argument);
    EXPECT_THROW(host.define_parameter("OTHER", ParameterShape::unary, 1000), std::invalid_argument);
}

TEST_F(ParameterStore, SetUpErrorsThrow) {
    EXPECT_THROW(host.set_unary("SLTSTR", 4, 1.0), std::out_of_range);
    EXPECT_THROW(host.set_unary("SLTSTR", 1, 1.0, 3), std::out_of_range);
    EXPECT_THROW(host.set_unary("SLKIJ", 1, 1.0), std::invalid_argument);  // binary, not unary
    EXPECT_THROW(host.set_unary("NOPE", 1, 1.0), std::invalid_argument);
    for (const auto &[name, mw] : {std::pair{"TOLUENE", 92.14}, {"NINECHARS", 10.0}, {"X", 0.0}})
        EXPECT_THROW(host.add_component(name, ComponentKind::ordinary, mw), std::invalid_argument) << name;
    EXPECT_THROW(host.store_at(0), std::out_of_range);
    EXPECT_THROW(host.store_at(static_cast<std::int64_t>(host.store().size()) + 1), std::out_of_range);
}

TEST_F(ParameterStore, IdentifiersAreTwoBlankPaddedFourCharacterWords) {
    const auto chars = [&](std::int64_t position) {
        const auto bytes = std::bit_cast<std::array<char, 8>>(word(position));
        return std::string(bytes.begin(), bytes.end());
    };
    const std::int64_t b = host.offsets4(2);
    EXPECT_EQ(chars(b + 2 * 2 - 1) + chars(b + 2 * 2), "TOLU    ENE     ");
    EXPECT_EQ(chars(b + 2 * 1 - 1) + chars(b + 2 * 1), "WATE    R       ");
    host.set_formula(3, "C2H6O");
    EXPECT_EQ(chars(host.offsets4(1) + 3 * (3 - 1) + 1), "C2H6O   ");
}

TEST_F(ParameterStore, BlocksStartWithTheDocumentedValues) {
    EXPECT_EQ(host.real_global(1), 1.0e35);
    EXPECT_EQ(host.real_global(2), ReferenceHost::segment_fraction_floor);
    EXPECT_EQ(host.property_global(1), 101325.0);
    EXPECT_EQ(host.property_global(3), 8314.462618);
    EXPECT_EQ(host.global(11), 4);
    EXPECT_EQ(host.root_control(17), 1.0e8);
    EXPECT_FALSE(host.root_switch(1));
    EXPECT_EQ(host.store_integer(1), 3);
    EXPECT_GE(host.work_words(), 18 * 3 + 7 * 9);
    EXPECT_LE(host.work_offset() + host.work_words(), static_cast<std::int64_t>(host.store().size()));

    ReferenceHost bigger({.data_sets = 1, .minimum_work_words = 5000});  // a caller may ask for more
    bigger.add_component("A", ComponentKind::ordinary, 10.0);
    EXPECT_EQ(bigger.work_words(), 5000);
    EXPECT_EQ(bigger.work_area().size(), 5000u);
}

// Components added together lay the store out once, exactly as one by one;
// a store beyond the host's limit is refused before anything is allocated.
TEST(ParameterStoreLayout, BatchesMatchSingleAddsAndSizesAreBounded) {
    const ComponentDefinition components[] = {{"STY", ComponentKind::segment, 104.15},
                                              {"PS", ComponentKind::polymer, 104.15},
                                              {"TOL", ComponentKind::ordinary, 92.14}};
    ReferenceHost batch, single;
    EXPECT_EQ(batch.add_components(components), 1);
    for (const ComponentDefinition &c : components) single.add_component(c.identifier, c.kind, c.molecular_weight);
    EXPECT_TRUE(std::equal(batch.store().begin(), batch.store().end(), single.store().begin(), single.store().end(),
                           [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }));
    ReferenceHost huge(HostOptions{1000000000000, 0});
    EXPECT_THROW(huge.add_component("A", ComponentKind::ordinary, 10.0), std::length_error);
}

}  // namespace
}  // namespace keld::refhost
