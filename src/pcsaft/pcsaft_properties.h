// The PC-SAFT property step: density root at T, properties from the residual
// terms there, temperature derivatives by a one-sided difference with the root
// solved again at T + dT, then conversion to the host's basis.
#pragma once

#include "common/monitor_call.h"
#include "host/host.h"
#include "pcsaft/pcsaft_density_root.h"
#include "pcsaft/pcsaft_work.h"

namespace keld::pcsaft {

struct PropertyInputs {
    const Mixture &mix;
    const WorkArea &work;
    const double *mw_by_component;
    std::int64_t tc_offset, pc_offset;
};

void run_properties(const host::Host &host, const MonitorCall &call, const PropertyInputs &in);

}  // namespace keld::pcsaft
