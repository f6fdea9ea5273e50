#include "models/segment_arguments.h"

namespace keld::refhost::families {

SegmentArguments::SegmentArguments(const ReferenceHost &host) : nc(host.component_count()) {
    for (std::int64_t i = 1; i <= nc; ++i)
        if (host.is_segment(i)) seg.push_back(i);
    ns = static_cast<std::int64_t>(seg.size());
    mw.resize(nc);
    tc.resize(nc);
    pc.resize(nc);
    polymer.assign(nc, 0);
    source.assign(nc, 0.0);
    mole.assign(nc * ns, 0.0);
    weight.assign(nc * ns, 0.0);
    std::vector<double> f(ns);
    for (std::int64_t i = 1; i <= nc; ++i) {
        mw[i - 1] = host.component_value("MW", i);
        tc[i - 1] = host.component_value("TC", i);
        pc[i - 1] = host.component_value("PC", i);
        if (!host.is_polymer(i) && !host.is_oligomer(i)) continue;
        polymer[i - 1] = 1;
        if (ns == 0) continue;
        host.segment_weight_fractions(1, i, f.data());
        for (std::int64_t s = 0; s < ns; ++s) weight[s * nc + i - 1] = f[s];
        host.segment_mole_fractions(1, i, f.data());
        for (std::int64_t s = 0; s < ns; ++s) mole[s * nc + i - 1] = f[s];
    }
    work_words = (5 * nc + 25) * nc + 1;
    work.assign(work_words, 0.0);
}

void SegmentArguments::list(const ReferenceHost &host, const std::vector<std::int64_t> &idx) {
    const std::int64_t n = static_cast<std::int64_t>(idx.size());
    mwn.resize(n);
    host.number_average_mws(1, n, idx.data(), mwn.data());
    x.assign(n, 0.0);
    option_vector.assign(n, 0.0);
    option_values.assign(n, 0.0);
}

std::vector<double> unary_slice(const ReferenceHost &host, std::string_view name, std::int64_t data_set) {
    std::vector<double> v(host.component_count());
    for (std::int64_t i = 1; i <= host.component_count(); ++i) v[i - 1] = host.unary(name, i, data_set);
    return v;
}

std::vector<double> table_slice(const ReferenceHost &host, std::string_view table, std::int64_t data_set) {
    const std::int64_t nc = host.component_count();
    std::vector<double> v(6 * nc * nc, 0.0);
    for (std::int64_t j = 1; j <= nc; ++j)
        for (std::int64_t i = 1; i <= nc; ++i)
            for (std::int64_t c = 1; c <= 6; ++c)
                v[6 * ((j - 1) * nc + i - 1) + c - 1] = host.binary_coefficient(table, i, j, c, data_set);
    return v;
}

std::vector<double> combined_table(const ReferenceHost &host, std::string_view binary, std::string_view table,
                                   std::int64_t data_set) {
    const std::int64_t nc = host.component_count();
    std::vector<double> v = table_slice(host, table, data_set);
    for (std::int64_t j = 1; j <= nc; ++j)
        for (std::int64_t i = 1; i <= nc; ++i) {
            double *pair = &v[6 * ((j - 1) * nc + i - 1)];
            bool temperature_term = false;
            for (int c = 1; c <= 4; ++c)
                temperature_term = temperature_term || (pair[c] != 0.0 && pair[c] != ReferenceHost::missing_value);
            if (temperature_term) continue;
            for (int c = 0; c < 6; ++c) pair[c] = 0.0;
            pair[0] = i == j ? 0.0 : host.binary(binary, i, j, data_set);
        }
    return v;
}

}  // namespace keld::refhost::families
