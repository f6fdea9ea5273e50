// The stored-parameter SAFT monitor's work area in the host store (NC = number
// of components of the problem; 18 NC + 3 NC^2 words).
#pragma once

#include <cstdint>

#include "saft/saft_residual.h"

namespace keld::saft {

struct PsafWorkArea {
    double *base;
    std::int64_t nc;

    static std::int64_t words(std::int64_t nc) { return 18 * nc + 3 * nc * nc; }

    double *mwn() const { return base; }  // by position
    PositionVectors positions() const {
        return {base + nc,     v0(),          base + 2 * nc, base + 3 * nc, base + 4 * nc,
                base + 5 * nc, base + 6 * nc, base + 7 * nc, base + 8 * nc};
    }
    double *u0_matrix() const { return base + 9 * nc; }         // cross energies of the call
    double *kij() const { return base + 9 * nc + nc * nc; }     // k_ij of the data set
    double *x() const { return base + 9 * nc + 3 * nc * nc; }   // true mole fractions, by position
    double *v0() const { return base + 10 * nc + 3 * nc * nc; } // by position
    double *dadx() const { return base + 11 * nc + 3 * nc * nc; }
    double *m() const { return base + 12 * nc + 3 * nc * nc; }        // final segment number, by component
    double *m_given() const { return base + 13 * nc + 3 * nc * nc; }  // SAFTM, by component
    double *v00() const { return base + 14 * nc + 3 * nc * nc; }      // own or segment-averaged
    double *u0() const { return base + 15 * nc + 3 * nc * nc; }       // own or segment-averaged
    double *r() const { return base + 16 * nc + 3 * nc * nc; }        // own or segment-averaged
    double *scratch() const { return base + 17 * nc + 3 * nc * nc; }  // segment fractions
    std::int64_t scratch_words() const { return nc; }
};

}  // namespace keld::saft
