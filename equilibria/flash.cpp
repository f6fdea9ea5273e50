// Stability test and two-phase flash (see flash.h).
#include "keld/equilibria/flash.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

#include "composition.h"
#include "keld/equilibria/lle.h"
#include "low_pressure_liquid.h"
#include "numerics.h"
#include "parameters.h"

namespace keld::equilibria {
namespace {

using detail::format_number;
using detail::kInf;

constexpr double kTolerance = 1e-11;  // max |ln f_i' - ln f_i''|
constexpr double kMassBalanceTolerance = 1e-12;  // max |sum_phases beta x_i - z_i|
constexpr double kUnstable = -1e-9;   // tm below this is an instability, not round-off
constexpr int kMaxTrialIterations = 80;
constexpr int kMaxSubstitutions = 60;
constexpr int kMaxNewtonIterations = 30;
constexpr int kAccelerationPeriod = 5;
constexpr double kSlowRatio = 0.6;  // SS residual ratio above which Newton takes over
constexpr double kResolutionWindow = 1e-8;  // residual from which one Newton step reaches the tolerance
constexpr double kTrivialLnK = 1e-4;
constexpr double kVapourLikeZ = 0.3;

// One phase of the system through the evaluator its kind needs: a vapour
// holds the volatile components only; fractions and ln phi in full listing.
class Phases {
  public:
    explicit Phases(System &system)
        : system_(system), xv_(system.volatile_indices().size()), ln_v_(xv_.size()) {}

    PhasePoint evaluate(double t, double p, const std::vector<double> &x, PhaseKind kind,
                        std::vector<double> &ln_phi) {
        ln_phi.assign(system_.size(), not_a_number);
        if (kind == PhaseKind::liquid || system_.all_volatile()) {
            PhaseEvaluator &e = system_.all_volatile() ? *system_.volatiles() : system_.mixture();
            if (kind == PhaseKind::vapour) return e.evaluate(t, p, x.data(), kind, ln_phi.data());
            // A liquid at low pressure, carried there if the host's root search fails.
            detail::LowPressureLiquid liquid(e, t, x.data(), Wanted{});
            return liquid.at(p, ln_phi.data());
        }
        const std::vector<std::size_t> &vol = system_.volatile_indices();
        double sum = 0.0;
        for (std::size_t i = 0; i < vol.size(); ++i) sum += xv_[i] = x[vol[i]];
        for (double &v : xv_) v /= sum;
        const PhasePoint point = system_.volatiles()->evaluate(t, p, xv_.data(), kind, ln_v_.data());
        for (std::size_t i = 0; i < vol.size(); ++i) ln_phi[vol[i]] = ln_v_[i];
        return point;
    }

  private:
    System &system_;
    std::vector<double> xv_, ln_v_;
};

// Dominant-eigenvalue extrapolation of a fixed-point sequence (Crowe and
// Nishio): from the last three iterates, when the two changes point the
// same way and shrink.
class Accelerator {
  public:
    void push(const std::vector<double> &v) {
        h_[0] = std::move(h_[1]);
        h_[1] = std::move(h_[2]);
        h_[2] = v;
        ++count_;
    }
    // True and `v` extrapolated when due and sensible.
    bool apply(std::vector<double> &v) const {
        if (count_ < 3 || count_ % kAccelerationPeriod != 0) return false;
        double ab = 0.0, bb = 0.0;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double a = h_[2][i] - h_[1][i], b = h_[1][i] - h_[0][i];
            if (!std::isfinite(a) || !std::isfinite(b)) continue;
            ab += a * b;
            bb += b * b;
        }
        const double lambda = bb > 0.0 ? ab / bb : 0.0;
        if (!(lambda > 0.0 && lambda < 0.95)) return false;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const double a = h_[2][i] - h_[1][i];
            if (std::isfinite(a)) v[i] = h_[2][i] + a * lambda / (1.0 - lambda);
        }
        return true;
    }

  private:
    std::vector<double> h_[3];
    int count_ = 0;
};

struct Feed {
    PhaseKind kind = PhaseKind::liquid;
    PhasePoint point;
    std::vector<double> ln_phi;
    std::vector<double> d;  // ln z_i + ln phi_i(z); -inf where z_i = 0
    bool other_root_distinct = false;
    std::vector<double> ln_phi_other;  // the other root's ln phi, when distinct
};

bool has_non_volatile(const System &system, const std::vector<double> &z) {
    for (std::size_t i = 0; i < z.size(); ++i) {
        if (z[i] > 0.0 && !system.component(i).is_volatile) return true;
    }
    return false;
}

double gibbs(const std::vector<double> &z, const std::vector<double> &ln_phi) {
    double g = 0.0;
    for (std::size_t i = 0; i < z.size(); ++i) {
        if (z[i] > 0.0) g += z[i] * ln_phi[i];
    }
    return g;
}

