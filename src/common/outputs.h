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

// Marks every requested slot as not computable (quiet NaN): the monitor's
// answer to arguments it cannot honour. Array slots are written only for n >= 1.
void mark_unavailable(const Requests &rq, std::int64_t n, const MonitorOutputs &out);

}  // namespace keld
