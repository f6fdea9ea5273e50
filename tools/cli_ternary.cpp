// keld lle for a polymer, a solvent and a non-solvent (see cli_ternary.h).
#include "cli_ternary.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "cli_case_mixture.h"
#include "cli_plot.h"
#include "cli_table.h"
#include "keld/equilibria/ternary.h"
#include "quantity_names.h"

namespace keld::cli {
namespace {

namespace eq = keld::equilibria;
using Options = std::map<std::string, std::string>;
constexpr int exit_ok = 0, exit_invalid = 1, exit_not_reached = 2;
constexpr std::size_t kDrawnTieLines = 14;

bool has(const Options &o, const std::string &name) { return o.count(name) != 0; }

// The polymer is the heaviest component; the non-solvent the one --nonsolvent names, else the later
// listed of the other two.
eq::TernaryRoles roles_of(const TernaryInput &in, const Options &o) {
    const auto &c = in.model->components();
    eq::TernaryRoles r;
    r.polymer = static_cast<std::size_t>(
        std::max_element(c.begin(), c.end(), [](const ModelComponent &a, const ModelComponent &b) { return a.mw < b.mw; }) -
        c.begin());
    std::vector<std::size_t> others;
    for (std::size_t k = 0; k < 3; ++k)
        if (k != r.polymer) others.push_back(k);
    r.solvent = others[0];
    r.nonsolvent = others[1];
    if (has(o, "nonsolvent")) {
        const std::string &id = o.at("nonsolvent");
        const auto it = std::find(in.ids.begin(), in.ids.end(), id);
        if (it == in.ids.end()) throw CommandLineError("--nonsolvent: no component '" + id + "' in the state");
        const auto k = static_cast<std::size_t>(it - in.ids.begin());
        if (k == r.polymer) throw CommandLineError("--nonsolvent: '" + id + "' is the polymer (the heaviest component)");
        r.nonsolvent = k;
        r.solvent = k == others[0] ? others[1] : others[0];
    }
    return r;
}

// Reads {"title", "corners": [bottom left, bottom right, top], "binodal": [[w_right, w_top], ...],
// "tie_lines": [[[..], [..]], ...], "plait": [w_right, w_top] or null} from argv[1] and draws the
// triangle of weight fractions into the PNG argv[2].
constexpr const char *kScript = R"PY(
import json, math, sys
try:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError as e:
    sys.stderr.write(str(e) + "\n")
    sys.exit(3)
with open(sys.argv[1]) as f:
    spec = json.load(f)
h = math.sqrt(3.0) / 2.0
def xy(p):
    return p[0] + 0.5 * p[1], h * p[1]
fig, ax = plt.subplots(figsize=(6.4, 5.8), dpi=110)
ax.plot([0, 1, 0.5, 0], [0, 0, h, 0], color="k", lw=1.2)
for k in range(1, 5):
    g = k / 5.0
    for a, b in (((g, 0), (0, g)), ((0, g), (1 - g, g)), ((g, 0), (g, 1 - g))):
        (x0, y0), (x1, y1) = xy(a), xy(b)
        ax.plot([x0, x1], [y0, y1], color="0.85", lw=0.6, zorder=0)
    x, y = xy((g, 0)); ax.text(x, y - 0.035, "%.1f" % g, ha="center", fontsize=7)
    x, y = xy((0, g)); ax.text(x - 0.045, y, "%.1f" % g, ha="center", fontsize=7)
left, right, top = spec["corners"]
ax.text(0.0, -0.08, left, ha="center", fontsize=9)
ax.text(1.0, -0.08, right, ha="center", fontsize=9)
ax.text(0.5, h + 0.03, top, ha="center", fontsize=9)
ax.text(0.5, -0.13, "weight fraction of " + right.split(" ")[0] + " (bottom scale) / (kg/kg)", ha="center", fontsize=8)
ax.text(0.12, 0.5, "weight fraction of " + top.split(" ")[0] + " / (kg/kg)", rotation=60, ha="center", fontsize=8)
ax.text(0.88, 0.5, "weight fraction of " + left.split(" ")[0] + ": the rest", rotation=-60, ha="center", fontsize=8)
for i, (a, b) in enumerate(spec["tie_lines"]):
    (x0, y0), (x1, y1) = xy(a), xy(b)
    ax.plot([x0, x1], [y0, y1], color="C2", lw=0.8, label="tie lines" if i == 0 else None)
pts = [xy(p) for p in spec["binodal"]]
ax.plot([p[0] for p in pts], [p[1] for p in pts], color="C0", lw=1.8, label="binodal")
if spec.get("plait"):
    x, y = xy(spec["plait"])
    ax.plot([x], [y], ls="none", marker="*", ms=12, color="C3", label="plait point")
ax.set_xlim(-0.1, 1.1)
ax.set_ylim(-0.16, h + 0.08)
ax.set_aspect("equal")
ax.axis("off")
ax.set_title(spec["title"], fontsize=10)
ax.legend(fontsize=8, loc="upper right")
fig.tight_layout()
fig.savefig(sys.argv[2])
)PY";

void draw(const nlohmann::json &spec, const std::string &path) { draw_with_script(kScript, spec.dump(), path); }

TableRow row_of(const eq::TernaryPhase &lean, const eq::TernaryPhase &rich, const std::string &label) {
    TableRow r;
    r.values = lean.w;
    r.values.insert(r.values.end(), rich.w.begin(), rich.w.end());
    r.values.push_back(lean.rho);
    r.values.push_back(rich.rho);
    r.label = label;
    r.status = std::string(eq::to_string(eq::Status::converged));
    return r;
}

}  // namespace

