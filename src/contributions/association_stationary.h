// The association term in Michelsen's stationary form, for differentiating it with any number type.
//
// With site fractions X_A of the sites A of every species, weights w_A = x_i N_A (mole fraction of the
// molecule times the units of the species per molecule) and bonding strengths M_AB (Delta between the
// two species when the kinds of A and B bond, 0 otherwise),
//   Q(X) = sum_A w_A (ln X_A - X_A + 1) - (rho/2) sum_A sum_B w_A w_B M_AB X_A X_B
// is stationary in X exactly at the solution of the mass-action equations
//   g_A(X) = 1/X_A - 1 - rho sum_B w_B M_AB X_B = 0      (dQ/dX_A = w_A g_A),
// where it equals A_assoc/(N R T) = sum_A w_A (ln X_A - X_A/2 + 1/2) (Michelsen and Hendriks 2001).
//
// The site fractions come from the association routine in double precision at the state's values.
// Derivatives then follow without differentiating the solver: Newton steps from that solution, taken
// in the caller's number type with the Jacobian at the solution's values. The first gives X whose
// derivative parts are exact to first order (the implicit-function theorem); each further step, its
// Jacobian off by first-order terms only, gains one order. Q being stationary, its error is of the
// order of the square of X's: after s steps Q is exact to order 2s + 1 in every direction the number
// carries. The number of steps follows from the highest order the number type holds
// (ad::derivative_order): one up to third derivatives, two up to fifth (the critical-point table's
// d4/drho4 and d4/dT drho3), and so on.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "model/autodiff.h"

namespace keld::model {

// One site: its association-list position (the strength rows of its species), its kind (negative -1,
// positive +1, bipolar 2: two sites bond when their kinds' product is negative or at least 2), and its
// species (the index of its weight).
struct AssociationSite {
    std::int32_t list = -1;
    std::int32_t kind = 0;
    std::int32_t species = 0;
};

inline bool sites_bond(std::int32_t a, std::int32_t b) {
    const std::int32_t p = a * b;
    return p < 0 || p >= 2;
}

namespace detail {

// LU factors with partial pivoting of the dense n x n row-major matrix a, in place; false when singular.
inline bool lu_factor(std::vector<double> &a, std::vector<std::size_t> &pivot, std::size_t n) {
    pivot.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t p = k;
        for (std::size_t i = k + 1; i < n; ++i)
            if (std::fabs(a[i * n + k]) > std::fabs(a[p * n + k])) p = i;
        if (!(a[p * n + k] != 0.0) || !std::isfinite(a[p * n + k])) return false;
        pivot[k] = p;
        if (p != k)
            for (std::size_t j = 0; j < n; ++j) std::swap(a[k * n + j], a[p * n + j]);
        for (std::size_t i = k + 1; i < n; ++i) {
            const double f = a[i * n + k] / a[k * n + k];
            a[i * n + k] = f;
            for (std::size_t j = k + 1; j < n; ++j) a[i * n + j] -= f * a[k * n + j];
        }
    }
    return true;
}

// Solves with the factors for a right-hand side of any number type, in place.
template <class S>
void lu_solve(const std::vector<double> &a, const std::vector<std::size_t> &pivot, std::size_t n, std::vector<S> &b) {
    for (std::size_t k = 0; k < n; ++k)
        if (pivot[k] != k) std::swap(b[k], b[pivot[k]]);
    for (std::size_t i = 1; i < n; ++i)
        for (std::size_t j = 0; j < i; ++j) b[i] -= a[i * n + j] * b[j];
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = i + 1; j < n; ++j) b[i] -= a[i * n + j] * b[j];
        b[i] /= a[i * n + i];
    }
}

}  // namespace detail

// A_assoc/(N R T) at the site fractions x_star (by site, the association routine's solution at the
// values of the arguments): weights w by species, strengths delta over the association list (nv x nv,
// column-major, symmetric), density rho (kmol/m3). NaN when the Jacobian at x_star is singular.
template <class S>
S stationary_association(std::span<const AssociationSite> sites, const S *w, const S *delta, std::int64_t nv,
                         const S &rho, const double *x_star) {
    using std::log;
    const std::size_t n = sites.size();
    if (n == 0) return S(0.0);
    // The bonding strength of two sites, or none.
    const auto strength = [&](const AssociationSite &a, const AssociationSite &b) -> const S * {
        if (a.list < 0 || b.list < 0 || !sites_bond(a.kind, b.kind)) return nullptr;
        return &delta[static_cast<std::int64_t>(b.list) * nv + a.list];
    };

    // The Jacobian of the mass-action residuals at the values, dg_A/dX_B = -delta_AB/X_A^2 - rho w_B M_AB.
    const double rho0 = ad::value(rho);
    std::vector<double> jacobian(n * n, 0.0);
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = 0; b < n; ++b) {
            const S *m = strength(sites[a], sites[b]);
            if (m != nullptr) jacobian[a * n + b] = -rho0 * ad::value(w[sites[b].species]) * ad::value(*m);
        }
        jacobian[a * n + a] -= 1.0 / (x_star[a] * x_star[a]);
    }
    std::vector<std::size_t> pivot;
    if (!detail::lu_factor(jacobian, pivot, n)) return S(std::nan(""));

    // Newton steps in S from x_star: the residuals' derivative parts drive them.
    constexpr int steps = ad::derivative_order<S> <= 3 ? 1 : ad::derivative_order<S> / 2;
    std::vector<S> x(x_star, x_star + n), step(n);
    for (int k = 0; k < steps; ++k) {
        for (std::size_t a = 0; a < n; ++a) {
            S sum = S(0.0);
            for (std::size_t b = 0; b < n; ++b) {
                const S *m = strength(sites[a], sites[b]);
                if (m != nullptr) sum += w[sites[b].species] * *m * x[b];
            }
            step[a] = 1.0 / x[a] - 1.0 - rho * sum;
        }
        detail::lu_solve(jacobian, pivot, n, step);
        for (std::size_t a = 0; a < n; ++a) x[a] -= step[a];
    }
    S ideal = S(0.0), bonded = S(0.0);
    for (std::size_t a = 0; a < n; ++a) {
        const S &wa = w[sites[a].species];
        ideal += wa * (log(x[a]) - x[a] + 1.0);
        S sum = S(0.0);
        for (std::size_t b = 0; b < n; ++b) {
            const S *m = strength(sites[a], sites[b]);
            if (m != nullptr) sum += w[sites[b].species] * *m * x[b];
        }
        bonded += wa * x[a] * sum;
    }
    return ideal - 0.5 * rho * bonded;
}

}  // namespace keld::model
