// keld/database.hpp - the published parameters keld ships (data/ in the source tree), by component.
//
// The tables are compiled into the library, so an installed keld needs no data path. A component is
// found by its name, a synonym, its CAS number or its formula (case-insensitive); a name that fits no
// component, or a formula several isomers share, throws keld::database::LookupError with the closest
// candidates. Every parameter set carries its units, its source (a full citation) and, where the
// source gives one, its range of validity.
//
// Builders turn a component into the plain parameters of a model family (keld/model.hpp):
//     auto toluene = keld::database::pcsaft_component("toluene");
//     auto ps = keld::database::pcsaft_component("polystyrene", 1e5);   // number-average MW, kg/kmol
//     auto model = keld::Model::pcsaft({toluene, ps});
// A polymer's parameters are stored per unit of molar mass (PC-SAFT m/MW in mol/g), so its segment
// number follows from the number-average molar mass Mn; its repeat unit's molar mass (derived from the
// repeat-unit formula) becomes mw_apparent, the unit the host counts.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "keld/model.hpp"

namespace keld::database {

// The model families the database has parameters for (the family names of keld db show).
inline constexpr std::string_view kPcSaft = "pcsaft";                    // pcsaft/solvents.csv, polymers.csv
inline constexpr std::string_view kPcSaftAssoc = "pcsaft-assoc";         // pcsaft/associating.csv
inline constexpr std::string_view kSaft = "saft";                        // saft-hr/components.csv
inline constexpr std::string_view kSanchezLacombe = "sanchez-lacombe";   // sanchez-lacombe/components.csv
inline constexpr std::string_view kCubic = "cubic";                      // cubic/critical.csv
inline constexpr std::string_view kIdealGas = "ideal-gas";               // ideal-gas/cp.csv
inline constexpr std::string_view kUniquac = "uniquac";                  // unifac/uniquac_rq.csv
inline constexpr std::string_view kUnifac = "unifac";                    // unifac/components.csv (subgroup counts)

struct Source {
    std::string key;
    std::string citation;
    std::string doi;         // empty when the source has none or it is not known
    std::string taken_from;  // where the numbers were read
};

struct Parameter {
    std::string name;   // the column without its unit, e.g. "sigma", "Tc", "m_per_mw"
    std::string text;   // as published
    double value;       // NaN for a text value (a scheme name)
    std::string unit;   // "K", "Pa", "Angstrom", "mol/g", ..., "-" for a dimensionless number
};

// One row of a family's table for a component: a parameter set.
struct ParameterSet {
    std::string family;    // kPcSaft, ...
    std::string table;     // e.g. "pcsaft/solvents.csv"
    std::string set;       // the row's name in its table, which selects it among several
    std::vector<Parameter> parameters;  // in the table's column order, empty cells left out
    Source source;
    std::string validity;  // e.g. "T 415-473 K, P up to 200 MPa"; empty when the source gives none
    std::optional<double> t_min, t_max, p_max;  // the same range: K, K, Pa
    std::string note;

    const Parameter *find(std::string_view name) const;
    // The parameter's value; std::invalid_argument naming it when it is absent or not a number.
    double value(std::string_view name) const;
};

struct Component {
    std::string name;
    std::string kind;  // "molecule" or "polymer"
    std::string cas;   // empty for a polymer
    std::string formula;  // Hill order; a polymer's repeat unit as "(C8H8)n"
    std::vector<std::string> synonyms;
    bool polymer() const { return kind == "polymer"; }
};

// A binary parameter of a component with another one.
struct BinaryParameter {
    std::string family;  // kPcSaft
    std::string other;   // the other component's name
    std::string name;    // "kij"
    double value;
    Source source;
    std::string note;
};

// An unknown or ambiguous name. what() names the candidates too.
class LookupError : public std::invalid_argument {
  public:
    // what(): the message, then "; <label>: " and the candidates.
    LookupError(const std::string &message, std::vector<std::string> candidates, std::string_view label = "closest");
    const std::vector<std::string> &candidates() const { return candidates_; }

