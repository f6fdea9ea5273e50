#include "host/host.h"

#include <cstring>
#include <mutex>

namespace keld::host {
namespace {

// The installed table. Written only by keld_host_install, which a host calls
// while no property call is running (the library is single-threaded by contract).
keld_host g_table{};
bool g_installed = false;

// A problem cannot have more components than its store has words; the bound
// also keeps every NC^2-sized layout within 64-bit arithmetic.
constexpr std::int64_t kMaxComponents = std::int64_t{1} << 24;

bool usable(const keld_host &t) {
    return t.store && t.store_words >= 0 && t.component_count && *t.component_count >= 0 &&
           *t.component_count <= t.store_words && *t.component_count <= kMaxComponents && t.work_offset &&
           t.real_globals && t.real_globals_words >= 2 && t.property_globals && t.property_globals_words >= 3;
}

}  // namespace

std::optional<Host> Host::current() {
    if (!g_installed || !usable(g_table)) return std::nullopt;
    return Host(g_table);
}

std::int64_t Host::param_offset(std::string_view name) const {
    if (!t_->param_offset) return 0;
    const std::int64_t length = static_cast<std::int64_t>(name.size());
    return t_->param_offset(name.data(), &length);
}

std::int64_t Host::component_vector(std::int64_t value, const std::int64_t *vector, std::int64_t n) const {
    if (vector == nullptr || n < 1) return 0;
    if (t_->component_vector) {
        const std::int64_t k = t_->component_vector(&value, vector, &n);
        return (k >= 1 && k <= n) ? k : 0;
    }
    for (std::int64_t k = 0; k < n; ++k)
        if (vector[k] == value) return k + 1;
    return 0;
}

ComponentId Host::identifier(std::int64_t i) const {
    ComponentId id;
    id.fill(' ');
    const std::int64_t first = offsets4(2) + 2 * i - 1;
    if (i < 1 || i > component_count() || !in_store(first, 2)) return id;
    // Each word holds four characters in its first four bytes.
    std::memcpy(id.data(), word(first), 4);
    std::memcpy(id.data() + 4, word(first + 1), 4);
    return id;
}

bool Host::message_check(const RoutineId &routine, std::int64_t check_class, std::int64_t number,
                         std::int64_t level, std::int64_t word_a, std::int64_t word_b, std::int64_t word_c) const {
    if (!t_->message_check || !t_->error_buffer || !t_->print_message) return false;
    const std::int64_t global8 = global(8);
    return t_->message_check(routine.chars.data(), &check_class, &number, &level, &global8, &word_a, &word_b,
                            &word_c) != 0;
}

void Host::print_message(std::int64_t lines) const {
    if (t_->print_message && lines > 0) t_->print_message(&lines);
}

bool complete_word(double *word, double missing, double value) {
    std::atomic_ref<double> shared(*word);
    if (shared.load(std::memory_order_acquire) != missing) return false;
    static std::mutex completing;
    const std::lock_guard<std::mutex> alone(completing);
    if (shared.load(std::memory_order_relaxed) != missing) return false;  // filled by another call meanwhile
    shared.store(value, std::memory_order_release);
    return true;
}

void Host::set_root_switch(bool liquid, bool single_component) const {
    const std::int64_t element = liquid ? 1 : 2;
    // Every call sets the switch, calls from other threads included: an atomic store.
    if (t_->root_control && element <= t_->root_control_words)
        std::atomic_ref<double>(t_->root_control[element - 1])
            .store(integer_as_word(logical(single_component)), std::memory_order_relaxed);
}

double Host::root_control(std::int64_t element) const {
    if (!t_->root_control || element < 1 || element > t_->root_control_words) return 0.0;
    // Elements the monitors write (the switches, the associating root's last values) are written by
    // concurrent calls as well.
    return std::atomic_ref<double>(t_->root_control[element - 1]).load(std::memory_order_relaxed);
}

void Host::volume_apparent_to_true(std::int64_t n, const std::int64_t *idx, const double *mw, const double *mwn,
                                   const double *z, double *x, std::int64_t nc,
                                   const std::int64_t *polymer_flags) const {
    const std::int64_t option = 1;
    t_->volume_apparent_to_true(&n, idx, mw, mwn, z, x, &option, &nc, polymer_flags);
}

void Host::binary_table4(double t, std::int64_t nc, const double *table, std::int64_t table_words, double *k,
                         double *dkdt, std::int64_t mode) const {
    const std::int64_t coefficients = 6, used = 6;
    t_->binary_table4(&t, &coefficients, &used, &nc, table, k, dkdt, &mode, &table_words);
}

}  // namespace keld::host

extern "C" KELD_API void keld_host_install(const keld_host *host) {
    if (host) {
        keld::host::g_table = *host;
        keld::host::g_installed = true;
    } else {
        keld::host::g_table = keld_host{};
        keld::host::g_installed = false;
    }
}

extern "C" KELD_API int keld_host_installed(keld_host *out) {
    if (!keld::host::g_installed) return 0;
    if (out) *out = keld::host::g_table;
    return 1;
}
