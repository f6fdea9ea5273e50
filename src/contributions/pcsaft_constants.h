// Universal constants of the PC-SAFT equation of state (Gross and Sadowski, Ind. Eng. Chem. Res. 40
// (2001) 1244, Table 1) and the fixed literals the model's formulas are written with.
#pragma once

namespace keld::pcsaft::constants {

// pi is the ten-decimal value throughout the SAFT family; the derived literals follow from it, so
// results are reproducible to the last bit across the family's routines.
inline constexpr double kPi = 3.141592654;
inline constexpr double kPiOver6 = 0.5235987756666667;
inline constexpr double kPiOver6Squared = 0.27415567787963235;
inline constexpr double kTwoPi = 6.283185308;
inline constexpr double kSixPi = 18.849555924;
inline constexpr double kTwelvePi = 37.699111848;
inline constexpr double kSixOverPi = 1.9098593168533682;

// Segment diameters are carried in a scaled length so that d^3 times a molar density in kmol/m^3 is
// dimensionless: Angstrom to metre, times the cube root of Avogadro's number per kmol (6.022045e26).
inline constexpr double kAngstromToMetre = 1e-10;
inline constexpr double kAvogadroPerKmolCubeRoot = 844464373.5037098;
// Half of the scaled Angstrom, for the cross diameter (sigma_i + sigma_j)/2.
inline constexpr double kHalfScaledAngstrom = 0.04222321867518549;
// One scaled Angstrom, for the temperature derivative of a diameter.
inline constexpr double kScaledAngstrom = 0.08444643735037098;

// Temperature dependence of the segment diameter: d = sigma (1 - 0.12 exp(-3 eps/T)).
inline constexpr double kDiameterReduction = 0.12;
inline constexpr double kDiameterExponent = 3.0;
inline constexpr double kDiameterSlope = 0.36;  // 0.12 * 3

inline constexpr int kPerturbationTerms = 7;

// a_i = a0_i + (1 - 1/m) a1_i + (1 - 1/m)(1 - 2/m) a2_i, likewise b_i.
inline constexpr double kA0[kPerturbationTerms] = {0.9105631445154,   0.6361281449499,  2.68613478913903,
                                                   -26.5473624914884, 97.7592087835073, -159.5915408656,
                                                   91.2977740839123};
inline constexpr double kA1[kPerturbationTerms] = {-0.3084016918272, 0.18605311591713,  -2.50300472586548,
                                                   21.4197936296668, -65.2558853303492, 83.3186804808856,
                                                   -33.7469229297323};
inline constexpr double kA2[kPerturbationTerms] = {-0.09061483509767, 0.4527842806392,   0.59627007280101,
                                                   -1.72418291311787, -4.13021125311661, 13.7766318697211,
                                                   -8.67284703679646};
inline constexpr double kB0[kPerturbationTerms] = {0.7240946941316,    2.2382791860938,  -4.00258494846342,
                                                   -21.00357681484648, 26.8556413626615, 206.551338406619,
                                                   -355.602356122079};
inline constexpr double kB1[kPerturbationTerms] = {-0.5755498075345,  0.69950955214436, 3.89256733895307,
                                                   -17.2154716477721, 192.672264465249, -161.826461648765,
                                                   -165.20769345556};
inline constexpr double kB2[kPerturbationTerms] = {0.09768831158356, -0.255757498161,   -9.15585615297321,
                                                   20.6420759743972, -38.8044300520628, 93.6267740770146,
                                                   -29.6669055851472};

}  // namespace keld::pcsaft::constants
