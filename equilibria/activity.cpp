// Solvent activity and sorption (see activity.h).
#include "keld/equilibria/activity.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <string>

#include "composition.h"
#include "low_pressure_liquid.h"
#include "numerics.h"
#include "parameters.h"

namespace keld::equilibria {
namespace {

using detail::format_number;

constexpr double kTolerance = 1e-11;  // max |ln f_i^L - ln f_i^V| of the sorption solution
constexpr int kMaxIterations = 60;
constexpr double kDissolved = 1e-12;  // total polymer weight fraction below which the polymer has dissolved

ActivityResult failed(Status status, std::string message) {
    ActivityResult r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

}  // namespace

SolventActivity::SolventActivity(System &system, double t) : system_(system), t_(t) {
    for (std::size_t k = 0; k < system.size(); ++k) {
        saturation_.push_back(system.component(k).is_volatile ? saturation_pressure(system, k, t)
                                                              : SaturationResult{});
        const SaturationResult &s = saturation_.back();
        ln_f_sat_.push_back(s.status == Status::converged ? std::log(s.p) + s.ln_phi : not_a_number);
    }
}

// Partial pressures, fugacities, activities and weight-fraction activity
// coefficients from the liquid (w, x) and vapour (y, P) of r.
void SolventActivity::complete(ActivityResult &r, std::span<const double> ln_phi_vapour) {
    const std::size_t n = system_.size();
    r.t = t_;
    r.partial_pressure.assign(n, 0.0);
    r.fugacity.assign(n, not_a_number);
    r.activity.assign(n, not_a_number);
    r.weight_activity_coefficient.assign(n, not_a_number);
    r.p_sat.assign(n, not_a_number);
    for (std::size_t k = 0; k < n; ++k) {
        if (saturation_[k].status == Status::converged) r.p_sat[k] = saturation_[k].p;
        if (!system_.component(k).is_volatile) continue;
        r.partial_pressure[k] = r.y[k] * r.p;
        r.fugacity[k] = r.y[k] > 0.0 ? r.y[k] * r.p * std::exp(ln_phi_vapour[k]) : 0.0;
        r.activity[k] = r.fugacity[k] / std::exp(ln_f_sat_[k]);
        r.weight_activity_coefficient[k] = r.w[k] > 0.0 ? r.activity[k] / r.w[k] : not_a_number;
    }
}

ActivityResult SolventActivity::at(std::span<const double> w_in) {
    const std::size_t n = system_.size();
    std::vector<double> w(w_in.begin(), w_in.end());
    if (w.size() != n)
        return failed(Status::invalid_input, "the composition needs one weight fraction per component");
    if (const std::string fault = detail::normalise(w); !fault.empty())
        return failed(Status::invalid_input, fault);
    std::vector<double> x(n);
    system_.mole_from_mass(w.data(), x.data());
    const BubbleDewResult b = bubble_pressure(system_, t_, x, last_);
    ActivityResult r;
    static_cast<Outcome &>(r) = b;
    r.t = t_;
    r.w = w;
    r.x = x;
    if (b.status != Status::converged) {
        last_ = {};
        return r;
    }
    r.p = b.p;
    r.y = b.y;
    complete(r, b.ln_phi_vapour);
    last_.p = b.p;
    last_.incipient = b.y;
    return r;
}

ActivityResult SolventActivity::sorption(std::span<const double> partial_pressures,
                                         std::span<const double> polymer_weights) {
    const std::size_t n = system_.size();
    const detail::CallCounter counter(system_.session());
    if (partial_pressures.size() != n)
        return failed(Status::invalid_input, "one partial pressure per component is needed");
    if (system_.all_volatile())
        return failed(Status::invalid_input,
                      "sorption needs a non-volatile component (a polymer) to absorb the solvents");
    if (std::string missing = detail::missing_parameter_message({&system_.mixture(), system_.volatiles()});
        !missing.empty())
        return failed(Status::missing_parameter, std::move(missing));
    std::vector<std::size_t> active, fixed;  // solvents with a partial pressure; non-volatile components
    double p = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        if (!system_.component(k).is_volatile) {
            fixed.push_back(k);
            continue;
        }
        const double pk = partial_pressures[k];
        if (!std::isfinite(pk) || pk < 0.0)
            return failed(Status::invalid_input, "partial pressures must be finite and not negative");
        if (pk > 0.0) active.push_back(k);
        p += pk;
    }
    if (active.empty())
        return failed(Status::invalid_input, "at least one solvent needs a positive partial pressure");
    std::vector<double> share(n, 0.0);  // weight proportions of the non-volatile components
    double share_sum = 0.0;
    for (std::size_t k : fixed) {
        share[k] = polymer_weights.empty() ? 1.0 : (polymer_weights.size() == n ? polymer_weights[k] : -1.0);
        if (!std::isfinite(share[k]) || share[k] < 0.0)
            return failed(Status::invalid_input,
                          "polymer weights: one finite, non-negative value per component");
        share_sum += share[k];
    }
    if (!(share_sum > 0.0)) return failed(Status::invalid_input, "the polymer weights add up to zero");
    for (std::size_t k : fixed) share[k] /= share_sum;

