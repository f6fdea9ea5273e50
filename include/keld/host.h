/*
 * keld/host.h - the services a process-simulation host provides to keld.
 *
 * keld owns no parameters, work space or message sinks of its own. Everything
 * that lives longer than one call belongs to the host and is reached through
 * one table of data blocks and operations, installed at run time with
 * keld_host_install(). A simulator, keld's reference host and a test fake all
 * fill the same table, so they are interchangeable; a test may copy the
 * installed table, replace one operation and install the copy.
 *
 * Conventions (those of the exported routines):
 *  - every operation takes its arguments by pointer; integers are int64_t,
 *    reals double; arrays are 1-based in meaning (element 1 at index 0) and
 *    NC-by-NC matrices column-major: (i, j) at (j - 1) * NC + i;
 *  - a logical is an integer, true = -1 (all bits set), false = 0, and only
 *    its lowest bit is tested;
 *  - HostStore and HostRootControl are arrays of 8-byte words, each holding a
 *    double or an int64_t bit pattern (the two views of one Fortran array);
 *  - every block comes with its length in words, and keld never reads or
 *    writes a block outside that length, whatever the arguments of a call;
 *  - names and routine identifiers are blank-padded characters, not
 *    NUL-terminated: a routine identifier is two 8-character words (16 bytes),
 *    a component identifier two 4-character words (8 bytes).
 */
#ifndef KELD_HOST_H
#define KELD_HOST_H

#include <stdint.h>

#include "keld/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Character widths of the identifiers exchanged with the host. */
#define KELD_ROUTINE_ID_CHARS 16
#define KELD_MESSAGE_LINES 10
#define KELD_MESSAGE_LINE_CHARS 80

/* Host operation signatures. */
typedef int64_t (*keld_param_offset_fn)(const char *name, const int64_t *name_length);
typedef int64_t (*keld_component_test_fn)(const int64_t *component);
typedef void (*keld_apparent_to_true_fn)(const int64_t *n, const int64_t *idx, const double *mw_by_component,
                                         const double *z, double *x);
typedef void (*keld_apparent_to_weight_fn)(const double *z, const int64_t *n, const int64_t *idx, double *w);
typedef void (*keld_number_average_mw_fn)(const int64_t *option, const int64_t *n, const int64_t *idx,
                                          double *mwn);
typedef void (*keld_find_polymer_map_fn)(int64_t *handle);
typedef int64_t (*keld_locate_fn)(const int64_t *handle);
typedef void (*keld_locate_matrix_fn)(const int64_t *handle, int64_t *out1, int64_t *out2, int64_t *out3);
typedef void (*keld_segment_fractions_fn)(const int64_t *option, const int64_t *polymer, double *fractions);
typedef int64_t (*keld_message_check_fn)(const char *routine_id, const int64_t *check_class,
                                         const int64_t *number, const int64_t *level,
                                         const int64_t *global8, const int64_t *word_a,
                                         const int64_t *word_b, const int64_t *word_c);
typedef void (*keld_print_message_fn)(const int64_t *line_count);
/* Reverse-communication density root (vapour-like or liquid-like). */
typedef void (*keld_root_fn)(int64_t *state, int64_t *mode, const double *v_close_packed,
                             const double *v_critical, const double *v_dividing, const double *t,
                             const double *p, double *v, double *p_calc, double *dpdv,
                             const char *routine_id, const int64_t *diag_level);
/* Evaluates a six-coefficient binary table at temperature t into an NC-by-NC matrix. */
typedef void (*keld_binary_table_fn)(const int64_t *n_coefficients, const int64_t *n_used, const double *t,
                                     const double *table, double *kij);
/* Hands a coefficient table to the host's temperature-table service. */
typedef void (*keld_temp_param_fn)(const int64_t *n_coefficients, const int64_t *nc, const double *table,
                                   const int64_t *form, const int64_t *option, double *result);
/* Alpha function of the cubic equation of state: for the n listed components
 * (component numbers idx, critical temperatures tc and acentric factors omega
 * by position, as the monitor uses them) at temperature t, alpha(T) and its
 * first and second temperature derivatives. `option` is the monitor's KEOSOPT,
 * `data_set` its KDS. */
typedef void (*keld_alpha_fn)(const int64_t *option, const int64_t *data_set, const int64_t *n,
                              const int64_t *idx, const double *t, const double *tc, const double *omega,
                              double *alpha, double *dalpha, double *d2alpha);

