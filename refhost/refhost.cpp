// The reference host's store: components, parameter arrays, data blocks and
// the layout that ties them together (documented in keld/refhost.h).
#include "keld/refhost.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <unordered_set>
#include <thread>

#include "root_search.h"

namespace keld::refhost {

namespace {

using ParamList = std::vector<ParameterDefinition>;

const ParamList &catalogue() {
    static const ParamList list = {
        {"MW", ParameterShape::per_component, 306},
        {"MWN", ParameterShape::per_component, 0},
        {"TC", ParameterShape::per_component, 416},
        {"PC", ParameterShape::per_component, 326},
        {"SLTSTR", ParameterShape::unary, 0},
        {"SLPSTR", ParameterShape::unary, 0},
        {"SLRSTR", ParameterShape::unary, 0},
        {"SLKIJ", ParameterShape::binary, 0},
        {"SLETIJ", ParameterShape::binary, 0},
        {"SLKIJT", ParameterShape::binary_table, 690},
        {"SLETIT", ParameterShape::binary_table, 689},
        {"SLKTD", ParameterShape::unary, 1382},
        {"SLETD", ParameterShape::unary, 1383},
        {"SLSRC", ParameterShape::unary, 1359},
        {"TSTARL", ParameterShape::per_component, 0},
        {"PSTARL", ParameterShape::per_component, 0},
        {"DSTARL", ParameterShape::per_component, 0},
        {"PCSFTM", ParameterShape::unary, 884},
        {"PCSFTV", ParameterShape::unary, 885},
        {"PCSFTU", ParameterShape::unary, 886},
        {"PCSFTR", ParameterShape::unary, 887},
        {"PCSKIJ", ParameterShape::binary_table, 890},
        {"PCSKTD", ParameterShape::unary, 1379},
        {"PCSSRC", ParameterShape::unary, 1357},
        {"TCRKS", ParameterShape::unary, 424},
        {"PCRKS", ParameterShape::unary, 332},
        {"OMGRKS", ParameterShape::unary, 322},
        {"RKSCHK", ParameterShape::unary, 627},
        {"RKSUC", ParameterShape::unary, 144},
        {"RKSUP", ParameterShape::binary, 146, true},
        {"RKSMC", ParameterShape::record3, 516},
        {"RKSKIJ", ParameterShape::binary, 0},
        {"RKSWSK", ParameterShape::binary, 0},
        {"GEAIJ", ParameterShape::binary, 0, true},
        {"GEBIJ", ParameterShape::binary, 0, true},
        {"GEALF", ParameterShape::binary, 0, true},
        {"UNIQR", ParameterShape::unary, 0},
        {"UNIQQ", ParameterShape::unary, 0},
        {"SAFTM", ParameterShape::unary, 876},
        {"SAFTV", ParameterShape::unary, 877},
        {"SAFTU", ParameterShape::unary, 878},
        {"SAFTE", ParameterShape::unary, 879},
        {"SFTUIJ", ParameterShape::binary, 880},
        {"SFTMIJ", ParameterShape::binary, 881},
        {"SFTKIJ", ParameterShape::binary_table, 882},
        {"SAFTR", ParameterShape::unary, 895},
        {"SFTSRC", ParameterShape::unary, 1358},
        {"SFTKTD", ParameterShape::unary, 1381},
        {"SFTLIJ", ParameterShape::binary, 0},
        // PC-SAFT with association and a dipolar term (KELD_PCSAF1).
        {"PCSATY", ParameterShape::unary, 0},
        {"PCSAEP", ParameterShape::unary, 0},
        {"PCSAKP", ParameterShape::unary, 0},
        {"PCSAEX", ParameterShape::binary, 0, true},
        {"PCSAKX", ParameterShape::binary, 0, true},
        {"PCSAMU", ParameterShape::unary, 0},
        {"PCSAXP", ParameterShape::unary, 0},
        {"PCSLIJ", ParameterShape::binary_table, 0},
        // Associating PC-SAFT parameter preparation (KELD_ESPSAI, KELD_ESPSAHI).
        {"PCSKRS", ParameterShape::unary, 1441},
        {"TB", ParameterShape::per_component, 0},
        {"VPC1", ParameterShape::per_component, 0},
        {"VPC2", ParameterShape::per_component, 0},
        {"VPC3", ParameterShape::per_component, 0},
        {"VPC4", ParameterShape::per_component, 0},
        {"VPC5", ParameterShape::per_component, 0},
        {"VPC6", ParameterShape::per_component, 0},
        {"VPC7", ParameterShape::per_component, 0},
        {"VPC8", ParameterShape::per_component, 0},
        {"VPC9", ParameterShape::per_component, 0},
        {"LDSEL", ParameterShape::per_component, 0},
        {"LDC1", ParameterShape::per_component, 0},
        {"LDC2", ParameterShape::per_component, 0},
        {"LDC3", ParameterShape::per_component, 0},
        {"LDC4", ParameterShape::per_component, 0},
        {"LDC5", ParameterShape::per_component, 0},
        {"LDC6", ParameterShape::per_component, 0},
        {"LDC7", ParameterShape::per_component, 0},
        {"ZRA1", ParameterShape::per_component, 0},
        {"ZRA2", ParameterShape::per_component, 0},
        {"SG", ParameterShape::per_component, 0},
        {"VSTD", ParameterShape::per_component, 0},
    };
    return list;
}

constexpr std::size_t max_name_chars = 8;
constexpr std::size_t max_identifier_chars = 8;
constexpr std::size_t formula_words = 3;
constexpr std::size_t formula_chars = 8 * formula_words;

std::string_view trim_trailing(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}

// A parameter name (trailing blanks and NULs dropped, letters in upper case) packed into one word,
// first character lowest; 0 for a name of no or more than 8 characters, which names no parameter.
std::uint64_t name_key(std::string_view name) {
    name = trim_trailing(name);
    if (name.empty() || name.size() > max_name_chars) return 0;
    std::uint64_t key = 0;
    for (std::size_t k = 0; k < name.size(); ++k) {
        unsigned char c = static_cast<unsigned char>(name[k]);
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        key |= std::uint64_t{c} << (8 * k);
    }
    return key;
}

std::string normalised_name(std::string_view name) {
    name = trim_trailing(name);
    if (name.empty() || name.size() > max_name_chars) {
        throw std::invalid_argument("parameter name must have 1 to 8 characters: '" + std::string(name) + "'");
    }
    std::string upper(name);
    for (char &c : upper) {
        if (c == ' ' || !std::isprint(static_cast<unsigned char>(c))) {
            throw std::invalid_argument("parameter name with a blank or control character");
        }
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

// One store word holding `chars` (at most 8) in memory order, blank-padded.
double character_word(std::string_view chars) {
    std::array<char, 8> bytes;
    bytes.fill(' ');
    std::copy_n(chars.begin(), std::min<std::size_t>(chars.size(), 8), bytes.begin());
    return std::bit_cast<double>(bytes);
}

double integer_word(std::int64_t value) { return std::bit_cast<double>(value); }

bool positive_finite(double v) { return std::isfinite(v) && v > 0.0; }

}  // namespace

std::span<const ParameterDefinition> parameter_catalogue() { return catalogue(); }

ReferenceHost::ReferenceHost(HostOptions options)
    : data_sets_(options.data_sets),
      minimum_work_words_(options.minimum_work_words),
      vapour_search_(std::make_unique<RootSearch>(RootKind::vapour)),
      liquid_search_(std::make_unique<RootSearch>(RootKind::liquid)),
      owner_thread_(std::this_thread::get_id()) {
    if (data_sets_ < 1) throw std::invalid_argument("a host needs at least one data set");
    if (minimum_work_words_ < 0) throw std::invalid_argument("negative work-area size");
    real_globals_[0] = missing_value;
    real_globals_[1] = segment_fraction_floor;
    property_globals_[0] = reference_pressure;
    property_globals_[2] = gas_constant;
    globals_[10] = default_diagnostic_level;
    root_control_[0] = integer_word(0);
    root_control_[1] = integer_word(0);
    root_control_[16] = root_failure_pressure_threshold;
    dpdv_control_[0] = missing_value;
    error_buffer_.fill(' ');
    print_messages_to_stderr();
    for (const auto &definition : catalogue()) {
        arrays_.push_back({definition, 0});
        index_array(arrays_.size() - 1);
    }
    load_shipped_unifac_table();
    relayout(0, data_sets_);
    link_temperature_table("SLKIJ", "SLKIJT");
    link_temperature_table("SLETIJ", "SLETIT");
}

// ---------------------------------------------------------------- layout

namespace {

// Sizes that saturate at INT64_MAX instead of overflowing: an absurd component
// or data-set count is refused by its size, never computed into a small one.
std::int64_t add_words(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    return __builtin_add_overflow(a, b, &r) ? INT64_MAX : r;
}
std::int64_t mul_words(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    return __builtin_mul_overflow(a, b, &r) ? INT64_MAX : r;
}

}  // namespace

std::int64_t ReferenceHost::array_words(ParameterShape shape, std::int64_t nc, std::int64_t nds) const {
    switch (shape) {
        case ParameterShape::per_component: return nc;
        case ParameterShape::unary: return mul_words(nds, nc);
        case ParameterShape::binary: return mul_words(nds, mul_words(nc, nc));
        case ParameterShape::binary_table: return mul_words(nds, mul_words(6, mul_words(nc, nc)));
        case ParameterShape::record3: return mul_words(nds, mul_words(3, nc));
    }
    return 0;
}

std::int64_t ReferenceHost::layout_words(std::int64_t nc, std::int64_t nds, std::int64_t ns, std::int64_t np) const {
    std::int64_t words = add_words(1, mul_words(2 + static_cast<std::int64_t>(formula_words), nc));
    for (const auto &a : arrays_) words = add_words(words, array_words(a.definition.shape, nc, nds));
    words = add_words(words, add_words(5 + ns + np, mul_words(np, ns)));  // polymer-segment map
    // (Beyond 2^20 components the first term alone exceeds any store.)
    const std::int64_t cubic = nc <= (std::int64_t{1} << 20) ? cubic_work_words(nc, unifac_subgroup_count()) : 0;
    const std::int64_t work = std::max({add_words(mul_words(18, nc), mul_words(7, mul_words(nc, nc))),
                                        minimum_work_words_, cubic});
    return add_words(words, add_words(work, 1));
}

std::int64_t ReferenceHost::store_words_for(std::int64_t nc, std::int64_t data_sets) {
    const ReferenceHost empty;
    return empty.layout_words(nc, data_sets, nc / 2, nc - nc / 2);
}

void ReferenceHost::relayout(std::int64_t nc, std::int64_t nds) {
    const std::vector<double> old_store = std::move(store_);
    const std::int64_t old_nc = nc_, old_nds = data_sets_;
    std::vector<std::int64_t> old_offsets;
    for (const auto &a : arrays_) old_offsets.push_back(a.offset);

    segments_.clear();
    polymers_.clear();
    for (std::int64_t i = 1; i <= nc; ++i) {
        const ComponentKind k = components_[static_cast<std::size_t>(i - 1)].kind;
        if (k == ComponentKind::segment) segments_.push_back(i);
        if (k == ComponentKind::polymer || k == ComponentKind::oligomer) polymers_.push_back(i);
    }
    const auto ns = static_cast<std::int64_t>(segments_.size());
    const auto np = static_cast<std::int64_t>(polymers_.size());
    const std::int64_t needed = layout_words(nc, nds, ns, np);
    if (needed > max_store_words) {
        throw std::length_error("a host of " + std::to_string(nc) + " components and " + std::to_string(nds) +
                                " data sets would need a store of " + std::to_string(needed) +
                                " words; at most " + std::to_string(max_store_words));
    }

    std::int64_t last = 1;  // position 1: NC
    offsets4_.fill(0);
    offsets4_[1] = last;  // identifiers
    last += 2 * nc;
    offsets4_[0] = last;  // formulas
    last += static_cast<std::int64_t>(formula_words) * nc;
    offsets1_.fill(0);
    for (auto &a : arrays_) {
        a.offset = last;
        if (a.definition.offsets1_element > 0) offsets1_[a.definition.offsets1_element - 1] = a.offset;
        last += array_words(a.definition.shape, nc, nds);
    }
    map_offset_ = last;
    last += 3;
    segment_list_offset_ = last + 1;
    last = segment_list_offset_ + ns;
    polymer_list_offset_ = last + 1;
    last = polymer_list_offset_ + np;
    matrix_offset_ = last;
    last += np * ns;
    work_words_ = std::max<std::int64_t>({18 * nc + 7 * nc * nc, minimum_work_words_,
                                          cubic_work_words(nc, unifac_subgroup_count())});
    work_offset_ = last + 1;
    last += work_words_ + 1;  // one spare word after the work area

    store_.assign(static_cast<std::size_t>(last), 0.0);
    nc_ = nc;
    data_sets_ = nds;
    mw_offset_ = array_named("MW").offset;
    mwn_offset_ = array_named("MWN").offset;

    for (std::size_t n = 0; n < arrays_.size(); ++n) {
        const auto &a = arrays_[n];
        const bool binary = a.definition.shape == ParameterShape::binary ||
                            a.definition.shape == ParameterShape::binary_table;
        const std::int64_t words = array_words(a.definition.shape, nc, nds);
        std::fill_n(store_.begin() + a.offset, words, binary && !a.definition.starts_missing ? 0.0 : missing_value);
        const std::int64_t from = old_offsets[n];
        if (from == 0 || old_store.empty()) continue;
        const std::int64_t keep_nc = std::min(old_nc, nc), keep_nds = std::min(old_nds, nds);
        for (std::int64_t d = 1; d <= (a.definition.shape == ParameterShape::per_component ? 1 : keep_nds); ++d) {
            for (std::int64_t j = 1; j <= (binary ? keep_nc : 1); ++j) {
                for (std::int64_t i = 1; i <= keep_nc; ++i) {
                    switch (a.definition.shape) {
                        case ParameterShape::per_component:
                            store_[a.offset + i - 1] = old_store[from + i - 1];
                            break;
                        case ParameterShape::unary:
                            store_[a.offset + (d - 1) * nc + i - 1] = old_store[from + (d - 1) * old_nc + i - 1];
                            break;
                        case ParameterShape::binary:
                            store_[a.offset + (d - 1) * nc * nc + (j - 1) * nc + i - 1] =
                                old_store[from + (d - 1) * old_nc * old_nc + (j - 1) * old_nc + i - 1];
                            break;
                        case ParameterShape::record3:
                            for (std::int64_t c = 1; c <= 3; ++c)
                                store_[a.offset + 3 * ((d - 1) * nc + i - 1) + c - 1] =
                                    old_store[from + 3 * ((d - 1) * old_nc + i - 1) + c - 1];
                            break;
                        case ParameterShape::binary_table:
                            for (std::int64_t c = 1; c <= 6; ++c) {
                                store_[a.offset + (d - 1) * 6 * nc * nc + 6 * ((j - 1) * nc + i - 1) + c - 1] =
                                    old_store[from + (d - 1) * 6 * old_nc * old_nc +
                                              6 * ((j - 1) * old_nc + i - 1) + c - 1];
                            }
                            break;
                    }
                }
            }
        }
    }
    write_layout_words();
    write_polymer_map();
    rebuild_group_table();
    reinstall_if_current();
}

void ReferenceHost::write_layout_words() {
    store_[0] = integer_word(nc_);
    for (std::int64_t i = 1; i <= nc_; ++i) write_component_words(i);
}

void ReferenceHost::write_component_words(std::int64_t i) {
    const Component &c = components_[static_cast<std::size_t>(i - 1)];
    const std::string_view id = c.identifier;
    store_at(offsets4_[1] + 2 * i - 1) = character_word(id.substr(0, std::min<std::size_t>(4, id.size())));
    store_at(offsets4_[1] + 2 * i) = character_word(id.size() > 4 ? id.substr(4) : std::string_view{});
    const std::string_view formula = c.formula;
    for (std::size_t w = 0; w < formula_words; ++w) {
        const std::string_view part = formula.size() > 8 * w ? formula.substr(8 * w, 8) : std::string_view{};
        store_at(offsets4_[0] + static_cast<std::int64_t>(formula_words) * (i - 1) + 1 +
                 static_cast<std::int64_t>(w)) = character_word(part);
    }
}

void ReferenceHost::write_polymer_map() {
    const auto ns = static_cast<std::int64_t>(segments_.size());
    const auto np = static_cast<std::int64_t>(polymers_.size());
    store_at(map_offset_ + 1) = integer_word(segment_list_handle);
    store_at(map_offset_ + 2) = integer_word(polymer_list_handle);
    store_at(map_offset_ + 3) = integer_word(weight_fraction_matrix_handle);
    store_at(segment_list_offset_) = integer_word(ns);
    for (std::int64_t k = 1; k <= ns; ++k) store_at(segment_list_offset_ + k) = integer_word(segments_[k - 1]);
    store_at(polymer_list_offset_) = integer_word(np);
    for (std::int64_t r = 1; r <= np; ++r) store_at(polymer_list_offset_ + r) = integer_word(polymers_[r - 1]);
    for (std::int64_t r = 1; r <= np; ++r) write_polymer_row(r);
}

void ReferenceHost::write_polymer_row(std::int64_t r) {
    const auto ns = static_cast<std::int64_t>(segments_.size());
    const auto np = static_cast<std::int64_t>(polymers_.size());
    const Component &p = components_[static_cast<std::size_t>(polymers_[r - 1] - 1)];
    for (std::int64_t k = 1; k <= ns; ++k) store_at(matrix_offset_ + (k - 1) * np + r) = 0.0;
    // Segment k of the list is the k-th segment component: find it by number.
    for (const SegmentShare &share : p.segments) {
        const auto found = std::lower_bound(segments_.begin(), segments_.end(), share.segment);
        if (found == segments_.end() || *found != share.segment) continue;
        const std::int64_t k = (found - segments_.begin()) + 1;
        store_at(matrix_offset_ + (k - 1) * np + r) = share.weight_fraction;
    }
}

// ---------------------------------------------------------------- components

std::int64_t ReferenceHost::add_component(std::string_view identifier, ComponentKind kind,
                                          double molecular_weight) {
    const std::string_view id = trim_trailing(identifier);
    if (id.empty() || id.size() > max_identifier_chars) {
        throw std::invalid_argument("component identifier must have 1 to 8 characters");
    }
    if (component_number(id) != 0) throw std::invalid_argument("duplicate component '" + std::string(id) + "'");
    if (kind != ComponentKind::ordinary && kind != ComponentKind::polymer && kind != ComponentKind::oligomer &&
        kind != ComponentKind::segment) {
        throw std::invalid_argument("unknown component kind");
    }
    if (!positive_finite(molecular_weight)) throw std::invalid_argument("molecular weight must be positive");
    components_.push_back({std::string(id), kind, std::string(), {}});
    try {
        relayout(nc_ + 1, data_sets_);
    } catch (...) {
        components_.pop_back();
        throw;
    }
    set_component_value("MW", nc_, molecular_weight);
    return nc_;
}

std::int64_t ReferenceHost::add_components(std::span<const ComponentDefinition> components) {
    std::unordered_set<std::string> ids;
    for (const Component &c : components_) ids.insert(c.identifier);
    for (const ComponentDefinition &d : components) {
        const std::string_view id = trim_trailing(d.identifier);
        if (id.empty() || id.size() > max_identifier_chars) {
            throw std::invalid_argument("component identifier must have 1 to 8 characters");
        }
        if (!ids.insert(std::string(id)).second) {
            throw std::invalid_argument("duplicate component '" + std::string(id) + "'");
        }
        if (d.kind != ComponentKind::ordinary && d.kind != ComponentKind::polymer &&
            d.kind != ComponentKind::oligomer && d.kind != ComponentKind::segment) {
            throw std::invalid_argument("unknown component kind");
        }
        if (!positive_finite(d.molecular_weight)) throw std::invalid_argument("molecular weight must be positive");
    }
    const std::int64_t first = nc_ + 1;
    for (const ComponentDefinition &d : components)
        components_.push_back({std::string(trim_trailing(d.identifier)), d.kind, std::string(), {}});
    try {
        relayout(static_cast<std::int64_t>(components_.size()), data_sets_);
    } catch (...) {
        components_.resize(static_cast<std::size_t>(nc_));
        throw;
    }
    const std::int64_t mw = array_named("MW").offset;
    for (std::size_t k = 0; k < components.size(); ++k)
        store_[static_cast<std::size_t>(mw + first + static_cast<std::int64_t>(k) - 1)] = components[k].molecular_weight;
    return first;
}

std::int64_t ReferenceHost::add_polymer(std::string_view identifier, ComponentKind kind, double molecular_weight,
                                        double number_average_mw) {
    if (kind != ComponentKind::polymer && kind != ComponentKind::oligomer) {
        throw std::invalid_argument("add_polymer takes a polymer or an oligomer");
    }
    if (!positive_finite(number_average_mw)) throw std::invalid_argument("MWN must be positive");
    const std::int64_t number = add_component(identifier, kind, molecular_weight);
    set_number_average_mw(number, number_average_mw);
    return number;
}

void ReferenceHost::set_number_average_mw(std::int64_t polymer, double mwn) {
    check_component(polymer);
    if (polymer_row(polymer) == 0) throw std::invalid_argument("MWN belongs to polymers and oligomers");
    if (!positive_finite(mwn)) throw std::invalid_argument("MWN must be positive");
    set_component_value("MWN", polymer, mwn);
}

void ReferenceHost::set_segment_composition(std::int64_t polymer, std::span<const SegmentShare> shares) {
    check_component(polymer);
    if (polymer_row(polymer) == 0) throw std::invalid_argument("segment composition of a non-polymer");
    std::vector<SegmentShare> kept;
    for (const SegmentShare &share : shares) {
        check_component(share.segment);
        if (!is_segment(share.segment)) throw std::invalid_argument("composition names a non-segment component");
        if (!std::isfinite(share.weight_fraction) || share.weight_fraction < 0.0) {
            throw std::invalid_argument("segment weight fraction must be finite and not negative");
        }
        for (const SegmentShare &k : kept) {
            if (k.segment == share.segment) throw std::invalid_argument("segment listed twice");
        }
        kept.push_back(share);
    }
    components_[static_cast<std::size_t>(polymer - 1)].segments = std::move(kept);
    write_polymer_row(polymer_row(polymer));
}

void ReferenceHost::set_formula(std::int64_t component, std::string_view formula) {
    check_component(component);
    formula = trim_trailing(formula);
    if (formula.size() > formula_chars) throw std::invalid_argument("formula longer than 24 characters");
    components_[static_cast<std::size_t>(component - 1)].formula = std::string(formula);
    write_component_words(component);
}

std::int64_t ReferenceHost::component_number(std::string_view identifier) const {
    identifier = trim_trailing(identifier);
    for (std::size_t n = 0; n < components_.size(); ++n) {
        if (components_[n].identifier == identifier) return static_cast<std::int64_t>(n) + 1;
    }
    return 0;
}

ComponentKind ReferenceHost::kind(std::int64_t component) const {
    check_component(component);
    return components_[static_cast<std::size_t>(component - 1)].kind;
}

std::string ReferenceHost::identifier(std::int64_t component) const {
    check_component(component);
    return components_[static_cast<std::size_t>(component - 1)].identifier;
}

void ReferenceHost::set_data_set_count(std::int64_t data_sets) {
    if (data_sets < 1) throw std::invalid_argument("a host needs at least one data set");
    relayout(nc_, data_sets);
}

std::int64_t ReferenceHost::reserve_work_areas(std::int64_t count) {
    if (count < 1) throw std::invalid_argument("at least one work area");
    const std::int64_t one_call = std::max(add_words(mul_words(18, nc_), mul_words(7, mul_words(nc_, nc_))),
                                           cubic_work_words(nc_, unifac_subgroup_count()));
    const std::int64_t needed = mul_words(one_call, count);
    if (needed > work_words_) {
        minimum_work_words_ = needed;
        relayout(nc_, data_sets_);
    }
    return one_call;
}

void ReferenceHost::check_component(std::int64_t component) const {
    if (!valid_component(component)) throw std::out_of_range("component number out of range");
}

void ReferenceHost::check_data_set(std::int64_t data_set) const {
    if (data_set < 1 || data_set > data_sets_) throw std::out_of_range("data set out of range");
}

std::int64_t ReferenceHost::polymer_row(std::int64_t component) const {
    const auto found = std::lower_bound(polymers_.begin(), polymers_.end(), component);  // in component order
    return found != polymers_.end() && *found == component ? (found - polymers_.begin()) + 1 : 0;
}

// ---------------------------------------------------------------- parameters

void ReferenceHost::define_parameter(std::string_view name, ParameterShape shape, std::int64_t offsets1_element) {
    const std::string upper = normalised_name(name);
    if (find_parameter(upper) != nullptr) throw std::invalid_argument("parameter '" + upper + "' already defined");
    if (shape != ParameterShape::per_component && shape != ParameterShape::unary &&
        shape != ParameterShape::binary && shape != ParameterShape::binary_table &&
        shape != ParameterShape::record3) {
        throw std::invalid_argument("unknown parameter shape");
    }
    if (offsets1_element < 0 || offsets1_element > static_cast<std::int64_t>(offsets1_words)) {
        throw std::out_of_range("HostOffsets1 element out of range");
    }
    for (const auto &a : arrays_) {
        if (offsets1_element != 0 && a.definition.offsets1_element == offsets1_element) {
            throw std::invalid_argument("HostOffsets1 element already names '" + a.definition.name + "'");
        }
    }
    arrays_.push_back({{upper, shape, offsets1_element}, 0});
    index_array(arrays_.size() - 1);
    relayout(nc_, data_sets_);
}

void ReferenceHost::index_array(std::size_t position) {
    array_by_name_[name_key(arrays_[position].definition.name)] = position;
}

const ReferenceHost::ParameterArray *ReferenceHost::array_or_null(std::string_view name) const {
    const auto found = array_by_name_.find(name_key(name));
    return found == array_by_name_.end() ? nullptr : &arrays_[found->second];
}

const ParameterDefinition *ReferenceHost::find_parameter(std::string_view name) const {
    const ParameterArray *a = array_or_null(name);
    return a != nullptr ? &a->definition : nullptr;
}

std::int64_t ReferenceHost::param_offset(std::string_view name) const {
    const ParameterArray *a = array_or_null(name);
    return a != nullptr ? a->offset : 0;
}

const ReferenceHost::ParameterArray &ReferenceHost::array_named(std::string_view name) const {
    if (const ParameterArray *a = array_or_null(name)) return *a;
    throw std::invalid_argument("unknown parameter '" + std::string(name) + "'");
}

namespace {
void require_shape(const ParameterDefinition &d, ParameterShape shape) {
    if (d.shape != shape) throw std::invalid_argument("parameter '" + d.name + "' has another shape");
}
}  // namespace

std::int64_t ReferenceHost::unary_position(const ParameterArray &a, std::int64_t i, std::int64_t d) const {
    check_component(i);
    check_data_set(d);
    return a.offset + (d - 1) * nc_ + i;
}

void ReferenceHost::set_unary(std::string_view name, std::int64_t component, double value, std::int64_t data_set) {
    const ParameterArray &a = array_named(name);
    require_shape(a.definition, ParameterShape::unary);
    store_at(unary_position(a, component, data_set)) = value;
}

double ReferenceHost::unary(std::string_view name, std::int64_t component, std::int64_t data_set) const {
    const ParameterArray &a = array_named(name);
    require_shape(a.definition, ParameterShape::unary);
    return stored(unary_position(a, component, data_set));
}

void ReferenceHost::set_binary(std::string_view name, std::int64_t i, std::int64_t j, double value,
                               std::int64_t data_set) {
    const ParameterArray &a = array_named(name);
    require_shape(a.definition, ParameterShape::binary);
    check_component(i);
    check_component(j);
    check_data_set(data_set);
    store_at(a.offset + (data_set - 1) * nc_ * nc_ + (j - 1) * nc_ + i) = value;
}

double ReferenceHost::binary(std::string_view name, std::int64_t i, std::int64_t j, std::int64_t data_set) const {
    const ParameterArray &a = array_named(name);
    require_shape(a.definition, ParameterShape::binary);
    check_component(i);
    check_component(j);
    check_data_set(data_set);
    return stored(a.offset + (data_set - 1) * nc_ * nc_ + (j - 1) * nc_ + i);
}

void ReferenceHost::set_binary_coefficients(std::string_view name, std::int64_t i, std::int64_t j,
                                            std::span<const double> coefficients, std::int64_t data_set) {
    const ParameterArray &a = array_named(name);
    require_shape(a.definition, ParameterShape::binary_table);
    check_component(i);
    check_component(j);
    check_data_set(data_set);
    if (coefficients.size() > 6) throw std::invalid_argument("a temperature table has six coefficients");
    const std::int64_t first = a.offset + (data_set - 1) * 6 * nc_ * nc_ + 6 * ((j - 1) * nc_ + i - 1);
    for (std::int64_t c = 1; c <= 6; ++c) {
        store_at(first + c) = c <= static_cast<std::int64_t>(coefficients.size()) ? coefficients[c - 1] : 0.0;
    }
}

double ReferenceHost::binary_coefficient(std::string_view name, std::int64_t i, std::int64_t j,
                                         std::int64_t coefficient, std::int64_t data_set) const {
    const ParameterArray &a = array_named(name);
    require_shape(a.definition, ParameterShape::binary_table);
    check_component(i);
    check_component(j);
    check_data_set(data_set);
    if (coefficient < 1 || coefficient > 6) throw std::out_of_range("coefficient number out of range");
    return stored(a.offset + (data_set - 1) * 6 * nc_ * nc_ + 6 * ((j - 1) * nc_ + i - 1) + coefficient);
}

void ReferenceHost::set_component_value(std::string_view name, std::int64_t component, double value) {
    const ParameterArray &a = array_named(name);
    require_shape(a.definition, ParameterShape::per_component);
    check_component(component);
    store_at(a.offset + component) = value;
}

double ReferenceHost::component_value(std::string_view name, std::int64_t component) const {
    const ParameterArray &a = array_named(name);
    require_shape(a.definition, ParameterShape::per_component);
    check_component(component);
    return stored(a.offset + component);
}

// ---------------------------------------------------------------- blocks

namespace {
template <class Block>
auto &element_of(Block &block, std::int64_t element, const char *what) {
    if (element < 1 || element > static_cast<std::int64_t>(block.size())) {
        throw std::out_of_range(std::string(what) + " element out of range");
    }
    return block[static_cast<std::size_t>(element - 1)];
}
}  // namespace

double &ReferenceHost::store_at(std::int64_t position) { return element_of(store_, position, "HostStore"); }

double ReferenceHost::stored(std::int64_t position) const {
    if (position < 1 || position > static_cast<std::int64_t>(store_.size())) {
        throw std::out_of_range("HostStore position out of range");
    }
    return store_[static_cast<std::size_t>(position - 1)];
}

std::int64_t ReferenceHost::store_integer(std::int64_t position) const {
    return std::bit_cast<std::int64_t>(stored(position));
}

std::span<double> ReferenceHost::work_area() {
    return std::span<double>(store_).subspan(static_cast<std::size_t>(work_offset_ - 1),
                                             static_cast<std::size_t>(work_words_));
}

std::int64_t &ReferenceHost::global(std::int64_t e) { return element_of(globals_, e, "HostGlobals"); }
double &ReferenceHost::real_global(std::int64_t e) { return element_of(real_globals_, e, "HostRealGlobals"); }
double &ReferenceHost::property_global(std::int64_t e) {
    return element_of(property_globals_, e, "HostPropertyGlobals");
}
double &ReferenceHost::root_control(std::int64_t e) { return element_of(root_control_, e, "HostRootControl"); }
bool ReferenceHost::root_switch(std::int64_t e) const {
    if (e < 1 || e > static_cast<std::int64_t>(root_control_words)) throw std::out_of_range("HostRootControl");
    return (std::bit_cast<std::int64_t>(root_control_[static_cast<std::size_t>(e - 1)]) & 1) != 0;
}
void ReferenceHost::set_root_switch(std::int64_t e, bool on) { root_control(e) = integer_word(on ? -1 : 0); }
double &ReferenceHost::dpdv_control(std::int64_t e) { return element_of(dpdv_control_, e, "HostDpdvControl"); }
std::int64_t &ReferenceHost::error_control2(std::int64_t e) {
    return element_of(error_control2_, e, "HostErrorControl2");
}
std::int64_t ReferenceHost::offsets1(std::int64_t e) const {
    if (e < 1 || e > static_cast<std::int64_t>(offsets1_words)) throw std::out_of_range("HostOffsets1");
    return offsets1_[static_cast<std::size_t>(e - 1)];
}
std::int64_t ReferenceHost::offsets4(std::int64_t e) const {
    if (e < 1 || e > static_cast<std::int64_t>(offsets4_words)) throw std::out_of_range("HostOffsets4");
    return offsets4_[static_cast<std::size_t>(e - 1)];
}

std::string_view ReferenceHost::message_line(std::int64_t line) const {
    if (line < 1 || line > KELD_MESSAGE_LINES) throw std::out_of_range("message line out of range");
    return std::string_view(error_buffer_.data() + (line - 1) * KELD_MESSAGE_LINE_CHARS, KELD_MESSAGE_LINE_CHARS);
}

void ReferenceHost::write_message_line(std::int64_t line, std::string_view text) {
    if (line < 1 || line > KELD_MESSAGE_LINES) throw std::out_of_range("message line out of range");
    char *first = error_buffer_.data() + (line - 1) * KELD_MESSAGE_LINE_CHARS;
    std::fill_n(first, KELD_MESSAGE_LINE_CHARS, ' ');
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), KELD_MESSAGE_LINE_CHARS), first);
}

