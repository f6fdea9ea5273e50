// Cases loaded and evaluated as a simulator would: thermodynamic identities
// of the results, the host the case builds, and the C interface.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "keld/case.h"
#include "keld/case_c.h"
#include "keld/keld.h"

namespace {

using namespace keld::refhost;

const std::string examples = std::string(KELD_SOURCE_DIR) + "/examples/";
const std::string cases = std::string(KELD_SOURCE_DIR) + "/tests/case/";
constexpr double R = ReferenceHost::gas_constant;
constexpr double p_ref = ReferenceHost::reference_pressure;

Case loaded(const std::string &name) {
    Case c = load_case_file(examples + name);
    initialise_case(c);
    return c;
}

// For every state of the examples: G - G_ig(T, P_ref) = RT (sum x ln phi +
// ln(P/P_ref)) and G = H - T S, on the apparent basis through
// x = z MW/MWN / F and ln phi_true = ln phi - ln(x/z), F = sum z MW/MWN;
// and dG/dT = -S at constant P (one-sided difference of 1e-4 T in the monitor)
// where asked for.
TEST(CaseEvaluation, GibbsEnergyAgreesWithFugacityCoefficientsHMinusTSAndMinusDgDt) {
    for (const char *name :
         {"polystyrene-toluene.json", "methane-hexane.json", "polystyrene-from-segments.json",
          "polyethylene-hexane.json"}) {
        Case c = loaded(name);
        ASSERT_FALSE(c.states.empty()) << name;
        for (const StateRequest &s : c.states) {
            SCOPED_TRACE(std::string(name) + " " + s.label);
            const StateResult r = evaluate(*c.host, s);
            EXPECT_EQ(r.status, 1);
            EXPECT_TRUE(r.messages.empty()) << r.messages.front();
            EXPECT_GT(r.v, 0);
            double f = 0;
            std::vector<double> ratio;
            for (const std::int64_t i : s.components) {
                ratio.push_back(c.host->component_value("MW", i) / c.host->number_average_mw(i));
                f += s.z[ratio.size() - 1] * ratio.back();
            }
            double sum = std::log(s.pressure / p_ref);
            for (std::size_t k = 0; k < s.components.size(); ++k) {
                const double x = s.z[k] * ratio[k] / f;
                sum += x * (r.phi[k] - std::log(x / s.z[k]));
            }
            EXPECT_NEAR(r.g / (R * s.temperature * f), sum, 1e-7 * std::max(1.0, std::abs(sum)));
            EXPECT_NEAR(r.h - s.temperature * r.s, r.g, 1e-9 * std::abs(r.h) + 1e-6);
            if (s.flags[3] & 2) {
                EXPECT_NEAR(r.dg, -r.s, 2e-3 * std::abs(r.s) + 1e-3);
            }
        }
    }
}

// A polymer of one segment that carries the polymer's parameters behaves as
// the polymer with its own parameters, in both models.
TEST(CaseEvaluation, SegmentAveragedPolymerEqualsThePolymerWithOwnParameters) {
    Case own = loaded("polystyrene-toluene.json");
    Case averaged = loaded("polystyrene-from-segments.json");
    ASSERT_EQ(own.states.size(), averaged.states.size());
    for (std::size_t n = 0; n < own.states.size(); ++n) {
        const StateResult a = evaluate(*own.host, own.states[n]);
        const StateResult b = evaluate(*averaged.host, averaged.states[n]);
        for (std::size_t k = 0; k < a.phi.size(); ++k) {
            EXPECT_NEAR(a.phi[k], b.phi[k], 1e-8 * std::abs(a.phi[k])) << own.states[n].label;
        }
        EXPECT_NEAR(a.v, b.v, 1e-10 * a.v) << own.states[n].label;
        EXPECT_NEAR(a.h, b.h, 1e-8 * std::abs(a.h)) << own.states[n].label;
    }
}

const char *binary_case = R"json({
  "components": [
    {"id": "A", "MW / (kg/kmol)": 100},
    {"id": "B", "MW / (kg/kmol)": 50}
  ],
  "parameters": [
    {"sanchez-lacombe": {"SLTSTR / K": {"A": 500, "B": 400}, "SLPSTR / bar": {"A": 4000, "B": 3000},
                         "SLRSTR / (g/cm3)": {"A": 0.9, "B": 0.8},
                         "SLKIJ": {"A": {"B": 0.02}}, "SLETIJ": {"A": {"B": 0.01}, "B": {"A": -0.01}}},
     "pcsaft": {"PCSFTM": {"A": 3, "B": 2}, "PCSFTV / nm": {"A": 0.38, "B": 0.36},
                "PCSFTU / K": {"A": 250, "B": 220}, "PCSKIJ": {"A": {"B": [0.01, 0.002, 0, 0, 0, 300]}}}},
    {"data_set": 2, "sanchez-lacombe": {"SLKIJ": {"B": {"A": [0.05, 0.01, 0, 0, 0, 0]}}}}
  ],
  "states": [
    {"model": "sanchez-lacombe", "T / K": 350, "P / bar": 10, "phase": "liquid",
     "mass_fractions": {"B": 0.5, "A": 0.5}, "properties": ["V"], "derivatives": ["H"], "data_set": 2,
     "diagnostics": 2, "segment_fractions": "mole", "label": "first"}
  ]
})json";

