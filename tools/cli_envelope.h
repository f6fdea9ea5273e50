// The curve commands of keld traced on the model through their critical points:
// envelope (the P-T phase envelope of a state's composition) and pxy (the
// P-x-y isotherm of a state's binary).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli_command.h"

namespace keld::cli {

// Declares envelope and pxy.
void add_envelope_commands(Commands &commands);

// Runs the command; returns the exit status (0 traced through, 1 a wrong
// request, 2 the curve did not reach its end). Throws CommandLineError
// (cli_command.h), refhost::CaseError or std::runtime_error (plotting).
int run_envelope_command(const std::string &command, const std::vector<std::string> &positional,
                         const std::map<std::string, std::string> &options);

}  // namespace keld::cli
