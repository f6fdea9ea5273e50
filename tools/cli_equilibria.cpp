// The phase-equilibrium commands of keld (see cli_equilibria.h).
#include "cli_equilibria.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "cli_envelope.h"
#include "cli_help.h"
#include "cli_plot.h"
#include "cli_point.h"
#include "cli_progress.h"
#include "cli_table.h"
#include "cli_ternary.h"
#include "cli_threephase.h"
#include "quantity_names.h"
#include "keld/case.h"
#include "keld/equilibria/activity.h"
#include "keld/equilibria/bubble_dew.h"
#include "keld/equilibria/critical.h"
#include "keld/equilibria/flash.h"
#include "keld/equilibria/lle.h"
#include "keld/equilibria/saturation.h"

namespace keld::cli {
namespace {

namespace eq = keld::equilibria;
constexpr double nan = eq::not_a_number;
constexpr int exit_ok = 0, exit_invalid = 1, exit_no_solution = 2;

using Options = std::map<std::string, std::string>;

// A value "X" or an evenly spaced range "FROM:TO:COUNT".
std::vector<double> parse_values(const std::string &option, const std::string &text, bool positive = true) {
    auto number = [&](const std::string &s) {
        // A temperature or pressure may carry its unit: "25 degC", "1 bar".
        if (option == "T") return temperature_option(s);
        if (option == "P") return pressure_option(s);
        char *end = nullptr;
        const double v = std::strtod(s.c_str(), &end);
        if (s.empty() || *end != '\0' || !std::isfinite(v) || (positive && !(v > 0.0)) ||
            (!positive && v < 0.0))
            throw CommandLineError("--" + option + " needs a " + (positive ? "positive " : "") +
                                   "number or FROM:TO:COUNT, not '" + text + "'");
        return v;
    };
    const std::size_t a = text.find(':');
    if (a == std::string::npos) return {number(text)};
    const std::size_t b = text.find(':', a + 1);
    if (b == std::string::npos)
        throw CommandLineError("--" + option + " needs FROM:TO:COUNT, not '" + text + "'");
    const double from = number(text.substr(0, a)), to = number(text.substr(a + 1, b - a - 1));
    char *end = nullptr;
    const std::string count_text = text.substr(b + 1);
    const long count = std::strtol(count_text.c_str(), &end, 10);
    if (count_text.empty() || *end != '\0' || count < 1 || count > 100000)
        throw CommandLineError("--" + option + " needs a COUNT from 1 to 100000, not '" + text + "'");
    std::vector<double> values;
    for (long k = 0; k < count; ++k)
        values.push_back(
            count == 1 ? from : from + (to - from) * static_cast<double>(k) / static_cast<double>(count - 1));
    return values;
}

bool has(const Options &o, const std::string &name) {
    return o.count(name) != 0;
}

// The case, the state that supplies defaults, the model and the components.
struct Setup {
    refhost::Case c;
    const refhost::StateRequest *state = nullptr;
    std::string model;
    std::vector<std::int64_t> components;
    std::vector<double> apparent;  // the state's apparent mole fractions (empty without a state)
};

Setup open_case(const std::string &command, const std::vector<std::string> &positional, const Options &o) {
    if (positional.size() != 1) throw CommandLineError("expected one case file");
    Setup s;
    s.c = refhost::load_case_file(positional.front());
    refhost::initialise_case(s.c);
    if (has(o, "state")) {
        char *end = nullptr;
        const long n = std::strtol(o.at("state").c_str(), &end, 10);
        if (*end != '\0' || n < 1 || static_cast<std::size_t>(n) > s.c.states.size())
            throw CommandLineError("--state needs a state number from 1 to " +
                                   std::to_string(s.c.states.size()));
        s.state = &s.c.states[static_cast<std::size_t>(n - 1)];
    } else if (!s.c.states.empty()) {
        s.state = &s.c.states.front();
    }
    if (has(o, "model")) {
        s.model = o.at("model");
    } else if (s.state != nullptr) {
        s.model = s.state->model;
    } else if (s.c.parameter_families.size() == 1) {
        s.model = s.c.parameter_families.front();
    } else {
        throw CommandLineError("the case has no state naming the model: give --model");
    }
    if (refhost::find_model(s.model) == nullptr) throw CommandLineError("unknown model '" + s.model + "'");
    if (s.state != nullptr) {
        s.components = s.state->components;
        s.apparent = s.state->z;
    } else {
        for (std::int64_t i = 1; i <= s.c.host->component_count(); ++i)
            if (s.c.host->kind(i) != refhost::ComponentKind::segment) s.components.push_back(i);
    }
    if (has(o, "z") || has(o, "basis")) {
        Composition z = composition_option(s.c, o);
        if (s.state != nullptr) {
            auto &state = s.c.states[static_cast<std::size_t>(s.state - s.c.states.data())];
            state.components = z.components;
            state.z = z.z;
        }
        s.components = std::move(z.components);
        s.apparent = std::move(z.z);
    }
    (void)command;
    return s;
}

// The state's data set, option and family settings for the monitor calls.
eq::SystemOptions options_of(const Setup &s) {
    eq::SystemOptions o;
    if (s.state != nullptr) {
        o.data_set = s.state->data_set;
        o.option = s.state->option;
        o.settings = *s.state;
    }
    return o;
}

double state_temperature(const Setup &s) {
    if (s.state == nullptr) throw CommandLineError("the case has no state: give --T");
    return s.state->temperature;
}

double state_pressure(const Setup &s) {
    if (s.state == nullptr) throw CommandLineError("the case has no state: give --P");
    return s.state->pressure;
}

std::vector<double> state_mole_fractions(const Setup &s, eq::System &system) {
    if (s.apparent.size() != system.size())
        throw CommandLineError("the case has no state with a composition");
    std::vector<double> x(system.size());
    system.mole_from_apparent(s.apparent.data(), x.data());
    return x;
}

std::size_t component_option(const eq::System &system, const Options &o, const std::string &name,
                             bool volatile_default) {
    if (has(o, name)) {
        const std::size_t k = system.index_of(o.at(name));
        if (k == system.size())
            throw CommandLineError("--" + name + ": no component '" + o.at(name) + "' in the state");
        return k;
    }
    for (std::size_t k = 0; k < system.size(); ++k)
        if (!volatile_default || system.component(k).is_volatile) return k;
    throw CommandLineError("the state lists no volatile component");
}

TableRow row_of(const eq::Outcome &o, std::vector<double> values) {
    TableRow r;
    r.values = std::move(values);
    r.status = std::string(eq::to_string(o.status));
    if (!o.ok()) r.message = o.message;
    return r;
}

std::string number_text(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return buffer;
}

// --- sat -------------------------------------------------------------------

void run_sat(Setup &s, const Options &o, Table &t, PlotSpec &plot) {
    eq::System probe(s.c, s.model, s.components, options_of(s));
    const std::size_t k = component_option(probe, o, "component", true);
    eq::System system(s.c, s.model, {probe.component(k).number}, options_of(s));
    const double mw = system.component(0).mwn;
    t.title = "Vapour pressure of " + system.component(0).id;
    t.columns = {label("T"),          label("P"),      label("rho_mass_liquid"), label("rho_mass_vapour"),
                 label("dH_vap"),     label("Z_liquid"), label("Z_vapour")};
    std::vector<eq::SaturationResult> points;
    eq::CriticalEstimate critical;
    bool critical_solved = false;
    if (has(o, "P")) {
        if (has(o, "T")) throw CommandLineError("give --T or --P, not both");
        const std::vector<double> ps = parse_values("P", o.at("P"));
        Progress progress("sat", ps.size());
        eq::SaturationGuess guess;
        for (double p : ps) {
            points.push_back(eq::saturation_temperature(system, 0, p, guess));
            if (points.back().status == eq::Status::converged)
                guess = {nan, points.back().t, points.back().v_liquid, points.back().v_vapour};
            progress.step();
        }
    } else {
        std::vector<double> ts;
        if (has(o, "T")) ts = parse_values("T", o.at("T"));
        int count = 30;
        if (has(o, "points")) count = static_cast<int>(parse_values("points", o.at("points")).front());
        eq::VapourPressureCurve curve;
        if (ts.size() == 1) {
            curve.points.push_back(eq::saturation_pressure(system, 0, ts.front()));
        } else if (ts.empty()) {
            curve = eq::vapour_pressure_curve(system, 0, state_temperature(s), nan, count);
        } else {
            curve = eq::vapour_pressure_curve(system, 0, ts.front(), ts.back(), static_cast<int>(ts.size()));
        }
        points = curve.points;
        critical = curve.critical;
        critical_solved = curve.critical_solved;
    }
    PlotSeries model{model_display_name(s.model), {}, {}, "computed", "C0"};
    for (const eq::SaturationResult &r : points) {
        t.rows.push_back(row_of(r, {r.t, r.p, mw / r.v_liquid, mw / r.v_vapour, r.h_vaporisation,
                                    r.z_liquid, r.z_vapour}));
        if (r.status == eq::Status::converged) {
            model.x.push_back(r.t);
            model.y.push_back(r.p);
            if (!r.message.empty()) t.rows.back().message = r.message;
        }
    }
    const bool on_model = std::any_of(points.begin(), points.end(), [](const eq::SaturationResult &r) {
        return r.solver == eq::SaturationSolver::model;
    });
    t.notes.push_back(on_model ? "solved on the model's Helmholtz energy in density variables"
                               : "solved through the monitors' (T, P) calls");
    if (critical.found) {
        t.notes.push_back(std::string("critical point of the model (") +
                          (critical_solved ? "solved: dP/drho = d2P/drho2 = 0" : "estimated from the end of the curve") +
                          "): T_c = " +
                          number_text(critical.t) + " K, P_c = " + number_text(critical.p) +
                          " Pa, rho_c = " + number_text(mw / critical.v) + " kg/m3, V_c = " +
                          number_text(critical.v) + " m3/kmol");
        t.extra["critical"] = {{label("T"), critical.t},
                               {label("P"), critical.p},
                               {label("V_molecules"), critical.v},
                               {label("rho_mass"), mw / critical.v}};
    }
    plot.title = "Vapour pressure of " + system.component(0).id + " (" + model_display_name(s.model) + ")";
    plot.x_label = "T / K";
    plot.y_label = "P_sat";
    plot.pressure_axis = 'y';
    plot.log_y = true;
    plot.series.push_back(model);
    if (critical.found)
        plot.series.push_back({"critical point (model)", {critical.t}, {critical.p}, "marker", "C3"});
}

// --- critical --------------------------------------------------------------

// A pressure unit that suits the largest pressure shown: Pa, kPa or MPa.
std::pair<std::string, double> pressure_unit(double largest) {
    if (largest >= 1e6) return {"MPa", 1e6};
    if (largest >= 1e3) return {"kPa", 1e3};
    return {"Pa", 1.0};
}

struct CriticalRow {
    std::string label;
    eq::Outcome outcome;
    double t = nan, p = nan, rho = nan;
};

void run_critical(Setup &s, const Options &o, Table &t) {
    eq::System system(s.c, s.model, s.components, options_of(s));
    std::vector<CriticalRow> rows;
    auto pure_row = [&](std::size_t k) {
        CriticalRow row{system.component(k).id, {}, nan, nan, nan};
        const eq::PureModel &pm = system.pure_model(k);
        if (pm.model == nullptr) {
            row.outcome.status = eq::Status::invalid_input;
            row.outcome.message = "no model of this family: " + pm.refusal;
        } else if (!system.component(k).is_volatile) {
            row.outcome.status = eq::Status::invalid_input;
            row.outcome.message = system.component(k).id + " is not volatile: no vapour-liquid critical point";
        } else {
            row.outcome = pm.critical;
            if (pm.critical.ok()) {
                row.t = pm.critical.t;
                row.p = pm.critical.p;
                row.rho = pm.critical.rho;
            }
        }
        rows.push_back(std::move(row));
    };
    if (has(o, "component")) {
        pure_row(component_option(system, o, "component", false));
    } else {
        for (std::size_t k = 0; k < system.size(); ++k)
            if (system.component(k).is_volatile) pure_row(k);
    }
    if (!has(o, "component") && system.size() > 1) {
        std::vector<std::string> ids;
        for (std::size_t k = 0; k < system.size(); ++k) ids.push_back(system.component(k).id);
        const std::vector<double> x = state_mole_fractions(s, system);
        eq::CriticalStart start;
        if (has(o, "T")) start.t = parse_values("T", o.at("T")).front();
        if (has(o, "V")) start.v = parse_values("V", o.at("V")).front();
        if (std::isfinite(start.t) != std::isfinite(start.v))
            throw CommandLineError("a start for the mixture needs both --T and --V");
        CriticalRow row{"mixture", {}, nan, nan, nan};
        try {
            const Model m = refhost::model_from_case(s.c, s.model, system.options().data_set, ids,
                                                     system.options().option, refhost::settings_of(*s.state));
            const eq::MixtureCritical c = eq::mixture_critical_point(m, x, start);
            row.outcome = c;
            row.t = c.t;
            row.p = c.p;
            row.rho = c.rho;
            std::string composition;
            for (std::size_t k = 0; k < ids.size(); ++k)
                composition += (k ? ", " : "") + ids[k] + " " + number_text(x[k]);
            t.notes.push_back("mixture at the state's mole fractions (molecules): " + composition);
        } catch (const std::invalid_argument &e) {
            row.outcome.status = eq::Status::invalid_input;
            row.outcome.message = std::string("no model of the mixture: ") + e.what();
        }
        rows.push_back(std::move(row));
    }
    double largest = 0.0;
    for (const CriticalRow &r : rows)
        if (std::isfinite(r.p)) largest = std::max(largest, r.p);
    const auto [unit, scale] = pressure_unit(largest);
    t.title = "Critical points on the model (" + model_display_name(s.model) + ")";
    t.label_column = "fluid";
    t.columns = {label("T"), label_in("T", "degC"), label_in("P", unit), label("rho"), label("V_molecules")};
    nlohmann::json points = nlohmann::json::array();
    for (const CriticalRow &r : rows) {
        TableRow row = row_of(r.outcome, {r.t, r.t - 273.15, r.p / scale, r.rho, 1.0 / r.rho});
        row.label = r.label;
        t.rows.push_back(row);
        if (r.outcome.ok()) points.push_back({{"fluid", r.label}, {label("T"), r.t}, {label("P"), r.p}, {label("rho"), r.rho}});
    }
    t.extra["critical"] = points;
    t.notes.push_back("pure fluids: dP/drho = d2P/drho2 = 0; mixtures: the Heidemann-Khalil criteria (exact derivatives)");
}

// --- activity --------------------------------------------------------------

void run_activity(Setup &s, const Options &o, Table &t, PlotSpec &plot) {
    eq::System system(s.c, s.model, s.components, options_of(s));
    if (system.all_volatile())
        throw CommandLineError("the state lists no polymer (no non-volatile component)");
    const std::size_t solvent = component_option(system, o, "solvent", true);
    if (!system.component(solvent).is_volatile)
        throw CommandLineError("--solvent must name a volatile component");
    const double t_k = has(o, "T") ? parse_values("T", o.at("T")).front() : state_temperature(s);
    const std::size_t n = system.size();
    std::vector<double> x0 = state_mole_fractions(s, system), w0(n);
    system.mass_from_mole(x0.data(), w0.data());
    eq::SolventActivity isotherm(system, t_k);
    const std::string id = system.component(solvent).id;
    t.title = "Solvent activity over the solution at T = " + number_text(t_k) + " K";
    for (std::size_t k = 0; k < n; ++k) t.columns.push_back(label("w", system.component(k).id));
    t.columns.push_back(label("P"));
    for (std::size_t k : system.volatile_indices()) {
        const std::string c = system.component(k).id;
        t.columns.insert(t.columns.end(), {label("p", c), label("a", c), label("Omega", c)});
    }
    std::vector<eq::ActivityResult> results;
    if (has(o, "p")) {
        if (has(o, "w")) throw CommandLineError("give --w or --p, not both");
        const std::vector<double> ps = parse_values("p", o.at("p"));
        Progress progress("activity", ps.size());
        for (double p : ps) {
            std::vector<double> partial(n, 0.0);
            partial[solvent] = p;
            results.push_back(isotherm.sorption(partial, w0));
            progress.step();
        }
    } else {
        std::vector<double> ws;
        if (has(o, "w")) ws = parse_values("w", o.at("w"), false);
        if (ws.empty()) ws.push_back(w0[solvent]);
        Progress progress("activity", ws.size());
        for (double v : ws) {
            if (v >= 1.0) throw CommandLineError("--w: a solvent weight fraction below 1 is needed");
            std::vector<double> w(n);
            const double rest = 1.0 - w0[solvent];
            for (std::size_t k = 0; k < n; ++k)
                w[k] = k == solvent ? v : (rest > 0.0 ? w0[k] / rest * (1.0 - v) : 0.0);
            if (rest <= 0.0) throw CommandLineError("the state holds no polymer to dilute");
            results.push_back(isotherm.at(w));
            progress.step();
        }
    }
    PlotSeries model{model_display_name(s.model), {}, {}, "computed", "C0"};
    for (const eq::ActivityResult &r : results) {
        std::vector<double> values(n, nan);
        if (r.ok()) values = r.w;
        values.push_back(r.p);
        for (std::size_t k : system.volatile_indices()) {
            if (r.ok()) {
                values.insert(values.end(),
                              {r.partial_pressure[k], r.activity[k], r.weight_activity_coefficient[k]});
            } else {
                values.insert(values.end(), {nan, nan, nan});
            }
        }
        t.rows.push_back(row_of(r, values));
        if (r.ok()) {
            model.x.push_back(r.w[solvent]);
            model.y.push_back(r.activity[solvent]);
        }
    }
    for (std::size_t k : system.volatile_indices()) {
        const eq::SaturationResult &sat = isotherm.saturation()[k];
        t.notes.push_back("vapour pressure of " + system.component(k).id + " at T: " +
                          (sat.status == eq::Status::converged ? number_text(sat.p) + " Pa"
                                                               : "none (" + sat.message + ")"));
    }
    plot.title = "Activity of " + id + " at " + number_text(t_k) + " K (" + model_display_name(s.model) + ")";
    plot.x_label = "weight fraction of " + id + " / (kg/kg)";
    plot.y_label = "activity of " + id;
    plot.series.push_back(model);
}

// --- bubble and dew ----------------------------------------------------------

void run_bubble_dew(bool bubble, Setup &s, const Options &o, Table &t, PlotSpec &plot) {
    eq::System system(s.c, s.model, s.components, options_of(s));
    const std::size_t n = system.size();
    const std::vector<double> base = state_mole_fractions(s, system);
    const bool at_pressure = has(o, "P") && !has(o, "T");
    const double spec = at_pressure
                            ? parse_values("P", o.at("P")).front()
                            : (has(o, "T") ? parse_values("T", o.at("T")).front() : state_temperature(s));
    std::vector<double> sweep;
    const std::string sweep_option = bubble ? "x" : "y";
    if (has(o, sweep_option)) {
        // Over one component every composition but x = 1 is no mixture at all: say so once.
        if (n < 2) {
            throw CommandLineError(std::string("a ") + (bubble ? "bubble" : "dew") + " curve over --" + sweep_option +
                                   " needs two components; the state lists only " + system.component(0).id +
                                   ": choose a mixture's state with --state N, or give one with --z ID=VALUE,...");
        }
        sweep = parse_values(sweep_option, o.at(sweep_option), false);
    }
    const std::string what = bubble ? "Bubble" : "Dew";
    t.title = what + (at_pressure ? " temperature at P = " + number_text(spec) + " Pa"
                                  : " pressure at T = " + number_text(spec) + " K");
    t.columns = {label("T"), label("P")};
    for (std::size_t k = 0; k < n; ++k) t.columns.push_back(label("x", system.component(k).id));
    for (std::size_t k = 0; k < n; ++k) t.columns.push_back(label("y", system.component(k).id));
    std::vector<std::vector<double>> compositions;
    if (sweep.empty()) {
        compositions.push_back(base);
    } else {
        const double rest = 1.0 - base[0];
        for (double v : sweep) {
            if (v > 1.0)
                throw CommandLineError("--" + sweep_option + ": a mole fraction from 0 to 1 is needed");
            std::vector<double> z(n);
            for (std::size_t k = 0; k < n; ++k)
                z[k] = k == 0 ? v
                              : (rest > 0.0 ? base[k] / rest * (1.0 - v)
                                            : 1.0 / static_cast<double>(n - 1) * (1.0 - v));
            compositions.push_back(z);
        }
    }
    Progress progress(bubble ? "bubble" : "dew", compositions.size());
    eq::BubbleDewGuess guess;
    PlotSeries liquid_line{"bubble line (liquid)", {}, {}, "computed", "C0"},
        vapour_line{"dew line (vapour)", {}, {}, "computed", "C1"};
    for (const std::vector<double> &z : compositions) {
        const eq::BubbleDewResult r = bubble ? (at_pressure ? eq::bubble_temperature(system, spec, z, guess)
                                                            : eq::bubble_pressure(system, spec, z, guess))
                                             : (at_pressure ? eq::dew_temperature(system, spec, z, guess)
                                                            : eq::dew_pressure(system, spec, z, guess));
        std::vector<double> values{r.t, r.p};
        for (std::size_t k = 0; k < n; ++k) values.push_back(r.ok() ? r.x[k] : (bubble ? z[k] : nan));
        for (std::size_t k = 0; k < n; ++k) values.push_back(r.ok() ? r.y[k] : (bubble ? nan : z[k]));
        t.rows.push_back(row_of(r, values));
        if (r.ok()) {
            guess.t = r.t;
            guess.p = r.p;
            guess.incipient = bubble ? r.y : r.x;
            const double level = at_pressure ? r.t : r.p;
            liquid_line.x.push_back(r.x[0]);
            liquid_line.y.push_back(level);
            vapour_line.x.push_back(r.y[0]);
            vapour_line.y.push_back(level);
        } else {
            guess = {};
        }
        progress.step();
    }
    const auto scale = pressure_scale(spec);
    std::string mixture;
    for (std::size_t k = 0; k < n; ++k) mixture += (k ? " + " : "") + system.component(k).id;
    plot.title = what + " points of " + mixture + ", " +
                 (at_pressure ? "P = " + number_text(spec / scale.factor) + " " + scale.unit
                              : "T = " + number_text(spec) + " K") +
                 " (" + model_display_name(s.model) + ")";
    plot.x_label = "mole fraction of " + system.component(0).id + " / (mol/mol)";
    plot.y_label = at_pressure ? "T / K" : "P";
    if (!at_pressure) plot.pressure_axis = 'y';
    plot.series = {liquid_line, vapour_line};
}

// --- flash -----------------------------------------------------------------

// m3 per kmol counted as the host counts: a molecule of component i is
// mwn_i / mw_i apparent kmol (its chain length in repeat units for a polymer).
double apparent_volume(const eq::System &system, const eq::FlashPhase &ph) {
    double apparent_per_molecule = 0.0;
    for (std::size_t k = 0; k < system.size(); ++k)
        apparent_per_molecule += ph.x[k] * system.component(k).mwn / system.component(k).mw;
    return ph.v / apparent_per_molecule;
}

void run_flash(Setup &s, const Options &o, Table &t) {
    eq::System system(s.c, s.model, s.components, options_of(s));
    const std::size_t n = system.size();
    const double t_k = has(o, "T") ? parse_values("T", o.at("T")).front() : state_temperature(s);
    const double p = has(o, "P") ? parse_values("P", o.at("P")).front() : state_pressure(s);
    const std::vector<double> z = state_mole_fractions(s, system);
    if (has(o, "phases")) {
        // On the model's Helmholtz energy, a third phase found by a second stability test.
        const std::string &phases = o.at("phases");
        if (phases != "2" && phases != "3") throw CommandLineError("--phases takes 2 or 3, not '" + phases + "'");
        std::vector<std::string> ids;
        for (std::size_t k = 0; k < n; ++k) ids.push_back(system.component(k).id);
        Model m = [&] {
            try {
                return refhost::model_from_case(s.c, s.model, s.state->data_set, ids, s.state->option,
                                                refhost::settings_of(*s.state));
            } catch (const std::invalid_argument &e) {
                throw CommandLineError(std::string("--phases: no model of the mixture: ") + e.what());
            }
        }();
        flash_on_model_table(m, ids, t_k, p, z, phases == "3" ? 3 : 2, t);
        return;
    }
    const eq::FlashResult r = eq::flash(system, t_k, p, z);
    t.title = "Flash at T = " + number_text(t_k) + " K, P = " + number_text(p) + " Pa";
    t.label_column = "phase";
    // V as the monitors count it (a polymer in repeat units, as eval shows), then per kmol of molecules.
    t.columns = {label("fraction"), label("mass_fraction"), label("V_apparent"), label("V_molecules")};
    for (std::size_t k = 0; k < n; ++k) t.columns.push_back(label("x", system.component(k).id));
    for (std::size_t k = 0; k < n; ++k) t.columns.push_back(label("w", system.component(k).id));
    if (r.phases.empty()) {
        TableRow row = row_of(r, std::vector<double>(t.columns.size(), nan));
        row.label = "-";
        t.rows.push_back(row);
    }
    int liquids = 0;
    for (const eq::FlashPhase &ph : r.phases) liquids += ph.kind == eq::PhaseKind::liquid;
    int liquid_number = 0;
    for (const eq::FlashPhase &ph : r.phases) {
        std::vector<double> values{ph.fraction, ph.mass_fraction, apparent_volume(system, ph), ph.v};
        values.insert(values.end(), ph.x.begin(), ph.x.end());
        values.insert(values.end(), ph.w.begin(), ph.w.end());
        TableRow row = row_of(r, values);
        row.label = ph.kind == eq::PhaseKind::vapour
                        ? "vapour"
                        : (liquids > 1 ? "liquid " + std::to_string(++liquid_number) : "liquid");
        if (r.status == eq::Status::single_phase) row.message = r.message;
        t.rows.push_back(row);
    }
    if (r.stability.status == eq::Status::converged)
        t.notes.push_back("stability test: tangent-plane distance " +
                          number_text(r.stability.tangent_plane_distance) +
                          (r.stability.stable ? " (stable)" : " (unstable)"));
}

// --- lle -------------------------------------------------------------------

// Over a range of temperatures on a system with a model: the curves traced
// from the critical points (the plot draws these rather than the table's rows).
eq::LleTrace trace_of(eq::System &system, double p, const std::vector<double> &ts) {
    if (ts.size() < 2 || !(ts.back() > ts.front()) || system.mixture_model().model == nullptr) return {};
    return eq::trace_lle(system, p, ts.front(), ts.back());
}

void add_traced_curves(const eq::LleTrace &traced, PlotSpec &plot, PlotSeries &marks) {
    marks.x.clear();
    marks.y.clear();
    PlotSeries binodal{"binodal (cloud points)", {}, {}, "line", "C0"};
    PlotSeries spinodal{"spinodal", {}, {}, "dashed", "C1"};
    for (const eq::LleBranch &b : traced.branches) {
        // The binodal as one line: the lean side in to the critical point, the rich side out.
        PlotSeries bin = binodal, sp = spinodal;
        for (std::size_t k = b.t.size(); k-- > 1;) {
            bin.x.push_back(b.w_lean[k]);
            bin.y.push_back(b.t[k]);
        }
        for (std::size_t k = 0; k < b.t.size(); ++k) {
            bin.x.push_back(b.w_rich[k]);
            bin.y.push_back(b.t[k]);
        }
        sp.x = b.spinodal_w;
        sp.y = b.spinodal_t;
        plot.series.push_back(bin);
        plot.series.push_back(sp);
        binodal.label.clear();
        spinodal.label.clear();
        marks.x.push_back(b.critical.w);
        marks.y.push_back(b.critical.t);
    }
}

nlohmann::json traced_json(const eq::LleTrace &traced) {
    nlohmann::json branches = nlohmann::json::array();
    for (const eq::LleBranch &b : traced.branches) {
        branches.push_back({{"kind", b.critical.kind == eq::CriticalKind::upper ? "UCST" : "LCST"},
                            {label("T"), b.t},
                            {"w_lean", b.w_lean},
                            {"w_rich", b.w_rich},
                            {"spinodal " + label("T"), b.spinodal_t},
                            {"spinodal w", b.spinodal_w},
                            {"status", std::string(eq::to_string(b.status))},
                            {"message", b.message}});
    }
    return branches;
}

void run_lle(Setup &s, const Options &o, Table &t, PlotSpec &plot) {
    eq::System system(s.c, s.model, s.components, options_of(s));
    if (system.size() != 2)
        throw CommandLineError("lle needs a state with two components (a solvent and a polymer)");
    const double p = has(o, "P") ? parse_values("P", o.at("P")).front() : state_pressure(s);
    const std::vector<double> ts =
        has(o, "T") ? parse_values("T", o.at("T")) : std::vector<double>{state_temperature(s)};
    const std::string id = system.component(1).id;
    t.title = "Liquid-liquid demixing at P = " + number_text(p) + " Pa (w: weight fraction of " + id + ")";
    t.columns = {label("T"), label("w_lean"), label("w_rich"), label("w_spinodal_lean"), label("w_spinodal_rich")};
    std::vector<eq::BinodalResult> results;
    std::vector<eq::CriticalSolutionPoint> critical;
    {
        Progress progress("lle", ts.size());
        for (double tk : ts) {
            results.push_back(eq::binodal(system, tk, p));
            progress.step();
        }
    }
    for (std::size_t i = 0; i + 1 < ts.size(); ++i) {
        const bool a = results[i].spinodal.status == eq::Status::converged;
        const bool b = results[i + 1].spinodal.status == eq::Status::converged;
        const bool a_one = results[i].spinodal.status == eq::Status::supercritical;
        const bool b_one = results[i + 1].spinodal.status == eq::Status::supercritical;
        if ((a && b_one) || (a_one && b)) {
            const eq::CriticalResult c = eq::critical_solution_point(system, p, ts[i], ts[i + 1]);
            if (c.status == eq::Status::converged) critical.push_back(c.point);
        }
    }
    for (std::size_t i = 0; i < results.size(); ++i) {
        const eq::BinodalResult &r = results[i];
        const bool ok = r.status == eq::Status::converged;
        t.rows.push_back(row_of(r, {ts[i], ok ? r.lean.w[1] : nan, ok ? r.rich.w[1] : nan, r.spinodal.w_lean,
                                    r.spinodal.w_rich}));
    }
    // Each run of temperatures with two liquids becomes one closed curve:
    // the lean branch, the critical point where the run ends at one, the rich branch back.
    auto add_curves = [&](bool spinodal_curve) {
        std::size_t i = 0;
        bool first = true;
        while (i < results.size()) {
            auto split = [&](std::size_t k) {
                return spinodal_curve ? results[k].spinodal.status == eq::Status::converged
                                      : results[k].status == eq::Status::converged;
            };
            if (!split(i)) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < results.size() && split(j)) ++j;
            PlotSeries s{first ? (spinodal_curve ? "spinodal" : "binodal (cloud points)") : "",
                         {},
                         {},
                         spinodal_curve ? "dashed" : "line",
                         spinodal_curve ? "C1" : "C0"};
            first = false;
            auto lean = [&](std::size_t k) {
                return spinodal_curve ? results[k].spinodal.w_lean : results[k].lean.w[1];
            };
            auto rich = [&](std::size_t k) {
                return spinodal_curve ? results[k].spinodal.w_rich : results[k].rich.w[1];
            };
            for (std::size_t k = i; k < j; ++k) {
                s.x.push_back(lean(k));
                s.y.push_back(ts[k]);
            }
            for (const eq::CriticalSolutionPoint &c : critical) {
                if ((j < ts.size() && c.t > ts[j - 1] && c.t < ts[j]) ||
                    (i > 0 && c.t < ts[i] && c.t > ts[i - 1])) {
                    s.x.push_back(c.w);
                    s.y.push_back(c.t);
                }
            }
            for (std::size_t k = j; k-- > i;) {
                s.x.push_back(rich(k));
                s.y.push_back(ts[k]);
            }
            plot.series.push_back(s);
            i = j;
        }
    };
    nlohmann::json points = nlohmann::json::array();
    PlotSeries marks{"critical solution point", {}, {}, "marker", "C3"};
    for (const eq::CriticalSolutionPoint &c : critical) {
        const std::string kind = c.kind == eq::CriticalKind::upper ? "UCST" : "LCST";
        t.notes.push_back(kind + ": T = " + number_text(c.t) + " K at w = " + number_text(c.w));
        points.push_back({{"kind", kind}, {label("T"), c.t}, {"w", c.w}});
        marks.x.push_back(c.w);
        marks.y.push_back(c.t);
    }
    t.extra["critical"] = points;
    const auto scale = pressure_scale(p);
    plot.title = "Demixing of " + system.component(0).id + " + " + id + ", P = " + number_text(p / scale.factor) +
                 " " + scale.unit + " (" + model_display_name(s.model) + ")";
    plot.x_label = "weight fraction of " + id + " / (kg/kg)";
    plot.y_label = "T / K";
    plot.celsius_axis = 'y';
    const eq::LleTrace traced = trace_of(system, p, ts);
    if (traced.branches.empty()) {
        add_curves(false);
        add_curves(true);
    } else {
        add_traced_curves(traced, plot, marks);
        t.extra["traced"] = traced_json(traced);
        if (traced.status != eq::Status::converged) t.notes.push_back("traced curves: " + traced.message);
    }
    plot.series.push_back(marks);
}

// lle on three components: the ternary diagram at one T and P (cli_ternary.cpp).
int run_ternary(Setup &s, const eq::System &system, const Options &o) {
    const double p = has(o, "P") ? parse_values("P", o.at("P")).front() : state_pressure(s);
    const std::vector<double> ts =
        has(o, "T") ? parse_values("T", o.at("T")) : std::vector<double>{state_temperature(s)};
    if (ts.size() != 1) throw CommandLineError("a ternary diagram is drawn at one temperature: give --T T");
    std::vector<std::string> ids;
    for (std::size_t k = 0; k < system.size(); ++k) ids.push_back(system.component(k).id);
    Model m = [&] {
        try {
            return refhost::model_from_case(s.c, s.model, system.options().data_set, ids, system.options().option,
                                            s.state != nullptr ? refhost::settings_of(*s.state) : ModelSettings{});
        } catch (const std::invalid_argument &e) {
            throw CommandLineError(std::string("no model of the mixture: ") + e.what());
        }
    }();
    return run_ternary_lle({&m, ids, s.model, s.c.origin, ts.front(), p}, o);
}

}  // namespace

