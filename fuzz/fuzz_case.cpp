// libFuzzer harness of the case reader: any bytes as a case file. A faulty
// case must end in a CaseError naming its place; a valid one is loaded onto a
// reference host, initialised, and its first states are evaluated (small
// cases only, to keep the executions fast).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "keld/case.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    keld::refhost::Case c;
    try {
        c = keld::refhost::parse_case(text, "fuzz.json");
    } catch (const keld::refhost::CaseError &e) {
        if (e.where().rfind("fuzz.json", 0) != 0) {
            std::fprintf(stderr, "keld fuzz: a case error without its place: %s\n", e.what());
            std::abort();
        }
        return 0;
    }
    if (c.host->component_count() > 8 || c.host->data_set_count() > 4) return 0;
    c.host->set_message_sink([](std::string_view) {});
    keld::refhost::initialise_case(c);
    for (std::size_t k = 0; k < c.states.size() && k < 3; ++k) {
        const keld::refhost::StateResult r = keld::refhost::evaluate(*c.host, c.states[k]);
        if (r.status != 0 && r.status != 1) {
            std::fprintf(stderr, "keld fuzz: status %lld\n", static_cast<long long>(r.status));
            std::abort();
        }
    }
    return 0;
}
