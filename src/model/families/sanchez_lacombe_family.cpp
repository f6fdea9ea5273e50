// The Sanchez-Lacombe lattice fluid as a model family (see sanchez_lacombe_family.h).
#include "model/families/sanchez_lacombe_family.h"

#include <cmath>
#include <stdexcept>

#include "keld/model.hpp"

namespace keld::model {
namespace {

void check(const SanchezLacombeParameters &p) {
    const std::size_t n = p.t_star.size();
    if (n == 0 || p.p_star.size() != n || p.rho_star.size() != n || p.mw.size() != n)
        throw std::invalid_argument("Sanchez-Lacombe needs T*, P*, rho* and MW for every component");
    for (std::size_t k = 0; k < n; ++k) {
        const double v[] = {p.t_star[k], p.p_star[k], p.rho_star[k], p.mw[k]};
        for (double value : v)
            if (!(std::isfinite(value) && value > 0.0))
                throw std::invalid_argument("Sanchez-Lacombe T*, P*, rho* and MW must be positive numbers");
    }
    for (const std::vector<double> *b : {&p.kij, &p.eta}) {
        if (!b->empty() && b->size() != n * n)
            throw std::invalid_argument("Sanchez-Lacombe k_ij and eta_ij need N x N values");
        for (double value : *b)
            if (!std::isfinite(value))
                throw std::invalid_argument("Sanchez-Lacombe k_ij and eta_ij must be finite");
    }
    for (const std::vector<double> *b : {&p.eps_cross, &p.v_cross}) {
        if (!b->empty() && b->size() != n * n)
            throw std::invalid_argument("Sanchez-Lacombe cross energies and volumes need N x N values");
        for (std::size_t i = 0; i < n && !b->empty(); ++i)
            for (std::size_t j = 0; j < n; ++j)
                if (i != j && !(std::isfinite((*b)[i * n + j]) && (*b)[i * n + j] > 0.0))
                    throw std::invalid_argument("Sanchez-Lacombe cross energies and volumes must be positive");
    }
}

}  // namespace

SanchezLacombeFamily::SanchezLacombeFamily(SanchezLacombeParameters p) : p_(std::move(p)) {
    check(p_);
    namespace terms = sanchez_lacombe::terms;
    const std::size_t n = size();
    std::vector<double> eps(n), v(n);
    r_.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        r_[k] = terms::segment_number(p_.mw[k], p_.t_star[k], p_.p_star[k], p_.rho_star[k], kGasConstant);
        v[k] = terms::segment_volume(p_.t_star[k], p_.p_star[k], kGasConstant);
        eps[k] = terms::segment_energy(p_.t_star[k], kGasConstant);
    }
    eps_matrix_.assign(n * n, 0.0);
    v_matrix_.assign(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        eps_matrix_[i * n + i] = eps[i];
        v_matrix_[i * n + i] = v[i];
        for (std::size_t j = i + 1; j < n; ++j) {
            const double k_ij = p_.kij.empty() ? 0.0 : p_.kij[i * n + j];
            const double eta_ij = p_.eta.empty() ? 0.0 : p_.eta[i * n + j];
            eps_matrix_[j * n + i] = eps_matrix_[i * n + j] =
                p_.eps_cross.empty() ? terms::cross_energy(k_ij, eps[i], eps[j]) : p_.eps_cross[i * n + j];
            v_matrix_[j * n + i] = v_matrix_[i * n + j] =
                p_.v_cross.empty() ? terms::cross_volume(eta_ij, v[i], v[j]) : p_.v_cross[i * n + j];
        }
    }
}

double SanchezLacombeFamily::max_density(double, const double *x) const {
    namespace terms = sanchez_lacombe::terms;
    const std::int64_t n = static_cast<std::int64_t>(size());
    const terms::AveragesOf<double> avg = terms::averages_in_list_order<true>(
        n, n, nullptr, x, r_.data(), eps_matrix_.data(), v_matrix_.data());
    return 1.0 / (avg.r_bar * avg.v_star);
}

std::shared_ptr<const Residual> sanchez_lacombe_residual(SanchezLacombeParameters p) {
    return make_residual(SanchezLacombeFamily(std::move(p)));
}

}  // namespace keld::model
