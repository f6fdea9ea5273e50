// Two doubles operated on together: one SSE2 register on x86-64 (which -O3 uses without -march),
// pairs of scalar operations elsewhere. Every operation is the IEEE one of each lane, so a lane holds
// the bits of the scalar expression written the same way: loops vectorised across two independent
// computations (two temperatures, two pairs) keep their values exactly.
#pragma once

#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace keld {

using Lanes = double __attribute__((vector_size(16)));

// The correctly rounded square root of each lane (what std::sqrt gives for it).
inline Lanes sqrt_lanes(Lanes v) {
#if defined(__SSE2__)
    return reinterpret_cast<Lanes>(_mm_sqrt_pd(reinterpret_cast<__m128d>(v)));
#else
    return Lanes{std::sqrt(v[0]), std::sqrt(v[1])};
#endif
}

// Two consecutive doubles from p and to p (no alignment needed).
inline Lanes load_lanes(const double *p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store_lanes(double *p, Lanes v) { std::memcpy(p, &v, sizeof v); }

}  // namespace keld
