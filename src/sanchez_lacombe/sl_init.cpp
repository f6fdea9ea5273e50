#include "sanchez_lacombe/sl_init.h"

#include <cstdio>
#include <optional>
#include <utility>
#include <string_view>

#include "common/messages.h"
#include "common/temperature_table.h"
#include "common/monitor_call.h"
#include "host/host.h"
#include "sanchez_lacombe/sl_parameters.h"

namespace keld::sanchez_lacombe {
namespace {

const host::RoutineId kRoutine("ESPS", "LI");
constexpr std::int64_t kSkipCompletion = 100;  // HostGlobals(30): parameters already complete
constexpr std::int64_t kCheckWordC = 2;

// One missing characteristic parameter: its name, the check number, the value
// stored, and the text of the warning's second line.
struct Nominal {
    std::string_view name;
    std::int64_t check_number;
    double value;
    std::string_view value_line;  // format of the "A NOMINAL VALUE OF" line
    double printed;
};

constexpr Nominal kPStar{"SLPSTR", 1, kNominalPStar, "6X,'A NOMINAL VALUE OF ',F6.0,' (bar) ASSUMED'", 3000.0};
constexpr Nominal kTStar{"SLTSTR", 2, kNominalTStar, "6X,'A NOMINAL VALUE OF ',F5.0,' (K) ASSUMED'", 415.0};
constexpr Nominal kRhoStar{"SLRSTR", 3, kNominalRhoStar, "6X,'A NOMINAL VALUE OF ',F5.0,' (KG/CUM) ASSUMED'",
                           736.0};

void warn_missing(messages::MissingParameterReport &report, const host::Host &host, const Nominal &p,
                  std::int64_t data_set, std::int64_t component) {
    const messages::CheckSite site{kRoutine, 3, p.check_number, host.global(11), 0, 1, kCheckWordC};
    const host::ComponentId id = host.identifier(component);
    const std::string_view what = host.is_segment(component) ? "MISSING FOR SEGMENT " : "MISSING FOR COMPONENT ";
    char body[160];
    const int length = std::snprintf(body, sizeof body, "6X,'%.*s (DATA SET ',I3,') ',A,2A4,/,%.*s",
                                     static_cast<int>(p.name.size()), p.name.data(),
                                     static_cast<int>(p.value_line.size()), p.value_line.data());
    report.issue(site, std::string_view(body, static_cast<std::size_t>(length)),
                 {data_set, what, std::string_view(id.data(), 4), std::string_view(id.data() + 4, 4), p.printed});
}

void complete_parameters(const host::Host &host, std::int64_t data_sets) {
    const std::int64_t nc = host.component_count();
    const std::int64_t t_star = host.param_offset("SLTSTR"), p_star = host.param_offset("SLPSTR"),
                       rho_star = host.param_offset("SLRSTR"), source = host.offsets1(kSourceFlagsElement);
    messages::MissingParameterReport report(host, "POLYSL");
    for (std::int64_t d = 1; d <= data_sets && host.has_data_set(d); ++d) {
        // A data set past the host's arrays ends the walk.
        if (!unary_block_in_store(host, t_star, d) || !unary_block_in_store(host, p_star, d) ||
            !unary_block_in_store(host, rho_star, d) || !unary_block_in_store(host, source, d))
            return;
        for (std::int64_t i = 1; i <= nc; ++i) {
            host.set_real(host.unary_pos(source, d, i), 0.0);
            if (host.is_polymer_or_oligomer(i)) continue;  // completed from segments by the monitor
            for (const auto &[offset, nominal] : {std::pair{p_star, &kPStar}, std::pair{t_star, &kTStar},
                                                  std::pair{rho_star, &kRhoStar}}) {
                const std::int64_t pos = host.unary_pos(offset, d, i);
                if (!host.is_missing(host.real(pos))) continue;
                host.set_real(pos, nominal->value);
                warn_missing(report, host, *nominal, d, i);
            }
        }
    }
}

}  // namespace

void initialise(std::int64_t data_sets) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found) return;
    const host::Host &host = *found;
    if (host.global(30) != kSkipCompletion && data_sets >= 1) complete_parameters(host, data_sets);
    hand_over_temperature_table(host, data_sets, 690, 1382);
    hand_over_temperature_table(host, data_sets, 689, 1383);
}

}  // namespace keld::sanchez_lacombe
