// The curve commands of keld traced on the model through their critical points:
// envelope (the P-T phase envelope of a state's composition) and pxy (the
// P-x-y isotherm of a state's binary).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace keld::cli {

// The options each command takes: name -> whether it takes a value.
const std::map<std::string, std::map<std::string, bool>> &envelope_command_options();

// Help text of envelope or pxy (empty for another command).
std::string_view envelope_help(std::string_view command);

// Runs the command; returns the exit status (0 traced through, 1 a wrong
// request, 2 the curve did not reach its end). Throws CommandLineError
// (cli_equilibria.h), refhost::CaseError or std::runtime_error (plotting).
int run_envelope_command(const std::string &command, const std::vector<std::string> &positional,
                         const std::map<std::string, std::string> &options);

}  // namespace keld::cli
