// The library's side of the reverse-communication density root. The host's
// vapour or liquid routine proposes volumes; the library answers each with the
// model's pressure and dP/dV there, until the host reports convergence (state
// 4) or failure (state 5). Families differ only in small points, gathered in
// RootPolicy.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

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
    // Kept for the families that set it: every conversation now hands the host
    // a slope cell of its own (and publishes each value to HostDpdvControl(1)).
    bool private_slope_cell = false;
};

struct RootResult {
    double rho;          // 1/V of the last evaluation (the caller's start value if none)
    double p_calc;       // model pressure in the host's slot when the search stopped
    int evaluations = 0;
    bool failed = false;  // the host reported state 5 (or never answered sensibly)
    // Failed because every root lies at or beyond close packing (common/close_packing.h): the
    // monitor refuses the call.
    bool beyond_close_packing = false;
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
    // The dP/dV cell handed to the host's routine belongs to this conversation,
    // so that calls from several threads never share one. Each value is also
    // published to HostDpdvControl(1) for a host that reads its own block.
    double dpdv_cell = missing;
    double *const dpdv = &dpdv_cell;
    host.publish_dpdv(missing);

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
        if (mode != 2) {
            *dpdv = ps.dpdv;
            host.publish_dpdv(ps.dpdv);
        }
        result.rho = rho;
        ++result.evaluations;
        if (!keeps_going) break;
        if (step + 1 == kMaxRootSteps) result.failed = true;
    }
    result.p_calc = p_calc;
    return result;
}

// The densest crossing of P(V) = P below a liquid root that the host found.
//
// A model whose P(V) can have more than one loop (PC-SAFT far below its
// triple point has up to five roots, two of them dense liquids) may leave the
// host's liquid search on a root that is not the densest. This scan looks at
// f(V) = P(V) - P from just above V_cp outward to the root: at the volumes
// V_cp (1 + u) with u growing geometrically from u_min to the root's own u,
// looking inside every cell where the slopes say f has a minimum (a short
// golden-section search). It returns a volume on the dense side of the first
// crossing of P, within 1e-6 of it (P(V) > P there, so a fresh liquid search
// started from it finds that crossing), or 0 when the root itself is the first.
// `model(rho, want_slope)` answers as for solve_density_root.
template <class Model>
double denser_liquid_start(Model &&model, double p, double v_close_packed, double v_root, int cells = 48,
                           double u_min = 1e-6) {
    struct Sample {
        double v, f, slope;
    };
    const double u_root = v_root / v_close_packed - 1.0;
    if (!(u_root > u_min) || !(v_close_packed > 0.0)) return 0.0;
    auto at = [&](double v) {
        const PressureAndSlope ps = model(1.0 / v, true);
        return Sample{v, ps.p - p, ps.dpdv};
    };
    auto crossing_between = [&](Sample dense, Sample light) {
        // Bisect to 1e-6 relative; `dense` keeps f > 0.
        for (int k = 0; k < 60 && light.v - dense.v > 1e-6 * light.v; ++k) {
            const Sample mid = at(0.5 * (dense.v + light.v));
            (mid.f > 0.0 ? dense : light) = mid;
        }
        return dense.v;
    };
    const double ratio = std::pow(u_root / u_min, 1.0 / cells);
    Sample dense = at(v_close_packed * (1.0 + u_min));
    if (!(dense.f > 0.0)) return 0.0;  // not even the pole is above P: nothing to say
    for (int k = 1; k < cells; ++k) {
        const Sample light = at(v_close_packed * (1.0 + u_min * std::pow(ratio, k)));
        if (!(light.f > 0.0)) return crossing_between(dense, light);
        if (dense.slope < 0.0 && light.slope > 0.0) {
            // f falls and rises again inside the cell: does its minimum reach 0?
            double a = dense.v, b = light.v;
            const double g = 0.381966011250105;
            Sample x1 = at(a + g * (b - a)), x2 = at(b - g * (b - a));
            for (int step = 0; step < 30 && x1.f > 0.0 && x2.f > 0.0 && b - a > 1e-9 * b; ++step) {
                if (x1.f < x2.f) {
                    b = x2.v;
                    x2 = x1;
                    x1 = at(a + g * (b - a));
                } else {
                    a = x1.v;
                    x1 = x2;
                    x2 = at(b - g * (b - a));
                }
            }
            if (!(x1.f > 0.0)) return crossing_between(dense, x1);
            if (!(x2.f > 0.0)) return crossing_between(x1, x2);
        }
        dense = light;
    }
    return 0.0;
}

