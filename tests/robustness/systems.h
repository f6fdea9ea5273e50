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
#include "support/saft_systems.h"

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

// SAFT (Huang and Radosz) systems: methane, n-hexane, n-hexane + toluene (0.4/0.6) and
// polyethylene (MWN 5e4, own parameters per unit of weight, as the case
// example has them; also listed as its ethylene segment for the
// stored-parameter monitor) in n-hexane at 10 wt %.
inline void saft_methane(System &s) {
    s.hex = add_saft_fluid(s.host, kMethaneHr);
    s.idx = {s.hex};
    s.z = {1.0};
    s.t_critical = kMethaneHr.tc;
}

inline void saft_hexane(System &s) {
    s.hex = add_saft_fluid(s.host, kHexaneHr);
    s.idx = {s.hex};
    s.z = {1.0};
    s.t_critical = kHexaneHr.tc;
}

inline void saft_hexane_toluene(System &s) {
    s.hex = add_saft_fluid(s.host, kHexaneHr);
    s.tol = add_saft_fluid(s.host, kTolueneHr);
    s.idx = {s.hex, s.tol};
    s.z = {0.4, 0.6};
    s.t_critical = 0.4 * kHexaneHr.tc + 0.6 * kTolueneHr.tc;
}

inline void saft_polyethylene_hexane(System &s) {
    constexpr double mw = 28.054, mwn = 5e4, r = 0.0472427;
    s.hex = add_saft_fluid(s.host, kHexaneHr);
    s.sty = add_saft_segment(s.host, {"ETH", mw, r, 0.012, 207.73, 10.0});
    s.ps = add_homopolymer(s.host, "PE", s.sty, mw, mwn);
    set_saft_segment_parameters(s.host, s.ps, {"PE", mw, r, 0.012, 207.73, 10.0});
    const double n_pe = 0.1 / mw, n_hex = 0.9 / kHexaneHr.mw, molecules_pe = 0.1 / mwn;
    s.idx = {s.ps, s.hex};
    s.z = {n_pe / (n_pe + n_hex), n_hex / (n_pe + n_hex)};
    const double x_pe = molecules_pe / (molecules_pe + n_hex);
    s.t_critical = x_pe * (318.305 + 696.86 * std::exp(-120.876 / mwn)) + (1.0 - x_pe) * kHexaneHr.tc;
}

// Associating PC-SAFT systems: methanol (2B; Gross and Sadowski 2002) and
// methanol + n-hexane (0.5/0.5), critical temperatures and pressures given.
inline std::int64_t add_methanol_2b(System &s) {
    const std::int64_t i = s.host.add_component("MEOH", refhost::ComponentKind::ordinary, 32.042);
    s.host.set_unary("PCSFTM", i, 1.5255);
    s.host.set_unary("PCSFTV", i, 3.23);
    s.host.set_unary("PCSFTU", i, 188.9);
    s.host.set_unary("PCSATY", i, 2.0);
    s.host.set_unary("PCSAEP", i, 2899.5);
    s.host.set_unary("PCSAKP", i, 0.035176);
    s.host.set_component_value("TC", i, 512.6);
    s.host.set_component_value("PC", i, 8.097e6);
    return i;
}

inline void methanol(System &s) {
    s.tol = add_methanol_2b(s);
    s.idx = {s.tol};
    s.z = {1.0};
    s.t_critical = 512.6;
}

inline void methanol_hexane(System &s) {
    s.tol = add_methanol_2b(s);
    s.hex = add_pcsaft_fluid(s.host, kHexane);
    s.host.set_component_value("PC", s.hex, 30.25e5);
    s.idx = {s.tol, s.hex};
    s.z = {0.5, 0.5};
    s.t_critical = 0.5 * 512.6 + 0.5 * kHexane.tc;
}

// A polymer solution installed and ready for calls.
struct PolymerSolution : System {
    PolymerSolution() {
        polystyrene_toluene(*this);
        host.install();
    }
};

}  // namespace keld::testing
