// The excess-Gibbs step of the cubic's mixing rules: reads the parameters the
// chosen model needs from the host store (refusing, with a message, a pair or
// component whose parameters are not given) and evaluates ln gamma.
#pragma once

#include <cstdint>

#include "cubic/cubic_model.h"
#include "cubic/cubic_work.h"
#include "cubic/jet.h"
#include "cubic/pure_constants.h"

namespace keld::cubic {

// ln gamma_i (by position) and g^E/RT = sum x_i ln gamma_i, as Jets in T.
// False when the call must be refused (the message was issued).
// UNIQUAC r and q of component i (a store number) of data set kds: its own per unit of its MW times
// `units` (MWN/MW), or, for a polymer or oligomer without its own, the sums over the units of its
// segments (mwn its number-average weight, scratch NC words). False when they are not given.
bool uniquac_size(const host::Host &host, std::int64_t kds, std::int64_t i, double units, double mwn,
                  double *scratch, double &r, double &q);

bool excess_gibbs(const host::Host &host, const CubicCall &call, const host::RoutineId &name, GibbsModel model,
                  const PureConstants &pure, WorkArea &work, Jet *ln_gamma, Jet &ge);

}  // namespace keld::cubic
