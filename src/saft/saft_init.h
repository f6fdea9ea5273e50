// SAFT parameter completion, run once before property calls, and the service
// that tells a host where the SAFT vectors and the argument-driven monitor's
// work vectors lie in its store.
#pragma once

#include <cstdint>

namespace keld::saft {

// HostOffsets1 elements of the SAFT arrays.
namespace elements {
inline constexpr std::int64_t kMolecularWeight = 306;
inline constexpr std::int64_t kCriticalPressure = 326;
inline constexpr std::int64_t kCriticalTemperature = 416;
inline constexpr std::int64_t kSegmentNumber = 876;      // SAFTM
inline constexpr std::int64_t kSegmentVolume = 877;      // SAFTV
inline constexpr std::int64_t kSegmentEnergy = 878;      // SAFTU
inline constexpr std::int64_t kEnergyCorrection = 879;   // e/k
inline constexpr std::int64_t kCrossEnergies = 880;      // u0_ij/k written by the stored-parameter monitor
inline constexpr std::int64_t kCrossSegmentNumbers = 881;
inline constexpr std::int64_t kBinaryTable = 882;        // k_ij, six coefficients per pair
inline constexpr std::int64_t kUnused883 = 883;
inline constexpr std::int64_t kSegmentRatio = 895;       // SAFTR
inline constexpr std::int64_t kSourceFlags = 1358;       // PolymerParamSource of the family
inline constexpr std::int64_t kTableResult = 1381;
}  // namespace elements

void initialise(std::int64_t data_sets);

// The 30 positions of KELD_SFTHLP, in argument order (positions 26 and 27, KWORK and the spare, are 0).
struct Positions {
    std::int64_t value[30];
};
// False when no host is installed.
bool positions(std::int64_t kwork, Positions &out);

}  // namespace keld::saft
