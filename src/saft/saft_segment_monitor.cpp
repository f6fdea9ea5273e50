#include "saft/saft_segment_monitor.h"

#include "common/segment_parameters.h"
#include "saft/saft_residual.h"

namespace keld::saft {
namespace {

const host::RoutineId kModelName("SAFT", "03");  // handed to the host's root routines
const segment::RefusalSite kRefusal{host::RoutineId("SAFT", "01"), 2, 2, "POLYSAFT"};
const segment::RefusalSite kBeyondClosePacking{host::RoutineId("SAFT", "01"), 2, 7, "POLYSAFT"};
const segment::ChainNames kNames{"SAFTM", "SAFTV", "SAFTU", "SAFTR"};
// As the other SAFT monitors: a liquid search without a better start is
// offered the volume at packing fraction 0.34.
constexpr double kLiquidPackingFraction = 0.34;

// The work array (offsets from W(1)): by component the copies of the two
// given vectors, then m, v00, u0/k, r in use; ten vectors by position; the
// NC x NC blocks k_ij, dk_ij/dT, u0_ij/k, d(u0_ij/k)/dT; then PolymerParamSource
// by component as the call decides it.
struct SegmentWork {
    double *w;
    std::int64_t nc;

    double *tc() const { return w; }
    double *pc() const { return w + nc; }
    double *m() const { return w + 2 * nc; }
    double *v00() const { return w + 3 * nc; }
    double *u0() const { return w + 4 * nc; }
    double *r() const { return w + 5 * nc; }
    PositionVectors positions() const {
        double *p = w + 6 * nc;
        return {p, p + nc, p + 2 * nc, p + 3 * nc, p + 4 * nc, p + 5 * nc, p + 6 * nc, p + 7 * nc, p + 8 * nc};
    }
    double *dadx() const { return w + 15 * nc; }
    double *k() const { return w + 16 * nc; }
    double *dkdt() const { return w + 16 * nc + nc * nc; }
    double *u0_matrix() const { return w + 16 * nc + 2 * nc * nc; }
    double *u0_matrix_t() const { return w + 16 * nc + 3 * nc * nc; }
    double *sources() const { return w + 16 * nc + 4 * nc * nc; }
};

}  // namespace

void segment_monitor(segment::Call call, const SegmentParameters &par) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found || call.n < 1) return;
    const host::Host &host = *found;
    const std::int64_t nc = call.nc;
    if (!segment::arguments_usable(host, call) || !par.tc || !par.pc || !par.m || !par.v00 || !par.u0 ||
        !par.r || !par.e || !par.table || !(par.table_words >= 6 * nc * nc)) {
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
    segment::chain_parameters(call, {par.m, par.v00, par.u0, par.r}, {w.m(), w.v00(), w.u0(), w.r()}, kNames, check);
    for (std::int64_t k = 0; k < call.n; ++k) check.require("SAFTE", call.idx[k], par.e[call.idx[k] - 1]);
    segment::cross_matrix(call, segment::CrossMean::geometric, w.u0(), par.u0, w.k(), w.dkdt(), mode,
                          w.u0_matrix(), w.u0_matrix_t(), kNames.energy, check);
    if (!check.passed()) return segment::refuse_missing(host, call, kRefusal, check);

    const Parameters model{w.m(), w.v00(), w.u0(), par.e, w.u0_matrix(), nc, nullptr,
                           mode == 2 ? w.u0_matrix_t() : nullptr};
    const Mixture mx = mix(call.t, call.n, call.idx, call.x, model, w.positions(), host.segment_fraction_floor());
    const RootVolumes vol = segment::polymer_volumes(call, {w.tc(), w.pc()}, call.t,
                                                     [&](std::int64_t k) { return call.x[k] * mx.pos.md3[k]; });
    const double rt = host.gas_constant() * call.t;
    const double rho_start = call.kvl == 2 ? kLiquidPackingFraction / vol.close_packed : 0.0;
    const std::optional<RootResult> root =
        segment::density_root(host, call, vol, kModelName, true, rho_start, [&](double rho) {
            const DensityDerivatives a = residual(mx, rho);
            return PressureAndSlope{rt * rho * (1.0 + rho * a.a_rho),
                                    -rt * rho * rho * (1.0 + 2.0 * rho * a.a_rho + rho * rho * a.a_rhorho)};
        }, &kBeyondClosePacking);
    if (!root) return segment::refuse(call);

    const Requests values = segment::value_requests(call);
    if (values.any()) {
        const DensityDerivatives a = residual(mx, root->rho);
        const double a_t = values.h.value || values.s.value ? temperature_derivatives(mx, root->rho).a_t : 0.0;
        if (values.phi.value) composition_derivatives(mx, root->rho, w.dadx());
        segment::write_properties(host, call, root->rho,
                                  {a.a, a.a_rho, a_t, values.phi.value ? w.dadx() : nullptr});
    }
    segment::write_options(call, [&](std::int64_t k) { return w.r()[call.idx[k] - 1]; }, w.m());
}

void segment_vector_monitor(const segment::Call &shared, const SegmentParameters &par, const double *p,
                            const double *mwn, const double *option_values) {
    segment::vector_form(shared, p, mwn, option_values, [&](const segment::Call &call) { segment_monitor(call, par); });
}

}  // namespace keld::saft
