// keld/refhost.h - keld's reference host.
//
// keld is loaded by a process-simulation host that owns every parameter,
// work area and service. ReferenceHost is a complete host of that kind, so
// keld runs and is tested stand-alone: it keeps the shared store, classifies
// components, converts polymer compositions, evaluates temperature tables,
// checks and prints messages and searches density roots, and fills the host
// table of keld/host.h with C callbacks that forward to it.
//
// Choices of this host (everything the library leaves to the host)
// -----------------------------------------------------------------
// Store (HostStore, 1-based positions; position p is store()[p - 1]). Every
// word is a double or an int64_t bit pattern (std::bit_cast); integers are
// handles, counts and component numbers. The layout, rebuilt (values kept)
// whenever the component or data-set count changes:
//   1                      NC (integer); so no located offset is ever 0
//   identifiers            2 words per component: HostOffsets4(2) + 2i - 1 and
//                          + 2i hold characters 1-4 and 5-8 of the identifier.
//                          Each word holds its 4 characters in its first 4
//                          bytes (memory order) and blanks in the other 4.
//   formulas               3 words of 8 characters per component at
//                          HostOffsets4(1) + 3(i - 1) + 1 .. + 3, blank-padded.
//   parameter arrays       in definition order (see ParameterShape)
//   polymer-segment map    L + 1: handle of the segment list, L + 2: handle of
//                          the polymer list, L + 3: handle of the weight-fraction
//                          matrix (L = HostLocate(map handle))
//   segment list           S: NS; S + k: component number of segment k. Every
//                          segment component of the problem, in component order.
//   polymer list           P: NP; P + r: component number of polymer r (polymers
//                          and oligomers, in component order).
//   weight-fraction matrix NP rows by NS columns, column-major: the weight
//                          fraction of segment k in polymer r at M + (k-1)NP + r.
//   work area              HostWorkOffset .. HostWorkOffset + work_words() - 1,
//                          plus one spare trailing word. A call with KWORK = 0
//                          uses the whole area; a call with KWORK > 0 has
//                          work_words() - KWORK words.
// Handles: 1 map, 2 segment list, 3 polymer list, 4 weight-fraction matrix.
// HostLocate of any other handle returns 0. HostLocateMatrix(handle, a, b, c)
// returns the located offset and the object's extent seen as a matrix:
// map (L, 3, 1), segment list (S, NS + 1, 1), polymer list (P, NP + 1, 1),
// matrix (M, NP, NS); (0, 0, 0) for an unknown handle.
//
// Parameters (ParameterShape). With b = HostParamOffset(name) and NC, NDS:
//   per_component  NC words, component i at b + i (no data set)
//   unary          NDS * NC words, (i, d) at b + (d - 1)NC + i
//   binary         NDS * NC^2 words, (i, j, d) at b + (d - 1)NC^2 + (j - 1)NC + i
//   binary_table   NDS * 6NC^2 words: the six coefficients of pair (i, j) are
//                  consecutive (a Fortran TABLE(6, NC, NC) per data set):
//                  coefficient c at b + (d - 1)6NC^2 + 6((j - 1)NC + i - 1) + c
// Initial values: the missing-value marker HostRealGlobals(1) = 1e35 for
// per_component and unary arrays; 0 (not given, no interaction) for binary
// arrays and binary tables. HostOffsets1(e) holds the same located offset b as
// HostParamOffset for the names that carry an element number; all other
// elements are 0. HostParamOffset of an unknown name returns 0, which the
// library must read as "this host has no such parameter". Names are matched
// case-insensitively after trailing blanks are removed. See
// parameter_catalogue() for the names known from the start; define_parameter()
// adds more.
//
// Data blocks (1-based elements):
//   HostRealGlobals(1)     1.0e35 missing-value marker
//   HostRealGlobals(2)     1.0e-6 segment-fraction floor: a segment fraction
//                          below it is ignored by segment averages
//   HostPropertyGlobals(1) 101325 Pa reference pressure; (3) R = 8314.462618 J/(kmol K)
//   HostGlobals            32 words; (8) = 0 (passed to HostMessageCheck),
//                          (11) = 4 default diagnostic level of routines without
//                          KDIAG, (30) = 0 (100 makes the initialisation
//                          routines skip their parameter defaults)
//   HostErrorControl       10 lines of 80 characters, blank
//   HostErrorControl2      32 words, 0
//   HostRootControl        32 words; (1), (2) single-component switches of the
//                          liquid and vapour routines (logicals as int64 bit
//                          patterns -1 / 0 in double words); (17) = 1.0e8 Pa:
//                          a failed root at a pressure up to this threshold is
//                          reported as convergence difficulty, above it as
//                          infeasible conditions
//   HostDpdvControl        4 words
// Work area: by default 18 NC + 7 NC^2 words (the largest layout of the
// Sanchez-Lacombe and PC-SAFT monitors); HostOptions::minimum_work_words
// asks for more.
//
// SAFT arrays. SAFTM, SAFTV, SAFTU are per data set. The energy correction
// SAFTE (e/k, HostOffsets1 879) and the segment ratio SAFTR (895) are kept per
// data set as well, but the SAFT monitors read data set 1 only (the
// stored-parameter monitor reads them without a data-set slice); the
// stored-parameter monitor writes e/k = 10 K there for a listed component
// without one. The binary parameter k_ij of the SAFT family, SFTKIJ at
// HostOffsets1(882), is one six-coefficient table per pair and data set (the
// binary_table layout below, 6 NC^2 words per data set): KELD_ESSFTI hands it
// to HostTempParam as such, and both SAFT monitors take k_ij(i, j) of data set
// d as its constant coefficient, at b + (d - 1)6NC^2 + 6((j - 1)NC + i - 1) + 1
// (the further coefficients are not used by the SAFT monitors; case files give
// a constant). SFTLIJ (l_ij, binary) exists for the argument-driven monitor
// only. SFTUIJ (880) receives the cross energies u0_ij/k of the stored-parameter
// monitor's last call (first NC^2 words); SFTUIJ and SFTMIJ (881) also receive
// the cross matrices of KELD_ESSAFT, which KELD_SFTHLP hands out as its U0IJ and
// XMIJ (written by every call, never read back).
// Nothing is kept at HostOffsets1(883) (0: KELD_SFTHLP hands out position 1).
//
// Root searches. Each thread holds its own conversation: the thread that
// created the host uses vapour_search() and liquid_search(); any other thread
// uses searches of its own with the same settings, so monitors called from
// several threads at once (each with its own work area and arrays) get the
// same roots as one after another.
//
// Polymer compositions. A polymer's apparent moles are moles of segments of
// molecular weight MW (the MW stored for it); its true moles are molecules of
// number-average molecular weight MWN. The number-average molecular weight of a
// polymer or oligomer is its MWN when that is a positive number and its MW
// otherwise; of any other component its MW. Segment weight fractions are kept
// as given (not normalised); mole fractions are derived from them with the
// segments' MW and normalised to sum 1.
//
// Temperature tables. k(T) = a + b/Tr + c ln Tr + d Tr + e Tr^2 with
// Tr = T/Tref; Tref is the sixth coefficient, or 298.15 K when that is not a
// positive number or missing. A missing coefficient (the marker) counts as 0,
// and a zero coefficient never contributes (no 0 * inf). With T <= 0 a table
// with a non-zero b..e has no value: quiet NaN. PolyBinaryKij evaluates such
// tables (six coefficients, or four: a + b/Tr + c ln Tr + d Tr with Tref =
// 298.15 K) for the listed pairs, PolyBinaryKijDeriv their T-derivatives
// dk/dT = (-b/Tr^2 + c/Tr + d + 2e Tr)/Tref. HostTempParam result(i) = 1
// when some pair (i, j) or (j, i), j != i, has a non-zero, non-missing
// temperature coefficient b..e (so the host knows which binaries must be
// re-evaluated when T changes), 0 otherwise; form and option are accepted as
// given (the five-term form is the only one this host knows). PolyBinaryTable4
// evaluates the same form from a table handed over by the segment-based
// monitors (pair (i, j) at 6((j - 1)NC + i - 1), NC the monitor's), with the
// analytic dk/dT in mode 2; a table shorter than its pairs need gives zeros.
// PolyVolumeApparentToTrue converts apparent to true mole fractions with the
// MW and MWN the monitor passes (x_k proportional to z_k MW/MWN for a
// component whose polymer flag is 1).
//
// Messages. HostMessageCheck issues a message when the policy allows it:
// MessageMode::by_level issues when level >= the threshold of the class
// (default threshold = the class number itself); accept_all / refuse_all
// ignore the level. A suppressed routine identifier is refused in by_level
// mode. Every check is counted per (routine identifier, class, number).
// HostPrintMessage(n) takes lines 1..min(n, 10) of HostErrorControl, trims
// trailing blanks (and NULs), passes each line to the sink (standard error by
// default) and blanks the lines it printed.
//
// Diagnostic units. The association solver writes formatted lines to a
// Fortran unit number its caller chooses. Each unit maps to a sink: unit 6
// writes to standard output and unit 0 to standard error unless a sink is set;
// any other unit discards its lines until set_unit_sink() or capture_unit()
// gives it one. Trailing blanks of a record are removed. Writes are serialised
// by a mutex, so lines of concurrent callers never interleave within a line.
//
// Numerical services (refhost/numerics/numerics.h documents each): the
// position search, dominant-eigenvalue acceleration, Broyden quasi-Newton
// steps, LU factorisation, solve and inversion (LAPACK for larger matrices)
// and a backtracking line search. They keep no state outside their arguments.
//
// Host table. The C callbacks carry no context pointer, so they forward to the
// one "current" ReferenceHost, made current by install(). One reference host
// is active at a time; destroying the current host uninstalls keld's table.
// If the store is rebuilt while a host is current (a component added), the
// table is re-installed with the new store pointer.
//
// Threads. Once installed, one host serves calls from several threads at once
// (each call with its own work area, KWORK): the root searches are per thread
// (above), message checks and prints are serialised, and MessageCapture
// collects what one thread's call printed. Setting up a host (components, parameters,
// install) is not: finish it before the calls start.
//
// Errors of the C++ set-up API (unknown names, out-of-range numbers) throw
// std::invalid_argument / std::out_of_range. The host operations that keld
// calls never throw; for bad arguments they write zeros (or nothing) and
// never read or write outside the host's storage.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "keld/host.h"
#include "keld/refhost_c.h"

