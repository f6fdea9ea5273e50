// The keld command line on CLI11 (see cli_command.h): declarations, the
// generated help and the usage errors with their suggestions.
#include "cli_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <iostream>
#include <sstream>

namespace keld::cli {

namespace {

constexpr int exit_ok = 0, exit_error = 1;
constexpr std::size_t help_width = 80, option_column = 22;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Edits (insertion, deletion, substitution, transposition of neighbours) from a to b.
std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// Words wrapped to the help's width, continuation lines indented by `indent`.
std::string wrapped(const std::string &text, std::size_t first_column, std::size_t indent) {
    std::istringstream words(text);
    std::string word, out;
    std::size_t column = first_column;
    bool first = true;
    while (words >> word) {
        if (!first && column + 1 + word.size() > help_width) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (!first) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        first = false;
    }
    return out;
}

std::string option_usage(const OptionSpec &o) {
    return "--" + o.name + (o.value.empty() ? "" : " " + o.value);
}

std::string option_row(const std::string &left, const std::string &help) {
    std::string row = "  " + left;
    if (row.size() + 2 > option_column) {
        row += "\n" + std::string(option_column, ' ');
    } else {
        row.resize(option_column, ' ');
    }
    return row + wrapped(help, option_column, option_column) + "\n";
}

// "Usage: keld NAME [--a A] [--b] OPERANDS", wrapped under the command name.
std::string usage_line(const CommandSpec &spec) {
    const std::string start = "Usage: keld " + spec.name + " ";
    std::string out = start;
    std::size_t column = start.size();
    std::vector<std::string> items;
    for (const auto &o : spec.options) items.push_back("[" + option_usage(o) + "]");
    if (!spec.operands.empty()) items.push_back(spec.operands);
    bool first = true;
    for (const auto &item : items) {
        if (!first && column + 1 + item.size() > help_width) {
            out += "\n" + std::string(start.size(), ' ');
            column = start.size();
        } else if (!first) {
            out += ' ';
            ++column;
        }
        out += item;
        column += item.size();
        first = false;
    }
    return out + "\n";
}

std::string command_help_text(const CommandSpec &spec) {
    std::string description = spec.description;
    while (!description.empty() && description.back() == '\n') description.pop_back();
    std::string out = usage_line(spec) + "\n" + description + (description.empty() ? "" : "\n\n") + "Options:\n";
    for (const auto &o : spec.options) out += option_row(option_usage(o), o.help);
    out += option_row("-h, --help", "show this help");
    if (!spec.footer.empty()) out += "\n" + spec.footer;
    return out;
}

}  // namespace

std::string closest(std::string_view word, const std::vector<std::string> &candidates) {
    const std::string w = lower(word);
    std::string best;
    std::size_t best_distance = std::max<std::size_t>(1, w.size() / 3) + 1;
    bool tie = false;
    for (const auto &candidate : candidates) {
        const std::string c = lower(candidate);
        // A longer spelling of a command ("evaluate" for "eval") counts as close.
        const bool prefix = c.size() >= 2 && w.size() >= 2 && (w.rfind(c, 0) == 0 || c.rfind(w, 0) == 0);
        const std::size_t d = prefix ? 0 : edit_distance(w, c);
        if (d < best_distance) {
            best = candidate;
            best_distance = d;
            tie = false;
        } else if (d == best_distance && !best.empty()) {
            tie = true;
        }
    }
    return tie ? "" : best;
}

struct Commands::Impl {
    struct Entry {
        CommandSpec spec;
        Runner run;
        CLI::App *app = nullptr;
        std::vector<std::string> positional;
        std::vector<std::pair<std::string, CLI::Option *>> options;
    };
    CLI::App root{"", "keld"};
    std::string description, footer;
    std::vector<std::unique_ptr<Entry>> entries;

