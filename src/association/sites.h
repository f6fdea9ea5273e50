// The species, sites and unknown site fractions of one call.
#pragma once

#include <cstdint>

#include "association/context.h"

namespace keld::assoc::detail {

// Replaces the user codes (> 100) among the association types of components 1..nc by their type
// numbers, registering new codes. A code that cannot be registered stays as it is and the two error
// lines are written. Returns false when such a code was met.
bool resolve_user_types(const host::Host &host, const Mixture &mix, const Diagnostics &diag);

// Species and site counts of a mixture, without registering anything (codes not yet registered are
// counted from their digits). Used to size the work area.
struct Counts {
    std::int64_t species = 0, sites = 0;
};
Counts count_sites(const Mixture &mix);

// Builds the species, sites and unknowns. Returns false when a listed species has an association type
// that names no site type (an unregistered code), or the work area is short (arena).
bool build_tables(const host::Host &host, const Mixture &mix, Arena &arena, Tables &tab);

// Component number of species s of listed position k (segment type s, or the component itself).
inline std::int64_t segment_count(const Mixture &mix, std::int64_t component) {
    return mix.segments.count ? mix.segments.count[component - 1] : 0;
}

}  // namespace keld::assoc::detail
