// Van Laar's model summed over pairs: each pair of listed components adds its
// binary term A_ij A_ji n_i n_j / (A_ij n_i + A_ji n_j), so a binary mixture
// is exactly Van Laar's and an absent component adds nothing. A pair whose
// two limits A_ij, A_ji have opposite signs has no Van Laar form
// (van_laar_limits_agree) and is refused before this is reached.
#pragma once

#include "cubic/excess_gibbs_inputs.h"

namespace keld::cubic {

template <class J, class X>
void van_laar_ln_gamma(const GibbsInputsOf<J, X> &in, J *ln_gamma) {
    const std::int64_t n = in.n;
    const X *x = in.x;
    for (std::int64_t k = 0; k < n; ++k) {
        J value{};
        for (std::int64_t j = 0; j < n; ++j) {
            if (j == k || vanishes(x[j])) continue;
            const J &akj = in.energy[k + n * j];
            const J &ajk = in.energy[j + n * k];
            if (vanishes(akj) || vanishes(ajk)) continue;
            const J ratio = (x[j] * ajk) / (x[k] * akj + x[j] * ajk);
            value += akj * ratio * ratio;
        }
        ln_gamma[k] = value;
    }
}

}  // namespace keld::cubic