/* Association solver: numerical services of the site-fraction and derivative solvers, and the
 * formatted diagnostic output. Matrices are column-major with leading dimension lda; pivots are
 * 1-based row numbers (LAPACK's convention). */
/* Position (1..n) of *value among vector(1..n); 0 when absent (HostComponentVector). */
typedef int64_t (*keld_component_vector_fn)(const int64_t *value, const int64_t *vector, const int64_t *n);
/* Accelerated successive substitution (HostAccelerate): turns the substitution change of n unknowns
 * into an accelerated change, in place. *state = 0 starts a new sequence; the routine keeps its
 * history in work (work_words >= n + 2) and in *state between calls. */
typedef void (*keld_accelerate_fn)(const int64_t *n, double *change, int64_t *state, double *work,
                                   const int64_t *work_words);
/* Quasi-Newton step for the fixed point x = g(x) (HostConvergenceTest): from the values x and the
 * substitution change f = g(x) - x, writes the step to take into step. The matrix H (n x n, the
 * negated inverse Jacobian of f) is the first n*n words of work, followed by the last x and f
 * (work_words >= n*n + 4n). *state: 1 starts from H = identity, 2 starts from the H the caller left
 * in work, 3 continues with a Broyden update from the previous call; the routine sets *state = 3. */
typedef void (*keld_convergence_test_fn)(const int64_t *n, const double *x, const double *f, double *step,
                                         int64_t *state, double *work, const int64_t *work_words);
/* LU factorisation with partial pivoting (HostLuFactor); *ier = 0, k > 0 when U(k,k) is zero or not
 * finite (singular), -1 for invalid dimensions. */
typedef void (*keld_lu_factor_fn)(const int64_t *n, double *a, const int64_t *lda, int64_t *pivots,
                                  int64_t *ier);
/* Solves A x = b with the factors of HostLuFactor; b is overwritten by x (HostLuSolve). */
typedef void (*keld_lu_solve_fn)(const int64_t *n, const double *a, const int64_t *lda, const int64_t *pivots,
                                 double *b);
/* Inverts A in place (HostMatrixInvert); work_words >= n; *ier as HostLuFactor. */
typedef void (*keld_matrix_invert_fn)(const int64_t *n, double *a, const int64_t *lda, int64_t *pivots,
                                      double *work, const int64_t *work_words, int64_t *ier);
/* Safeguarded backtracking line search on phi(fac) = objective along a direction, to be minimised
 * (HostLineSearch), in reverse communication: f0 = phi(0), slope0 = phi'(0), f = phi(*fac). *ksrch
 * = -1 on entry starts a search; on return -1 accepts *fac, k >= 1 asks for phi at the new *fac
 * (the k-th trial), -2 gives up (no descent, or the step became too small). work: 4 words. */
typedef void (*keld_line_search_fn)(const double *f0, const double *slope0, const double *f, double *fac,
                                    int64_t *ksrch, double *work);
/* Writes one formatted record of `length` characters to the Fortran output unit `unit`: the record
 * as its FORMAT wrote it, trailing blanks of its last field included, without padding. */
typedef void (*keld_write_unit_fn)(const int64_t *unit, const char *record, const int64_t *length);
/* Binary parameters from temperature coefficients (PolyBinaryKij, and PolyBinaryKijDeriv for their
 * temperature derivatives): for every pair (i, j) of the n_list component numbers in list (i = j
 * included), writes the value at temperature t (or its derivative d/dT, 1/K) of the coefficients
 * table(1..n_coefficients, i, j) into kij(i, j); table is a Fortran TABLE(n_coefficients, NC, NC) and
 * kij an NC-by-NC matrix, NC = nc. Other entries of kij are not written. */
typedef void (*keld_binary_kij_fn)(const int64_t *n_coefficients, const int64_t *nc, const int64_t *n_list,
                                   const int64_t *list, const double *t, const double *table, double *kij);

/* Segment-based monitors. True mole fractions x(N) of the n listed components
 * from apparent ones z(N), with MW by component number (mw[i-1]) and MWN by
 * position: x_k proportional to z_k MW(idx_k)/MWN_k, for every k whose
 * polymer flag (by component number, nc entries) is 1, and to z_k otherwise;
 * normalised to sum 1. `option` is 1 (the only form the monitors use). */
typedef void (*keld_volume_apparent_to_true_fn)(const int64_t *n, const int64_t *idx, const double *mw,
                                                const double *mwn, const double *z, double *x,
                                                const int64_t *option, const int64_t *nc,
                                                const int64_t *polymer_flags);
