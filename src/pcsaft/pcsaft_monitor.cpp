#include "pcsaft/pcsaft_monitor.h"

#include <cmath>
#include <optional>

#include "common/basis.h"
#include "common/lanes.h"
#include "common/missing_parameters.h"
#include "common/segment_average.h"
#include "common/vector_form.h"
#include "pcsaft/pcsaft_parameters.h"
#include "pcsaft/pcsaft_properties.h"
#include "pcsaft/pcsaft_work.h"

namespace keld::pcsaft {
namespace {

// The monitor's refusal of missing parameters (message check class 2, number 2).
const RefusalSite kRefusal{host::RoutineId("ESPC", "SF"), 2, 2, "POLYPCSF"};

// Every pair's cross energy (1 - k_ij) sqrt(eps_i eps_j) ((1 - 0) leaves the plain mean as it is), into
// both triangles. The square roots go two at a time over the energies gathered by position (into
// vectors the properties fill only later); with the listed components consecutive, k_ij and the
// matrix's column are read and written two at a time too.
void set_plain_cross_energies(const MonitorCall &call, const WorkArea &work) {
    const std::int64_t nc = work.nc;
    double *const eps = work.eps_matrix();
    const double *const kij = work.kij();
    double *const e = work.positions().d;
    double *const mean = work.positions().md;
    bool consecutive = true;
    for (std::int64_t k = 0; k < call.n; ++k) {
        e[k] = work.eps()[call.idx[k] - 1];
        consecutive = consecutive && call.idx[k] == call.idx[0] + k;
    }
    const std::int64_t first = call.idx[0] - 1;
    for (std::int64_t l = 1; l < call.n; ++l) {
        const std::int64_t j = call.idx[l] - 1;
        const double e_l = e[l];
        std::int64_t k = 0;
        if (consecutive) {
            // Pairs (first + k, j): column j down from row `first`, row j right from column `first`.
            const double *const kij_column = kij + j * nc + first;
            double *const column = eps + j * nc + first;
            double *const row = eps + first * nc + j;
            for (; k + 1 < l; k += 2) {
                const Lanes value = (1.0 - load_lanes(kij_column + k)) * sqrt_lanes(load_lanes(e + k) * e_l);
                store_lanes(column + k, value);
                row[k * nc] = value[0];
                row[(k + 1) * nc] = value[1];
            }
            if (k < l) column[k] = row[k * nc] = (1.0 - kij_column[k]) * std::sqrt(e[k] * e_l);
            continue;
        }
        for (; k + 1 < l; k += 2) {
            const Lanes root = sqrt_lanes(load_lanes(e + k) * e_l);
            mean[k] = root[0];
            mean[k + 1] = root[1];
        }
        if (k < l) mean[k] = std::sqrt(e[k] * e_l);
        const double *const kij_column = kij + j * nc;
        for (k = 0; k < l; ++k) {
            const std::int64_t i = call.idx[k] - 1;
            eps[j * nc + i] = eps[i * nc + j] = (1.0 - kij_column[i]) * mean[k];
        }
    }
}

// Cross energies: a given k_ij takes (1 - k_ij) sqrt(eps_i eps_j); without one,
// a segment-built polymer meets its partner through its segments.
void set_eps_matrix(const Parameters &par, const MonitorCall &call, const WorkArea &work) {
    const host::Host &host = par.host;
    const std::int64_t nc = work.nc;
    double *eps = work.eps_matrix();
    const double *kij = work.kij();
    // With every component listed (each once) the diagonal and the pairs below fill the matrix.
    if (call.n < nc) {
        for (std::int64_t e = 0; e < nc * nc; ++e) eps[e] = 0.0;
    }
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k] - 1;
        eps[i * nc + i] = work.eps()[i];
    }
    bool through_segments = false;
    for (std::int64_t k = 0; k < call.n; ++k)
        through_segments = through_segments || work.sources()[call.idx[k] - 1] == param_source::from_segments;
    if (!through_segments) return set_plain_cross_energies(call, work);
    const SegmentScratch scratch{work.scratch(), work.scratch_words()};
    for (std::int64_t k = 0; k < call.n; ++k) {
        for (std::int64_t l = k + 1; l < call.n; ++l) {
            const std::int64_t i = call.idx[k], j = call.idx[l];
            const double k_ij = kij[(j - 1) * nc + (i - 1)];
            const double plain = std::sqrt(work.eps()[i - 1] * work.eps()[j - 1]);
            const double value =
                k_ij != 0.0 ? (1.0 - k_ij) * plain
                            : cross_without_binary(
                                  work.sources()[i - 1], work.sources()[j - 1],
                                  i, j, [&] { return plain; },
                                  [&](std::int64_t other, std::int64_t polymer) {
                                      return segment_geometric_cross(host, par.eps(), kij, other, polymer, scratch,
                                                                     call.kopt);
                                  });
            eps[(j - 1) * nc + (i - 1)] = value;
            eps[(i - 1) * nc + (j - 1)] = value;
        }
    }
}

}  // namespace

void monitor(const MonitorCall &call) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found) return;
    const host::Host &host = *found;
    const std::int64_t nc = host.component_count();
    if (!open_monitor_call(host, call, WorkArea::words(nc))) return;
    const std::optional<Blocks> blocks = Blocks::locate(host, call.kds);
    if (!blocks) {
        reject(call);
        return;
    }
    const Parameters par{host, *blocks, (call.kds - 1) * nc};
    const WorkArea work{host.word(work_start(host, call)), nc};
    ParameterCheck check(host);
    for (std::int64_t k = 0; k < call.n; ++k) check.require("MW", call.idx[k], par.mw()[call.idx[k] - 1]);
    if (!check.passed()) return refuse_missing_parameter(host, call, kRefusal, check.missing());
    if (!convert_to_true_basis(host, call.n, call.idx, call.z, par.mw(), work.mwn(), nullptr, work.x())) {
        reject(call);
        return;
    }
    evaluate_binary_table(host, *blocks, call, work);
    if (ideal_gas_exit(host, call, par.mw()[call.idx[0] - 1], work.mwn()[0])) return;
    set_component_parameters(par, call, work, check);
    if (!check.passed()) return refuse_missing_parameter(host, call, kRefusal, check.missing());
    set_eps_matrix(par, call, work);
    const Mixture mix{nc,          call.n,      call.idx,    work.x(),          work.mwn(), work.m(),
                      work.sigma(), work.eps(), work.eps_matrix(), work.positions(), work.dadx()};
    run_properties(host, call, {mix, work, par.mw(), blocks->tc, blocks->pc});
}

void vector_monitor(double t, const double *p, std::int64_t n, const std::int64_t *idx, const MonitorCall &shared) {
    run_vector_monitor(monitor, t, p, n, idx, shared);
}

}  // namespace keld::pcsaft
