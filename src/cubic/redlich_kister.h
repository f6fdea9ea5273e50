// Two-term Redlich-Kister expansion, written through its infinite-dilution
// limits A_ij (the two-suffix Margules form) and summed over pairs:
//   n g^E/RT = sum_{i != j} A_ij n_i n_j^2 / n^2.
#include "cubic/excess_gibbs.h"

namespace keld::cubic {

void redlich_kister_ln_gamma(const GibbsInputs &in, Jet *ln_gamma) {
    const std::int64_t n = in.n;
    const double *x = in.x;
    auto a = [&](std::int64_t i, std::int64_t j) -> const Jet & { return in.energy[i + n * j]; };
    Jet total;  // sum_{i != j} A_ij x_i x_j^2
    for (std::int64_t j = 0; j < n; ++j)
        for (std::int64_t i = 0; i < n; ++i)
            if (i != j) total += (x[i] * x[j] * x[j]) * a(i, j);
    for (std::int64_t k = 0; k < n; ++k) {
        Jet value = -2.0 * total;
        for (std::int64_t j = 0; j < n; ++j) {
            if (j == k) continue;
            value += (x[j] * x[j]) * a(k, j) + (2.0 * x[k] * x[j]) * a(j, k);
        }
        ln_gamma[k] = value;
    }
}

}  // namespace keld::cubic
