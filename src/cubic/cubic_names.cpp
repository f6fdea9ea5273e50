#include <cstring>
#include <string_view>

#include "cubic/cubic_model.h"

namespace keld::cubic {
namespace {

constexpr std::string_view kSuffix[7] = {"I", "", "W", "V", "N", "Q", "U"};

}  // namespace

host::RoutineId model_name(std::int64_t krule, std::int64_t kmodel) {
    const char *family = krule == 2 ? "WS" : krule == 3 ? "V1" : krule == 4 ? "V2" : nullptr;
    if (!family || kmodel < 1 || kmodel > 7) return host::RoutineId("ESRK", "S");
    char second[8] = {};
    std::size_t length = 0;
    for (const char *c = family; *c; ++c) second[length++] = *c;
    for (char c : kSuffix[kmodel - 1]) second[length++] = c;
    return host::RoutineId("ESRK", std::string_view(second, length));
}

void model_name_text(const host::RoutineId &name, char (&text)[8]) {
    std::memcpy(text, name.chars.data(), 4);
    std::memcpy(text + 4, name.chars.data() + 8, 4);
}

}  // namespace keld::cubic
