// The systems the robustness tests call both families on, each on a reference
// host of its own: n-hexane, n-hexane + toluene (0.4/0.6) and polystyrene
// (MWN 1e5; own Sanchez-Lacombe parameters, PC-SAFT parameters from its
// styrene segment) in toluene at 30 wt %, with SRK constants for the solvents.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/pcsaft_systems.h"

namespace keld::testing {

struct Family {
    const char *name;
    MonitorFn monitor;
};
inline const Family kFamilies[] = {{"sanchez-lacombe", KELD_ESSLP}, {"pcsaft", KELD_ESPCSF}};

// Listed components, apparent mole fractions and the pseudo-critical
// temperature (mole-fraction average on the true basis).
struct System {
    refhost::ReferenceHost host;
    std::vector<std::int64_t> idx;
    std::vector<double> z;
    double t_critical = 0.0;
    std::int64_t sty = 0, ps = 0, tol = 0, hex = 0;

    std::int64_t solvent(const PcsaftFluid &f, const SlFluid &sl, double pc, double omega) {
        const std::int64_t i = add_pcsaft_fluid(host, f);
        set_sl_parameters(host, i, sl);
        host.set_unary("TCRKS", i, f.tc);
        host.set_unary("PCRKS", i, pc);
        host.set_unary("OMGRKS", i, omega);
        return i;
    }
};

inline void hexane(System &s) {
    s.hex = s.solvent(kHexane, kHexaneSl, 30.25e5, 0.301);
    s.idx = {s.hex};
    s.z = {1.0};
    s.t_critical = kHexane.tc;
}

inline void hexane_toluene(System &s) {
    s.hex = s.solvent(kHexane, kHexaneSl, 30.25e5, 0.301);
    s.tol = s.solvent(kToluene, kTolueneSl, 41.08e5, 0.264);
    s.idx = {s.hex, s.tol};
    s.z = {0.4, 0.6};
    s.t_critical = 0.4 * kHexane.tc + 0.6 * kToluene.tc;
}

inline void polystyrene_toluene(System &s) {
    s.sty = add_pcsaft_segment(s.host, kStyrene);
    s.ps = add_homopolymer(s.host, "PS", s.sty, kStyrene.mw, 1e5);
    s.tol = s.solvent(kToluene, kTolueneSl, 41.08e5, 0.264);
    set_sl_parameters(s.host, s.sty, kPolystyreneSl);
    set_sl_parameters(s.host, s.ps, kPolystyreneSl);
    const double n_ps = 0.3 / kStyrene.mw, n_tol = 0.7 / kToluene.mw, molecules_ps = 0.3 / 1e5;
    s.idx = {s.ps, s.tol};
    s.z = {n_ps / (n_ps + n_tol), n_tol / (n_ps + n_tol)};
    const double x_ps = molecules_ps / (molecules_ps + n_tol);
    s.t_critical = x_ps * (318.305 + 696.86 * std::exp(-120.876 / 1e5)) + (1.0 - x_ps) * kToluene.tc;
}

// A polymer solution installed and ready for calls.
struct PolymerSolution : System {
    PolymerSolution() {
        polystyrene_toluene(*this);
        host.install();
    }
};

}  // namespace keld::testing
