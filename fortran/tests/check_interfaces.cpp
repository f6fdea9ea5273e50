// Checks the Fortran module against keld/keld.h: every exported routine has a
// public bind(C) interface of the same name, with as many arguments, each of
// the C argument's type (integer(c_int64_t), real(c_double), type(*) for
// untyped words), none passed by value, and none that the routine writes
// declared intent(in) (a compiler may keep such a variable in a register
// across the call). Interfaces of routines keld does not export are faults too.
//
//   check_interfaces <keld.f90> [<more .f90> ...]
//
// The table of exports (export_table.inc) is generated from keld/keld.h.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
// GCC 12 warns inside libstdc++'s regex automaton (a copied std::function it cannot see initialised).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "keld/keld.h"

namespace {

// One letter per argument: r real, i integer, x untyped; upper case when the
// routine may write it (a pointer to non-const).
template <class P>
constexpr char code() {
    using T = std::remove_pointer_t<P>;
    using V = std::remove_cv_t<T>;
    char c = '?';
    if constexpr (std::is_same_v<V, double>) c = 'r';
    if constexpr (std::is_same_v<V, std::int64_t>) c = 'i';
    if constexpr (std::is_void_v<V>) c = 'x';
    if (!std::is_pointer_v<P>) return '?';  // by value: no Fortran caller passes that
    return std::is_const_v<T> ? c : static_cast<char>(std::toupper(c));
}

template <class... A>
std::string signature(void (*)(A...)) {
    return std::string{code<A>()...};
}

struct Export {
    const char *name;
    std::string signature;
};

const Export exports[] = {
#include "export_table.inc"
};

// The module text with continuation lines joined, comments removed, lower case
// except inside double quotes (the bind names).
std::string joined_source(const std::vector<std::string> &paths) {
    std::string out;
    for (const auto &path : paths) {
        std::ifstream in(path);
        if (!in) throw std::runtime_error(path + ": cannot open");
        std::string line;
        while (std::getline(in, line)) {
            bool quoted = false;
            std::string kept;
            for (char c : line) {
                if (c == '"') quoted = !quoted;
                if (c == '!' && !quoted) break;
                kept += quoted ? c : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            const auto last = kept.find_last_not_of(" \t");
            if (last != std::string::npos && kept[last] == '&') {
                out += kept.substr(0, last) + " ";
            } else {
                out += kept + "\n";
            }
        }
    }
    // A continued line may start with '&' too.
    return std::regex_replace(out, std::regex(R"(\s&)"), " ");
}

struct Interface {
    std::string fortran_name;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> declared;  // argument -> type letter (upper case unless intent(in))
    std::vector<std::string> faults;
};

std::vector<std::string> split_names(const std::string &list) {
    std::vector<std::string> names;
    std::string current;
    int depth = 0;
    for (char c : list) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == ',' && depth == 0) {
            names.push_back(current);
            current.clear();
        } else if (depth == 0 && c != ')' && !std::isspace(static_cast<unsigned char>(c))) {
            current += c;
        }
    }
    if (!current.empty()) names.push_back(current);
    return names;
}

