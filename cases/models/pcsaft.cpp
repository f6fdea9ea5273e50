#include "keld/keld.h"
#include "models/models.h"
#include "models/monitor27.h"

namespace keld::refhost::families {

ModelEntry pcsaft() {
    ModelEntry entry{"pcsaft",
                     "PC-SAFT, hard chain and dispersion (KELD_ESPCSF, initialised by KELD_ESPCSI)",
                     evaluate_monitor27<KELD_ESPCSF>,
                     KELD_ESPCSI,
                     {"PCSFTM", "PCSFTV", "PCSFTU", "PCSFTR", "PCSKIJ"},
                     true,
                     true};  // a missing PC-SAFT parameter stays missing: a state needs the family's parameters
    entry.monitor27 = KELD_ESPCSF;  // fast path of the phase-equilibrium layer
    entry.evaluate_in_work_area = evaluate_monitor27_in<KELD_ESPCSF>;
    return entry;
}

}  // namespace keld::refhost::families
