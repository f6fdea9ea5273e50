// The pieces of the Sanchez-Lacombe lattice fluid, written once for the monitors and the model layer:
// the characteristic values of a component, the cross rules, the segment-weighted mixture averages,
// the reduced state and the residual Helmholtz energy
//     ã = A_res/(nRT) = r̄ [(1 - ln(1 - ρ̃)) - ρ̃/T̃ + ln(1 - ρ̃)/ρ̃],
// with ρ̃ = r̄ ρ v* and T̃ = R T/ε*.
//
// Templates over the scalar type where T, ρ or x enter: the monitors evaluate them with doubles, the
// model layer with its automatic-differentiation numbers.
#pragma once

#include <cmath>
#include <cstdint>

namespace keld::sanchez_lacombe::terms {

// ---------------------------------------------------------------- a component

// Segments per molecule r = MW P*/(ρ* R T*) (MW kg/kmol, P* Pa, ρ* kg/m3, T* K, R J/(kmol K)).
inline double segment_number(double mw, double t_star, double p_star, double rho_star, double r) {
    return mw * p_star / (rho_star * r * t_star);
}

// Close-packed volume of a segment v* = R T*/P* (m3/kmol) and its interaction energy ε* = R T* (J/kmol).
inline double segment_volume(double t_star, double p_star, double r) {
    return r * t_star / p_star;
}
inline double segment_energy(double t_star, double r) {
    return r * t_star;
}

// ---------------------------------------------------------------- cross rules

// ε*_ij = (1 - k_ij) sqrt(ε*_i ε*_j) and v*_ij = (1 - η_ij) (v*_i + v*_j)/2.
inline double cross_energy(double k_ij, double eps_i, double eps_j) {
    return (1.0 - k_ij) * std::sqrt(eps_i * eps_j);
}
inline double cross_volume(double eta_ij, double v_i, double v_j) {
    return 0.5 * (1.0 - eta_ij) * (v_i + v_j);
}

// ---------------------------------------------------------------- mixture averages

// Segment-weighted averages: r̄ = Σ x r, ε* = Σ Σ φ φ v*_ij ε*_ij / Σ Σ φ φ v*_ij and
// v* = Σ Σ φ φ v*_ij with the segment fractions φ_i = x_i r_i / r̄.
template <class S>
struct AveragesOf {
    S r_bar{};
    S eps_star{};  // J/kmol
    S v_star{};    // m3/kmol
};

// Component number minus one of the listed component at position k: k itself when the list is
// 1, 2, ..., n, which lets the loops run straight through the arrays.
template <bool Sequential>
std::int64_t slot(const std::int64_t *idx, std::int64_t k) {
    if constexpr (Sequential) {
        return k;
    } else {
        return idx[k] - 1;
    }
}

// The double sums term by term in list order, k outer and l inner, one accumulator each: every
// density of the root depends on these bits, so no other order is taken. x by position; r by
// component; the cross matrices NC x NC column-major ((i, j) at [(j - 1) nc + i - 1]).
template <bool Sequential, class S>
AveragesOf<S> averages_in_list_order(std::int64_t n, std::int64_t nc, const std::int64_t *idx, const S *x,
                                     const double *r, const double *eps_star, const double *v_star) {
    S r_bar = S(0.0);
    S sum_volume = S(0.0);  // sum_ij x_i r_i x_j r_j v*_ij
    S sum_energy = S(0.0);  // sum_ij x_i r_i x_j r_j v*_ij eps*_ij
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = slot<Sequential>(idx, k);
        const S w_k = x[k] * r[i];
        r_bar += w_k;
        const double *v_row = v_star + i;  // (i, j) at v_row[j nc]
        const double *e_row = eps_star + i;
        for (std::int64_t l = 0; l < n; ++l) {
            const std::int64_t j = slot<Sequential>(idx, l);
            const S ww_v = w_k * (x[l] * r[j]) * v_row[j * nc];
            sum_volume += ww_v;
            sum_energy += ww_v * e_row[j * nc];
        }
    }
    return AveragesOf<S>{r_bar, sum_energy / sum_volume, sum_volume / (r_bar * r_bar)};
}

// ---------------------------------------------------------------- reduced state and ã

template <class S>
struct ReducedOf {
    S t_red;     // R T / eps*
    S rho_red;   // r_bar rho v*
    S log_free;  // ln(1 - rho_red), the free-site term
};

template <class S>
ReducedOf<S> reduced_state(double gas_constant, const AveragesOf<S> &avg, const S &t, const S &rho) {
    using std::log1p;
    ReducedOf<S> red;
    red.t_red = gas_constant * t / avg.eps_star;
    red.rho_red = avg.r_bar * rho * avg.v_star;
    // log1p keeps ln(1 - rho~) exact to rounding at vapour-like densities; the
    // plain form loses all digits of 1 + L/rho~ there (Z - 1 off by ~r eps/rho~).
    red.log_free = log1p(-red.rho_red);
    return red;
}

// ln(1 - ρ̃)/ρ̃ on an occupied lattice (ρ̃ > 0).
template <class S>
S log_free_per_occupied_site(const ReducedOf<S> &red) {
    return red.log_free / red.rho_red;
}

// The same on a dilute lattice, ρ̃ < kDiluteLattice, by its series -Σ_k ρ̃^k/(k + 1) (k = 0..24, the
// rest below the rounding of a double), the empty lattice included. The quotient forms the k-th
// derivative with a cancellation of order ρ̃^-k (all digits of the third lost near ρ̃ = 1e-5, and
// 0/0 at ρ̃ = 0); the series carries every derivative exactly. For the model layer's derivatives;
// the monitors' values take the quotient.
inline constexpr double kDiluteLattice = 0.1;

template <class S>
S log_free_per_occupied_site_on_dilute_lattice(const S &rho_red) {
    constexpr int kLastPower = 24;
    S sum = S(1.0 / (kLastPower + 1));
    for (int k = kLastPower - 1; k >= 0; --k) sum = 1.0 / (k + 1) + rho_red * sum;
    return -sum;
}

// ã from the reduced state and ln(1 - ρ̃)/ρ̃.
template <class S>
S helmholtz_energy(const S &r_bar, const ReducedOf<S> &red, const S &log_free_per_site) {
    return r_bar * ((1.0 - red.log_free) - red.rho_red / red.t_red + log_free_per_site);
}

}  // namespace keld::sanchez_lacombe::terms
