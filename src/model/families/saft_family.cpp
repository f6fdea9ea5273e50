// The SAFT of Huang and Radosz as a model family (see saft_family.h).
#include "model/families/saft_family.h"

#include <cmath>
#include <stdexcept>

#include "common/close_packing.h"

namespace keld::model {
namespace {

bool finite(double v) {
    return std::isfinite(v);
}

// The binary of pair (i, j), i < j, from a row-major N x N matrix as the monitors read theirs.
double binary(const std::vector<double> &matrix, std::size_t n, std::size_t i, std::size_t j) {
    if (matrix.empty()) return 0.0;
    return saft::terms::choose_binary(matrix[i * n + j], matrix[j * n + i]).value;
}

void check(const SaftParameters &p) {
    const std::size_t n = p.m.size();
    if (n == 0 || p.v00.size() != n || p.u0.size() != n || p.e.size() != n)
        throw std::invalid_argument("SAFT needs m, v00, u0/k and e/k for every component");
    for (std::size_t k = 0; k < n; ++k) {
        if (!(p.m[k] > 0.0 && p.v00[k] > 0.0 && p.u0[k] >= 0.0 && p.e[k] >= 0.0) ||
            !finite(p.m[k] + p.v00[k] + p.u0[k] + p.e[k]))
            throw std::invalid_argument(
                "SAFT parameters must be finite, m and v00 positive, u0/k and e/k not negative");
    }
    for (const std::vector<double> *b : {&p.kij, &p.lij}) {
        if (!b->empty() && b->size() != n * n)
            throw std::invalid_argument("SAFT k_ij and l_ij need N x N values");
        for (double v : *b)
            if (!finite(v)) throw std::invalid_argument("SAFT k_ij and l_ij must be finite");
    }
    if (!p.u0_cross.empty() && p.u0_cross.size() != n * n)
        throw std::invalid_argument("SAFT cross energies need N x N values");
    for (std::size_t i = 0; i < n && !p.u0_cross.empty(); ++i)
        for (std::size_t j = 0; j < n; ++j)
            if (i != j && !(finite(p.u0_cross[i * n + j]) && p.u0_cross[i * n + j] >= 0.0))
                throw std::invalid_argument("SAFT cross energies must be finite and not negative");
}

}  // namespace

SaftFamily::SaftFamily(SaftParameters p) : p_(std::move(p)) {
    check(p_);
    namespace terms = saft::terms;
    const std::size_t n = size();
    u0_matrix_.assign(n * n, 0.0);
    if (!p_.lij.empty()) m_matrix_.assign(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i; j < n; ++j) {
            const double k_ij = i == j ? 0.0 : binary(p_.kij, n, i, j);
            u0_matrix_[j * n + i] = u0_matrix_[i * n + j] = i == j || p_.u0_cross.empty()
                                                                ? terms::cross_energy(k_ij, p_.u0[i], p_.u0[j])
                                                                : p_.u0_cross[i * n + j];
            if (m_matrix_.empty()) continue;
            const double l_ij = i == j ? 0.0 : binary(p_.lij, n, i, j);
            m_matrix_[j * n + i] = m_matrix_[i * n + j] = terms::cross_segment_number(l_ij, p_.m[i], p_.m[j]);
        }
    }
    idx_.resize(n);
    for (std::size_t k = 0; k < n; ++k) idx_[k] = static_cast<std::int64_t>(k + 1);
}

saft::Parameters SaftFamily::terms_parameters() const {
    return {p_.m.data(),      p_.v00.data(), p_.u0.data(), p_.e.data(), u0_matrix_.data(), static_cast<std::int64_t>(size()),
            m_matrix_.empty() ? nullptr : m_matrix_.data()};
}

double SaftFamily::max_density(double t, const double *x) const {
    namespace terms = saft::terms;
    helmholtz::Moments<double> mom;
    for (std::size_t k = 0; k < size(); ++k) {
        const double d = terms::segment_size(p_.v00[k], terms::segment_size_factor(p_.u0[k], t)).d;
        terms::add_to_moments(mom, x[k], p_.m[k], terms::segment_powers(p_.m[k], d));
    }
    // Close packing: the monitors' densest admissible volume (π/6) S3 / 0.74048.
    return 1.0 / densest_admissible_volume(saft::terms::kPiOver6 * mom.s3);
}

std::shared_ptr<const Residual> saft_residual(SaftParameters p) {
    return make_residual(SaftFamily(std::move(p)));
}

}  // namespace keld::model
