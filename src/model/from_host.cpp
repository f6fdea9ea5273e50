// Models from the installed host's store, by family (see keld/model.hpp).
#include "model/from_host.h"

#include <stdexcept>
#include <string>

namespace keld {

Model model_from_host(std::string_view family, std::int64_t data_set, std::span<const std::int64_t> components,
                      std::int64_t option) {
    const std::optional<host::Host> host = host::Host::current();
    if (!host) throw std::invalid_argument("no host is installed");
    if (data_set < 1) throw std::invalid_argument("the data set must be 1 or more");
    model::FromHost built;
    if (family == "pcsaft") {
        built = model::pcsaft_from_host(*host, data_set, components, option);
    } else if (family == "sanchez-lacombe") {
        built = model::sanchez_lacombe_from_host(*host, data_set, components, option);
    } else if (family == "saft") {
        built = model::saft_from_host(*host, data_set, components, option);
    } else if (family == "saft-stored") {
        built = model::saft_stored_from_host(*host, data_set, components, option);
    } else {
        throw std::invalid_argument("no model of the family '" + std::string(family) +
                                    "' can be built from the store yet (pcsaft, sanchez-lacombe, saft, saft-stored can)");
    }
    if (!built.model) throw std::invalid_argument("the " + std::string(family) + " model cannot be built: " + built.why);
    return std::move(*built.model);
}

}  // namespace keld
