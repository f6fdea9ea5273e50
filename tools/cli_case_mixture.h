// The case file a command on the model reads: the state that gives its model
// family and composition (--state N, default the first; --model overrides the
// family), the components' identifiers and the composition in molecules.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "keld/case.h"
#include "keld/model.hpp"

namespace keld::cli {

struct CaseMixture {
    refhost::Case c;
    const refhost::StateRequest *state = nullptr;
    std::string family;
    std::vector<std::string> ids;
    std::vector<double> x;  // mole fractions of molecules (a polymer counted as chains)
};

// Reads and initialises the one case file named on the command line. Throws
// CommandLineError for a wrong command line or a case without states.
CaseMixture open_case_mixture(const std::vector<std::string> &positional,
                              const std::map<std::string, std::string> &options);

// The model of the mixture's family and components; CommandLineError when the
// case lacks what the model needs.
Model model_of(CaseMixture &m);

// A number for titles and notes: six significant digits.
std::string number_text(double v);

}  // namespace keld::cli
