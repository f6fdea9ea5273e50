// Message check policy and the printing of the message buffer.
#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "keld/refhost.h"

namespace keld::refhost {

namespace {

constexpr std::size_t routine_word_chars = 8;

std::string padded_word(std::string_view word) {
    if (word.size() > routine_word_chars) throw std::invalid_argument("routine word longer than 8 characters");
    std::string padded(word);
    padded.resize(routine_word_chars, ' ');
    return padded;
}

std::string routine_from_pointer(const char *routine16) {
    std::string id(KELD_ROUTINE_ID_CHARS, ' ');
    if (routine16 != nullptr) {
        for (std::size_t k = 0; k < id.size(); ++k) id[k] = routine16[k] == '\0' ? ' ' : routine16[k];
    }
    return id;
}

}  // namespace

std::string routine_id(std::string_view word1, std::string_view word2) {
    return padded_word(word1) + padded_word(word2);
}

std::int64_t MessagePolicy::threshold(std::int64_t check_class) const {
    const auto found = class_thresholds.find(check_class);
    return found == class_thresholds.end() ? check_class : found->second;
}

void MessagePolicy::suppress_routine(std::string_view word1, std::string_view word2) {
    suppressed_routines.insert(routine_id(word1, word2));
}

bool MessagePolicy::allows(std::string_view routine16, std::int64_t check_class, std::int64_t level) const {
    switch (mode) {
        case MessageMode::accept_all: return true;
        case MessageMode::refuse_all: return false;
        case MessageMode::by_level: break;
    }
    if (suppressed_routines.contains(std::string(routine16))) return false;
    return level >= threshold(check_class);
}

namespace {

// The innermost open capture of the calling thread (any host).
thread_local ReferenceHost::MessageCapture *open_capture = nullptr;

}  // namespace

ReferenceHost::MessageCapture::MessageCapture(const ReferenceHost &host) : host_(&host), outer_(open_capture) {
    open_capture = this;
}

ReferenceHost::MessageCapture::~MessageCapture() { open_capture = outer_; }

bool ReferenceHost::message_check(const char *routine16, std::int64_t check_class, std::int64_t number,
                                  std::int64_t level, std::int64_t global8, std::int64_t word_a,
                                  std::int64_t word_b, std::int64_t word_c) {
    const std::lock_guard<std::mutex> lock(messages_mutex_);
    std::string routine = routine_from_pointer(routine16);
    const bool issued = policy_.allows(routine, check_class, level);
    ++check_counts_[{routine, check_class, number}];
    ++total_checks_;
    last_check_ = {std::move(routine), check_class, number, level, global8, word_a, word_b, word_c, issued};
    return issued;
}

void ReferenceHost::print_message(std::int64_t line_count) {
    const std::lock_guard<std::mutex> lock(messages_mutex_);
    ++print_count_;
    MessageCapture *capture = open_capture != nullptr && open_capture->host_ == this ? open_capture : nullptr;
    const std::int64_t lines = std::clamp<std::int64_t>(line_count, 0, KELD_MESSAGE_LINES);
    for (std::int64_t line = 1; line <= lines; ++line) {
        std::string_view text = message_line(line);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
        if (capture != nullptr) {
            capture->lines_.emplace_back(text);
        } else if (sink_) {
            sink_(text);
        }
        write_message_line(line, {});
    }
}

void ReferenceHost::set_message_sink(std::function<void(std::string_view)> sink) { sink_ = std::move(sink); }

void ReferenceHost::print_messages_to_stderr() {
    sink_ = [](std::string_view line) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fputc('\n', stderr);
    };
}

void ReferenceHost::capture_messages() {
    sink_ = [this](std::string_view line) { captured_.emplace_back(line); };
}

std::int64_t ReferenceHost::message_check_count(std::string_view word1, std::string_view word2,
                                                std::int64_t check_class, std::int64_t number) const {
    const std::lock_guard<std::mutex> lock(messages_mutex_);
    const auto found = check_counts_.find({routine_id(word1, word2), check_class, number});
    return found == check_counts_.end() ? 0 : found->second;
}

}  // namespace keld::refhost
