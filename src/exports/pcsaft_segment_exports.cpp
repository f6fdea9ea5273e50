#include "exports/export_frame.h"
#include "exports/segment_export.h"
#include "pcsaft/pcsaft_segment_monitor.h"
#include "pcsaft/pcsaft_segment_work.h"

using namespace keld;

extern "C" KELD_API void KELD_PCSF01(KELD_PCSF01_ARGS) {
    (void)KSPARE, (void)KPASS1, (void)KPASS2;
    const exports::SegmentCallArgs a{T,     P,     Z,     N,     IDX,   W,     KVL,    KPHI,   KH,   KS,  KG,
                                     KV,    KDS,   KDIAG, {PHI, H, S, G, V, DPHI, DH, DS, DG, DV},   KSTAT,
                                     KOPT,  MW,    SOURCE, NC,   NS,    SEG,   SEGMOL, POLY,   IOPT, IOPTC,
                                     OPTVEC, OPTFAC, NWORK, OPTOUT, X,  MWN,   OPTVAL, SEGWT};
    const pcsaft::SegmentParameters par{TC, PC, PCSFTM, PCSFTV, PCSFTU, PCSFTR, KIJTAB, KIJWORDS ? *KIJWORDS : 0};
    exports::run_segment(exports::read_segment_call(a, false),
                         [&](const segment::Call &c) { pcsaft::segment_monitor(c, par); });
}

extern "C" KELD_API void KELD_PCSF00(KELD_PCSF00_ARGS) {
    (void)KSPARE;
    if (!N || *N < 1 || !NC || !P || !IDX || !MWN) return;
    const std::int64_t no_option = 0, nwork = segment::work_words(*NC);
    double optout = 0.0;
    const exports::SegmentCallArgs a{T,     P,        nullptr, N,      IDX,  W,      KVL,    KPHI,   KH,  KS,
                                     KG,    KV,       KDS,     KDIAG,  {PHI, H, S, G, V, DPHI, DH, DS, DG, DV},
                                     KSTAT, KOPT,     MW,      SOURCE, NC,   NS,     SEG,    SEGMOL, POLY,
                                     &no_option, &no_option, OPTVEC, nullptr, &nwork, &optout, nullptr, MWN,
                                     OPTVAL, SEGWT};
    const pcsaft::SegmentParameters par{TC, PC, PCSFTM, PCSFTV, PCSFTU, PCSFTR, KIJTAB, KIJWORDS ? *KIJWORDS : 0};
    exports::run_segment(exports::read_segment_call(a, false), [&](const segment::Call &c) {
        pcsaft::segment_vector_monitor(c, par, P, MWN, OPTVAL);
    });
}

extern "C" KELD_API void KELD_PCSFWK(KELD_PCSFWK_ARGS) {
    (void)K1, (void)K2, (void)K3, (void)K4, (void)K7, (void)K8, (void)K23, (void)K32, (void)K33;
    if (!NC || *NC < 0 || *NC > (std::int64_t{1} << 24)) return;
    int64_t *out[37] = {nullptr, K1,  K2,  K3,  K4,  K5,  K6,  K7,  K8,  K9,  K10, K11, K12,
                        K13,     K14, K15, K16, K17, K18, K19, K20, K21, K22, K23, K24, K25,
                        K26,     K27, K28, K29, K30, K31, K32, K33, K34, K35, K36};
    for (int argument = 1; argument <= 36; ++argument) {
        const std::int64_t position = pcsaft::segment_work_position(argument, *NC);
        if (position != 0 && out[argument]) *out[argument] = position;
    }
}

KELD_FORTRAN_ALIAS(KELD_PCSF01, keld_pcsf01_)
KELD_FORTRAN_ALIAS(KELD_PCSF00, keld_pcsf00_)
KELD_FORTRAN_ALIAS(KELD_PCSFWK, keld_pcsfwk_)
