// keld._core - the compiled half of the Python module: a loaded case (its
// reference host and states) and the loops that call the property monitors.
// Argument checking and the friendly interface live in the Python package;
// this file only trusts arrays that the package has already shaped.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "keld/case.h"

namespace py = pybind11;

namespace keld::python {
void bind_equilibria(py::module_ &m);  // equilibria_module.cpp
void bind_model(py::module_ &m);       // model_module.cpp
void bind_database(py::module_ &m);    // database_module.cpp
void bind_envelope(py::module_ &m);    // envelope_module.cpp
void bind_ternary(py::module_ &m);     // ternary_module.cpp
void bind_threephase(py::module_ &m);  // threephase_module.cpp
void bind_polydisperse(py::module_ &m);  // polydisperse_module.cpp
void bind_vocabulary(py::module_ &m);    // vocabulary_module.cpp
}
using keld::refhost::Case;
using keld::refhost::CaseError;
using keld::refhost::ComponentKind;
using keld::refhost::StateRequest;
using keld::refhost::StateResult;

namespace {

// The Python exception type for faulty cases; created once at import and kept
// for the life of the interpreter.
PyObject *case_error_type = nullptr;

const char *kind_name(ComponentKind kind) {
    switch (kind) {
    case ComponentKind::polymer: return "polymer";
    case ComponentKind::oligomer: return "oligomer";
    case ComponentKind::segment: return "segment";
    case ComponentKind::ordinary: break;
    }
    return "ordinary";
}

const keld::refhost::ModelEntry &model_named(const std::string &name) {
    const auto *model = keld::refhost::find_model(name);
    if (model == nullptr) {
        std::string known;
        for (const auto &entry : keld::refhost::models()) {
            if (!known.empty()) known += ", ";
            known += entry.name;
        }
        throw py::value_error("unknown model '" + name + "' (known models: " + known + ")");
    }
    return *model;
}

// A case held by Python: the host is not copyable and belongs to this object.
class LoadedCase {
public:
    explicit LoadedCase(Case loaded) : case_(std::move(loaded)) {}

    static std::unique_ptr<LoadedCase> load(const std::string &path) {
        return std::make_unique<LoadedCase>(keld::refhost::load_case_file(path));
    }
    static std::unique_ptr<LoadedCase> parse(const std::string &json_text, const std::string &origin) {
        return std::make_unique<LoadedCase>(keld::refhost::parse_case(json_text, origin));
    }

    const std::string &origin() const { return case_.origin; }
    const std::string &title() const { return case_.title; }
    std::int64_t data_set_count() const { return case_.host->data_set_count(); }

    // The components taken from the parameter database, as keld eval --json records them.
    py::list database() const {
        py::list out;
        for (const keld::refhost::DatabaseUse &use : case_.database_uses) {
            py::list sets;
            for (const auto &s : use.sets) {
                py::dict d;
                d["model"] = s.family;
                d["data_set"] = s.data_set;
                d["set"] = s.set;
                d["table"] = s.table;
                d["source"] = s.source;
                sets.append(d);
            }
            py::dict d;
            d["component"] = use.component;
            d["entry"] = use.entry;
            d["sets"] = sets;
            py::list binaries;
            for (const auto &b : use.binaries) {
                py::dict e;
                e["model"] = b.family;
                e["data_set"] = b.data_set;
                e["with"] = b.other;
                e["parameter"] = b.name;
                e["value"] = b.value;
                e["source"] = b.source;
                binaries.append(e);
            }
            d["binaries"] = binaries;
            out.append(d);
        }
        return out;
    }

    py::list components() const {
        auto &host = *case_.host;
        py::list out;
        for (std::int64_t i = 1; i <= host.component_count(); ++i) {
            py::dict c;
            c["number"] = i;
            c["identifier"] = host.identifier(i);
            c["kind"] = kind_name(host.kind(i));
            c["MW"] = host.component_value("MW", i);
            c["MWN"] = host.number_average_mw(i);
            out.append(c);
        }
        return out;
    }

    std::size_t state_count() const { return case_.states.size(); }
    const StateRequest &state(std::size_t i) const { return case_.states.at(i); }

    // The calls below release the GIL while keld computes: other Python threads
    // run meanwhile, and keld's case layer takes its evaluations one at a time.
    StateResult evaluate_state(std::size_t i) {
        const StateRequest &request = case_.states.at(i);
        py::gil_scoped_release released;
        return keld::refhost::evaluate(*case_.host, request);
    }

