// The property step of the stored-parameter SAFT monitor: density root at T,
// properties there, temperature derivatives by one-sided differences with the
// root solved again at T' = T + dT (∂ã/∂T at T' by a central difference), then
// the conversion to the host's basis.
#pragma once

#include "common/monitor_call.h"
#include "host/host.h"
#include "saft/psaf_work.h"
#include "saft/saft_residual.h"

namespace keld::saft {

struct PsafInputs {
    const PsafWorkArea &work;
    const Parameters &par;
    const double *mw_by_component;
    std::int64_t tc_offset, pc_offset;  // store offsets of the critical arrays
};

void run_stored_properties(const host::Host &host, const MonitorCall &call, const PsafInputs &in);

}  // namespace keld::saft
