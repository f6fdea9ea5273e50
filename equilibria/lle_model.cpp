// A binary liquid on the model and its demixing solvers (see lle_model.h).
#include "lle_model.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>

#include "model/residual.h"

namespace keld::equilibria::detail {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kLiquidLikeZ = 0.3;    // apparent-basis Z above which a root is no liquid (as the monitor path)
constexpr double kDipWindow = 2.0;      // in s about the unstable end's least point: where the critical point is sought
constexpr double kCurvatureStep = 1e-4;  // in s: the exact slopes' difference that steers the least-point search
constexpr double kSettled = 1e-12;       // in s: a least point this close leaves d sigma/ds at round-off
constexpr double kMaxNewtonStep = 2.0;  // in s per binodal iteration

using T4 = ad::Taylor<double, 4>;
using model::DT4;

// A direction in (T, nu, x2), with v = v0 (1 + nu).
struct Move {
    double t = 0.0, nu = 0.0, x = 0.0;
};

// a = A / (N R T) of the binary at (T, v0 (1 + nu), x) as a Taylor series along `along`, each
// coefficient with its derivative along `across`. The ideal-gas terms linear in x (and those of T
// alone) are left out: no derivative taken below sees them.
DT4 reduced_helmholtz(const Model &m, double t, double v0, const double (&x)[2], Move along, Move across) {
    auto seeded = [](double at, double a, double b) {
        T4 value(at);
        value.c[1] = a;
        return DT4(value, T4(b));
    };
    const DT4 tt = seeded(t, along.t, across.t);
    const DT4 v = v0 * (1.0 + seeded(0.0, along.nu, across.nu));
    const DT4 xs[2] = {seeded(x[0], -along.x, -across.x), seeded(x[1], along.x, across.x)};
    using std::log;
    return m.residual().alphar(tt, 1.0 / v, xs) + xs[0] * log(xs[0]) + xs[1] * log(xs[1]) - log(v);
}

}  // namespace

ModelBinary::ModelBinary(const Model &model, double p, double segments) : model_(model), p_(p), segments_(segments) {}

BinaryState ModelBinary::at(double t, double s, bool with_sigma) const {
    BinaryState out;
    const double m1 = model_.components()[0].mw, m2 = model_.components()[1].mw;
    // x2 = (w/M2) / (w/M2 + (1-w)/M1), written to keep tiny w exact.
    const double r = std::exp(s) * m1 / m2;
    out.x[1] = std::isfinite(r) ? r / (1.0 + r) : 1.0;
    out.x[0] = std::isfinite(r) ? 1.0 / (1.0 + r) : 0.0;
    if (!(out.x[0] > 0.0 && out.x[1] > 0.0)) return out;
    const double x[2] = {out.x[0], out.x[1]};
    std::optional<Properties> props;
    try {
        PropertyRequest request;
        request.composition_derivatives = with_sigma;
        props = properties_at_pressure(model_, t, p_, x, Phase::liquid, request);
    } catch (const std::exception &) {
        return out;
    }
    if (!props) return out;
    out.v = props->v;
    out.v_apparent = props->v_apparent;
    if (!(p_ * props->v_apparent / (kGasConstant * t) < kLiquidLikeZ)) return out;
    const double ln_p = std::log(p_);
    const std::vector<double> &h = props->dln_phi_dn;
    for (int i = 0; i < 2; ++i) {
        out.ln_f[i] = std::log(x[i]) + props->ln_phi[i] + ln_p;
        out.d_t[i] = props->dln_phi_dt[i];
    }
    out.sigma = with_sigma ? 1.0 + x[0] * x[1] * (h[0] + h[3] - h[1] - h[2]) : kNaN;
    out.ln_phi = props->ln_phi;
    out.ok = (!with_sigma || std::isfinite(out.sigma)) && std::isfinite(out.ln_f[0]) && std::isfinite(out.ln_f[1]);
    return out;
}

double ModelBinary::sigma(double t, double s) const {
    const BinaryState state = at(t, s);
    return state.ok ? state.sigma : kNaN;
}

