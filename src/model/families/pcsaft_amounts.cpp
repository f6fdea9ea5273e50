// PC-SAFT's amount derivatives (see pcsaft_family.h). f(T, r) = rho alpha_r,
// with r_k = n_k / V the amount densities, depends on r only through eight
// aggregates Y = (T, rho, M0..M3, Q1, Q2) and
// the chain term's sum_k r_k psi_k(T, M2, M3): rho and the moments
// M_j = sum_k r_k m_k d_k^j are linear in r, the dispersion sums Q1, Q2 (the
// pair sums of the amount densities, D rho^2) quadratic. Each contribution
// evaluated at unit density with the moments M is rho times its per-molecule
// value, so each contribution's closed-form curvature over its few aggregates
// (hard sphere over M0..M3, dispersion over (M0 / rho, M3, Q1, Q2), each
// contact value over (T, M2, M3)) gives f's gradient g and Hessian H in Y, and
//     f_w  = J^T g + (psi_k on r_k),
//     f_ww = J^T H J + sum_a g_a K_a + (the chain's per-component cross terms)
// with J, K the aggregates' derivatives in w = (T, r): O(N^2) work beside the
// O(N^2) pair sums, where a pass per Hessian entry costs O(N^4).
#include <memory>

#include "model/families/pcsaft_aggregates.h"

namespace keld::model {

namespace {

enum Aggregate { kT, kRho, kM0, kM1, kM2, kM3, kQ1, kQ2, kAggregates };

// Value, gradient and Hessian of f over the aggregates; without `curvature` the value and gradient
// alone (ln phi without its derivatives: the same operations for those, so the same bits).
struct AggregateCurvature {
    explicit AggregateCurvature(bool with_curvature) : curvature(with_curvature) {}
    bool curvature;
    double value = 0.0;
    double g[kAggregates] = {};
    double h[kAggregates][kAggregates] = {};

    void add_pair(int a, int b, double v) {
        h[a][b] += v;
        h[b][a] += v;
    }

    // The hard sphere over (M0, M1, M2, M3).
    void add(const helmholtz::HardSphereCurvature &hs) {
        const int at[4] = {kM0, kM1, kM2, kM3};
        value += hs.value;
        for (int i = 0; i < 4; ++i) {
            g[at[i]] += hs.g[i];
            if (curvature)
                for (int j = 0; j < 4; ++j) h[at[i]][at[j]] += hs.h[i][j];
        }
    }

    // The dispersion Q1 A + Q2 B over (m-bar, M3, Q1, Q2), with m-bar = M0 / rho.
    void add(const terms::DispersionCurvature &k, double m_bar, double rho, double q1, double q2) {
        using C = terms::CurvatureOverMbarS3;
        const C &a = k.first, &b = k.second;
        const double f_m = q1 * a.g[0] + q2 * b.g[0];
        value += q1 * a.v + q2 * b.v;
        g[kM3] += q1 * a.g[1] + q2 * b.g[1];
        g[kQ1] += a.v;
        g[kQ2] += b.v;
        const double slope[2] = {-m_bar / rho, 1.0 / rho};  // m-bar's in (rho, M0)
        g[kRho] += f_m * slope[0];
        g[kM0] += f_m * slope[1];
        if (!curvature) return;
        const double f_mm = q1 * a.second(0, 0) + q2 * b.second(0, 0);
        const double f_ms = q1 * a.second(0, 1) + q2 * b.second(0, 1);
        h[kM3][kM3] += q1 * a.second(1, 1) + q2 * b.second(1, 1);
        add_pair(kM3, kQ1, a.g[1]);
        add_pair(kM3, kQ2, b.g[1]);
        // m-bar's own curvature in (rho, M0).
        const int at[2] = {kRho, kM0};
        for (int i = 0; i < 2; ++i) {
            add_pair(at[i], kM3, f_ms * slope[i]);
            add_pair(at[i], kQ1, a.g[0] * slope[i]);
            add_pair(at[i], kQ2, b.g[0] * slope[i]);
            for (int j = 0; j < 2; ++j) h[at[i]][at[j]] += f_mm * slope[i] * slope[j];
        }
        const double inv_rho2 = 1.0 / (rho * rho);
        h[kRho][kRho] += f_m * 2.0 * m_bar * inv_rho2;
        add_pair(kRho, kM0, -f_m * inv_rho2);
    }

