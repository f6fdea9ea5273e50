#include "keld/keld.h"
#include "models/models.h"
#include "models/monitor27.h"

namespace keld::refhost::families {

ModelEntry sanchez_lacombe() {
    ModelEntry entry{"sanchez-lacombe",
                     "Sanchez-Lacombe lattice fluid (KELD_ESSLP, initialised by KELD_ESPSLI)",
                     evaluate_monitor27<KELD_ESSLP>,
                     KELD_ESPSLI,
                     {"SLTSTR", "SLPSTR", "SLRSTR", "SLKIJ", "SLETIJ"}};
    entry.monitor27 = KELD_ESSLP;  // fast path of the phase-equilibrium layer
    entry.evaluate_in_work_area = evaluate_monitor27_in<KELD_ESSLP>;
    return entry;
}

}  // namespace keld::refhost::families
