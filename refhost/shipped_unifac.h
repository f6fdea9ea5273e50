// The names in the original-UNIFAC table the reference host ships (data/unifac-original.json), for
// whoever checks a group name against it before the table is loaded: the case reader refuses a
// component's group that neither the shipped table nor the case itself defines.
#pragma once

#include <string>
#include <vector>

namespace keld::refhost::detail {

const std::vector<std::string> &shipped_unifac_subgroups();
const std::vector<std::string> &shipped_unifac_main_groups();

}  // namespace keld::refhost::detail
