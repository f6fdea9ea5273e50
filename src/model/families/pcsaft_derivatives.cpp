// Exact derivatives of PC-SAFT's alpha_r without a pass of automatic
// differentiation per seeded direction (see pcsaft_family.h).
//
// (T, rho) at constant x: the contributions' own analytic density derivatives
// (a, a_rho, a_rhorho), evaluated once with a second-order Taylor number in T.
//
// Amounts: f(T, r) = rho alpha_r, with r_k = n_k / V the amount densities,
// depends on r only through eight aggregates Y = (T, rho, M0..M3, Q1, Q2) and
// the chain term's sum_k r_k psi_k(T, M2, M3): rho and the moments
// M_j = sum_k r_k m_k d_k^j are linear in r, the dispersion sums Q1, Q2 (the
// pair sums of the amount densities, D rho^2) quadratic. Each contribution
// evaluated at unit density with the moments M is rho times its per-molecule
// value, so each contribution's closed-form curvature over its few aggregates
// (hard sphere over M0..M3, dispersion over (M0 / rho, M3, Q1, Q2), each
// contact value over (T, M2, M3)) gives f's gradient g and Hessian H in Y, and
//     f_w  = J^T g + (psi_k on r_k),
//     f_ww = J^T H J + sum_a g_a K_a + (the chain's per-component cross terms)
// with J, K the aggregates' derivatives in w = (T, r): O(N^2) work beside the
// O(N^2) pair sums, where a pass per Hessian entry costs O(N^4).
#include <array>
#include <memory>
#include <type_traits>
#include <vector>
#include <cstdint>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "contributions/pcsaft_dispersion_curvature.h"
#include "model/families/pcsaft_family.h"

