// The phase-equilibrium commands of keld: sat, activity, bubble, dew, flash, lle.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace keld::cli {

// A wrong command line for one of these commands (the caller adds the pointer
// to the command's help).
struct CommandLineError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The options each command takes: name -> whether it takes a value.
const std::map<std::string, std::map<std::string, bool>> &equilibrium_command_options();

// Runs the command; returns the exit status (0 every point converged, 2 some
// point has no solution or did not converge). Throws CommandLineError,
// refhost::CaseError or std::runtime_error (plotting) for faults.
int run_equilibrium_command(const std::string &command, const std::vector<std::string> &positional,
                            const std::map<std::string, std::string> &options);

}  // namespace keld::cli
