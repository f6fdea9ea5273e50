// What the from-host builders share (see from_host_names.h).
#include "model/from_host_names.h"

namespace keld::model {

std::string component_name(const host::Host &host, std::int64_t i) {
    const host::ComponentId id = host.identifier(i);
    std::string s(id.data(), id.size());
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::string list_fault(const host::Host &host, std::span<const std::int64_t> idx) {
    if (idx.empty()) return "no component listed";
    for (std::int64_t i : idx)
        if (i < 1 || i > host.component_count()) return "a component number is out of range";
    return {};
}

std::string missing_reason(const host::Host &host, const ParameterCheck &check, std::int64_t kds) {
    const MissingParameter &m = check.missing();
    std::string where = " (data set " + std::to_string(kds) + ")";
    if (m.name == "MW") where.clear();  // molecular weights belong to no data set
    return std::string(m.name) + where + " missing for " + (host.is_segment(m.component) ? "segment " : "component ") +
           component_name(host, m.component);
}

}  // namespace keld::model
