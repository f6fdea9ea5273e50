// Association contribution of PC-SAFT (and of CPA, which shares it) for one phase: association
// strengths, site types, the unknown site fractions, their solvers, and A_assoc/(nRT) with its density,
// temperature and composition derivatives. `evaluate` is the routine behind KELD_PCSAF5, with the same
// semantics; the residual core calls it directly at every density, filling a Mixture once per monitor
// call and changing only `rho` (and, for a warm start, keeping the site fractions of the last call).
//
// Outputs (Results), a = A_assoc/(nRT) per mole of molecules, at constant composition:
//   a       the value
//   a_rho   rho * da/drho                                   (density request)
//   a_rho2  rho * d(rho * da/drho)/drho = rho a_rho + rho^2 a_rhorho     (second-density request)
//           so that d2a/drho2 = (a_rho2 - a_rho) / rho^2
//   a_t     T * da/dT at constant rho and x                 (temperature request)
//   a_x[k]  da/dx_k at constant T, rho and the other mole fractions, k over listed positions
//           (composition request; Outputs::a_x must then hold ncp words)
// and failed = 1 when the site fractions did not converge (the derivatives are then not computed and
// left at 0), when a user-defined association code could not be registered or decoded, or when the
// work area is too small; failed = 0 otherwise.
//
// Two ways to the same solution. The iterative solvers (site fractions by substitution, accelerated
// substitution or Newton's method with its fall-backs; derivatives by fixed-point iteration; their
// diagnostic lines, iteration limits and size switches) run whenever their behaviour can be observed:
// at diagnostic level >= 1 (lines may be written, and the method option is read) and whenever
// Options::iterative is set. Otherwise, at level 0, the direct path (direct.cpp) solves the call:
// Newton's method on the site fractions reduced to groups with equal equations (sites of one class of
// one species, species with equal strength data, negative and positive sites under exchange symmetry),
// a closed form for a single unknown, and every derivative from one factorisation of the Jacobian at
// the solution (linear equations solved directly instead of iterated to their fixed point). Both reach
// the unique solution of the mass-action equations; the direct path converges to machine precision, so
// its results lie within the iterative solvers' tolerance of theirs and agree to about 1e-12 with the
// iterative solvers run at a tight tolerance. When the direct path does not converge within the
// iteration limit, or a factorisation fails, the iterative solvers take the call from the start
// it was offered, with their own failure flag: a call fails only when they fail as well. Statistics::direct
// tells which path solved a call (then iterations counts Newton steps and no derivative iterations).
//
// Conventions: arrays "by component" are indexed by component number (component c at [c - 1]);
// "by position" by the position in idx (0-based in C++, NO in the diagnostics is 1-based); matrices
// are column-major. Lengths: segment diameters d and T dd/dT in the scaled unit of the residual core
// (a length in Angstrom times 0.08444643735037098, so that rho d^3 is dimensionless with rho in
// kmol/m3); sigma in Angstrom; association energies in K; rho in kmol/m3.
//
// No heap allocation: all scratch comes from `work` (work_words() words). Thread safety: calls with
// distinct work areas and output arrays may run concurrently; the only shared state is the table of
// user-defined site types, which is guarded.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "host/host.h"

