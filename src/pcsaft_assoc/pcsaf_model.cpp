#include "pcsaft_assoc/pcsaf_model.h"

#include <algorithm>
#include <cmath>

#include "association/site_types.h"

namespace keld::pcsaf {
namespace {

using namespace pcsaft::terms;

// Host names of the parameter arrays, for the messages of a refused call.
constexpr std::string_view kNameM = "PCSFTM";
constexpr std::string_view kNameSigma = "PCSFTV";
constexpr std::string_view kNameEps = "PCSFTU";
constexpr std::string_view kNameMw = "MW";
constexpr std::string_view kNameEpsAb = "PCSAEP";
constexpr std::string_view kNameType = "PCSATY";

bool usable(double value, double missing) { return std::isfinite(value) && value != missing; }
bool set_and_nonzero(double value, double missing) { return usable(value, missing) && value != 0.0; }

std::int64_t nseg_of(const Arguments &a, std::int64_t c) { return a.nseg ? a.nseg[c - 1] : 0; }
std::int64_t seg_at(const Arguments &a, std::int64_t c, std::int64_t s) { return (c - 1) * a.lseg + s; }

// What the layout needs beyond the work area's fixed part, counted from the arguments.
struct Counts {
    std::int64_t ns = 0, ne = 0, nv = 0, np = 0, ld_sites = 1, max_species = 1;
};

bool associating_type(const Arguments &a, std::int64_t c) { return a.types != nullptr && a.types[c - 1] != 0; }

bool polar_component(const Arguments &a, std::int64_t c, double missing) {
    return a.dipole && a.dipolar_fraction && set_and_nonzero(a.dipole[c - 1], missing) &&
           set_and_nonzero(a.dipolar_fraction[c - 1], missing);
}

template <class F>
void for_each_species(const Arguments &a, std::int64_t k, F &&f) {
    const std::int64_t c = a.idx[k];
    const std::int64_t nseg = nseg_of(a, c);
    if (nseg <= 0) {
        f(c, -1);
        return;
    }
    for (std::int64_t s = 0; s < nseg; ++s) f(a.iseg[seg_at(a, c, s)], s);
}

Counts count(const Arguments &a, bool terms_on, double missing) {
    Counts n;
    for (std::int64_t k = 0; k < a.n; ++k) {
        const std::int64_t nseg = nseg_of(a, a.idx[k]);
        std::int64_t species = 0;
        for_each_species(a, k, [&](std::int64_t c, std::int64_t) {
            ++species;
            if (terms_on && polar_component(a, c, missing)) ++n.np;
            if (terms_on && associating_type(a, c)) ++n.nv;  // an upper bound on the list
        });
        n.ns += species;
        n.ne += nseg >= 2 ? nseg : 1;
        n.max_species = std::max(n.max_species, species);
    }
    n.ld_sites = assoc::kMaxSitesPerType * n.max_species;
    return n;
}

// The association mixture as far as the routine's sizing reads it (types and segment tables).
assoc::Mixture sizing_mixture(const Arguments &a, std::int64_t nv, double missing) {
    assoc::Mixture mix;
    mix.t = a.t;
    mix.ncp = a.n;
    mix.nc = a.nc;
    mix.idx = a.idx;
    mix.types = const_cast<std::int64_t *>(a.types);
    mix.segments = {a.lseg, a.nseg, a.iseg, a.wseg, nullptr};
    mix.nv = nv;
    mix.missing = missing;
    return mix;
}

// Cross association energy and volume of components i and j: the given entries, or the combining
// rules of Wolbach and Sandler from the two own values, ε_ij = (ε_i + ε_j)/2 and
// κ_ij = sqrt(κ_i κ_j) (sqrt(σ_i σ_j) / ((σ_i + σ_j)/2))³. Volume 0 when the pair does not associate.
struct AssociationPair {
    double energy = 0.0, volume = 0.0;
    bool missing_energy = false;
};

double entry(const double *matrix, std::int64_t nc, std::int64_t i, std::int64_t j) {
    return matrix ? matrix[(j - 1) * nc + (i - 1)] : 0.0;
}

AssociationPair association_pair(const Arguments &a, std::int64_t i, std::int64_t j, double missing) {
    AssociationPair p;
    const std::int64_t nc = a.nc;
    const double kii = entry(a.kappa_ab, nc, i, i), kjj = entry(a.kappa_ab, nc, j, j);
    const double eii = entry(a.eps_ab, nc, i, i), ejj = entry(a.eps_ab, nc, j, j);
    double kappa = entry(a.kappa_ab, nc, i, j);
    if (!usable(kappa, missing) && i != j) kappa = entry(a.kappa_ab, nc, j, i);
    double energy = entry(a.eps_ab, nc, i, j);
    if (!usable(energy, missing) && i != j) energy = entry(a.eps_ab, nc, j, i);
    const bool own_i = set_and_nonzero(kii, missing), own_j = set_and_nonzero(kjj, missing);
    if (!usable(kappa, missing)) {
        if (i == j || !own_i || !own_j) return p;
        const double si = a.sigma[i - 1], sj = a.sigma[j - 1];
        const double ratio = std::sqrt(si * sj) / (0.5 * (si + sj));
        kappa = std::sqrt(kii * kjj) * ratio * ratio * ratio;
    }
    if (kappa == 0.0) return p;
    if (!usable(energy, missing)) {
        if (i != j && usable(eii, missing) && usable(ejj, missing)) {
            energy = 0.5 * (eii + ejj);
        } else {
            p.missing_energy = true;
            return p;
        }
    }
    p.energy = energy;
    p.volume = kappa;
    return p;
}

class Builder {
public:
    Builder(const host::Host &host, const Arguments &a, Model &model, BuildResult &result)
        : a_(a), m_(model), r_(result), missing_(host.missing()) {}

