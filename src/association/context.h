// Tables and scratch of one association call, carved from the caller's work area.
//
// A species is a listed whole molecule or one segment type of a listed polymer; it carries the sites of
// its association type. Sites are numbered consecutively within a component (across the segment types
// of a polymer). An unknown is a site whose fraction is solved for; with the equivalent-site reduction
// the second site of each species takes the value of the first and is no unknown. Bonding sums are
// formed per species and site class (the kind of the site that bonds: negative, positive, bipolar), so
// their cost grows with species squared and sites, not sites squared.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "association/association.h"
#include "association/diagnostics.h"
#include "association/site_types.h"

namespace keld::assoc::detail {

inline constexpr double kTrace = 1.0e-15;  // mole fractions at or below it take no part in the sums
inline constexpr int kClasses = 3;          // site classes: 0 negative, 1 positive, 2 bipolar

inline int site_class(int kind) { return kind == kNegative ? 0 : (kind == kPositive ? 1 : 2); }
// Whether a site of `kind` bonds with a site of class c.
inline bool bonds_with_class(int c, int kind) {
    constexpr int class_kind[kClasses] = {kNegative, kPositive, kBipolar};
    return bonds(class_kind[c], kind);
}

// The larger of a and b, and NaN once either is NaN: a NaN change never passes a tolerance test.
inline double worst(double a, double b) { return (b > a || b != b) ? b : a; }
// ln X is kept at or below 0 (X <= 1); NaN stays NaN.
inline double clip_at_zero(double v) { return v > 0.0 ? 0.0 : v; }

// A site's term ln X - X/2 + 1/2 of A_assoc/(nRT); sites with X <= 0 are omitted.
inline double helmholtz(double x) { return x > 0.0 ? std::log(x) - 0.5 * x + 0.5 : 0.0; }

// Bump allocation of typed arrays from the work area (8-byte words). With too few words it keeps
// counting what would be needed and returns nullptr.
class Arena {
public:
    Arena(double *base, std::int64_t words) : base_(base), words_(words) {}
    template <class T>
    T *take(std::int64_t n) {
        static_assert(std::is_trivially_destructible_v<T> && alignof(T) <= alignof(double));
        const std::int64_t words = (n * static_cast<std::int64_t>(sizeof(T)) + 7) / 8;
        T *p = nullptr;
        if (base_ != nullptr && used_ + words <= words_) {
            void *raw = base_ + used_;
            p = static_cast<T *>(raw);
            if constexpr (!std::is_trivially_default_constructible_v<T>)
                for (std::int64_t i = 0; i < n; ++i) ::new (static_cast<void *>(p + i)) T;
        } else {
            short_ = true;
        }
        used_ += words;
        return p;
    }
    std::int64_t used() const { return used_; }
    bool short_of_words() const { return short_; }

private:
    double *base_;
    std::int64_t words_;
    std::int64_t used_ = 0;
    bool short_ = false;
};

struct Species {
    std::int64_t component = 0;  // component number (the segment component for a segment type)
    std::int32_t position = 0;   // listed position, 0-based
    std::int32_t list = -1;      // association-list position, 0-based; -1 when absent
    double weight = 1.0;         // segments of this type per molecule (1 for a whole molecule)
    double fraction = 1.0;       // segment fraction (1 for a whole molecule)
    double xw = 0.0;             // x * weight in the bonding sums; 0 for a trace component
    std::int32_t first_site = 0; // index of its first site
    std::int32_t sites = 0;
    bool unknowns = false;       // its sites are unknowns
    bool passive = false;        // qualifies, but its component is left out of the solve (trace)
};

struct Site {
    std::int32_t species = 0;
    std::int32_t unknown = -1;   // unknown carrying its value; -1 when none
    std::int32_t kind = 0;
    std::int32_t number = 0;     // site number within the component (ISITE), 1-based
};

struct Tables {
    std::int64_t ns = 0, nt = 0, nu = 0, nxa = 0;
    Species *species = nullptr;
    Site *sites = nullptr;
    std::int32_t *unknown_site = nullptr;  // nu: representative site of each unknown
    std::int32_t *unknown_list = nullptr;  // nu: association-list position of its species (-1: none)
    std::int32_t *unknown_class = nullptr; // nu: class of its site
    std::int32_t *summing = nullptr;       // species that bond in the sums (unknowns, x > trace, listed)
    std::int64_t nsumming = 0;
    bool equivalent = false;
    std::int64_t equivalents = 0;          // equivalent sites (IV2/JV2 entries)
    std::int64_t passive = 0;              // species that qualify but are left out of the solve
};

// Association strengths over the association list, nv x nv column-major. dx2 and dx3 give the
// composition derivative dDelta/dx_k = rho (c2_k dx2 + c3_k dx3) with c_n = dz_n/dx_k.
struct Strengths {
    std::int64_t nv = 0;
    double *delta = nullptr, *rho = nullptr, *rho2 = nullptr, *t = nullptr, *dx2 = nullptr, *dx3 = nullptr;
    // Per list position, the first position with the same strength data (diameter, its temperature
    // derivative, sigma, and row and column of the energies and volumes): their rows and columns of every
    // strength matrix are equal. nullptr when not determined (small lists, CPA).
    const std::int32_t *same = nullptr;
    // Some strength is negative or not a number (packing beyond close packing, negative energies): the
    // mass-action equations then have no solution in (0, 1], and only the iterative solvers' clipped
    // iteration gives the routine's answer.
    bool unphysical = false;
    double operator()(const double *m, std::int32_t li, std::int32_t lj) const { return m[lj * nv + li]; }
};

// Scratch of the solvers, per unknown unless said otherwise.
struct Scratch {
    double *u = nullptr;       // ln X
    double *x = nullptr;       // X
    double *s = nullptr;       // bonding sum S_A at the current point
    double *f = nullptr;       // substitution change (ln X_new - ln X), or a derivative change
    double *step = nullptr;
    double *u_base = nullptr;  // point a Newton step starts from
    double *direction = nullptr;
    double *w = nullptr;       // derivative unknowns divided by X
    double *rhs = nullptr;     // inhomogeneous part of a derivative equation
    double *extra = nullptr;   // second inhomogeneous part (second-density equation), or scratch
    double *partial = nullptr; // 3 per species
    double *site_x = nullptr;  // per site: X (unknowns and passive sites; 1 elsewhere)
    double *helmholtz = nullptr, *slope = nullptr;  // per unknown: ln X - X/2 + 1/2 and 1/X - 1/2
    double *xar = nullptr, *xar2 = nullptr, *xat = nullptr;  // per unknown
    double *xax = nullptr;     // nu x ncp
    double *sum_rho = nullptr, *sum_rho2 = nullptr, *sum_t = nullptr, *sum_x2 = nullptr, *sum_x3 = nullptr;
    double *y_sums = nullptr;  // bonding sums of the derivative being iterated
    double *matrix = nullptr;  // nu x nu followed by the quasi-Newton vectors (4 nu)
    std::int64_t matrix_words = 0;
    std::int64_t *pivots = nullptr;
    double *accelerate = nullptr;  // nu + 2
    double line_search[4] = {};
};

// Unknowns of the direct path, reduced to groups whose mass-action equations are the same function of
// all site fractions (direct.cpp). Per-group arrays hold up to nu values.
struct Groups {
    std::int64_t ng = 0;
    std::int32_t *of = nullptr;         // nu: group of each unknown; -1 outside the association list (X = 1)
    std::int32_t *list = nullptr;       // per group: association-list position of its strength rows
    std::int32_t *cls = nullptr;        // per group: class of a member site
    std::int32_t *row = nullptr;        // nv: first list position with the same strength rows
    std::int32_t *order = nullptr;      // nv: list positions sorted by row hash
    std::uint64_t *hash = nullptr;      // nv
    std::int32_t *key = nullptr;        // 3 nv: group of (row, class), -1 while none
    std::int32_t *slot = nullptr;       // 3 per summing species: the groups of its sites (-1: unused)
    double *count = nullptr;            // 9 per summing species: sites of a slot that bond with class c
    double *q = nullptr;                // 3 per summing species: bonding sums of one vector by class
    std::int64_t *offset = nullptr;     // per summing species: offset of its column in a strength matrix
    double *x = nullptr, *s = nullptr, *g = nullptr, *dx = nullptr, *rhs = nullptr, *tmp = nullptr;
    double *y_rho = nullptr, *y_rho2 = nullptr, *y_t = nullptr;
    double *y_x = nullptr;              // per group x ncp
    double *weight = nullptr;           // per group: sum of x * (segments per molecule) over its sites
    double *b1 = nullptr, *b2 = nullptr, *b3 = nullptr, *r1 = nullptr, *r2 = nullptr;  // per group scratch
    double *m = nullptr;                // the bonding matrix, when kept (ng x ng)
    bool refine = false;                // the factors are of a Jacobian near the solution: refine solves
    bool built = false;                 // the groups are built already (prepared form): solve_direct keeps them
};

// The tables, strengths, scratch and groups of a call, held by the caller (a prepared form keeps them
// from one density to the next).
struct Layout {
    Tables tab;
    Strengths str;
    Scratch sc;
    Groups grp{};
    std::int64_t matrix_rows = 0;  // rows of sc.matrix (and sc.pivots)
};

struct Context {
    Context(const host::Host &host_, const Mixture &mix_, const Options &options_, const Diagnostics &diag_,
            Layout &layout)
        : host(host_), mix(mix_), options(options_), diag(diag_), tab(layout.tab), str(layout.str), sc(layout.sc),
          grp(layout.grp), matrix_rows(layout.matrix_rows) {}
    const host::Host &host;
    const Mixture &mix;
    const Options &options;
    const Diagnostics &diag;
    Tables &tab;
    Strengths &str;
    Scratch &sc;
    Groups &grp;
    std::int64_t &matrix_rows;
    std::int64_t method = 2, limit = 100;
    bool matrix_ready = false;  // sc.matrix holds a negated inverse Jacobian for the derivative solves
    Statistics stats;
    bool direct = false;        // the direct path solved the site fractions (and solves the derivatives)
};

// Bonding sums. partial_sums: q[3j + c] = sum of v over the sites of summing species j that bond with
// class c (v per unknown). unknown_sums: out[A] = sum over summing j of xw_j M(A's species, j) q[3j + c_A].
// site_sum: the same sum for a site of list position li and class c.
void partial_sums(const Tables &tab, const double *v, double *q);
void unknown_sums(const Tables &tab, const Strengths &str, const double *m, const double *q, double *out);
double site_sum(const Tables &tab, const Strengths &str, const double *m, const double *q, std::int32_t li, int c);
inline void bond_sums(const Tables &tab, const Strengths &str, const double *m, const double *v, double *q,
                      double *out) {
    partial_sums(tab, v, q);
    unknown_sums(tab, str, m, q, out);
}

}  // namespace keld::assoc::detail
