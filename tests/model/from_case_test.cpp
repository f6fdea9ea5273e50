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
    std::string file;   // under examples/
    std::string model;  // the registry's name; every state of the file with this model is compared
    std::size_t states;  // how many there are (so that a renamed model cannot pass by comparing none)
};

const Example kExamples[] = {
    {"polystyrene-toluene.json", "sanchez-lacombe", 3},
    {"polystyrene-from-segments.json", "sanchez-lacombe", 3},
    {"ethylene-styrene-copolymer-toluene.json", "sanchez-lacombe", 1},
    {"polyethylene-hexane.json", "saft-stored", 1},
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
        SCOPED_TRACE(e.file + ", " + e.model);
        refhost::Case c = refhost::load_case_file(std::string(KELD_SOURCE_DIR) + "/examples/" + e.file);
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

struct Refusal {
    std::string model;
    std::vector<std::string> ids;
    std::string reason;
};

TEST(ModelFromCase, NamesAMissingParameter) {
    const Refusal refusals[] = {
        {"sanchez-lacombe", {"TOLUENE"}, "SLPSTR (data set 1) missing for component TOLUENE"},
        {"sanchez-lacombe", {"PS"}, "SLRSTR (data set 1) missing for segment STY"},
        {"saft-stored", {"TOLUENE"}, "SAFTV (data set 1) missing for component TOLUENE"},
    };
    for (const Refusal &r : refusals) {
        SCOPED_TRACE(r.model + ", " + r.ids.front());
        refhost::Case c = refhost::parse_case(kMissing);
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

}  // namespace
}  // namespace keld::testing
