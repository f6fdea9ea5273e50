#include "common/fortran_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace keld::fortran {
namespace {

constexpr int kMaxNumber = 32767;     // largest repeat count, width or position accepted
constexpr int kMaxDepth = 16;         // the outer parentheses plus 15 nested groups
constexpr int kTextCapacity = 1200;   // significant characters of one numeric field
constexpr long kMaxSteps = 1000000;   // format items interpreted in one write, against runaway repeats
constexpr int kMaxColumn = 1 << 20;   // positions beyond this are not tracked

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Bounded scratch for the significant characters of one field; never allocates.
class Text {
public:
    void push(char c) {
        if (size_ < kTextCapacity)
            data_[size_++] = c;
        else
            overflow_ = true;
    }
    void append(std::string_view s) {
        for (char c : s) push(c);
    }
    void append(const Text &t, int from, int to) {
        for (int k = from; k < to; ++k) push(t[k]);
    }
    void repeat(char c, int n) {
        for (int k = 0; k < n; ++k) push(c);
    }
    int size() const { return size_; }
    bool overflow() const { return overflow_; }
    char operator[](int k) const { return data_[k]; }
    std::string_view view() const { return {data_, static_cast<std::size_t>(size_)}; }

private:
    char data_[kTextCapacity];
    int size_ = 0;
    bool overflow_ = false;
};

enum class SignMode { processor, plus };  // S and SS: no '+'; SP: '+'

// One formatted numeric field: its significant text, right-justified in the field width, and
// the blanks G editing appends after an F-form value.
struct Field {
    Text body;
    bool fits = true;  // false: the field is written as asterisks
    int trailing_blanks = 0;
};

char sign_char(bool negative, SignMode mode) {
    if (negative) return '-';
    return mode == SignMode::plus ? '+' : '\0';
}

// |x| rounded to `significant` digits, round-half-even on the exact binary value (to_chars
// rounds as printf does): x = 0.d1 d2 ... x 10^exponent; zero gives zeros and exponent 0.
struct Decimal {
    Text digits;
    int exponent = 0;
};

bool round_to_significant(double magnitude, int significant, Decimal &out) {
    if (significant < 1 || significant > kTextCapacity - 16) return false;
    char buf[kTextCapacity];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, magnitude,
                                         std::chars_format::scientific, significant - 1);
    if (ec != std::errc()) return false;
    const char *p = buf;
    for (; p < end && *p != 'e'; ++p)
        if (*p != '.') out.digits.push(*p);
    if (p == end) return false;
    ++p;
    if (p < end && *p == '+') ++p;  // from_chars accepts '-' only
    int exponent10 = 0;
    std::from_chars(p, end, exponent10);
    out.exponent = magnitude == 0 ? 0 : exponent10 + 1;
    return !out.digits.overflow();
}

// |x| * 10^scale rounded to `decimals` fraction digits: the integer digits without leading
// zeros (empty when the integer part is zero) and exactly `decimals` fraction digits.
// The scale is applied by moving the decimal point, so it is exact; only a scale that rounds
// left of the decimal point (decimals + scale < 0) falls back to multiplying.
bool round_to_decimals(double magnitude, int decimals, int scale, Text &integer_digits,
                       Text &fraction_digits) {
    int precision = decimals + scale;
    if (precision < 0) {
        magnitude *= std::pow(10.0, scale);
        precision = decimals;
    }
    if (precision > kTextCapacity - 16) return false;
    char buf[kTextCapacity];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed, precision);
    if (ec != std::errc()) return false;
    Text digits;
    for (const char *p = buf; p < end; ++p)
        if (*p != '.') digits.push(*p);
    const int integer_count = digits.size() - decimals;
    if (integer_count < 0) {
        fraction_digits.repeat('0', -integer_count);
        fraction_digits.append(digits, 0, digits.size());
    } else {
        int first = 0;
        while (first < integer_count && digits[first] == '0') ++first;
        integer_digits.append(digits, first, integer_count);
        fraction_digits.append(digits, integer_count, digits.size());
    }
    return !digits.overflow() && !integer_digits.overflow() && !fraction_digits.overflow();
}

