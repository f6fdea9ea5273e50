// The request flags of the cubic monitor as the logical words of HostEosLog.
#pragma once

#include "common/flags.h"
#include "host/host.h"

namespace keld::cubic {

inline constexpr std::int64_t kEosLogWords = 24;

// Writes elements 1 to 24 of HostEosLog from the five request flags.
void write_eos_log(const host::Host &host, const Requests &rq);

}  // namespace keld::cubic
