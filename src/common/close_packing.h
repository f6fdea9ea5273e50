// Density roots of the hard-sphere-based families (SAFT, PC-SAFT and their
// segment-based and associating forms) kept below close packing.
//
// Their P(V) is defined down to the volume V_cp = (π/6) Σ x m d³ at which the
// segments would fill space (packing fraction η = 1), but spheres cannot be
// packed beyond τ = π/(3√2) = 0.74048, and near and beyond it the dispersion
// series (SAFT's Chen-Kreglewski sum in η/τ, PC-SAFT's polynomial in η) turns
// back up: P(V) then crosses P a second time, at η ≈ 0.8-0.98, on a branch
// that is not a state of the fluid. SAFT methane at 150 K and 0.5 MPa has
// roots at η = 0.914, 0.654, 0.351 and 0.0069; the liquid is the one at 0.351.
//
// A root at or beyond V_cp/τ is therefore replaced: the liquid by the densest
// stable root above V_cp/τ, the vapour by the lightest (the host's vapour
// search ends on a liquid-like root only when the model has no vapour root),
// found by a scan of P(V) from V_cp/τ out and the host's liquid search started
// on the dense side of the crossing, with V_cp/τ handed over as the
// close-packed volume so that the host's trial volumes stay admissible. A
// state without an admissible root is refused. A root already below close
// packing is returned as it was, to the bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <optional>

#include "common/density_root.h"

namespace keld {

// Packing fraction of the closest packing of equal spheres, π/(3√2), as the
// Chen-Kreglewski dispersion term of SAFT prints it.
inline constexpr double kClosePacking = 0.74048;

// The smallest volume a root may have: V_cp/τ, V_cp the volume at η = 1.
inline double densest_admissible_volume(double v_close_packed) { return v_close_packed / kClosePacking; }

// Whether a converged root lies at or beyond close packing.
inline bool beyond_close_packing(const RootResult &r, double v_close_packed) {
    return !r.failed && r.evaluations > 0 && v_close_packed > 0.0 &&
           !(1.0 / r.rho > densest_admissible_volume(v_close_packed));
}

// A volume within 1e-6 (relative) on the dense side of a stable crossing of
// P(V) = P (f = P(V) - P falls through 0 as V grows) between v_lower and
// v_upper: the densest one, or with `lightest` the lightest one; 0 when there
// is none. f is sampled at volumes geometric in V - V_cp with a golden-section
// look inside every cell whose slopes show an extremum, where a pair of
// crossings may hide. `model(rho, want_slope)` answers as for
// solve_density_root.
template <class Model>
double stable_crossing_start(Model &&model, double p, double v_close_packed, double v_lower, double v_upper,
                             bool lightest, int cells = 64) {
    struct Sample {
        double v, f, slope;
    };
    const double u_lower = v_lower / v_close_packed - 1.0, u_upper = v_upper / v_close_packed - 1.0;
    if (!(u_lower > 0.0) || !(u_upper > u_lower)) return 0.0;
    auto at = [&](double v) {
        const PressureAndSlope ps = model(1.0 / v, true);
        return Sample{v, ps.p - p, ps.dpdv};
    };
    // Golden-section search between a and b for a sample with f on the far side
    // of 0: below it (`below`, a minimum) or above it (a maximum).
    auto extremum_across = [&](Sample a, Sample b, bool below) -> std::optional<Sample> {
        const double g = 0.381966011250105;
        auto across = [&](const Sample &s) { return below ? !(s.f > 0.0) : s.f > 0.0; };
        auto better = [&](const Sample &x, const Sample &y) { return below ? x.f < y.f : x.f > y.f; };
        Sample x1 = at(a.v + g * (b.v - a.v)), x2 = at(b.v - g * (b.v - a.v));
        for (int step = 0; step < 30 && !across(x1) && !across(x2) && b.v - a.v > 1e-9 * b.v; ++step) {
            if (better(x1, x2)) {
                b = x2;
                x2 = x1;
                x1 = at(a.v + g * (b.v - a.v));
            } else {
                a = x1;
                x1 = x2;
                x2 = at(b.v - g * (b.v - a.v));
            }
        }
        if (across(x1)) return x1;
        if (across(x2)) return x2;
        return std::nullopt;
    };
    std::optional<Sample> dense, light;  // the bracket of the crossing kept
    auto keep = [&](const Sample &d, const Sample &l) {
        if (!dense || lightest) dense = d, light = l;
    };
    const double ratio = std::pow(u_upper / u_lower, 1.0 / cells);
    Sample a = at(v_lower);
    for (int k = 1; k <= cells && (lightest || !dense); ++k) {
        const Sample b = at(v_close_packed * (1.0 + u_lower * std::pow(ratio, k)));
        if (a.f > 0.0 && !(b.f > 0.0)) {
            keep(a, b);
        } else if (a.f > 0.0 && b.f > 0.0 && a.slope < 0.0 && b.slope > 0.0) {
            // f falls and rises again inside the cell: does its minimum reach 0?
            if (const std::optional<Sample> x = extremum_across(a, b, true)) keep(a, *x);
        } else if (!(a.f > 0.0) && !(b.f > 0.0) && a.slope > 0.0 && b.slope < 0.0) {
            // f rises and falls again: does its maximum pass 0?
            if (const std::optional<Sample> x = extremum_across(a, b, false)) keep(*x, b);
        }
        a = b;
    }
    if (!dense) return 0.0;
    for (int k = 0; k < 60 && light->v - dense->v > 1e-6 * light->v; ++k) {
        const Sample mid = at(0.5 * (dense->v + light->v));
        (mid.f > 0.0 ? dense : light) = mid;
    }
    return dense->v;
}

// The answer to the host's root `found` when it lies at or beyond close
// packing (returned unchanged otherwise): the admissible root of the requested
// kind, searched up to `light_scan_factor` V_cp, the host's liquid search
// ending the work. A liquid request without a stable crossing there takes the
// host's vapour search (the host hands a liquid request over likewise); a
// state without an admissible root gives a failed result with
// `beyond_close_packing` set, which the monitor refuses.
template <class Model>
RootResult within_close_packing(const host::Host &host, const RootRequest &rq, const RootPolicy &policy,
                                Model &&model, const RootResult &found, double light_scan_factor = 10.0) {
    if (!beyond_close_packing(found, rq.v_close_packed)) return found;
    const double v_lowest = densest_admissible_volume(rq.v_close_packed);
    const bool vapour = rq.kvl == 1;
    const double start = stable_crossing_start(model, rq.p, rq.v_close_packed, v_lowest,
                                               light_scan_factor * rq.v_close_packed, vapour);
    RootRequest again = rq;
    again.v_close_packed = v_lowest;
    RootResult result = found;
    result.failed = true;
    if (start > 0.0) {
        // From the dense side the host's liquid search finds the crossing (a host
        // takes a liquid start only below its dividing volume).
        again.kvl = 2;
        again.v_dividing = std::max({rq.v_dividing, rq.v_critical, 2.0 * start});
        result = solve_density_root(host, again, policy, model, 1.0 / start);
    } else if (!vapour) {
        again.kvl = 1;
        again.v_dividing = std::max(rq.v_dividing, v_lowest);
        result = solve_density_root(host, again, policy, model, 0.0);
    }
    result.evaluations += found.evaluations;
    if (!result.failed && 1.0 / result.rho > v_lowest) return result;
    result.failed = true;
    result.beyond_close_packing = true;
    return result;
}

}  // namespace keld