    Entry *find(std::string_view name) {
        for (auto &e : entries) {
            if (e->spec.name == name) return e.get();
        }
        return nullptr;
    }
};

Commands::Commands(std::string description, std::string footer) : impl_(std::make_unique<Impl>()) {
    impl_->description = std::move(description);
    impl_->footer = std::move(footer);
    // One command per command line; a later command name is an operand ("keld help eval").
    impl_->root.require_subcommand(0, 1);
}

Commands::~Commands() = default;

CLI::App &Commands::app() {
    return impl_->root;
}

void Commands::add(const CommandSpec &spec, Runner run) {
    auto entry = std::make_unique<Impl::Entry>();
    entry->spec = spec;
    entry->run = std::move(run);
    CLI::App *sub = impl_->root.add_subcommand(spec.name, spec.summary);
    entry->app = sub;
    for (const auto &o : spec.options) {
        CLI::Option *option = o.value.empty() ? sub->add_flag("--" + o.name, o.help)
                                              : sub->add_option("--" + o.name, o.help)->type_name(o.value);
        // Every occurrence is kept so that a repeated option is refused by name below.
        option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        entry->options.emplace_back(o.name, option);
    }
    sub->add_option("operands", entry->positional, spec.operands);
    impl_->entries.push_back(std::move(entry));
}

std::vector<std::string> Commands::names() const {
    std::vector<std::string> out;
    for (const auto &e : impl_->entries) out.push_back(e->spec.name);
    return out;
}

std::string Commands::help(std::string_view command) const {
    if (command.empty()) {
        std::string out = "Usage: keld COMMAND [OPTIONS] CASE\n       keld help [COMMAND]\n       keld --version\n\n" +
                          impl_->description + "\nCommands:\n";
        for (const auto &e : impl_->entries) {
            std::string row = "  " + e->spec.name;
            row.resize(std::max<std::size_t>(row.size() + 1, 11), ' ');
            out += row + wrapped(e->spec.summary, row.size(), row.size()) + "\n";
        }
        out += "\nOptions:\n";
        out += option_row("-h, --help", "show this help (after a command: that command's help)");
        out += option_row("--version", "show the version");
        return out + "\n" + impl_->footer;
    }
    for (const auto &e : impl_->entries) {
        if (e->spec.name == command) return command_help_text(e->spec);
    }
    return {};
}

namespace {

struct UsageError {
    std::string message;
    std::string detail;  // a further line, e.g. the options the command takes
};

// The first argument that names no option of the command.
std::string unknown_option(const CommandSpec &spec, const std::vector<std::string> &args) {
    for (std::size_t k = 1; k < args.size(); ++k) {
        const std::string &arg = args[k];
        if (arg == "--") break;
        if (arg.size() < 2 || arg[0] != '-' || arg == "-h" || arg == "--help") continue;
        const std::string name = arg.substr(arg.rfind("--", 0) == 0 ? 2 : 1, arg.find('=') - (arg[1] == '-' ? 2 : 1));
        const bool known = std::any_of(spec.options.begin(), spec.options.end(),
                                       [&](const OptionSpec &o) { return arg[1] == '-' && o.name == name; });
        if (!known) return arg.substr(0, arg.find('='));
    }
    return {};
}

UsageError describe(const CommandSpec &spec, const std::vector<std::string> &args, const CLI::ParseError &e) {
    const std::string unknown = unknown_option(spec, args);
    if (!unknown.empty()) {
        std::vector<std::string> names;
        std::string takes;
        for (const auto &o : spec.options) {
            names.push_back("--" + o.name);
            takes += (takes.empty() ? "" : ", ") + option_usage(o);
        }
        const std::string near = closest(unknown, names);
        return {"unknown option '" + unknown + "'" + (near.empty() ? "" : " (did you mean '" + near + "'?)"),
                spec.options.empty() ? spec.name + " takes no options"
                                     : wrapped(spec.name + " takes " + takes, 0, 2)};
    }
    const std::string what = e.what();
    // CLI11 says "--T: 1 required TEXT missing" for an option without its value.
    if (what.find("required") != std::string::npos && what.find("missing") != std::string::npos) {
        const std::string option = what.substr(0, what.find(':'));
        return {"option '" + option + "' needs a value", {}};
    }
    return {what, {}};
}

}  // namespace

int Commands::run(const std::vector<std::string> &args) {
    if (args.empty()) {
        std::cerr << help();
        return exit_error;
    }
    const std::string &command = args.front();
    if (command == "-h" || command == "--help") {
        std::cout << help();
        return exit_ok;
    }
    Impl::Entry *entry = impl_->find(command);
    if (entry == nullptr) {
        const std::string near = command.rfind('-', 0) == 0 ? "" : closest(command, names());
        std::cerr << "keld: unknown " << (command.rfind('-', 0) == 0 ? "option" : "command") << " '" << command
                  << "'" << (near.empty() ? "" : " (did you mean '" + near + "'?)") << "\nTry 'keld help'.\n";
        return exit_error;
    }
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        impl_->root.parse(reversed);
    } catch (const CLI::CallForHelp &) {
        std::cout << help(command);
        return exit_ok;
    } catch (const CLI::ParseError &e) {
        const UsageError u = describe(entry->spec, args, e);
        std::cerr << "keld " << command << ": " << u.message << "\n"
                  << (u.detail.empty() ? "" : u.detail + "\n") << "Try 'keld help " << command << "'.\n";
        return exit_error;
    }
    Invocation invocation;
    invocation.command = command;
    invocation.positional = entry->positional;
    for (const auto &[name, option] : entry->options) {
        if (option->count() == 0) continue;
        const auto &results = option->results();
        if (option->count() > 1) {
            std::cerr << "keld " << command << ": option '--" << name << "' given twice\nTry 'keld help " << command
                      << "'.\n";
            return exit_error;
        }
        invocation.options[name] = option->get_expected_min() == 0 || results.empty() ? "" : results.front();
    }
    try {
        return entry->run(invocation);
    } catch (const CommandLineError &e) {
        std::cerr << "keld " << command << ": " << e.what() << "\nTry 'keld help " << command << "'.\n";
    } catch (const std::exception &e) {
        std::cerr << "keld: " << e.what() << "\n";
    }
    return exit_error;
}

}  // namespace keld::cli
