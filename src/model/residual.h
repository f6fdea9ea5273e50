// The residual Helmholtz energy of one model family, behind one call shape.
//
// A family writes its reduced residual Helmholtz energy
//     alpha_r(T, rho, x) = A_res / (N R T)
// (T in K, rho in kmol/m3, x mole fractions of molecules) once, as a member
// template over the scalar type:
//     template <class S> S alphar(const S &t, const S &rho, const S *x) const;
// plus the density at which the model ends (close packing, the co-volume).
// ResidualOf<Family> instantiates that template for the number types the
// derivative engine uses (double, Dual, HyperDual, Taylor of order 3, the
// second-order jet in (T, rho), a dual in T over a fourth-order Taylor in rho
// for critical points), so
// that every derivative comes from the one formula, exactly.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>

#include "keld/model.hpp"
#include "model/autodiff.h"

namespace keld::model {

using D1 = ad::Dual<double>;
using D2 = ad::HyperDual<double>;
using D3 = ad::Taylor<double, 3>;
using J2 = ad::Jet2<double, 2>;  // (T, rho) to second order in one evaluation
using DT4 = ad::Dual<ad::Taylor<double, 4>>;  // rho to fourth order and each of these along T

// alpha_r with a_rho and a_rhorho at constant T and x: P and dP/drho for a density search, and
// what a coexistence iteration needs besides.
struct DensitySlopes {
    double a_rho = 0.0;
    double a_rhorho = 0.0;
    double a = 0.0;  // alpha_r itself, from the same evaluation
};

// a_rho and a_rhorho alone: all a density root needs (P and dP/drho).
struct DensityDerivatives {
    double a_rho = 0.0;
    double a_rhorho = 0.0;
};

// P(rho) along one isotherm at fixed composition: a density search evaluates ten or more densities
// per root, and a family may form what does not depend on rho (segment diameters, pair sums) once.
// at() gives what density_slopes() gives at the same (T, rho, x), bit for bit. It refers to the
// residual it came from, which must outlive it.
class DensityLine {
  public:
    virtual ~DensityLine() = default;
    virtual DensitySlopes at(double rho) const = 0;
    // at()'s a_rho and a_rhorho, bit for bit. A family may skip what only alpha_r's value needs
    // (PC-SAFT's logarithms, a third of a point's cost).
    virtual DensityDerivatives derivatives(double rho) const {
        const DensitySlopes s = at(rho);
        return {s.a_rho, s.a_rhorho};
    }
    // The residual's max_density() at the line's T and composition, bit for bit.
    virtual double max_density() const = 0;
};

// Amount derivatives along one isotherm, at V = 1 m3 (the amounts are the amount densities,
// kmol/m3): an equilibrium solved at a given T evaluates its phases many times there, and a family
// may form what depends on T alone once (segment diameters, pair weights). at() gives what
// amount_derivatives(t, 1, rho, out) gives, but for rounding. It refers to the residual it came
// from, which must outlive it.
class AmountIsotherm {
  public:
    virtual ~AmountIsotherm() = default;
    virtual void at(std::span<const double> rho, AmountDerivativeSpans &out) const = 0;
    // P(rho) at this T along the composition x, from what the isotherm formed once: what the
    // residual's own density_line() gives, but for rounding.
    virtual std::unique_ptr<DensityLine> line(const double *x) const = 0;
};

// The density root of one phase along `line` at T below rho_max (keld::density() on a line the
// caller made): none where the phase has no root there.
std::optional<double> density_on_line(const DensityLine &line, double t, double rho_max, double p, Phase phase);

class Residual {
  public:
    virtual ~Residual() = default;
    // Number of components (of the x handed to alphar).
    virtual std::size_t size() const = 0;

    virtual double alphar(double t, double rho, const double *x) const = 0;
    virtual D1 alphar(const D1 &t, const D1 &rho, const D1 *x) const = 0;
    virtual D2 alphar(const D2 &t, const D2 &rho, const D2 *x) const = 0;
    virtual D3 alphar(const D3 &t, const D3 &rho, const D3 *x) const = 0;
    virtual J2 alphar(const J2 &t, const J2 &rho, const J2 *x) const = 0;
    virtual DT4 alphar(const DT4 &t, const DT4 &rho, const DT4 *x) const = 0;

    // The largest molar density (kmol/m3) at which the model describes a
    // fluid at T and x: close packing for the SAFT family (packing fraction
    // 0.74048), the lattice filled for Sanchez-Lacombe, 1/b for a cubic. A
    // density root is sought below it.
    virtual double max_density(double t, const double *x) const = 0;

