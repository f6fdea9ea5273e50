// A whole binary table evaluated at once (PolyBinaryTable3) takes a shortcut for the pairs without a
// temperature term; every pair must still come out as the one-pair formula gives it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "keld/refhost.h"
#include "temperature_table.h"

namespace keld::refhost {
namespace {

constexpr double missing = ReferenceHost::missing_value;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double tiny = std::numeric_limits<double>::denorm_min();

struct Pair {
    std::string what;
    std::vector<double> c;  // a, b, c, d, e, Tref
};

const std::vector<Pair> kPairs = {
    {"all zero", {0, 0, 0, 0, 0, 0}},         {"constant", {0.013, 0, 0, 0, 0, 0}},
    {"missing a", {missing, 0, 0, 0, 0, 0}},  {"negative zeros", {-0.0, -0.0, -0.0, -0.0, -0.0, 0}},
    {"missing b..e", {0.02, missing, missing, missing, missing, missing}},
    {"b only", {0.01, 0.5, 0, 0, 0, 0}},      {"e only", {0.01, 0, 0, 0, 1e-3, 310.0}},
    {"smallest b", {0.01, tiny, 0, 0, 0, 0}}, {"overflowing b + e", {0.01, 1e308, 0, 0, 1e308, 0}},
    {"NaN c", {0.01, 0, nan, 0, 0, 0}},       {"infinite d", {0.01, 0, 0, inf, 0, 0}},
    {"NaN a", {nan, 0, 0, 0, 0, 0}},
};

bool same(double x, double y) { return (std::isnan(x) && std::isnan(y)) || x == y; }

TEST(TableConstantPairs, WholeTableMatchesTheOnePairFormula) {
    ReferenceHost host;
    for (const char *id : {"A", "B", "C", "D"}) host.add_component(id, ComponentKind::ordinary, 50.0);
    host.install();
    const keld_host table = host.table();
    const std::int64_t nc = 4, pairs = nc * nc, stride = 6;
    std::vector<double> tab(6 * pairs, 0.0);
    for (std::int64_t p = 0; p < pairs; ++p) {
        const Pair &pair = kPairs[p % kPairs.size()];
        std::copy(pair.c.begin(), pair.c.end(), tab.begin() + 6 * p);
    }
    for (const std::int64_t used : {1, 2, 4, 5, 6}) {
        for (const double t : {250.0, 298.15, 0.0}) {
            std::vector<double> kij(pairs, -7.0);
            table.binary_table3(&stride, &used, &t, tab.data(), kij.data());
            for (std::int64_t p = 0; p < pairs; ++p) {
                const double want = binary_table_value(tab.data() + 6 * p, used, t, missing);
                EXPECT_TRUE(same(kij[p], want)) << kPairs[p % kPairs.size()].what << ", " << used << " used, T = " << t
                                                << ": " << kij[p] << " vs " << want;
                EXPECT_EQ(binary_table_is_constant(tab.data() + 6 * p, used, missing),
                          !binary_table_depends_on_temperature(tab.data() + 6 * p, used, missing))
                    << kPairs[p % kPairs.size()].what << ", " << used << " used";
            }
        }
    }
}

}  // namespace
}  // namespace keld::refhost
