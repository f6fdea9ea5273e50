// keld db: the shipped parameter database from the command line.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cli_command.h"

namespace keld::cli {

// Declares `keld db`.
void add_db_commands(Commands &commands);
std::string_view db_help();
// `keld db search WORD` and `keld db show NAME`; returns the exit status. Throws a CommandLineError for a
// wrong command line and keld::database::LookupError for an unknown component.
int run_db(const std::vector<std::string> &positional, const std::map<std::string, std::string> &options);

}  // namespace keld::cli
