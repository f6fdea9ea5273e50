// Sanchez-Lacombe parameter initialisation, run once before property calls:
// clears the polymer-source flags, stores nominal T*, P*, rho* for ordinary
// components and segments that have none (with a warning each), and hands the
// two temperature tables of every data set to the host.
#pragma once

#include <cstdint>

namespace keld::sanchez_lacombe {

// Nominal values stored for a missing characteristic parameter.
inline constexpr double kNominalPStar = 3.0e8;    // Pa (printed as 3000 bar)
inline constexpr double kNominalTStar = 415.0;    // K
inline constexpr double kNominalRhoStar = 736.0;  // kg/m3

void initialise(std::int64_t data_sets);

}  // namespace keld::sanchez_lacombe
