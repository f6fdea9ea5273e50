// A wrong case file is refused with the place of the fault, and nothing is computed.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "keld/case.h"

namespace {

using keld::refhost::CaseError;
using keld::refhost::parse_case;
using Json = nlohmann::ordered_json;

// A small valid case: a solvent, a segment and a polymer made of it, SL and
// PC-SAFT parameters, one state.
Json valid_case() {
    return Json::parse(R"json({
      "components": [
        {"id": "TOLUENE", "MW / (kg/kmol)": 92.141},
        {"id": "STY", "kind": "segment", "MW / (kg/kmol)": 104.15},
        {"id": "PS", "kind": "polymer", "MW / (kg/kmol)": 104.15, "MWN / (kg/kmol)": 1e5,
         "segments": {"STY": 1.0}}
      ],
      "parameters": [{
        "sanchez-lacombe": {"SLTSTR / K": {"TOLUENE": 543}, "SLKIJ": {"TOLUENE": {"PS": 0.01}}},
        "pcsaft": {"PCSFTM": {"TOLUENE": 2.8149}, "PCSKIJ": {"TOLUENE": {"PS": [0.01, 0, 0, 0, 0, 0]}}}
      }],
      "states": [
        {"model": "pcsaft", "T / K": 300, "P / Pa": 1e5, "phase": "liquid",
         "mass_fractions": {"TOLUENE": 0.7, "PS": 0.3}}
      ]
    })json");
}

// Parses a modified valid case and returns the place the error names ("" if none).
std::string error_place(const std::function<void(Json &)> &change) {
    Json j = valid_case();
    change(j);
    try {
        parse_case(j.dump(), "case.json");
    } catch (const CaseError &e) {
        EXPECT_EQ(std::string(e.what()).rfind(e.where() + ": ", 0), 0u) << e.what();
        return e.where();
    }
    return "";
}

std::string error_place_of_text(const std::string &text) {
    try {
        parse_case(text, "case.json");
    } catch (const CaseError &e) {
        return e.where();
    }
    return "";
}

TEST(CaseFileErrors, TheValidCaseLoads) {
    EXPECT_EQ(error_place([](Json &) {}), "");
}

TEST(CaseFileErrors, UnknownKeysAreNamedWhereverTheyAre) {
    EXPECT_EQ(error_place([](Json &j) { j["colour"] = "red"; }), "case.json:colour");
    EXPECT_EQ(error_place([](Json &j) { j["components"][0]["mw"] = 1; }), "case.json:components[0].mw");
    EXPECT_EQ(error_place([](Json &j) { j["parameters"][0]["pcsaft"]["SLTSTR / K"] = Json::object(); }),
              "case.json:parameters[0].pcsaft[\"SLTSTR / K\"]");
    EXPECT_EQ(error_place([](Json &j) { j["parameters"][0]["lattice"] = Json::object(); }),
              "case.json:parameters[0].lattice");
    EXPECT_EQ(error_place([](Json &j) { j["states"][0]["pressure"] = 1; }), "case.json:states[0].pressure");
    EXPECT_EQ(error_place([](Json &j) {
                  j["state_defaults"] = {{"label", "x"}};
              }),
              "case.json:state_defaults.label");
}

TEST(CaseFileErrors, MissingValuesNameTheObjectThatLacksThem) {
    EXPECT_EQ(error_place([](Json &j) { j.erase("components"); }), "case.json");
    EXPECT_EQ(error_place([](Json &j) { j["components"][0].erase("MW / (kg/kmol)"); }),
              "case.json:components[0]");
    EXPECT_EQ(error_place([](Json &j) { j["states"][0].erase("T / K"); }), "case.json:states[0]");
    EXPECT_EQ(error_place([](Json &j) { j["states"][0].erase("phase"); }), "case.json:states[0]");
    // A value in state_defaults completes a state.
    EXPECT_EQ(error_place([](Json &j) {
                  j["states"][0].erase("T / K");
                  j["state_defaults"] = {{"T / K", 310}};
              }),
              "");
}