    // Stops at the first missing parameter.
    bool require(std::string_view name, std::int64_t component, double value) {
        if (usable(value, missing_)) return true;
        if (r_.outcome == BuildOutcome::ok) {
            r_.outcome = BuildOutcome::missing_parameter;
            r_.missing = {name, component};
        }
        return false;
    }
    bool require_positive(std::string_view name, std::int64_t component, double value) {
        return require(name, component, value > 0.0 ? value : missing_);
    }

    void carve(WorkCarver &w, const Counts &n, bool terms_on, bool composition) {
        const std::int64_t nc = a_.nc, np = a_.n;
        w.take<double>(12);  // words 1..12: not used
        m_.tc = w.take<double>(nc);
        m_.pc = w.take<double>(nc);
        for (double **v : {&m_.x, &m_.mwn, &m_.m, &m_.md, &m_.md2, &m_.md3, &m_.dadx, &m_.lnphi}) *v = w.take<double>(np);
        if (composition) {
            for (double **v : {&m_.r1, &m_.r2, &m_.ds2_dx, &m_.ds3_dx}) *v = w.take<double>(np);
        }
        for (double **v : {&m_.d, &m_.d_slope, &m_.t_dd}) *v = w.take<double>(nc);
        bool any_segmented = false;
        for (std::int64_t k = 0; k < np; ++k) any_segmented = any_segmented || nseg_of(a_, a_.idx[k]) > 0;
        if (any_segmented) {
            m_.seg_units = w.take<double>(a_.lseg * nc);
            m_.seg_fraction = w.take<double>(a_.lseg * nc);
        }
        m_.sp_first = w.take<std::int64_t>(np + 1);
        m_.sp_comp = w.take<std::int64_t>(n.ns);
        for (double **v : {&m_.sp_x, &m_.sp_m, &m_.sp_f}) *v = w.take<double>(n.ns);
        if (composition) {
            m_.sp_r1 = w.take<double>(n.ns);
            m_.sp_r2 = w.take<double>(n.ns);
        }
        m_.ch_first = w.take<std::int64_t>(np + 1);
        m_.ch_comp = w.take<std::int64_t>(n.ne);
        m_.ch_x = w.take<double>(n.ne);
        m_.ch_m = w.take<double>(n.ne);
        m_.cip = w.take<std::int64_t>(n.ns);
        for (double **v : {&m_.eps_matrix, &m_.deps_dt, &m_.lij, &m_.dlij_dt}) *v = w.take<double>(nc * nc);
        if (terms_on && n.nv > 0) {
            m_.amix.types = w.take<std::int64_t>(nc);
            double *marker = w.take<double>(nc);
            m_.amix.marker = marker;
            m_.amix.list = w.take<std::int64_t>(n.nv);
            m_.amix.energy = w.take<double>(n.nv * n.nv);
            m_.amix.volume = w.take<double>(n.nv * n.nv);
            m_.aout.a_x = w.take<double>(np);
            m_.aout.ld_sites = n.ld_sites;
            m_.aout.site_fractions = w.take<double>(n.ld_sites * np);
        }
        if (terms_on && n.np > 0) {
            m_.polar.position = w.take<std::int64_t>(n.np);
            for (double **v : {&m_.polar.weight, &m_.polar.mu2, &m_.polar.sigma, &m_.polar.row2, &m_.polar.row3})
                *v = w.take<double>(n.np);
        }
    }

