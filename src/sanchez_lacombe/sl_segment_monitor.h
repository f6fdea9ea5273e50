// The segment-based Sanchez-Lacombe monitor (KELD_POSL01) and its vector form
// (KELD_POSL00): characteristic parameters, the two temperature-dependent
// binary tables and the polymers' segment compositions handed over as
// arguments; a polymer without its own T*, P*, rho* has them built from its
// segments. Values only on the model path.
#pragma once

#include <cstdint>

#include "common/segment_call.h"

namespace keld::sanchez_lacombe {

// What the Sanchez-Lacombe monitor receives beyond the common arguments.
struct SegmentParameters {
    const double *t_star, *p_star, *rho_star;  // by component: K, Pa, kg/m3
    const double *k_table, *eta_table;         // six coefficients per pair (PolyBinaryTable4)
    std::int64_t k_table_words, eta_table_words;
};

void segment_monitor(segment::Call call, const SegmentParameters &par);

void segment_vector_monitor(const segment::Call &shared, const SegmentParameters &par, const double *p,
                            const double *mwn, const double *option_values);

}  // namespace keld::sanchez_lacombe
