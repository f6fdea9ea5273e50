// Mixing rules of the cubic (mixing_rule_inputs.h for what they read and
// give): the classical van der Waals one-fluid rule and the excess-Gibbs
// rules of Wong and Sandler and Michelsen (MHV1, MHV2), and the choice among
// them by KRULE.
#pragma once

#include <type_traits>

#include "cubic/cubic_model.h"
#include "cubic/mixing_mhv.h"
#include "cubic/mixing_rule_inputs.h"
#include "cubic/mixing_vdw.h"
#include "cubic/mixing_wong_sandler.h"

namespace keld::cubic {

// b, D and their composition derivatives by the rule: van der Waals with k_ij
// (kij n-by-n by position), the excess-Gibbs rules with g^E/RT and ln gamma
// (Wong-Sandler with its own k_ij). False when the rule gives no mixture
// constants at T (no positive Wong-Sandler covolume, no real MHV2 root).
template <class J, class X>
bool mixture_constants(Rule rule, const RuleInputsOf<J, X> &in, const std::type_identity_t<J> &ge,
                       const std::type_identity_t<J> *ln_gamma, const double *kij, MixtureConstantsOf<J> &out) {
    switch (rule) {
        case Rule::van_der_waals:
            van_der_waals_rule(in, kij, out);
            return true;
        case Rule::wong_sandler:
            return wong_sandler_rule(in, ge, ln_gamma, kij, out);
        case Rule::mhv1:
            return mhv1_rule(in, ge, ln_gamma, out);
        case Rule::mhv2:
            return mhv2_rule(in, ge, ln_gamma, out);
    }
    return false;
}

}  // namespace keld::cubic
