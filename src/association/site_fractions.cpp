// Site fractions: successive substitution (method 0), accelerated substitution (method 1), or Newton's
// method with a line search and a fall-back to quasi-Newton substitution (method 2). The unknowns are
// ln X, so that X stays positive; every step is clipped at ln X = 0.
#include <algorithm>
#include <cmath>

#include "association/solvers.h"

namespace keld::assoc::detail {
namespace {

constexpr double kTinyFraction = 1.0e-80;  // a negative new fraction is replaced by this
constexpr double kSwitchRmsdx = 10.0;
constexpr double kRatioClampLow = 1.0e-30, kRatioClampHigh = 1.0e15;
constexpr std::int64_t kMaxRefreshes = 20;

// X, the bonding sums and the substitution change at sc.u; the objective Q when asked for.
double evaluate(Context &ctx, bool objective = true) {
    Scratch &sc = ctx.sc;
    const Tables &tab = ctx.tab;
    const double rho = ctx.mix.rho;
    for (std::int64_t a = 0; a < tab.nu; ++a) sc.x[a] = std::exp(sc.u[a]);
    bond_sums(tab, ctx.str, ctx.str.delta, sc.x, sc.partial, sc.s);
    for (std::int64_t a = 0; a < tab.nu; ++a) {
        const double denominator = 1.0 + rho * sc.s[a];
        const double x_new = denominator > 0.0 ? 1.0 / denominator : kTinyFraction;
        sc.f[a] = std::log(x_new > kTinyFraction ? x_new : kTinyFraction) - sc.u[a];
    }
    if (!objective) return 0.0;
    double q = 0.0;
    for (std::int64_t r = 0; r < tab.nsumming; ++r) {
        const Species &sp = tab.species[tab.summing[r]];
        double qs = 0.0;
        for (std::int32_t a = 0; a < sp.sites; ++a) {
            const std::int32_t k = tab.sites[sp.first_site + a].unknown;
            const double x = sc.x[k];
            qs += sc.u[k] - x + 1.0 - 0.5 * rho * x * sc.s[k];
        }
        q += sp.xw * qs;
    }
    return q;
}

double largest_change(const Scratch &sc, std::int64_t n) {
    double e = 0.0;
    for (std::int64_t a = 0; a < n; ++a) e = worst(e, std::fabs(sc.u[a] - sc.u_base[a]));
    return e;
}

void write_values(const Context &ctx, const char *heading, const double *v, bool exponent = false) {
    const Tables &tab = ctx.tab;
    ctx.diag.write("(A)", {heading});
    ctx.diag.table(tab.nu, [&](std::int64_t a, std::int64_t &no, std::int64_t &idx, std::int64_t &site,
                               double &value) {
        const Site &s = tab.sites[tab.unknown_site[a]];
        no = tab.species[s.species].position + 1;
        idx = ctx.mix.idx[no - 1];
        site = s.number;
        value = exponent ? std::exp(v[a]) : v[a];
    });
}

void write_jacobian(const Context &ctx, const double *j) {
    const std::int64_t n = ctx.tab.nu;
    ctx.diag.write("(A)", {"GETXA1: JACOBIAN: I, J, JAC"});
    for (std::int64_t c = 0; c < n; ++c)
        for (std::int64_t r = 0; r < n; ++r)
            if (j[c * n + r] != 0.0) ctx.diag.write("(2(I3,2X),G13.6)", {r + 1, c + 1, j[c * n + r]});
}

// Newton mode is left when it does not behave as Newton's method.
struct NewtonWatch {
    std::int64_t searched = 0, above_half = 0, above_tenth = 0, fell = 0, rose = 0;
    void record(double ratio, bool searched_now) {
        if (searched_now) ++searched;
        if (ratio < 0.0) return;  // first iteration: no ratio
        above_half = ratio > 0.5 ? above_half + 1 : 0;
        above_tenth = ratio > 0.1 ? above_tenth + 1 : 0;
        (ratio < 1.0 ? fell : rose) += 1;
    }
    bool leave(std::int64_t iteration) const {
        return searched > 2 || above_half > 9 || above_tenth > 19 || (iteration > 10 && rose >= fell);
    }
};

// Inverts the Jacobian at sc.x into sc.matrix and negates it (the quasi-Newton matrix). Returns the
// inversion's error flag.
std::int64_t invert_jacobian(Context &ctx) {
    Scratch &sc = ctx.sc;
    const std::int64_t n = ctx.tab.nu;
    jacobian(ctx, sc.matrix);
    if (ctx.diag.level() > 3) write_jacobian(ctx, sc.matrix);
    const std::int64_t iflag = ctx.host.matrix_invert(n, sc.matrix, sc.pivots, sc.extra, n);
    if (iflag == 0)
        for (std::int64_t k = 0; k < n * n; ++k) sc.matrix[k] = -sc.matrix[k];
    return iflag;
}

}  // namespace

void jacobian(const Context &ctx, double *j) {
    const Tables &tab = ctx.tab;
    const Scratch &sc = ctx.sc;
    const std::int64_t n = tab.nu;
    const double rho = ctx.mix.rho;
    std::fill(j, j + n * n, 0.0);
    double *scale = sc.extra;  // rho / (1 + rho S_A) per unknown
    for (std::int64_t a = 0; a < n; ++a) {
        j[a * n + a] = -1.0;
        scale[a] = rho / (1.0 + rho * sc.s[a]);
    }
    // Column by column: site t of summing species s acts on every unknown A that bonds with it.
    for (std::int64_t r = 0; r < tab.nsumming; ++r) {
        const Species &sp = tab.species[tab.summing[r]];
        const double *strength = ctx.str.delta + static_cast<std::int64_t>(sp.list) * ctx.str.nv;
        for (std::int32_t b = 0; b < sp.sites; ++b) {
            const Site &other = tab.sites[sp.first_site + b];
            const double weight = sp.xw * sc.x[other.unknown];
            double *column = j + static_cast<std::int64_t>(other.unknown) * n;
            for (std::int64_t a = 0; a < n; ++a) {
                const std::int32_t li = tab.unknown_list[a];
                if (li >= 0 && bonds_with_class(tab.unknown_class[a], other.kind))
                    column[a] -= scale[a] * weight * strength[li];
            }
        }
    }
}

void default_start(Context &ctx) {
    const Tables &tab = ctx.tab;
    for (std::int64_t a = 0; a < tab.nu; ++a) {
        const Species &sp = tab.species[tab.sites[tab.unknown_site[a]].species];
        const double q = sp.list >= 0 ? ctx.mix.rho * ctx.str(ctx.str.delta, sp.list, sp.list) : 0.0;
        double x = 1.0;
        if (q > 1.0e10)
            x = 1.0 / std::sqrt(q);
        else if (q != 0.0)
            x = 0.5;
        ctx.sc.u[a] = std::log(x);
    }
}

bool solve_site_fractions(Context &ctx) {
    Scratch &sc = ctx.sc;
    const Tables &tab = ctx.tab;
    const host::Host &host = ctx.host;
    const Diagnostics &diag = ctx.diag;
    const std::int64_t n = tab.nu, level = diag.level();
    const double rho = ctx.mix.rho, tolerance = ctx.options.tolerance;
    const bool method2 = ctx.method == 2;
    bool newton = method2 && !tab.equivalent && host.has_lu();
    const bool refresh_allowed = method2 && !tab.equivalent && n <= 99 && host.has_matrix_invert();
    const bool quasi_newton = method2 && host.has_convergence_test();
    const bool accelerated = ctx.method == 1 && host.has_accelerate();
    std::int64_t qn_state = 1, accel_state = 0, refreshes = 0, last_refresh = -100;
    bool qn_used = false;
    NewtonWatch watch;

    if (level >= 2) {
        diag.write("(A,3(I5,2X))", {"GETXA1: NCP, NXA, NV ", ctx.mix.ncp, tab.nxa, n});
        write_values(ctx, "GETXA1: INITIAL VALUES: NO, IDX, ISITE, XA", sc.u, true);
    }
    const bool report = level >= 2;  // the objective is needed by Newton's line search and the lines
    double q = evaluate(ctx, newton || report), error = 0.0, previous_error = -1.0;
    std::int64_t it = 0;
    for (it = 1; it <= ctx.limit; ++it) {
        if (newton && it > 1 && watch.leave(it)) {
            if (level >= 2) diag.write("(A)", {"GETXA1: SWITCHING SOLVER"});
            newton = false;
            ctx.stats.left_newton = 1;
            qn_state = 1;
        }
        std::copy(sc.u, sc.u + n, sc.u_base);
        bool stepped = false, searched = false;
        if (newton) {
            ++ctx.stats.newton_iterations;
            jacobian(ctx, sc.matrix);
            if (level > 3) write_jacobian(ctx, sc.matrix);
            const std::int64_t ier = host.lu_factor(n, sc.matrix, sc.pivots);
            double rmsdx = 0.0;
            for (std::int64_t a = 0; a < n; ++a) sc.direction[a] = -sc.f[a];
            if (ier == 0) {
                host.lu_solve(n, sc.matrix, sc.pivots, sc.direction);
                for (std::int64_t a = 0; a < n; ++a) {
                    // The step of X relative to X is the step of ln X to first order.
                    const double magnitude = std::fabs(sc.x[a]) <= kRatioClampLow ? std::fabs(sc.direction[a] * sc.x[a])
                                                                               : std::fabs(sc.direction[a]);
                    const double r = std::clamp(magnitude, kRatioClampLow, kRatioClampHigh);
                    rmsdx += r * r;
                }
                rmsdx = std::sqrt(rmsdx / static_cast<double>(n));
            }
            if (level > 2 && ier == 0) {
                diag.write("(A,G13.6)", {"GETXA1: STEP SIZES: NO, IDX, ISITE, XA. RMSDX = ", rmsdx});
                for (std::int64_t a = 0; a < n; ++a) sc.step[a] = sc.direction[a] * sc.x[a];
                ctx.diag.table(n, [&](std::int64_t a, std::int64_t &no, std::int64_t &idx, std::int64_t &site,
                                      double &value) {
                    const Site &s = tab.sites[tab.unknown_site[a]];
                    no = tab.species[s.species].position + 1;
                    idx = ctx.mix.idx[no - 1];
                    site = s.number;
                    value = sc.step[a];
                });
            }
            if (ier != 0 || !(rmsdx <= kSwitchRmsdx)) {
                if (level >= 2)
                    diag.write("(A,I4,A,G13.6)", {"GETXA1: SWITCHING SOLVER. LUFACT IER = ", ier, "  RMSDX = ", rmsdx});
                newton = false;
                ctx.stats.left_newton = 1;
                qn_state = 1;
            } else {
                // Ascent of Q along the step (Q is maximal at the solution): dQ/dln X_A = xw (1 - X_A (1 + rho S_A)).
                double slope = 0.0;
                for (std::int64_t a = 0; a < n; ++a) {
                    const Species &sp = tab.species[tab.sites[tab.unknown_site[a]].species];
                    slope += sp.xw * (1.0 - sc.x[a] * (1.0 + rho * sc.s[a])) * sc.direction[a];
                }
                double fac = 1.0;
                const auto try_step = [&] {
                    for (std::int64_t a = 0; a < n; ++a) sc.u[a] = clip_at_zero(sc.u_base[a] + fac * sc.direction[a]);
                    return evaluate(ctx, true);
                };
                double q_new = try_step();
                if (q_new < q - 1e-12 * (1.0 + std::fabs(q)) && host.has_line_search() && slope > 0.0) {
                    searched = true;
                    ++ctx.stats.line_searches;
                    std::int64_t ksrch = -1, nsrch = 0;
                    while (true) {
                        host.line_search(-q, -slope, -q_new, fac, ksrch, sc.line_search);
                        if (ksrch < 0) break;
                        ++nsrch;
                        q_new = try_step();
                        if (level >= 2)
                            diag.write("(A,I2,A,G13.6,A,I2)",
                                       {"GETXA1: NSRCH = ", nsrch, "  FAC = ", fac, "  KSRCH = ", ksrch});
                    }
                }
                q = q_new;
                stepped = true;
            }
        }
        if (!stepped) {
            std::copy(sc.f, sc.f + n, sc.step);
            if (accelerated) {
                host.accelerate(n, sc.step, accel_state, sc.accelerate, n + 2);
            } else if (quasi_newton) {
                host.convergence_test(n, sc.u, sc.f, sc.step, qn_state, sc.matrix, sc.matrix_words);
                qn_state = 3;
                qn_used = true;
            }
            for (std::int64_t a = 0; a < n; ++a) sc.u[a] = clip_at_zero(sc.u[a] + sc.step[a]);
            q = evaluate(ctx, report);
        }
        error = largest_change(sc, n);
        const double ratio = previous_error > 0.0 ? error / previous_error : (previous_error < 0.0 ? -1.0 : 0.0);
        if (stepped) watch.record(ratio, searched);
        // Substitution of method 2 stalls: a fresh Jacobian restarts the quasi-Newton matrix.
        if (!newton && refresh_allowed && quasi_newton && refreshes < kMaxRefreshes && it - last_refresh >= 3 &&
            it > 4 && ((ratio > 0.1 && error > 1.0e-8 && error < 0.1) || error < 1.0e-8) && !(error <= tolerance)) {
            ++refreshes;
            ++ctx.stats.jacobians;
            last_refresh = it;
            const std::int64_t iflag = invert_jacobian(ctx);
            if (level >= 2) diag.write("(A,I4,A,I4)", {"GETXA1: JACOBIAN EVALUATION ", refreshes, "  IFLAG = ", iflag});
            qn_state = iflag == 0 ? 2 : 1;
            if (iflag == 0 && level >= 4) diag.write("(A)", {"GETXA1: RE-INITIALIZING BROYDEN MATRIX"});
        }
        previous_error = error;
        if (level >= 2) {
            diag.write("(A,I4,2(A,G13.6))", {"GETXA1: ITER = ", it, "  MAX-ERR = ", error, "  OBJ = ", q});
            write_values(ctx, "GETXA1: NEW VALUES: NO, IDX, ISITE, XA", sc.u, true);
        }
        if (it > 1 && (error <= tolerance || it >= ctx.limit)) break;
    }
    if (it > ctx.limit) it = ctx.limit;
    const bool converged = error <= tolerance;
    ctx.stats.iterations = it;
    ctx.matrix_ready = false;
    if (converged && method2 && newton && host.has_matrix_invert()) {
        const std::int64_t iflag = invert_jacobian(ctx);
        if (level >= 2) diag.write("(A,I4)", {"GETXA1: JACOBIAN EVALUATION AT SOLUTION. IFLAG = ", iflag});
        ctx.matrix_ready = iflag == 0;
    } else if (qn_used) {
        ctx.matrix_ready = true;
    }
    if (level >= 2) write_values(ctx, "GETXA1: FINAL VALUES: NO, IDX, ISITE, XA", sc.u, true);
    if (level >= 1)
        diag.write("(A,I4,A,G13.6)",
                   {converged ? "GETXA1: XA CONVERGED. ITER = " : "GETXA1: XA FAILED. ITER = ", it, "  MAX-ERR = ", error});
    return converged;
}

}  // namespace keld::assoc::detail
