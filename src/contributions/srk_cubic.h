// SRK's reduced residual Helmholtz energy per mole (Michelsen and Mollerup's form)
//   F/n = A_res/(n R T) = -g - (D/T) f,  g = ln(1 - b/V),  f = ln(1 + b/V)/(R b),
// from the mixture covolume b (m3/kmol), attraction D (J m3/kmol2) and molar
// volume V (m3/kmol). The monitor's property step differentiates it in closed
// form; the model layer evaluates it with automatic-differentiation numbers.
#pragma once

#include <cmath>

namespace keld::cubic {

template <class S>
S srk_repulsion(const S &b_over_v) {  // g
    using std::log1p;
    return log1p(-b_over_v);
}

template <class S>
S srk_attraction(const S &b_over_v, const S &b, double gas_constant) {  // f
    using std::log1p;
    return log1p(b_over_v) / (gas_constant * b);
}

// F/n from g, f and W = D/T.
template <class S>
S srk_helmholtz(const S &g, const S &f, const S &d_over_t) {
    return -g - d_over_t * f;
}

}  // namespace keld::cubic
