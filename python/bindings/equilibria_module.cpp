// keld._core, phase equilibria: a case loaded for the equilibrium layer and
// loops over its solvers. The Python package (keld/equilibria.py) checks the
// arguments and builds the result dataclasses from the dicts returned here.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "keld/case.h"
#include "keld/equilibria/activity.h"
#include "keld/equilibria/bubble_dew.h"
#include "keld/equilibria/flash.h"
#include "keld/equilibria/lle.h"
#include "keld/equilibria/critical.h"
#include "keld/equilibria/saturation.h"

namespace py = pybind11;
namespace eq = keld::equilibria;

namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;
constexpr double nan = eq::not_a_number;

// Per-point status words and messages, appended as the solvers return.
struct Statuses {
    std::vector<std::string> status, message;
    void add(const eq::Outcome &o) {
        status.emplace_back(eq::to_string(o.status));
        message.push_back(o.message);
    }
    void into(py::dict &d) const {
        d["status"] = status;
        d["message"] = message;
    }
};

py::array_t<double> vector_array(const std::vector<double> &v) {
    return py::array_t<double>(static_cast<py::ssize_t>(v.size()), v.data());
}

py::array_t<double> matrix_array(const std::vector<std::vector<double>> &rows, std::size_t columns) {
    py::array_t<double> a({static_cast<py::ssize_t>(rows.size()), static_cast<py::ssize_t>(columns)});
    auto m = a.mutable_unchecked<2>();
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < columns; ++j) m(i, j) = j < rows[i].size() ? rows[i][j] : nan;
    return a;
}

std::vector<double> row_of(const Array &a, py::ssize_t i) {
    std::vector<double> v(static_cast<std::size_t>(a.shape(1)));
    for (py::ssize_t j = 0; j < a.shape(1); ++j) v[static_cast<std::size_t>(j)] = a.at(i, j);
    return v;
}

class EquilibriumCase {
  public:
    explicit EquilibriumCase(keld::refhost::Case c) : case_(std::move(c)) {
        keld::refhost::initialise_case(case_);
    }

    static std::unique_ptr<EquilibriumCase> load(const std::string &path) {
        return std::make_unique<EquilibriumCase>(keld::refhost::load_case_file(path));
    }
    static std::unique_ptr<EquilibriumCase> parse(const std::string &text, const std::string &origin) {
        return std::make_unique<EquilibriumCase>(keld::refhost::parse_case(text, origin));
    }

    // The system for (model, listed components, data set), made once.
    eq::System &system(const std::string &model, const std::vector<std::int64_t> &numbers,
                       std::int64_t data_set) {
        auto key = std::make_tuple(model, numbers, data_set);
        auto found = systems_.find(key);
        if (found == systems_.end()) {
            eq::SystemOptions options;
            options.data_set = data_set;
            found = systems_.emplace(key, std::make_unique<eq::System>(case_, model, numbers, options))
                        .first;
        }
        return *found->second;
    }

    py::dict saturation(const std::string &model, std::int64_t number, std::int64_t data_set, const Array &t,
                        bool temperature_given) {
        eq::System &s = system(model, {number}, data_set);
        std::vector<double> ts, ps, vl, vv, zl, zv, dh;
        std::vector<std::string> solver;
        Statuses st;
        eq::SaturationGuess guess;
        for (py::ssize_t i = 0; i < t.shape(0); ++i) {
            const eq::SaturationResult r = temperature_given
                                               ? eq::saturation_pressure(s, 0, t.at(i), guess)
                                               : eq::saturation_temperature(s, 0, t.at(i), guess);
            ts.push_back(r.t);
            ps.push_back(r.p);
            vl.push_back(r.v_liquid);
            vv.push_back(r.v_vapour);
            zl.push_back(r.z_liquid);
            zv.push_back(r.z_vapour);
            dh.push_back(r.h_vaporisation);
            solver.push_back(r.solver == eq::SaturationSolver::model ? "model" : "monitors");
            st.add(r);
            guess = {};
            if (r.status == eq::Status::converged) guess = {nan, r.t, r.v_liquid, r.v_vapour};
            if (r.status == eq::Status::converged && temperature_given) guess.p = r.p;
        }
        py::dict d;
        d["T"] = vector_array(ts);
        d["P"] = vector_array(ps);
        d["v_liquid"] = vector_array(vl);
        d["v_vapour"] = vector_array(vv);
        d["Z_liquid"] = vector_array(zl);
        d["Z_vapour"] = vector_array(zv);
        d["dH_vap"] = vector_array(dh);
        d["solver"] = solver;
        st.into(d);
        return d;
    }

