// The cubic property monitor (KELD_ES40) and its per-component vector form (KELD_ES40A).
#pragma once

#include <cstdint>

#include "cubic/cubic_model.h"

namespace keld::cubic {

void monitor(const CubicCall &call);

// Each listed component alone (Z = 1) at its own pressure; KRET ends 1 only
// when every component's call succeeded.
void vector_monitor(double t, const double *p, std::int64_t n, const std::int64_t *idx, const CubicCall &shared);

// Work-area words the monitor needs with NC components and NS UNIFAC subgroups.
std::int64_t work_words(std::int64_t nc, std::int64_t ns);

}  // namespace keld::cubic
