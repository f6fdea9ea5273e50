// The composition-only parts of the Sanchez-Lacombe residual (mixture averages, the composition terms'
// sums) formed once per call and reused must give what forming them at every evaluation gives.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sanchez_lacombe/sl_residual.h"

namespace sl = keld::sanchez_lacombe;

namespace {

// Listed components idx (NC = 3), r by component, cross values from T*, P* by the plain rules with
// (i, j) above the diagonal scaled by 1 + skew.
struct System {
    std::string name;
    std::vector<std::int64_t> idx;
    std::vector<double> x, r, t_star, p_star;
    double skew;
};

const System kSystems[] = {
    {"one listed", {2}, {1.0}, {1e6, 4.0, 1e6}, {1.0, 543.0, 1.0}, {1.0, 402e6, 1.0}, 0.0},
    {"toluene, polymer, CO2 listed 3, 1, 2", {3, 1, 2}, {0.6, 0.002, 0.398}, {1600.0, 2.1, 4.0},
     {735.0, 305.0, 543.0}, {357e6, 574.5e6, 402e6}, 0.0},
    {"skewed cross values", {2, 3}, {0.3, 0.7}, {1e6, 3.0, 5.0}, {1.0, 476.0, 520.0}, {1.0, 298e6, 330e6}, 0.02},
};

TEST(SlPrepared, AveragesAndCompositionSumsFormedOnceChangeNothing) {
    constexpr std::int64_t nc = 3;
    for (const System &s : kSystems) {
        std::vector<double> eps(nc * nc), vol(nc * nc);
        for (std::int64_t j = 0; j < nc; ++j)
            for (std::int64_t i = 0; i < nc; ++i) {
                const double f = i < j ? 1.0 + s.skew : 1.0;
                eps[j * nc + i] = f * 8314.0 * std::sqrt(s.t_star[i] * s.t_star[j]);
                vol[j * nc + i] = f * 0.5 * 8314.0 * (s.t_star[i] / s.p_star[i] + s.t_star[j] / s.p_star[j]);
            }
        const std::int64_t n = static_cast<std::int64_t>(s.idx.size());
        const sl::Mixture plain{8314.0, nc, n, s.idx.data(), s.x.data(), s.r.data(), eps.data(), vol.data()};
        const sl::MixtureAverages avg = sl::mixture_averages(plain);
        std::vector<double> s1(n), s2(n);
        sl::composition_sums(plain, avg, s1.data(), s2.data());
        sl::Mixture prepared = plain;
        prepared.averages = &avg;
        prepared.s1 = s1.data();
        prepared.s2 = s2.data();
        for (const double t : {250.0, 299.97, 500.0}) {
            for (const double reduced : {1e-6, 0.3, 0.9}) {
                SCOPED_TRACE(s.name + " at " + std::to_string(t) + " K, reduced density " + std::to_string(reduced));
                const double rho = reduced / (avg.r_bar * avg.v_star);
                std::vector<double> m_plain(n), m_prepared(n);
                const sl::ResidualValues want = sl::residual(plain, t, rho, {true, true, true}, m_plain.data());
                const sl::ResidualValues got = sl::residual(prepared, t, rho, {true, true, true}, m_prepared.data());
                EXPECT_EQ(got.a, want.a);
                EXPECT_EQ(got.a_rho, want.a_rho);
                EXPECT_EQ(got.a_rhorho, want.a_rhorho);
                EXPECT_EQ(got.a_t, want.a_t);
                EXPECT_EQ(m_prepared, m_plain);
            }
        }
    }
}

// The sums term by term in list order, as the model states them: the root's densities depend on the
// bits of the averages, so the fast paths (a list 1, 2, ..., n read straight through; partners added
// four at a time) must give exactly these. The matrices are not symmetric.
TEST(SlPrepared, FastPathsSumInListOrder) {
    constexpr std::int64_t nc = 7;
    std::vector<double> eps(nc * nc), vol(nc * nc), r(nc), x(nc);
    for (std::int64_t e = 0; e < nc * nc; ++e) {
        eps[e] = 8314.0 * (450.0 + 13.0 * static_cast<double>(e % nc) + 7.1 * static_cast<double>(e / nc));
        vol[e] = 0.011 * (1.0 + 0.013 * static_cast<double>(3 * (e % nc) + e / nc));
        if (e < nc) r[e] = 3.0 + 0.37 * static_cast<double>(e * e);
    }
    const std::vector<std::vector<std::int64_t>> lists = {{1, 2},          {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 6},
                                                          {1, 2, 3, 4, 5, 6, 7}, {2, 1, 3},  {7, 3, 5, 1, 2, 6}};
    for (const auto &idx : lists) {
        const std::int64_t n = static_cast<std::int64_t>(idx.size());
        SCOPED_TRACE("list of " + std::to_string(n) + " from " + std::to_string(idx[0]));
        for (std::int64_t k = 0; k < n; ++k) x[k] = (1.0 + 0.1 * static_cast<double>(k)) / (n + 0.05 * n * (n - 1));
        const sl::Mixture m{8314.0, nc, n, idx.data(), x.data(), r.data(), eps.data(), vol.data()};
        const sl::MixtureAverages got = sl::mixture_averages(m);
        std::vector<double> s1(n), s2(n);
        sl::composition_sums(m, got, s1.data(), s2.data());
        double r_bar = 0.0, sum1 = 0.0, sum2 = 0.0;
        for (std::int64_t k = 0; k < n; ++k) {
            double want1 = 0.0, want2 = 0.0;
            const std::int64_t i = idx[k] - 1;
            r_bar += x[k] * r[i];
            for (std::int64_t l = 0; l < n; ++l) {
                const std::int64_t ij = (idx[l] - 1) * nc + i;
                const double w = x[l] * r[idx[l] - 1], ww_v = x[k] * r[i] * w * vol[ij];
                sum1 += ww_v;
                sum2 += ww_v * eps[ij];
                want1 += w * (vol[ij] - got.v_star);
                want2 += w * vol[ij] * (eps[ij] - got.eps_star);
            }
            EXPECT_EQ(s1[k], want1) << "position " << k;
            EXPECT_EQ(s2[k], want2) << "position " << k;
        }
        EXPECT_EQ(got.r_bar, r_bar);
        EXPECT_EQ(got.eps_star, sum2 / sum1);
        EXPECT_EQ(got.v_star, sum1 / (r_bar * r_bar));
    }
}

}  // namespace