namespace keld::refhost {

class RootSearch;

enum class ComponentKind { ordinary = 0, polymer = 1, oligomer = 2, segment = 3 };

// record3: three words per component and data set, word w of (i, d) at
// b + 3((d - 1)NC + i - 1) + w (the cubic model's Mathias-Copeman record).
enum class ParameterShape { per_component = 0, unary = 1, binary = 2, binary_table = 3, record3 = 4 };

struct ParameterDefinition {
    std::string name;            // upper case, at most 6 characters
    ParameterShape shape;
    std::int64_t offsets1_element;  // HostOffsets1 element naming this array, 0 = none
    // A binary array that starts at the missing-value marker instead of 0
    // (parameters without a neutral value: "not given" must be seen).
    bool starts_missing = false;
};

// Names known from the start (and their HostOffsets1 elements):
//   MW 306, MWN, TC 416, PC 326 (per component);
//   SLTSTR, SLPSTR, SLRSTR, SLSRC 1359 (Sanchez-Lacombe PolymerParamSource),
//   SLKTD 1382, SLETD 1383 (HostTempParam results) (unary);
//   SLKIJ, SLETIJ (binary); SLKIJT 690, SLETIT 689 (their temperature tables);
//   TSTARL, PSTARL, DSTARL (per component working copies);
//   PCSFTM 884, PCSFTV 885, PCSFTU 886, PCSFTR 887, PCSSRC 1357 (PC-SAFT
//   PolymerParamSource), PCSKTD 1379 (HostTempParam result) (unary);
//   PCSKIJ 890 (binary table);
//   SAFTM 876, SAFTV 877, SAFTU 878, SAFTE 879 (e/k), SAFTR 895, SFTSRC 1358
//   (SAFT PolymerParamSource), SFTKTD 1381 (HostTempParam result) (unary);
//   SFTKIJ 882 (binary table); SFTLIJ, SFTUIJ 880, SFTMIJ 881 (binary).
// Cubic equation of state (KELD_ES40): TCRKS 424, PCRKS 332, OMGRKS 322, the
//   check marker RKSCHK 627, the reserved per-component word RKSUC 144
//   (unary); the reserved pair word RKSUP 146 (binary, starts missing); the
//   Mathias-Copeman record RKSMC 516 (record3); RKSKIJ, RKSWSK (binary k_ij of
//   the van der Waals and Wong-Sandler rules, 0 when not given); GEAIJ, GEBIJ
//   (excess-Gibbs pair terms a_ij, b_ij / K) and GEALF (NRTL alpha_ij),
//   binary, starting missing; UNIQR, UNIQQ (UNIQUAC r, q; unary).
// PC-SAFT with association and a dipolar term (KELD_PCSAF1; it reads the
//   PC-SAFT arrays above as well): PCSATY association site type (unary, a
//   number), PCSAEP eps^AB/k (K), PCSAKP kappa^AB, PCSAMU dipole moment (D),
//   PCSAXP dipolar segment fraction (unary); PCSAEX, PCSAKX cross eps^AB/k and
//   kappa^AB (binary, starting missing: the combining rules apply); PCSLIJ
//   l_ij(T) (binary table, the first four coefficients read).
// Associating PC-SAFT parameter preparation (KELD_ESPSAI, KELD_ESPSAHI): PCSKRS
//   1441, the HostTempParam result of PCSKIJ (unary); per component the
//   correlation data that KELD_ESPSAHI fits missing PCSFTM, PCSFTV, PCSFTU to
//   (keld/keld.h gives the forms): TB normal boiling point (K), VPC1..VPC9
//   extended vapour-pressure coefficients (ln P in Pa, T in K), LDSEL liquid-
//   volume form (105, 302, 514, other: Rackett), LDC1..LDC7 its coefficients,
//   ZRA1 and ZRA2 Rackett parameter, SG specific gravity, VSTD standard liquid
//   volume (m3/kmol). This host keeps l_ij in PCSLIJ (six words per pair) and
//   names no four-coefficient table at HostOffsets1(1597), which KELD_ESPSAI
//   then skips.
std::span<const ParameterDefinition> parameter_catalogue();

struct HostOptions {
    std::int64_t data_sets = 1;
    std::int64_t minimum_work_words = 0;  // 0: default sizing only
};

struct SegmentShare {
    std::int64_t segment;    // component number of a segment component
    double weight_fraction;  // in the polymer
};

struct ComponentDefinition {
    std::string_view identifier;
    ComponentKind kind;
    double molecular_weight;
};

enum class MessageMode { by_level = 0, accept_all = 1, refuse_all = 2 };

// Routine identifier as keld passes it: two 8-character blank-padded words.
std::string routine_id(std::string_view word1, std::string_view word2);

struct MessagePolicy {
    MessageMode mode = MessageMode::by_level;
    std::map<std::int64_t, std::int64_t> class_thresholds;  // absent class: threshold = class
    std::set<std::string> suppressed_routines;              // 16-character identifiers