    // weight * psi over (T, M2, M3), psi = (1 - m_k) ln g_kk with its half diameter h(T) (slopes h_t,
    // h_tt); its gradient goes to psi_k.
    void add(const helmholtz::ContactLogCurvature &l, double one_minus_m, double h_t, double h_tt, double weight,
             std::array<double, 4> &psi_k) {
        const double l_t = l.g[0] * h_t;
        psi_k = {one_minus_m * l.value, one_minus_m * l_t, one_minus_m * l.g[1], one_minus_m * l.g[2]};
        const double w = weight * one_minus_m;
        value += w * l.value;
        g[kT] += w * l_t;
        g[kM2] += w * l.g[1];
        g[kM3] += w * l.g[2];
        if (!curvature) return;
        h[kT][kT] += w * (l.h[0][0] * h_t * h_t + l.g[0] * h_tt);
        add_pair(kT, kM2, w * l.h[0][1] * h_t);
        add_pair(kT, kM3, w * l.h[0][2] * h_t);
        h[kM2][kM2] += w * l.h[1][1];
        add_pair(kM2, kM3, w * l.h[1][2]);
        h[kM3][kM3] += w * l.h[2][2];
    }
};

}  // namespace

void PcSaftAggregates::pair_weights(double t, double *p1, double *p2) const {
    const std::int64_t n = static_cast<std::int64_t>(size());
    Buffer<double, 256> eps_values(static_cast<std::size_t>(n * n));
    const double *eps = f_.eps_matrix_.data();
    if (f_.cross_varies_) {
        for (std::int64_t j = 0; j < n; ++j)
            for (std::int64_t i = 0; i < n; ++i)
                eps_values[j * n + i] = i == j ? f_.eps_[i] : f_.cross_energy(std::size_t(i), std::size_t(j), t);
        eps = eps_values.data();
    }
    // The sums are quadratic in x: a pair's weight is what the sums' inner step adds to a row, formed
    // by the same expressions (so the same values as the rows of the two-element list (k, l)).
    const double inv_t = 1.0 / t;
    const double *sigma = f_.sigma_.data(), *m = f_.m_.data();
    for (std::int64_t l = 0; l < n; ++l) {
        for (std::int64_t k = 0; k < l; ++k) {
            const double s = (sigma[k] + sigma[l]) * terms::kHalfScaledAngstrom;
            const double s3 = s * s * s;
            const double e_kl = eps[l * n + k] * inv_t;
            const double e_lk = eps[k * n + l] * inv_t;
            const double q1 = (e_kl + e_lk) * s3;
            const double q2 = (e_kl * e_kl + e_lk * e_lk) * s3;
            p1[k * n + l] = p1[l * n + k] = m[k] * (m[l] * q1);
            p2[k * n + l] = p2[l * n + k] = m[k] * (m[l] * q2);
        }
        const double s = (sigma[l] + sigma[l]) * terms::kHalfScaledAngstrom;
        const double s3 = s * s * s;
        const double e_ll = eps[l * n + l] * inv_t;
        p1[l * n + l] = m[l] * (m[l] * (2.0 * e_ll * s3));
        p2[l * n + l] = m[l] * (m[l] * (2.0 * e_ll * e_ll * s3));
    }
}

template <std::size_t kInline>
void PcSaftAggregates::temperature_stage(double t, TemperatureStage<kInline> &stage) const {
    stage.t = t;
    for (std::size_t k = 0; k < size(); ++k) {
        stage.d1[k] = diameter_along_t(f_.sigma_[k], f_.eps_[k], t);
        stage.d2[k] = stage.d1[k] * stage.d1[k];
        stage.d3[k] = stage.d2[k] * stage.d1[k];
    }
    pair_weights(t, stage.p1.data(), stage.p2.data());
}

void PcSaftAggregates::amounts(double t, double v, std::span<const double> n, AmountDerivativeSpans &out,
                               AlongT *along_t) const {
    TemperatureStage<16> stage(size());
    temperature_stage(t, stage);
    amounts(stage.view(), v, n, out, along_t);
}

void PcSaftAggregates::amounts(const StageView &stage, double v, std::span<const double> amounts,
                               AmountDerivativeSpans &out, AlongT *along_t) const {
    const std::size_t n = size(), w = n + 1;  // w = (T, r_1 .. r_N)
    const double t = stage.t;
    const double *m = f_.m_.data();
    const T2 *d1 = stage.d1, *d2 = stage.d2, *d3 = stage.d3;
    const double *p1 = stage.p1, *p2 = stage.p2;
    Buffer<double, 16> r(n);
    for (std::size_t k = 0; k < n; ++k) r[k] = amounts[k] / v;
    double rho = 0.0;
    for (std::size_t k = 0; k < n; ++k) rho += r[k];

    // The moments along T.
    double m0 = 0.0;
    T2 m1, m2, m3;
    for (std::size_t k = 0; k < n; ++k) {
        const double rm = r[k] * m[k];
        m0 += rm;
        m1 += rm * d1[k];
        m2 += rm * d2[k];
        m3 += rm * d3[k];
    }
    // The sums: Q is quadratic in r, so its gradient is P r with P the pair weights, and Q = r.P r / 2.
    // The gradient along T: with constant cross energies from the weights at T, else by a pass in T.
    Buffer<T2, 16> row1(n), row2(n);
    terms::DispersionSumsOf<T2> q;
    if (f_.cross_varies_) {
        q = sums<true, T2>(T2::variable(t), r.data(), row1.data(), row2.data());
        for (std::size_t k = 0; k < n; ++k) {
            row1[k] = m[k] * row1[k];
            row2[k] = m[k] * row2[k];
        }
    } else {
        const double inv_t = 1.0 / t;
        double q1 = 0.0, q2 = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            double g1 = 0.0, g2 = 0.0;
            for (std::size_t l = 0; l < n; ++l) {
                g1 += p1[k * n + l] * r[l];
                g2 += p2[k * n + l] * r[l];
            }
            row1[k] = as_inverse_t(g1, inv_t);
            row2[k] = as_inverse_t_squared(g2, inv_t);
            q1 += r[k] * g1;
            q2 += r[k] * g2;
        }
        q.d1 = as_inverse_t(0.5 * q1, inv_t);
        q.d2 = as_inverse_t_squared(0.5 * q2, inv_t);
    }

