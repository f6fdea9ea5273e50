// The segment-based PC-SAFT monitor (KELD_PCSF01) and its vector form
// (KELD_PCSF00): parameters, the temperature-dependent binary table and the
// polymers' segment compositions come as arguments; a polymer without its own
// parameters takes them from its segments. Values only on the model path.
#pragma once

#include <cstdint>

#include "common/segment_call.h"

namespace keld::pcsaft {

// What the PC-SAFT monitor receives beyond the common arguments, by component.
struct SegmentParameters {
    const double *tc, *pc;  // copied into the work array: critical temperatures, critical-pressure entries
    const double *m, *sigma, *eps, *r;
    const double *table;           // six coefficients per pair (PolyBinaryTable4)
    std::int64_t table_words;      // its length
};

void segment_monitor(segment::Call call, const SegmentParameters &par);

// For position k the pure component IDX(k) at p[k] with MWN mwn[k] (see segment::vector_form).
void segment_vector_monitor(const segment::Call &shared, const SegmentParameters &par, const double *p,
                            const double *mwn, const double *option_values);

}  // namespace keld::pcsaft
