// The C host table: installation, replacement of one operation by a fake,
// forwarding of the density-root conversation, and uninstalling.
#include <bit>
#include <cmath>

#include <gtest/gtest.h>

#include "keld/refhost.h"
#include "root_search.h"

namespace keld::refhost {
namespace {

void failing_root(std::int64_t *state, std::int64_t *, const double *, const double *, const double *,
                  const double *, const double *, double *, double *, double *, const char *, const std::int64_t *) {
    *state = 5;
}

std::int64_t refuse_everything(const char *, const std::int64_t *, const std::int64_t *, const std::int64_t *,
                               const std::int64_t *, const std::int64_t *, const std::int64_t *,
                               const std::int64_t *) {
    return 0;
}

TEST(HostTable, EveryFieldIsFilled) {
    ReferenceHost host;
    host.add_component("A", ComponentKind::ordinary, 10.0);
    const keld_host t = host.table();
    EXPECT_EQ(t.store, host.store().data());
    EXPECT_EQ(t.store_words, static_cast<std::int64_t>(host.store().size()));
    EXPECT_EQ(*t.component_count, 1);
    EXPECT_EQ(*t.work_offset, host.work_offset());
    EXPECT_EQ(t.real_globals[0], 1.0e35);
    EXPECT_EQ(t.property_globals[2], 8314.462618);
    EXPECT_GE(t.globals_words, 30);
    EXPECT_GE(t.error_control2_words, 20);
    EXPECT_GE(t.root_control_words, 20);
    EXPECT_GE(t.offsets1_words, 1383);
    EXPECT_EQ(t.root_control[16], 1.0e8);
    const void *operations[] = {
        reinterpret_cast<const void *>(t.param_offset),     reinterpret_cast<const void *>(t.is_polymer),
        reinterpret_cast<const void *>(t.is_oligomer),      reinterpret_cast<const void *>(t.is_segment),
        reinterpret_cast<const void *>(t.apparent_to_true), reinterpret_cast<const void *>(t.apparent_to_weight),
        reinterpret_cast<const void *>(t.number_average_mw), reinterpret_cast<const void *>(t.find_polymer_map),
        reinterpret_cast<const void *>(t.locate),           reinterpret_cast<const void *>(t.locate_matrix),
        reinterpret_cast<const void *>(t.segment_weight_fractions),
        reinterpret_cast<const void *>(t.segment_mole_fractions),
        reinterpret_cast<const void *>(t.message_check),    reinterpret_cast<const void *>(t.print_message),
        reinterpret_cast<const void *>(t.vapor_root),       reinterpret_cast<const void *>(t.liquid_root),
        reinterpret_cast<const void *>(t.binary_table3),    reinterpret_cast<const void *>(t.temp_param),
        reinterpret_cast<const void *>(t.component_vector), reinterpret_cast<const void *>(t.accelerate),
        reinterpret_cast<const void *>(t.convergence_test), reinterpret_cast<const void *>(t.lu_factor),
        reinterpret_cast<const void *>(t.lu_solve),         reinterpret_cast<const void *>(t.matrix_invert),
        reinterpret_cast<const void *>(t.line_search),      reinterpret_cast<const void *>(t.write_unit)};
    for (const void *op : operations) EXPECT_NE(op, nullptr);
}

TEST(HostTable, AFakeReplacesOneOperationAndKeepsTheRest) {
    ReferenceHost host;
    const std::int64_t polymer = host.add_polymer("PE", ComponentKind::polymer, 28.05, 5.0e4);
    host.install();
    keld_host fake = host.table();
    fake.vapor_root = failing_root;
    fake.message_check = refuse_everything;
    host.install(fake);

    keld_host installed{};
    ASSERT_NE(keld_host_installed(&installed), 0);
    std::int64_t state = 4, mode = 1;
    double v = 0, p_calc = 0, dpdv = 0;
    const double vcp = 0.03, vc = 0.1, t = 300, p = 1e5;
    installed.vapor_root(&state, &mode, &vcp, &vc, &vc, &t, &p, &v, &p_calc, &dpdv, "TEST    FAKE    ", &mode);
    EXPECT_EQ(state, 5);
    const std::int64_t c = 1, n = 1, level = 99;
    EXPECT_EQ(installed.message_check("TEST    FAKE    ", &c, &n, &level, &c, &c, &c, &c), 0);
    EXPECT_EQ(installed.is_polymer(&polymer), -1);  // the rest still reaches the host

    // A new component moves the store; the fake stays installed with the new store.
    host.add_component("HEXANE", ComponentKind::ordinary, 86.18);
    ASSERT_NE(keld_host_installed(&installed), 0);
    EXPECT_EQ(installed.store, host.store().data());
    EXPECT_EQ(installed.vapor_root, &failing_root);
}

TEST(HostTable, DestroyingTheCurrentHostUninstallsIt) {
    {
        ReferenceHost host;
        host.install();
        EXPECT_EQ(ReferenceHost::current(), &host);
    }
    keld_host installed{};
    EXPECT_EQ(keld_host_installed(&installed), 0);
    EXPECT_EQ(ReferenceHost::current(), nullptr);
}

TEST(HostTable, CallbacksWithoutACurrentHostAnswerEmpty) {
    keld_host t{};
    {
        ReferenceHost host;
        t = host.table();
    }
    const std::int64_t one = 1, length = 2;
    EXPECT_EQ(t.param_offset("MW", &length), 0);
    EXPECT_EQ(t.is_polymer(&one), 0);
    std::int64_t state = 4, mode = 1;
    double v = 0, p_calc = 0, dpdv = 0;
    const double x = 1.0;
    t.liquid_root(&state, &mode, &x, &x, &x, &x, &x, &v, &p_calc, &dpdv, nullptr, nullptr);
    EXPECT_EQ(state, 5);
}

// An ideal gas answered through the installed table converges at V = R T / P,
// with R taken from the host's property block.
TEST(HostTable, RootConversationReachesTheRootSearch) {
    ReferenceHost host;
    host.add_component("N2", ComponentKind::ordinary, 28.014);
    host.set_root_switch(2, true);
    host.install();
    keld_host t{};
    ASSERT_NE(keld_host_installed(&t), 0);
    const double r = host.property_global(3), temperature = 350.0, pressure = 2.0e5;
    std::int64_t state = 4, mode = 1;
    double v = 0.0, p_calc = 1e35, dpdv = 1e35;
    const double vcp = 0.02, vc = 0.09, vdiv = 0.02;
    for (int evaluations = 0; evaluations < 500; ++evaluations) {
        t.vapor_root(&state, &mode, &vcp, &vc, &vdiv, &temperature, &pressure, &v, &p_calc, &dpdv,
                     "TEST    IDEAL   ", &mode);
        if (state < 1 || state > 3) break;
        p_calc = r * temperature / v;
        if (mode != 2) dpdv = -r * temperature / (v * v);
    }
    ASSERT_EQ(state, 4);
    EXPECT_NEAR(v, r * temperature / pressure, 1e-8 * v);
    EXPECT_EQ(host.vapour_search().settings().gas_constant, r);
}

}  // namespace
}  // namespace keld::refhost
