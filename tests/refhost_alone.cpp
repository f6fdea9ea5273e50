// The reference host linked from its own objects, without the case layer above it (cases/): a host
// source that calls into the case layer fails to link this program. Checked here too: the shipped
// UNIFAC names the case reader validates group names against are the groups the host loads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keld/refhost.h"
#include "shipped_unifac.h"

namespace keld::refhost {
namespace {

TEST(RefhostAlone, ShippedUnifacNamesAreTheGroupsTheHostLoads) {
    const ReferenceHost host;
    const std::vector<std::string> &subgroups = detail::shipped_unifac_subgroups();
    const std::vector<std::string> &main_groups = detail::shipped_unifac_main_groups();
    ASSERT_FALSE(subgroups.empty());
    ASSERT_FALSE(main_groups.empty());
    EXPECT_EQ(static_cast<std::int64_t>(subgroups.size()), host.unifac_subgroup_count());
    for (const std::string &name : subgroups) EXPECT_TRUE(host.has_unifac_subgroup(name)) << name;
    for (const std::string &name : main_groups) EXPECT_TRUE(host.has_unifac_main_group(name)) << name;
    EXPECT_FALSE(host.has_unifac_subgroup("NOT-A-GROUP"));
}

}  // namespace
}  // namespace keld::refhost
