// Diagnostic units of the reference host: a unit number maps to a sink; records lose trailing blanks.
#include <gtest/gtest.h>

#include "keld/refhost.h"

namespace keld::refhost {
namespace {

TEST(DiagnosticUnits, EachUnitGoesToItsOwnSink) {
    ReferenceHost host;
    host.install();
    host.capture_unit(17);
    std::vector<std::string> other;
    host.set_unit_sink(6, [&](std::string_view line) { other.emplace_back(line); });
    keld_host t{};
    ASSERT_TRUE(keld_host_installed(&t));
    const auto write = [&](std::int64_t unit, std::string_view text) {
        const std::int64_t length = static_cast<std::int64_t>(text.size());
        t.write_unit(&unit, text.data(), &length);
    };
    write(17, "      GETXA1: ITER =    1   ");
    write(6, "to six");
    write(42, "a unit without a sink is silent");
    EXPECT_EQ(host.unit_lines(17), std::vector<std::string>{"      GETXA1: ITER =    1"});
    EXPECT_EQ(other, std::vector<std::string>{"to six"});
    EXPECT_TRUE(host.unit_lines(42).empty());
    host.clear_unit_lines(17);
    EXPECT_TRUE(host.unit_lines(17).empty());
}

}  // namespace
}  // namespace keld::refhost
