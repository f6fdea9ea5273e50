// keld props (see cli_props.h).
#include "cli_props.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include "cli_help.h"
#include "model_names.h"
#include "keld/case.h"
#include "keld/model.hpp"

namespace keld::cli {
namespace {

double number(const std::string &option, const std::string &text) {
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v) || !(v > 0.0))
        throw std::invalid_argument("--" + option + " needs a positive number, not '" + text + "'");
    return v;
}

std::string shown(double v) {
    if (std::isnan(v)) return "-";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.10g", v);
    return buffer;
}

void line(const std::string &name, double value, const std::string &unit) {
    std::printf("  %-28s %-20s %s\n", name.c_str(), shown(value).c_str(), unit.c_str());
}

}  // namespace

int run_props(const std::vector<std::string> &positional, const std::map<std::string, std::string> &options) {
    if (positional.size() != 1) throw std::invalid_argument("expected one case file");
    refhost::Case c = refhost::load_case_file(positional.front());
    std::size_t index = 0;
    if (options.count("state")) {
        const long long n = std::atoll(options.at("state").c_str());
        if (n < 1 || static_cast<std::size_t>(n) > c.states.size())
            throw std::invalid_argument("--state needs a state number from 1 to " + std::to_string(c.states.size()));
        index = static_cast<std::size_t>(n - 1);
    }
    if (c.states.empty()) throw std::invalid_argument("the case has no state to take the composition from");
    const refhost::StateRequest &state = c.states[index];
    if (options.count("P") && options.count("rho")) throw std::invalid_argument("--P and --rho exclude each other");
    const std::string family = options.count("model") ? options.at("model") : state.model;
    const double t = options.count("T") ? number("T", options.at("T")) : state.temperature;
    Phase phase = state.phase == 1 ? Phase::vapour : Phase::liquid;
    if (options.count("phase")) {
        const std::string &p = options.at("phase");
        if (p != "liquid" && p != "vapour") throw std::invalid_argument("--phase needs liquid or vapour");
        phase = p == "liquid" ? Phase::liquid : Phase::vapour;
    }
    std::vector<std::string> ids;
    for (std::int64_t i : state.components) ids.push_back(c.host->identifier(i));
    // The state's own call settings (the cubic's mixing rule, the association option) when it is its family.
    const Model m = refhost::model_from_case(c, family, state.data_set, ids, state.option,
                                             family == state.model ? refhost::settings_of(state) : ModelSettings{});
    // The state's apparent mole fractions, as molecules.
    std::vector<double> x(ids.size());
    for (std::size_t k = 0; k < x.size(); ++k)
        x[k] = state.z[k] * m.components()[k].mw_apparent / m.components()[k].mw;
    std::optional<Properties> p;
    std::string at;
    if (options.count("rho")) {
        const double rho = number("rho", options.at("rho"));
        p = properties(m, t, rho, x);
        at = "rho = " + shown(rho) + " kmol/m3";
    } else {
        const double pressure = options.count("P") ? number("P", options.at("P")) : state.pressure;
        p = properties_at_pressure(m, t, pressure, x, phase);
        at = "P = " + shown(pressure) + " Pa, " + (phase == Phase::liquid ? "liquid" : "vapour");
        if (!p) {
            std::cout << "No " << (phase == Phase::liquid ? "liquid" : "vapour") << " density root of the "
                      << model_display_name(family) << " model at T = " << shown(t) << " K, " << at << "\n";
            return 2;
        }
    }
    std::cout << "Model properties: " << model_display_name(family) << " (" << family << "), T = " << shown(t) << " K, " << at << "\n";
    std::cout << "case: " << c.origin << ", state " << index + 1 << (state.label.empty() ? "" : ": " + state.label)
              << "\n\n";
    // The names of keld.Model.properties(): per molecules, and *_apparent as the host counts.
    std::printf("  %-12s %-16s %-16s %-16s %-18s %-16s\n", "component", "x", "z_apparent", "ln_phi", "ln_phi_apparent",
                "partial_volume / (m3/kmol)");
    for (std::size_t k = 0; k < x.size(); ++k)
        std::printf("  %-12s %-16s %-16s %-16s %-18s %-16s\n", ids[k].c_str(), shown(p->x[k]).c_str(),
                    shown(p->z_apparent[k]).c_str(), shown(p->ln_phi[k]).c_str(),
                    shown(p->ln_phi_apparent[k]).c_str(), shown(p->partial_volume[k]).c_str());
    std::cout << "\n  per kmol of molecules (residual parts at T and P; departures against the ideal gas at 101325 "
                 "Pa):\n";
    line("P", p->p, "Pa");
    line("rho", p->rho, "kmol/m3");
    line("V", p->v, "m3/kmol");
    line("Z", p->z, "-");
    line("H_res = H - H_ig(T)", p->h_res, "J/kmol");
    line("S_res = S - S_ig(T, P)", p->s_res, "J/(kmol K)");
    line("G_res = G - G_ig(T, P)", p->g_res, "J/kmol");
    line("U_res (T, V)", p->u_res, "J/kmol");
    line("A_res (T, V)", p->a_res, "J/kmol");
    line("S - S_ig(T, P_ref)", p->s_departure, "J/(kmol K)");
    line("G - G_ig(T, P_ref)", p->g_departure, "J/kmol");
    line("Cv_res", p->cv_res, "J/(kmol K)");
    line("Cp_res", p->cp_res, "J/(kmol K)");
    line("(dP/drho)_T", p->dp_drho, "Pa m3/kmol");
    line("(dP/dT)_rho", p->dp_dt, "Pa/K");
    line("kappa_T", p->kappa_t, "1/Pa");
    line("(dV/dT)_P", p->dv_dt, "m3/(kmol K)");
    std::cout << "\n  per kmol counted as the host counts (a polymer in repeat units), as the monitors report:\n";
    line("V", p->v_apparent, "m3/kmol");
    line("H - H_ig(T)", p->h_res_apparent, "J/kmol");
    line("S - S_ig(T, P_ref)", p->s_departure_apparent, "J/(kmol K)");
    line("G - G_ig(T, P_ref)", p->g_departure_apparent, "J/kmol");
    std::cout << "\n  (Cp, Cv, the speed of sound and the Joule-Thomson coefficient need ideal-gas heat capacities: "
                 "keld.Model.properties(..., ideal_gas_cp=...) in Python.)\n";
    return 0;
}

void add_props_commands(Commands &commands) {
    HelpText text = help_text("props");
    commands.add({"props",
                  "the Helmholtz-energy model's properties of a state at (T, P) or (T, rho)",
                  "CASE",
                  text.description,
                  {{"state", "N", "the state (default 1)"},
                   {"T", "T", "temperature in K (default: the state's)"},
                   {"P", "P", "pressure in Pa (default: the state's)"},
                   {"rho", "RHO", "molar density in kmol/m3 instead of a pressure"},
                   {"phase", "liquid|vapour", "the density root (default: the state's phase)"},
                   {"model", "NAME", "the model family (default: the state's)"}},
                  text.footer},
                 [](const Invocation &a) { return run_props(a.positional, a.options); });
}

}  // namespace keld::cli
