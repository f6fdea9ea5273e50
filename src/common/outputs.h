// The ten result slots of a property monitor, as the caller passed them.
#pragma once

#include <cstdint>
#include <limits>

#include "common/flags.h"

namespace keld {

struct MonitorOutputs {
    double *phi;  // N values
    double *h, *s, *g, *v;
    double *dphi;  // N values
    double *dh, *ds, *dg, *dv;
};

// Volume and departures of one state, on the true basis.
struct StateValues {
    double v, h, s, g;
};

// Writes the values a flag asks for (a value is also computed for flag 2).
void write_values(const Requests &rq, const StateValues &at_t, const MonitorOutputs &out);

// One-sided temperature derivatives from the state at T and at T + dt. On
// entry out.dphi holds ln phi at T + dt (when asked for), out.phi ln phi at T.
void write_temperature_derivatives(const Requests &rq, std::int64_t n, const StateValues &at_t,
                                   const StateValues &shifted, double dt, const MonitorOutputs &out);

// The step of the one-sided temperature derivatives: up for a vapour (and any
// phase flag other than liquid), down for a liquid, 1e-4 T either way.
inline double temperature_step(double t, std::int64_t kvl) { return (kvl == 2 ? -1e-4 : 1e-4) * t; }

// The by-position outputs a refused call writes: PHI(1..N), but never beyond
// the NC components the call can list (at least one), so that a call with an
// N no problem can have is refused at once and writes no further than NC.
inline std::int64_t refused_positions(std::int64_t n, std::int64_t nc) {
    const std::int64_t bound = nc >= 1 ? nc : 1;
    return n < bound ? n : bound;
}

// Marks every requested slot as not computable (quiet NaN): the monitor's
// answer to arguments it cannot honour. Array slots are written only for n >= 1.
void mark_unavailable(const Requests &rq, std::int64_t n, const MonitorOutputs &out);

}  // namespace keld
