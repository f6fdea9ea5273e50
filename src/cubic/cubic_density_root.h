// The cubic's density root through the host's reverse-communication root
// routines: SRK pressure and dP/dV answered at each volume the host proposes.
#pragma once

#include <cstdint>

#include "host/host.h"

namespace keld::cubic {

struct CubicRootRequest {
    double t, p;
    std::int64_t n, kvl, kdiag;
    double b, d;  // mixture covolume and attraction at T
    host::RoutineId name;
};

struct CubicRoot {
    double v = 0.0;           // molar volume, m3/kmol (the last volume the host placed)
    bool converged = false;   // the host reported state 4
};

CubicRoot cubic_density_root(const host::Host &host, const CubicRootRequest &rq);

}  // namespace keld::cubic
