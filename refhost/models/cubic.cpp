// The cubic equation of state with excess-Gibbs mixing: KELD_ES40 with the
// state's mixing rule, excess-Gibbs model and alpha choice; status = KRET.
#include "keld/keld.h"
#include "models/models.h"

namespace keld::refhost::families {
namespace {

void evaluate_cubic(ReferenceHost &, const StateRequest &state, StateResult &r) {
    const std::int64_t n = static_cast<std::int64_t>(state.components.size());
    const std::int64_t kwork = 0, kspare = 0, kpass = 0;
    const auto &f = state.flags;
    KELD_ES40(&state.temperature, &state.pressure, state.z.data(), &n, state.components.data(), &kwork, &kspare,
              &state.phase, &f[0], &f[1], &f[2], &f[3], &f[4], &state.data_set, &state.diagnostics,
              &state.alpha_option, &state.excess_model, &state.mixing_rule, r.phi.data(), &r.h, &r.s, &r.g, &r.v,
              r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv, &r.status, &kpass);
}

}  // namespace

ModelEntry cubic() {
    return {"cubic",
            "SRK cubic with van der Waals, Wong-Sandler, MHV1 or MHV2 mixing and an excess-Gibbs model (KELD_ES40)",
            evaluate_cubic,
            nullptr,
            {"TCRKS", "PCRKS", "OMGRKS", "RKSMC", "RKSKIJ", "RKSWSK", "GEAIJ", "GEBIJ", "GEALF", "UNIQR", "UNIQQ",
             "RKSUC", "RKSUP"}};
}

}  // namespace keld::refhost::families
