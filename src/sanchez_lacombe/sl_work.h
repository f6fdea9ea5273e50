// The Sanchez-Lacombe monitor's work area in the host store (NC = number of
// components of the problem; 10 NC + 5 NC^2 words).
#pragma once

#include <cstdint>

namespace keld::sanchez_lacombe {

struct WorkArea {
    double *base;
    std::int64_t nc;

    static std::int64_t words(std::int64_t nc) { return 10 * nc + 5 * nc * nc; }

    double *mwn() const { return base; }                // by position
    double *weights() const { return base + nc; }       // by position
    double *x() const { return base + 2 * nc; }         // true mole fractions, by position
    // Where this call's polymers took their parameters from, by component (a
    // gap of the layout): the cross rules read these, never the store's flags.
    double *sources() const { return base + 3 * nc; }
    double *scratch() const { return base + 4 * nc; }   // segment fractions, 2 NC words
    std::int64_t scratch_words() const { return 2 * nc; }
    double *kij() const { return base + 6 * nc; }                     // SLKIJ copy, diagonal 0
    double *eta() const { return base + 6 * nc + nc * nc; }           // SLETIJ copy, diagonal 0
    // The composition terms' sums S1_k, S2_k (composition only), by position: a gap of the layout
    // of NC^2 words, so only for NC >= 2.
    double *composition_sums1() const { return base + 6 * nc + 2 * nc * nc; }
    double *composition_sums2() const { return base + 7 * nc + 2 * nc * nc; }
    double *m_terms() const { return base + 6 * nc + 3 * nc * nc; }   // composition terms, by position
    double *r() const { return base + 7 * nc + 3 * nc * nc; }         // by component
    double *v_star() const { return base + 8 * nc + 3 * nc * nc; }    // by component
    double *eps_star() const { return base + 9 * nc + 3 * nc * nc; }  // by component
    double *eps_matrix() const { return base + 10 * nc + 3 * nc * nc; }
    double *v_matrix() const { return base + 10 * nc + 4 * nc * nc; }
};

}  // namespace keld::sanchez_lacombe
