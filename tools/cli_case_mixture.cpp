// The case file a command on the model reads (see cli_case_mixture.h).
#include "cli_case_mixture.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "cli_command.h"
#include "keld/equilibria/system.h"

namespace keld::cli {

CaseMixture open_case_mixture(const std::vector<std::string> &positional,
                              const std::map<std::string, std::string> &options) {
    if (positional.size() != 1) throw CommandLineError("expected one case file");
    CaseMixture m;
    m.c = refhost::load_case_file(positional.front());
    refhost::initialise_case(m.c);
    if (m.c.states.empty()) throw CommandLineError("the case has no state giving the model and composition");
    std::size_t n = 1;
    if (const auto it = options.find("state"); it != options.end()) {
        char *end = nullptr;
        const long v = std::strtol(it->second.c_str(), &end, 10);
        if (*end != '\0' || v < 1 || static_cast<std::size_t>(v) > m.c.states.size())
            throw CommandLineError("--state needs a state number from 1 to " + std::to_string(m.c.states.size()));
        n = static_cast<std::size_t>(v);
    }
    m.state = &m.c.states[n - 1];
    const auto model = options.find("model");
    m.family = model != options.end() ? model->second : m.state->model;
    equilibria::SystemOptions system_options;
    system_options.data_set = m.state->data_set;
    system_options.option = m.state->option;
    system_options.settings = *m.state;
    equilibria::System system(m.c, m.family, m.state->components, system_options);
    m.x.resize(system.size());
    system.mole_from_apparent(m.state->z.data(), m.x.data());
    for (std::size_t k = 0; k < system.size(); ++k) m.ids.push_back(system.component(k).id);
    return m;
}

Model model_of(CaseMixture &m) {
    try {
        return refhost::model_from_case(m.c, m.family, m.state->data_set, m.ids, m.state->option,
                                        refhost::settings_of(*m.state));
    } catch (const std::invalid_argument &e) {
        throw CommandLineError(std::string("no model of the mixture: ") + e.what());
    }
}

std::string number_text(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return buffer;
}

}  // namespace keld::cli
