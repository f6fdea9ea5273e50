// The SAFT of Huang and Radosz (hard spheres, chains and the Chen-Kreglewski dispersion term) as a
// model family: the residual Helmholtz energy composed from the contributions its monitors use
// (contributions/saft_dispersion.h on contributions/hard_chain.h), evaluated with any number type.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "model/residual.h"
#include "contributions/saft_dispersion.h"

namespace keld::model {

// Per component: segment number m (a polymer's is its segments per unit of molecular weight times
// its number-average molecular weight), segment volume at close packing v00 (m3/kmol of segments),
// segment energy u0/k (K) and energy correction e/k (K). Binary, row-major N x N (empty: all 0):
// k_ij on the cross energy u0_ij = (1 - k_ij) sqrt(u0_i u0_j) and l_ij on the cross segment number
// m_ij = (1 - l_ij)(m_i + m_j)/2. Of a pair's two elements the one given (not 0) counts, the
// (i, j) one with i < j when both are. Without l_ij the dispersion term's segment number is
// sum x m, as the stored-parameter and segment-based monitors take it; with it, the double sum
// over m_ij of the argument-driven monitor. u0_cross (K), row-major N x N (empty: by the rule above):
// the cross energies themselves where the rule does not give them (a polymer built from segments meets
// the other components through its segments); its off-diagonal elements replace the rule's.
struct SaftParameters {
    std::vector<double> m, v00, u0, e;
    std::vector<double> kij, lij;
    std::vector<double> u0_cross;
};

class SaftFamily {
  public:
    explicit SaftFamily(SaftParameters p);

    std::size_t size() const { return p_.m.size(); }
    const SaftParameters &parameters() const { return p_; }

    template <class S>
    S alphar(const S &t, const S &rho, const S *x) const;

    double max_density(double t, const double *x) const;

  private:
    saft::Parameters terms_parameters() const;

    SaftParameters p_;
    std::vector<double> u0_matrix_;  // u0_ij/k, column-major N x N
    std::vector<double> m_matrix_;   // m_ij, column-major N x N; empty without l_ij
    std::vector<std::int64_t> idx_;  // 1..N
};

template <class S>
S SaftFamily::alphar(const S &t, const S &rho, const S *x) const {
    namespace terms = saft::terms;
    const std::int64_t n = static_cast<std::int64_t>(size());
    std::vector<S> d(static_cast<std::size_t>(n));
    helmholtz::Moments<S> mom;
    for (std::int64_t k = 0; k < n; ++k) {
        d[k] = terms::segment_size(p_.v00[k], terms::segment_size_factor(p_.u0[k], t)).d;
        terms::add_to_moments(mom, x[k], p_.m[k], terms::segment_powers(p_.m[k], d[k]));
    }
    const S w = terms::reduced_energy(terms::energy_sums<false>(
        t, n, idx_.data(), x, p_.m.data(), d.data(), terms_parameters(), nullptr, nullptr, nullptr));
    const S m_mix = m_matrix_.empty()
                        ? mom.m_bar
                        : terms::mixed_segment_number<false>(n, idx_.data(), x, terms_parameters(), nullptr);
    return terms::residual_terms(
               mom, m_mix, w, rho, n, x, p_.m.data(), [&](std::int64_t k) { return 0.5 * d[k]; }, false)
        .a();
}

// The family behind the model's call shape (model/residual.h).
std::shared_ptr<const Residual> saft_residual(SaftParameters p);

}  // namespace keld::model
