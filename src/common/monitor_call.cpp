#include "common/monitor_call.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "common/ideal_gas.h"
#include "common/outputs.h"

namespace keld {

bool read_monitor_call(const double *t, const double *p, const double *z, const std::int64_t *n,
                       const std::int64_t *idx, const std::int64_t *kwork, const std::int64_t *kvl,
                       const std::int64_t *kphi, const std::int64_t *kh, const std::int64_t *ks,
                       const std::int64_t *kg, const std::int64_t *kv, const std::int64_t *kds,
                       const std::int64_t *kdiag, double *phi, double *h, double *s, double *g, double *v,
                       double *dphi, double *dh, double *ds, double *dg, double *dv, std::int64_t *kstat,
                       const std::int64_t *kopt, MonitorCall &call) {
    if (!t || !p || !n || !kwork || !kvl || !kphi || !kh || !ks || !kg || !kv || !kds || !kdiag || !kstat ||
        !kopt)
        return false;
    call.t = *t;
    call.p = *p;
    call.z = z;
    call.n = *n;
    call.idx = idx;
    call.kwork = *kwork;
    call.kvl = *kvl;
    call.rq = Requests::decode(*kphi, *kh, *ks, *kg, *kv);
    call.kds = *kds;
    call.kdiag = *kdiag;
    call.out = MonitorOutputs{phi, h, s, g, v, dphi, dh, ds, dg, dv};
    call.kstat = kstat;
    call.kopt = *kopt;
    // A requested slot the caller did not pass cannot be honoured.
    const Requests &rq = call.rq;
    auto slots = [](const Flag &f, const double *value, const double *derivative) {
        return (!f.any() || value) && (!f.derivative || derivative);
    };
    return slots(rq.phi, phi, dphi) && slots(rq.h, h, dh) && slots(rq.s, s, ds) && slots(rq.g, g, dg) &&
           slots(rq.v, v, dv) && (call.n < 1 || (z && idx));
}

namespace {

// Mole fractions: finite, not negative, summing to 1 within the tolerance of
// case files; each component listed once.
bool sound_composition(const MonitorCall &call, std::int64_t nc) {
    // A component listed twice is found by a bit per component on the stack (up to 4096 components),
    // beyond that by comparing the pairs.
    constexpr std::int64_t kMarkedComponents = 4096;
    std::array<std::uint64_t, kMarkedComponents / 64> listed;
    const bool marks = nc <= kMarkedComponents;
    if (marks) std::fill_n(listed.begin(), (nc + 63) / 64, std::uint64_t{0});
    double sum = 0.0;
    for (std::int64_t k = 0; k < call.n; ++k) {
        const std::int64_t i = call.idx[k];
        if (i < 1 || i > nc || !std::isfinite(call.z[k]) || call.z[k] < 0.0) return false;
        if (marks) {
            std::uint64_t &word = listed[static_cast<std::size_t>((i - 1) / 64)];
            const std::uint64_t bit = std::uint64_t{1} << ((i - 1) % 64);
            if ((word & bit) != 0) return false;
            word |= bit;
        } else {
            for (std::int64_t l = 0; l < k; ++l)
                if (call.idx[l] == i) return false;
        }
        sum += call.z[k];
    }
    return std::fabs(sum - 1.0) <= kCompositionSumTolerance;
}

}  // namespace

CallCheck check_monitor_call(const host::Host &host, const MonitorCall &call, std::int64_t work_words) {
    if (call.n < 1) return CallCheck::nothing;
    const std::int64_t nc = host.component_count();
    const bool ok = call.n <= nc && host.has_data_set(call.kds) && std::isfinite(call.t) && call.t > 0.0 &&
                    std::isfinite(call.p) && call.p > 0.0 && (call.kvl == 1 || call.kvl == 2) &&
                    host.work_area_fits(call.kwork, work_words) && sound_composition(call, nc);
    return ok ? CallCheck::proceed : CallCheck::rejected;
}

bool open_monitor_call(const host::Host &host, const MonitorCall &call, std::int64_t work_words) {
    switch (check_monitor_call(host, call, work_words)) {
        case CallCheck::proceed:
            return true;
        case CallCheck::rejected: {
            MonitorCall refused = call;
            refused.n = refused_positions(call.n, host.component_count());
            reject(refused);
            return false;
        }
        case CallCheck::nothing:
            break;
    }
    return false;
}

bool ideal_gas_exit(const host::Host &host, const MonitorCall &call, double mw, double mwn) {
    if (call.n != 1 || !(call.p < kIdealGasExitPressure)) return false;
    const IdealGasInputs in{call.t, call.p, mw, mwn, host.gas_constant(), host.reference_pressure()};
    const MonitorOutputs &o = call.out;
    ideal_gas_departure(in, call.rq, o.phi, o.h, o.s, o.g, o.v, o.dphi, o.dh, o.ds, o.dg, o.dv);
    return true;
}

void reject(const MonitorCall &call) {
    mark_unavailable(call.rq, call.n, call.out);
    *call.kstat = 0;
}

namespace {

// True when the block of `block` words of data set kds at `base` (data set d
// starting at base + (d - 1) block + 1) lies in the store; no product or sum
// can overflow, whatever the host or the caller passes.
bool data_set_block_in_store(const host::Host &host, std::int64_t base, std::int64_t kds, std::int64_t block) {
    const std::int64_t words = host.table().store_words;
    if (base <= 0 || kds < 1 || block < 0 || base > words) return false;
    if (block == 0) return true;
    const std::int64_t room = words - base;  // words after `base`
    if ((kds - 1) > room / block) return false;
    const std::int64_t first = base + (kds - 1) * block + 1;
    return host.in_store(first, block);
}

// NC^2 * per_pair, or -1 when it does not fit in 64 bits.
std::int64_t pair_words(std::int64_t nc, std::int64_t per_pair) {
    std::int64_t square = 0, words = 0;
    if (nc < 0 || per_pair < 0 || __builtin_mul_overflow(nc, nc, &square) ||
        __builtin_mul_overflow(square, per_pair, &words))
        return -1;
    return words;
}

}  // namespace

bool unary_block_in_store(const host::Host &host, std::int64_t base, std::int64_t kds) {
    return data_set_block_in_store(host, base, kds, host.component_count());
}

bool binary_block_in_store(const host::Host &host, std::int64_t base, std::int64_t kds, std::int64_t per_pair) {
    return data_set_block_in_store(host, base, kds, pair_words(host.component_count(), per_pair));
}

}  // namespace keld
