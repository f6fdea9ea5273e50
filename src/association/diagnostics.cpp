#include "association/diagnostics.h"

#include <span>

namespace keld::assoc {

void Diagnostics::write(std::string_view format, std::initializer_list<fortran::Item> items) const {
    if (!host_.has_unit_writer()) return;
    constexpr int kLines = 4, kLength = 160;
    char buffer[kLines * kLength];
    int lengths[kLines];
    const int records = fortran::write(format, std::span<const fortran::Item>(items.begin(), items.size()), buffer,
                                       kLines, kLength, lengths);
    // Each record as the FORMAT wrote it, the blanks a field leaves at its end included (a Fortran
    // WRITE keeps them; the line padding of the buffer is not part of the record).
    for (int k = 0; k < records; ++k)
        host_.write_unit(unit_, std::string_view(buffer + k * kLength, static_cast<std::size_t>(lengths[k])));
}

}  // namespace keld::assoc
