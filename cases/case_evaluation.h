// The steps of one state evaluation that the one-at-a-time path (case.cpp)
// and the many-state path (case_many.cpp) share, so both give the same result.
#pragma once

#include <mutex>

#include "keld/case.h"

namespace keld::refhost::detail {

// Serialises the case layer's evaluations that use the host's first work area.
std::mutex &case_calls_mutex();

// Throws std::invalid_argument for a state the host cannot take; returns its model.
const ModelEntry &checked_model(const ReferenceHost &host, const StateRequest &state);

// A result with every output NaN (one slot per listed component) and status 1.
StateResult blank_result(const StateRequest &state);

// Sets to NaN what the state's request flags did not ask for.
void mask_unrequested(const StateRequest &state, StateResult &r);

}  // namespace keld::refhost::detail
