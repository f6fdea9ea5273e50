// The association routine: checks its arguments, resolves the site types, builds the unknowns, chooses
// the solver, solves the site fractions and the requested derivatives, and forms A_assoc/(nRT) and
// its derivatives.
#include "association/association.h"

#include <algorithm>
#include <cmath>

#include "association/context.h"
#include "association/prepared.h"
#include "association/simplified.h"
#include "association/sites.h"
#include "association/solvers.h"
#include "association/strengths.h"

namespace keld::assoc {
namespace {

using namespace detail;

constexpr std::int64_t kNewtonUnknowns = 1000;  // above: accelerated substitution
constexpr std::int64_t kSimplifiedOption = 20;

// Scratch of both paths: site fractions per unknown, bonding sums per species, fractions per site, and
// the matrix of method 2 and of the direct path. One block of the work area (nothing is carved when it
// is short).
void carve_core(Arena &arena, std::int64_t n, std::int64_t ns, std::int64_t nt, std::int64_t matrix_rows,
                Scratch &sc) {
    sc.matrix_words = matrix_rows * matrix_rows + 4 * matrix_rows;
    double *p = arena.take<double>(n + kClasses * ns + nt + sc.matrix_words);
    sc.pivots = arena.take<std::int64_t>(matrix_rows);
    if (p == nullptr) return;
    sc.x = p, p += n;
    sc.partial = p, p += kClasses * ns;
    sc.site_x = p, p += nt;
    sc.matrix = p;
}

// Scratch of the iterative solvers only.
constexpr int kIterativeVectors = 20;
std::int64_t iterative_words(std::int64_t n, std::int64_t ncp) { return kIterativeVectors * n + n * ncp + n + 2; }
void carve_iterative(Arena &arena, std::int64_t n, std::int64_t ncp, Scratch &sc) {
    double *p = arena.take<double>(iterative_words(n, ncp));
    if (p == nullptr) return;
    double **vectors[kIterativeVectors] = {
        &sc.u,   &sc.s,   &sc.f,       &sc.step,  &sc.u_base,   &sc.direction, &sc.w,        &sc.rhs,      &sc.extra,
        &sc.xar, &sc.xar2, &sc.xat,    &sc.sum_rho, &sc.sum_rho2, &sc.sum_t,   &sc.sum_x2,   &sc.sum_x3,   &sc.y_sums,
        &sc.helmholtz, &sc.slope};
    for (double **v : vectors) *v = p, p += n;
    sc.xax = p, p += n * ncp;
    sc.accelerate = p;
}

// The direct path's groups: per-unknown and per-group arrays (at most n groups), per list position and
// per species tables.
std::int64_t group_words(std::int64_t n, std::int64_t ns, std::int64_t nv, std::int64_t ncp) {
    return (3 * n + 5 * nv + 3 * ns + 1) / 2 + nv + ns + 12 * ns + 15 * n + n * ncp;
}
void carve_groups(Arena &arena, std::int64_t n, std::int64_t ns, std::int64_t nv, std::int64_t ncp, Groups &gp) {
    std::int32_t *i = arena.take<std::int32_t>(3 * n + 5 * nv + 3 * ns);
    gp.hash = arena.take<std::uint64_t>(nv);
    gp.offset = arena.take<std::int64_t>(ns);
    double *p = arena.take<double>(12 * ns + 15 * n + n * ncp);
    if (i == nullptr || p == nullptr) return;
    gp.of = i, i += n;
    gp.list = i, i += n;
    gp.cls = i, i += n;
    gp.row = i, i += nv;
    gp.order = i, i += nv;
    gp.key = i, i += 3 * nv;
    gp.slot = i;
    gp.count = p, p += 9 * ns;
    for (double **v : {&gp.x, &gp.s, &gp.g, &gp.dx, &gp.rhs, &gp.tmp, &gp.y_rho, &gp.y_rho2, &gp.y_t, &gp.weight, &gp.b1,
                       &gp.b2, &gp.b3, &gp.r1, &gp.r2})
        *v = p, p += n;
    gp.y_x = p, p += n * ncp;
    gp.q = p;
}

// The direct path replaces the iterative solvers when nothing can observe how they iterate: at
// diagnostic level 0 (no lines are written and the method option is not read) unless the caller asks
// for the iterative solvers.
bool direct_allowed(const Options &options) { return options.diag_level <= 0 && !options.iterative; }

bool in_range(std::int64_t c, std::int64_t nc) { return c >= 1 && c <= nc; }

// The listed components and their segment species name components 1..NC, and the arrays that
// count sites are present: what sizing the work area reads.
bool valid_species(const Mixture &mix) {
    if (mix.ncp < 0 || mix.nc < 1 || mix.nc > kMaxCount || mix.nv < 0 || mix.nv > kMaxCount || !mix.idx ||
        !mix.types)
        return false;
    for (std::int64_t k = 0; k < mix.ncp; ++k) {
        const std::int64_t c = mix.idx[k];
        if (!in_range(c, mix.nc)) return false;
        const std::int64_t nseg = segment_count(mix, c);
        if (nseg <= 0) continue;
        const SegmentTable &seg = mix.segments;
        if (nseg > seg.ld || !seg.component || !seg.weight) return false;
        for (std::int64_t s = 0; s < nseg; ++s)
            if (!in_range(seg.component[(c - 1) * seg.ld + s], mix.nc)) return false;
    }
    return true;
}

bool valid_density(double rho) { return rho >= 0.0 && std::isfinite(rho); }

// Every array the call will read is present and every component number in range.
bool valid(const Mixture &mix, const Options &options, Requests req) {
    if (mix.ncp < 0 || mix.nc < 1 || mix.nc > kMaxCount || mix.nv < 0 || mix.nv > kMaxCount || !(mix.t > 0.0) ||
        !std::isfinite(mix.t) || !valid_density(mix.rho) || !(options.tolerance >= 0.0))
        return false;
    if (!mix.idx || !mix.x || !mix.m || !mix.sigma || !mix.marker || !mix.d || !mix.types) return false;
    if (mix.nv > 0 && (!mix.list || !mix.energy || !mix.volume)) return false;
    if (req.t && options.model != 1 && !mix.t_dd) return false;
    if (options.model == 1 && !mix.covolume) return false;
    for (std::int64_t v = 0; v < mix.nv; ++v)
        if (!in_range(mix.list[v], mix.nc)) return false;
    for (std::int64_t k = 0; k < mix.ncp; ++k)
        if (!std::isfinite(mix.x[k])) return false;
    return valid_species(mix);
}

void write_heading_lines(const Context &ctx) {
    const Mixture &mix = ctx.mix;
    ctx.diag.write("(6X,2(A,G13.6))", {"PCSAF5: T = ", mix.t, "  RHO = ", mix.rho});
    ctx.diag.write("(6X,A)", {"PCSAF5: I, IDX, X"});
    for (std::int64_t k = 0; k < mix.ncp; ++k) ctx.diag.write("(6X,2(I3,2X),G13.6)", {k + 1, mix.idx[k], mix.x[k]});
}

void write_table_lines(const Context &ctx) {
    const Mixture &mix = ctx.mix;
    const Tables &tab = ctx.tab;
    const std::int64_t nv = mix.nv;
    ctx.diag.write("(6X,A)", {"PCSAF5: ASSOCIATION VOLUME, ENERGY, STRENGTH:"});
    ctx.diag.write("(6X,A)", {" IDXI, IDXJ, VIJ, EIJ, QIJ"});
    for (std::int64_t q = 0; q < nv; ++q)
        for (std::int64_t p = 0; p < nv; ++p)
            if (ctx.str.delta[q * nv + p] != 0.0)
                ctx.diag.write("(6X,I3,2X,I3,3(2X,G13.6))", {mix.list[p], mix.list[q], mix.volume[q * nv + p],
                                                            mix.energy[q * nv + p], ctx.str.delta[q * nv + p]});
    ctx.diag.write("(6X,A)", {"PCSAF5: ASSOCIATION VARIABLES: NO, IDX, ISITE"});
    for (std::int64_t a = 0; a < tab.nu; ++a) {
        const Site &s = tab.sites[tab.unknown_site[a]];
        const std::int64_t no = tab.species[s.species].position + 1;
        ctx.diag.write("(6X,I3,2X,I3,2X,I3)", {no, mix.idx[no - 1], std::int64_t{s.number}});
    }
    std::int64_t e = 0;
    for (std::int64_t t = 0; t < tab.nt; ++t) {
        const Site &s = tab.sites[t];
        if (s.unknown >= 0 && tab.unknown_site[s.unknown] != t)
            ctx.diag.write("(6X,3(A,I3))", {"I = ", ++e, "  IV2 = ", std::int64_t{s.number}, "  JV2 = ",
                                            std::int64_t{s.unknown + 1}});
    }
}

void choose_method(Context &ctx) {
    const std::int64_t n = ctx.tab.nu;
    if (ctx.diag.level() == 0) {
        ctx.method = n <= kNewtonUnknowns ? 2 : 1;
    } else if (ctx.options.method <= 1) {
        ctx.method = std::max<std::int64_t>(ctx.options.method, 0);
    } else if (n <= kNewtonUnknowns) {
        ctx.method = 2;
    } else {
        ctx.method = 1;
        ctx.diag.write("(6X,A,I5)", {"***ASSOCIATION PROBLEM TOO LARGE. NV =", n});
        ctx.diag.write("(6X,A)", {"***SWITCHING TO QNSS"});
    }
    ctx.limit = ctx.method == 2 ? 100 : 1000;
    ctx.stats.method = ctx.method;
    ctx.stats.limit = ctx.limit;
}

// Start values: the caller's previous solution where it holds a fraction in (0, 1], else the default.
void start(Context &ctx, const Outputs &out) {
    default_start(ctx);
    if (ctx.options.start != 2 || !out.site_fractions) return;
    const Tables &tab = ctx.tab;
    for (std::int64_t a = 0; a < tab.nu; ++a) {
        const Site &s = tab.sites[tab.unknown_site[a]];
        if (s.number > out.ld_sites) continue;
        const double x = out.site_fractions[tab.species[s.species].position * out.ld_sites + s.number - 1];
        if (x > 0.0 && x <= 1.0) ctx.sc.u[a] = std::log(x);
    }
}

// The direct path's start: the caller's previous solution in sc.x where it holds a fraction in (0, 1],
// 0 elsewhere (no start offered).
void warm_start(Context &ctx, const Outputs &out) {
    const Tables &tab = ctx.tab;
    const bool offered = ctx.options.start == 2 && out.site_fractions;
    for (std::int64_t a = 0; a < tab.nu; ++a) {
        const Site &s = tab.sites[tab.unknown_site[a]];
        ctx.sc.x[a] = offered && s.number <= out.ld_sites
                          ? out.site_fractions[tab.species[s.species].position * out.ld_sites + s.number - 1]
                          : 0.0;
    }
}

// Fractions of every site: unknowns from the solution, sites of trace components (passive) from one
// substitution (their component does not act on the others), 1 for sites that do not bond.
void site_values(Context &ctx) {
    const Tables &tab = ctx.tab;
    Scratch &sc = ctx.sc;
    for (std::int64_t t = 0; t < tab.nt; ++t) {
        const Site &s = tab.sites[t];
        if (s.unknown >= 0) {
            sc.site_x[t] = sc.x[s.unknown];
        } else if (tab.species[s.species].passive) {
            const double sum = site_sum(tab, ctx.str, ctx.str.delta, sc.partial, tab.species[s.species].list,
                                        site_class(s.kind));
            sc.site_x[t] = 1.0 / (1.0 + ctx.mix.rho * sum);
        } else {
            sc.site_x[t] = 1.0;
        }
    }
}

void write_outputs(const Context &ctx, const Outputs &out) {
    const Tables &tab = ctx.tab;
    if (out.site_fractions) {
        for (std::int64_t k = 0; k < ctx.mix.ncp; ++k)
            for (std::int64_t s = 0; s < out.ld_sites; ++s) out.site_fractions[k * out.ld_sites + s] = 1.0;
        for (std::int64_t t = 0; t < tab.nt; ++t) {
            const Site &s = tab.sites[t];
            if (s.number <= out.ld_sites)
                out.site_fractions[tab.species[s.species].position * out.ld_sites + s.number - 1] = ctx.sc.site_x[t];
        }
    }
    if (out.no && out.isite)
        for (std::int64_t a = 0; a < std::min(tab.nu, out.max_unknowns); ++a) {
            const Site &s = tab.sites[tab.unknown_site[a]];
            out.no[a] = tab.species[s.species].position + 1;
            out.isite[a] = s.number;
        }
}

void copy_strengths(const Strengths &str, const Outputs &out) {
    const std::int64_t words = str.nv * str.nv;
    const std::pair<double *, const double *> copies[] = {
        {out.delta, str.delta}, {out.delta_rho, str.rho}, {out.delta_rho2, str.rho2}, {out.delta_t, str.t}};
    for (auto [to, from] : copies)
        if (to && from) std::copy(from, from + words, to);
}

// Sum over the sites of bonding species of xw * term(site, unknown).
template <class Term>
double site_sum(const Context &ctx, Term &&term) {
    const Tables &tab = ctx.tab;
    double sum = 0.0;
    for (std::int64_t i = 0; i < tab.ns; ++i) {
        const Species &sp = tab.species[i];
        if (!sp.unknowns || sp.xw <= 0.0) continue;
        double s = 0.0;
        for (std::int32_t a = 0; a < sp.sites; ++a) s += term(tab.sites[sp.first_site + a].unknown);
        sum += sp.xw * s;
    }
    return sum;
}


// The derivative solves and the derivative outputs. Returns false when a solve failed.
bool derivatives(Context &ctx, Requests req, Results &r, double *a_x) {
    Scratch &sc = ctx.sc;
    const Tables &tab = ctx.tab;
    const double *x = sc.x;
    const auto bonded = [&](const double *m, double *out) {
        bond_sums(tab, ctx.str, m, x, sc.partial, out);
    };
    if (req.rho || req.rho2) bonded(ctx.str.rho, sc.sum_rho);
    if (req.rho2) bonded(ctx.str.rho2, sc.sum_rho2);
    if (req.t) bonded(ctx.str.t, sc.sum_t);
    if (req.x) {
        bonded(ctx.str.dx2, sc.sum_x2);
        bonded(ctx.str.dx3, sc.sum_x3);
    }
    bool ok = true;
    const double *slope_of = sc.slope;
    const auto slope = [&](std::int32_t a) { return slope_of[a]; };
    if (req.rho || req.rho2) {
        ok = solve_derivative(ctx, Derivative::rho) && ok;
        r.a_rho = site_sum(ctx, [&](std::int32_t a) { return slope(a) * sc.xar[a]; });
    }
    if (req.rho2) {
        ok = solve_derivative(ctx, Derivative::rho2) && ok;
        r.a_rho2 = site_sum(ctx, [&](std::int32_t a) {
            const double ratio = sc.xar[a] / x[a];
            return slope(a) * (sc.xar[a] + sc.xar2[a]) - ratio * ratio;
        });
    }
    if (req.t) {
        ok = solve_derivative(ctx, Derivative::t) && ok;
        r.a_t = site_sum(ctx, [&](std::int32_t a) { return slope(a) * sc.xat[a]; });
    }
    if (req.x) {
        for (std::int64_t k = 0; k < ctx.mix.ncp; ++k) {
            ok = solve_derivative(ctx, Derivative::x, k) && ok;
            const double *y = sc.xax + k * tab.nu;
            double direct = 0.0;  // sum over the sites of k's species, weighted by segments per molecule
            for (std::int64_t i = 0; i < tab.ns; ++i) {
                const Species &sp = tab.species[i];
                if (sp.position != k || !(sp.unknowns || sp.passive)) continue;
                double s = 0.0;
                for (std::int32_t a = 0; a < sp.sites; ++a) {
                    const std::int32_t u = tab.sites[sp.first_site + a].unknown;
                    s += u >= 0 ? sc.helmholtz[u] : helmholtz(sc.site_x[sp.first_site + a]);
                }
                direct += sp.weight * s;
            }
            if (a_x) a_x[k] = direct + site_sum(ctx, [&](std::int32_t a) { return slope(a) * y[a]; });
        }
    }
    return ok;
}

void zero_outputs(const Mixture &mix, Requests req, double *a_x) {
    if (req.x && a_x)
        for (std::int64_t k = 0; k < mix.ncp; ++k) a_x[k] = 0.0;
}

Results simplified_path(Context &ctx, Arena &arena, Requests req, const Outputs &out) {
    Results r;
    const Mixture &mix = ctx.mix;
    const Counts n = count_sites(mix);
    Tables &tab = ctx.tab;
    tab.ns = n.species;
    tab.species = arena.take<Species>(n.species);
    if (!compute_strengths(mix, ctx.options, req.x, arena, ctx.str)) return r;
    carve_core(arena, n.species, n.species, 0, 0, ctx.sc);
    carve_iterative(arena, n.species, mix.ncp, ctx.sc);
    if (arena.short_of_words()) return r;
    std::int64_t s = 0;
    for (std::int64_t k = 0; k < mix.ncp; ++k) {
        const std::int64_t c = mix.idx[k], nseg = segment_count(mix, c);
        for (std::int64_t g = 0; g < std::max<std::int64_t>(nseg, 1); ++g) {
            Species &sp = tab.species[s++];
            const std::int64_t at = (c - 1) * mix.segments.ld + g;
            sp.component = nseg > 0 ? mix.segments.component[at] : c;
            sp.fraction = nseg > 0 && mix.segments.fraction ? mix.segments.fraction[at] : 1.0;
            sp.position = static_cast<std::int32_t>(k);
            sp.list = static_cast<std::int32_t>(ctx.host.component_vector(sp.component, mix.list, mix.nv) - 1);
        }
    }
    copy_strengths(ctx.str, out);
    zero_outputs(mix, req, out.a_x);
    simplified(ctx, req, r, out.a_x);
    r.stats = ctx.stats;
    return r;
}

void report_short_work(const Diagnostics &diag, std::int64_t needed, std::int64_t given) {
    diag.write("(6X,A,I10,A,I10)", {"PCSAF5: WORK AREA TOO SMALL. NEEDED = ", needed, "  GIVEN = ", given});
}

// Everything of a call after its tables, strengths and scratch are in place: the solve at mix.rho, the
// site values, the outputs and the results. The scratch carved only when needed comes from `arena`, or
// is carved already (nullptr: a prepared form).
Results finish(Context &ctx, Arena *arena, Requests req, const Outputs &out, Results r) {
    Tables &tab = ctx.tab;
    const bool direct = direct_allowed(ctx.options);
    r.unknowns = tab.nu;
    r.max_sites = tab.nxa;
    ctx.stats.equivalent_sites = tab.equivalents;
    if (ctx.diag.level() > 3) write_table_lines(ctx);
    copy_strengths(ctx.str, out);
    zero_outputs(ctx.mix, req, out.a_x);
    if (tab.nu == 0) {
        std::fill(ctx.sc.site_x, ctx.sc.site_x + tab.nt, 1.0);
        write_outputs(ctx, out);
        return r;
    }
    choose_method(ctx);
    const bool try_direct = direct && !ctx.str.unphysical;
    if (try_direct && tab.nu == 1 && tab.passive == 0 && solve_single(ctx, req, r, out.a_x)) {
        site_values(ctx);
        write_outputs(ctx, out);
        r.stats = ctx.stats;
        return r;
    }
    if (try_direct) {
        if (arena) carve_groups(*arena, tab.nu, tab.ns, ctx.mix.nv, ctx.mix.ncp, ctx.grp);
        warm_start(ctx, out);
        ctx.direct = solve_direct(ctx);
    }
    if (!ctx.direct) {
        if (direct && arena) carve_iterative(*arena, tab.nu, ctx.mix.ncp, ctx.sc);
        start(ctx, out);
    }
    const bool converged = ctx.direct || solve_site_fractions(ctx);
    site_values(ctx);
    write_outputs(ctx, out);
    if (ctx.direct) {
        direct_results(ctx, req, r, out.a_x);
        r.stats = ctx.stats;
        return r;
    }
    for (std::int64_t a = 0; a < tab.nu; ++a) {  // once per unknown, for the value and the derivatives
        ctx.sc.helmholtz[a] = helmholtz(ctx.sc.x[a]);
        ctx.sc.slope[a] = 1.0 / ctx.sc.x[a] - 0.5;
    }
    r.a = site_sum(ctx, [&](std::int32_t a) { return ctx.sc.helmholtz[a]; });
    if (converged && !derivatives(ctx, req, r, out.a_x)) r.failed = 1;
    if (!converged) r.failed = 1;
    r.stats = ctx.stats;
    return r;
}

// Whether a call with these options can be prepared: the direct path at diagnostic level 0 with the
// PC-SAFT radial distribution function, not the simplified path.
bool preparable(const Mixture &mix, const Options &options) {
    return options.association != kSimplifiedOption && direct_allowed(options) && options.model != 1 &&
           mix.nv <= 46340;  // nv^2 entries numbered by 32-bit integers
}

// Replaces the user codes of components 1..nc by their type numbers; false (nothing written) when a code
// cannot be registered: the whole routine then serves every call and writes its lines.
bool resolve_quietly(const host::Host &host, const Mixture &mix) {
    for (std::int64_t c = 0; c < mix.nc; ++c) {
        if (mix.types[c] < kFirstUserCode) continue;
        const CodeResolution r = resolve_user_code(host, mix.types[c]);
        if (r.status != CodeStatus::registered) return false;
        mix.types[c] = r.type;
    }
    return true;
}

}  // namespace

std::int64_t work_words(const host::Host &host, const Mixture &mix, const Options &options) {
    (void)host;
    if (!valid_species(mix)) return 0;
    const Counts n = count_sites(mix);
    Arena arena(nullptr, 0);
    arena.take<Species>(n.species);
    arena.take<Site>(n.sites);
    for (int k = 0; k < 3; ++k) arena.take<std::int32_t>(n.sites);  // unknowns: site, list position, class
    arena.take<std::int32_t>(n.species);
    arena.take<double>(strength_words(mix.nv));
    const bool newton_possible = options.diag_level == 0 || options.method >= 2;
    const std::int64_t rows = newton_possible ? std::min(n.sites, kNewtonUnknowns) : 0;
    Scratch sc;
    const std::int64_t per_unknown = std::max(n.sites, n.species);
    carve_core(arena, per_unknown, n.species, n.sites, rows, sc);
    carve_iterative(arena, per_unknown, mix.ncp, sc);
    if (direct_allowed(options)) {
        Groups gp;
        carve_groups(arena, n.sites, n.species, mix.nv, mix.ncp, gp);
    }
    return arena.used();
}

Results evaluate(const host::Host &host, const Mixture &mix, const Options &options, Requests req,
                 const Outputs &out, std::span<double> work) {
    Results r;
    if (!valid(mix, options, req)) {
        r.failed = 1;
        return r;
    }
    const Diagnostics diag(host, options.diag_level, options.diag_unit);
    Layout layout;
    Context ctx(host, mix, options, diag, layout);
    resolve_user_types(host, mix, diag);  // an unusable code fails the call when a listed species has it
    if (diag.level() > 1) write_heading_lines(ctx);
    Arena arena(work.data(), static_cast<std::int64_t>(work.size()));
    if (options.association == kSimplifiedOption) {
        r = simplified_path(ctx, arena, req, out);
        if (arena.short_of_words()) {
            report_short_work(diag, work_words(host, mix, options), static_cast<std::int64_t>(work.size()));
            r.failed = 1;
        }
        return r;
    }

    Tables &tab = ctx.tab;
    const bool built = build_tables(host, mix, arena, tab);
    const bool strengths = built && compute_strengths(mix, options, req.x, arena, ctx.str);
    const bool newton_possible = options.diag_level == 0 || options.method >= 2;
    const bool direct = direct_allowed(options);
    ctx.matrix_rows = newton_possible && (tab.nu <= kNewtonUnknowns || direct) ? std::min(tab.nu, kNewtonUnknowns) : 0;
    if (strengths) {
        carve_core(arena, tab.nu, tab.ns, tab.nt, ctx.matrix_rows, ctx.sc);
        if (!direct) carve_iterative(arena, tab.nu, mix.ncp, ctx.sc);
    }
    // The scratch of the direct path's groups and of the iterative solvers is carved only when they
    // run; its words must be there all the same.
    const std::int64_t later =
        direct ? group_words(tab.nu, tab.ns, mix.nv, mix.ncp) + iterative_words(tab.nu, mix.ncp) : 0;
    if (arena.short_of_words() || arena.used() + later > static_cast<std::int64_t>(work.size())) {
        report_short_work(diag, work_words(host, mix, options), static_cast<std::int64_t>(work.size()));
        r.failed = 1;
        return r;
    }
    if (!built) {
        r.failed = 1;  // a listed species with an association type that names no site type
        return r;
    }
    return finish(ctx, &arena, req, out, r);
}

std::int64_t prepared_words(const host::Host &host, const Mixture &mix, const Options &options) {
    const std::int64_t words = work_words(host, mix, options);
    if (words == 0 || !preparable(mix, options)) return words;
    return words - strength_words(mix.nv) + plan_words(mix.nv);
}

void prepare(const host::Host &host, const Mixture &mix, const Options &options, std::span<double> work,
             Prepared &pp) {
    pp = Prepared{};
    pp.mix = mix;
    pp.options = options;
    pp.work = work;
    Mixture checked = mix;
    checked.rho = 0.0;  // the density is checked by each evaluation
    if (!preparable(mix, options) || !mix.t_dd || !valid(checked, options, Requests{true, true, true, true}) ||
        !resolve_quietly(host, mix))
        return;
    Arena arena(work.data(), static_cast<std::int64_t>(work.size()));
    Layout &lay = pp.layout;
    if (!build_tables(host, pp.mix, arena, lay.tab) || !prepare_strengths(pp.mix, arena, lay.str, pp.plan)) return;
    const Tables &tab = lay.tab;
    lay.matrix_rows = std::min(tab.nu, kNewtonUnknowns);
    carve_core(arena, tab.nu, tab.ns, tab.nt, lay.matrix_rows, lay.sc);
    carve_groups(arena, tab.nu, tab.ns, mix.nv, mix.ncp, lay.grp);
    carve_iterative(arena, tab.nu, mix.ncp, lay.sc);
    if (arena.short_of_words()) return;
    if (tab.nu > 0) {
        const Diagnostics diag(host, options.diag_level, options.diag_unit);
        Context ctx(host, pp.mix, pp.options, diag, pp.layout);
        prepare_groups(ctx);
    }
    pp.ready = true;
}

Results evaluate(const host::Host &host, Prepared &pp, double rho, bool warm, Requests req, const Outputs &out) {
    pp.mix.rho = rho;
    pp.options.start = warm ? 2 : 0;
    if (!pp.ready) return evaluate(host, pp.mix, pp.options, req, out, pp.work);
    Results r;
    if (!valid_density(rho)) {
        r.failed = 1;
        return r;
    }
    const Diagnostics diag(host, pp.options.diag_level, pp.options.diag_unit);
    Context ctx(host, pp.mix, pp.options, diag, pp.layout);
    density_strengths(pp.mix, pp.plan, req.t || out.delta_t != nullptr, req.x, ctx.str);
    return finish(ctx, nullptr, req, out, r);
}

}  // namespace keld::assoc
