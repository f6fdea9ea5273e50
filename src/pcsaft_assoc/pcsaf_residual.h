// Residual Helmholtz energy of PC-SAFT with association and a dipolar term: ã = A_res/(nRT) as the sum
// of the hard-sphere, chain and dispersion terms of PC-SAFT (over the segment types of polymers
// described by their segments), the association term of the association routine and the dipolar
// term of Jog and Chapman, with ∂ã/∂ρ, ∂²ã/∂ρ² and, on request, ∂ã/∂T and ∂ã/∂x_k.
//
// Without associating or dipolar components, without l_ij and with every polymer of one kind of
// segment, the result is the one of the plain PC-SAFT core to the last bit: the same terms are
// composed in the same order.
#pragma once

#include "host/host.h"
#include "pcsaft_assoc/pcsaf_model.h"

namespace keld::pcsaf {

struct ResidualNeeds {
    bool rhorho = true;       // ∂²ã/∂ρ² (always computed for the PC-SAFT terms; asked of the association)
    bool temperature = false; // ∂ã/∂T at constant ρ and x (needs set_temperature with slopes)
    bool composition = false; // ∂ã/∂x_k into model.dadx (needs a model built with composition rows)
    bool value = true;        // ã itself; without it (and without the two above) the PC-SAFT terms give
                              // their density derivatives alone, the same numbers without the logarithms
                              // of the value, as a density search needs
};

struct ResidualValues {
    double a = 0.0;         // ã (when asked for)
    double a_rho = 0.0;     // ∂ã/∂ρ, m3/kmol
    double a_rhorho = 0.0;  // ∂²ã/∂ρ²
    double a_t = 0.0;       // ∂ã/∂T, 1/K (when asked for)
    bool association_failed = false;  // the site fractions did not converge
};

// At the model's temperature and molar density rho (kmol/m3, 0 < η < 1).
ResidualValues residual(const host::Host &host, Model &model, double rho, ResidualNeeds needs);

}  // namespace keld::pcsaf
