// A SAFT model from the installed host's store as the stored-parameter monitor reads it (see
// model/from_host.h): the listed components' m, v00, u0/k, e/k and the cross energies, gathered by the
// monitor's own functions (saft/psaf_parameters.h) into a work area of the monitor's layout.
#include <string>
#include <vector>

#include "common/basis.h"
#include "model/from_host.h"
#include "model/from_host_names.h"
#include "model/saft_family.h"
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

}  // namespace keld::model
