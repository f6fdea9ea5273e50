// The library's view of the host table: bounds, logical words, identifiers,
// and what happens without a host.
#include "host/host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "keld/keld.h"
#include "support/fake_host.h"
#include "support/monitor_call.h"

namespace keld {
namespace {

TEST(HostView, LogicalsAreTestedOnTheirLowestBit) {
    EXPECT_TRUE(host::truth(-1));
    EXPECT_TRUE(host::truth(1));
    EXPECT_TRUE(host::truth(3));
    EXPECT_FALSE(host::truth(0));
    EXPECT_FALSE(host::truth(-2));
    EXPECT_EQ(host::logical(true), -1);
}

TEST(HostView, StoreAccessOutsideTheStoreIsNeutral) {
    testing::FakeHost fake(2, 100);
    const host::Host h = fake.view();
    fake.store()[99] = 7.0;
    EXPECT_EQ(h.real(100), 7.0);
    EXPECT_TRUE(std::isnan(h.real(101)));
    EXPECT_TRUE(std::isnan(h.real(0)));
    EXPECT_EQ(h.integer(-5), 0);
    h.set_real(101, 1.0);  // dropped, not written past the end
    h.set_real(0, 1.0);
    EXPECT_TRUE(h.in_store(1, 100));
    EXPECT_FALSE(h.in_store(1, 101));
    EXPECT_FALSE(h.in_store(100, 2));
    EXPECT_TRUE(h.in_store(101, 0));
    EXPECT_FALSE(h.in_store(5, -1));
    EXPECT_FALSE(h.in_store(INT64_MAX, 2));  // no overflow in the range test
    EXPECT_FALSE(h.in_store(2, INT64_MAX));
}

TEST(HostView, OffsetTablesAndGlobalsOutsideTheirBlocksReadZero) {
    testing::FakeHost fake(2);
    fake.offsets1()[1358] = 42;
    const host::Host h = fake.view();
    EXPECT_EQ(h.offsets1(1359), 42);
    EXPECT_EQ(h.offsets1(0), 0);
    EXPECT_EQ(h.offsets1(100000), 0);
    EXPECT_EQ(h.global(41), 0);
    EXPECT_EQ(h.root_control(1000), 0.0);
}

TEST(HostView, IdentifierIsTwoFourCharacterWords) {
    testing::FakeHost fake(2);
    // Identifiers at HostOffsets4(2) + 2i - 1 and + 2i; the fake's HostOffsets4(2) is 0.
    const char first[8] = {'T', 'O', 'L', 'U', ' ', ' ', ' ', ' '}, second[8] = {'E', 'N', 'E', ' ', ' ', ' ', ' ', ' '};
    std::memcpy(&fake.store()[2], first, 8);
    std::memcpy(&fake.store()[3], second, 8);
    const host::ComponentId id = fake.view().identifier(2);
    EXPECT_EQ(std::string(id.data(), 8), "TOLUENE ");
    EXPECT_EQ(std::string(fake.view().identifier(3).data(), 8), "        ");  // not a component
}

TEST(HostView, MissingOperationsAreTreatedAsAbsent) {
    testing::FakeHost fake(2);
    keld_host t = fake.table();
    t.param_offset = nullptr;
    t.message_check = nullptr;
    t.is_polymer = nullptr;
    const host::Host h(t);
    EXPECT_EQ(h.param_offset("SLTSTR"), 0);
    EXPECT_FALSE(h.message_check(host::RoutineId("POSL", "R2"), 3, 6, 4, 0, 1, 0));
    EXPECT_FALSE(h.is_polymer(1));
}

TEST(HostView, DataSetsBeyondTheHostsCountDoNotExist) {
    testing::FakeHost fake(2);
    keld_host t = fake.table();
    EXPECT_TRUE(host::Host(t).has_data_set(7));  // the host does not say: any positive set
    std::int64_t count = 2;
    t.data_set_count = &count;
    const host::Host h(t);
    EXPECT_TRUE(h.has_data_set(2));
    EXPECT_FALSE(h.has_data_set(3));
    EXPECT_FALSE(h.has_data_set(0));
}

TEST(HostInstall, WithoutAHostEveryRoutineReturnsWithoutWriting) {
    keld_host_install(nullptr);
    keld_host none;
    EXPECT_EQ(keld_host_installed(&none), 0);
    testing::MonitorArgs a;
    for (auto fn : {KELD_ESSLP, KELD_ESPCSF}) {
        const testing::MonitorResult r = testing::call_monitor(fn, a);
        EXPECT_EQ(r.kstat, 1);
        EXPECT_EQ(r.v, testing::kUntouchedOutput);
        EXPECT_EQ(r.phi[0], testing::kUntouchedOutput);
    }
    const std::int64_t nds = 1;
    KELD_ESPSLI(&nds);
    KELD_ESPCSI(&nds);
    KELD_ESPSLI(nullptr);
}

TEST(HostInstall, TheTableIsCopiedAndCanBeReplaced) {
    testing::FakeHost fake(3);
    fake.install();
    keld_host installed;
    ASSERT_EQ(keld_host_installed(&installed), 1);
    EXPECT_EQ(*installed.component_count, 3);
    installed.is_segment = [](const std::int64_t *) -> std::int64_t { return host::kTrue; };
    keld_host_install(&installed);
    EXPECT_TRUE(host::Host::current()->is_segment(2));
}

TEST(Exports, FortranAliasesAreTheSameRoutines) {
    EXPECT_EQ(reinterpret_cast<void *>(&keld_esslp_), reinterpret_cast<void *>(&KELD_ESSLP));
    EXPECT_EQ(reinterpret_cast<void *>(&keld_espcsf_), reinterpret_cast<void *>(&KELD_ESPCSF));
    EXPECT_EQ(reinterpret_cast<void *>(&keld_espcsa_), reinterpret_cast<void *>(&KELD_ESPCSA));
    EXPECT_EQ(reinterpret_cast<void *>(&keld_espsli_), reinterpret_cast<void *>(&KELD_ESPSLI));
}

}  // namespace
}  // namespace keld
