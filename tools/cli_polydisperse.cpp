// keld cloudpoint and keld fractionate (see cli_polydisperse.h).
#include "cli_polydisperse.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "cli_equilibria.h"
#include "cli_plot.h"
#include "quantity_names.h"
#include "keld/case.h"
#include "keld/equilibria/polydisperse.h"
#include "keld/refhost.h"

namespace keld::cli {
namespace {

using equilibria::MolecularWeightDistribution;
using nlohmann::json;

double number_option(const std::map<std::string, std::string> &o, const std::string &name, double fallback) {
    const auto it = o.find(name);
    if (it == o.end()) return fallback;
    char *end = nullptr;
    const double v = std::strtod(it->second.c_str(), &end);
    if (it->second.empty() || *end != '\0' || !std::isfinite(v))
        throw CommandLineError("--" + name + " needs a number, got '" + it->second + "'");
    return v;
}

// A PC-SAFT value of the case's first data set as the case reader stored it (typed or from the
// database, in the store's units); refused when the case leaves it missing.
double required(const refhost::ReferenceHost &host, const char *name, std::int64_t component) {
    const double v = host.unary(name, component);
    if (!std::isfinite(v) || v >= refhost::ReferenceHost::missing_value)
        throw std::runtime_error("the case gives no PC-SAFT " + std::string(name) + " for " + host.identifier(component) +
                                 " in data set 1");
    return v;
}

struct Setup {
    equilibria::PolydisperseSystem system;
    std::string solvent, polymer, distribution;
    double p = 1e5;
    equilibria::TemperatureRange range;
};

// Solvent and polymer from the case's components and its first pcsaft
// parameter set; the polymer's distribution from the options.
Setup setup(const std::vector<std::string> &positional, const std::map<std::string, std::string> &o) {
    if (positional.size() != 1) throw CommandLineError("give one case file");
    const refhost::Case c = refhost::load_case_file(positional[0]);
    const refhost::ReferenceHost &host = *c.host;
    using Kind = refhost::ComponentKind;
    std::int64_t solvent = 0, polymer = 0;
    for (std::int64_t k = 1; k <= host.component_count(); ++k) {
        const std::string id = host.identifier(k);
        const Kind kind = host.kind(k);
        if (o.count("solvent") ? o.at("solvent") == id : kind == Kind::ordinary && solvent == 0) solvent = k;
        if (o.count("polymer") ? o.at("polymer") == id : kind == Kind::polymer && polymer == 0) polymer = k;
    }
    if (solvent == 0 || polymer == 0 || host.kind(solvent) != Kind::ordinary || host.kind(polymer) != Kind::polymer)
        throw CommandLineError("the case needs a solvent and a polymer (name them with --solvent and --polymer)");
    // A constant k_ij only: the pseudo-components share one value.
    double kij = 0.0;
    const double table_b = host.binary_coefficient("PCSKIJ", solvent, polymer, 2);
    if (std::isfinite(table_b) && table_b != 0.0 && table_b < refhost::ReferenceHost::missing_value)
        throw std::runtime_error("the case's PCSKIJ of the solvent and polymer depends on temperature; the "
                                 "polydisperse commands take a constant k_ij");
    if (const double a = host.binary_coefficient("PCSKIJ", solvent, polymer, 1);
        std::isfinite(a) && a < refhost::ReferenceHost::missing_value)
        kij = a;
    const PcSaftComponent s{host.identifier(solvent), host.component_value("MW", solvent),
                            required(host, "PCSFTM", solvent), required(host, "PCSFTV", solvent),
                            required(host, "PCSFTU", solvent)};
    const equilibria::PcSaftPolymer poly{host.identifier(polymer), required(host, "PCSFTR", polymer),
                                         required(host, "PCSFTV", polymer), required(host, "PCSFTU", polymer),
                                         host.component_value("MW", polymer)};
    double mn = host.number_average_mw(polymer);
    mn = number_option(o, "Mn", mn);
    const double mw = number_option(o, "Mw", 2.0 * mn);
    const std::string kind = o.count("dist") ? o.at("dist") : "schulz-flory";
    MolecularWeightDistribution d = MolecularWeightDistribution::schulz_flory(mn, mw);
    if (o.count("gpc"))
        d = MolecularWeightDistribution::read_gpc(o.at("gpc"));
    else if (kind == "log-normal")
        d = MolecularWeightDistribution::log_normal(mn, mw);
    else if (kind != "schulz-flory")
        throw CommandLineError("--dist is schulz-flory or log-normal (or give --gpc FILE)");
    const double count = number_option(o, "pseudo", 10);
    if (!(count >= 1 && count <= 60 && count == std::floor(count)))
        throw CommandLineError("--pseudo needs a whole number from 1 to 60");
    const auto pseudo = d.discretise(static_cast<std::size_t>(count));
    const auto m = equilibria::moments_of(pseudo);
    char text[200];
    std::snprintf(text, sizeof text, "%s, %zu pseudo-components: Mn %.6g, Mw %.6g, Mz %.6g kg/kmol",
                  o.count("gpc") ? "GPC trace" : kind.c_str(), pseudo.size(), m.mn, m.mw, m.mz);
    Setup out{equilibria::PolydisperseSystem::pcsaft(s, poly, kij, pseudo), host.identifier(solvent),
              host.identifier(polymer), text, 1e5, {}};
    out.p = number_option(o, "P", 1e5);
    out.range = {number_option(o, "T-min", 250.0), number_option(o, "T-max", 400.0)};
    return out;
}

int cloudpoint(const std::vector<std::string> &positional, const std::map<std::string, std::string> &o) {
    const Setup s = setup(positional, o);
    const double from = number_option(o, "w-from", 0.005), to = number_option(o, "w-to", 0.3);
    const double points = number_option(o, "points", 30);
    if (!(points >= 2 && points <= 1000 && points == std::floor(points)))
        throw CommandLineError("--points needs a whole number from 2 to 1000");
    const auto curve = equilibria::cloud_point_curve(s.system, s.p, from, to, static_cast<int>(points), s.range);
    if (curve.critical.status != equilibria::Status::converged) {
        std::cout << "no cloud-point curve: " << curve.message << "\n";
        return 2;
    }
    if (o.count("json")) {
        json out;
        out["distribution"] = s.distribution;
        out[label("P")] = s.p;
        out["critical"] = {{label("T"), curve.critical.t}, {label("w_polymer"), curve.critical.w}};
        out["points"] = json::array();
        for (const auto &pt : curve.points)
            out["points"].push_back({{label("w_polymer"), pt.feed.w_polymer},
                                     {label("T"), pt.t},
                                     {label("w_polymer_shadow"), pt.shadow.w_polymer},
                                     {label("Mn_shadow"), pt.shadow.mn},
                                     {label("Mw_shadow"), pt.shadow.mw}});
        std::cout << out.dump(2) << "\n";
    } else {
        std::printf("%s in %s at P = %.6g Pa\n%s\n", s.polymer.c_str(), s.solvent.c_str(), s.p, s.distribution.c_str());
        std::printf("critical point: T = %.4f K, w_polymer = %.5f\n", curve.critical.t, curve.critical.w);
        std::printf("%12s %12s %16s %26s %26s\n", "w_polymer", label("T").c_str(), "w_polymer_shadow",
                    label("Mn_shadow").c_str(), label("Mw_shadow").c_str());
        for (const auto &pt : curve.points)
            std::printf("%12.6f %12.4f %16.6f %26.6g %26.6g\n", pt.feed.w_polymer, pt.t, pt.shadow.w_polymer,
                        pt.shadow.mn, pt.shadow.mw);
        if (!curve.message.empty()) std::printf("not converged: %s\n", curve.message.c_str());
    }
    if (o.count("plot")) {
        PlotSpec plot{s.polymer + " in " + s.solvent + "\n" + s.distribution, "polymer weight fraction w / (kg/kg)",
                      "T / K", false, 0, {}};
        PlotSeries cloud{"cloud-point curve (feed)", {}, {}, "computed", "C0"};
        PlotSeries shadow{"shadow curve (incipient phase)", {}, {}, "dashed", "C1"};
        for (const auto &pt : curve.points) {
            cloud.x.push_back(pt.feed.w_polymer);
            cloud.y.push_back(pt.t);
            shadow.x.push_back(pt.shadow.w_polymer);
            shadow.y.push_back(pt.t);
        }
        plot.series = {cloud, shadow, {"critical point", {curve.critical.w}, {curve.critical.t}, "marker", "k"}};
        draw_png(plot, o.at("plot"));
    }
    return curve.status == equilibria::Status::converged ? 0 : 2;
}

int fractionate(const std::vector<std::string> &positional, const std::map<std::string, std::string> &o) {
    if (!o.count("T") || !o.count("w")) throw CommandLineError("give the temperature --T (K) and the feed's --w");
    const Setup s = setup(positional, o);
    const double t = number_option(o, "T", 0.0), w = number_option(o, "w", 0.0);
    const auto f = equilibria::fractionate(s.system, t, s.p, w, s.range);
    if (f.status != equilibria::Status::converged) {
        std::cout << to_string(f.status) << ": " << f.message << "\n";
        return f.status == equilibria::Status::single_phase ? 0 : 2;
    }
    if (o.count("json")) {
        json out;
        auto phase = [](const equilibria::PolydispersePhase &ph) {
            json p{{label("w_polymer"), ph.w_polymer}, {label("Mn"), ph.mn}, {label("Mw"), ph.mw}};
            for (const auto &c : ph.polymer)
                p["distribution"].push_back({{label("M"), c.mw}, {label("w_chain"), c.weight_fraction}});
            return p;
        };
        out = {{label("T"), t}, {label("P"), s.p}, {label("w_polymer"), w}, {label("rich_share"), f.rich_share},
               {"lean", phase(f.lean)}, {"rich", phase(f.rich)}};
        std::cout << out.dump(2) << "\n";
    } else {
        std::printf("%s in %s at T = %.4f K, P = %.6g Pa, feed w_polymer = %.5f\n%s\n", s.polymer.c_str(),
                    s.solvent.c_str(), t, s.p, w, s.distribution.c_str());
        std::printf("%-6s %12s %16s %16s %14s\n", "phase", "w_polymer", label("Mn").c_str(), label("Mw").c_str(),
                    "share of feed");
        std::printf("%-6s %12.6f %16.6g %16.6g %14.4f\n", "lean", f.lean.w_polymer, f.lean.mn, f.lean.mw,
                    1.0 - f.rich_share);
        std::printf("%-6s %12.6f %16.6g %16.6g %14.4f\n", "rich", f.rich.w_polymer, f.rich.mn, f.rich.mw,
                    f.rich_share);
        std::printf("\n%16s %22s\n", "M / (kg/kmol)", "share in the rich phase");
        for (std::size_t i = 0; i < f.rich_share_of_pseudo.size(); ++i)
            std::printf("%16.6g %22.6f\n", s.system.pseudo()[i].mw, f.rich_share_of_pseudo[i]);
    }
    if (o.count("plot")) {
        PlotSpec plot{"fractionation of " + s.polymer + " in " + s.solvent + " at " + std::to_string(t).substr(0, 6) +
                          " K (feed w = " + std::to_string(w).substr(0, 5) + ")",
                      "log10(M / (kg/kmol))", "weight fraction of the phase's polymer / (kg/kg)", false, 0, {}};
        // The pseudo-components are quadrature nodes, not samples of a curve: marked, never joined.
        PlotSeries feed{"feed", {}, {}, "computed", "k"}, lean{"polymer-lean phase", {}, {}, "computed", "C0"},
            rich{"polymer-rich phase", {}, {}, "computed", "C3"};
        for (std::size_t i = 0; i < s.system.pseudo().size(); ++i) {
            const double x = std::log10(s.system.pseudo()[i].mw);
            feed.x.push_back(x);
            feed.y.push_back(s.system.pseudo()[i].weight_fraction);
            lean.x.push_back(x);
            lean.y.push_back(f.lean.polymer[i].weight_fraction);
            rich.x.push_back(x);
            rich.y.push_back(f.rich.polymer[i].weight_fraction);
        }
        plot.series = {feed, lean, rich};
        draw_png(plot, o.at("plot"));
    }
    return 0;
}

}  // namespace

void add_polydisperse_commands(Commands &commands) {
    const std::string common = R"(
The case gives the solvent and the polymer (the first of each, or --solvent ID,
--polymer ID) with their PC-SAFT parameters in data set 1, typed or from the
parameter database, and a constant PCSKIJ between them. The polymer's chains
follow a distribution discretised into pseudo-components by Gauss quadrature
(Mn, Mw and Mz kept exactly); they share the segment parameters and differ in
chain length.
)";
    const std::vector<OptionSpec> options{
        {"solvent", "ID", "the solvent (default: the case's first ordinary component)"},
        {"polymer", "ID", "the polymer (default: the case's first polymer)"},
        {"Mn", "M", "number-average molecular weight, kg/kmol (default: the case's MWN)"},
        {"Mw", "M", "weight-average molecular weight, kg/kmol (default: 2 Mn)"},
        {"dist", "KIND", "schulz-flory (default) or log-normal"},
        {"gpc", "FILE",
         "a measured distribution instead: CSV of molecular weight (g/mol) and weight fraction, or dw/dlogM "
         "when the header says so"},
        {"pseudo", "N", "pseudo-components (default 10)"},
        {"P", "P", "pressure in Pa (default 1e5)"},
        {"T-min", "T", "lowest temperature at which demixing is sought, K (default 250)"},
        {"T-max", "T", "highest, K (default 400; an upper critical solution branch)"},
        {"json", "", "JSON output"},
        {"plot", "FILE", "draw a PNG (matplotlib)"}};
    const std::string exit_status = "\nExit status: 0 every point converged, 2 some did not (listed), 1 a fault.\n";
    const Runner run = [](const Invocation &a) { return run_polydisperse_command(a.command, a.positional, a.options); };
    std::vector<OptionSpec> cloud = options, frac = options;
    cloud.insert(cloud.end(), {{"w-from", "W", "leanest feed polymer weight fraction (default 0.005)"},
                               {"w-to", "W", "richest feed polymer weight fraction (default 0.3)"},
                               {"points", "N", "feeds, evenly spaced in ln(w/(1-w)) (default 30)"}});
    frac.insert(frac.end(), {{"T", "T", "temperature, K"}, {"w", "W", "the feed's polymer weight fraction"}});
    commands.add({"cloudpoint", "cloud-point and shadow curves of a polydisperse polymer in a solvent", "CASE",
                  R"(The cloud-point curve (the temperature at which a feed of polymer weight
fraction w first demixes, at P) and the shadow curve (the incipient phase's w
at that temperature), over feeds from --w-from to --w-to, and the critical
point where they meet. For a broad distribution the cloud-point curve's
maximum is not the critical point.
)" + common,
                  cloud,
                  "Examples:\n  keld cloudpoint --Mw 2e5 --pseudo 20 --plot cloud.png examples/polystyrene-cyclohexane.json\n" +
                      exit_status},
                 run);
    commands.add({"fractionate", "two liquids of a polydisperse polymer solution: each phase's distribution", "CASE",
                  R"(The two liquids of a feed of polymer weight fraction W at T (K) and P below its
cloud point: each phase's polymer content, Mn and Mw, its share of the feed, and
each pseudo-component's share in the polymer-rich phase; --plot draws the
distributions of the feed and both phases.
)" + common,
                  frac,
                  "Examples:\n  keld fractionate --T 295 --w 0.1 --Mw 2e5 --plot fractionation.png "
                  "examples/polystyrene-cyclohexane.json\n" +
                      exit_status},
                 run);
}

int run_polydisperse_command(const std::string &command, const std::vector<std::string> &positional,
                             const std::map<std::string, std::string> &options) {
    return command == "cloudpoint" ? cloudpoint(positional, options) : fractionate(positional, options);
}

}  // namespace keld::cli
