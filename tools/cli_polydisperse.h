// The polydisperse-polymer commands of keld: cloudpoint (cloud-point and
// shadow curves) and fractionate (two liquids of a polydisperse feed).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace keld::cli {

// The options each command takes: name -> whether it takes a value.
const std::map<std::string, std::map<std::string, bool>> &polydisperse_command_options();

// Runs the command; returns 0 when every point converged, 2 when some did
// not. Throws CommandLineError (cli_equilibria.h) for a wrong command line and
// std::runtime_error or std::invalid_argument for a case it cannot use.
int run_polydisperse_command(const std::string &command, const std::vector<std::string> &positional,
                             const std::map<std::string, std::string> &options);

}  // namespace keld::cli
