// Associating mixtures for the association routine's tests and benchmarks: PC-SAFT parameters by
// component (Gross and Sadowski 2002; water 4C from Rehner and Gross 2020, shared/data/pcsaft/
// associating.csv), cross association by the combining rules of Wolbach and Sandler, and the packing
// coefficients and diameters the residual core would hand over.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/host.h"
#include "association/association.h"

namespace keld::testing {

struct AssocFluid {
    const char *name;
    double m, sigma, eps, eps_ab, kappa_ab;
    std::int64_t type;
};

inline constexpr AssocFluid kMethanol{"methanol", 1.5255, 3.23, 188.9, 2899.5, 0.035176, 2};
inline constexpr AssocFluid kEthanol{"ethanol", 2.3827, 3.1771, 198.24, 2653.4, 0.032384, 2};
inline constexpr AssocFluid kWater4C{"water 4C", 1.8668282082622842, 2.395032022200541, 169.7751872692369,
                                      1772.0393059972052, 0.13373757842938191, 4};
inline constexpr AssocFluid kHexaneInert{"n-hexane", 3.0576, 3.7983, 236.77, 0.0, 0.0, 0};

// A problem with its data by component number; components are added in order (numbers from 1).
class AssocSystem {
public:
    double t = 298.15;
    std::vector<std::int64_t> idx;
    std::vector<double> x;
    keld::assoc::Options options;

    std::int64_t add(const AssocFluid &f, bool associate = true) {
        m_.push_back(f.m);
        sigma_.push_back(f.sigma);
        eps_.push_back(f.eps);
        marker_.push_back(associate && f.eps_ab > 0.0 ? f.eps_ab : 0.0);
        types_.push_back(f.type);
        nseg_.push_back(0);
        covolume_.push_back(0.0);
        const std::int64_t c = static_cast<std::int64_t>(m_.size());
        if (associate && f.eps_ab > 0.0) {
            assoc_.push_back({c, f.eps_ab, f.kappa_ab});
        }
        return c;
    }
    // A polymer made of the given segment components (each with its count per molecule); its own
    // segment number is the sum of the segments' m weighted by their counts.
    std::int64_t add_polymer(std::span<const std::int64_t> segments, std::span<const double> counts) {
        double m = 0.0;
        for (std::size_t s = 0; s < segments.size(); ++s) m += counts[s] * m_[segments[s] - 1];
        const std::int64_t c = add({"polymer", m, 0.0, 0.0, 0.0, 0.0, 0});
        nseg_.back() = static_cast<std::int64_t>(segments.size());
        polymers_.push_back({c, {segments.begin(), segments.end()}, {counts.begin(), counts.end()}});
        return c;
    }
    void set_covolume(std::int64_t c, double b) { covolume_[c - 1] = b; }
    void list(std::vector<std::int64_t> idx_, std::vector<double> x_) {
        idx = std::move(idx_);
        x = std::move(x_);
    }

