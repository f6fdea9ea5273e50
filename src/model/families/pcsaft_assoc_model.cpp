// Model::pcsaft_assoc: PC-SAFT with association and dipoles from plain parameters (see
// keld/model_pcsaft_assoc.hpp), checked and laid out by component number for the family.
#include <cmath>
#include <cstdint>
#include <limits>
#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

#include "keld/model.hpp"
#include "model/families/pcsaft_assoc_family.h"

namespace keld {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kFractionSlack = 1e-6;  // how far the segment types' mass fractions may add up from 1

[[noreturn]] void refuse(const std::string &who, const std::string &why) { throw std::invalid_argument(who + ": " + why); }

bool positive(double v) { return std::isfinite(v) && v > 0.0; }

// The association routine's site type: a fixed type where one has these sites, else the code 1bpn.
std::int64_t site_type(const AssociationSites &s, const std::string &who) {
    if (s.negative < 0 || s.positive < 0 || s.bipolar < 0) refuse(who, "a number of association sites is negative");
    if (s.negative + s.positive + s.bipolar > 10) refuse(who, "more than ten association sites");
    struct Fixed {
        int negative, positive, bipolar;
        std::int64_t type;
    };
    static constexpr Fixed kFixed[] = {{0, 0, 1, 1}, {1, 1, 0, 2}, {2, 1, 0, 3}, {2, 2, 0, 4}, {1, 3, 0, 5},
                                       {1, 0, 0, 6}, {2, 0, 0, 7}, {0, 1, 0, 8}, {0, 2, 0, 9}};
    if (!s.any()) return 0;
    for (const Fixed &f : kFixed)
        if (f.negative == s.negative && f.positive == s.positive && f.bipolar == s.bipolar) return f.type;
    return (s.bipolar > 0 ? 1000 : 100) + 100 * s.bipolar + 10 * s.positive + s.negative;
}

// What association and dipole parameters of one molecule or segment type say, checked.
struct OwnTerms {
    std::int64_t type = 0;
    double kappa = kNaN, energy = kNaN, dipole = kNaN, fraction = kNaN;
};

OwnTerms own_terms(const std::string &who, const AssociationSites &sites, double kappa, double energy, double dipole,
                   double fraction) {
    OwnTerms o;
    o.type = site_type(sites, who);
    if (!(std::isfinite(kappa) && kappa >= 0.0) || !std::isfinite(energy))
        refuse(who, "kappa^AB must be a number not below 0 and eps^AB/k a number");
    if (!sites.any() && (kappa != 0.0 || energy != 0.0))
        refuse(who, "association parameters are given but no association sites");
    if (kappa > 0.0 && !(energy > 0.0)) refuse(who, "kappa^AB is given without a positive eps^AB/k");
    o.kappa = kappa;
    if (energy != 0.0) o.energy = energy;
    if (!(std::isfinite(dipole) && dipole >= 0.0) || !(std::isfinite(fraction) && fraction >= 0.0 && fraction <= 1.0))
        refuse(who, "the dipole moment must not be negative and x_p must lie within [0, 1]");
    if ((dipole > 0.0) != (fraction > 0.0))
        refuse(who, "a dipole needs both its moment (D) and the fraction x_p of the segments that carry it");
    if (dipole > 0.0) {
        o.dipole = dipole;
        o.fraction = fraction;
    }
    return o;
}

class Layout {
  public:
    explicit Layout(const std::vector<PcSaftAssocComponent> &components) {
        p_.n = components.size();
        if (p_.n == 0) throw std::invalid_argument("a model needs at least one component");
        for (const PcSaftAssocComponent &c : components) add_name(c.name);
        for (const PcSaftAssocComponent &c : components) add_molecule(c);
        p_.segments.resize(p_.n);
        for (std::size_t k = 0; k < p_.n; ++k) add_segments(k, components[k]);
        const std::size_t nc = p_.mw.size();
        p_.epsilon_ab_k.assign(nc * nc, kNaN);
        p_.kappa_ab.assign(nc * nc, kNaN);
        for (std::size_t c = 0; c < nc; ++c) {
            p_.epsilon_ab_k[c * nc + c] = own_[c].energy;
            p_.kappa_ab[c * nc + c] = own_[c].kappa;
        }
    }