// The dense side of the largest crossing of P(V) = P above a root the host's
// vapour search found, or 0 when there is none up to `v_upper`.
//
// Where the model has no vapour-like root the host's vapour search ends on a
// liquid root; with a second, dense loop (SAFT and PC-SAFT far below the
// triple point) that may be the densest root rather than the largest. This
// scan looks at f(V) = P(V) - P from the found root out to `v_upper` at
// volumes geometric in V - V_cp, with a golden-section look inside every cell
// where f has a maximum, and returns a volume within 1e-6 below the last
// crossing (P(V) > P there), from which the host's liquid search, moving out
// from the dense side, finds that crossing.
template <class Model>
double lighter_root_start(Model &&model, double p, double v_close_packed, double v_root, double v_upper,
                          int cells = 48) {
    struct Sample {
        double v, f, slope;
    };
    const double u_root = v_root / v_close_packed - 1.0, u_upper = v_upper / v_close_packed - 1.0;
    if (!(u_root > 0.0) || !(u_upper > u_root)) return 0.0;
    auto at = [&](double v) {
        const PressureAndSlope ps = model(1.0 / v, true);
        return Sample{v, ps.p - p, ps.dpdv};
    };
    const double ratio = std::pow(u_upper / u_root, 1.0 / cells);
    std::optional<Sample> above;  // the lightest sample with f > 0 so far
    Sample previous = at(v_root);
    for (int k = 1; k <= cells; ++k) {
        const Sample next = at(v_close_packed * (1.0 + u_root * std::pow(ratio, k)));
        if (next.f > 0.0) {
            above = next;
        } else if (previous.f <= 0.0 && previous.slope > 0.0 && next.slope < 0.0) {
            // f rises and falls again inside the cell: does its maximum reach 0?
            double a = previous.v, b = next.v;
            const double g = 0.381966011250105;
            Sample x1 = at(a + g * (b - a)), x2 = at(b - g * (b - a));
            for (int step = 0; step < 30 && x1.f <= 0.0 && x2.f <= 0.0 && b - a > 1e-9 * b; ++step) {
                if (x1.f > x2.f) {
                    b = x2.v;
                    x2 = x1;
                    x1 = at(a + g * (b - a));
                } else {
                    a = x1.v;
                    x1 = x2;
                    x2 = at(b - g * (b - a));
                }
            }
            if (x2.f > 0.0) above = x2;
            else if (x1.f > 0.0) above = x1;
        }
        previous = next;
    }
    if (!above) return 0.0;
    // The light end: the first sample beyond `above` with f <= 0.
    Sample dense = *above, light = at(std::min(v_upper, dense.v * ratio));
    for (int k = 0; k < cells && light.f > 0.0 && light.v < v_upper; ++k) {
        dense = light;
        light = at(std::min(v_upper, light.v * ratio));
    }
    if (light.f > 0.0) return 0.0;
    for (int k = 0; k < 60 && light.v - dense.v > 1e-6 * light.v; ++k) {
        const Sample mid = at(0.5 * (dense.v + light.v));
        (mid.f > 0.0 ? dense : light) = mid;
    }
    return dense.v;
}

// A density root that keeps to the rule "liquid: the densest root, vapour: the
// largest" where P(V) can have a second, dense loop (`dense_loops`): after the
// host's search the liquid is checked for a denser crossing
// (denser_liquid_start), a liquid-like vapour answer for a lighter one
// (lighter_root_start, up to `light_scan_factor` V_cp), and the host's liquid
// search is repeated from there. A warm start (a root at a nearby
// temperature) is not checked. After a scan that changes nothing, the model is evaluated once more
// at the root, so that a model that keeps its last evaluation keeps the root's.
template <class Model>
RootResult solve_density_root_checked(const host::Host &host, const RootRequest &rq, const RootPolicy &policy,
                                      Model &&model, double rho_start, bool warm, bool dense_loops,
                                      double light_scan_factor = 10.0) {
    RootResult result = solve_density_root(host, rq, policy, model, rho_start);
    if (warm || !dense_loops || !(rq.v_close_packed > 0.0)) return result;
    double start = 0.0;
    if (rq.kvl == 2) {
        const double v_found = result.failed ? rq.v_critical : 1.0 / result.rho;
        start = denser_liquid_start(model, rq.p, rq.v_close_packed, v_found);
    } else if (rq.kvl == 1 && !result.failed && 1.0 / result.rho < light_scan_factor * rq.v_close_packed) {
        start = lighter_root_start(model, rq.p, rq.v_close_packed, 1.0 / result.rho,
                                   light_scan_factor * rq.v_close_packed);
    } else {
        return result;
    }
    if (start > 0.0) {
        // Both crossings are liquid-like: a liquid search from the dense side finds them (a host's
        // vapour search takes no start below the dividing volume).
        RootRequest again = rq;
        again.kvl = 2;
        const int evaluations = result.evaluations;
        result = solve_density_root(host, again, policy, model, 1.0 / start);
        result.evaluations += evaluations;
    } else if (result.evaluations > 0) {
        model(result.rho, true);
    }
    return result;
}

}  // namespace keld
