#include "common/basis.h"

#include <cmath>

namespace keld {

bool convert_to_true_basis(const host::Host &host, std::int64_t n, const std::int64_t *idx, const double *z,
                           const double *mw_by_component, double *mwn, double *w, double *x) {
    const keld_host &t = host.table();
    if (!t.apparent_to_true || !t.number_average_mw || (w && !t.apparent_to_weight)) return false;
    t.apparent_to_true(&n, idx, mw_by_component, z, x);
    if (w) t.apparent_to_weight(z, &n, idx, w);
    const std::int64_t option = 1;
    t.number_average_mw(&option, &n, idx, mwn);
    return true;
}

double apparent_basis_factor(std::int64_t n, const std::int64_t *idx, const double *z,
                             const double *mw_by_component, const double *mwn) {
    double factor = 0.0;
    for (std::int64_t k = 0; k < n; ++k) factor += z[k] * mw_by_component[idx[k] - 1] / mwn[k];
    return factor;
}

void to_apparent_basis(const Requests &rq, std::int64_t n, const std::int64_t *idx, const double *z, const double *x,
                       const double *mw_by_component, const double *mwn, double log_p_over_pcalc,
                       const MonitorOutputs &out) {
    const double factor = apparent_basis_factor(n, idx, z, mw_by_component, mwn);
    if (rq.phi.any()) {
        for (std::int64_t k = 0; k < n; ++k) {
            out.phi[k] -= log_p_over_pcalc;
            if (z[k] > 0.0 && x[k] > 0.0) {
                out.phi[k] += std::log(x[k] / z[k]);
            } else if (z[k] == 0.0) {
                const double ratio = mw_by_component[idx[k] - 1] / mwn[k] / factor;
                if (ratio > 0.0 && std::isfinite(ratio)) out.phi[k] += std::log(ratio);
            }
        }
    }
    auto scale = [factor](const Flag &f, double *value, double *derivative) {
        if (f.any()) *value *= factor;
        if (f.derivative) *derivative *= factor;
    };
    scale(rq.v, out.v, out.dv);
    scale(rq.h, out.h, out.dh);
    scale(rq.s, out.s, out.ds);
    scale(rq.g, out.g, out.dg);
}

}  // namespace keld
