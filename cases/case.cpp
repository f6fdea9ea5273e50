// Case files into a ReferenceHost; one monitor call per state.
#include "keld/case.h"
#include "case_parameters.h"
#include "case_reader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <sstream>
#include <unordered_map>

#include "case_description.h"
#include "case_evaluation.h"

namespace keld::refhost {

namespace {

Case build_case(detail::CaseDescription description) {
    Case c;
    c.host = std::make_unique<ReferenceHost>(HostOptions{description.data_sets, 0});
    detail::fill_host(description, *c.host);
    c.states = std::move(description.states);
    c.origin = std::move(description.origin);
    c.title = std::move(description.title);
    c.parameter_families = std::move(description.models_in_parameters);
    c.database_uses = std::move(description.database_uses);
    return c;
}

constexpr double not_computed = std::numeric_limits<double>::quiet_NaN();

}  // namespace

namespace detail {

// One state evaluation at a time, whatever the thread: a case's monitor calls
// all use the host's first work area (KWORK = 0), a host other than the
// installed one must be installed first, and binary parameters that follow
// temperature tables are written into the store. evaluate_many() holds it for
// a whole batch and gives each of its threads a work area of its own.
std::mutex &case_calls_mutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace detail

Case parse_case(std::string_view json_text, std::string_view origin) {
    return build_case(detail::parse_description(json_text, origin));
}

Case load_case_file(const std::string &path) { return parse_case(detail::read_case_text(path), path); }

double temperature_from_text(std::string_view text) {
    return detail::quantity_from_text(text, detail::Dimension::temperature, "a temperature");
}

double pressure_from_text(std::string_view text) {
    return detail::quantity_from_text(text, detail::Dimension::pressure, "a pressure");
}

std::string parameter_unit(std::string_view name) {
    const detail::ParameterSpec *spec = detail::find_parameter_spec(name);
    if (spec == nullptr) return {};
    const auto units = detail::units_of(spec->dimension);
    return units.empty() ? std::string() : std::string(units.front().unit);
}

std::string parameter_label(std::string_view name) {
    const detail::ParameterSpec *spec = detail::find_parameter_spec(name);
    return spec == nullptr ? std::string(name) : detail::canonical_key(name, spec->dimension);
}

namespace detail {

void fill_host(const CaseDescription &description, ReferenceHost &host) {
    for (const UnifacSubgroupSpec &g : description.unifac_subgroups)
        host.define_unifac_subgroup(g.name, g.number, g.main_group, g.r, g.q);
    for (const UnifacInteractionSpec &a : description.unifac_interactions)
        host.set_unifac_interaction(a.main_i, a.main_j, a.a_ij);
    std::vector<ComponentDefinition> definitions;
    std::unordered_map<std::string_view, std::int64_t> numbers;
    for (const ComponentSpec &c : description.components)
        definitions.push_back({c.id, c.kind, c.molecular_weight});
    const std::int64_t first = host.add_components(definitions);
    for (std::size_t k = 0; k < description.components.size(); ++k)
        numbers[description.components[k].id] = first + static_cast<std::int64_t>(k);
    for (std::size_t k = 0; k < description.components.size(); ++k) {
        const ComponentSpec &c = description.components[k];
        const std::int64_t number = first + static_cast<std::int64_t>(k);
        if (c.number_average_mw > 0) host.set_number_average_mw(number, c.number_average_mw);
        if (!c.segments.empty()) {
            std::vector<SegmentShare> shares;
            for (const auto &[segment, fraction] : c.segments) shares.push_back({numbers.at(segment), fraction});
            host.set_segment_composition(number, shares);
        }
        if (!c.formula.empty()) host.set_formula(number, c.formula);
        if (!c.groups.empty()) host.set_component_groups(number, c.groups);
        for (const auto &[name, value] : c.properties) host.set_component_value(name, number, value);
    }
    for (const ParameterValue &p : description.parameters) {
        switch (p.shape) {
            case ParameterShape::unary:
                host.set_unary(p.name, p.i, p.coefficients[0], p.data_set);
                break;
            case ParameterShape::binary:
                host.set_binary(p.name, p.i, p.j, p.coefficients[0], p.data_set);
                break;
            case ParameterShape::binary_table:
                host.set_binary_coefficients(p.name, p.i, p.j, p.coefficients, p.data_set);
                break;
            case ParameterShape::per_component:
                host.set_component_value(p.name, p.i, p.coefficients[0]);
                break;
            case ParameterShape::record3:
                host.set_record(p.name, p.i, std::span<const double>(p.coefficients.data(), 3), p.data_set);
                break;
        }
    }
}

std::string read_case_text(const std::string &path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) throw CaseError(path, "cannot open the file");
    if (!std::filesystem::is_regular_file(status)) throw CaseError(path, "not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CaseError(path, "cannot open the file");
    // Read at most one byte more than the limit: a file may grow while it is read.
    std::string text(static_cast<std::size_t>(kMaxCaseFileBytes) + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) throw CaseError(path, "cannot read the file");
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (static_cast<std::int64_t>(text.size()) > kMaxCaseFileBytes)
        throw CaseError(path, "larger than " + std::to_string(kMaxCaseFileBytes >> 20) + " MiB, the limit of a case file");
    return text;
}

}  // namespace detail

const ModelEntry *find_model(std::string_view name) {
    for (const ModelEntry &m : models()) {
        if (m.name == name) return &m;
    }
    return nullptr;
}

std::vector<std::string> initialise_model(ReferenceHost &host, const ModelEntry &model) {
    const std::lock_guard<std::mutex> alone(detail::case_calls_mutex());
    host.install();
    ReferenceHost::MessageCapture capture(host);
    if (model.initialise != nullptr) {
        const std::int64_t data_sets = host.data_set_count();
        model.initialise(&data_sets);
    }
    return capture.take();
}

std::vector<std::string> models_used(const Case &c) {
    std::vector<std::string> used;
    auto add = [&](const std::string &name) {
        if (std::find(used.begin(), used.end(), name) == used.end()) used.push_back(name);
    };
    for (const StateRequest &s : c.states) add(s.model);
    for (const std::string &family : c.parameter_families) add(family);
    return used;
}

std::vector<ModelInitialisation> initialise_case(Case &c) {
    if (!c.host) throw std::invalid_argument("the case has no host");
    std::vector<ModelInitialisation> reports;
    for (const std::string &name : models_used(c)) {
        const ModelEntry *model = find_model(name);
        if (model == nullptr) throw std::invalid_argument("unknown model '" + name + "'");
        reports.push_back({name, initialise_model(*c.host, *model)});
    }
    return reports;
}

namespace detail {

const ModelEntry &checked_model(const ReferenceHost &host, const StateRequest &state) {
    const ModelEntry *model = find_model(state.model);
    if (model == nullptr) throw std::invalid_argument("unknown model '" + state.model + "'");
    if (state.components.empty() || state.components.size() != state.z.size()) {
        throw std::invalid_argument("a state needs one mole fraction per listed component");
    }
    for (std::int64_t i : state.components) {
        if (i < 1 || i > host.component_count()) throw std::invalid_argument("component number out of range");
    }
    if (state.data_set < 1 || state.data_set > host.data_set_count()) {
        throw std::invalid_argument("data set out of range");
    }
    return *model;
}

StateResult blank_result(const StateRequest &state) {
    StateResult r;
    r.phi.assign(state.components.size(), not_computed);
    r.dphi.assign(state.components.size(), not_computed);
    r.h = r.s = r.g = r.v = r.dh = r.ds = r.dg = r.dv = not_computed;
    r.status = 1;
    return r;
}

void mask_unrequested(const StateRequest &state, StateResult &r) {
    const auto &f = state.flags;
    // Report only what was asked for (a monitor may write a value slot for a derivative-only flag).
    if (!wants_value(f[0])) std::fill(r.phi.begin(), r.phi.end(), not_computed);
    if (!wants_derivative(f[0])) std::fill(r.dphi.begin(), r.dphi.end(), not_computed);
    double *values[] = {&r.h, &r.s, &r.g, &r.v};
    double *derivatives[] = {&r.dh, &r.ds, &r.dg, &r.dv};
    for (std::size_t k = 0; k < 4; ++k) {
        if (!wants_value(f[k + 1])) *values[k] = not_computed;
        if (!wants_derivative(f[k + 1])) *derivatives[k] = not_computed;
    }
}

}  // namespace detail

StateResult evaluate(ReferenceHost &host, const StateRequest &state) {
    const ModelEntry &model = detail::checked_model(host, state);
    StateResult r = detail::blank_result(state);
    {
        const std::lock_guard<std::mutex> alone(detail::case_calls_mutex());
        if (!host.installed_as_is()) host.install();
        host.apply_temperature_tables(state.temperature);  // the host's duty whenever T changes
        ReferenceHost::MessageCapture capture(host);
        model.evaluate(host, state, r);
        r.messages = capture.take();
    }
    detail::mask_unrequested(state, r);
    return r;
}

std::string missing_parameter_lines(const StateResult &result) {
    std::string joined;
    for (const std::string &line : result.messages) {
        if (line.find("MISSING FOR") == std::string::npos) continue;
        std::string compact;
        for (char c : line) {
            if (c == ' ' && (compact.empty() || compact.back() == ' ')) continue;
            compact += c;
        }
        if (!compact.empty() && compact.back() == ' ') compact.pop_back();
        joined += (joined.empty() ? "" : "; ") + compact;
    }
    return joined;
}

std::vector<ParameterFault> missing_parameters(Case &c) {
    initialise_case(c);
    std::vector<ParameterFault> faults;
    for (std::size_t k = 0; k < c.states.size(); ++k) {
        StateRequest probe = c.states[k];
        probe.flags = {1, 0, 0, 0, 0};
        const StateResult r = evaluate(*c.host, probe);
        std::string lines = missing_parameter_lines(r);
        if (!lines.empty()) faults.push_back({k, std::move(lines), r.status == 0});
    }
    return faults;
}

}  // namespace keld::refhost
