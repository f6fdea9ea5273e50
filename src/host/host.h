// The library's view of the host: typed, bounds-checked access to the
// installed host table (data blocks and operations).
//
// Every exported routine starts with `Host::current()`; when no usable table is
// installed it returns nothing and the routine returns without writing. Reads
// outside a block give a neutral value (0, or NaN for reals of the store) and
// writes outside a block are dropped, so no argument can make the library touch
// memory the host did not hand over.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "keld/host.h"

namespace keld::host {

inline constexpr std::int64_t kTrue = -1;
inline constexpr std::int64_t kFalse = 0;
inline constexpr bool truth(std::int64_t word) { return (word & 1) != 0; }
inline constexpr std::int64_t logical(bool b) { return b ? kTrue : kFalse; }

// A routine identifier: two blank-padded 8-character words.
struct RoutineId {
    std::array<char, KELD_ROUTINE_ID_CHARS> chars{};
    constexpr RoutineId(std::string_view first, std::string_view second) {
        for (auto &c : chars) c = ' ';
        for (std::size_t i = 0; i < first.size() && i < 8; ++i) chars[i] = first[i];
        for (std::size_t i = 0; i < second.size() && i < 8; ++i) chars[8 + i] = second[i];
    }
};

// A component identifier: two 4-character words.
using ComponentId = std::array<char, 8>;

// The real and integer views of one 8-byte word.
inline std::int64_t word_as_integer(double w) {
    std::int64_t i;
    std::memcpy(&i, &w, sizeof i);
    return i;
}
inline double integer_as_word(std::int64_t i) {
    double w;
    std::memcpy(&w, &i, sizeof w);
    return w;
}

// Words that calls from several threads may write at the same time (a host
// hands every call the same words): written with atomic stores, and only when
// they hold other bits, so that words whose value does not change are left
// alone and concurrent callers do not take the cache line from each other.
// The library never reads such a word back within a call.
inline void publish_word(double *word, double value) {
    std::atomic_ref<double> shared(*word);
    if (word_as_integer(shared.load(std::memory_order_relaxed)) != word_as_integer(value))
        shared.store(value, std::memory_order_relaxed);
}
inline void publish_word(std::int64_t *word, std::int64_t value) {
    std::atomic_ref<std::int64_t> shared(*word);
    if (shared.load(std::memory_order_relaxed) != value) shared.store(value, std::memory_order_relaxed);
}

// A default for a missing parameter that the library completes in the host's
// word and then reads with plain loads: the word is replaced only while it
// holds `missing` (exactly), by one store, and every caller has read it
// (acquire) before, so that concurrent calls all see the completed value and
// read it after that store. A word found missing is filled under a
// process-wide lock (rare: once per word), so that a call that finds it filled
// meanwhile only reads it. True for the call whose store filled the word (the
// one that reports it); false when the word was not missing or another call
// filled it.
bool complete_word(double *word, double missing, double value);
// The word's value, read after any completion by another call (acquire).
inline double settled_word(const double *word) {
    return std::atomic_ref<double>(*const_cast<double *>(word)).load(std::memory_order_acquire);
}

// True when [first, first + length - 1] lies inside a block of `words` words (1-based).
inline bool in_block(std::int64_t first, std::int64_t length, std::int64_t words) {
    return first >= 1 && length >= 0 && first <= words + 1 && length <= words - first + 1;
}

class Host {
public:
    // The installed table when it holds the blocks every routine relies on.
    static std::optional<Host> current();

    // A view of `table`, which must outlive it (the installed table does).
    explicit Host(const keld_host &table) : t_(&table) {}
    explicit Host(keld_host &&) = delete;
    const keld_host &table() const { return *t_; }

    // Scalars of the data blocks.
    std::int64_t component_count() const { return *t_->component_count; }
    std::int64_t work_offset() const { return *t_->work_offset; }
    double missing() const { return t_->real_globals[0]; }
    double segment_fraction_floor() const { return t_->real_globals[1]; }
    double reference_pressure() const { return t_->property_globals[0]; }
    double gas_constant() const { return t_->property_globals[2]; }
    bool is_missing(double value) const { return value == missing(); }
    // Whether data set `d` exists (any d >= 1 when the host does not say how many it has).
    bool has_data_set(std::int64_t d) const { return d >= 1 && (!t_->data_set_count || d <= *t_->data_set_count); }

    // Words of the work block from HostWorkOffset on: the host's own length
    // when it gives one (never beyond the store), else up to the end of the store.
    std::int64_t work_block_words() const {
        const std::int64_t w0 = work_offset();
        if (w0 < 1 || w0 > t_->store_words) return 0;
        const std::int64_t to_end = t_->store_words - w0 + 1;
        if (!t_->work_words) return to_end;
        return *t_->work_words < 0 ? 0 : (*t_->work_words < to_end ? *t_->work_words : to_end);
    }
    // True when a call's work area of `words` words at KWORK lies in the work block.
    bool work_area_fits(std::int64_t kwork, std::int64_t words) const {
        const std::int64_t block = work_block_words();
        return kwork >= 0 && words >= 0 && words <= block && kwork <= block - words;
    }

