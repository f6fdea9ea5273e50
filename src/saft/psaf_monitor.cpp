#include "saft/psaf_monitor.h"

#include <cmath>
#include <optional>

#include "common/basis.h"
#include "common/segment_average.h"
#include "common/vector_form.h"
#include "saft/missing_parameter.h"
#include "saft/psaf_parameters.h"
#include "saft/psaf_properties.h"
#include "saft/psaf_work.h"
#include "saft/saft_init.h"
#include "contributions/saft_dispersion.h"

namespace keld::saft {
namespace {

const host::RoutineId kRoutine("PSAF", "M1");

// False (after a message) when a listed component still lacks m, v00 or u0/k.
bool parameters_complete(const Stored &par, const MonitorCall &call, const PsafWorkArea &work) {
    const MissingStored missing = first_missing(par, call, work);
    if (!missing.name) return true;
    report_missing_parameter(par.host, {kRoutine, kRefusalClass, kRefusalNumber, call.kdiag}, "POLYSAFT",
                             missing.name, call.kds, par.host.identifier(missing.component));
    return false;
}

}  // namespace

void stored_monitor(const MonitorCall &call) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found) return;
    const host::Host &host = *found;
    const std::int64_t nc = host.component_count();
    if (!open_monitor_call(host, call, PsafWorkArea::words(nc))) return;
    const std::optional<Blocks> blocks = Blocks::locate(host, call.kds);
    if (!blocks) {
        reject(call);
        return;
    }
    const Stored par{host, *blocks, (call.kds - 1) * nc};
    const PsafWorkArea work{host.word(work_start(host, call)), nc};
    if (!convert_to_true_basis(host, call.n, call.idx, call.z, par.mw(), work.mwn(), nullptr, work.x())) {
        reject(call);
        return;
    }
    if (ideal_gas_exit(host, call, par.mw()[call.idx[0] - 1], work.mwn()[0])) return;
    read_binary_table(par, call.kds, work);
    set_component_parameters(par, call, work);
    set_cross_energies(par, call, work);
    default_energy_corrections(par, call);
    if (!parameters_complete(par, call, work)) {
        reject(call);
        return;
    }
    const Parameters model{work.m(), work.v00(), work.u0(), par.e(), work.u0_matrix(), nc};
    run_stored_properties(host, call, {work, model, par.mw(), blocks->tc, blocks->pc});
}

void stored_vector_monitor(double t, const double *p, std::int64_t n, const std::int64_t *idx,
                           const MonitorCall &shared) {
    run_vector_monitor(stored_monitor, t, p, n, idx, shared);
}

}  // namespace keld::saft
