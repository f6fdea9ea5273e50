// A monitor's refusal to compute with a parameter that is still missing: the
// caller gets a message naming the parameter and the component, every
// requested output NaN and KSTAT 0 (the refusal itself is the caller's).
#pragma once

#include <cstdint>
#include <string_view>

#include "common/messages.h"
#include "host/host.h"

namespace keld::saft {

// Check class and number of the refusal message.
inline constexpr std::int64_t kRefusalClass = 2;
inline constexpr std::int64_t kRefusalNumber = 9;

// "EQUATION OF STATE MODEL <model> CANNOT COMPUTE PROPERTIES:" and
// "<parameter> (DATA SET d) MISSING FOR COMPONENT <identifier>", when the
// host's check lets it through.
inline void report_missing_parameter(const host::Host &host, const messages::CheckSite &site,
                                     std::string_view model, std::string_view parameter, std::int64_t data_set,
                                     const host::ComponentId &id) {
    if (!messages::wanted(host, site)) return;
    messages::write_and_print(host,
                              "(6X,'EQUATION OF STATE MODEL ',A,' CANNOT COMPUTE PROPERTIES:',/,"
                              "6X,A,' (DATA SET ',I3,') ','MISSING FOR COMPONENT ',2A4)",
                              {model, parameter, data_set, std::string_view(id.data(), 4),
                               std::string_view(id.data() + 4, 4)});
}

}  // namespace keld::saft
