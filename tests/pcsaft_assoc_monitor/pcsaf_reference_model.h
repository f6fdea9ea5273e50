// PC-SAFT with association and a dipolar term written once more, plainly and as a template over the
// scalar type, so that the tests can differentiate it by complex step in T, ρ and the mole numbers.
// It follows the published forms term by term (Gross and Sadowski 2001 and 2002, the copolymer chain of
// Gross et al. 2003 in its homosegmented-block form, Jog and Chapman 2001) and shares no arrangement
// with the production code: the site fractions are solved by damped substitution in the scalar type,
// the hard-sphere term is written in ζ_n.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <utility>
#include <vector>

#include "contributions/pcsaft_constants.h"

namespace keld::pcsaf::reference {

using std::exp;
using std::log;
using std::sqrt;

// The model reads the arrays of a monitor call by component number (keld/keld.h) from a system `s`
// with members mw, m, sigma, eps, eps_ab, kappa_ab (nc x nc), dipole, dipolar_fraction, types, nseg,
// iseg, wseg, lseg, kij (six coefficients per pair; a + b/Tr with Tr = T/298.15 K is used), lij (four
// per pair; the constant is used), and the listed components idx.
constexpr double kMissing = 1.0e35;
constexpr double kGasConstant = 8314.462618;

// One kind of segment in the mixture, a whole molecule or a segment type of a polymer: its fraction
// of the molecule's model segments, its units per molecule (weighting its sites) and, for a copolymer
// type, its model segments (the chain term; 0 otherwise). m by listed position.
struct Part {
    std::int64_t position, comp;
    double fraction, units, chain;
};
struct Layout {
    std::vector<Part> parts;
    std::vector<double> m;
};

inline bool set(double v) { return v != kMissing && v != 0.0 && std::isfinite(v); }

template <class Sys>
Layout layout(const Sys &s, const std::vector<std::int64_t> &idx) {
    Layout l;
    for (std::size_t k = 0; k < idx.size(); ++k) {
        const std::int64_t c = idx[k];
        const std::int64_t ns = s.nseg[c - 1];
        if (ns == 0) {
            l.parts.push_back({static_cast<std::int64_t>(k), c, 1.0, 1.0, 0.0});
            l.m.push_back(s.m[c - 1]);
            continue;
        }
        double total = 0.0;
        std::vector<double> units(ns), segs(ns);
        for (std::int64_t t = 0; t < ns; ++t) {
            const std::int64_t sc = s.iseg[(c - 1) * s.lseg + t];
            units[t] = s.wseg[(c - 1) * s.lseg + t] / s.mw[sc - 1];
            segs[t] = units[t] * s.m[sc - 1];
            total += segs[t];
        }
        for (std::int64_t t = 0; t < ns; ++t)
            l.parts.push_back({static_cast<std::int64_t>(k), s.iseg[(c - 1) * s.lseg + t], segs[t] / total, units[t],
                               ns >= 2 ? segs[t] : 0.0});
        l.m.push_back(s.m[c - 1] != kMissing ? s.m[c - 1] : total);
    }
    return l;
}

// Sites of the types 0 to 4 (-1 negative, +1 positive, 2 bipolar) and when two sites bond.
inline const std::vector<int> kSiteKinds[] = {{}, {2}, {-1, 1}, {-1, -1, 1}, {-1, -1, 1, 1}};
inline bool bond(int a, int b) { return a * b < 0 || a * b >= 2; }

// A_assoc/(nRT) at the given contact-value pieces.
template <class S, class Sys>
S association(const Sys &s, const Layout &l, S t, S rho, const std::vector<S> &x, const std::vector<S> &d,
              S zeta2, S zeta3) {
    std::vector<std::pair<std::size_t, int>> sites;  // part, kind
    for (std::size_t p = 0; p < l.parts.size(); ++p)
        for (int kind : kSiteKinds[s.types[l.parts[p].comp - 1]]) sites.push_back({p, kind});
    const std::size_t n = sites.size();
    if (n == 0) return S(0.0);
    const std::int64_t nc = static_cast<std::int64_t>(s.mw.size());
    auto own = [&](const std::vector<double> &mat, std::int64_t c) { return mat[(c - 1) * nc + (c - 1)]; };
    const std::size_t np = l.parts.size();
    std::vector<S> delta(np * np, S(0.0));
    for (std::size_t p = 0; p < np; ++p)
        for (std::size_t q = 0; q < np; ++q) {
            const std::int64_t i = l.parts[p].comp, j = l.parts[q].comp;
            double kappa = s.kappa_ab[(j - 1) * nc + (i - 1)], energy = s.eps_ab[(j - 1) * nc + (i - 1)];
            if (kappa == kMissing) {
                if (i == j || !set(own(s.kappa_ab, i)) || !set(own(s.kappa_ab, j))) continue;
                const double sij = 0.5 * (s.sigma[i - 1] + s.sigma[j - 1]);
                kappa = sqrt(own(s.kappa_ab, i) * own(s.kappa_ab, j)) * std::pow(sqrt(s.sigma[i - 1] * s.sigma[j - 1]) / sij, 3);
            }
            if (energy == kMissing) energy = 0.5 * (own(s.eps_ab, i) + own(s.eps_ab, j));
            if (kappa == 0.0) continue;
            const S dij = d[i - 1] * d[j - 1] / (d[i - 1] + d[j - 1]);
            const S g = 1.0 / (1.0 - zeta3) + dij * 3.0 * zeta2 / ((1.0 - zeta3) * (1.0 - zeta3)) +
                        dij * dij * 2.0 * zeta2 * zeta2 / ((1.0 - zeta3) * (1.0 - zeta3) * (1.0 - zeta3));
            const double sigma3 = std::pow((s.sigma[i - 1] + s.sigma[j - 1]) * 0.5 * 0.08444643735037098, 3);
            delta[p * np + q] = g * (exp(energy / t) - 1.0) * kappa * sigma3;
        }
    // Mass action: X_A (1 + ρ Σ_B M_AB X_B) = 1 with M_AB = x_b N_b Δ_ab for bonding sites.
    std::vector<S> mab(n * n, S(0.0));
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) {
            if (!bond(sites[a].second, sites[b].second)) continue;
            const Part &pb = l.parts[sites[b].first];
            mab[a * n + b] = x[pb.position] * pb.units * delta[sites[a].first * np + sites[b].first];
        }
    // Substitution damped by one half: the mass-action map has slopes near -1 in dense liquids,
    // where the damped map contracts fast (in complex arithmetic as in real).
    std::vector<S> xa(n, S(1.0));
    for (int it = 0; it < 2000; ++it) {
        for (std::size_t a = 0; a < n; ++a) {
            S sum = S(0.0);
            for (std::size_t b = 0; b < n; ++b) sum += mab[a * n + b] * xa[b];
            xa[a] = 0.5 * xa[a] + 0.5 / (1.0 + rho * sum);
        }
    }
    S a_assoc = S(0.0);
    for (std::size_t a = 0; a < n; ++a) {
        const Part &p = l.parts[sites[a].first];
        a_assoc += x[p.position] * p.units * (log(xa[a]) - xa[a] / 2.0 + 0.5);
    }
    return a_assoc;
}

