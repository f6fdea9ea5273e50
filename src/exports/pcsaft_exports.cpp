#include "exports/export_frame.h"
#include "pcsaft/pcsaft_init.h"
#include "pcsaft/pcsaft_monitor.h"

using namespace keld;

extern "C" KELD_API void KELD_ESPCSF(KELD_MONITOR_ARGS) {
    exports::run_monitor(pcsaft::monitor, T, P, Z, N, IDX, KWORK, KSPARE, KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG, PHI,
                         H, S, G, V, DPHI, DH, DS, DG, DV, KSTAT, KOPT);
}

extern "C" KELD_API void KELD_ESPCSA(KELD_VECTOR_ARGS) {
    exports::run_vector(pcsaft::vector_monitor, T, P, N, IDX, KWORK, KSPARE, KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG,
                        PHI, H, S, G, V, DPHI, DH, DS, DG, DV, KSTAT, KOPT);
}

extern "C" KELD_API void KELD_ESPCSI(const int64_t *NDS) {
    if (!NDS) return;
    try {
        pcsaft::initialise(*NDS);
    } catch (...) {
    }
}

KELD_FORTRAN_ALIAS(KELD_ESPCSF, keld_espcsf_)
KELD_FORTRAN_ALIAS(KELD_ESPCSA, keld_espcsa_)
KELD_FORTRAN_ALIAS(KELD_ESPCSI, keld_espcsi_)