int run_equilibrium_command(const std::string &command, const std::vector<std::string> &positional,
                            const Options &o) {
    if (has(o, "json") && has(o, "csv")) throw CommandLineError("--json and --csv exclude each other");
    if (has(o, "data") && !has(o, "plot")) throw CommandLineError("--data goes with --plot");
    if (command == "critical" && has(o, "curve")) {
        for (const char *other : {"component", "T", "V", "data"})
            if (has(o, other)) throw CommandLineError(std::string("--curve takes no --") + other);
        return run_envelope_command(command, positional, o);
    }
    if (command == "critical" && has(o, "p-max")) throw CommandLineError("--p-max goes with --curve");
    if ((command == "flash" || command == "critical") && has(o, "plot"))
        throw CommandLineError(command + " draws no plot");
    Setup s = open_case(command, positional, o);
    if (command == "lle") {
        const eq::System system(s.c, s.model, s.components, options_of(s));
        if (system.size() == 3) return run_ternary(s, system, o);
    }
    Table t;
    PlotSpec plot;
    t.command = command;
    t.case_name = s.c.origin;
    t.model = s.model;
    if (command == "sat")
        run_sat(s, o, t, plot);
    else if (command == "activity")
        run_activity(s, o, t, plot);
    else if (command == "bubble")
        run_bubble_dew(true, s, o, t, plot);
    else if (command == "dew")
        run_bubble_dew(false, s, o, t, plot);
    else if (command == "flash")
        run_flash(s, o, t);
    else if (command == "critical")
        run_critical(s, o, t);
    else
        run_lle(s, o, t, plot);

    if (has(o, "json"))
        write_json(std::cout, t);
    else if (has(o, "csv"))
        write_csv(std::cout, t);
    else
        write_text(std::cout, t);
    std::cout.flush();
    if (has(o, "plot")) {
        if (has(o, "data")) plot.series.push_back(read_data_points(o.at("data")));
        draw_png(plot, o.at("plot"));
    }
    const bool invalid = std::any_of(t.rows.begin(), t.rows.end(), [](const TableRow &r) {
        // A wrong request or an incomplete case (a missing parameter) is the user's to mend.
        return r.status == eq::to_string(eq::Status::invalid_input) ||
               r.status == eq::to_string(eq::Status::missing_parameter);
    });
    return invalid ? exit_invalid : t.all_ok() ? exit_ok : exit_no_solution;
}