TEST(CaseHost, ParametersArriveConvertedPairsMirroredAndStatesCarryTheMonitorArguments) {
    Case c = parse_case(binary_case);
    const ReferenceHost &h = *c.host;
    EXPECT_EQ(h.data_set_count(), 2);
    EXPECT_DOUBLE_EQ(h.unary("SLPSTR", 1, 1), 4000e5);
    EXPECT_DOUBLE_EQ(h.unary("SLRSTR", 2, 1), 800);
    EXPECT_DOUBLE_EQ(h.unary("PCSFTV", 1, 1), 3.8);
    EXPECT_EQ(h.unary("SLTSTR", 1, 2), ReferenceHost::missing_value);  // data set 2 gives none
    EXPECT_EQ(h.binary("SLKIJ", 1, 2, 1), 0.02);
    EXPECT_EQ(h.binary("SLKIJ", 2, 1, 1), 0.02);  // one order given: both
    EXPECT_EQ(h.binary("SLETIJ", 1, 2, 1), 0.01);
    EXPECT_EQ(h.binary("SLETIJ", 2, 1, 1), -0.01);  // both given: each kept
    EXPECT_EQ(h.binary_coefficient("PCSKIJ", 2, 1, 2, 1), 0.002);
    EXPECT_EQ(h.binary_coefficient("PCSKIJ", 1, 2, 6, 1), 300);
    EXPECT_EQ(h.binary_coefficient("SLKIJT", 1, 2, 2, 2), 0.01);

    ASSERT_EQ(c.states.size(), 1u);
    const StateRequest &s = c.states[0];
    EXPECT_EQ(s.label, "first");
    EXPECT_EQ(s.model, "sanchez-lacombe");
    EXPECT_DOUBLE_EQ(s.pressure, 1e6);
    EXPECT_EQ(s.components, (std::vector<std::int64_t>{2, 1}));  // the order of the composition
    EXPECT_NEAR(s.z[0], 2.0 / 3.0, 1e-15);  // equal masses: moles in the ratio 1/50 : 1/100
    EXPECT_NEAR(s.z[1], 1.0 / 3.0, 1e-15);
    EXPECT_EQ(s.flags, (std::array<std::int64_t, 5>{0, 2, 0, 0, 1}));
    EXPECT_EQ((std::array{s.phase, s.data_set, s.diagnostics, s.option}), (std::array<std::int64_t, 4>{2, 2, 2, 5}));
}

TEST(CaseHost, EvaluateReportsOnlyWhatWasAskedForAndRefusesImpossibleStates) {
    Case c = parse_case(binary_case);
    initialise_case(c);
    const StateResult r = evaluate(*c.host, c.states[0]);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(std::isfinite(r.v) && std::isfinite(r.dh));
    EXPECT_TRUE(std::isnan(r.h));  // the monitor writes it for the derivative; not asked for
    EXPECT_TRUE(std::isnan(r.phi[0]) && std::isnan(r.g) && std::isnan(r.dv));
    // The temperature table k(T) = a + b/Tr, Tr = T/298.15 (no Tref given), gives the binary at 350 K.
    EXPECT_NEAR(c.host->binary("SLKIJ", 1, 2, 2), 0.05 + 0.01 * 298.15 / 350, 1e-15);

    StateRequest bad = c.states[0];
    bad.z.pop_back();
    EXPECT_THROW(evaluate(*c.host, bad), std::invalid_argument);
    bad = c.states[0];
    bad.components[0] = 3;
    EXPECT_THROW(evaluate(*c.host, bad), std::invalid_argument);
    bad = c.states[0];
    bad.data_set = 3;
    EXPECT_THROW(evaluate(*c.host, bad), std::invalid_argument);
    bad.model = "cubic";
    EXPECT_THROW(evaluate(*c.host, bad), std::invalid_argument);
}