// Sign, integer digits, '.', fraction digits. The zero before the point is written when the
// integer part is zero and either nothing else would show a digit or the width has room for
// it (gfortran's choice); width 0 asks for the minimal form.
void assemble_fixed(Field &out, char sign, const Text &integer_digits, const Text &fraction_digits,
                    int width) {
    const bool zero_integer = integer_digits.size() == 0;
    int length = (sign ? 1 : 0) + integer_digits.size() + 1 + fraction_digits.size();
    bool zero_before_point = zero_integer && fraction_digits.size() == 0;
    if (zero_before_point) ++length;
    if (zero_integer && !zero_before_point && width > 0 && length + 1 <= width) {
        zero_before_point = true;
        ++length;
    }
    if (width > 0 && length > width) {
        out.fits = false;
        return;
    }
    if (sign) out.body.push(sign);
    if (zero_before_point) out.body.push('0');
    out.body.append(integer_digits, 0, integer_digits.size());
    out.body.push('.');
    out.body.append(fraction_digits, 0, fraction_digits.size());
}

// NaN and Infinity as gfortran writes them: "NaN", "Inf" or "Infinity" (with '-', or '+' under
// SP, when the width allows), right-justified; asterisks below 3 positions.
void format_nonfinite(Field &out, double x, int width, SignMode mode) {
    const bool nan = std::isnan(x);
    const char sign = nan ? '\0' : sign_char(std::signbit(x), mode);
    if (width == 0) width = nan ? 3 : (sign ? 4 : 3);
    if (width < 3 || (width == 3 && sign == '-')) {
        out.fits = false;
        return;
    }
    if (nan) {
        out.body.append("NaN");
        return;
    }
    if (width == 3) {  // no room for a '+'
        out.body.append("Inf");
        return;
    }
    if (sign) out.body.push(sign);
    out.body.append(width > (sign ? 8 : 7) ? "Infinity" : "Inf");
}

// Iw.m (base 10) and Bw.m, Ow.m, Zw.m (the two's-complement bits, no sign).
void format_integer(Field &out, std::int64_t value, int width, int min_digits, SignMode mode,
                    int base) {
    if (value == 0 && min_digits == 0) return;  // blanks only
    const bool negative = base == 10 && value < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value)
                                             : static_cast<std::uint64_t>(value);
    char digits[72];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, magnitude, base);
    (void)ec;  // 72 characters hold any 64-bit value in base 2
    const int count = static_cast<int>(end - digits);
    const char sign = base == 10 ? sign_char(negative, mode) : '\0';
    if (sign) out.body.push(sign);
    out.body.repeat('0', min_digits - count);
    for (int k = 0; k < count; ++k) out.body.push(upper(digits[k]));
    if (width > 0 && out.body.size() > width) out.fits = false;
}

// Fw.d with scale factor k: the value times 10^k.
void format_fixed(Field &out, double x, int width, int decimals, int scale, SignMode mode) {
    if (!std::isfinite(x)) return format_nonfinite(out, x, width, mode);
    Text integer_digits, fraction_digits;
    if (!round_to_decimals(std::fabs(x), decimals, scale, integer_digits, fraction_digits)) {
        out.fits = false;
        return;
    }
    assemble_fixed(out, sign_char(std::signbit(x), mode), integer_digits, fraction_digits, width);
}

