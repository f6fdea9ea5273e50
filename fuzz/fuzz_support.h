// What every export harness shares: guarded arrays, argument generators that
// are mostly plausible and often hostile, and the check that a call left the
// host store alone outside the words it may write.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "fuzz_host.h"

namespace keld::fuzz {

[[noreturn]] inline void fail(const char *what) {
    std::fprintf(stderr, "keld fuzz: %s\n", what);
    std::abort();
}

template <class T>
inline constexpr T kSentinelOf = T(-3.0e-300);
template <>
inline constexpr std::int64_t kSentinelOf<std::int64_t> = 0x5A5A5A5A5A5A5A5A;

// An array of n elements between guard words; its contents start as given
// (or as the sentinel).
template <class T>
struct Guarded {
    static constexpr std::size_t kGuard = 4;
    Guarded() : Guarded(std::size_t{0}) {}
    explicit Guarded(std::size_t n) : words(n + 2 * kGuard, kSentinelOf<T>), n(n) {}
    Guarded(const std::vector<T> &values) : Guarded(values.size()) {
        std::copy(values.begin(), values.end(), data());
    }
    T *data() { return words.data() + kGuard; }
    T &operator[](std::size_t k) { return data()[k]; }
    void check() const {
        const T sentinel = kSentinelOf<T>;
        for (std::size_t k = 0; k < kGuard; ++k)
            if (std::memcmp(&words[k], &sentinel, sizeof(T)) != 0 ||
                std::memcmp(&words[kGuard + n + k], &sentinel, sizeof(T)) != 0)
                fail("write outside an array the call was given");
    }
    std::vector<T> words;
    std::size_t n;
};
using GuardedReal = Guarded<double>;
using GuardedInt = Guarded<std::int64_t>;

inline double temperature(FuzzedDataProvider &in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return in.ConsumeFloatingPoint<double>();
    case 1: return std::numeric_limits<double>::quiet_NaN();
    case 2: return in.ConsumeFloatingPointInRange<double>(0.5, 40.0);  // far below any triple point
    default: return in.ConsumeFloatingPointInRange<double>(50.0, 3000.0);
    }
}

inline double pressure(FuzzedDataProvider &in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return in.ConsumeFloatingPoint<double>();
    case 1: return in.ConsumeBool() ? 5.4e-5 : 5.5e-5;  // either side of the ideal-gas exit
    default: return std::pow(10.0, in.ConsumeFloatingPointInRange<double>(-6.0, 10.0));
    }
}

// An integer in [lo, hi], one time in ten any 64-bit value.
inline std::int64_t small(FuzzedDataProvider &in, std::int64_t lo, std::int64_t hi) {
    return in.ConsumeIntegralInRange<int>(0, 9) == 0 ? in.ConsumeIntegral<std::int64_t>()
                                                      : in.ConsumeIntegralInRange<std::int64_t>(lo, hi);
}

inline std::int64_t work_offset(FuzzedDataProvider &in, const FuzzHost &h) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: return in.ConsumeIntegral<std::int64_t>();
    case 1: return in.ConsumeIntegralInRange<std::int64_t>(-h.host.work_offset() - 10, 0);
    case 2: return in.ConsumeIntegralInRange<std::int64_t>(0, h.host.work_words() + 2);
    default: return 0;
    }
}

// n mole fractions: usually summing to 1, sometimes anything.
inline std::vector<double> fractions(FuzzedDataProvider &in, std::size_t n) {
    const bool normalised = in.ConsumeIntegralInRange<int>(0, 3) != 0;
    std::vector<double> z;
    double sum = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        z.push_back(normalised ? in.ConsumeFloatingPointInRange<double>(0.0, 1.0) : in.ConsumeFloatingPoint<double>());
        sum += z.back();
    }
    if (normalised && sum > 0.0)
        for (double &v : z) v /= sum;
    return z;
}

// A value a caller should not pass as a parameter.
inline double hostile(FuzzedDataProvider &in) {
    switch (in.ConsumeIntegralInRange<int>(0, 6)) {
    case 0: return std::numeric_limits<double>::quiet_NaN();
    case 1: return std::numeric_limits<double>::infinity();
    case 2: return 0.0;
    case 3: return -1.0;
    case 4: return refhost::ReferenceHost::missing_value;
    case 5: return 1e300;
    default: return in.ConsumeFloatingPoint<double>();
    }
}

// Spoils a few elements of the arrays a call reads, one time in four.
inline void spoil(FuzzedDataProvider &in, std::initializer_list<std::vector<double> *> arrays) {
    if (in.ConsumeIntegralInRange<int>(0, 3) != 0) return;
    const int count = in.ConsumeIntegralInRange<int>(1, 3);
    for (int k = 0; k < count; ++k) {
        std::vector<double> &a = **(arrays.begin() + in.ConsumeIntegralInRange<std::size_t>(0, arrays.size() - 1));
        if (!a.empty()) a[in.ConsumeIntegralInRange<std::size_t>(0, a.size() - 1)] = hostile(in);
    }
}

// The host store before a call; `verify` fails on any changed word outside
// [first, last) (store positions from 1) that `may_write` does not allow, and
// `restore` puts every word back, so that every input runs on the same host.
struct StoreSnapshot {
    explicit StoreSnapshot(FuzzHost &h) : h(h), before(h.host.store().begin(), h.host.store().end()) {}
    void verify(std::int64_t first = 0, std::int64_t last = 0) const {
        const auto store = h.host.store();
        for (std::size_t k = 0; k < before.size(); ++k) {
            const std::int64_t position = static_cast<std::int64_t>(k) + 1;
            if (position >= first && position < last) continue;
            if (!h.published[position] && std::memcmp(&before[k], &store[k], sizeof(double)) != 0) {
                std::fprintf(stderr, "keld fuzz: store word %lld: %.17g -> %.17g\n", static_cast<long long>(position),
                             before[k], store[k]);
                fail("store word written outside the call's work area");
            }
        }
    }
    void restore() const {
        auto store = h.host.store();
        std::copy(before.begin(), before.end(), store.begin());
    }
    FuzzHost &h;
    std::vector<double> before;
};

// [first, last) of a work area of `words` words at KWORK when the whole area
// lies in the host's work block; an empty range otherwise.
inline std::pair<std::int64_t, std::int64_t> work_range(const FuzzHost &h, std::int64_t kwork, std::int64_t words) {
    if (kwork < 0 || kwork > h.host.work_words() - words) return {0, 0};
    const std::int64_t first = h.host.work_offset() + kwork;
    return {first, first + words};
}

}  // namespace keld::fuzz