    void add_binary(const PcSaftAssocBinary &b) {
        const std::string who = "binary " + b.first + "-" + b.second;
        const std::size_t i = number(b.first, who), j = number(b.second, who), nc = p_.mw.size();
        if (i == j) refuse(who, "a pair needs two different components");
        if (!given_.insert({std::min(i, j), std::max(i, j)}).second) refuse(who, "the pair is given twice");
        if (!std::isfinite(b.k_ij) || !std::isfinite(b.l_ij) || !(b.l_ij < 1.0))
            refuse(who, "k_ij must be a number and l_ij a number below 1");
        if (p_.kij.empty()) p_.kij.assign(nc * nc, 0.0), p_.lij.assign(nc * nc, 0.0);
        p_.kij[j * nc + i] = p_.kij[i * nc + j] = b.k_ij;
        p_.lij[j * nc + i] = p_.lij[i * nc + j] = b.l_ij;
        if (b.kappa_ab || b.epsilon_ab_k) {
            if (p_.site_type[i] == 0 || p_.site_type[j] == 0) refuse(who, "cross association needs sites on both");
            if (b.kappa_ab && !(std::isfinite(*b.kappa_ab) && *b.kappa_ab >= 0.0))
                refuse(who, "kappa^AB must be a number not below 0");
            if (b.epsilon_ab_k && !std::isfinite(*b.epsilon_ab_k)) refuse(who, "eps^AB/k must be a number");
        }
        if (b.kappa_ab) p_.kappa_ab[j * nc + i] = p_.kappa_ab[i * nc + j] = *b.kappa_ab;
        if (b.epsilon_ab_k) p_.epsilon_ab_k[j * nc + i] = p_.epsilon_ab_k[i * nc + j] = *b.epsilon_ab_k;
    }

    const model::PcSaftAssocParameters &parameters() const { return p_; }

  private:
    void add_name(const std::string &name) {
        if (name.empty()) throw std::invalid_argument("every component needs a name");
        if (!numbers_.insert({name, numbers_.size()}).second) refuse(name, "the name is given twice");
    }

    std::size_t number(const std::string &name, const std::string &who) const {
        const auto it = numbers_.find(name);
        if (it == numbers_.end()) refuse(who, "no component or segment type " + name);
        return it->second;
    }

    void add_common(const std::string &name, double mw, double m, double sigma, double eps, const OwnTerms &o) {
        p_.names.push_back(name);
        p_.mw.push_back(mw);
        p_.m.push_back(m);
        p_.sigma.push_back(sigma);
        p_.epsilon_k.push_back(eps);
        p_.site_type.push_back(o.type);
        p_.dipole.push_back(o.dipole);
        p_.dipolar_fraction.push_back(o.fraction);
        own_.push_back(o);
    }

    void add_molecule(const PcSaftAssocComponent &c) {
        if (!positive(c.mw)) refuse(c.name, "the molecular weight must be positive");
        if (!(std::isfinite(c.mw_apparent) && c.mw_apparent >= 0.0))
            refuse(c.name, "the apparent molecular weight must be positive (or 0: the molecular weight)");
        if (c.segments.empty()) {
            if (!positive(c.m) || !positive(c.sigma) || !positive(c.epsilon_k))
                refuse(c.name, "m, sigma and eps/k must be positive numbers");
            add_common(c.name, c.mw, c.m, c.sigma, c.epsilon_k,
                       own_terms(c.name, c.sites, c.kappa_ab, c.epsilon_ab_k, c.dipole, c.dipolar_fraction));
            return;
        }
        if (!(std::isfinite(c.m) && c.m >= 0.0)) refuse(c.name, "m must be positive (or 0: from the segment types)");
        if (c.sites.any() || c.kappa_ab != 0.0 || c.epsilon_ab_k != 0.0 || c.dipole != 0.0 || c.dipolar_fraction != 0.0)
            refuse(c.name, "a copolymer's sites and dipoles belong to its segment types");
        add_common(c.name, c.mw, c.m > 0.0 ? c.m : kNaN, kNaN, kNaN, OwnTerms{});
    }