    // The vapour: the solvents at their partial pressures.
    PhaseEvaluator &vapour = *system_.volatiles();
    const std::vector<std::size_t> &vol = system_.volatile_indices();
    std::vector<double> y_vol(vol.size()), ln_phi_v(vol.size()), ln_phi_vapour(n, not_a_number);
    for (std::size_t i = 0; i < vol.size(); ++i) y_vol[i] = partial_pressures[vol[i]] / p;
    const PhasePoint v = vapour.evaluate(t_, p, y_vol.data(), PhaseKind::vapour, ln_phi_v.data());
    if (!v.root_found)
        return failed(Status::root_failure,
                      "no vapour root for the solvents at P = " + format_number(p) + " Pa");
    std::vector<double> target(active.size());
    for (std::size_t a = 0; a < active.size(); ++a) {
        const std::size_t i = std::find(vol.begin(), vol.end(), active[a]) - vol.begin();
        ln_phi_vapour[active[a]] = ln_phi_v[i];
        target[a] = std::log(y_vol[i] * p) + ln_phi_v[i];
        if (target[a] >= ln_f_sat_[active[a]] - 1e-12)
            return failed(Status::no_solution,
                          "the partial pressure of " + system_.component(active[a]).id +
                              " reaches its vapour pressure (activity >= 1): the polymer dissolves");
    }

    // Unknowns u_a = ln(w_a / w_polymers); F_a = ln f_a^L(w(u), P) - ln f_a^V.
    PhaseEvaluator &liquid = system_.mixture();
    const std::size_t m = active.size();
    std::vector<double> w(n), x(n), ln_phi_l(n);
    auto liquid_at = [&](const Eigen::VectorXd &u, Eigen::VectorXd &f) {
        double polymer = 1.0;
        for (std::size_t a = 0; a < m; ++a) polymer += std::exp(u[a]);
        polymer = 1.0 / polymer;
        std::fill(w.begin(), w.end(), 0.0);
        for (std::size_t k : fixed) w[k] = share[k] * polymer;
        for (std::size_t a = 0; a < m; ++a) w[active[a]] = std::exp(u[a]) * polymer;
        system_.mole_from_mass(w.data(), x.data());
        // At low pressure the host's liquid root may fail: carry the liquid there.
        detail::LowPressureLiquid low(liquid, t_, x.data(), Wanted{});
        const PhasePoint l = low.at(p, ln_phi_l.data());
        for (std::size_t a = 0; a < m; ++a)
            f[a] = std::log(x[active[a]] * p) + ln_phi_l[active[a]] - target[a];
        return l.root_found && polymer > kDissolved;
    };

    // Start: each solvent's weight fraction from its activity (Henry-like for a good solvent).
    Eigen::VectorXd u(m), f(m), trial(m), f_trial(m), column(m);
    for (std::size_t a = 0; a < m; ++a)
        u[a] = std::log(std::max(0.5 * std::exp(target[a] - ln_f_sat_[active[a]]), 1e-6));
    ActivityResult r;
    bool ok = liquid_at(u, f);
    double norm = f.lpNorm<Eigen::Infinity>();
    Eigen::MatrixXd jacobian(m, m);
    for (int it = 1; it <= kMaxIterations && ok; ++it) {
        r.iterations = it;
        if (norm <= kTolerance) break;
        for (std::size_t j = 0; j < m; ++j) {
            trial = u;
            const double h = 1e-6 * std::max(1.0, std::fabs(u[j]));
            trial[j] += h;
            if (!liquid_at(trial, column)) {
                ok = false;
                break;
            }
            jacobian.col(j) = (column - f) / h;
        }
        if (!ok) break;
        Eigen::VectorXd step = jacobian.partialPivLu().solve(-f);
        // Keep steps moderate in ln w and shorten them until |F| falls.
        const double largest = step.lpNorm<Eigen::Infinity>();
        if (largest > 2.0) step *= 2.0 / largest;
        bool improved = false;
        for (int cut = 0; cut < 12; ++cut, step *= 0.5) {
            trial = u + step;
            if (liquid_at(trial, f_trial) && f_trial.lpNorm<Eigen::Infinity>() < norm) {
                improved = true;
                break;
            }
        }
        if (!improved) break;
        u = trial;
        f = f_trial;
        norm = f.lpNorm<Eigen::Infinity>();
    }
    ok = liquid_at(u, f);  // leaves w, x, ln_phi_l at the answer
    norm = f.lpNorm<Eigen::Infinity>();
    r.evaluations = counter.calls();
    r.monitor_messages = system_.session().take_messages();
    r.t = t_;
    r.residual = norm;
    if (!ok || norm > kTolerance) {
        double polymer = 0.0;
        for (std::size_t k : fixed) polymer += w[k];
        r.status = polymer <= kDissolved ? Status::no_solution : Status::not_converged;
        r.message = polymer <= kDissolved
                        ? "the solvents condense at these partial pressures: no swollen polymer phase"
                        : "sorption not converged after " + std::to_string(r.iterations) +
                              " iterations; max |ln f_L - ln f_V| = " + format_number(norm);
        return r;
    }
    r.status = Status::converged;
    r.p = p;
    r.w = w;
    r.x = x;
    r.y.assign(n, 0.0);
    for (std::size_t i = 0; i < vol.size(); ++i) r.y[vol[i]] = y_vol[i];
    complete(r, ln_phi_vapour);
    return r;
}

ActivityResult solvent_activity(System &system, double t, std::span<const double> w) {
    SolventActivity isotherm(system, t);
    return isotherm.at(w);
}

}  // namespace keld::equilibria
