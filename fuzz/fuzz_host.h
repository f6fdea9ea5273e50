// The reference host the export harnesses call keld on: toluene, n-hexane, a
// styrene segment, polystyrene (own Sanchez-Lacombe parameters, PC-SAFT and
// SAFT parameters from its segment) and methanol (associating PC-SAFT), in two
// data sets, the second with n-hexane's PC-SAFT and SAFT m missing and a
// temperature-dependent k_ij; SRK constants, excess-Gibbs pair parameters and
// formulas for the solvents. Messages are checked and formatted (every one
// allowed) and then dropped.
#pragma once

#include <cstdint>
#include <vector>

#include "keld/refhost.h"

namespace keld::fuzz {

struct FuzzHost {
    refhost::ReferenceHost host{refhost::HostOptions{2, 600}};
    std::int64_t tol = 0, hex = 0, sty = 0, ps = 0, meoh = 0;

    FuzzHost() {
        using refhost::ComponentKind;
        tol = host.add_component("TOLUENE", ComponentKind::ordinary, 92.141);
        hex = host.add_component("NC6", ComponentKind::ordinary, 86.177);
        sty = host.add_component("STY", ComponentKind::segment, 104.152);
        ps = host.add_polymer("PS", ComponentKind::polymer, 104.152, 1e5);
        meoh = host.add_component("MEOH", ComponentKind::ordinary, 32.042);
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
            saft(d);
            association(d);
        }
        cubic();
        host.set_formula(tol, "C7H8");
        host.set_formula(hex, "C6H14");
        host.set_formula(sty, "C8H8");
        host.set_formula(meoh, "CH4O");
        host.set_component_value("TC", tol, 591.75);
        host.set_component_value("TC", hex, 507.6);
        host.set_component_value("TC", meoh, 512.6);
        host.set_component_value("PC", tol, 41.08e5);
        host.set_component_value("PC", hex, 30.25e5);
        host.set_component_value("PC", meoh, 80.97e5);
        host.set_binary("SLKIJ", tol, ps, 0.01, 1);
        const double table[6] = {0.01, 2.0, 0.0, 0.0, 0.0, 298.15};
        host.set_binary_coefficients("PCSKIJ", tol, hex, table, 2);
        host.message_policy().mode = refhost::MessageMode::accept_all;
        host.set_message_sink([](std::string_view) {});
        host.install();
        mark_published();
    }

    void saft(std::int64_t d) {
        struct Saft {
            std::int64_t i;
            double m, v, u;
        };
        for (const Saft &f : {Saft{tol, 4.373, 0.011789, 245.27}, Saft{hex, 4.724, 0.012475, 202.72}}) {
            if (f.i != hex || d == 1) host.set_unary("SAFTM", f.i, f.m, d);
            host.set_unary("SAFTV", f.i, f.v, d);
            host.set_unary("SAFTU", f.i, f.u, d);
            host.set_unary("SAFTE", f.i, 10.0, d);
        }
        host.set_unary("SAFTR", sty, 4.719 / 106.167, d);
        host.set_unary("SAFTV", sty, 0.012681, d);
        host.set_unary("SAFTU", sty, 248.79, d);
        host.set_unary("SAFTE", sty, 10.0, d);
    }

    void association(std::int64_t d) {
        host.set_unary("PCSFTM", meoh, 1.5255, d);
        host.set_unary("PCSFTV", meoh, 3.23, d);
        host.set_unary("PCSFTU", meoh, 188.9, d);
        host.set_unary("PCSATY", meoh, 2.0, d);
        host.set_unary("PCSAEP", meoh, 2899.5, d);
        host.set_unary("PCSAKP", meoh, 0.035176, d);
        host.set_unary("PCSAMU", meoh, 1.7, d);
        host.set_unary("PCSAXP", meoh, 0.3, d);
    }

    void cubic() {
        struct Srk {
            std::int64_t i;
            double tc, pc, omega, r, q;
        };
        for (const Srk &f : {Srk{tol, 591.75, 41.08e5, 0.264, 3.9228, 2.968}, Srk{hex, 507.6, 30.25e5, 0.301, 4.4998, 3.856},
                             Srk{meoh, 512.6, 80.97e5, 0.565, 1.4311, 1.432}}) {
            host.set_unary("TCRKS", f.i, f.tc);
            host.set_unary("PCRKS", f.i, f.pc);
            host.set_unary("OMGRKS", f.i, f.omega);
            host.set_unary("UNIQR", f.i, f.r);
            host.set_unary("UNIQQ", f.i, f.q);
        }
        for (std::int64_t i : {tol, hex, meoh})
            for (std::int64_t j : {tol, hex, meoh})
                if (i != j) {
                    host.set_binary("GEAIJ", i, j, 0.3 + 0.1 * static_cast<double>(i - j), 1);
                    host.set_binary("GEALF", i, j, 0.3, 1);
                }
        host.set_binary("RKSKIJ", tol, hex, 0.01, 1);
    }

    // Store positions a monitor call may write outside its work area: the
    // polymer's parameter-source flags and pseudo-critical values, and the
    // Sanchez-Lacombe working copies of every component.
    std::vector<bool> published;

    void mark_published() {
        published.assign(host.store().size() + 1, false);
        const std::int64_t nc = host.component_count();
        for (const char *name : {"SLSRC", "PCSSRC", "SFTSRC"})
            for (std::int64_t d = 0; d < 2; ++d) published[host.param_offset(name) + d * nc + ps] = true;
        for (const char *name : {"TC", "PC"}) published[host.param_offset(name) + ps] = true;
        for (const char *name : {"TSTARL", "PSTARL", "DSTARL"})
            for (std::int64_t i = 1; i <= nc; ++i) published[host.param_offset(name) + i] = true;
        // The cubic completes missing SRK constants and the host's reserved words of the listed
        // components (TCRKS, PCRKS, OMGRKS, the per-component and pair words) and marks them checked.
        const std::int64_t words = host.data_set_count() * nc;
        for (std::int64_t element : {424, 332, 322, 144, 627})
            if (host.offsets1(element) > 0)
                for (std::int64_t k = 1; k <= words; ++k) published[host.offsets1(element) + k] = true;
        // The stored-parameter SAFT monitor publishes the call's cross energies u0_ij/k and gives a
        // listed component without e/k the default (data set 1).
        if (host.offsets1(880) > 0)
            for (std::int64_t k = 1; k <= nc * nc; ++k) published[host.offsets1(880) + k] = true;
        if (host.offsets1(879) > 0)
            for (std::int64_t i = 1; i <= nc; ++i) published[host.offsets1(879) + i] = true;
        if (host.offsets1(146) > 0)
            for (std::int64_t k = 1; k <= words * nc; ++k) published[host.offsets1(146) + k] = true;
    }
};

}  // namespace keld::fuzz
