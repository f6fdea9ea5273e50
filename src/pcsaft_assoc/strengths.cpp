// Delta_ij = g_ij (exp(eps_ij/T) - 1) kappa_ij s_ij (PC-SAFT) or g (exp(eps_ij/T) - 1) beta_ij b_ij (CPA).
// The PC-SAFT contact value g_ij(zeta2, zeta3, d_ij) = e + 3 d_ij zeta2 e^2 + 2 d_ij^2 zeta2^2 e^3 with
// e = 1/(1 - zeta3) and d_ij = d_i d_j/(d_i + d_j); its partial derivatives give the density
// derivatives (zeta_n proportional to rho), the temperature derivative (zeta_n and d_ij through the
// diameters) and the composition derivative (zeta_n through the mole fractions).
#include "pcsaft_assoc/strengths.h"

#include <cmath>

#include "pcsaft_assoc/sites.h"

namespace keld::assoc::detail {
namespace {

struct Contact {
    double g, g2, g3, g22, g23, g33, gd;  // value, d/dzeta2, d/dzeta3, second derivatives, d/dd_ij
};

Contact contact(double dij, double zeta2, double zeta3) {
    const double e = 1.0 / (1.0 - zeta3), e2 = e * e, e3 = e2 * e, e4 = e3 * e, e5 = e4 * e;
    const double a = dij * zeta2;
    Contact c;
    c.g = e + 3.0 * a * e2 + 2.0 * a * a * e3;
    c.g2 = 3.0 * dij * e2 + 4.0 * dij * a * e3;
    c.g3 = e2 + 6.0 * a * e3 + 6.0 * a * a * e4;
    c.g22 = 4.0 * dij * dij * e3;
    c.g23 = 6.0 * dij * e3 + 12.0 * dij * a * e4;
    c.g33 = 2.0 * e3 + 18.0 * a * e4 + 24.0 * a * a * e5;
    c.gd = 3.0 * zeta2 * e2 + 4.0 * a * zeta2 * e3;
    return c;
}

// T dzeta2/dT and T dzeta3/dT from the diameters' temperature derivatives.
void packing_temperature_slopes(const Mixture &mix, double &t_zeta2, double &t_zeta3) {
    double s2 = 0.0, s3 = 0.0;
    for (std::int64_t k = 0; k < mix.ncp; ++k) {
        const std::int64_t c = mix.idx[k];
        const std::int64_t nseg = segment_count(mix, c);
        double m2 = 0.0, m3 = 0.0;
        const auto add = [&](std::int64_t comp, double fraction) {
            const double d = mix.d[comp - 1], tdd = mix.t_dd[comp - 1];
            m2 += fraction * 2.0 * d * tdd;
            m3 += fraction * 3.0 * d * d * tdd;
        };
        if (nseg <= 0) {
            add(c, 1.0);
        } else {
            for (std::int64_t s = 0; s < nseg; ++s) {
                const std::int64_t at = (c - 1) * mix.segments.ld + s;
                add(mix.segments.component[at], mix.segments.fraction ? mix.segments.fraction[at] : 1.0);
            }
        }
        s2 += mix.x[k] * mix.m[k] * m2;
        s3 += mix.x[k] * mix.m[k] * m3;
    }
    t_zeta2 = kPiSixth * mix.rho * s2;
    t_zeta3 = kPiSixth * mix.rho * s3;
}

bool associates(const Mixture &mix, double volume, double energy) {
    return volume != 0.0 && volume != mix.missing && energy != mix.missing;
}

void pcsaft(const Mixture &mix, bool composition, Strengths &str) {
    const std::int64_t nv = str.nv;
    const double t = mix.t, zeta2 = mix.z[2] * mix.rho, zeta3 = mix.z[3] * mix.rho;
    double t_zeta2 = 0.0, t_zeta3 = 0.0;
    if (mix.t_dd) packing_temperature_slopes(mix, t_zeta2, t_zeta3);
    for (std::int64_t q = 0; q < nv; ++q) {
        const std::int64_t cj = mix.list[q];
        for (std::int64_t p = 0; p < nv; ++p) {
            const std::int64_t at = q * nv + p, ci = mix.list[p];
            str.delta[at] = str.rho[at] = str.rho2[at] = str.t[at] = 0.0;
            if (composition) str.dx2[at] = str.dx3[at] = 0.0;
            const double volume = mix.volume[at], energy = mix.energy[at];
            if (!associates(mix, volume, energy)) continue;
            const double di = mix.d[ci - 1], dj = mix.d[cj - 1];
            const double dsum = di + dj;
            const double dij = dsum != 0.0 ? di * dj / dsum : 0.0;
            const Contact g = contact(dij, zeta2, zeta3);
            const double mean = (mix.sigma[ci - 1] + mix.sigma[cj - 1]) * kHalfDiameterToVolume;
            const double ks = volume * mean * mean * mean;
            const double reduced = energy / t, boltzmann = std::exp(reduced);
            const double e = (boltzmann - 1.0) * ks;
            str.delta[at] = g.g * e;
            str.rho[at] = e * (zeta2 * g.g2 + zeta3 * g.g3);
            str.rho2[at] = e * (zeta2 * zeta2 * g.g22 + 2.0 * zeta2 * zeta3 * g.g23 + zeta3 * zeta3 * g.g33);
            if (mix.t_dd) {
                const double tdi = mix.t_dd[ci - 1], tdj = mix.t_dd[cj - 1];
                const double t_dij = dsum != 0.0 ? (tdi * dj * dj + tdj * di * di) / (dsum * dsum) : 0.0;
                str.t[at] = e * (g.g2 * t_zeta2 + g.g3 * t_zeta3 + g.gd * t_dij) - reduced * boltzmann * ks * g.g;
            }
            if (composition) {
                const double capped = (std::exp(std::fmin(reduced, kExponentCap)) - 1.0) * ks;
                str.dx2[at] = capped * g.g2;
                str.dx3[at] = capped * g.g3;
            }
        }
    }
}

// sqrt(u v) and its scaled derivatives from those of u and v (first: rho d/drho or T d/dT over the value).
void geometric_mean(double u, double v, double u1, double v1, double u2, double v2, double ut, double vt,
                    double &f, double &f1, double &f2, double &ft) {
    f = std::sqrt(u * v);
    const double a1 = u1 / u, b1 = v1 / v, l1 = 0.5 * (a1 + b1);
    f1 = f * l1;
    f2 = f * (0.5 * (u2 / u - a1 * a1 + v2 / v - b1 * b1) + l1 * l1);
    ft = f * 0.5 * (ut / u + vt / v);
}

void cpa(const Mixture &mix, bool composition, Strengths &str) {
    const std::int64_t nv = str.nv, nc = mix.nc;
    const double t = mix.t, eta = kCpaPacking * mix.covolume_mix * mix.rho, g = 1.0 / (1.0 - eta);
    const auto square_root_rule = [&](std::int64_t ci, std::int64_t cj) {
        if (mix.combining == nullptr || ci == cj) return false;
        const bool flagged = std::lround(mix.combining[(cj - 1) * nc + ci - 1]) == 1 ||
                             std::lround(mix.combining[(ci - 1) * nc + cj - 1]) == 1;
        const auto marked = [&](std::int64_t c) { return mix.marker[c - 1] != 0.0 && mix.marker[c - 1] != mix.missing; };
        return flagged && marked(ci) && marked(cj);
    };
    for (std::int64_t q = 0; q < nv; ++q) {
        const std::int64_t cj = mix.list[q];
        for (std::int64_t p = 0; p < nv; ++p) {
            const std::int64_t at = q * nv + p, ci = mix.list[p];
            str.delta[at] = str.rho[at] = str.rho2[at] = str.t[at] = 0.0;
            if (composition) str.dx2[at] = str.dx3[at] = 0.0;
            double beta = mix.volume[at];
            const double energy = mix.energy[at];
            if (!associates(mix, beta, energy)) continue;
            const double bi = mix.covolume[ci - 1], bj = mix.covolume[cj - 1], bij = 0.5 * (bi + bj);
            if (square_root_rule(ci, cj) && bij != 0.0) beta *= std::sqrt(bi * bj) / bij;
            const double reduced = energy / t, boltzmann = std::exp(reduced);
            const double delta = g * (boltzmann - 1.0) * beta * bij;
            str.delta[at] = delta;
            str.rho[at] = eta * g * delta;
            str.rho2[at] = 2.0 * eta * eta * g * g * delta;
            str.t[at] = -reduced * boltzmann * g * beta * bij;
            if (composition)
                str.dx3[at] = kCpaPacking * g * g * (std::exp(std::fmin(reduced, kExponentCap)) - 1.0) * beta * bij;
        }
    }
    // The square-root rule: Delta_ij = sqrt(Delta_ii Delta_jj), with the derivatives of that product.
    for (std::int64_t q = 0; q < nv; ++q)
        for (std::int64_t p = 0; p < nv; ++p) {
            const std::int64_t at = q * nv + p, ii = p * nv + p, jj = q * nv + q;
            if (p == q || !square_root_rule(mix.list[p], mix.list[q]) || str.delta[at] == 0.0) continue;
            if (!(str.delta[ii] > 0.0 && str.delta[jj] > 0.0)) continue;
            geometric_mean(str.delta[ii], str.delta[jj], str.rho[ii], str.rho[jj], str.rho2[ii], str.rho2[jj],
                           str.t[ii], str.t[jj], str.delta[at], str.rho[at], str.rho2[at], str.t[at]);
            if (composition) str.dx3[at] = kCpaPacking * g * str.delta[at];
        }
}

}  // namespace

bool compute_strengths(const Mixture &mix, const Options &options, bool composition, Arena &arena,
                       Strengths &str) {
    const std::int64_t nv = mix.nv, words = nv * nv;
    str.nv = nv;
    str.delta = arena.take<double>(words);
    str.rho = arena.take<double>(words);
    str.rho2 = arena.take<double>(words);
    str.t = arena.take<double>(words);
    if (composition) {
        str.dx2 = arena.take<double>(words);
        str.dx3 = arena.take<double>(words);
    }
    if (arena.short_of_words()) return false;
    if (options.model == 1)
        cpa(mix, composition, str);
    else
        pcsaft(mix, composition, str);
    return true;
}

void packing_slopes(const Mixture &mix, const Options &options, std::int64_t k, double &c2, double &c3) {
    const std::int64_t c = mix.idx[k];
    if (options.model == 1) {
        c2 = 0.0;
        c3 = mix.covolume[c - 1];
        return;
    }
    double d2 = 0.0, d3 = 0.0;
    const std::int64_t nseg = segment_count(mix, c);
    if (nseg <= 0) {
        const double d = mix.d[c - 1];
        d2 = d * d;
        d3 = d2 * d;
    } else {
        for (std::int64_t s = 0; s < nseg; ++s) {
            const std::int64_t at = (c - 1) * mix.segments.ld + s;
            const double d = mix.d[mix.segments.component[at] - 1];
            const double f = mix.segments.fraction ? mix.segments.fraction[at] : 1.0;
            d2 += f * d * d;
            d3 += f * d * d * d;
        }
    }
    c2 = kPiSixth * mix.m[k] * d2;
    c3 = kPiSixth * mix.m[k] * d3;
}

}  // namespace keld::assoc::detail
