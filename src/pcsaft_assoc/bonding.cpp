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

void species_sums(const Tables &tab, const Strengths &str, const double *m, const double *q, double *t) {
    for (std::int64_t r = 0; r < tab.nrows; ++r) {
        const std::int32_t i = tab.rows[r];
        const std::int32_t li = tab.species[i].list;
        double s0 = 0.0, s1 = 0.0, s2 = 0.0;
        if (li >= 0) {
            for (std::int64_t c = 0; c < tab.nsumming; ++c) {
                const std::int32_t j = tab.summing[c];
                const double coefficient = tab.species[j].xw * str(m, li, tab.species[j].list);
                if (coefficient == 0.0) continue;
                const double *qj = q + kClasses * j;
                s0 += coefficient * qj[0];
                s1 += coefficient * qj[1];
                s2 += coefficient * qj[2];
            }
        }
        double *ti = t + kClasses * i;
        ti[0] = s0;
        ti[1] = s1;
        ti[2] = s2;
    }
}

void sums_per_unknown(const Tables &tab, const double *t, double *out) {
    for (std::int64_t a = 0; a < tab.nu; ++a) {
        const Site &site = tab.sites[tab.unknown_site[a]];
        out[a] = t[kClasses * site.species + site_class(site.kind)];
    }
}

}  // namespace keld::assoc::detail
