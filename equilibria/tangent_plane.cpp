// Tangent-plane distance on the model (see tangent_plane.h).
#include "tangent_plane.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "model/residual.h"
#include "model/scratch.h"

namespace keld::equilibria::detail {
namespace {

constexpr double kSameComposition = 1e-6;
constexpr double kDenseRoot = 0.3;  // of the densest state: a liquid, not a vapour
constexpr int kSubstitutionPasses = 3;
constexpr int kTrialSteps = 60;
constexpr double kProvedUnstable = -1e-3;
constexpr double kSettled = 1e-10;  // largest |ln W_i + ln phi_i - d_i| at a stationary point
constexpr int kFollowSteps = 12;
constexpr double kResolvedStep = 1e-10;  // relative Newton step on P(rho) that ends a followed root
// A trial that fell onto the reference within this (relative) of its density is in the reference's
// own root: 1e-3 in composition moves a root by about as much, while two roots of one composition lie
// far further apart but near a spinodal or critical point (where their tm differ by next to nothing).
constexpr double kSameRoot = 1e-3;

void normalise(std::vector<double> &x) {
    double s = 0.0;
    for (double v : x) s += v;
    if (s > 0.0)
        for (double &v : x) v /= s;
}

struct TrialState {
    double tm = not_a_number;
    double gradient = not_a_number;  // largest |ln W_i + ln phi_i - d_i|
    Trial trial;
    PhaseState state;
};

// tm(W) = 1 + sum W_i (ln W_i + ln phi_i(w) - d_i - 1) at the amounts W.
std::optional<TrialState> trial_state(const TrialSpace &s, const std::vector<double> &d, const std::vector<double> &big_w,
                                      bool gas, bool hessian, double near, int &evaluations) {
    TrialState ts;
    ts.trial.gas = gas;
    ts.trial.w = big_w;
    normalise(ts.trial.w);
    auto st = phase_at_pressure(*s.m, s.t, s.p, ts.trial.w, gas, hessian, near, s.isotherm);
    ++evaluations;
    if (!st) return std::nullopt;
    double tm = 1.0, gradient = 0.0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!s.present(gas, i) || !(big_w[i] > 0.0)) continue;
        const double g = std::log(big_w[i]) + st->ln_phi[i] - d[i];
        tm += big_w[i] * (g - 1.0);
        gradient = std::max(gradient, std::fabs(g));
    }
    if (!std::isfinite(tm)) return std::nullopt;
    ts.tm = ts.trial.tm = tm;
    ts.gradient = gradient;
    ts.trial.rho = st->rho;
    ts.state = std::move(*st);
    return ts;
}

// Falling onto the reference phase (the trivial solution, tm = 0), slowly near a critical point: no
// other stationary point lies this way.
bool trivial(const TrialState &ts, const std::vector<double> &ref) {
    double distance = 0.0;
    for (std::size_t i = 0; i < ref.size(); ++i) distance = std::max(distance, std::fabs(ts.trial.w[i] - ref[i]));
    return distance < 1e-3 && std::fabs(ts.tm) < 1e-7;
}

// Approaching a stationary point an earlier trial settled on (the same root kind, within 1e-3 in
// composition and 1e-6 above its tm, which the iteration only lowers towards it): this trial ends
// there too, and adds nothing.
bool on_found(const TrialState &ts, const std::vector<Trial> &found) {
    for (const Trial &f : found) {
        double distance = 0.0;
        for (std::size_t i = 0; i < f.w.size(); ++i) distance = std::max(distance, std::fabs(ts.trial.w[i] - f.w[i]));
        if (distance < 1e-3 && ts.tm - f.tm < 1e-6 && std::fabs(ts.trial.rho - f.rho) < 1e-2 * f.rho) return true;
    }
    return false;
}