namespace {

// The options every equilibrium command takes after its own.
std::vector<OptionSpec> with_common_options(std::vector<OptionSpec> own) {
    const std::vector<OptionSpec> common{
        {"state", "N",
         "take the defaults (model, components, composition, T, P) from state N of the case (default: the "
         "first state)"},
        {"model", "NAME", "the model family (default: the state's)"},
        {"json", "",
         R"(one JSON document: {"command", "title", "case", "model", "columns", "rows", "notes", ...}; NaN values are null)"},
        {"csv", "", "one CSV row per point, a header line first, then the status and message of each point"},
        {"plot", "FILE",
         "also draw the curve into FILE (PNG) with matplotlib through /usr/bin/python3 (or $KELD_PYTHON); an "
         "error if it is missing"},
        {"data", "CSV",
         "with --plot: measured points to draw too (the first two numeric columns; a line \"# label: TEXT\" "
         "names them)"},
    };
    own.insert(own.end(), common.begin(), common.end());
    return own;
}

void add_one(Commands &commands, const std::string &name, const std::string &summary,
             std::vector<OptionSpec> own, bool composition = false) {
    if (composition) {
        const auto z = composition_options();
        own.insert(own.end(), z.begin(), z.end());
    }
    HelpText text = help_text(name);
    commands.add({name, summary, "CASE", text.description, with_common_options(std::move(own)), text.footer},
                 [](const Invocation &a) { return run_equilibrium_command(a.command, a.positional, a.options); });
}

}  // namespace

