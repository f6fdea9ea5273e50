#include "saft/psaf_monitor.h"

#include <cmath>
#include <optional>

#include "common/basis.h"
#include "common/segment_average.h"
#include "common/vector_form.h"
#include "saft/missing_parameter.h"
#include "saft/psaf_properties.h"
#include "saft/psaf_work.h"
#include "saft/saft_init.h"
#include "saft/saft_terms.h"

namespace keld::saft {
namespace {

const host::RoutineId kRoutine("PSAF", "M1");
constexpr double kDefaultEnergyCorrection = 10.0;  // e/k, K

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
void read_binary_table(const Stored &par, std::int64_t kds, const PsafWorkArea &work) {
    const std::int64_t nc = work.nc;
    const double *table = par.host.word(par.b.table + 6 * nc * nc * (kds - 1) + 1);
    for (std::int64_t pair = 0; pair < nc * nc; ++pair) work.kij()[pair] = table[6 * pair];
}

// Where component i's parameters come from: a polymer or oligomer lacking its
// own v00 or u0/k, or both r and m, from its segments. The call decides it from
// the stored parameters (the host's PolymerParamSource word receives it, but
// concurrent calls write that word too, so it is not read back).
double parameter_source(const Stored &par, std::int64_t i) {
    const host::Host &host = par.host;
    if (!host.is_polymer_or_oligomer(i)) return param_source::not_polymer;
    const bool from_segments = host.is_missing(par.v00()[i - 1]) || host.is_missing(par.u0()[i - 1]) ||
                               (host.is_missing(par.r()[i - 1]) && host.is_missing(par.m()[i - 1]));
    return from_segments ? param_source::from_segments : param_source::own;
}

// v00, u0/k and r of the listed components, a polymer or oligomer lacking its
// own taking all three from its segments; then the final segment numbers.
void set_component_parameters(const Stored &par, const MonitorCall &call, const PsafWorkArea &work) {
    const host::Host &host = par.host;
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k] - 1;
        work.m_given()[i] = par.m()[i];
        work.v00()[i] = par.v00()[i];
        work.u0()[i] = par.u0()[i];
        work.r()[i] = par.r()[i];
        const double source = parameter_source(par, i + 1);
        if (source == param_source::not_polymer) continue;
        if (source == param_source::from_segments)
            segment_average3(host, par.v00(), par.u0(), par.r(), i + 1, work.v00()[i], work.u0()[i], work.r()[i],
                             {work.scratch(), work.scratch_words()}, call.kopt);
        host.publish(par.b.source + par.d0 + i + 1, source);
    }
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k] - 1;
        const bool chain_from_ratio = host.is_polymer_or_oligomer(i + 1) && !(par.m()[i] < host.missing());
        work.m()[i] = chain_from_ratio ? work.mwn()[k] * work.r()[i] : par.m()[i];
    }
}

// Cross energies by the rules of the PC-SAFT monitor, into the call's matrix
// and from there into the host's matrix.
void set_cross_energies(const Stored &par, const MonitorCall &call, const PsafWorkArea &work) {
    const host::Host &host = par.host;
    const std::int64_t nc = work.nc;
    double *u0 = work.u0_matrix();
    const double *kij = work.kij();
    for (std::int64_t e = 0; e < nc * nc; ++e) u0[e] = 0.0;
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k] - 1;
        u0[i * nc + i] = work.u0()[i];
    }
    const SegmentScratch scratch{work.scratch(), work.scratch_words()};
    for (std::int64_t k = 0; k < call.n; ++k) {
        for (std::int64_t l = k + 1; l < call.n; ++l) {
            const std::int64_t i = call.idx[k], j = call.idx[l];
            const double k_ij = kij[(j - 1) * nc + (i - 1)];
            const double plain = std::sqrt(work.u0()[i - 1] * work.u0()[j - 1]);
            const double value =
                k_ij != 0.0 ? terms::cross_energy(k_ij, work.u0()[i - 1], work.u0()[j - 1])
                            : cross_without_binary(
                                  parameter_source(par, i), parameter_source(par, j), i, j, [&] { return plain; },
                                  [&](std::int64_t other, std::int64_t polymer) {
                                      return segment_geometric_cross(host, par.u0(), kij, other, polymer, scratch,
                                                                     call.kopt);
                                  });
            u0[(j - 1) * nc + (i - 1)] = value;
            u0[(i - 1) * nc + (j - 1)] = value;
        }
    }
    // The host's matrix is shared by concurrent calls: written word by word with atomic stores.
    for (std::int64_t e = 0; e < nc * nc; ++e) host.publish(par.b.cross + 1 + e, u0[e]);
}

// A listed component without e/k (the marker, or anything above it) gets the
// default, kept in the store: written once, whichever concurrent call comes
// first, and read by the model after that store.
void default_energy_corrections(const Stored &par, const MonitorCall &call) {
    for (std::int64_t k = 0; k < call.n; ++k) {
        double *e = par.e() + call.idx[k] - 1;
        const double held = host::settled_word(e);
        if (held >= par.host.missing()) host::complete_word(e, held, kDefaultEnergyCorrection);
    }
}

// False (after a message) when a listed component still lacks m, v00 or u0/k.
bool parameters_complete(const Stored &par, const MonitorCall &call, const PsafWorkArea &work) {
    const host::Host &host = par.host;
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k];
        const char *missing = nullptr;
        if (!(work.m()[i - 1] < host.missing())) missing = "SAFTM";
        if (!(work.v00()[i - 1] < host.missing())) missing = "SAFTV";
        if (!(work.u0()[i - 1] < host.missing())) missing = "SAFTU";
        if (!missing) continue;
        report_missing_parameter(host, {kRoutine, kRefusalClass, kRefusalNumber, call.kdiag}, "POLYSAFT", missing,
                                 call.kds, host.identifier(i));
        return false;
    }
    return true;
}

}  // namespace

void stored_monitor(const MonitorCall &call) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found) return;
    const host::Host &host = *found;
    const std::int64_t nc = host.component_count();
    if (!open_monitor_call(host, call, PsafWorkArea::words(nc))) return;
    const std::optional<Blocks> blocks = Blocks::locate(host, call.kds);
    if (!blocks) {
        reject(call);
        return;
    }
    const Stored par{host, *blocks, (call.kds - 1) * nc};
    const PsafWorkArea work{host.word(work_start(host, call)), nc};
    if (!convert_to_true_basis(host, call.n, call.idx, call.z, par.mw(), work.mwn(), nullptr, work.x())) {
        reject(call);
        return;
    }
    if (ideal_gas_exit(host, call, par.mw()[call.idx[0] - 1], work.mwn()[0])) return;
    read_binary_table(par, call.kds, work);
    set_component_parameters(par, call, work);
    set_cross_energies(par, call, work);
    default_energy_corrections(par, call);
    if (!parameters_complete(par, call, work)) {
        reject(call);
        return;
    }
    const Parameters model{work.m(), work.v00(), work.u0(), par.e(), work.u0_matrix(), nc};
    run_stored_properties(host, call, {work, model, par.mw(), blocks->tc, blocks->pc});
}

void stored_vector_monitor(double t, const double *p, std::int64_t n, const std::int64_t *idx,
                           const MonitorCall &shared) {
    run_vector_monitor(stored_monitor, t, p, n, idx, shared);
}

}  // namespace keld::saft