StabilitySlopes ModelBinary::stability(double t, double s) const {
    StabilitySlopes out;
    const BinaryState state = at(t, s, false);
    if (!state.ok) return out;
    const double(&x)[2] = state.x;
    try {
        const DT4 in_v = reduced_helmholtz(model_, t, state.v, x, Move{0.0, 1.0, 0.0}, Move{1.0, 0.0, 0.0});
        const double a_v = in_v.v.derivative(1), a_vv = in_v.v.derivative(2), a_vt = in_v.d.derivative(1);
        const DT4 in_x = reduced_helmholtz(model_, t, state.v, x, Move{0.0, 0.0, 1.0}, Move{0.0, 1.0, 0.0});
        const double a_xx = in_x.v.derivative(2), a_xv = in_x.d.derivative(1);
        const double w = -a_xv / a_vv;                        // dnu/dx at T, P
        const double nu_t = -(a_v + t * a_vt) / (t * a_vv);  // dnu/dT at P, x: T a_v held, as P = -(R T / v0) a_v
        const DT4 along_d = reduced_helmholtz(model_, t, state.v, x, Move{0.0, w, 1.0}, Move{1.0, nu_t, 0.0});
        const double g_xx = a_xx + w * a_xv, g_xxx = along_d.v.derivative(3), g_xxt = along_d.d.derivative(2);
        // dx2/ds = x1 x2.
        const double x12 = x[0] * x[1];
        out.sigma = x12 * g_xx;
        out.sigma_s = x12 * ((x[0] - x[1]) * g_xx + x12 * g_xxx);
        out.sigma_t = x12 * g_xxt;
    } catch (const std::exception &) {
        return out;
    }
    out.ok = std::isfinite(out.sigma) && std::isfinite(out.sigma_s) && std::isfinite(out.sigma_t);
    return out;
}

double ModelBinary::residual(const BinaryState &lean, const BinaryState &rich) const {
    return std::max(std::fabs(lean.ln_f[0] - rich.ln_f[0]), std::fabs(lean.ln_f[1] - rich.ln_f[1]) / segments_);
}

BinodalPair newton_binodal(const ModelBinary &b, double t, double s_lean, double s_rich, double tolerance) {
    BinodalPair best;
    best.residual = std::numeric_limits<double>::infinity();
    double a = s_lean, c = s_rich;
    BinaryState lean = b.at(t, a), rich = b.at(t, c);
    if (!lean.ok || !rich.ok) return best;
    const double r = b.segments();
    double previous = std::numeric_limits<double>::infinity();
    for (int it = 0; it <= 40; ++it) {
        const double residual = b.residual(lean, rich);
        if (residual < best.residual) {
            best.residual = residual;
            best.s_lean = a;
            best.s_rich = c;
            best.iterations = it;
        }
        // Converged, and either well inside the tolerance or at round-off (no longer falling fast).
        if (residual <= tolerance && (residual <= 0.01 * tolerance || residual > 0.01 * previous)) break;
        previous = residual;
        // F = (ln f_1' - ln f_1'', (ln f_2' - ln f_2'') / r) in (s', s'').
        const double f0 = lean.ln_f[0] - rich.ln_f[0], f1 = (lean.ln_f[1] - rich.ln_f[1]) / r;
        const double j00 = -lean.x[1] * lean.sigma, j01 = rich.x[1] * rich.sigma;
        const double j10 = lean.x[0] * lean.sigma / r, j11 = -rich.x[0] * rich.sigma / r;
        const double det = j00 * j11 - j01 * j10;
        if (!(std::isfinite(det) && det != 0.0)) break;
        double da = -(f0 * j11 - f1 * j01) / det, dc = -(j00 * f1 - j10 * f0) / det;
        const double largest = std::max(std::fabs(da), std::fabs(dc));
        if (largest > kMaxNewtonStep) {
            da *= kMaxNewtonStep / largest;
            dc *= kMaxNewtonStep / largest;
        }
        // Halve a step that leaves the liquid or crosses the phases over.
        bool moved = false;
        for (int half = 0; half < 30 && !moved; ++half, da *= 0.5, dc *= 0.5) {
            const BinaryState l = b.at(t, a + da), h = b.at(t, c + dc);
            if (!l.ok || !h.ok || !(a + da < c + dc)) continue;
            if (b.residual(l, h) > 4.0 * residual && half < 29 && residual > 1e3 * tolerance) continue;
            a += da;
            c += dc;
            lean = l;
            rich = h;
            moved = true;
        }
        if (!moved) break;
        if (std::fabs(da) + std::fabs(dc) < 1e-15 * (1.0 + std::fabs(a) + std::fabs(c)) && residual < 1e3 * tolerance)
            break;
    }
    best.ok = best.residual <= tolerance;
    return best;
}

