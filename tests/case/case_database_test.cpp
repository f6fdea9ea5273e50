// Case files whose components name entries of the shipped parameter database: the values taken must
// be exactly those a user would type, the case's own values must win, and a wrong name must be a case
// error that names the component and the candidates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "keld/case.h"

namespace {

using namespace keld::refhost;

const std::string examples = std::string(KELD_SOURCE_DIR) + "/examples/";

// Every state's outputs, bit for bit (NaN equals NaN: both cases left the same slot unset).
void expect_same_results(Case &a, Case &b, const std::string &what) {
    initialise_case(a);
    initialise_case(b);
    ASSERT_EQ(a.states.size(), b.states.size()) << what;
    auto same = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    for (std::size_t k = 0; k < a.states.size(); ++k) {
        const StateResult ra = evaluate(*a.host, a.states[k]);
        const StateResult rb = evaluate(*b.host, b.states[k]);
        EXPECT_EQ(ra.status, 1) << what << " state " << k;
        EXPECT_EQ(ra.status, rb.status) << what << " state " << k;
        ASSERT_EQ(ra.phi.size(), rb.phi.size());
        for (std::size_t i = 0; i < ra.phi.size(); ++i) {
            EXPECT_TRUE(same(ra.phi[i], rb.phi[i])) << what << " state " << k << " ln phi " << i << ": "
                                                    << ra.phi[i] << " vs " << rb.phi[i];
            EXPECT_TRUE(same(ra.dphi[i], rb.dphi[i])) << what << " state " << k << " d ln phi/dT " << i;
        }
        for (auto [x, y, name] : {std::tuple{ra.h, rb.h, "H"}, std::tuple{ra.s, rb.s, "S"},
                                  std::tuple{ra.g, rb.g, "G"}, std::tuple{ra.v, rb.v, "V"},
                                  std::tuple{ra.dh, rb.dh, "dH/dT"}, std::tuple{ra.dv, rb.dv, "dV/dT"}}) {
            EXPECT_TRUE(same(x, y)) << what << " state " << k << " " << name << ": " << x << " vs " << y;
        }
    }
}

const char *const states_pcsaft = R"j("states": [
    {"model": "pcsaft", "T / K": 300, "P / bar": 1, "phase": "liquid", "mass_fractions": {"A": 0.7, "B": 0.3},
     "properties": "all", "derivatives": ["lnphi", "H", "V"]},
    {"model": "pcsaft", "T / K": 420, "P / bar": 1, "phase": "vapour", "mole_fractions": {"A": 0.5, "B": 0.5}}])j";

struct SameCase {
    const char *what;
    std::string database, typed;
};

