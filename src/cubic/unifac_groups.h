// The UNIFAC groups of the listed components: the subgroups present, their
// main groups, R, Q, the group counts of each component and the main-group
// interactions a_mn among them, compacted from a group table (the host's, or
// one the model layer builds from plain parameters; layout in keld/host.h).
#pragma once

#include <cstdint>
#include <limits>

#include "cubic/cubic_work.h"
#include "cubic/jet.h"
#include "host/host.h"

namespace keld::cubic {

// What the groups of the listed components are: fixed for a call.
struct UnifacGroups {
    std::int64_t groups = 0, mains = 0;  // G subgroups present, M main groups among them
    const double *main = nullptr;        // local main group (0..M-1) of each subgroup, G
    const double *big_r = nullptr, *big_q = nullptr;  // R_k, Q_k, G
    const double *nu = nullptr;          // count of subgroup k in component i at i + n k (n x G)
    const double *a = nullptr;           // a_mn in K, M x M
};

// The groups with the arrays one evaluation works in: J numbers carry T (a
// Jet in the monitor), X the mole fractions (double in the monitor).
template <class J, class X = double>
struct UnifacMixtureOf : UnifacGroups {
    J *psi = nullptr;            // exp(-a_mn/T), M x M
    J *sums = nullptr;           // G
    J *ln_gamma = nullptr;       // group residual of the mixture, G
    J *pure_ln_gamma = nullptr;  // group residual in each pure component, n x G
    X *theta = nullptr;          // area fractions of the mixture, G
    double *pure_theta = nullptr;  // area fractions of one pure component, G (may be theta itself)
    double *unit = nullptr;      // n: the composition of one pure component
};
using UnifacMixture = UnifacMixtureOf<Jet, double>;

enum class GroupStatus { ok, no_table, no_groups, missing_interaction };

struct GroupProblem {
    GroupStatus status = GroupStatus::ok;
    std::int64_t component = 0;           // component number of a listed component without groups
    std::int64_t main_i = 0, main_j = 0;  // published subgroup numbers of a pair without a_mn
};

// A group table's words, 1-based as HostGroupTable gives them; `missing`
// marks an interaction not known (as does any value that is not finite).
struct GroupTableView {
    const double *words = nullptr;
    std::int64_t size = 0;
    double missing = std::numeric_limits<double>::quiet_NaN();

    double word(std::int64_t pos) const {
        return words && pos >= 1 && pos <= size ? words[pos - 1] : std::numeric_limits<double>::quiet_NaN();
    }
    // Subgroups NS and main groups NM, or 0 without a usable table.
    std::int64_t subgroups() const;
    std::int64_t main_groups() const;
};

// From the counts of every subgroup s = 1..NS of the table in every listed
// component (counts[k + n (s - 1)], already per molecule), the subgroups
// present, their main groups and interactions, and r_i = sum nu R,
// q_i = sum nu Q. The arrays come from `work`. Every component must hold
// some group (the caller checks).
GroupProblem compact_groups(const GroupTableView &table, std::int64_t n, const double *counts, WorkArea &work,
                            UnifacGroups &mix, double *r, double *q);

// Gathers the groups of the n listed components from the host's table
// (component numbers idx, number-average weights mwn, apparent MW by
// component, units = MWN/MW of a polymer; a polymer without groups of its own
// sums its segments'), fills r_i, q_i and takes the work arrays of one
// evaluation. A component without groups is named by its component number.
GroupProblem gather_groups(const host::Host &host, std::int64_t n, const std::int64_t *idx, const double *mwn,
                           const double *mw_by_component, const double *units, WorkArea &work, UnifacMixture &mix,
                           double *r, double *q);

}  // namespace keld::cubic
