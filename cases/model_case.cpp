// Models from a case's data set (see keld/case.h).
#include <mutex>
#include <stdexcept>

#include "case_evaluation.h"
#include "keld/case.h"
#include "models/pcsaft_assoc_arguments.h"

namespace keld::refhost {

ModelSettings settings_of(const StateRequest &state) {
    return {state.mixing_rule, state.excess_model, state.alpha_option, state.association_options};
}

Model model_from_case(Case &c, std::string_view family, std::int64_t data_set, const std::vector<std::string> &ids,
                      std::int64_t option, const ModelSettings &settings) {
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
    if (family != "pcsaft-assoc") return model_from_host(family, data_set, components, option, settings);
    // The associating monitor is handed its parameters by this host: the model is built from the same
    // gathered arrays.
    if (settings.mixing_rule != 1 || settings.excess_model != 1 || settings.alpha_option != 0)
        throw std::invalid_argument("the pcsaft-assoc model takes no cubic settings");
    StateRequest state;
    state.model = std::string(family);
    state.components = components;
    state.data_set = data_set;
    state.option = option;
    state.association_options = settings.association_options;
    return families::pcsaft_assoc_model(*c.host, state);
}

Model model_from_case(Case &c, const StateRequest &state) {
    std::vector<std::string> ids;
    for (const std::int64_t i : state.components) {
        if (!c.host || i < 1 || i > c.host->component_count())
            throw std::invalid_argument("a component number of the state is out of range");
        ids.push_back(c.host->identifier(i));
    }
    if (ids.empty()) throw std::invalid_argument("the state lists no component");
    return model_from_case(c, state.model, state.data_set, ids, state.option, settings_of(state));
}

}  // namespace keld::refhost
