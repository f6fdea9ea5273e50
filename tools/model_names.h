// Readable names of the model families and of the monitors' own model names,
// for what a person reads. The host's message lines keep the monitors' names
// (programs and stored logs match on them); text shown to a user names the
// family too: "PC-SAFT polymer monitor (POLYPCSF)".
#pragma once

#include <string>
#include <string_view>

namespace keld::cli {

// "PC-SAFT" for "pcsaft", "Sanchez-Lacombe (segment-based)" for
// "sanchez-lacombe-segment"; an unknown family is returned as given.
std::string model_display_name(std::string_view family);

// A message line with every monitor name in it given its family's name:
// "MODEL POLYPCSF FAILED" -> "MODEL PC-SAFT polymer monitor (POLYPCSF) FAILED".
std::string readable_message(std::string_view line);

}  // namespace keld::cli
