// The direct path: the site fractions by Newton's method on a reduced set of unknowns, and every
// derivative from one factorisation of the Jacobian at the solution with one right-hand side each.
//
// It computes the solution the iterative solvers converge to. The mass-action equations
//   X_A (1 + rho S_A) = 1,  S_A = sum_j xw_j Delta(A, j) (sum of X_B over the sites B of j bonding with A),
// have one solution in (0, 1]: it maximises Michelsen's objective Q, whose Hessian is negative definite
// at every stationary point. Unknowns whose equations are the same function of all site fractions are
// therefore equal there and share one value, a group:
//   - the sites of one class (negative, positive, bipolar) of one species;
//   - species whose rows of every strength matrix are equal (repeated segment types of a copolymer,
//     pseudo-components of a polydisperse polymer that share a segment);
//   - the negative and the positive sites, when every species that takes part carries as many of one
//     kind as of the other (exchanging the kinds then maps the equations onto themselves).
// With S_g = sum_h M_gh X_h, Newton's method runs on G_g = 1/X_g - 1 - rho S_g, whose Jacobian
// J = -diag(1/X^2) - rho M is, scaled by the group weights, the Hessian of Q. Differentiating G = 0
// gives every scaled derivative Y as the solution of J Y = r - c/X with the same J at the solution
// (r and c are the inhomogeneous parts of the iterative derivative equations, derivatives.cpp).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "association/solvers.h"
#include "association/strengths.h"