// The exponent part of E, D and ES editing: "E+dd", "+ddd" beyond 99 when no exponent width is
// given, "E+e..e" with exactly `exponent_digits` digits otherwise. False when it does not fit.
bool append_exponent(Text &out, char letter, int exponent, int exponent_digits) {
    const int magnitude = exponent < 0 ? -exponent : exponent;
    char digits[16];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, magnitude);
    (void)ec;
    const int count = static_cast<int>(end - digits);
    int field_digits = exponent_digits;
    if (exponent_digits == 0) {
        if (count > 3) return false;
        field_digits = count > 2 ? 3 : 2;
        if (count <= 2) out.push(letter);
    } else {
        if (count > exponent_digits) return false;
        out.push(letter);
    }
    out.push(exponent < 0 ? '-' : '+');
    out.repeat('0', field_digits - count);
    out.append(std::string_view(digits, static_cast<std::size_t>(count)));
    return true;
}

// Ew.dEe and Dw.d with scale factor k (k <= 0: |k| zeros after the point and d+k significant
// digits; k > 0: k digits before the point and d-k+1 after), and ESw.dEe (one digit before).
void format_exponential(Field &out, double x, int width, int decimals, int exponent_digits,
                        int scale, SignMode mode, char letter, bool scientific) {
    if (!std::isfinite(x)) return format_nonfinite(out, x, width, mode);
    int before_point = 1, zeros_after_point = 0, significant = decimals + 1;
    if (!scientific) {
        if (scale <= 0) {
            if (scale <= -decimals) {  // no significant digit left: gfortran rejects it
                out.fits = false;
                return;
            }
            before_point = 0;
            zeros_after_point = -scale;
            significant = decimals + scale;
        } else if (scale >= decimals + 2) {
            out.fits = false;
            return;
        } else {
            before_point = scale;
        }
    }
    Decimal decimal;
    if (!round_to_significant(std::fabs(x), significant, decimal)) {
        out.fits = false;
        return;
    }
    const int shift = scientific ? 1 : scale;
    const int exponent = x == 0 ? 0 : decimal.exponent - shift;
    Text exponent_text;
    if (!append_exponent(exponent_text, letter, exponent, exponent_digits)) {
        out.fits = false;
        return;
    }
    Text integer_digits, fraction_digits;
    integer_digits.append(decimal.digits, 0, before_point);
    fraction_digits.repeat('0', zeros_after_point);
    fraction_digits.append(decimal.digits, before_point, decimal.digits.size());
    const int mantissa_width = width == 0 ? 0 : width - exponent_text.size();
    if (width > 0 && mantissa_width <= 0) {
        out.fits = false;
        return;
    }
    assemble_fixed(out, sign_char(std::signbit(x), mode), integer_digits, fraction_digits,
                   mantissa_width);
    if (out.fits) out.body.append(exponent_text.view());
}

// 10^n by repeated multiplication, as gfortran's run time computes it.
double repeated_power_of_ten(int n) {
    double r = 1.0;
    for (int k = 0; k < (n >= 0 ? n : -n); ++k) r *= 10;
    return n >= 0 ? r : 1.0 / r;
}

// The number of digits before the point when Gw.d uses the F-form, or -1 for the E-form.
// The Fortran rule (F-form when 0.1 - 0.5*10^(-d-1) <= |x| < 10^d - 0.5) is evaluated as
// gfortran evaluates it, in binary floating point with r = 1 - 0.5*10^-d; a value equal to a
// rounded bound 10^(s-1)*r counts as s digits. This differs from exact decimal rounding for
// values within an ulp of the bounds: gfortran writes 9.9995 (stored as 9.99949999...) under
// G10.4 as "10.00", not "9.999".
int general_digits_before_point(double magnitude, int d) {
    const double half = 0.5;
    const double power_d = repeated_power_of_ten(d);
    const double reduction = 1 - half / power_d;
    if (magnitude < 0.1 * reduction || half >= power_d - magnitude) return -1;
    int low = 0, high = d + 1, mid = 0, lower_bound = 0, upper_bound = d + 1;
    while (low <= high) {  // binary search for the smallest s with |x| < 10^s * r
        mid = (low + high) / 2;
        const double bound = repeated_power_of_ten(mid - 1) * reduction;
        if (magnitude < bound) {
            upper_bound = mid;
            if (upper_bound == lower_bound + 1) break;
            high = mid - 1;
        } else if (magnitude > bound) {
            lower_bound = mid;
            if (upper_bound == lower_bound + 1) {
                ++mid;
                break;
            }
            low = mid + 1;
        } else {
            ++mid;
            break;
        }
    }
    return mid - 1;
}