namespace keld::model {

namespace {

namespace terms = pcsaft::terms;
using T2 = ad::Taylor<double, 2>;  // along T: c[0], c[1] = d/dT, c[2] = (d2/dT2) / 2

double second(const T2 &a) { return 2.0 * a.c[2]; }

// A value going as T0/T or (T0/T)^2 as a Taylor number at T (inv_t = 1/T): q (T0/T) has c1 = -q/T,
// c2 = q/T^2; q (T0/T)^2 has c1 = -2 q/T, c2 = 3 q/T^2.
T2 as_inverse_t(double q, double inv_t) {
    T2 r;
    r.c[0] = q;
    r.c[1] = -q * inv_t;
    r.c[2] = q * (inv_t * inv_t);
    return r;
}

T2 as_inverse_t_squared(double q, double inv_t) {
    T2 r;
    r.c[0] = q;
    r.c[1] = -2.0 * q * inv_t;
    r.c[2] = 3.0 * q * (inv_t * inv_t);
    return r;
}

// A segment diameter d(T) = sigma (1 - 0.12 exp(-3 eps/T)) as a Taylor number at t, the chain rule
// through the exponent written out; its value is segment_diameter's at t, bit for bit.
T2 diameter_along_t(double sigma, double eps, double t) {
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

enum Aggregate { kT, kRho, kM0, kM1, kM2, kM3, kQ1, kQ2, kAggregates };

// Value, gradient and Hessian of f over the aggregates; without `curvature` the value and gradient
// alone (ln phi without its derivatives: the same operations for those, so the same bits).
struct AggregateCurvature {
    explicit AggregateCurvature(bool with_curvature) : curvature(with_curvature) {}
    bool curvature;
    double value = 0.0;
    double g[kAggregates] = {};
    double h[kAggregates][kAggregates] = {};

    void add_pair(int a, int b, double v) {
        h[a][b] += v;
        h[b][a] += v;
    }

    // The hard sphere over (M0, M1, M2, M3).
    void add(const helmholtz::HardSphereCurvature &hs) {
        const int at[4] = {kM0, kM1, kM2, kM3};
        value += hs.value;
        for (int i = 0; i < 4; ++i) {
            g[at[i]] += hs.g[i];
            if (curvature)
                for (int j = 0; j < 4; ++j) h[at[i]][at[j]] += hs.h[i][j];
        }
    }

    // The dispersion Q1 A + Q2 B over (m-bar, M3, Q1, Q2), with m-bar = M0 / rho.
    void add(const terms::DispersionCurvature &k, double m_bar, double rho, double q1, double q2) {
        using C = terms::CurvatureOverMbarS3;
        const C &a = k.first, &b = k.second;
        const double f_m = q1 * a.g[0] + q2 * b.g[0];
        value += q1 * a.v + q2 * b.v;
        g[kM3] += q1 * a.g[1] + q2 * b.g[1];
        g[kQ1] += a.v;
        g[kQ2] += b.v;
        const double slope[2] = {-m_bar / rho, 1.0 / rho};  // m-bar's in (rho, M0)
        g[kRho] += f_m * slope[0];
        g[kM0] += f_m * slope[1];
        if (!curvature) return;
        const double f_mm = q1 * a.second(0, 0) + q2 * b.second(0, 0);
        const double f_ms = q1 * a.second(0, 1) + q2 * b.second(0, 1);
        h[kM3][kM3] += q1 * a.second(1, 1) + q2 * b.second(1, 1);
        add_pair(kM3, kQ1, a.g[1]);
        add_pair(kM3, kQ2, b.g[1]);
        // m-bar's own curvature in (rho, M0).
        const int at[2] = {kRho, kM0};
        for (int i = 0; i < 2; ++i) {
            add_pair(at[i], kM3, f_ms * slope[i]);
            add_pair(at[i], kQ1, a.g[0] * slope[i]);
            add_pair(at[i], kQ2, b.g[0] * slope[i]);
            for (int j = 0; j < 2; ++j) h[at[i]][at[j]] += f_mm * slope[i] * slope[j];
        }
        const double inv_rho2 = 1.0 / (rho * rho);
        h[kRho][kRho] += f_m * 2.0 * m_bar * inv_rho2;
        add_pair(kRho, kM0, -f_m * inv_rho2);
    }

    // weight * psi over (T, M2, M3), psi = (1 - m_k) ln g_kk with its half diameter h(T) (slopes h_t,
    // h_tt); its gradient goes to psi_k.
    void add(const helmholtz::ContactLogCurvature &l, double one_minus_m, double h_t, double h_tt, double weight,
             std::array<double, 4> &psi_k) {
        const double l_t = l.g[0] * h_t;
        psi_k = {one_minus_m * l.value, one_minus_m * l_t, one_minus_m * l.g[1], one_minus_m * l.g[2]};
        const double w = weight * one_minus_m;
        value += w * l.value;
        g[kT] += w * l_t;
        g[kM2] += w * l.g[1];
        g[kM3] += w * l.g[2];
        if (!curvature) return;
        h[kT][kT] += w * (l.h[0][0] * h_t * h_t + l.g[0] * h_tt);
        add_pair(kT, kM2, w * l.h[0][1] * h_t);
        add_pair(kT, kM3, w * l.h[0][2] * h_t);
        h[kM2][kM2] += w * l.h[1][1];
        add_pair(kM2, kM3, w * l.h[1][2]);
        h[kM3][kM3] += w * l.h[2][2];
    }
};

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

// I, (eta I)' and (eta I)'' at eta of type S by perturbation_integral's Horner steps, from
// coefficients formed once in doubles (their values are those it forms in S when m-bar is constant).
template <class S>
terms::PerturbationIntegralOf<S> integral_along(const terms::IntegralCoefficients &k, const S &eta) {
    terms::PerturbationIntegralOf<S> p;
    for (int i = terms::kPerturbationTerms - 1; i >= 0; --i) {
        p.value = p.value * eta + k.c[i];
        p.eta_i_1 = p.eta_i_1 * eta + k.first[i];
        if (i >= 1) p.eta_i_2 = p.eta_i_2 * eta + k.second[i];
    }
    return p;
}

}  // namespace

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

terms::DispersionSumsOf<T2> PcSaftAggregates::sums_along_t(double t, const double *x) const {
    if (f_.cross_varies_) return sums<false, T2>(T2::variable(t), x, nullptr, nullptr);
    const terms::DispersionSumsOf<double> q = sums<false, double>(t, x, nullptr, nullptr);
    const double inv_t = 1.0 / t;
    return {as_inverse_t(q.d1, inv_t), as_inverse_t_squared(q.d2, inv_t)};
}

void PcSaftAggregates::pair_weights(double t, double *p1, double *p2) const {
    const std::int64_t n = static_cast<std::int64_t>(size());
    Buffer<double, 256> eps_values(static_cast<std::size_t>(n * n));
    const double *eps = f_.eps_matrix_.data();
    if (f_.cross_varies_) {
        for (std::int64_t j = 0; j < n; ++j)
            for (std::int64_t i = 0; i < n; ++i)
                eps_values[j * n + i] = i == j ? f_.eps_[i] : f_.cross_energy(std::size_t(i), std::size_t(j), t);
        eps = eps_values.data();
    }
    // The sums are quadratic in x: a pair's weight is what the sums' inner step adds to a row, formed
    // by the same expressions (so the same values as the rows of the two-element list (k, l)).
    const double inv_t = 1.0 / t;
    const double *sigma = f_.sigma_.data(), *m = f_.m_.data();
    for (std::int64_t l = 0; l < n; ++l) {
        for (std::int64_t k = 0; k < l; ++k) {
            const double s = (sigma[k] + sigma[l]) * terms::kHalfScaledAngstrom;
            const double s3 = s * s * s;
            const double e_kl = eps[l * n + k] * inv_t;
            const double e_lk = eps[k * n + l] * inv_t;
            const double q1 = (e_kl + e_lk) * s3;
            const double q2 = (e_kl * e_kl + e_lk * e_lk) * s3;
            p1[k * n + l] = p1[l * n + k] = m[k] * (m[l] * q1);
            p2[k * n + l] = p2[l * n + k] = m[k] * (m[l] * q2);
        }
        const double s = (sigma[l] + sigma[l]) * terms::kHalfScaledAngstrom;
        const double s3 = s * s * s;
        const double e_ll = eps[l * n + l] * inv_t;
        p1[l * n + l] = m[l] * (m[l] * (2.0 * e_ll * s3));
        p2[l * n + l] = m[l] * (m[l] * (2.0 * e_ll * e_ll * s3));
    }
}

template <class S>
void PcSaftAggregates::diameters(const S &t, const double *x, S *d, helmholtz::Moments<S> &mom) const {
    for (std::size_t k = 0; k < size(); ++k) {
        d[k] = terms::segment_diameter(f_.sigma_[k], terms::segment_diameter_factor(f_.eps_[k], t));
        const double xm = x[k] * f_.m_[k];
        mom.m_bar += xm;
        mom.s1 += xm * d[k];
        mom.s2 += xm * d[k] * d[k];
        mom.s3 += xm * d[k] * d[k] * d[k];
    }
}

template <class S>
PcSaftAggregates::Parts<S> PcSaftAggregates::parts(const S &t, double rho, const double *x) const {
    const std::int64_t n = static_cast<std::int64_t>(size());
    const S r(rho);
    Buffer<S, 16> d(static_cast<std::size_t>(n));
    Parts<S> p;
    helmholtz::Moments<S> &mom = p.mom;
    diameters(t, x, d.data(), mom);
    p.hs = helmholtz::hard_sphere(mom, r, false);
    p.chain =
        helmholtz::hard_chain(
            r, n, x, f_.m_.data(), mom, [&](std::int64_t k) { return 0.5 * d[k]; }, [](std::int64_t) { return 0.0; },
            false, false)
            .part;
    if constexpr (std::is_same_v<S, T2>)
        p.sums = sums_along_t(t.c[0], x);
    else
        p.sums = sums<false, S>(t, x, nullptr, nullptr);
    if constexpr (std::is_same_v<S, T2>) {
        // m-bar is constant along T: the integrals' coefficients are plain numbers.
        const double m_bar = mom.m_bar.c[0];
        const S eta = helmholtz::kPiOver6 * mom.s3 * r;
        p.disp = terms::dispersion(
            mom, p.sums, r, false,
            integral_along(terms::integral_coefficients(terms::kA0, terms::kA1, terms::kA2, m_bar), eta),
            integral_along(terms::integral_coefficients(terms::kB0, terms::kB1, terms::kB2, m_bar), eta));
    } else {
        p.disp = terms::dispersion(mom, p.sums, r, false);
    }
    return p;
}

// Flattened: the density search's hot path, its terms inlined as when it formed them itself.
template <class S>
[[gnu::flatten]] helmholtz::Term<S> PcSaftAggregates::analytic(const S &t, double rho, const double *x) const {
    const Parts<S> p = parts(t, rho, x);
    helmholtz::Term<S> all;
    all.a = p.hs.a + p.chain.a + p.disp.a;
    all.a_rho = p.hs.a_rho + p.chain.a_rho + p.disp.a_rho;
    all.a_rhorho = p.hs.a_rhorho + p.chain.a_rhorho + p.disp.a_rhorho;
    return all;
}

AlpharDerivatives PcSaftAggregates::t_rho(double t, double rho, const double *x) const {
    if (size() == 1 && !f_.cross_varies_) return pure_t_rho(t, rho);
    const helmholtz::Term<T2> all = analytic(T2::variable(t), rho, x);
    AlpharDerivatives out;
    out.a = all.a.c[0];
    out.a_t = all.a.c[1];
    out.a_tt = second(all.a);
    out.a_rho = all.a_rho.c[0];
    out.a_trho = all.a_rho.c[1];
    out.a_rhorho = all.a_rhorho.c[0];
    return out;
}

// A pure fluid's T-derivatives from its density derivatives at T. The hard chain depends on (T, rho)
// only through the packing fraction pi/6 m d(T)^3 rho, and each dispersion sum enters linearly with
// a factor 1/T or 1/T^2. With s(T) = (d(T)/d(t))^3, so that s(t) = 1:
//     hard chain  H(T, rho) = Phi_h(rho s(T)),
//     dispersion  D(T, rho) = c_1(T) Phi_1(rho s(T)) + c_2(T) Phi_2(rho s(T)),
// the Phi the contributions at t with their analytic density derivatives, c_j = (t/T)^j / s(T) the
// factors that carry the sums and rho = (rho s)/s to T. The chain rule then gives every (T, rho)
// derivative to second order from the three Phi at t: no Taylor pass in T through the terms.
// a, a_rho and a_rhorho are density_slopes()'s, operation by operation.
AlpharDerivatives PcSaftAggregates::pure_t_rho(double t, double rho) const {
    const double x = 1.0;
    const Parts<double> p = parts(t, rho, &x);
    const double phi[3] = {p.hs.a + p.chain.a + p.disp.a, p.hs.a_rho + p.chain.a_rho + p.disp.a_rho,
                           p.hs.a_rhorho + p.chain.a_rhorho + p.disp.a_rhorho};
    // s' and s'' at t from d's Taylor coefficients along T.
    const T2 d = terms::segment_diameter(f_.sigma_[0], terms::segment_diameter_factor(f_.eps_[0], T2::variable(t)));
    const double d1 = d.c[1] / d.c[0], d2 = second(d) / d.c[0];
    const double s1 = 3.0 * d1, s2 = 3.0 * d2 + 6.0 * d1 * d1;
    // The dispersion's share of the first sum, Phi_1; Phi_2 is the rest of it (the two have one
    // sign, so the difference loses nothing).
    terms::DispersionSumsOf<double> first_sum = p.sums;
    first_sum.d2 = 0.0;
    const terms::ContributionOf<double> d_first = terms::dispersion(p.mom, first_sum, rho, false);
    const double phi1[2] = {d_first.a, d_first.a_rho};
    const double phi2[2] = {p.disp.a - d_first.a, p.disp.a_rho - d_first.a_rho};
    // c_j' and c_j'' at t: (t/T)^j contributes -j/t and j (j + 1)/t^2, 1/s the rest.
    const auto c_prime = [&](int j) { return -j / t - s1; };
    const auto c_second = [&](int j) {
        const double k1 = -j / t, k2 = j * (j + 1) / (t * t);
        return k2 - 2.0 * k1 * s1 - s2 + 2.0 * s1 * s1;
    };
    const double c1 = c_prime(1), c2 = c_prime(2);
    const double by_c = c1 * phi1[0] + c2 * phi2[0];          // sum_j c_j' Phi_j
    const double by_c_rho = c1 * phi1[1] + c2 * phi2[1];      // sum_j c_j' Phi_j'
    const double by_cc = c_second(1) * phi1[0] + c_second(2) * phi2[0];  // sum_j c_j'' Phi_j
    const double rs1 = rho * s1;
    AlpharDerivatives out;
    out.a = phi[0];
    out.a_rho = phi[1];
    out.a_rhorho = phi[2];
    out.a_t = by_c + rs1 * phi[1];
    out.a_trho = by_c_rho + s1 * phi[1] + rs1 * phi[2];
    out.a_tt = by_cc + 2.0 * rs1 * by_c_rho + rs1 * rs1 * phi[2] + rho * s2 * phi[1];
    return out;
}

DensitySlopes PcSaftAggregates::density_slopes(double t, double rho, const double *x) const {
    const helmholtz::Term<double> all = analytic(t, rho, x);
    return {all.a_rho, all.a_rhorho, all.a};
}

void PcSaftAggregates::prepare(double t, const double *x, LinePieces &line) const {
    for (std::size_t k = 0; k < line.n; ++k) line.x[k] = x[k];
    diameters(t, x, line.d.data(), line.mom);
    line.q = sums<false, double>(t, x, nullptr, nullptr);
    line.i1 = terms::integral_coefficients(terms::kA0, terms::kA1, terms::kA2, line.mom.m_bar);
    line.i2 = terms::integral_coefficients(terms::kB0, terms::kB1, terms::kB2, line.mom.m_bar);
    line.shape = helmholtz::hard_sphere_shape(line.mom);
}

void PcSaftAggregates::prepare(const StageView &stage, const double *x, LinePieces &line) const {
    const std::size_t n = line.n;
    line.mom = {};
    line.q = {};
    for (std::size_t k = 0; k < n; ++k) {
        line.x[k] = x[k];
        line.d[k] = stage.d1[k].c[0];
        const double xm = x[k] * f_.m_[k], d = line.d[k];
        line.mom.m_bar += xm;
        line.mom.s1 += xm * d;
        line.mom.s2 += xm * d * d;
        line.mom.s3 += xm * d * d * d;
    }
    // The sums are quadratic in x with the pair weights as their second derivatives.
    for (std::size_t l = 0; l < n; ++l) {
        double off1 = 0.0, off2 = 0.0;
        for (std::size_t k = 0; k < l; ++k) {
            off1 += x[k] * stage.p1[k * n + l];
            off2 += x[k] * stage.p2[k * n + l];
        }
        line.q.d1 += x[l] * (off1 + 0.5 * x[l] * stage.p1[l * n + l]);
        line.q.d2 += x[l] * (off2 + 0.5 * x[l] * stage.p2[l * n + l]);
    }
    line.i1 = terms::integral_coefficients(terms::kA0, terms::kA1, terms::kA2, line.mom.m_bar);
    line.i2 = terms::integral_coefficients(terms::kB0, terms::kB1, terms::kB2, line.mom.m_bar);
    line.shape = helmholtz::hard_sphere_shape(line.mom);
}

// analytic<double>'s density-dependent part, the same operations.
DensitySlopes PcSaftAggregates::slopes(const LinePieces &line, double rho) const {
    const auto n = static_cast<std::int64_t>(line.n);
    const double *x = &line.x[0];
    const helmholtz::Term<double> hs = helmholtz::hard_sphere(line.mom, rho, false);
    const helmholtz::Term<double> chain =
        helmholtz::hard_chain(
            rho, n, x, f_.m_.data(), line.mom, [&](std::int64_t k) { return 0.5 * line.d[k]; },
            [](std::int64_t) { return 0.0; }, false, false)
            .part;
    const terms::ContributionOf<double> disp = terms::dispersion(line.mom, line.q, rho, false, line.i1, line.i2);
    return {hs.a_rho + chain.a_rho + disp.a_rho, hs.a_rhorho + chain.a_rhorho + disp.a_rhorho, hs.a + chain.a + disp.a};
}

// slopes() without the value: the logarithm-free forms of the same expressions, so a_rho and
// a_rhorho are slopes()'s bit for bit.
DensityDerivatives PcSaftAggregates::density_derivatives(const LinePieces &line, double rho) const {
    double hs_rho = 0.0, hs_rhorho = 0.0, chain_rho = 0.0, chain_rhorho = 0.0;
    helmholtz::hard_sphere_density_derivatives(line.mom, line.shape, rho, hs_rho, hs_rhorho);
    helmholtz::hard_chain_density_derivatives(
        rho, static_cast<std::int64_t>(line.n), &line.x[0], f_.m_.data(), line.mom,
        [&](std::int64_t k) { return 0.5 * line.d[k]; }, chain_rho, chain_rhorho);
    const terms::ContributionOf<double> disp = terms::dispersion(line.mom, line.q, rho, false, line.i1, line.i2);
    return {hs_rho + chain_rho + disp.a_rho, hs_rhorho + chain_rhorho + disp.a_rhorho};
}

double PcSaftAggregates::temperature_slope(double t, double rho, const double *x) const {
    const std::int64_t n = static_cast<std::int64_t>(size());
    const D1 tt(t, 1.0), r(rho);
    Buffer<D1, 16> d(static_cast<std::size_t>(n));
    helmholtz::Moments<D1> mom;
    double m_bar = 0.0;
    for (std::int64_t k = 0; k < n; ++k) {
        d[k] = terms::segment_diameter(f_.sigma_[k], terms::segment_diameter_factor(f_.eps_[k], tt));
        const double xm = x[k] * f_.m_[k];
        m_bar += xm;
        mom.s1 += xm * d[k];
        mom.s2 += xm * d[k] * d[k];
        mom.s3 += xm * d[k] * d[k] * d[k];
    }
    mom.m_bar = D1(m_bar);
    const D1 hs = helmholtz::hard_sphere(mom, r, false, true).a;
    const D1 chain = helmholtz::hard_chain(
                         r, n, x, f_.m_.data(), mom, [&](std::int64_t k) { return D1(0.5) * d[k]; },
                         [](std::int64_t) { return 0.0; }, false, false, static_cast<D1 *>(nullptr), true)
                         .part.a;
    // The sums go as 1/T and 1/T^2 unless a cross energy follows a table.
    terms::DispersionSumsOf<D1> q;
    if (f_.cross_varies_) {
        q = sums<false, D1>(tt, x, nullptr, nullptr);
    } else {
        const terms::DispersionSumsOf<double> plain = sums<false, double>(t, x, nullptr, nullptr);
        q.d1 = D1(plain.d1, -plain.d1 / t);
        q.d2 = D1(plain.d2, -2.0 * plain.d2 / t);
    }
    // The dispersion's value as terms::dispersion forms it, its integrals from plain coefficients.
    const D1 eta = helmholtz::kPiOver6 * mom.s3 * r;
    const terms::IntegralCoefficients a = terms::integral_coefficients(terms::kA0, terms::kA1, terms::kA2, m_bar);
    const terms::IntegralCoefficients b = terms::integral_coefficients(terms::kB0, terms::kB1, terms::kB2, m_bar);
    D1 i1, i2;
    for (int i = terms::kPerturbationTerms - 1; i >= 0; --i) {
        i1 = i1 * eta + a.c[i];
        i2 = i2 * eta + b.c[i];
    }
    const D1 c1 = terms::hard_chain_compressibility(mom.m_bar, eta, true).c1;
    const D1 disp = r * ((-terms::kTwoPi * q.d1) * i1 + (-terms::kPi * mom.m_bar * q.d2) * c1 * i2);
    return (hs + chain + disp).d;
}

template <std::size_t kInline>
void PcSaftAggregates::temperature_stage(double t, TemperatureStage<kInline> &stage) const {
    stage.t = t;
    for (std::size_t k = 0; k < size(); ++k) {
        stage.d1[k] = diameter_along_t(f_.sigma_[k], f_.eps_[k], t);
        stage.d2[k] = stage.d1[k] * stage.d1[k];
        stage.d3[k] = stage.d2[k] * stage.d1[k];
    }
    pair_weights(t, stage.p1.data(), stage.p2.data());
}

void PcSaftAggregates::amounts(double t, double v, std::span<const double> n, AmountDerivativeSpans &out,
                               AlongT *along_t) const {
    TemperatureStage<16> stage(size());
    temperature_stage(t, stage);
    amounts(stage.view(), v, n, out, along_t);
}

void PcSaftAggregates::amounts(const StageView &stage, double v, std::span<const double> amounts,
                               AmountDerivativeSpans &out, AlongT *along_t) const {
    const std::size_t n = size(), w = n + 1;  // w = (T, r_1 .. r_N)
    const double t = stage.t;
    const double *m = f_.m_.data();
    const T2 *d1 = stage.d1, *d2 = stage.d2, *d3 = stage.d3;
    const double *p1 = stage.p1, *p2 = stage.p2;
    Buffer<double, 16> r(n);
    for (std::size_t k = 0; k < n; ++k) r[k] = amounts[k] / v;
    double rho = 0.0;
    for (std::size_t k = 0; k < n; ++k) rho += r[k];

    // The moments along T.
    double m0 = 0.0;
    T2 m1, m2, m3;
    for (std::size_t k = 0; k < n; ++k) {
        const double rm = r[k] * m[k];
        m0 += rm;
        m1 += rm * d1[k];
        m2 += rm * d2[k];
        m3 += rm * d3[k];
    }
    // The sums: Q is quadratic in r, so its gradient is P r with P the pair weights, and Q = r.P r / 2.
    // The gradient along T: with constant cross energies from the weights at T, else by a pass in T.
    Buffer<T2, 16> row1(n), row2(n);
    terms::DispersionSumsOf<T2> q;
    if (f_.cross_varies_) {
        q = sums<true, T2>(T2::variable(t), r.data(), row1.data(), row2.data());
        for (std::size_t k = 0; k < n; ++k) {
            row1[k] = m[k] * row1[k];
            row2[k] = m[k] * row2[k];
        }
    } else {
        const double inv_t = 1.0 / t;
        double q1 = 0.0, q2 = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            double g1 = 0.0, g2 = 0.0;
            for (std::size_t l = 0; l < n; ++l) {
                g1 += p1[k * n + l] * r[l];
                g2 += p2[k * n + l] * r[l];
            }
            row1[k] = as_inverse_t(g1, inv_t);
            row2[k] = as_inverse_t_squared(g2, inv_t);
            q1 += r[k] * g1;
            q2 += r[k] * g2;
        }
        q.d1 = as_inverse_t(0.5 * q1, inv_t);
        q.d2 = as_inverse_t_squared(0.5 * q2, inv_t);
    }

