// Models from the installed host's store, by family (see keld/model.hpp).
#include "model/from_host.h"

#include <stdexcept>
#include <string>

namespace keld {
namespace {

// A setting of the call that the family's monitor does not read: refused rather than dropped.
std::string unread_setting(std::string_view family, const ModelSettings &s) {
    const bool cubic = family == "cubic";
    if (!cubic && (s.mixing_rule != 1 || s.excess_model != 1 || s.alpha_option != 0))
        return "the " + std::string(family) + " model takes no cubic settings (mixing rule, excess-Gibbs model, alpha)";
    if (s.association_options != ModelSettings{}.association_options)
        return "the " + std::string(family) + " model takes no association options";
    return {};
}

}  // namespace

Model model_from_host(std::string_view family, std::int64_t data_set, std::span<const std::int64_t> components,
                      std::int64_t option, const ModelSettings &settings) {
    const std::optional<host::Host> host = host::Host::current();
    if (!host) throw std::invalid_argument("no host is installed");
    if (data_set < 1) throw std::invalid_argument("the data set must be 1 or more");
    if (family == "pcsaft-assoc")
        throw std::invalid_argument(
            "the pcsaft-assoc monitor takes its parameters as arguments its host gathers, not from the store: build "
            "its model from a case (keld::refhost::model_from_case) or with Model::pcsaft_assoc");
    if (const std::string why = unread_setting(family, settings); !why.empty()) throw std::invalid_argument(why);
    model::FromHost built;
    if (family == "pcsaft") {
        built = model::pcsaft_from_host(*host, data_set, components, option);
    } else if (family == "sanchez-lacombe") {
        built = model::sanchez_lacombe_from_host(*host, data_set, components, option);
    } else if (family == "saft") {
        built = model::saft_from_host(*host, data_set, components, option);
    } else if (family == "saft-stored") {
        built = model::saft_stored_from_host(*host, data_set, components, option);
    } else if (family == "cubic") {
        built = model::cubic_from_host(*host, data_set, components, settings);
    } else {
        throw std::invalid_argument("no model of the family '" + std::string(family) +
                                    "' can be built from the store (pcsaft, sanchez-lacombe, saft, saft-stored, cubic "
                                    "can; pcsaft-assoc from a case)");
    }
    if (!built.model) throw std::invalid_argument("the " + std::string(family) + " model cannot be built: " + built.why);
    return std::move(*built.model);
}

}  // namespace keld
