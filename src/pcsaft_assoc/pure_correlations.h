// Pure-component correlations that supply pseudo-data for parameter fitting: the extended
// vapour-pressure equation and the saturated-liquid volume forms (DIPPR-105 density, Rackett).
// Temperatures in K, pressures in Pa, molar volumes in m3/kmol, molar densities in kmol/m3. A
// value that a correlation cannot give (outside its domain) is NaN.
#pragma once

#include <array>

namespace keld::pcsaf {

// ln P = c1 + c2/(T + c3) + c4 T + c5 ln T + c6 T^c7.
double extended_log_vapour_pressure(const std::array<double, 7> &c, double t);

// DIPPR-105 molar density rho = a / b^(1 + (1 - T/c)^d). Above t_max (when it is positive) or above
// 0.995 c the density at the lower of the two is extrapolated exponentially with the slope of
// ln rho there, so that the form stays finite, positive and smooth up to and beyond c.
double dippr105_density(double a, double b, double c, double d, double t_max, double t);

// Rackett saturated-liquid volume V = factor * z_ra^(1 + (1 - T/tc)^exponent), factor = R Tc/Pc.
double rackett_volume(double factor, double z_ra, double tc, double exponent, double t);

// Standard liquid volume at 60 F from the specific gravity (60 F / 60 F, water 997.94803 kg/m3).
double standard_liquid_volume(double mw, double specific_gravity);

// How a component's saturated-liquid volume is computed, chosen by its liquid-density selector.
struct LiquidVolumeSource {
    enum class Kind { none, dippr105, rackett_own_factor, rackett_own_critical, rackett };
    Kind kind = Kind::none;
    // dippr105: A, B, C, D, T_max. rackett_own_factor (302): R Tc/Pc factor, Z_RA, Tc, exponent.
    // rackett_own_critical (514): Tc, Pc, Z_RA. rackett: Tc, Pc, Z_RA of the component.
    std::array<double, 5> c{};
    double gas_constant = 0.0;  // J/(kmol K)
};

// The volume at T (NaN when the source has none there).
double liquid_volume(const LiquidVolumeSource &source, double t);

// The exponent of the Rackett equation (2/7 as the equation is written).
inline constexpr double kRackettExponent = 0.285714286;
// Cap on the exponent of the selector-302 form.
inline constexpr double kOwnFactorExponentCap = 0.11;

}  // namespace keld::pcsaf
