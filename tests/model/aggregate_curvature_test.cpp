// The closed-form curvatures the PC-SAFT amount derivatives are assembled from, each against the
// contribution's own templated expression carried through hyper-dual numbers (exact first and second
// derivatives by other arithmetic), from the dilute gas to a dense polymer liquid. An entry with a
// small weight in a mixture's Hessian could hide a wrong term there; here each entry stands alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "contributions/hard_chain.h"
#include "contributions/pcsaft_dispersion_curvature.h"
#include "model/autodiff.h"

namespace keld {
namespace {

using HD = ad::HyperDual<double>;
namespace terms = pcsaft::terms;

// Seeds d1 on variable i and d2 on variable j of a point with `size` variables.
HD seeded(double value, int k, int i, int j) { return HD(value, k == i ? 1.0 : 0.0, k == j ? 1.0 : 0.0, 0.0); }

void expect_close(double a, double b, double scale, const char *what) {
    EXPECT_NEAR(a, b, 1e-12 * std::max(std::fabs(b), scale)) << what;
}

// ln g over (h, S2, S3) at unit density, as the chain term forms it.
HD log_contact(const HD &h, const HD &s2, const HD &s3) {
    helmholtz::Moments<HD> mom;
    mom.s2 = s2;
    mom.s3 = s3;
    return log1p(helmholtz::contact_value_excess(helmholtz::contact_terms(mom, HD(1.0), true), h));
}

TEST(AggregateCurvature, ContactLogarithmEqualsTheChainTermsOwn) {
    const double c = helmholtz::kPiOver6;
    for (double eta : {1e-7, 0.05, 0.3, 0.52}) {
        for (double d : {0.25, 0.32, 0.4}) {  // segment diameters in the scaled unit (3 to 4.7 Angstrom)
            // S2 and S3 of one kind of segment of diameter d, and a pair of another kind.
            const double s3 = eta / c, s2 = s3 / d;
            for (double h : {0.5 * d, 0.6 * d}) {
                const double x[3] = {h, s2, s3};
                const helmholtz::ContactLogCurvature k =
                    helmholtz::contact_log_curvature(helmholtz::contact_shape(s2, s3), h);
                SCOPED_TRACE(::testing::Message() << "eta " << eta << ", d " << d << ", h " << h);
                for (int i = 0; i < 3; ++i)
                    for (int j = 0; j < 3; ++j) {
                        SCOPED_TRACE(::testing::Message() << "entry " << i << j);
                        const HD ref = log_contact(seeded(x[0], 0, i, j), seeded(x[1], 1, i, j), seeded(x[2], 2, i, j));
                        if (i == 0 && j == 0) expect_close(k.value, ref.v, 0.0, "value");
                        if (j == i) expect_close(k.g[i], ref.d1, 0.0, "gradient");
                        // Entries against the diagonal's scale: an off-diagonal one may vanish.
                        const double scale = std::sqrt(std::fabs(k.h[i][i] * k.h[j][j]));
                        expect_close(k.h[i][j], ref.d12, scale, "Hessian");
                        EXPECT_EQ(k.h[i][j], k.h[j][i]);
                    }
            }
        }
    }
}

// A = -2 pi I1 and B = -pi m-bar C1 I2 over (m-bar, S3), as the dispersion term forms them.
HD first_factor(const HD &m_bar, const HD &s3) {
    const HD eta = terms::kPiOver6 * s3;
    return -terms::kTwoPi * terms::perturbation_integral(terms::kA0, terms::kA1, terms::kA2, m_bar, eta, false, true).value;
}

HD second_factor(const HD &m_bar, const HD &s3) {
    const HD eta = terms::kPiOver6 * s3;
    const HD i2 = terms::perturbation_integral(terms::kB0, terms::kB1, terms::kB2, m_bar, eta, false, true).value;
    return (-terms::kPi * m_bar) * terms::hard_chain_compressibility(m_bar, eta, true).c1 * i2;
}

TEST(AggregateCurvature, DispersionFactorsEqualTheDispersionTermsOwn) {
    for (double m_bar : {1.0, 1.4, 2.8, 4.5, 1900.0}) {
        for (double eta : {1e-6, 0.1, 0.3, 0.48}) {
            const double s3 = eta / terms::kPiOver6, x[2] = {m_bar, s3};
            const terms::DispersionCurvature k = terms::dispersion_curvature(m_bar, s3);
            SCOPED_TRACE(::testing::Message() << "m-bar " << m_bar << ", eta " << eta);
            for (int i = 0; i < 2; ++i)
                for (int j = 0; j < 2; ++j) {
                    SCOPED_TRACE(::testing::Message() << "entry " << i << j);
                    const HD m = seeded(x[0], 0, i, j), s = seeded(x[1], 1, i, j);
                    const HD a = first_factor(m, s), b = second_factor(m, s);
                    if (i == 0 && j == 0) {
                        expect_close(k.first.v, a.v, 0.0, "A");
                        expect_close(k.second.v, b.v, 0.0, "B");
                    }
                    if (i == j) {
                        expect_close(k.first.g[i], a.d1, 0.0, "A gradient");
                        expect_close(k.second.g[i], b.d1, 0.0, "B gradient");
                    }
                    // m-bar's entries of a long chain are tiny beside S3's: each against its own
                    // diagonal's scale.
                    const double scale_a = std::sqrt(std::fabs(k.first.second(i, i) * k.first.second(j, j)));
                    const double scale_b = std::sqrt(std::fabs(k.second.second(i, i) * k.second.second(j, j)));
                    expect_close(k.first.second(i, j), a.d12, scale_a, "A Hessian");
                    expect_close(k.second.second(i, j), b.d12, scale_b, "B Hessian");
                }
        }
    }
}

}  // namespace
}  // namespace keld
