// Help texts of the keld command, written like a manual page's synopsis.
#include "cli_help.h"

#include <string>

#include "cli_db.h"
#include "cli_envelope.h"

namespace keld::cli {

namespace {

constexpr std::string_view general = R"(Usage: keld COMMAND [OPTIONS] CASE
       keld help [COMMAND]
       keld --version

Evaluate equation-of-state property monitors (every family keld has) on the
states of a case file: fugacity coefficients, enthalpy, entropy and Gibbs-energy
departures, molar volume and their temperature derivatives, for mixtures with
polymers. A case file (JSON) holds the components, the model parameters per data
set and the states; see docs/case-format.md.

Commands:
  eval     evaluate every state of a case and print the results
  sweep    evaluate states over a range of temperatures or pressures (CSV)
  init     run the models' parameter initialisation and show the parameters
  check    validate case files without computing anything
  sat      vapour pressure of a pure component, up to the critical point
  activity solvent activity over a polymer solution, and the sorption isotherm
  bubble   bubble-point pressure or temperature (polymers stay in the liquid)
  dew      dew-point pressure or temperature
  flash    isothermal two-phase flash with a stability test
  lle      liquid-liquid demixing of a polymer solution: binodal, spinodal, UCST/LCST
  critical critical points on the model: each pure component's and the mixture's
  envelope P-T phase envelope of a state's composition through its critical point
  pxy      P-x-y isotherm of a binary up to its critical point
  props    the Helmholtz-energy model's properties of a state at (T, P) or (T, rho)
  cloudpoint  cloud-point and shadow curves of a polydisperse polymer in a solvent
  fractionate two liquids of a polydisperse polymer solution: each phase's distribution
  db       search the parameter database, show a component's parameters and sources
  help     show this help, or the help of a command

Options:
  -h, --help     show this help (after a command: that command's help)
  --version      show the version

Examples:
  keld eval examples/polystyrene-toluene.json
  keld eval --json examples/methane-hexane.json
  keld sweep --T 280:400:13 --state 1 examples/polystyrene-toluene.json
  keld check examples/*.json
  keld sat examples/hexane-vapour-pressure.json --plot psat.png
  keld lle examples/polystyrene-cyclohexane.json --T 270:300:16
  keld critical examples/methane-hexane.json
  keld props --T 300 --P 1e5 examples/polystyrene-toluene.json

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

Temperature derivatives of sanchez-lacombe, pcsaft, saft and saft-stored are
one-sided differences over 1e-4 T (down for a liquid, up for a vapour; saft's
dV/dT is analytic): good to 3.2e-4 relative up to 0.8 Tc, 1.7e-3 at 0.95 Tc.
saft-stored takes H and S at the shifted temperature from a central difference
of the residual Helmholtz energy: its dH/dT and dS/dT differ from saft's by up
to 2.2e-4. The cubic's derivatives are analytic; the segment-based models and
pcsaft-assoc return values only. pcsaft-assoc with "association": "simplified"
stops at a relative change of 1e-6 in the site fractions (within 5e-7 of the
solution).

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
    R"(Usage: keld sweep (--T FROM:TO:COUNT | --P FROM:TO:COUNT) [--state N] [--json] [--jobs N]
                  [--plot FILE.png [--property NAME]] CASE

Evaluate the states of CASE (or state N) at COUNT evenly spaced temperatures
(K) or pressures (Pa) from FROM to TO, everything else as in the case, and
print one CSV row per evaluation (the columns of `keld eval --csv`), in order,
block by block as they are computed. The parameter initialisation runs once
before the sweep. COUNT is at most 100000. A sweep that runs longer than a
second shows a progress bar on standard error (a terminal, or KELD_PROGRESS=1).

Options:
  --T FROM:TO:COUNT   temperatures in K, e.g. 280:400:13
  --P FROM:TO:COUNT   pressures in Pa, e.g. 1e5:1e7:21
  --state N           sweep state N only (1-based); default: every state
  --json              a JSON document instead of CSV
  --jobs N            evaluate on N threads (default 1); the output is the same
                      as with one. States of every model run in parallel
  --plot FILE.png     draw the swept property against T or P, one curve per
                      state (needs python3-matplotlib)
  --property NAME     what --plot draws: V, H, S, G or lnphi:ID (ln phi of
                      component ID); default: the first of V, H, G, S requested
  -h, --help          show this help

Examples:
  keld sweep --T 280:400:13 examples/polystyrene-toluene.json
  keld sweep --T 280:400:2000 --jobs 2 --plot v.png --state 1 examples/polystyrene-toluene.json
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

Show the general help, or the help of COMMAND (eval, sweep, init, check, sat,
activity, bubble, dew, flash, lle).
`keld COMMAND --help` shows the same text.

Exit status:
  0  success
  1  unknown command
)";


constexpr std::string_view equilibrium_common = R"(
Common options:
  --state N       take the defaults (model, components, composition, T, P) from
                  state N of the case (default: the first state)
  --model NAME    the model family (default: the state's)
  --json          one JSON document: {"command", "title", "case", "model",
                  "columns", "rows", "notes", ...}; NaN values are null
  --csv           one CSV row per point, a header line first, then the status
                  and message of each point
  --plot FILE     also draw the curve into FILE (PNG) with matplotlib through
                  /usr/bin/python3 (or $KELD_PYTHON); an error if it is missing
  --data CSV      with --plot: measured points to draw too (the first two
                  numeric columns; a line "# label: TEXT" names them)
  -h, --help      show this help
A sweep that runs longer than a second shows a progress bar on standard error
when that is a terminal (KELD_PROGRESS=1 forces it, KELD_PROGRESS=now forces it
from the first point, KELD_PROGRESS=0 hides it).
Ranges are FROM:TO:COUNT (COUNT evenly spaced values) or a single value.

Every point has a status: converged; single phase (a flash of a stable feed);
no coexistence (above the critical point, or no demixing); no solution (the
requested state lies outside what the model allows); not converged (the message
says how far it got); density root failed; invalid input. Points without an
equilibrium print no numbers.

Exit status:
  0  every point converged (or is a single phase)
  1  the case file or the command line is wrong, or a point's input is invalid
  2  at least one point has no equilibrium or did not converge
)";

constexpr std::string_view sat = R"(Usage: keld sat [--component ID] [--T T | --T FROM:TO:COUNT | --P P]
                [--points N] [OPTIONS] CASE

Vapour pressure of a pure component: P_sat, the densities of the saturated
liquid and vapour, the heat of vaporisation and both compressibilities. With
--T FROM:TO:COUNT the curve is traced by continuation and ends where the
model's critical point is (the points above it say so); without --T it runs
from the state's temperature to the critical region in N points (default 30)
and estimates the model's critical point. With --P the boiling temperature at
that pressure. --component picks the component (default: the state's first
volatile one).

Examples:
  keld sat examples/hexane-vapour-pressure.json
  keld sat --T 290:340:11 --csv examples/hexane-vapour-pressure.json
  keld sat --P 101325 --component TOLUENE examples/polystyrene-toluene.json
  keld sat examples/hexane-vapour-pressure.json --plot psat.png \
      --data examples/data/hexane-vapour-pressure.csv
)";

constexpr std::string_view critical = R"(Usage: keld critical [--component ID] [--T T --V V] [OPTIONS] CASE

Critical points on the family's Helmholtz-energy model: of each volatile
component of the state (dP/drho = d2P/drho2 = 0), and of the mixture at the
state's composition by the Heidemann-Khalil criteria (the Hessian of A in the
amounts at constant T and V singular, the cubic form along its null vector
zero), with exact derivatives. Printed: T in K and degC, P (Pa, kPa or MPa as
the size suggests), molar density in kmol/m3 and molar volume in m3/kmol.
--component: that component's critical point only. The mixture's solver
starts from its pseudo-critical point at the composition; --T (K) and --V
(m3/kmol) start it elsewhere, e.g. at a liquid volume for the liquid-liquid
critical point of a polymer solution. A point that does not meet its
conditions to 1e-10 is reported as not converged, with no numbers.

Examples:
  keld critical examples/methane-hexane.json
  keld critical --component HEXANE --json examples/hexane-vapour-pressure.json
)";

constexpr std::string_view activity = R"(Usage: keld activity [--solvent ID] [--T T] [--w FROM:TO:COUNT | --p FROM:TO:COUNT]
                     [OPTIONS] CASE

Solvent activity over a polymer solution at T (default: the state's): the
solution's bubble pressure P with its vapour of the volatile components only,
each solvent's partial pressure, its activity a = f / f_sat (f_sat: the
fugacity of the pure solvent's saturated vapour at T) and its weight-fraction
activity coefficient Omega = a / w. Without a range: the state's composition.
With --w: the solvent's weight fraction over a range, the other components
keeping their proportions from the state. With --p: the sorption isotherm,
the liquid in equilibrium with the solvent at partial pressures in Pa (the
inverse; a pressure at or above the vapour pressure has no solution).

Examples:
  keld activity --w 0.05:0.95:19 examples/polystyrene-toluene.json
  keld activity --p 500:3500:7 --csv examples/polystyrene-toluene.json
)";

constexpr std::string_view bubble = R"(Usage: keld bubble [--T T | --P P] [--x FROM:TO:COUNT] [OPTIONS] CASE

Bubble point of the state's liquid: the pressure at T (default: the state's
T), or with --P the temperature at that pressure, and the first vapour's
composition. Polymers stay in the liquid. With --x, the mole fraction of the
first listed component over a range (the others in the state's proportions):
for a binary the P-x-y (or T-x-y) diagram, which --plot draws.

Examples:
  keld bubble examples/methane-hexane.json --state 2
  keld bubble --x 0:1:21 --plot pxy.png examples/methane-hexane.json --state 2
)";

constexpr std::string_view dew = R"(Usage: keld dew [--T T | --P P] [--y FROM:TO:COUNT] [OPTIONS] CASE

Dew point of the state's vapour: the pressure at T (default: the state's T),
or with --P the temperature, and the first liquid's composition. A vapour
holding a polymer has none (invalid input). With --y, the mole fraction of the
first listed component over a range.

Examples:
  keld dew examples/methane-hexane.json
)";

constexpr std::string_view flash = R"(Usage: keld flash [--T T] [--P P] [OPTIONS] CASE

Isothermal flash of the state's composition at its T and P (or those given):
a tangent-plane stability test, then, for an unstable feed, two phases (a
liquid and a vapour, or two liquids) with their amounts (moles of molecules
and mass), compositions (mole and weight fractions) and molar volumes.
Polymers never enter the vapour. A stable feed is one phase (status "single
phase").

Examples:
  keld flash --P 2e6 examples/methane-hexane.json --state 2
  keld flash --json examples/polystyrene-cyclohexane.json --T 285
)";

constexpr std::string_view props = R"(Usage: keld props [--state N] [--T T] [--P P | --rho RHO] [--phase liquid|vapour]
                  [--model NAME] CASE

The state's mixture (default state 1: its model, components, composition, T,
P and phase) on the model's residual Helmholtz energy with exact derivatives:
at T (K) and P (Pa) on the model's own density root of the phase (below close
packing), or at T and a molar density RHO (kmol/m3). Prints per component the
mole fractions of molecules and as the host counts them, ln phi on both bases
and the partial molar volumes; P, rho, V, Z, the residual H, S, G, U, A, the
departures as the monitors give them (S and G against the ideal gas at
101325 Pa), the residual heat capacities, (dP/drho)_T, (dP/dT)_rho, the
isothermal compressibility and (dV/dT)_P, per kmol of molecules and per kmol
counted as the host counts (a polymer in repeat units).

Examples:
  keld props examples/polystyrene-toluene.json
  keld props --T 300 --rho 7.5 examples/hexane-vapour-pressure.json

Exit status: 0 success, 1 a wrong case or command line (or a model the case
cannot give: a missing parameter, a segment-based family), 2 no density root.
)";

constexpr std::string_view lle = R"(Usage: keld lle [--T T | --T FROM:TO:COUNT] [--P P] [OPTIONS] CASE

Liquid-liquid demixing of the state's binary (a solvent and a polymer) at P
(default: the state's): at each T the binodal, i.e. the weight fractions of
the second component in the polymer-lean and polymer-rich liquids (for a
single polymer component the cloud-point curve), and the spinodal. Over a
range the upper and lower critical solution temperatures (UCST, LCST) found
between neighbouring temperatures are given with their compositions; --plot
draws the T-w diagram.

Examples:
  keld lle --T 270:300:16 --plot ucst.png examples/polystyrene-cyclohexane.json
  keld lle --state 2 --T 500:540:9 examples/polystyrene-cyclohexane.json
)";

std::string with_common(std::string_view own) {
    return std::string(own) + std::string(equilibrium_common);
}

constexpr std::string_view polydisperse_common = R"(
The case gives the solvent and the polymer (the first polymer component, or
--solvent ID, --polymer ID) with PC-SAFT parameters (PCSFTM, PCSFTV, PCSFTU of
the solvent; PCSFTR, PCSFTV, PCSFTU of the polymer; PCSKIJ between them). The
polymer's chains follow a distribution discretised into pseudo-components by
Gauss quadrature (Mn, Mw and Mz kept exactly); they share the segment
parameters and differ in chain length.

Options:
  --Mn M            number-average molecular weight, kg/kmol (default: the case's MWN)
  --Mw M            weight-average molecular weight, kg/kmol (default: 2 Mn)
  --dist KIND       schulz-flory (default) or log-normal
  --gpc FILE        a measured distribution instead: CSV of molecular weight
                    (g/mol) and weight fraction, or dw/dlogM when the header says so
  --pseudo N        pseudo-components (default 10)
  --P P             pressure, Pa (default 1e5)
  --T-min T, --T-max T
                    where the demixing temperature is sought, K (default 250, 400;
                    an upper critical solution branch)
  --json            JSON output
  --plot FILE       draw a PNG (matplotlib)

Exit status: 0 every point converged, 2 some did not (listed), 1 a fault.
)";

constexpr std::string_view cloudpoint_text = R"(Usage: keld cloudpoint [OPTIONS] CASE

The cloud-point curve (the temperature at which a feed of polymer weight
fraction w first demixes, at P) and the shadow curve (the incipient phase's w
at that temperature), over feeds from --w-from to --w-to, and the critical
point where they meet. For a broad distribution the cloud-point curve's
maximum is not the critical point.

  --w-from W, --w-to W  feed polymer weight fractions (default 0.005, 0.3)
  --points N            feeds, evenly spaced in ln(w/(1-w)) (default 30)

Example:
  keld cloudpoint --Mw 2e5 --pseudo 20 --plot cloud.png examples/polystyrene-cyclohexane.json
)";

constexpr std::string_view fractionate_text = R"(Usage: keld fractionate --T T --w W [OPTIONS] CASE

The two liquids of a feed of polymer weight fraction W at T (K) and P below its
cloud point: each phase's polymer content, Mn and Mw, its share of the feed, and
each pseudo-component's share in the polymer-rich phase; --plot draws the
distributions of the feed and both phases.

Example:
  keld fractionate --T 295 --w 0.1 --Mw 2e5 --plot fractionation.png examples/polystyrene-cyclohexane.json
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
    if (command == "props") return props;
    if (command == "db") return db_help();
    if (!envelope_help(command).empty()) return envelope_help(command);
    static const std::string sat_text = with_common(sat), activity_text = with_common(activity),
                             bubble_text = with_common(bubble), dew_text = with_common(dew),
                             flash_text = with_common(flash), lle_text = with_common(lle),
                             critical_text = with_common(critical);
    if (command == "sat") return sat_text;
    if (command == "activity") return activity_text;
    if (command == "bubble") return bubble_text;
    if (command == "dew") return dew_text;
    if (command == "flash") return flash_text;
    if (command == "lle") return lle_text;
    if (command == "critical") return critical_text;
    static const std::string cloudpoint_help = std::string(cloudpoint_text) + std::string(polydisperse_common),
                             fractionate_help = std::string(fractionate_text) + std::string(polydisperse_common);
    if (command == "cloudpoint") return cloudpoint_help;
    if (command == "fractionate") return fractionate_help;
    return {};
}

}  // namespace keld::cli
