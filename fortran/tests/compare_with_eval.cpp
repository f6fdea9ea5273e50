// Compares the values a Fortran program printed with `keld eval --json` of the
// same systems, value by value.
//
//   compare_with_eval <fortran-output> <case>=<eval.json> ...
//
// Fortran lines: "<case> <state> <quantity> <value>", quantity lnphi(k),
// dlnphi/dT(k), H, dH/dT, S, dS/dT, G, dG/dT, V, dV/dT or status. Every result
// of every state of every eval document must be printed and agree to round-off
// (both sides made the same calls on hosts holding the same numbers), and the
// Fortran program must print nothing for a case or state that eval lacks.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

namespace {

using Values = std::map<std::string, double>;  // "<case> <state> <quantity>" -> value

Values read_fortran(const std::string &path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error(path + ": cannot open");
    Values values;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string name, state, quantity, value;
        if (!(words >> name >> state >> quantity >> value)) continue;
        if (state.find_first_not_of("0123456789") != std::string::npos) continue;  // a comment line
        values[name + " " + state + " " + quantity] = std::stod(value);
    }
    return values;
}

// The results of one eval state by the Fortran program's quantity names: "H / (J/kmol)" -> "H",
// "dH_dT / (J/(kmol K))" -> "dH/dT", "ln_phi" -> "lnphi(k)" by position.
Values eval_results(const nlohmann::json &state) {
    struct Quantity {
        std::string printed;
        bool per_component;
    };
    static const std::map<std::string, Quantity> wanted{
        {"ln_phi", {"lnphi", true}}, {"d_ln_phi_dT", {"dlnphi/dT", true}}, {"H", {"H", false}},
        {"dH_dT", {"dH/dT", false}}, {"S", {"S", false}}, {"dS_dT", {"dS/dT", false}}, {"G", {"G", false}},
        {"dG_dT", {"dG/dT", false}}, {"V", {"V", false}}, {"dV_dT", {"dV/dT", false}}, {"status", {"status", false}}};
    Values results;
    for (const auto &[key, value] : state.items()) {
        const auto kind = wanted.find(key.substr(0, key.find(" / ")));
        if (kind == wanted.end()) continue;
        const std::string &name = kind->second.printed;
        if (kind->second.per_component) {
            for (std::size_t k = 0; k < value.size(); ++k)
                results[name + "(" + std::to_string(k + 1) + ")"] = value[k].get<double>();
        } else {
            results[name] = value.get<double>();
        }
    }
    return results;
}

bool agrees(double expected, double actual) {
    if (std::isnan(expected) || std::isnan(actual)) return std::isnan(expected) && std::isnan(actual);
    return std::fabs(expected - actual) <= 1e-13 * std::fabs(expected);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::cerr << "usage: compare_with_eval <fortran-output> <case>=<eval.json> ...\n";
        return 2;
    }
    try {
        Values printed = read_fortran(argv[1]);
        int faults = 0;
        std::size_t compared = 0;
        for (int a = 2; a < argc; ++a) {
            const std::string arg = argv[a];
            const auto equals = arg.find('=');
            if (equals == std::string::npos) throw std::runtime_error(arg + ": expected <case>=<eval.json>");
            const std::string name = arg.substr(0, equals);
            std::ifstream in(arg.substr(equals + 1));
            if (!in) throw std::runtime_error(arg.substr(equals + 1) + ": cannot open");
            const nlohmann::json document = nlohmann::json::parse(in);
            for (const auto &state : document.at("states")) {
                const std::string prefix = name + " " + std::to_string(state.at("state").get<int>()) + " ";
                for (const auto &[quantity, value] : eval_results(state)) {
                    const auto found = printed.find(prefix + quantity);
                    if (found == printed.end()) {
                        std::cerr << prefix << quantity << ": not printed by the Fortran program\n";
                        ++faults;
                        continue;
                    }
                    if (!agrees(value, found->second)) {
                        std::fprintf(stderr, "%s%s: Fortran %.17g, keld eval %.17g\n", prefix.c_str(),
                                     quantity.c_str(), found->second, value);
                        ++faults;
                    }
                    printed.erase(found);
                    ++compared;
                }
            }
        }
        for (const auto &[key, value] : printed) {
            std::cerr << key << ": printed by the Fortran program, absent from keld eval\n";
            ++faults;
        }
        if (compared == 0) {
            std::cerr << "no value compared\n";
            ++faults;
        }
        if (faults != 0) return 1;
        std::cout << compared << " values of the Fortran program equal keld eval's\n";
        return 0;
    } catch (const std::exception &e) {
        std::cerr << e.what() << "\n";
        return 2;
    }
}
