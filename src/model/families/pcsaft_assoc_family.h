// PC-SAFT with association and a dipolar term, copolymers described by their segment types, as a model
// family: the residual Helmholtz energy of the associating PC-SAFT monitor (KELD_PCSAF1), composed from
// its own pieces and evaluated with any number type:
//  - the layout of the mixture (segment types, dispersion species, chain entries, association list with
//    its combining rules, dipolar species) is the one the monitor builds (pcsaf::build_model);
//  - hard sphere and chain from contributions/hard_chain.h, dispersion from
//    contributions/pcsaft_dispersion.h;
//  - association: the site fractions from the monitor's association routine in double precision at
//    the state's values, the strengths from contributions/association_strength.h in the number type,
//    and the term in Michelsen's stationary form (contributions/association_stationary.h), which makes
//    every derivative exact;
//  - the dipolar term of contributions/dipolar.h.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "contributions/hard_chain.h"
#include "contributions/association_stationary.h"
#include "keld/model.hpp"
#include "model/residual.h"
#include "contributions/pcsaft_dispersion.h"
#include "contributions/dipolar.h"
#include "association/strengths.h"

namespace keld::model {

// Plain parameters by component number, as the monitor takes them. Components 0..n-1 are the mixture's
// (x is over them); components n..nc-1 are segment types of its copolymers. NaN marks a value not given.
struct PcSaftAssocParameters {
    std::size_t n = 0;
    std::vector<std::string> names;        // for messages
    std::vector<double> mw;                // kg/kmol; a segment type: of one unit (a copolymer's: not read)
    std::vector<double> m;                 // segment number m; a segment type: per unit; NaN for a copolymer:
                                           // the sum over its segment types
    std::vector<double> sigma;             // segment diameter sigma, Angstrom (NaN for a copolymer)
    std::vector<double> epsilon_k;         // segment energy eps/k, K (NaN for a copolymer)
    std::vector<std::int64_t> site_type;   // association site type: 0 none, 1 (1A), 2 (2B), 3 (3B), 4 (4C),
                                           // 5..9, or a code 1bpn > 100 (b bipolar, p positive, n negative)
    std::vector<double> epsilon_ab_k;      // nc x nc column-major: association energy eps^AB/k, K; (i, i) own,
                                           // (i, j) cross (NaN: (eps_i + eps_j)/2)
    std::vector<double> kappa_ab;          // nc x nc: association volume kappa^AB; (i, i) own (NaN or 0: no
                                           // self-association), (i, j) cross (NaN: Wolbach and Sandler)
    std::vector<double> dipole;            // dipole moment mu, D (NaN or 0: none)
    std::vector<double> dipolar_fraction;  // x_p, fraction of the segments that carry the dipole
    // Per mixture component: its segment types (component number n.., kg of the type per kmol of
    // polymer); empty for a molecule described by its own parameters.
    std::vector<std::vector<std::pair<std::size_t, double>>> segments;
    std::vector<double> kij;               // nc x nc: eps_ij = (1 - k_ij) sqrt(eps_i eps_j) (empty: 0)
    std::vector<double> lij;               // nc x nc: sigma_ij = (1 - l_ij)(sigma_i + sigma_j)/2 (empty: 0)
};

class PcSaftAssocFamily {
  public:
    static constexpr double kClosePacking = 0.74048;

    // Throws std::invalid_argument naming what is missing or unusable.
    explicit PcSaftAssocFamily(const PcSaftAssocParameters &p);

    std::size_t size() const;
    // Number-average molecular weight of mixture component k (kg/kmol), as the monitor forms it.
    double number_average_mw(std::size_t k) const;

    template <class S>
    S alphar(const S &t, const S &rho, const S *x) const;

    double max_density(double t, const double *x) const;

    // The layout the monitor builds for these parameters, held once and shared by copies.
    struct Tables;

  private:
    // The diameters of the components in play (by component) and the moments m̄, S1..S3, formed as the
    // monitor forms them.
    template <class S>
    helmholtz::Moments<S> moments(const S &t, const S *x, std::vector<S> &d) const;
    template <class S>
    S association(const S &t, const S &rho, const S *x, const std::vector<S> &d,
                  const helmholtz::Moments<S> &mom) const;
    // The site fractions by site (the routine's solution) at a state's values; false when it failed.
    bool site_fractions(double t, double rho, const double *x, const double *d, const double (&z)[4],
                        std::vector<double> &out) const;

