// Constants of the SAFT equation of state of Huang and Radosz (Ind. Eng. Chem.
// Res. 29 (1990) 2284): the Chen-Kreglewski dispersion table and the fixed
// literals of the segment size.
#pragma once

namespace keld::saft::constants {

// π is the ten-decimal value throughout the SAFT family; the derived literals follow from it.
inline constexpr double kPi = 3.141592654;
inline constexpr double kPiOver6 = 0.5235987756666667;

// Close-packing fraction of spheres, the scale of η in the dispersion term.
inline constexpr double kTau = 0.74048;

// Segment volume at T: v0 = v00 (1 - 0.12 exp(-3 u0/T))^3.
inline constexpr double kSizeReduction = 0.12;
inline constexpr double kSizeExponent = 3.0;
inline constexpr double kSizeSlope = 0.36;  // 0.12 * 3

// Segment diameter d = (c v0)^(1/3) with c = 6 τ/π = 4.442880000000001/3.141592654, carried so that
// d³ times a molar density in kmol/m³ is dimensionless.
inline constexpr double kDiameterCube = 4.442880000000001 / 3.141592654;
static_assert(kDiameterCube == 1.4142126269435822);

// D(n, k), n = 1..4 (power of u/kT), k = 1..9 (power of η/τ): the Chen-Kreglewski universal constants
// as used by Huang and Radosz. Every entry, zeros included, enters the double sum.
inline constexpr int kPowersOfEnergy = 4;
inline constexpr int kPowersOfPacking = 9;
inline constexpr double kDispersion[kPowersOfEnergy][kPowersOfPacking] = {
    {-8.8043, 4.164627, -48.203555, 140.4362, -195.23339, 113.515, 0, 0, 0},
    {2.9396, -6.0865383, 40.137956, -76.230797, -133.70055, 860.25349, -1535.3224, 1221.4261, -409.10539},
    {-2.8225, 4.7600148, 11.257177, -66.382743, 69.248785, 0, 0, 0, 0},
    {0.34, -3.1875014, 12.231796, -12.110681, 0, 0, 0, 0, 0},
};

}  // namespace keld::saft::constants
