// Ideal-gas departures, the result of every monitor for one component at
// vanishing pressure. Values per kmol, scaled by f = mwa / mwb so that they
// land on the host's apparent basis.
#pragma once

#include "common/flags.h"

namespace keld {

struct IdealGasInputs {
    double t, p;
    double mwa, mwb;  // f = mwa / mwb
    double gas_constant, reference_pressure;
};

// `phi` and `dphi` point to one value each. Only requested slots are written:
// a value for flags 1 and 3, a derivative for flags above 1.
void ideal_gas_departure(const IdealGasInputs &in, const Requests &rq, double *phi, double *h, double *s, double *g,
                         double *v, double *dphi, double *dh, double *ds, double *dg, double *dv);

// The pressure below which a single component takes the ideal-gas exit.
inline constexpr double kIdealGasExitPressure = 5.5e-5;

}  // namespace keld
