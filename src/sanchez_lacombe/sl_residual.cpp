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
using Reduced = terms::ReducedOf<double>;

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

namespace {

using terms::slot;

bool sequential_list(const Mixture &mix) {
    for (std::int64_t k = 0; k < mix.n; ++k)
        if (mix.idx[k] != k + 1) return false;
    return true;
}

template <bool Sequential>
MixtureAverages averages_in_list_order(const Mixture &mix) {
    return terms::averages_in_list_order<Sequential>(mix.n, mix.nc, mix.idx, mix.x, mix.r, mix.eps_star,
                                                     mix.v_star);
}

// Four partners' shares of S1_k and S2_k for every k, down their columns element by element: each
// S_k still adds its partners one at a time in list order (and, the list being sequential, as whole
// vectors), with one load and store of S_k for the four.
struct Partners {
    double w[4];               // segment weights x_l r_j
    const double *v_column[4]; // column j of the volume matrix
    const double *e_column[4]; // column j of the energy matrix
};

template <bool Sequential, int Count>
void add_partners(std::int64_t n, const std::int64_t *__restrict idx, const Partners &p, double v_mix, double e_mix,
                  double *__restrict s1, double *__restrict s2) {
    const double w0 = p.w[0], w1 = p.w[1], w2 = p.w[2], w3 = p.w[3];
    const double *__restrict v0 = p.v_column[0], *__restrict v1 = p.v_column[1];
    const double *__restrict v2 = p.v_column[2], *__restrict v3 = p.v_column[3];
    const double *__restrict e0 = p.e_column[0], *__restrict e1 = p.e_column[1];
    const double *__restrict e2 = p.e_column[2], *__restrict e3 = p.e_column[3];
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = slot<Sequential>(idx, k);
        double a = s1[k], b = s2[k];
        a += w0 * (v0[i] - v_mix);
        b += w0 * v0[i] * (e0[i] - e_mix);
        if constexpr (Count > 1) {
            a += w1 * (v1[i] - v_mix);
            b += w1 * v1[i] * (e1[i] - e_mix);
        }
        if constexpr (Count > 2) {
            a += w2 * (v2[i] - v_mix);
            b += w2 * v2[i] * (e2[i] - e_mix);
        }
        if constexpr (Count > 3) {
            a += w3 * (v3[i] - v_mix);
            b += w3 * v3[i] * (e3[i] - e_mix);
        }
        s1[k] = a;
        s2[k] = b;
    }
}

template <bool Sequential>
void sums_in_list_order(const Mixture &mix, const MixtureAverages &avg, double *s1, double *s2) {
    for (std::int64_t k = 0; k < mix.n; ++k) s1[k] = s2[k] = 0.0;
    Partners p{};
    int count = 0;
    for (std::int64_t l = 0; l < mix.n; ++l) {
        const std::int64_t j = mix.idx[l];
        p.w[count] = segment_weight(mix, l);
        p.v_column[count] = mix.v_star + (j - 1) * mix.nc;
        p.e_column[count] = mix.eps_star + (j - 1) * mix.nc;
        if (++count == 4 || l == mix.n - 1) {
            switch (count) {
                case 1: add_partners<Sequential, 1>(mix.n, mix.idx, p, avg.v_star, avg.eps_star, s1, s2); break;
                case 2: add_partners<Sequential, 2>(mix.n, mix.idx, p, avg.v_star, avg.eps_star, s1, s2); break;
                case 3: add_partners<Sequential, 3>(mix.n, mix.idx, p, avg.v_star, avg.eps_star, s1, s2); break;
                default: add_partners<Sequential, 4>(mix.n, mix.idx, p, avg.v_star, avg.eps_star, s1, s2); break;
            }
            count = 0;
        }
    }
}

}  // namespace

MixtureAverages mixture_averages(const Mixture &mix) {
    return sequential_list(mix) ? averages_in_list_order<true>(mix) : averages_in_list_order<false>(mix);
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
    const Reduced red = terms::reduced_state(mix.gas_constant, avg, t, rho);
    const double rt = red.rho_red;
    const double l_over_rt = terms::log_free_per_occupied_site(red);

    out.a = terms::helmholtz_energy(r_bar, red, l_over_rt);
    out.a_rho = -r_bar * (rt / red.t_red + 1.0 + l_over_rt) / rho;
    if (sw.second_derivative) out.a_rhorho = r_bar * (2.0 * red.log_free / rt + 1.0 + 1.0 / (1.0 - rt)) / (rho * rho);
    if (sw.temperature) out.a_t = r_bar * rt / (t * red.t_red);
    if (sw.composition) composition_terms(mix, avg, red, rho, out.a, out.a_rho, m_out);
    return out;
}

void composition_sums(const Mixture &mix, const MixtureAverages &avg, double *s1, double *s2) {
    // The partners l outermost, so that the matrices are read down their columns; each S_k still
    // sums its partners in list order, as sums_of_partners does.
    if (sequential_list(mix)) {
        sums_in_list_order<true>(mix, avg, s1, s2);
    } else {
        sums_in_list_order<false>(mix, avg, s1, s2);
    }
}

ResidualValues residual(const Mixture &mix, double t, double rho, ResidualSwitches sw, double *m_out) {
    if (mix.averages != nullptr) return residual(mix, *mix.averages, t, rho, sw, m_out);
    return residual(mix, mixture_averages(mix), t, rho, sw, m_out);
}

}  // namespace keld::sanchez_lacombe
