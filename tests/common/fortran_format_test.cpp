// Fortran formatted output: record mechanics checked against the Fortran rules by hand, and
// the numeric edit descriptors checked against gfortran itself when it is installed.
#include "common/fortran_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace keld::fortran {
namespace {

std::vector<std::string> lines_of(std::string_view format, std::vector<Item> items) {
    return format_lines(format, items);
}

using Lines = std::vector<std::string>;

// --- records -------------------------------------------------------------------------------

TEST(FortranFormatRecords, SlashStartsNewBlankPaddedRecordAndLaterLinesStayUntouched) {
    constexpr int kLines = 3, kLength = 20;
    char buffer[kLines * kLength];
    std::memset(buffer, '#', sizeof buffer);
    const std::vector<Item> items{7};
    EXPECT_EQ(write("(6X,'AB',/,2X,I3)", items, buffer, kLines, kLength), 2);
    EXPECT_EQ(std::string(buffer, kLength), "      AB            ");
    EXPECT_EQ(std::string(buffer + kLength, kLength), "    7               ");
    EXPECT_EQ(std::string(buffer + 2 * kLength, kLength), std::string(kLength, '#'));

    EXPECT_EQ(lines_of("(2/)", {}), (Lines{"", "", ""}));
    EXPECT_EQ(lines_of("('a',/)", {}), (Lines{"a", ""}));
    EXPECT_EQ(lines_of("()", {}), (Lines{""}));
}

TEST(FortranFormatRecords, RecordsStopAtMaxLinesAndTextAtLineLength) {
    constexpr int kLines = 2, kLength = 10, kGuard = 16;
    char buffer[kLines * kLength + kGuard];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(write("('0123456789ABCDEF',/,'x',/,'y',/,'z')", {}, buffer, kLines, kLength), 2);
    EXPECT_EQ(std::string(buffer, kLength), "0123456789");
    EXPECT_EQ(std::string(buffer + kLength, kLength), "x         ");
    EXPECT_EQ(std::string(buffer + kLines * kLength, kGuard), std::string(kGuard, '#'));

    // A field straddling the end of the line is cut, not shifted.
    const std::vector<Item> value{123456.0};
    EXPECT_EQ(write("(6X,F8.1)", value, buffer, 1, kLength), 1);
    EXPECT_EQ(std::string(buffer, kLength), "      1234");

    EXPECT_EQ(write("('a')", {}, buffer, 0, kLength), 0);
    EXPECT_EQ(write("('a')", {}, nullptr, 1, kLength), 0);
    EXPECT_EQ(std::string(buffer + kLines * kLength, kGuard), std::string(kGuard, '#'));
}

TEST(FortranFormatRecords, ReversionRestartsAtLastTopLevelGroupInNewRecord) {
    EXPECT_EQ(lines_of("(A,I3,A,(A,I2))", {"ab", 1, "c", "d", 2, "e", 3, "f", 4}),
              (Lines{"ab  1cd 2", "e 3", "f 4"}));
    // The group's repeat count applies again after reversion.
    EXPECT_EQ(lines_of("(I2,2(I3))", {1, 2, 3, 4, 5, 6}), (Lines{" 1  2  3", "  4  5", "  6"}));
    // Without an inner group the whole format is reused.
    EXPECT_EQ(lines_of("(I2,I2)", {1, 2, 3, 4, 5}), (Lines{" 1 2", " 3 4", " 5"}));
    // A group holding '/' ends its record before reversion starts the next one.
    EXPECT_EQ(lines_of("(2(A,I2)/)", {"a", 1, "b", 2, "c", 3}), (Lines{"a 1b 2", "", "c 3"}));
    // Items left over for a format without data descriptors cannot loop forever.
    EXPECT_EQ(lines_of("('abc')", {1}), (Lines{"abc"}));
}

TEST(FortranFormatRecords, ExhaustedListStopsAtFirstDataDescriptorWithoutItem) {
    EXPECT_EQ(lines_of("(6X,'T=',G10.3,'K',' P=',G10.3,' PA')", {300.0}),
              (Lines{"      T=  300.    K P="}));
    // The last row of an odd composition table carries one pair.
    EXPECT_EQ(lines_of("(6X,2A4,3X,G10.4,5X,2A4,3X,G10.4)", {"WATE", "R   ", 0.25}),
              (Lines{"      WATER      0.2500    "}));
    EXPECT_EQ(lines_of("(I3,:,' tail')", {5}), (Lines{"  5"}));
    EXPECT_EQ(lines_of("(I3,' tail')", {5}), (Lines{"  5 tail"}));
    EXPECT_EQ(lines_of("(A,I3)", {"ab"}), (Lines{"ab"}));
}

TEST(FortranFormatRecords, PositioningMovesWithoutPaddingTheRecord) {
    EXPECT_EQ(lines_of("(A,5X)", {"ab"}), (Lines{"ab"}));
    EXPECT_EQ(lines_of("(A,5X,A)", {"ab", "c"}), (Lines{"ab     c"}));
    EXPECT_EQ(lines_of("(A,T5,A,TL2,A,TR3,A)", {"abc", "de", "X", "Y"}), (Lines{"abc Xe  Y"}));
    EXPECT_EQ(lines_of("(A,TL9,A)", {"abc", "X"}), (Lines{"Xbc"}));
}

// The written length of each record (what a unit writer is handed) is the length format_lines
// gives, cut at the line length: the blanks of a field count, X/T positioning and padding do not.
TEST(FortranFormatRecords, RecordLengthsAreThoseOfTheWrittenRecords) {
    const std::pair<const char *, std::vector<Item>> cases[] = {
        {"(6X,2(A,G13.6))", {"T = ", 273.15, "  RHO = ", 56.0}},  // fixed form: four trailing blanks
        {"(3(I3,2X),G13.6)", {1, 1, 1, 1e-4}},                   // E form: none
        {"(A,I4,2(A,G13.6))", {"ITER = ", 1, " ERR = ", 0.5, " OBJ = ", -12.5}},
        {"(A,5X)", {"ab"}},
        {"(A,T20,A,TL15,A)", {"abc", "d", "e"}},
        {"(6X,'AB',/,2X,I3,/)", {7}},
        {"(I2,2(I3))", {1, 2, 3, 4, 5, 6}},
        {"('0123456789ABCDEF',F8.1)", {1.0}},  // beyond the line: cut at its length
        {"()", {}},
    };
    constexpr int kLines = 4, kLength = 20;
    for (const auto &[format, items] : cases) {
        char buffer[kLines * kLength];
        int lengths[kLines] = {-1, -1, -1, -1};
        const Lines expected = lines_of(format, items);
        const int records = write(format, items, buffer, kLines, kLength, lengths);
        ASSERT_EQ(records, static_cast<int>(expected.size())) << format;
        for (int k = 0; k < records; ++k) {
            const std::size_t cut = std::min<std::size_t>(expected[k].size(), kLength);
            EXPECT_EQ(lengths[k], static_cast<int>(cut)) << format << " record " << k;
            EXPECT_EQ(std::string(buffer + k * kLength, cut), expected[k].substr(0, cut)) << format;
        }
    }
}

// --- literals and character editing ----------------------------------------------------------

TEST(FortranFormatCharacters, LiteralsWithDoubledQuotesAndHollerith) {
    EXPECT_EQ(lines_of("('it''s',\"say \"\"hi\"\"\",3Habc,' (x)')", {}),
              (Lines{"it'ssay \"hi\"abc (x)"}));
    EXPECT_EQ(lines_of("( 6 X , 'a' , i 3 )", {42}), (Lines{"      a 42"}));
}

TEST(FortranFormatCharacters, IdentifierWordsAndSingleCharacters) {
    EXPECT_EQ(lines_of("(6X,2A4)", {"WATE", "R   "}), (Lines{"      WATER   "}));
    EXPECT_EQ(lines_of("(A1,2A4,A1,'-',A1,2A4,A1)", {"\"", "H2O ", "    ", "\"", "\"", "PS  ", "    ", "\""}),
              (Lines{"\"H2O     \"-\"PS      \""}));
    EXPECT_EQ(lines_of("(A3,'|',A8,'|',A,'|',A1)", {"abcdef", "abc", "whole", "xyz"}),
              (Lines{"abc|     abc|whole|x"}));
    // An identifier held in 8-byte host words prints as the characters of the word.
    std::int64_t first = 0, second = 0;
    std::memcpy(&first, "POLY    ", 8);
    std::memcpy(&second, "MER1    ", 8);
    EXPECT_EQ(lines_of("(2A4)", {first, second}), (Lines{"POLYMER1"}));
    EXPECT_EQ(lines_of("(A)", {first}), (Lines{"POLY    "}));
}

TEST(FortranFormatCharacters, ItemsOfAnotherKindAreConverted) {
    EXPECT_EQ(lines_of("(F6.2,'|',E10.3)", {3, -2}), (Lines{"  3.00|-0.200E+01"}));
    EXPECT_EQ(lines_of("(I4,I4,I4)", {2.5, -2.6, 1e30}), (Lines{"   3  -3****"}));  // halves away from zero, as NINT
    EXPECT_EQ(lines_of("(I5,'|',F4.1)", {"ab", "long text"}), (Lines{"   ab|long"}));
    EXPECT_EQ(lines_of("(G6.2,'|',G4.1)", {42, "xy"}), (Lines{"    42|  xy"}));
}

// --- malformed formats -----------------------------------------------------------------------

TEST(FortranFormatMalformed, WritesWhatItCanAndReturns) {
    char buffer[2 * 20];
    EXPECT_EQ(write("6X,'A'", {}, buffer, 2, 20), 0);
    EXPECT_EQ(lines_of("(6X,'AB", {}), (Lines{"      AB"}));
    EXPECT_EQ(lines_of("(I3,Q2)", {5, 6}), (Lines{"  5"}));
    EXPECT_EQ(lines_of("(I3", {5, 6}), (Lines{"  5"}));
    EXPECT_EQ(lines_of("(I3,F5)", {5, 6.0}), (Lines{"  5"}));
    EXPECT_EQ(lines_of("('a',99999X,'b')", {}), (Lines{"a"}));
    EXPECT_EQ(lines_of("('a',-2X)", {}), (Lines{"a"}));
    EXPECT_EQ(lines_of("(((((((((((((((((((I1)))))))))))))))))))", {1}).size(), 1u);
    // Repeats far beyond any message end in bounded time.
    const auto huge = lines_of("(32767(32767(32767('x',/))))", {});
    EXPECT_GT(huge.size(), 1000u);
}

TEST(FortranFormatMalformed, DescriptorsGfortranRejectsWriteAsterisks) {
    EXPECT_EQ(lines_of("(E8.0,'|',G8.0,'|',3PE8.1)", {1.0, 1.0, 1.0}),
              (Lines{"********|********|********"}));
}

// --- numeric editing: the rules by hand (gfortran checks the full range below) --------------

TEST(FortranFormatNumbers, HandCheckedEditingRules) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    // Ties of exact binary values go to even; 2.675 is stored just below 2.675.
    EXPECT_EQ(lines_of("(3F5.0,F6.2,F6.2)", {0.5, 1.5, 2.5, 0.125, 2.675}), (Lines{"   0.   2.   2.  0.12  2.67"}));
    // The optional zero before the point only with room; a negative value rounding to zero keeps its sign.
    EXPECT_EQ(lines_of("(F6.4,'|',F6.4,'|',F3.2,'|',F0.3,'|',F5.0)", {0.5, -0.5, 0.5, 0.5, -0.4}),
              (Lines{"0.5000|-.5000|.50|.500|  -0."}));
    // G picks F form inside [0.1, 10^d) after rounding, E form outside.
    EXPECT_EQ(lines_of("(4G10.3)", {99.95, 999.5, 0.1, 0.0999}), (Lines{"  100.     0.100E+04 0.100     0.999E-01"}));
    EXPECT_EQ(lines_of("(I3,I3,I5.3,SP,I3)", {-99, -100, -7, 5}), (Lines{"-99*** -007 +5"}));
    EXPECT_EQ(lines_of("(G10.3,F4.0,F3.0,F2.0)", {-inf, -inf, -inf, nan}), (Lines{" -Infinity-Inf*****"}));
}

