// The alpha function of SRK's attraction a(T) = a_c alpha(T) in its
// polynomial form
//   alpha = s^2,  s = 1 + c1 y + c2 y^2 + c3 y^3,  y = 1 - sqrt(T/Tc),
// with Soave's c1 = 0.480 + 1.574 omega - 0.176 omega^2 (c2 = c3 = 0), or
// Mathias and Copeman's three constants, of which only c1 is kept above Tc
// (their form is fitted to the vapour pressure and extrapolates poorly).
//
// The monitor takes alpha and its T-derivatives from the host's alpha
// function; the reference host evaluates it here, and the model layer
// evaluates alpha_of with its automatic-differentiation numbers.
#pragma once

#include <cmath>

namespace keld::cubic {

struct AlphaConstants {
    double c1 = 0.0, c2 = 0.0, c3 = 0.0;
};

inline AlphaConstants soave_constants(double omega) { return {0.480 + 1.574 * omega - 0.176 * omega * omega, 0.0, 0.0}; }

inline AlphaConstants mathias_copeman_constants(double c1, double c2, double c3, bool above_critical) {
    return above_critical ? AlphaConstants{c1, 0.0, 0.0} : AlphaConstants{c1, c2, c3};
}

// y = 1 - sqrt(T/Tc) and s(y).
template <class S>
S alpha_variable(const S &t, double tc) {
    using std::sqrt;
    return 1.0 - sqrt(t / tc);
}
template <class S>
S alpha_root(const S &y, const AlphaConstants &c) {
    return 1.0 + y * (c.c1 + y * (c.c2 + y * c.c3));
}

// alpha(T) with any number type.
template <class S>
S alpha_of(const S &t, double tc, const AlphaConstants &c) {
    const S s = alpha_root(alpha_variable(t, tc), c);
    return s * s;
}

// alpha and its first and second T-derivatives in closed form, as the host's
// alpha function returns them.
inline void alpha_with_derivatives(double t, double tc, const AlphaConstants &c, double &alpha, double &dalpha,
                                   double &d2alpha) {
    const double y = alpha_variable(t, tc);
    const double y1 = -0.5 / std::sqrt(t * tc);                   // dy/dT
    const double y2 = 0.25 / (std::sqrt(tc) * t * std::sqrt(t));  // d2y/dT2
    const double s = alpha_root(y, c);
    const double ds_dy = c.c1 + y * (2.0 * c.c2 + 3.0 * c.c3 * y);
    const double d2s_dy2 = 2.0 * c.c2 + 6.0 * c.c3 * y;
    const double s1 = ds_dy * y1;
    const double s2 = d2s_dy2 * y1 * y1 + ds_dy * y2;
    alpha = s * s;
    dalpha = 2.0 * s * s1;
    d2alpha = 2.0 * (s1 * s1 + s * s2);
}

}  // namespace keld::cubic
