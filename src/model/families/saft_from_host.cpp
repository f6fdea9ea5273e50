// SAFT models from the installed host's store (see model/from_host.h).
// - As the stored-parameter monitor reads it ("saft-stored"): the listed components' m, v00, u0/k,
//   e/k and the cross energies, gathered by the monitor's own functions (saft/psaf_parameters.h) into
//   a work area of the monitor's layout.
// - As a host hands the argument-driven monitor its vectors ("saft"): the data set's m, v00, u0/k
//   (a polymer or oligomer without m taking MWN r), the e/k of data set 1, the constant coefficient of
//   each pair's k_ij table and the l_ij of the data set. That monitor completes a missing m, v00 or u0/k
//   with nominal values; the model refuses instead.
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "common/basis.h"
#include "model/from_host.h"
#include "model/from_host_names.h"
#include "model/families/saft_family.h"
#include "saft/psaf_parameters.h"

namespace keld::model {

FromHost saft_stored_from_host(const host::Host &host, std::int64_t kds, std::span<const std::int64_t> idx,
                               std::int64_t kopt) {
    FromHost result;
    const std::int64_t nc = host.component_count(), n = static_cast<std::int64_t>(idx.size());
    if (const std::string fault = list_fault(host, idx); !fault.empty()) return result.refuse(fault);
    const std::optional<saft::Blocks> blocks = saft::Blocks::locate(host, kds);
    if (!blocks) return result.refuse("the store holds no SAFT parameters for data set " + std::to_string(kds));
    const saft::Stored par{host, *blocks, (kds - 1) * nc};

    std::vector<double> words(static_cast<std::size_t>(saft::PsafWorkArea::words(nc)), 0.0);
    const saft::PsafWorkArea work{words.data(), nc};
    std::vector<double> z(static_cast<std::size_t>(n), 1.0 / static_cast<double>(n));
    if (!convert_to_true_basis(host, n, idx.data(), z.data(), par.mw(), work.mwn(), nullptr, work.x()))
        return result.refuse("the host's polymer conversion failed (a molecular weight missing?)");
    MonitorCall call{};
    call.n = n;
    call.idx = idx.data();
    call.kds = kds;
    call.kopt = kopt;
    saft::read_binary_table(par, kds, work);
    saft::set_component_parameters(par, call, work);
    saft::set_cross_energies(par, call, work);
    saft::default_energy_corrections(par, call);
    if (const saft::MissingStored missing = saft::first_missing(par, call, work); missing.name)
        return result.refuse(std::string(missing.name) + " (data set " + std::to_string(kds) +
                             ") missing for component " + component_name(host, missing.component));

    SaftParameters p;
    std::vector<ModelComponent> components;
    p.u0_cross.assign(static_cast<std::size_t>(n * n), 0.0);
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k];
        p.m.push_back(work.m()[i - 1]);
        p.v00.push_back(work.v00()[i - 1]);
        p.u0.push_back(work.u0()[i - 1]);
        p.e.push_back(par.e()[i - 1]);
        components.push_back({component_name(host, i), work.mwn()[k], par.mw()[i - 1]});
        for (std::int64_t l = 0; l < n; ++l)
            p.u0_cross[static_cast<std::size_t>(k * n + l)] = work.u0_matrix()[(idx[l] - 1) * nc + i - 1];
    }
    result.model.emplace("saft", std::move(components), saft_residual(std::move(p)));
    return result;
}

FromHost saft_from_host(const host::Host &host, std::int64_t kds, std::span<const std::int64_t> idx, std::int64_t) {
    FromHost result;
    const std::int64_t nc = host.component_count(), n = static_cast<std::int64_t>(idx.size());
    if (const std::string fault = list_fault(host, idx); !fault.empty()) return result.refuse(fault);
    const std::optional<saft::Blocks> blocks = saft::Blocks::locate(host, kds);
    const std::int64_t lij_block = host.param_offset("SFTLIJ");
    if (!blocks || !binary_block_in_store(host, lij_block, kds))
        return result.refuse("the store holds no SAFT parameters for data set " + std::to_string(kds));
    const saft::Stored par{host, *blocks, (kds - 1) * nc};

    std::vector<double> mwn(static_cast<std::size_t>(n)), x(static_cast<std::size_t>(n));
    std::vector<double> z(static_cast<std::size_t>(n), 1.0 / static_cast<double>(n));
    if (!convert_to_true_basis(host, n, idx.data(), z.data(), par.mw(), mwn.data(), nullptr, x.data()))
        return result.refuse("the host's polymer conversion failed (a molecular weight missing?)");
    const double *table = host.word(blocks->table + 6 * nc * nc * (kds - 1) + 1);
    const double *lij = host.word(lij_block + (kds - 1) * nc * nc + 1);

    SaftParameters p;
    std::vector<ModelComponent> components;
    p.kij.assign(static_cast<std::size_t>(n * n), 0.0);
    p.lij.assign(static_cast<std::size_t>(n * n), 0.0);
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k];
        double m = par.m()[i - 1];
        if (host.is_polymer_or_oligomer(i) && host.is_missing(m) && !host.is_missing(par.r()[i - 1]))
            m = mwn[k] * par.r()[i - 1];
        const double e = host.is_missing(par.e()[i - 1]) ? saft::kDefaultEnergyCorrection : par.e()[i - 1];
        const std::pair<const char *, double> values[] = {
            {"SAFTM", m}, {"SAFTV", par.v00()[i - 1]}, {"SAFTU", par.u0()[i - 1]}};
        for (const auto &[name, value] : values)
            if (host.is_missing(value) || !std::isfinite(value))
                return result.refuse(std::string(name) + " (data set " + std::to_string(kds) +
                                     ") missing for component " + component_name(host, i));
        p.m.push_back(m);
        p.v00.push_back(par.v00()[i - 1]);
        p.u0.push_back(par.u0()[i - 1]);
        p.e.push_back(e);
        components.push_back({component_name(host, i), mwn[k], par.mw()[i - 1]});
        // Row k, column l: the element (idx[k], idx[l]) of the store's column-major matrices, which the
        // monitor reads for the pair with idx[k] listed first.
        for (std::int64_t l = 0; l < n; ++l) {
            if (l == k) continue;
            const std::int64_t pair = (idx[l] - 1) * nc + (i - 1);
            const double k_ij = table[6 * pair];
            p.kij[static_cast<std::size_t>(k * n + l)] = host.is_missing(k_ij) ? 0.0 : k_ij;
            p.lij[static_cast<std::size_t>(k * n + l)] = host.is_missing(lij[pair]) ? 0.0 : lij[pair];
        }
    }
    result.model.emplace("saft", std::move(components), saft_residual(std::move(p)));
    return result;
}

}  // namespace keld::model
