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

// A value of the case's first data set as the case reader stored it (typed or from the database, in
// the store's units); NaN where the case leaves it missing.
double stored(const refhost::ReferenceHost &host, const char *name, std::int64_t component) {
    const double v = host.unary(name, component);
    return std::isfinite(v) && v < refhost::ReferenceHost::missing_value ? v : std::nan("");
}

// The same, refused when missing.
double required(const refhost::ReferenceHost &host, const char *name, std::int64_t component, const char *family) {
    const double v = stored(host, name, component);
    if (!std::isfinite(v))
        throw std::runtime_error("the case gives no " + std::string(family) + " " + name + " for " +
                                 host.identifier(component) + " in data set 1");
    return v;
}

// A constant k_ij of two components from the table `name` (0 when not given); one that depends on
// temperature is refused: the pseudo-components share one value.
double constant_kij(const refhost::ReferenceHost &host, const char *name, std::int64_t i, std::int64_t j) {
    if (std::string(name) == "SLKIJ") {
        // A plain value, with its temperature coefficients in a table of their own.
        if (host.find_parameter("SLKIJT") != nullptr && host.binary_coefficient("SLKIJT", i, j, 2) != 0.0 &&
            host.binary_coefficient("SLKIJT", i, j, 2) < refhost::ReferenceHost::missing_value)
            throw std::runtime_error("the case's SLKIJ of " + host.identifier(i) + " and " + host.identifier(j) +
                                     " depends on temperature; the polydisperse commands take a constant k_ij");
        const double v = host.binary(name, i, j);
        return std::isfinite(v) && v < refhost::ReferenceHost::missing_value ? v : 0.0;
    }
    const double b = host.binary_coefficient(name, i, j, 2);
    if (std::isfinite(b) && b != 0.0 && b < refhost::ReferenceHost::missing_value)
        throw std::runtime_error("the case's " + std::string(name) + " of " + host.identifier(i) + " and " +
                                 host.identifier(j) + " depends on temperature; the polydisperse commands take a "
                                 "constant k_ij");
    const double a = host.binary_coefficient(name, i, j, 1);
    return std::isfinite(a) && a < refhost::ReferenceHost::missing_value ? a : 0.0;
}

std::vector<std::string> split_list(const std::string &text) {
    std::vector<std::string> out;
    std::string item;
    for (char ch : text + ",") {
        if (ch != ',') {
            item += ch;
        } else if (!item.empty()) {
            out.push_back(item);
            item.clear();
        }
    }
    return out;
}

struct Setup {
    equilibria::PolydisperseSystem system;
    // The monodisperse polymer of the distribution's Mn in the same solvents.
    equilibria::PolydisperseSystem mono;
    std::string solvent, polymer, distribution;
    double p = 1e5;
    equilibria::TemperatureRange range;
};

// The case's components the options name (or its first solvent and polymer).
struct Chosen {
    std::vector<std::int64_t> solvents;
    std::int64_t polymer = 0;
    std::vector<double> solvent_w;
};

Chosen choose(const refhost::ReferenceHost &host, const std::map<std::string, std::string> &o) {
    using Kind = refhost::ComponentKind;
    Chosen c;
    const std::vector<std::string> named = o.count("solvent") ? split_list(o.at("solvent")) : std::vector<std::string>{};
    for (const std::string &id : named) {
        std::int64_t found = 0;
        for (std::int64_t k = 1; k <= host.component_count(); ++k)
            if (host.identifier(k) == id && host.kind(k) == Kind::ordinary) found = k;
        if (found == 0) throw CommandLineError("--solvent: the case has no solvent " + id);
        c.solvents.push_back(found);
    }
    for (std::int64_t k = 1; k <= host.component_count(); ++k) {
        const Kind kind = host.kind(k);
        if (named.empty() && kind == Kind::ordinary && c.solvents.empty()) c.solvents.push_back(k);
        if (o.count("polymer") ? o.at("polymer") == host.identifier(k) : kind == Kind::polymer && c.polymer == 0)
            c.polymer = k;
    }
    if (c.solvents.empty() || c.polymer == 0 || host.kind(c.polymer) != Kind::polymer)
        throw CommandLineError("the case needs a solvent and a polymer (name them with --solvent and --polymer)");
    if (c.solvents.size() == 1) {
        c.solvent_w = {1.0};
        if (o.count("solvent-w")) throw CommandLineError("--solvent-w is for a mixture of solvents");
    } else {
        if (!o.count("solvent-w"))
            throw CommandLineError("several solvents need their weight fractions in the solvent mixture (--solvent-w)");
        for (const std::string &v : split_list(o.at("solvent-w"))) c.solvent_w.push_back(number_option({{"solvent-w", v}}, "solvent-w", 0.0));
        if (c.solvent_w.size() != c.solvents.size())
            throw CommandLineError("--solvent-w needs one weight fraction per solvent");
    }
    return c;
}

