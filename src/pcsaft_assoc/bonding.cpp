// Bonding sums S_A = sum_j xw_j sum_{B of j bonding with A} M_ij v_B, formed per species and site class.
#include "pcsaft_assoc/context.h"

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
    for (std::int64_t a = 0; a < tab.nu; ++a) out[a] = site_sum(tab, str, m, q, tab.unknown_list[a], tab.unknown_class[a]);
}

}  // namespace keld::assoc::detail