namespace keld::assoc::detail {
namespace {

// Converged once no group moves by more than this, relatively: Newton's error after such a step is of
// the order of its square (the Jacobian at the solution is diagonally dominant, so well conditioned).
constexpr double kStep = 1.0e-9;
// Large systems: Newton's method refactors the Jacobian only while steps are larger than this and
// otherwise keeps the last factors (chord steps); the derivative solves then refine their solutions
// against the Jacobian at the solution.
constexpr double kRefactor = 1.0e-3;
constexpr int kRefinements = 8;
constexpr double kWarmRange = 10.0;       // a previous solution further than this factor from the estimate is not used
constexpr double kFloor = 0.2;            // a Newton step never takes X below this fraction of its value
constexpr std::int64_t kOwnFactorRows = 24;  // larger Jacobians are factored by the host

std::uint64_t bits(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// grp.row[l]: the first list position whose rows of every strength matrix equal the rows of l. Rows are
// hashed column by column (contiguous reads), sorted by hash, and a tentative match is kept only when
// every entry agrees (a hash collision leaves a position on its own).
void row_classes(Context &ctx) {
    Groups &gp = ctx.grp;
    const Strengths &str = ctx.str;
    const std::int64_t nv = str.nv;
    if (str.same) {  // equal strength data: equal rows
        std::copy(str.same, str.same + nv, gp.row);
        return;
    }
    for (std::int64_t l = 0; l < nv; ++l) gp.row[l] = static_cast<std::int32_t>(l);
    if (nv < 2) return;
    for (std::int64_t l = 0; l < nv; ++l) gp.hash[l] = 1469598103934665603ULL;
    for (std::int64_t q = 0; q < nv; ++q) {
        const double *column = str.delta + q * nv;
        for (std::int64_t l = 0; l < nv; ++l) gp.hash[l] = (gp.hash[l] ^ bits(column[l])) * 1099511628211ULL;
    }
    for (std::int64_t l = 0; l < nv; ++l) gp.order[l] = static_cast<std::int32_t>(l);
    std::sort(gp.order, gp.order + nv, [&](std::int32_t a, std::int32_t b) {
        return gp.hash[a] != gp.hash[b] ? gp.hash[a] < gp.hash[b] : a < b;
    });
    bool merged = false;
    for (std::int64_t k = 1; k < nv; ++k) {
        const std::int32_t l = gp.order[k], before = gp.order[k - 1];
        if (gp.hash[l] == gp.hash[before]) {
            gp.row[l] = gp.row[before];
            merged = true;
        }
    }
    if (!merged) return;
    const double *matrices[] = {str.delta, str.rho, str.rho2, str.t, str.dx2, str.dx3};
    std::uint64_t *differs = gp.hash;  // reused as flags
    for (std::int64_t l = 0; l < nv; ++l) differs[l] = 0;
    for (const double *m : matrices) {
        if (m == nullptr) continue;
        for (std::int64_t q = 0; q < nv; ++q) {
            const double *column = m + q * nv;
            for (std::int64_t l = 0; l < nv; ++l) differs[l] |= bits(column[l]) != bits(column[gp.row[l]]);
        }
    }
    for (std::int64_t l = 0; l < nv; ++l)
        if (differs[l]) gp.row[l] = static_cast<std::int32_t>(l);
}

// Whether every species that takes part has as many negative as positive sites.
bool kinds_balanced(const Tables &tab) {
    for (std::int64_t i = 0; i < tab.ns; ++i) {
        const Species &sp = tab.species[i];
        if (!(sp.unknowns || sp.passive)) continue;
        int balance = 0;
        for (std::int32_t a = 0; a < sp.sites; ++a) {
            const int kind = tab.sites[sp.first_site + a].kind;
            balance += kind == kNegative ? 1 : (kind == kPositive ? -1 : 0);
        }
        if (balance != 0) return false;
    }
    return true;
}

// Groups of the unknowns, and for each summing species the groups of its sites with their bonding counts.
void build_groups(Context &ctx) {
    Groups &gp = ctx.grp;
    const Tables &tab = ctx.tab;
    const std::int64_t nv = ctx.str.nv;
    row_classes(ctx);
    const bool balanced = kinds_balanced(tab);
    std::fill(gp.key, gp.key + 3 * nv, -1);
    gp.ng = 0;
    for (std::int64_t a = 0; a < tab.nu; ++a) {
        const std::int32_t li = tab.unknown_list[a], c = tab.unknown_class[a];
        if (li < 0) {
            gp.of[a] = -1;
            continue;
        }
        const std::int32_t merged_class = c == 2 ? 2 : (balanced ? 0 : c);
        std::int32_t &g = gp.key[3 * gp.row[li] + merged_class];
        if (g < 0) {
            g = static_cast<std::int32_t>(gp.ng++);
            gp.list[g] = gp.row[li];
            gp.cls[g] = c;
        }
        gp.of[a] = g;
    }
    std::fill(gp.weight, gp.weight + gp.ng, 0.0);
    for (std::int64_t i = 0; i < tab.ns; ++i) {  // the weights of the value: species with unknowns and x > trace
        const Species &sp = tab.species[i];
        if (!sp.unknowns || sp.xw <= 0.0) continue;
        for (std::int32_t b = 0; b < sp.sites; ++b) {
            const std::int32_t g = gp.of[tab.sites[sp.first_site + b].unknown];
            if (g >= 0) gp.weight[g] += sp.xw;
        }
    }
    for (std::int64_t r = 0; r < tab.nsumming; ++r) {
        const Species &sp = tab.species[tab.summing[r]];
        gp.offset[r] = static_cast<std::int64_t>(sp.list) * nv;
        std::int32_t *slot = gp.slot + 3 * r;
        double *count = gp.count + 9 * r;
        std::fill(slot, slot + 3, -1);
        std::fill(count, count + 9, 0.0);
        for (std::int32_t b = 0; b < sp.sites; ++b) {
            const Site &site = tab.sites[sp.first_site + b];
            const std::int32_t h = gp.of[site.unknown];
            int s = 0;
            while (slot[s] >= 0 && slot[s] != h) ++s;  // at most three groups: one per class
            slot[s] = h;
            for (int c = 0; c < kClasses; ++c)
                if (bonds_with_class(c, site.kind)) count[3 * s + c] += 1.0;
        }
    }
}

// Bonding sums of one vector v with several strength matrices: for each (m, out),
// out_g = sum over summing species j of xw_j m(list_g, list_j) q_j[class_g], where q_j[c] is the sum of
// v over the sites of j that bond with class c.
struct Sum {
    const double *m;
    double *out;
};
// NS summing species and NG groups, compile-time sizes for the small systems (the loops unrolled, the
// same additions in the same order) or run-time ones.
template <class NS, class NG>
void group_sums_sized(NS ns, NG ng, const Context &ctx, const double *v, std::initializer_list<Sum> sums) {
    const Groups &gp = ctx.grp;
    const Tables &tab = ctx.tab;
    for (std::int64_t r = 0; r < ns; ++r) {
        const std::int32_t *slot = gp.slot + 3 * r;
        const double *count = gp.count + 9 * r;
        double q[kClasses] = {0.0, 0.0, 0.0};
        for (int s = 0; s < 3 && slot[s] >= 0; ++s)
            for (int c = 0; c < kClasses; ++c) q[c] += count[3 * s + c] * v[slot[s]];
        const double xw = tab.species[tab.summing[r]].xw;
        for (int c = 0; c < kClasses; ++c) gp.q[3 * r + c] = xw * q[c];
    }
    for (const Sum &sum : sums) {
        for (std::int64_t g = 0; g < ng; ++g) {
            const double *row = sum.m + gp.list[g];
            const double *q = gp.q + gp.cls[g];
            double acc = 0.0;
            for (std::int64_t r = 0; r < ns; ++r) acc += row[gp.offset[r]] * q[3 * r];
            sum.out[g] = acc;
        }
    }
}

template <std::int64_t K>
using Count = std::integral_constant<std::int64_t, K>;

void group_sums(const Context &ctx, const double *v, std::initializer_list<Sum> sums) {
    const std::int64_t ng = ctx.grp.ng, ns = ctx.tab.nsumming;
    if (ns == 2 && ng == 2) return group_sums_sized(Count<2>{}, Count<2>{}, ctx, v, sums);
    if (ns == 1 && ng == 2) return group_sums_sized(Count<1>{}, Count<2>{}, ctx, v, sums);
    if (ns == 2 && ng == 3) return group_sums_sized(Count<2>{}, Count<3>{}, ctx, v, sums);
    if (ns == 2 && ng == 4) return group_sums_sized(Count<2>{}, Count<4>{}, ctx, v, sums);
    group_sums_sized(ns, ng, ctx, v, sums);
}

// The bonding matrix M of S = M X over the groups, column-major ng x ng.
void bonding_matrix(const Context &ctx, double *m) {
    const Groups &gp = ctx.grp;
    const Tables &tab = ctx.tab;
    const std::int64_t ng = gp.ng;
    std::fill(m, m + ng * ng, 0.0);
    for (std::int64_t r = 0; r < tab.nsumming; ++r) {
        const Species &sp = tab.species[tab.summing[r]];
        const std::int32_t *slot = gp.slot + 3 * r;
        const double *count = gp.count + 9 * r;
        const double *column = ctx.str.delta + static_cast<std::int64_t>(sp.list) * ctx.str.nv;
        for (int s = 0; s < 3 && slot[s] >= 0; ++s) {
            double *mh = m + static_cast<std::int64_t>(slot[s]) * ng;
            const double *cs = count + 3 * s;
            for (std::int64_t g = 0; g < ng; ++g) mh[g] += sp.xw * column[gp.list[g]] * cs[gp.cls[g]];
        }
    }
}

// The Jacobian of G at gp.x, -diag(1/X^2) - rho M, into j; the bonding sums S = M X into gp.s.
template <class N>
void jacobian_and_sums(N ng, const Context &ctx, const double *m, double *j) {
    const Groups &gp = ctx.grp;
    const double rho = ctx.mix.rho;
    for (std::int64_t g = 0; g < ng; ++g) gp.s[g] = 0.0;
    for (std::int64_t h = 0; h < ng; ++h) {
        const double *mh = m + h * ng;
        double *jh = j + h * ng;
        const double xh = gp.x[h];
        for (std::int64_t g = 0; g < ng; ++g) {
            gp.s[g] += mh[g] * xh;
            jh[g] = -rho * mh[g];
        }
        jh[h] -= 1.0 / (xh * xh);
    }
}

// The Jacobian of G at gp.x, built from the species (when the bonding matrix is not kept).
void group_jacobian(const Context &ctx, double *j) {
    const std::int64_t ng = ctx.grp.ng;
    bonding_matrix(ctx, j);
    for (std::int64_t k = 0; k < ng * ng; ++k) j[k] *= -ctx.mix.rho;
    for (std::int64_t g = 0; g < ng; ++g) j[g * ng + g] -= 1.0 / (ctx.grp.x[g] * ctx.grp.x[g]);
}

// LU factorisation with partial pivoting (column-major, 1-based row interchanges); false when a pivot
// is zero or not finite. N is a compile-time size for the small systems (unrolled) or a run-time one.
template <class N>
bool factor_lu(N n, double *a, std::int64_t *pivots) {
    for (std::int64_t k = 0; k < n; ++k) {
        double *ck = a + k * n;
        std::int64_t p = k;
        for (std::int64_t i = k + 1; i < n; ++i)
            if (std::fabs(ck[i]) > std::fabs(ck[p])) p = i;
        pivots[k] = p + 1;
        if (p != k)
            for (std::int64_t j = 0; j < n; ++j) std::swap(a[j * n + k], a[j * n + p]);
        const double pivot = ck[k];
        if (pivot == 0.0 || !std::isfinite(pivot)) return false;
        const double inverse = 1.0 / pivot;
        for (std::int64_t i = k + 1; i < n; ++i) ck[i] *= inverse;
        for (std::int64_t j = k + 1; j < n; ++j) {
            double *cj = a + j * n;
            const double akj = cj[k];
            for (std::int64_t i = k + 1; i < n; ++i) cj[i] -= ck[i] * akj;
        }
    }
    return true;
}

template <class N>
void solve_lu(N n, const double *a, const std::int64_t *pivots, double *b) {
    for (std::int64_t k = 0; k < n; ++k)
        if (pivots[k] - 1 != k) std::swap(b[k], b[pivots[k] - 1]);
    for (std::int64_t k = 0; k < n; ++k) {
        const double *ck = a + k * n;
        for (std::int64_t i = k + 1; i < n; ++i) b[i] -= ck[i] * b[k];
    }
    for (std::int64_t k = n - 1; k >= 0; --k) {
        const double *ck = a + k * n;
        b[k] /= ck[k];
        for (std::int64_t i = 0; i < k; ++i) b[i] -= ck[i] * b[k];
    }
}

template <std::int64_t K>
using Size = std::integral_constant<std::int64_t, K>;

bool factor(const Context &ctx, std::int64_t n, double *a, std::int64_t *pivots) {
    switch (n) {
        case 2: return factor_lu(Size<2>{}, a, pivots);
        case 3: return factor_lu(Size<3>{}, a, pivots);
        case 4: return factor_lu(Size<4>{}, a, pivots);
        default:
            if (n > kOwnFactorRows && ctx.host.has_lu()) return ctx.host.lu_factor(n, a, pivots) == 0;
            return factor_lu(n, a, pivots);
    }
}

void solve(const Context &ctx, std::int64_t n, const double *a, const std::int64_t *pivots, double *b) {
    switch (n) {
        case 1: b[0] /= a[0]; return;
        case 2: return solve_lu(Size<2>{}, a, pivots, b);
        case 3: return solve_lu(Size<3>{}, a, pivots, b);
        case 4: return solve_lu(Size<4>{}, a, pivots, b);
        default:
            if (n > kOwnFactorRows && ctx.host.has_lu()) return ctx.host.lu_solve(n, a, pivots, b);
            return solve_lu(n, a, pivots, b);
    }
}

// Start: the fraction that solves each group's equation with every other group at its value,
// X = 2/(1 + sqrt(1 + 4 rho R)), R = sum_h M_gh (exact for a single group), or the caller's previous
// solution where it offers one (sc.x of an unknown of the group) within a factor kWarmRange of it.
void start(Context &ctx) {
    Groups &gp = ctx.grp;
    const std::int64_t ng = gp.ng;
    const double rho = ctx.mix.rho;
    std::fill(gp.tmp, gp.tmp + ng, 1.0);
    group_sums(ctx, gp.tmp, {{ctx.str.delta, gp.s}});
    for (std::int64_t g = 0; g < ng; ++g) gp.x[g] = 2.0 / (1.0 + std::sqrt(1.0 + 4.0 * rho * gp.s[g]));
    std::fill(gp.tmp, gp.tmp + ng, 0.0);
    for (std::int64_t a = 0; a < ctx.tab.nu; ++a) {
        const std::int32_t g = gp.of[a];
        const double warm = ctx.sc.x[a];
        if (g >= 0 && gp.tmp[g] == 0.0 && warm <= 1.0 && warm * kWarmRange >= gp.x[g] && warm <= kWarmRange * gp.x[g]) {
            gp.x[g] = warm;
            gp.tmp[g] = 1.0;
        }
    }
}

// The site fractions of the unknowns from those of their groups (1 outside the association list).
void expand(const Context &ctx, const double *v, double *out) {
    for (std::int64_t a = 0; a < ctx.tab.nu; ++a) {
        const std::int32_t g = ctx.grp.of[a];
        out[a] = g >= 0 ? v[g] : 1.0;
    }
}

// Newton's method on two groups with the bonding matrix m kept: the iteration of solve_direct written
// out for two unknowns, every operation the general loops do in the order they do it, with the values
// in registers. Leaves the Jacobian at the solution factored in sc.matrix and sc.pivots, S in gp.s;
// false when a pivot fails, an update is NaN or the limit is reached first.
bool newton_pair(Context &ctx, const double *m, std::int64_t &it) {
    Groups &gp = ctx.grp;
    const double rho = ctx.mix.rho;
    const double m00 = m[0], m10 = m[1], m01 = m[2], m11 = m[3];
    double x0 = gp.x[0], x1 = gp.x[1];
    double s0 = 0.0, s1 = 0.0, j00 = 0.0, j10 = 0.0, j01 = 0.0, j11 = 0.0;
    bool swapped = false;
    // J = -diag(1/X^2) - rho M and S = M X at (x0, x1), factored with partial pivoting into
    // (j00 j01; j10 j11): the multiplier below the pivot in j10, U in the rest.
    const auto linearise_and_factor = [&] {
        s0 = 0.0 + m00 * x0;
        s1 = 0.0 + m10 * x0;
        s0 += m01 * x1;
        s1 += m11 * x1;
        j00 = -rho * m00 - 1.0 / (x0 * x0);
        j10 = -rho * m10;
        j01 = -rho * m01;
        j11 = -rho * m11 - 1.0 / (x1 * x1);
        swapped = std::fabs(j10) > std::fabs(j00);
        if (swapped) {
            std::swap(j00, j10);
            std::swap(j01, j11);
        }
        if (j00 == 0.0 || !std::isfinite(j00)) return false;
        j10 *= 1.0 / j00;
        j11 -= j10 * j01;
        return j11 != 0.0 && std::isfinite(j11);
    };
    bool converged = false;
    while (!converged && it < ctx.limit) {
        ++it;
        if (!linearise_and_factor()) break;
        double b0 = -(1.0 / x0 - 1.0 - rho * s0), b1 = -(1.0 / x1 - 1.0 - rho * s1);
        if (swapped) std::swap(b0, b1);
        b1 -= j10 * b0;
        b1 /= j11;
        b0 -= j01 * b1;
        b0 /= j00;
        const double next0 = std::min(std::max(x0 + b0, kFloor * x0), 1.0);
        double change = worst(0.0, std::fabs(next0 - x0) / next0);
        const double next1 = std::min(std::max(x1 + b1, kFloor * x1), 1.0);
        change = worst(change, std::fabs(next1 - x1) / next1);
        x0 = next0;
        x1 = next1;
        if (!(change == change)) break;
        converged = change <= kStep;
    }
    gp.x[0] = x0;
    gp.x[1] = x1;
    const bool factored = converged && linearise_and_factor();
    gp.s[0] = s0;
    gp.s[1] = s1;
    if (!factored) return false;
    double *a = ctx.sc.matrix;
    a[0] = j00;
    a[1] = j10;
    a[2] = j01;
    a[3] = j11;
    ctx.sc.pivots[0] = swapped ? 2 : 1;
    ctx.sc.pivots[1] = 2;
    return true;
}

}  // namespace

void prepare_groups(Context &ctx) {
    build_groups(ctx);
    ctx.grp.built = true;
}

bool solve_direct(Context &ctx) {
    Groups &gp = ctx.grp;
    Scratch &sc = ctx.sc;
    if (!gp.built) build_groups(ctx);
    const std::int64_t ng = gp.ng;
    if (ng > ctx.matrix_rows) return false;
    const double rho = ctx.mix.rho;
    bool converged = ng == 0;
    std::int64_t it = 0;
    if (ng == 1) {
        // One group: S = M X, so X (1 + rho M X) = 1 has the root X = 2/(1 + sqrt(1 + 4 rho M)), and the
        // Jacobian is -1/X^2 - rho M.
        const double one = 1.0;
        double m = 0.0;
        group_sums(ctx, &one, {{ctx.str.delta, &m}});
        gp.x[0] = 2.0 / (1.0 + std::sqrt(1.0 + 4.0 * rho * m));
        gp.s[0] = m * gp.x[0];
        sc.matrix[0] = -1.0 / (gp.x[0] * gp.x[0]) - rho * m;
        sc.pivots[0] = 1;
        if (!(std::isfinite(sc.matrix[0]) && sc.matrix[0] < 0.0)) return false;
    } else {
        start(ctx);
    }
    // The bonding matrix is kept beside the Jacobian when both fit the matrix area.
    double *m = ng > 1 && 2 * ng * ng <= sc.matrix_words ? sc.matrix + ng * ng : nullptr;
    if (m) bonding_matrix(ctx, m);
    gp.m = m;
    gp.refine = false;
    const bool chord = m && ng > kOwnFactorRows;
    const auto sums_only = [&] {  // S = M X
        for (std::int64_t g = 0; g < ng; ++g) gp.s[g] = 0.0;
        for (std::int64_t h = 0; h < ng; ++h) {
            const double *mh = m + h * ng, xh = gp.x[h];
            for (std::int64_t g = 0; g < ng; ++g) gp.s[g] += mh[g] * xh;
        }
    };
    double last_change = 1.0;
    const auto linearise = [&] {
        if (m) {
            switch (ng) {
                case 2: jacobian_and_sums(Size<2>{}, ctx, m, sc.matrix); break;
                case 3: jacobian_and_sums(Size<3>{}, ctx, m, sc.matrix); break;
                case 4: jacobian_and_sums(Size<4>{}, ctx, m, sc.matrix); break;
                default: jacobian_and_sums(ng, ctx, m, sc.matrix); break;
            }
        } else {
            group_sums(ctx, gp.x, {{ctx.str.delta, gp.s}});
            group_jacobian(ctx, sc.matrix);
        }
    };
    const bool pair = ng == 2 && m;  // two groups: Newton in registers, the Jacobian factored at the end
    if (pair) {
        if (!newton_pair(ctx, m, it)) return false;
        converged = true;
    }
    while (!converged && ng > 1 && it < ctx.limit) {
        ++it;
        const bool refactor = !chord || last_change > kRefactor;
        if (refactor)
            linearise();
        else
            sums_only();
        for (std::int64_t g = 0; g < ng; ++g) gp.dx[g] = -(1.0 / gp.x[g] - 1.0 - rho * gp.s[g]);
        if (refactor && !factor(ctx, ng, sc.matrix, sc.pivots)) break;
        solve(ctx, ng, sc.matrix, sc.pivots, gp.dx);
        double change = 0.0;
        for (std::int64_t g = 0; g < ng; ++g) {
            const double x = gp.x[g];
            const double next = std::min(std::max(x + gp.dx[g], kFloor * x), 1.0);
            change = worst(change, std::fabs(next - x) / next);
            gp.x[g] = next;
        }
        if (!(change == change)) break;  // NaN: give up, the iterative solvers take over
        converged = change <= kStep;
        last_change = change;
    }
    if (ng > 1 && !pair) {
        if (!converged) return false;
        if (chord) {
            sums_only();  // the factors are those of a Jacobian near the solution: derivatives refine
            gp.refine = true;
        } else {
            linearise();  // the Jacobian at the solution, factored once for every derivative
            if (!factor(ctx, ng, sc.matrix, sc.pivots)) return false;
        }
    }
    ctx.stats.iterations = ctx.stats.newton_iterations = it;
    ctx.stats.groups = ng;
    expand(ctx, gp.x, sc.x);
    if (ctx.tab.passive > 0) partial_sums(ctx.tab, sc.x, sc.partial);  // for the passive species' fractions
    ctx.stats.direct = 1;
    return true;
}

bool solve_single(Context &ctx, Requests req, Results &res, double *a_x) {
    const Tables &tab = ctx.tab;
    const Strengths &str = ctx.str;
    const Site &rep = tab.sites[tab.unknown_site[0]];
    const Species &sp = tab.species[rep.species];
    const std::int32_t l = tab.unknown_list[0];
    const int c = tab.unknown_class[0];
    const double rho = ctx.mix.rho;
    // Sites of the species bonding with the unknown's class; the species acts on itself when it sums.
    double bonding = 0.0;
    for (std::int32_t b = 0; b < sp.sites; ++b) bonding += bonds_with_class(c, tab.sites[sp.first_site + b].kind);
    const bool sums = l >= 0 && sp.xw > 0.0;
    const auto self = [&](const double *m) { return sums ? sp.xw * bonding * str(m, l, l) : 0.0; };
    const double m = self(str.delta);
    const double x = 2.0 / (1.0 + std::sqrt(1.0 + 4.0 * rho * m));
    const double jacobian = -1.0 / (x * x) - rho * m;
    if (!(x > 0.0 && std::isfinite(jacobian))) return false;
    ctx.sc.x[0] = x;
    ctx.stats.groups = 1;
    const double weight = sp.xw > 0.0 ? sp.xw * sp.sites : 0.0;  // x w times the sites the unknown stands for
    const double h = helmholtz(x), slope = 1.0 / x - 0.5;
    res.a = weight * h;
    double y_rho = 0.0;
    if (req.rho || req.rho2) {
        y_rho = rho * (m + self(str.rho)) * x / jacobian;
        res.a_rho = weight * slope * y_rho;
    }
    if (req.rho2) {
        const double ratio = y_rho / x;
        const double r = rho * (x * (2.0 * self(str.rho) + self(str.rho2)) + 2.0 * y_rho * (m + self(str.rho)));
        const double y = (r - 2.0 * ratio * ratio / x) / jacobian;
        res.a_rho2 = weight * (slope * (y_rho + y) - ratio * ratio);
    }
    if (req.t) res.a_t = weight * slope * rho * self(str.t) * x / jacobian;
    if (req.x) {
        const double s2 = self(str.dx2) * x, s3 = self(str.dx3) * x;
        for (std::int64_t k = 0; k < ctx.mix.ncp; ++k) {
            double c2 = 0.0, c3 = 0.0;
            packing_slopes(ctx.mix, ctx.options, k, c2, c3);
            double r = rho * (c2 * s2 + c3 * s3), direct = 0.0;
            if (sp.position == k) {  // k's own sites: their terms, and their bonds with the unknown
                direct = sp.weight * sp.sites * h;
                if (l >= 0) r += sp.weight * str(str.delta, l, l) * bonding * x;
            }
            if (a_x) a_x[k] = direct + weight * slope * rho * r / jacobian;
        }
    }
    ctx.stats.direct = 1;
    return true;
}

namespace {

// The results for NG groups, a compile-time size for two groups (the loops unrolled, the same
// operations in the same order) or a run-time one.
template <class NG>
void direct_results_sized(NG ng, Context &ctx, Requests req, Results &res, double *a_x) {
    Groups &gp = ctx.grp;
    Scratch &sc = ctx.sc;
    const Tables &tab = ctx.tab;
    const Strengths &str = ctx.str;
    const std::int64_t nv = str.nv;
    const double rho = ctx.mix.rho;
    const auto solved = [&](double *y) {
        if (!gp.refine) {
            if constexpr (std::is_same_v<NG, std::int64_t>)
                solve(ctx, ng, sc.matrix, sc.pivots, y);
            else
                solve_lu(ng, sc.matrix, sc.pivots, y);
            return;
        }
        // Iterative refinement against J = -diag(1/X^2) - rho M at the solution.
        double *b = gp.r1, *r = gp.r2;
        std::copy(y, y + ng, b);
        solve(ctx, ng, sc.matrix, sc.pivots, y);
        for (int round = 0; round < kRefinements; ++round) {
            for (std::int64_t g = 0; g < ng; ++g) r[g] = b[g] + y[g] / (gp.x[g] * gp.x[g]);
            for (std::int64_t h = 0; h < ng; ++h) {
                const double *mh = gp.m + h * ng, yh = rho * y[h];
                for (std::int64_t g = 0; g < ng; ++g) r[g] += mh[g] * yh;
            }
            solve(ctx, ng, sc.matrix, sc.pivots, r);
            double size = 0.0, correction = 0.0;
            for (std::int64_t g = 0; g < ng; ++g) {
                y[g] += r[g];
                size = std::fmax(size, std::fabs(y[g]));
                correction = std::fmax(correction, std::fabs(r[g]));
            }
            if (correction <= 1.0e-15 * size) break;
        }
    };
    // Per group: its term ln X - X/2 + 1/2 and the slope 1/X - 1/2 of that term.
    double *h = gp.g, *slope = gp.tmp;
    double a = 0.0;
    for (std::int64_t g = 0; g < ng; ++g) {
        h[g] = helmholtz(gp.x[g]);
        slope[g] = 1.0 / gp.x[g] - 0.5;
        a += gp.weight[g] * h[g];
    }
    res.a = a;
    const auto weighted = [&](const double *y) {  // the sum over the sites of x w (1/X - 1/2) Y
        double sum = 0.0;
        for (std::int64_t g = 0; g < ng; ++g) sum += gp.weight[g] * slope[g] * y[g];
        return sum;
    };
    // Bonding sums of X with the derivative matrices, in one pass.
    double *s_rho = gp.rhs, *s_x2 = gp.b1, *s_x3 = gp.b2;
    Sum sums[5];
    int n = 0;
    if (req.rho || req.rho2) sums[n++] = {str.rho, s_rho};
    if (req.rho2) sums[n++] = {str.rho2, gp.y_rho2};
    if (req.t) sums[n++] = {str.t, gp.y_t};
    if (req.x) {
        sums[n++] = {str.dx2, s_x2};
        sums[n++] = {str.dx3, s_x3};
    }
    switch (n) {
        case 1: group_sums(ctx, gp.x, {sums[0]}); break;
        case 2: group_sums(ctx, gp.x, {sums[0], sums[1]}); break;
        case 3: group_sums(ctx, gp.x, {sums[0], sums[1], sums[2]}); break;
        case 4: group_sums(ctx, gp.x, {sums[0], sums[1], sums[2], sums[3]}); break;
        case 5: group_sums(ctx, gp.x, {sums[0], sums[1], sums[2], sums[3], sums[4]}); break;
        default: break;
    }
    if (req.rho || req.rho2) {
        for (std::int64_t g = 0; g < ng; ++g) gp.y_rho[g] = rho * (gp.s[g] + s_rho[g]);
        solved(gp.y_rho);
        res.a_rho = weighted(gp.y_rho);
    }
    if (req.rho2) {
        // r = rho [2 S_rho(X) + S_rho2(X) + 2 S(Y_rho) + 2 S_rho(Y_rho)], c = 2 (Y_rho/X)^2.
        double *y = gp.y_rho2, *by_delta = gp.dx, *by_rho = gp.b3;
        group_sums(ctx, gp.y_rho, {{str.delta, by_delta}, {str.rho, by_rho}});
        for (std::int64_t g = 0; g < ng; ++g) {
            const double ratio = gp.y_rho[g] / gp.x[g];
            y[g] = rho * (y[g] + 2.0 * (s_rho[g] + by_delta[g] + by_rho[g])) - 2.0 * ratio * ratio / gp.x[g];
        }
        solved(y);
        double sum = 0.0;
        for (std::int64_t g = 0; g < ng; ++g) {
            const double ratio = gp.y_rho[g] / gp.x[g];
            sum += gp.weight[g] * (slope[g] * (gp.y_rho[g] + y[g]) - ratio * ratio);
        }
        res.a_rho2 = sum;
    }
    if (req.t) {
        for (std::int64_t g = 0; g < ng; ++g) gp.y_t[g] *= rho;
        solved(gp.y_t);
        res.a_t = weighted(gp.y_t);
    }
    if (!req.x) return;
    for (std::int64_t k = 0; k < ctx.mix.ncp; ++k) {
        // r = rho [sum over the species s of k: weight_s Delta(g, s) q_s(X) + rho (c2 S_x2 + c3 S_x3)].
        double c2 = 0.0, c3 = 0.0;
        packing_slopes(ctx.mix, ctx.options, k, c2, c3);
        double *y = gp.y_x + k * ng;
        for (std::int64_t g = 0; g < ng; ++g) y[g] = rho * (c2 * s_x2[g] + c3 * s_x3[g]);
        double direct = 0.0;  // the terms of k's own sites, weighted by segments per molecule
        for (std::int64_t i = 0; i < tab.ns; ++i) {
            const Species &sp = tab.species[i];
            if (sp.position != k || !(sp.unknowns || sp.passive)) continue;
            double q[kClasses] = {0.0, 0.0, 0.0}, terms = 0.0;
            for (std::int32_t b = 0; b < sp.sites; ++b) {
                const Site &site = tab.sites[sp.first_site + b];
                const double x = sc.site_x[sp.first_site + b];
                const std::int32_t g = site.unknown >= 0 ? gp.of[site.unknown] : -1;
                terms += g >= 0 ? h[g] : helmholtz(x);
                for (int c = 0; c < kClasses; ++c)
                    if (bonds_with_class(c, site.kind)) q[c] += x;
            }
            direct += sp.weight * terms;
            if (sp.list < 0) continue;
            const double *column = str.delta + static_cast<std::int64_t>(sp.list) * nv;
            for (std::int64_t g = 0; g < ng; ++g) y[g] += sp.weight * column[gp.list[g]] * q[gp.cls[g]];
        }
        for (std::int64_t g = 0; g < ng; ++g) y[g] *= rho;
        solved(y);
        if (a_x) a_x[k] = direct + weighted(y);
    }
}

}  // namespace

void direct_results(Context &ctx, Requests req, Results &res, double *a_x) {
    if (ctx.grp.ng == 2) return direct_results_sized(Size<2>{}, ctx, req, res, a_x);
    direct_results_sized(ctx.grp.ng, ctx, req, res, a_x);
}

}  // namespace keld::assoc::detail