// A few passes of substitution ln W_i = d_i - ln phi_i(w) from `big_w` (robust far from a stationary
// point), then Newton's method in alpha_i = 2 sqrt(W_i) with the exact Hessian of ln phi (the
// substitution's rate tends to 1 near a critical point or a shallow minimum). Each Newton step is
// halved until tm falls. Stops once tm proves instability or the iteration settles, falls onto the
// reference or onto a stationary point in `found`.
std::optional<TrialState> iterate_trial(const TrialSpace &s, const std::vector<double> &d,
                                        const std::vector<double> &ref, const std::vector<Trial> &found,
                                        std::vector<double> &big_w, bool gas, double near, int &evaluations) {
    const std::size_t n = s.size();
    std::optional<TrialState> ts;
    for (int it = 0; it < kTrialSteps; ++it) {
        const bool newton = it >= kSubstitutionPasses;
        if (!ts || (newton && ts->state.dln_phi_dn.empty()))
            ts = trial_state(s, d, big_w, gas, newton, near, evaluations);
        if (!ts) return std::nullopt;
        near = ts->trial.rho;
        if (ts->tm < kProvedUnstable || ts->gradient < kSettled || trivial(*ts, ref) || on_found(*ts, found))
            return ts;
        if (!newton) {
            for (std::size_t i = 0; i < n; ++i)
                big_w[i] = s.present(gas, i) && big_w[i] > 0.0 ? std::exp(d[i] - ts->state.ln_phi[i]) : 0.0;
            ts.reset();
            continue;
        }
        std::vector<std::size_t> free;
        for (std::size_t i = 0; i < n; ++i)
            if (s.present(gas, i) && big_w[i] > 0.0) free.push_back(i);
        const auto nf = static_cast<Eigen::Index>(free.size());
        double total = 0.0;
        for (double v : big_w) total += v;
        Eigen::MatrixXd h(nf, nf);
        Eigen::VectorXd g(nf);
        for (Eigen::Index r = 0; r < nf; ++r) {
            const std::size_t i = free[static_cast<std::size_t>(r)];
            const double root_i = std::sqrt(big_w[i]);
            g(r) = root_i * (std::log(big_w[i]) + ts->state.ln_phi[i] - d[i]);
            for (Eigen::Index c = 0; c < nf; ++c) {
                const std::size_t j = free[static_cast<std::size_t>(c)];
                h(r, c) = root_i * std::sqrt(big_w[j]) * ts->state.dln_phi_dn[i * n + j] / total + (r == c ? 1.0 : 0.0);
            }
        }
        const Eigen::VectorXd step = descent_step(std::move(h), g);
        if (!step.allFinite()) return ts;
        // The accepted probe, with its Hessian, is the next iterate.
        std::optional<TrialState> accepted;
        std::vector<double> next = big_w;
        for (double scale = 1.0; scale > 1e-3; scale *= 0.5) {
            for (Eigen::Index r = 0; r < nf; ++r) {
                const std::size_t i = free[static_cast<std::size_t>(r)];
                const double alpha = 2.0 * std::sqrt(big_w[i]) + scale * step(r);
                next[i] = std::max(0.25 * alpha * alpha, 1e-300);
            }
            auto probe = trial_state(s, d, next, gas, true, near, evaluations);
            if (probe && probe->tm <= ts->tm + 1e-14 * std::max(1.0, std::fabs(ts->tm))) {
                accepted = std::move(probe);
                break;
            }
        }
        if (!accepted) return ts;
        big_w = std::move(next);
        ts = std::move(accepted);
    }
    return ts;
}

// The trial's end state, in the phase's own root where the iteration followed a branch (but for
// the reference's own root, or a stationary point found before: a trial that fell onto the
// reference there is in that root, and one on a point found before adds nothing). A liquid trial's
// first root is followed from a liquid reference's density.
std::optional<Trial> run_trial(const TrialSpace &s, const std::vector<double> &d, const ReferencePhase &ref,
                               const std::vector<Trial> &found, std::vector<double> big_w, bool gas,
                               int &evaluations) {
    const double near = gas || ref.gas ? not_a_number : ref.rho;
    auto ts = iterate_trial(s, d, *ref.x, found, big_w, gas, near, evaluations);
    if (!ts) return std::nullopt;
    const bool settled = ts->gradient < kSettled;
    const bool on_reference = trivial(*ts, *ref.x) && std::fabs(ts->trial.rho - ref.rho) <= kSameRoot * ref.rho;
    if (ts->state.followed && !on_reference && (settled || !on_found(*ts, found)))
        ts = trial_state(s, d, big_w, gas, false, not_a_number, evaluations);
    if (!ts) return std::nullopt;
    ts->trial.stationary = settled;
    return ts->trial;
}

// Newton's method on P(rho) = P from `near`; none where a step leaves the mechanically stable branch
// or jumps by more than a factor of 2 (another root's basin), or where the root lies on the other side
// of the dense/light divide from `near` (the phase changed kind: its own search decides).
std::optional<double> density_near(const model::DensityLine &line, double t, double p, double rho_max, double near) {
    const double rt = kGasConstant * t, divide = kDenseRoot * rho_max;
    double rho = near;
    for (int it = 0; it < kFollowSteps; ++it) {
        const model::DensityDerivatives a = line.derivatives(rho);
        const double pr = rho * rt * (1.0 + rho * a.a_rho);
        const double dp = rt * (1.0 + 2.0 * rho * a.a_rho + rho * rho * a.a_rhorho);
        if (!(dp > 0.0) || !std::isfinite(pr)) return std::nullopt;
        const double next = rho - (pr - p) / dp;
        if (!(next > 0.5 * rho && next < 2.0 * rho && next < rho_max)) return std::nullopt;
        // Quadratic convergence: a step this small leaves the next iterate within rounding of the root
        // (a stiff liquid's last steps swing between neighbouring doubles, so no smaller bound is met).
        if (std::fabs(next - rho) <= std::max(kResolvedStep * std::min(rho, rho_max - rho), 4e-16 * rho)) {
            if ((next > divide) != (near > divide)) return std::nullopt;
            return next;
        }
        rho = next;
    }
    return std::nullopt;
}

}  // namespace

