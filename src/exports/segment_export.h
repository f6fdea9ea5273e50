// Reading the arguments the segment-based monitors share into a
// segment::Call. A null scalar argument leaves nothing to read: the export
// then returns without writing.
#pragma once

#include <optional>

#include "common/segment_call.h"
#include "keld/keld.h"

namespace keld::exports {

struct SegmentCallArgs {
    const double *t, *p, *z;
    const std::int64_t *n, *idx;
    double *w;
    const std::int64_t *kvl, *kphi, *kh, *ks, *kg, *kv, *kds, *kdiag;
    MonitorOutputs out;
    std::int64_t *kstat;
    const std::int64_t *kopt;
    const double *mw;
    double *source;
    const std::int64_t *nc, *ns, *seg;
    const double *segmol;
    const std::int64_t *poly;
    const std::int64_t *iopt, *ioptc;
    double *optvec;
    const double *optfac;
    const std::int64_t *nwork;
    double *optout, *x;
    const double *mwn, *optval, *segwt;
};

inline std::optional<segment::Call> read_segment_call(const SegmentCallArgs &a, bool polymer_if_nonzero) {
    const void *scalars[] = {a.t, a.p, a.n, a.kvl, a.kphi, a.kh, a.ks, a.kg, a.kv, a.kds, a.kdiag, a.kstat,
                             a.kopt, a.nc, a.ns, a.iopt, a.ioptc, a.nwork};
    for (const void *s : scalars)
        if (!s) return std::nullopt;
    segment::Call c{};
    c.t = *a.t;
    c.p = *a.p;
    c.z = a.z;
    c.n = *a.n;
    c.idx = a.idx;
    c.w = a.w;
    c.w_words = *a.nwork;
    c.kvl = *a.kvl;
    const std::int64_t flags[5] = {*a.kphi, *a.kh, *a.ks, *a.kg, *a.kv};
    for (int f = 0; f < 5; ++f) c.flags[f] = flags[f];
    c.rq = Requests::decode(*a.kphi, *a.kh, *a.ks, *a.kg, *a.kv);
    c.kds = *a.kds;
    c.kdiag = *a.kdiag;
    c.out = a.out;
    c.kstat = a.kstat;
    c.kopt = *a.kopt;
    c.mw = a.mw;
    c.source = a.source;
    c.nc = *a.nc;
    c.segments.ns = *a.ns;
    c.segments.seg = a.seg;
    c.segments.mole = a.segmol;
    c.segments.weight = a.segwt;
    c.polymer_flags = a.poly;
    c.polymer_if_nonzero = polymer_if_nonzero;
    c.option = *a.iopt;
    c.option_component = *a.ioptc;
    c.option_vector = a.optvec;
    c.option_factor = a.optfac;
    c.option_scalar = a.optout;
    c.x = a.x;
    c.mwn = a.mwn;
    c.option_values = a.optval;
    return c;
}

// Runs a family's monitor; nothing escapes into a Fortran caller.
template <class Family>
void run_segment(const std::optional<segment::Call> &call, Family &&family) {
    if (!call) return;
    try {
        family(*call);
    } catch (...) {
        segment::refuse(*call);
    }
}

}  // namespace keld::exports
