// Database components of a case file: their entry, molecular weight and parameters.
#include "case_database.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "case_parameters.h"
#include "keld/database.hpp"

namespace keld::refhost::detail {

namespace db = keld::database;

namespace {

std::string quote(std::string_view s) {
    std::string out(1, '"');
    out.append(s);
    out.push_back('"');
    return out;
}

// A case family reads the parameters of one database family.
std::string_view database_family(std::string_view case_family) {
    if (case_family == "pcsaft" || case_family == "pcsaft-segment") return db::kPcSaft;
    if (case_family == "pcsaft-assoc") return db::kPcSaftAssoc;
    if (case_family == "saft" || case_family == "saft-stored" || case_family == "saft-segment") return db::kSaft;
    if (case_family == "sanchez-lacombe" || case_family == "sanchez-lacombe-segment") return db::kSanchezLacombe;
    if (case_family == "cubic") return db::kCubic;
    return {};
}

// Store name <- database column. A polymer (or its segment) takes per-mass values where a molecule
// takes per-molecule ones.
struct Mapping {
    std::string_view store, column;
    enum Applies { any, molecule, polymer } applies = any;
};
constexpr Mapping pcsaft_map[] = {{"PCSFTM", "m", Mapping::molecule},
                                  {"PCSFTR", "m_per_mw", Mapping::polymer},
                                  {"PCSFTV", "sigma"},
                                  {"PCSFTU", "eps_k"}};
constexpr Mapping association_map[] = {{"PCSATY", "scheme"}, {"PCSAEP", "epsAB_k"}, {"PCSAKP", "kappaAB"}};
constexpr Mapping saft_map[] = {{"SAFTM", "m"}, {"SAFTV", "v00"}, {"SAFTU", "u0_k"}, {"SAFTE", "e_k"}};
constexpr Mapping sanchez_lacombe_map[] = {{"SLTSTR", "T_star"}, {"SLPSTR", "P_star"}, {"SLRSTR", "rho_star"}};
constexpr Mapping cubic_map[] = {{"TCRKS", "Tc"}, {"PCRKS", "Pc"}, {"OMGRKS", "omega"}};

// The database's unit labels as case files spell them.
std::string_view case_unit(std::string_view unit) {
    if (unit == "Angstrom") return "A";
    if (unit == "-") return "";
    return unit;
}

class Filler {
  public:
    Filler(CaseDescription &description, std::string_view origin) : d_(description), origin_(origin) {}

    // The set a case family takes for the entry; none when the database has none. `refuse`: a set the
    // family would misread (association it cannot represent) is an error, else none.
    // `data_set` 0: for the molecular weight, which every data set shares.
    std::optional<db::ParameterSet> set_for(const DatabaseRequest &r, std::string_view case_family,
                                            std::int64_t data_set, bool refuse = true) const {
        const db::Component &entry = *r.entry;
        const JsonPath &path = r.path;
        const db::Database &base = db::Database::shipped();
        const std::string_view family = database_family(case_family);
        if (family.empty()) return std::nullopt;
        if (family == db::kPcSaftAssoc) {
            if (auto sets = base.parameters(entry, db::kPcSaftAssoc); !sets.empty())
                return chosen(r, family, data_set, sets);
            return set_for(r, "pcsaft", data_set, refuse);
        }
        auto sets = base.parameters(entry, family);
        if (family == db::kPcSaft && sets.empty() && !base.parameters(entry, db::kPcSaftAssoc).empty()) {
            if (!refuse) return std::nullopt;
            fail(origin_, path,
                 entry.name + " associates: its PC-SAFT parameters hold association sites, which " +
                     std::string(case_family) + " would drop; use the associating family (pcsaft-assoc)");
        }
        if (family == db::kSaft && !sets.empty() && sets.front().find("epsAB_k") != nullptr) {
            if (!refuse) return std::nullopt;
            fail(origin_, path,
                 entry.name + " associates in the SAFT table (scheme " + sets.front().find("scheme")->text +
                     "); " + std::string(case_family) + " without association would misrepresent it");
        }
        if (sets.empty()) return std::nullopt;
        return chosen(r, family, data_set, sets);
    }

    // The set the case chose for the family, else the default (first).
    db::ParameterSet chosen(const DatabaseRequest &r, std::string_view family, std::int64_t data_set,
                            const std::vector<db::ParameterSet> &sets) const {
        const auto choices = r.chosen_sets.find(family);
        if (choices == r.chosen_sets.end()) return sets.front();
        auto choice = choices->second.find(data_set);
        if (choice == choices->second.end()) choice = choices->second.find(0);
        if (choice == choices->second.end()) return sets.front();
        std::string list;
        for (const db::ParameterSet &set : sets) {
            if (set.set == choice->second) return set;
            list += (list.empty() ? "" : ", ") + quote(set.set);
        }
        JsonPath path = r.chosen_path.key(choices->first);
        if (choice->first != 0) path = path.key(std::to_string(choice->first));
        fail(origin_, path,
             r.entry->name + " has no " + choices->first + " set " + quote(choice->second) + "; its sets: " + list);
    }