bool evaluate_feed(System &system, Phases &phases, double t, double p, const std::vector<double> &z,
                   Feed &feed) {
    std::vector<double> ln_l, ln_v;
    const PhasePoint l = phases.evaluate(t, p, z, PhaseKind::liquid, ln_l);
    if (has_non_volatile(system, z)) {
        if (!l.root_found) return false;
        feed.kind = PhaseKind::liquid;
        feed.point = l;
        feed.ln_phi = ln_l;
    } else {
        const PhasePoint v = phases.evaluate(t, p, z, PhaseKind::vapour, ln_v);
        if (!l.root_found && !v.root_found) return false;
        const bool distinct = l.root_found && v.root_found && v.v > l.v * (1.0 + 1e-7);
        const bool vapour = !l.root_found || (v.root_found && gibbs(z, ln_v) < gibbs(z, ln_l));
        feed.kind = vapour ? PhaseKind::vapour : PhaseKind::liquid;
        if (!distinct && l.root_found) feed.kind = l.z > 0.3 ? PhaseKind::vapour : PhaseKind::liquid;
        feed.point = vapour ? v : l;
        feed.ln_phi = vapour ? ln_v : ln_l;
        feed.other_root_distinct = distinct;
        if (distinct) feed.ln_phi_other = vapour ? ln_l : ln_v;
    }
    feed.d.assign(z.size(), -kInf);
    for (std::size_t i = 0; i < z.size(); ++i) {
        if (z[i] > 0.0) feed.d[i] = std::log(z[i]) + feed.ln_phi[i];
    }
    return true;
}

struct Trial {
    PhaseKind kind;
    std::vector<double> ln_w;  // ln W (unnormalised); -inf for components kept out
};

// Iterates one trial to its stationary point; returns tm there (or where the
// iteration stopped) and leaves the trial's composition in trial.ln_w.
double iterate_trial(Phases &phases, double t, double p, const std::vector<double> &z, const Feed &feed,
                     Trial &trial, bool &trivial) {
    const std::size_t n = z.size();
    std::vector<double> w(n), ln_phi, next(n);
    Accelerator accelerator;
    double tm = kInf;
    trivial = false;
    for (int it = 0; it < kMaxTrialIterations; ++it) {
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            sum += w[i] = std::isfinite(trial.ln_w[i]) ? std::exp(trial.ln_w[i]) : 0.0;
        for (double &wi : w) wi /= sum;
        const PhasePoint point = phases.evaluate(t, p, w, trial.kind, ln_phi);
        if (!point.root_found) return kInf;
        // A vapour trial that the host answered with a liquid root is no
        // vapour (the polymers were left out of it): the liquid trials cover it.
        if (trial.kind == PhaseKind::vapour && point.z < kVapourLikeZ &&
            !(feed.kind == PhaseKind::liquid && point.v > 2.0 * feed.point.v))
            return kInf;
        tm = 1.0;
        double change = 0.0, distance = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite(trial.ln_w[i])) {
                next[i] = -kInf;
                continue;
            }
            const double big_w = std::exp(trial.ln_w[i]);
            tm += big_w * (trial.ln_w[i] + ln_phi[i] - feed.d[i] - 1.0);
            next[i] = feed.d[i] - ln_phi[i];
            change = std::max(change, std::fabs(next[i] - trial.ln_w[i]));
            distance += (w[i] - z[i]) * (w[i] - z[i]);
        }
        if (distance < 1e-10 && std::fabs(tm) < 1e-6 && trial.kind == feed.kind) {
            trivial = true;
            return 0.0;
        }
        if (change < 1e-10) break;
        accelerator.push(next);
        accelerator.apply(next);
        trial.ln_w = next;
    }
    return tm;
}

