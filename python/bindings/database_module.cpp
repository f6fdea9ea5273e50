// keld._core database functions: the shipped parameter database as plain dicts (keld/database.py
// shapes them). Unknown or ambiguous names raise ValueError with the closest candidates.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "keld/database.hpp"

namespace py = pybind11;

namespace keld::python {
namespace {

using database::Database;

py::object number_or_none(const std::optional<double> &v) { return v ? py::object(py::float_(*v)) : py::none(); }

py::dict component_dict(const database::Component &c) {
    py::dict d;
    d["name"] = c.name;
    d["kind"] = c.kind;
    d["cas"] = c.cas;
    d["formula"] = c.formula;
    d["synonyms"] = c.synonyms;
    d["repeat_unit_mw"] = c.polymer() ? number_or_none(Database::repeat_unit_mw(c)) : py::none();
    std::vector<std::string> families;
    for (const auto &s : Database::shipped().parameters(c)) {
        if (families.empty() || families.back() != s.family) families.push_back(s.family);
    }
    d["families"] = families;
    return d;
}

py::dict source_dict(const database::Source &s) {
    py::dict d;
    d["key"] = s.key;
    d["citation"] = s.citation;
    d["doi"] = s.doi;
    d["taken_from"] = s.taken_from;
    return d;
}

py::dict set_dict(const database::ParameterSet &s) {
    py::dict d;
    d["family"] = s.family;
    d["table"] = s.table;
    d["set"] = s.set;
    py::list parameters;
    for (const auto &p : s.parameters) {
        py::dict q;
        q["name"] = p.name;
        q["text"] = p.text;
        q["value"] = std::isnan(p.value) ? py::object(py::str(p.text)) : py::object(py::float_(p.value));
        q["unit"] = p.unit;
        parameters.append(q);
    }
    d["parameters"] = parameters;
    d["source"] = source_dict(s.source);
    d["validity"] = s.validity;
    d["T_min"] = number_or_none(s.t_min);
    d["T_max"] = number_or_none(s.t_max);
    d["P_max"] = number_or_none(s.p_max);
    d["note"] = s.note;
    return d;
}

}  // namespace

void bind_database(py::module_ &m) {
    const Database &db = Database::shipped();
    m.def("database_search", [&db](const std::string &word) {
        py::list out;
        for (const auto *c : db.search(word)) out.append(component_dict(*c));
        return out;
    });
    m.def("database_component", [&db](const std::string &name) { return component_dict(db.find(name)); });
    m.def("database_parameters", [&db](const std::string &name, const std::string &family) {
        const auto &c = db.find(name);
        py::list out;
        for (const auto &s : family.empty() ? db.parameters(c) : db.parameters(c, family)) out.append(set_dict(s));
        if (!family.empty() && out.empty()) db.parameter_set(c, family);  // raises, naming the families it has
        return out;
    });
    m.def("database_binaries", [&db](const std::string &name) {
        py::list out;
        for (const auto &b : db.binaries(db.find(name))) {
            py::dict d;
            d["family"] = b.family;
            d["other"] = b.other;
            d["name"] = b.name;
            d["value"] = b.value;
            d["source"] = source_dict(b.source);
            d["note"] = b.note;
            out.append(d);
        }
        return out;
    });
    m.def("database_pcsaft", [](const std::string &name, std::optional<double> mn) {
        const auto c = database::pcsaft_component(name, mn);
        py::dict d;
        d["name"] = c.name;
        d["mw"] = c.mw;
        d["m"] = c.m;
        d["sigma"] = c.sigma;
        d["epsilon_k"] = c.epsilon_k;
        if (c.mw_apparent > 0) d["mw_apparent"] = c.mw_apparent;
        return d;
    });
    m.def("database_pcsaft_assoc", [](const std::string &name, const std::string &set, std::optional<double> mn) {
        const auto c = database::pcsaft_assoc_component(name, set, mn);
        py::dict d;
        d["name"] = c.name;
        d["mw"] = c.mw;
        d["m"] = c.m;
        d["sigma"] = c.sigma;
        d["epsilon_k"] = c.epsilon_k;
        if (c.sites.any()) {
            d["sites"] = std::vector<int>{c.sites.negative, c.sites.positive, c.sites.bipolar};
            d["kappa_ab"] = c.kappa_ab;
            d["epsilon_ab_k"] = c.epsilon_ab_k;
        }
        if (c.mw_apparent > 0) d["mw_apparent"] = c.mw_apparent;
        return d;
    });
    m.def("database_saft", [](const std::string &name) {
        const auto c = database::saft_component(name);
        py::dict d;
        d["name"] = c.name;
        d["mw"] = c.mw;
        d["m"] = c.m;
        d["v00"] = c.v00;
        d["u0_k"] = c.u0_k;
        d["e_k"] = c.e_k;
        return d;
    });
    m.def("database_sanchez_lacombe", [](const std::string &name, std::optional<double> mn, const std::string &set) {
        const auto c = database::sanchez_lacombe_component(name, mn, set);
        py::dict d;
        d["name"] = c.name;
        d["mw"] = c.mw;
        d["t_star"] = c.t_star;
        d["p_star"] = c.p_star;
        d["rho_star"] = c.rho_star;
        if (c.mw_apparent > 0) d["mw_apparent"] = c.mw_apparent;
        return d;
    });
    m.def("database_cubic", [](const std::string &name) {
        const auto c = database::cubic_component(name);
        py::dict d;
        d["name"] = c.name;
        d["mw"] = c.mw;
        d["tc"] = c.tc;
        d["pc"] = c.pc;
        d["omega"] = c.omega;
        return d;
    });
    m.def("database_pcsaft_kij", [](const std::vector<std::string> &names) { return database::pcsaft_kij(names); });
    m.def("database_ideal_gas", [](const std::string &name) {
        const auto c = database::ideal_gas_correlation(name);
        py::dict d;
        d["A"] = c.a;
        d["B"] = c.b;
        d["C"] = c.c;
        d["D"] = c.d;
        d["E"] = c.e;
        d["T_min"] = c.t_min;
        d["T_max"] = c.t_max;
        return d;
    });
}

}  // namespace keld::python
