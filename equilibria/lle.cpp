// Liquid-liquid demixing of a binary (see lle.h).
#include "keld/equilibria/lle.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "lle_model.h"
#include "low_pressure_liquid.h"
#include "numerics.h"
#include "parameters.h"

namespace keld::equilibria {
namespace {

using detail::format_number;
using detail::kInf;

constexpr double kTolerance = 1e-13;  // |ln f_i' - ln f_i''| at the binodal: a lean phase to about 1e-9
constexpr double kLiquidLikeZ = 0.3;  // apparent-basis Z above which a root is no liquid
constexpr double kScanLow = -11.5;    // s = ln(w/(1-w)) of the scan: w from 1e-5 ...
constexpr double kScanHigh = 6.9;     // ... to 0.999
constexpr int kScanPoints = 48;
constexpr double kDerivativeStep = 1e-3;     // in s, central differences (noise 1e-11, truncation 1e-7)
constexpr double kLowestS = -700.0;          // a lean phase below exp(-700) is not resolved
constexpr double kCriticalTolerance = 1e-8;  // relative, on the critical temperature
constexpr double kNewtonHandOver = 1e-6;     // |ln f_1' - ln f_1''| from which the model's Newton finishes

double weight_of(double s) {
    return detail::weight_of_logit(s);
}

// The binary's model when the system has one (exact derivatives); else the monitors.
std::optional<detail::ModelBinary> model_binary(System &system, double p) {
    const Model *model = system.mixture_model().model;
    if (model == nullptr || model->size() != 2) return std::nullopt;
    return detail::ModelBinary(*model, p, std::max(1.0, system.mixture().segment_ratio(1)));
}

// The liquid of the binary at one T and P as a function of s.
class Binary {
  public:
    Binary(System &system, double t, double p)
        : system_(system), t_(t), p_(p), x_(2), ln_phi_(2), model_(model_binary(system, p)) {}

    struct Point {
        bool ok = false;  // a liquid root
        double ln_f1 = not_a_number, ln_f2 = not_a_number;
    };

    Point at(double s, LlePhase *phase = nullptr) {
        if (model_) return at_on_model(s, phase);
        const double w = weight_of(s);
        // x2 = (w/M2) / (w/M2 + (1-w)/M1), written to keep tiny w exact.
        const double m1 = system_.component(0).mwn, m2 = system_.component(1).mwn;
        const double r = std::exp(s) * m1 / m2;  // (w/M2) / ((1-w)/M1)
        x_[1] = std::isfinite(r) ? r / (1.0 + r) : 1.0;
        x_[0] = std::isfinite(r) ? 1.0 / (1.0 + r) : 0.0;
        detail::LowPressureLiquid liquid(system_.mixture(), t_, x_.data(), Wanted{});
        const PhasePoint point = liquid.at(p_, ln_phi_.data());
        Point out;
        const double z_app = p_ * point.v_apparent / (system_.gas_constant() * t_);
        out.ok = point.root_found && z_app < kLiquidLikeZ;
        const double ln_p = std::log(p_);
        out.ln_f1 = std::log(x_[0]) + ln_phi_[0] + ln_p;
        out.ln_f2 = std::log(x_[1]) + ln_phi_[1] + ln_p;
        if (phase != nullptr) {
            phase->x = x_;
            phase->w = {1.0 - w, w};
            if (s > 0.0) phase->w[0] = 1.0 / (1.0 + std::exp(s));
            phase->ln_phi = ln_phi_;
            phase->v = point.v;
        }
        return out;
    }

    // d ln f_1 / dw (from a difference in s); NaN where a liquid is missing.
    // Per unit w rather than s, so that the dilute end, where the derivative
    // in s vanishes with w, never looks like the most unstable composition.
    double stability(double s) {
        if (model_) {
            const detail::BinaryState state = model_->at(t_, s);
            if (!state.ok) return not_a_number;
            const double w = weight_of(s);
            return -state.x[1] * state.sigma / (w * (1.0 - w));  // d ln f_1/ds = -x2 sigma
        }
        const Point a = at(s - kDerivativeStep), b = at(s + kDerivativeStep);
        if (!a.ok || !b.ok) return not_a_number;
        const double w = weight_of(s);
        return (b.ln_f1 - a.ln_f1) / (2.0 * kDerivativeStep) / (w * (1.0 - w));
    }

