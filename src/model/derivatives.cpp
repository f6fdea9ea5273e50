// Exact derivatives of a residual Helmholtz energy (see derivatives.h).
#include "model/derivatives.h"

#include "model/scratch.h"

#include <limits>
#include <numeric>
#include <stdexcept>
#include <vector>

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

TRhoDerivatives t_rho_derivatives(const Residual &model, double t, double rho, std::span<const double> x,
                                  bool third) {
    check_sizes(model, x.size());
    TRhoDerivatives r;
    {
        auto xs = constant_fractions<J2>(x);
        const J2 a = model.alphar(J2::variable(t, 0), J2::variable(rho, 1), xs.data());
        r.a = a.v;
        r.a_t = a.g[0];
        r.a_rho = a.g[1];
        r.a_tt = a.second(0, 0);
        r.a_trho = a.second(0, 1);
        r.a_rhorho = a.second(1, 1);
    }
    if (third) {
        auto xs = constant_fractions<D3>(x);
        r.a_rhorhorho = model.alphar(D3(t), D3::variable(rho), xs.data()).derivative(3);
    }
    return r;
}

AmountDerivativeSpans spans_for(AmountDerivatives &a, std::size_t n, AmountRequest request) {
    a.gradient.assign(request.gradient ? n : 0, 0.0);
    a.hessian.assign(request.hessian ? n * n : 0, 0.0);
    a.d_v.assign(request.mixed_v ? n : 0, 0.0);
    a.d_t.assign(request.mixed_t ? n : 0, 0.0);
    return {0.0, a.gradient, a.hessian, a.d_v, a.d_t};
}

AmountDerivatives amount_derivatives(const Residual &model, double t, double v, std::span<const double> n,
                                     AmountRequest request) {
    AmountDerivatives r;
    AmountDerivativeSpans out = spans_for(r, n.size(), request);
    amount_derivatives(model, t, v, n, out);
    r.psi = out.psi;
    return r;
}

