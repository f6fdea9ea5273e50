// Density root of PC-SAFT with association and a dipolar term: the molar density of the vapour-like
// or liquid-like phase at T and P. By default the host's reverse-communication root routines
// propose the volumes; with element 2 of the option vector = 10 the monitor scans the packing
// fraction for a sign change of P(ρ) - P and closes the bracket with Brent's method. With the
// evaluate-only flag of the host (bit 0 of HostEosLog(25)) the model is only evaluated at the
// density given. Here a failed association solution becomes the model's user message.
#pragma once

#include <cstdint>

#include "host/host.h"
#include "pcsaft_assoc/pcsaf_model.h"
#include "pcsaft_assoc/pcsaf_residual.h"

namespace keld::pcsaf {

struct RootCall {
    double t, p;
    std::int64_t kvl, kdiag;
    bool own_search;
    double rho_given;  // the density of the evaluate-only mode, else a start offered to the host (kmol/m3)
};

struct RootOutcome {
    double rho = 0.0;  // kmol/m3; the host's missing value when the search evaluated nothing
    double eta = 0.0;  // packing fraction at rho
    bool association_failed = false;  // the association message was due (properties are not formed)
    bool solved = false;  // rho solves P(rho) = P (or was given): false for a failed host search, an own
                          // search without a sign change or one that ran out of iterations
    // The host's search found roots at or beyond close packing only (common/close_packing.h): the
    // density message was due, rho is the missing value and the call is refused.
    bool beyond_close_packing = false;
    int evaluations = 0;
};

RootOutcome density_root(const host::Host &host, Model &model, const RootCall &call);

// The density message of the phase (check class 3, number 11 vapour, 12 liquid) when the host's
// check allows it.
void density_message(const host::Host &host, std::int64_t kvl, std::int64_t kdiag, double t, double p);

// The association message (check class 1, number `where`) when the host's check allows it.
void association_message(const host::Host &host, std::int64_t kdiag, std::int64_t where, double t, double p);

}  // namespace keld::pcsaf