    // True basis and MWN by position; a polymer described by its segments gets its units of each type.
    void set_true_basis() {
        double sum = 0.0;
        for (std::int64_t k = 0; k < a_.n; ++k) {
            const std::int64_t c = a_.idx[k];
            m_.mwn[k] = number_average_mw(a_, k);
            m_.x[k] = nseg_of(a_, c) > 0 ? a_.z[k] * a_.mw[c - 1] / m_.mwn[k] : a_.z[k];
            sum += m_.x[k];
        }
        if (sum > 0.0)
            for (std::int64_t k = 0; k < a_.n; ++k) m_.x[k] /= sum;
    }

    // Segment numbers, segment tables, dispersion species and chain entries.
    bool set_molecules() {
        std::int64_t s = 0, e = 0;
        for (std::int64_t k = 0; k < a_.n; ++k) {
            const std::int64_t c = a_.idx[k];
            const std::int64_t nseg = nseg_of(a_, c);
            m_.sp_first[k] = s;
            m_.ch_first[k] = e;
            if (nseg <= 0) {
                if (!require_positive(kNameM, c, a_.m[c - 1]) || !require_positive(kNameSigma, c, a_.sigma[c - 1]) ||
                    !require_positive(kNameEps, c, a_.eps[c - 1]))
                    return false;
                m_.m[k] = a_.m[c - 1];
                add_species(s, k, c, m_.m[k], 1.0);
                add_chain_entry(e, k, c, m_.m[k]);
                continue;
            }
            // Units of each type per molecule and the model segments they bring.
            double segments = 0.0;
            for (std::int64_t t = 0; t < nseg; ++t) {
                const std::int64_t at = seg_at(a_, c, t);
                const std::int64_t sc = a_.iseg[at];
                if (!require_positive(kNameMw, sc, a_.mw[sc - 1]) || !require_positive(kNameM, sc, a_.m[sc - 1]) ||
                    !require_positive(kNameSigma, sc, a_.sigma[sc - 1]) ||
                    !require_positive(kNameEps, sc, a_.eps[sc - 1]))
                    return false;
                m_.seg_units[at] = a_.wseg[at] / a_.mw[sc - 1];
                segments += m_.seg_units[at] * a_.m[sc - 1];
            }
            const double own_m = a_.m[c - 1];
            m_.m[k] = usable(own_m, missing_) ? own_m : segments;
            if (!require_positive(kNameM, c, m_.m[k])) return false;
            for (std::int64_t t = 0; t < nseg; ++t) {
                const std::int64_t at = seg_at(a_, c, t);
                const std::int64_t sc = a_.iseg[at];
                const double type_segments = m_.seg_units[at] * a_.m[sc - 1];
                m_.seg_fraction[at] = segments > 0.0 ? type_segments / segments : 0.0;
                add_species(s, k, sc, m_.m[k] * m_.seg_fraction[at], m_.seg_fraction[at]);
                if (nseg >= 2) add_chain_entry(e, k, sc, type_segments);
            }
            if (nseg == 1) add_chain_entry(e, k, a_.iseg[seg_at(a_, c, 0)], m_.m[k]);
        }
        m_.sp_first[a_.n] = m_.ns = s;
        m_.ch_first[a_.n] = m_.ne = e;
        return true;
    }