void add_equilibrium_commands(Commands &commands) {
    const OptionSpec t_point{"T", "T", "temperature in K, or with its unit: 25degC, \"25 °C\" (default: the state's)"};
    const OptionSpec p_point{"P", "P", "pressure in Pa, or with its unit: 1bar, \"101.325 kPa\", 2MPa (default: the state's)"};
    add_one(commands, "sat", "vapour pressure of a pure component, up to the critical point",
            {{"component", "ID", "the component (default: the state's first volatile one)"},
             {"T", "T|FROM:TO:COUNT", "temperature in K, or a range traced by continuation"},
             {"P", "P", "pressure in Pa: the boiling temperature there"},
             {"points", "N", "points from the state's temperature to the critical region (default 30)"}});
    add_one(commands, "activity", "solvent activity over a polymer solution, and the sorption isotherm",
            {{"solvent", "ID", "the solvent (default: the state's first volatile component)"},
             t_point,
             {"w", "FROM:TO:COUNT", "the solvent's weight fraction over a range"},
             {"p", "FROM:TO:COUNT", "the sorption isotherm: the solvent's partial pressure in Pa over a range"}},
            true);
    add_one(commands, "bubble", "bubble-point pressure or temperature (polymers stay in the liquid)",
            {{"T", "T", "temperature in K (or 25degC): the bubble pressure there (default: the state's T)"},
             {"P", "P", "pressure in Pa (or 1bar, 101.325kPa): the bubble temperature there"},
             {"x", "FROM:TO:COUNT", "the liquid mole fraction of the first listed component over a range"}},
            true);
    add_one(commands, "dew", "dew-point pressure or temperature",
            {{"T", "T", "temperature in K (or 25degC): the dew pressure there (default: the state's T)"},
             {"P", "P", "pressure in Pa (or 1bar, 101.325kPa): the dew temperature there"},
             {"y", "FROM:TO:COUNT", "the vapour mole fraction of the first listed component over a range"}},
            true);
    add_one(commands, "flash", "isothermal flash with a stability test (two phases; three with --phases 3)",
            {t_point, p_point,
             {"phases", "N",
              "2 or 3: the flash on the model's Helmholtz energy into up to N phases (a third found by a second "
              "stability test); without it, two phases through the monitors"}},
            true);
    std::vector<OptionSpec> lle_options{{"T", "T|FROM:TO:COUNT", "temperature in K, or a range (one T for three components)"},
                                        p_point};
    for (const OptionSpec &spec : ternary_lle_options()) lle_options.push_back(spec);
    add_one(commands, "lle",
            "liquid-liquid demixing of a polymer solution: binodal, spinodal, UCST/LCST; with a non-solvent the "
            "ternary diagram",
            lle_options);
    add_one(commands, "critical", "critical points on the model: each pure component's and the mixture's",
            {{"component", "ID", "that component's critical point only"},
             {"T", "T", "with --V: start the mixture's solver at this temperature in K"},
             {"V", "V", "with --T: start the mixture's solver at this molar volume in m3/kmol"},
             {"curve", "",
              "the critical curve of the state's binary, from the first component's critical point to the "
              "second's (--plot draws P over T)"},
             {"p-max", "P", "with --curve: follow the curve up to this pressure (Pa, or 100MPa; default 100 MPa)"}});
}

}  // namespace keld::cli