    std::int64_t threshold(std::int64_t check_class) const;
    void suppress_routine(std::string_view word1, std::string_view word2);
    bool allows(std::string_view routine16, std::int64_t check_class, std::int64_t level) const;
};

// Arguments of the last HostMessageCheck, for tests of call sites.
struct MessageCheckRecord {
    std::string routine;  // 16 characters
    std::int64_t check_class = 0, number = 0, level = 0, global8 = 0, word_a = 0, word_b = 0, word_c = 0;
    bool issued = false;
};

class ReferenceHost {
public:
    static constexpr double missing_value = 1.0e35;
    static constexpr double segment_fraction_floor = 1.0e-6;
    static constexpr double reference_pressure = 101325.0;
    static constexpr double gas_constant = 8314.462618;
    static constexpr double root_failure_pressure_threshold = 1.0e8;
    static constexpr std::int64_t default_diagnostic_level = 4;
    static constexpr std::int64_t map_handle = 1, segment_list_handle = 2, polymer_list_handle = 3,
                                  weight_fraction_matrix_handle = 4;
    static constexpr std::size_t globals_words = 32, error_control2_words = 32, root_control_words = 32,
                                 dpdv_control_words = 4, real_globals_words = 8, property_globals_words = 8,
                                 offsets1_words = 1700, offsets4_words = 8;

