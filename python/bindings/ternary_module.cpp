// keld._core, liquid-liquid equilibria of a polymer, a solvent and a non-solvent on the model: the
// diagram at fixed T and P and the two-liquid flash. The Python package (keld/ternary.py) checks the
// arguments and builds the result classes from the dicts returned here.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "keld/equilibria/ternary.h"

namespace py = pybind11;
namespace eq = keld::equilibria;

namespace {

py::array_t<double> array(const std::vector<double> &v) {
    py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

py::array_t<double> matrix(const std::vector<std::vector<double>> &rows) {
    py::array_t<double> a({static_cast<py::ssize_t>(rows.size()), static_cast<py::ssize_t>(3)});
    double *out = a.mutable_data();
    for (const auto &r : rows) out = std::copy(r.begin(), r.end(), out);
    return a;
}

void outcome(py::dict &d, const eq::Outcome &o) {
    d["status"] = std::string(eq::to_string(o.status));
    d["message"] = o.message;
}

eq::TernaryRoles roles_of(std::size_t solvent, std::size_t nonsolvent, std::size_t polymer) {
    eq::TernaryRoles r;
    r.solvent = solvent;
    r.nonsolvent = nonsolvent;
    r.polymer = polymer;
    return r;
}

py::dict phase(const eq::TernaryPhase &p) {
    py::dict d;
    d["x"] = array(p.x);
    d["w"] = array(p.w);
    d["rho"] = p.rho;
    return d;
}

py::dict ternary_lle(const keld::Model &m, double t, double p, std::size_t solvent, std::size_t nonsolvent,
                     std::size_t polymer) {
    eq::TernaryDiagram r;
    {
        py::gil_scoped_release release;
        r = eq::ternary_lle(m, t, p, roles_of(solvent, nonsolvent, polymer));
    }
    std::vector<std::vector<double>> xl, xr, wl, wr;
    std::vector<double> rl, rr;
    for (const eq::TernaryTieLine &l : r.tie_lines) {
        xl.push_back(l.lean.x);
        xr.push_back(l.rich.x);
        wl.push_back(l.lean.w);
        wr.push_back(l.rich.w);
        rl.push_back(l.lean.rho);
        rr.push_back(l.rich.rho);
    }
    py::dict d;
    d["x_lean"] = matrix(xl);
    d["x_rich"] = matrix(xr);
    d["w_lean"] = matrix(wl);
    d["w_rich"] = matrix(wr);
    d["rho_lean"] = array(rl);
    d["rho_rich"] = array(rr);
    d["plait"] = r.plait.status == eq::Status::converged ? py::object(phase(r.plait.phase)) : py::object(py::none());
    outcome(d, r);
    return d;
}

py::dict ternary_flash(const keld::Model &m, double t, double p, const std::vector<double> &z, std::size_t solvent,
                       std::size_t nonsolvent, std::size_t polymer) {
    eq::TernaryFlash r;
    {
        py::gil_scoped_release release;
        r = eq::ternary_flash(m, t, p, z, roles_of(solvent, nonsolvent, polymer));
    }
    py::dict d;
    d["lean"] = r.lean.x.empty() ? py::object(py::none()) : py::object(phase(r.lean));
    d["rich"] = r.rich.x.empty() ? py::object(py::none()) : py::object(phase(r.rich));
    d["beta"] = r.beta;
    d["tpd"] = r.tpd;
    outcome(d, r);
    return d;
}

}  // namespace

namespace keld::python {

void bind_ternary(py::module_ &m) {
    m.def("ternary_lle", &ternary_lle, py::arg("model"), py::arg("T"), py::arg("P"), py::arg("solvent"),
          py::arg("nonsolvent"), py::arg("polymer"));
    m.def("ternary_flash", &ternary_flash, py::arg("model"), py::arg("T"), py::arg("P"), py::arg("z"),
          py::arg("solvent"), py::arg("nonsolvent"), py::arg("polymer"));
}

}  // namespace keld::python
