// Sanchez-Lacombe residual terms and state properties against independent
// oracles: complex-step derivatives of the lattice-fluid Helmholtz energy,
// mole-number derivatives for ln phi, Gibbs-Helmholtz relations along
// isobars, and the reduced lattice-fluid equation of state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "sanchez_lacombe/sl_residual.h"
#include "sanchez_lacombe/sl_state.h"

namespace sl = keld::sanchez_lacombe;

namespace {

constexpr double kGasConstant = 8314.0;
constexpr double kReferencePressure = 101325.0;
using cplx = std::complex<double>;

// Three listed components out of NC = 4: a solvent (component 3), a light
// gas (component 1) and a polymer (component 4, r ~ 1600). Component 2 is
// not listed and carries poison values, so any indexing slip shows.
struct MixtureData {
    static constexpr std::int64_t nc = 4;
    std::vector<std::int64_t> idx{3, 1, 4};
    std::vector<double> x{0.6, 0.398, 0.002};
    std::vector<double> r = std::vector<double>(nc, 1e6);
    std::vector<double> eps = std::vector<double>(nc * nc, -1e30);
    std::vector<double> vol = std::vector<double>(nc * nc, 1e30);

    MixtureData() {
        // T* (K), P* (Pa), rho* (kg/m3), MW, k_ij, eta_ij by listed position.
        const double t_star[] = {543.0, 305.0, 735.0}, p_star[] = {402e6, 574.5e6, 357e6};
        const double rho_star[] = {966.0, 1510.0, 1105.0}, mw[] = {92.14, 44.01, 30000.0};
        const double kij[3][3] = {{0, 0.08, -0.02}, {0.08, 0, 0.05}, {-0.02, 0.05, 0}};
        const double eta[3][3] = {{0, 0.01, 0.03}, {0.01, 0, -0.02}, {0.03, -0.02, 0}};
        for (int k = 0; k < 3; ++k) {
            r[idx[k] - 1] = mw[k] * p_star[k] / (rho_star[k] * kGasConstant * t_star[k]);
            for (int l = 0; l < 3; ++l) {
                const double ek = kGasConstant * t_star[k], el = kGasConstant * t_star[l];
                eps[at(idx[k], idx[l])] = (1.0 - kij[k][l]) * std::sqrt(ek * el);
                vol[at(idx[k], idx[l])] = 0.5 * (1.0 - eta[k][l]) * (ek / p_star[k] + el / p_star[l]);
            }
        }
    }
    static std::size_t at(std::int64_t i, std::int64_t j) { return static_cast<std::size_t>((j - 1) * nc + (i - 1)); }
    sl::Mixture mixture() const {
        return {kGasConstant, nc, n(), idx.data(), x.data(), r.data(), eps.data(), vol.data()};
    }
    std::int64_t n() const { return static_cast<std::int64_t>(idx.size()); }
};

// Forward-mode dual number v + d eps (eps^2 = 0). Over complex values a
// complex step of the dual part gives an exact second derivative.
template <class S>
struct Dual {
    S v, d;
    Dual(double x = 0.0) : v(x), d(0.0) {}
    Dual(S value, S derivative) : v(value), d(derivative) {}
    friend Dual operator+(Dual a, Dual b) { return {a.v + b.v, a.d + b.d}; }
    friend Dual operator-(Dual a, Dual b) { return {a.v - b.v, a.d - b.d}; }
    friend Dual operator*(Dual a, Dual b) { return {a.v * b.v, a.d * b.v + a.v * b.d}; }
    friend Dual operator/(Dual a, Dual b) { return {a.v / b.v, (a.d * b.v - a.v * b.d) / (b.v * b.v)}; }
    friend Dual log(Dual a) { return {std::log(a.v), a.d / a.v}; }
    Dual &operator+=(Dual b) { return *this = *this + b; }
};

// Lattice-fluid residual Helmholtz energy per mole over RT,
// r[(1/rho~ - 1) ln(1 - rho~) + 1 - rho~/T~], with the mixing sums taken over
// the given fractions as they stand (not renormalised), for any scalar type.
template <class S>
S lattice_fluid_a(const MixtureData &d, S t, S rho, const std::vector<S> &fractions) {
    S r_bar = 0.0, sum_v = 0.0, sum_ve = 0.0;
    for (std::size_t k = 0; k < fractions.size(); ++k) {
        const S wk = fractions[k] * d.r[d.idx[k] - 1];
        r_bar += wk;
        for (std::size_t l = 0; l < fractions.size(); ++l) {
            const std::size_t kl = MixtureData::at(d.idx[k], d.idx[l]);
            const S wl = fractions[l] * d.r[d.idx[l] - 1];
            sum_v += wk * wl * d.vol[kl];
            sum_ve += wk * wl * d.vol[kl] * d.eps[kl];
        }
    }
    const S t_red = kGasConstant * t * sum_v / sum_ve, rho_red = rho * sum_v / r_bar;
    using std::log;
    return r_bar * ((1.0 / rho_red - 1.0) * log(1.0 - rho_red) + 1.0 - rho_red / t_red);
}

std::vector<cplx> as_complex(const std::vector<double> &v) { return {v.begin(), v.end()}; }

// Complex-step derivative: f(x + ih) has imaginary part h f'(x) + O(h^3).
template <class F>
double complex_step(F f, double x) {
    const double h = 1e-30 * std::max(1.0, std::abs(x));
    return f(cplx(x, h)).imag() / h;
}

// Richardson-extrapolated central difference, error O(h^4).
template <class F>
double richardson(F f, double x, double h) {
    auto central = [&](double step) { return (f(x + step) - f(x - step)) / (2.0 * step); };
    return (4.0 * central(0.5 * h) - central(h)) / 3.0;
}

double density_at_reduced(const sl::Mixture &mix, double rho_red) {
    const sl::MixtureAverages avg = sl::mixture_averages(mix);
    return rho_red / (avg.r_bar * avg.v_star);
}

// Density where R T rho Z = P by Newton's method from a start on the wanted branch.
double solve_density(const sl::Mixture &mix, double t, double p, double rho) {
    const double rt = kGasConstant * t;
    for (int it = 0; it < 100; ++it) {
        const sl::ResidualValues v = sl::residual(mix, t, rho, {true, false, false}, nullptr);
        const double step = (rt * rho * (1.0 + rho * v.a_rho) - p) /
                            (rt * (1.0 + 2.0 * rho * v.a_rho + rho * rho * v.a_rhorho));
        rho -= step;
        if (std::abs(step) < 1e-15 * rho) break;
    }
    return rho;
}

struct Condition {
    double t, rho_red;
};
// Gas-like, dense liquid (Z > 0) and states inside the spinodal (Z < 0).
constexpr Condition kConditions[] = {{400.0, 0.01}, {400.0, 0.85}, {600.0, 0.6}, {300.0, 0.3}, {450.0, 0.95}};

#define EXPECT_REL(value, reference, rel) \
    EXPECT_NEAR(value, reference, (rel) * std::max(1.0, std::abs(reference)))

}  // namespace

