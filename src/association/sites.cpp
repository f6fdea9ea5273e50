#include "association/sites.h"

namespace keld::assoc::detail {
namespace {

bool is_set(const Mixture &mix, double value) { return value != 0.0 && value != mix.missing; }

// The species of listed position k, visited in order: f(component, weight, fraction).
template <class F>
void for_each_species(const Mixture &mix, std::int64_t k, F &&f) {
    const std::int64_t c = mix.idx[k];
    const std::int64_t nseg = segment_count(mix, c);
    if (nseg <= 0) {
        f(c, 1.0, 1.0);
        return;
    }
    const SegmentTable &seg = mix.segments;
    for (std::int64_t s = 0; s < nseg; ++s) {
        const std::int64_t at = (c - 1) * seg.ld + s;
        f(seg.component[at], seg.weight[at], seg.fraction ? seg.fraction[at] : 1.0);
    }
}

// Whether a species takes part in association: its own marker, or a set cross entry with another
// member of the association list.
bool qualifies(const Mixture &mix, std::int64_t component, std::int32_t list) {
    if (is_set(mix, mix.marker[component - 1])) return true;
    if (list < 0) return false;
    const std::int64_t nv = mix.nv;
    for (std::int64_t o = 0; o < nv; ++o) {
        if (o == list) continue;
        if (is_set(mix, mix.volume[o * nv + list]) || is_set(mix, mix.volume[list * nv + o]) ||
            is_set(mix, mix.energy[o * nv + list]) || is_set(mix, mix.energy[list * nv + o]))
            return true;
    }
    return false;
}

}  // namespace

bool resolve_user_types(const host::Host &host, const Mixture &mix, const Diagnostics &diag) {
    bool ok = true;
    for (std::int64_t c = 0; c < mix.nc; ++c) {
        if (mix.types[c] < kFirstUserCode) continue;
        const CodeResolution r = resolve_user_code(host, mix.types[c]);
        if (r.status == CodeStatus::registered) {
            mix.types[c] = r.type;
            continue;
        }
        ok = false;
        diag.write("(6X,A)", {"***ERROR IN PC-SAFT/CPA ASSOCIATION CALCULATIONS***"});
        if (r.status == CodeStatus::table_full)
            diag.write("(6X,A)", {"NUMBER OF USER-DEFINED ASSOCIATION TYPES EXCEEDS 11"});
        else
            diag.write("(6X,A,I8)", {"USER-DEFINED ASSOCIATION TYPE HAS MORE THAN 10 SITES. CODE =", mix.types[c]});
    }
    return ok;
}

Counts count_sites(const Mixture &mix) {
    Counts n;
    for (std::int64_t k = 0; k < mix.ncp; ++k)
        for_each_species(mix, k, [&](std::int64_t c, double, double) {
            ++n.species;
            const std::int64_t type = mix.types[c - 1];
            SiteType decoded;
            if (const SiteType *st = site_type(type))
                n.sites += st->count;
            else if (type >= kFirstUserCode && decode_user_code(type, decoded))
                n.sites += decoded.count;
        });
    return n;
}

bool build_tables(const host::Host &host, const Mixture &mix, Arena &arena, Tables &tab) {
    const Counts n = count_sites(mix);
    tab.ns = n.species;
    tab.species = arena.take<Species>(n.species);
    tab.sites = arena.take<Site>(n.sites);
    tab.unknown_site = arena.take<std::int32_t>(n.sites);
    tab.unknown_list = arena.take<std::int32_t>(n.sites);
    tab.unknown_class = arena.take<std::int32_t>(n.sites);
    tab.summing = arena.take<std::int32_t>(n.species);
    if (arena.short_of_words()) return false;

    std::int64_t zero_fractions = 0;
    for (std::int64_t k = 0; k < mix.ncp; ++k)
        if (mix.x[k] <= 0.0) ++zero_fractions;

    // Species with their types; the reduction needs every species to be of type 2.
    bool usable = true;
    tab.equivalent = true;
    for (std::int64_t k = 0; k < mix.ncp; ++k)
        if (mix.types[mix.idx[k] - 1] != 2) tab.equivalent = false;
    std::int64_t s = 0;
    for (std::int64_t k = 0; k < mix.ncp; ++k)
        for_each_species(mix, k, [&](std::int64_t c, double weight, double fraction) {
            Species &sp = tab.species[s++];
            sp.component = c;
            sp.position = static_cast<std::int32_t>(k);
            sp.weight = weight;
            sp.fraction = fraction;
            sp.list = static_cast<std::int32_t>(host.component_vector(c, mix.list, mix.nv) - 1);
            const SiteType *st = site_type(mix.types[c - 1]);
            if (st == nullptr) usable = false;
            sp.sites = st ? st->count : 0;
            if (mix.types[c - 1] != 2) tab.equivalent = false;
        });
    if (!usable) return false;

    // Sites and unknowns, numbered consecutively within each component.
    std::int64_t t = 0, nu = 0;
    std::int32_t number = 0;  // site number within the current component
    tab.nxa = 0;
    for (std::int64_t i = 0; i < tab.ns; ++i) {
        Species &sp = tab.species[i];
        const bool first_of_component = i == 0 || tab.species[i - 1].position != sp.position;
        if (first_of_component) number = 0;
        const std::int64_t k = sp.position;
        const bool considered = mix.x[k] > kTrace || zero_fractions < 2;
        const bool takes_part = qualifies(mix, sp.component, sp.list);
        sp.unknowns = takes_part && considered;
        sp.passive = takes_part && !considered;
        if (sp.passive) ++tab.passive;
        sp.xw = mix.x[k] > kTrace ? mix.x[k] * sp.weight : 0.0;
        sp.first_site = static_cast<std::int32_t>(t);
        const SiteType *st = site_type(mix.types[sp.component - 1]);
        for (std::int32_t a = 0; a < sp.sites; ++a, ++t) {
            Site &site = tab.sites[t];
            site.species = static_cast<std::int32_t>(i);
            site.kind = st->kinds[a];
            site.number = ++number;
            site.unknown = -1;
            if (!sp.unknowns) continue;
            if (tab.equivalent && a == 1) {
                site.unknown = tab.sites[t - 1].unknown;
                ++tab.equivalents;
            } else {
                tab.unknown_site[nu] = static_cast<std::int32_t>(t);
                tab.unknown_list[nu] = sp.list;
                tab.unknown_class[nu] = site_class(site.kind);
                site.unknown = static_cast<std::int32_t>(nu++);
            }
        }
        if (number > tab.nxa) tab.nxa = number;
    }
    tab.nt = t;
    tab.nu = nu;
    for (std::int64_t i = 0; i < tab.ns; ++i) {
        const Species &sp = tab.species[i];
        if (sp.unknowns && sp.sites > 0 && sp.xw > 0.0 && sp.list >= 0)
            tab.summing[tab.nsumming++] = static_cast<std::int32_t>(i);
    }
    return true;
}

}  // namespace keld::assoc::detail
