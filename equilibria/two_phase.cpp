// Two coexisting phases in density variables on the model (see two_phase.h).
#include "two_phase.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>

namespace keld::equilibria::detail {
namespace {

constexpr double kTolerance = 1e-12;   // largest scaled residual of a solution
constexpr double kRoundingFloor = 1e-10;  // accepted with a vanishing Newton step
constexpr double kLargestStep = 1.0;   // of Newton in the logarithmic unknowns
constexpr double kLargestChangeLnT = 0.03;
constexpr double kLargestChangeLnP = 0.25;
constexpr double kTrivial = 1e-9;      // max |ln K| of the trivial solution

struct System {
    Eigen::MatrixXd jacobian;
    Eigen::VectorXd residual;
};

std::size_t rows_of(const TwoPhaseProblem &pr, bool with_spec) {
    const std::size_t n = pr.components();
    return n + 1 + (pr.fixed_t ? 1 : 0) + (pr.fixed_p ? 1 : 0) + (pr.ln_feed.empty() ? 0 : n - 1) +
           (with_spec ? 1 : 0);
}

bool evaluate(const TwoPhaseProblem &pr, std::span<const double> x, TwoPhasePoint &point) {
    const std::size_t n = pr.components();
    const double t = std::exp(x[pr.index_ln_t()]);
    std::vector<double> rho1(n), rho2(n);
    for (std::size_t i = 0; i < n; ++i) {
        rho1[i] = std::exp(x[i]);
        rho2[i] = rho1[i] * std::exp(x[pr.index_ln_k(i)]);
    }
    point.x.assign(x.begin(), x.end());
    const bool with_t = !(pr.fixed_t && pr.isothermal_evaluation);
    return evaluate_phase(*pr.model, t, rho1, point.one, with_t) && evaluate_phase(*pr.model, t, rho2, point.two, with_t);
}

// The equations at an evaluated point and their Jacobian in X.
System assemble(const TwoPhaseProblem &pr, const TwoPhasePoint &pt, int spec, double value) {
    const std::size_t n = pr.components(), nx = pr.unknowns(), it = pr.index_ln_t();
    const PhaseDerivatives &a = pt.one, &b = pt.two;
    const double t = pt.t();
    System s{Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(rows_of(pr, spec != kNoSpec)),
                                   static_cast<Eigen::Index>(nx)),
             Eigen::VectorXd::Zero(static_cast<Eigen::Index>(rows_of(pr, spec != kNoSpec)))};
    auto &jac = s.jacobian;
    auto &res = s.residual;
    for (std::size_t i = 0; i < n; ++i) {
        const auto r = static_cast<Eigen::Index>(i);
        res(r) = pt.x[pr.index_ln_k(i)] + b.g[i] - a.g[i];
        for (std::size_t j = 0; j < n; ++j) {
            jac(r, static_cast<Eigen::Index>(j)) = b.h[i * n + j] * b.rho[j] - a.h[i * n + j] * a.rho[j];
            jac(r, static_cast<Eigen::Index>(pr.index_ln_k(j))) = (i == j ? 1.0 : 0.0) + b.h[i * n + j] * b.rho[j];
        }
        jac(r, static_cast<Eigen::Index>(it)) = t * (b.g_t[i] - a.g_t[i]);
    }
    // Equal pressures, relative to R T rho of the lighter phase (about P where one phase is a
    // vapour): the residual is the relative mismatch of the pressures.
    Eigen::Index r = static_cast<Eigen::Index>(n);
    const double scale = std::min(a.rho_total(), b.rho_total());
    res(r) = (b.p - a.p) / scale;
    for (std::size_t j = 0; j < n; ++j) {
        jac(r, static_cast<Eigen::Index>(j)) = (b.p_rho[j] * b.rho[j] - a.p_rho[j] * a.rho[j]) / scale;
        jac(r, static_cast<Eigen::Index>(pr.index_ln_k(j))) = b.p_rho[j] * b.rho[j] / scale;
    }
    jac(r, static_cast<Eigen::Index>(it)) = t * (b.p_t - a.p_t) / scale;
    ++r;
    if (pr.fixed_t) {
        res(r) = pt.x[it] - std::log(pr.t);
        jac(r, static_cast<Eigen::Index>(it)) = 1.0;
        ++r;
    }
    if (pr.fixed_p) {
        // Linear in P rather than ln P: a trial liquid may be under tension.
        const double rt = kGasConstant * t / pr.p;
        const PhaseDerivatives &held = pr.fixed_p_on_second ? b : a;
        res(r) = rt * held.p - 1.0;
        for (std::size_t j = 0; j < n; ++j) {
            jac(r, static_cast<Eigen::Index>(j)) = rt * held.p_rho[j] * held.rho[j];
            if (pr.fixed_p_on_second) jac(r, static_cast<Eigen::Index>(pr.index_ln_k(j))) = rt * b.p_rho[j] * b.rho[j];
        }
        jac(r, static_cast<Eigen::Index>(it)) = rt * (held.p + t * held.p_t);
        ++r;
    }
    if (!pr.ln_feed.empty()) {
        for (std::size_t i = 1; i < n; ++i, ++r) {
            res(r) = pt.x[i] - pt.x[0] - (pr.ln_feed[i] - pr.ln_feed[0]);
            jac(r, static_cast<Eigen::Index>(i)) = 1.0;
            jac(r, 0) = -1.0;
        }
    }
    if (spec != kNoSpec) {
        res(r) = pt.x[static_cast<std::size_t>(spec)] - value;
        jac(r, spec) = 1.0;
    }
    return s;
}

}  // namespace