    std::shared_ptr<const Tables> tab_;
};

struct PcSaftAssocFamily::Tables {
    std::uint64_t id = 0;  // unique to these tables in the process (a key of the site fractions' cache)
    std::int64_t n = 0, nc = 0;
    std::vector<double> sigma, eps;   // by component
    std::vector<double> m, mwn;       // by position
    std::vector<std::int64_t> idx;    // 1..n
    std::vector<char> segmented;      // by position: described by its segment types
    // Dispersion species (a molecule, or a segment type of a copolymer): component (1-based), molecule,
    // fraction of the molecule's segments, and m times that fraction.
    std::vector<std::int64_t> sp_first, sp_comp, sp_position;
    std::vector<double> sp_f, sp_m;
    // Chain entries: component (1-based) of the contact value, molecule, segments.
    std::vector<std::int64_t> ch_comp, ch_position;
    std::vector<double> ch_m;
    std::vector<std::int64_t> in_play;  // components (0-based) whose diameters the terms read
    std::vector<double> eps_matrix;     // nc x nc cross energies (K), column-major
    std::vector<double> lij;            // nc x nc, or empty
    // Dipolar species.
    std::vector<std::int64_t> polar_position;
    std::vector<double> polar_weight, polar_mu2, polar_sigma;
    pcsaf::DipolarSpecies polar;
    // Association: the routine's mixture arrays and the sites of the stationary form.
    bool association = false;
    std::int64_t nv = 0, lseg = 1, ld_sites = 0, work_words = 0;
    std::vector<std::int64_t> types, list, nseg, iseg;
    std::vector<double> marker, energy, volume, seg_units, seg_fraction;
    std::vector<AssociationSite> sites;
    std::vector<std::int64_t> site_slot;                   // where the routine writes each site's fraction
    std::vector<std::int64_t> site_species_position;       // per association species: its molecule
    std::vector<double> site_species_weight;               // per association species: units per molecule
};

template <class S>
helmholtz::Moments<S> PcSaftAssocFamily::moments(const S &t, const S *x, std::vector<S> &d) const {
    namespace terms = pcsaft::terms;
    const Tables &tb = *tab_;
    d.assign(static_cast<std::size_t>(tb.nc), S(0.0));
    for (std::int64_t c : tb.in_play)
        d[c] = terms::segment_diameter(tb.sigma[c], terms::segment_diameter_factor(tb.eps[c], t));
    helmholtz::Moments<S> mom;
    mom.m_bar = mom.s1 = mom.s2 = mom.s3 = S(0.0);
    for (std::int64_t k = 0; k < tb.n; ++k) {
        const double mk = tb.m[k];
        S md, md2, md3;
        if (!tb.segmented[k]) {
            const S &dk = d[tb.idx[k] - 1];
            md = mk * dk;
            md2 = md * dk;
            md3 = md2 * dk;
        } else {
            S d1 = S(0.0), d2 = S(0.0), d3 = S(0.0);
            for (std::int64_t s = tb.sp_first[k]; s < tb.sp_first[k + 1]; ++s) {
                const double f = tb.sp_f[s];
                const S &ds = d[tb.sp_comp[s] - 1];
                d1 += f * ds;
                d2 += f * ds * ds;
                d3 += f * ds * ds * ds;
            }
            md = mk * d1;
            md2 = mk * d2;
            md3 = mk * d3;
        }
        mom.m_bar += x[k] * mk;
        mom.s1 += x[k] * md;
        mom.s2 += x[k] * md2;
        mom.s3 += x[k] * md3;
    }
    return mom;
}

template <class S>
S PcSaftAssocFamily::alphar(const S &t, const S &rho, const S *x) const {
    namespace terms = pcsaft::terms;
    const Tables &tb = *tab_;
    std::vector<S> d;
    const helmholtz::Moments<S> mom = moments(t, x, d);

    const S hs = helmholtz::hard_sphere(mom, rho, false).a;
    const std::int64_t ns = static_cast<std::int64_t>(tb.sp_comp.size());
    std::vector<S> sp_x(static_cast<std::size_t>(ns));
    for (std::int64_t s = 0; s < ns; ++s) sp_x[s] = x[tb.sp_position[s]];
    const terms::DispersionSumsOf<S> sums =
        tb.lij.empty() ? terms::dispersion_sums<false>(t, tb.nc, ns, tb.sp_comp.data(), sp_x.data(), tb.sigma.data(),
                                                       tb.eps_matrix.data(), tb.sp_m.data(), nullptr, nullptr)
                       : terms::dispersion_sums<false, true>(t, tb.nc, ns, tb.sp_comp.data(), sp_x.data(),
                                                             tb.sigma.data(), tb.eps_matrix.data(), tb.sp_m.data(),
                                                             nullptr, nullptr, tb.lij.data());
    const S disp = terms::dispersion(mom, sums, rho, false).a;
    const std::int64_t ne = static_cast<std::int64_t>(tb.ch_comp.size());
    std::vector<S> ch_x(static_cast<std::size_t>(ne));
    for (std::int64_t e = 0; e < ne; ++e) ch_x[e] = x[tb.ch_position[e]];
    const S chain = helmholtz::hard_chain(
                        rho, ne, ch_x.data(), tb.ch_m.data(), mom,
                        [&](std::int64_t e) { return 0.5 * d[tb.ch_comp[e] - 1]; }, [](std::int64_t) { return 0.0; },
                        false, false)
                        .part.a;

    // The monitor's order of the terms: hard sphere and dispersion, chain, association, dipoles.
    S a = (hs + disp) + chain;
    if (tb.association) a += association(t, rho, x, d, mom);
    if (tb.polar.count > 0) {
        const pcsaf::DipolarSumsOf<S> polar = pcsaf::dipolar_sums_of(tb.polar, x, t, kGasConstant);
        const S z3 = helmholtz::kPiOver6 * mom.s3;
        a += pcsaf::dipolar_term(polar, rho, z3, t, S(0.0), false).a;
    }
    return a;
}

template <class S>
S PcSaftAssocFamily::association(const S &t, const S &rho, const S *x, const std::vector<S> &d,
                                 const helmholtz::Moments<S> &mom) const {
    namespace strengths = assoc::detail;
    const Tables &tb = *tab_;
    constexpr double kPiOver6 = helmholtz::kPiOver6;

    // The site fractions at the values of the state.
    std::vector<double> x0(static_cast<std::size_t>(tb.n)), d0(d.size());
    for (std::int64_t k = 0; k < tb.n; ++k) x0[k] = ad::value(x[k]);
    for (std::size_t c = 0; c < d.size(); ++c) d0[c] = ad::value(d[c]);
    const double z0[4] = {kPiOver6 * ad::value(mom.m_bar), kPiOver6 * ad::value(mom.s1),
                          kPiOver6 * ad::value(mom.s2), kPiOver6 * ad::value(mom.s3)};
    std::vector<double> x_star;
    if (!site_fractions(ad::value(t), ad::value(rho), x0.data(), d0.data(), z0, x_star))
        return S(std::numeric_limits<double>::quiet_NaN());

    // Strengths over the association list at the state, as the routine forms them.
    const std::int64_t nv = tb.nv;
    const S zeta2 = kPiOver6 * mom.s2 * rho;
    const strengths::PackingOf<S> packing(kPiOver6 * mom.s3 * rho);
    std::vector<S> delta(static_cast<std::size_t>(nv * nv), S(0.0));
    for (std::int64_t q = 0; q < nv; ++q) {
        const std::int64_t cj = tb.list[q] - 1;
        for (std::int64_t p = 0; p < nv; ++p) {
            const std::int64_t at = q * nv + p, ci = tb.list[p] - 1;
            if (tb.volume[at] == 0.0) continue;  // the pair does not associate
            delta[at] = strengths::association_strength(d[ci], d[cj], tb.sigma[ci], tb.sigma[cj], tb.volume[at],
                                                        tb.energy[at], t, zeta2, packing);
        }
    }
    std::vector<S> w(tb.site_species_weight.size());
    for (std::size_t s = 0; s < w.size(); ++s) w[s] = x[tb.site_species_position[s]] * tb.site_species_weight[s];
    return stationary_association<S>(tb.sites, w.data(), delta.data(), nv, rho, x_star.data());
}

// The family behind the model's call shape (model/residual.h).
std::shared_ptr<const Residual> pcsaft_assoc_residual(const PcSaftAssocParameters &p);

}  // namespace keld::model
