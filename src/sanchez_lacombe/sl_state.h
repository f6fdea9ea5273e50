// Sanchez-Lacombe properties of one phase at a known density: compressibility,
// departures from the ideal gas and ln phi, before any basis conversion or
// pressure correction. The monitor evaluates these at T and at a shifted
// temperature and differences them for the temperature derivatives.
#pragma once

#include "sanchez_lacombe/sl_residual.h"

namespace keld::sanchez_lacombe {

// Z <= 0 is replaced by this value in logarithms and departures.
inline constexpr double kSmallestCompressibility = 1e-35;

struct StateProperties {
    double z;       // 1 + rho a_rho
    double zc;      // z when positive, else kSmallestCompressibility
    double p_calc;  // R T rho Z, replaced by the given P when not positive (or not a number)
    double v;       // 1/rho (m3/kmol); infinite at rho = 0
    double h;       // H - H_ig(T) (J/kmol); NaN unless sw.temperature
    double s;       // S - S_ig(T, P_ref) (J/(kmol K)); NaN unless sw.temperature
    double g;       // G - G_ig(T, P_ref) (J/kmol)
};

// Properties at (T, rho) for the given pressure P (which only enters through
// ln(P/P_ref)). The residual is asked for what the properties need: a_T when
// sw.temperature is set (for H and S) and the composition terms when phi is
// given; sw.second_derivative and sw.composition are not needed here and are
// ignored.
//
// phi (N entries, or nullptr): ln phi_k on the true basis.
// m_scratch (N entries, or nullptr): receives the composition terms m_k when
// phi is given; with nullptr they are formed inside phi.
StateProperties state_properties(const Mixture &mix, double t, double p, double p_ref, double rho, ResidualSwitches sw,
                                 double *m_scratch, double *phi);

}  // namespace keld::sanchez_lacombe