    // f over the aggregates: hard sphere over (M0, M1, M2, M3), its curvature in closed form; dispersion over (mbar, M3, Q1, Q2)
    // with mbar = M0 / rho; the chain's psi_k over (T, M2, M3), weighed by r_k.
    // ln phi alone (the gradient) needs no curvature: most evaluations of an iteration at given P ask
    // for nothing more.
    const bool hessian = !out.hessian.empty(), mixed_v = !out.d_v.empty(), mixed_t = !out.d_t.empty();
    AggregateCurvature c(hessian || mixed_v || mixed_t || along_t != nullptr);
    const helmholtz::ContactShape shape = helmholtz::contact_shape(m2.c[0], m3.c[0]);
    {
        helmholtz::Moments<double> mom;
        mom.m_bar = m0;
        mom.s1 = m1.c[0];
        mom.s2 = m2.c[0];
        mom.s3 = m3.c[0];
        c.add(helmholtz::hard_sphere_curvature(mom, shape.log_void, c.curvature));
    }
    {
        const double mbar = m0 / rho;
        c.add(terms::dispersion_curvature(mbar, m3.c[0], c.curvature), mbar, rho, q.d1.c[0], q.d2.c[0]);
    }
    // psi_k and its gradient over (T, M2, M3), for the cross terms. The contact pieces depend on
    // (M2, M3) alone; d_k on T alone, its Taylor coefficients along T already formed.
    Buffer<std::array<double, 4>, 16> psi(n);
    {
        for (std::size_t k = 0; k < n; ++k) {
            psi[k] = {0.0, 0.0, 0.0, 0.0};
            if (m[k] == 1.0) continue;
            const double h = 0.5 * d1[k].c[0];
            c.add(helmholtz::contact_log_curvature(shape, h, c.curvature), 1.0 - m[k], 0.5 * d1[k].c[1], 0.5 * second(d1[k]), r[k],
                  psi[k]);
        }
    }

