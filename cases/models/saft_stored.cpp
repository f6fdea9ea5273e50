#include "keld/keld.h"
#include "models/models.h"
#include "models/monitor27.h"

namespace keld::refhost::families {

ModelEntry saft_stored() {
    ModelEntry entry{"saft-stored",
                     "SAFT of Huang and Radosz from the host store, polymers from their segments (KELD_PSAFM1, "
                     "initialised by KELD_ESSFTI)",
                     evaluate_monitor27<KELD_PSAFM1>,
                     KELD_ESSFTI,
                     {"SAFTM", "SAFTV", "SAFTU", "SAFTE", "SAFTR", "SFTKIJ"}};
    entry.evaluate_in_work_area = evaluate_monitor27_in<KELD_PSAFM1>;
    return entry;
}

}  // namespace keld::refhost::families
