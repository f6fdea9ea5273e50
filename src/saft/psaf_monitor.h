// The SAFT property monitor with parameters from the host store (27
// arguments) and its vector form; organised like the PC-SAFT monitor, with
// the SAFT residual model in place of PC-SAFT's.
#pragma once

#include "common/monitor_call.h"

namespace keld::saft {

void stored_monitor(const MonitorCall &call);
void stored_vector_monitor(double t, const double *p, std::int64_t n, const std::int64_t *idx,
                           const MonitorCall &shared);

}  // namespace keld::saft
