// Bubble and dew points (see bubble_dew.h).
#include "keld/equilibria/bubble_dew.h"
#include "keld/equilibria/flash.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "bubble_dew_model.h"
#include "composition.h"
#include "low_pressure_liquid.h"
#include "numerics.h"
#include "parameters.h"

namespace keld::equilibria {
namespace {

using detail::Bracket;
using detail::format_number;

constexpr double kTolerance = 1e-11;  // max |ln f_i^L - ln f_i^V|
constexpr int kMaxIterations = 400;
constexpr double kLiquidLikeZ = 0.25;     // apparent-basis Z of a liquid at a probe
constexpr double kTrivialLnK = 1e-4;      // |ln K| below which phases of alike volume are one phase
constexpr double kTrivialVolumes = 0.02;  // relative volume difference of such phases
constexpr int kAccelerationPeriod = 5;
const double kProbePressures[] = {1e5, 1e6, 1e7, 3e7};
// The stability scan that looks for a start where the probes find no liquid.
constexpr double kScanLowestPressure = 1e-2, kScanHighestPressure = 1e9;         // Pa
constexpr double kScanLowestTemperature = 50.0, kScanHighestTemperature = 1500.0;  // K
constexpr double kScanPressureFactor = 1.5, kScanTemperatureFactor = 1.05;  // between neighbouring points
constexpr int kScanBisections = 6;

enum class Kind { bubble, dew };
enum class Given { temperature, pressure };

class PointSolver {
  public:
    PointSolver(System &system, Kind kind, Given given, double value, std::span<const double> composition,
                const BubbleDewGuess &guess)
        : system_(system), kind_(kind), given_(given), guess_(guess) {
        (given == Given::temperature ? t_ : p_) = value;
        composition_.assign(composition.begin(), composition.end());
    }

    BubbleDewResult solve();

  private:
    struct Evaluation {
        PhasePoint liquid, vapour;
        double ln_s = 0.0;      // ln S
        double residual = 0.0;  // max |ln f_i^L - ln f_i^V|
        double h_liquid = 0.0;  // enthalpy departures per apparent kmol (liquid), per kmol (vapour)
    };

    std::string check_input();
    bool start_at_temperature();
    bool start_from_probes();
    bool start_at_pressure();
    bool start_from_stability();
    bool start_between(double c_stable, double c_unstable, StabilityResult unstable_test);
    bool unstable_at(double t, double p, StabilityResult &test);
    bool probe(double t, double p, double &p_estimate, double &h_liquid);
    bool probe_pure_liquids(double t, double p, double &p_estimate);
    Evaluation evaluate();
    void accelerate(int iteration);
    void fill(BubbleDewResult &r, const Evaluation &e);
    double liquid_resolution();
    double x_liquid(std::size_t i) const { return kind_ == Kind::bubble ? fixed_[vol_[i]] : w_[i]; }
    double y_vapour(std::size_t i) const { return kind_ == Kind::bubble ? w_[i] : fixed_[i]; }
    std::size_t liquid_index(std::size_t i) const { return kind_ == Kind::bubble ? vol_[i] : i; }

