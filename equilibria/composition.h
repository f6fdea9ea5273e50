// Checks of compositions handed to the solvers (internal).
#pragma once

#include <cmath>
#include <string>
#include <vector>

namespace keld::equilibria::detail {

inline constexpr double kCompositionSumTolerance = 1e-9;

// Checks that the fractions are finite, not negative and add up to 1 within
// 1e-9, and rescales them to add up to 1 exactly; returns the fault, if any.
inline std::string normalise(std::vector<double> &fractions) {
    double sum = 0.0;
    for (double f : fractions) {
        if (!std::isfinite(f) || f < 0.0) return "fractions must be finite and not negative";
        sum += f;
    }
    if (std::fabs(sum - 1.0) > kCompositionSumTolerance) return "fractions must add up to 1";
    for (double &f : fractions) f /= sum;
    return {};
}

}  // namespace keld::equilibria::detail
