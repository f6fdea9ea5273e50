// The registry of model families, in the order the tools list them.
#include "models/models.h"

namespace keld::refhost {

const std::vector<ModelEntry> &models() {
    static const std::vector<ModelEntry> registry{
        families::sanchez_lacombe(),
        families::pcsaft(),
        families::saft(),
        families::saft_stored(),
        families::cubic(),
        families::pcsaft_segment(),
        families::saft_segment(),
        families::sanchez_lacombe_segment(),
        families::pcsaft_assoc(),
    };
    return registry;
}

}  // namespace keld::refhost
