// What a simulator hands a segment-based monitor, gathered from the reference
// host's store as such a host keeps it: parameter vectors by component for
// one data set, the binary coefficient tables of that data set, the segment
// list with the polymers' segment mole and weight fractions (NC x NS), the
// polymer flags, the critical-property vectors and a work array of the
// documented size.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "keld/case.h"
#include "keld/refhost.h"

namespace keld::refhost::families {

struct SegmentArguments {
    std::int64_t nc = 0, ns = 0;
    std::vector<double> mw, tc, pc;        // by component
    std::vector<std::int64_t> polymer;     // 1 for polymers and oligomers
    std::vector<double> source;            // PolymerParamSource, 0 on entry
    std::vector<std::int64_t> seg;         // component numbers of the segment types
    std::vector<double> mole, weight;      // NC x NS segment fractions of each polymer
    std::vector<double> work;              // (5 NC + 25) NC + 1 words
    std::int64_t work_words = 0;
    // Per call, by position.
    std::vector<double> x, mwn, option_vector, option_values;
    double option_factor = 0.0, option_out = 0.0;

    explicit SegmentArguments(const ReferenceHost &host);
    // MWN of the listed components and room for the per-position vectors.
    void list(const ReferenceHost &host, const std::vector<std::int64_t> &idx);
};

// NC words of a unary parameter for data set d (the marker where not given).
std::vector<double> unary_slice(const ReferenceHost &host, std::string_view name, std::int64_t data_set);
// The 6 NC^2 coefficients of a binary table for data set d.
std::vector<double> table_slice(const ReferenceHost &host, std::string_view table, std::int64_t data_set);
// A binary parameter with an optional temperature table as one six-coefficient
// table: the pair's table where it has a temperature term, else its constant.
std::vector<double> combined_table(const ReferenceHost &host, std::string_view binary, std::string_view table,
                                   std::int64_t data_set);

}  // namespace keld::refhost::families
