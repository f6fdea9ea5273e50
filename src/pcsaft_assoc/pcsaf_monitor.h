// The property monitor of PC-SAFT with association and a dipolar term (KELD_PCSAF1) and its vector form
// over pure-component points (KELD_PCSAF0): every parameter array comes with the call, all per-call
// state lives in the caller's work area and on the stack.
#pragma once

#include <cstdint>

#include "pcsaft_assoc/pcsaf_arguments.h"

namespace keld::pcsaf {

enum class CallOutcome {
    computed,            // results written (status 1, or 0 for a density that does not solve P(rho) = P)
    refused,             // requested values NaN, status 0 (arguments, missing parameters, work area)
    association_failed,  // outputs unwritten, status 0
    unanswered,          // nothing written: no host, or an output slot for a request is missing
};

// Whether the counts, component numbers and segment tables of a call can be used to size and fill
// its work area: NC from 1 to kMaxComponents, N <= NC, LSEG from 1 to kMaxSegmentTypes when segment
// tables are given, every listed component and segment type within 1..NC, the arrays non-null.
// Values (T, P, Z, weights) are not looked at: the work-size query needs none of them.
inline constexpr std::int64_t kMaxComponents = 1'000'000;
inline constexpr std::int64_t kMaxSegmentTypes = 1'000'000;
bool sizes_usable(const Arguments &args);

// KELD_PCSAF1 after the export has read its arguments.
CallOutcome monitor(const Arguments &args);

// KELD_PCSAF0: for each point k the pure component idx[k] at pressure p[k]; values into element k of
// the shared output arrays, the density into rho_points[k] (may be null). The status is 1 when every
// point was computed.
void vector_monitor(const Arguments &shared, const double *p, std::int64_t points, const std::int64_t *idx,
                    double *rho_points);

}  // namespace keld::pcsaf
