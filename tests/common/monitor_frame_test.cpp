// Request flags, the ideal-gas exit, the basis conversion, the vector form and
// the argument checks shared by every property monitor.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/basis.h"
#include "common/flags.h"
#include "common/ideal_gas.h"
#include "common/monitor_call.h"
#include "common/vector_form.h"
#include "support/fake_host.h"

namespace keld {
namespace {

constexpr double kR = 8314.462618;
constexpr double kPref = 101325.0;

TEST(RequestFlags, BitTestsDecideForAnyInteger) {
    EXPECT_FALSE(Flag::decode(0).any());
    EXPECT_TRUE(Flag::decode(1).value);
    EXPECT_FALSE(Flag::decode(1).derivative);
    EXPECT_FALSE(Flag::decode(2).value);
    EXPECT_TRUE(Flag::decode(2).derivative);
    EXPECT_TRUE(Flag::decode(3).value && Flag::decode(3).derivative);
    EXPECT_FALSE(Flag::decode(5).value);  // only the derivative
    EXPECT_TRUE(Flag::decode(5).derivative);
    EXPECT_FALSE(Flag::decode(-1).any());
    EXPECT_FALSE(Flag::decode(-3).any());
}

struct Slots {
    double phi = -7, h = -7, s = -7, g = -7, v = -7, dphi = -7, dh = -7, ds = -7, dg = -7, dv = -7;
    void run(const IdealGasInputs &in, const Requests &rq) {
        ideal_gas_departure(in, rq, &phi, &h, &s, &g, &v, &dphi, &dh, &ds, &dg, &dv);
    }
};

TEST(IdealGas, ValuesAndDerivativesScaledByTheWeightRatio) {
    const IdealGasInputs in{300.0, 2.0e5, 104.15, 1.0e5, kR, kPref};
    Slots out;
    out.run(in, Requests::decode(3, 3, 3, 3, 3));
    const double f = 104.15 / 1.0e5, lp = std::log(2.0e5 / kPref);
    EXPECT_DOUBLE_EQ(out.v, kR * 300.0 / 2.0e5 * f);
    EXPECT_DOUBLE_EQ(out.dv, kR / 2.0e5 * f);
    EXPECT_EQ(out.h, 0.0);
    EXPECT_EQ(out.dh, 0.0);
    EXPECT_DOUBLE_EQ(out.s, -kR * lp * f);
    EXPECT_EQ(out.ds, 0.0);
    EXPECT_DOUBLE_EQ(out.g, kR * 300.0 * lp * f);
    EXPECT_DOUBLE_EQ(out.dg, kR * lp * f);
    EXPECT_EQ(out.phi, 0.0);
    EXPECT_EQ(out.dphi, 0.0);
    // G = H - T S and dG/dT = -S hold on the ideal-gas exit.
    EXPECT_NEAR(out.g, out.h - 300.0 * out.s, 1e-9);
    EXPECT_NEAR(out.dg, -out.s, 1e-12);
}

TEST(IdealGas, FlagTwoWritesOnlyTheDerivativeSlot) {
    Slots out;
    out.run({300.0, 1.0e5, 1.0, 1.0, kR, kPref}, Requests::decode(0, 0, 0, 0, 2));
    EXPECT_EQ(out.v, -7);
    EXPECT_DOUBLE_EQ(out.dv, kR / 1.0e5);
    EXPECT_EQ(out.phi, -7);
    EXPECT_EQ(out.h, -7);
}

TEST(Basis, FactorAndConversionOfAPolymerSolventMixture) {
    // Component 1 a polymer of MW 104.15 (apparent) and MWN 1e5, component 2 toluene.
    const std::int64_t idx[2] = {1, 2};
    const double mw[2] = {104.15, 92.14};
    const double z[2] = {0.3, 0.7};
    const double mwn[2] = {1.0e5, 92.14};
    const double true_moles[2] = {0.3 * 104.15 / 1.0e5, 0.7};
    const double x[2] = {true_moles[0] / (true_moles[0] + 0.7), 0.7 / (true_moles[0] + 0.7)};
    const double f = apparent_basis_factor(2, idx, z, mw, mwn);
    EXPECT_DOUBLE_EQ(f, true_moles[0] + true_moles[1]);

    double phi[2] = {0.1, 0.2}, h = 10, s = 1, g = 5, v = 2, dphi[2] = {0.5, 0.5}, dh = 3, ds = 4, dg = 6, dv = 7;
    const MonitorOutputs out{phi, &h, &s, &g, &v, dphi, &dh, &ds, &dg, &dv};
    to_apparent_basis(Requests::decode(3, 3, 1, 2, 3), 2, idx, z, x, mw, mwn, 0.25, out);
    EXPECT_DOUBLE_EQ(phi[0], 0.1 - 0.25 + std::log(x[0] / z[0]));
    EXPECT_DOUBLE_EQ(phi[1], 0.2 - 0.25 + std::log(x[1] / z[1]));
    EXPECT_EQ(dphi[0], 0.5);
    EXPECT_DOUBLE_EQ(h, 10 * f);
    EXPECT_DOUBLE_EQ(dh, 3 * f);
    EXPECT_DOUBLE_EQ(s, 1 * f);
    EXPECT_EQ(ds, 4);  // not requested
    EXPECT_DOUBLE_EQ(g, 5 * f);  // flag 2: the value was computed too
    EXPECT_DOUBLE_EQ(dg, 6 * f);
}

// A component absent from the phase (Z = 0) takes the limit of ln(x/Z) as Z
// goes to 0: ln((MW/MWN)/F), with F from the components present.
TEST(Basis, AbsentComponentTakesTheLimitOfItsShift) {
    const std::int64_t idx[2] = {1, 2};
    const double mw[2] = {104.15, 92.14}, mwn[2] = {1.0e5, 92.14};
    const double z[2] = {0.0, 1.0}, x[2] = {0.0, 1.0};
    double phi[2] = {-3.0, 0.1};
    double unused = 0;
    const MonitorOutputs out{phi, &unused, &unused, &unused, &unused, phi, &unused, &unused, &unused, &unused};
    to_apparent_basis(Requests::decode(1, 0, 0, 0, 0), 2, idx, z, x, mw, mwn, 0.0, out);
    EXPECT_DOUBLE_EQ(phi[0], -3.0 + std::log(104.15 / 1.0e5));
    EXPECT_EQ(phi[1], 0.1);
}

TEST(VectorForm, CopiesRequestedSlotsPerComponent) {
    const double p[3] = {1e5, 2e5, 3e5};
    const std::int64_t idx[3] = {4, 5, 6};
    std::vector<double> phi(3, -1), h(3, -1), s(3, -1), g(3, -1), v(3, -1), dphi(3, -1), dh(3, -1), ds(3, -1),
        dg(3, -1), dv(3, -1);
    const MonitorOutputs arrays{phi.data(), h.data(), s.data(), g.data(), v.data(),
                                dphi.data(), dh.data(), ds.data(), dg.data(), dv.data()};
    std::vector<std::int64_t> seen;
    run_vector_form(3, p, idx, Requests::decode(1, 2, 0, 3, 0), arrays,
                    [&](double pk, std::int64_t i, const MonitorOutputs &one) {
                        seen.push_back(i);
                        *one.phi = pk;
                        *one.dh = 2 * pk;
                        *one.h = 99;  // computed along, but flag 2 asks only for the derivative
                        *one.g = 3 * pk;
                        *one.dg = 4 * pk;
                    });
    EXPECT_EQ(seen, (std::vector<std::int64_t>{4, 5, 6}));
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(phi[k], p[k]);
        EXPECT_EQ(dh[k], 2 * p[k]);
        EXPECT_EQ(h[k], -1);
        EXPECT_EQ(g[k], 3 * p[k]);
        EXPECT_EQ(dg[k], 4 * p[k]);
        EXPECT_EQ(s[k], -1);
        EXPECT_EQ(dphi[k], -1);
    }
    run_vector_form(0, p, idx, Requests::decode(1, 1, 1, 1, 1), arrays,
                    [&](double, std::int64_t, const MonitorOutputs &) { FAIL() << "N = 0 evaluates nothing"; });
}

struct CallFixture : ::testing::Test {
    testing::FakeHost fake{3, 200};
    double t = 300, p = 1e5, z[2] = {0.5, 0.5};
    std::int64_t n = 2, idx[2] = {1, 3}, kwork = 0, kvl = 2, k3 = 3, kds = 1, kdiag = 4, kstat = 1, kopt = 0;
    double phi[2]{}, h = 0, s = 0, g = 0, v = 0, dphi[2]{}, dh = 0, ds = 0, dg = 0, dv = 0;

