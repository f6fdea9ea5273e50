#include "common/missing_parameters.h"

namespace keld {

bool ParameterCheck::require_segments(std::string_view name, const double *q, std::int64_t polymer,
                                      SegmentScratch scratch, std::int64_t kopt, bool every_present_segment) {
    const SegmentList list = find_segment_list(host_);
    const bool by_mole = !every_present_segment && mole_fractions_requested(kopt);
    const std::int64_t count = segment_fractions(host_, list, polymer, by_mole, scratch);
    if (count < 1) return require(name, polymer, host_.missing());
    bool ok = true;
    if (!every_present_segment) {
        // The averages normalise the fractions (all equal when they sum to nothing)
        // before comparing them with the floor.
        double sum = 0.0;
        for (std::int64_t k = 0; k < count; ++k) sum += scratch.f[k];
        const double floor = host_.segment_fraction_floor();
        for (std::int64_t k = 1; k <= count; ++k) {
            const double f = sum <= 0.0 ? 1.0 / static_cast<double>(count) : scratch.f[k - 1] / sum;
            if (f < floor && scratch.f[k - 1] < floor) continue;
            const std::int64_t s = list.component(host_, k);
            ok = require(name, s, q[s - 1]) && ok;
        }
    } else {
        for (std::int64_t k = 1; k <= count; ++k) {
            if (scratch.f[k - 1] == 0.0) continue;
            const std::int64_t s = list.component(host_, k);
            ok = require(name, s, q[s - 1]) && ok;
        }
    }
    return ok;
}

void report_missing_parameter(const host::Host &host, const RefusalSite &site, std::int64_t level,
                              std::int64_t data_set, const MissingParameter &missing) {
    messages::MissingParameterReport report(host, site.model_name);
    const messages::CheckSite check{site.routine, site.check_class, site.number, level};
    const host::ComponentId id = host.identifier(missing.component);
    const std::string_view what =
        host.is_segment(missing.component) ? "MISSING FOR SEGMENT " : "MISSING FOR COMPONENT ";
    report.issue(check, "6X,A,' (DATA SET ',I3,') ',A,2A4",
                 {missing.name, data_set, what, std::string_view(id.data(), 4), std::string_view(id.data() + 4, 4)});
}

void refuse_missing_parameter(const host::Host &host, const MonitorCall &call, const RefusalSite &site,
                              const MissingParameter &missing) {
    reject(call);
    report_missing_parameter(host, site, call.kdiag, call.kds, missing);
}

}  // namespace keld
