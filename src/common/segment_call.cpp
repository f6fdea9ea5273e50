#include "common/segment_call.h"

#include <limits>

#include "common/ideal_gas.h"
#include "common/messages.h"

namespace keld::segment {
namespace {

constexpr double kSmallestCompressibility = 1e-35;

bool positive_finite(double v) { return std::isfinite(v) && v > 0.0; }

bool slots_given(const Requests &rq, const MonitorOutputs &o) {
    auto given = [](const Flag &f, const double *value, const double *derivative) {
        return (!f.value || value) && (!f.derivative || derivative);
    };
    return given(rq.phi, o.phi, o.dphi) && given(rq.h, o.h, o.dh) && given(rq.s, o.s, o.ds) &&
           given(rq.g, o.g, o.dg) && given(rq.v, o.v, o.dv);
}

bool segments_usable(const GivenSegments &g, std::int64_t nc) {
    if (g.ns < 0 || g.ns > nc) return false;
    if (g.ns == 0) return true;
    if (!g.seg || !g.weight || !g.mole) return false;
    for (std::int64_t s = 0; s < g.ns; ++s)
        if (g.seg[s] < 1 || g.seg[s] > nc) return false;
    return true;
}

}  // namespace

bool arguments_usable(const host::Host &host, Call &call) {
    call.segments.ld = call.nc;
    call.segments.floor = host.segment_fraction_floor();
    call.segments.missing = host.missing();
    if (!host.has_segment_services()) return false;
    if (call.nc < 1 || call.nc > kMaxComponents || call.n > call.nc) return false;
    if (!call.idx || !call.z || !call.w || !call.mw || !call.source || !call.polymer_flags || !call.x ||
        !call.mwn || !call.option_scalar)
        return false;
    if (!(call.w_words >= work_words(call.nc))) return false;
    if (!std::isfinite(call.t) || !(call.t > 0.0) || !std::isfinite(call.p) || !(call.p > 0.0)) return false;
    if (!slots_given(call.rq, call.out)) return false;
    if (call.option == 1 && !call.option_vector) return false;
    if (call.option == 3 && (!call.option_factor || !call.option_values)) return false;
    if (!segments_usable(call.segments, call.nc)) return false;
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k];
        if (i < 1 || i > call.nc) return false;
        if (!positive_finite(call.mw[i - 1]) || !positive_finite(call.mwn[k]) || !std::isfinite(call.z[k]))
            return false;
    }
    return true;
}

void refuse(const Call &call) {
    const std::int64_t n = refused_positions(call.n, call.nc <= kMaxComponents ? call.nc : 0);
    mark_unavailable(call.rq, n, call.out);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (call.option == 1 && call.option_vector)
        for (std::int64_t k = 0; k < n; ++k) call.option_vector[k] = nan;
    if (call.option_scalar) *call.option_scalar = nan;
    if (call.kstat) *call.kstat = 0;
}

void clear_work(const Call &call) {
    const std::int64_t words = work_words(call.nc);
    for (std::int64_t e = 0; e < words; ++e) call.w[e] = 0.0;
}

void true_mole_fractions(const host::Host &host, const Call &call) {
    host.volume_apparent_to_true(call.n, call.idx, call.mw, call.mwn, call.z, call.x, call.nc, call.polymer_flags);
}

std::int64_t table_mode(const Call &call) { return call.flags[1] >= 1 || call.flags[2] >= 1 ? 2 : 1; }

void binary_table(const host::Host &host, const Call &call, const double *table, std::int64_t table_words,
                  double *k, double *dkdt, std::int64_t mode) {
    host.binary_table4(call.t, call.nc, table, table_words, k, dkdt, mode);
    if (mode != 2)
        for (std::int64_t e = 0; e < call.nc * call.nc; ++e) dkdt[e] = 0.0;
}

bool ideal_gas_exit(const host::Host &host, const Call &call) {
    if (call.n != 1 || !(call.p < kIdealGasExitPressure)) return false;
    const IdealGasInputs in{call.t, call.p, call.mw[call.idx[0] - 1], call.mwn[0], host.gas_constant(),
                            host.reference_pressure()};
    const MonitorOutputs &o = call.out;
    ideal_gas_departure(in, call.rq, o.phi, o.h, o.s, o.g, o.v, o.dphi, o.dh, o.ds, o.dg, o.dv);
    return true;
}

void refuse_missing(const host::Host &host, const Call &call, const RefusalSite &site, const MissingCheck &check) {
    refuse(call);
    messages::MissingParameterReport report(host, site.model_name);
    const messages::CheckSite where{site.routine, site.check_class, site.number, call.kdiag};
    const host::ComponentId id = host.identifier(check.component());
    const std::string_view what =
        host.is_segment(check.component()) ? "MISSING FOR SEGMENT " : "MISSING FOR COMPONENT ";
    report.issue(where, "6X,A,' (DATA SET ',I3,') ',A,2A4",
                 {check.name(), call.kds, what, std::string_view(id.data(), 4), std::string_view(id.data() + 4, 4)});
}

Requests value_requests(const Call &call) {
    Requests values = call.rq;
    for (Flag *f : {&values.phi, &values.h, &values.s, &values.g, &values.v}) f->derivative = false;
    return values;
}

void write_properties(const host::Host &host, const Call &call, double rho, const ResidualAtRoot &res) {
    const Requests values = value_requests(call);
    const double r = host.gas_constant(), t = call.t;
    const double z = 1.0 + rho * res.a_rho;
    double p_calc = r * t * rho * z;
    if (!(p_calc > 0.0)) p_calc = call.p;
    const double zg = z > 0.0 ? z : kSmallestCompressibility;
    const double log_z = std::log(zg);
    const double log_p = std::log(call.p / host.reference_pressure());

    const StateValues st{1.0 / rho, r * t * (zg - 1.0 - t * res.a_t),
                         r * t * (-res.a / t + log_z / t - log_p / t - res.a_t),
                         r * t * (zg - 1.0 + log_p - log_z + res.a)};
    double factor = 0.0;
    for (std::int64_t k = 0; k < call.n; ++k) factor += call.z[k] * call.mw[call.idx[k] - 1] / call.mwn[k];
    if (values.v.value) *call.out.v = st.v * factor;
    if (values.h.value) *call.out.h = st.h * factor;
    if (values.s.value) *call.out.s = st.s * factor;
    if (values.g.value) *call.out.g = st.g * factor;
    if (values.phi.value && res.dadx) {
        double mean = 0.0;
        for (std::int64_t k = 0; k < call.n; ++k) mean += call.x[k] * res.dadx[k];
        const double liquid_shift = call.kvl == 2 ? std::log(call.p / p_calc) : 0.0;
        for (std::int64_t k = 0; k < call.n; ++k) {
            double phi = res.dadx[k] - mean + (zg - 1.0) + res.a - log_z - liquid_shift;
            if (call.z[k] > 0.0 && call.x[k] > 0.0) phi += std::log(call.x[k] / call.z[k]);
            call.out.phi[k] = phi;
        }
    }
}

}  // namespace keld::segment