    double molecular_weight(const DatabaseRequest &r, const std::vector<std::string> &families) const {
        if (r.entry->polymer()) {
            const auto mw = db::Database::repeat_unit_mw(*r.entry);
            if (!mw) fail(origin_, r.path, r.entry->name + " has no repeat-unit formula: give \"MW / (kg/kmol)\"");
            return *mw;
        }
        std::vector<std::string> order = families;
        for (std::string_view f : {"pcsaft", "pcsaft-assoc", "saft", "sanchez-lacombe", "cubic"})
            order.emplace_back(f);
        for (const std::string &family : order) {
            const auto set = set_for(r, family, 0, false);
            if (!set) continue;
            if (const db::Parameter *mw = set->find("mw"); mw != nullptr && std::isfinite(mw->value)) return mw->value;
        }
        fail(origin_, r.path, "the database gives no molecular weight for " + r.entry->name +
                                  ": give \"MW / (kg/kmol)\"");
    }

    void add(const DatabaseRequest &r, std::int64_t data_set, const std::string &case_family, DatabaseUse &use) {
        const auto set = set_for(r, case_family, data_set);
        if (!set) {
            if (!all_given(r.component, data_set, case_family))
                fail(origin_, r.path,
                     "the database has no " + std::string(database_family(case_family)) + " parameters for " +
                         r.entry->name + "; give the component's " + case_family + " parameters in data set " +
                         std::to_string(data_set));
            return;
        }
        bool took = false;
        if (set->family == db::kPcSaft || set->family == db::kPcSaftAssoc) took = add_mapped(r, data_set, *set, pcsaft_map);
        if (set->family == db::kPcSaftAssoc) took = add_mapped(r, data_set, *set, association_map) || took;
        if (set->family == db::kSaft) took = add_mapped(r, data_set, *set, saft_map);
        if (set->family == db::kSanchezLacombe) took = add_mapped(r, data_set, *set, sanchez_lacombe_map);
        if (set->family == db::kCubic) took = add_mapped(r, data_set, *set, cubic_map);
        if (!took) return;
        for (const auto &s : use.sets)
            if (s.data_set == data_set && s.family == case_family) return;
        use.sets.push_back({case_family, data_set, set->set, set->table, set->source.key});
    }

    // The published PC-SAFT k_ij of two database components, into a family that reads PCSKIJ, unless the
    // case gives the pair in either order.
    void add_binary(const DatabaseRequest &a, const DatabaseRequest &b, std::int64_t data_set,
                    const std::string &case_family, DatabaseUse &use) {
        const std::string_view family = database_family(case_family);
        if (family != db::kPcSaft && family != db::kPcSaftAssoc) return;
        if (case_family == "pcsaft-segment") return;  // its pairs are segments and solvents, not molecules
        const auto kij = db::Database::shipped().pcsaft_kij(*a.entry, *b.entry);
        if (!kij) return;
        if (given_pair("PCSKIJ", data_set, a.component, b.component)) return;
        std::array<double, 6> value{};
        value[0] = kij->value;
        for (const auto &[i, j] : {std::pair{a.component, b.component}, std::pair{b.component, a.component}})
            d_.parameters.push_back({"PCSKIJ", ParameterShape::binary_table, data_set, i, j, value});
        const std::string &other = d_.components[static_cast<std::size_t>(b.component - 1)].id;
        use.binaries.push_back({case_family, data_set, other, "PCSKIJ", kij->value, kij->source.key});
    }

  private:
    CaseDescription &d_;
    std::string_view origin_;

    bool given_pair(std::string_view name, std::int64_t data_set, std::int64_t i, std::int64_t j) const {
        return std::any_of(d_.parameters.begin(), d_.parameters.end(), [&](const ParameterValue &p) {
            return p.name == name && p.data_set == data_set &&
                   ((p.i == i && p.j == j) || (p.i == j && p.j == i));
        });
    }

    bool given(std::string_view name, std::int64_t data_set, std::int64_t i) const {
        return std::any_of(d_.parameters.begin(), d_.parameters.end(), [&](const ParameterValue &p) {
            return p.name == name && p.data_set == data_set && p.i == i && p.j == 0;
        });
    }

    bool all_given(std::int64_t i, std::int64_t data_set, const std::string &case_family) const {
        for (const ModelEntry &model : models()) {
            if (model.name != case_family) continue;
            for (std::string_view name : model.parameters) {
                const ParameterSpec *spec = find_parameter_spec(name);
                if (spec == nullptr || spec->shape != ParameterShape::unary || !spec->positive) continue;
                if (name == "PCSFTM" || name == "PCSFTR" || name == "SAFTR") continue;  // one of the two applies
                if (!given(name, data_set, i)) return false;
            }
        }
        return true;
    }

    // A scheme in Huang and Radosz notation as the store's site type.
    double site_type(const db::Parameter &p, const JsonPath &path) const {
        static const std::pair<std::string_view, int> schemes[] = {{"1A", 1}, {"2B", 2}, {"3B", 3}, {"4C", 4}};
        for (const auto &[name, type] : schemes)
            if (p.text == name) return type;
        fail(origin_, path, "the database's association scheme " + quote(p.text) + " has no site type here");
    }

