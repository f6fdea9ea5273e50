// Checks the Fortran example's printed results against the same states
// evaluated in C++ through keld::refhost::evaluate.
//
//   keld_fortran_check <case.json> <output-of-the-example>
//
// The example prints lines "<routine> <quantity> <value> [unit]", e.g.
// "KELD_ESPCSF ln_phi(1) -1.2345E+00" (k-th listed component) or
// "KELD_ESSLP V 1.1E-01 m3/kmol".
// Every quantity of both monitors must be present and agree with the C++
// result to round-off: the Fortran caller passes the same numbers by
// reference, so any larger difference means an argument went astray.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "keld/case.h"

namespace {

using Printed = std::map<std::string, double>;  // "<routine> <quantity>" -> value

Printed read_printed(const std::string &path) {
    std::ifstream in(path);
    Printed printed;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string routine, quantity, value;
        if (!(words >> routine >> quantity >> value) || routine.rfind("KELD_", 0) != 0) continue;
        try {
            printed[routine + " " + quantity] = std::stod(value);
        } catch (const std::exception &) {
            // a header line: not a result
        }
    }
    return printed;
}

bool agrees(double expected, double actual) {
    if (std::isnan(expected) || std::isnan(actual)) return std::isnan(expected) && std::isnan(actual);
    return std::fabs(expected - actual) <= 1e-12 * std::fabs(expected) + 1e-300;
}

int compare(const Printed &printed, const std::string &routine, const keld::refhost::StateRequest &state,
            const keld::refhost::StateResult &r) {
    std::map<std::string, double> expected{{"status", static_cast<double>(r.status)},
                                           {"H", r.h}, {"S", r.s}, {"G", r.g}, {"V", r.v}};
    for (std::size_t k = 0; k < state.components.size(); ++k)
        expected["ln_phi(" + std::to_string(k + 1) + ")"] = r.phi[k];
    int faults = 0;
    for (const auto &[quantity, value] : expected) {
        const auto found = printed.find(routine + " " + quantity);
        if (found == printed.end()) {
            std::cerr << routine << " " << quantity << ": not printed\n";
            ++faults;
        } else if (!agrees(value, found->second)) {
            std::fprintf(stderr, "%s %s: Fortran %.17g, C++ %.17g\n", routine.c_str(), quantity.c_str(),
                         found->second, value);
            ++faults;
        }
    }
    return faults;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::cerr << "usage: keld_fortran_check <case.json> <output-of-the-example>\n";
        return 2;
    }
    try {
        auto loaded = keld::refhost::load_case_file(argv[1]);
        if (loaded.states.empty()) {
            std::cerr << argv[1] << ": the case has no state\n";
            return 2;
        }
        keld::refhost::initialise_case(loaded);  // as the example does before its calls
        const Printed printed = read_printed(argv[2]);
        int faults = 0;
        for (const auto &[routine, model] : {std::pair{"KELD_ESPCSF", "pcsaft"}, {"KELD_ESSLP", "sanchez-lacombe"}}) {
            auto state = loaded.states.front();
            state.model = model;
            faults += compare(printed, routine, state, keld::refhost::evaluate(*loaded.host, state));
        }
        if (faults != 0) return 1;
        std::cout << "Fortran results agree with the C++ evaluation (" << printed.size() << " values)\n";
        return 0;
    } catch (const std::exception &e) {
        std::cerr << e.what() << "\n";
        return 2;
    }
}
