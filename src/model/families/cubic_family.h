// The SRK cubic with excess-Gibbs mixing as a model family: the reduced
// residual Helmholtz energy
//     alpha_r = -ln(1 - b rho) - D/(b R T) ln(1 + b rho)
// with b(x, T) and D(x, T) from the monitor's own mixing rules and activity
// models (src/cubic: mixing_rules.h, excess_gibbs.h), its pure constants
// (pure_constants.h, alpha_function.h) and its Helmholtz energy
// (contributions/srk_cubic.h), evaluated with any number type. The model ends at the
// covolume: max_density = 1/b.
//
// A state the rule cannot describe (no real MHV2 root, no positive
// Wong-Sandler covolume, Van Laar limits of opposite sign at T, an alpha that
// is not positive) has alpha_r = NaN, as the monitor refuses it.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cubic/alpha_function.h"
#include "cubic/cubic_model.h"
#include "cubic/excess_gibbs.h"
#include "cubic/mixing_rules.h"
#include "contributions/srk_cubic.h"
#include "keld/model.hpp"
#include "model/residual.h"

namespace keld::model {

// Per component: name, Tc (K), Pc (Pa), omega of one unit and the units a
// molecule holds (mw/mw_apparent; 1 for an ordinary component); the rule,
// the activity model and their parameters as keld::CubicOptions.
struct CubicParameters {
    std::vector<std::string> names;
    std::vector<double> tc, pc, omega, units;
    CubicOptions options;
    // From a host's store: UNIQUAC r and q per molecule and the UNIFAC groups of the listed components
    // compacted, as the monitor forms them (a polymer's from its segments); empty: from `options`.
    std::vector<double> molecule_r, molecule_q;
    struct Groups {
        std::int64_t groups = 0, mains = 0;
        std::vector<double> main, big_r, big_q, nu, a;  // cubic::UnifacGroups' arrays
    };
    std::optional<Groups> groups;
};

class CubicFamily {
  public:
    explicit CubicFamily(CubicParameters p);

    std::size_t size() const { return static_cast<std::size_t>(n_); }

    template <class S>
    S alphar(const S &t, const S &rho, const S *x) const;

    double max_density(double t, const double *x) const;

  private:
    // One evaluation's arrays of numbers of type S.
    template <class S>
    struct Work;

    // b and D of the mixture at T and x (false: the rule describes no state there).
    template <class S>
    bool mixture(const S &t, const S *x, Work<S> &w, cubic::MixtureConstantsOf<S> &mix) const;

    void set_pair_parameters(const CubicParameters &p);
    void set_sizes(const CubicParameters &p);
    void set_groups(const CubicParameters &p);
    void take_groups(const CubicParameters &p);

    std::int64_t n_ = 0;
    cubic::Rule rule_ = cubic::Rule::van_der_waals;
    cubic::GibbsModel model_ = cubic::GibbsModel::ideal;
    std::vector<double> tc_, ac_, b_;               // K, J m3/kmol2, m3/kmol
    std::vector<cubic::AlphaConstants> soave_;      // Soave's constants, where used
    std::vector<std::vector<double>> mathias_copeman_;  // {c1, c2, c3} or {}
    std::vector<double> kij_;                       // symmetric part, by position (i + n j)
    std::vector<double> ge_a_, ge_b_;               // a_ij, b_ij by position (i + n j), 0 where not given
    std::vector<double> nrtl_alpha_;                // by position
    std::vector<double> r_, q_;                     // UNIQUAC or UNIFAC sizes per molecule
    // UNIFAC groups present (cubic::UnifacGroups' arrays).
    std::int64_t groups_ = 0, mains_ = 0;
    std::vector<double> group_main_, group_r_, group_q_, group_nu_, group_a_;
};

template <class S>
struct CubicFamily::Work {
    std::vector<S> numbers;
    std::vector<double> reals;
    S *a, *energy, *ln_gamma, *scratch, *b_i, *d_i;
    S *psi, *sums, *group_ln_gamma, *pure_ln_gamma, *theta;
    double *pure_theta, *unit;

