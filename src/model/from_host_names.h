// What the from-host builders share: a component's name as the store holds it, the checks of a
// component list, and a missing parameter put in the monitors' words.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/missing_parameters.h"
#include "host/host.h"

namespace keld::model {

// The identifier without its trailing blanks.
std::string component_name(const host::Host &host, std::int64_t i);

// Empty when every listed component number is in range and at least one is listed; else why not.
std::string list_fault(const host::Host &host, std::span<const std::int64_t> idx);

// "<NAME> (data set <kds>) missing for component|segment <ID>", as the monitors' messages name it.
std::string missing_reason(const host::Host &host, const ParameterCheck &check, std::int64_t kds);

}  // namespace keld::model
