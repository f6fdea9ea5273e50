// Where the Sanchez-Lacombe parameters live in the host store, located once
// per call and checked to lie inside the store for the requested data set.
#pragma once

#include <cstdint>
#include <optional>

#include "host/host.h"

namespace keld::sanchez_lacombe {

struct ParameterBlocks {
    // Store offsets b: component i of data set d at b + (d - 1) NC + i.
    std::int64_t t_star, p_star, rho_star;  // SLTSTR, SLPSTR, SLRSTR
    std::int64_t kij, eta;                  // SLKIJ, SLETIJ (binary)
    std::int64_t t_work, p_work, rho_work;  // TSTARL, PSTARL, DSTARL (no data set)
    std::int64_t mw;                        // MW (no data set)
    std::int64_t source;                    // PolymerParamSource of the family

    // Locates every block; nothing when one is unknown to the host or does not
    // fit in the store for data set `kds`.
    static std::optional<ParameterBlocks> locate(const host::Host &host, std::int64_t kds);
};

// HostOffsets1 element of the Sanchez-Lacombe PolymerParamSource flags.
inline constexpr std::int64_t kSourceFlagsElement = 1359;

}  // namespace keld::sanchez_lacombe
