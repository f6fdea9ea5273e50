// The Sanchez-Lacombe property step: density root at T, properties there,
// temperature derivatives by a one-sided difference with the root solved
// again at T + dT, then conversion to the host's basis.
#pragma once

#include "common/monitor_call.h"
#include "host/host.h"
#include "sanchez_lacombe/sl_residual.h"
#include "sanchez_lacombe/sl_work.h"

namespace keld::sanchez_lacombe {

// mw_by_component: the host's MW of component 1 onwards.
void run_properties(const host::Host &host, const MonitorCall &call, const Mixture &mix, const WorkArea &work,
                    const double *mw_by_component);

}  // namespace keld::sanchez_lacombe
