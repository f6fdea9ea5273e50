// The validated content of a case file, before it is put into a host.
//
// Parsing (case_parse.cpp) turns the JSON document into this plain
// description and throws CaseError for every fault; fill_host() then puts it
// into a reference host, whether the case is loaded through the C++ interface
// (case.cpp) or the C one (case_c.cpp), so a case gives the same host
// whichever way it is loaded.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "keld/case.h"

namespace keld::refhost::detail {

struct ComponentSpec {
    std::string id;
    ComponentKind kind = ComponentKind::ordinary;
    double molecular_weight = 0;                           // kg/kmol, apparent basis
    double number_average_mw = 0;                          // kg/kmol, polymers and oligomers only (0: none)
    std::vector<std::pair<std::string, double>> segments;  // segment id, weight fraction
    std::string formula;
    std::vector<std::pair<std::string, double>> groups;    // UNIFAC subgroup, count
    // Constants and correlation coefficients by their store names (TC, TB, VPC1, LDSEL, ...), SI units.
    std::vector<std::pair<std::string, double>> properties;
};

struct UnifacSubgroupSpec {
    std::string name, main_group;
    double r = 0, q = 0;
    std::int64_t number = 0;
};
struct UnifacInteractionSpec {
    std::string main_i, main_j;
    double a_ij = 0;  // K
};

// One value put into the host's parameter store. Component numbers are 1-based.
struct ParameterValue {
    std::string name;  // host parameter name (SLTSTR, PCSKIJ, SLKIJT ...)
    ParameterShape shape = ParameterShape::unary;
    std::int64_t data_set = 1;
    std::int64_t i = 0, j = 0;             // j = 0 for unary values
    std::array<double, 6> coefficients{};  // unary/binary: coefficients[0] is the value
};

struct CaseDescription {
    std::string origin;
    std::string title;
    std::int64_t data_sets = 1;
    std::vector<ComponentSpec> components;
    std::vector<ParameterValue> parameters;
    std::vector<StateRequest> states;
    std::vector<std::string> models_in_parameters;  // families that carry parameters, first-use order
    std::vector<UnifacSubgroupSpec> unifac_subgroups;
    std::vector<UnifacInteractionSpec> unifac_interactions;
    std::vector<DatabaseUse> database_uses;
};

// Parses and validates a case document; throws CaseError naming the place.
CaseDescription parse_description(std::string_view json_text, std::string_view origin);

// Fills a host created for description.data_sets data sets with the
// components (in one layout of the store), polymer data and parameters. The
// C++ and the C interface both load cases through it.
void fill_host(const CaseDescription &description, ReferenceHost &host);

// The text of a case file, refused when it is not a regular file or larger
// than kMaxCaseFileBytes.
inline constexpr std::int64_t kMaxCaseFileBytes = std::int64_t{64} << 20;
std::string read_case_text(const std::string &path);

}  // namespace keld::refhost::detail
