#include "cubic/gibbs_model.h"

#include <string_view>

#include "cubic/cubic_messages.h"
#include "cubic/cubic_store.h"
#include "cubic/excess_gibbs.h"
#include "cubic/polymer_units.h"
#include "cubic/unifac_groups.h"

namespace keld::cubic {
namespace {

struct Identifier {
    host::ComponentId id;
    std::string_view first() const { return {id.data(), 4}; }
    std::string_view second() const { return {id.data() + 4, 4}; }
};

// Store offset of a named parameter whose block for data set kds lies in the store (0 otherwise).
std::int64_t binary_offset(const host::Host &host, const char *name, std::int64_t kds) {
    const std::int64_t b = host.param_offset(name);
    return binary_block_in_store(host, b, kds) ? b : 0;
}
std::int64_t unary_offset(const host::Host &host, const char *name, std::int64_t kds) {
    const std::int64_t b = host.param_offset(name);
    return unary_block_in_store(host, b, kds) ? b : 0;
}

void missing_pair(const host::Host &host, const CubicCall &call, const host::RoutineId &name,
                  std::string_view what, std::int64_t i, std::int64_t j) {
    const Identifier a{host.identifier(i)}, b{host.identifier(j)};
    report_failure(host, call, name, failure::kBinaryMissing,
                   "6X,A,' (DATA SET ',I3,') MISSING FOR COMPONENTS ',2A4,' AND ',2A4",
                   {what, call.base.kds, a.first(), a.second(), b.first(), b.second()});
}

// E_ij = a_ij + b_ij/T for every ordered pair of listed components.
bool pair_energies(const host::Host &host, const CubicCall &call, const host::RoutineId &name, Jet *energy) {
    const MonitorCall &c = call.base;
    const std::int64_t n = c.n;
    const std::int64_t oa = binary_offset(host, names::kEnergyA, c.kds), ob = binary_offset(host, names::kEnergyB, c.kds);
    for (std::int64_t l = 0; l < n; ++l) {
        for (std::int64_t k = 0; k < n; ++k) {
            if (k == l) continue;
            const std::int64_t i = c.idx[k], j = c.idx[l];
            const double a = oa ? host.real(host.binary_pos(oa, c.kds, i, j)) : host.missing();
            const double b = ob ? host.real(host.binary_pos(ob, c.kds, i, j)) : host.missing();
            if (host.is_missing(a) && host.is_missing(b)) {
                missing_pair(host, call, name, "GEAIJ/GEBIJ", i, j);
                return false;
            }
            const double av = host.is_missing(a) ? 0.0 : a, bv = host.is_missing(b) ? 0.0 : b;
            energy[k + n * l] = pair_energy_jet(av, bv, c.t);
        }
    }
    return true;
}

bool non_randomness(const host::Host &host, const CubicCall &call, const host::RoutineId &name, double *alpha) {
    const MonitorCall &c = call.base;
    const std::int64_t n = c.n;
    const std::int64_t o = binary_offset(host, names::kNonRandomness, c.kds);
    for (std::int64_t l = 0; l < n; ++l) {
        for (std::int64_t k = 0; k < n; ++k) {
            if (k == l) continue;
            const std::int64_t i = c.idx[k], j = c.idx[l];
            double value = o ? host.real(host.binary_pos(o, c.kds, i, j)) : host.missing();
            if (host.is_missing(value) && o) value = host.real(host.binary_pos(o, c.kds, j, i));
            if (host.is_missing(value)) {
                missing_pair(host, call, name, "GEALF", i, j);
                return false;
            }
            alpha[k + n * l] = value;
        }
    }
    return true;
}

bool van_laar_forms(const host::Host &host, const CubicCall &call, const host::RoutineId &name, const Jet *energy) {
    const MonitorCall &c = call.base;
    for (std::int64_t l = 0; l < c.n; ++l) {
        for (std::int64_t k = l + 1; k < c.n; ++k) {
            if (van_laar_limits_agree(energy[k + c.n * l], energy[l + c.n * k])) continue;
            const Identifier a{host.identifier(c.idx[k])}, b{host.identifier(c.idx[l])};
            report_failure(host, call, name, failure::kNoVanLaarForm,
                           "6X,'VAN LAAR LIMITS OF OPPOSITE SIGN FOR COMPONENTS ',2A4,' AND ',2A4",
                           {a.first(), a.second(), b.first(), b.second()});
            return false;
        }
    }
    return true;
}

}  // namespace

bool uniquac_size(const host::Host &host, std::int64_t kds, std::int64_t i, double units, double mwn,
                  double *scratch, double &r, double &q) {
    const std::int64_t nc = host.component_count();
    const std::int64_t orr = unary_offset(host, names::kUniquacR, kds), oq = unary_offset(host, names::kUniquacQ, kds);
    const std::int64_t omw = host.offsets1(elements::kMolecularWeight);
    const std::int64_t d0 = (kds - 1) * nc;
    auto value = [&](std::int64_t offset, std::int64_t c) { return offset ? host.real(offset + d0 + c) : host.missing(); };
    double rk = value(orr, i), qk = value(oq, i);
    bool given = !host.is_missing(rk) && !host.is_missing(qk) && rk > 0.0 && qk > 0.0;
    if (given) {
        rk *= units;
        qk *= units;
    } else if (host.is_polymer_or_oligomer(i) && scratch) {
        rk = qk = 0.0;
        bool complete = true;
        given = for_each_segment_unit(host, i, mwn, host.word(omw + 1), {scratch, nc},
                                      [&](std::int64_t s, double segment_units) {
                                          const double rs = value(orr, s), qs = value(oq, s);
                                          complete = complete && !host.is_missing(rs) && !host.is_missing(qs);
                                          rk += segment_units * rs;
                                          qk += segment_units * qs;
                                      }) &&
                complete;
    }
    r = rk;
    q = qk;
    return given;
}

namespace {

// UNIQUAC r and q: a polymer's own per unit of its MW, or summed over its segments.
bool uniquac_sizes(const host::Host &host, const CubicCall &call, const host::RoutineId &name,
                   const PureConstants &pure, WorkArea &work, double *r, double *q) {
    const MonitorCall &c = call.base;
    double *scratch = work.reals(host.component_count());
    for (std::int64_t k = 0; k < c.n; ++k) {
        const std::int64_t i = c.idx[k];
        double rk = 0.0, qk = 0.0;
        const bool given = uniquac_size(host, c.kds, i, pure.units[k], pure.mwn[k], scratch, rk, qk);
        if (!given) {
            const Identifier id{host.identifier(i)};
            report_failure(host, call, name, failure::kSizeMissing,
                           "6X,'UNIQR/UNIQQ (DATA SET ',I3,') MISSING FOR COMPONENT ',2A4",
                           {c.kds, id.first(), id.second()});
            return false;
        }
        r[k] = rk;
        q[k] = qk;
    }
    return true;
}

bool unifac_groups(const host::Host &host, const CubicCall &call, const host::RoutineId &name,
                   const PureConstants &pure, WorkArea &work, UnifacMixture &mix, double *r, double *q) {
    const MonitorCall &c = call.base;
    const GroupProblem problem = gather_groups(host, c.n, c.idx, pure.mwn,
                                               host.word(host.offsets1(elements::kMolecularWeight) + 1), pure.units,
                                               work, mix, r, q);
    switch (problem.status) {
        case GroupStatus::ok:
            return true;
        case GroupStatus::no_table:
            report_failure(host, call, name, failure::kGroupsMissing, "6X,'THE HOST HAS NO UNIFAC GROUP TABLE'", {});
            return false;
        case GroupStatus::no_groups: {
            const Identifier id{host.identifier(problem.component)};
            report_failure(host, call, name, failure::kGroupsMissing, "6X,'NO UNIFAC GROUPS FOR COMPONENT ',2A4",
                           {id.first(), id.second()});
            return false;
        }
        case GroupStatus::missing_interaction:
            report_failure(host, call, name, failure::kGroupsMissing,
                           "6X,'NO UNIFAC INTERACTION OF THE MAIN GROUPS OF SUBGROUPS ',I3,' AND ',I3",
                           {problem.main_i, problem.main_j});
            return false;
    }
    return false;
}

}  // namespace

bool excess_gibbs(const host::Host &host, const CubicCall &call, const host::RoutineId &name, GibbsModel model,
                  const PureConstants &pure, WorkArea &work, Jet *ln_gamma, Jet &ge) {
    const std::int64_t n = call.base.n;
    GibbsInputs in{n, pure.x, Jet::temperature(call.base.t), pure.b, nullptr, nullptr, nullptr, nullptr, nullptr,
                   work.jets(2 * n * n + 4 * n)};
    if (!in.scratch) return false;
    const bool pairs = uses_pair_energies(model);
    Jet *energy = pairs ? work.jets(n * n) : nullptr;
    if (pairs && (!energy || !pair_energies(host, call, name, energy))) return false;
    in.energy = energy;
    UnifacMixture groups;
    double *r = nullptr, *q = nullptr;
    if (model == GibbsModel::uniquac || model == GibbsModel::unifac) {
        r = work.reals(n);
        q = work.reals(n);
        if (!r || !q) return false;
        in.r = r;
        in.q = q;
    }
    // The parameters the model reads, each refused with its message when not given.
    switch (model) {
        case GibbsModel::van_laar:
            if (!van_laar_forms(host, call, name, energy)) return false;
            break;
        case GibbsModel::nrtl: {
            double *alpha = work.reals(n * n);
            if (!alpha || !non_randomness(host, call, name, alpha)) return false;
            in.alpha = alpha;
            break;
        }
        case GibbsModel::uniquac:
            if (!uniquac_sizes(host, call, name, pure, work, r, q)) return false;
            break;
        case GibbsModel::unifac:
            if (!unifac_groups(host, call, name, pure, work, groups, r, q)) return false;
            in.groups = &groups;
            break;
        case GibbsModel::ideal:
        case GibbsModel::redlich_kister:
        case GibbsModel::wilson:
            break;
    }
    ln_gamma_of(model, in, ln_gamma);
    ge = excess_gibbs_energy(n, pure.x, ln_gamma);
    return true;
}

}  // namespace keld::cubic
