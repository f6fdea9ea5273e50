#include "cubic/pure_constants.h"

#include <cmath>

namespace keld::cubic {

bool pure_constants(const host::Host &host, const CubicCall &call, const PureBlocks &blocks, PureConstants &pure,
                    double *alpha_scratch) {
    const MonitorCall &c = call.base;
    const keld_host &table = host.table();
    if (!table.alpha_function) return false;
    const std::int64_t d0 = (c.kds - 1) * host.component_count();
    const double r = host.gas_constant();
    for (std::int64_t k = 0; k < c.n; ++k) {
        const std::int64_t i = c.idx[k];
        pure.tc[k] = host.real(blocks.tc + d0 + i);
        pure.pc[k] = host.real(blocks.pc + d0 + i);
        pure.omega[k] = host.real(blocks.omega + d0 + i);
        const double mw = host.real(blocks.mw + i);
        pure.units[k] = host.is_polymer_or_oligomer(i) && mw > 0.0 ? pure.mwn[k] / mw : 1.0;
        if (!(pure.tc[k] > 0.0 && pure.pc[k] > 0.0 && std::isfinite(pure.tc[k]) && std::isfinite(pure.pc[k]) &&
              pure.units[k] > 0.0 && std::isfinite(pure.units[k])))
            return false;
    }
    double *alpha = alpha_scratch, *dalpha = alpha_scratch + c.n, *d2alpha = alpha_scratch + 2 * c.n;
    for (std::int64_t k = 0; k < 3 * c.n; ++k) alpha_scratch[k] = std::nan("");
    table.alpha_function(&call.keosopt, &c.kds, &c.n, c.idx, &c.t, pure.tc, pure.omega, alpha, dalpha, d2alpha);
    for (std::int64_t k = 0; k < c.n; ++k) {
        if (!(alpha[k] > 0.0 && std::isfinite(alpha[k]) && std::isfinite(dalpha[k]) && std::isfinite(d2alpha[k])))
            return false;
        const double units = pure.units[k];
        const SrkConstants constants = srk_constants(r, pure.tc[k], pure.pc[k], units);
        const double ac = constants.ac;
        pure.b[k] = constants.b;
        pure.a[k] = Jet(ac * alpha[k], ac * dalpha[k], ac * d2alpha[k]);
    }
    return true;
}

}  // namespace keld::cubic