    // HostStore, 1-based.
    bool in_store(std::int64_t first, std::int64_t length) const {
        return in_block(first, length, t_->store_words);
    }
    // Pointer to store word `pos`; only for ranges checked with in_store().
    double *word(std::int64_t pos) const { return t_->store + (pos - 1); }
    double real(std::int64_t pos) const {
        return in_store(pos, 1) ? t_->store[pos - 1] : std::numeric_limits<double>::quiet_NaN();
    }
    std::int64_t integer(std::int64_t pos) const { return in_store(pos, 1) ? word_as_integer(t_->store[pos - 1]) : 0; }
    void set_real(std::int64_t pos, double value) const {
        if (in_store(pos, 1)) t_->store[pos - 1] = value;
    }
    // Writes a store word that concurrent calls may be writing as well (a
    // polymer's parameter source, its pseudo-critical values, the working
    // copies of characteristic parameters): an atomic store, so that calls
    // from several threads never race on it. Such words are written for the
    // host only; the library never reads them back within a call.
    void publish(std::int64_t pos, double value) const {
        if (in_store(pos, 1)) publish_word(t_->store + (pos - 1), value);
    }

    // Offset tables and globals (0 when the element does not exist).
    std::int64_t offsets1(std::int64_t element) const { return element_of(t_->offsets1, t_->offsets1_words, element); }
    std::int64_t offsets4(std::int64_t element) const { return element_of(t_->offsets4, t_->offsets4_words, element); }
    std::int64_t global(std::int64_t element) const { return element_of(t_->globals, t_->globals_words, element); }
    // HostErrorControl2: the monitors clear element 20 around their messages,
    // from several threads at once (atomic; see publish_word).
    std::int64_t error_control2(std::int64_t element) const {
        if (!t_->error_control2 || element < 1 || element > t_->error_control2_words) return 0;
        return std::atomic_ref<std::int64_t>(t_->error_control2[element - 1]).load(std::memory_order_relaxed);
    }
    void set_error_control2(std::int64_t element, std::int64_t value) const {
        if (t_->error_control2 && element >= 1 && element <= t_->error_control2_words)
            publish_word(t_->error_control2 + (element - 1), value);
    }

    // Offset of a named parameter (0 when the host does not know it).
    std::int64_t param_offset(std::string_view name) const;

    // Store positions of parameters (Overview addressing).
    std::int64_t unary_pos(std::int64_t base, std::int64_t data_set, std::int64_t i) const {
        return base + (data_set - 1) * component_count() + i;
    }
    std::int64_t binary_pos(std::int64_t base, std::int64_t data_set, std::int64_t i, std::int64_t j) const {
        const std::int64_t nc = component_count();
        return base + (data_set - 1) * nc * nc + (j - 1) * nc + i;
    }

    // Component classification.
    bool is_polymer(std::int64_t i) const { return test(t_->is_polymer, i); }
    bool is_oligomer(std::int64_t i) const { return test(t_->is_oligomer, i); }
    bool is_segment(std::int64_t i) const { return test(t_->is_segment, i); }
    bool is_polymer_or_oligomer(std::int64_t i) const { return is_polymer(i) || is_oligomer(i); }
    ComponentId identifier(std::int64_t i) const;

    // Messages: the check, one line of the buffer, the print.
    bool message_check(const RoutineId &routine, std::int64_t check_class, std::int64_t number, std::int64_t level,
                       std::int64_t word_a, std::int64_t word_b, std::int64_t word_c) const;
    char *message_buffer() const { return t_->error_buffer; }
    void print_message(std::int64_t lines) const;

    // Density-root conversation cells.
    void set_root_switch(bool liquid, bool single_component) const;
    double root_control(std::int64_t element) const;
    double *dpdv_cell() const { return t_->dpdv_control; }
    // Writes HostDpdvControl(1) (an atomic store: concurrent calls write it too).
    void publish_dpdv(double value) const {
        if (t_->dpdv_control && t_->dpdv_control_words >= 1)
            std::atomic_ref<double>(t_->dpdv_control[0]).store(value, std::memory_order_relaxed);
    }

