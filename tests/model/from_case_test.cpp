// The model of each family built from a shipped case file's data set equals that family's monitor on
// the same case, state by state (the case's T, P, phase and composition, on the apparent basis the
// monitor reports): ln phi and V to 1e-12, H, S, G departures to 1e-10. And a missing parameter is
// refused with the monitor's name for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keld/case.h"
#include "keld/model.hpp"
#include "monitor_agreement.h"

namespace keld::testing {
namespace {

struct Example {
    std::string file;   // under examples/, or a case's text
    std::string model;  // the registry's name; every state of the file with this model is compared
    std::size_t states;  // how many there are (so that a renamed model cannot pass by comparing none)
};

// Binaries the examples lack: Sanchez-Lacombe k_ij as a constant table (the host writes SLKIJ from it
// at each evaluation) and eta_ij; SAFT k_ij and l_ij given in one order, and in both with different
// values (the earlier-listed component's row counts).
constexpr const char *kBinaries = R"json({
  "components": [{"id": "TOLUENE", "kind": "ordinary", "MW / (kg/kmol)": 92.141},
                 {"id": "HEXANE", "kind": "ordinary", "MW / (kg/kmol)": 86.177},
                 {"id": "STY", "kind": "segment", "MW / (kg/kmol)": 104.152},
                 {"id": "PS", "kind": "polymer", "MW / (kg/kmol)": 104.152, "MWN / (kg/kmol)": 20000,
                  "segments": {"STY": 1.0}}],
  "parameters": [{"sanchez-lacombe": {"SLTSTR / K": {"TOLUENE": 543, "HEXANE": 476, "PS": 735},
                                      "SLPSTR / MPa": {"TOLUENE": 402, "HEXANE": 298, "PS": 357},
                                      "SLRSTR / (kg/m3)": {"TOLUENE": 966, "HEXANE": 775, "PS": 1105},
                                      "SLKIJ": {"TOLUENE": {"PS": [0.012, 0, 0, 0, 0, 0]}},
                                      "SLETIJ": {"HEXANE": {"PS": -0.02}}},
                  "saft": {"SAFTM": {"TOLUENE": 4.373, "HEXANE": 4.724},
                           "SAFTV / (cm3/mol)": {"TOLUENE": 11.789, "HEXANE": 12.475, "PS": 12.681},
                           "SAFTU / K": {"TOLUENE": 245.27, "HEXANE": 202.72, "PS": 248.79},
                           "SAFTE / K": {"TOLUENE": 10.0, "HEXANE": 10.0, "PS": 10.0},
                           "SAFTR / (mol/g)": {"PS": 0.0444488},
                           "SFTKIJ": {"TOLUENE": {"PS": 0.015, "HEXANE": 0.004}, "HEXANE": {"TOLUENE": 0.009}},
                           "SFTLIJ": {"HEXANE": {"PS": -0.01}}}}],
  "state_defaults": {"mass_fractions": {"TOLUENE": 0.6, "HEXANE": 0.1, "PS": 0.3}, "phase": "liquid"},
  "states": [{"model": "sanchez-lacombe", "T / K": 320, "P / bar": 1},
             {"model": "sanchez-lacombe", "T / K": 400, "P / bar": 200},
             {"model": "saft", "T / K": 320, "P / bar": 1},
             {"model": "saft", "T / K": 400, "P / bar": 200},
             {"model": "saft", "T / K": 330, "P / bar": 1,
              "mass_fractions": {"HEXANE": 0.1, "TOLUENE": 0.6, "PS": 0.3}},
             {"model": "saft-stored", "T / K": 320, "P / bar": 1},
             {"model": "saft-stored", "T / K": 330, "P / bar": 1,
              "mass_fractions": {"HEXANE": 0.1, "TOLUENE": 0.6, "PS": 0.3}}]
})json";

const Example kExamples[] = {
    {kBinaries, "sanchez-lacombe", 2},
    {kBinaries, "saft", 3},
    {kBinaries, "saft-stored", 2},
    {"polystyrene-toluene.json", "sanchez-lacombe", 3},
    {"polystyrene-from-segments.json", "sanchez-lacombe", 3},
    {"ethylene-styrene-copolymer-toluene.json", "sanchez-lacombe", 1},
    {"polyethylene-hexane.json", "saft-stored", 1},
    {"polyethylene-hexane.json", "saft", 3},
    {"ethylene-styrene-copolymer-toluene.json", "saft-stored", 1},
};

std::vector<std::string> ids_of(const refhost::Case &c, const std::vector<std::int64_t> &idx) {
    std::vector<std::string> ids;
    for (std::int64_t i : idx) ids.push_back(c.host->identifier(i));
    return ids;
}

MonitorResult monitor_at(refhost::Case &c, refhost::StateRequest state) {
    state.flags = {1, 1, 1, 1, 1};  // ln phi, H, S, G, V: values only
    const refhost::StateResult r = refhost::evaluate(*c.host, state);
    MonitorResult m{};
    m.phi = r.phi;
    m.h = r.h;
    m.s = r.s;
    m.g = r.g;
    m.v = r.v;
    m.kstat = r.status;
    return m;
}

