// Help texts of the keld command, written like a manual page's synopsis.
#include "cli_help.h"

namespace keld::cli {

namespace {

constexpr std::string_view general = R"(Usage: keld COMMAND [OPTIONS] CASE
       keld help [COMMAND]
       keld --version

Evaluate equation-of-state property monitors (Sanchez-Lacombe, PC-SAFT) on the
states of a case file: fugacity coefficients, enthalpy, entropy and Gibbs-energy
departures, molar volume and their temperature derivatives, for mixtures with
polymers. A case file (JSON) holds the components, the model parameters per data
set and the states; see docs/case-format.md.

Commands:
  eval     evaluate every state of a case and print the results
  sweep    evaluate states over a range of temperatures or pressures (CSV)
  init     run the models' parameter initialisation and show the parameters
  check    validate case files without computing anything
  help     show this help, or the help of a command

Options:
  -h, --help     show this help (after a command: that command's help)
  --version      show the version

Examples:
  keld eval examples/polystyrene-toluene.json
  keld eval --json examples/methane-hexane.json
  keld sweep --T 280:400:13 --state 1 examples/polystyrene-toluene.json
  keld check examples/*.json

Exit status:
  0  success
  1  the case file is wrong (the message names the place) or the command line is
  2  a state was evaluated but its density root failed (KSTAT 0)
)";

constexpr std::string_view eval = R"(Usage: keld eval [--json | --csv] [--state N] CASE

Evaluate the states of CASE as a process simulator would: the parameter
initialisation of every model the case uses runs once, then the model's
property monitor is called for each state (work offset 0, KSTAT set to 1
before the call). The default output is a readable table per state: each
component's apparent mole fraction z, ln phi and, when requested, d ln phi/dT;
then the requested departures H, S, G (from the ideal gas; S and G at
P_ref = 101325 Pa), the molar volume V and their temperature derivatives, with
units (kmol basis of the host's apparent molecular weights); the status word;
and the messages the call printed.

Options:
  --json       one JSON document: {"case", "title", "initialisation", "states"}
  --csv        one CSV row per state, a header line first; properties that a
               state does not request are empty cells
  --state N    evaluate state N only (1-based)
  -h, --help   show this help

Examples:
  keld eval examples/polystyrene-toluene.json
  keld eval --csv examples/polystyrene-toluene.json > results.csv
  keld eval --json --state 2 examples/methane-hexane.json

Exit status:
  0  every state evaluated with KSTAT 1
  1  the case file or the command line is wrong; nothing is computed
  2  at least one state failed (KSTAT 0: no density root, or a parameter
     missing); all states are shown
)";

constexpr std::string_view sweep =
    R"(Usage: keld sweep (--T FROM:TO:COUNT | --P FROM:TO:COUNT) [--state N] [--json] CASE

Evaluate the states of CASE (or state N) at COUNT evenly spaced temperatures
(K) or pressures (Pa) from FROM to TO, everything else as in the case, and
print one CSV row per evaluation (the columns of `keld eval --csv`) as soon as
it is computed. The parameter initialisation runs once before the sweep.
COUNT is at most 100000.

Options:
  --T FROM:TO:COUNT   temperatures in K, e.g. 280:400:13
  --P FROM:TO:COUNT   pressures in Pa, e.g. 1e5:1e7:21
  --state N           sweep state N only (1-based); default: every state
  --json              a JSON document instead of CSV
  -h, --help          show this help

Examples:
  keld sweep --T 280:400:13 examples/polystyrene-toluene.json
  keld sweep --P 1e5:5e6:50 --state 1 examples/methane-hexane.json > isotherm.csv

Exit status:
  0  every evaluation had KSTAT 1
  1  the case file or the command line is wrong; nothing is computed
  2  at least one evaluation failed (KSTAT 0); its row is still printed
)";

constexpr std::string_view init = R"(Usage: keld init CASE

Run the parameter initialisation routine of every model the case uses
(KELD_ESPSLI for Sanchez-Lacombe, KELD_ESPCSI for PC-SAFT) with NDS = the
case's number of data sets, as a simulator does before its property calls.
Print the messages they issue (missing parameters, nominal values assumed) and
then the parameters in effect afterwards, per data set: the unary parameters
of every component ("missing" where none is given) and the binary parameters
that are not zero.

Options:
  -h, --help   show this help

Examples:
  keld init examples/polystyrene-from-segments.json

Exit status:
  0  success (messages about missing parameters do not change it)
  1  the case file or the command line is wrong
)";

constexpr std::string_view check = R"(Usage: keld check CASE...

Validate each case file without computing anything: JSON syntax, known keys
only, units, components and their kinds, segment compositions, parameters,
fractions that add up to 1, states and the parameters their data sets give.
Print "CASE: ok" for each valid file and the first fault of each invalid one on
standard error, naming its place as a JSON path (file:states[2].mass_fractions.PS:
...). A case file is a regular file of at most 64 MiB, nested at most 64
levels deep, with at most 1000 components and 100 data sets (and a host store
of at most 1 GiB); see docs/case-format.md.

Options:
  -h, --help   show this help

Examples:
  keld check examples/*.json

Exit status:
  0  every file is valid
  1  at least one file is not (or the command line is wrong)
)";

constexpr std::string_view help = R"(Usage: keld help [COMMAND]

Show the general help, or the help of COMMAND (eval, sweep, init, check).
`keld COMMAND --help` shows the same text.

Exit status:
  0  success
  1  unknown command
)";

}  // namespace

std::string_view general_help() {
    return general;
}

std::string_view command_help(std::string_view command) {
    if (command == "eval") return eval;
    if (command == "sweep") return sweep;
    if (command == "init") return init;
    if (command == "check") return check;
    if (command == "help") return help;
    return {};
}

}  // namespace keld::cli
