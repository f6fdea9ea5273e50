// A PC-SAFT model from the installed host's store (see model/from_host.h):
// the parameters of the listed components gathered by the monitor's own
// functions (pcsaft/pcsaft_parameters.h), and each pair's cross energy by the
// monitor's rule, with the k_ij kept as temperature tables.
#include <cmath>
#include <string>
#include <vector>

#include "common/basis.h"
#include "common/segment_average.h"
#include "model/from_host.h"
#include "model/from_host_names.h"
#include "model/families/pcsaft_family.h"
#include "pcsaft/pcsaft_parameters.h"

namespace keld::model {
namespace {

// The table of pair (i, j): row i, column j of the data set's six-coefficient block.
BinaryTable table_of(const host::Host &host, const pcsaft::Parameters &par, std::int64_t kds, std::int64_t i,
                     std::int64_t j) {
    const std::int64_t nc = host.component_count();
    return BinaryTable::from_words(par.table(kds) + 6 * ((j - 1) * nc + (i - 1)), host.missing());
}

// other's cross energy with a polymer built from segments: one term per
// segment whose fraction reaches the host's floor (as segment_geometric_cross).
std::vector<CrossEnergyTerm> through_segments(const host::Host &host, const pcsaft::Parameters &par,
                                              std::int64_t kds, std::int64_t other, std::int64_t polymer,
                                              double eps_other, std::int64_t kopt, std::vector<double> &scratch) {
    std::vector<CrossEnergyTerm> terms;
    const SegmentList list = find_segment_list(host);
    const std::int64_t count = segment_fractions(host, list, polymer, mole_fractions_requested(kopt),
                                                 {scratch.data(), static_cast<std::int64_t>(scratch.size())});
    const double floor = host.segment_fraction_floor();
    for (std::int64_t k = 1; k <= count; ++k) {
        const double f = scratch[k - 1];
        if (f < floor) continue;
        const std::int64_t s = list.component(host, k);
        terms.push_back({f, std::sqrt(eps_other * par.eps()[s - 1]), table_of(host, par, kds, s, other)});
    }
    return terms;
}

}  // namespace

FromHost pcsaft_from_host(const host::Host &host, std::int64_t kds, std::span<const std::int64_t> idx,
                          std::int64_t kopt) {
    FromHost result;
    const std::int64_t nc = host.component_count(), n = static_cast<std::int64_t>(idx.size());
    if (const std::string fault = list_fault(host, idx); !fault.empty()) return result.refuse(fault);
    const std::optional<pcsaft::Blocks> blocks = pcsaft::Blocks::locate(host, kds);
    if (!blocks) return result.refuse("the store holds no PC-SAFT parameters for data set " + std::to_string(kds));
    const pcsaft::Parameters par{host, *blocks, (kds - 1) * nc};

    // The monitor's work area, here on the heap, holds what its functions gather.
    std::vector<double> words(static_cast<std::size_t>(pcsaft::WorkArea::words(nc)), 0.0);
    const pcsaft::WorkArea work{words.data(), nc};
    std::vector<double> z(static_cast<std::size_t>(n), 1.0 / static_cast<double>(n));
    ParameterCheck check(host);
    for (std::int64_t i : idx) check.require("MW", i, par.mw()[i - 1]);
    if (!check.passed()) return result.refuse(missing_reason(host, check, kds));
    if (!convert_to_true_basis(host, n, idx.data(), z.data(), par.mw(), work.mwn(), nullptr, work.x()))
        return result.refuse("the host's polymer conversion failed");
    MonitorCall call{};
    call.n = n;
    call.idx = idx.data();
    call.kds = kds;
    call.kopt = kopt;
    pcsaft::set_component_parameters(par, call, work, check);
    if (!check.passed()) return result.refuse(missing_reason(host, check, kds));

    PcSaftParameters p;
    std::vector<ModelComponent> components;
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k];
        p.m.push_back(work.m()[i - 1]);
        p.sigma.push_back(work.sigma()[i - 1]);
        p.eps.push_back(work.eps()[i - 1]);
        components.push_back({component_name(host, i), work.mwn()[k], par.mw()[i - 1]});
    }
    // Cross energies by the monitor's rule: a pair with a k_ij takes (1 - k_ij) sqrt(eps_i eps_j); a
    // segment-built polymer without one meets an ordinary component or a polymer with parameters of its own
    // through its segments. The monitor reads k_ij with the earlier-listed component as the row.
    p.cross.assign(static_cast<std::size_t>(n * n), {});
    std::vector<double> scratch(static_cast<std::size_t>(nc), 0.0);
    const auto partner_ok = [](double s) { return s == param_source::not_polymer || s == param_source::own; };
    for (std::int64_t k = 0; k < n; ++k) {
        for (std::int64_t l = k + 1; l < n; ++l) {
            const std::int64_t i = idx[k], j = idx[l];
            const BinaryTable kij = table_of(host, par, kds, i, j);
            const bool given = kij.varies() || kij.a != 0.0;
            const double si = work.sources()[i - 1], sj = work.sources()[j - 1];
            std::vector<CrossEnergyTerm> terms;
            if (!given && si == param_source::from_segments && partner_ok(sj)) {
                terms = through_segments(host, par, kds, j, i, work.eps()[j - 1], kopt, scratch);
            } else if (!given && sj == param_source::from_segments && partner_ok(si)) {
                terms = through_segments(host, par, kds, i, j, work.eps()[i - 1], kopt, scratch);
            } else {
                terms = {{1.0, std::sqrt(work.eps()[i - 1] * work.eps()[j - 1]), kij}};
            }
            p.cross[static_cast<std::size_t>(k * n + l)] = terms;
            p.cross[static_cast<std::size_t>(l * n + k)] = terms;
        }
    }
    result.model.emplace("pcsaft", std::move(components), pcsaft_residual(std::move(p)));
    return result;
}

}  // namespace keld::model