    // Components in play and the critical data the root search starts from.
    void set_components() {
        std::int64_t n = 0;
        for (std::int64_t s = 0; s < m_.ns; ++s) {
            const std::int64_t c = m_.sp_comp[s];
            if (std::find(m_.cip, m_.cip + n, c) == m_.cip + n) m_.cip[n++] = c;
        }
        m_.ncip = n;
        for (std::int64_t c = 1; c <= a_.nc; ++c) {
            m_.tc[c - 1] = a_.tc[c - 1];
            m_.pc[c - 1] = a_.pc[c - 1];
        }
    }

    bool set_association(const Counts &n, std::span<double> rest) {
        // A component with association parameters but no sites would silently drop out.
        for (std::int64_t s = 0; s < m_.ns; ++s) {
            const std::int64_t c = m_.sp_comp[s];
            if (!associating_type(a_, c) && set_and_nonzero(entry(a_.kappa_ab, a_.nc, c, c), missing_))
                return require(kNameType, c, missing_);
        }
        if (n.nv == 0) return true;
        assoc::Mixture &mix = m_.amix;
        std::int64_t *types = const_cast<std::int64_t *>(mix.types);
        double *marker = const_cast<double *>(mix.marker);
        std::int64_t *list = const_cast<std::int64_t *>(mix.list);
        double *energy = const_cast<double *>(mix.energy);
        double *volume = const_cast<double *>(mix.volume);
        for (std::int64_t c = 1; c <= a_.nc; ++c) {
            types[c - 1] = a_.types[c - 1];
            marker[c - 1] = entry(a_.kappa_ab, a_.nc, c, c);
        }
        std::int64_t nv = 0;
        for (std::int64_t s = 0; s < m_.ns; ++s) {
            const std::int64_t c = m_.sp_comp[s];
            if (associating_type(a_, c) && std::find(list, list + nv, c) == list + nv) list[nv++] = c;
        }
        for (std::int64_t q = 0; q < nv; ++q) {
            for (std::int64_t p = 0; p < nv; ++p) {
                const AssociationPair pair = association_pair(a_, list[p], list[q], missing_);
                if (pair.missing_energy) return require(kNameEpsAb, list[p], missing_);
                energy[q * nv + p] = pair.energy;
                volume[q * nv + p] = pair.volume;
            }
        }
        mix.t = a_.t;
        mix.ncp = a_.n;
        mix.nc = a_.nc;
        mix.idx = a_.idx;
        mix.x = m_.x;
        mix.m = m_.m;
        mix.sigma = a_.sigma;
        mix.d = m_.d;
        mix.t_dd = m_.t_dd;
        mix.segments = {a_.lseg, a_.nseg, a_.iseg, m_.seg_units, m_.seg_fraction};
        mix.nv = nv;
        mix.missing = missing_;
        m_.aopt.association = a_.options.association;
        m_.aopt.single_species = 1;
        m_.aopt.tolerance = a_.tolerance > 0.0 && std::isfinite(a_.tolerance) ? a_.tolerance : 1.0e-10;
        m_.aopt.method = a_.method;
        m_.aopt.diag_level = a_.kdiag;
        m_.aopt.diag_unit = a_.unit;
        m_.aopt.model = 0;
        m_.awork = rest;
        m_.association = true;
        return true;
    }

    void set_dipoles() {
        std::int64_t count = 0;
        if (m_.polar.position != nullptr) {
            for (std::int64_t k = 0; k < a_.n; ++k) {
                for (std::int64_t s = m_.sp_first[k]; s < m_.sp_first[k + 1]; ++s) {
                    const std::int64_t c = m_.sp_comp[s];
                    if (!polar_component(a_, c, missing_)) continue;
                    m_.polar.position[count] = k;
                    m_.polar.weight[count] = m_.sp_m[s] * a_.dipolar_fraction[c - 1];
                    m_.polar.mu2[count] = a_.dipole[c - 1] * a_.dipole[c - 1];
                    m_.polar.sigma[count] = a_.sigma[c - 1];
                    ++count;
                }
            }
        }
        m_.polar.count = count;
        m_.dipolar = count > 0;
    }

private:
    void add_species(std::int64_t &s, std::int64_t k, std::int64_t c, double m_weight, double fraction) {
        m_.sp_comp[s] = c;
        m_.sp_x[s] = m_.x[k];
        m_.sp_m[s] = m_weight;
        m_.sp_f[s] = fraction;
        ++s;
    }
    void add_chain_entry(std::int64_t &e, std::int64_t k, std::int64_t c, double segments) {
        m_.ch_comp[e] = c;
        m_.ch_x[e] = m_.x[k];
        m_.ch_m[e] = segments;
        ++e;
    }

