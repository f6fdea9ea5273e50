#include "pcsaft_assoc/pure_correlations.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace keld::pcsaf {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kWaterAt60F = 997.94803;  // kg/m3
constexpr double kDipprCriticalFraction = 0.995;

bool positive(double v) { return std::isfinite(v) && v > 0.0; }

}  // namespace

double extended_log_vapour_pressure(const std::array<double, 7> &c, double t) {
    if (!positive(t) || t + c[2] == 0.0) return kNaN;
    double ln_p = c[0] + c[1] / (t + c[2]) + c[3] * t + c[4] * std::log(t);
    if (c[5] != 0.0) ln_p += c[5] * std::pow(t, c[6]);
    return std::isfinite(ln_p) ? ln_p : kNaN;
}

double dippr105_density(double a, double b, double c, double d, double t_max, double t) {
    if (!positive(a) || !positive(b) || !positive(c) || !positive(d) || !positive(t)) return kNaN;
    double t_end = kDipprCriticalFraction * c;
    if (positive(t_max)) t_end = std::min(t_end, t_max);
    const auto density = [&](double tt) { return a / std::pow(b, 1.0 + std::pow(1.0 - tt / c, d)); };
    if (t <= t_end) return density(t);
    // d ln rho/dT = ln b * d (1 - T/c)^(d - 1) / c at the end of the range.
    const double tau = 1.0 - t_end / c;
    const double slope = std::log(b) * d * std::pow(tau, d - 1.0) / c;
    return density(t_end) * std::exp(slope * (t - t_end));
}

double rackett_volume(double factor, double z_ra, double tc, double exponent, double t) {
    if (!positive(factor) || !positive(z_ra) || !positive(tc) || !positive(t) || t > tc) return kNaN;
    return factor * std::pow(z_ra, 1.0 + std::pow(1.0 - t / tc, exponent));
}

double standard_liquid_volume(double mw, double specific_gravity) {
    if (!positive(mw) || !positive(specific_gravity)) return kNaN;
    return mw / (specific_gravity * kWaterAt60F);
}

double liquid_volume(const LiquidVolumeSource &s, double t) {
    using Kind = LiquidVolumeSource::Kind;
    const auto &c = s.c;
    switch (s.kind) {
        case Kind::dippr105: {
            const double rho = dippr105_density(c[0], c[1], c[2], c[3], c[4], t);
            return positive(rho) ? 1.0 / rho : kNaN;
        }
        case Kind::rackett_own_factor:
            return rackett_volume(c[0], c[1], c[2], std::min(c[3], kOwnFactorExponentCap), t);
        case Kind::rackett_own_critical:
        case Kind::rackett:
            if (!positive(c[1])) return kNaN;
            return rackett_volume(s.gas_constant * c[0] / c[1], c[2], c[0], kRackettExponent, t);
        case Kind::none: break;
    }
    return kNaN;
}

}  // namespace keld::pcsaf
