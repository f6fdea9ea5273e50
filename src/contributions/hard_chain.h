// Hard-sphere and hard-chain contributions to the reduced residual Helmholtz
// energy, shared by the SAFT-type families (PC-SAFT and the SAFT of Huang and
// Radosz). Both describe a fluid as chains of tangent hard spheres through the
// segment moments S_n = Σ x_k m_k d_k^n and the diameters d_k; the families
// differ only in how d_k follows from their parameters and in the dispersion
// term composed on top of these two.
//
// Each term reports its value, its first and second density derivatives and,
// on request, its sensitivities at constant density to m̄ = S0, S1, S2 and S3,
// from which a family forms ∂ã/∂x_k and ∂ã/∂T by short contractions. The
// terms are templates over the scalar type: evaluated with keld::Dual they give
// exact temperature derivatives of every output as well.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

namespace keld::helmholtz {

// π/6 with π = 3.141592654, the value every SAFT-type formula uses.
inline constexpr double kPiOver6 = 0.5235987756666667;

// m̄ = S0 and S1..S3.
template <class S>
struct Moments {
    S m_bar{};
    S s1{};
    S s2{};
    S s3{};
};

// One contribution to ã: value, ∂/∂ρ, ∂²/∂ρ² at constant T and x, and the
// sensitivities at constant ρ to the moments (filled when asked for).
template <class S>
struct Term {
    S a{};
    S a_rho{};
    S a_rhorho{};
    S by_mbar{};
    S by_s1{};
    S by_s2{};
    S by_s3{};
};

// A_hs = X η u² + (X - m̄) ln(1-η) + Y η u with X = S2³/S3², Y = 3 S1 S2/S3,
// u = 1/(1-η): m̄ times the Boublík-Mansoori(-Carnahan-Starling-Leland)
// hard-sphere mixture term.
//
// value_only: the value alone (the model layer, whose automatic
// differentiation gives every derivative, asks for nothing else).
template <class S>
Term<S> hard_sphere(const Moments<S> &mom, const S &rho, bool with_sensitivities, bool value_only = false) {
    using std::log1p;
    const S eta_rho = kPiOver6 * mom.s3;
    const S eta = eta_rho * rho;
    const S u = 1.0 / (1.0 - eta);
    const S u2 = u * u;
    const S log_void = log1p(-eta);
    const S x = mom.s2 * mom.s2 * mom.s2 / (mom.s3 * mom.s3);
    const S y = 3.0 * mom.s1 * mom.s2 / mom.s3;
    const S x_minus_m = x - mom.m_bar;
    if (value_only) {
        Term<S> hs;
        hs.a = x * eta * u2 + x_minus_m * log_void + y * eta * u;
        return hs;
    }
    const S u3 = u2 * u;

    const S by_eta = x * (2.0 * u3 - u2) - x_minus_m * u + y * u2;
    const S by_eta_eta = x * (6.0 * u3 * u - 2.0 * u3) - x_minus_m * u2 + 2.0 * y * u3;

    Term<S> hs;
    hs.a = x * eta * u2 + x_minus_m * log_void + y * eta * u;
    hs.a_rho = eta_rho * by_eta;
    hs.a_rhorho = eta_rho * eta_rho * by_eta_eta;
    if (with_sensitivities) {
        const S by_x = eta * u2 + log_void;
        const S by_y = eta * u;
        hs.by_mbar = -log_void;
        hs.by_s1 = by_y * 3.0 * mom.s2 / mom.s3;
        hs.by_s2 = by_x * 3.0 * mom.s2 * mom.s2 / (mom.s3 * mom.s3) + by_y * 3.0 * mom.s1 / mom.s3;
        hs.by_s3 = -(2.0 * by_x * x + by_y * y) / mom.s3 + kPiOver6 * rho * by_eta;
    }
    return hs;
}

// The hard-sphere term at unit density as a function of its four moments (S0 = m̄, S1, S2, S3; at
// unit density these are the amount densities' moments), with its gradient and Hessian over them:
//     A = X A1(η) + Y B1(η) - S0 L(η),  η = π/6 S3,  A1 = η u² + L,  B1 = η u,  L = ln(1-η),
// X = S2³/S3² and Y = 3 S1 S2/S3 as in hard_sphere. X is free of S1 and Y linear in each of S1, S2,
// so most entries vanish; S3 enters X, Y and η.
struct HardSphereCurvature {
    double value = 0.0;
    double g[4] = {};
    double h[4][4] = {};
};

// log_void = ln(1 - η), which the chain's contact values share. Without `curvature` the Hessian is
// left at zero.
inline HardSphereCurvature hard_sphere_curvature(const Moments<double> &mom, double log_void, bool curvature = true) {
    const double s1 = mom.s1, s2 = mom.s2, s3 = mom.s3, c = kPiOver6;
    const double eta = c * s3, u = 1.0 / (1.0 - eta), u2 = u * u, u3 = u2 * u, l = log_void;
    const double a1 = eta * u2 + l, a1_e = u2 + 2.0 * eta * u3 - u, a1_ee = 4.0 * u3 + 6.0 * eta * u3 * u - u2;
    const double b1 = eta * u, b1_e = u2, b1_ee = 2.0 * u3;
    const double l_e = -u, l_ee = -u2;
    const double inv3 = 1.0 / s3;
    const double x = s2 * s2 * s2 * inv3 * inv3, x2 = 3.0 * s2 * s2 * inv3 * inv3, x22 = 6.0 * s2 * inv3 * inv3;
    const double x3 = -2.0 * x * inv3, x33 = 6.0 * x * inv3 * inv3, x23 = -2.0 * x2 * inv3;
    const double y = 3.0 * s1 * s2 * inv3, y1 = 3.0 * s2 * inv3, y2 = 3.0 * s1 * inv3, y3 = -y * inv3;
    const double y12 = 3.0 * inv3, y13 = -y1 * inv3, y23 = -y2 * inv3, y33 = 2.0 * y * inv3 * inv3;
    HardSphereCurvature r;
    r.value = x * a1 + y * b1 - mom.m_bar * l;
    r.g[0] = -l;
    r.g[1] = y1 * b1;
    r.g[2] = x2 * a1 + y2 * b1;
    r.g[3] = x3 * a1 + y3 * b1 + c * (x * a1_e + y * b1_e - mom.m_bar * l_e);
    if (!curvature) return r;
    r.h[0][3] = r.h[3][0] = -c * l_e;
    r.h[1][2] = r.h[2][1] = y12 * b1;
    r.h[1][3] = r.h[3][1] = y13 * b1 + c * y1 * b1_e;
    r.h[2][2] = x22 * a1;
    r.h[2][3] = r.h[3][2] = x23 * a1 + c * x2 * a1_e + y23 * b1 + c * y2 * b1_e;
    r.h[3][3] = x33 * a1 + y33 * b1 + 2.0 * c * (x3 * a1_e + y3 * b1_e) +
                c * c * (x * a1_ee + y * b1_ee - mom.m_bar * l_ee);
    return r;
}

// ln g of a segment pair with d_i d_j/(d_i + d_j) = h at unit density, with its gradient and Hessian
// over (h, S2, S3). With ζ2 = π/6 S2, η = π/6 S3, u = 1/(1-η) and s = h ζ2 u the contact value factors,
//     g = u (1 + s)(1 + 2s),   ln g = -ln(1-η) + ln(1 + 3s + 2s²),
// and s is a product, so every entry is a short product of s's own factors.
struct ContactShape {
    double zeta2 = 0.0, u = 0.0, log_void = 0.0;  // ζ2, 1/(1-η), ln(1-η)
};

inline ContactShape contact_shape(double s2, double s3) {
    const double eta = kPiOver6 * s3;
    return {kPiOver6 * s2, 1.0 / (1.0 - eta), std::log1p(-eta)};
}

struct ContactLogCurvature {
    double value = 0.0;
    double g[3] = {};
    double h[3][3] = {};
};

inline ContactLogCurvature contact_log_curvature(const ContactShape &k, double h, bool curvature = true) {
    const double c = kPiOver6, cu = c * k.u;
    const double s = h * k.zeta2 * k.u;
    const double poly = 1.0 + s * (3.0 + 2.0 * s);
    const double inv_poly = 1.0 / poly;
    const double d1 = (3.0 + 4.0 * s) * inv_poly;                           // d ln(poly)/ds
    const double d2 = -(5.0 + s * (12.0 + 8.0 * s)) * (inv_poly * inv_poly);  // its s-derivative
    const double s_h = k.zeta2 * k.u, s_2 = h * cu, s_3 = s * cu;  // s_hh = s_22 = 0
    ContactLogCurvature r;
    r.value = std::log1p(s * (3.0 + 2.0 * s)) - k.log_void;
    r.g[0] = d1 * s_h;
    r.g[1] = d1 * s_2;
    r.g[2] = d1 * s_3 + cu;
    if (!curvature) return r;
    r.h[0][0] = d2 * s_h * s_h;
    r.h[0][1] = r.h[1][0] = d2 * s_h * s_2 + d1 * cu;
    r.h[0][2] = r.h[2][0] = d2 * s_h * s_3 + d1 * cu * s_h;
    r.h[1][1] = d2 * s_2 * s_2;
    r.h[1][2] = r.h[2][1] = d2 * s_2 * s_3 + d1 * cu * s_2;
    r.h[2][2] = d2 * s_3 * s_3 + 2.0 * d1 * cu * s_3 + cu * cu;
    return r;
}

// The density-independent factors of the hard-sphere term: X = S2³/S3², Y = 3 S1 S2/S3 and X - m̄.
// An isotherm forms them once; every density evaluation then needs no division besides 1/(1-η).
template <class S>
struct HardSphereShape {
    S x{}, y{}, x_minus_m{};
};

template <class S>
HardSphereShape<S> hard_sphere_shape(const Moments<S> &mom) {
    HardSphereShape<S> shape;
    shape.x = mom.s2 * mom.s2 * mom.s2 / (mom.s3 * mom.s3);
    shape.y = 3.0 * mom.s1 * mom.s2 / mom.s3;
    shape.x_minus_m = shape.x - mom.m_bar;
    return shape;
}

// The hard-sphere term's density derivatives alone (∂ã/∂ρ, ∂²ã/∂ρ²), by the
// same expressions as hard_sphere: what a density search needs, without the
// logarithm of the value.
template <class S>
void hard_sphere_density_derivatives(const Moments<S> &mom, const HardSphereShape<S> &shape, const S &rho, S &a_rho,
                                     S &a_rhorho) {
    const S eta_rho = kPiOver6 * mom.s3;
    const S eta = eta_rho * rho;
    const S u = 1.0 / (1.0 - eta);
    const S u2 = u * u;
    const S u3 = u2 * u;
    const S &x = shape.x, &y = shape.y, &x_minus_m = shape.x_minus_m;
    const S by_eta = x * (2.0 * u3 - u2) - x_minus_m * u + y * u2;
    const S by_eta_eta = x * (6.0 * u3 * u - 2.0 * u3) - x_minus_m * u2 + 2.0 * y * u3;
    a_rho = eta_rho * by_eta;
    a_rhorho = eta_rho * eta_rho * by_eta_eta;
}

template <class S>
void hard_sphere_density_derivatives(const Moments<S> &mom, const S &rho, S &a_rho, S &a_rhorho) {
    hard_sphere_density_derivatives(mom, hard_sphere_shape(mom), rho, a_rho, a_rhorho);
}

// The density-only pieces of the hard-sphere contact value of a pair with
// d_i d_j/(d_i + d_j) = h: g = u + 3 h B + 2 h² C with u = 1/(1-η), B = ζ2 u²,
// C = ζ2² u³, and their first and second density derivatives (ζ2 and η are
// linear in ρ).
template <class S>
struct ContactTerms {
    S zeta2{}, eta{};
    S u{}, b{}, c{};
    S u_1{}, b_1{}, c_1{};
    S u_2{}, b_2{}, c_2{};
};

template <class S>
ContactTerms<S> contact_terms(const Moments<S> &mom, const S &rho, bool value_only = false) {
    const S zeta2_rho = kPiOver6 * mom.s2;
    const S eta_rho = kPiOver6 * mom.s3;
    ContactTerms<S> k;
    const S zeta2 = zeta2_rho * rho;
    const S u = 1.0 / (1.0 - eta_rho * rho);
    k.zeta2 = zeta2;
    k.eta = eta_rho * rho;
    k.u = u;
    k.b = zeta2 * u * u;
    k.c = zeta2 * zeta2 * u * u * u;
    if (value_only) return k;
    k.u_1 = eta_rho * u * u;
    k.u_2 = 2.0 * eta_rho * u * k.u_1;
    k.b_1 = zeta2_rho * u * u + 2.0 * zeta2 * u * k.u_1;
    k.b_2 = 4.0 * zeta2_rho * u * k.u_1 + 2.0 * zeta2 * (k.u_1 * k.u_1 + u * k.u_2);
    k.c_1 = 2.0 * zeta2 * zeta2_rho * u * u * u + 3.0 * zeta2 * zeta2 * u * u * k.u_1;
    k.c_2 = 2.0 * zeta2_rho * zeta2_rho * u * u * u + 12.0 * zeta2 * zeta2_rho * u * u * k.u_1 +
            zeta2 * zeta2 * (6.0 * u * k.u_1 * k.u_1 + 3.0 * u * u * k.u_2);
    return k;
}

// g - 1 for a pair with d_i d_j/(d_i + d_j) = h, formed without cancellation
// so that ln g stays accurate at low density (u - 1 = η u).
template <class S, class H>
S contact_value_excess(const ContactTerms<S> &k, const H &h) {
    return k.eta * k.u + 3.0 * h * k.b + 2.0 * h * h * k.c;
}

// A_chain = Σ_k x_k (1 - m_k) ln g_kk with the contact value of a segment pair
// of one kind (h = d_k/2). Besides the term, the contact pieces for the
// composition derivatives, and (with_temperature) the explicit temperature
// dependence through the diameters, Σ_k x_k (1 - m_k) ∂ln g_kk/∂h_k · ∂h_k/∂T.
template <class S>
struct ChainTerm {
    Term<S> part;
    ContactTerms<S> contact;
    S by_explicit_t{};
};

// half_diameter(k) gives d_k/2 (as S), half_diameter_slope(k) ∂(d_k/2)/∂T
// (read only with_temperature); x and m are by position. When log_contact is
// given, ln g_kk goes to log_contact[k] for each entry the term weighs
// (x_k (1 - m_k) != 0), for the caller's composition derivatives.
//
// The mole fractions may carry derivatives of their own (X an automatic-
// differentiation number, for composition derivatives); an entry is then
// skipped only when its segment number is 1.
template <class S, class HalfDiameter, class HalfDiameterSlope, class X = double>
ChainTerm<S> hard_chain(const S &rho, std::int64_t n, const X *x, const double *m, const Moments<S> &mom,
                        HalfDiameter &&half_diameter, HalfDiameterSlope &&half_diameter_slope,
                        bool with_sensitivities, bool with_temperature, S *log_contact = nullptr,
                        bool value_only = false) {
    using std::log1p;
    ChainTerm<S> chain;
    chain.contact = contact_terms(mom, rho, value_only);
    const ContactTerms<S> &k = chain.contact;
    S by_zeta2{};
    S by_eta{};
    for (std::int64_t p = 0; p < n; ++p) {
        const X weight = x[p] * (1.0 - m[p]);
        if constexpr (std::is_arithmetic_v<X>) {
            if (weight == 0.0) continue;
        } else {
            if (m[p] == 1.0) continue;
        }
        const S h = half_diameter(p);
        const S h2 = h * h;
        const S g_minus_1 = contact_value_excess(k, h);
        if (value_only) {
            chain.part.a += weight * log1p(g_minus_1);
            continue;
        }
        const S g = 1.0 + g_minus_1;
        const S g_1 = (k.u_1 + 3.0 * h * k.b_1 + 2.0 * h2 * k.c_1) / g;
        const S g_2 = (k.u_2 + 3.0 * h * k.b_2 + 2.0 * h2 * k.c_2) / g;
        const S log_g = log1p(g_minus_1);
        if (log_contact != nullptr) log_contact[p] = log_g;
        chain.part.a += weight * log_g;
        chain.part.a_rho += weight * g_1;
        chain.part.a_rhorho += weight * (g_2 - g_1 * g_1);
        if (with_sensitivities) {
            const S weight_g = weight / g;
            by_zeta2 += weight_g * (3.0 * h * k.u * k.u + 4.0 * h2 * k.zeta2 * k.u * k.u * k.u);
            by_eta += weight_g * (k.u * k.u + 6.0 * h * k.b * k.u + 6.0 * h2 * k.c * k.u);
            if (with_temperature) {
                const double h_t = half_diameter_slope(p);
                chain.by_explicit_t += weight_g * (3.0 * k.b + 4.0 * h * k.c) * h_t;
            }
        }
    }
    if (with_sensitivities) {
        chain.part.by_s2 = kPiOver6 * rho * by_zeta2;
        chain.part.by_s3 = kPiOver6 * rho * by_eta;
    }
    return chain;
}

// The chain term's density derivatives alone, by the same expressions as
// hard_chain (no logarithms): what a density search needs.
template <class S, class HalfDiameter>
void hard_chain_density_derivatives(const S &rho, std::int64_t n, const double *x, const double *m,
                                    const Moments<S> &mom, HalfDiameter &&half_diameter, S &a_rho, S &a_rhorho) {
    const ContactTerms<S> k = contact_terms(mom, rho);
    a_rho = S{};
    a_rhorho = S{};
    for (std::int64_t p = 0; p < n; ++p) {
        const double weight = x[p] * (1.0 - m[p]);
        if (weight == 0.0) continue;
        const S h = half_diameter(p);
        const S h2 = h * h;
        const S g = 1.0 + contact_value_excess(k, h);
        const S g_1 = (k.u_1 + 3.0 * h * k.b_1 + 2.0 * h2 * k.c_1) / g;
        const S g_2 = (k.u_2 + 3.0 * h * k.b_2 + 2.0 * h2 * k.c_2) / g;
        a_rho += weight * g_1;
        a_rhorho += weight * (g_2 - g_1 * g_1);
    }
}

// The chain term's share of ∂ã/∂x_k: (1 - m_k) ln g_kk + Σ_l x_l (1 - m_l)
// ∂ln g_ll/∂x_k at constant T, ρ (the second part through S2 and S3 only).
template <class S>
S chain_composition_share(const ChainTerm<S> &chain, double m_k, double d_k, double md2_k, double md3_k) {
    using std::log1p;
    S own_contact{};
    if (m_k != 1.0) {
        const double h = 0.5 * d_k;
        own_contact = (1.0 - m_k) * log1p(contact_value_excess(chain.contact, h));
    }
    return own_contact + chain.part.by_s2 * md2_k + chain.part.by_s3 * md3_k;
}

}  // namespace keld::helmholtz
