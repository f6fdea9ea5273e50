#include "sanchez_lacombe/sl_monitor.h"

#include <cmath>

#include "common/basis.h"
#include "common/missing_parameters.h"
#include "common/segment_average.h"
#include "common/vector_form.h"
#include "sanchez_lacombe/sl_parameters.h"
#include "sanchez_lacombe/sl_properties.h"
#include "contributions/lattice_fluid.h"
#include "sanchez_lacombe/sl_work.h"

namespace keld::sanchez_lacombe {
namespace {

// The monitor's refusal of missing parameters (message check class 2, number 2).
const RefusalSite kRefusal{host::RoutineId("ESSL", "P"), 2, 2, "POLYSL"};

}  // namespace

void monitor(const MonitorCall &call) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found) return;
    const host::Host &host = *found;
    const std::int64_t nc = host.component_count();
    if (!open_monitor_call(host, call, WorkArea::words(nc))) return;
    const std::optional<ParameterBlocks> blocks = ParameterBlocks::locate(host, call.kds);
    if (!blocks) {
        reject(call);
        return;
    }
    const Parameters par{host, *blocks, (call.kds - 1) * nc};
    const WorkArea work{host.word(work_start(host, call)), nc};
    ParameterCheck check(host);
    for (std::int64_t k = 0; k < call.n; ++k) check.require("MW", call.idx[k], par.mw()[call.idx[k] - 1]);
    if (!check.passed()) return refuse_missing_parameter(host, call, kRefusal, check.missing());
    if (!convert_to_true_basis(host, call.n, call.idx, call.z, par.mw(), work.mwn(), work.weights(), work.x())) {
        reject(call);
        return;
    }
    if (ideal_gas_exit(host, call, par.mw()[call.idx[0] - 1], work.mwn()[0])) return;
    set_component_values(par, call, work, check);
    if (!check.passed()) return refuse_missing_parameter(host, call, kRefusal, check.missing());
    set_cross_matrices(par, call, work);
    const Mixture mix{host.gas_constant(), nc, call.n, call.idx, work.x(), work.r(), work.eps_matrix(),
                      work.v_matrix()};
    run_properties(host, call, mix, work, par.mw());
}

void vector_monitor(double t, const double *p, std::int64_t n, const std::int64_t *idx, const MonitorCall &shared) {
    run_vector_monitor(monitor, t, p, n, idx, shared);
}

}  // namespace keld::sanchez_lacombe
