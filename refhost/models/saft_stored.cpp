#include "keld/keld.h"
#include "models/models.h"
#include "models/monitor27.h"

namespace keld::refhost::families {

ModelEntry saft_stored() {
    return {"saft-stored",
            "SAFT of Huang and Radosz from the host store, polymers from their segments (KELD_PSAFM1, "
            "initialised by KELD_ESSFTI)",
            evaluate_monitor27<KELD_PSAFM1>,
            KELD_ESSFTI,
            {"SAFTM", "SAFTV", "SAFTU", "SAFTE", "SAFTR", "SFTKIJ"}};
}

}  // namespace keld::refhost::families