// Gw.dEe for a real value (Fortran 2008, round to nearest): F-form with d-s decimals in w-n
// positions followed by n blanks (n = 4, or e+2) when |x| lies in the F-form range, zero
// likewise with d-1 decimals; otherwise Ew.dEe under the current scale factor, which the F-form
// ignores.
void format_general(Field &out, double x, int width, int decimals, int exponent_digits, int scale,
                    SignMode mode) {
    if (!std::isfinite(x)) return format_nonfinite(out, x, width, mode);
    if (width == 0) {  // G0: the shortest form that reads back to the same value
        char buf[64];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x);
        (void)ec;
        if (mode == SignMode::plus && !std::signbit(x)) out.body.push('+');
        out.body.append(std::string_view(buf, static_cast<std::size_t>(end - buf)));
        return;
    }
    if (decimals <= 0) {  // Gw.0 and Gw: gfortran rejects them for reals
        out.fits = false;
        return;
    }
    const double magnitude = std::fabs(x);
    int fraction_digits = decimals - 1;  // zero
    if (magnitude != 0) {
        const int before_point = general_digits_before_point(magnitude, decimals);
        if (before_point < 0)
            return format_exponential(out, x, width, decimals, exponent_digits, scale, mode, 'E',
                                      false);
        fraction_digits = decimals - before_point;
    }
    const int blanks = exponent_digits > 0 ? exponent_digits + 2 : 4;
    if (width - blanks <= 0) {
        out.fits = false;
        return;
    }
    format_fixed(out, x, width - blanks, fraction_digits, 0, mode);
    out.trailing_blanks = blanks;
}

enum class Edit { I, B, O, Z, F, E, D, ES, G, A };

struct Descriptor {
    Edit edit = Edit::A;
    int width = -1;            // -1: not given
    int digits = -1;           // d of F/E/D/ES/G, m of I/B/O/Z; -1: not given
    int exponent_digits = 0;   // e of Ew.dEe; 0: not given
};

// Where a format's records go.
class RecordSink {
public:
    virtual bool start_record() = 0;  // false when no further record can be held
    virtual void put(int column, char c) = 0;

protected:
    ~RecordSink() = default;
};

// Blank-padded lines of a fixed length; with `lengths`, also each record's written length (the
// column after the last character put, as format_lines counts it).
class BufferSink final : public RecordSink {
public:
    BufferSink(char *buffer, int max_lines, int line_length, int *lengths)
        : buffer_(buffer), max_lines_(max_lines), line_length_(line_length), lengths_(lengths) {}
    bool start_record() override {
        if (line_ + 1 >= max_lines_) return false;
        ++line_;
        std::memset(line_start(), ' ', static_cast<std::size_t>(line_length_));
        if (lengths_) lengths_[line_] = 0;
        return true;
    }
    void put(int column, char c) override {
        if (line_ < 0 || column < 0 || column >= line_length_) return;
        line_start()[column] = c;
        if (lengths_ && column >= lengths_[line_]) lengths_[line_] = column + 1;
    }

private:
    char *line_start() const {
        return buffer_ + static_cast<std::size_t>(line_) * static_cast<std::size_t>(line_length_);
    }
    char *buffer_;
    int max_lines_;
    int line_length_;
    int *lengths_;
    int line_ = -1;
};

class StringSink final : public RecordSink {
public:
    explicit StringSink(std::vector<std::string> &lines) : lines_(lines) {}
    bool start_record() override {
        lines_.emplace_back();
        return true;
    }
    void put(int column, char c) override {
        if (column < 0 || column >= kMaxColumn) return;
        std::string &line = lines_.back();
        if (static_cast<std::size_t>(column) >= line.size())
            line.resize(static_cast<std::size_t>(column) + 1, ' ');
        line[static_cast<std::size_t>(column)] = c;
    }

private:
    std::vector<std::string> &lines_;
};

