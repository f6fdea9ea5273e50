// Forward-mode automatic differentiation for the residual Helmholtz energy.
//
// Three number types carry exact derivatives through every arithmetic
// operation and elementary function of an expression, by the chain rule
// applied term by term (never a difference quotient):
//   Dual<T>       f + f' e            (e^2 = 0): one first derivative;
//   HyperDual<T>  f + f1 e1 + f2 e2 + f12 e1 e2 (e1^2 = e2^2 = 0): two first
//                 derivatives and their mixed second derivative;
//   Taylor<T, K>  the Taylor coefficients c_k = f^(k)/k! of f along one
//                 direction up to order K.
// Each is a template over its base type T, which is double in the library
// and may be std::complex<double> or another of these types: the tests take
// complex-step derivatives of a Dual's derivative, an oracle the derivative
// rules cannot share a mistake with.
//
// Every model contribution is written once, as a template over its scalar
// type; `value(x)` gives the plain double of any of these types for the
// branches a formula takes (which do not depend on the seeded directions).
#pragma once

#include <cmath>
#include <complex>
#include <type_traits>

namespace keld::ad {

// The arithmetic of these numbers is a handful of operations each; left to
// the compiler's judgement, the larger ones (a jet's product) become calls.
// Checking builds (sanitizers, fuzzing) define KELD_AD_PLAIN_INLINE: forced
// inlining there makes each Helmholtz energy one instrumented function too
// large to compile in reasonable time.
#ifdef KELD_AD_PLAIN_INLINE
#define KELD_AD_INLINE inline
#else
#define KELD_AD_INLINE [[gnu::always_inline]] inline
#endif

template <class T>
struct Dual;
template <class T>
struct HyperDual;
template <class T, int K>
struct Taylor;

// The real value of a number of any supported type.
inline double value(double x) { return x; }
inline double value(const std::complex<double> &x) { return x.real(); }
template <class T>
double value(const Dual<T> &x);
template <class T>
double value(const HyperDual<T> &x);
template <class T, int K>
double value(const Taylor<T, K> &x);
template <class T, int N>
struct Jet2;
template <class T, int N>
double value(const Jet2<T, N> &x);

// ---------------------------------------------------------------- Dual

template <class T>
struct Dual {
    T v{}, d{};
    constexpr Dual() = default;
    constexpr Dual(double value) : v(value), d() {}  // NOLINT: a constant is a number without derivative
    constexpr Dual(const T &value, const T &derivative) : v(value), d(derivative) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U, T> &&
                                                 !std::is_arithmetic_v<U>>>
    constexpr Dual(const U &value) : v(value), d() {}  // NOLINT
};

template <class T>
double value(const Dual<T> &x) {
    return value(x.v);
}

template <class T>
KELD_AD_INLINE Dual<T> operator-(const Dual<T> &a) {
    return {-a.v, -a.d};
}
template <class T>
KELD_AD_INLINE Dual<T> operator+(const Dual<T> &a, const Dual<T> &b) {
    return {a.v + b.v, a.d + b.d};
}
template <class T>
KELD_AD_INLINE Dual<T> operator-(const Dual<T> &a, const Dual<T> &b) {
    return {a.v - b.v, a.d - b.d};
}
template <class T>
KELD_AD_INLINE Dual<T> operator*(const Dual<T> &a, const Dual<T> &b) {
    return {a.v * b.v, a.d * b.v + a.v * b.d};
}
template <class T>
KELD_AD_INLINE Dual<T> operator/(const Dual<T> &a, const Dual<T> &b) {
    const T q = a.v / b.v;
    return {q, (a.d - q * b.d) / b.v};
}
template <class T>
KELD_AD_INLINE Dual<T> operator+(const Dual<T> &a, double b) {
    return {a.v + b, a.d};
}
template <class T>
KELD_AD_INLINE Dual<T> operator+(double a, const Dual<T> &b) {
    return {a + b.v, b.d};
}
template <class T>
KELD_AD_INLINE Dual<T> operator-(const Dual<T> &a, double b) {
    return {a.v - b, a.d};
}
template <class T>
KELD_AD_INLINE Dual<T> operator-(double a, const Dual<T> &b) {
    return {a - b.v, -b.d};
}
template <class T>
KELD_AD_INLINE Dual<T> operator*(const Dual<T> &a, double b) {
    return {a.v * b, a.d * b};
}
template <class T>
KELD_AD_INLINE Dual<T> operator*(double a, const Dual<T> &b) {
    return {a * b.v, a * b.d};
}
template <class T>
KELD_AD_INLINE Dual<T> operator/(const Dual<T> &a, double b) {
    return {a.v / b, a.d / b};
}
template <class T>
KELD_AD_INLINE Dual<T> operator/(double a, const Dual<T> &b) {
    const T q = a / b.v;
    return {q, -q * b.d / b.v};
}
// f(a) from f(a.v) and f'(a.v).
template <class T>
KELD_AD_INLINE Dual<T> chain(const Dual<T> &a, const T &f, const T &df) {
    return {f, df * a.d};
}

// ----------------------------------------------------------- HyperDual

template <class T>
struct HyperDual {
    T v{}, d1{}, d2{}, d12{};
    constexpr HyperDual() = default;
    constexpr HyperDual(double value) : v(value) {}  // NOLINT
    constexpr HyperDual(const T &value, const T &first, const T &second, const T &mixed)
        : v(value), d1(first), d2(second), d12(mixed) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U, T> &&
                                                 !std::is_arithmetic_v<U>>>
    constexpr HyperDual(const U &value) : v(value) {}  // NOLINT
};

template <class T>
double value(const HyperDual<T> &x) {
    return value(x.v);
}

template <class T>
KELD_AD_INLINE HyperDual<T> operator-(const HyperDual<T> &a) {
    return {-a.v, -a.d1, -a.d2, -a.d12};
}
template <class T>
KELD_AD_INLINE HyperDual<T> operator+(const HyperDual<T> &a, const HyperDual<T> &b) {
    return {a.v + b.v, a.d1 + b.d1, a.d2 + b.d2, a.d12 + b.d12};
}
template <class T>
KELD_AD_INLINE HyperDual<T> operator-(const HyperDual<T> &a, const HyperDual<T> &b) {
    return {a.v - b.v, a.d1 - b.d1, a.d2 - b.d2, a.d12 - b.d12};
}
template <class T>
KELD_AD_INLINE HyperDual<T> operator*(const HyperDual<T> &a, const HyperDual<T> &b) {
    return {a.v * b.v, a.d1 * b.v + a.v * b.d1, a.d2 * b.v + a.v * b.d2,
            a.d12 * b.v + a.d1 * b.d2 + a.d2 * b.d1 + a.v * b.d12};
}
// f(a) from f, f' and f'' at a.v.
template <class T>
KELD_AD_INLINE HyperDual<T> chain(const HyperDual<T> &a, const T &f, const T &df, const T &d2f) {
    return {f, df * a.d1, df * a.d2, df * a.d12 + d2f * a.d1 * a.d2};
}
// The quotient's value is a.v / b.v itself (the value of a plain division).
template <class T>
KELD_AD_INLINE HyperDual<T> operator/(const HyperDual<T> &a, const HyperDual<T> &b) {
    const T q = a.v / b.v;
    const T q1 = (a.d1 - q * b.d1) / b.v, q2 = (a.d2 - q * b.d2) / b.v;
    return {q, q1, q2, (a.d12 - q1 * b.d2 - q2 * b.d1 - q * b.d12) / b.v};
}
template <class T>
KELD_AD_INLINE HyperDual<T> operator+(const HyperDual<T> &a, double b) {
    return {a.v + b, a.d1, a.d2, a.d12};
}
template <class T>
KELD_AD_INLINE HyperDual<T> operator+(double a, const HyperDual<T> &b) {
    return b + a;
}
template <class T>
KELD_AD_INLINE HyperDual<T> operator-(const HyperDual<T> &a, double b) {
    return {a.v - b, a.d1, a.d2, a.d12};
}
template <class T>
KELD_AD_INLINE HyperDual<T> operator-(double a, const HyperDual<T> &b) {
    return {a - b.v, -b.d1, -b.d2, -b.d12};
}
template <class T>
KELD_AD_INLINE HyperDual<T> operator*(const HyperDual<T> &a, double b) {
    return {a.v * b, a.d1 * b, a.d2 * b, a.d12 * b};
}
template <class T>
KELD_AD_INLINE HyperDual<T> operator*(double a, const HyperDual<T> &b) {
    return b * a;
}
template <class T>
KELD_AD_INLINE HyperDual<T> operator/(const HyperDual<T> &a, double b) {
    return a * (1.0 / b);
}
template <class T>
KELD_AD_INLINE HyperDual<T> operator/(double a, const HyperDual<T> &b) {
    const T q = a / b.v;
    const T q1 = -q * b.d1 / b.v, q2 = -q * b.d2 / b.v;
    return {q, q1, q2, (-q1 * b.d2 - q2 * b.d1 - q * b.d12) / b.v};
}

// -------------------------------------------------------------- Taylor

template <class T, int K>
struct Taylor {
    static_assert(K >= 1, "a Taylor number carries at least the first derivative");
    T c[K + 1]{};
    constexpr Taylor() = default;
    constexpr Taylor(double value) { c[0] = value; }  // NOLINT
    template <class U, class = std::enable_if_t<std::is_convertible_v<U, T> &&
                                                 !std::is_arithmetic_v<U>>>
    constexpr Taylor(const U &value) {  // NOLINT
        c[0] = value;
    }
    // The variable itself at x (seeded along its direction).
    static Taylor variable(const T &x) {
        Taylor t;
        t.c[0] = x;
        t.c[1] = T(1.0);
        return t;
    }
    // The k-th derivative along the direction: k! c_k.
    T derivative(int k) const {
        T f = c[k];
        for (int j = 2; j <= k; ++j) f = f * double(j);
        return f;
    }
};

template <class T, int K>
double value(const Taylor<T, K> &x) {
    return value(x.c[0]);
}

template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator-(const Taylor<T, K> &a) {
    Taylor<T, K> r;
    for (int k = 0; k <= K; ++k) r.c[k] = -a.c[k];
    return r;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator+(const Taylor<T, K> &a, const Taylor<T, K> &b) {
    Taylor<T, K> r;
    for (int k = 0; k <= K; ++k) r.c[k] = a.c[k] + b.c[k];
    return r;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator-(const Taylor<T, K> &a, const Taylor<T, K> &b) {
    Taylor<T, K> r;
    for (int k = 0; k <= K; ++k) r.c[k] = a.c[k] - b.c[k];
    return r;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator*(const Taylor<T, K> &a, const Taylor<T, K> &b) {
    Taylor<T, K> r;
    for (int k = 0; k <= K; ++k) {
        T s = a.c[0] * b.c[k];
        for (int j = 1; j <= k; ++j) s = s + a.c[j] * b.c[k - j];
        r.c[k] = s;
    }
    return r;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator/(const Taylor<T, K> &a, const Taylor<T, K> &b) {
    // q b = a, order by order.
    Taylor<T, K> q;
    for (int k = 0; k <= K; ++k) {
        T s = a.c[k];
        for (int j = 1; j <= k; ++j) s = s - b.c[j] * q.c[k - j];
        q.c[k] = s / b.c[0];
    }
    return q;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator+(const Taylor<T, K> &a, double b) {
    Taylor<T, K> r = a;
    r.c[0] = r.c[0] + b;
    return r;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator+(double a, const Taylor<T, K> &b) {
    return b + a;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator-(const Taylor<T, K> &a, double b) {
    Taylor<T, K> r = a;
    r.c[0] = r.c[0] - b;
    return r;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator-(double a, const Taylor<T, K> &b) {
    Taylor<T, K> r = -b;
    r.c[0] = r.c[0] + a;
    return r;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator*(const Taylor<T, K> &a, double b) {
    Taylor<T, K> r;
    for (int k = 0; k <= K; ++k) r.c[k] = a.c[k] * b;
    return r;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator*(double a, const Taylor<T, K> &b) {
    return b * a;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator/(const Taylor<T, K> &a, double b) {
    return a * (1.0 / b);
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> operator/(double a, const Taylor<T, K> &b) {
    return Taylor<T, K>(a) / b;
}

// ------------------------------------------------------------- Jet2
// Second-order truncated Taylor number in N variables: the value, the
// gradient and the Hessian (upper triangle, packed row by row) of an
// expression, all in one evaluation.

template <class T, int N>
struct Jet2 {
    static constexpr int kPairs = N * (N + 1) / 2;
    T v{};
    T g[N]{};
    T h[kPairs]{};
    constexpr Jet2() = default;
    constexpr Jet2(double value) : v(value) {}  // NOLINT
    template <class U, class = std::enable_if_t<std::is_convertible_v<U, T> && !std::is_arithmetic_v<U>>>
    constexpr Jet2(const U &value) : v(value) {}  // NOLINT
    // Variable k (0-based) at x.
    static Jet2 variable(const T &x, int k) {
        Jet2 j;
        j.v = x;
        j.g[k] = T(1.0);
        return j;
    }
    static constexpr int pair(int i, int j) { return i <= j ? i * N - i * (i - 1) / 2 + (j - i) : pair(j, i); }
    const T &second(int i, int j) const { return h[pair(i, j)]; }
};

template <class T, int N>
double value(const Jet2<T, N> &x) {
    return value(x.v);
}

template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator-(const Jet2<T, N> &a) {
    Jet2<T, N> r;
    r.v = -a.v;
    for (int i = 0; i < N; ++i) r.g[i] = -a.g[i];
    for (int p = 0; p < Jet2<T, N>::kPairs; ++p) r.h[p] = -a.h[p];
    return r;
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator+(const Jet2<T, N> &a, const Jet2<T, N> &b) {
    Jet2<T, N> r;
    r.v = a.v + b.v;
    for (int i = 0; i < N; ++i) r.g[i] = a.g[i] + b.g[i];
    for (int p = 0; p < Jet2<T, N>::kPairs; ++p) r.h[p] = a.h[p] + b.h[p];
    return r;
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator-(const Jet2<T, N> &a, const Jet2<T, N> &b) {
    Jet2<T, N> r;
    r.v = a.v - b.v;
    for (int i = 0; i < N; ++i) r.g[i] = a.g[i] - b.g[i];
    for (int p = 0; p < Jet2<T, N>::kPairs; ++p) r.h[p] = a.h[p] - b.h[p];
    return r;
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator*(const Jet2<T, N> &a, const Jet2<T, N> &b) {
    Jet2<T, N> r;
    r.v = a.v * b.v;
    for (int i = 0; i < N; ++i) r.g[i] = a.g[i] * b.v + a.v * b.g[i];
    int p = 0;
    for (int i = 0; i < N; ++i)
        for (int j = i; j < N; ++j, ++p) r.h[p] = a.h[p] * b.v + a.v * b.h[p] + a.g[i] * b.g[j] + a.g[j] * b.g[i];
    return r;
}
// f(a) from f, f' and f'' at a.v.
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> chain(const Jet2<T, N> &a, const T &f, const T &df, const T &d2f) {
    Jet2<T, N> r;
    r.v = f;
    for (int i = 0; i < N; ++i) r.g[i] = df * a.g[i];
    int p = 0;
    for (int i = 0; i < N; ++i)
        for (int j = i; j < N; ++j, ++p) r.h[p] = df * a.h[p] + d2f * a.g[i] * a.g[j];
    return r;
}
// The quotient's value is a.v / b.v itself: q b = a order by order.
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator/(const Jet2<T, N> &a, const Jet2<T, N> &b) {
    Jet2<T, N> q;
    q.v = a.v / b.v;
    for (int i = 0; i < N; ++i) q.g[i] = (a.g[i] - q.v * b.g[i]) / b.v;
    int p = 0;
    for (int i = 0; i < N; ++i)
        for (int j = i; j < N; ++j, ++p)
            q.h[p] = (a.h[p] - q.v * b.h[p] - q.g[i] * b.g[j] - q.g[j] * b.g[i]) / b.v;
    return q;
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator+(const Jet2<T, N> &a, double b) {
    Jet2<T, N> r = a;
    r.v = r.v + b;
    return r;
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator+(double a, const Jet2<T, N> &b) {
    return b + a;
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator-(const Jet2<T, N> &a, double b) {
    Jet2<T, N> r = a;
    r.v = r.v - b;
    return r;
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator-(double a, const Jet2<T, N> &b) {
    Jet2<T, N> r = -b;
    r.v = r.v + a;
    return r;
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator*(const Jet2<T, N> &a, double b) {
    Jet2<T, N> r;
    r.v = a.v * b;
    for (int i = 0; i < N; ++i) r.g[i] = a.g[i] * b;
    for (int p = 0; p < Jet2<T, N>::kPairs; ++p) r.h[p] = a.h[p] * b;
    return r;
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator*(double a, const Jet2<T, N> &b) {
    return b * a;
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator/(const Jet2<T, N> &a, double b) {
    return a * (1.0 / b);
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> operator/(double a, const Jet2<T, N> &b) {
    return Jet2<T, N>(a) / b;
}
template <class T, int N, class R>
Jet2<T, N> &operator+=(Jet2<T, N> &a, const R &b) {
    return a = a + b;
}
template <class T, int N, class R>
Jet2<T, N> &operator-=(Jet2<T, N> &a, const R &b) {
    return a = a - b;
}
template <class T, int N, class R>
Jet2<T, N> &operator*=(Jet2<T, N> &a, const R &b) {
    return a = a * b;
}
template <class T, int N, class R>
Jet2<T, N> &operator/=(Jet2<T, N> &a, const R &b) {
    return a = a / b;
}

// ------------------------------------------------ compound assignments

#define KELD_AD_ASSIGNMENTS(Type)                                \
    template <class... P, class R>                               \
    Type<P...> &operator+=(Type<P...> &a, const R &b) {          \
        return a = a + b;                                        \
    }                                                            \
    template <class... P, class R>                               \
    Type<P...> &operator-=(Type<P...> &a, const R &b) {          \
        return a = a - b;                                        \
    }                                                            \
    template <class... P, class R>                               \
    Type<P...> &operator*=(Type<P...> &a, const R &b) {          \
        return a = a * b;                                        \
    }                                                            \
    template <class... P, class R>                               \
    Type<P...> &operator/=(Type<P...> &a, const R &b) {          \
        return a = a / b;                                        \
    }
KELD_AD_ASSIGNMENTS(Dual)
KELD_AD_ASSIGNMENTS(HyperDual)
#undef KELD_AD_ASSIGNMENTS
template <class T, int K, class R>
Taylor<T, K> &operator+=(Taylor<T, K> &a, const R &b) {
    return a = a + b;
}
template <class T, int K, class R>
Taylor<T, K> &operator-=(Taylor<T, K> &a, const R &b) {
    return a = a - b;
}
template <class T, int K, class R>
Taylor<T, K> &operator*=(Taylor<T, K> &a, const R &b) {
    return a = a * b;
}
template <class T, int K, class R>
Taylor<T, K> &operator/=(Taylor<T, K> &a, const R &b) {
    return a = a / b;
}

// --------------------------------------------------- elementary functions
// For Dual and HyperDual from the function's value and derivatives at the
// base value; for Taylor by the usual recurrences on the coefficients.

namespace detail {
// log1p and expm1 of a base value: the library's for double, and for a
// complex base (complex-step tests) from log and exp, whose imaginary parts
// carry the derivative exactly.
inline double log1p_of(double x) { return std::log1p(x); }
inline std::complex<double> log1p_of(const std::complex<double> &z) { return std::log(1.0 + z); }
template <class T>
T log1p_of(const T &x) {
    return log1p(x);
}
inline double expm1_of(double x) { return std::expm1(x); }
inline std::complex<double> expm1_of(const std::complex<double> &z) { return std::exp(z) - 1.0; }
template <class T>
T expm1_of(const T &x) {
    return expm1(x);
}
}  // namespace detail

template <class T>
KELD_AD_INLINE Dual<T> exp(const Dual<T> &a) {
    using std::exp;
    const T e = exp(a.v);
    return chain(a, e, e);
}
template <class T>
KELD_AD_INLINE Dual<T> log(const Dual<T> &a) {
    using std::log;
    return chain(a, log(a.v), T(1.0) / a.v);
}
template <class T>
KELD_AD_INLINE Dual<T> log1p(const Dual<T> &a) {
    return chain(a, detail::log1p_of(a.v), T(1.0) / (T(1.0) + a.v));
}
template <class T>
KELD_AD_INLINE Dual<T> expm1(const Dual<T> &a) {
    using std::exp;
    return chain(a, detail::expm1_of(a.v), exp(a.v));
}
template <class T>
KELD_AD_INLINE Dual<T> sqrt(const Dual<T> &a) {
    using std::sqrt;
    const T s = sqrt(a.v);
    return chain(a, s, T(0.5) / s);
}
template <class T>
KELD_AD_INLINE Dual<T> pow(const Dual<T> &a, double p) {
    using std::pow;
    const T f = pow(a.v, p);
    return chain(a, f, p * f / a.v);
}
template <class T>
Dual<T> cbrt(const Dual<T> &a) {
    return pow(a, 1.0 / 3.0);
}

template <class T>
KELD_AD_INLINE HyperDual<T> exp(const HyperDual<T> &a) {
    using std::exp;
    const T e = exp(a.v);
    return chain(a, e, e, e);
}
template <class T>
KELD_AD_INLINE HyperDual<T> log(const HyperDual<T> &a) {
    using std::log;
    const T inv = T(1.0) / a.v;
    return chain(a, log(a.v), inv, -inv * inv);
}
template <class T>
KELD_AD_INLINE HyperDual<T> log1p(const HyperDual<T> &a) {
    const T inv = T(1.0) / (T(1.0) + a.v);
    return chain(a, detail::log1p_of(a.v), inv, -inv * inv);
}
template <class T>
KELD_AD_INLINE HyperDual<T> expm1(const HyperDual<T> &a) {
    using std::exp;
    const T e = exp(a.v);
    return chain(a, detail::expm1_of(a.v), e, e);
}
template <class T>
KELD_AD_INLINE HyperDual<T> sqrt(const HyperDual<T> &a) {
    using std::sqrt;
    const T s = sqrt(a.v);
    return chain(a, s, T(0.5) / s, T(-0.25) / (s * a.v));
}
template <class T>
KELD_AD_INLINE HyperDual<T> pow(const HyperDual<T> &a, double p) {
    using std::pow;
    const T f = pow(a.v, p);
    const T df = p * f / a.v;
    return chain(a, f, df, (p - 1.0) * df / a.v);
}
template <class T>
HyperDual<T> cbrt(const HyperDual<T> &a) {
    return pow(a, 1.0 / 3.0);
}

template <class T, int K>
KELD_AD_INLINE Taylor<T, K> exp(const Taylor<T, K> &a) {
    using std::exp;
    // e' = a' e: k e_k = sum_{j=1..k} j a_j e_{k-j}.
    Taylor<T, K> e;
    e.c[0] = exp(a.c[0]);
    for (int k = 1; k <= K; ++k) {
        T s = a.c[1] * e.c[k - 1];
        for (int j = 2; j <= k; ++j) s = s + double(j) * a.c[j] * e.c[k - j];
        e.c[k] = s / double(k);
    }
    return e;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> log(const Taylor<T, K> &a) {
    using std::log;
    // a l' = a': k a_0 l_k = k a_k - sum_{j=1..k-1} j l_j a_{k-j}.
    Taylor<T, K> l;
    l.c[0] = log(a.c[0]);
    for (int k = 1; k <= K; ++k) {
        T s = double(k) * a.c[k];
        for (int j = 1; j < k; ++j) s = s - double(j) * l.c[j] * a.c[k - j];
        l.c[k] = s / (double(k) * a.c[0]);
    }
    return l;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> log1p(const Taylor<T, K> &a) {
    Taylor<T, K> l = log(1.0 + a);
    l.c[0] = detail::log1p_of(a.c[0]);
    return l;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> expm1(const Taylor<T, K> &a) {
    Taylor<T, K> e = exp(a);
    e.c[0] = detail::expm1_of(a.c[0]);
    return e;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> pow(const Taylor<T, K> &a, double p) {
    using std::pow;
    // a f' = p a' f: k a_0 f_k = sum_{j=1..k} (p j - (k - j)) a_j f_{k-j}.
    Taylor<T, K> f;
    f.c[0] = pow(a.c[0], p);
    for (int k = 1; k <= K; ++k) {
        T s = T(0.0);
        for (int j = 1; j <= k; ++j) s = s + (p * double(j) - double(k - j)) * a.c[j] * f.c[k - j];
        f.c[k] = s / (double(k) * a.c[0]);
    }
    return f;
}
template <class T, int K>
KELD_AD_INLINE Taylor<T, K> sqrt(const Taylor<T, K> &a) {
    return pow(a, 0.5);
}
template <class T, int K>
Taylor<T, K> cbrt(const Taylor<T, K> &a) {
    return pow(a, 1.0 / 3.0);
}

template <class T, int N>
KELD_AD_INLINE Jet2<T, N> exp(const Jet2<T, N> &a) {
    using std::exp;
    const T e = exp(a.v);
    return chain(a, e, e, e);
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> log(const Jet2<T, N> &a) {
    using std::log;
    const T inv = T(1.0) / a.v;
    return chain(a, log(a.v), inv, -inv * inv);
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> log1p(const Jet2<T, N> &a) {
    const T inv = T(1.0) / (T(1.0) + a.v);
    return chain(a, detail::log1p_of(a.v), inv, -inv * inv);
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> expm1(const Jet2<T, N> &a) {
    using std::exp;
    const T e = exp(a.v);
    return chain(a, detail::expm1_of(a.v), e, e);
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> sqrt(const Jet2<T, N> &a) {
    using std::sqrt;
    const T s = sqrt(a.v);
    return chain(a, s, T(0.5) / s, T(-0.25) / (s * a.v));
}
template <class T, int N>
KELD_AD_INLINE Jet2<T, N> pow(const Jet2<T, N> &a, double p) {
    using std::pow;
    const T f = pow(a.v, p);
    const T df = p * f / a.v;
    return chain(a, f, df, (p - 1.0) * df / a.v);
}
template <class T, int N>
Jet2<T, N> cbrt(const Jet2<T, N> &a) {
    return pow(a, 1.0 / 3.0);
}

// Integer powers by repeated products (exact for every type).
template <class S>
S powi(const S &a, int n) {
    S r = a;
    for (int k = 1; k < n; ++k) r = r * a;
    return n == 0 ? S(1.0) : r;
}

// The highest total order of the derivative parts a number of type S carries: what a truncated
// approximation (an iteration stopped after a fixed number of steps) must be exact to. A complex base
// counts as one order: its imaginary part is the complex step's first-order direction.
template <class S>
struct DerivativeOrder {
    static constexpr int value = 0;
};
template <>
struct DerivativeOrder<std::complex<double>> {
    static constexpr int value = 1;
};
template <class T>
struct DerivativeOrder<Dual<T>> {
    static constexpr int value = 1 + DerivativeOrder<T>::value;
};
template <class T>
struct DerivativeOrder<HyperDual<T>> {
    static constexpr int value = 2 + DerivativeOrder<T>::value;
};
template <class T, int K>
struct DerivativeOrder<Taylor<T, K>> {
    static constexpr int value = K + DerivativeOrder<T>::value;
};
template <class T, int N>
struct DerivativeOrder<Jet2<T, N>> {
    static constexpr int value = 2 + DerivativeOrder<T>::value;
};
template <class S>
inline constexpr int derivative_order = DerivativeOrder<S>::value;

#undef KELD_AD_INLINE

}  // namespace keld::ad
