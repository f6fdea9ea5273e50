/*
 * keld/refhost_c.h - C interface of keld's reference host, for C, Fortran
 * (bind(C), by reference) and Python (ctypes) callers.
 *
 * The reference host is the host that keld ships so that its property
 * monitors run stand-alone: it owns the parameter store, the component
 * classification, the polymer conversions, the messages and the density-root
 * search (see keld/refhost.h for the full description and the store layout).
 *
 * Every function returns KELD_REFHOST_OK (0) on success or a positive error
 * code; keld_refhost_last_error() gives the text of the last failure of a
 * host. No function throws or aborts. Component numbers, data sets and
 * coefficient indices are 1-based. Strings are NUL-terminated here (unlike the
 * blank-padded words exchanged with keld).
 *
 * Case files: loading a whole case (components, parameters, options) from a
 * file is a separate service that builds on exactly these calls; its entry
 * point will be declared next to them.
 */
#ifndef KELD_REFHOST_C_H
#define KELD_REFHOST_C_H

#include <stdint.h>

#include "keld/export.h"
#include "keld/host.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct keld_refhost keld_refhost;

enum {
    KELD_REFHOST_OK = 0,
    KELD_REFHOST_INVALID_ARGUMENT = 1, /* null pointer, bad name, bad value */
    KELD_REFHOST_OUT_OF_RANGE = 2,     /* component, data set, coefficient or element number */
    KELD_REFHOST_FAILURE = 3           /* anything else (e.g. out of memory) */
};

/* Component kinds (keld::refhost::ComponentKind). */
enum { KELD_COMPONENT_ORDINARY = 0, KELD_COMPONENT_POLYMER = 1, KELD_COMPONENT_OLIGOMER = 2, KELD_COMPONENT_SEGMENT = 3 };

/* Parameter shapes (keld::refhost::ParameterShape). */
enum { KELD_PARAM_PER_COMPONENT = 0, KELD_PARAM_UNARY = 1, KELD_PARAM_BINARY = 2, KELD_PARAM_BINARY_TABLE = 3 };

/* Message policies (keld::refhost::MessageMode). */
enum { KELD_MESSAGES_BY_LEVEL = 0, KELD_MESSAGES_ACCEPT_ALL = 1, KELD_MESSAGES_REFUSE_ALL = 2 };

/* A new host with `data_sets` parameter data sets (>= 1) and a work area of at
 * least `minimum_work_words` words (0: the default sizing). NULL on failure. */
KELD_API keld_refhost *keld_refhost_create(int64_t data_sets, int64_t minimum_work_words);
/* Destroys the host; if it is the installed host, keld is left without one. */
KELD_API void keld_refhost_destroy(keld_refhost *host);
/* Makes this host the current one and installs its table into keld. */
KELD_API int keld_refhost_install(keld_refhost *host);
/* Copies the host's complete table into *out (for replacing one operation). */
KELD_API int keld_refhost_table(keld_refhost *host, keld_host *out);
KELD_API const char *keld_refhost_last_error(const keld_refhost *host);

/* Components. `number` receives the new component number. */
KELD_API int keld_refhost_add_component(keld_refhost *host, const char *identifier, int kind,
                                        double molecular_weight, int64_t *number);
KELD_API int keld_refhost_component_count(const keld_refhost *host, int64_t *count);
KELD_API int keld_refhost_set_number_average_mw(keld_refhost *host, int64_t polymer, double mwn);
KELD_API int keld_refhost_set_segment_weight_fraction(keld_refhost *host, int64_t polymer, int64_t segment,
                                                      double weight_fraction);
KELD_API int keld_refhost_set_formula(keld_refhost *host, int64_t component, const char *formula);

/* Parameters by name. */
KELD_API int keld_refhost_define_parameter(keld_refhost *host, const char *name, int shape,
                                           int64_t offsets1_element);
KELD_API int keld_refhost_param_offset(const keld_refhost *host, const char *name, int64_t *offset);
KELD_API int keld_refhost_set_unary(keld_refhost *host, const char *name, int64_t component, int64_t data_set,
                                    double value);
