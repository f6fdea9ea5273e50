// Polystyrene in cyclohexane on PC-SAFT for the polydisperse tests: the
// example case's parameters (Gross and Sadowski; k_ij fitted to the theta
// temperature, 34.5 C).
#pragma once

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

}  // namespace keld::testing
