// The reference host's services for the cubic equation of state: HostEosLog,
// the Mathias-Copeman record, HostAlphaFunction (the library's Soave and
// Mathias-Copeman forms, cubic/alpha_function.h) and the UNIFAC group table.
#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "cubic/alpha_function.h"
#include "keld/refhost.h"
#include "shipped_unifac.h"

namespace keld::refhost {

namespace detail {
extern const char unifac_original_json[];

namespace {
struct ShippedNames {
    std::vector<std::string> subgroups, main_groups;
    ShippedNames() {
        const nlohmann::json table = nlohmann::json::parse(unifac_original_json);
        for (const auto &s : table.at("subgroups")) {
            subgroups.push_back(s.at("name").get<std::string>());
            const std::string main = s.at("main_group").get<std::string>();
            if (std::find(main_groups.begin(), main_groups.end(), main) == main_groups.end()) main_groups.push_back(main);
        }
    }
};
const ShippedNames &shipped() {
    static const ShippedNames names;
    return names;
}
}  // namespace

const std::vector<std::string> &shipped_unifac_subgroups() { return shipped().subgroups; }
const std::vector<std::string> &shipped_unifac_main_groups() { return shipped().main_groups; }
}  // namespace detail

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

std::string upper(std::string_view s) {
    std::string u(s);
    for (char &c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

}  // namespace

std::int64_t ReferenceHost::cubic_work_words(std::int64_t nc, std::int64_t ns) {
    return 34 * nc + 6 * nc * nc + ns * (4 * nc + 16) + 3 * ns * ns + 8;
}

std::int64_t ReferenceHost::eos_log(std::int64_t element) const {
    if (element < 1 || element > static_cast<std::int64_t>(eos_log_words))
        throw std::out_of_range("HostEosLog element out of range");
    return eos_log_[static_cast<std::size_t>(element - 1)];
}

void ReferenceHost::set_record(std::string_view name, std::int64_t component, std::span<const double> words,
                               std::int64_t data_set) {
    const ParameterArray &a = array_named(name);
    if (a.definition.shape != ParameterShape::record3)
        throw std::invalid_argument("parameter '" + a.definition.name + "' is not a three-word record");
    if (words.size() > 3) throw std::invalid_argument("a record has three words");
    check_component(component);
    check_data_set(data_set);
    for (std::size_t w = 0; w < 3; ++w)
        store_at(a.offset + 3 * ((data_set - 1) * nc_ + component - 1) + static_cast<std::int64_t>(w) + 1) =
            w < words.size() ? words[w] : missing_value;
}

double ReferenceHost::record(std::string_view name, std::int64_t component, std::int64_t word,
                             std::int64_t data_set) const {
    const ParameterArray &a = array_named(name);
    if (a.definition.shape != ParameterShape::record3)
        throw std::invalid_argument("parameter '" + a.definition.name + "' is not a three-word record");
    if (word < 1 || word > 3) throw std::out_of_range("record word out of range");
    check_component(component);
    check_data_set(data_set);
    return store_[static_cast<std::size_t>(a.offset + 3 * ((data_set - 1) * nc_ + component - 1) + word - 1)];
}

void ReferenceHost::alpha_function(std::int64_t option, std::int64_t data_set, std::int64_t n,
                                   const std::int64_t *idx, double t, const double *tc, const double *omega,
                                   double *alpha, double *dalpha, double *d2alpha) const {
    if (!idx || !tc || !omega || !alpha || !dalpha || !d2alpha || n < 1) return;
    const std::int64_t record_offset = offsets1_[515];  // RKSMC, HostOffsets1(516)
    for (std::int64_t k = 0; k < n; ++k) {
        alpha[k] = dalpha[k] = d2alpha[k] = not_a_number;
        const std::int64_t i = idx[k];
        if (!valid_component(i) || data_set < 1 || data_set > data_sets_ || !(tc[k] > 0.0) || !(t > 0.0)) continue;
        double c1 = missing_value, c2 = 0.0, c3 = 0.0;
        if (option == 2 && record_offset > 0) {
            const std::int64_t at = record_offset + 3 * ((data_set - 1) * nc_ + i - 1);
            c1 = stored(at + 1);
            c2 = stored(at + 2) == missing_value ? 0.0 : stored(at + 2);
            c3 = stored(at + 3) == missing_value ? 0.0 : stored(at + 3);
        }
        cubic::AlphaConstants constants;
        if (c1 != missing_value)
            constants = cubic::mathias_copeman_constants(c1, c2, c3, t > tc[k]);
        else if (omega[k] != missing_value && std::isfinite(omega[k]))
            constants = cubic::soave_constants(omega[k]);
        else
            continue;
        cubic::alpha_with_derivatives(t, tc[k], constants, alpha[k], dalpha[k], d2alpha[k]);
    }
}

// ---------------------------------------------------------------- UNIFAC

void ReferenceHost::load_shipped_unifac_table() {
    const nlohmann::json table = nlohmann::json::parse(detail::unifac_original_json);
    for (const auto &s : table.at("subgroups")) {
        const std::string main = upper(s.at("main_group").get<std::string>());
        if (main_group_index(main) < 0) main_groups_.push_back(main);
        subgroups_.push_back({upper(s.at("name").get<std::string>()), s.at("number").get<std::int64_t>(),
                              main_group_index(main), s.at("R").get<double>(), s.at("Q").get<double>()});
    }
    for (const auto &row : table.at("interactions")) {
        const std::int64_t i = main_group_index(upper(row.at(0).get<std::string>()));
        const std::int64_t j = main_group_index(upper(row.at(1).get<std::string>()));
        if (i >= 0 && j >= 0) interactions_[{i, j}] = row.at(2).get<double>();
    }
}

std::int64_t ReferenceHost::subgroup_index(std::string_view name) const {
    const std::string u = upper(name);
    for (std::size_t k = 0; k < subgroups_.size(); ++k)
        if (subgroups_[k].name == u) return static_cast<std::int64_t>(k);
    return -1;
}

std::int64_t ReferenceHost::main_group_index(std::string_view name) const {
    const std::string u = upper(name);
    for (std::size_t k = 0; k < main_groups_.size(); ++k)
        if (main_groups_[k] == u) return static_cast<std::int64_t>(k);
    return -1;
}

bool ReferenceHost::has_unifac_subgroup(std::string_view name) const { return subgroup_index(name) >= 0; }
bool ReferenceHost::has_unifac_main_group(std::string_view name) const { return main_group_index(name) >= 0; }

void ReferenceHost::define_unifac_subgroup(std::string_view name, std::int64_t number, std::string_view main_group,
                                           double r, double q) {
    if (name.empty() || main_group.empty()) throw std::invalid_argument("a subgroup needs a name and a main group");
    if (subgroup_index(name) >= 0) throw std::invalid_argument("subgroup '" + std::string(name) + "' already defined");
    if (!(r > 0.0) || !(q >= 0.0) || !std::isfinite(r) || !std::isfinite(q))
        throw std::invalid_argument("a subgroup needs R > 0 and Q >= 0");
    std::int64_t main = main_group_index(main_group);
    if (main < 0) {
        main_groups_.push_back(upper(main_group));
        main = static_cast<std::int64_t>(main_groups_.size()) - 1;
    }
    subgroups_.push_back({upper(name), number, main, r, q});
    relayout(nc_, data_sets_);  // the work area grows with the subgroups
}

void ReferenceHost::set_unifac_interaction(std::string_view main_i, std::string_view main_j, double a_ij) {
    const std::int64_t i = main_group_index(main_i), j = main_group_index(main_j);
    if (i < 0 || j < 0) throw std::invalid_argument("unknown UNIFAC main group");
    if (i == j) throw std::invalid_argument("a main group does not interact with itself");
    if (!std::isfinite(a_ij)) throw std::invalid_argument("a_ij must be finite");
    interactions_[{i, j}] = a_ij;
    rebuild_group_table();
    reinstall_if_current();
}

void ReferenceHost::set_component_groups(std::int64_t component,
                                         std::span<const std::pair<std::string, double>> counts) {
    check_component(component);
    std::vector<std::pair<std::int64_t, double>> groups;
    for (const auto &[name, count] : counts) {
        const std::int64_t s = subgroup_index(name);
        if (s < 0) throw std::invalid_argument("unknown UNIFAC subgroup '" + name + "'");
        if (!(count > 0.0) || !std::isfinite(count)) throw std::invalid_argument("a group count must be positive");
        groups.emplace_back(s, count);
    }
    component_groups_[component] = std::move(groups);
    rebuild_group_table();
    reinstall_if_current();
}

void ReferenceHost::rebuild_group_table() {
    const auto ns = static_cast<std::int64_t>(subgroups_.size());
    const auto nm = static_cast<std::int64_t>(main_groups_.size());
    group_table_.assign(static_cast<std::size_t>(2 + 4 * ns + nm * nm + ns * nc_), 0.0);
    group_table_[0] = static_cast<double>(ns);
    group_table_[1] = static_cast<double>(nm);
    for (std::int64_t k = 0; k < ns; ++k) {
        const Subgroup &s = subgroups_[static_cast<std::size_t>(k)];
        double *at = group_table_.data() + 2 + 4 * k;
        at[0] = static_cast<double>(s.main + 1);
        at[1] = s.r;
        at[2] = s.q;
        at[3] = static_cast<double>(s.number);
    }
    double *a = group_table_.data() + 2 + 4 * ns;
    for (std::int64_t n = 0; n < nm; ++n)
        for (std::int64_t m = 0; m < nm; ++m) {
            const auto found = interactions_.find({m, n});
            a[m + nm * n] = m == n ? 0.0 : found != interactions_.end() ? found->second : missing_value;
        }
    double *counts = a + nm * nm;
    for (const auto &[component, groups] : component_groups_) {
        if (component > nc_) continue;
        for (const auto &[s, count] : groups) counts[s * nc_ + component - 1] = count;
    }
}

}  // namespace keld::refhost
