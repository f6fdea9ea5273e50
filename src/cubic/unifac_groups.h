// The UNIFAC groups of the listed components, gathered from the host's group
// table: the subgroups present, their main groups, R, Q, the group counts of
// each component and the main-group interactions a_mn among them.
#pragma once

#include <cstdint>

#include "cubic/cubic_work.h"
#include "cubic/excess_gibbs.h"
#include "host/host.h"

namespace keld::cubic {

struct UnifacMixture {
    std::int64_t groups = 0, mains = 0;  // G subgroups present, M main groups among them
    double *main;      // local main group (0..M-1) of each subgroup, G
    double *big_r, *big_q;  // R_k, Q_k, G
    double *nu;        // count of subgroup k in component i at i + n k (n x G)
    double *a;         // a_mn in K, M x M
    Jet *psi;          // exp(-a_mn/T), M x M
    Jet *sums;         // G
    Jet *ln_gamma;     // group residual of the mixture, G
    Jet *pure_ln_gamma;  // group residual in each pure component, n x G
    double *theta;     // G
    double *unit;      // n: the composition of one pure component
};

enum class GroupStatus { ok, no_table, no_groups, missing_interaction };

struct GroupProblem {
    GroupStatus status = GroupStatus::ok;
    std::int64_t component = 0;    // component without groups
    std::int64_t main_i = 0, main_j = 0;  // published subgroup numbers of a pair without a_mn
};

// Gathers the groups of the n listed components (component numbers idx,
// number-average weights mwn, apparent MW by component, units = MWN/MW of a
// polymer) and fills r_i = sum nu R, q_i = sum nu Q.
GroupProblem gather_groups(const host::Host &host, std::int64_t n, const std::int64_t *idx, const double *mwn,
                           const double *mw_by_component, const double *units, WorkArea &work, UnifacMixture &mix,
                           double *r, double *q);

}  // namespace keld::cubic
