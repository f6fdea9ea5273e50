/*
 * keld/case_c.h - case files from C and Fortran: a reference host filled from
 * a case file, and the case's states for a program that calls the property
 * monitors itself.
 *
 * Two entry points:
 *  - keld_refhost_load_case() returns a new host holding the case's
 *    components and parameters; it is an ordinary keld_refhost (install it,
 *    read it, destroy it with the functions of keld/refhost_c.h).
 *  - keld_refhost_case_open() also keeps the case's states. The case owns its
 *    host (keld_refhost_case_host); keld_refhost_case_close() destroys both.
 *
 * A state's arguments are those of a 27-argument monitor call (keld/keld.h):
 * T (K), P (Pa), N, IDX(N), Z(N) (apparent mole fractions), KVL (1 vapour,
 * 2 liquid), the request flags KPHI, KH, KS, KG, KV, KDS, KDIAG and KOPT; the
 * state's model names the monitor ("sanchez-lacombe": KELD_ESSLP,
 * "pcsaft": KELD_ESPCSF). Call the family's initialisation routine
 * (KELD_ESPSLI / KELD_ESPCSI) once with NDS = keld_refhost_case_data_set_count
 * before the first monitor call, as a simulator does.
 *
 * Error texts are NUL-terminated and truncated to `capacity` bytes (which
 * includes the NUL). A wrong case file gives the place in the file first,
 * e.g. "case.json:states[1].mass_fractions: fractions add up to 0.9, not 1 ...".
 * No function throws or aborts. State numbers are 1-based.
 */
#ifndef KELD_CASE_C_H
#define KELD_CASE_C_H

#include <stdint.h>

#include "keld/export.h"
#include "keld/refhost_c.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A new host filled from the case file at `path`; NULL with the message in
 * `error` (if not NULL) when the file cannot be read or is wrong. */
KELD_API keld_refhost *keld_refhost_load_case(const char *path, char *error, int64_t capacity);

typedef struct keld_refhost_case keld_refhost_case;

/* Loads a case with its states; NULL with the message in `error` on failure. */
KELD_API keld_refhost_case *keld_refhost_case_open(const char *path, char *error, int64_t capacity);
/* Destroys the case and its host. */
KELD_API void keld_refhost_case_close(keld_refhost_case *c);
/* The case's host (owned by the case; do not destroy it). NULL for NULL. */
KELD_API keld_refhost *keld_refhost_case_host(keld_refhost_case *c);

/* Number of states (0 for NULL) and of parameter data sets (NDS; 0 for NULL). */
KELD_API int64_t keld_refhost_case_state_count(const keld_refhost_case *c);
KELD_API int64_t keld_refhost_case_data_set_count(const keld_refhost_case *c);

/* The monitor arguments of state `state`. `capacity` is the length of idx and
 * z; when the state lists more components, *n is set and
 * KELD_REFHOST_OUT_OF_RANGE returned without writing idx and z. `flags`
 * receives KPHI, KH, KS, KG, KV (5 values). Returns a KELD_REFHOST_ code. */
KELD_API int keld_refhost_case_state(const keld_refhost_case *c, int64_t state, double *t, double *p,
                                     int64_t *n, int64_t *idx, double *z, int64_t capacity, int64_t *kvl,
                                     int64_t *flags, int64_t *kds, int64_t *kdiag, int64_t *kopt);
/* The state's model name and label, NUL-terminated, truncated to `capacity`. */
KELD_API int keld_refhost_case_state_model(const keld_refhost_case *c, int64_t state, char *name,
                                           int64_t capacity);
KELD_API int keld_refhost_case_state_label(const keld_refhost_case *c, int64_t state, char *label,
                                           int64_t capacity);

/* Evaluates state `state` with its model as the tools do (any registered model, also those whose
 * monitors take argument lists of their own, such as "pcsaft-assoc": the host gathers the arrays).
 * phi and dphi receive ln phi and d ln phi/dT per listed component (capacity words at least),
 * values H, S, G, V, dH/dT, dS/dT, dG/dT, dV/dT (8 words); what the state's flags do not ask for, and
 * what the monitor does not return, is NaN. kstat receives the monitor's status (1 ok). The host is
 * installed and its message lines are captured (read them with keld_refhost_captured_line). */
KELD_API int keld_refhost_case_evaluate(keld_refhost_case *c, int64_t state, double *phi, double *dphi,
                                        int64_t capacity, double *values, int64_t *kstat);

#ifdef __cplusplus
}
#endif

#endif /* KELD_CASE_C_H */
