// Where the cubic monitor finds its parameters in the host store.
#pragma once

#include <cstdint>

namespace keld::cubic::elements {

// HostOffsets1 elements.
inline constexpr std::int64_t kMolecularWeight = 306;       // MW, by component
inline constexpr std::int64_t kAcentricFactor = 322;        // OMGRKS
inline constexpr std::int64_t kCriticalPressure = 332;      // PCRKS, Pa
inline constexpr std::int64_t kCriticalTemperature = 424;   // TCRKS, K
inline constexpr std::int64_t kComponentConstant = 144;     // reserved per-component word
inline constexpr std::int64_t kPairConstant = 146;          // reserved pair word
inline constexpr std::int64_t kAlphaRecord = 516;           // three words: Mathias-Copeman c1, c2, c3
inline constexpr std::int64_t kCheckMarker = 627;           // 1.0 once the defaults were checked

}  // namespace keld::cubic::elements

namespace keld::cubic::names {

// Parameters located by name (HostParamOffset).
inline constexpr const char *kVdwKij = "RKSKIJ";     // van der Waals k_ij (binary, 0 when not given)
inline constexpr const char *kWongSandlerKij = "RKSWSK";  // Wong-Sandler k_ij (binary, 0 when not given)
inline constexpr const char *kEnergyA = "GEAIJ";     // excess-Gibbs pair term a_ij (binary, directional)
inline constexpr const char *kEnergyB = "GEBIJ";     // excess-Gibbs pair term b_ij, K (binary, directional)
inline constexpr const char *kNonRandomness = "GEALF";  // NRTL alpha_ij (binary, symmetric)
inline constexpr const char *kUniquacR = "UNIQR";    // UNIQUAC volume r (unary)
inline constexpr const char *kUniquacQ = "UNIQQ";    // UNIQUAC area q (unary)

}  // namespace keld::cubic::names