// The Jog-Chapman dipolar term with the units of the production code (μ in Debye, ρ_N = 6.022045 ρ,
// k = R/6022.045134856746, pair diameter in units of (1e-26 m³)^(1/3)).
template <class S, class Sys>
S dipolar(const Sys &s, const Layout &l, S t, S rho, const std::vector<S> &x, S eta) {
    const double unit = std::pow(10.0, 4.0 / 3.0);  // Angstrom per (1e-26 m3)^(1/3)
    const S kt = kGasConstant / 6022.045134856746 * t;
    const S rho_n = 6.022045 * rho;
    std::vector<S> w;
    std::vector<double> mu2, sig;
    for (const Part &p : l.parts) {
        const std::int64_t c = p.comp;
        if (!set(s.dipole[c - 1]) || !set(s.dipolar_fraction[c - 1])) continue;
        w.push_back(x[p.position] * l.m[p.position] * p.fraction * s.dipolar_fraction[c - 1]);
        mu2.push_back(s.dipole[c - 1] * s.dipole[c - 1]);
        sig.push_back(s.sigma[c - 1] / unit);
    }
    if (w.empty()) return S(0.0);
    S s2 = S(0.0), s3 = S(0.0);
    for (std::size_t a = 0; a < w.size(); ++a)
        for (std::size_t b = 0; b < w.size(); ++b) {
            const double sab = 0.5 * (sig[a] + sig[b]);
            s2 += w[a] * w[b] * mu2[a] * mu2[b] / (sab * sab * sab);
            for (std::size_t c = 0; c < w.size(); ++c)
                s3 += w[a] * w[b] * w[c] * mu2[a] * mu2[b] * mu2[c] /
                      (sab * 0.5 * (sig[a] + sig[c]) * 0.5 * (sig[b] + sig[c]));
        }
    s2 *= rho_n / (kt * kt);
    s3 *= rho_n * rho_n / (kt * kt * kt);
    const S j2 = (1.0 - double(0.69099f) * eta - double(1.16904f) * eta * eta + double(0.75097f) * eta * eta * eta) /
                 ((1.0 - eta) * (1.0 - eta));
    const S j3 = (1.0 + double(1.19133f) * eta - double(0.42523f) * eta * eta) /
                 (1.0 - double(1.12789f) * eta + double(0.73166f) * eta * eta);
    const S a2 = -2.0 * 3.141592654 / 9.0 * s2 * j2;
    const S a3 = 5.0 * 3.141592654 * 3.141592654 / 162.0 * s3 * j3;
    return a2 / (1.0 - a3 / a2);
}

