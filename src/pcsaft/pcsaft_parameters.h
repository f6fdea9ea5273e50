// The PC-SAFT parameters a call uses, gathered from the host's store: where
// the arrays are, each listed component's m, sigma, eps/k and r (a polymer or
// oligomer lacking its own taking them from its segments), and the k_ij at T.
// The monitor and the model layer (model/families/pcsaft_from_host.cpp) read them
// through these functions alone.
#pragma once

#include <cstdint>
#include <optional>

#include "common/missing_parameters.h"
#include "common/monitor_call.h"
#include "host/host.h"
#include "pcsaft/pcsaft_work.h"

namespace keld::pcsaft {

// Store offsets of the host arrays the monitor reads, checked for the data set.
struct Blocks {
    std::int64_t m, sigma, eps, r, source, table, mw, tc, pc;

    static std::optional<Blocks> locate(const host::Host &host, std::int64_t kds);
};

struct Parameters {
    const host::Host &host;
    const Blocks &b;
    std::int64_t d0;  // (KDS - 1) NC

    const double *m() const { return host.word(b.m + d0 + 1); }  // of the data set, by component
    const double *sigma() const { return host.word(b.sigma + d0 + 1); }
    const double *eps() const { return host.word(b.eps + d0 + 1); }
    const double *r() const { return host.word(b.r + d0 + 1); }
    std::int64_t source_position(std::int64_t i) const { return b.source + d0 + i; }
    const double *mw() const { return host.word(b.mw + 1); }
    // The six-coefficient k_ij table of the data set: pair (i, j) at table() + 6 ((j-1) NC + i-1).
    const double *table(std::int64_t kds) const {
        const std::int64_t nc = host.component_count();
        return host.word(b.table + 6 * nc * nc * (kds - 1) + 1);
    }
};

// k_ij of every pair at T from the host's six-coefficient table (0 without the service).
void evaluate_binary_table(const host::Host &host, const Blocks &b, const MonitorCall &call, const WorkArea &work);

// sigma, eps/k and r of the listed components, a polymer or oligomer lacking
// its own taking all three from its segments; then the final segment numbers
// (work.m(), by component; work.mwn() must hold the number-average molecular
// weights by position). Every value the model will use passes through `check`.
void set_component_parameters(const Parameters &par, const MonitorCall &call, const WorkArea &work,
                              ParameterCheck &check);

}  // namespace keld::pcsaft