// --- gfortran as the oracle --------------------------------------------------------------------

#ifdef KELD_GFORTRAN

std::string fortran_real_literal(double x) {
    char text[64];
    std::snprintf(text, sizeof text, "(%.17e)", x);
    std::string literal(text);
    literal[literal.find('e')] = 'd';
    return literal;
}

std::string fortran_constant(std::string_view text, char quote) {  // a Fortran character constant
    std::string out(1, quote);
    for (char c : text) out.append(c == quote ? 2 : 1, c);
    return out + quote;
}

std::string fortran_item(const Item &item) {
    switch (item.kind) {
    case Item::Kind::integer: return std::string("(").append(std::to_string(item.i)).append("_8)");
    case Item::Kind::real: return fortran_real_literal(item.r);
    case Item::Kind::chars: return fortran_constant(item.s, '\'');
    }
    return {};
}

// Compiles `source` with gfortran, runs it on `input` and returns its standard output line by line.
std::vector<std::string> run_fortran(const std::string &source, const std::string &input) {
    std::string pattern = (std::filesystem::temp_directory_path() / "keld_fortran_XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        ADD_FAILURE() << "no temporary directory";
        return {};
    }
    const std::filesystem::path dir = pattern;
    std::ofstream(dir / "oracle.f90") << source;
    std::ofstream(dir / "input.txt") << input;
    const std::string command = "cd '" + pattern + "' && '" KELD_GFORTRAN
                                "' -ffree-line-length-none -o oracle oracle.f90 > compile.log 2>&1"
                                " && ./oracle < input.txt > output.txt 2> run.log";
    std::vector<std::string> lines;
    if (std::system(command.c_str()) != 0) {
        std::stringstream log;
        log << std::ifstream(dir / "compile.log").rdbuf();
        ADD_FAILURE() << "gfortran oracle failed:\n" << log.str();
    }
    std::ifstream output(dir / "output.txt");
    for (std::string line; std::getline(output, line);) lines.push_back(line);
    std::filesystem::remove_all(dir);
    return lines;
}

