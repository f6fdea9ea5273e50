// Single points from the command line (see cli_point.h).
#include "cli_point.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace keld::cli {

namespace {

// Fractions must add up to 1 as tightly as in a case file: a composition is never rescaled silently.
constexpr double sum_tolerance = 1e-9;

double positive_quantity(const std::string &option, const std::string &text, double (*parse)(std::string_view)) {
    double value = 0;
    try {
        value = parse(text);
    } catch (const std::invalid_argument &e) {
        throw CommandLineError("--" + option + ": " + e.what());
    }
    if (!(value > 0.0)) throw CommandLineError("--" + option + " must be positive, not '" + text + "'");
    return value;
}

// "TOLUENE=0.7, PS=0.3" reads as "TOLUENE=0.7,PS=0.3".
std::string trimmed(const std::string &text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<OptionSpec> composition_options() {
    return {{"z", "ID=VALUE,...",
             "the composition instead of the state's, e.g. TOLUENE=0.7,PS=0.3 (fractions adding up to 1)"},
            {"basis", "mole|mass", "what the --z fractions are: apparent mole fractions (default) or weight fractions"}};
}

double temperature_option(const std::string &text) {
    return positive_quantity("T", text, refhost::temperature_from_text);
}

double pressure_option(const std::string &text) {
    return positive_quantity("P", text, refhost::pressure_from_text);
}

Composition composition_option(const refhost::Case &c, const std::map<std::string, std::string> &options) {
    const auto basis = options.find("basis");
    const bool mass = basis != options.end() && basis->second == "mass";
    if (basis != options.end() && !mass && basis->second != "mole")
        throw CommandLineError("--basis is mole or mass, not '" + basis->second + "'");
    const auto given = options.find("z");
    if (given == options.end()) {
        if (basis != options.end()) throw CommandLineError("--basis goes with --z");
        return {};
    }
    const std::string &text = given->second;
    const auto &host = *c.host;
    Composition out;
    double sum = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string item = text.substr(start, comma - start);
        start = comma + 1;
        const std::size_t equals = item.find('=');
        if (equals == std::string::npos || equals == 0)
            throw CommandLineError("--z needs ID=VALUE pairs separated by commas, not '" + item + "'");
        const std::string id = trimmed(item.substr(0, equals)), number = trimmed(item.substr(equals + 1));
        const std::int64_t k = host.component_number(id);
        if (k == 0) throw CommandLineError("--z: no component '" + id + "' in the case");
        if (host.is_segment(k))
            throw CommandLineError("--z: '" + id + "' is a polymer segment, not a component of a phase: give the polymer");
        for (std::int64_t seen : out.components)
            if (seen == k) throw CommandLineError("--z: '" + id + "' is given twice");
        char *end = nullptr;
        const double f = std::strtod(number.c_str(), &end);
        if (number.empty() || *end != '\0' || !std::isfinite(f) || f < 0.0)
            throw CommandLineError("--z: the fraction of '" + id + "' needs a number from 0 to 1, not '" + number + "'");
        out.components.push_back(k);
        out.z.push_back(f);
        sum += f;
    }
    if (std::abs(sum - 1.0) > sum_tolerance) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.10g", sum);
        throw CommandLineError(std::string("--z: the fractions add up to ") + buffer + ", not 1");
    }
    if (mass) {
        // The host's weight fractions of equal apparent amounts are in proportion to the
        // apparent molecular weights: w_i / that gives the apparent amounts.
        const std::int64_t n = static_cast<std::int64_t>(out.components.size());
        const std::vector<double> equal(out.components.size(), 1.0 / static_cast<double>(n));
        std::vector<double> w_equal(out.components.size());
        host.apparent_to_weight(equal.data(), n, out.components.data(), w_equal.data());
        double moles = 0;
        for (std::size_t k = 0; k < out.z.size(); ++k) {
            out.z[k] /= w_equal[k];
            moles += out.z[k];
        }
        for (double &z : out.z) z /= moles;
    }
    return out;
}

void apply_point_options(const refhost::Case &c, refhost::StateRequest &state,
                         const std::map<std::string, std::string> &options) {
    Composition z = composition_option(c, options);
    if (!z.components.empty()) {
        state.components = std::move(z.components);
        state.z = std::move(z.z);
    }
    if (options.count("T")) state.temperature = temperature_option(options.at("T"));
    if (options.count("P")) state.pressure = pressure_option(options.at("P"));
}

refhost::StateRequest state_from_options(const refhost::Case &c, const std::map<std::string, std::string> &options) {
    if (!options.count("z") || !options.count("T") || !options.count("P"))
        throw CommandLineError("the case has no state: give the point with --z, --T and --P");
    if (c.parameter_families.size() != 1)
        throw CommandLineError("the case has no state and gives parameters of " +
                               std::to_string(c.parameter_families.size()) +
                               " model families: add a state naming the model");
    refhost::StateRequest state;
    state.model = c.parameter_families.front();
    apply_point_options(c, state, options);
    return state;
}

}  // namespace keld::cli