    Work(std::int64_t n, std::int64_t g, std::int64_t m)
        : numbers(static_cast<std::size_t>(n + n * n + n + (2 * n * n + 4 * n) + 2 * n + m * m + 2 * g + n * g + g)),
          reals(static_cast<std::size_t>(g + n)) {
        S *next = numbers.data();
        auto take = [&](std::int64_t count) {
            S *first = next;
            next += count;
            return first;
        };
        a = take(n);
        energy = take(n * n);
        ln_gamma = take(n);
        scratch = take(2 * n * n + 4 * n);
        b_i = take(n);
        d_i = take(n);
        psi = take(m * m);
        sums = take(g);
        group_ln_gamma = take(g);
        pure_ln_gamma = take(n * g);
        theta = take(g);
        pure_theta = reals.data();
        unit = reals.data() + g;
    }
};

template <class S>
bool CubicFamily::mixture(const S &t, const S *x, Work<S> &w, cubic::MixtureConstantsOf<S> &mix) const {
    const std::int64_t n = n_;
    const double t_value = cubic::value(t);
    for (std::int64_t k = 0; k < n; ++k) {
        const std::vector<double> &mc = mathias_copeman_[k];
        const cubic::AlphaConstants c =
            mc.empty() ? soave_[k] : cubic::mathias_copeman_constants(mc[0], mc[1], mc[2], t_value > tc_[k]);
        const S alpha = cubic::alpha_of(t, tc_[k], c);
        if (!(cubic::value(alpha) > 0.0)) return false;
        w.a[k] = ac_[k] * alpha;
    }
    mix.b_i = w.b_i;
    mix.d_i = w.d_i;
    const cubic::RuleInputsOf<S, S> in{n, x, b_.data(), w.a, kGasConstant, t};
    if (rule_ == cubic::Rule::van_der_waals) return cubic::mixture_constants(rule_, in, S{}, nullptr, kij_.data(), mix);

    cubic::GibbsInputsOf<S, S> g{n, x, t, b_.data(), w.energy, nrtl_alpha_.data(), r_.data(), q_.data(), nullptr,
                                 w.scratch};
    if (cubic::uses_pair_energies(model_)) {
        for (std::int64_t j = 0; j < n; ++j)
            for (std::int64_t i = 0; i < n; ++i)
                if (i != j) w.energy[i + n * j] = cubic::pair_energy(ge_a_[i + n * j], ge_b_[i + n * j], t);
    }
    if (model_ == cubic::GibbsModel::van_laar) {
        for (std::int64_t l = 0; l < n; ++l)
            for (std::int64_t k = l + 1; k < n; ++k)
                if (!cubic::van_laar_limits_agree(w.energy[k + n * l], w.energy[l + n * k])) return false;
    }
    cubic::UnifacMixtureOf<S, S> groups;
    if (model_ == cubic::GibbsModel::unifac) {
        groups.groups = groups_;
        groups.mains = mains_;
        groups.main = group_main_.data();
        groups.big_r = group_r_.data();
        groups.big_q = group_q_.data();
        groups.nu = group_nu_.data();
        groups.a = group_a_.data();
        groups.psi = w.psi;
        groups.sums = w.sums;
        groups.ln_gamma = w.group_ln_gamma;
        groups.pure_ln_gamma = w.pure_ln_gamma;
        groups.theta = w.theta;
        groups.pure_theta = w.pure_theta;
        groups.unit = w.unit;
        g.groups = &groups;
    }
    cubic::ln_gamma_of(model_, g, w.ln_gamma);
    const S ge = cubic::excess_gibbs_energy(n, x, static_cast<const S *>(w.ln_gamma));
    return cubic::mixture_constants(rule_, in, ge, w.ln_gamma, kij_.data(), mix);
}

template <class S>
S CubicFamily::alphar(const S &t, const S &rho, const S *x) const {
    Work<S> w(n_, groups_, mains_);
    cubic::MixtureConstantsOf<S> mix;
    // The monitor refuses the same states: no mixture constants, no positive covolume.
    // Not a number in the value and in every derivative part, so that no property of the state is finite.
    if (!mixture(t, x, w, mix) || !(cubic::value(mix.b) > 0.0) || !std::isfinite(cubic::value(mix.d)))
        return rho * std::numeric_limits<double>::quiet_NaN();
    const S b_rho = mix.b * rho;
    return cubic::srk_helmholtz(cubic::srk_repulsion(b_rho), cubic::srk_attraction(b_rho, mix.b, kGasConstant),
                                mix.d / t);
}

// The family's parameters from the public component descriptions: a
// component's units per molecule are mw/mw_apparent (1 without mw_apparent).
CubicParameters cubic_parameters(const std::vector<CubicComponent> &components, const CubicOptions &options);

// The family behind the model's call shape (model/residual.h).
std::shared_ptr<const Residual> cubic_residual(CubicParameters p);

}  // namespace keld::model
