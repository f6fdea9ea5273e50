#include "cubic/unifac_groups.h"

#include <cmath>

#include "cubic/polymer_units.h"

namespace keld::cubic {
namespace {

bool usable_counts(double ns_word, double nm_word) {
    return ns_word >= 1.0 && nm_word >= 1.0 && ns_word < 1e6 && nm_word < 1e4;
}

}  // namespace

std::int64_t GroupTableView::subgroups() const {
    return usable_counts(word(1), word(2)) ? static_cast<std::int64_t>(word(1)) : 0;
}

std::int64_t GroupTableView::main_groups() const {
    return usable_counts(word(1), word(2)) ? static_cast<std::int64_t>(word(2)) : 0;
}

GroupProblem compact_groups(const GroupTableView &table, std::int64_t n, const double *all, WorkArea &work,
                            UnifacGroups &mix, double *r, double *q) {
    GroupProblem problem;
    const std::int64_t ns = table.subgroups(), nm = table.main_groups();
    double *local = work.reals(ns);  // local index + 1 of a present subgroup, 0 when absent
    if (ns < 1 || !local) {
        problem.status = GroupStatus::no_table;
        return problem;
    }

    // The subgroups present and their main groups.
    std::int64_t g = 0;
    for (std::int64_t s = 1; s <= ns; ++s) {
        bool present = false;
        for (std::int64_t k = 0; k < n && !present; ++k) present = all[k + n * (s - 1)] > 0.0;
        if (present) local[s - 1] = static_cast<double>(++g);
    }
    mix.groups = g;
    double *main = work.reals(g);
    double *big_r = work.reals(g);
    double *big_q = work.reals(g);
    double *nu = work.reals(n * g);
    double *host_main = work.reals(g);  // table main group of each local main group
    double *published = work.reals(g);  // published number of the first subgroup of each local main group
    if (!main || !big_r || !big_q || !nu || !host_main || !published) {
        problem.status = GroupStatus::no_table;
        return problem;
    }
    std::int64_t m = 0;
    for (std::int64_t s = 1; s <= ns; ++s) {
        if (local[s - 1] == 0.0) continue;
        const auto l = static_cast<std::int64_t>(local[s - 1]) - 1;
        const std::int64_t at = 2 + 4 * (s - 1);
        const double main_group = table.word(at + 1);
        big_r[l] = table.word(at + 2);
        big_q[l] = table.word(at + 3);
        std::int64_t found = -1;
        for (std::int64_t j = 0; j < m; ++j)
            if (host_main[j] == main_group) found = j;
        if (found < 0) {
            found = m++;
            host_main[found] = main_group;
            published[found] = table.word(at + 4);
        }
        main[l] = static_cast<double>(found);
        for (std::int64_t k = 0; k < n; ++k) nu[k + n * l] = all[k + n * (s - 1)];
    }
    mix.mains = m;
    mix.main = main;
    mix.big_r = big_r;
    mix.big_q = big_q;
    mix.nu = nu;
    double *a = work.reals(m * m);
    if (!a) {
        problem.status = GroupStatus::no_table;
        return problem;
    }
    for (std::int64_t b = 0; b < m; ++b) {
        for (std::int64_t c = 0; c < m; ++c) {
            if (c == b) continue;
            const auto hm = static_cast<std::int64_t>(host_main[c]), hn = static_cast<std::int64_t>(host_main[b]);
            const double value = table.word(2 + 4 * ns + (hn - 1) * nm + hm);
            if (!std::isfinite(value) || value == table.missing || hm < 1 || hm > nm || hn < 1 || hn > nm) {
                problem.status = GroupStatus::missing_interaction;
                problem.main_i = static_cast<std::int64_t>(published[c]);
                problem.main_j = static_cast<std::int64_t>(published[b]);
                return problem;
            }
            a[c + m * b] = value;
        }
    }
    mix.a = a;
    for (std::int64_t k = 0; k < n; ++k) {
        double rk = 0.0, qk = 0.0;
        for (std::int64_t l = 0; l < g; ++l) {
            rk += nu[k + n * l] * big_r[l];
            qk += nu[k + n * l] * big_q[l];
        }
        r[k] = rk;
        q[k] = qk;
    }
    return problem;
}

GroupProblem gather_groups(const host::Host &host, std::int64_t n, const std::int64_t *idx, const double *mwn,
                           const double *mw_by_component, const double *units, WorkArea &work, UnifacMixture &mix,
                           double *r, double *q) {
    GroupProblem problem;
    const std::int64_t nc = host.component_count();
    const keld_host &host_table = host.table();
    const GroupTableView table{host_table.group_table, host.group_table_words(), host.missing()};
    const std::int64_t ns = table.subgroups(), nm = table.main_groups();
    const std::int64_t counts_at = 2 + 4 * ns + nm * nm;
    if (ns < 1 || table.size < counts_at + ns * nc) {
        problem.status = GroupStatus::no_table;
        return problem;
    }
    auto count = [&](std::int64_t i, std::int64_t s) {  // 1-based component and subgroup
        const double c = table.word(counts_at + (s - 1) * nc + i);
        return std::isfinite(c) && c > 0.0 ? c : 0.0;
    };

    // Counts of every subgroup in every listed component.
    double *all = work.reals(n * ns);
    double *segment_scratch = work.reals(nc);
    if (!all || !segment_scratch) {
        problem.status = GroupStatus::no_table;
        return problem;
    }
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k];
        bool any = false;
        for (std::int64_t s = 1; s <= ns; ++s) {
            all[k + n * (s - 1)] = count(i, s) * units[k];
            any = any || all[k + n * (s - 1)] > 0.0;
        }
        if (!any && host.is_polymer_or_oligomer(i)) {
            for_each_segment_unit(host, i, mwn[k], mw_by_component, {segment_scratch, nc},
                                  [&](std::int64_t segment, double segment_units) {
                                      for (std::int64_t s = 1; s <= ns; ++s)
                                          all[k + n * (s - 1)] += segment_units * count(segment, s);
                                  });
            for (std::int64_t s = 1; s <= ns && !any; ++s) any = all[k + n * (s - 1)] > 0.0;
        }
        if (!any) {
            problem.status = GroupStatus::no_groups;
            problem.component = i;
            return problem;
        }
    }

    problem = compact_groups(table, n, all, work, mix, r, q);
    if (problem.status != GroupStatus::ok) return problem;
    // One array serves the mixture's and each pure component's area fractions in turn.
    mix.theta = mix.pure_theta = work.reals(mix.groups);
    mix.psi = work.jets(mix.mains * mix.mains);
    mix.sums = work.jets(mix.groups);
    mix.ln_gamma = work.jets(mix.groups);
    mix.pure_ln_gamma = work.jets(n * mix.groups);
    mix.unit = work.reals(n);
    if (!mix.theta || !mix.unit || !mix.psi || !mix.sums || !mix.ln_gamma || !mix.pure_ln_gamma) {
        problem.status = GroupStatus::no_table;
        return problem;
    }
    return problem;
}

}  // namespace keld::cubic
