#include "common/segment_average_given.h"

#include <cmath>

namespace keld {

bool GivenSegments::usable(double value) const { return std::isfinite(value) && value != missing; }

namespace {

void note_missing(const GivenSegments &g, GivenAverageCheck &check, int m, std::int64_t s, double value) {
    if (check.missing[m] == 0 && !g.usable(value)) check.missing[m] = s;
}

template <class Mean>
GivenCross segment_cross(const double *p, const double *k, std::int64_t j, std::int64_t polymer, std::int64_t kopt,
                         const double *dkdt, std::int64_t mode, const GivenSegments &g, Mean mean) {
    GivenCross out;
    const double *f = g.fractions(kopt);
    for (std::int64_t s = 1; s <= g.ns; ++s) {
        const double fs = g.fraction(f, polymer, s);
        if (!(fs >= g.floor)) continue;
        const std::int64_t c = g.seg[s - 1];
        note_missing(g, out.check, 0, c, p[c - 1]);
        ++out.check.weighed;
        const std::int64_t pair = (c - 1) * g.ld + (j - 1);  // (j, SEG(s))
        const double average = mean(p[j - 1], p[c - 1]);
        out.x += fs * (1.0 - k[pair]) * average;
        if (mode == 2) out.dxdt -= fs * dkdt[pair] * average;
    }
    return out;
}

}  // namespace

GivenAverageCheck segment_average3_given(const double *p1, const double *p2, const double *p3, std::int64_t polymer,
                                         double &a, double &b, double &c, std::int64_t kopt,
                                         const GivenSegments &g) {
    GivenAverageCheck check;
    a = b = c = 0.0;
    const double *f = g.fractions(kopt);
    for (std::int64_t s = 1; s <= g.ns; ++s) {
        const double fs = g.fraction(f, polymer, s);
        if (!(fs >= g.floor)) continue;
        const std::int64_t seg = g.seg[s - 1];
        note_missing(g, check, 0, seg, p1[seg - 1]);
        note_missing(g, check, 1, seg, p2[seg - 1]);
        note_missing(g, check, 2, seg, p3[seg - 1]);
        ++check.weighed;
        a += fs * p1[seg - 1];
        b += fs * p2[seg - 1];
        c += fs * p3[seg - 1];
    }
    return check;
}

GivenCross segment_geometric_cross_given(const double *p, const double *k, std::int64_t j, std::int64_t polymer,
                                         std::int64_t kopt, const double *dkdt, std::int64_t mode,
                                         const GivenSegments &g) {
    return segment_cross(p, k, j, polymer, kopt, dkdt, mode, g,
                         [](double pj, double ps) { return std::sqrt(pj * ps); });
}

GivenCross segment_arithmetic_cross_given(const double *p, const double *k, std::int64_t j, std::int64_t polymer,
                                          std::int64_t kopt, const double *dkdt, std::int64_t mode,
                                          const GivenSegments &g) {
    return segment_cross(p, k, j, polymer, kopt, dkdt, mode, g,
                         [](double pj, double ps) { return 0.5 * (pj + ps); });
}

GivenSlCharacteristics sl_segment_characteristics_given(const double *t_star, const double *p_star,
                                                        const double *rho_star, std::int64_t polymer, double mwn,
                                                        double r, const GivenSegments &g) {
    GivenSlCharacteristics out{g.missing, g.missing, g.missing, {}};
    // A segment absent from the polymer contributes nothing, whatever its parameters.
    auto w = [&](std::int64_t s) { return g.fraction(g.weight, polymer, s); };
    auto v_star = [&](std::int64_t c) { return r * t_star[c - 1] / p_star[c - 1]; };
    auto site_mass = [&](std::int64_t c) { return v_star(c) * rho_star[c - 1]; };
    double sites = 0.0;
    for (std::int64_t s = 1; s <= g.ns; ++s) {
        if (w(s) == 0.0) continue;
        const std::int64_t c = g.seg[s - 1];
        note_missing(g, out.check, 0, c, t_star[c - 1]);
        note_missing(g, out.check, 1, c, p_star[c - 1]);
        note_missing(g, out.check, 2, c, rho_star[c - 1]);
        ++out.check.weighed;
        sites += w(s) / site_mass(c);
    }
    if (out.check.weighed == 0 || !(sites != 0.0)) {
        out.check.weighed = 0;
        return out;
    }
    double v_mix = 0.0, mass_ratio = 0.0, energy = 0.0;
    for (std::int64_t s = 1; s <= g.ns; ++s) {
        if (w(s) == 0.0) continue;
        const std::int64_t c = g.seg[s - 1];
        const double phi_s = w(s) / site_mass(c) / sites;
        v_mix += phi_s * v_star(c);
        mass_ratio += phi_s * site_mass(c) / mwn;
        for (std::int64_t l = 1; l <= g.ns; ++l) {
            if (w(l) == 0.0) continue;
            const std::int64_t d = g.seg[l - 1];
            const double phi_l = w(l) / site_mass(d) / sites;
            energy += phi_s * phi_l * 0.5 * (v_star(c) + v_star(d)) * std::sqrt(r * t_star[c - 1] * r * t_star[d - 1]);
        }
    }
    const double energy_density = energy / v_mix;
    out.t_star = energy_density / r;
    out.p_star = energy_density / v_mix;
    out.rho_star = mwn / (v_mix / mass_ratio);
    return out;
}

}  // namespace keld
