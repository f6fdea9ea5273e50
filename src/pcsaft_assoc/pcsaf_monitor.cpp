#include "pcsaft_assoc/pcsaf_monitor.h"

#include <cmath>
#include <limits>
#include <optional>

#include "common/ideal_gas.h"
#include "common/outputs.h"
#include "common/messages.h"
#include "host/host.h"
#include "pcsaft_assoc/pcsaf_density_root.h"
#include "pcsaft_assoc/pcsaf_model.h"
#include "pcsaft_assoc/pcsaf_residual.h"

namespace keld::pcsaf {
namespace {

const host::RoutineId kMonitorRoutine("PCSA", "F1");
constexpr std::int64_t kRefusalClass = 2;
constexpr std::int64_t kMissingNumber = 2, kShortWorkNumber = 3;
constexpr std::string_view kModelName = "PCSAFT-A";
constexpr double kSmallestCompressibility = 1.0e-35;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Every requested value NaN: the answer to a call the monitor refuses. Derivative slots belong to
// the early exit alone and are left as the caller set them.
void refuse(const Arguments &a) {
    const MonitorOutputs &o = a.out;
    const std::int64_t positions = refused_positions(a.n, a.nc <= kMaxComponents ? a.nc : 0);
    if (a.rq.phi.value)
        for (std::int64_t k = 0; k < positions; ++k) o.phi[k] = kNaN;
    if (a.rq.h.value) *o.h = kNaN;
    if (a.rq.s.value) *o.s = kNaN;
    if (a.rq.g.value) *o.g = kNaN;
    if (a.rq.v.value) *o.v = kNaN;
    *a.status = 0;
}

void report_missing(const host::Host &host, const Arguments &a, const MissingParameter &missing) {
    messages::MissingParameterReport report(host, kModelName);
    const messages::CheckSite site{kMonitorRoutine, kRefusalClass, kMissingNumber, a.kdiag};
    const host::ComponentId id = host.identifier(missing.component);
    const std::string_view what =
        host.is_segment(missing.component) ? "MISSING FOR SEGMENT " : "MISSING FOR COMPONENT ";
    report.issue(site, "6X,A,' (DATA SET ',I3,') ',A,2A4",
                 {missing.name, a.kds, what, std::string_view(id.data(), 4), std::string_view(id.data() + 4, 4)});
}

void report_short_work(const host::Host &host, const Arguments &a, std::int64_t needed) {
    const messages::CheckSite site{kMonitorRoutine, kRefusalClass, kShortWorkNumber, a.kdiag};
    if (messages::wanted(host, site))
        messages::write_and_print(host, "(6X,'PC-SAFT ASSOCIATION MONITOR: WORK AREA TOO SMALL. NEEDED = ',I10,"
                                        "'  GIVEN = ',I10)",
                                  {needed, a.lwork});
}

bool ideal_gas_exit(const host::Host &host, const Arguments &a) {
    if (a.n != 1 || !(a.p < kIdealGasExitPressure)) return false;
    const IdealGasInputs in{a.t, a.p, a.mw[a.idx[0] - 1], number_average_mw(a, 0), host.gas_constant(),
                            host.reference_pressure()};
    const MonitorOutputs &o = a.out;
    ideal_gas_departure(in, a.rq, o.phi, o.h, o.s, o.g, o.v, o.dphi, o.dh, o.ds, o.dg, o.dv);
    *a.status = 1;
    return true;
}

// What the requested values need of the residual core.
struct Needs {
    bool any, composition, temperature;
};

Needs needs_of(const Arguments &a) {
    const Requests &rq = a.rq;
    const bool entropy_from_gibbs = a.options.association == kEntropyFromGibbs && rq.s.value;
    Needs n;
    n.any = rq.phi.value || rq.h.value || rq.s.value || rq.g.value || rq.v.value;
    n.composition = rq.phi.value || rq.s.value || rq.g.value;
    n.temperature = rq.h.value || rq.s.value || entropy_from_gibbs;
    return n;
}

// Values on the true basis at the root, converted to the host's basis, written where requested.
void write_properties(const host::Host &host, const Arguments &a, Model &m, double rho, const ResidualValues &r) {
    const Requests &rq = a.rq;
    const double gas = host.gas_constant();
    const double rt = gas * a.t;
    const double z = 1.0 + rho * r.a_rho;
    const double zg = z > 0.0 ? z : kSmallestCompressibility;
    const double log_z = std::log(zg);
    const double log_p = std::log(a.p / host.reference_pressure());
    const bool entropy_from_gibbs = a.options.association == kEntropyFromGibbs && rq.s.value;
    const bool gibbs = rq.g.value || entropy_from_gibbs;

    double *phi = rq.phi.value ? a.out.phi : m.lnphi;
    if (rq.phi.value || gibbs) {
        double mean = 0.0;
        for (std::int64_t k = 0; k < m.n; ++k) mean += m.x[k] * m.dadx[k];
        for (std::int64_t k = 0; k < m.n; ++k) phi[k] = m.dadx[k] + r.a + (zg - 1.0) - mean - log_z;
    }
    double h = rt * (zg - 1.0 - a.t * r.a_t);
    double s = rt * (-r.a / a.t + log_z / a.t - log_p / a.t - r.a_t);
    double v = 1.0 / rho;

    // G from the fugacity coefficients on the true basis, G = R T (sum x ln phi + ln(P/P_ref)).
    double g = 0.0;
    if (gibbs) {
        double sum = 0.0;
        for (std::int64_t k = 0; k < m.n; ++k) sum += m.x[k] * phi[k];
        g = rt * (sum + log_p);
    }
    // The host's basis: ln(x/Z) where both are positive; H, S, G, V per kmol of the host's basis.
    double factor = 0.0;
    for (std::int64_t k = 0; k < m.n; ++k) factor += a.z[k] * a.mw[m.idx[k] - 1] / m.mwn[k];
    if (rq.phi.value)
        for (std::int64_t k = 0; k < m.n; ++k)
            if (a.z[k] > 0.0 && m.x[k] > 0.0) phi[k] += std::log(m.x[k] / a.z[k]);
    h *= factor;
    s *= factor;
    g *= factor;
    v *= factor;
    if (entropy_from_gibbs) s = (h - g) / a.t;
    if (rq.h.value) *a.out.h = h;
    if (rq.s.value) *a.out.s = s;
    if (rq.g.value) *a.out.g = g;
    if (rq.v.value) *a.out.v = v;
}

bool positive_finite(double v) { return v > 0.0 && std::isfinite(v); }

enum class ArgumentCheck { usable, refused, unanswerable };

}  // namespace

bool sizes_usable(const Arguments &a) {
    if (a.nc < 1 || a.nc > kMaxComponents || a.n > a.nc || !a.idx || !a.z || !a.mw || !a.tc || !a.pc || !a.m ||
        !a.sigma || !a.eps || !a.rho || !a.work)
        return false;
    const bool tables = a.nseg != nullptr;
    if (tables && (a.lseg < 1 || a.lseg > kMaxSegmentTypes || !a.iseg || !a.wseg)) return false;
    for (std::int64_t k = 0; k < a.n; ++k) {
        const std::int64_t c = a.idx[k];
        if (c < 1 || c > a.nc) return false;
        const std::int64_t nseg = tables ? a.nseg[c - 1] : 0;
        if (nseg < 0 || nseg > a.lseg) return false;
        for (std::int64_t s = 0; s < nseg; ++s) {
            // A segment type is a component of its own, not the polymer, and not described by segments.
            const std::int64_t sc = a.iseg[(c - 1) * a.lseg + s];
            if (sc < 1 || sc > a.nc || sc == c || a.nseg[sc - 1] != 0) return false;
        }
    }
    return true;
}

ArgumentCheck check_arguments(const Arguments &a) {
    const MonitorOutputs &o = a.out;
    if ((a.rq.phi.any() && (!o.phi || !o.dphi)) || (a.rq.h.any() && (!o.h || !o.dh)) ||
        (a.rq.s.any() && (!o.s || !o.ds)) || (a.rq.g.any() && (!o.g || !o.dg)) || (a.rq.v.any() && (!o.v || !o.dv)))
        return ArgumentCheck::unanswerable;
    if (!sizes_usable(a) || a.lwork < 0) return ArgumentCheck::refused;
    if (!positive_finite(a.t) || !positive_finite(a.p)) return ArgumentCheck::refused;
    const bool tables = a.nseg != nullptr;
    double z_sum = 0.0;
    for (std::int64_t k = 0; k < a.n; ++k) {
        const std::int64_t c = a.idx[k];
        if (!(a.z[k] >= 0.0) || !std::isfinite(a.z[k])) return ArgumentCheck::refused;
        z_sum += a.z[k];
        const std::int64_t nseg = tables ? a.nseg[c - 1] : 0;
        double mass = 0.0;
        for (std::int64_t s = 0; s < nseg; ++s) {
            const std::int64_t at = (c - 1) * a.lseg + s;
            if (!(a.wseg[at] >= 0.0) || !std::isfinite(a.wseg[at])) return ArgumentCheck::refused;
            mass += a.wseg[at];
        }
        if (nseg > 0 && !(mass > 0.0)) return ArgumentCheck::refused;
        if (nseg == 0 && !positive_finite(a.mw[c - 1])) return ArgumentCheck::refused;
    }
    return z_sum > 0.0 ? ArgumentCheck::usable : ArgumentCheck::refused;
}

CallOutcome monitor(const Arguments &a) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found || a.status == nullptr) return CallOutcome::unanswered;
    const host::Host &host = *found;
    if (a.n < 1) {
        *a.status = 1;
        return CallOutcome::computed;
    }
    switch (check_arguments(a)) {
        case ArgumentCheck::unanswerable:
            *a.status = 0;
            return CallOutcome::unanswered;
        case ArgumentCheck::refused:
            refuse(a);
            return CallOutcome::refused;
        case ArgumentCheck::usable:
            break;
    }
    if (ideal_gas_exit(host, a)) return CallOutcome::computed;

    const Needs needs = needs_of(a);
    Model model;
    double association_scratch[kStackAssociationWords];
    const BuildResult built = build_model(host, a, needs.composition, model, association_scratch);
    if (built.outcome == BuildOutcome::short_work) {
        report_short_work(host, a, built.words_needed);
        refuse(a);
        return CallOutcome::refused;
    }
    if (built.outcome == BuildOutcome::missing_parameter) {
        report_missing(host, a, built.missing);
        refuse(a);
        return CallOutcome::refused;
    }
    set_temperature(host, model, a.t, a.rq.h.any() || a.rq.s.any() || needs.temperature);

    const RootCall call{a.t, a.p, a.kvl, a.kdiag, a.options.root == kOwnRootSearch, *a.rho};
    const RootOutcome root = density_root(host, model, call);
    if (root.association_failed) {
        *a.status = 0;  // outputs unwritten: nothing of this call is a result
        return CallOutcome::association_failed;
    }
    if (root.beyond_close_packing || !positive_finite(root.rho) || root.rho == host.missing()) {
        refuse(a);
        return CallOutcome::refused;
    }
    *a.rho = root.rho;
    if (needs.any) {
        ResidualNeeds rn;
        rn.rhorho = false;  // V = 1/rho needs no curvature
        rn.temperature = needs.temperature;
        rn.composition = needs.composition;
        const ResidualValues r = residual(host, model, root.rho, rn);
        if (r.association_failed) {
            association_message(host, a.kdiag, 1, a.t, a.p);
            *a.status = 0;
            return CallOutcome::association_failed;
        }
        write_properties(host, a, model, root.rho, r);
    }
    *a.status = root.solved ? 1 : 0;
    return CallOutcome::computed;
}

