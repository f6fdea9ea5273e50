// The two composition bases at the monitor interface. The host's Z is on the
// apparent basis (a polymer counted in moles of segments of molecular weight
// MW); the models work with true mole fractions x (a polymer counted in
// molecules of number-average molecular weight MWN).
#pragma once

#include <cstdint>

#include "common/flags.h"
#include "common/outputs.h"
#include "host/host.h"

namespace keld {

// Fills, in list order, the true mole fractions x, the weight fractions w
// (skipped when w is null) and MWN through the host's polymer routines.
// mw_by_component points to MW of component 1. Returns false when the host
// lacks one of the routines (the outputs are then not written).
bool convert_to_true_basis(const host::Host &host, std::int64_t n, const std::int64_t *idx, const double *z,
                           const double *mw_by_component, double *mwn, double *w, double *x);

// F = sum_k Z(k) MW(IDX(k)) / MWN(k): moles of the host's basis per true mole.
double apparent_basis_factor(std::int64_t n, const std::int64_t *idx, const double *z,
                             const double *mw_by_component, const double *mwn);

// Brings true-basis results to the host's basis. For a liquid root the ln phi
// are first corrected by -ln(P/P_calc) (log_p_over_pcalc, 0 for none); then
// ln phi_k += ln(x_k/Z_k): from the host's conversion where both are positive
// and, for a component absent from the phase (Z_k = 0), from the limit of x_k/Z_k
// as Z_k -> 0, (MW_k/MWN_k)/F, so that ln phi is continuous at infinite
// dilution. V, H, S, G and their derivatives are multiplied by
// F = sum_k Z(k) MW(IDX(k))/MWN(k) wherever they were computed. DPHI is left alone.
void to_apparent_basis(const Requests &rq, std::int64_t n, const std::int64_t *idx, const double *z, const double *x,
                       const double *mw_by_component, const double *mwn, double log_p_over_pcalc,
                       const MonitorOutputs &out);

}  // namespace keld