// ã = A_res/(nRT) at T, ρ (kmol/m3) and mole fractions x by position.
template <class S, class Sys>
S helmholtz(const Sys &s, const std::vector<std::int64_t> &idx, S t, S rho, const std::vector<S> &x) {
    using namespace pcsaft::constants;
    const Layout l = layout(s, idx);
    const std::int64_t nc = static_cast<std::int64_t>(s.mw.size());
    std::vector<S> d(nc, S(0.0));
    for (const Part &p : l.parts) {
        const std::int64_t c = p.comp;
        d[c - 1] = s.sigma[c - 1] * kScaledAngstrom * (1.0 - 0.12 * exp(-3.0 * s.eps[c - 1] / t));
    }
    S zeta[4] = {S(0.0), S(0.0), S(0.0), S(0.0)};
    S m_bar = S(0.0);
    for (std::size_t k = 0; k < idx.size(); ++k) m_bar += x[k] * l.m[k];
    for (const Part &p : l.parts) {
        S dn = S(1.0);
        for (int n = 0; n < 4; ++n) {
            zeta[n] += kPiOver6 * rho * x[p.position] * l.m[p.position] * p.fraction * dn;
            dn *= d[p.comp - 1];
        }
    }
    const S eta = zeta[3], v = 1.0 - eta;
    const S a_hs = m_bar / zeta[0] *
                   (3.0 * zeta[1] * zeta[2] / v + zeta[2] * zeta[2] * zeta[2] / (zeta[3] * v * v) +
                    (zeta[2] * zeta[2] * zeta[2] / (zeta[3] * zeta[3]) - zeta[0]) * log(v));
    auto ln_g = [&](S di) {
        const S h = di / 2.0;
        return log(1.0 / v + h * 3.0 * zeta[2] / (v * v) + h * h * 2.0 * zeta[2] * zeta[2] / (v * v * v));
    };
    S a_chain = S(0.0);
    for (std::size_t k = 0; k < idx.size(); ++k) {
        bool copolymer = false;
        for (const Part &p : l.parts)
            if (p.position == static_cast<std::int64_t>(k) && p.chain > 0.0) {
                copolymer = true;
                a_chain -= x[k] * (p.chain - 1.0) * ln_g(d[p.comp - 1]);
            }
        if (copolymer) continue;
        for (const Part &p : l.parts)
            if (p.position == static_cast<std::int64_t>(k)) a_chain += x[k] * (1.0 - l.m[k]) * ln_g(d[p.comp - 1]);
    }
    S d1 = S(0.0), d2 = S(0.0);
    for (const Part &p : l.parts)
        for (const Part &q : l.parts) {
            const std::int64_t i = p.comp, j = q.comp, at = (j - 1) * nc + (i - 1);
            const S kij = i == j ? S(0.0) : s.kij[6 * at] + s.kij[6 * at + 1] * 298.15 / t;
            const S e = (1.0 - kij) * sqrt(s.eps[i - 1] * s.eps[j - 1]) / t;
            const double lij = i == j ? 0.0 : s.lij[4 * at];
            const double sij = (s.sigma[i - 1] + s.sigma[j - 1]) * 0.5 * kScaledAngstrom * (1.0 - lij);
            const S w = x[p.position] * x[q.position] * l.m[p.position] * l.m[q.position] * p.fraction * q.fraction;
            d1 += w * e * sij * sij * sij;
            d2 += w * e * e * sij * sij * sij;
        }
    S i1 = S(0.0), i2 = S(0.0), power = S(1.0);
    const S f1 = (m_bar - 1.0) / m_bar, f2 = f1 * (m_bar - 2.0) / m_bar;
    for (int i = 0; i < kPerturbationTerms; ++i) {
        i1 += (kA0[i] + f1 * kA1[i] + f2 * kA2[i]) * power;
        i2 += (kB0[i] + f1 * kB1[i] + f2 * kB2[i]) * power;
        power *= eta;
    }
    const S w = v * (2.0 - eta);
    const S c1 = 1.0 / (1.0 + m_bar * (8.0 * eta - 2.0 * eta * eta) / (v * v * v * v) +
                        (1.0 - m_bar) * (20.0 * eta - 27.0 * eta * eta + 12.0 * eta * eta * eta -
                                         2.0 * eta * eta * eta * eta) / (w * w));
    const S a_disp = -2.0 * kPi * rho * i1 * d1 - kPi * rho * m_bar * c1 * i2 * d2;
    return a_hs + a_chain + a_disp + association(s, l, t, rho, x, d, zeta[2], zeta[3]) +
           dipolar(s, l, t, rho, x, eta);
}

