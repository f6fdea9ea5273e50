// Component classification, polymer composition conversions, the polymer-
// segment map and the temperature-table services of the reference host.
// Called by keld through the host table: none of these throws, and none reads
// or writes outside the host's storage for bad component numbers or handles.
#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "keld/refhost.h"
#include "temperature_table.h"

namespace keld::refhost {

namespace {

bool positive_finite(double v) { return std::isfinite(v) && v > 0.0; }

#if defined(__SSE2__)
// Two table words as one integer vector (any alignment).
__m128i load_words(const double *first) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(first)); }
#endif

// Writes `value` to the first `count` elements of out.
void fill(double *out, std::int64_t count, double value) {
    if (out == nullptr) return;
    for (std::int64_t k = 0; k < count; ++k) out[k] = value;
}

}  // namespace

bool ReferenceHost::is_polymer(std::int64_t c) const {
    return valid_component(c) && components_[static_cast<std::size_t>(c - 1)].kind == ComponentKind::polymer;
}

bool ReferenceHost::is_oligomer(std::int64_t c) const {
    return valid_component(c) && components_[static_cast<std::size_t>(c - 1)].kind == ComponentKind::oligomer;
}

bool ReferenceHost::is_segment(std::int64_t c) const {
    return valid_component(c) && components_[static_cast<std::size_t>(c - 1)].kind == ComponentKind::segment;
}

double ReferenceHost::number_average_mw(std::int64_t c) const {
    if (!valid_component(c)) return 0.0;
    const double mw = store_[static_cast<std::size_t>(mw_offset_ + c - 1)];
    const ComponentKind kind = components_[static_cast<std::size_t>(c - 1)].kind;
    if (kind != ComponentKind::polymer && kind != ComponentKind::oligomer) return mw;
    const double mwn = store_[static_cast<std::size_t>(mwn_offset_ + c - 1)];
    return positive_finite(mwn) && mwn != real_globals_[0] ? mwn : mw;
}

void ReferenceHost::apparent_to_true(std::int64_t n, const std::int64_t *idx, const double *mw_by_component,
                                     const double *z, double *x) const {
    if (n < 1 || idx == nullptr || mw_by_component == nullptr || z == nullptr || x == nullptr) return;
    // x_k is proportional to the molecules per apparent mole: Z_k MW_k / MWN_k.
    double total = 0.0;
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k];
        double molecules = 0.0;
        if (valid_component(i)) {
            const double mw = mw_by_component[i - 1], mwn = number_average_mw(i);
            const double ratio = positive_finite(mw) && positive_finite(mwn) ? mw / mwn : 1.0;
            molecules = z[k] * ratio;
        }
        x[k] = molecules;
        total += molecules;
    }
    if (!(total > 0.0) || !std::isfinite(total)) {
        fill(x, n, 0.0);
        return;
    }
    for (std::int64_t k = 0; k < n; ++k) x[k] /= total;
}

void ReferenceHost::apparent_to_weight(const double *z, std::int64_t n, const std::int64_t *idx, double *w) const {
    if (n < 1 || idx == nullptr || z == nullptr || w == nullptr) return;
    const std::int64_t mw_offset = mw_offset_;
    double total = 0.0;
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k];
        double mass = 0.0;
        if (valid_component(i)) {
            const double mw = store_[static_cast<std::size_t>(mw_offset + i - 1)];
            if (positive_finite(mw) && mw != real_globals_[0]) mass = z[k] * mw;
        }
        w[k] = mass;
        total += mass;
    }
    if (!(total > 0.0) || !std::isfinite(total)) {
        fill(w, n, 0.0);
        return;
    }
    for (std::int64_t k = 0; k < n; ++k) w[k] /= total;
}

void ReferenceHost::number_average_mws(std::int64_t /*option*/, std::int64_t n, const std::int64_t *idx,
                                       double *mwn) const {
    if (n < 1 || idx == nullptr || mwn == nullptr) return;
    for (std::int64_t k = 0; k < n; ++k) mwn[k] = number_average_mw(idx[k]);
}

std::int64_t ReferenceHost::locate(std::int64_t handle) const {
    switch (handle) {
        case map_handle: return map_offset_;
        case segment_list_handle: return segment_list_offset_;
        case polymer_list_handle: return polymer_list_offset_;
        case weight_fraction_matrix_handle: return matrix_offset_;
        default: return 0;
    }
}