    // Builds every array the routine reads, at temperature t; call again after changing t or x.
    keld::assoc::Mixture mixture(double rho) {
        const std::int64_t nc = static_cast<std::int64_t>(m_.size());
        d_.assign(nc, 0.0);
        t_dd_.assign(nc, 0.0);
        for (std::int64_t i = 0; i < nc; ++i) {
            const double e = std::exp(-3.0 * eps_[i] / t);
            d_[i] = 0.08444643735037098 * sigma_[i] * (1.0 - 0.12 * e);
            t_dd_[i] = -0.010133572482044518 * sigma_[i] * (3.0 * eps_[i] / t) * e;
        }
        ld_ = 1;
        for (const Polymer &p : polymers_) ld_ = std::max<std::int64_t>(ld_, static_cast<std::int64_t>(p.segments.size()));
        seg_comp_.assign(ld_ * nc, 1);
        seg_weight_.assign(ld_ * nc, 0.0);
        seg_fraction_.assign(ld_ * nc, 0.0);
        for (const Polymer &p : polymers_) {
            double total = 0.0;
            for (std::size_t s = 0; s < p.segments.size(); ++s) total += p.counts[s] * m_[p.segments[s] - 1];
            for (std::size_t s = 0; s < p.segments.size(); ++s) {
                const std::size_t at = (p.component - 1) * ld_ + s;
                seg_comp_[at] = p.segments[s];
                seg_weight_[at] = p.counts[s];
                seg_fraction_[at] = p.counts[s] * m_[p.segments[s] - 1] / total;
            }
        }
        m_listed_.clear();
        for (std::int64_t c : idx) m_listed_.push_back(m_[c - 1]);
        std::array<double, 4> z{};
        for (std::size_t k = 0; k < idx.size(); ++k) {
            const std::int64_t c = idx[k];
            for (int n = 0; n < 4; ++n) {
                double moment = 0.0;
                if (nseg_[c - 1] == 0) {
                    moment = std::pow(d_[c - 1], n);
                } else {
                    for (std::int64_t s = 0; s < nseg_[c - 1]; ++s) {
                        const std::size_t at = (c - 1) * ld_ + s;
                        moment += seg_fraction_[at] * std::pow(d_[seg_comp_[at] - 1], n);
                    }
                }
                z[n] += 0.5235987756666667 * x[k] * m_listed_[k] * moment;
            }
        }
        const std::int64_t nv = static_cast<std::int64_t>(assoc_.size());
        list_.clear();
        energy_.assign(nv * nv, 0.0);
        volume_.assign(nv * nv, 0.0);
        for (std::int64_t p = 0; p < nv; ++p) list_.push_back(assoc_[p].component);
        for (std::int64_t q = 0; q < nv; ++q)
            for (std::int64_t p = 0; p < nv; ++p) {
                const Assoc &a = assoc_[p], &b = assoc_[q];
                const double si = sigma_[a.component - 1], sj = sigma_[b.component - 1];
                energy_[q * nv + p] = 0.5 * (a.eps_ab + b.eps_ab);
                volume_[q * nv + p] = std::sqrt(a.kappa_ab * b.kappa_ab) * std::pow(std::sqrt(si * sj) / (0.5 * (si + sj)), 3);
            }
        double b_mix = 0.0;
        for (std::size_t k = 0; k < idx.size(); ++k) b_mix += x[k] * covolume_[idx[k] - 1];
        keld::assoc::Mixture mix;
        mix.t = t;
        mix.rho = rho;
        mix.ncp = static_cast<std::int64_t>(idx.size());
        mix.nc = nc;
        mix.idx = idx.data();
        mix.x = x.data();
        mix.m = m_listed_.data();
        mix.sigma = sigma_.data();
        mix.marker = marker_.data();
        mix.d = d_.data();
        mix.t_dd = t_dd_.data();
        mix.types = types_.data();
        mix.covolume = covolume_.data();
        mix.covolume_mix = b_mix;
        mix.segments = {ld_, nseg_.data(), seg_comp_.data(), seg_weight_.data(), seg_fraction_.data()};
        mix.nv = nv;
        mix.list = list_.data();
        mix.energy = energy_.data();
        mix.volume = volume_.data();
        mix.z = z;
        mix.combining = combining_.empty() ? nullptr : combining_.data();
        return mix;
    }
    std::vector<std::int64_t> &types() { return types_; }
    std::vector<double> &combining() { return combining_; }
    std::int64_t components() const { return static_cast<std::int64_t>(m_.size()); }

private:
    struct Assoc {
        std::int64_t component;
        double eps_ab, kappa_ab;
    };
    struct Polymer {
        std::int64_t component;
        std::vector<std::int64_t> segments;
        std::vector<double> counts;
    };
    std::vector<double> m_, sigma_, eps_, marker_, covolume_, d_, t_dd_, m_listed_, seg_weight_, seg_fraction_;
    std::vector<double> energy_, volume_, combining_;
    std::vector<std::int64_t> types_, nseg_, seg_comp_, list_;
    std::vector<Assoc> assoc_;
    std::vector<Polymer> polymers_;
    std::int64_t ld_ = 1;
};

// A copolymer of n_sites / 2 two-site (2B) segment types, alcohol-like with varied strengths and
// 1 to 3 segments of each type per molecule, at a trace mole fraction in an inert solvent: no
// equivalent-site reduction (the solvent is not of type 2), so every site is an unknown. The segment
// types repeat 14 kinds (two alcohols, seven energies), or with `distinct` each has its own energy.
inline AssocSystem copolymer_in_solvent(int n_sites, double x_polymer = 0.002, bool distinct = false) {
    AssocSystem s;
    std::vector<std::int64_t> segments;
    std::vector<double> counts;
    for (int k = 0; k < n_sites / 2; ++k) {
        AssocFluid f = k % 2 ? kEthanol : kMethanol;
        f.eps_ab *= 1.0 + 0.002 * (distinct ? k * 0.01 : k % 7);
        segments.push_back(s.add(f));
        counts.push_back(1.0 + k % 3);
    }
    const std::int64_t p = s.add_polymer(segments, counts);
    s.list({p, s.add(kHexaneInert)}, {x_polymer, 1.0 - x_polymer});
    return s;
}

// One call of the routine with a work area of the size it asks for.
struct AssocRun {
    keld::assoc::Results r;
    std::vector<double> a_x, site_fractions, delta;
    std::vector<std::int64_t> no, isite;
};

inline AssocRun run_association(const keld::host::Host &host, AssocSystem &sys, double rho,
                                keld::assoc::Requests req = {true, true, true, true},
                                const std::vector<double> *start = nullptr) {
    const keld::assoc::Mixture mix = sys.mixture(rho);
    AssocRun run;
    std::vector<double> work(static_cast<std::size_t>(keld::assoc::work_words(host, mix, sys.options)));
    const std::int64_t nv = mix.nv, ld_sites = 2048 / std::max<std::int64_t>(mix.ncp, 1);
    run.a_x.assign(mix.ncp, 0.0);
    run.site_fractions = start ? *start : std::vector<double>(ld_sites * mix.ncp, 0.0);
    run.delta.assign(nv * nv, 0.0);
    run.no.assign(2048, 0);
    run.isite.assign(2048, 0);
    keld::assoc::Outputs out;
    out.a_x = run.a_x.data();
    out.site_fractions = run.site_fractions.data();
    out.ld_sites = ld_sites;
    out.delta = run.delta.data();
    out.no = run.no.data();
    out.isite = run.isite.data();
    out.max_unknowns = 2048;
    run.r = keld::assoc::evaluate(host, mix, sys.options, req, out, work);
    return run;
}

}  // namespace keld::testing
