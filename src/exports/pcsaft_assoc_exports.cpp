#include <algorithm>
#include <span>

#include "host/host.h"
#include "keld/keld.h"
#include "association/association.h"

using namespace keld;

extern "C" KELD_API void KELD_PCSAF5(KELD_PCSAF5_ARGS) {
    const auto host = host::Host::current();
    if (!host || !IFAIL) return;
    *IFAIL = 1;
    const bool scalars = T && RHO && NCP && NC && NSEG && LSEG && BMIX && NV && KRHO && KRHO2 && KT && KX && IOPT &&
                         ISNGL && TOL && METHOD && KDIAG && LUNIT && MODEL && KSTART && A && AR && AR2 && AT &&
                         MXV && NVAR && LXA && LWORK;
    if (!scalars) return;
    // Counts outside their ranges are refused before any length is formed from them: IFAIL 1, and the
    // work-size query answers 0 words.
    if (*NCP < 0 || *NC < 1 || *NC > assoc::kMaxCount || *NV < 0 || *NV > assoc::kMaxCount || *LSEG < 0) {
        if (*LWORK == -1 && WORK) WORK[0] = 0.0;
        return;
    }

    assoc::Mixture mix;
    mix.t = *T;
    mix.rho = *RHO;
    mix.ncp = *NCP;
    mix.nc = *NC;
    mix.idx = IDX;
    mix.x = X;
    mix.m = M;
    mix.sigma = SIGMA;
    mix.marker = AMARK;
    mix.d = D;
    mix.t_dd = TDD;
    mix.types = ITYPE;
    mix.covolume = BCPA;
    mix.covolume_mix = *BMIX;
    mix.segments = {*LSEG, NSEG, ISEG, WSEG, FSEG};
    mix.nv = *NV;
    mix.list = IASL;
    mix.energy = EPSA;
    mix.volume = VOLA;
    if (ZPACK) std::copy(ZPACK, ZPACK + 4, mix.z.begin());
    mix.combining = CRULE;
    mix.missing = host->missing();

    assoc::Options options;
    options.association = *IOPT;
    options.single_species = *ISNGL;
    options.tolerance = *TOL;
    options.method = *METHOD;
    options.diag_level = *KDIAG;
    options.diag_unit = *LUNIT;
    options.model = *MODEL;
    options.start = *KSTART;
    if (*LWORK == -1) {
        // A list naming components outside 1..NC sizes nothing: 0 words and a failure flag.
        const std::int64_t words = assoc::work_words(*host, mix, options);
        if (WORK) WORK[0] = static_cast<double>(words);
        *IFAIL = words > 0 ? 0 : 1;
        return;
    }
    const assoc::Requests requests{(*KRHO & 1) != 0, (*KRHO2 & 1) != 0, (*KT & 1) != 0, (*KX & 1) != 0};
    if (!ZPACK || (requests.x && !AX) || (*NV > 0 && (!DEL || !DELR || !DELR2 || !DELT)) || !WORK || *LWORK < 0)
        return;

    assoc::Outputs outputs;
    outputs.a_x = AX;
    outputs.site_fractions = XA;
    outputs.ld_sites = XA ? std::max<int64_t>(*LXA, 0) : 0;
    outputs.delta = DEL;
    outputs.delta_rho = DELR;
    outputs.delta_rho2 = DELR2;
    outputs.delta_t = DELT;
    outputs.no = NO;
    outputs.isite = ISITE;
    outputs.max_unknowns = (NO && ISITE) ? std::max<int64_t>(*MXV, 0) : 0;
    const assoc::Results r =
        assoc::evaluate(*host, mix, options, requests, outputs, std::span<double>(WORK, static_cast<size_t>(*LWORK)));
    *A = r.a;
    *AR = r.a_rho;
    *AR2 = r.a_rho2;
    *AT = r.a_t;
    *NVAR = r.unknowns;
    *IFAIL = r.failed;
}

extern "C" KELD_API decltype(KELD_PCSAF5) keld_pcsaf5_ __attribute__((alias("KELD_PCSAF5")));