    // HostEosLog of the cubic monitor (writes outside the block are dropped).
    // Every call writes the request words for the host, calls from other
    // threads included (atomic; see publish_word); the library reads only the
    // host's own words (element 25 of the associating PC-SAFT root).
    void set_eos_log(std::int64_t element, std::int64_t value) const {
        if (t_->eos_log && element >= 1 && element <= t_->eos_log_words) publish_word(t_->eos_log + (element - 1), value);
    }
    std::int64_t eos_log(std::int64_t element) const {
        if (!t_->eos_log || element < 1 || element > t_->eos_log_words) return 0;
        return std::atomic_ref<std::int64_t>(t_->eos_log[element - 1]).load(std::memory_order_relaxed);
    }
    bool has_eos_log(std::int64_t words) const { return t_->eos_log && t_->eos_log_words >= words; }
    // The UNIFAC group table: word `pos` (1-based), NaN outside the block.
    double group_word(std::int64_t pos) const {
        return (t_->group_table && pos >= 1 && pos <= t_->group_table_words)
                   ? t_->group_table[pos - 1]
                   : std::numeric_limits<double>::quiet_NaN();
    }
    std::int64_t group_table_words() const { return t_->group_table ? t_->group_table_words : 0; }

    // Association solver services. A missing position search is done here; the other operations
    // are optional and reported by has_*(), and the solver does without them (see keld/host.h).
    std::int64_t component_vector(std::int64_t value, const std::int64_t *vector, std::int64_t n) const;
    bool has_accelerate() const { return t_->accelerate != nullptr; }
    bool has_convergence_test() const { return t_->convergence_test != nullptr; }
    bool has_lu() const { return t_->lu_factor != nullptr && t_->lu_solve != nullptr; }
    bool has_matrix_invert() const { return t_->matrix_invert != nullptr; }
    bool has_line_search() const { return t_->line_search != nullptr; }
    void accelerate(std::int64_t n, double *change, std::int64_t &state, double *work, std::int64_t words) const {
        t_->accelerate(&n, change, &state, work, &words);
    }
    void convergence_test(std::int64_t n, const double *x, const double *f, double *step, std::int64_t &state,
                          double *work, std::int64_t words) const {
        t_->convergence_test(&n, x, f, step, &state, work, &words);
    }
    std::int64_t lu_factor(std::int64_t n, double *a, std::int64_t *pivots) const {
        std::int64_t ier = 0;
        t_->lu_factor(&n, a, &n, pivots, &ier);
        return ier;
    }
    void lu_solve(std::int64_t n, const double *a, const std::int64_t *pivots, double *b) const {
        t_->lu_solve(&n, a, &n, pivots, b);
    }
    std::int64_t matrix_invert(std::int64_t n, double *a, std::int64_t *pivots, double *work,
                               std::int64_t words) const {
        std::int64_t ier = 0;
        t_->matrix_invert(&n, a, &n, pivots, work, &words, &ier);
        return ier;
    }
    void line_search(double f0, double slope0, double f, double &fac, std::int64_t &ksrch, double *work) const {
        t_->line_search(&f0, &slope0, &f, &fac, &ksrch, work);
    }
    // HostRootControl(element) := value (writes outside the block are dropped;
    // atomic, concurrent calls write the same elements).
    void set_root_control(std::int64_t element, double value) const {
        if (t_->root_control && element >= 1 && element <= t_->root_control_words)
            publish_word(t_->root_control + (element - 1), value);
    }
    // PolyBinaryKij / PolyBinaryKijDeriv over the n listed component numbers; false when the host lacks them.
    bool binary_kij(bool derivative, std::int64_t coefficients, std::int64_t nc, std::int64_t n,
                    const std::int64_t *list, double t, const double *table, double *kij) const {
        const keld_binary_kij_fn fn = derivative ? t_->binary_kij_deriv : t_->binary_kij;
        if (fn == nullptr) return false;
        fn(&coefficients, &nc, &n, list, &t, table, kij);
        return true;
    }
    bool has_unit_writer() const { return t_->write_unit != nullptr; }
    void write_unit(std::int64_t unit, std::string_view record) const {
        if (!t_->write_unit) return;
        const std::int64_t length = static_cast<std::int64_t>(record.size());
        t_->write_unit(&unit, record.data(), &length);
    }

    // Segment-based monitors: PolyVolumeApparentToTrue (option 1) and
    // PolyBinaryTable4 (six coefficients a pair, all used). Callers check
    // has_segment_services() first.
    bool has_segment_services() const { return t_->volume_apparent_to_true && t_->binary_table4; }
    void volume_apparent_to_true(std::int64_t n, const std::int64_t *idx, const double *mw, const double *mwn,
                                 const double *z, double *x, std::int64_t nc, const std::int64_t *polymer_flags) const;
    void binary_table4(double t, std::int64_t nc, const double *table, std::int64_t table_words, double *k,
                       double *dkdt, std::int64_t mode) const;

private:
    static std::int64_t element_of(const std::int64_t *block, std::int64_t words, std::int64_t element) {
        return (block && element >= 1 && element <= words) ? block[element - 1] : 0;
    }
    bool test(keld_component_test_fn fn, std::int64_t i) const {
        if (!fn || i < 1 || i > component_count()) return false;
        return truth(fn(&i));
    }

    const keld_host *t_;
};

}  // namespace keld::host