TEST(CaseDatabase, ComponentsFromTheDatabaseEvaluateAsTheSameValuesTyped) {
    const std::string states = states_pcsaft;
    const std::vector<SameCase> cases{
        {"molecules, PC-SAFT",
         R"j({"components": [{"id": "A", "database": "toluene"}, {"id": "B", "database": "110-54-3"}], )j" + states + "}",
         R"j({"components": [{"id": "A", "MW / (kg/kmol)": 92.141}, {"id": "B", "MW / (kg/kmol)": 86.177}],
             "parameters": [{"pcsaft": {"PCSFTM": {"A": 2.8149, "B": 3.0576}, "PCSFTV / A": {"A": 3.7169, "B": 3.7983},
                                        "PCSFTU / K": {"A": 285.69, "B": 236.77}}}], )j" + states + "}"},
        // The repeat unit's molar mass is derived from (C8H8)n with standard atomic weights.
        {"polymer and its segment, PC-SAFT",
         R"j({"components": [{"id": "A", "database": "toluene"}, {"id": "STY", "kind": "segment", "database": "PS"},
                            {"id": "B", "database": "polystyrene", "MWN / (kg/kmol)": 100000, "segments": {"STY": 1}}],
             "parameters": [{"pcsaft": {"PCSKIJ": {"A": {"B": 0.0}}}}], )j" + states + "}",
         R"j({"components": [{"id": "A", "MW / (kg/kmol)": 92.141},
                            {"id": "STY", "kind": "segment", "MW / (kg/kmol)": 104.152},
                            {"id": "B", "kind": "polymer", "MW / (kg/kmol)": 104.152, "MWN / (kg/kmol)": 100000,
                             "segments": {"STY": 1}}],
             "parameters": [{"pcsaft": {"PCSFTM": {"A": 2.8149}, "PCSFTV / A": {"A": 3.7169, "STY": 4.1071, "B": 4.1071},
                                        "PCSFTU / K": {"A": 285.69, "STY": 267.0, "B": 267.0},
                                        "PCSFTR / (mol/g)": {"STY": 0.0190, "B": 0.0190},
                                        "PCSKIJ": {"A": {"B": 0.0}}}}], )j" + states + "}"},
        {"associating, PC-SAFT with association",
         R"j({"components": [{"id": "A", "database": "methanol"}, {"id": "B", "database": "hexane"}],
             "state_defaults": {"model": "pcsaft-assoc", "P / bar": 1, "mole_fractions": {"A": 0.3, "B": 0.7}},
             "states": [{"T / K": 300, "phase": "liquid"}, {"T / K": 400, "phase": "vapour"}]})j",
         R"j({"components": [{"id": "A", "MW / (kg/kmol)": 32.042}, {"id": "B", "MW / (kg/kmol)": 86.177}],
             "parameters": [{"pcsaft-assoc": {"PCSFTM": {"A": 1.5255, "B": 3.0576}, "PCSFTV / A": {"A": 3.23, "B": 3.7983},
                             "PCSFTU / K": {"A": 188.9, "B": 236.77}, "PCSATY": {"A": "2B"},
                             "PCSAEP / K": {"A": 2899.5}, "PCSAKP": {"A": 0.035176}}}],
             "state_defaults": {"model": "pcsaft-assoc", "P / bar": 1, "mole_fractions": {"A": 0.3, "B": 0.7}},
             "states": [{"T / K": 300, "phase": "liquid"}, {"T / K": 400, "phase": "vapour"}]})j"},
        // A set other than the default, by its row name.
        {"water's 4C set, PC-SAFT with association",
         R"j({"components": [{"id": "A", "database": "water", "database_set": {"pcsaft-assoc": "water_4C_RG2020"}}],
             "states": [{"model": "pcsaft-assoc", "T / K": 350, "P / bar": 1, "phase": "liquid", "mole_fractions": {"A": 1}}]})j",
         R"j({"components": [{"id": "A", "MW / (kg/kmol)": 18.01528}],
             "parameters": [{"pcsaft-assoc": {"PCSFTM": {"A": 1.8668282082622842}, "PCSFTV / A": {"A": 2.395032022200541},
                             "PCSFTU / K": {"A": 169.7751872692369}, "PCSATY": {"A": "4C"},
                             "PCSAEP / K": {"A": 1772.0393059972052}, "PCSAKP": {"A": 0.13373757842938191}}}],
             "states": [{"model": "pcsaft-assoc", "T / K": 350, "P / bar": 1, "phase": "liquid", "mole_fractions": {"A": 1}}]})j"},
        // The published k_ij of two database molecules comes with them.
        {"methane and toluene with their published k_ij",
         R"j({"components": [{"id": "A", "database": "methane"}, {"id": "B", "database": "toluene"}],
             "states": [{"model": "pcsaft", "T / K": 400, "P / bar": 50, "phase": "vapour", "mole_fractions": {"A": 0.9, "B": 0.1}}]})j",
         R"j({"components": [{"id": "A", "MW / (kg/kmol)": 16.043}, {"id": "B", "MW / (kg/kmol)": 92.141}],
             "parameters": [{"pcsaft": {"PCSFTM": {"A": 1.0, "B": 2.8149}, "PCSFTV / A": {"A": 3.7039, "B": 3.7169},
                                        "PCSFTU / K": {"A": 150.03, "B": 285.69}, "PCSKIJ": {"A": {"B": 0.052}}}}],
             "states": [{"model": "pcsaft", "T / K": 400, "P / bar": 50, "phase": "vapour", "mole_fractions": {"A": 0.9, "B": 0.1}}]})j"},
        {"Sanchez-Lacombe, pressure in MPa",
         R"j({"components": [{"id": "A", "database": "toluene"}],
             "states": [{"model": "sanchez-lacombe", "T / K": 300, "P / bar": 1, "phase": "liquid",
                         "mole_fractions": {"A": 1}}]})j",
         R"j({"components": [{"id": "A", "MW / (kg/kmol)": 92.141}],
             "parameters": [{"sanchez-lacombe": {"SLTSTR / K": {"A": 543}, "SLPSTR / MPa": {"A": 402},
                                                 "SLRSTR / (kg/m3)": {"A": 966}}}],
             "states": [{"model": "sanchez-lacombe", "T / K": 300, "P / bar": 1, "phase": "liquid",
                         "mole_fractions": {"A": 1}}]})j"},
    };
    for (const SameCase &c : cases) {
        Case a = parse_case(c.database, "database.json");
        Case b = parse_case(c.typed, "typed.json");
        expect_same_results(a, b, c.what);
    }
}

