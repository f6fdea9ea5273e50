// The phase-equilibrium commands of keld: sat, activity, bubble, dew, flash, lle.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli_command.h"

namespace keld::cli {

// Declares sat, activity, bubble, dew, flash, lle and critical.
void add_equilibrium_commands(Commands &commands);

// Runs the command; returns the exit status (0 every point converged, 2 some
// point has no solution or did not converge). Throws CommandLineError,
// refhost::CaseError or std::runtime_error (plotting) for faults.
int run_equilibrium_command(const std::string &command, const std::vector<std::string> &positional,
                            const std::map<std::string, std::string> &options);

}  // namespace keld::cli
