// Fortran FORMAT output into fixed-length character records, as gfortran writes it.
//
// Diagnostic messages are fixed-column FORMAT templates written into the host's message
// buffer (lines of fixed length). `write` interprets a FORMAT with an output
// list, without heap allocation, so that it may run inside a property monitor.
//
// Supported edit descriptors:
//   data:     Iw  Iw.m  Bw[.m]  Ow[.m]  Zw[.m]  Fw.d  Ew.d[Ee]  Dw.d  ESw.d[Ee]  Gw.d[Ee]  A  Aw
//   control:  nX  Tn  TLn  TRn  /  :  kP  S  SP  SS  BN  BZ
//   strings:  'text' and "text" (doubled quote inside), nH Hollerith
//   groups:   n( ... ) nested up to 15 deep, repeat counts on data descriptors and '/'
// w = 0 gives the minimal width (I0, F0.d). Results follow gfortran: no '+' unless SP; the
// optional leading zero of F and E is written when the width has room for it; round to nearest
// on the exact binary value (ties to even); a negative value that rounds to zero keeps its
// '-' ("-0.00"); NaN and Inf right-justified ("Infinity" when the width allows); asterisks
// when a value does not fit. Gw.d with zero writes F-form with d-1 decimals and trailing blanks;
// the F-or-E choice of Gw.d is made as gfortran makes it, in binary floating point, so a value
// within an ulp of a bound goes where gfortran sends it (9.9995 under G10.4 gives "10.00").
//
// Item kinds that do not match the descriptor are converted instead of failing:
//   integer under F/E/D/ES      -> written as the real value;
//   real under I/B/O/Z          -> rounded to the nearest integer, halves away from zero as
//                                  NINT does (NaN/Inf written as by F);
//   integer/real under G        -> I editing / G editing (integer under G is Iw, as Fortran says);
//   character under I/F/E/G...  -> written as Aw with the descriptor's width;
//   integer/real under A        -> the 8 bytes of the word in memory order, as Fortran writes a
//                                  Hollerith word (a NUL byte is written as a blank).
// Descriptors gfortran rejects at run time (Ew.0, Gw.0, a scale factor outside the range E
// allows) write asterisks over the field. Real G0 writes the shortest round-trip form.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace keld::fortran {

// One output-list item.
struct Item {
    enum class Kind { integer, real, chars } kind;
    std::int64_t i = 0;
    double r = 0;
    std::string_view s;

    Item(std::int64_t v) : kind(Kind::integer), i(v) {}
    Item(int v) : kind(Kind::integer), i(v) {}
    Item(double v) : kind(Kind::real), r(v) {}
    Item(std::string_view v) : kind(Kind::chars), s(v) {}
    Item(const char *v) : kind(Kind::chars), s(v ? std::string_view(v) : std::string_view()) {}
    // Views the string: the string must outlive the write.
    Item(const std::string &v) : kind(Kind::chars), s(v) {}
};

// Writes `format` (the complete FORMAT text with its outer parentheses, for example
// "(6X,'FOR (DATA SET ',I3,') AT TEMPERATURE ',G10.3,'K')") with `items` into `buffer`, which
// holds `max_lines` records of `line_length` characters each. Each record started is
// blank-padded to line_length; text beyond line_length is dropped. Returns the number of records
// written (a record counts once it is started). Writing stops silently at max_lines.
// The output list ends the write at the first data edit descriptor (or ':') without an item;
// items left at the end of the format revert to the last top-level group (or the whole format)
// in a new record. Never writes outside the buffer; a malformed format writes what it can up to
// the fault and returns (0 when the FORMAT does not start with '(').
int write(std::string_view format, std::span<const Item> items, char *buffer, int max_lines,
          int line_length);

// As above, and record_lengths[k] (max_lines entries) receives the length of record k as a Fortran
// WRITE ends it: through the last character a field or literal wrote, blanks of a field included
// (G13.6 in fixed form leaves four), positioning with X/T not counted; at most line_length. These
// are the lengths of the records format_lines gives, cut at line_length.
int write(std::string_view format, std::span<const Item> items, char *buffer, int max_lines,
          int line_length, int *record_lengths);

// The records `write` would produce with unlimited lines and length, each as long as written
// (trailing blanks written by fields and literals are kept; positioning with X/T is not padding).
// Allocates: for tests, tools and the command line, not for property monitors.
std::vector<std::string> format_lines(std::string_view format, std::span<const Item> items);

}  // namespace keld::fortran
