// The numbers the cubic's mixture formulas run on, and the two questions the
// formulas ask of them. The monitor carries every temperature-dependent
// quantity as a Jet (value and two T-derivatives) with plain double mole
// fractions; the model layer runs the same templates on its automatic-
// differentiation numbers (model/autodiff.h), whose derivative parts may be
// along T, rho or the amounts.
//
//   value(x)     the plain double, for the branches a formula takes;
//   vanishes(x)  zero in every part: a term multiplied by it is exactly zero
//                with every derivative, so it may be skipped (a mole fraction
//                of an absent component, a pair term without parameters). A
//                fraction that is zero but carries a derivative (the
//                composition derivative towards an absent component) does not
//                vanish, and its terms are kept.
#pragma once

#include <complex>

#include "cubic/jet.h"
#include "model/autodiff.h"

namespace keld::cubic {

inline double value(double x) { return x; }
inline double value(const Jet &x) { return x.v; }
template <class S>
double value(const S &x) {
    return ad::value(x);
}

inline bool vanishes(double x) { return x == 0.0; }
inline bool vanishes(const std::complex<double> &x) { return x == 0.0; }
inline bool vanishes(const Jet &x) { return x.v == 0.0 && x.d == 0.0 && x.dd == 0.0; }
// Declared before they are defined, as the numbers nest (a dual over a Taylor number).
template <class T>
bool vanishes(const ad::Dual<T> &x);
template <class T>
bool vanishes(const ad::HyperDual<T> &x);
template <class T, int K>
bool vanishes(const ad::Taylor<T, K> &x);
template <class T, int N>
bool vanishes(const ad::Jet2<T, N> &x);

template <class T>
bool vanishes(const ad::Dual<T> &x) {
    return vanishes(x.v) && vanishes(x.d);
}
template <class T>
bool vanishes(const ad::HyperDual<T> &x) {
    return vanishes(x.v) && vanishes(x.d1) && vanishes(x.d2) && vanishes(x.d12);
}
template <class T, int K>
bool vanishes(const ad::Taylor<T, K> &x) {
    for (int k = 0; k <= K; ++k)
        if (!vanishes(x.c[k])) return false;
    return true;
}
template <class T, int N>
bool vanishes(const ad::Jet2<T, N> &x) {
    if (!vanishes(x.v)) return false;
    for (int k = 0; k < N; ++k)
        if (!vanishes(x.g[k])) return false;
    for (int k = 0; k < ad::Jet2<T, N>::kPairs; ++k)
        if (!vanishes(x.h[k])) return false;
    return true;
}

}  // namespace keld::cubic
