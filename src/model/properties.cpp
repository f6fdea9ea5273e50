// Properties of one phase from the model's exact derivatives (see keld/model.hpp).
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "keld/model.hpp"
#include "model/derivatives.h"
#include "model/residual.h"

namespace keld {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> mole_fractions(const Model &model, std::span<const double> n) {
    if (n.size() != model.size()) throw std::invalid_argument("one amount or mole fraction per component is needed");
    const double total = std::accumulate(n.begin(), n.end(), 0.0);
    if (!(total > 0.0) || !std::isfinite(total)) throw std::invalid_argument("the amounts must add up to a positive number");
    std::vector<double> x(n.size());
    for (std::size_t k = 0; k < n.size(); ++k) {
        if (!(n[k] >= 0.0)) throw std::invalid_argument("amounts must not be negative");
        x[k] = n[k] / total;
    }
    return x;
}

// The apparent basis: a component counted in r_k = MW_k / MW_apparent,k units.
void apparent_basis(const Model &model, Properties &p, double h_res) {
    const std::size_t size = model.size();
    double units = 0.0;  // apparent kmol per kmol of molecules
    std::vector<double> r(size);
    for (std::size_t k = 0; k < size; ++k) {
        r[k] = model.components()[k].mw / model.components()[k].mw_apparent;
        units += p.x[k] * r[k];
    }
    p.z_apparent.resize(size);
    p.ln_phi_apparent.resize(size);
    for (std::size_t k = 0; k < size; ++k) {
        p.z_apparent[k] = p.x[k] * r[k] / units;
        // ln(x/z) = ln(units/r) shifts the fugacity coefficient to the counted units; for a component
        // absent from the phase, its limit (as the monitors take it).
        p.ln_phi_apparent[k] = p.ln_phi[k] + std::log(units / r[k]);
    }
    p.v_apparent = p.v / units;
    p.h_res_apparent = h_res / units;
    p.s_departure_apparent = p.s_departure / units;
    p.g_departure_apparent = p.g_departure / units;
}

}  // namespace

namespace {

// The properties at (T, rho). With `given_p`, a density root found at that
// pressure: ln Z is taken from the given P, as the monitors take it (the
// model's pressure at the root differs from P within what the last bit of rho
// resolves, which for a liquid at 1 bar is 1e-11 of P), and P is reported.
Properties properties_of(const Model &model, double t, double rho, std::span<const double> n,
                         const PropertyRequest &request, double given_p) {
    if (!(std::isfinite(t) && t > 0.0 && std::isfinite(rho) && rho > 0.0))
        throw std::invalid_argument("T and the density must be positive numbers");
    const double r = kGasConstant, rt = r * t;
    const std::size_t size = model.size();
    Properties p;
    p.x = mole_fractions(model, n);
    p.t = t;
    p.rho = rho;
    p.v = 1.0 / rho;
    // One kmol of the phase in V = 1/rho for the composition derivatives.
    AmountDerivatives a;
    AlpharDerivatives d;
    if (request.composition_derivatives) {
        SecondDerivatives all = model.residual().second_derivatives(t, rho, p.x);
        d = all.t_rho;
        a = std::move(all.amounts);
    } else {
        d = model.residual().derivatives(t, rho, p.x.data(), false);
        a = model.residual().amount_derivatives(t, p.v, p.x, {true, false, true, true});
    }
    p.z = std::isnan(given_p) ? 1.0 + rho * d.a_rho : given_p / (rho * rt);
    p.p = rho * rt * p.z;
    p.dp_drho = rt * (1.0 + 2.0 * rho * d.a_rho + rho * rho * d.a_rhorho);
    p.dp_dt = rho * r * (1.0 + rho * d.a_rho + rho * t * d.a_trho);
    const double log_z = std::log(p.z);
    p.a_res = rt * d.a;
    p.u_res = -rt * t * d.a_t;
    p.h_res = p.u_res + rt * (p.z - 1.0);
    p.s_res = -r * (d.a + t * d.a_t) + r * log_z;
    p.g_res = rt * (d.a + p.z - 1.0 - log_z);
    const double log_p = std::log(p.p / kReferencePressure);
    p.s_departure = p.s_res - r * log_p;
    p.g_departure = p.g_res + rt * log_p;
    p.cv_res = -r * (2.0 * t * d.a_t + t * t * d.a_tt);
    const double cp_minus_cv = t * p.dp_dt * p.dp_dt / (rho * rho * p.dp_drho);
    p.cp_res = p.cv_res + cp_minus_cv - r;
    p.kappa_t = 1.0 / (rho * p.dp_drho);
    p.dv_dt = p.dp_dt / (rho * rho * p.dp_drho);

    const double dp_dv = -p.dp_drho * rho * rho;  // (dP/dV)_T,n with N = 1
    std::vector<double> dp_dn(size);
    p.ln_phi.resize(size);
    p.mu_res.resize(size);
    p.partial_volume.resize(size);
    p.dln_phi_dt.resize(size);
    p.dln_phi_dp.resize(size);
    for (std::size_t i = 0; i < size; ++i) {
        p.ln_phi[i] = a.gradient[i] - log_z;
        p.mu_res[i] = rt * a.gradient[i];
        dp_dn[i] = rt * (rho - a.d_v[i]);
        p.partial_volume[i] = -dp_dn[i] / dp_dv;
        p.dln_phi_dt[i] = a.d_t[i] + 1.0 / t - p.partial_volume[i] * p.dp_dt / rt;
        p.dln_phi_dp[i] = p.partial_volume[i] / rt - 1.0 / p.p;
    }
    if (request.composition_derivatives) {
        p.dln_phi_dn.resize(size * size);
        for (std::size_t i = 0; i < size; ++i)
            for (std::size_t j = 0; j < size; ++j)
                p.dln_phi_dn[i * size + j] = a.hessian[i * size + j] + 1.0 + dp_dn[i] * dp_dn[j] / (rt * dp_dv);
    }

    p.cv = p.cp = p.speed_of_sound = p.joule_thomson = kNaN;
    if (request.ideal_gas != nullptr) {
        double cp_ig = 0.0, mw = 0.0;
        for (std::size_t k = 0; k < size; ++k) {
            if (p.x[k] != 0.0) cp_ig += p.x[k] * r * request.ideal_gas->cp_over_r(k, t);  // an absent one's range does not matter
            mw += p.x[k] * model.components()[k].mw;
        }
        p.cv = cp_ig - r + p.cv_res;
        p.cp = p.cv + cp_minus_cv;
        p.speed_of_sound = std::sqrt(p.cp / p.cv * p.dp_drho / mw);
        p.joule_thomson = (t * p.dv_dt - p.v) / p.cp;
    }
    apparent_basis(model, p, p.h_res);
    return p;
}

}  // namespace

Properties properties(const Model &model, double t, double rho, std::span<const double> n,
                      const PropertyRequest &request) {
    return properties_of(model, t, rho, n, request, kNaN);
}

std::optional<Properties> properties_at_pressure(const Model &model, double t, double p, std::span<const double> n,
                                                 Phase phase, const PropertyRequest &request) {
    const std::optional<double> rho = density(model, t, p, n, phase);
    if (!rho) return std::nullopt;
    return properties_of(model, t, *rho, n, request, p);
}

}  // namespace keld
