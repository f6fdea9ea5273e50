// keld props: the Helmholtz-energy model's properties of one state of a case.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli_command.h"

namespace keld::cli {

// Declares `keld props`.
void add_props_commands(Commands &commands);
// Runs `keld props` on the parsed arguments; returns the exit status. Throws
// std::invalid_argument (or a CaseError) for a wrong command line or case.
int run_props(const std::vector<std::string> &positional, const std::map<std::string, std::string> &options);

}  // namespace keld::cli
