// keld db search / show: components of the parameter database with every parameter, unit and source.
#include "cli_db.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "cli_equilibria.h"
#include "cli_help.h"
#include "keld/database.hpp"

namespace keld::cli {

namespace {

using database::Component;
using database::Database;

constexpr std::string_view help = R"(The parameter database keld ships: published parameters of solvents, gases,
associating components and polymers for every model family, each with its
unit and its source. `search` lists the components whose name, synonym, CAS
number or formula contains WORD (case-insensitive), with the families that
have parameters for them. `show` prints every parameter set of one component
(or of one FAMILY: pcsaft, pcsaft-assoc, saft, sanchez-lacombe, cubic,
ideal-gas, uniquac, unifac) with units, source, validity and notes, and the
published binary parameters with other components. NAME may be a name, a
synonym, a CAS number or a formula; an unknown or ambiguous one lists the
closest components. A polymer's PC-SAFT segment number is given per unit of
molar mass (m/MW, mol/g): m = (m/MW) Mn.

Examples:
  keld db search hexane
  keld db show toluene
  keld db show --family pcsaft PS
  keld db show 7732-18-5

Exit status: 0 success, 1 no such component (or a wrong command line).
)";

std::vector<std::string> families_of(const Database &db, const Component &c) {
    std::vector<std::string> families;
    for (const auto &s : db.parameters(c)) {
        if (std::find(families.begin(), families.end(), s.family) == families.end()) families.push_back(s.family);
    }
    return families;
}

std::string joined(const std::vector<std::string> &items, const char *separator) {
    std::string out;
    for (const auto &item : items) out += (out.empty() ? "" : separator) + item;
    return out;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

int search(const Database &db, const std::string &word) {
    const auto found = db.search(word);
    if (found.empty()) {
        std::cerr << "keld db: no component matches '" << word << "'\n";
        return 1;
    }
    std::cout << padded("name", 32) << padded("kind", 10) << padded("CAS", 12) << padded("formula", 14) << "families\n";
    for (const Component *c : found) {
        std::cout << padded(c->name, 32) << padded(c->kind, 10) << padded(c->cas.empty() ? "-" : c->cas, 12)
                  << padded(c->formula.empty() ? "-" : c->formula, 14) << joined(families_of(db, *c), ", ") << "\n";
    }
    return 0;
}

void print_source(const database::Source &s) {
    std::cout << "    source: [" << s.key << "] " << s.citation << (s.doi.empty() ? "" : " doi:" + s.doi) << "\n";
}

int show(const Database &db, const std::string &name, const std::string &family) {
    const Component &c = db.find(name);
    const auto sets = family.empty() ? db.parameters(c) : db.parameters(c, family);
    if (!family.empty() && sets.empty()) db.parameter_set(c, family);  // throws, naming the families it has
    std::cout << c.name << " (" << c.kind << ")";
    if (!c.cas.empty()) std::cout << ", CAS " << c.cas;
    if (!c.formula.empty()) std::cout << ", " << (c.polymer() ? "repeat unit " : "") << c.formula;
    std::cout << "\n";
    if (!c.synonyms.empty()) std::cout << "synonyms: " << joined(c.synonyms, ", ") << "\n";
    if (c.polymer()) {
        if (const auto mw = Database::repeat_unit_mw(c)) {
            char text[64];
            std::snprintf(text, sizeof text, "%.3f", *mw);
            std::cout << "repeat unit molar mass: " << text
                      << " kg/kmol (derived from the formula with standard atomic weights)\n";
        }
    }
    for (const auto &s : sets) {
        std::cout << "\n" << s.family << ": " << s.set << " (" << s.table << ")\n";
        for (const auto &p : s.parameters) {
            std::cout << "    " << padded(p.name, 14) << padded(p.text, 22) << (p.unit.empty() ? "" : p.unit) << "\n";
        }
        print_source(s.source);
        if (!s.validity.empty()) std::cout << "    valid: " << s.validity << "\n";
        if (!s.note.empty()) std::cout << "    note: " << s.note << "\n";
    }
    const auto binaries = db.binaries(c);
    if (!binaries.empty() && (family.empty() || family == database::kPcSaft)) {
        std::cout << "\nbinary parameters:\n";
        for (const auto &b : binaries) {
            std::cout << "    " << b.family << " " << b.name << " with " << padded(b.other, 24) << b.value << "  ["
                      << b.source.key << "]" << (b.note.empty() ? "" : "  " + b.note) << "\n";
        }
    }
    return 0;
}

}  // namespace

std::string_view db_help() { return help; }

int run_db(const std::vector<std::string> &positional, const std::map<std::string, std::string> &options) {
    if (positional.empty()) throw CommandLineError("expected 'search WORD' or 'show NAME'");
    const std::string &action = positional.front();
    if (action != "search" && action != "show")
        throw CommandLineError("unknown action '" + action + "': expected search or show");
    if (positional.size() != 2) throw CommandLineError(action + " takes one " + (action == "search" ? "WORD" : "NAME"));
    const auto family = options.find("family");
    if (action == "search" && family != options.end()) throw CommandLineError("--family goes with show");
    const Database &db = Database::shipped();
    if (action == "search") return search(db, positional[1]);
    static const std::vector<std::string_view> families{database::kPcSaft, database::kPcSaftAssoc, database::kSaft,
                                                        database::kSanchezLacombe, database::kCubic,
                                                        database::kIdealGas, database::kUniquac, database::kUnifac};
    if (family != options.end() && std::find(families.begin(), families.end(), family->second) == families.end())
        throw CommandLineError("unknown family '" + family->second + "'");
    return show(db, positional[1], family == options.end() ? "" : family->second);
}

void add_db_commands(Commands &commands) {
    HelpText text = help_text("db");
    commands.add({"db", "search the parameter database, show a component's parameters and sources",
                  "(search WORD | show NAME)", text.description,
                  {{"family", "FAMILY", "with show: that family's parameters only"}}, text.footer},
                 [](const Invocation &a) { return run_db(a.positional, a.options); });
}

}  // namespace keld::cli