    py::dict curve(const std::string &model, std::int64_t number, std::int64_t data_set, double t_from,
                   double t_to, int count) {
        eq::System &s = system(model, {number}, data_set);
        const eq::VapourPressureCurve c = eq::vapour_pressure_curve(s, 0, t_from, t_to, count);
        std::vector<double> ts;
        for (const auto &r : c.points) ts.push_back(r.t);
        py::dict d = saturation_rows(c.points);
        d["critical"] = c.critical.found
                            ? py::cast(std::vector<double>{c.critical.t, c.critical.p, c.critical.v})
                            : py::none();
        return d;
    }

    // Critical points on the model: one component's (pure), or the mixture's at each row of x.
    py::dict critical(const std::string &model, const std::vector<std::int64_t> &numbers, std::int64_t data_set,
                      const Array &composition, double t_start, double v_start) {
        eq::System &s = system(model, numbers, data_set);
        std::vector<double> ts, ps, vs;
        Statuses st;
        auto add = [&](const eq::Outcome &o, double t, double p, double v) {
            ts.push_back(t);
            ps.push_back(p);
            vs.push_back(v);
            st.add(o);
        };
        if (numbers.size() == 1) {
            const eq::PureModel &pm = s.pure_model(0);
            if (pm.model == nullptr) throw std::invalid_argument("no model of the family here: " + pm.refusal);
            add(pm.critical, pm.critical.t, pm.critical.p, 1.0 / pm.critical.rho);
        } else {
            std::vector<std::string> ids;
            for (std::size_t k = 0; k < s.size(); ++k) ids.push_back(s.component(k).id);
            const keld::Model m = keld::refhost::model_from_case(case_, model, data_set, ids);
            for (py::ssize_t i = 0; i < composition.shape(0); ++i) {
                const eq::MixtureCritical c = eq::mixture_critical_point(m, row_of(composition, i), {t_start, v_start});
                add(c, c.t, c.p, c.v);
            }
        }
        py::dict d;
        d["T"] = vector_array(ts);
        d["P"] = vector_array(ps);
        d["V"] = vector_array(vs);
        st.into(d);
        return d;
    }

    py::dict activity(const std::string &model, const std::vector<std::int64_t> &numbers,
                      std::int64_t data_set, double t, const Array &w) {
        eq::System &s = system(model, numbers, data_set);
        eq::SolventActivity isotherm(s, t);
        std::vector<eq::ActivityResult> results;
        for (py::ssize_t i = 0; i < w.shape(0); ++i) results.push_back(isotherm.at(row_of(w, i)));
        return activity_rows(results, isotherm, s.size());
    }

    py::dict sorption(const std::string &model, const std::vector<std::int64_t> &numbers,
                      std::int64_t data_set, double t, const Array &partial,
                      const std::vector<double> &polymer_weights) {
        eq::System &s = system(model, numbers, data_set);
        eq::SolventActivity isotherm(s, t);
        std::vector<eq::ActivityResult> results;
        for (py::ssize_t i = 0; i < partial.shape(0); ++i)
            results.push_back(isotherm.sorption(row_of(partial, i), polymer_weights));
        return activity_rows(results, isotherm, s.size());
    }

    py::dict bubble_dew(const std::string &kind, const std::string &model,
                        const std::vector<std::int64_t> &numbers, std::int64_t data_set, const Array &spec,
                        const Array &composition) {
        eq::System &s = system(model, numbers, data_set);
        std::vector<double> ts, ps;
        std::vector<std::vector<double>> xs, ys;
        Statuses st;
        eq::BubbleDewGuess guess;
        for (py::ssize_t i = 0; i < spec.shape(0); ++i) {
            const std::vector<double> z = row_of(composition, i);
            const double v = spec.at(i);
            eq::BubbleDewResult r;
            if (kind == "bubble_pressure")
                r = eq::bubble_pressure(s, v, z, guess);
            else if (kind == "bubble_temperature")
                r = eq::bubble_temperature(s, v, z, guess);
            else if (kind == "dew_pressure")
                r = eq::dew_pressure(s, v, z, guess);
            else
                r = eq::dew_temperature(s, v, z, guess);
            ts.push_back(r.t);
            ps.push_back(r.p);
            xs.push_back(r.x);
            ys.push_back(r.y);
            st.add(r);
            guess = {};
            if (r.ok()) guess = {r.t, r.p, kind.rfind("bubble", 0) == 0 ? r.y : r.x};
        }
        py::dict d;
        d["T"] = vector_array(ts);
        d["P"] = vector_array(ps);
        d["x"] = matrix_array(xs, s.size());
        d["y"] = matrix_array(ys, s.size());
        st.into(d);
        return d;
    }

