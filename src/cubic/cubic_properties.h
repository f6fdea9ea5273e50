// The property step of the cubic at the root volume: departures, ln phi and
// every temperature derivative at constant pressure, analytic and mutually
// consistent, from the reduced residual Helmholtz energy of SRK
//   F = -n ln(1 - B/V) - (D/T) ln(1 + B/V)/(R B)
// (B = n b, D = n^2 D_mix, V the total volume; Michelsen and Mollerup's form).
#pragma once

#include <cstdint>

#include "common/flags.h"
#include "common/outputs.h"
#include "cubic/mixing_rule_inputs.h"

namespace keld::cubic {

struct PropertyState {
    double t, p, v;  // K, Pa (given), m3/kmol (root)
    double gas_constant, reference_pressure;
    std::int64_t n;
};

// Writes the requested outputs on the true basis (ln phi by position).
void write_properties(const PropertyState &state, const MixtureConstants &mix, const Requests &rq,
                      const MonitorOutputs &out);

}  // namespace keld::cubic