// The trial phases, in the order they are tried.
std::vector<Trial> trials(const System &system, const std::vector<double> &z, const Feed &feed) {
    const std::size_t n = z.size();
    std::vector<Trial> list;
    if (system.volatiles() != nullptr) {
        Trial vapour{PhaseKind::vapour, std::vector<double>(n, -kInf)};
        bool any = false;
        for (std::size_t i = 0; i < n; ++i) {
            if (z[i] > 0.0 && system.component(i).is_volatile) {
                vapour.ln_w[i] = feed.d[i];  // an ideal gas
                any = true;
            }
        }
        if (any) list.push_back(vapour);
    }
    if (feed.kind == PhaseKind::vapour && feed.other_root_distinct) {
        Trial liquid{PhaseKind::liquid, std::vector<double>(n, -kInf)};
        for (std::size_t i = 0; i < n; ++i)
            if (z[i] > 0.0) liquid.ln_w[i] = feed.d[i] - feed.ln_phi_other[i];
        list.push_back(liquid);
    }
    // Liquids rich by weight in the lightest and in the heaviest component
    // (liquid-liquid splits: for a polymer solution a polymer-lean and a
    // polymer-rich liquid).
    std::size_t present = 0, light = n, heavy = n;
    for (std::size_t j = 0; j < n; ++j) {
        if (!(z[j] > 0.0)) continue;
        ++present;
        if (light == n || system.component(j).mwn < system.component(light).mwn) light = j;
        if (heavy == n || system.component(j).mwn > system.component(heavy).mwn) heavy = j;
    }
    if (present >= 2) {
        std::vector<double> w_feed(n), w(n), x(n);
        system.mass_from_mole(z.data(), w_feed.data());
        for (std::size_t j : {light, heavy}) {
            for (std::size_t i = 0; i < n; ++i) w[i] = i == j ? 0.99 : 0.01 * w_feed[i] / (1.0 - w_feed[j]);
            system.mole_from_mass(w.data(), x.data());
            Trial rich{PhaseKind::liquid, std::vector<double>(n, -kInf)};
            for (std::size_t i = 0; i < n; ++i)
                if (z[i] > 0.0) rich.ln_w[i] = std::log(x[i]);
            list.push_back(rich);
        }
    }
    return list;
}

StabilityResult test_stability(System &system, Phases &phases, double t, double p,
                               const std::vector<double> &z, Feed &feed) {
    StabilityResult r;
    if (!evaluate_feed(system, phases, t, p, z, feed)) {
        r.status = Status::root_failure;
        r.message =
            "no density root for the feed at T = " + format_number(t) + " K, P = " + format_number(p) + " Pa";
        return r;
    }
    r.feed_kind = feed.kind;
    r.tangent_plane_distance = 0.0;
    r.stable = true;
    for (Trial &trial : trials(system, z, feed)) {
        bool trivial = false;
        const double tm = iterate_trial(phases, t, p, z, feed, trial, trivial);
        if (trivial || !std::isfinite(tm)) continue;
        if (tm < r.tangent_plane_distance) {
            r.tangent_plane_distance = tm;
            r.trial_kind = trial.kind;
            r.trial.assign(z.size(), 0.0);
            double sum = 0.0;
            for (std::size_t i = 0; i < z.size(); ++i)
                sum += r.trial[i] = std::isfinite(trial.ln_w[i]) ? std::exp(trial.ln_w[i]) : 0.0;
            for (double &v : r.trial) v /= sum;
        }
        if (r.tangent_plane_distance < kUnstable) {
            r.stable = false;
            break;
        }
    }
    r.status = Status::converged;
    return r;
}

// The two phase compositions at phase fraction beta (of phase 2) from K
// values given by their logarithms, unnormalised:
//   x1_i = z_i / (1 - beta + beta K_i),  x2_i = K_i x1_i,
// written so that neither overflows however large |ln K_i| is (far below the
// critical region a component's K can pass exp(700)). Components kept out of
// phase 2 (`in2` false) stay in phase 1. ln_x1, ln_x2 keep the logarithms,
// finite where x underflows to 0.
struct Split {
    std::vector<double> x1, x2, ln_x1, ln_x2;
};

void split(const std::vector<double> &z, const std::vector<double> &ln_k, const std::vector<bool> &in2,
           double beta, Split &s) {
    const std::size_t n = z.size();
    s.x1.assign(n, 0.0);
    s.x2.assign(n, 0.0);
    s.ln_x1.assign(n, -kInf);
    s.ln_x2.assign(n, -kInf);
    for (std::size_t i = 0; i < n; ++i) {
        if (!(z[i] > 0.0)) continue;
        if (!in2[i]) {
            s.x1[i] = z[i] / (1.0 - beta);
            s.ln_x1[i] = std::log(s.x1[i]);
            continue;
        }
        if (ln_k[i] > 0.0) {
            const double q = (1.0 - beta) * std::exp(-ln_k[i]) + beta;  // (1 - beta + beta K) / K
            s.ln_x2[i] = std::log(z[i]) - std::log(q);
            s.ln_x1[i] = s.ln_x2[i] - ln_k[i];
        } else {
            const double q = 1.0 - beta + beta * std::exp(ln_k[i]);
            s.ln_x1[i] = std::log(z[i]) - std::log(q);
            s.ln_x2[i] = s.ln_x1[i] + ln_k[i];
        }
        s.x1[i] = std::exp(s.ln_x1[i]);
        s.x2[i] = std::exp(s.ln_x2[i]);
    }
}

