// Every diagnostic line format of the association routine and its solvers, once: each pattern must
// match a whole line written to the caller's unit by one of a few runs that visit every branch.
// GCC 12 warns inside libstdc++'s regex automaton (a copied std::function it cannot see initialised);
// <functional> comes in with gtest, so both are included with that warning off.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#pragma GCC diagnostic pop

#include "keld/refhost.h"
#include "support/assoc_systems.h"

namespace keld::testing {
namespace {

constexpr std::int64_t kUnit = 11;

// The records exactly as the routine hands them to the host's unit writer; the reference host's own
// writer (called next) trims what it keeps, as a terminal would show it.
std::vector<std::string> raw_records;
keld_write_unit_fn host_writer = nullptr;

void keep_raw_record(const std::int64_t *unit, const char *record, const std::int64_t *length) {
    raw_records.emplace_back(record, static_cast<std::size_t>(*length));
    host_writer(unit, record, length);
}

keld_host recording_table(refhost::ReferenceHost &reference) {
    keld_host t = reference.table();
    host_writer = t.write_unit;
    t.write_unit = keep_raw_record;
    return t;
}

struct Written {
    std::vector<std::string> lines;  // as the reference host keeps them
    std::vector<std::string> raw;    // as the routine wrote them
};

Written all_records() {
    raw_records.clear();
    refhost::ReferenceHost reference;
    reference.add_component("HOST", refhost::ComponentKind::ordinary, 1.0);
    reference.install(recording_table(reference));
    reference.capture_unit(kUnit);
    const auto run = [&](AssocSystem sys, double rho, std::int64_t level, const std::vector<double> *start = nullptr) {
        sys.options.diag_level = level;
        sys.options.diag_unit = kUnit;
        sys.options.start = start ? 2 : 0;
        run_association(*host::Host::current(), sys, rho, {true, true, true, true}, start);
    };
    // Pure water far from its solution: line searches, leaving Newton, a Broyden refresh.
    AssocSystem water;
    water.t = 273.15;
    water.list({water.add(kWater4C)}, {1.0});
    const std::vector<double> far(2048, 1e-4);
    run(water, 56.0, 4, &far);
    AssocSystem alcohols;  // equivalent sites
    alcohols.list({alcohols.add(kMethanol), alcohols.add(kEthanol)}, {0.5, 0.5});
    run(alcohols, 18.0, 4);
    AssocSystem mixed;  // Newton to the end: the Jacobian at the solution
    mixed.list({mixed.add(kWater4C), mixed.add(kMethanol)}, {0.4, 0.6});
    run(mixed, 35.0, 2);
    AssocSystem slow;  // plain substitution: XAR2 stops at the looser tolerance
    slow.list({slow.add(kMethanol)}, {1.0});
    slow.options.method = 0;
    run(slow, 24.0, 1);
    slow.options.tolerance = 1e-300;  // never met: the site fractions fail
    run(slow, 24.0, 1);
    keld_host t = recording_table(reference);  // a singular factorisation: the switch with its code
    t.lu_factor = [](const std::int64_t *, double *, const std::int64_t *, std::int64_t *, std::int64_t *ier) { *ier = 3; };
    reference.install(t);
    run(mixed, 35.0, 2);
    return {reference.unit_lines(kUnit), raw_records};
}

TEST(AssociationDiagnostics, EveryLineFormat) {
    const std::vector<std::string> lines = all_records().lines;
    const char *patterns[] = {
        R"(      PCSAF5: T =   273\.150      RHO =   56\.0000)",  // (6X,2(A,G13.6))
        R"(      PCSAF5: I, IDX, X)",                            // (6X,A)
        R"(        1    1    1\.00000)",                          // (6X,2(I3,2X),G13.6)
        R"(      PCSAF5: ASSOCIATION VOLUME, ENERGY, STRENGTH:)",
        R"(       IDXI, IDXJ, VIJ, EIJ, QIJ)",
        R"(        1    1   0\.133738        1772\.04        [ 0-9]\.[0-9]{5})",  // (6X,I3,2X,I3,3(2X,G13.6))
        R"(      PCSAF5: ASSOCIATION VARIABLES: NO, IDX, ISITE)",
        R"(        1    1    4)",                                 // (6X,I3,2X,I3,2X,I3)
        R"(      I =   2  IV2 =   2  JV2 =   2)",                 // (6X,3(A,I3))
        R"(GETXA1: NCP, NXA, NV     1      4      4)",            // (A,3(I5,2X))
        R"(GETXA1: INITIAL VALUES: NO, IDX, ISITE, XA)",
        R"(  1    1    1   0\.100000E-03)",                       // (3(I3,2X),G13.6)
        R"(GETXA1: JACOBIAN: I, J, JAC)",
        R"(  3    1  -0\.[0-9]{6}E-01)",                          // (2(I3,2X),G13.6)
        R"(GETXA1: STEP SIZES: NO, IDX, ISITE, XA\. RMSDX =   [0-9]\.[0-9]{5})",
        R"(GETXA1: NSRCH =  1  FAC =  0\.100000      KSRCH =  1)",  // (A,I2,A,G13.6,A,I2)
        R"(GETXA1: ITER =    1  MAX-ERR =  0\.[0-9]{6}      OBJ =  -[0-9]{2}\.[0-9]{4})",  // (A,I4,2(A,G13.6))
        R"(GETXA1: NEW VALUES: NO, IDX, ISITE, XA)",
        R"(GETXA1: SWITCHING SOLVER)",
        R"(GETXA1: JACOBIAN EVALUATION    1  IFLAG =    0)",     // (A,I4,A,I4)
        R"(GETXA1: RE-INITIALIZING BROYDEN MATRIX)",
        R"(GETXA1: JACOBIAN EVALUATION AT SOLUTION\. IFLAG =    0)",
        R"(GETXA1: SWITCHING SOLVER\. LUFACT IER =    3  RMSDX =   0\.00000)",
        R"(GETXA1: FINAL VALUES: NO, IDX, ISITE, XA)",
        R"(GETXA1: XA CONVERGED\. ITER =   10  MAX-ERR =  0\.[0-9]{6}E-[0-9]{2})",  // (A,I4,A,G13.6)
        R"(GETXA1: XA FAILED\. ITER = 1000  MAX-ERR = .*)",
        R"(GETXAR1: INITIAL VALUES: NO, IDX, ISITE, XAR)",
        R"(GETXAR1: ITER =    1  MAX-ERR =   1\.00000)",
        R"(GETXAR1: NEW VALUES: NO, IDX, ISITE, XAR)",
        R"(GETXAR1: FINAL VALUES: NO, IDX, ISITE, XAR)",
        R"(GETXAR1: XAR CONVERGED\. ITER =    2  MAX-ERR = .*)",
        R"(GETXAR21: FINAL VALUES: IDX, ISITE, XAR2)",
        R"(GETXAR21: XAR2 CONVERGED\. ITER =    2  MAX-ERR = .*)",
        R"(GETXAR21: XAR2 CONVERGED TO A LOOSER TOLERANCE\. ITER =  [ 0-9]{3}  MAX-ERR =  0\.[0-9]{6}E-0[89])",
        R"(GETXAT1: ITER =    2  MAX-ERR = .*)",
        R"(GETXAT1: XAT CONVERGED\. ITER =    2  MAX-ERR = .*)",
        R"(GETXAX1: INITIAL VALUES FOR COMP   1: NO, IDX, ISITE, XAX)",  // (A,I3,A)
        R"(GETXAX1: NEW VALUES: NO, IDX, ISITE, XAX)",
        R"(GETXAX1: FINAL VALUES FOR COMP   2: NO, IDX, ISITE, XAX)",
        R"(GETXAX1: XAX CONVERGED FOR COMP   2\. ITER =    2  MAX-ERR = .*)",  // (A,I3,A,I4,A,G13.6)
    };
    for (const char *pattern : patterns) {
        const std::regex re(pattern);
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string &l) { return std::regex_match(l, re); }))
            << pattern;
    }
}

