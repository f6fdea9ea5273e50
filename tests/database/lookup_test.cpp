// The shipped database: every table loads and links, names resolve, unknown names list candidates.
#include "keld/database.hpp"
#include "tables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace keld::database {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

const Database &db() { return Database::shipped(); }

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(DatabaseTables, EveryTableIsCompiledInAsItStandsInTheSourceTree) {
    const auto tables = db().tables();
    ASSERT_EQ(tables.size(), 14u);
    for (const auto &t : tables) {
        const std::string path = std::string(KELD_SOURCE_DIR) + "/data/" + t.path;
        const auto on_disk = parse_csv(t.path, read_file(path));
        EXPECT_EQ(t.rows, on_disk.rows.size()) << t.path << ": rebuild after editing the table";
        EXPECT_GT(t.rows, 0u) << t.path;
        EXPECT_TRUE(t.unlinked.empty()) << t.path << ": a row belongs to no component, e.g. " << t.unlinked.front();
    }
}

TEST(DatabaseTables, EverySetHasItsSourceAndEveryNumberItsUnit) {
    std::size_t sets = 0;
    for (const auto &c : db().components()) {
        for (const auto &s : db().parameters(c)) {
            ++sets;
            EXPECT_FALSE(s.source.citation.empty()) << c.name << " " << s.table;
            EXPECT_FALSE(s.parameters.empty()) << c.name << " " << s.table;
            for (const auto &p : s.parameters) {
                if (p.name == "scheme") {
                    EXPECT_TRUE(std::isnan(p.value)) << c.name;
                    continue;
                }
                EXPECT_TRUE(std::isfinite(p.value)) << c.name << " " << s.table << " " << p.name << " '" << p.text << "'";
                EXPECT_FALSE(p.unit.empty()) << c.name << " " << p.name;
            }
        }
    }
    // Rows per family table, each one set of some component (the UNIFAC counts group per component;
    // the polyethylene repeat unit's counts serve four polyethylenes).
    EXPECT_EQ(sets, 83u + 14 + 21 + 129 + 46 + 110 + 90 + 26 + (23 + 3));
}

TEST(DatabaseTables, UnitsInTheColumnNamesConvertIntoTheModelUnits) {
    // Each builder's conversion against the published number it starts from.
    const auto sl = sanchez_lacombe_component("toluene");
    const auto sl_set = db().parameter_set(db().find("toluene"), kSanchezLacombe);
    EXPECT_EQ(sl_set.find("P_star")->unit, "MPa");
    EXPECT_DOUBLE_EQ(sl.p_star, sl_set.value("P_star") * 1e6);
    const auto saft = saft_component("n-hexane");
    const auto saft_set = db().parameter_set(db().find("n-hexane"), kSaft);
    EXPECT_EQ(saft_set.find("v00")->unit, "cm3/mol");
    EXPECT_DOUBLE_EQ(saft.v00, 12.475e-3);  // m3/kmol
    const auto cubic = cubic_component("propane");
    EXPECT_EQ(db().parameter_set(db().find("propane"), kCubic).find("Pc")->unit, "Pa");
    EXPECT_GT(cubic.pc, 4e6);
    EXPECT_LT(cubic.pc, 4.5e6);
    const auto set = db().parameter_set(db().find("HDPE"), kSanchezLacombe);
    ASSERT_TRUE(set.t_min && set.t_max && set.p_max);
    EXPECT_EQ(*set.p_max, 200e6);
    EXPECT_EQ(set.validity, "T 415-473 K, P up to 200 MPa");
}

struct NameCase {
    const char *query;
    const char *component;
};

TEST(DatabaseLookup, NamesSynonymsCasAndFormulasFindOneComponent) {
    const NameCase cases[] = {
        {"toluene", "toluene"},          {"TOLUENE", "toluene"},        {"  Toluene ", "toluene"},
        {"n-hexane", "hexane"},          {"hexane", "hexane"},          {"110-54-3", "hexane"},
        {"PS", "polystyrene"},           {"ps", "polystyrene"},         {"Polystyrene", "polystyrene"},
        {"CO2", "carbon dioxide"},       {"124-38-9", "carbon dioxide"}, {"methyl ethyl ketone", "2-butanone"},
        {"ethyl acetate", "ethyl ethanoate"}, {"C7H8", "toluene"},     {"PVAc", "poly(vinyl acetate)"},
        {"i-PP", "isotactic polypropylene"}, {"H2O", "water"},
    };
    for (const auto &c : cases) EXPECT_EQ(db().find(c.query).name, c.component) << c.query;
}

TEST(DatabaseLookup, UnknownNamesListTheClosestComponents) {
    const struct {
        const char *query;
        const char *expected;
    } cases[] = {{"toluen", "toluene"}, {"polystyren", "polystyrene"}, {"cyclohexan", "cyclohexane"},
                 {"metanol", "methanol"}, {"tolune", "toluene"}};
    for (const auto &c : cases) {
        try {
            db().find(c.query);
            ADD_FAILURE() << c.query << " was found";
        } catch (const LookupError &e) {
            EXPECT_THAT(e.candidates(), Contains(c.expected)) << c.query;
            EXPECT_LE(e.candidates().size(), 6u);
            EXPECT_THAT(e.what(), HasSubstr(c.expected));
            EXPECT_THAT(e.what(), HasSubstr(c.query));
        }
    }
}

