// keld/case.h - case files: a reference host filled from JSON, and the
// states to evaluate on it.
//
// A case describes the components (identifier, kind, molecular weight, and
// for a polymer its segment composition and number-average molecular weight),
// the model parameters per data set under the system's own names, and one or
// more states (model, T, P, composition, phase, requested properties). The
// command-line tool, the Python module and C/Fortran callers all load cases
// through this interface and evaluate states with the same code.
//
// The format (docs/case-format.md has the full description):
//   {
//     "title": "...", "description": "...", "source": "..." or ["...", ...],
//     "components": [
//       {"id": "TOLUENE", "kind": "ordinary", "MW / (kg/kmol)": 92.141},
//       {"id": "STY", "kind": "segment", "MW / (kg/kmol)": 104.152},
//       {"id": "PS", "kind": "polymer", "MW / (kg/kmol)": 104.152,
//        "MWN / (kg/kmol)": 1e5, "segments": {"STY": 1.0}}],
//     "parameters": [{"data_set": 1,
//       "sanchez-lacombe": {"SLTSTR / K": {"TOLUENE": 543}, "SLPSTR / MPa": {...},
//                           "SLRSTR / (kg/m3)": {...}, "SLKIJ": {"TOLUENE": {"PS": 0.01}}},
//       "pcsaft": {"PCSFTM": {...}, "PCSFTV / A": {...}, "PCSFTU / K": {...},
//                  "PCSFTR / (mol/g)": {...}, "PCSKIJ": {"A": {"B": [a, b, c, d, e, Tref]}}}}],
//     "state_defaults": { any state field but "label" },
//     "states": [{"label": "...", "model": "pcsaft", "T / K": 300, "P / bar": 1,
//                 "mass_fractions": {"TOLUENE": 0.7, "PS": 0.3}, "phase": "liquid",
//                 "properties": "all", "derivatives": ["lnphi", "H"],
//                 "diagnostics": 4, "data_set": 1, "segment_fractions": "weight"}]
//   }
// Units are part of the keys ("T / K", "P / bar"; accepted units are listed in
// docs/case-format.md) and converted where read. Unknown or duplicate keys,
// missing values, fractions that do not add up to 1 within 1e-9, non-positive
// molecular weights, T or P, unknown components, models or units, polymers
// without segments are CaseErrors naming the JSON path. A binary pair given in
// one order holds for both unless the other order is given too. The components
// of a composition, in the order written, are the monitor's IDX; mass fractions
// become apparent mole fractions with MW.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "keld/model.hpp"
#include "keld/refhost.h"

namespace keld::refhost {

// A wrong case file: `where` names the place in the file (a JSON path such as
// "states[1].mass_fractions.TOLUENE", after the file name and a colon:
// "case.json:states[1].mass_fractions.TOLUENE"; "case.json:3:16" for JSON syntax).
class CaseError : public std::runtime_error {
  public:
    CaseError(std::string where, const std::string &what)
        : std::runtime_error(where + ": " + what), where_(std::move(where)) {}
    const std::string &where() const { return where_; }