// Rachford-Rice: the phase fraction beta of phase 2 with
// sum_i (x2_i - x1_i) = sum z_i (K_i - 1) / (1 + beta (K_i - 1)) = 0, within
// the window where every 1 + beta (K_i - 1) stays positive (beta may leave
// [0, 1]: a negative flash). K is given by its logarithms (see split).
double rachford_rice(const std::vector<double> &z, const std::vector<double> &ln_k, const std::vector<bool> &in2,
                     double start) {
    double lo = -kInf, hi = kInf;
    for (std::size_t i = 0; i < z.size(); ++i) {
        if (!(z[i] > 0.0)) continue;
        // 1 / (1 - K) = -1 / expm1(ln K); a component kept out of phase 2 has K = 0.
        const double pole = in2[i] ? -1.0 / std::expm1(ln_k[i]) : 1.0;
        if (in2[i] && ln_k[i] > 0.0) lo = std::max(lo, pole);
        if (!in2[i] || ln_k[i] < 0.0) hi = std::min(hi, pole);
    }
    // Every K on one side of 1: no root; phase 2 is incipient (beta 0) or
    // phase 1 is (beta 1).
    if (!std::isfinite(lo)) return 0.0;
    if (!std::isfinite(hi)) return 1.0;
    double beta = std::clamp(start, lo + 1e-12 * (hi - lo), hi - 1e-12 * (hi - lo));
    Split s;
    for (int it = 0; it < 100; ++it) {
        split(z, ln_k, in2, beta, s);
        double f = 0.0, df = 0.0;
        for (std::size_t i = 0; i < z.size(); ++i) {
            if (!(z[i] > 0.0)) continue;
            const double d = s.x2[i] - s.x1[i];
            f += d;
            df -= d * d / z[i];
        }
        (f > 0.0 ? lo : hi) = beta;
        double next = beta - f / df;
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (std::fabs(next - beta) <= 1e-15 * std::max(1.0, std::fabs(beta))) return next;
        beta = next;
    }
    return beta;
}

struct TwoPhases {
    double beta = not_a_number;
    std::vector<double> x1, x2, ln1, ln2;
    // ln x of each phase, finite where x underflows to 0 (see split).
    std::vector<double> ln_x1, ln_x2;
    PhasePoint p1, p2;
    double residual = kInf;
};

class Flash {
  public:
    Flash(System &system, Phases &phases, double t, double p, const std::vector<double> &z, PhaseKind kind1,
          PhaseKind kind2)
        : phases_(phases), t_(t), p_(p), z_(z), kind1_(kind1), kind2_(kind2), n_(z.size()) {
        for (std::size_t i = 0; i < n_; ++i)
            in2_.push_back(z[i] > 0.0 && (kind2 == PhaseKind::liquid || system.component(i).is_volatile));
    }

    // Evaluates both phases at beta and compositions from n2 (moles in phase 2).
    bool evaluate_moles(const std::vector<double> &n2, TwoPhases &s) {
        double b = 0.0;
        for (std::size_t i = 0; i < n_; ++i) b += n2[i];
        s.beta = b;
        s.x1.assign(n_, 0.0);
        s.x2.assign(n_, 0.0);
        for (std::size_t i = 0; i < n_; ++i) {
            s.x1[i] = (z_[i] - n2[i]) / (1.0 - b);
            s.x2[i] = n2[i] / b;
        }
        s.ln_x1.resize(n_);
        s.ln_x2.resize(n_);
        for (std::size_t i = 0; i < n_; ++i) {
            s.ln_x1[i] = std::log(s.x1[i]);
            s.ln_x2[i] = std::log(s.x2[i]);
        }
        return evaluate(s);
    }

    bool evaluate(TwoPhases &s) {
        s.p1 = phases_.evaluate(t_, p_, s.x1, kind1_, s.ln1);
        s.p2 = phases_.evaluate(t_, p_, s.x2, kind2_, s.ln2);
        s.residual = 0.0;
        for (std::size_t i = 0; i < n_; ++i) {
            if (!in2_[i]) continue;
            const double gap = std::fabs(s.ln_x1[i] + s.ln1[i] - s.ln_x2[i] - s.ln2[i]);
            // NaN (a composition or ln phi that is not a number) is no agreement.
            s.residual = std::isnan(gap) ? kInf : std::max(s.residual, gap);
        }
        return s.p1.root_found && s.p2.root_found;
    }

