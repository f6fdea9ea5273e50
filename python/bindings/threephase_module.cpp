// keld._core, three phases on the model: the flash into up to three phases and the three-phase
// line of a binary. The Python package (keld/threephase.py) checks the arguments and builds the
// result classes from the dicts returned here.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "keld/equilibria/three_phase.h"

namespace py = pybind11;
namespace eq = keld::equilibria;

namespace {

py::dict flash_on_model(const keld::Model &m, double t, double p, const std::vector<double> &z, int phases) {
    eq::FlashResult r;
    {
        py::gil_scoped_release release;
        eq::MultiphaseOptions options;
        options.max_phases = phases;
        r = eq::flash_on_model(m, t, p, z, options);
    }
    py::list list;
    for (const eq::FlashPhase &ph : r.phases) {
        py::dict d;
        d["kind"] = ph.kind == eq::PhaseKind::vapour ? "vapour" : "liquid";
        d["fraction"] = ph.fraction;
        d["mass_fraction"] = ph.mass_fraction;
        d["x"] = ph.x;
        d["w"] = ph.w;
        d["ln_phi"] = ph.ln_phi;
        d["V"] = ph.v;
        list.append(d);
    }
    py::dict d;
    d["phases"] = list;
    d["status"] = std::string(eq::to_string(r.status));
    d["message"] = r.message;
    d["tangent_plane_distance"] = r.stability.tangent_plane_distance;
    d["iterations"] = r.iterations;
    d["residual"] = r.residual;
    return d;
}

py::dict vlle_line(const keld::Model &m, double t_start, double t_step) {
    eq::VlleLine r;
    {
        py::gil_scoped_release release;
        eq::VlleOptions options;
        options.t_start = t_start;
        options.t_step = t_step;
        r = eq::vlle_line(m, options);
    }
    std::vector<double> t, p, x1, x2, y, rho1, rho2, rho_v;
    for (const eq::ThreePhasePoint &pt : r.points) {
        t.push_back(pt.t);
        p.push_back(pt.p);
        x1.push_back(pt.x1[0]);
        x2.push_back(pt.x2[0]);
        y.push_back(pt.y[0]);
        rho1.push_back(pt.rho1);
        rho2.push_back(pt.rho2);
        rho_v.push_back(pt.rho_v);
    }
    py::dict d;
    d["T"] = t;
    d["P"] = p;
    d["x1"] = x1;
    d["x2"] = x2;
    d["y"] = y;
    d["rho1"] = rho1;
    d["rho2"] = rho2;
    d["rho_vapour"] = rho_v;
    d["end_point"] = r.end_point;
    d["eigenvalue"] = r.eigenvalue;
    d["cubic_form"] = r.cubic_form;
    d["residual"] = r.residual;
    d["status"] = std::string(eq::to_string(r.status));
    d["message"] = r.message;
    return d;
}

}  // namespace

namespace keld::python {

void bind_threephase(py::module_ &m) {
    m.def("flash_on_model", &flash_on_model, py::arg("model"), py::arg("T"), py::arg("P"), py::arg("z"),
          py::arg("phases"));
    m.def("vlle_line", &vlle_line, py::arg("model"), py::arg("T_start"), py::arg("T_step"));
}

}  // namespace keld::python