/* Evaluates a six-coefficient binary table (n_coefficients words per pair,
 * pair (i, j) at ((j-1) nc + i - 1) n_coefficients, the first n_used of them
 * read) at temperature t into the nc-by-nc matrix kij and, in mode 2, its
 * temperature derivative dkij_dt (mode 1: dkij_dt is set to 0). table_words
 * is the length of `table` in words: nothing beyond it is read. */
typedef void (*keld_binary_table4_fn)(const double *t, const int64_t *n_coefficients, const int64_t *n_used,
                                      const int64_t *nc, const double *table, double *kij, double *dkij_dt,
                                      const int64_t *mode, const int64_t *table_words);

/* Bounded nonlinear least squares (HostBoundedLeastSquares), used by KELD_ESPSAHI to fit missing
 * PC-SAFT parameters. The model function writes the m model values f(1..m) at the n unknowns x; a
 * value it cannot compute is returned as the missing-value marker (or a non-finite number). */
typedef void (*keld_lsq_model_fn)(const double *x, const int64_t *m, double *f, void *context);
/* Minimises S(x) = sum_k ((f_k(x) - target_k) / |weight_k|)^2 over lower <= x <= upper, starting from
 * x (overwritten by the result). settings(8): 1 damping scale (1: Marquardt's, from the Jacobian's
 * column norms; 0: fixed, from typical), 2 initial damping relative to the largest scaled diagonal of
 * J'J, 3 convergence tolerance (relative step, relative decrease of S, scaled projected gradient),
 * 4 absolute floor of S (0: none), 5 differences (1 forward, 2 central), 6 step bound relative to
 * max(|x_j|, typical_j), 7 relative difference step, 8 damping growth factor (Nielsen). typical(n):
 * typical magnitude of each unknown. work: at least (n + 4) m + n^2 + 6 n words.
 * status: 0 converged, 1 iteration limit reached, 2 no further progress (every trial step failed or
 * increased S), 3 refused (bad arguments, work too small, or the start point cannot be evaluated);
 * x holds the best point found in every case but 3. */
typedef void (*keld_bounded_least_squares_fn)(const int64_t *n, const int64_t *m, double *x, const double *targets,
                                              const double *weights, keld_lsq_model_fn model, void *context,
                                              const int64_t *max_iterations, const double *settings,
                                              const double *lower, const double *upper, const double *typical,
                                              const double *missing, double *work, const int64_t *work_words,
                                              int64_t *status);