    // Successive substitution from K; returns false on a root failure. When it
    // slows or oscillates (`slow`), `s` is left at the best state it met
    // with both phases present (the smallest residual), the start for Newton.
    bool substitute(std::vector<double> ln_k, TwoPhases &s, int &iterations, bool &slow, bool &trivial) {
        Accelerator accelerator;
        double beta = 0.5, last = kInf;
        slow = trivial = false;
        TwoPhases best;
        for (int it = 1; it <= kMaxSubstitutions; ++it) {
            iterations = it;
            beta = rachford_rice(z_, ln_k, in2_, beta);
            Split parts;
            split(z_, ln_k, in2_, beta, parts);
            // Rachford-Rice leaves each phase's fractions adding up to 1 to
            // rounding; normalise them exactly.
            const double s1 = std::accumulate(parts.x1.begin(), parts.x1.end(), 0.0);
            const double s2 = std::accumulate(parts.x2.begin(), parts.x2.end(), 0.0);
            for (std::size_t i = 0; i < n_; ++i) {
                parts.x1[i] /= s1;
                parts.x2[i] /= s2;
                parts.ln_x1[i] -= std::log(s1);
                parts.ln_x2[i] -= std::log(s2);
            }
            s.x1 = std::move(parts.x1);
            s.x2 = std::move(parts.x2);
            s.ln_x1 = std::move(parts.ln_x1);
            s.ln_x2 = std::move(parts.ln_x2);
            s.beta = beta;
            if (!evaluate(s)) return false;
            if (s.residual <= kTolerance) return true;
            if (beta > 0.0 && beta < 1.0 && !(s.residual >= best.residual)) best = s;
            double max_ln_k = 0.0;
            std::vector<double> next = ln_k;
            for (std::size_t i = 0; i < n_; ++i) {
                if (!in2_[i]) continue;
                next[i] = s.ln1[i] - s.ln2[i];
                max_ln_k = std::max(max_ln_k, std::fabs(next[i]));
            }
            if (max_ln_k < kTrivialLnK && std::fabs(s.p2.v / s.p1.v - 1.0) < 0.02) {
                trivial = true;
                return true;
            }
            if (it > 4 && s.residual > kSlowRatio * last) {
                slow = true;
                break;
            }
            last = s.residual;
            ln_k = next;
            accelerator.push(ln_k);
            accelerator.apply(ln_k);
        }
        slow = true;
        if (std::isfinite(best.residual) && (best.residual < s.residual || !(s.beta > 0.0 && s.beta < 1.0))) s = best;
        return true;
    }

    // G / RT (per mole of feed, up to a constant) of the two phases.
    double gibbs_of(const TwoPhases &s) const {
        double g = 0.0;
        for (std::size_t i = 0; i < n_; ++i) {
            if (s.x1[i] > 0.0) g += (1.0 - s.beta) * s.x1[i] * (std::log(s.x1[i]) + s.ln1[i]);
            if (s.x2[i] > 0.0) g += s.beta * s.x2[i] * (std::log(s.x2[i]) + s.ln2[i]);
        }
        return g;
    }

