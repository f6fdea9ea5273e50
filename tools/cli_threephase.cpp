// The three-phase commands of keld (see cli_threephase.h).
#include "cli_threephase.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "cli_case_mixture.h"
#include "cli_plot.h"
#include "keld/case.h"
#include "keld/equilibria/system.h"
#include "keld/equilibria/three_phase.h"
#include "quantity_names.h"

namespace keld::cli {
namespace {

namespace eq = keld::equilibria;
using Options = std::map<std::string, std::string>;
constexpr int exit_ok = 0, exit_invalid = 1, exit_not_reached = 2;

bool has(const Options &o, const std::string &name) { return o.count(name) != 0; }

TableRow row_of(const eq::Outcome &o, std::vector<double> values, const std::string &label) {
    TableRow r;
    r.values = std::move(values);
    r.status = std::string(eq::to_string(o.status));
    if (!o.ok()) r.message = o.message;
    r.label = label;
    return r;
}

// --T and --T-step in K or with a unit (25degC).
double temperature_option(const Options &o, const std::string &name) {
    double v = NAN;
    try {
        v = refhost::temperature_from_text(o.at(name));
    } catch (const std::exception &e) {
        throw CommandLineError("--" + name + ": " + e.what());
    }
    if (!std::isfinite(v) || !(v > 0.0)) throw CommandLineError("--" + name + " needs a positive value");
    return v;
}

double positive_option(const Options &o, const std::string &name) {
    char *end = nullptr;
    const double v = std::strtod(o.at(name).c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || !(v > 0.0))
        throw CommandLineError("--" + name + " needs a positive number, not '" + o.at(name) + "'");
    return v;
}

// The case's state (--state N, default 1): its model family and a binary's identifiers.
CaseMixture open_binary(const std::vector<std::string> &positional, const Options &o) {
    CaseMixture b = open_case_mixture(positional, o);
    if (b.ids.size() != 2) throw CommandLineError("the three-phase line needs a state of two components");
    return b;
}

// P (Pa, kPa or MPa by its largest value) over T (K), degC on top.
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
for s in spec["series"]:
    style = dict(ls="-", lw=1.6) if s["style"] == "line" else dict(ls="none", marker=s["style"], ms=9)
    ax.plot(s["x"], [p / spec["p_factor"] for p in s["y"]], label=s["label"], color=s["color"], **style)
ax.set_xlabel("T / K")
ax.set_ylabel("P / " + spec["p_unit"])
top = ax.secondary_xaxis("top", functions=(lambda t: t - 273.15, lambda c: c + 273.15))
top.set_xlabel("T / \u00b0C")
ax.set_title(spec["title"], fontsize=10)
ax.grid(True, alpha=0.3)
ax.legend(fontsize=8)
fig.tight_layout()
fig.savefig(sys.argv[2])
)PY";

int run_vlle(const std::vector<std::string> &positional, const Options &o) {
    if (has(o, "json") && has(o, "csv")) throw CommandLineError("--json and --csv exclude each other");
    CaseMixture b = open_binary(positional, o);
    eq::VlleOptions options;
    options.t_start = has(o, "T") ? temperature_option(o, "T") : b.state->temperature;
    if (has(o, "T-step")) options.t_step = positive_option(o, "T-step");
    const Model m = model_of(b);
    const eq::VlleLine r = eq::vlle_line(m, options);
    Table t;
    t.command = "vlle";
    t.case_name = b.c.origin;
    t.model = b.family;
    const std::string &a = b.ids[0];
    t.title = "Three-phase line of " + b.ids[0] + " + " + b.ids[1] + " on the model (" + b.family + ")";
    t.label_column = "point";
    t.columns = {label("T"),           label_in("T", "degC"),    label("P"),
                 label("x_liquid1", a), label("x_liquid2", a),    label("y", a),
                 label("rho_liquid1"),  label("rho_liquid2"),     label("rho_vapour")};
    std::vector<double> ts, ps;
    for (std::size_t k = 0; k < r.points.size(); ++k) {
        const eq::ThreePhasePoint &p = r.points[k];
        const bool end = r.end_point && k + 1 == r.points.size();
        eq::Outcome ok;
        ok.status = eq::Status::converged;
        t.rows.push_back(row_of(ok, {p.t, p.t - 273.15, p.p, p.x1[0], p.x2[0], p.y[0], p.rho1, p.rho2, p.rho_v},
                                end ? "end point" : "three phases"));
        ts.push_back(p.t);
        ps.push_back(p.p);
    }
    if (!r.ok()) {
        TableRow failed = row_of(r, std::vector<double>(t.columns.size(), eq::not_a_number), "end");
        t.rows.push_back(failed);
    }
    if (r.end_point) {
        const eq::ThreePhasePoint &e = r.points.back();
        t.notes.push_back("upper critical end point: T = " + number_text(e.t) + " K, P = " + number_text(e.p) +
                          " Pa, x " + a + " = " + number_text(e.x1[0]) + " (liquid-liquid critical: smallest eigenvalue " +
                          number_text(r.eigenvalue) + ", cubic form " + number_text(r.cubic_form) + ")");
        t.extra["end_point"] = {{label("T"), e.t}, {label("P"), e.p}, {label("x", a), e.x1[0]}, {label("y", a), e.y[0]}};
    }
    if (has(o, "json"))
        write_json(std::cout, t);
    else if (has(o, "csv"))
        write_csv(std::cout, t);
    else
        write_text(std::cout, t);
    std::cout.flush();
    if (has(o, "plot")) {
        double largest = 0.0;
        for (double p : ps) largest = std::max(largest, p);
        const AxisScale scale = pressure_scale(largest);
        nlohmann::json spec;
        spec["title"] = "Three-phase line of " + b.ids[0] + " + " + b.ids[1] + " (" + model_display_name(b.family) + ")";
        spec["p_factor"] = scale.factor;
        spec["p_unit"] = scale.unit;
        spec["series"] = nlohmann::json::array();
        spec["series"].push_back({{"label", "liquid-liquid-vapour"}, {"x", ts}, {"y", ps}, {"style", "line"}, {"color", "C0"}});
        if (r.end_point)
            spec["series"].push_back({{"label", "upper critical end point"}, {"x", {ts.back()}}, {"y", {ps.back()}},
                                      {"style", "*"}, {"color", "C3"}});
        draw_with_script(kScript, spec.dump(), o.at("plot"));
    }
    if (r.status == eq::Status::invalid_input) return exit_invalid;
    return r.ok() ? exit_ok : exit_not_reached;
}

constexpr std::string_view kVlleText = R"(The three-phase (liquid-liquid-vapour) line of the state's binary on the
model's Helmholtz energy: at the start temperature (--T, default the state's)
two liquids from a flash and a vapour over them, then in steps of T (--T-step,
default 2 K, smaller where the liquids close in) the three phases' densities
solved by Newton's method with the exact Jacobian, until the two liquids merge
at the upper critical end point, which is solved as such: a liquid at its
liquid-liquid critical point (Heidemann-Khalil criteria) in equilibrium with a
vapour. One row per point: T in K and degC, P in Pa (the vapour's), the first
component's mole fractions in liquid 1 (richer in it), liquid 2 and the
vapour, and the three densities; the last row is the end point. --plot draws
P (Pa, kPa or MPa) over T (K, degC on top) with the end point marked.
)";

