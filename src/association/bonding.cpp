// Bonding sums S_A = sum_j xw_j sum_{B of j bonding with A} M_ij v_B, formed per species and site class.
#include "association/context.h"

namespace keld::assoc::detail {

void partial_sums(const Tables &tab, const double *v, double *q) {
    for (std::int64_t r = 0; r < tab.nsumming; ++r) {
        const std::int32_t j = tab.summing[r];
        const Species &sp = tab.species[j];
        double negative = 0.0, positive = 0.0, bipolar = 0.0;  // sums over sites of each kind
        for (std::int32_t a = 0; a < sp.sites; ++a) {
            const Site &site = tab.sites[sp.first_site + a];
            const double value = v[site.unknown];
            if (site.kind == kNegative)
                negative += value;
            else if (site.kind == kPositive)
                positive += value;
            else
                bipolar += value;
        }
        double *qj = q + kClasses * j;
        qj[0] = positive + bipolar;             // what a negative site bonds with
        qj[1] = negative + bipolar;             // what a positive site bonds with
        qj[2] = negative + positive + bipolar;  // what a bipolar site bonds with
    }
}

double site_sum(const Tables &tab, const Strengths &str, const double *m, const double *q, std::int32_t li, int c) {
    if (li < 0) return 0.0;
    double s = 0.0;
    for (std::int64_t r = 0; r < tab.nsumming; ++r) {
        const std::int32_t j = tab.summing[r];
        s += tab.species[j].xw * str(m, li, tab.species[j].list) * q[kClasses * j + c];
    }
    return s;
}

void unknown_sums(const Tables &tab, const Strengths &str, const double *m, const double *q, double *out) {
    // Species by species, so that each reads one column of the strength matrix.
    for (std::int64_t a = 0; a < tab.nu; ++a) out[a] = 0.0;
    for (std::int64_t r = 0; r < tab.nsumming; ++r) {
        const std::int32_t j = tab.summing[r];
        const double xw = tab.species[j].xw;
        const double *column = m + static_cast<std::int64_t>(tab.species[j].list) * str.nv;
        const double *qj = q + kClasses * j;
        for (std::int64_t a = 0; a < tab.nu; ++a) {
            const std::int32_t li = tab.unknown_list[a];
            if (li >= 0) out[a] += xw * column[li] * qj[tab.unknown_class[a]];
        }
    }
}

}  // namespace keld::assoc::detail