// Interprets a FORMAT item by item, writing records into a sink.
class FormatWriter {
public:
    FormatWriter(std::string_view format, std::span<const Item> items, RecordSink &sink)
        : format_(format), items_(items), sink_(sink) {}

    int run() {
        skip_blanks();
        if (pos_ >= format_.size() || format_[pos_] != '(') return 0;
        find_reversion_point(pos_);
        ++pos_;
        groups_[0] = {pos_, 0};
        depth_ = 1;
        if (!begin_record()) return records_;
        while (!done_ && ++steps_ <= kMaxSteps) step();
        return records_;
    }

private:
    struct Group {
        std::size_t start;  // just after its '('
        int remaining;      // repetitions still to come
    };

    // --- scanning -------------------------------------------------------------------------
    void skip_blanks() {
        while (pos_ < format_.size() && (format_[pos_] == ' ' || format_[pos_] == '\t')) ++pos_;
    }
    char peek() {
        skip_blanks();
        return pos_ < format_.size() ? upper(format_[pos_]) : '\0';
    }
    // An unsigned number (blanks inside are ignored, as Fortran does); -1 when too large.
    int parse_number() {
        long value = 0;
        while (is_digit(peek())) {
            value = value * 10 + (format_[pos_] - '0');
            if (value > kMaxNumber) value = kMaxNumber + 1;
            ++pos_;
        }
        return value > kMaxNumber ? -1 : static_cast<int>(value);
    }

    // Reversion restarts at the last group opened at the top level, with its repeat count,
    // or at the start of the whole format when there is none.
    void find_reversion_point(std::size_t outer) {
        reversion_start_ = outer + 1;
        reversion_repeat_ = 0;
        int depth = 0;
        long number = -1;
        for (std::size_t p = outer; p < format_.size();) {
            const char c = upper(format_[p]);
            if (c == '\'' || c == '"') {
                for (++p; p < format_.size(); ++p) {
                    if (format_[p] != c) continue;
                    if (p + 1 < format_.size() && format_[p + 1] == c)
                        ++p;
                    else
                        break;
                }
                ++p;
                number = -1;
                continue;
            }
            if (is_digit(c)) {
                number = (number < 0 ? 0 : number) * 10 + (c - '0');
                if (number > kMaxNumber) number = kMaxNumber;
                ++p;
                continue;
            }
            if (c == ' ' || c == '\t') {
                ++p;
                continue;
            }
            if (c == 'H' && number > 0) {
                p += static_cast<std::size_t>(number) + 1;
                number = -1;
                continue;
            }
            if (c == '(') {
                if (depth == 1) {
                    reversion_start_ = p + 1;
                    reversion_repeat_ = number > 0 ? static_cast<int>(number) : 1;
                }
                ++depth;
            } else if (c == ')') {
                if (--depth == 0) return;
            }
            number = -1;
            ++p;
        }
    }

    // --- records and positions ----------------------------------------------------------------
    bool begin_record() {
        if (!sink_.start_record()) {
            done_ = true;
            return false;
        }
        ++records_;
        column_ = 0;
        return true;
    }
    void put(char c) {
        sink_.put(column_, c);
        if (column_ < kMaxColumn) ++column_;
    }
    void put_repeated(char c, int n) {
        for (int k = 0; k < n && column_ < kMaxColumn; ++k) put(c);
    }
    void move_to(long column) {
        column_ = static_cast<int>(column < 0 ? 0 : (column > kMaxColumn ? kMaxColumn : column));
    }
    void malformed() { done_ = true; }

