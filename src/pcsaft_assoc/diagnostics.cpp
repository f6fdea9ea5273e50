#include "pcsaft_assoc/diagnostics.h"

#include <span>

namespace keld::assoc {

void Diagnostics::write(std::string_view format, std::initializer_list<fortran::Item> items) const {
    if (!host_.has_unit_writer()) return;
    constexpr int kLines = 4, kLength = 160;
    char buffer[kLines * kLength];
    const int records = fortran::write(format, std::span<const fortran::Item>(items.begin(), items.size()), buffer,
                                       kLines, kLength);
    for (int k = 0; k < records; ++k) {
        std::string_view record(buffer + k * kLength, kLength);
        while (!record.empty() && record.back() == ' ') record.remove_suffix(1);
        host_.write_unit(unit_, record);
    }
}

}  // namespace keld::assoc
