// The Sanchez-Lacombe parameters a call uses (see sl_parameters.h).
#include "sanchez_lacombe/sl_parameters.h"

#include "common/monitor_call.h"
#include "common/segment_average.h"
#include "contributions/lattice_fluid.h"

namespace keld::sanchez_lacombe {
namespace {

// A vector loop (the build keeps it from becoming a memcpy call).
void copy_words(const double *__restrict from, std::int64_t count, double *__restrict to) {
#pragma GCC unroll 4
    for (std::int64_t e = 0; e < count; ++e) to[e] = from[e];
}

// Cross value of listed components i and j (1-based) for one matrix: a given
// binary takes the plain rule, otherwise the polymer-source rules decide.
template <class Plain, class ThroughSegments>
double cross_value(const double *sources, double binary, std::int64_t i, std::int64_t j, Plain plain,
                   ThroughSegments through_segments) {
    if (binary != 0.0) return plain(binary);
    return cross_without_binary(sources[i - 1], sources[j - 1], i, j, [&] { return plain(0.0); }, through_segments);
}

// The plain-rule pairs of one listed component j with those listed before it, by position k < count
// (row i = k for a list 1, 2, ..., n, else idx[k] - 1): the element (i, j) of the binaries decides;
// the values go down column j of both matrices and across row j for (j, i). Without aliasing the
// sequential case runs as whole vectors.
template <bool Sequential>
void plain_pairs_of(std::int64_t j, std::int64_t count, const std::int64_t *__restrict idx, std::int64_t nc,
                    const double *__restrict k_column, const double *__restrict eta_column,
                    const double *__restrict e1, const double *__restrict v1, double *__restrict eps_column,
                    double *__restrict vol_column, double *__restrict eps_row, double *__restrict vol_row) {
    const double e_j = e1[j], v_j = v1[j];
    for (std::int64_t k = 0; k < count; ++k) {
        std::int64_t i = k;
        if constexpr (!Sequential) i = idx[k] - 1;
        const double eps = terms::cross_energy(k_column[i], e1[i], e_j);
        const double vol = terms::cross_volume(eta_column[i], v1[i], v_j);
        eps_column[i] = eps;
        vol_column[i] = vol;
        eps_row[i * nc] = eps;
        vol_row[i * nc] = vol;
    }
}

template <bool Sequential>
void set_plain_cross_matrices(const MonitorCall &call, const WorkArea &work) {
    const std::int64_t nc = work.nc;
    for (std::int64_t l = 1; l < call.n; ++l) {
        const std::int64_t j = call.idx[l] - 1;
        plain_pairs_of<Sequential>(j, l, call.idx, nc, work.kij() + j * nc, work.eta() + j * nc, work.eps_star(),
                                   work.v_star(), work.eps_matrix() + j * nc, work.v_matrix() + j * nc,
                                   work.eps_matrix() + j, work.v_matrix() + j);
    }
}

}  // namespace


std::optional<ParameterBlocks> ParameterBlocks::locate(const host::Host &host, std::int64_t kds) {
    ParameterBlocks b;
    b.t_star = host.param_offset("SLTSTR");
    b.p_star = host.param_offset("SLPSTR");
    b.rho_star = host.param_offset("SLRSTR");
    b.kij = host.param_offset("SLKIJ");
    b.eta = host.param_offset("SLETIJ");
    b.t_work = host.param_offset("TSTARL");
    b.p_work = host.param_offset("PSTARL");
    b.rho_work = host.param_offset("DSTARL");
    b.mw = host.param_offset("MW");
    b.source = host.offsets1(kSourceFlagsElement);
    const bool ok = unary_block_in_store(host, b.t_star, kds) && unary_block_in_store(host, b.p_star, kds) &&
                    unary_block_in_store(host, b.rho_star, kds) && unary_block_in_store(host, b.source, kds) &&
                    binary_block_in_store(host, b.kij, kds) && binary_block_in_store(host, b.eta, kds) &&
                    unary_block_in_store(host, b.t_work, 1) && unary_block_in_store(host, b.p_work, 1) &&
                    unary_block_in_store(host, b.rho_work, 1) && unary_block_in_store(host, b.mw, 1);
    if (!ok) return std::nullopt;
    return b;
}

// Binary copies (diagonal 0) and the segments' v*, eps*; then the listed
// components' characteristic T*, P*, rho* (a polymer or oligomer missing any of
// its own taking all three from its segments), published as the host's
// working copies TSTARL, PSTARL, DSTARL, and their r, v*, eps*. Every value
// the model will use passes through `check`.
void set_component_values(const Parameters &par, const MonitorCall &call, const WorkArea &work,
                          ParameterCheck &check, Characteristics *kept) {
    const host::Host &host = par.host;
    const std::int64_t nc = work.nc;
    const std::int64_t nc2 = nc * nc;
    const double r = host.gas_constant();
    const double *kij = host.word(par.b.kij + (call.kds - 1) * nc2 + 1);
    const double *eta = host.word(par.b.eta + (call.kds - 1) * nc2 + 1);
    copy_words(kij, nc2, work.kij());
    copy_words(eta, nc2, work.eta());
    for (std::int64_t i = 0; i < nc; ++i) work.kij()[i * (nc + 1)] = work.eta()[i * (nc + 1)] = 0.0;
    for (std::int64_t i = 0; i < nc; ++i) {
        if (!host.is_segment(i + 1) || host.is_missing(par.rho_star()[i])) continue;
        work.v_star()[i] = terms::segment_volume(par.t_star()[i], par.p_star()[i], r);
        work.eps_star()[i] = terms::segment_energy(par.t_star()[i], r);
    }
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k] - 1;
        double t_star = par.t_star()[i], p_star = par.p_star()[i], rho_star = par.rho_star()[i];
        double source = param_source::not_polymer;
        if (host.is_polymer_or_oligomer(i + 1)) {
            const bool incomplete = host.is_missing(rho_star) || host.is_missing(p_star) || host.is_missing(t_star);
            if (incomplete) {
                const SlCharacteristics c =
                    sl_segment_characteristics(host, par.t_star(), par.p_star(), par.rho_star(), i + 1,
                                               work.mwn()[k], {work.scratch(), work.scratch_words()});
                check.require_average(c.check, i + 1, {"SLTSTR", "SLPSTR", "SLRSTR"});
                t_star = c.t_star;
                p_star = c.p_star;
                rho_star = c.rho_star;
            }
            source = incomplete ? param_source::from_segments : param_source::own;
            host.publish(par.b.source + par.d0 + i + 1, source);
        }
        work.sources()[i] = source;
        check.require("SLTSTR", i + 1, t_star);
        check.require("SLPSTR", i + 1, p_star);
        check.require("SLRSTR", i + 1, rho_star);
        host.publish(par.b.t_work + i + 1, t_star);
        host.publish(par.b.p_work + i + 1, p_star);
        host.publish(par.b.rho_work + i + 1, rho_star);
        if (kept) kept[k] = {t_star, p_star, rho_star};
        work.r()[i] = terms::segment_number(work.mwn()[k], t_star, p_star, rho_star, r);
        work.v_star()[i] = terms::segment_volume(t_star, p_star, r);
        work.eps_star()[i] = terms::segment_energy(t_star, r);
    }
}