Eigen::VectorXd descent_step(Eigen::MatrixXd h, const Eigen::VectorXd &g) {
    double scale = 0.0;
    for (Eigen::Index r = 0; r < h.rows(); ++r) scale = std::max(scale, std::fabs(h(r, r)));
    double shift = 0.0;
    for (int attempt = 0; attempt < 40; ++attempt) {
        Eigen::MatrixXd shifted = h;
        shifted.diagonal().array() += shift;
        const Eigen::LLT<Eigen::MatrixXd> llt(shifted);
        if (llt.info() == Eigen::Success) return llt.solve(-g);
        shift = shift == 0.0 ? 1e-8 * std::max(scale, 1.0) : 10.0 * shift;
    }
    return Eigen::VectorXd::Constant(g.size(), not_a_number);
}

std::optional<PhaseState> phase_at_pressure(const Model &m, double t, double p, const std::vector<double> &x, bool gas,
                                            bool hessian, double near, const model::AmountIsotherm *isotherm) {
    const std::size_t n = x.size();
    double total = 0.0;
    for (double v : x) total += v;
    model::Scratch<double> xs(n);
    for (std::size_t i = 0; i < n; ++i) xs[i] = x[i] / total;
    const model::Residual &r = m.residual();
    // One line for the follow and the search, from the isotherm's stage where there is one.
    std::unique_ptr<model::DensityLine> line;
    if (isotherm || std::isfinite(near)) line = isotherm ? isotherm->line(xs.data()) : r.density_line(t, xs.data());
    const double rho_max = line ? line->max_density() : not_a_number;
    std::optional<double> rho;
    if (std::isfinite(near)) rho = density_near(*line, t, p, rho_max, near);
    const bool followed = rho.has_value();
    const Phase kind = gas ? Phase::vapour : Phase::liquid;
    if (!rho) rho = isotherm ? model::density_on_line(*line, t, rho_max, p, kind) : density(m, t, p, x, kind);
    if (!rho) return std::nullopt;
    // Only what ln phi (and its Hessian) needs from the model: the iterations call this hundreds of
    // times, and the full property set costs as much again as the amount derivatives.
    const double rt = kGasConstant * t, v = 1.0 / *rho;
    PhaseState s{*rho, std::vector<double>(n), {}, followed};
    model::Scratch<double> d_v(hessian ? n : 0);
    AmountDerivativeSpans out{0.0, s.ln_phi, {}, {}, {}};
    if (hessian) {
        s.dln_phi_dn.resize(n * n);
        out.hessian = s.dln_phi_dn;
        out.d_v = std::span<double>(d_v.data(), n);
    }
    if (isotherm) {
        // At V = 1 m3 with the amounts rho x: the Hessian and d_v of 1 kmol in V = 1 / rho are rho
        // times theirs (Psi's second derivatives go as 1 / V at given amount densities).
        model::Scratch<double> amounts(n);
        for (std::size_t i = 0; i < n; ++i) amounts[i] = *rho * xs[i];
        isotherm->at(std::span<const double>(amounts.data(), n), out);
        for (double &h : s.dln_phi_dn) h *= *rho;
        for (std::size_t i = 0; i < d_v.size(); ++i) d_v[i] *= *rho;
    } else {
        r.amount_derivatives(t, v, std::span<const double>(xs.data(), n), out);
    }
    // ln phi_i = mu_res,i(T, V) / RT - ln Z, with Z taken at P: ln f_i is then exact at the state
    // (T, rho, x) found, where the root's pressure matches P only as well as a stiff liquid resolves it.
    const double shift = std::log(*rho * rt / p);
    for (std::size_t i = 0; i < n; ++i) {
        s.ln_phi[i] += shift;
        if (x[i] > 0.0 && !std::isfinite(s.ln_phi[i])) return std::nullopt;
    }
    if (hessian) {
        // At constant T and P for 1 kmol: the (T, V) Hessian corrected by dP/dn_i dP/dn_j / (RT dP/dV).
        // P is homogeneous of degree 0 in (V, n): V dP/dV = -sum n_i dP/dn_i.
        model::Scratch<double> dp_dn(n);
        double dp_dv = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            dp_dn[i] = rt * (*rho - d_v[i]);
            dp_dv -= *rho * xs[i] * dp_dn[i];
        }
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j) s.dln_phi_dn[i * n + j] += 1.0 + dp_dn[i] * dp_dn[j] / (rt * dp_dv);
    }
    return s;
}

