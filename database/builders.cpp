// Model components from the shipped database: the plain parameters of keld/model.hpp in its units.
#include <cmath>
#include <stdexcept>

#include "tables.h"

namespace keld::database {

namespace {

const Database &db() { return Database::shipped(); }

// A polymer needs its number-average molar mass, a molecule refuses one: a molecule given an Mn would
// silently keep its own molar mass.
void check_mn(const Component &c, const std::optional<double> &mn) {
    if (c.polymer() && !mn)
        throw std::invalid_argument(c.name + " is a polymer: give its number-average molar mass Mn in kg/kmol");
    if (!c.polymer() && mn)
        throw std::invalid_argument(c.name + " is not a polymer: its molar mass is fixed, Mn does not apply");
    if (mn && !(std::isfinite(*mn) && *mn > 0))
        throw std::invalid_argument(c.name + ": Mn must be a positive number of kg/kmol, not " + std::to_string(*mn));
}

double apparent_mw(const Component &c) { return c.polymer() ? Database::repeat_unit_mw(c).value_or(0.0) : 0.0; }

// m, sigma, eps/k and the molar mass of a PC-SAFT set: a polymer's m from m/MW and Mn.
struct PcSaftCore {
    double mw, m, sigma, epsilon_k;
};
PcSaftCore pcsaft_core(const Component &c, const ParameterSet &s, const std::optional<double> &mn) {
    if (c.polymer()) return {*mn, s.value("m_per_mw") * *mn, s.value("sigma"), s.value("eps_k")};
    return {s.value("mw"), s.value("m"), s.value("sigma"), s.value("eps_k")};
}

}  // namespace

PcSaftComponent pcsaft_component(std::string_view name, std::optional<double> mn) {
    const Component &c = db().find(name);
    check_mn(c, mn);
    if (db().parameters(c, kPcSaft).empty() && !db().parameters(c, kPcSaftAssoc).empty()) {
        throw std::invalid_argument(c.name + " associates: its PC-SAFT parameters hold association sites, which "
                                             "plain PC-SAFT would drop; use the associating family (pcsaft-assoc)");
    }
    const ParameterSet s = db().parameter_set(c, kPcSaft);
    const PcSaftCore core = pcsaft_core(c, s, mn);
    return {c.name, core.mw, core.m, core.sigma, core.epsilon_k, apparent_mw(c)};
}

PcSaftAssocComponent pcsaft_assoc_component(std::string_view name, std::string_view set, std::optional<double> mn) {
    const Component &c = db().find(name);
    check_mn(c, mn);
    const bool associating = !db().parameters(c, kPcSaftAssoc).empty();
    const ParameterSet s = db().parameter_set(c, associating ? kPcSaftAssoc : kPcSaft, set);
    const PcSaftCore core = pcsaft_core(c, s, mn);
    PcSaftAssocComponent out;
    out.name = c.name;
    out.mw = core.mw;
    out.m = core.m;
    out.sigma = core.sigma;
    out.epsilon_k = core.epsilon_k;
    out.mw_apparent = apparent_mw(c);
    if (associating) {
        // Huang-Radosz sites A and B: the A sites are the electron donors (negative), B the protons.
        out.sites = AssociationSites(static_cast<int>(s.value("n_sites_A")), static_cast<int>(s.value("n_sites_B")));
        out.kappa_ab = s.value("kappaAB");
        out.epsilon_ab_k = s.value("epsAB_k");
    }
    return out;
}

SaftComponent saft_component(std::string_view name) {
    const Component &c = db().find(name);
    const ParameterSet s = db().parameter_set(c, kSaft);
    if (s.find("epsAB_k") != nullptr) {
        throw std::invalid_argument(c.name + " associates in the SAFT table (scheme " + s.find("scheme")->text +
                                    "); the SAFT model without association would misrepresent it");
    }
    const Parameter *mw = s.find("mw");
    if (mw == nullptr) throw std::invalid_argument("the SAFT table gives no molar mass for " + c.name);
    // v00: cm3 per mole of segments -> m3/kmol (1 cm3/mol = 1e-3 m3/kmol).
    return {c.name, mw->value, s.value("m"), s.value("v00") * 1e-3, s.value("u0_k"), s.value("e_k"), 0.0};
}

SanchezLacombeComponent sanchez_lacombe_component(std::string_view name, std::optional<double> mn,
                                                  std::string_view set) {
    const Component &c = db().find(name);
    check_mn(c, mn);
    const ParameterSet s = db().parameter_set(c, kSanchezLacombe, set);
    const double mw = c.polymer() ? *mn : s.value("mw");
    // P*: MPa -> Pa.
    return {c.name, mw, s.value("T_star"), s.value("P_star") * 1e6, s.value("rho_star"), apparent_mw(c)};
}

CubicComponent cubic_component(std::string_view name) {
    const Component &c = db().find(name);
    const ParameterSet s = db().parameter_set(c, kCubic);
    return {c.name, s.value("mw"), s.value("Tc"), s.value("Pc"), s.value("omega"), 0.0};
}

std::vector<double> pcsaft_kij(const std::vector<std::string> &names) {
    std::vector<const Component *> components;
    for (const auto &n : names) components.push_back(&db().find(n));
    const std::size_t n = components.size();
    std::vector<double> kij(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            if (i == j) continue;
            if (const auto b = db().pcsaft_kij(*components[i], *components[j])) kij[i * n + j] = b->value;
        }
    }
    return kij;
}

double IdealGasCorrelation::cp(double t) const {
    if (!(t >= t_min && t <= t_max)) {
        throw std::out_of_range("the ideal-gas Cp correlation holds from " + std::to_string(t_min) + " to " +
                                std::to_string(t_max) + " K, not at " + std::to_string(t) + " K");
    }
    return a + std::exp(b / t + c + d * t + e * t * t);
}

IdealGasCorrelation ideal_gas_correlation(std::string_view name) {
    const Component &c = db().find(name);
    const ParameterSet s = db().parameter_set(c, kIdealGas);
    if (s.value("eqno") != 16) throw std::invalid_argument(c.name + ": an ideal-gas Cp equation other than 16");
    if (!s.t_min || !s.t_max) throw std::invalid_argument(c.name + ": the ideal-gas Cp correlation has no range");
    return {s.value("A"), s.value("B"), s.value("C"), s.value("D"), s.value("E"), *s.t_min, *s.t_max};
}

IdealGasHeatCapacity ideal_gas_heat_capacity(const std::vector<std::string> &names) {
    IdealGasHeatCapacity cp;
    cp.coefficients.resize(names.size());
    for (const std::string &name : names) {
        const IdealGasCorrelation f = ideal_gas_correlation(name);
        cp.exponential.emplace_back(IdealGasHeatCapacity::Exponential{f.a, f.b, f.c, f.d, f.e, f.t_min, f.t_max});
    }
    return cp;
}

}  // namespace keld::database
