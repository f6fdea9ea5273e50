// Display names of the model families and monitors (see model_names.h).
#include "model_names.h"

#include <array>
#include <cctype>

namespace keld::cli {
namespace {

struct FamilyName {
    std::string_view family, shown;
};
constexpr std::array kFamilies{
    FamilyName{"pcsaft", "PC-SAFT"},
    FamilyName{"pcsaft-segment", "PC-SAFT (segment-based)"},
    FamilyName{"pcsaft-assoc", "PC-SAFT with association"},
    FamilyName{"saft", "SAFT"},
    FamilyName{"saft-stored", "SAFT (stored parameters)"},
    FamilyName{"saft-segment", "SAFT (segment-based)"},
    FamilyName{"sanchez-lacombe", "Sanchez-Lacombe"},
    FamilyName{"sanchez-lacombe-segment", "Sanchez-Lacombe (segment-based)"},
    FamilyName{"cubic", "SRK"},
};

// The names the monitors write into their message lines.
constexpr std::array kMonitors{
    FamilyName{"POLYPCSF", "PC-SAFT polymer monitor"},
    FamilyName{"POLYSAFT", "SAFT polymer monitor"},
    FamilyName{"POLYSL", "Sanchez-Lacombe polymer monitor"},
    FamilyName{"PCSAFT-A", "PC-SAFT association monitor"},
};

bool word_character(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_'; }

}  // namespace

std::string model_display_name(std::string_view family) {
    for (const FamilyName &f : kFamilies)
        if (f.family == family) return std::string(f.shown);
    return std::string(family);
}

std::string readable_message(std::string_view line) {
    std::string out;
    std::size_t k = 0;
    while (k < line.size()) {
        bool replaced = false;
        for (const FamilyName &m : kMonitors) {
            // Whole words only: POLYSL inside POLYSLX is someone else's name.
            const bool starts = k == 0 || !word_character(line[k - 1]);
            const std::size_t end = k + m.family.size();
            if (!starts || line.substr(k, m.family.size()) != m.family) continue;
            if (end < line.size() && word_character(line[end])) continue;
            out += std::string(m.shown) + " (" + std::string(m.family) + ")";
            k = end;
            replaced = true;
            break;
        }
        if (!replaced) out += line[k++];
    }
    return out;
}

}  // namespace keld::cli