    // Exact derivatives (model/derivatives.h). By default automatic
    // differentiation through alphar, one pass per set of seeded directions; a
    // family with a cheaper exact route (the same contributions, their analytic
    // density derivatives and the mixture's aggregates) overrides them.
    // x: mole fractions; n: amounts (kmol) in V (m3).
    virtual AlpharDerivatives derivatives(double t, double rho, const double *x, bool third) const;
    // Into the caller's storage: the spans given are formed (keld::AmountDerivativeSpans), nothing is
    // allocated.
    virtual void amount_derivatives(double t, double v, std::span<const double> n, AmountDerivativeSpans &out) const;
    // The same into vectors sized by the request.
    AmountDerivatives amount_derivatives(double t, double v, std::span<const double> n, AmountRequest request) const;
    // By default a hyper-dual pass along rho. A family's own route gives the values its derivatives()
    // give, so that properties at a density root see the pressure the search matched.
    virtual DensitySlopes density_slopes(double t, double rho, const double *x) const;
    // By default density_slopes() at each density.
    virtual std::unique_ptr<DensityLine> density_line(double t, const double *x) const;
    // By default amount_derivatives() at T.
    virtual std::unique_ptr<AmountIsotherm> amount_isotherm(double t) const;
    // d alpha_r/dT at constant rho and x. By default a dual pass along T.
    virtual double temperature_slope(double t, double rho, const double *x) const;
    // alpha_r's (T, rho) derivatives to second order and every amount derivative at the state of
    // the amounts n at molar density rho (V = sum n / rho), in one call; a_rhorhorho is not formed
    // (NaN).
    virtual void second_derivatives(double t, double rho, std::span<const double> n, AlpharDerivatives &t_rho,
                                    AmountDerivativeSpans &amounts) const;
    SecondDerivatives second_derivatives(double t, double rho, std::span<const double> n) const;
};

// The adapter from a family's template to the virtual call shape.
template <class Family>
class ResidualOf final : public Residual {
  public:
    explicit ResidualOf(Family family) : family_(std::move(family)) {}

    std::size_t size() const override { return family_.size(); }
    double alphar(double t, double rho, const double *x) const override { return family_.alphar(t, rho, x); }
    D1 alphar(const D1 &t, const D1 &rho, const D1 *x) const override { return family_.alphar(t, rho, x); }
    D2 alphar(const D2 &t, const D2 &rho, const D2 *x) const override { return family_.alphar(t, rho, x); }
    D3 alphar(const D3 &t, const D3 &rho, const D3 *x) const override { return family_.alphar(t, rho, x); }
    J2 alphar(const J2 &t, const J2 &rho, const J2 *x) const override { return family_.alphar(t, rho, x); }
    DT4 alphar(const DT4 &t, const DT4 &rho, const DT4 *x) const override { return family_.alphar(t, rho, x); }
    double max_density(double t, const double *x) const override { return family_.max_density(t, x); }

    // The family's own exact route where it has one.
    AlpharDerivatives derivatives(double t, double rho, const double *x, bool third) const override {
        if constexpr (requires { family_.derivatives(t, rho, x, third); })
            return family_.derivatives(t, rho, x, third);
        else
            return Residual::derivatives(t, rho, x, third);
    }
    using Residual::amount_derivatives;
    using Residual::second_derivatives;
    void amount_derivatives(double t, double v, std::span<const double> n, AmountDerivativeSpans &out) const override {
        if constexpr (requires { family_.amount_derivatives(t, v, n, out); })
            family_.amount_derivatives(t, v, n, out);
        else
            Residual::amount_derivatives(t, v, n, out);
    }
    DensitySlopes density_slopes(double t, double rho, const double *x) const override {
        if constexpr (requires { family_.density_slopes(t, rho, x); })
            return family_.density_slopes(t, rho, x);
        else
            return Residual::density_slopes(t, rho, x);
    }
    std::unique_ptr<DensityLine> density_line(double t, const double *x) const override {
        if constexpr (requires { family_.density_line(t, x); })
            return family_.density_line(t, x);
        else
            return Residual::density_line(t, x);
    }
    std::unique_ptr<AmountIsotherm> amount_isotherm(double t) const override {
        if constexpr (requires { family_.amount_isotherm(t); })
            return family_.amount_isotherm(t);
        else
            return Residual::amount_isotherm(t);
    }
    double temperature_slope(double t, double rho, const double *x) const override {
        if constexpr (requires { family_.temperature_slope(t, rho, x); })
            return family_.temperature_slope(t, rho, x);
        else
            return Residual::temperature_slope(t, rho, x);
    }
    void second_derivatives(double t, double rho, std::span<const double> n, AlpharDerivatives &t_rho,
                            AmountDerivativeSpans &amounts) const override {
        if constexpr (requires { family_.second_derivatives(t, rho, n, t_rho, amounts); })
            family_.second_derivatives(t, rho, n, t_rho, amounts);
        else
            Residual::second_derivatives(t, rho, n, t_rho, amounts);
    }

    const Family &family() const { return family_; }

  private:
    Family family_;
};

template <class Family>
std::shared_ptr<const Residual> make_residual(Family family) {
    return std::make_shared<ResidualOf<Family>>(std::move(family));
}

}  // namespace keld::model