    double t() const { return t_; }
    double p() const { return p_; }
    const detail::ModelBinary *model() const { return model_ ? &*model_ : nullptr; }

  private:
    Point at_on_model(double s, LlePhase *phase) {
        const detail::BinaryState state = model_->at(t_, s, false);
        Point out;
        out.ok = state.ok;
        out.ln_f1 = state.ln_f[0];
        out.ln_f2 = state.ln_f[1];
        if (phase != nullptr) {
            const double w = weight_of(s);
            phase->x = {state.x[0], state.x[1]};
            phase->w = {s > 0.0 ? 1.0 / (1.0 + std::exp(s)) : 1.0 - w, w};
            phase->ln_phi = state.ln_phi;
            phase->v = state.v;
        }
        return out;
    }

    System &system_;
    double t_, p_;
    std::vector<double> x_, ln_phi_;
    std::optional<detail::ModelBinary> model_;
};

// Largest d ln f_1/ds over s and where it is: grid, then golden section
// around the grid's largest value.
struct Extremum {
    bool ok = false;
    double s = not_a_number, value = not_a_number;
    std::vector<double> grid_s, grid_d;  // the scan, for the spinodal brackets
};

Extremum largest_stability(Binary &b) {
    Extremum e;
    std::size_t best = 0;
    for (int k = 0; k < kScanPoints; ++k) {
        const double s = kScanLow + (kScanHigh - kScanLow) * k / (kScanPoints - 1);
        const double d = b.stability(s);
        if (!std::isfinite(d)) return e;
        e.grid_s.push_back(s);
        e.grid_d.push_back(d);
        if (d > e.grid_d[best]) best = e.grid_s.size() - 1;
    }
    double lo = e.grid_s[best == 0 ? 0 : best - 1],
           hi = e.grid_s[std::min<std::size_t>(best + 1, kScanPoints - 1)];
    const double golden = 0.5 * (std::sqrt(5.0) - 1.0);
    double a = hi - golden * (hi - lo), c = lo + golden * (hi - lo);
    double fa = b.stability(a), fc = b.stability(c);
    for (int it = 0; it < 40 && hi - lo > 1e-7; ++it) {
        if (fa > fc) {
            hi = c;
            c = a;
            fc = fa;
            a = hi - golden * (hi - lo);
            fa = b.stability(a);
        } else {
            lo = a;
            a = c;
            fa = fc;
            c = lo + golden * (hi - lo);
            fc = b.stability(c);
        }
    }
    e.s = fa > fc ? a : c;
    e.value = std::max(fa, fc);
    if (e.grid_d[best] > e.value) {
        e.s = e.grid_s[best];
        e.value = e.grid_d[best];
    }
    e.ok = std::isfinite(e.value);
    return e;
}

// A zero of d ln f_1/ds between a stable and an unstable point.
double refine_spinodal(Binary &b, double stable_s, double unstable_s) {
    double lo = stable_s, hi = unstable_s;
    double flo = b.stability(lo), fhi = b.stability(hi);
    // The model's exact stability resolves the zero to round-off; differences of monitor calls to 1e-10.
    const double width = b.model() != nullptr ? 1e-13 : 1e-10;
    for (int it = 0; it < 80 && std::fabs(hi - lo) > width; ++it) {
        // Secant (regula falsi, Illinois) inside the bracket.
        double m = hi - fhi * (hi - lo) / (fhi - flo);
        if (!std::isfinite(m) || (m - lo) * (m - hi) >= 0.0) m = 0.5 * (lo + hi);
        const double fm = b.stability(m);
        if (!std::isfinite(fm)) break;
        if ((fm > 0.0) == (fhi > 0.0)) {
            hi = m;
            fhi = fm;
            flo *= 0.5;
        } else {
            lo = m;
            flo = fm;
            fhi *= 0.5;
        }
    }
    return 0.5 * (lo + hi);
}

SpinodalResult spinodal_with(Binary &b, Extremum &e) {
    SpinodalResult r;
    r.t = b.t();
    r.p = b.p();
    e = largest_stability(b);
    if (!e.ok) {
        r.status = Status::no_solution;
        r.message = "no liquid root over the composition range at T = " + format_number(b.t()) +
                    " K, P = " + format_number(b.p()) + " Pa";
        return r;
    }
    if (!(e.value > 0.0)) {
        r.status = Status::supercritical;
        r.message =
            "the liquid is stable at every composition at T = " + format_number(b.t()) + " K (no demixing)";
        return r;
    }
    // The unstable region around the extremum, bounded by stable grid points.
    double left = kScanLow, right = kScanHigh;
    for (std::size_t k = 0; k < e.grid_s.size(); ++k) {
        if (e.grid_s[k] < e.s && e.grid_d[k] < 0.0) left = e.grid_s[k];
        if (e.grid_s[k] > e.s && e.grid_d[k] < 0.0) {
            right = e.grid_s[k];
            break;
        }
    }
    if (!(b.stability(left) < 0.0) || !(b.stability(right) < 0.0)) {
        r.status = Status::not_converged;
        r.message = "the unstable region reaches the end of the composition scan";
        return r;
    }
    r.w_lean = weight_of(refine_spinodal(b, left, e.s));
    r.w_rich = weight_of(refine_spinodal(b, right, e.s));
    r.status = Status::converged;
    return r;
}

double logit(double w) {
    return std::log(w / (1.0 - w));
}

// The lean phase s' < s1 with ln f_2(s') = target (ln f_2 rises with s
// there); none when even the spinodal's value stays below the target.
// `scale` is the round-off level of ln f_2 (a polymer's ln phi is large).
std::optional<double> lean_for(Binary &b, double target, double s1, double start, double scale) {
    const Binary::Point top = b.at(s1);
    if (!top.ok || top.ln_f2 <= target) return std::nullopt;
    double lo = kLowestS, hi = s1;
    double s = std::min(start, s1 - 1e-3);
    Binary::Point p = b.at(s);
    if (!p.ok) return std::nullopt;
    double s_prev = not_a_number, f_prev = not_a_number, best = kInf, s_best = s;
    for (int it = 0; it < 100; ++it) {
        const double f = p.ln_f2 - target;
        if (std::fabs(f) < best) {
            best = std::fabs(f);
            s_best = s;
        }
        if (std::fabs(f) < 1e-14 * scale) return s;
        (f < 0.0 ? lo : hi) = s;
        double slope = 1.0;  // ln f_2 ~ ln x_2 + const on the dilute side
        if (std::isfinite(s_prev) && s != s_prev) {
            const double secant = (f - f_prev) / (s - s_prev);
            if (secant > 0.0) slope = secant;
        }
        double next = s - f / slope;
        if (!(next > lo && next < hi)) next = lo > kLowestS ? 0.5 * (lo + hi) : s - 2.0 * std::fabs(f) - 1.0;
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        if (hi - lo < 4e-16 * std::max(1.0, std::fabs(s))) break;  // round-off: the best point is the answer
        s_prev = s;
        f_prev = f;
        s = next;
        p = b.at(s);
        if (!p.ok) return std::nullopt;
    }
    return best < kTolerance * scale ? std::optional<double>(s_best) : std::nullopt;
}

}  // namespace

SpinodalResult spinodal(System &system, double t, double p) {
    SpinodalResult r;
    if (system.size() != 2) {
        r.status = Status::invalid_input;
        r.message = "liquid-liquid demixing is computed for a binary (a solvent and a polymer)";
        return r;
    }
    if (std::string missing = detail::missing_parameter_message({&system.mixture()}); !missing.empty()) {
        r.status = Status::missing_parameter;
        r.message = std::move(missing);
        return r;
    }
    const detail::CallCounter counter(system.session());
    Binary b(system, t, p);
    Extremum e;
    r = spinodal_with(b, e);
    r.evaluations = counter.calls();
    r.monitor_messages = system.session().take_messages();
    return r;
}

BinodalResult binodal(System &system, double t, double p) {
    BinodalResult r;
    r.t = t;
    r.p = p;
    if (system.size() != 2) {
        r.status = Status::invalid_input;
        r.message = "liquid-liquid demixing is computed for a binary (a solvent and a polymer)";
        return r;
    }
    if (std::string missing = detail::missing_parameter_message({&system.mixture()}); !missing.empty()) {
        r.status = Status::missing_parameter;
        r.message = std::move(missing);
        return r;
    }
    if (!(std::isfinite(t) && t > 0.0 && std::isfinite(p) && p > 0.0)) {
        r.status = Status::invalid_input;
        r.message = "T and P must be positive numbers";
        return r;
    }
    const detail::CallCounter counter(system.session());
    auto finish = [&]() -> BinodalResult & {
        r.evaluations = counter.calls();
        r.monitor_messages = system.session().take_messages();
        return r;
    };
    Binary b(system, t, p);
    Extremum e;
    r.spinodal = spinodal_with(b, e);
    if (r.spinodal.status != Status::converged) {
        static_cast<Outcome &>(r) = r.spinodal;
        return finish();
    }
    const double s1 = logit(r.spinodal.w_lean), s2 = logit(r.spinodal.w_rich);
    // Chemical potentials per segment: the polymer's ln f is compared
    // relative to its number of repeat units.
    const double segments = std::max(1.0, system.mixture().segment_ratio(1));

    // Phi(s'') = ln f_1(s'') - ln f_1(s'(s'')): positive next to the rich
    // spinodal, negative further out or where no lean phase matches.
    double lean_start = s1 - 2.0, s_lean = not_a_number;
    auto phi = [&](double s_rich, double &value) -> bool {
        const Binary::Point rich = b.at(s_rich);
        if (!rich.ok) return false;
        const std::optional<double> lean = lean_for(b, rich.ln_f2, s1, lean_start, segments);
        if (!lean) {
            value = -kInf;
            return true;
        }
        s_lean = *lean;
        lean_start = *lean;
        value = rich.ln_f1 - b.at(*lean).ln_f1;
        return true;
    };
    double lo = s2, hi = not_a_number, f_lo = kInf, f_hi = -kInf, value = 0.0;
    // Open the bracket outwards from the rich spinodal.
    for (double step = 0.25 * (s2 - s1) + 0.1;; step *= 2.0) {
        const double s = s2 + step;
        if (s > kScanHigh + 6.0 || !phi(s, value)) break;
        if (value < 0.0) {
            hi = s;
            f_hi = value;
            break;
        }
        lo = s;
        f_lo = value;
    }
    if (!std::isfinite(hi)) {
        r.status = Status::not_converged;
        r.message = "the polymer-rich phase of the binodal was not bracketed";
        return finish();
    }
    double s_rich = not_a_number;
    for (int it = 1; it <= 200; ++it) {
        r.iterations = it;
        double m = (std::isfinite(f_lo) && std::isfinite(f_hi)) ? hi - f_hi * (hi - lo) / (f_hi - f_lo)
                                                                : 0.5 * (lo + hi);
        if (!std::isfinite(m) || (m - lo) * (m - hi) >= 0.0) m = 0.5 * (lo + hi);
        if (!phi(m, value)) break;
        s_rich = m;
        if (std::fabs(value) < kTolerance) break;
        if (b.model() != nullptr && std::fabs(value) < kNewtonHandOver) {
            // Close enough for Newton with the exact Jacobian; the bracket goes on if it fails.
            const detail::BinodalPair pair = detail::newton_binodal(*b.model(), t, s_lean, s_rich, kTolerance);
            if (pair.ok) {
                s_lean = pair.s_lean;
                s_rich = pair.s_rich;
                r.iterations += pair.iterations;
                break;
            }
        }
        if (value > 0.0) {
            lo = m;
            f_lo = value;
            if (std::isfinite(f_hi)) f_hi *= 0.5;
        } else {
            hi = m;
            f_hi = value;
            if (std::isfinite(f_lo)) f_lo *= 0.5;
        }
        if (hi - lo < 1e-15 * std::max(1.0, std::fabs(hi))) break;
    }
    if (b.model() != nullptr && std::isfinite(s_lean) && std::isfinite(s_rich)) {
        // Newton with the exact Jacobian from the bracketed pair: the last digits.
        const detail::BinodalPair pair = detail::newton_binodal(*b.model(), t, s_lean, s_rich, kTolerance);
        const detail::BinaryState l = b.model()->at(t, s_lean, false), h = b.model()->at(t, s_rich, false);
        if (pair.residual < b.model()->residual(l, h)) {
            s_lean = pair.s_lean;
            s_rich = pair.s_rich;
            r.iterations += pair.iterations;
        }
    }
    const Binary::Point lean = b.at(s_lean, &r.lean), rich = b.at(s_rich, &r.rich);
    r.residual = std::max(std::fabs(lean.ln_f1 - rich.ln_f1), std::fabs(lean.ln_f2 - rich.ln_f2) / segments);
    if (!(r.residual <= kTolerance)) {
        r.status = Status::not_converged;
        r.message = "binodal not converged after " + std::to_string(r.iterations) +
                    " iterations; max |ln f' - ln f''| = " + format_number(r.residual);
        return finish();
    }
    r.status = Status::converged;
    return finish();
}

CriticalResult critical_solution_point(System &system, double p, double t_from, double t_to) {
    CriticalResult r;
    if (system.size() != 2) {
        r.status = Status::invalid_input;
        r.message = "liquid-liquid demixing is computed for a binary (a solvent and a polymer)";
        return r;
    }
    if (std::string missing = detail::missing_parameter_message({&system.mixture()}); !missing.empty()) {
        r.status = Status::missing_parameter;
        r.message = std::move(missing);
        return r;
    }
    const detail::CallCounter counter(system.session());
    auto largest = [&](double t, double &s) {
        Binary b(system, t, p);
        const Extremum e = largest_stability(b);
        s = e.s;
        return e.ok ? e.value : not_a_number;
    };
    double s_a = not_a_number, s_b = not_a_number;
    double a = t_from, b = t_to, fa = largest(a, s_a), fb = largest(b, s_b);
    if (!std::isfinite(fa) || !std::isfinite(fb) || (fa > 0.0) == (fb > 0.0)) {
        r.status = Status::no_solution;
        r.message = "the stability of the liquid does not change sign between " + format_number(t_from) +
                    " and " + format_number(t_to) + " K";
        r.evaluations = counter.calls();
        return r;
    }
    r.point.kind = fa > 0.0 ? CriticalKind::upper : CriticalKind::lower;
    // The critical composition is where the stability peaks on the unstable side.
    double s_unstable = fa > 0.0 ? s_a : s_b;
    if (const std::optional<detail::ModelBinary> mb = model_binary(system, p)) {
        // On the model: sigma = 0 where it is least over s, solved in T.
        const detail::ModelCriticalPoint c = detail::model_critical_point(*mb, t_from, t_to, s_unstable);
        if (c.ok) {
            r.point.t = c.t;
            r.point.w = weight_of(c.s);
            r.iterations = c.iterations;
            r.residual = std::fabs(c.sigma);
            r.status = Status::converged;
            r.evaluations = counter.calls();
            r.monitor_messages = system.session().take_messages();
            return r;
        }
    }
    for (int it = 1; it <= 100 && std::fabs(b - a) > kCriticalTolerance * b; ++it) {
        r.iterations = it;
        double m = b - fb * (b - a) / (fb - fa);
        if (!std::isfinite(m) || (m - a) * (m - b) >= 0.0) m = 0.5 * (a + b);
        double s_m;
        const double fm = largest(m, s_m);
        if (!std::isfinite(fm)) break;
        if (fm > 0.0) s_unstable = s_m;
        if ((fm > 0.0) == (fb > 0.0)) {
            b = m;
            fb = fm;
            fa *= 0.5;
        } else {
            a = m;
            fa = fm;
            fb *= 0.5;
        }
    }
    r.point.t = 0.5 * (a + b);
    r.point.w = weight_of(s_unstable);
    r.residual = std::fabs(b - a);
    r.status = std::fabs(b - a) <= 10.0 * kCriticalTolerance * b ? Status::converged : Status::not_converged;
    if (r.status != Status::converged)
        r.message = "critical temperature bracketed to " + format_number(b - a) + " K only";
    r.evaluations = counter.calls();
    r.monitor_messages = system.session().take_messages();
    return r;
}

LleCurve lle_curve(System &system, double p, double t_from, double t_to, int count) {
    LleCurve curve;
    for (int i = 0; i < count; ++i) {
        const double t = count == 1 ? t_from : t_from + (t_to - t_from) * i / (count - 1);
        curve.t.push_back(t);
        curve.binodal.push_back(binodal(system, t, p));
    }
    // Critical solution points where demixing appears or disappears between neighbours.
    for (int i = 0; i + 1 < count; ++i) {
        const bool a = curve.binodal[i].spinodal.status == Status::converged;
        const bool b = curve.binodal[i + 1].spinodal.status == Status::converged;
        const bool a_one = curve.binodal[i].spinodal.status == Status::supercritical;
        const bool b_one = curve.binodal[i + 1].spinodal.status == Status::supercritical;
        if ((a && b_one) || (a_one && b)) {
            const CriticalResult c = critical_solution_point(system, p, curve.t[i], curve.t[i + 1]);
            if (c.status == Status::converged) curve.critical.push_back(c.point);
        }
    }
    return curve;
}

}  // namespace keld::equilibria
