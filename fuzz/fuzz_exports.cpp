// libFuzzer harness of every exported routine of keld.h (the monitors, their
// vector forms, the initialisation routines and the gfortran aliases) on a
// reference host. The input picks the routine and every argument: mostly
// values a simulator could pass, often values it must not (NaN, negative or
// huge offsets, unknown phases and data sets, fractions that do not add up).
//
// Beyond the sanitizers it checks that nothing is written outside what the
// call was given: each output array and scalar sits between guard words, and
// every store word outside the call's own work area must be unchanged after
// the call, except the few words a monitor publishes for the host. The store
// is restored after each input, so that every input runs on the same host.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "fuzz_host.h"
#include "keld/keld.h"

namespace {

using keld::fuzz::FuzzHost;

constexpr std::size_t kGuard = 4;
constexpr double kSentinel = -3.0e-300;
constexpr std::int64_t kIntSentinel = 0x5A5A5A5A5A5A5A5A;
constexpr int kMaxComponents = 6;

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "keld fuzz: %s\n", what);
    std::abort();
}

// An array of n doubles between guard words.
struct Guarded {
    explicit Guarded(std::size_t n) : words(n + 2 * kGuard, kSentinel), n(n) {}
    double *data() { return words.data() + kGuard; }
    void check() const {
        for (std::size_t k = 0; k < kGuard; ++k)
            if (std::memcmp(&words[k], &kSentinel, sizeof(double)) != 0 ||
                std::memcmp(&words[kGuard + n + k], &kSentinel, sizeof(double)) != 0)
                fail("write outside an output array");
    }
    std::vector<double> words;
    std::size_t n;
};

double temperature(FuzzedDataProvider &in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return in.ConsumeFloatingPoint<double>();
    case 1: return std::numeric_limits<double>::quiet_NaN();
    case 2: return in.ConsumeFloatingPointInRange<double>(0.5, 40.0);  // far below any triple point
    default: return in.ConsumeFloatingPointInRange<double>(50.0, 3000.0);
    }
}

double pressure(FuzzedDataProvider &in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return in.ConsumeFloatingPoint<double>();
    case 1: return in.ConsumeBool() ? 5.4e-5 : 5.5e-5;  // either side of the ideal-gas exit
    default: return std::pow(10.0, in.ConsumeFloatingPointInRange<double>(-6.0, 10.0));
    }
}

std::int64_t work_offset(FuzzedDataProvider &in, const FuzzHost &h) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: return in.ConsumeIntegral<std::int64_t>();
    case 1: return in.ConsumeIntegralInRange<std::int64_t>(-h.host.work_offset() - 10, 0);
    case 2: return in.ConsumeIntegralInRange<std::int64_t>(0, h.host.work_words() + 2);
    default: return 0;
    }
}

std::int64_t small(FuzzedDataProvider &in, std::int64_t lo, std::int64_t hi) {
    return in.ConsumeIntegralInRange<int>(0, 9) == 0 ? in.ConsumeIntegral<std::int64_t>()
                                                      : in.ConsumeIntegralInRange<std::int64_t>(lo, hi);
}

struct Arguments {
    double t = 0, p = 0;
    std::int64_t n = 0;
    std::vector<std::int64_t> idx;
    std::vector<double> z, pressures;
    std::int64_t kwork = 0, kspare = 0, kvl = 0, flags[5]{}, kds = 0, kdiag = 0, kopt = 0;
};

Arguments arguments(FuzzedDataProvider &in, const FuzzHost &h) {
    Arguments a;
    const std::int64_t nc = h.host.component_count();
    a.t = temperature(in);
    a.n = in.ConsumeIntegralInRange<std::int64_t>(-1, kMaxComponents);
    const std::size_t n = a.n > 0 ? static_cast<std::size_t>(a.n) : 0;
    for (std::size_t k = 0; k < n; ++k) a.idx.push_back(small(in, 0, nc + 1));
    const bool normalised = in.ConsumeIntegralInRange<int>(0, 3) != 0;
    double sum = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        a.z.push_back(normalised ? in.ConsumeFloatingPointInRange<double>(0.0, 1.0) : in.ConsumeFloatingPoint<double>());
        sum += a.z.back();
    }
    if (normalised && sum > 0.0)
        for (double &z : a.z) z /= sum;
    a.p = pressure(in);
    for (std::size_t k = 0; k < n; ++k) a.pressures.push_back(pressure(in));
    a.kwork = work_offset(in, h);
    a.kspare = in.ConsumeIntegral<std::int64_t>();
    a.kvl = small(in, -1, 4);
    for (std::int64_t &f : a.flags) f = small(in, -1, 6);
    a.kds = small(in, -1, 3);
    a.kdiag = small(in, -1, 10);
    a.kopt = in.ConsumeBool() ? 5 : small(in, -1, 6);
    return a;
}

