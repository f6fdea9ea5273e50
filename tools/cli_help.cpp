// Help texts of the keld command, written like a manual page's synopsis.
#include "cli_help.h"

#include <algorithm>
#include <sstream>
#include <string>

#include "cli_db.h"
#include "keld/case.h"

namespace keld::cli {

namespace {

constexpr std::string_view general = R"(Evaluate equation-of-state property monitors (every family keld has) on the
states of a case file: fugacity coefficients, enthalpy, entropy and Gibbs-energy
departures, molar volume and their temperature derivatives, for mixtures with
polymers. A case file (JSON) holds the components, the model parameters per data
set and the states; see docs/case-format.md.

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

constexpr std::string_view eval = R"(Evaluate the states of CASE as a process simulator would: the parameter
initialisation of every model the case uses runs once, then the model's
property monitor is called for each state (work offset 0, KSTAT set to 1
before the call). The default output is a readable table per state: each
component's apparent mole fraction z, ln_phi and, when requested, d_ln_phi_dT;
then the requested departures H, S, G (from the ideal gas; S and G at
P_ref = 101325 Pa), the molar volume V and their temperature derivatives, with
units (kmol basis of the host's apparent molecular weights); the status word;
and the messages the call printed, each model named by its family too. --csv
and --json keep the message lines as the host recorded them; their columns and
keys are named as docs/vocabulary.md lists them: ln_phi[ID], dH_dT / (J/(kmol K)).

--z, --T and --P replace the composition, temperature and pressure of the
states evaluated (of state N alone with --state); a case without states is
evaluated at that point alone, with the one model family it gives parameters for.

Temperature derivatives of sanchez-lacombe, pcsaft, saft and saft-stored are
one-sided differences over 1e-4 T (down for a liquid, up for a vapour; saft's
dV/dT is analytic): good to 3.2e-4 relative up to 0.8 Tc, 1.7e-3 at 0.95 Tc.
saft-stored takes H and S at the shifted temperature from a central difference
of the residual Helmholtz energy: its dH/dT and dS/dT differ from saft's by up
to 2.2e-4. The cubic's derivatives are analytic; the segment-based models and
pcsaft-assoc return values only. pcsaft-assoc with "association": "simplified"
stops at a relative change of 1e-6 in the site fractions (within 5e-7 of the
solution).

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

constexpr std::string_view sweep = R"(Evaluate the states of CASE (or state N) at COUNT evenly spaced temperatures
(K) or pressures (Pa) from FROM to TO, everything else as in the case, and
print one CSV row per evaluation (the columns of `keld eval --csv`), in order,
block by block as they are computed. The parameter initialisation runs once
before the sweep. COUNT is at most 100000. A sweep that runs longer than a
second shows a progress bar on standard error (a terminal, or KELD_PROGRESS=1).

Examples:
  keld sweep --T 280:400:13 examples/polystyrene-toluene.json
  keld sweep --T 280:400:2000 --jobs 2 --plot v.png --state 1 examples/polystyrene-toluene.json
  keld sweep --P 1e5:5e6:50 --state 1 examples/methane-hexane.json > isotherm.csv

Exit status:
  0  every evaluation had KSTAT 1
  1  the case file or the command line is wrong; nothing is computed
  2  at least one evaluation failed (KSTAT 0); its row is still printed
)";

constexpr std::string_view init = R"(Run the parameter initialisation routine of every model the case uses (for
example KELD_ESPCSI for pcsaft) with NDS = the case's number of data sets, as
a simulator does before its property calls. Print the messages they issue
(missing parameters, nominal values assumed) and then the parameters in effect
afterwards, per data set, with their units: the unary parameters of every
component ("missing" where none is given), each component's three-word records
(the Mathias-Copeman alpha), the binary parameters that are not zero, and per
binary parameter how many pairs are missing.

Examples:
  keld init examples/polystyrene-from-segments.json

Exit status:
  0  success (messages about missing parameters do not change it)
  1  the case file or the command line is wrong
)";

constexpr std::string_view check = R"(Validate each case file without computing anything: JSON syntax, known keys
only, units, components and their kinds, segment compositions, parameters,
fractions that add up to 1, states and the parameters their data sets give.
Print "CASE: ok" for each valid file and the first fault of each invalid one on
standard error, naming its place as a JSON path (file:states[2].mass_fractions.PS:
...). A case file is a regular file of at most 64 MiB, nested at most 64
levels deep, with at most 1000 components and 100 data sets (and a host store
of at most 1 GiB); see docs/case-format.md.