    py::dict flash(const std::string &model, const std::vector<std::int64_t> &numbers, std::int64_t data_set,
                   double t, double p, const std::vector<double> &z) {
        eq::System &s = system(model, numbers, data_set);
        const eq::FlashResult r = eq::flash(s, t, p, z);
        py::dict d;
        py::list phases;
        for (const eq::FlashPhase &ph : r.phases) {
            py::dict e;
            e["kind"] = ph.kind == eq::PhaseKind::vapour ? "vapour" : "liquid";
            e["fraction"] = ph.fraction;
            e["mass_fraction"] = ph.mass_fraction;
            e["x"] = vector_array(ph.x);
            e["w"] = vector_array(ph.w);
            e["ln_phi"] = vector_array(ph.ln_phi);
            e["V"] = ph.v;
            phases.append(e);
        }
        d["phases"] = phases;
        d["status"] = std::string(eq::to_string(r.status));
        d["message"] = r.message;
        d["tangent_plane_distance"] = r.stability.tangent_plane_distance;
        d["iterations"] = r.iterations;
        return d;
    }

    py::dict lle(const std::string &model, const std::vector<std::int64_t> &numbers, std::int64_t data_set,
                 double p, const Array &t) {
        eq::System &s = system(model, numbers, data_set);
        std::vector<double> ts, lean, rich, sp_lean, sp_rich;
        std::vector<eq::BinodalResult> results;
        Statuses st;
        for (py::ssize_t i = 0; i < t.shape(0); ++i) {
            const eq::BinodalResult r = eq::binodal(s, t.at(i), p);
            const bool ok = r.status == eq::Status::converged;
            ts.push_back(t.at(i));
            lean.push_back(ok ? r.lean.w[1] : nan);
            rich.push_back(ok ? r.rich.w[1] : nan);
            sp_lean.push_back(r.spinodal.w_lean);
            sp_rich.push_back(r.spinodal.w_rich);
            st.add(r);
            results.push_back(r);
        }
        py::list critical;
        for (std::size_t i = 0; i + 1 < results.size(); ++i) {
            const auto a = results[i].spinodal.status, b = results[i + 1].spinodal.status;
            const bool change = (a == eq::Status::converged && b == eq::Status::supercritical) ||
                                (a == eq::Status::supercritical && b == eq::Status::converged);
            if (!change) continue;
            const eq::CriticalResult c = eq::critical_solution_point(s, p, ts[i], ts[i + 1]);
            if (c.status != eq::Status::converged) continue;
            py::dict e;
            e["kind"] = c.point.kind == eq::CriticalKind::upper ? "UCST" : "LCST";
            e["T"] = c.point.t;
            e["w"] = c.point.w;
            critical.append(e);
        }
        py::dict d;
        d["T"] = vector_array(ts);
        d["w_lean"] = vector_array(lean);
        d["w_rich"] = vector_array(rich);
        d["w_spinodal_lean"] = vector_array(sp_lean);
        d["w_spinodal_rich"] = vector_array(sp_rich);
        d["critical"] = critical;
        st.into(d);
        return d;
    }