    // Largest store a host builds (16 GiB); a larger layout is refused with std::length_error.
    static constexpr std::int64_t max_store_words = std::int64_t{1} << 31;
    // Words of the store of a host with the catalogue's parameters, `nc`
    // components (half of them segments, half polymers: the largest map) and
    // `data_sets` data sets, for checking a size before building it.
    static std::int64_t store_words_for(std::int64_t nc, std::int64_t data_sets);

    explicit ReferenceHost(HostOptions options = {});
    ~ReferenceHost();
    ReferenceHost(const ReferenceHost &) = delete;
    ReferenceHost &operator=(const ReferenceHost &) = delete;

    // --- components ---------------------------------------------------------
    // Returns the new component number. Identifier: 1 to 8 characters, unique.
    std::int64_t add_component(std::string_view identifier, ComponentKind kind, double molecular_weight);
    // Several components with one rebuild of the store (each add_component
    // rebuilds it, which makes adding N components one by one cost N^3): returns
    // the number of the first; they are numbered in the order given.
    std::int64_t add_components(std::span<const ComponentDefinition> components);
    // A polymer or oligomer with its number-average molecular weight.
    std::int64_t add_polymer(std::string_view identifier, ComponentKind kind, double molecular_weight,
                             double number_average_mw);
    void set_number_average_mw(std::int64_t polymer, double mwn);
    void set_segment_composition(std::int64_t polymer, std::span<const SegmentShare> shares);
    void set_formula(std::int64_t component, std::string_view formula);  // up to 24 characters
    std::int64_t component_count() const { return nc_; }
    std::int64_t component_number(std::string_view identifier) const;  // 0 when unknown
    ComponentKind kind(std::int64_t component) const;
    std::string identifier(std::int64_t component) const;  // as given, without padding
    std::int64_t data_set_count() const { return data_sets_; }
    void set_data_set_count(std::int64_t data_sets);

