// The database: tables linked to the component registry, lookup by name, parameter sets with units.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "tables.h"

namespace keld::database {

namespace {

constexpr std::string_view kRegistry = "components.csv", kSources = "sources.csv", kPcSaftKij = "pcsaft/kij.csv";

// Each family's tables, in the order a component's sets are listed.
const std::vector<std::pair<std::string_view, std::string_view>> &family_tables() {
    static const std::vector<std::pair<std::string_view, std::string_view>> tables{
        {kPcSaft, "pcsaft/solvents.csv"},       {kPcSaft, "pcsaft/polymers.csv"},
        {kPcSaftAssoc, "pcsaft/associating.csv"}, {kSaft, "saft-hr/components.csv"},
        {kSanchezLacombe, "sanchez-lacombe/components.csv"}, {kCubic, "cubic/critical.csv"},
        {kIdealGas, "ideal-gas/cp.csv"},        {kUniquac, "unifac/uniquac_rq.csv"},
        {kUnifac, "unifac/components.csv"},
    };
    return tables;
}

// Columns that describe a row rather than hold a parameter; the range columns make up `validity`.
bool descriptive(std::string_view column) {
    static const std::set<std::string_view> names{"name", "component", "cas", "description", "kind", "source_key",
                                                  "mw_source_key", "note", "original_ref", "subgroup_id",
                                                  "T_min_K", "T_max_K", "P_max_MPa"};
    return names.count(column) != 0;
}

// A column name's unit suffix -> (parameter name, unit label). Longer suffixes first.
std::pair<std::string, std::string> split_unit(const std::string &column) {
    static const std::vector<std::pair<std::string_view, std::string_view>> suffixes{
        {"_J_per_kmol_K", "J/(kmol K)"}, {"_kg_per_kmol", "kg/kmol"}, {"_cm3_per_mol", "cm3/mol"},
        {"_kg_per_m3", "kg/m3"},         {"_m3_per_kg", "m3/kg"},     {"_mol_per_g", "mol/g"},
        {"_angstrom", "Angstrom"},       {"_per_K2", "1/K2"},         {"_per_K", "1/K"},
        {"_MPa", "MPa"},                 {"_Pa", "Pa"},               {"_K", "K"},
    };
    for (const auto &[suffix, unit] : suffixes) {
        if (column.size() > suffix.size() && column.compare(column.size() - suffix.size(), suffix.size(), suffix) == 0)
            return {column.substr(0, column.size() - suffix.size()), std::string(unit)};
    }
    return {column, "-"};
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::size_t edit_distance(const std::string &a, const std::string &b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Every key a component is found by (lower case): name, synonyms, CAS, formula.
std::vector<std::string> keys_of(const Component &c) {
    std::vector<std::string> keys{lower(c.name)};
    for (const auto &s : c.synonyms) keys.push_back(lower(s));
    if (!c.cas.empty()) keys.push_back(c.cas);
    if (!c.formula.empty()) keys.push_back(lower(c.formula));
    return keys;
}

std::string row_name(const Database::Table &t, std::size_t row) {
    const std::string &name = t.cell(row, "name");
    return name.empty() ? t.cell(row, "component") : name;
}

}  // namespace

LookupError::LookupError(const std::string &message, std::vector<std::string> candidates, std::string_view label)
    : std::invalid_argument([&] {
          if (candidates.empty()) return message;
          std::string text = message + "; " + std::string(label) + ": ";
          for (std::size_t k = 0; k < candidates.size(); ++k) text += (k ? ", " : "") + candidates[k];
          return text;
      }()),
      candidates_(std::move(candidates)) {}

const Parameter *ParameterSet::find(std::string_view name) const {
    for (const auto &p : parameters) {
        if (p.name == name) return &p;
    }
    return nullptr;
}

double ParameterSet::value(std::string_view name) const {
    const Parameter *p = find(name);
    if (p == nullptr || std::isnan(p->value)) {
        throw std::invalid_argument(table + " gives no " + std::string(name) + " for " + set);
    }
    return p->value;
}

Database::~Database() = default;
Database::Database(Database &&) noexcept = default;

const Database &Database::shipped() {
    static const Database database(detail::shipped_tables());
    return database;
}

Database::Database(const std::vector<std::pair<std::string, std::string>> &tables) {
    for (const auto &[path, text] : tables) tables_.push_back(parse_csv(path, text));
    const Table &sources = table(kSources);
    for (std::size_t r = 0; r < sources.rows.size(); ++r) {
        sources_.push_back({sources.cell(r, "key"), sources.cell(r, "citation"), sources.cell(r, "doi"),
                            sources.cell(r, "taken_from")});
    }
    const Table &registry = table(kRegistry);
    std::map<std::string, std::size_t> by_cas;
    std::map<std::string, std::vector<std::size_t>> by_row_name;
    for (std::size_t r = 0; r < registry.rows.size(); ++r) {
        Component c{registry.cell(r, "name"), registry.cell(r, "kind"), registry.cell(r, "cas"),
                    registry.cell(r, "formula"), split(registry.cell(r, "synonyms"), ';')};
        if (c.name.empty() || (c.kind != "molecule" && c.kind != "polymer"))
            throw std::invalid_argument(std::string(kRegistry) + ": row " + std::to_string(r + 1) + " lacks a name or kind");
        if (!c.cas.empty() && !by_cas.emplace(c.cas, components_.size()).second)
            throw std::invalid_argument(std::string(kRegistry) + ": CAS " + c.cas + " given twice");
        for (const auto &row : split(registry.cell(r, "table_rows"), ';')) by_row_name[row].push_back(components_.size());
        components_.push_back(std::move(c));
    }
    // Names and synonyms identify one component each.
    std::map<std::string, std::string> owner;
    for (const auto &c : components_) {
        std::vector<std::string> names{lower(c.name)};
        for (const auto &s : c.synonyms) names.push_back(lower(s));
        for (const auto &n : names) {
            const auto [at, fresh] = owner.emplace(n, c.name);
            if (!fresh && at->second != c.name)
                throw std::invalid_argument("the name '" + n + "' belongs to " + at->second + " and " + c.name);
        }
    }
    rows_.assign(components_.size(), {});
    for (std::size_t t = 0; t < tables_.size(); ++t) {
        const Table &tab = tables_[t];
        // Every source key resolves and every parameter cell is a number (or a scheme name).
        for (std::size_t r = 0; r < tab.rows.size(); ++r) {
            for (const char *key : {"source_key", "mw_source_key"}) {
                const std::string &k = tab.cell(r, key);
                if (!k.empty()) source(k);
            }
            for (std::size_t col = 0; col < tab.header.size(); ++col) {
                const std::string &h = tab.header[col], &cell = tab.rows[r][col];
                double v;
                const bool numeric_column = split_unit(h).second != "-" || h == "m" || h == "kappaAB" || h == "omega" ||
                                            h == "R" || h == "Q" || h == "r" || h == "q" || h == "count" || h == "kij";
                if (numeric_column && !descriptive(h) && !cell.empty() && !parse_number(cell, v))
                    throw std::invalid_argument(tab.path + ": '" + cell + "' in column " + h + " is not a number");
            }
        }
        const bool per_component = std::any_of(family_tables().begin(), family_tables().end(),
                                                [&](const auto &f) { return f.second == tab.path; });
        if (!per_component) continue;
        for (std::size_t r = 0; r < tab.rows.size(); ++r) {
            const std::string &cas = tab.cell(r, "cas");
            if (!cas.empty()) {
                const auto found = by_cas.find(cas);
                if (found != by_cas.end()) rows_[found->second].emplace_back(t, r);
                continue;
            }
            const auto found = by_row_name.find(row_name(tab, r));
            if (found == by_row_name.end()) continue;
            for (std::size_t c : found->second) rows_[c].emplace_back(t, r);
        }
    }
}

const Database::Table &Database::table(std::string_view path) const {
    for (const auto &t : tables_) {
        if (t.path == path) return t;
    }
    throw std::invalid_argument("the database has no table " + std::string(path));
}

const Source &Database::source(std::string_view key) const {
    for (const auto &s : sources_) {
        if (s.key == key) return s;
    }
    throw std::invalid_argument("the source key " + std::string(key) + " is not in " + std::string(kSources));
}

const Component &Database::find(std::string_view name) const {
    const std::string key = lower(trimmed(name));
    if (key.empty()) throw LookupError("no component name given", {});
    std::vector<const Component *> by_name, by_formula;
    for (const auto &c : components_) {
        const auto keys = keys_of(c);
        const bool formula = !c.formula.empty() && key == lower(c.formula);
        if (formula) by_formula.push_back(&c);
        if (std::find(keys.begin(), keys.end(), key) != keys.end() && !formula) by_name.push_back(&c);
    }
    if (by_name.size() == 1) return *by_name.front();
    if (by_name.empty() && by_formula.size() == 1) return *by_formula.front();
    if (by_formula.size() > 1) {
        std::vector<std::string> names;
        for (const auto *c : by_formula) names.push_back(c->name);
        throw LookupError("'" + std::string(name) + "' is the formula of " + std::to_string(names.size()) +
                              " components: name one",
                          names, "they are");
    }
    // Unknown: the components with the nearest key, substring matches first.
    std::vector<std::pair<std::size_t, const Component *>> ranked;
    for (const auto &c : components_) {
        std::size_t best = std::numeric_limits<std::size_t>::max();
        for (const auto &k : keys_of(c)) {
            const bool contains = k.find(key) != std::string::npos || (key.size() >= 3 && key.find(k) != std::string::npos && k.size() >= 3);
            best = std::min(best, contains ? 0 : edit_distance(key, k));
        }
        ranked.emplace_back(best, &c);
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    // The nearest, and the others not much farther.
    std::vector<std::string> names;
    for (std::size_t k = 0; k < ranked.size() && names.size() < 6 && ranked[k].first <= ranked[0].first + 2; ++k)
        names.push_back(ranked[k].second->name);
    throw LookupError("no component '" + std::string(name) + "' in the database", names);
}

std::vector<const Component *> Database::search(std::string_view word) const {
    const std::string key = lower(trimmed(word));
    std::vector<const Component *> exact, prefix, rest;
    if (key.empty()) return {};
    for (const auto &c : components_) {
        int rank = 3;
        for (const auto &k : keys_of(c)) {
            if (k == key) rank = std::min(rank, 0);
            else if (k.rfind(key, 0) == 0) rank = std::min(rank, 1);
            else if (k.find(key) != std::string::npos) rank = std::min(rank, 2);
        }
        if (rank == 0) exact.push_back(&c);
        if (rank == 1) prefix.push_back(&c);
        if (rank == 2) rest.push_back(&c);
    }
    exact.insert(exact.end(), prefix.begin(), prefix.end());
    exact.insert(exact.end(), rest.begin(), rest.end());
    return exact;
}

ParameterSet Database::make_set(std::string_view family, const Table &t, std::size_t row) const {
    ParameterSet s;
    s.family = family;
    s.table = t.path;
    s.set = row_name(t, row);
    for (std::size_t col = 0; col < t.header.size(); ++col) {
        const std::string &h = t.header[col], &cell = t.rows[row][col];
        if (descriptive(h) || cell.empty()) continue;
        auto [name, unit] = split_unit(h);
        double v = std::numeric_limits<double>::quiet_NaN();
        if (!parse_number(cell, v)) unit.clear();  // a text value (an association scheme)
        s.parameters.push_back({name, cell, v, unit});
    }
    s.source = source(t.cell(row, "source_key"));
    const std::string &t_min = t.cell(row, "T_min_K"), &t_max = t.cell(row, "T_max_K"), &p_max = t.cell(row, "P_max_MPa");
    if (!t_min.empty() || !t_max.empty()) s.validity = "T " + t_min + "-" + t_max + " K";
    double v;
    if (parse_number(t_min, v)) s.t_min = v;
    if (parse_number(t_max, v)) s.t_max = v;
    if (parse_number(p_max, v)) s.p_max = v * 1e6;
    if (!p_max.empty()) s.validity += (s.validity.empty() ? "" : ", ") + std::string("P up to ") + p_max + " MPa";
    s.note = t.cell(row, "note");
    const std::string &mw_source = t.cell(row, "mw_source_key");
    if (!mw_source.empty()) s.note += (s.note.empty() ? "" : "; ") + std::string("molar mass: ") + source(mw_source).citation;
    const std::string &reference = t.cell(row, "original_ref");
    if (!reference.empty()) s.note += (s.note.empty() ? "" : "; ") + std::string("reference ") + reference + " of the source";
    return s;
}

std::vector<ParameterSet> Database::parameters(const Component &component, std::string_view family) const {
    const std::size_t index = static_cast<std::size_t>(&component - components_.data());
    if (index >= components_.size()) throw std::invalid_argument("the component is not one of this database's");
    std::vector<ParameterSet> sets;
    for (const auto &[table_index, row] : rows_[index]) {
        const Table &t = tables_[table_index];
        for (const auto &[f, path] : family_tables()) {
            if (f != family || path != t.path) continue;
            if (f != kUnifac) {
                sets.push_back(make_set(f, t, row));
                continue;
            }
            // Group counts: one row per subgroup, gathered into one set.
            if (sets.empty()) {
                sets.push_back(make_set(f, t, row));
                sets.back().parameters.clear();
                sets.back().note.clear();
            }
            sets.back().parameters.push_back({t.cell(row, "subgroup"), t.cell(row, "count"), 0.0, "-"});
            parse_number(t.cell(row, "count"), sets.back().parameters.back().value);
            const std::string &key = t.cell(row, "source_key");
            if (key != sets.back().source.key && sets.back().note.find(key) == std::string::npos)
                sets.back().note += (sets.back().note.empty() ? "" : "; ") + ("counts also from " + source(key).citation);
            const std::string &note = t.cell(row, "note");
            if (!note.empty() && sets.back().note.find(note) == std::string::npos)
                sets.back().note += (sets.back().note.empty() ? "" : "; ") + note;
        }
    }
    return sets;
}

std::vector<ParameterSet> Database::parameters(const Component &component) const {
    std::vector<ParameterSet> all;
    for (std::string_view family : {kPcSaft, kPcSaftAssoc, kSaft, kSanchezLacombe, kCubic, kIdealGas, kUniquac, kUnifac}) {
        auto sets = parameters(component, family);
        all.insert(all.end(), sets.begin(), sets.end());
    }
    return all;
}

ParameterSet Database::parameter_set(const Component &component, std::string_view family, std::string_view set) const {
    const auto sets = parameters(component, family);
    std::vector<std::string> names;
    for (const auto &s : sets) {
        if (set.empty() || lower(s.set) == lower(set)) return s;
        names.push_back(s.set);
    }
    if (!sets.empty())
        throw LookupError(component.name + " has no " + std::string(family) + " set '" + std::string(set) + "'", names,
                          "its sets");
    std::vector<std::string> families;
    for (const auto &s : parameters(component)) {
        if (std::find(families.begin(), families.end(), s.family) == families.end()) families.push_back(s.family);
    }
    throw LookupError("the database has no " + std::string(family) + " parameters for " + component.name, families,
                      "it has parameters of");
}

std::vector<BinaryParameter> Database::binaries(const Component &component) const {
    std::vector<BinaryParameter> out;
    const Table &t = table(kPcSaftKij);
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        for (const auto &[mine, other] : {std::pair{"cas1", "cas2"}, std::pair{"cas2", "cas1"}}) {
            if (component.cas.empty() || t.cell(r, mine) != component.cas) continue;
            BinaryParameter b{std::string(kPcSaft), t.cell(r, other), "kij", 0.0, source(t.cell(r, "source_key")),
                              t.cell(r, "note")};
            for (const auto &c : components_) {
                if (c.cas == t.cell(r, other)) b.other = c.name;
            }
            parse_number(t.cell(r, "kij"), b.value);
            out.push_back(std::move(b));
        }
    }
    return out;
}

std::optional<BinaryParameter> Database::pcsaft_kij(const Component &a, const Component &b) const {
    for (auto &binary : binaries(a)) {
        if (binary.other == b.name) return binary;
    }
    return std::nullopt;
}

std::vector<TableSummary> Database::tables() const {
    std::vector<TableSummary> out;
    for (std::size_t t = 0; t < tables_.size(); ++t) {
        TableSummary s{tables_[t].path, tables_[t].rows.size(), {}};
        const bool per_component = std::any_of(family_tables().begin(), family_tables().end(),
                                                [&](const auto &f) { return f.second == tables_[t].path; });
        if (per_component) {
            std::vector<bool> linked(tables_[t].rows.size(), false);
            for (const auto &rows : rows_) {
                for (const auto &[table_index, row] : rows) {
                    if (table_index == t) linked[row] = true;
                }
            }
            for (std::size_t r = 0; r < linked.size(); ++r) {
                if (!linked[r]) s.unlinked.push_back(row_name(tables_[t], r));
            }
        }
        out.push_back(std::move(s));
    }
    return out;
}

std::optional<double> Database::repeat_unit_mw(const Component &polymer) {
    // Standard atomic weights (IUPAC, conventional values), g/mol.
    static const std::map<std::string, double> weights{{"C", 12.011}, {"H", 1.008},   {"O", 15.999},
                                                       {"N", 14.007}, {"S", 32.06},   {"Cl", 35.45},
                                                       {"F", 18.998}, {"Si", 28.085}, {"Br", 79.904}};
    std::string f = polymer.formula;
    if (f.size() < 4 || f.front() != '(' || f.compare(f.size() - 2, 2, ")n") != 0) return std::nullopt;
    f = f.substr(1, f.size() - 3);
    double mw = 0.0;
    for (std::size_t k = 0; k < f.size();) {
        if (!std::isupper(static_cast<unsigned char>(f[k]))) return std::nullopt;
        std::string element(1, f[k++]);
        if (k < f.size() && std::islower(static_cast<unsigned char>(f[k]))) element += f[k++];
        std::size_t count = 0, digits = 0;
        while (k < f.size() && std::isdigit(static_cast<unsigned char>(f[k]))) {
            count = count * 10 + static_cast<std::size_t>(f[k++] - '0');
            ++digits;
        }
        const auto w = weights.find(element);
        if (w == weights.end()) return std::nullopt;
        mw += w->second * static_cast<double>(digits ? count : 1);
    }
    // The weights are given to 0.001 g/mol, so is their sum: rounding drops the sum's binary noise
    // (C8H8 gives 104.152, not 104.15199999999999, the value a user types).
    return std::round(mw * 1000.0) / 1000.0;
}

}  // namespace keld::database