TEST(CaseDatabase, TheExampleEvaluatesAsItsValuesTypedAndRecordsItsSources) {
    Case a = load_case_file(examples + "toluene-hexane-database.json");
    ASSERT_EQ(a.database_uses.size(), 2u);
    const std::vector<std::pair<std::string, std::string>> expected{{"TOLUENE", "toluene"}, {"HEXANE", "hexane"}};
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const DatabaseUse &use = a.database_uses[k];
        EXPECT_EQ(use.component, expected[k].first);
        EXPECT_EQ(use.entry, expected[k].second);
        ASSERT_EQ(use.sets.size(), 1u);
        EXPECT_EQ(use.sets[0].family, "pcsaft");
        EXPECT_EQ(use.sets[0].table, "pcsaft/solvents.csv");
        EXPECT_EQ(use.sets[0].source, "GS2001");
    }
    EXPECT_EQ(a.host->unary("PCSFTV", 1), 3.7169);
    EXPECT_EQ(a.host->unary("PCSFTU", 2), 236.77);
    EXPECT_EQ(a.parameter_families, std::vector<std::string>{"pcsaft"});
}

TEST(CaseDatabase, ValuesTheCaseGivesWinOverTheDatabase) {
    const std::string states = states_pcsaft;
    const std::string components = R"j("components": [{"id": "A", "database": "toluene", "MW / (kg/kmol)": 92.0},
                                                     {"id": "B", "database": "hexane"}])j";
    Case overridden = parse_case("{" + components + R"j(, "parameters": [{"pcsaft": {"PCSFTV / A": {"A": 3.8}}}], )j" +
                                 states + "}");
    EXPECT_EQ(overridden.host->unary("PCSFTV", 1), 3.8);
    EXPECT_EQ(overridden.host->unary("PCSFTM", 1), 2.8149);  // the rest of the set still comes from the database
    Case typed = parse_case(R"j({"components": [{"id": "A", "MW / (kg/kmol)": 92.0}, {"id": "B", "MW / (kg/kmol)": 86.177}],
        "parameters": [{"pcsaft": {"PCSFTM": {"A": 2.8149, "B": 3.0576}, "PCSFTV / A": {"A": 3.8, "B": 3.7983},
                                   "PCSFTU / K": {"A": 285.69, "B": 236.77}}}], )j" + states + "}");
    expect_same_results(overridden, typed, "override");
    // Molecular weight only, for a case that evaluates nothing yet: an associating component's comes
    // from its associating set, not a refusal from plain PC-SAFT.
    Case weights = parse_case(R"j({"components": [{"id": "A", "database": "methanol"}]})j");
    ASSERT_EQ(weights.database_uses.size(), 1u);
    EXPECT_TRUE(weights.database_uses[0].sets.empty());
    // A component whose values all come from the case took no set from the database.
    Case own = parse_case("{" + components + R"j(, "parameters": [{"pcsaft": {"PCSFTM": {"A": 2}, "PCSFTV / A": {"A": 3},
        "PCSFTU / K": {"A": 200}}}], )j" + states + "}");
    ASSERT_EQ(own.database_uses.size(), 2u);
    EXPECT_TRUE(own.database_uses[0].sets.empty());
    EXPECT_EQ(own.database_uses[1].sets.size(), 1u);
}

