// Derivatives of the site fractions. Differentiating X_A (1 + rho S_A) = 1 gives linear equations
//   Y_A = -X_A^2 (rho sum_j xw_j sum_B Delta_AB Y_B + r_A) + c_A
// with the same matrix for every derivative. They are solved for W = Y / X by fixed-point iteration;
// in W the iteration matrix is the Jacobian of the site-fraction change at the solution, so the
// negated inverse left by the site-fraction solver makes each quasi-Newton solve exact in one step.
#include <cmath>

#include "association/solvers.h"
#include "association/strengths.h"

namespace keld::assoc::detail {
namespace {

constexpr double kLooseError = 1.0e-8;
constexpr std::int64_t kLooseIterations = 3;

struct Names {
    const char *iter, *initial, *fresh, *final, *converged, *failed;
};

constexpr Names kNames[] = {
    {"GETXAR1: ITER = ", "GETXAR1: INITIAL VALUES: NO, IDX, ISITE, XAR", "GETXAR1: NEW VALUES: NO, IDX, ISITE, XAR",
     "GETXAR1: FINAL VALUES: NO, IDX, ISITE, XAR", "GETXAR1: XAR CONVERGED. ITER = ", "GETXAR1: XAR FAILED. ITER = "},
    {"GETXAR21: ITER = ", "GETXAR21: INITIAL VALUES: NO, IDX, ISITE, XAR2",
     "GETXAR21: NEW VALUES: NO, IDX, ISITE, XAR2", "GETXAR21: FINAL VALUES: IDX, ISITE, XAR2",
     "GETXAR21: XAR2 CONVERGED. ITER = ", "GETXAR21: XAR2 FAILED. ITER = "},
    {"GETXAT1: ITER = ", "GETXAT1: INITIAL VALUES: NO, IDX, ISITE, XAT", "GETXAT1: NEW VALUES: NO, IDX, ISITE, XAT",
     "GETXAT1: FINAL VALUES: NO, IDX, ISITE, XAT", "GETXAT1: XAT CONVERGED. ITER = ", "GETXAT1: XAT FAILED. ITER = "},
    {"GETXAX1: ITER = ", "GETXAX1: INITIAL VALUES FOR COMP ", "GETXAX1: NEW VALUES: NO, IDX, ISITE, XAX",
     "GETXAX1: FINAL VALUES FOR COMP ", "GETXAX1: XAX CONVERGED FOR COMP ", "GETXAX1: XAX FAILED FOR COMP "},
};

// Sums over unknowns of m-weighted bonding with per-unknown values v: out[A] = sum_j xw_j M_ij Q_j(v).
void bonded(Context &ctx, const double *m, const double *v, double *out) {
    bond_sums(ctx.tab, ctx.str, m, v, ctx.sc.partial, out);
}

// The inhomogeneous parts r and c of the equation for `which` (per unknown, in sc.rhs and sc.extra).
void right_hand_side(Context &ctx, Derivative which, std::int64_t k) {
    Scratch &sc = ctx.sc;
    const Tables &tab = ctx.tab;
    const std::int64_t n = tab.nu;
    const double rho = ctx.mix.rho;
    for (std::int64_t a = 0; a < n; ++a) sc.extra[a] = 0.0;
    switch (which) {
        case Derivative::rho:
            for (std::int64_t a = 0; a < n; ++a) sc.rhs[a] = rho * (sc.s[a] + sc.sum_rho[a]);
            break;
        case Derivative::t:
            for (std::int64_t a = 0; a < n; ++a) sc.rhs[a] = rho * sc.sum_t[a];
            break;
        case Derivative::rho2: {
            // r = rho [2 S_rho(X) + S_rho2(X) + 2 S(XAR) + 2 S_rho(XAR)], c = 2 (XAR/X)^2.
            double *by_delta = sc.step, *by_rho = sc.direction;
            bonded(ctx, ctx.str.delta, sc.xar, by_delta);
            bonded(ctx, ctx.str.rho, sc.xar, by_rho);
            for (std::int64_t a = 0; a < n; ++a) {
                sc.rhs[a] = rho * (2.0 * sc.sum_rho[a] + sc.sum_rho2[a] + 2.0 * by_delta[a] + 2.0 * by_rho[a]);
                const double ratio = sc.xar[a] / sc.x[a];
                sc.extra[a] = 2.0 * ratio * ratio;
            }
            break;
        }
        case Derivative::x: {
            // r = rho [sum over species s of k: weight_s Delta_is Q_s(X) + rho (c2 S_x2 + c3 S_x3)].
            double c2 = 0.0, c3 = 0.0;
            packing_slopes(ctx.mix, ctx.options, k, c2, c3);
            for (std::int64_t a = 0; a < n; ++a) sc.rhs[a] = rho * rho * (c2 * sc.sum_x2[a] + c3 * sc.sum_x3[a]);
            for (std::int64_t s = 0; s < tab.ns; ++s) {
                const Species &sp = tab.species[s];
                if (sp.position != k || sp.list < 0 || !(sp.unknowns || sp.passive)) continue;
                double q[kClasses] = {};
                for (std::int32_t b = 0; b < sp.sites; ++b) {
                    const Site &site = tab.sites[sp.first_site + b];
                    for (int c = 0; c < kClasses; ++c)
                        if (bonds_with_class(c, site.kind)) q[c] += sc.site_x[sp.first_site + b];
                }
                for (std::int64_t a = 0; a < n; ++a) {
                    const Site &site = tab.sites[tab.unknown_site[a]];
                    const std::int32_t li = tab.species[site.species].list;
                    if (li < 0) continue;
                    sc.rhs[a] += rho * sp.weight * ctx.str(ctx.str.delta, li, sp.list) * q[site_class(site.kind)];
                }
            }
            break;
        }
    }
}

void write_values(const Context &ctx, const double *w) {
    const Tables &tab = ctx.tab;
    ctx.diag.table(tab.nu, [&](std::int64_t a, std::int64_t &no, std::int64_t &idx, std::int64_t &site,
                               double &value) {
        const Site &s = tab.sites[tab.unknown_site[a]];
        no = tab.species[s.species].position + 1;
        idx = ctx.mix.idx[no - 1];
        site = s.number;
        value = w[a] * ctx.sc.x[a];
    });
}

void heading(const Context &ctx, Derivative which, const char *text, std::int64_t k) {
    if (which == Derivative::x)
        ctx.diag.write("(A,I3,A)", {text, ctx.mix.idx[k], ": NO, IDX, ISITE, XAX"});
    else
        ctx.diag.write("(A)", {text});
}

}  // namespace

bool solve_derivative(Context &ctx, Derivative which, std::int64_t k) {
    Scratch &sc = ctx.sc;
    const Tables &tab = ctx.tab;
    const host::Host &host = ctx.host;
    const Diagnostics &diag = ctx.diag;
    const std::int64_t n = tab.nu, level = diag.level();
    const Names &names = kNames[static_cast<int>(which)];
    const double rho = ctx.mix.rho, tolerance = ctx.options.tolerance;
    const bool quasi_newton = ctx.method == 2 && host.has_convergence_test();
    const bool accelerated = ctx.method == 1 && host.has_accelerate();
    std::int64_t qn_state = ctx.matrix_ready ? 2 : 1, accel_state = 0, loose = 0;

    right_hand_side(ctx, which, k);
    double *w = sc.w, *y = sc.u_base, *change = sc.f, *sums = sc.y_sums;  // u_base and f are free after the solve
    double *w_new = sc.direction;
    for (std::int64_t a = 0; a < n; ++a) w[a] = 0.0;
    if (level >= 2) {
        heading(ctx, which, names.initial, k);
        write_values(ctx, w);
    }
    double error = 0.0;
    std::int64_t it = 0;
    bool looser = false;
    for (it = 1; it <= ctx.limit; ++it) {
        for (std::int64_t a = 0; a < n; ++a) y[a] = sc.x[a] * w[a];
        bonded(ctx, ctx.str.delta, y, sums);
        error = 0.0;
        for (std::int64_t a = 0; a < n; ++a) {
            w_new[a] = sc.extra[a] - sc.x[a] * (rho * sums[a] + sc.rhs[a]);
            change[a] = w_new[a] - w[a];
            if (w_new[a] != 0.0) error = worst(error, std::fabs(change[a] / w_new[a]));
        }
        const bool stop = it > 1 && (error <= tolerance || it >= ctx.limit);
        if (stop) {
            // The substitution values are the last iterate; no further step is taken.
        } else if (accelerated) {
            host.accelerate(n, change, accel_state, sc.accelerate, n + 2);
        } else if (quasi_newton) {
            host.convergence_test(n, w, change, sc.step, qn_state, sc.matrix, sc.matrix_words);
            qn_state = 3;
            for (std::int64_t a = 0; a < n; ++a) change[a] = sc.step[a];
        }
        for (std::int64_t a = 0; a < n; ++a) w[a] += change[a];
        if (level >= 2) {
            diag.write("(A,I4,A,G13.6)", {names.iter, it, "  MAX-ERR = ", error});
            diag.write("(A)", {names.fresh});
            write_values(ctx, w);
        }
        if (which == Derivative::rho2) {
            loose = error < kLooseError ? loose + 1 : 0;
            if (loose >= kLooseIterations && !(error <= tolerance)) {
                looser = true;
                break;
            }
        }
        if (stop) break;
    }
    if (it > ctx.limit) it = ctx.limit;
    ctx.stats.derivative_iterations += it;
    const bool converged = error <= tolerance || looser;
    double *out = which == Derivative::rho ? sc.xar
                  : which == Derivative::rho2 ? sc.xar2
                  : which == Derivative::t  ? sc.xat
                                            : sc.xax + k * n;
    for (std::int64_t a = 0; a < n; ++a) out[a] = w[a] * sc.x[a];
    if (level >= 2) {
        heading(ctx, which, names.final, k);
        write_values(ctx, w);
    }
    if (level >= 1) {
        if (which == Derivative::x)
            diag.write("(A,I3,A,I4,A,G13.6)",
                       {converged ? names.converged : names.failed, ctx.mix.idx[k], ". ITER = ", it, "  MAX-ERR = ", error});
        else if (looser)
            diag.write("(A,I4,A,G13.6)",
                       {"GETXAR21: XAR2 CONVERGED TO A LOOSER TOLERANCE. ITER = ", it, "  MAX-ERR = ", error});
        else
            diag.write("(A,I4,A,G13.6)", {converged ? names.converged : names.failed, it, "  MAX-ERR = ", error});
    }
    return converged;
}

}  // namespace keld::assoc::detail
