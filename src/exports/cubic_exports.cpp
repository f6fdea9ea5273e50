#include "cubic/cubic_monitor.h"
#include "exports/export_frame.h"

using namespace keld;

namespace {

constexpr std::int64_t kNoOption = 0;

bool read_cubic_extras(const int64_t *keosopt, const int64_t *kmodel, const int64_t *krule, const int64_t *kpass,
                       cubic::CubicCall &call) {
    if (!keosopt || !kmodel || !krule || !kpass) return false;
    call.keosopt = *keosopt;
    call.kmodel = *kmodel;
    call.krule = *krule;
    call.kpass = *kpass;
    return true;
}

}  // namespace

extern "C" KELD_API void KELD_ES40(KELD_CUBIC_MONITOR_ARGS) {
    (void)KSPARE;
    cubic::CubicCall call{};
    if (!read_monitor_call(T, P, Z, N, IDX, KWORK, KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG, PHI, H, S, G, V, DPHI, DH,
                           DS, DG, DV, KRET, &kNoOption, call.base) ||
        !read_cubic_extras(KEOSOPT, KMODEL, KRULE, KPASS, call))
        return;
    try {
        cubic::monitor(call);
    } catch (...) {
        reject(call.base);
    }
}

extern "C" KELD_API void KELD_ES40A(KELD_CUBIC_VECTOR_ARGS) {
    (void)KSPARE;
    if (!T || !P || !N || !IDX || *N < 1) return;
    static constexpr double kPure = 1.0;
    cubic::CubicCall call{};
    if (!read_monitor_call(T, P, &kPure, N, IDX, KWORK, KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG, PHI, H, S, G, V, DPHI,
                           DH, DS, DG, DV, KRET, &kNoOption, call.base) ||
        !read_cubic_extras(KEOSOPT, KMODEL, KRULE, KPASS, call))
        return;
    try {
        cubic::vector_monitor(*T, P, *N, IDX, call);
    } catch (...) {
        reject(call.base);
    }
}

KELD_FORTRAN_ALIAS(KELD_ES40, keld_es40_)
KELD_FORTRAN_ALIAS(KELD_ES40A, keld_es40a_)
