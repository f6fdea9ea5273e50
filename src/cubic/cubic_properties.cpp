#include "cubic/cubic_properties.h"

#include <cmath>

#include "contributions/srk_cubic.h"

namespace keld::cubic {
namespace {

constexpr double kSmallestCompressibility = 1e-35;

// Derivatives of F = -g - W f per mole (n = 1) with g = ln(1 - B/V),
// f = ln(1 + B/V)/(R B) and W = D/T, at fixed V.
struct Helmholtz {
    double f, g;                         // the two functions
    double g_v, g_b, g_vv, g_vb, g_bb;
    double f_v, f_b, f_vv, f_vb, f_bb;

    Helmholtz(double v, double b, double r) {
        g = srk_repulsion(b / v);
        f = srk_attraction(b / v, b, r);
        const double vmb = v - b, vpb = v + b;
        g_v = b / (v * vmb);
        g_b = -1.0 / vmb;
        g_vb = 1.0 / (vmb * vmb);
        g_bb = -1.0 / (vmb * vmb);
        g_vv = -b * (2.0 * v - b) / (v * v * vmb * vmb);
        f_v = -1.0 / (r * v * vpb);
        f_b = -(f + v * f_v) / b;
        f_vv = (2.0 * v + b) / (r * v * v * vpb * vpb);
        f_vb = 1.0 / (r * v * vpb * vpb);
        f_bb = -(2.0 * f_b + v * f_vb) / b;
    }
};

}  // namespace

void write_properties(const PropertyState &s, const MixtureConstants &mix, const Requests &rq,
                      const MonitorOutputs &out) {
    if (!rq.any()) return;
    const double r = s.gas_constant, t = s.t, v = s.v;
    const double b = mix.b.v, b_t = mix.b.d, b_tt = mix.b.dd;
    const double d = mix.d.v, d_t = mix.d.d, d_tt = mix.d.dd;
    const double w = d / t, w_t = d_t / t - d / (t * t), w_tt = d_tt / t - 2.0 * d_t / (t * t) + 2.0 * d / (t * t * t);
    const Helmholtz h(v, b, r);

    const double f = srk_helmholtz(h.g, h.f, w);
    const double f_v = -h.g_v - w * h.f_v;
    const double f_vv = -h.g_vv - w * h.f_vv;
    const double f_b = -h.g_b - w * h.f_b, f_w = -h.f;
    const double f_bb = -h.g_bb - w * h.f_bb, f_bw = -h.f_b;
    const double f_vb = -h.g_vb - w * h.f_vb, f_vw = -h.f_v;
    const double f_t = f_b * b_t + f_w * w_t;
    const double f_tt = f_b * b_tt + f_w * w_tt + f_bb * b_t * b_t + 2.0 * f_bw * b_t * w_t;
    const double f_vt = f_vb * b_t + f_vw * w_t;

    const double rt = r * t;
    const double p_model = rt * (-f_v + 1.0 / v);
    const double p_v = rt * (-f_vv - 1.0 / (v * v));
    const double p_t = p_model / t - rt * f_vt;
    const double z = p_model * v / rt;
    const double zc = z > 0.0 ? z : kSmallestCompressibility;
    const double log_z = std::log(zc);
    const double log_p = std::log(s.p / s.reference_pressure);

    const double enthalpy = rt * (-t * f_t + zc - 1.0);
    const double gibbs = rt * (f + zc - 1.0 - log_z + log_p);
    const double entropy = (enthalpy - gibbs) / t;
    const double cp = -r * t * (t * f_tt + 2.0 * f_t) - t * p_t * p_t / p_v - r;

    write_values(rq, StateValues{v, enthalpy, entropy, gibbs}, out);
    if (rq.h.derivative) *out.dh = cp;
    if (rq.s.derivative) *out.ds = cp / t;
    if (rq.g.derivative) *out.dg = -entropy;
    if (rq.v.derivative) *out.dv = -p_t / p_v;

    if (!rq.phi.any()) return;
    for (std::int64_t k = 0; k < s.n; ++k) {
        const Jet &b_k = mix.b_i[k];
        const Jet &d_k = mix.d_i[k];
        const double w_k = d_k.v / t, w_kt = d_k.d / t - d_k.v / (t * t);
        const double f_n = -h.g + f_b * b_k.v + f_w * w_k;
        if (rq.phi.value || rq.phi.derivative) out.phi[k] = f_n - log_z;
        if (!rq.phi.derivative) continue;
        const double f_nt = -h.g_b * b_t + (f_bb * b_t + f_bw * w_t) * b_k.v + f_b * b_k.d + f_bw * b_t * w_k +
                            f_w * w_kt;
        const double f_nv = -h.g_v + f_vb * b_k.v + f_vw * w_k;
        const double p_n = rt * (-f_nv + 1.0 / v);
        const double partial_volume = -p_n / p_v;
        out.dphi[k] = f_nt + 1.0 / t - partial_volume * p_t / rt;
    }
}

}  // namespace keld::cubic
