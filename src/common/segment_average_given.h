// Polymer parameters from segments whose composition the caller hands over:
// the segment list and the fraction matrices are arguments of the call (the
// segment-based monitors) instead of the host's polymer-segment map.
#pragma once

#include <cstdint>

namespace keld {

// A segment composition as the segment-based monitors receive it: NS segment
// types SEG(1..NS) (component numbers) and two LD x NS fraction matrices, the
// fraction of segment s in polymer P at (s - 1) LD + P. A fraction below
// `floor` (the host's segment-fraction floor) is ignored by the averages.
struct GivenSegments {
    std::int64_t ld = 0;
    std::int64_t ns = 0;
    const std::int64_t *seg = nullptr;
    const double *weight = nullptr;  // weight fractions
    const double *mole = nullptr;    // mole fractions
    double floor = 0.0;
    double missing = 0.0;  // the host's missing-value marker

    // KOPT = 5 selects the mole fractions, anything else the weight fractions.
    const double *fractions(std::int64_t kopt) const { return kopt == 5 ? mole : weight; }
    double fraction(const double *matrix, std::int64_t polymer, std::int64_t s) const {
        return matrix[(s - 1) * ld + (polymer - 1)];
    }
    // A value usable in an average: finite and not the missing-value marker.
    bool usable(double value) const;
};

// What an average met: how many segments it weighed in, and the first
// segment (component number) whose value was missing, for each averaged
// quantity (0: none). A caller refuses an average that swallowed a missing
// value or weighed in no segment at all.
struct GivenAverageCheck {
    std::int64_t weighed = 0;
    std::int64_t missing[3] = {0, 0, 0};
};

// A = sum_s f_s p1(SEG(s)), B and C likewise, over the segments of polymer P
// with f_s at or above the floor; the fractions are used as given (no
// normalisation). NS < 1 gives 0, 0, 0.
GivenAverageCheck segment_average3_given(const double *p1, const double *p2, const double *p3, std::int64_t polymer,
                                         double &a, double &b, double &c, std::int64_t kopt,
                                         const GivenSegments &segments);

// Cross value of component j with polymer P over P's segments:
//   geometric  X = sum_s f_s (1 - K(j, SEG(s))) sqrt(p(j) p(SEG(s)))
//   arithmetic X = sum_s f_s (1 - K(j, SEG(s))) 0.5 (p(j) + p(SEG(s)))
// and, in mode 2, dX/dT = -sum_s f_s dK/dT(j, SEG(s)) times the same mean
// (0 in any other mode). K and dK/dT are LD x LD, column-major.
struct GivenCross {
    double x = 0.0;
    double dxdt = 0.0;
    GivenAverageCheck check;  // missing[0]: a segment whose p was missing
};
GivenCross segment_geometric_cross_given(const double *p, const double *k, std::int64_t j, std::int64_t polymer,
                                         std::int64_t kopt, const double *dkdt, std::int64_t mode,
                                         const GivenSegments &segments);
GivenCross segment_arithmetic_cross_given(const double *p, const double *k, std::int64_t j, std::int64_t polymer,
                                          std::int64_t kopt, const double *dkdt, std::int64_t mode,
                                          const GivenSegments &segments);

// Sanchez-Lacombe T*, P*, rho* of polymer P from its segments: site volumes
// v*_s = R T*_s / P*_s, site masses v*_s rho*_s, site fractions from the
// segment weight fractions (every segment with a non-zero fraction counts,
// whatever the floor), the polymer's MWN. Without such a segment the results
// are the missing-value marker (check.weighed = 0).
struct GivenSlCharacteristics {
    double t_star, p_star, rho_star;
    GivenAverageCheck check;
};
GivenSlCharacteristics sl_segment_characteristics_given(const double *t_star, const double *p_star,
                                                        const double *rho_star, std::int64_t polymer, double mwn,
                                                        double gas_constant, const GivenSegments &segments);

}  // namespace keld
