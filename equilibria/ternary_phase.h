// A phase of a ternary from its molar densities: mole and weight fractions (internal).
#pragma once

#include <span>

#include "keld/equilibria/ternary.h"

namespace keld::equilibria::detail {

inline TernaryPhase ternary_phase(const Model &m, std::span<const double> rho) {
    TernaryPhase phase;
    double total = 0.0, mass = 0.0;
    for (std::size_t i = 0; i < rho.size(); ++i) {
        total += rho[i];
        mass += rho[i] * m.components()[i].mw;
    }
    phase.rho = total;
    for (std::size_t i = 0; i < rho.size(); ++i) {
        phase.x.push_back(rho[i] / total);
        phase.w.push_back(rho[i] * m.components()[i].mw / mass);
    }
    return phase;
}

}  // namespace keld::equilibria::detail
