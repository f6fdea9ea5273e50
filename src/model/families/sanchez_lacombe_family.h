// The Sanchez-Lacombe lattice fluid as a model family: the residual Helmholtz energy composed from
// the terms its monitors use (contributions/lattice_fluid.h), evaluated with any number type.
#pragma once

#include <memory>
#include <vector>

#include "keld/model.hpp"
#include "model/residual.h"
#include "contributions/lattice_fluid.h"

namespace keld::model {

// Per component: characteristic temperature T* (K), pressure P* (Pa) and density rho* (kg/m3) and
// the molecular weight MW (kg/kmol; a polymer's number-average one), which together fix its segment
// number r = MW P*/(R T* rho*). Binary, row-major N x N (empty: all 0): k_ij on the cross energy
// eps*_ij = (1 - k_ij) sqrt(eps*_i eps*_j) and eta_ij on the cross volume
// v*_ij = (1 - eta_ij)(v*_i + v*_j)/2; the (i, j) element with i < j counts, as in the monitor.
// eps_cross (J/kmol) and v_cross (m3/kmol), row-major N x N (empty: by the rules above): the cross
// energies and volumes themselves where the rules do not give them (a polymer built from segments
// meets the other components through its segments); their off-diagonal elements replace the rules'.
struct SanchezLacombeParameters {
    std::vector<double> t_star, p_star, rho_star, mw;
    std::vector<double> kij, eta;
    std::vector<double> eps_cross, v_cross;
};

class SanchezLacombeFamily {
  public:
    explicit SanchezLacombeFamily(SanchezLacombeParameters p);

    std::size_t size() const { return p_.t_star.size(); }
    const SanchezLacombeParameters &parameters() const { return p_; }
    // Segments per molecule, by component.
    const std::vector<double> &segment_numbers() const { return r_; }

    template <class S>
    S alphar(const S &t, const S &rho, const S *x) const;

    // The filled lattice, reduced density 1: rho = 1/(r_bar v*).
    double max_density(double t, const double *x) const;

  private:
    SanchezLacombeParameters p_;
    std::vector<double> r_;           // segments per molecule
    std::vector<double> eps_matrix_;  // eps*_ij, J/kmol, column-major N x N
    std::vector<double> v_matrix_;    // v*_ij, m3/kmol, column-major N x N
};

template <class S>
S SanchezLacombeFamily::alphar(const S &t, const S &rho, const S *x) const {
    namespace terms = sanchez_lacombe::terms;
    const std::int64_t n = static_cast<std::int64_t>(size());
    const terms::AveragesOf<S> avg = terms::averages_in_list_order<true>(
        n, n, nullptr, x, r_.data(), eps_matrix_.data(), v_matrix_.data());
    const terms::ReducedOf<S> red = terms::reduced_state(kGasConstant, avg, t, rho);
    // ln(1 - rho~)/rho~ on a dilute lattice by its series, whose derivatives keep their digits down to
    // zero density (the virial coefficients).
    const S log_free_per_site = ad::value(red.rho_red) < terms::kDiluteLattice
                                    ? terms::log_free_per_occupied_site_on_dilute_lattice(red.rho_red)
                                    : terms::log_free_per_occupied_site(red);
    return terms::helmholtz_energy(avg.r_bar, red, log_free_per_site);
}

// The family behind the model's call shape (model/residual.h).
std::shared_ptr<const Residual> sanchez_lacombe_residual(SanchezLacombeParameters p);

}  // namespace keld::model