/* The host table: data blocks with their lengths, then operations. */
typedef struct keld_host {
    /* HostStore: parameters, work area, polymer-segment maps. */
    double *store;
    int64_t store_words;
    int64_t *component_count; /* HostComponentCount (NC) */
    int64_t *work_offset;     /* HostWorkOffset */
    double *real_globals;     /* HostRealGlobals: 1 missing-value marker, 2 segment-fraction floor */
    int64_t real_globals_words;
    double *property_globals; /* HostPropertyGlobals: 1 reference pressure (Pa), 3 R (J/(kmol K)) */
    int64_t property_globals_words;
    int64_t *offsets1; /* HostOffsets1: store offsets of named host arrays */
    int64_t offsets1_words;
    int64_t *offsets4; /* HostOffsets4: element 2 locates the component identifiers */
    int64_t offsets4_words;
    int64_t *globals; /* HostGlobals */
    int64_t globals_words;
    char *error_buffer; /* HostErrorControl: KELD_MESSAGE_LINES lines of KELD_MESSAGE_LINE_CHARS */
    int64_t *error_control2; /* HostErrorControl2 */
    int64_t error_control2_words;
    double *root_control; /* HostRootControl: 1 liquid and 2 vapour single-component switches (logical) */
    int64_t root_control_words;
    double *dpdv_control; /* HostDpdvControl: 1 dP/dV cell of the root conversation */
    int64_t dpdv_control_words;
    /* Number of parameter data sets. Optional: when given, a call with a data
     * set above it is refused instead of reading another array's words. */
    int64_t *data_set_count;

    keld_param_offset_fn param_offset;                 /* HostParamOffset */
    keld_component_test_fn is_polymer;                 /* HostIsPolymer */
    keld_component_test_fn is_oligomer;                /* HostIsOligomer */
    keld_component_test_fn is_segment;                 /* HostIsSegment */
    keld_apparent_to_true_fn apparent_to_true;         /* PolyApparentToTrue */
    keld_apparent_to_weight_fn apparent_to_weight;     /* PolyApparentToWeight */
    keld_number_average_mw_fn number_average_mw;       /* PolyNumberAverageMw */
    keld_find_polymer_map_fn find_polymer_map;         /* HostFindPolymerMap */
    keld_locate_fn locate;                             /* HostLocate */
    keld_locate_matrix_fn locate_matrix;               /* HostLocateMatrix */
    keld_segment_fractions_fn segment_weight_fractions; /* PolySegmentWeightFractions */
    keld_segment_fractions_fn segment_mole_fractions;  /* PolySegmentMoleFractions */
    keld_message_check_fn message_check;               /* HostMessageCheck */
    keld_print_message_fn print_message;               /* HostPrintMessage */
    keld_root_fn vapor_root;                           /* HostVaporRoot */
    keld_root_fn liquid_root;                          /* HostLiquidRoot */
    keld_binary_table_fn binary_table3;                /* PolyBinaryTable3 */
    keld_temp_param_fn temp_param;                     /* HostTempParam */

    /* Cubic equation of state with excess-Gibbs mixing (KELD_ES40). */
    int64_t *eos_log; /* HostEosLog: logical request flags of the cubic monitor, 24 words at least */
    int64_t eos_log_words;
    keld_alpha_fn alpha_function; /* HostAlphaFunction */
    /* UNIFAC group table (reals; 1-based; NC = HostComponentCount):
     *   1                NS, number of subgroups
     *   2                NM, number of main groups
     *   2 + 4(k-1) + 1   main group (1..NM) of subgroup k
     *            + 2     van der Waals volume R_k
     *            + 3     van der Waals area Q_k
     *            + 4     the subgroup's published number
     *   2 + 4 NS + (n-1) NM + m        a_mn (K), missing-value marker when not known
     *   2 + 4 NS + NM^2 + (k-1) NC + i count of subgroup k in component i (for a
     *                                  polymer or oligomer: per unit of its MW; all
     *                                  zero: built from its segments)
     * Optional: without it the UNIFAC model is refused with a message. */
    double *group_table;
    int64_t group_table_words;

    /* Association solver (site fractions and their derivatives). Optional: without LU
     * operations Newton's method falls back to substitution, without the accelerator or the
     * quasi-Newton routine substitution runs plain, and without a unit writer no diagnostic
     * line is written. */
    keld_component_vector_fn component_vector;         /* HostComponentVector */
    keld_accelerate_fn accelerate;                     /* HostAccelerate */
    keld_convergence_test_fn convergence_test;         /* HostConvergenceTest */
    keld_lu_factor_fn lu_factor;                       /* HostLuFactor */
    keld_lu_solve_fn lu_solve;                         /* HostLuSolve */
    keld_matrix_invert_fn matrix_invert;               /* HostMatrixInvert */
    keld_line_search_fn line_search;                   /* HostLineSearch */
    keld_write_unit_fn write_unit;                     /* formatted write to a Fortran unit */

    /* Segment-based monitors (KELD_PCSF01, KELD_SAFT01, KELD_POSL01). */
    keld_volume_apparent_to_true_fn volume_apparent_to_true; /* PolyVolumeApparentToTrue */
    keld_binary_table4_fn binary_table4;                     /* PolyBinaryTable4 */
    /* PC-SAFT with association and a dipolar term (KELD_PCSAF1): the binary k_ij and l_ij of the
     * monitor's six- and four-coefficient arrays. Optional: without them the first (constant)
     * coefficient of each pair is used. */
    keld_binary_kij_fn binary_kij;                     /* PolyBinaryKij */
    keld_binary_kij_fn binary_kij_deriv;               /* PolyBinaryKijDeriv */

    /* Every monitor: length in words of the work block that starts at
     * HostStore(HostWorkOffset). Optional: when not given, the block runs to
     * the end of the store. A call's work area (KWORK >= 0 words into the
     * block) must lie inside it, or the call is refused before anything is
     * written. */
    int64_t *work_words;

    /* PC-SAFT parameter fitting (KELD_ESPSAHI). Optional: without it no parameter is fitted. */
    keld_bounded_least_squares_fn bounded_least_squares; /* HostBoundedLeastSquares */
} keld_host;

/* Installs the host table (copied). Until a table is installed, or after
 * keld_host_install(NULL), every exported routine returns at once, writing
 * nothing. */
KELD_API void keld_host_install(const keld_host *host);

/* Copies the installed table into *out; returns 0 when none is installed. */
KELD_API int keld_host_installed(keld_host *out);

#ifdef __cplusplus
}
#endif

#endif /* KELD_HOST_H */
