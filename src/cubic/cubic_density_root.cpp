#include "cubic/cubic_density_root.h"

#include "common/density_root.h"
#include "cubic/cubic_model.h"

namespace keld::cubic {

CubicRoot cubic_density_root(const host::Host &host, const CubicRootRequest &rq) {
    const keld_host &table = host.table();
    const double rt = host.gas_constant() * rq.t;
    const double b = rq.b, d = rq.d;
    // Critical temperature of SRK with the attraction at T: D/(b R T_c) = 4.934.
    const double t_critical = 0.20268 * d / (b * host.gas_constant());
    const double v_close_packed = b;
    const double v_critical = 3.8473 * b;
    const double v_dividing = (rq.t >= t_critical && rq.kvl != 2) ? b : v_critical;
    if (rq.n == 1) {
        if (rq.kvl == 1) host.set_root_switch(false, true);
        if (rq.kvl == 2) host.set_root_switch(true, true);
    }
    std::int64_t state = 4, mode = 1;
    double v = 0.0, p_calc = host.missing(), dpdv = host.missing();
    const bool liquid = rq.kvl == 2;
    const keld_root_fn routine = liquid ? table.liquid_root : table.vapor_root;
    CubicRoot result;
    if (!routine) return result;
    for (int step = 0; step < kMaxRootSteps; ++step) {
        routine(&state, &mode, &v_close_packed, &v_critical, &v_dividing, &rq.t, &rq.p, &v, &p_calc, &dpdv,
                rq.name.chars.data(), &rq.kdiag);
        if (state == 4) {
            result.converged = true;
            break;
        }
        if (state != 1 && state != 2 && state != 3) break;  // 5: the host failed
        const double q = (v + kU * b) * (v + kW * b);
        p_calc = rt / (v - b) - d / q;
        if (mode != 2)
            dpdv = -rt * (b * (2.0 * v - b) / (((v - b) * v) * ((v - b) * v)) -
                          (d / rt) * (2.0 * v + (kU + kW) * b) / (q * q)) -
                   rt / (v * v);
        if (rq.kvl != 1 && rq.kvl != 2) break;
    }
    result.v = v;
    return result;
}

}  // namespace keld::cubic
