// What the excess-Gibbs models of the cubic's mixing rules read, as a
// template over the number types: J for everything that depends on T (a Jet
// in the monitor; in the model layer an automatic-differentiation number) and
// X for the mole fractions (double in the monitor; the model's number when
// composition derivatives are taken). Each model (redlich_kister.h, wilson.h,
// van_laar.h, nrtl.h, uniquac.h, unifac.h) gives ln gamma_i of the listed
// components at fixed composition; g^E/RT = sum x_i ln gamma_i.
//
// Binary terms: E_ij = a_ij + b_ij/T per ordered pair of listed components
// (a_ij from GEAIJ, b_ij in K from GEBIJ), used as
//   2 Redlich-Kister   A_ij = E_ij, the limit of ln gamma_i in pure j
//   3 Wilson           Lambda_ij = (v_j/v_i) exp(E_ij), v = covolume b
//   4 Van Laar         A_ij = E_ij as for Redlich-Kister
//   5 NRTL             tau_ij = E_ij, G_ij = exp(-alpha_ij tau_ij)
//   6 UNIQUAC          tau_ij = exp(E_ij)
#pragma once

#include <cstdint>

#include "cubic/jet.h"
#include "cubic/scalar.h"

namespace keld::cubic {

template <class J, class X>
struct UnifacMixtureOf;

// Matrices are n-by-n by position, element (i, j) at i + n j.
template <class J, class X = double>
struct GibbsInputsOf {
    std::int64_t n;
    const X *x;
    J t;                      // the temperature (Jet::temperature(T) in the monitor)
    const double *volume;     // v_i of Wilson: the covolumes b_i
    const J *energy;          // E_ij (diagonal 0)
    const double *alpha;      // NRTL non-randomness alpha_ij
    const double *r, *q;      // UNIQUAC and UNIFAC volume and area of each component
    const UnifacMixtureOf<J, X> *groups;
    J *scratch;               // 2 n^2 + 4 n numbers
};
using GibbsInputs = GibbsInputsOf<Jet, double>;

// E_ij = a_ij + b_ij/T at T (K). The monitor's Jet with its closed-form
// temperature derivatives; any other number type by its own arithmetic (the
// same value).
inline Jet pair_energy_jet(double a, double b, double t) {
    return Jet(a + b / t, -b / (t * t), 2.0 * b / (t * t * t));
}
template <class S>
S pair_energy(double a, double b, const S &t) {
    return a + b / t;
}

// g^E/RT = sum x_i ln gamma_i.
template <class J, class X>
J excess_gibbs_energy(std::int64_t n, const X *x, const J *ln_gamma) {
    J ge{};
    for (std::int64_t k = 0; k < n; ++k) ge += x[k] * ln_gamma[k];
    return ge;
}

// Whether a pair has a Van Laar form at T: its two limits A_ij, A_ji of the
// same sign (or one zero). Opposite signs put a zero into the denominator
// A_ij x_i + A_ji x_j; a limit that is not a number has no form either.
template <class J>
bool van_laar_limits_agree(const J &a_ij, const J &a_ji) {
    return value(a_ij) * value(a_ji) >= 0.0;
}

}  // namespace keld::cubic
