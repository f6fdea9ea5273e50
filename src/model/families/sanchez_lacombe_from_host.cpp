// A Sanchez-Lacombe model from the installed host's store (see model/from_host.h): the characteristic
// values of the listed components and their cross energies and volumes, gathered by the monitor's own
// functions (sanchez_lacombe/sl_parameters.h) into a work area of the monitor's layout.
#include <span>
#include <string>
#include <vector>

#include "common/basis.h"
#include "model/from_host.h"
#include "model/from_host_names.h"
#include "model/families/sanchez_lacombe_family.h"
#include "sanchez_lacombe/sl_parameters.h"

namespace keld::model {
namespace {

// HostOffsets1 elements of the six-coefficient tables k_ij(T) and eta_ij(T) (6 NC^2 words per data
// set) from which a host writes SLKIJ and SLETIJ at each temperature before it calls the monitor.
// (A constant table's value is the host's to write into SLKIJ, SLETIJ, where the gathering reads it.)
constexpr std::int64_t kKijTableElement = 690, kEtaTableElement = 689;

// Why not, when a listed pair's binary follows T (a table with b..e not all 0 or missing): the
// monitor then reads what the host wrote for the last temperature, and the model's binaries are
// constants.
std::string temperature_dependent_binary(const host::Host &host, std::int64_t kds, std::span<const std::int64_t> idx) {
    const std::int64_t nc = host.component_count();
    const struct {
        std::int64_t element;
        const char *name;
    } tables[] = {{kKijTableElement, "SLKIJ"}, {kEtaTableElement, "SLETIJ"}};
    for (const auto &t : tables) {
        const std::int64_t base = host.offsets1(t.element);
        if (base <= 0 || !host.in_store(base + 6 * nc * nc * (kds - 1) + 1, 6 * nc * nc)) continue;
        for (std::int64_t i : idx) {
            for (std::int64_t j : idx) {
                if (i == j) continue;
                const std::int64_t pair = (j - 1) * nc + (i - 1);
                const double *c = host.word(base + 6 * nc * nc * (kds - 1) + 6 * pair + 1);
                const auto given = [&](int k) { return c[k] != 0.0 && !host.is_missing(c[k]); };
                if (given(1) || given(2) || given(3) || given(4))
                    return std::string(t.name) + " of " + component_name(host, i) + " and " + component_name(host, j) +
                           " follows a temperature table; the model takes constant binaries only";
            }
        }
    }
    return {};
}

}  // namespace

FromHost sanchez_lacombe_from_host(const host::Host &host, std::int64_t kds, std::span<const std::int64_t> idx,
                                   std::int64_t kopt) {
    FromHost result;
    const std::int64_t nc = host.component_count(), n = static_cast<std::int64_t>(idx.size());
    if (const std::string fault = list_fault(host, idx); !fault.empty()) return result.refuse(fault);
    const std::optional<sanchez_lacombe::ParameterBlocks> blocks = sanchez_lacombe::ParameterBlocks::locate(host, kds);
    if (!blocks)
        return result.refuse("the store holds no Sanchez-Lacombe parameters for data set " + std::to_string(kds));
    const sanchez_lacombe::Parameters par{host, *blocks, (kds - 1) * nc};
    if (const std::string reason = temperature_dependent_binary(host, kds, idx); !reason.empty())
        return result.refuse(reason);

    std::vector<double> words(static_cast<std::size_t>(sanchez_lacombe::WorkArea::words(nc)), 0.0);
    const sanchez_lacombe::WorkArea work{words.data(), nc};
    std::vector<double> z(static_cast<std::size_t>(n), 1.0 / static_cast<double>(n));
    ParameterCheck check(host);
    for (std::int64_t i : idx) check.require("MW", i, par.mw()[i - 1]);
    if (!check.passed()) return result.refuse(missing_reason(host, check, kds));
    if (!convert_to_true_basis(host, n, idx.data(), z.data(), par.mw(), work.mwn(), work.weights(), work.x()))
        return result.refuse("the host's polymer conversion failed");
    MonitorCall call{};
    call.n = n;
    call.idx = idx.data();
    call.kds = kds;
    call.kopt = kopt;
    std::vector<sanchez_lacombe::Characteristics> kept(static_cast<std::size_t>(n));
    sanchez_lacombe::set_component_values(par, call, work, check, kept.data());
    if (!check.passed()) return result.refuse(missing_reason(host, check, kds));
    sanchez_lacombe::set_cross_matrices(par, call, work);

    // The characteristic values the monitor's gathering settled on (a segment-built polymer's averages),
    // so that the family's segment numbers, volumes and energies are the monitor's to the bit.
    SanchezLacombeParameters p;
    std::vector<ModelComponent> components;
    p.eps_cross.assign(static_cast<std::size_t>(n * n), 0.0);
    p.v_cross.assign(static_cast<std::size_t>(n * n), 0.0);
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k];
        p.t_star.push_back(kept[k].t_star);
        p.p_star.push_back(kept[k].p_star);
        p.rho_star.push_back(kept[k].rho_star);
        p.mw.push_back(work.mwn()[k]);
        components.push_back({component_name(host, i), work.mwn()[k], par.mw()[i - 1]});
        for (std::int64_t l = 0; l < n; ++l) {
            const std::size_t e = static_cast<std::size_t>(k * n + l), w = static_cast<std::size_t>((idx[l] - 1) * nc + i - 1);
            p.eps_cross[e] = work.eps_matrix()[w];
            p.v_cross[e] = work.v_matrix()[w];
        }
    }
    result.model.emplace("sanchez_lacombe", std::move(components), sanchez_lacombe_residual(std::move(p)));
    return result;
}

}  // namespace keld::model
