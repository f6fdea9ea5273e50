// The volumes the SAFT-type families hand to the host's root routines: the
// close-packed volume, a critical-volume estimate from the mixture's molecular
// weight, and the dividing volume chosen against a pseudo-critical
// temperature in which polymers count with correlations in their
// number-average molecular weight.
#pragma once

#include <cmath>
#include <cstdint>

namespace keld {

// Pseudo-critical temperature (K) and critical-pressure entry of a polymer or
// oligomer of number-average molecular weight mwn.
inline double polymer_critical_temperature(double mwn) { return 318.305 + 696.86 * std::exp(-120.876 / mwn); }
inline double polymer_critical_pressure(double mwn) { return 532.0 * std::pow(mwn, -0.6602); }

struct RootVolumes {
    double close_packed, critical, dividing;
};

// critical_temperature(k) gives T_c of position k (a family writes a polymer's
// pseudo-critical values where it keeps them and returns them); packed_term(k)
// gives x_k m_k d_k³. V_cp = (π/6) Σ packed_term; V_c = 0.005102 Σ x MWN,
// raised to 1.201 V_cp when not above 1.2 V_cp; V_div = V_cp at or above the
// mixture's T_c for anything but a liquid, V_c otherwise.
template <class CriticalTemperature, class PackedTerm>
RootVolumes polymer_root_volumes(std::int64_t n, const double *x, const double *mwn, double t, std::int64_t kvl,
                                 CriticalTemperature &&critical_temperature, PackedTerm &&packed_term) {
    double t_mix = 0.0, mw_mix = 0.0, packed = 0.0;
    for (std::int64_t k = 0; k < n; ++k) {
        t_mix += x[k] * critical_temperature(k);
        mw_mix += x[k] * mwn[k];
        packed += packed_term(k);
    }
    RootVolumes v;
    v.close_packed = (3.141592654 / 6.0) * packed;
    v.critical = 0.005102 * mw_mix;
    if (v.critical <= 1.2 * v.close_packed) v.critical = 1.201 * v.close_packed;
    v.dividing = (t >= t_mix && kvl != 2) ? v.close_packed : v.critical;
    return v;
}

}  // namespace keld