double PhaseDerivatives::rho_total() const {
    double total = 0.0;
    for (double r : rho) total += r;
    return total;
}

bool evaluate_phase(const Model &m, double t, std::span<const double> rho, PhaseDerivatives &out, bool with_t) {
    const std::size_t n = rho.size();
    double total = 0.0;
    for (double r : rho) {
        if (!(r >= 0.0) || !std::isfinite(r)) return false;
        total += r;
    }
    if (!(total > 0.0) || !(t > 0.0) || !std::isfinite(t)) return false;
    // At V = 1 m3 the amounts (kmol) are the molar densities. Into the phase's own vectors, which
    // keep their storage from one iteration to the next.
    out.rho.assign(rho.begin(), rho.end());
    out.g.resize(n);
    out.h.resize(n * n);
    out.g_t.assign(n, 0.0);
    AmountDerivativeSpans d{0.0, out.g, out.h, {}, {}};
    double psi_t = 0.0;
    if (with_t) {
        d.d_t = out.g_t;
        AlpharDerivatives t_rho;
        m.second_derivatives(t, total, rho, t_rho, d);
        psi_t = total * t_rho.a_t;
    } else {
        m.amount_derivatives(t, 1.0, rho, d);
    }
    const double psi = d.psi;
    out.p = total - psi;
    out.p_t = -psi_t;
    out.p_rho.assign(n, 1.0);
    for (std::size_t i = 0; i < n; ++i) {
        out.p += rho[i] * out.g[i];
        out.p_t += rho[i] * out.g_t[i];
        for (std::size_t j = 0; j < n; ++j) out.p_rho[j] += rho[i] * out.h[i * n + j];
    }
    bool finite = std::isfinite(out.p) && std::isfinite(out.p_t);
    for (std::size_t i = 0; i < n; ++i) finite = finite && std::isfinite(out.g[i]) && std::isfinite(out.g_t[i]);
    for (double v : out.h) finite = finite && std::isfinite(v);
    return finite;
}

double TwoPhasePoint::t() const { return std::exp(x.back()); }
double TwoPhasePoint::p() const { return kGasConstant * t() * one.p; }

