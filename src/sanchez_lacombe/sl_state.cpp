#include "sanchez_lacombe/sl_state.h"

#include <cmath>
#include <limits>

namespace keld::sanchez_lacombe {

namespace {

// ln phi_k = m_k - sum_j x_j m_j + (Zc - 1) + a - ln Zc. `m` may alias `phi`.
void log_fugacity_coefficients(const Mixture &mix, const double *m, double common_part, double *phi) {
    double mean_m = 0.0;
    for (std::int64_t k = 0; k < mix.n; ++k) mean_m += mix.x[k] * m[k];
    for (std::int64_t k = 0; k < mix.n; ++k) phi[k] = m[k] - mean_m + common_part;
}

}  // namespace

StateProperties state_properties(const Mixture &mix, double t, double p, double p_ref, double rho, ResidualSwitches sw,
                                 double *m_scratch, double *phi) {
    ResidualSwitches needed;
    needed.temperature = sw.temperature;
    needed.composition = phi != nullptr;
    double *m = m_scratch != nullptr ? m_scratch : phi;
    const ResidualValues res = residual(mix, t, rho, needed, m);

    const double r = mix.gas_constant;
    const double rt = r * t;
    StateProperties out;
    out.z = 1.0 + rho * res.a_rho;
    out.zc = out.z > 0.0 ? out.z : kSmallestCompressibility;
    out.p_calc = rt * rho * out.z;
    if (!(out.p_calc > 0.0)) out.p_calc = p;
    out.v = rho != 0.0 ? 1.0 / rho : std::numeric_limits<double>::infinity();

    const double log_zc = std::log(out.zc);
    const double log_p = std::log(p / p_ref);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    out.h = sw.temperature ? rt * ((out.zc - 1.0) - t * res.a_t) : nan;
    out.s = sw.temperature ? r * (log_zc - log_p) - r * (t * res.a_t + res.a) : nan;
    out.g = rt * ((out.zc - 1.0) + res.a - log_zc + log_p);
    if (phi != nullptr) log_fugacity_coefficients(mix, m, (out.zc - 1.0) + res.a - log_zc, phi);
    return out;
}

}  // namespace keld::sanchez_lacombe
