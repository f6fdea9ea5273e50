#include "common/ideal_gas.h"

#include <cmath>

namespace keld {

void ideal_gas_departure(const IdealGasInputs &in, const Requests &rq, double *phi, double *h, double *s, double *g,
                         double *v, double *dphi, double *dh, double *ds, double *dg, double *dv) {
    const double r = in.gas_constant;
    const double f = in.mwa / in.mwb;
    const double log_p = std::log(in.p / in.reference_pressure);
    // H, DH, DS and ln phi vanish for an ideal gas and need no scaling.
    if (rq.v.value) *v = r * in.t / in.p * f;
    if (rq.v.derivative) *dv = r / in.p * f;
    if (rq.h.value) *h = 0.0;
    if (rq.h.derivative) *dh = 0.0;
    if (rq.s.value) *s = -r * log_p * f;
    if (rq.s.derivative) *ds = 0.0;
    if (rq.g.value) *g = r * in.t * log_p * f;
    if (rq.g.derivative) *dg = r * log_p * f;
    if (rq.phi.value) *phi = 0.0;
    if (rq.phi.derivative) *dphi = 0.0;
}

}  // namespace keld