// The segment types of a polymer the case builds from segments, with their PC-SAFT values.
equilibria::PcSaftCopolymer pcsaft_copolymer_of(const refhost::ReferenceHost &host, std::int64_t polymer) {
    equilibria::PcSaftCopolymer co{host.identifier(polymer), {}};
    std::vector<double> fractions(static_cast<std::size_t>(std::max<std::int64_t>(host.segment_count(), 1)), 0.0);
    host.segment_weight_fractions(1, polymer, fractions.data());
    std::size_t k = 0;
    for (std::int64_t c = 1; c <= host.component_count(); ++c) {
        if (!host.is_segment(c)) continue;
        const double w = fractions[k++];
        if (!(w > 0.0)) continue;
        PcSaftAssocSegment s;
        s.name = host.identifier(c);
        s.mass_fraction = w;
        s.mw = host.component_value("MW", c);
        s.segment_ratio = required(host, "PCSFTR", c, "PC-SAFT");
        s.sigma = required(host, "PCSFTV", c, "PC-SAFT");
        s.epsilon_k = required(host, "PCSFTU", c, "PC-SAFT");
        co.segments.push_back(s);
    }
    if (co.segments.empty())
        throw std::runtime_error("the case gives no PC-SAFT parameters for " + host.identifier(polymer) +
                                 " and no segments to build them from");
    double total = 0.0;
    for (const auto &s : co.segments) total += s.mass_fraction;
    for (auto &s : co.segments) s.mass_fraction /= total;
    return co;
}

