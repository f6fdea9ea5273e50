// Polymer parameters from the polymer's segments. A polymer is built from
// segments that are components of the problem with parameters of their own;
// where the polymer's own parameters (or a cross parameter with it) are not
// given, they are formed from the segments, weighted by the polymer's segment
// composition.
#pragma once

#include <cstdint>

#include "host/host.h"

namespace keld {

// The host's list of segment components, found by walking its polymer-segment
// map. count = 0 when the host has no map or the map is not well formed.
struct SegmentList {
    std::int64_t count = 0;
    std::int64_t first = 0;  // store position of segment 1's component number
    std::int64_t component(const host::Host &h, std::int64_t k) const { return h.integer(first + k - 1); }
};
SegmentList find_segment_list(const host::Host &host);

// Caller-owned scratch for the segment fractions (the monitor's work area).
struct SegmentScratch {
    double *f;
    std::int64_t capacity;
};

// Fills scratch.f with the fraction of each listed segment in polymer p, by
// weight or, when kopt == 5 (mole_by_option), by mole. Returns the segment
// count, or 0 when the fractions cannot be had (no map, scratch too small).
std::int64_t segment_fractions(const host::Host &host, const SegmentList &list, std::int64_t polymer, bool by_mole,
                               SegmentScratch scratch);
inline bool mole_fractions_requested(std::int64_t kopt) { return kopt == 5; }

// Cross value of component o with polymer p over p's segments s_k, with
// fractions f_k as the host gives them (not normalised), skipping f_k below the
// host's floor: geometric  sum f_k sqrt(Q(o) Q(s_k)) (1 - K(o, s_k)),
//            arithmetic sum f_k 0.5 (Q(o) + Q(s_k)) (1 - K(o, s_k)).
// q is by component (q[i-1]); k_matrix is NC-by-NC column-major.
double segment_geometric_cross(const host::Host &host, const double *q, const double *k_matrix, std::int64_t other,
                               std::int64_t polymer, SegmentScratch scratch, std::int64_t kopt);
double segment_arithmetic_cross(const host::Host &host, const double *q, const double *k_matrix,
                                std::int64_t other, std::int64_t polymer, SegmentScratch scratch, std::int64_t kopt);

// What a segment average met: how many segments the polymer has, and for
// each averaged quantity m the first segment whose value Q_m was the host's
// missing-value marker or not a finite number (0: none), so that the caller
// can refuse to use an average that swallowed a missing value.
struct SegmentAverageCheck {
    std::int64_t segments = 0;
    std::int64_t missing[3] = {0, 0, 0};
};

// a_m = sum_k f_k Q_m(s_k) with the fractions normalised (all 1/NS when they
// sum to nothing), skipping f_k below the floor. Zero results without segments.
SegmentAverageCheck segment_average3(const host::Host &host, const double *q1, const double *q2, const double *q3,
                      std::int64_t polymer, double &a1, double &a2, double &a3, SegmentScratch scratch,
                      std::int64_t kopt);

// Where a polymer's parameters came from (the host's PolymerParamSource flags).
namespace param_source {
inline constexpr double not_polymer = 0.0, from_segments = 1.0, own = 2.0;
}

// Cross value of components i and j (1-based) without a binary parameter of
// their own: a segment-built polymer meets a non-polymer or a polymer with own
// parameters through its segments (`through_segments(other, polymer)`); every
// other pair takes `plain()`.
template <class Plain, class ThroughSegments>
double cross_without_binary(double source_i, double source_j, std::int64_t i, std::int64_t j, Plain &&plain,
                            ThroughSegments &&through_segments) {
    using namespace param_source;
    const auto partner_ok = [](double s) { return s == not_polymer || s == own; };
    if (source_i == from_segments && partner_ok(source_j)) return through_segments(j, i);
    if (source_j == from_segments && partner_ok(source_i)) return through_segments(i, j);
    return plain();
}

// Sanchez-Lacombe characteristic T*, P*, rho* of a polymer from its segments
// (weight fractions, every segment counted): close-packed volumes are mixed by
// site fraction and the energy by a volume-weighted geometric mean. Without
// segments (or with no segment weight) the results are the missing-value marker.
// `check` names the first segment whose T*, P* or rho* was missing.
struct SlCharacteristics {
    double t_star, p_star, rho_star;
    SegmentAverageCheck check{};
};
SlCharacteristics sl_segment_characteristics(const host::Host &host, const double *t_star, const double *p_star,
                                             const double *rho_star, std::int64_t polymer, double mwn,
                                             SegmentScratch scratch);

}  // namespace keld
