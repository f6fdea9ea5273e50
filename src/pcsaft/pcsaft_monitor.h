// The PC-SAFT property monitor (27 arguments) and its vector form.
#pragma once

#include "common/monitor_call.h"

namespace keld::pcsaft {

void monitor(const MonitorCall &call);
void vector_monitor(double t, const double *p, std::int64_t n, const std::int64_t *idx, const MonitorCall &shared);

}  // namespace keld::pcsaft
