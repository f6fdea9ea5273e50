#include "pcsaft/pcsaft_segment_monitor.h"

#include <cmath>

#include "common/segment_parameters.h"
#include "pcsaft/pcsaft_segment_work.h"

namespace keld::pcsaft {
namespace {

const host::RoutineId kModelName("PCSA", "FT");  // handed to the host's root routines
const segment::RefusalSite kRefusal{host::RoutineId("PCSF", "01"), 2, 2, "POLYPCSF"};
const segment::RefusalSite kBeyondClosePacking{host::RoutineId("PCSF", "01"), 2, 7, "POLYPCSF"};
// As the stored-parameter monitor: a liquid search without a better start is
// offered the volume at packing fraction 0.4.
constexpr double kLiquidPackingFraction = 0.4;

const segment::ChainNames kNames{"PCSFTM", "PCSFTV", "PCSFTU", "PCSFTR"};

}  // namespace

void segment_monitor(segment::Call call, const SegmentParameters &par) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found || call.n < 1) return;
    const host::Host &host = *found;
    const std::int64_t nc = call.nc;
    if (!segment::arguments_usable(host, call) || !par.tc || !par.pc || !par.m || !par.sigma || !par.eps ||
        !par.r || !par.table || !(par.table_words >= 6 * nc * nc)) {
        segment::refuse(call);
        return;
    }
    const SegmentWork w{call.w, nc};
    segment::clear_work(call);
    call.sources = w.sources();
    for (std::int64_t i = 0; i < nc; ++i) {
        w.tc()[i] = par.tc[i];
        w.pc()[i] = par.pc[i];
    }
    segment::true_mole_fractions(host, call);
    const std::int64_t mode = segment::table_mode(call);
    segment::binary_table(host, call, par.table, par.table_words, w.k(), w.dkdt(), mode);
    if (segment::ideal_gas_exit(host, call)) return;

    segment::MissingCheck check(host.missing());
    segment::chain_parameters(call, {par.m, par.sigma, par.eps, par.r}, {w.m(), w.sigma(), w.eps(), w.r()}, kNames,
                              check);
    segment::cross_matrix(call, segment::CrossMean::geometric, w.eps(), par.eps, w.k(), w.dkdt(), mode,
                          w.eps_matrix(), w.deps_dt(), kNames.energy, check);
    if (!check.passed()) return segment::refuse_missing(host, call, kRefusal, check);

    const PositionVectors pos = w.positions();
    auto evaluate = [&](double rho, ResidualSwitches sw, const double *deps) {
        return residual(call.t, rho, nc, call.n, call.idx, call.x, sw, w.dadx(), w.m(), w.sigma(), w.eps(),
                        w.eps_matrix(), pos, deps);
    };
    const RootVolumes vol = segment::polymer_volumes(call, {w.tc(), w.pc()}, call.t, [&](std::int64_t k) {
        const std::int64_t i = call.idx[k];
        const double d = scaled_segment_diameter(w.sigma()[i - 1], w.eps()[i - 1], call.t);
        return call.x[k] * w.m()[i - 1] * d * d * d;
    });
    const double rt = host.gas_constant() * call.t;
    const double rho_start = call.kvl == 2 ? kLiquidPackingFraction / vol.close_packed : 0.0;
    // Everything but the density formed once: each density of the search costs O(N).
    const terms::PairSums sums = terms::pair_sums(call.t, nc, call.n, call.idx, call.x, w.m(), w.sigma(),
                                                  w.eps_matrix(), nullptr, nullptr);
    const Isotherm iso(call.t, call.n, call.idx, call.x, w.m(), w.sigma(), w.eps(), pos, sums, false);
    const std::optional<RootResult> root =
        segment::density_root(host, call, vol, kModelName, true, rho_start, [&](double rho) {
            const ResidualValues a = iso.density_derivatives(rho);
            return PressureAndSlope{rt * rho * (1.0 + rho * a.a_rho),
                                    -rt * rho * rho * (1.0 + 2.0 * rho * a.a_rho + rho * rho * a.a_rhorho)};
        }, &kBeyondClosePacking);
    if (!root) return segment::refuse(call);

    const Requests values = segment::value_requests(call);
    if (values.any()) {
        const ResidualSwitches sw{values.h.value, values.s.value, values.g.value, values.phi.value};
        const ResidualValues a = evaluate(root->rho, sw, mode == 2 ? w.deps_dt() : nullptr);
        segment::write_properties(host, call, root->rho,
                                  {a.a, a.a_rho, a.a_t, values.phi.value ? w.dadx() : nullptr});
    }
    segment::write_options(call, [&](std::int64_t k) { return w.r()[call.idx[k] - 1]; }, w.m());
}

void segment_vector_monitor(const segment::Call &shared, const SegmentParameters &par, const double *p,
                            const double *mwn, const double *option_values) {
    segment::vector_form(shared, p, mwn, option_values, [&](const segment::Call &call) { segment_monitor(call, par); });
}

}  // namespace keld::pcsaft