  private:
    std::vector<std::string> candidates_;
};

// One table as shipped, for checks: its rows and which of them belong to no component.
struct TableSummary {
    std::string path;
    std::size_t rows = 0;
    std::vector<std::string> unlinked;  // names of rows no component claims (per-component tables only)
};

class Database {
  public:
    // The tables compiled into the library, parsed on first use (thread-safe).
    static const Database &shipped();
    // Tables given as (path, CSV text) pairs with the shipped layout; throws std::invalid_argument on a
    // malformed table, an unknown source key or a number that does not parse.
    explicit Database(const std::vector<std::pair<std::string, std::string>> &tables);

    const std::vector<Component> &components() const { return components_; }
    const Component &find(std::string_view name) const;
    // Components whose name, a synonym, CAS or formula contains `word` (case-insensitive): exact
    // matches first, then prefixes, then the rest, each group in registry order.
    std::vector<const Component *> search(std::string_view word) const;

    // Every parameter set of the component, family by family in the order of the constants above.
    std::vector<ParameterSet> parameters(const Component &component) const;
    // The sets of one family (first is the default).
    std::vector<ParameterSet> parameters(const Component &component, std::string_view family) const;
    // One set of a family: the named one, or the default; LookupError when there is none.
    ParameterSet parameter_set(const Component &component, std::string_view family, std::string_view set = {}) const;
    std::vector<BinaryParameter> binaries(const Component &component) const;
    // The PC-SAFT k_ij of two components, when published.
    std::optional<BinaryParameter> pcsaft_kij(const Component &a, const Component &b) const;

    const Source &source(std::string_view key) const;
    const std::vector<Source> &sources() const { return sources_; }
    std::vector<TableSummary> tables() const;

    // A polymer's repeat-unit molar mass (kg/kmol), derived from its formula with standard atomic
    // weights; none without a formula.
    static std::optional<double> repeat_unit_mw(const Component &polymer);

    struct Table;  // parsed CSV (database/tables.h)
    ~Database();
    Database(Database &&) noexcept;

  private:
    std::vector<Table> tables_;
    std::vector<Component> components_;
    std::vector<Source> sources_;
    std::vector<std::vector<std::pair<std::size_t, std::size_t>>> rows_;  // per component: (table, row)

    const Table &table(std::string_view path) const;
    ParameterSet make_set(std::string_view family, const Table &table, std::size_t row) const;
};

// Builders on the shipped database. `mn` is a polymer's number-average molar mass (kg/kmol), required
// for a polymer and refused for a molecule; `set` selects one of several parameter sets by row name.
PcSaftComponent pcsaft_component(std::string_view name, std::optional<double> mn = std::nullopt);
// Associating components with their sites; others from the non-associating or polymer tables.
PcSaftAssocComponent pcsaft_assoc_component(std::string_view name, std::string_view set = {},
                                            std::optional<double> mn = std::nullopt);
SaftComponent saft_component(std::string_view name);
SanchezLacombeComponent sanchez_lacombe_component(std::string_view name, std::optional<double> mn = std::nullopt,
                                                  std::string_view set = {});
CubicComponent cubic_component(std::string_view name);
// The published PC-SAFT k_ij among the named components, N x N row-major (0 where none is published).
std::vector<double> pcsaft_kij(const std::vector<std::string> &names);

// The ideal-gas heat capacity correlation of the database (ChemSep equation 16):
//     Cp/(J/(kmol K)) = A + exp(B/T + C + D T + E T^2)
// which keld::IdealGasHeatCapacity (a polynomial in T) cannot hold.
struct IdealGasCorrelation {
    double a = 0, b = 0, c = 0, d = 0, e = 0;  // J/(kmol K), K, -, 1/K, 1/K^2
    double t_min = 0, t_max = 0;               // K: the range the source gives
    // Cp in J/(kmol K); std::out_of_range outside [t_min, t_max].
    double cp(double t) const;
};
IdealGasCorrelation ideal_gas_correlation(std::string_view name);
// The correlations of the named components for keld::properties (PropertyRequest::ideal_gas).
IdealGasHeatCapacity ideal_gas_heat_capacity(const std::vector<std::string> &names);

}  // namespace keld::database
