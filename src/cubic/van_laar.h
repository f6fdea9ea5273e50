// Van Laar's model summed over pairs: each pair of listed components adds its
// binary term A_ij A_ji n_i n_j / (A_ij n_i + A_ji n_j), so a binary mixture
// is exactly Van Laar's and an absent component adds nothing. A pair whose
// two limits A_ij, A_ji have opposite signs has no Van Laar form and is
// refused before this is reached.
#include "cubic/excess_gibbs.h"

namespace keld::cubic {

void van_laar_ln_gamma(const GibbsInputs &in, Jet *ln_gamma) {
    const std::int64_t n = in.n;
    const double *x = in.x;
    for (std::int64_t k = 0; k < n; ++k) {
        Jet value;
        for (std::int64_t j = 0; j < n; ++j) {
            if (j == k || x[j] == 0.0) continue;
            const Jet &akj = in.energy[k + n * j];
            const Jet &ajk = in.energy[j + n * k];
            if (akj.v == 0.0 && akj.d == 0.0 && akj.dd == 0.0) continue;
            if (ajk.v == 0.0 && ajk.d == 0.0 && ajk.dd == 0.0) continue;
            const Jet ratio = (x[j] * ajk) / (x[k] * akj + x[j] * ajk);
            value += akj * ratio * ratio;
        }
        ln_gamma[k] = value;
    }
}

}  // namespace keld::cubic
