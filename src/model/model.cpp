// The Model object (see keld/model.hpp).
#include "keld/model.hpp"

#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "model/derivatives.h"
#include "model/families/pcsaft_family.h"

namespace keld {
namespace {

// Refuses what is not a composition; returns the total amount.
double check_amounts(std::span<const double> z, std::size_t size) {
    if (z.size() != size) throw std::invalid_argument("one amount or mole fraction per component is needed");
    double total = 0.0;
    for (double v : z) {
        if (!(std::isfinite(v) && v >= 0.0)) throw std::invalid_argument("amounts must be finite and not negative");
        total += v;
    }
    if (!(total > 0.0)) throw std::invalid_argument("the amounts add up to zero");
    return total;
}

// Mole fractions from amounts of any scale.
std::vector<double> fractions(std::span<const double> z, std::size_t size) {
    const double total = check_amounts(z, size);
    std::vector<double> x(size);
    for (std::size_t k = 0; k < size; ++k) x[k] = z[k] / total;
    return x;
}

// A caller's span is empty (not asked for) or holds what the model writes.
void check_spans(const AmountDerivativeSpans &out, std::size_t size) {
    const auto fits = [](std::span<double> s, std::size_t n) { return s.empty() || s.size() == n; };
    if (!(fits(out.gradient, size) && fits(out.hessian, size * size) && fits(out.d_v, size) && fits(out.d_t, size)))
        throw std::invalid_argument("each span of amount derivatives asked for needs N values (the Hessian N x N)");
}

void check_state(double t, double rho) {
    if (!(std::isfinite(t) && t > 0.0)) throw std::invalid_argument("T must be a positive number of kelvins");
    if (!(std::isfinite(rho) && rho >= 0.0)) throw std::invalid_argument("the density must be finite and not negative");
}

}  // namespace

Model::Model(std::string family, std::vector<ModelComponent> components,
             std::shared_ptr<const model::Residual> residual)
    : family_(std::move(family)), components_(std::move(components)), residual_(std::move(residual)) {
    if (!residual_) throw std::invalid_argument("a model needs its residual Helmholtz energy");
    if (components_.size() != residual_->size())
        throw std::invalid_argument("one component description per component of the residual is needed");
    for (ModelComponent &c : components_) {
        if (!(c.mw > 0.0)) throw std::invalid_argument("component " + c.name + ": the molecular weight must be positive");
        if (!(c.mw_apparent > 0.0)) c.mw_apparent = c.mw;
    }
}

Model Model::pcsaft(std::vector<PcSaftComponent> components, std::vector<double> kij) {
    model::PcSaftParameters p;
    std::vector<ModelComponent> described;
    for (const PcSaftComponent &c : components) {
        p.m.push_back(c.m);
        p.sigma.push_back(c.sigma);
        p.eps.push_back(c.epsilon_k);
        described.push_back({c.name, c.mw, c.mw_apparent});
    }
    p.kij = std::move(kij);
    return Model("pcsaft", std::move(described), model::pcsaft_residual(std::move(p)));
}

double Model::alphar(double t, double rho, std::span<const double> z) const {
    check_state(t, rho);
    const std::vector<double> x = fractions(z, size());
    return residual_->alphar(t, rho, x.data());
}

AlpharDerivatives Model::derivatives(double t, double rho, std::span<const double> z) const {
    check_state(t, rho);
    const std::vector<double> x = fractions(z, size());
    return residual_->derivatives(t, rho, x.data(), true);
}

AlpharDerivativeTable Model::derivative_table(double t, double rho, std::span<const double> z) const {
    check_state(t, rho);
    const std::vector<double> x = fractions(z, size());
    std::vector<model::DT4> xs(x.begin(), x.end());
    model::DT4 tt(ad::Taylor<double, 4>(t), ad::Taylor<double, 4>(1.0));
    model::DT4 rr(ad::Taylor<double, 4>::variable(rho));
    const model::DT4 a = residual_->alphar(tt, rr, xs.data());
    AlpharDerivativeTable table;
    for (int j = 0; j <= 4; ++j) {
        table.a[0][j] = a.v.derivative(j);
        table.a[1][j] = a.d.derivative(j);
    }
    return table;
}

AmountDerivatives Model::amount_derivatives(double t, double v, std::span<const double> n,
                                            AmountRequest request) const {
    check_state(t, 0.0);
    if (!(std::isfinite(v) && v > 0.0)) throw std::invalid_argument("the volume must be a positive number of m3");
    check_amounts(n, size());
    return residual_->amount_derivatives(t, v, n, request);
}

void Model::amount_derivatives(double t, double v, std::span<const double> n, AmountDerivativeSpans &out) const {
    check_state(t, 0.0);
    if (!(std::isfinite(v) && v > 0.0)) throw std::invalid_argument("the volume must be a positive number of m3");
    check_amounts(n, size());
    check_spans(out, size());
    residual_->amount_derivatives(t, v, n, out);
}

SecondDerivatives Model::second_derivatives(double t, double rho, std::span<const double> n) const {
    check_state(t, rho);
    if (!(rho > 0.0)) throw std::invalid_argument("the density must be positive");
    check_amounts(n, size());
    return residual_->second_derivatives(t, rho, n);
}

void Model::second_derivatives(double t, double rho, std::span<const double> n, AlpharDerivatives &t_rho,
                               AmountDerivativeSpans &amounts) const {
    check_state(t, rho);
    if (!(rho > 0.0)) throw std::invalid_argument("the density must be positive");
    check_amounts(n, size());
    check_spans(amounts, size());
    residual_->second_derivatives(t, rho, n, t_rho, amounts);
}

double Model::max_density(double t, std::span<const double> z) const {
    check_state(t, 0.0);
    const std::vector<double> x = fractions(z, size());
    return residual_->max_density(t, x.data());
}

double IdealGasHeatCapacity::cp_over_r(std::size_t component, double t) const {
    if (component < exponential.size() && exponential[component]) {
        const Exponential &f = *exponential[component];
        if (!(t >= f.t_min && t <= f.t_max)) return std::numeric_limits<double>::quiet_NaN();
        return (f.a + std::exp(f.b / t + f.c + f.d * t + f.e * t * t)) / kGasConstant;
    }
    const std::vector<double> &c = coefficients.at(component);
    double value = 0.0;
    for (std::size_t k = c.size(); k-- > 0;) value = value * t + c[k];
    return value;
}

}  // namespace keld
