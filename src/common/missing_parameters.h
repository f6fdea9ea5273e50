// A monitor never computes with a parameter that equals the host's
// missing-value marker: the marker (1e35 in the reference host) would enter
// the equations as a number and come out as a plausible-looking result with
// status ok. Every monitor gathers the parameters it is about to use through a
// ParameterCheck and, when one is missing, refuses the call:
//
//     ParameterCheck check(host);
//     check.require("PCSFTM", i, m_of_i);                         // own values
//     check.require_average(segment_average3(...), p, names);    // what a segment average used
//     if (!check.passed()) {
//         refuse_missing_parameter(host, call, kRefusal, check.missing());
//         return;
//     }
//
// The refusal writes NaN into every requested output, clears KSTAT and issues
//     EQUATION OF STATE MODEL <model> HAS MISSING PARAMETERS:
//     <NAME> (DATA SET  d) MISSING FOR COMPONENT <id>      (or ... FOR SEGMENT <id>)
// through the host's message check at the monitor's diagnostic level.
#pragma once

#include <cmath>
#include <cstdint>
#include <string_view>

#include "common/messages.h"
#include "common/monitor_call.h"
#include "common/segment_average.h"
#include "host/host.h"

namespace keld {

// The first parameter of a call found missing.
struct MissingParameter {
    std::string_view name;       // host parameter name, e.g. "PCSFTM"
    std::int64_t component = 0;  // whose value is missing (a segment's for segment-built values)
};

// Collects the parameters a monitor is about to compute with and keeps the
// first one that equals the missing-value marker or is not a finite number.
class ParameterCheck {
public:
    explicit ParameterCheck(const host::Host &host) : host_(host) {}
    explicit ParameterCheck(const host::Host &&) = delete;  // it keeps a reference

    // Value `value` of parameter `name` for component `component`; true when usable.
    bool require(std::string_view name, std::int64_t component, double value) {
        if (usable(value)) return true;
        if (!found_) first_ = {name, component};
        found_ = true;
        return false;
    }

    // The outcome of a segment average built for `polymer` (segment_average3,
    // sl_segment_characteristics): refused when the polymer has no segments
    // (its own first value counts as missing) or when a segment value that an
    // average in use (`used`) swallowed was missing.
    bool require_average(const SegmentAverageCheck &average, std::int64_t polymer,
                         const std::string_view (&names)[3], const bool (&used)[3] = {true, true, true}) {
        if (average.segments < 1) return require(names[0], polymer, host_.missing());
        bool ok = true;
        for (int m = 0; m < 3; ++m)
            if (used[m] && average.missing[m] != 0) ok = require(names[m], average.missing[m], host_.missing()) && ok;
        return ok;
    }

    bool passed() const { return !found_; }
    const MissingParameter &missing() const { return first_; }

private:
    bool usable(double value) const { return std::isfinite(value) && !host_.is_missing(value); }

    const host::Host &host_;
    bool found_ = false;
    MissingParameter first_;
};

// Where a monitor's refusal is announced: the routine identifier, check class
// and number for the host's message check, and the model name of the header.
struct RefusalSite {
    host::RoutineId routine;
    std::int64_t check_class;
    std::int64_t number;
    std::string_view model_name;
};

// The message alone (for monitors with argument lists of their own, which then
// mark their outputs NaN and clear their status themselves).
void report_missing_parameter(const host::Host &host, const RefusalSite &site, std::int64_t level,
                              std::int64_t data_set, const MissingParameter &missing);

// Refuses a 27-argument monitor call: every requested output NaN, KSTAT 0, and
// the message at the call's KDIAG.
void refuse_missing_parameter(const host::Host &host, const MonitorCall &call, const RefusalSite &site,
                              const MissingParameter &missing);

}  // namespace keld