    // Newton on the Gibbs energy in the moles of phase 2, from a state with
    // both phases present.
    // Newton on the Gibbs energy. Converged at the tolerance, or, where the
    // monitors' ln phi is coarser than that (a liquid at low pressure, see
    // saturation.cpp), at their resolution: once the residual is below
    // kResolutionWindow, where a Newton step must reach the tolerance, three
    // steps that do not (or a line search that cannot improve) show the
    // noise; the best state is then returned and `resolution` says how coarse.
    bool newton(TwoPhases &s, int &iterations, std::string &why, double &resolution) {
        if (!(s.beta > 0.0 && s.beta < 1.0)) {
            why = "no start with both phases present (phase fraction " + format_number(s.beta) + ")";
            return false;
        }
        std::vector<std::size_t> vars;
        for (std::size_t i = 0; i < n_; ++i)
            if (in2_[i]) vars.push_back(i);
        const std::size_t m = vars.size();
        std::vector<double> n2(n_, 0.0);
        for (std::size_t i = 0; i < n_; ++i) n2[i] = s.beta * s.x2[i];
        Eigen::MatrixXd h(m, m);
        Eigen::VectorXd g(m);
        std::vector<double> ln_pert;
        TwoPhases best = s;
        int noisy_steps = 0;
        auto at_resolution = [&](double noise) {
            s = best;
            resolution = std::max(noise, best.residual);
            return true;
        };
        for (int it = 1; it <= kMaxNewtonIterations; ++it) {
            ++iterations;
            if (s.residual <= kTolerance) return true;
            for (std::size_t a = 0; a < m; ++a) {
                const std::size_t i = vars[a];
                g[a] = std::log(s.x2[i]) + s.ln2[i] - std::log(s.x1[i]) - s.ln1[i];
            }
            // d ln f_i / d n_j of each phase: ideal part exact, ln phi by differences.
            const double b = s.beta;
            for (std::size_t c = 0; c < m; ++c) {
                const std::size_t j = vars[c];
                for (int phase = 0; phase < 2; ++phase) {
                    const double total = phase == 0 ? 1.0 - b : b;
                    const std::vector<double> &x = phase == 0 ? s.x1 : s.x2;
                    const std::vector<double> &ln = phase == 0 ? s.ln1 : s.ln2;
                    const double nj = x[j] * total, dn = 1e-6 * nj;
                    std::vector<double> xp(n_);
                    for (std::size_t i = 0; i < n_; ++i)
                        xp[i] = (x[i] * total + (i == j ? dn : 0.0)) / (total + dn);
                    const PhasePoint pp = phases_.evaluate(t_, p_, xp, phase == 0 ? kind1_ : kind2_, ln_pert);
                    if (!pp.root_found) {
                        why = "a density root failed in the Hessian's differences";
                        return false;
                    }
                    for (std::size_t a = 0; a < m; ++a) {
                        const std::size_t i = vars[a];
                        const double ideal = (i == j ? 1.0 / (x[i] * total) : 0.0) - 1.0 / total;
                        const double value = ideal + (ln_pert[i] - ln[i]) / dn;
                        h(a, c) = (phase == 0 ? 0.0 : h(a, c)) + value;
                    }
                }
            }
            // A descent direction: Newton where the Hessian is positive
            // definite, else shifted until it is.
            Eigen::VectorXd step;
            double shift = 0.0;
            const double scale = h.diagonal().cwiseAbs().maxCoeff();
            for (int attempt = 0; attempt < 30; ++attempt) {
                Eigen::MatrixXd shifted = h;
                shifted.diagonal().array() += shift;
                Eigen::LDLT<Eigen::MatrixXd> ldlt(shifted);
                if (ldlt.info() == Eigen::Success && ldlt.isPositive() &&
                    (ldlt.vectorD().array() > 0.0).all()) {
                    step = ldlt.solve(-g);
                    break;
                }
                shift = shift == 0.0 ? 1e-8 * scale : 10.0 * shift;
            }
            if (step.size() != static_cast<Eigen::Index>(m)) {
                why = "no descent direction (the Hessian could not be made positive definite)";
                return s.residual <= kTolerance;
            }
            // Keep 0 < n2_i < z_i component by component (a trace moves by
            // factors, not through zero), then halve until G falls or the
            // residual does.
            std::vector<double> target = n2;
            for (std::size_t a = 0; a < m; ++a) {
                const std::size_t i = vars[a];
                double next = n2[i] + step[a];
                if (next <= 0.0) next = 0.1 * n2[i];
                if (next >= z_[i]) next = z_[i] - 0.1 * (z_[i] - n2[i]);
                target[i] = next;
            }
            const double g_now = gibbs_of(s);
            bool improved = false;
            TwoPhases trial;
            std::vector<double> n_trial = n2;
            double alpha = 1.0;
            for (int cut = 0; cut < 30; ++cut, alpha *= 0.5) {
                for (std::size_t a = 0; a < m; ++a)
                    n_trial[vars[a]] = n2[vars[a]] + alpha * (target[vars[a]] - n2[vars[a]]);
                if (!evaluate_moles(n_trial, trial)) continue;
                if (gibbs_of(trial) < g_now || trial.residual < s.residual) {
                    improved = true;
                    break;
                }
            }
            if (!improved) {
                if (best.residual < kResolutionWindow) return at_resolution(best.residual);
                why = "the line search found no step that lowers the Gibbs energy or the residual";
                return s.residual <= kTolerance;
            }
            const double before = s.residual;
            n2 = n_trial;
            s = trial;
            if (s.residual < best.residual) best = s;
            if (before < kResolutionWindow && s.residual > kTolerance) {
                resolution = std::max(resolution, s.residual);
                if (++noisy_steps >= 3) return at_resolution(resolution);
            }
        }
        if (s.residual > kTolerance) why = "the iteration limit (" + std::to_string(kMaxNewtonIterations) + ")";
        return s.residual <= kTolerance;
    }

  private:
    Phases &phases_;
    double t_, p_;
    const std::vector<double> &z_;
    PhaseKind kind1_, kind2_;
    std::size_t n_;
    std::vector<bool> in2_;
};

FlashPhase make_phase(System &system, PhaseKind kind, double fraction, const std::vector<double> &x,
                      const std::vector<double> &ln_phi, const PhasePoint &point) {
    FlashPhase phase;
    phase.kind = kind;
    phase.fraction = fraction;
    phase.x = x;
    phase.w.resize(x.size());
    system.mass_from_mole(x.data(), phase.w.data());
    phase.ln_phi = ln_phi;
    phase.v = point.v;
    return phase;
}

void mass_fractions(System &system, std::vector<FlashPhase> &phases) {
    double total = 0.0;
    std::vector<double> mass;
    for (const FlashPhase &ph : phases) {
        double m = 0.0;
        for (std::size_t i = 0; i < ph.x.size(); ++i) m += ph.x[i] * system.component(i).mwn;
        mass.push_back(ph.fraction * m);
        total += mass.back();
    }
    for (std::size_t k = 0; k < phases.size(); ++k) phases[k].mass_fraction = mass[k] / total;
}