    // --- parameters ---------------------------------------------------------
    void define_parameter(std::string_view name, ParameterShape shape, std::int64_t offsets1_element = 0);
    const ParameterDefinition *find_parameter(std::string_view name) const;  // nullptr when unknown
    std::int64_t param_offset(std::string_view name) const;                  // 0 when unknown
    void set_unary(std::string_view name, std::int64_t component, double value, std::int64_t data_set = 1);
    double unary(std::string_view name, std::int64_t component, std::int64_t data_set = 1) const;
    void set_binary(std::string_view name, std::int64_t i, std::int64_t j, double value,
                    std::int64_t data_set = 1);
    double binary(std::string_view name, std::int64_t i, std::int64_t j, std::int64_t data_set = 1) const;
    // Up to six coefficients (a, b, c, d, e, Tref) of pair (i, j); the rest are set to 0.
    void set_binary_coefficients(std::string_view name, std::int64_t i, std::int64_t j,
                                 std::span<const double> coefficients, std::int64_t data_set = 1);
    double binary_coefficient(std::string_view name, std::int64_t i, std::int64_t j, std::int64_t coefficient,
                              std::int64_t data_set = 1) const;
    void set_component_value(std::string_view name, std::int64_t component, double value);
    double component_value(std::string_view name, std::int64_t component) const;

    // Temperature tables of binary parameters: a binary parameter may take its
    // values from a binary_table (known from the start: SLKIJ <- SLKIJT,
    // SLETIJ <- SLETIT). apply_temperature_tables(T) writes k(T) into the
    // binary parameter, in every data set, for each pair i != j whose table
    // holds a non-zero, non-missing coefficient among a..e; other pairs keep
    // their directly given value. A host calls it whenever T changes.
    void link_temperature_table(std::string_view binary_name, std::string_view table_name);
    void apply_temperature_tables(double t);
    // True when some linked table holds a non-zero, non-missing coefficient
    // among b..e, so that apply_temperature_tables(T) writes values that depend on T.
    bool temperature_tables_vary() const;

    // --- blocks (1-based element numbers; out-of-range throws) ------------------
    std::span<double> store() { return store_; }
    std::span<const double> store() const { return store_; }
    double &store_at(std::int64_t position);
    std::int64_t store_integer(std::int64_t position) const;
    std::int64_t work_offset() const { return work_offset_; }
    std::int64_t work_words() const { return work_words_; }
    std::span<double> work_area();
    // Work areas for concurrent calls: makes the work block hold `count` areas
    // of the size one call of any monitor may need, and returns that size (the
    // stride between KWORK values of concurrent callers: 0, stride, 2 stride,
    // ...). The store is rebuilt (values kept) when it grows, and the table
    // re-installed if this host is current; call it while no call runs.
    std::int64_t reserve_work_areas(std::int64_t count);
    std::int64_t &global(std::int64_t element);
    double &real_global(std::int64_t element);
    double &property_global(std::int64_t element);
    double &root_control(std::int64_t element);
    bool root_switch(std::int64_t element) const;  // lowest bit of the int64 pattern
    void set_root_switch(std::int64_t element, bool on);
    double &dpdv_control(std::int64_t element);
    std::int64_t &error_control2(std::int64_t element);
    std::int64_t offsets1(std::int64_t element) const;
    std::int64_t offsets4(std::int64_t element) const;
    std::string_view message_line(std::int64_t line) const;  // 80 characters of HostErrorControl
    void write_message_line(std::int64_t line, std::string_view text);