std::vector<OptionSpec> ternary_lle_options() {
    return {{"nonsolvent", "ID",
             "with three components: the non-solvent, which demixes from the polymer (the heaviest component; "
             "default: the later listed of the other two)"}};
}

int run_ternary_lle(const TernaryInput &in, const Options &o) {
    if (has(o, "data")) throw CommandLineError("a ternary diagram takes no --data");
    const eq::TernaryRoles roles = roles_of(in, o);
    const eq::TernaryDiagram d = eq::ternary_lle(*in.model, in.t, in.p, roles);
    Table t;
    t.command = "lle";
    t.case_name = in.case_name;
    t.model = in.family;
    t.title = "Liquid-liquid diagram of " + in.ids[roles.polymer] + " + " + in.ids[roles.solvent] + " + " +
              in.ids[roles.nonsolvent] + " at T = " + number_text(in.t) + " K, P = " + number_text(in.p) +
              " Pa (w: weight fractions)";
    t.label_column = "point";
    for (const char *phase : {"w_lean_liquid", "w_rich_liquid"})
        for (const std::string &id : in.ids) t.columns.push_back(label(phase, id));
    t.columns.push_back(label("rho_lean"));
    t.columns.push_back(label("rho_rich"));
    for (const eq::TernaryTieLine &l : d.tie_lines) t.rows.push_back(row_of(l.lean, l.rich, "tie line"));
    const bool plait = d.plait.status == eq::Status::converged;
    if (plait) {
        t.rows.push_back(row_of(d.plait.phase, d.plait.phase, "plait point"));
        std::string w;
        for (std::size_t k = 0; k < 3; ++k) w += (k ? ", " : "") + in.ids[k] + " " + number_text(d.plait.phase.w[k]);
        t.notes.push_back("plait point (Heidemann-Khalil criteria at T and P): w = " + w + ", rho = " +
                          number_text(d.plait.phase.rho) + " kmol/m3");
        t.extra["plait"] = {{"w", d.plait.phase.w}, {label("rho"), d.plait.phase.rho}};
    }
    if (!d.ok()) {
        TableRow failed;
        failed.values.assign(t.columns.size(), eq::not_a_number);
        failed.status = std::string(eq::to_string(d.status));
        failed.message = d.message;
        failed.label = "end";
        t.rows.push_back(failed);
    }
    if (has(o, "json"))
        write_json(std::cout, t);
    else if (has(o, "csv"))
        write_csv(std::cout, t);
    else
        write_text(std::cout, t);
    std::cout.flush();
    if (has(o, "plot")) {
        // Corners: the non-solvent bottom left, the solvent bottom right, the polymer on top; a point is
        // (w_solvent, w_polymer).
        const auto corner = [&](std::size_t k) { return in.ids[k] + " (w = 1)"; };
        const auto at = [&](const eq::TernaryPhase &ph) {
            return std::vector<double>{ph.w[roles.solvent], ph.w[roles.polymer]};
        };
        nlohmann::json spec;
        spec["title"] = in.ids[roles.polymer] + " + " + in.ids[roles.solvent] + " + " + in.ids[roles.nonsolvent] +
                        " at " + number_text(in.t - 273.15) + " \u00b0C, " + number_text(in.p / 1e5) + " bar (" +
                        model_display_name(in.family) + ")";
        spec["corners"] = {corner(roles.nonsolvent), corner(roles.solvent), corner(roles.polymer)};
        nlohmann::json binodal = nlohmann::json::array(), ties = nlohmann::json::array();
        for (const auto &l : d.tie_lines) binodal.push_back(at(l.lean));
        if (plait) binodal.push_back(at(d.plait.phase));
        for (auto it = d.tie_lines.rbegin(); it != d.tie_lines.rend(); ++it) binodal.push_back(at(it->rich));
        const std::size_t n = d.tie_lines.size();
        for (std::size_t k = 0; k < kDrawnTieLines && n > 0; ++k) {
            const auto &l = d.tie_lines[k * (n - 1) / kDrawnTieLines];
            ties.push_back({at(l.lean), at(l.rich)});
        }
        spec["binodal"] = binodal;
        spec["tie_lines"] = ties;
        spec["plait"] = plait ? nlohmann::json(at(d.plait.phase)) : nlohmann::json();
        draw(spec, o.at("plot"));
    }
    return d.ok() ? exit_ok : d.status == eq::Status::invalid_input ? exit_invalid : exit_not_reached;
}

}  // namespace keld::cli