TEST(SlResidual, DensityAndTemperatureDerivativesMatchComplexStep) {
    const MixtureData d;
    const sl::Mixture mix = d.mixture();
    const auto fractions = as_complex(d.x);
    for (const Condition &c : kConditions) {
        SCOPED_TRACE(testing::Message() << c.t << " K, rho~ " << c.rho_red);
        const double rho = density_at_reduced(mix, c.rho_red);
        const sl::ResidualValues v = sl::residual(mix, c.t, rho, {true, true, false}, nullptr);
        const double a_rhorho = complex_step(
            [&](cplx q) {
                using D = Dual<cplx>;
                return lattice_fluid_a<D>(d, D(c.t), D(q, 1.0), std::vector<D>(d.x.begin(), d.x.end())).d;
            },
            rho);
        EXPECT_NEAR(v.a, lattice_fluid_a<double>(d, c.t, rho, d.x), 1e-12 * std::abs(v.a));
        EXPECT_NEAR(v.a_rho, complex_step([&](cplx q) { return lattice_fluid_a<cplx>(d, c.t, q, fractions); }, rho),
                    1e-12 * std::abs(v.a_rho));
        EXPECT_NEAR(v.a_t, complex_step([&](cplx q) { return lattice_fluid_a<cplx>(d, q, rho, fractions); }, c.t),
                    1e-12 * std::abs(v.a_t));
        EXPECT_NEAR(v.a_rhorho, a_rhorho, 1e-9 * std::abs(a_rhorho));
    }
    // Derivatives not asked for are left at zero.
    const sl::ResidualValues plain = sl::residual(mix, 400.0, density_at_reduced(mix, 0.5), {}, nullptr);
    EXPECT_EQ(plain.a_rhorho, 0.0);
    EXPECT_EQ(plain.a_t, 0.0);
}