// A Fortran WRITE ends a record after its last field: a G13.6 value in fixed form leaves its four
// trailing blanks in the record, an E-form value or an integer none. The expected records are
// gfortran's bytes for the same FORMATs and values.
TEST(AssociationDiagnostics, RecordsKeepTheBlanksTheirFormatWrites) {
    const Written written = all_records();
    const char *expected[] = {
        "      PCSAF5: T =   273.150      RHO =   56.0000    ",  // (6X,2(A,G13.6))
        "        1    1    1.00000    ",                         // (6X,2(I3,2X),G13.6), pure water
        "        2    2   0.500000    ",                         // the alcohols' second fraction
        "  1    1    1   0.100000E-03",                          // (3(I3,2X),G13.6) in E form
        "GETXAR1: ITER =    1  MAX-ERR =   1.00000    ",         // (A,I4,A,G13.6)
    };
    for (const char *record : expected)
        EXPECT_NE(std::find(written.raw.begin(), written.raw.end(), record), written.raw.end()) << '[' << record << ']';

    ASSERT_EQ(written.raw.size(), written.lines.size());
    std::size_t with_blanks = 0;
    for (std::size_t k = 0; k < written.raw.size(); ++k) {
        const std::string &raw = written.raw[k];
        const std::size_t kept = raw.find_last_not_of(' ') + 1;
        EXPECT_EQ(raw.substr(0, kept), written.lines[k]);  // the host still shows the trimmed line
        const std::size_t blanks = raw.size() - kept;
        EXPECT_TRUE(blanks == 0 || blanks == 4) << '[' << raw << ']';
        with_blanks += blanks == 4;
    }
    // Every class of record that ends on a fixed-form G13.6 value: T/RHO, strengths, value tables,
    // Jacobian rows and the ITER/OBJ lines.
    const char *ending_in_a_value[] = {
        R"(      PCSAF5: T = .*[0-9])",                               // T/RHO
        R"(        1    1   0\.133738 .*[0-9])",                      // strengths
        R"([ 0-9]{3}  [ 0-9]{3}  [ 0-9]{3}   0\.[0-9]{6})",            // value table
        R"([ 0-9]{3}  [ 0-9]{3}   -1\.00000)",                         // Jacobian diagonal
        R"(GETXA1: ITER = .*  OBJ = .*[0-9])",                        // ITER/OBJ
    };
    for (const char *pattern : ending_in_a_value) {
        const std::regex re(std::string(pattern) + "    ");
        EXPECT_TRUE(std::any_of(written.raw.begin(), written.raw.end(), [&](const std::string &r) { return std::regex_match(r, re); }))
            << pattern;
    }
    EXPECT_GT(with_blanks, 0u);
}

}  // namespace
}  // namespace keld::testing
