// The cubic equation of state with excess-Gibbs mixing: KELD_ES40 with the
// state's mixing rule, excess-Gibbs model and alpha choice; status = KRET.
#include "keld/keld.h"
#include "models/models.h"
#include "models/monitor27.h"

namespace keld::refhost::families {
namespace {

void evaluate_cubic(ReferenceHost &, const StateRequest &state, StateResult &r, std::int64_t kwork) {
    const std::int64_t n = static_cast<std::int64_t>(state.components.size());
    const std::int64_t kspare = 0, kpass = 0;
    const auto &f = state.flags;
    KELD_ES40(&state.temperature, &state.pressure, state.z.data(), &n, state.components.data(), &kwork, &kspare,
              &state.phase, &f[0], &f[1], &f[2], &f[3], &f[4], &state.data_set, &state.diagnostics,
              &state.alpha_option, &state.excess_model, &state.mixing_rule, r.phi.data(), &r.h, &r.s, &r.g, &r.v,
              r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv, &r.status, &kpass);
}

// The monitor completes the critical constants of a listed component the
// first time it meets the component in a data set (and says which it assumed),
// recording that in the check marker RKSCHK (HostOffsets1 627), which is read
// here straight from the store: evaluate_many asks for every state of a batch.
bool completes_on_first_use(const ReferenceHost &host, const StateRequest &state) {
    constexpr std::int64_t kCheckMarker = 627;
    const std::int64_t marker = host.offsets1(kCheckMarker) + (state.data_set - 1) * host.component_count();
    const auto store = host.store();
    for (const std::int64_t i : state.components)
        if (store[static_cast<std::size_t>(marker + i - 1)] != 1.0) return true;
    return false;
}

}  // namespace

ModelEntry cubic() {
    ModelEntry entry{
        "cubic",
        "SRK cubic with van der Waals, Wong-Sandler, MHV1 or MHV2 mixing and an excess-Gibbs model (KELD_ES40)",
        evaluate_in_first_work_area<evaluate_cubic>,
        nullptr,
        {"TCRKS", "PCRKS", "OMGRKS", "RKSMC", "RKSKIJ", "RKSWSK", "GEAIJ", "GEBIJ", "GEALF", "UNIQR", "UNIQQ",
         "RKSUC", "RKSUP"}};
    entry.evaluate_in_work_area = evaluate_cubic;
    entry.completes_on_first_use = completes_on_first_use;
    return entry;
}

}  // namespace keld::refhost::families
