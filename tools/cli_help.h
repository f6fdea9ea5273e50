// Help texts of the keld command: the prose of each command; the usage line
// and the option list are generated from the declarations (cli_command.h).
#pragma once

#include <string>
#include <string_view>

namespace keld::cli {

struct HelpText {
    std::string description;  // after the usage line
    std::string footer;       // after the options: examples, exit status
};

// The texts of one command; of the keld command as a whole for an empty name.
HelpText help_text(std::string_view command);
// The model families a state can name, one line each, from the registry.
std::string models_help();

}  // namespace keld::cli
