// Exact derivatives of PC-SAFT's alpha_r without a pass of automatic
// differentiation per seeded direction (see pcsaft_family.h).
//
// (T, rho) at constant x: the contributions' own analytic density derivatives
// (a, a_rho, a_rhorho), evaluated once with a second-order Taylor number in T.
// The amount derivatives are in pcsaft_amounts.cpp.
#include <limits>
#include <memory>
#include <numeric>

#include "model/families/pcsaft_aggregates.h"

namespace keld::model {

namespace {

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

terms::DispersionSumsOf<T2> PcSaftAggregates::sums_along_t(double t, const double *x) const {
    if (f_.cross_varies_) return sums<false, T2>(T2::variable(t), x, nullptr, nullptr);
    const terms::DispersionSumsOf<double> q = sums<false, double>(t, x, nullptr, nullptr);
    const double inv_t = 1.0 / t;
    return {as_inverse_t(q.d1, inv_t), as_inverse_t_squared(q.d2, inv_t)};
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

std::unique_ptr<DensityLine> pcsaft_line(const PcSaftFamily &f, const PcSaftAggregates::StageView *stage, double t,
                                         const double *x) {
    if (stage == nullptr) return std::make_unique<PcSaftLine>(f, t, x);
    return std::make_unique<PcSaftLine>(f, *stage, x);
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
