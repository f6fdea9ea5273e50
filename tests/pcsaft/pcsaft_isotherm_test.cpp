// The residual prepared once per temperature (what the density search and the property step use)
// against the one-shot residual: the search must see exactly the model the properties come from, and
// pair sums formed for two temperatures in one pass over a symmetric cross-energy matrix (consecutive
// components read in place, others gathered) must be those of the general pass at each temperature.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "pcsaft/pcsaft_residual.h"

namespace keld::pcsaft {
namespace {

struct System {
    std::string name;
    std::int64_t ld;
    std::vector<std::int64_t> idx;
    std::vector<double> x, m, sigma, eps, eps_matrix;
    std::int64_t n() const { return static_cast<std::int64_t>(idx.size()); }
};

// eps_ij = (1 - k) sqrt(eps_i eps_j); (i, j) above the diagonal scaled by 1 + skew.
System with_cross(System s, double k, double skew) {
    const std::size_t nc = s.eps.size();
    s.eps_matrix.assign(nc * nc, 0.0);
    for (std::size_t j = 0; j < nc; ++j)
        for (std::size_t i = 0; i < nc; ++i)
            s.eps_matrix[j * nc + i] =
                (i == j ? 1.0 : (1.0 - k) * (i < j ? 1.0 + skew : 1.0)) * std::sqrt(s.eps[i] * s.eps[j]);
    return s;
}

const System kSystems[] = {
    with_cross({"n-hexane", 1, {1}, {1.0}, {3.0576}, {3.7983}, {236.77}, {}}, 0.0, 0.0),
    with_cross({"spheres and chains", 3, {3, 1}, {0.3, 0.7}, {1.0, 7.0, 2.0}, {3.70, 3.90, 3.62},
                {150.0, 250.0, 208.0}, {}}, 0.02, 0.0),
    with_cross({"polymer solution, skewed", 3, {2, 3, 1}, {0.001, 0.6, 0.399}, {2.5, 1900.0, 3.1},
                {3.85, 4.10, 3.70}, {278.0, 267.0, 230.0}, {}}, -0.01, 0.03),
    with_cross({"polymer solution", 3, {2, 3, 1}, {0.001, 0.6, 0.399}, {2.5, 1900.0, 3.1}, {3.85, 4.10, 3.70},
                {278.0, 267.0, 230.0}, {}}, -0.01, 0.0),
    with_cross({"three consecutive of four", 4, {2, 3, 4}, {0.2, 0.5, 0.3}, {9.0, 1.2, 2.8, 4.1},
                {3.0, 3.5, 3.9, 3.7}, {100.0, 180.0, 320.0, 240.0}, {}}, 0.05, 0.0),
    with_cross({"six consecutive", 6, {1, 2, 3, 4, 5, 6}, {0.1, 0.25, 0.05, 0.2, 0.3, 0.1},
                {1.0, 2.2, 3.1, 4.5, 12.0, 2.6}, {3.7, 3.5, 3.8, 3.9, 4.0, 3.6},
                {150.0, 190.0, 230.0, 250.0, 270.0, 210.0}, {}}, 0.01, 0.0),
    with_cross({"five of six, in another order", 6, {6, 2, 3, 5, 1}, {0.1, 0.25, 0.05, 0.2, 0.4},
                {1.0, 2.2, 3.1, 4.5, 12.0, 2.6}, {3.7, 3.5, 3.8, 3.9, 4.0, 3.6},
                {150.0, 190.0, 230.0, 250.0, 270.0, 210.0}, {}}, -0.02, 0.0),
};

bool symmetric(const System &s) {
    for (std::int64_t j = 0; j < s.ld; ++j)
        for (std::int64_t i = 0; i < s.ld; ++i)
            if (s.eps_matrix[j * s.ld + i] != s.eps_matrix[i * s.ld + j]) return false;
    return true;
}

struct Vectors {
    std::vector<double> d, m, md, md2, md3, chain, dadx, r1, r2;
    explicit Vectors(std::int64_t n) : d(n), m(n), md(n), md2(n), md3(n), chain(n), dadx(n), r1(n), r2(n) {}
    PositionVectors pos() { return {d.data(), m.data(), md.data(), md2.data(), md3.data(), chain.data()}; }
};

// (T, segment density) from vapour to dense liquid; the second temperature is T's shifted one.
const double kStates[][2] = {{150.0, 5.0}, {298.15, 0.01}, {300.0, 4.0}, {450.0, 2.5}, {700.0, 6.0}};

TEST(PcsaftIsotherm, SearchAndPropertiesSeeTheOneShotResidualBitForBit) {
    const ResidualSwitches all{true, true, true, true};
    for (const System &s : kSystems) {
        double m_bar = 0.0;
        for (std::int64_t k = 0; k < s.n(); ++k) m_bar += s.x[k] * s.m[s.idx[k] - 1];
        for (const auto &st : kStates) {
            SCOPED_TRACE(s.name + " at " + std::to_string(st[0]) + " K");
            const double t = st[0], t2 = t * (1.0 - 1e-4), rho = st[1] / m_bar;
            Vectors plain(s.n()), plain2(s.n()), v(s.n()), v2(s.n());
            const ResidualValues want = residual(t, rho, s.ld, s.n(), s.idx.data(), s.x.data(), all, plain.dadx.data(),
                                                 s.m.data(), s.sigma.data(), s.eps.data(), s.eps_matrix.data(),
                                                 plain.pos());
            const ResidualValues want2 = residual(t2, rho, s.ld, s.n(), s.idx.data(), s.x.data(), all,
                                                  plain2.dadx.data(), s.m.data(), s.sigma.data(), s.eps.data(),
                                                  s.eps_matrix.data(), plain2.pos());
            terms::PairSums sums, sums2;
            if (symmetric(s)) {
                // Rows at both temperatures side by side in one pass, and one pass per temperature.
                Vectors scratch(s.n()), w(s.n()), w2(s.n());
                std::vector<double> side_by_side(4 * s.n());
                terms::symmetric_pair_sums(t, t2, s.ld, s.n(), s.idx.data(), s.x.data(), s.m.data(), s.sigma.data(),
                                           s.eps_matrix.data(), {v.r1.data(), v.r2.data()},
                                           {v2.r1.data(), v2.r2.data()},
                                           {scratch.d.data(), scratch.m.data(), scratch.md.data(),
                                            side_by_side.data()},
                                           sums, sums2);
                terms::PairSums each, each2;
                terms::symmetric_pair_sums(t, t2, s.ld, s.n(), s.idx.data(), s.x.data(), s.m.data(), s.sigma.data(),
                                           s.eps_matrix.data(), {w.r1.data(), w.r2.data()},
                                           {w2.r1.data(), w2.r2.data()},
                                           {scratch.d.data(), scratch.m.data(), scratch.md.data()}, each, each2);
                EXPECT_EQ(std::tie(each.d1, each.d2, each2.d1, each2.d2),
                          std::tie(sums.d1, sums.d2, sums2.d1, sums2.d2));
                EXPECT_EQ(std::tie(w.r1, w.r2, w2.r1, w2.r2), std::tie(v.r1, v.r2, v2.r1, v2.r2));
                // One temperature, the columns gathered into the side-by-side scratch when not consecutive.
                terms::PairSums single, unused;
                terms::symmetric_pair_sums(t, 0.0, s.ld, s.n(), s.idx.data(), s.x.data(), s.m.data(), s.sigma.data(),
                                           s.eps_matrix.data(), {w.r1.data(), w.r2.data()}, {},
                                           {scratch.d.data(), scratch.m.data(), scratch.md.data(),
                                            side_by_side.data()},
                                           single, unused);
                EXPECT_EQ(std::tie(single.d1, single.d2, single.eps_max),
                          std::tie(sums.d1, sums.d2, sums.eps_max));
                EXPECT_EQ(std::tie(w.r1, w.r2), std::tie(v.r1, v.r2));
            } else {
                sums = terms::pair_sums(t, s.ld, s.n(), s.idx.data(), s.x.data(), s.m.data(), s.sigma.data(),
                                        s.eps_matrix.data(), v.r1.data(), v.r2.data());
                sums2 = terms::pair_sums(t2, s.ld, s.n(), s.idx.data(), s.x.data(), s.m.data(), s.sigma.data(),
                                         s.eps_matrix.data(), v2.r1.data(), v2.r2.data());
            }
            const Isotherm iso(t, s.n(), s.idx.data(), s.x.data(), s.m.data(), s.sigma.data(), s.eps.data(), v.pos(),
                               sums, true);
            const Isotherm iso2(t2, s.n(), s.idx.data(), s.x.data(), s.m.data(), s.sigma.data(), s.eps.data(),
                                v2.pos(), sums2, true);
            for (const auto &[got_iso, vec, ref, ref_vec] :
                 {std::tuple{&iso, &v, &want, &plain}, std::tuple{&iso2, &v2, &want2, &plain2}}) {
                const ResidualValues search = got_iso->density_derivatives(rho);
                EXPECT_EQ(search.a_rho, ref->a_rho);
                EXPECT_EQ(search.a_rhorho, ref->a_rhorho);
                const ResidualValues got = got_iso->at(rho, all, vec->r1.data(), vec->r2.data(), vec->dadx.data());
                EXPECT_EQ(got.a, ref->a);
                EXPECT_EQ(got.a_t, ref->a_t);
                EXPECT_EQ(vec->dadx, ref_vec->dadx);
                EXPECT_EQ(vec->chain, ref_vec->chain);
            }
            if (s.n() == s.ld) {  // every component listed: the largest of the whole matrix
                EXPECT_EQ(sums.eps_max, *std::max_element(s.eps_matrix.begin(), s.eps_matrix.end()));
            }
            EXPECT_EQ(sums2.eps_max, sums.eps_max);
        }
    }
}

}  // namespace
}  // namespace keld::pcsaft