TEST(DatabaseLookup, AFormulaOfSeveralIsomersIsAmbiguous) {
    try {
        db().find("C6H14");
        ADD_FAILURE() << "C6H14 resolved";
    } catch (const LookupError &e) {
        EXPECT_THAT(e.candidates(), Contains("hexane"));
        EXPECT_THAT(e.candidates(), Contains("2-methylpentane"));
        EXPECT_THAT(e.what(), HasSubstr("formula"));
    }
    EXPECT_THROW(db().find(""), LookupError);
}

TEST(DatabaseLookup, SearchRanksExactThenPrefixThenSubstring) {
    const auto found = db().search("hexane");
    ASSERT_GE(found.size(), 4u);
    EXPECT_EQ(found.front()->name, "hexane");
    std::vector<std::string> names;
    for (const auto *c : found) names.push_back(c->name);
    EXPECT_THAT(names, Contains("cyclohexane"));
    // An exact synonym comes before the names it is a prefix of.
    const auto ps = db().search("PS");
    ASSERT_GE(ps.size(), 2u);
    EXPECT_EQ(ps.front()->name, "polystyrene");
    EXPECT_EQ(ps[1]->name, "polysulfone");  // PSF
    EXPECT_TRUE(db().search("no-such-thing").empty());
}

TEST(DatabaseLookup, AMissingFamilyOrSetNamesWhatThereIs) {
    try {
        db().parameter_set(db().find("polystyrene"), kCubic);
        ADD_FAILURE();
    } catch (const LookupError &e) {
        EXPECT_THAT(e.candidates(), Contains("pcsaft"));
        EXPECT_THAT(e.candidates(), Contains("sanchez-lacombe"));
    }
    try {
        db().parameter_set(db().find("water"), kPcSaftAssoc, "water_5D");
        ADD_FAILURE();
    } catch (const LookupError &e) {
        EXPECT_THAT(e.candidates(), Contains("water_4C_RG2020"));
    }
    EXPECT_EQ(db().parameter_set(db().find("water"), kPcSaftAssoc).source.key, "GS2002");
    EXPECT_EQ(db().parameter_set(db().find("HDPE"), kSanchezLacombe, "hdpe (set 2)").set, "HDPE (set 2)");
}

TEST(DatabaseLookup, BinaryParametersAreFoundFromEitherSide) {
    const auto a = db().pcsaft_kij(db().find("methane"), db().find("butane"));
    const auto b = db().pcsaft_kij(db().find("butane"), db().find("methane"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->value, 0.022);
    EXPECT_EQ(b->value, 0.022);
    EXPECT_EQ(a->source.key, "GS2001");
    // Methane-toluene 0.052 is published, butane-toluene is not (0).
    const auto kij = pcsaft_kij({"methane", "n-butane", "toluene"});
    EXPECT_EQ(kij, (std::vector<double>{0, 0.022, 0.052, 0.022, 0, 0, 0.052, 0, 0}));
}

// Small in-memory databases: the loader's refusals.
std::vector<std::pair<std::string, std::string>> minimal(std::string registry, std::string solvents) {
    return {{"sources.csv", "key,citation,doi,taken_from\nGS2001,Gross and Sadowski 2001,,\n"},
            {"components.csv", "name,kind,cas,formula,synonyms,table_rows\n" + registry},
            {"pcsaft/kij.csv", "component1,cas1,component2,cas2,kij,source_key,note\n"},
            {"pcsaft/solvents.csv", "name,cas,mw_kg_per_kmol,m,sigma_angstrom,eps_k_K,source_key,note\n" + solvents}};
}

TEST(DatabaseLoading, RefusesBrokenTables) {
    const std::string toluene = "toluene,molecule,108-88-3,C7H8,methylbenzene,\n";
    EXPECT_NO_THROW(Database(minimal(toluene, "toluene,108-88-3,92.141,2.8149,3.7169,285.69,GS2001,\n")));
    const struct {
        std::string registry, solvents, message;
    } cases[] = {
        {toluene, "toluene,108-88-3,92.141,2.8149,3.7169,285.69,GS2099,\n", "GS2099"},
        {toluene, "toluene,108-88-3,92.141,2.81 49,3.7169,285.69,GS2001,\n", "2.81 49"},
        {toluene, "toluene,108-88-3,92.141,nan,3.7169,285.69,GS2001,\n", "nan"},
        {toluene, "toluene,108-88-3,92.141,2.8149,3.7169,GS2001,\n", "cells"},
        {toluene, "\"toluene,108-88-3,92.141,2.8149,3.7169,285.69,GS2001,\n", "quoted"},
        {toluene + "benzene,molecule,71-43-2,C6H6,methylbenzene,\n", "", "methylbenzene"},
        {toluene + "other,molecule,108-88-3,C7H8,,\n", "", "108-88-3"},
    };
    for (const auto &c : cases) {
        try {
            Database d(minimal(c.registry, c.solvents));
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const std::invalid_argument &e) {
            EXPECT_THAT(e.what(), HasSubstr(c.message));
        }
    }
}

TEST(DatabaseLoading, QuotedCellsKeepCommasAndQuotes) {
    const auto t = parse_csv("t.csv", "a,b\n\"x, y\",\"say \"\"hi\"\"\"\r\n");
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.rows[0][0], "x, y");
    EXPECT_EQ(t.rows[0][1], "say \"hi\"");
}

}  // namespace
}  // namespace keld::database