    // --- format items ----------------------------------------------------------------------------
    void step() {
        while (pos_ < format_.size() &&
               (format_[pos_] == ' ' || format_[pos_] == '\t' || format_[pos_] == ','))
            ++pos_;
        if (pos_ >= format_.size()) return malformed();  // unbalanced parentheses
        const char c = upper(format_[pos_]);
        if (c == '(') {
            ++pos_;
            return open_group(1);
        }
        if (c == ')') return close_group();
        if (c == '\'' || c == '"') return literal(c);
        if (c == '/') {
            ++pos_;
            begin_record();
            return;
        }
        if (c == ':') {
            ++pos_;
            if (items_left() == 0) done_ = true;
            return;
        }
        if (c == '+' || c == '-' || is_digit(c)) return counted_item();
        if (is_letter(c)) return lettered_item(1, false);
        malformed();
    }

    std::size_t items_left() const { return items_.size() - next_item_; }

    void open_group(int repeat) {
        if (depth_ == kMaxDepth) return malformed();
        groups_[depth_++] = {pos_, repeat - 1};
    }

    void close_group() {
        Group &group = groups_[depth_ - 1];
        if (depth_ > 1) {
            if (group.remaining > 0) {
                --group.remaining;
                pos_ = group.start;
            } else {
                --depth_;
                ++pos_;
            }
            return;
        }
        // End of the format: stop, or revert when items remain and the last pass used some.
        if (items_left() == 0 || !item_since_reversion_) {
            done_ = true;
            return;
        }
        item_since_reversion_ = false;
        if (!begin_record()) return;
        pos_ = reversion_start_;
        depth_ = 1;
        if (reversion_repeat_ > 0) groups_[depth_++] = {reversion_start_, reversion_repeat_ - 1};
    }

    void literal(char quote) {
        for (++pos_; pos_ < format_.size(); ++pos_) {
            if (format_[pos_] == quote) {
                if (pos_ + 1 < format_.size() && format_[pos_ + 1] == quote) {
                    put(quote);
                    ++pos_;
                    continue;
                }
                ++pos_;
                return;
            }
            put(format_[pos_]);
        }
        malformed();  // unterminated literal
    }

    // An item that starts with a number: repeat count, scale factor, nX or nH.
    void counted_item() {
        bool negative = false, signed_number = false;
        if (format_[pos_] == '+' || format_[pos_] == '-') {
            negative = format_[pos_] == '-';
            signed_number = true;
            ++pos_;
        }
        if (!is_digit(peek())) return malformed();
        const int n = parse_number();
        if (n < 0) return malformed();
        const char c = peek();
        if (c == 'P') {
            ++pos_;
            scale_ = negative ? -n : n;
            return;
        }
        if (signed_number || n == 0) return malformed();
        if (c == '(') {
            ++pos_;
            return open_group(n);
        }
        if (c == '/') {
            ++pos_;
            for (int k = 0; k < n && !done_; ++k) begin_record();
            return;
        }
        if (c == 'X') {
            ++pos_;
            return move_to(static_cast<long>(column_) + n);
        }
        if (c == 'H') {
            ++pos_;
            const std::size_t count = std::min(static_cast<std::size_t>(n), format_.size() - pos_);
            for (std::size_t k = 0; k < count; ++k) put(format_[pos_ + k]);
            pos_ += count;
            if (count < static_cast<std::size_t>(n)) malformed();
            return;
        }
        if (is_letter(c)) return lettered_item(n, true);
        malformed();
    }

    void lettered_item(int repeat, bool counted) {
        const char c = upper(format_[pos_]);
        if (!counted && control_item(c)) return;
        Descriptor descriptor;
        if (!parse_descriptor(descriptor)) return malformed();
        for (int k = 0; k < repeat; ++k) {
            if (items_left() == 0) {
                done_ = true;
                return;
            }
            write_item(descriptor, items_[next_item_++]);
            item_since_reversion_ = true;
        }
    }