bool same_phase(const std::vector<double> &a, double rho_a, const std::vector<double> &b, double rho_b) {
    double d = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) d = std::max(d, std::fabs(a[i] - b[i]));
    return d < kSameComposition && std::fabs(rho_a - rho_b) <= kSameComposition * std::max(rho_a, rho_b);
}

namespace {

// d_i = ln x_i + ln phi_i of the reference phase (ln f_i - ln P).
std::vector<double> reference_terms(const TrialSpace &s, const ReferencePhase &ref) {
    std::vector<double> d(s.size(), 0.0);
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s.present(ref.gas, i)) d[i] = std::log((*ref.x)[i]) + (*ref.ln_phi)[i];
    return d;
}

// A vapour of the volatile components, ideal-gas-like: W_i = f_i / P. Empty without one.
std::vector<double> vapour_start(const TrialSpace &s, const ReferencePhase &ref, const std::vector<double> &d) {
    std::vector<double> vapour(s.size(), 0.0);
    bool any_volatile = false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s.present(true, i) && s.present(ref.gas, i)) {
            vapour[i] = std::exp(d[i]);
            any_volatile = true;
        }
    if (!any_volatile) vapour.clear();
    return vapour;
}

bool dense(const TrialSpace &s, const Trial &tr) { return tr.rho > kDenseRoot * s.m->max_density(s.t, tr.w); }

bool holds_only_volatiles(const TrialSpace &s, const std::vector<double> &w) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (w[i] > 0.0 && s.non_volatile[i]) return false;
    return true;
}

}  // namespace

std::optional<Trial> vapour_trial(const TrialSpace &s, const ReferencePhase &ref, int &evaluations) {
    const std::vector<double> d = reference_terms(s, ref);
    const std::vector<double> start = vapour_start(s, ref, d);
    if (start.empty()) return std::nullopt;
    auto tr = run_trial(s, d, ref, {}, start, true, evaluations);
    if (!tr || dense(s, *tr)) return std::nullopt;
    return tr;
}

std::optional<Trial> most_unstable(const TrialSpace &s, const ReferencePhase &ref, const std::vector<KnownPhase> &known,
                                   int &evaluations, std::optional<Trial> *other_kind) {
    const std::size_t n = s.size();
    const std::vector<double> d = reference_terms(s, ref);
    std::vector<std::pair<bool, std::vector<double>>> starts;
    std::vector<double> vapour = vapour_start(s, ref, d);
    if (!vapour.empty()) starts.emplace_back(true, std::move(vapour));
    // Liquids rich (99 % by weight) in each component, for liquid-liquid splits.
    for (std::size_t k = 0; k < n && n > 1; ++k) {
        if (!(s.z[k] > 0.0)) continue;
        std::vector<double> x(n, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            if (!(s.z[i] > 0.0)) continue;
            const double wt = i == k ? 0.99 : 0.01 / static_cast<double>(n - 1);
            x[i] = wt / s.m->components()[i].mw;
        }
        normalise(x);
        starts.emplace_back(false, x);
    }
    std::optional<Trial> best_vapour, best_liquid;
    std::vector<Trial> found;  // stationary points the trials settled on
    for (const auto &start : starts) {
        auto tr = run_trial(s, d, ref, found, start.second, start.first, evaluations);
        if (!tr) continue;
        if (tr->stationary) found.push_back(*tr);
        // A vapour trial that found only a dense root is a liquid; a liquid trial that found only a
        // light root (rich in a component above its critical temperature) is a vapour, unless it
        // holds a component that no vapour may.
        if (tr->gas && dense(s, *tr)) tr->gas = false;
        else if (!tr->gas && !dense(s, *tr) && holds_only_volatiles(s, tr->w)) tr->gas = true;
        bool is_known = false;
        for (const KnownPhase &ph : known) is_known = is_known || same_phase(tr->w, tr->rho, *ph.x, ph.rho);
        if (is_known) continue;
        std::optional<Trial> &slot = tr->gas ? best_vapour : best_liquid;
        if (!slot || tr->tm < slot->tm) slot = tr;
    }
    const bool vapour_first = best_vapour && (!best_liquid || best_vapour->tm <= best_liquid->tm);
    if (other_kind) *other_kind = vapour_first ? best_liquid : best_vapour;
    return vapour_first ? best_vapour : best_liquid;
}

}  // namespace keld::equilibria::detail
