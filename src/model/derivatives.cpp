// Exact derivatives of a residual Helmholtz energy (see derivatives.h).
#include "model/derivatives.h"

#include "model/scratch.h"

#include <numeric>
#include <stdexcept>

namespace keld::model {
namespace {

// x as numbers of type S without derivative parts.
template <class S>
Scratch<S> constant_fractions(std::span<const double> x) {
    Scratch<S> xs(x.size());
    for (std::size_t k = 0; k < x.size(); ++k) xs[k] = S(x[k]);
    return xs;
}

// Psi = N alpha_r(T, N/V, n/N) with every argument of type S.
template <class S>
S psi(const Residual &model, const S &t, const S &v, Scratch<S> &n) {
    S total = n[0];
    for (std::size_t k = 1; k < n.size(); ++k) total = total + n[k];
    Scratch<S> x(n.size());
    for (std::size_t k = 0; k < n.size(); ++k) x[k] = n[k] / total;
    return total * model.alphar(t, total / v, x.data());
}

void check_sizes(const Residual &model, std::size_t n) {
    if (n != model.size()) throw std::invalid_argument("one amount or mole fraction per component is needed");
}

}  // namespace

TRhoDerivatives t_rho_derivatives(const Residual &model, double t, double rho, std::span<const double> x) {
    check_sizes(model, x.size());
    TRhoDerivatives r;
    {
        // Along rho, to third order.
        auto xs = constant_fractions<D3>(x);
        const D3 a = model.alphar(D3(t), D3::variable(rho), xs.data());
        r.a = a.c[0];
        r.a_rho = a.derivative(1);
        r.a_rhorho = a.derivative(2);
        r.a_rhorhorho = a.derivative(3);
    }
    {
        // Along T, to second order.
        auto xs = constant_fractions<D3>(x);
        const D3 a = model.alphar(D3::variable(t), D3(rho), xs.data());
        r.a_t = a.derivative(1);
        r.a_tt = a.derivative(2);
    }
    {
        // The mixed derivative: T on the first, rho on the second direction.
        auto xs = constant_fractions<D2>(x);
        const D2 a = model.alphar(D2(t, 1.0, 0.0, 0.0), D2(rho, 0.0, 1.0, 0.0), xs.data());
        r.a_trho = a.d12;
    }
    return r;
}

AmountDerivatives amount_derivatives(const Residual &model, double t, double v, std::span<const double> n,
                                     AmountRequest request) {
    const std::size_t size = n.size();
    check_sizes(model, size);
    AmountDerivatives r;
    {
        const double total = std::accumulate(n.begin(), n.end(), 0.0);
        Scratch<double> x(size);
        for (std::size_t k = 0; k < size; ++k) x[k] = n[k] / total;
        r.psi = total * model.alphar(t, total / v, x.data());
    }
    if (request.gradient) {
        r.gradient.resize(size);
        Scratch<D1> amounts(size);
        for (std::size_t i = 0; i < size; ++i) {
            for (std::size_t k = 0; k < size; ++k) amounts[k] = D1(n[k], k == i ? 1.0 : 0.0);
            r.gradient[i] = psi<D1>(model, D1(t), D1(v), amounts).d;
        }
    }
    if (request.hessian) {
        r.hessian.assign(size * size, 0.0);
        Scratch<D2> amounts(size);
        for (std::size_t i = 0; i < size; ++i) {
            for (std::size_t j = i; j < size; ++j) {
                for (std::size_t k = 0; k < size; ++k)
                    amounts[k] = D2(n[k], k == i ? 1.0 : 0.0, k == j ? 1.0 : 0.0, 0.0);
                const double h = psi<D2>(model, D2(t), D2(v), amounts).d12;
                r.hessian[i * size + j] = r.hessian[j * size + i] = h;
            }
        }
    }
    if (request.mixed_v || request.mixed_t) {
        Scratch<D2> amounts(size);
        if (request.mixed_v) r.d_v.resize(size);
        if (request.mixed_t) r.d_t.resize(size);
        for (std::size_t i = 0; i < size; ++i) {
            for (std::size_t k = 0; k < size; ++k) amounts[k] = D2(n[k], k == i ? 1.0 : 0.0, 0.0, 0.0);
            if (request.mixed_v) r.d_v[i] = psi<D2>(model, D2(t), D2(v, 0.0, 1.0, 0.0), amounts).d12;
            if (request.mixed_t) r.d_t[i] = psi<D2>(model, D2(t, 0.0, 1.0, 0.0), D2(v), amounts).d12;
        }
    }
    return r;
}

}  // namespace keld::model
