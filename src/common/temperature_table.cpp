#include "common/temperature_table.h"

#include "common/monitor_call.h"

namespace keld {

void hand_over_temperature_table(const host::Host &host, std::int64_t data_sets, std::int64_t table_element,
                                 std::int64_t result_element) {
    const keld_host &t = host.table();
    if (!t.temp_param) return;
    std::int64_t nc = host.component_count();
    const std::int64_t table = host.offsets1(table_element), result = host.offsets1(result_element);
    for (std::int64_t d = 1; d <= data_sets && host.has_data_set(d); ++d) {
        if (!binary_block_in_store(host, table, d, 6) || !unary_block_in_store(host, result, d)) return;
        std::int64_t coefficients = 6, form = 5, option = 1;
        t.temp_param(&coefficients, &nc, host.word(table + 6 * nc * nc * (d - 1) + 1), &form, &option,
                     host.word(result + nc * (d - 1) + 1));
    }
}

}  // namespace keld