// The two liquids of a binary feed from its binodal, the amounts by the lever
// rule; false when the binodal does not hold the feed (the caller then flashes).
bool binary_split(System &system, double t, double p, const std::vector<double> &z,
                  const std::vector<std::size_t> &present, FlashResult &r) {
    // Through the monitors, as the rest of the flash: the phases it returns re-evaluate on them to the
    // flash's tolerance in the polymer's (large) ln f, which the model's binodal meets per repeat unit only.
    SystemOptions options = system.options();
    options.solve_on_model = false;
    System pair(system.session().host(), system.model().name,
                {system.component(present[0]).number, system.component(present[1]).number}, options);
    const BinodalResult b = binodal(pair, t, p);
    if (b.status != Status::converged) return false;
    const std::size_t j = present[1];
    const double beta = (z[j] - b.lean.x[1]) / (b.rich.x[1] - b.lean.x[1]);  // fraction of the rich phase
    if (!(beta > 0.0 && beta < 1.0)) return false;
    auto full = [&](const std::vector<double> &two) {
        std::vector<double> v(z.size(), 0.0);
        v[present[0]] = two[0];
        v[present[1]] = two[1];
        return v;
    };
    auto full_ln_phi = [&](const std::vector<double> &two) {
        std::vector<double> v(z.size(), not_a_number);
        v[present[0]] = two[0];
        v[present[1]] = two[1];
        return v;
    };
    PhasePoint lean_point, rich_point;
    lean_point.v = b.lean.v;
    rich_point.v = b.rich.v;
    FlashPhase lean = make_phase(system, PhaseKind::liquid, 1.0 - beta, full(b.lean.x),
                                 full_ln_phi(b.lean.ln_phi), lean_point);
    FlashPhase rich =
        make_phase(system, PhaseKind::liquid, beta, full(b.rich.x), full_ln_phi(b.rich.ln_phi), rich_point);
    r.phases =
        lean.x[0] >= rich.x[0] ? std::vector<FlashPhase>{lean, rich} : std::vector<FlashPhase>{rich, lean};
    mass_fractions(system, r.phases);
    r.status = Status::converged;
    r.residual = b.residual;
    r.iterations = b.iterations;
    return true;
}

// Largest |sum over phases of fraction x_i - z_i|: a split that does not
// hold the feed is no answer, however equal its fugacities.
double mass_balance_error(const std::vector<FlashPhase> &phases, const std::vector<double> &z) {
    double worst = 0.0;
    for (std::size_t i = 0; i < z.size(); ++i) {
        double held = 0.0;
        for (const FlashPhase &ph : phases) held += ph.fraction * ph.x[i];
        const double gap = std::fabs(held - z[i]);
        worst = std::isnan(gap) ? kInf : std::max(worst, gap);
    }
    return worst;
}

// The feed checked and normalised into z; the status and reason when the
// calculation cannot start (converged when it can).
Outcome validate(System &system, double t, double p, std::vector<double> &z, std::span<const double> input) {
    Outcome o;
    o.status = Status::invalid_input;
    z.assign(input.begin(), input.end());
    if (z.size() != system.size()) {
        o.message = "the feed needs one mole fraction per listed component";
    } else if (!(std::isfinite(t) && t > 0.0 && std::isfinite(p) && p > 0.0)) {
        o.message = "T and P must be positive numbers";
    } else if (o.message = detail::normalise(z); o.message.empty()) {
        o.message = detail::missing_parameter_message({&system.mixture(), system.volatiles()});
        o.status = o.message.empty() ? Status::converged : Status::missing_parameter;
    }
    return o;
}

}  // namespace

StabilityResult stability(System &system, double t, double p, std::span<const double> z_in) {
    std::vector<double> z;
    StabilityResult r;
    const detail::CallCounter counter(system.session());
    if (const Outcome fault = validate(system, t, p, z, z_in); fault.status != Status::converged) {
        static_cast<Outcome &>(r) = fault;
        return r;
    }
    Phases phases(system);
    Feed feed;
    r = test_stability(system, phases, t, p, z, feed);
    r.evaluations = counter.calls();
    r.monitor_messages = system.session().take_messages();
    return r;
}

