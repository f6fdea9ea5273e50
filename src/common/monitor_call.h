// The 27-argument property-monitor call shared by the Sanchez-Lacombe,
// PC-SAFT and stored-parameter SAFT monitors, and the checks made at the
// export boundary before any host array is touched.
#pragma once

#include <cstdint>

#include "common/flags.h"
#include "common/outputs.h"
#include "host/host.h"

namespace keld {

struct MonitorCall {
    double t, p;
    const double *z;
    std::int64_t n;
    const std::int64_t *idx;
    std::int64_t kwork, kvl;
    Requests rq;
    std::int64_t kds, kdiag;
    MonitorOutputs out;
    std::int64_t *kstat;
    std::int64_t kopt;
};

// Reads the 27 arguments; false when an argument that must be there is null
// (a routine can then only return).
bool read_monitor_call(const double *t, const double *p, const double *z, const std::int64_t *n,
                       const std::int64_t *idx, const std::int64_t *kwork, const std::int64_t *kvl,
                       const std::int64_t *kphi, const std::int64_t *kh, const std::int64_t *ks,
                       const std::int64_t *kg, const std::int64_t *kv, const std::int64_t *kds,
                       const std::int64_t *kdiag, double *phi, double *h, double *s, double *g, double *v,
                       double *dphi, double *dh, double *ds, double *dg, double *dv, std::int64_t *kstat,
                       const std::int64_t *kopt, MonitorCall &call);

enum class CallCheck {
    proceed,     // arguments usable
    nothing,     // N < 1: nothing to evaluate, nothing written
    rejected,    // arguments the monitor cannot honour
};

// Largest |sum Z - 1| a call is accepted with (that of case files).
inline constexpr double kCompositionSumTolerance = 1e-9;

// Checks N, the component numbers (each listed once), Z (finite, not
// negative, summing to 1), the data set, T and P, the phase flag (1 or 2), and
// that the work area of `work_words` words lies in the host's work block. On
// `rejected` the requested outputs are set to NaN and KSTAT to 0 (see `reject`).
CallCheck check_monitor_call(const host::Host &host, const MonitorCall &call, std::int64_t work_words);

// The answer to arguments a monitor cannot honour: every requested output NaN, KSTAT 0.
void reject(const MonitorCall &call);

// The checks every monitor opens with: false when the call is already
// answered (nothing to evaluate, or rejected with NaN outputs and KSTAT 0).
bool open_monitor_call(const host::Host &host, const MonitorCall &call, std::int64_t work_words);

// The shared early exit: one component at a pressure below 5.5e-5 Pa gets the
// ideal-gas departures scaled by MW/MWN. True when the exit was taken.
bool ideal_gas_exit(const host::Host &host, const MonitorCall &call, double mw, double mwn);

// First store position of the call's work area.
inline std::int64_t work_start(const host::Host &host, const MonitorCall &call) {
    return host.work_offset() + call.kwork;
}

// True when the unary block of data set kds of the array at `base` lies in the store.
bool unary_block_in_store(const host::Host &host, std::int64_t base, std::int64_t kds);
// The same for a binary block of `per_pair` words per pair (1, or 6 for coefficient tables).
bool binary_block_in_store(const host::Host &host, std::int64_t base, std::int64_t kds, std::int64_t per_pair = 1);

}  // namespace keld
