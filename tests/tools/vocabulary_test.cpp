// The names and units every output of the keld command and the Python package
// takes from one table, and the readable names of the models in messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <stdexcept>
#include <string>

#include "model_names.h"
#include "quantity_names.h"

namespace keld::cli {
namespace {

TEST(Vocabulary, LabelsCarryTheUnitParenthesisedWhenItHasASlashOrBlank) {
    struct Case {
        const char *name, *component, *expected;
    };
    const Case cases[] = {
        {"T", nullptr, "T / K"},
        {"P", nullptr, "P / Pa"},
        {"V", nullptr, "V / (m3/kmol)"},
        {"dS_dT", nullptr, "dS_dT / (J/(kmol K2))"},
        {"dH_vap", nullptr, "dH_vap / (J/kmol)"},
        {"Z_liquid", nullptr, "Z_liquid"},
        {"ln_phi", "TOLUENE", "ln_phi[TOLUENE]"},
        {"d_ln_phi_dT", "PS", "d_ln_phi_dT[PS] / (1/K)"},
        {"p", "TOLUENE", "p[TOLUENE] / Pa"},
        {"x", "CH4", "x[CH4]"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.component ? label(c.name, c.component) : label(c.name), c.expected) << c.name;
    EXPECT_EQ(label_in("P", "MPa"), "P / MPa");
    EXPECT_EQ(label_in("T", "degC"), "T / degC");
}

TEST(Vocabulary, RefusesNamesOutsideTheTableAndLabelsWithoutTheirComponent) {
    EXPECT_THROW(label("lnphi"), std::out_of_range);
    EXPECT_THROW(label("ln_phi"), std::out_of_range);       // needs the component
    EXPECT_THROW(label("V", "PS"), std::out_of_range);      // is not per component
    EXPECT_THROW(quantity("rho_L"), std::out_of_range);
}

TEST(Vocabulary, NamesAreUniqueAndEveryAmountBasedQuantityStatesItsBasis) {
    std::set<std::string_view> seen;
    for (const Quantity &q : quantities()) {
        EXPECT_TRUE(seen.insert(q.name).second) << "twice: " << q.name;
        EXPECT_FALSE(q.meaning.empty()) << q.name;
        // Per kmol of what: molecules and repeat units differ by a polymer's chain length.
        const std::string unit(q.unit);
        const bool per_amount = unit.find("/kmol") != std::string::npos || unit.find("/(kmol") != std::string::npos;
        if (per_amount && unit != "kg/kmol") {
            EXPECT_TRUE(q.basis == Basis::molecules || q.basis == Basis::apparent) << q.name;
        }
    }
}

TEST(Vocabulary, RoundTripTextIsShortestAndReadsBackExactly) {
    struct Case {
        double x;
        const char *expected;
    };
    const Case cases[] = {{298.15, "298.15"}, {0.1, "0.1"}, {101325.0, "101325"}, {1e-5, "1e-05"},
                          {-2.5e35, "-2.5e+35"}, {0.0, "0"}, {NAN, "nan"}, {-INFINITY, "-inf"}};
    for (const Case &c : cases) EXPECT_EQ(round_trip(c.x), c.expected);
    std::mt19937_64 random(28);
    std::uniform_real_distribution<double> exponent(-300.0, 300.0), mantissa(-1.0, 1.0);
    for (int k = 0; k < 2000; ++k) {
        const double x = mantissa(random) * std::pow(10.0, exponent(random));
        const std::string text = round_trip(x);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), x) << text;
        EXPECT_LE(text.size(), 24u) << text;
    }
}

TEST(ModelNames, FamiliesReadAsTheirModelsAndUnknownNamesPassThrough) {
    EXPECT_EQ(model_display_name("pcsaft"), "PC-SAFT");
    EXPECT_EQ(model_display_name("sanchez-lacombe-segment"), "Sanchez-Lacombe (segment-based)");
    EXPECT_EQ(model_display_name("cubic"), "SRK");
    EXPECT_EQ(model_display_name("no-such-family"), "no-such-family");
}

TEST(ModelNames, MessagesNameTheFamilyBesideTheMonitorsOwnName) {
    struct Case {
        const char *line, *expected;
    };
    const Case cases[] = {
        {"EQUATION OF STATE MODEL POLYPCSF FAILED", "EQUATION OF STATE MODEL PC-SAFT polymer monitor (POLYPCSF) FAILED"},
        {"POLYSL", "Sanchez-Lacombe polymer monitor (POLYSL)"},
        {"IN POLYSAFT AND POLYSL.", "IN SAFT polymer monitor (POLYSAFT) AND Sanchez-Lacombe polymer monitor (POLYSL)."},
        {"MODEL PCSAFT-A: NO VALUE", "MODEL PC-SAFT association monitor (PCSAFT-A): NO VALUE"},
        // Only whole names: a longer word that starts or ends alike is someone else's.
        {"POLYSLX XPOLYSL POLYSL_2", "POLYSLX XPOLYSL POLYSL_2"},
        {"no model named here", "no model named here"},
    };
    for (const Case &c : cases) EXPECT_EQ(readable_message(c.line), c.expected) << c.line;
}

}  // namespace
}  // namespace keld::cli
