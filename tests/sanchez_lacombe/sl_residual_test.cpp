// Sanchez-Lacombe residual terms and state properties against independent
// oracles: complex-step derivatives of the lattice-fluid Helmholtz energy,
// mole-number derivatives for ln phi, Gibbs-Helmholtz relations along
// isobars, and the reduced lattice-fluid equation of state.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <sstream>
#include <string>
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
        // T* (K), P* (Pa), rho* (kg/m3), MW by listed position.
        const double t_star[] = {543.0, 305.0, 735.0};
        const double p_star[] = {402e6, 574.5e6, 357e6};
        const double rho_star[] = {966.0, 1510.0, 1105.0};
        const double mw[] = {92.14, 44.01, 30000.0};
        const double kij[3][3] = {{0, 0.08, -0.02}, {0.08, 0, 0.05}, {-0.02, 0.05, 0}};
        const double eta[3][3] = {{0, 0.01, 0.03}, {0.01, 0, -0.02}, {0.03, -0.02, 0}};
        for (int k = 0; k < 3; ++k)
            r[idx[k] - 1] = mw[k] * p_star[k] / (rho_star[k] * kGasConstant * t_star[k]);
        for (int k = 0; k < 3; ++k) {
            for (int l = 0; l < 3; ++l) {
                const double ek = kGasConstant * t_star[k], el = kGasConstant * t_star[l];
                const double vk = kGasConstant * t_star[k] / p_star[k], vl = kGasConstant * t_star[l] / p_star[l];
                at(eps, idx[k], idx[l]) = (1.0 - kij[k][l]) * std::sqrt(ek * el);
                at(vol, idx[k], idx[l]) = 0.5 * (1.0 - eta[k][l]) * (vk + vl);
            }
        }
    }
    static double &at(std::vector<double> &m, std::int64_t i, std::int64_t j) { return m[(j - 1) * nc + (i - 1)]; }
    double cross(const std::vector<double> &m, std::int64_t i, std::int64_t j) const {
        return m[(j - 1) * nc + (i - 1)];
    }
    sl::Mixture mixture() const {
        return sl::Mixture{kGasConstant, nc, static_cast<std::int64_t>(idx.size()), idx.data(), x.data(),
                           r.data(),     eps.data(), vol.data()};
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
// r[(1/rho~ - 1) ln(1 - rho~) + 1 - rho~/T~], with the mixing sums taken
// over the given fractions as they stand (not renormalised), written for
// any scalar type so that complex steps give exact derivatives.
template <class S>
S lattice_fluid_a(const MixtureData &d, S t, S rho, const std::vector<S> &fractions) {
    S r_bar = 0.0, sum_v = 0.0, sum_ve = 0.0;
    for (std::size_t k = 0; k < fractions.size(); ++k) {
        const S wk = fractions[k] * d.r[d.idx[k] - 1];
        r_bar += wk;
        for (std::size_t l = 0; l < fractions.size(); ++l) {
            const S wl = fractions[l] * d.r[d.idx[l] - 1];
            sum_v += wk * wl * d.cross(d.vol, d.idx[k], d.idx[l]);
            sum_ve += wk * wl * d.cross(d.vol, d.idx[k], d.idx[l]) * d.cross(d.eps, d.idx[k], d.idx[l]);
        }
    }
    const S v_mix = sum_v / (r_bar * r_bar);
    const S t_red = kGasConstant * t * sum_v / sum_ve;
    const S rho_red = r_bar * rho * v_mix;
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

std::string scientific(double value) {
    std::ostringstream out;
    out << std::scientific << value;
    return out.str();
}

double relative_deviation(double value, double reference) {
    return std::abs(value - reference) / std::max(std::abs(reference), 1e-300);
}

double density_at_reduced(const sl::Mixture &mix, double rho_red) {
    const sl::MixtureAverages avg = sl::mixture_averages(mix);
    return rho_red / (avg.r_bar * avg.v_star);
}

// Density where R T rho Z = P by Newton's method from a start on the wanted
// branch (the model's own derivatives drive the steps; the tests check them).
double solve_density(const sl::Mixture &mix, double t, double p, double rho) {
    const double rt = kGasConstant * t;
    for (int it = 0; it < 100; ++it) {
        const sl::ResidualValues v = sl::residual(mix, t, rho, {true, false, false}, nullptr);
        const double f = rt * rho * (1.0 + rho * v.a_rho) - p;
        const double df = rt * (1.0 + 2.0 * rho * v.a_rho + rho * rho * v.a_rhorho);
        const double step = f / df;
        rho -= step;
        if (std::abs(step) < 1e-15 * rho) break;
    }
    return rho;
}

struct Condition {
    double t, rho_red;
};
// Gas-like, dense liquid (Z > 0) and a state inside the spinodal (Z < 0).
constexpr Condition kConditions[] = {{400.0, 0.01}, {400.0, 0.85}, {600.0, 0.6}, {300.0, 0.3}, {450.0, 0.95}};

}  // namespace

TEST(SlResidual, DensityAndTemperatureDerivativesMatchComplexStep) {
    const MixtureData d;
    const sl::Mixture mix = d.mixture();
    const auto fractions = as_complex(d.x);
    double worst = 0.0;
    for (const Condition &c : kConditions) {
        const double rho = density_at_reduced(mix, c.rho_red);
        const sl::ResidualValues v = sl::residual(mix, c.t, rho, {true, true, false}, nullptr);

        const double a_ref = lattice_fluid_a<double>(d, c.t, rho, d.x);
        const double a_rho_ref = complex_step([&](cplx q) { return lattice_fluid_a<cplx>(d, c.t, q, fractions); }, rho);
        const double a_t_ref = complex_step([&](cplx q) { return lattice_fluid_a<cplx>(d, q, rho, fractions); }, c.t);
        const double a_rhorho_ref = complex_step(
            [&](cplx q) {
                using D = Dual<cplx>;
                std::vector<D> x(d.x.begin(), d.x.end());
                return lattice_fluid_a<D>(d, D(c.t), D(q, 1.0), x).d;
            },
            rho);

        EXPECT_LT(relative_deviation(v.a, a_ref), 1e-12) << c.t << " " << c.rho_red;
        EXPECT_LT(relative_deviation(v.a_rho, a_rho_ref), 1e-12) << c.t << " " << c.rho_red;
        EXPECT_LT(relative_deviation(v.a_t, a_t_ref), 1e-12) << c.t << " " << c.rho_red;
        EXPECT_LT(relative_deviation(v.a_rhorho, a_rhorho_ref), 1e-9) << c.t << " " << c.rho_red;
        worst = std::max({worst, relative_deviation(v.a_rho, a_rho_ref), relative_deviation(v.a_t, a_t_ref),
                          relative_deviation(v.a_rhorho, a_rhorho_ref)});
    }
    RecordProperty("worst_derivative_deviation", scientific(worst));

    // Derivatives not asked for are left at zero.
    const sl::ResidualValues plain = sl::residual(mix, 400.0, density_at_reduced(mix, 0.5), {}, nullptr);
    EXPECT_EQ(plain.a_rhorho, 0.0);
    EXPECT_EQ(plain.a_t, 0.0);
}

TEST(SlState, LogFugacityMatchesMoleNumberDerivativeAtConstantVolume) {
    const MixtureData d;
    const sl::Mixture mix = d.mixture();
    double worst = 0.0;
    for (const Condition &c : kConditions) {
        const double rho = density_at_reduced(mix, c.rho_red);
        std::vector<double> phi(d.n()), phi_direct(d.n()), m(d.n());
        const sl::StateProperties st =
            sl::state_properties(mix, c.t, 1e6, kReferencePressure, rho, {false, false, true}, m.data(), phi.data());
        if (st.z <= 0.0) continue;  // the identity needs the true ln Z
        // Without scratch the composition terms are formed inside phi.
        sl::state_properties(mix, c.t, 1e6, kReferencePressure, rho, {}, nullptr, phi_direct.data());

        // ln phi_k + ln Z = d(n a)/d n_k at constant T and V, taken with one
        // mole in the volume 1/rho.
        const double volume = 1.0 / rho;
        for (std::int64_t k = 0; k < d.n(); ++k) {
            const double ref = complex_step(
                [&](cplx q) {
                    auto moles = as_complex(d.x);
                    moles[k] = q;
                    cplx total = 0.0;
                    for (const cplx &n : moles) total += n;
                    auto fractions = moles;
                    for (cplx &f : fractions) f /= total;
                    return total * lattice_fluid_a<cplx>(d, cplx(c.t), total / volume, fractions);
                },
                d.x[k]);
            const double value = phi[k] + std::log(st.z);
            EXPECT_NEAR(value, ref, 1e-10 * std::max(1.0, std::abs(ref))) << k << " at " << c.t << " " << c.rho_red;
            EXPECT_EQ(phi_direct[k], phi[k]);
            worst = std::max(worst, relative_deviation(value, ref));
        }
    }
    RecordProperty("worst_ln_phi_deviation", scientific(worst));
}

TEST(SlState, MixtureGibbsEnergyIsMoleFractionAverageOfLogFugacities) {
    const MixtureData d;
    const sl::Mixture mix = d.mixture();
    const double p = 3e6;
    for (const Condition &c : kConditions) {
        const double rho = density_at_reduced(mix, c.rho_red);
        std::vector<double> phi(d.n());
        const sl::StateProperties st =
            sl::state_properties(mix, c.t, p, kReferencePressure, rho, {false, true, true}, nullptr, phi.data());
        double average = 0.0;
        for (std::int64_t k = 0; k < d.n(); ++k) average += d.x[k] * phi[k];
        const double g_res = st.g / (kGasConstant * c.t) - std::log(p / kReferencePressure);
        EXPECT_NEAR(average, g_res, 1e-10 * std::max(1.0, std::abs(g_res))) << c.t << " " << c.rho_red;
        const double a = sl::residual(mix, c.t, rho, {}, nullptr).a;
        EXPECT_NEAR(g_res, (st.zc - 1.0) + a - std::log(st.zc), 1e-12 * std::max(1.0, std::abs(g_res)));
    }
}

TEST(SlState, DeparturesFollowTemperatureDerivativeOfHelmholtzEnergy) {
    const MixtureData d;
    const sl::Mixture mix = d.mixture();
    const double p = 2e6;
    const auto fractions = as_complex(d.x);
    for (const Condition &c : kConditions) {
        const double rho = density_at_reduced(mix, c.rho_red);
        const sl::StateProperties st =
            sl::state_properties(mix, c.t, p, kReferencePressure, rho, {false, true, false}, nullptr, nullptr);
        if (st.z <= 0.0) continue;
        const double rt = kGasConstant * c.t;
        // Z from the complex-step density derivative, a_T likewise.
        const double z = 1.0 + rho * complex_step([&](cplx q) { return lattice_fluid_a<cplx>(d, c.t, q, fractions); }, rho);
        const double a_t = complex_step([&](cplx q) { return lattice_fluid_a<cplx>(d, q, rho, fractions); }, c.t);
        EXPECT_NEAR(st.h / rt, (z - 1.0) - c.t * a_t, 1e-11 * std::max(1.0, std::abs(st.h / rt)));
        EXPECT_NEAR(st.s, (st.h - st.g) / c.t, 1e-11 * std::max(1.0, std::abs(st.s)));
    }
}

TEST(SlState, DeparturesAreConsistentAlongIsobarsAndIsotherms) {
    // Liquid at high pressure and gas at low pressure, densities re-solved at
    // every temperature and pressure: -T^2 d(G/RT)/dT = H, -dG/dT = S,
    // dG/dP = V.
    const MixtureData d;
    const sl::Mixture mix = d.mixture();
    struct Isobar {
        double t, p, rho_red_start;
    };
    const Isobar cases[] = {{400.0, 2e7, 0.95}, {450.0, 1e5, 0.0}};
    for (const Isobar &c : cases) {
        auto start = [&](double t, double p) {
            return c.rho_red_start > 0.0 ? density_at_reduced(mix, c.rho_red_start) : p / (kGasConstant * t);
        };
        auto props = [&](double t, double p) {
            const double rho = solve_density(mix, t, p, start(t, p));
            return sl::state_properties(mix, t, p, kReferencePressure, rho, {false, true, false}, nullptr, nullptr);
        };
        const sl::StateProperties st = props(c.t, c.p);
        ASSERT_GT(st.z, 0.0);
        EXPECT_NEAR(st.p_calc, c.p, 1e-9 * c.p);

        const double dgrt_dt = richardson([&](double t) { return props(t, c.p).g / (kGasConstant * t); }, c.t, 0.5);
        const double h_ref = -kGasConstant * c.t * c.t * dgrt_dt;
        EXPECT_NEAR(st.h, h_ref, 1e-7 * std::abs(h_ref) + 1e-3);

        const double s_ref = -richardson([&](double t) { return props(t, c.p).g; }, c.t, 0.5);
        EXPECT_NEAR(st.s, s_ref, 1e-7 * std::abs(s_ref) + 1e-6);

        const double dg_dp = richardson([&](double p) { return props(c.t, p).g; }, c.p, 1e-3 * c.p);
        // G - G_ig(T, P_ref) carries R T ln(P/P_ref), so its pressure slope is V itself.
        EXPECT_NEAR(dg_dp, st.v, 1e-8 * st.v);
    }
}

TEST(SlState, ZeroDensityIsTheIdealGas) {
    const MixtureData d;
    const sl::Mixture mix = d.mixture();
    const double t = 350.0, p = 5e5;
    std::vector<double> m(d.n(), 99.0), phi(d.n(), 99.0);
    const sl::ResidualValues v = sl::residual(mix, t, 0.0, {true, true, true}, m.data());
    EXPECT_EQ(v.a, 0.0);
    EXPECT_EQ(v.a_rho, 0.0);
    EXPECT_EQ(v.a_rhorho, 0.0);
    EXPECT_EQ(v.a_t, 0.0);
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

    // The low-density limit approaches the same values continuously.
    const sl::StateProperties dilute =
        sl::state_properties(mix, t, p, kReferencePressure, 1e-14, {false, true, false}, nullptr, nullptr);
    EXPECT_NEAR(dilute.z, 1.0, 1e-10);
    EXPECT_NEAR(dilute.h / (kGasConstant * t), 0.0, 1e-10);
}

TEST(SlResidual, SingleComponentReducesToPureFluid) {
    MixtureData d;
    d.idx = {4};
    d.x = {1.0};
    const sl::Mixture mix = d.mixture();
    const sl::MixtureAverages avg = sl::mixture_averages(mix);
    EXPECT_DOUBLE_EQ(avg.r_bar, d.r[3]);
    EXPECT_DOUBLE_EQ(avg.v_star, d.cross(d.vol, 4, 4));
    EXPECT_DOUBLE_EQ(avg.eps_star, d.cross(d.eps, 4, 4));

    const double t = 500.0, rho = density_at_reduced(mix, 0.9);
    double m = 0.0, phi = 0.0;
    const sl::ResidualValues v = sl::residual(mix, t, rho, {}, nullptr);
    const sl::StateProperties st =
        sl::state_properties(mix, t, 1e6, kReferencePressure, rho, {false, false, true}, &m, &phi);
    ASSERT_GT(st.z, 0.0);
    // S1 = S2 = 0, so m equals d(a)/d(x) along r_bar = x r alone: a + rho a_rho.
    EXPECT_NEAR(m, v.a + rho * v.a_rho, 1e-12 * std::abs(m));
    EXPECT_NEAR(phi, (st.z - 1.0) + v.a - std::log(st.z), 1e-12 * std::max(1.0, std::abs(phi)));
}

TEST(SlResidual, PureComponentSatisfiesReducedLatticeFluidEquation) {
    MixtureData d;
    for (std::int64_t comp : {1, 3, 4}) {
        d.idx = {comp};
        d.x = {1.0};
        const sl::Mixture mix = d.mixture();
        const double r = d.r[comp - 1], v_star = d.cross(d.vol, comp, comp), e_star = d.cross(d.eps, comp, comp);
        for (double t : {250.0, 400.0, 700.0}) {
            for (double rho_red : {1e-4, 0.2, 0.5, 0.8, 0.97}) {
                const double rho = rho_red / (r * v_star);
                const sl::StateProperties st =
                    sl::state_properties(mix, t, 1e5, kReferencePressure, rho, {}, nullptr, nullptr);
                const double p = kGasConstant * t * rho * st.z;  // may be negative inside the spinodal
                const double p_red = p * v_star / e_star, t_red = kGasConstant * t / e_star;
                const double lhs = rho_red * rho_red + p_red + t_red * (std::log(1.0 - rho_red) + (1.0 - 1.0 / r) * rho_red);
                const double scale = rho_red * rho_red + std::abs(p_red) + t_red * std::abs(std::log(1.0 - rho_red));
                EXPECT_NEAR(lhs, 0.0, 1e-12 * scale) << comp << " " << t << " " << rho_red;
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
