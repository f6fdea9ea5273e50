#include "pcsaft_assoc/pcsaf_density_root.h"

#include <cmath>
#include <limits>

#include "common/close_packing.h"
#include "common/density_root.h"
#include "common/messages.h"
#include "common/polymer_root_volumes.h"
#include "pcsaft_assoc/pcsaf_brent.h"

namespace keld::pcsaf {
namespace {

const host::RoutineId kRoutine("PCSA", "F3");
constexpr double kAtmosphere = 101325.0;
constexpr std::int64_t kEvaluateOnlyWord = 25;  // HostEosLog element; bit 0 asks for evaluation only

// Check numbers of the association message: where the failed evaluation happened.
enum Where : std::int64_t {
    kFinal = 1,
    kVapourStart = 4,
    kVapourScan = 5,
    kLiquidStart = 6,
    kLiquidScan = 7,
    kBracketLow = 8,
    kBracketHigh = 9,
    kBrent = 10,
};

// The own search's scans.
constexpr double kVapourStartEta = static_cast<double>(1.0e-10f);
constexpr double kLiquidStartEta = 0.5;
constexpr double kScanStep = 0.01;
// Keeps a start loop finite for a model whose dP/dV stays positive (it never does for a sound one).
constexpr int kStartLoopLimit = 400;

// A liquid search without a better start is offered the volume at packing fraction 0.4.
constexpr double kLiquidPackingFraction = 0.4;

constexpr std::string_view kVapourDensityMessage =
    "(6X,'PC-SAFT CANNOT FIND A VAPOR DENSITY FOR THIS ','SYSTEM AT',/,6X,'T = ',F6.2,' (K) AND P = ',E8.2,"
    "' (ATM)')";
constexpr std::string_view kLiquidDensityMessage =
    "(6X,'PC-SAFT CANNOT FIND A LIQUID DENSITY FOR THIS ','SYSTEM AT',/,6X,'T = ',F6.2,' (K) AND P = ',E8.2,"
    "' (ATM)')";
constexpr std::string_view kAssociationMessage =
    "(6X,'PC-SAFT CANNOT CALCULATE THE ASSOCIATION ','CONTRIBUTION FOR THIS SYSTEM AT',/,6X,'T = ',F6.2,"
    "' (K) AND P = ',E8.2,' (ATM). ','RAISING TEMPERATURE OR RESETTING',/,6X,'LOWER TEMPERATURE LIMIT > ',"
    "F6.2,' (K) IN THE FLASH OPTIONS',/,6X,'OF THE SIMULATION MAY AVOID THE PROBLEM.')";

messages::CheckSite site(std::int64_t check_class, std::int64_t number, std::int64_t kdiag) {
    return {kRoutine, check_class, number, kdiag, 0, 1, 2};
}

struct Point {
    double f = 0.0;     // P_calc - P
    double dpdv = 0.0;  // dP/dV
    bool failed = false;
};

class Search {
public:
    Search(const host::Host &host, Model &model, const RootCall &call)
        : host_(host), m_(model), call_(call), rt_(host.gas_constant() * call.t) {}

    // P_calc - P and dP/dV at rho; an association failure is remembered.
    Point evaluate(double rho) {
        ResidualNeeds needs;
        needs.value = false;  // P and dP/dV need the density derivatives only
        const ResidualValues a = residual(host_, m_, rho, needs);
        ++evaluations;
        last_rho = rho;
        failed = failed || a.association_failed;
        return {rt_ * rho * (1.0 + rho * a.a_rho) - call_.p,
                -rt_ * rho * rho * (1.0 + 2.0 * rho * a.a_rho + rho * rho * a.a_rhorho), a.association_failed};
    }

    // An evaluation of the own search: on an association failure the message is due and the search
    // ends at once (false).
    bool step(double rho, std::int64_t where, Point &point) {
        point = evaluate(rho);
        if (!point.failed) return true;
        association_message(host_, call_.kdiag, where, call_.t, call_.p);
        association_reported = true;
        return false;
    }

