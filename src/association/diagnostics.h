// Diagnostic lines of the association routine and its solvers: Fortran FORMAT records written to
// the caller's diagnostic unit through the host. Formatting uses a stack buffer; nothing is allocated.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "common/fortran_format.h"
#include "host/host.h"

namespace keld::assoc {

class Diagnostics {
public:
    Diagnostics(const host::Host &host, std::int64_t level, std::int64_t unit)
        : host_(host), level_(level), unit_(unit) {}
    std::int64_t level() const { return level_; }
    // Writes the records of `format` with `items` (unconditionally; callers test the level).
    void write(std::string_view format, std::initializer_list<fortran::Item> items) const;
    // A heading followed by one (3(I3,2X),G13.6) row per value: NO, component, site number, value.
    template <class Row>
    void table(std::int64_t rows, Row &&row) const {
        for (std::int64_t r = 0; r < rows; ++r) {
            std::int64_t no = 0, idx = 0, site = 0;
            double value = 0.0;
            row(r, no, idx, site, value);
            write("(3(I3,2X),G13.6)", {no, idx, site, value});
        }
    }

private:
    const host::Host &host_;
    std::int64_t level_;
    std::int64_t unit_;
};

}  // namespace keld::assoc
