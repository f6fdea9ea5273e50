// The keld command line: every command and option declared once, on CLI11.
// Help texts, usage errors and suggestions all come from these declarations.
//
// Adding a command (see CONTRIBUTING.md "Adding a command"): a tools/cli_<area>.cpp
// exposes `void add_<area>_commands(Commands &)`, which declares each command with
// a CommandSpec and the function that runs it on the parsed Invocation.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace keld::cli {

// A wrong command line: reported with a pointer to the command's help, exit
// status 1. Any other exception a command throws (a wrong case file, a plot
// that cannot be drawn) is reported as it is, also with status 1.
struct CommandLineError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One option of a command. `value` names the value in the help ("N", "FILE");
// empty for a switch.
struct OptionSpec {
    std::string name;  // without the dashes: "T", "json"
    std::string value;
    std::string help;
};

struct CommandSpec {
    std::string name;
    std::string summary;      // one line for the command list
    std::string operands;     // what follows the options in the usage line: "CASE", "CASE...", "WORD"
    std::string description;  // the paragraphs after the usage line
    std::vector<OptionSpec> options;
    std::string footer;  // examples and exit status
};

// What the command line gave a command: its operands in order and its options
// (name -> value, "" for a switch).
struct Invocation {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    bool has(const std::string &name) const { return options.count(name) != 0; }
};

using Runner = std::function<int(const Invocation &)>;

class Commands {
public:
    explicit Commands(std::string description, std::string footer);
    ~Commands();
    Commands(const Commands &) = delete;
    Commands &operator=(const Commands &) = delete;

    void add(const CommandSpec &spec, Runner run);
    // Parses args (without the program name) and runs the command; returns
    // the exit status. Usage errors go to standard error and give 1.
    int run(const std::vector<std::string> &args);

    // The generated help: of the whole command (empty name) or of one command;
    // empty for an unknown command.
    std::string help(std::string_view command = {}) const;
    std::vector<std::string> names() const;
    CLI::App &app();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The closest candidate to `word` (a prefix of it, or one a few edits away),
// or "" when none is close enough to suggest.
std::string closest(std::string_view word, const std::vector<std::string> &candidates);

}  // namespace keld::cli
