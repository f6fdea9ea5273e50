// The SRK cubic as a model family (see cubic_family.h): the parameters
// checked and laid out as the monitor's mixture step reads them.
#include "model/families/cubic_family.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "cubic/pure_constants.h"
#include "cubic/unifac_groups.h"

namespace keld::model {
namespace {

bool given(double v) { return !std::isnan(v); }

void refuse(const std::string &why) { throw std::invalid_argument("SRK cubic: " + why); }

void check_matrix(const std::vector<double> &m, std::size_t n, const char *what) {
    if (!m.empty() && m.size() != n * n) refuse(std::string(what) + " needs N x N values (or none)");
    for (double v : m)
        if (std::isinf(v)) refuse(std::string(what) + " must be finite (NaN: not given)");
}

// Element (i, j) of a row-major N x N matrix, NaN where the matrix is empty.
double at(const std::vector<double> &m, std::size_t n, std::size_t i, std::size_t j) {
    return m.empty() ? std::nan("") : m[i * n + j];
}

cubic::Rule rule_of(CubicMixingRule r) {
    switch (r) {
        case CubicMixingRule::van_der_waals: return cubic::Rule::van_der_waals;
        case CubicMixingRule::wong_sandler: return cubic::Rule::wong_sandler;
        case CubicMixingRule::mhv1: return cubic::Rule::mhv1;
        case CubicMixingRule::mhv2: return cubic::Rule::mhv2;
    }
    refuse("unknown mixing rule");
    return cubic::Rule::van_der_waals;
}

cubic::GibbsModel model_of(ExcessGibbsModel m) {
    switch (m) {
        case ExcessGibbsModel::ideal: return cubic::GibbsModel::ideal;
        case ExcessGibbsModel::redlich_kister: return cubic::GibbsModel::redlich_kister;
        case ExcessGibbsModel::wilson: return cubic::GibbsModel::wilson;
        case ExcessGibbsModel::van_laar: return cubic::GibbsModel::van_laar;
        case ExcessGibbsModel::nrtl: return cubic::GibbsModel::nrtl;
        case ExcessGibbsModel::uniquac: return cubic::GibbsModel::uniquac;
        case ExcessGibbsModel::unifac: return cubic::GibbsModel::unifac;
    }
    refuse("unknown excess-Gibbs model");
    return cubic::GibbsModel::ideal;
}

}  // namespace

CubicFamily::CubicFamily(CubicParameters p) {
    const std::size_t n = p.tc.size();
    n_ = static_cast<std::int64_t>(n);
    if (n == 0) refuse("no components");
    if (p.pc.size() != n || p.omega.size() != n || p.units.size() != n || p.names.size() != n)
        refuse("Tc, Pc, omega and the units per molecule are needed for every component");
    const std::vector<std::vector<double>> &mc = p.options.mathias_copeman;
    if (!mc.empty() && mc.size() != n) refuse("Mathias-Copeman constants: one entry (possibly empty) per component");
    rule_ = rule_of(p.options.rule);
    model_ = cubic::uses_gibbs_model(rule_) ? model_of(p.options.excess_gibbs) : cubic::GibbsModel::ideal;

    mathias_copeman_.assign(n, {});
    for (std::size_t k = 0; k < n; ++k) {
        const std::string &name = p.names[k];
        if (!(p.tc[k] > 0.0 && p.pc[k] > 0.0 && std::isfinite(p.tc[k]) && std::isfinite(p.pc[k])))
            refuse(name + ": Tc and Pc must be positive numbers of K and Pa");
        if (!(p.units[k] > 0.0 && std::isfinite(p.units[k])))
            refuse(name + ": the molecular weights must be positive");
        if (!mc.empty() && !mc[k].empty()) {
            if (mc[k].size() > 3) refuse(name + ": Mathias-Copeman takes c1, c2, c3");
            std::vector<double> c(3, 0.0);
            for (std::size_t i = 0; i < mc[k].size(); ++i) {
                if (!std::isfinite(mc[k][i])) refuse(name + ": Mathias-Copeman constants must be finite");
                c[i] = mc[k][i];
            }
            mathias_copeman_[k] = c;
        } else if (!std::isfinite(p.omega[k])) {
            refuse(name + ": Soave's alpha needs a finite acentric factor");
        }
    }
    tc_ = p.tc;
    for (std::size_t k = 0; k < n; ++k) {
        const cubic::SrkConstants c = cubic::srk_constants(kGasConstant, p.tc[k], p.pc[k], p.units[k]);
        ac_.push_back(c.ac);
        b_.push_back(c.b);
        soave_.push_back(cubic::soave_constants(p.omega[k]));
    }
    set_pair_parameters(p);
    if (model_ == cubic::GibbsModel::uniquac) set_sizes(p);
    if (model_ == cubic::GibbsModel::unifac) {
        if (p.groups) {
            take_groups(p);
        } else {
            set_groups(p);
        }
    }
}

// k_ij symmetrised, E_ij's a and b, NRTL alpha: by position (i + n j) as the monitor lays them out.
void CubicFamily::set_pair_parameters(const CubicParameters &p) {
    const std::size_t n = size();
    const CubicOptions &o = p.options;
    check_matrix(o.kij, n, "k_ij");
    check_matrix(o.ge_a, n, "a_ij");
    check_matrix(o.ge_b, n, "b_ij");
    check_matrix(o.nrtl_alpha, n, "the NRTL alpha_ij");
    kij_.assign(n * n, 0.0);
    ge_a_.assign(n * n, 0.0);
    ge_b_.assign(n * n, 0.0);
    nrtl_alpha_.assign(n * n, 0.0);
    auto k_of = [&](std::size_t i, std::size_t j) {
        const double v = at(o.kij, n, i, j);
        return given(v) ? v : 0.0;
    };
    for (std::size_t l = 0; l < n; ++l) {
        for (std::size_t k = 0; k < n; ++k) {
            if (k == l) continue;
            kij_[k + n * l] = 0.5 * (k_of(k, l) + k_of(l, k));
            const std::string pair = p.names[k] + " and " + p.names[l];
            if (cubic::uses_pair_energies(model_)) {
                const double a = at(o.ge_a, n, k, l), b = at(o.ge_b, n, k, l);
                if (!given(a) && !given(b)) refuse("a_ij or b_ij of E_ij is needed for " + pair);
                ge_a_[k + n * l] = given(a) ? a : 0.0;
                ge_b_[k + n * l] = given(b) ? b : 0.0;
            }
            if (model_ == cubic::GibbsModel::nrtl) {
                double alpha = at(o.nrtl_alpha, n, k, l);
                if (!given(alpha)) alpha = at(o.nrtl_alpha, n, l, k);
                if (!given(alpha)) refuse("the NRTL alpha_ij is needed for " + pair);
                nrtl_alpha_[k + n * l] = alpha;
            }
        }
    }
}

// UNIQUAC r and q per molecule: those of one unit times the units.
void CubicFamily::set_sizes(const CubicParameters &p) {
    const std::size_t n = size();
    if (!p.molecule_r.empty() || !p.molecule_q.empty()) {
        if (p.molecule_r.size() != n || p.molecule_q.size() != n) refuse("UNIQUAC needs r and q of every component");
        r_ = p.molecule_r;
        q_ = p.molecule_q;
        return;
    }
    const CubicOptions &o = p.options;
    if (o.uniquac_r.size() != n || o.uniquac_q.size() != n) refuse("UNIQUAC needs r and q of every component");
    for (std::size_t k = 0; k < n; ++k) {
        const double r = o.uniquac_r[k], q = o.uniquac_q[k];
        if (!(r > 0.0 && q > 0.0 && std::isfinite(r) && std::isfinite(q)))
            refuse(p.names[k] + ": UNIQUAC r and q must be positive");
        r_.push_back(r * p.units[k]);
        q_.push_back(q * p.units[k]);
    }
}

// The UNIFAC groups as a table in the host's layout (keld/host.h), compacted
// to those present by the monitor's own step.
void CubicFamily::set_groups(const CubicParameters &p) {
    const std::size_t n = size();
    const UnifacParameters &u = p.options.unifac;
    const std::size_t ns = u.subgroups.size();
    if (ns == 0) refuse("UNIFAC needs its subgroups");
    if (u.groups.size() != n) refuse("UNIFAC needs the groups of every component");
    std::vector<std::string> mains;
    auto main_index = [&](const std::string &name) {
        return std::find(mains.begin(), mains.end(), name) - mains.begin();
    };
    for (const UnifacSubgroup &s : u.subgroups) {
        if (s.name.empty() || s.main_group.empty()) refuse("a UNIFAC subgroup needs a name and a main group");
        if (!(s.r > 0.0 && s.q >= 0.0 && std::isfinite(s.r) && std::isfinite(s.q)))
            refuse("UNIFAC subgroup " + s.name + ": R must be positive and Q not negative");
        if (main_index(s.main_group) == static_cast<std::ptrdiff_t>(mains.size())) mains.push_back(s.main_group);
    }
    const std::size_t nm = mains.size();
    // Words: NS, NM; per subgroup its main group (1-based), R, Q and a number (here its position, so
    // that a missing interaction can be named); then a_mn at m + NM n.
    std::vector<double> table(2 + 4 * ns + nm * nm, std::nan(""));
    table[0] = static_cast<double>(ns);
    table[1] = static_cast<double>(nm);
    for (std::size_t s = 0; s < ns; ++s) {
        table[2 + 4 * s] = static_cast<double>(main_index(u.subgroups[s].main_group) + 1);
        table[3 + 4 * s] = u.subgroups[s].r;
        table[4 + 4 * s] = u.subgroups[s].q;
        table[5 + 4 * s] = static_cast<double>(s + 1);
    }
    double *a = table.data() + 2 + 4 * ns;
    for (std::size_t m = 0; m < nm; ++m) a[m + nm * m] = 0.0;
    for (const UnifacInteraction &i : u.interactions) {
        const std::size_t m = static_cast<std::size_t>(main_index(i.m)), k = static_cast<std::size_t>(main_index(i.n));
        if (m == nm || k == nm) refuse("UNIFAC interaction between unknown main groups " + i.m + " and " + i.n);
        if (!std::isfinite(i.a_mn)) refuse("UNIFAC a_mn must be finite");
        a[m + nm * k] = i.a_mn;
    }
    // Counts per molecule: those of one unit times the units.
    std::vector<double> counts(n * ns, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        bool any = false;
        for (const auto &group : u.groups[k]) {
            const std::string &name = group.first;
            const double count = group.second;
            const auto s = std::find_if(u.subgroups.begin(), u.subgroups.end(),
                                        [&](const UnifacSubgroup &g) { return g.name == name; }) -
                           u.subgroups.begin();
            if (s == static_cast<std::ptrdiff_t>(ns)) refuse(p.names[k] + ": unknown UNIFAC subgroup " + name);
            if (!(count > 0.0 && std::isfinite(count))) refuse(p.names[k] + ": a group count must be positive");
            counts[k + n * static_cast<std::size_t>(s)] += count * p.units[k];
            any = true;
        }
        if (!any) refuse(p.names[k] + ": no UNIFAC groups");
    }
    const std::int64_t nn = n_;
    std::vector<double> words(static_cast<std::size_t>(cubic::WorkArea::words(nn, static_cast<std::int64_t>(ns))));
    cubic::WorkArea work(words.data(), static_cast<std::int64_t>(words.size()));
    cubic::UnifacGroups groups;
    r_.assign(n, 0.0);
    q_.assign(n, 0.0);
    const cubic::GroupTableView view{table.data(), static_cast<std::int64_t>(table.size()), std::nan("")};
    const cubic::GroupProblem problem = cubic::compact_groups(view, nn, counts.data(), work, groups, r_.data(), q_.data());
    if (problem.status == cubic::GroupStatus::missing_interaction)
        refuse("no UNIFAC interaction between main groups " + u.subgroups[problem.main_i - 1].main_group + " and " +
               u.subgroups[problem.main_j - 1].main_group);
    if (problem.status != cubic::GroupStatus::ok) refuse("unusable UNIFAC groups");
    groups_ = groups.groups;
    mains_ = groups.mains;
    group_main_.assign(groups.main, groups.main + groups_);
    group_r_.assign(groups.big_r, groups.big_r + groups_);
    group_q_.assign(groups.big_q, groups.big_q + groups_);
    group_nu_.assign(groups.nu, groups.nu + nn * groups_);
    group_a_.assign(groups.a, groups.a + mains_ * mains_);
}

// Groups compacted already (from a host's table by the monitor's own step), with r and q per molecule.
void CubicFamily::take_groups(const CubicParameters &p) {
    const CubicParameters::Groups &g = *p.groups;
    const std::size_t n = size(), ng = static_cast<std::size_t>(g.groups), nm = static_cast<std::size_t>(g.mains);
    if (g.main.size() != ng || g.big_r.size() != ng || g.big_q.size() != ng || g.nu.size() != n * ng ||
        g.a.size() != nm * nm || p.molecule_r.size() != n || p.molecule_q.size() != n)
        refuse("UNIFAC groups of the wrong sizes");
    groups_ = g.groups;
    mains_ = g.mains;
    group_main_ = g.main;
    group_r_ = g.big_r;
    group_q_ = g.big_q;
    group_nu_ = g.nu;
    group_a_ = g.a;
    r_ = p.molecule_r;
    q_ = p.molecule_q;
}

double CubicFamily::max_density(double t, const double *x) const {
    Work<double> w(n_, groups_, mains_);
    cubic::MixtureConstantsOf<double> mix;
    if (!mixture(t, x, w, mix) || !(mix.b > 0.0)) return std::nan("");
    return 1.0 / mix.b;
}

CubicParameters cubic_parameters(const std::vector<CubicComponent> &components, const CubicOptions &options) {
    CubicParameters p;
    for (const CubicComponent &c : components) {
        if (!(c.mw > 0.0 && std::isfinite(c.mw))) refuse(c.name + ": the molecular weight must be positive");
        p.names.push_back(c.name);
        p.tc.push_back(c.tc);
        p.pc.push_back(c.pc);
        p.omega.push_back(c.omega);
        p.units.push_back(c.mw_apparent > 0.0 ? c.mw / c.mw_apparent : 1.0);
    }
    p.options = options;
    return p;
}

std::shared_ptr<const Residual> cubic_residual(CubicParameters p) { return make_residual(CubicFamily(std::move(p))); }

}  // namespace keld::model
