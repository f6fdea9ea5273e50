// Why a cubic monitor call could not be computed: a two-line message through
// the host's check (routine "ES40", class 2) before the outputs are set to NaN.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "common/fortran_format.h"
#include "cubic/cubic_model.h"
#include "host/host.h"

namespace keld::cubic {

// Check numbers of the failure messages.
namespace failure {
inline constexpr std::int64_t kModelIndex = 10;
inline constexpr std::int64_t kBinaryMissing = 11;
inline constexpr std::int64_t kSizeMissing = 12;
inline constexpr std::int64_t kGroupsMissing = 13;
inline constexpr std::int64_t kNoVanLaarForm = 14;
inline constexpr std::int64_t kAlpha = 15;
inline constexpr std::int64_t kMixture = 16;
}  // namespace failure

// Writes "EQUATION OF STATE MODEL <name> CANNOT BE EVALUATED:" and the line
// `body` (a FORMAT list without parentheses) with `items`, when the check allows.
void report_failure(const host::Host &host, const CubicCall &call, const host::RoutineId &name,
                    std::int64_t number, std::string_view body, std::initializer_list<fortran::Item> items);

}  // namespace keld::cubic
