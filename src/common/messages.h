// Message lines for the host. A message is written as a Fortran FORMAT into
// the host's buffer of 10 lines of 80 characters and issued with the number of
// lines; the host's check decides beforehand whether it is wanted. A refused
// check suppresses only the text, never the calculation.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string_view>

#include "common/fortran_format.h"
#include "host/host.h"

namespace keld::messages {

// The host's message buffer (and HostErrorControl2(20)) is one per process:
// every message is written and printed while holding this lock, so that calls
// from several threads never interleave their lines. Recursive: a message
// routine may call another.
std::unique_lock<std::recursive_mutex> lock_buffer();

// Where a message comes from and how the host's check is asked.
struct CheckSite {
    host::RoutineId routine;
    std::int64_t check_class;
    std::int64_t number;
    std::int64_t level;
    std::int64_t word_a = 0, word_b = 1, word_c = 0;
};

// Asks the host's check; true when the message is wanted.
bool wanted(const host::Host &host, const CheckSite &site);

// Writes `format` with `items` from buffer line `first_line` (0-based) on and
// returns the number of lines written; nothing is printed.
int write_lines(const host::Host &host, int first_line, std::string_view format,
                std::initializer_list<fortran::Item> items);

// Writes from line 1 and prints: the common path of a one-block message.
void write_and_print(const host::Host &host, std::string_view format, std::initializer_list<fortran::Item> items);

// "CONVERGENCE DIFFICULTIES WERE ENCOUNTERED IN <model text>" (3 lines).
// Monitors pass word C = HostErrorControl2(20), cleared to 0 around the message.
void convergence_difficulties(const host::Host &host, CheckSite site, std::string_view model_text,
                              std::int64_t data_set, double t, double p);

// "EQUATION OF STATE MODEL <name> FAILED DUE TO INFEASIBLE CONDITIONS ..." with
// the table of component identifiers and mole fractions (two pairs a row; the
// first block holds 6 rows, a second block at most 10 more). The identifiers
// are the host's unless `identifier_words` gives them (two words a component,
// characters in the first four bytes of each, as an argument-driven monitor
// receives them).
void infeasible_conditions(const host::Host &host, CheckSite site, std::string_view model_name,
                           std::int64_t data_set, double t, double p, std::int64_t n, const std::int64_t *idx,
                           const double *x, const double *identifier_words = nullptr);

// Missing-parameter warnings of an initialisation routine: the first one
// issued in a call carries the header line "EQUATION OF STATE MODEL <model>
// HAS MISSING PARAMETERS:".
class MissingParameterReport {
public:
    MissingParameterReport(const host::Host &host, std::string_view model_name)
        : host_(host), model_(model_name) {}

    // `body` is the warning's format without the outer parentheses. Returns
    // true when the host's check let it through.
    bool issue(const CheckSite &site, std::string_view body, std::initializer_list<fortran::Item> items);
    int issued() const { return issued_; }

private:
    const host::Host &host_;
    std::string_view model_;
    int issued_ = 0;
};

}  // namespace keld::messages
