#include "common/messages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace keld::messages {
namespace {

constexpr int kLines = KELD_MESSAGE_LINES;
constexpr int kWidth = KELD_MESSAGE_LINE_CHARS;
constexpr std::int64_t kWordC = 20;  // HostErrorControl2 element handed to the check by monitors

constexpr std::string_view kConvergence =
    "(6X,'CONVERGENCE DIFFICULTIES WERE ENCOUNTERED IN ',A,/,"
    "6X,'FOR (DATA SET ',I3,') AT TEMPERATURE ',G10.3,'K',/,"
    "6X,'AND PRESSURE ',G10.3,' PA.  RESULTS MAY NOT BE ','STABLE.')";
constexpr std::string_view kInfeasibleHeader =
    "(6X,'EQUATION OF STATE MODEL ',A,' FAILED DUE TO ','INFEASIBLE',/,"
    "6X,'CONDITIONS (DATA SET ',I3,') AT TEMPERATURE ',G10.3,'K',/,"
    "6X,'AND PRESSURE ',G10.3,' PA.',/,"
    "6X,'COMPONENT  MOLE FRACTION  COMPONENT  MOLE FRACTION')";
constexpr std::string_view kCompositionPair = "(6X,2A4,3X,G10.4,5X,2A4,3X,G10.4)";
constexpr std::string_view kCompositionSingle = "(6X,2A4,3X,G10.4)";
constexpr int kFirstBlockRows = 6;
constexpr int kSecondBlockRows = 10;

host::ComponentId identifier_of(const host::Host &host, std::int64_t component, const double *words) {
    if (!words) return host.identifier(component);
    host::ComponentId id;
    std::memcpy(id.data(), words + 2 * (component - 1), 4);
    std::memcpy(id.data() + 4, words + 2 * (component - 1) + 1, 4);
    return id;
}

// One row of the composition table: positions k and k + 1 (0-based).
void write_composition_row(const host::Host &host, int line, std::int64_t n, const std::int64_t *idx,
                           const double *x, std::int64_t k, const double *words) {
    const host::ComponentId a = identifier_of(host, idx[k], words);
    const std::string_view a1(a.data(), 4), a2(a.data() + 4, 4);
    if (k + 1 < n) {
        const host::ComponentId b = identifier_of(host, idx[k + 1], words);
        write_lines(host, line, kCompositionPair,
                    {a1, a2, x[k], std::string_view(b.data(), 4), std::string_view(b.data() + 4, 4), x[k + 1]});
    } else {
        write_lines(host, line, kCompositionSingle, {a1, a2, x[k]});
    }
}

}  // namespace

std::unique_lock<std::recursive_mutex> lock_buffer() {
    static std::recursive_mutex buffer_mutex;
    return std::unique_lock<std::recursive_mutex>(buffer_mutex);
}

bool wanted(const host::Host &host, const CheckSite &site) {
    return host.message_check(site.routine, site.check_class, site.number, site.level, site.word_a, site.word_b,
                              site.word_c);
}

int write_lines(const host::Host &host, int first_line, std::string_view format,
                std::initializer_list<fortran::Item> items) {
    char *buffer = host.message_buffer();
    if (!buffer || first_line < 0 || first_line >= kLines) return 0;
    return fortran::write(format, std::span<const fortran::Item>(items.begin(), items.size()),
                          buffer + first_line * kWidth, kLines - first_line, kWidth);
}

void write_and_print(const host::Host &host, std::string_view format, std::initializer_list<fortran::Item> items) {
    const auto lock = lock_buffer();
    const int lines = write_lines(host, 0, format, items);
    host.print_message(lines);
}

void convergence_difficulties(const host::Host &host, CheckSite site, std::string_view model_text,
                              std::int64_t data_set, double t, double p) {
    const auto lock = lock_buffer();
    host.set_error_control2(kWordC, 0);
    site.word_c = host.error_control2(kWordC);
    if (wanted(host, site)) write_and_print(host, kConvergence, {model_text, data_set, t, p});
    host.set_error_control2(kWordC, 0);
}

void infeasible_conditions(const host::Host &host, CheckSite site, std::string_view model_name,
                           std::int64_t data_set, double t, double p, std::int64_t n, const std::int64_t *idx,
                           const double *x, const double *identifier_words) {
    const auto lock = lock_buffer();
    host.set_error_control2(kWordC, 0);
    site.word_c = host.error_control2(kWordC);
    if (wanted(host, site)) {
        const std::int64_t rows = n - n / 2;
        const int header = write_lines(host, 0, kInfeasibleHeader, {model_name, data_set, t, p});
        const std::int64_t first_rows = std::min<std::int64_t>(rows, kFirstBlockRows);
        for (std::int64_t row = 0; row < first_rows; ++row)
            write_composition_row(host, header + static_cast<int>(row), n, idx, x, 2 * row, identifier_words);
        host.print_message(std::min<std::int64_t>(rows + 4, kLines));
        if (rows > kFirstBlockRows) {
            // The continuation block is announced to the host; its answer does not matter.
            host.set_error_control2(kWordC, 0);
            CheckSite continuation = site;
            continuation.check_class = 1;
            continuation.number = 8;
            continuation.word_c = 0;
            (void)wanted(host, continuation);
            const std::int64_t more = std::min<std::int64_t>(rows - kFirstBlockRows, kSecondBlockRows);
            for (std::int64_t row = 0; row < more; ++row)
                write_composition_row(host, static_cast<int>(row), n, idx, x, 2 * (kFirstBlockRows + row),
                                      identifier_words);
            host.print_message(more);
        }
    }
    host.set_error_control2(kWordC, 0);
}

bool MissingParameterReport::issue(const CheckSite &site, std::string_view body,
                                   std::initializer_list<fortran::Item> items) {
    const auto lock = lock_buffer();
    if (!wanted(host_, site)) return false;
    char format[512];
    const int length =
        issued_ == 0
            ? std::snprintf(format, sizeof format, "(6X,'EQUATION OF STATE MODEL %.*s HAS MISSING ','PARAMETERS:',/,%.*s)",
                            static_cast<int>(model_.size()), model_.data(), static_cast<int>(body.size()), body.data())
            : std::snprintf(format, sizeof format, "(%.*s)", static_cast<int>(body.size()), body.data());
    if (length <= 0 || length >= static_cast<int>(sizeof format)) return false;
    write_and_print(host_, std::string_view(format, static_cast<std::size_t>(length)), items);
    ++issued_;
    return true;
}

}  // namespace keld::messages
