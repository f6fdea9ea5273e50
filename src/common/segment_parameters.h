// The parameter steps the segment-based PC-SAFT and SAFT monitors share (and
// the cross rules of the Sanchez-Lacombe one): a chain's segment number, size
// and energy with its segment ratio, averaged from the segments of a polymer
// that lacks its own, and the cross matrices with their temperature
// derivatives, averaged segment by segment where a segment-built polymer
// meets a partner without a binary parameter.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/segment_call.h"

namespace keld::segment {

// Four parameters by component: segment number m, a size (PC-SAFT σ, SAFT
// v00), an energy (ε/k, u0/k) and the segment number per unit molecular
// weight r; with the host parameter names used in messages.
struct ChainParameters {
    const double *m, *size, *energy, *r;
};
struct ChainParametersInUse {
    double *m, *size, *energy, *r;
};
struct ChainNames {
    std::string_view m, size, energy, r;
};

// Copies the listed components' parameters; a polymer whose size or energy
// is missing, or whose r and m both are, takes size, energy and r from its
// segments (PolymerParamSource 1.0, else 2.0). Its segment number is MWN r
// when its own m is missing (at or above the marker). Every value the model
// will use goes through `check`.
void chain_parameters(const Call &call, const ChainParameters &given, const ChainParametersInUse &in_use,
                      const ChainNames &names, MissingCheck &check);

// Cross values of every pair of listed components into the NC x NC matrix
// `cross` (diagonal: the pure values) and, in mode 2, their temperature
// derivatives into `slope` (0 otherwise; not formed when `slope` is null):
//   geometric  (1 - k_ij) sqrt(p_i p_j),       slope -dk_ij/dT sqrt(p_i p_j)
//   arithmetic 0.5 (1 - k_ij)(p_i + p_j),      slope -dk_ij/dT 0.5 (p_i + p_j)
// with p = in_use. A pair whose k_ij is exactly 0 and which contains a
// segment-built polymer meeting a partner that is not one takes the segment
// average over that polymer's segments against the partner with the values
// `by_segment` (by component). A missing segment value refuses through
// `check` under `name`.
enum class CrossMean { geometric, arithmetic };
void cross_matrix(const Call &call, CrossMean mean, const double *in_use, const double *by_segment, const double *k,
                  const double *dkdt, std::int64_t mode, double *cross, double *slope, std::string_view name,
                  MissingCheck &check);

}  // namespace keld::segment
