// Default energy corrections e/k of the SAFT segment energy, chosen by a
// component's formula (the host keeps formulas as words of 8 characters).
#pragma once

#include <cstdint>
#include <string_view>

#include "host/host.h"

namespace keld::saft {

// e/k (K) for a formula word of 8 characters: the word compared as it stands
// (left-justified, blank-padded, case as given) with the table of light
// substances; 10 K for every other word.
double energy_correction_for(std::string_view word8);

// EPS(IDX(i)) for i = 1..n from the first formula word of each listed
// component, HostStore(HostOffsets4(1) + 3(k - 1) + 1). Component numbers
// outside 1..NC and words outside the store are skipped.
void set_energy_corrections(const host::Host &host, std::int64_t n, const std::int64_t *idx, double *eps);

}  // namespace keld::saft
