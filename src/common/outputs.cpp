#include "common/outputs.h"

namespace keld {

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
