// Tangent-plane distance of a mixture on its Helmholtz-energy model at (T, P)
// (internal): a phase of given composition is stable when no trial phase lies
// below the tangent plane of its Gibbs energy. Shared by the flash into up to
// three phases and by the solvers that check their results for a split.
#pragma once

#include <Eigen/Dense>
#include <optional>
#include <vector>

#include "keld/equilibria/status.h"
#include "keld/model.hpp"

namespace keld::model {
class AmountIsotherm;
}

namespace keld::equilibria::detail {

// One phase at (T, P, x) on the model, in its root (the lightest for a vapour, the densest for a
// liquid). ln phi is carried from the root's own pressure to P, so that ln f is exact at the state
// found.
struct PhaseState {
    double rho = not_a_number;         // kmol/m3
    std::vector<double> ln_phi;
    std::vector<double> dln_phi_dn;  // at constant T, P for 1 kmol (only when asked for)
    bool followed = false;           // the root was followed from a neighbouring density
};
//
// With a finite `near` (the density of the same phase at a neighbouring composition, inside an
// iteration) the root is followed from there by Newton's method, several times faster than the
// search from the end of the density range; where that leaves the branch the search is made. A
// result is checked again without it (the followed branch is the phase's root only while the
// composition moves a little). With `isotherm` (the model's at T) what depends on T alone is not
// formed again; the values are the same but for rounding.
std::optional<PhaseState> phase_at_pressure(const Model &m, double t, double p, const std::vector<double> &x, bool gas,
                                            bool hessian, double near = not_a_number,
                                            const model::AmountIsotherm *isotherm = nullptr);

// The conditions of a test: the feed's components, and those kept out of any vapour.
struct TrialSpace {
    const Model *m = nullptr;
    double t = not_a_number, p = not_a_number;  // K, Pa
    std::vector<double> z;
    std::vector<bool> non_volatile;
    const model::AmountIsotherm *isotherm = nullptr;  // the model's at T, where the caller made one
    bool present(bool gas, std::size_t i) const { return z[i] > 0.0 && !(gas && non_volatile[i]); }
    std::size_t size() const { return z.size(); }
};

// The reference phase of a test.
struct ReferencePhase {
    bool gas = false;
    const std::vector<double> *x = nullptr;
    const std::vector<double> *ln_phi = nullptr;
    double rho = not_a_number;  // kmol/m3, where known: a liquid trial's root is followed from there
};

// A phase that a trial must not be (one already in a split).
struct KnownPhase {
    const std::vector<double> *x = nullptr;
    double rho = not_a_number;
};

struct Trial {
    bool gas = false;
    double tm = not_a_number;  // tangent-plane distance / (R T) of the trial's stationary point
    std::vector<double> w;     // normalised
    double rho = not_a_number;
    bool stationary = false;  // the iteration settled there (tm's gradient vanishes)
};

// The Newton step -H^-1 g on an energy of Hessian H and gradient g, H shifted along its diagonal
// until positive definite where it is not (away from a minimum), so that the step lowers the energy.
// Not finite when no shift helps.
Eigen::VectorXd descent_step(Eigen::MatrixXd h, const Eigen::VectorXd &g);

// A tangent-plane distance below this proves instability.
inline constexpr double kUnstable = -1e-8;

bool same_phase(const std::vector<double> &a, double rho_a, const std::vector<double> &b, double rho_b);

// The most negative tangent-plane distance against `ref` over the trials (a vapour of the volatile
// components, liquids rich in each component), among trials that are none of `known`. None when
// every trial failed to evaluate. `evaluations` counts the model's phase evaluations. Where given,
// `other_kind` receives the most negative of the trials of the other kind (a liquid where the best
// is a vapour, and so on), if any.
std::optional<Trial> most_unstable(const TrialSpace &s, const ReferencePhase &ref, const std::vector<KnownPhase> &known,
                                   int &evaluations, std::optional<Trial> *other_kind = nullptr);

// The vapour trial alone: a vapour of the volatile components against `ref` (a liquid boils where
// its tm is negative). None where it failed to evaluate, no component is volatile, or the trial
// found only a dense root (no vapour).
std::optional<Trial> vapour_trial(const TrialSpace &s, const ReferencePhase &ref, int &evaluations);

}  // namespace keld::equilibria::detail
