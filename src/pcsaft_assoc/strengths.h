// Association strengths Delta_ij over the association list and their density, temperature and
// composition derivatives, for the PC-SAFT and the CPA radial distribution functions.
#pragma once

#include "pcsaft_assoc/context.h"

namespace keld::assoc::detail {

inline constexpr double kPiSixth = 0.5235987756666667;               // pi/6 with pi = 3.141592654
inline constexpr double kHalfDiameterToVolume = 0.04222321867518549;  // Angstrom -> (m3/kmol)^(1/3), halved
inline constexpr double kExponentCap = 150.0;                         // eps/T cap of the composition terms
inline constexpr double kCpaPacking = 0.475;

// Carves and fills the strength matrices (the composition ones only when `composition`).
// Returns false when the arena is short.
bool compute_strengths(const Mixture &mix, const Options &options, bool composition, Arena &arena,
                       Strengths &str);

// dz2/dx_k and dz3/dx_k of listed position k (packing coefficients; for CPA c2 = 0, c3 = b of k,
// the derivative of the linear co-volume mixing rule).
void packing_slopes(const Mixture &mix, const Options &options, std::int64_t k, double &c2, double &c3);

}  // namespace keld::assoc::detail
