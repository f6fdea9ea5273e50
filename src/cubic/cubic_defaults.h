// Defaults for missing pure-component parameters of the cubic monitor, with
// their missing-parameter messages, run once per component and data set (the
// check marker records that it ran).
#pragma once

#include <cstdint>
#include <optional>

#include "cubic/cubic_model.h"
#include "host/host.h"

namespace keld::cubic {

// Store offsets of the arrays the cubic monitor reads through HostOffsets1.
struct PureBlocks {
    std::int64_t tc, pc, omega, mw, marker;
    std::int64_t component_constant, pair_constant, alpha_record;  // 0 when the host has none

    // Located and checked against the store for data set kds; nullopt when a
    // required array is missing or too short.
    static std::optional<PureBlocks> locate(const host::Host &host, std::int64_t kds);
};

// Step 2 of the monitor: for each listed component whose check marker is not
// 1.0, sets the marker and stores the defaults of missing parameters.
void complete_defaults(const host::Host &host, const CubicCall &call, const PureBlocks &blocks,
                       const host::RoutineId &name);

}  // namespace keld::cubic