    py::dict lle_trace(const std::string &model, const std::vector<std::int64_t> &numbers, std::int64_t data_set,
                       double p, double t_from, double t_to) {
        eq::System &s = system(model, numbers, data_set);
        const eq::LleTrace r = eq::trace_lle(s, p, t_from, t_to);
        py::list branches;
        for (const eq::LleBranch &b : r.branches) {
            py::dict e;
            e["kind"] = b.critical.kind == eq::CriticalKind::upper ? "UCST" : "LCST";
            e["T_critical"] = b.critical.t;
            e["w_critical"] = b.critical.w;
            e["T"] = vector_array(b.t);
            e["w_lean"] = vector_array(b.w_lean);
            e["w_rich"] = vector_array(b.w_rich);
            e["spinodal_T"] = vector_array(b.spinodal_t);
            e["spinodal_w"] = vector_array(b.spinodal_w);
            e["status"] = std::string(eq::to_string(b.status));
            e["message"] = b.message;
            branches.append(e);
        }
        py::dict d;
        d["branches"] = branches;
        d["status"] = std::string(eq::to_string(r.status));
        d["message"] = r.message;
        return d;
    }

  private:
    static py::dict saturation_rows(const std::vector<eq::SaturationResult> &points) {
        std::vector<double> ts, ps, vl, vv, zl, zv, dh;
        std::vector<std::string> solver;
        Statuses st;
        for (const auto &r : points) {
            solver.push_back(r.solver == eq::SaturationSolver::model ? "model" : "monitors");
            ts.push_back(r.t);
            ps.push_back(r.p);
            vl.push_back(r.v_liquid);
            vv.push_back(r.v_vapour);
            zl.push_back(r.z_liquid);
            zv.push_back(r.z_vapour);
            dh.push_back(r.h_vaporisation);
            st.add(r);
        }
        py::dict d;
        d["T"] = vector_array(ts);
        d["P"] = vector_array(ps);
        d["v_liquid"] = vector_array(vl);
        d["v_vapour"] = vector_array(vv);
        d["Z_liquid"] = vector_array(zl);
        d["Z_vapour"] = vector_array(zv);
        d["dH_vap"] = vector_array(dh);
        d["solver"] = solver;
        d["solver"] = solver;
        st.into(d);
        return d;
    }

    static py::dict activity_rows(const std::vector<eq::ActivityResult> &results,
                                  const eq::SolventActivity &isotherm, std::size_t n) {
        std::vector<double> ps;
        std::vector<std::vector<double>> w, x, y, partial, fugacity, activity, omega;
        Statuses st;
        for (const auto &r : results) {
            ps.push_back(r.p);
            w.push_back(r.w);
            x.push_back(r.x);
            y.push_back(r.y);
            partial.push_back(r.partial_pressure);
            fugacity.push_back(r.fugacity);
            activity.push_back(r.activity);
            omega.push_back(r.weight_activity_coefficient);
            st.add(r);
        }
        std::vector<double> p_sat;
        for (const auto &s : isotherm.saturation())
            p_sat.push_back(s.status == eq::Status::converged ? s.p : nan);
        py::dict d;
        d["P"] = vector_array(ps);
        d["w"] = matrix_array(w, n);
        d["x"] = matrix_array(x, n);
        d["y"] = matrix_array(y, n);
        d["partial_pressure"] = matrix_array(partial, n);
        d["fugacity"] = matrix_array(fugacity, n);
        d["activity"] = matrix_array(activity, n);
        d["weight_activity_coefficient"] = matrix_array(omega, n);
        d["P_sat"] = vector_array(p_sat);
        st.into(d);
        return d;
    }

    keld::refhost::Case case_;
    std::map<std::tuple<std::string, std::vector<std::int64_t>, std::int64_t>, std::unique_ptr<eq::System>>
        systems_;
};

}  // namespace

namespace keld::python {

void bind_equilibria(py::module_ &m) {
    py::class_<EquilibriumCase>(m, "EquilibriumCase")
        .def_static("load", &EquilibriumCase::load, py::arg("path"))
        .def_static("parse", &EquilibriumCase::parse, py::arg("json_text"), py::arg("origin") = "<string>")
        .def("saturation", &EquilibriumCase::saturation)
        .def("curve", &EquilibriumCase::curve)
        .def("activity", &EquilibriumCase::activity)
        .def("sorption", &EquilibriumCase::sorption)
        .def("bubble_dew", &EquilibriumCase::bubble_dew)
        .def("flash", &EquilibriumCase::flash)
        .def("lle", &EquilibriumCase::lle)
        .def("lle_trace", &EquilibriumCase::lle_trace)
        .def("critical", &EquilibriumCase::critical);
}

}  // namespace keld::python