// Solvents and polymer on the chosen family from the case's first parameter set, with pseudo-components.
equilibria::PolydisperseSystem build(const refhost::ReferenceHost &host, const Chosen &c, const std::string &family,
                                     const std::vector<equilibria::PseudoComponent> &pseudo) {
    const std::size_t ns = c.solvents.size();
    const bool sl = family == "sanchez-lacombe";
    const char *table = sl ? "SLKIJ" : "PCSKIJ";
    equilibria::SolventMixture mixture{c.solvent_w, std::vector<double>(ns * ns, 0.0)};
    std::vector<double> kij_polymer;
    for (std::size_t a = 0; a < ns; ++a) {
        for (std::size_t b = 0; b < ns; ++b)
            if (a != b) mixture.kij[a * ns + b] = constant_kij(host, table, c.solvents[a], c.solvents[b]);
        kij_polymer.push_back(constant_kij(host, table, c.solvents[a], c.polymer));
    }
    if (sl) {
        std::vector<SanchezLacombeComponent> solvents;
        for (std::int64_t k : c.solvents)
            solvents.push_back({host.identifier(k), host.component_value("MW", k), required(host, "SLTSTR", k, "Sanchez-Lacombe"),
                                required(host, "SLPSTR", k, "Sanchez-Lacombe"), required(host, "SLRSTR", k, "Sanchez-Lacombe")});
        const std::int64_t p = c.polymer;
        if (!std::isfinite(stored(host, "SLTSTR", p)) || !std::isfinite(stored(host, "SLPSTR", p)) ||
            !std::isfinite(stored(host, "SLRSTR", p)))
            throw std::runtime_error("the polydisperse commands take the polymer's own Sanchez-Lacombe T*, P* and rho*; "
                                     "the case gives none for " + host.identifier(p));
        const SanchezLacombeComponent polymer{host.identifier(p), 0.0, stored(host, "SLTSTR", p), stored(host, "SLPSTR", p),
                                              stored(host, "SLRSTR", p), host.component_value("MW", p)};
        return equilibria::PolydisperseSystem::sanchez_lacombe(solvents, mixture, polymer, kij_polymer, pseudo);
    }
    std::vector<PcSaftComponent> solvents;
    for (std::int64_t k : c.solvents)
        solvents.push_back({host.identifier(k), host.component_value("MW", k), required(host, "PCSFTM", k, "PC-SAFT"),
                            required(host, "PCSFTV", k, "PC-SAFT"), required(host, "PCSFTU", k, "PC-SAFT")});
    const std::int64_t p = c.polymer;
    if (std::isfinite(stored(host, "PCSFTR", p)) && std::isfinite(stored(host, "PCSFTV", p)) &&
        std::isfinite(stored(host, "PCSFTU", p))) {
        const equilibria::PcSaftPolymer poly{host.identifier(p), stored(host, "PCSFTR", p), stored(host, "PCSFTV", p),
                                             stored(host, "PCSFTU", p), host.component_value("MW", p)};
        return equilibria::PolydisperseSystem::pcsaft(solvents, mixture, poly, kij_polymer, pseudo);
    }
    // A polymer built from its segment types: the k_ij of each solvent with each type.
    const equilibria::PcSaftCopolymer co = pcsaft_copolymer_of(host, p);
    std::vector<double> kij_segments;
    for (std::int64_t k : c.solvents)
        for (const auto &s : co.segments) {
            std::int64_t seg = 0;
            for (std::int64_t j = 1; j <= host.component_count(); ++j)
                if (host.identifier(j) == s.name) seg = j;
            kij_segments.push_back(constant_kij(host, "PCSKIJ", k, seg));
        }
    return equilibria::PolydisperseSystem::pcsaft_copolymer(solvents, mixture, co, kij_segments, pseudo);
}

// Solvents and polymer from the case's components and its first parameter set of the family (--model);
// the polymer's distribution from the options.
Setup setup(const std::vector<std::string> &positional, const std::map<std::string, std::string> &o) {
    if (positional.size() != 1) throw CommandLineError("give one case file");
    const refhost::Case c = refhost::load_case_file(positional[0]);
    const refhost::ReferenceHost &host = *c.host;
    const Chosen chosen = choose(host, o);
    const std::string family = o.count("model") ? o.at("model") : "pcsaft";
    if (family != "pcsaft" && family != "sanchez-lacombe")
        throw CommandLineError("--model is pcsaft or sanchez-lacombe");
    double mn = host.number_average_mw(chosen.polymer);
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
    char text[240];
    std::snprintf(text, sizeof text, "%s, %zu pseudo-components: Mn %.6g, Mw %.6g, Mz %.6g kg/kmol (%s)",
                  o.count("gpc") ? "GPC trace" : kind.c_str(), pseudo.size(), m.mn, m.mw, m.mz,
                  family == "pcsaft" ? "PC-SAFT" : "Sanchez-Lacombe");
    std::string solvents;
    for (std::size_t k = 0; k < chosen.solvents.size(); ++k) {
        char share[64] = "";
        if (chosen.solvents.size() > 1) std::snprintf(share, sizeof share, " (w %.4g)", chosen.solvent_w[k]);
        solvents += (k ? " + " : "") + host.identifier(chosen.solvents[k]) + share;
    }
    Setup out{build(host, chosen, family, pseudo),
              build(host, chosen, family, MolecularWeightDistribution::from_points({m.mn}, {1.0}).discretise(1)),
              solvents, host.identifier(chosen.polymer), text, 1e5, {}};
    out.p = number_option(o, "P", 1e5);
    out.range = {number_option(o, "T-min", 250.0), number_option(o, "T-max", 400.0), o.count("lower-branch") > 0};
    return out;
}

