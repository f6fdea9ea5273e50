#include "common/missing_parameters.h"

namespace keld {

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