    System &system_;
    Kind kind_;
    Given given_;
    BubbleDewGuess guess_;
    std::vector<double> composition_;
    double t_ = not_a_number, p_ = not_a_number;
    PhaseEvaluator *liquid_ = nullptr, *vapour_ = nullptr;
    std::vector<std::size_t> vol_;
    std::vector<double> fixed_;  // the given phase, in its evaluator's listing
    std::vector<double> w_;      // the incipient phase, in its evaluator's listing
    std::vector<double> w_next_, ln_phi_l_, ln_phi_v_, ln_w_history_[3];
    double v_mid_ = not_a_number;
    // How the stability scan ended when no start was found: the range it
    // covered without finding the incipient phase.
    std::string scan_report_;
    bool stability_tried_ = false;
    std::optional<detail::LowPressureLiquid> low_liquid_;
    double low_liquid_t_ = not_a_number;
    bool returned_carried_ = false;  // the liquid of the state last filled in was carried
};

std::string PointSolver::check_input() {
    const std::size_t n = system_.size();
    if (composition_.size() != n) return "the composition needs one fraction per listed component";
    if (!system_.volatiles()) return "no listed component is volatile";
    if (const std::string fault = detail::normalise(composition_); !fault.empty()) return fault;
    vol_ = system_.volatile_indices();
    double volatile_sum = 0.0;
    for (std::size_t i : vol_) volatile_sum += composition_[i];
    if (!(volatile_sum > 0.0)) return "the mixture holds no volatile component";
    vapour_ = system_.volatiles();
    if (kind_ == Kind::bubble) {
        liquid_ = &system_.mixture();
        fixed_ = composition_;
        w_.assign(vol_.size(), 0.0);
    } else {
        if (volatile_sum < 1.0 - 1e-12)
            return "a dew point needs a vapour of volatile components only (polymers never enter the vapour)";
        liquid_ = vapour_;
        for (std::size_t i : vol_) fixed_.push_back(composition_[i]);
        w_.assign(vol_.size(), 0.0);
    }
    ln_phi_l_.assign(liquid_->size(), 0.0);
    ln_phi_v_.assign(vapour_->size(), 0.0);
    w_next_.assign(vol_.size(), 0.0);
    const double value = given_ == Given::temperature ? t_ : p_;
    if (!(std::isfinite(value) && value > 0.0))
        return "the temperature or pressure must be a positive number";
    return {};
}

// The liquid at (t, p): for a bubble point the given liquid, for a dew point
// a liquid of the vapour's composition. Its fugacities with an ideal vapour
// give a first pressure (bubble: sum of x_i phi_i P; dew: the harmonic mean
// of the pseudo vapour pressures phi_i P) and a first incipient composition.
bool PointSolver::probe(double t, double p, double &p_estimate, double &h_liquid) {
    const std::vector<double> &x = fixed_;
    const PhasePoint l =
        liquid_->evaluate(t, p, x.data(), PhaseKind::liquid, ln_phi_l_.data(), Wanted{true, false});
    if (!l.root_found) return false;
    if (!(p * l.v_apparent / (system_.gas_constant() * t) < kLiquidLikeZ)) {
        // A dense root at high pressure: a liquid if a distinct vapour root exists beside it.
        if (!system_.all_volatile() && kind_ == Kind::bubble) return false;
        std::vector<double> ln_phi(liquid_->size());
        const PhasePoint v = liquid_->evaluate(t, p, x.data(), PhaseKind::vapour, ln_phi.data());
        if (!(v.root_found && v.v_apparent > 1.5 * l.v_apparent)) return false;
    }
    double sum = 0.0;
    for (std::size_t i = 0; i < vol_.size(); ++i) {
        const double phi_p = std::exp(ln_phi_l_[liquid_index(i)]) * p;
        w_[i] = kind_ == Kind::bubble ? x[vol_[i]] * phi_p : x[i] / phi_p;
        sum += w_[i];
    }
    p_estimate = kind_ == Kind::bubble ? sum : 1.0 / sum;
    for (double &wi : w_) wi /= sum;
    v_mid_ = std::sqrt(l.v_apparent * system_.gas_constant() * t / p_estimate);
    h_liquid = l.h * l.v_apparent / l.v;
    return std::isfinite(p_estimate) && p_estimate > 0.0;
}

// A dew point's first liquid when the vapour's own composition has no liquid
// root: pseudo vapour pressures from the pure liquids of the components that
// have one at (t, p), and for the others their fugacity at high dilution in a
// liquid of the former.
bool PointSolver::probe_pure_liquids(double t, double p, double &p_estimate) {
    const std::size_t nv = vol_.size();
    std::vector<double> p_star(nv, not_a_number), heavy(nv, 0.0);
    double heavy_sum = 0.0;
    for (std::size_t i = 0; i < nv; ++i) {
        const double x = 1.0;
        double ln_phi;
        const PhasePoint l = system_.pure(vol_[i]).evaluate(t, p, &x, PhaseKind::liquid, &ln_phi);
        if (l.root_found && p * l.v_apparent / (system_.gas_constant() * t) < kLiquidLikeZ) {
            p_star[i] = std::exp(ln_phi) * p;
            heavy[i] = std::max(fixed_[i], 1e-3);
            heavy_sum += heavy[i];
        }
    }
    if (!(heavy_sum > 0.0)) return false;
    for (std::size_t i = 0; i < nv; ++i)
        heavy[i] = heavy[i] > 0.0 ? heavy[i] / heavy_sum * (1.0 - 1e-6) : 1e-6 / nv;
    const PhasePoint l = liquid_->evaluate(t, p, heavy.data(), PhaseKind::liquid, ln_phi_l_.data());
    if (!l.root_found) return false;
    double sum = 0.0;
    for (std::size_t i = 0; i < nv; ++i) {
        if (!std::isfinite(p_star[i])) p_star[i] = std::exp(ln_phi_l_[i]) * p;
        w_[i] = fixed_[i] / p_star[i];
        sum += w_[i];
    }
    p_estimate = 1.0 / sum;
    for (double &wi : w_) wi /= sum;
    v_mid_ = std::sqrt(l.v_apparent * system_.gas_constant() * t / p_estimate);
    return std::isfinite(p_estimate) && p_estimate > 0.0;
}

// Whether the given phase (the bubble point's liquid, the dew point's vapour)
// is unstable at (t, p) towards an incipient phase of the other kind (a
// vapour for a bubble point, a liquid for a dew point; a split into two
// liquids does not count); `test` keeps the trial that showed it.
bool PointSolver::unstable_at(double t, double p, StabilityResult &test) {
    test = stability(system_, t, p, composition_);
    const PhaseKind incipient = kind_ == Kind::bubble ? PhaseKind::vapour : PhaseKind::liquid;
    return test.status == Status::converged && !test.stable && test.trial_kind == incipient;
}

// A start when the probes found no liquid (near the mixture's critical
// region, where a liquid's Z passes kLiquidLikeZ): the given phase is stable
// on one side of the point and unstable on the other. Scan for the change of
// stability (at given T from high pressure down for a bubble point, from low
// pressure up for a dew point; at given P in T, up for a bubble point, down
// for a dew point), narrow it, and start from the unstable side with the
// trial phase that showed the instability as the incipient phase. False when
// the given phase is stable over the whole scan: then the model shows no
// bubble or dew point here.
bool PointSolver::start_from_stability() {
    if (stability_tried_) return false;
    stability_tried_ = true;
    const bool at_t = given_ == Given::temperature;
    const bool upward = at_t ? kind_ == Kind::dew : kind_ == Kind::bubble;
    // Control: ln P at given T, ln T at given P.
    const double lo = at_t ? std::log(kScanLowestPressure) : std::log(kScanLowestTemperature);
    const double hi = at_t ? std::log(kScanHighestPressure) : std::log(kScanHighestTemperature);
    const double factor = at_t ? kScanPressureFactor : kScanTemperatureFactor;
    const int steps = static_cast<int>(std::ceil((hi - lo) / std::log(factor)));
    auto state = [&](double c, double &t, double &p) {
        (at_t ? p : t) = std::exp(c);
        (at_t ? t : p) = at_t ? t_ : p_;
    };
    StabilityResult test;
    double c_stable = not_a_number;
    for (int k = 0; k <= steps; ++k) {
        const double c = upward ? lo + (hi - lo) * k / steps : hi - (hi - lo) * k / steps;
        double t, p;
        state(c, t, p);
        if (!unstable_at(t, p, test)) {
            if (test.status == Status::converged) c_stable = c;
            continue;
        }
        if (start_between(c_stable, c, test)) return true;
        c_stable = not_a_number;  // not a usable start: go on scanning
    }
    const std::string unit = at_t ? " Pa" : " K";
    scan_report_ = std::string("the tangent-plane test finds no instability towards a ") +
                   (kind_ == Kind::bubble ? "vapour" : "liquid") + " at any " +
                   (at_t ? "pressure" : "temperature") + " of a scan from " +
                   format_number(at_t ? kScanLowestPressure : kScanLowestTemperature) + " to " +
                   format_number(at_t ? kScanHighestPressure : kScanHighestTemperature) + unit + " in steps of " +
                   format_number(100.0 * (factor - 1.0)) + " %";
    return false;
}

// From a stable control value (NaN where none is known) and an unstable one
// with its test: narrows the change and starts there, with the trial phase as
// the incipient one; false when the two phases there are not a liquid and a
// distinct vapour.
bool PointSolver::start_between(double c_stable, double c_unstable, StabilityResult unstable_test) {
    const bool at_t = given_ == Given::temperature;
    auto state = [&](double c, double &t, double &p) {
        (at_t ? p : t) = std::exp(c);
        (at_t ? t : p) = at_t ? t_ : p_;
    };
    StabilityResult test;
    for (int k = 0; k < kScanBisections && std::isfinite(c_stable); ++k) {
        const double c = 0.5 * (c_stable + c_unstable);
        double t, p;
        state(c, t, p);
        if (unstable_at(t, p, test)) {
            c_unstable = c;
            unstable_test = test;
        } else if (test.status == Status::converged) {
            c_stable = c;
        } else {
            break;
        }
    }
    double t, p;
    state(c_unstable, t, p);
    double sum = 0.0;
    std::vector<double> w(vol_.size());
    for (std::size_t i = 0; i < vol_.size(); ++i) sum += w[i] = unstable_test.trial[vol_[i]];
    if (!(sum > 0.0)) return false;
    for (double &wi : w) wi /= sum;
    // The volume scale between the two phases, from both at the start.
    const std::vector<double> &liquid_x = kind_ == Kind::bubble ? fixed_ : w;
    const std::vector<double> &vapour_y = kind_ == Kind::bubble ? w : fixed_;
    const PhasePoint l = liquid_->evaluate(t, p, liquid_x.data(), PhaseKind::liquid, ln_phi_l_.data());
    const PhasePoint v = vapour_->evaluate(t, p, vapour_y.data(), PhaseKind::vapour, ln_phi_v_.data());
    if (!l.root_found || !v.root_found || !(v.v_apparent > l.v_apparent)) return false;
    t_ = t;
    p_ = p;
    w_ = w;
    v_mid_ = std::sqrt(l.v_apparent * v.v_apparent);
    return true;
}

bool PointSolver::start_at_temperature() {
    if (std::isfinite(guess_.p) && guess_.p > 0.0 && guess_.incipient.size() == system_.size()) {
        // A neighbouring point: start there; its volumes set v_mid at the first pass.
        double sum = 0.0;
        for (std::size_t i = 0; i < vol_.size(); ++i) sum += w_[i] = std::max(guess_.incipient[vol_[i]], 0.0);
        if (sum > 0.0 && std::isfinite(sum)) {
            for (double &wi : w_) wi /= sum;
            p_ = guess_.p;
            v_mid_ = not_a_number;
            return true;
        }
    }
    return start_from_probes();
}

bool PointSolver::start_from_probes() {
    double h;
    for (double p : kProbePressures) {
        if (probe(t_, p, p_, h)) return true;
    }
    return kind_ == Kind::dew && probe_pure_liquids(t_, kProbePressures[0], p_);
}

// A first T at the given P: the ideal-vapour estimate of the pressure from a
// probe liquid (see probe) set equal to P by secant steps in 1/T.
bool PointSolver::start_at_pressure() {
    double t = std::isfinite(guess_.t) && guess_.t > 0.0 ? guess_.t : 300.0;
    auto mismatch = [&](double tt, double &f) {
        double p_estimate, h;
        const bool ok =
            probe(tt, p_, p_estimate, h) || (kind_ == Kind::dew && probe_pure_liquids(tt, p_, p_estimate));
        f = ok ? std::log(p_estimate / p_) : not_a_number;
        return ok;
    };
    double f = not_a_number;
    for (int attempt = 0; attempt < 12 && !mismatch(t, f); ++attempt) t *= 0.85;  // no liquid: colder
    if (!std::isfinite(f)) return false;
    double t_prev = t, f_prev = f;
    t *= f > 0.0 ? 0.95 : 1.05;
    for (int it = 0; it < 8; ++it) {
        if (!mismatch(t, f)) {
            t = 0.5 * (t + t_prev);  // stepped out of the liquid: back half-way
            continue;
        }
        if (std::fabs(f) < 1e-3) break;
        const double u = 1.0 / t, u_prev = 1.0 / t_prev;
        double u_next = u - f * (u - u_prev) / (f - f_prev);
        if (!(u_next > 0.0) || !std::isfinite(u_next)) break;
        u_next = std::clamp(u_next, 0.7 * u, 1.4 * u);
        t_prev = t;
        f_prev = f;
        t = 1.0 / u_next;
    }
    if (!std::isfinite(f)) return false;
    t_ = t;
    return true;
}

PointSolver::Evaluation PointSolver::evaluate() {
    Evaluation e;
    const bool want_h = given_ == Given::pressure;
    std::vector<double> &liquid_x = kind_ == Kind::bubble ? fixed_ : w_;
    std::vector<double> &vapour_y = kind_ == Kind::bubble ? w_ : fixed_;
    // A bubble point's liquid keeps its composition: its low-pressure
    // reference (used only if the root search fails) is kept while T is.
    if (!low_liquid_ || kind_ == Kind::dew || low_liquid_t_ != t_) {
        low_liquid_.emplace(*liquid_, t_, liquid_x.data(), Wanted{want_h, false});
        low_liquid_t_ = t_;
    }
    e.liquid = low_liquid_->at(p_, ln_phi_l_.data());
    e.vapour = vapour_->evaluate(t_, p_, vapour_y.data(), PhaseKind::vapour, ln_phi_v_.data(),
                                 Wanted{want_h, false});
    double s = 0.0;
    for (std::size_t i = 0; i < vol_.size(); ++i) {
        const double ln_k = ln_phi_l_[liquid_index(i)] - ln_phi_v_[i];
        w_next_[i] = kind_ == Kind::bubble ? x_liquid(i) * std::exp(ln_k) : y_vapour(i) * std::exp(-ln_k);
        s += w_next_[i];
    }
    e.ln_s = std::log(s);
    for (std::size_t i = 0; i < vol_.size(); ++i) {
        w_next_[i] /= s;
        const double x = x_liquid(i), y = y_vapour(i);
        if (x > 0.0 && y > 0.0) {
            const double d = std::log(x) + ln_phi_l_[liquid_index(i)] - std::log(y) - ln_phi_v_[i];
            e.residual = std::max(e.residual, std::fabs(d));
        } else if (x > 0.0 || y > 0.0) {
            e.residual = detail::kInf;  // a component in one phase only is not in equilibrium yet
        }
    }
    if (want_h) e.h_liquid = e.liquid.h * e.liquid.v_apparent / e.liquid.v;
    return e;
}

// Every few passes: extrapolate ln w along the dominant eigenvalue of the
// substitution (the last two changes point the same way and shrink by lambda).
void PointSolver::accelerate(int iteration) {
    auto &h = ln_w_history_;
    h[0] = h[1];
    h[1] = h[2];
    h[2].resize(w_.size());
    for (std::size_t i = 0; i < w_.size(); ++i) h[2][i] = w_[i] > 0.0 ? std::log(w_[i]) : 0.0;
    if (iteration < 3 || iteration % kAccelerationPeriod != 0 || h[0].size() != w_.size()) return;
    double dd = 0.0, d0 = 0.0;
    for (std::size_t i = 0; i < w_.size(); ++i) {
        const double a = h[2][i] - h[1][i], b = h[1][i] - h[0][i];
        dd += a * b;
        d0 += b * b;
    }
    const double lambda = d0 > 0.0 ? dd / d0 : 0.0;
    if (!(lambda > 0.0 && lambda < 0.95)) return;
    double sum = 0.0;
    for (std::size_t i = 0; i < w_.size(); ++i) {
        if (w_[i] <= 0.0) continue;
        w_[i] = std::exp(h[2][i] + (h[2][i] - h[1][i]) * lambda / (1.0 - lambda));
        sum += w_[i];
    }
    for (double &wi : w_) wi /= sum;
}

void PointSolver::fill(BubbleDewResult &r, const Evaluation &e) {
    returned_carried_ = e.liquid.carried;
    const std::size_t n = system_.size();
    r.status = Status::converged;
    r.t = t_;
    r.p = p_;
    r.x.assign(n, 0.0);
    r.y.assign(n, 0.0);
    for (std::size_t i = 0; i < vol_.size(); ++i) {
        r.y[vol_[i]] = y_vapour(i);
        if (kind_ == Kind::dew) r.x[vol_[i]] = x_liquid(i);
    }
    if (kind_ == Kind::bubble) r.x = fixed_;
    r.v_liquid = e.liquid.v;
    r.v_vapour = e.vapour.v;
    r.residual = e.residual;
    r.ln_phi_liquid.assign(n, not_a_number);
    r.ln_phi_vapour.assign(n, not_a_number);
    if (kind_ == Kind::bubble) r.ln_phi_liquid = ln_phi_l_;
    for (std::size_t i = 0; i < vol_.size(); ++i) {
        r.ln_phi_vapour[vol_[i]] = ln_phi_v_[i];
        if (kind_ == Kind::dew) r.ln_phi_liquid[vol_[i]] = ln_phi_l_[i];
    }
}

// How finely the monitors resolve the liquid's ln phi at the state reached. The host accepts a density
// root within 1e-14 |V dP/dV|, which may move ln phi by up to 1e-14 |V dP/dV| / P: for a liquid at a
// few kPa far more than the tolerance, so that the same state, its mole fractions rounded another way
// by the caller who evaluates it again, can land elsewhere in that window. Measured here as the
// largest change of ln phi when the liquid's mole fractions move by a few ulps (the smooth change is
// about 1e-15); 0 where that is within the tolerance.
double PointSolver::liquid_resolution() {
    std::vector<double> x = kind_ == Kind::bubble ? fixed_ : w_;
    const std::size_t heaviest = static_cast<std::size_t>(std::max_element(x.begin(), x.end()) - x.begin());
    std::vector<double> ln_phi(liquid_->size()), reference = ln_phi_l_;
    double jitter = 0.0;
    for (const double ulps : {-4.0, -1.0, 1.0, 4.0}) {
        std::vector<double> moved = x;
        moved[heaviest] *= 1.0 + ulps * std::numeric_limits<double>::epsilon();
        const PhasePoint l = liquid_->evaluate(t_, p_, moved.data(), PhaseKind::liquid, ln_phi.data());
        if (!l.root_found) continue;
        for (std::size_t i = 0; i < vol_.size(); ++i) {
            const std::size_t k = liquid_index(i);
            jitter = std::max(jitter, std::fabs(ln_phi[k] - reference[k]));
        }
    }
    return jitter > kTolerance ? jitter : 0.0;
}

BubbleDewResult PointSolver::solve() {
    BubbleDewResult r;
    const detail::CallCounter counter(system_.session());
    if (const std::string fault = check_input(); !fault.empty()) {
        r.status = Status::invalid_input;
        r.message = fault;
        return r;
    }
    if (std::string missing = detail::missing_parameter_message({liquid_, vapour_}); !missing.empty()) {
        r.status = Status::missing_parameter;
        r.message = std::move(missing);
        return r;
    }
    const char *what = kind_ == Kind::bubble ? "bubble" : "dew";
    const bool started = (given_ == Given::temperature ? start_at_temperature() : start_at_pressure()) ||
                         start_from_stability();
    if (!started) {
        r.status = scan_report_.empty() ? Status::not_converged : Status::supercritical;
        r.message = std::string("no ") + what + " point " +
                    (given_ == Given::temperature ? "at T = " + format_number(t_) + " K"
                                                  : "at P = " + format_number(p_) + " Pa") +
                    (scan_report_.empty() ? ": no start was found (neither a liquid probe nor the tangent-plane scan)"
                                          : ": " + scan_report_);
        r.evaluations = counter.calls();
        r.monitor_messages = system_.session().take_messages();
        return r;
    }

    // Control variable: ln P at given T, 1/T at given P. ln S falls as it
    // grows for a bubble point and rises for a dew point.
    const bool at_t = given_ == Given::temperature;
    const double sign = kind_ == Kind::bubble ? 1.0 : -1.0;
    double c = at_t ? std::log(p_) : 1.0 / t_;
    Bracket bracket;
    double best = detail::kInf, last_c = not_a_number, last_ln_s = not_a_number;
    BubbleDewResult best_resolved;  // one volatile at given T: the best state evaluated
    detail::NoisyRoot noisy;
    int trivial = 0;
    bool distinct = false;
    for (int it = 1; it <= kMaxIterations; ++it) {
        r.iterations = it;
        (at_t ? p_ : t_) = at_t ? std::exp(c) : 1.0 / c;
        const Evaluation e = evaluate();
        const double rt = system_.gas_constant() * t_;
        const bool l_found = e.liquid.root_found, v_found = e.vapour.root_found;
        if (std::isnan(v_mid_)) {
            // Started from a guess: trust it if it shows a liquid and a vapour.
            if (l_found && v_found && e.vapour.v_apparent > 2.0 * e.liquid.v_apparent) {
                v_mid_ = std::sqrt(e.liquid.v_apparent * e.vapour.v_apparent);
            } else if (start_from_probes() || start_from_stability()) {
                c = at_t ? std::log(p_) : 1.0 / t_;
                continue;
            } else {
                r.status = Status::supercritical;
                r.message = std::string("no liquid found to start the ") + what + " point from";
                break;
            }
        }
        const bool liquid_like = l_found && e.liquid.v_apparent < v_mid_;
        const bool vapour_like = v_found && e.vapour.v_apparent > v_mid_;
        double newton = not_a_number;
        if (!l_found && !v_found) {
            r.status = Status::root_failure;
            r.message = "neither density root found at T = " + format_number(t_) +
                        " K, P = " + format_number(p_) + " Pa";
            break;
        }
        distinct = liquid_like && vapour_like;
        if (distinct) {
            best = std::min(best, e.residual);
            if (e.residual <= kTolerance) {
                fill(r, e);
                break;
            }
            double max_ln_k = 0.0;
            for (std::size_t i = 0; i < vol_.size(); ++i)
                max_ln_k = std::max(max_ln_k, std::fabs(ln_phi_l_[liquid_index(i)] - ln_phi_v_[i]));
            const bool alike = std::fabs(e.vapour.v_apparent / e.liquid.v_apparent - 1.0) < kTrivialVolumes;
            trivial = max_ln_k < kTrivialLnK && alike ? trivial + 1 : 0;
            if (trivial >= 3 && start_from_stability()) {
                // The iteration lost the incipient phase: start again where
                // the tangent-plane test shows it.
                trivial = 0;
                bracket = Bracket{};
                c = at_t ? std::log(p_) : 1.0 / t_;
                continue;
            }
            if (trivial >= 3) {
                // Only the tangent-plane scan can say there is no second phase.
                r.status = scan_report_.empty() ? Status::not_converged : Status::supercritical;
                r.message = std::string("the ") + what +
                            "-point iteration went to the trivial solution (both phases alike)" +
                            (scan_report_.empty() ? " although the tangent-plane test shows a second phase"
                                                  : ": the mixture has no " + std::string(what) + " point here; " +
                                                        scan_report_);
                break;
            }
            v_mid_ = std::sqrt(e.liquid.v_apparent * e.vapour.v_apparent);
            (sign * e.ln_s > 0.0 ? bracket.lo : bracket.hi) = c;
            if (at_t) {
                const double z_l = p_ * e.liquid.v_apparent / rt;
                const double g = sign * e.ln_s;
                newton = detail::model_step(g, z_l, e.vapour.z, p_);
                if (!std::isfinite(newton)) newton = c - g / (z_l - e.vapour.z);
                if (vol_.size() == 1) {
                    // One volatile (a solvent over a polymer, at low pressure):
                    // its liquid ln phi may be too coarse for the tolerance
                    // (see detail::NoisyRoot); the best evaluated state is
                    // then the answer, so that evaluating it again gives the
                    // same residual.
                    if (e.residual < best_resolved.residual || !std::isfinite(best_resolved.residual))
                        fill(best_resolved, e);
                    noisy.add(c, g, z_l - e.vapour.z);
                    if (noisy.resolved(best_resolved.residual)) {
                        r = best_resolved;
                        r.iterations = it;
                        r.message = "converged to the resolution of the monitors' ln phi at this pressure (about " +
                                    format_number(noisy.noise()) + ")";
                        break;
                    }
                }
            } else {
                // d ln S / d(1/T) from the last two passes when they agree in
                // sign with the heat of vaporisation; that alone at first.
                const double dh = e.vapour.h - e.h_liquid;  // about the heat of vaporisation
                double slope = dh > 0.0 ? -sign * dh / system_.gas_constant() : not_a_number;
                if (std::isfinite(last_c) && c != last_c) {
                    const double secant = (e.ln_s - last_ln_s) / (c - last_c);
                    if (std::isfinite(secant) && secant * sign < 0.0) slope = secant;
                }
                if (std::isfinite(slope)) newton = c - e.ln_s / slope;
            }
            last_c = c;
            last_ln_s = e.ln_s;
            std::copy(w_next_.begin(), w_next_.end(), w_.begin());
            accelerate(it);
        } else {
            // The liquid came out vapour-like: below its spinodal (P too low,
            // T too high). Or the vapour came out liquid-like: the other side.
            const bool liquid_missing = !liquid_like && (!l_found || e.liquid.v_apparent >= v_mid_);
            (liquid_missing ? bracket.lo : bracket.hi) = c;
        }
        if (!distinct && bracket.closed(1e-12 * std::fabs(c) + 1e-14) && start_from_stability()) {
            bracket = Bracket{};
            c = at_t ? std::log(p_) : 1.0 / t_;
            continue;
        }
        if (!distinct && bracket.closed(1e-12 * std::fabs(c) + 1e-14)) {
            r.status = scan_report_.empty() ? Status::not_converged : Status::supercritical;
            r.message = std::string("no ") + what +
                        " point: no state with a liquid and a vapour root was found near " +
                        (at_t ? "P = " + format_number(p_) + " Pa" : "T = " + format_number(t_) + " K") +
                        (scan_report_.empty() ? "" : "; " + scan_report_);
            break;
        }
        c = bracket.next(newton, c, at_t ? 0.5 : 0.05 * c);
        if (!at_t && !(c > 0.0)) c = 0.5 * bracket.lo;
    }
    if (r.status == Status::not_converged) {
        r.message = std::string(what) + " point not converged after " + std::to_string(r.iterations) +
                    " iterations; best max |ln f_L - ln f_V| = " + format_number(best);
        r.residual = best;
    }
    if (r.status != Status::converged) {
        r.t = at_t ? t_ : not_a_number;
        r.p = at_t ? not_a_number : p_;
    }
    if (r.status == Status::converged && r.message.empty() && !returned_carried_) {
        const double resolution = liquid_resolution();
        if (resolution > 0.0)
            r.message = "converged to the resolution of the monitors' ln phi at this pressure (about " +
                        format_number(resolution) + ")";
    }
    r.evaluations = counter.calls();
    r.monitor_messages = system_.session().take_messages();
    if (returned_carried_ && r.status == Status::converged) {
        const std::string carried =
            "the monitor gives no liquid root at this pressure; the liquid was carried here from 1e4 Pa or above "
            "(quadratic in P)";
        r.message = r.message.empty() ? carried : r.message + "; " + carried;
    }
    return r;
}

}  // namespace

BubbleDewResult bubble_pressure(System &system, double t, std::span<const double> x,
                                const BubbleDewGuess &guess) {
    if (auto on_model = detail::model_bubble_dew(system, detail::IncipientPhase::vapour, true, t, x, guess))
        return std::move(*on_model);
    return PointSolver(system, Kind::bubble, Given::temperature, t, x, guess).solve();
}

BubbleDewResult bubble_temperature(System &system, double p, std::span<const double> x,
                                   const BubbleDewGuess &guess) {
    if (auto on_model = detail::model_bubble_dew(system, detail::IncipientPhase::vapour, false, p, x, guess))
        return std::move(*on_model);
    return PointSolver(system, Kind::bubble, Given::pressure, p, x, guess).solve();
}

BubbleDewResult dew_pressure(System &system, double t, std::span<const double> y,
                             const BubbleDewGuess &guess) {
    if (auto on_model = detail::model_bubble_dew(system, detail::IncipientPhase::liquid, true, t, y, guess))
        return std::move(*on_model);
    return PointSolver(system, Kind::dew, Given::temperature, t, y, guess).solve();
}

BubbleDewResult dew_temperature(System &system, double p, std::span<const double> y,
                                const BubbleDewGuess &guess) {
    if (auto on_model = detail::model_bubble_dew(system, detail::IncipientPhase::liquid, false, p, y, guess))
        return std::move(*on_model);
    return PointSolver(system, Kind::dew, Given::pressure, p, y, guess).solve();
}

}  // namespace keld::equilibria
