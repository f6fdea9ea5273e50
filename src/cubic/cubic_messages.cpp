#include "cubic/cubic_messages.h"

#include <cstdio>

#include "common/messages.h"

namespace keld::cubic {

void report_failure(const host::Host &host, const CubicCall &call, const host::RoutineId &name,
                    std::int64_t number, std::string_view body, std::initializer_list<fortran::Item> items) {
    constexpr std::int64_t kWordC = 20;
    host.set_error_control2(kWordC, 0);
    const messages::CheckSite site{host::RoutineId("ES40", ""), 2, number, call.base.kdiag, 0, 1, 0};
    if (messages::wanted(host, site)) {
        char text[8];
        model_name_text(name, text);
        char format[400];
        const int length = std::snprintf(format, sizeof format,
                                         "(6X,'EQUATION OF STATE MODEL %.8s CANNOT BE EVALUATED:',/,%.*s)", text,
                                         static_cast<int>(body.size()), body.data());
        if (length > 0 && length < static_cast<int>(sizeof format))
            messages::write_and_print(host, std::string_view(format, static_cast<std::size_t>(length)), items);
    }
    host.set_error_control2(kWordC, 0);
}

}  // namespace keld::cubic