    // f over the aggregates: hard sphere over (M0, M1, M2, M3), its curvature in closed form; dispersion over (mbar, M3, Q1, Q2)
    // with mbar = M0 / rho; the chain's psi_k over (T, M2, M3), weighed by r_k.
    // ln phi alone (the gradient) needs no curvature: most evaluations of an iteration at given P ask
    // for nothing more.
    const bool hessian = !out.hessian.empty(), mixed_v = !out.d_v.empty(), mixed_t = !out.d_t.empty();
    AggregateCurvature c(hessian || mixed_v || mixed_t || along_t != nullptr);
    const helmholtz::ContactShape shape = helmholtz::contact_shape(m2.c[0], m3.c[0]);
    {
        helmholtz::Moments<double> mom;
        mom.m_bar = m0;
        mom.s1 = m1.c[0];
        mom.s2 = m2.c[0];
        mom.s3 = m3.c[0];
        c.add(helmholtz::hard_sphere_curvature(mom, shape.log_void, c.curvature));
    }
    {
        const double mbar = m0 / rho;
        c.add(terms::dispersion_curvature(mbar, m3.c[0], c.curvature), mbar, rho, q.d1.c[0], q.d2.c[0]);
    }
    // psi_k and its gradient over (T, M2, M3), for the cross terms. The contact pieces depend on
    // (M2, M3) alone; d_k on T alone, its Taylor coefficients along T already formed.
    Buffer<std::array<double, 4>, 16> psi(n);
    {
        for (std::size_t k = 0; k < n; ++k) {
            psi[k] = {0.0, 0.0, 0.0, 0.0};
            if (m[k] == 1.0) continue;
            const double h = 0.5 * d1[k].c[0];
            c.add(helmholtz::contact_log_curvature(shape, h, c.curvature), 1.0 - m[k], 0.5 * d1[k].c[1], 0.5 * second(d1[k]), r[k],
                  psi[k]);
        }
    }

