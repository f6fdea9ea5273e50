#include <cstdint>

#include "common/flags.h"
#include "exports/export_frame.h"
#include "saft/psaf_monitor.h"
#include "saft/saft_arguments.h"
#include "saft/saft_init.h"
#include "saft/saft_monitor.h"

using namespace keld;

namespace {

// The arguments shared by KELD_ESSAFT and KELD_ESSFTA; false when one that must be there is null.
bool read_saft_call(const double *T, const int64_t *KVL, const int64_t *KPHI, const int64_t *KH, const int64_t *KS,
                    const int64_t *KG, const int64_t *KV, const int64_t *KDS, const int64_t *KDIAG, int64_t *KSTAT,
                    KELD_SAFT_WORK_ARGS, const double *MWN, const double *X, double *TK, double *XMIJ, double *GIJ,
                    double *GIJD, double *GIJDD, double *PHI, double *H, double *S, double *G, double *V,
                    double *DPHI, double *DH, double *DS, double *DG, double *DV, const double *SFTKIJ,
                    const double *SFTLIJ, saft::SaftCall &c) {
    if (!T || !KVL || !KPHI || !KH || !KS || !KG || !KV || !KDS || !KDIAG || !KSTAT) return false;
    const void *arrays[] = {CID, TC, PC2,  SAFTM, SAFTV, SAFTU, SAFTE, U0IJ, D,   V0,   XM,    XMD,    XMD2,
                            XMD3, DMMIX, CHAIN, DUDX, MW, MWN, X, TK, XMIJ, GIJ, GIJD, GIJDD, SFTKIJ, SFTLIJ};
    for (const void *a : arrays)
        if (!a) return false;
    c.t = *T;
    c.kvl = *KVL;
    c.rq = Requests::decode(*KPHI, *KH, *KS, *KG, *KV);
    c.kds = *KDS;
    c.kdiag = *KDIAG;
    c.kstat = KSTAT;
    c.ids = CID;
    c.tc = TC;
    c.pc = PC2;
    c.m = SAFTM;
    c.v00 = SAFTV;
    c.u0 = SAFTU;
    c.e = SAFTE;
    c.u0_matrix = U0IJ;
    c.pos = {D, V0, XM, XMD, XMD2, XMD3, DMMIX, CHAIN, DUDX};
    c.mw = MW;
    c.mwn = MWN;
    c.x = X;
    c.dadx = TK;
    c.m_matrix = XMIJ;
    c.g = GIJ;
    c.g_rho = GIJD;
    c.g_rhorho = GIJDD;
    c.out = MonitorOutputs{PHI, H, S, G, V, DPHI, DH, DS, DG, DV};
    c.kij = SFTKIJ;
    c.lij = SFTLIJ;
    auto slots = [](const Flag &f, const double *value, const double *derivative) {
        return (!f.any() || value) && (!f.derivative || derivative);
    };
    const Requests &rq = c.rq;
    return slots(rq.phi, PHI, DPHI) && slots(rq.h, H, DH) && slots(rq.s, S, DS) && slots(rq.g, G, DG) &&
           slots(rq.v, V, DV);
}

}  // namespace

extern "C" KELD_API void KELD_ESSAFT(KELD_SAFT_ARGS) {
    saft::SaftCall c{};
    if (!P || !N || !read_saft_call(T, KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG, KSTAT, CID, TC, PC2, SAFTM, SAFTV,
                                    SAFTU, SAFTE, U0IJ, D, V0, XM, XMD, XMD2, XMD3, DMMIX, CHAIN, DUDX, MW, MWN, X,
                                    TK, XMIJ, GIJ, GIJD, GIJDD, PHI, H, S, G, V, DPHI, DH, DS, DG, DV, SFTKIJ,
                                    SFTLIJ, c))
        return;
    if (*N >= 1 && (!Z || !IDX)) return;
    c.p = *P;
    c.z = Z;
    c.n = *N;
    c.idx = IDX;
    try {
        saft::monitor(c);
    } catch (...) {
        saft::reject(c);
    }
}