    // --- host operations (what the C callbacks forward to) ---------------------
    bool is_polymer(std::int64_t component) const;
    bool is_oligomer(std::int64_t component) const;
    bool is_segment(std::int64_t component) const;
    double number_average_mw(std::int64_t component) const;
    void apparent_to_true(std::int64_t n, const std::int64_t *idx, const double *mw_by_component,
                          const double *z, double *x) const;
    void apparent_to_weight(const double *z, std::int64_t n, const std::int64_t *idx, double *w) const;
    void number_average_mws(std::int64_t option, std::int64_t n, const std::int64_t *idx, double *mwn) const;
    std::int64_t locate(std::int64_t handle) const;
    void locate_matrix(std::int64_t handle, std::int64_t &offset, std::int64_t &rows,
                       std::int64_t &columns) const;
    std::int64_t segment_count() const { return static_cast<std::int64_t>(segments_.size()); }
    void segment_weight_fractions(std::int64_t option, std::int64_t polymer, double *fractions) const;
    void segment_mole_fractions(std::int64_t option, std::int64_t polymer, double *fractions) const;
    void binary_table3(std::int64_t n_coefficients, std::int64_t n_used, double t, const double *table,
                       double *kij) const;
    void temp_param(std::int64_t n_coefficients, std::int64_t nc, const double *table, std::int64_t form,
                    std::int64_t option, double *result) const;
    // Segment-based monitors. PolyVolumeApparentToTrue: x_k proportional to
    // z_k MW(idx_k)/MWN_k where the polymer flag of idx_k is 1 (z_k elsewhere),
    // normalised; zeros when the sum is not positive or an argument is unusable.
    void volume_apparent_to_true(std::int64_t n, const std::int64_t *idx, const double *mw, const double *mwn,
                                 const double *z, double *x, std::int64_t option, std::int64_t nc,
                                 const std::int64_t *polymer_flags) const;
    // PolyBinaryTable4: the tables of the nc^2 pairs (n_coefficients words a
    // pair, table_words in all) at T into kij and, in mode 2, dk/dT into dkij
    // (0 in mode 1). A table shorter than its pairs need, or a negative count,
    // gives zeros.
    void binary_table4(double t, std::int64_t n_coefficients, std::int64_t n_used, std::int64_t nc,
                       const double *table, double *kij, double *dkij, std::int64_t mode,
                       std::int64_t table_words) const;
    // PolyBinaryKij (derivative = false) and PolyBinaryKijDeriv: every pair of the listed components
    // from a TABLE(n_coefficients, nc, nc) of temperature coefficients: six (a, b, c, d, e, Tref) or
    // four (a, b, c, d; Tref = 298.15 K) in the form of the temperature tables below.
    void binary_kij(bool derivative, std::int64_t n_coefficients, std::int64_t nc, std::int64_t n_list,
                    const std::int64_t *list, double t, const double *table, double *kij) const;
    bool message_check(const char *routine16, std::int64_t check_class, std::int64_t number,
                       std::int64_t level, std::int64_t global8, std::int64_t word_a, std::int64_t word_b,
                       std::int64_t word_c);
    void print_message(std::int64_t line_count);

    // --- messages -----------------------------------------------------------
    MessagePolicy &message_policy() { return policy_; }
    void set_message_sink(std::function<void(std::string_view)> sink);
    void print_messages_to_stderr();
    void capture_messages();  // printed lines are kept in captured_messages()
    // Lines printed by the calling thread while a capture of this host is open
    // go to that capture alone: what one call printed, even while other threads
    // call keld on the same host. Captures nest (the innermost one takes the lines).
    class MessageCapture {
    public:
        explicit MessageCapture(const ReferenceHost &host);
        ~MessageCapture();
        MessageCapture(const MessageCapture &) = delete;
        MessageCapture &operator=(const MessageCapture &) = delete;
        std::vector<std::string> take() { return std::move(lines_); }

