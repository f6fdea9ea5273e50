// Components of a case file that name an entry of the shipped parameter database.
//
// The parser resolves each entry while it reads the components, then, once it knows which model
// families the case asks for, takes the entry's molecular weight and parameters into the case.
// Values the case gives itself always win over the database's.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "case_description.h"
#include "case_reader.h"

namespace keld::database {
struct Component;
}

namespace keld::refhost::detail {

struct DatabaseRequest {
    std::int64_t component = 0;  // 1-based number in the case
    const keld::database::Component *entry = nullptr;
    bool molecular_weight_given = false;
    JsonPath path;  // of the component's "database" key
    // Sets chosen by the case ("database_set"): database family -> data set (0: every one) -> the set's
    // row name.
    std::map<std::string, std::map<std::int64_t, std::string>, std::less<>> chosen_sets;
    JsonPath chosen_path;  // of "database_set"
};

// The entry a case component names (name, synonym, CAS or formula); a CaseError at `path` naming the
// component and the candidates when it is unknown or ambiguous.
const keld::database::Component &database_entry(const std::string &name, const std::string &component_id,
                                                 std::string_view origin, const JsonPath &path);

// The families whose sets "database_set" may choose, by the names keld db show prints.
bool is_database_family(std::string_view name);
std::string database_family_list();  // "\"pcsaft\", ..., \"cubic\""

// Checks the component's kind against the entry: a polymer entry fits a polymer, oligomer or segment,
// a molecule an ordinary component. `kind_given` false: the kind follows from the entry.
void fit_kind(const keld::database::Component &entry, ComponentSpec &component, bool kind_given,
              std::string_view origin, const JsonPath &path);

// Fills the requests' molecular weights (unless given), parameters for the (data set, family) pairs
// the case asks for and the published binary parameters among them, and records the sets used. `families` lists the case's families in the
// order they are first asked for.
void apply_database(const std::vector<DatabaseRequest> &requests,
                    const std::set<std::pair<std::int64_t, std::string>> &asked,
                    const std::vector<std::string> &families, CaseDescription &description,
                    std::string_view origin);

}  // namespace keld::refhost::detail
