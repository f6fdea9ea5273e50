// The segment-based SAFT monitor (KELD_SAFT01) and its vector form
// (KELD_SAFT00): the SAFT equations with parameters, the energy corrections,
// the temperature-dependent k_ij table and the polymers' segment compositions
// handed over as arguments. No binary parameter on the segment number
// (m_mix = S0). Values only on the model path.
#pragma once

#include <cstdint>

#include "common/segment_call.h"

namespace keld::saft {

// What the SAFT monitor receives beyond the common arguments, by component.
struct SegmentParameters {
    const double *tc, *pc;  // copied into the work array: critical temperatures, critical-pressure entries
    const double *m, *v00, *u0, *r;
    const double *e;               // energy corrections e/k, K (never averaged)
    const double *table;           // six coefficients per pair (PolyBinaryTable4)
    std::int64_t table_words;      // its length
};

void segment_monitor(segment::Call call, const SegmentParameters &par);

void segment_vector_monitor(const segment::Call &shared, const SegmentParameters &par, const double *p,
                            const double *mwn, const double *option_values);

}  // namespace keld::saft