void ReferenceHost::locate_matrix(std::int64_t handle, std::int64_t &offset, std::int64_t &rows,
                                  std::int64_t &columns) const {
    const auto ns = segment_count();
    const auto np = static_cast<std::int64_t>(polymers_.size());
    offset = locate(handle);
    switch (handle) {
        case map_handle: rows = 3, columns = 1; break;
        case segment_list_handle: rows = ns + 1, columns = 1; break;
        case polymer_list_handle: rows = np + 1, columns = 1; break;
        case weight_fraction_matrix_handle: rows = np, columns = ns; break;
        default: rows = 0, columns = 0; break;
    }
}

void ReferenceHost::segment_weight_fractions(std::int64_t /*option*/, std::int64_t polymer,
                                             double *fractions) const {
    if (fractions == nullptr) return;
    const auto ns = segment_count();
    const std::int64_t writable = readable_words(fractions) < 0 ? ns : std::min(ns, readable_words(fractions));
    const std::int64_t row = polymer_row(polymer);
    if (row == 0) {
        fill(fractions, writable, 0.0);
        return;
    }
    const auto np = static_cast<std::int64_t>(polymers_.size());
    for (std::int64_t k = 1; k <= writable; ++k) {
        fractions[k - 1] = store_[static_cast<std::size_t>(matrix_offset_ + (k - 1) * np + row - 1)];
    }
}

void ReferenceHost::segment_mole_fractions(std::int64_t option, std::int64_t polymer, double *fractions) const {
    if (fractions == nullptr) return;
    const auto ns = segment_count();
    const std::int64_t writable = readable_words(fractions) < 0 ? ns : std::min(ns, readable_words(fractions));
    segment_weight_fractions(option, polymer, fractions);
    // Moles of segment k per unit mass of polymer: w_k / MW_k.
    const std::int64_t mw_offset = mw_offset_;
    double total = 0.0;
    for (std::int64_t k = 1; k <= writable; ++k) {
        const double mw = store_[static_cast<std::size_t>(mw_offset + segments_[k - 1] - 1)];
        const double moles = positive_finite(mw) && mw != real_globals_[0] ? fractions[k - 1] / mw : 0.0;
        fractions[k - 1] = moles;
        total += moles;
    }
    for (std::int64_t k = 1; k <= writable; ++k) fractions[k - 1] = total > 0.0 ? fractions[k - 1] / total : 0.0;
}

void ReferenceHost::binary_table3(std::int64_t n_coefficients, std::int64_t n_used, double t,
                                  const double *table, double *kij) const {
    if (kij == nullptr) return;
    const std::int64_t pairs = nc_ * nc_;
    const std::int64_t writable = readable_words(kij) < 0 ? pairs : std::min(pairs, readable_words(kij));
    const std::int64_t readable = readable_words(table);
    if (table == nullptr || n_coefficients < 1 || (readable >= 0 && readable < n_coefficients * pairs)) {
        fill(kij, writable, 0.0);
        return;
    }
    const std::int64_t used = std::min(n_used, n_coefficients);
    const double missing = real_globals_[0];
    // Most pairs of a data bank are constants: only a pair with a temperature term is evaluated in full.
    auto full = [&](const double *c) {
        return binary_table_is_constant(c, used, missing) ? binary_table_constant(c, used, missing)
                                                          : binary_table_value(c, used, t, missing);
    };
    if (used < 5) {
        for (std::int64_t pair = 0; pair < writable; ++pair) kij[pair] = full(table + pair * n_coefficients);
        return;
    }
    // The usual table: b..e all zero (either sign), seen at once in the bits of the four words, is a
    // constant pair, a when given; any other bits (a temperature term, a missing marker, a NaN) go the
    // long way. Every word of the table is read on every call: this host keeps nothing about the store.
    std::int64_t pair = 0;
#if defined(__SSE2__)
    // Two pairs at a time: the words b..e of both ORed in two vector registers, and both values
    // written at once when both pairs are constant.
    const __m128d missing2 = _mm_set1_pd(missing);
    for (; pair + 1 < writable; pair += 2) {
        const double *c = table + pair * n_coefficients, *d = c + n_coefficients;
        const __m128i x = _mm_or_si128(load_words(c + 1), load_words(c + 3));
        const __m128i y = _mm_or_si128(load_words(d + 1), load_words(d + 3));
        const __m128i terms = _mm_slli_epi64(_mm_or_si128(_mm_unpacklo_epi64(x, y), _mm_unpackhi_epi64(x, y)), 1);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(terms, _mm_setzero_si128())) == 0xFFFF) {
            const __m128d a = _mm_loadh_pd(_mm_load_sd(c), d);
            _mm_storeu_pd(kij + pair, _mm_andnot_pd(_mm_cmpeq_pd(a, missing2), a));
        } else {
            kij[pair] = full(c);
            kij[pair + 1] = full(d);
        }
    }
