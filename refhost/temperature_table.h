// Six-coefficient temperature tables of binary parameters.
//
// A pair's coefficients (a, b, c, d, e, Tref) give
//   k(T) = a + b/Tr + c ln Tr + d Tr + e Tr^2,   Tr = T/Tref,
// with Tref = 298.15 K when the sixth coefficient is not a positive number or
// is missing. A missing coefficient (the marker) counts as 0 and a zero
// coefficient never contributes, so a constant k needs no valid temperature.
#pragma once

#include <cmath>
#include <cstdint>

namespace keld::refhost {

inline constexpr double default_table_reference_temperature = 298.15;  // K

// Value of one pair's table. `coefficients` holds `n_used` values (at most 6
// are read); coefficients past n_used count as 0. A table with a non-zero
// temperature term at T <= 0 (or T not finite) has no value: quiet NaN.
double binary_table_value(const double *coefficients, std::int64_t n_used, double t, double missing_marker);

// Temperature derivative dk/dT of one pair's table (1/K), under the same rules
// (0 for a constant table; quiet NaN where the value has none).
double binary_table_slope(const double *coefficients, std::int64_t n_used, double t, double missing_marker);

// True when one of b..e (those within n_used) is non-zero and not missing.
bool binary_table_depends_on_temperature(const double *coefficients, std::int64_t n_used,
                                         double missing_marker);

// The same test as binary_table_depends_on_temperature, negated, inline for the evaluation of whole
// tables: no temperature term among b..e (a coefficient counts when non-zero and not missing).
inline bool binary_table_is_constant(const double *c, std::int64_t n_used, double missing_marker) {
    if (c == nullptr || n_used <= 1) return true;
    // The usual case first: b..e all zero (a sum of magnitudes is 0 only then; a NaN or an overflow
    // leaves it non-zero and goes the long way).
    if (n_used >= 5 && (std::fabs(c[1]) + std::fabs(c[2])) + (std::fabs(c[3]) + std::fabs(c[4])) == 0.0) return true;
    if (n_used > 5) n_used = 5;
    bool constant = true;
    for (std::int64_t k = 1; k < n_used; ++k) constant = constant && (c[k] == 0.0 || c[k] == missing_marker);
    return constant;
}

// Value of a constant table: its first coefficient (0 when missing or not used).
inline double binary_table_constant(const double *c, std::int64_t n_used, double missing_marker) {
    if (c == nullptr || n_used < 1 || c[0] == missing_marker) return 0.0;
    return c[0];
}

}  // namespace keld::refhost
