// Polystyrene in cyclohexane on PC-SAFT for the polydisperse tests: the
// example case's parameters (Gross and Sadowski; k_ij fitted to the theta
// temperature, 34.5 C).
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "keld/equilibria/polydisperse.h"

namespace keld::testing {

inline const PcSaftComponent kCyclohexaneSolvent{"CYCLOHEX", 84.147, 2.5303, 3.8499, 278.11};
inline const equilibria::PcSaftPolymer kPolystyrene{"PS", 0.0190, 4.1071, 267.0, 104.152};
inline constexpr double kPsCyclohexaneKij = 0.0078;

inline equilibria::PolydisperseSystem polystyrene_in_cyclohexane(std::vector<equilibria::PseudoComponent> pseudo) {
    return equilibria::PolydisperseSystem::pcsaft(kCyclohexaneSolvent, kPolystyrene, kPsCyclohexaneKij,
                                                  std::move(pseudo));
}

// ln f_i per repeat unit of a phase, formed again from the model's own
// properties at (T, P) (not the solvers' pieces).
inline std::vector<double> ln_f_per_unit(const equilibria::PolydisperseSystem &s, const equilibria::PolydispersePhase &ph,
                                         double t, double p) {
    const auto props = properties_at_pressure(s.model(), t, p, ph.x, Phase::liquid, {false, nullptr});
    if (!props) return std::vector<double>(ph.x.size(), std::nan(""));
    std::vector<double> out;
    for (std::size_t i = 0; i < ph.x.size(); ++i) {
        const ModelComponent &c = s.model().components()[i];
        const double units = c.mw_apparent > 0.0 ? std::max(1.0, c.mw / c.mw_apparent) : 1.0;
        out.push_back((std::log(ph.x[i] * p) + props->ln_phi[i]) / units);
    }
    return out;
}

}  // namespace keld::testing