TEST(CaseDatabase, PublishedBinariesAreRecordedAndYieldToTheCases) {
    const std::string components = R"j("components": [{"id": "C1", "database": "methane"}, {"id": "T", "database": "toluene"},
                                                     {"id": "X", "MW / (kg/kmol)": 100, "database": "n-hexane"}])j";
    const std::string states = R"j("states": [{"model": "pcsaft", "T / K": 400, "P / bar": 50, "phase": "vapour",
                                              "mole_fractions": {"C1": 0.8, "T": 0.1, "X": 0.1}}])j";
    Case taken = parse_case("{" + components + ", " + states + "}");
    // Methane carries both of its pairs; toluene + n-hexane has no published value.
    ASSERT_EQ(taken.database_uses.size(), 3u);
    const auto &binaries = taken.database_uses[0].binaries;
    ASSERT_EQ(binaries.size(), 2u);
    EXPECT_EQ(binaries[0].other, "T");
    EXPECT_EQ(binaries[0].value, 0.052);
    EXPECT_EQ(binaries[0].source, "GS2001");
    EXPECT_EQ(binaries[1].other, "X");
    EXPECT_EQ(binaries[1].value, 0.021);
    EXPECT_TRUE(taken.database_uses[1].binaries.empty());
    // The case's own value, given in either order, wins; the other pair still comes from the database.
    Case own = parse_case("{" + components + R"j(, "parameters": [{"pcsaft": {"PCSKIJ": {"T": {"C1": 0.0}}}}], )j" + states + "}");
    ASSERT_EQ(own.database_uses[0].binaries.size(), 1u);
    EXPECT_EQ(own.database_uses[0].binaries[0].other, "X");
}

struct BadCase {
    const char *what;
    std::string json;
    std::vector<std::string> message_parts;
};

TEST(CaseDatabase, WrongEntriesAreCaseErrorsNamingTheComponentAndCandidates) {
    const std::string liquid = R"j("states": [{"model": "pcsaft", "T / K": 300, "P / bar": 1, "mole_fractions": {"A": 1}}])j";
    const std::vector<BadCase> cases{
        {"unknown name", R"j({"components": [{"id": "A", "database": "tolune"}], )j" + liquid + "}",
         {"case.json:components[0].database", "\"A\"", "tolune", "toluene"}},
        {"formula of isomers", R"j({"components": [{"id": "A", "database": "C7H16"}], )j" + liquid + "}",
         {"components[0].database", "\"A\"", "heptane", "2-methylhexane"}},
        {"molecule as a polymer",
         R"j({"components": [{"id": "A", "kind": "polymer", "database": "toluene", "MWN / (kg/kmol)": 1000,
             "segments": {"A": 1}}], )j" + liquid + "}",
         {"components[0].kind", "toluene is a molecule"}},
        {"polymer without its Mn", R"j({"components": [{"id": "A", "database": "polystyrene"}], )j" + liquid + "}",
         {"components[0]", "MWN"}},
        {"associating component in plain PC-SAFT", R"j({"components": [{"id": "A", "database": "methanol"}], )j" + liquid + "}",
         {"components[0].database", "methanol associates", "pcsaft-assoc"}},
        {"no set for the family",
         R"j({"components": [{"id": "A", "database": "polystyrene", "MWN / (kg/kmol)": 1000, "segments": {"S": 1}},
                            {"id": "S", "kind": "segment", "database": "polystyrene"}],
             "states": [{"model": "cubic", "T / K": 300, "P / bar": 1, "mole_fractions": {"A": 1}}]})j",
         {"components[0].database", "no cubic parameters for polystyrene"}},
        {"a set the entry does not have",
         R"j({"components": [{"id": "A", "database": "water", "database_set": {"pcsaft-assoc": "4C"}}],
             "states": [{"model": "pcsaft-assoc", "T / K": 300, "P / bar": 1, "mole_fractions": {"A": 1}}]})j",
         {"components[0].database_set[\"pcsaft-assoc\"]", "water has no pcsaft-assoc set \"4C\"", "water_4C_RG2020"}},
        {"a set for a family the case does not evaluate",
         R"j({"components": [{"id": "A", "database": "toluene", "database_set": {"saft": "toluene"}}], )j" + liquid + "}",
         {"components[0].database_set.saft", "evaluates no model that reads saft"}},
        {"an unknown family", R"j({"components": [{"id": "A", "database": "toluene", "database_set": {"PC-SAFT": "x"}}], )j" +
                                  liquid + "}",
         {"components[0].database_set[\"PC-SAFT\"]", "unknown family", "\"pcsaft-assoc\""}},
        {"a set without a database entry",
         R"j({"components": [{"id": "A", "MW / (kg/kmol)": 1, "database_set": {"pcsaft": "x"}}], )j" + liquid + "}",
         {"components[0].database_set", "\"database\" entry"}},
    };
    for (const BadCase &c : cases) {
        try {
            parse_case(c.json, "case.json");
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const CaseError &e) {
            const std::string message = e.what();
            for (const std::string &part : c.message_parts)
                EXPECT_NE(message.find(part), std::string::npos) << c.what << ": " << message << "\n  lacks " << part;
        }
    }
}

}  // namespace