std::vector<double> oracle_reals() {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> values{0.0, -0.0, 1.0, -1.0, 1e-5, -1e-5, 9.9995, 0.09995, 99.95, 999.5, 1e35, -1e35,
                               1e-35, 0.5, 1.5, 2.5, -2.5, 0.125, 2.675, 0.4, -0.4, 12345.0, 123456.7,
                               -123456.7, 0.1, 0.099949, 0.0999, 9.9994999, 10.0, 100.0, 1000.0, 0.01,
                               0.0099995, 1e100, 1e-100, 1e300, -1e-300, 5e-324, 1.7976931348623157e308,
                               300.0, 298.15, 101325.0, 0.74999, std::numeric_limits<double>::quiet_NaN(), inf,
                               -inf};
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> decade(-14, 14), sign(0, 1), digits(1, 99999), places(1, 7);
    for (int k = 0; k < 160; ++k) values.push_back((sign(random) ? -1 : 1) * mantissa(random) * std::pow(10.0, decade(random)));
    // Decimal ties (n + 1/2) / 10^j, never exact in binary: rounding must follow the exact value.
    for (int k = 0; k < 80; ++k) values.push_back((digits(random) + 0.5) / std::pow(10.0, places(random)));
    // The bounds of G editing's F-form, 10^(s-1) - 0.5*10^(s-1-d), and their binary neighbours.
    for (int d = 1; d <= 6; ++d)
        for (int s = 0; s <= d + 1; ++s) {
            const std::string text = std::string(static_cast<std::size_t>(d), '9') + "5e" + std::to_string(s - 2 - d);
            const double bound = std::strtod(text.c_str(), nullptr);
            values.insert(values.end(), {bound, std::nextafter(bound, 0.0), std::nextafter(bound, 1e300)});
        }
    return values;
}