    // The Helmholtz-energy model of a family from one of the case's data sets.
    // settings: the call's cubic settings and association option vector, as a StateRequest holds them.
    keld::Model model(const std::string &family, std::int64_t data_set, const std::vector<std::string> &ids,
                      std::int64_t option, const StateRequest &settings) {
        model_named(family);
        py::gil_scoped_release released;
        return keld::refhost::model_from_case(case_, family, data_set, ids, option,
                                              keld::refhost::settings_of(settings));
    }

    std::vector<std::string> initialise(const std::string &model) {
        const auto &entry = model_named(model);
        py::gil_scoped_release released;
        return keld::refhost::initialise_model(*case_.host, entry);
    }

    // Every model the case uses or gives parameters for, as a simulator
    // initialises once before its property calls: model -> message lines.
    py::dict initialise_all() {
        std::vector<keld::refhost::ModelInitialisation> reports;
        {
            py::gil_scoped_release released;
            reports = keld::refhost::initialise_case(case_);
        }
        py::dict out;
        for (const auto &report : reports) out[py::str(report.model)] = report.messages;
        return out;
    }

    StateResult evaluate_request(const StateRequest &request) {
        model_named(request.model);
        py::gil_scoped_release released;
        return keld::refhost::evaluate(*case_.host, request);
    }

