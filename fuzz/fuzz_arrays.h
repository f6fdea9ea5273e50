// Helpers of the harness of the routines whose parameters come as arguments
// (fuzz_arrays.cpp, fuzz_association.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include "fuzz_support.h"

namespace keld::fuzz {

using Real = std::vector<double>;
using Int = std::vector<std::int64_t>;

constexpr double kMissing = keld::refhost::ReferenceHost::missing_value;
constexpr std::int64_t kCap = 12;  // arrays are sized by a count only up to this

// Elements of an array sized by a count: the count, at most kCap (an absurd count gets kCap; a call
// must refuse it before reading or writing that far).
inline std::size_t len(std::int64_t count) { return count > 0 ? static_cast<std::size_t>(count < kCap ? count : kCap) : 0; }
inline std::size_t len2(std::int64_t a, std::int64_t b) { return len(a) * len(b); }

// A count: usually the plausible one, sometimes off by a little, sometimes anything.
inline std::int64_t count(FuzzedDataProvider &in, std::int64_t plausible) {
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: return in.ConsumeIntegral<std::int64_t>();
    case 1: return in.ConsumeIntegralInRange<std::int64_t>(-1, plausible + 2);
    default: return plausible;
    }
}

// The state shared by every routine: T, the listed components, their
// fractions and pressures, phase, flags, data set and diagnostic level.
struct State {
    double t = 0, p = 0;
    std::int64_t n = 0, kvl = 0, flags[5]{}, kds = 1, kdiag = 0, kopt = 0, kspare = 0;
    Int idx;
    Real z, pressures;
};

// A vector form's N is a number of points, as many as the caller asks for: its arrays have N elements,
// so it is kept within the arrays' reach; a scalar form gets any N now and then.
inline State state(FuzzedDataProvider &in, const FuzzHost &h, bool vector_form) {
    State s;
    const std::int64_t nc = h.host.component_count();
    s.t = temperature(in);
    s.n = in.ConsumeIntegralInRange<int>(0, 15) == 0
              ? (vector_form ? in.ConsumeIntegralInRange<std::int64_t>(-5, kCap) : in.ConsumeIntegral<std::int64_t>())
              : in.ConsumeIntegralInRange<std::int64_t>(-1, nc + 1);
    for (std::size_t k = 0; k < len(s.n); ++k) s.idx.push_back(small(in, 0, nc + 1));
    s.z = fractions(in, len(s.n));
    s.p = pressure(in);
    for (std::size_t k = 0; k < len(s.n); ++k) s.pressures.push_back(pressure(in));
    s.kvl = small(in, 0, 3);
    for (std::int64_t &f : s.flags) f = small(in, -1, 4);
    s.kds = small(in, 0, 3);
    s.kdiag = small(in, -1, 2);
    s.kopt = in.ConsumeBool() ? 5 : small(in, -1, 6);
    return s;
}

// Parameter arrays by component, data set 1 (the marker where not given).
inline Real unary(const FuzzHost &h, const char *name) {
    Real v;
    for (std::int64_t i = 1; i <= h.host.component_count(); ++i) v.push_back(h.host.unary(name, i, 1));
    return v;
}
inline Real component(const FuzzHost &h, const char *name) {
    Real v;
    for (std::int64_t i = 1; i <= h.host.component_count(); ++i) v.push_back(h.host.component_value(name, i));
    return v;
}
// A by-component array resized to the call's NC (padding repeats the last component's value).
inline Real by_component(Real v, std::int64_t nc) {
    const double last = v.empty() ? 0.0 : v.back();
    v.resize(len(nc), last);
    return v;
}

template <class... G>
void check_all(const G &...g) {
    (g.check(), ...);
}

// The association routine (KELD_PCSAF5 or its alias) and the associating
// PC-SAFT monitor and vector form (0, 1: KELD_PCSAF1 and alias; 2, 3: KELD_PCSAF0
// and alias).
void association(bool alias, FuzzedDataProvider &in, FuzzHost &h, State &s);
void associating_monitor(int which, FuzzedDataProvider &in, FuzzHost &h, State &s);

}  // namespace keld::fuzz
