// Systems and families shared by the robustness tests.
#pragma once

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

// Polystyrene (MWN 1e5; own Sanchez-Lacombe parameters, PC-SAFT parameters from
// its styrene segment) in toluene, 30 wt % polymer.
struct PolymerSolution {
    refhost::ReferenceHost host;
    std::int64_t sty, ps, tol;
    std::vector<double> z;

    PolymerSolution() {
        sty = add_pcsaft_segment(host, kStyrene);
        ps = add_homopolymer(host, "PS", sty, kStyrene.mw, 1e5);
        tol = add_pcsaft_fluid(host, kToluene);
        set_sl_parameters(host, sty, kPolystyreneSl);
        set_sl_parameters(host, ps, kPolystyreneSl);
        set_sl_parameters(host, tol, kTolueneSl);
        const double n_ps = 0.3 / kStyrene.mw, n_tol = 0.7 / kToluene.mw;
        z = {n_ps / (n_ps + n_tol), n_tol / (n_ps + n_tol)};
        host.install();
    }
    std::vector<double> outside_work_area() const {
        const auto store = host.store();
        std::vector<double> words(store.begin(), store.begin() + (host.work_offset() - 1));
        words.push_back(store.back());  // the spare word after the work area
        return words;
    }
};

}  // namespace keld::testing
