// Bubble and dew points on the Helmholtz-energy model (internal): the
// two-phase equations of two_phase.h with one phase's composition and T or P
// held, behind the bubble/dew API for systems whose components are all
// volatile.
#pragma once

#include <optional>
#include <span>

#include "keld/equilibria/bubble_dew.h"

namespace keld::equilibria::detail {

enum class IncipientPhase { vapour, liquid };  // a bubble point's incipient phase is the vapour

// At a given T a point whose ideal-solution start fails (near a mixture's
// critical point) is reached by continuation in the given composition from
// the least volatile component's side.
//
// The point on the model, or nothing where the model route refuses (no
// mixture model, a component absent from the given phase, no convergence, a
// phase that is not the model's root of its kind at the state, P below
// 1e4 Pa): the caller then solves through the monitors. `given_t`: `value`
// is T (K), else P (Pa).
std::optional<BubbleDewResult> model_bubble_dew(System &system, IncipientPhase incipient, bool given_t, double value,
                                                std::span<const double> composition, const BubbleDewGuess &guess);

}  // namespace keld::equilibria::detail
