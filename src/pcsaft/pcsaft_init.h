// PC-SAFT parameter check, run once before property calls: clears the
// polymer-source flags, reports missing segment parameters of ordinary
// components and segments (nothing is stored in their place), and hands the
// binary coefficient table of every data set to the host.
#pragma once

#include <cstdint>

namespace keld::pcsaft {

void initialise(std::int64_t data_sets);

}  // namespace keld::pcsaft
