// The simplified association path (option 20).
#pragma once

#include "association/context.h"

namespace keld::assoc::detail {

// Solves the species fractions and the requested derivatives into r (and a_x). Needs ctx.tab.species
// (ns species), the strengths and scratch of at least ns per unknown array. Returns false on failure.
bool simplified(Context &ctx, Requests req, Results &r, double *a_x);

}  // namespace keld::assoc::detail