std::int64_t ReferenceHost::readable_words(const double *p) const {
    const double *first = store_.data();
    const double *end = first + store_.size();
    const std::less_equal<const double *> le;
    const std::less<const double *> lt;
    if (p == nullptr || !le(first, p) || !lt(p, end)) return -1;
    return end - p;
}

// ---------------------------------------------------------------- roots

namespace {
// The conversations of a thread other than the host's own (see keld/refhost.h).
RootSearch &thread_search(bool liquid, const RootSearch &own) {
    thread_local RootSearch vapour(RootKind::vapour), liquid_search(RootKind::liquid);
    RootSearch &search = liquid ? liquid_search : vapour;
    search.settings() = own.settings();
    return search;
}
}  // namespace

void ReferenceHost::root(bool liquid, std::int64_t &state, std::int64_t &mode, double v_close_packed,
                         double v_critical, double v_dividing, double t, double p, double &v, double &p_calc,
                         double &dpdv) {
    RootSearch &own = liquid ? *liquid_search_ : *vapour_search_;
    const bool owner = std::this_thread::get_id() == owner_thread_;
    if (owner && own.settings().gas_constant != property_globals_[2])
        own.settings().gas_constant = property_globals_[2];
    RootSearch &search = owner ? own : thread_search(liquid, own);
    if (!owner) search.settings().gas_constant = property_globals_[2];
    // The switch is written by every call, from any thread: read it atomically.
    const double word = std::atomic_ref<double>(root_control_[liquid ? 0 : 1]).load(std::memory_order_relaxed);
    const bool single_component = (std::bit_cast<std::int64_t>(word) & 1) != 0;
    search.step(state, mode, v_close_packed, v_critical, v_dividing, t, p, v, p_calc, dpdv, single_component);
}

}  // namespace keld::refhost