std::vector<std::int64_t> oracle_integers() {
    std::vector<std::int64_t> values{0,     1,      -1,     5,     7,      -7,     8,     -12,   99,
                                     -99,   100,    -100,   255,   999,    1000,   12345, -12345, 99999,
                                     100000, std::numeric_limits<std::int64_t>::max(),
                                     std::numeric_limits<std::int64_t>::min()};
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::int64_t> any(-2000000, 2000000);
    for (int k = 0; k < 20; ++k) values.push_back(any(random));
    return values;
}

const char *const kRealDescriptors[] = {
    "F5.0",    "F6.0",    "F6.2",     "F6.4",    "F7.4",     "F8.6",    "F10.3",    "F3.1",    "F3.2",
    "F2.0",    "F1.0",    "F3.0",     "F4.0",    "F8.0",     "F5.1",    "F0.3",     "E8.2",    "E10.3",
    "E12.5E3", "E9.2E1",  "ES11.3",   "D10.3",   "G10.3",    "G10.4",   "G12.5",    "G13.6",   "G10.3E1",
    "G7.2",    "G9.1",    "1PE12.4",  "-1PE12.4", "2PF10.3", "-2PF10.3", "1PG12.4", "ES9.0",   "SP,F8.3",
    "SP,E11.3", "SP,G10.3", "SP,F4.0", "G8.1",   "G9.2",     "G11.5",   "G5.1",     "G4.1",    "G3.1",
    "G6.2",    "G10.2E3",
};
const char *const kIntegerDescriptors[] = {"I3",  "I5",  "I5.3", "I1",  "I0",  "I3.0", "SP,I3", "SP,I4",
                                           "G6.2", "Z4", "Z17",  "O4",  "O23", "B6.5", "B8.6",  "I20"};

