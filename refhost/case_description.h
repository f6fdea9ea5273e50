// The validated content of a case file, before it is put into a host.
//
// Parsing (case_parse.cpp) turns the JSON document into this plain
// description and throws CaseError for every fault; build_host() then replays
// it into any host builder: the C++ ReferenceHost (case.cpp) or a keld_refhost
// through its C interface (case_c.cpp). Both see exactly the same calls in
// the same order, so a case gives the same host whichever way it is loaded.
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

// Names of the subgroups and main groups the reference host ships.
const std::vector<std::string> &shipped_unifac_subgroups();
const std::vector<std::string> &shipped_unifac_main_groups();

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
};

// Parses and validates a case document; throws CaseError naming the place.
CaseDescription parse_description(std::string_view json_text, std::string_view origin);

// Replays a description into a host builder, which provides
//   create(data_sets), add_component(id, kind, mw) -> number,
//   set_number_average_mw(number, mwn), set_segment_fraction(polymer, segment, w),
//   set_formula(number, text), set_parameter(const ParameterValue &),
//   define_unifac_subgroup(const UnifacSubgroupSpec &),
//   set_unifac_interaction(const UnifacInteractionSpec &), set_component_groups(number, groups).
template <class Builder>
void build_host(const CaseDescription &description, Builder &builder) {
    builder.create(description.data_sets);
    for (const UnifacSubgroupSpec &s : description.unifac_subgroups) builder.define_unifac_subgroup(s);
    for (const UnifacInteractionSpec &a : description.unifac_interactions) builder.set_unifac_interaction(a);
    std::vector<std::int64_t> numbers;
    for (const ComponentSpec &c : description.components) {
        numbers.push_back(builder.add_component(c.id, c.kind, c.molecular_weight));
    }
    auto number_of = [&](const std::string &id) -> std::int64_t {
        for (std::size_t k = 0; k < description.components.size(); ++k) {
            if (description.components[k].id == id) return numbers[k];
        }
        return 0;
    };
    for (std::size_t k = 0; k < description.components.size(); ++k) {
        const ComponentSpec &c = description.components[k];
        if (c.number_average_mw > 0) builder.set_number_average_mw(numbers[k], c.number_average_mw);
        for (const auto &[segment, fraction] : c.segments) {
            builder.set_segment_fraction(numbers[k], number_of(segment), fraction);
        }
        if (!c.formula.empty()) builder.set_formula(numbers[k], c.formula);
        if (!c.groups.empty()) builder.set_component_groups(numbers[k], c.groups);
    }
    for (const ParameterValue &p : description.parameters) builder.set_parameter(p);
}

}  // namespace keld::refhost::detail
