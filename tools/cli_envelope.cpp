// The envelope and pxy commands of keld (see cli_envelope.h).
#include "cli_envelope.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "cli_case_mixture.h"
#include "cli_equilibria.h"
#include "cli_plot.h"
#include "cli_table.h"
#include "quantity_names.h"
#include "keld/case.h"
#include "keld/equilibria/critical_curve.h"
#include "keld/equilibria/envelope.h"
#include "keld/equilibria/system.h"

namespace keld::cli {
namespace {

namespace eq = keld::equilibria;
using Options = std::map<std::string, std::string>;
constexpr int exit_ok = 0, exit_invalid = 1, exit_not_reached = 2;

bool has(const Options &o, const std::string &name) { return o.count(name) != 0; }

// --T in K or with its unit (25degC), --P and --p-low in Pa or with theirs (1bar, 2MPa).
double positive_number(const Options &o, const std::string &name) {
    const std::string &text = o.at(name);
    double v = NAN;
    try {
        v = name == "T" ? refhost::temperature_from_text(text) : refhost::pressure_from_text(text);
    } catch (const std::exception &e) {
        throw CommandLineError("--" + name + ": " + e.what());
    }
    if (!std::isfinite(v) || !(v > 0.0)) throw CommandLineError("--" + name + " needs a positive value, not '" + text + "'");
    return v;
}

using Mixture = CaseMixture;

// --- plot ------------------------------------------------------------------

// Reads {"kind", "title", "series": [{"label", "x", "y", "style"}], "marks"} from argv[1] and
// writes the PNG argv[2]: pressures in MPa; on a P-T plot a degC axis on top, on a T-x-y plot on the right.
constexpr const char *kScript = R"PY(
import json, sys
try:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError as e:
    sys.stderr.write(str(e) + "\n")
    sys.exit(3)
with open(sys.argv[1]) as f:
    spec = json.load(f)
fig, ax = plt.subplots(figsize=(6.4, 4.6), dpi=110)
scale = 1.0 if spec["kind"] == "txy" else 1e-6
for s in spec["series"]:
    style = dict(ls="-", lw=1.6) if s["style"] == "line" else dict(ls="none", marker=s["style"], ms=9)
    ax.plot(s["x"], [v * scale for v in s["y"]], label=s["label"], color=s.get("color") or None, **style)
if spec["kind"] == "txy":
    ax.set_ylabel("T / K")
    right = ax.secondary_yaxis("right", functions=(lambda t: t - 273.15, lambda c: c + 273.15))
    right.set_ylabel("T / \u00b0C")
else:
    ax.set_ylabel("P / MPa")
if spec["kind"] == "envelope":
    ax.set_xlabel("T / K")
    top = ax.secondary_xaxis("top", functions=(lambda t: t - 273.15, lambda c: c + 273.15))
    top.set_xlabel("T / \u00b0C")
else:
    ax.set_xlabel(spec["x_label"])
    ax.set_xlim(0.0, 1.0)
ax.set_title(spec["title"], fontsize=10)
ax.grid(True, alpha=0.3)
ax.legend(fontsize=8)
fig.tight_layout()
fig.savefig(sys.argv[2])
)PY";

void draw(const nlohmann::json &spec, const std::string &path) { draw_with_script(kScript, spec.dump(), path); }

nlohmann::json series(const std::string &label, const std::vector<double> &x, const std::vector<double> &y,
                      const std::string &style, const std::string &color = "") {
    return {{"label", label}, {"x", x}, {"y", y}, {"style", style}, {"color", color}};
}

TableRow row(std::vector<double> values, const std::string &label) {
    TableRow r;
    r.values = std::move(values);
    r.label = label;
    r.status = std::string(eq::to_string(eq::Status::converged));
    return r;
}

nlohmann::json point_json(double t, double p) { return {{label("T"), t}, {label("P"), p}}; }

// --- envelope ----------------------------------------------------------------

int run_envelope(Mixture &mx, const Options &o, Table &t, nlohmann::json &plot) {
    const Model m = model_of(mx);
    eq::EnvelopeOptions options;
    if (has(o, "p-low")) options.p_low = positive_number(o, "p-low");
    const eq::PhaseEnvelope r = eq::phase_envelope(m, mx.x, options);
    std::string composition;
    for (std::size_t k = 0; k < mx.ids.size(); ++k)
        composition += (k ? ", " : "") + mx.ids[k] + " " + number_text(mx.x[k]);
    t.title = "P-T phase envelope on the model (" + model_display_name(mx.family) + ") at " + composition;
    t.label_column = "branch";
    t.columns = {label("T"), label_in("T", "degC"), label_in("P", "MPa"), label("rho_feed"), label("rho_incipient")};
    for (const std::string &id : mx.ids) t.columns.push_back(label("x_incipient", id));
    std::vector<double> dew_t, dew_p, bubble_t, bubble_p;
    for (std::size_t k = 0; k < r.points.size(); ++k) {
        const eq::EnvelopePoint &p = r.points[k];
        const bool critical = r.has_critical && k == r.critical_index;
        std::vector<double> values{p.t, p.t - 273.15, p.p / 1e6, p.rho_feed, p.rho_incipient};
        values.insert(values.end(), p.incipient.begin(), p.incipient.end());
        t.rows.push_back(row(values, critical ? "critical" : p.bubble ? "bubble" : "dew"));
        // The critical point ends both branches' lines.
        if (critical || !p.bubble) {
            dew_t.push_back(p.t);
            dew_p.push_back(p.p);
        }
        if (critical || p.bubble) {
            bubble_t.push_back(p.t);
            bubble_p.push_back(p.p);
        }
    }
    if (!r.ok()) {
        TableRow failed;
        failed.values.assign(t.columns.size(), eq::not_a_number);
        failed.status = std::string(eq::to_string(r.status));
        failed.message = r.message;
        failed.label = "end";
        t.rows.push_back(failed);
    }
    plot["kind"] = "envelope";
    plot["title"] = "Phase envelope (" + model_display_name(mx.family) + "): " + composition;
    plot["series"] = nlohmann::json::array({series("dew points", dew_t, dew_p, "line", "C0"),
                                            series("bubble points", bubble_t, bubble_p, "line", "C1")});
    if (r.has_critical) {
        t.notes.push_back("critical point: T = " + number_text(r.critical.t) + " K, P = " +
                          number_text(r.critical.p / 1e6) + " MPa, rho = " + number_text(r.critical.rho) +
                          " kmol/m3 (Heidemann-Khalil criteria at the feed)");
        t.extra["critical"] = point_json(r.critical.t, r.critical.p);
        plot["series"].push_back(series("critical point", {r.critical.t}, {r.critical.p}, "*", "C3"));
    }
    if (r.has_cricondenbar) {
        t.notes.push_back("cricondenbar: T = " + number_text(r.cricondenbar.t) + " K, P = " +
                          number_text(r.cricondenbar.p / 1e6) + " MPa");
        t.extra["cricondenbar"] = point_json(r.cricondenbar.t, r.cricondenbar.p);
        plot["series"].push_back(series("cricondenbar", {r.cricondenbar.t}, {r.cricondenbar.p}, "^", "C2"));
    }
    if (r.has_cricondentherm) {
        t.notes.push_back("cricondentherm: T = " + number_text(r.cricondentherm.t) + " K, P = " +
                          number_text(r.cricondentherm.p / 1e6) + " MPa");
        t.extra["cricondentherm"] = point_json(r.cricondentherm.t, r.cricondentherm.p);
        plot["series"].push_back(series("cricondentherm", {r.cricondentherm.t}, {r.cricondentherm.p}, ">", "C4"));
    }
    return r.ok() ? exit_ok : exit_not_reached;
}

// --- pxy -------------------------------------------------------------------------

int run_pxy(Mixture &mx, const Options &o, Table &t, nlohmann::json &plot) {
    if (mx.ids.size() != 2) throw CommandLineError("a P-x-y isotherm needs a state of two components");
    if (has(o, "T") && has(o, "P")) throw CommandLineError("give --T (an isotherm) or --P (an isobar), not both");
    const bool isobar = has(o, "P");
    if (!isobar && !has(o, "T") && !(mx.state->temperature > 0.0)) throw CommandLineError("give --T");
    const double held = isobar ? positive_number(o, "P") : has(o, "T") ? positive_number(o, "T") : mx.state->temperature;
    const Model m = model_of(mx);
    eq::BinaryCurve r;
    if (isobar)
        r = eq::txy_isobar(m, held);
    else
        r = eq::pxy_isotherm(m, held);
    const std::string &a = mx.ids[0];
    t.title = (isobar ? "T-x-y isobar on the model (" + model_display_name(mx.family) + ") at P = " + number_text(held / 1e6) + " MPa"
                      : "P-x-y isotherm on the model (" + model_display_name(mx.family) + ") at T = " + number_text(held) + " K");
    t.label_column = "point";
    t.columns = {label("T"), label_in("P", "MPa"), label("x", a), label("y", a), label("rho_liquid"), label("rho_vapour")};
    std::vector<double> xs, ys, along;
    for (std::size_t k = 0; k < r.points.size(); ++k) {
        const eq::TieLine &p = r.points[k];
        const bool critical = r.ends_at_critical && k + 1 == r.points.size();
        t.rows.push_back(row({p.t, p.p / 1e6, p.x[0], p.y[0], p.rho_liquid, p.rho_vapour}, critical ? "critical" : "tie line"));
        xs.push_back(p.x[0]);
        ys.push_back(p.y[0]);
        along.push_back(isobar ? p.t : p.p);
    }
    if (!r.ok()) {
        TableRow failed;
        failed.values.assign(t.columns.size(), eq::not_a_number);
        failed.status = std::string(eq::to_string(r.status));
        failed.message = r.message;
        failed.label = "end";
        t.rows.push_back(failed);
    }
    plot["kind"] = isobar ? "txy" : "pxy";
    plot["title"] = mx.ids[0] + " + " + mx.ids[1] + " at " +
                    (isobar ? number_text(held / 1e6) + " MPa" : number_text(held) + " K") + " (" + model_display_name(mx.family) + ")";
    plot["x_label"] = "mole fraction of " + a;
    plot["series"] = nlohmann::json::array({series("bubble points (liquid)", xs, along, "line", "C1"),
                                            series("dew points (vapour)", ys, along, "line", "C0")});
    if (r.ends_at_critical) {
        t.notes.push_back("ends at the critical point: T = " + number_text(r.critical.t) + " K, P = " +
                          number_text(r.critical.p / 1e6) + " MPa, x " + a + " = " + number_text(r.critical.x[0]) +
                          ", rho = " + number_text(r.critical.rho) + " kmol/m3");
        t.extra["critical"] = {{label("T"), r.critical.t},
                               {label("P"), r.critical.p},
                               {label("rho"), r.critical.rho},
                               {label("x", a), r.critical.x[0]}};
        plot["series"].push_back(series("critical point", {r.critical.x[0]}, {isobar ? r.critical.t : r.critical.p}, "*", "C3"));
    }
    return r.ok() ? exit_ok : r.status == eq::Status::invalid_input ? exit_invalid : exit_not_reached;
}

// --- critical --curve ------------------------------------------------------------

int run_critical_curve(Mixture &mx, const Options &o, Table &t, nlohmann::json &plot) {
    if (mx.ids.size() != 2) throw CommandLineError("a critical curve needs a state of two components");
    const Model m = model_of(mx);
    eq::CriticalCurveOptions options;
    if (has(o, "p-max")) options.p_max = positive_number(o, "p-max");
    const eq::CriticalCurve r = eq::critical_curve(m, options);
    const std::string &a = mx.ids[0];
    t.title = "Critical curve of " + mx.ids[0] + " + " + mx.ids[1] + " on the model (" +
              model_display_name(mx.family) + ")";
    t.label_column = "point";
    t.columns = {label("T"),           label_in("T", "degC"), label_in("P", "MPa"),
                 label("V_molecules"), label("x", a),         label("tpd")};
    std::vector<double> ts, ps;
    nlohmann::json pure = nlohmann::json::array();
    for (std::size_t k = 0; k < r.points.size(); ++k) {
        const eq::CriticalCurvePoint &p = r.points[k];
        const bool end = p.x1 >= 1.0 || p.x1 <= 0.0;
        const std::string name = p.x1 >= 1.0 ? mx.ids[0] : mx.ids[1];
        t.rows.push_back(row({p.t, p.t - 273.15, p.p / 1e6, p.v, p.x1, p.tangent_plane_distance},
                             end ? "pure " + name : p.stable ? "mixture" : "mixture, unstable"));
        ts.push_back(p.t);
        ps.push_back(p.p);
        if (end) {
            pure.push_back({{"fluid", name}, {label("T"), p.t}, {label("P"), p.p}, {label("V_molecules"), p.v}});
            plot["marks"].push_back(series("critical point of " + name, {p.t}, {p.p}, "*", k == 0 ? "C3" : "C2"));
        }
    }
    if (!r.ok() || !r.reaches_other) {
        TableRow failed;
        failed.values.assign(t.columns.size(), eq::not_a_number);
        failed.status = std::string(eq::to_string(r.ok() ? eq::Status::not_converged : r.status));
        failed.message = r.message;
        failed.label = "end";
        t.rows.push_back(failed);
    }
    t.extra["critical"] = pure;
    t.notes.push_back("each point the mixture's critical point (Heidemann-Khalil criteria, exact derivatives), "
                      "continued in composition from the neighbouring points; V per kmol of molecules");
    t.notes.push_back("tpd: the most negative tangent-plane distance / (R T) of a trial phase at the point's T, P "
                      "and x; below -1e-8 the critical phase splits into two other phases there (\"unstable\")");
    if ((!r.reaches_other || r.unstable_points > 0) && !r.message.empty()) t.notes.push_back(r.message);
    plot["kind"] = "envelope";
    plot["title"] = "Critical curve of " + mx.ids[0] + " + " + mx.ids[1] + " (" + model_display_name(mx.family) + ")";
    plot["series"] = nlohmann::json::array({series("critical curve", ts, ps, "line", "C0")});
    std::vector<double> unstable_t, unstable_p;
    for (const eq::CriticalCurvePoint &p : r.points) {
        if (p.stable) continue;
        unstable_t.push_back(p.t);
        unstable_p.push_back(p.p);
    }
    if (!unstable_t.empty())
        plot["series"].push_back(series("unstable (splits into two phases)", unstable_t, unstable_p, "x", "C1"));
    for (const auto &mark : plot.value("marks", nlohmann::json::array())) plot["series"].push_back(mark);
    plot.erase("marks");
    if (r.status == eq::Status::invalid_input) return exit_invalid;
    return r.ok() && r.reaches_other ? exit_ok : exit_not_reached;
}

constexpr std::string_view kEnvelopeText = R"(The P-T phase envelope of the state's composition on the model's Helmholtz
energy: from the dew point at P_low (default 1e5 Pa) up the dew branch, through
the mixture's critical point (solved by the Heidemann-Khalil criteria) and
down the bubble branch to P_low again, traced as one curve by arc-length
continuation with exact derivatives. One row per point: the branch (dew,
critical, bubble), T in K and degC, P in MPa, the densities of the feed and of
the incipient phase and the incipient phase's mole fractions. The notes give
the critical point, the cricondenbar and the cricondentherm; --plot draws P
(MPa) over T (K, with degC on top) with those points marked.
)";