// Every descriptor on every value, one record each, written by keld and by gfortran.
TEST(GfortranOracle, SingleValuesMatchGfortranForEveryDescriptor) {
    std::vector<std::pair<std::string, Item>> cases;
    std::string input;
    char line[300];
    for (const char *descriptor : kRealDescriptors)
        for (double x : oracle_reals()) {
            cases.emplace_back("('[',SS," + std::string(descriptor) + ",']')", Item(x));
            std::snprintf(line, sizeof line, "R %016llX %s\n", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(x)),
                          cases.back().first.c_str());
            input += line;
        }
    for (const char *descriptor : kIntegerDescriptors)
        for (std::int64_t n : oracle_integers()) {
            cases.emplace_back("('[',SS," + std::string(descriptor) + ",']')", Item(n));
            std::snprintf(line, sizeof line, "I %016llX %s\n", static_cast<unsigned long long>(n), cases.back().first.c_str());
            input += line;
        }
    const auto expected = run_fortran(R"(program oracle
  implicit none
  character(len=1) :: kind
  integer(8) :: bits
  character(len=200) :: fmt
  integer :: ios
  do
    read(*, '(A1,1X,Z16,1X,A)', iostat=ios) kind, bits, fmt
    if (ios /= 0) exit
    if (kind == 'R') then
      write(*, fmt) transfer(bits, 0d0)
    else
      write(*, fmt) bits
    end if
  end do
end program
)", input);
    ASSERT_EQ(expected.size(), cases.size());
    int mismatches = 0;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const auto &[format, item] = cases[k];
        const auto got = format_lines(format, std::span<const Item>(&item, 1));
        const std::string text = got.size() == 1 ? got[0] : std::to_string(got.size()) + " records";
        if (text != expected[k] && ++mismatches <= 40)
            ADD_FAILURE() << format << " of " << fortran_item(item) << ": gfortran [" << expected[k] << "] keld [" << text << "]";
    }
    EXPECT_EQ(mismatches, 0) << "of " << cases.size() << " cases";
}

