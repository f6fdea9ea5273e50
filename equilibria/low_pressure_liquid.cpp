// A liquid carried to low pressure (see low_pressure_liquid.h).
#include "low_pressure_liquid.h"

#include <cmath>

namespace keld::equilibria::detail {
namespace {

// Quadratic through (a, f0), (2a, f1), (3a, f2), at p.
double extrapolate(const double f[3], double a, double p) {
    const double s = p / a;  // nodes at s = 1, 2, 3
    return f[0] * (s - 2.0) * (s - 3.0) / 2.0 - f[1] * (s - 1.0) * (s - 3.0) +
           f[2] * (s - 1.0) * (s - 2.0) / 2.0;
}

// Compressibility on the apparent basis (a polymer counted in repeat units),
// the scale on which a liquid is told from a gas at any polymer content.
double apparent_z(const PhasePoint &point) { return point.z * point.v_apparent / point.v; }

}  // namespace

bool LowPressureLiquid::reference() {
    if (state_ != 0) return state_ == 1;
    state_ = -1;
    const std::size_t n = e_.size();
    std::vector<double> ln_phi(n);
    for (double a : {kLowPressure, 10.0 * kLowPressure}) {
        bool ok = true;
        for (int k = 0; k < 3 && ok; ++k) {
            const double p = a * (k + 1);
            point_[k] = e_.evaluate(t_, p, x_, PhaseKind::liquid, ln_phi.data(), wanted_);
            ok = point_[k].root_found && apparent_z(point_[k]) < kLiquidLikeZ;
            ln_f_[k].resize(n);
            for (std::size_t i = 0; i < n; ++i)
                ln_f_[k][i] = x_[i] > 0.0 ? std::log(x_[i] * p) + ln_phi[i] : ln_phi[i] + std::log(p);
        }
        if (ok) {
            a_ = a;
            state_ = 1;
            break;
        }
    }
    return state_ == 1;
}

PhasePoint LowPressureLiquid::at(double p, double *ln_phi) {
    PhasePoint r = e_.evaluate(t_, p, x_, PhaseKind::liquid, ln_phi, wanted_);
    // Below 1e4 Pa a liquid has Z far below kLiquidLikeZ; a gas-like answer
    // (a pure component's monitor takes its ideal-gas exit below 5.5e-5 Pa)
    // is no liquid.
    const bool liquid = r.root_found && apparent_z(r) < kLiquidLikeZ;
    if (liquid || !(p < kLowPressure) || !reference()) return r;
    const std::size_t n = e_.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double f[3] = {ln_f_[0][i], ln_f_[1][i], ln_f_[2][i]};
        ln_phi[i] = extrapolate(f, a_, p) - std::log(p) - (x_[i] > 0.0 ? std::log(x_[i]) : 0.0);
    }
    const double v[3] = {point_[0].v, point_[1].v, point_[2].v};
    const double va[3] = {point_[0].v_apparent, point_[1].v_apparent, point_[2].v_apparent};
    r.v = extrapolate(v, a_, p);
    r.v_apparent = extrapolate(va, a_, p);
    r.z = point_[0].z * (p / a_) * (r.v / point_[0].v);
    if (wanted_.enthalpy) {
        const double h[3] = {point_[0].h, point_[1].h, point_[2].h};
        r.h = extrapolate(h, a_, p);
    }
    if (wanted_.gibbs) {
        // G departure = sum x_i ln(phi_i) R T at the carried state is not
        // needed by the solvers; leave it unset rather than guess.
        r.g = not_a_number;
    }
    r.root_found = std::isfinite(r.v) && r.v > 0.0;
    r.carried = r.root_found;
    carried_ = carried_ || r.root_found;
    return r;
}

}  // namespace keld::equilibria::detail