// ln phi_k + ln Z = d(n a)/d n_k at constant T and V (one mole in 1/rho), and
// the mole-fraction average of ln phi is G - G_ig(T, P) over RT.
TEST(SlState, LogFugacityMatchesMoleNumberDerivativeAndAveragesToGibbsEnergy) {
    const MixtureData d;
    const sl::Mixture mix = d.mixture();
    const double p = 3e6;
    for (const Condition &c : kConditions) {
        SCOPED_TRACE(testing::Message() << c.t << " K, rho~ " << c.rho_red);
        const double rho = density_at_reduced(mix, c.rho_red);
        std::vector<double> phi(d.n()), phi_direct(d.n()), m(d.n());
        const sl::StateProperties st =
            sl::state_properties(mix, c.t, p, kReferencePressure, rho, {false, true, true}, m.data(), phi.data());
        if (st.z <= 0.0) continue;  // the identity needs the true ln Z
        // Without scratch the composition terms are formed inside phi.
        sl::state_properties(mix, c.t, p, kReferencePressure, rho, {}, nullptr, phi_direct.data());
        double average = 0.0;
        for (std::int64_t k = 0; k < d.n(); ++k) {
            const double ref = complex_step(
                [&](cplx q) {
                    auto moles = as_complex(d.x);
                    moles[k] = q;
                    cplx total = 0.0;
                    for (const cplx &n : moles) total += n;
                    for (cplx &f : moles) f /= total;
                    return total * lattice_fluid_a<cplx>(d, cplx(c.t), total * rho, moles);
                },
                d.x[k]);
            EXPECT_REL(phi[k] + std::log(st.z), ref, 1e-10) << k;
            EXPECT_EQ(phi_direct[k], phi[k]);
            average += d.x[k] * phi[k];
        }
        EXPECT_REL(average, st.g / (kGasConstant * c.t) - std::log(p / kReferencePressure), 1e-10);
    }
}

TEST(SlState, DeparturesAreConsistentAlongIsobarsAndIsotherms) {
    // Liquid at high pressure and gas at low pressure, densities re-solved at
    // every temperature and pressure: -T^2 d(G/RT)/dT = H, -dG/dT = S, dG/dP = V.
    const MixtureData d;
    const sl::Mixture mix = d.mixture();
    const struct {
        double t, p, rho_red_start;
    } cases[] = {{400.0, 2e7, 0.95}, {450.0, 1e5, 0.0}};
    for (const auto &c : cases) {
        auto props = [&](double t, double p) {
            const double start = c.rho_red_start > 0.0 ? density_at_reduced(mix, c.rho_red_start) : p / (kGasConstant * t);
            return sl::state_properties(mix, t, p, kReferencePressure, solve_density(mix, t, p, start), {false, true, false},
                                        nullptr, nullptr);
        };
        const sl::StateProperties st = props(c.t, c.p);
        ASSERT_GT(st.z, 0.0);
        EXPECT_NEAR(st.p_calc, c.p, 1e-9 * c.p);
        const double h_ref =
            -kGasConstant * c.t * c.t * richardson([&](double t) { return props(t, c.p).g / (kGasConstant * t); }, c.t, 0.5);
        EXPECT_NEAR(st.h, h_ref, 1e-7 * std::abs(h_ref) + 1e-3);
        const double s_ref = -richardson([&](double t) { return props(t, c.p).g; }, c.t, 0.5);
        EXPECT_NEAR(st.s, s_ref, 1e-7 * std::abs(s_ref) + 1e-6);
        // G - G_ig(T, P_ref) carries R T ln(P/P_ref), so its pressure slope is V itself.
        EXPECT_NEAR(richardson([&](double p) { return props(c.t, p).g; }, c.p, 1e-3 * c.p), st.v, 1e-8 * st.v);
    }
}

TEST(SlState, ZeroDensityIsTheIdealGasAndLowDensitiesApproachItContinuously) {
    const MixtureData d;
    const sl::Mixture mix = d.mixture();
    const double t = 350.0, p = 5e5;
    std::vector<double> m(d.n(), 99.0), phi(d.n(), 99.0);
    const sl::ResidualValues v = sl::residual(mix, t, 0.0, {true, true, true}, m.data());
    EXPECT_TRUE(v.a == 0.0 && v.a_rho == 0.0 && v.a_rhorho == 0.0 && v.a_t == 0.0);
    for (double mk : m) EXPECT_EQ(mk, 0.0);

    const sl::StateProperties st =
        sl::state_properties(mix, t, p, kReferencePressure, 0.0, {false, true, true}, nullptr, phi.data());
    const double log_p = std::log(p / kReferencePressure);
    EXPECT_EQ(st.z, 1.0);
    EXPECT_EQ(st.p_calc, p);  // R T rho Z = 0 is not positive
    EXPECT_TRUE(std::isinf(st.v));
    EXPECT_EQ(st.h, 0.0);
    EXPECT_DOUBLE_EQ(st.s, -kGasConstant * log_p);
    EXPECT_DOUBLE_EQ(st.g, kGasConstant * t * log_p);
    for (double lp : phi) EXPECT_EQ(lp, 0.0);

    // At rho~ ~ 1e-15, ln(1 - rho~) must keep its digits (log1p) for Z and H to stay ideal.
    const sl::StateProperties dilute =
        sl::state_properties(mix, t, p, kReferencePressure, 1e-14, {false, true, false}, nullptr, nullptr);
    EXPECT_NEAR(dilute.z, 1.0, 1e-10);
    EXPECT_NEAR(dilute.h / (kGasConstant * t), 0.0, 1e-10);
}

