// Two-term Redlich-Kister expansion, written through its infinite-dilution
// limits A_ij (the two-suffix Margules form) and summed over pairs:
//   n g^E/RT = sum_{i != j} A_ij n_i n_j^2 / n^2.
#pragma once

#include "cubic/excess_gibbs_inputs.h"

namespace keld::cubic {

template <class J, class X>
void redlich_kister_ln_gamma(const GibbsInputsOf<J, X> &in, J *ln_gamma) {
    const std::int64_t n = in.n;
    const X *x = in.x;
    auto a = [&](std::int64_t i, std::int64_t j) -> const J & { return in.energy[i + n * j]; };
    J total{};  // sum_{i != j} A_ij x_i x_j^2
    for (std::int64_t j = 0; j < n; ++j)
        for (std::int64_t i = 0; i < n; ++i)
            if (i != j) total += (x[i] * x[j] * x[j]) * a(i, j);
    for (std::int64_t k = 0; k < n; ++k) {
        J value = -2.0 * total;
        for (std::int64_t j = 0; j < n; ++j) {
            if (j == k) continue;
            value += (x[j] * x[j]) * a(k, j) + (2.0 * x[k] * x[j]) * a(j, k);
        }
        ln_gamma[k] = value;
    }
}

}  // namespace keld::cubic
