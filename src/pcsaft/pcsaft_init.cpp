#include "pcsaft/pcsaft_init.h"

#include <optional>
#include <string_view>

#include "common/messages.h"
#include "common/temperature_table.h"
#include "common/monitor_call.h"
#include "host/host.h"
#include "pcsaft/pcsaft_work.h"

namespace keld::pcsaft {
namespace {

const host::RoutineId kRoutine("ESPC", "SI");
constexpr std::int64_t kSkipCheck = 100;  // HostGlobals(30): parameters already checked

struct Checked {
    std::int64_t element;
    std::string_view name;
};

void report_missing(messages::MissingParameterReport &report, const host::Host &host, std::string_view name,
                    std::int64_t data_set, std::int64_t component) {
    const messages::CheckSite site{kRoutine, 2, 1, host.global(11)};
    const host::ComponentId id = host.identifier(component);
    const std::string_view what = host.is_segment(component) ? "MISSING FOR SEGMENT " : "MISSING FOR COMPONENT ";
    report.issue(site, "6X,A,' (DATA SET ',I3,') ',A,2A4",
                 {name, data_set, what, std::string_view(id.data(), 4), std::string_view(id.data() + 4, 4)});
}

void check_parameters(const host::Host &host, std::int64_t data_sets) {
    using namespace elements;
    const std::int64_t nc = host.component_count();
    const std::int64_t m = host.offsets1(kSegmentNumber), sigma = host.offsets1(kSegmentDiameter),
                       eps = host.offsets1(kSegmentEnergy), r = host.offsets1(kSegmentRatio),
                       source = host.offsets1(kSourceFlags);
    messages::MissingParameterReport report(host, "POLYPCSF");
    for (std::int64_t d = 1; d <= data_sets && host.has_data_set(d); ++d) {
        if (!unary_block_in_store(host, m, d) || !unary_block_in_store(host, sigma, d) ||
            !unary_block_in_store(host, eps, d) || !unary_block_in_store(host, r, d) ||
            !unary_block_in_store(host, source, d))
            break;  // a data set past the host's arrays ends the walk
        for (std::int64_t i = 1; i <= nc; ++i) {
            host.set_real(host.unary_pos(source, d, i), 0.0);
            if (host.is_polymer_or_oligomer(i)) continue;  // completed from segments by the monitor
            const bool segment = host.is_segment(i);
            auto missing = [&](std::int64_t base) { return host.is_missing(host.real(host.unary_pos(base, d, i))); };
            if (!segment && missing(m)) report_missing(report, host, "PCSFTM", d, i);
            if (missing(eps)) report_missing(report, host, "PCSFTU", d, i);
            if (missing(sigma)) report_missing(report, host, "PCSFTV", d, i);
            if (segment && missing(r)) report_missing(report, host, "PCSFTR", d, i);
        }
    }
    if (report.issued() > 0 && messages::wanted(host, {kRoutine, 0, 1, host.global(11)}))
        messages::write_and_print(host, "(6X,'EQUATION OF STATE MODEL POLYPCSF HAS MISSING ','PARAMETERS')", {});
}

}  // namespace

void initialise(std::int64_t data_sets) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found) return;
    if (found->global(30) != kSkipCheck && data_sets >= 1) check_parameters(*found, data_sets);
    hand_over_temperature_table(*found, data_sets, elements::kBinaryTable, elements::kTableResult);
}

}  // namespace keld::pcsaft
