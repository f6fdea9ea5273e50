// Wilson's local-volume-fraction model with the covolumes as molar volumes,
// so that a polymer's size enters Lambda_ij = (v_j/v_i) exp(E_ij).
#pragma once

#include <cmath>

#include "cubic/excess_gibbs_inputs.h"

namespace keld::cubic {

template <class J, class X>
void wilson_ln_gamma(const GibbsInputsOf<J, X> &in, J *ln_gamma) {
    using std::exp;
    using std::log;
    const std::int64_t n = in.n;
    const X *x = in.x;
    J *lambda = in.scratch;      // n^2
    J *sum = in.scratch + n * n;  // S_i = sum_j x_j Lambda_ij
    for (std::int64_t j = 0; j < n; ++j)
        for (std::int64_t i = 0; i < n; ++i)
            lambda[i + n * j] = i == j ? J(1.0) : (in.volume[j] / in.volume[i]) * exp(in.energy[i + n * j]);
    for (std::int64_t i = 0; i < n; ++i) {
        J s{};
        for (std::int64_t j = 0; j < n; ++j) s += x[j] * lambda[i + n * j];
        sum[i] = s;
    }
    for (std::int64_t k = 0; k < n; ++k) {
        J value = 1.0 - log(sum[k]);
        for (std::int64_t i = 0; i < n; ++i)
            if (!vanishes(x[i])) value -= x[i] * lambda[i + n * k] / sum[i];
        ln_gamma[k] = value;
    }
}

}  // namespace keld::cubic
