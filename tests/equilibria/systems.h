// Reference hosts for the phase-equilibrium tests, and an independent check
// of an equilibrium: every phase evaluated again through the model registry's
// own state evaluation (refhost::evaluate, apparent basis), its fugacities
// formed from that.
#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "keld/case.h"
#include "keld/equilibria/system.h"
#include "support/pcsaft_systems.h"

namespace keld::testing {

inline constexpr PcsaftFluid kCyclohexane{"CYCLOHEX", 84.147, 2.5303, 3.8499, 278.11, 553.6};
// Fitted here to the theta temperature of polystyrene in cyclohexane (34.5 C).
inline constexpr double kCyclohexanePsKij = 0.0078;

struct Host {
    std::unique_ptr<refhost::ReferenceHost> host = std::make_unique<refhost::ReferenceHost>();
    std::int64_t c1 = 0, c2 = 0, c3 = 0, hexane = 0, toluene = 0, cyclohexane = 0, ps = 0;
};

// Methane, ethane, propane, n-hexane, toluene (PC-SAFT; hexane and toluene
// also Sanchez-Lacombe), cyclohexane and polystyrene of MWN 1e5 from styrene
// segments, with the cyclohexane-polystyrene k_ij.
inline Host make_host() {
    Host h;
    refhost::ReferenceHost &host = *h.host;
    h.c1 = add_pcsaft_fluid(host, kMethane);
    h.c2 = add_pcsaft_fluid(host, kEthane);
    h.c3 = add_pcsaft_fluid(host, kPropane);
    h.hexane = add_pcsaft_fluid(host, kHexane);
    h.toluene = add_pcsaft_fluid(host, kToluene);
    h.cyclohexane = add_pcsaft_fluid(host, kCyclohexane);
    set_sl_parameters(host, h.hexane, kHexaneSl);
    set_sl_parameters(host, h.toluene, kTolueneSl);
    const std::int64_t sty = add_pcsaft_segment(host, kStyrene);
    h.ps = add_homopolymer(host, "PS", sty, kStyrene.mw, 1e5);
    const double kij[6] = {kCyclohexanePsKij, 0, 0, 0, 0, 0};
    host.set_binary_coefficients("PCSKIJ", h.cyclohexane, h.ps, kij);
    host.set_binary_coefficients("PCSKIJ", h.ps, h.cyclohexane, kij);
    return h;
}

// ln f_i (Pa) of every listed component of a phase of true mole fractions x,
// through refhost::evaluate; NaN where x_i = 0. v: molar volume per true kmol.
struct Check {
    std::vector<double> ln_f;
    double v = 0;
    bool ok = false;
};

inline Check check_phase(equilibria::System &system, const std::vector<std::size_t> &listed,
                         const std::vector<double> &x_all, double t, double p, equilibria::PhaseKind kind) {
    std::vector<double> x(system.size(), 0.0), z(system.size());
    for (std::size_t k : listed) x[k] = x_all[k];
    double sum = 0.0;
    for (double v : x) sum += v;
    for (double &v : x) v /= sum;
    system.apparent_from_mole(x.data(), z.data());
    refhost::StateRequest request;
    request.model = std::string(system.model().name);
    request.temperature = t;
    request.pressure = p;
    request.phase = static_cast<std::int64_t>(kind);
    request.flags = {1, 0, 0, 0, 1};
    for (std::size_t k : listed) {
        request.components.push_back(system.component(k).number);
        request.z.push_back(z[k]);
    }
    const refhost::StateResult r = refhost::evaluate(system.session().host(), request);
    Check c;
    c.ok = r.status == 1;
    c.ln_f.assign(system.size(), std::nan(""));
    double apparent_per_true = 0.0;
    for (std::size_t k = 0; k < system.size(); ++k)
        apparent_per_true += x[k] * system.component(k).mwn / system.component(k).mw;
    c.v = r.v * apparent_per_true;
    for (std::size_t a = 0; a < listed.size(); ++a) {
        const std::size_t k = listed[a];
        if (x[k] > 0.0) c.ln_f[k] = std::log(z[k] * p) + r.phi[a];
    }
    return c;
}

inline std::vector<std::size_t> all_of(const equilibria::System &system) {
    std::vector<std::size_t> v;
    for (std::size_t k = 0; k < system.size(); ++k) v.push_back(k);
    return v;
}

// Largest |ln f_i' - ln f_i''| over the components present in both phases.
inline double fugacity_gap(const Check &a, const Check &b) {
    double gap = 0.0;
    for (std::size_t k = 0; k < a.ln_f.size(); ++k) {
        if (std::isfinite(a.ln_f[k]) && std::isfinite(b.ln_f[k]))
            gap = std::max(gap, std::fabs(a.ln_f[k] - b.ln_f[k]));
    }
    return gap;
}

// A flash case: the listed components, the feed, T / K, P / Pa and the number of phases expected.
struct FlashCase {
    const char *name;
    std::vector<std::int64_t Host::*> components;
    std::vector<double> z;
    double t, p;
    std::size_t phases;
};

// Methane, ethane, propane, n-hexane and toluene, and their feed of the flash benchmarks.
inline const std::vector<std::int64_t Host::*> kFive{&Host::c1, &Host::c2, &Host::c3, &Host::hexane, &Host::toluene};
inline const std::vector<double> kFiveFeed{0.05, 0.10, 0.15, 0.30, 0.40};

}  // namespace keld::testing