    CallCheck check(std::int64_t work_words) {
        MonitorCall call{};
        EXPECT_TRUE(read_monitor_call(&t, &p, z, &n, idx, &kwork, &kvl, &k3, &k3, &k3, &k3, &k3, &kds, &kdiag, phi,
                                      &h, &s, &g, &v, dphi, &dh, &ds, &dg, &dv, &kstat, &kopt, call));
        const CallCheck c = check_monitor_call(fake.view(), call, work_words);
        if (c == CallCheck::rejected) reject(call);
        return c;
    }
};

TEST_F(CallFixture, AcceptsASoundCall) { EXPECT_EQ(check(100), CallCheck::proceed); }

TEST_F(CallFixture, RejectsWhatCannotBeHonouredAndSaysSo) {
    const auto rejected = [&] {
        kstat = 1;
        const bool r = check(100) == CallCheck::rejected && kstat == 0 && std::isnan(h) && std::isnan(phi[1]);
        h = 0;
        phi[1] = 0;
        return r;
    };
    n = 4;  // more components than the problem has
    EXPECT_TRUE(rejected());
    n = 2;
    idx[1] = 0;
    EXPECT_TRUE(rejected());
    idx[1] = 3;
    t = std::nan("");
    EXPECT_TRUE(rejected());
    t = -5;
    EXPECT_TRUE(rejected());
    t = 300;
    p = 0;
    EXPECT_TRUE(rejected());
    p = 1e5;
    kds = 0;
    EXPECT_TRUE(rejected());
    kds = 1;
    kwork = 101;  // work area would run past the store
    EXPECT_TRUE(rejected());
    kwork = -5;
    EXPECT_TRUE(rejected());
}

TEST_F(CallFixture, NoComponentsMeansNothingToDo) {
    n = 0;
    EXPECT_EQ(check(100), CallCheck::nothing);
    n = -3;
    EXPECT_EQ(check(100), CallCheck::nothing);
    EXPECT_EQ(kstat, 1);
}

// Compositions the call check accepts or rejects, in a problem whose components are marked in a
// bitset (130 components: three words; 4096: the largest marked) and in one beyond the bitset
// (entries compared pairwise).
TEST(CallCheck, CompositionsAcceptedOrRejected) {
    struct Case {
        const char *name;
        std::vector<std::int64_t> idx;
        std::vector<double> z;
        bool sound;
    };
    const Case cases[] = {
        {"distinct", {1, 3, 2}, {0.2, 0.3, 0.5}, true},
        {"same bit of different words", {1, 65, 129}, {0.2, 0.3, 0.5}, true},
        {"last bit of a word and the next", {64, 65, 130}, {0.2, 0.3, 0.5}, true},
        {"repeated at once", {2, 2, 1}, {0.2, 0.3, 0.5}, false},
        {"repeated first and last", {65, 1, 65}, {0.2, 0.3, 0.5}, false},
        {"repeated in the last word", {130, 7, 130}, {0.2, 0.3, 0.5}, false},
        {"component 0", {0, 1}, {0.5, 0.5}, false},
        {"beyond the problem", {1, 100000}, {0.5, 0.5}, false},
        {"negative fraction", {1, 2}, {1.5, -0.5}, false},
        {"fractions not summing to 1", {1, 2}, {0.5, 0.4}, false},
        {"not finite", {1, 2}, {std::nan(""), 0.5}, false},
    };
    for (const std::int64_t nc : {std::int64_t{130}, std::int64_t{4096}, std::int64_t{5000}}) {
        testing::FakeHost fake(nc, 200);
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(nc) + " components");
            MonitorCall call{};
            call.t = 300;
            call.p = 1e5;
            call.n = static_cast<std::int64_t>(c.idx.size());
            call.idx = c.idx.data();
            call.z = c.z.data();
            call.kvl = 2;
            call.kds = 1;
            EXPECT_EQ(check_monitor_call(fake.view(), call, 100), c.sound ? CallCheck::proceed : CallCheck::rejected);
        }
    }
}

TEST_F(CallFixture, MissingRequestedSlotIsRefusedAtRead) {
    MonitorCall call{};
    EXPECT_FALSE(read_monitor_call(&t, &p, z, &n, idx, &kwork, &kvl, &k3, &k3, &k3, &k3, &k3, &kds, &kdiag, phi, &h,
                                   &s, &g, nullptr, dphi, &dh, &ds, &dg, &dv, &kstat, &kopt, call));
}

}  // namespace
}  // namespace keld