void amount_derivatives(const Residual &model, double t, double v, std::span<const double> n,
                        AmountDerivativeSpans &r) {
    const std::size_t size = n.size();
    check_sizes(model, size);
    if (size == 1) {
        // One component: Psi = n alpha_r(T, n/V), every derivative from the (T, rho) ones.
        const double amount = n[0], rho = amount / v, x = 1.0;
        const TRhoDerivatives d = t_rho_derivatives(model, t, rho, std::span<const double>(&x, 1), false);
        r.psi = amount * d.a;
        if (!r.gradient.empty()) r.gradient[0] = d.a + rho * d.a_rho;
        if (!r.hessian.empty()) r.hessian[0] = (2.0 * rho * d.a_rho + rho * rho * d.a_rhorho) / amount;
        if (!r.d_v.empty()) r.d_v[0] = -(2.0 * d.a_rho + rho * d.a_rhorho) * rho / v;
        if (!r.d_t.empty()) r.d_t[0] = d.a_t + rho * d.a_trho;
        return;
    }
    {
        const double total = std::accumulate(n.begin(), n.end(), 0.0);
        Scratch<double> x(size);
        for (std::size_t k = 0; k < size; ++k) x[k] = n[k] / total;
        r.psi = total * model.alphar(t, total / v, x.data());
    }
    if (!r.gradient.empty()) {
        Scratch<D1> amounts(size);
        for (std::size_t i = 0; i < size; ++i) {
            for (std::size_t k = 0; k < size; ++k) amounts[k] = D1(n[k], k == i ? 1.0 : 0.0);
            r.gradient[i] = psi<D1>(model, D1(t), D1(v), amounts).d;
        }
    }
    if (!r.hessian.empty()) {
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
    if (!r.d_v.empty() || !r.d_t.empty()) {
        Scratch<D2> amounts(size);
        for (std::size_t i = 0; i < size; ++i) {
            for (std::size_t k = 0; k < size; ++k) amounts[k] = D2(n[k], k == i ? 1.0 : 0.0, 0.0, 0.0);
            if (!r.d_v.empty()) r.d_v[i] = psi<D2>(model, D2(t), D2(v, 0.0, 1.0, 0.0), amounts).d12;
            if (!r.d_t.empty()) r.d_t[i] = psi<D2>(model, D2(t, 0.0, 1.0, 0.0), D2(v), amounts).d12;
        }
    }
}

// The generic route behind Residual's hooks (a family may override them).
AlpharDerivatives Residual::derivatives(double t, double rho, const double *x, bool third) const {
    return t_rho_derivatives(*this, t, rho, std::span<const double>(x, size()), third);
}

void Residual::amount_derivatives(double t, double v, std::span<const double> n, AmountDerivativeSpans &out) const {
    model::amount_derivatives(*this, t, v, n, out);
}

AmountDerivatives Residual::amount_derivatives(double t, double v, std::span<const double> n,
                                               AmountRequest request) const {
    AmountDerivatives r;
    AmountDerivativeSpans out = spans_for(r, n.size(), request);
    amount_derivatives(t, v, n, out);
    r.psi = out.psi;
    return r;
}

DensitySlopes Residual::density_slopes(double t, double rho, const double *x) const {
    Scratch<D2> xs(size());
    for (std::size_t k = 0; k < size(); ++k) xs[k] = D2(x[k]);
    // d1 and d2 both along rho: d12 is the second derivative.
    const D2 a = alphar(D2(t), D2(rho, 1.0, 1.0, 0.0), xs.data());
    return {a.d1, a.d12, a.v};
}

namespace {

class SlopesLine final : public DensityLine {
  public:
    SlopesLine(const Residual &r, double t, const double *x) : r_(r), t_(t), x_(x, x + r.size()) {}
    DensitySlopes at(double rho) const override { return r_.density_slopes(t_, rho, x_.data()); }
    double max_density() const override { return r_.max_density(t_, x_.data()); }

  private:
    const Residual &r_;
    double t_;
    std::vector<double> x_;
};

}  // namespace

std::unique_ptr<DensityLine> Residual::density_line(double t, const double *x) const {
    return std::make_unique<SlopesLine>(*this, t, x);
}

namespace {

class PlainIsotherm final : public AmountIsotherm {
  public:
    PlainIsotherm(const Residual &r, double t) : r_(r), t_(t) {}
    void at(std::span<const double> rho, AmountDerivativeSpans &out) const override {
        r_.amount_derivatives(t_, 1.0, rho, out);
    }
    std::unique_ptr<DensityLine> line(const double *x) const override { return r_.density_line(t_, x); }

  private:
    const Residual &r_;
    double t_;
};

}  // namespace

std::unique_ptr<AmountIsotherm> Residual::amount_isotherm(double t) const {
    return std::make_unique<PlainIsotherm>(*this, t);
}

double Residual::temperature_slope(double t, double rho, const double *x) const {
    Scratch<D1> xs(size());
    for (std::size_t k = 0; k < size(); ++k) xs[k] = D1(x[k]);
    return alphar(D1(t, 1.0), D1(rho), xs.data()).d;
}

void Residual::second_derivatives(double t, double rho, std::span<const double> n, AlpharDerivatives &t_rho,
                                  AmountDerivativeSpans &amounts) const {
    check_sizes(*this, n.size());
    const double total = std::accumulate(n.begin(), n.end(), 0.0);
    Scratch<double> x(n.size());
    for (std::size_t k = 0; k < n.size(); ++k) x[k] = n[k] / total;
    t_rho = derivatives(t, rho, x.data(), false);
    t_rho.a_rhorhorho = std::numeric_limits<double>::quiet_NaN();
    amount_derivatives(t, total / rho, n, amounts);
}

SecondDerivatives Residual::second_derivatives(double t, double rho, std::span<const double> n) const {
    SecondDerivatives r;
    AmountDerivativeSpans amounts = spans_for(r.amounts, n.size(), {true, true, true, true});
    second_derivatives(t, rho, n, r.t_rho, amounts);
    r.amounts.psi = amounts.psi;
    return r;
}

}  // namespace keld::model
