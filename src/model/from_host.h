// Models built from the installed host's store, as the families' monitors
// read it: the listed components' parameters of one data set, polymers on
// the true basis (their number-average molecular weights from the host's
// polymer service) and, where they lack parameters of their own, from their
// segments. A family's builder uses the monitor's own gathering functions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "host/host.h"
#include "keld/model.hpp"

namespace keld::model {

// The model, or why there is none (a missing parameter named as the monitor
// names it, no parameters of the family in the data set, ...).
struct FromHost {
    std::optional<Model> model;
    std::string why;

    FromHost &refuse(std::string reason) {
        why = std::move(reason);
        return *this;
    }
};

// idx: component numbers (from 1); kopt: the monitors' KOPT (5: segment
// fractions by mole, else by weight).
FromHost pcsaft_from_host(const host::Host &host, std::int64_t kds, std::span<const std::int64_t> idx,
                          std::int64_t kopt = 0);
FromHost sanchez_lacombe_from_host(const host::Host &host, std::int64_t kds, std::span<const std::int64_t> idx,
                                   std::int64_t kopt = 0);
// SAFT as a host hands the argument-driven monitor its parameters ("saft", with k_ij and l_ij; kopt
// unused) and as the stored-parameter monitor reads the store ("saft-stored").
FromHost saft_from_host(const host::Host &host, std::int64_t kds, std::span<const std::int64_t> idx,
                        std::int64_t kopt = 0);
FromHost saft_stored_from_host(const host::Host &host, std::int64_t kds, std::span<const std::int64_t> idx,
                               std::int64_t kopt = 0);

// The SRK cubic for the call's mixing rule, excess-Gibbs model and alpha choice (settings' KRULE, KMODEL,
// KEOSOPT).
FromHost cubic_from_host(const host::Host &host, std::int64_t kds, std::span<const std::int64_t> idx,
                         const ModelSettings &settings);

}  // namespace keld::model