// Complex-step derivatives of the model at (T, ρ, x): ã, Z, ∂ã/∂T and ln φ_k = ∂(n ã)/∂n_k - ln Z.
struct State {
    double a, z, a_t;
    std::vector<double> lnphi;
};

template <class Sys>
State state(const Sys &s, const std::vector<std::int64_t> &idx, double t, double rho, const std::vector<double> &x) {
    using C = std::complex<double>;
    const double h = 1e-30;
    const std::size_t n = x.size();
    std::vector<C> xc(x.begin(), x.end());
    State st;
    st.a = helmholtz<C>(s, idx, C(t), C(rho), xc).real();
    st.z = 1.0 + rho * helmholtz<C>(s, idx, C(t), C(rho, h), xc).imag() / h;
    st.a_t = helmholtz<C>(s, idx, C(t, h), C(rho), xc).imag() / h;
    for (std::size_t k = 0; k < n; ++k) {
        // n = x (one mole in all), V = 1/ρ; n_k -> n_k + i h.
        const C total(1.0, h);
        std::vector<C> xk(n);
        for (std::size_t l = 0; l < n; ++l) xk[l] = (C(x[l]) + (l == k ? C(0.0, h) : C(0.0))) / total;
        const C na = total * helmholtz<C>(s, idx, C(t), rho * total, xk);
        st.lnphi.push_back(na.imag() / h - std::log(st.z));
    }
    return st;
}

}  // namespace keld::pcsaf::reference
