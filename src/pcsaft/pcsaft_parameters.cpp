// The PC-SAFT parameters a call uses (see pcsaft_parameters.h).
#include "pcsaft/pcsaft_parameters.h"

#include "common/segment_average.h"

namespace keld::pcsaft {

std::optional<Blocks> Blocks::locate(const host::Host &host, std::int64_t kds) {
    using namespace elements;
    Blocks b{host.offsets1(kSegmentNumber), host.offsets1(kSegmentDiameter), host.offsets1(kSegmentEnergy),
             host.offsets1(kSegmentRatio),  host.offsets1(kSourceFlags),     host.offsets1(kBinaryTable),
             host.offsets1(kMolecularWeight), host.offsets1(kCriticalTemperature),
             host.offsets1(kCriticalPressure)};
    const bool ok = unary_block_in_store(host, b.m, kds) && unary_block_in_store(host, b.sigma, kds) &&
                    unary_block_in_store(host, b.eps, kds) && unary_block_in_store(host, b.r, kds) &&
                    unary_block_in_store(host, b.source, kds) && binary_block_in_store(host, b.table, kds, 6) &&
                    unary_block_in_store(host, b.mw, 1) && unary_block_in_store(host, b.tc, 1) &&
                    unary_block_in_store(host, b.pc, 1);
    if (!ok) return std::nullopt;
    return b;
}

// k_ij of every pair at T from the host's six-coefficient table (0 without the service).
void evaluate_binary_table(const host::Host &host, const Blocks &b, const MonitorCall &call, const WorkArea &work) {
    const keld_host &t = host.table();
    const std::int64_t nc = work.nc;
    if (!t.binary_table3) {
        for (std::int64_t e = 0; e < nc * nc; ++e) work.kij()[e] = 0.0;
        return;
    }
    const std::int64_t coefficients = 6, used = 6;
    t.binary_table3(&coefficients, &used, &call.t, host.word(b.table + 6 * nc * nc * (call.kds - 1) + 1), work.kij());
}

// sigma, eps/k and r of the listed components, a polymer or oligomer lacking
// its own taking all three from its segments; then the final segment numbers.
// Every value the model will use passes through `check`.
void set_component_parameters(const Parameters &par, const MonitorCall &call, const WorkArea &work,
                              ParameterCheck &check) {
    const host::Host &host = par.host;
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k] - 1;
        work.m_given()[i] = par.m()[i];
        work.sigma()[i] = par.sigma()[i];
        work.eps()[i] = par.eps()[i];
        work.r()[i] = par.r()[i];
        double source = param_source::not_polymer;
        if (host.is_polymer_or_oligomer(i + 1)) {
            const bool from_segments = host.is_missing(par.sigma()[i]) || host.is_missing(par.eps()[i]) ||
                                       (host.is_missing(par.r()[i]) && host.is_missing(par.m()[i]));
            if (from_segments) {
                const SegmentAverageCheck average =
                    segment_average3(host, par.sigma(), par.eps(), par.r(), i + 1, work.sigma()[i], work.eps()[i],
                                     work.r()[i], {work.scratch(), work.scratch_words()}, call.kopt);
                const bool chain_from_ratio = !(par.m()[i] < host.missing());
                check.require_average(average, i + 1, {"PCSFTV", "PCSFTU", "PCSFTR"}, {true, true, chain_from_ratio});
            }
            source = from_segments ? param_source::from_segments : param_source::own;
            host.publish(par.source_position(i + 1), source);
        }
        work.sources()[i] = source;
    }
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k] - 1;
        const bool polymer_or_oligomer = work.sources()[i] != param_source::not_polymer;  // as found above
        const bool chain_from_ratio = polymer_or_oligomer && !(par.m()[i] < host.missing());
        work.m()[i] = chain_from_ratio ? work.mwn()[k] * work.r()[i] : par.m()[i];
        check.require(chain_from_ratio ? "PCSFTR" : "PCSFTM", i + 1, work.m()[i]);
        check.require("PCSFTV", i + 1, work.sigma()[i]);
        check.require("PCSFTU", i + 1, work.eps()[i]);
    }
}

}  // namespace keld::pcsaft
