// Wilson's local-volume-fraction model with the covolumes as molar volumes,
// so that a polymer's size enters Lambda_ij = (v_j/v_i) exp(E_ij).
#include "cubic/excess_gibbs.h"

namespace keld::cubic {

void wilson_ln_gamma(const GibbsInputs &in, Jet *ln_gamma) {
    const std::int64_t n = in.n;
    const double *x = in.x;
    Jet *lambda = in.scratch;   // n^2
    Jet *sum = in.scratch + n * n;  // S_i = sum_j x_j Lambda_ij
    for (std::int64_t j = 0; j < n; ++j)
        for (std::int64_t i = 0; i < n; ++i)
            lambda[i + n * j] = i == j ? Jet(1.0) : (in.volume[j] / in.volume[i]) * exp(in.energy[i + n * j]);
    for (std::int64_t i = 0; i < n; ++i) {
        Jet s;
        for (std::int64_t j = 0; j < n; ++j) s += x[j] * lambda[i + n * j];
        sum[i] = s;
    }
    for (std::int64_t k = 0; k < n; ++k) {
        Jet value = 1.0 - log(sum[k]);
        for (std::int64_t i = 0; i < n; ++i)
            if (x[i] != 0.0) value -= x[i] * lambda[i + n * k] / sum[i];
        ln_gamma[k] = value;
    }
}

}  // namespace keld::cubic