KELD_API int keld_refhost_get_unary(const keld_refhost *host, const char *name, int64_t component,
                                    int64_t data_set, double *value);
KELD_API int keld_refhost_set_binary(keld_refhost *host, const char *name, int64_t i, int64_t j,
                                     int64_t data_set, double value);
KELD_API int keld_refhost_get_binary(const keld_refhost *host, const char *name, int64_t i, int64_t j,
                                     int64_t data_set, double *value);
KELD_API int keld_refhost_set_binary_coefficient(keld_refhost *host, const char *name, int64_t i, int64_t j,
                                                 int64_t coefficient, int64_t data_set, double value);
KELD_API int keld_refhost_get_binary_coefficient(const keld_refhost *host, const char *name, int64_t i,
                                                 int64_t j, int64_t coefficient, int64_t data_set,
                                                 double *value);
KELD_API int keld_refhost_set_component_value(keld_refhost *host, const char *name, int64_t component,
                                              double value);
KELD_API int keld_refhost_get_component_value(const keld_refhost *host, const char *name, int64_t component,
                                              double *value);

/* Blocks. */
KELD_API int keld_refhost_store(keld_refhost *host, double **store, int64_t *words);
KELD_API int keld_refhost_work_area(const keld_refhost *host, int64_t *work_offset, int64_t *work_words);
KELD_API int keld_refhost_set_global(keld_refhost *host, int64_t element, int64_t value);
KELD_API int keld_refhost_set_real_global(keld_refhost *host, int64_t element, double value);
KELD_API int keld_refhost_set_property_global(keld_refhost *host, int64_t element, double value);
KELD_API int keld_refhost_set_root_control(keld_refhost *host, int64_t element, double value);

/* Messages. */
KELD_API int keld_refhost_set_message_mode(keld_refhost *host, int mode);
KELD_API int keld_refhost_set_message_threshold(keld_refhost *host, int64_t check_class, int64_t level);
/* capture != 0: printed lines are kept in the host; 0: they go to standard error. */
KELD_API int keld_refhost_capture_messages(keld_refhost *host, int capture);
KELD_API int keld_refhost_captured_line_count(const keld_refhost *host, int64_t *count);
/* Copies captured line `index` (1-based) into buffer (NUL-terminated, truncated to capacity). */
KELD_API int keld_refhost_captured_line(const keld_refhost *host, int64_t index, char *buffer, int64_t capacity);
KELD_API int keld_refhost_clear_captured_lines(keld_refhost *host);

/* Cubic equation of state: three-word records (shape 4, e.g. RKSMC: the
 * Mathias-Copeman c1, c2, c3; count <= 3, words not given stay missing) and
 * UNIFAC groups (see ReferenceHost in keld/refhost.h). */
KELD_API int keld_refhost_set_record(keld_refhost *host, const char *name, int64_t component, int64_t data_set,
                                     const double *words, int64_t count);
KELD_API int keld_refhost_define_unifac_subgroup(keld_refhost *host, const char *name, int64_t number,
                                                 const char *main_group, double r, double q);
KELD_API int keld_refhost_set_unifac_interaction(keld_refhost *host, const char *main_i, const char *main_j,
                                                 double a_ij);
KELD_API int keld_refhost_set_component_groups(keld_refhost *host, int64_t component, const char *const *subgroups,
                                               const double *counts, int64_t count);

/* Temperature tables (Fortran clients). All coefficients of pair (i, j) of a
 * binary table at once: a, b, c, d, e, Tref (count <= 6; those not given are
 * 0). A binary parameter fed by a table (SLKIJ <- SLKIJT, SLETIJ <- SLETIT)
 * takes the table's value at T from keld_refhost_apply_temperature_tables(T),
 * which a host calls whenever the temperature changes, before the monitors. */
KELD_API int keld_refhost_set_binary_coefficients(keld_refhost *host, const char *name, int64_t i, int64_t j,
                                                  int64_t data_set, const double *coefficients, int64_t count);
KELD_API int keld_refhost_apply_temperature_tables(keld_refhost *host, double t);

#ifdef __cplusplus
}
#endif

#endif /* KELD_REFHOST_C_H */
