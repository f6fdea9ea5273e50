// PC-SAFT with association and dipoles as a model family (see pcsaft_assoc_family.h): the monitor's
// layout of the mixture, taken once, and the association routine's site fractions per state.
#include "model/families/pcsaft_assoc_family.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <numeric>
#include <stdexcept>
#include <string_view>

#include "host/host.h"
#include "keld/host.h"
#include "keld/model.hpp"
#include "association/association.h"
#include "pcsaft_assoc/pcsaf_model.h"
#include "association/site_types.h"
#include "association/sites.h"

namespace keld::model {
namespace {

constexpr double kMissing = 1.0e35;          // the marker of a value not given, in the monitor's arrays
constexpr double kLayoutTemperature = 298.15;  // any temperature serves: the layout's binary energies do not depend on it
constexpr double kSiteTolerance = 1.0e-10;   // the routine's tolerance (its direct path solves to machine precision)

// The monitor's layout and the association routine read the missing-value marker, the gas constant
// and their optional services through a host; the model brings a table of its own with the first two
// and no store and no services (the routine then factors and searches by itself).
const host::Host &model_host() {
    static double reals[2] = {kMissing, 0.0};
    static double properties[3] = {kReferencePressure, 0.0, kGasConstant};
    static const keld_host table = [] {
        keld_host t{};
        t.real_globals = reals;
        t.real_globals_words = 2;
        t.property_globals = properties;
        t.property_globals_words = 3;
        return t;
    }();
    static const host::Host host(table);
    return host;
}

double given(double v) { return std::isnan(v) ? kMissing : v; }

// The published name of a parameter the monitor's layout names by its store name.
std::string_view published_name(std::string_view store_name) {
    if (store_name == "PCSFTM") return "segment number m";
    if (store_name == "PCSFTV") return "segment diameter sigma";
    if (store_name == "PCSFTU") return "segment energy eps/k";
    if (store_name == "MW") return "molecular weight";
    if (store_name == "PCSAEP") return "association energy eps^AB/k";
    if (store_name == "PCSATY") return "association sites";
    return store_name;
}

// The monitor's argument arrays for these parameters.
struct MonitorArrays {
    std::vector<std::int64_t> idx, types, nseg, iseg;
    std::vector<double> z, mw, tc, pc, m, sigma, eps, eps_ab, kappa_ab, dipole, xp, wseg, kij, lij, work;
    std::int64_t lseg = 1, status = 0;
    double rho = 0.0;
};

void check_sizes(const PcSaftAssocParameters &p) {
    const std::size_t nc = p.mw.size();
    const auto by_component = [&](std::size_t size) { return size == nc; };
    if (p.n == 0 || p.n > nc)
        throw std::invalid_argument("PC-SAFT with association needs at least one component");
    if (!by_component(p.m.size()) || !by_component(p.sigma.size()) || !by_component(p.epsilon_k.size()) ||
        !by_component(p.site_type.size()) || !by_component(p.dipole.size()) || !by_component(p.dipolar_fraction.size()) ||
        p.epsilon_ab_k.size() != nc * nc || p.kappa_ab.size() != nc * nc || p.segments.size() != p.n ||
        (!p.kij.empty() && p.kij.size() != nc * nc) || (!p.lij.empty() && p.lij.size() != nc * nc))
        throw std::invalid_argument("PC-SAFT with association: one value per component (N x N per pair) is needed");
    for (std::size_t k = 0; k < p.n; ++k)
        for (const auto &[c, mass] : p.segments[k])
            if (c < p.n || c >= nc || !(mass > 0.0))
                throw std::invalid_argument("a segment type must be a segment component with a positive mass");
}

// User codes of site types replaced by their type numbers (registered once for the library's life),
// so that the routine has none to resolve (and writes nothing) when it runs.
std::int64_t resolved_type(std::int64_t type, const std::string &name) {
    if (type >= 0 && type <= assoc::kFixedTypes) return type;
    if (type < assoc::kFirstUserCode) throw std::invalid_argument(name + ": unknown association site type");
    const assoc::CodeResolution r = assoc::resolve_user_code(model_host(), type);
    if (r.status == assoc::CodeStatus::too_many_sites)
        throw std::invalid_argument(name + ": more than 10 association sites");
    if (r.status == assoc::CodeStatus::table_full)
        throw std::invalid_argument(name + ": no room for another kind of association sites (11 in use)");
    return r.type;
}

MonitorArrays monitor_arrays(const PcSaftAssocParameters &p) {
    const std::size_t nc = p.mw.size(), n = p.n;
    MonitorArrays a;
    a.idx.resize(n);
    std::iota(a.idx.begin(), a.idx.end(), 1);
    a.z.assign(n, 1.0 / static_cast<double>(n));
    a.mw = p.mw;
    a.tc.assign(nc, 0.0);
    a.pc.assign(nc, 0.0);
    const std::pair<const std::vector<double> *, std::vector<double> *> copies[] = {
        {&p.m, &a.m},           {&p.sigma, &a.sigma},       {&p.epsilon_k, &a.eps}, {&p.epsilon_ab_k, &a.eps_ab},
        {&p.kappa_ab, &a.kappa_ab}, {&p.dipole, &a.dipole}, {&p.dipolar_fraction, &a.xp}};
    for (auto [from, to] : copies) std::transform(from->begin(), from->end(), std::back_inserter(*to), given);
    a.types.resize(nc);
    for (std::size_t c = 0; c < nc; ++c) {
        const std::string name = c < p.names.size() ? p.names[c] : "component " + std::to_string(c + 1);
        a.types[c] = resolved_type(p.site_type[c], name);
    }
    a.nseg.assign(nc, 0);
    for (std::size_t k = 0; k < n; ++k)
        a.lseg = std::max<std::int64_t>(a.lseg, static_cast<std::int64_t>(p.segments[k].size()));
    a.iseg.assign(static_cast<std::size_t>(a.lseg) * nc, 1);
    a.wseg.assign(static_cast<std::size_t>(a.lseg) * nc, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        a.nseg[k] = static_cast<std::int64_t>(p.segments[k].size());
        for (std::size_t s = 0; s < p.segments[k].size(); ++s) {
            a.iseg[k * a.lseg + s] = static_cast<std::int64_t>(p.segments[k][s].first + 1);
            a.wseg[k * a.lseg + s] = p.segments[k][s].second;
        }
    }
    // Binary parameters as constants: the first of each pair's coefficients.
    a.kij.assign(6 * nc * nc, 0.0);
    a.lij.assign(4 * nc * nc, 0.0);
    for (std::size_t at = 0; at < nc * nc; ++at) {
        if (!p.kij.empty()) a.kij[6 * at] = p.kij[at];
        if (!p.lij.empty()) a.lij[4 * at] = p.lij[at];
    }
    return a;
}

pcsaf::Arguments arguments(MonitorArrays &a, std::int64_t n) {
    pcsaf::Arguments args;
    args.t = kLayoutTemperature;
    args.p = 1.0e5;
    args.n = n;
    args.nc = static_cast<std::int64_t>(a.mw.size());
    args.kvl = 2;
    args.status = &a.status;
    args.idx = a.idx.data();
    args.z = a.z.data();
    args.mw = a.mw.data();
    args.tc = a.tc.data();
    args.pc = a.pc.data();
    args.m = a.m.data();
    args.sigma = a.sigma.data();
    args.eps = a.eps.data();
    args.types = a.types.data();
    args.eps_ab = a.eps_ab.data();
    args.kappa_ab = a.kappa_ab.data();
    args.dipole = a.dipole.data();
    args.dipolar_fraction = a.xp.data();
    args.nseg = a.nseg.data();
    args.lseg = a.lseg;
    args.iseg = a.iseg.data();
    args.wseg = a.wseg.data();
    args.kij = a.kij.data();
    args.lij = a.lij.data();
    args.tolerance = kSiteTolerance;
    args.rho = &a.rho;
    return args;
}

// The monitor's model of the mixture (its layout, at kLayoutTemperature).
void build_layout(const PcSaftAssocParameters &p, MonitorArrays &a, pcsaf::Arguments &args, pcsaf::Model &model) {
    const host::Host &host = model_host();
    std::int64_t words = pcsaf::printed_work_words(args.nc);
    for (int attempt = 0;; ++attempt) {
        a.work.assign(static_cast<std::size_t>(words), 0.0);
        args.lwork = words;
        args.work = a.work.data();
        const pcsaf::BuildResult r = pcsaf::build_model(host, args, false, model);
        if (r.outcome == pcsaf::BuildOutcome::ok) break;
        if (r.outcome == pcsaf::BuildOutcome::missing_parameter) {
            const std::size_t c = static_cast<std::size_t>(r.missing.component - 1);
            const std::string name = c < p.names.size() ? p.names[c] : "component " + std::to_string(c + 1);
            throw std::invalid_argument(name + ": " + std::string(published_name(r.missing.name)) +
                                        " missing or not usable");
        }
        if (attempt > 8) throw std::invalid_argument("PC-SAFT with association: the mixture is too large");
        words = std::max(2 * words, r.words_needed);
    }
    pcsaf::set_temperature(host, model, kLayoutTemperature, false);
}

void check_values(const PcSaftAssocParameters &p) {
    for (std::size_t c = 0; c < p.mw.size(); ++c) {
        const bool copolymer = c < p.n && !p.segments[c].empty();
        const std::string name = c < p.names.size() ? p.names[c] : "component " + std::to_string(c + 1);
        const auto positive = [](double v) { return std::isfinite(v) && v > 0.0; };
        if (!copolymer && !(positive(p.m[c]) && positive(p.sigma[c]) && positive(p.epsilon_k[c])))
            throw std::invalid_argument(name + ": m, sigma and eps/k must be positive numbers");
        if (copolymer && !(std::isnan(p.m[c]) || positive(p.m[c])))
            throw std::invalid_argument(name + ": m must be a positive number (or not given for a copolymer)");
        if (c >= p.n && !positive(p.mw[c]))
            throw std::invalid_argument(name + ": the molecular weight of a segment type must be positive");
        const double own_kappa = p.kappa_ab[c * p.mw.size() + c], own_energy = p.epsilon_ab_k[c * p.mw.size() + c];
        if (!std::isnan(own_kappa) && !(own_kappa >= 0.0 && std::isfinite(own_kappa)))
            throw std::invalid_argument(name + ": kappa^AB must not be negative");
        if (!std::isnan(own_energy) && !std::isfinite(own_energy))
            throw std::invalid_argument(name + ": eps^AB/k must be a number");
        const double mu = p.dipole[c], xp = p.dipolar_fraction[c];
        if ((!std::isnan(mu) && !(mu >= 0.0 && std::isfinite(mu))) || (!std::isnan(xp) && !(xp >= 0.0 && xp <= 1.0)))
            throw std::invalid_argument(name + ": the dipole moment must not be negative, x_p within [0, 1]");
    }
}

// Sites of the stationary form in the routine's numbering, from its own tables at a composition where
// every species takes part.
void association_sites(PcSaftAssocFamily::Tables &tb) {
    assoc::Mixture mix;
    std::vector<double> x(static_cast<std::size_t>(tb.n), 1.0 / static_cast<double>(tb.n)), d(tb.sigma);
    mix.t = kLayoutTemperature;
    mix.ncp = tb.n;
    mix.nc = tb.nc;
    mix.idx = tb.idx.data();
    mix.x = x.data();
    mix.m = tb.m.data();
    mix.sigma = tb.sigma.data();
    mix.marker = tb.marker.data();
    mix.d = d.data();
    mix.types = tb.types.data();
    mix.segments = {tb.lseg, tb.nseg.data(), tb.iseg.data(), tb.seg_units.empty() ? nullptr : tb.seg_units.data(),
                    tb.seg_fraction.empty() ? nullptr : tb.seg_fraction.data()};
    mix.nv = tb.nv;
    mix.list = tb.list.data();
    mix.energy = tb.energy.data();
    mix.volume = tb.volume.data();
    mix.missing = kMissing;
    const host::Host &host = model_host();
    tb.work_words = assoc::work_words(host, mix, assoc::Options{});

    assoc::detail::Arena sizing(nullptr, 0);
    assoc::detail::Tables tab;
    assoc::detail::build_tables(host, mix, sizing, tab);
    std::vector<double> words(static_cast<std::size_t>(sizing.used()) + 1);
    assoc::detail::Arena arena(words.data(), static_cast<std::int64_t>(words.size()));
    tab = assoc::detail::Tables{};
    if (!assoc::detail::build_tables(host, mix, arena, tab))
        throw std::invalid_argument("PC-SAFT with association: a component's association sites are not known");
    tb.ld_sites = std::max<std::int64_t>(tab.nxa, 1);
    for (std::int64_t i = 0; i < tab.ns; ++i) {
        tb.site_species_position.push_back(tab.species[i].position);
        tb.site_species_weight.push_back(tab.species[i].weight);
    }
    for (std::int64_t s = 0; s < tab.nt; ++s) {
        const assoc::detail::Site &site = tab.sites[s];
        const assoc::detail::Species &sp = tab.species[site.species];
        tb.sites.push_back({sp.list, site.kind, site.species});
        tb.site_slot.push_back(sp.position * tb.ld_sites + site.number - 1);
    }
}

std::shared_ptr<const PcSaftAssocFamily::Tables> layout_tables(const PcSaftAssocParameters &p) {
    check_sizes(p);
    check_values(p);
    MonitorArrays a = monitor_arrays(p);
    pcsaf::Arguments args = arguments(a, static_cast<std::int64_t>(p.n));
    pcsaf::Model model;
    build_layout(p, a, args, model);

    auto tb = std::make_shared<PcSaftAssocFamily::Tables>();
    static std::atomic<std::uint64_t> tables_made{0};
    tb->id = ++tables_made;
    const std::int64_t n = model.n, nc = model.nc;
    tb->n = n;
    tb->nc = nc;
    tb->sigma = a.sigma;
    tb->eps = a.eps;
    tb->idx = a.idx;
    tb->m.assign(model.m, model.m + n);
    tb->mwn.assign(model.mwn, model.mwn + n);
    for (std::int64_t k = 0; k < n; ++k) tb->segmented.push_back(model.segmented(k) ? 1 : 0);
    tb->sp_first.assign(model.sp_first, model.sp_first + n + 1);
    tb->sp_comp.assign(model.sp_comp, model.sp_comp + model.ns);
    tb->sp_f.assign(model.sp_f, model.sp_f + model.ns);
    tb->sp_m.assign(model.sp_m, model.sp_m + model.ns);
    for (std::int64_t k = 0; k < n; ++k)
        for (std::int64_t s = model.sp_first[k]; s < model.sp_first[k + 1]; ++s) tb->sp_position.push_back(k);
    tb->ch_comp.assign(model.ch_comp, model.ch_comp + model.ne);
    tb->ch_m.assign(model.ch_m, model.ch_m + model.ne);
    for (std::int64_t k = 0; k < n; ++k)
        for (std::int64_t e = model.ch_first[k]; e < model.ch_first[k + 1]; ++e) tb->ch_position.push_back(k);
    for (std::int64_t q = 0; q < model.ncip; ++q) tb->in_play.push_back(model.cip[q] - 1);
    tb->eps_matrix.assign(model.eps_matrix, model.eps_matrix + nc * nc);
    if (model.with_lij) tb->lij.assign(model.lij, model.lij + nc * nc);

    if (model.dipolar) {
        const pcsaf::DipolarSpecies &sp = model.polar;
        tb->polar_position.assign(sp.position, sp.position + sp.count);
        tb->polar_weight.assign(sp.weight, sp.weight + sp.count);
        tb->polar_mu2.assign(sp.mu2, sp.mu2 + sp.count);
        tb->polar_sigma.assign(sp.sigma, sp.sigma + sp.count);
        tb->polar = {sp.count, tb->polar_position.data(), tb->polar_weight.data(), tb->polar_mu2.data(),
                     tb->polar_sigma.data(), nullptr, nullptr};
    }

    if (model.association) {
        const assoc::Mixture &mix = model.amix;
        tb->association = true;
        tb->nv = mix.nv;
        tb->list.assign(mix.list, mix.list + mix.nv);
        tb->energy.assign(mix.energy, mix.energy + mix.nv * mix.nv);
        tb->volume.assign(mix.volume, mix.volume + mix.nv * mix.nv);
        tb->types.assign(mix.types, mix.types + nc);
        tb->marker.assign(mix.marker, mix.marker + nc);
        tb->lseg = mix.segments.ld;
        tb->nseg = a.nseg;
        tb->iseg = a.iseg;
        if (mix.segments.weight != nullptr) {
            tb->seg_units.assign(mix.segments.weight, mix.segments.weight + tb->lseg * nc);
            tb->seg_fraction.assign(mix.segments.fraction, mix.segments.fraction + tb->lseg * nc);
        }
        association_sites(*tb);
    }
    return tb;
}

}  // namespace

PcSaftAssocFamily::PcSaftAssocFamily(const PcSaftAssocParameters &p) : tab_(layout_tables(p)) {}

std::size_t PcSaftAssocFamily::size() const { return static_cast<std::size_t>(tab_->n); }

double PcSaftAssocFamily::number_average_mw(std::size_t k) const { return tab_->mwn.at(k); }

// The last solution of this thread: the derivatives of one state evaluate the residual many times at
// the same values (the derivative parts differ), and each needs the same site fractions. A hit returns
// what solving again would give (the routine starts from its default estimate every time).
namespace {
struct SiteFractionCache {
    std::uint64_t owner = 0;  // the tables (of one parameter set) the solution is of; 0: none
    double t = 0.0, rho = 0.0;
    std::vector<double> x, out, work, fractions;
};
thread_local SiteFractionCache site_cache;
}  // namespace

bool PcSaftAssocFamily::site_fractions(double t, double rho, const double *x, const double *d, const double (&z)[4],
                                       std::vector<double> &out) const {
    const Tables &tb = *tab_;
    SiteFractionCache &cache = site_cache;
    if (cache.owner == tb.id && cache.t == t && cache.rho == rho && std::equal(x, x + tb.n, cache.x.begin())) {
        out = cache.out;
        return true;
    }
    cache.owner = 0;
    assoc::Mixture mix;
    mix.t = t;
    mix.rho = rho;
    mix.ncp = tb.n;
    mix.nc = tb.nc;
    mix.idx = tb.idx.data();
    mix.x = x;
    mix.m = tb.m.data();
    mix.sigma = tb.sigma.data();
    mix.marker = tb.marker.data();
    mix.d = d;
    // The user codes are resolved already: the routine writes no type.
    mix.types = const_cast<std::int64_t *>(tb.types.data());
    mix.segments = {tb.lseg, tb.nseg.data(), tb.iseg.data(), tb.seg_units.empty() ? nullptr : tb.seg_units.data(),
                    tb.seg_fraction.empty() ? nullptr : tb.seg_fraction.data()};
    mix.nv = tb.nv;
    mix.list = tb.list.data();
    mix.energy = tb.energy.data();
    mix.volume = tb.volume.data();
    mix.z = {z[0], z[1], z[2], z[3]};
    mix.missing = kMissing;
    assoc::Options options;
    options.single_species = 1;
    options.tolerance = kSiteTolerance;
    cache.work.assign(static_cast<std::size_t>(tb.work_words), 0.0);
    cache.fractions.assign(static_cast<std::size_t>(tb.ld_sites * tb.n), 0.0);
    assoc::Outputs outputs;
    outputs.site_fractions = cache.fractions.data();
    outputs.ld_sites = tb.ld_sites;
    const assoc::Results r = assoc::evaluate(model_host(), mix, options, assoc::Requests{}, outputs, cache.work);
    if (r.failed != 0) return false;
    out.resize(tb.sites.size());
    for (std::size_t s = 0; s < out.size(); ++s) out[s] = cache.fractions[static_cast<std::size_t>(tb.site_slot[s])];
    cache.owner = tb.id;
    cache.t = t;
    cache.rho = rho;
    cache.x.assign(x, x + tb.n);
    cache.out = out;
    return true;
}

double PcSaftAssocFamily::max_density(double t, const double *x) const {
    std::vector<double> d;
    const helmholtz::Moments<double> mom = moments(t, x, d);
    return kClosePacking / (helmholtz::kPiOver6 * mom.s3);
}

std::shared_ptr<const Residual> pcsaft_assoc_residual(const PcSaftAssocParameters &p) {
    return make_residual(PcSaftAssocFamily(p));
}

}  // namespace keld::model