// The messages' own formats, whole: several records, 2A4 names, A1 quotes, scale factors.
TEST(GfortranOracle, WholeMessagesMatchGfortranRecordByRecord) {
    const std::pair<std::string, std::vector<Item>> cases[] = {
        {"(6X,'CONVERGENCE DIFFICULTIES WERE ENCOUNTERED IN ','POSL MODEL',/,6X,'FOR (DATA SET ',"
         "I3,') AT TEMPERATURE ',G10.3,'K',/,6X,'AND PRESSURE ',G10.3,' PA.  RESULTS MAY NOT BE ',"
         "'STABLE.')",
         {1, 298.15, 101325.0}},
        {"(6X,'EQUATION OF STATE MODEL ESSAFT FAILED DUE TO ','INFEASIBLE',/,6X,'CONDITIONS (DATA "
         "SET ',I3,') AT TEMPERATURE ',G10.3,'K',/,6X,'AND PRESSURE ',G10.3,' PA.',/,6X,'COMPONENT  "
         "MOLE FRACTION  COMPONENT  MOLE FRACTION')",
         {12, 1234.5, -2.5e7}},
        {"(6X,2A4,3X,G10.4,5X,2A4,3X,G10.4)", {"WATE", "R   ", 0.25, "ETHA", "NOL ", 0.74999}},
        {"(6X,2A4,3X,G10.4,5X,2A4,3X,G10.4)", {"PS  ", "    ", 1e-5}},
        {"(6X,'SFTKIJ BINARY PARAMETERS FOR COMPONENTS ',A1,2A4,A1,'-',A1,2A4,A1,/,6X,'NOT "
         "SYMMETRIC (DATA SET ',I3,')','; VALUE ASSUMED = ',G10.3)",
         {"\"", "WATE", "R   ", "\"", "\"", "PS  ", "    ", "\"", 2, -0.0125}},
        {"(6X,'A NOMINAL VALUE OF ',F6.0,' (bar) ASSUMED')", {3000.0}},
        {"(6X,'RESIDUAL = ',E8.2,' AFTER ',I5,' ITERATIONS')", {1.234e-7, 100}},
        {"(6X,A,I5)", {"***ASSOCIATION PROBLEM TOO LARGE. NV =", 1234}},
        {"(1X,3F7.2)", {1.0, -2.0, 3.25, 4.5, 5.125, 6.0, 7.75}},
        {"(SP,F6.2,I4,SS,F6.2,1PE12.4,0P,F8.3,2PG12.4)", {1.0, 3, 2.0, 12345.678, 1.5, 1e10}},
        // The association diagnostics: a record ends after a G13.6 value's own trailing blanks.
        {"(6X,2(A,G13.6))", {"PCSAF5: T = ", 273.15, "  RHO = ", 56.0}},
        {"(A,I4,2(A,G13.6))", {"GETXA1: ITER = ", 1, "  MAX-ERR = ", 0.5, "  OBJ = ", -12.5}},
        {"(3(I3,2X),G13.6)", {1, 1, 1, 1e-4, 2, 1, 2, 0.25}},
    };
    std::string source = "program oracle\n  implicit none\n";
    for (const auto &[format, items] : cases) {
        source += "  write(*, " + fortran_constant(format, '"') + ")";
        for (std::size_t k = 0; k < items.size(); ++k) source += (k ? ", " : " ") + fortran_item(items[k]);
        source += "\n  write(*, '(A)') '#END'\n";
    }
    const auto output = run_fortran(source + "end program\n", "");
    std::size_t line = 0;
    for (const auto &[format, items] : cases) {
        Lines expected;
        while (line < output.size() && output[line] != "#END") expected.push_back(output[line++]);
        ++line;
        EXPECT_EQ(lines_of(format, items), expected) << format;
    }
}

#else

TEST(GfortranOracle, SkippedWithoutGfortran) { GTEST_SKIP() << "gfortran not found at configure time"; }

#endif

}  // namespace
}  // namespace keld::fortran
