// keld._core.Model: the Helmholtz-energy model, with loops over arrays of
// states. The Python package (keld/model.py) checks and shapes the arguments:
// every array arrives as float64, T and the density (or pressure) of length
// K and compositions K x N, C-contiguous.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "keld/case.h"
#include "keld/model.hpp"

namespace py = pybind11;

namespace keld::refhost::detail {
extern const char unifac_original_json[];  // the shipped original-UNIFAC table (JSON), compiled in
}

namespace keld::python {
namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Row k of a K x N composition array.
std::span<const double> row(const Array &z, py::ssize_t k) {
    return {z.data() + k * z.shape(1), static_cast<std::size_t>(z.shape(1))};
}

Array vector_of(py::ssize_t k) { return Array(k); }
Array matrix_of(py::ssize_t k, py::ssize_t n) { return Array({k, n}); }

// The fields of keld::Properties as arrays over the states.
struct PropertyArrays {
    std::map<std::string, Array> scalars, vectors;
    Array dln_phi_dn;
};

#define KELD_SCALARS(X)                                                                                           \
    X(t) X(rho) X(p) X(z) X(v) X(a_res) X(u_res) X(h_res) X(s_res) X(g_res) X(s_departure) X(g_departure) \
        X(cv_res) X(cp_res) X(dp_drho) X(dp_dt) X(kappa_t) X(dv_dt) X(cv) X(cp) X(speed_of_sound)            \
            X(joule_thomson) X(v_apparent) X(h_res_apparent) X(s_departure_apparent) X(g_departure_apparent)
#define KELD_VECTORS(X)                                                                                        \
    X(x) X(ln_phi) X(mu_res) X(partial_volume) X(dln_phi_dt) X(dln_phi_dp) X(z_apparent) X(ln_phi_apparent)

py::dict properties_loop(const Model &m, const Array &t, const Array &rho_or_p, const Array &z, bool at_pressure,
                         int phase, bool composition, const std::vector<std::vector<double>> &cp,
                         const std::vector<std::vector<double>> &cp_exponential) {
    const py::ssize_t count = t.shape(0), n = static_cast<py::ssize_t>(m.size());
    IdealGasHeatCapacity ig{cp, {}};
    // The exponential form per component as (a, b, c, d, e, t_min, t_max); empty: the polynomial.
    for (const std::vector<double> &f : cp_exponential) {
        if (f.empty()) {
            ig.exponential.emplace_back();
            continue;
        }
        if (f.size() != 7) throw py::value_error("an exponential ideal-gas Cp takes a, b, c, d, e, T_min, T_max");
        ig.exponential.emplace_back(IdealGasHeatCapacity::Exponential{f[0], f[1], f[2], f[3], f[4], f[5], f[6]});
    }
    if (!ig.exponential.empty() && ig.coefficients.empty()) ig.coefficients.resize(ig.exponential.size());
    PropertyRequest request;
    request.composition_derivatives = composition;
    request.ideal_gas = cp.empty() && cp_exponential.empty() ? nullptr : &ig;
    std::map<std::string, Array> out;
#define MAKE_SCALAR(name) out.emplace(#name, vector_of(count));
#define MAKE_VECTOR(name) out.emplace(#name, matrix_of(count, n));
    KELD_SCALARS(MAKE_SCALAR)
    KELD_VECTORS(MAKE_VECTOR)
    Array dn = composition ? Array({count, n, n}) : Array({count, py::ssize_t(0), py::ssize_t(0)});
    std::vector<double *> scalar_ptr, vector_ptr;
    for (py::ssize_t k = 0; k < count; ++k) {
        std::optional<Properties> p;
        {
            py::gil_scoped_release free;
            if (at_pressure) {
                p = properties_at_pressure(m, t.data()[k], rho_or_p.data()[k], row(z, k), Phase(phase), request);
            } else {
                p = properties(m, t.data()[k], rho_or_p.data()[k], row(z, k), request);
            }
        }
#define FILL_SCALAR(name) out.at(#name).mutable_data()[k] = p ? p->name : kNaN;
#define FILL_VECTOR(name)                                                                                 \
    for (py::ssize_t i = 0; i < n; ++i)                                                                   \
        out.at(#name).mutable_data()[k * n + i] = p ? p->name[static_cast<std::size_t>(i)] : kNaN;
        KELD_SCALARS(FILL_SCALAR)
        KELD_VECTORS(FILL_VECTOR)
        if (composition)
            for (py::ssize_t e = 0; e < n * n; ++e)
                dn.mutable_data()[k * n * n + e] = p ? p->dln_phi_dn[static_cast<std::size_t>(e)] : kNaN;
    }
    py::dict d;
    for (auto &[name, array] : out) d[py::str(name)] = array;
    d["dln_phi_dn"] = dn;
    return d;
}

py::dict derivatives_loop(const Model &m, const Array &t, const Array &rho, const Array &z) {
    const py::ssize_t count = t.shape(0);
    const char *names[] = {"a", "a_t", "a_rho", "a_tt", "a_trho", "a_rhorho", "a_rhorhorho"};
    std::vector<Array> columns;
    for (int c = 0; c < 7; ++c) columns.push_back(vector_of(count));
    for (py::ssize_t k = 0; k < count; ++k) {
        const AlpharDerivatives d = m.derivatives(t.data()[k], rho.data()[k], row(z, k));
        const double values[] = {d.a, d.a_t, d.a_rho, d.a_tt, d.a_trho, d.a_rhorho, d.a_rhorhorho};
        for (int c = 0; c < 7; ++c) columns[c].mutable_data()[k] = values[c];
    }
    py::dict d;
    for (int c = 0; c < 7; ++c) d[names[c]] = columns[c];
    return d;
}

// A PC-SAFT association-and-dipole component or segment type from the mapping the Python package
// checked (keld/model.py): the keys it holds, numbers as floats, "sites" a scheme or a tuple of counts.
AssociationSites sites_of(const py::handle &value) {
    if (py::isinstance<py::str>(value)) return AssociationSites(value.cast<std::string>());
    const auto counts = value.cast<std::vector<int>>();
    return AssociationSites(counts.at(0), counts.at(1), counts.size() > 2 ? counts[2] : 0);
}

template <class T>
void read_number(const py::dict &d, const char *key, T &into) {
    if (d.contains(key)) into = d[key].cast<T>();
}

template <class Species>
void read_association(const py::dict &d, Species &s) {
    s.name = d["name"].cast<std::string>();
    read_number(d, "mw", s.mw);
    read_number(d, "sigma", s.sigma);
    read_number(d, "epsilon_k", s.epsilon_k);
    if (d.contains("sites")) s.sites = sites_of(d["sites"]);
    read_number(d, "kappa_ab", s.kappa_ab);
    read_number(d, "epsilon_ab_k", s.epsilon_ab_k);
    read_number(d, "dipole", s.dipole);
    read_number(d, "dipolar_fraction", s.dipolar_fraction);
}

PcSaftAssocComponent assoc_component(const py::dict &d) {
    PcSaftAssocComponent c;
    read_association(d, c);
    read_number(d, "m", c.m);
    read_number(d, "mw_apparent", c.mw_apparent);
    if (d.contains("segments")) {
        for (const py::handle &item : d["segments"]) {
            const py::dict sd = py::reinterpret_borrow<py::dict>(item);
            PcSaftAssocSegment s;
            read_association(sd, s);
            read_number(sd, "mass_fraction", s.mass_fraction);
            read_number(sd, "segment_ratio", s.segment_ratio);
            c.segments.push_back(std::move(s));
        }
    }
    return c;
}

PcSaftAssocBinary assoc_binary(const py::dict &d) {
    PcSaftAssocBinary b;
    b.first = d["first"].cast<std::string>();
    b.second = d["second"].cast<std::string>();
    read_number(d, "k_ij", b.k_ij);
    read_number(d, "l_ij", b.l_ij);
    if (d.contains("epsilon_ab_k")) b.epsilon_ab_k = d["epsilon_ab_k"].cast<double>();
    if (d.contains("kappa_ab")) b.kappa_ab = d["kappa_ab"].cast<double>();
    return b;
}

// The cubic's rule and activity model by the names the Python package uses.
CubicMixingRule mixing_rule_named(const std::string &name) {
    static const std::map<std::string, CubicMixingRule> rules{{"van_der_waals", CubicMixingRule::van_der_waals},
                                                              {"wong_sandler", CubicMixingRule::wong_sandler},
                                                              {"mhv1", CubicMixingRule::mhv1},
                                                              {"mhv2", CubicMixingRule::mhv2}};
    return rules.at(name);
}

ExcessGibbsModel excess_model_named(const std::string &name) {
    static const std::map<std::string, ExcessGibbsModel> models{
        {"ideal", ExcessGibbsModel::ideal}, {"redlich_kister", ExcessGibbsModel::redlich_kister},
        {"wilson", ExcessGibbsModel::wilson}, {"van_laar", ExcessGibbsModel::van_laar},
        {"nrtl", ExcessGibbsModel::nrtl},   {"uniquac", ExcessGibbsModel::uniquac},
        {"unifac", ExcessGibbsModel::unifac}};
    return models.at(name);
}

}  // namespace

void bind_model(py::module_ &m) {
    m.def("shipped_unifac_table", [] { return std::string(refhost::detail::unifac_original_json); });
    py::class_<Model>(m, "Model")
        .def_static(
            "pcsaft",
            [](const std::vector<std::string> &names, const std::vector<double> &mw, const std::vector<double> &seg,
               const std::vector<double> &sigma, const std::vector<double> &eps, const std::vector<double> &mw_apparent,
               const std::vector<double> &kij) {
                std::vector<PcSaftComponent> components;
                for (std::size_t k = 0; k < names.size(); ++k)
                    components.push_back({names[k], mw.at(k), seg.at(k), sigma.at(k), eps.at(k), mw_apparent.at(k)});
                return Model::pcsaft(std::move(components), kij);
            },
            py::arg("names"), py::arg("mw"), py::arg("m"), py::arg("sigma"), py::arg("epsilon_k"),
            py::arg("mw_apparent"), py::arg("kij"))
        .def_static(
            "saft",
            [](const std::vector<std::string> &names, const std::vector<double> &mw, const std::vector<double> &seg,
               const std::vector<double> &v00, const std::vector<double> &u0, const std::vector<double> &e,
               const std::vector<double> &mw_apparent, const std::vector<double> &kij, const std::vector<double> &lij) {
                std::vector<SaftComponent> components;
                for (std::size_t k = 0; k < names.size(); ++k)
                    components.push_back({names[k], mw.at(k), seg.at(k), v00.at(k), u0.at(k), e.at(k), mw_apparent.at(k)});
                return Model::saft(std::move(components), kij, lij);
            },
            py::arg("names"), py::arg("mw"), py::arg("m"), py::arg("v00"), py::arg("u0_k"), py::arg("e_k"),
            py::arg("mw_apparent"), py::arg("kij"), py::arg("lij"))
        .def_static(
            "sanchez_lacombe",
            [](const std::vector<std::string> &names, const std::vector<double> &mw, const std::vector<double> &t_star,
               const std::vector<double> &p_star, const std::vector<double> &rho_star,
               const std::vector<double> &mw_apparent, const std::vector<double> &kij, const std::vector<double> &eta) {
                std::vector<SanchezLacombeComponent> components;
                for (std::size_t k = 0; k < names.size(); ++k)
                    components.push_back({names[k], mw.at(k), t_star.at(k), p_star.at(k), rho_star.at(k), mw_apparent.at(k)});
                return Model::sanchez_lacombe(std::move(components), kij, eta);
            },
            py::arg("names"), py::arg("mw"), py::arg("t_star"), py::arg("p_star"), py::arg("rho_star"),
            py::arg("mw_apparent"), py::arg("kij"), py::arg("eta"))
        .def_static(
            "cubic",
            [](const std::vector<std::string> &names, const std::vector<double> &mw, const std::vector<double> &tc,
               const std::vector<double> &pc, const std::vector<double> &omega, const std::vector<double> &mw_apparent,
               const std::string &rule, const std::string &excess, const py::dict &binaries,
               const std::vector<std::tuple<std::string, std::string, double, double>> &subgroups,
               const std::vector<std::tuple<std::string, std::string, double>> &interactions,
               const std::vector<std::vector<std::pair<std::string, double>>> &groups,
               const std::vector<std::vector<double>> &mathias_copeman) {
                std::vector<CubicComponent> components;
                for (std::size_t k = 0; k < names.size(); ++k)
                    components.push_back({names[k], mw.at(k), tc.at(k), pc.at(k), omega.at(k), mw_apparent.at(k)});
                CubicOptions o;
                o.rule = mixing_rule_named(rule);
                o.excess_gibbs = excess_model_named(excess);
                auto matrix = [&](const char *key) {
                    return binaries.contains(key) ? binaries[key].cast<std::vector<double>>() : std::vector<double>{};
                };
                o.kij = matrix("kij");
                o.ge_a = matrix("ge_a");
                o.ge_b = matrix("ge_b");
                o.nrtl_alpha = matrix("nrtl_alpha");
                o.uniquac_r = matrix("uniquac_r");
                o.uniquac_q = matrix("uniquac_q");
                for (const auto &[name, main, r, q] : subgroups) o.unifac.subgroups.push_back({name, main, r, q});
                for (const auto &[m, n, a] : interactions) o.unifac.interactions.push_back({m, n, a});
                o.unifac.groups = groups;
                o.mathias_copeman = mathias_copeman;
                return Model::cubic(std::move(components), o);
            },
            py::arg("names"), py::arg("mw"), py::arg("tc"), py::arg("pc"), py::arg("omega"), py::arg("mw_apparent"),
            py::arg("rule"), py::arg("excess_gibbs"), py::arg("binaries"), py::arg("subgroups"),
            py::arg("interactions"), py::arg("groups"), py::arg("mathias_copeman"))
        .def_static(
            "pcsaft_assoc",
            [](const py::list &components, const py::list &binaries) {
                std::vector<PcSaftAssocComponent> cs;
                for (const py::handle &c : components) cs.push_back(assoc_component(py::reinterpret_borrow<py::dict>(c)));
                std::vector<PcSaftAssocBinary> bs;
                for (const py::handle &b : binaries) bs.push_back(assoc_binary(py::reinterpret_borrow<py::dict>(b)));
                return Model::pcsaft_assoc(std::move(cs), std::move(bs));
            },
            py::arg("components"), py::arg("binaries"))
        .def_property_readonly("family", &Model::family)
        .def_property_readonly("size", &Model::size)
        .def_property_readonly("components",
                               [](const Model &self) {
                                   py::list out;
                                   for (const ModelComponent &c : self.components())
                                       out.append(py::make_tuple(c.name, c.mw, c.mw_apparent));
                                   return out;
                               })
        .def("alphar",
             [](const Model &self, const Array &t, const Array &rho, const Array &z) {
                 Array out = vector_of(t.shape(0));
                 for (py::ssize_t k = 0; k < t.shape(0); ++k)
                     out.mutable_data()[k] = self.alphar(t.data()[k], rho.data()[k], row(z, k));
                 return out;
             })
        .def("derivatives", &derivatives_loop)
        .def("max_density",
             [](const Model &self, const Array &t, const Array &z) {
                 Array out = vector_of(t.shape(0));
                 for (py::ssize_t k = 0; k < t.shape(0); ++k)
                     out.mutable_data()[k] = self.max_density(t.data()[k], row(z, k));
                 return out;
             })
        .def("density",
             [](const Model &self, const Array &t, const Array &p, const Array &z, int phase) {
                 Array out = vector_of(t.shape(0));
                 for (py::ssize_t k = 0; k < t.shape(0); ++k) {
                     const std::optional<double> rho = density(self, t.data()[k], p.data()[k], row(z, k), Phase(phase));
                     out.mutable_data()[k] = rho ? *rho : kNaN;
                 }
                 return out;
             })
        .def("properties", &properties_loop)
        .def("amount_derivatives",
             [](const Model &self, double t, double v, const std::vector<double> &n, bool hessian) {
                 const AmountDerivatives a = self.amount_derivatives(t, v, n, {true, hessian, true, true});
                 py::dict d;
                 d["psi"] = a.psi;
                 d["gradient"] = a.gradient;
                 d["hessian"] = a.hessian;
                 d["d_v"] = a.d_v;
                 d["d_t"] = a.d_t;
                 return d;
             })
        .def("second_derivatives",
             [](const Model &self, double t, double rho, const std::vector<double> &n) {
                 const SecondDerivatives s = self.second_derivatives(t, rho, n);
                 py::dict d;
                 d["a"] = s.t_rho.a;
                 d["a_t"] = s.t_rho.a_t;
                 d["a_rho"] = s.t_rho.a_rho;
                 d["a_tt"] = s.t_rho.a_tt;
                 d["a_trho"] = s.t_rho.a_trho;
                 d["a_rhorho"] = s.t_rho.a_rhorho;
                 d["psi"] = s.amounts.psi;
                 d["gradient"] = s.amounts.gradient;
                 d["hessian"] = s.amounts.hessian;
                 d["d_v"] = s.amounts.d_v;
                 d["d_t"] = s.amounts.d_t;
                 return d;
             });
}

}  // namespace keld::python
