// PC-SAFT's aggregates: what the family's exact (T, rho) derivatives and density lines
// (pcsaft_derivatives.cpp) and its amount derivatives over the aggregates (pcsaft_amounts.cpp) share.
// Private to the family.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "contributions/pcsaft_dispersion_curvature.h"
#include "model/families/pcsaft_family.h"

namespace keld::model {

namespace terms = pcsaft::terms;
using T2 = ad::Taylor<double, 2>;  // along T: c[0], c[1] = d/dT, c[2] = (d2/dT2) / 2

inline double second(const T2 &a) { return 2.0 * a.c[2]; }

// A value going as T0/T or (T0/T)^2 as a Taylor number at T (inv_t = 1/T): q (T0/T) has c1 = -q/T,
// c2 = q/T^2; q (T0/T)^2 has c1 = -2 q/T, c2 = 3 q/T^2.
inline T2 as_inverse_t(double q, double inv_t) {
    T2 r;
    r.c[0] = q;
    r.c[1] = -q * inv_t;
    r.c[2] = q * (inv_t * inv_t);
    return r;
}

inline T2 as_inverse_t_squared(double q, double inv_t) {
    T2 r;
    r.c[0] = q;
    r.c[1] = -2.0 * q * inv_t;
    r.c[2] = 3.0 * q * (inv_t * inv_t);
    return r;
}

// A segment diameter d(T) = sigma (1 - 0.12 exp(-3 eps/T)) as a Taylor number at t, the chain rule
// through the exponent written out; its value is segment_diameter's at t, bit for bit.
inline T2 diameter_along_t(double sigma, double eps, double t) {
    namespace c = pcsaft::constants;
    const double e = terms::segment_diameter_factor(eps, t);
    const double u1 = c::kDiameterExponent * eps / (t * t);  // d(-3 eps/T)/dT
    const double u2 = -2.0 * u1 / t;
    const double scale = -sigma * c::kDiameterReduction * c::kAngstromToMetre * c::kAvogadroPerKmolCubeRoot;
    T2 d;
    d.c[0] = terms::segment_diameter(sigma, e);
    d.c[1] = scale * u1 * e;
    d.c[2] = 0.5 * scale * (u2 + u1 * u1) * e;
    return d;
}

// n numbers for one evaluation: on the stack up to kInline (only the n used are initialised, to
// zero: a buffer sized for sixteen components would otherwise be cleared whole on every call), on the
// heap beyond.
template <class S, std::size_t kInline>
class Buffer {
    static_assert(std::is_trivially_destructible_v<S>);

  public:
    explicit Buffer(std::size_t n) {
        if (n > kInline) {
            heap_.resize(n);
            data_ = heap_.data();
        } else {
            data_ = std::uninitialized_value_construct_n(reinterpret_cast<S *>(storage_), n) - n;
        }
    }
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;
    S *data() { return data_; }
    const S *data() const { return data_; }
    S &operator[](std::size_t k) { return data_[k]; }
    const S &operator[](std::size_t k) const { return data_[k]; }

  private:
    alignas(S) unsigned char storage_[kInline * sizeof(S)];
    std::vector<S> heap_;
    S *data_ = nullptr;
};

// What along an isotherm does not depend on rho.
struct LinePieces {
    explicit LinePieces(std::size_t size) : n(size), x(size), d(size) {}
    std::size_t n;
    Buffer<double, 12> x, d;  // mole fractions, segment diameters
    helmholtz::Moments<double> mom;
    helmholtz::HardSphereShape<double> shape;  // of mom, for the density derivatives
    terms::DispersionSumsOf<double> q;
    terms::IntegralCoefficients i1, i2;  // of the perturbation integrals, at m-bar
};

class PcSaftAggregates {
  public:
    explicit PcSaftAggregates(const PcSaftFamily &family) : f_(family) {}

    AlpharDerivatives t_rho(double t, double rho, const double *x) const;
    DensitySlopes density_slopes(double t, double rho, const double *x) const;
    void prepare(double t, const double *x, LinePieces &line) const;
    DensitySlopes slopes(const LinePieces &line, double rho) const;
    DensityDerivatives density_derivatives(const LinePieces &line, double rho) const;
    double temperature_slope(double t, double rho, const double *x) const;
    // f = rho alpha_r's derivatives along T at the amounts' densities: f_T, f_TT and
    // sum_i x_i f_{T r_i} (d f_T / d rho at constant x).
    struct AlongT {
        double f_t = 0.0, f_tt = 0.0, f_t_rho = 0.0;
    };
    void amounts(double t, double v, std::span<const double> n, AmountDerivativeSpans &out,
                 AlongT *along_t = nullptr) const;
    // What the amount stage needs of T alone: the diameters' powers along T and the sums' pair weights,
    // held inline up to kInline components (a call's stage sits on its stack; an isotherm keeps a
    // small one, so that the object it lives in stays a cheap allocation).
    struct StageView {
        double t;
        const T2 *d1, *d2, *d3;
        const double *p1, *p2;
    };
    template <std::size_t kInline>
    struct TemperatureStage {
        explicit TemperatureStage(std::size_t n) : d1(n), d2(n), d3(n), p1(n * n), p2(n * n) {}
        double t = 0.0;
        Buffer<T2, kInline> d1, d2, d3;
        Buffer<double, kInline * kInline> p1, p2;
        StageView view() const { return {t, d1.data(), d2.data(), d3.data(), p1.data(), p2.data()}; }
    };
    template <std::size_t kInline>
    void temperature_stage(double t, TemperatureStage<kInline> &stage) const;
    void amounts(const StageView &stage, double v, std::span<const double> n, AmountDerivativeSpans &out,
                 AlongT *along_t) const;
    // prepare() from a temperature stage: the same diameters and moments, the dispersion sums from
    // the stage's pair weights (equal but for rounding).
    void prepare(const StageView &stage, const double *x, LinePieces &line) const;
    // a, a_rho and a_rhorho of the three contributions at T of type S (double, or a Taylor number
    // in T: its values are the double evaluation's, operation by operation).
    template <class S>
    helmholtz::Term<S> analytic(const S &t, double rho, const double *x) const;