    // X, Tn, TLn, TRn, S, SP, SS, BN, BZ. False when `c` starts a data descriptor instead.
    bool control_item(char c) {
        if (c == 'X') {
            ++pos_;
            move_to(static_cast<long>(column_) + 1);
            return true;
        }
        if (c == 'T') {
            ++pos_;
            const char direction = peek();
            if (direction == 'L' || direction == 'R') ++pos_;
            if (!is_digit(peek())) {
                malformed();
                return true;
            }
            const int n = parse_number();
            if (n < 0) malformed();
            else if (direction == 'L') move_to(static_cast<long>(column_) - n);
            else if (direction == 'R') move_to(static_cast<long>(column_) + n);
            else move_to(static_cast<long>(n) - 1);
            return true;
        }
        if (c == 'S') {
            ++pos_;
            const char mode = peek();
            if (mode == 'P' || mode == 'S') ++pos_;
            sign_mode_ = mode == 'P' ? SignMode::plus : SignMode::processor;
            return true;
        }
        if (c == 'B') {
            std::size_t after = pos_ + 1;
            while (after < format_.size() && format_[after] == ' ') ++after;
            const char next = after < format_.size() ? upper(format_[after]) : '\0';
            if (next == 'N' || next == 'Z') {  // blank interpretation: input only
                pos_ = after + 1;
                return true;
            }
        }
        return false;
    }

    bool parse_descriptor(Descriptor &d) {
        const char c = peek();
        ++pos_;
        switch (c) {
        case 'I': d.edit = Edit::I; break;
        case 'B': d.edit = Edit::B; break;
        case 'O': d.edit = Edit::O; break;
        case 'Z': d.edit = Edit::Z; break;
        case 'F': d.edit = Edit::F; break;
        case 'D': d.edit = Edit::D; break;
        case 'G': d.edit = Edit::G; break;
        case 'A': d.edit = Edit::A; break;
        case 'E':
            d.edit = Edit::E;
            if (peek() == 'S') {
                d.edit = Edit::ES;
                ++pos_;
            }
            break;
        default: return false;
        }
        if (is_digit(peek())) {
            d.width = parse_number();
            if (d.width < 0) return false;
        }
        if (d.width >= 0 && peek() == '.') {
            ++pos_;
            if (!is_digit(peek())) return false;
            d.digits = parse_number();
            if (d.digits < 0) return false;
        }
        const bool exponent_allowed = d.edit == Edit::E || d.edit == Edit::ES || d.edit == Edit::G;
        if (exponent_allowed && d.digits >= 0 && peek() == 'E') {
            std::size_t after = pos_ + 1;
            while (after < format_.size() && format_[after] == ' ') ++after;
            if (after < format_.size() && is_digit(format_[after])) {
                pos_ = after;
                d.exponent_digits = parse_number();
                if (d.exponent_digits <= 0) return false;
            }
        }
        switch (d.edit) {
        case Edit::A: return true;
        case Edit::I:
        case Edit::B:
        case Edit::O:
        case Edit::Z:
        case Edit::G: return d.width >= 0;
        default: return d.width >= 0 && d.digits >= 0;
        }
    }

    // --- data editing --------------------------------------------------------------------------------
    void write_item(const Descriptor &d, const Item &item) {
        if (item.kind == Item::Kind::chars) return write_chars(item.s, d.width);
        if (d.edit == Edit::A) return write_word(item, d.width);
        Field field;
        switch (d.edit) {
        case Edit::I: integer_field(field, item, d, 10); break;
        case Edit::B: integer_field(field, item, d, 2); break;
        case Edit::O: integer_field(field, item, d, 8); break;
        case Edit::Z: integer_field(field, item, d, 16); break;
        case Edit::G:
            if (item.kind == Item::Kind::integer)
                format_integer(field, item.i, d.width, 1, sign_mode_, 10);
            else
                format_general(field, item.r, d.width, d.digits, d.exponent_digits, scale_, sign_mode_);
            break;
        case Edit::F: format_fixed(field, real_value(item), d.width, d.digits, scale_, sign_mode_); break;
        case Edit::E:
        case Edit::D:
        case Edit::ES:
            format_exponential(field, real_value(item), d.width, d.digits, d.exponent_digits, scale_,
                               sign_mode_, d.edit == Edit::D ? 'D' : 'E', d.edit == Edit::ES);
            break;
        case Edit::A: break;
        }
        emit(field, d.width);
    }

