// Excess-Gibbs (activity-coefficient) models of the cubic's mixing rules:
// every model (templates over the number types, see excess_gibbs_inputs.h)
// and the choice among them by KMODEL.
#pragma once

#include "cubic/cubic_model.h"
#include "cubic/excess_gibbs_inputs.h"
#include "cubic/nrtl.h"
#include "cubic/redlich_kister.h"
#include "cubic/unifac.h"
#include "cubic/uniquac.h"
#include "cubic/van_laar.h"
#include "cubic/wilson.h"

namespace keld::cubic {

// ln gamma_i of the listed components by the chosen model. The inputs the
// model reads must be given (energies for 2-6, alpha for NRTL, r and q for
// UNIQUAC and UNIFAC, the groups for UNIFAC) and Van Laar's limits checked.
template <class J, class X>
void ln_gamma_of(GibbsModel model, const GibbsInputsOf<J, X> &in, J *ln_gamma) {
    switch (model) {
        case GibbsModel::ideal:
            for (std::int64_t k = 0; k < in.n; ++k) ln_gamma[k] = J{};
            break;
        case GibbsModel::redlich_kister:
            redlich_kister_ln_gamma(in, ln_gamma);
            break;
        case GibbsModel::wilson:
            wilson_ln_gamma(in, ln_gamma);
            break;
        case GibbsModel::van_laar:
            van_laar_ln_gamma(in, ln_gamma);
            break;
        case GibbsModel::nrtl:
            nrtl_ln_gamma(in, ln_gamma);
            break;
        case GibbsModel::uniquac:
            uniquac_ln_gamma(in, ln_gamma);
            break;
        case GibbsModel::unifac:
            unifac_ln_gamma(in, ln_gamma);
            break;
    }
}

// Whether the model reads the pair energies E_ij.
inline bool uses_pair_energies(GibbsModel model) {
    return model == GibbsModel::redlich_kister || model == GibbsModel::wilson || model == GibbsModel::van_laar ||
           model == GibbsModel::nrtl || model == GibbsModel::uniquac;
}

}  // namespace keld::cubic
