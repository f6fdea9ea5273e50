// How many units of each segment a polymer molecule holds: MWN w_s / MW_s for
// segment s of weight fraction w_s. Size-dependent constants of a polymer
// without its own (UNIQUAC r and q, UNIFAC group counts) are the sums of its
// segments' constants over these units.
#pragma once

#include <cstdint>

#include "common/segment_average.h"
#include "host/host.h"

namespace keld::cubic {

// Calls add(segment component, units) for each segment of `polymer` with a
// fraction at or above the host's floor. False when the polymer has no
// segments the host can give (no map, no fractions, scratch too small).
template <class Add>
bool for_each_segment_unit(const host::Host &host, std::int64_t polymer, double mwn, const double *mw_by_component,
                           SegmentScratch scratch, Add &&add) {
    const SegmentList list = find_segment_list(host);
    const std::int64_t count = segment_fractions(host, list, polymer, false, scratch);
    bool any = false;
    for (std::int64_t k = 1; k <= count; ++k) {
        const double w = scratch.f[k - 1];
        const std::int64_t s = list.component(host, k);
        if (!(w >= host.segment_fraction_floor()) || s < 1 || s > host.component_count()) continue;
        const double mw = mw_by_component[s - 1];
        if (!(mw > 0.0)) continue;
        add(s, mwn * w / mw);
        any = true;
    }
    return any;
}

}  // namespace keld::cubic
