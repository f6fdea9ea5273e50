// The composition-only parts of the Sanchez-Lacombe residual (mixture averages, the composition terms'
// sums) formed once per call and reused must give what forming them at every evaluation gives.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sanchez_lacombe/sl_residual.h"

namespace sl = keld::sanchez_lacombe;

namespace {

struct System {
    std::string name;
    std::int64_t nc;
    std::vector<std::int64_t> idx;
    std::vector<double> x, r, eps, vol;  // eps, vol: NC x NC, column-major

    sl::Mixture mixture() const {
        return {8314.0, nc, static_cast<std::int64_t>(idx.size()), idx.data(), x.data(), r.data(), eps.data(),
                vol.data()};
    }
};

// Cross values from pure T*, P* by the plain rules, (i, j) scaled by `skew` above the diagonal.
System make(std::string name, std::int64_t nc, std::vector<std::int64_t> idx, std::vector<double> x,
            std::vector<double> r, std::vector<double> t_star, std::vector<double> p_star, double skew) {
    System s{std::move(name), nc, std::move(idx), std::move(x), std::move(r), {}, {}};
    s.eps.assign(nc * nc, 0.0);
    s.vol.assign(nc * nc, 0.0);
    for (std::int64_t j = 0; j < nc; ++j)
        for (std::int64_t i = 0; i < nc; ++i) {
            const double f = i < j ? 1.0 + skew : 1.0;
            s.eps[j * nc + i] = f * 8314.0 * std::sqrt(t_star[i] * t_star[j]);
            s.vol[j * nc + i] = f * 0.5 * 8314.0 * (t_star[i] / p_star[i] + t_star[j] / p_star[j]);
        }
    return s;
}

const std::vector<System> &systems() {
    static const std::vector<System> all = {
        make("toluene", 1, {1}, {1.0}, {4.0}, {543.0}, {402e6}, 0.0),
        make("toluene, CO2, polystyrene listed 3, 1, 2", 3, {3, 1, 2}, {0.6, 0.398, 0.002}, {4.0, 1600.0, 2.1},
             {543.0, 735.0, 305.0}, {402e6, 357e6, 574.5e6}, 0.0),
        make("skewed cross values", 3, {2, 3}, {0.3, 0.7}, {1e6, 3.0, 5.0}, {1.0, 476.0, 520.0},
             {1.0, 298e6, 330e6}, 0.02),
    };
    return all;
}

TEST(SlPrepared, AveragesAndCompositionSumsFormedOnceChangeNothing) {
    for (const System &s : systems()) {
        const sl::Mixture plain = s.mixture();
        const sl::MixtureAverages avg = sl::mixture_averages(plain);
        const std::size_t n = s.idx.size();
        std::vector<double> s1(n), s2(n);
        sl::composition_sums(plain, avg, s1.data(), s2.data());
        sl::Mixture prepared = plain;
        prepared.averages = &avg;
        prepared.s1 = s1.data();
        prepared.s2 = s2.data();
        for (const double t : {250.0, 300.0, 299.97, 500.0}) {
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

}  // namespace
