// Pure-component constants of SRK at T for the listed components: the
// covolume b_i and the attraction a_i(T) with its temperature derivatives,
// the alpha function from the host. A polymer or oligomer counts its
// constants per unit of its MW (the host's apparent basis); one molecule of
// number-average weight MWN holds r = MWN/MW units, so b grows as r and a as
// r^2 (the liquid volume per unit and a/(b R T) per unit stay those of the unit).
#pragma once

#include <cstdint>

#include "cubic/cubic_defaults.h"
#include "cubic/cubic_model.h"
#include "cubic/jet.h"

namespace keld::cubic {

// SRK's covolume b = 0.08664 R Tc/Pc r (m3/kmol) and the attraction a_c =
// 0.42748 R^2 Tc^2/Pc r^2 (J m3/kmol2) that alpha(T) multiplies, of a
// component of r units (r = 1 for an ordinary component).
struct SrkConstants {
    double ac, b;
};
inline SrkConstants srk_constants(double gas_constant, double tc, double pc, double units) {
    const double r = gas_constant;
    return {kOmegaA * r * r * tc * tc / pc * units * units, kOmegaB * r * tc / pc * units};
}

// Per listed component (by position).
struct PureConstants {
    std::int64_t n;
    const double *x;     // true mole fractions
    const double *mwn;   // number-average molecular weights
    double *units;       // r = MWN/MW (1 for an ordinary component)
    double *tc, *pc, *omega;
    double *b;           // m3/kmol
    Jet *a;              // J m3/kmol2 with its T-derivatives
};

// Fills b and a (alpha through HostAlphaFunction). False when the host has
// no alpha function or returns an unusable alpha (the call is then refused).
bool pure_constants(const host::Host &host, const CubicCall &call, const PureBlocks &blocks, PureConstants &pure,
                    double *alpha_scratch);

}  // namespace keld::cubic