bool correct(const TwoPhaseProblem &pr, std::span<const double> start, int spec, double value, TwoPhasePoint &out,
             int max_iter) {
    const std::size_t n = pr.components(), nx = pr.unknowns();
    if (start.size() != nx || rows_of(pr, spec != kNoSpec) != nx) return false;
    std::vector<double> x(start.begin(), start.end());
    for (int iter = 0; iter <= max_iter; ++iter) {
        if (!evaluate(pr, x, out)) return false;
        const System s = assemble(pr, out, spec, value);
        const double r = s.residual.lpNorm<Eigen::Infinity>();
        if (!std::isfinite(r)) return false;
        Eigen::VectorXd step;
        bool done = r <= kTolerance;
        if (!done && iter < max_iter) {
            // At a residual of the rounding of the equations themselves (a dilute phase's
            // pressure scale) the converged Newton step vanishes instead.
            step = s.jacobian.partialPivLu().solve(-s.residual);
            done = r <= kRoundingFloor && step.lpNorm<Eigen::Infinity>() <= 1e-13;
        }
        if (done) {
            double largest_ln_k = 0.0;
            for (std::size_t i = 0; i < n; ++i) largest_ln_k = std::max(largest_ln_k, std::fabs(x[pr.index_ln_k(i)]));
            out.residual = r;
            out.iterations = iter;
            return largest_ln_k > kTrivial;
        }
        if (iter == max_iter) break;
        const double size = step.lpNorm<Eigen::Infinity>();
        if (!std::isfinite(size)) return false;
        if (size > kLargestStep) step *= kLargestStep / size;
        for (std::size_t i = 0; i < nx; ++i) x[i] += step(static_cast<Eigen::Index>(i));
    }
    return false;
}

bool equations(const TwoPhaseProblem &pr, std::span<const double> x, int spec, double value,
               std::vector<double> &residual, std::vector<double> &jacobian) {
    TwoPhasePoint point;
    if (x.size() != pr.unknowns() || !evaluate(pr, x, point)) return false;
    const System s = assemble(pr, point, spec, value);
    residual.assign(s.residual.data(), s.residual.data() + s.residual.size());
    jacobian.clear();
    for (Eigen::Index r = 0; r < s.jacobian.rows(); ++r)
        for (Eigen::Index c = 0; c < s.jacobian.cols(); ++c) jacobian.push_back(s.jacobian(r, c));
    return true;
}

bool tangent(const TwoPhaseProblem &pr, const TwoPhasePoint &point, std::span<const double> orient,
             std::vector<double> &out) {
    const std::size_t nx = pr.unknowns();
    if (orient.size() != nx || rows_of(pr, false) + 1 != nx) return false;
    const System s = assemble(pr, point, kNoSpec, 0.0);
    Eigen::MatrixXd a(static_cast<Eigen::Index>(nx), static_cast<Eigen::Index>(nx));
    a.topRows(static_cast<Eigen::Index>(nx - 1)) = s.jacobian;
    for (std::size_t j = 0; j < nx; ++j) a(static_cast<Eigen::Index>(nx - 1), static_cast<Eigen::Index>(j)) = orient[j];
    Eigen::VectorXd rhs = Eigen::VectorXd::Zero(static_cast<Eigen::Index>(nx));
    rhs(static_cast<Eigen::Index>(nx - 1)) = 1.0;
    const Eigen::VectorXd t = a.partialPivLu().solve(rhs);
    const double norm = t.norm();
    if (!std::isfinite(norm) || norm == 0.0) return false;
    out.resize(nx);
    for (std::size_t j = 0; j < nx; ++j) out[j] = t(static_cast<Eigen::Index>(j)) / norm;
    return true;
}

std::vector<double> ln_pressure_gradient(const TwoPhaseProblem &pr, const TwoPhasePoint &pt) {
    const std::size_t n = pr.components();
    std::vector<double> d(pr.unknowns(), 0.0);
    for (std::size_t j = 0; j < n; ++j) d[j] = pt.one.p_rho[j] * pt.one.rho[j] / pt.one.p;
    d[pr.index_ln_t()] = 1.0 + pt.t() * pt.one.p_t / pt.one.p;
    return d;
}

