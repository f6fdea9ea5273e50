// The simplified path (association option 20): one unknown per species standing for two equivalent
// sites, plain simultaneous substitution to a relative change of 1e-6, and the same substitution for
// the derivatives. With the single-species option and one self-associating species the fraction is
// the root of a X^2 + X - 1 = 0.
#include <cmath>

#include "association/simplified.h"
#include "association/sites.h"
#include "association/strengths.h"

namespace keld::assoc::detail {
namespace {

constexpr double kTolerance = 1.0e-6;
constexpr std::int64_t kLimit = 1000;  // the path has no limit of its own; beyond this it fails

struct Path {
    Context &ctx;
    std::int64_t ns;
    Species *sp;  // xw = x m f (the weight of the species), fraction = f
    double *x, *next, *xar, *xar2, *xat, *xax, *rhs, *extra;

    double strength(const double *m, std::int64_t i, std::int64_t j) const {
        return sp[i].list >= 0 && sp[j].list >= 0 ? ctx.str(m, sp[i].list, sp[j].list) : 0.0;
    }

    // Iterates y_i = extra_i - X_i^2 (rho sum_j w_j Delta_ij y_j + rhs_i) with all new values from the
    // previous ones; start y = start_value. Returns false after kLimit iterations.
    bool iterate(double *y, double start_value, bool site_fractions) {
        const double rho = ctx.mix.rho;
        for (std::int64_t i = 0; i < ns; ++i) y[i] = start_value;
        for (std::int64_t it = 1; it <= kLimit; ++it) {
            double error = 0.0;
            for (std::int64_t i = 0; i < ns; ++i) {
                double s = 0.0;
                for (std::int64_t j = 0; j < ns; ++j) s += sp[j].xw * strength(ctx.str.delta, i, j) * y[j];
                next[i] = site_fractions ? 1.0 / (1.0 + rho * s) : extra[i] - x[i] * x[i] * (rho * s + rhs[i]);
            }
            for (std::int64_t i = 0; i < ns; ++i) {
                if (next[i] != 0.0) error = worst(error, std::fabs((next[i] - y[i]) / next[i]));
                y[i] = next[i];
            }
            ++ctx.stats.derivative_iterations;
            if (error <= kTolerance) return true;
        }
        return false;
    }