// Calls one exported routine with guarded outputs; `vector` for the 26-argument forms.
template <class Routine>
void call(Routine routine, bool vector, Arguments &a) {
    const std::size_t n = a.n > 0 ? static_cast<std::size_t>(a.n) : 0;
    const std::size_t scalar = vector ? n : 1;
    Guarded phi(n), dphi(n), h(scalar), s(scalar), g(scalar), v(scalar), dh(scalar), ds(scalar), dg(scalar),
        dv(scalar);
    std::int64_t kstat[3] = {kIntSentinel, 1, kIntSentinel};
    if constexpr (requires { routine(&a.t, &a.p, a.z.data(), &a.n, a.idx.data(), &a.kwork, &a.kspare, &a.kvl,
                                     &a.flags[0], &a.flags[1], &a.flags[2], &a.flags[3], &a.flags[4], &a.kds,
                                     &a.kdiag, phi.data(), h.data(), s.data(), g.data(), v.data(), dphi.data(),
                                     dh.data(), ds.data(), dg.data(), dv.data(), &kstat[1], &a.kopt); }) {
        routine(&a.t, &a.p, a.z.data(), &a.n, a.idx.data(), &a.kwork, &a.kspare, &a.kvl, &a.flags[0], &a.flags[1],
                &a.flags[2], &a.flags[3], &a.flags[4], &a.kds, &a.kdiag, phi.data(), h.data(), s.data(), g.data(),
                v.data(), dphi.data(), dh.data(), ds.data(), dg.data(), dv.data(), &kstat[1], &a.kopt);
    } else {
        routine(&a.t, a.pressures.data(), &a.n, a.idx.data(), &a.kwork, &a.kspare, &a.kvl, &a.flags[0],
                &a.flags[1], &a.flags[2], &a.flags[3], &a.flags[4], &a.kds, &a.kdiag, phi.data(), h.data(),
                s.data(), g.data(), v.data(), dphi.data(), dh.data(), ds.data(), dg.data(), dv.data(), &kstat[1],
                &a.kopt);
    }
    for (const Guarded *gd : {&phi, &dphi, &h, &s, &g, &v, &dh, &ds, &dg, &dv}) gd->check();
    if (kstat[0] != kIntSentinel || kstat[2] != kIntSentinel) fail("write next to KSTAT");
    if (kstat[1] != 0 && kstat[1] != 1) fail("KSTAT neither kept nor cleared");
}

// Words of a family's work area for NC components.
std::int64_t area_words(bool pcsaft, std::int64_t nc) { return pcsaft ? 18 * nc + 7 * nc * nc : 10 * nc + 5 * nc * nc; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static FuzzHost h;
    FuzzedDataProvider in(data, size);
    const int routine = in.ConsumeIntegralInRange<int>(0, 11);
    Arguments a = arguments(in, h);
    const std::vector<double> before(h.host.store().begin(), h.host.store().end());

    bool pcsaft = false, initialisation = false;
    switch (routine) {
    case 0: call(KELD_ESSLP, false, a); break;
    case 1: call(keld_esslp_, false, a); break;
    case 2: call(KELD_ESSLPA, true, a); break;
    case 3: call(keld_esslpa_, true, a); break;
    case 4: pcsaft = true; call(KELD_ESPCSF, false, a); break;
    case 5: pcsaft = true; call(keld_espcsf_, false, a); break;
    case 6: pcsaft = true; call(KELD_ESPCSA, true, a); break;
    case 7: pcsaft = true; call(keld_espcsa_, true, a); break;
    default: {
        // The initialisation routines write parameters and flags of every data set.
        initialisation = true;
        const std::int64_t nds = a.kds;
        if (routine == 8) KELD_ESPSLI(&nds);
        if (routine == 9) keld_espsli_(&nds);
        if (routine == 10) KELD_ESPCSI(&nds);
        if (routine == 11) keld_espcsi_(&nds);
        break;
    }
    }

    auto store = h.host.store();
    if (!initialisation) {
        const std::int64_t w0 = h.host.work_offset(), words = area_words(pcsaft, h.host.component_count());
        const bool area_valid = a.kwork >= 0 && a.kwork <= h.host.work_words() - words;
        for (std::size_t k = 0; k < before.size(); ++k) {
            const std::int64_t position = static_cast<std::int64_t>(k) + 1;
            const bool in_area = area_valid && position >= w0 + a.kwork && position < w0 + a.kwork + words;
            if (!in_area && !h.published[position] && std::memcmp(&before[k], &store[k], sizeof(double)) != 0)
                fail("store word written outside the call's work area");
        }
    }
    std::copy(before.begin(), before.end(), store.begin());
    return 0;
}
