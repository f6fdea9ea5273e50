// An SRK cubic model from the installed host's store (see model/from_host.h), for the call's mixing
// rule, excess-Gibbs model and alpha choice: the critical constants and binaries the monitor reads,
// its UNIQUAC sizes and UNIFAC groups formed by its own steps (a polymer's from its segments).
//
// The monitor takes alpha(T) from the host's alpha function. The model evaluates alpha itself:
// Soave's from the acentric factor, or with KEOSOPT = 2 Mathias-Copeman's from the component's
// three-word record where the store has one (the reference host's service). Before it is built, the
// host's alpha is compared with the model's across each component's critical temperature; a host
// whose alpha is another function is refused.
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/basis.h"
#include "common/monitor_call.h"
#include "cubic/alpha_function.h"
#include "cubic/cubic_defaults.h"
#include "cubic/cubic_store.h"
#include "cubic/excess_gibbs.h"
#include "cubic/gibbs_model.h"
#include "cubic/unifac_groups.h"
#include "model/families/cubic_family.h"
#include "model/from_host.h"
#include "model/from_host_names.h"

namespace keld::model {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Reader {
    const host::Host &host;
    std::int64_t kds;
    std::span<const std::int64_t> idx;

    std::string set() const { return " (data set " + std::to_string(kds) + ")"; }
    std::string name(std::int64_t i) const { return component_name(host, i); }

