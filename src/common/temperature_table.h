// Hands six-coefficient binary tables to the host's temperature-table service,
// one data set after another, as the initialisation routines do.
#pragma once

#include <cstdint>

#include "host/host.h"

namespace keld {

// For d = 1..data_sets calls HostTempParam(6, NC, table of d, 5, 1, result of d)
// with the table at HostOffsets1(table_element) (6 NC^2 words per data set)
// and the result at HostOffsets1(result_element) (NC words per data set). The
// walk ends at the first data set whose blocks do not lie in the store.
void hand_over_temperature_table(const host::Host &host, std::int64_t data_sets, std::int64_t table_element,
                                 std::int64_t result_element);

}  // namespace keld
