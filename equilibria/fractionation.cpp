// Two liquids of a polydisperse polymer solution below its cloud point: the
// pseudo-components' split between them (see polydisperse.h).
#include <algorithm>
#include <cmath>

#include "numerics.h"
#include "polydisperse_terms.h"

namespace keld::equilibria {
namespace {

using detail::format_number;
using detail::PressureTerms;

constexpr double kTolerance = 1e-10;  // |ln f_i' - ln f_i''| per repeat unit
constexpr int kNewtonSteps = 60;
constexpr int kHalvings = 12;

struct SplitSolve {
    bool converged = false;
    double residual = not_a_number;
    int iterations = 0;
    PressureTerms first, second;
};

// Each component's amounts in the two phases from u_i = ln(n_I,i / n_II,i): n_I = z / (1 + e^-u),
// n_II = z / (1 + e^u), both without the cancellation of z - n_I (a long chain may leave a share of
// 1e-10 of itself in the lean phase).
void split_amounts(std::span<const double> z, const std::vector<double> &u, std::vector<double> &n1,
                   std::vector<double> &n2) {
    for (std::size_t i = 0; i < z.size(); ++i) {
        n1[i] = z[i] / (1.0 + std::exp(-u[i]));
        n2[i] = z[i] / (1.0 + std::exp(u[i]));
    }
}

// Newton on u_i = ln(n_I,i / n_II,i) (phase I grew from the shadow) at T and P.
SplitSolve solve_split(const Model &m, std::span<const double> z, double t, double p, std::vector<double> &u) {
    const std::size_t c = z.size();
    const auto cc = static_cast<Eigen::Index>(c);
    const Eigen::VectorXd units = detail::repeat_units(m);
    SplitSolve out;
    std::vector<double> n1(c), n2(c);
    auto evaluate = [&](const std::vector<double> &v, PressureTerms &a, PressureTerms &b) {
        split_amounts(z, v, n1, n2);
        for (std::size_t i = 0; i < c; ++i)
            if (!(n1[i] > 0.0 && n2[i] > 0.0)) return false;
        return detail::pressure_terms(m, t, p, n1, a) && detail::pressure_terms(m, t, p, n2, b);
    };
    if (!evaluate(u, out.first, out.second)) return out;
    Eigen::VectorXd r = (out.first.ln_f - out.second.ln_f).cwiseQuotient(units);
    for (int it = 0; it < kNewtonSteps; ++it) {
        out.iterations = it + 1;
        out.residual = r.cwiseAbs().maxCoeff();
        if (out.residual <= kTolerance) {
            out.converged = true;
            return out;
        }
        Eigen::MatrixXd j(cc, cc);
        for (Eigen::Index i = 0; i < cc; ++i)
            for (Eigen::Index k = 0; k < cc; ++k)
                j(i, k) = n1[static_cast<std::size_t>(k)] * n2[static_cast<std::size_t>(k)] / z[static_cast<std::size_t>(k)] *
                          (out.first.dlnf_dn(i, k) + out.second.dlnf_dn(i, k)) / units(i);
        const Eigen::VectorXd step = j.partialPivLu().solve(-r);
        if (!step.allFinite()) return out;
        double scale = std::min(1.0, 1.0 / std::max(1e-300, step.cwiseAbs().maxCoeff()));
        const double before = r.norm();
        bool taken = false;
        for (int h = 0; h < kHalvings && !taken; ++h, scale *= 0.5) {
            std::vector<double> trial = u;
            for (std::size_t i = 0; i < c; ++i) trial[i] += scale * step(static_cast<Eigen::Index>(i));
            PressureTerms a, b;
            if (!evaluate(trial, a, b)) continue;
            const Eigen::VectorXd r2 = (a.ln_f - b.ln_f).cwiseQuotient(units);
            if (!(r2.norm() < before) && h + 1 < kHalvings) continue;
            u = trial;
            out.first = std::move(a);
            out.second = std::move(b);
            r = r2;
            taken = true;
        }
        if (!taken) {
            // Leave the amounts where the last evaluation was made.
            evaluate(u, out.first, out.second);
            return out;
        }
    }
    return out;
}

// max |ln x_i' - ln x_i''| of the two phases of u: zero on the trivial solution.
double distance(const std::vector<double> &u, std::span<const double> z) {
    std::vector<double> n1(z.size()), n2(z.size());
    split_amounts(z, u, n1, n2);
    double s1 = 0.0, s2 = 0.0;
    for (std::size_t i = 0; i < z.size(); ++i) {
        s1 += n1[i];
        s2 += n2[i];
    }
    double d = 0.0;
    for (std::size_t i = 0; i < z.size(); ++i) d = std::max(d, std::fabs(u[i] - std::log(s1 / s2)));
    return d;
}

}  // namespace

Fractionation fractionate(const PolydisperseSystem &system, double t, double p, double w_feed,
                          const TemperatureRange &range) {
    Fractionation r;
    r.t = not_a_number;
    if (!(t > 0.0 && p > 0.0 && w_feed > 0.0 && w_feed < 1.0)) {
        r.status = Status::invalid_input;
        r.message = "a fractionation needs T > 0, P > 0 and 0 < w < 1";
        return r;
    }
    const CloudPoint cloud = cloud_point(system, p, w_feed, range);
    if (cloud.status != Status::converged) {
        r.status = cloud.status;
        r.message = "no cloud point for this feed: " + cloud.message;
        return r;
    }
    // The side of the cloud point on which the feed is one liquid: above it on an upper branch.
    const double toward = range.lower_branch ? 1.0 : -1.0;
    if ((t - cloud.t) * toward <= 0.0) {
        r.status = Status::single_phase;
        r.message = "one liquid: the feed's cloud point is " + format_number(cloud.t) + " K";
        return r;
    }
    const Model &m = system.model();
    const std::vector<double> z = system.feed(w_feed);
    const std::size_t c = z.size();
    // From the cloud point into the two-liquid region: the phase that grows from the shadow
    // starts as a trace of the shadow's composition, small enough to leave
    // every component in the other phase (a dilute feed's shadow holds its
    // long chains at hundreds of times their share in the feed).
    double trace = 1e-3;
    for (std::size_t i = 0; i < c; ++i) trace = std::min(trace, 1e-2 * z[i] / cloud.shadow.x[i]);
    std::vector<double> ln_n(c);
    for (std::size_t i = 0; i < c; ++i) {
        const double n1 = trace * cloud.shadow.x[i];
        ln_n[i] = std::log(n1 / (z[i] - n1));
    }
    std::vector<std::pair<double, std::vector<double>>> path;
    double t_here = cloud.t, step = std::min(0.05, std::fabs(cloud.t - t));
    SplitSolve solve;
    int failures = 0;
    while (t_here != t) {
        const double t_next = toward < 0.0 ? std::max(t, t_here - step) : std::min(t, t_here + step);
        std::vector<double> guess = path.empty() ? ln_n : path.back().second;
        if (path.size() >= 2) {
            const auto &[t1, u1] = path[path.size() - 1];
            const auto &[t0, u0] = path[path.size() - 2];
            for (std::size_t i = 0; i < c; ++i) guess[i] = u1[i] + (u1[i] - u0[i]) * (t_next - t1) / (t1 - t0);
        }
        solve = solve_split(m, z, t_next, p, guess);
        const double apart = solve.converged ? distance(guess, z) : 0.0;
        if (solve.converged && apart > 1e-6) {
            path.emplace_back(t_next, guess);
            t_here = t_next;
            step = std::min(step * 1.5, 2.0);
            failures = 0;
        } else if (++failures > kHalvings) {
            r.status = Status::not_converged;
            r.residual = solve.residual;
            r.message = "two liquids not followed beyond " + format_number(t_here) + " K: largest |ln f' - ln f''| "
                        "per repeat unit " + format_number(solve.residual);
            return r;
        } else {
            step *= 0.5;
        }
    }
    std::vector<double> n1(c), n2(c);
    split_amounts(z, path.back().second, n1, n2);
    const std::vector<double> f1(solve.first.ln_f.data(), solve.first.ln_f.data() + c);
    const std::vector<double> f2(solve.second.ln_f.data(), solve.second.ln_f.data() + c);
    PolydispersePhase a = detail::describe_phase(system, n1, solve.first.rho, f1);
    PolydispersePhase b = detail::describe_phase(system, n2, solve.second.rho, f2);
    const std::vector<double> &mw = system.mw();
    double mass1 = 0.0, mass = 0.0;
    for (std::size_t i = 0; i < c; ++i) {
        mass1 += n1[i] * mw[i];
        mass += z[i] * mw[i];
    }
    const bool first_rich = a.w_polymer > b.w_polymer;
    r.rich = first_rich ? a : b;
    r.lean = first_rich ? b : a;
    r.rich_share = first_rich ? mass1 / mass : 1.0 - mass1 / mass;
    for (std::size_t i = system.solvents(); i < c; ++i) r.rich_share_of_pseudo.push_back(first_rich ? n1[i] / z[i] : n2[i] / z[i]);
    r.status = Status::converged;
    r.t = t;
    r.p = p;
    r.w_feed = w_feed;
    r.residual = solve.residual;
    r.iterations = static_cast<int>(path.size());
    return r;
}

}  // namespace keld::equilibria
