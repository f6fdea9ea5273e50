// Help texts of the keld command.
#pragma once

#include <string_view>

namespace keld::cli {

std::string_view general_help();
// The help of one command, or an empty view for an unknown command.
std::string_view command_help(std::string_view command);

}  // namespace keld::cli