    // The aggregates' first derivatives in w, dY_a/dw_p, stored by column p (the contractions below
    // then run over the eight aggregates contiguously).
    Buffer<double, 8 * 17> jac(kAggregates * w);
    for (std::size_t p = 0; p < kAggregates * w; ++p) jac[p] = 0.0;
    const auto J = [&](int a, std::size_t p) -> double & { return jac[p * kAggregates + a]; };
    J(kT, 0) = 1.0;
    J(kM1, 0) = m1.c[1];
    J(kM2, 0) = m2.c[1];
    J(kM3, 0) = m3.c[1];
    J(kQ1, 0) = q.d1.c[1];
    J(kQ2, 0) = q.d2.c[1];
    for (std::size_t i = 0; i < n; ++i) {
        J(kRho, i + 1) = 1.0;
        J(kM0, i + 1) = m[i];
        J(kM1, i + 1) = m[i] * d1[i].c[0];
        J(kM2, i + 1) = m[i] * d2[i].c[0];
        J(kM3, i + 1) = m[i] * d3[i].c[0];
        J(kQ1, i + 1) = row1[i].c[0];
        J(kQ2, i + 1) = row2[i].c[0];
    }

    out.psi = v * c.value;
    if (!out.gradient.empty()) {
        for (std::size_t i = 0; i < n; ++i) {
            double s = psi[i][0];
            for (int a = 0; a < kAggregates; ++a) s += c.g[a] * J(a, i + 1);
            out.gradient[i] = s;
        }
    }
    if (!c.curvature) return;
    if (!(hessian || mixed_t || along_t != nullptr)) {
        // d_v alone (a phase along its own composition line): f_ww r without f_ww. The aggregates'
        // derivative along r is u = J r = (0, rho, M0, M1, M2, M3, 2 Q1, 2 Q2) (degrees one and two).
        const double u[kAggregates] = {0.0, rho, m0, m1.c[0], m2.c[0], m3.c[0], 2.0 * q.d1.c[0], 2.0 * q.d2.c[0]};
        double hu[kAggregates] = {};
        for (int b = 1; b < kAggregates; ++b)
            for (int a = 0; a < kAggregates; ++a) hu[a] += c.h[b][a] * u[b];
        // The chain's cross terms: its row k gives psi_k's slopes along u, its column k the sums below.
        double along_m2 = 0.0, along_m3 = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            along_m2 += r[k] * psi[k][2];
            along_m3 += r[k] * psi[k][3];
        }
        for (std::size_t i = 0; i < n; ++i) {
            double s = c.g[kQ1] * row1[i].c[0] + c.g[kQ2] * row2[i].c[0] + psi[i][2] * u[kM2] + psi[i][3] * u[kM3] +
                       J(kM2, i + 1) * along_m2 + J(kM3, i + 1) * along_m3;
            for (int a = 0; a < kAggregates; ++a) s += J(a, i + 1) * hu[a];
            out.d_v[i] = -s / v;
        }
        return;
    }