TEST(CaseFileErrors, FractionsMustAddUpToOneWithin1e9) {
    EXPECT_EQ(error_place([](Json &j) { j["states"][0]["mass_fractions"]["PS"] = 0.2; }),
              "case.json:states[0].mass_fractions");
    EXPECT_EQ(error_place([](Json &j) {
                  j["states"][0].erase("mass_fractions");
                  j["states"][0]["mole_fractions"] = {{"TOLUENE", 0.5}, {"PS", 0.5 + 2e-9}};
              }),
              "case.json:states[0].mole_fractions");
    EXPECT_EQ(error_place([](Json &j) {
                  j["states"][0].erase("mass_fractions");
                  j["states"][0]["mole_fractions"] = {{"TOLUENE", 0.5}, {"PS", 0.5 + 5e-10}};
              }),
              "");
    EXPECT_EQ(error_place([](Json &j) {
                  j["states"][0]["mass_fractions"] = {{"TOLUENE", 1.2}, {"PS", -0.2}};
              }),
              "case.json:states[0].mass_fractions.PS");
    EXPECT_EQ(error_place([](Json &j) {
                  j["states"][0]["mole_fractions"] = {{"TOLUENE", 1.0}};
              }),
              "case.json:states[0]");  // both compositions given
}

TEST(CaseFileErrors, MolecularWeightsMustBePositive) {
    EXPECT_EQ(error_place([](Json &j) { j["components"][1]["MW / (kg/kmol)"] = 0; }),
              "case.json:components[1][\"MW / (kg/kmol)\"]");
    EXPECT_EQ(error_place([](Json &j) { j["components"][0]["MW / (kg/kmol)"] = -92.1; }),
              "case.json:components[0][\"MW / (kg/kmol)\"]");
    EXPECT_EQ(error_place([](Json &j) { j["components"][2]["MWN / (kg/kmol)"] = 0; }),
              "case.json:components[2][\"MWN / (kg/kmol)\"]");
}

TEST(CaseFileErrors, UnknownComponentsInPairsAndCompositions) {
    EXPECT_EQ(error_place([](Json &j) {
                  j["parameters"][0]["sanchez-lacombe"]["SLKIJ"] = {{"TOLUENE", {{"PE", 0.1}}}};
              }),
              "case.json:parameters[0][\"sanchez-lacombe\"].SLKIJ.TOLUENE.PE");
    EXPECT_EQ(error_place([](Json &j) {
                  j["parameters"][0]["sanchez-lacombe"]["SLKIJ"] = {{"PE", {{"PS", 0.1}}}};
              }),
              "case.json:parameters[0][\"sanchez-lacombe\"].SLKIJ.PE");
    EXPECT_EQ(error_place([](Json &j) {
                  j["parameters"][0]["sanchez-lacombe"]["SLKIJ"] = {{"PS", {{"PS", 0.1}}}};
              }),
              "case.json:parameters[0][\"sanchez-lacombe\"].SLKIJ.PS.PS");
    EXPECT_EQ(error_place([](Json &j) {
                  j["states"][0]["mass_fractions"] = {{"TOLUEN", 0.7}, {"PS", 0.3}};
              }),
              "case.json:states[0].mass_fractions.TOLUEN");
    EXPECT_EQ(error_place([](Json &j) {
                  j["parameters"][0]["pcsaft"]["PCSFTM"] = {{"XYLENE", 3.0}};
              }),
              "case.json:parameters[0].pcsaft.PCSFTM.XYLENE");
}

TEST(CaseFileErrors, ASegmentIsNotAComponentOfAPhase) {
    EXPECT_EQ(error_place([](Json &j) {
                  j["states"][0]["mass_fractions"] = {{"TOLUENE", 0.7}, {"STY", 0.3}};
              }),
              "case.json:states[0].mass_fractions.STY");
}

TEST(CaseFileErrors, PolymersNeedSegmentsThatAddUp) {
    EXPECT_EQ(error_place([](Json &j) { j["components"][2].erase("segments"); }), "case.json:components[2]");
    EXPECT_EQ(error_place([](Json &j) { j["components"][2]["segments"] = Json::object(); }),
              "case.json:components[2].segments");
    EXPECT_EQ(error_place([](Json &j) { j["components"][2]["segments"]["STY"] = 0.9; }),
              "case.json:components[2].segments");
    EXPECT_EQ(error_place([](Json &j) {
                  j["components"][2]["segments"] = {{"TOLUENE", 1.0}};
              }),
              "case.json:components[2].segments.TOLUENE");  // not a segment
    EXPECT_EQ(error_place([](Json &j) {
                  j["components"][0]["segments"] = {{"STY", 1.0}};
              }),
              "case.json:components[0].segments");  // an ordinary component has none
    EXPECT_EQ(error_place([](Json &j) { j["components"][2].erase("MWN / (kg/kmol)"); }),
              "case.json:components[2]");
}