constexpr std::string_view kEnvelopeFooter = R"(Examples:
  keld envelope --plot envelope.png examples/natural-gas.json
  keld envelope --csv --state 2 examples/methane-hexane.json

Exit status: 0 traced through, 1 a wrong case or command line, 2 the curve
stopped before its end (the message says where).
)";

constexpr std::string_view kPxyText = R"(The P-x-y isotherm of the state's binary at T (default: the state's) on the
model's Helmholtz energy, from the vapour pressure of the component with the
higher critical temperature up to the mixture's critical point at T (solved
by the Heidemann-Khalil criteria), or to the other component's vapour
pressure when both are subcritical. One row per tie line: T in K, P in MPa, the
first component's mole fractions in the liquid (x) and the vapour (y) and both
densities; the last row of a curve that ends at the critical point is that
point. --plot draws P (MPa) over x and y with the critical point marked.
With --P instead the T-x-y isobar at P: from the boiling point of the
component that still boils at P (the one with the higher critical
temperature first) to the mixture's critical point at P or to the other
boiling point; --plot draws T (K, degC on the right) over x and y.
)";

constexpr std::string_view kPxyFooter = R"(Examples:
  keld pxy --T 350 --plot pxy.png examples/methane-hexane.json
  keld pxy --csv --T 450 examples/methane-hexane.json
  keld pxy --P 4e6 --plot txy.png examples/methane-hexane.json

