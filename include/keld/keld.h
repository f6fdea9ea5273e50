/*
 * keld/keld.h - exported routines of keld, equation-of-state property
 * monitors for mixtures that contain polymers.
 *
 * Calling convention (every routine):
 *  - no result; every argument by pointer (a Fortran host passes by reference);
 *  - integers int64_t, reals double; arrays 1-based in meaning (element 1 at
 *    index 0), NC-by-NC matrices column-major;
 *  - SI units on a kmol basis: T in K, P in Pa, V in m3/kmol, H and G in J/kmol,
 *    S in J/(kmol K); departures from the ideal gas (H - H_ig(T),
 *    S - S_ig(T, P_ref), G - G_ig(T, P_ref)); PHI holds ln(fugacity coefficient);
 *  - request flags KPHI, KH, KS, KG, KV: 0 nothing, 1 value, 2 temperature
 *    derivative, 3 both (any integer is accepted; the bit tests decide);
 *  - no routine stops its caller: problems are reported through KSTAT (cleared
 *    to 0 on a failed density root) and the host's message service.
 *
 * Every routine needs a host table installed first (keld/host.h). Without one
 * it returns at once, writing nothing.
 *
 * Arguments keld cannot honour never lead to a read or write outside the
 * given arrays: the monitor sets every requested output to NaN and KSTAT to 0,
 * and returns, having written nothing else. They are: N larger than the number
 * of components NC; a component number outside 1..NC or listed twice; mole
 * fractions Z that are negative or not finite or whose sum differs from 1 by
 * more than 1e-9; a phase flag KVL other than 1 (vapour) and 2 (liquid); a
 * data set below 1 or above the host's count; a T or P that is not a finite
 * positive number; a work area outside the host's work block (KWORK < 0, or
 * KWORK + the area's length beyond the block); a parameter block outside the
 * host store. A parameter that equals the missing-value marker is refused the
 * same way, with a message naming the parameter and the component. N < 1
 * returns at once without writing anything. The vector forms evaluate each
 * element alone (Z = 1), so a component may be listed more than once there
 * and N may exceed NC (the same fluid at several pressures).
 *
 * Each routine is also exported under a gfortran-style alias: lower case with
 * a trailing underscore (KELD_ESSLP -> keld_esslp_), the same code.
 *
 * Threads. keld creates none. Calls from several threads on one installed
 * host are safe when each call uses its own work area (its own KWORK range):
 * a call keeps its state in its work area and on its stack; the few words
 * that every call writes and nobody reads back within a call (a polymer's
 * parameter-source flag and pseudo-critical values, the Sanchez-Lacombe
 * working copies TSTARL/PSTARL/DSTARL, HostDpdvControl(1), the single-component
 * switches of HostRootControl) are written with atomic stores; each
 * density-root conversation hands the host a dP/dV cell of its own; and
 * message lines are written and printed one message at a time. The host's
 * operations must be safe to call from several threads and its root routines
 * must keep one conversation per thread (the reference host's do). Installing
 * a host table is not synchronised with calls: install it before they start.
 */
#ifndef KELD_KELD_H
#define KELD_KELD_H

#include <stdint.h>

#include "keld/export.h"
#include "keld/host.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The 27 arguments of a property monitor, in order:
 *   T, P        temperature (K), pressure (Pa)
 *   Z(N)        mole fractions of the listed components on the host's apparent basis
 *   N, IDX(N)   number of listed components and their component numbers (1..NC)
 *   KWORK       offset (>= 0) of the call's work area in the host's work block: it
 *               starts at HostStore(HostWorkOffset + KWORK); one per concurrent call
 *   KSPARE      not read
 *   KVL         phase: 1 vapour, 2 liquid
 *   KPHI, KH, KS, KG, KV   request flags
 *   KDS         parameter data set (1, 2, ...)
 *   KDIAG       diagnostic level, handed to the host's root routines and message check
 *   PHI(N), H, S, G, V            values
 *   DPHI(N), DH, DS, DG, DV       temperature derivatives
 *   KSTAT       status: set to 0 when the density root fails, otherwise untouched
 *   KOPT        option: 5 averages polymer cross parameters with segment mole fractions
 */
#define KELD_MONITOR_ARGS                                                                                   \
    const double *T, const double *P, const double *Z, const int64_t *N, const int64_t *IDX,                 \
        const int64_t *KWORK, const int64_t *KSPARE, const int64_t *KVL, const int64_t *KPHI,              \
        const int64_t *KH, const int64_t *KS, const int64_t *KG, const int64_t *KV, const int64_t *KDS,    \
        const int64_t *KDIAG, double *PHI, double *H, double *S, double *G, double *V, double *DPHI,       \
        double *DH, double *DS, double *DG, double *DV, int64_t *KSTAT, const int64_t *KOPT

/*
 * The 26 arguments of a per-component vector form: T; P(N), one pressure per
 * listed component; N; IDX(N); KWORK ... KDIAG as above; then PHI(N), H(N),
 * S(N), G(N), V(N), DPHI(N), DH(N), DS(N), DG(N), DV(N), element k belonging
 * to component IDX(k) alone (Z = 1) at P(k); KSTAT; KOPT.
 */
#define KELD_VECTOR_ARGS                                                                                    \
    const double *T, const double *P, const int64_t *N, const int64_t *IDX, const int64_t *KWORK,            \
        const int64_t *KSPARE, const int64_t *KVL, const int64_t *KPHI, const int64_t *KH, const int64_t *KS, \
        const int64_t *KG, const int64_t *KV, const int64_t *KDS, const int64_t *KDIAG, double *PHI,       \
        double *H, double *S, double *G, double *V, double *DPHI, double *DH, double *DS, double *DG,       \
        double *DV, int64_t *KSTAT, const int64_t *KOPT

/* Sanchez-Lacombe lattice fluid. Work area: 10 NC + 5 NC^2 words. */
KELD_API void KELD_ESSLP(KELD_MONITOR_ARGS);
KELD_API void KELD_ESSLPA(KELD_VECTOR_ARGS);
/* Completes missing Sanchez-Lacombe parameters of NDS data sets (run once before property calls). */
KELD_API void KELD_ESPSLI(const int64_t *NDS);

/* PC-SAFT (hard chain and dispersion). Work area: 18 NC + 7 NC^2 words. */
KELD_API void KELD_ESPCSF(KELD_MONITOR_ARGS);
KELD_API void KELD_ESPCSA(KELD_VECTOR_ARGS);
/* Reports missing PC-SAFT parameters of NDS data sets (run once before property calls). */
KELD_API void KELD_ESPCSI(const int64_t *NDS);

KELD_API void keld_esslp_(KELD_MONITOR_ARGS);
KELD_API void keld_esslpa_(KELD_VECTOR_ARGS);
KELD_API void keld_espsli_(const int64_t *NDS);
KELD_API void keld_espcsf_(KELD_MONITOR_ARGS);
KELD_API void keld_espcsa_(KELD_VECTOR_ARGS);
KELD_API void keld_espcsi_(const int64_t *NDS);

#ifdef __cplusplus
}
#endif

#endif /* KELD_KELD_H */