    // f_ww for rows r_i (i >= 1) and the columns asked for (T's only for the T derivatives): J^T H J,
    // the aggregates' curvature, the chain's cross terms. H J column by column, as sums of H's rows
    // (H is symmetric) weighed by J: each column's eight entries form independently.
    const std::size_t first = (mixed_t || along_t != nullptr) ? 0 : 1;
    Buffer<double, 8 * 17> hj(kAggregates * w);
    for (std::size_t p = first; p < w; ++p) {
        double *col = &hj[p * kAggregates];
        for (int a = 0; a < kAggregates; ++a) col[a] = 0.0;
        for (int b = p == 0 ? 0 : 1; b < kAggregates; ++b) {
            const double jb = J(b, p);
            for (int a = 0; a < kAggregates; ++a) col[a] += c.h[b][a] * jb;
        }
    }
    Buffer<double, 17 * 17> fww(w * w);
    for (std::size_t p = 1; p < w; ++p)
        for (std::size_t q2 = first; q2 < w; ++q2) {
            double s = 0.0;
            for (int a = 0; a < kAggregates; ++a) s += J(a, p) * hj[q2 * kAggregates + a];
            fww[p * w + q2] = s;
        }
    // Curvature of the aggregates: along T and r_i (moments, sums) ...
    if (first == 0) {
        for (std::size_t i = 0; i < n; ++i) {
            fww[(i + 1) * w] += m[i] * (c.g[kM1] * d1[i].c[1] + c.g[kM2] * d2[i].c[1] + c.g[kM3] * d3[i].c[1]) +
                                c.g[kQ1] * row1[i].c[1] + c.g[kQ2] * row2[i].c[1];
        }
    }
    // ... and in r_i, r_j (the sums).
    if (hessian || mixed_v) {
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j)
                fww[(i + 1) * w + j + 1] += c.g[kQ1] * p1[i * n + j] + c.g[kQ2] * p2[i * n + j];
    }
    // The chain's r_k psi_k: d psi_k/dw on row k and, mirrored, on column k.
    for (std::size_t k = 0; k < n; ++k) {
        if (m[k] == 1.0) continue;
        for (std::size_t p = first; p < w; ++p) {
            const double dpsi = psi[k][1] * J(kT, p) + psi[k][2] * J(kM2, p) + psi[k][3] * J(kM3, p);
            fww[(k + 1) * w + p] += dpsi;
            if (p >= 1) fww[p * w + k + 1] += dpsi;
        }
    }
    if (hessian) {
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = i; j < n; ++j)
                out.hessian[i * n + j] = out.hessian[j * n + i] = fww[(i + 1) * w + j + 1] / v;
    }
    if (mixed_v) {
        for (std::size_t i = 0; i < n; ++i) {
            double s = 0.0;
            for (std::size_t j = 0; j < n; ++j) s += fww[(i + 1) * w + j + 1] * r[j];
            out.d_v[i] = -s / v;
        }
    }
    if (mixed_t) {
        for (std::size_t i = 0; i < n; ++i) out.d_t[i] = fww[(i + 1) * w];
    }
    if (along_t != nullptr) {
        // f_TT: J^T H J in (T, T) and the aggregates' own curvature along T (the moments' and sums'
        // second Taylor coefficients; the chain's d_k'' is in H through its T link).
        double f_t = 0.0, f_tt = 0.0;
        for (int a = 0; a < kAggregates; ++a) {
            f_t += c.g[a] * J(a, 0);
            f_tt += J(a, 0) * hj[a];
        }
        f_tt += 2.0 * (c.g[kM1] * m1.c[2] + c.g[kM2] * m2.c[2] + c.g[kM3] * m3.c[2] + c.g[kQ1] * q.d1.c[2] +
                       c.g[kQ2] * q.d2.c[2]);
        double f_t_rho = 0.0;
        for (std::size_t i = 0; i < n; ++i) f_t_rho += r[i] * fww[(i + 1) * w];
        along_t->f_t = f_t;
        along_t->f_tt = f_tt;
        along_t->f_t_rho = f_t_rho / rho;
    }
}