    static double real_value(const Item &item) {
        return item.kind == Item::Kind::real ? item.r : static_cast<double>(item.i);
    }

    // A real under an integer descriptor is rounded to the nearest integer, halves away from
    // zero (as NINT).
    void integer_field(Field &field, const Item &item, const Descriptor &d, int base) {
        const int min_digits = d.digits >= 0 ? d.digits : 1;
        if (item.kind == Item::Kind::integer)
            return format_integer(field, item.i, d.width, min_digits, sign_mode_, base);
        if (!std::isfinite(item.r)) return format_nonfinite(field, item.r, d.width, sign_mode_);
        if (std::fabs(item.r) >= 9.2e18) {
            field.fits = false;
            return;
        }
        format_integer(field, std::llround(item.r), d.width, min_digits, sign_mode_, base);
    }

    void emit(const Field &field, int width) {
        const int length = field.body.size() + field.trailing_blanks;
        if (!field.fits || field.body.overflow() || (width > 0 && length > width))
            return put_repeated('*', width > 0 ? width : 1);
        put_repeated(' ', width - length);
        for (int k = 0; k < field.body.size(); ++k) put(field.body[k]);
        put_repeated(' ', field.trailing_blanks);
    }

    // Aw: the leftmost w characters, or the string right-justified; A: the string as it is.
    void write_chars(std::string_view s, int width) {
        if (width < 0) width = static_cast<int>(std::min<std::size_t>(s.size(), kMaxColumn));
        const std::size_t length = static_cast<std::size_t>(width);
        if (s.size() < length) put_repeated(' ', static_cast<int>(length - s.size()));
        const std::size_t count = std::min(s.size(), length);
        for (std::size_t k = 0; k < count; ++k) put(s[k]);
    }

    // A numeric item under A: its 8-byte word as characters in memory order (Hollerith data).
    void write_word(const Item &item, int width) {
        char word[8];
        if (item.kind == Item::Kind::integer)
            std::memcpy(word, &item.i, sizeof word);
        else
            std::memcpy(word, &item.r, sizeof word);
        for (char &c : word)
            if (c == '\0') c = ' ';
        write_chars(std::string_view(word, sizeof word), width);
    }

    std::string_view format_;
    std::span<const Item> items_;
    RecordSink &sink_;
    std::size_t pos_ = 0;
    std::size_t next_item_ = 0;
    Group groups_[kMaxDepth] = {};
    int depth_ = 0;
    std::size_t reversion_start_ = 0;
    int reversion_repeat_ = 0;  // 0: revert to the start of the whole format
    bool item_since_reversion_ = false;
    int records_ = 0;
    int column_ = 0;
    int scale_ = 0;
    SignMode sign_mode_ = SignMode::processor;
    bool done_ = false;
    long steps_ = 0;
};

}  // namespace

int write(std::string_view format, std::span<const Item> items, char *buffer, int max_lines,
          int line_length) {
    return write(format, items, buffer, max_lines, line_length, nullptr);
}

int write(std::string_view format, std::span<const Item> items, char *buffer, int max_lines, int line_length,
          int *record_lengths) {
    if (buffer == nullptr || max_lines <= 0 || line_length < 0) return 0;
    BufferSink sink(buffer, max_lines, line_length, record_lengths);
    return FormatWriter(format, items, sink).run();
}

std::vector<std::string> format_lines(std::string_view format, std::span<const Item> items) {
    std::vector<std::string> lines;
    StringSink sink(lines);
    FormatWriter(format, items, sink).run();
    return lines;
}

}  // namespace keld::fortran
