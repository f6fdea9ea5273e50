// keld._core polydisperse functions: distributions, cloud-point curves and
// fractionation as plain dicts (keld/polydisperse.py shapes them). Wrong input
// raises ValueError with the reason.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "keld/equilibria/polydisperse.h"

namespace py = pybind11;

namespace keld::python {
namespace {

using namespace keld::equilibria;

py::list pseudo_list(const std::vector<PseudoComponent> &set) {
    py::list out;
    for (const auto &c : set) {
        py::dict d;
        d["mw"] = c.mw;
        d["weight_fraction"] = c.weight_fraction;
        d["mole_fraction"] = c.mole_fraction;
        out.append(d);
    }
    return out;
}

std::vector<PseudoComponent> pseudo_from(const py::list &items) {
    std::vector<PseudoComponent> set;
    for (const auto &item : items) {
        const auto d = item.cast<py::dict>();
        set.push_back({d["mw"].cast<double>(), d["weight_fraction"].cast<double>(), d["mole_fraction"].cast<double>()});
    }
    return set;
}

py::dict moments_dict(const DistributionMoments &m) {
    py::dict d;
    d["mu0"] = m.mu0;
    d["mu1"] = m.mu1;
    d["mu2"] = m.mu2;
    d["mu3"] = m.mu3;
    d["Mn"] = m.mn;
    d["Mw"] = m.mw;
    d["Mz"] = m.mz;
    return d;
}

py::dict discretised(const MolecularWeightDistribution &d, std::size_t count) {
    py::dict out;
    const auto set = d.discretise(count);
    out["pseudo"] = pseudo_list(set);
    out["moments"] = moments_dict(moments_of(set));
    out["exact_moments"] = moments_dict(d.moments());
    return out;
}

PolydisperseSystem make_system(const py::dict &solvent, const py::dict &polymer, double kij, const py::list &pseudo) {
    const PcSaftComponent s{solvent["name"].cast<std::string>(), solvent["mw"].cast<double>(),
                            solvent["m"].cast<double>(), solvent["sigma"].cast<double>(),
                            solvent["epsilon_k"].cast<double>()};
    const PcSaftPolymer p{polymer["name"].cast<std::string>(), polymer["m_per_mw"].cast<double>(),
                          polymer["sigma"].cast<double>(), polymer["epsilon_k"].cast<double>(),
                          polymer["mw_repeat"].cast<double>()};
    return PolydisperseSystem::pcsaft(s, p, kij, pseudo_from(pseudo));
}

py::dict phase_dict(const PolydispersePhase &ph) {
    py::dict d;
    d["x"] = ph.x;
    d["w_polymer"] = ph.w_polymer;
    d["Mn"] = ph.mn;
    d["Mw"] = ph.mw;
    d["rho"] = ph.rho;
    d["ln_f"] = ph.ln_f;
    d["pseudo"] = pseudo_list(ph.polymer);
    return d;
}

void outcome(py::dict &d, const Outcome &o) {
    d["status"] = std::string(to_string(o.status));
    d["message"] = o.message;
    d["residual"] = o.residual;
}

}  // namespace

void bind_polydisperse(py::module_ &m) {
    m.def("polydisperse_schulz_flory", [](double mn, double mw, std::size_t n) {
        return discretised(MolecularWeightDistribution::schulz_flory(mn, mw), n);
    });
    m.def("polydisperse_log_normal", [](double mn, double mw, std::size_t n) {
        return discretised(MolecularWeightDistribution::log_normal(mn, mw), n);
    });
    m.def("polydisperse_points", [](std::vector<double> mw, std::vector<double> w, std::size_t n) {
        return discretised(MolecularWeightDistribution::from_points(std::move(mw), std::move(w)), n);
    });
    m.def("polydisperse_gpc", [](const std::string &path, std::size_t n) {
        return discretised(MolecularWeightDistribution::read_gpc(path), n);
    });
    m.def("polydisperse_cloud_point_curve", [](const py::dict &solvent, const py::dict &polymer, double kij,
                                               const py::list &pseudo, double p, double w_from, double w_to, int count,
                                               double t_min, double t_max) {
        const PolydisperseSystem s = make_system(solvent, polymer, kij, pseudo);
        CloudPointCurve c;
        {
            py::gil_scoped_release release;
            c = cloud_point_curve(s, p, w_from, w_to, count, {t_min, t_max});
        }
        py::dict d;
        outcome(d, c);
        py::dict crit;
        outcome(crit, c.critical);
        crit["T"] = c.critical.t;
        crit["P"] = c.critical.p;
        crit["w_polymer"] = c.critical.w;
        d["critical"] = crit;
        py::list points;
        for (const auto &pt : c.points) {
            py::dict q;
            outcome(q, pt);
            q["T"] = pt.t;
            q["P"] = pt.p;
            q["feed"] = phase_dict(pt.feed);
            q["shadow"] = phase_dict(pt.shadow);
            q["shadow_uncertainty"] = pt.shadow_uncertainty;
            points.append(q);
        }
        d["points"] = points;
        return d;
    });
    m.def("polydisperse_fractionate", [](const py::dict &solvent, const py::dict &polymer, double kij,
                                         const py::list &pseudo, double t, double p, double w, double t_min,
                                         double t_max) {
        const PolydisperseSystem s = make_system(solvent, polymer, kij, pseudo);
        Fractionation f;
        {
            py::gil_scoped_release release;
            f = fractionate(s, t, p, w, {t_min, t_max});
        }
        py::dict d;
        outcome(d, f);
        d["T"] = f.t;
        d["P"] = f.p;
        d["w_feed"] = f.w_feed;
        d["rich_share"] = f.rich_share;
        d["rich_share_of_pseudo"] = f.rich_share_of_pseudo;
        if (f.status == Status::converged) {
            d["lean"] = phase_dict(f.lean);
            d["rich"] = phase_dict(f.rich);
        }
        return d;
    });
}

}  // namespace keld::python
