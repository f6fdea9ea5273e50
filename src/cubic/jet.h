// A value with its first and second temperature derivatives. The cubic's
// mixture step carries every temperature-dependent quantity as a Jet, so b, D,
// g^E/RT and ln gamma come with exact T-derivatives by the chain rule.
#pragma once

#include <cmath>

namespace keld::cubic {

struct Jet {
    double v = 0.0;   // value
    double d = 0.0;   // d/dT
    double dd = 0.0;  // d2/dT2

    constexpr Jet() = default;
    constexpr Jet(double value) : v(value) {}
    constexpr Jet(double value, double first, double second) : v(value), d(first), dd(second) {}

    // The temperature itself.
    static constexpr Jet temperature(double t) { return {t, 1.0, 0.0}; }

    Jet &operator+=(const Jet &o) {
        v += o.v;
        d += o.d;
        dd += o.dd;
        return *this;
    }
    Jet &operator-=(const Jet &o) {
        v -= o.v;
        d -= o.d;
        dd -= o.dd;
        return *this;
    }
};

inline Jet operator+(Jet a, const Jet &b) { return a += b; }
inline Jet operator-(Jet a, const Jet &b) { return a -= b; }
inline Jet operator-(const Jet &a) { return {-a.v, -a.d, -a.dd}; }
inline Jet operator*(const Jet &a, const Jet &b) {
    return {a.v * b.v, a.d * b.v + a.v * b.d, a.dd * b.v + 2.0 * a.d * b.d + a.v * b.dd};
}
inline Jet operator*(double s, const Jet &a) { return {s * a.v, s * a.d, s * a.dd}; }
inline Jet operator*(const Jet &a, double s) { return s * a; }
inline Jet operator+(const Jet &a, double s) { return {a.v + s, a.d, a.dd}; }
inline Jet operator+(double s, const Jet &a) { return a + s; }
inline Jet operator-(const Jet &a, double s) { return {a.v - s, a.d, a.dd}; }
inline Jet operator-(double s, const Jet &a) { return {s - a.v, -a.d, -a.dd}; }

inline Jet reciprocal(const Jet &a) {
    const double r = 1.0 / a.v;
    return {r, -a.d * r * r, (2.0 * a.d * a.d * r - a.dd) * r * r};
}
inline Jet operator/(const Jet &a, const Jet &b) { return a * reciprocal(b); }
inline Jet operator/(const Jet &a, double s) { return (1.0 / s) * a; }
inline Jet operator/(double s, const Jet &a) { return s * reciprocal(a); }

inline Jet exp(const Jet &a) {
    const double e = std::exp(a.v);
    return {e, e * a.d, e * (a.dd + a.d * a.d)};
}
inline Jet log(const Jet &a) {
    const double r = 1.0 / a.v;
    return {std::log(a.v), a.d * r, (a.dd - a.d * a.d * r) * r};
}
inline Jet sqrt(const Jet &a) {
    const double s = std::sqrt(a.v);
    const double h = 0.5 / s;
    return {s, a.d * h, a.dd * h - 2.0 * a.d * a.d * h * h * h};
}

}  // namespace keld::cubic