LeastStability least_stability(const ModelBinary &b, double t, double start, double window) {
    LeastStability out;
    const double lowest = start - window, highest = start + window;
    double s = start;
    for (int it = 0; it < 60; ++it) {
        const StabilitySlopes here = b.stability(t, s), ahead = b.stability(t, s + kCurvatureStep);
        if (!here.ok || !ahead.ok) return out;
        const double curvature = (ahead.sigma_s - here.sigma_s) / kCurvatureStep;
        out.s = s;
        out.sigma = here.sigma;
        // Newton on the exact slope while the curvature holds a minimum; a bounded step downhill
        // otherwise; never past the window's edges (a step that would leave it stops there). The
        // curvature only steers: the point found is where the exact slope vanishes.
        double step = curvature > 0.0 ? -here.sigma_s / curvature : (here.sigma_s > 0.0 ? -0.5 : 0.5);
        step = std::clamp(s + std::clamp(step, -1.0, 1.0), lowest, highest) - s;
        if (std::fabs(step) <= kSettled * (1.0 + std::fabs(s))) {
            out.ok = true;
            return out;
        }
        // A step onto a composition without a liquid root is shortened.
        bool liquid = b.at(t, s + step, false).ok;
        for (int cut = 0; cut < 20 && !liquid; ++cut) {
            step *= 0.5;
            liquid = b.at(t, s + step, false).ok;
        }
        if (!liquid) return out;
        s += step;
    }
    return out;  // not settled
}

ModelCriticalPoint model_critical_point(const ModelBinary &b, double t_a, double t_b, double s_start) {
    ModelCriticalPoint out;
    LeastStability la = least_stability(b, t_a, s_start, kDipWindow), lb = least_stability(b, t_b, s_start, kDipWindow);
    if (!la.ok || !lb.ok || (la.sigma < 0.0) == (lb.sigma < 0.0)) return out;
    out.upper = la.sigma < 0.0;  // unstable at the lower temperature
    // The least sigma over s moves with T as d sigma/dT at the least point
    // (its s-slope is zero there): regula falsi (Illinois) then secant on it
    // converges fast, the bracket keeps it safe.
    double a = t_a, fa = la.sigma, c = t_b, fc = lb.sigma, s = la.sigma < 0.0 ? la.s : lb.s;
    int side = 0;
    bool at_edge = false;
    for (int it = 1; it <= 100; ++it) {
        out.iterations = it;
        double m = (a * fc - c * fa) / (fc - fa);
        if (!std::isfinite(m) || (m - a) * (m - c) >= 0.0) m = 0.5 * (a + c);
        // The window follows the dip on the unstable side, where it is the least sigma for sure.
        const LeastStability lm = least_stability(b, m, s, kDipWindow);
        if (!lm.ok) return out;
        at_edge = std::fabs(lm.s - s) >= (1.0 - 1e-9) * kDipWindow;
        if (lm.sigma < 0.0) s = lm.s;
        out.t = m;
        out.s = lm.s;
        out.sigma = lm.sigma;
        if (std::fabs(lm.sigma) < 1e-13 || std::fabs(c - a) < 1e-12 * m) break;
        if ((lm.sigma < 0.0) == (fc < 0.0)) {
            c = m;
            fc = lm.sigma;
            if (side == -1) fa *= 0.5;
            side = -1;
        } else {
            a = m;
            fa = lm.sigma;
            if (side == 1) fc *= 0.5;
            side = 1;
        }
    }
    const StabilitySlopes there = b.stability(out.t, out.s);
    out.sigma_s = there.ok ? there.sigma_s : kNaN;
    // Both conditions must hold. A least point held at the window's edge is no minimum over s:
    // sigma = 0 there is not the point.
    out.ok = std::fabs(out.sigma) < 1e-10 && std::fabs(out.sigma_s) < 1e-10 && !at_edge;
    return out;
}

}  // namespace keld::equilibria::detail