// ---------------------------------------------------------------- the family's hooks

AlpharDerivatives PcSaftFamily::derivatives(double t, double rho, const double *x, bool third) const {
    AlpharDerivatives d = PcSaftAggregates(*this).t_rho(t, rho, x);
    if (third) {
        Buffer<D3, 16> xs(size());
        for (std::size_t k = 0; k < size(); ++k) xs[k] = D3(x[k]);
        d.a_rhorhorho = alphar(D3(t), D3::variable(rho), xs.data()).derivative(3);
    }
    return d;
}

DensitySlopes PcSaftFamily::density_slopes(double t, double rho, const double *x) const {
    return PcSaftAggregates(*this).density_slopes(t, rho, x);
}

namespace {

class PcSaftLine final : public DensityLine {
  public:
    PcSaftLine(const PcSaftFamily &f, double t, const double *x) : aggregates_(f), line_(f.size()) {
        aggregates_.prepare(t, x, line_);
    }
    PcSaftLine(const PcSaftFamily &f, const PcSaftAggregates::StageView &stage, const double *x)
        : aggregates_(f), line_(f.size()) {
        aggregates_.prepare(stage, x, line_);
    }
    DensitySlopes at(double rho) const override { return aggregates_.slopes(line_, rho); }
    DensityDerivatives derivatives(double rho) const override { return aggregates_.density_derivatives(line_, rho); }
    // Close packing from the line's third moment, formed as the family's max_density() forms it.
    double max_density() const override {
        return PcSaftFamily::kClosePacking / (helmholtz::kPiOver6 * line_.mom.s3);
    }

