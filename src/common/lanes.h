// Two doubles operated on together: one SSE2 register on x86-64 (which -O3 uses without -march),
// pairs of scalar operations elsewhere. Every operation is the IEEE one of each lane, so a lane holds
// the bits of the scalar expression written the same way: loops vectorised across two independent
// computations (two temperatures, two pairs) keep their values exactly.
#pragma once

#include <cmath>

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

}  // namespace keld
