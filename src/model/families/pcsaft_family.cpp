// PC-SAFT as a model family (see pcsaft_family.h).
#include "model/families/pcsaft_family.h"

#include <cmath>
#include <stdexcept>

namespace keld::model {

PcSaftFamily::PcSaftFamily(PcSaftParameters p) : p_(std::move(p)) {
    const std::size_t n = p_.m.size();
    if (n == 0 || p_.sigma.size() != n || p_.eps.size() != n)
        throw std::invalid_argument("PC-SAFT needs m, sigma and eps/k for every component");
    if (!p_.kij.empty() && p_.kij.size() != n * n)
        throw std::invalid_argument("PC-SAFT k_ij needs N x N values");
    for (std::size_t k = 0; k < n; ++k) {
        if (!(p_.m[k] > 0.0 && p_.sigma[k] > 0.0 && p_.eps[k] >= 0.0) || !std::isfinite(p_.m[k] + p_.sigma[k] + p_.eps[k]))
            throw std::invalid_argument("PC-SAFT parameters must be finite, m and sigma positive, eps/k not negative");
    }
    m_ = p_.m;
    sigma_ = p_.sigma;
    eps_ = p_.eps;
    if (!p_.cross.empty() && p_.cross.size() != n * n)
        throw std::invalid_argument("PC-SAFT cross energies need N x N entries");
    for (const auto &terms : p_.cross)
        for (const CrossEnergyTerm &term : terms) cross_varies_ = cross_varies_ || term.k.varies();
    eps_matrix_.assign(n * n, 0.0);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < n; ++i) {
            if (i == j) {
                eps_matrix_[j * n + i] = eps_[i];
            } else if (!p_.cross.empty()) {
                eps_matrix_[j * n + i] = cross_energy(i, j, 300.0);  // used only when no table varies
            } else {
                // The symmetric part of k_ij, as the dispersion sums read both orders.
                const double kij = p_.kij.empty() ? 0.0 : 0.5 * (p_.kij[i * n + j] + p_.kij[j * n + i]);
                eps_matrix_[j * n + i] = (1.0 - kij) * std::sqrt(eps_[i] * eps_[j]);
            }
        }
    }
    idx_.resize(n);
    for (std::size_t k = 0; k < n; ++k) idx_[k] = static_cast<std::int64_t>(k + 1);
}

double PcSaftFamily::max_density(double t, const double *x) const {
    namespace terms = pcsaft::terms;
    double s3 = 0.0;
    for (std::size_t k = 0; k < size(); ++k) {
        const double d = terms::segment_diameter(sigma_[k], terms::segment_diameter_factor(eps_[k], t));
        s3 += x[k] * m_[k] * d * d * d;
    }
    return kClosePacking / (helmholtz::kPiOver6 * s3);
}

std::shared_ptr<const Residual> pcsaft_residual(PcSaftParameters p) {
    return make_residual(PcSaftFamily(std::move(p)));
}

}  // namespace keld::model
