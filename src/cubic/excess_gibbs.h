// Excess-Gibbs (activity-coefficient) models of the cubic's mixing rules.
// Each gives ln gamma_i of the listed components as Jets (value and two
// temperature derivatives at fixed composition); g^E/RT = sum x_i ln gamma_i.
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

namespace keld::cubic {

struct UnifacMixture;

// Matrices are n-by-n by position, element (i, j) at i + n j.
struct GibbsInputs {
    std::int64_t n;
    const double *x;
    Jet t;
    const double *volume;     // v_i of Wilson: the covolumes b_i
    const Jet *energy;        // E_ij (diagonal 0)
    const double *alpha;      // NRTL non-randomness alpha_ij
    const double *r, *q;      // UNIQUAC and UNIFAC volume and area of each component
    const UnifacMixture *groups;
    Jet *scratch;             // 2 n^2 + 4 n Jets
};

void redlich_kister_ln_gamma(const GibbsInputs &in, Jet *ln_gamma);
void wilson_ln_gamma(const GibbsInputs &in, Jet *ln_gamma);
void van_laar_ln_gamma(const GibbsInputs &in, Jet *ln_gamma);
void nrtl_ln_gamma(const GibbsInputs &in, Jet *ln_gamma);
// Staverman-Guggenheim combinatorial part (Flory-Huggins volume fractions
// with the surface correction, z = 10) shared by UNIQUAC and UNIFAC.
void combinatorial_ln_gamma(std::int64_t n, const double *x, const double *r, const double *q, Jet *ln_gamma);
void uniquac_ln_gamma(const GibbsInputs &in, Jet *ln_gamma);
void unifac_ln_gamma(const GibbsInputs &in, Jet *ln_gamma);

}  // namespace keld::cubic
