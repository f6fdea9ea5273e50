#include "common/outputs.h"

namespace keld {

void write_values(const Requests &rq, const StateValues &at_t, const MonitorOutputs &out) {
    if (rq.v.any()) *out.v = at_t.v;
    if (rq.h.any()) *out.h = at_t.h;
    if (rq.s.any()) *out.s = at_t.s;
    if (rq.g.any()) *out.g = at_t.g;
}

void write_temperature_derivatives(const Requests &rq, std::int64_t n, const StateValues &at_t,
                                   const StateValues &shifted, double dt, const MonitorOutputs &out) {
    if (rq.v.derivative) *out.dv = (shifted.v - at_t.v) / dt;
    if (rq.h.derivative) *out.dh = (shifted.h - at_t.h) / dt;
    if (rq.s.derivative) *out.ds = (shifted.s - at_t.s) / dt;
    if (rq.g.derivative) *out.dg = (shifted.g - at_t.g) / dt;
    if (rq.phi.derivative)
        for (std::int64_t k = 0; k < n; ++k) out.dphi[k] = (out.dphi[k] - out.phi[k]) / dt;
}

void mark_unavailable(const Requests &rq, std::int64_t n, const MonitorOutputs &out) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto scalar = [&](const Flag &f, double *value, double *derivative) {
        if (f.value && value) *value = nan;
        if (f.derivative && derivative) *derivative = nan;
    };
    scalar(rq.h, out.h, out.dh);
    scalar(rq.s, out.s, out.ds);
    scalar(rq.g, out.g, out.dg);
    scalar(rq.v, out.v, out.dv);
    for (std::int64_t k = 0; k < n; ++k) {
        if (rq.phi.value && out.phi) out.phi[k] = nan;
        if (rq.phi.derivative && out.dphi) out.dphi[k] = nan;
    }
}

}  // namespace keld
