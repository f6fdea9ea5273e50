// A calculation that cannot start because the model lacks a parameter
// (internal): the monitors refuse such a listing at every state, which must
// not be read as phase behaviour ("no coexistence") or a failed root.
#pragma once

#include <initializer_list>
#include <string>

#include "keld/equilibria/phase_evaluator.h"

namespace keld::equilibria::detail {

// The reason, naming the parameter, when an evaluator the calculation uses is
// refused for a missing parameter; empty otherwise.
inline std::string missing_parameter_message(std::initializer_list<PhaseEvaluator *> used) {
    for (PhaseEvaluator *e : used) {
        if (e != nullptr && !e->missing_parameters().empty())
            return "the model '" + std::string(e->model().name) +
                   "' lacks a parameter it needs: " + e->missing_parameters();
    }
    return {};
}

}  // namespace keld::equilibria::detail
