// The critical point of a mixture by the Heidemann-Khalil criteria (see critical.h).
#include "keld/equilibria/critical.h"

// GCC's -Wmaybe-uninitialized misreads Eigen's self-adjoint eigensolver on
// dynamic matrices (a known false positive); silenced for that header only.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <Eigen/Eigenvalues>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>
#include <string>

#include "keld/equilibria/pure_model.h"
#include "model/residual.h"
#include "numerics.h"

namespace keld::equilibria {
namespace {

using detail::format_number;

constexpr double kTolerance = 1e-10;  // |eigenvalue| (N = 1 kmol) and |C| / its scale
constexpr int kSecantSteps = 80;
constexpr int kBracketSteps = 60;

// C of the residual: d3/ds3 of Psi(n + s dn) = N(s) alpha_r(T, N(s)/V, n(s)/N(s)).
double residual_cubic_form(const Model &m, double t, double v, std::span<const double> n,
                           const std::vector<double> &dn) {
    using T3 = model::D3;
    const std::size_t size = n.size();
    std::vector<T3> amounts(size), x(size);
    T3 total(0.0);
    for (std::size_t i = 0; i < size; ++i) {
        amounts[i] = T3(n[i]);
        amounts[i].c[1] = dn[i];
        total = total + amounts[i];
    }
    for (std::size_t i = 0; i < size; ++i) x[i] = amounts[i] / total;
    const T3 psi = total * m.residual().alphar(T3(t), total / T3(v), x.data());
    return psi.derivative(3);
}

// Regula falsi (Illinois) on f in the bracket [a, b] with f(a) fa, f(b) fb
// of opposite signs.
double bracketed_root(const std::function<double(double)> &f, double a, double b, double fa, double fb,
                      double tolerance, int &calls) {
    return detail::illinois_root(f, a, b, fa, fb, tolerance, kSecantSteps, &calls);
}

// Solves f(s) = 0 for s in a bracket grown from s0 by `step` (additive),
// then narrowed by the Illinois variant of regula falsi. NaN without a root.
double bracketed_root(const std::function<double(double)> &f, double s0, double step, double tolerance, int &calls) {
    double a = s0, fa = f(a);
    ++calls;
    if (!std::isfinite(fa)) return not_a_number;
    double b = s0, fb = fa;
    bool found = false;
    for (int k = 0; k < kBracketSteps && !found; ++k) {
        // Grow both ways alternately, so that the root nearest s0 is found.
        for (double direction : {1.0, -1.0}) {
            const double s = s0 + direction * step * (k + 1) * (k + 1) / 4.0;
            const double fs = f(s);
            ++calls;
            if (!std::isfinite(fs)) continue;
            if ((fs > 0.0) != (fa > 0.0)) {
                b = s;
                fb = fs;
                found = true;
                break;
            }
        }
    }
    if (!found) return not_a_number;
    return bracketed_root(f, a, b, fa, fb, tolerance, calls);
}

}  // namespace

CriticalConditions critical_conditions(const Model &m, double t, double v, std::span<const double> x,
                                       std::span<const double> orient) {
    const std::size_t size = x.size();
    CriticalConditions c;
    const AmountDerivatives d = m.amount_derivatives(t, v, x, {false, true, false, false});
    Eigen::MatrixXd q(size, size);
    for (std::size_t i = 0; i < size; ++i)
        for (std::size_t j = 0; j < size; ++j) q(i, j) = d.hessian[i * size + j] + (i == j ? 1.0 / x[i] : 0.0);
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(q);
    c.eigenvalue = eigen.eigenvalues()(0);
    c.direction.resize(size);
    for (std::size_t i = 0; i < size; ++i) c.direction[i] = eigen.eigenvectors()(i, 0);
    double projection = 0.0;
    if (orient.size() == size) {
        for (std::size_t i = 0; i < size; ++i) projection += orient[i] * c.direction[i];
    } else {
        for (double u : c.direction)
            if (std::fabs(u) > std::fabs(projection)) projection = u;
    }
    if (projection < 0.0)
        for (double &u : c.direction) u = -u;
    double ideal = 0.0, scale = 0.0;
    for (std::size_t i = 0; i < size; ++i) {
        const double u3 = c.direction[i] * c.direction[i] * c.direction[i];
        ideal -= u3 / (x[i] * x[i]);
        scale += std::fabs(u3) / (x[i] * x[i]);
    }
    c.cubic_form = residual_cubic_form(m, t, v, x, c.direction) + ideal;
    c.cubic_scale = scale;
    return c;
}

MixtureCritical mixture_critical_point(const Model &m, std::span<const double> x_in, const CriticalStart &start) {
    MixtureCritical r;
    const std::size_t size = m.size();
    double total = 0.0;
    bool valid = x_in.size() == size;
    for (double v : x_in) {
        valid = valid && std::isfinite(v) && v > 0.0;
        total += v;
    }
    if (!valid) {
        r.status = Status::invalid_input;
        r.message = "a critical point needs one positive amount per component of the model";
        return r;
    }
    std::vector<double> x(size);
    for (std::size_t i = 0; i < size; ++i) x[i] = x_in[i] / total;
    r.x = x;

    // The start: the caller's, else the mixture's pseudo-critical point at x.
    double t0 = start.t, v0 = start.v;
    const bool given_start = t0 > 0.0 && v0 > 0.0;
    if (!given_start) {
        const PureCritical pseudo = pseudo_critical_point(m, x);
        if (pseudo.status != Status::converged) {
            r.status = Status::not_converged;
            r.message = "no start for the critical point: " + pseudo.message + " (give a start T and V)";
            return r;
        }
        t0 = pseudo.t;
        v0 = 1.0 / pseudo.rho;
    }
    int calls = 0;
    // T on the stability limit at volume v: where the smallest eigenvalue
    // first turns negative on cooling from a stable state (the highest such T
    // near the start), by regula falsi inside that bracket.
    auto limit_temperature = [&](double v) {
        const auto eigenvalue = [&](double t) {
            ++calls;
            return t > 0.0 ? critical_conditions(m, t, v, x).eigenvalue : not_a_number;
        };
        double hi = t0, lo = t0, e_hi = eigenvalue(t0), e_lo = e_hi;
        if (e_hi == 0.0) return t0;
        for (int k = 0; k < kBracketSteps && !(e_hi > 0.0); ++k) {
            lo = hi;
            e_lo = e_hi;
            hi *= 1.1;
            e_hi = eigenvalue(hi);
            if (e_hi == 0.0) return hi;
        }
        for (int k = 0; k < kBracketSteps && !(e_lo < 0.0); ++k) {
            hi = lo;
            e_hi = e_lo;
            lo *= 0.97;
            e_lo = eigenvalue(lo);
            if (e_lo == 0.0) return lo;
        }
        if (!(e_hi > 0.0 && e_lo < 0.0)) return not_a_number;
        return bracketed_root(eigenvalue, lo, hi, e_lo, e_hi, 1e-13 * t0, calls);
    };
    // The eigenvector's sign is held to the one at the start, so that C changes sign only where it
    // passes through zero.
    std::vector<double> reference;
    const auto cubic = [&](double ln_v) {
        const double v = std::exp(ln_v);
        const double t = limit_temperature(v);
        if (!std::isfinite(t)) return not_a_number;
        const CriticalConditions c = critical_conditions(m, t, v, x, reference);
        if (reference.empty()) reference = c.direction;
        return c.cubic_form / c.cubic_scale;
    };
    const double ln_v = bracketed_root(cubic, std::log(v0), 0.05, 1e-13, calls);
    r.evaluations = calls;
    if (!std::isfinite(ln_v)) {
        r.status = Status::not_converged;
        r.message = "critical point not found near T = " + format_number(t0) + " K, V = " + format_number(v0) +
                    " m3/kmol: no change of sign of the cubic form along the stability limit";
        return r;
    }
    const double v = std::exp(ln_v);
    const double t = limit_temperature(v);
    const CriticalConditions c = std::isfinite(t) ? critical_conditions(m, t, v, x) : CriticalConditions{};
    r.residual = std::max(std::fabs(c.eigenvalue), std::fabs(c.cubic_form) / c.cubic_scale);
    if (!(r.residual <= kTolerance)) {
        r.status = Status::not_converged;
        r.message = "critical point not converged: largest scaled condition " + format_number(r.residual);
        return r;
    }
    const double p = properties(m, t, 1.0 / v, x, {false, nullptr}).p;
    if (!given_start && !(p > 0.0)) {
        // From the pseudo-critical start the vapour-liquid critical point is sought; a solution under
        // tension is another one (liquid-liquid) and not the answer to that request.
        r.status = Status::not_converged;
        r.message = "the criteria led to a critical point under tension (T = " + format_number(t) +
                    " K, P = " + format_number(p) + " Pa), not the vapour-liquid one: give a start T and V "
                    "(e.g. a neighbouring composition's critical point)";
        return r;
    }
    r.status = Status::converged;
    r.t = t;
    r.v = v;
    r.rho = 1.0 / v;
    r.p = p;
    r.direction = c.direction;
    r.eigenvalue = c.eigenvalue;
    r.cubic_form = c.cubic_form;
    return r;
}

}  // namespace keld::equilibria