  private:
    PcSaftAggregates aggregates_;
    LinePieces line_;
};

}  // namespace

// A line and an isotherm are made per solve; glibc serves blocks up to 1032 bytes from a per-thread
// cache at a fraction of a larger block's cost.
static_assert(sizeof(PcSaftLine) <= 1024);

std::unique_ptr<DensityLine> PcSaftFamily::density_line(double t, const double *x) const {
    return std::make_unique<PcSaftLine>(*this, t, x);
}
double PcSaftFamily::temperature_slope(double t, double rho, const double *x) const {
    return PcSaftAggregates(*this).temperature_slope(t, rho, x);
}

namespace {

// A pure fluid's amount derivatives from its (T, rho) ones (Psi = n alpha_r(T, n/V)).
void pure_amounts(const AlpharDerivatives &d, double amount, double v, AmountDerivativeSpans &r) {
    const double rho = amount / v;
    r.psi = amount * d.a;
    if (!r.gradient.empty()) r.gradient[0] = d.a + rho * d.a_rho;
    if (!r.hessian.empty()) r.hessian[0] = (2.0 * rho * d.a_rho + rho * rho * d.a_rhorho) / amount;
    if (!r.d_v.empty()) r.d_v[0] = -(2.0 * d.a_rho + rho * d.a_rhorho) * rho / v;
    if (!r.d_t.empty()) r.d_t[0] = d.a_t + rho * d.a_trho;
}

void check_amounts(std::size_t size, std::size_t n) {
    if (n != size) throw std::invalid_argument("one amount or mole fraction per component is needed");
}

class PcSaftIsotherm final : public AmountIsotherm {
  public:
    PcSaftIsotherm(const PcSaftFamily &f, double t)
        : family_(f), aggregates_(f), stage_(f.size()), size_(f.size()), pure_(f.size() == 1) {
        if (!pure_) aggregates_.temperature_stage(t, stage_);
        stage_.t = t;
    }
    void at(std::span<const double> rho, AmountDerivativeSpans &out) const override {
        check_amounts(size_, rho.size());
        if (pure_) {
            const double x = 1.0;
            pure_amounts(aggregates_.t_rho(stage_.t, rho[0], &x), rho[0], 1.0, out);
        } else {
            aggregates_.amounts(stage_.view(), 1.0, rho, out, nullptr);
        }
    }
    std::unique_ptr<DensityLine> line(const double *x) const override {
        if (pure_) return std::make_unique<PcSaftLine>(family_, stage_.t, x);
        return std::make_unique<PcSaftLine>(family_, stage_.view(), x);
    }