    const Arguments &a_;
    Model &m_;
    BuildResult &r_;
    double missing_;
};

}  // namespace

bool Model::segmented(std::int64_t k) const { return nseg_of(*args, idx[k]) > 0; }

double number_average_mw(const Arguments &args, std::int64_t k) {
    const std::int64_t c = args.idx[k];
    const std::int64_t nseg = nseg_of(args, c);
    if (nseg <= 0) return args.mw[c - 1];
    double sum = 0.0;
    for (std::int64_t s = 0; s < nseg; ++s) sum += args.wseg[seg_at(args, c, s)];
    return sum;
}

BuildResult build_model(const host::Host &host, const Arguments &args, bool with_composition, Model &model,
                        std::span<double> stack) {
    BuildResult result;
    const double missing = host.missing();
    const bool terms_on = args.options.association != kTermsOff;
    const Counts n = count(args, terms_on, missing);

    // Size: the model's arrays, then the association routine's work.
    model = Model{};
    model.args = &args;
    WorkCarver sizing(nullptr, 0);
    Builder(host, args, model, result).carve(sizing, n, terms_on, with_composition);
    std::int64_t association_words = 0, prepared_words = 0;
    if (terms_on && n.nv > 0) {
        assoc::Options options;
        options.association = args.options.association;
        options.method = args.method;
        options.diag_level = args.kdiag;
        const assoc::Mixture sizing_mix = sizing_mixture(args, n.nv, missing);
        association_words = assoc::work_words(host, sizing_mix, options);
        prepared_words = std::max(association_words, assoc::prepared_words(host, sizing_mix, options));
    }
    // The length a caller must give is that of the routine's own work; the prepared association (the
    // same numbers, evaluated faster per density) takes its larger share where the caller's area or
    // the monitor's stack scratch holds it, and is otherwise left out.
    const std::int64_t printed = printed_work_words(args.nc);
    const auto area_holds = [&](std::int64_t a) { return args.lwork >= std::max(sizing.used() + a, printed); };
    const auto stack_holds = [&](std::int64_t a) { return static_cast<std::int64_t>(stack.size()) >= a; };
    const bool stack_serves = association_words <= kStackAssociationWords;
    result.words_needed = std::max(sizing.used() + (stack_serves ? 0 : association_words), printed);
    const std::int64_t taken =
        area_holds(prepared_words) || stack_holds(prepared_words) ? prepared_words : association_words;
    const bool in_work_area = area_holds(taken);
    if (args.lwork < result.words_needed || (!in_work_area && !stack_holds(taken))) {
        result.outcome = BuildOutcome::short_work;
        return result;
    }
    const std::int64_t words = std::max(sizing.used() + (in_work_area ? taken : 0), printed);

    // The call's work area is cleared, then laid out.
    std::fill(args.work, args.work + words, 0.0);
    model = Model{};
    model.args = &args;
    model.n = args.n;
    model.nc = args.nc;
    model.idx = args.idx;
    model.missing = missing;
    model.rows = with_composition;
    WorkCarver w(args.work, args.lwork);
    Builder b(host, args, model, result);
    b.carve(w, n, terms_on, with_composition);
    b.set_true_basis();
    if (!b.set_molecules()) return result;
    b.set_components();
    const std::span<double> rest =
        in_work_area ? std::span<double>(w.next(), static_cast<std::size_t>(taken))
                     : stack.first(static_cast<std::size_t>(taken));
    if (terms_on && !b.set_association(n, rest)) return result;
    if (terms_on) b.set_dipoles();
    return result;
}

void set_temperature(const host::Host &host, Model &model, double t, bool with_slopes) {
    Model &m = model;
    const Arguments &a = *m.args;
    const std::int64_t nc = a.nc;
    m.t = t;
    m.slopes_ready = with_slopes;

    // Diameters of the components in play.
    for (std::int64_t q = 0; q < m.ncip; ++q) {
        const std::int64_t c = m.cip[q];
        const double sigma = a.sigma[c - 1], eps = a.eps[c - 1];
        if (!usable(sigma, m.missing) || !usable(eps, m.missing)) continue;  // a polymer by its segments
        const double e = segment_diameter_factor(eps, t);
        m.d[c - 1] = segment_diameter(sigma, e);
        m.d_slope[c - 1] = segment_diameter_slope(sigma, eps, t, e);
        // T dd/dT with 0.010133572482044518 = 0.12 * 0.08444643735037098.
        m.t_dd[c - 1] = -0.010133572482044518 * sigma * (3.0 * eps / t) * e;
    }

    // Moments and their temperature slopes.
    m.mom = Moments{};
    m.slopes = MomentSlopes{};
    for (std::int64_t k = 0; k < m.n; ++k) {
        const double mk = m.m[k], xk = m.x[k];
        if (!m.segmented(k)) {
            const std::int64_t c = m.idx[k];
            const double d = m.d[c - 1];
            m.md[k] = mk * d;
            m.md2[k] = m.md[k] * d;
            m.md3[k] = m.md2[k] * d;
            if (with_slopes) {
                const double xm_dd = xk * mk * m.d_slope[c - 1];
                m.slopes.s1 += xm_dd;
                m.slopes.s2 += 2.0 * d * xm_dd;
                m.slopes.s3 += 3.0 * d * d * xm_dd;
            }
        } else {
            double d1 = 0.0, d2 = 0.0, d3 = 0.0, t1 = 0.0, t2 = 0.0, t3 = 0.0;
            for (std::int64_t s = m.sp_first[k]; s < m.sp_first[k + 1]; ++s) {
                const std::int64_t c = m.sp_comp[s];
                const double f = m.sp_f[s], d = m.d[c - 1], dd = m.d_slope[c - 1];
                d1 += f * d;
                d2 += f * d * d;
                d3 += f * d * d * d;
                t1 += f * dd;
                t2 += f * 2.0 * d * dd;
                t3 += f * 3.0 * d * d * dd;
            }
            m.md[k] = mk * d1;
            m.md2[k] = mk * d2;
            m.md3[k] = mk * d3;
            if (with_slopes) {
                m.slopes.s1 += xk * mk * t1;
                m.slopes.s2 += xk * mk * t2;
                m.slopes.s3 += xk * mk * t3;
            }
        }
        m.mom.m_bar += xk * mk;
        m.mom.s1 += xk * m.md[k];
        m.mom.s2 += xk * m.md2[k];
        m.mom.s3 += xk * m.md3[k];
    }
    m.i1 = integral_coefficients(kA0, kA1, kA2, m.mom.m_bar);
    m.i2 = integral_coefficients(kB0, kB1, kB2, m.mom.m_bar);

    // k_ij and l_ij of every pair in play at T; cross energies (1 - k_ij) sqrt(eps_i eps_j).
    double *kij = m.eps_matrix;
    const bool kij_host = a.kij != nullptr && host.binary_kij(false, 6, nc, m.ncip, m.cip, t, a.kij, kij);
    const bool lij_host = a.lij != nullptr && host.binary_kij(false, 4, nc, m.ncip, m.cip, t, a.lij, m.lij);
    auto constant_term = [&](const double *table, std::int64_t words, std::int64_t i, std::int64_t j) {
        const double v = table ? table[((j - 1) * nc + (i - 1)) * words] : 0.0;
        return usable(v, m.missing) ? v : 0.0;
    };
    m.with_lij = false;
    for (std::int64_t q = 0; q < m.ncip; ++q)
        for (std::int64_t p = 0; p < m.ncip; ++p) {
            const std::int64_t i = m.cip[p], j = m.cip[q], at = (j - 1) * nc + (i - 1);
            if (!kij_host) kij[at] = constant_term(a.kij, 6, i, j);
            if (!lij_host) m.lij[at] = constant_term(a.lij, 4, i, j);
            if (i == j) m.lij[at] = 0.0;
            m.with_lij = m.with_lij || m.lij[at] != 0.0;
        }
    m.with_binary_slopes = false;
    if (with_slopes) {
        const bool k_slopes = a.kij != nullptr && host.binary_kij(true, 6, nc, m.ncip, m.cip, t, a.kij, m.deps_dt);
        const bool l_slopes = a.lij != nullptr && host.binary_kij(true, 4, nc, m.ncip, m.cip, t, a.lij, m.dlij_dt);
        for (std::int64_t q = 0; q < m.ncip; ++q)
            for (std::int64_t p = 0; p < m.ncip; ++p) {
                const std::int64_t i = m.cip[p], j = m.cip[q], at = (j - 1) * nc + (i - 1);
                if (!k_slopes || i == j) m.deps_dt[at] = 0.0;
                if (!l_slopes || i == j) m.dlij_dt[at] = 0.0;
                m.with_binary_slopes = m.with_binary_slopes || m.deps_dt[at] != 0.0 || m.dlij_dt[at] != 0.0;
            }
    }
    for (std::int64_t q = 0; q < m.ncip; ++q)
        for (std::int64_t p = 0; p < m.ncip; ++p) {
            const std::int64_t i = m.cip[p], j = m.cip[q], at = (j - 1) * nc + (i - 1);
            if (i == j) continue;
            const double plain = std::sqrt(a.eps[i - 1] * a.eps[j - 1]);
            const double k_ij = kij[at];
            kij[at] = k_ij != 0.0 ? (1.0 - k_ij) * plain : plain;
            m.deps_dt[at] = -m.deps_dt[at] * plain;
        }
    for (std::int64_t q = 0; q < m.ncip; ++q) kij[(m.cip[q] - 1) * nc + (m.cip[q] - 1)] = a.eps[m.cip[q] - 1];

    // Dispersion sums over the species (and their rows for the composition derivatives).
    const double *lij = m.with_lij ? m.lij : nullptr;
    if (m.rows) {
        m.sums = lij ? dispersion_sums<true, true>(t, nc, m.ns, m.sp_comp, m.sp_x, a.sigma, m.eps_matrix, m.sp_m,
                                                   m.sp_r1, m.sp_r2, lij)
                     : dispersion_sums<true>(t, nc, m.ns, m.sp_comp, m.sp_x, a.sigma, m.eps_matrix, m.sp_m, m.sp_r1,
                                             m.sp_r2);
        for (std::int64_t k = 0; k < m.n; ++k) {
            if (!m.segmented(k)) {
                m.r1[k] = m.sp_r1[m.sp_first[k]];
                m.r2[k] = m.sp_r2[m.sp_first[k]];
                continue;
            }
            double r1 = 0.0, r2 = 0.0;
            for (std::int64_t s = m.sp_first[k]; s < m.sp_first[k + 1]; ++s) {
                r1 += m.sp_f[s] * m.sp_r1[s];
                r2 += m.sp_f[s] * m.sp_r2[s];
            }
            m.r1[k] = r1;
            m.r2[k] = r2;
        }
    } else {
        m.sums = lij ? dispersion_sums<false, true>(t, nc, m.ns, m.sp_comp, m.sp_x, a.sigma, m.eps_matrix, m.sp_m,
                                                    nullptr, nullptr, lij)
                     : dispersion_sums<false>(t, nc, m.ns, m.sp_comp, m.sp_x, a.sigma, m.eps_matrix, m.sp_m, nullptr,
                                              nullptr);
    }

    // Temperature dependence of D1, D2 through k_ij(T) and l_ij(T): ε_ab(T) and σ_ab(T)³.
    m.d1_binary_t = m.d2_binary_t = 0.0;
    if (m.with_binary_slopes) {
        const DispersionSums slopes_t = cross_energy_slopes(t, nc, m.ns, m.sp_comp, m.sp_x, a.sigma, m.eps_matrix,
                                                            m.deps_dt, m.sp_m, m.lij, m.dlij_dt);
        m.d1_binary_t = slopes_t.d1;
        m.d2_binary_t = slopes_t.d2;
    }

    if (m.dipolar)
        m.polar_sums = dipolar_sums(m.polar, m.x, t, host.gas_constant(), m.n, m.rows ? m.ds2_dx : nullptr,
                                    m.rows ? m.ds3_dx : nullptr);
    if (m.association) {
        m.amix.t = t;
        m.amix.z = {kPiOver6 * m.mom.m_bar, kPiOver6 * m.mom.s1, kPiOver6 * m.mom.s2, kPiOver6 * m.mom.s3};
        assoc::prepare(host, m.amix, m.aopt, m.awork, m.aprep);
        m.warm = false;
    }
}

}  // namespace keld::pcsaf
