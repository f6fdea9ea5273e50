#include "saft/saft_energy_correction.h"

#include <array>
#include <cstring>

namespace keld::saft {
namespace {

struct Correction {
    std::string_view word;  // blank-padded to 8 characters
    double e_over_k;
};

constexpr std::array<Correction, 9> kCorrections{{
    {"AR      ", 0.0},
    {"H3N     ", 1.0},
    {"H2O     ", 1.0},
    {"CH4O    ", 1.0},
    {"N2      ", 3.0},
    {"CO      ", 4.2},
    {"CL2     ", 18.0},
    {"CS2     ", 38.0},
    {"CO2     ", 40.0},
}};
constexpr double kOtherwise = 10.0;

}  // namespace

double energy_correction_for(std::string_view word8) {
    for (const Correction &c : kCorrections)
        if (word8 == c.word) return c.e_over_k;
    return kOtherwise;
}

void set_energy_corrections(const host::Host &host, std::int64_t n, const std::int64_t *idx, double *eps) {
    // A list longer than the host's components cannot name each once: nothing is read or written.
    if (n < 1 || n > host.component_count()) return;
    const std::int64_t formulas = host.offsets4(1);
    for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t k = idx[i];
        if (k < 1 || k > host.component_count()) continue;
        const std::int64_t pos = formulas + 3 * (k - 1) + 1;
        if (!host.in_store(pos, 1)) continue;
        char word[8];
        std::memcpy(word, host.word(pos), 8);
        eps[k - 1] = energy_correction_for(std::string_view(word, 8));
    }
}

}  // namespace keld::saft