    private:
        friend class ReferenceHost;
        const ReferenceHost *host_;
        MessageCapture *outer_;
        std::vector<std::string> lines_;
    };
    const std::vector<std::string> &captured_messages() const { return captured_; }
    void clear_captured_messages() { captured_.clear(); }
    // Drops the lines captured after the first `count`.
    void truncate_captured_messages(std::size_t count) {
        if (count < captured_.size()) captured_.resize(count);
    }
    std::int64_t message_check_count(std::string_view word1, std::string_view word2, std::int64_t check_class,
                                     std::int64_t number) const;
    std::int64_t message_check_count() const { return total_checks_; }
    const MessageCheckRecord &last_message_check() const { return last_check_; }
    std::int64_t print_count() const { return print_count_; }

    // --- diagnostic units -------------------------------------------------------
    void set_unit_sink(std::int64_t unit, std::function<void(std::string_view)> sink);
    void capture_unit(std::int64_t unit);  // lines kept in unit_lines(unit)
    const std::vector<std::string> &unit_lines(std::int64_t unit) const;
    void clear_unit_lines(std::int64_t unit);
    void write_unit(std::int64_t unit, std::string_view record);

    // --- density roots ----------------------------------------------------------
    RootSearch &vapour_search() { return *vapour_search_; }
    RootSearch &liquid_search() { return *liquid_search_; }
    void root(bool liquid, std::int64_t &state, std::int64_t &mode, double v_close_packed, double v_critical,
              double v_dividing, double t, double p, double &v, double &p_calc, double &dpdv);

    // --- cubic equation of state (KELD_ES40) ------------------------------------
    // HostEosLog: the monitor's logical request words (eos_log_words words).
    static constexpr std::size_t eos_log_words = 32;
    std::int64_t eos_log(std::int64_t element) const;
    // Three-word records (ParameterShape::record3); words not given stay missing.
    void set_record(std::string_view name, std::int64_t component, std::span<const double> words,
                    std::int64_t data_set = 1);
    double record(std::string_view name, std::int64_t component, std::int64_t word, std::int64_t data_set = 1) const;
    // HostAlphaFunction: Soave's alpha from the acentric factor; with option 2
    // and a Mathias-Copeman record (RKSMC word 1 given) for the component,
    //   alpha = [1 + c1 y + c2 y^2 + c3 y^3]^2, y = 1 - sqrt(T/Tc), below Tc,
    //   alpha = [1 + c1 y]^2 above it (missing c2, c3 count as 0).
    // A component with neither gets NaN (the monitor refuses the call).
    void alpha_function(std::int64_t option, std::int64_t data_set, std::int64_t n, const std::int64_t *idx, double t,
                        const double *tc, const double *omega, double *alpha, double *dalpha,
                        double *d2alpha) const;
    // UNIFAC groups. The host starts with the published original-UNIFAC table
    // shipped in refhost/data/unifac-original.json (subgroups, R, Q, a_mn);
    // more subgroups, main groups and interactions may be added. Main groups
    // are named; an interaction not given is missing (the monitor refuses a
    // mixture that needs it). Group counts of a component: number of each
    // subgroup per molecule (for a polymer or oligomer per unit of its MW).
    void define_unifac_subgroup(std::string_view name, std::int64_t number, std::string_view main_group, double r,
                                double q);
    void set_unifac_interaction(std::string_view main_i, std::string_view main_j, double a_ij);
    void set_component_groups(std::int64_t component, std::span<const std::pair<std::string, double>> counts);
    std::int64_t unifac_subgroup_count() const { return static_cast<std::int64_t>(subgroups_.size()); }
    bool has_unifac_subgroup(std::string_view name) const;
    bool has_unifac_main_group(std::string_view name) const;
    // The group table as keld reads it (layout in keld/host.h).
    std::span<const double> group_table() const { return group_table_; }
    // Work-area words of the cubic monitor (keld/keld.h).
    static std::int64_t cubic_work_words(std::int64_t nc, std::int64_t ns);

    // --- host table -----------------------------------------------------------
    keld_host table();
    void install();                           // current host + keld_host_install(table())
    void install(const keld_host &modified);  // current host + a table with replaced operations
    static ReferenceHost *current();
    // This host is current and keld has its own, unmodified table installed.
    bool installed_as_is() const;

private:
    struct Component {
        std::string identifier;
        ComponentKind kind;
        std::string formula;
        std::vector<SegmentShare> segments;
    };
    struct Subgroup {
        std::string name;
        std::int64_t number;
        std::int64_t main;  // index into main_groups_, 0-based
        double r, q;
    };
    void load_shipped_unifac_table();
    void rebuild_group_table();
    std::int64_t subgroup_index(std::string_view name) const;  // -1 when unknown
    std::int64_t main_group_index(std::string_view name) const;  // -1 when unknown

