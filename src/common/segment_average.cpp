#include "common/segment_average.h"

#include <cmath>

namespace keld {

SegmentList find_segment_list(const host::Host &host) {
    const keld_host &t = host.table();
    SegmentList list;
    if (!t.find_polymer_map || !t.locate) return list;
    std::int64_t map_handle = 0;
    t.find_polymer_map(&map_handle);
    const std::int64_t map = t.locate(&map_handle);
    if (t.locate_matrix) {
        std::int64_t unused1 = 0, unused2 = 0, unused3 = 0;
        t.locate_matrix(&map_handle, &unused1, &unused2, &unused3);
    }
    if (!host.in_store(map + 1, 1)) return list;
    std::int64_t segments_handle = host.integer(map + 1);
    const std::int64_t segments = t.locate(&segments_handle);
    if (!host.in_store(segments, 1)) return list;
    const std::int64_t count = host.integer(segments);
    if (count < 1 || count > host.component_count() || !host.in_store(segments + 1, count)) return list;
    for (std::int64_t k = 1; k <= count; ++k) {
        const std::int64_t s = host.integer(segments + k);
        if (s < 1 || s > host.component_count()) return list;
    }
    list.count = count;
    list.first = segments + 1;
    return list;
}

std::int64_t segment_fractions(const host::Host &host, const SegmentList &list, std::int64_t polymer, bool by_mole,
                               SegmentScratch scratch) {
    const keld_host &t = host.table();
    const keld_segment_fractions_fn fn = by_mole ? t.segment_mole_fractions : t.segment_weight_fractions;
    if (!fn || list.count < 1 || list.count > scratch.capacity) return 0;
    const std::int64_t option = 1;
    fn(&option, &polymer, scratch.f);
    return list.count;
}

namespace {

template <class Term>
double segment_cross(const host::Host &host, std::int64_t polymer, SegmentScratch scratch, std::int64_t kopt,
                     Term term) {
    const SegmentList list = find_segment_list(host);
    const std::int64_t count =
        segment_fractions(host, list, polymer, mole_fractions_requested(kopt), scratch);
    const double floor = host.segment_fraction_floor();
    double sum = 0.0;
    for (std::int64_t k = 1; k <= count; ++k) {
        const double f = scratch.f[k - 1];
        if (f < floor) continue;
        sum += f * term(list.component(host, k));
    }
    return sum;
}

}  // namespace

double segment_geometric_cross(const host::Host &host, const double *q, const double *k_matrix, std::int64_t other,
                               std::int64_t polymer, SegmentScratch scratch, std::int64_t kopt) {
    const std::int64_t nc = host.component_count();
    return segment_cross(host, polymer, scratch, kopt, [&](std::int64_t s) {
        return std::sqrt(q[other - 1] * q[s - 1]) * (1.0 - k_matrix[(s - 1) * nc + (other - 1)]);
    });
}

double segment_arithmetic_cross(const host::Host &host, const double *q, const double *k_matrix,
                                std::int64_t other, std::int64_t polymer, SegmentScratch scratch,
                                std::int64_t kopt) {
    const std::int64_t nc = host.component_count();
    return segment_cross(host, polymer, scratch, kopt, [&](std::int64_t s) {
        return 0.5 * (q[other - 1] + q[s - 1]) * (1.0 - k_matrix[(s - 1) * nc + (other - 1)]);
    });
}

SegmentAverageCheck segment_average3(const host::Host &host, const double *q1, const double *q2, const double *q3,
                                     std::int64_t polymer, double &a1, double &a2, double &a3, SegmentScratch scratch,
                                     std::int64_t kopt) {
    a1 = a2 = a3 = 0.0;
    SegmentAverageCheck check;
    const SegmentList list = find_segment_list(host);
    const std::int64_t count =
        segment_fractions(host, list, polymer, mole_fractions_requested(kopt), scratch);
    if (count < 1) return check;
    check.segments = count;
    double sum = 0.0;
    for (std::int64_t k = 0; k < count; ++k) sum += scratch.f[k];
    const double floor = host.segment_fraction_floor();
    const double *q[3] = {q1, q2, q3};
    double *a[3] = {&a1, &a2, &a3};
    for (std::int64_t k = 1; k <= count; ++k) {
        const double raw = scratch.f[k - 1];
        const double f = sum <= 0.0 ? 1.0 / static_cast<double>(count) : raw / sum;
        scratch.f[k - 1] = f;
        // The cross rules weigh the same segments with the fractions as given.
        if (f < floor && raw < floor) continue;
        const std::int64_t s = list.component(host, k);
        for (int m = 0; m < 3; ++m) {
            const double value = q[m][s - 1];
            if (check.missing[m] == 0 && (host.is_missing(value) || !std::isfinite(value))) check.missing[m] = s;
            if (f >= floor) *a[m] += f * value;
        }
    }
    return check;
}

SlCharacteristics sl_segment_characteristics(const host::Host &host, const double *t_star, const double *p_star,
                                             const double *rho_star, std::int64_t polymer, double mwn,
                                             SegmentScratch scratch) {
    const double missing = host.missing();
    const SlCharacteristics unavailable{missing, missing, missing, {}};
    const SegmentList list = find_segment_list(host);
    const std::int64_t count = segment_fractions(host, list, polymer, false, scratch);
    const double r = host.gas_constant();

    // Site fractions phi_k from weight fractions w_k and site masses m_k = v*_k rho*_k.
    // A segment absent from the polymer (w_k = 0) contributes nothing; it is
    // skipped so that its parameters, whatever they are, cannot poison the sums.
    auto present = [&](std::int64_t k) { return scratch.f[k - 1] != 0.0; };
    auto v_star = [&](std::int64_t s) { return r * t_star[s - 1] / p_star[s - 1]; };
    auto site_mass = [&](std::int64_t s) { return v_star(s) * rho_star[s - 1]; };
    double sites = 0.0;
    for (std::int64_t k = 1; k <= count; ++k)
        if (present(k)) sites += scratch.f[k - 1] / site_mass(list.component(host, k));
    if (count < 1 || !(sites != 0.0)) return unavailable;

    SegmentAverageCheck check;
    check.segments = count;
    for (std::int64_t k = 1; k <= count; ++k) {
        if (!present(k)) continue;
        const std::int64_t sk = list.component(host, k);
        const double values[3] = {t_star[sk - 1], p_star[sk - 1], rho_star[sk - 1]};
        for (int m = 0; m < 3; ++m)
            if (check.missing[m] == 0 && (host.is_missing(values[m]) || !std::isfinite(values[m])))
                check.missing[m] = sk;
    }

    double v_mix = 0.0, mass_ratio = 0.0, energy = 0.0;
    for (std::int64_t k = 1; k <= count; ++k) {
        if (!present(k)) continue;
        const std::int64_t sk = list.component(host, k);
        const double phi_k = scratch.f[k - 1] / site_mass(sk) / sites;
        v_mix += phi_k * v_star(sk);
        mass_ratio += phi_k * site_mass(sk) / mwn;
        for (std::int64_t l = 1; l <= count; ++l) {
            if (!present(l)) continue;
            const std::int64_t sl = list.component(host, l);
            const double phi_l = scratch.f[l - 1] / site_mass(sl) / sites;
            energy += phi_k * phi_l * 0.5 * (v_star(sk) + v_star(sl)) *
                      std::sqrt(r * t_star[sk - 1] * r * t_star[sl - 1]);
        }
    }
    const double energy_density = energy / v_mix;
    return {energy_density / r, energy_density / v_mix, mwn / (v_mix / mass_ratio), check};
}

}  // namespace keld
