// The cubic equation of state with excess-Gibbs mixing: the call, the rule
// families, the excess-Gibbs models and the constants of the SRK form.
#pragma once

#include <cstdint>

#include "common/monitor_call.h"
#include "host/host.h"

namespace keld::cubic {

// SRK: P = RT/(V - b) - D/((V + u b)(V + w b)) with u = 0, w = 1.
inline constexpr double kU = 0.0;
inline constexpr double kW = 1.0;
inline constexpr double kOmegaA = 0.42748;
inline constexpr double kOmegaB = 0.08664;

// KRULE: 2, 3 and 4 select an excess-Gibbs rule; any other value the
// classical van der Waals one-fluid rule.
enum class Rule { van_der_waals, wong_sandler, mhv1, mhv2 };

// KMODEL 1..7 within the excess-Gibbs rules.
enum class GibbsModel { ideal = 1, redlich_kister, wilson, van_laar, nrtl, uniquac, unifac };

inline Rule rule_of(std::int64_t krule) {
    switch (krule) {
        case 2: return Rule::wong_sandler;
        case 3: return Rule::mhv1;
        case 4: return Rule::mhv2;
        default: return Rule::van_der_waals;
    }
}
inline bool uses_gibbs_model(Rule r) { return r != Rule::van_der_waals; }

// The monitor's arguments beyond the common ones.
struct CubicCall {
    MonitorCall base;  // base.kstat points at KRET
    std::int64_t keosopt, kmodel, krule, kpass;
};

// The model name: two 8-character words, "ESRK" and "S" by default.
host::RoutineId model_name(std::int64_t krule, std::int64_t kmodel);
// The same name as the 2A4 text of the messages ("ESRKV1N ").
void model_name_text(const host::RoutineId &name, char (&text)[8]);

}  // namespace keld::cubic
