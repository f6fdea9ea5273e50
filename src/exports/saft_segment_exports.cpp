#include "exports/export_frame.h"
#include "exports/segment_export.h"
#include "saft/saft_energy_correction.h"
#include "saft/saft_segment_monitor.h"

using namespace keld;

extern "C" KELD_API void KELD_SAFT01(KELD_SAFT01_ARGS) {
    (void)KSPARE, (void)KPASS1, (void)KPASS2;
    const exports::SegmentCallArgs a{T,     P,     Z,     N,     IDX,   W,     KVL,    KPHI,   KH,   KS,  KG,
                                     KV,    KDS,   KDIAG, {PHI, H, S, G, V, DPHI, DH, DS, DG, DV},   KSTAT,
                                     KOPT,  MW,    SOURCE, NC,   NS,    SEG,   SEGMOL, POLY,   IOPT, IOPTC,
                                     OPTVEC, OPTFAC, NWORK, OPTOUT, X,  MWN,   OPTVAL, SEGWT};
    const saft::SegmentParameters par{TC, PC, SAFTM, SAFTV, SAFTU, SAFTR, SAFTE, KIJTAB, KIJWORDS ? *KIJWORDS : 0};
    exports::run_segment(exports::read_segment_call(a, false),
                         [&](const segment::Call &c) { saft::segment_monitor(c, par); });
}

extern "C" KELD_API void KELD_SAFT00(KELD_SAFT00_ARGS) {
    (void)KSPARE;
    if (!N || *N < 1 || !NC || !P || !IDX || !MWN) return;
    const std::int64_t no_option = 0, nwork = segment::work_words(*NC);
    double optout = 0.0;
    const exports::SegmentCallArgs a{T,     P,        nullptr, N,      IDX,  W,      KVL,    KPHI,   KH,  KS,
                                     KG,    KV,       KDS,     KDIAG,  {PHI, H, S, G, V, DPHI, DH, DS, DG, DV},
                                     KSTAT, KOPT,     MW,      SOURCE, NC,   NS,     SEG,    SEGMOL, POLY,
                                     &no_option, &no_option, OPTVEC, nullptr, &nwork, &optout, nullptr, MWN,
                                     OPTVAL, SEGWT};
    const saft::SegmentParameters par{TC, PC, SAFTM, SAFTV, SAFTU, SAFTR, SAFTE, KIJTAB, KIJWORDS ? *KIJWORDS : 0};
    exports::run_segment(exports::read_segment_call(a, false), [&](const segment::Call &c) {
        saft::segment_vector_monitor(c, par, P, MWN, OPTVAL);
    });
}

extern "C" KELD_API void KELD_SETEPS(const int64_t *N, const int64_t *IDX, const int64_t *KSPARE, double *EPS) {
    (void)KSPARE;
    const std::optional<host::Host> host = host::Host::current();
    if (!host || !N || !IDX || !EPS) return;
    saft::set_energy_corrections(*host, *N, IDX, EPS);
}

KELD_FORTRAN_ALIAS(KELD_SAFT01, keld_saft01_)
KELD_FORTRAN_ALIAS(KELD_SAFT00, keld_saft00_)
KELD_FORTRAN_ALIAS(KELD_SETEPS, keld_seteps_)
