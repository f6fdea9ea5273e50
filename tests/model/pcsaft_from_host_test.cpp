// A PC-SAFT model built from a host's store equals the PC-SAFT monitor on
// that store, at several temperatures: a polymer built from its segments
// meets the solvent through them, with a k_ij that follows a temperature
// table; and a missing parameter is named.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/host.h"
#include "keld/keld.h"
#include "keld/model.hpp"
#include "keld/refhost.h"
#include "model/from_host.h"

namespace keld::testing {
namespace {

struct Store {
    refhost::ReferenceHost host;
    std::int64_t toluene = 0, hexane = 0, sty = 0, ps = 0;
};

// Toluene and n-hexane with a constant k_ij; polystyrene (Mn 1e5) from styrene segments, whose k_ij with
// toluene follows k = 0.01 - 0.02 (Tref/T - 1) ... in the table form a + b/Tr.
void fill(Store &s, bool polymer_parameters_missing = false, bool temperature_table = true) {
    refhost::ReferenceHost &h = s.host;
    s.toluene = h.add_component("TOLUENE", refhost::ComponentKind::ordinary, 92.141);
    s.hexane = h.add_component("HEXANE", refhost::ComponentKind::ordinary, 86.177);
    s.sty = h.add_component("STY", refhost::ComponentKind::segment, 104.152);
    s.ps = h.add_polymer("PS", refhost::ComponentKind::polymer, 104.152, 1e5);
    const refhost::SegmentShare share{s.sty, 1.0};
    h.set_segment_composition(s.ps, std::span(&share, 1));
    h.set_unary("PCSFTM", s.toluene, 2.8149);
    h.set_unary("PCSFTV", s.toluene, 3.7169);
    h.set_unary("PCSFTU", s.toluene, 285.69);
    h.set_unary("PCSFTM", s.hexane, 3.0576);
    h.set_unary("PCSFTV", s.hexane, 3.7983);
    h.set_unary("PCSFTU", s.hexane, 236.77);
    if (!polymer_parameters_missing) h.set_unary("PCSFTV", s.sty, 4.1071);
    h.set_unary("PCSFTU", s.sty, 267.0);
    h.set_unary("PCSFTR", s.sty, 0.019);
    const double constant[6] = {0.004, 0, 0, 0, 0, 0};
    h.set_binary_coefficients("PCSKIJ", s.toluene, s.hexane, constant);
    h.set_binary_coefficients("PCSKIJ", s.hexane, s.toluene, constant);
    const double table[6] = {0.01, temperature_table ? 0.02 : 0.0, 0, 0, 0, 300.0};
    h.set_binary_coefficients("PCSKIJ", s.toluene, s.sty, table);
    h.set_binary_coefficients("PCSKIJ", s.sty, s.toluene, table);
    h.install();
}

// With a k_ij that follows a temperature table, the monitor's H and S hold the cross energies at their
// value at T (its prescribed arithmetic) while the model differentiates k_ij(T): H is compared with a
// constant table only.
TEST(PcSaftFromHost, EqualsTheMonitorAtSeveralTemperatures) {
    for (bool temperature_table : {false, true}) {
        SCOPED_TRACE(temperature_table ? "k_ij(T)" : "constant k_ij");
        Store s;
        fill(s, false, temperature_table);
        const std::vector<std::int64_t> idx{s.toluene, s.hexane, s.ps};
        const auto built = model::pcsaft_from_host(*host::Host::current(), 1, idx);
        ASSERT_TRUE(built.model.has_value()) << built.why;
        const Model &m = *built.model;
        EXPECT_EQ(m.components()[2].name, "PS");
        EXPECT_DOUBLE_EQ(m.components()[2].mw, 1e5);
        EXPECT_DOUBLE_EQ(m.components()[2].mw_apparent, 104.152);
        // Weight fractions 0.6 toluene, 0.1 hexane, 0.3 polystyrene as host mole fractions (repeat units).
        double z[3] = {0.6 / 92.141, 0.1 / 86.177, 0.3 / 104.152};
        const double total = z[0] + z[1] + z[2];
        for (double &v : z) v /= total;
        const std::vector<double> x{z[0], z[1], z[2] * 104.152 / 1e5};
        for (double t : {280.0, 330.0, 400.0}) {
            for (double p : {1e5, 2e7}) {
                SCOPED_TRACE(std::to_string(t) + " K, " + std::to_string(p) + " Pa");
                double phi[3], h, sv, g, v, dphi[3], dh, ds, dg, dv;
                const std::int64_t n = 3, kwork = 0, kspare = 0, kvl = 2, one = 1, kds = 1, kdiag = 0, kopt = 0;
                std::int64_t kstat = 1;
                KELD_ESPCSF(&t, &p, z, &n, idx.data(), &kwork, &kspare, &kvl, &one, &one, &one, &one, &one, &kds,
                            &kdiag, phi, &h, &sv, &g, &v, dphi, &dh, &ds, &dg, &dv, &kstat, &kopt);
                ASSERT_EQ(kstat, 1);
                const auto props = properties_at_pressure(m, t, p, x, Phase::liquid);
                ASSERT_TRUE(props.has_value());
                // The two roots differ within the monitor's acceptance (1e-14 |V dP/dV|).
                for (int k = 0; k < 3; ++k)
                    EXPECT_NEAR(props->ln_phi_apparent[k], phi[k], 5e-12 + 1e-12 * std::fabs(phi[k]));
                EXPECT_NEAR(props->v_apparent / v, 1.0, 1e-12);
                if (!temperature_table) {
                    EXPECT_NEAR(props->h_res_apparent / h, 1.0, 1e-10);
                }
            }
        }
    }
}

TEST(PcSaftFromHost, NamesAMissingParameter) {
    Store s;
    fill(s, true);
    const std::vector<std::int64_t> idx{s.toluene, s.ps};
    const auto built = model::pcsaft_from_host(*host::Host::current(), 1, idx);
    EXPECT_FALSE(built.model.has_value());
    EXPECT_EQ(built.why, "PCSFTV (data set 1) missing for segment STY");
    EXPECT_FALSE(model::pcsaft_from_host(*host::Host::current(), 2, idx).model.has_value());
}

}  // namespace
}  // namespace keld::testing