namespace keld::assoc {

// Segment types of polymers, by component: column c - 1 of the three ld-by-nc arrays describes
// component c, whose count[c - 1] segment types are the components component[...] (segment
// components, with their own sigma, d, association marker, type and association-list entry).
struct SegmentTable {
    std::int64_t ld = 0;                   // leading dimension (rows per component)
    const std::int64_t *count = nullptr;   // nc: number of segment types, 0 for a whole molecule
    const std::int64_t *component = nullptr;  // ld x nc: component number of each segment type
    const double *weight = nullptr;        // ld x nc: segments of the type per molecule (weights sites)
    const double *fraction = nullptr;      // ld x nc: segment fraction (weights packing moments, and
                                           // the species of the simplified path)
};

// The largest component count and association-list length a call accepts: the lengths formed from
// them (the strength words, 6 NV^2 and more; NC^2 tables) stay far inside 64-bit arithmetic. A call
// with larger counts sizes nothing (work_words 0) and is refused before any length is formed.
inline constexpr std::int64_t kMaxCount = 1'000'000;

struct Mixture {
    double t = 0.0;    // K
    double rho = 0.0;  // kmol/m3
    std::int64_t ncp = 0;  // listed components
    std::int64_t nc = 0;   // components of the problem (length of the by-component arrays)
    const std::int64_t *idx = nullptr;  // ncp component numbers
    const double *x = nullptr;          // ncp mole fractions
    const double *m = nullptr;          // ncp segment numbers
    // By component.
    const double *sigma = nullptr;   // segment diameter, Angstrom
    const double *marker = nullptr;  // own association parameter: 0 or the missing value = no self-association
    const double *d = nullptr;       // temperature-dependent diameter (scaled)
    const double *t_dd = nullptr;    // T * dd/dT (scaled); read for the temperature request
    std::int64_t *types = nullptr;   // association types, in/out: user codes (> 100) become type numbers
    const double *covolume = nullptr;  // CPA co-volumes b_i (model 1 only)
    double covolume_mix = 0.0;         // CPA mixture co-volume b (model 1 only)
    SegmentTable segments;
    // Association list: nv component numbers with their nv x nv energies (K) and volumes (kappa; beta
    // for CPA). A zero volume, or the missing value in either matrix, means the pair does not associate.
    std::int64_t nv = 0;
    const std::int64_t *list = nullptr;
    const double *energy = nullptr;
    const double *volume = nullptr;
    std::array<double, 4> z{};          // packing coefficients: zeta_n = z[n] * rho
    const double *combining = nullptr;  // CPA nc x nc combining-rule flags (entry rounding to 1: sqrt rule)
    double missing = 1.0e35;            // the host's missing-value marker
};

struct Requests {
    bool rho = false;   // a_rho
    bool rho2 = false;  // a_rho2
    bool t = false;     // a_t
    bool x = false;     // a_x
};

struct Options {
    std::int64_t association = 0;     // 20: the simplified path
    std::int64_t single_species = 0;  // 1: the simplified path solves one self-associating species directly
    double tolerance = 1.0e-10;       // on the change of ln X (site fractions), relative for derivatives
    std::int64_t method = 2;          // 0 substitution, 1 accelerated, 2 Newton (read at diag_level >= 1)
    std::int64_t diag_level = 0;
    std::int64_t diag_unit = 6;
    std::int64_t model = 0;           // 1: CPA radial distribution function, otherwise PC-SAFT
    std::int64_t start = 0;           // 2: start from Outputs::site_fractions (a previous solution)
    bool iterative = false;           // true: always the iterative solvers, never the direct path (see above)
};

// Optional outputs (nullptr: not written).
struct Outputs {
    double *a_x = nullptr;  // ncp, for the composition request
    // Site fractions X(site, position), ld_sites x ncp: written after every solve (sites that carry no
    // unknown get 1); read as the start when Options::start = 2.
    double *site_fractions = nullptr;
    std::int64_t ld_sites = 0;
    // Association strengths over the association list, nv x nv each: Delta, rho dDelta/drho,
    // rho^2 d2Delta/drho2, T dDelta/dT.
    double *delta = nullptr, *delta_rho = nullptr, *delta_rho2 = nullptr, *delta_t = nullptr;
    // Unknowns: NO (1-based position) and ISITE (site number within the component), up to max_unknowns.
    std::int64_t *no = nullptr, *isite = nullptr;
    std::int64_t max_unknowns = 0;
};

// Solver counts of one call, for benchmarks, tests and tuning.
struct Statistics {
    std::int64_t method = 0;          // method used (after the size switch)
    std::int64_t limit = 0;           // iteration limit
    std::int64_t iterations = 0;      // site-fraction iterations
    std::int64_t newton_iterations = 0;
    std::int64_t line_searches = 0;   // iterations that needed a line search
    std::int64_t left_newton = 0;     // 1 when Newton mode was left for substitution
    std::int64_t jacobians = 0;       // Jacobian evaluations of the substitution mode (Broyden refreshes)
    std::int64_t derivative_iterations = 0;  // summed over the derivative solves
    std::int64_t equivalent_sites = 0;
    std::int64_t direct = 0;          // 1 when the direct path solved the call (iterations: its Newton steps)
    std::int64_t groups = 0;          // unknowns of the direct path after grouping equal equations
};

struct Results {
    double a = 0.0, a_rho = 0.0, a_rho2 = 0.0, a_t = 0.0;
    std::int64_t failed = 0;
    std::int64_t unknowns = 0;  // NV of the diagnostics: number of unknown site fractions
    std::int64_t max_sites = 0; // NXA: largest number of sites of one listed component
    Statistics stats;
};

// Words of work area `evaluate` needs for this mixture (resolving no user code: a code not yet
// registered is sized from its digits).
std::int64_t work_words(const host::Host &host, const Mixture &mixture, const Options &options);

Results evaluate(const host::Host &host, const Mixture &mixture, const Options &options, Requests requests,
                 const Outputs &outputs, std::span<double> work);

}  // namespace keld::assoc