    // A pair matrix of the listed components (row-major, NaN where not given) from a binary array.
    std::vector<double> pairs(const char *array) const {
        const std::size_t n = idx.size();
        std::vector<double> m(n * n, kNaN);
        const std::int64_t offset = host.param_offset(array);
        if (!binary_block_in_store(host, offset, kds)) return m;
        for (std::size_t k = 0; k < n; ++k)
            for (std::size_t l = 0; l < n; ++l) {
                if (k == l) continue;
                const double v = host.real(host.binary_pos(offset, kds, idx[k], idx[l]));
                m[k * n + l] = host.is_missing(v) || !std::isfinite(v) ? kNaN : v;
            }
        return m;
    }
};

// The record's Mathias-Copeman constants of component i (c1 missing: none), as the host's service reads them.
std::vector<double> mathias_copeman(const host::Host &host, const cubic::PureBlocks &b, std::int64_t d0,
                                    std::int64_t i) {
    if (!b.alpha_record) return {};
    const std::int64_t at = b.alpha_record + 3 * (d0 + i) - 2;
    const double c1 = host.real(at), c2 = host.real(at + 1), c3 = host.real(at + 2);
    if (host.is_missing(c1)) return {};
    return {c1, host.is_missing(c2) ? 0.0 : c2, host.is_missing(c3) ? 0.0 : c3};
}

// Empty when the host's alpha function gives the model's alpha at temperatures on both sides of each
// component's Tc (where Mathias-Copeman drops c2 and c3); else why not.
std::string alpha_fault(const Reader &r, std::int64_t keosopt, const CubicParameters &p, std::vector<double> omega) {
    const keld_host &table = r.host.table();
    if (!table.alpha_function) return "the host has no alpha function";
    const std::int64_t n = static_cast<std::int64_t>(r.idx.size());
    std::vector<double> alpha(r.idx.size()), dalpha(r.idx.size()), d2alpha(r.idx.size());
    for (std::size_t k = 0; k < r.idx.size(); ++k) {
        const std::vector<double> &mc = p.options.mathias_copeman[k];
        const cubic::AlphaConstants c =
            mc.empty() ? cubic::soave_constants(p.omega[k]) : cubic::mathias_copeman_constants(mc[0], mc[1], mc[2], false);
        for (const double f : {0.35, 0.8, 0.999, 1.2, 2.5}) {
            double t = f * p.tc[k];
            table.alpha_function(&keosopt, &r.kds, &n, r.idx.data(), &t, p.tc.data(), omega.data(), alpha.data(),
                                 dalpha.data(), d2alpha.data());
            const cubic::AlphaConstants at_t = mc.empty() ? c : cubic::mathias_copeman_constants(mc[0], mc[1], mc[2], t > p.tc[k]);
            const double mine = cubic::alpha_of(t, p.tc[k], at_t);
            if (!(std::fabs(alpha[k] - mine) <= 1e-13 * std::fabs(mine)))
                return "the host's alpha of " + r.name(r.idx[k]) + " at " + std::to_string(t) + " K is neither Soave's " +
                       "nor Mathias-Copeman's from the stored constants";
        }
    }
    return {};
}

// A pair of listed components lacking both E_ij terms, or the NRTL alpha in both orders: named as the
// monitor names it.
std::string missing_pair(const Reader &r, const CubicOptions &o, cubic::GibbsModel model) {
    const std::size_t n = r.idx.size();
    for (std::size_t l = 0; l < n; ++l)
        for (std::size_t k = 0; k < n; ++k) {
            if (k == l) continue;
            const std::string pair = r.set() + " missing for components " + r.name(r.idx[k]) + " and " + r.name(r.idx[l]);
            if (cubic::uses_pair_energies(model) && std::isnan(o.ge_a[k * n + l]) && std::isnan(o.ge_b[k * n + l]))
                return "GEAIJ/GEBIJ" + pair;
            if (model == cubic::GibbsModel::nrtl && std::isnan(o.nrtl_alpha[k * n + l]) &&
                std::isnan(o.nrtl_alpha[l * n + k]))
                return "GEALF" + pair;
        }
    return {};
}

// UNIQUAC sizes or UNIFAC groups per molecule, by the monitor's own steps.
std::string sizes_and_groups(const Reader &r, cubic::GibbsModel model, const std::vector<double> &mwn,
                             const std::vector<double> &units, const double *mw_by_component, CubicParameters &p) {
    const std::int64_t n = static_cast<std::int64_t>(r.idx.size()), nc = r.host.component_count();
    p.molecule_r.assign(r.idx.size(), 0.0);
    p.molecule_q.assign(r.idx.size(), 0.0);
    if (model == cubic::GibbsModel::uniquac) {
        std::vector<double> scratch(static_cast<std::size_t>(nc));
        for (std::int64_t k = 0; k < n; ++k)
            if (!cubic::uniquac_size(r.host, r.kds, r.idx[k], units[k], mwn[k], scratch.data(), p.molecule_r[k],
                                     p.molecule_q[k]))
                return "UNIQR/UNIQQ" + r.set() + " missing for component " + r.name(r.idx[k]);
        return {};
    }
    const double words_ns = r.host.group_word(1);
    const std::int64_t ns = words_ns >= 1.0 && words_ns < 1e6 ? static_cast<std::int64_t>(words_ns) : 0;
    std::vector<double> words(static_cast<std::size_t>(2 * cubic::WorkArea::words(nc, ns)));
    cubic::WorkArea work(words.data(), static_cast<std::int64_t>(words.size()));
    cubic::UnifacMixture mix;
    const cubic::GroupProblem problem = cubic::gather_groups(r.host, n, r.idx.data(), mwn.data(), mw_by_component,
                                                             units.data(), work, mix, p.molecule_r.data(),
                                                             p.molecule_q.data());
    switch (problem.status) {
        case cubic::GroupStatus::ok: break;
        case cubic::GroupStatus::no_table: return "the host has no UNIFAC group table";
        case cubic::GroupStatus::no_groups: return "no UNIFAC groups for component " + r.name(problem.component);
        case cubic::GroupStatus::missing_interaction:
            return "no UNIFAC interaction of the main groups of subgroups " + std::to_string(problem.main_i) + " and " +
                   std::to_string(problem.main_j);
    }
    CubicParameters::Groups g;
    g.groups = mix.groups;
    g.mains = mix.mains;
    g.main.assign(mix.main, mix.main + mix.groups);
    g.big_r.assign(mix.big_r, mix.big_r + mix.groups);
    g.big_q.assign(mix.big_q, mix.big_q + mix.groups);
    g.nu.assign(mix.nu, mix.nu + n * mix.groups);
    g.a.assign(mix.a, mix.a + mix.mains * mix.mains);
    p.groups = std::move(g);
    return {};
}

CubicMixingRule public_rule(std::int64_t krule) {
    switch (krule) {
        case 2: return CubicMixingRule::wong_sandler;
        case 3: return CubicMixingRule::mhv1;
        case 4: return CubicMixingRule::mhv2;
        default: return CubicMixingRule::van_der_waals;
    }
}

}  // namespace

