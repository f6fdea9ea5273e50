// Single points from the command line: a composition, a temperature and a
// pressure given as options override those of a case's state (or make the
// state when the case has none), so that one point needs no edited file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cli_command.h"
#include "keld/case.h"

namespace keld::cli {

// --z ID=VALUE,... and --basis mole|mass, as the commands that take them declare them.
std::vector<OptionSpec> composition_options();

// --T / --P: a number with its unit ("25 degC", "1 bar"), a bare number in K or Pa;
// positive. Throws CommandLineError naming the option.
double temperature_option(const std::string &text);
double pressure_option(const std::string &text);

struct Composition {
    std::vector<std::int64_t> components;  // component numbers, in the order given
    std::vector<double> z;                 // apparent mole fractions
};

// The composition --z gives (on the --basis, default mole), as apparent mole
// fractions of the case's components. Throws CommandLineError for an unknown or
// repeated component, a segment, a negative fraction or a sum other than 1.
Composition composition_option(const refhost::Case &c, const std::map<std::string, std::string> &options);

// --z, --T and --P applied to a state.
void apply_point_options(const refhost::Case &c, refhost::StateRequest &state,
                         const std::map<std::string, std::string> &options);

// A state made from --z, --T and --P alone, for a case with no states: the
// family is the one the case gives parameters for. Throws CommandLineError
// for what is missing.
refhost::StateRequest state_from_options(const refhost::Case &c, const std::map<std::string, std::string> &options);

}  // namespace keld::cli