    // The aggregates' first derivatives in w, dY_a/dw_p, stored by column p (the contractions below
    // then run over the eight aggregates contiguously).
    Buffer<double, 8 * 17> jac(kAggregates * w);
    for (std::size_t p = 0; p < kAggregates * w; ++p) jac[p] = 0.0;
    const auto J = [&](int a, std::size_t p) -> double & { return jac[p * kAggregates + a]; };
    J(kT, 0) = 1.0;
    J(kM1, 0) = m1.c[1];
    J(kM2, 0) = m2.c[1];
    J(kM3, 0) = m3.c[1];
    J(kQ1, 0) = q.d1.c[1];
    J(kQ2, 0) = q.d2.c[1];
    for (std::size_t i = 0; i < n; ++i) {
        J(kRho, i + 1) = 1.0;
        J(kM0, i + 1) = m[i];
        J(kM1, i + 1) = m[i] * d1[i].c[0];
        J(kM2, i + 1) = m[i] * d2[i].c[0];
        J(kM3, i + 1) = m[i] * d3[i].c[0];
        J(kQ1, i + 1) = row1[i].c[0];
        J(kQ2, i + 1) = row2[i].c[0];
    }

    out.psi = v * c.value;
    if (!out.gradient.empty()) {
        for (std::size_t i = 0; i < n; ++i) {
            double s = psi[i][0];
            for (int a = 0; a < kAggregates; ++a) s += c.g[a] * J(a, i + 1);
            out.gradient[i] = s;
        }
    }
    if (!c.curvature) return;
    if (!(hessian || mixed_t || along_t != nullptr)) {
        // d_v alone (a phase along its own composition line): f_ww r without f_ww. The aggregates'
        // derivative along r is u = J r = (0, rho, M0, M1, M2, M3, 2 Q1, 2 Q2) (degrees one and two).
        const double u[kAggregates] = {0.0, rho, m0, m1.c[0], m2.c[0], m3.c[0], 2.0 * q.d1.c[0], 2.0 * q.d2.c[0]};
        double hu[kAggregates] = {};
        for (int b = 1; b < kAggregates; ++b)
            for (int a = 0; a < kAggregates; ++a) hu[a] += c.h[b][a] * u[b];
        // The chain's cross terms: its row k gives psi_k's slopes along u, its column k the sums below.
        double along_m2 = 0.0, along_m3 = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            along_m2 += r[k] * psi[k][2];
            along_m3 += r[k] * psi[k][3];
        }
        for (std::size_t i = 0; i < n; ++i) {
            double s = c.g[kQ1] * row1[i].c[0] + c.g[kQ2] * row2[i].c[0] + psi[i][2] * u[kM2] + psi[i][3] * u[kM3] +
                       J(kM2, i + 1) * along_m2 + J(kM3, i + 1) * along_m3;
            for (int a = 0; a < kAggregates; ++a) s += J(a, i + 1) * hu[a];
            out.d_v[i] = -s / v;
        }
        return;
    }

    // f_ww for rows r_i (i >= 1) and the columns asked for (T's only for the T derivatives): J^T H J,
    // the aggregates' curvature, the chain's cross terms. H J column by column, as sums of H's rows
    // (H is symmetric) weighed by J: each column's eight entries form independently.
    const std::size_t first = (mixed_t || along_t != nullptr) ? 0 : 1;
    Buffer<double, 8 * 17> hj(kAggregates * w);
    for (std::size_t p = first; p < w; ++p) {
        double *col = &hj[p * kAggregates];
        for (int a = 0; a < kAggregates; ++a) col[a] = 0.0;
        for (int b = p == 0 ? 0 : 1; b < kAggregates; ++b) {
            const double jb = J(b, p);
            for (int a = 0; a < kAggregates; ++a) col[a] += c.h[b][a] * jb;
        }
    }
    Buffer<double, 17 * 17> fww(w * w);
    for (std::size_t p = 1; p < w; ++p)
        for (std::size_t q2 = first; q2 < w; ++q2) {
            double s = 0.0;
            for (int a = 0; a < kAggregates; ++a) s += J(a, p) * hj[q2 * kAggregates + a];
            fww[p * w + q2] = s;
        }
    // Curvature of the aggregates: along T and r_i (moments, sums) ...
    if (first == 0) {
        for (std::size_t i = 0; i < n; ++i) {
            fww[(i + 1) * w] += m[i] * (c.g[kM1] * d1[i].c[1] + c.g[kM2] * d2[i].c[1] + c.g[kM3] * d3[i].c[1]) +
                                c.g[kQ1] * row1[i].c[1] + c.g[kQ2] * row2[i].c[1];
        }
    }
    // ... and in r_i, r_j (the sums).
    if (hessian || mixed_v) {
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j)
                fww[(i + 1) * w + j + 1] += c.g[kQ1] * p1[i * n + j] + c.g[kQ2] * p2[i * n + j];
    }
    // The chain's r_k psi_k: d psi_k/dw on row k and, mirrored, on column k.
    for (std::size_t k = 0; k < n; ++k) {
        if (m[k] == 1.0) continue;
        for (std::size_t p = first; p < w; ++p) {
            const double dpsi = psi[k][1] * J(kT, p) + psi[k][2] * J(kM2, p) + psi[k][3] * J(kM3, p);
            fww[(k + 1) * w + p] += dpsi;
            if (p >= 1) fww[p * w + k + 1] += dpsi;
        }
    }
    if (hessian) {
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = i; j < n; ++j)
                out.hessian[i * n + j] = out.hessian[j * n + i] = fww[(i + 1) * w + j + 1] / v;
    }
    if (mixed_v) {
        for (std::size_t i = 0; i < n; ++i) {
            double s = 0.0;
            for (std::size_t j = 0; j < n; ++j) s += fww[(i + 1) * w + j + 1] * r[j];
            out.d_v[i] = -s / v;
        }
    }
    if (mixed_t) {
        for (std::size_t i = 0; i < n; ++i) out.d_t[i] = fww[(i + 1) * w];
    }
    if (along_t != nullptr) {
        // f_TT: J^T H J in (T, T) and the aggregates' own curvature along T (the moments' and sums'
        // second Taylor coefficients; the chain's d_k'' is in H through its T link).
        double f_t = 0.0, f_tt = 0.0;
        for (int a = 0; a < kAggregates; ++a) {
            f_t += c.g[a] * J(a, 0);
            f_tt += J(a, 0) * hj[a];
        }
        f_tt += 2.0 * (c.g[kM1] * m1.c[2] + c.g[kM2] * m2.c[2] + c.g[kM3] * m3.c[2] + c.g[kQ1] * q.d1.c[2] +
                       c.g[kQ2] * q.d2.c[2]);
        double f_t_rho = 0.0;
        for (std::size_t i = 0; i < n; ++i) f_t_rho += r[i] * fww[(i + 1) * w];
        along_t->f_t = f_t;
        along_t->f_tt = f_tt;
        along_t->f_t_rho = f_t_rho / rho;
    }
}

