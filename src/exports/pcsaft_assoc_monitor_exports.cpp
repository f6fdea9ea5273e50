// KELD_PCSAF1 and KELD_PCSAF0: read the by-reference arguments and hand them to the monitor. Nothing
// escapes an export; a fault inside becomes a refused call.
#include <algorithm>
#include <limits>

#include "exports/export_frame.h"
#include "host/host.h"
#include "keld/keld.h"
#include "pcsaft_assoc/pcsaf_model.h"
#include "pcsaft_assoc/pcsaf_monitor.h"

using namespace keld;

namespace {

template <class T>
T value_or(const T *p, T fallback) {
    return p ? *p : fallback;
}

// The arguments shared by both routines (everything but P, N, IDX, Z and the outputs).
bool read_common(pcsaf::Arguments &a, const double *T, const int64_t *NC, const int64_t *KVL, const int64_t *KPHI,
                 const int64_t *KH, const int64_t *KS, const int64_t *KG, const int64_t *KV, const int64_t *KDIAG,
                 const int64_t *KOPT, int64_t *KSTAT, const double *MW, const double *TC, const double *PC,
                 const int64_t *KDS, const double *XM, const double *SIG, const double *EPK, const int64_t *ITYPE,
                 const double *EPSAB, const double *KAPAB, const double *DIPM, const double *XPOL,
                 const int64_t *NSEG, const int64_t *LSEG, const int64_t *ISEG, const double *WSEG,
                 const double *KIJC, const double *LIJC, const double *ATOL, const int64_t *AMETH,
                 const int64_t *LUNIT, double *RHO, const int64_t *LWORK, double *WORK) {
    if (!T || !NC || !KVL || !KPHI || !KH || !KS || !KG || !KV || !KDIAG || !KSTAT) return false;
    a.t = *T;
    a.nc = *NC;
    a.kvl = *KVL;
    a.rq = Requests::decode(*KPHI, *KH, *KS, *KG, *KV);
    a.kdiag = *KDIAG;
    if (KOPT) a.options = {KOPT[0], KOPT[1], KOPT[2]};
    a.status = KSTAT;
    a.mw = MW;
    a.tc = TC;
    a.pc = PC;
    a.kds = value_or<int64_t>(KDS, 1);
    a.m = XM;
    a.sigma = SIG;
    a.eps = EPK;
    a.types = ITYPE;
    a.eps_ab = EPSAB;
    a.kappa_ab = KAPAB;
    a.dipole = DIPM;
    a.dipolar_fraction = XPOL;
    a.nseg = NSEG;
    a.lseg = value_or<int64_t>(LSEG, 0);
    a.iseg = ISEG;
    a.wseg = WSEG;
    a.kij = KIJC;
    a.lij = LIJC;
    a.tolerance = value_or(ATOL, 0.0);
    a.method = value_or<int64_t>(AMETH, 2);
    a.unit = value_or<int64_t>(LUNIT, 6);
    a.rho = RHO;
    a.lwork = value_or<int64_t>(LWORK, 0);
    a.work = WORK;
    return true;
}

// LWORK = -1: the words the call needs, in WORK(1).
bool answered_size_query(const pcsaf::Arguments &a) {
    if (a.lwork != -1) return false;
    const auto host = host::Host::current();
    if (!host || !a.work) return true;
    pcsaf::Arguments sizing = a;
    sizing.lwork = 0;
    if (!pcsaf::sizes_usable(sizing)) {
        // Counts or component numbers that cannot size a work area: no length, and the call refused.
        a.work[0] = 0.0;
        if (a.status) *a.status = 0;
        return true;
    }
    pcsaf::Model model;
    const pcsaf::BuildResult r = pcsaf::build_model(*host, sizing, true, model);
    a.work[0] = static_cast<double>(r.words_needed);
    return true;
}

}  // namespace

extern "C" KELD_API void KELD_PCSAF1(KELD_PCSAF1_ARGS) {
    (void)SPARE1, (void)SPARE2, (void)SPARE3, (void)SPARE4, (void)SPARE5, (void)SPARE6, (void)SPARE7, (void)SPARE8;
    pcsaf::Arguments a;
    if (!P || !N || !read_common(a, T, NC, KVL, KPHI, KH, KS, KG, KV, KDIAG, KOPT, KSTAT, MW, TC, PC, KDS, XM, SIG,
                                 EPK, ITYPE, EPSAB, KAPAB, DIPM, XPOL, NSEG, LSEG, ISEG, WSEG, KIJC, LIJC, ATOL,
                                 AMETH, LUNIT, RHO, LWORK, WORK))
        return;
    a.p = *P;
    a.n = *N;
    a.idx = IDX;
    a.z = Z;
    a.out = {PHI, H, S, G, V, DPHI, DH, DS, DG, DV};
    if (answered_size_query(a)) return;
    try {
        pcsaf::monitor(a);
    } catch (...) {
        *KSTAT = 0;
    }
}

extern "C" KELD_API void KELD_PCSAF0(KELD_PCSAF0_ARGS) {
    (void)SPARE1, (void)SPARE2, (void)SPARE3, (void)SPARE4, (void)SPARE5, (void)SPARE6, (void)SPARE7, (void)SPARE8;
    pcsaf::Arguments a;
    if (!P || !N || !read_common(a, T, NC, KVL, KPHI, KH, KS, KG, KV, KDIAG, KOPT, KSTAT, MW, TC, PC, KDS, XM, SIG,
                                 EPK, ITYPE, EPSAB, KAPAB, DIPM, XPOL, NSEG, LSEG, ISEG, WSEG, KIJC, LIJC, ATOL,
                                 AMETH, LUNIT, RHO, LWORK, WORK))
        return;
    a.out = {PHI, H, S, G, V, DPHI, DH, DS, DG, DV};
    const Requests &rq = a.rq;
    if (*N >= 1 && ((rq.phi.value && !PHI) || (rq.h.value && !H) || (rq.s.value && !S) || (rq.g.value && !G) ||
                    (rq.v.value && !V) || !IDX)) {
        *KSTAT = 0;
        return;
    }
    if (a.lwork == -1) {
        // The largest need over the points.
        double most = 0.0;
        for (int64_t k = 0; k < *N && WORK; ++k) {
            pcsaf::Arguments one = a;
            one.n = 1;
            one.idx = IDX + k;
            static constexpr double kPure = 1.0;
            one.z = &kPure;
            one.p = P[k];
            answered_size_query(one);
            most = std::max(most, WORK[0]);
        }
        if (WORK) WORK[0] = most;
        return;
    }
    try {
        pcsaf::vector_monitor(a, P, *N, IDX, RHO);
    } catch (...) {
        *KSTAT = 0;
    }
}

KELD_FORTRAN_ALIAS(KELD_PCSAF1, keld_pcsaf1_)
KELD_FORTRAN_ALIAS(KELD_PCSAF0, keld_pcsaf0_)
