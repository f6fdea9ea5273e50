// The Sanchez-Lacombe property monitor (27 arguments) and its vector form.
#pragma once

#include "common/monitor_call.h"

namespace keld::sanchez_lacombe {

void monitor(const MonitorCall &call);

// Vector form: component idx[k] alone at pressure p[k], results into element k.
void vector_monitor(double t, const double *p, std::int64_t n, const std::int64_t *idx, const MonitorCall &shared);

}  // namespace keld::sanchez_lacombe
