// Flash into up to three phases on the model (see three_phase.h).
#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>

#include "keld/equilibria/three_phase.h"
#include "numerics.h"
#include "model/residual.h"
#include "model/scratch.h"
#include "tangent_plane.h"

namespace keld::equilibria {
namespace {

using detail::descent_step;
using detail::format_number;
using detail::kUnstable;
using detail::PhaseState;
using detail::same_phase;

constexpr double kConverged = 1e-11;     // largest |ln f_i - ln f_i'| of a result
constexpr double kHandOver = 1e-7;       // substitution hands over to Newton below this
constexpr double kDenseRoot = 0.3;      // of the densest state: a liquid, not a vapour
constexpr int kSubstitutionSteps = 400;
constexpr int kNewtonSteps = 40;
// Three phases: substitution is slow once the third phase appears (the amounts move by a fraction of
// a percent a pass), so Newton takes over after this many passes whatever the mismatch.
constexpr int kEagerPasses = 3;
// A phase whose fraction Newton drives below this has left: it is dropped and the rest re-split.
constexpr double kVanished = 1e-9;

struct Phase3 {
    bool gas = false;
    double beta = 0.0;
    std::vector<double> x;
    PhaseState state;
    double excess = 0.0;  // sum of x before normalising, less 1: below 0 at fraction 0, the phase is not needed
    int idle = 0;         // successive substitution passes at fraction 0
    std::vector<double> evaluated_x;  // the composition `state` belongs to
};

struct Setting : detail::TrialSpace {
    using TrialSpace::present;
    bool present(const Phase3 &ph, std::size_t i) const { return present(ph.gas, i); }
};

void normalise(std::vector<double> &x) {
    double s = 0.0;
    for (double v : x) s += v;
    if (s > 0.0)
        for (double &v : x) v /= s;
}

// ln f_i - ln P.
double ln_f(const Phase3 &ph, std::size_t i) { return std::log(ph.x[i]) + ph.state.ln_phi[i]; }

// Largest |ln f_i| difference between any phase and the first, over present components.
double fugacity_mismatch(const Setting &s, const std::vector<Phase3> &phases) {
    double r = 0.0;
    for (std::size_t k = 1; k < phases.size(); ++k)
        for (std::size_t i = 0; i < s.size(); ++i)
            if (s.present(phases[k], i) && s.present(phases[0], i))
                r = std::max(r, std::fabs(ln_f(phases[k], i) - ln_f(phases[0], i)));
    return r;
}

// G / (R T) of the phases less that of the feed's ideal gas at P: sum over phases of n_i ln f_i.
double gibbs(const Setting &s, const std::vector<Phase3> &phases) {
    double g = 0.0;
    for (const Phase3 &ph : phases)
        for (std::size_t i = 0; i < s.size(); ++i)
            if (s.present(ph, i) && ph.x[i] > 0.0) g += ph.beta * ph.x[i] * ln_f(ph, i);
    return g;
}

// The most unstable trial against `ref` that is none of `phases`.
std::optional<detail::Trial> most_unstable(const Setting &s, const Phase3 &ref, const std::vector<Phase3> &phases,
                                           int &evaluations, std::optional<detail::Trial> *other_kind = nullptr) {
    std::vector<detail::KnownPhase> known;
    for (const Phase3 &ph : phases) known.push_back({&ph.x, ph.state.rho});
    return detail::most_unstable(s, {ref.gas, &ref.x, &ref.state.ln_phi, ref.state.rho}, known, evaluations, other_kind);
}

// --- Rachford-Rice in Michelsen's convex form ---------------------------------

// At most three phases: the fractions' Newton system on the stack.
constexpr std::size_t kMaxPhases = 3;
using SmallMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, 3, 3>;
using SmallVector = Eigen::Matrix<double, Eigen::Dynamic, 1, 0, 3, 1>;

// Minimises Q(beta) = sum beta_k - sum z_i ln E_i, E_i = sum_k beta_k / phi_ik, over beta >= 0 by
// Newton's method with an active set; then x_ik = z_i / (E_i phi_ik). False if it fails.
bool rachford_rice(const Setting &s, std::vector<Phase3> &phases) {
    const std::size_t n = s.size(), m = phases.size();
    if (m > kMaxPhases) return false;
    // a_ik = 1/phi_ik scaled per component by its largest (the scale cancels in x and in dQ).
    model::Scratch<double, 3 * 16> a(n * m);
    for (std::size_t i = 0; i < n; ++i) {
        double top = -detail::kInf;
        for (std::size_t k = 0; k < m; ++k)
            if (s.present(phases[k], i)) top = std::max(top, -phases[k].state.ln_phi[i]);
        for (std::size_t k = 0; k < m; ++k)
            if (s.present(phases[k], i)) a[i * m + k] = std::exp(-phases[k].state.ln_phi[i] - top);
    }
    using Fractions = std::array<double, kMaxPhases>;
    Fractions beta{}, g{}, trial{};
    for (std::size_t k = 0; k < m; ++k) beta[k] = std::max(phases[k].beta, 1e-3);
    auto objective = [&](const Fractions &b, double *e) {
        double q = 0.0;
        for (std::size_t k = 0; k < m; ++k) q += b[k];
        for (std::size_t i = 0; i < n; ++i) {
            if (!(s.z[i] > 0.0)) continue;
            double ei = 0.0;
            for (std::size_t k = 0; k < m; ++k) ei += b[k] * a[i * m + k];
            e[i] = ei;
            q -= s.z[i] * std::log(ei);
        }
        return std::isfinite(q) ? q : detail::kInf;
    };
    // E_i at the current fractions and at a trial step (swapped as the step is taken).
    model::Scratch<double> e_now(n), e_trial(n);
    double *e = e_now.data(), *et = e_trial.data();
    double q = objective(beta, e);
    if (!std::isfinite(q)) return false;
    for (int it = 0; it < 100; ++it) {
        SmallMatrix h = SmallMatrix::Zero(static_cast<Eigen::Index>(m), static_cast<Eigen::Index>(m));
        for (std::size_t k = 0; k < m; ++k) g[k] = 1.0;
        for (std::size_t i = 0; i < n; ++i) {
            if (!(s.z[i] > 0.0)) continue;
            for (std::size_t k = 0; k < m; ++k) {
                g[k] -= s.z[i] * a[i * m + k] / e[i];
                for (std::size_t l = 0; l < m; ++l)
                    h(static_cast<Eigen::Index>(k), static_cast<Eigen::Index>(l)) +=
                        s.z[i] * a[i * m + k] * a[i * m + l] / (e[i] * e[i]);
            }
        }
        // The free fractions, in order: positive, or at 0 with the objective falling away from it.
        std::array<std::size_t, kMaxPhases> free{};
        std::size_t n_free = 0;
        double worst = 0.0;
        for (std::size_t k = 0; k < m; ++k) {
            if (beta[k] > 0.0 || g[k] < 0.0) {
                free[n_free++] = k;
                worst = std::max(worst, std::fabs(g[k]));
            }
        }
        if (worst < 1e-14) break;
        // Newton on the free fractions; one at 0 whose step points below 0 stays bound.
        SmallVector step;
        Eigen::Index nf = 0;
        for (;;) {
            nf = static_cast<Eigen::Index>(n_free);
            SmallMatrix hf(nf, nf);
            SmallVector gf(nf);
            for (Eigen::Index r = 0; r < nf; ++r) {
                gf(r) = g[free[static_cast<std::size_t>(r)]];
                for (Eigen::Index c = 0; c < nf; ++c)
                    hf(r, c) = h(static_cast<Eigen::Index>(free[static_cast<std::size_t>(r)]),
                                 static_cast<Eigen::Index>(free[static_cast<std::size_t>(c)]));
                hf(r, r) *= 1.0 + 1e-12;
            }
            step = hf.ldlt().solve(-gf);
            std::size_t bound = n_free;
            for (std::size_t r = 0; r < n_free; ++r)
                if (beta[free[r]] == 0.0 && step(static_cast<Eigen::Index>(r)) < 0.0) bound = r;
            if (bound == n_free) break;
            for (std::size_t r = bound; r + 1 < n_free; ++r) free[r] = free[r + 1];
            --n_free;
            if (n_free == 0) break;
        }
        if (n_free == 0) break;
        double alpha = 1.0;
        for (Eigen::Index r = 0; r < nf; ++r) {
            const std::size_t k = free[static_cast<std::size_t>(r)];
            if (step(r) < 0.0) alpha = std::min(alpha, -beta[k] / step(r));
        }
        bool moved = false;
        for (int ls = 0; ls < 40; ++ls, alpha *= 0.5) {
            trial = beta;
            for (Eigen::Index r = 0; r < nf; ++r) {
                const std::size_t k = free[static_cast<std::size_t>(r)];
                trial[k] = std::max(0.0, beta[k] + alpha * step(r));
                if (trial[k] < 1e-15 * (1.0 + beta[k])) trial[k] = 0.0;
            }
            const double qt = objective(trial, et);
            if (qt <= q + 1e-15 * std::fabs(q)) {
                beta = trial;
                std::swap(e, et);
                q = qt;
                moved = true;
                break;
            }
        }
        if (!moved) break;
    }
    for (std::size_t k = 0; k < m; ++k) {
        phases[k].beta = beta[k];
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) sum += phases[k].x[i] = s.z[i] > 0.0 ? s.z[i] * a[i * m + k] / e[i] : 0.0;
        phases[k].excess = sum - 1.0;
        phases[k].idle = beta[k] > 0.0 ? 0 : phases[k].idle + 1;
        normalise(phases[k].x);
    }
    return true;
}

// Whether the phase's state already is what an evaluation would give: at its composition, with the
// Hessian if asked for, in its own root if asked for.
bool up_to_date(const Phase3 &ph, bool hessian, bool follow) {
    return !ph.state.ln_phi.empty() && ph.evaluated_x == ph.x && (!hessian || !ph.state.dln_phi_dn.empty()) &&
           (follow || !ph.state.followed);
}

// Each phase in the root followed from its last density (`follow`), or in its own root.
bool evaluate_all(const Setting &s, std::vector<Phase3> &phases, bool hessian, int &evaluations, bool follow = true) {
    for (Phase3 &ph : phases) {
        if (up_to_date(ph, hessian, follow)) continue;
        auto st = detail::phase_at_pressure(*s.m, s.t, s.p, ph.x, ph.gas, hessian, follow ? ph.state.rho : not_a_number,
                                            s.isotherm);
        ++evaluations;
        if (!st) return false;
        ph.state = std::move(*st);
        ph.evaluated_x = ph.x;
    }
    return true;
}

// Drops phases of zero fraction and phases that have become another one.
void drop_unneeded(std::vector<Phase3> &phases) {
    std::vector<Phase3> kept;
    for (Phase3 &ph : phases) {
        if (!(ph.beta > 0.0)) continue;
        bool twin = false;
        for (Phase3 &k : kept) {
            if (k.gas == ph.gas && same_phase(k.x, k.state.rho, ph.x, ph.state.rho)) {
                k.beta += ph.beta;
                twin = true;
            }
        }
        if (!twin) kept.push_back(std::move(ph));
    }
    phases = std::move(kept);
}

// Successive substitution; true when it settles (the phases may have become fewer). Where the
// mismatch grows (a polymer-rich liquid that nearly all the solvent leaves swings the K values
// from pass to pass) the compositions move half way in ln x.
bool substitute(const Setting &s, std::vector<Phase3> &phases, double slow_hand_over, int eager_passes,
                int &evaluations, int &iterations) {
    double last = detail::kInf;
    std::vector<std::vector<double>> before;
    for (int it = 0; it < kSubstitutionSteps; ++it, ++iterations) {
        if (!evaluate_all(s, phases, false, evaluations)) return false;
        double mismatch = detail::kInf;
        if (phases.size() > 1) {
            // Newton takes over once close, or once substitution is seen to be slow (near a
            // critical point its rate tends to 1).
            mismatch = fugacity_mismatch(s, phases);
            if (mismatch < kHandOver || (it >= 25 && mismatch < slow_hand_over) || it >= eager_passes) return true;
        }
        before.clear();
        for (const Phase3 &ph : phases) before.push_back(ph.x);
        if (!rachford_rice(s, phases)) return false;
        if (it > 0 && mismatch > 2.0 * last) {
            for (std::size_t k = 0; k < phases.size(); ++k) {
                for (std::size_t i = 0; i < s.size(); ++i)
                    phases[k].x[i] = std::sqrt(phases[k].x[i] * before[k][i]);
                normalise(phases[k].x);
            }
        }
        last = mismatch;
        // A phase that has left (fraction 0 for many passes, its compositions summing clearly below
        // 1) is dropped by the caller.
        if (std::any_of(phases.begin(), phases.end(),
                        [](const Phase3 &p) { return p.idle > 30 && p.excess < -1e-4; }))
            return true;
    }
    return true;
}

enum class NewtonOutcome { converged, failed, phase_left };

// Newton's method on the Gibbs energy in the amounts of every phase but the dependent one (a liquid
// of the largest fraction), with the exact Hessian of ln phi. A phase whose fraction it drives to
// zero is left at fraction 0 (phase_left) for the caller to drop.
NewtonOutcome newton(const Setting &s, std::vector<Phase3> &phases, int &evaluations, int &iterations,
                     double &residual) {
    const std::size_t n = s.size(), m = phases.size();
    std::size_t dep = m;
    for (std::size_t k = 0; k < m; ++k)
        if (!phases[k].gas && (dep == m || phases[k].beta > phases[dep].beta)) dep = k;
    if (dep == m) dep = 0;
    // Unknowns: (phase, component) pairs of present amounts outside the dependent phase.
    std::vector<std::pair<std::size_t, std::size_t>> unknowns;
    for (std::size_t k = 0; k < m; ++k)
        if (k != dep)
            for (std::size_t i = 0; i < n; ++i)
                if (s.present(phases[k], i)) unknowns.emplace_back(k, i);
    const auto nu = static_cast<Eigen::Index>(unknowns.size());
    std::vector<std::vector<double>> amounts(m, std::vector<double>(n, 0.0));
    for (std::size_t k = 0; k < m; ++k)
        for (std::size_t i = 0; i < n; ++i) amounts[k][i] = phases[k].beta * phases[k].x[i];
    auto dependent_from_others = [&]() {
        for (std::size_t i = 0; i < n; ++i) {
            double rest = s.z[i];
            for (std::size_t k = 0; k < m; ++k)
                if (k != dep) rest -= amounts[k][i];
            amounts[dep][i] = s.z[i] > 0.0 ? rest : 0.0;
        }
    };
    auto set_phases = [&]() {
        for (std::size_t k = 0; k < m; ++k) {
            double b = 0.0;
            for (double v : amounts[k]) b += v;
            phases[k].beta = b;
            for (std::size_t i = 0; i < n; ++i) phases[k].x[i] = amounts[k][i] / b;
        }
    };
    dependent_from_others();
    for (std::size_t i = 0; i < n; ++i)
        if (s.z[i] > 0.0 && !(amounts[dep][i] > 0.0)) return NewtonOutcome::failed;
    set_phases();
    // The accepted probe of the line search, evaluated with the Hessian, is the next iterate.
    for (int it = 0; it < kNewtonSteps; ++it, ++iterations) {
        if (!evaluate_all(s, phases, true, evaluations)) return NewtonOutcome::failed;
        residual = fugacity_mismatch(s, phases);
        if (residual <= kConverged && std::any_of(phases.begin(), phases.end(), [](const Phase3 &ph) {
                return ph.state.followed;
            })) {
            // Converged on followed roots: the phases' own roots decide.
            if (!evaluate_all(s, phases, true, evaluations, false)) return NewtonOutcome::failed;
            residual = fugacity_mismatch(s, phases);
        }
        if (residual <= kConverged) return NewtonOutcome::converged;
        // d ln f_i / d n_j of phase k at constant T, P.
        auto hess = [&](std::size_t k, std::size_t i, std::size_t j) {
            const Phase3 &ph = phases[k];
            return (ph.state.dln_phi_dn[i * n + j] + (i == j ? 1.0 / ph.x[i] : 0.0) - 1.0) / ph.beta;
        };
        Eigen::MatrixXd jac(nu, nu);
        Eigen::VectorXd g(nu);
        for (Eigen::Index r = 0; r < nu; ++r) {
            const auto [k, i] = unknowns[static_cast<std::size_t>(r)];
            g(r) = ln_f(phases[k], i) - ln_f(phases[dep], i);
            for (Eigen::Index c = 0; c < nu; ++c) {
                const auto [l, j] = unknowns[static_cast<std::size_t>(c)];
                jac(r, c) = (k == l ? hess(k, i, j) : 0.0) + (s.present(phases[dep], j) ? hess(dep, i, j) : 0.0);
            }
        }
        const Eigen::VectorXd step = descent_step(std::move(jac), g);
        if (!step.allFinite()) return NewtonOutcome::failed;
        // Largest step (at most the full one) keeping 10 % of every amount.
        double alpha = 1.0;
        std::vector<double> dep_change(n, 0.0);
        for (Eigen::Index r = 0; r < nu; ++r) {
            const auto [k, i] = unknowns[static_cast<std::size_t>(r)];
            dep_change[i] -= step(r);
            if (step(r) < 0.0) alpha = std::min(alpha, -0.9 * amounts[k][i] / step(r));
        }
        for (std::size_t i = 0; i < n; ++i)
            if (dep_change[i] < 0.0) alpha = std::min(alpha, -0.9 * amounts[dep][i] / dep_change[i]);
        // Backtracking on the Gibbs energy, which Newton's step must lower away from the solution.
        const double g0 = gibbs(s, phases);
        const std::vector<std::vector<double>> start = amounts;
        for (int halving = 0;; ++halving, alpha *= 0.5) {
            amounts = start;
            for (Eigen::Index r = 0; r < nu; ++r) {
                const auto [k, i] = unknowns[static_cast<std::size_t>(r)];
                amounts[k][i] += alpha * step(r);
            }
            dependent_from_others();
            set_phases();
            if (halving == 8) break;
            if (!evaluate_all(s, phases, true, evaluations)) continue;
            if (gibbs(s, phases) <= g0 + 1e-13 * std::fabs(g0) || fugacity_mismatch(s, phases) < 1e-8) break;
        }
        for (Phase3 &ph : phases) {
            if (ph.beta < kVanished) {
                ph.beta = 0.0;
                return NewtonOutcome::phase_left;
            }
        }
    }
    if (!evaluate_all(s, phases, false, evaluations, false)) return NewtonOutcome::failed;
    residual = fugacity_mismatch(s, phases);
    return residual <= kConverged ? NewtonOutcome::converged : NewtonOutcome::failed;
}

// Splits the feed into `phases` (their x and kinds give the start): substitution, dropping of phases
// not needed, then Newton. With `eager` Newton takes over after a few passes; where that fails (or
// two phases merge) the split goes on from where Newton took over, as without. False when no
// converged split is found.
bool split(const Setting &s, std::vector<Phase3> &phases, FlashResult &out, bool eager) {
    // Each round hands over to Newton closer to the solution than the one before.
    double slow_hand_over = 1e-3;
    for (int round = 0; round < 4; ++round, slow_hand_over *= 1e-2) {
        const bool early = eager && round == 0;
        if (!substitute(s, phases, slow_hand_over, early ? kEagerPasses : kSubstitutionSteps, out.evaluations,
                        out.iterations))
            return false;
        const std::size_t before = phases.size();
        drop_unneeded(phases);
        if (phases.size() < 2) return false;
        if (phases.size() < before) continue;
        const std::vector<Phase3> handed_over = phases;
        double residual = not_a_number;
        const NewtonOutcome outcome = newton(s, phases, out.evaluations, out.iterations, residual);
        out.residual = residual;
        if (outcome == NewtonOutcome::phase_left) {
            drop_unneeded(phases);
            if (phases.size() < 2) return false;
            continue;
        }
        if (outcome == NewtonOutcome::converged) {
            const std::size_t converged = phases.size();
            drop_unneeded(phases);
            if (phases.size() == converged) return true;
            if (!early) return false;
        }
        if (early) {
            phases = handed_over;
            continue;
        }
        // Newton left the region where every phase is needed: substitute again.
        for (Phase3 &ph : phases) ph.beta = std::max(ph.beta, 1e-3);
    }
    return false;
}

// The two-phase split from the feed (phases[0]) and a trial phase that proved it unstable. False,
// with `phases` left as they are, when it does not converge.
bool split_from_trial(const Setting &s, const detail::Trial &trial, std::vector<Phase3> &phases, FlashResult &out) {
    std::vector<Phase3> two = phases;
    Phase3 second;
    second.gas = trial.gas;
    second.x = trial.w;
    second.beta = 0.5;
    second.state.rho = trial.rho;  // followed from the trial's root
    two[0].beta = 0.5;
    two.push_back(second);
    if (!split(s, two, out, false)) return false;
    phases = std::move(two);
    return true;
}

FlashPhase to_flash_phase(const Setting &s, const Phase3 &ph) {
    const std::size_t n = s.size();
    FlashPhase f;
    f.kind = ph.gas ? PhaseKind::vapour : PhaseKind::liquid;
    f.fraction = ph.beta;
    f.x = ph.x;
    f.w.assign(n, 0.0);
    double mass = 0.0, feed_mass = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double mw = s.m->components()[i].mw;
        f.w[i] = ph.x[i] * mw;
        mass += f.w[i];
        feed_mass += s.z[i] * mw;
    }
    for (double &w : f.w) w /= mass;
    f.mass_fraction = ph.beta * mass / feed_mass;
    f.ln_phi = ph.state.ln_phi;
    for (std::size_t i = 0; i < n; ++i)
        if (!s.present(ph, i) && ph.gas) f.ln_phi[i] = not_a_number;
    f.v = 1.0 / ph.state.rho;
    return f;
}