std::map<std::string, Interface> read_interfaces(const std::string &source) {
    std::map<std::string, Interface> found;
    const std::regex header(R"re(subroutine\s+(\w+)\s*\(([^)]*)\)\s*bind\s*\(\s*c\s*,\s*name\s*=\s*"(\w+)"\s*\))re");
    for (std::sregex_iterator m(source.begin(), source.end(), header), end; m != end; ++m) {
        Interface f;
        f.fortran_name = (*m)[1];
        f.arguments = split_names((*m)[2]);
        const std::size_t body_start = static_cast<std::size_t>(m->position() + m->length());
        const std::size_t body_end = source.find("end subroutine", body_start);
        std::istringstream body(source.substr(body_start, body_end - body_start));
        std::string line;
        const std::regex declaration(R"(^\s*(real\s*\(\s*c_double\s*\)|integer\s*\(\s*c_int64_t\s*\)|type\s*\(\s*\*\s*\)|[a-z]+[^:]*?)\s*((?:,[^:]*)?)::(.*)$)");
        while (std::getline(body, line)) {
            std::smatch d;
            if (line.find("::") == std::string::npos || !std::regex_match(line, d, declaration)) continue;
            const std::string type = d[1], attributes = d[2];
            if (type.rfind("import", 0) == 0) continue;
            char letter = '?';
            if (type.rfind("real", 0) == 0) letter = 'r';
            if (type.rfind("integer", 0) == 0) letter = 'i';
            if (type.rfind("type", 0) == 0) letter = 'x';
            if (attributes.find("value") != std::string::npos) letter = 'v';
            const bool in_only = std::regex_search(attributes, std::regex(R"(intent\s*\(\s*in\s*\))"));
            if (!in_only) letter = static_cast<char>(std::toupper(letter));
            for (const auto &name : split_names(d[3])) f.declared[name] = std::string(1, letter);
        }
        found[(*m)[3]] = f;
    }
    return found;
}

std::vector<std::string> public_names(const std::string &source) {
    std::vector<std::string> names;
    const std::regex statement(R"(public\s*::([^\n]*))");
    for (std::sregex_iterator m(source.begin(), source.end(), statement), end; m != end; ++m)
        for (const auto &name : split_names((*m)[1])) names.push_back(name);
    return names;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::cerr << "usage: check_interfaces <keld.f90> [<more .f90> ...]\n";
        return 2;
    }
    try {
        const std::string source = joined_source(std::vector<std::string>(argv + 1, argv + argc));
        auto interfaces = read_interfaces(source);
        const auto publics = public_names(source);
        int faults = 0;
        auto fault = [&](const std::string &name, const std::string &what) {
            std::cerr << name << ": " << what << "\n";
            ++faults;
        };
        for (const Export &e : exports) {
            const auto found = interfaces.find(e.name);
            if (found == interfaces.end()) {
                fault(e.name, "no Fortran interface");
                continue;
            }
            const Interface &f = found->second;
            if (std::find(publics.begin(), publics.end(), f.fortran_name) == publics.end())
                fault(e.name, "interface " + f.fortran_name + " is not public");
            if (f.arguments.size() != e.signature.size()) {
                fault(e.name, std::to_string(f.arguments.size()) + " arguments in Fortran, " +
                                  std::to_string(e.signature.size()) + " in C");
                interfaces.erase(found);
                continue;
            }
            for (std::size_t k = 0; k < e.signature.size(); ++k) {
                const std::string &argument = f.arguments[k];
                const auto declared = f.declared.find(argument);
                const std::string where = "argument " + std::to_string(k + 1) + " (" + argument + ")";
                if (declared == f.declared.end()) {
                    fault(e.name, where + " is not declared");
                    continue;
                }
                const char c = e.signature[k], fortran = declared->second[0];
                if (std::tolower(fortran) == 'v') {
                    fault(e.name, where + " is passed by value");
                } else if (std::tolower(fortran) != std::tolower(c)) {
                    fault(e.name, where + ": Fortran type '" + std::string(1, fortran) + "', C '" + std::string(1, c) +
                                      "' (r real, i integer, x untyped)");
                } else if (std::isupper(c) && std::islower(fortran)) {
                    fault(e.name, where + " is written by the routine but declared intent(in)");
                }
            }
            interfaces.erase(found);
        }
        for (const auto &[name, f] : interfaces)
            if (name.rfind("KELD_", 0) == 0) fault(name, "interface " + f.fortran_name + " of a routine keld does not export");
        if (faults != 0) return 1;
        std::cout << std::size(exports) << " exported routines have matching Fortran interfaces\n";
        return 0;
    } catch (const std::exception &e) {
        std::cerr << e.what() << "\n";
        return 2;
    }
}
