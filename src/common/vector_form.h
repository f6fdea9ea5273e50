// The per-component vector form shared by every family: N pure components,
// each at its own pressure, evaluated by the family's scalar monitor.
#pragma once

#include <cstdint>

#include "common/flags.h"
#include "common/monitor_call.h"
#include "common/outputs.h"

namespace keld {

// For k = 1..n calls `scalar(p[k], idx[k], out_k)` for the pure component
// idx[k] (the caller passes Z = 1, N = 1) and copies each requested result into
// element k of the arrays: a value for flags 1 and 3, a derivative for flags
// above 1. With n < 1 it returns at once.
template <class ScalarMonitor>
void run_vector_form(std::int64_t n, const double *p, const std::int64_t *idx, const Requests &rq,
                     const MonitorOutputs &arrays, ScalarMonitor &&scalar) {
    for (std::int64_t k = 0; k < n; ++k) {
        double phi = 0, h = 0, s = 0, g = 0, v = 0, dphi = 0, dh = 0, ds = 0, dg = 0, dv = 0;
        const MonitorOutputs one{&phi, &h, &s, &g, &v, &dphi, &dh, &ds, &dg, &dv};
        scalar(p[k], idx[k], one);
        auto copy = [k](const Flag &f, double value, double derivative, double *values, double *derivatives) {
            if (f.value) values[k] = value;
            if (f.derivative) derivatives[k] = derivative;
        };
        copy(rq.phi, phi, dphi, arrays.phi, arrays.dphi);
        copy(rq.h, h, dh, arrays.h, arrays.dh);
        copy(rq.s, s, ds, arrays.s, arrays.ds);
        copy(rq.g, g, dg, arrays.g, arrays.dg);
        copy(rq.v, v, dv, arrays.v, arrays.dv);
    }
}

// The vector form of a 27-argument monitor: each component alone (Z = 1)
// through the family's scalar monitor, with the shared flags and settings.
template <class Monitor>
void run_vector_monitor(Monitor &&monitor, double t, const double *p, std::int64_t n, const std::int64_t *idx,
                        const MonitorCall &shared) {
    static constexpr double kPure = 1.0;
    run_vector_form(n, p, idx, shared.rq, shared.out, [&](double pk, std::int64_t i, const MonitorOutputs &one) {
        MonitorCall call = shared;
        call.t = t;
        call.p = pk;
        call.z = &kPure;
        call.n = 1;
        call.idx = &i;
        call.out = one;
        monitor(call);
    });
}

}  // namespace keld