FromHost cubic_from_host(const host::Host &host, std::int64_t kds, std::span<const std::int64_t> idx,
                         const ModelSettings &settings) {
    FromHost result;
    if (const std::string fault = list_fault(host, idx); !fault.empty()) return result.refuse(fault);
    if (settings.mixing_rule < 1 || settings.mixing_rule > 4)
        return result.refuse("mixing rule " + std::to_string(settings.mixing_rule) + " is not 1 to 4");
    const CubicMixingRule rule = public_rule(settings.mixing_rule);
    const bool excess = rule != CubicMixingRule::van_der_waals;
    if (excess && (settings.excess_model < 1 || settings.excess_model > 7))
        return result.refuse("excess-Gibbs model " + std::to_string(settings.excess_model) + " is not 1 to 7");
    const cubic::GibbsModel model = excess ? static_cast<cubic::GibbsModel>(settings.excess_model) : cubic::GibbsModel::ideal;
    const std::optional<cubic::PureBlocks> blocks = cubic::PureBlocks::locate(host, kds);
    if (!blocks) return result.refuse("the store holds no cubic parameters for data set " + std::to_string(kds));
    const Reader r{host, kds, idx};
    const std::int64_t n = static_cast<std::int64_t>(idx.size()), d0 = (kds - 1) * host.component_count();
    const double *mw = host.word(blocks->mw + 1);

    std::vector<double> z(idx.size(), 1.0 / static_cast<double>(n)), mwn(idx.size()), x(idx.size());
    for (const std::int64_t i : idx)
        if (!(mw[i - 1] > 0.0) || host.is_missing(mw[i - 1])) return result.refuse("MW missing for component " + r.name(i));
    if (!convert_to_true_basis(host, n, idx.data(), z.data(), mw, mwn.data(), nullptr, x.data()))
        return result.refuse("the host's polymer conversion failed");

    // Critical constants and alpha: a value the monitor would complete with n-hexane's on its first call
    // is refused here (the model does not stand in n-hexane for a component).
    CubicParameters p;
    p.options.rule = rule;
    p.options.excess_gibbs = static_cast<ExcessGibbsModel>(static_cast<int>(model) - 1);
    p.options.mathias_copeman.assign(idx.size(), {});
    std::vector<double> omega_stored;
    std::vector<ModelComponent> components;
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k];
        const double tc = host.real(blocks->tc + d0 + i), pc = host.real(blocks->pc + d0 + i),
                     omega = host.real(blocks->omega + d0 + i);
        if (host.is_missing(tc)) return result.refuse("TCRKS" + r.set() + " missing for component " + r.name(i));
        if (host.is_missing(pc)) return result.refuse("PCRKS" + r.set() + " missing for component " + r.name(i));
        if (settings.alpha_option == 2) p.options.mathias_copeman[k] = mathias_copeman(host, *blocks, d0, i);
        if (p.options.mathias_copeman[k].empty() && host.is_missing(omega))
            return result.refuse("OMGRKS" + r.set() + " missing for component " + r.name(i));
        p.names.push_back(r.name(i));
        p.tc.push_back(tc);
        p.pc.push_back(pc);
        p.omega.push_back(host.is_missing(omega) ? kNaN : omega);
        omega_stored.push_back(omega);
        p.units.push_back(host.is_polymer_or_oligomer(i) && mw[i - 1] > 0.0 ? mwn[k] / mw[i - 1] : 1.0);
        components.push_back({r.name(i), mwn[k], mw[i - 1]});
    }
    if (const std::string fault = alpha_fault(r, settings.alpha_option, p, omega_stored); !fault.empty())
        return result.refuse(fault);

    // Binaries of the rule and the activity model.
    if (rule == CubicMixingRule::van_der_waals) p.options.kij = r.pairs(cubic::names::kVdwKij);
    if (rule == CubicMixingRule::wong_sandler) p.options.kij = r.pairs(cubic::names::kWongSandlerKij);
    if (cubic::uses_pair_energies(model)) {
        p.options.ge_a = r.pairs(cubic::names::kEnergyA);
        p.options.ge_b = r.pairs(cubic::names::kEnergyB);
    }
    if (model == cubic::GibbsModel::nrtl) p.options.nrtl_alpha = r.pairs(cubic::names::kNonRandomness);
    if (const std::string fault = missing_pair(r, p.options, model); !fault.empty()) return result.refuse(fault);
    if (model == cubic::GibbsModel::uniquac || model == cubic::GibbsModel::unifac) {
        if (const std::string fault = sizes_and_groups(r, model, mwn, p.units, mw, p); !fault.empty())
            return result.refuse(fault);
    }
    try {
        result.model.emplace("cubic", std::move(components), cubic_residual(std::move(p)));
    } catch (const std::invalid_argument &e) {
        return result.refuse(e.what());
    }
    return result;
}

}  // namespace keld::model
