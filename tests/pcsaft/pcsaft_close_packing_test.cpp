// PC-SAFT roots beyond close packing. Far below the triple point PC-SAFT's P(V) has a second, dense
// loop whose stable crossing lies at packing fractions η = π/6 ρ Σ x m d³ of 0.78-0.98, beyond the
// closest packing of spheres (τ = 0.74048): polystyrene in toluene at 150 K, toluene below about
// 120 K. The monitors used to return it as the liquid (the densest root). The liquid is the densest
// stable root below τ, and a state whose roots all lie beyond is refused. Expected roots: an
// independent scan of the model's P(V) through the same monitor (support/root_oracle.h).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "keld/keld.h"
#include "keld/refhost.h"
#include "support/pcsaft_systems.h"
#include "support/root_oracle.h"
#include "support/segment_calls.h"

using namespace keld::testing;
using keld::refhost::ReferenceHost;

namespace {

constexpr double kTau = 0.74048;

struct ClosePacking : ::testing::Test {
    ReferenceHost host;
    std::int64_t sty = add_pcsaft_segment(host, kStyrene), ps = add_homopolymer(host, "PS", sty, kStyrene.mw, 1e5),
                 tol = add_pcsaft_fluid(host, kToluene);
    ClosePacking() {
        host.install();
        host.capture_messages();
    }
    // KELD_ESPCSF, or with `segment` KELD_PCSF01, values and V.
    MonitorResult call(bool segment, double t, double p, const std::vector<double> &z,
                       const std::vector<std::int64_t> &idx, std::int64_t kvl) {
        if (!segment) return pcsaft(t, p, z, idx, {kvl, {1, 1, 1, 1, 1}});
        SegmentSettings s;
        s.kvl = kvl;
        return call_segment(SegmentFamily::pcsaft, host, t, p, z, idx, s);
    }
    static std::vector<double> solution(double w) {  // apparent mole fractions (styrene units, toluene)
        const double np = w / kStyrene.mw, nt = (1.0 - w) / kToluene.mw;
        return {np / (np + nt), nt / (np + nt)};
    }
};

TEST_F(ClosePacking, LiquidIsTheDensestRootBelowClosePacking) {
    struct Case {
        const char *what;
        double t, p;
        bool solution;   // polystyrene (30 wt %) in toluene, else toluene
        double packing;  // of the expected liquid, to 1e-3 (the old one in the name)
    };
    const Case cases[] = {
        {"polystyrene in toluene, 150 K (was 0.783)", 150.0, 1e5, true, 0.506},
        {"polystyrene in toluene, 150 K, 50 MPa (was 0.785)", 150.0, 5e7, true, 0.0},
        {"toluene, 50 K (was 0.903)", 50.0, 1e5, false, 0.538},
        {"toluene, 100 K (was 0.855)", 100.0, 1e5, false, 0.531},
    };
    for (const Case &c : cases) {
        const std::vector<std::int64_t> idx = c.solution ? std::vector<std::int64_t>{ps, tol} : std::vector{tol};
        const std::vector<double> z = c.solution ? solution(0.3) : std::vector{1.0};
        for (bool segment : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (segment ? ", KELD_PCSF01" : ", KELD_ESPCSF"));
            std::vector<double> roots, states;
            double v_close_packed = 0.0;
            {
                RootOracle oracle(host);
                call(segment, c.t, c.p, z, idx, 2);
                roots = oracle.roots();
                v_close_packed = oracle.close_packed();
                states = oracle.stable_roots_above(v_close_packed / kTau);
            }
            ASSERT_FALSE(states.empty());
            ASSERT_LT(roots.front(), v_close_packed / kTau);  // the model does have a root beyond
            const MonitorResult r = call(segment, c.t, c.p, z, idx, 2);
            EXPECT_EQ(r.kstat, 1);
            // V on the host's basis (styrene units for the polymer): the root times sum z MW/MWN.
            double f = 0.0;
            for (std::size_t k = 0; k < idx.size(); ++k) f += z[k] * (idx[k] == ps ? kStyrene.mw / 1e5 : 1.0);
            EXPECT_NEAR(r.v / f, states.front(), 1e-9 * states.front());
            if (c.packing > 0.0) {
                EXPECT_NEAR(v_close_packed / states.front(), c.packing, 1e-3);
            }
        }
    }
}

// Polystyrene alone at 150 K (a glass, 220 K below its glass transition) has only the root on the
// dense loop, at packing 0.82: the call is refused with the infeasible-conditions message.
TEST_F(ClosePacking, AStateWithoutAnAdmissibleRootIsRefused) {
    for (bool segment : {false, true})
        for (std::int64_t kvl : {1, 2}) {
            SCOPED_TRACE(std::string(segment ? "KELD_PCSF01" : "KELD_ESPCSF") + (kvl == 2 ? ", liquid" : ", vapour"));
            host.clear_captured_messages();
            const MonitorResult r = call(segment, 150.0, 1e5, {1.0}, {ps}, kvl);
            EXPECT_EQ(r.kstat, 0);
            for (double x : {r.phi[0], r.h, r.s, r.g, r.v}) EXPECT_TRUE(std::isnan(x));
            const auto &lines = host.captured_messages();
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines[0], "      EQUATION OF STATE MODEL POLYPCSF FAILED DUE TO INFEASIBLE");
            // At 200 K the same polymer has its liquid (packing 0.52).
            EXPECT_EQ(call(segment, 200.0, 1e5, {1.0}, {ps}, kvl).kstat, 1);
        }
}

}  // namespace
