// Sanchez-Lacombe density root through the host's root routines, with the
// model's convergence and infeasibility messages.
#pragma once

#include <cstdint>

#include "common/density_root.h"
#include "host/host.h"
#include "sanchez_lacombe/sl_residual.h"

namespace keld::sanchez_lacombe {

struct DensityRootCall {
    double t, p;
    std::int64_t kvl, kdiag, kds;
    std::int64_t *kstat;
};

// Volumes the host is told about: close-packed r v*, the critical estimate
// r (1 + sqrt r) v*, and the dividing volume (close-packed above the estimated
// critical temperature 2 r T* / (1 + sqrt r)^2 for a vapour search, else critical).
struct RootVolumes {
    double close_packed, critical, dividing;
};
RootVolumes root_volumes(const MixtureAverages &avg, double gas_constant, double t, std::int64_t kvl);

// Solves for the molar density (kmol/m3); clears KSTAT when the host fails and
// reports a non-positive final pressure. rho_start (0 for none) is left in the
// volume cell as a hint: the root at a nearby temperature starts a search well.
RootResult density_root(const host::Host &host, const Mixture &mix, const DensityRootCall &call,
                        double rho_start = 0.0);

}  // namespace keld::sanchez_lacombe