Exit status: 0 traced to its end, 1 a wrong case or command line, 2 the curve
stopped before its end or both components are above their critical points.
)";

std::vector<OptionSpec> with_output(std::vector<OptionSpec> own) {
    const std::vector<OptionSpec> output{
        {"state", "N", "take the model and composition from state N (default: 1)"},
        {"model", "NAME", "the model family (default: the state's)"},
        {"json", "", "one JSON document (as the other equilibrium commands)"},
        {"csv", "", "one CSV row per point, a header line first"},
        {"plot", "FILE", "also draw the curve into FILE (PNG, matplotlib)"}};
    own.insert(own.end(), output.begin(), output.end());
    return own;
}

}  // namespace

void add_envelope_commands(Commands &commands) {
    const Runner run = [](const Invocation &a) { return run_envelope_command(a.command, a.positional, a.options); };
    commands.add({"envelope", "P-T phase envelope of a state's composition through its critical point", "CASE",
                  std::string(kEnvelopeText),
                  with_output({{"p-low", "P",
                                "the pressure at which both branches start and end: Pa, or with its unit (1bar)"}}),
                  std::string(kEnvelopeFooter)},
                 run);
    commands.add({"pxy", "P-x-y isotherm or T-x-y isobar of a binary up to its critical point", "CASE",
                  std::string(kPxyText),
                  with_output({{"T", "T", "the temperature of an isotherm: K, or with its unit (25degC)"},
                               {"P", "P", "the pressure of an isobar: Pa, or with its unit (40bar, 4MPa)"}}),
                  std::string(kPxyFooter)},
                 run);
}

int run_envelope_command(const std::string &command, const std::vector<std::string> &positional, const Options &o) {
    if (has(o, "json") && has(o, "csv")) throw CommandLineError("--json and --csv exclude each other");
    Mixture mx = open_case_mixture(positional, o);
    Table t;
    t.command = command;
    t.case_name = mx.c.origin;
    t.model = mx.family;
    nlohmann::json plot;
    const int status = command == "envelope" ? run_envelope(mx, o, t, plot)
                       : command == "critical" ? run_critical_curve(mx, o, t, plot)
                                               : run_pxy(mx, o, t, plot);
    if (has(o, "json"))
        write_json(std::cout, t);
    else if (has(o, "csv"))
        write_csv(std::cout, t);
    else
        write_text(std::cout, t);
    std::cout.flush();
    if (has(o, "plot")) draw(plot, o.at("plot"));
    return status;
}

}  // namespace keld::cli
