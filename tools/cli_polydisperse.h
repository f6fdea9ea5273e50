// The polydisperse-polymer commands of keld: cloudpoint (cloud-point and
// shadow curves) and fractionate (two liquids of a polydisperse feed).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli_command.h"

namespace keld::cli {

// Declares cloudpoint and fractionate.
void add_polydisperse_commands(Commands &commands);

// Runs the command; returns 0 when every point converged, 2 when some did
// not. Throws CommandLineError (cli_command.h) for a wrong command line and
// std::runtime_error or std::invalid_argument for a case it cannot use.
int run_polydisperse_command(const std::string &command, const std::vector<std::string> &positional,
                             const std::map<std::string, std::string> &options);

}  // namespace keld::cli