  private:
    std::string where_;
};

// One property evaluation, in the terms of a monitor call.
struct StateRequest {
    std::string model;                     // registered model name, e.g. "sanchez-lacombe", "pcsaft"
    double temperature = 0;                // K
    double pressure = 0;                   // Pa
    std::vector<std::int64_t> components;  // component numbers listed (IDX)
    std::vector<double> z;                 // apparent mole fractions, one per listed component
    std::int64_t phase = 2;                // 1 vapour, 2 liquid
    std::array<std::int64_t, 5> flags{3, 3, 3, 3, 3};  // KPHI, KH, KS, KG, KV
    std::int64_t data_set = 1;
    std::int64_t diagnostics = 4;  // KDIAG
    std::int64_t option = 0;       // KOPT
    std::string label;             // optional name of the state
    // The cubic model's call settings ("mixing_rule", "excess_gibbs", "alpha").
    std::int64_t mixing_rule = 1;   // KRULE: 1 van der Waals, 2 Wong-Sandler, 3 MHV1, 4 MHV2
    std::int64_t excess_model = 1;  // KMODEL 1..7
    std::int64_t alpha_option = 0;  // KEOSOPT: 2 Mathias-Copeman where given
    // The associating PC-SAFT monitor's option vector KOPT(3) ("root_search", "association" and
    // "entropy_from_gibbs" of a case file): element 2 = 10 its own density search; element 3 = 1 no
    // association or dipoles, 20 the simplified association, 11 S from (H - G)/T.
    std::array<std::int64_t, 3> association_options{0, 0, 0};
};

struct StateResult {
    std::vector<double> phi, dphi;  // ln phi and d ln phi/dT, per listed component
    double h = 0, s = 0, g = 0, v = 0, dh = 0, ds = 0, dg = 0, dv = 0;
    std::int64_t status = 1;            // KSTAT after the call (set to 1 before it)
    std::vector<std::string> messages;  // message lines the call printed
};

// A component whose values came from the shipped parameter database ("database" in a case file):
// its entry and, per data set and model family, the parameter set taken and its source key
// (the bibliography of `keld db show`), and the binary parameters taken with the components after it.
// Values the case gives itself are not the database's.
struct DatabaseUse {
    struct Set {
        std::string family;  // the case's model family, e.g. "pcsaft"
        std::int64_t data_set = 1;
        std::string set;     // the row's name in its table
        std::string table;   // e.g. "pcsaft/solvents.csv"
        std::string source;  // source key, e.g. "GS2001"
    };
    struct Binary {
        std::string family;  // the case's model family, e.g. "pcsaft"
        std::int64_t data_set = 1;
        std::string other;   // the other component's identifier in the case
        std::string name;    // the case file's parameter, e.g. "PCSKIJ"
        double value = 0;
        std::string source;  // source key
    };
    std::string component;  // the case's identifier
    std::string entry;      // the database's name for it
    std::vector<Set> sets;
    std::vector<Binary> binaries;
};

struct Case {
    std::unique_ptr<ReferenceHost> host;
    std::vector<StateRequest> states;
    std::string origin;                           // file name or "<string>"
    std::string title;                            // the case's "title", may be empty
    std::vector<std::string> parameter_families;  // models whose parameters the case gives, in file order
    std::vector<DatabaseUse> database_uses;       // components taken from the database, in case order
};

// Loads and validates a case; throws CaseError on any fault, computing nothing.
Case load_case_file(const std::string &path);
Case parse_case(std::string_view json_text, std::string_view origin = "<string>");

// A temperature or pressure written with its unit, in the units case files
// accept ("25 degC", "25 °C", "298.15 K"; "1 bar", "101.325 kPa", "0.1 MPa");
// a bare number is in K or Pa. Returns K or Pa; throws std::invalid_argument
// for a missing number or an unknown unit.
double temperature_from_text(std::string_view text);
double pressure_from_text(std::string_view text);

// A host parameter's unit as case files write it ("K", "A", "kg/m3"; empty when
// dimensionless), and its column label ("PCSFTU / K", "SLRSTR / (kg/m3)", "PCSFTM").
std::string parameter_unit(std::string_view name);
std::string parameter_label(std::string_view name);

// A model family as the tools see it. Each family's entry lives in its own
// file under cases/models/ and is listed once in the registry.
struct ModelEntry;
// A property monitor with the common 27-argument list (T, P, Z, N, IDX, KWORK,
// KSPARE, KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG, PHI, H, S, G, V, DPHI, DH,
// DS, DG, DV, KSTAT, KOPT), every argument by pointer.
using Monitor27Routine = void (*)(const double *, const double *, const double *, const std::int64_t *,
                                  const std::int64_t *, const std::int64_t *, const std::int64_t *,
                                  const std::int64_t *, const std::int64_t *, const std::int64_t *,
                                  const std::int64_t *, const std::int64_t *, const std::int64_t *,
                                  const std::int64_t *, const std::int64_t *, double *, double *, double *,
                                  double *, double *, double *, double *, double *, double *, double *,
                                  std::int64_t *, const std::int64_t *);
// Calls the family's monitor for one state on the installed host. `result`
// arrives with every output NaN (one slot per listed component) and status 1;
// the function writes what the monitor returned.
using StateEvaluator = void (*)(ReferenceHost &host, const StateRequest &state, StateResult &result);
// The same call with the monitor's work area at KWORK = `kwork` (a multiple of
// the size ReferenceHost::reserve_work_areas returns; `evaluate` is the call
// at 0). Calls from several threads at once, each with a work area of its
// own, give what one call after another gives.
using StateEvaluatorInWorkArea = void (*)(ReferenceHost &host, const StateRequest &state, StateResult &result,
                                          std::int64_t kwork);
struct ModelEntry {
    std::string_view name;         // "sanchez-lacombe"
    std::string_view description;  // one line for --help
    StateEvaluator evaluate;
    void (*initialise)(const std::int64_t *);  // may be null
    std::vector<std::string_view> parameters;  // parameter names the family reads
    // False when the monitor returns no temperature derivatives on its model
    // path: the tools then say so instead of showing derivative columns.
    bool temperature_derivatives = true;
    // True when a state of this family needs parameters of the family in its
    // data set (case files refuse a state without them); false for a family
    // whose initialisation or monitor supplies values of its own (the
    // Sanchez-Lacombe nominal values).
    bool needs_parameters = false;
    // The family's exported monitor when it takes the common 27 arguments,
    // for callers that call it many times in a row (the phase-equilibrium
    // layer); null for the others, which are reached through `evaluate`.
    // The contract a family fills is in cases/models/models.h.
    Monitor27Routine monitor27 = nullptr;
    // `evaluate` in a work area of the caller's choice, for callers that
    // spread states over threads (evaluate_many); null: the family is called
    // one state at a time through `evaluate`.
    StateEvaluatorInWorkArea evaluate_in_work_area = nullptr;
    // True when the call for `state` would complete missing values in the
    // host on first use (the cubic's critical constants of a component in a
    // data set, with their messages), so that it must run alone in its place
    // of a sequence for later calls to see what one after another would see.
    // Null: the family's calls leave nothing behind that another call reads.
    bool (*completes_on_first_use)(const ReferenceHost &host, const StateRequest &state) = nullptr;
};
const std::vector<ModelEntry> &models();
const ModelEntry *find_model(std::string_view name);

// Runs the model's initialisation routine on the host (installing it), with
// its messages captured; returns the message lines.
std::vector<std::string> initialise_model(ReferenceHost &host, const ModelEntry &model);

// Evaluates one state on the host (installing it), as a simulator would call
// the monitor; the host's messages of the call are returned with the result.
// Outputs that the state's flags do not ask for are NaN. Throws
// std::invalid_argument for a state the host cannot take (unknown model,
// component or data set out of range, Z and IDX of different lengths).
// Messages are captured: the host is left capturing, with no lines kept.
StateResult evaluate(ReferenceHost &host, const StateRequest &state);

// The models a case needs initialised: those its states use, then the other
// families it gives parameters for, each once, in order of first use.
std::vector<std::string> models_used(const Case &c);

struct ModelInitialisation {
    std::string model;
    std::vector<std::string> messages;
};
// Runs initialise_model for every model of models_used(c), as a simulator
// does once before its property calls.
std::vector<ModelInitialisation> initialise_case(Case &c);

// The Helmholtz-energy model of family `family` ("pcsaft", ...) for the
// components `ids` (every component but the segments when empty), from data
// set `data_set` of the case, as that family's monitor reads the case's host
// (its initialisation routine run first). `option` is the monitors' KOPT;
// `settings` those of the call that shape the residual (the cubic's mixing
// rule, excess-Gibbs model and alpha; the associating PC-SAFT's association
// option). Throws std::invalid_argument naming what is wrong (an unknown
// component or family, a missing parameter, a setting the model cannot follow).
Model model_from_case(Case &c, std::string_view family, std::int64_t data_set = 1,
                      const std::vector<std::string> &ids = {}, std::int64_t option = 0,
                      const ModelSettings &settings = {});
// The model of a state's call: its family, data set, components, KOPT and settings.
Model model_from_case(Case &c, const StateRequest &state);
// The settings of a state's call.
ModelSettings settings_of(const StateRequest &state);

// A state whose model lacks a parameter, found by missing_parameters(): its
// position in Case::states, the monitor's lines naming what is missing
// ("PCSFTV (DATA SET 1) MISSING FOR COMPONENT TOLUENE"), and whether the
// model refused the state (status 0) or went on with defaults of its own (the
// cubic model's, SAFT's).
struct ParameterFault {
    std::size_t state = 0;
    std::string message;
    bool refused = true;
};
// The message lines of a call that name a missing parameter, joined with
// "; " and blanks collapsed; empty when there are none.
std::string missing_parameter_lines(const StateResult &result);
// Initialises the case's models (as initialise_case) and evaluates every
// state for ln phi alone: the states whose model lacks a parameter.
std::vector<ParameterFault> missing_parameters(Case &c);

// Many states on one host, spread over threads. The results come back in the
// order of `states` and equal, bit for bit, those of evaluate() called on each
// state in turn, messages included. Every family that gives
// ModelEntry::evaluate_in_work_area (all registered ones) is called from
// `workers` threads at once, each with a work area of its own (the host's work
// block grows to hold them); a state whose call completes missing values on
// first use (ModelEntry::completes_on_first_use) runs alone beforehand, in
// order. Binary parameters that follow temperature tables are written for each
// temperature before the states at that temperature run, so states at many
// temperatures run concurrently only when no table depends on T. Holds the
// case layer's lock for the whole batch; throws like evaluate() before
// computing anything.
struct ManyOptions {
    unsigned workers = 1;  // threads; 0: one per hardware thread
    // Called on the calling thread with the number of states done so far, at
    // most every tenth of a second while the batch runs, and once at its end.
    std::function<void(std::size_t done)> progress;
};
std::vector<StateResult> evaluate_many(ReferenceHost &host, const std::vector<StateRequest> &states,
                                       const ManyOptions &options = {});

// Whether a request flag asks for the value / the temperature derivative.
constexpr bool wants_value(std::int64_t flag) {
    return (flag & ~std::int64_t{2}) == 1;
}
constexpr bool wants_derivative(std::int64_t flag) {
    return flag > 1;
}

}  // namespace keld::refhost
