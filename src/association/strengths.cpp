// Delta_ij = g_ij (exp(eps_ij/T) - 1) kappa_ij s_ij (PC-SAFT) or g (exp(eps_ij/T) - 1) beta_ij b_ij (CPA).
// The PC-SAFT contact value g_ij(zeta2, zeta3, d_ij) = e + 3 d_ij zeta2 e^2 + 2 d_ij^2 zeta2^2 e^3 with
// e = 1/(1 - zeta3) and d_ij = d_i d_j/(d_i + d_j); its partial derivatives give the density
// derivatives (zeta_n proportional to rho), the temperature derivative (zeta_n and d_ij through the
// diameters) and the composition derivative (zeta_n through the mole fractions).
#include "association/strengths.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "association/sites.h"

namespace keld::assoc::detail {
namespace {

struct Contact {
    double g, g2, g3, g22, g23, g33, gd;  // value, d/dzeta2, d/dzeta3, second derivatives, d/dd_ij
};

using Packing = PackingOf<double>;

Contact contact(double dij, double zeta2, const Packing &pk) {
    const double e2 = pk.e2, e3 = pk.e3, e4 = pk.e4, e5 = pk.e5;
    const double a = dij * zeta2;
    Contact c;
    c.g = contact_value(dij, zeta2, pk);
    c.g2 = 3.0 * dij * e2 + 4.0 * dij * a * e3;
    c.g3 = e2 + 6.0 * a * e3 + 6.0 * a * a * e4;
    c.g22 = 4.0 * dij * dij * e3;
    c.g23 = 6.0 * dij * e3 + 12.0 * dij * a * e4;
    c.g33 = 2.0 * e3 + 18.0 * a * e4 + 24.0 * a * a * e5;
    c.gd = 3.0 * zeta2 * e2 + 4.0 * a * zeta2 * e3;
    return c;
}

// The sums of T dzeta2/dT = (pi/6) rho s2 and T dzeta3/dT = (pi/6) rho s3 over the diameters' temperature
// derivatives (they depend on the composition and temperature only).
void packing_temperature_sums(const Mixture &mix, double &s2_out, double &s3_out) {
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
    s2_out = s2;
    s3_out = s3;
}

bool associates(const Mixture &mix, double volume, double energy) {
    return volume != 0.0 && volume != mix.missing && energy != mix.missing;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::uint64_t bits_of(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

constexpr std::int64_t kClassesFrom = 8;  // lists at least this long look for positions with equal data

// Classes of list positions with equal strength data (see Strengths::same): hashed by their data and
// rows, sorted by hash, and kept only when every datum, row and column agrees with the first position of
// the class (a hash collision leaves a position on its own). Column-major reads throughout.
void data_classes(const Mixture &mix, std::int32_t *same, std::int32_t *order, std::uint64_t *hash) {
    const std::int64_t nv = mix.nv;
    const auto mix_in = [](std::uint64_t h, double v) { return (h ^ bits_of(v)) * 1099511628211ULL; };
    for (std::int64_t p = 0; p < nv; ++p) {
        const std::int64_t c = mix.list[p] - 1;
        hash[p] = mix_in(mix_in(mix_in(1469598103934665603ULL, mix.d[c]), mix.sigma[c]), mix.t_dd ? mix.t_dd[c] : 0.0);
        order[p] = static_cast<std::int32_t>(p);
    }
    for (std::int64_t q = 0; q < nv; ++q) {  // row p of both matrices, read column by column
        const double *energy = mix.energy + q * nv, *volume = mix.volume + q * nv;
        for (std::int64_t p = 0; p < nv; ++p) hash[p] = mix_in(mix_in(hash[p], energy[p]), volume[p]);
    }
    std::sort(order, order + nv, [&](std::int32_t a, std::int32_t b) { return hash[a] != hash[b] ? hash[a] < hash[b] : a < b; });
    for (std::int64_t k = 0; k < nv; ++k) {
        const std::int32_t p = order[k];
        same[p] = k > 0 && hash[p] == hash[order[k - 1]] ? same[order[k - 1]] : p;
    }
    std::uint64_t *differs = hash;  // reused as flags
    for (std::int64_t p = 0; p < nv; ++p) {
        const std::int64_t r = same[p], cp = mix.list[p] - 1, cr = mix.list[r] - 1;
        const std::size_t column = static_cast<std::size_t>(nv) * sizeof(double);
        differs[p] = r != p && (!same_bits(mix.d[cp], mix.d[cr]) || !same_bits(mix.sigma[cp], mix.sigma[cr]) ||
                                (mix.t_dd && !same_bits(mix.t_dd[cp], mix.t_dd[cr])) ||
                                std::memcmp(mix.energy + p * nv, mix.energy + r * nv, column) != 0 ||
                                std::memcmp(mix.volume + p * nv, mix.volume + r * nv, column) != 0);
    }
    for (std::int64_t q = 0; q < nv; ++q) {
        const double *energy = mix.energy + q * nv, *volume = mix.volume + q * nv;
        for (std::int64_t p = 0; p < nv; ++p)
            differs[p] |= bits_of(energy[p]) != bits_of(energy[same[p]]) || bits_of(volume[p]) != bits_of(volume[same[p]]);
    }
    for (std::int64_t p = 0; p < nv; ++p)
        if (differs[p]) same[p] = static_cast<std::int32_t>(p);
}

// exp of the reduced association energies, remembered by value: mixtures of segments and pseudo-
// components repeat a few energies over many pairs.
class BoltzmannFactors {
public:
    double operator()(double reduced) {
        std::uint64_t bits;
        std::memcpy(&bits, &reduced, sizeof bits);
        const std::size_t slot = ((bits * 0x9E3779B97F4A7C15ULL) >> 58) & (kSlots - 1);
        if (!used_[slot] || keys_[slot] != bits) {
            used_[slot] = true;
            keys_[slot] = bits;
            values_[slot] = std::exp(reduced);
        }
        return values_[slot];
    }

private:
    static constexpr std::size_t kSlots = 64;
    std::uint64_t keys_[kSlots];
    double values_[kSlots];
    bool used_[kSlots] = {};
};

template <class Exp>
PairTerms pair_terms(const Mixture &mix, std::int64_t ci, std::int64_t cj, double volume, double energy, Exp &&exp_of) {
    PairTerms pt;
    const double di = mix.d[ci - 1], dj = mix.d[cj - 1];
    const double dsum = di + dj;
    pt.dij = dsum != 0.0 ? contact_diameter(di, dj) : 0.0;
    const double ks = bonding_volume(volume, mix.sigma[ci - 1], mix.sigma[cj - 1]);
    const double reduced = energy / mix.t, boltzmann = exp_of(reduced);
    pt.e = bonding_factor(boltzmann, ks);
    if (mix.t_dd) {
        const double tdi = mix.t_dd[ci - 1], tdj = mix.t_dd[cj - 1];
        pt.t_dij = dsum != 0.0 ? (tdi * dj * dj + tdj * di * di) / (dsum * dsum) : 0.0;
        pt.t_boltzmann = reduced * boltzmann * ks;
    }
    pt.capped = reduced <= kExponentCap ? pt.e : (std::exp(kExponentCap) - 1.0) * ks;
    return pt;
}

// The density-dependent packing quantities of one call.
struct Density {
    double zeta2, zeta3, t_zeta2, t_zeta3;
    Packing packing;
};

// Entry `at` of the strength matrices from the pair's temperature part at this density.
void pair_entries(const PairTerms &pt, const Density &dn, bool temperature, bool composition, Strengths &str,
                  std::int64_t at) {
    const double zeta2 = dn.zeta2, zeta3 = dn.zeta3, e = pt.e;
    const Contact g = contact(pt.dij, zeta2, dn.packing);
    str.delta[at] = g.g * e;
    if (!(str.delta[at] >= 0.0)) str.unphysical = true;
    str.rho[at] = e * (zeta2 * g.g2 + zeta3 * g.g3);
    str.rho2[at] = e * (zeta2 * zeta2 * g.g22 + 2.0 * zeta2 * zeta3 * g.g23 + zeta3 * zeta3 * g.g33);
    if (temperature) str.t[at] = e * (g.g2 * dn.t_zeta2 + g.g3 * dn.t_zeta3 + g.gd * pt.t_dij) - pt.t_boltzmann * g.g;
    if (composition) {
        str.dx2[at] = pt.capped * g.g2;
        str.dx3[at] = pt.capped * g.g3;
    }
}

Density density_of(const Mixture &mix, double s2, double s3) {
    const double zeta2 = mix.z[2] * mix.rho, zeta3 = mix.z[3] * mix.rho;
    return {zeta2, zeta3, kPiSixth * mix.rho * s2, kPiSixth * mix.rho * s3, Packing(zeta3)};
}

void pcsaft(const Mixture &mix, bool composition, Strengths &str) {
    const std::int64_t nv = str.nv;
    double s2 = 0.0, s3 = 0.0;
    if (mix.t_dd) packing_temperature_sums(mix, s2, s3);
    const Density density = density_of(mix, s2, s3);
    BoltzmannFactors boltzmann_factor;
    const auto exp_of = [&](double reduced) { return nv > 2 ? boltzmann_factor(reduced) : std::exp(reduced); };
    double *const matrices[] = {str.delta, str.rho, str.rho2, str.t, str.dx2, str.dx3};
    const int used = composition ? 6 : 4;
    for (std::int64_t q = 0; q < nv; ++q) {
        const std::int64_t cj = mix.list[q];
        for (std::int64_t p = 0; p < nv; ++p) {
            const std::int64_t at = q * nv + p, ci = mix.list[p];
            const double volume = mix.volume[at], energy = mix.energy[at];
            if (str.same && str.same[q] != q) {
                // Equal data: the column of the class's first position, complete already.
                if (p == 0)
                    for (int k = 0; k < used; ++k)
                        std::copy(matrices[k] + str.same[q] * nv, matrices[k] + (str.same[q] + 1) * nv, matrices[k] + at);
                break;
            }
            if (str.same && str.same[p] != p) {  // the row of the class's first position, above
                const std::int64_t from = q * nv + str.same[p];
                for (int k = 0; k < used; ++k) matrices[k][at] = matrices[k][from];
                continue;
            }
            if (p < q && same_bits(volume, mix.volume[p * nv + q]) && same_bits(energy, mix.energy[p * nv + q])) {
                // The formulas are symmetric in the pair: the transposed entry, computed already.
                for (int k = 0; k < used; ++k) matrices[k][at] = matrices[k][p * nv + q];
                continue;
            }
            str.delta[at] = str.rho[at] = str.rho2[at] = str.t[at] = 0.0;
            if (composition) str.dx2[at] = str.dx3[at] = 0.0;
            if (!associates(mix, volume, energy)) continue;
            pair_entries(pair_terms(mix, ci, cj, volume, energy, exp_of), density, mix.t_dd != nullptr, composition,
                         str, at);
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
            if (!(delta >= 0.0)) str.unphysical = true;
            str.rho[at] = eta * g * delta;
            str.rho2[at] = 2.0 * eta * eta * g * g * delta;
            str.t[at] = -reduced * boltzmann * g * beta * bij;
            if (composition)
                str.dx3[at] = kCpaPacking * g * g * ((reduced <= kExponentCap ? boltzmann : std::exp(kExponentCap)) - 1.0) * beta * bij;
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

std::int64_t strength_words(std::int64_t nv) { return 6 * nv * nv + nv + (nv + 1) / 2 + (nv + 1) / 2; }

bool compute_strengths(const Mixture &mix, const Options &options, bool composition, Arena &arena,
                       Strengths &str) {
    const std::int64_t nv = mix.nv, words = nv * nv;
    str.nv = nv;
    const bool classes = options.model != 1 && nv >= kClassesFrom;
    std::uint64_t *hash = classes ? arena.take<std::uint64_t>(nv) : nullptr;
    std::int32_t *same = classes ? arena.take<std::int32_t>(nv) : nullptr;
    std::int32_t *order = classes ? arena.take<std::int32_t>(nv) : nullptr;
    str.delta = arena.take<double>(words);
    str.rho = arena.take<double>(words);
    str.rho2 = arena.take<double>(words);
    str.t = arena.take<double>(words);
    if (composition) {
        str.dx2 = arena.take<double>(words);
        str.dx3 = arena.take<double>(words);
    }
    if (arena.short_of_words()) return false;
    str.same = nullptr;
    str.unphysical = false;
    if (classes) {
        data_classes(mix, same, order, hash);
        str.same = same;
    }
    if (options.model == 1)
        cpa(mix, composition, str);
    else
        pcsaft(mix, composition, str);
    return true;
}

std::int64_t plan_words(std::int64_t nv) {
    const std::int64_t words = nv * nv;
    return 6 * words + nv + (nv + 1) / 2 + (nv + 1) / 2 + (words + 1) / 2 + 5 * words;
}

bool prepare_strengths(const Mixture &mix, Arena &arena, Strengths &str, StrengthPlan &plan) {
    const std::int64_t nv = mix.nv, words = nv * nv;
    str.nv = plan.nv = nv;
    const bool classes = nv >= 2;
    std::uint64_t *hash = classes ? arena.take<std::uint64_t>(nv) : nullptr;
    std::int32_t *same = classes ? arena.take<std::int32_t>(nv) : nullptr;
    std::int32_t *order = classes ? arena.take<std::int32_t>(nv) : nullptr;
    double **matrices[] = {&str.delta, &str.rho, &str.rho2, &str.t, &str.dx2, &str.dx3};
    for (double **m : matrices) *m = arena.take<double>(words);
    plan.code = arena.take<std::int32_t>(words);
    plan.pairs = arena.take<PairTerms>(words);
    if (arena.short_of_words()) return false;
    for (double **m : matrices) std::fill(*m, *m + words, 0.0);
    str.same = nullptr;
    str.unphysical = false;
    if (classes) {
        data_classes(mix, same, order, hash);
        str.same = same;
    }
    plan.s2 = plan.s3 = 0.0;
    if (mix.t_dd) packing_temperature_sums(mix, plan.s2, plan.s3);
    // The order of pcsaft(): a copy always reads an entry computed or copied before it.
    BoltzmannFactors boltzmann_factor;
    const auto exp_of = [&](double reduced) { return nv > 2 ? boltzmann_factor(reduced) : std::exp(reduced); };
    const auto copy_of = [](std::int64_t from) { return static_cast<std::int32_t>(-from - 1); };
    const auto first = [&](std::int64_t l) -> std::int64_t { return str.same ? str.same[l] : l; };
    std::int32_t computed = 0;
    for (std::int64_t q = 0; q < nv; ++q) {
        for (std::int64_t p = 0; p < nv; ++p) {
            const std::int64_t at = q * nv + p;
            const double volume = mix.volume[at], energy = mix.energy[at];
            if (first(q) != q) {
                plan.code[at] = copy_of(first(q) * nv + p);
            } else if (first(p) != p) {
                plan.code[at] = copy_of(q * nv + first(p));
            } else if (p < q && same_bits(volume, mix.volume[p * nv + q]) && same_bits(energy, mix.energy[p * nv + q])) {
                plan.code[at] = copy_of(p * nv + q);
            } else if (!associates(mix, volume, energy)) {
                plan.code[at] = StrengthPlan::kZero;
            } else {
                plan.pairs[computed] = pair_terms(mix, mix.list[p], mix.list[q], volume, energy, exp_of);
                plan.code[at] = computed++;
            }
        }
    }
    return true;
}

void density_strengths(const Mixture &mix, const StrengthPlan &plan, bool temperature, bool composition,
                       Strengths &str) {
    const std::int64_t words = plan.nv * plan.nv;
    const Density density = density_of(mix, plan.s2, plan.s3);
    temperature = temperature && mix.t_dd != nullptr;
    str.unphysical = false;
    for (std::int64_t at = 0; at < words; ++at) {
        const std::int32_t code = plan.code[at];
        if (code >= 0) {
            pair_entries(plan.pairs[code], density, temperature, composition, str, at);
        } else if (code != StrengthPlan::kZero) {
            const std::int64_t from = -static_cast<std::int64_t>(code) - 1;
            str.delta[at] = str.delta[from];
            str.rho[at] = str.rho[from];
            str.rho2[at] = str.rho2[from];
            if (temperature) str.t[at] = str.t[from];
            if (composition) {
                str.dx2[at] = str.dx2[from];
                str.dx3[at] = str.dx3[from];
            }
        }
    }
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
