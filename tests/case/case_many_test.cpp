// Many states on threads: evaluate_many gives, state by state and in order,
// what evaluate() gives, for every family of the examples, on one to three
// threads, with temperature-dependent binaries and a grown work block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "keld/case.h"

namespace {

using namespace keld::refhost;

const std::string examples = std::string(KELD_SOURCE_DIR) + "/examples/";

// Each state of the case at temperatures around its own, interleaved so that
// neighbours differ in state and temperature.
std::vector<StateRequest> spread(const Case &c, int per_state) {
    std::vector<StateRequest> out;
    for (int k = 0; k < per_state; ++k)
        for (const StateRequest &s : c.states) {
            out.push_back(s);
            out.back().temperature *= 0.9 + 0.2 * k / per_state;
        }
    return out;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expect_identical(const StateResult &a, const StateResult &b, std::size_t i) {
    ASSERT_EQ(a.phi.size(), b.phi.size()) << i;
    for (std::size_t k = 0; k < a.phi.size(); ++k) {
        EXPECT_TRUE(same_bits(a.phi[k], b.phi[k])) << "state " << i << " ln phi " << k;
        EXPECT_TRUE(same_bits(a.dphi[k], b.dphi[k])) << "state " << i << " d ln phi " << k;
    }
    const double x[] = {a.h, a.s, a.g, a.v, a.dh, a.ds, a.dg, a.dv};
    const double y[] = {b.h, b.s, b.g, b.v, b.dh, b.ds, b.dg, b.dv};
    for (int k = 0; k < 8; ++k) EXPECT_TRUE(same_bits(x[k], y[k])) << "state " << i << " scalar " << k;
    EXPECT_EQ(a.status, b.status) << i;
    EXPECT_EQ(a.messages, b.messages) << i;
}

struct ManyCase {
    const char *file;
    unsigned workers;
};

class EvaluateMany : public ::testing::TestWithParam<ManyCase> {};

TEST_P(EvaluateMany, GivesTheOneAtATimeResultsInOrder) {
    Case c = load_case_file(examples + GetParam().file);
    initialise_case(c);
    const std::vector<StateRequest> states = spread(c, 25);
    std::vector<StateResult> one_at_a_time;
    for (const StateRequest &s : states) one_at_a_time.push_back(evaluate(*c.host, s));

    std::vector<std::size_t> reported;
    ManyOptions options;
    options.workers = GetParam().workers;
    options.progress = [&](std::size_t done) { reported.push_back(done); };
    const std::vector<StateResult> many = evaluate_many(*c.host, states, options);
    ASSERT_EQ(many.size(), states.size());
    for (std::size_t i = 0; i < states.size(); ++i) expect_identical(many[i], one_at_a_time[i], i);
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.back(), states.size());
    for (std::size_t k = 1; k < reported.size(); ++k) EXPECT_LE(reported[k - 1], reported[k]);
    // and a single call afterwards, with the work block grown, is unchanged
    expect_identical(evaluate(*c.host, states.front()), one_at_a_time.front(), 0);
}

INSTANTIATE_TEST_SUITE_P(Examples, EvaluateMany,
                         ::testing::Values(ManyCase{"polystyrene-toluene.json", 1}, ManyCase{"polystyrene-toluene.json", 2},
                                           ManyCase{"polystyrene-toluene.json", 3}, ManyCase{"methane-hexane.json", 2},
                                           ManyCase{"polystyrene-from-segments.json", 2},
                                           ManyCase{"light-gases-srk.json", 2},
                                           ManyCase{"methanol-hexane-pcsaft-assoc.json", 2},
                                           ManyCase{"ethylene-styrene-copolymer-toluene.json", 3}));

TEST(EvaluateMany, TemperatureTablesAreAppliedPerTemperature) {
    Case c = parse_case(R"json({
      "components": [{"id": "TOLUENE", "MW / (kg/kmol)": 92.141},
                     {"id": "STY", "kind": "segment", "MW / (kg/kmol)": 104.15},
                     {"id": "PS", "kind": "polymer", "MW / (kg/kmol)": 104.15, "MWN / (kg/kmol)": 1e5,
                      "segments": {"STY": 1.0}}],
      "parameters": [{"sanchez-lacombe": {
        "SLTSTR / K": {"TOLUENE": 543, "PS": 735}, "SLPSTR / MPa": {"TOLUENE": 402, "PS": 357},
        "SLRSTR / (kg/m3)": {"TOLUENE": 966, "PS": 1105},
        "SLKIJ": {"TOLUENE": {"PS": [0.01, 0.03, 0, 0, 0, 298.15]}}}}],
      "states": [{"model": "sanchez-lacombe", "T / K": 300, "P / Pa": 1e5, "phase": "liquid",
                  "mass_fractions": {"TOLUENE": 0.7, "PS": 0.3}}]})json");
    ASSERT_TRUE(c.host->temperature_tables_vary());
    initialise_case(c);
    const std::vector<StateRequest> states = spread(c, 200);
    ManyOptions options;
    options.workers = 2;
    const std::vector<StateResult> many = evaluate_many(*c.host, states, options);
    for (std::size_t i = 0; i < states.size(); ++i) expect_identical(many[i], evaluate(*c.host, states[i]), i);
}

TEST(EvaluateMany, RefusesABadStateBeforeComputing) {
    Case c = load_case_file(examples + "polystyrene-toluene.json");
    std::vector<StateRequest> states = spread(c, 2);
    states.back().data_set = 7;
    ManyOptions options;
    options.workers = 2;
    EXPECT_THROW(evaluate_many(*c.host, states, options), std::invalid_argument);
    EXPECT_TRUE(evaluate_many(*c.host, {}, options).empty());
}

}  // namespace
