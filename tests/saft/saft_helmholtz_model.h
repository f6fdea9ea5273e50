// The SAFT residual Helmholtz energy written once more, plainly and as a template over the scalar type,
// so that tests can differentiate it by complex step (std::complex<double>) in T, ρ and the mole
// numbers. It follows the published form term by term (Boublík-Mansoori in the ζ_n, the chain's contact
// value of each component with itself, the Chen-Kreglewski double sum) and shares no arrangement with
// the production code.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace keld::saft::reference {

constexpr double kPi = 3.141592654;
constexpr double kTau = 0.74048;
constexpr double kD[4][9] = {
    {-8.8043, 4.164627, -48.203555, 140.4362, -195.23339, 113.515, 0, 0, 0},
    {2.9396, -6.0865383, 40.137956, -76.230797, -133.70055, 860.25349, -1535.3224, 1221.4261, -409.10539},
    {-2.8225, 4.7600148, 11.257177, -66.382743, 69.248785, 0, 0, 0, 0},
    {0.34, -3.1875014, 12.231796, -12.110681, 0, 0, 0, 0, 0}};

// Parameters by position; k_ij on the cross energy and l_ij on the cross segment number by position
// pairs (n-by-n, symmetric).
struct Mixture {
    std::vector<double> m, v00, u0, e;
    std::vector<double> kij, lij;
};

using std::exp;
using std::log;
using std::pow;
using std::sqrt;

template <class S>
S helmholtz(S t, S rho, const std::vector<S> &x, const Mixture &mix) {
    const std::size_t n = x.size();
    std::vector<S> v0(n), d(n);
    S zeta[4] = {S(0), S(0), S(0), S(0)};
    for (std::size_t k = 0; k < n; ++k) {
        v0[k] = mix.v00[k] * pow(1.0 - 0.12 * exp(-3.0 * mix.u0[k] / t), 3.0);
        d[k] = pow(v0[k] * 6.0 * kTau / kPi, 1.0 / 3.0);
        for (int p = 0; p < 4; ++p) zeta[p] += kPi / 6.0 * rho * x[k] * mix.m[k] * pow(d[k], double(p));
    }
    const S one_minus = 1.0 - zeta[3];
    S m_bar = S(0);
    for (std::size_t k = 0; k < n; ++k) m_bar += x[k] * mix.m[k];
    const S a_hs = m_bar / zeta[0] *
                   (3.0 * zeta[1] * zeta[2] / one_minus + pow(zeta[2], 3.0) / (zeta[3] * one_minus * one_minus) +
                    (pow(zeta[2], 3.0) / (zeta[3] * zeta[3]) - zeta[0]) * log(one_minus));
    S a_chain = S(0);
    for (std::size_t k = 0; k < n; ++k) {
        const S dkk = d[k] * d[k] / (d[k] + d[k]);
        const S g = 1.0 / one_minus + 3.0 * dkk * zeta[2] / pow(one_minus, 2.0) +
                    2.0 * dkk * dkk * zeta[2] * zeta[2] / pow(one_minus, 3.0);
        a_chain += x[k] * (1.0 - mix.m[k]) * log(g);
    }
    S m_mix = S(0), num = S(0), den = S(0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            m_mix += x[i] * x[j] * (1.0 - mix.lij[i * n + j]) * (mix.m[i] + mix.m[j]) / 2.0;
            const S v0ij = pow((pow(v0[i], 1.0 / 3.0) + pow(v0[j], 1.0 / 3.0)) / 2.0, 3.0);
            const S uij = (1.0 - mix.kij[i * n + j]) * sqrt(mix.u0[i] * mix.u0[j]) *
                          sqrt((1.0 + mix.e[i] / t) * (1.0 + mix.e[j] / t)) / t;
            num += x[i] * x[j] * mix.m[i] * mix.m[j] * v0ij * uij;
            den += x[i] * x[j] * mix.m[i] * mix.m[j] * v0ij;
        }
    }
    const S w = num / den;
    S a0 = S(0);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 9; ++j) a0 += kD[i][j] * pow(w, double(i + 1)) * pow(zeta[3] / kTau, double(j + 1));
    return a_hs + a_chain + m_mix * a0;
}

// Z, ã, ∂ã/∂T and ln φ_k = ∂(n ã)/∂n_k - ln Z at (T, V) by complex step; the pressure and its T- and
// V-derivatives (the first through ∂ã/∂ρ by complex step, then Richardson-extrapolated central
// differences) for (∂V/∂T)_P.
struct State {
    double z, a, a_t, p, dv_dt;
    std::vector<double> ln_phi;
};

inline State state(const Mixture &mix, double t, double v, const std::vector<double> &x, double gas_constant) {
    using C = std::complex<double>;
    const double h = 1e-30;
    const std::vector<C> xc(x.begin(), x.end());
    auto a = [&](C tt, C rho, const std::vector<C> &xs) { return helmholtz<C>(tt, rho, xs, mix); };
    auto pressure = [&](double tt, double rho) {
        return gas_constant * tt * rho * (1.0 + a(tt, C(rho, h), xc).imag() / h * rho);
    };
    auto richardson = [](auto f, double at, double step) {
        auto central = [&](double s) { return (f(at + s) - f(at - s)) / (2.0 * s); };
        return (4.0 * central(step / 2.0) - central(step)) / 3.0;
    };
    State s;
    s.z = 1.0 + a(t, C(1.0 / v, h), xc).imag() / h / v;
    s.a = a(t, 1.0 / v, xc).real();
    s.a_t = a(C(t, h), 1.0 / v, xc).imag() / h;
    s.p = pressure(t, 1.0 / v);
    const double p_t = richardson([&](double tt) { return pressure(tt, 1.0 / v); }, t, 1e-3 * t);
    const double p_v = richardson([&](double vv) { return pressure(t, 1.0 / vv); }, v, 1e-4 * v);
    s.dv_dt = -p_t / p_v;
    for (std::size_t k = 0; k < x.size(); ++k) {
        std::vector<C> moles = xc;
        moles[k] += C(0.0, h);
        C total(0.0);
        for (const C &nk : moles) total += nk;
        for (C &xk : moles) xk /= total;
        s.ln_phi.push_back((total * a(t, total / v, moles)).imag() / h - std::log(s.z));
    }
    return s;
}

}  // namespace keld::saft::reference