FlashResult refuse(FlashResult r, Status status, std::string message) {
    r.status = status;
    r.message = std::move(message);
    r.phases.clear();
    return r;
}

}  // namespace

FlashResult flash_on_model(const Model &model, double t, double p, std::span<const double> z,
                           const MultiphaseOptions &options) {
    FlashResult out;
    out.t = t;
    out.p = p;
    const std::size_t n = model.size();
    if (!(t > 0.0) || !std::isfinite(t) || !(p > 0.0) || !std::isfinite(p))
        return refuse(out, Status::invalid_input, "T and P must be positive and finite");
    if (z.size() != n) return refuse(out, Status::invalid_input, "the feed needs one mole fraction per component");
    if (options.max_phases < 2 || options.max_phases > 3)
        return refuse(out, Status::invalid_input, "the flash gives two or three phases");
    if (!options.non_volatile.empty() && options.non_volatile.size() != n)
        return refuse(out, Status::invalid_input, "non_volatile needs one flag per component");
    Setting s{{&model, t, p, std::vector<double>(z.begin(), z.end()), options.non_volatile}};
    double total = 0.0;
    for (double v : s.z) {
        if (!(v >= 0.0) || !std::isfinite(v))
            return refuse(out, Status::invalid_input, "mole fractions must be finite and not negative");
        total += v;
    }
    if (!(total > 0.0)) return refuse(out, Status::invalid_input, "the feed is empty");
    normalise(s.z);
    if (s.non_volatile.empty())
        for (const ModelComponent &c : model.components()) s.non_volatile.push_back(c.mw > 1.5 * c.mw_apparent);
    // Every phase evaluation is at T: what depends on T alone is formed once.
    const std::unique_ptr<model::AmountIsotherm> isotherm = model.residual().amount_isotherm(t);
    s.isotherm = isotherm.get();

    // The feed in its root of lower Gibbs energy.
    Phase3 feed;
    feed.beta = 1.0;
    feed.x = s.z;
    double g_best = detail::kInf;
    for (bool gas : {false, true}) {
        if (gas && std::any_of(s.non_volatile.begin(), s.non_volatile.end(), [&](bool b) { return b; })) {
            bool polymer_in_feed = false;
            for (std::size_t i = 0; i < n; ++i) polymer_in_feed = polymer_in_feed || (s.non_volatile[i] && s.z[i] > 0.0);
            if (polymer_in_feed) continue;
        }
        auto st = detail::phase_at_pressure(model, t, p, s.z, gas, false, not_a_number, s.isotherm);
        ++out.evaluations;
        if (!st) continue;
        double g = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            if (s.z[i] > 0.0) g += s.z[i] * st->ln_phi[i];
        // One root only: a liquid unless it is light.
        if (gas && st->rho > kDenseRoot * model.max_density(t, s.z)) continue;
        if (g < g_best - 1e-14) {
            g_best = g;
            feed.gas = gas;
            feed.state = std::move(*st);
            feed.evaluated_x = feed.x;
        }
    }
    if (!std::isfinite(g_best)) return refuse(out, Status::root_failure, "the feed has no density root at T and P");
    out.stability.feed_kind = feed.gas ? PhaseKind::vapour : PhaseKind::liquid;

    std::vector<Phase3> phases{feed};
    std::optional<detail::Trial> other_kind;
    const auto first = most_unstable(s, feed, phases, out.evaluations, &other_kind);
    out.stability.status = first ? Status::converged : Status::not_converged;
    if (first) {
        out.stability.tangent_plane_distance = first->tm;
        out.stability.stable = !(first->tm < kUnstable);
        out.stability.trial_kind = first->gas ? PhaseKind::vapour : PhaseKind::liquid;
        out.stability.trial = first->w;
    }
    if (!first || !(first->tm < kUnstable)) {
        if (!first && n > 1) return refuse(out, Status::not_converged, "no trial phase could be evaluated");
        out.status = Status::single_phase;
        out.message = "the feed is stable as one phase";
        out.residual = 0.0;
        out.phases.push_back(to_flash_phase(s, feed));
        return out;
    }
    // The split from the most unstable trial; where a trial of the other kind (a liquid against a
    // vapour) proves instability too, the split from it as well, and the one of lower Gibbs energy
    // (near a three-phase line both splits converge, one of them only metastable).
    bool converged = split_from_trial(s, *first, phases, out);
    if (other_kind && other_kind->tm < kUnstable) {
        std::vector<Phase3> alternative{feed};
        FlashResult tried = out;
        if (split_from_trial(s, *other_kind, alternative, tried) &&
            (!converged || gibbs(s, alternative) < gibbs(s, phases))) {
            phases = std::move(alternative);
            out.residual = tried.residual;
            converged = true;
        }
        out.evaluations = tried.evaluations;
        out.iterations = tried.iterations;
    }
    if (!converged)
        return refuse(out, Status::not_converged,
                      "the two-phase split did not converge (largest ln f mismatch " + format_number(out.residual) + ")");

    if (options.max_phases == 3) {
        // A third phase where the two are not stable together.
        const Phase3 *ref = &phases[0];
        for (const Phase3 &ph : phases)
            if (!ph.gas) ref = &ph;
        const auto third = most_unstable(s, *ref, phases, out.evaluations);
        if (third && third->tm < kUnstable) {
            std::vector<Phase3> three = phases;
            Phase3 extra;
            extra.gas = third->gas;
            extra.x = third->w;
            extra.state.rho = third->rho;
            extra.beta = 0.1;
            bool kind_taken = false;
            for (const Phase3 &ph : three) kind_taken = kind_taken || (ph.gas && extra.gas);
            // A second vapour: the two phases found are not the stable split, and no third phase
            // of a kind not yet present mends that. Refused rather than returned.
            if (kind_taken)
                return refuse(out, Status::not_converged,
                              "the two phases are unstable to another vapour (tangent-plane distance " +
                                  format_number(third->tm) + ")");
            three.push_back(extra);
            FlashResult attempt = out;
            if (!split(s, three, attempt, true))
                return refuse(out, Status::not_converged,
                              "the two phases are unstable (tangent-plane distance " + format_number(third->tm) +
                                  ") but the three-phase split did not converge");
            out = std::move(attempt);
            phases = std::move(three);
        }
    }

    // Liquids first, the one richer in the first listed component first, then the vapour.
    std::sort(phases.begin(), phases.end(), [](const Phase3 &a, const Phase3 &b) {
        if (a.gas != b.gas) return !a.gas;
        return a.x[0] > b.x[0];
    });
    out.residual = fugacity_mismatch(s, phases);
    out.status = Status::converged;
    out.message = std::to_string(phases.size()) + " phases";
    for (const Phase3 &ph : phases) out.phases.push_back(to_flash_phase(s, ph));
    return out;
}

}  // namespace keld::equilibria
