// Many states on threads: evaluate_many gives, state by state and in order,
// what evaluate() gives, for every family of the examples, on one to three
// threads, with temperature-dependent binaries and a grown work block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cubic/cubic_fixture.h"
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

// Between them every family: Sanchez-Lacombe and PC-SAFT, both SAFT monitors
// (polyethylene-hexane), the three segment-based ones (the copolymer), the
// cubic with three mixing rules and associating PC-SAFT.
INSTANTIATE_TEST_SUITE_P(Examples, EvaluateMany,
                         ::testing::Values(ManyCase{"polystyrene-toluene.json", 1}, ManyCase{"polystyrene-toluene.json", 2},
                                           ManyCase{"polystyrene-toluene.json", 3}, ManyCase{"methane-hexane.json", 2},
                                           ManyCase{"polystyrene-from-segments.json", 2},
                                           ManyCase{"light-gases-srk.json", 2},
                                           ManyCase{"acetone-methanol-water-mhv2.json", 3},
                                           ManyCase{"polystyrene-toluene-wong-sandler.json", 2},
                                           ManyCase{"polyethylene-hexane.json", 2},
                                           ManyCase{"methanol-hexane-pcsaft-assoc.json", 2},
                                           ManyCase{"ethylene-styrene-copolymer-toluene.json", 3}));

// The cubic completes a component's missing critical constants the first time
// a call lists it (with its messages): on a fresh host evaluate_many gives what
// one call after another gives, the messages with the state that lists the
// component first.
TEST(EvaluateMany, FirstUseCompletionsComeOutAsOneAfterAnother) {
    auto fresh = [] {
        Case c = parse_case(keld::testing::kCubicCase);
        c.host->set_unary("TCRKS", 2, ReferenceHost::missing_value);  // METHANOL
        c.host->set_unary("OMGRKS", 3, ReferenceHost::missing_value);  // HEXANE
        return c;
    };
    // Threads take 16 states at a time: each component is first listed at the
    // end of one such chunk and again at the start of the next.
    std::vector<StateRequest> states;
    for (int k = 0; k < 48; ++k) {
        StateRequest s;
        s.model = "cubic";
        s.components = k == 15 || k == 16 ? std::vector<std::int64_t>{1, 3}
                       : k == 31 || k == 32 ? std::vector<std::int64_t>{2}
                       : k == 40           ? std::vector<std::int64_t>{1, 2, 3}
                                           : std::vector<std::int64_t>{1};
        s.z.assign(s.components.size(), 1.0 / static_cast<double>(s.components.size()));
        s.temperature = 300.0 + 2.0 * k;
        s.pressure = 1e5;
        s.mixing_rule = 1 + k % 3;
        s.excess_model = 5;
        states.push_back(s);
    }
    Case serial = fresh();
    std::vector<StateResult> one_at_a_time;
    for (const StateRequest &s : states) one_at_a_time.push_back(evaluate(*serial.host, s));
    for (const std::size_t first : {15, 31}) {  // the messages, with the first state listing the component
        ASSERT_FALSE(one_at_a_time[first].messages.empty()) << first;
        EXPECT_NE(one_at_a_time[first].messages.back().find("ITS DEFAULT"), std::string::npos) << first;
    }
    for (int round = 0; round < 10; ++round) {  // the threads meet the chunks in varying order
        Case parallel = fresh();
        ManyOptions options;
        options.workers = 3;
        const std::vector<StateResult> many = evaluate_many(*parallel.host, states, options);
        for (std::size_t i = 0; i < states.size(); ++i) expect_identical(many[i], one_at_a_time[i], i);
    }
}

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