// The curve's table, JSON and plot: over T at the held P, or with --T over P at the held T (the
// figures in Pa, the plot in MPa).
int report_cloud_curve(const Setup &s, const std::map<std::string, std::string> &o,
                       const equilibria::CloudPointCurve &curve, bool over_pressure, double held) {
    if (curve.critical.status != equilibria::Status::converged) {
        std::cout << "no cloud-point curve: " << curve.message << "\n";
        return 2;
    }
    const std::string held_name = over_pressure ? "T" : "P", free_name = over_pressure ? "P" : "T";
    const auto free_of = [over_pressure](double t, double p) { return over_pressure ? p : t; };
    if (o.count("json")) {
        json out;
        out["distribution"] = s.distribution;
        out[label(held_name)] = held;
        out["critical"] = {{label(free_name), free_of(curve.critical.t, curve.critical.p)},
                           {label("w_polymer"), curve.critical.w}};
        out["points"] = json::array();
        for (const auto &pt : curve.points)
            out["points"].push_back({{label("w_polymer"), pt.feed.w_polymer},
                                     {label(free_name), free_of(pt.t, pt.p)},
                                     {label("w_polymer_shadow"), pt.shadow.w_polymer},
                                     {label("Mn_shadow"), pt.shadow.mn},
                                     {label("Mw_shadow"), pt.shadow.mw}});
        std::cout << out.dump(2) << "\n";
    } else {
        std::printf("%s in %s at %s = %.6g %s\n%s\n", s.polymer.c_str(), s.solvent.c_str(), held_name.c_str(), held,
                    over_pressure ? "K" : "Pa", s.distribution.c_str());
        if (over_pressure)
            std::printf("critical point: P = %.6g Pa, w_polymer = %.5f\n", curve.critical.p, curve.critical.w);
        else
            std::printf("critical point: T = %.4f K, w_polymer = %.5f\n", curve.critical.t, curve.critical.w);
        std::printf(over_pressure ? "%12s %14s %16s %26s %26s\n" : "%12s %12s %16s %26s %26s\n", "w_polymer",
                    label(free_name).c_str(), "w_polymer_shadow", label("Mn_shadow").c_str(), label("Mw_shadow").c_str());
        for (const auto &pt : curve.points)
            std::printf(over_pressure ? "%12.6f %14.8g %16.6f %26.6g %26.6g\n" : "%12.6f %12.4f %16.6f %26.6g %26.6g\n",
                        pt.feed.w_polymer, free_of(pt.t, pt.p), pt.shadow.w_polymer, pt.shadow.mn, pt.shadow.mw);
        if (!curve.message.empty()) std::printf("not converged: %s\n", curve.message.c_str());
    }
    if (o.count("plot")) {
        const double scale = over_pressure ? 1e-6 : 1.0;  // P in MPa
        const std::string title = s.polymer + " in " + s.solvent +
                                  (over_pressure ? " at " + std::to_string(held).substr(0, 6) + " K" : "") + "\n" +
                                  s.distribution;
        PlotSpec plot{title, "polymer weight fraction w / (kg/kg)", over_pressure ? "P / MPa" : "T / K", false, 0, {}};
        PlotSeries cloud{"cloud-point curve (feed)", {}, {}, "computed", "C0"};
        PlotSeries shadow{"shadow curve (incipient phase)", {}, {}, "dashed", "C1"};
        for (const auto &pt : curve.points) {
            cloud.x.push_back(pt.feed.w_polymer);
            cloud.y.push_back(free_of(pt.t, pt.p) * scale);
            shadow.x.push_back(pt.shadow.w_polymer);
            shadow.y.push_back(free_of(pt.t, pt.p) * scale);
        }
        plot.series = {cloud, shadow,
                       {"critical point", {curve.critical.w},
                        {free_of(curve.critical.t, curve.critical.p) * scale}, "marker", "k"}};
        draw_png(plot, o.at("plot"));
    }
    return curve.status == equilibria::Status::converged ? 0 : 2;
}

