// The association strength of one pair of sites in PC-SAFT, the formula the association solver
// (association/strengths.h) fills its matrices with and the model family evaluates in its own
// number types:
//     Delta_ij = g_ij(zeta2, zeta3, d_ij) (exp(eps_ij/T) - 1) kappa_ij ((sigma_i + sigma_j)/2)^3,
// with the hard-sphere contact value g_ij of the pair's segments.
#pragma once

#include <cmath>

namespace keld::assoc::detail {

inline constexpr double kPiSixth = 0.5235987756666667;               // pi/6 with pi = 3.141592654
inline constexpr double kHalfDiameterToVolume = 0.04222321867518549;  // Angstrom -> (m3/kmol)^(1/3), halved

// Piece by piece, as templates over the scalar type: doubles in the solver, automatic-differentiation
// numbers in the model.

// Powers of 1/(1 - zeta3), the same for every pair.
template <class S>
struct PackingOf {
    S e, e2, e3, e4, e5;
    explicit PackingOf(const S &zeta3) : e(1.0 / (1.0 - zeta3)), e2(e * e), e3(e2 * e), e4(e3 * e), e5(e4 * e) {}
};

// d_i d_j/(d_i + d_j) of two diameters that do not both vanish.
template <class S>
S contact_diameter(const S &di, const S &dj) {
    return di * dj / (di + dj);
}

// The contact value g_ij = e + 3 d_ij zeta2 e^2 + 2 d_ij^2 zeta2^2 e^3 with e = 1/(1 - zeta3).
template <class S>
S contact_value(const S &dij, const S &zeta2, const PackingOf<S> &pk) {
    const S a = dij * zeta2;
    return pk.e + 3.0 * a * pk.e2 + 2.0 * a * a * pk.e3;
}

// kappa_ij ((sigma_i + sigma_j)/2)^3 in the scaled volume of the residual core (sigma in Angstrom).
inline double bonding_volume(double volume, double sigma_i, double sigma_j) {
    const double mean = (sigma_i + sigma_j) * kHalfDiameterToVolume;
    return volume * mean * mean * mean;
}

// (exp(eps_ij/T) - 1) kappa_ij sigma_ij^3 from the Boltzmann factor exp(eps_ij/T) and the bonding volume.
template <class S>
S bonding_factor(const S &boltzmann, double bonding_volume) {
    return (boltzmann - 1.0) * bonding_volume;
}

// Delta_ij of an associating pair at temperature t with packing zeta2 = z2 rho and the powers of
// 1/(1 - z3 rho); di, dj the pair's diameters at t, energy eps_ij/k in K.
template <class S>
S association_strength(const S &di, const S &dj, double sigma_i, double sigma_j, double volume, double energy,
                       const S &t, const S &zeta2, const PackingOf<S> &pk) {
    using std::exp;
    const S factor = bonding_factor(exp(energy / t), bonding_volume(volume, sigma_i, sigma_j));
    return contact_value(contact_diameter(di, dj), zeta2, pk) * factor;
}

}  // namespace keld::assoc::detail