TEST(CaseFileErrors, TemperatureAndPressureMustBeFiniteAndPositive) {
    EXPECT_EQ(error_place([](Json &j) { j["states"][0]["T / K"] = 0; }), "case.json:states[0][\"T / K\"]");
    EXPECT_EQ(error_place([](Json &j) { j["states"][0]["P / Pa"] = -1e5; }),
              "case.json:states[0][\"P / Pa\"]");
    EXPECT_EQ(error_place([](Json &j) { j["states"][0]["T / K"] = "300"; }),
              "case.json:states[0][\"T / K\"]");
    // A literal beyond the double range is placed by line and column.
    std::string text = valid_case().dump();
    const std::size_t at = text.find("\"T / K\":300");
    text.replace(at, 11, "\"T / K\":1e999");
    EXPECT_EQ(error_place_of_text(text), "case.json:1:" + std::to_string(at + 9));
}

TEST(CaseFileErrors, UnitsAreCheckedInTheKeys) {
    EXPECT_EQ(error_place([](Json &j) {
                  j["states"][0].erase("P / Pa");
                  j["states"][0]["P / psi"] = 14.7;
              }),
              "case.json:states[0][\"P / psi\"]");
    EXPECT_EQ(error_place([](Json &j) {
                  j["states"][0].erase("T / K");
                  j["states"][0]["T"] = 300;
              }),
              "case.json:states[0].T");
    EXPECT_EQ(error_place([](Json &j) { j["states"][0]["P / bar"] = 1; }),
              "case.json:states[0][\"P / bar\"]");
    EXPECT_EQ(error_place([](Json &j) {
                  j["parameters"][0]["pcsaft"].erase("PCSFTM");
                  j["parameters"][0]["pcsaft"]["PCSFTM / K"] = {{"TOLUENE", 1}};
              }),
              "case.json:parameters[0].pcsaft[\"PCSFTM / K\"]");  // dimensionless
    EXPECT_EQ(error_place([](Json &j) {
                  j["parameters"][0]["pcsaft"]["PCSFTM "] = {{"TOLUENE", 1}};
              }),
              "case.json:parameters[0].pcsaft[\"PCSFTM \"]");  // given twice
}

TEST(CaseFileErrors, ModelsPhasesAndDataSets) {
    EXPECT_EQ(error_place([](Json &j) { j["states"][0]["model"] = "peng-robinson"; }),
              "case.json:states[0].model");
    EXPECT_EQ(error_place([](Json &j) { j["states"][0]["phase"] = "solid"; }), "case.json:states[0].phase");
    EXPECT_EQ(error_place([](Json &j) { j["states"][0]["data_set"] = 2; }), "case.json:states[0].data_set");
    EXPECT_EQ(error_place([](Json &j) { j["parameters"][0]["data_set"] = 0; }),
              "case.json:parameters[0].data_set");
    EXPECT_EQ(error_place([](Json &j) {
                  j["states"][0]["derivatives"] = {"H", "Cp"};
              }),
              "case.json:states[0].derivatives[1]");
}

// "ln_phi" is the name results carry; "lnphi" stays readable in older case files.
TEST(CaseFileErrors, FugacityCoefficientsAreAskedForByEitherSpellingOnce) {
    auto flags_of = [](const Json &properties, const Json &derivatives) {
        Json j = valid_case();
        j["states"][0]["properties"] = properties;
        j["states"][0]["derivatives"] = derivatives;
        return parse_case(j.dump(), "case.json").states[0].flags;
    };
    const auto old_spelling = flags_of({"lnphi", "V"}, {"lnphi"});
    EXPECT_EQ(old_spelling, flags_of({"ln_phi", "V"}, {"ln_phi"}));
    EXPECT_EQ(old_spelling[0], 3);  // value and temperature derivative
    EXPECT_EQ(error_place([](Json &j) { j["states"][0]["properties"] = {"ln_phi", "lnphi"}; }),
              "case.json:states[0].properties[1]");
}

TEST(CaseFileErrors, IdentifiersAreShortUniqueAndPrintable) {
    EXPECT_EQ(error_place([](Json &j) { j["components"][0]["id"] = "TOLUENE12"; }),
              "case.json:components[0].id");
    EXPECT_EQ(error_place([](Json &j) { j["components"][1]["id"] = "TOLUENE"; }),
              "case.json:components[1].id");
    EXPECT_EQ(error_place([](Json &j) { j["components"][0]["id"] = "A B"; }), "case.json:components[0].id");
}

