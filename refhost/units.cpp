// Diagnostic units of the reference host: unit number -> sink.
#include <cstdio>

#include "keld/refhost.h"

namespace keld::refhost {

void ReferenceHost::set_unit_sink(std::int64_t unit, std::function<void(std::string_view)> sink) {
    std::lock_guard lock(*unit_mutex_);
    unit_sinks_[unit] = std::move(sink);
}

void ReferenceHost::capture_unit(std::int64_t unit) {
    std::lock_guard lock(*unit_mutex_);
    unit_lines_[unit];
    unit_sinks_[unit] = [this, unit](std::string_view line) { unit_lines_[unit].emplace_back(line); };
}

const std::vector<std::string> &ReferenceHost::unit_lines(std::int64_t unit) const {
    static const std::vector<std::string> none;
    const auto it = unit_lines_.find(unit);
    return it == unit_lines_.end() ? none : it->second;
}

void ReferenceHost::clear_unit_lines(std::int64_t unit) {
    std::lock_guard lock(*unit_mutex_);
    unit_lines_[unit].clear();
}

void ReferenceHost::write_unit(std::int64_t unit, std::string_view record) {
    while (!record.empty() && (record.back() == ' ' || record.back() == '\0')) record.remove_suffix(1);
    std::lock_guard lock(*unit_mutex_);
    const auto it = unit_sinks_.find(unit);
    if (it != unit_sinks_.end()) {
        if (it->second) it->second(record);
    } else if (unit == 6 || unit == 0) {
        std::FILE *stream = unit == 6 ? stdout : stderr;
        std::fprintf(stream, "%.*s\n", static_cast<int>(record.size()), record.data());
    }
}

}  // namespace keld::refhost