constexpr std::string_view kVlleFooter = R"(Examples:
  keld vlle --T 170 --state 3 examples/methanol-hexane-pcsaft-assoc.json
  keld vlle --T 180 --state 3 --plot vlle.png examples/methanol-hexane-pcsaft-assoc.json

Exit status: 0 traced to the end point, 1 a wrong case or command line, 2 no
three phases at the start or the line stopped before its end point.
)";

}  // namespace

void flash_on_model_table(const Model &model, const std::vector<std::string> &ids, double t_k, double p,
                          const std::vector<double> &z, int phases, Table &t) {
    eq::MultiphaseOptions options;
    options.max_phases = phases;
    const eq::FlashResult r = eq::flash_on_model(model, t_k, p, z, options);
    const std::size_t n = ids.size();
    t.title = "Flash into up to " + std::to_string(phases) + " phases on the model at T = " + number_text(t_k) +
              " K, P = " + number_text(p) + " Pa";
    t.label_column = "phase";
    t.columns = {label("fraction"), label("mass_fraction"), label("V_molecules")};
    for (std::size_t k = 0; k < n; ++k) t.columns.push_back(label("x", ids[k]));
    for (std::size_t k = 0; k < n; ++k) t.columns.push_back(label("w", ids[k]));
    if (r.phases.empty()) t.rows.push_back(row_of(r, std::vector<double>(t.columns.size(), eq::not_a_number), "-"));
    int liquids = 0, liquid_number = 0;
    for (const eq::FlashPhase &ph : r.phases) liquids += ph.kind == eq::PhaseKind::liquid;
    for (const eq::FlashPhase &ph : r.phases) {
        std::vector<double> values{ph.fraction, ph.mass_fraction, ph.v};
        values.insert(values.end(), ph.x.begin(), ph.x.end());
        values.insert(values.end(), ph.w.begin(), ph.w.end());
        TableRow row = row_of(r, values,
                              ph.kind == eq::PhaseKind::vapour
                                  ? "vapour"
                                  : (liquids > 1 ? "liquid " + std::to_string(++liquid_number) : "liquid"));
        if (r.status == eq::Status::single_phase) row.message = r.message;
        t.rows.push_back(row);
    }
    if (r.ok())
        t.notes.push_back("largest ln f mismatch between the phases: " + number_text(r.residual));
    if (r.stability.status == eq::Status::converged)
        t.notes.push_back("stability test of the feed: tangent-plane distance " +
                          number_text(r.stability.tangent_plane_distance) +
                          (r.stability.stable ? " (stable)" : " (unstable)"));
}

void add_threephase_commands(Commands &commands) {
    commands.add({"vlle", "three-phase line of a binary up to its upper critical end point", "CASE",
                  std::string(kVlleText),
                  {{"T", "T", "the start temperature: K, or with its unit (-100degC) (default: the state's)"},
                   {"T-step", "K", "the largest temperature step in K (default 2)"},
                   {"state", "N", "take the model and components from state N (default: 1)"},
                   {"model", "NAME", "the model family (default: the state's)"},
                   {"json", "", "one JSON document (as the other equilibrium commands)"},
                   {"csv", "", "one CSV row per point, a header line first"},
                   {"plot", "FILE", "also draw the line into FILE (PNG, matplotlib; .json: the plot's data)"}},
                  std::string(kVlleFooter)},
                 [](const Invocation &a) { return run_vlle(a.positional, a.options); });
}

}  // namespace keld::cli
