// Quantities with their units, in case files and on the command line: one parser, one table of units.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "keld/case.h"

namespace {

using keld::refhost::pressure_from_text;
using keld::refhost::temperature_from_text;

struct Written {
    const char *text;
    double si;
};

TEST(QuantityText, TemperaturesInKelvinAndCelsius) {
    const Written table[] = {
        {"298.15", 298.15},  {"298.15 K", 298.15}, {"298.15K", 298.15},     {"25 degC", 298.15},
        {"25 °C", 298.15},   {"25°C", 298.15},     {" -10 degC ", 263.15},  {"0 degC", 273.15},
        {"1e2 degC", 373.15}, {"100 K", 100.0},
    };
    for (const auto &w : table) EXPECT_NEAR(temperature_from_text(w.text), w.si, 1e-12) << w.text;
}

TEST(QuantityText, PressuresInPascalKilopascalMegapascalBar) {
    const Written table[] = {
        {"101325", 101325.0}, {"101.325 kPa", 101325.0}, {"1 bar", 1e5},     {"1bar", 1e5},
        {"0.1 MPa", 1e5},     {"2e6 Pa", 2e6},            {"12.5 MPa", 12.5e6},
    };
    for (const auto &w : table) EXPECT_NEAR(pressure_from_text(w.text), w.si, 1e-9 * w.si) << w.text;
}

TEST(QuantityText, RefusesWhatIsNotAQuantityOfItsKind) {
    const char *temperatures[] = {"", "degC", "25 C", "25 bar", "25 F", "nan", "inf K", "25 degC x"};
    for (const char *t : temperatures) EXPECT_THROW(temperature_from_text(t), std::invalid_argument) << t;
    const char *pressures[] = {"", "bar", "1 atm", "1 K", "1 degC", "1 kpa"};
    for (const char *p : pressures) EXPECT_THROW(pressure_from_text(p), std::invalid_argument) << p;
    try {
        pressure_from_text("1 atm");
    } catch (const std::invalid_argument &e) {
        EXPECT_NE(std::string(e.what()).find("Pa, kPa, MPa, bar"), std::string::npos) << e.what();
    }
}

// A state written in degC and bar is the state written in K and Pa.
std::string case_with_state(const std::string &t_key, double t, const std::string &p_key, double p) {
    nlohmann::ordered_json j = nlohmann::ordered_json::parse(R"json({
      "components": [{"id": "HEXANE", "MW / (g/mol)": 86.177}],
      "parameters": [{"pcsaft": {"PCSFTM": {"HEXANE": 3.0576}, "PCSFTV / A": {"HEXANE": 3.7983},
                                 "PCSFTU / K": {"HEXANE": 236.77}}}],
      "states": [{"model": "pcsaft", "phase": "liquid", "mole_fractions": {"HEXANE": 1}}]
    })json");
    j["states"][0][t_key] = t;
    j["states"][0][p_key] = p;
    return j.dump();
}

TEST(CaseUnits, StateTemperatureAndPressureInEveryUnit) {
    struct Row {
        const char *t_key;
        double t;
        const char *p_key;
        double p;
    } rows[] = {{"T / K", 298.15, "P / Pa", 1e5},
                {"T / degC", 25, "P / bar", 1},
                {"T / °C", 25, "P / kPa", 100},
                {"T / degC", 25, "P / MPa", 0.1}};
    for (const auto &r : rows) {
        const auto c = keld::refhost::parse_case(case_with_state(r.t_key, r.t, r.p_key, r.p));
        EXPECT_NEAR(c.states.at(0).temperature, 298.15, 1e-12) << r.t_key;
        EXPECT_NEAR(c.states.at(0).pressure, 1e5, 1e-9) << r.p_key;
    }
}

TEST(CaseUnits, ACelsiusStateBelowAbsoluteZeroIsRefused) {
    EXPECT_THROW(keld::refhost::parse_case(case_with_state("T / degC", -274, "P / bar", 1)),
                 keld::refhost::CaseError);
}

// eps/k is an energy over k_B: shifting it by 273.15 would be a wrong parameter, so only K is taken.
TEST(CaseUnits, ParametersInKelvinRefuseTheCelsiusScale) {
    nlohmann::ordered_json j = nlohmann::ordered_json::parse(case_with_state("T / K", 300, "P / Pa", 1e5));
    j["parameters"][0]["pcsaft"].erase("PCSFTU / K");
    j["parameters"][0]["pcsaft"]["PCSFTU / degC"] = {{"HEXANE", -36.38}};
    try {
        keld::refhost::parse_case(j.dump());
        FAIL() << "a Celsius eps/k was taken";
    } catch (const keld::refhost::CaseError &e) {
        EXPECT_NE(std::string(e.what()).find("give PCSFTU in K"), std::string::npos) << e.what();
    }
}

}  // namespace