    const host::Host &host_;
    Model &m_;
    const RootCall &call_;
    double rt_;
    int evaluations = 0;
    double last_rho = 0.0;
    bool failed = false;
    bool association_reported = false;
};

bool opposite(double f, double r0) { return (f < 0.0) != (r0 < 0.0) && f != 0.0 && r0 != 0.0; }

// Brent's method for P(rho) = P on [lo, hi]: the two bracket evaluations, then the iterations. After
// the iteration limit the density message of the phase is issued and the last iterate kept.
struct BrentResult {
    double rho;
    bool solved, failed;
};

BrentResult brent_search(Search &s, double lo, double hi) {
    Point pa, pb;
    if (!s.step(lo, kBracketLow, pa) || !s.step(hi, kBracketHigh, pb)) return {s.last_rho, false, true};
    const BrentOutcome r = brent(
        [&](double rho) -> std::optional<double> {
            Point pt;
            if (!s.step(rho, kBrent, pt)) return std::nullopt;
            return pt.f;
        },
        lo, hi, pa.f, pb.f);
    if (r.stopped) return {r.x, false, true};
    if (!r.converged) density_message(s.host_, s.call_.kvl, s.call_.kdiag, s.call_.t, s.call_.p);
    return {r.x, r.converged, false};
}

// The own search in the packing fraction, z3 the close-packed volume.
void own_search(Search &s, double z3, RootOutcome &out) {
    const RootCall &call = s.call_;
    Point pt;
    auto finish = [&](const BrentResult &r) {
        out.rho = r.rho;
        out.solved = r.solved;
    };
    if (call.kvl != 2) {
        double eta0 = kVapourStartEta;
        if (!s.step(eta0 / z3, kVapourStart, pt)) return;
        for (int k = 0; pt.dpdv > 0.0 && k < kStartLoopLimit; ++k) {
            eta0 /= 10.0;
            if (!s.step(eta0 / z3, kVapourStart, pt)) return;
        }
        const double r0 = pt.f;
        for (double eta = eta0 + kScanStep; eta < 0.5; eta += kScanStep) {
            if (!s.step(eta / z3, kVapourScan, pt)) return;
            if (opposite(pt.f, r0)) return finish(brent_search(s, eta0 / z3, eta / z3));
        }
        out.rho = call.p / (s.host_.gas_constant() * call.t);  // no sign change: the ideal gas
        return;
    }
    double eta_s = kLiquidStartEta;
    if (!s.step(eta_s / z3, kLiquidStart, pt)) return;
    for (int k = 0; pt.dpdv > 0.0 && k < kStartLoopLimit; ++k) {
        eta_s += kScanStep;
        if (!s.step(eta_s / z3, kLiquidStart, pt)) return;
    }
    const double r0 = pt.f;
    for (double eta = eta_s - kScanStep; eta > 0.0; eta -= kScanStep) {
        if (!s.step(eta / z3, kLiquidScan, pt)) return;
        if (opposite(pt.f, r0)) return finish(brent_search(s, eta_s / z3, eta / z3));
    }
    out.rho = 0.5 / z3;
}

// The search through the host's routines, started from the volumes of the mixture's pseudo-critical
// estimates; polymers described by their segments get the polymer correlations in MWN.
void host_search(Search &s, RootOutcome &out) {
    Model &m = s.m_;
    const RootCall &call = s.call_;
    const RootVolumes v = polymer_root_volumes(
        m.n, m.x, m.mwn, call.t, call.kvl,
        [&](std::int64_t k) {
            const std::int64_t c = m.idx[k];
            if (m.segmented(k)) {
                m.tc[c - 1] = polymer_critical_temperature(m.mwn[k]);
                m.pc[c - 1] = polymer_critical_pressure(m.mwn[k]);
            }
            return m.tc[c - 1];
        },
        [&](std::int64_t k) { return m.x[k] * m.md3[k]; });
    const double v_cp = v.close_packed, v_c = v.critical, v_div = v.dividing;
    const RootRequest request{call.t, call.p, call.kvl, call.kdiag, v_cp, v_c, v_div, kRoutine, m.n == 1};
    RootPolicy policy;
    policy.move_off_close_packed = true;
    policy.unlisted_state_switches_to_liquid = true;
    // A density the caller offers (the last root of the phase) is the host's warm start.
    double rho_start = call.kvl == 2 ? kLiquidPackingFraction / v_cp : 0.0;
    if (call.rho_given > 0.0 && std::isfinite(call.rho_given) && call.rho_given * v_cp < 1.0) rho_start = call.rho_given;
    auto model = [&](double rho, bool) {
        // A volume where the site fractions could not be solved (next to close packing) has no
        // pressure: the host gets NaN and moves away, instead of a number made of a failed solution.
        const Point pt = s.evaluate(rho);
        if (pt.failed) return PressureAndSlope{std::numeric_limits<double>::quiet_NaN(), pt.dpdv};
        return PressureAndSlope{pt.f + call.p, pt.dpdv};
    };
    const RootResult r = within_close_packing(s.host_, request, policy, model,
                                              solve_density_root(s.host_, request, policy, model, rho_start));
    if (s.evaluations == 0) return;
    if (r.beyond_close_packing) {
        // Every root lies beyond close packing: no density of the phase to report.
        density_message(s.host_, call.kvl, call.kdiag, call.t, call.p);
        out.beyond_close_packing = true;
        return;
    }
    out.rho = r.rho;
    out.solved = !r.failed;
}

}  // namespace

void density_message(const host::Host &host, std::int64_t kvl, std::int64_t kdiag, double t, double p) {
    const bool vapour = kvl != 2;
    if (messages::wanted(host, site(3, vapour ? 11 : 12, kdiag)))
        messages::write_and_print(host, vapour ? kVapourDensityMessage : kLiquidDensityMessage, {t, p / kAtmosphere});
}

void association_message(const host::Host &host, std::int64_t kdiag, std::int64_t where, double t, double p) {
    if (messages::wanted(host, site(1, where, kdiag)))
        messages::write_and_print(host, kAssociationMessage, {t, p / kAtmosphere, t});
}

RootOutcome density_root(const host::Host &host, Model &model, const RootCall &call) {
    RootOutcome out;
    Search s(host, model, call);
    const double z3 = pcsaft::terms::kPiOver6 * model.mom.s3;
    const bool evaluate_only = (host.eos_log(kEvaluateOnlyWord) & 1) != 0;
    out.rho = host.missing();
    if (evaluate_only) {
        if (call.rho_given > 0.0 && std::isfinite(call.rho_given) && call.rho_given * z3 < 1.0) {
            const Point pt = s.evaluate(call.rho_given);
            out.rho = call.rho_given;
            out.solved = true;
            if (call.kvl == 1) {
                host.set_root_control(16, pt.f + call.p);
                host.set_root_control(20, pt.dpdv);
                if (host.dpdv_cell() && host.table().dpdv_control_words >= 1) *host.dpdv_cell() = pt.dpdv;
            } else {
                host.set_root_control(15, pt.f + call.p);
            }
        }
    } else if (call.own_search) {
        own_search(s, z3, out);
        if (s.association_reported) {
            out.association_failed = true;
            out.evaluations = s.evaluations;
            return out;
        }
    } else {
        host_search(s, out);
    }
    out.evaluations = s.evaluations;
    out.eta = out.rho * z3;
    if (s.failed) {
        association_message(host, call.kdiag, kFinal, call.t, call.p);
        out.association_failed = true;
    }
    return out;
}

}  // namespace keld::pcsaf
