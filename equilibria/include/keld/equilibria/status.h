// keld/equilibria/status.h - how a phase-equilibrium calculation ended.
#pragma once

#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace keld::equilibria {

inline constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

enum class Status {
    converged,      // the equilibrium was found; every number of the result holds
    single_phase,   // a flash or stability test: the feed is stable as one phase
    supercritical,  // no coexistence at this state: above the critical point or
                    // the cricondenbar/-therm of the mixture, or no demixing
    no_solution,    // the requested state lies outside what the model allows
                    // (an activity above 1, a feed outside the two-phase region)
    not_converged,  // the iteration limit was reached; `residual` says how far it got
    root_failure,   // a monitor reported a failed density root (KSTAT 0)
    invalid_input,  // the arguments are wrong (message says which)
    missing_parameter,  // the model lacks a parameter it needs (message names it): the
                        // case is incomplete, nothing about phase behaviour is known
};

std::string_view to_string(Status status);

// Common part of every result. When `status` is not converged (or
// single_phase for a flash), the numbers of the result are NaN: a
// calculation that failed never returns a trivial-solution value.
struct Outcome {
    Status status = Status::not_converged;
    std::string message;                        // one line, for people
    int iterations = 0;                         // outer iterations taken
    int evaluations = 0;                        // monitor calls made
    double residual = not_a_number;             // largest |ln f_i' - ln f_i''| (or the solver's own measure)
    std::vector<std::string> monitor_messages;  // message lines the monitors printed, first few

    bool ok() const { return status == Status::converged || status == Status::single_phase; }
};

}  // namespace keld::equilibria
