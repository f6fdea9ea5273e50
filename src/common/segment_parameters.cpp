#include "common/segment_parameters.h"

#include <cmath>

namespace keld::segment {

void chain_parameters(const Call &call, const ChainParameters &given, const ChainParametersInUse &in_use,
                      const ChainNames &names, MissingCheck &check) {
    const double missing = call.segments.missing;
    const std::string_view averaged[3] = {names.size, names.energy, names.r};
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k];
        const double m = given.m[i - 1];
        in_use.size[i - 1] = given.size[i - 1];
        in_use.energy[i - 1] = given.energy[i - 1];
        in_use.r[i - 1] = given.r[i - 1];
        const bool polymer = call.polymer(i);
        const bool m_from_r = polymer && !(m < missing);
        if (polymer) {
            const bool from_segments = given.size[i - 1] == missing || given.energy[i - 1] == missing ||
                                       (given.r[i - 1] == missing && m == missing);
            if (from_segments) {
                const GivenAverageCheck avg =
                    segment_average3_given(given.size, given.energy, given.r, i, in_use.size[i - 1],
                                           in_use.energy[i - 1], in_use.r[i - 1], call.kopt, call.segments);
                check.require_average(avg, i, averaged, {true, true, m_from_r});
            }
            set_source(call, i, from_segments);
        } else {
            take_given_source(call, i);
        }
        in_use.m[i - 1] = m_from_r ? call.mwn[k] * in_use.r[i - 1] : m;
        if (m_from_r)
            check.require(names.r, i, in_use.r[i - 1]);
        else
            check.require(names.m, i, m);
        check.require(names.size, i, in_use.size[i - 1]);
        check.require(names.energy, i, in_use.energy[i - 1]);
    }
}

void cross_matrix(const Call &call, CrossMean mean, const double *in_use, const double *by_segment, const double *k,
                  const double *dkdt, std::int64_t mode, double *cross, double *slope, std::string_view name,
                  MissingCheck &check) {
    const std::int64_t nc = call.nc;
    const bool geometric = mean == CrossMean::geometric;
    for (std::int64_t a = 0; a < call.n; ++a) {
        const std::int64_t i = call.idx[a];
        cross[(i - 1) * nc + (i - 1)] = in_use[i - 1];
        if (slope) slope[(i - 1) * nc + (i - 1)] = 0.0;
    }
    const std::string_view names[3] = {name, name, name};
    for (std::int64_t a = 0; a < call.n; ++a) {
        for (std::int64_t b = a + 1; b < call.n; ++b) {
            const std::int64_t i = call.idx[a], j = call.idx[b];
            const std::int64_t ij = (j - 1) * nc + (i - 1);  // the element of the pair listed first
            const double average =
                geometric ? std::sqrt(in_use[i - 1] * in_use[j - 1]) : 0.5 * (in_use[i - 1] + in_use[j - 1]);
            double value = (1.0 - k[ij]) * average;
            double value_t = mode == 2 ? -dkdt[ij] * average : 0.0;
            const std::int64_t polymer = k[ij] == 0.0 ? segment_built_partner(call.sources, i, j) : 0;
            if (polymer != 0) {
                const std::int64_t other = polymer == i ? j : i;
                const GivenCross x =
                    geometric
                        ? segment_geometric_cross_given(by_segment, k, other, polymer, call.kopt, dkdt, mode,
                                                        call.segments)
                        : segment_arithmetic_cross_given(by_segment, k, other, polymer, call.kopt, dkdt, mode,
                                                         call.segments);
                check.require_average(x.check, polymer, names, {true, false, false});
                value = x.x;
                value_t = x.dxdt;
            }
            cross[ij] = cross[(i - 1) * nc + (j - 1)] = value;
            if (slope) slope[ij] = slope[(i - 1) * nc + (j - 1)] = value_t;
        }
    }
}

}  // namespace keld::segment