    struct ParameterArray {
        ParameterDefinition definition;
        std::int64_t offset = 0;  // located offset b
    };

    std::int64_t array_words(ParameterShape shape, std::int64_t nc, std::int64_t nds) const;
    std::int64_t layout_words(std::int64_t nc, std::int64_t nds, std::int64_t ns, std::int64_t np) const;
    const ParameterArray &array_named(std::string_view name) const;
    std::int64_t unary_position(const ParameterArray &a, std::int64_t i, std::int64_t d) const;
    void check_component(std::int64_t component) const;
    void check_data_set(std::int64_t data_set) const;
    void relayout(std::int64_t nc, std::int64_t nds);
    void write_layout_words();
    void write_polymer_map();
    void write_polymer_row(std::int64_t row);          // one polymer's segment fractions
    void write_component_words(std::int64_t component);  // its identifier and formula
    bool valid_component(std::int64_t component) const { return component >= 1 && component <= nc_; }
    std::int64_t polymer_row(std::int64_t component) const;  // 0 when not a polymer/oligomer
    double stored(std::int64_t position) const;
    std::int64_t readable_words(const double *p) const;  // words readable from p (-1: not host storage)
    void reinstall_if_current();

    std::int64_t data_sets_;
    std::int64_t minimum_work_words_;
    std::vector<Component> components_;
    std::vector<ParameterArray> arrays_;
    // Position in arrays_ by name (upper case, packed into one word: names have 1 to 8 printable
    // characters), and the offsets the polymer services read on every call; both follow every layout.
    std::unordered_map<std::uint64_t, std::size_t> array_by_name_;
    std::int64_t mw_offset_ = 0, mwn_offset_ = 0;
    void index_array(std::size_t position);
    const ParameterArray *array_or_null(std::string_view name) const;
    std::vector<std::pair<std::string, std::string>> table_links_;  // (binary, table)
    std::vector<std::int64_t> segments_;  // component numbers of segments
    std::vector<std::int64_t> polymers_;  // component numbers of polymers and oligomers

    std::vector<double> store_;
    std::int64_t nc_ = 0;
    std::int64_t work_offset_ = 0, work_words_ = 0;
    std::int64_t map_offset_ = 0, segment_list_offset_ = 0, polymer_list_offset_ = 0, matrix_offset_ = 0;
    std::array<double, real_globals_words> real_globals_{};
    std::array<double, property_globals_words> property_globals_{};
    std::array<std::int64_t, offsets1_words> offsets1_{};
    std::array<std::int64_t, offsets4_words> offsets4_{};
    std::array<std::int64_t, globals_words> globals_{};
    std::array<char, KELD_MESSAGE_LINES * KELD_MESSAGE_LINE_CHARS> error_buffer_{};
    std::array<std::int64_t, error_control2_words> error_control2_{};
    std::array<double, root_control_words> root_control_{};
    std::array<double, dpdv_control_words> dpdv_control_{};

    MessagePolicy policy_;
    std::function<void(std::string_view)> sink_;
    std::vector<std::string> captured_;
    std::map<std::tuple<std::string, std::int64_t, std::int64_t>, std::int64_t> check_counts_;
    std::int64_t total_checks_ = 0, print_count_ = 0;
    MessageCheckRecord last_check_;
    mutable std::mutex messages_mutex_;  // checks and prints may come from several threads

    std::unique_ptr<RootSearch> vapour_search_;
    std::unique_ptr<RootSearch> liquid_search_;
    std::thread::id owner_thread_;  // the thread whose root conversations use the searches above

    bool installed_ = false, installed_modified_ = false;
    keld_host installed_table_{};

    std::array<std::int64_t, eos_log_words> eos_log_{};
    std::vector<Subgroup> subgroups_;
    std::vector<std::string> main_groups_;
    std::map<std::pair<std::int64_t, std::int64_t>, double> interactions_;  // (main i, main j) -> a_ij
    std::map<std::int64_t, std::vector<std::pair<std::int64_t, double>>> component_groups_;  // subgroup index, count
    std::vector<double> group_table_;

    std::map<std::int64_t, std::function<void(std::string_view)>> unit_sinks_;
    std::map<std::int64_t, std::vector<std::string>> unit_lines_;
    std::unique_ptr<std::mutex> unit_mutex_ = std::make_unique<std::mutex>();
};

}  // namespace keld::refhost
