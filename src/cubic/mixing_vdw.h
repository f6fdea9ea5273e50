// Classical van der Waals one-fluid rule: D = sum x_i x_j sqrt(a_i a_j)(1 - k_ij),
// b = sum x_i b_i; kij n-by-n by position (i + n j).
#pragma once

#include <cmath>

#include "cubic/mixing_rule_inputs.h"

namespace keld::cubic {

template <class J, class X>
void van_der_waals_rule(const RuleInputsOf<J, X> &in, const double *kij, MixtureConstantsOf<J> &out) {
    using std::sqrt;
    const std::int64_t n = in.n;
    const X *x = in.x;
    J *root = out.d_i;  // sqrt(a_i), overwritten below
    for (std::int64_t i = 0; i < n; ++i) root[i] = sqrt(in.a[i]);
    out.b = J{};
    for (std::int64_t i = 0; i < n; ++i) {
        out.b += x[i] * in.b[i];
        out.b_i[i] = J(in.b[i]);
    }
    // First sum_j x_j a_ij into b_i's slots, then D and D_i from them.
    out.d = J{};
    for (std::int64_t i = 0; i < n; ++i) {
        J sum{};
        for (std::int64_t j = 0; j < n; ++j) {
            if (vanishes(x[j])) continue;
            sum += (x[j] * (1.0 - kij[i + n * j])) * root[j];
        }
        out.b_i[i] = sum * root[i];  // temporarily sum_j x_j a_ij
    }
    for (std::int64_t i = 0; i < n; ++i) {
        out.d += x[i] * out.b_i[i];
        out.d_i[i] = 2.0 * out.b_i[i];
        out.b_i[i] = J(in.b[i]);
    }
}

}  // namespace keld::cubic