#endif
    for (; pair < writable; ++pair) {
        const double *c = table + pair * n_coefficients;
        const std::uint64_t terms = std::bit_cast<std::uint64_t>(c[1]) | std::bit_cast<std::uint64_t>(c[2]) |
                                    std::bit_cast<std::uint64_t>(c[3]) | std::bit_cast<std::uint64_t>(c[4]);
        if ((terms << 1) == 0) {
            kij[pair] = c[0] == missing ? 0.0 : c[0];
        } else {
            kij[pair] = full(c);
        }
    }
}

void ReferenceHost::volume_apparent_to_true(std::int64_t n, const std::int64_t *idx, const double *mw,
                                            const double *mwn, const double *z, double *x, std::int64_t /*option*/,
                                            std::int64_t nc, const std::int64_t *polymer_flags) const {
    if (n < 1 || idx == nullptr || z == nullptr || x == nullptr) return;
    double total = 0.0;
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = idx[k];
        double ratio = 1.0;
        if (i >= 1 && i <= nc && polymer_flags != nullptr && polymer_flags[i - 1] == 1 && mw != nullptr &&
            mwn != nullptr && positive_finite(mw[i - 1]) && positive_finite(mwn[k]))
            ratio = mw[i - 1] / mwn[k];
        x[k] = z[k] * ratio;
        total += x[k];
    }
    if (!(total > 0.0) || !std::isfinite(total)) {
        fill(x, n, 0.0);
        return;
    }
    for (std::int64_t k = 0; k < n; ++k) x[k] /= total;
}

void ReferenceHost::binary_table4(double t, std::int64_t n_coefficients, std::int64_t n_used, std::int64_t nc,
                                  const double *table, double *kij, double *dkij, std::int64_t mode,
                                  std::int64_t table_words) const {
    if (nc < 1 || kij == nullptr) return;
    const std::int64_t pairs = nc * nc;
    const bool slopes = mode == 2 && dkij != nullptr;
    if (table == nullptr || n_coefficients < 1 || table_words < n_coefficients * pairs) {
        fill(kij, pairs, 0.0);
        fill(dkij, pairs, 0.0);
        return;
    }
    const std::int64_t used = std::min(n_used, n_coefficients);
    for (std::int64_t pair = 0; pair < pairs; ++pair) {
        const double *c = table + pair * n_coefficients;
        kij[pair] = binary_table_value(c, used, t, real_globals_[0]);
        if (dkij) dkij[pair] = slopes ? binary_table_slope(c, used, t, real_globals_[0]) : 0.0;
    }
}

void ReferenceHost::binary_kij(bool derivative, std::int64_t n_coefficients, std::int64_t nc, std::int64_t n_list,
                                const std::int64_t *list, double t, const double *table, double *kij) const {
    if (kij == nullptr || list == nullptr || nc < 1 || n_list < 1) return;
    const std::int64_t used = std::min<std::int64_t>(n_coefficients, 6);
    const std::int64_t readable = readable_words(table);
    const bool table_ok = table != nullptr && n_coefficients >= 1 &&
                          (readable < 0 || readable >= n_coefficients * nc * nc);
    const std::int64_t writable = readable_words(kij) < 0 ? nc * nc : std::min(nc * nc, readable_words(kij));
    for (std::int64_t b = 0; b < n_list; ++b) {
        for (std::int64_t a = 0; a < n_list; ++a) {
            const std::int64_t i = list[a], j = list[b];
            if (i < 1 || i > nc || j < 1 || j > nc) continue;
            const std::int64_t pair = (j - 1) * nc + (i - 1);
            if (pair >= writable) continue;
            if (!table_ok) {
                kij[pair] = 0.0;
                continue;
            }
            const double *c = table + pair * n_coefficients;
            kij[pair] = derivative ? binary_table_slope(c, used, t, real_globals_[0])
                                   : binary_table_value(c, used, t, real_globals_[0]);
        }
    }
}

