// The reference host the export harness calls keld on: toluene, n-hexane, a
// styrene segment and polystyrene (own Sanchez-Lacombe parameters, PC-SAFT
// parameters from its segment), in two data sets, the second with n-hexane's
// PC-SAFT m missing and a temperature-dependent k_ij. Messages are checked
// and formatted (every one allowed) and then dropped.
#pragma once

#include <cstdint>
#include <vector>

#include "keld/refhost.h"

namespace keld::fuzz {

struct FuzzHost {
    refhost::ReferenceHost host{refhost::HostOptions{2, 0}};
    std::int64_t tol = 0, hex = 0, sty = 0, ps = 0;

    FuzzHost() {
        using refhost::ComponentKind;
        tol = host.add_component("TOLUENE", ComponentKind::ordinary, 92.141);
        hex = host.add_component("NC6", ComponentKind::ordinary, 86.177);
        sty = host.add_component("STY", ComponentKind::segment, 104.152);
        ps = host.add_polymer("PS", ComponentKind::polymer, 104.152, 1e5);
        const refhost::SegmentShare share{sty, 1.0};
        host.set_segment_composition(ps, {&share, 1});
        struct Sl {
            std::int64_t i;
            double t, p, rho;
        };
        for (std::int64_t d : {1, 2}) {
            for (const Sl &s : {Sl{tol, 543, 402e6, 966}, Sl{hex, 476, 298e6, 775}, Sl{sty, 735, 357e6, 1105},
                                Sl{ps, 735, 357e6, 1105}}) {
                host.set_unary("SLTSTR", s.i, s.t, d);
                host.set_unary("SLPSTR", s.i, s.p, d);
                host.set_unary("SLRSTR", s.i, s.rho, d);
            }
            host.set_unary("PCSFTM", tol, 2.8149, d);
            host.set_unary("PCSFTV", tol, 3.7169, d);
            host.set_unary("PCSFTU", tol, 285.69, d);
            if (d == 1) host.set_unary("PCSFTM", hex, 3.0576, d);
            host.set_unary("PCSFTV", hex, 3.7983, d);
            host.set_unary("PCSFTU", hex, 236.77, d);
            host.set_unary("PCSFTR", sty, 0.0190, d);
            host.set_unary("PCSFTV", sty, 4.1072, d);
            host.set_unary("PCSFTU", sty, 267.0, d);
        }
        host.set_component_value("TC", tol, 591.75);
        host.set_component_value("TC", hex, 507.6);
        host.set_binary("SLKIJ", tol, ps, 0.01, 1);
        const double table[6] = {0.01, 2.0, 0.0, 0.0, 0.0, 298.15};
        host.set_binary_coefficients("PCSKIJ", tol, hex, table, 2);
        host.message_policy().mode = refhost::MessageMode::accept_all;
        host.set_message_sink([](std::string_view) {});
        host.install();
        mark_published();
    }

    // Store positions a monitor call may write outside its work area: the
    // polymer's parameter-source flags and pseudo-critical values, and the
    // Sanchez-Lacombe working copies of every component.
    std::vector<bool> published;

    void mark_published() {
        published.assign(host.store().size() + 1, false);
        const std::int64_t nc = host.component_count();
        for (const char *name : {"SLSRC", "PCSSRC"})
            for (std::int64_t d = 0; d < 2; ++d) published[host.param_offset(name) + d * nc + ps] = true;
        for (const char *name : {"TC", "PC"}) published[host.param_offset(name) + ps] = true;
        for (const char *name : {"TSTARL", "PSTARL", "DSTARL"})
            for (std::int64_t i = 1; i <= nc; ++i) published[host.param_offset(name) + i] = true;
    }
};

}  // namespace keld::fuzz