void set_cross_matrices(const Parameters &par, const MonitorCall &call, const WorkArea &work) {
    const host::Host &host = par.host;
    const std::int64_t nc = work.nc;
    double *eps = work.eps_matrix();
    double *vol = work.v_matrix();
    // With every component listed (each once) the diagonal and the pairs below fill both matrices.
    if (call.n < nc) {
        for (std::int64_t e = 0; e < nc * nc; ++e) eps[e] = vol[e] = 0.0;
    }
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k] - 1;
        eps[i * nc + i] = work.eps_star()[i];
        vol[i * nc + i] = work.v_star()[i];
    }
    const SegmentScratch scratch{work.scratch(), work.scratch_words()};
    const double *e1 = work.eps_star(), *v1 = work.v_star();
    // The element (i, j) of the binary with i listed before j decides the pair.
    auto for_each_pair = [&](auto &&set) {
        for (std::int64_t k = 0; k < call.n; ++k)
            for (std::int64_t l = k + 1; l < call.n; ++l) set(call.idx[k], call.idx[l]);
    };
    auto store = [nc](double *m, std::int64_t i, std::int64_t j, double value) {
        m[(j - 1) * nc + (i - 1)] = value;
        m[(i - 1) * nc + (j - 1)] = value;
    };
    bool through_segments = false;
    for (std::int64_t k = 0; k < call.n; ++k)
        through_segments = through_segments || work.sources()[call.idx[k] - 1] == param_source::from_segments;
    if (!through_segments) {
        // Every pair takes the plain rules ((1 - 0) and 0.5 (1 - 0) leave the plain means as they are),
        // and nothing else is touched.
        bool sequential = true;
        for (std::int64_t k = 0; k < call.n; ++k) sequential = sequential && call.idx[k] == k + 1;
        if (sequential) {
            set_plain_cross_matrices<true>(call, work);
        } else {
            set_plain_cross_matrices<false>(call, work);
        }
        return;
    }
    for_each_pair([&](std::int64_t i, std::int64_t j) {
        const double value = cross_value(
            work.sources(), work.kij()[(j - 1) * nc + (i - 1)], i, j,
            [&](double k) { return terms::cross_energy(k, e1[i - 1], e1[j - 1]); },
            [&](std::int64_t other, std::int64_t polymer) {
                return segment_geometric_cross(host, e1, work.kij(), other, polymer, scratch, call.kopt);
            });
        store(eps, i, j, value);
    });
    for_each_pair([&](std::int64_t i, std::int64_t j) {
        const double value = cross_value(
            work.sources(), work.eta()[(j - 1) * nc + (i - 1)], i, j,
            [&](double eta) { return terms::cross_volume(eta, v1[i - 1], v1[j - 1]); },
            [&](std::int64_t other, std::int64_t polymer) {
                return segment_arithmetic_cross(host, v1, work.eta(), other, polymer, scratch, call.kopt);
            });
        store(vol, i, j, value);
    });
}

}  // namespace keld::sanchez_lacombe