TEST(CaseInitialisation, MissingSanchezLacombeParametersGetNominalValuesWithMessages) {
    Case c = parse_case(R"json({
      "components": [{"id": "X", "MW / (kg/kmol)": 60}],
      "states": [{"model": "sanchez-lacombe", "T / K": 300, "P / Pa": 1e5, "phase": "liquid",
                  "mole_fractions": {"X": 1}}]
    })json");
    EXPECT_EQ(models_used(c), std::vector<std::string>{"sanchez-lacombe"});
    const auto reports = initialise_case(c);
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_FALSE(reports[0].messages.empty());
    EXPECT_NE(reports[0].messages[0].find("POLYSL"), std::string::npos);
    EXPECT_EQ(c.host->unary("SLPSTR", 1, 1), 3.0e8);
    // The models a case uses: its states' first, then the families it gives parameters for.
    EXPECT_EQ(models_used(parse_case(binary_case)), (std::vector<std::string>{"sanchez-lacombe", "pcsaft"}));
}

TEST(CaseRegistry, EveryModelIsFoundByNameAndHasItsRoutines) {
    for (const ModelEntry &m : models()) {
        EXPECT_EQ(find_model(m.name), &m);
        EXPECT_TRUE(m.evaluate && !m.parameters.empty()) << m.name;  // the cubic has no initialisation
    }
    EXPECT_EQ(find_model("no-such-model"), nullptr);
}

TEST(CaseCApi, OpensACaseAndGivesTheMonitorArguments) {
    char error[256] = "x";
    keld_refhost_case *c = keld_refhost_case_open((examples + "methane-hexane.json").c_str(), error, sizeof error);
    ASSERT_NE(c, nullptr) << error;
    EXPECT_STREQ(error, "");
    EXPECT_EQ(keld_refhost_case_state_count(c), 4);
    EXPECT_EQ(keld_refhost_case_data_set_count(c), 1);
    double t = 0, p = 0, z[4] = {}, phi[4] = {}, dphi[4] = {}, h, s, g, v, dh, ds, dg, dv;
    std::int64_t n = 0, idx[4] = {}, kvl = 0, flags[5] = {}, kds = 0, kdiag = 0, kopt = 0;
    EXPECT_EQ(keld_refhost_case_state(c, 2, &t, &p, &n, idx, z, 1, &kvl, flags, &kds, &kdiag, &kopt),
              KELD_REFHOST_OUT_OF_RANGE);
    EXPECT_EQ(n, 2);  // too small a capacity: the count is reported
    ASSERT_EQ(keld_refhost_case_state(c, 2, &t, &p, &n, idx, z, 4, &kvl, flags, &kds, &kdiag, &kopt),
              KELD_REFHOST_OK);
    EXPECT_TRUE(t == 350 && p == 5e6 && kvl == 2);
    char model[16];
    ASSERT_EQ(keld_refhost_case_state_model(c, 2, model, sizeof model), KELD_REFHOST_OK);
    EXPECT_STREQ(model, "pcsaft");
    EXPECT_EQ(keld_refhost_case_state_model(c, 5, model, sizeof model), KELD_REFHOST_OUT_OF_RANGE);

    // Call the monitor as a Fortran program would, and compare with the C++ path.
    keld_refhost *host = keld_refhost_case_host(c);
    ASSERT_EQ(keld_refhost_install(host), KELD_REFHOST_OK);
    ASSERT_EQ(keld_refhost_capture_messages(host, 1), KELD_REFHOST_OK);
    const std::int64_t nds = keld_refhost_case_data_set_count(c), kwork = 0, kspare = 0;
    KELD_ESPCSI(&nds);
    std::int64_t kstat = 1;
    KELD_ESPCSF(&t, &p, z, &n, idx, &kwork, &kspare, &kvl, &flags[0], &flags[1], &flags[2], &flags[3], &flags[4],
                &kds, &kdiag, phi, &h, &s, &g, &v, dphi, &dh, &ds, &dg, &dv, &kstat, &kopt);
    EXPECT_EQ(kstat, 1);
    Case cpp = loaded("methane-hexane.json");
    const StateResult r = evaluate(*cpp.host, cpp.states[1]);
    EXPECT_TRUE(phi[0] == r.phi[0] && phi[1] == r.phi[1] && v == r.v);
    keld_refhost_case_close(c);
}

