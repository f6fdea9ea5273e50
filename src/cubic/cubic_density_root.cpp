#include "cubic/cubic_density_root.h"

#include <algorithm>
#include <cmath>

#include "common/density_root.h"
#include "cubic/cubic_model.h"

namespace keld::cubic {
namespace {

// A start volume for the host's search: the root of the SRK cubic in Z,
// Z^3 - Z^2 + (A - B - B^2) Z - A B = 0, on the requested side (smallest root
// above B for a liquid, largest for a vapour). The host takes it as a warm
// start only when it lies on the requested side of its dividing volume.
double start_volume(double rt, double p, double b, double d, bool liquid) {
    const double big_a = d * p / (rt * rt), big_b = b * p / rt;
    const double c1 = big_a - big_b - big_b * big_b, c0 = -big_a * big_b;
    const double p3 = c1 - 1.0 / 3.0, q3 = -2.0 / 27.0 + c1 / 3.0 + c0;
    const double disc = 0.25 * q3 * q3 + p3 * p3 * p3 / 27.0;
    double z;
    if (disc > 0.0) {
        const double s = std::sqrt(disc);
        z = std::cbrt(-0.5 * q3 + s) + std::cbrt(-0.5 * q3 - s) + 1.0 / 3.0;
    } else {
        const double r = 2.0 * std::sqrt(-p3 / 3.0);
        const double phi = std::acos(std::clamp(3.0 * q3 / (p3 * r), -1.0, 1.0));
        double roots[3];
        for (int k = 0; k < 3; ++k) roots[k] = r * std::cos((phi - 2.0 * 3.141592653589793 * k) / 3.0) + 1.0 / 3.0;
        std::sort(roots, roots + 3);
        z = liquid ? (roots[0] > big_b ? roots[0] : roots[1]) : roots[2];
    }
    const double v = z * rt / p;
    return std::isfinite(v) && v > b ? v : 0.0;
}

}  // namespace

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
    const bool liquid = rq.kvl == 2;
    double v = start_volume(rt, rq.p, b, d, liquid), p_calc = host.missing(), dpdv = host.missing();
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
    // The host stops within its pressure tolerance; two Newton steps on the
    // cubic bring the volume to the root itself (a step is taken only while it
    // stays tiny, so the phase cannot change), so that properties at nearby
    // states differ only by the states.
    for (int polish = 0; result.converged && polish < 2; ++polish) {
        const double q = (v + kU * b) * (v + kW * b);
        const double pressure = rt / (v - b) - d / q;
        const double slope = -rt / ((v - b) * (v - b)) + d * (2.0 * v + (kU + kW) * b) / (q * q);
        const double step = (rq.p - pressure) / slope;
        if (!(slope < 0.0) || !(std::fabs(step) < 1e-6 * v)) break;
        v += step;
    }
    result.v = v;
    return result;
}

}  // namespace keld::cubic