    // sum_j w_j M_ij v_j
    double bonded(const double *m, std::int64_t i, const double *v) const {
        double s = 0.0;
        for (std::int64_t j = 0; j < ns; ++j) s += sp[j].xw * strength(m, i, j) * v[j];
        return s;
    }
};

}  // namespace

bool simplified(Context &ctx, Requests req, Results &r, double *a_x) {
    const Mixture &mix = ctx.mix;
    const Tables &tab = ctx.tab;
    const double rho = mix.rho;
    Path p{ctx, tab.ns, tab.species, ctx.sc.x, ctx.sc.f, ctx.sc.xar, ctx.sc.xar2, ctx.sc.xat, ctx.sc.xax,
           ctx.sc.rhs, ctx.sc.extra};
    for (std::int64_t i = 0; i < p.ns; ++i) p.sp[i].xw = mix.x[p.sp[i].position] * mix.m[p.sp[i].position] * p.sp[i].fraction;

    // Site fractions.
    std::int64_t self = -1, associating = 0;
    bool cross = false;
    for (std::int64_t i = 0; i < p.ns; ++i)
        for (std::int64_t j = 0; j < p.ns; ++j)
            if (p.strength(ctx.str.delta, i, j) != 0.0) {
                if (i == j) self = i, ++associating;
                else cross = true;
            }
    const double a_single = self >= 0 ? rho * p.sp[self].xw * p.strength(ctx.str.delta, self, self) : 0.0;
    if (mix.t > 0.0 && ctx.options.single_species == 1 && associating == 1 && !cross && 1.0 + 4.0 * a_single > 0.0) {
        for (std::int64_t i = 0; i < p.ns; ++i) p.x[i] = 1.0;
        if (a_single != 0.0) p.x[self] = (std::sqrt(1.0 + 4.0 * a_single) - 1.0) / (2.0 * a_single);
    } else if (!p.iterate(p.x, 0.5, true)) {
        r.failed = 1;
    }
    const auto value = [](double x) { return x > 0.0 ? std::log(x) - 0.5 * x + 0.5 : 0.0; };
    for (std::int64_t i = 0; i < p.ns; ++i) r.a += 2.0 * p.sp[i].xw * value(p.x[i]);
    if (r.failed) return false;

    // Derivatives: rhs and extra per species, then the substitution.
    const auto solve = [&](double *y, auto &&fill) {
        for (std::int64_t i = 0; i < p.ns; ++i) fill(i);
        if (!p.iterate(y, 0.0, false)) r.failed = 1;
    };
    const auto zero_extra = [&] {
        for (std::int64_t i = 0; i < p.ns; ++i) p.extra[i] = 0.0;
    };
    const auto slope = [&](std::int64_t i) { return 1.0 / p.x[i] - 0.5; };
    if (req.rho || req.rho2) {
        zero_extra();
        solve(p.xar, [&](std::int64_t i) { p.rhs[i] = rho * (p.bonded(ctx.str.delta, i, p.x) + p.bonded(ctx.str.rho, i, p.x)); });
        for (std::int64_t i = 0; i < p.ns; ++i) r.a_rho += 2.0 * p.sp[i].xw * slope(i) * p.xar[i];
    }
    if (req.rho2) {
        solve(p.xar2, [&](std::int64_t i) {
            p.rhs[i] = rho * (2.0 * p.bonded(ctx.str.rho, i, p.x) + 2.0 * p.bonded(ctx.str.delta, i, p.xar) +
                              p.bonded(ctx.str.rho2, i, p.x) + 2.0 * p.bonded(ctx.str.rho, i, p.xar));
            p.extra[i] = 2.0 * p.xar[i] * p.xar[i] / p.x[i];
        });
        for (std::int64_t i = 0; i < p.ns; ++i) {
            const double ratio = p.xar[i] / p.x[i];
            r.a_rho2 += 2.0 * p.sp[i].xw * (slope(i) * (p.xar[i] + p.xar2[i]) - ratio * ratio);
        }
    }
    if (req.t) {
        zero_extra();
        solve(p.xat, [&](std::int64_t i) { p.rhs[i] = rho * p.bonded(ctx.str.t, i, p.x); });
        for (std::int64_t i = 0; i < p.ns; ++i) r.a_t += 2.0 * p.sp[i].xw * slope(i) * p.xat[i];
    }
    if (req.x && a_x) {
        zero_extra();
        for (std::int64_t k = 0; k < mix.ncp; ++k) {
            double c2 = 0.0, c3 = 0.0;
            packing_slopes(mix, ctx.options, k, c2, c3);
            double *y = p.xax;  // one column reused: the composition output is formed at once
            solve(y, [&](std::int64_t i) {
                double direct = 0.0;  // d(weight_s)/dx_k = m_k f_s for the species s of k
                for (std::int64_t s = 0; s < p.ns; ++s)
                    if (p.sp[s].position == k) direct += mix.m[k] * p.sp[s].fraction * p.strength(ctx.str.delta, i, s) * p.x[s];
                p.rhs[i] = rho * (direct + rho * (c2 * p.bonded(ctx.str.dx2, i, p.x) + c3 * p.bonded(ctx.str.dx3, i, p.x)));
            });
            double sum = 0.0;
            for (std::int64_t i = 0; i < p.ns; ++i) {
                sum += 2.0 * p.sp[i].xw * slope(i) * y[i];
                if (p.sp[i].position == k) sum += 2.0 * mix.m[k] * p.sp[i].fraction * value(p.x[i]);
            }
            a_x[k] = sum;
        }
    }
    return r.failed == 0;
}

}  // namespace keld::assoc::detail