    // The copolymer's segment types, each a component of its own (one shared by several copolymers
    // when they name it with the same parameters), and kg of each per kmol of polymer.
    void add_segments(std::size_t k, const PcSaftAssocComponent &c) {
        double total = 0.0;
        for (const PcSaftAssocSegment &s : c.segments) {
            if (!positive(s.mass_fraction)) refuse(c.name + " " + s.name, "the mass fraction must be positive");
            total += s.mass_fraction;
        }
        if (!c.segments.empty() && !(std::fabs(total - 1.0) <= kFractionSlack))
            refuse(c.name, "the mass fractions of its segment types add up to " + std::to_string(total) + ", not 1");
        for (const PcSaftAssocSegment &s : c.segments) {
            const std::size_t at = segment_number(s);
            for (const auto &[other, mass] : p_.segments[k])
                if (other == at) refuse(c.name, "segment type " + s.name + " is listed twice");
            p_.segments[k].push_back({at, c.mw * s.mass_fraction / total});
        }
    }

    std::size_t segment_number(const PcSaftAssocSegment &s) {
        const auto same = [](const PcSaftAssocSegment &a, const PcSaftAssocSegment &b) {
            return a.mw == b.mw && a.segment_ratio == b.segment_ratio && a.sigma == b.sigma &&
                   a.epsilon_k == b.epsilon_k && a.sites.negative == b.sites.negative &&
                   a.sites.positive == b.sites.positive && a.sites.bipolar == b.sites.bipolar &&
                   a.kappa_ab == b.kappa_ab && a.epsilon_ab_k == b.epsilon_ab_k && a.dipole == b.dipole &&
                   a.dipolar_fraction == b.dipolar_fraction;
        };
        if (const auto it = segments_.find(s.name); it != segments_.end()) {
            if (!same(it->second.first, s)) refuse(s.name, "a segment type named twice with different parameters");
            return it->second.second;
        }
        add_name(s.name);
        if (!positive(s.mw) || !positive(s.segment_ratio) || !positive(s.sigma) || !positive(s.epsilon_k))
            refuse(s.name, "mw, the segment ratio m/MW, sigma and eps/k must be positive numbers");
        // m per unit from the segment ratio in mol/g, as the host forms it for a segment component.
        add_common(s.name, s.mw, s.segment_ratio * s.mw, s.sigma, s.epsilon_k,
                   own_terms(s.name, s.sites, s.kappa_ab, s.epsilon_ab_k, s.dipole, s.dipolar_fraction));
        const std::size_t at = p_.mw.size() - 1;
        segments_.insert({s.name, {s, at}});
        return at;
    }

    model::PcSaftAssocParameters p_;
    std::vector<OwnTerms> own_;
    std::map<std::string, std::size_t> numbers_;
    std::map<std::string, std::pair<PcSaftAssocSegment, std::size_t>> segments_;
    std::set<std::pair<std::size_t, std::size_t>> given_;
};

AssociationSites scheme_sites(std::string_view scheme) {
    struct Scheme {
        std::string_view name;
        int negative, positive, bipolar;
    };
    static constexpr Scheme kSchemes[] = {{"1A", 0, 0, 1}, {"2A", 0, 0, 2}, {"2B", 1, 1, 0}, {"3A", 0, 0, 3},
                                          {"3B", 2, 1, 0}, {"4A", 0, 0, 4}, {"4B", 1, 3, 0}, {"4C", 2, 2, 0}};
    for (const Scheme &s : kSchemes)
        if (s.name == scheme) return {s.negative, s.positive, s.bipolar};
    throw std::invalid_argument("unknown association scheme \"" + std::string(scheme) +
                                "\" (1A, 2A, 2B, 3A, 3B, 4A, 4B, 4C, or the numbers of sites of each kind)");
}

}  // namespace

AssociationSites::AssociationSites(const char *scheme) : AssociationSites(scheme_sites(scheme ? scheme : "")) {}
AssociationSites::AssociationSites(const std::string &scheme) : AssociationSites(scheme_sites(scheme)) {}

Model Model::pcsaft_assoc(std::vector<PcSaftAssocComponent> components, std::vector<PcSaftAssocBinary> binaries) {
    Layout layout(components);
    for (const PcSaftAssocBinary &b : binaries) layout.add_binary(b);
    const model::PcSaftAssocFamily family(layout.parameters());
    std::vector<ModelComponent> described;
    for (std::size_t k = 0; k < components.size(); ++k)
        described.push_back({components[k].name, family.number_average_mw(k), components[k].mw_apparent});
    // The family's residual is instantiated once, in its own translation unit.
    return Model("pcsaft-assoc", std::move(described), model::pcsaft_assoc_residual(layout.parameters()));
}

}  // namespace keld