extern "C" KELD_API void KELD_ESSFTA(KELD_SAFT_VECTOR_ARGS) {
    saft::SaftCall c{};
    if (!P || !N || !IDX || *N < 1 ||
        !read_saft_call(T, KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG, KSTAT, CID, TC, PC2, SAFTM, SAFTV, SAFTU, SAFTE,
                        U0IJ, D, V0, XM, XMD, XMD2, XMD3, DMMIX, CHAIN, DUDX, MW, MWN, X, TK, XMIJ, GIJ, GIJD,
                        GIJDD, PHI, H, S, G, V, DPHI, DH, DS, DG, DV, SFTKIJ, SFTLIJ, c))
        return;
    try {
        saft::vector_monitor(P, *N, IDX, MWN, c);
    } catch (...) {
        *KSTAT = 0;
    }
}

extern "C" KELD_API void KELD_ESSFTI(const int64_t *NDS) {
    if (!NDS) return;
    try {
        saft::initialise(*NDS);
    } catch (...) {
    }
}

extern "C" KELD_API void KELD_SFTHLP(int64_t *KSAFTM, int64_t *KSAFTV, int64_t *KSAFTU, int64_t *KSAFTE, int64_t *KTC,
                                     int64_t *KPC, int64_t *KMW, int64_t *KCID, int64_t *KD, int64_t *KV0,
                                     int64_t *KXM, int64_t *KXMD, int64_t *KXMD2, int64_t *KXMD3, int64_t *KDMMIX,
                                     int64_t *KCHAIN, int64_t *KDUDX, int64_t *KGIJ, int64_t *KGIJD,
                                     int64_t *KGIJDD, int64_t *KU0IJ, int64_t *KXMIJ, int64_t *KMWN, int64_t *KX,
                                     int64_t *KTK, const int64_t *KWORK, const int64_t *KSPARE, int64_t *KSAFTR,
                                     int64_t *KSFKIJ, int64_t *K883) {
    (void)KSPARE;
    int64_t *outputs[30] = {KSAFTM, KSAFTV, KSAFTU, KSAFTE, KTC,   KPC,   KMW,    KCID,  KD,     KV0,
                            KXM,    KXMD,   KXMD2,  KXMD3,  KDMMIX, KCHAIN, KDUDX, KGIJ,  KGIJD,  KGIJDD,
                            KU0IJ,  KXMIJ,  KMWN,   KX,     KTK,   nullptr, nullptr, KSAFTR, KSFKIJ, K883};
    if (!KWORK) return;
    for (int k = 0; k < 30; ++k)
        if (k != 25 && k != 26 && !outputs[k]) return;
    saft::Positions positions;
    if (!saft::positions(*KWORK, positions)) return;
    for (int k = 0; k < 30; ++k)
        if (outputs[k]) *outputs[k] = positions.value[k];
}

extern "C" KELD_API void KELD_PSAFM1(KELD_MONITOR_ARGS) {
    exports::run_monitor(saft::stored_monitor, T, P, Z, N, IDX, KWORK, KSPARE, KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG,
                         PHI, H, S, G, V, DPHI, DH, DS, DG, DV, KSTAT, KOPT);
}

extern "C" KELD_API void KELD_ESSFTB(KELD_VECTOR_ARGS) {
    exports::run_vector(saft::stored_vector_monitor, T, P, N, IDX, KWORK, KSPARE, KVL, KPHI, KH, KS, KG, KV, KDS,
                        KDIAG, PHI, H, S, G, V, DPHI, DH, DS, DG, DV, KSTAT, KOPT);
}

KELD_FORTRAN_ALIAS(KELD_ESSAFT, keld_essaft_)
KELD_FORTRAN_ALIAS(KELD_ESSFTA, keld_essfta_)
KELD_FORTRAN_ALIAS(KELD_ESSFTI, keld_essfti_)
KELD_FORTRAN_ALIAS(KELD_SFTHLP, keld_sfthlp_)
KELD_FORTRAN_ALIAS(KELD_PSAFM1, keld_psafm1_)
KELD_FORTRAN_ALIAS(KELD_ESSFTB, keld_essftb_)