TEST(CaseFileErrors, SyntaxErrorsAndDuplicateKeysArePlaced) {
    EXPECT_EQ(error_place_of_text("{\n  \"components\": [\n    {\"id\": \"A\",}\n  ]\n}"), "case.json:3:16");
    EXPECT_EQ(error_place_of_text(R"json({"components": [{"id": "A", "id": "B", "MW / (kg/kmol)": 1}]})json"),
              "case.json:components[0].id");
}

// Small inputs that would ask for unbounded resources are refused at their place;
// a state needs parameters of its model in its data set (PC-SAFT has no defaults).
TEST(CaseFileErrors, LimitsAndStatesWithoutParameters) {
    auto solvents = [](Json &j, int count) {
        for (int k = 0; k < count; ++k) j["components"].push_back({{"id", std::to_string(k + 1000)}, {"MW / (kg/kmol)", 50}});
    };
    EXPECT_EQ(error_place([](Json &j) { j["parameters"][0]["data_set"] = 10000000; }),
              "case.json:parameters[0].data_set");
    EXPECT_EQ(error_place([&](Json &j) { solvents(j, 1000); }), "case.json:components");
    EXPECT_EQ(error_place([&](Json &j) {
                  solvents(j, 997);
                  j["parameters"][0]["data_set"] = 50;  // 1000 components in 50 data sets: more than 1 GiB
              }),
              "case.json");
    const std::string deep = "{\"components\": " + std::string(40000, '[') + std::string(40000, ']') + "}";
    EXPECT_EQ(error_place_of_text(deep).rfind("case.json:components[0][0]", 0), 0u);
    EXPECT_EQ(error_place([](Json &j) { j["parameters"][0].erase("pcsaft"); }), "case.json:states[0].model");
    EXPECT_EQ(error_place([](Json &j) {
                  j["parameters"][0].erase("sanchez-lacombe");  // nominal values complete it
                  j["states"][0]["model"] = "sanchez-lacombe";
              }),
              "");
}

TEST(CaseFileErrors, AFileThatCannotBeOpenedIsNamed) {
    try {
        keld::refhost::load_case_file("/nonexistent/case.json");
        FAIL() << "no error";
    } catch (const CaseError &e) {
        EXPECT_EQ(e.where(), "/nonexistent/case.json");
    }
}

}  // namespace

namespace {

// Component constants and correlations reach the store under their names; wrong ones are placed.
TEST(CaseFileErrors, ComponentCorrelations) {
    Json j = valid_case();
    j["components"][0]["Tc / K"] = 591.75;
    j["components"][0]["Pc / bar"] = 41.08;
    j["components"][0]["vapour_pressure"] = {76.945, -6729.8, 0, 0, -8.179};
    j["components"][0]["liquid_density"] = {{"form", 105}, {"coefficients", {0.8792, 0.27136, 591.75, 0.29241}}};
    j["components"][0]["Vstd / (cm3/mol)"] = 106.3;
    const keld::refhost::Case c = parse_case(j.dump(), "case.json");
    const auto &host = *c.host;
    for (auto [name, value] : {std::pair{"TC", 591.75}, {"PC", 4.108e6}, {"VPC2", -6729.8}, {"VPC5", -8.179},
                               {"LDSEL", 105.0}, {"LDC4", 0.29241}, {"VSTD", 0.1063}})
        EXPECT_DOUBLE_EQ(host.component_value(name, 1), value) << name;
    EXPECT_EQ(host.component_value("VPC6", 1), keld::refhost::ReferenceHost::missing_value);
    EXPECT_EQ(error_place([](Json &j) { j["components"][0]["Tb / K"] = -3; }), "case.json:components[0][\"Tb / K\"]");
    EXPECT_EQ(error_place([](Json &j) { j["components"][0]["vapour_pressure"] = {1.0}; }),
              "case.json:components[0].vapour_pressure");
    EXPECT_EQ(error_place([](Json &j) { j["components"][0]["liquid_density"] = {{"coefficients", {1.0}}}; }),
              "case.json:components[0].liquid_density");
    EXPECT_EQ(error_place([](Json &j) { j["components"][0]["liquid_density"] = {{"form", 105}, {"c", {1.0}}}; }),
              "case.json:components[0].liquid_density");
}

}  // namespace
