#include "temperature_table.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace keld::refhost {

namespace {

constexpr std::int64_t max_coefficients = 6;

double coefficient(const double *coefficients, std::int64_t n_used, std::int64_t c, double missing_marker) {
    if (c > n_used) return 0.0;
    const double value = coefficients[c - 1];
    return value == missing_marker ? 0.0 : value;
}

}  // namespace

double binary_table_value(const double *coefficients, std::int64_t n_used, double t, double missing_marker) {
    n_used = std::clamp<std::int64_t>(n_used, 0, max_coefficients);
    if (n_used == 0 || coefficients == nullptr) return 0.0;
    const double a = coefficient(coefficients, n_used, 1, missing_marker);
    const double b = coefficient(coefficients, n_used, 2, missing_marker);
    const double c = coefficient(coefficients, n_used, 3, missing_marker);
    const double d = coefficient(coefficients, n_used, 4, missing_marker);
    const double e = coefficient(coefficients, n_used, 5, missing_marker);
    if (b == 0.0 && c == 0.0 && d == 0.0 && e == 0.0) return a;

    double t_ref = coefficient(coefficients, n_used, 6, missing_marker);
    if (!(t_ref > 0.0) || !std::isfinite(t_ref)) t_ref = default_table_reference_temperature;
    if (!(t > 0.0) || !std::isfinite(t)) return std::numeric_limits<double>::quiet_NaN();

    const double tr = t / t_ref;
    double k = a;
    if (b != 0.0) k += b / tr;
    if (c != 0.0) k += c * std::log(tr);
    if (d != 0.0) k += d * tr;
    if (e != 0.0) k += e * tr * tr;
    return k;
}

double binary_table_slope(const double *coefficients, std::int64_t n_used, double t, double missing_marker) {
    n_used = std::clamp<std::int64_t>(n_used, 0, max_coefficients);
    if (n_used == 0 || coefficients == nullptr) return 0.0;
    const double b = coefficient(coefficients, n_used, 2, missing_marker);
    const double c = coefficient(coefficients, n_used, 3, missing_marker);
    const double d = coefficient(coefficients, n_used, 4, missing_marker);
    const double e = coefficient(coefficients, n_used, 5, missing_marker);
    if (b == 0.0 && c == 0.0 && d == 0.0 && e == 0.0) return 0.0;

    double t_ref = coefficient(coefficients, n_used, 6, missing_marker);
    if (!(t_ref > 0.0) || !std::isfinite(t_ref)) t_ref = default_table_reference_temperature;
    if (!(t > 0.0) || !std::isfinite(t)) return std::numeric_limits<double>::quiet_NaN();

    // k = a + b/Tr + c ln Tr + d Tr + e Tr^2, Tr = T/Tref.
    const double tr = t / t_ref;
    double slope = 0.0;
    if (b != 0.0) slope -= b / (tr * tr);
    if (c != 0.0) slope += c / tr;
    if (d != 0.0) slope += d;
    if (e != 0.0) slope += 2.0 * e * tr;
    return slope / t_ref;
}

bool binary_table_depends_on_temperature(const double *coefficients, std::int64_t n_used,
                                         double missing_marker) {
    n_used = std::clamp<std::int64_t>(n_used, 0, max_coefficients);
    if (coefficients == nullptr) return false;
    for (std::int64_t c = 2; c <= std::min<std::int64_t>(n_used, 5); ++c) {
        if (coefficient(coefficients, n_used, c, missing_marker) != 0.0) return true;
    }
    return false;
}

}  // namespace keld::refhost
