// Models from a case's data set (see keld/case.h).
#include <mutex>
#include <stdexcept>

#include "case_evaluation.h"
#include "keld/case.h"

namespace keld::refhost {

Model model_from_case(Case &c, std::string_view family, std::int64_t data_set, const std::vector<std::string> &ids,
                      std::int64_t option) {
    if (!c.host) throw std::invalid_argument("the case has no host");
    const ModelEntry *entry = find_model(family);
    if (entry == nullptr) throw std::invalid_argument("unknown model '" + std::string(family) + "'");
    if (data_set < 1 || data_set > c.host->data_set_count())
        throw std::invalid_argument("data set " + std::to_string(data_set) + " is not in the case");
    std::vector<std::int64_t> components;
    if (ids.empty()) {
        for (std::int64_t i = 1; i <= c.host->component_count(); ++i)
            if (c.host->kind(i) != ComponentKind::segment) components.push_back(i);
    }
    for (const std::string &id : ids) {
        const std::int64_t i = c.host->component_number(id);
        if (i == 0) throw std::invalid_argument("unknown component '" + id + "'");
        if (c.host->kind(i) == ComponentKind::segment)
            throw std::invalid_argument("component " + id + " is a polymer segment, not a phase component");
        components.push_back(i);
    }
    initialise_model(*c.host, *entry);
    const std::lock_guard<std::mutex> alone(detail::case_calls_mutex());
    c.host->install();
    return model_from_host(family, data_set, components, option);
}

}  // namespace keld::refhost
