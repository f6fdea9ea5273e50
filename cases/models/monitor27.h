// The state evaluation shared by the families whose monitor takes the common
// 27 arguments: one call in the work area at `kwork` (0 for `evaluate`), the
// outputs straight into the result.
#pragma once

#include <cstdint>

#include "keld/case.h"

namespace keld::refhost::families {

using Monitor27 = void (*)(const double *, const double *, const double *, const std::int64_t *,
                           const std::int64_t *, const std::int64_t *, const std::int64_t *, const std::int64_t *,
                           const std::int64_t *, const std::int64_t *, const std::int64_t *, const std::int64_t *,
                           const std::int64_t *, const std::int64_t *, const std::int64_t *, double *, double *,
                           double *, double *, double *, double *, double *, double *, double *, double *,
                           std::int64_t *, const std::int64_t *);

template <Monitor27 monitor>
void evaluate_monitor27_in(ReferenceHost &, const StateRequest &state, StateResult &r, std::int64_t kwork) {
    const std::int64_t n = static_cast<std::int64_t>(state.components.size());
    const std::int64_t kspare = 0;
    const auto &f = state.flags;
    monitor(&state.temperature, &state.pressure, state.z.data(), &n, state.components.data(), &kwork, &kspare,
            &state.phase, &f[0], &f[1], &f[2], &f[3], &f[4], &state.data_set, &state.diagnostics, r.phi.data(),
            &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv, &r.status, &state.option);
}

template <Monitor27 monitor>
void evaluate_monitor27(ReferenceHost &host, const StateRequest &state, StateResult &r) {
    evaluate_monitor27_in<monitor>(host, state, r, 0);
}

// A family's evaluation in work area 0, from the one in a work area of the caller's choice.
template <StateEvaluatorInWorkArea in_work_area>
void evaluate_in_first_work_area(ReferenceHost &host, const StateRequest &state, StateResult &r) {
    in_work_area(host, state, r, 0);
}

}  // namespace keld::refhost::families
