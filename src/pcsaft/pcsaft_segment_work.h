// The work array of the segment-based PC-SAFT monitor, laid out in the blocks
// that KELD_PCSFWK hands out to a host (1-based positions for NC components).
// The monitor clears the first (5 NC + 25) NC + 1 words and uses the blocks
// below, all of which end by position 18 NC + 4 NC^2.
#pragma once

#include <cstdint>

#include "pcsaft/pcsaft_residual.h"

namespace keld::pcsaft {

// Position of the block that KELD_PCSFWK gives in its argument `argument`
// (0 for the arguments it does not set).
constexpr std::int64_t segment_work_position(int argument, std::int64_t nc) {
    const std::int64_t nc2 = nc * nc;
    if (argument == 25) return 1;
    if (argument >= 27 && argument <= 31) return (argument - 26) * nc + 1;
    if (argument >= 9 && argument <= 18) return (argument - 3) * nc + 1;
    switch (argument) {
        case 19: return 15 * nc + 1 + nc2;
        case 20: return 15 * nc + 1 + 2 * nc2;
        case 24: return 15 * nc + 1 + 3 * nc2;
        case 22: return 16 * nc + 1 + 3 * nc2;
        case 26: return 17 * nc + 1 + 3 * nc2;
        case 34: return 18 * nc + 1 + 3 * nc2;
        case 35: return 18 * nc + 1 + 4 * nc2;
        case 36: return 18 * nc + 1 + 5 * nc2;
        case 21: return 18 * nc + 1 + 6 * nc2;
        case 5: return 18 * nc + 1 + 7 * nc2;
        case 6: return 19 * nc + 1 + 7 * nc2;  // first position after the layout
        default: return 0;
    }
}

struct SegmentWork {
    double *w;
    std::int64_t nc;

    double *block(int argument) const { return w + segment_work_position(argument, nc) - 1; }
    // By component.
    double *tc() const { return block(25); }     // copy of the first given vector: critical temperatures
    double *pc() const { return block(27); }     // copy of the second: critical-pressure entries
    double *m() const { return block(28); }      // segment number in use
    double *sigma() const { return block(29); }  // given or averaged, Å
    double *eps() const { return block(30); }    // given or averaged, K
    double *r() const { return block(31); }      // given or averaged, per unit molecular weight
    double *sources() const { return block(16); }  // PolymerParamSource as the call decides it
    // By position: the vectors of the PC-SAFT evaluation, and ∂ã/∂x.
    PositionVectors positions() const {
        return {block(9), block(10), block(11), block(12), block(13), block(14)};
    }
    double *dadx() const { return block(15); }
    // NC x NC.
    double *k() const { return block(18); }          // k_ij at T
    double *dkdt() const { return block(19); }       // dk_ij/dT (zero in mode 1)
    double *eps_matrix() const { return block(20); } // cross energies, K
    double *deps_dt() const { return block(34); }    // their temperature derivatives, K/K
};

}  // namespace keld::pcsaft
