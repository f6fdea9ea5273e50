// The stored-parameter SAFT monitor's parameters, gathered from the host's store: where the arrays
// are, each listed component's m, v00, u0/k and r (a polymer or oligomer lacking its own taking them
// from its segments), the k_ij of the data set, the cross energies and the default e/k. The monitor
// and the model layer (model/families/saft_from_host.cpp) read them through these functions alone.
#pragma once

#include <cstdint>
#include <optional>

#include "common/monitor_call.h"
#include "host/host.h"
#include "saft/psaf_work.h"
#include "saft/saft_init.h"

namespace keld::saft {

inline constexpr double kDefaultEnergyCorrection = 10.0;  // e/k, K

// Store offsets of the host arrays the monitor reads, checked for the data set.
struct Blocks {
    std::int64_t m, v00, u0, e, r, source, table, cross, mw, tc, pc;

    static std::optional<Blocks> locate(const host::Host &host, std::int64_t kds) {
        using namespace elements;
        Blocks b{host.offsets1(kSegmentNumber), host.offsets1(kSegmentVolume),  host.offsets1(kSegmentEnergy),
                 host.offsets1(kEnergyCorrection), host.offsets1(kSegmentRatio), host.offsets1(kSourceFlags),
                 host.offsets1(kBinaryTable),   host.offsets1(kCrossEnergies), host.offsets1(kMolecularWeight),
                 host.offsets1(kCriticalTemperature), host.offsets1(kCriticalPressure)};
        const std::int64_t nc = host.component_count();
        const bool ok = unary_block_in_store(host, b.m, kds) && unary_block_in_store(host, b.v00, kds) &&
                        unary_block_in_store(host, b.u0, kds) && unary_block_in_store(host, b.e, 1) &&
                        unary_block_in_store(host, b.r, 1) && unary_block_in_store(host, b.source, kds) &&
                        binary_block_in_store(host, b.table, kds, 6) && b.cross > 0 &&
                        host.in_store(b.cross + 1, nc * nc) && unary_block_in_store(host, b.mw, 1) &&
                        unary_block_in_store(host, b.tc, 1) && unary_block_in_store(host, b.pc, 1);
        if (!ok) return std::nullopt;
        return b;
    }
};

struct Stored {
    const host::Host &host;
    const Blocks &b;
    std::int64_t d0;  // (KDS - 1) NC

    const double *m() const { return host.word(b.m + d0 + 1); }  // of the data set, by component
    const double *v00() const { return host.word(b.v00 + d0 + 1); }
    const double *u0() const { return host.word(b.u0 + d0 + 1); }
    double *e() const { return host.word(b.e + 1); }        // data set 1
    const double *r() const { return host.word(b.r + 1); }  // data set 1
    double *source() const { return host.word(b.source + d0 + 1); }
    const double *mw() const { return host.word(b.mw + 1); }
};

// k_ij of every pair of the data set: the constant coefficient of its six-coefficient table.
void read_binary_table(const Stored &par, std::int64_t kds, const PsafWorkArea &work);

// v00, u0/k and r of the listed components, a polymer or oligomer lacking its
// own taking all three from its segments; then the final segment numbers
// (work.mwn() must hold the number-average molecular weights by position).
void set_component_parameters(const Stored &par, const MonitorCall &call, const PsafWorkArea &work);

// Cross energies of the listed pairs into the call's matrix and from there into the host's matrix.
void set_cross_energies(const Stored &par, const MonitorCall &call, const PsafWorkArea &work);

// A listed component without e/k gets the default, kept in the store.
void default_energy_corrections(const Stored &par, const MonitorCall &call);

// The first listed component that still lacks m, v00 or u0/k (of several, u0/k is named before v00
// before m); name null when none does.
struct MissingStored {
    const char *name = nullptr;  // "SAFTM", "SAFTV", "SAFTU"
    std::int64_t component = 0;
};
MissingStored first_missing(const Stored &par, const MonitorCall &call, const PsafWorkArea &work);

}  // namespace keld::saft
