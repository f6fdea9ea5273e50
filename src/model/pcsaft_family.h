// PC-SAFT (hard chain and dispersion, Gross and Sadowski 2001) as a model
// family: the residual Helmholtz energy composed from the contributions the
// monitors use (hard sphere and chain from common/hard_chain_terms.h, the
// dispersion term and its pair sums from pcsaft/pcsaft_terms.h), evaluated
// with any number type.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/hard_chain_terms.h"
#include "model/residual.h"
#include "pcsaft/pcsaft_terms.h"

namespace keld::model {

// Per component: segment number m, segment diameter sigma (Angstrom),
// segment energy eps/k (K); a polymer's m is its segment ratio times its
// number-average molecular weight. Binary k_ij (row-major, N x N, symmetric
// part used; empty: all 0).
struct PcSaftParameters {
    std::vector<double> m, sigma, eps;
    std::vector<double> kij;
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

  private:
    PcSaftParameters p_;
    std::vector<double> m_, sigma_, eps_;  // by component
    std::vector<double> eps_matrix_;       // (1 - k_ij) sqrt(eps_i eps_j), column-major N x N
    std::vector<std::int64_t> idx_;        // 1..N
};

template <class S>
S PcSaftFamily::alphar(const S &t, const S &rho, const S *x) const {
    namespace terms = pcsaft::terms;
    const std::int64_t n = static_cast<std::int64_t>(size());
    std::vector<S> d(static_cast<std::size_t>(n));
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
    const S hs = helmholtz::hard_sphere(mom, rho, false).a;
    const S chain = helmholtz::hard_chain(
                        rho, n, x, m_.data(), mom, [&](std::int64_t k) { return S(0.5) * d[k]; },
                        [](std::int64_t) { return 0.0; }, false, false)
                        .part.a;
    const terms::DispersionSumsOf<S> sums = terms::dispersion_sums<false>(
        t, n, n, idx_.data(), x, sigma_.data(), eps_matrix_.data(), m_.data(), nullptr, nullptr);
    const S disp = terms::dispersion(mom, sums, rho, false).a;
    return hs + chain + disp;
}

// The family behind the model's call shape (model/residual.h).
std::shared_ptr<const Residual> pcsaft_residual(PcSaftParameters p);

}  // namespace keld::model