  private:
    const PcSaftFamily &family_;
    PcSaftAggregates aggregates_;
    PcSaftAggregates::TemperatureStage<4> stage_;
    std::size_t size_;
    bool pure_;
};

}  // namespace

static_assert(sizeof(PcSaftIsotherm) <= 1024);  // as a line's (above)

std::unique_ptr<AmountIsotherm> PcSaftFamily::amount_isotherm(double t) const {
    return std::make_unique<PcSaftIsotherm>(*this, t);
}

void PcSaftFamily::amount_derivatives(double t, double v, std::span<const double> n, AmountDerivativeSpans &out) const {
    check_amounts(size(), n.size());
    const PcSaftAggregates aggregates(*this);
    if (size() == 1) {
        const double x = 1.0;
        pure_amounts(aggregates.t_rho(t, n[0] / v, &x), n[0], v, out);
        return;
    }
    aggregates.amounts(t, v, n, out);
}

void PcSaftFamily::second_derivatives(double t, double rho, std::span<const double> n, AlpharDerivatives &t_rho,
                                      AmountDerivativeSpans &amounts) const {
    check_amounts(size(), n.size());
    const PcSaftAggregates aggregates(*this);
    const double total = std::accumulate(n.begin(), n.end(), 0.0);
    Buffer<double, 16> x(size());
    for (std::size_t k = 0; k < size(); ++k) x[k] = n[k] / total;
    if (size() == 1) {
        t_rho = aggregates.t_rho(t, rho, x.data());
        pure_amounts(t_rho, total, total / rho, amounts);
    } else {
        // The density derivatives as density_slopes() forms them; those along T from the amount
        // stage's aggregates, which carry T already (no second pass in T through the terms).
        PcSaftAggregates::AlongT along;
        aggregates.amounts(t, total / rho, n, amounts, &along);
        const helmholtz::Term<double> at = aggregates.analytic(t, rho, x.data());
        t_rho.a = at.a;
        t_rho.a_rho = at.a_rho;
        t_rho.a_rhorho = at.a_rhorho;
        t_rho.a_t = along.f_t / rho;
        t_rho.a_tt = along.f_tt / rho;
        t_rho.a_trho = (along.f_t_rho - t_rho.a_t) / rho;
    }
    t_rho.a_rhorhorho = std::numeric_limits<double>::quiet_NaN();
}

}  // namespace keld::model