    double store_value(const db::Parameter &p, const ParameterSpec &spec, const JsonPath &path) const {
        if (spec.name == "PCSATY") return site_type(p, path);
        const std::string_view unit = case_unit(p.unit);
        if (spec.dimension == Dimension::none) {
            if (!unit.empty()) fail(origin_, path, "database unit " + quote(p.unit) + " for " + std::string(spec.name));
            return p.value;
        }
        for (const UnitFactor &u : units_of(spec.dimension))
            if (u.unit == unit) return p.value * u.factor;
        fail(origin_, path, "database unit " + quote(p.unit) + " for " + std::string(spec.name));
    }

    template <std::size_t N>
    bool add_mapped(const DatabaseRequest &r, std::int64_t data_set, const db::ParameterSet &set,
                    const Mapping (&map)[N]) {
        const ComponentSpec &c = d_.components[static_cast<std::size_t>(r.component - 1)];
        const bool per_mass = c.kind != ComponentKind::ordinary;
        bool took = false;
        for (const Mapping &m : map) {
            if ((m.applies == Mapping::molecule && per_mass) || (m.applies == Mapping::polymer && !per_mass)) continue;
            const db::Parameter *p = set.find(m.column);
            if (p == nullptr) continue;
            if (given(m.store, data_set, r.component)) continue;  // the case's own value wins
            took = true;
            const ParameterSpec *spec = find_parameter_spec(m.store);
            ParameterValue v{std::string(m.store), ParameterShape::unary, data_set, r.component, 0, {}};
            v.coefficients[0] = store_value(*p, *spec, r.path);
            d_.parameters.push_back(std::move(v));
        }
        return took;
    }
};

}  // namespace

const db::Component &database_entry(const std::string &name, const std::string &component_id,
                                    std::string_view origin, const JsonPath &path) {
    try {
        return db::Database::shipped().find(name);
    } catch (const db::LookupError &e) {
        fail(origin, path, "component " + quote(component_id) + ": " + e.what());
    }
}

void fit_kind(const db::Component &entry, ComponentSpec &component, bool kind_given, std::string_view origin,
              const JsonPath &path) {
    if (!kind_given) {
        component.kind = entry.polymer() ? ComponentKind::polymer : ComponentKind::ordinary;
        return;
    }
    const bool per_mass = component.kind != ComponentKind::ordinary;
    if (per_mass != entry.polymer()) {
        fail(origin, path,
             "component " + quote(component.id) + ": " + entry.name + " is " +
                 (entry.polymer() ? "a polymer in the database: use kind \"polymer\", \"oligomer\" or \"segment\""
                                  : "a molecule in the database: use kind \"ordinary\""));
    }
}

bool is_database_family(std::string_view name) {
    for (std::string_view f : {db::kPcSaft, db::kPcSaftAssoc, db::kSaft, db::kSanchezLacombe, db::kCubic})
        if (name == f) return true;
    return false;
}

std::string database_family_list() {
    std::string list;
    for (std::string_view f : {db::kPcSaft, db::kPcSaftAssoc, db::kSaft, db::kSanchezLacombe, db::kCubic})
        list += (list.empty() ? "" : ", ") + quote(f);
    return list;
}

void apply_database(const std::vector<DatabaseRequest> &requests,
                    const std::set<std::pair<std::int64_t, std::string>> &asked,
                    const std::vector<std::string> &families, CaseDescription &description,
                    std::string_view origin) {
    // A chosen set belongs to a family the case evaluates; elsewhere it would silently do nothing.
    for (const DatabaseRequest &r : requests) {
        for (const auto &chosen : r.chosen_sets) {
            const std::string &family = chosen.first;  // a name, not a structured binding: lambdas capture it
            const auto &sets = chosen.second;
            const bool evaluated = std::any_of(asked.begin(), asked.end(),
                                               [&](const auto &a) { return database_family(a.second) == family; });
            if (!evaluated)
                fail(origin, r.chosen_path.key(family),
                     "the case evaluates no model that reads " + family + " parameters");
            for (const auto &[data_set, name] : sets)
                if (data_set > description.data_sets)
                    fail(origin, r.chosen_path.key(family).key(std::to_string(data_set)),
                         "no data set " + std::to_string(data_set) + " (the case has " +
                             std::to_string(description.data_sets) + ")");
        }
    }
    Filler filler(description, origin);
    for (std::size_t k = 0; k < requests.size(); ++k) {
        const DatabaseRequest &r = requests[k];
        ComponentSpec &c = description.components[static_cast<std::size_t>(r.component - 1)];
        if (!r.molecular_weight_given) c.molecular_weight = filler.molecular_weight(r, families);
        DatabaseUse use{c.id, r.entry->name, {}, {}};
        for (const auto &[data_set, family] : asked) {
            filler.add(r, data_set, family, use);
            for (std::size_t l = k + 1; l < requests.size(); ++l) filler.add_binary(r, requests[l], data_set, family, use);
        }
        description.database_uses.push_back(std::move(use));
    }
}

}  // namespace keld::refhost::detail