Examples:
  keld check examples/*.json

Exit status:
  0  every file is valid
  1  at least one file is not (or the command line is wrong)
)";

constexpr std::string_view help = R"(Show the general help, or the help of COMMAND. `keld COMMAND --help` shows the
same text.

Exit status:
  0  success
  1  unknown command
)";


constexpr std::string_view equilibrium_common = R"(
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

constexpr std::string_view sat = R"(Vapour pressure of a pure component: P_sat, the densities of the saturated
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

constexpr std::string_view critical = R"(Critical points on the family's Helmholtz-energy model: of each volatile
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
--curve: the critical curve of the state's binary instead, from the first
component's critical point to the second's, continued in composition with
each point started from its neighbours; one row per point (T in K and degC, P
in MPa, V in m3/kmol of molecules, the first component's mole fraction), the
pure ends labelled. Where the curve runs above --p-max (default 100 MPa) or
no critical point continues it, it ends there and says why (exit status 2).
--plot draws P (MPa) over T (K, degC on top) with the pure critical points.

Examples:
  keld critical examples/methane-hexane.json
  keld critical --curve --plot critical-curve.png examples/methane-hexane.json
  keld critical --component HEXANE --json examples/hexane-vapour-pressure.json
)";

constexpr std::string_view activity = R"(Solvent activity over a polymer solution at T (default: the state's): the
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

constexpr std::string_view bubble = R"(Bubble point of the state's liquid: the pressure at T (default: the state's
T), or with --P the temperature at that pressure, and the first vapour's
composition. Polymers stay in the liquid. With --x, the mole fraction of the
first listed component over a range (the others in the state's proportions):
for a binary the P-x-y (or T-x-y) diagram, which --plot draws.

Examples:
  keld bubble examples/methane-hexane.json --state 2
  keld bubble --x 0:1:21 --plot pxy.png examples/methane-hexane.json --state 2
)";

constexpr std::string_view dew = R"(Dew point of the state's vapour: the pressure at T (default: the state's T),
or with --P the temperature, and the first liquid's composition. A vapour
holding a polymer has none (invalid input). With --y, the mole fraction of the
first listed component over a range.

Examples:
  keld dew examples/methane-hexane.json
)";

constexpr std::string_view flash = R"(Isothermal flash of the state's composition at its T and P (or those given):
a tangent-plane stability test, then, for an unstable feed, two phases (a
liquid and a vapour, or two liquids) with their amounts (moles of molecules
and mass), compositions (mole and weight fractions) and molar volumes.
Polymers never enter the vapour. A stable feed is one phase (status "single
phase").

Examples:
  keld flash --P 2e6 examples/methane-hexane.json --state 2
  keld flash --json examples/polystyrene-cyclohexane.json --T 285
)";

constexpr std::string_view props = R"(The state's mixture (default state 1: its model, components, composition, T,
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

constexpr std::string_view lle = R"(Liquid-liquid demixing of the state's binary (a solvent and a polymer) at P
(default: the state's): at each T the binodal, i.e. the weight fractions of
the second component in the polymer-lean and polymer-rich liquids (for a
single polymer component the cloud-point curve), and the spinodal. Over a
range the upper and lower critical solution temperatures (UCST, LCST) found
between neighbouring temperatures are given with their compositions; --plot
draws the T-w diagram.
With three components (a polymer, the heaviest; a solvent; a non-solvent,
--nonsolvent or the later listed) the diagram at one T and P on the model:
one row per tie line with both liquids' weight fractions and densities, traced
from the polymer / non-solvent edge to the plait point, which is solved by the
Heidemann-Khalil criteria (the last row and a note); --plot draws the
triangle of weight fractions with the binodal, tie lines and plait point.

Examples:
  keld lle --T 270:300:16 --plot ucst.png examples/polystyrene-cyclohexane.json
  keld lle --state 2 --T 500:540:9 examples/polystyrene-cyclohexane.json
  keld lle --T 25degC --P 1bar --plot ternary.png examples/polystyrene-toluene-methanol-pcsaft-assoc.json
)";

std::string with_common(std::string_view own) {
    return std::string(own) + std::string(equilibrium_common);
}

std::string_view raw_text(std::string_view command) {
    if (command == "eval") return eval;
    if (command == "sweep") return sweep;
    if (command == "init") return init;
    if (command == "check") return check;
    if (command == "help") return help;
    if (command == "props") return props;
    if (command == "db") return db_help();
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
    return general;
}

}  // namespace

HelpText help_text(std::string_view command) {
    const std::string text(raw_text(command));
    // The prose comes before the option list the declarations generate; the
    // examples and the exit status after it.
    std::size_t split = text.find("\nExamples:\n");
    if (split == std::string::npos) split = text.find("\nExit status");
    if (split == std::string::npos) return {text, {}};
    return {text.substr(0, split + 1), text.substr(split + 1)};
}

std::string models_help() {
    std::string out = "Models (a state's \"model\", or --model NAME):\n";
    for (const auto &m : refhost::models()) {
        std::string row = "  " + std::string(m.name);
        constexpr std::size_t column = 24, width = 80;
        row = row.size() + 2 > column ? row + "\n" + std::string(column, ' ') : row + std::string(column - row.size(), ' ');
        std::size_t at = column;
        std::string word;
        std::istringstream words{std::string(m.description)};
        bool first = true;
        while (words >> word) {
            if (!first && at + 1 + word.size() > width) {
                row += "\n" + std::string(column, ' ');
                at = column;
            } else if (!first) {
                row += ' ';
                ++at;
            }
            row += word;
            at += word.size();
            first = false;
        }
        out += row + "\n";
    }
    return out;
}

}  // namespace keld::cli
