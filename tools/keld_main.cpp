// keld: evaluate the property monitors on the states of a case file.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli_command.h"
#include "cli_db.h"
#include "cli_envelope.h"
#include "cli_threephase.h"
#include "cli_equilibria.h"
#include "cli_help.h"
#include "cli_point.h"
#include "cli_polydisperse.h"
#include "cli_progress.h"
#include "cli_props.h"
#include "cli_report.h"
#include "cli_sweep_plot.h"
#include "keld/case.h"
#include "keld/keld.h"

namespace {

using namespace keld;
using refhost::Case;

constexpr int exit_ok = 0, exit_error = 1, exit_failed_state = 2;

std::string single_case(const cli::Invocation &a) {
    if (a.positional.size() != 1) throw cli::CommandLineError("expected one case file");
    return a.positional.front();
}

// --state N: a 1-based state number of the case.
std::optional<std::size_t> selected_state(const cli::Invocation &a, const Case &c) {
    const auto found = a.options.find("state");
    if (found == a.options.end()) return std::nullopt;
    char *end = nullptr;
    const long long n = std::strtoll(found->second.c_str(), &end, 10);
    if (found->second.empty() || *end != '\0' || n < 1 || static_cast<std::size_t>(n) > c.states.size()) {
        throw cli::CommandLineError("--state needs a state number from 1 to " +
                                      std::to_string(c.states.size()) + ", not '" + found->second + "'");
    }
    return static_cast<std::size_t>(n);
}

std::vector<std::size_t> states_to_run(const cli::Invocation &a, const Case &c) {
    if (const auto one = selected_state(a, c)) return {*one};
    std::vector<std::size_t> all;
    for (std::size_t k = 1; k <= c.states.size(); ++k) all.push_back(k);
    return all;
}

int status_of(const std::vector<cli::Evaluation> &evaluations) {
    for (const auto &e : evaluations) {
        if (e.result.status != 1) return exit_failed_state;
    }
    return exit_ok;
}

int run_eval(const cli::Invocation &a) {
    if (a.options.count("json") && a.options.count("csv"))
        throw cli::CommandLineError("--json and --csv exclude each other");
    Case c = refhost::load_case_file(single_case(a));
    const bool point = a.has("z") || a.has("T") || a.has("P") || a.has("basis");
    if (c.states.empty() && point) c.states.push_back(cli::state_from_options(c, a.options));
    const auto selection = states_to_run(a, c);
    for (std::size_t n : selection) cli::apply_point_options(c, c.states[n - 1], a.options);
    const auto initialisation = refhost::initialise_case(c);
    std::vector<cli::Evaluation> evaluations;
    for (std::size_t n : selection) {
        const auto &request = c.states[n - 1];
        evaluations.push_back({n, request, refhost::evaluate(*c.host, request)});
    }
    if (a.options.count("json")) {
        cli::write_json(std::cout, c, initialisation, evaluations);
    } else if (a.options.count("csv")) {
        cli::write_csv(std::cout, c, evaluations);
    } else {
        cli::write_table(std::cout, c, initialisation, evaluations);
    }
    return status_of(evaluations);
}

struct Range {
    double from, to;
    long long count;
};

// Points of one sweep range: a sweep streams its rows, and this bounds the output.
constexpr long long max_sweep_points = 100000;

Range parse_range(const std::string &option, const std::string &text) {
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    auto bad = [&] {
        return cli::CommandLineError("--" + option +
                             " needs FROM:TO:COUNT with positive FROM and TO and COUNT >= 1, not '" + text +
                                     "'");
    };
    if (second == std::string::npos) throw bad();
    const std::string from = text.substr(0, first), to = text.substr(first + 1, second - first - 1),
                      count = text.substr(second + 1);
    char *end = nullptr;
    Range r{};
    r.from = std::strtod(from.c_str(), &end);
    if (from.empty() || *end) throw bad();
    r.to = std::strtod(to.c_str(), &end);
    if (to.empty() || *end) throw bad();
    errno = 0;
    r.count = std::strtoll(count.c_str(), &end, 10);
    if (count.empty() || *end || errno == ERANGE) throw bad();
    if (!(std::isfinite(r.from) && std::isfinite(r.to) && r.from > 0 && r.to > 0 && r.count >= 1))
        throw bad();
    if (r.count > max_sweep_points) {
        throw cli::CommandLineError("--" + option + ": at most " + std::to_string(max_sweep_points) +
                                      " points, not " + count);
    }
    return r;
}

// --jobs N: threads for the sweep's evaluations (1 to 256).
unsigned sweep_jobs(const cli::Invocation &a) {
    const auto found = a.options.find("jobs");
    if (found == a.options.end()) return 1;
    char *end = nullptr;
    errno = 0;
    const long long n = std::strtoll(found->second.c_str(), &end, 10);
    if (found->second.empty() || *end != '\0' || errno == ERANGE || n < 1 || n > 256)
        throw cli::CommandLineError("--jobs needs a number of threads from 1 to 256, not '" + found->second + "'");
    return static_cast<unsigned>(n);
}

// Points evaluated at a time: rows go out block by block, in order, so that a
// long sweep needs little memory whatever the number of threads.
constexpr long long sweep_block = 4096;

int run_sweep(const cli::Invocation &a) {
    const bool over_t = a.options.count("T") != 0, over_p = a.options.count("P") != 0;
    if (over_t == over_p) throw cli::CommandLineError("give one of --T and --P");
    const std::string option = over_t ? "T" : "P";
    const Range range = parse_range(option, a.options.at(option));
    const unsigned jobs = sweep_jobs(a);
    if (a.options.count("property") && !a.options.count("plot"))
        throw cli::CommandLineError("--property chooses what --plot draws: give --plot FILE.png too");
    std::optional<cli::SweepPlot> plot;
    if (a.options.count("plot")) {
        const auto property = a.options.find("property");
        plot.emplace(a.options.at("plot"), property == a.options.end() ? "" : property->second, over_t);
    }
    Case c = refhost::load_case_file(single_case(a));
    const auto selection = states_to_run(a, c);
    if (plot) plot->check(c, selection);
    const auto initialisation = refhost::initialise_case(c);
    std::optional<cli::JsonWriter> json;
    std::optional<cli::CsvWriter> csv;
    if (a.options.count("json")) {
        json.emplace(std::cout, c, initialisation);
    } else {
        std::vector<refhost::StateRequest> requests;
        for (std::size_t n : selection) requests.push_back(c.states[n - 1]);
        csv.emplace(std::cout, c, requests);
    }
    cli::Progress progress("sweep", selection.size() * static_cast<std::size_t>(range.count));
    std::size_t done_before = 0;
    refhost::ManyOptions options;
    options.workers = jobs;
    options.progress = [&](std::size_t done) { progress.advance_to(done_before + done); };
    int status = exit_ok;
    for (std::size_t n : selection) {
        for (long long first = 0; first < range.count; first += sweep_block) {
            std::vector<refhost::StateRequest> block;
            for (long long k = first; k < std::min(range.count, first + sweep_block); ++k) {
                const double x = range.count == 1
                                     ? range.from
                                     : range.from + (range.to - range.from) * static_cast<double>(k) /
                                                        static_cast<double>(range.count - 1);
                block.push_back(c.states[n - 1]);
                (over_t ? block.back().temperature : block.back().pressure) = x;
            }
            auto results = refhost::evaluate_many(*c.host, block, options);
            done_before += block.size();
            for (std::size_t k = 0; k < block.size(); ++k) {
                const cli::Evaluation e{n, std::move(block[k]), std::move(results[k])};
                if (e.result.status != 1) status = exit_failed_state;
                if (plot) plot->add(e);
                if (json) {
                    json->state(e);
                } else {
                    csv->row(e);
                }
            }
        }
    }
    if (json) json->finish();
    std::cout.flush();
    if (plot) plot->draw();
    return status;
}

// The parameters in effect after initialisation, per data set and family.
void print_parameters(const Case &c, const std::vector<std::string> &families) {
    const auto &host = *c.host;
    const std::int64_t nc = host.component_count();
    for (std::int64_t d = 1; d <= host.data_set_count(); ++d) {
        for (const std::string &family : families) {
            const refhost::ModelEntry *model = refhost::find_model(family);
            std::cout << "\nData set " << d << ", " << family << "\n";
            std::vector<std::string_view> unary, binary, records;
            for (std::string_view name : model->parameters) {
                const auto *definition = host.find_parameter(name);
                if (definition == nullptr) continue;
                switch (definition->shape) {
                    case refhost::ParameterShape::unary:
                    case refhost::ParameterShape::per_component:
                        unary.push_back(name);
                        break;
                    case refhost::ParameterShape::record3:
                        records.push_back(name);
                        break;
                    default:
                        binary.push_back(name);
                }
            }
            auto cell = [](const std::string &text) {
                std::string padded = " " + text;
                padded.resize(std::max<std::size_t>(padded.size(), 19), ' ');
                return padded;
            };
            auto emit = [](std::string line) {
                while (!line.empty() && line.back() == ' ') line.pop_back();
                std::printf("%s\n", line.c_str());
            };
            std::string header = "  component ";
            for (std::string_view name : unary) header += cell(refhost::parameter_label(name));
            emit(header);
            for (std::int64_t i = 1; i <= nc; ++i) {
                std::string line = "  " + host.identifier(i);
                line.resize(std::max<std::size_t>(line.size(), 12), ' ');
                for (std::string_view name : unary) {
                    const double value = host.find_parameter(name)->shape == refhost::ParameterShape::unary
                                             ? host.unary(name, i, d)
                                             : host.component_value(name, i);
                    char buffer[32];
                    std::snprintf(buffer, sizeof buffer, "%.10g", value);
                    line += cell(value == refhost::ReferenceHost::missing_value ? "missing" : buffer);
                }
                emit(line);
            }
            // A three-word record (the Mathias-Copeman alpha) per component that has one.
            for (std::string_view name : records) {
                for (std::int64_t i = 1; i <= nc; ++i) {
                    if (host.record(name, i, 1, d) == refhost::ReferenceHost::missing_value) continue;
                    std::string text;
                    for (std::int64_t w = 1; w <= 3; ++w) {
                        const double v = host.record(name, i, w, d);
                        char buffer[32];
                        std::snprintf(buffer, sizeof buffer, "%.10g", v);
                        text += (w == 1 ? "" : ", ") +
                                (v == refhost::ReferenceHost::missing_value ? std::string("missing") : buffer);
                    }
                    std::printf("  %s(%s) = [%s]\n", std::string(name).c_str(), host.identifier(i).c_str(),
                                text.c_str());
                }
            }
            for (std::string_view name : binary) {
                const auto shape = host.find_parameter(name)->shape;
                const std::string unit = refhost::parameter_unit(name);
                // The host's marker for a value nobody gave is a number; show it as a word.
                auto shown = [](double v) {
                    if (v == refhost::ReferenceHost::missing_value) return std::string("missing");
                    char buffer[32];
                    std::snprintf(buffer, sizeof buffer, "%.10g", v);
                    return std::string(buffer);
                };
                // Pairs nobody gave are counted on one line, not listed one by one.
                std::size_t missing_pairs = 0, pairs = 0;
                for (std::int64_t i = 1; i <= nc; ++i) {
                    for (std::int64_t j = 1; j <= nc; ++j) {
                        if (i == j) continue;
                        ++pairs;
                        std::string text;
                        bool nonzero = false, missing = false;
                        if (shape == refhost::ParameterShape::binary_table) {
                            for (std::int64_t k = 1; k <= 6; ++k) {
                                const double v = host.binary_coefficient(name, i, j, k, d);
                                nonzero = nonzero || v != 0;
                                missing = missing || v == refhost::ReferenceHost::missing_value;
                                text += (k == 1 ? "" : ", ") + shown(v);
                            }
                            text = "[" + text + "]";
                        } else {
                            const double v = host.binary(name, i, j, d);
                            nonzero = v != 0;
                            missing = v == refhost::ReferenceHost::missing_value;
                            text = shown(v) + (unit.empty() ? "" : " " + unit);
                        }
                        if (missing) {
                            ++missing_pairs;
                        } else if (nonzero) {
                            std::printf("  %s(%s, %s) = %s\n", std::string(name).c_str(),
                                        host.identifier(i).c_str(), host.identifier(j).c_str(), text.c_str());
                        }
                    }
                }
                if (missing_pairs == pairs && pairs > 0) {
                    std::printf("  %s: missing (no pair given)\n", std::string(name).c_str());
                } else if (missing_pairs > 0) {
                    std::printf("  %s: missing for %zu pair%s\n", std::string(name).c_str(), missing_pairs,
                                missing_pairs == 1 ? "" : "s");
                }
            }
            std::fflush(stdout);
        }
    }
}

int run_init(const cli::Invocation &a) {
    Case c = refhost::load_case_file(single_case(a));
    const auto reports = refhost::initialise_case(c);
    std::cout << c.origin << (c.title.empty() ? "" : ": " + c.title) << "\n";
    cli::print_database_uses(std::cout, c);
    std::vector<std::string> families;
    for (const auto &report : reports) {
        families.push_back(report.model);
        std::cout << "Initialisation of " << report.model << " (" << c.host->data_set_count() << " data set"
                  << (c.host->data_set_count() == 1 ? "" : "s") << "): "
                  << cli::message_count(report.messages.size()) << "\n";
        cli::print_messages(std::cout, report.messages);
    }
    std::cout.flush();
    print_parameters(c, families);
    return exit_ok;
}

int run_check(const cli::Invocation &a) {
    if (a.positional.empty()) throw cli::CommandLineError("expected at least one case file");
    int status = exit_ok;
    for (const std::string &path : a.positional) {
        try {
            Case c = refhost::load_case_file(path);
            // A state whose model lacks a parameter is as wrong as a malformed file.
            bool refused = false;
            for (const auto &fault : refhost::missing_parameters(c)) {
                std::cerr << "keld: " << (fault.refused ? "" : "warning: ") << path << ":states[" << fault.state
                          << "]: the model '" << c.states[fault.state].model
                          << (fault.refused ? "' lacks a parameter it needs: "
                                            : "' lacks a parameter and uses a default of its own: ")
                          << fault.message << "\n";
                refused = refused || fault.refused;
            }
            if (refused) {
                status = exit_error;
                continue;
            }
            std::cout << path << ": ok (" << c.host->component_count() << " component" << (c.host->component_count() == 1 ? "" : "s") << ", "
                      << c.host->data_set_count() << " data set" << (c.host->data_set_count() == 1 ? "" : "s")
                      << ", " << c.states.size() << " state" << (c.states.size() == 1 ? "" : "s")
                      << ")\n";
        } catch (const refhost::CaseError &e) {
            std::cerr << "keld: " << e.what() << "\n";
            status = exit_error;
        }
    }
    return status;
}

int show_help(const cli::Commands &commands, const cli::Invocation &a) {
    if (a.positional.size() > 1) throw cli::CommandLineError("help takes at most one command");
    const std::string command = a.positional.empty() ? "" : a.positional.front();
    const std::string text = commands.help(command);
    if (text.empty()) {
        const std::string near = cli::closest(command, commands.names());
        throw cli::CommandLineError("unknown command '" + command + "'" +
                                     (near.empty() ? "" : " (did you mean '" + near + "'?)"));
    }
    std::cout << text;
    return exit_ok;
}

cli::CommandSpec spec_of(std::string name, std::string summary, std::string operands,
                         std::vector<cli::OptionSpec> options) {
    cli::HelpText text = cli::help_text(name);
    return {std::move(name), std::move(summary), std::move(operands), std::move(text.description),
            std::move(options), std::move(text.footer)};
}

// The commands on the states of a case file: eval, sweep, init, check.
void add_case_commands(cli::Commands &commands) {
    commands.add(spec_of("eval", "evaluate every state of a case and print the results", "CASE",
                         {{"json", "", R"(one JSON document: {"case", "title", "initialisation", "states"})"},
                          {"csv", "",
                           "one CSV row per state, a header line first; properties that a state does not "
                           "request are empty cells"},
                          {"state", "N", "evaluate state N only (1-based)"},
                          {"T", "T", "temperature instead of the state's: K, or with its unit (25degC, \"25 °C\")"},
                          {"P", "P", "pressure instead of the state's: Pa, or with its unit (1bar, \"101.325 kPa\", 2MPa)"},
                          cli::composition_options()[0], cli::composition_options()[1]}),
                 run_eval);
    commands.add(spec_of("sweep", "evaluate states over a range of temperatures or pressures (CSV)", "CASE",
                         {{"T", "FROM:TO:COUNT", "temperatures in K, e.g. 280:400:13"},
                          {"P", "FROM:TO:COUNT", "pressures in Pa, e.g. 1e5:1e7:21"},
                          {"state", "N", "sweep state N only (1-based); default: every state"},
                          {"json", "", "a JSON document instead of CSV"},
                          {"jobs", "N",
                           "evaluate on N threads (default 1); the output is the same as with one. States of "
                           "every model run in parallel"},
                          {"plot", "FILE.png",
                           "draw the swept property against T or P, one curve per distinct state (needs "
                           "python3-matplotlib); FILE.json writes the curves as JSON"},
                          {"property", "NAME",
                           "what --plot draws: V, H, S, G or ln_phi[ID] (ln phi of component ID; lnphi:ID also read); "
                           "default: the first of V, H, G, S requested"}}),
                 run_sweep);
    commands.add(spec_of("init", "run the models' parameter initialisation and show the parameters", "CASE", {}),
                 run_init);
    commands.add(spec_of("check", "validate case files without computing anything", "CASE...", {}),
                 run_check);
}

int run(const std::vector<std::string> &args) {
    if (args.size() == 1 && args.front() == "--version") {
        std::cout << "keld " << keld_version() << "\n";
        return exit_ok;
    }
    cli::HelpText general = cli::help_text("");
    cli::Commands commands(general.description + cli::models_help(), general.footer);
    add_case_commands(commands);
    cli::add_equilibrium_commands(commands);
    cli::add_envelope_commands(commands);
    cli::add_threephase_commands(commands);
    cli::add_props_commands(commands);
    cli::add_polydisperse_commands(commands);
    cli::add_db_commands(commands);
    commands.add(spec_of("help", "show this help, or the help of a command", "[COMMAND]", {}),
                 [&commands](const cli::Invocation &a) { return show_help(commands, a); });
    return commands.run(args);
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return run(args);
}