    // One monitor call per row: T(n), P(n), Z(n, N) for the listed components.
    py::dict evaluate_many(StateRequest request, py::array_t<double, py::array::c_style | py::array::forcecast> t,
                           py::array_t<double, py::array::c_style | py::array::forcecast> p,
                           py::array_t<double, py::array::c_style | py::array::forcecast> z, unsigned workers) {
        model_named(request.model);
        const auto listed = static_cast<py::ssize_t>(request.components.size());
        if (t.ndim() != 1 || p.ndim() != 1 || z.ndim() != 2 || p.shape(0) != t.shape(0) ||
            z.shape(0) != t.shape(0) || z.shape(1) != listed || request.z.size() != request.components.size())
            throw py::value_error("evaluate_many: T(n), P(n) and Z(n, N) do not fit together");
        const auto n = t.shape(0);

        py::array_t<double> ln_phi({n, listed}), d_ln_phi({n, listed});
        std::vector<py::array_t<double>> scalars;
        for (int k = 0; k < 8; ++k) scalars.emplace_back(n);
        py::array_t<std::int64_t> status(n);
        py::list messages;

        // The inputs are copied while the GIL is held; the loop runs without it.
        auto t_in = t.unchecked<1>();
        auto p_in = p.unchecked<1>();
        auto z_in = z.unchecked<2>();
        std::vector<StateRequest> requests(static_cast<std::size_t>(n), request);
        for (py::ssize_t row = 0; row < n; ++row) {
            StateRequest &q = requests[static_cast<std::size_t>(row)];
            q.temperature = t_in(row);
            q.pressure = p_in(row);
            for (py::ssize_t k = 0; k < listed; ++k) q.z[static_cast<std::size_t>(k)] = z_in(row, k);
        }
        // Rows spread over `workers` threads where the family allows it, in order.
        std::vector<StateResult> results;
        {
            py::gil_scoped_release released;
            keld::refhost::ManyOptions options;
            options.workers = workers;
            results = keld::refhost::evaluate_many(*case_.host, requests, options);
        }
        auto phi_out = ln_phi.mutable_unchecked<2>();
        auto dphi_out = d_ln_phi.mutable_unchecked<2>();
        auto status_out = status.mutable_unchecked<1>();
        for (py::ssize_t row = 0; row < n; ++row) {
            const StateResult &r = results[static_cast<std::size_t>(row)];
            for (py::ssize_t k = 0; k < listed; ++k) {
                phi_out(row, k) = r.phi.at(static_cast<std::size_t>(k));
                dphi_out(row, k) = r.dphi.at(static_cast<std::size_t>(k));
            }
            const double values[8] = {r.h, r.s, r.g, r.v, r.dh, r.ds, r.dg, r.dv};
            for (int k = 0; k < 8; ++k) scalars[static_cast<std::size_t>(k)].mutable_at(row) = values[k];
            status_out(row) = r.status;
            messages.append(py::cast(r.messages));
        }
        py::dict out;
        out["ln_phi"] = ln_phi;
        out["d_ln_phi_dT"] = d_ln_phi;
        const char *names[8] = {"H", "S", "G", "V", "dH_dT", "dS_dT", "dG_dT", "dV_dT"};
        for (int k = 0; k < 8; ++k) out[names[k]] = scalars[static_cast<std::size_t>(k)];
        out["status"] = status;
        out["messages"] = messages;
        return out;
    }

private:
    Case case_;
};

py::dict result_fields(const StateResult &r) {
    py::dict out;
    out["ln_phi"] = py::array_t<double>(static_cast<py::ssize_t>(r.phi.size()), r.phi.data());
    out["d_ln_phi_dT"] = py::array_t<double>(static_cast<py::ssize_t>(r.dphi.size()), r.dphi.data());
    out["H"] = r.h;
    out["S"] = r.s;
    out["G"] = r.g;
    out["V"] = r.v;
    out["dH_dT"] = r.dh;
    out["dS_dT"] = r.ds;
    out["dG_dT"] = r.dg;
    out["dV_dT"] = r.dv;
    out["status"] = r.status;
    out["messages"] = r.messages;
    return out;
}

void translate_case_error(std::exception_ptr thrown) {
    try {
        if (thrown) std::rethrow_exception(thrown);
    } catch (const CaseError &e) {
        py::object type = py::reinterpret_borrow<py::object>(case_error_type);
        py::object error = type(e.what());
        error.attr("where") = e.where();
        PyErr_SetObject(case_error_type, error.ptr());
    }
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "Compiled core of keld: case loading and property-monitor calls on the reference host";

    case_error_type = PyErr_NewExceptionWithDoc("keld.CaseError",
                                                "A faulty case; `where` names the place (file and JSON path).",
                                                PyExc_ValueError, nullptr);
    if (case_error_type == nullptr) throw py::error_already_set();
    m.add_object("CaseError", py::reinterpret_borrow<py::object>(case_error_type));
    py::register_exception_translator(&translate_case_error);

    m.def("models", [] {
        py::list out;
        for (const auto &entry : keld::refhost::models()) {
            py::dict d;
            d["name"] = std::string(entry.name);
            d["description"] = std::string(entry.description);
            std::vector<std::string> parameters(entry.parameters.begin(), entry.parameters.end());
            d["parameters"] = parameters;
            d["temperature_derivatives"] = entry.temperature_derivatives;
            out.append(d);
        }
        return out;
    });

    py::class_<StateRequest>(m, "StateRequest")
        .def(py::init<>())
        .def_readwrite("model", &StateRequest::model)
        .def_readwrite("T", &StateRequest::temperature)
        .def_readwrite("P", &StateRequest::pressure)
        .def_readwrite("components", &StateRequest::components)
        .def_readwrite("z", &StateRequest::z)
        .def_readwrite("phase", &StateRequest::phase)
        .def_readwrite("flags", &StateRequest::flags)
        .def_readwrite("data_set", &StateRequest::data_set)
        .def_readwrite("diagnostics", &StateRequest::diagnostics)
        .def_readwrite("option", &StateRequest::option)
        .def_readwrite("mixing_rule", &StateRequest::mixing_rule)
        .def_readwrite("excess_model", &StateRequest::excess_model)
        .def_readwrite("alpha_option", &StateRequest::alpha_option)
        .def_readwrite("association_options", &StateRequest::association_options)
        .def_readwrite("label", &StateRequest::label);

    py::class_<LoadedCase>(m, "LoadedCase")
        .def_static("load", &LoadedCase::load, py::arg("path"))
        .def_static("parse", &LoadedCase::parse, py::arg("json_text"), py::arg("origin") = "<string>")
        .def_property_readonly("origin", &LoadedCase::origin)
        .def_property_readonly("title", &LoadedCase::title)
        .def_property_readonly("data_set_count", &LoadedCase::data_set_count)
        .def("database", &LoadedCase::database)
        .def("components", &LoadedCase::components)
        .def("state_count", &LoadedCase::state_count)
        .def("state", &LoadedCase::state, py::arg("index"), py::return_value_policy::copy)
        .def("evaluate_state", [](LoadedCase &c, std::size_t i) { return result_fields(c.evaluate_state(i)); },
             py::arg("index"))
        .def("evaluate_request",
             [](LoadedCase &c, const StateRequest &r) { return result_fields(c.evaluate_request(r)); },
             py::arg("request"))
        .def("evaluate_many", &LoadedCase::evaluate_many, py::arg("request"), py::arg("T"), py::arg("P"),
             py::arg("z"), py::arg("workers") = 1u)
        .def("initialise", &LoadedCase::initialise, py::arg("model"))
        .def("model", &LoadedCase::model, py::arg("family"), py::arg("data_set"), py::arg("ids"), py::arg("option"),
             py::arg("settings"))
        .def("initialise_all", &LoadedCase::initialise_all);

    keld::python::bind_model(m);
    keld::python::bind_equilibria(m);
    keld::python::bind_database(m);
    keld::python::bind_envelope(m);
    keld::python::bind_ternary(m);
    keld::python::bind_polydisperse(m);
    keld::python::bind_vocabulary(m);
    keld::python::bind_threephase(m);
}
