// Shared shape of the exported entry points: read the by-reference arguments
// into a MonitorCall and hand it to the family. Nothing escapes an export:
// the families do not throw, and a guard turns anything unforeseen into a
// rejected call rather than unwinding into a Fortran caller.
#pragma once

#include "common/monitor_call.h"
#include "keld/keld.h"

namespace keld::exports {

template <class Family>
void run_monitor(Family &&family, KELD_MONITOR_ARGS) {
    (void)KSPARE;
    MonitorCall call{};
    if (!read_monitor_call(T, P, Z, N, IDX, KWORK, KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG, PHI, H, S, G, V, DPHI,
                           DH, DS, DG, DV, KSTAT, KOPT, call))
        return;
    try {
        family(call);
    } catch (...) {
        reject(call);
    }
}

template <class Family>
void run_vector(Family &&family, KELD_VECTOR_ARGS) {
    (void)KSPARE;
    if (!T || !P || !N || !IDX || *N < 1) return;
    static constexpr double kPure = 1.0;
    MonitorCall shared{};
    if (!read_monitor_call(T, P, &kPure, N, IDX, KWORK, KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG, PHI, H, S, G, V,
                           DPHI, DH, DS, DG, DV, KSTAT, KOPT, shared))
        return;
    try {
        family(*T, P, *N, IDX, shared);
    } catch (...) {
        reject(shared);
    }
}

}  // namespace keld::exports

// Defines the gfortran-style alias `lower` of the exported routine `upper`.
#define KELD_FORTRAN_ALIAS(upper, lower) extern "C" KELD_API decltype(upper) lower __attribute__((alias(#upper)));
