// The argument arrays of the associating PC-SAFT monitor KELD_PCSAF1 as this host gathers them for a
// state (cases/models/pcsaft_assoc.cpp), and the model of the same arrays
// (cases/models/pcsaft_assoc_model.cpp). Every array is by component number of the host (nc of
// them), values not given hold ReferenceHost::missing_value; pair arrays are nc x nc column-major,
// element (i, j) at (j - 1) nc + (i - 1).
#pragma once

#include <cstdint>
#include <vector>

#include "keld/case.h"

namespace keld::refhost::families {

struct PcSaftAssocArguments {
    std::int64_t nc = 0;
    std::vector<double> mw, tc, pc, m, sigma, eps;  // kg/kmol, K, Pa, -, Angstrom, K
    std::vector<double> eps_ab, kappa_ab;           // nc x nc: own values on the diagonal, cross off it
    std::vector<double> dipole, xp;                 // D, fraction of the segments that carry it
    std::vector<double> kij, lij;                   // six and four coefficients per ordered pair
    std::vector<double> wseg;                       // lseg x nc: kg of each segment type per kmol of polymer
    std::vector<std::int64_t> types, nseg, iseg;    // site type; segment types of each component and theirs
    std::int64_t lseg = 1;
};

PcSaftAssocArguments gather_pcsaft_assoc(ReferenceHost &host, const StateRequest &state);

// The model of the monitor's call for `state` (its data set, components and association option), built
// from the gathered arrays through keld::Model::pcsaft_assoc. Throws std::invalid_argument with the
// reason when the call has no model: a missing parameter (named as the store names it), a binary
// parameter that follows a temperature table or differs between the two orders of a pair, an
// association option whose residual the model does not have.
Model pcsaft_assoc_model(ReferenceHost &host, const StateRequest &state);

}  // namespace keld::refhost::families
