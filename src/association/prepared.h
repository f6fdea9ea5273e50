// The association routine in a prepared form, for a caller that evaluates one mixture at one
// temperature at many densities (the residual core in a density-root search). `prepare` builds, once,
// everything that depends on the composition and the temperature only: the argument checks, the user
// site types, the species, sites and unknowns, the classes of list positions with equal strength data,
// the temperature parts of every strength (Boltzmann factors, contact diameters, their temperature
// slopes), the direct path's groups, and the layout of the scratch. `evaluate` then does per density only
// what depends on it: the contact values of the strengths, the solve and the requested derivatives.
//
// The results are the numbers `evaluate(host, mixture, ...)` of association.h gives for the same
// mixture at that density (the same formulas in the same order). Forms that cannot be prepared (the
// simplified path, diagnostic levels >= 1, the iterative solvers on request, CPA, a failed check or a
// short work area) are served by the whole routine at every density, with its failures and lines.
#pragma once

#include <cstdint>
#include <span>

#include "association/association.h"
#include "association/context.h"
#include "association/strengths.h"

namespace keld::assoc {

struct Prepared {
    bool ready = false;      // false: evaluate runs the whole routine
    Mixture mix;             // the caller's mixture (its arrays must stay as they were); rho per evaluation
    Options options;
    std::span<double> work;  // holds the prepared tables while ready
    detail::Layout layout;
    detail::StrengthPlan plan;
};

// Words of work area a prepared form of this mixture needs (at least work_words).
std::int64_t prepared_words(const host::Host &host, const Mixture &mixture, const Options &options);

// Prepares `mixture` (at its temperature and composition; rho is not read) in `work`.
void prepare(const host::Host &host, const Mixture &mixture, const Options &options, std::span<double> work,
             Prepared &prepared);

// The routine at density rho (kmol/m3), starting from the site fractions in outputs.site_fractions when
// `warm` (Options::start = 2), else from the default.
Results evaluate(const host::Host &host, Prepared &prepared, double rho, bool warm, Requests requests,
                 const Outputs &outputs);

}  // namespace keld::assoc
