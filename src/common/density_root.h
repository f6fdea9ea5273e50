// The library's side of the reverse-communication density root. The host's
// vapour or liquid routine proposes volumes; the library answers each with the
// model's pressure and dP/dV there, until the host reports convergence (state
// 4) or failure (state 5). Families differ only in small points, gathered in
// RootPolicy.
#pragma once

#include <cstdint>

#include "host/host.h"

namespace keld {

struct RootRequest {
    double t, p;
    std::int64_t kvl;  // 1 vapour, 2 liquid; any other value asks the vapour routine once
    std::int64_t kdiag;
    double v_close_packed, v_critical, v_dividing;
    host::RoutineId routine;
    bool single_component;
};

struct RootPolicy {
    // A trial volume at or below V_cp is moved to 1.1 V_cp before evaluation.
    bool move_off_close_packed = false;
    // A state outside 1..5 from the vapour routine hands the search to the
    // liquid routine (otherwise it ends the search as a failure).
    bool unlisted_state_switches_to_liquid = false;
    // The slope cell handed to the host is the call's own instead of
    // HostDpdvControl(1), so that calls from several threads do not share it.
    bool private_slope_cell = false;
};

struct RootResult {
    double rho;          // 1/V of the last evaluation (the caller's start value if none)
    double p_calc;       // model pressure in the host's slot when the search stopped
    int evaluations = 0;
    bool failed = false;  // the host reported state 5 (or never answered sensibly)
};

// A model answers `PressureAndSlope eval(rho, want_slope)`.
struct PressureAndSlope {
    double p;
    double dpdv;
};

// Upper bound on host steps within one search; a host that never ends the
// conversation is treated as a failed search rather than hanging the caller.
inline constexpr int kMaxRootSteps = 100000;

template <class Model>
RootResult solve_density_root(const host::Host &host, const RootRequest &rq, const RootPolicy &policy,
                              Model &&model, double rho_start) {
    const keld_host &t = host.table();
    const double missing = host.missing();
    std::int64_t state = 4, mode = 1;
    double v = rho_start > 0.0 ? 1.0 / rho_start : 0.0;
    double p_calc = missing;
    double dpdv_local = missing;
    double *dpdv = !policy.private_slope_cell && host.dpdv_cell() && t.dpdv_control_words >= 1 ? host.dpdv_cell()
                                                                                              : &dpdv_local;
    *dpdv = missing;

    RootResult result{rho_start, p_calc};
    bool liquid = rq.kvl == 2;
    host.set_root_switch(liquid, rq.single_component);
    const bool keeps_going = rq.kvl == 1 || rq.kvl == 2;

    for (int step = 0; step < kMaxRootSteps; ++step) {
        const keld_root_fn routine = liquid ? t.liquid_root : t.vapor_root;
        if (!routine) {
            result.failed = true;
            break;
        }
        routine(&state, &mode, &rq.v_close_packed, &rq.v_critical, &rq.v_dividing, &rq.t, &rq.p, &v, &p_calc,
                dpdv, rq.routine.chars.data(), &rq.kdiag);
        if (state == 4) break;
        if (state == 5) {
            result.failed = true;
            break;
        }
        const bool evaluate = state == 1 || state == 2 || state == 3 || (liquid && policy.unlisted_state_switches_to_liquid);
        if (!evaluate) {
            if (policy.unlisted_state_switches_to_liquid && !liquid) {
                liquid = true;
                host.set_root_switch(true, rq.single_component);
                continue;
            }
            result.failed = true;
            break;
        }
        if (policy.move_off_close_packed && v <= rq.v_close_packed) v = 1.1 * rq.v_close_packed;
        const double rho = 1.0 / v;
        const PressureAndSlope ps = model(rho, mode != 2);
        p_calc = ps.p;
        if (mode != 2) *dpdv = ps.dpdv;
        result.rho = rho;
        ++result.evaluations;
        if (!keeps_going) break;
        if (step + 1 == kMaxRootSteps) result.failed = true;
    }
    result.p_calc = p_calc;
    return result;
}

}  // namespace keld
