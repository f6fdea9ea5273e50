// The model families the case files, the keld command and the Python module
// know. Each family's entry is defined in a file of its own in this folder;
// registry.cpp lists them.
#pragma once

#include "keld/case.h"

namespace keld::refhost::families {

ModelEntry sanchez_lacombe();
ModelEntry pcsaft();
ModelEntry saft();
ModelEntry saft_stored();
ModelEntry cubic();
ModelEntry pcsaft_segment();
ModelEntry saft_segment();
ModelEntry sanchez_lacombe_segment();

}  // namespace keld::refhost::families
