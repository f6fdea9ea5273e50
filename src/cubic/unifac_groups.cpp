#include "cubic/unifac_groups.h"

#include <cmath>

#include "cubic/polymer_units.h"

namespace keld::cubic {

GroupProblem gather_groups(const host::Host &host, std::int64_t n, const std::int64_t *idx, const double *mwn,
                           const double *mw_by_component, const double *units, WorkArea &work, UnifacMixture &mix,
                           double *r, double *q) {
    GroupProblem problem;
    const std::int64_t nc = host.component_count();
    const double ns_word = host.group_word(1), nm_word = host.group_word(2);
    if (!(ns_word >= 1.0 && nm_word >= 1.0 && ns_word < 1e6 && nm_word < 1e4)) {
        problem.status = GroupStatus::no_table;
        return problem;
    }
    const auto ns = static_cast<std::int64_t>(ns_word), nm = static_cast<std::int64_t>(nm_word);
    const std::int64_t counts_at = 2 + 4 * ns + nm * nm;
    if (host.group_table_words() < counts_at + ns * nc) {
        problem.status = GroupStatus::no_table;
        return problem;
    }
    auto count = [&](std::int64_t i, std::int64_t s) {  // 1-based component and subgroup
        const double c = host.group_word(counts_at + (s - 1) * nc + i);
        return std::isfinite(c) && c > 0.0 ? c : 0.0;
    };

    // Counts of every subgroup in every listed component.
    double *all = work.reals(n * ns);
    double *segment_scratch = work.reals(nc);
    double *local = work.reals(ns);  // local index + 1 of a present subgroup, 0 when absent
    if (!all || !segment_scratch || !local) {
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

    // The subgroups present and their main groups.
    std::int64_t g = 0;
    for (std::int64_t s = 1; s <= ns; ++s) {
        bool present = false;
        for (std::int64_t k = 0; k < n && !present; ++k) present = all[k + n * (s - 1)] > 0.0;
        if (present) local[s - 1] = static_cast<double>(++g);
    }
    mix.groups = g;
    mix.main = work.reals(g);
    mix.big_r = work.reals(g);
    mix.big_q = work.reals(g);
    mix.nu = work.reals(n * g);
    mix.theta = work.reals(g);
    double *host_main = work.reals(g);  // host main group of each local main group
    double *published = work.reals(g);  // published number of the first subgroup of each local main group
    if (!mix.main || !mix.big_r || !mix.big_q || !mix.nu || !mix.theta || !host_main || !published) {
        problem.status = GroupStatus::no_table;
        return problem;
    }
    std::int64_t m = 0;
    for (std::int64_t s = 1; s <= ns; ++s) {
        if (local[s - 1] == 0.0) continue;
        const auto l = static_cast<std::int64_t>(local[s - 1]) - 1;
        const std::int64_t at = 2 + 4 * (s - 1);
        const double main = host.group_word(at + 1);
        mix.big_r[l] = host.group_word(at + 2);
        mix.big_q[l] = host.group_word(at + 3);
        std::int64_t found = -1;
        for (std::int64_t j = 0; j < m; ++j)
            if (host_main[j] == main) found = j;
        if (found < 0) {
            found = m++;
            host_main[found] = main;
            published[found] = host.group_word(at + 4);
        }
        mix.main[l] = static_cast<double>(found);
        for (std::int64_t k = 0; k < n; ++k) mix.nu[k + n * l] = all[k + n * (s - 1)];
    }
    mix.mains = m;
    mix.a = work.reals(m * m);
    mix.psi = work.jets(m * m);
    mix.sums = work.jets(g);
    mix.ln_gamma = work.jets(g);
    mix.pure_ln_gamma = work.jets(n * g);
    mix.unit = work.reals(n);
    if (!mix.unit || !mix.a || !mix.psi || !mix.sums || !mix.ln_gamma || !mix.pure_ln_gamma) {
        problem.status = GroupStatus::no_table;
        return problem;
    }
    for (std::int64_t b = 0; b < m; ++b) {
        for (std::int64_t a = 0; a < m; ++a) {
            if (a == b) continue;
            const auto hm = static_cast<std::int64_t>(host_main[a]), hn = static_cast<std::int64_t>(host_main[b]);
            const double value = host.group_word(2 + 4 * ns + (hn - 1) * nm + hm);
            if (!std::isfinite(value) || host.is_missing(value) || hm < 1 || hm > nm || hn < 1 || hn > nm) {
                problem.status = GroupStatus::missing_interaction;
                problem.main_i = static_cast<std::int64_t>(published[a]);
                problem.main_j = static_cast<std::int64_t>(published[b]);
                return problem;
            }
            mix.a[a + m * b] = value;
        }
    }
    for (std::int64_t k = 0; k < n; ++k) {
        double rk = 0.0, qk = 0.0;
        for (std::int64_t l = 0; l < g; ++l) {
            rk += mix.nu[k + n * l] * mix.big_r[l];
            qk += mix.nu[k + n * l] * mix.big_q[l];
        }
        r[k] = rk;
        q[k] = qk;
    }
    return problem;
}

}  // namespace keld::cubic
