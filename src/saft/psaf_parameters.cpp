// The stored-parameter SAFT monitor's parameters (see psaf_parameters.h).
#include "saft/psaf_parameters.h"

#include <cmath>

#include "common/segment_average.h"
#include "contributions/saft_dispersion.h"

namespace keld::saft {
namespace {

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

}  // namespace

// k_ij of every pair of the data set: the constant coefficient of its six-coefficient table.
void read_binary_table(const Stored &par, std::int64_t kds, const PsafWorkArea &work) {
    const std::int64_t nc = work.nc;
    const double *table = par.host.word(par.b.table + 6 * nc * nc * (kds - 1) + 1);
    for (std::int64_t pair = 0; pair < nc * nc; ++pair) work.kij()[pair] = table[6 * pair];
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

MissingStored first_missing(const Stored &par, const MonitorCall &call, const PsafWorkArea &work) {
    const host::Host &host = par.host;
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k];
        const char *missing = nullptr;
        if (!(work.m()[i - 1] < host.missing())) missing = "SAFTM";
        if (!(work.v00()[i - 1] < host.missing())) missing = "SAFTV";
        if (!(work.u0()[i - 1] < host.missing())) missing = "SAFTU";
        if (missing) return {missing, i};
    }
    return {};
}

}  // namespace keld::saft