int cloudpoint(const std::vector<std::string> &positional, const std::map<std::string, std::string> &o) {
    const Setup s = setup(positional, o);
    const double from = number_option(o, "w-from", 0.005), to = number_option(o, "w-to", 0.3);
    const double points = number_option(o, "points", 30);
    if (!(points >= 2 && points <= 1000 && points == std::floor(points)))
        throw CommandLineError("--points needs a whole number from 2 to 1000");
    if (!o.count("T"))
        return report_cloud_curve(
            s, o, equilibria::cloud_point_curve(s.system, s.p, from, to, static_cast<int>(points), s.range), false, s.p);
    const double t = number_option(o, "T", 0.0);
    const equilibria::PressureRange range{number_option(o, "P-min", 1e5), number_option(o, "P-max", 1e8),
                                          o.count("lower-branch") > 0};
    return report_cloud_curve(
        s, o, equilibria::cloud_point_pressure_curve(s.system, t, from, to, static_cast<int>(points), range), true, t);
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
        const std::size_t solvents = s.system.solvents();
        std::vector<std::string> names;
        for (std::size_t k = 0; k < solvents; ++k) names.push_back(s.system.model().components()[k].name);
        auto phase = [&](const equilibria::PolydispersePhase &ph) {
            json p{{label("w_polymer"), ph.w_polymer}, {label("Mn"), ph.mn}, {label("Mw"), ph.mw}};
            for (std::size_t k = 0; k < solvents; ++k) p[label("w", names[k])] = ph.w[k];
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
        if (s.system.solvents() > 1)
            for (std::size_t k = 0; k < s.system.solvents(); ++k)
                std::printf("%-14s lean %.6f  rich %.6f\n", label("w", s.system.model().components()[k].name).c_str(),
                            f.lean.w[k], f.rich.w[k]);
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

// Each solvent's activity over the polydisperse polymer and over the monodisperse one of the same Mn.
int sorption(const std::vector<std::string> &positional, const std::map<std::string, std::string> &o) {
    if (!o.count("T")) throw CommandLineError("give the temperature --T (K)");
    const Setup s = setup(positional, o);
    const double t = number_option(o, "T", 0.0);
    const double from = number_option(o, "w-from", 0.01), to = number_option(o, "w-to", 0.9);
    const double points = number_option(o, "points", 12);
    if (!(points >= 2 && points <= 1000 && points == std::floor(points)))
        throw CommandLineError("--points needs a whole number from 2 to 1000");
    if (!(from > 0.0 && to < 1.0 && from < to)) throw CommandLineError("--w-from and --w-to need 0 < from < to < 1");
    const std::size_t ns = s.system.solvents();
    std::vector<std::string> names;
    for (std::size_t k = 0; k < ns; ++k) names.push_back(s.system.model().components()[k].name);
    struct Row {
        double w;
        equilibria::PolydisperseActivity dist, mono;
    };
    std::vector<Row> rows;
    bool all = true;
    for (int k = 0; k < static_cast<int>(points); ++k) {
        const double w = from + (to - from) * k / (points - 1);
        Row r{w, equilibria::polydisperse_activity(s.system, t, s.p, w, s.range),
              equilibria::polydisperse_activity(s.mono, t, s.p, w, s.range)};
        all = all && r.dist.ok() && r.mono.ok();
        rows.push_back(std::move(r));
    }
    const auto phases = [](const equilibria::PolydisperseActivity &a) -> std::string {
        if (!a.ok()) return "?";
        if (!a.demixed) return "1";
        char text[64];
        std::snprintf(text, sizeof text, "2 (%.4f, %.4f)", a.w_lean, a.w_rich);
        return text;
    };
    if (o.count("json")) {
        json out{{label("T"), t}, {label("P"), s.p}, {"distribution", s.distribution}, {"points", json::array()}};
        const auto values = [](const std::vector<double> &v) {
            json j = json::array();
            for (double x : v) j.push_back(std::isfinite(x) ? json(x) : json(nullptr));
            return j;
        };
        for (const Row &r : rows) {
            json pt{{label("w_polymer"), r.w}};
            for (const auto &[key, a] : {std::pair<const char *, const equilibria::PolydisperseActivity *>{"distribution", &r.dist},
                                         {"monodisperse at Mn", &r.mono}}) {
                pt[key] = {{"status", to_string(a->status)}, {"one liquid", values(a->one_liquid)},
                           {"equilibrium", values(a->equilibrium)}, {"demixed", a->demixed},
                           {label("w_lean"), std::isfinite(a->w_lean) ? json(a->w_lean) : json(nullptr)},
                           {label("w_rich"), std::isfinite(a->w_rich) ? json(a->w_rich) : json(nullptr)}};
                if (!a->message.empty()) pt[key]["message"] = a->message;
            }
            out["points"].push_back(pt);
        }
        out["solvents"] = names;
        std::cout << out.dump(2) << "\n";
    } else {
        std::printf("%s in %s at T = %.4f K, P = %.6g Pa\n%s; monodisperse: Mn\n", s.polymer.c_str(), s.solvent.c_str(),
                    t, s.p, s.distribution.c_str());
        std::printf("activity a = f / f(pure liquid solvent at T, P); one liquid: the feed unsplit; equilibrium: "
                    "the liquids it splits into below its cloud point\n");
        std::printf("%10s", "w_polymer");
        for (const std::string &n : names)
            std::printf(" %15s %15s %15s %15s", ("a[" + n + "] 1L").c_str(), "a (Mn) 1L", "a equilibrium",
                        "a (Mn) equil.");
        std::printf(" %-22s %-22s\n", "liquids (w lean, rich)", "liquids (Mn)");
        for (const Row &r : rows) {
            std::printf("%10.5f", r.w);
            for (std::size_t k = 0; k < ns; ++k) {
                const auto at = [k](const std::vector<double> &v) { return k < v.size() ? v[k] : std::nan(""); };
                std::printf(" %15.10f %15.10f %15.10f %15.10f", at(r.dist.one_liquid), at(r.mono.one_liquid),
                            at(r.dist.equilibrium), at(r.mono.equilibrium));
            }
            std::printf(" %-22s %-22s\n", phases(r.dist).c_str(), phases(r.mono).c_str());
            for (const auto *a : {&r.dist, &r.mono})
                if (!a->ok()) std::printf("  %s: %s\n", a == &r.dist ? "distribution" : "monodisperse", a->message.c_str());
        }
    }
    if (o.count("plot")) {
        PlotSpec plot{"activity of " + names[0] + " over " + s.polymer + " at " + std::to_string(t).substr(0, 6) + " K\n" +
                          s.distribution,
                      "polymer weight fraction w / (kg/kg)", "activity of " + names[0], false, 0, {}};
        PlotSeries one{"one liquid (distribution; = monodisperse at Mn)", {}, {}, "line", "C0"};
        PlotSeries dist{"equilibrium, distribution", {}, {}, "computed", "C3"};
        PlotSeries mono{"equilibrium, monodisperse at Mn", {}, {}, "dashed", "k"};
        for (const Row &r : rows) {
            if (r.dist.ok()) {
                one.x.push_back(r.w);
                one.y.push_back(r.dist.one_liquid[0]);
                dist.x.push_back(r.w);
                dist.y.push_back(r.dist.equilibrium[0]);
            }
            if (r.mono.ok()) {
                mono.x.push_back(r.w);
                mono.y.push_back(r.mono.equilibrium[0]);
            }
        }
        plot.series = {one, dist, mono};
        draw_png(plot, o.at("plot"));
    }
    return all ? 0 : 2;
}

}  // namespace

void add_polydisperse_commands(Commands &commands) {
    const std::string common = R"(
The case gives the solvent and the polymer (the first of each, or --solvent ID,
--polymer ID) with their PC-SAFT (or, with --model sanchez-lacombe,
Sanchez-Lacombe) parameters in data set 1, typed or from the parameter
database, and constant k_ij between them (PCSKIJ, SLKIJ). Several solvents
(--solvent A,B with --solvent-w) form a solvent mixture of fixed composition.
On PC-SAFT a polymer without parameters of its own is built from its segment
types (a copolymer of a fixed segment composition). The polymer's chains follow
a distribution discretised into pseudo-components by Gauss quadrature (Mn, Mw
and Mz kept exactly); they share the segment parameters and differ in chain
length.
)";
    const std::vector<OptionSpec> options{
        {"solvent", "ID[,ID...]", "the solvent or solvents (default: the case's first ordinary component)"},
        {"solvent-w", "W[,W...]", "several solvents: each one's weight fraction in the solvent mixture"},
        {"model", "NAME", "pcsaft (default) or sanchez-lacombe"},
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
        {"lower-branch", "", "seek a lower critical solution branch instead (two liquids above the cloud point)"},
        {"json", "", "JSON output"},
        {"plot", "FILE", "draw a PNG (matplotlib)"}};
    const std::string exit_status = "\nExit status: 0 every point converged, 2 some did not (listed), 1 a fault.\n";
    const Runner run = [](const Invocation &a) { return run_polydisperse_command(a.command, a.positional, a.options); };
    std::vector<OptionSpec> cloud = options, frac = options, sorb = options;
    cloud.insert(cloud.end(), {{"w-from", "W", "leanest feed polymer weight fraction (default 0.005)"},
                               {"w-to", "W", "richest feed polymer weight fraction (default 0.3)"},
                               {"points", "N", "feeds, evenly spaced in ln(w/(1-w)) (default 30)"},
                               {"T", "T", "hold the temperature (K) and find each feed's cloud-point pressure instead"},
                               {"P-min", "P", "with --T: lowest pressure sought, Pa (default 1e5)"},
                               {"P-max", "P", "with --T: highest pressure sought, Pa (default 1e8)"}});
    frac.insert(frac.end(), {{"T", "T", "temperature, K"}, {"w", "W", "the feed's polymer weight fraction"}});
    sorb.insert(sorb.end(), {{"T", "T", "temperature, K"},
                             {"w-from", "W", "leanest polymer weight fraction (default 0.01)"},
                             {"w-to", "W", "richest polymer weight fraction (default 0.9)"},
                             {"points", "N", "feeds, evenly spaced in w (default 12)"}});
    commands.add({"cloudpoint", "cloud-point and shadow curves of a polydisperse polymer in a solvent", "CASE",
                  R"(The cloud-point curve (the temperature at which a feed of polymer weight
fraction w first demixes, at P) and the shadow curve (the incipient phase's w
at that temperature), over feeds from --w-from to --w-to, and the critical
point where they meet. For a broad distribution the cloud-point curve's
maximum is not the critical point. With --T the temperature is held and each
feed's cloud-point pressure found from --P-min to --P-max (the critical point
at T sought within 20 K of T on the chosen branch; --T-min and --T-max unused).
)" + common,
                  cloud,
                  "Examples:\n  keld cloudpoint --Mw 2e5 --pseudo 20 --plot cloud.png examples/polystyrene-cyclohexane.json\n"
                  "  keld cloudpoint --T 500 --lower-branch --P-min 1e6 --P-max 5e7 --Mw 2e5 --pseudo 6 "
                  "examples/polystyrene-cyclohexane.json\n" +
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
    commands.add({"sorption", "solvent activity over a polydisperse polymer against the monodisperse one of its Mn",
                  "CASE",
                  R"(Each solvent's activity a = f / f(pure liquid solvent at T, P) over feeds of
polymer weight fraction --w-from to --w-to at T: the feed as one liquid, for
the distribution and for the monodisperse polymer of the same Mn, and the
equilibrium value. As one liquid the two are the same (the model depends on
the chain lengths only through the mean segment number); below a feed's cloud
point the liquid splits in two (their polymer contents listed) and the
distribution's activity departs from the monodisperse one's.
)" + common,
                  sorb,
                  "Examples:\n  keld sorption --T 298 --Mw 2e5 --pseudo 8 examples/polystyrene-cyclohexane.json\n" +
                      exit_status},
                 run);
}

int run_polydisperse_command(const std::string &command, const std::vector<std::string> &positional,
                             const std::map<std::string, std::string> &options) {
    if (command == "sorption") return sorption(positional, options);
    return command == "cloudpoint" ? cloudpoint(positional, options) : fractionate(positional, options);
}

}  // namespace keld::cli
