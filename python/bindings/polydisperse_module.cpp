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

PcSaftComponent solvent_from(const py::dict &solvent) {
    return {solvent["name"].cast<std::string>(), solvent["mw"].cast<double>(), solvent["m"].cast<double>(),
            solvent["sigma"].cast<double>(), solvent["epsilon_k"].cast<double>()};
}

// The system of the Python layer's arguments (keld/polydisperse.py shapes them): a list of solvents
// with their weight fractions in the solvent mixture and their k_ij among themselves (S x S, flat), the
// polymer's k_ij with each solvent (S, or S x K for a copolymer of K segment types), and a polymer
// with PC-SAFT parameters of its own or with "segments".
PolydisperseSystem make_system(const py::list &solvents, const std::vector<double> &solvent_w,
                               const std::vector<double> &solvent_kij, const py::dict &polymer,
                               const std::vector<double> &kij, const py::list &pseudo) {
    std::vector<PcSaftComponent> s;
    for (const auto &item : solvents) s.push_back(solvent_from(item.cast<py::dict>()));
    const SolventMixture mixture{solvent_w, solvent_kij};
    if (polymer.contains("segments")) {
        PcSaftCopolymer co{polymer["name"].cast<std::string>(), {}};
        for (const auto &item : polymer["segments"].cast<py::list>()) {
            const auto d = item.cast<py::dict>();
            PcSaftAssocSegment seg;
            seg.name = d["name"].cast<std::string>();
            seg.mass_fraction = d["mass_fraction"].cast<double>();
            seg.mw = d["mw"].cast<double>();
            seg.segment_ratio = d["m_per_mw"].cast<double>();
            seg.sigma = d["sigma"].cast<double>();
            seg.epsilon_k = d["epsilon_k"].cast<double>();
            co.segments.push_back(seg);
        }
        return PolydisperseSystem::pcsaft_copolymer(std::move(s), mixture, co, kij, pseudo_from(pseudo));
    }
    const PcSaftPolymer p{polymer["name"].cast<std::string>(), polymer["m_per_mw"].cast<double>(),
                          polymer["sigma"].cast<double>(), polymer["epsilon_k"].cast<double>(),
                          polymer["mw_repeat"].cast<double>()};
    return PolydisperseSystem::pcsaft(std::move(s), mixture, p, kij, pseudo_from(pseudo));
}

py::dict phase_dict(const PolydispersePhase &ph) {
    py::dict d;
    d["x"] = ph.x;
    d["w"] = ph.w;
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

py::dict curve_dict(const CloudPointCurve &c) {
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
    m.def("polydisperse_cloud_point_curve", [](const py::list &solvents, const std::vector<double> &solvent_w,
                                               const std::vector<double> &solvent_kij, const py::dict &polymer,
                                               const std::vector<double> &kij, const py::list &pseudo, double p, double w_from, double w_to, int count,
                                               double t_min, double t_max, bool lower_branch) {
        const PolydisperseSystem s = make_system(solvents, solvent_w, solvent_kij, polymer, kij, pseudo);
        CloudPointCurve c;
        {
            py::gil_scoped_release release;
            c = cloud_point_curve(s, p, w_from, w_to, count, {t_min, t_max, lower_branch});
        }
        return curve_dict(c);
    });
    m.def("polydisperse_cloud_point_pressure_curve",
          [](const py::list &solvents, const std::vector<double> &solvent_w, const std::vector<double> &solvent_kij,
             const py::dict &polymer, const std::vector<double> &kij, const py::list &pseudo, double t, double w_from,
             double w_to, int count, double p_min, double p_max, bool lower_branch) {
              const PolydisperseSystem s = make_system(solvents, solvent_w, solvent_kij, polymer, kij, pseudo);
              CloudPointCurve c;
              {
                  py::gil_scoped_release release;
                  c = cloud_point_pressure_curve(s, t, w_from, w_to, count, {p_min, p_max, lower_branch});
              }
              return curve_dict(c);
          });
    m.def("polydisperse_fractionate", [](const py::list &solvents, const std::vector<double> &solvent_w,
                                         const std::vector<double> &solvent_kij, const py::dict &polymer,
                                         const std::vector<double> &kij, const py::list &pseudo, double t, double p, double w, double t_min,
                                         double t_max, bool lower_branch) {
        const PolydisperseSystem s = make_system(solvents, solvent_w, solvent_kij, polymer, kij, pseudo);
        Fractionation f;
        {
            py::gil_scoped_release release;
            f = fractionate(s, t, p, w, {t_min, t_max, lower_branch});
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
    m.def("polydisperse_activity", [](const py::list &solvents, const std::vector<double> &solvent_w,
                                      const std::vector<double> &solvent_kij, const py::dict &polymer,
                                      const std::vector<double> &kij, const py::list &pseudo, double t, double p,
                                      double w, double t_min, double t_max, bool lower_branch) {
        const PolydisperseSystem s = make_system(solvents, solvent_w, solvent_kij, polymer, kij, pseudo);
        PolydisperseActivity a;
        {
            py::gil_scoped_release release;
            a = polydisperse_activity(s, t, p, w, {t_min, t_max, lower_branch});
        }
        py::dict d;
        outcome(d, a);
        d["T"] = a.t;
        d["P"] = a.p;
        d["w"] = a.w;
        d["one_liquid"] = a.one_liquid;
        d["equilibrium"] = a.equilibrium;
        d["demixed"] = a.demixed;
        d["cloud_T"] = a.cloud_t;
        d["w_lean"] = a.w_lean;
        d["w_rich"] = a.w_rich;
        return d;
    });
}

}  // namespace keld::python
