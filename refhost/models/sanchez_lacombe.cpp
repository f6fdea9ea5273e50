#include "keld/keld.h"
#include "models/models.h"
#include "models/monitor27.h"

namespace keld::refhost::families {

ModelEntry sanchez_lacombe() {
    return {"sanchez-lacombe",
            "Sanchez-Lacombe lattice fluid (KELD_ESSLP, initialised by KELD_ESPSLI)",
            evaluate_monitor27<KELD_ESSLP>,
            KELD_ESPSLI,
            {"SLTSTR", "SLPSTR", "SLRSTR", "SLKIJ", "SLETIJ"}};
}

}  // namespace keld::refhost::families
