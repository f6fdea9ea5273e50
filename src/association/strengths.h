// Association strengths Delta_ij over the association list and their density, temperature and
// composition derivatives, for the PC-SAFT and the CPA radial distribution functions.
#pragma once

#include "association/context.h"
#include "contributions/association_strength.h"

namespace keld::assoc::detail {

inline constexpr double kExponentCap = 150.0;  // eps/T cap of the composition terms
inline constexpr double kCpaPacking = 0.475;

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
