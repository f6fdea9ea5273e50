// Association strengths Delta_ij over the association list and their density, temperature and
// composition derivatives, for the PC-SAFT and the CPA radial distribution functions.
#pragma once

#include "association/context.h"

namespace keld::assoc::detail {

inline constexpr double kPiSixth = 0.5235987756666667;               // pi/6 with pi = 3.141592654
inline constexpr double kHalfDiameterToVolume = 0.04222321867518549;  // Angstrom -> (m3/kmol)^(1/3), halved
inline constexpr double kExponentCap = 150.0;                         // eps/T cap of the composition terms
inline constexpr double kCpaPacking = 0.475;

// The strength of one pair at a state, piece by piece, as templates over the scalar type (the
// monitor forms its matrices from them with doubles, the model layer with automatic-differentiation
// numbers): Delta_ij = g_ij(zeta2, zeta3, d_ij) (exp(eps_ij/T) - 1) kappa_ij ((sigma_i + sigma_j)/2)^3.

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

// Words of work area compute_strengths takes for nv list positions.
std::int64_t strength_words(std::int64_t nv);

// Carves and fills the strength matrices (the composition ones only when `composition`).
// Returns false when the arena is short.
bool compute_strengths(const Mixture &mix, const Options &options, bool composition, Arena &arena,
                       Strengths &str);

// The prepared form (PC-SAFT only): the strength matrices with the data classes of their list positions,
// and for every entry how it is formed at a density: from the temperature part of its pair, by copying an
// entry formed before it (equal data, or the transposed entry), or 0 (the pair does not associate).
struct PairTerms {
    double dij = 0.0, e = 0.0, t_dij = 0.0;  // d_i d_j/(d_i + d_j), (exp(eps/T) - 1) k, T dd_ij/dT
    double t_boltzmann = 0.0;                // (eps/T) exp(eps/T) k, for T dDelta/dT
    double capped = 0.0;                     // e with eps/T capped, for the composition terms
};
struct StrengthPlan {
    static constexpr std::int32_t kZero = -2147483647 - 1;
    std::int64_t nv = 0;
    std::int32_t *code = nullptr;  // nv x nv: index into pairs, kZero, or -(entry to copy) - 1
    PairTerms *pairs = nullptr;
    double s2 = 0.0, s3 = 0.0;     // T dzeta_n/dT = (pi/6) rho s_n
};

// Words prepare_strengths takes for nv list positions.
std::int64_t plan_words(std::int64_t nv);

// Carves the strength matrices (all six, zeroed) and the plan, at the mixture's temperature and
// composition. Returns false when the arena is short.
bool prepare_strengths(const Mixture &mix, Arena &arena, Strengths &str, StrengthPlan &plan);

// The strength matrices at mix.rho, the same numbers compute_strengths gives (the temperature matrix only
// with `temperature`, the composition ones only with `composition`; the others keep their last values).
void density_strengths(const Mixture &mix, const StrengthPlan &plan, bool temperature, bool composition,
                       Strengths &str);

// dz2/dx_k and dz3/dx_k of listed position k (packing coefficients; for CPA c2 = 0, c3 = b of k,
// the derivative of the linear co-volume mixing rule).
void packing_slopes(const Mixture &mix, const Options &options, std::int64_t k, double &c2, double &c3);

}  // namespace keld::assoc::detail
