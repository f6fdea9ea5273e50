#include "exports/export_frame.h"
#include "sanchez_lacombe/sl_init.h"
#include "sanchez_lacombe/sl_monitor.h"

using namespace keld;

extern "C" KELD_API void KELD_ESSLP(KELD_MONITOR_ARGS) {
    exports::run_monitor(sanchez_lacombe::monitor, T, P, Z, N, IDX, KWORK, KSPARE, KVL, KPHI, KH, KS, KG, KV, KDS,
                         KDIAG, PHI, H, S, G, V, DPHI, DH, DS, DG, DV, KSTAT, KOPT);
}

extern "C" KELD_API void KELD_ESSLPA(KELD_VECTOR_ARGS) {
    exports::run_vector(sanchez_lacombe::vector_monitor, T, P, N, IDX, KWORK, KSPARE, KVL, KPHI, KH, KS, KG, KV,
                        KDS, KDIAG, PHI, H, S, G, V, DPHI, DH, DS, DG, DV, KSTAT, KOPT);
}

extern "C" KELD_API void KELD_ESPSLI(const int64_t *NDS) {
    if (!NDS) return;
    try {
        sanchez_lacombe::initialise(*NDS);
    } catch (...) {
    }
}

KELD_FORTRAN_ALIAS(KELD_ESSLP, keld_esslp_)
KELD_FORTRAN_ALIAS(KELD_ESSLPA, keld_esslpa_)
KELD_FORTRAN_ALIAS(KELD_ESPSLI, keld_espsli_)
