#include "sanchez_lacombe/sl_residual.h"

#include <cmath>

namespace keld::sanchez_lacombe {

namespace {

double cross(const double *matrix, std::int64_t nc, std::int64_t i, std::int64_t j) {
    return matrix[(j - 1) * nc + (i - 1)];
}

// Segment weight x_l r_j of the listed component at position l.
double segment_weight(const Mixture &mix, std::int64_t l) { return mix.x[l] * mix.r[mix.idx[l] - 1]; }

// Reduced state of the mixture at one density.
struct Reduced {
    double t_red;    // R T / eps*
    double rho_red;  // r_bar rho v*
    double log_free; // ln(1 - rho_red), the free-site term
};

void sums_of_partners(const Mixture &mix, const MixtureAverages &avg, std::int64_t k, double &s1, double &s2) {
    const std::int64_t i = mix.idx[k];
    s1 = 0.0;
    s2 = 0.0;
    for (std::int64_t l = 0; l < mix.n; ++l) {
        const std::int64_t j = mix.idx[l];
        const double w = segment_weight(mix, l);
        const double v_ij = cross(mix.v_star, mix.nc, i, j);
        s1 += w * (v_ij - avg.v_star);
        s2 += w * v_ij * (cross(mix.eps_star, mix.nc, i, j) - avg.eps_star);
    }
}

// m_k = d a / d x_k: the composition dependence enters through r_bar (the
// lattice size), v* (via the reduced density) and eps* (via the reduced
// temperature); S1 and S2 are the deviations of component k's cross volumes
// and energies from the mixture values.
void composition_terms(const Mixture &mix, const MixtureAverages &avg, const Reduced &red, double rho, double a,
                       double a_rho, double *m_out) {
    const double r_bar = avg.r_bar;
    const double v_mix = avg.v_star;
    const double e_mix = avg.eps_star;
    const double density_factor = rho * a_rho / (r_bar * v_mix);
    const double energy_factor = 2.0 * red.rho_red / (v_mix * r_bar * e_mix * red.t_red);
    const bool formed = mix.s1 != nullptr && mix.s2 != nullptr;
    for (std::int64_t k = 0; k < mix.n; ++k) {
        double s1 = 0.0;
        double s2 = 0.0;
        if (formed) {
            s1 = mix.s1[k];
            s2 = mix.s2[k];
        } else {
            sums_of_partners(mix, avg, k, s1, s2);
        }
        const double r_i = mix.r[mix.idx[k] - 1];
        m_out[k] = a * r_i / r_bar + density_factor * (r_i * v_mix + 2.0 * r_i * s1 / r_bar) - energy_factor * r_i * s2;
    }
}

}  // namespace

MixtureAverages mixture_averages(const Mixture &mix) {
    double r_bar = 0.0;
    double sum_volume = 0.0;  // sum_ij x_i r_i x_j r_j v*_ij
    double sum_energy = 0.0;  // sum_ij x_i r_i x_j r_j v*_ij eps*_ij
    for (std::int64_t k = 0; k < mix.n; ++k) {
        const std::int64_t i = mix.idx[k];
        const double w_k = segment_weight(mix, k);
        r_bar += w_k;
        for (std::int64_t l = 0; l < mix.n; ++l) {
            const std::int64_t j = mix.idx[l];
            const double ww_v = w_k * segment_weight(mix, l) * cross(mix.v_star, mix.nc, i, j);
            sum_volume += ww_v;
            sum_energy += ww_v * cross(mix.eps_star, mix.nc, i, j);
        }
    }
    return MixtureAverages{r_bar, sum_energy / sum_volume, sum_volume / (r_bar * r_bar)};
}

ResidualValues residual(const Mixture &mix, const MixtureAverages &avg, double t, double rho, ResidualSwitches sw,
                        double *m_out) {
    ResidualValues out;
    if (rho == 0.0) {
        if (sw.composition) {
            for (std::int64_t k = 0; k < mix.n; ++k) m_out[k] = 0.0;
        }
        return out;
    }
    const double r_bar = avg.r_bar;
    Reduced red;
    red.t_red = mix.gas_constant * t / avg.eps_star;
    red.rho_red = r_bar * rho * avg.v_star;
    // log1p keeps ln(1 - rho~) exact to rounding at vapour-like densities; the
    // plain form loses all digits of 1 + L/rho~ there (Z - 1 off by ~r eps/rho~).
    red.log_free = std::log1p(-red.rho_red);
    const double rt = red.rho_red;
    const double l = red.log_free;

    out.a = r_bar * ((1.0 - l) - rt / red.t_red + l / rt);
    out.a_rho = -r_bar * (rt / red.t_red + 1.0 + l / rt) / rho;
    if (sw.second_derivative) out.a_rhorho = r_bar * (2.0 * l / rt + 1.0 + 1.0 / (1.0 - rt)) / (rho * rho);
    if (sw.temperature) out.a_t = r_bar * rt / (t * red.t_red);
    if (sw.composition) composition_terms(mix, avg, red, rho, out.a, out.a_rho, m_out);
    return out;
}

void composition_sums(const Mixture &mix, const MixtureAverages &avg, double *s1, double *s2) {
    // The partners l outermost, so that the matrices are read down their columns; each S_k still
    // sums its partners in list order, as sums_of_partners does.
    for (std::int64_t k = 0; k < mix.n; ++k) s1[k] = s2[k] = 0.0;
    for (std::int64_t l = 0; l < mix.n; ++l) {
        const std::int64_t j = mix.idx[l];
        const double w = segment_weight(mix, l);
        const double *v_column = mix.v_star + (j - 1) * mix.nc;
        const double *e_column = mix.eps_star + (j - 1) * mix.nc;
        for (std::int64_t k = 0; k < mix.n; ++k) {
            const std::int64_t i = mix.idx[k];
            const double v_ij = v_column[i - 1];
            s1[k] += w * (v_ij - avg.v_star);
            s2[k] += w * v_ij * (e_column[i - 1] - avg.eps_star);
        }
    }
}

ResidualValues residual(const Mixture &mix, double t, double rho, ResidualSwitches sw, double *m_out) {
    if (mix.averages != nullptr) return residual(mix, *mix.averages, t, rho, sw, m_out);
    return residual(mix, mixture_averages(mix), t, rho, sw, m_out);
}

}  // namespace keld::sanchez_lacombe