TEST(CaseCApi, LoadCaseReturnsAHostOrTheMessage) {
    char error[512];
    keld_refhost *host = keld_refhost_load_case((examples + "polystyrene-toluene.json").c_str(), error, sizeof error);
    ASSERT_NE(host, nullptr) << error;
    std::int64_t count = 0;
    double tstar = 0;
    EXPECT_EQ(keld_refhost_component_count(host, &count), KELD_REFHOST_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(keld_refhost_get_unary(host, "SLTSTR", 3, 1, &tstar), KELD_REFHOST_OK);
    EXPECT_EQ(tstar, 688);  // polystyrene's T* in the database
    keld_refhost_destroy(host);

    EXPECT_EQ(keld_refhost_load_case("/nonexistent.json", error, sizeof error), nullptr);
    EXPECT_EQ(std::string(error).rfind("/nonexistent.json: ", 0), 0u) << error;
    char tiny[8];
    EXPECT_EQ(keld_refhost_case_open("/nonexistent.json", tiny, sizeof tiny), nullptr);
    EXPECT_STREQ(tiny, "/nonexi");
    EXPECT_EQ(keld_refhost_case_open(nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(keld_refhost_case_state_count(nullptr), 0);
}

// Every state of an example has its model's parameters; with one parameter
// taken out, the states of the family that reads it are found out, named by
// the parameter and the component, and the others stay clean. The cubic model
// goes on with its own defaults (and says so); the others refuse the state.
TEST(CaseParameters, EveryStateHasWhatItsModelNeeds) {
    struct Removal {
        const char *file, *family, *parameter, *component;
        const char *expected;  // what the message must name
        std::size_t states;    // states found out
        bool refused;          // refused, or evaluated with the model's own default
    };
    // Cases with every parameter typed (the shipped examples take most of theirs from the database).
    const Removal removals[] = {
        {"typed/polystyrene-toluene.json", "pcsaft", "PCSFTV / A", "TOLUENE", "PCSFTV (DATA SET 1) MISSING FOR COMPONENT TOLUENE", 3, true},
        {"typed/polystyrene-from-segments.json", "pcsaft", "PCSFTU / K", "STY", "PCSFTU (DATA SET 1) MISSING FOR SEGMENT STY", 3, true},
        {"typed/methanol-hexane-pcsaft-assoc.json", "pcsaft-assoc", "PCSFTM", "HEXANE", "MISSING FOR COMPONENT HEXANE", 5, true},
        {"typed/light-gases-srk.json", "cubic", "PCRKS / Pa", "C3H8", "PCRKS AND ITS DEFAULT PC (DATA SET 1) MISSING FOR COMPONENT C3H8", 1, false},  // warned once per run
        {"ethylene-styrene-copolymer-toluene.json", "pcsaft", "PCSFTV / A", "ETH", "PCSFTV (DATA SET 1) MISSING FOR SEGMENT ETH", 3, true},
    };
    for (const Removal &r : removals) {
        SCOPED_TRACE(std::string(r.file) + " without " + r.parameter + " of " + r.component);
        std::ifstream in(std::string(r.file).rfind("typed/", 0) == 0 ? cases + r.file : examples + r.file);
        nlohmann::ordered_json j = nlohmann::ordered_json::parse(in);
        Case intact = parse_case(j.dump(), r.file);
        EXPECT_TRUE(missing_parameters(intact).empty());
        ASSERT_EQ(j["parameters"][0][r.family][r.parameter].erase(r.component), 1u);
        Case c = parse_case(j.dump(), r.file);
        const auto faults = missing_parameters(c);
        ASSERT_EQ(faults.size(), r.states);
        for (const ParameterFault &f : faults) {
            EXPECT_EQ(f.refused, r.refused);
            EXPECT_NE(f.message.find(r.expected), std::string::npos) << f.message;
            EXPECT_EQ(c.states[f.state].model.rfind(r.family, 0), 0u) << c.states[f.state].model;
        }
    }
}

}  // namespace