void vector_monitor(const Arguments &shared, const double *p, std::int64_t points, const std::int64_t *idx,
                    double *rho_points) {
    if (shared.status == nullptr) return;
    *shared.status = 1;
    if (points < 1 || p == nullptr || idx == nullptr) return;
    static constexpr double kPure = 1.0;
    std::int64_t all = 1;
    for (std::int64_t k = 0; k < points; ++k) {
        double phi = 0, h = 0, s = 0, g = 0, v = 0, dphi = 0, dh = 0, ds = 0, dg = 0, dv = 0, rho = 0;
        std::int64_t status = 1;
        Arguments one = shared;
        one.p = p[k];
        one.n = 1;
        one.idx = idx + k;
        one.z = &kPure;
        one.out = {&phi, &h, &s, &g, &v, &dphi, &dh, &ds, &dg, &dv};
        one.status = &status;
        one.rho = rho_points ? rho_points + k : &rho;
        const CallOutcome outcome = monitor(one);
        if (status != 1) all = 0;
        if (outcome == CallOutcome::association_failed || outcome == CallOutcome::unanswered) continue;
        const Requests &rq = shared.rq;
        if (rq.phi.value) shared.out.phi[k] = phi;
        if (rq.h.value) shared.out.h[k] = h;
        if (rq.s.value) shared.out.s[k] = s;
        if (rq.g.value) shared.out.g[k] = g;
        if (rq.v.value) shared.out.v[k] = v;
    }
    *shared.status = all;
}

}  // namespace keld::pcsaf
