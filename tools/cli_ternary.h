// keld lle on a state of three components: the liquid-liquid diagram of a polymer, a solvent and a
// non-solvent at fixed T and P (binodal, tie lines, plait point), as a table and a triangle plot.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli_command.h"
#include "keld/model.hpp"

namespace keld::cli {

// The options lle takes for a ternary, beyond a binary's.
std::vector<OptionSpec> ternary_lle_options();

struct TernaryInput {
    const Model *model = nullptr;
    std::vector<std::string> ids;  // the model's components, in its order
    std::string family, case_name;
    double t = 0.0, p = 0.0;       // K, Pa
};

// Traces the diagram, writes the table (text, --csv or --json) to stdout and the plot to --plot.
// Returns the exit status: 0 traced to the plait point, 1 a wrong request, 2 it stopped before.
int run_ternary_lle(const TernaryInput &in, const std::map<std::string, std::string> &options);

}  // namespace keld::cli
