// A forward-mode dual number: a value and its derivative with respect to one
// chosen variable. Evaluating an expression with Dual arguments seeded with
// their derivatives gives the exact derivative of that expression (the chain
// rule applied term by term), not a difference quotient.
#pragma once

#include <cmath>

namespace keld {

struct Dual {
    double v = 0.0;  // value
    double d = 0.0;  // derivative

    constexpr Dual() = default;
    constexpr Dual(double value, double derivative = 0.0) : v(value), d(derivative) {}

    Dual &operator+=(const Dual &o) {
        v += o.v;
        d += o.d;
        return *this;
    }
    Dual &operator-=(const Dual &o) {
        v -= o.v;
        d -= o.d;
        return *this;
    }
    Dual &operator*=(const Dual &o) {
        d = d * o.v + v * o.d;
        v *= o.v;
        return *this;
    }
};

inline Dual operator-(const Dual &a) { return {-a.v, -a.d}; }
inline Dual operator+(const Dual &a, const Dual &b) { return {a.v + b.v, a.d + b.d}; }
inline Dual operator+(double a, const Dual &b) { return {a + b.v, b.d}; }
inline Dual operator+(const Dual &a, double b) { return {a.v + b, a.d}; }
inline Dual operator-(const Dual &a, const Dual &b) { return {a.v - b.v, a.d - b.d}; }
inline Dual operator-(double a, const Dual &b) { return {a - b.v, -b.d}; }
inline Dual operator-(const Dual &a, double b) { return {a.v - b, a.d}; }
inline Dual operator*(const Dual &a, const Dual &b) { return {a.v * b.v, a.d * b.v + a.v * b.d}; }
inline Dual operator*(double a, const Dual &b) { return {a * b.v, a * b.d}; }
inline Dual operator*(const Dual &a, double b) { return {a.v * b, a.d * b}; }
inline Dual operator/(const Dual &a, const Dual &b) {
    const double q = a.v / b.v;
    return {q, (a.d - q * b.d) / b.v};
}
inline Dual operator/(double a, const Dual &b) {
    const double q = a / b.v;
    return {q, -q * b.d / b.v};
}
inline Dual operator/(const Dual &a, double b) { return {a.v / b, a.d / b}; }

inline Dual log(const Dual &a) { return {std::log(a.v), a.d / a.v}; }
inline Dual log1p(const Dual &a) { return {std::log1p(a.v), a.d / (1.0 + a.v)}; }

}  // namespace keld