FlashResult flash(System &system, double t, double p, std::span<const double> z_in) {
    FlashResult r;
    std::vector<double> z;
    const detail::CallCounter counter(system.session());
    auto finish = [&](FlashResult &result) -> FlashResult & {
        result.evaluations = counter.calls();
        result.monitor_messages = system.session().take_messages();
        return result;
    };
    // A two-phase answer is returned only when its phases hold the feed.
    auto checked = [&](FlashResult &result) -> FlashResult & {
        const double error = mass_balance_error(result.phases, z);
        if (!(error <= kMassBalanceTolerance)) {
            result.status = Status::not_converged;
            result.message = "flash not converged: the phases found do not hold the feed (mass balance off by " +
                             format_number(error) + ")";
            result.phases.clear();
        }
        return finish(result);
    };
    if (const Outcome fault = validate(system, t, p, z, z_in); fault.status != Status::converged) {
        static_cast<Outcome &>(r) = fault;
        return finish(r);
    }
    r.t = t;
    r.p = p;
    Phases phases(system);
    Feed feed;
    r.stability = test_stability(system, phases, t, p, z, feed);
    if (r.stability.status != Status::converged) {
        static_cast<Outcome &>(r) = r.stability;
        return finish(r);
    }
    auto single = [&](const std::string &message) -> FlashResult & {
        r.status = Status::single_phase;
        r.message = message;
        r.phases = {make_phase(system, feed.kind, 1.0, z, feed.ln_phi, feed.point)};
        mass_fractions(system, r.phases);
        r.residual = 0.0;
        return finish(r);
    };
    if (r.stability.stable)
        return single("the feed is stable as one phase (tangent-plane distance >= 0 for every trial)");

    // Two phases: the feed's kind and the trial's.
    PhaseKind kind1 = feed.kind, kind2 = r.stability.trial_kind;
    std::vector<double> ln_k(z.size(), -kInf);
    for (std::size_t i = 0; i < z.size(); ++i) {
        if (z[i] > 0.0 && r.stability.trial[i] > 0.0) ln_k[i] = std::log(r.stability.trial[i] / z[i]);
    }
    if (kind1 == PhaseKind::liquid && kind2 == PhaseKind::liquid) {
        // Two liquids of a binary (a polymer solution's lean and rich phase):
        // the binodal solver, which resolves a lean phase of any dilution.
        std::vector<std::size_t> present;
        for (std::size_t i = 0; i < z.size(); ++i)
            if (z[i] > 0.0) present.push_back(i);
        if (present.size() == 2 && binary_split(system, t, p, z, present, r)) return checked(r);
    }
    Flash two(system, phases, t, p, z, kind1, kind2);
    TwoPhases s;
    bool slow = false, trivial = false;
    int iterations = 0;
    bool ok = two.substitute(ln_k, s, iterations, slow, trivial);
    double resolution = 0.0;  // > 0: converged to the monitors' resolution, not the tolerance
    // Which stage stopped, and why, for the message of a flash that fails.
    std::string stages = ok ? "successive substitution " + std::string(slow ? "slowed" : "stopped") + " after " +
                                  std::to_string(iterations) + " passes at max |ln f' - ln f''| = " +
                                  format_number(s.residual)
                            : "a density root failed in successive substitution after " +
                                  std::to_string(iterations) + " passes";
    if (ok && !trivial && s.residual > kTolerance) {
        const int before = iterations;
        std::string why;
        ok = two.newton(s, iterations, why, resolution);
        if (!ok)
            stages += "; Newton on the Gibbs energy stopped after " + std::to_string(iterations - before) +
                      " iterations: " + why;
    }
    r.iterations = iterations;
    r.residual = s.residual;
    if (!ok && s.residual > kTolerance) {
        r.status = Status::not_converged;
        r.message = "flash not converged (max |ln f' - ln f''| = " + format_number(s.residual) + "): " + stages;
        return finish(r);
    }
    if (resolution > 0.0)
        r.message = "converged to the resolution of the monitors' ln phi at this state (about " +
                    format_number(resolution) + ")";
    if (trivial) return single("the flash fell onto the trivial solution: the feed is taken as one phase");
    if (!(s.beta > 0.0 && s.beta < 1.0))
        return single("the converged phase fraction lies outside (0, 1): one phase");

    FlashPhase a = make_phase(system, kind1, 1.0 - s.beta, s.x1, s.ln1, s.p1);
    FlashPhase b = make_phase(system, kind2, s.beta, s.x2, s.ln2, s.p2);
    const bool swap =
        (kind1 == PhaseKind::vapour && kind2 == PhaseKind::liquid) || (kind1 == kind2 && b.x[0] > a.x[0]);
    r.phases = swap ? std::vector<FlashPhase>{b, a} : std::vector<FlashPhase>{a, b};
    mass_fractions(system, r.phases);
    r.status = Status::converged;
    // Two phases of equal fugacities are the equilibrium only when neither
    // would split again (else a third phase forms, e.g. a liquid-liquid split
    // beside the vapour).
    for (const FlashPhase &ph : r.phases) {
        const StabilityResult again = stability(system, t, p, ph.x);
        if (again.status == Status::converged && !again.stable) {
            r.status = Status::not_converged;
            r.message = std::string("the two phases found are not the equilibrium: the ") +
                        (ph.kind == PhaseKind::vapour ? "vapour" : "liquid") +
                        " would split again (tangent-plane distance " +
                        format_number(again.tangent_plane_distance) + "); a third phase forms";
            r.phases.clear();
            return finish(r);
        }
    }
    return checked(r);
}

}  // namespace keld::equilibria
