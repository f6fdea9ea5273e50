// The PC-SAFT monitor's work area in the host store (NC = number of
// components of the problem; 18 NC + 7 NC^2 words, gaps unused).
#pragma once

#include <cstdint>

#include "pcsaft/pcsaft_residual.h"

namespace keld::pcsaft {

struct WorkArea {
    double *base;
    std::int64_t nc;

    static std::int64_t words(std::int64_t nc) { return 18 * nc + 7 * nc * nc; }

    double *mwn() const { return base; }                  // by position
    double *m_given() const { return base + nc; }         // PCSFTM, by component
    double *sigma() const { return base + 2 * nc; }       // own or segment-averaged, by component
    double *eps() const { return base + 3 * nc; }         // own or segment-averaged, by component
    double *r() const { return base + 4 * nc; }           // own or segment-averaged, by component
    double *scratch() const { return base + 5 * nc; }     // segment fractions
    std::int64_t scratch_words() const { return nc; }
    // Where this call's polymers took their parameters from, by component (a
    // gap of the layout): the cross rules read these, never the store's flags,
    // which calls of other data sets or threads may be writing.
    double *sources() const { return base + 6 * nc; }
    PositionVectors positions() const {
        return {base + 7 * nc,  base + 8 * nc,  base + 9 * nc, base + 10 * nc,
                base + 11 * nc, base + 13 * nc, base + 17 * nc};
    }
    // The dispersion pair sums' composition rows at T and at the shifted temperature, by position
    // (gaps of the layout, the last two in the 3 NC^2 words before x).
    double *dispersion_rows1() const { return base + 12 * nc; }
    double *dispersion_rows2() const { return base + 14 * nc; }
    double *shifted_rows1() const { return base + 15 * nc; }  // the same at the shifted temperature
    double *shifted_rows2() const { return base + 16 * nc; }
    // 4 NC words of the same gap after them (it holds 3 NC^2 - 2 NC words) for the pair sums' rows at
    // both temperatures side by side; none with one component (no pairs, and no room). The pair sums
    // are formed before any Isotherm, whose diameter slopes (positions()) then take the first NC words.
    double *pair_rows_scratch() const { return nc >= 2 ? base + 17 * nc : nullptr; }
    double *x() const { return base + 15 * nc + 3 * nc * nc; }     // true mole fractions, by position
    double *m() const { return base + 16 * nc + 3 * nc * nc; }     // final segment number, by component
    double *dadx() const { return base + 17 * nc + 3 * nc * nc; }  // by position
    double *kij() const { return base + 18 * nc + 3 * nc * nc; }   // k_ij at T
    double *eps_matrix() const { return base + 18 * nc + 6 * nc * nc; }
};

// HostOffsets1 elements of the PC-SAFT arrays.
namespace elements {
inline constexpr std::int64_t kMolecularWeight = 306;
inline constexpr std::int64_t kCriticalPressure = 326;
inline constexpr std::int64_t kCriticalTemperature = 416;
inline constexpr std::int64_t kSegmentNumber = 884;   // PCSFTM
inline constexpr std::int64_t kSegmentDiameter = 885; // PCSFTV
inline constexpr std::int64_t kSegmentEnergy = 886;   // PCSFTU
inline constexpr std::int64_t kSegmentRatio = 887;    // PCSFTR
inline constexpr std::int64_t kBinaryTable = 890;     // PCSKIJ, six coefficients per pair
inline constexpr std::int64_t kSourceFlags = 1357;    // PolymerParamSource
inline constexpr std::int64_t kTableResult = 1379;
}  // namespace elements

}  // namespace keld::pcsaft
