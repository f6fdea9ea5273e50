// The residual prepared once per temperature (what the density search and the property step use)
// against the one-shot residual: the density search must see exactly the model the properties are
// formed from, and pair sums formed for two temperatures in one pass must be those of two passes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "pcsaft/pcsaft_residual.h"

namespace keld::pcsaft {
namespace {

struct System {
    std::string name;
    std::int64_t ld;
    std::vector<std::int64_t> idx;
    std::vector<double> x, m, sigma, eps, eps_matrix;
};

// eps_ij = (1 - k) sqrt(eps_i eps_j) with one k for every pair; (i, j) and (j, i) may differ by `skew`.
System with_cross(System s, double k, double skew) {
    const std::size_t nc = s.eps.size();
    s.eps_matrix.assign(nc * nc, 0.0);
    for (std::size_t j = 0; j < nc; ++j)
        for (std::size_t i = 0; i < nc; ++i)
            s.eps_matrix[j * nc + i] = (i == j ? 1.0 : (1.0 - k) * (i < j ? 1.0 + skew : 1.0)) *
                                       std::sqrt(s.eps[i] * s.eps[j]);
    return s;
}

const std::vector<System> &systems() {
    static const std::vector<System> all = {
        with_cross({"n-hexane", 1, {1}, {1.0}, {3.0576}, {3.7983}, {236.77}, {}}, 0.0, 0.0),
        with_cross({"spheres and chains", 3, {3, 1}, {0.3, 0.7}, {1.0, 7.0, 2.0}, {3.70, 3.90, 3.62},
                    {150.0, 250.0, 208.0}, {}},
                   0.02, 0.0),
        with_cross({"polymer solution, skewed cross energies", 3, {2, 3, 1}, {0.001, 0.6, 0.399},
                    {2.5, 1900.0, 3.1}, {3.85, 4.10, 3.70}, {278.0, 267.0, 230.0}, {}},
                   -0.01, 0.03),
    };
    return all;
}

struct Vectors {
    std::vector<double> d, m, md, md2, md3, chain, dadx;
    explicit Vectors(std::size_t n) : d(n), m(n), md(n), md2(n), md3(n), chain(n), dadx(n) {}
    PositionVectors pos() { return {d.data(), m.data(), md.data(), md2.data(), md3.data(), chain.data()}; }
};

ResidualValues one_shot(const System &s, double t, double rho, ResidualSwitches sw, Vectors &v) {
    return residual(t, rho, s.ld, static_cast<std::int64_t>(s.idx.size()), s.idx.data(), s.x.data(), sw,
                    v.dadx.data(), s.m.data(), s.sigma.data(), s.eps.data(), s.eps_matrix.data(), v.pos());
}

// Temperatures and packing-fraction-like densities (kmol/m3 scaled by the system's size) covering
// vapour, liquid and dense states.
struct State {
    double t, rho_per_segment;
};
const State kStates[] = {{150.0, 5.0}, {298.15, 0.01}, {300.0, 4.0}, {450.0, 2.5}, {700.0, 6.0}};

double density(const System &s, double per_segment) {
    double m_bar = 0.0;
    for (std::size_t k = 0; k < s.idx.size(); ++k) m_bar += s.x[k] * s.m[s.idx[k] - 1];
    return per_segment / m_bar;
}

TEST(PcsaftIsotherm, DensitySearchAndPropertiesSeeTheOneShotResidualBitForBit) {
    for (const System &s : systems()) {
        const std::size_t n = s.idx.size();
        for (const State &st : kStates) {
            SCOPED_TRACE(s.name + " at " + std::to_string(st.t) + " K");
            const double rho = density(s, st.rho_per_segment);
            Vectors plain(n), prepared(n);
            const ResidualValues want = one_shot(s, st.t, rho, {true, true, true, true}, plain);

            std::vector<double> r1(n), r2(n);
            const terms::PairSums sums = terms::pair_sums(st.t, s.ld, static_cast<std::int64_t>(n), s.idx.data(),
                                                          s.x.data(), s.m.data(), s.sigma.data(),
                                                          s.eps_matrix.data(), r1.data(), r2.data());
            const Isotherm iso(st.t, static_cast<std::int64_t>(n), s.idx.data(), s.x.data(), s.m.data(),
                               s.sigma.data(), s.eps.data(), prepared.pos(), sums, true);
            const ResidualValues search = iso.density_derivatives(rho);
            EXPECT_EQ(search.a_rho, want.a_rho);
            EXPECT_EQ(search.a_rhorho, want.a_rhorho);

            const ResidualValues got = iso.at(rho, {true, true, true, true}, r1.data(), r2.data(),
                                              prepared.dadx.data());
            EXPECT_EQ(got.a, want.a);
            EXPECT_EQ(got.a_t, want.a_t);
            for (std::size_t k = 0; k < n; ++k) {
                EXPECT_EQ(prepared.dadx[k], plain.dadx[k]) << k;
                EXPECT_EQ(prepared.chain[k], plain.chain[k]) << k;
            }
        }
    }
}

TEST(PcsaftIsotherm, PairSumsOfTwoTemperaturesInOnePassAreThoseOfTwoPasses) {
    for (const System &s : systems()) {
        SCOPED_TRACE(s.name);
        const std::int64_t n = static_cast<std::int64_t>(s.idx.size());
        const double t = 300.0, t2 = 300.0 * (1.0 - 1e-4);
        std::vector<double> a1(n), a2(n), b1(n), b2(n), c1(n), c2(n), e1(n), e2(n);
        const terms::PairSums at_t = terms::pair_sums(t, s.ld, n, s.idx.data(), s.x.data(), s.m.data(),
                                                      s.sigma.data(), s.eps_matrix.data(), a1.data(), a2.data());
        const terms::PairSums at_t2 = terms::pair_sums(t2, s.ld, n, s.idx.data(), s.x.data(), s.m.data(),
                                                       s.sigma.data(), s.eps_matrix.data(), b1.data(), b2.data());
        terms::PairSums one, two;
        terms::pair_sums(t, t2, s.ld, n, s.idx.data(), s.x.data(), s.m.data(), s.sigma.data(), s.eps_matrix.data(),
                         {c1.data(), c2.data()}, {e1.data(), e2.data()}, one, two);
        EXPECT_EQ(one.d1, at_t.d1);
        EXPECT_EQ(one.d2, at_t.d2);
        EXPECT_EQ(two.d1, at_t2.d1);
        EXPECT_EQ(two.d2, at_t2.d2);
        EXPECT_EQ(one.eps_max, at_t.eps_max);
        EXPECT_EQ(two.t, t2);
        EXPECT_EQ(c1, a1);
        EXPECT_EQ(c2, a2);
        EXPECT_EQ(e1, b1);
        EXPECT_EQ(e2, b2);
        double largest = 0.0;
        for (double e : s.eps_matrix) largest = std::max(largest, e);
        if (n == s.ld) {
            EXPECT_EQ(one.eps_max, largest);  // every component listed
        }
    }
}

// Pair sums formed at one temperature serve another (D1 ~ 1/T, D2 ~ 1/T^2 at fixed cross energies).
TEST(PcsaftIsotherm, PairSumsOfAnotherTemperatureAreRescaled) {
    for (const System &s : systems()) {
        const std::size_t n = s.idx.size();
        for (const double t : {250.0, 299.97, 400.0}) {
            SCOPED_TRACE(s.name + " at " + std::to_string(t) + " K");
            const double rho = density(s, 4.0);
            Vectors plain(n), prepared(n);
            const ResidualValues want = one_shot(s, t, rho, {false, false, false, true}, plain);
            std::vector<double> r1(n), r2(n);
            const terms::PairSums at_300 = terms::pair_sums(300.0, s.ld, static_cast<std::int64_t>(n), s.idx.data(),
                                                            s.x.data(), s.m.data(), s.sigma.data(),
                                                            s.eps_matrix.data(), r1.data(), r2.data());
            const Isotherm iso(t, static_cast<std::int64_t>(n), s.idx.data(), s.x.data(), s.m.data(),
                               s.sigma.data(), s.eps.data(), prepared.pos(), at_300, false);
            const ResidualValues got =
                iso.at(rho, {false, false, false, true}, r1.data(), r2.data(), prepared.dadx.data());
            EXPECT_NEAR(got.a, want.a, 1e-14 * std::fabs(want.a));
            EXPECT_NEAR(got.a_rho, want.a_rho, 1e-14 * std::fabs(want.a_rho));
            for (std::size_t k = 0; k < n; ++k)
                EXPECT_NEAR(prepared.dadx[k], plain.dadx[k], 1e-13 * (1.0 + std::fabs(plain.dadx[k]))) << k;
        }
    }
}

}  // namespace
}  // namespace keld::pcsaft
