// Complex-step derivatives of a model family's residual Helmholtz energy: the
// oracle every automatic derivative of the model layer is checked against.
// A first derivative is Im f(x + ih)/h with h = 1e-30 (no cancellation, so
// exact to round-off); a second is the complex step of a dual number's
// derivative, a third that of a hyper-dual's mixed part. The family is
// instantiated here with numbers over a complex base.
#pragma once

#include <complex>
#include <vector>

#include "model/autodiff.h"
#include "model/derivatives.h"

namespace keld::testing {

using C = std::complex<double>;
using DC = ad::Dual<C>;
using HC = ad::HyperDual<C>;
inline constexpr double kStep = 1e-30;

// Which variable is stepped and which carries the dual directions.
enum class Var { t, rho };

template <class Family>
model::TRhoDerivatives complex_step_t_rho(const Family &f, double t, double rho, const std::vector<double> &x) {
    model::TRhoDerivatives r;
    auto eval = [&](Var step, Var d1, Var d2, int order) {
        // order 1: value's complex step; 2: dual's; 3: hyper-dual's mixed part.
        std::vector<HC> xs(x.begin(), x.end());
        auto number = [&](Var v, double base) {
            HC s(C(base, step == v ? kStep : 0.0));
            if (order >= 2 && d1 == v) s.d1 = C(1.0);
            if (order >= 3 && d2 == v) s.d2 = C(1.0);
            return s;
        };
        const HC a = f.alphar(number(Var::t, t), number(Var::rho, rho), xs.data());
        const C part = order == 1 ? a.v : order == 2 ? a.d1 : a.d12;
        return part.imag() / kStep;
    };
    r.a = f.alphar(t, rho, x.data());
    r.a_t = eval(Var::t, Var::t, Var::t, 1);
    r.a_rho = eval(Var::rho, Var::rho, Var::rho, 1);
    r.a_tt = eval(Var::t, Var::t, Var::t, 2);
    r.a_trho = eval(Var::rho, Var::t, Var::t, 2);
    r.a_rhorho = eval(Var::rho, Var::rho, Var::rho, 2);
    r.a_rhorhorho = eval(Var::rho, Var::rho, Var::rho, 3);
    return r;
}

// Psi = N alpha_r(T, N/V, n/N) with numbers of type S.
template <class Family, class S>
S psi(const Family &f, const S &t, const S &v, const std::vector<S> &n) {
    S total = n[0];
    for (std::size_t k = 1; k < n.size(); ++k) total = total + n[k];
    std::vector<S> x(n.size());
    for (std::size_t k = 0; k < n.size(); ++k) x[k] = n[k] / total;
    return total * f.alphar(t, total / v, x.data());
}

// Gradient, Hessian and the mixed V and T derivatives of Psi by complex steps.
template <class Family>
model::AmountDerivatives complex_step_amounts(const Family &f, double t, double v, const std::vector<double> &n) {
    const std::size_t size = n.size();
    model::AmountDerivatives r;
    r.gradient.resize(size);
    r.hessian.resize(size * size);
    r.d_v.resize(size);
    r.d_t.resize(size);
    for (std::size_t i = 0; i < size; ++i) {
        std::vector<DC> amounts(n.begin(), n.end());
        amounts[i].v += C(0.0, kStep);
        r.gradient[i] = psi(f, DC(t), DC(v), amounts).v.imag() / kStep;
        // Second derivatives: the dual direction along n_j (or V, T), the step along n_i.
        for (std::size_t j = 0; j < size; ++j) {
            std::vector<DC> a = amounts;
            a[j].d = C(1.0);
            r.hessian[i * size + j] = psi(f, DC(t), DC(v), a).d.imag() / kStep;
        }
        r.d_v[i] = psi(f, DC(t), DC(C(v), C(1.0)), amounts).d.imag() / kStep;
        r.d_t[i] = psi(f, DC(C(t), C(1.0)), DC(v), amounts).d.imag() / kStep;
    }
    return r;
}

}  // namespace keld::testing