  private:
    const PcSaftFamily &f_;

    std::size_t size() const { return f_.size(); }

    // The same three contributions apart, with the moments and dispersion sums they came from.
    template <class S>
    struct Parts {
        helmholtz::Moments<S> mom;
        helmholtz::Term<S> hs, chain;
        terms::DispersionSumsOf<S> sums;
        terms::ContributionOf<S> disp;
    };
    template <class S>
    Parts<S> parts(const S &t, double rho, const double *x) const;
    // The segment diameters at T into d and the moments of x over them.
    template <class S>
    void diameters(const S &t, const double *x, S *d, helmholtz::Moments<S> &mom) const;
    // t_rho() of a pure fluid without a Taylor pass in T (see its definition).
    AlpharDerivatives pure_t_rho(double t, double rho) const;
    // The dispersion sums over x (mole fractions or amount densities) at T of type S, with their
    // rows (dQ/dx_k / m_k) when r1, r2 are given.
    template <bool kRows, class S>
    terms::DispersionSumsOf<S> sums(const S &t, const double *x, S *r1, S *r2) const;
    // The sums as Taylor numbers in T at t. With constant cross energies Q1 goes as 1/T and Q2 as
    // 1/T^2, so one pass in doubles gives the values (those of the pass in Taylor numbers) and the
    // T-derivatives follow exactly from them.
    terms::DispersionSumsOf<T2> sums_along_t(double t, const double *x) const;
    // The pair weights d2Q/dr_k dr_l (N x N) at T, for each of Q1 and Q2.
    void pair_weights(double t, double *p1, double *p2) const;
};

template <bool kRows, class S>
terms::DispersionSumsOf<S> PcSaftAggregates::sums(const S &t, const double *x, S *r1, S *r2) const {
    const std::int64_t n = static_cast<std::int64_t>(size());
    if (!f_.cross_varies_)
        return terms::dispersion_sums<kRows>(t, n, n, f_.idx_.data(), x, f_.sigma_.data(), f_.eps_matrix_.data(),
                                             f_.m_.data(), r1, r2);
    Buffer<S, 256> eps(static_cast<std::size_t>(n * n));
    for (std::int64_t j = 0; j < n; ++j)
        for (std::int64_t i = 0; i < n; ++i)
            eps[j * n + i] = i == j ? S(f_.eps_[i]) : f_.cross_energy(std::size_t(i), std::size_t(j), t);
    return terms::dispersion_sums<kRows>(t, n, n, f_.idx_.data(), x, f_.sigma_.data(), eps.data(), f_.m_.data(), r1,
                                         r2);
}

// A pure fluid's amount derivatives from its (T, rho) ones (Psi = n alpha_r(T, n/V)).
inline void pure_amounts(const AlpharDerivatives &d, double amount, double v, AmountDerivativeSpans &r) {
    const double rho = amount / v;
    r.psi = amount * d.a;
    if (!r.gradient.empty()) r.gradient[0] = d.a + rho * d.a_rho;
    if (!r.hessian.empty()) r.hessian[0] = (2.0 * rho * d.a_rho + rho * rho * d.a_rhorho) / amount;
    if (!r.d_v.empty()) r.d_v[0] = -(2.0 * d.a_rho + rho * d.a_rhorho) * rho / v;
    if (!r.d_t.empty()) r.d_t[0] = d.a_t + rho * d.a_trho;
}

inline void check_amounts(std::size_t size, std::size_t n) {
    if (n != size) throw std::invalid_argument("one amount or mole fraction per component is needed");
}

// The family's density line at t along x; from the isotherm's temperature stage where one is given
// (its diameters bit for bit, the dispersion sums equal but for rounding).
std::unique_ptr<DensityLine> pcsaft_line(const PcSaftFamily &f, const PcSaftAggregates::StageView *stage, double t,
                                         const double *x);

}  // namespace keld::model