void ReferenceHost::temp_param(std::int64_t n_coefficients, std::int64_t nc, const double *table,
                               std::int64_t /*form*/, std::int64_t /*option*/, double *result) const {
    if (result == nullptr || nc < 1) return;
    const std::int64_t writable = readable_words(result) < 0 ? nc : std::min(nc, readable_words(result));
    fill(result, writable, 0.0);
    const std::int64_t readable = readable_words(table);
    if (table == nullptr || n_coefficients < 1 || (readable >= 0 && readable < n_coefficients * nc * nc)) return;
    for (std::int64_t j = 1; j <= nc; ++j) {
        for (std::int64_t i = 1; i <= nc; ++i) {
            if (i == j) continue;
            const double *pair = table + ((j - 1) * nc + i - 1) * n_coefficients;
            if (!binary_table_depends_on_temperature(pair, std::min<std::int64_t>(n_coefficients, 6),
                                                     real_globals_[0])) {
                continue;
            }
            if (i <= writable) result[i - 1] = 1.0;
            if (j <= writable) result[j - 1] = 1.0;
        }
    }
}

}  // namespace keld::refhost

namespace keld::refhost {

void ReferenceHost::link_temperature_table(std::string_view binary_name, std::string_view table_name) {
    const ParameterArray &b = array_named(binary_name);
    const ParameterArray &t = array_named(table_name);
    if (b.definition.shape != ParameterShape::binary || t.definition.shape != ParameterShape::binary_table) {
        throw std::invalid_argument("a temperature table links a binary parameter to a binary table");
    }
    for (const auto &link : table_links_) {
        if (link.first == b.definition.name) throw std::invalid_argument("binary parameter already linked");
    }
    table_links_.emplace_back(b.definition.name, t.definition.name);
}

// Calls `pair(table_block, binary_position)` for every linked table, data set
// and pair i != j: the six coefficients of the pair, and where its value goes.
template <class Pair>
static void for_each_linked_pair(const std::vector<std::pair<std::string, std::string>> &links,
                                 std::int64_t nc, std::int64_t data_sets, const auto &offset_of, Pair &&pair) {
    for (const auto &[binary_name, table_name] : links) {
        const std::int64_t binary = offset_of(binary_name), table = offset_of(table_name);
        for (std::int64_t d = 1; d <= data_sets; ++d)
            for (std::int64_t j = 1; j <= nc; ++j)
                for (std::int64_t i = 1; i <= nc; ++i)
                    if (i != j)
                        pair(table + (d - 1) * 6 * nc * nc + 6 * ((j - 1) * nc + i - 1),
                             binary + (d - 1) * nc * nc + (j - 1) * nc + i);
    }
}

// A pair's table is in use when one of a..e is non-zero and not missing.
static bool table_given(const double *c, double missing) {
    for (int n = 0; n < 5; ++n)
        if (c[n] != 0.0 && c[n] != missing) return true;
    return false;
}

void ReferenceHost::apply_temperature_tables(double t) {
    const double missing = real_globals_[0];
    const auto offset_of = [this](const std::string &name) { return array_named(name).offset; };
    for_each_linked_pair(table_links_, nc_, data_sets_, offset_of, [&](std::int64_t c, std::int64_t value) {
        const double *coefficients = &store_[static_cast<std::size_t>(c)];  // coefficient 1 at position c + 1
        if (table_given(coefficients, missing))
            store_[static_cast<std::size_t>(value - 1)] = binary_table_value(coefficients, 6, t, missing);
    });
}

}  // namespace keld::refhost

namespace keld::refhost {

bool ReferenceHost::temperature_tables_vary() const {
    const double missing = real_globals_[0];
    const auto offset_of = [this](const std::string &name) { return array_named(name).offset; };
    bool varies = false;
    for_each_linked_pair(table_links_, nc_, data_sets_, offset_of, [&](std::int64_t c, std::int64_t) {
        const double *b = &store_[static_cast<std::size_t>(c) + 1];  // coefficients b..e
        for (int n = 0; n < 4; ++n) varies = varies || (b[n] != 0.0 && b[n] != missing);
    });
    return varies;
}

}  // namespace keld::refhost