TEST(ModelFromCase, EqualsTheMonitorAtEveryStateOfTheExamples) {
    for (const Example &e : kExamples) {
        const bool text = e.file.front() == '{';
        SCOPED_TRACE((text ? std::string("binaries") : e.file) + ", " + e.model);
        refhost::Case c = text ? refhost::parse_case(e.file)
                               : refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/" + e.file);
        refhost::initialise_case(c);
        std::size_t compared = 0;
        for (const refhost::StateRequest &state : c.states) {
            if (state.model != e.model) continue;
            SCOPED_TRACE(state.label);
            const Model m = refhost::model_from_case(c, e.model, state.data_set, ids_of(c, state.components),
                                                     state.option);
            const MonitorResult monitor = monitor_at(c, state);
            expect_model_equals_monitor(m, state.temperature, state.pressure, state.z, state.phase, monitor);
            ++compared;
        }
        EXPECT_EQ(compared, e.states);
    }
}

// Toluene lacks P* and v00, the styrene segment rho*: on a host whose families were not initialised
// (which would complete them with nominal values, as model_from_case does) the model is refused,
// naming the parameter as the monitor does.
constexpr const char *kMissing = R"json({
  "components": [{"id": "TOLUENE", "kind": "ordinary", "MW / (kg/kmol)": 92.141},
                 {"id": "STY", "kind": "segment", "MW / (kg/kmol)": 104.152},
                 {"id": "PS", "kind": "polymer", "MW / (kg/kmol)": 104.152, "MWN / (kg/kmol)": 100000,
                  "segments": {"STY": 1.0}}],
  "parameters": [{"sanchez-lacombe": {"SLTSTR / K": {"TOLUENE": 543, "STY": 735},
                                      "SLPSTR / MPa": {"STY": 357},
                                      "SLRSTR / (kg/m3)": {"TOLUENE": 966}},
                  "saft": {"SAFTM": {"TOLUENE": 3.0}, "SAFTU / K": {"TOLUENE": 250.0, "STY": 260.0},
                           "SAFTV / (cm3/mol)": {"STY": 12.0}, "SAFTR / (mol/g)": {"STY": 0.04}}}],
  "states": [{"model": "sanchez-lacombe", "T / K": 300, "P / bar": 1, "phase": "liquid",
              "mass_fractions": {"TOLUENE": 1}}]
})json";

// A Sanchez-Lacombe k_ij that follows T, which the host writes for each temperature.
constexpr const char *kVarying = R"json({
  "components": [{"id": "TOLUENE", "kind": "ordinary", "MW / (kg/kmol)": 92.141},
                 {"id": "HEXANE", "kind": "ordinary", "MW / (kg/kmol)": 86.177}],
  "parameters": [{"sanchez-lacombe": {"SLTSTR / K": {"TOLUENE": 543, "HEXANE": 476},
                                      "SLPSTR / MPa": {"TOLUENE": 402, "HEXANE": 298},
                                      "SLRSTR / (kg/m3)": {"TOLUENE": 966, "HEXANE": 775},
                                      "SLKIJ": {"TOLUENE": {"HEXANE": [0.01, 0.002, 0, 0, 0, 300]}}}}],
  "states": [{"model": "sanchez-lacombe", "T / K": 300, "P / bar": 1, "phase": "liquid",
              "mass_fractions": {"TOLUENE": 1}}]
})json";

struct Refusal {
    const char *text;
    std::string model;
    std::vector<std::string> ids;
    std::string reason;
};

TEST(ModelFromCase, NamesAMissingParameter) {
    const Refusal refusals[] = {
        {kMissing, "sanchez-lacombe", {"TOLUENE"}, "SLPSTR (data set 1) missing for component TOLUENE"},
        {kMissing, "sanchez-lacombe", {"PS"}, "SLRSTR (data set 1) missing for segment STY"},
        {kMissing, "saft-stored", {"TOLUENE"}, "SAFTV (data set 1) missing for component TOLUENE"},
        {kMissing, "saft", {"TOLUENE"}, "SAFTV (data set 1) missing for component TOLUENE"},
        {kVarying, "sanchez-lacombe", {"HEXANE", "TOLUENE"},
         "SLKIJ of HEXANE and TOLUENE follows a temperature table; the model takes constant binaries only"},
    };
    for (const Refusal &r : refusals) {
        SCOPED_TRACE(r.model + ", " + r.ids.front());
        refhost::Case c = refhost::parse_case(r.text);
        c.host->install();
        std::vector<std::int64_t> idx;
        for (const std::string &id : r.ids) idx.push_back(c.host->component_number(id));
        try {
            (void)model_from_host(r.model, 1, idx);
            ADD_FAILURE() << "built";
        } catch (const std::invalid_argument &error) {
            EXPECT_EQ(std::string(error.what()), "the " + r.model + " model cannot be built: " + r.reason);
        }
    }
}

// A family without a builder from the store says which have one, rather than building another.
TEST(ModelFromCase, RefusesAFamilyItCannotBuild) {
    refhost::Case c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/light-gases-srk.json");
    try {
        (void)refhost::model_from_case(c, "cubic");
        ADD_FAILURE() << "built";
    } catch (const std::invalid_argument &error) {
        EXPECT_NE(std::string(error.what()).find("'cubic' can be built from the store yet (pcsaft, sanchez-lacombe"),
                  std::string::npos)
            << error.what();
    }
}

}  // namespace
}  // namespace keld::testing
