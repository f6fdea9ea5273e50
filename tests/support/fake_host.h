// A small in-memory host for unit tests of the library's host-facing code.
// It fills the host table with plain data and operations that tests steer
// directly (segment map, fractions, classification, root routines).
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/host.h"
#include "keld/host.h"

namespace keld::testing {

class FakeHost {
public:
    explicit FakeHost(std::int64_t nc, std::int64_t store_words = 4096) : nc_(nc), store_(store_words, 0.0) {
        real_globals_[0] = 1.0e35;
        real_globals_[1] = 1.0e-6;
        property_globals_[0] = 101325.0;
        property_globals_[2] = 8314.462618;
        offsets4_[1] = 0;
        current() = this;
    }
    ~FakeHost() {
        if (current() == this) {
            current() = nullptr;
            keld_host_install(nullptr);
        }
    }

    static FakeHost *&current() {
        static FakeHost *host = nullptr;
        return host;
    }

    keld_host table() {
        keld_host t{};
        t.store = store_.data();
        t.store_words = static_cast<std::int64_t>(store_.size());
        t.component_count = &nc_;
        t.work_offset = &work_offset_;
        t.real_globals = real_globals_;
        t.real_globals_words = 2;
        t.property_globals = property_globals_;
        t.property_globals_words = 3;
        t.offsets1 = offsets1_.data();
        t.offsets1_words = static_cast<std::int64_t>(offsets1_.size());
        t.offsets4 = offsets4_;
        t.offsets4_words = 4;
        t.globals = globals_;
        t.globals_words = 40;
        t.error_buffer = buffer_;
        t.error_control2 = error_control2_;
        t.error_control2_words = 30;
        t.root_control = root_control_;
        t.root_control_words = 20;
        t.dpdv_control = dpdv_;
        t.dpdv_control_words = 1;
        if (work_words_ >= 0) t.work_words = &work_words_;
        t.is_polymer = [](const std::int64_t *i) { return kind_of(*i) == 'P' ? host::kTrue : host::kFalse; };
        t.is_oligomer = [](const std::int64_t *i) { return kind_of(*i) == 'O' ? host::kTrue : host::kFalse; };
        t.is_segment = [](const std::int64_t *i) { return kind_of(*i) == 'S' ? host::kTrue : host::kFalse; };
        t.find_polymer_map = [](std::int64_t *handle) { *handle = 7; };
        t.locate = [](const std::int64_t *handle) -> std::int64_t {
            return *handle == 7 ? current()->map_offset_ : *handle == 8 ? current()->list_offset_ : 0;
        };
        t.segment_weight_fractions = [](const std::int64_t *, const std::int64_t *p, double *f) {
            current()->fill_fractions(*p, f, false);
        };
        t.segment_mole_fractions = [](const std::int64_t *, const std::int64_t *p, double *f) {
            current()->fill_fractions(*p, f, true);
        };
        t.message_check = [](const char *, const std::int64_t *, const std::int64_t *, const std::int64_t *,
                             const std::int64_t *, const std::int64_t *, const std::int64_t *,
                             const std::int64_t *) -> std::int64_t { return current()->accept_messages_ ? 1 : 0; };
        t.print_message = [](const std::int64_t *n) {
            for (std::int64_t k = 0; k < *n; ++k) {
                std::string line(current()->buffer_ + k * KELD_MESSAGE_LINE_CHARS, KELD_MESSAGE_LINE_CHARS);
                line.erase(line.find_last_not_of(' ') + 1);
                current()->printed.push_back(line);
            }
        };
        return t;
    }
    void install() {
        const keld_host t = table();
        keld_host_install(&t);
    }
    host::Host view() {
        view_table_ = table();
        return host::Host(view_table_);
    }

    // Component kinds: 'C' ordinary, 'P' polymer, 'O' oligomer, 'S' segment.
    void set_kinds(std::string kinds) { kinds_ = std::move(kinds); }
    // The segment list (component numbers) written into the store at `at`.
    void set_segments(const std::vector<std::int64_t> &segments, std::int64_t at = 3000) {
        map_offset_ = at;
        store_[at] = host::integer_as_word(8);  // word at L + 1: handle of the segment list
        list_offset_ = at + 2;
        store_[list_offset_ - 1] = host::integer_as_word(static_cast<std::int64_t>(segments.size()));
        for (std::size_t k = 0; k < segments.size() && list_offset_ + k < store_.size(); ++k)
            store_[list_offset_ + k] = host::integer_as_word(segments[k]);
    }
    // Segment weight (and mole) fractions of each polymer, by position in the segment list.
    std::function<void(std::int64_t polymer, double *f, bool mole)> fractions;
    void fill_fractions(std::int64_t p, double *f, bool mole) {
        if (fractions) fractions(p, f, mole);
    }

    std::vector<double> &store() { return store_; }
    std::vector<std::int64_t> &offsets1() { return offsets1_; }
    std::int64_t *offsets4() { return offsets4_; }
    std::int64_t &work_offset() { return work_offset_; }
    void set_work_words(std::int64_t words) { work_words_ = words; }  // -1: not given
    std::int64_t *globals() { return globals_; }
    double *root_control() { return root_control_; }
    double *dpdv() { return dpdv_; }
    void accept_messages(bool yes) { accept_messages_ = yes; }
    std::vector<std::string> printed;

private:
    static char kind_of(std::int64_t i) {
        const auto &k = current()->kinds_;
        return i >= 1 && i <= static_cast<std::int64_t>(k.size()) ? k[i - 1] : 'C';
    }

    std::int64_t nc_;
    std::int64_t work_offset_ = 1;
    std::int64_t work_words_ = -1;
    std::vector<double> store_;
    double real_globals_[2]{};
    double property_globals_[3]{};
    std::vector<std::int64_t> offsets1_ = std::vector<std::int64_t>(2000, 0);
    std::int64_t offsets4_[4]{};
    std::int64_t globals_[40]{};
    char buffer_[KELD_MESSAGE_LINES * KELD_MESSAGE_LINE_CHARS]{};
    std::int64_t error_control2_[30]{};
    double root_control_[20]{};
    double dpdv_[1]{};
    std::string kinds_;
    std::int64_t map_offset_ = 0, list_offset_ = 0;
    bool accept_messages_ = true;
    keld_host view_table_{};  // the table behind view()
};

}  // namespace keld::testing