// A pure component: the averages are its own parameters, ln phi = Z - 1 + a - ln Z,
// and Z satisfies rho~^2 + P~ + T~ [ln(1 - rho~) + (1 - 1/r) rho~] = 0.
TEST(SlResidual, PureComponentSatisfiesReducedLatticeFluidEquation) {
    MixtureData d;
    for (std::int64_t comp : {1, 3, 4}) {
        d.idx = {comp};
        d.x = {1.0};
        const sl::Mixture mix = d.mixture();
        const double r = d.r[comp - 1], v_star = d.vol[d.at(comp, comp)], e_star = d.eps[d.at(comp, comp)];
        const sl::MixtureAverages avg = sl::mixture_averages(mix);
        EXPECT_DOUBLE_EQ(avg.r_bar, r);
        EXPECT_DOUBLE_EQ(avg.v_star, v_star);
        EXPECT_DOUBLE_EQ(avg.eps_star, e_star);
        for (double t : {250.0, 400.0, 700.0}) {
            for (double rho_red : {1e-4, 0.2, 0.5, 0.8, 0.97}) {
                SCOPED_TRACE(testing::Message() << comp << " " << t << " K, rho~ " << rho_red);
                const double rho = rho_red / (r * v_star);
                double phi = 0.0;
                const sl::StateProperties st =
                    sl::state_properties(mix, t, 1e5, kReferencePressure, rho, {}, nullptr, &phi);
                const double p_red = kGasConstant * t * rho * st.z * v_star / e_star, t_red = kGasConstant * t / e_star;
                const double lhs = rho_red * rho_red + p_red + t_red * (std::log(1.0 - rho_red) + (1.0 - 1.0 / r) * rho_red);
                const double scale = rho_red * rho_red + std::abs(p_red) + t_red * std::abs(std::log(1.0 - rho_red));
                EXPECT_NEAR(lhs, 0.0, 1e-12 * scale);
                if (st.z > 0.0) {
                    const double a = sl::residual(mix, t, rho, {}, nullptr).a;
                    EXPECT_REL(phi, (st.z - 1.0) + a - std::log(st.z), 1e-12);
                }
            }
        }
    }
}

TEST(SlState, NonPositiveCompressibilityUsesFloor) {
    const MixtureData d;
    const sl::Mixture mix = d.mixture();
    const double t = 300.0, p = 4e6, rho = density_at_reduced(mix, 0.3);
    std::vector<double> phi(d.n()), m(d.n());
    const sl::StateProperties st =
        sl::state_properties(mix, t, p, kReferencePressure, rho, {false, true, true}, m.data(), phi.data());
    ASSERT_LT(st.z, 0.0);
    EXPECT_EQ(st.zc, sl::kSmallestCompressibility);
    EXPECT_EQ(st.p_calc, p);
    EXPECT_DOUBLE_EQ(st.v, 1.0 / rho);

    // Every logarithm and every (Zc - 1) uses the floor, not the negative Z.
    const sl::ResidualValues v = sl::residual(mix, t, rho, {false, true, false}, nullptr);
    const double log_floor = std::log(1e-35), rt = kGasConstant * t;
    EXPECT_NEAR(st.h / rt, -1.0 - t * v.a_t, 1e-12 * std::abs(st.h / rt));
    EXPECT_NEAR(st.g / rt, -1.0 + v.a - log_floor + std::log(p / kReferencePressure), 1e-12 * std::abs(st.g / rt));
    EXPECT_NEAR(st.s, (st.h - st.g) / t, 1e-12 * std::abs(st.s));
    double average = 0.0;
    for (std::int64_t k = 0; k < d.n(); ++k) average += d.x[k] * phi[k];
    EXPECT_NEAR(average, -1.0 + v.a - log_floor, 1e-11 * std::abs(average));
}
