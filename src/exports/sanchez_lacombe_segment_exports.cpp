#include "exports/export_frame.h"
#include "exports/segment_export.h"
#include "sanchez_lacombe/sl_segment_monitor.h"

using namespace keld;

namespace {

sanchez_lacombe::SegmentParameters parameters(const double *t_star, const double *p_star, const double *rho_star,
                                              const double *k_table, const double *eta_table,
                                              const int64_t *k_words, const int64_t *eta_words) {
    return {t_star, p_star, rho_star, k_table, eta_table, k_words ? *k_words : 0, eta_words ? *eta_words : 0};
}

}  // namespace

extern "C" KELD_API void KELD_POSL01(KELD_POSL01_ARGS) {
    (void)KSPARE, (void)KPASS1, (void)KPASS2;
    const exports::SegmentCallArgs a{T,     P,     Z,     N,     IDX,   W,     KVL,    KPHI,   KH,   KS,  KG,
                                     KV,    KDS,   KDIAG, {PHI, H, S, G, V, DPHI, DH, DS, DG, DV},   KSTAT,
                                     KOPT,  MW,    SOURCE, NC,   NS,    SEG,   SEGMOL, POLY,   IOPT, IOPTC,
                                     OPTVEC, OPTFAC, NWORK, OPTOUT, X,  MWN,   OPTVAL, SEGWT};
    const auto par = parameters(TSTAR, PSTAR, RSTAR, KIJTAB, ETATAB, KIJWORDS, ETAWORDS);
    exports::run_segment(exports::read_segment_call(a, true),
                         [&](const segment::Call &c) { sanchez_lacombe::segment_monitor(c, par); });
}

extern "C" KELD_API void KELD_POSL00(KELD_POSL00_ARGS) {
    (void)KSPARE;
    if (!N || *N < 1 || !NC || !P || !IDX || !MWN) return;
    const std::int64_t no_option = 0, nwork = segment::work_words(*NC);
    double optout = 0.0;
    const exports::SegmentCallArgs a{T,     P,        nullptr, N,      IDX,  W,      KVL,    KPHI,   KH,  KS,
                                     KG,    KV,       KDS,     KDIAG,  {PHI, H, S, G, V, DPHI, DH, DS, DG, DV},
                                     KSTAT, KOPT,     MW,      SOURCE, NC,   NS,     SEG,    SEGMOL, POLY,
                                     &no_option, &no_option, OPTVEC, nullptr, &nwork, &optout, nullptr, MWN,
                                     OPTVAL, SEGWT};
    const auto par = parameters(TSTAR, PSTAR, RSTAR, KIJTAB, ETATAB, KIJWORDS, ETAWORDS);
    exports::run_segment(exports::read_segment_call(a, true), [&](const segment::Call &c) {
        sanchez_lacombe::segment_vector_monitor(c, par, P, MWN, OPTVAL);
    });
}

KELD_FORTRAN_ALIAS(KELD_POSL01, keld_posl01_)
KELD_FORTRAN_ALIAS(KELD_POSL00, keld_posl00_)
