// KELD_ESPSAI and KELD_ESPSAHI: prepare the associating PC-SAFT model's parameters in the host store.
// Nothing escapes an export.
#include "exports/export_frame.h"
#include "keld/keld.h"
#include "pcsaft_assoc/pcsaf_fit.h"

using namespace keld;

extern "C" KELD_API void KELD_ESPSAI(const int64_t *NDS) {
    if (!NDS) return;
    try {
        pcsaf::hand_over_binary_tables(*NDS);
    } catch (...) {
    }
}

extern "C" KELD_API void KELD_ESPSAHI(const int64_t *NDS) {
    if (!NDS) return;
    try {
        pcsaf::fit_missing_parameters(*NDS);
    } catch (...) {
    }
}

KELD_FORTRAN_ALIAS(KELD_ESPSAI, keld_espsai_)
KELD_FORTRAN_ALIAS(KELD_ESPSAHI, keld_espsahi_)
