// PC-SAFT (hard chain and dispersion, Gross and Sadowski 2001) as a model
// family: the residual Helmholtz energy composed from the contributions the
// monitors use (hard sphere and chain from contributions/hard_chain.h, the
// dispersion term and its pair sums from contributions/pcsaft_dispersion.h), evaluated
// with any number type.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "contributions/hard_chain.h"
#include "model/binary_table.h"
#include "model/residual.h"
#include "model/scratch.h"
#include "contributions/pcsaft_dispersion.h"

namespace keld::model {

// One term of a cross energy: weight * mean * (1 - k(T)) in K. A pair of
// components has one term (weight 1, mean sqrt(eps_i eps_j), k = k_ij); a
// polymer built from segments meets a partner without a k_ij of its own
// through its segments, one term per segment s (weight its fraction,
// mean sqrt(eps_o eps_s), k = k_os).
struct CrossEnergyTerm {
    double weight = 1.0;
    double mean = 0.0;
    BinaryTable k;
};

// Per component: segment number m, segment diameter sigma (Angstrom),
// segment energy eps/k (K); a polymer's m is its segment ratio times its
// number-average molecular weight. Binary k_ij (row-major, N x N, symmetric
// part used; empty: all 0), or, when `cross` is given (row-major N x N, the
// diagonal unused), each pair's cross energy as a sum of terms.
struct PcSaftParameters {
    std::vector<double> m, sigma, eps;
    std::vector<double> kij;
    std::vector<std::vector<CrossEnergyTerm>> cross;
};

class PcSaftFamily {
  public:
    static constexpr double kClosePacking = 0.74048;  // packing fraction of the densest sphere packing

    explicit PcSaftFamily(PcSaftParameters p);

    std::size_t size() const { return m_.size(); }
    const PcSaftParameters &parameters() const { return p_; }

    template <class S>
    S alphar(const S &t, const S &rho, const S *x) const;

    double max_density(double t, const double *x) const;

    // Exact derivatives without a pass of automatic differentiation per direction: the same
    // contributions, their analytic density derivatives and the mixture's aggregates
    // (model/families/pcsaft_derivatives.cpp; the amounts' in pcsaft_amounts.cpp). Residual's hooks
    // dispatch here.
    AlpharDerivatives derivatives(double t, double rho, const double *x, bool third) const;
    void amount_derivatives(double t, double v, std::span<const double> n, AmountDerivativeSpans &out) const;
    void second_derivatives(double t, double rho, std::span<const double> n, AlpharDerivatives &t_rho,
                            AmountDerivativeSpans &amounts) const;
    // a_rho and a_rhorho by the same arithmetic as derivatives()'s values (a density search).
    DensitySlopes density_slopes(double t, double rho, const double *x) const;
    // The same along one isotherm, the diameters, moments and pair sums formed once.
    std::unique_ptr<DensityLine> density_line(double t, const double *x) const;
    // Amount derivatives at T with the diameters and pair weights formed once.
    std::unique_ptr<AmountIsotherm> amount_isotherm(double t) const;
    // d alpha_r/dT: alpha_r's own expressions with T a dual number and x, m-bar plain numbers.
    double temperature_slope(double t, double rho, const double *x) const;

  private:
    friend class PcSaftAggregates;

    PcSaftParameters p_;
    std::vector<double> m_, sigma_, eps_;  // by component
    std::vector<double> eps_matrix_;       // the cross energies when constant, column-major N x N
    bool cross_varies_ = false;            // a cross energy follows a temperature table
    std::vector<std::int64_t> idx_;        // 1..N

    template <class S>
    S cross_energy(std::size_t i, std::size_t j, const S &t) const;
};

template <class S>
S PcSaftFamily::cross_energy(std::size_t i, std::size_t j, const S &t) const {
    S e = S(0.0);
    for (const CrossEnergyTerm &term : p_.cross[i * size() + j]) e = e + term.weight * term.mean * (1.0 - term.k.at(t));
    return e;
}

template <class S>
S PcSaftFamily::alphar(const S &t, const S &rho, const S *x) const {
    namespace terms = pcsaft::terms;
    const std::int64_t n = static_cast<std::int64_t>(size());
    Scratch<S> d(static_cast<std::size_t>(n));
    helmholtz::Moments<S> mom;
    mom.m_bar = S(0.0);
    mom.s1 = mom.s2 = mom.s3 = S(0.0);
    for (std::int64_t k = 0; k < n; ++k) {
        d[k] = terms::segment_diameter(sigma_[k], terms::segment_diameter_factor(eps_[k], t));
        const S xm = x[k] * m_[k];
        mom.m_bar += xm;
        mom.s1 += xm * d[k];
        mom.s2 += xm * d[k] * d[k];
        mom.s3 += xm * d[k] * d[k] * d[k];
    }
    const S hs = helmholtz::hard_sphere(mom, rho, false, true).a;
    const S chain = helmholtz::hard_chain(
                        rho, n, x, m_.data(), mom, [&](std::int64_t k) { return S(0.5) * d[k]; },
                        [](std::int64_t) { return 0.0; }, false, false, static_cast<S *>(nullptr), true)
                        .part.a;
    terms::DispersionSumsOf<S> sums;
    if (cross_varies_) {
        // Cross energies at this T, with their temperature derivatives.
        Scratch<S, 64> eps(static_cast<std::size_t>(n * n));
        for (std::int64_t j = 0; j < n; ++j)
            for (std::int64_t i = 0; i < n; ++i)
                eps[j * n + i] = i == j ? S(eps_[i]) : cross_energy(std::size_t(i), std::size_t(j), t);
        sums = terms::dispersion_sums<false>(t, n, n, idx_.data(), x, sigma_.data(), eps.data(), m_.data(), nullptr,
                                             nullptr);
    } else {
        sums = terms::dispersion_sums<false>(t, n, n, idx_.data(), x, sigma_.data(), eps_matrix_.data(), m_.data(),
                                             nullptr, nullptr);
    }
    const S disp = terms::dispersion(mom, sums, rho, false, true).a;
    return hs + chain + disp;
}

// The family behind the model's call shape (model/residual.h).
std::shared_ptr<const Residual> pcsaft_residual(PcSaftParameters p);

}  // namespace keld::model
