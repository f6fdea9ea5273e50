// The C-callable host table. The callbacks have no context argument, so each
// forwards to the one current ReferenceHost (set by install()); with none
// current they answer as an empty host (offset 0, false, zeros, root state 5).
// Nothing thrown inside the host may cross into keld.
#include <bit>

#include "keld/refhost.h"
#include "numerics/numerics.h"
#include "root_search.h"

namespace keld::refhost {

namespace {

ReferenceHost *current_host = nullptr;  // one reference host is active at a time

constexpr std::int64_t logical(bool value) { return value ? -1 : 0; }

template <class R, class F>
R guarded(R fallback, F &&f) noexcept {
    try {
        return f();
    } catch (...) {
        return fallback;
    }
}

std::int64_t param_offset_cb(const char *name, const std::int64_t *length) {
    ReferenceHost *h = current_host;
    if (h == nullptr || name == nullptr || length == nullptr || *length < 0 || *length > 64) return 0;
    return guarded<std::int64_t>(0, [&] { return h->param_offset(std::string_view(name, *length)); });
}

std::int64_t is_polymer_cb(const std::int64_t *c) {
    return current_host && c ? logical(current_host->is_polymer(*c)) : 0;
}
std::int64_t is_oligomer_cb(const std::int64_t *c) {
    return current_host && c ? logical(current_host->is_oligomer(*c)) : 0;
}
std::int64_t is_segment_cb(const std::int64_t *c) {
    return current_host && c ? logical(current_host->is_segment(*c)) : 0;
}

void apparent_to_true_cb(const std::int64_t *n, const std::int64_t *idx, const double *mw, const double *z,
                         double *x) {
    if (current_host && n) current_host->apparent_to_true(*n, idx, mw, z, x);
}

void apparent_to_weight_cb(const double *z, const std::int64_t *n, const std::int64_t *idx, double *w) {
    if (current_host && n) current_host->apparent_to_weight(z, *n, idx, w);
}

void number_average_mw_cb(const std::int64_t *option, const std::int64_t *n, const std::int64_t *idx,
                          double *mwn) {
    if (current_host && option && n) current_host->number_average_mws(*option, *n, idx, mwn);
}

void find_polymer_map_cb(std::int64_t *handle) {
    if (handle) *handle = current_host ? ReferenceHost::map_handle : 0;
}

std::int64_t locate_cb(const std::int64_t *handle) {
    return current_host && handle ? current_host->locate(*handle) : 0;
}

void locate_matrix_cb(const std::int64_t *handle, std::int64_t *out1, std::int64_t *out2, std::int64_t *out3) {
    std::int64_t offset = 0, rows = 0, columns = 0;
    if (current_host && handle) current_host->locate_matrix(*handle, offset, rows, columns);
    if (out1) *out1 = offset;
    if (out2) *out2 = rows;
    if (out3) *out3 = columns;
}

void segment_weight_fractions_cb(const std::int64_t *option, const std::int64_t *polymer, double *f) {
    if (current_host && option && polymer) current_host->segment_weight_fractions(*option, *polymer, f);
}

void segment_mole_fractions_cb(const std::int64_t *option, const std::int64_t *polymer, double *f) {
    if (current_host && option && polymer) current_host->segment_mole_fractions(*option, *polymer, f);
}

std::int64_t message_check_cb(const char *routine, const std::int64_t *check_class, const std::int64_t *number,
                              const std::int64_t *level, const std::int64_t *global8, const std::int64_t *a,
                              const std::int64_t *b, const std::int64_t *c) {
    ReferenceHost *h = current_host;
    if (h == nullptr || !check_class || !number || !level) return 0;
    const auto value = [](const std::int64_t *p) { return p ? *p : 0; };
    return guarded<std::int64_t>(0, [&] {
        return logical(h->message_check(routine, *check_class, *number, *level, value(global8), value(a),
                                        value(b), value(c)));
    });
}

void print_message_cb(const std::int64_t *line_count) {
    ReferenceHost *h = current_host;
    if (h == nullptr || line_count == nullptr) return;
    guarded<int>(0, [&] {
        h->print_message(*line_count);
        return 0;
    });
}

void root_cb(bool liquid, std::int64_t *state, std::int64_t *mode, const double *vcp, const double *vc,
             const double *vdiv, const double *t, const double *p, double *v, double *p_calc, double *dpdv) {
    if (state == nullptr) return;
    ReferenceHost *h = current_host;
    if (h == nullptr || !mode || !vcp || !vc || !vdiv || !t || !p || !v || !p_calc || !dpdv) {
        *state = 5;
        return;
    }
    const int ok = guarded<int>(0, [&] {
        h->root(liquid, *state, *mode, *vcp, *vc, *vdiv, *t, *p, *v, *p_calc, *dpdv);
        return 1;
    });
    if (!ok) *state = 5;
}

void vapor_root_cb(std::int64_t *state, std::int64_t *mode, const double *vcp, const double *vc,
                   const double *vdiv, const double *t, const double *p, double *v, double *p_calc, double *dpdv,
                   const char * /*routine_id*/, const std::int64_t * /*diag_level*/) {
    root_cb(false, state, mode, vcp, vc, vdiv, t, p, v, p_calc, dpdv);
}

void liquid_root_cb(std::int64_t *state, std::int64_t *mode, const double *vcp, const double *vc,
                    const double *vdiv, const double *t, const double *p, double *v, double *p_calc, double *dpdv,
                    const char * /*routine_id*/, const std::int64_t * /*diag_level*/) {
    root_cb(true, state, mode, vcp, vc, vdiv, t, p, v, p_calc, dpdv);
}

void binary_table3_cb(const std::int64_t *n_coefficients, const std::int64_t *n_used, const double *t,
                      const double *table, double *kij) {
    if (current_host && n_coefficients && n_used && t) {
        current_host->binary_table3(*n_coefficients, *n_used, *t, table, kij);
    }
}

void binary_kij_cb(bool derivative, const std::int64_t *n_coefficients, const std::int64_t *nc,
                   const std::int64_t *n_list, const std::int64_t *list, const double *t, const double *table,
                   double *kij) {
    if (current_host && n_coefficients && nc && n_list && t)
        current_host->binary_kij(derivative, *n_coefficients, *nc, *n_list, list, *t, table, kij);
}
void binary_kij_value_cb(const std::int64_t *n_coefficients, const std::int64_t *nc, const std::int64_t *n_list,
                         const std::int64_t *list, const double *t, const double *table, double *kij) {
    binary_kij_cb(false, n_coefficients, nc, n_list, list, t, table, kij);
}
void binary_kij_deriv_cb(const std::int64_t *n_coefficients, const std::int64_t *nc, const std::int64_t *n_list,
                         const std::int64_t *list, const double *t, const double *table, double *kij) {
    binary_kij_cb(true, n_coefficients, nc, n_list, list, t, table, kij);
}

void alpha_function_cb(const std::int64_t *option, const std::int64_t *data_set, const std::int64_t *n,
                       const std::int64_t *idx, const double *t, const double *tc, const double *omega, double *alpha,
                       double *dalpha, double *d2alpha) {
    if (current_host && option && data_set && n && t) {
        guarded<int>(0, [&] {
            current_host->alpha_function(*option, *data_set, *n, idx, *t, tc, omega, alpha, dalpha, d2alpha);
            return 0;
        });
    }
}

void temp_param_cb(const std::int64_t *n_coefficients, const std::int64_t *nc, const double *table,
                   const std::int64_t *form, const std::int64_t *option, double *result) {
    if (current_host && n_coefficients && nc && form && option) {
        current_host->temp_param(*n_coefficients, *nc, table, *form, *option, result);
    }
}

void write_unit_cb(const std::int64_t *unit, const char *record, const std::int64_t *length) {
    ReferenceHost *h = current_host;
    if (h == nullptr || unit == nullptr || record == nullptr || length == nullptr || *length < 0) return;
    guarded<int>(0, [&] {
        h->write_unit(*unit, std::string_view(record, static_cast<std::size_t>(*length)));
        return 0;
    });
}

void volume_apparent_to_true_cb(const std::int64_t *n, const std::int64_t *idx, const double *mw, const double *mwn,
                                const double *z, double *x, const std::int64_t *option, const std::int64_t *nc,
                                const std::int64_t *polymer_flags) {
    if (current_host && n && option && nc)
        current_host->volume_apparent_to_true(*n, idx, mw, mwn, z, x, *option, *nc, polymer_flags);
}

void binary_table4_cb(const double *t, const std::int64_t *n_coefficients, const std::int64_t *n_used,
                      const std::int64_t *nc, const double *table, double *kij, double *dkij,
                      const std::int64_t *mode, const std::int64_t *table_words) {
    if (current_host && t && n_coefficients && n_used && nc && mode && table_words)
        current_host->binary_table4(*t, *n_coefficients, *n_used, *nc, table, kij, dkij, *mode, *table_words);
}

// The installed table still points at this host's store.
bool keld_uses_store_of(const double *store) {
    keld_host installed{};
    return keld_host_installed(&installed) != 0 && installed.store == store;
}

}  // namespace

ReferenceHost::~ReferenceHost() {
    if (current_host == this) current_host = nullptr;
    if (installed_ && keld_uses_store_of(store_.data())) keld_host_install(nullptr);
}

keld_host ReferenceHost::table() {
    keld_host t{};
    t.store = store_.data();
    t.store_words = static_cast<std::int64_t>(store_.size());
    t.component_count = &nc_;
    t.work_offset = &work_offset_;
    t.real_globals = real_globals_.data();
    t.real_globals_words = real_globals_words;
    t.property_globals = property_globals_.data();
    t.property_globals_words = property_globals_words;
    t.offsets1 = offsets1_.data();
    t.offsets1_words = offsets1_words;
    t.offsets4 = offsets4_.data();
    t.offsets4_words = offsets4_words;
    t.globals = globals_.data();
    t.globals_words = globals_words;
    t.error_buffer = error_buffer_.data();
    t.error_control2 = error_control2_.data();
    t.error_control2_words = error_control2_words;
    t.root_control = root_control_.data();
    t.root_control_words = root_control_words;
    t.dpdv_control = dpdv_control_.data();
    t.dpdv_control_words = dpdv_control_words;
    t.data_set_count = &data_sets_;
    t.work_words = &work_words_;

    t.param_offset = param_offset_cb;
    t.is_polymer = is_polymer_cb;
    t.is_oligomer = is_oligomer_cb;
    t.is_segment = is_segment_cb;
    t.apparent_to_true = apparent_to_true_cb;
    t.apparent_to_weight = apparent_to_weight_cb;
    t.number_average_mw = number_average_mw_cb;
    t.find_polymer_map = find_polymer_map_cb;
    t.locate = locate_cb;
    t.locate_matrix = locate_matrix_cb;
    t.segment_weight_fractions = segment_weight_fractions_cb;
    t.segment_mole_fractions = segment_mole_fractions_cb;
    t.message_check = message_check_cb;
    t.print_message = print_message_cb;
    t.vapor_root = vapor_root_cb;
    t.liquid_root = liquid_root_cb;
    t.binary_table3 = binary_table3_cb;
    t.temp_param = temp_param_cb;
    t.eos_log = eos_log_.data();
    t.eos_log_words = eos_log_words;
    t.alpha_function = alpha_function_cb;
    t.group_table = group_table_.data();
    t.group_table_words = static_cast<std::int64_t>(group_table_.size());

    t.component_vector = numerics::component_vector;
    t.accelerate = numerics::accelerate;
    t.convergence_test = numerics::convergence_test;
    t.lu_factor = numerics::lu_factor;
    t.lu_solve = numerics::lu_solve;
    t.matrix_invert = numerics::matrix_invert;
    t.line_search = numerics::line_search;
    t.write_unit = write_unit_cb;
    t.volume_apparent_to_true = volume_apparent_to_true_cb;
    t.binary_table4 = binary_table4_cb;
    t.binary_kij = binary_kij_value_cb;
    t.binary_kij_deriv = binary_kij_deriv_cb;
    t.bounded_least_squares = numerics::bounded_least_squares;
    return t;
}

void ReferenceHost::install() {
    install(table());
    installed_modified_ = false;
}

void ReferenceHost::install(const keld_host &modified) {
    installed_table_ = modified;
    installed_ = true;
    installed_modified_ = true;
    current_host = this;
    keld_host_install(&installed_table_);
}

ReferenceHost *ReferenceHost::current() { return current_host; }

bool ReferenceHost::installed_as_is() const {
    return installed_ && !installed_modified_ && current_host == this && keld_uses_store_of(store_.data());
}

void ReferenceHost::reinstall_if_current() {
    if (!installed_ || current_host != this) return;
    installed_table_.store = store_.data();
    installed_table_.store_words = static_cast<std::int64_t>(store_.size());
    if (installed_table_.group_table) {
        installed_table_.group_table = group_table_.data();
        installed_table_.group_table_words = static_cast<std::int64_t>(group_table_.size());
    }
    keld_host_install(&installed_table_);
}

}  // namespace keld::refhost
