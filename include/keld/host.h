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

    /* Every monitor: length in words of the work block that starts at
     * HostStore(HostWorkOffset). Optional: when not given, the block runs to
     * the end of the store. A call's work area (KWORK >= 0 words into the
     * block) must lie inside it, or the call is refused before anything is
     * written. */
    int64_t *work_words;
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
