// PC-SAFT density root through the host's root routines, started from the
// pseudo-critical estimates of the mixture.
#pragma once

#include <cmath>
#include <cstdint>

#include "common/density_root.h"
#include "common/polymer_root_volumes.h"
#include "host/host.h"
#include "pcsaft/pcsaft_residual.h"

namespace keld::pcsaft {

// What the density root evaluates: the mixture at true mole fractions x, with
// parameters by component and the caller's per-position vectors.
struct Mixture {
    std::int64_t nc, n;
    const std::int64_t *idx;
    const double *x, *mwn;
    const double *m, *sigma, *eps, *eps_matrix;
    PositionVectors pos;
    double *dadx;
    // The pair sums of the composition (terms::pair_sums), when the caller has formed them: they serve
    // every density search of the call. Without them each search forms its own.
    const terms::PairSums *sums = nullptr;
};

// Writes polymer pseudo-critical values to the host's arrays (by component,
// at the store offsets tc and pc) and returns the volumes for the host.
RootVolumes root_volumes(const host::Host &host, const Mixture &mix, std::int64_t tc, std::int64_t pc, double t,
                         std::int64_t kvl);

struct DensityRootCall {
    double t, p;
    std::int64_t kvl, kdiag;
    std::int64_t *kstat;
    std::int64_t tc_offset, pc_offset;  // store offsets of the critical arrays
};

// Molar density (kmol/m3) of the phase; KSTAT cleared when the host fails.
RootResult density_root(const host::Host &host, const Mixture &mix, const DensityRootCall &call, double rho_start);

// The same at the temperature of `iso`, an Isotherm of this mixture (whose per-position vectors are
// mix.pos) formed by the caller, which reuses it at the root. call.t must be iso.temperature().
RootResult density_root(const host::Host &host, const Mixture &mix, const Isotherm &iso, const DensityRootCall &call,
                        double rho_start);

}  // namespace keld::pcsaft