namespace {

class PcSaftIsotherm final : public AmountIsotherm {
  public:
    PcSaftIsotherm(const PcSaftFamily &f, double t)
        : family_(f), aggregates_(f), stage_(f.size()), size_(f.size()), pure_(f.size() == 1) {
        if (!pure_) aggregates_.temperature_stage(t, stage_);
        stage_.t = t;
    }
    void at(std::span<const double> rho, AmountDerivativeSpans &out) const override {
        check_amounts(size_, rho.size());
        if (pure_) {
            const double x = 1.0;
            pure_amounts(aggregates_.t_rho(stage_.t, rho[0], &x), rho[0], 1.0, out);
        } else {
            aggregates_.amounts(stage_.view(), 1.0, rho, out, nullptr);
        }
    }
    std::unique_ptr<DensityLine> line(const double *x) const override {
        if (pure_) return pcsaft_line(family_, nullptr, stage_.t, x);
        const PcSaftAggregates::StageView view = stage_.view();
        return pcsaft_line(family_, &view, stage_.t, x);
    }

  private:
    const PcSaftFamily &family_;
    PcSaftAggregates aggregates_;
    PcSaftAggregates::TemperatureStage<4> stage_;
    std::size_t size_;
    bool pure_;
};

}  // namespace

static_assert(sizeof(PcSaftIsotherm) <= 1024);  // as a line's (above)

std::unique_ptr<AmountIsotherm> PcSaftFamily::amount_isotherm(double t) const {
    return std::make_unique<PcSaftIsotherm>(*this, t);
}

void PcSaftFamily::amount_derivatives(double t, double v, std::span<const double> n, AmountDerivativeSpans &out) const {
    check_amounts(size(), n.size());
    const PcSaftAggregates aggregates(*this);
    if (size() == 1) {
        const double x = 1.0;
        pure_amounts(aggregates.t_rho(t, n[0] / v, &x), n[0], v, out);
        return;
    }
    aggregates.amounts(t, v, n, out);
}

}  // namespace keld::model
