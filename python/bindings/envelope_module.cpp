// keld._core, curves traced on the model through their critical points: the
// P-x-y isotherm of a binary and the P-T envelope of a fixed composition. The
// Python package (keld/envelope.py) checks the arguments and builds the
// result classes from the dicts returned here.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "keld/equilibria/critical_curve.h"
#include "keld/equilibria/envelope.h"

namespace py = pybind11;
namespace eq = keld::equilibria;

namespace {

py::array_t<double> array(const std::vector<double> &v) {
    py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

py::array_t<double> matrix(const std::vector<std::vector<double>> &rows, std::size_t columns) {
    py::array_t<double> a({static_cast<py::ssize_t>(rows.size()), static_cast<py::ssize_t>(columns)});
    double *out = a.mutable_data();
    for (const auto &r : rows) out = std::copy(r.begin(), r.end(), out);
    return a;
}

void outcome(py::dict &d, const eq::Outcome &o) {
    d["status"] = std::string(eq::to_string(o.status));
    d["message"] = o.message;
}

py::dict binary_curve(const keld::Model &m, const eq::BinaryCurve &r) {
    std::vector<double> t, p, rl, rv;
    std::vector<std::vector<double>> x, y;
    for (const eq::TieLine &pt : r.points) {
        t.push_back(pt.t);
        p.push_back(pt.p);
        rl.push_back(pt.rho_liquid);
        rv.push_back(pt.rho_vapour);
        x.push_back(pt.x);
        y.push_back(pt.y);
    }
    py::dict d;
    d["T"] = array(t);
    d["P"] = array(p);
    d["x"] = matrix(x, m.size());
    d["y"] = matrix(y, m.size());
    d["rho_liquid"] = array(rl);
    d["rho_vapour"] = array(rv);
    d["ends_at_critical"] = r.ends_at_critical;
    d["critical"] = r.ends_at_critical
                        ? py::object(py::make_tuple(r.critical.t, r.critical.p, r.critical.rho, array(r.critical.x)))
                        : py::object(py::none());
    outcome(d, r);
    return d;
}

py::dict pxy_isotherm(const keld::Model &m, double t) {
    eq::PxyIsotherm r;
    {
        py::gil_scoped_release release;
        r = eq::pxy_isotherm(m, t);
    }
    return binary_curve(m, r);
}

py::dict txy_isobar(const keld::Model &m, double p) {
    eq::TxyIsobar r;
    {
        py::gil_scoped_release release;
        r = eq::txy_isobar(m, p);
    }
    return binary_curve(m, r);
}

py::dict phase_envelope(const keld::Model &m, const std::vector<double> &z, double p_low) {
    eq::PhaseEnvelope r;
    {
        py::gil_scoped_release release;
        eq::EnvelopeOptions options;
        options.p_low = p_low;
        r = eq::phase_envelope(m, z, options);
    }
    std::vector<double> t, p, rf, ri, bubble;
    std::vector<std::vector<double>> inc;
    for (const eq::EnvelopePoint &pt : r.points) {
        t.push_back(pt.t);
        p.push_back(pt.p);
        rf.push_back(pt.rho_feed);
        ri.push_back(pt.rho_incipient);
        inc.push_back(pt.incipient);
        bubble.push_back(pt.bubble ? 1.0 : 0.0);
    }
    py::dict d;
    d["z"] = array(r.z);
    d["T"] = array(t);
    d["P"] = array(p);
    d["rho_feed"] = array(rf);
    d["rho_incipient"] = array(ri);
    d["incipient"] = matrix(inc, m.size());
    d["bubble"] = array(bubble);
    auto point = [](const eq::EnvelopePoint &e) { return py::make_tuple(e.t, e.p); };
    d["critical"] = r.has_critical ? py::object(py::make_tuple(r.critical.t, r.critical.p, r.critical.rho))
                                   : py::object(py::none());
    d["critical_index"] = r.has_critical ? py::object(py::int_(r.critical_index)) : py::object(py::none());
    d["cricondenbar"] = r.has_cricondenbar ? py::object(point(r.cricondenbar)) : py::object(py::none());
    d["cricondentherm"] = r.has_cricondentherm ? py::object(point(r.cricondentherm)) : py::object(py::none());
    outcome(d, r);
    return d;
}

py::dict critical_curve(const keld::Model &m, double p_max) {
    eq::CriticalCurve r;
    {
        py::gil_scoped_release release;
        eq::CriticalCurveOptions options;
        options.p_max = p_max;
        r = eq::critical_curve(m, options);
    }
    std::vector<double> t, p, v, x1, tpd;
    py::list stable;
    for (const eq::CriticalCurvePoint &pt : r.points) {
        t.push_back(pt.t);
        p.push_back(pt.p);
        v.push_back(pt.v);
        x1.push_back(pt.x1);
        tpd.push_back(pt.tangent_plane_distance);
        stable.append(pt.stable);
    }
    py::dict d;
    d["T"] = array(t);
    d["P"] = array(p);
    d["V"] = array(v);
    d["x1"] = array(x1);
    d["tpd"] = array(tpd);
    d["stable"] = stable;
    d["reaches_other"] = r.reaches_other;
    d["pressure_capped"] = r.pressure_capped;
    outcome(d, r);
    return d;
}

}  // namespace

namespace keld::python {

void bind_envelope(py::module_ &m) {
    m.def("pxy_isotherm", &pxy_isotherm, py::arg("model"), py::arg("T"));
    m.def("txy_isobar", &txy_isobar, py::arg("model"), py::arg("P"));
    m.def("critical_curve", &critical_curve, py::arg("model"), py::arg("p_max"));
    m.def("phase_envelope", &phase_envelope, py::arg("model"), py::arg("z"), py::arg("p_low"));
}

}  // namespace keld::python