int largest_component(std::span<const double> t) {
    int k = 0;
    for (std::size_t i = 1; i < t.size(); ++i)
        if (std::fabs(t[i]) > std::fabs(t[static_cast<std::size_t>(k)])) k = static_cast<int>(i);
    return k;
}

bool advance(const TwoPhaseProblem &pr, TwoPhasePoint &point, std::vector<double> &t, double &h,
             double largest_step) {
    const std::size_t nx = pr.unknowns();
    std::vector<double> predicted(nx), next_t;
    TwoPhasePoint next;
    // A plotted curve needs its points no further apart than a few per cent in T and a quarter
    // in ln P, whatever the arc length in ln K allows.
    const double rate_t = std::fabs(t[pr.index_ln_t()]);
    double rate_p = 0.0;
    const std::vector<double> dp = ln_pressure_gradient(pr, point);
    for (std::size_t i = 0; i < nx; ++i) rate_p += dp[i] * t[i];
    h = std::min({h, kLargestChangeLnT / std::max(rate_t, 1e-300), kLargestChangeLnP / std::max(std::fabs(rate_p), 1e-300)});
    while (h >= 1e-7) {
        for (std::size_t i = 0; i < nx; ++i) predicted[i] = point.x[i] + h * t[i];
        const int k = largest_component(t);
        if (correct(pr, predicted, k, predicted[static_cast<std::size_t>(k)], next) && tangent(pr, next, t, next_t)) {
            double turn = 0.0;
            for (std::size_t i = 0; i < nx; ++i) turn += t[i] * next_t[i];
            if (turn > 0.8) {
                point = std::move(next);
                t = std::move(next_t);
                if (point.iterations <= 4) h = std::min(1.5 * h, largest_step);
                return true;
            }
        }
        h *= 0.5;
    }
    return false;
}

bool pure_coexistence_in_mixture(const Model &m, std::size_t k, double t, double &rho_l, double &rho_v) {
    const std::size_t n = m.size();
    double a = std::log(rho_l), b = std::log(rho_v);
    std::vector<double> rl(n, 0.0), rv(n, 0.0);
    PhaseDerivatives l, v;
    for (int iter = 0; iter < 40; ++iter) {
        rl[k] = std::exp(a);
        rv[k] = std::exp(b);
        if (!evaluate_phase(m, t, rl, l) || !evaluate_phase(m, t, rv, v)) return false;
        const double e1 = (a + l.g[k]) - (b + v.g[k]);
        const double e2 = (l.p - v.p) / rl[k];
        if (std::max(std::fabs(e1), std::fabs(e2)) <= 1e-13) {
            rho_l = rl[k];
            rho_v = rv[k];
            return std::fabs(a - b) > 1e-6 && rho_l > rho_v;
        }
        const double j11 = 1.0 + l.h[k * n + k] * rl[k], j12 = -(1.0 + v.h[k * n + k] * rv[k]);
        const double j21 = l.p_rho[k], j22 = -v.p_rho[k] * rv[k] / rl[k];
        const double det = j11 * j22 - j12 * j21;
        double da = -(e1 * j22 - j12 * e2) / det, db = -(j11 * e2 - j21 * e1) / det;
        const double size = std::max(std::fabs(da), std::fabs(db));
        if (!std::isfinite(size)) return false;
        if (size > 0.5) {
            da *= 0.5 / size;
            db *= 0.5 / size;
        }
        a += da;
        b += db;
    }
    return false;
}

bool pure_coexistence_start(const Model &m, std::size_t k, double t, double tc, double pc, double omega,
                            double &rho_l, double &rho_v) {
    if (!(t < tc)) return false;
    std::vector<double> e(m.size(), 0.0);
    e[k] = 1.0;
    const double p = pc * std::pow(10.0, 7.0 / 3.0 * (1.0 + omega) * (1.0 - tc / t));
    const auto l = density(m, t, p, e, Phase::liquid);
    const auto v = density(m, t, p, e, Phase::vapour);
    if (!l || !v) return false;
    rho_l = *l;
    rho_v = *v;
    return *l > *v;
}

}  // namespace keld::equilibria::detail
